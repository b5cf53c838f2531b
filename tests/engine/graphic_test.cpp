// Graphic: loading, pixel formats, copies with their clipping, transparency, translucency,
// colour tables, saving and the lifecycle traces.
#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "engine_test_support.h"
#include "foundation/memory.h"

#include <gtest/gtest.h>

#include "platform/user.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Loading ---------------------------------------------------------------------------------

TEST(GraphicLoad, BmpRowsComeOutTopFirstWhicheverWayTheyAreStored) {
    // 3 x 2, 24 bits: top row red, green, blue; bottom row white, black, grey.
    std::vector<std::vector<BYTE>> rows = {{0, 0, 255, 0, 255, 0, 255, 0, 0},
                                           {255, 255, 255, 0, 0, 0, 128, 128, 128}};
    for (bool topDown : {false, true}) {
        std::vector<BYTE> bmp = MakeBmp(3, 2, 24, {}, rows, topDown);
        Graphic g(bmp.data(), static_cast<DWORD>(bmp.size()), kNoColor);
        ASSERT_TRUE(g.IsLoaded()) << topDown;
        EXPECT_EQ(g.GetWidth(), 3);
        EXPECT_EQ(g.GetHeight(), 2);
        EXPECT_EQ(g.GetBitsPerPixel(), 24u);
        EXPECT_EQ(g.GetPixelColor(0, 0), RGB(255, 0, 0)) << topDown;
        EXPECT_EQ(g.GetPixelColor(2, 0), RGB(0, 0, 255)) << topDown;
        EXPECT_EQ(g.GetPixelColor(0, 1), RGB(255, 255, 255)) << topDown;
        EXPECT_EQ(g.GetPixelColor(2, 1), RGB(128, 128, 128)) << topDown;
    }
}

TEST(GraphicLoad, PalettedBmpKeepsItsTableAndIndices) {
    std::vector<RGBQUAD> table(256, RGBQUAD{0, 0, 0, 0});
    table[7] = {10, 20, 30, 0};
    table[9] = {200, 100, 50, 0};
    std::vector<BYTE> bmp = MakeBmp(2, 3, 8, table, {{7, 9}, {9, 9}, {0, 7}}, false);
    Graphic g(bmp.data(), static_cast<DWORD>(bmp.size()), RGB(30, 20, 10));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetPixelValue(0, 0), 7u);
    EXPECT_EQ(g.GetPixelValue(1, 2), 7u);
    EXPECT_EQ(g.GetPixelColor(1, 0), RGB(50, 100, 200));
    EXPECT_EQ(g.GetTransparency(), RGB(30, 20, 10));
    EXPECT_EQ(g.ColorToValue(RGB(50, 100, 200)), 9u);
    // A colour the table lacks maps to entry 0.
    EXPECT_EQ(g.ColorToValue(RGB(1, 2, 3)), 0u);
    EXPECT_EQ(g.GetPaletteColor(9), RGB(50, 100, 200));
    EXPECT_EQ(g.GetPaletteColor(256), kNoColor);
}

TEST(GraphicLoad, ShortPixelDataLeavesTheCreatedBits) {
    std::vector<BYTE> bmp =
        MakeBmp(4, 4, 24, {}, std::vector<std::vector<BYTE>>(4, {1, 2, 3}), false);
    bmp.resize(bmp.size() - 1);
    Graphic g(bmp.data(), static_cast<DWORD>(bmp.size()), kNoColor);
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetPixelValue(0, 0), 0u);
}

TEST(GraphicLoad, TheSignatureAloneIsNotAPspFile) {
    const char text[] = "Paint Shop Pro Image File";
    static_assert(sizeof text - 1 == 25);
    // Exactly 25 bytes: tried as a BMP, which it is not.
    Graphic exact(text, 25, kNoColor);
    EXPECT_FALSE(exact.IsLoaded());
    // One byte more goes to the PSP reader, which finds no file header.
    std::string longer = std::string(text) + "\n";
    Graphic psp(longer.data(), static_cast<DWORD>(longer.size()), kNoColor);
    EXPECT_FALSE(psp.IsLoaded());
    EXPECT_EQ(psp.GetWidth(), 0);
}

TEST(GraphicLoad, MalformedBmpHeadersFailCleanly) {
    std::vector<BYTE> good = MakeBmp(2, 2, 8, std::vector<RGBQUAD>(256), {{1, 2}, {3, 4}}, false);
    struct Case {
        std::size_t at;
        DWORD value;
    };
    // Width, height, depth and header size made impossible.
    for (Case c : {Case{18, 0}, Case{18, 0x80000000}, Case{22, 0}, Case{22, 0x80000000},
                   Case{22, 0x7FFFFFFF}, Case{18, 0x7FFFFFFF}, Case{28, 7}, Case{14, 12}}) {
        std::vector<BYTE> bad(good);
        if (c.at == 28)
            bad[28] = static_cast<BYTE>(c.value);
        else
            std::memcpy(&bad[c.at], &c.value, 4);
        Graphic g(bad.data(), static_cast<DWORD>(bad.size()), kNoColor);
        EXPECT_FALSE(g.IsLoaded()) << c.at << " " << c.value;
    }
    // A table cut short.
    Graphic cut(good.data(), 14 + 40 + 100, kNoColor);
    EXPECT_FALSE(cut.IsLoaded());
}

// At one bit a pixel the byte limit alone would let a short file ask for half a billion
// pixels, which every transparent copy would then scan.
TEST(GraphicLoad, SizeLimitsCountPixelsAsWellAsBytes) {
    EXPECT_TRUE(Graphic(4096, 4096, 1).IsLoaded());
    EXPECT_FALSE(Graphic(4097, 4096, 1).IsLoaded());
    EXPECT_FALSE(Graphic(16000, 16000, 1).IsLoaded());
    std::vector<BYTE> bmp = MakeBmp(8, 1, 1, std::vector<RGBQUAD>(2), {{0x55}}, false);
    DWORD side = 20000;
    std::memcpy(&bmp[18], &side, 4);
    std::memcpy(&bmp[22], &side, 4);
    Graphic g(bmp.data(), static_cast<DWORD>(bmp.size()), RGB(0, 0, 0));
    EXPECT_FALSE(g.IsLoaded());
}

TEST(GraphicLoad, FilesByNameAndByHandle) {
    std::vector<BYTE> bmp = MakeBmp(2, 1, 24, {}, {{1, 2, 3, 4, 5, 6}}, false);
    std::string path = TempPath("a.bmp");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<long>(bmp.size()));
    }
    string name(path.c_str());
    Graphic byName(name.c_str(), kNoColor);
    ASSERT_TRUE(byName.IsLoaded());
    EXPECT_EQ(byName.GetPixelColor(1, 0), RGB(6, 5, 4));

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Graphic byHandle(file, RGB(3, 2, 1));
    CloseHandle(file);
    ASSERT_TRUE(byHandle.IsLoaded());
    EXPECT_EQ(byHandle.GetPixelColor(0, 0), RGB(3, 2, 1));
    EXPECT_EQ(byHandle.GetTransparency(), RGB(3, 2, 1));

    string missing("/nonexistent/x.bmp");
    Graphic none(missing.c_str(), kNoColor);
    EXPECT_FALSE(none.IsLoaded());
    std::remove(path.c_str());
}

// ---- Pixel formats ---------------------------------------------------------------------------

TEST(GraphicPixels, FiveFiveFiveConversions) {
    Graphic g(4, 4, 16);
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.ColorToValue(RGB(255, 0, 255)), 0x7C1Fu);
    EXPECT_EQ(g.ValueToColor(0x7C1F), RGB(248, 0, 248));
    EXPECT_EQ(g.ColorToValue(RGB(8, 16, 24)), (1u << 10) | (2u << 5) | 3u);
    g.SetPixelColor(1, 2, RGB(0, 255, 0));
    EXPECT_EQ(g.GetPixelValue(1, 2), 0x03E0u);
    // The unused top bit is never written.
    g.SetPixelValue(0, 0, 0xFFFFFFFF);
    EXPECT_EQ(g.GetPixelValue(0, 0), 0xFFFFu & 0xFFFF);
    Graphic rgb(2, 2, 24);
    EXPECT_EQ(rgb.ColorToValue(RGB(1, 2, 3)), 0x010203u);
    EXPECT_EQ(rgb.ValueToColor(0x010203), RGB(1, 2, 3));
}

TEST(GraphicPixels, SubBytePixelsPackMostSignificantFirst) {
    RGBQUAD table[16] = {};
    Graphic g(9, 2, 4, table);
    ASSERT_TRUE(g.IsLoaded());
    g.SetPixelValue(0, 0, 0xA);
    g.SetPixelValue(1, 0, 0x5);
    g.SetPixelValue(8, 1, 0xF);
    EXPECT_EQ(g.GetBits()[0], 0xA5);
    EXPECT_EQ(g.GetPixelValue(8, 1), 0xFu);
    EXPECT_EQ(g.GetPixelValue(7, 1), 0u);
    Graphic mono(10, 1, 1);
    mono.SetPixelValue(1, 0, 1);
    EXPECT_EQ(mono.GetBits()[0], 0x40);
    EXPECT_EQ(mono.GetPixelColor(1, 0), RGB(255, 255, 255));
    EXPECT_EQ(mono.GetPixelColor(0, 0), RGB(0, 0, 0));
}

TEST(GraphicPixels, ChildrenAddressTheirRoot) {
    Graphic root(10, 10, 24);
    RECT r{2, 3, 7, 9};
    Graphic child(&root, &r);
    RECT got;
    EXPECT_TRUE(child.GetRect(&got));
    EXPECT_EQ(got.right, 5);
    EXPECT_EQ(got.bottom, 6);
    EXPECT_TRUE(child.GetRectInParent(&got));
    EXPECT_EQ(got.left, 2);
    EXPECT_EQ(child.GetParent(), &root);
    child.SetPixelValue(1, 1, 0x123456);
    EXPECT_EQ(root.GetPixelValue(3, 4), 0x123456u);
    EXPECT_EQ(child.GetBitsPerPixel(), 24u);
    child.SetTransparency(RGB(1, 1, 1));
    EXPECT_EQ(root.GetTransparency(), RGB(1, 1, 1));
    TraceCapture trace;
    EXPECT_EQ(root.GetParent(), nullptr);
    EXPECT_EQ(trace.Count("Graphic::GetParent called on non-child graphic (" + Hex(&root) + ")"),
              1);
}

// ---- Copies and clipping ---------------------------------------------------------------------

struct CopyCase {
    LONG x, y, sx, sy, w, h;
};

// What a copy must leave at destination pixel (dx, dy): the source pixel it maps to when
// that lies inside the source and inside the requested source rectangle, else the old value.
DWORD Expected(const CopyCase& c, LONG srcW, LONG srcH, LONG dx, LONG dy, DWORD old,
               const std::function<DWORD(LONG, LONG)>& src) {
    LONG w = c.w == kToEdge ? srcW - c.sx : c.w;
    LONG h = c.h == kToEdge ? srcH - c.sy : c.h;
    LONG sx = dx - c.x + c.sx, sy = dy - c.y + c.sy;
    if (sx < 0 || sy < 0 || sx >= srcW || sy >= srcH) return old;
    if (sx < c.sx || sy < c.sy || sx >= c.sx + w || sy >= c.sy + h) return old;
    return src(sx, sy);
}

std::vector<CopyCase> ClippingCases() {
    std::vector<CopyCase> cases;
    for (LONG x : {-9, -3, 0, 2, 5, 8})
        for (LONG y : {-4, 0, 3, 7})
            for (LONG sx : {-2, 0, 3})
                for (LONG sy : {-5, 0, 1})
                    for (LONG w : {0, 2, 7, kToEdge})
                        cases.push_back({x, y, sx, sy, w, w == kToEdge ? kToEdge : w + 1});
    return cases;
}

void CheckCopies(DWORD bits, COLORREF transparent) {
    auto src = [bits](LONG x, LONG y) -> DWORD {
        return bits == 8 ? static_cast<DWORD>(1 + x + 9 * y)
                         : static_cast<DWORD>(0x100 + x * 37 + y * 1000);
    };
    RGBQUAD table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), 0};
    for (const CopyCase& c : ClippingCases()) {
        Graphic s(7, 6, bits, table), d(8, 7, bits, table);
        Fill(s, src);
        Fill(d, [](LONG, LONG) { return 2u; });
        s.SetTransparency(transparent);
        s.DrawTo(&d, c.x, c.y, c.sx, c.sy, c.w, c.h);
        for (LONG y = 0; y < 7; ++y)
            for (LONG x = 0; x < 8; ++x) {
                DWORD want = Expected(c, 7, 6, x, y, 2, src);
                ASSERT_EQ(d.GetPixelValue(x, y), want)
                    << "bits " << bits << " at " << x << "," << y << " case " << c.x << "," << c.y
                    << " src " << c.sx << "," << c.sy << " size " << c.w << "," << c.h;
            }
    }
}

TEST(GraphicCopy, PlainCopiesClipAtEveryEdge) {
    CheckCopies(16, kNoColor);
    CheckCopies(24, kNoColor);
    CheckCopies(8, kNoColor);
}

TEST(GraphicCopy, SpanCopiesClipAtEveryEdge) {
    // A transparent colour no pixel has: every pixel is in a span.
    CheckCopies(16, RGB(255, 255, 255));
    CheckCopies(32, RGB(1, 1, 1));
}

TEST(GraphicCopy, ChildSourceAndDestinationStayInsideTheirRectangles) {
    Graphic s(10, 10, 24), d(10, 10, 24);
    Fill(s, [](LONG x, LONG y) { return static_cast<DWORD>(x + 16 * y + 1); });
    Fill(d, [](LONG, LONG) { return 0u; });
    RECT sr{2, 2, 5, 5}, dr{4, 4, 8, 8};
    Graphic sc(&s, &sr), dc(&d, &dr);
    // Whole child onto the child destination at (-1, 2): one column and the bottom cut off.
    EXPECT_TRUE(sc.DrawTo(&dc, -1, 2));
    for (LONG y = 0; y < 10; ++y)
        for (LONG x = 0; x < 10; ++x) {
            DWORD want = 0;
            // Destination child pixel (cx, cy) = root (cx + 4, cy + 4); source child pixel
            // (cx + 1, cy - 2) = root (cx + 3, cy).
            LONG cx = x - 4, cy = y - 4;
            if (cx >= 0 && cx < 4 && cy >= 0 && cy < 4) {
                LONG scx = cx + 1, scy = cy - 2;
                if (scx >= 0 && scx < 3 && scy >= 0 && scy < 3)
                    want = static_cast<DWORD>((scx + 2) + 16 * (scy + 2) + 1);
            }
            ASSERT_EQ(d.GetPixelValue(x, y), want) << x << "," << y;
        }
}

TEST(GraphicCopy, TransparentPixelsAreSkipped) {
    for (DWORD bits : {8u, 16u, 24u}) {
        RGBQUAD table[256] = {};
        table[5] = {255, 0, 255, 0};
        Graphic s(6, 3, bits, table), d(6, 3, bits, table);
        DWORD key = s.ColorToValue(RGB(255, 0, 255));
        Fill(s, [key](LONG x, LONG) { return x % 2 ? key : 7u; });
        Fill(d, [](LONG, LONG) { return 3u; });
        s.SetTransparency(RGB(255, 0, 255));
        EXPECT_TRUE(s.DrawTo(&d, 0, 0));
        for (LONG x = 0; x < 6; ++x)
            EXPECT_EQ(d.GetPixelValue(x, 1), x % 2 ? 3u : 7u) << bits << " " << x;
        EXPECT_EQ(s.GetSpanRowCount(), 3u);
    }
}

TEST(GraphicCopy, AcrossDepthsThePlatformConverts) {
    RGBQUAD table[256] = {};
    table[1] = {0, 0, 255, 0}; // red
    table[2] = {255, 0, 0, 0}; // blue
    Graphic s(4, 2, 8, table), d(6, 4, 24);
    Fill(s, [](LONG x, LONG) { return x < 2 ? 1u : 2u; });
    Fill(d, [](LONG, LONG) { return 0x00FF00u; });
    EXPECT_TRUE(s.DrawTo(&d, 1, 1));
    EXPECT_EQ(d.GetPixelColor(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(d.GetPixelColor(4, 2), RGB(0, 0, 255));
    EXPECT_EQ(d.GetPixelColor(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(d.GetPixelColor(5, 3), RGB(0, 255, 0));
    // Colour-keyed across depths too; a child destination clips the platform's copy.
    s.SetTransparency(RGB(255, 0, 0));
    Fill(d, [](LONG, LONG) { return 0x00FF00u; });
    RECT dr{0, 0, 4, 4};
    Graphic dc(&d, &dr);
    EXPECT_TRUE(s.DrawTo(&dc, 1, 1));
    EXPECT_EQ(d.GetPixelColor(1, 1), RGB(0, 255, 0));
    EXPECT_EQ(d.GetPixelColor(3, 1), RGB(0, 0, 255));
    EXPECT_EQ(d.GetPixelColor(4, 1), RGB(0, 255, 0));
}

TEST(GraphicCopy, ColourKeyedCopyOntoAContext) {
    Graphic s(4, 1, 24), d(4, 1, 24);
    Fill(s, [](LONG x, LONG) { return x == 1 ? 0xFF00FFu : 0x000080u; });
    Fill(d, [](LONG, LONG) { return 0x00FF00u; });
    s.SetTransparency(RGB(255, 0, 255));
    HDC hdc = d.GetDC();
    ASSERT_NE(hdc, nullptr);
    EXPECT_TRUE(s.DrawTo(hdc, 0, 0));
    d.ReleaseDC();
    EXPECT_EQ(d.GetPixelValue(0, 0), 0x000080u);
    EXPECT_EQ(d.GetPixelValue(1, 0), 0x00FF00u);
    EXPECT_EQ(d.GetPixelValue(3, 0), 0x000080u);
}

TEST(GraphicCopy, TilesRepeatFromTheOffsetAndClipToTheArea) {
    Graphic tile(2, 2, 24), d(7, 5, 24);
    Fill(tile, [](LONG x, LONG y) { return static_cast<DWORD>(1 + x + 2 * y); });
    Fill(d, [](LONG, LONG) { return 0u; });
    EXPECT_TRUE(tile.TileTo(&d, 1, 1, 5, kToEdge, 0, 0, kToEdge, kToEdge, 1, 0));
    for (LONG y = 0; y < 5; ++y)
        for (LONG x = 0; x < 7; ++x) {
            DWORD want = 0;
            if (x >= 1 && x < 6 && y >= 1) {
                LONG tx = (x - 0) % 2, ty = (y - 1) % 2; // the grid starts at (0, 1)
                want = static_cast<DWORD>(1 + tx + 2 * ty);
            }
            ASSERT_EQ(d.GetPixelValue(x, y), want) << x << "," << y;
        }
}

TEST(GraphicCopy, StretchingByFlavour) {
    Graphic s(2, 2, 24), d(4, 4, 24);
    Fill(s, [](LONG x, LONG y) { return static_cast<DWORD>(0x10 * (1 + x + 2 * y)); });
    Fill(d, [](LONG, LONG) { return 0u; });
    EXPECT_TRUE(s.StretchTo(&d, 0, 0, 4, 4, 0, 0, kToEdge, kToEdge));
#ifdef TESSARK_DESKTOP
    EXPECT_EQ(d.GetPixelValue(1, 1), 0x10u);
    EXPECT_EQ(d.GetPixelValue(3, 3), 0x40u);
    EXPECT_EQ(d.GetPixelValue(2, 0), 0x20u);
#else
    // The device copies opaque graphics unscaled.
    EXPECT_EQ(d.GetPixelValue(1, 1), 0x40u);
    EXPECT_EQ(d.GetPixelValue(3, 3), 0u);
#endif
}

// ---- Translucency ----------------------------------------------------------------------------

TEST(GraphicBlend, LevelsZeroHalfAndFull) {
    for (DWORD bits : {24u, 32u, 16u}) {
        Graphic s(1, 1, bits), d(3, 1, bits);
        s.SetPixelColor(0, 0, RGB(200, 16, 96));
        const COLORREF back = RGB(40, 240, 160);
        struct Level {
            BYTE level;
            LONG x;
        };
        for (Level l : {Level{0, 0}, Level{128, 1}, Level{255, 2}}) {
            d.SetPixelColor(l.x, 0, back);
            ASSERT_TRUE(s.SetTranslucency(1, l.level));
            EXPECT_TRUE(s.IsTranslucent() || l.level == 0);
            s.DrawTo(&d, l.x, 0);
        }
        EXPECT_EQ(d.GetPixelColor(0, 0), d.ValueToColor(d.ColorToValue(back))) << bits;
        EXPECT_EQ(d.GetPixelColor(2, 0), d.ValueToColor(d.ColorToValue(RGB(200, 16, 96)))) << bits;
        if (bits == 16) {
            // 5-bit components: d + ((s - d) * 128 >> 8) with an arithmetic shift.
            int r = 5 + (((25 - 5) * 128) >> 8), g = 30 + (((2 - 30) * 128) >> 8),
                b = 20 + (((12 - 20) * 128) >> 8);
            EXPECT_EQ(d.GetPixelValue(1, 0), static_cast<DWORD>((r << 10) | (g << 5) | b));
        } else {
            EXPECT_EQ(d.GetPixelColor(1, 0),
                      RGB(40 + (((200 - 40) * 128) >> 8), 240 + (((16 - 240) * 128) >> 8),
                          160 + (((96 - 160) * 128) >> 8)))
                << bits;
        }
    }
}

TEST(GraphicBlend, ThirtyTwoBitKeepsTheTopByteAndSixteenBitSourcesWiden) {
    Graphic s(1, 1, 16), d(1, 1, 32);
    s.SetPixelValue(0, 0, 0x7C00); // red 31
    d.SetPixelValue(0, 0, 0xAB000000);
    s.SetTranslucency(1, 255);
    s.DrawTo(&d, 0, 0);
    EXPECT_EQ(d.GetPixelValue(0, 0), 0xABF80000u);
}

TEST(GraphicBlend, OpacityMapFromAGraphic) {
    Graphic s(2, 1, 24), d(2, 1, 24), mask(2, 1, 24);
    Fill(s, [](LONG, LONG) { return 0xFFFFFFu; });
    Fill(d, [](LONG, LONG) { return 0u; });
    mask.SetPixelColor(0, 0, RGB(255, 255, 255));
    mask.SetPixelColor(1, 0, RGB(0, 0, 0));
    Graphic wrong(3, 1, 24);
    EXPECT_FALSE(s.SetOpacityFromGraphic(&wrong));
    ASSERT_TRUE(s.SetOpacityFromGraphic(&mask));
    EXPECT_EQ(s.GetTranslucency()->mode, 2u);
    EXPECT_EQ(s.GetTranslucency()->cbOpacityStride, 2u);
    s.DrawTo(&d, 0, 0);
    EXPECT_EQ(d.GetPixelValue(0, 0), 0xFFFFFFu);
    EXPECT_EQ(d.GetPixelValue(1, 0), 0u);
}

TEST(GraphicBlend, EightBitDestinationNeedsAColourCubeGroup) {
    Graphic s(1, 1, 24);
    s.SetPixelColor(0, 0, RGB(255, 255, 255));
    s.SetTranslucency(1, 255);
    RGBQUAD table[256] = {};
    Graphic d(1, 1, 8, table);
    d.SetPixelValue(0, 0, 3);
    s.DrawTo(&d, 0, 0);
    EXPECT_EQ(d.GetPixelValue(0, 0), 3u) << "no palette group: untouched";
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(&d, TRUE);
    group.Close();
    s.DrawTo(&d, 0, 0);
    EXPECT_EQ(d.GetPixelValue(0, 0), 3u) << "a group without the cube: untouched";
    ASSERT_TRUE(group.Open());
    group.Add(PALETTEGROUP_COLOR_CUBE, 0);
    group.Close();
    s.DrawTo(&d, 0, 0);
    EXPECT_EQ(d.GetPixelValue(0, 0), 255u) << "white is cube cell 255 -> entry 255";
    EXPECT_EQ(d.GetPixelColor(0, 0), RGB(255, 255, 255));
}

// ---- Transparency preparation ----------------------------------------------------------------

TEST(GraphicTransparency, ChangingTheColourTwiceRestoresThePixels) {
    Graphic g(5, 3, 24), d(5, 3, 24);
    Fill(g, [](LONG x, LONG y) { return x == y ? 0xFF00FFu : (x == 4 ? 0x00FF00u : 0x123456u); });
    std::vector<DWORD> before;
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 5; ++x)
            before.push_back(g.GetPixelValue(x, y));
    g.SetTransparency(RGB(255, 0, 255));
    g.DrawTo(&d, 0, 0);
#ifdef TESSARK_DESKTOP
    // Prepared: transparent pixels hold black in the surface.
    EXPECT_EQ(g.GetPixelValue(1, 1), 0u);
#endif
    g.SetTransparency(RGB(0, 255, 0));
    g.DrawTo(&d, 0, 0);
    g.SetTransparency(kNoColor);
    g.PrepareTransparency();
    std::size_t i = 0;
    for (LONG y = 0; y < 3; ++y)
        for (LONG x = 0; x < 5; ++x)
            EXPECT_EQ(g.GetPixelValue(x, y), before[i++]) << x << "," << y;
}

// ---- Colour tables ---------------------------------------------------------------------------

TEST(GraphicPalette, SameColoursChangeNothingNewOnesKeepPixelsAndChildren) {
    RGBQUAD table[256] = {};
    table[4] = {1, 2, 3, 0};
    Graphic g(3, 2, 8, table);
    RECT r{1, 0, 3, 2};
    Graphic child(&g, &r);
    Fill(g, [](LONG x, LONG) { return static_cast<DWORD>(x + 4); });
    g.SetTransparency(RGB(3, 2, 1));
    HBITMAP surface = g.GetSurface();
    PALETTEENTRY same{3, 2, 1, 0};
    EXPECT_TRUE(g.SetPaletteEntries(&same, 4, 1));
    EXPECT_EQ(g.GetSurface(), surface);
    PALETTEENTRY changed[2] = {{9, 8, 7, 0}, {6, 5, 4, 0}};
    EXPECT_TRUE(child.SetPaletteEntries(changed, 255, 2)); // only entry 255 fits
    EXPECT_EQ(g.GetPaletteColor(255), RGB(9, 8, 7));
    EXPECT_EQ(g.GetPixelValue(2, 1), 6u);
    EXPECT_EQ(g.GetTransparency(), RGB(3, 2, 1));
    EXPECT_EQ(child.GetPixelValue(0, 0), 5u);
    PALETTEENTRY out[3];
    EXPECT_EQ(g.GetPaletteEntries(out, 254, 3), 2u);
    EXPECT_EQ(out[1].peRed, 9);
    Graphic deep(2, 2, 24);
    EXPECT_FALSE(deep.SetPaletteEntries(changed, 0, 1));
    EXPECT_EQ(deep.GetPaletteEntries(out, 0, 1), 0u);
}

// ---- Saving ----------------------------------------------------------------------------------

TEST(GraphicSave, BmpRoundTripsAndSizeMatches) {
    for (DWORD bits : {8u, 16u, 24u, 32u}) {
        RGBQUAD table[256];
        for (int i = 0; i < 256; ++i)
            table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i ^ 0x55), 7, 0};
        Graphic g(5, 3, bits, table);
        Fill(g, [](LONG x, LONG y) { return static_cast<DWORD>(x * 40 + y * 3 + 1); });
        RECT r{1, 1, 4, 3};
        Graphic child(&g, &r);
        g.SetTransparency(g.ValueToColor(1));
        for (Graphic* which : {&g, &child}) {
            std::string path = TempPath("save.bmp");
            HANDLE file =
                CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(which->Save(file));
            CloseHandle(file);
            EXPECT_EQ(which->GetTransparency(), g.ValueToColor(1));
            std::vector<BYTE> bytes = ReadAll(path);
            std::remove(path.c_str());
            EXPECT_EQ(bytes.size(), which->GetSaveSize(TRUE)) << bits;
            EXPECT_EQ(which->GetSaveSize(FALSE) + 14, which->GetSaveSize(TRUE));
            Graphic back(bytes.data(), static_cast<DWORD>(bytes.size()), kNoColor);
            ASSERT_TRUE(back.IsLoaded());
            ASSERT_EQ(back.GetWidth(), which->GetWidth());
            ASSERT_EQ(back.GetHeight(), which->GetHeight());
            for (LONG y = 0; y < back.GetHeight(); ++y)
                for (LONG x = 0; x < back.GetWidth(); ++x)
                    EXPECT_EQ(back.GetPixelColor(x, y), which->GetPixelColor(x, y))
                        << bits << " " << x << "," << y;
        }
    }
    Graphic four(3, 3, 4);
    EXPECT_EQ(four.GetSaveSize(TRUE), 54u + 64u + 3u * 4u);
}

// ---- Lifecycle -------------------------------------------------------------------------------

TEST(GraphicLifecycle, ParentDestroysItsChildrenWithOneWarningEach) {
    TraceCapture trace;
    auto* parent = new (MM("GRAPHIC")) Graphic(8, 8, 16);
    auto* a = new (MM("GRAPHIC")) Graphic(parent);
    auto* b = new (MM("GRAPHIC")) Graphic(parent);
    auto* c = new (MM("GRAPHIC")) Graphic(parent);
    MemDelete(b, MM("GRAPHIC")); // a child going first leaves no trace
    EXPECT_TRUE(trace.Lines().empty());
    auto* d = new (MM("GRAPHIC")) Graphic(parent); // takes the free slot
    parent->Destroy();
    EXPECT_EQ(trace.Count("Warning: freeing child graphic"), 3);
    EXPECT_EQ(trace.Count("Warning: freeing child graphic " + Hex(a) + " when parent " +
                          Hex(parent) + " destroyed"),
              1);
    EXPECT_FALSE(a->IsLoaded());
    trace.Clear();
    parent->Destroy();
    EXPECT_EQ(trace.Count("Graphic " + Hex(parent) + " destroyed twice"), 1);
    EXPECT_EQ(parent->GetWidth(), 0);
    EXPECT_EQ(trace.Count("Graphic::GetWidth called on invalid graphic (" + Hex(parent) + ")"), 1);
    EXPECT_EQ(parent->GetTransparency(), kNoColor);
    EXPECT_FALSE(parent->DrawTo(a, 0, 0));
    EXPECT_EQ(trace.Count("Graphic::DrawTo called on invalid graphic"), 1);
    for (Graphic* g : {a, c, d, parent})
        MemDelete(g, MM("GRAPHIC"));
}

TEST(GraphicLifecycle, AnOpenContextIsClosedWithAWarning) {
    TraceCapture trace;
    auto* g = new (MM("GRAPHIC")) Graphic(4, 4, 16);
    HDC first = g->GetDC();
    EXPECT_EQ(g->GetDC(), first);
    g->ReleaseDC();
    EXPECT_TRUE(g->HasOpenDC());
    MemDelete(g, MM("GRAPHIC"));
    EXPECT_EQ(trace.Count("Warning: freeing graphic"), 1);
}

// ---- Debug viewer ---------------------------------------------------------------------------

// Drives a viewer from another thread: click a pixel, read the title, close it.
std::string ClickAndClose(LONG x, LONG y) {
    std::string title;
    HWND hwnd = nullptr;
    for (int i = 0; i < 500 && !hwnd; ++i) {
        hwnd = FindOwnWindow("GraphicShowClass");
        if (!hwnd) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!hwnd) return "no window";
    PostMessageA(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(x, y));
    char text[128] = {};
    for (int i = 0; i < 500; ++i) {
        GetWindowTextA(hwnd, text, sizeof text);
        if (std::string(text) != "Graphic") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    title = text;
    PostMessageA(hwnd, WM_COMMAND, 2, 0);
    return title;
}

TEST(GraphicShow, ClickShowsThePixelAndCommandTwoCloses) {
    Graphic deep(4, 3, 24);
    deep.SetPixelColor(2, 1, RGB(10, 20, 30));
    std::string title;
    std::thread driver([&] { title = ClickAndClose(2, 1); });
    deep.Show();
    driver.join();
    EXPECT_EQ(title, "RGB=10,20,30 - X=2,Y=1");
    EXPECT_EQ(FindOwnWindow("GraphicShowClass"), nullptr);

    RGBQUAD table[256] = {};
    table[6] = {3, 2, 1, 0};
    Graphic paletted(4, 3, 8, table);
    paletted.SetPixelValue(3, 2, 6);
    std::thread second([&] { title = ClickAndClose(3, 2); });
    paletted.Show();
    second.join();
    EXPECT_EQ(title, "I=6, RGB=1,2,3 - X=3,Y=2");
}

} // namespace
