// The library's start-up and its extended static text.
#include "controls/gl_init.h"
#include "controls/gl_staticex.h"
#include "controls_test_support.h"

namespace {

class StaticEx : public ControlTest {
protected:
    HWND Make(DWORD style, const TCHAR* text) {
        EXPECT_TRUE(ControlsInit(GetModuleHandle(nullptr)));
        HWND hwnd = CreateWindowEx(0, STATICEX_CLASS, text, WS_POPUP | WS_VISIBLE | style, 0, 0, 80,
                                   30, nullptr, nullptr, GetModuleHandle(nullptr), nullptr);
        if (hwnd) windows_.push_back(hwnd);
        return hwnd;
    }
    int CountIn(HWND hwnd, COLORREF color) {
        UpdateWindow(hwnd);
        int n = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 80; ++x)
                if (Near(WindowPixel(hwnd, x, y), color)) ++n;
        return n;
    }
};

TEST_F(StaticEx, InitRegistersTheClassOnce) {
    EXPECT_TRUE(ControlsInit(GetModuleHandle(nullptr)));
    EXPECT_TRUE(ControlsInit(GetModuleHandle(nullptr)));
    EXPECT_TRUE(AreControlsInitialized());
    WNDCLASS wc{};
    EXPECT_TRUE(GetClassInfo(GetModuleHandle(nullptr), STATICEX_CLASS, &wc));
}

TEST_F(StaticEx, TextInItsColoursAndEtchedLines) {
    HWND text = Make(SS_CENTER, TEXT("Level"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SendMessage(text, SXM_SETBKCOLOR, kGreen, 0), static_cast<LRESULT>(kNoColor));
    EXPECT_EQ(SendMessage(text, SXM_SETTEXTCOLOR, kRed, 0),
              static_cast<LRESULT>(GetSysColor(COLOR_WINDOWTEXT)));
    const int green = CountIn(text, kGreen);
    EXPECT_GT(green, 80 * 30 / 2);
    EXPECT_LT(green, 80 * 30 - 20); // the text
    EXPECT_GT(CountIn(text, kRed), 0);
    // Centred: as much ink left of the middle as right of it, roughly.
    UpdateWindow(text);
    int left = 0, right = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 80; ++x)
            if (!Near(WindowPixel(text, x, y), kGreen)) (x < 40 ? left : right)++;
    EXPECT_GT(left, 0);
    EXPECT_NEAR(left, right, (left + right) / 3);
    SetWindowText(text, TEXT(""));
    EXPECT_EQ(CountIn(text, kGreen), 80 * 30);

    HWND line = Make(kStaticExEtchedHorz, TEXT("ignored"));
    UpdateWindow(line);
    EXPECT_TRUE(Near(WindowPixel(line, 40, 0), GetSysColor(COLOR_BTNSHADOW)));
    EXPECT_TRUE(Near(WindowPixel(line, 40, 1), GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_TRUE(Near(WindowPixel(line, 40, 10), GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(CountIn(line, GetSysColor(COLOR_WINDOWTEXT)), 0);
}

} // namespace
