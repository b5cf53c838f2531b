// The status strips and button faces as drawn: every banner line inside its own strip, centred
// and as wide as its text; every face a plate on the transparent blue, pressed faces sunk, the
// two languages' labels different.
#include "tools/uiart/uiart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

namespace {

using artgen::IndexedImage;
using artgen::Rgb8;

bool Clear(const IndexedImage& image, int x, int y) {
    return image.ColourAt(x, y) == artgen::kTransparent;
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN, count = 0;
};

Box Ink(const IndexedImage& image, int x0, int y0, int x1, int y1) {
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

void CheckPalette(const IndexedImage& image) {
    ASSERT_LE(image.palette.size(), 255u) << "entry 255 reads as white";
    for (Rgb8 c : image.palette) {
        if (c == artgen::kTransparent) continue;
        EXPECT_FALSE(artgen::IsMarkerColour(c))
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << " is a marker colour";
    }
}

TEST(StatusStrips, EachLineSitsCentredInItsOwnStrip) {
    for (bool esperanto : {false, true}) {
        SCOPED_TRACE(esperanto ? "Esperanto" : "English");
        IndexedImage sheet = uiart::StatusStrips(esperanto);
        ASSERT_EQ(sheet.width, 240);
        ASSERT_EQ(sheet.height, 198);
        CheckPalette(sheet);
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
                    if (!Clear(sheet, x, y) &&
                        Luminance(sheet.ColourAt(x, y)) > Luminance(brightest))
                        brightest = sheet.ColourAt(x, y);
            EXPECT_GT(brightest.r, 220);
            EXPECT_GT(brightest.g, 170);
            EXPECT_LT(brightest.b, 170);
        }
        // Every transparent pixel is exactly the key, and most of the sheet is transparent.
        EXPECT_LT(Ink(sheet, 0, 0, 240, 198).count, 240 * 198 / 2);
    }
}

TEST(ButtonFaces, PlatesOnBlueWithPressedAndLanguageVariants) {
    IndexedImage sheet = uiart::ButtonFaces();
    ASSERT_EQ(sheet.width, 128);
    ASSERT_EQ(sheet.height, 126);
    CheckPalette(sheet);
    const int w = uiart::kFaceWidth, h = uiart::kFaceHeight;
    auto differing = [&](int a, int b, int row) {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                n += !(sheet.ColourAt(a * w + x, row * h + y) ==
                       sheet.ColourAt(b * w + x, row * h + y));
        return n;
    };
    auto topLight = [&](int col, int row) {
        long sum = 0;
        for (int y = 1; y < 4; ++y)
            for (int x = 4; x < w - 4; ++x)
                sum += Luminance(sheet.ColourAt(col * w + x, row * h + y));
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

TEST(UiArt, SameBytesEveryTime) {
    EXPECT_TRUE(artgen::PspBytes(uiart::StatusStrips(true)) ==
                artgen::PspBytes(uiart::StatusStrips(true)));
    EXPECT_TRUE(artgen::PspBytes(uiart::ButtonFaces()) == artgen::PspBytes(uiart::ButtonFaces()));
}

} // namespace
