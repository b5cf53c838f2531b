// A game window as the game builds it (a main window holding the 240 x 294 animation window),
// with the real presentation loaded from the test program's resources, the real session,
// history and computer player, on a machine of its own and the simulated clock.
#pragma once

#include "engine/cea_main.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "game/shell/game.h"
#include "platform/clock.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

// The simulated clock at 1 s, then a visible 240 x 294 main window of class `className` (registered
// once with `proc`) holding the animation window 1005. Null when either cannot be made.
AnimWindow* CreateGameWindow(const TCHAR* className, WNDPROC proc, HWND& main);

class GameBoard : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    GamePresentation& P() { return game->presentation; }
    GameDisplay& Display() { return game->presentation.display; }
    Sequencer& Sequences() { return game->presentation.sequencer; }
    EventScheduler& Scheduler() { return game->presentation.scheduler; }
    GameSession& Session() { return game->session; }
    DWORD Now() const { return window->GetCurrentFrame(); }

    // Paints `n` frames one by one, as the frame loop does.
    void Frames(DWORD n);
    // Paints frames until the timeline is empty (at most `limit`).
    void RunOut(DWORD limit = 3000);
    // Shows `state` at once, without animation.
    void Show(const GameState& state) { Display().SynchronisePieces(state); }
    // The colour shown on the square (0 for none).
    int ShownColour(Square square);

    // ---- The pen, as the platform delivers it to the window under it (or the capture) ----
    void Pen(UINT message, POINT client);
    void Down(POINT p) { Pen(WM_LBUTTONDOWN, p); }
    void Move(POINT p) { Pen(WM_MOUSEMOVE, p); }
    void Up(POINT p) { Pen(WM_LBUTTONUP, p); }
    POINT Centre(Square square);
    // Where the pen goes so that a piece picked up at the middle of `from` is over `to`.
    POINT Over(Square from, Square to);
    // Picks the piece on `from` up at its square's middle, drags it over `to` and lifts.
    void DragPiece(Square from, Square to);

public:
    // Every play reaching the mixer, with its frame.
    std::vector<std::pair<DWORD, int>> plays;

    TempMachine machine;
    Settings settings;
    HWND main = nullptr;
    AnimWindow* window = nullptr;
    std::unique_ptr<GameContext> game;
};

// A position from a diagram of rows top first ('R' player 1, 'B' player 2), the lowest given
// row being row 0; `turn` moves next.
GameState PositionFromRows(const std::vector<const char*>& rows, std::uint32_t turn);
