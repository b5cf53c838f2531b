#include "setup/sl_internal.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstring>

namespace setuplib {

namespace {

constexpr const char* kCommandWords[] = {"deletedir", "deletefile", "deletekey", "deleteval",
                                         "apphook"};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The log's tokens: "(eof)" at the end, braces alone, quoted text without its quotes (ending at
// the line's end when the closing quote is missing), or a run up to white space.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    bool atEnd() {
        skipSpace();
        return pos_ >= text_.size();
    }

    std::string next() {
        skipSpace();
        if (pos_ >= text_.size()) return "(eof)";
        char c = text_[pos_];
        if (c == '{' || c == '}') {
            ++pos_;
            return std::string(1, c);
        }
        if (c == '"') {
            std::size_t start = ++pos_;
            while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n')
                ++pos_;
            std::string token(text_.substr(start, pos_ - start));
            if (pos_ < text_.size() && text_[pos_] == '"') ++pos_;
            // A line ended by CR LF keeps no CR in an unterminated argument.
            if (!token.empty() && token.back() == '\r') token.pop_back();
            return token;
        }
        std::size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    void skipLine() {
        while (pos_ < text_.size() && text_[pos_] != '\n')
            ++pos_;
    }

private:
    void skipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string Format(const char* format, const std::string& a) {
    std::string out(a.size() + std::strlen(format) + 1, '\0');
    int n = std::snprintf(out.data(), out.size(), format, a.c_str());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

} // namespace

const char* CommandWord(JournalKind kind) {
    return kind <= kAppHook ? kCommandWords[kind] : "";
}

const char kLogHeader[] =
    "#\n"
    "# This uninstall log is automatically generated during installation\n"
    "# and is used by the Orvane Software uninstaller for removing this\n"
    "# product from your machine.\n"
    "#\n"
    "# If this file is missing or damaged, Windows will be unable to\n"
    "# automatically uninstall this product.\n"
    "#\n"
    "###############################################################################\n"
    "\n";

std::string RenderEntry(const JournalEntry& entry) {
    std::string line = CommandWord(entry.kind);
    line += " { \"" + entry.first + "\"";
    if (entry.kind == kDeleteVal) line += " \"" + entry.second + "\"";
    line += " }\n";
    return line;
}

std::string RenderLog(const Journal& entries) {
    std::string text = kLogHeader;
    for (const JournalEntry& entry : entries)
        text += RenderEntry(entry);
    return text;
}

Journal ParseLog(std::string_view text, bool* complete) {
    Journal entries;
    Tokenizer tokens(text);
    if (complete != nullptr) *complete = false;
    for (;;) {
        // "(eof)" is only the end when nothing is left: a quoted "(eof)" is an argument.
        if (tokens.atEnd()) {
            if (complete != nullptr) *complete = true;
            return entries;
        }
        std::string command = tokens.next();
        if (!command.empty() && command[0] == '#') {
            tokens.skipLine();
            continue;
        }
        if (tokens.next() != "{") return entries;
        int kind = -1;
        for (int i = 0; i <= static_cast<int>(kAppHook); ++i) {
            if (command == kCommandWords[i]) kind = i;
        }
        if (kind < 0) return entries;
        JournalEntry entry;
        entry.kind = static_cast<JournalKind>(kind);
        if (tokens.atEnd()) return entries;
        entry.first = tokens.next();
        if (entry.kind == kDeleteVal) {
            if (tokens.atEnd()) return entries;
            entry.second = tokens.next();
        }
        entries.push_back(entry);
        if (tokens.next() != "}") return entries;
    }
}

std::string RootPrefix(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM\\";
    if (root == HKEY_CURRENT_USER) return "HKCU\\";
    if (root == HKEY_CLASSES_ROOT) return "HKCR\\";
    return "";
}

HKEY SplitRoot(const std::string& path, std::string* key) {
    static const struct {
        const char* prefix;
        HKEY root;
    } roots[] = {{"HKLM\\", HKEY_LOCAL_MACHINE},
                 {"HKCU\\", HKEY_CURRENT_USER},
                 {"HKCR\\", HKEY_CLASSES_ROOT}};
    for (const auto& root : roots) {
        if (path.compare(0, 5, root.prefix) == 0) {
            *key = path.substr(5);
            return root.root;
        }
    }
    key->clear();
    return nullptr;
}

std::vector<std::string> PathChain(const std::string& path, bool withItself) {
    std::vector<std::string> chain;
    if (withItself) chain.push_back(path);
    std::string rest = path;
    for (std::size_t cut = rest.rfind('\\'); cut != std::string::npos; cut = rest.rfind('\\')) {
        rest.resize(cut);
        bool bareDrive = rest.size() >= 2 && rest.compare(1, std::string::npos, ":") == 0;
        if (!rest.empty() && !bareDrive) chain.insert(chain.begin(), rest);
    }
    return chain;
}

std::string LogPath(const std::string& makerFolder, const std::string& product) {
    return makerFolder + Format("\\Uninstall Log for %s.txt", product);
}

std::string SafeToDeleteName(const std::string& path, bool device, DWORD ticks) {
    char name[64];
    std::snprintf(name, sizeof name,
                  device ? "\\This File Is Safe To Delete (#%ld)"
                         : "C:\\This File Is Safe To Delete (#%ld)",
                  static_cast<long>(ticks));
    std::string result = name;
    if (!device && path.size() >= 2 && path[1] == ':') result[0] = path[0];
    std::size_t dot = path.rfind('.');
    std::size_t slash = path.find_last_of("\\/");
    // Only a dot in the file's own name starts an extension.
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        result += path.substr(dot);
    }
    return result;
}

bool UsableProductName(const std::string& product) {
    if (product.empty() || product.size() > 200) return false;
    for (char c : product) {
        if (c == '\\' || c == '/' || c == '"' || static_cast<unsigned char>(c) < 32) return false;
    }
    return product.find_first_not_of(". ") != std::string::npos;
}

std::string DesktopRegistrationKey(const std::string& product) {
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}

std::string DeviceRegistrationKey(const std::string& product) {
    return "Software\\Apps\\" + product;
}

// ---- One system --------------------------------------------------------------------------------

DWORD TargetSystem::attributes(const std::string& path) const {
    if (!device()) return GetFileAttributesA(path.c_str());
    return CeGetFileAttributes(rapi_, platform::Widen(path).c_str());
}

bool TargetSystem::setAttributes(const std::string& path, DWORD attributes) const {
    bool ok = device() ? CeSetFileAttributes(rapi_, platform::Widen(path).c_str(), attributes)
                       : SetFileAttributesA(path.c_str(), attributes);
    NoteChange();
    return ok;
}

bool TargetSystem::createDirectory(const std::string& path) const {
    bool ok = device() ? CeCreateDirectory(rapi_, platform::Widen(path).c_str(), nullptr)
                       : CreateDirectoryA(path.c_str(), nullptr);
    NoteChange();
    return ok;
}

bool TargetSystem::removeDirectory(const std::string& path) const {
    bool ok = device() ? CeRemoveDirectory(rapi_, platform::Widen(path).c_str())
                       : RemoveDirectoryA(path.c_str());
    NoteChange();
    return ok;
}

bool TargetSystem::deleteFile(const std::string& path) const {
    bool ok =
        device() ? CeDeleteFile(rapi_, platform::Widen(path).c_str()) : DeleteFileA(path.c_str());
    NoteChange();
    return ok;
}

bool TargetSystem::moveFile(const std::string& from, const std::string& to) const {
    bool ok = device()
                  ? CeMoveFile(rapi_, platform::Widen(from).c_str(), platform::Widen(to).c_str())
                  : MoveFileA(from.c_str(), to.c_str());
    NoteChange();
    return ok;
}

std::string TargetSystem::moveToSafeName(const std::string& path) const {
    setAttributes(path, 0);
    DWORD ticks = GetTickCount();
    // Two moves within one millisecond would meet at the same name; the next numbers are free.
    for (DWORD attempt = 0; attempt < 64; ++attempt) {
        std::string name = SafeToDeleteName(path, device(), ticks + attempt);
        if (exists(name)) continue;
        if (moveFile(path, name)) return name;
        if (!exists(path)) break;
    }
    return std::string();
}

bool TargetSystem::readFile(const std::string& path, std::string* data, DWORD limit) const {
    data->clear();
    std::u16string wide = platform::Widen(path);
    HANDLE file = device() ? CeCreateFile(rapi_, wide.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr)
                           : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        BOOL read = device() ? CeReadFile(rapi_, file, buffer, sizeof buffer, &got, nullptr)
                             : ReadFile(file, buffer, sizeof buffer, &got, nullptr);
        if (!read) ok = false;
        if (!read || got == 0) break;
        if (data->size() + got > limit) {
            ok = false;
            break;
        }
        data->append(buffer, got);
    }
    if (device()) {
        CeCloseHandle(rapi_, file);
    } else {
        CloseHandle(file);
    }
    if (!ok) data->clear();
    return ok;
}

namespace {

bool WriteAll(RAPI* rapi, HANDLE file, std::string_view data) {
    DWORD written = 0;
    auto size = static_cast<DWORD>(data.size());
    BOOL ok = rapi != nullptr ? CeWriteFile(rapi, file, data.data(), size, &written, nullptr)
                              : WriteFile(file, data.data(), size, &written, nullptr);
    NoteChange();
    return ok && written == size;
}

bool CloseFile(RAPI* rapi, HANDLE file) {
    BOOL ok = rapi != nullptr ? CeCloseHandle(rapi, file) : CloseHandle(file);
    return ok != FALSE;
}

} // namespace

bool TargetSystem::writeWholeFile(const std::string& path, std::string_view data) const {
    setAttributes(path, 0);
    std::u16string wide = platform::Widen(path);
    HANDLE file =
        device() ? CeCreateFile(rapi_, wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr)
                 : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    NoteChange();
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(rapi_, file, data);
    return CloseFile(rapi_, file) && ok;
}

bool TargetSystem::appendToFile(const std::string& path, std::string_view data) const {
    std::u16string wide = platform::Widen(path);
    HANDLE file =
        device() ? CeCreateFile(rapi_, wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr)
                 : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD end = device() ? CeSetFilePointer(rapi_, file, 0, nullptr, FILE_END)
                         : SetFilePointer(file, 0, nullptr, FILE_END);
    bool ok = end != INVALID_SET_FILE_POINTER && WriteAll(rapi_, file, data);
    return CloseFile(rapi_, file) && ok;
}

LONG TargetSystem::createKey(HKEY root, const std::string& key, HKEY* result) const {
    *result = nullptr;
    std::u16string wide = platform::Widen(key);
    DWORD disposition = 0;
    LONG status = device() ? CeRegCreateKeyEx(rapi_, root, wide.c_str(), 0, nullptr, 0, 0, nullptr,
                                              result, &disposition)
                           : RegCreateKeyExW(root, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, result, &disposition);
    NoteChange();
    return status;
}

LONG TargetSystem::openKey(HKEY root, const std::string& key, HKEY* result) const {
    *result = nullptr;
    std::u16string wide = platform::Widen(key);
    return device() ? CeRegOpenKeyEx(rapi_, root, wide.c_str(), 0, KEY_ALL_ACCESS, result)
                    : RegOpenKeyExW(root, wide.c_str(), 0, KEY_ALL_ACCESS, result);
}

void TargetSystem::closeKey(HKEY key) const {
    if (key == nullptr) return;
    if (device()) {
        CeRegCloseKey(rapi_, key);
    } else {
        RegCloseKey(key);
    }
}

LONG TargetSystem::setValue(HKEY key, const std::string& name, DWORD type, const BYTE* data,
                            DWORD size) const {
    std::u16string wide = platform::Widen(name);
    LONG status = device() ? CeRegSetValueEx(rapi_, key, wide.c_str(), 0, type, data, size)
                           : RegSetValueExW(key, wide.c_str(), 0, type, data, size);
    NoteChange();
    return status;
}

LONG TargetSystem::deleteValue(HKEY key, const std::string& name) const {
    std::u16string wide = platform::Widen(name);
    LONG status =
        device() ? CeRegDeleteValue(rapi_, key, wide.c_str()) : RegDeleteValueW(key, wide.c_str());
    NoteChange();
    return status;
}

LONG TargetSystem::deleteKey(HKEY root, const std::string& key) const {
    std::u16string wide = platform::Widen(key);
    LONG status =
        device() ? CeRegDeleteKey(rapi_, root, wide.c_str()) : RegDeleteKeyW(root, wide.c_str());
    NoteChange();
    return status;
}

bool TargetSystem::keyIsEmpty(HKEY root, const std::string& key) const {
    HKEY opened = nullptr;
    if (openKey(root, key, &opened) != ERROR_SUCCESS) return false;
    DWORD subKeys = 1;
    DWORD values = 1;
    LONG status =
        device() ? CeRegQueryInfoKey(rapi_, opened, nullptr, nullptr, nullptr, &subKeys, nullptr,
                                     nullptr, &values, nullptr, nullptr, nullptr, nullptr)
                 : RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    closeKey(opened);
    return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

std::string TargetSystem::readString(HKEY root, const std::string& key,
                                     const std::string& name) const {
    HKEY opened = nullptr;
    if (openKey(root, key, &opened) != ERROR_SUCCESS) return std::string();
    char16_t buffer[512];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    std::u16string wide = platform::Widen(name);
    LONG status = device() ? CeRegQueryValueEx(rapi_, opened, wide.c_str(), nullptr, &type,
                                               reinterpret_cast<BYTE*>(buffer), &size)
                           : RegQueryValueExW(opened, wide.c_str(), nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer), &size);
    closeKey(opened);
    if (status != ERROR_SUCCESS || type != REG_SZ || size > sizeof buffer) return std::string();
    std::size_t length = 0;
    while (length < size / 2 && buffer[length] != 0)
        ++length;
    return platform::Narrow(std::u16string_view(buffer, length));
}

bool TargetSystem::writeValue(HKEY root, const std::string& key, const std::string& name,
                              DWORD type, const BYTE* data, DWORD size) const {
    HKEY opened = nullptr;
    if (createKey(root, key, &opened) != ERROR_SUCCESS) return false;
    LONG status = setValue(opened, name, type, data, size);
    closeKey(opened);
    return status == ERROR_SUCCESS;
}

bool TargetSystem::writeString(HKEY root, const std::string& key, const std::string& name,
                               const std::string& text) const {
    std::u16string wide = platform::Widen(text);
    return writeValue(root, key, name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                      static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t)));
}

// ---- Folders and registration ------------------------------------------------------------------

std::string ProgramsFolder(const TargetSystem& system) {
    if (!system.device()) {
        return system.readString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                                 "ProgramFilesDir");
    }
    std::string top = system.readString(HKEY_LOCAL_MACHINE, "PMail\\Attachments", "TopDir");
    // A value written with its own leading separator names the same folder.
    std::size_t start = top.find_first_not_of('\\');
    top = start == std::string::npos ? std::string() : top.substr(start);
    return top.empty() ? "\\Program Files" : "\\" + top;
}

std::string MakerFolder(const TargetSystem& system) {
    return ProgramsFolder(system) + "\\Orvane Software";
}

void registerproduct(RAPI* rapi, const std::string& product) {
    if (!UsableProductName(product)) return;
    TargetSystem system(rapi);
    const std::string uninstaller = MakerFolder(system) + "\\uninstaller.dll";
    const std::string key =
        system.device() ? DeviceRegistrationKey(product) : DesktopRegistrationKey(product);
    HKEY opened = nullptr;
    if (system.createKey(HKEY_LOCAL_MACHINE, key, &opened) != ERROR_SUCCESS) return;
    system.closeKey(opened);
    if (!system.device()) {
        system.writeString(HKEY_LOCAL_MACHINE, key, "DisplayName", product);
        system.writeString(HKEY_LOCAL_MACHINE, key, "UninstallString",
                           "rundll32 \"" + uninstaller + "\",Uninstall " + product);
        return;
    }
    system.writeString(HKEY_LOCAL_MACHINE, key, "InstlDir", product);
    system.writeString(HKEY_LOCAL_MACHINE, key, "IsvFile", uninstaller);
    const DWORD one = 1;
    const DWORD zero = 0;
    system.writeValue(HKEY_LOCAL_MACHINE, key, "Instl", REG_DWORD,
                      reinterpret_cast<const BYTE*>(&one), sizeof one);
    system.writeValue(HKEY_LOCAL_MACHINE, key, "InstlDirCnt", REG_DWORD,
                      reinterpret_cast<const BYTE*>(&zero), sizeof zero);
}

void unregisterproduct(RAPI* rapi, const std::string& product) {
    if (!UsableProductName(product)) return;
    TargetSystem system(rapi);
    system.deleteKey(HKEY_LOCAL_MACHINE, system.device() ? DeviceRegistrationKey(product)
                                                         : DesktopRegistrationKey(product));
}

} // namespace setuplib
