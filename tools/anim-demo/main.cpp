// tessark-anim-demo: an animation window with a tiled background, three dozen two-frame
// sprites bouncing in three layers, the frame-rate display and a status line that reports the
// last tap. Each tap plays the next of a few of the game's sounds (linked in as resources)
// through the mixer, so quick taps are heard mixed. TESSARK_DRIVER=sdl on a desktop, or
// headless with TESSARK_SCRIPT (demo.script). Escape closes it.
// At the end it prints how many sounds played and how many at most played at once, lets every
// sound finish, and runs the memory manager's exit check: the exit code is 3 when anything
// leaked, 4 when a sound failed to load or never finished.
#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_sound.h"
#include "engine/cea_sprite.h"
#include "engine/cea_window.h"
#include "foundation/memory.h"
#include "foundation/tl_string.h"
#include "platform/clock.h"
#include "platform/resource.h"
#include "tools/anim-demo/demo_art.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int kSprites = 36;
constexpr int kHues = 6;

struct Mover {
    AnimObject* object;
    LONG dx;
    LONG dy;
};

// Put-down, explosion, human win, trace sweep: each long enough that taps a moment apart
// overlap in the mixer.
constexpr UINT kTapSounds[] = {1032, 1036, 1037, 1043};
constexpr int kTapSoundCount = sizeof kTapSounds / sizeof kTapSounds[0];

Graphic* g_tile = nullptr;
std::vector<Mover> g_movers;
Sound* g_sounds[kTapSoundCount] = {};
DWORD g_taps = 0;
int g_mostAtOnce = 0;

// The mixer's own view: sounds with a play still running.
int SoundsPlaying() {
    int n = 0;
    for (Sound* s : g_sounds)
        n += s && s->IsPlaying();
    return n;
}

LRESULT OnWindow(AnimWindow* window, DWORD code, LPARAM, LPARAM parameter2) {
    if (code == ANIMWND_BACKGROUND && g_tile) {
        auto* background = reinterpret_cast<Graphic*>(parameter2);
        g_tile->TileTo(background, 0, 0, background->GetWidth(), background->GetHeight(), 0, 0,
                       g_tile->GetWidth(), g_tile->GetHeight(), 0, 0);
        window->InvalidateAll();
    } else if (code == ANIMWND_PAINTBEGIN) {
        // Every painted frame moves each sprite one step, bouncing off the edges.
        LONG width = window->GetWidth(), height = window->GetHeight();
        for (Mover& m : g_movers) {
            LONG x, y;
            m.object->GetPosition(&x, &y);
            if (x + m.dx < 0 || x + m.dx + m.object->GetWidth() > width) m.dx = -m.dx;
            if (y + m.dy < 0 || y + m.dy + m.object->GetHeight() > height) m.dy = -m.dy;
            m.object->MoveTo(x + m.dx, y + m.dy);
        }
    }
    return 1;
}

LRESULT OnInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    AnimWindow* window = AnimWindow::FromHandle(hwnd);
    if (!window) return 0;
    if (message == WM_LBUTTONDOWN) {
        Sound* sound = g_sounds[g_taps % kTapSoundCount];
        sound->Play(Sound::kOnce);
        const int playing = SoundsPlaying();
        if (playing > g_mostAtOnce) g_mostAtOnce = playing;
        ++g_taps;
        // Short enough to clear the frame-rate box on the status line's left.
        sformat text(TEXT("Tap %ld,%ld: %d sound%s "), static_cast<long>(GET_X_LPARAM(lParam)),
                     static_cast<long>(GET_Y_LPARAM(lParam)), playing,
                     playing == 1 ? TEXT("") : TEXT("s"));
        window->SetStatusText(text.c_str());
    } else if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        // Escape closes the demo as the close box would, so a desktop run ends with the same
        // sound and memory report as a scripted one.
        PostMessage(hwnd, WM_CLOSE, 0, 0);
    } else if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return 0;
}

} // namespace

int main() {
    platform::gdi::UseCallerFlavour();
    HINSTANCE instance = GetModuleHandle(nullptr);
    if (!EngineInit(instance, 0)) return 1;

    for (int i = 0; i < kTapSoundCount; ++i) {
        g_sounds[i] = new (MM("SOUND")) Sound(instance, MAKEINTRESOURCE(kTapSounds[i]));
        if (!g_sounds[i]->IsLoaded()) {
            std::fprintf(stderr, "tessark-anim-demo: sound %u is not linked in or damaged\n",
                         kTapSounds[i]);
            for (Sound*& s : g_sounds)
                MemDelete(s, MM("SOUND"));
            return 4;
        }
    }

    std::vector<BYTE> tile = demo_art::Tile();
    g_tile = new (MM("GRAPHIC")) Graphic(tile.data(), static_cast<DWORD>(tile.size()), kNoColor);
    std::vector<Sprite*> sheets;
    for (int hue = 0; hue < kHues; ++hue) {
        std::vector<BYTE> sheet = demo_art::SpriteSheet(hue);
        sheets.push_back(new (MM("SPRITE")) Sprite(sheet.data(), static_cast<DWORD>(sheet.size()),
                                                   demo_art::kKey, 2, 1, kSpriteAllFrames));
    }

    RECT frame{0, 0, 240, 294};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    HWND hwnd = CreateWindowEx(0, TEXT("AnimWindow"), TEXT("Tessark animation demo"), style, 0, 0,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                               instance, nullptr);
    AnimWindow* window = AnimWindow::FromHandle(hwnd);
    int result = 1;
    if (window) {
        window->SetCallback(OnWindow);
        window->AddHook(OnInput, kHookAll);
        window->SetFrameRate(30);
        window->ShowFrameRate(TRUE);
        window->SetStatusText(TEXT("Tap anywhere "));
        for (int i = 0; i < kSprites; ++i) {
            // Layers 10, 20, 30: the sprites of a lower layer pass in front.
            auto* o = new (MM("ANIMOBJECT"))
                AnimObject(window, sheets[static_cast<std::size_t>(i % kHues)], 10 * (1 + i % 3));
            o->MoveTo((i * 37) % (240 - demo_art::kSpriteWidth),
                      (i * 53) % (294 - demo_art::kSpriteHeight));
            g_movers.push_back({o, 1 + i % 3, 1 + (i / 3) % 3});
        }
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        // The frame loop ends when the window is closed.
        window->RunFrames(kAllFrames);
        result = 0;
    }
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    g_movers.clear();
    // Sounds still running are let finish (moving simulated time on when it stands still);
    // ten seconds of waiting mean one never ends.
    const DWORD waitStart = GetTickCount();
    int stillPlaying = SoundsPlaying();
    for (int i = 0; stillPlaying && i < 5000; ++i) {
        if (platform::clock::IsSimulated()) platform::clock::AdvanceBy(5);
        Sleep(2);
        if (!platform::clock::IsSimulated() && GetTickCount() - waitStart > 10000) break;
        stillPlaying = SoundsPlaying();
    }
    std::printf("sounds: %lu played, up to %d at once, %d never finished\n",
                static_cast<unsigned long>(g_taps), g_mostAtOnce, stillPlaying);
    if (stillPlaying) result = 4;
    for (Sound*& s : g_sounds) {
        MemDelete(s, MM("SOUND"));
        s = nullptr;
    }
    for (Sprite* s : sheets)
        MemDelete(s, MM("SPRITE"));
    MemDelete(g_tile, MM("GRAPHIC"));
    if (MemExitCheck() != 0) return 3;
    std::printf("memory: nothing leaked\n");
    return result;
}
