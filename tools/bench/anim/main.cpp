// bench-anim: CPU time per painted frame of an animation window (240 x 294, 16 bits) with 1,
// 20 and 100 moving 35 x 50 sprites, composing only the dirty rectangles against forcing a
// full redraw every frame (simulated clock, headless); then the CPU share of an idle window
// running at 30 frames per second in real time.
#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_sprite.h"
#include "engine/cea_window.h"
#include "foundation/memory.h"
#include "platform/clock.h"
#include "tools/anim-demo/demo_art.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kFrames = 400;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Mover {
    AnimObject* object;
    LONG dx;
    LONG dy;
};

std::vector<Mover> g_movers;
bool g_forceFull = false;

LRESULT OnWindow(AnimWindow* window, DWORD code, LPARAM, LPARAM) {
    if (code == ANIMWND_PAINTBEGIN) {
        for (Mover& m : g_movers) {
            LONG x, y;
            m.object->GetPosition(&x, &y);
            if (x + m.dx < 0 || x + m.dx + m.object->GetWidth() > window->GetWidth()) m.dx = -m.dx;
            if (y + m.dy < 0 || y + m.dy + m.object->GetHeight() > window->GetHeight())
                m.dy = -m.dy;
            m.object->MoveTo(x + m.dx, y + m.dy);
        }
    } else if (code == ANIMWND_COMPOSE && g_forceFull) {
        window->InvalidateAll(); // background, backdrop and frame composed whole
    }
    return 1;
}

HWND MakeWindow(Graphic* tile) {
    HWND hwnd = CreateWindowEx(0, TEXT("AnimWindow"), TEXT("bench"), WS_POPUP | WS_VISIBLE, 0, 0,
                               240, 294, nullptr, nullptr, GetModuleHandle(nullptr), nullptr);
    AnimWindow* w = AnimWindow::FromHandle(hwnd);
    if (!w) return nullptr;
    Graphic* bg = w->GetBackground();
    tile->TileTo(bg, 0, 0, bg->GetWidth(), bg->GetHeight(), 0, 0, tile->GetWidth(),
                 tile->GetHeight(), 0, 0);
    w->InvalidateAll();
    w->SetCallback(OnWindow);
    return hwnd;
}

// Microseconds of CPU per painted frame with `count` sprites.
double PerFrame(Graphic* tile, Sprite* sprite, int count, bool full) {
    HWND hwnd = MakeWindow(tile);
    AnimWindow* w = AnimWindow::FromHandle(hwnd);
    if (!w) return -1;
    g_movers.clear();
    for (int i = 0; i < count; ++i) {
        auto* o = new (MM("ANIMOBJECT")) AnimObject(w, sprite, 10 + i % 3);
        o->MoveTo((i * 37) % (240 - 35), (i * 53) % (294 - 50));
        g_movers.push_back({o, 1 + i % 3, 1 + (i / 3) % 3});
    }
    g_forceFull = full;
    for (int i = 0; i < 20; ++i)
        w->AdvanceOne();
    double start = CpuSeconds();
    for (int i = 0; i < kFrames; ++i)
        w->AdvanceOne();
    double took = CpuSeconds() - start;
    g_movers.clear();
    g_forceFull = false;
    DestroyWindow(hwnd);
    return took / kFrames * 1e6;
}

} // namespace

int main() {
    platform::gdi::UseCallerFlavour();
    if (!EngineInit(GetModuleHandle(nullptr), 0)) return 1;
    std::vector<BYTE> tileBmp = demo_art::Tile(), sheetBmp = demo_art::SpriteSheet(2);
    auto* tile =
        new (MM("GRAPHIC")) Graphic(tileBmp.data(), static_cast<DWORD>(tileBmp.size()), kNoColor);
    auto* sprite = new (MM("SPRITE")) Sprite(sheetBmp.data(), static_cast<DWORD>(sheetBmp.size()),
                                             demo_art::kKey, 2, 1, kSpriteAllFrames);

    platform::clock::SetSimulated(true);
    std::printf("animation window 240 x 294, %lu bits; 35 x 50 two-frame sprites; %d frames\n",
                static_cast<unsigned long>(GetDisplay()->GetBitsPerPixel()), kFrames);
    std::printf("%8s %16s %16s %8s\n", "sprites", "dirty us/frame", "full us/frame", "ratio");
    for (int count : {1, 20, 100}) {
        double dirty = PerFrame(tile, sprite, count, false);
        double full = PerFrame(tile, sprite, count, true);
        std::printf("%8d %16.1f %16.1f %8.2f\n", count, dirty, full, full / dirty);
    }

    // Idle: nothing moves, so a frame composes nothing; the loop sleeps in the message pump.
    platform::clock::SetSimulated(false);
    HWND hwnd = MakeWindow(tile);
    AnimWindow* w = AnimWindow::FromHandle(hwnd);
    if (w) {
        w->SetFrameRate(30);
        w->RunFrames(10);
        double cpu = CpuSeconds();
        auto wall = std::chrono::steady_clock::now();
        DWORD first = w->GetCurrentFrame();
        w->RunFrames(90);
        double cpuTook = CpuSeconds() - cpu;
        std::chrono::duration<double> wallTook = std::chrono::steady_clock::now() - wall;
        std::printf("idle window at 30 fps: %lu frames in %.2f s, CPU %.3f s = %.2f %% of a core\n",
                    static_cast<unsigned long>(w->GetCurrentFrame() - first), wallTook.count(),
                    cpuTook, 100.0 * cpuTook / wallTook.count());
        DestroyWindow(hwnd);
    }
    MemDelete(sprite, MM("SPRITE"));
    MemDelete(tile, MM("GRAPHIC"));
    return MemExitCheck() == 0 ? 0 : 3;
}
