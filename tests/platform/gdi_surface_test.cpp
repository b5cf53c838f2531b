#include "tests/platform/gdi_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::vector<BYTE> Header(int w, int h, int bpp, DWORD compression = BI_RGB) {
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = w;
    bi->bmiHeader.biHeight = h;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = static_cast<WORD>(bpp);
    bi->bmiHeader.biCompression = compression;
    return info;
}

} // namespace

TEST(GdiStructures, HaveThePlatformSizes) {
    EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
    EXPECT_EQ(sizeof(BITMAPFILEHEADER), 14u);
    EXPECT_EQ(sizeof(RGBQUAD), 4u);
    EXPECT_EQ(sizeof(RGNDATAHEADER), 32u);
    EXPECT_EQ(sizeof(LOGFONTW), 92u);
    EXPECT_EQ(sizeof(LOGFONTA), 60u);
    EXPECT_EQ(sizeof(PALETTEENTRY), 4u);
}

TEST(CreateDIBSection, LaysOutRowsWithTheExactPitchAndOrder) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        TestDib dib(13, 3, bpp);
        ASSERT_NE(dib.bitmap, nullptr) << bpp;
        BITMAP bm{};
        ASSERT_EQ(GetObjectW(dib.bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
        EXPECT_EQ(bm.bmWidthBytes, ((13 * bpp + 31) / 32) * 4) << bpp;
        EXPECT_EQ(bm.bmBitsPixel, bpp);
        EXPECT_EQ(bm.bmBits, dib.bits);
    }
    // Sub-byte pixels are packed most significant first; SetPixel proves the addressing.
    TestDib one(16, 2, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}});
    SetPixel(one.dc, 1, 1, RGB(255, 255, 255));
    EXPECT_EQ(one.Row(1)[0], 0x40);
    EXPECT_EQ(one.Row(0)[0], 0x00);
    TestDib four(4, 1, 4);
    SetPixel(four.dc, 0, 0, RGB(255, 255, 255));
    SetPixel(four.dc, 3, 0, RGB(17, 17, 17));
    EXPECT_EQ(four.Row(0)[0], 0xF0);
    EXPECT_EQ(four.Row(0)[1], 0x01);
    TestDib s16(3, 1, 16);
    SetPixel(s16.dc, 2, 0, RGB(255, 0, 255));
    EXPECT_EQ(s16.Get16(2, 0), 0x7C1F);
    TestDib s24(2, 1, 24);
    SetPixel(s24.dc, 1, 0, RGB(1, 2, 3));
    EXPECT_EQ(s24.Row(0)[3], 3) << "blue first";
    EXPECT_EQ(s24.Row(0)[5], 1);
    TestDib s32(2, 1, 32);
    SetPixel(s32.dc, 0, 0, RGB(1, 2, 3));
    EXPECT_EQ(s32.Get32(0, 0), 0x010203u);
}

TEST(CreateDIBSection, BottomUpRowsStartAtTheEndOfMemory) {
    auto info = Header(4, 3, 8);
    reinterpret_cast<BITMAPINFO*>(info.data())->bmiColors[7] = {255, 255, 255, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()),
                                   DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    static_cast<BYTE*>(bits)[2 * 4] = 7; // the last row in memory is the top row
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 0, 2), RGB(0, 0, 0));
    SetPixel(dc, 1, 2, RGB(255, 255, 255));
    EXPECT_EQ(static_cast<BYTE*>(bits)[1], 7) << "the bottom row is first in memory";
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
}

TEST(CreateDIBSection, RefusesBadHeaders) {
    struct Case {
        int w, h, bpp;
        DWORD compression;
        const char* why;
    } cases[] = {{0, 4, 8, BI_RGB, "zero width"},
                 {4, 0, 8, BI_RGB, "zero height"},
                 {-4, 4, 8, BI_RGB, "negative width"},
                 {4, 4, 2, BI_RGB, "2 bits"},
                 {4, 4, 7, BI_RGB, "7 bits"},
                 {4, 4, 8, 1, "RLE"},
                 {4, 4, 24, BI_BITFIELDS, "bit fields at 24 bits"},
                 {1 << 20, 1 << 20, 32, BI_RGB, "four terabytes"}};
    for (const Case& c : cases) {
        auto info = Header(c.w, c.h, c.bpp, c.compression);
        void* bits = reinterpret_cast<void*>(1);
        SetLastError(0xdeadbeef);
        HBITMAP bmp = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
        EXPECT_EQ(bmp, nullptr) << c.why;
        EXPECT_EQ(bits, nullptr) << c.why;
        EXPECT_NE(GetLastError(), 0xdeadbeefu) << c.why;
    }
    // 16 bits must be 5-5-5.
    auto info = Header(4, 4, 16, BI_BITFIELDS);
    DWORD masks565[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(info.data() + 40, masks565, sizeof(masks565));
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                               nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

TEST(DeviceContexts, SelectObjectReturnsThePreviousObjectAndKeepsItAlive) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP a = CreateBitmap(4, 4, 1, 8, nullptr);
    HGDIOBJ original = SelectObject(dc, a);
    ASSERT_NE(original, nullptr) << "a new context holds a default bitmap";
    BITMAP bm{};
    GetObjectW(original, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidth, 1);
    // Deleting a selected bitmap must not leave the context drawing into freed memory.
    EXPECT_TRUE(DeleteObject(a));
    RECT r{0, 0, 4, 4};
    EXPECT_NE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteObject(a)) << "a handle is dead once deleted";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SelectObject(dc, original), a);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(SelectObject(nullptr, original), nullptr);
}

TEST(DeviceContexts, SaveAndRestoreBringBackAttributesAndObjects) {
    TestDib dib(4, 4, 24);
    HBITMAP other = CreateBitmap(2, 2, 1, 24, nullptr);
    SetTextColor(dib.dc, RGB(1, 2, 3));
    SetBkMode(dib.dc, TRANSPARENT);
    int first = SaveDC(dib.dc);
    EXPECT_EQ(first, 1);
    SetTextColor(dib.dc, RGB(9, 9, 9));
    SetBkColor(dib.dc, RGB(7, 7, 7));
    SetBkMode(dib.dc, OPAQUE);
    EXPECT_EQ(SaveDC(dib.dc), 2);
    HGDIOBJ mine = SelectObject(dib.dc, other);
    EXPECT_EQ(mine, dib.bitmap);
    EXPECT_TRUE(RestoreDC(dib.dc, -1));
    EXPECT_EQ(GetCurrentObject(dib.dc, OBJ_BITMAP), dib.bitmap);
    EXPECT_EQ(GetTextColor(dib.dc), RGB(9, 9, 9));
    EXPECT_TRUE(RestoreDC(dib.dc, first));
    EXPECT_EQ(GetTextColor(dib.dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkColor(dib.dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkMode(dib.dc), TRANSPARENT);
    EXPECT_FALSE(RestoreDC(dib.dc, 1)) << "that level was used up";
    EXPECT_FALSE(RestoreDC(dib.dc, -1));
    DeleteObject(other);
}

TEST(ScreenContext, FollowsTheFlavourAndTheDepthOverride) {
    unsetenv("TESSARK_DEPTH");
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 24);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);

    setenv("TESSARK_DEPTH", "8", 1);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    unsetenv("TESSARK_DEPTH");
    screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    // A bitmap compatible with the screen has its depth; one compatible with a fresh memory
    // context is a mask.
    HBITMAP compatible = CreateCompatibleBitmap(screen, 5, 5);
    BITMAP bm{};
    GetObjectW(compatible, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    DeleteObject(compatible);
    HDC memory = CreateCompatibleDC(screen);
    compatible = CreateCompatibleBitmap(memory, 5, 5);
    GetObjectW(compatible, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(compatible);
    DeleteDC(memory);
    EXPECT_EQ(SelectObject(screen, CreateBitmap(1, 1, 1, 1, nullptr)), nullptr)
        << "the screen's surface cannot be swapped";
    ReleaseDC(nullptr, screen);
    setenv("TESSARK_DEPTH", "12", 1);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    unsetenv("TESSARK_DEPTH");
    EXPECT_EQ(platform::gdi::GetScreen().bitsPerPixel, 16) << "a depth that does not exist";
    platform::gdi::SetScreen({0, -5, 8, 0});
    EXPECT_EQ(platform::gdi::GetScreen().width, 240) << "an impossible screen";
    EXPECT_EQ(platform::gdi::GetScreen().logPixelsY, 96);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    EXPECT_EQ(platform::gdi::GetScreen().bitsPerPixel, 16);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x1234)), nullptr) << "window contexts are not here";
    EXPECT_NE(GetLastError(), 0xdeadbeefu);
}

TEST(FillRect, FillsClippedAndTakesSystemColourBrushes) {
    TestDib dib(6, 4, 16);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{-3, 2, 2, 99};
    EXPECT_NE(FillRect(dib.dc, &r, red), 0);
    EXPECT_EQ(dib.Get16(0, 3), To555(255, 0, 0));
    EXPECT_EQ(dib.Get16(1, 2), To555(255, 0, 0));
    EXPECT_EQ(dib.Get16(2, 2), 0);
    EXPECT_EQ(dib.Get16(0, 1), 0);
    RECT all{0, 0, 6, 4};
    FillRect(dib.dc, &all, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(dib.Get16(5, 3), To555(GetRValue(face), GetGValue(face), GetBValue(face)));
    FillRect(dib.dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(dib.Get16(5, 3), To555(GetRValue(face), GetGValue(face), GetBValue(face)));
    DeleteObject(red);
    EXPECT_EQ(FillRect(dib.dc, &all, red), 0) << "a deleted brush";
}

TEST(FillRect, MapsColoursToTheNearestEntryOnPalettedSurfaces) {
    TestDib dib(2, 1, 8, {{0, 0, 0, 0}, {0, 0, 200, 0}, {0, 250, 0, 0}});
    HBRUSH brush = CreateSolidBrush(RGB(210, 10, 5));
    RECT r{0, 0, 1, 1};
    FillRect(dib.dc, &r, brush);
    EXPECT_EQ(dib.Row(0)[0], 1);
    DeleteObject(brush);
    brush = CreateSolidBrush(PALETTEINDEX(2));
    r = {1, 0, 2, 1};
    FillRect(dib.dc, &r, brush);
    EXPECT_EQ(dib.Row(0)[1], 2) << "a palette index is taken as it is";
    DeleteObject(brush);
}

TEST(DrawEdge, PaintsRaisedAndSunkenRings) {
    TestDib dib(10, 10, 24);
    dib.Fill(RGB(1, 1, 1));
    RECT r{0, 0, 10, 10};
    EXPECT_TRUE(DrawEdge(dib.dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST));
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.bottom, 8);
    EXPECT_EQ(GetPixel(dib.dc, 0, 0), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(GetPixel(dib.dc, 9, 9), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(dib.dc, 1, 1), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(dib.dc, 8, 8), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(dib.dc, 2, 2), RGB(1, 1, 1)) << "the middle stays";
    RECT s{0, 0, 10, 10};
    DrawEdge(dib.dc, &s, EDGE_SUNKEN, BF_RECT);
    EXPECT_EQ(GetPixel(dib.dc, 0, 0), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(dib.dc, 9, 9), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(dib.dc, 1, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(dib.dc, 8, 8), GetSysColor(COLOR_3DLIGHT));
}

TEST(DrawFocusRect, IsDottedAndUndoneByASecondCall) {
    for (int bpp : {1, 8, 16, 24}) {
        TestDib dib(9, 7, bpp);
        dib.Fill(RGB(255, 255, 255));
        std::vector<BYTE> before(dib.bits, dib.bits + dib.pitch * dib.height);
        RECT r{1, 1, 8, 6};
        EXPECT_TRUE(DrawFocusRect(dib.dc, &r));
        EXPECT_NE(GetPixel(dib.dc, 1, 1), RGB(255, 255, 255)) << bpp;
        EXPECT_EQ(GetPixel(dib.dc, 2, 1), RGB(255, 255, 255)) << "dotted, " << bpp;
        EXPECT_EQ(GetPixel(dib.dc, 4, 3), RGB(255, 255, 255)) << "inside untouched, " << bpp;
        DrawFocusRect(dib.dc, &r);
        EXPECT_EQ(std::vector<BYTE>(dib.bits, dib.bits + dib.pitch * dib.height), before) << bpp;
    }
}

TEST(Palettes, CreateSelectRealizeAndTheSystemPalette) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        lp->palPalEntry[i] = {BYTE(i), BYTE(255 - i), 7, 0};
    HPALETTE pal = CreatePalette(lp);
    ASSERT_NE(pal, nullptr);
    PALETTEENTRY e[2];
    EXPECT_EQ(GetPaletteEntries(pal, 254, 5, e), 2u);
    EXPECT_EQ(e[1].peRed, 255);
    EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(100, 155, 7)), 100u);
    lp->palVersion = 0x200;
    EXPECT_EQ(CreatePalette(lp), nullptr);

    PALETTEENTRY sys[256];
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 0, 0, nullptr), 256u);
    ASSERT_EQ(GetSystemPaletteEntries(nullptr, 0, 256, sys), 256u);
    EXPECT_EQ(sys[0].peRed | sys[0].peGreen | sys[0].peBlue, 0) << "black first";
    EXPECT_EQ(sys[255].peRed & sys[255].peGreen & sys[255].peBlue, 255) << "white last";
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 250, 10, sys), 6u);

    setenv("TESSARK_DEPTH", "8", 1);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    unsetenv("TESSARK_DEPTH");
    HDC screen = GetDC(nullptr);
    HPALETTE old = SelectPalette(screen, pal, FALSE);
    EXPECT_NE(old, nullptr);
    EXPECT_GT(RealizePalette(screen), 0u);
    PALETTEENTRY middle;
    GetSystemPaletteEntries(screen, 10, 1, &middle);
    EXPECT_EQ(middle.peRed, 0);
    EXPECT_EQ(middle.peGreen, 255);
    EXPECT_EQ(middle.peBlue, 7);
    SetPixel(screen, 0, 0, RGB(3, 252, 7));
    EXPECT_EQ(GetPixel(screen, 0, 0), RGB(3, 252, 7)) << "the realised colours are on screen";
    SelectPalette(screen, old, FALSE);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DeleteObject(pal));

    // A 4-bit display has the sixteen standard colours, black first and white last.
    platform::gdi::SetScreen({240, 320, 4, 96});
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 0, 0, nullptr), 16u);
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 0, 256, sys), 16u);
    EXPECT_EQ(sys[0].peRed | sys[0].peGreen | sys[0].peBlue, 0);
    EXPECT_EQ(sys[15].peRed & sys[15].peGreen & sys[15].peBlue, 255);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 0, 0, nullptr), 256u);
}

TEST(SurfaceContexts, DrawOnlyInsideTheirAreaFromItsCorner) {
    TestDib whole(20, 20, 16);
    const RECT area{5, 6, 15, 12};
    HDC dc = platform::gdi::CreateSurfaceDC(whole.bitmap, &area);
    ASSERT_NE(dc, nullptr);
    RECT everything{-100, -100, 100, 100};
    FillRect(dc, &everything, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            bool inside = x >= 5 && x < 15 && y >= 6 && y < 12;
            EXPECT_EQ(whole.Get16(x, y), inside ? 0x7FFF : 0) << x << "," << y;
        }
    }
    SetPixel(dc, 0, 0, RGB(255, 0, 0));
    EXPECT_EQ(whole.Get16(5, 6), To555(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 10, 0), CLR_INVALID) << "outside the area";
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    // Copies in and out keep to the area too.
    TestDib src(30, 30, 16);
    src.Fill(RGB(0, 0, 255));
    BitBlt(dc, -3, -3, 30, 30, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(whole.Get16(4, 6), 0);
    EXPECT_EQ(whole.Get16(14, 11), To555(0, 0, 255));
    EXPECT_EQ(whole.Get16(15, 11), 0);
    TestDib out(30, 30, 16);
    BitBlt(out.dc, 0, 0, 30, 30, dc, -2, 0, SRCCOPY);
    EXPECT_EQ(out.Get16(1, 0), 0) << "nothing is read left of the area";
    EXPECT_EQ(out.Get16(2, 0), To555(0, 0, 255));
    EXPECT_EQ(out.Get16(12, 0), 0) << "nor right of it";
    // Text and focus rectangles far outside draw nothing and return at once.
    RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    std::vector<BYTE> before(whole.bits, whole.bits + whole.pitch * whole.height);
    EXPECT_TRUE(ExtTextOutW(dc, INT32_MAX - 5, 0, 0, nullptr, u"far", 3, nullptr));
    EXPECT_TRUE(DrawFocusRect(dc, &huge));
    EXPECT_TRUE(DrawFocusRect(dc, &huge));
    EXPECT_EQ(std::vector<BYTE>(whole.bits, whole.bits + whole.pitch * whole.height), before);
    EXPECT_TRUE(DeleteDC(dc));
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(whole.bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)))
        << "the bitmap outlives the context";
}

TEST(CreateBitmap, ReadsWordAlignedRowsAndShortColourTables) {
    // 10 pixels a row: two bytes of data, padded to a 16-bit boundary (not 32).
    const BYTE rows[] = {0xC0, 0x40, 0x01, 0x80};
    HBITMAP mask = CreateBitmap(10, 2, 1, 1, rows);
    ASSERT_NE(mask, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, mask);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 9, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 7, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 8, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 9, 1), RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(mask);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 1, nullptr), nullptr) << "one plane only";
    EXPECT_EQ(CreateBitmap(4, 4, 1, 3, nullptr), nullptr);

    // A table shorter than the depth allows leaves the remaining entries black.
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -1, 1, 8, BI_RGB, 0, 0, 0, 2, 0};
    for (int i = 0; i < 256; ++i)
        bi->bmiColors[i] = {255, 255, 255, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, dib);
    static_cast<BYTE*>(bits)[0] = 1;
    static_cast<BYTE*>(bits)[1] = 2;
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
}
