// The installed driver table and input injection.
#include "platform/core/driver.h"

#include "platform/core/window_internal.h"
#include "platform/drivers/null/null_driver.h"
#include "platform/gdi.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::driver {

// The SDL driver when it is built in and a display answers; null otherwise.
#ifdef TESSARK_HAVE_SDL_DRIVER
const Driver* SdlDriverIfAvailable();
#else
const Driver* SdlDriverIfAvailable() {
    return nullptr;
}
#endif

namespace {

void NullScreenSize(int* width, int* height) {
    // TESSARK_SCREEN=WxH sets the headless screen; otherwise it is the drawing layer's screen
    // (the flavour's size).
    platform::gdi::ScreenSettings screen = platform::gdi::GetScreen();
    int w = screen.width, h = screen.height;
    if (const char* env = std::getenv("TESSARK_SCREEN")) {
        int ew = 0, eh = 0;
        if (std::sscanf(env, "%dx%d", &ew, &eh) == 2 && ew > 0 && eh > 0 && ew <= 16384 &&
            eh <= 16384) {
            w = ew;
            h = eh;
        }
    }
    *width = w;
    *height = h;
}

const Driver kNullDriver{
    "null", {NullScreenSize, nullptr, nullptr}, {nullptr}, {nullptr, nullptr}, {nullptr}};

std::atomic<const Driver*> g_driver{nullptr};

// TESSARK_DRIVER=sdl|null; without it, sdl when a display is there and SDL can use it.
const Driver* Choose() {
    const char* name = std::getenv("TESSARK_DRIVER");
    bool wantSdl = name != nullptr ? std::strcmp(name, "sdl") == 0
                                   : (std::getenv("DISPLAY") != nullptr ||
                                      std::getenv("WAYLAND_DISPLAY") != nullptr);
    if (name != nullptr && !wantSdl && std::strcmp(name, "null") != 0) {
        std::fprintf(stderr, "tessark: unknown TESSARK_DRIVER \"%s\"; using null\n", name);
    }
    if (wantSdl) {
        if (const Driver* sdl = SdlDriverIfAvailable()) return sdl;
        if (name != nullptr) std::fprintf(stderr, "tessark: SDL cannot start; using null\n");
    }
    return platform::drivers::null::Driver();
}

} // namespace

const Driver& Current() {
    const Driver* d = g_driver.load(std::memory_order_acquire);
    if (d != nullptr) return *d;
    static const Driver* chosen = Choose();
    const Driver* expected = nullptr;
    g_driver.compare_exchange_strong(expected, chosen, std::memory_order_acq_rel);
    return *g_driver.load(std::memory_order_acquire);
}

void Install(const Driver* driver) {
    g_driver.store(driver != nullptr ? driver : &kNullDriver, std::memory_order_release);
}

void ScreenSize(int* width, int* height) {
    auto size = Current().screen.size;
    (size != nullptr ? size : NullScreenSize)(width, height);
}

RECT WorkArea() {
    RECT area{};
    if (auto f = Current().screen.workArea;
        f != nullptr && f(&area) && area.right > area.left && area.bottom > area.top)
        return area;
    int w = 0, h = 0;
    ScreenSize(&w, &h);
    return RECT{0, 0, w, h};
}

void NotifyWindow(HWND hwnd, WindowEvent event) {
    if (auto f = Current().screen.windowEvent) f(hwnd, event);
}

HWND InjectMouse(UINT message, POINT screen, WPARAM keys) {
    using namespace platform::wm;
    State& s = GetState();
    HWND target = nullptr;
    LPARAM lParam = 0;
    {
        std::lock_guard lock(s.lock);
        s.cursor = screen;
        target = s.capture != nullptr ? s.capture : InputTarget(s, screen);
        Window* w = Find(s, target);
        if (w == nullptr) return nullptr;
        POINT o = ClientOrigin(s, *w);
        lParam = MAKELPARAM(screen.x - o.x, screen.y - o.y);
    }
    return Post(target, message, keys, lParam, screen) ? target : nullptr;
}

HWND InjectKey(UINT message, UINT virtualKey) {
    using namespace platform::wm;
    State& s = GetState();
    HWND target = nullptr;
    POINT pt{};
    {
        std::lock_guard lock(s.lock);
        bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        s.keyDown[virtualKey & 0xFF] = down;
        target = s.focus;
        if (target == nullptr) {
            for (HWND top : s.topLevel) {
                Window* w = Find(s, top);
                if (w != nullptr && (w->style & WS_VISIBLE)) {
                    target = top;
                    break;
                }
            }
        }
        pt = s.cursor;
    }
    if (target == nullptr) return nullptr;
    // Repeat count 1; key-up messages carry the previous-state and transition bits.
    LPARAM lParam = 1;
    if (message == WM_KEYUP || message == WM_SYSKEYUP) lParam |= (3L << 30);
    return Post(target, message, virtualKey, lParam, pt) ? target : nullptr;
}

bool IsKeyDown(UINT virtualKey) {
    using namespace platform::wm;
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return s.keyDown[virtualKey & 0xFF];
}

} // namespace platform::driver
