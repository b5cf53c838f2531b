// tessark-cli game: the game in a terminal, through the real session, move history, settings
// and registry. Timeline events are carried out at once instead of being animated; the game is
// saved after every turn and resumed on the next start, as the game program does.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "game/rules/board.h"

// Picks the computer's move for the side to move at a strength of 1 to 3; false when there is
// none. The seam where the computer opponent's search plugs in.
using MoveChooser = bool (*)(const GameState& state, std::uint32_t strength, Square& from,
                             Square& to);

// The computer opponent's search at the given strength.
bool SearchMove(const GameState& state, std::uint32_t strength, Square& from, Square& to);
// The first legal move: a cheap, predictable stand-in for tests of the terminal itself.
bool FirstLegalMove(const GameState& state, std::uint32_t strength, Square& from, Square& to);

// Runs the game on `in` and `out` until "q" or the end of the input. args are the words after
// "game": --player1 / --player2 human|low|medium|high change the saved settings first.
// Returns the tool's exit code; a bad option writes one line to `err`.
int RunGame(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, MoveChooser chooser = SearchMove);
