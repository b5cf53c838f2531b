// Skinned windows for the tests: a skin of small images whose cells each have a colour of their
// own (so a pixel tells which cell was drawn), windows placed on the screen, mouse input
// injected as the platform delivers it, and the procedures' messages recorded.
#pragma once

#include "engine/cea_graphic.h"
#include "foundation/memory.h"
#include "platform/clock.h"
#include "platform/core/driver.h"
#include "skin/skinwindow.h"
#include "tests/platform/dialog_test_support.h"
#include "tests/skin/skin_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace skintest {

// Cell k of an image made by Cells has palette index base + 8 k: this colour.
inline COLORREF CellColor(int base, int k) {
    int i = base + 8 * k;
    return RGB(i, 255 - i, 7);
}

// An image of columns x rows cells of cw x ch, each cell one colour; optionally selected where
// `select` says.
inline ziptest::Bytes Cells(LONG columns, LONG rows, LONG cw, LONG ch, int base,
                            const std::function<bool(LONG, LONG)>& select = nullptr) {
    return Psp(
        columns * cw, rows * ch,
        [=](LONG x, LONG y) { return static_cast<BYTE>(base + 8 * ((y / ch) * columns + x / cw)); },
        select);
}

// Bases of the test skin's images.
constexpr int kButtonBase = 8;   // pbutton: 3 x 4 cells of 10 x 12
constexpr int kToggleBase = 104; // rbutton, cbutton: 2 x 4 cells of 8 x 8
constexpr int kBarBase = 168;    // pbar: 4 x 1 cells of 10 x 10
constexpr int kPanelBase = 8;    // text, edit, list: 3 x 3 cells of 4 x 4
constexpr int kItemBase = 184;   // listitem: 3 x 3 cells of 4 x 4
constexpr int kScrollBase = 8;   // vscroll, hscroll: 4 x 4 cells of 8 x 8
constexpr int kCornerBase = 200; // frame-c: 2 x 2 cells of 12 x 12
constexpr int kSideBase = 232;   // frame-lr: 2 x 1 cells of 6 x 6
constexpr int kEdgeBase = 0;     // frame-tb: 1 x 2 cells of 6 x 6
constexpr int kTitleBase = 144;  // frame-x, frame-min: 1 x 3 cells of 10 x 10
constexpr int kBackBase = 4;     // background: one 8 x 8 cell

constexpr COLORREF kText = RGB(0, 0, 248);
constexpr COLORREF kDisabled = RGB(248, 0, 248);
constexpr COLORREF kBackground = RGB(32, 32, 32);

inline const char* BaseSettings() {
    return "skin = Test\n"
           "font = DejaVu Sans,-12,B\n"
           "text color = #0000F8\n"
           "disabled text color = #F800F8\n"
           "selected text color = #F8F8F8\n"
           "selected background color = #000000\n"
           "pbutton text layout = center\n"
           "titlebar height = 20\n"
           "frame border = 8\n"
           "background color = #202020\n";
}

// The test skin: every control image, the eight-piece frame, and `extra` settings and entries.
inline std::vector<ziptest::Entry> SkinEntries(const std::string& extra = "",
                                               bool shapedCorners = false) {
    // Shaped corners leave the outermost 4 x 4 pixels of the window's corners unselected.
    auto round = [](LONG x, LONG y) {
        bool side = x < 4 || x >= 20, end = y < 4 || y >= 20;
        return !(side && end);
    };
    std::vector<ziptest::Entry> e = {
        Text("skin.txt", std::string(BaseSettings()) + extra),
        File("pbutton.psp", Cells(3, 4, 10, 12, kButtonBase)),
        File("rbutton.psp", Cells(2, 4, 8, 8, kToggleBase)),
        File("cbutton.psp", Cells(2, 4, 8, 8, kToggleBase)),
        File("pbar.psp", Cells(4, 1, 10, 10, kBarBase)),
        File("text.psp", Cells(3, 3, 4, 4, kPanelBase)),
        File("edit.psp", Cells(3, 3, 4, 4, kPanelBase)),
        File("list.psp", Cells(3, 3, 4, 4, kPanelBase)),
        File("listitem.psp", Cells(3, 3, 4, 4, kItemBase)),
        File("cursor.psp", Cells(1, 1, 1, 8, 0)),
        File("vscroll.psp", Cells(4, 4, 8, 8, kScrollBase)),
        File("hscroll.psp", Cells(4, 4, 8, 8, kScrollBase)),
        File("frame-c.psp", shapedCorners ? Cells(2, 2, 12, 12, kCornerBase, round)
                                          : Cells(2, 2, 12, 12, kCornerBase)),
        File("frame-lr.psp", Cells(2, 1, 6, 6, kSideBase)),
        File("frame-tb.psp", Cells(1, 2, 6, 6, kEdgeBase)),
        File("frame-x.psp", Cells(1, 3, 10, 10, kTitleBase)),
        File("frame-min.psp", Cells(1, 3, 10, 10, kTitleBase)),
        File("background.psp", Cells(1, 1, 8, 8, kBackBase)),
    };
    return e;
}

// A procedure's record of what it was sent.
struct Heard {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class SkinWindowTest : public ::testing::Test {
protected:
    static constexpr LONG kX = 40, kY = 30;

    void SetUp() override {
        ASSERT_TRUE(SkinWindowInit(GetModuleHandle(nullptr), nullptr));
        platform::clock::SetSimulated(true);
        platform::clock::AdvanceTo(1000);
        heard_.clear();
        answers_.clear();
    }
    void TearDown() override {
        for (SkinWindow* w : windows_)
            SkinWindow::Destroy(w);
        windows_.clear();
        skins_.clear(); // after the windows that draw from them
        Pump();
        SetCursor(nullptr);
        platform::clock::SetSimulated(false);
    }

    // A skin that outlives the test's windows.
    SkinHolder& Keep(const std::vector<ziptest::Entry>& entries) {
        skins_.push_back(std::make_unique<SkinHolder>(entries));
        return *skins_.back();
    }

    // A window without a template, of the given size at (kX, kY), shown.
    SkinWindow* Blank(Skin* skin, LONG width, LONG height, const TCHAR* name = TEXT("Test")) {
        SkinWindow* w = SkinWindow::Create(skin, name, nullptr, nullptr, nullptr, Proc, 0);
        if (!w) return nullptr;
        windows_.push_back(w);
        SetWindowPos(w->GetHandle(), nullptr, kX, kY, width, height, SWP_NOZORDER);
        ShowWindow(w->GetHandle(), SW_SHOW);
        w->Layout();
        return w;
    }
    // A window from a template, moved to (kX, kY) and shown.
    SkinWindow* FromTemplate(Skin* skin, TemplateBuilder& tpl, const TCHAR* name = TEXT("Test")) {
        SkinWindow* w = SkinWindow::CreateIndirect(skin, name, nullptr, tpl.Get(), Proc, 0);
        if (!w) return nullptr;
        windows_.push_back(w);
        SetWindowPos(w->GetHandle(), nullptr, kX, kY, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        ShowWindow(w->GetHandle(), SW_SHOW);
        return w;
    }
    void Forget(SkinWindow* w) {
        for (std::size_t i = 0; i < windows_.size(); ++i)
            if (windows_[i] == w) windows_.erase(windows_.begin() + static_cast<long>(i));
    }

    static void Pump() {
        MSG m;
        int n = 0;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE) && ++n < 1000) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    }
    // Mouse input at client coordinates of the window.
    static void Mouse(SkinWindow* w, UINT message, LONG x, LONG y) {
        POINT p{x, y};
        ClientToScreen(w->GetHandle(), &p);
        platform::driver::InjectMouse(message, p, message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
        Pump();
    }
    // Mouse input at a screen position.
    static void ScreenMouse(UINT message, POINT p) {
        platform::driver::InjectMouse(message, p, message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
        Pump();
    }
    static void Down(SkinWindow* w, LONG x, LONG y) { Mouse(w, WM_LBUTTONDOWN, x, y); }
    static void Move(SkinWindow* w, LONG x, LONG y) { Mouse(w, WM_MOUSEMOVE, x, y); }
    static void Up(SkinWindow* w, LONG x, LONG y) { Mouse(w, WM_LBUTTONUP, x, y); }
    static void Hover(SkinWindow* w, LONG x, LONG y) {
        POINT p{x, y};
        ClientToScreen(w->GetHandle(), &p);
        platform::driver::InjectMouse(WM_MOUSEMOVE, p, 0);
        Pump();
    }
    static void Click(SkinWindow* w, LONG x, LONG y) {
        Down(w, x, y);
        Up(w, x, y);
    }
    static void Key(UINT key) {
        platform::driver::InjectKey(WM_KEYDOWN, key);
        platform::driver::InjectKey(WM_KEYUP, key);
        Pump();
    }

    // The window's picture after painting what is dirty.
    static COLORREF Pixel(SkinWindow* w, LONG x, LONG y) {
        w->GetAnimWindow()->Paint();
        return w->GetAnimWindow()->GetFrameComposite()->GetPixelColor(x, y);
    }
    // Equal in the five high bits of each component (what every screen depth keeps).
    static bool Near(COLORREF a, COLORREF b) {
        return (GetRValue(a) >> 3) == (GetRValue(b) >> 3) &&
               (GetGValue(a) >> 3) == (GetGValue(b) >> 3) &&
               (GetBValue(a) >> 3) == (GetBValue(b) >> 3);
    }
    static int Count(SkinWindow* w, const RECT& r, COLORREF color) {
        w->GetAnimWindow()->Paint();
        Graphic* g = w->GetAnimWindow()->GetFrameComposite();
        int n = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                if (Near(g->GetPixelColor(x, y), color)) ++n;
        return n;
    }
    static RECT WindowRect(SkinWindow* w) {
        RECT r{};
        GetWindowRect(w->GetHandle(), &r);
        return r;
    }
    static RECT ControlRect(SkinControl* c) {
        RECT r{};
        c->GetRect(&r);
        return r;
    }
    static int Heard(UINT message, WPARAM wParam) {
        int n = 0;
        for (const skintest::Heard& h : heard_)
            if (h.message == message && h.wParam == wParam) ++n;
        return n;
    }

    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        heard_.push_back({hwnd, message, wParam, lParam});
        auto at = answers_.find(message);
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            if (SkinWindow* w = SkinWindow::FromHandle(hwnd)) w->EndModal(IDOK);
            return TRUE;
        }
        if (message == WM_GETMINMAXINFO && minimumWidth_) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize.x = minimumWidth_;
            return TRUE;
        }
        return at == answers_.end() ? FALSE : at->second;
    }

    std::vector<SkinWindow*> windows_;
    std::vector<std::unique_ptr<SkinHolder>> skins_;
    static inline std::vector<skintest::Heard> heard_;
    static inline std::map<UINT, INT_PTR> answers_;
    static inline LONG minimumWidth_ = 0;
};

} // namespace skintest
