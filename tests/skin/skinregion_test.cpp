// Window regions from saved selections, the frame's region from its eight pieces, and the
// layout image's colour rectangles.
#include "skin/skinregion.h"

#include "tests/skin/skin_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using skintest::File;
using skintest::Psp;
using skintest::SkinHolder;
using skintest::Text;

std::vector<RECT> Rects(HRGN region) {
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<BYTE> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    GetRegionData(region, size, data);
    const RECT* r = reinterpret_cast<const RECT*>(data->Buffer);
    return std::vector<RECT>(r, r + data->rdh.nCount);
}

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A frame image of one kind whose selection is `select`.
SkinHolder FrameSkin(const char* name, LONG w, LONG h,
                     const std::function<bool(LONG, LONG)>& select) {
    return SkinHolder({Text("skin.txt", "skin = Regions\n"),
                       File(name, Psp(
                                      w, h, [](LONG, LONG) { return BYTE{3}; }, select))});
}

TEST(RegionFromSelection, RowsOfSelectedRuns) {
    SkinHolder full = FrameSkin("frame.psp", 12, 5, [](LONG, LONG) { return true; });
    SkinControlGraphics* g = full->GetImage("frame", kSkinFrame, nullptr);
    ASSERT_NE(g->regions[0], nullptr);
    // One rectangle a row goes into the region (which may merge equal rows into one band).
    {
        Graphic* frame = g->cells[0]->GetFrame(0);
        BYTE* bytes = nullptr;
        DWORD size = 0;
        ASSERT_TRUE(frame->GetSelection(&bytes, &size));
        RECT* rows = nullptr;
        ASSERT_EQ(SelectionRuns(bytes, size, 12, 5, &rows), 5u);
        for (LONG y = 0; y < 5; ++y)
            EXPECT_TRUE(Same(rows[y], RECT{0, y, 12, y + 1})) << y;
        MemFree(rows, MM("RECT"));
        frame->FreeSelection(bytes);
        const BYTE pattern[5] = {0, 1, 1, 0, 1};
        ASSERT_EQ(SelectionRuns(pattern, 5, 5, 1, &rows), 2u);
        EXPECT_TRUE(Same(rows[0], RECT{1, 0, 3, 1}));
        EXPECT_TRUE(Same(rows[1], RECT{4, 0, 5, 1}));
        MemFree(rows, MM("RECT"));
        EXPECT_EQ(SelectionRuns(pattern, 4, 5, 1, &rows), 0u); // bytes short of a row
        EXPECT_EQ(rows, nullptr);
    }
    for (LONG y = 0; y < 5; ++y)
        for (LONG x = -1; x <= 12; ++x)
            EXPECT_EQ(PtInRegion(g->regions[0], x, y) != 0, x >= 0 && x < 12) << x << "," << y;
    EXPECT_FALSE(PtInRegion(g->regions[0], 0, 5));

    // Row pattern 0 1 1 0 1, read straight from the graphic.
    SkinHolder pattern =
        FrameSkin("frame.psp", 5, 1, [](LONG x, LONG) { return x == 1 || x == 2 || x == 4; });
    Graphic* frame = pattern->GetImage("frame", kSkinFrame, nullptr)->cells[0]->GetFrame(0);
    HRGN region = RegionFromSelection(frame);
    ASSERT_NE(region, nullptr);
    std::vector<RECT> r = Rects(region);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_TRUE(Same(r[0], RECT{1, 0, 3, 1}));
    EXPECT_TRUE(Same(r[1], RECT{4, 0, 5, 1}));
    DeleteObject(region);

    SkinHolder none = FrameSkin("frame.psp", 5, 5, [](LONG, LONG) { return false; });
    EXPECT_EQ(none->GetImage("frame", kSkinFrame, nullptr)->regions[0], nullptr);
    SkinHolder noSelection = FrameSkin("frame.psp", 5, 5, nullptr);
    EXPECT_EQ(noSelection->GetImage("frame", kSkinFrame, nullptr)->regions[0], nullptr);
}

TEST(RegionFromSelection, CellsOfACornerImageGetTheirOwnRegions) {
    // 2 x 2 corners of 4 x 4 cells; only the top-left cell has a cut corner.
    SkinHolder s = FrameSkin("frame-c.psp", 8, 8, [](LONG x, LONG y) { return x + y > 1; });
    SkinControlGraphics* g = s->GetImage("frame-c", kSkinFrameCorners, nullptr);
    ASSERT_TRUE(g->regions[0] && g->regions[1]);
    EXPECT_FALSE(PtInRegion(g->regions[0], 0, 0));
    EXPECT_TRUE(PtInRegion(g->regions[0], 1, 1));
    EXPECT_TRUE(PtInRegion(g->regions[1], 0, 0)); // cell-relative
}

TEST(ClipRegionTest, ClipsToTheSizeAndMoves) {
    HRGN big = CreateRectRgn(0, 0, 100, 100);
    HRGN clipped = ClipRegion(big, RECT{50, 60, 60, 65});
    EXPECT_TRUE(PtInRegion(clipped, 50, 60));
    EXPECT_TRUE(PtInRegion(clipped, 59, 64));
    EXPECT_FALSE(PtInRegion(clipped, 60, 64));
    EXPECT_FALSE(PtInRegion(clipped, 5, 5));
    DeleteObject(clipped);
    DeleteObject(big);
}

TEST(FrameRegionTest, PiecesTilesAndInnerRectangle) {
    FrameCells cells;
    cells.corner = SIZE{10, 10};
    cells.side = SIZE{5, 7};
    cells.edge = SIZE{6, 5};
    RECT p[8];
    FramePieces(100, 50, cells, p);
    EXPECT_TRUE(Same(p[1], RECT{90, 0, 100, 10}));
    EXPECT_TRUE(Same(p[2], RECT{90, 40, 100, 50}));
    EXPECT_TRUE(Same(p[5], RECT{95, 10, 100, 40}));
    EXPECT_TRUE(Same(p[7], RECT{10, 45, 90, 50}));

    HRGN none[8] = {};
    EXPECT_EQ(FrameRegion(100, 50, p, none, cells), nullptr);

    // The left edge cell selects only its first row; a 30-pixel edge of 7-pixel tiles gets
    // tiles at 10, 17, 24, 31 and a last one of 2 rows at 38.
    HRGN edgeCell = CreateRectRgn(0, 0, 5, 1);
    HRGN regions[8] = {};
    regions[4] = edgeCell;
    HRGN window = FrameRegion(100, 50, p, regions, cells);
    ASSERT_NE(window, nullptr);
    for (LONG y : {10, 17, 24, 31, 38})
        EXPECT_TRUE(PtInRegion(window, 0, y)) << y;
    for (LONG y : {11, 16, 39, 45, 0})
        EXPECT_FALSE(PtInRegion(window, 0, y)) << y;
    // Inner rectangle: m = min(10, 5), n = min(10, 5).
    EXPECT_TRUE(PtInRegion(window, 5, 5));
    EXPECT_TRUE(PtInRegion(window, 94, 44));
    EXPECT_FALSE(PtInRegion(window, 95, 44));
    EXPECT_FALSE(PtInRegion(window, 4, 20));
    DeleteObject(window);

    // A short last tile is clipped, not drawn whole: a cell region taller than the leftover.
    HRGN tall = CreateRectRgn(0, 0, 5, 7);
    regions[4] = tall;
    HRGN clippedWindow = FrameRegion(100, 50, p, regions, cells);
    EXPECT_TRUE(PtInRegion(clippedWindow, 0, 39));
    EXPECT_FALSE(PtInRegion(clippedWindow, 0, 40));
    DeleteObject(clippedWindow);
    DeleteObject(tall);
    DeleteObject(edgeCell);
}

TEST(LayoutRectTest, EachColourSpansAllItsPixels) {
    // Index 9 in two separate blobs, index 4 in one, 0 elsewhere.
    auto index = [](LONG x, LONG y) -> BYTE {
        if (x >= 2 && x < 4 && y >= 1 && y < 3) return 9;
        if (x >= 10 && x < 12 && y >= 6 && y < 8) return 9;
        if (x == 7 && y == 4) return 4;
        return 0;
    };
    SkinHolder s(
        {Text("skin.txt", "skin = Layout\n"), File("Setup layout.psp", Psp(16, 10, index))});
    COLORREF nine = RGB(9, 255 - 9, 7), four = RGB(4, 251, 7);
    RECT r = LayoutRect(*s.skin, nine, "Setup");
    EXPECT_TRUE(Same(r, RECT{2, 1, 12, 8}));
    EXPECT_TRUE(Same(LayoutRect(*s.skin, four, "Setup"), RECT{7, 4, 8, 5}));
    EXPECT_TRUE(Same(LayoutRect(*s.skin, RGB(1, 2, 3), "Setup"), RECT{0, 0, 0, 0}));
    EXPECT_TRUE(Same(LayoutRect(*s.skin, nine, "Other"), RECT{0, 0, 0, 0}));
}

} // namespace

namespace {

auto Opaque = [](LONG, LONG) { return BYTE{3}; };

TEST(FrameLayout, AWholeFrameImageGivesTheWindowItsSizeAndShape) {
    // A 40 x 30 frame for the window "Setup" whose selection leaves out the left column.
    SkinHolder s({Text("skin.txt", "skin = Whole\n"),
                  File("setup FRAME.psp", Psp(40, 30, Opaque, [](LONG x, LONG) { return x > 0; })),
                  File("frame.psp", Psp(10, 10, Opaque))});
    LONG w = 300, h = 200;
    HRGN region = FrameLayoutRegion(*s.skin, "Setup", &w, &h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    ASSERT_NE(region, nullptr);
    EXPECT_FALSE(PtInRegion(region, 0, 5));
    EXPECT_TRUE(PtInRegion(region, 1, 5));
    DeleteObject(region);
    // Another window takes the skin's plain frame, which has no selection: rectangular.
    w = 300, h = 200;
    EXPECT_EQ(FrameLayoutRegion(*s.skin, "Other", &w, &h), nullptr);
    EXPECT_EQ(w, 10);
}

TEST(FrameLayout, PiecesWithoutSelectionsLeaveTheWindowRectangular) {
    SkinHolder s({Text("skin.txt", "skin = Pieces\n"), File("frame-c.psp", Psp(16, 16, Opaque)),
                  File("frame-lr.psp", Psp(8, 8, Opaque)),
                  File("frame-tb.psp", Psp(8, 8, Opaque))});
    LONG w = 120, h = 90;
    EXPECT_EQ(FrameLayoutRegion(*s.skin, "Setup", &w, &h), nullptr);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 90);
    SkinHolder missing(
        {Text("skin.txt", "skin = Broken\n"), File("frame-c.psp", Psp(16, 16, Opaque))});
    try {
        FrameLayoutRegion(*missing.skin, "Setup", &w, &h);
        FAIL() << "no exception";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(), "the skin Broken is missing the Setup frame-lr image");
    }
}

} // namespace
