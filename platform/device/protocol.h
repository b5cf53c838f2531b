// The wire between "rapi.dll" on the desktop and the device process: length-prefixed frames over
// a Unix socket in the device directory. A request is an operation code and its fields; an
// answer starts with the call's result and the device's last error. Everything here is plain
// C++ and POSIX, as "rapi.dll" links nothing of the platform layer.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace device {

// No frame is larger; a writer splits its data so that every request fits.
inline constexpr std::uint32_t kMaxFrame = 4u << 20;
// Data carried by one read or write request.
inline constexpr std::uint32_t kMaxTransfer = 1u << 20;
// Longest text field (characters).
inline constexpr std::uint32_t kMaxText = 32767;

enum class Op : std::uint32_t {
    ReqHello = 1,
    ReqCreateFile = 2,
    ReqReadFile = 3,
    ReqWriteFile = 4,
    ReqCloseHandle = 5,
    ReqSetFilePointer = 6,
    ReqGetFileSize = 7,
    ReqGetFileAttributes = 8,
    ReqSetFileAttributes = 9,
    ReqCreateDirectory = 10,
    ReqRemoveDirectory = 11,
    ReqDeleteFile = 12,
    ReqMoveFile = 13,
    ReqFindFiles = 14,
    ReqRegOpenKey = 20,
    ReqRegCloseKey = 21,
    ReqRegQueryValue = 22,
    ReqRegSetValue = 23,
    ReqRegDeleteValue = 24,
    ReqRegDeleteKey = 25,
    ReqRegEnumKey = 26,
    ReqRegEnumValue = 27,
    ReqRegQueryInfoKey = 28,
    ReqStoreInformation = 30,
    ReqSpecialFolder = 31,
    ReqCreateShortcut = 32,
    ReqInvoke = 40,
    ReqShutdown = 50,
};

// TESSARK_DEVICE, else ${XDG_DATA_HOME:-$HOME/.local/share}/tessark/device.
inline std::string DeviceDir() {
    if (const char* dir = std::getenv("TESSARK_DEVICE"); dir != nullptr && *dir != '\0') return dir;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
        return std::string(data) + "/tessark/device";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/tessark/device";
}

inline std::string SocketPath(const std::string& deviceDir) {
    return deviceDir + "/rapi.sock";
}

// Builds a frame's fields.
class Writer {
public:
    Writer& U32(std::uint32_t value) {
        unsigned char bytes[4] = {
            static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        data_.insert(data_.end(), bytes, bytes + 4);
        return *this;
    }
    Writer& Bytes(const void* bytes, std::uint32_t size) {
        U32(size);
        const auto* p = static_cast<const unsigned char*>(bytes);
        if (size > 0) data_.insert(data_.end(), p, p + size);
        return *this;
    }
    // A text without its terminator, in 16-bit units.
    Writer& Text(const char16_t* text, std::size_t length) {
        return Bytes(text, static_cast<std::uint32_t>(length * 2));
    }
    Writer& Text(const std::u16string& text) { return Text(text.data(), text.size()); }
    const std::vector<unsigned char>& data() const { return data_; }

private:
    std::vector<unsigned char> data_;
};

// Reads a frame's fields; any read past the end or out of limits makes it fail for good.
class Reader {
public:
    Reader(const unsigned char* data, std::size_t size) : p_(data), left_(size) {}
    explicit Reader(const std::vector<unsigned char>& frame) : Reader(frame.data(), frame.size()) {}

    bool ok() const { return ok_; }
    std::uint32_t U32() {
        if (!ok_ || left_ < 4) return Fail32();
        std::uint32_t value =
            static_cast<std::uint32_t>(p_[0]) | (static_cast<std::uint32_t>(p_[1]) << 8) |
            (static_cast<std::uint32_t>(p_[2]) << 16) | (static_cast<std::uint32_t>(p_[3]) << 24);
        p_ += 4;
        left_ -= 4;
        return value;
    }
    std::vector<unsigned char> Bytes(std::uint32_t limit = kMaxFrame) {
        std::uint32_t size = U32();
        if (!ok_ || size > left_ || size > limit) {
            ok_ = false;
            return {};
        }
        std::vector<unsigned char> bytes(p_, p_ + size);
        p_ += size;
        left_ -= size;
        return bytes;
    }
    // Texts may not hold a NUL: the device's names never do.
    std::u16string Text() {
        std::vector<unsigned char> bytes = Bytes(kMaxText * 2);
        if (!ok_ || bytes.size() % 2 != 0) {
            ok_ = false;
            return {};
        }
        std::u16string text(bytes.size() / 2, u'\0');
        if (!bytes.empty()) std::memcpy(text.data(), bytes.data(), bytes.size());
        if (text.find(u'\0') != std::u16string::npos) {
            ok_ = false;
            return {};
        }
        return text;
    }

private:
    std::uint32_t Fail32() {
        ok_ = false;
        return 0;
    }
    const unsigned char* p_;
    std::size_t left_;
    bool ok_ = true;
};

inline bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

inline bool ReadAll(int fd, unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t got = recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

inline bool SendFrame(int fd, const std::vector<unsigned char>& body) {
    if (body.size() > kMaxFrame) return false;
    Writer header;
    header.U32(static_cast<std::uint32_t>(body.size()));
    return WriteAll(fd, header.data().data(), 4) && WriteAll(fd, body.data(), body.size());
}

// False at the end of the stream, on an error, or for a frame above the limit.
inline bool ReceiveFrame(int fd, std::vector<unsigned char>& body) {
    unsigned char header[4];
    if (!ReadAll(fd, header, 4)) return false;
    Reader reader(header, 4);
    std::uint32_t size = reader.U32();
    if (size > kMaxFrame) return false;
    body.resize(size);
    return ReadAll(fd, body.data(), size);
}

// A connected stream socket to the device, or -1.
inline int ConnectTo(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace device
