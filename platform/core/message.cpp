// Per-thread message queues: posting from any thread, sending across threads, blocking reads,
// timers (which also drive the simulated clock), translation, dispatch and default handling.
#include "platform/clock.h"
#include "platform/core/driver.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::wm {

namespace {

void Complete(SentMessage& m, LRESULT result) {
    {
        std::lock_guard lock(m.from->lock);
        m.result = result;
        m.done = true;
    }
    m.from->wake.notify_all();
}

// Owns the thread's queue; when the thread ends, senders still waiting on it are released.
struct ThreadSlot {
    std::shared_ptr<Queue> queue;
    ~ThreadSlot() {
        if (queue == nullptr) return;
        std::deque<std::shared_ptr<SentMessage>> pending;
        {
            std::lock_guard lock(queue->lock);
            queue->alive = false;
            pending.swap(queue->sent);
            queue->posted.clear();
            queue->timers.clear();
        }
        for (auto& m : pending)
            Complete(*m, 0);
        ForgetThreadWindows(queue.get());
    }
};

thread_local ThreadSlot t_slot;
thread_local DWORD t_messagePos = 0;

constexpr UINT kMinTimerMs = 10;

std::atomic<PaintSource> g_paintSource{nullptr};

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* delivered) {
    WNDPROC proc = nullptr;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            if (delivered != nullptr) *delivered = false;
            return 0;
        }
        proc = w->proc;
    }
    if (delivered != nullptr) *delivered = true;
    return proc != nullptr ? proc(hwnd, message, wParam, lParam) : 0;
}

// Runs the messages other threads sent to this one, in the order they arrived.
void ProcessSent(Queue& q) {
    for (;;) {
        std::shared_ptr<SentMessage> m;
        {
            std::lock_guard lock(q.lock);
            if (q.sent.empty()) return;
            m = q.sent.front();
            q.sent.pop_front();
        }
        LRESULT r = CallProc(m->hwnd, m->message, m->wParam, m->lParam, nullptr);
        Complete(*m, r);
    }
}

struct Filter {
    bool any = true;         // no window filter
    bool threadOnly = false; // (HWND)-1: messages posted without a window
    std::vector<HWND> windows;
    UINT min = 0;
    UINT max = 0;

    bool Accepts(HWND hwnd, UINT message) const {
        if (message == WM_QUIT) return true;
        if (!(min == 0 && max == 0) && (message < min || message > max)) return false;
        if (any) return true;
        if (threadOnly) return hwnd == nullptr;
        return std::find(windows.begin(), windows.end(), hwnd) != windows.end();
    }
};

BOOL CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

bool MakeFilter(HWND hwnd, UINT min, UINT max, Filter* f) {
    f->min = min;
    f->max = max;
    if (hwnd == nullptr) return true;
    f->any = false;
    if (hwnd == reinterpret_cast<HWND>(-1)) {
        f->threadOnly = true;
        return true;
    }
    if (!IsWindow(hwnd)) return false;
    f->windows.push_back(hwnd);
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&f->windows));
    return true;
}

void Took(const MSG& m) {
    t_messagePos = static_cast<DWORD>(MAKELONG(m.pt.x, m.pt.y));
}

POINT CursorNow() {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return s.cursor;
}

// The common body of GetMessage, PeekMessage and WaitMessage.
bool Retrieve(MSG* out, const Filter& f, UINT flags, bool wait) {
    auto q = CurrentQueue();
    for (;;) {
        ProcessSent(*q);
        std::unique_lock lock(q->lock);
        if (!q->sent.empty()) continue;
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (!f.Accepts(it->hwnd, it->message)) continue;
            MSG m = *it;
            if (flags & PM_REMOVE) q->posted.erase(it);
            lock.unlock();
            Took(m);
            if (out != nullptr) *out = m;
            return true;
        }
        // A quit request comes after every posted message, whatever the filter.
        if (q->quit) {
            MSG m{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, GetTickCount(), {}};
            if (flags & PM_REMOVE) q->quit = false;
            lock.unlock();
            m.pt = CursorNow();
            Took(m);
            if (out != nullptr) *out = m;
            return true;
        }
        if (PaintSource source = g_paintSource.load(std::memory_order_acquire)) {
            // Messages the filter passed over are still waiting; only new ones mean a new look.
            const std::size_t postedBefore = q->posted.size();
            lock.unlock();
            HWND dirty = source(q->threadId);
            if (dirty != nullptr && f.Accepts(dirty, WM_PAINT)) {
                MSG m{dirty, WM_PAINT, 0, 0, GetTickCount(), CursorNow()};
                Took(m);
                if (out != nullptr) *out = m;
                return true;
            }
            lock.lock();
            if (q->posted.size() != postedBefore || !q->sent.empty() || q->quit) continue;
        }
        if (wait && platform::clock::IsSimulated() && platform::clock::Held()) {
            // Another thread's work takes no simulated time, so no timer falls due meanwhile;
            // its end is told by a posted message, which wakes this wait.
            q->wake.wait_for(lock, std::chrono::milliseconds(1));
            continue;
        }
        std::uint64_t now = platform::clock::NowMs();
        Timer* due = nullptr;
        Timer* next = nullptr;
        for (auto& t : q->timers) {
            if (!f.Accepts(t.hwnd, WM_TIMER)) continue;
            if (t.due <= now && (due == nullptr || t.due < due->due)) due = &t;
            if (next == nullptr || t.due < next->due) next = &t;
        }
        if (due != nullptr) {
            MSG m{due->hwnd,
                  WM_TIMER,
                  due->id,
                  reinterpret_cast<LPARAM>(due->proc),
                  static_cast<DWORD>(now),
                  {}};
            if (flags & PM_REMOVE) due->due = now + due->period;
            lock.unlock();
            m.pt = CursorNow();
            Took(m);
            if (out != nullptr) *out = m;
            return true;
        }
        if (!wait) return false;
        if (next != nullptr && platform::clock::IsSimulated()) {
            // Nothing to do until the next timer: simulated time jumps straight to it.
            std::uint64_t target = next->due;
            lock.unlock();
            if (auto before = platform::driver::Current().time.beforeAdvance) before(target);
            platform::clock::AdvanceTo(target);
            continue;
        }
        DWORD waitMs =
            next == nullptr
                ? 0xFFFFFFFFu
                : static_cast<DWORD>(std::min<std::uint64_t>(next->due - now, 0x7FFFFFFFu));
        if (auto poll = platform::driver::Current().input.poll) {
            lock.unlock();
            poll(std::min<DWORD>(waitMs, 10));
            continue;
        }
        if (next == nullptr || platform::clock::IsSimulated()) {
            q->wake.wait(lock);
        } else {
            q->wake.wait_for(lock, std::chrono::milliseconds(waitMs));
        }
    }
}

void PostFront(const MSG& m) {
    auto q = CurrentQueue();
    {
        std::lock_guard lock(q->lock);
        q->posted.push_front(m);
    }
    q->wake.notify_all();
}

std::shared_ptr<Queue> QueueOf(HWND hwnd) {
    if (hwnd == nullptr) return CurrentQueue();
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    return w == nullptr ? nullptr : w->queue;
}

} // namespace

DWORD CurrentThreadId() {
    thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

std::shared_ptr<Queue> CurrentQueue() {
    if (t_slot.queue == nullptr) {
        t_slot.queue = std::make_shared<Queue>();
        t_slot.queue->threadId = CurrentThreadId();
    }
    return t_slot.queue;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* delivered) {
    if (delivered != nullptr) *delivered = false;
    std::shared_ptr<Queue> target;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        target = w->queue;
    }
    auto me = CurrentQueue();
    if (target == me) return CallProc(hwnd, message, wParam, lParam, delivered);

    auto m = std::make_shared<SentMessage>();
    m->hwnd = hwnd;
    m->message = message;
    m->wParam = wParam;
    m->lParam = lParam;
    m->from = me;
    {
        std::lock_guard lock(target->lock);
        if (!target->alive) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        target->sent.push_back(m);
    }
    target->wake.notify_all();
    // While waiting, answer what other threads send here, so two threads sending to each
    // other do not wait forever.
    for (;;) {
        std::unique_lock lock(me->lock);
        if (m->done) break;
        if (!me->sent.empty()) {
            lock.unlock();
            ProcessSent(*me);
            continue;
        }
        me->wake.wait(lock);
    }
    if (delivered != nullptr) *delivered = true;
    return m->result;
}

bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT pt) {
    auto q = QueueOf(hwnd);
    if (q == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    {
        std::lock_guard lock(q->lock);
        if (!q->alive) {
            SetLastError(ERROR_INVALID_THREAD_ID);
            return false;
        }
        q->posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), pt});
    }
    q->wake.notify_all();
    return true;
}

void SetPaintSource(PaintSource source) {
    g_paintSource.store(source, std::memory_order_release);
}

void WakeQueueOf(HWND hwnd) {
    if (auto q = QueueOf(hwnd)) q->wake.notify_all();
}

void KillWindowTimers(HWND hwnd) {
    auto q = QueueOf(hwnd);
    if (q == nullptr) return;
    std::lock_guard lock(q->lock);
    std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd; });
}

} // namespace platform::wm

using namespace platform::wm;

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    Filter f;
    if (msg == nullptr || !MakeFilter(hwnd, filterMin, filterMax, &f)) {
        SetLastError(msg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Retrieve(msg, f, PM_REMOVE, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    return GetMessageW(msg, hwnd, filterMin, filterMax);
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    Filter f;
    if (!MakeFilter(hwnd, filterMin, filterMax, &f)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Retrieve(msg, f, remove & PM_REMOVE, false) ? TRUE : FALSE;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    return PeekMessageW(msg, hwnd, filterMin, filterMax, remove);
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP && msg->message != WM_SYSKEYDOWN &&
        msg->message != WM_SYSKEYUP) {
        return FALSE;
    }
    if (msg->message != WM_KEYDOWN) return TRUE;
    auto vk = static_cast<UINT>(msg->wParam);
    char16_t ch = 0;
    if (vk >= 'A' && vk <= 'Z') {
        bool shift = platform::driver::IsKeyDown(VK_SHIFT);
        ch = static_cast<char16_t>(shift ? vk : vk - 'A' + 'a');
    } else if (vk >= '0' && vk <= '9') {
        ch = static_cast<char16_t>(vk);
    } else if (vk == VK_SPACE) {
        ch = u' ';
    } else if (vk == VK_RETURN) {
        ch = u'\r';
    } else if (vk == VK_BACK) {
        ch = 8;
    } else if (vk == VK_TAB) {
        ch = u'\t';
    } else if (vk == VK_ESCAPE) {
        ch = 27;
    }
    if (ch != 0) {
        // The character is the very next message the thread reads.
        PostFront(MSG{msg->hwnd, WM_CHAR, ch, msg->lParam, msg->time, msg->pt});
    }
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (msg->hwnd == nullptr) return 0;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        Window* w = Find(s, msg->hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->queue->threadId != CurrentThreadId()) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
    }
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DispatchMessageA(const MSG* msg) {
    return DispatchMessageW(msg);
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (IsRemote(hwnd)) {
        if (RemotePost(hwnd, msg, wParam, lParam)) return TRUE;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Post(hwnd, msg, wParam, lParam, CursorNow()) ? TRUE : FALSE;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(hwnd, msg, wParam, lParam);
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Send(hwnd, msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETTEXT: {
        std::u16string wide = FromNarrow(reinterpret_cast<LPCSTR>(lParam));
        return Send(hwnd, msg, wParam, lParam == 0 ? 0 : reinterpret_cast<LPARAM>(wide.c_str()));
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
        int length = GetWindowTextLengthW(hwnd);
        std::u16string wide(static_cast<std::size_t>(length) + 1, u'\0');
        auto got = Send(hwnd, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(wide.data()));
        wide.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, length)));
        std::string narrow = Narrow(wide);
        if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(narrow.size());
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        std::size_t n = std::min<std::size_t>(narrow.size(), wParam - 1);
        while (n > 0 && n < narrow.size() &&
               (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80) {
            --n;
        }
        std::copy_n(narrow.data(), n, buffer);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    default:
        return Send(hwnd, msg, wParam, lParam);
    }
}

void PostQuitMessage(int exitCode) {
    auto q = CurrentQueue();
    {
        std::lock_guard lock(q->lock);
        q->quit = true;
        q->quitCode = exitCode;
    }
    q->wake.notify_all();
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc == nullptr ? 0 : proc(hwnd, msg, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(proc, hwnd, msg, wParam, lParam);
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) return 0;
        if (msg == WM_SETTEXT) {
            w->text = FromWide(reinterpret_cast<LPCWSTR>(lParam));
            return TRUE;
        }
        if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(w->text.size());
        auto* buffer = reinterpret_cast<WCHAR*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        std::size_t n = std::min<std::size_t>(w->text.size(), wParam - 1);
        std::copy_n(w->text.data(), n, buffer);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_SETICON:
    case WM_GETICON: {
        State& s = GetState();
        HICON previous = nullptr;
        {
            std::lock_guard lock(s.lock);
            Window* w = Find(s, hwnd);
            if (w == nullptr) return 0;
            HICON& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
            if (msg == WM_GETICON) {
                // ICON_SMALL2 falls back to the big icon.
                HICON icon = slot;
                if (icon == nullptr && wParam == ICON_SMALL2) icon = w->bigIcon;
                return reinterpret_cast<LRESULT>(icon);
            }
            if (wParam != ICON_BIG && wParam != ICON_SMALL) return 0;
            previous = slot;
            slot = reinterpret_cast<HICON>(lParam);
        }
        NotifyIconChanged(hwnd);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_GETMINMAXINFO:
        return DefaultPaintMessage(hwnd, msg, wParam, lParam);
    default:
        return 0;
    }
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

DWORD GetMessagePos() {
    return t_messagePos;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    auto q = QueueOf(hwnd);
    if (q == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    UINT period = std::clamp<UINT>(elapseMs, kMinTimerMs, 0x7FFFFFFFu);
    std::uint64_t due = platform::clock::NowMs() + period;
    {
        std::lock_guard lock(q->lock);
        auto it = std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) {
            return t.hwnd == hwnd && t.id == id && (hwnd != nullptr || id != 0);
        });
        if (it != q->timers.end()) {
            // Setting an existing timer again restarts it with the new period.
            it->period = period;
            it->due = due;
            it->proc = proc;
        } else {
            if (hwnd == nullptr) {
                // Thread timers get an id of their own, never one already in use.
                do {
                    id = q->nextThreadTimer++;
                    if (id == 0) id = q->nextThreadTimer++;
                } while (std::any_of(q->timers.begin(), q->timers.end(), [&](const Timer& t) {
                    return t.hwnd == nullptr && t.id == id;
                }));
            }
            q->timers.push_back(Timer{hwnd, id, period, due, proc});
        }
    }
    q->wake.notify_all();
    return hwnd == nullptr ? id : (id == 0 ? 1 : id);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto q = QueueOf(hwnd);
    if (q == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(q->lock);
    auto before = q->timers.size();
    std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (q->timers.size() == before) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
