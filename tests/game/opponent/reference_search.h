// The computer opponent written out step by step from its description, on the rules engine's
// own MoveList, FourthCorners and ApplyMove, with nothing made faster. The shipped search must
// choose exactly what this chooses and visit exactly as many nodes.
#pragma once

#include <cstdint>
#include <vector>

#include "game/rules/board.h"
#include "game/rules/moves.h"

namespace reference {

struct SearchParams {
    int depth;
    int maxDepth;
    int side;
    bool maximizing;
    std::int32_t alpha;
    std::int32_t beta;
    int bestIndex;
    std::int32_t bestScore;
    std::vector<MOVE> moves;
    int rootSide;
};

inline std::vector<MOVE> Generate(const GameState& state) {
    MoveList list;
    GenerateMoves(state, list);
    std::vector<MOVE> moves;
    for (const MOVE& m : list)
        moves.push_back(m);
    return moves;
}

inline std::int32_t Evaluate(const GameState& state, int rootSide) {
    static const std::int32_t weights[2][kBoardSize] = {
        {30, 25, 20, 15, 7, 6, 5, 4, 3, 2, 1},
        {1, 2, 3, 4, 5, 6, 7, 10, 15, 16, 17},
    };
    const std::uint32_t w = WinnerOf(state);
    if (w != 0) return static_cast<int>(w) == rootSide ? 100000 : -100000;
    std::int64_t score[2];
    for (int p = 0; p < 2; ++p) {
        const SideState& side = state.sides[p];
        RowMask threat[kBoardSize];
        FourthCorners(side.rows, threat, -1);
        std::int64_t s = 5000LL * side.goalCount + 100LL * side.pieceCount;
        for (int r = 0; r < kBoardSize; ++r) {
            int inRow = 0;
            for (int c = 0; c < kBoardSize; ++c)
                if (threat[r] & (1u << c)) ++inRow;
            s += static_cast<std::int64_t>(side.rowCount[r]) * weights[p][r] + inRow;
        }
        score[p] = s;
    }
    const std::int64_t diff = rootSide == 1 ? score[0] - score[1] : score[1] - score[0];
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(diff));
}

inline void OrderMoves(std::vector<MOVE>& list, bool preferMore) {
    if (list.empty()) return;
    std::size_t pick = 0;
    for (std::size_t i = 1; i < list.size(); ++i) {
        const std::uint32_t key = list[i].after.sides[1].pieceCount;
        const std::uint32_t best = list[pick].after.sides[1].pieceCount;
        if (preferMore ? key > best : key < best) pick = i;
    }
    if (pick != 0) std::swap(list[0], list[pick]);
}

struct Counter {
    std::uint64_t nodes = 0;
};

inline bool Search(SearchParams& P, Counter& counter) {
    ++counter.nodes;
    P.bestIndex = -1;
    P.bestScore = P.maximizing ? -200001 : 200001;
    SearchParams child{P.depth + 1, P.maxDepth, P.side == 1 ? 2 : 1, !P.maximizing, 0, 0,
                       -1,          0,          std::vector<MOVE>(), P.rootSide};
    if (P.depth > 1) reference::OrderMoves(P.moves, P.maximizing == (P.side == 2));
    for (std::size_t i = 0; i < P.moves.size(); ++i) {
        const MOVE& M = P.moves[i];
        std::int32_t score;
        const std::uint32_t w = WinnerOf(M.after);
        if (w != 0) {
            score = static_cast<int>(w) == P.rootSide ? 100000 : -100000;
        } else if (P.depth == P.maxDepth) {
            ++counter.nodes;
            score = reference::Evaluate(M.after, P.rootSide);
        } else {
            child.moves = Generate(M.after);
            if (child.maximizing) {
                child.alpha = -200001;
                child.beta = P.bestScore;
            } else {
                child.alpha = P.bestScore;
                child.beta = 200001;
            }
            if (!reference::Search(child, counter)) break;
            score = child.bestScore;
        }
        if (P.maximizing)
            score -= P.depth;
        else
            score += P.depth;
        if (P.bestIndex == -1 || (P.maximizing && score > P.bestScore) ||
            (!P.maximizing && score < P.bestScore)) {
            P.bestScore = score;
            P.bestIndex = static_cast<int>(i);
            if (P.bestScore <= P.alpha || P.bestScore >= P.beta) break;
        }
    }
    return P.bestIndex != -1;
}

// Returns false when no move is chosen; strength is taken as given (1 to 3).
inline bool ChooseMove(const GameState& state, int strength, Square& from, Square& to,
                       std::uint64_t* nodes = nullptr) {
    const int turn = static_cast<int>(state.turn);
    SearchParams root{1, strength, turn, true, -200001, 200001, -1, 0, Generate(state), turn};
    Counter counter;
    int chosen = -1;
    if (root.moves.size() == 1) {
        chosen = 0;
    } else if (reference::Search(root, counter)) {
        chosen = root.bestIndex;
    }
    if (nodes) *nodes = counter.nodes;
    if (chosen < 0) return false;
    from = root.moves[static_cast<std::size_t>(chosen)].from;
    to = root.moves[static_cast<std::size_t>(chosen)].to;
    return true;
}

} // namespace reference
