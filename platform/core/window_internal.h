// Private state of the window core, shared by the window, message and remote sources.
//
// Locking: `State::lock` guards classes, windows, capture and focus; each queue has its own
// lock. The state lock may be taken before a queue lock, never after one. No lock is held
// while a window procedure runs.
#pragma once

#include "platform/base.h"
#include "platform/user.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::wm {

using platform::Narrow;
using platform::Widen;
std::u16string FromWide(LPCWSTR text);
// WM_SETICON changed a window's icon: the driver shows it.
void NotifyIconChanged(HWND hwnd);
std::u16string FromNarrow(LPCSTR text);
// Class and window names compare without regard to ASCII case, as on the platform.
bool SameName(std::u16string_view a, std::u16string_view b);
std::u16string Folded(std::u16string_view name);

struct Queue;

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<Queue> from;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    std::uint64_t due;
    TIMERPROC proc;
};

// One per thread that uses the window core: posted and sent messages, the quit flag, timers.
struct Queue {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    UINT_PTR nextThreadTimer = 1;
    DWORD threadId = 0;
};

// The calling thread's queue, created on first use.
std::shared_ptr<Queue> CurrentQueue();
DWORD CurrentThreadId();

struct ClassRec {
    std::u16string name;
    std::string name8;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    // The menu name as given (an integer resource or a string kept here).
    std::u16string menu16;
    std::string menu8;
    ULONG_PTR menuId = 0;
    bool menuIsId = true;
    std::vector<BYTE> extra;
    int windows = 0;
    bool system = false;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<ClassRec> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;
    HWND owner = nullptr;
    std::vector<HWND> children; // Z order: first is the top
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    std::u16string text;
    RECT rect{}; // in the parent's client coordinates, or the screen's for a top-level window
    std::shared_ptr<Queue> queue;
    bool destroying = false;
    HICON bigIcon = nullptr; // WM_SETICON's
    HICON smallIcon = nullptr;
};

struct State {
    std::mutex lock;
    std::map<std::u16string, std::shared_ptr<ClassRec>> classes; // folded name
    ATOM nextAtom = 0xC000;
    std::unordered_map<std::uint32_t, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevel; // Z order: first is the top
    std::uint32_t nextIndex = 1;
    HWND capture = nullptr;
    HWND focus = nullptr;
    HWND active = nullptr; // the foreground top-level window of this process
    POINT cursor{};
    bool keyDown[256] = {};
};

// Never destroyed: threads may still use it while the process exits.
State& GetState();

// ---- Handles ----------------------------------------------------------------------------------
// A handle is tag << 20 | index, where the tag identifies the process among those of this user.
constexpr std::uint32_t kIndexBits = 20;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uint32_t kMaxTag = 2047;
inline std::uint32_t HandleValue(HWND h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}
inline HWND MakeHandle(std::uint32_t value) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}
inline std::uint32_t HandleTag(HWND h) {
    return (HandleValue(h) >> kIndexBits) & kMaxTag;
}

// With the state lock held.
std::shared_ptr<ClassRec> LookupClass(State& s, LPCWSTR name);
Window* Find(State& s, HWND hwnd);
std::shared_ptr<Window> FindShared(State& s, HWND hwnd);
// Window rect origin in screen coordinates, and the client origin likewise.
POINT ScreenOrigin(State& s, const Window& w);
POINT ClientOrigin(State& s, const Window& w);
RECT Insets(DWORD style, DWORD exStyle);
// The procedure of a pre-registered system class (the controls layer's, or DefWindowProcW).
WNDPROC SystemClassProc(const char16_t* name);
// The window that pointer input at a screen point goes to, without capture.
HWND InputTarget(State& s, POINT screen);

// Delivers a message straight to a window procedure of this thread (or through the target
// thread's queue when the window belongs to another one).
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* delivered = nullptr);
// Adds a message to the queue of the window's thread (or the calling thread's for no window).
bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT pt);
void KillWindowTimers(HWND hwnd);
// Drops the windows of a thread that has ended.
void ForgetThreadWindows(const Queue* queue);

// ---- Painting seam
// ------------------------------------------------------------------------------- The drawing layer
// installs this: a window of the given thread that needs WM_PAINT, or null. Queues ask it when no
// posted message is waiting, before timers, as on the platform; the message stays until the window
// is validated.
using PaintSource = HWND (*)(DWORD threadId);
void SetPaintSource(PaintSource source);
// Wakes the thread that owns a window so it asks again (after an invalidation elsewhere).
void WakeQueueOf(HWND hwnd);

// ---- Other processes ---------------------------------------------------------------------------
// This process's tag, claimed on first use together with the endpoint other processes reach.
std::uint32_t OwnTag();
bool IsRemote(HWND hwnd);
struct RemoteWindow {
    HWND hwnd;
    std::u16string className;
    std::u16string text;
    DWORD pid;
};
// Top-level windows of the other live processes on this machine.
std::vector<RemoteWindow> RemoteTopLevel();
bool RemoteInfo(HWND hwnd, RemoteWindow* info);
bool RemoteGetLong(HWND hwnd, int index, bool pointer, LONG_PTR* value);
bool RemotePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace platform::wm
