#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// The performance counter ticks in microseconds; its frequency fits in the 32 bits that
// callers divide by.
constexpr std::int64_t kCounterFrequency = 1000000;

const auto g_start = std::chrono::steady_clock::now();

bool SimulatedFromEnvironment() {
    const char* mode = std::getenv("TESSARK_CLOCK");
    return mode != nullptr && std::strcmp(mode, "sim") == 0;
}

std::atomic<bool> g_simulated{SimulatedFromEnvironment()};
// Simulated time in microseconds.
std::atomic<std::uint64_t> g_simulatedUs{0};
std::atomic<int> g_holds{0};

std::uint64_t NowUs() {
    if (g_simulated.load(std::memory_order_acquire)) {
        return g_simulatedUs.load(std::memory_order_acquire);
    }
    auto elapsed = std::chrono::steady_clock::now() - g_start;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

} // namespace

namespace platform::clock {

bool IsSimulated() {
    return g_simulated.load(std::memory_order_acquire);
}

void SetSimulated(bool simulated) {
    g_simulatedUs.store(0, std::memory_order_release);
    g_simulated.store(simulated, std::memory_order_release);
}

void AdvanceTo(std::uint64_t ms) {
    std::uint64_t target = ms * 1000;
    std::uint64_t current = g_simulatedUs.load(std::memory_order_acquire);
    while (current < target &&
           !g_simulatedUs.compare_exchange_weak(current, target, std::memory_order_acq_rel)) {
    }
}

void AdvanceBy(std::uint64_t ms) {
    g_simulatedUs.fetch_add(ms * 1000, std::memory_order_acq_rel);
}

std::uint64_t NowMs() {
    return NowUs() / 1000;
}

void Hold() {
    g_holds.fetch_add(1, std::memory_order_acq_rel);
}

void Release() {
    int holds = g_holds.load(std::memory_order_acquire);
    while (holds > 0 &&
           !g_holds.compare_exchange_weak(holds, holds - 1, std::memory_order_acq_rel)) {
    }
}

bool Held() {
    return g_holds.load(std::memory_order_acquire) > 0;
}

} // namespace platform::clock

DWORD GetTickCount() {
    return static_cast<DWORD>(platform::clock::NowMs());
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    count->QuadPart = static_cast<std::int64_t>(NowUs());
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = kCounterFrequency;
    return TRUE;
}
