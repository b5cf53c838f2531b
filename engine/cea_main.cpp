#include "engine/cea_main.h"

#include "engine/cea_palette.h"
#include "engine/cea_window.h"
#include "foundation/memory.h"
#include "platform/clock.h"
#include "platform/user.h"

#include <mutex>

namespace {

std::mutex g_initLock;
bool g_initialized = false;
Display* g_display = nullptr;

// The engine clock: a running millisecond count fed by the counter's differences.
std::mutex g_clockLock;
bool g_useCounter = false;
DWORD g_frequency = 0;
std::int64_t g_lastCounter = 0;
DWORD g_clockMs = 0;

} // namespace

BOOL EngineInit(HINSTANCE instance, DWORD flags) {
    std::lock_guard lock(g_initLock);
    if (g_initialized) return TRUE;

    WNDCLASS wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = AnimWindow::WindowProc;
    // The window's extra bytes hold the AnimWindow pointer.
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = TEXT("AnimWindow");
    if (!RegisterClass(&wc)) return FALSE;
    wc.hCursor = nullptr;
    wc.lpszClassName = TEXT("AnimWindowNoCursor");
    if (!RegisterClass(&wc)) {
        UnregisterClass(TEXT("AnimWindow"), instance);
        return FALSE;
    }

    LARGE_INTEGER frequency{}, counter{};
    if (QueryPerformanceFrequency(&frequency) && frequency.u.LowPart != 0 &&
        QueryPerformanceCounter(&counter)) {
        std::lock_guard clock(g_clockLock);
        g_useCounter = true;
        g_frequency = frequency.u.LowPart;
        g_lastCounter = counter.QuadPart;
        g_clockMs = 0;
    }

    g_initialized = true;
    g_display = new (MM("DISPLAY")) Display(flags);
    MemTare(g_display, MM("DISPLAY"));
    return TRUE;
}

BOOL IsEngineInitialized() {
    std::lock_guard lock(g_initLock);
    return g_initialized ? TRUE : FALSE;
}

DWORD EngineClock() {
    std::lock_guard lock(g_clockLock);
    if (!g_useCounter) return GetTickCount();
    LARGE_INTEGER counter{};
    if (!QueryPerformanceCounter(&counter)) return g_clockMs;
    std::int64_t delta = counter.QuadPart - g_lastCounter;
    if (delta < 0) {
        // A counter that went back (a restarted simulated clock) starts a new base.
        g_lastCounter = counter.QuadPart;
        return g_clockMs;
    }
    // Whole milliseconds only; the remainder stays in the counter base so that frequent
    // readings do not lose time.
    std::int64_t ms = delta * 1000 / g_frequency;
    g_clockMs += static_cast<DWORD>(ms);
    g_lastCounter += ms * g_frequency / 1000;
    return g_clockMs;
}

Display::Display(DWORD flags) {
    width_ = GetSystemMetrics(SM_CXSCREEN);
    height_ = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    bitsPerPixel_ =
        (flags & kEngineForce8Bit) ? 8 : static_cast<DWORD>(GetDeviceCaps(screen, BITSPIXEL));
    ::ReleaseDC(nullptr, screen);
}

void Display::GetRect(RECT* rect) const {
    if (rect) *rect = {0, 0, width_, height_};
}

PaletteGroup* Display::GetPaletteGroup() const {
    return GetDisplayPaletteGroup();
}

void Display::SetPaletteGroup(PaletteGroup* group) {
    SetDisplayPaletteGroup(group);
    AnimWindow::RebuildAllGraphics();
}

HPALETTE Display::GetPalette() const {
    PaletteGroup* group = GetDisplayPaletteGroup();
    return (IsPaletted() && group) ? group->GetPalette() : nullptr;
}

Display* GetDisplay() {
    return g_display;
}
