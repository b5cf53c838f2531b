// The PSP reader against files made by the writer tool: palettes, every compression, masks,
// layers, the selection, and damaged files.
#include "engine/cea_psp.h"
#include "engine/cea_sprite.h"
#include "engine_test_support.h"
#include "foundation/memory.h"
#include "tools/psp/psp_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<psp::Color> Greys() {
    std::vector<psp::Color> p;
    for (int i = 0; i < 256; ++i)
        p.push_back({static_cast<BYTE>(i), static_cast<BYTE>(i / 2), static_cast<BYTE>(255 - i)});
    return p;
}

psp::Image Indexed(LONG w, LONG h, psp::Compression compression, int layers = 1) {
    psp::Image image;
    image.width = w, image.height = h, image.bitDepth = 8, image.compression = compression;
    image.palette = Greys();
    for (int l = 0; l < layers; ++l) {
        std::vector<BYTE> pixels(static_cast<std::size_t>(w * h));
        for (LONG i = 0; i < w * h; ++i)
            pixels[static_cast<std::size_t>(i)] = static_cast<BYTE>(i * 7 + l * 50);
        image.layers.push_back(psp::MakeIndexedLayer(w, h, pixels));
    }
    return image;
}

psp::Image Rgb(LONG w, LONG h, psp::Compression compression) {
    psp::Image image;
    image.width = w, image.height = h, image.bitDepth = 24, image.compression = compression;
    std::vector<BYTE> rgb;
    for (LONG i = 0; i < w * h; ++i) {
        rgb.push_back(static_cast<BYTE>(i * 3));
        rgb.push_back(static_cast<BYTE>(100 + i));
        rgb.push_back(static_cast<BYTE>(255 - i));
    }
    image.layers.push_back(psp::MakeRgbLayer(w, h, rgb));
    return image;
}

Graphic Load(const std::vector<BYTE>& bytes, COLORREF transparent = kNoColor) {
    return Graphic(bytes.data(), static_cast<DWORD>(bytes.size()), transparent);
}

class PspCompressions : public testing::TestWithParam<psp::Compression> {};

TEST_P(PspCompressions, IndexedAndRgbImagesLoad) {
    std::vector<BYTE> bytes = psp::Write(Indexed(13, 5, GetParam()));
    Graphic g = Load(bytes, RGB(1, 2, 3));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetBitsPerPixel(), 8u);
    EXPECT_EQ(g.GetWidth(), 13);
    EXPECT_EQ(g.GetHeight(), 5);
    for (LONG i = 0; i < 65; ++i)
        ASSERT_EQ(g.GetPixelValue(i % 13, i / 13), static_cast<DWORD>((i * 7) & 255)) << i;
    EXPECT_EQ(g.GetPaletteColor(3), RGB(3, 1, 252));
    EXPECT_EQ(g.GetTransparency(), RGB(1, 2, 3)) << "no mask: the caller's colour";

    Graphic rgb = Load(psp::Write(Rgb(6, 4, GetParam())));
    ASSERT_TRUE(rgb.IsLoaded());
    EXPECT_EQ(rgb.GetBitsPerPixel(), 24u);
    for (LONG i = 0; i < 24; ++i)
        ASSERT_EQ(rgb.GetPixelColor(i % 6, i / 6), RGB(i * 3, 100 + i, 255 - i)) << i;
}

INSTANTIATE_TEST_SUITE_P(All, PspCompressions,
                         testing::Values(psp::kNone, psp::kRunLength, psp::kZlib));

TEST(PspPalette, TopEntryIsAlwaysWhite) {
    psp::Image image = Indexed(2, 2, psp::kNone);
    image.palette[255] = {0, 0, 0};
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetPaletteColor(255), RGB(255, 255, 255));
}

TEST(PspPalette, APaletteAfterTheLayersComesTooLate) {
    psp::Image image = Indexed(2, 2, psp::kNone);
    image.palette[3] = {1, 2, 3};
    image.paletteAfterLayers = true;
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    Graphic plain(1, 1, 8);
    EXPECT_EQ(g.GetPaletteColor(3), plain.GetPaletteColor(3));
    EXPECT_NE(g.GetPaletteColor(3), RGB(1, 2, 3));
}

TEST(PspDecode, RunLengthAndItsLimits) {
    const BYTE data[] = {0x83, 0x41, 0x03, 0x61, 0x62, 0x63};
    DWORD expected = 6;
    BYTE* out = PspDecode(data, sizeof data, &expected, PSP_COMP_RLE);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(expected, 6u);
    EXPECT_EQ(std::vector<BYTE>(out, out + 6),
              (std::vector<BYTE>{0x41, 0x41, 0x41, 0x61, 0x62, 0x63}));
    PspFreeDecoded(out);
    // More output than expected is dropped; a count running past the input stops there.
    const BYTE longer[] = {0xFF, 0x10, 0x05, 1, 2};
    expected = 4;
    out = PspDecode(longer, sizeof longer, &expected, PSP_COMP_RLE);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::vector<BYTE>(out, out + 4), (std::vector<BYTE>{0x10, 0x10, 0x10, 0x10}));
    PspFreeDecoded(out);
    // An unknown compression gives nothing.
    expected = 4;
    EXPECT_EQ(PspDecode(longer, sizeof longer, &expected, 3), nullptr);
    EXPECT_EQ(expected, 0u);
}

TEST(PspDecode, ZlibShortOutputRepeatsTheLastByteAndDamageFails) {
    std::vector<BYTE> z = psp::Compress({5, 6, 7}, psp::kZlib);
    DWORD expected = 6;
    BYTE* out = PspDecode(z.data(), static_cast<DWORD>(z.size()), &expected, PSP_COMP_LZ77);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::vector<BYTE>(out, out + 6), (std::vector<BYTE>{5, 6, 7, 7, 7, 7}));
    PspFreeDecoded(out);
    std::vector<BYTE> cut(z.begin(), z.end() - 3);
    expected = 6;
    EXPECT_EQ(PspDecode(cut.data(), static_cast<DWORD>(cut.size()), &expected, PSP_COMP_LZ77),
              nullptr);
    EXPECT_EQ(expected, 0u);
}

TEST(PspMasks, AHardMaskKeysOutItsPixels) {
    psp::Image image = Rgb(4, 2, psp::kRunLength);
    psp::AddMask(image.layers[0], {255, 0, 255, 255, 0, 0, 255, 255});
    Graphic g = Load(psp::Write(image), RGB(9, 9, 9));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetTransparency(), 0x010000u) << "the caller's colour is not used";
    EXPECT_EQ(g.GetPixelColor(1, 0), 0x010000u);
    EXPECT_EQ(g.GetPixelColor(0, 1), 0x010000u);
    EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0, 100, 255));
    EXPECT_FALSE(g.IsTranslucent());
}

TEST(PspMasks, SoftMasksMakeAnOpacityMapAndMultiply) {
    psp::Image image = Rgb(3, 1, psp::kZlib);
    psp::AddMask(image.layers[0], {255, 128, 0});
    Graphic one = Load(psp::Write(image));
    ASSERT_TRUE(one.IsLoaded());
    GRAPHIC_TRANSLUCENCY* t = one.GetTranslucency();
    ASSERT_EQ(t->mode, 2u);
    EXPECT_EQ(std::vector<BYTE>(t->pbOpacity, t->pbOpacity + 3), (std::vector<BYTE>{255, 128, 0}));

    psp::AddMask(image.layers[0], {128, 128, 255}, psp::kUserMask);
    Graphic two = Load(psp::Write(image));
    t = two.GetTranslucency();
    ASSERT_EQ(t->mode, 2u);
    EXPECT_EQ(t->pbOpacity[0], 255 * 128 / 255);
    EXPECT_EQ(t->pbOpacity[1], 128 * 128 / 255);
    EXPECT_EQ(t->pbOpacity[2], 0);

    // A hard mask before a soft one: keyed pixels get no opacity.
    psp::Image both = Rgb(3, 1, psp::kNone);
    psp::AddMask(both.layers[0], {0, 255, 255});
    psp::AddMask(both.layers[0], {200, 200, 100});
    Graphic keyed = Load(psp::Write(both));
    t = keyed.GetTranslucency();
    ASSERT_EQ(t->mode, 2u);
    EXPECT_EQ(keyed.GetTransparency(), 0x010000u);
    EXPECT_EQ(t->pbOpacity[0], 0);
    EXPECT_EQ(t->pbOpacity[2], 100);
}

TEST(PspMasks, AUserMaskRectangleIsPlacedInTheLayer) {
    psp::Image image = Rgb(4, 4, psp::kNone);
    image.layers[0].mask = {1, 1, 3, 3};
    psp::AddMask(image.layers[0], {0, 0, 0, 0}, psp::kUserMask);
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    // Outside the mask's data the mask counts as 0: every pixel is keyed out.
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x)
            EXPECT_EQ(g.GetPixelColor(x, y), 0x010000u);
}

TEST(PspLayers, TwoLayersMakeTwoFramesOnlyWithASprite) {
    std::vector<BYTE> bytes = psp::Write(Indexed(3, 2, psp::kZlib, 2));
    Graphic single = Load(bytes);
    ASSERT_TRUE(single.IsLoaded());
    EXPECT_EQ(single.GetPixelValue(1, 0), 7u) << "the first layer";

    Sprite sprite(bytes.data(), static_cast<DWORD>(bytes.size()), RGB(4, 5, 6), 1, 1,
                  kSpriteAllFrames);
    ASSERT_EQ(sprite.GetFrameCount(), 2u);
    EXPECT_EQ(sprite.GetFrame(0)->GetPixelValue(1, 0), 7u);
    EXPECT_EQ(sprite.GetFrame(1)->GetPixelValue(1, 0), 57u);
    EXPECT_EQ(sprite.GetFrame(1)->GetTransparency(), RGB(4, 5, 6));
    EXPECT_FALSE(sprite.GetFrame(1)->IsChild());
}

TEST(PspLayers, ImageRectanglesPlaceTheLayerData) {
    psp::Image image;
    image.width = 4, image.height = 3, image.bitDepth = 8, image.palette = Greys();
    psp::Layer layer = psp::MakeIndexedLayer(2, 2, {1, 2, 3, 4});
    layer.image = {1, 1, 3, 3};
    layer.savedImage = {0, 0, 2, 2};
    image.layers.push_back(layer);
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetPixelValue(0, 0), 0u);
    EXPECT_EQ(g.GetPixelValue(1, 1), 1u);
    EXPECT_EQ(g.GetPixelValue(2, 2), 4u);
    // Data that runs past the picture is dropped, not written around.
    image.layers[0].image = {3, 2, 5, 4};
    Graphic edge = Load(psp::Write(image));
    ASSERT_TRUE(edge.IsLoaded());
    EXPECT_EQ(edge.GetPixelValue(3, 2), 1u);
    EXPECT_EQ(edge.GetPixelValue(0, 0), 0u);
}

TEST(PspChannels, RedAndGreenWithoutBlueFails) {
    psp::Image image = Rgb(2, 2, psp::kNone);
    image.layers[0].channels.pop_back();
    Graphic g = Load(psp::Write(image));
    EXPECT_FALSE(g.IsLoaded());
    EXPECT_EQ(g.GetWidth(), 0);
}

TEST(PspChannels, AnOverstatedLengthIsClampedToTheImage) {
    psp::Image image = Indexed(2, 2, psp::kRunLength);
    image.layers[0].channels[0].declaredLength = 0x7FFFFFFF;
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetPixelValue(1, 1), 21u);
}

TEST(PspSelection, SavedSelectionIsReadAndCutPerChild) {
    psp::Image image = Indexed(4, 3, psp::kRunLength);
    image.hasSelection = true;
    image.selection = {1, 1, 3, 3};
    image.selectionBytes = {10, 20, 30, 40};
    Graphic g = Load(psp::Write(image));
    ASSERT_TRUE(g.IsLoaded());
    ASSERT_TRUE(g.HasSelection());
    BYTE* sel = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(g.GetSelection(&sel, &size));
    ASSERT_EQ(size, 12u);
    EXPECT_EQ(std::vector<BYTE>(sel, sel + 12),
              (std::vector<BYTE>{0, 0, 0, 0, 0, 10, 20, 0, 0, 30, 40, 0}));
    g.FreeSelection(sel);
    RECT r{2, 1, 4, 3};
    Graphic child(&g, &r);
    ASSERT_TRUE(child.GetSelection(&sel, &size));
    EXPECT_EQ(std::vector<BYTE>(sel, sel + size), (std::vector<BYTE>{20, 0, 40, 0}));
    child.FreeSelection(sel);
    Graphic none = Load(psp::Write(Indexed(2, 2, psp::kNone)));
    EXPECT_FALSE(none.HasSelection());
}

TEST(PspDamage, EveryTruncationAndManyFlipsFailCleanly) {
    psp::Image image = Indexed(5, 4, psp::kZlib, 2);
    image.hasSelection = true;
    image.selection = {0, 0, 2, 2};
    image.selectionBytes = {1, 2, 3, 4};
    psp::AddMask(image.layers[1], {0,   255, 128, 255, 0,   0,   0,   0,   0,   0,
                                   255, 255, 255, 255, 255, 255, 255, 255, 255, 255});
    std::vector<BYTE> bytes = psp::Write(image);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        Graphic g(cut.data(), static_cast<DWORD>(cut.size()), kNoColor);
        Sprite s(cut.data(), static_cast<DWORD>(cut.size()), 1, 1, kSpriteAllFrames);
        if (g.IsLoaded()) {
            EXPECT_EQ(g.GetWidth(), 5);
        }
    }
    std::mt19937 random(8);
    for (int round = 0; round < 3000; ++round) {
        std::vector<BYTE> bad(bytes);
        for (int k = 0; k < 4; ++k)
            bad[random() % bad.size()] = static_cast<BYTE>(random());
        Graphic g(bad.data(), static_cast<DWORD>(bad.size()), kNoColor);
        Sprite s(bad.data(), static_cast<DWORD>(bad.size()), 2, 1, kSpriteAllFrames);
    }
}

} // namespace
