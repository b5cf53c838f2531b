#include "game/opponent/search_moves.h"

#include <bit>
#include <utility>

namespace {

// SetSquareOwner's bookkeeping, without its range checks: callers pass on-board squares.
void Take(SideState& side, int row, RowMask bit, bool goal) {
    side.rows[row] &= static_cast<RowMask>(~bit);
    --side.rowCount[row];
    --side.pieceCount;
    if (goal) --side.goalCount;
}

void Give(SideState& side, int row, RowMask bit, bool goal) {
    side.rows[row] |= bit;
    ++side.rowCount[row];
    ++side.pieceCount;
    if (goal) ++side.goalCount;
}

void SetOwner(GameState& state, Square square, int owner) {
    const int row = RowOf(square);
    const RowMask bit = static_cast<RowMask>(1u << ColumnOf(square));
    const bool goal = IsGoalSquare(square);
    SideState& p1 = state.sides[0];
    SideState& p2 = state.sides[1];
    if ((p1.rows[row] & bit) && owner != 1) Take(p1, row, bit, goal);
    if ((p2.rows[row] & bit) && owner != 2) Take(p2, row, bit, goal);
    if (owner == 1 && !(p1.rows[row] & bit)) Give(p1, row, bit, goal);
    if (owner == 2 && !(p2.rows[row] & bit)) Give(p2, row, bit, goal);
}

} // namespace

void AllFourthCorners(const RowMask rows[kBoardSize], RowMask out[kBoardSize]) {
    RowMask held[kBoardSize];
    for (int r = 0; r < kBoardSize; ++r)
        held[r] = rows[r] & kFullRow;
    // A row gains every column of each other row it shares a column with: the shared column
    // gives two corners in each row, so the other row's columns it lacks are fourth corners.
    // The union per column includes the row itself, which the final mask takes out again.
    RowMask columnUnion[kBoardSize] = {};
    for (int r = 0; r < kBoardSize; ++r)
        for (unsigned bits = held[r]; bits; bits &= bits - 1)
            columnUnion[std::countr_zero(bits)] |= held[r];
    for (int x = 0; x < kBoardSize; ++x) {
        RowMask gained = 0;
        for (unsigned bits = held[x]; bits; bits &= bits - 1)
            gained |= columnUnion[std::countr_zero(bits)];
        out[x] = gained & static_cast<RowMask>(~held[x]);
    }
}

void FourthCornersAt(const RowMask rows[kBoardSize], Square square, RowMask out[kBoardSize]) {
    const int sr = RowOf(square);
    const RowMask sbit = static_cast<RowMask>(1u << ColumnOf(square));
    const RowMask rowOfSquare = rows[sr] & kFullRow;
    const RowMask otherColumns = rowOfSquare & static_cast<RowMask>(~sbit);
    RowMask sameRow = 0;
    for (int r = 0; r < kBoardSize; ++r) {
        const RowMask held = rows[r] & kFullRow;
        RowMask gained = 0;
        if (r != sr) {
            // The corner opposite the square, and the corner in the square's own row.
            if (held & sbit) {
                gained = rowOfSquare;
                sameRow |= held;
            }
            // The corner in the square's own column.
            if (held & otherColumns) gained |= sbit;
        }
        out[r] = gained & static_cast<RowMask>(~held);
    }
    out[sr] = sameRow & static_cast<RowMask>(~rowOfSquare);
}

bool CapturesAt(const RowMask own[kBoardSize], const RowMask enemy[kBoardSize], Square square) {
    // FourthCornersAt(own, square) meets enemy, without building the whole set.
    const int sr = RowOf(square);
    const RowMask sbit = static_cast<RowMask>(1u << ColumnOf(square));
    const RowMask rowOfSquare = own[sr] & kFullRow;
    const RowMask otherColumns = rowOfSquare & static_cast<RowMask>(~sbit);
    const RowMask enemyInRow = enemy[sr] & static_cast<RowMask>(~rowOfSquare);
    for (int r = 0; r < kBoardSize; ++r) {
        const RowMask held = own[r] & kFullRow;
        if (r == sr || !held) continue;
        const RowMask open = enemy[r] & static_cast<RowMask>(~held);
        if (held & sbit) {
            if ((rowOfSquare & open) || (held & enemyInRow)) return true;
        }
        if ((held & otherColumns) && (sbit & open)) return true;
    }
    return false;
}

void ApplySearchMove(GameState& state, Square from, Square to) {
    const int mover = static_cast<int>(state.turn);
    SideState& own = state.sides[mover - 1];
    SideState& enemy = state.sides[2 - mover];
    SetOwner(state, from, 0);
    SetOwner(state, to, mover);

    if (!CapturesAt(own.rows, enemy.rows, to)) {
        state.turn = OtherPlayer(state.turn);
        return;
    }

    Square levels[2][kSquareCount];
    Square* current = levels[0];
    Square* next = levels[1];
    int currentCount = 1;
    current[0] = to;
    while (currentCount > 0) {
        int nextCount = 0;
        for (int i = currentCount - 1; i >= 0; --i) {
            RowMask corners[kBoardSize];
            FourthCornersAt(own.rows, current[i], corners);
            for (int r = 0; r < kBoardSize; ++r) {
                const RowMask captured = corners[r] & enemy.rows[r];
                if (!captured) continue;
                for (int c = 0; c < kBoardSize; ++c) {
                    if (!(captured & (1u << c))) continue;
                    const Square x = SquareAt(r, c);
                    next[nextCount++] = x;
                    SetOwner(state, x, mover);
                }
            }
        }
        std::swap(current, next);
        currentCount = nextCount;
    }
    state.turn = OtherPlayer(state.turn);
}

namespace {

// Calls add(from, to) for every legal move of the side to move, in generation order.
template <typename Add>
void ForEachMove(const GameState& state, Add add) {
    if (state.turn != 1 && state.turn != 2) return;
    const bool player1 = state.turn == 1;
    const SideState& mover = state.sides[state.turn - 1];
    const SideState& opponent = state.sides[2 - state.turn];

    RowMask blocked[kBoardSize];
    AllFourthCorners(opponent.rows, blocked);
    for (int r = 0; r < kBoardSize; ++r)
        blocked[r] |= mover.rows[r] | opponent.rows[r];

    const int startRow = player1 ? 8 : 2;
    const int forward = player1 ? -1 : 1;
    auto tryAdd = [&](Square from, int row, int column) {
        if (row < 0 || row >= kBoardSize || column < 0 || column >= kBoardSize) return false;
        if (blocked[row] & (1u << column)) return false;
        add(from, SquareAt(row, column));
        return true;
    };
    for (int r = 0; r < kBoardSize; ++r) {
        if (!(mover.rows[r] & kFullRow)) continue;
        for (int c = kBoardSize - 1; c >= 0; --c) {
            if (!(mover.rows[r] & (1u << c))) continue;
            const Square from = SquareAt(r, c);
            tryAdd(from, r, c - 1);
            tryAdd(from, r, c + 1);
            const int f = r + forward;
            if (f < 0 || f >= kBoardSize) continue;
            tryAdd(from, f, c - 1);
            tryAdd(from, f, c + 1);
            if (tryAdd(from, f, c) && r == startRow) tryAdd(from, f + forward, c);
        }
    }
}

template <typename Move, typename Key>
void OrderByKey(std::vector<Move>& moves, bool preferMore, Key key) {
    if (moves.empty()) return;
    std::size_t best = 0;
    std::uint32_t bestKey = key(moves[0]);
    for (std::size_t i = 1; i < moves.size(); ++i) {
        const std::uint32_t k = key(moves[i]);
        if (preferMore ? k > bestKey : k < bestKey) {
            best = i;
            bestKey = k;
        }
    }
    if (best != 0) std::swap(moves[0], moves[best]);
}

} // namespace

void GenerateSearchMoves(const GameState& state, std::vector<SearchMove>& moves) {
    moves.clear();
    ForEachMove(state, [&](Square from, Square to) {
        moves.push_back(SearchMove{from, to, state});
        ApplySearchMove(moves.back().after, from, to);
    });
}

void GenerateLeafMoves(const GameState& state, std::vector<LeafMove>& moves) {
    moves.clear();
    const SideState& enemy = state.sides[2 - state.turn];
    ForEachMove(state, [&](Square from, Square to) {
        // Most moves capture nothing and leave player 2's count as it is; only a capture needs
        // the whole cascade to know it.
        RowMask own[kBoardSize];
        const SideState& mover = state.sides[state.turn - 1];
        for (int r = 0; r < kBoardSize; ++r)
            own[r] = mover.rows[r];
        own[RowOf(from)] &= static_cast<RowMask>(~(1u << ColumnOf(from)));
        own[RowOf(to)] |= static_cast<RowMask>(1u << ColumnOf(to));
        std::uint32_t key = state.sides[1].pieceCount;
        if (CapturesAt(own, enemy.rows, to)) {
            GameState after = state;
            ApplySearchMove(after, from, to);
            key = after.sides[1].pieceCount;
        }
        moves.push_back(LeafMove{from, to, key});
    });
}

void OrderSearchMoves(std::vector<SearchMove>& moves, bool preferMore) {
    OrderByKey(moves, preferMore, [](const SearchMove& m) { return m.after.sides[1].pieceCount; });
}

void OrderLeafMoves(std::vector<LeafMove>& moves, bool preferMore) {
    OrderByKey(moves, preferMore, [](const LeafMove& m) { return m.player2Pieces; });
}
