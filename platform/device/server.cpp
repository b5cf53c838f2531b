#include "platform/device/device.h"
#include "platform/device/protocol.h"
#include "platform/rapi.h"
#include "platform/reg.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace device {

namespace fs = std::filesystem;

namespace {

std::string TreeRoot(const std::string& dir) {
    return dir + "/drive_c";
}

bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t* value) {
    if (text.empty() || text.size() > 12) return false;
    std::uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<unsigned>(c - '0');
    }
    if (result > limit) return false;
    *value = result;
    return true;
}

bool GoodName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

} // namespace

std::optional<Description> ReadDescription(const std::string& dir, std::string* error) {
    std::ifstream in(dir + "/" + kDescriptionFile);
    if (!in) {
        *error = "no device in " + dir + " (cedevice create makes one)";
        return std::nullopt;
    }
    Description description;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        std::size_t equals = line.find('=');
        std::string where = std::string(kDescriptionFile) + " line " + std::to_string(lineNumber);
        if (equals == std::string::npos) {
            *error = where + ": not key=value";
            return std::nullopt;
        }
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        std::uint64_t number = 0;
        if (key == "architecture") {
            if (!ParseNumber(value, 0xFFFF, &number)) {
                *error = where + ": the architecture is a number from 0 to 65535";
                return std::nullopt;
            }
            description.architecture = static_cast<unsigned>(number);
        } else if (key == "name") {
            if (!GoodName(value)) {
                *error = where + ": the name has 1 to 64 printable characters";
                return std::nullopt;
            }
            description.name = value;
        } else if (key == "store") {
            if (!ParseNumber(value, 0xFFFFFFFFu, &number)) {
                *error = where + ": the store size is a number of bytes below 4 GB";
                return std::nullopt;
            }
            description.storeSize = static_cast<std::uint32_t>(number);
        } else {
            *error = where + ": unknown key \"" + key + "\"";
            return std::nullopt;
        }
    }
    return description;
}

bool WriteDescription(const std::string& dir, const Description& description, std::string* error) {
    if (!GoodName(description.name) || description.architecture > 0xFFFF) {
        *error = "the name has 1 to 64 printable characters and the architecture is below 65536";
        return false;
    }
    std::string path = dir + "/" + kDescriptionFile;
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "architecture=" << description.architecture << "\n"
            << "name=" << description.name << "\n"
            << "store=" << description.storeSize << "\n";
        if (!out.flush()) {
            *error = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code failed;
    fs::rename(temporary, path, failed);
    if (failed) {
        *error = "cannot write " + path + ": " + failed.message();
        return false;
    }
    return true;
}

std::optional<std::string> HostPath(const std::string& dir, std::u16string_view devicePath) {
    if (devicePath.empty() || devicePath.size() > kMaxText) return std::nullopt;
    std::string path = platform::Narrow(devicePath);
    for (char& c : path) {
        if (c == '/') c = '\\';
        if (c == ':' || static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    }
    if (path[0] != '\\') return std::nullopt;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string_view part(path.data() + start, end - start);
        if (part == "." || part == "..") return std::nullopt;
        start = end + 1;
    }
    const std::string root = TreeRoot(dir);
    std::string mapped = platform::MapPathIn(dir, path);
    if (mapped != root && mapped.rfind(root + "/", 0) != 0) return std::nullopt;
    // The deepest part that exists must resolve inside the tree, so that a symbolic link cannot
    // lead the device out of it.
    std::error_code failed;
    fs::path existing = mapped;
    while (existing.string().size() > root.size() &&
           fs::symlink_status(existing, failed).type() == fs::file_type::not_found) {
        existing = existing.parent_path();
    }
    fs::path real = fs::canonical(existing, failed);
    if (failed) return std::nullopt;
    fs::path realRoot = fs::canonical(root, failed);
    if (failed) return std::nullopt;
    std::string realText = real.string();
    std::string rootText = realRoot.string();
    if (realText != rootText && realText.rfind(rootText + "/", 0) != 0) return std::nullopt;
    return mapped;
}

bool CreateDevice(const std::string& dir, const Description& description, std::string* error) {
    std::error_code failed;
    if (fs::exists(dir + "/" + kDescriptionFile, failed)) {
        *error = "a device already exists in " + dir;
        return false;
    }
    const std::string root = TreeRoot(dir);
    for (const char* folder : {"/Windows/Start Menu/Programs", "/Windows/StartUp", "/Program Files",
                               "/My Documents", "/Temp"}) {
        fs::create_directories(root + folder, failed);
        if (failed) {
            *error = "cannot create " + root + folder + ": " + failed.message();
            return false;
        }
    }
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, failed);
    platform::reg::OpenStore(dir, false);
    if (!fs::exists(dir + "/" + platform::reg::kStoreFileName, failed)) {
        *error = "cannot create the registry of " + dir;
        return false;
    }
    return WriteDescription(dir, description, error);
}

bool IsRunning(const std::string& dir) {
    int fd = ConnectTo(SocketPath(dir));
    if (fd < 0) return false;
    Writer request;
    request.U32(static_cast<std::uint32_t>(Op::ReqHello));
    std::vector<unsigned char> answer;
    bool up = SendFrame(fd, request.data()) && ReceiveFrame(fd, answer);
    close(fd);
    return up;
}

namespace {

// The extension function libraries loaded so far, by host path; they stay loaded, as on the
// device a library once loaded by the remote API stays until the device resets.
std::map<std::string, void*>& Libraries() {
    static auto* libraries = new std::map<std::string, void*>;
    return *libraries;
}

// Everything a request changes is done under this lock: the device runs one call at a time.
std::mutex g_deviceLock;
std::atomic<bool> g_stopping{false};
int g_listener = -1;

struct Answer {
    std::uint32_t result = 0;
    std::uint32_t error = 0;
    Writer fields;
};

class Session {
public:
    Session(const std::string& dir, const Description& description,
            std::shared_ptr<platform::reg::Store> store)
        : dir_(dir), description_(description), store_(std::move(store)) {}
    ~Session() {
        for (auto& [id, handle] : files_)
            CloseHandle(handle);
        for (auto& [id, key] : keys_)
            RegCloseKey(key);
    }

    // False when the request is malformed; the connection is then dropped.
    bool Handle(const std::vector<unsigned char>& frame, Answer& answer, bool* shutdown);

private:
    std::uint32_t AddFile(HANDLE handle) {
        std::uint32_t id = next_;
        next_ += 4;
        files_[id] = handle;
        return id;
    }
    HANDLE FileOf(std::uint32_t id) const {
        auto found = files_.find(id);
        return found == files_.end() ? INVALID_HANDLE_VALUE : found->second;
    }
    // A root key's code, or a key this session opened; nullptr otherwise.
    HKEY KeyOf(std::uint32_t id, bool* isRoot) const {
        *isRoot = id >= 0x80000000u && id <= 0x80000002u;
        if (*isRoot) return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(id)));
        auto found = keys_.find(id);
        return found == keys_.end() ? nullptr : found->second;
    }
    void Invoke(Reader& in, Answer& answer);
    void FindFiles(const std::u16string& pattern, Answer& answer);

    std::string dir_;
    Description description_;
    std::shared_ptr<platform::reg::Store> store_;
    std::map<std::uint32_t, HANDLE> files_;
    std::map<std::uint32_t, HKEY> keys_;
    std::uint32_t next_ = 0x100;
};

std::u16string Wide(const std::string& text) {
    return platform::Widen(text);
}

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// "*" and "?" as the platform's file searches know them, without regard to case.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*" || pattern == u"*") return true;
    std::size_t p = 0, n = 0, star = std::u16string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

void Session::FindFiles(const std::u16string& pattern, Answer& answer) {
    std::size_t slash = pattern.find_last_of(u"\\/");
    if (slash == std::u16string::npos || slash + 1 == pattern.size()) {
        answer.error = ERROR_INVALID_PARAMETER;
        return;
    }
    std::u16string folder = slash == 0 ? u"\\" : pattern.substr(0, slash);
    std::u16string leaf = pattern.substr(slash + 1);
    std::optional<std::string> host = HostPath(dir_, folder);
    std::error_code failed;
    if (!host || !fs::is_directory(*host, failed)) {
        answer.error = ERROR_PATH_NOT_FOUND;
        return;
    }
    Writer entries;
    std::uint32_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(*host, failed)) {
        std::u16string name = Wide(entry.path().filename().string());
        if (!Matches(leaf, name) || name.size() >= MAX_PATH) continue;
        DWORD attributes = GetFileAttributesW(Wide(entry.path().string()).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        std::uint64_t size = entry.is_regular_file(failed) ? entry.file_size(failed) : 0;
        entries.U32(attributes).U32(static_cast<std::uint32_t>(size >> 32));
        entries.U32(static_cast<std::uint32_t>(size)).Text(name);
        ++count;
        // A frame's worth of names is all one search returns.
        if (entries.data().size() > kMaxFrame / 2) break;
    }
    if (count == 0) {
        answer.error = ERROR_FILE_NOT_FOUND;
        return;
    }
    answer.result = 1;
    answer.fields.U32(count);
    const auto& bytes = entries.data();
    answer.fields.Bytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool GoodFunctionName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    for (char c : name) {
        bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

void Session::Invoke(Reader& in, Answer& answer) {
    std::u16string library = in.Text();
    std::u16string function = in.Text();
    std::vector<unsigned char> input = in.Bytes(kMaxTransfer);
    if (!in.ok()) return;
    answer.result = static_cast<std::uint32_t>(E_FAIL);
    std::optional<std::string> host = HostPath(dir_, library);
    std::string name = platform::Narrow(function);
    std::error_code failed;
    // Only libraries inside the device's own tree ever run here.
    if (!host || !fs::is_regular_file(*host, failed)) {
        answer.error = ERROR_MOD_NOT_FOUND;
        return;
    }
    if (!GoodFunctionName(name)) {
        answer.error = ERROR_PROC_NOT_FOUND;
        return;
    }
    void*& handle = Libraries()[*host];
    if (handle == nullptr) handle = dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        Libraries().erase(*host);
        answer.error = ERROR_MOD_NOT_FOUND;
        return;
    }
    auto entry = reinterpret_cast<RapiExtensionFunction>(dlsym(handle, name.c_str()));
    if (entry == nullptr) {
        answer.error = ERROR_PROC_NOT_FOUND;
        return;
    }
    // The function owns its input (LocalAlloc'd) and hands back a LocalAlloc'd output.
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, input.size()));
    if (block == nullptr) {
        answer.error = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    if (!input.empty()) std::memcpy(block, input.data(), input.size());
    DWORD outputSize = 0;
    BYTE* output = nullptr;
    SetLastError(0);
    HRESULT result = entry(static_cast<DWORD>(input.size()), block, &outputSize, &output, nullptr);
    answer.result = static_cast<std::uint32_t>(result);
    answer.error = GetLastError();
    if (output != nullptr && outputSize <= kMaxTransfer) {
        answer.fields.Bytes(output, outputSize);
    } else {
        answer.fields.Bytes(nullptr, 0);
    }
    if (output != nullptr) LocalFree(output);
}

std::uint32_t FreeBytes(const std::string& dir, std::uint32_t storeSize) {
    std::uint64_t used = 0;
    std::error_code failed;
    for (auto it = fs::recursive_directory_iterator(TreeRoot(dir), failed);
         !failed && it != fs::recursive_directory_iterator(); it.increment(failed)) {
        if (it->is_regular_file(failed)) used += it->file_size(failed);
    }
    return used >= storeSize ? 0 : static_cast<std::uint32_t>(storeSize - used);
}

const char16_t* SpecialFolder(std::uint32_t csidl) {
    switch (csidl) {
    case CSIDL_PROGRAMS:
        return u"\\Windows\\Start Menu\\Programs";
    case CSIDL_PERSONAL:
        return u"\\My Documents";
    case CSIDL_STARTUP:
        return u"\\Windows\\StartUp";
    default:
        return nullptr;
    }
}

bool Session::Handle(const std::vector<unsigned char>& frame, Answer& answer, bool* shutdown) {
    Reader in(frame);
    auto op = static_cast<Op>(in.U32());
    if (!in.ok()) return false;
    // A path that leaves the tree is simply not there.
    auto pathOf = [&](const std::u16string& devicePath) -> std::optional<std::u16string> {
        std::optional<std::string> host = HostPath(dir_, devicePath);
        if (!host) {
            answer.error = ERROR_PATH_NOT_FOUND;
            return std::nullopt;
        }
        return Wide(*host);
    };
    auto boolResult = [&](BOOL ok) {
        answer.result = ok ? 1 : 0;
        if (!ok) answer.error = GetLastError();
    };
    switch (op) {
    case Op::ReqHello:
        answer.result = 1;
        answer.fields.U32(description_.architecture).Text(Wide(description_.name));
        return true;
    case Op::ReqShutdown:
        answer.result = 1;
        *shutdown = true;
        return true;
    case Op::ReqCreateFile: {
        std::u16string path = in.Text();
        DWORD access = in.U32(), share = in.U32(), creation = in.U32(), flags = in.U32();
        if (!in.ok()) return false;
        auto host = pathOf(path);
        if (!host) return true;
        HANDLE file = CreateFileW(host->c_str(), access, share, nullptr, creation, flags, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            answer.error = GetLastError();
            return true;
        }
        answer.error = GetLastError();
        answer.result = AddFile(file);
        return true;
    }
    case Op::ReqReadFile: {
        std::uint32_t id = in.U32(), count = in.U32();
        if (!in.ok()) return false;
        HANDLE file = FileOf(id);
        if (file == INVALID_HANDLE_VALUE || count > kMaxTransfer) {
            answer.error =
                file == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
            answer.fields.Bytes(nullptr, 0);
            return true;
        }
        std::vector<unsigned char> data(count);
        DWORD got = 0;
        boolResult(ReadFile(file, data.data(), count, &got, nullptr));
        answer.fields.Bytes(data.data(), answer.result ? got : 0);
        return true;
    }
    case Op::ReqWriteFile: {
        std::uint32_t id = in.U32();
        std::vector<unsigned char> data = in.Bytes(kMaxTransfer);
        if (!in.ok()) return false;
        HANDLE file = FileOf(id);
        if (file == INVALID_HANDLE_VALUE) {
            answer.error = ERROR_INVALID_HANDLE;
            answer.fields.U32(0);
            return true;
        }
        // The store holds what its size allows; a write past it fails as on a full device.
        if (data.size() > FreeBytes(dir_, description_.storeSize)) {
            answer.result = 0;
            answer.error = ERROR_DISK_FULL;
            answer.fields.U32(0);
            return true;
        }
        DWORD written = 0;
        boolResult(
            WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        answer.fields.U32(written);
        return true;
    }
    case Op::ReqCloseHandle: {
        std::uint32_t id = in.U32();
        if (!in.ok()) return false;
        auto found = files_.find(id);
        if (found == files_.end()) {
            answer.error = ERROR_INVALID_HANDLE;
            return true;
        }
        boolResult(CloseHandle(found->second));
        files_.erase(found);
        return true;
    }
    case Op::ReqSetFilePointer: {
        std::uint32_t id = in.U32();
        LONG low = static_cast<LONG>(in.U32());
        std::uint32_t withHigh = in.U32();
        LONG high = static_cast<LONG>(in.U32());
        DWORD method = in.U32();
        if (!in.ok()) return false;
        HANDLE file = FileOf(id);
        if (file == INVALID_HANDLE_VALUE) {
            answer.result = INVALID_SET_FILE_POINTER;
            answer.error = ERROR_INVALID_HANDLE;
            answer.fields.U32(0);
            return true;
        }
        SetLastError(0);
        answer.result = SetFilePointer(file, low, withHigh ? &high : nullptr, method);
        answer.error = GetLastError();
        answer.fields.U32(static_cast<std::uint32_t>(high));
        return true;
    }
    case Op::ReqGetFileSize: {
        std::uint32_t id = in.U32();
        if (!in.ok()) return false;
        HANDLE file = FileOf(id);
        DWORD high = 0;
        if (file == INVALID_HANDLE_VALUE) {
            answer.result = INVALID_FILE_SIZE;
            answer.error = ERROR_INVALID_HANDLE;
        } else {
            SetLastError(0);
            answer.result = GetFileSize(file, &high);
            answer.error = GetLastError();
        }
        answer.fields.U32(high);
        return true;
    }
    case Op::ReqGetFileAttributes: {
        std::u16string path = in.Text();
        if (!in.ok()) return false;
        answer.result = INVALID_FILE_ATTRIBUTES;
        auto host = pathOf(path);
        if (!host) return true;
        answer.result = GetFileAttributesW(host->c_str());
        if (answer.result == INVALID_FILE_ATTRIBUTES) answer.error = GetLastError();
        return true;
    }
    case Op::ReqSetFileAttributes: {
        std::u16string path = in.Text();
        DWORD attributes = in.U32();
        if (!in.ok()) return false;
        if (auto host = pathOf(path)) boolResult(SetFileAttributesW(host->c_str(), attributes));
        return true;
    }
    case Op::ReqCreateDirectory:
    case Op::ReqRemoveDirectory:
    case Op::ReqDeleteFile: {
        std::u16string path = in.Text();
        if (!in.ok()) return false;
        auto host = pathOf(path);
        if (!host) return true;
        if (op == Op::ReqCreateDirectory) boolResult(CreateDirectoryW(host->c_str(), nullptr));
        if (op == Op::ReqRemoveDirectory) {
            // The root of the tree stays.
            if (path.find_first_not_of(u"\\/") == std::u16string::npos) {
                answer.error = ERROR_ACCESS_DENIED;
                return true;
            }
            boolResult(RemoveDirectoryW(host->c_str()));
        }
        if (op == Op::ReqDeleteFile) boolResult(DeleteFileW(host->c_str()));
        return true;
    }
    case Op::ReqMoveFile: {
        std::u16string from = in.Text();
        std::u16string to = in.Text();
        if (!in.ok()) return false;
        auto hostFrom = pathOf(from);
        auto hostTo = hostFrom ? pathOf(to) : std::nullopt;
        if (hostFrom && hostTo) boolResult(MoveFileW(hostFrom->c_str(), hostTo->c_str()));
        return true;
    }
    case Op::ReqFindFiles: {
        std::u16string pattern = in.Text();
        if (!in.ok()) return false;
        FindFiles(pattern, answer);
        return true;
    }
    case Op::ReqRegOpenKey: {
        std::uint32_t parentId = in.U32();
        std::u16string sub = in.Text();
        std::uint32_t create = in.U32();
        if (!in.ok()) return false;
        bool isRoot = false;
        HKEY parent = KeyOf(parentId, &isRoot);
        HKEY opened = nullptr;
        DWORD disposition = 0;
        LONG status;
        if (parent == nullptr) {
            status = ERROR_INVALID_HANDLE;
        } else if (isRoot) {
            status = create ? platform::reg::CreateKey(store_, parent, sub.c_str(), &opened,
                                                       &disposition)
                            : platform::reg::OpenKey(store_, parent, sub.c_str(), &opened);
        } else {
            status = create ? RegCreateKeyExW(parent, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                              nullptr, &opened, &disposition)
                            : RegOpenKeyExW(parent, sub.c_str(), 0, KEY_ALL_ACCESS, &opened);
        }
        answer.result = static_cast<std::uint32_t>(status);
        std::uint32_t id = 0;
        if (status == ERROR_SUCCESS) {
            id = next_;
            next_ += 4;
            keys_[id] = opened;
        }
        answer.fields.U32(id).U32(disposition);
        return true;
    }
    case Op::ReqRegCloseKey: {
        std::uint32_t id = in.U32();
        if (!in.ok()) return false;
        auto found = keys_.find(id);
        if (found == keys_.end()) {
            answer.result = ERROR_INVALID_HANDLE;
            return true;
        }
        answer.result = static_cast<std::uint32_t>(RegCloseKey(found->second));
        keys_.erase(found);
        return true;
    }
    case Op::ReqRegQueryValue:
    case Op::ReqRegSetValue:
    case Op::ReqRegDeleteValue:
    case Op::ReqRegDeleteKey:
    case Op::ReqRegEnumKey:
    case Op::ReqRegEnumValue:
    case Op::ReqRegQueryInfoKey: {
        bool isRoot = false;
        std::uint32_t id = in.U32();
        if (!in.ok()) return false;
        HKEY key = KeyOf(id, &isRoot);
        HKEY rootOpened = nullptr;
        // Root keys reach the device's store, never the desktop's.
        if (isRoot) {
            if (platform::reg::OpenKey(store_, key, u"", &rootOpened) != ERROR_SUCCESS) {
                key = nullptr;
            } else {
                key = rootOpened;
            }
        }
        LONG status = ERROR_INVALID_HANDLE;
        if (op == Op::ReqRegQueryValue) {
            std::u16string name = in.Text();
            if (!in.ok()) return false;
            DWORD type = 0, size = 0;
            std::vector<BYTE> data;
            if (key != nullptr) {
                status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
                if (status == ERROR_SUCCESS) {
                    data.resize(size);
                    status =
                        RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
                    data.resize(size);
                }
            }
            answer.fields.U32(type).Bytes(data.data(), static_cast<std::uint32_t>(data.size()));
        } else if (op == Op::ReqRegSetValue) {
            std::u16string name = in.Text();
            DWORD type = in.U32();
            std::vector<unsigned char> data = in.Bytes(kMaxTransfer);
            if (!in.ok()) return false;
            if (key != nullptr) {
                status = RegSetValueExW(key, name.c_str(), 0, type, data.data(),
                                        static_cast<DWORD>(data.size()));
            }
        } else if (op == Op::ReqRegDeleteValue || op == Op::ReqRegDeleteKey) {
            std::u16string name = in.Text();
            if (!in.ok()) return false;
            if (key != nullptr) {
                status = op == Op::ReqRegDeleteValue ? RegDeleteValueW(key, name.c_str())
                                                     : RegDeleteKeyW(key, name.c_str());
            }
        } else if (op == Op::ReqRegEnumKey) {
            DWORD index = in.U32();
            if (!in.ok()) return false;
            WCHAR name[256];
            DWORD chars = 256;
            if (key != nullptr) {
                status =
                    RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
            }
            answer.fields.Text(name, status == ERROR_SUCCESS ? chars : 0);
        } else if (op == Op::ReqRegEnumValue) {
            DWORD index = in.U32();
            if (!in.ok()) return false;
            std::u16string name(16384, u'\0');
            DWORD chars = 16384, type = 0, size = 0;
            std::vector<BYTE> data;
            if (key != nullptr) {
                status =
                    RegEnumValueW(key, index, name.data(), &chars, nullptr, &type, nullptr, &size);
                if (status == ERROR_SUCCESS) {
                    data.resize(size);
                    chars = 16384;
                    status = RegEnumValueW(key, index, name.data(), &chars, nullptr, &type,
                                           data.data(), &size);
                    data.resize(size);
                }
            }
            name.resize(status == ERROR_SUCCESS ? chars : 0);
            answer.fields.Text(name).U32(type).Bytes(data.data(),
                                                     static_cast<std::uint32_t>(data.size()));
        } else {
            DWORD subKeys = 0, maxSubKey = 0, values = 0, maxName = 0, maxValue = 0;
            if (key != nullptr) {
                status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey,
                                          nullptr, &values, &maxName, &maxValue, nullptr, nullptr);
            }
            answer.fields.U32(subKeys).U32(maxSubKey).U32(values).U32(maxName).U32(maxValue);
        }
        if (rootOpened != nullptr) RegCloseKey(rootOpened);
        answer.result = static_cast<std::uint32_t>(status);
        return true;
    }
    case Op::ReqStoreInformation:
        answer.result = 1;
        answer.fields.U32(description_.storeSize).U32(FreeBytes(dir_, description_.storeSize));
        return true;
    case Op::ReqSpecialFolder: {
        std::uint32_t csidl = in.U32();
        if (!in.ok()) return false;
        const char16_t* folder = SpecialFolder(csidl);
        if (folder == nullptr) {
            answer.error = ERROR_INVALID_PARAMETER;
            answer.fields.Text(u"");
            return true;
        }
        answer.result = 1;
        answer.fields.Text(folder);
        return true;
    }
    case Op::ReqCreateShortcut: {
        std::u16string shortcut = in.Text();
        std::u16string target = in.Text();
        if (!in.ok()) return false;
        auto host = pathOf(shortcut);
        if (!host) return true;
        // The device's shortcut file: the target's length, "#", the target.
        std::string text = std::to_string(target.size()) + "#" + platform::Narrow(target);
        HANDLE file =
            CreateFileW(host->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            answer.error = GetLastError();
            return true;
        }
        DWORD written = 0;
        boolResult(
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        CloseHandle(file);
        return true;
    }
    case Op::ReqInvoke:
        Invoke(in, answer);
        return in.ok();
    }
    return false;
}

void ServeClient(int fd, std::string dir, Description description,
                 std::shared_ptr<platform::reg::Store> store) {
    // Only the device's own user may talk to it.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
        close(fd);
        return;
    }
    auto session = std::make_unique<Session>(dir, description, std::move(store));
    {
        std::vector<unsigned char> frame;
        while (!g_stopping && ReceiveFrame(fd, frame)) {
            Answer answer;
            bool shutdown = false;
            bool good;
            {
                std::lock_guard<std::mutex> guard(g_deviceLock);
                good = session->Handle(frame, answer, &shutdown);
            }
            if (!good) break; // a malformed request ends the connection
            Writer reply;
            reply.U32(answer.result).U32(answer.error);
            std::vector<unsigned char> body = reply.data();
            const auto& fields = answer.fields.data();
            body.insert(body.end(), fields.begin(), fields.end());
            if (!SendFrame(fd, body)) break;
            if (shutdown) {
                g_stopping = true;
                ::shutdown(g_listener, SHUT_RDWR);
                break;
            }
        }
    }
    {
        // The session's handles close under the device lock.
        std::lock_guard<std::mutex> guard(g_deviceLock);
        session.reset();
    }
    close(fd);
}

} // namespace

int Serve(const std::string& dir, std::string* error) {
    std::optional<Description> description = ReadDescription(dir, error);
    if (!description) return 1;
    const std::string socketPath = SocketPath(dir);
    sockaddr_un address{};
    if (socketPath.size() >= sizeof address.sun_path) {
        *error = "the device's socket path is too long: " + socketPath;
        return 1;
    }
    if (IsRunning(dir)) {
        *error = "the device in " + dir + " is already running";
        return 1;
    }
    std::error_code failed;
    fs::create_directories(TreeRoot(dir), failed);
    fs::remove(socketPath, failed); // left by a device that was killed
    std::signal(SIGPIPE, SIG_IGN);
    // The device is the machine of everything that runs in it, its libraries included.
    platform::SetMachineDir(dir);
    auto store = platform::reg::OpenStore(dir, false);

    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    mode_t mask = umask(0077);
    bool bound = listener >= 0 &&
                 bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 listen(listener, 16) == 0;
    umask(mask);
    if (!bound) {
        *error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        if (listener >= 0) close(listener);
        return 1;
    }
    g_listener = listener;
    {
        std::ofstream pid(dir + "/" + kPidFile, std::ios::trunc);
        pid << getpid() << "\n";
    }
    while (!g_stopping) {
        int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        std::thread(ServeClient, client, dir, *description, store).detach();
    }
    fs::remove(socketPath, failed);
    fs::remove(dir + "/" + kPidFile, failed);
    close(listener);
    // Sessions still open end with the process, as a device that is unplugged drops them.
    std::lock_guard<std::mutex> guard(g_deviceLock);
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace device
