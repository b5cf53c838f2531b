// What every control shares: colours, layout and geometry, fonts, finding controls from
// objects, auto-paint, and outliving the window.
#include "controls_test_support.h"

namespace {

using Control = ControlTest;

TEST_F(Control, ColoursDefaultUntilTheFirstIsSet) {
    auto* b = MakeButton(1);
    EXPECT_EQ(b->GetColor(AUXCOLOR_BACKGROUND), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(b->GetColor(AUXCOLOR_HIGHLIGHT), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(b->GetColor(AUXCOLOR_SHADOW), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(b->GetColor(AUXCOLOR_FACE), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(b->GetColor(AUXCOLOR_TEXT), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(b->GetColor(5), kNoColor);

    // The table grows to index + 4 entries: the lower ones read black, past it none.
    EXPECT_TRUE(b->SetColor(AUXCOLOR_TEXT, RGB(255, 255, 255)));
    for (DWORD i = 0; i < 4; ++i)
        EXPECT_EQ(b->GetColor(i), 0u) << i;
    EXPECT_EQ(b->GetColor(4), RGB(255, 255, 255));
    EXPECT_EQ(b->GetColor(7), 0u);
    EXPECT_EQ(b->GetColor(8), kNoColor);
    // Setting inside the table does not grow it.
    EXPECT_TRUE(b->SetColor(6, kRed));
    EXPECT_EQ(b->GetColor(8), kNoColor);
    // Absurd indexes are refused instead of growing the table without end.
    EXPECT_FALSE(b->SetColor(0xFFFFFFFF, kRed));
    EXPECT_FALSE(b->SetColor(kAuxMaxColorIndex + 1, kRed));
    EXPECT_EQ(b->GetColor(kAuxMaxColorIndex + 1), kNoColor);
    EXPECT_TRUE(b->SetColor(kAuxMaxColorIndex, kRed));
    EXPECT_EQ(b->GetColor(kAuxMaxColorIndex), kRed);
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(Control, ButtonsSizeThemselvesToTheirContent) {
    const SIZE go = Extent(TEXT("Go"));
    ASSERT_GT(go.cx, 0);
    AnimButton* push = MakeButton(1);
    AnimButton* check = MakeButton(2, kButtonCheck);
    AnimButton* radio = MakeButton(3, kButtonRadio);
    LONG w = -1, h = -1;
    // An empty push button is its edges only; an empty check box its box.
    push->AutoSize();
    radio->AutoSize();
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 7);
    radio->GetSize(&w, &h);
    EXPECT_EQ(w, 2 + 13);
    EXPECT_EQ(h, 13);

    push->SetText(TEXT("Go"));
    check->SetText(TEXT("Go"));
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 7 + go.cx);
    EXPECT_EQ(h, 7 + go.cy);
    check->GetSize(&w, &h);
    EXPECT_EQ(w, 2 + go.cx + 13 + 8);
    EXPECT_EQ(h, std::max<LONG>(go.cy, 13));

    // An icon counts as the push button's mark.
    Graphic* icon = Solid(16, 40, kGreen);
    push->SetGraphic(icon);
    EXPECT_EQ(push->GetGraphic(), icon);
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 7 + go.cx + 16 + 8);
    EXPECT_EQ(h, 7 + 40);

    // A fixed size stays until AutoSize or SetRect(null).
    push->SetSize(30, 12);
    push->SetText(TEXT("Much longer"));
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 30);
    EXPECT_FALSE(push->IsAutoSized());
    push->AutoSize();
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 7 + Extent(TEXT("Much longer")).cx + 16 + 8);
    push->SetSize(-5, -1); // nonsense sizes are empty, not negative
    push->GetSize(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    push->SetRect(nullptr);
    push->MoveTo(15, 25);
    RECT r{};
    push->GetRect(&r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right - r.left, w = 7 + Extent(TEXT("Much longer")).cx + 16 + 8);
    LONG x = 0, y = 0;
    push->GetPosition(&x, &y);
    EXPECT_EQ(x, 15);
    EXPECT_EQ(y, 25);

    // Text access.
    EXPECT_EQ(push->GetTextLength(), 12u);
    string text;
    push->GetText(text);
    EXPECT_TRUE(text == "Much longer");
    push->SetText(nullptr);
    EXPECT_EQ(push->GetTextLength(), 1u);

    for (AnimButton* b : {push, check, radio})
        MemDelete(b, MM("ANIMBUTTON"));
    MemDelete(icon, MM("GRAPHIC"));
}

TEST_F(Control, PushButtonIconAndLabel) {
    Graphic* icon = Solid(10, 10, kGreen);
    AnimButton* b = MakeButton(1);
    b->SetText(TEXT("Go"));
    b->SetGraphic(icon);
    b->MoveTo(10, 10);
    b->SetColor(AUXCOLOR_FACE, GetSysColor(COLOR_BTNFACE));
    b->SetColor(AUXCOLOR_TEXT, kRed);
    // The icon at the text origin; the text after it, 8 pixels on.
    EXPECT_EQ(Count(RECT{13, 13, 23, 23}, kGreen), 100);
    LONG w = 0, h = 0;
    b->GetSize(&w, &h);
    RECT ink = Ink(RECT{23, 13, 10 + w - 3, 10 + h - 3}, GetSysColor(COLOR_BTNFACE));
    EXPECT_GE(ink.left, 13 + 10 + 8);
    EXPECT_LE(ink.right, 10 + w);
    MemDelete(b, MM("ANIMBUTTON"));
    MemDelete(icon, MM("GRAPHIC"));
}

TEST_F(Control, FontsAreOwnedOnceGiven) {
    HFONT stock = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    auto makeFont = [](LONG height) {
        LOGFONT lf{};
        lf.lfHeight = -height;
        return CreateFontIndirect(&lf);
    };
    LOGFONT probe{};
    HFONT a = makeFont(30), b = makeFont(12), c = makeFont(14);
    AnimButton* button = MakeButton(1);
    EXPECT_EQ(button->GetFont(), stock);
    button->SetText(TEXT("Go"));
    LONG w = 0, h = 0;
    button->GetSize(&w, &h);
    button->SetFont(a);
    LONG w2 = 0, h2 = 0;
    button->GetSize(&w2, &h2);
    // An auto-sized control follows its font.
    EXPECT_EQ(w2, 7 + Extent(TEXT("Go"), a).cx);
    EXPECT_GT(h2, h);
    button->SetFont(a); // the same font again is kept
    EXPECT_NE(GetObject(a, sizeof(probe), &probe), 0);
    button->SetFont(b);
    EXPECT_EQ(GetObject(a, sizeof(probe), &probe), 0); // the previous one went
    button->SetFont(nullptr);
    EXPECT_EQ(GetObject(b, sizeof(probe), &probe), 0);
    EXPECT_EQ(button->GetFont(), stock);
    button->SetFont(stock);
    button->SetFont(c);
    EXPECT_NE(GetObject(stock, sizeof(probe), &probe), 0); // never the stock font
    MemDelete(button, MM("ANIMBUTTON"));
    // The last font goes with the control.
    EXPECT_EQ(GetObject(c, sizeof(probe), &probe), 0);
}

TEST_F(Control, FindControlAndFromObject) {
    AnimButton* back = MakeButton(5, kButtonPush, 60);
    AnimButton* front = MakeButton(5, kButtonPush, 40);
    auto* text = new (MM("ANIMTEXT")) AnimText(window_, 30);
    EXPECT_EQ(FindControl(window_, 5), front);
    EXPECT_EQ(FindControl(window_, 0xFFFFFFFF), text);
    EXPECT_EQ(FindControl(window_, 6), nullptr);
    EXPECT_EQ(FindControl(nullptr, 5), nullptr);
    EXPECT_EQ(text->GetId(), 0xFFFFFFFFu);
    EXPECT_EQ(text->GetKind(), static_cast<DWORD>(AUXKIND_TEXT));
    EXPECT_EQ(front->GetKind(), static_cast<DWORD>(AUXKIND_BUTTON));
    EXPECT_EQ(FromObject(front->GetAnimObject()), front);
    EXPECT_EQ(FromObject(nullptr), nullptr);

    // An ordinary object whose slot holds something else is no control, and is not read as one.
    int notAControl = 0;
    auto* plain = new (MM("ANIMOBJECT")) AnimObject(window_, static_cast<Graphic*>(nullptr), 20);
    plain->SetData(kAuxObjectSlot, &notAControl);
    EXPECT_EQ(FromObject(plain), nullptr);
    plain->SetData(kAuxObjectSlot, back); // a control's pointer, but not its object
    EXPECT_EQ(FromObject(plain), nullptr);
    EXPECT_EQ(FindControl(window_, 5), front);
    // Overwriting the control's slot disowns it.
    front->GetAnimObject()->SetData(kAuxObjectSlot, nullptr);
    EXPECT_EQ(FromObject(front->GetAnimObject()), nullptr);
    EXPECT_EQ(FindControl(window_, 5), back);
    front->GetAnimObject()->SetData(kAuxObjectSlot, front);

    front->SetId(7);
    EXPECT_EQ(FindControl(window_, 7), front);
    MemDelete(plain, MM("ANIMOBJECT"));
    MemDelete(text, MM("ANIMTEXT"));
    MemDelete(front, MM("ANIMBUTTON"));
    MemDelete(back, MM("ANIMBUTTON"));
}

TEST_F(Control, AutoPaintShowsChangesAtOnce) {
    AnimButton* b = MakeButton(1);
    RECT r{10, 10, 40, 30};
    b->SetRect(&r);
    Pixel(0, 0);
    // Off: nothing reaches the window until it paints.
    b->MoveTo(100, 100);
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 110, 110), kBackdrop));
    EXPECT_TRUE(Near(Pixel(110, 110), GetSysColor(COLOR_BTNFACE)));
    // On: every change paints.
    b->SetAutoPaint(TRUE);
    b->MoveTo(10, 10);
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 20, 20), GetSysColor(COLOR_BTNFACE)));
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 110, 110), kBackdrop));
    b->SetColor(AUXCOLOR_FACE, kGreen);
    b->Invalidate();
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 20, 20), kGreen));
    b->AutoSize(); // 7 x 7 without text
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 30, 20), kBackdrop));
    // Its deletion takes it off the window at once as well.
    MemDelete(b, MM("ANIMBUTTON"));
    EXPECT_TRUE(Near(WindowPixel(hwnd_, 12, 12), kBackdrop));
}

TEST_F(Control, ControlsOutliveTheirWindow) {
    AnimButton* b = MakeButton(1);
    auto* text = new (MM("ANIMTEXT")) AnimText(window_, 10);
    b->SetAutoPaint(TRUE);
    text->SetAutoPaint(TRUE);
    RECT r{10, 10, 40, 30};
    b->SetRect(&r);
    Tap(20, 20);
    ASSERT_EQ(GetFocusControl(), b);
    DestroyWindow(hwnd_);
    EXPECT_EQ(b->GetAnimObject(), nullptr);
    EXPECT_EQ(b->GetAnimWindow(), nullptr);
    // Every operation still answers, doing nothing with the geometry.
    RECT got{1, 2, 3, 4};
    b->GetRect(&got);
    EXPECT_EQ(got.right, 0);
    b->SetRect(&r);
    b->MoveTo(5, 5);
    b->SetText(TEXT("gone"));
    b->SetImages(nullptr, nullptr);
    b->Invalidate();
    b->SetFocus();
    b->Capture();
    EXPECT_FALSE(b->HasCapture());
    EXPECT_EQ(b->GetGraphic(), nullptr);
    text->SetText(TEXT("gone"));
    text->GetTextExtent(&got);
    EXPECT_EQ(got.right, 0);
    ClearFocus();
    // A new window in the old one's place is not theirs.
    AnimWindow* again = MakeAnim(50, 50);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(b->GetAnimWindow(), nullptr);
    MemDelete(text, MM("ANIMTEXT"));
    MemDelete(b, MM("ANIMBUTTON"));
}

TEST_F(Control, NoWindowMeansNoObject) {
    auto* b = new (MM("ANIMBUTTON")) AnimButton(nullptr, 1, kButtonPush, 50);
    EXPECT_EQ(b->GetAnimObject(), nullptr);
    LONG w = 1, h = 1;
    b->GetSize(&w, &h);
    EXPECT_EQ(w, 0);
    b->SetFocus();
    EXPECT_EQ(GetFocusControl(), b);
    MemDelete(b, MM("ANIMBUTTON"));
    EXPECT_EQ(GetFocusControl(), nullptr);
}

} // namespace
