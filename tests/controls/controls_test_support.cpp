#include "controls_test_support.h"

#include "platform/core/driver.h"

#include <algorithm>

std::vector<Note> ControlTest::notes_;

void ControlTest::SetUp() {
    AnimTest::SetUp();
    hwnd_ = CreateWindowEx(0, TEXT("AnimWindow"), TEXT("controls"), WS_POPUP | WS_VISIBLE, kScreenX,
                           kScreenY, kWidth, kHeight, nullptr, nullptr, GetModuleHandle(nullptr),
                           nullptr);
    ASSERT_NE(hwnd_, nullptr);
    windows_.push_back(hwnd_);
    window_ = AnimWindow::FromHandle(hwnd_);
    ASSERT_NE(window_, nullptr);
    ValidateRect(hwnd_, nullptr);
    window_->FillBackground(kBackdrop);
    window_->Paint();
    notes_.clear();
}

void ControlTest::TearDown() {
    SetCursor(nullptr);
    AnimTest::TearDown();
    // Every test deletes its controls: nothing of them may stay behind.
    EXPECT_EQ(GetFocusControl(), nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
}

void ControlTest::Down(LONG x, LONG y) {
    platform::driver::InjectMouse(WM_LBUTTONDOWN, POINT{kScreenX + x, kScreenY + y}, MK_LBUTTON);
    Pump();
}

void ControlTest::Move(LONG x, LONG y) {
    platform::driver::InjectMouse(WM_MOUSEMOVE, POINT{kScreenX + x, kScreenY + y}, MK_LBUTTON);
    Pump();
}

void ControlTest::Up(LONG x, LONG y) {
    platform::driver::InjectMouse(WM_LBUTTONUP, POINT{kScreenX + x, kScreenY + y}, 0);
    Pump();
}

void ControlTest::Tap(LONG x, LONG y) {
    Down(x, y);
    Up(x, y);
}

AnimButton* ControlTest::MakeButton(DWORD id, DWORD style, LONG layer) {
    auto* b = new (MM("ANIMBUTTON")) AnimButton(window_, id, style, layer);
    b->SetCommandTarget(CommandProc);
    b->SetNotifyTarget(NotifyProc);
    return b;
}

std::vector<int> ControlTest::Codes() {
    std::vector<int> codes;
    for (const Note& n : notes_)
        codes.push_back(n.code);
    return codes;
}

LRESULT CALLBACK ControlTest::CommandProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        notes_.push_back({true, hwnd, LOWORD(wParam), HIWORD(wParam), lParam, GetCapture()});
    return 0;
}

LRESULT CALLBACK ControlTest::NotifyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        notes_.push_back({false, hwnd, LOWORD(wParam), HIWORD(wParam), lParam, GetCapture()});
    return 0;
}

COLORREF ControlTest::Pixel(LONG x, LONG y) {
    window_->Paint();
    HDC dc = GetDC(hwnd_);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd_, dc);
    return c;
}

int ControlTest::Count(const RECT& r, COLORREF color) {
    window_->Paint();
    HDC dc = GetDC(hwnd_);
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            if (Near(GetPixel(dc, x, y), color)) ++n;
    ReleaseDC(hwnd_, dc);
    return n;
}

RECT ControlTest::Ink(const RECT& r, COLORREF background) {
    window_->Paint();
    HDC dc = GetDC(hwnd_);
    RECT box{r.right, r.bottom, r.left, r.top};
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            if (!Near(GetPixel(dc, x, y), background)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    ReleaseDC(hwnd_, dc);
    if (box.left >= box.right) box = {0, 0, 0, 0};
    return box;
}

SIZE ControlTest::Extent(const TCHAR* text, HFONT font) {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    SIZE size{0, 0};
    GetTextExtentPoint32(dc, text, static_cast<int>(std::char_traits<TCHAR>::length(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return size;
}
