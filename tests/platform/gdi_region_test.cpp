#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<RECT> RectsOf(HRGN region) {
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<BYTE> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    EXPECT_EQ(GetRegionData(region, size, data), size);
    EXPECT_EQ(data->rdh.dwSize, 32u);
    EXPECT_EQ(data->rdh.iType, static_cast<DWORD>(RDH_RECTANGLES));
    std::vector<RECT> rects(data->rdh.nCount);
    std::memcpy(rects.data(), data->Buffer, rects.size() * sizeof(RECT));
    return rects;
}

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

HRGN FromRects(const std::vector<RECT>& rects) {
    std::vector<BYTE> buffer(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(rects.size());
    std::memcpy(data->Buffer, rects.data(), rects.size() * sizeof(RECT));
    return ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
}

} // namespace

TEST(Regions, UnionOfTouchingAndOverlappingPiecesIsKeptAsMergedBands) {
    // Two squares side by side become one rectangle; a square below with another width stays a
    // band of its own.
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(10, 0, 20, 10);
    HRGN c = CreateRectRgn(5, 10, 15, 20);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(out, out, c, RGN_OR), COMPLEXREGION);
    auto rects = RectsOf(out);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_TRUE(Same(rects[0], {0, 0, 20, 10}));
    EXPECT_TRUE(Same(rects[1], {5, 10, 15, 20}));
    RECT box;
    EXPECT_EQ(GetRgnBox(out, &box), COMPLEXREGION);
    EXPECT_TRUE(Same(box, {0, 0, 20, 20}));
    for (HRGN r : {a, b, c, out})
        DeleteObject(r);
}

TEST(Regions, IntersectionDifferenceAndExclusiveOr) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 15, 15);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_AND), SIMPLEREGION);
    EXPECT_TRUE(Same(RectsOf(out)[0], {5, 5, 10, 10}));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_DIFF), COMPLEXREGION);
    auto diff = RectsOf(out);
    ASSERT_EQ(diff.size(), 2u);
    EXPECT_TRUE(Same(diff[0], {0, 0, 10, 5}));
    EXPECT_TRUE(Same(diff[1], {0, 5, 5, 10}));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 0, 0));
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    EXPECT_TRUE(PtInRegion(out, 14, 14));
    EXPECT_FALSE(PtInRegion(out, 15, 14)) << "right edges are exclusive";
    HRGN far = CreateRectRgn(100, 100, 110, 110);
    EXPECT_EQ(CombineRgn(out, a, far, RGN_AND), NULLREGION);
    EXPECT_EQ(GetRegionData(out, 0, nullptr), 32u);
    EXPECT_EQ(CombineRgn(out, a, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(out, a));
    EXPECT_EQ(CombineRgn(out, a, nullptr, RGN_OR), ERROR);
    for (HRGN r : {a, b, out, far})
        DeleteObject(r);
}

TEST(Regions, FromRectangleListsInAnyOrderWithOverlaps) {
    // Runs of a selection mask: one rectangle per run, rows that repeat merge into one band.
    HRGN r = FromRects({{2, 1, 4, 2},
                        {0, 0, 3, 1},
                        {2, 0, 6, 1},
                        {2, 2, 4, 3},
                        {0, 3, 1, 4},
                        {3, 3, 5, 4},
                        {9, 9, 9, 12}});
    ASSERT_NE(r, nullptr);
    auto rects = RectsOf(r);
    ASSERT_EQ(rects.size(), 4u);
    EXPECT_TRUE(Same(rects[0], {0, 0, 6, 1}));
    EXPECT_TRUE(Same(rects[1], {2, 1, 4, 3}));
    EXPECT_TRUE(Same(rects[2], {0, 3, 1, 4}));
    EXPECT_TRUE(Same(rects[3], {3, 3, 5, 4}));
    // Clip to a rectangle at the origin, then move.
    HRGN clip = CreateRectRgn(1, 0, 4, 2);
    CombineRgn(r, r, clip, RGN_AND);
    EXPECT_EQ(OffsetRgn(r, 10, 20), COMPLEXREGION);
    rects = RectsOf(r);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_TRUE(Same(rects[0], {11, 20, 14, 21}));
    EXPECT_TRUE(Same(rects[1], {12, 21, 14, 22}));
    DeleteObject(clip);
    DeleteObject(r);
}

TEST(Regions, RejectBadDataAndKeepRegionsOnOverflow) {
    std::vector<BYTE> buffer(sizeof(RGNDATAHEADER) + sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = 32;
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = 2; // more than the buffer holds
    EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data), nullptr);
    data->rdh.nCount = 1;
    data->rdh.dwSize = 31;
    EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data), nullptr);
    data->rdh.dwSize = 32;
    data->rdh.iType = 2;
    EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data), nullptr);
    EXPECT_EQ(ExtCreateRegion(nullptr, 0, nullptr), nullptr);

    HRGN r = CreateRectRgn(0, 0, 10, 10);
    EXPECT_EQ(OffsetRgn(r, INT32_MAX, 0), ERROR);
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_TRUE(Same(box, {0, 0, 10, 10}));
    std::vector<BYTE> small(40);
    EXPECT_EQ(GetRegionData(r, 40, reinterpret_cast<RGNDATA*>(small.data())), 48u)
        << "too small a buffer gets the size and no writes";
    DeleteObject(r);
    EXPECT_EQ(OffsetRgn(r, 1, 1), ERROR);
}
