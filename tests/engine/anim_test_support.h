// Helpers of the animation window and display object tests: the engine started once, a
// simulated clock, a 240 x 294 window like the game's, pixel checks in colours every depth
// keeps exactly.
#pragma once

#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_window.h"
#include "platform/clock.h"

#include <gtest/gtest.h>
#include <vector>

// Colours whose components are 0 or 248, exact in 5-5-5 pixels as well.
constexpr COLORREF kRed = RGB(248, 0, 0);
constexpr COLORREF kGreen = RGB(0, 248, 0);
constexpr COLORREF kBlue = RGB(0, 0, 248);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(248, 248, 248);

class AnimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A visible top-level window of class "AnimWindow"; destroyed in TearDown if still there.
    HWND MakeWindow(LONG width = 240, LONG height = 294, const TCHAR* cls = TEXT("AnimWindow"));
    AnimWindow* MakeAnim(LONG width = 240, LONG height = 294);
    // Runs the thread's queue dry.
    static void Pump();
    static COLORREF WindowPixel(HWND hwnd, int x, int y);
    // A blank graphic of the display's depth filled with one colour.
    static Graphic* Solid(LONG width, LONG height, COLORREF color);
    // Equal in the five high bits of each component (what a 16-bit screen keeps).
    static bool Near(COLORREF a, COLORREF b);
    static bool Is(Graphic* g, LONG x, LONG y, COLORREF color);

    std::vector<HWND> windows_;
};
