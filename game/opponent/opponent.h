// The computer opponent: a fixed-depth minimax search with alpha-beta cut-offs over the rules
// engine's move generator, scored by a static evaluation. The same position and strength always
// give the same move.
#pragma once

#include <atomic>
#include <cstdint>

#include "game/rules/board.h"
#include "game/rules/session.h"
#include "platform/base.h"

// Strengths "Low", "Medium" and "High" are search depths in plies.
constexpr int kMinStrength = 1;
constexpr int kMaxStrength = 3;

// Settings are stored unchecked; anything at or below Low plays Low, anything at or above High
// plays High, as the new-game dialog reads them.
int ClampStrength(int strength);

// Score constants, from the root player's point of view.
constexpr std::int32_t kWinScore = 100000;
constexpr std::int32_t kOpenWindow = 200001;

// Static score of state for rootSide (1 or 2): a decided game is +-kWinScore, otherwise the
// difference of goal, piece, row-weight and threat terms.
std::int32_t Evaluate(const GameState& state, int rootSide);

// What one search did, for the benchmark.
struct SearchStats {
    // Nodes entered by the search plus positions scored by the evaluation.
    std::uint64_t nodes = 0;
};

// The move chosen for the side to move of state at the given strength (clamped). False when no
// move was chosen: no legal move, or cancel was raised while searching. cancel may be null.
bool ChooseMove(const GameState& state, int strength, Square& from, Square& to,
                const std::atomic<bool>* cancel = nullptr, SearchStats* stats = nullptr);

// ---------------------------------------------------------------------------------------------
// The computer player: one search at a time on its own thread, answering the main window with
// WM_COMPUTERMOVE (lParam = from | to << 16, 0 for no move). Every call but the search's own
// comes from the main thread.

// The strength the settings give each player's computer, read when a search starts.
class StrengthSettings {
public:
    virtual int StrengthOf(std::uint32_t player) const = 0;

protected:
    ~StrengthSettings() = default;
};

// At window start-up: answers go to window. False if already initialised or the event cannot
// be made.
bool InitComputerPlayer(HWND window, const StrengthSettings* settings);
// Waits for any earlier search, then searches state on a new thread. If the thread cannot be
// started the answer is "no move" at once.
void StartComputerMove(const GameState& state);
// A running search stops and posts nothing; an answer posted but not yet taken becomes stale.
void CancelComputerMove();
// Stops a running search and waits until its thread has ended.
void WaitForComputer();
// For the WM_COMPUTERMOVE handler: true exactly once for the answer of the latest search, and
// never for one made stale by a cancel or a newer search.
bool TakeComputerAnswer(LPARAM lParam);
// At window destruction.
void ShutdownComputerPlayer();

// How the search thread is started and the answer posted: CreateThread and PostMessage unless
// replaced (tests inject failures and gates here). A null member restores the default.
struct ComputerPlayerHooks {
    HANDLE (*startThread)(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
    BOOL (*post)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
void SetComputerPlayerHooks(const ComputerPlayerHooks& hooks);

// The game session's view of the computer player.
class ComputerPlayer final : public ComputerOpponent {
public:
    void StartSearch(const GameState& state) override;
    void RequestCancel() override;
    bool TakeAnswer(std::int64_t lParam) override;
};
