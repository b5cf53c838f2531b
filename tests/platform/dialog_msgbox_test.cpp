// Message boxes answer by themselves under the null driver: queued answers, a hook, or the first
// button; and their buttons are the sets the type asks for.
#include "platform/shell.h"
#define TESSARK_DIALOG_TEST_BMP
#include "platform/user.h"
#include "tests/platform/dialog_test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<int, std::u16string>> g_buttons;
std::u16string g_caption;
bool g_hasIcon = false;
HWND g_owner = nullptr;
bool g_ownerDisabled = false;

int Inspect(HWND box, UINT) {
    g_buttons.clear();
    g_hasIcon = false;
    WCHAR text[64];
    GetWindowTextW(box, text, 64);
    g_caption = text;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        WCHAR cls[16];
        GetClassNameW(c, cls, 16);
        DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
        if (std::u16string(cls) == u"Button") {
            GetWindowTextW(c, text, 64);
            g_buttons.emplace_back(GetDlgCtrlID(c), text);
        } else if ((style & SS_TYPEMASK) == SS_ICON) {
            g_hasIcon = true;
        }
    }
    g_ownerDisabled = g_owner != nullptr && !IsWindowEnabled(g_owner);
    if (const char* shot = std::getenv("TESSARK_MSGBOX_SHOT")) {
        RECT client{};
        GetClientRect(box, &client);
        TestDib dib(client.right, client.bottom, 24);
        platform::dlg::DrawWindowTree(box, dib.bitmap, 0, 0);
        WriteBmp(dib, shot);
    }
    return 0; // leave the answer to the default
}

int AnswerNo(HWND, UINT) {
    return IDNO;
}

std::vector<int> Ids() {
    std::vector<int> ids;
    for (auto& [id, text] : g_buttons)
        ids.push_back(id);
    return ids;
}

class MessageBoxes : public ::testing::Test {
protected:
    void TearDown() override { platform::dlg::ClearMessageBoxAnswers(); }
};

TEST_F(MessageBoxes, EachTypeHasItsButtonsAndTheFirstAnswersByDefault) {
    platform::dlg::SetMessageBoxAnswer(Inspect);
    struct Case {
        UINT type;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {MB_OK, {IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO, {IDYES, IDNO}},
        {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MessageBoxW(nullptr, u"Text", u"Caption", c.type), c.ids.front()) << c.type;
        EXPECT_EQ(Ids(), c.ids) << c.type;
        EXPECT_FALSE(g_hasIcon);
    }
    EXPECT_EQ(g_caption, u"Caption");
    MessageBoxW(nullptr, u"Text", nullptr, MB_OK | MB_ICONQUESTION);
    EXPECT_EQ(g_caption, u"Error");
    EXPECT_TRUE(g_hasIcon);
}

TEST_F(MessageBoxes, QueuedAnswersComeFirstThenTheHook) {
    platform::dlg::QueueMessageBoxAnswer(IDCANCEL);
    platform::dlg::QueueMessageBoxAnswer(IDNO);
    platform::dlg::SetMessageBoxAnswer(AnswerNo);
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"b", MB_YESNOCANCEL | MB_ICONWARNING), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"b", MB_YESNO), IDNO); // the hook
    platform::dlg::ClearMessageBoxAnswers();
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"b", MB_YESNO), IDYES);
    // An answer the box does not offer falls back to its first button.
    platform::dlg::QueueMessageBoxAnswer(IDRETRY);
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"b", MB_OKCANCEL), IDOK);
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(MessageBoxes, TheOwnerIsDisabledWhileTheBoxIsUp) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = u"BoxOwner";
    ASSERT_NE(RegisterClassW(&wc), 0);
    g_owner = CreateWindowExW(0, u"BoxOwner", u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                              nullptr, nullptr, nullptr, nullptr);
    platform::dlg::SetMessageBoxAnswer(Inspect);
    EXPECT_EQ(MessageBoxA(g_owner,
                          "Long text that wraps over several lines of the box because "
                          "it is much wider than the screen of the device allows.",
                          "Memory Manager", MB_OKCANCEL | MB_ICONSTOP | MB_DEFBUTTON2),
              IDOK);
    EXPECT_TRUE(g_ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
    EXPECT_EQ(g_caption, u"Memory Manager");
    DestroyWindow(g_owner);
    g_owner = nullptr;
    UnregisterClassW(u"BoxOwner", nullptr);
}

TEST(Shell, CallsSucceedWithoutChangingWindows) {
    EXPECT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_FALSE(SHFullScreen(nullptr, SHFS_HIDESIPBUTTON));
    SHINITDLGINFO info{SHIDIM_FLAGS, nullptr, SHIDIF_FULLSCREENNOMENUBAR};
    EXPECT_FALSE(SHInitDialog(&info));
    EXPECT_FALSE(SHInitDialog(nullptr));
}

} // namespace
