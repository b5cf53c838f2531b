// The computer opponent: a fixed-depth minimax search with alpha-beta cut-offs over the rules
// engine's move generator, scored by a static evaluation. The same position and strength always
// give the same move.
#pragma once

#include <atomic>
#include <cstdint>

#include "game/rules/board.h"

// Strengths "Low", "Medium" and "High" are search depths in plies.
constexpr int kMinStrength = 1;
constexpr int kMaxStrength = 3;

// Settings are stored unchecked; anything at or below Low plays Low, anything at or above High
// plays High, as the new-game dialog reads them.
int ClampStrength(int strength);

// Score constants, from the root player's point of view.
constexpr std::int32_t kWinScore = 100000;
constexpr std::int32_t kOpenWindow = 200001;

// Static score of state for rootSide (1 or 2): a decided game is +-kWinScore, otherwise the
// difference of goal, piece, row-weight and threat terms.
std::int32_t Evaluate(const GameState& state, int rootSide);

// What one search did, for the benchmark.
struct SearchStats {
    // Nodes entered by the search plus positions scored by the evaluation.
    std::uint64_t nodes = 0;
};

// The move chosen for the side to move of state at the given strength (clamped). False when no
// move was chosen: no legal move, or cancel was raised while searching. cancel may be null.
bool ChooseMove(const GameState& state, int strength, Square& from, Square& to,
                const std::atomic<bool>* cancel = nullptr, SearchStats* stats = nullptr);
