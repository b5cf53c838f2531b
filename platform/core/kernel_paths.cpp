#include "platform/core/kernel_internal.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_machineLock;
std::string g_machineOverride;

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// The entry of `dir` that equals `name` without regard to case, or `name` itself.
std::string MatchCase(const std::string& dir, const std::string& name) {
    if (Exists(dir + "/" + name)) return name;
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) return name;
    std::u16string wanted = platform::kernel::FoldCase(platform::Widen(name));
    std::string match = name;
    while (dirent* entry = readdir(listing)) {
        if (platform::kernel::FoldCase(platform::Widen(entry->d_name)) == wanted) {
            match = entry->d_name;
            break;
        }
    }
    closedir(listing);
    return match;
}

std::string PendingDeletesFile(const std::string& machine) {
    return machine + "/pending-deletes";
}

} // namespace

namespace platform {

std::string MachineDir() {
    {
        std::lock_guard<std::mutex> guard(g_machineLock);
        if (!g_machineOverride.empty()) return g_machineOverride;
    }
    if (const char* machine = std::getenv("TESSARK_MACHINE"); machine != nullptr && *machine) {
        return machine;
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg) {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
        data = std::string(home) + "/.local/share";
    } else {
        data = "/tmp";
    }
    return data + "/tessark/machine";
}

void SetMachineDir(const std::string& dir) {
    std::lock_guard<std::mutex> guard(g_machineLock);
    g_machineOverride = dir;
}

std::string MapPathIn(const std::string& machineDir, std::string_view path) {
    auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    std::string base;
    std::string_view rest;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        char drive = static_cast<char>(path[0] | 0x20);
        base = machineDir + "/drive_" + drive;
        rest = path.substr(2);
    } else if (!path.empty() && path[0] == '\\') {
        base = machineDir + "/drive_c";
        rest = path;
    } else {
        // Unix paths, absolute or relative, stay as they are apart from the separators.
        std::string out(path);
        for (char& c : out) {
            if (c == '\\') c = '/';
        }
        return out;
    }

    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && isSeparator(rest[i]))
            ++i;
        std::size_t start = i;
        while (i < rest.size() && !isSeparator(rest[i]))
            ++i;
        std::string_view part = rest.substr(start, i - start);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // As on the platform, ".." stops at the root of the drive.
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
    }
    std::string out = base;
    for (const std::string& part : parts) {
        std::string actual = MatchCase(out, part);
        out += "/";
        out += actual;
    }
    return out;
}

std::string MapPath(std::string_view path) {
    return MapPathIn(MachineDir(), path);
}

std::string MapPath(std::u16string_view path) {
    return MapPathIn(MachineDir(), Narrow(path));
}

void OnProgramStart() {
    std::string list = PendingDeletesFile(MachineDir());
    int fd = open(list.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string path = text.substr(start, end - start);
        start = end + 1;
        if (path.empty()) continue;
        if (unlink(path.c_str()) != 0 && (errno == EISDIR || errno == EPERM)) {
            rmdir(path.c_str());
        }
    }
    if (ftruncate(fd, 0) != 0) {
        // Left as it is: the next start tries again, and deleting twice does no harm.
    }
    close(fd);
}

} // namespace platform

namespace platform::kernel {

bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (!MakeDirectories(path.substr(0, slash))) return false;
    }
    return mkdir(path.c_str(), 0755) == 0 ||
           (errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

// Records a deletion for the next program start on this machine.
bool RecordPendingDelete(const std::string& path) {
    if (path.find('\n') != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::string machine = MachineDir();
    if (!MakeDirectories(machine)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    int fd =
        open(PendingDeletesFile(machine).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string line = path + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (!ok) SetLastError(ERROR_WRITE_FAULT);
    close(fd);
    return ok;
}

} // namespace platform::kernel
