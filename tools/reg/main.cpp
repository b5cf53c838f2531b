// tessark-reg: dumps, reads and writes the registry of a machine directory.
//
//   tessark-reg [--machine DIR] dump [KEY]
//   tessark-reg [--machine DIR] get KEY VALUE
//   tessark-reg [--machine DIR] set KEY VALUE TYPE DATA
//   tessark-reg [--machine DIR] delete KEY [VALUE]
//
// KEY starts with HKCU\, HKLM\ or HKCR\ (or the long root names). VALUE "" is the key's
// default value. TYPE is REG_SZ, REG_EXPAND_SZ, REG_BINARY or REG_DWORD; binary DATA is hex
// ("01 0a ff" or "010aff"), a DWORD is decimal or 0x-prefixed hex. The machine is --machine,
// else TESSARK_MACHINE, else the default machine. Exit status: 0 done, 1 failed, 2 bad usage.
#include "platform/reg.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const std::string& message) {
    std::fprintf(stderr,
                 "tessark-reg: %s (usage: tessark-reg [--machine DIR] "
                 "dump [KEY] | get KEY VALUE | set KEY VALUE TYPE DATA | "
                 "delete KEY [VALUE])\n",
                 message.c_str());
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tessark-reg: %s\n", message.c_str());
    return kFailed;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

struct KeyPath {
    HKEY root;
    std::string rootName; // short form, as shown
    std::string sub;      // below the root, "\"-separated
};

std::optional<KeyPath> ParseKey(const std::string& text) {
    std::size_t slash = text.find_first_of("\\/");
    std::string root = Upper(text.substr(0, slash));
    std::string sub = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    for (char& c : sub) {
        if (c == '/') c = '\\';
    }
    if (root == "HKCU" || root == "HKEY_CURRENT_USER")
        return KeyPath{HKEY_CURRENT_USER, "HKCU", sub};
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
        return KeyPath{HKEY_LOCAL_MACHINE, "HKLM", sub};
    }
    if (root == "HKCR" || root == "HKEY_CLASSES_ROOT")
        return KeyPath{HKEY_CLASSES_ROOT, "HKCR", sub};
    return std::nullopt;
}

std::string Hex(const std::vector<BYTE>& bytes) {
    std::string out;
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        if (i > 0) out += ' ';
        out += pair;
    }
    return out;
}

// A string value that is well formed: whole UTF-16 units, one terminator at the end.
std::optional<std::string> AsText(const std::vector<BYTE>& bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), bytes.size());
    if (text.back() != 0 || text.find(u'\0') != text.size() - 1) return std::nullopt;
    text.pop_back();
    return platform::Narrow(text);
}

// The data as `get` prints it: text as it is, a DWORD in decimal, anything else in hex.
std::string Plain(DWORD type, const std::vector<BYTE>& bytes) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (auto text = AsText(bytes)) return *text;
    }
    if (type == REG_DWORD && bytes.size() == 4) {
        DWORD value;
        std::memcpy(&value, bytes.data(), 4);
        return std::to_string(value);
    }
    return Hex(bytes);
}

std::string Described(DWORD type, const std::vector<BYTE>& bytes) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        if (auto text = AsText(bytes)) {
            return std::string(type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") + " \"" + *text + "\"";
        }
        return std::string(type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") +
               " (malformed) hex:" + Hex(bytes);
    case REG_DWORD:
        if (bytes.size() == 4) {
            DWORD value;
            std::memcpy(&value, bytes.data(), 4);
            char text[32];
            std::snprintf(text, sizeof text, "REG_DWORD 0x%08x (%u)", value, value);
            return text;
        }
        return "REG_DWORD (malformed) hex:" + Hex(bytes);
    case REG_BINARY:
        return "REG_BINARY hex:" + Hex(bytes);
    default:
        return "type " + std::to_string(type) + " hex:" + Hex(bytes);
    }
}

std::string ErrorText(LONG status) {
    switch (status) {
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_BADDB:
        return "the registry was damaged and has been set aside";
    case ERROR_CANTOPEN:
        return "the registry cannot be opened";
    default:
        return "error " + std::to_string(status);
    }
}

struct Value {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<Value> ValuesOf(HKEY key) {
    std::vector<Value> values;
    for (DWORD index = 0;; ++index) {
        WCHAR name[16384];
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        std::vector<BYTE> data(size);
        nameChars = 16384;
        if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        data.resize(size);
        values.push_back(Value{std::u16string(name, nameChars), type, std::move(data)});
    }
    return values;
}

std::vector<std::u16string> SubkeysOf(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, chars);
    }
    return names;
}

void Dump(HKEY key, const std::string& path, bool isRoot) {
    std::vector<Value> values = ValuesOf(key);
    std::vector<std::u16string> subkeys = SubkeysOf(key);
    if (!isRoot || !values.empty()) {
        std::printf("[%s]\n", path.c_str());
        for (const Value& value : values) {
            std::string name =
                value.name.empty() ? "@" : "\"" + platform::Narrow(value.name) + "\"";
            std::printf("%s = %s\n", name.c_str(), Described(value.type, value.data).c_str());
        }
        std::printf("\n");
    }
    for (const std::u16string& subkey : subkeys) {
        HKEY child;
        if (RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        Dump(child, path + "\\" + platform::Narrow(subkey), false);
        RegCloseKey(child);
    }
}

LONG DeleteTree(HKEY parent, const std::u16string& name) {
    HKEY key;
    LONG status = RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        std::vector<std::u16string> subkeys = SubkeysOf(key);
        if (subkeys.empty()) break;
        status = DeleteTree(key, subkeys.front());
        if (status != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? RegDeleteKeyW(parent, name.c_str()) : status;
}

std::optional<std::vector<BYTE>> ParseHex(const std::string& text) {
    std::vector<BYTE> bytes;
    int high = -1;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c == ' ' || c == ',' || c == ':') {
            if (high >= 0) return std::nullopt;
            continue;
        } else {
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<BYTE>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return bytes;
}

std::optional<DWORD> ParseDword(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    unsigned long long value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9'                 ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0) return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

bool StoreExists(const std::string& machine) {
    struct stat info;
    return stat((machine + "/" + platform::reg::kStoreFileName).c_str(), &info) == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string machine;
    if (!args.empty() && args[0] == "--machine") {
        if (args.size() < 2 || args[1].empty()) return Usage("--machine needs a directory");
        machine = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else if (!args.empty() && args[0].rfind("--machine=", 0) == 0) {
        machine = args[0].substr(10);
        if (machine.empty()) return Usage("--machine needs a directory");
        args.erase(args.begin());
    }
    if (machine.empty()) machine = platform::MachineDir();
    if (args.empty()) return Usage("no command");

    const std::string command = args[0];
    std::size_t operands = args.size() - 1;
    bool known = (command == "dump" && operands <= 1) || (command == "get" && operands == 2) ||
                 (command == "set" && operands == 4) ||
                 (command == "delete" && (operands == 1 || operands == 2));
    if (command != "dump" && command != "get" && command != "set" && command != "delete") {
        return Usage("unknown command \"" + command + "\"");
    }
    if (!known) return Usage("wrong number of arguments for " + command);

    std::optional<KeyPath> key;
    if (operands >= 1) {
        key = ParseKey(args[1]);
        if (!key) return Usage("a key starts with HKCU\\, HKLM\\ or HKCR\\: \"" + args[1] + "\"");
    }

    if (command == "delete" && operands == 1 && key->sub.empty()) {
        return Usage("a root key cannot be deleted");
    }

    // Prepared before the store is touched, so bad data never creates a machine.
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (command == "set") {
        std::string typeName = Upper(args[3]);
        const std::string& text = args[4];
        if (typeName == "REG_SZ" || typeName == "REG_EXPAND_SZ") {
            type = typeName == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
            std::u16string wide = platform::Widen(text);
            data.resize((wide.size() + 1) * sizeof(char16_t));
            std::memcpy(data.data(), wide.c_str(), data.size());
        } else if (typeName == "REG_DWORD") {
            auto value = ParseDword(text);
            if (!value) return Usage("not a DWORD: \"" + text + "\"");
            type = REG_DWORD;
            data.resize(4);
            std::memcpy(data.data(), &*value, 4);
        } else if (typeName == "REG_BINARY") {
            auto bytes = ParseHex(text);
            if (!bytes) return Usage("not hex bytes: \"" + text + "\"");
            type = REG_BINARY;
            data = std::move(*bytes);
        } else {
            return Usage("unknown type \"" + args[3] + "\"");
        }
    }

    if (command != "set" && !StoreExists(machine)) {
        return Fail("no registry in " + machine);
    }
    auto store = platform::reg::OpenStore(machine);

    if (command == "dump") {
        std::vector<KeyPath> roots;
        if (key) {
            roots.push_back(*key);
        } else {
            roots = {{HKEY_CLASSES_ROOT, "HKCR", ""},
                     {HKEY_CURRENT_USER, "HKCU", ""},
                     {HKEY_LOCAL_MACHINE, "HKLM", ""}};
        }
        for (const KeyPath& root : roots) {
            HKEY opened;
            std::u16string sub = platform::Widen(root.sub);
            LONG status = platform::reg::OpenKey(store, root.root, sub.c_str(), &opened);
            if (status != ERROR_SUCCESS) {
                return Fail(root.rootName + "\\" + root.sub + ": " + ErrorText(status));
            }
            std::string shown = root.sub.empty() ? root.rootName : root.rootName + "\\" + root.sub;
            Dump(opened, shown, root.sub.empty());
            RegCloseKey(opened);
        }
        return 0;
    }

    std::u16string sub = platform::Widen(key->sub);
    std::string shownKey = key->rootName + "\\" + key->sub;
    HKEY opened;
    LONG status = command == "set"
                      ? platform::reg::CreateKey(store, key->root, sub.c_str(), &opened, nullptr)
                      : platform::reg::OpenKey(store, key->root, sub.c_str(), &opened);
    if (status != ERROR_SUCCESS) return Fail(shownKey + ": " + ErrorText(status));

    std::u16string valueName = operands >= 2 ? platform::Widen(args[2]) : std::u16string();
    if (command == "get") {
        DWORD size = 0;
        DWORD found = 0;
        status = RegQueryValueExW(opened, valueName.c_str(), nullptr, &found, nullptr, &size);
        std::vector<BYTE> bytes(size);
        if (status == ERROR_SUCCESS) {
            status =
                RegQueryValueExW(opened, valueName.c_str(), nullptr, &found, bytes.data(), &size);
        }
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS)
            return Fail(shownKey + " " + args[2] + ": " + ErrorText(status));
        bytes.resize(size);
        std::printf("%s\n", Plain(found, bytes).c_str());
        return 0;
    }
    if (command == "set") {
        status = RegSetValueExW(opened, valueName.c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size()));
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS)
            return Fail(shownKey + " " + args[2] + ": " + ErrorText(status));
        return 0;
    }
    // delete
    if (operands == 2) {
        status = RegDeleteValueW(opened, valueName.c_str());
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS)
            return Fail(shownKey + " " + args[2] + ": " + ErrorText(status));
        return 0;
    }
    RegCloseKey(opened);
    std::size_t slash = key->sub.find_last_of('\\');
    std::u16string parentPath =
        slash == std::string::npos ? std::u16string() : platform::Widen(key->sub.substr(0, slash));
    std::u16string leaf =
        platform::Widen(slash == std::string::npos ? key->sub : key->sub.substr(slash + 1));
    HKEY parent;
    status = platform::reg::OpenKey(store, key->root, parentPath.c_str(), &parent);
    if (status == ERROR_SUCCESS) {
        status = DeleteTree(parent, leaf);
        RegCloseKey(parent);
    }
    if (status != ERROR_SUCCESS) return Fail(shownKey + ": " + ErrorText(status));
    return 0;
}
