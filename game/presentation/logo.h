// The logo splash: the maker's animated logo with its three sounds in the middle of the black
// game window, while a loading routine runs on a worker thread. It borrows the window for the
// time it runs (its own notification handler, 20 frames a second and its own palette group) and
// puts the window's settings back afterwards. One splash exists at a time.
#pragma once

#include "engine/cea_window.h"
#include "platform/base.h"

// Resources of type 4999 (zz blocks): the picture of 20 frames stacked top to bottom and the
// three sounds.
constexpr UINT kLogoImage = 5000;
constexpr UINT kLogoSoundFirst = 5001; // sounds 1 ... 3 are 5001 ... 5003
constexpr int kLogoSoundCount = 3;
constexpr int kLogoFrameCount = 20;
constexpr double kLogoFrameRate = 20.0;
constexpr LONG kLogoLayer = 1;

// Timeline event codes while the splash runs.
enum : DWORD {
    kLogoPlaySound = 1000,     // parameter: sound 1 ... 3
    kLogoStopSound = 1001,     // parameter: sound 1 ... 3
    kLogoAnimationOver = 1002, // the loading routine starts
    kLogoFinished = 1003,
};

// Runs on the worker thread once the animation is over; true when loading succeeded. It must
// not touch the window.
using LogoLoader = bool (*)(void* context);

// Loads the splash (all or nothing), plays it on `window` and runs the window's frames until it
// has finished: two seconds after the animation, or five frames after a slower loader. Returns
// the loader's result (1 without a loader), or 0 when the splash could not be loaded, was
// skipped or its window closed. The window's handler, frame rate and palette group are put
// back. With `keep` and a result of 1 the splash's pictures and sounds stay until FreeLogo or
// the next RunLogo.
int RunLogo(AnimWindow* window, HINSTANCE instance, LogoLoader loader, void* context, bool keep);
// True while a splash exists and has not finished (the board is not drawn meanwhile).
bool LogoRunning();
// Ends a running splash early with result 0: its sounds stop and its frames run out, so the
// loader, once started, has returned when this does.
void SkipLogo();
// Frees a splash kept by RunLogo.
void FreeLogo();

// Every sound the splash starts (play) or stops, as it reaches the mixer (tests).
using LogoSoundObserver = void (*)(void* context, int sound, bool play);
void SetLogoSoundObserver(LogoSoundObserver observer, void* context);
