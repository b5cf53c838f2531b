// The seam to the host driver, and queue details that the pump and timers rely on.
#include "platform/clock.h"
#include "platform/core/driver.h"
#include "platform/core/icon_internal.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/user.h"
#include "tests/platform/resource_test_ids.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

// Found by argument lookup from the containers' comparisons, so not in the unnamed namespace.
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

namespace drv = platform::driver;

std::vector<std::pair<HWND, drv::WindowEvent>> g_events;

void RecordEvent(HWND hwnd, drv::WindowEvent event) {
    g_events.emplace_back(hwnd, event);
}
void SmallScreen(int* w, int* h) {
    *w = 240;
    *h = 320;
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"DriverTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override {
        drv::Install(nullptr);
        UnregisterClassW(u"DriverTest", nullptr);
        platform::clock::SetSimulated(false);
    }
    static HWND Make(DWORD style, HWND parent = nullptr, int w = 10) {
        return CreateWindowExW(0, u"DriverTest", u"", style, 0, 0, w, w, parent, nullptr, nullptr,
                               nullptr);
    }
};

TEST_F(Driver, HearsAboutTopLevelWindowsOnlyAndSizesDefaults) {
    static const drv::Driver table{"test", {SmallScreen, RecordEvent, nullptr}, {}, {}, {}};
    drv::Install(&table);
    EXPECT_STREQ(drv::Current().name, "test");
    HWND top = CreateWindowExW(0, u"DriverTest", u"", WS_POPUP | WS_VISIBLE, CW_USEDEFAULT, 0,
                               CW_USEDEFAULT, 0, nullptr, nullptr, nullptr, nullptr);
    HWND child = Make(WS_CHILD | WS_VISIBLE, top);
    RECT r{};
    GetWindowRect(top, &r);
    EXPECT_EQ(r.right - r.left, 240);
    EXPECT_EQ(r.bottom - r.top, 320);
    MoveWindow(child, 1, 1, 5, 5, TRUE);
    MoveWindow(top, 1, 1, 50, 50, TRUE);
    DestroyWindow(top);
    EXPECT_FALSE(IsWindow(child));
    using E = drv::WindowEvent;
    std::vector<std::pair<HWND, E>> want{
        {top, E::Created}, {top, E::Shown}, {top, E::Moved}, {top, E::Hidden}, {top, E::Destroyed}};
    EXPECT_EQ(g_events, want);

    drv::Install(nullptr);
    EXPECT_STREQ(drv::Current().name, "null");
}

// What the driver sees of a window when it hears that it moved.
std::vector<RECT> g_movedTo;
void RecordPlace(HWND hwnd, drv::WindowEvent event) {
    if (event != drv::WindowEvent::Moved) return;
    for (const auto& t : platform::wm::TopWindowsBottomUp())
        if (t.hwnd == hwnd) g_movedTo.push_back(t.rect);
}
RECT g_driverWorkArea{};
bool DriverWorkArea(RECT* area) {
    *area = g_driverWorkArea;
    return true;
}
bool NoWorkArea(RECT*) {
    return false;
}

TEST_F(Driver, MovesReachTheDriverWithTheWindowsNewPlace) {
    static const drv::Driver table{"test", {SmallScreen, RecordPlace, nullptr}, {}, {}, {}};
    drv::Install(&table);
    g_movedTo.clear();
    HWND top = Make(WS_POPUP | WS_VISIBLE, nullptr, 50);
    MoveWindow(top, 30, 40, 60, 70, TRUE);
    SetWindowPos(top, nullptr, -10, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(top, nullptr, 0, 0, 20, 25, SWP_NOMOVE | SWP_NOZORDER);
    MoveWindow(top, -10, 5, 20, 25, TRUE); // where it already is: nothing to tell
    std::vector<RECT> want{{30, 40, 90, 110}, {-10, 5, 50, 75}, {-10, 5, 10, 30}};
    EXPECT_EQ(g_movedTo, want);
    RECT r{};
    GetWindowRect(top, &r);
    EXPECT_EQ(r, want.back());
    DestroyWindow(top);
}

TEST_F(Driver, TheWorkAreaIsTheDriversElseTheWholeScreen) {
    auto workArea = [] {
        RECT r{};
        EXPECT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0));
        return r;
    };
    static const drv::Driver withArea{"test", {SmallScreen, nullptr, DriverWorkArea}, {}, {}, {}};
    static const drv::Driver without{"test", {SmallScreen, nullptr, NoWorkArea}, {}, {}, {}};
    drv::Install(&withArea);
    g_driverWorkArea = {0, 24, 1600, 900};
    EXPECT_EQ(workArea(), (RECT{0, 24, 1600, 900}));
    EXPECT_EQ(SystemParametersInfoA(SPI_GETWORKAREA, 0, &g_driverWorkArea, 0), TRUE);
    g_driverWorkArea = {10, 10, 10, 500}; // nothing usable: the whole screen instead
    EXPECT_EQ(workArea(), (RECT{0, 0, 240, 320}));
    drv::Install(&without);
    EXPECT_EQ(workArea(), (RECT{0, 0, 240, 320}));

    // Headless, the work area is the whole screen: the flavour's, or TESSARK_SCREEN's.
    drv::Install(nullptr);
    ASSERT_EQ(setenv("TESSARK_SCREEN", "1024x600", 1), 0);
    EXPECT_EQ(workArea(), (RECT{0, 0, 1024, 600}));
    ASSERT_EQ(setenv("TESSARK_SCREEN", "wide", 1), 0);
    int w = 0, h = 0;
    drv::ScreenSize(&w, &h);
    EXPECT_EQ(workArea(), (RECT{0, 0, w, h}));
    unsetenv("TESSARK_SCREEN");
    EXPECT_EQ(w, platform::gdi::GetScreen().width);
}

TEST_F(Driver, WindowsShowTheirOwnIconElseTheirClassIcon) {
    // The sample carries a 16 x 16 image and a 32 x 32 one: red left half, blue right half,
    // its top-left 4 x 4 corner masked out.
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_SAMPLE));
    ASSERT_NE(icon, nullptr);
    auto image = platform::wm::IconImageOf(icon);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    EXPECT_EQ(image->argb[0], 0u);
    EXPECT_EQ(image->argb[4], 0xFFFF0000u);
    EXPECT_EQ(image->argb[5 * 32 + 20], 0xFF0000FFu);
    EXPECT_EQ(image->argb[31 * 32 + 3], 0xFFFF0000u);

    // Damaged, missing or foreign resources give no icon.
    SetLastError(0);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_DAMAGED)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_MAIN)), nullptr); // not a real image
    EXPECT_EQ(LoadIconA(nullptr, "NoSuchIcon"), nullptr);

    static const drv::Driver table{"test", {SmallScreen, RecordEvent, nullptr}, {}, {}, {}};
    drv::Install(&table);
    HICON classIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_SAMPLE));
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"IconTest";
    wc.hIcon = classIcon;
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND top = CreateWindowExW(0, u"IconTest", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    EXPECT_EQ(platform::wm::IconOf(top), classIcon);
    g_events.clear();
    EXPECT_EQ(SendMessageW(top, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(platform::wm::IconOf(top), icon);
    EXPECT_EQ(SendMessageW(top, WM_GETICON, ICON_SMALL2, 0), reinterpret_cast<LRESULT>(icon));
    EXPECT_EQ(SendMessageW(top, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(SendMessageW(top, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(classIcon)), 0);
    EXPECT_EQ(SendMessageW(top, WM_SETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(classIcon));
    EXPECT_EQ(platform::wm::IconOf(top), icon); // the small one when there is no big one
    ASSERT_EQ(g_events.size(), 3u);
    EXPECT_EQ(g_events[0], std::make_pair(top, drv::WindowEvent::IconChanged));
    DestroyWindow(top);
    UnregisterClassW(u"IconTest", nullptr);

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(platform::wm::IconImageOf(icon), nullptr);
    EXPECT_TRUE(DestroyIcon(classIcon));
}

TEST_F(Driver, InjectedInputAvoidsDisabledAndHiddenWindows) {
    HWND top = Make(WS_POPUP | WS_VISIBLE, nullptr, 100);
    HWND hidden = CreateWindowExW(0, u"DriverTest", u"", WS_CHILD, 0, 0, 50, 50, top, nullptr,
                                  nullptr, nullptr);
    CreateWindowExW(0, u"DriverTest", u"", WS_CHILD | WS_VISIBLE | WS_DISABLED, 50, 50, 50, 50, top,
                    nullptr, nullptr, nullptr);
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONDOWN, POINT{10, 10}, MK_LBUTTON), top);
    // Over a disabled control the pointer belongs to its parent, as on the platform.
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONDOWN, POINT{60, 60}, MK_LBUTTON), top);
    EXPECT_EQ(WindowFromPoint(POINT{60, 60}), top);
    EXPECT_EQ(WindowFromPoint(POINT{10, 10}), top);
    ShowWindow(hidden, SW_SHOW);
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONDOWN, POINT{10, 10}, MK_LBUTTON), hidden);
    EnableWindow(top, FALSE);
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONDOWN, POINT{10, 10}, MK_LBUTTON), nullptr);
    DestroyWindow(top);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        // Removing WM_PAINT does not validate; it would come back for ever.
        if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
    }
}

TEST_F(Driver, AWindowFilterAlsoTakesItsChildrensMessages) {
    HWND a = Make(WS_POPUP);
    HWND child = Make(WS_CHILD, a);
    HWND b = Make(WS_POPUP);
    PostMessageW(b, WM_USER, 1, 0);
    PostMessageW(child, WM_USER, 2, 0);
    PostMessageW(a, WM_USER, 3, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageW(&m, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&m, a, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(Driver, TimersRestartWhenSetAgainAndDieWithTheirWindow) {
    platform::clock::SetSimulated(true);
    HWND w = Make(WS_POPUP);
    SetTimer(w, 7, 100, nullptr);
    platform::clock::AdvanceTo(90);
    SetTimer(w, 7, 100, nullptr); // restarts: next tick at 190, not 100
    MSG m{};
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(GetTickCount(), 190u);
    // A pending tick is left where it is by a look that does not take it.
    platform::clock::AdvanceTo(290);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)); // ticks do not pile up

    UINT_PTR t1 = SetTimer(nullptr, 0, 50, nullptr);
    UINT_PTR t2 = SetTimer(nullptr, 0, 50, nullptr);
    EXPECT_NE(t1, 0u);
    EXPECT_NE(t1, t2);
    EXPECT_TRUE(KillTimer(nullptr, t1));
    EXPECT_TRUE(KillTimer(nullptr, t2));

    DestroyWindow(w);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(w, 7));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    platform::clock::AdvanceTo(10000);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Driver, CloseDestroysByDefaultAndTheQuitCodeEndsThePump) {
    HWND w = Make(WS_POPUP);
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    PostMessageW(nullptr, WM_QUIT, 9, 0); // posted by hand, it keeps its place
    PostMessageW(nullptr, WM_USER, 0, 0);
    MSG m{};
    EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
}

HWND g_dirty = nullptr;

TEST_F(Driver, PaintComesAfterPostsAndBeforeTimers) {
    platform::clock::SetSimulated(true);
    HWND w = Make(WS_POPUP);
    g_dirty = w;
    platform::wm::SetPaintSource([](DWORD) { return g_dirty; });
    SetTimer(w, 1, 10, nullptr);
    platform::clock::AdvanceTo(50);
    PostMessageW(w, WM_USER, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)); // still dirty: paint again
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    g_dirty = nullptr; // validated
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    platform::wm::SetPaintSource(nullptr);
    DestroyWindow(w);
}

} // namespace
