#include <vector>

#include "game/opponent/opponent.h"
#include "game/opponent/search_moves.h"
#include "game/rules/moves.h"

namespace {

constexpr std::int32_t kGoalScore = 5000;
constexpr std::int32_t kPieceScore = 100;

constexpr std::int32_t kRowWeights[2][kBoardSize] = {
    {30, 25, 20, 15, 7, 6, 5, 4, 3, 2, 1},
    {1, 2, 3, 4, 5, 6, 7, 10, 15, 16, 17},
};

// Set bits of every 11-bit row, without relying on a popcount instruction.
struct BitCounts {
    std::uint8_t of[kFullRow + 1];
    constexpr BitCounts() : of() {
        for (unsigned m = 1; m <= kFullRow; ++m)
            of[m] = static_cast<std::uint8_t>(of[m >> 1] + (m & 1));
    }
};
constexpr BitCounts kBitCounts;

// Score of one side; modular arithmetic keeps absurd stored counts well defined.
std::uint32_t SideScore(const SideState& side, int player) {
    RowMask threats[kBoardSize];
    AllFourthCorners(side.rows, threats);
    std::uint32_t score = kGoalScore * side.goalCount + kPieceScore * side.pieceCount;
    for (int r = 0; r < kBoardSize; ++r)
        score += side.rowCount[r] * static_cast<std::uint32_t>(kRowWeights[player - 1][r]) +
                 kBitCounts.of[threats[r]];
    return score;
}

std::int32_t WinScore(std::uint32_t winner, int rootSide) {
    return static_cast<int>(winner) == rootSide ? kWinScore : -kWinScore;
}

// One search, its move lists kept per level so that no node allocates once they have grown.
class Searcher {
public:
    Searcher(int maxDepth, int rootSide, const std::atomic<bool>* cancel)
        : maxDepth_(maxDepth), rootSide_(rootSide), cancel_(cancel) {}

    std::vector<SearchMove>& Level(int depth) { return levels_[depth]; }
    std::uint64_t nodes = 0;

    // The node at depth, in position, searches the moves held in Level(depth).
    bool Search(const GameState& position, int depth, int side, bool maximizing, std::int32_t alpha,
                std::int32_t beta, int& bestIndex, std::int32_t& bestScore) {
        if (!Enter(maximizing, bestIndex, bestScore)) return false;
        std::vector<SearchMove>& moves = levels_[depth];
        if (depth > 1) OrderSearchMoves(moves, maximizing == (side == 2));
        Examine(position, depth, side, maximizing, alpha, beta, bestIndex, bestScore,
                static_cast<int>(moves.size()),
                [&](int i) -> const GameState& { return moves[i].after; });
        return !Cancelled() && bestIndex != -1;
    }

    // A node at the depth limit below the root, its moves held in leaf_: each move's position
    // is made only when the move is scored.
    bool SearchLeaf(const GameState& position, int depth, int side, bool maximizing,
                    std::int32_t alpha, std::int32_t beta, int& bestIndex,
                    std::int32_t& bestScore) {
        if (!Enter(maximizing, bestIndex, bestScore)) return false;
        OrderLeafMoves(leaf_, maximizing == (side == 2));
        GameState after;
        Examine(position, depth, side, maximizing, alpha, beta, bestIndex, bestScore,
                static_cast<int>(leaf_.size()), [&](int i) -> const GameState& {
                    after = position;
                    ApplySearchMove(after, leaf_[i].from, leaf_[i].to);
                    return after;
                });
        return !Cancelled() && bestIndex != -1;
    }

private:
    bool Enter(bool maximizing, int& bestIndex, std::int32_t& bestScore) {
        ++nodes;
        bestIndex = -1;
        bestScore = maximizing ? -kOpenWindow : kOpenWindow;
        return !Cancelled();
    }

    // The loop over a node's moves in list order; afterOf(i) gives the position after move i.
    template <typename AfterOf>
    void Examine(const GameState& position, int depth, int side, bool maximizing,
                 std::int32_t alpha, std::int32_t beta, int& bestIndex, std::int32_t& bestScore,
                 int count, AfterOf afterOf) {
        const int childSide = side == 1 ? 2 : 1;
        // A move changes the other side only by capturing, which lowers its piece count; its
        // half of the evaluation is then shared by every quiet move here.
        const SideState& otherBefore = position.sides[childSide - 1];
        bool haveOtherScore = false;
        std::uint32_t otherScore = 0;
        for (int i = 0; i < count; ++i) {
            const GameState& after = afterOf(i);
            std::int32_t score;
            if (const std::uint32_t w = WinnerOf(after); w != 0) {
                score = WinScore(w, rootSide_);
            } else if (depth == maxDepth_) {
                ++nodes;
                const SideState& other = after.sides[childSide - 1];
                std::uint32_t otherPart;
                if (other.pieceCount != otherBefore.pieceCount) {
                    otherPart = SideScore(other, childSide);
                } else {
                    if (!haveOtherScore) {
                        otherScore = SideScore(otherBefore, childSide);
                        haveOtherScore = true;
                    }
                    otherPart = otherScore;
                }
                const std::uint32_t ownPart = SideScore(after.sides[side - 1], side);
                score = static_cast<std::int32_t>(side == rootSide_ ? ownPart - otherPart
                                                                    : otherPart - ownPart);
            } else {
                int childIndex;
                std::int32_t childScore;
                // The child's window is only this node's best so far.
                const std::int32_t childAlpha = maximizing ? bestScore : -kOpenWindow;
                const std::int32_t childBeta = maximizing ? kOpenWindow : bestScore;
                bool ok;
                if (depth + 1 == maxDepth_) {
                    GenerateLeafMoves(after, leaf_);
                    ok = SearchLeaf(after, depth + 1, childSide, !maximizing, childAlpha, childBeta,
                                    childIndex, childScore);
                } else {
                    GenerateSearchMoves(after, levels_[depth + 1]);
                    ok = Search(after, depth + 1, childSide, !maximizing, childAlpha, childBeta,
                                childIndex, childScore);
                }
                if (!ok) break;
                score = childScore;
            }
            score = maximizing ? score - depth : score + depth;
            if (bestIndex == -1 || (maximizing ? score > bestScore : score < bestScore)) {
                bestScore = score;
                bestIndex = i;
                if (bestScore <= alpha || bestScore >= beta) break;
            }
        }
    }

    bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    int maxDepth_;
    int rootSide_;
    const std::atomic<bool>* cancel_;
    std::vector<SearchMove> levels_[kMaxStrength + 2];
    std::vector<LeafMove> leaf_;
};

} // namespace

int ClampStrength(int strength) {
    return strength < kMinStrength ? kMinStrength
                                   : (strength > kMaxStrength ? kMaxStrength : strength);
}

std::int32_t Evaluate(const GameState& state, int rootSide) {
    if (const std::uint32_t w = WinnerOf(state); w != 0) return WinScore(w, rootSide);
    const std::uint32_t one = SideScore(state.sides[0], 1);
    const std::uint32_t two = SideScore(state.sides[1], 2);
    return static_cast<std::int32_t>(rootSide == 1 ? one - two : two - one);
}

bool ChooseMove(const GameState& state, int strength, Square& from, Square& to,
                const std::atomic<bool>* cancel, SearchStats* stats) {
    const int side = static_cast<int>(state.turn);
    Searcher searcher(ClampStrength(strength), side, cancel);
    std::vector<SearchMove>& root = searcher.Level(1);
    GenerateSearchMoves(state, root);
    int chosen = -1;
    if (root.size() == 1) {
        chosen = 0;
    } else {
        int bestIndex;
        std::int32_t bestScore;
        if (searcher.Search(state, 1, side, true, -kOpenWindow, kOpenWindow, bestIndex, bestScore))
            chosen = bestIndex;
    }
    if (stats) stats->nodes = searcher.nodes;
    if (chosen < 0) return false;
    from = root[static_cast<std::size_t>(chosen)].from;
    to = root[static_cast<std::size_t>(chosen)].to;
    return true;
}
