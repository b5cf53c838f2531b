// The pen on buttons: focus, capture, press and release notifications, clicks and their
// check behaviours, through real queued mouse messages.
#include "controls_test_support.h"

#include "platform/core/driver.h"

namespace {

class ButtonInput : public ControlTest {
protected:
    // A press that reaches the window while `captor` holds the system capture: posted, it
    // carries the pointer position like injected input.
    void PressWhileCaptured(HWND captor, LONG x, LONG y) {
        Move(x, y);
        SetCapture(captor);
        PostMessage(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        Pump();
    }
};

// A 40 x 20 push button at (10, 10).
AnimButton* Placed(AnimButton* b) {
    b->SetRect(nullptr);
    RECT r{10, 10, 50, 30};
    b->SetRect(&r);
    return b;
}

TEST_F(ButtonInput, SlidingOffAndLiftingSendsPressAndReleaseWithoutClick) {
    AnimButton* b = Placed(MakeButton(1020));
    Down(20, 20);
    EXPECT_EQ(GetFocusControl(), b);
    EXPECT_EQ(GetCaptureControl(AUXKIND_BUTTON), b);
    EXPECT_EQ(GetCapture(), hwnd_);
    EXPECT_TRUE(b->IsPressed());
    Move(30, 25); // still on it: nothing new
    Move(80, 80);
    EXPECT_FALSE(b->IsPressed());
    Move(-8, -12); // outside the window too: the capture still brings the moves
    Up(-8, -12);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased}));
    for (const Note& n : notes_) {
        EXPECT_FALSE(n.command);
        EXPECT_EQ(n.hwnd, hwnd_);
        EXPECT_EQ(n.id, 1020);
        EXPECT_EQ(n.lParam, reinterpret_cast<LPARAM>(b));
    }
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetFocusControl(), b); // the focus stays until a press elsewhere
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, TheClickComesWithThePenLetGo) {
    // A command that opens a modal dialog must not leave the capture on the button's window,
    // or the dialog's first click would go there.
    AnimButton* b = Placed(MakeButton(1022));
    Down(20, 20);
    Up(20, 20);
    ASSERT_FALSE(notes_.empty());
    const Note& click = notes_.back();
    EXPECT_TRUE(click.command);
    EXPECT_EQ(click.code, kButtonClicked);
    EXPECT_EQ(click.capture, nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, SlidingBackOnBeforeLiftingClicks) {
    AnimButton* b = Placed(MakeButton(1021));
    Down(12, 12);
    Move(60, 12);
    Move(48, 28);
    Up(48, 28);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonPressed,
                                         kButtonReleased, kButtonClicked}));
    ASSERT_EQ(notes_.size(), 5u);
    EXPECT_TRUE(notes_.back().command);
    EXPECT_EQ(notes_.back().id, 1021);
    EXPECT_EQ(notes_.back().hwnd, hwnd_);
    EXPECT_FALSE(b->IsPressed());

    // Without targets nothing is sent, and the button works the same.
    notes_.clear();
    b->SetCommandTarget(nullptr);
    b->SetNotifyTarget(nullptr);
    Tap(20, 20);
    EXPECT_TRUE(notes_.empty());
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, DisabledButtonsAndTextBoxesAreNotHit) {
    AnimButton* behind = Placed(MakeButton(1, kButtonPush, 60));
    AnimButton* front = Placed(MakeButton(2, kButtonPush, 40));
    front->Enable(FALSE);
    // The pen passes the disabled button to the one behind it.
    Tap(20, 20);
    EXPECT_EQ(GetFocusControl(), behind);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonClicked}));
    for (const Note& n : notes_)
        EXPECT_EQ(n.id, 1);

    // Alone, a disabled button takes nothing.
    notes_.clear();
    behind->Enable(FALSE);
    Tap(20, 20);
    EXPECT_EQ(GetFocusControl(), nullptr);
    EXPECT_TRUE(notes_.empty());

    // A text box in front of an enabled button lets the pen through.
    behind->Enable(TRUE);
    auto* text = new (MM("ANIMTEXT")) AnimText(window_, 10);
    RECT all{0, 0, kWidth, kHeight};
    text->SetRect(&all);
    text->SetText(TEXT("over everything"));
    Down(20, 20);
    EXPECT_EQ(GetFocusControl(), behind);
    EXPECT_TRUE(behind->IsPressed());
    Up(20, 20);
    EXPECT_EQ(notes_.back().code, kButtonClicked);
    // A press on the text box alone hits nothing: the focus goes.
    Tap(150, 100);
    EXPECT_EQ(GetFocusControl(), nullptr);

    MemDelete(text, MM("ANIMTEXT"));
    MemDelete(front, MM("ANIMBUTTON"));
    MemDelete(behind, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, PressOnEmptySpaceClearsTheFocusAndUnpresses) {
    AnimButton* b = Placed(MakeButton(5));
    Tap(20, 20);
    ASSERT_EQ(GetFocusControl(), b);
    b->SetPressed(TRUE);
    Down(150, 100);
    EXPECT_EQ(GetFocusControl(), nullptr);
    EXPECT_FALSE(b->IsPressed());
    Up(150, 100);

    // Focus moves between buttons; the one that loses it is no longer pressed.
    AnimButton* other = MakeButton(6);
    RECT r{100, 10, 140, 30};
    other->SetRect(&r);
    b->SetFocus();
    b->SetPressed(TRUE);
    Tap(110, 20);
    EXPECT_EQ(GetFocusControl(), other);
    EXPECT_FALSE(b->IsPressed());
    MemDelete(other, MM("ANIMBUTTON"));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, CaptureGoesBackToTheWindowThatHadIt) {
    HWND other = MakeWindow(30, 30);
    ASSERT_NE(other, nullptr);
    AnimButton* b = Placed(MakeButton(7));
    PressWhileCaptured(other, 20, 20);
    EXPECT_EQ(GetCapture(), hwnd_);
    // A second capture of the same control must not make it its own predecessor.
    b->Capture();
    Up(20, 20);
    EXPECT_EQ(GetCapture(), other);
    ReleaseCapture();
    // Capture without an object does nothing.
    DestroyWindow(hwnd_);
    EXPECT_EQ(b->GetAnimObject(), nullptr);
    b->Capture();
    EXPECT_FALSE(b->HasCapture());
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, ToggleAndRadioClicks) {
    AnimButton* toggle = MakeButton(1, kButtonCheck | kButtonClickToggle);
    RECT r{0, 0, 30, 15};
    toggle->SetRect(&r);
    Tap(5, 5);
    EXPECT_TRUE(toggle->IsChecked());
    Tap(5, 5);
    EXPECT_FALSE(toggle->IsChecked());

    // Group 1: a, b; group 2: c. Clicking b clears a but not c.
    const DWORD radio = kButtonRadio | kButtonClickRadio;
    AnimButton* a = MakeButton(2, radio | ButtonGroup(1));
    AnimButton* b = MakeButton(3, radio | ButtonGroup(1));
    AnimButton* c = MakeButton(4, radio | ButtonGroup(2));
    AnimButton* plain = MakeButton(5, kButtonCheck | ButtonGroup(1)); // no radio behaviour
    RECT ra{0, 20, 30, 35}, rb{0, 40, 30, 55}, rc{0, 60, 30, 75}, rp{0, 80, 30, 95};
    a->SetRect(&ra);
    b->SetRect(&rb);
    c->SetRect(&rc);
    plain->SetRect(&rp);
    a->SetChecked(TRUE);
    c->SetChecked(TRUE);
    plain->SetChecked(TRUE);
    notes_.clear();
    Tap(5, 45);
    EXPECT_FALSE(a->IsChecked());
    EXPECT_TRUE(b->IsChecked());
    EXPECT_TRUE(c->IsChecked());
    EXPECT_TRUE(plain->IsChecked());
    EXPECT_EQ(notes_.back().code, kButtonClicked);
    EXPECT_EQ(notes_.back().id, 3);
    // Clicking a checked radio button keeps it checked and still sends the command.
    notes_.clear();
    Tap(5, 45);
    EXPECT_TRUE(b->IsChecked());
    EXPECT_EQ(notes_.back().code, kButtonClicked);

    for (AnimButton* x : {toggle, a, b, c, plain})
        MemDelete(x, MM("ANIMBUTTON"));
}

TEST_F(ButtonInput, OtherWindowsDoNotMoveAHeldButton) {
    AnimButton* b = Placed(MakeButton(12));
    AnimWindow* other = MakeAnim(30, 30); // beside the first, not over it
    ASSERT_NE(other, nullptr);
    auto* there = new (MM("ANIMBUTTON")) AnimButton(other, 13, kButtonPush, 50);
    Down(20, 20);
    ASSERT_TRUE(b->IsPressed());
    // The other window's hooks see its own coordinates, where the point is off the button.
    PostMessage(other->GetHandle(), WM_MOUSEMOVE, MK_LBUTTON, 0);
    Pump();
    EXPECT_TRUE(b->IsPressed());
    Up(20, 20);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonClicked}));
    // A press on the other window takes the focus from this one's button.
    PostMessage(other->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    Pump();
    EXPECT_EQ(GetFocusControl(), nullptr);
    MemDelete(there, MM("ANIMBUTTON"));
    MemDelete(b, MM("ANIMBUTTON"));
}

// A command target that deletes the button it hears from, as a page change may.
AnimButton* g_doomed = nullptr;
LRESULT CALLBACK DeletingProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wParam) == kButtonClicked && g_doomed) {
        MemDelete(g_doomed, MM("ANIMBUTTON"));
        g_doomed = nullptr;
    }
    return 0;
}
LRESULT CALLBACK DeletingOnReleaseProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wParam) == kButtonReleased && g_doomed) {
        MemDelete(g_doomed, MM("ANIMBUTTON"));
        g_doomed = nullptr;
    }
    return 0;
}

TEST_F(ButtonInput, TargetsMayDeleteTheButton) {
    g_doomed = Placed(MakeButton(9, kButtonCheck | kButtonClickToggle));
    g_doomed->SetAutoPaint(TRUE);
    g_doomed->SetCommandTarget(DeletingProc);
    Tap(20, 20);
    EXPECT_EQ(g_doomed, nullptr);
    EXPECT_EQ(GetFocusControl(), nullptr);

    g_doomed = Placed(MakeButton(10));
    g_doomed->SetNotifyTarget(DeletingOnReleaseProc);
    Down(20, 20);
    Move(90, 90);
    EXPECT_EQ(g_doomed, nullptr);
    Up(90, 90);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ButtonInput, DestroyingTheFocusedButtonMidPressLeavesNothingBehind) {
    HWND other = MakeWindow(30, 30);
    AnimButton* b = Placed(MakeButton(11));
    PressWhileCaptured(other, 20, 20);
    ASSERT_TRUE(b->HasCapture());
    MemDelete(b, MM("ANIMBUTTON"));
    EXPECT_EQ(GetFocusControl(), nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(GetCapture(), other);
    ReleaseCapture();
    notes_.clear();
    Up(20, 20);
    EXPECT_TRUE(notes_.empty());
}

} // namespace
