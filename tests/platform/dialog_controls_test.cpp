// Standard controls inside dialogs: radio groups, check boxes, push buttons, keyboard and mouse.
#include "platform/core/driver.h"
#include "platform/user.h"
#include "tests/platform/dialog_test_support.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<std::pair<int, int>> g_commands; // id, notification

INT_PTR CALLBACK RecordingProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_COMMAND) {
        g_commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

enum : WORD {
    kGroup = 100,
    kLow = 101,
    kMid = 102,
    kHigh = 103,
    kLabel = 104,
    kFast = 105,
    kSlow = 106,
    kSound = 107,
    kPush = 108,
};

class DialogControls : public ::testing::Test {
protected:
    void SetUp() override {
        g_commands.clear();
        TemplateBuilder b(WS_POPUP | WS_CAPTION | WS_VISIBLE, 160, 120, u"Options");
        b.Item(0x80, BS_GROUPBOX, 4, 4, 150, 50, kGroup, u"Level")
            .Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 10, 14, 60, 10, kLow, u"Low")
            .Item(0x80, BS_AUTORADIOBUTTON, 10, 26, 60, 10, kMid, u"Middle")
            .Item(0x80, BS_AUTORADIOBUTTON, 10, 38, 60, 10, kHigh, u"High")
            .Item(0x82, SS_LEFT | WS_GROUP, 80, 14, 60, 8, kLabel, u"Speed")
            .Item(0x80, BS_AUTORADIOBUTTON, 80, 26, 60, 10, kFast, u"Fast")
            .Item(0x80, BS_AUTORADIOBUTTON, 80, 38, 60, 10, kSlow, u"Slow")
            .Item(0x80, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 10, 60, 60, 10, kSound, u"Sound")
            .Item(0x80, BS_PUSHBUTTON | WS_TABSTOP, 10, 80, 50, 14, kPush, u"Test")
            .Item(0x80, BS_DEFPUSHBUTTON | WS_TABSTOP, 60, 100, 40, 14, IDOK, u"OK")
            .Item(0x80, BS_PUSHBUTTON | WS_TABSTOP, 110, 100, 40, 14, IDCANCEL, u"Cancel");
        dialog_ = CreateDialogIndirectParamW(nullptr, b.Get(), nullptr, RecordingProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
    }
    HWND Item(int id) { return GetDlgItem(dialog_, id); }
    bool Checked(int id) { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
    void Key(HWND target, UINT vk) {
        MSG msg{target, WM_KEYDOWN, vk, 0, 0, {}};
        IsDialogMessageW(dialog_, &msg);
        MSG up{target, WM_KEYUP, vk, 0, 0, {}};
        IsDialogMessageW(dialog_, &up);
    }
    HWND dialog_ = nullptr;
};

TEST_F(DialogControls, AutoRadioButtonsAreExclusiveWithinTheirGroupOnly) {
    SendMessageW(Item(kLow), BM_CLICK, 0, 0);
    SendMessageW(Item(kFast), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(kLow));
    EXPECT_TRUE(Checked(kFast)); // the static with WS_GROUP started a new group
    SendMessageW(Item(kHigh), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(kLow));
    EXPECT_FALSE(Checked(kMid));
    EXPECT_TRUE(Checked(kHigh));
    EXPECT_TRUE(Checked(kFast));
    SendMessageW(Item(kSlow), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(kFast));
    EXPECT_TRUE(Checked(kHigh));
    // Clicking a checked radio button keeps it checked and still notifies.
    g_commands.clear();
    SendMessageW(Item(kSlow), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(kSlow));
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0], std::make_pair(int(kSlow), int(BN_CLICKED)));
}

TEST_F(DialogControls, CheckCallsSetStateWithoutNotifying) {
    EXPECT_TRUE(CheckRadioButton(dialog_, kLow, kHigh, kMid));
    EXPECT_TRUE(Checked(kMid));
    EXPECT_FALSE(Checked(kLow));
    CheckRadioButton(dialog_, kLow, kHigh, kLow);
    EXPECT_TRUE(Checked(kLow));
    EXPECT_FALSE(Checked(kMid));
    EXPECT_TRUE(CheckDlgButton(dialog_, kSound, BST_CHECKED));
    EXPECT_EQ(SendDlgItemMessageW(dialog_, kSound, BM_GETCHECK, 0, 0), BST_CHECKED);
    CheckDlgButton(dialog_, kSound, BST_UNCHECKED);
    EXPECT_FALSE(Checked(kSound));
    // Push buttons and missing items have no check state.
    CheckDlgButton(dialog_, kPush, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog_, kPush), 0u);
    EXPECT_FALSE(CheckDlgButton(dialog_, 999, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog_, 999), 0u);
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(DialogControls, MouseClickNeedsPressAndReleaseInside) {
    HWND box = Item(kSound);
    SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCapture(), box);
    EXPECT_TRUE(SendMessageW(box, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(Checked(kSound));
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].first, kSound);

    // Dragged off before release: no click.
    SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-30, 5));
    EXPECT_FALSE(SendMessageW(box, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(-30, 5));
    EXPECT_TRUE(Checked(kSound));
    EXPECT_EQ(g_commands.size(), 1u);
}

TEST_F(DialogControls, InjectedMouseGoesThroughTheQueueToTheControl) {
    RECT r{};
    GetWindowRect(Item(kSound), &r);
    POINT p{r.left + 3, r.top + 3};
    platform::driver::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    platform::driver::InjectMouse(WM_LBUTTONUP, p, 0);
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(dialog_, &msg)) DispatchMessageW(&msg);
    }
    EXPECT_TRUE(Checked(kSound));
}

TEST_F(DialogControls, ThePointerGoesThroughAGroupBoxToTheButtonsInIt) {
    RECT r{};
    GetWindowRect(Item(kMid), &r);
    POINT p{r.left + 3, r.top + 3};
    EXPECT_EQ(WindowFromPoint(p), Item(kMid));
    platform::driver::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    platform::driver::InjectMouse(WM_LBUTTONUP, p, 0);
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(dialog_, &msg)) DispatchMessageW(&msg);
    }
    EXPECT_TRUE(Checked(kMid));
    // Inside the frame but on no button: the dialog itself.
    GetWindowRect(Item(kGroup), &r);
    EXPECT_EQ(WindowFromPoint({r.right - 3, r.bottom - 3}), dialog_);
}

TEST_F(DialogControls, DisabledButtonsIgnoreClicks) {
    EnableWindow(Item(kSound), FALSE);
    SendMessageW(Item(kSound), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(kSound));
    EXPECT_TRUE(g_commands.empty());
    EnableWindow(Item(kSound), TRUE);
    SendMessageW(Item(kSound), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(kSound));
}

TEST_F(DialogControls, SpaceClicksTheFocusedButton) {
    SetFocus(Item(kSound));
    Key(Item(kSound), VK_SPACE);
    EXPECT_TRUE(Checked(kSound));
    Key(Item(kSound), VK_SPACE);
    EXPECT_FALSE(Checked(kSound));
    EXPECT_EQ(g_commands.size(), 2u);
}

TEST_F(DialogControls, TabVisitsTabStopsAndGroupsOnce) {
    CheckRadioButton(dialog_, kLow, kHigh, kMid);
    SetFocus(Item(kSound));
    Key(Item(kSound), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(kPush));
    Key(Item(kPush), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDOK));
    Key(Item(IDOK), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDCANCEL));
    Key(Item(IDCANCEL), VK_TAB);
    // Round again into the radio group, onto its checked button.
    EXPECT_EQ(GetFocus(), Item(kMid));
    Key(Item(kMid), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(kSound));
    // Disabled controls are skipped.
    EnableWindow(Item(kPush), FALSE);
    Key(Item(kSound), VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDOK));
}

TEST_F(DialogControls, ArrowsMoveAndCheckWithinARadioGroup) {
    CheckRadioButton(dialog_, kLow, kHigh, kLow);
    SetFocus(Item(kLow));
    Key(Item(kLow), VK_DOWN);
    EXPECT_EQ(GetFocus(), Item(kMid));
    EXPECT_TRUE(Checked(kMid));
    EXPECT_FALSE(Checked(kLow));
    Key(Item(kMid), VK_DOWN);
    Key(Item(kHigh), VK_DOWN); // wraps inside the group, never into the next one
    EXPECT_EQ(GetFocus(), Item(kLow));
    EXPECT_TRUE(Checked(kLow));
    Key(Item(kLow), VK_UP);
    EXPECT_EQ(GetFocus(), Item(kHigh));
    EXPECT_FALSE(Checked(kFast));
    EXPECT_FALSE(Checked(kSlow));
}

TEST_F(DialogControls, EnterPressesTheDefaultOrFocusedButtonAndEscapeCancels) {
    SetFocus(Item(kSound));
    Key(Item(kSound), VK_RETURN);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].first, IDOK);
    SetFocus(Item(kPush));
    Key(Item(kPush), VK_RETURN);
    ASSERT_EQ(g_commands.size(), 2u);
    EXPECT_EQ(g_commands[1].first, kPush);
    Key(Item(kPush), VK_ESCAPE);
    ASSERT_EQ(g_commands.size(), 3u);
    EXPECT_EQ(g_commands[2].first, IDCANCEL);
    SendMessageW(dialog_, WM_CLOSE, 0, 0);
    ASSERT_EQ(g_commands.size(), 4u);
    EXPECT_EQ(g_commands[3].first, IDCANCEL);
    EXPECT_TRUE(IsWindow(dialog_)); // closing is the dialog's decision
    // A disabled default button is not pressed.
    EnableWindow(Item(IDOK), FALSE);
    SetFocus(Item(kSound));
    Key(Item(kSound), VK_RETURN);
    EXPECT_EQ(g_commands.size(), 4u);
}

TEST_F(DialogControls, ItemTextAndNarrowForms) {
    EXPECT_TRUE(SetDlgItemTextW(dialog_, kLabel, u"Speed:"));
    WCHAR wide[16];
    EXPECT_EQ(GetDlgItemTextW(dialog_, kLabel, wide, 16), 6u);
    EXPECT_EQ(std::u16string(wide), u"Speed:");
    EXPECT_TRUE(SetDlgItemTextA(dialog_, kLabel, "Rapideco \xC4\x89"));
    char narrow[32];
    EXPECT_EQ(GetDlgItemTextA(dialog_, kLabel, narrow, 32), 11u);
    EXPECT_STREQ(narrow, "Rapideco \xC4\x89");
    char tiny[4];
    GetDlgItemTextA(dialog_, kLabel, tiny, 4);
    EXPECT_STREQ(tiny, "Rap");
    EXPECT_FALSE(SetDlgItemTextW(dialog_, 999, u"x"));
    wide[0] = u'z';
    EXPECT_EQ(GetDlgItemTextW(dialog_, 999, wide, 16), 0u);
    EXPECT_EQ(wide[0], 0);
}

} // namespace
