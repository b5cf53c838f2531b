#include "tests/platform/gdi_test_support.h"

#include <gtest/gtest.h>

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kMagenta = RGB(255, 0, 255);

// Every paletted surface gets the same four colours first, so colours survive any depth pair.
std::vector<RGBQUAD> Table(int bpp) {
    if (bpp > 8) return {};
    if (bpp == 1) return {{0, 0, 0, 0}, {255, 255, 255, 0}};
    // Black, white, blue, red, magenta (entries are blue, green, red).
    std::vector<RGBQUAD> t = {
        {0, 0, 0, 0}, {255, 255, 255, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 255, 0}};
    t.resize(1 << bpp, {128, 128, 128, 0});
    return t;
}

} // namespace

TEST(BitBlt, SourceCopyConvertsBetweenEveryDepthPair) {
    const int depths[] = {1, 4, 8, 16, 24, 32};
    const COLORREF pattern[4] = {kBlack, kWhite, kRed, kBlue};
    for (int from : depths) {
        for (int to : depths) {
            TestDib src(4, 2, from, Table(from));
            TestDib dst(4, 2, to, Table(to));
            for (int x = 0; x < 4; ++x)
                SetPixel(src.dc, x, 0, pattern[x]);
            dst.Fill(kBlue);
            ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 2, src.dc, 0, 0, SRCCOPY)) << from << "->" << to;
            for (int x = 0; x < 4; ++x) {
                COLORREF want = pattern[x];
                if (from == 1) want = x == 1 ? kWhite : kBlack;
                // Onto a mask, the source context's background colour (white) becomes 1.
                if (to == 1) want = want == kWhite ? kWhite : kBlack;
                EXPECT_EQ(GetPixel(dst.dc, x, 0), want) << from << "->" << to << " x=" << x;
            }
        }
    }
}

TEST(BitBlt, SameDepthCopiesAreExactRowCopies) {
    TestDib src(37, 5, 16), dst(37, 5, 16);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 37; ++x)
            src.Put16(x, y, static_cast<WORD>((x * 977 + y * 131) & 0x7FFF));
    }
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 37, 5, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(std::memcmp(src.bits, dst.bits, src.pitch * 5), 0);
    // Paletted surfaces with different tables are translated, not copied blindly.
    TestDib a(2, 1, 8, {{0, 0, 255, 0}, {0, 255, 0, 0}});
    TestDib b(2, 1, 8, {{0, 255, 0, 0}, {0, 0, 255, 0}});
    a.Row(0)[0] = 0;
    a.Row(0)[1] = 1;
    BitBlt(b.dc, 0, 0, 2, 1, a.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(b.Row(0)[0], 1);
    EXPECT_EQ(b.Row(0)[1], 0);
}

TEST(BitBlt, RasterOperationsCombinePixelValues) {
    TestDib src(1, 1, 8), dst(1, 1, 8);
    struct Case {
        DWORD rop;
        BYTE want;
    } cases[] = {{SRCCOPY, 0x3C},          {SRCAND, 0x3C & 0xA5}, {SRCPAINT, 0x3C | 0xA5},
                 {SRCINVERT, 0x3C ^ 0xA5}, {NOTSRCCOPY, 0xC3},    {DSTINVERT, 0x5A},
                 {SRCERASE, 0x3C & 0x5A},  {BLACKNESS, 0x00},     {WHITENESS, 0xFF}};
    for (const Case& c : cases) {
        src.Row(0)[0] = 0x3C;
        dst.Row(0)[0] = 0xA5;
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, c.rop == DSTINVERT ? nullptr : src.dc, 0, 0, c.rop));
        EXPECT_EQ(dst.Row(0)[0], c.want) << std::hex << c.rop;
    }
    TestDib s16(1, 1, 16), d16(1, 1, 16);
    s16.Put16(0, 0, 0x7C1F);
    d16.Put16(0, 0, 0x03E0);
    BitBlt(d16.dc, 0, 0, 1, 1, s16.dc, 0, 0, SRCPAINT);
    EXPECT_EQ(d16.Get16(0, 0), 0x7FFF);
    BitBlt(d16.dc, 0, 0, 1, 1, nullptr, 0, 0, DSTINVERT);
    EXPECT_EQ(d16.Get16(0, 0), 0x0000) << "bit 15 stays clear";
    EXPECT_FALSE(BitBlt(d16.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY)) << "a copy needs a source";
}

TEST(BitBlt, MonochromeMasksTakeTheContextColours) {
    // Colour to mask: the source's background colour becomes 1.
    TestDib colour(4, 1, 24);
    SetPixel(colour.dc, 0, 0, kMagenta);
    SetPixel(colour.dc, 1, 0, kRed);
    SetPixel(colour.dc, 2, 0, kMagenta);
    HBITMAP mask = CreateBitmap(4, 1, 1, 1, nullptr);
    HDC maskDC = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(maskDC, mask);
    SetBkColor(colour.dc, kMagenta);
    BitBlt(maskDC, 0, 0, 4, 1, colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(maskDC, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(maskDC, 1, 0), kBlack);
    EXPECT_EQ(GetPixel(maskDC, 2, 0), kWhite);
    EXPECT_EQ(GetPixel(maskDC, 3, 0), kBlack);
    // Mask to colour: 0 takes the destination's text colour, 1 its background colour.
    TestDib out(4, 1, 16);
    SetTextColor(out.dc, kBlue);
    SetBkColor(out.dc, kRed);
    BitBlt(out.dc, 0, 0, 4, 1, maskDC, 0, 0, SRCCOPY);
    EXPECT_EQ(out.Get16(0, 0), To555(255, 0, 0));
    EXPECT_EQ(out.Get16(1, 0), To555(0, 0, 255));
    SelectObject(maskDC, old);
    DeleteDC(maskDC);
    DeleteObject(mask);
}

TEST(BitBlt, MaskRoundTripDrawsOnlyTheOpaquePixels) {
    // The desktop transparency path: build a mask from the key colour, black out the key in the
    // image, then AND the mask and OR the image onto the destination.
    const int w = 5;
    TestDib image(w, 1, 24);
    const COLORREF pixels[w] = {kMagenta, kRed, kMagenta, kBlue, kWhite};
    for (int x = 0; x < w; ++x)
        SetPixel(image.dc, x, 0, pixels[x]);
    HBITMAP mask = CreateBitmap(w, 1, 1, 1, nullptr);
    HDC maskDC = CreateCompatibleDC(nullptr);
    HGDIOBJ oldMask = SelectObject(maskDC, mask);
    SetBkColor(image.dc, kMagenta);
    BitBlt(maskDC, 0, 0, w, 1, image.dc, 0, 0, SRCCOPY);
    BitBlt(maskDC, 0, 0, w, 1, nullptr, 0, 0, DSTINVERT);
    // The mask's 1 bits take the image context's background colour, which must be white again.
    SetBkColor(image.dc, kWhite);
    BitBlt(image.dc, 0, 0, w, 1, maskDC, 0, 0, SRCAND);
    BitBlt(maskDC, 0, 0, w, 1, nullptr, 0, 0, DSTINVERT);
    EXPECT_EQ(GetPixel(image.dc, 0, 0), kBlack) << "key pixels are black in the image";
    EXPECT_EQ(GetPixel(image.dc, 1, 0), kRed);

    TestDib dst(w, 1, 16);
    dst.Fill(RGB(0, 255, 0));
    BitBlt(dst.dc, 0, 0, w, 1, maskDC, 0, 0, SRCAND);
    BitBlt(dst.dc, 0, 0, w, 1, image.dc, 0, 0, SRCPAINT);
    const COLORREF want[w] = {RGB(0, 255, 0), kRed, RGB(0, 255, 0), kBlue, kWhite};
    for (int x = 0; x < w; ++x)
        EXPECT_EQ(GetPixel(dst.dc, x, 0), want[x]) << x;
    SelectObject(maskDC, oldMask);
    DeleteDC(maskDC);
    DeleteObject(mask);
}

TEST(BitBlt, ClipsAtEveryEdgeOfBothSurfaces) {
    struct Case {
        int x, y, xs, ys;
        const char* where;
    } cases[] = {{-2, 1, 0, 0, "left of the destination"},
                 {4, 1, 0, 0, "right"},
                 {1, -3, 0, 0, "above"},
                 {1, 5, 0, 0, "below"},
                 {1, 1, -1, 0, "left of the source"},
                 {1, 1, 0, -2, "above the source"},
                 {1, 1, 2, 3, "past the source's corner"},
                 {-100, -100, 0, 0, "far outside"}};
    for (const Case& c : cases) {
        TestDib src(4, 4, 8), dst(6, 6, 8);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x)
                src.Row(y)[x] = static_cast<BYTE>(1 + x + 4 * y);
        }
        std::memset(dst.bits, 0xEE, dst.pitch * 6);
        ASSERT_TRUE(BitBlt(dst.dc, c.x, c.y, 4, 4, src.dc, c.xs, c.ys, SRCCOPY)) << c.where;
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                int sx = x - c.x + c.xs, sy = y - c.y + c.ys;
                bool covered = x >= c.x && x < c.x + 4 && y >= c.y && y < c.y + 4 && sx >= 0 &&
                               sx < 4 && sy >= 0 && sy < 4;
                BYTE want = covered ? static_cast<BYTE>(1 + sx + 4 * sy) : 0xEE;
                EXPECT_EQ(dst.Row(y)[x], want) << c.where << " at " << x << "," << y;
            }
        }
        // The padding after each row belongs to no pixel and stays untouched.
        for (int y = 0; y < 6; ++y)
            EXPECT_EQ(dst.Row(y)[6], 0xEE) << c.where;
    }
}

TEST(BitBlt, OverlappingCopiesWithinOneSurfaceReadTheOriginal) {
    TestDib dib(5, 5, 8);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x)
            dib.Row(y)[x] = static_cast<BYTE>(10 * y + x);
    }
    BitBlt(dib.dc, 1, 1, 4, 4, dib.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dib.Row(4)[4], 33);
    EXPECT_EQ(dib.Row(1)[1], 0);
    TestDib wide(5, 5, 16);
    for (int x = 0; x < 5; ++x)
        wide.Put16(x, 4, static_cast<WORD>(x));
    BitBlt(wide.dc, 0, 0, 4, 5, wide.dc, 1, 0, SRCINVERT);
    EXPECT_EQ(wide.Get16(0, 4), 1 ^ 0);
    EXPECT_EQ(wide.Get16(3, 4), 4 ^ 3);
}

TEST(StretchBlt, ScalesByTheNearestPixelAndClips) {
    TestDib src(2, 2, 8, Table(8)), dst(4, 4, 24);
    src.Row(0)[0] = 2; // blue
    src.Row(0)[1] = 3; // red
    src.Row(1)[0] = 1; // white
    src.Row(1)[1] = 0; // black
    EXPECT_EQ(SetStretchBltMode(dst.dc, COLORONCOLOR), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(dst.dc, 1, 1), kBlue);
    EXPECT_EQ(GetPixel(dst.dc, 2, 1), kRed);
    EXPECT_EQ(GetPixel(dst.dc, 1, 2), kWhite);
    EXPECT_EQ(GetPixel(dst.dc, 3, 3), kBlack);
    // Half size, partly off the destination.
    dst.Fill(RGB(9, 9, 9));
    StretchBlt(dst.dc, -1, 3, 2, 2, src.dc, 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 3), kRed);
    EXPECT_EQ(GetPixel(dst.dc, 1, 3), RGB(9, 9, 9));
    // A source area reaching past the source leaves those pixels alone.
    dst.Fill(RGB(9, 9, 9));
    StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 1, 1, 2, 2, SRCCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(dst.dc, 3, 3), RGB(9, 9, 9));
    EXPECT_FALSE(StretchBlt(dst.dc, 0, 0, -4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
}

TEST(TransparentImage, SkipsTheKeyWithAndWithoutScaling) {
    TestDib sprite(3, 2, 8, Table(8));
    const BYTE values[2][3] = {{4, 3, 4}, {2, 4, 1}}; // 4 is magenta, the key
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            sprite.Row(y)[x] = values[y][x];
    }
    TestDib dst(8, 6, 16);
    const WORD background = To555(0, 128, 0);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x)
            dst.Put16(x, y, background);
    }
    ASSERT_TRUE(TransparentImage(dst.dc, 1, 1, 3, 2, sprite.dc, 0, 0, 3, 2, kMagenta));
    EXPECT_EQ(dst.Get16(1, 1), background);
    EXPECT_EQ(dst.Get16(2, 1), To555(255, 0, 0));
    EXPECT_EQ(dst.Get16(1, 2), To555(0, 0, 255));
    EXPECT_EQ(dst.Get16(2, 2), background);
    EXPECT_EQ(dst.Get16(3, 2), 0x7FFF);
    // Doubled, from the bitmap handle itself, clipped at the right and bottom.
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x)
            dst.Put16(x, y, background);
    }
    ASSERT_TRUE(TransparentImage(dst.dc, 3, 2, 6, 4, sprite.bitmap, 0, 0, 3, 2, kMagenta));
    EXPECT_EQ(dst.Get16(3, 2), background);
    EXPECT_EQ(dst.Get16(5, 3), To555(255, 0, 0));
    EXPECT_EQ(dst.Get16(6, 3), To555(255, 0, 0));
    EXPECT_EQ(dst.Get16(3, 5), To555(0, 0, 255));
    EXPECT_EQ(dst.Get16(7, 5), 0x7FFF);
    EXPECT_EQ(dst.Get16(2, 5), background);
    // A key colour absent from the table hides nothing.
    TestDib all(3, 2, 16);
    TransparentImage(all.dc, 0, 0, 3, 2, sprite.dc, 0, 0, 3, 2, RGB(1, 2, 3));
    EXPECT_EQ(all.Get16(0, 0), To555(255, 0, 255));
    // A true-colour source compares in its own precision: the key matches its 5-5-5 value.
    TestDib src16(2, 1, 16), dst24(2, 1, 24);
    src16.Put16(0, 0, 0x7C1F);
    src16.Put16(1, 0, To555(0, 255, 0));
    dst24.Fill(kBlack);
    TransparentImage(dst24.dc, 0, 0, 2, 1, src16.dc, 0, 0, 2, 1, kMagenta);
    EXPECT_EQ(GetPixel(dst24.dc, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(dst24.dc, 1, 0), RGB(0, 255, 0));
    EXPECT_FALSE(TransparentImage(dst24.dc, 0, 0, 2, 1, nullptr, 0, 0, 2, 1, kMagenta));
}
