// opponent_bench: the benchmark positions of "tessark-cli bench", searched by the shipped search
// and by the plain reference, each timed on the same positions, with a check that both choose
// the same moves. Run a release build: build/bin/opponent_bench [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "game/opponent/opponent.h"
#include "tests/game/opponent/reference_search.h"
#include "tools/cli/cli.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    std::vector<double> seconds; // per position, best of the rounds
    std::uint64_t nodes = 0;
    std::uint64_t signature = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

double Total(const std::vector<double>& v) {
    double t = 0;
    for (double s : v)
        t += s;
    return t;
}

template <typename Search>
Timing Time(const std::vector<GameState>& positions, int rounds, Search search) {
    Timing timing;
    timing.seconds.assign(positions.size(), 1e30);
    for (int round = 0; round < rounds; ++round) {
        timing.nodes = 0;
        timing.signature = 0;
        for (std::size_t i = 0; i < positions.size(); ++i) {
            Square from = 0, to = 0;
            std::uint64_t nodes = 0;
            const Clock::time_point begin = Clock::now();
            const bool chosen = search(positions[i], from, to, nodes);
            const double s = std::chrono::duration<double>(Clock::now() - begin).count();
            timing.seconds[i] = std::min(timing.seconds[i], s);
            timing.nodes += nodes;
            if (chosen) timing.signature += static_cast<std::uint64_t>(from) * kSquareCount + to;
        }
    }
    return timing;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<GameState> positions = BenchPositions();
    std::printf("%zu positions, best of %d rounds per position\n", positions.size(), rounds);
    bool same = true;
    for (int strength = kMinStrength; strength <= kMaxStrength; ++strength) {
        const Timing shipped =
            Time(positions, rounds, [&](const GameState& s, Square& f, Square& t, auto& nodes) {
                SearchStats stats;
                const bool chosen = ChooseMove(s, strength, f, t, nullptr, &stats);
                nodes = stats.nodes;
                return chosen;
            });
        const Timing plain =
            Time(positions, rounds, [&](const GameState& s, Square& f, Square& t, auto& nodes) {
                return reference::ChooseMove(s, strength, f, t, &nodes);
            });
        same = same && shipped.signature == plain.signature && shipped.nodes == plain.nodes;
        std::printf("strength %d: nodes %llu signature %llu%s\n", strength,
                    static_cast<unsigned long long>(shipped.nodes),
                    static_cast<unsigned long long>(shipped.signature),
                    shipped.signature == plain.signature && shipped.nodes == plain.nodes
                        ? ""
                        : " REFERENCE DIFFERS");
        std::printf("  shipped:   median %.3f ms slowest %.3f ms total %.3f ms\n",
                    Median(shipped.seconds) * 1e3,
                    *std::max_element(shipped.seconds.begin(), shipped.seconds.end()) * 1e3,
                    Total(shipped.seconds) * 1e3);
        std::printf("  reference: median %.3f ms slowest %.3f ms total %.3f ms\n",
                    Median(plain.seconds) * 1e3,
                    *std::max_element(plain.seconds.begin(), plain.seconds.end()) * 1e3,
                    Total(plain.seconds) * 1e3);
        std::printf("  speed-up:  %.1fx (total time)\n",
                    Total(plain.seconds) / std::max(Total(shipped.seconds), 1e-12));
    }
    return same ? 0 : 1;
}
