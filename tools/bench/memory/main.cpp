// Throughput of the memory manager for a mixed pattern of small blocks, against plain
// malloc/free running the very same sequence in the same process.
//
// The pattern keeps up to 4096 blocks live: each step picks a slot at random and frees the
// block there, or allocates one of a random small size (mostly under 256 bytes, some up to
// 4 KB) and touches its first byte. Prints operations per second for both and the ratio.
#include "foundation/memory.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t kSlots = 4096;

struct Step {
    std::uint32_t slot;
    std::uint32_t size;
};

std::vector<Step> MakePattern(std::size_t steps) {
    std::vector<Step> pattern(steps);
    std::uint32_t seed = 20261206u;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (Step& s : pattern) {
        s.slot = (next() >> 8) % kSlots;
        std::uint32_t r = (next() >> 8) % 100;
        if (r < 60)
            s.size = 8 + (next() >> 8) % 120;
        else if (r < 90)
            s.size = 128 + (next() >> 8) % 896;
        else
            s.size = 1024 + (next() >> 8) % 3072;
    }
    return pattern;
}

template <class Alloc, class Free>
double Run(const std::vector<Step>& pattern, Alloc alloc, Free release, unsigned long& check) {
    std::vector<void*> slots(kSlots, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (const Step& s : pattern) {
        void*& slot = slots[s.slot];
        if (slot) {
            check += *static_cast<unsigned char*>(slot);
            release(slot);
            slot = nullptr;
        } else {
            slot = alloc(s.size);
            *static_cast<unsigned char*>(slot) = static_cast<unsigned char>(s.size);
        }
    }
    for (void*& slot : slots)
        if (slot) release(slot);
    auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

} // namespace

int main(int argc, char** argv) {
    std::size_t steps = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000000;
    if (steps == 0) {
        std::fprintf(stderr, "usage: bench-memory [operations]\n");
        return 2;
    }
    std::vector<Step> pattern = MakePattern(steps);
    unsigned long check = 0;
    // A warm-up of each, so both start with their pools grown.
    Run(
        pattern, [](std::size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
        check);
    Run(
        pattern, [](std::size_t n) { return MemAlloc(n, MM("BENCH")); },
        [](void* p) { MemFree(p, MM("BENCH")); }, check);

    double system = Run(
        pattern, [](std::size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
        check);
    double ours = Run(
        pattern, [](std::size_t n) { return MemAlloc(n, MM("BENCH")); },
        [](void* p) { MemFree(p, MM("BENCH")); }, check);

    std::printf("mixed small blocks, %zu operations, up to %zu live (checksum %lu)\n", steps,
                kSlots, check);
    std::printf("malloc/free:    %8.2f M ops/s  (%.3f s)\n", steps / system / 1e6, system);
    std::printf("memory manager: %8.2f M ops/s  (%.3f s)\n", steps / ours / 1e6, ours);
    std::printf("ratio (memory manager time / malloc time): %.2f\n", ours / system);
    return MemExitCheck() == 0 ? 0 : 1;
}
