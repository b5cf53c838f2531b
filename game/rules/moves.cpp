#include "game/rules/moves.h"

#include <utility>

#include "foundation/memory.h"

MOVE* NewMove(Square from, Square to, const GameState& after) {
    return new (MM("MOVE")) MOVE{from, to, after};
}

void DeleteMove(MOVE* move) {
    MemDelete(move, MM("MOVE"));
}

MoveList::MoveList(MoveList&& other) noexcept : moves_(std::move(other.moves_)) {
    other.moves_.clear();
}

MoveList& MoveList::operator=(MoveList&& other) noexcept {
    if (this != &other) {
        Clear();
        moves_ = std::move(other.moves_);
        other.moves_.clear();
    }
    return *this;
}

void MoveList::Clear() {
    for (MOVE* move : moves_)
        DeleteMove(move);
    moves_.clear();
}

void MoveList::Append(MOVE* move) {
    moves_.push_back(move);
}

const MOVE* MoveList::Find(Square from, Square to) const {
    for (const MOVE* move : moves_)
        if (move->from == from && move->to == to) return move;
    return nullptr;
}

void GenerateMoves(const GameState& state, MoveList& list, bool tutorialMode) {
    list.Clear();
    if (state.turn != 1 && state.turn != 2) return;
    const bool player1 = state.turn == 1;
    const SideState& mover = state.sides[state.turn - 1];
    const SideState& opponent = state.sides[2 - state.turn];

    RowMask blocked[kBoardSize];
    FourthCorners(opponent.rows, blocked, kNoSquare);
    for (int r = 0; r < kBoardSize; ++r)
        blocked[r] |= mover.rows[r] | opponent.rows[r];

    const int lastRow = tutorialMode ? 4 : kBoardSize - 1;
    const int startRow = player1 ? (tutorialMode ? 3 : 8) : (tutorialMode ? 1 : 2);
    const int forward = player1 ? -1 : 1;

    auto tryAdd = [&](Square from, int row, int column) {
        if (row < 0 || row > lastRow || column < 0 || column >= kBoardSize) return false;
        if (blocked[row] & (1u << column)) return false;
        GameState after = state;
        const Square to = SquareAt(row, column);
        ApplyMove(after, from, to, kNoTime);
        list.Append(NewMove(from, to, after));
        return true;
    };

    for (int r = 0; r <= lastRow; ++r) {
        for (int c = kBoardSize - 1; c >= 0; --c) {
            if (!(mover.rows[r] & (1u << c))) continue;
            const Square from = SquareAt(r, c);
            tryAdd(from, r, c - 1);
            tryAdd(from, r, c + 1);
            const int f = r + forward;
            if (f < 0 || f > lastRow) continue;
            tryAdd(from, f, c - 1);
            tryAdd(from, f, c + 1);
            if (tryAdd(from, f, c) && r == startRow) tryAdd(from, f + forward, c);
        }
    }
}

std::uint32_t WinnerOf(const GameState& state) {
    const SideState& p1 = state.sides[0];
    const SideState& p2 = state.sides[1];
    if (p1.goalCount == 3) return 1;
    if (p1.pieceCount < 3) return 2;
    if (p2.goalCount == 3) return 2;
    if (p2.pieceCount < 3) return 1;
    return 0;
}
