// Painting: update regions, WM_PAINT and WM_ERASEBKGND, child clipping, window shapes, capture
// outside the window, cursors and the work area.
#include "platform/core/driver.h"
#include "platform/core/paint_internal.h"
#include "platform/gdi.h"
#include "platform/user.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    RECT paint;
    BOOL erase;
};
std::vector<Seen> g_seen;
COLORREF g_paintColour = RGB(0, 0, 255);

LRESULT CALLBACK Recorder(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        g_seen.push_back({hwnd, message, ps.rcPaint, ps.fErase});
        HBRUSH brush = CreateSolidBrush(g_paintColour);
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) g_seen.push_back({hwnd, message, {}, FALSE});
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Paint : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        g_paintColour = RGB(0, 0, 255);
        platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
        WNDCLASSW wc{};
        wc.lpfnWndProc = Recorder;
        wc.lpszClassName = u"PaintTest";
        wc.hbrBackground = CreateSolidBrush(RGB(0, 255, 0));
        brush_ = wc.hbrBackground;
        ASSERT_NE(RegisterClassW(&wc), 0);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"PlainTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override {
        for (HWND w : made_)
            DestroyWindow(w);
        UnregisterClassW(u"PaintTest", nullptr);
        UnregisterClassW(u"PlainTest", nullptr);
        DeleteObject(brush_);
        ReleaseCapture();
    }
    HWND Make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr,
              const char16_t* cls = u"PaintTest") {
        HWND hwnd =
            CreateWindowExW(0, cls, u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        if (parent == nullptr) made_.push_back(hwnd);
        return hwnd;
    }
    // Runs the queue dry, dispatching everything (WM_PAINT included).
    static int Pump() {
        MSG m;
        int n = 0;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&m);
            if (++n > 1000) break; // a window that never validates would loop
        }
        return n;
    }
    static COLORREF Pixel(HWND hwnd, int x, int y) {
        HDC dc = GetDC(hwnd);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(hwnd, dc);
        return c;
    }
    HBRUSH brush_ = nullptr;
    std::vector<HWND> made_;
};

TEST_F(Paint, InvalidatedAreasArriveAsOnePaintAndValidationStopsThem) {
    HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 80);
    // Creation makes the whole client area dirty, with erasing.
    RECT r;
    ASSERT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 80);
    Pump();
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_ERASEBKGND));
    EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_PAINT));
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(Pump(), 0); // painted: no further WM_PAINT

    g_seen.clear();
    RECT a{10, 10, 20, 20}, b{30, 5, 40, 15};
    InvalidateRect(w, &a, FALSE);
    InvalidateRect(w, &b, FALSE);
    Pump();
    ASSERT_EQ(g_seen.size(), 1u); // no erase asked for
    EXPECT_EQ(g_seen[0].paint.left, 10);
    EXPECT_EQ(g_seen[0].paint.top, 5);
    EXPECT_EQ(g_seen[0].paint.right, 40);
    EXPECT_EQ(g_seen[0].paint.bottom, 20);
    EXPECT_TRUE(g_seen[0].erase); // nobody erased, so the painter must

    // Validating part of it leaves the rest; validating all of it leaves nothing.
    g_seen.clear();
    InvalidateRect(w, &a, TRUE);
    InvalidateRect(w, &b, TRUE);
    ValidateRect(w, &b);
    ASSERT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 20);
    ValidateRect(w, nullptr);
    EXPECT_EQ(Pump(), 0);
    EXPECT_TRUE(g_seen.empty());

    // Outside the client area nothing becomes dirty.
    RECT outside{200, 200, 300, 300};
    InvalidateRect(w, &outside, TRUE);
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
}

TEST_F(Paint, PaintingIsClippedToTheUpdateAreaAndErasingUsesTheClassBrush) {
    HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 60, 60);
    Pump();
    EXPECT_EQ(Pixel(w, 5, 5), RGB(0, 0, 255));
    g_paintColour = RGB(255, 0, 0);
    RECT part{10, 10, 20, 20};
    InvalidateRect(w, &part, FALSE);
    Pump();
    EXPECT_EQ(Pixel(w, 15, 15), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(w, 25, 25), RGB(0, 0, 255));

    // A window without its own WM_PAINT gets the class brush and is validated by default.
    HWND plain = Make(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30, nullptr, u"PlainTest");
    EXPECT_LT(Pump(), 5);
    EXPECT_EQ(Pixel(plain, 29, 29), RGB(0, 255, 0));
    RECT r;
    EXPECT_FALSE(GetUpdateRect(plain, &r, FALSE));
}

TEST_F(Paint, ChildrenPaintAfterTheirParentAndAreClippedByIt) {
    HWND parent = Make(WS_POPUP | WS_VISIBLE, 100, 100, 100, 100);
    HWND inner = Make(WS_CHILD | WS_VISIBLE, 80, 80, 40, 40, parent);
    HWND corner = Make(WS_CHILD | WS_VISIBLE, -10, -10, 30, 30, parent);
    Pump();
    ASSERT_GE(g_seen.size(), 3u);
    std::vector<HWND> painted;
    for (const Seen& s : g_seen)
        if (s.message == WM_PAINT) painted.push_back(s.hwnd);
    ASSERT_EQ(painted.size(), 3u);
    EXPECT_EQ(painted[0], parent);

    // The child at (-10, -10) keeps its own corner as (0, 0) though the parent cuts it.
    HDC dc = GetDC(corner);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT hidden{0, 0, 5, 5}, shown{10, 10, 15, 15};
    FillRect(dc, &hidden, red);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &shown, white);
    EXPECT_EQ(GetPixel(dc, 2, 2), CLR_INVALID); // outside the parent
    ReleaseDC(corner, dc);
    EXPECT_EQ(Pixel(parent, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(parent, 4, 4), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(parent, 5, 5), RGB(0, 0, 255));

    // The child at (80, 80) draws only over the parent's last 20 pixels.
    dc = GetDC(inner);
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, red);
    EXPECT_EQ(GetPixel(dc, 25, 25), CLR_INVALID);
    ReleaseDC(inner, dc);
    EXPECT_EQ(Pixel(parent, 85, 85), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(parent, 79, 79), RGB(0, 0, 255));
    DeleteObject(red);
    DeleteObject(white);

    // Invalidating the parent repaints the children it covers; moving a child repaints both.
    g_seen.clear();
    InvalidateRect(parent, nullptr, FALSE);
    Pump();
    int paints = 0;
    for (const Seen& s : g_seen)
        paints += s.message == WM_PAINT;
    EXPECT_EQ(paints, 3);
    g_seen.clear();
    MoveWindow(inner, 10, 10, 20, 20, TRUE);
    RECT r;
    EXPECT_TRUE(GetUpdateRect(parent, &r, FALSE));
    EXPECT_TRUE(GetUpdateRect(inner, &r, FALSE));
    // The corner child overlaps the new place, so the parent's repaint reaches it too.
    EXPECT_TRUE(GetUpdateRect(corner, &r, FALSE));
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.right, 30);
    Pump();
    // UpdateWindow paints at once, without the queue.
    InvalidateRect(inner, nullptr, FALSE);
    g_seen.clear();
    UpdateWindow(parent);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].hwnd, inner);
}

TEST_F(Paint, WindowShapesDecideWhatIsHit) {
    HWND below = Make(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND shaped = Make(WS_POPUP | WS_VISIBLE, 50, 50, 100, 100);
    SetForegroundWindow(shaped);
    EXPECT_EQ(WindowFromPoint({120, 120}), shaped);
    // Only the top-left quarter remains; a point outside it falls through to the window below.
    EXPECT_EQ(SetWindowRgn(shaped, CreateRectRgn(0, 0, 50, 50), TRUE), 1);
    EXPECT_EQ(WindowFromPoint({60, 60}), shaped);
    EXPECT_EQ(WindowFromPoint({120, 120}), below);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(shaped, copy), SIMPLEREGION);
    DeleteObject(copy);

    // A shaped child lets the pointer through to its parent.
    HWND child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 40, 40, below);
    SetWindowRgn(child, CreateRectRgn(20, 20, 40, 40), FALSE);
    EXPECT_EQ(WindowFromPoint({5, 5}), below);
    EXPECT_EQ(WindowFromPoint({30, 30}), child);
    EXPECT_EQ(platform::driver::InjectMouse(WM_LBUTTONDOWN, {30, 30}, MK_LBUTTON), child);

    // Back to a rectangle.
    SetWindowRgn(shaped, nullptr, TRUE);
    EXPECT_EQ(WindowFromPoint({120, 120}), shaped);
    Pump();
}

// The pixels of a 24-bit bottom-up BMP file, row by row from the top, as COLORREFs.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
Picture ReadBmp(const std::string& path) {
    Picture p;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (b.size() < 54 || b[0] != 'B' || b[28] != 24) return p;
    auto get32 = [&](std::size_t at) {
        return static_cast<int>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    p.width = get32(18);
    p.height = get32(22);
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) * 3 + 3) & ~std::size_t{3};
    if (b.size() < 54 + rowBytes * p.height) return Picture{};
    for (int y = 0; y < p.height; ++y) {
        const unsigned char* row = &b[54 + rowBytes * (p.height - 1 - y)];
        for (int x = 0; x < p.width; ++x)
            p.pixels.push_back(RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
    }
    return p;
}

TEST_F(Paint, AShapedWindowsPicturesShowOnlyWhatIsInsideItsShape) {
    const std::string dir = ::testing::TempDir();
    g_paintColour = RGB(200, 40, 40);
    HWND below = Make(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300, nullptr, u"PlainTest");
    HWND shaped = Make(WS_POPUP | WS_VISIBLE, 20, 30, 100, 80);
    // Two separate pieces: a cross-shaped outline is still one region.
    HRGN shape = CreateRectRgn(0, 0, 40, 80);
    HRGN right = CreateRectRgn(60, 20, 100, 40);
    CombineRgn(shape, shape, right, RGN_OR);
    DeleteObject(right);
    ASSERT_EQ(SetWindowRgn(shaped, shape, TRUE), 1);
    Pump();

    const std::string window = dir + "/shaped-window.bmp", screen = dir + "/shaped-screen.bmp";
    ASSERT_TRUE(platform::wm::SaveBitmapFile(shaped, window.c_str()));
    Picture w = ReadBmp(window);
    ASSERT_EQ(w.width, 100);
    ASSERT_EQ(w.height, 80);
    EXPECT_EQ(w.At(5, 5), RGB(200, 40, 40));
    EXPECT_EQ(w.At(39, 79), RGB(200, 40, 40));
    EXPECT_EQ(w.At(80, 30), RGB(200, 40, 40));
    EXPECT_EQ(w.At(40, 0), RGB(0, 0, 0)); // just right of the left piece
    EXPECT_EQ(w.At(80, 19), RGB(0, 0, 0));
    EXPECT_EQ(w.At(99, 79), RGB(0, 0, 0));

    // On the screen the window below shows through where the shape leaves out.
    ASSERT_TRUE(platform::wm::SaveBitmapFile(nullptr, screen.c_str()));
    Picture s = ReadBmp(screen);
    ASSERT_GE(s.width, 300);
    EXPECT_EQ(s.At(20 + 5, 30 + 5), RGB(200, 40, 40));
    EXPECT_EQ(s.At(20 + 50, 30 + 5), RGB(0, 255, 0)); // the class brush of the window below
    EXPECT_EQ(s.At(20 + 80, 30 + 30), RGB(200, 40, 40));

    // A window that moves leaves nothing behind on the screen.
    DestroyWindow(below);
    MoveWindow(shaped, 150, 150, 100, 80, TRUE);
    Pump();
    ASSERT_TRUE(platform::wm::SaveBitmapFile(nullptr, screen.c_str()));
    s = ReadBmp(screen);
    ASSERT_GE(s.width, 300);
    EXPECT_EQ(s.At(20 + 5, 30 + 5), RGB(0, 0, 0));
    EXPECT_EQ(s.At(20 + 50, 30 + 5), RGB(0, 0, 0));
    EXPECT_EQ(s.At(150 + 5, 150 + 5), RGB(200, 40, 40));

    // A new shape is what the next picture shows; no shape is the whole rectangle again.
    SetWindowRgn(shaped, CreateRectRgn(50, 0, 100, 80), TRUE);
    Pump();
    ASSERT_TRUE(platform::wm::SaveBitmapFile(shaped, window.c_str()));
    w = ReadBmp(window);
    ASSERT_EQ(w.width, 100);
    EXPECT_EQ(w.At(5, 5), RGB(0, 0, 0));
    EXPECT_EQ(w.At(60, 5), RGB(200, 40, 40));
    SetWindowRgn(shaped, nullptr, TRUE);
    Pump();
    ASSERT_TRUE(platform::wm::SaveBitmapFile(shaped, window.c_str()));
    w = ReadBmp(window);
    ASSERT_EQ(w.width, 100);
    EXPECT_EQ(w.At(5, 5), RGB(200, 40, 40));
    EXPECT_EQ(w.At(99, 79), RGB(200, 40, 40));
}

TEST_F(Paint, CaptureTakesThePointerOutsideTheWindow) {
    HWND w = Make(WS_POPUP | WS_VISIBLE, 100, 100, 50, 50);
    Pump();
    SetCapture(w);
    EXPECT_EQ(platform::driver::InjectMouse(WM_MOUSEMOVE, {20, 30}, MK_LBUTTON), w);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(GET_X_LPARAM(m.lParam), -80);
    EXPECT_EQ(GET_Y_LPARAM(m.lParam), -70);
    EXPECT_EQ(m.pt.x, 20);
    ReleaseCapture();
    EXPECT_EQ(platform::driver::InjectMouse(WM_MOUSEMOVE, {20, 30}, 0), nullptr);
}

TEST_F(Paint, BadHandlesAndArgumentsFailCleanly) {
    PAINTSTRUCT ps;
    HWND gone = Make(WS_POPUP, 0, 0, 10, 10);
    DestroyWindow(gone);
    SetLastError(0);
    EXPECT_EQ(BeginPaint(gone, &ps), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetDC(gone), nullptr);
    EXPECT_FALSE(InvalidateRect(gone, nullptr, TRUE));
    EXPECT_FALSE(ValidateRect(gone, nullptr));
    EXPECT_FALSE(UpdateWindow(gone));
    EXPECT_EQ(SetWindowRgn(gone, nullptr, TRUE), 0);
    HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    EXPECT_EQ(BeginPaint(w, nullptr), nullptr);
    // A null window makes every top-level window dirty.
    Pump();
    HWND other = Make(WS_POPUP | WS_VISIBLE, 20, 0, 10, 10);
    Pump();
    RECT r;
    EXPECT_TRUE(InvalidateRect(nullptr, nullptr, TRUE));
    EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_TRUE(GetUpdateRect(other, &r, FALSE));
    Pump();
}

TEST_F(Paint, CaptionsOfTopLevelAndOwnedWindowsFollowActivation) {
    HWND main = Make(WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 80, 50);
    HWND owned = Make(WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 80, 50, main);
    auto caption = [](HWND w) {
        HDC dc = platform::gdi::CreateSurfaceDC(platform::wm::SurfaceOf(w));
        COLORREF c = GetPixel(dc, 6, 6);
        DeleteDC(dc);
        return c;
    };
    SetForegroundWindow(main);
    Pump();
    EXPECT_EQ(caption(main), GetSysColor(COLOR_ACTIVECAPTION));
    EXPECT_EQ(caption(owned), GetSysColor(COLOR_INACTIVECAPTION));
    SetForegroundWindow(owned);
    EXPECT_EQ(caption(main), GetSysColor(COLOR_INACTIVECAPTION));
    EXPECT_EQ(caption(owned), GetSysColor(COLOR_ACTIVECAPTION));
    // The client area starts under the caption.
    EXPECT_EQ(Pixel(owned, 0, 0), RGB(0, 0, 255));
}

TEST_F(Paint, AClipChildrenParentNeverDrawsOnItsChildren) {
    HWND parent = Make(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 100, 100);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 20, 20, 30, 30, parent);
    Pump();
    HDC dc = GetDC(child);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 30, 30};
    FillRect(dc, &all, red);
    ReleaseDC(child, dc);
    DeleteObject(red);

    // The parent repaints alone and its paint leaves the child's pixels as they were.
    g_seen.clear();
    g_paintColour = RGB(0, 0, 128);
    InvalidateRect(parent, nullptr, TRUE);
    Pump();
    for (const Seen& s : g_seen)
        EXPECT_EQ(s.hwnd, parent);
    EXPECT_FALSE(g_seen.empty());
    EXPECT_EQ(Pixel(parent, 10, 10), RGB(0, 0, 128));
    EXPECT_EQ(Pixel(parent, 20, 20), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(parent, 49, 49), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(parent, 50, 50), RGB(0, 0, 128));

    // The same for a context of its own.
    dc = GetDC(parent);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    RECT whole{0, 0, 100, 100};
    FillRect(dc, &whole, white);
    ReleaseDC(parent, dc);
    DeleteObject(white);
    EXPECT_EQ(Pixel(parent, 10, 10), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(parent, 30, 30), RGB(255, 0, 0));

    // A hidden child is not kept: the parent paints its place.
    ShowWindow(child, SW_HIDE);
    Pump();
    EXPECT_EQ(Pixel(parent, 30, 30), RGB(0, 0, 128));
}

int g_limitQueries = 0;
LRESULT CALLBACK Limited(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETMINMAXINFO) {
        ++g_limitQueries;
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {100, 80};
        info->ptMaxTrackSize = {300, 200};
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(Paint, SizingAsksSizableAndOverlappedWindowsForTheirLimits) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Limited;
    wc.lpszClassName = u"LimitedTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    auto size = [](HWND w) {
        RECT r{};
        GetWindowRect(w, &r);
        return std::make_pair(r.right - r.left, r.bottom - r.top);
    };
    const DWORD styles[] = {WS_OVERLAPPEDWINDOW, WS_POPUP | WS_THICKFRAME, WS_CAPTION};
    for (DWORD style : styles) {
        HWND w = Make(style, 0, 0, 150, 150, nullptr, u"LimitedTest");
        g_limitQueries = 0;
        SetWindowPos(w, nullptr, 0, 0, 50, 40, SWP_NOZORDER | SWP_NOMOVE);
        EXPECT_EQ(size(w), std::make_pair(100, 80)) << style;
        MoveWindow(w, 10, 10, 500, 500, TRUE);
        EXPECT_EQ(size(w), std::make_pair(300, 200)) << style;
        EXPECT_EQ(g_limitQueries, 2);
        SetWindowPos(w, nullptr, 5, 5, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        EXPECT_EQ(g_limitQueries, 2); // moving alone asks nothing
    }
    // Fixed pop-ups and children take any size.
    HWND popup = Make(WS_POPUP | WS_CAPTION, 0, 0, 150, 150, nullptr, u"LimitedTest");
    HWND child = Make(WS_CHILD | WS_THICKFRAME, 0, 0, 50, 50, popup, u"LimitedTest");
    g_limitQueries = 0;
    MoveWindow(popup, 0, 0, 20, 500, TRUE);
    MoveWindow(child, 0, 0, 10, 10, TRUE);
    EXPECT_EQ(size(popup), std::make_pair(20, 500));
    EXPECT_EQ(size(child), std::make_pair(10, 10));
    EXPECT_EQ(g_limitQueries, 0);
    for (HWND w : made_)
        DestroyWindow(w);
    made_.clear();
    UnregisterClassW(u"LimitedTest", nullptr);
}

TEST_F(Paint, StandardCursorsAndTheWorkArea) {
    HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HCURSOR ns = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZENS));
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(ns, nullptr);
    EXPECT_NE(arrow, ns);
    SetLastError(0);
    EXPECT_EQ(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(5))), nullptr);
    EXPECT_NE(GetLastError(), 0u);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(ns), arrow);
    EXPECT_EQ(GetCursor(), ns);
    EXPECT_EQ(platform::wm::CurrentCursorId(), 32645);
    // The cursors a window that sizes itself shows, each its own, read back by the driver.
    const std::pair<LPCWSTR, int> sizing[] = {{reinterpret_cast<LPCWSTR>(IDC_SIZENWSE), 32642},
                                              {reinterpret_cast<LPCWSTR>(IDC_SIZENESW), 32643},
                                              {reinterpret_cast<LPCWSTR>(IDC_SIZEWE), 32644},
                                              {reinterpret_cast<LPCWSTR>(IDC_SIZENS), 32645},
                                              {reinterpret_cast<LPCWSTR>(IDC_ARROW), 32512}};
    std::vector<HCURSOR> seen;
    for (const auto& [name, id] : sizing) {
        HCURSOR c = LoadCursorW(nullptr, name);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(LoadCursorW(nullptr, name), c) << id; // shared, as the platform's are
        for (HCURSOR other : seen)
            EXPECT_NE(other, c) << id;
        seen.push_back(c);
        SetCursor(c);
        EXPECT_EQ(platform::wm::CurrentCursorId(), id);
        EXPECT_EQ(platform::wm::CursorIdOf(c), id);
    }
    SetCursor(nullptr);
    EXPECT_EQ(platform::wm::CurrentCursorId(), 0);

    RECT work{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    int w = 0, h = 0;
    platform::driver::ScreenSize(&w, &h);
    EXPECT_EQ(work.right, w);
    EXPECT_EQ(work.bottom, h);
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETWORKAREA, 0, nullptr, 0));
    EXPECT_FALSE(SystemParametersInfoW(0x1234, 0, &work, 0));
}

} // namespace
