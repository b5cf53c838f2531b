// The door from the window core to the host: one table of entries per area, filled by a
// driver (the headless null driver by default; SDL2 for people). Entries left null keep the
// null behaviour. Also the way drivers and tests feed input into the queues.
#pragma once

#include "platform/user.h"

namespace platform::driver {

enum class WindowEvent { Created, Destroyed, Moved, Shown, Hidden, TextChanged, IconChanged };

struct ScreenOps {
    // The host screen in pixels.
    void (*size)(int* width, int* height);
    // A top-level window appeared, moved, changed visibility or went away.
    void (*windowEvent)(HWND hwnd, WindowEvent event);
    // The part of the screen that windows may use (screen coordinates); false means the
    // whole screen.
    bool (*workArea)(RECT* area);
};

struct InputOps {
    // Turns pending host events into injected input. A queue calls it before it blocks and
    // waits at most `maxWaitMs` for the host when the driver has no way to wake it.
    void (*poll)(DWORD maxWaitMs);
};

struct AudioOps {
    // Filled in by the wave-output layer.
    bool (*open)(DWORD sampleRate, WORD channels, WORD bitsPerSample);
    void (*close)();
};

struct TimeOps {
    // Called when a thread is about to jump the simulated clock to `ms`; the null driver's
    // script player uses it to run its own timed commands first.
    void (*beforeAdvance)(std::uint64_t ms);
};

struct Driver {
    const char* name;
    ScreenOps screen;
    InputOps input;
    AudioOps audio;
    TimeOps time;
};

// The installed driver; the null driver until another is installed.
const Driver& Current();
// Installs a driver (nullptr restores the null driver). Entries left null behave as null's.
void Install(const Driver* driver);
void ScreenSize(int* width, int* height);
// SPI_GETWORKAREA's answer: the driver's work area, else the whole screen.
RECT WorkArea();
void NotifyWindow(HWND hwnd, WindowEvent event);

// Pointer input at a screen position: goes to the capture window if there is one, otherwise
// to the deepest visible, enabled window under the point, with client coordinates in lParam.
// Moves the cursor. Returns the window that received it, or null.
HWND InjectMouse(UINT message, POINT screen, WPARAM keys);
// A key message for the focus window (or, without one, the top visible top-level window of
// this process). Tracks the key state used by TranslateMessage.
HWND InjectKey(UINT message, UINT virtualKey);
bool IsKeyDown(UINT virtualKey);

} // namespace platform::driver
