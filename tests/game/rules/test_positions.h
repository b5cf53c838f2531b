// Helpers for the rules tests: positions written as (row, column) lists, and independent
// brute-force versions of the rules to check the real ones against.
#pragma once

#include <initializer_list>
#include <random>
#include <set>
#include <utility>

#include "game/rules/board.h"

using Cell = std::pair<int, int>;

inline Square Sq(int row, int column) {
    return SquareAt(row, column);
}

inline GameState MakePosition(std::initializer_list<Cell> player1,
                              std::initializer_list<Cell> player2, std::uint32_t turn) {
    GameState state{};
    for (const Cell& c : player1)
        state.sides[0].rows[c.first] |= static_cast<RowMask>(1u << c.second);
    for (const Cell& c : player2)
        state.sides[1].rows[c.first] |= static_cast<RowMask>(1u << c.second);
    state.turn = turn;
    Recount(state);
    return state;
}

inline bool Holds(const RowMask rows[kBoardSize], int row, int column) {
    return (rows[row] >> column) & 1u;
}

// Squares X not held in rows that complete a rectangle of held squares, straight from the
// definition; with s given, only rectangles having s as a corner.
inline std::set<Square> BruteFourthCorners(const RowMask rows[kBoardSize], Square s) {
    std::set<Square> result;
    for (int xr = 0; xr < kBoardSize; ++xr)
        for (int xc = 0; xc < kBoardSize; ++xc) {
            if (Holds(rows, xr, xc)) continue;
            for (int r = 0; r < kBoardSize; ++r)
                for (int c = 0; c < kBoardSize; ++c) {
                    if (r == xr || c == xc) continue;
                    if (!Holds(rows, r, c) || !Holds(rows, r, xc) || !Holds(rows, xr, c)) continue;
                    if (s != kNoSquare && s != Sq(r, c) && s != Sq(r, xc) && s != Sq(xr, c) &&
                        s != Sq(xr, xc))
                        continue;
                    result.insert(Sq(xr, xc));
                }
        }
    return result;
}

inline std::set<Square> MaskSet(const RowMask rows[kBoardSize]) {
    std::set<Square> result;
    for (int r = 0; r < kBoardSize; ++r)
        for (int c = 0; c < 16; ++c)
            if ((rows[r] >> c) & 1u) result.insert(r * kBoardSize + c);
    return result;
}

// A random position with the given number of pieces per side on distinct squares.
inline GameState RandomPosition(std::mt19937& rng, int pieces1, int pieces2, std::uint32_t turn) {
    GameState state{};
    std::uniform_int_distribution<int> pick(0, kSquareCount - 1);
    for (int side = 0; side < 2; ++side) {
        int placed = 0;
        const int want = side == 0 ? pieces1 : pieces2;
        while (placed < want) {
            const Square s = pick(rng);
            if (SquareOwner(state, s) != 0) continue;
            state.sides[side].rows[RowOf(s)] |= static_cast<RowMask>(1u << ColumnOf(s));
            ++placed;
        }
    }
    state.turn = turn;
    Recount(state);
    return state;
}
