// The window core keeps classes, windows, words, text and geometry as the platform does.
#include "platform/user.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Logged {
    HWND hwnd;
    UINT message;
};
std::vector<Logged> g_log;
LRESULT g_createResult = 0;

LRESULT LoggingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_log.push_back({hwnd, msg});
    if (msg == WM_CREATE) return g_createResult;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class WindowTree : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        g_createResult = 0;
        WNDCLASSW wc{};
        wc.lpfnWndProc = LoggingProc;
        wc.cbWndExtra = 8;
        wc.cbClsExtra = 4;
        wc.lpszClassName = u"TreeTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override {
        for (HWND h : made_) {
            if (IsWindow(h)) DestroyWindow(h);
        }
        EXPECT_TRUE(UnregisterClassW(u"TreeTest", nullptr));
    }
    HWND Make(HWND parent, DWORD style, int id = 0, int x = 0, int y = 0, int w = 100, int h = 50) {
        HWND hwnd =
            CreateWindowExW(0, u"TreeTest", u"", style, x, y, w, h, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        made_.push_back(hwnd);
        return hwnd;
    }
    std::vector<UINT> MessagesOf(HWND hwnd, UINT a, UINT b) {
        std::vector<UINT> out;
        for (auto& l : g_log) {
            if (l.hwnd == hwnd && (l.message == a || l.message == b)) out.push_back(l.message);
        }
        return out;
    }
    std::vector<HWND> made_;
};

LRESULT NoopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(WindowTree, ClassesRegisterOnceAndCopyFromTheSystemStatic) {
    WNDCLASSW again{};
    again.lpfnWndProc = NoopProc;
    again.lpszClassName = u"treetest"; // names ignore case
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterClassW(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    // The single-instance window class is a copy of "Static" with the default procedure and
    // one window word.
    WNDCLASSW wc{};
    ASSERT_TRUE(GetClassInfoW(nullptr, u"Static", &wc));
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbWndExtra = 4;
    wc.lpszClassName = u"Copied IPC";
    ASSERT_NE(RegisterClassW(&wc), 0);
    WNDCLASSA back{};
    ASSERT_TRUE(GetClassInfoA(nullptr, "COPIED ipc", &back));
    EXPECT_EQ(back.cbWndExtra, 4);
    EXPECT_EQ(back.lpfnWndProc, DefWindowProcW);
    EXPECT_STREQ(back.lpszClassName, "Copied IPC");

    HWND ipc = CreateWindowExA(0, "Copied IPC", "", WS_POPUP, -10, -10, 5, 5, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(ipc, nullptr);
    char name[32];
    EXPECT_EQ(GetClassNameA(ipc, name, sizeof(name)), 10);
    EXPECT_STREQ(name, "Copied IPC");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassA("Copied IPC", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    EXPECT_TRUE(DestroyWindow(ipc));
    EXPECT_TRUE(UnregisterClassA("Copied IPC", nullptr));
    EXPECT_FALSE(GetClassInfoA(nullptr, "Copied IPC", &back));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateWindowExA(0, "Copied IPC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WindowTree, WindowAndClassWordsStayInsideTheirBytes) {
    HWND w = Make(nullptr, WS_POPUP);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SetWindowLongW(w, 0, 0x416E696D), 0);
    EXPECT_EQ(SetWindowLongW(w, 4, -7), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(w, 0), 0x416E696D);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu); // success says nothing
    EXPECT_EQ(GetWindowLongW(w, 4), -7);
    EXPECT_EQ(SetWindowLongPtrW(w, 0, 0x123456789ALL),
              static_cast<LONG_PTR>(static_cast<std::uint32_t>(-7)) << 32 | 0x416E696D);
    EXPECT_EQ(GetWindowLongPtrW(w, 0), 0x123456789ALL);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(w, 5), 0); // would read past the 8 bytes
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongPtrW(w, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(w, GWLP_WNDPROC), 0); // a pointer never fits the 32-bit form
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE)), static_cast<DWORD>(WS_POPUP));
    SetWindowLongPtrW(w, GWLP_USERDATA, 42);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 42);

    EXPECT_EQ(SetClassLongW(w, 0, 99), 0u);
    EXPECT_EQ(GetClassLongW(w, 0), 99u);
    EXPECT_EQ(GetClassLongW(w, GCL_CBWNDEXTRA), 8u);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetClassLongW(w, 2), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    // Subclassing: the new procedure sees the message and hands it on.
    auto old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NoopProc)));
    EXPECT_EQ(old, LoggingProc);
    g_log.clear();
    SendMessageW(w, WM_USER + 5, 0, 0);
    EXPECT_TRUE(g_log.empty());
    CallWindowProcW(old, w, WM_USER + 6, 0, 0);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0].message, static_cast<UINT>(WM_USER + 6));
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));

    ASSERT_TRUE(DestroyWindow(w));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(w, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowTree, HandlesSurviveAThirtyTwoBitWord) {
    HWND w = Make(nullptr, WS_POPUP);
    HWND ipc = Make(nullptr, WS_POPUP);
    SetWindowLongW(ipc, 0, static_cast<LONG>(reinterpret_cast<LONG_PTR>(w)));
    auto back = reinterpret_cast<HWND>(static_cast<LONG_PTR>(GetWindowLongW(ipc, 0)));
    EXPECT_TRUE(IsWindow(back));
    EXPECT_EQ(GetWindowLongPtrW(back, GWLP_USERDATA), 0);
    EXPECT_TRUE(PostMessageW(back, WM_USER, 0, 0));
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
}

TEST_F(WindowTree, DestroyGoesDownTheTreeAndNotifiesChildrenBeforeTheParentIsGone) {
    HWND parent = Make(nullptr, WS_POPUP);
    HWND a = Make(parent, WS_CHILD, 1);
    HWND b = Make(parent, WS_CHILD, 2);
    HWND grand = Make(a, WS_CHILD, 3);
    HWND owned = Make(parent, WS_POPUP); // a top-level window owned by parent
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(GetParent(owned), parent);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), parent);
    g_log.clear();

    ASSERT_TRUE(DestroyWindow(parent));
    auto index = [&](HWND h, UINT msg) {
        for (std::size_t i = 0; i < g_log.size(); ++i) {
            if (g_log[i].hwnd == h && g_log[i].message == msg) return static_cast<int>(i);
        }
        return -1;
    };
    for (HWND h : {parent, a, b, grand, owned}) {
        EXPECT_GE(index(h, WM_DESTROY), 0);
        EXPECT_GE(index(h, WM_NCDESTROY), 0);
        EXPECT_FALSE(IsWindow(h));
    }
    EXPECT_LT(index(owned, WM_NCDESTROY), index(parent, WM_DESTROY)); // owned ones first
    EXPECT_LT(index(parent, WM_DESTROY), index(a, WM_DESTROY));
    EXPECT_LT(index(a, WM_DESTROY), index(grand, WM_DESTROY));
    EXPECT_LT(index(grand, WM_NCDESTROY), index(a, WM_NCDESTROY));
    EXPECT_LT(index(a, WM_NCDESTROY), index(b, WM_DESTROY));
    EXPECT_LT(index(b, WM_NCDESTROY), index(parent, WM_NCDESTROY));
    EXPECT_EQ(MessagesOf(a, WM_DESTROY, WM_NCDESTROY).size(), 2u); // exactly once each

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTree, ChildrenWalkInCreationOrder) {
    HWND dlg = Make(nullptr, WS_POPUP);
    HWND c1 = Make(dlg, WS_CHILD, 1005);
    HWND c2 = Make(dlg, WS_CHILD, 1006);
    HWND c3 = Make(dlg, WS_CHILD, 1007);
    HWND inner = Make(c2, WS_CHILD, 9);
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), c1);
    EXPECT_EQ(GetWindow(c1, GW_HWNDNEXT), c2);
    EXPECT_EQ(GetWindow(c2, GW_HWNDNEXT), c3);
    EXPECT_EQ(GetWindow(c3, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(c3, GW_HWNDPREV), c2);
    EXPECT_EQ(GetDlgItem(dlg, 1006), c2);
    EXPECT_EQ(GetDlgCtrlID(c3), 1007);
    EXPECT_EQ(GetDlgItem(dlg, 9), nullptr); // only direct children
    EXPECT_EQ(GetParent(inner), c2);
    EXPECT_TRUE(IsChild(dlg, inner));
    EXPECT_FALSE(IsChild(c1, inner));

    std::vector<HWND> seen;
    EnumChildWindows(
        dlg,
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&seen));
    EXPECT_EQ(seen, (std::vector<HWND>{c1, c2, inner, c3}));

    // Moving one to the bottom of its siblings changes the walk.
    SetWindowPos(c1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(dlg, GW_CHILD), c2);
    EXPECT_EQ(GetWindow(c3, GW_HWNDNEXT), c1);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, u"TreeTest", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTree, TopLevelWindowsAreFoundByClassWhateverTheCase) {
    HWND w = CreateWindowExW(0, u"TreeTest", u"Finder Title", WS_POPUP, 0, 0, 1, 1, nullptr,
                             nullptr, nullptr, nullptr);
    made_.push_back(w);
    EXPECT_EQ(FindWindowW(u"TREETEST", nullptr), w);
    EXPECT_EQ(FindWindowA(nullptr, "Finder Title"), w);
    EXPECT_EQ(FindWindowA("TreeTest", "Other"), nullptr);
    struct Hit {
        HWND want;
        bool found;
    } hit{w, false};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* hit = reinterpret_cast<Hit*>(p);
            if (h == hit->want) hit->found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&hit));
    EXPECT_TRUE(hit.found);
}

TEST_F(WindowTree, GeometryIsKeptInParentClientCoordinates) {
    HWND top = Make(nullptr, WS_POPUP | WS_CAPTION, 0, 100, 50, 240, 294);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(top, &r));
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.bottom, 344);
    RECT client{};
    ASSERT_TRUE(GetClientRect(top, &client));
    RECT adjusted = client;
    AdjustWindowRect(&adjusted, WS_POPUP | WS_CAPTION, FALSE);
    EXPECT_EQ(adjusted.right - adjusted.left, 240);
    EXPECT_EQ(adjusted.bottom - adjusted.top, 294);

    HWND child = Make(top, WS_CHILD, 1005, 10, 20, 30, 40);
    POINT p{0, 0};
    ClientToScreen(child, &p);
    POINT origin{0, 0};
    ClientToScreen(top, &origin);
    EXPECT_EQ(p.x, origin.x + 10);
    EXPECT_EQ(p.y, origin.y + 20);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);

    // Resizing to fill the parent's client area reports the new client size.
    g_log.clear();
    ASSERT_TRUE(MoveWindow(child, 0, 0, client.right, client.bottom, TRUE));
    EXPECT_EQ(MessagesOf(child, WM_SIZE, WM_MOVE), (std::vector<UINT>{WM_SIZE, WM_MOVE}));
    RECT cr{};
    GetClientRect(child, &cr);
    EXPECT_EQ(cr.right, client.right);
    EXPECT_EQ(cr.bottom, client.bottom);
    g_log.clear();
    SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(MessagesOf(child, WM_SIZE, WM_MOVE).empty());
}

TEST_F(WindowTree, TextRoundTripsInBothForms) {
    HWND w = Make(nullptr, WS_POPUP);
    ASSERT_TRUE(SetWindowTextA(w, "Tessark - Nova Ludo ĉĝĥĵŝŭ"));
    WCHAR wide[64];
    int n = GetWindowTextW(w, wide, 64);
    EXPECT_EQ(std::u16string(wide, static_cast<std::size_t>(n)), u"Tessark - Nova Ludo ĉĝĥĵŝŭ");
    char narrow[64];
    EXPECT_EQ(GetWindowTextLengthA(w),
              static_cast<int>(std::string("Tessark - Nova Ludo ĉĝĥĵŝŭ").size()));
    GetWindowTextA(w, narrow, sizeof(narrow));
    EXPECT_STREQ(narrow, "Tessark - Nova Ludo ĉĝĥĵŝŭ");
    // A short buffer is cut at a whole character and terminated.
    char tiny[22];
    GetWindowTextA(w, tiny, sizeof(tiny));
    EXPECT_STREQ(tiny, "Tessark - Nova Ludo ");
    WCHAR four[4];
    EXPECT_EQ(GetWindowTextW(w, four, 4), 3);
    EXPECT_EQ(std::u16string(four), u"Tes");
    // Broken UTF-8 becomes replacement characters, never a cut or a hidden NUL.
    ASSERT_TRUE(SetWindowTextA(w, "a\xC0\x80"
                                  "b\xE2\x82"
                                  "c\xFF"));
    int got = GetWindowTextW(w, wide, 64);
    std::u16string text(wide);
    EXPECT_EQ(static_cast<int>(text.size()), got);
    std::u16string letters;
    for (char16_t ch : text) {
        if (ch != u'\uFFFD') letters += ch;
    }
    EXPECT_EQ(letters, u"abc");
    EXPECT_GE(got, 6) << "each broken sequence leaves at least one replacement character";
    SetWindowTextA(w, "Tessark");
    char viaMessage[8];
    EXPECT_EQ(SendMessageA(w, WM_GETTEXT, sizeof(viaMessage), reinterpret_cast<LPARAM>(viaMessage)),
              7);
    EXPECT_STREQ(viaMessage, "Tessark");
}

TEST_F(WindowTree, EnableAndVisibilityFollowThePlatform) {
    HWND top = Make(nullptr, WS_POPUP);
    HWND child = Make(top, WS_CHILD | WS_VISIBLE, 1);
    EXPECT_FALSE(IsWindowVisible(child)); // its parent is hidden
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(ShowWindow(top, SW_SHOW));
    EXPECT_FALSE(EnableWindow(child, FALSE)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_TRUE(EnableWindow(child, TRUE)); // was disabled
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_EQ(MessagesOf(child, WM_ENABLE, WM_ENABLE).size(), 2u);
    ShowWindow(top, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(top));
}

TEST_F(WindowTree, ActivationTellsBothWindowsAndBringsToTheFront) {
    HWND a = Make(nullptr, WS_POPUP | WS_VISIBLE);
    HWND b = Make(nullptr, WS_POPUP | WS_VISIBLE);
    HWND child = Make(a, WS_CHILD | WS_VISIBLE, 1005);
    g_log.clear();
    EXPECT_TRUE(SetForegroundWindow(child)); // the top-level window is the one activated
    EXPECT_EQ(GetForegroundWindow(), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), a);
    EXPECT_EQ(MessagesOf(a, WM_ACTIVATE, WM_ACTIVATE).size(), 1u);
    g_log.clear();
    EXPECT_TRUE(SetForegroundWindow(a)); // already active: nothing more is said
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(SetActiveWindow(b), a);
    ASSERT_EQ(g_log.size(), 2u);
    EXPECT_EQ(g_log[0].hwnd, a); // the loser hears first
    EXPECT_EQ(g_log[1].hwnd, b);
    EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), b);
    DestroyWindow(b);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(WindowTree, CreationCanBeRefused) {
    g_createResult = -1;
    HWND w = Make(nullptr, WS_POPUP);
    EXPECT_EQ(w, nullptr);
    ASSERT_GE(g_log.size(), 3u);
    HWND refused = g_log[0].hwnd;
    EXPECT_EQ(g_log[0].message, static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(MessagesOf(refused, WM_DESTROY, WM_NCDESTROY),
              (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(refused));
}

TEST_F(WindowTree, CreateParamsReachTheProcedure) {
    static LPVOID seen = nullptr;
    static std::u16string title;
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_CREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            seen = cs->lpCreateParams;
            title = cs->lpszName;
        }
        return DefWindowProcW(h, m, wp, lp);
    };
    wc.lpszClassName = u"ParamTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    int marker = 0;
    HWND w = CreateWindowExW(0, u"ParamTest", u"Titled", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             nullptr, &marker);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(seen, &marker);
    EXPECT_EQ(title, u"Titled");
    DestroyWindow(w);
    UnregisterClassW(u"ParamTest", nullptr);
}

} // namespace
