// What buttons look like: faces and edges, labels, focus rectangles, flat buttons, images,
// check and radio marks, after-draw and custom callbacks. Pixels of the window as shown.
#include "controls_test_support.h"

namespace {

using ButtonDraw = ControlTest;

COLORREF Sys(int index) {
    return GetSysColor(index);
}
constexpr COLORREF kInverted = RGB(63, 63, 63); // the face under a focus rectangle

TEST_F(ButtonDraw, PushButtonFaceAndEdges) {
    AnimButton* b = MakeButton(1);
    RECT r{10, 10, 60, 30};
    b->SetRect(&r);
    EXPECT_TRUE(Near(Pixel(35, 20), Sys(COLOR_BTNFACE)));
    // Raised: light outside, highlight inside at the top left; dark outside, shadow inside at
    // the bottom right.
    EXPECT_TRUE(Near(Pixel(10, 10), Sys(COLOR_3DLIGHT)));
    EXPECT_TRUE(Near(Pixel(11, 11), Sys(COLOR_BTNHIGHLIGHT)));
    EXPECT_TRUE(Near(Pixel(59, 29), Sys(COLOR_3DDKSHADOW)));
    EXPECT_TRUE(Near(Pixel(58, 28), Sys(COLOR_BTNSHADOW)));
    EXPECT_TRUE(Near(Pixel(60, 30), kBackdrop));
    // Sunken while pressed or checked.
    b->SetPressed(TRUE);
    EXPECT_TRUE(Near(Pixel(10, 10), Sys(COLOR_BTNSHADOW)));
    EXPECT_TRUE(Near(Pixel(11, 11), Sys(COLOR_3DDKSHADOW)));
    EXPECT_TRUE(Near(Pixel(59, 29), Sys(COLOR_BTNHIGHLIGHT)));
    b->SetPressed(FALSE);
    b->SetChecked(TRUE);
    EXPECT_TRUE(Near(Pixel(10, 10), Sys(COLOR_BTNSHADOW)));
    // The face colour is index 3.
    b->SetChecked(FALSE);
    b->SetColor(AUXCOLOR_FACE, kGreen);
    EXPECT_TRUE(Near(Pixel(35, 20), kGreen));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, LabelsLeftOrCentredAndShiftedWhilePressed) {
    AnimButton* left = MakeButton(1);
    AnimButton* centred = MakeButton(2, kButtonCentred);
    RECT rl{10, 10, 110, 40}, rc{10, 50, 110, 80};
    for (AnimButton* b : {left, centred}) {
        b->SetText(TEXT("Wide"));
        b->SetColor(AUXCOLOR_FACE, Sys(COLOR_BTNFACE));
        b->SetColor(AUXCOLOR_TEXT, kRed);
    }
    left->SetRect(&rl);
    centred->SetRect(&rc);
    const SIZE text = Extent(TEXT("Wide"));
    const COLORREF face = Sys(COLOR_BTNFACE);
    RECT il{12, 12, 108, 38}, ic{12, 52, 108, 78}; // inside the edges
    RECT l = Ink(il, face), c = Ink(ic, face);
    ASSERT_GT(l.right, l.left);
    ASSERT_GT(c.right, c.left);
    EXPECT_GE(l.left, 13);
    EXPECT_LE(l.left, 13 + 3);
    EXPECT_LE(l.right, 13 + text.cx + 1);
    EXPECT_NEAR((c.left + c.right) / 2.0, 60.0, 2.0);
    // Vertically centred in both.
    EXPECT_NEAR((l.top + l.bottom) / 2.0, 25.0 + 1.0, text.cy / 4.0);

    centred->SetPressed(TRUE);
    RECT p = Ink(ic, face);
    EXPECT_EQ(p.left, c.left + 1);
    EXPECT_EQ(p.top, c.top + 1);
    MemDelete(left, MM("ANIMBUTTON"));
    MemDelete(centred, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, FocusRectangleOnTheFocusedFace) {
    AnimButton* b = MakeButton(1);
    RECT r{10, 10, 60, 30};
    b->SetRect(&r);
    EXPECT_TRUE(Near(Pixel(12, 12), Sys(COLOR_BTNFACE)));
    Tap(30, 20);
    ASSERT_EQ(GetFocusControl(), b);
    // Dotted, two pixels inside the edge.
    EXPECT_TRUE(Near(Pixel(12, 12), kInverted));
    EXPECT_TRUE(Near(Pixel(13, 12), Sys(COLOR_BTNFACE)));
    EXPECT_TRUE(Near(Pixel(14, 12), kInverted));
    EXPECT_TRUE(Near(Pixel(12, 14), kInverted));
    EXPECT_TRUE(Near(Pixel(35, 20), Sys(COLOR_BTNFACE)));
    ClearFocus();
    EXPECT_TRUE(Near(Pixel(12, 12), Sys(COLOR_BTNFACE)));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, FlatFaceOnlyWhileHot) {
    AnimButton* b = MakeButton(1, kButtonFlat);
    RECT r{10, 10, 60, 30};
    b->SetRect(&r);
    EXPECT_TRUE(Near(Pixel(35, 20), kBackdrop));
    // Without a cursor (a stylus) only pressing makes it hot; it keeps the focus meanwhile.
    Down(30, 20);
    EXPECT_TRUE(Near(Pixel(35, 20), Sys(COLOR_BTNFACE)));
    EXPECT_TRUE(Near(Pixel(10, 10), Sys(COLOR_BTNSHADOW)));
    EXPECT_EQ(GetFocusControl(), b);
    Up(30, 20);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonClicked}));
    EXPECT_TRUE(Near(Pixel(35, 20), kBackdrop));
    EXPECT_EQ(GetFocusControl(), nullptr); // no longer hot: no longer focused

    // With a cursor, the pointer over it is enough, and the focus follows the pointer.
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    Move(30, 20);
    EXPECT_TRUE(Near(Pixel(35, 20), Sys(COLOR_BTNFACE)));
    EXPECT_TRUE(Near(Pixel(10, 10), Sys(COLOR_3DLIGHT)));
    EXPECT_EQ(GetFocusControl(), b);
    EXPECT_TRUE(Near(Pixel(12, 12), kInverted));
    Move(100, 100);
    EXPECT_TRUE(Near(Pixel(35, 20), kBackdrop));
    EXPECT_EQ(GetFocusControl(), nullptr);

    // Disabled, it is never hot.
    b->Enable(FALSE);
    Move(30, 20);
    EXPECT_TRUE(Near(Pixel(35, 20), kBackdrop));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, FlatButtonDoesNotTakeThePenFromAnother) {
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    AnimButton* held = MakeButton(1);
    AnimButton* flat = MakeButton(2, kButtonFlat);
    RECT rh{10, 10, 60, 30}, rf{10, 40, 60, 60};
    held->SetRect(&rh);
    flat->SetRect(&rf);
    Down(30, 20);
    Move(30, 50); // over the flat one while the first is held
    EXPECT_TRUE(Near(Pixel(35, 50), Sys(COLOR_BTNFACE)));
    EXPECT_EQ(GetFocusControl(), held);
    EXPECT_TRUE(held->HasCapture());
    // Back on the held button, it presses again and clicks.
    Move(30, 20);
    Up(30, 20);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonPressed,
                                         kButtonReleased, kButtonClicked}));
    MemDelete(flat, MM("ANIMBUTTON"));
    MemDelete(held, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, ImagesGiveTheSizeAndTheMissingOneDrawsNothing) {
    Graphic* up = Solid(32, 21, kRed);
    Graphic* down = Solid(40, 25, kGreen);
    AnimButton* b = MakeButton(1020, kButtonCentred);
    b->MoveTo(20, 30);
    b->SetImages(up, nullptr);
    LONG w = 0, h = 0;
    b->GetSize(&w, &h);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 21);
    EXPECT_TRUE(Near(Pixel(20, 30), kRed));
    EXPECT_TRUE(Near(Pixel(51, 50), kRed));
    Down(25, 35);
    EXPECT_TRUE(b->IsPressed());
    EXPECT_EQ(Count(RECT{20, 30, 52, 51}, kBackdrop), 32 * 21);
    Up(25, 35);
    EXPECT_TRUE(Near(Pixel(30, 40), kRed));

    // The larger of the two; the down picture while pressed or checked.
    b->SetImages(up, down);
    b->GetSize(&w, &h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 25);
    b->SetChecked(TRUE);
    EXPECT_EQ(Count(RECT{20, 30, 60, 55}, kGreen), 40 * 25);
    b->SetImages(nullptr, down);
    b->GetSize(&w, &h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 25);

    // A button of fixed size shows new pictures too.
    b->SetChecked(FALSE);
    RECT fixed{20, 30, 60, 55};
    b->SetRect(&fixed);
    EXPECT_TRUE(Near(Pixel(30, 40), kBackdrop)); // no up picture
    b->SetImages(down, nullptr);
    EXPECT_TRUE(Near(Pixel(30, 40), kGreen));
    MemDelete(b, MM("ANIMBUTTON"));
    MemDelete(up, MM("GRAPHIC"));
    MemDelete(down, MM("GRAPHIC"));
}

constexpr LONG kMarkWidth = 13;

// Where the marks are: the box at the left edge, centred vertically.
POINT CheckMarkPixel(const RECT& r) {
    return {r.left + 3, r.top + (r.bottom - r.top - 13) / 2 + 3 + 2};
}
POINT RadioDotPixel(const RECT& r) {
    return {r.left + 4, r.top + (r.bottom - r.top - 13) / 2 + 4 + 1};
}

TEST_F(ButtonDraw, CheckBoxTextOnceBesideItsBox) {
    AnimButton* b = MakeButton(1, kButtonCheck | kButtonClickToggle);
    b->SetText(TEXT("Sound"));
    b->SetColor(AUXCOLOR_BACKGROUND, kNoColor);
    b->SetColor(AUXCOLOR_TEXT, kRed);
    RECT r{10, 10, 120, 50}; // taller than the text
    b->SetRect(&r);
    const SIZE text = Extent(TEXT("Sound"));
    // Nothing between the box and the text.
    RECT t = Ink(RECT{r.left + kMarkWidth, r.top, r.right, r.bottom}, kBackdrop);
    ASSERT_GT(t.right, t.left);
    EXPECT_GE(t.left, r.left + 21);
    EXPECT_LE(t.right, r.left + 21 + text.cx);
    // In the middle of the box's height, whole.
    EXPECT_GE(t.top, r.top + (40 - text.cy) / 2);
    EXPECT_LE(t.bottom, r.top + (40 - text.cy) / 2 + text.cy);
    EXPECT_GT(t.bottom - t.top, text.cy / 3);
    // No background: the window shows around the box.
    EXPECT_TRUE(Near(Pixel(100, 12), kBackdrop));
    POINT mark = CheckMarkPixel(r);
    EXPECT_TRUE(Near(Pixel(mark.x, mark.y), Sys(COLOR_WINDOW)));

    // A click shows the mark at once on an auto-painted box.
    b->SetAutoPaint(TRUE);
    Tap(50, 30);
    EXPECT_TRUE(b->IsChecked());
    EXPECT_TRUE(Near(WindowPixel(hwnd_, mark.x, mark.y), Sys(COLOR_WINDOWTEXT)));
    // Focused: the dotted rectangle starts two pixels left of the text.
    EXPECT_EQ(GetFocusControl(), b);
    EXPECT_FALSE(Near(Pixel(r.left + 19, r.top), kBackdrop));
    EXPECT_TRUE(Near(Pixel(r.left + 18, r.top), kBackdrop));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(ButtonDraw, RadioButtonThatLosesItsCheckIsRedrawn) {
    const DWORD style = kButtonRadio | kButtonClickRadio | ButtonGroup(3);
    AnimButton* a = MakeButton(1, style);
    AnimButton* b = MakeButton(2, style);
    RECT ra{10, 10, 30, 25}, rb{10, 40, 30, 55};
    a->SetRect(&ra);
    b->SetRect(&rb);
    a->SetChecked(TRUE);
    POINT dotA = RadioDotPixel(ra), dotB = RadioDotPixel(rb);
    EXPECT_TRUE(Near(Pixel(dotA.x, dotA.y), Sys(COLOR_WINDOWTEXT)));
    EXPECT_TRUE(Near(Pixel(dotB.x, dotB.y), Sys(COLOR_WINDOW)));
    a->SetAutoPaint(TRUE);
    b->SetAutoPaint(TRUE);
    Tap(15, 45);
    EXPECT_TRUE(Near(WindowPixel(hwnd_, dotA.x, dotA.y), Sys(COLOR_WINDOW)));
    EXPECT_TRUE(Near(WindowPixel(hwnd_, dotB.x, dotB.y), Sys(COLOR_WINDOWTEXT)));
    MemDelete(a, MM("ANIMBUTTON"));
    MemDelete(b, MM("ANIMBUTTON"));
}

int g_afterDraws = 0;
RECT g_afterRect{};
LRESULT AfterDraw(AnimObject*, DWORD message, LPARAM parameter) {
    if (message == ANIMOBJ_DRAW) {
        ++g_afterDraws;
        g_afterRect = reinterpret_cast<const ANIMDRAW*>(parameter)->object;
    }
    return 1;
}
DWORD g_customAnswer = 1;
LRESULT Custom(AnimObject*, DWORD, LPARAM) {
    return g_customAnswer;
}

TEST_F(ButtonDraw, AfterDrawAndCustomCallbacks) {
    AnimButton* b = MakeButton(1);
    RECT r{10, 10, 60, 30};
    b->SetRect(&r);
    b->SetAfterDraw(AfterDraw);
    g_afterDraws = 0;
    b->Invalidate();
    Pixel(0, 0);
    EXPECT_EQ(g_afterDraws, 1);
    EXPECT_EQ(g_afterRect.left, 10);
    EXPECT_EQ(g_afterRect.bottom, 30);

    // A custom callback draws instead of the button; answering 0 it takes the pen too.
    b->SetCustom(Custom);
    g_customAnswer = 1;
    b->Invalidate();
    EXPECT_TRUE(Near(Pixel(35, 20), kBackdrop));
    Tap(30, 20);
    EXPECT_EQ(Codes(), (std::vector<int>{kButtonPressed, kButtonReleased, kButtonClicked}));
    notes_.clear();
    g_customAnswer = 0;
    Tap(30, 20);
    EXPECT_TRUE(notes_.empty());
    EXPECT_EQ(GetFocusControl(), nullptr);
    // Even answering 0 to the destruction message, the button lets go of its object.
    DestroyWindow(hwnd_);
    EXPECT_EQ(b->GetAnimObject(), nullptr);
    MemDelete(b, MM("ANIMBUTTON"));
}

} // namespace
