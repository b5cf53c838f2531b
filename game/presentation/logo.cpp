#include "game/presentation/logo.h"

#include "engine/cea_graphic.h"
#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_palette.h"
#include "engine/cea_sound.h"
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "platform/clock.h"
#include "platform/resource.h"

namespace {

// Posted by the loader thread to the window when the loader has returned: wParam its result,
// lParam the tick count then. The window's thread schedules the end: the timeline's frame
// counter belongs to that thread.
constexpr UINT kLogoLoadedMessage = WM_APP + 1002;
// Before every other hook: the game's hooks see no pen while the splash holds the window.
constexpr DWORD kLogoHookPriority = 1;
// After the animation the logo stays this long at least.
constexpr DWORD kLogoHoldMs = 2000;
// Frames between the end being known and the end itself.
constexpr DWORD kLogoEndFrames = 5;
constexpr DWORD kLogoFramesPerSecond = 20;

struct LOGO {
    AnimWindow* window = nullptr;
    HWND hwnd = nullptr;
    HINSTANCE instance = nullptr;
    LogoLoader loader = nullptr;
    void* context = nullptr;
    Sound* sounds[kLogoSoundCount] = {};
    Graphic* image = nullptr;
    Graphic* frames[kLogoFrameCount] = {};
    LONG frameWidth = 0;
    LONG frameHeight = 0;
    PaletteGroup* group = nullptr;
    AnimObject* object = nullptr;
    DWORD endTick = 0;
    bool finished = false;
    int result = 1;
    bool cancelled = false;
    AnimWindowCallback savedCallback = nullptr;
    double savedFrameRate = 0;
    PaletteGroup* savedGroup = nullptr;
    // The window carries the splash's handler, hook and rate until they are put back.
    bool borrowed = false;
    bool windowGone = false;
    // The loader thread, from its start until it has been waited for.
    HANDLE thread = nullptr;
    // Started and its message not yet handled.
    bool loading = false;
};

LOGO* g_logo = nullptr;
LogoSoundObserver g_observer = nullptr;
void* g_observerContext = nullptr;

// Resource `id` of type 4999 of `instance`, expanded (released with zzfree).
bool LoadBlock(HINSTANCE instance, UINT id, BYTE** data, DWORD* size) {
    HRSRC found = FindResource(instance, MAKEINTRESOURCE(id), MAKEINTRESOURCE(kZZResourceType));
    if (!found) return false;
    HGLOBAL handle = LoadResource(instance, found);
    const void* bytes = handle ? LockResource(handle) : nullptr;
    const DWORD length = SizeofResource(instance, found);
    if (!bytes || length == 0) return false;
    return zzdecompress(data, size, bytes, length);
}

Sound* LoadSound(HINSTANCE instance, UINT id) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!LoadBlock(instance, id, &data, &size)) return nullptr;
    auto* sound = new (MM("SOUND")) Sound(data, size);
    zzfree(data);
    if (!sound->IsLoaded()) {
        MemDelete(sound, MM("SOUND"));
        return nullptr;
    }
    return sound;
}

Graphic* LoadPicture(HINSTANCE instance, UINT id) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!LoadBlock(instance, id, &data, &size)) return nullptr;
    auto* image = new (MM("GRAPHIC")) Graphic(data, size, kNoColor);
    zzfree(data);
    if (!image->IsLoaded() || image->GetWidth() <= 0 || image->GetHeight() < kLogoFrameCount) {
        MemDelete(image, MM("GRAPHIC"));
        return nullptr;
    }
    return image;
}

// Everything or nothing: whatever was made before a failure is freed by FreeObjects.
bool Load(LOGO& logo) {
    for (int i = 0; i < kLogoSoundCount; ++i) {
        logo.sounds[i] = LoadSound(logo.instance, kLogoSoundFirst + static_cast<UINT>(i));
        if (!logo.sounds[i]) return false;
    }
    logo.image = LoadPicture(logo.instance, kLogoImage);
    if (!logo.image) return false;
    // The mixer's device opens now rather than late on the first sound.
    Sound::Prime();
    logo.group = new (MM("PALETTEGROUP")) PaletteGroup();
    if (!logo.group->Open()) return false;
    logo.group->Add(logo.image, FALSE);
    logo.frameWidth = logo.image->GetWidth();
    logo.frameHeight = logo.image->GetHeight() / kLogoFrameCount;
    bool cut = true;
    for (int i = 0; i < kLogoFrameCount && cut; ++i) {
        const RECT rect{0, i * logo.frameHeight, logo.frameWidth, (i + 1) * logo.frameHeight};
        logo.frames[i] = new (MM("GRAPHIC")) Graphic(logo.image, &rect);
        cut = logo.frames[i]->IsLoaded() != FALSE;
    }
    logo.group->Close();
    return cut;
}

void Observe(int sound, bool play) {
    if (g_observer) g_observer(g_observerContext, sound, play);
}

void StopSounds(LOGO& logo) {
    for (Sound* sound : logo.sounds)
        if (sound) sound->Stop();
}

// Waits for the loader thread to return; afterwards nothing of it is left running.
void JoinLoader(LOGO& logo) {
    if (!logo.thread) return;
    WaitForSingleObject(logo.thread, INFINITE);
    CloseHandle(logo.thread);
    logo.thread = nullptr;
}

void ScheduleEnd(LOGO& logo, DWORD tick) {
    const auto left = static_cast<std::int32_t>(logo.endTick + kLogoHoldMs - tick);
    const DWORD remaining = left > 0 ? static_cast<DWORD>(left) : 0;
    logo.window->AddEvent(logo.window->GetCurrentFrame() + kLogoEndFrames +
                              remaining * kLogoFramesPerSecond / 1000,
                          kLogoFinished, 0);
}

DWORD WINAPI LoaderThread(LPVOID parameter) {
    LOGO& logo = *static_cast<LOGO*>(parameter);
    const bool ok = logo.loader(logo.context);
    const DWORD tick = GetTickCount();
    PostMessage(logo.hwnd, kLogoLoadedMessage, ok ? 1 : 0, static_cast<LPARAM>(tick));
    // Only now may simulated time move on: the message is already waiting.
    platform::clock::Release();
    return 0;
}

void StartLoader(LOGO& logo) {
    platform::clock::Hold();
    logo.loading = true;
    logo.thread = CreateThread(nullptr, 0, LoaderThread, &logo, 0, nullptr);
    if (logo.thread) return;
    // No thread to be had: the loader runs here, the frames wait for it.
    platform::clock::Release();
    logo.loading = false;
    const bool ok = logo.loader(logo.context);
    if (!logo.cancelled) logo.result = ok ? 1 : 0;
    ScheduleEnd(logo, GetTickCount());
}

LRESULT OnEvent(LOGO& logo, DWORD code, LPARAM parameter) {
    const bool known = parameter >= 1 && parameter <= kLogoSoundCount;
    Sound* sound = known ? logo.sounds[parameter - 1] : nullptr;
    switch (code) {
    case kLogoPlaySound:
        if (sound && !logo.cancelled) {
            sound->Play(FALSE);
            Observe(static_cast<int>(parameter), true);
        }
        break;
    case kLogoStopSound:
        if (sound && !logo.cancelled) {
            sound->Stop();
            Observe(static_cast<int>(parameter), false);
        }
        break;
    case kLogoAnimationOver:
        logo.endTick = GetTickCount();
        if (!logo.loader || logo.cancelled)
            ScheduleEnd(logo, logo.endTick);
        else
            StartLoader(logo);
        break;
    case kLogoFinished:
        logo.finished = true;
        break;
    }
    return 1;
}

void Cancel(LOGO& logo) {
    logo.cancelled = true;
    logo.result = 0;
    StopSounds(logo);
}

// The window is being destroyed under the splash: nothing more can be run on it.
void OnWindowGone(LOGO& logo) {
    Cancel(logo);
    JoinLoader(logo);
    logo.loading = false;
    logo.finished = true;
    // Deleted here while the window still stands, so that the record never points at it
    // freed; a window already gone has deleted it with the rest.
    if (AnimWindow::IsLive(logo.window)) MemDelete(logo.object, MM("ANIMOBJECT"));
    logo.object = nullptr;
    // Only the setting: the window's graphics are going anyway.
    SetDisplayPaletteGroup(logo.savedGroup);
    logo.borrowed = false;
    logo.windowGone = true;
}

LRESULT LogoCallback(AnimWindow* window, DWORD code, LPARAM parameter1, LPARAM parameter2) {
    LOGO* logo = g_logo;
    if (!logo || logo->window != window) return 1;
    switch (code) {
    case ANIMWND_BACKGROUND:
        window->FillBackground(RGB(0, 0, 0));
        break;
    case ANIMWND_EVENT:
        return OnEvent(*logo, static_cast<DWORD>(parameter1), parameter2);
    case ANIMWND_DESTROY: {
        // The window's owner hears of the end as it would have without the splash.
        const AnimWindowCallback owner = logo->savedCallback;
        OnWindowGone(*logo);
        if (owner) return owner(window, code, parameter1, parameter2);
        break;
    }
    default:
        break;
    }
    return 1;
}

bool IsPen(UINT message) {
    return message >= WM_MOUSEFIRST && message <= WM_MOUSEWHEEL;
}

LRESULT LogoHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LOGO* logo = g_logo;
    if (!logo || hwnd != logo->hwnd) return 0;
    if (message == kLogoLoadedMessage) {
        if (!logo->loading) return 1;
        logo->loading = false;
        if (!logo->cancelled) logo->result = wParam ? 1 : 0;
        ScheduleEnd(*logo, static_cast<DWORD>(lParam));
        return 1;
    }
    // The pen waits for the game; keys reach the game's commands, which know about the splash.
    return IsPen(message) ? 1 : 0;
}

void SetDisplayGroup(PaletteGroup* group) {
    if (Display* display = GetDisplay())
        display->SetPaletteGroup(group);
    else
        SetDisplayPaletteGroup(group);
}

void Borrow(LOGO& logo) {
    AnimWindow* window = logo.window;
    logo.savedGroup = GetDisplayPaletteGroup();
    SetDisplayGroup(logo.group);
    logo.savedCallback = window->GetCallback();
    logo.borrowed = true;
    window->SetCallback(LogoCallback);
    window->AddHook(LogoHook, HookValue(kHookAll, kLogoHookPriority));
    logo.savedFrameRate = window->GetFrameRate();
    window->SetFrameRate(kLogoFrameRate);
    window->FillBackground(RGB(0, 0, 0));
}

// Handler, hook, frame rate and palette group back as they were; once.
void GiveBack(LOGO& logo) {
    if (!logo.borrowed) return;
    logo.borrowed = false;
    AnimWindow* window = logo.window;
    if (!AnimWindow::IsLive(window)) return;
    window->RemoveHook(LogoHook);
    if (logo.object) {
        MemDelete(logo.object, MM("ANIMOBJECT"));
        logo.object = nullptr;
    }
    if (logo.savedFrameRate != 0) window->SetFrameRate(logo.savedFrameRate);
    SetDisplayGroup(logo.savedGroup);
    window->SetCallback(logo.savedCallback);
}

void Schedule(LOGO& logo) {
    AnimWindow* window = logo.window;
    const LONG x = (window->GetWidth() - logo.frameWidth) / 2;
    const LONG y = (window->GetHeight() - logo.frameHeight) / 2;
    logo.object =
        new (MM("ANIMOBJECT")) AnimObject(window, static_cast<Graphic*>(nullptr), kLogoLayer);
    logo.object->SetRect(RECT{x, y, x + logo.frameWidth, y + logo.frameHeight});

    const DWORD f = window->GetCurrentFrame() + 6;
    window->AddEvent(f, kLogoPlaySound, 1);
    for (DWORD i = 0; i <= 12; ++i)
        window->AddObjectEvent(f + i, logo.object, logo.frames[i], nullptr);
    window->AddEvent(f + 13, kLogoPlaySound, 2);
    window->AddEvent(f + 13, kLogoStopSound, 1);
    window->AddEvent(f + 26, kLogoPlaySound, 3);
    for (DWORD i = 13; i < kLogoFrameCount; ++i)
        window->AddObjectEvent(f + 26 + (i - 13) * 2, logo.object, logo.frames[i], nullptr);
    window->AddEvent(f + 40, kLogoAnimationOver, 0);
}

void FreeObjects(LOGO& logo) {
    GiveBack(logo);
    JoinLoader(logo);
    if (logo.object && !logo.windowGone && AnimWindow::IsLive(logo.window))
        MemDelete(logo.object, MM("ANIMOBJECT"));
    logo.object = nullptr;
    if (AnimWindow::IsLive(logo.window)) {
        for (Graphic* frame : logo.frames)
            if (frame) logo.window->RemoveGraphicEvents(frame);
    }
    for (int i = kLogoFrameCount; i-- > 0;) {
        MemDelete(logo.frames[i], MM("GRAPHIC"));
        logo.frames[i] = nullptr;
    }
    MemDelete(logo.image, MM("GRAPHIC"));
    logo.image = nullptr;
    if (logo.group) {
        if (GetDisplayPaletteGroup() == logo.group) SetDisplayGroup(logo.savedGroup);
        MemDelete(logo.group, MM("PALETTEGROUP"));
        logo.group = nullptr;
    }
    for (Sound*& sound : logo.sounds) {
        MemDelete(sound, MM("SOUND"));
        sound = nullptr;
    }
}

} // namespace

int RunLogo(AnimWindow* window, HINSTANCE instance, LogoLoader loader, void* context, bool keep) {
    // One at a time: a splash asked for while one plays would pull its pictures away under it.
    if (LogoRunning()) return 0;
    FreeLogo();
    if (!AnimWindow::IsLive(window)) return 0;
    auto* logo = new (MM("LOGO")) LOGO;
    g_logo = logo;
    logo->window = window;
    logo->hwnd = window->GetHandle();
    logo->instance = instance;
    logo->loader = loader;
    logo->context = context;
    if (!Load(*logo)) {
        FreeLogo();
        return 0;
    }

    window->Freeze();
    Borrow(*logo);
    Schedule(*logo);
    window->Unfreeze();

    while (!logo->finished && AnimWindow::IsLive(window))
        window->RunFrames(1);
    // A window that went without telling the splash (it had another handler by then).
    if (!logo->finished) OnWindowGone(*logo);

    const int result = logo->result;
    GiveBack(*logo);
    if (result == 0 || !keep) FreeLogo();
    return result;
}

bool LogoRunning() {
    return g_logo && !g_logo->finished;
}

void SkipLogo() {
    LOGO* logo = g_logo;
    if (!logo || logo->finished) return;
    Cancel(*logo);
    while (!logo->finished && AnimWindow::IsLive(logo->window))
        logo->window->RunFrames(1);
    if (!logo->finished) OnWindowGone(*logo);
    GiveBack(*logo);
}

void FreeLogo() {
    LOGO* logo = g_logo;
    if (!logo) return;
    FreeObjects(*logo);
    g_logo = nullptr;
    MemDelete(logo, MM("LOGO"));
}

void SetLogoSoundObserver(LogoSoundObserver observer, void* context) {
    g_observer = observer;
    g_observerContext = context;
}
