// The text box: its size, its formats, its colours, and the pen passing through it.
#include "controls_test_support.h"

namespace {

class TextBox : public ControlTest {
protected:
    // A box as the tutorial makes it: white text, no background, a fixed rectangle.
    AnimText* MakeBox(const RECT& r, DWORD format, const TCHAR* text) {
        auto* box = new (MM("ANIMTEXT")) AnimText(window_, 599);
        box->SetColor(AUXCOLOR_BACKGROUND, kNoColor);
        box->SetColor(AUXCOLOR_TEXT, RGB(255, 255, 255));
        box->SetFormat(format);
        box->SetRect(&r);
        box->SetText(text);
        box->Invalidate();
        return box;
    }
};

constexpr const TCHAR* kParagraph =
    TEXT("Three pieces at three corners of a rectangle capture the enemy piece at the fourth.");

TEST_F(TextBox, WrappedTextStaysInsideFromTheTop) {
    const RECT r{10, 10, 110, 150};
    AnimText* box = MakeBox(r, 9, kParagraph);
    const LONG line = Extent(TEXT("X")).cy;
    ASSERT_GT(Extent(kParagraph).cx, 100); // too long for one line
    RECT ink = Ink(RECT{0, 0, kWidth, kHeight}, kBackdrop);
    EXPECT_GE(ink.left, r.left);
    EXPECT_LE(ink.left, r.left + 3);
    EXPECT_LE(ink.right, r.right);
    EXPECT_GE(ink.top, r.top);
    EXPECT_LE(ink.top, r.top + line / 2);
    EXPECT_GT(ink.bottom, r.top + 2 * line); // three lines at least
    EXPECT_LE(ink.bottom, r.bottom);

    // Unwrapped, the same text is one line in the middle of the box, cut at its right edge.
    box->SetFormat(0);
    ink = Ink(RECT{0, 0, kWidth, kHeight}, kBackdrop);
    EXPECT_GT(ink.top, r.top + 2 * line);
    EXPECT_LE(ink.bottom - ink.top, line);
    EXPECT_LE(ink.right, r.right);
    MemDelete(box, MM("ANIMTEXT"));
}

TEST_F(TextBox, ShortTextAlignsLeftRightOrCentre) {
    const RECT r{10, 10, 190, 40};
    const SIZE hi = Extent(TEXT("Hi"));
    AnimText* box = MakeBox(r, 0, TEXT("Hi"));
    RECT ink = Ink(r, kBackdrop);
    EXPECT_LE(ink.left, r.left + 2);
    EXPECT_LE(ink.right, r.left + hi.cx);
    box->SetFormat(kTextRight);
    ink = Ink(r, kBackdrop);
    EXPECT_GE(ink.left, r.right - hi.cx);
    EXPECT_GE(ink.right, r.right - 3);
    box->SetFormat(kTextCentred | kTextWrap);
    ink = Ink(r, kBackdrop);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, (r.left + r.right) / 2.0, 3.0);
    EXPECT_LE(ink.top, r.top + hi.cy / 2); // wrapped text starts at the top
    MemDelete(box, MM("ANIMTEXT"));
}

TEST_F(TextBox, BackgroundSizeAndExtent) {
    auto* box = new (MM("ANIMTEXT")) AnimText(window_, 10);
    RECT extent{1, 1, 1, 1};
    box->GetTextExtent(&extent);
    EXPECT_EQ(extent.right, 0);
    EXPECT_EQ(extent.bottom, 0);
    box->MoveTo(20, 20);
    box->SetText(TEXT("Tessark"));
    const SIZE size = Extent(TEXT("Tessark"));
    box->GetTextExtent(&extent);
    EXPECT_EQ(extent.left, 0);
    EXPECT_EQ(extent.right, size.cx);
    EXPECT_EQ(extent.bottom, size.cy);
    // Auto-sized, it is its text; the default background is the button face.
    LONG w = 0, h = 0;
    box->GetSize(&w, &h);
    EXPECT_EQ(w, size.cx);
    EXPECT_EQ(h, size.cy);
    EXPECT_TRUE(Near(Pixel(20, 20 + size.cy - 1), GetSysColor(COLOR_BTNFACE)));
    box->SetColor(AUXCOLOR_BACKGROUND, kGreen);
    box->Invalidate();
    EXPECT_TRUE(Near(Pixel(20, 20 + size.cy - 1), kGreen));
    // SetText alone does not redraw a box of fixed size: its caller does.
    RECT fixed{20, 20, 120, 60};
    box->SetRect(&fixed);
    box->SetText(TEXT(""));
    EXPECT_TRUE(Near(Pixel(110, 50), kGreen));
    MemDelete(box, MM("ANIMTEXT"));
}

} // namespace
