// The SDL2 driver: each visible top-level window is a real window showing the window's surface,
// scaled by a whole factor; host mouse, keys, closing and focus come back as window messages.
// Host calls happen on the thread that creates the windows and pumps their messages.
#include "platform/base.h"
#include "platform/core/driver.h"
#include "platform/core/gdi_internal.h"
#include "platform/core/icon_internal.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::driver {

namespace {

struct HostWindow {
    SDL_Window* window = nullptr;
    int scale = 1;
    std::uint64_t shown = ~0ull; // the draw count last presented
    bool shaped = false;         // the host window has a shape
    unsigned long shapedOn = 0;  // the X window that has it (SDL may make a new one)
    bool shapeRefused = false;   // the host cannot shape windows: black outside instead
    HICON icon = nullptr;        // the icon last given to the host
    HRGN shape = nullptr;        // the shape last given to the host (window pixels)
    // What was presented last, row by row, so that only changed rows are converted and sent.
    std::vector<BYTE> presented;
    int presentedWidth = 0, presentedHeight = 0, presentedBpp = 0;
    // Host pixel values of 16-bit colours, for the target format they were made for.
    std::vector<Uint32> colours16;
    Uint32 colours16Format = 0;
    // Host position of the window's screen origin: a device screen is shown where the host
    // centred its first window, a desktop window stands where its program put it.
    int originX = 0, originY = 0;
    POINT placed{}; // the window position the host window was last put at
    // Positions the host window was sent to whose echo from the host has not come back yet: a
    // late echo of an earlier place is not a move by the user.
    std::deque<POINT> requested;
};

std::recursive_mutex g_lock;
std::map<HWND, HostWindow> g_windows;
int g_cursorId = -1;
// The loaded cursor image shown, kept so that its address is not reused while it is compared.
std::shared_ptr<const platform::wm::IconImage> g_cursorImage;
// The thread that made the host windows; SDL's events are read there only.
DWORD g_hostThread = 0;
SDL_Cursor* g_cursor = nullptr;

// The pointer's place on the desktop last reported to a desktop window.
POINT g_lastRoot{-1000000, -1000000};

// Host moves of desktop windows, taken over by the windows once the driver's lock is released.
std::vector<std::pair<HWND, POINT>> g_hostMoves;

int ScaleFromEnvironment() {
    if (const char* env = std::getenv("TESSARK_SCALE")) {
        int s = std::atoi(env);
        if (s >= 1 && s <= 8) return s;
    }
    return 0;
}

// Desktop programs share the host's desktop: their screen coordinates are host pixels divided
// by one factor for all their windows. A device program's screen is a picture of its own.
bool DesktopScreen() {
    return platform::gdi::GetScreen().width >= 400;
}

// TESSARK_SCALE chooses; otherwise a device-sized window takes the largest whole factor (at
// most 4) that fits the usable desktop, and a desktop-sized one is shown as it is.
int ScaleFor(int width, int height) {
    if (int s = ScaleFromEnvironment()) return s;
    if (width >= 400 || DesktopScreen()) return 1;
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) return 2;
    // Room for the host's own frame and title bar.
    const int fit = std::min((usable.w - 16) / width, (usable.h - 48) / height);
    return std::clamp(fit, 1, 4);
}

const platform::wm::TopWindow* FindTop(const std::vector<platform::wm::TopWindow>& tops,
                                       HWND hwnd) {
    for (const auto& t : tops)
        if (t.hwnd == hwnd) return &t;
    return nullptr;
}

// Gives the host window the window's icon (its own, else its class icon).
void ShowIcon(HostWindow& host, HICON icon) {
    if (icon == host.icon) return;
    auto image = platform::wm::IconImageOf(icon);
    if (!image) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(image->argb.data()), image->width, image->height, 32,
        image->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) return;
    SDL_SetWindowIcon(host.window, surface);
    SDL_FreeSurface(surface);
    host.icon = icon;
}

// Shapes a host window on X11 through the SHAPE extension, loaded when first needed so that the
// program runs where it is missing. SDL2's own shaped windows stay blank under some X servers.
struct XShapeCalls {
    struct Rect {
        short x, y;
        unsigned short width, height;
    };
    void (*combineRectangles)(void* display, unsigned long window, int kind, int x, int y,
                              Rect* rects, int count, int op, int ordering) = nullptr;
    int (*flush)(void* display) = nullptr;
};
const XShapeCalls* LoadXShape() {
    static const XShapeCalls calls = [] {
        XShapeCalls c;
        void* ext = dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
        void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (ext == nullptr || x11 == nullptr) return c;
        c.combineRectangles =
            reinterpret_cast<decltype(c.combineRectangles)>(dlsym(ext, "XShapeCombineRectangles"));
        c.flush = reinterpret_cast<decltype(c.flush)>(dlsym(x11, "XFlush"));
        return c;
    }();
    return calls.combineRectangles != nullptr && calls.flush != nullptr ? &calls : nullptr;
}

// Gives the host window the shape (window pixels; null for the whole window), scaled. False
// when the host cannot shape windows.
bool ShapeHost(HostWindow& host, HRGN shape) {
    const XShapeCalls* x = LoadXShape();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (x == nullptr || !SDL_GetWindowWMInfo(host.window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    std::vector<XShapeCalls::Rect> rects;
    const int k = host.scale;
    if (shape == nullptr) {
        int w = 0, h = 0;
        SDL_GetWindowSize(host.window, &w, &h);
        rects.push_back({0, 0, static_cast<unsigned short>(w), static_cast<unsigned short>(h)});
    } else {
        DWORD bytes = GetRegionData(shape, 0, nullptr);
        std::vector<char> data(bytes);
        auto* region = reinterpret_cast<RGNDATA*>(data.data());
        if (bytes == 0 || GetRegionData(shape, bytes, region) != bytes) return false;
        const auto* r = reinterpret_cast<const RECT*>(region->Buffer);
        for (DWORD i = 0; i < region->rdh.nCount; ++i) {
            if (r[i].right <= r[i].left || r[i].bottom <= r[i].top) continue;
            rects.push_back({static_cast<short>(r[i].left * k), static_cast<short>(r[i].top * k),
                             static_cast<unsigned short>((r[i].right - r[i].left) * k),
                             static_cast<unsigned short>((r[i].bottom - r[i].top) * k)});
        }
    }
    constexpr int kShapeBounding = 0, kShapeSet = 0, kUnsorted = 0;
    x->combineRectangles(info.info.x11.display, info.info.x11.window, kShapeBounding, 0, 0,
                         rects.data(), static_cast<int>(rects.size()), kShapeSet, kUnsorted);
    x->flush(info.info.x11.display);
    host.shaped = shape != nullptr;
    host.shapedOn = info.info.x11.window;
    return true;
}

// Where the pointer is on the X desktop now (SDL's own answer is cached and may be stale).
bool PointerOnDesktop(SDL_Window* window, POINT* at) {
    using QueryPointer = int (*)(void*, unsigned long, unsigned long*, unsigned long*, int*, int*,
                                 int*, int*, unsigned int*);
    static const QueryPointer query = [] {
        void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        return x11 != nullptr ? reinterpret_cast<QueryPointer>(dlsym(x11, "XQueryPointer"))
                              : nullptr;
    }();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (query == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    unsigned long root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    if (!query(info.info.x11.display, info.info.x11.window, &root, &child, &rx, &ry, &wx, &wy,
               &mask))
        return false;
    *at = {rx, ry};
    return true;
}

// The X window behind a host window, or 0.
unsigned long XWindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return info.info.x11.window;
}

// For start-up benchmarks: the monotonic time of the first frame put on the screen, in
// nanoseconds, into the file TESSARK_FIRST_FRAME_FILE names.
void NoteFirstFrame() {
    static bool noted = false;
    if (noted) return;
    noted = true;
    const char* file = std::getenv("TESSARK_FIRST_FRAME_FILE");
    if (file == nullptr || *file == '\0') return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (FILE* f = std::fopen(file, "w")) {
        std::fprintf(f, "%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fclose(f);
    }
}

// Copies the window's surface into the host window, scaled.
// `all`: the host has lost what it showed (exposed, resized, new).
void Present(HWND hwnd, HostWindow& host, bool all) {
    namespace detail = platform::gdi::detail;
    HBITMAP handle = platform::wm::SurfaceOf(hwnd);
    HRGN shape = platform::wm::CopyShape(hwnd);
    if (!host.shapeRefused) {
        // Only a changed shape goes to the host.
        const bool same = shape == nullptr ? host.shape == nullptr
                                           : host.shape != nullptr && EqualRgn(shape, host.shape) &&
                                                 XWindowOf(host.window) == host.shapedOn;
        if (!same) {
            if (host.shape != nullptr) DeleteObject(host.shape);
            host.shape = nullptr;
            if (shape != nullptr) {
                host.shape = CreateRectRgn(0, 0, 0, 0);
                CombineRgn(host.shape, shape, nullptr, RGN_COPY);
            }
            if (shape != nullptr || host.shaped) host.shapeRefused = !ShapeHost(host, shape);
        }
    }
    SDL_Surface* target = SDL_GetWindowSurface(host.window);
    if (handle == nullptr || target == nullptr) {
        if (shape != nullptr) DeleteObject(shape);
        return;
    }
    int firstRow = -1, lastRow = -1;
    {
        std::lock_guard gdiLock(detail::Lock());
        auto bitmap = detail::FindAs<detail::Bitmap>(handle, detail::Kind::Bitmap);
        if (bitmap && SDL_LockSurface(target) == 0) {
            const detail::Surface& s = bitmap->surface;
            const int k = host.scale;
            const std::size_t rowBytes = static_cast<std::size_t>(s.width) * s.bpp / 8 + 1;
            const bool whole = shape != nullptr || host.presentedWidth != s.width ||
                               host.presentedHeight != s.height || host.presentedBpp != s.bpp ||
                               all;
            if (whole) {
                host.presented.assign(rowBytes * static_cast<std::size_t>(s.height), 0);
                host.presentedWidth = s.width;
                host.presentedHeight = s.height;
                host.presentedBpp = s.bpp;
            }
            if (s.bpp == 16 && host.colours16Format != target->format->format) {
                host.colours16.resize(32768);
                for (DWORD v = 0; v < 32768; ++v) {
                    const COLORREF c = detail::ValueToColour(s, v);
                    host.colours16[v] =
                        SDL_MapRGB(target->format, GetRValue(c), GetGValue(c), GetBValue(c));
                }
                host.colours16Format = target->format->format;
            }
            const int bytesPerPixel = target->format->BytesPerPixel;
            for (int y = 0; y < s.height && (y + 1) * k <= target->h; ++y) {
                // A row that has not changed since it was presented stays as it is on screen.
                BYTE* last = host.presented.data() + rowBytes * static_cast<std::size_t>(y);
                const std::size_t bytes = rowBytes - 1;
                if (!whole && last[bytes] && std::memcmp(last, s.Row(y), bytes) == 0) continue;
                std::memcpy(last, s.Row(y), bytes);
                last[bytes] = 1;
                if (firstRow < 0) firstRow = y;
                lastRow = y;
                for (int x = 0; x < s.width && (x + 1) * k <= target->w; ++x) {
                    const DWORD value = s.Get(x, y);
                    Uint32 v;
                    // Outside the shape: black, for a host that cannot shape windows.
                    if (shape != nullptr && !PtInRegion(shape, x, y)) {
                        v = SDL_MapRGB(target->format, 0, 0, 0);
                    } else if (s.bpp == 16) {
                        v = host.colours16[value & 0x7FFF];
                    } else {
                        const COLORREF c = detail::ValueToColour(s, value);
                        v = SDL_MapRGB(target->format, GetRValue(c), GetGValue(c), GetBValue(c));
                    }
                    for (int dy = 0; dy < k; ++dy) {
                        auto* row = static_cast<Uint8*>(target->pixels) +
                                    static_cast<long>(y * k + dy) * target->pitch;
                        for (int dx = 0; dx < k; ++dx) {
                            Uint8* p = row + (x * k + dx) * bytesPerPixel;
                            switch (bytesPerPixel) {
                            case 4:
                                *reinterpret_cast<Uint32*>(p) = v;
                                break;
                            case 2:
                                *reinterpret_cast<Uint16*>(p) = static_cast<Uint16>(v);
                                break;
                            default:
                                p[0] = static_cast<Uint8>(v);
                                if (bytesPerPixel == 3) {
                                    p[1] = static_cast<Uint8>(v >> 8);
                                    p[2] = static_cast<Uint8>(v >> 16);
                                }
                            }
                        }
                    }
                }
            }
            SDL_UnlockSurface(target);
        }
    }
    if (shape != nullptr) DeleteObject(shape);
    if (firstRow < 0) return;
    const SDL_Rect changed{0, firstRow * host.scale, target->w,
                           (lastRow - firstRow + 1) * host.scale};
    SDL_UpdateWindowSurfaceRects(host.window, &changed, 1);
    NoteFirstFrame();
}

void WindowEvent(HWND hwnd, platform::driver::WindowEvent event) {
    using E = platform::driver::WindowEvent;
    // Asked before the lock: the window may answer WM_GETICON itself.
    HICON icon = event == E::Created || event == E::Shown || event == E::IconChanged
                     ? platform::wm::IconOf(hwnd)
                     : nullptr;
    std::lock_guard lock(g_lock);
    auto tops = platform::wm::TopWindowsBottomUp();
    const auto* top = FindTop(tops, hwnd);
    auto it = g_windows.find(hwnd);
    if (event == E::Destroyed || top == nullptr) {
        if (it != g_windows.end()) {
            SDL_DestroyWindow(it->second.window);
            if (it->second.shape != nullptr) DeleteObject(it->second.shape);
            g_windows.erase(it);
        }
        return;
    }
    int w = std::max<int>(1, top->rect.right - top->rect.left);
    int h = std::max<int>(1, top->rect.bottom - top->rect.top);
    if (it == g_windows.end()) {
        if (event != E::Shown && !top->visible) return;
        HostWindow host;
        host.scale = ScaleFor(w, h);
        const int k = host.scale;
        std::string title = platform::Narrow(top->title);
        const bool desktop = DesktopScreen();
        // A desktop window without a caption draws its own frame (a skinned window).
        const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
        const Uint32 flags = SDL_WINDOW_HIDDEN | (desktop && (style & WS_CAPTION) != WS_CAPTION
                                                      ? static_cast<Uint32>(SDL_WINDOW_BORDERLESS)
                                                      : 0u);
        host.window = SDL_CreateWindow(
            title.c_str(), desktop ? top->rect.left * k : SDL_WINDOWPOS_CENTERED,
            desktop ? top->rect.top * k : SDL_WINDOWPOS_CENTERED, w * k, h * k, flags);
        if (host.window == nullptr) return;
        if (!desktop) {
            int hx = 0, hy = 0;
            SDL_GetWindowPosition(host.window, &hx, &hy);
            host.originX = hx - top->rect.left * k;
            host.originY = hy - top->rect.top * k;
        }
        host.placed = {top->rect.left, top->rect.top};
        if (g_hostThread == 0) g_hostThread = platform::wm::CurrentThreadId();
        it = g_windows.emplace(hwnd, host).first;
    }
    HostWindow& host = it->second;
    if (icon != nullptr) ShowIcon(host, icon);
    switch (event) {
    case E::Shown:
        SDL_ShowWindow(host.window);
        host.shown = ~0ull;
        break;
    case E::Hidden:
        SDL_HideWindow(host.window);
        break;
    case E::Moved:
        SDL_SetWindowSize(host.window, w * host.scale, h * host.scale);
        if (top->rect.left != host.placed.x || top->rect.top != host.placed.y) {
            host.placed = {top->rect.left, top->rect.top};
            host.requested.push_back(host.placed);
            if (host.requested.size() > 64) host.requested.pop_front();
            SDL_SetWindowPosition(host.window, host.originX + top->rect.left * host.scale,
                                  host.originY + top->rect.top * host.scale);
        }
        host.shown = ~0ull;
        if (host.shaped) ShapeHost(host, host.shape); // at the new size
        break;
    case E::TextChanged:
        SDL_SetWindowTitle(host.window, platform::Narrow(top->title).c_str());
        break;
    default:
        break;
    }
}

HWND WindowOf(Uint32 id, HostWindow** host) {
    SDL_Window* window = SDL_GetWindowFromID(id);
    for (auto& [hwnd, h] : g_windows) {
        if (h.window == window) {
            *host = &h;
            return hwnd;
        }
    }
    return nullptr;
}

UINT KeyFor(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<UINT>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<UINT>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<UINT>(VK_F1 + (key - SDLK_F1));
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    default:
        return 0;
    }
}

// A cursor loaded from resources, drawn from its own pixels; false when the choice is not one.
bool ShowLoadedCursor() {
    auto image = platform::wm::IconImageOf(GetCursor());
    if (image == nullptr) return false;
    if (image == g_cursorImage) return true;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(image->argb.data()), image->width, image->height, 32,
        image->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) return false;
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, image->hotX, image->hotY);
    SDL_FreeSurface(surface);
    if (cursor == nullptr) return false;
    SDL_SetCursor(cursor);
    if (g_cursor != nullptr) SDL_FreeCursor(g_cursor);
    g_cursor = cursor;
    g_cursorImage = std::move(image);
    g_cursorId = -1;
    return true;
}

// SDL's X11 backend gives both diagonal sizing cursors the same four-way arrow; these draw the
// diagonal double arrows themselves, black on a white outline. Null elsewhere.
SDL_Cursor* DiagonalCursor(bool nwse) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return nullptr;
    constexpr int kSize = 17;
    std::vector<std::uint32_t> core(kSize * kSize, 0), image(kSize * kSize, 0);
    auto mark = [&](int x, int y) {
        core[static_cast<std::size_t>(y * kSize + (nwse ? x : kSize - 1 - x))] = 1;
    };
    for (int i = 2; i <= 14; ++i)
        mark(i, i);
    for (int i = 0; i < 5; ++i) {
        mark(2 + i, 2), mark(2, 2 + i);     // the head at the top corner
        mark(14 - i, 14), mark(14, 14 - i); // and at the bottom corner
    }
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (core[static_cast<std::size_t>(y * kSize + x)]) {
                image[static_cast<std::size_t>(y * kSize + x)] = 0xFF000000u;
                continue;
            }
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < kSize && ny < kSize &&
                        core[static_cast<std::size_t>(ny * kSize + nx)])
                        image[static_cast<std::size_t>(y * kSize + x)] = 0xFFFFFFFFu;
                }
        }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(image.data(), kSize, kSize, 32,
                                                              kSize * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) return nullptr;
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, kSize / 2, kSize / 2);
    SDL_FreeSurface(surface);
    return cursor;
}

void ShowCursorChoice() {
    if (ShowLoadedCursor()) return;
    int id = platform::wm::CurrentCursorId();
    if (id == g_cursorId) return;
    g_cursorId = id;
    g_cursorImage = nullptr;
    if (id == 32642 || id == 32643) {
        if (SDL_Cursor* cursor = DiagonalCursor(id == 32642)) {
            SDL_SetCursor(cursor);
            if (g_cursor != nullptr) SDL_FreeCursor(g_cursor);
            g_cursor = cursor;
            return;
        }
    }
    SDL_SystemCursor kind = SDL_SYSTEM_CURSOR_ARROW;
    switch (id) {
    case 32513:
        kind = SDL_SYSTEM_CURSOR_IBEAM;
        break;
    case 32514:
        kind = SDL_SYSTEM_CURSOR_WAIT;
        break;
    case 32515:
        kind = SDL_SYSTEM_CURSOR_CROSSHAIR;
        break;
    case 32642:
        kind = SDL_SYSTEM_CURSOR_SIZENWSE;
        break;
    case 32643:
        kind = SDL_SYSTEM_CURSOR_SIZENESW;
        break;
    case 32644:
        kind = SDL_SYSTEM_CURSOR_SIZEWE;
        break;
    case 32645:
        kind = SDL_SYSTEM_CURSOR_SIZENS;
        break;
    case 32646:
        kind = SDL_SYSTEM_CURSOR_SIZEALL;
        break;
    case 32649:
        kind = SDL_SYSTEM_CURSOR_HAND;
        break;
    default:
        break;
    }
    SDL_Cursor* cursor = SDL_CreateSystemCursor(kind);
    if (cursor == nullptr) return;
    SDL_SetCursor(cursor);
    if (g_cursor != nullptr) SDL_FreeCursor(g_cursor);
    g_cursor = cursor;
}

void Handle(const SDL_Event& e) {
    HostWindow* host = nullptr;
    switch (e.type) {
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        Uint32 id = e.type == SDL_MOUSEMOTION ? e.motion.windowID : e.button.windowID;
        HWND hwnd = WindowOf(id, &host);
        if (hwnd == nullptr) return;
        RECT r;
        GetWindowRect(hwnd, &r);
        int x = e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x;
        int y = e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y;
        POINT screen{r.left + x / host->scale, r.top + y / host->scale};
        POINT root{};
        if (DesktopScreen() && PointerOnDesktop(host->window, &root)) {
            // An event made before the host window last moved is relative to where the window
            // was then; the pointer's place on the desktop does not depend on it.
            screen = {(root.x - host->originX) / host->scale,
                      (root.y - host->originY) / host->scale};
            const bool travelled = root.x != g_lastRoot.x || root.y != g_lastRoot.y;
            g_lastRoot = root;
            // Travel of a held pointer not reported yet (a window moving with the pointer hears
            // of none) comes before the release, so a drag ends where the pointer does.
            if (travelled && e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT)
                InjectMouse(WM_MOUSEMOVE, screen, MK_LBUTTON);
        }
        Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
        WPARAM keys = ((buttons & SDL_BUTTON_LMASK) ? MK_LBUTTON : 0) |
                      ((buttons & SDL_BUTTON_RMASK) ? MK_RBUTTON : 0);
        if (e.type == SDL_MOUSEMOTION) {
            InjectMouse(WM_MOUSEMOVE, screen, keys);
        } else if (e.button.button == SDL_BUTTON_LEFT) {
            InjectMouse(e.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, screen,
                        keys);
        } else if (e.button.button == SDL_BUTTON_RIGHT) {
            InjectMouse(e.type == SDL_MOUSEBUTTONDOWN ? WM_RBUTTONDOWN : WM_RBUTTONUP, screen,
                        keys);
        }
        return;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (UINT vk = KeyFor(e.key.keysym.sym)) {
            InjectKey(e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk);
        }
        return;
    case SDL_WINDOWEVENT: {
        HWND hwnd = WindowOf(e.window.windowID, &host);
        if (hwnd == nullptr) return;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            if (GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
        } else if (e.window.event == SDL_WINDOWEVENT_MOVED && DesktopScreen()) {
            // Moved by the user or the window manager: the window follows.
            POINT at{(e.window.data1 - host->originX) / host->scale,
                     (e.window.data2 - host->originY) / host->scale};
            auto echo = std::find_if(host->requested.begin(), host->requested.end(),
                                     [&](POINT p) { return p.x == at.x && p.y == at.y; });
            if (echo != host->requested.end()) {
                host->requested.erase(host->requested.begin(), echo + 1);
            } else if (at.x != host->placed.x || at.y != host->placed.y) {
                host->requested.clear();
                host->placed = at;
                g_hostMoves.emplace_back(hwnd, at);
            }
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                   e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            host->shown = ~0ull;
        }
        return;
    }
    default:
        return;
    }
}

// SDL reports motion relative to a window, so a window that follows the pointer (a drag) sees
// the pointer stand still in it and hears of no motion. While the left button is held on a
// desktop window, the pointer's place on the desktop is read each turn and any change reported.
void FollowHeldPointer() {
    if (!DesktopScreen() || (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) == 0) return;
    SDL_Window* focus = SDL_GetMouseFocus();
    for (auto& [hwnd, host] : g_windows) {
        if (host.window != focus) continue;
        POINT root{};
        if (!PointerOnDesktop(host.window, &root) ||
            (root.x == g_lastRoot.x && root.y == g_lastRoot.y))
            return;
        g_lastRoot = root;
        InjectMouse(
            WM_MOUSEMOVE,
            POINT{(root.x - host.originX) / host.scale, (root.y - host.originY) / host.scale},
            MK_LBUTTON);
        return;
    }
}

void Poll(DWORD maxWaitMs) {
    std::unique_lock lock(g_lock);
    if (g_hostThread != 0 && g_hostThread != platform::wm::CurrentThreadId()) {
        lock.unlock();
        SDL_Delay(std::min<DWORD>(maxWaitMs, 10));
        return;
    }
    // Whatever was painted since the last look goes to the screen first.
    for (auto& [hwnd, host] : g_windows) {
        std::uint64_t count = platform::wm::DrawCount(hwnd);
        if (count != host.shown && (SDL_GetWindowFlags(host.window) & SDL_WINDOW_SHOWN)) {
            const bool all = host.shown == ~0ull;
            host.shown = count;
            Present(hwnd, host, all);
        }
    }
    ShowCursorChoice();
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, static_cast<int>(std::min<DWORD>(maxWaitMs, 10))) != 0) {
        Handle(e);
        while (SDL_PollEvent(&e))
            Handle(e);
    }
    FollowHeldPointer();
    // WM_MOVE may go to a window of another thread: sent without the driver's lock.
    std::vector<std::pair<HWND, POINT>> moves;
    moves.swap(g_hostMoves);
    lock.unlock();
    for (const auto& [hwnd, at] : moves)
        SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A desktop program's work area is the host's usable desktop at its scale.
bool WorkArea(RECT* area) {
    if (!DesktopScreen()) return false;
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) return false;
    const int k = std::max(1, ScaleFromEnvironment());
    *area = RECT{usable.x / k, usable.y / k, (usable.x + usable.w) / k, (usable.y + usable.h) / k};
    return true;
}

const Driver kSdl{"sdl", {nullptr, WindowEvent, WorkArea}, {Poll}, {nullptr, nullptr}, {nullptr}};

} // namespace

const Driver* SdlDriverIfAvailable() {
    // Interrupt and terminate keep their usual meaning for the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface goes straight to the display server: a texture framebuffer would draw
    // every frame again through OpenGL, in software where there is no graphics card.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    std::atexit(SDL_Quit);
    return &kSdl;
}

} // namespace platform::driver
