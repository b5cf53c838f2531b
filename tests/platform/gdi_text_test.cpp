#include "tests/platform/gdi_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

HFONT MakeFont(int height, const char16_t* face = u"DejaVu Sans", int weight = FW_NORMAL,
               bool italic = false, bool underline = false) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::u16string name(face);
    std::copy(name.begin(), name.end(), lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

// Pixels that differ from `background`, and their bounding box.
struct Ink {
    int count = 0;
    RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
};

Ink InkOf(const TestDib& dib, COLORREF background, RECT area = {0, 0, 0, 0}) {
    if (area.right == 0) area = {0, 0, dib.width, dib.height};
    Ink ink;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (GetPixel(dib.dc, x, y) == background) continue;
            ++ink.count;
            ink.box.left = std::min<LONG>(ink.box.left, x);
            ink.box.top = std::min<LONG>(ink.box.top, y);
            ink.box.right = std::max<LONG>(ink.box.right, x + 1);
            ink.box.bottom = std::max<LONG>(ink.box.bottom, y + 1);
        }
    }
    return ink;
}

class Text : public ::testing::Test {
protected:
    void SetUp() override { font_ = MakeFont(-14); }
    void TearDown() override { DeleteObject(font_); }
    HFONT font_ = nullptr;
};

} // namespace

TEST_F(Text, ExtentsAddUpAndAgreeBetweenNarrowAndWide) {
    TestDib dib(10, 10, 16);
    SelectObject(dib.dc, font_);
    SIZE a{}, b{}, ab{}, wide{};
    ASSERT_TRUE(GetTextExtentPoint32W(dib.dc, u"Tes", 3, &a));
    ASSERT_TRUE(GetTextExtentPoint32W(dib.dc, u"sark", 4, &b));
    ASSERT_TRUE(GetTextExtentPoint32W(dib.dc, u"Tessark", 7, &ab));
    EXPECT_GT(a.cx, 0);
    EXPECT_EQ(a.cx + b.cx, ab.cx) << "widths are whole-pixel advances";
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dib.dc, &tm));
    EXPECT_EQ(ab.cy, tm.tmHeight);
    EXPECT_GE(tm.tmHeight, 14) << "a -14 font has a 14-pixel em plus leading";
    EXPECT_LE(tm.tmHeight, 18);
    ASSERT_TRUE(GetTextExtentPoint32A(dib.dc, "\xC4\x89\xC5\xAD", 4, &a));
    ASSERT_TRUE(GetTextExtentPoint32W(dib.dc, u"\u0109\u016D", 2, &wide));
    EXPECT_EQ(a.cx, wide.cx) << "UTF-8 and UTF-16 measure alike";
    // Bigger and bolder is wider.
    HFONT big = MakeFont(-28), bold = MakeFont(-14, u"DejaVu Sans", FW_BOLD);
    SelectObject(dib.dc, big);
    GetTextExtentPoint32W(dib.dc, u"Tessark", 7, &b);
    EXPECT_GT(b.cx, ab.cx * 3 / 2);
    SelectObject(dib.dc, bold);
    GetTextExtentPoint32W(dib.dc, u"Tessark", 7, &b);
    EXPECT_GT(b.cx, ab.cx);
    SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(big);
    DeleteObject(bold);
}

TEST_F(Text, FittingCountsCharactersAndPartialExtents) {
    TestDib dib(10, 10, 16);
    SelectObject(dib.dc, font_);
    SIZE whole{};
    GetTextExtentPoint32W(dib.dc, u"abcdef", 6, &whole);
    int dx[6] = {};
    int fit = -1;
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPointW(dib.dc, u"abcdef", 6, whole.cx, &fit, dx, &size));
    EXPECT_EQ(fit, 6);
    EXPECT_EQ(dx[5], whole.cx);
    ASSERT_TRUE(GetTextExtentExPointW(dib.dc, u"abcdef", 6, dx[2], &fit, dx, &size));
    EXPECT_EQ(fit, 3);
    ASSERT_TRUE(GetTextExtentExPointW(dib.dc, u"abcdef", 6, dx[2] - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 2);
    ASSERT_TRUE(GetTextExtentExPointW(dib.dc, u"abcdef", 6, 0, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 0);
    // In UTF-8 the count is in bytes: a two-byte letter fits whole or not at all.
    int fit8 = -1;
    GetTextExtentExPointA(dib.dc, "a\xC4\x89", 3, whole.cx, &fit8, nullptr, nullptr);
    EXPECT_EQ(fit8, 3);
}

TEST_F(Text, EsperantoLettersHaveGlyphs) {
    for (const char16_t* face : {u"DejaVu Sans", u"Arial Eo", u"MS Shell Dlg", u"No Such Face"}) {
        HFONT font = MakeFont(-16, face);
        for (char16_t letter : std::u16string(u"ĉĝĥĵŝŭĈĜĤĴŜŬ")) {
            TestDib dib(24, 24, 24);
            dib.Fill(RGB(255, 255, 255));
            SelectObject(dib.dc, font);
            SetBkMode(dib.dc, TRANSPARENT);
            ExtTextOutW(dib.dc, 2, 2, 0, nullptr, &letter, 1, nullptr);
            Ink ink = InkOf(dib, RGB(255, 255, 255));
            EXPECT_GT(ink.count, 10) << "letter U+" << std::hex << int(letter);
            // The accent makes it taller than the plain letter's x-height.
            EXPECT_GT(ink.box.bottom - ink.box.top, 8) << std::hex << int(letter);
            SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
        }
        DeleteObject(font);
    }
}

TEST_F(Text, ExtTextOutBlendsClipsAndFillsItsBackground) {
    TestDib dib(60, 20, 24);
    dib.Fill(RGB(255, 255, 255));
    SelectObject(dib.dc, font_);
    SetTextColor(dib.dc, RGB(0, 0, 0));
    SetBkMode(dib.dc, TRANSPARENT);
    RECT clip{0, 0, 12, 20};
    ASSERT_TRUE(ExtTextOutW(dib.dc, 1, 1, ETO_CLIPPED, &clip, u"WWWWWW", 6, nullptr));
    Ink ink = InkOf(dib, RGB(255, 255, 255));
    EXPECT_GT(ink.count, 0);
    EXPECT_LE(ink.box.right, 12) << "nothing drawn past the clip";
    // Antialiasing leaves intermediate greys.
    bool grey = false;
    for (int y = 0; y < 20 && !grey; ++y) {
        for (int x = 0; x < 12; ++x) {
            BYTE r = GetRValue(GetPixel(dib.dc, x, y));
            if (r > 20 && r < 235) grey = true;
        }
    }
    EXPECT_TRUE(grey);
    // An opaque call fills the rectangle with the background colour first.
    SetBkColor(dib.dc, RGB(0, 0, 255));
    RECT fill{30, 2, 50, 18};
    ExtTextOutW(dib.dc, 30, 2, ETO_OPAQUE | ETO_CLIPPED, &fill, u"", 0, nullptr);
    EXPECT_EQ(GetPixel(dib.dc, 49, 17), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dib.dc, 50, 17), RGB(255, 255, 255));
    // Opaque mode fills the text cell.
    SetBkMode(dib.dc, OPAQUE);
    SetBkColor(dib.dc, RGB(255, 0, 0));
    SIZE size;
    GetTextExtentPoint32W(dib.dc, u"i", 1, &size);
    ExtTextOutW(dib.dc, 52, 0, 0, nullptr, u"i", 1, nullptr);
    EXPECT_EQ(GetPixel(dib.dc, 52, size.cy - 1), RGB(255, 0, 0));
}

TEST_F(Text, PalettedSurfacesGetTheNearestEntry) {
    std::vector<RGBQUAD> table = {
        {255, 255, 255, 0}, {0, 0, 0, 0}, {128, 128, 128, 0}, {0, 0, 255, 0}};
    table.resize(256, {255, 255, 255, 0});
    TestDib dib(40, 20, 8, table);
    std::memset(dib.bits, 0, dib.pitch * dib.height);
    SelectObject(dib.dc, font_);
    SetBkMode(dib.dc, TRANSPARENT);
    SetTextColor(dib.dc, RGB(0, 0, 0));
    ExtTextOutW(dib.dc, 1, 1, 0, nullptr, u"Ŝo", 2, nullptr);
    int used[4] = {};
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            BYTE v = dib.Row(y)[x];
            ASSERT_LT(v, 3) << "only white, black and grey are near a grey-scale blend";
            ++used[v];
        }
    }
    EXPECT_GT(used[1], 0);
    EXPECT_GT(used[2], 0) << "partial coverage maps to the grey entry";
}

TEST_F(Text, DrawTextAlignsSingleLines) {
    TestDib dib(100, 30, 16);
    SelectObject(dib.dc, font_);
    SetBkMode(dib.dc, TRANSPARENT);
    SIZE size;
    GetTextExtentPoint32W(dib.dc, u"Hi", 2, &size);
    struct Case {
        UINT format;
        int left;
    } cases[] = {{DT_SINGLELINE | DT_VCENTER, 0},
                 {DT_SINGLELINE | DT_VCENTER | DT_CENTER, (100 - size.cx) / 2},
                 {DT_SINGLELINE | DT_VCENTER | DT_RIGHT, 100 - size.cx},
                 {DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, 0}};
    for (const Case& c : cases) {
        dib.Fill(RGB(255, 255, 255));
        RECT r{0, 0, 100, 30};
        int height = DrawTextW(dib.dc, u"Hi", -1, &r, c.format);
        EXPECT_EQ(height, (30 - size.cy) / 2 + size.cy);
        Ink ink = InkOf(dib, RGB(255, 255, 255));
        ASSERT_GT(ink.count, 0) << c.format;
        EXPECT_NEAR(ink.box.left, c.left, 3) << c.format;
        EXPECT_NEAR(ink.box.right, c.left + size.cx, 4) << c.format;
        // Vertically centred: the cell sits in the middle of the rectangle.
        EXPECT_GE(ink.box.top, (30 - size.cy) / 2) << c.format;
        EXPECT_LE(ink.box.bottom, (30 - size.cy) / 2 + size.cy) << c.format;
    }
    // A prefix ampersand is not drawn unless DT_NOPREFIX.
    SIZE amp;
    GetTextExtentPoint32W(dib.dc, u"&", 1, &amp);
    RECT calc{0, 0, 100, 30};
    DrawTextW(dib.dc, u"&Hi", -1, &calc, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(calc.right, size.cx);
    calc = {0, 0, 100, 30};
    DrawTextA(dib.dc, "&Hi", -1, &calc, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(calc.right, size.cx + amp.cx);
}

TEST_F(Text, WordBreakWrapsAParagraphInsideItsRectangleFromTheTop) {
    TestDib dib(80, 200, 24);
    dib.Fill(RGB(255, 255, 255));
    SelectObject(dib.dc, font_);
    SetBkMode(dib.dc, TRANSPARENT);
    const char16_t* text = u"The pieces capture by rectangles and the cascades follow; "
                           u"ĉiu ŝtono gravas.";
    RECT r{5, 4, 75, 196};
    TEXTMETRICW tm;
    GetTextMetricsW(dib.dc, &tm);
    RECT calc = r;
    int calcHeight = DrawTextW(dib.dc, text, -1, &calc, DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    EXPECT_EQ(calcHeight % tm.tmHeight, 0);
    EXPECT_GE(calcHeight / tm.tmHeight, 4) << "the paragraph needs several lines";
    EXPECT_LE(calc.right, 75);
    EXPECT_EQ(InkOf(dib, RGB(255, 255, 255)).count, 0) << "measuring draws nothing";
    int height = DrawTextW(dib.dc, text, -1, &r, DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_EQ(height, calcHeight);
    Ink ink = InkOf(dib, RGB(255, 255, 255));
    EXPECT_GE(ink.box.left, 5);
    EXPECT_LE(ink.box.right, 75);
    EXPECT_LT(ink.box.top, 4 + tm.tmHeight) << "starts at the top";
    EXPECT_GT(ink.box.bottom, 4 + tm.tmHeight * (height / tm.tmHeight - 1));
    EXPECT_LE(ink.box.bottom, 4 + height);
    // Every line has ink: no line was left empty by the wrapping.
    for (int line = 0; line < height / tm.tmHeight; ++line) {
        RECT band{0, 4 + line * tm.tmHeight, 80, 4 + (line + 1) * tm.tmHeight};
        ASSERT_LE(band.bottom, 200);
        EXPECT_GT(InkOf(dib, RGB(255, 255, 255), band).count, 0) << "line " << line;
    }
    // Lines break between words: "pieces capture" in a box a little wider than "pieces c" keeps
    // both words whole.
    SIZE first, second, partial;
    GetTextExtentPoint32W(dib.dc, u"pieces", 6, &first);
    GetTextExtentPoint32W(dib.dc, u"capture", 7, &second);
    GetTextExtentPoint32W(dib.dc, u"pieces c", 8, &partial);
    RECT words{0, 0, partial.cx + 1, 200};
    EXPECT_EQ(DrawTextW(dib.dc, u"pieces capture", -1, &words, DT_WORDBREAK | DT_CALCRECT),
              2 * tm.tmHeight);
    EXPECT_EQ(words.right, std::max(first.cx, second.cx));
    // A word longer than the line is split rather than drawn outside.
    RECT narrow{0, 0, 30, 120};
    DrawTextW(dib.dc, u"Nekonsiderinde", -1, &narrow, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_LE(narrow.right, 30);
    EXPECT_GT(narrow.bottom, tm.tmHeight);
    // Explicit line breaks.
    RECT lines{0, 0, 80, 120};
    EXPECT_EQ(DrawTextW(dib.dc, u"a\r\nb\nc", -1, &lines, DT_CALCRECT), 3 * tm.tmHeight);
}

TEST_F(Text, UnderlineItalicAndBoldChangeTheInk) {
    auto inkFor = [](HFONT font) {
        TestDib dib(60, 30, 24);
        dib.Fill(RGB(255, 255, 255));
        SelectObject(dib.dc, font);
        SetBkMode(dib.dc, TRANSPARENT);
        ExtTextOutW(dib.dc, 2, 2, 0, nullptr, u"lo", 2, nullptr);
        Ink ink = InkOf(dib, RGB(255, 255, 255));
        SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
        return ink;
    };
    HFONT plain = MakeFont(-16), under = MakeFont(-16, u"DejaVu Sans", FW_NORMAL, false, true);
    HFONT italic = MakeFont(-16, u"DejaVu Sans", FW_NORMAL, true);
    HFONT bold = MakeFont(-16, u"DejaVu Sans", FW_BOLD);
    Ink p = inkFor(plain), u = inkFor(under), i = inkFor(italic), b = inkFor(bold);
    EXPECT_GT(u.box.bottom, p.box.bottom) << "the underline sits below the baseline";
    EXPECT_GT(b.count, p.count * 5 / 4);
    EXPECT_NE(i.box.right - i.box.left, 0);
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(italic, sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_EQ(lf.lfHeight, -16);
    for (HFONT f : {plain, under, italic, bold})
        DeleteObject(f);
}

TEST(FontFromDescription, ReadsSizesStylesAndFaces) {
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    LOGFONTW lf{};
    HFONT f = platform::gdi::FontFromDescription(u"Arial,-14,I", false);
    ASSERT_NE(f, nullptr);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -14);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_EQ(lf.lfWeight, FW_NORMAL);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Arial");
    EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);
    DeleteObject(f);

    f = platform::gdi::FontFromDescription(u"Arial,-14,I", true);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Arial Eo");
    DeleteObject(f);
    f = platform::gdi::FontFromDescription("Arial Eo,bu", true);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Arial Eo") << "not doubled";
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfUnderline, 1);
    DeleteObject(f);

    // Points through the screen's 96 pixels per inch: 10 pt is 13 pixels (13.33 truncated).
    f = platform::gdi::FontFromDescription("MS Shell Dlg,10", false);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"MS Shell Dlg");
    DeleteObject(f);
    platform::gdi::SetScreen({240, 320, 16, 120});
    f = platform::gdi::FontFromDescription("MS Shell Dlg,10", false);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -16);
    DeleteObject(f);
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);

    // Only a size: the stock font's face stays; "default" names no face.
    LOGFONTW stock{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(stock), &stock);
    f = platform::gdi::FontFromDescription(u"-11,default", false);
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -11);
    EXPECT_EQ(std::u16string(lf.lfFaceName), std::u16string(stock.lfFaceName));
    DeleteObject(f);
    // Junk and absurd sizes give a usable font, never a crash.
    for (const char* junk : {"", ",,,", "99999999999999999999", "-99999999999999", "a,b,c,d",
                             "\xFF\xFE", "A very long face name that does not fit,12"}) {
        f = platform::gdi::FontFromDescription(junk, true);
        ASSERT_NE(f, nullptr) << junk;
        GetObjectW(f, sizeof(lf), &lf);
        std::u16string face(lf.lfFaceName);
        EXPECT_LT(face.size(), static_cast<std::size_t>(LF_FACESIZE)) << junk;
        EXPECT_EQ(face.substr(face.size() - 3), u" Eo") << junk;
        TestDib dib(8, 8, 16);
        SelectObject(dib.dc, f);
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPoint32W(dib.dc, u"x", 1, &size)) << junk;
        SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(f);
    }
}

TEST_F(Text, NarrowFacesAndPlainQualityRoundTrip) {
    LOGFONTA lf{};
    lf.lfHeight = -15;
    lf.lfQuality = NONANTIALIASED_QUALITY;
    std::strcpy(lf.lfFaceName, "Arial Eo");
    HFONT font = CreateFontIndirectA(&lf);
    ASSERT_NE(font, nullptr);
    LOGFONTA back{};
    EXPECT_EQ(GetObjectA(font, sizeof(back), &back), static_cast<int>(sizeof(back)));
    EXPECT_STREQ(back.lfFaceName, "Arial Eo");
    EXPECT_EQ(back.lfHeight, -15);
    // Without antialiasing only the text and background colours appear.
    TestDib dib(60, 24, 24);
    dib.Fill(RGB(255, 255, 255));
    SelectObject(dib.dc, font);
    SetBkMode(dib.dc, TRANSPARENT);
    SetTextColor(dib.dc, RGB(0, 0, 128));
    TextOutA(dib.dc, 2, 2, "ĝis ŭ", static_cast<int>(std::strlen("ĝis ŭ")));
    int ink = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 60; ++x) {
            COLORREF c = GetPixel(dib.dc, x, y);
            ASSERT_TRUE(c == RGB(255, 255, 255) || c == RGB(0, 0, 128)) << x << "," << y;
            ink += c != RGB(255, 255, 255);
        }
    }
    EXPECT_GT(ink, 20);
    SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST_F(Text, DrawTextFillsBehindEachLineWhenOpaque) {
    TestDib dib(100, 60, 16);
    dib.Fill(RGB(255, 255, 255));
    SelectObject(dib.dc, font_);
    SetBkMode(dib.dc, OPAQUE);
    SetBkColor(dib.dc, RGB(0, 255, 0));
    RECT r{0, 0, 100, 60};
    int height = DrawTextW(dib.dc, u"one\ntwo", -1, &r, DT_CENTER);
    TEXTMETRICW tm;
    GetTextMetricsW(dib.dc, &tm);
    EXPECT_EQ(height, 2 * tm.tmHeight);
    EXPECT_EQ(dib.Get16(50, tm.tmHeight + tm.tmHeight - 1), To555(0, 255, 0)) << "second line";
    EXPECT_EQ(dib.Get16(1, 1), 0x7FFF) << "only the text's own cells";
    EXPECT_EQ(dib.Get16(50, 2 * tm.tmHeight + 1), 0x7FFF) << "nothing below the text";
}

TEST(Fonts, PositiveHeightsAreCellHeightsAndNegativeOnesEmHeights) {
    TestDib dib(8, 8, 16);
    for (int cell : {10, 16, 23, 40}) {
        HFONT font = MakeFont(cell);
        SelectObject(dib.dc, font);
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(dib.dc, &tm));
        EXPECT_NEAR(tm.tmHeight, cell, 1) << cell;
        HFONT em = MakeFont(-cell);
        SelectObject(dib.dc, em);
        TEXTMETRICW tmEm{};
        GetTextMetricsW(dib.dc, &tmEm);
        EXPECT_GT(tmEm.tmHeight, tm.tmHeight) << "an em of " << cell << " has a taller cell";
        EXPECT_EQ(tmEm.tmHeight - tmEm.tmInternalLeading, cell);
        SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
        DeleteObject(em);
    }
}

TEST(Threads, DrawingFromTwoThreadsAtOnceIsSafe) {
    // The splash loader draws while the window thread does; each has its own surfaces, but the
    // object table, the font cache and FreeType are shared.
    auto work = [](COLORREF colour, int* inked) {
        for (int round = 0; round < 30; ++round) {
            TestDib dib(40, 20, 16);
            dib.Fill(RGB(255, 255, 255));
            HFONT font = platform::gdi::FontFromDescription("-12", round % 2 == 0);
            SelectObject(dib.dc, font);
            SetTextColor(dib.dc, colour);
            SetBkMode(dib.dc, TRANSPARENT);
            ExtTextOutW(dib.dc, 1, 1, 0, nullptr, u"ĉĝĥ", 3, nullptr);
            HRGN region = CreateRectRgn(0, 0, round, round);
            DeleteObject(region);
            SelectObject(dib.dc, GetStockObject(SYSTEM_FONT));
            DeleteObject(font);
            if (dib.Get16(0, 0) == 0x7FFF && InkOf(dib, RGB(255, 255, 255)).count > 0) ++*inked;
        }
    };
    int a = 0, b = 0;
    std::thread first(work, RGB(255, 0, 0), &a);
    std::thread second(work, RGB(0, 0, 255), &b);
    first.join();
    second.join();
    EXPECT_EQ(a, 30);
    EXPECT_EQ(b, 30);
}
