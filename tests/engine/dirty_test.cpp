// Dirty regions: the merge rule that keeps stored rectangles apart.
#include "engine/cea_dirty.h"

#include <gtest/gtest.h>

namespace {

bool Equal(const RECT* r, LONG l, LONG t, LONG rt, LONG b) {
    return r && r->left == l && r->top == t && r->right == rt && r->bottom == b;
}

TEST(DirtyRegion, OverlapMergesSharedEdgeDoesNot) {
    DirtyRegion region;
    EXPECT_TRUE(region.IsEmpty());
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 15};
    region.Add(&a);
    region.Add(&b);
    ASSERT_EQ(region.GetCount(), 1u);
    EXPECT_TRUE(Equal(region.Get(0), 0, 0, 20, 15));

    RECT edge{20, 0, 30, 15}; // touches the right edge only
    region.Add(&edge);
    ASSERT_EQ(region.GetCount(), 2u);
    EXPECT_TRUE(Equal(region.Get(1), 20, 0, 30, 15));
    EXPECT_EQ(region.Get(2), nullptr);

    // Empty and missing rectangles change nothing.
    RECT empty{40, 40, 40, 50}, inverted{50, 50, 45, 60};
    region.Add(&empty);
    region.Add(&inverted);
    region.Add(nullptr);
    EXPECT_EQ(region.GetCount(), 2u);

    region.Clear();
    EXPECT_TRUE(region.IsEmpty());
    EXPECT_EQ(region.Get(0), nullptr);
}

TEST(DirtyRegion, BridgingRectangleJoinsEverythingItReaches) {
    DirtyRegion region;
    RECT left{0, 0, 10, 10}, right{30, 0, 40, 10}, other{100, 100, 110, 110};
    region.Add(&left);
    region.Add(&right);
    region.Add(&other);
    ASSERT_EQ(region.GetCount(), 3u);
    RECT bridge{5, 2, 35, 8};
    region.Add(&bridge);
    // The two bridged ones become one covering all three; the unrelated one survives.
    ASSERT_EQ(region.GetCount(), 2u);
    bool joined = false, kept = false;
    for (DWORD i = 0; i < region.GetCount(); ++i) {
        joined = joined || Equal(region.Get(i), 0, 0, 40, 10);
        kept = kept || Equal(region.Get(i), 100, 100, 110, 110);
    }
    EXPECT_TRUE(joined);
    EXPECT_TRUE(kept);
}

TEST(DirtyRegion, CascadingMergesLeaveNoOverlapsAndGrowPastSixteen) {
    DirtyRegion region;
    // 20 separate cells in a row, then one rectangle across the first five.
    for (LONG i = 0; i < 20; ++i) {
        RECT r{i * 10, 0, i * 10 + 5, 5};
        region.Add(&r);
    }
    ASSERT_EQ(region.GetCount(), 20u);
    RECT across{0, 1, 45, 2};
    region.Add(&across);
    EXPECT_EQ(region.GetCount(), 16u);
    // A union that grows into further rectangles keeps merging.
    RECT tall{44, 0, 46, 40}, wide{0, 30, 200, 31};
    region.Add(&tall);
    region.Add(&wide);
    for (DWORD i = 0; i < region.GetCount(); ++i)
        for (DWORD j = i + 1; j < region.GetCount(); ++j)
            EXPECT_FALSE(RectsOverlap(*region.Get(i), *region.Get(j))) << i << " " << j;
    // Every cell is still covered.
    for (LONG i = 0; i < 20; ++i) {
        bool covered = false;
        for (DWORD k = 0; k < region.GetCount(); ++k) {
            const RECT* r = region.Get(k);
            covered = covered || (r->left <= i * 10 && r->right >= i * 10 + 5 && r->top <= 0 &&
                                  r->bottom >= 5);
        }
        EXPECT_TRUE(covered) << i;
    }
}

} // namespace
