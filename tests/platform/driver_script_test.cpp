// The headless driver's scripts: input in client pixels of the active window, screenshots of
// what the program drew, waits on the simulated clock, and the end of a script closing the
// program.
#include "platform/clock.h"
#include "platform/core/driver.h"
#include "platform/dlg.h"
#include "platform/drivers/null/null_driver.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "tests/platform/bmp_file.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Tap {
    int x, y;
    DWORD time;
};
std::vector<Tap> g_taps;
std::vector<UINT> g_chars;
std::vector<int> g_answers;
HWND g_other = nullptr;

// Paints blue, with a red 5 x 5 square wherever the stylus went down.
LRESULT CALLBACK Canvas(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), red = CreateSolidBrush(RGB(255, 0, 0));
        RECT all;
        GetClientRect(hwnd, &all);
        FillRect(dc, &all, blue);
        for (const Tap& t : g_taps) {
            RECT r{t.x, t.y, t.x + 5, t.y + 5};
            FillRect(dc, &r, red);
        }
        DeleteObject(blue);
        DeleteObject(red);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        g_taps.push_back({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), GetTickCount()});
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_CHAR:
        g_chars.push_back(static_cast<UINT>(wParam));
        if (wParam == 'q') g_answers.push_back(MessageBoxW(hwnd, u"Quit?", u"Q", MB_YESNOCANCEL));
        if (wParam == 'w') {
            g_other =
                CreateWindowExW(0, u"ScriptOther", u"Other", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0,
                                0, 40, 40, hwnd, nullptr, nullptr, nullptr);
            SetForegroundWindow(g_other);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(3);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Script : public ::testing::Test {
protected:
    void SetUp() override {
        g_taps.clear();
        g_chars.clear();
        platform::clock::SetSimulated(true);
        WNDCLASSW wc{};
        wc.lpfnWndProc = Canvas;
        wc.lpszClassName = u"ScriptCanvas";
        ASSERT_NE(RegisterClassW(&wc), 0);
        // ctest runs each case in its own process, side by side: one file per case.
        shot_ = ::testing::TempDir() + "tessark_script_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp";
        std::remove(shot_.c_str());
    }
    void TearDown() override {
        platform::driver::Install(nullptr);
        UnregisterClassW(u"ScriptCanvas", nullptr);
        platform::clock::SetSimulated(false);
        std::remove(shot_.c_str());
    }
    // Plays the script against a 60 x 40 window with a caption; returns the exit code.
    int Run(const std::string& script, std::string* error = nullptr) {
        std::string e;
        platform::driver::Install(platform::drivers::null::WithScript(script, &e));
        if (error != nullptr) *error = e;
        HWND w = CreateWindowExW(0, u"ScriptCanvas", u"Canvas", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                 30, 20, 66, 64, nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(w);
        MSG m;
        int guard = 0;
        while (GetMessageW(&m, nullptr, 0, 0) > 0 && ++guard < 10000) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        EXPECT_FALSE(IsWindow(w));
        return m.message == WM_QUIT ? static_cast<int>(m.wParam) : -1;
    }
    std::string shot_;
};

TEST_F(Script, TapsLandInClientPixelsAndTheScreenshotShowsThePaintedResult) {
    std::string script = "# a comment\n"
                         "wait 100\n"
                         "tap 10 5\n"
                         "wait 250\r\n"
                         "down 40 20\n"
                         "move 41 21\n"
                         "up 41 21\n"
                         "key a\n"
                         "screenshot " +
                         shot_ + "\n";
    EXPECT_EQ(Run(script), 3); // the end of the script closed the window
    ASSERT_EQ(g_taps.size(), 2u);
    EXPECT_EQ(g_taps[0].x, 10);
    EXPECT_EQ(g_taps[0].y, 5);
    EXPECT_EQ(g_taps[1].x, 40);
    // Waits run on the simulated clock, so the times are exact.
    EXPECT_EQ(g_taps[0].time, 100u);
    EXPECT_EQ(g_taps[1].time, 350u);
    ASSERT_EQ(g_chars.size(), 1u);
    EXPECT_EQ(g_chars[0], static_cast<UINT>('a'));

    Bmp bmp;
    ASSERT_TRUE(bmp.Load(shot_));
    // The whole window: a 3-pixel frame, an 18-pixel caption, then the client area.
    EXPECT_EQ(bmp.width, 66);
    EXPECT_EQ(bmp.height, 64);
    const int cx = 3, cy = 21;
    EXPECT_EQ(bmp.At(cx + 10, cy + 5), RGB(255, 0, 0));
    EXPECT_EQ(bmp.At(cx + 14, cy + 9), RGB(255, 0, 0));
    EXPECT_EQ(bmp.At(cx + 15, cy + 10), RGB(0, 0, 255));
    EXPECT_EQ(bmp.At(cx + 42, cy + 22), RGB(255, 0, 0));
    EXPECT_EQ(bmp.At(cx + 30, cy + 30), RGB(0, 0, 255));
    EXPECT_NE(bmp.At(1, 1), RGB(0, 0, 255)); // the frame is not client paint
}

TEST_F(Script, AClosingWaitIsWaitedBeforeTheEnd) {
    const std::uint64_t start = platform::clock::NowMs();
    EXPECT_EQ(Run("tap 1 1\nwait 700\n"), 3);
    ASSERT_EQ(g_taps.size(), 1u);
    EXPECT_GE(platform::clock::NowMs(), start + 700) << "the window stayed until the wait was over";
}

TEST_F(Script, TheSameScriptGivesTheSameScreenshot) {
    std::string script = "tap 3 3\nwait 40\ntap 20 20\nscreenshot " + shot_ + "\n";
    Run(script);
    Bmp first;
    ASSERT_TRUE(first.Load(shot_));
    g_taps.clear();
    platform::clock::SetSimulated(true);
    Run(script);
    Bmp second;
    ASSERT_TRUE(second.Load(shot_));
    EXPECT_EQ(first.bytes, second.bytes);
}

TEST_F(Script, ABadScriptIsRefusedWholeAndClosesTheProgram) {
    std::string error;
    EXPECT_EQ(Run("tap 1 1\nwait soon\nscreenshot " + shot_ + "\n", &error), 3);
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_TRUE(g_taps.empty());
    EXPECT_FALSE(std::ifstream(shot_).good());
    EXPECT_EQ(Run("key NOSUCHKEY\n", &error), 3);
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_EQ(Run("tap 1\n", &error), 3);
    EXPECT_EQ(Run("close now\n", &error), 3);
    EXPECT_NE(error.find("line 1"), std::string::npos);
}

TEST_F(Script, AnswersGoToTheNextMessageBoxesInTurn) {
    g_answers.clear();
    EXPECT_EQ(Run("answer no\nkey q\nkey q\nanswer 2\nanswer Yes\nkey q\nkey q\n"), 3);
    // Without an answer the first button is pressed.
    EXPECT_EQ(g_answers, (std::vector<int>{IDNO, IDYES, IDCANCEL, IDYES}));
    std::string error;
    EXPECT_EQ(Run("answer maybe\n", &error), 3);
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_EQ(Run("answer 70000\n", &error), 3);
    EXPECT_EQ(Run("answer\n", &error), 3);
    EXPECT_EQ(g_answers.size(), 4u);
    platform::dlg::ClearMessageBoxAnswers();
}

TEST_F(Script, AScreenshotOfTheScreenHoldsEveryWindow) {
    EXPECT_EQ(Run("tap 10 5\nscreenshot " + shot_ + " screen\n"), 3);
    Bmp bmp;
    ASSERT_TRUE(bmp.Load(shot_));
    EXPECT_EQ(bmp.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(bmp.height, GetSystemMetrics(SM_CYSCREEN));
    // The window sits at (30, 20): its client area starts 3 and 21 pixels in.
    EXPECT_EQ(bmp.At(30 + 3 + 10, 20 + 21 + 5), RGB(255, 0, 0));
    EXPECT_EQ(bmp.At(30 + 3 + 30, 20 + 21 + 30), RGB(0, 0, 255));
}

LRESULT CALLBACK Other(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(Script, TheEndClosesEachWindowThatComesUpInTurn) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Other;
    wc.lpszClassName = u"ScriptOther";
    ASSERT_NE(RegisterClassW(&wc), 0);
    // The second window is active when the script ends; the canvas under it goes next.
    EXPECT_EQ(Run("key w\n"), 3);
    EXPECT_NE(g_other, nullptr);
    EXPECT_FALSE(IsWindow(g_other));
    UnregisterClassW(u"ScriptOther", nullptr);
}

TEST_F(Script, CloseEndsTheRunBeforeTheRestOfTheScript) {
    EXPECT_EQ(Run("close\ntap 5 5\n"), 3);
    EXPECT_TRUE(g_taps.empty());
}

} // namespace
