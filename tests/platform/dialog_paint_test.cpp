// How the controls look: pressed against raised, marks for checked boxes and radios, grey
// disabled text, static alignment, and a whole dialog drawn into a bitmap.
#include "platform/gdi.h"
#include "platform/user.h"
#define TESSARK_DIALOG_TEST_BMP
#include "tests/platform/dialog_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using platform::dlg::ButtonLook;

COLORREF Sys(int index) {
    return GetSysColor(index);
}

int Count(const TestDib& dib, RECT r, COLORREF colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x)
            n += GetPixel(dib.dc, x, y) == colour;
    }
    return n;
}

int Darkest(const TestDib& dib, RECT r) {
    int darkest = 255;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            COLORREF c = GetPixel(dib.dc, x, y);
            darkest = std::min({darkest, int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c))});
        }
    }
    return darkest;
}

// Mean x of the pixels inside `margin` that differ from the face colour.
double InkCentre(const TestDib& dib, int margin = 0) {
    double sum = 0;
    int n = 0;
    for (int y = margin; y < dib.height - margin; ++y) {
        for (int x = margin; x < dib.width - margin; ++x) {
            if (GetPixel(dib.dc, x, y) != Sys(COLOR_BTNFACE)) {
                sum += x;
                ++n;
            }
        }
    }
    return n == 0 ? -1 : sum / n;
}

TEST(DialogPaint, PressedPushButtonDiffersFromRaisedAndDefaultHasAFrame) {
    TestDib raised(60, 24, 24), pushed(60, 24, 24), def(60, 24, 24);
    RECT r{0, 0, 60, 24};
    ButtonLook look;
    look.style = BS_PUSHBUTTON;
    look.text = u"OK";
    platform::dlg::DrawButton(raised.dc, r, look);
    look.state = BST_PUSHED;
    platform::dlg::DrawButton(pushed.dc, r, look);
    EXPECT_EQ(GetPixel(raised.dc, 0, 0), Sys(COLOR_3DLIGHT));
    EXPECT_EQ(GetPixel(raised.dc, 1, 1), Sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(GetPixel(raised.dc, 59, 23), Sys(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(pushed.dc, 0, 0), Sys(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(pushed.dc, 59, 23), Sys(COLOR_BTNSHADOW));
    // The pressed caption sits one pixel further right.
    EXPECT_NEAR(InkCentre(pushed, 3) - InkCentre(raised, 3), 1.0, 0.3);
    look.state = 0;
    look.isDefault = true;
    platform::dlg::DrawButton(def.dc, r, look);
    EXPECT_EQ(GetPixel(def.dc, 0, 0), Sys(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(def.dc, 30, 0), Sys(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(def.dc, 1, 1), Sys(COLOR_3DLIGHT));
}

TEST(DialogPaint, CheckedBoxHasAMarkAndCheckedRadioADot) {
    RECT r{0, 0, 80, 16};
    RECT box{2, 3, 11, 12}; // inside the sunken edge
    ButtonLook look;
    look.style = BS_AUTOCHECKBOX;
    look.text = u"Sound";
    TestDib off(80, 16, 24), on(80, 16, 24), grey(80, 16, 24);
    off.Fill(Sys(COLOR_BTNFACE));
    on.Fill(Sys(COLOR_BTNFACE));
    grey.Fill(Sys(COLOR_BTNFACE));
    platform::dlg::DrawButton(off.dc, r, look);
    look.state = BST_CHECKED;
    platform::dlg::DrawButton(on.dc, r, look);
    EXPECT_EQ(Count(off, box, Sys(COLOR_WINDOWTEXT)), 0);
    EXPECT_GE(Count(on, box, Sys(COLOR_WINDOWTEXT)), 15);
    EXPECT_EQ(GetPixel(on.dc, 0, 1), Sys(COLOR_BTNSHADOW)); // sunken edge
    EXPECT_EQ(GetPixel(off.dc, 6, 4), Sys(COLOR_WINDOW));
    look.enabled = false;
    platform::dlg::DrawButton(grey.dc, r, look);
    EXPECT_EQ(Count(grey, box, Sys(COLOR_WINDOWTEXT)), 0);
    EXPECT_GE(Count(grey, box, Sys(COLOR_GRAYTEXT)), 15);
    EXPECT_EQ(GetPixel(grey.dc, 6, 4), Sys(COLOR_BTNFACE));

    look = ButtonLook{};
    look.style = BS_AUTORADIOBUTTON;
    look.text = u"Low";
    TestDib radioOff(80, 16, 24), radioOn(80, 16, 24);
    radioOff.Fill(Sys(COLOR_BTNFACE));
    radioOn.Fill(Sys(COLOR_BTNFACE));
    platform::dlg::DrawButton(radioOff.dc, r, look);
    look.state = BST_CHECKED;
    platform::dlg::DrawButton(radioOn.dc, r, look);
    // 12-pixel circle centred vertically in 16 rows: rows 2..13, centre at (5.5, 7.5).
    EXPECT_EQ(GetPixel(radioOn.dc, 5, 7), Sys(COLOR_WINDOWTEXT));
    EXPECT_EQ(GetPixel(radioOff.dc, 5, 7), Sys(COLOR_WINDOW));
    // Round: the bounding box's corner stays face-coloured.
    EXPECT_EQ(GetPixel(radioOn.dc, 0, 2), Sys(COLOR_BTNFACE));
}

TEST(DialogPaint, DisabledTextIsGreyAndStaticsAlign) {
    RECT r{0, 0, 120, 16};
    TestDib on(120, 16, 24), off(120, 16, 24);
    on.Fill(Sys(COLOR_BTNFACE));
    off.Fill(Sys(COLOR_BTNFACE));
    platform::dlg::DrawStatic(on.dc, r, SS_LEFT, u"Wide Text", true, nullptr);
    platform::dlg::DrawStatic(off.dc, r, SS_LEFT, u"Wide Text", false, nullptr);
    EXPECT_LT(Darkest(on, r), 60);
    EXPECT_GE(Darkest(off, r), 100);
    EXPECT_GT(Count(off, r, Sys(COLOR_GRAYTEXT)), 0);

    double centres[3];
    const DWORD styles[3] = {SS_LEFT, SS_CENTER, SS_RIGHT};
    for (int i = 0; i < 3; ++i) {
        TestDib dib(120, 16, 24);
        dib.Fill(Sys(COLOR_BTNFACE));
        platform::dlg::DrawStatic(dib.dc, r, styles[i], u"ab", true, nullptr);
        centres[i] = InkCentre(dib);
    }
    EXPECT_LT(centres[0], 30);
    EXPECT_NEAR(centres[1], 60, 6);
    EXPECT_GT(centres[2], 90);

    // Without SS_NOPREFIX an ampersand marks the next letter; with it, it is drawn.
    TestDib prefix(120, 16, 24), literal(120, 16, 24);
    prefix.Fill(Sys(COLOR_BTNFACE));
    literal.Fill(Sys(COLOR_BTNFACE));
    platform::dlg::DrawStatic(prefix.dc, r, SS_LEFT, u"&&", true, nullptr);
    platform::dlg::DrawStatic(literal.dc, r, SS_LEFT | SS_NOPREFIX, u"&&", true, nullptr);
    EXPECT_LT(InkCentre(prefix), InkCentre(literal));
}

INT_PTR CALLBACK Passive(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

TEST(DialogPaint, WholeDialogDrawsItsControlsAsTheyStand) {
    TemplateBuilder b(WS_POPUP | WS_VISIBLE, 150, 120, u"Every control");
    b.Item(0x80, BS_GROUPBOX, 5, 4, 140, 42, 20, u"Level")
        .Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 12, 15, 60, 10, 21, u"Low")
        .Item(0x80, BS_AUTORADIOBUTTON, 12, 28, 60, 10, 22, u"High")
        .Item(0x80, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 80, 15, 60, 10, 23, u"Sound")
        .Item(0x80, BS_AUTOCHECKBOX | WS_DISABLED, 80, 28, 60, 10, 24, u"Disabled")
        .Item(0x82, SS_LEFT, 5, 52, 140, 8, 25, u"Left text")
        .Item(0x82, SS_CENTER, 5, 62, 140, 8, 26, u"Centred text")
        .Item(0x82, SS_RIGHT | WS_DISABLED, 5, 72, 140, 8, 27, u"Right, disabled")
        .Item(0x80, BS_PUSHBUTTON | WS_TABSTOP, 5, 84, 60, 14, 28, u"Play tone")
        .Item(0x80, BS_DEFPUSHBUTTON | WS_TABSTOP, 30, 102, 50, 14, IDOK, u"OK")
        .Item(0x80, BS_PUSHBUTTON | WS_TABSTOP, 90, 102, 50, 14, IDCANCEL, u"Cancel");
    HWND dialog = CreateDialogIndirectParamW(nullptr, b.Get(), nullptr, Passive, 0);
    ASSERT_NE(dialog, nullptr);
    RECT client{};
    GetClientRect(dialog, &client);
    TestDib before(client.right, client.bottom, 24), after(client.right, client.bottom, 24);
    platform::dlg::DrawWindowTree(dialog, before.bitmap, 0, 0);
    CheckRadioButton(dialog, 21, 22, 22);
    CheckDlgButton(dialog, 23, BST_CHECKED);
    CheckDlgButton(dialog, 24, BST_CHECKED);
    SendDlgItemMessageW(dialog, 28, BM_SETSTATE, TRUE, 0);
    SetFocus(GetDlgItem(dialog, 23));
    platform::dlg::DrawWindowTree(dialog, after.bitmap, 0, 0);
    if (const char* shot = std::getenv("TESSARK_DIALOG_SHOT")) WriteBmp(after, shot);

    auto areaOf = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(dialog, id), &r);
        POINT tl{r.left, r.top}, br{r.right, r.bottom};
        ScreenToClient(dialog, &tl);
        ScreenToClient(dialog, &br);
        return RECT{tl.x, tl.y, br.x, br.y};
    };
    EXPECT_GT(Count(after, areaOf(23), Sys(COLOR_WINDOWTEXT)),
              Count(before, areaOf(23), Sys(COLOR_WINDOWTEXT)) + 10);
    EXPECT_GT(Count(after, areaOf(22), Sys(COLOR_WINDOWTEXT)),
              Count(before, areaOf(22), Sys(COLOR_WINDOWTEXT)));
    RECT push = areaOf(28);
    EXPECT_EQ(GetPixel(before.dc, push.left, push.top), Sys(COLOR_3DLIGHT));
    EXPECT_EQ(GetPixel(after.dc, push.left, push.top), Sys(COLOR_BTNSHADOW));
    // Focus on another push button takes the default frame from OK.
    RECT ok = areaOf(IDOK);
    EXPECT_EQ(GetPixel(after.dc, ok.left, ok.top), Sys(COLOR_3DDKSHADOW));
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    TestDib moved(client.right, client.bottom, 24);
    platform::dlg::DrawWindowTree(dialog, moved.bitmap, 0, 0);
    EXPECT_EQ(GetPixel(moved.dc, ok.left, ok.top), Sys(COLOR_3DLIGHT));
    RECT cancel = areaOf(IDCANCEL);
    EXPECT_EQ(GetPixel(moved.dc, cancel.left, cancel.top), Sys(COLOR_3DDKSHADOW));
    // The background between controls is the dialog face.
    EXPECT_EQ(GetPixel(after.dc, client.right - 2, client.bottom - 2), Sys(COLOR_BTNFACE));
    DestroyWindow(dialog);
}

} // namespace

namespace {

// Through the window layer: the controls paint themselves on WM_PAINT after a change.
TEST(DialogPaint, ControlsRepaintTheirWindowsAfterAChange) {
    TemplateBuilder b(WS_POPUP | WS_VISIBLE, 100, 40, u"Live");
    b.Item(0x80, BS_AUTOCHECKBOX | WS_TABSTOP, 5, 5, 80, 10, 30, u"Sound")
        .Item(0x82, SS_LEFT, 5, 20, 80, 8, 31, u"");
    HWND dialog = CreateDialogIndirectParamW(nullptr, b.Get(), nullptr, Passive, 0);
    ASSERT_NE(dialog, nullptr);
    UpdateWindow(dialog);
    HWND box = GetDlgItem(dialog, 30);
    RECT r{};
    GetClientRect(box, &r);
    const int top = (r.bottom - 13) / 2;
    auto inkInBox = [&] {
        HDC dc = GetDC(box);
        int n = 0;
        for (int y = top + 2; y < top + 11; ++y) {
            for (int x = 2; x < 11; ++x)
                n += GetPixel(dc, x, y) == Sys(COLOR_WINDOWTEXT);
        }
        ReleaseDC(box, dc);
        return n;
    };
    EXPECT_EQ(inkInBox(), 0);
    CheckDlgButton(dialog, 30, BST_CHECKED);
    UpdateWindow(dialog);
    EXPECT_GE(inkInBox(), 15);
    SendMessageW(box, BM_CLICK, 0, 0);
    UpdateWindow(dialog);
    EXPECT_EQ(inkInBox(), 0);

    HWND text = GetDlgItem(dialog, 31);
    auto darkest = [&] {
        HDC dc = GetDC(text);
        RECT t{};
        GetClientRect(text, &t);
        int d = 255;
        for (int y = 0; y < t.bottom; ++y) {
            for (int x = 0; x < t.right; ++x)
                d = std::min<int>(d, GetRValue(GetPixel(dc, x, y)));
        }
        ReleaseDC(text, dc);
        return d;
    };
    EXPECT_GT(darkest(), 150);
    SetWindowTextW(text, u"Now with text");
    UpdateWindow(dialog);
    EXPECT_LT(darkest(), 60);
    SetWindowTextW(text, u"");
    UpdateWindow(dialog);
    EXPECT_GT(darkest(), 150); // the old text is painted over
    DestroyWindow(dialog);
}

} // namespace
