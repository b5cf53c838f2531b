// The search's own copies of the rules' hot paths, on flat reusable arrays instead of owned
// MOVE records. Each must give exactly what its rules counterpart gives; the tests hold them to
// it. Private to the opponent module.
#pragma once

#include <vector>

#include "game/rules/board.h"

struct SearchMove {
    Square from;
    Square to;
    GameState after;
};

// A move of a node whose moves are only scored, never searched further: its outcome is worked
// out again when it is scored, which a cut-off often spares.
struct LeafMove {
    Square from;
    Square to;
    // Player 2's piece count after the move, the ordering key.
    std::uint32_t player2Pieces;
};

// FourthCorners(rows, out, kNoSquare).
void AllFourthCorners(const RowMask rows[kBoardSize], RowMask out[kBoardSize]);

// FourthCorners(rows, out, square) for a square held in rows.
void FourthCornersAt(const RowMask rows[kBoardSize], Square square, RowMask out[kBoardSize]);

// True when FourthCornersAt(own, square) holds a square of enemy.
bool CapturesAt(const RowMask own[kBoardSize], const RowMask enemy[kBoardSize], Square square);

// ApplyMove(state, from, to, kNoTime) for on-board squares and a turn of 1 or 2.
void ApplySearchMove(GameState& state, Square from, Square to);

// GenerateMoves(state, list) outside tutorial mode, in the same order.
void GenerateSearchMoves(const GameState& state, std::vector<SearchMove>& moves);

// The moves of GenerateSearchMoves, without their positions.
void GenerateLeafMoves(const GameState& state, std::vector<LeafMove>& moves);

// Brings the first move with the most (preferMore) or fewest player 2 pieces after it to the
// front by exchange; nothing else moves.
void OrderSearchMoves(std::vector<SearchMove>& moves, bool preferMore);
void OrderLeafMoves(std::vector<LeafMove>& moves, bool preferMore);
