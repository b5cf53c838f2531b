// Skinned controls: natural sizes, the cells each state draws, placements that follow the
// window, and the input of buttons, edit fields, lists, scroll bars and user-drawn controls.
#include "tests/skin/skinwindow_test_support.h"

#include "foundation/language.h"
#include "tests/engine/engine_test_support.h"

namespace {

using namespace skintest;
using Controls = SkinWindowTest;

std::pair<LONG, LONG> Sz(LONG w, LONG h) {
    return {w, h};
}

TEST_F(Controls, NaturalSizesComeFromTheCells) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    auto size = [&](DWORD kind, const TCHAR* text) {
        SkinControl* c = w->AddControl(kind, 100 + kind, 0, text, RECT{20, 20, 21, 21});
        SIZE s = c->NaturalSize();
        w->RemoveControl(c);
        return std::pair<LONG, LONG>(s.cx, s.cy);
    };
    EXPECT_EQ(size(kSkinPushButton, TEXT("")), Sz(10, 12));
    EXPECT_EQ(size(kSkinPushButton, TEXT("OK")), Sz(30, 12));
    EXPECT_EQ(size(kSkinRadioButton, TEXT("One")), Sz(8, 8));
    EXPECT_EQ(size(kSkinProgress, TEXT("")), Sz(30, 10));
    EXPECT_EQ(size(kSkinText, TEXT("x")), Sz(12, 12));
    EXPECT_EQ(size(kSkinVScroll, TEXT("")), Sz(8, 24));
    EXPECT_EQ(size(kSkinHScroll, TEXT("")), Sz(24, 8));
    EXPECT_EQ(size(kSkinEdit, TEXT("")), Sz(8, 8));
    // Two list cells, two item cells and the (absent) text borders.
    EXPECT_EQ(size(kSkinList, TEXT("")), Sz(16, 16));

    // An empty rectangle takes the natural size.
    SkinControl* button = w->AddControl(kSkinPushButton, 1, 0, TEXT("Go"), RECT{20, 20, 20, 20});
    EXPECT_EQ(ControlRect(button).right - ControlRect(button).left, 30);

    // The explicit grid form, and kinds that do not exist.
    EXPECT_EQ(SkinKindGrid(SkinGrid(3, 2)).cx, 3);
    EXPECT_EQ(SkinKindGrid(SkinGrid(3, 2)).cy, 2);
    try {
        w->AddControl(18, 2, 0, TEXT(""), RECT{0, 0, 10, 10});
        ADD_FAILURE() << "kind 18 was made";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(), kSkinUnknownKind);
    }
    EXPECT_THROW(skin->GetImage(TEXT("pbar"), 18, nullptr), cetl::exception);
    EXPECT_EQ(w->FindControl(2), nullptr);
}

TEST_F(Controls, PushButtonDrawsTheRowOfItsState) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* b = w->AddControl(kSkinPushButton, 5, 0, TEXT(""), RECT{20, 30, 80, 42});
    auto row = [&](int r) {
        return Near(Pixel(w, 20, 35), CellColor(kButtonBase, 3 * r)) &&
               Near(Pixel(w, 32, 35), CellColor(kButtonBase, 3 * r + 1)) &&
               Near(Pixel(w, 79, 35), CellColor(kButtonBase, 3 * r + 2));
    };
    EXPECT_TRUE(row(1)); // active
    Hover(w, 50, 35);
    EXPECT_TRUE(row(2)); // under the mouse
    Down(w, 50, 35);
    EXPECT_TRUE(row(3)); // pressed
    // Sliding off leaves it pressed but not under the mouse: its plain look.
    Move(w, 150, 100);
    EXPECT_TRUE(row(1));
    Move(w, 50, 35);
    EXPECT_TRUE(row(3));
    Up(w, 50, 35);
    EXPECT_TRUE(row(2));
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED)), 1);

    // A release away from the button is no click.
    Down(w, 50, 35);
    Up(w, 150, 100);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED)), 1);

    // Disabled: row 0, the text in the disabled colour, presses ignored.
    b->SetText(TEXT("Go"));
    b->SetEnabled(false);
    Hover(w, 150, 100);
    EXPECT_TRUE(row(0));
    RECT r = ControlRect(b);
    EXPECT_GT(Count(w, r, kDisabled), 0);
    EXPECT_EQ(Count(w, r, kText), 0);
    Down(w, 50, 35);
    EXPECT_TRUE(row(0));
    Up(w, 50, 35);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED)), 1);
    b->SetEnabled(true);
    EXPECT_GT(Count(w, r, kText), 0);
    EXPECT_EQ(Count(w, r, kDisabled), 0);
}

TEST_F(Controls, ButtonCaptionsStayOnOneLineCentred) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 300, 150);
    ASSERT_NE(w, nullptr);
    // Narrower than its caption: one line, centred on the button, cut at its edges.
    SkinControl* b =
        w->AddControl(kSkinPushButton, 5, 0, TEXT("Akceptu kaj daŭrigu"), RECT{20, 30, 80, 54});
    const cetl::vector<MarkupItem>& items = b->GetMarkup();
    ASSERT_FALSE(items.empty());
    LONG left = items[0].rect.left, right = items[0].rect.right;
    for (const MarkupItem& item : items) {
        EXPECT_EQ(item.rect.top, items[0].rect.top);
        left = std::min(left, item.rect.left);
        right = std::max(right, item.rect.right);
    }
    EXPECT_GT(right - left, 60);
    EXPECT_LE(std::abs((left + right) / 2 - 50), 1);
    // A radio button's label starts beside its image and stays on one line too.
    SkinControl* r = w->AddControl(kSkinRadioButton, 6, 0, TEXT("Instalu sur ambaŭ komputilojn"),
                                   RECT{20, 80, 90, 96});
    for (const MarkupItem& item : r->GetMarkup())
        EXPECT_EQ(item.rect.top, r->GetMarkup()[0].rect.top);
}

TEST_F(Controls, ProgressBarFillsWholeCells) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* bar = w->AddControl(kSkinProgress, 7, 0, TEXT(""), RECT{20, 30, 120, 40});
    // Which cell each column of the bar shows.
    auto cells = [&]() {
        std::string s;
        for (LONG x = 20; x < 120; ++x) {
            COLORREF c = Pixel(w, x, 35);
            char k = '?';
            for (int i = 0; i < 4; ++i)
                if (Near(c, CellColor(kBarBase, i))) k = static_cast<char>('0' + i);
            s += k;
        }
        return s;
    };
    auto expect = [](int ends, int filled, int empty, int right) {
        return std::string(ends, '0') + std::string(filled, '2') + std::string(empty, '1') +
               std::string(right, '3');
    };
    bar->SetPosition(50);
    EXPECT_EQ(cells(), expect(10, 40, 40, 10));
    bar->SetPosition(55);
    EXPECT_EQ(cells(), expect(10, 40, 40, 10));
    bar->SetPosition(100);
    EXPECT_EQ(cells(), expect(10, 80, 0, 10));
    bar->SetPosition(150); // kept to 100
    EXPECT_EQ(bar->GetPosition(), 100);
    bar->SetPosition(9);
    EXPECT_EQ(cells(), expect(10, 0, 80, 10));

    // Narrower than two cells: the ends share the width, the right end keeps its right part.
    bar->SetRect(RECT{20, 30, 35, 40});
    EXPECT_TRUE(Near(Pixel(w, 29, 35), CellColor(kBarBase, 0)));
    EXPECT_TRUE(Near(Pixel(w, 30, 35), CellColor(kBarBase, 3)));
    EXPECT_TRUE(Near(Pixel(w, 34, 35), CellColor(kBarBase, 3)));
}

TEST_F(Controls, PlacementsFollowTheWindow) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    RECT inner = w->GetInnerArea();
    ASSERT_EQ(inner.right, 192); // frame border 8
    SkinControl* grow = w->AddControl(kSkinPushButton, 1, 0, TEXT(""), RECT{100, 30, 150, 42});
    grow->SetPlacement(kPlaceFar | kPlaceGrow, kSkinKeep, kSkinKeep, kPlaceNear, kSkinKeep,
                       kSkinKeep);
    EXPECT_EQ(grow->GetPlacement(0).offset, 42);
    EXPECT_EQ(grow->GetPlacement(1).offset, 22);
    SkinControl* centre = w->AddControl(kSkinPushButton, 2, 0, TEXT(""), RECT{80, 60, 120, 72});
    centre->SetPlacement(kPlaceCenter, kSkinKeep, kSkinKeep, kPlaceFar | kPlaceWhole, 10,
                         kSkinKeep);
    SkinControl* shrink = w->AddControl(kSkinPushButton, 3, 0, TEXT(""), RECT{20, 90, 90, 102});
    shrink->SetPlacement(kPlaceNear | kPlaceShrink, kSkinKeep, kSkinKeep, kSkinKeep, kSkinKeep,
                         kSkinKeep);
    EXPECT_EQ(ControlRect(centre).left, 80);
    EXPECT_EQ(ControlRect(centre).bottom, 140); // 10 above the whole window's bottom

    SetWindowPos(w->GetHandle(), nullptr, 0, 0, 250, 170, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT g = ControlRect(grow);
    EXPECT_EQ(242 - g.right, 42);     // the same distance from the right edge
    EXPECT_EQ(g.right - g.left, 100); // 50 wider
    EXPECT_EQ(g.top, 30);
    EXPECT_EQ(ControlRect(centre).left, 105); // still centred
    EXPECT_EQ(ControlRect(centre).bottom, 160);
    RECT s = ControlRect(shrink);
    EXPECT_EQ(s.left, 20);
    EXPECT_EQ(s.right - s.left, 20);
    // Never below the natural size.
    SetWindowPos(w->GetHandle(), nullptr, 0, 0, 300, 170, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    s = ControlRect(shrink);
    EXPECT_EQ(s.right - s.left, 10);
}

TEST_F(Controls, RadioButtonCellsAndGroups) {
    SkinHolder& skin = Keep(SkinEntries());
    TemplateBuilder tpl(WS_POPUP, 150, 100, u"Radios");
    tpl.Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 10, 10, 60, 10, 11, u"One")
        .Item(0x80, BS_AUTORADIOBUTTON, 10, 24, 60, 10, 12, u"Two")
        .Item(0x80, BS_AUTORADIOBUTTON, 10, 38, 60, 10, 13, u"Three")
        .Item(0x80, BS_AUTOCHECKBOX | WS_GROUP, 80, 10, 60, 10, 14, u"Sound")
        .Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP, 80, 24, 60, 10, 15, u"Other");
    SkinWindow* w = FromTemplate(skin.skin, tpl);
    ASSERT_NE(w, nullptr);
    SkinControl* two = w->FindControl(12);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->GetKind(), static_cast<DWORD>(kSkinRadioButton));
    EXPECT_EQ(w->FindControl(14)->GetKind(), static_cast<DWORD>(kSkinCheckBox));
    RECT r = ControlRect(two);
    auto cellAt = [&](int k) {
        return Near(Pixel(w, r.left + 2, r.top + 2), CellColor(kToggleBase, k));
    };
    EXPECT_TRUE(cellAt(2)); // active, unchecked
    two->SetCheck(1);
    EXPECT_TRUE(cellAt(3));
    Hover(w, r.left + 3, r.top + 3);
    EXPECT_TRUE(cellAt(5)); // checked, under the mouse
    Down(w, r.left + 3, r.top + 3);
    EXPECT_TRUE(cellAt(7));
    Up(w, r.left + 3, r.top + 3);
    two->SetEnabled(false);
    two->SetCheck(0);
    EXPECT_TRUE(cellAt(0));
    two->SetEnabled(true);

    // A click checks one radio of its group and clears the others, the dialog's own buttons
    // following; the other group keeps its state.
    SkinControl* one = w->FindControl(11);
    SkinControl* other = w->FindControl(15);
    other->SetCheck(1);
    RECT r1 = ControlRect(one);
    Click(w, r1.left + 3, r1.top + 3);
    Click(w, r.left + 3, r.top + 3);
    EXPECT_EQ(two->GetCheck(), 1);
    EXPECT_EQ(one->GetCheck(), 0);
    EXPECT_EQ(other->GetCheck(), 1);
    EXPECT_EQ(IsDlgButtonChecked(w->GetOwnPage(), 12), 1u);
    EXPECT_EQ(IsDlgButtonChecked(w->GetOwnPage(), 11), 0u);
    // Once for the press and release above, once for this click.
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(12, BN_CLICKED)), 2);
    // Check boxes toggle.
    SkinControl* box = w->FindControl(14);
    RECT rb = ControlRect(box);
    Click(w, rb.left + 3, rb.top + 3);
    EXPECT_EQ(box->GetCheck(), 1);
    Click(w, rb.left + 3, rb.top + 3);
    EXPECT_EQ(box->GetCheck(), 0);
}

TEST_F(Controls, ToggleImageFollowsItsLayout) {
    SkinHolder& skin = Keep(SkinEntries("rbutton image layout = right\nrbutton image xadjust = 2\n"
                                        "rbutton image yadjust = 1\n"));
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    w->AddControl(kSkinRadioButton, 3, 0, TEXT(""), RECT{20, 30, 80, 40});
    // Cell 2 (active) at the right edge less 2, one pixel down.
    EXPECT_TRUE(Near(Pixel(w, 80 - 2 - 8, 31), CellColor(kToggleBase, 2)));
    EXPECT_TRUE(Near(Pixel(w, 80 - 2 - 1, 38), CellColor(kToggleBase, 2)));
    EXPECT_FALSE(Near(Pixel(w, 80 - 2 - 8, 30), CellColor(kToggleBase, 2)));
    EXPECT_FALSE(Near(Pixel(w, 20, 31), CellColor(kToggleBase, 2)));
}

TEST_F(Controls, TextDrawsItsBandsAndColours) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* t = w->AddControl(kSkinText, 9, 0, TEXT(""), RECT{20, 30, 40, 50});
    const POINT at[9] = {{20, 30}, {30, 31}, {39, 33}, {20, 36}, {30, 40},
                         {39, 45}, {20, 49}, {30, 47}, {39, 46}};
    for (int k = 0; k < 9; ++k)
        EXPECT_TRUE(Near(Pixel(w, at[k].x, at[k].y), CellColor(kPanelBase, k))) << k;
    t->SetRect(RECT{20, 30, 160, 60});
    t->SetText(TEXT("<b>Hello</b>"));
    EXPECT_GT(Count(w, RECT{20, 30, 160, 60}, kText), 0);
    t->SetEnabled(false);
    EXPECT_GT(Count(w, RECT{20, 30, 160, 60}, kDisabled), 0);
    EXPECT_EQ(Count(w, RECT{20, 30, 160, 60}, kText), 0);
    // The height the markup needs grows with a narrower control.
    LONG wide = t->MeasureTextHeight();
    t->SetText(TEXT("several words that need more than one line here"));
    EXPECT_GT(t->MeasureTextHeight(), wide);
}

TEST_F(Controls, TextWithoutItsImageDrawsOnlyText) {
    std::vector<ziptest::Entry> entries = SkinEntries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == "text.psp") entries.erase(entries.begin() + static_cast<long>(i));
    SkinHolder& skin = Keep(entries);
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* t = w->AddControl(kSkinText, 9, 0, TEXT("Plain"), RECT{20, 30, 150, 60});
    EXPECT_EQ(t->GetGraphics(), nullptr);
    EXPECT_TRUE(Near(Pixel(w, 149, 59), CellColor(kBackBase, 0)));
    EXPECT_GT(Count(w, RECT{20, 30, 150, 60}, kText), 0);
}

TEST_F(Controls, EditFieldTakesCaretSelectionAndCharacters) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* e = w->AddControl(kSkinEdit, 21, 0, TEXT(""), RECT{20, 30, 150, 50});
    Click(w, 60, 40);
    EXPECT_EQ(w->GetFocusControl(), e);
    HWND h = w->GetHandle();
    for (char c : std::string("abc"))
        SendMessage(h, WM_CHAR, static_cast<WPARAM>(c), 0);
    EXPECT_STREQ(e->GetText().c_str(), "abc");
    EXPECT_EQ(e->GetCaret(), 3);
    EXPECT_GT(Heard(WM_COMMAND, MAKEWPARAM(21, 0x0300)), 0); // EN_CHANGE
    SendMessage(h, WM_KEYDOWN, VK_LEFT, 0);
    SendMessage(h, WM_CHAR, VK_BACK, 0);
    EXPECT_STREQ(e->GetText().c_str(), "ac");
    EXPECT_EQ(e->GetCaret(), 1);
    SendMessage(h, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_STREQ(e->GetText().c_str(), "a");
    SendMessage(h, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(e->GetCaret(), 0);
    SendMessage(h, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(e->GetCaret(), 1);
    // The caret shows in the focused field.
    EXPECT_GT(Count(w, RECT{20, 30, 150, 50}, CellColor(0, 0)), 0);

    // Shift with the arrows selects; typing replaces the selection.
    e->SetText(TEXT("hello"));
    SendMessage(h, WM_KEYDOWN, VK_HOME, 0);
    platform::driver::InjectKey(WM_KEYDOWN, VK_SHIFT);
    Pump();
    SendMessage(h, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessage(h, WM_KEYDOWN, VK_RIGHT, 0);
    platform::driver::InjectKey(WM_KEYUP, VK_SHIFT);
    Pump();
    EXPECT_EQ(e->GetAnchor(), 0);
    EXPECT_EQ(e->GetCaret(), 2);
    EXPECT_GT(Count(w, RECT{20, 30, 150, 50}, RGB(0, 0, 0)), 0); // the selection's background
    SendMessage(h, WM_CHAR, 'J', 0);
    EXPECT_STREQ(e->GetText().c_str(), "Jllo");
    // A click at the far right puts the caret at the end.
    Click(w, 145, 40);
    EXPECT_EQ(e->GetCaret(), 4);
    // A disabled field takes nothing.
    e->SetEnabled(false);
    SendMessage(h, WM_CHAR, 'x', 0);
    EXPECT_STREQ(e->GetText().c_str(), "Jllo");
}

TEST_F(Controls, ListSelectsByMouseAndKeys) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* list = w->AddControl(kSkinList, 31, 0, TEXT(""), RECT{20, 30, 150, 120});
    for (const char* s : {"one", "two", "three", "four"})
        list->AddItem(s);
    EXPECT_EQ(list->GetSelection(), -1);
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = FontFromDescription(list->GetSettings().font.c_str());
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32(dc, TEXT("Xg"), 2, &size);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    LONG row = size.cy + 2;
    ASSERT_GT(row, 0);
    Click(w, 60, 30 + row + row / 2);
    EXPECT_EQ(list->GetSelection(), 1);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(31, 1)), 1); // LBN_SELCHANGE
    // The selected row: the selected background between the item image's edges.
    RECT second{20, 30 + row, 150, 30 + 2 * row};
    EXPECT_GT(Count(w, second, RGB(0, 0, 0)), 0);
    EXPECT_TRUE(Near(Pixel(w, 22, 30 + row), CellColor(kItemBase, 3)));
    EXPECT_TRUE(Near(Pixel(w, 147, 30 + row), CellColor(kItemBase, 5)));
    EXPECT_EQ(Count(w, RECT{20, 30, 150, 30 + row}, RGB(0, 0, 0)), 0);
    HWND h = w->GetHandle();
    SendMessage(h, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(list->GetSelection(), 2);
    SendMessage(h, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(list->GetSelection(), 3);
    SendMessage(h, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(list->GetSelection(), 3);
    SendMessage(h, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(list->GetSelection(), 0);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(31, 1)), 4);
    // A click below the last item selects nothing new.
    Click(w, 60, 115);
    EXPECT_EQ(list->GetSelection(), 0);
}

TEST_F(Controls, ScrollBarArrowsPagesAndThumb) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* bar = w->AddControl(kSkinVScroll, 41, 0, TEXT(""), RECT{20, 30, 28, 130});
    bar->SetRange(0, 100, 10);
    EXPECT_TRUE(bar->IsActive());
    Click(w, 24, 126); // the increase arrow
    EXPECT_EQ(bar->GetPosition(), 1);
    Click(w, 24, 33); // the decrease arrow
    EXPECT_EQ(bar->GetPosition(), 0);
    Click(w, 24, 100); // the track after the thumb: a page
    EXPECT_EQ(bar->GetPosition(), 10);
    EXPECT_GT(Heard(0x0115, MAKEWPARAM(5, 10)), 0); // WM_VSCROLL
    // The thumb: 8 pixels in a track of 84, dragged to the far end and back to the middle.
    LONG top = 30 + 8 + (84 - 8) * 10 / 100;
    // A one-cell thumb shows its grip (cell 11) over it; the track lies around it.
    EXPECT_TRUE(Near(Pixel(w, 24, top + 1), CellColor(kScrollBase, 11)));
    EXPECT_TRUE(Near(Pixel(w, 24, 80), CellColor(kScrollBase, 5)));
    EXPECT_TRUE(Near(Pixel(w, 24, 39), CellColor(kScrollBase, 4)));
    EXPECT_TRUE(Near(Pixel(w, 24, 121), CellColor(kScrollBase, 6)));
    Down(w, 24, top + 2);
    Move(w, 24, 200);
    EXPECT_EQ(bar->GetPosition(), 100);
    Move(w, 24, 30 + 8 + 38 + 2);
    EXPECT_EQ(bar->GetPosition(), 50);
    Up(w, 24, 30 + 8 + 38 + 2);
    // Keys go to the focused bar.
    HWND h = w->GetHandle();
    SendMessage(h, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(bar->GetPosition(), 51);
    SendMessage(h, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(bar->GetPosition(), 61);
    SendMessage(h, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(bar->GetPosition(), 0);
    // A page that covers the range leaves nothing to scroll: the bar is inactive (row 3).
    bar->SetRange(0, 10, 20);
    EXPECT_FALSE(bar->IsActive());
    EXPECT_TRUE(Near(Pixel(w, 24, 31), CellColor(kScrollBase, 12)));
    Click(w, 24, 126);
    EXPECT_EQ(bar->GetPosition(), 0);

    // A held arrow repeats after a pause, on the window's frame timer.
    bar->SetRange(0, 100, 10);
    bar->SetPosition(0);
    Down(w, 24, 126);
    EXPECT_EQ(bar->GetPosition(), 1);
    platform::clock::AdvanceTo(platform::clock::NowMs() + 200);
    SendMessage(h, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(bar->GetPosition(), 1);
    platform::clock::AdvanceTo(platform::clock::NowMs() + 300);
    SendMessage(h, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(bar->GetPosition(), 2);
    platform::clock::AdvanceTo(platform::clock::NowMs() + 60);
    SendMessage(h, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(bar->GetPosition(), 3);
    Up(w, 24, 126);
    platform::clock::AdvanceTo(platform::clock::NowMs() + 600);
    SendMessage(h, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(bar->GetPosition(), 3);

    // Horizontal bars work along x.
    SkinControl* across = w->AddControl(kSkinHScroll, 42, 0, TEXT(""), RECT{40, 30, 140, 38});
    across->SetRange(0, 20, 0);
    Click(w, 137, 34);
    EXPECT_EQ(across->GetPosition(), 1);
}

TEST_F(Controls, ProportionalThumbFollowsThePage) {
    SkinHolder& skin = Keep(SkinEntries("proportional scrollbars = 1\n"));
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* bar = w->AddControl(kSkinVScroll, 41, 0, TEXT(""), RECT{20, 30, 28, 130});
    bar->SetRange(0, 60, 20);
    // 84 x 20 / 80 = 21 pixels of thumb at the top of the track.
    EXPECT_EQ(Count(w, RECT{20, 38, 28, 122}, CellColor(kScrollBase, 9)) +
                  Count(w, RECT{20, 38, 28, 122}, CellColor(kScrollBase, 8)) +
                  Count(w, RECT{20, 38, 28, 122}, CellColor(kScrollBase, 10)) +
                  Count(w, RECT{20, 38, 28, 122}, CellColor(kScrollBase, 11)),
              21 * 8);
}

TEST_F(Controls, UserDrawnControlAsksItsPage) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    answers_[kSkinUserSize] = MAKELONG(30, 20);
    answers_[kSkinUserDraw] = TRUE;
    SkinControl* u = w->AddControl(kSkinUserDrawn, 77, 0, TEXT(""), RECT{20, 30, 20, 30});
    EXPECT_EQ(ControlRect(u).right - ControlRect(u).left, 30);
    EXPECT_EQ(ControlRect(u).bottom - ControlRect(u).top, 20);
    Pixel(w, 0, 0);
    int draws = Heard(kSkinUserDraw, 77);
    EXPECT_GT(draws, 0);
    Click(w, 25, 35);
    EXPECT_EQ(Heard(kSkinUserClick, 77), 1);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(77, BN_CLICKED)), 0);
    // A tick answered non-zero redraws it.
    answers_[kSkinUserTick] = TRUE;
    draws = Heard(kSkinUserDraw, 77);
    w->GetAnimWindow()->Paint();
    w->GetAnimWindow()->Paint();
    EXPECT_GT(Heard(kSkinUserTick, 77), 0);
    EXPECT_GT(Heard(kSkinUserDraw, 77), draws);
}

TEST_F(Controls, UserDrawnControlWithAnImageDrawsItWhenThePageDoesNot) {
    // As a message box shows its icon: the skin's image cut as one cell.
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    SkinControl* icon = w->AddControl(kSkinUserDrawn, 40010, 0, TEXT(""), RECT{16, 16, 17, 17});
    icon->SetGraphics(skin->GetImage(TEXT("pbar"), SkinGrid(1, 1), nullptr));
    EXPECT_EQ(icon->NaturalSize().cx, 40);
    EXPECT_EQ(icon->NaturalSize().cy, 10);
    icon->SetPlacement(kPlaceNear, 16, 40, kPlaceNear, 16, 10);
    EXPECT_EQ(ControlRect(icon).left, 24); // 16 into the inner area
    EXPECT_TRUE(Near(Pixel(w, 24 + 5, 24 + 5), CellColor(kBarBase, 0)));
    EXPECT_TRUE(Near(Pixel(w, 24 + 35, 24 + 5), CellColor(kBarBase, 3)));
}

TEST_F(Controls, ImagesTooSmallForTheirGridsDrawNothingAndBreakNothing) {
    std::vector<ziptest::Entry> entries = SkinEntries();
    for (ziptest::Entry& e : entries)
        if (e.name != "skin.txt" && e.name.rfind("frame", 0) != 0)
            e = File(e.name, Cells(1, 1, 1, 1, 64));
    SkinHolder& skin = Keep(entries);
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    const DWORD kinds[] = {kSkinPushButton, kSkinRadioButton, kSkinCheckBox,
                           kSkinProgress,   kSkinText,        kSkinVScroll,
                           kSkinHScroll,    kSkinEdit,        kSkinList};
    DWORD id = 1;
    for (DWORD kind : kinds) {
        SkinControl* c = w->AddControl(kind, id++, 0, TEXT("x"), RECT{20, 30, 120, 60});
        c->SetPosition(50);
        c->SetRange(0, 10, 2);
        c->AddItem(TEXT("item"));
        EXPECT_EQ(c->GetGraphics()->cellWidth, 0) << kind;
    }
    Click(w, 60, 40);
    SendMessage(w->GetHandle(), WM_CHAR, 'a', 0);
    SendMessage(w->GetHandle(), WM_KEYDOWN, VK_DOWN, 0);
    Move(w, 70, 50);
    Up(w, 70, 50);
    // Nothing of the images was drawn: the (equally small, tiled) background shows.
    EXPECT_TRUE(Near(Pixel(w, 119, 59), CellColor(64, 0)));
}

TEST_F(Controls, RepeatedIdentifiersAreTracedAndRenumbered) {
    SkinHolder& skin = Keep(SkinEntries());
    TraceCapture trace;
    TemplateBuilder tpl(WS_POPUP, 150, 100, u"Ids");
    tpl.Item(0x80, BS_PUSHBUTTON, 10, 10, 40, 12, 5, u"A")
        .Item(0x80, BS_PUSHBUTTON, 10, 30, 40, 12, 5, u"B")
        .Item(0x82, SS_LEFT, 10, 50, 40, 12, 0xFFFF, u"label");
    SkinWindow* w = FromTemplate(skin.skin, tpl);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(trace.Count("Dialog 0 contains more than one control with ID 5"), 1);
    ASSERT_EQ(w->GetControlCount(), 3u);
    EXPECT_EQ(w->GetControl(0)->GetId(), 5u);
    EXPECT_EQ(w->GetControl(1)->GetId(), 40101u);
    EXPECT_STREQ(w->GetControl(1)->GetText().c_str(), "B");
    EXPECT_EQ(w->GetControl(2)->GetId(), 40102u); // no identifier of its own: not traced
    EXPECT_EQ(trace.Count("ID 65535"), 0);

    TemplateBuilder page(WS_CHILD, 60, 40, u"");
    page.Item(0x80, BS_PUSHBUTTON, 2, 2, 40, 12, 5, u"C");
    HWND p = w->AddPageIndirect(page.Get(), Proc, 0, 107);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(trace.Count("Dialogs 0 and 107 both contain a control with ID 5"), 1);
    EXPECT_EQ(w->GetControl(3)->GetId(), 40103u);
    EXPECT_EQ(w->GetControl(3)->GetPage(), p);
}

} // namespace
