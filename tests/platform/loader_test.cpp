// Cursors, bitmaps and accelerator tables from the resources of resource_test.rc; the damaged
// ones there are built to fail the loaders' checks one at a time.
#include "platform/core/driver.h"
#include "platform/core/icon_internal.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/user.h"
#include "tests/platform/resource_test_ids.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

LPCWSTR Id(int id) {
    return MAKEINTRESOURCEW(id);
}

// A bitmap's size and depth as the drawing layer reports them.
BITMAP Describe(HGDIOBJ bitmap) {
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    return bm;
}

// The colours of a bitmap's pixels, row by row, read through a memory context.
std::vector<COLORREF> Pixels(HBITMAP bitmap, int width, int height) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::vector<COLORREF> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    return out;
}

// An icon's or cursor's hot spot, size and pixels (the mask's 1 bits read as white).
struct Shape {
    bool icon = false;
    DWORD hotX = 0, hotY = 0;
    int width = 0, height = 0;
    std::vector<COLORREF> colour, mask;
};
Shape Inspect(HICON icon) {
    Shape s;
    ICONINFO info{};
    EXPECT_TRUE(GetIconInfo(icon, &info));
    if (info.hbmColor == nullptr) return s;
    s.icon = info.fIcon != FALSE;
    s.hotX = info.xHotspot;
    s.hotY = info.yHotspot;
    BITMAP bm = Describe(info.hbmColor);
    s.width = bm.bmWidth;
    s.height = bm.bmHeight;
    EXPECT_EQ(Describe(info.hbmMask).bmBitsPixel, 1);
    s.colour = Pixels(info.hbmColor, s.width, s.height);
    s.mask = Pixels(info.hbmMask, s.width, s.height);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return s;
}

constexpr COLORREF kWhite = RGB(255, 255, 255);

TEST(Cursors, ComeFromGroupResourcesWithTheirHotSpot) {
    // pointer.cur: a 16 x 16 red image (hot spot 2, 3; top row clear) and a 32 x 32 one, green
    // on its left half and clear on its right (hot spot 5, 7).
    HCURSOR cursor = LoadCursorW(nullptr, Id(IDC_POINTER));
    ASSERT_NE(cursor, nullptr);
    Shape big = Inspect(cursor);
    EXPECT_FALSE(big.icon);
    EXPECT_EQ(big.width, 32);
    EXPECT_EQ(big.height, 32);
    EXPECT_EQ(big.hotX, 5u);
    EXPECT_EQ(big.hotY, 7u);
    EXPECT_EQ(big.colour[3 * 32 + 2], RGB(0, 255, 0));
    EXPECT_NE(big.mask[3 * 32 + 2], kWhite);
    EXPECT_EQ(big.mask[3 * 32 + 20], kWhite);

    // Another size through LoadImage, from a module handle given explicitly.
    HANDLE small = LoadImageW(GetModuleHandleW(nullptr), Id(IDC_POINTER), IMAGE_CURSOR, 16, 16, 0);
    ASSERT_NE(small, nullptr);
    Shape s = Inspect(static_cast<HCURSOR>(small));
    EXPECT_EQ(s.width, 16);
    EXPECT_EQ(s.hotX, 2u);
    EXPECT_EQ(s.hotY, 3u);
    EXPECT_EQ(s.colour[5 * 16 + 5], RGB(255, 0, 0));
    EXPECT_EQ(s.mask[0], kWhite);
    EXPECT_NE(s.mask[16], kWhite);
    // No size: the group's first image, or the standard size when asked for.
    HANDLE first = LoadImageW(nullptr, Id(IDC_POINTER), IMAGE_CURSOR, 0, 0, 0);
    HANDLE standard = LoadImageW(nullptr, Id(IDC_POINTER), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
    EXPECT_EQ(Inspect(static_cast<HCURSOR>(first)).width, 16);
    EXPECT_EQ(Inspect(static_cast<HCURSOR>(standard)).width, 32);

    // A loaded cursor can be shown, and the standard ones still work beside it.
    HCURSOR before = SetCursor(cursor);
    EXPECT_EQ(GetCursor(), cursor);
    HCURSOR arrow = LoadCursorW(nullptr, Id(32512)) /* IDC_ARROW */;
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, Id(32512)) /* IDC_ARROW */, arrow);
    EXPECT_NE(arrow, cursor);
    SetCursor(before);
    EXPECT_FALSE(DestroyCursor(arrow)); // shared
    EXPECT_EQ(LoadCursorW(nullptr, Id(32512)) /* IDC_ARROW */, arrow);
    ICONINFO none{};
    EXPECT_FALSE(GetIconInfo(arrow, &none));

    for (HANDLE h : {static_cast<HANDLE>(cursor), small, first, standard})
        EXPECT_TRUE(DestroyCursor(static_cast<HCURSOR>(h)));
    EXPECT_FALSE(DestroyCursor(cursor));
    EXPECT_FALSE(GetIconInfo(cursor, &none));
}

TEST(Cursors, DamagedOrMissingResourcesGiveNone) {
    // A hot spot off the image, a group naming a missing image, a group shorter than its count,
    // an image cut short.
    for (int id : {IDC_HOTSPOT_OFF, IDC_LOST, IDC_CUT, IDC_IMAGE_CUT}) {
        SCOPED_TRACE(id);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadCursorW(nullptr, Id(id)), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_EQ(LoadImageW(nullptr, Id(id), IMAGE_CURSOR, 16, 16, 0), nullptr);
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadCursorW(nullptr, Id(4321)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadCursorA(nullptr, "NoSuchCursor"), nullptr);
    // A group icon is not a group cursor, nor the other way round.
    EXPECT_EQ(LoadCursorW(nullptr, Id(IDI_SAMPLE)), nullptr);
    EXPECT_EQ(LoadIconW(nullptr, Id(IDC_POINTER)), nullptr);
}

TEST(Icons, LoadImageChoosesTheSizeAndTheCentreIsTheHotSpot) {
    HANDLE small = LoadImageW(nullptr, Id(IDI_SAMPLE), IMAGE_ICON, 16, 16, 0);
    ASSERT_NE(small, nullptr);
    Shape s = Inspect(static_cast<HICON>(small));
    EXPECT_TRUE(s.icon);
    EXPECT_EQ(s.width, 16);
    EXPECT_EQ(s.hotX, 8u);
    EXPECT_EQ(s.hotY, 8u);
    HICON big = LoadIconW(nullptr, Id(IDI_SAMPLE));
    EXPECT_EQ(Inspect(big).width, 32);
    EXPECT_TRUE(DestroyIcon(static_cast<HICON>(small)));
    EXPECT_TRUE(DestroyIcon(big));
    EXPECT_EQ(LoadImageW(nullptr, Id(IDI_DAMAGED), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE), nullptr);
}

TEST(Bitmaps, LoadAsDibSectionsThatDrawTheirPixels) {
    // 3 x 2 at 8 bits with a four-colour table, stored bottom-up.
    HBITMAP grid = LoadBitmapW(nullptr, Id(IDB_GRID8));
    ASSERT_NE(grid, nullptr);
    BITMAP bm = Describe(grid);
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    const COLORREF a = RGB(10, 20, 30), red = RGB(255, 0, 0), green = RGB(0, 255, 0),
                   blue = RGB(0, 0, 255);
    EXPECT_EQ(Pixels(grid, 3, 2), (std::vector<COLORREF>{a, red, green, RGB(1, 2, 250), a, red}));
    EXPECT_TRUE(DeleteObject(grid));

    // 2 x 3 at 24 bits, stored top-down, through LoadImage.
    auto strip = static_cast<HBITMAP>(LoadImageW(nullptr, Id(IDB_STRIP24), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(Describe(strip).bmHeight, 3);
    EXPECT_EQ(Pixels(strip, 2, 3),
              (std::vector<COLORREF>{red, green, blue, kWhite, 0, RGB(128, 128, 128)}));
    DeleteObject(strip);

    // 5 x 1 at 4 bits: the high nibble is the left pixel.
    HBITMAP row = LoadBitmapA(nullptr, MAKEINTRESOURCEA(IDB_ROW4));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(Pixels(row, 5, 1), (std::vector<COLORREF>{red, 0, red, red, 0}));
    DeleteObject(row);

    // 2 x 1 at 16 bits with 5-5-5 bit fields.
    HBITMAP fields = LoadBitmapW(nullptr, Id(IDB_FIELDS16));
    ASSERT_NE(fields, nullptr);
    EXPECT_EQ(Pixels(fields, 2, 1), (std::vector<COLORREF>{red, blue}));

    // The loaded bitmap is an ordinary source for copies.
    HDC screen = GetDC(nullptr);
    HDC src = CreateCompatibleDC(screen);
    HGDIOBJ oldSrc = SelectObject(src, fields);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dst = CreateCompatibleDC(screen);
    HGDIOBJ oldDst = SelectObject(dst, target);
    EXPECT_TRUE(BitBlt(dst, 1, 0, 2, 1, src, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dst, 1, 0), red);
    EXPECT_EQ(GetPixel(dst, 2, 0), blue);
    EXPECT_EQ(GetPixel(dst, 0, 0), 0u);
    SelectObject(dst, oldDst);
    SelectObject(src, oldSrc);
    DeleteDC(dst);
    DeleteDC(src);
    ReleaseDC(nullptr, screen);
    DeleteObject(target);
    DeleteObject(fields);
}

TEST(Bitmaps, DamagedOrMissingResourcesGiveNone) {
    // Rows cut short, 7 bits a pixel, a header cut short, 300 colours at 8 bits, rows of 2^62
    // bytes, bit fields the drawing layer cannot show, a header size past the end.
    for (int id :
         {IDB_TRUNCATED, IDB_BADBITS, IDB_SHORT, IDB_COLOURS, IDB_HUGE, IDB_RGBA, IDB_SIZEFAR}) {
        SCOPED_TRACE(id);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadBitmapW(nullptr, Id(id)), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadBitmapW(nullptr, Id(4321)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadImageW(nullptr, Id(IDB_GRID8), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(LoadImageW(nullptr, Id(IDB_GRID8), 7, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

std::vector<BYTE> DataFile(const char* name) {
    std::ifstream in(std::string(TESSARK_TEST_SOURCE_DIR) + "/resource_data/loaders/" + name,
                     std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

TEST(Bitmaps, EveryCutOrSpoiltHeaderIsRefusedOrReadWithinBounds) {
    for (const char* name : {"grid8.bmp", "strip24.bmp", "row4.bmp", "fields16.bmp"}) {
        SCOPED_TRACE(name);
        std::vector<BYTE> file = DataFile(name);
        ASSERT_GT(file.size(), 14u);
        std::vector<BYTE> dib(file.begin() + 14, file.end()); // as the resource holds it
        const auto size = static_cast<DWORD>(dib.size());
        HBITMAP whole = platform::wm::DecodeBitmapResource(dib.data(), size);
        ASSERT_NE(whole, nullptr);
        DeleteObject(whole);
        // The rows end each file, so every shorter piece lacks some of them. Each piece is a
        // block of its own, so a read past it is caught by the sanitizer builds.
        for (DWORD cut = 0; cut < size; ++cut) {
            std::vector<BYTE> piece(dib.begin(), dib.begin() + cut);
            EXPECT_EQ(platform::wm::DecodeBitmapResource(piece.data(), cut), nullptr) << cut;
        }
        // Any header byte set to 0xFF: refused, or a bitmap of sane size.
        for (std::size_t at = 0; at < 40; ++at) {
            std::vector<BYTE> spoilt = dib;
            spoilt[at] = 0xFF;
            HBITMAP b = platform::wm::DecodeBitmapResource(spoilt.data(), size);
            if (b == nullptr) continue;
            BITMAP bm = Describe(b);
            EXPECT_GT(bm.bmWidth, 0) << at;
            EXPECT_GT(bm.bmHeight, 0) << at;
            EXPECT_LE(static_cast<std::uint64_t>(bm.bmWidthBytes) * bm.bmHeight, size) << at;
            DeleteObject(b);
        }
    }
}

TEST(Cursors, EveryCutImageIsRefused) {
    // pointer.cur's directory gives each image's size and offset.
    std::vector<BYTE> file = DataFile("pointer.cur");
    ASSERT_GE(file.size(), 38u);
    for (int i = 0; i < 2; ++i) {
        const BYTE* e = file.data() + 6 + 16 * i;
        const DWORD size = e[8] | e[9] << 8 | e[10] << 16 | static_cast<DWORD>(e[11]) << 24;
        const DWORD offset = e[12] | e[13] << 8 | e[14] << 16 | static_cast<DWORD>(e[15]) << 24;
        ASSERT_LE(static_cast<std::uint64_t>(offset) + size, file.size());
        std::vector<BYTE> image(file.begin() + offset, file.begin() + offset + size);
        platform::wm::IconImage decoded;
        ASSERT_TRUE(platform::wm::DecodeIconImage(image.data(), size, &decoded));
        EXPECT_EQ(decoded.width, e[0]);
        for (DWORD cut = 0; cut < size; ++cut) {
            std::vector<BYTE> piece(image.begin(), image.begin() + cut);
            EXPECT_FALSE(platform::wm::DecodeIconImage(piece.data(), cut, &decoded)) << cut;
        }
    }
}

std::vector<WPARAM> g_commands;

LRESULT CommandProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        EXPECT_EQ(lParam, 0);
        g_commands.push_back(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class Accelerators : public ::testing::Test {
protected:
    void SetUp() override {
        g_commands.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = CommandProc;
        wc.lpszClassName = u"AccelTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
        hwnd_ = CreateWindowExW(0, u"AccelTest", u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        SetFocus(hwnd_);
    }
    void TearDown() override {
        for (UINT vk : {VK_SHIFT, VK_CONTROL, VK_MENU})
            Hold(vk, false);
        DestroyWindow(hwnd_);
        Drain();
        UnregisterClassW(u"AccelTest", nullptr);
    }
    static void Drain() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
        }
    }
    // Presses or releases a modifier as the keyboard would, so the key state follows.
    static void Hold(UINT vk, bool down) {
        platform::driver::InjectKey(down ? WM_KEYDOWN : WM_KEYUP, vk);
        Drain();
    }
    // The command a key message turns into through `table`, or -1 for none.
    int Translate(HACCEL table, UINT message, WPARAM key) {
        g_commands.clear();
        MSG m{hwnd_, message, key, 1, 0, {}};
        const int done = TranslateAcceleratorW(hwnd_, table, &m);
        EXPECT_EQ(done != 0, !g_commands.empty());
        if (g_commands.empty()) return -1;
        EXPECT_EQ(g_commands.size(), 1u);
        EXPECT_EQ(HIWORD(g_commands[0]), 1) << "accelerator commands carry 1 in the high word";
        return LOWORD(g_commands[0]);
    }
    HWND hwnd_ = nullptr;
};

TEST_F(Accelerators, KeysBecomeCommandsByTheirModifiers) {
    HACCEL table = LoadAcceleratorsW(nullptr, Id(IDA_MAIN));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(GetKeyState(VK_CONTROL) < 0, false);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'N'), IDM_NEW_PLAIN);
    EXPECT_EQ(Translate(table, WM_KEYUP, 'N'), -1);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'M'), -1);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 0x10000 | 'N'), -1) << "the whole key must match";

    Hold(VK_CONTROL, true);
    EXPECT_LT(GetKeyState(VK_CONTROL), 0);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'N'), IDM_NEW); // written "n" in the script
    Hold(VK_SHIFT, true);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'N'), IDM_NEW_BOTH);
    Hold(VK_CONTROL, false);
    EXPECT_GE(GetKeyState(VK_CONTROL), 0);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'N'), -1) << "no entry for Shift+N alone";
    Hold(VK_SHIFT, false);

    // Alt comes with the system key messages or from the key state.
    EXPECT_EQ(Translate(table, WM_KEYDOWN, VK_F5), -1);
    EXPECT_EQ(Translate(table, WM_SYSKEYDOWN, VK_F5), IDM_REDO);
    Hold(VK_MENU, true);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, VK_F5), IDM_REDO);
    Hold(VK_MENU, false);

    // Character entries match typed characters, not key presses.
    EXPECT_EQ(Translate(table, WM_CHAR, 26), IDM_UNDO); // "^Z"
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 26), -1);
    EXPECT_EQ(Translate(table, WM_CHAR, 'q'), -1);
    EXPECT_EQ(Translate(table, WM_SYSCHAR, 'q'), IDM_QUIT);
    EXPECT_EQ(Translate(table, WM_SYSCHAR, 'Q'), -1);

    EXPECT_TRUE(DestroyAcceleratorTable(table));
    EXPECT_FALSE(DestroyAcceleratorTable(table));
    MSG m{hwnd_, WM_KEYDOWN, 'N', 1, 0, {}};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(TranslateAcceleratorW(hwnd_, table, &m), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(Accelerators, TablesMadeInCodeWorkAlike) {
    ACCEL entries[] = {{FVIRTKEY | FCONTROL, 'S', 7}, {0, 'x', 8}};
    HACCEL table = CreateAcceleratorTableW(entries, 2);
    ASSERT_NE(table, nullptr);
    Hold(VK_CONTROL, true);
    EXPECT_EQ(Translate(table, WM_KEYDOWN, 'S'), 7);
    Hold(VK_CONTROL, false);
    EXPECT_EQ(Translate(table, WM_CHAR, 'x'), 8);
    // Not a window: nothing is sent.
    MSG m{hwnd_, WM_CHAR, 'x', 1, 0, {}};
    EXPECT_EQ(TranslateAcceleratorW(reinterpret_cast<HWND>(0x1234), table, &m), 0);
    EXPECT_EQ(TranslateAcceleratorW(hwnd_, table, nullptr), 0);
    EXPECT_TRUE(DestroyAcceleratorTable(table));
    EXPECT_EQ(CreateAcceleratorTableW(entries, 0), nullptr);
}

TEST(AcceleratorResources, DamagedOrMissingTablesGiveNone) {
    // 12 bytes (not whole entries), no last-entry mark, an unknown flag.
    for (int id : {IDA_ODD, IDA_OPEN, IDA_FLAGS}) {
        SCOPED_TRACE(id);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadAcceleratorsW(nullptr, Id(id)), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadAcceleratorsA(nullptr, "Missing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

} // namespace
