// "uninstaller.dll" on the device. It runs inside the device process, called through
// CeRapiInvoke, where device paths ("\...") and the registry are the device's own:
// - "Uninstall": what the remove-programs facility calls through a product's "IsvFile" value;
//   input the product name, it replays that product's uninstall log on the device.
// - "ChainAppHook": input hook library path, function name and product name; calls the hook.
// - "GetUninstallVersion": the version as decimal text.
// Every input is wide text with terminators; the answer is 0 or a system error code, and
// ChainAppHook answers 31 when the hook refused.
#include "platform/clock.h"
#include "platform/rapi.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define DEVICE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr HRESULT kRefused = 31;
constexpr std::size_t kMaxProductChars = 200;
constexpr std::size_t kMaxPathChars = MAX_PATH - 1;
// Far above any real log; a larger file is not a log of ours.
constexpr DWORD kLogLimit = 4u << 20;

using Hook = BOOL (*)(LPCWSTR product);

std::vector<std::u16string> TakeTexts(DWORD size, const BYTE* input, std::size_t count) {
    std::vector<std::u16string> texts;
    if (input == nullptr || size % 2 != 0) return texts;
    std::u16string all(size / 2, u'\0');
    std::memcpy(all.data(), input, size);
    std::size_t at = 0;
    while (texts.size() < count) {
        std::size_t end = all.find(u'\0', at);
        if (end == std::u16string::npos) return {};
        texts.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    return texts;
}

// A product name becomes part of a file name and of a registry key: no separators, no
// control characters.
bool GoodProduct(const std::u16string& product) {
    if (product.empty() || product.size() > kMaxProductChars) return false;
    for (char16_t c : product)
        if (c < 0x20 || c == u'\\' || c == u'/' || c == u':') return false;
    return product != u"." && product != u"..";
}

// An absolute device path that stays in the device's tree.
bool GoodPath(const std::u16string& path) {
    if (path.empty() || path.size() > kMaxPathChars) return false;
    if (path[0] != u'\\' && path[0] != u'/') return false;
    if (path.find(u':') != std::u16string::npos) return false;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t next = path.find_first_of(u"\\/", from);
        if (next == std::u16string::npos) next = path.size();
        if (path.compare(from, next - from, u"..") == 0) return false;
        from = next + 1;
    }
    return true;
}

bool GoodFunction(const std::u16string& name) {
    if (name.empty() || name.size() > 128) return false;
    for (char16_t c : name)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
              c == u'_')) {
            return false;
        }
    return true;
}

std::u16string ReadString(HKEY root, const char16_t* key, const char16_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
    BYTE data[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof data - 2;
    LONG result = RegQueryValueExW(opened, name, nullptr, &type, data, &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS || type != REG_SZ) return {};
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

// The same rule the installer used to put the log there.
std::u16string MakerFolder() {
    std::u16string top = ReadString(HKEY_LOCAL_MACHINE, u"PMail\\Attachments", u"TopDir");
    std::u16string programs = top.empty() ? u"\\Program Files" : u"\\" + top;
    return programs + u"\\Orvane Software";
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWhole(const std::u16string& path, std::string* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD length = GetFileSize(file, &high);
    bool ok = length != INVALID_FILE_SIZE && high == 0 && length <= kLogLimit;
    if (ok) {
        text->assign(length, '\0');
        DWORD got = 0;
        ok = length == 0 || (ReadFile(file, text->data(), length, &got, nullptr) && got == length);
    }
    CloseHandle(file);
    return ok;
}

// --- The log ---------------------------------------------------------------------------------

struct Entry {
    std::string command;
    std::string first;
    std::string second;
};

class Tokens {
public:
    explicit Tokens(const std::string& text) : text_(text) {}

    // "(eof)" at the end; a quoted token runs to its closing quote or to the end of its line.
    std::string Next(bool* quoted = nullptr) {
        if (quoted != nullptr) *quoted = false;
        while (at_ < text_.size() && IsBlank(text_[at_]))
            ++at_;
        if (at_ >= text_.size()) return "(eof)";
        char c = text_[at_];
        if (c == '{' || c == '}') {
            ++at_;
            return std::string(1, c);
        }
        if (c == '"') {
            if (quoted != nullptr) *quoted = true;
            std::size_t start = ++at_;
            while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\n')
                ++at_;
            std::string token = text_.substr(start, at_ - start);
            if (at_ < text_.size() && text_[at_] == '"') ++at_;
            return token;
        }
        std::size_t start = at_;
        while (at_ < text_.size() && !IsBlank(text_[at_]))
            ++at_;
        return text_.substr(start, at_ - start);
    }
    void SkipLine() {
        while (at_ < text_.size() && text_[at_] != '\n')
            ++at_;
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    const std::string& text_;
    std::size_t at_ = 0;
};

// A malformed command ends the log quietly; what came before it counts.
std::vector<Entry> ParseLog(const std::string& text) {
    std::vector<Entry> entries;
    Tokens tokens(text);
    for (;;) {
        bool quoted = false;
        std::string command = tokens.Next(&quoted);
        if (command == "(eof)" && !quoted) break;
        if (!quoted && command[0] == '#') {
            tokens.SkipLine();
            continue;
        }
        if (tokens.Next() != "{") break;
        if (command != "deletedir" && command != "deletefile" && command != "deletekey" &&
            command != "deleteval" && command != "apphook") {
            break;
        }
        Entry entry{command, tokens.Next(), {}};
        if (command == "deleteval") entry.second = tokens.Next();
        entries.push_back(entry);
        if (tokens.Next() != "}") break;
    }
    return entries;
}

HKEY SplitRoot(const std::string& text, std::u16string* key) {
    struct Root {
        const char* prefix;
        HKEY root;
    };
    for (const Root& root : {Root{"HKLM\\", HKEY_LOCAL_MACHINE}, Root{"HKCU\\", HKEY_CURRENT_USER},
                             Root{"HKCR\\", HKEY_CLASSES_ROOT}}) {
        if (text.compare(0, 5, root.prefix) == 0) {
            *key = platform::Widen(text.substr(5));
            return root.root;
        }
    }
    return nullptr;
}

// --- Changes -----------------------------------------------------------------------------------

// Moves a file out of the way under a name that says it may be removed; empty on failure.
std::u16string MoveToSafeName(const std::u16string& path) {
    std::size_t slash = path.find_last_of(u"\\/");
    std::size_t dot = path.find_last_of(u'.');
    std::u16string extension =
        dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash)
            ? path.substr(dot)
            : std::u16string();
    SetFileAttributesW(path.c_str(), 0);
    for (DWORD attempt = 0; attempt < 16; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "\\This File Is Safe To Delete (#%ld)",
                      static_cast<long>(GetTickCount() + attempt));
        std::u16string moved = platform::Widen(name) + extension;
        if (MoveFileW(path.c_str(), moved.c_str())) return moved;
    }
    return {};
}

void RemoveFile(const std::u16string& path) {
    SetFileAttributesW(path.c_str(), 0);
    DeleteFileW(path.c_str());
    if (!Exists(path)) return;
    std::u16string moved = MoveToSafeName(path);
    if (!moved.empty()) DeleteFileW(moved.c_str());
}

bool KeyIsEmpty(HKEY root, const std::u16string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0, values = 0;
    LONG result = RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

void Replay(const Entry& entry) {
    std::u16string first = platform::Widen(entry.first);
    if (entry.command == "deletedir") {
        if (GoodPath(first)) RemoveDirectoryW(first.c_str());
    } else if (entry.command == "deletefile") {
        if (GoodPath(first) && Exists(first)) RemoveFile(first);
    } else if (entry.command == "deletekey") {
        std::u16string key;
        HKEY root = SplitRoot(entry.first, &key);
        if (root != nullptr && !key.empty() && KeyIsEmpty(root, key)) {
            RegDeleteKeyW(root, key.c_str());
        }
    } else if (entry.command == "deleteval") {
        std::u16string key;
        HKEY root = SplitRoot(entry.first, &key);
        HKEY opened = nullptr;
        if (root == nullptr ||
            RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
            return;
        }
        RegDeleteValueW(opened, platform::Widen(entry.second).c_str());
        RegCloseKey(opened);
    }
}

enum class Answer { Yes, No, Unavailable };

Answer AskHook(const std::u16string& library, const std::u16string& function,
               const std::u16string& product) {
    HMODULE module = LoadLibraryW(library.c_str());
    if (module == nullptr) return Answer::Unavailable;
    auto hook = reinterpret_cast<Hook>(GetProcAddressW(module, function.c_str()));
    Answer answer = Answer::Unavailable;
    if (hook != nullptr) answer = hook(product.c_str()) ? Answer::Yes : Answer::No;
    FreeLibrary(module);
    return answer;
}

HRESULT UninstallProduct(const std::u16string& product) {
    const std::u16string maker = MakerFolder();
    const std::u16string log = maker + u"\\Uninstall Log for " + product + u".txt";
    const std::u16string fresh = log + u".new";
    std::string text;
    // A log being replaced when the installer stopped is complete under its new name.
    if (!ReadWhole(log, &text) && !ReadWhole(fresh, &text)) {
        return static_cast<HRESULT>(ERROR_FILE_NOT_FOUND);
    }
    const std::vector<Entry> entries = ParseLog(text);

    std::u16string hookHome, hook;
    for (const Entry& entry : entries) {
        std::u16string path = platform::Widen(entry.first);
        if (entry.command != "apphook" || !GoodPath(path) || !Exists(path)) continue;
        hook = MoveToSafeName(path);
        if (!hook.empty()) {
            hookHome = path;
            break;
        }
    }
    if (!hook.empty() && AskHook(hook, u"OnUninstallBegin", product) == Answer::No) {
        // Refused: the hook goes back where it was, so nothing has changed.
        MoveFileW(hook.c_str(), hookHome.c_str());
        return kRefused;
    }

    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        Replay(*entry);
    SetFileAttributesW(log.c_str(), 0);
    DeleteFileW(log.c_str());
    if (Exists(fresh)) DeleteFileW(fresh.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (u"Software\\Apps\\" + product).c_str());

    if (!hook.empty()) {
        AskHook(hook, u"OnUninstallEnd", product);
        RemoveFile(hook);
    }
    return S_OK;
}

void NoOutput(DWORD* outputSize, BYTE** output) {
    if (outputSize != nullptr) *outputSize = 0;
    if (output != nullptr) *output = nullptr;
}

} // namespace

DEVICE_EXPORT HRESULT Uninstall(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output,
                                IRAPIStream*) {
    NoOutput(outputSize, output);
    std::vector<std::u16string> texts = TakeTexts(inputSize, input, 1);
    if (input != nullptr) LocalFree(input);
    if (texts.size() != 1 || !GoodProduct(texts[0])) {
        return static_cast<HRESULT>(ERROR_INVALID_PARAMETER);
    }
    return UninstallProduct(texts[0]);
}

// 0 when the hook agreed, 31 when it refused, ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND when
// there is no such hook (which does not stop an uninstall).
DEVICE_EXPORT HRESULT ChainAppHook(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output,
                                   IRAPIStream*) {
    NoOutput(outputSize, output);
    std::vector<std::u16string> texts = TakeTexts(inputSize, input, 3);
    if (input != nullptr) LocalFree(input);
    if (texts.size() != 3 || !GoodPath(texts[0]) || !GoodFunction(texts[1]) ||
        texts[2].size() > kMaxProductChars) {
        return static_cast<HRESULT>(ERROR_INVALID_PARAMETER);
    }
    HMODULE module = LoadLibraryW(texts[0].c_str());
    if (module == nullptr) return static_cast<HRESULT>(ERROR_MOD_NOT_FOUND);
    auto hook = reinterpret_cast<Hook>(GetProcAddressW(module, texts[1].c_str()));
    HRESULT result = static_cast<HRESULT>(ERROR_PROC_NOT_FOUND);
    if (hook != nullptr) result = hook(texts[2].c_str()) ? S_OK : kRefused;
    FreeLibrary(module);
    return result;
}

DEVICE_EXPORT HRESULT GetUninstallVersion(DWORD, BYTE* input, DWORD* outputSize, BYTE** output,
                                          IRAPIStream*) {
    if (input != nullptr) LocalFree(input);
    if (outputSize == nullptr || output == nullptr) return E_INVALIDARG;
    static const char16_t kVersion[] = u"1";
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, sizeof kVersion));
    if (block == nullptr) return static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(block, kVersion, sizeof kVersion);
    *output = block;
    *outputSize = sizeof kVersion;
    return S_OK;
}
