// The host clock behind GetTickCount and the performance counter, and the simulated clock
// that headless runs use (TESSARK_CLOCK=sim): simulated time stands still until the window
// core advances it, so a scripted run gives the same result however fast the machine is.
#pragma once

#include "platform/types.h"

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    std::int64_t QuadPart;
};

// Milliseconds since the process started (wraps after 49.7 days, as on the platform).
DWORD GetTickCount();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

namespace platform::clock {

// True when TESSARK_CLOCK=sim was set at start-up (or SetSimulated(true) was called).
bool IsSimulated();
// Switches the clock mode; tests use it instead of the environment. Resets simulated time to 0.
void SetSimulated(bool simulated);
// Simulated time only: moves the clock forward to `ms` (never backward) / by `ms`.
void AdvanceTo(std::uint64_t ms);
void AdvanceBy(std::uint64_t ms);
// Milliseconds as a 64-bit count, real or simulated.
std::uint64_t NowMs();

// Simulated time only: work a thread does away from any message loop (a loader) takes no
// simulated time. While any hold is taken, a thread waiting for messages waits for posted ones
// and lets no timer fall due instead of jumping ahead. Holds count; each Hold needs a Release.
void Hold();
void Release();
bool Held();

} // namespace platform::clock
