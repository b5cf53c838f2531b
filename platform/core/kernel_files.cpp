#include "platform/core/kernel_internal.h"
#include "platform/core/shell_internal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::kernel::ErrorFromErrno;

class File : public platform::kernel::Object {
public:
    File(int fd, DWORD access) : fd(fd), access(access) {}
    ~File() override { close(fd); }

    const int fd;
    const DWORD access;
};

std::string ParentOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A missing file in an existing folder is "file not found"; a missing folder on the way is
// "path not found", as the platform tells the two apart.
DWORD MissingError(const std::string& path) {
    return IsDirectory(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// A file named like a program is one here as on the platform, so an installed program can be
// started from the host (a menu entry, cedevice run) without a separate step.
bool IsProgramName(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    return tail == ".exe";
}

bool ReadOnly(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// True when some handle holds the file with share mode 0.
bool HeldExclusively(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // A shared probe: it only fails against an exclusive holder, and never makes a
    // concurrent open fail the way an exclusive probe would.
    bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

HANDLE CreateFileImpl(const std::string& name, DWORD access, DWORD shareMode, DWORD creation,
                      DWORD attributes) {
    if (name.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING ||
        (access & ~(GENERIC_READ | GENERIC_WRITE)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = platform::MapPath(name);
    struct stat info;
    const bool existed = stat(path.c_str(), &info) == 0;
    if (existed && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && creation == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING)) {
        SetLastError(MissingError(path));
        return INVALID_HANDLE_VALUE;
    }
    const bool truncate = existed && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING);
    if (existed && ReadOnly(info) && ((access & GENERIC_WRITE) != 0 || truncate)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    int flags = O_CLOEXEC;
    if ((access & GENERIC_WRITE) != 0) {
        flags |= (access & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    if (!existed) flags |= O_CREAT;
    if (creation == CREATE_NEW) flags |= O_EXCL;
    int fd = open(path.c_str(), flags, IsProgramName(path) ? 0755 : 0644);
    if (fd < 0) {
        int error = errno;
        SetLastError(error == ENOENT                             ? MissingError(path)
                     : error == EEXIST && creation == CREATE_NEW ? ERROR_FILE_EXISTS
                                                                 : ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    // Truncation waits until the sharing check has passed, so a refused open never damages a
    // file that another handle holds.
    if (flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        int error = errno;
        close(fd);
        SetLastError(ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        fchmod(fd, IsProgramName(path) ? 0555 : 0444);
    }
    HANDLE handle = platform::kernel::Insert(std::make_shared<File>(fd, access));
    SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return handle;
}

DWORD GetAttributesImpl(const std::string& name) {
    std::string path = platform::MapPath(name);
    struct stat info;
    if (name.empty() || stat(path.c_str(), &info) != 0) {
        SetLastError(name.empty() || errno == ENOENT ? MissingError(path) : ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return ReadOnly(info) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

BOOL SetAttributesImpl(const std::string& name, DWORD attributes) {
    std::string path = platform::MapPath(name);
    struct stat info;
    if (name.empty() || stat(path.c_str(), &info) != 0) {
        SetLastError(name.empty() || errno == ENOENT ? MissingError(path) : ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) return TRUE;
    mode_t mode = info.st_mode & 07777;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    if (chmod(path.c_str(), mode) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryImpl(const std::string& name) {
    std::string path = platform::MapPath(name);
    if (name.empty() || mkdir(path.c_str(), 0755) != 0) {
        int error = name.empty() ? ENOENT : errno;
        SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryImpl(const std::string& name) {
    std::string path = platform::MapPath(name);
    if (name.empty() || rmdir(path.c_str()) != 0) {
        int error = name.empty() ? ENOENT : errno;
        SetLastError(error == ENOENT    ? MissingError(path)
                     : error == ENOTDIR ? ERROR_DIRECTORY
                                        : ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileImpl(const std::string& name) {
    std::string path = platform::MapPath(name);
    struct stat info;
    if (name.empty() || lstat(path.c_str(), &info) != 0) {
        SetLastError(MissingError(path));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode) || ReadOnly(info)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (HeldExclusively(path)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    platform::shell::ForgetShortcut(path);
    return TRUE;
}

BOOL MoveFileImpl(const std::string& from, const std::string* to, DWORD flags) {
    if (from.empty() || (flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                   MOVEFILE_DELAY_UNTIL_REBOOT)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string source = platform::MapPath(from);
    struct stat info;
    if (lstat(source.c_str(), &info) != 0) {
        SetLastError(MissingError(source));
        return FALSE;
    }
    if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
        if (to != nullptr && !to->empty()) {
            SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
            return FALSE;
        }
        if (source[0] != '/') {
            char cwd[4096];
            if (getcwd(cwd, sizeof cwd) == nullptr) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return FALSE;
            }
            source = std::string(cwd) + "/" + source;
        }
        return platform::kernel::RecordPendingDelete(source) ? TRUE : FALSE;
    }
    if (to == nullptr || to->empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string target = platform::MapPath(*to);
    struct stat existing;
    bool targetExists = lstat(target.c_str(), &existing) == 0;
    if (targetExists) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (S_ISDIR(existing.st_mode) || ReadOnly(existing)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    int result =
        (flags & MOVEFILE_REPLACE_EXISTING) != 0
            ? rename(source.c_str(), target.c_str())
            : renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (result != 0) {
        int error = errno;
        SetLastError(error == EEXIST   ? ERROR_ALREADY_EXISTS
                     : error == ENOENT ? ERROR_PATH_NOT_FOUND
                                       : ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

std::string Narrow(LPCWSTR text) {
    return text == nullptr ? std::string() : platform::Narrow(text);
}

std::string Text(LPCSTR text) {
    return text == nullptr ? std::string() : std::string(text);
}

std::shared_ptr<File> FileFromHandle(HANDLE handle) {
    auto file = platform::kernel::LookupAs<File>(handle);
    if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

} // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE) {
    return CreateFileImpl(Narrow(fileName), access, shareMode, creation, flagsAndAttributes);
}

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE) {
    return CreateFileImpl(Text(fileName), access, shareMode, creation, flagsAndAttributes);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    auto file = FileFromHandle(handle);
    if (file == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && bytesToRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((file->access & GENERIC_READ) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD total = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (total < bytesToRead) {
        ssize_t got = read(file->fd, bytes + total, bytesToRead - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (bytesRead != nullptr) *bytesRead = total;
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    if (bytesRead != nullptr) *bytesRead = total;
    return TRUE;
}

namespace {

// Tests fill the disk: TESSARK_DISK_FULL_AFTER=N lets a process write N bytes in all through
// WriteFile, after which every write fails as on a full disk. Anything but a number is no limit.
bool TakeDiskSpace(DWORD bytes) {
    static const long long budget = [] {
        const char* text = std::getenv("TESSARK_DISK_FULL_AFTER");
        if (text == nullptr || *text == '\0') return -1LL;
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(text, &end, 10);
        return errno != 0 || *end != '\0' || n < 0 ? -1LL : n;
    }();
    if (budget < 0) return true;
    static std::atomic<long long> used{0};
    const long long before = used.fetch_add(bytes);
    if (before + static_cast<long long>(bytes) <= budget) return true;
    used.fetch_sub(bytes);
    return false;
}

} // namespace

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    auto file = FileFromHandle(handle);
    if (file == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && bytesToWrite != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((file->access & GENERIC_WRITE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!TakeDiskSpace(bytesToWrite)) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    DWORD total = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (total < bytesToWrite) {
        ssize_t put = write(file->fd, bytes + total, bytesToWrite - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (bytesWritten != nullptr) *bytesWritten = total;
            SetLastError(put < 0 && errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
            return FALSE;
        }
        total += static_cast<DWORD>(put);
    }
    if (bytesWritten != nullptr) *bytesWritten = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    auto file = FileFromHandle(handle);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    std::int64_t offset =
        distanceHigh != nullptr
            ? static_cast<std::int64_t>(
                  (static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                  static_cast<DWORD>(distance))
            : static_cast<std::int64_t>(distance);
    std::int64_t origin;
    struct stat info;
    switch (method) {
    case FILE_BEGIN:
        origin = 0;
        break;
    case FILE_CURRENT:
        origin = lseek(file->fd, 0, SEEK_CUR);
        break;
    case FILE_END:
        origin = fstat(file->fd, &info) == 0 ? info.st_size : -1;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (origin < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t target = origin + offset;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(file->fd, target, SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(target >> 32);
    return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    auto file = FileFromHandle(handle);
    struct stat info;
    if (file == nullptr || fstat(file->fd, &info) != 0) {
        if (file != nullptr) SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    return GetAttributesImpl(Narrow(fileName));
}
DWORD GetFileAttributesA(LPCSTR fileName) {
    return GetAttributesImpl(Text(fileName));
}
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
    return SetAttributesImpl(Narrow(fileName), attributes);
}
BOOL SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
    return SetAttributesImpl(Text(fileName), attributes);
}
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    return CreateDirectoryImpl(Narrow(pathName));
}
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    return CreateDirectoryImpl(Text(pathName));
}
BOOL RemoveDirectoryW(LPCWSTR pathName) {
    return RemoveDirectoryImpl(Narrow(pathName));
}
BOOL RemoveDirectoryA(LPCSTR pathName) {
    return RemoveDirectoryImpl(Text(pathName));
}
BOOL DeleteFileW(LPCWSTR fileName) {
    return DeleteFileImpl(Narrow(fileName));
}
BOOL DeleteFileA(LPCSTR fileName) {
    return DeleteFileImpl(Text(fileName));
}
BOOL MoveFileW(LPCWSTR existingName, LPCWSTR newName) {
    std::string to = Narrow(newName);
    return MoveFileImpl(Narrow(existingName), &to, 0);
}
BOOL MoveFileA(LPCSTR existingName, LPCSTR newName) {
    std::string to = Text(newName);
    return MoveFileImpl(Text(existingName), &to, 0);
}
BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
    std::string to = Narrow(newName);
    return MoveFileImpl(Narrow(existingName), newName == nullptr ? nullptr : &to, flags);
}
BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    std::string to = Text(newName);
    return MoveFileImpl(Text(existingName), newName == nullptr ? nullptr : &to, flags);
}
