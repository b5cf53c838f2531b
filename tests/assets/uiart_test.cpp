// The status strips and button faces as the build writes them, on the palette they share with
// the board's pictures, read back through the engine: every banner line inside its own strip,
// centred and as wide as its text; every face a plate on the transparent blue, pressed faces
// sunk, the two languages' labels different; no marker colour but the transparent blue.
#include "tools/artgen/layout.h"
#include "tools/uiart/uiart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

using artgen::Rgb8;
using artgen::RgbImage;

// The picture in `file` as the game loads it (blue transparent), pixel by pixel; empty when
// it does not load.
RgbImage Picture(const std::string& file) {
    RgbImage image;
    auto g = artlayout::LoadGraphic(
        artlayout::ReadWholeFile(std::string(TESSARK_ART_DIR) + "/" + file), artlayout::kBlue);
    if (!g) return image;
    image.width = g->GetWidth(), image.height = g->GetHeight();
    for (LONG y = 0; y < g->GetHeight(); ++y)
        for (LONG x = 0; x < g->GetWidth(); ++x) {
            COLORREF c = g->GetPixelColor(x, y);
            image.pixels.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    return image;
}

bool Clear(const RgbImage& image, int x, int y) {
    return image.At(x, y) == artgen::kTransparent;
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN, count = 0;
};

Box Ink(const RgbImage& image, int x0, int y0, int x1, int y1) {
    Box b;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (Clear(image, x, y)) continue;
            ++b.count;
            b.left = std::min(b.left, x);
            b.right = std::max(b.right, x + 1);
            b.top = std::min(b.top, y);
            b.bottom = std::max(b.bottom, y + 1);
        }
    }
    return b;
}

int Luminance(Rgb8 c) {
    return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

void CheckNoMarkers(const RgbImage& image) {
    for (Rgb8 c : image.pixels) {
        if (c == artgen::kTransparent) continue;
        ASSERT_FALSE(artgen::IsMarkerColour(c))
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << " is a marker colour";
    }
}

TEST(StatusStrips, EachLineSitsCentredInItsOwnStrip) {
    for (bool esperanto : {false, true}) {
        SCOPED_TRACE(esperanto ? "Esperanto" : "English");
        RgbImage sheet = Picture(esperanto ? "graphic_1017.psp" : "graphic_1016.psp");
        ASSERT_EQ(sheet.width, 240);
        ASSERT_EQ(sheet.height, 198);
        CheckNoMarkers(sheet);
        const artgen::TextStyle style = uiart::StripStyle();
        for (int i = 0; i < uiart::kStripLines; ++i) {
            SCOPED_TRACE(uiart::StatusLines(esperanto)[static_cast<size_t>(i)]);
            int top = i * uiart::kStripHeight;
            Box ink = Ink(sheet, 0, top, 240, top + uiart::kStripHeight);
            ASSERT_GT(ink.count, 100);
            // A clear row above and below: the strip is drawn alone, and letters that touch
            // its edge would look cut off.
            EXPECT_GT(ink.top, top);
            EXPECT_LT(ink.bottom, top + uiart::kStripHeight);
            EXPECT_LE(std::abs(ink.left - (240 - ink.right)), 2) << "centred";
            float text = artgen::TextWidth(style, uiart::StatusLines(esperanto)[i]);
            EXPECT_NEAR(ink.right - ink.left, text + 2, 4) << "the whole line, outlined";
            // The letters are yellow: the brightest ink is warm and light.
            Rgb8 brightest{};
            for (int y = ink.top; y < ink.bottom; ++y)
                for (int x = ink.left; x < ink.right; ++x)
                    if (!Clear(sheet, x, y) && Luminance(sheet.At(x, y)) > Luminance(brightest))
                        brightest = sheet.At(x, y);
            EXPECT_GT(brightest.r, 220);
            EXPECT_GT(brightest.g, 170);
            EXPECT_LT(brightest.b, 170);
        }
        // Every transparent pixel is exactly the key, and most of the sheet is transparent.
        EXPECT_LT(Ink(sheet, 0, 0, 240, 198).count, 240 * 198 / 2);
    }
}

TEST(ButtonFaces, PlatesOnBlueWithPressedAndLanguageVariants) {
    RgbImage sheet = Picture("graphic_1012.psp");
    ASSERT_EQ(sheet.width, 128);
    ASSERT_EQ(sheet.height, 126);
    CheckNoMarkers(sheet);
    const int w = uiart::kFaceWidth, h = uiart::kFaceHeight;
    auto differing = [&](int a, int b, int row) {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                n += !(sheet.At(a * w + x, row * h + y) == sheet.At(b * w + x, row * h + y));
        return n;
    };
    auto topLight = [&](int col, int row) {
        long sum = 0;
        for (int y = 1; y < 4; ++y)
            for (int x = 4; x < w - 4; ++x)
                sum += Luminance(sheet.At(col * w + x, row * h + y));
        return sum;
    };
    for (int row = 0; row < uiart::kButtons; ++row) {
        SCOPED_TRACE(uiart::ButtonLabels()[static_cast<size_t>(row)].english);
        for (int col = 0; col < 4; ++col) {
            int x0 = col * w, y0 = row * h;
            // Rounded corners show the board through; the plate fills the middle.
            EXPECT_TRUE(Clear(sheet, x0, y0));
            EXPECT_TRUE(Clear(sheet, x0 + w - 1, y0));
            EXPECT_TRUE(Clear(sheet, x0, y0 + h - 1));
            EXPECT_TRUE(Clear(sheet, x0 + w - 1, y0 + h - 1));
            Box plate = Ink(sheet, x0, y0, x0 + w, y0 + h);
            EXPECT_EQ(plate.left, x0) << col;
            EXPECT_EQ(plate.right, x0 + w) << col;
            EXPECT_EQ(plate.top, y0) << col;
            EXPECT_EQ(plate.bottom, y0 + h) << col;
        }
        for (int lang : {0, 2}) {
            EXPECT_GT(differing(lang, lang + 1, row), 40) << "down differs from up";
            EXPECT_LT(topLight(lang + 1, row), topLight(lang, row)) << "pressed is sunk";
        }
        EXPECT_GT(differing(0, 2, row), 20) << "the Esperanto label is its own";
    }
}

TEST(UiArt, SameDrawingEveryTime) {
    EXPECT_TRUE(uiart::StatusStrips(true).image.pixels == uiart::StatusStrips(true).image.pixels);
    EXPECT_TRUE(uiart::ButtonFaces().image.pixels == uiart::ButtonFaces().image.pixels);
}

} // namespace
