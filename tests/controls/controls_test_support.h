// Helpers of the control tests: an animation window placed away from the screen's corner (so
// that pen points must be converted to client coordinates), pen input injected as real queued
// messages, the notifications a button sends, pixels of the window.
#pragma once

#include "controls/aux_control.h"
#include "foundation/memory.h"
#include "tests/engine/anim_test_support.h"

#include <vector>

constexpr COLORREF kBackdrop = kBlue;

// One WM_COMMAND a button sent.
struct Note {
    bool command; // to the command target, else the notification target
    HWND hwnd;
    WORD id;
    WORD code;
    LPARAM lParam;
    HWND capture; // the system capture when it came
};

class ControlTest : public AnimTest {
protected:
    // Where the window's client area starts on the screen.
    static constexpr LONG kScreenX = 20;
    static constexpr LONG kScreenY = 30;
    static constexpr LONG kWidth = 200;
    static constexpr LONG kHeight = 160;

    void SetUp() override;
    void TearDown() override;

    // Pen input at client coordinates of the window, dispatched before they return.
    void Down(LONG x, LONG y);
    void Move(LONG x, LONG y);
    void Up(LONG x, LONG y);
    void Tap(LONG x, LONG y);

    // A push button with both targets set.
    AnimButton* MakeButton(DWORD id, DWORD style = kButtonPush, LONG layer = 50);
    // The codes sent so far, in order; commands as 0.
    static std::vector<int> Codes();

    // The window as shown, after painting what is dirty.
    COLORREF Pixel(LONG x, LONG y);
    // Pixels of `color` (5 high bits of each component equal) in the rectangle.
    int Count(const RECT& r, COLORREF color);
    // The bounding box of the pixels that are not `background`; empty when there are none.
    RECT Ink(const RECT& r, COLORREF background);
    // The extent of a text in the stock system font.
    SIZE Extent(const TCHAR* text, HFONT font = nullptr);

    static LRESULT CALLBACK CommandProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK NotifyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    AnimWindow* window_ = nullptr;
    static std::vector<Note> notes_;
};
