#include "platform/core/kernel_internal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using platform::kernel::Object;

Clock::time_point DeadlineAfter(DWORD milliseconds) {
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Waits on `cv` until `ready()` holds or the time runs out; true when ready.
template <class Ready>
bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, DWORD ms,
               Ready ready) {
    if (ms == INFINITE) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, DeadlineAfter(ms), ready);
}

// ---------------------------------------------------------------------------------------------

class Event : public Object {
public:
    Event(bool manual, bool signalled) : manual_(manual), signalled_(signalled) {}

    DWORD Wait(DWORD ms) override {
        std::unique_lock<std::mutex> lock(mutex_);
        std::uint64_t pulseSeen = pulses_;
        ++waiters_;
        bool released = WaitUntil(cv_, lock, ms, [&] {
            return signalled_ || (manual_ ? pulses_ != pulseSeen : pulseTokens_ > 0);
        });
        --waiters_;
        if (!released) return WAIT_TIMEOUT;
        if (!manual_) {
            if (signalled_) {
                signalled_ = false;
            } else {
                --pulseTokens_;
            }
        }
        return WAIT_OBJECT_0;
    }

    void Set() {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = true;
        if (manual_) {
            cv_.notify_all();
        } else {
            cv_.notify_one();
        }
    }

    void Reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = false;
    }

    // Releases the threads waiting now (one for an auto-reset event) and leaves it reset.
    void Pulse() {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = false;
        if (manual_) {
            ++pulses_;
            cv_.notify_all();
        } else if (waiters_ > pulseTokens_) {
            ++pulseTokens_;
            cv_.notify_one();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    const bool manual_;
    bool signalled_;
    std::uint64_t pulses_ = 0;
    int pulseTokens_ = 0;
    int waiters_ = 0;
};

// ---------------------------------------------------------------------------------------------

class Thread : public Object {
public:
    DWORD Wait(DWORD ms) override {
        std::unique_lock<std::mutex> lock(mutex_);
        return WaitUntil(cv_, lock, ms, [&] { return done_; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    void Finish() {
        std::lock_guard<std::mutex> guard(mutex_);
        done_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
};

std::atomic<DWORD> g_nextThreadId{1};

// ---------------------------------------------------------------------------------------------

// Ownership within the process is tracked here; between processes a named mutex also holds
// an exclusive flock on its owner file while some thread of this process owns it. The lock
// dies with the process, so a crashed owner never blocks the others.
class Mutex : public Object {
public:
    explicit Mutex(int ownerFd = -1, int presenceFd = -1)
        : ownerFd_(ownerFd), presenceFd_(presenceFd) {}

    // In a forked child the descriptors still share the parent's locks; the child lets go of
    // them so that it meets the parent as any other process would.
    void ForgetInChild() {
        if (ownerFd_ >= 0) close(ownerFd_);
        if (presenceFd_ >= 0) close(presenceFd_);
        ownerFd_ = -1;
        presenceFd_ = -1;
    }
    ~Mutex() override {
        if (ownerFd_ >= 0) close(ownerFd_);
        if (presenceFd_ >= 0) close(presenceFd_);
    }

    DWORD Wait(DWORD ms) override {
        const auto me = std::this_thread::get_id();
        const auto deadline = DeadlineAfter(ms == INFINITE ? 0 : ms);
        std::unique_lock<std::mutex> lock(mutex_);
        if (owned_ && owner_ == me) {
            ++count_;
            return WAIT_OBJECT_0;
        }
        if (!WaitUntil(cv_, lock, ms, [&] { return !owned_; })) return WAIT_TIMEOUT;
        owned_ = true;
        owner_ = me;
        count_ = 1;
        if (ownerFd_ < 0) return WAIT_OBJECT_0;
        lock.unlock();
        bool locked = LockOwnerFile(ms, deadline);
        lock.lock();
        if (!locked) {
            owned_ = false;
            count_ = 0;
            cv_.notify_one();
            return WAIT_TIMEOUT;
        }
        return WAIT_OBJECT_0;
    }

    bool Release() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!owned_ || owner_ != std::this_thread::get_id()) return false;
        if (--count_ == 0) {
            if (ownerFd_ >= 0) flock(ownerFd_, LOCK_UN);
            owned_ = false;
            cv_.notify_one();
        }
        return true;
    }

private:
    bool LockOwnerFile(DWORD ms, Clock::time_point deadline) {
        if (ms == INFINITE) {
            while (flock(ownerFd_, LOCK_EX) != 0) {
                if (errno != EINTR) return false;
            }
            return true;
        }
        for (;;) {
            if (flock(ownerFd_, LOCK_EX | LOCK_NB) == 0) return true;
            if (errno != EWOULDBLOCK && errno != EINTR) return false;
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    bool owned_ = false;
    std::thread::id owner_;
    int count_ = 0;
    int ownerFd_;
    int presenceFd_;
};

// Named mutexes of this process, so that every handle to one name reaches one object.
std::mutex g_namedLock;
std::map<std::string, std::weak_ptr<Mutex>>& NamedMutexes() {
    static auto* named = new std::map<std::string, std::weak_ptr<Mutex>>;
    return *named;
}

void ForgetNamedMutexesInChild() {
    if (!g_namedLock.try_lock()) return;
    for (auto& [name, weak] : NamedMutexes()) {
        if (auto mutex = weak.lock()) mutex->ForgetInChild();
    }
    NamedMutexes().clear();
    g_namedLock.unlock();
}

// Object names become file names: anything but letters, digits and a few safe marks is
// written as %XX so that distinct names never share a file.
std::string EncodeName(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == ' ' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int OpenLockFile(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

void LockBlocking(int fd, int operation) {
    while (flock(fd, operation) != 0 && errno == EINTR) {
    }
}

HANDLE CreateNamedMutex(const std::string& name, bool initialOwner) {
    if (name.size() > 260) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    static std::once_flag forkHandler;
    std::call_once(forkHandler,
                   [] { pthread_atfork(nullptr, nullptr, ForgetNamedMutexesInChild); });
    std::lock_guard<std::mutex> guard(g_namedLock);
    auto& named = NamedMutexes();
    if (auto existing = named[name].lock()) {
        HANDLE handle = platform::kernel::Insert(existing);
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }

    std::string dir = platform::MachineDir() + "/mutexes";
    if (!platform::kernel::MakeDirectories(dir)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    std::string base = dir + "/" + EncodeName(name);
    // The presence file is held shared by every process with the mutex open; whether anyone
    // else holds it decides ERROR_ALREADY_EXISTS. The guard makes that test and the taking of
    // the shared lock one step between processes.
    int guardFd = OpenLockFile(base + ".guard");
    int presenceFd = OpenLockFile(base + ".present");
    int ownerFd = OpenLockFile(base + ".owner");
    if (guardFd < 0 || presenceFd < 0 || ownerFd < 0) {
        DWORD error = platform::kernel::ErrorFromErrno(errno);
        for (int fd : {guardFd, presenceFd, ownerFd}) {
            if (fd >= 0) close(fd);
        }
        SetLastError(error);
        return nullptr;
    }
    LockBlocking(guardFd, LOCK_EX);
    bool alreadyExists = flock(presenceFd, LOCK_EX | LOCK_NB) != 0;
    LockBlocking(presenceFd, LOCK_SH);
    close(guardFd);

    auto mutex = std::make_shared<Mutex>(ownerFd, presenceFd);
    named[name] = mutex;
    if (initialOwner && !alreadyExists) mutex->Wait(INFINITE);
    HANDLE handle = platform::kernel::Insert(mutex);
    SetLastError(alreadyExists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE CreateMutexImpl(bool initialOwner, const std::string* name) {
    if (name != nullptr && !name->empty()) return CreateNamedMutex(*name, initialOwner);
    auto mutex = std::make_shared<Mutex>();
    if (initialOwner) mutex->Wait(INFINITE);
    SetLastError(ERROR_SUCCESS);
    return platform::kernel::Insert(mutex);
}

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

std::recursive_mutex* SectionMutex(LPCRITICAL_SECTION section) {
    return std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

} // namespace

// ---------------------------------------------------------------------------------------------

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
    if (start == nullptr || flags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<Thread>();
    try {
        std::thread([thread, start, parameter] {
            start(parameter);
            thread->Finish();
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId != nullptr) *threadId = g_nextThreadId.fetch_add(1);
    return platform::kernel::Insert(thread);
}

BOOL SetThreadPriority(HANDLE thread, int) {
    if (platform::kernel::LookupAs<Thread>(thread) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    if (name != nullptr && name[0] != 0) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return platform::kernel::Insert(std::make_shared<Event>(manualReset, initialState));
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    if (name != nullptr && name[0] != 0) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return CreateEventW(security, manualReset, initialState, nullptr);
}

BOOL EventModify(HANDLE handle, DWORD function) {
    auto event = platform::kernel::LookupAs<Event>(handle);
    if (event == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (function) {
    case EVENT_SET:
        event->Set();
        return TRUE;
    case EVENT_RESET:
        event->Reset();
        return TRUE;
    case EVENT_PULSE:
        event->Pulse();
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

BOOL SetEvent(HANDLE event) {
    return EventModify(event, EVENT_SET);
}

BOOL ResetEvent(HANDLE event) {
    return EventModify(event, EVENT_RESET);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = platform::kernel::Lookup(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->opaque) std::recursive_mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    SectionMutex(section)->~recursive_mutex();
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    SectionMutex(section)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    SectionMutex(section)->unlock();
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    if (name == nullptr) return CreateMutexImpl(initialOwner, nullptr);
    std::string narrow = platform::Narrow(name);
    return CreateMutexImpl(initialOwner, &narrow);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (name == nullptr) return CreateMutexImpl(initialOwner, nullptr);
    std::string narrow = name;
    return CreateMutexImpl(initialOwner, &narrow);
}

BOOL ReleaseMutex(HANDLE handle) {
    auto mutex = platform::kernel::LookupAs<Mutex>(handle);
    if (mutex == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
