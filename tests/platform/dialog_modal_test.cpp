// Dialogs from templates: modal results, owners, resources, custom classes and dialog units.
#include "platform/gdi.h"
#include "platform/user.h"
#include "tests/platform/dialog_test_support.h"
#include "tests/platform/resource_test_ids.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr UINT kFinish = WM_APP + 1;
HWND g_owner = nullptr;
bool g_ownerWasDisabled = false;
LPARAM g_initParam = 0;

// Presses its own OK button from inside its modal loop, after looking at the owner; OK ends the
// dialog with the parameter it was given.
INT_PTR CALLBACK FinishingProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        g_initParam = lParam;
        PostMessageW(dialog, kFinish, 0, 0);
        return TRUE;
    }
    if (msg == kFinish) {
        g_ownerWasDisabled = g_owner != nullptr && !IsWindowEnabled(g_owner);
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, static_cast<INT_PTR>(g_initParam));
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK EndsAtOnceProc(HWND dialog, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) EndDialog(dialog, 7);
    return FALSE;
}

INT_PTR CALLBACK PassiveProc(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int g_customDialogMessages = 0;
LRESULT CALLBACK CustomDialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++g_customDialogMessages;
    return DefDlgProcW(hwnd, msg, wParam, lParam);
}

const DLGTEMPLATE* OkCancel(TemplateBuilder& b) {
    b.Item(0x80, BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 30, 40, 14, IDOK, u"OK")
        .Item(0x80, BS_PUSHBUTTON | WS_TABSTOP, 60, 30, 40, 14, IDCANCEL, u"Cancel");
    return b.Get();
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = u"DialogOwner";
        ASSERT_NE(RegisterClassW(&wc), 0);
        g_owner = CreateWindowExW(0, u"DialogOwner", u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                  10, 200, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(g_owner, nullptr);
        g_ownerWasDisabled = false;
    }
    void TearDown() override {
        DestroyWindow(g_owner);
        g_owner = nullptr;
        UnregisterClassW(u"DialogOwner", nullptr);
    }
};

TEST_F(Dialogs, ModalDialogReturnsEndDialogsResultWithTheOwnerDisabledMeanwhile) {
    TemplateBuilder b(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 120, 50, u"Modal");
    INT_PTR result = DialogBoxIndirectParamW(nullptr, OkCancel(b), g_owner, FinishingProc, 1234);
    EXPECT_EQ(result, 1234);
    EXPECT_TRUE(g_ownerWasDisabled);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
    // The dialog is gone: no window but the owner is left with that title.
    EXPECT_EQ(FindWindowW(nullptr, u"Modal"), nullptr);
    // An owner that was already disabled stays disabled.
    EnableWindow(g_owner, FALSE);
    DialogBoxIndirectParamW(nullptr, b.Get(), g_owner, FinishingProc, 1);
    EXPECT_FALSE(IsWindowEnabled(g_owner));
    EnableWindow(g_owner, TRUE);
}

TEST_F(Dialogs, EndDialogDuringInitialisationEndsBeforeTheLoop) {
    TemplateBuilder b(WS_POPUP, 50, 50, u"Brief");
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, b.Get(), g_owner, EndsAtOnceProc, 0), 7);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
}

TEST_F(Dialogs, QuitDuringAModalLoopEndsItAndReachesTheProgramsLoop) {
    TemplateBuilder b(WS_POPUP, 50, 50, u"Quit");
    PostQuitMessage(3);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, b.Get(), g_owner, PassiveProc, 0), 0);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Dialogs, BrokenTemplatesAndMissingClassesFail) {
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, g_owner, PassiveProc, 0), -1);
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, nullptr, g_owner, PassiveProc, 0), nullptr);
    TemplateBuilder b(WS_POPUP, 50, 50, u"Missing");
    b.Item(0, 0, 0, 0, 10, 10, 5, u"", u"NoSuchControlClass");
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, b.Get(), g_owner, PassiveProc, 0), nullptr);
    EXPECT_EQ(FindWindowW(nullptr, u"Missing"), nullptr);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(4242), g_owner, PassiveProc, 0), -1);
}

TEST_F(Dialogs, ChildrenFollowDialogUnitsOfTheTemplateFont) {
    TemplateBuilder b(WS_POPUP | WS_VISIBLE, 100, 60, u"Units");
    b.Item(0x82, SS_LEFT, 8, 16, 40, 24, 10, u"text");
    HWND dialog = CreateDialogIndirectParamW(nullptr, b.Get(), g_owner, PassiveProc, 0);
    ASSERT_NE(dialog, nullptr);
    // The base units are the font's own measurements.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &extent);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    const int cx = (extent.cx / 26 + 1) / 2, cy = tm.tmHeight;
    ASSERT_GT(cx, 2);
    ASSERT_GT(cy, 6);
    EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(cx, cy));

    RECT mapped{8, 16, 48, 40};
    ASSERT_TRUE(MapDialogRect(dialog, &mapped));
    EXPECT_EQ(mapped.left, (8 * cx + 2) / 4);
    EXPECT_EQ(mapped.top, (16 * cy + 4) / 8);
    EXPECT_EQ(mapped.right, (48 * cx + 2) / 4);
    HWND text = GetDlgItem(dialog, 10);
    RECT r{};
    GetWindowRect(text, &r);
    POINT p{r.left, r.top};
    ScreenToClient(dialog, &p);
    EXPECT_EQ(p.x, mapped.left);
    EXPECT_EQ(p.y, mapped.top);
    EXPECT_EQ(r.right - r.left, (40 * cx + 2) / 4);
    EXPECT_EQ(r.bottom - r.top, (24 * cy + 4) / 8);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, (100 * cx + 2) / 4);
    EXPECT_EQ(client.bottom, (60 * cy + 4) / 8);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)), font);
    EXPECT_FALSE(MapDialogRect(g_owner, &mapped));
    DestroyWindow(dialog);
}

TEST_F(Dialogs, CompiledResourceDialogHasItsControlsInOrder) {
    HWND dialog =
        CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_NEWGAME), g_owner, PassiveProc, 0);
    ASSERT_NE(dialog, nullptr);
    WCHAR title[64];
    GetWindowTextW(dialog, title, 64);
    EXPECT_EQ(std::u16string(title), u"Tessark - New Game");
    // What a skin layer reads back: classes, styles and check state of each child in order.
    struct Seen {
        std::u16string cls;
        DWORD type;
        int id;
    };
    std::vector<Seen> seen;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        WCHAR cls[32];
        GetClassNameW(c, cls, 32);
        seen.push_back(
            {cls, static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE)) & 0xF, GetDlgCtrlID(c)});
    }
    ASSERT_EQ(seen.size(), 10u);
    EXPECT_EQ(seen[0].cls, u"Button");
    EXPECT_EQ(seen[0].type, static_cast<DWORD>(BS_GROUPBOX));
    EXPECT_EQ(seen[1].id, IDC_LEVEL_LOW);
    EXPECT_EQ(seen[1].type, static_cast<DWORD>(BS_AUTORADIOBUTTON));
    EXPECT_EQ(seen[3].cls, u"Static");
    EXPECT_EQ(seen[4].type, static_cast<DWORD>(BS_AUTOCHECKBOX));
    EXPECT_EQ(seen[7].type, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(seen[9].id, 1011);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1011)));

    // Low and High are one group; the static starts the next.
    SendDlgItemMessageW(dialog, IDC_LEVEL_LOW, BM_CLICK, 0, 0);
    SendDlgItemMessageW(dialog, IDC_SOUND, BM_CLICK, 0, 0);
    SendDlgItemMessageW(dialog, IDC_LEVEL_HIGH, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_LEVEL_LOW), 0u);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_LEVEL_HIGH), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SOUND), static_cast<UINT>(BST_CHECKED));
    // Modeless dialogs without WS_VISIBLE stay hidden until shown.
    EXPECT_FALSE(IsWindowVisible(dialog));
    DestroyWindow(dialog);

    // The same template by resource id as a modal dialog; the narrow form finds it as well.
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_NEWGAME), g_owner, FinishingProc, 55),
              55);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_NEWGAME), g_owner, FinishingProc, 56),
              56);
}

TEST_F(Dialogs, CustomDialogClassAndCustomControlClass) {
    WNDCLASSW dlg{};
    dlg.lpfnWndProc = CustomDialogClassProc;
    dlg.cbWndExtra = DLGWINDOWEXTRA;
    dlg.lpszClassName = u"TessarkClass";
    ASSERT_NE(RegisterClassW(&dlg), 0);
    WNDCLASSW anim{};
    anim.lpfnWndProc = PlainProc;
    anim.lpszClassName = u"AnimWindow";
    ASSERT_NE(RegisterClassW(&anim), 0);
    g_customDialogMessages = 0;

    HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, PassiveProc, 0);
    ASSERT_NE(dialog, nullptr);
    WCHAR cls[32];
    GetClassNameW(dialog, cls, 32);
    EXPECT_EQ(std::u16string(cls), u"TessarkClass");
    EXPECT_GT(g_customDialogMessages, 0);
    HWND child = GetDlgItem(dialog, IDC_ANIM);
    ASSERT_NE(child, nullptr);
    GetClassNameW(child, cls, 32);
    EXPECT_EQ(std::u16string(cls), u"AnimWindow");
    // The child covers the whole 160 x 185 unit client area.
    RECT client{}, anim_rect{};
    GetClientRect(dialog, &client);
    GetClientRect(child, &anim_rect);
    EXPECT_EQ(anim_rect.right, client.right);
    EXPECT_EQ(anim_rect.bottom, client.bottom);
    EXPECT_TRUE(IsWindowVisible(dialog));
    // Dialog words live in the class's extra bytes.
    SetWindowLongPtrW(dialog, DWLP_USER, 99);
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_USER), 99);
    DestroyWindow(dialog);
    UnregisterClassW(u"AnimWindow", nullptr);
    UnregisterClassW(u"TessarkClass", nullptr);
}

TEST_F(Dialogs, ModelessEndDialogHidesAndChildDialogsSitInTheirParent) {
    TemplateBuilder b(WS_POPUP | WS_VISIBLE, 50, 50, u"Modeless");
    HWND dialog = CreateDialogIndirectParamW(nullptr, b.Get(), g_owner, PassiveProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(EndDialog(dialog, 3));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(IsWindowVisible(dialog));
    DestroyWindow(dialog);
    EXPECT_FALSE(EndDialog(dialog, 3));

    TemplateBuilder page(WS_CHILD | WS_VISIBLE | DS_CONTROL, 40, 20, u"Page");
    page.Item(0x82, SS_LEFT, 0, 0, 40, 8, 11, u"page text");
    HWND child = CreateDialogIndirectParamW(nullptr, page.Get(), g_owner, PassiveProc, 0);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), g_owner);
    EXPECT_TRUE(IsChild(g_owner, child));
    EXPECT_NE(GetDlgItem(child, 11), nullptr);
    DestroyWindow(child);
}

} // namespace
