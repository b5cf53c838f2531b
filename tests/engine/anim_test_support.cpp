#include "anim_test_support.h"

#include "foundation/memory.h"

void AnimTest::SetUp() {
    ASSERT_TRUE(EngineInit(GetModuleHandle(nullptr), 0));
    platform::clock::SetSimulated(true);
    platform::clock::AdvanceTo(1000);
}

void AnimTest::TearDown() {
    for (HWND w : windows_)
        if (IsWindow(w)) DestroyWindow(w);
    Pump();
    platform::clock::SetSimulated(false);
}

HWND AnimTest::MakeWindow(LONG width, LONG height, const TCHAR* cls) {
    HWND hwnd = CreateWindowEx(0, cls, TEXT("anim"), WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                               nullptr, nullptr, GetModuleHandle(nullptr), nullptr);
    if (hwnd) windows_.push_back(hwnd);
    // The engine painted the new window itself; a second paint from the system's update
    // region would only blur what the tests count.
    if (hwnd) ValidateRect(hwnd, nullptr);
    return hwnd;
}

AnimWindow* AnimTest::MakeAnim(LONG width, LONG height) {
    return AnimWindow::FromHandle(MakeWindow(width, height));
}

void AnimTest::Pump() {
    MSG m;
    int n = 0;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE) && ++n < 1000) {
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
}

COLORREF AnimTest::WindowPixel(HWND hwnd, int x, int y) {
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

Graphic* AnimTest::Solid(LONG width, LONG height, COLORREF color) {
    auto* g = new (MM("GRAPHIC")) Graphic(width, height, GetDisplay()->GetBitsPerPixel());
    DWORD v = g->ColorToValue(color);
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x)
            g->SetPixelValue(x, y, v);
    return g;
}

bool AnimTest::Near(COLORREF a, COLORREF b) {
    return (GetRValue(a) >> 3) == (GetRValue(b) >> 3) &&
           (GetGValue(a) >> 3) == (GetGValue(b) >> 3) && (GetBValue(a) >> 3) == (GetBValue(b) >> 3);
}

bool AnimTest::Is(Graphic* g, LONG x, LONG y, COLORREF color) {
    return g->GetPixelColor(x, y) == color;
}
