// tessark-cli: study positions from the command line. The whole run happens here, writing into
// buffers, so that a refused input prints one error line and nothing else; main only prints.
#pragma once

#include <string>
#include <vector>

#include "game/rules/board.h"

// Exit codes of the tool.
constexpr int kCliOk = 0;
constexpr int kCliBadInput = 2;

// Runs one command line (without the program name). On success `out` holds everything for
// stdout; otherwise `err` holds one line for stderr and `out` is empty.
int RunCli(const std::vector<std::string>& args, std::string& out, std::string& err);

// The saved-history text "n,from,to,...,m,from,to,...": the done moves are applied to the
// starting position, the redo part is checked and ignored. False with a message when malformed.
bool PositionFromHistory(const std::string& text, GameState& state, std::string& error);

// A board diagram: 11 lines of 11 characters, row 10 first (R player 1, B player 2, . empty),
// then "turn 1" or "turn 2".
bool PositionFromDiagram(const std::string& text, GameState& state, std::string& error);

// The diagram lines, then turn, pieces, goals and winner lines.
std::string FormatPosition(const GameState& state);

// A square number 0 to 120 in plain decimal.
bool ParseSquare(const std::string& text, Square& square);
