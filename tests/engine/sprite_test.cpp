// Sprites: grid splits, explicit cell sizes, limits, layer frames, child sprites and their
// destruction.
#include "engine/cea_sprite.h"
#include "engine_test_support.h"
#include "foundation/memory.h"
#include "platform/resource.h"
#include "tools/psp/psp_writer.h"

#include <gtest/gtest.h>

namespace {

std::vector<BYTE> Bmp(LONG w, LONG h) {
    std::vector<std::vector<BYTE>> rows;
    for (LONG y = 0; y < h; ++y) {
        std::vector<BYTE> row;
        for (LONG x = 0; x < w; ++x)
            row.insert(row.end(), {static_cast<BYTE>(x), static_cast<BYTE>(y), 0});
        rows.push_back(row);
    }
    return MakeBmp(w, h, 24, {}, rows, true);
}

std::vector<BYTE> Layers(int count) {
    psp::Image image;
    image.width = 4, image.height = 4, image.bitDepth = 8;
    image.palette.assign(256, {1, 2, 3});
    for (int i = 0; i < count; ++i)
        image.layers.push_back(psp::MakeIndexedLayer(4, 4, std::vector<BYTE>(16, BYTE(i))));
    return psp::Write(image);
}

TEST(SpriteSplit, ColumnsRowsCellSizesAndLimits) {
    std::vector<BYTE> strip = Bmp(128, 32);
    Sprite four(strip.data(), static_cast<DWORD>(strip.size()), 4, 1, kSpriteAllFrames);
    ASSERT_EQ(four.GetFrameCount(), 4u);
    for (DWORD i = 0; i < 4; ++i) {
        RECT r;
        four.GetFrame(i)->GetRectInParent(&r);
        EXPECT_EQ(r.left, static_cast<LONG>(32 * i));
        EXPECT_EQ(r.right - r.left, 32);
        EXPECT_EQ(r.bottom - r.top, 32);
    }
    EXPECT_EQ(four.GetWidth(), 32);
    EXPECT_EQ(four.GetFrame(2)->GetPixelColor(1, 0), RGB(0, 0, 65));
    EXPECT_EQ(four.GetFrame(4), nullptr);

    std::vector<BYTE> wide = Bmp(64, 16);
    Sprite cells(wide.data(), static_cast<DWORD>(wide.size()), kSpriteCellSize | 16, 0,
                 kSpriteAllFrames);
    EXPECT_EQ(cells.GetFrameCount(), 4u);
    EXPECT_EQ(cells.GetWidth(), 16);

    std::vector<BYTE> square = Bmp(20, 20);
    Sprite limited(square.data(), static_cast<DWORD>(square.size()), 2, 2, 3);
    ASSERT_EQ(limited.GetFrameCount(), 3u);
    RECT r;
    limited.GetFrame(2)->GetRectInParent(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 10);

    // A cell wider than the picture gives no frames.
    Sprite none(square.data(), static_cast<DWORD>(square.size()), kSpriteCellSize | 40, 1,
                kSpriteAllFrames);
    EXPECT_EQ(none.GetFrameCount(), 0u);
    EXPECT_EQ(none.GetFrameForCounter(5), nullptr);
    EXPECT_EQ(none.GetWidth(), 0);
}

TEST(SpriteSplit, AFailedLoadHasNoFrames) {
    const BYTE junk[] = {1, 2, 3};
    Sprite s(junk, sizeof junk, 1, 1, kSpriteAllFrames);
    EXPECT_EQ(s.GetFrameCount(), 0u);
    RECT r{1, 1, 1, 1};
    EXPECT_TRUE(s.GetRect(&r));
    EXPECT_EQ(r.right, 0);
}

TEST(SpriteLayers, LayerFramesAndTheSplittingWarning) {
    std::vector<BYTE> bytes = Layers(3);
    TraceCapture trace;
    Sprite plain(bytes.data(), static_cast<DWORD>(bytes.size()), 1, 1, kSpriteAllFrames);
    EXPECT_EQ(plain.GetFrameCount(), 3u);
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_EQ(plain.GetFrameForCounter(5), plain.GetFrame(2));
    EXPECT_EQ(plain.GetFrame(2)->GetPixelValue(0, 0), 2u);

    Sprite split(bytes.data(), static_cast<DWORD>(bytes.size()), 2, 1, kSpriteAllFrames);
    EXPECT_EQ(split.GetFrameCount(), 3u);
    EXPECT_EQ(trace.Count("Warning: constructing sprite " + Hex(&split) +
                          " by splitting already-animated file: you have to do that yourself"),
              1);
}

TEST(SpriteChildren, ChildFramesAndDestructionTraces) {
    std::vector<BYTE> bytes = Bmp(40, 10);
    TraceCapture trace;
    auto* parent = new (MM("SPRITE"))
        Sprite(bytes.data(), static_cast<DWORD>(bytes.size()), 4, 1, kSpriteAllFrames);
    RECT r{2, 3, 6, 8};
    auto* child = new (MM("SPRITE")) Sprite(parent, r);
    auto* gone = new (MM("SPRITE")) Sprite(parent, r);
    ASSERT_EQ(child->GetFrameCount(), 4u);
    EXPECT_TRUE(child->IsChild());
    EXPECT_EQ(child->GetParent(), parent);
    EXPECT_EQ(parent->GetParent(), nullptr);
    EXPECT_EQ(child->GetWidth(), 4);
    RECT got;
    child->GetRect(&got);
    EXPECT_EQ(got.left, 2);
    // Frame 1 of the child: pixel (0, 0) is the parent's frame 1 at (2, 3) = image (12, 3).
    EXPECT_EQ(child->GetFrame(1)->GetPixelColor(0, 0), RGB(0, 3, 12));
    MemDelete(gone, MM("SPRITE"));
    EXPECT_EQ(trace.Count("child sprite"), 0);
    std::string expected = "Warning: freeing child sprite " + Hex(child) + " when parent " +
                           Hex(parent) + " destroyed";
    MemDelete(parent, MM("SPRITE"));
    EXPECT_EQ(trace.Count(expected), 1);
    EXPECT_EQ(trace.Count("Warning: freeing child sprite"), 1);
}

TEST(SpriteResources, GraphicsAndSpritesFromTheProgramsResources) {
    HMODULE self = GetModuleHandle(nullptr);
    // "GRAPHIC" 2001: three 6 x 4 layers; without a sprite only the first.
    Graphic first(self, MAKEINTRESOURCE(2001), kNoColor);
    ASSERT_TRUE(first.IsLoaded());
    EXPECT_EQ(first.GetWidth(), 6);
    EXPECT_EQ(first.GetPixelValue(5, 3), static_cast<DWORD>(23 / 3));
    Sprite layers(self, MAKEINTRESOURCE(2001), RGB(1, 2, 3), 1, 1, kSpriteAllFrames);
    ASSERT_EQ(layers.GetFrameCount(), 3u);
    EXPECT_EQ(layers.GetFrame(2)->GetPixelValue(0, 0), 2u);
    EXPECT_EQ(layers.GetFrame(2)->GetTransparency(), RGB(1, 2, 3));
    // "PSP" by name, holding a 4 x 2 BMP, cut into two frames.
    Sprite picture(self, TEXT("Picture"), 2, 1, kSpriteAllFrames);
    ASSERT_EQ(picture.GetFrameCount(), 2u);
    EXPECT_EQ(picture.GetFrame(1)->GetBitsPerPixel(), 24u);
    Graphic missing(self, TEXT("Nothing"), kNoColor);
    EXPECT_FALSE(missing.IsLoaded());
}

} // namespace
