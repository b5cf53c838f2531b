#include "game/rules/board.h"

#include <cstring>

namespace {

constexpr std::uint8_t kNibbleBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

int LowestBit(RowMask mask) {
    for (int c = 0; c < kBoardSize; ++c)
        if (mask & (1u << c)) return c;
    return -1;
}

// The corner diagonally opposite `captured` in the first capturing rectangle found from row 0.
Square OppositeCorner(const SideState& mover, Square captured) {
    const int row = RowOf(captured);
    const RowMask columnBit = static_cast<RowMask>(1u << ColumnOf(captured));
    const RowMask rowHeld = mover.rows[row] & kFullRow;
    for (int r2 = 0; r2 < kBoardSize; ++r2) {
        const RowMask shared = mover.rows[r2] & rowHeld;
        if ((mover.rows[r2] & columnBit) && shared) return SquareAt(r2, LowestBit(shared));
    }
    return kNoSquare;
}

} // namespace

int CountRowBits(RowMask mask) {
    return kNibbleBits[(mask >> 8) & 0xF] + kNibbleBits[(mask >> 4) & 0xF] +
           kNibbleBits[mask & 0xF];
}

void StoreSideState(const SideState& side, std::uint8_t out[kStoredSideStateSize]) {
    for (int r = 0; r < kBoardSize; ++r)
        PutU16(out + 2 * r, side.rows[r]);
    PutU16(out + 22, 0);
    for (int r = 0; r < kBoardSize; ++r)
        PutU32(out + 24 + 4 * r, side.rowCount[r]);
    PutU32(out + 68, side.pieceCount);
    PutU32(out + 72, side.goalCount);
}

void LoadSideState(const std::uint8_t in[kStoredSideStateSize], SideState& side) {
    for (int r = 0; r < kBoardSize; ++r)
        side.rows[r] = GetU16(in + 2 * r);
    side.padding = 0;
    for (int r = 0; r < kBoardSize; ++r)
        side.rowCount[r] = GetU32(in + 24 + 4 * r);
    side.pieceCount = GetU32(in + 68);
    side.goalCount = GetU32(in + 72);
}

void StoreGameState(const GameState& state, std::uint8_t out[kStoredGameStateSize]) {
    StoreSideState(state.sides[0], out);
    StoreSideState(state.sides[1], out + kStoredSideStateSize);
    PutU32(out + 2 * kStoredSideStateSize, state.turn);
}

void LoadGameState(const std::uint8_t in[kStoredGameStateSize], GameState& state) {
    LoadSideState(in, state.sides[0]);
    LoadSideState(in + kStoredSideStateSize, state.sides[1]);
    state.turn = GetU32(in + 2 * kStoredSideStateSize);
}

bool operator==(const SideState& a, const SideState& b) {
    for (int r = 0; r < kBoardSize; ++r)
        if (a.rows[r] != b.rows[r] || a.rowCount[r] != b.rowCount[r]) return false;
    return a.pieceCount == b.pieceCount && a.goalCount == b.goalCount;
}

bool operator==(const GameState& a, const GameState& b) {
    return a.turn == b.turn && a.sides[0] == b.sides[0] && a.sides[1] == b.sides[1];
}

int SquareOwner(const GameState& state, Square square) {
    if (!IsSquare(square)) return 0;
    const RowMask bit = static_cast<RowMask>(1u << ColumnOf(square));
    if (state.sides[0].rows[RowOf(square)] & bit) return 1;
    if (state.sides[1].rows[RowOf(square)] & bit) return 2;
    return 0;
}

void InitStartPosition(GameState& state) {
    std::memset(&state, 0, sizeof state);
    state.turn = 2;
    state.sides[0].rows[8] = 0x3FE;
    state.sides[1].rows[2] = 0x3FE;
    Recount(state);
}

void Recount(GameState& state) {
    for (SideState& side : state.sides) {
        side.pieceCount = 0;
        side.goalCount = 0;
        for (int r = 0; r < kBoardSize; ++r) {
            side.rowCount[r] = 0;
            for (int c = 0; c < kBoardSize; ++c) {
                if (!(side.rows[r] & (1u << c))) continue;
                ++side.rowCount[r];
                ++side.pieceCount;
                if (IsGoalSquare(SquareAt(r, c))) ++side.goalCount;
            }
        }
    }
}

void SetSquareOwner(GameState& state, int column, int row, int owner) {
    if (column < 0 || column >= kBoardSize || row < 0 || row >= kBoardSize) return;
    const RowMask bit = static_cast<RowMask>(1u << column);
    const bool goal = IsGoalSquare(SquareAt(row, column));
    auto remove = [&](SideState& side) {
        side.rows[row] &= static_cast<RowMask>(~bit);
        --side.rowCount[row];
        --side.pieceCount;
        if (goal) --side.goalCount;
    };
    auto add = [&](SideState& side) {
        side.rows[row] |= bit;
        ++side.rowCount[row];
        ++side.pieceCount;
        if (goal) ++side.goalCount;
    };
    SideState& p1 = state.sides[0];
    SideState& p2 = state.sides[1];
    if ((p1.rows[row] & bit) && owner != 1) remove(p1);
    if ((p2.rows[row] & bit) && owner != 2) remove(p2);
    if (owner == 1 && !(p1.rows[row] & bit)) add(p1);
    if (owner == 2 && !(p2.rows[row] & bit)) add(p2);
}

void FourthCorners(const RowMask rows[kBoardSize], RowMask out[kBoardSize], Square square) {
    // Stray bits past column 10 (a tampered saved game) must not leak into square numbers.
    RowMask held[kBoardSize];
    for (int r = 0; r < kBoardSize; ++r) {
        held[r] = rows[r] & kFullRow;
        out[r] = 0;
    }
    const bool restricted = square != kNoSquare;
    if (restricted && !IsSquare(square)) return;
    const int squareRow = restricted ? RowOf(square) : -1;
    const int squareColumn = restricted ? ColumnOf(square) : -1;

    bool anyPairRow = false;
    RowMask seen = 0;
    RowMask pairColumns = 0;
    for (int r = 0; r < kBoardSize; ++r) {
        if (CountRowBits(held[r]) >= 2) anyPairRow = true;
        pairColumns |= held[r] & seen;
        seen |= held[r];
    }
    if (!anyPairRow || !pairColumns) return;

    for (int c = 0; c < kBoardSize; ++c) {
        if (!(pairColumns & (1u << c))) continue;
        int list[kBoardSize];
        int n = 0;
        for (int r = 0; r < kBoardSize; ++r)
            if (held[r] & (1u << c)) list[n++] = r;
        const RowMask columnMask = (!restricted || squareColumn == c)
                                       ? kFullRow
                                       : static_cast<RowMask>(1u << squareColumn);
        for (int i = 0; i < n; ++i) {
            const int r = list[i];
            if (CountRowBits(held[r]) < 2) continue;
            for (int j = 0; j < n; ++j) {
                const int r2 = list[j];
                if (j == i) continue;
                if (!restricted || squareRow == r || squareRow == r2)
                    out[r2] |= held[r] & columnMask;
            }
        }
    }
    for (int r = 0; r < kBoardSize; ++r)
        out[r] &= static_cast<RowMask>(~held[r]);
}

FrameTime ApplyMove(GameState& state, Square from, Square to, FrameTime startTime,
                    CaptureAnimator* animator) {
    // Corrupt input (a tampered history or saved game) must not index outside the position.
    if (!IsSquare(from) || !IsSquare(to) || (state.turn != 1 && state.turn != 2)) return startTime;
    const int mover = static_cast<int>(state.turn);
    SideState& own = state.sides[mover - 1];
    SideState& enemy = state.sides[2 - mover];

    SetSquareOwner(state, ColumnOf(from), RowOf(from), 0);
    SetSquareOwner(state, ColumnOf(to), RowOf(to), mover);

    // A square is converted once at most, so no level can outgrow the board.
    Square levels[2][kSquareCount];
    Square* current = levels[0];
    Square* next = levels[1];
    int currentCount = 1;
    current[0] = to;
    FrameTime time = startTime;
    while (currentCount > 0) {
        int nextCount = 0;
        for (int i = currentCount - 1; i >= 0; --i) {
            const FrameTime itemStart = time;
            FrameTime itemEnd = time;
            RowMask corners[kBoardSize];
            FourthCorners(own.rows, corners, current[i]);
            for (int r = 0; r < kBoardSize; ++r) {
                const RowMask captured = corners[r] & enemy.rows[r];
                for (int c = 0; c < kBoardSize; ++c) {
                    if (!(captured & (1u << c))) continue;
                    const Square x = SquareAt(r, c);
                    if (startTime != kNoTime && animator) {
                        Square corner = OppositeCorner(own, x);
                        if (corner == kNoSquare) corner = current[i];
                        const FrameTime end = animator->AnimateCapture(corner, x, itemStart);
                        if (end > itemEnd) itemEnd = end;
                    }
                    next[nextCount++] = x;
                    SetSquareOwner(state, c, r, mover);
                }
            }
            time = itemEnd;
        }
        Square* done = current;
        current = next;
        next = done;
        currentCount = nextCount;
    }
    state.turn = OtherPlayer(state.turn);
    return time;
}

bool IsConsistent(const GameState& state, int expectedTotal) {
    if (state.turn != 1 && state.turn != 2) return false;
    long total = 0;
    for (int r = 0; r < kBoardSize; ++r)
        if (state.sides[0].rows[r] & state.sides[1].rows[r]) return false;
    for (const SideState& side : state.sides) {
        std::uint32_t pieces = 0;
        std::uint32_t goals = 0;
        for (int r = 0; r < kBoardSize; ++r) {
            if (side.rows[r] & ~kFullRow) return false;
            const std::uint32_t inRow = static_cast<std::uint32_t>(CountRowBits(side.rows[r]));
            if (side.rowCount[r] != inRow) return false;
            pieces += inRow;
            for (int c = 0; c < kBoardSize; ++c)
                if ((side.rows[r] & (1u << c)) && IsGoalSquare(SquareAt(r, c))) ++goals;
        }
        if (side.pieceCount != pieces || side.goalCount != goals) return false;
        total += pieces;
    }
    return expectedTotal < 0 || total == expectedTotal;
}
