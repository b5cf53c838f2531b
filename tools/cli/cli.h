// tessark-cli: study positions from the command line. The whole run happens here, writing into
// buffers, so that a refused input prints one error line and nothing else; main only prints.
#pragma once

#include <cstdint>
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

// The benchmark's fixed positions: the start, player 2's openings, and midgames of games the
// computer plays against itself at Medium. The same on every run.
std::vector<GameState> BenchPositions();

struct BenchResult {
    std::size_t positions = 0;
    std::uint64_t nodes = 0;
    // Sum over positions of from * 121 + to (nothing for a position without a move).
    std::uint64_t signature = 0;
    double totalSeconds = 0;
    double medianSeconds = 0;
    double slowestSeconds = 0;
};

// Searches every position at the strength and times each search.
BenchResult RunBenchmark(const std::vector<GameState>& positions, int strength);

struct SelfPlayGame {
    // The moves as a saved-history text, nothing taken back: "n,from,to,...,0".
    std::string history;
    // 0 when unfinished: no legal move for the side to move, or the move limit reached.
    std::uint32_t winner = 0;
};

// Computer against computer from the start: strength1 plays player 1, strength2 player 2.
// Game 1 is the computer's own from the first move; game g > 1 opens with player 2's legal
// move number g - 2 in generation order (counted round), so that the games differ.
SelfPlayGame PlaySelfGame(int strength1, int strength2, std::uint32_t gameNumber);
