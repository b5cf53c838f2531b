// Windows of other processes, for single-instance checks: each process that uses the window
// core listens on an abstract Unix socket named after its tag (the upper bits of its window
// handles). Binding that name is how a process claims the tag, and the kernel frees it when
// the process dies, so a crashed run leaves nothing stale behind. Other processes list its
// top-level windows, read their words and post to them through it. Only processes running on
// the same machine directory see each other.
#include "platform/base.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform::wm {

namespace {

constexpr std::uint32_t kMagic = 0x314D5754; // "TWM1"
constexpr std::size_t kMaxRequest = 64 * 1024;
constexpr std::size_t kMaxReply = 4 * 1024 * 1024;

enum Op : std::uint32_t { kList = 1, kInfo = 2, kLong = 3, kPost = 4 };

socklen_t Address(std::uint32_t tag, sockaddr_un* addr) {
    std::string name = "tessark-wm/" + std::to_string(getuid()) + "/" + std::to_string(tag);
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, no file.
    std::memcpy(addr->sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// ---- Byte buffers ------------------------------------------------------------------------------
struct Writer {
    std::string data;
    template <typename T>
    void Put(T v) {
        data.append(reinterpret_cast<const char*>(&v), sizeof(v));
    }
    void Put16(const std::u16string& s) {
        Put(static_cast<std::uint32_t>(s.size()));
        data.append(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t));
    }
    void Put8(const std::string& s) {
        Put(static_cast<std::uint32_t>(s.size()));
        data.append(s);
    }
};

struct Reader {
    const std::string& data;
    std::size_t pos = 0;
    bool ok = true;
    template <typename T>
    T Get() {
        T v{};
        if (pos + sizeof(T) > data.size()) {
            ok = false;
            return v;
        }
        std::memcpy(&v, data.data() + pos, sizeof(T));
        pos += sizeof(T);
        return v;
    }
    std::u16string Get16() {
        auto n = Get<std::uint32_t>();
        if (!ok || n > (data.size() - pos) / sizeof(char16_t)) {
            ok = false;
            return {};
        }
        std::u16string s(n, u'\0');
        std::memcpy(s.data(), data.data() + pos, n * sizeof(char16_t));
        pos += n * sizeof(char16_t);
        return s;
    }
    std::string Get8() {
        auto n = Get<std::uint32_t>();
        if (!ok || n > data.size() - pos) {
            ok = false;
            return {};
        }
        std::string s = data.substr(pos, n);
        pos += n;
        return s;
    }
};

void SetTimeouts(int fd, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::string* out, std::size_t limit) {
    char buffer[4096];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out->size() + static_cast<std::size_t>(n) > limit) return false;
        out->append(buffer, static_cast<std::size_t>(n));
    }
}

// ---- Serving other processes --------------------------------------------------------------------
void PutInfo(Writer& w, const Window& win) {
    w.Put(HandleValue(win.hwnd));
    w.Put16(win.cls->name);
    w.Put16(win.text);
    w.Put(static_cast<std::uint32_t>(getpid()));
}

std::string Answer(const std::string& request, std::optional<MSG>* deferred) {
    Reader r{request};
    Writer w;
    if (r.Get<std::uint32_t>() != kMagic) return {};
    auto op = r.Get<std::uint32_t>();
    State& s = GetState();
    switch (op) {
    case kList: {
        std::string machine = r.Get8();
        if (!r.ok) return {};
        std::lock_guard lock(s.lock);
        std::vector<const Window*> list;
        if (machine == platform::MachineDir()) {
            for (HWND h : s.topLevel) {
                const Window* win = Find(s, h);
                if (win != nullptr && !win->destroying) list.push_back(win);
            }
        }
        w.Put(static_cast<std::uint32_t>(list.size()));
        for (const Window* win : list)
            PutInfo(w, *win);
        return w.data;
    }
    case kInfo: {
        HWND h = MakeHandle(r.Get<std::uint32_t>());
        if (!r.ok) return {};
        std::lock_guard lock(s.lock);
        const Window* win = Find(s, h);
        w.Put(static_cast<std::uint32_t>(win != nullptr && !win->destroying));
        if (win != nullptr && !win->destroying) PutInfo(w, *win);
        return w.data;
    }
    case kLong: {
        HWND h = MakeHandle(r.Get<std::uint32_t>());
        auto index = r.Get<std::int32_t>();
        auto pointer = r.Get<std::uint32_t>();
        if (!r.ok) return {};
        SetLastError(ERROR_SUCCESS);
        LONG_PTR v =
            pointer ? GetWindowLongPtrW(h, index) : static_cast<LONG_PTR>(GetWindowLongW(h, index));
        w.Put(static_cast<std::uint32_t>(GetLastError() == ERROR_SUCCESS));
        w.Put(static_cast<std::int64_t>(v));
        return w.data;
    }
    case kPost: {
        HWND h = MakeHandle(r.Get<std::uint32_t>());
        auto message = r.Get<std::uint32_t>();
        auto wParam = r.Get<std::uint64_t>();
        auto lParam = r.Get<std::int64_t>();
        if (!r.ok) return {};
        bool ok = false;
        {
            std::lock_guard lock(s.lock);
            const Window* win = Find(s, h);
            ok = win != nullptr && !win->destroying;
        }
        // Answered before posting: the message may end the process before a reply could go.
        if (ok)
            *deferred =
                MSG{h, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam), 0, {}};
        w.Put(static_cast<std::uint32_t>(ok));
        return w.data;
    }
    default:
        return {};
    }
}

void Serve(int listener) {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        // Abstract sockets carry no file permissions: only this user's processes are answered.
        ucred peer{};
        socklen_t len = sizeof(peer);
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid()) {
            close(fd);
            continue;
        }
        SetTimeouts(fd, 2000);
        std::string request;
        std::optional<MSG> post;
        if (ReadAll(fd, &request, kMaxRequest)) WriteAll(fd, Answer(request, &post));
        close(fd);
        if (post) {
            State& s = GetState();
            POINT pt{};
            {
                std::lock_guard lock(s.lock);
                pt = s.cursor;
            }
            Post(post->hwnd, post->message, post->wParam, post->lParam, pt);
        }
    }
}

std::uint32_t ClaimTag() {
    for (std::uint32_t tag = 1; tag <= kMaxTag; ++tag) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        sockaddr_un addr;
        socklen_t len = Address(tag, &addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 16) == 0) {
            std::thread(Serve, fd).detach();
            return tag;
        }
        int err = errno;
        close(fd);
        if (err != EADDRINUSE) break;
    }
    // No endpoint: windows still work inside the process, other processes cannot see them.
    return 1 + static_cast<std::uint32_t>(getpid()) % kMaxTag;
}

// ---- Asking other processes
// ----------------------------------------------------------------------
bool Ask(std::uint32_t tag, const std::string& request, std::string* reply) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr;
    socklen_t len = Address(tag, &addr);
    bool ok = false;
    ucred peer{};
    socklen_t peerLen = sizeof(peer);
    // A name squatted by another user's process is not one of ours.
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerLen) == 0 && peer.uid == getuid()) {
        SetTimeouts(fd, 2000);
        ok = WriteAll(fd, request) && shutdown(fd, SHUT_WR) == 0 && ReadAll(fd, reply, kMaxReply) &&
             !reply->empty();
    }
    close(fd);
    return ok;
}

// The tags other processes hold, from the kernel's list of bound sockets; every tag when that
// list cannot be read.
std::vector<std::uint32_t> LiveTags(std::uint32_t own) {
    std::vector<std::uint32_t> tags;
    std::ifstream in("/proc/net/unix");
    if (!in) {
        for (std::uint32_t tag = 1; tag <= kMaxTag; ++tag) {
            if (tag != own) tags.push_back(tag);
        }
        return tags;
    }
    std::string prefix = "@tessark-wm/" + std::to_string(getuid()) + "/";
    std::string line;
    while (std::getline(in, line)) {
        auto at = line.find(prefix);
        if (at == std::string::npos) continue;
        std::uint32_t tag = 0;
        std::size_t k = at + prefix.size();
        while (k < line.size() && line[k] >= '0' && line[k] <= '9' && tag <= kMaxTag) {
            tag = tag * 10 + static_cast<std::uint32_t>(line[k++] - '0');
        }
        if (k == line.size() && tag >= 1 && tag <= kMaxTag && tag != own) tags.push_back(tag);
    }
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    return tags;
}

Writer Request(Op op) {
    Writer w;
    w.Put(kMagic);
    w.Put(static_cast<std::uint32_t>(op));
    return w;
}

bool ReadInfo(Reader& r, RemoteWindow* info) {
    info->hwnd = MakeHandle(r.Get<std::uint32_t>());
    info->className = r.Get16();
    info->text = r.Get16();
    info->pid = r.Get<std::uint32_t>();
    return r.ok;
}

} // namespace

std::uint32_t OwnTag() {
    // Packed process id and tag, so a forked child claims a tag of its own.
    static std::atomic<std::uint64_t> cache{0};
    static std::mutex claiming;
    auto pid = static_cast<std::uint32_t>(getpid());
    std::uint64_t c = cache.load(std::memory_order_acquire);
    if ((c >> 32) == pid && c != 0) return static_cast<std::uint32_t>(c);
    std::lock_guard lock(claiming);
    c = cache.load(std::memory_order_acquire);
    if ((c >> 32) == pid && c != 0) return static_cast<std::uint32_t>(c);
    std::uint32_t tag = ClaimTag();
    cache.store((static_cast<std::uint64_t>(pid) << 32) | tag, std::memory_order_release);
    return tag;
}

std::vector<RemoteWindow> RemoteTopLevel() {
    std::vector<RemoteWindow> out;
    std::uint32_t own = OwnTag();
    Writer req = Request(kList);
    req.Put8(platform::MachineDir());
    for (std::uint32_t tag : LiveTags(own)) {
        std::string reply;
        if (!Ask(tag, req.data, &reply)) continue;
        Reader r{reply};
        auto count = r.Get<std::uint32_t>();
        for (std::uint32_t i = 0; r.ok && i < count; ++i) {
            RemoteWindow info;
            if (ReadInfo(r, &info) && HandleTag(info.hwnd) == tag) out.push_back(info);
        }
    }
    return out;
}

bool RemoteInfo(HWND hwnd, RemoteWindow* info) {
    Writer req = Request(kInfo);
    req.Put(HandleValue(hwnd));
    std::string reply;
    if (!Ask(HandleTag(hwnd), req.data, &reply)) return false;
    Reader r{reply};
    if (r.Get<std::uint32_t>() != 1) return false;
    return ReadInfo(r, info);
}

bool RemoteGetLong(HWND hwnd, int index, bool pointer, LONG_PTR* value) {
    Writer req = Request(kLong);
    req.Put(HandleValue(hwnd));
    req.Put(static_cast<std::int32_t>(index));
    req.Put(static_cast<std::uint32_t>(pointer));
    std::string reply;
    if (!Ask(HandleTag(hwnd), req.data, &reply)) return false;
    Reader r{reply};
    bool ok = r.Get<std::uint32_t>() == 1;
    auto v = r.Get<std::int64_t>();
    if (!r.ok || !ok) return false;
    *value = static_cast<LONG_PTR>(v);
    return true;
}

bool RemotePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Writer req = Request(kPost);
    req.Put(HandleValue(hwnd));
    req.Put(static_cast<std::uint32_t>(message));
    req.Put(static_cast<std::uint64_t>(wParam));
    req.Put(static_cast<std::int64_t>(lParam));
    std::string reply;
    if (!Ask(HandleTag(hwnd), req.data, &reply)) return false;
    Reader r{reply};
    return r.Get<std::uint32_t>() == 1 && r.ok;
}

} // namespace platform::wm
