// Palette groups: the default colours, merging with its remap and its limits, the colour cube,
// nesting and the closed-group traces.
#include "engine/cea_palette.h"
#include "engine/cea_sprite.h"
#include "engine_test_support.h"
#include "foundation/memory.h"
#include "platform/user.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// An 8-bit graphic whose pixels use `colours` distinct colours starting at `first`.
Graphic* Colourful(int colours, int first) {
    RGBQUAD table[256] = {};
    LONG w = 16, h = (colours + 15) / 16;
    auto* g = new (MM("GRAPHIC")) Graphic(w, h, 8, table);
    RGBQUAD t[256] = {};
    PALETTEENTRY pe[256];
    for (int i = 0; i < 256; ++i) {
        int c = first + i;
        t[i] = {static_cast<BYTE>(c & 255), static_cast<BYTE>(c >> 8), 77, 0};
        pe[i] = {t[i].rgbRed, t[i].rgbGreen, t[i].rgbBlue, 0};
    }
    g->SetPaletteEntries(pe, 0, 256);
    for (int i = 0; i < w * h; ++i)
        g->SetPixelValue(i % w, i / w, static_cast<DWORD>(i < colours ? i : 0));
    return g;
}

TEST(PaletteGroupBasics, NewGroupHoldsBlackAndWhite) {
    PaletteGroup group;
    EXPECT_FALSE(group.IsOpen());
    EXPECT_EQ(group.GetColor(0), RGB(0, 0, 0));
    EXPECT_EQ(group.GetColor(255), RGB(255, 255, 255));
    EXPECT_EQ(group.GetColor(256), kNoColor);
    EXPECT_EQ(group.FindColor(RGB(255, 255, 255)), 255u);
    EXPECT_EQ(group.FindColor(RGB(1, 2, 3)), 0xFFFFFFFFu);
    PALETTEENTRY e[4];
    EXPECT_EQ(group.GetEntries(e, 254, 4), 2u);
    EXPECT_EQ(e[1].peRed, 255);
    ASSERT_TRUE(group.Open());
    EXPECT_EQ(group.GetColor(0), kNoColor);
    EXPECT_EQ(group.GetEntries(e, 0, 1), 0u);
    EXPECT_EQ(group.FindColor(RGB(0, 0, 0)), 0xFFFFFFFFu);
    group.Close();
}

TEST(PaletteGroupMerge, ThreeHundredColoursPlace254AndTraceOnce) {
    ResetPaletteMergeFailures();
    TraceCapture trace;
    Graphic* a = Colourful(150, 0x100);
    Graphic* b = Colourful(150, 0x300);
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(a, FALSE);
    group.Add(b, FALSE);
    group.Close();
    EXPECT_EQ(trace.Count("Out of colors when merging graphic into palette"), 1);
    EXPECT_GT(GetPaletteMergeFailures(), 0u);
    // Every colour of a found a place; the last colours of b did not and kept their values.
    int placed = 0;
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(a->GetPixelColor(i % 16, i / 16), RGB(77, (0x100 + i) >> 8, (0x100 + i) & 255))
            << i;
        if (b->GetPixelColor(i % 16, i / 16) == RGB(77, (0x300 + i) >> 8, (0x300 + i) & 255))
            ++placed;
    }
    // 254 free entries: 1 to 254, minus the 150 of a (entry 0 of each graphic's pixels is its
    // first colour, which is not black).
    EXPECT_EQ(placed, 254 - 150);
    EXPECT_EQ(b->GetPixelValue(5, 9), 149u) << "unplaced: old value";
    EXPECT_EQ(a->GetPaletteColor(200), group.GetColor(200));
    EXPECT_EQ(b->GetPaletteColor(255), RGB(255, 255, 255));
    // A second merge out of colours does not trace again.
    ASSERT_TRUE(group.Open());
    group.Close();
    EXPECT_EQ(trace.Count("Out of colors"), 1);
    MemDelete(a, MM("GRAPHIC"));
    MemDelete(b, MM("GRAPHIC"));
}

TEST(PaletteGroupMerge, TheTransparentColourIsPlacedFirst) {
    RGBQUAD table[256] = {};
    table[1] = {10, 10, 10, 0};
    table[2] = {255, 0, 255, 0}; // magenta
    Graphic g(2, 1, 8, table);
    g.SetPixelValue(0, 0, 1);
    g.SetPixelValue(1, 0, 2);
    g.SetTransparency(RGB(255, 0, 255));
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(&g, FALSE);
    group.Close();
    EXPECT_EQ(group.GetColor(1), RGB(255, 0, 255));
    EXPECT_EQ(group.GetColor(2), RGB(10, 10, 10));
    EXPECT_EQ(g.GetPixelValue(1, 0), 1u);
    EXPECT_EQ(g.GetPixelValue(0, 0), 2u);
    EXPECT_EQ(g.GetPixelColor(1, 0), RGB(255, 0, 255));
}

TEST(PaletteGroupMembers, DuplicatesChildrenDeepGraphicsAndKeptPixels) {
    RGBQUAD table[256] = {};
    table[9] = {1, 2, 3, 0};
    Graphic g(2, 2, 8, table);
    Fill(g, [](LONG, LONG) { return 9u; });
    Graphic child(&g);
    Graphic deep(2, 2, 24);
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(&g, TRUE);
    group.Add(&child, FALSE); // the root is already in: still kept
    group.Add(&deep, FALSE);
    group.Close();
    EXPECT_EQ(g.GetPaletteGroup(), &group);
    EXPECT_EQ(child.GetPaletteGroup(), &group);
    EXPECT_EQ(deep.GetPaletteGroup(), nullptr);
    EXPECT_EQ(g.GetPixelValue(0, 0), 9u) << "pixels kept";
    EXPECT_EQ(g.GetPaletteColor(9), group.GetColor(9)) << "table replaced";
    group.Remove(&child);
    EXPECT_EQ(g.GetPaletteGroup(), nullptr);
}

TEST(PaletteGroupMembers, DestroyingEitherSideUnlinks) {
    auto* g = new (MM("GRAPHIC")) Graphic(2, 2, 8);
    {
        PaletteGroup group;
        group.Open();
        group.Add(g, FALSE);
        group.Close();
        SetDisplayPaletteGroup(&group);
    }
    EXPECT_EQ(g->GetPaletteGroup(), nullptr);
    EXPECT_EQ(GetDisplayPaletteGroup(), nullptr);
    PaletteGroup group;
    group.Open();
    group.Add(g, FALSE);
    group.Close();
    MemDelete(g, MM("GRAPHIC"));
    // The group no longer holds the graphic: a merge does not touch it.
    group.Open();
    group.Close();
}

TEST(PaletteGroupNesting, OnlyTheOutermostCloseMergesAndOpenContextsRefuse) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    ASSERT_TRUE(group.Open());
    group.Add(RGB(5, 6, 7));
    group.Close();
    EXPECT_TRUE(group.IsOpen());
    EXPECT_EQ(group.FindColor(RGB(5, 6, 7)), 0xFFFFFFFFu);
    group.Close();
    EXPECT_EQ(group.FindColor(RGB(5, 6, 7)), 1u);

    Graphic g(2, 2, 8);
    group.Open();
    group.Add(&g, FALSE);
    group.Close();
    HDC hdc = g.GetDC();
    ASSERT_NE(hdc, nullptr);
    TraceCapture trace;
    EXPECT_FALSE(group.Open());
    EXPECT_FALSE(group.IsOpen());
    EXPECT_EQ(trace.Count("PaletteGroup " + Hex(&group) +
                          " could not be opened because of graphic " + Hex(&g)),
              1);
    g.ReleaseDC();
    EXPECT_TRUE(group.Open());
    group.Close();
}

TEST(PaletteGroupEditing, ClosedGroupsOnlyTrace) {
    PaletteGroup group;
    Graphic g(1, 1, 8);
    PALETTEENTRY e{1, 2, 3, 0};
    TraceCapture trace;
    std::string at = Hex(&group);
    group.Add(&g, FALSE);
    group.AddSpecific(7, RGB(1, 1, 1));
    group.AddSpecific(8, &e);
    group.RemoveSpecific(9);
    group.Add(RGB(1, 1, 1));
    group.Remove(RGB(1, 1, 1));
    group.Add(&e, 1);
    group.Remove(&e, 1);
    EXPECT_EQ(trace.Count("Add (Graphic " + Hex(&g) + ") called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("AddSpecific (7) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("AddSpecific (8,pe) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("RemoveSpecific(9) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("Add (Color) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("Remove (Color) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("Add (PaletteEntry) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Count("Remove (PaletteEntry) called for closed PaletteGroup " + at), 1);
    EXPECT_EQ(trace.Lines().size(), 8u);
    EXPECT_EQ(g.GetPaletteGroup(), nullptr);
}

TEST(PaletteGroupEditing, SpecificColoursKeepTheirPlace) {
    PaletteGroup group;
    group.Open();
    group.AddSpecific(100, RGB(9, 9, 9));
    group.AddSpecific(100, RGB(8, 8, 8)); // the index is taken: nothing
    group.Add(RGB(7, 7, 7));
    group.AddSpecific(50, RGB(7, 7, 7)); // an existing colour is marked, its index stays
    group.Close();
    EXPECT_EQ(group.GetColor(100), RGB(9, 9, 9));
    EXPECT_EQ(group.FindColor(RGB(8, 8, 8)), 0xFFFFFFFFu);
    EXPECT_EQ(group.FindColor(RGB(7, 7, 7)), 1u);
    group.Open();
    group.RemoveSpecific(100);
    group.Close();
    EXPECT_EQ(group.FindColor(RGB(9, 9, 9)), 0xFFFFFFFFu);
}

TEST(PaletteGroupCube, TableAndMerge) {
    const BYTE first[16] = {0, 64, 24, 88, 3, 67, 27, 173, 91, 192, 56, 248, 7, 199, 63, 254};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(kColorCubeTable[first[i]], i);
    EXPECT_EQ(kColorCubeTable[1], 16);
    EXPECT_EQ(kColorCubeTable[2], 17);
    EXPECT_EQ(kColorCubeTable[255], 255);
    bool seen[256] = {};
    for (int cell = 0; cell < 256; ++cell) {
        EXPECT_FALSE(seen[kColorCubeTable[cell]]) << cell;
        seen[kColorCubeTable[cell]] = true;
    }
    PaletteGroup group;
    group.Open();
    group.Add(PALETTEGROUP_COLOR_CUBE, 0);
    EXPECT_TRUE(group.UsesColorCube());
    RGBQUAD table[256] = {};
    table[3] = {255, 255, 130, 0}; // red 130 has top bits 2: cell (2 << 6) | 7 << 3 | 7
    Graphic g(1, 1, 8, table);
    g.SetPixelValue(0, 0, 3);
    group.Add(&g, FALSE);
    group.Close();
    EXPECT_EQ(group.GetColor(kColorCubeTable[1]), RGB(0, 0, 40));
    EXPECT_EQ(group.GetColor(kColorCubeTable[255]), RGB(255, 255, 255));
    EXPECT_EQ(g.GetPixelValue(0, 0), kColorCubeTable[(2 << 6) | (7 << 3) | 7]);
    EXPECT_EQ(g.GetPixelColor(0, 0), RGB(192, 255, 255));
    group.Open();
    group.Remove(PALETTEGROUP_COLOR_CUBE, 0);
    group.Close();
    EXPECT_FALSE(group.UsesColorCube());
}

TEST(PaletteGroupSprites, FramesJoinThroughTheParentSprite) {
    std::vector<std::vector<BYTE>> rows(2, std::vector<BYTE>{1, 1, 2, 2});
    std::vector<RGBQUAD> table(256, RGBQUAD{0, 0, 0, 0});
    table[1] = {1, 1, 1, 0};
    table[2] = {2, 2, 2, 0};
    std::vector<BYTE> bmp = MakeBmp(4, 2, 8, table, rows, false);
    Sprite sprite(bmp.data(), static_cast<DWORD>(bmp.size()), 2, 1, kSpriteAllFrames);
    auto* child = new (MM("SPRITE")) Sprite(&sprite, RECT{0, 0, 1, 1});
    PaletteGroup group;
    TraceCapture trace;
    group.Add(child, FALSE);
    EXPECT_EQ(trace.Count("Add (Sprite " + Hex(child) + ") called for closed PaletteGroup"), 1);
    group.Open();
    group.Add(child, FALSE);
    group.Close();
    EXPECT_EQ(sprite.GetFrame(1)->GetPaletteGroup(), &group);
    EXPECT_EQ(group.GetColor(1), RGB(1, 1, 1));
    group.Remove(&sprite);
    EXPECT_EQ(sprite.GetFrame(0)->GetPaletteGroup(), nullptr);
    MemDelete(child, MM("SPRITE"));
}

TEST(PaletteGroupLifecycle, DestroyedWhileOpenWarns) {
    TraceCapture trace;
    auto* group = new (MM("PALETTEGROUP")) PaletteGroup;
    group->Open();
    std::string at = Hex(group);
    MemDelete(group, MM("PALETTEGROUP"));
    EXPECT_EQ(trace.Count("Warning: PaletteGroup " + at + " destroyed while open"), 1);
}

// Runs on a second thread while the viewer's loop runs on the test thread.
struct ViewerReport {
    RECT client{};
    std::string overCell, outside;
    COLORREF painted = kNoColor;
};

// The device screen keeps five bits a channel.
bool NearlyEqual(COLORREF a, COLORREF b) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > 7) return false;
    return true;
}

template <class Predicate>
bool WaitFor(Predicate done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string TitleOf(HWND hwnd) {
    char text[128] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

ViewerReport DriveViewer() {
    ViewerReport report;
    HWND hwnd = nullptr;
    if (!WaitFor([&] { return (hwnd = FindOwnWindow("PALETTEGROUPShowClass")) != nullptr; }))
        return report;
    GetClientRect(hwnd, &report.client);
    WaitFor([&] {
        HDC dc = GetDC(hwnd);
        report.painted = GetPixel(dc, 3 * 32 + 1, 1 * 24 + 1);
        ReleaseDC(hwnd, dc);
        return NearlyEqual(report.painted, RGB(200, 80, 16));
    });
    PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(3 * 32 + 31, 1 * 24 + 23));
    WaitFor([&] { return TitleOf(hwnd) != "Colours"; });
    report.overCell = TitleOf(hwnd);
    PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(-4, -4));
    WaitFor([&] { return TitleOf(hwnd) == "Colours"; });
    report.outside = TitleOf(hwnd);
    PostMessageA(hwnd, WM_COMMAND, 2, 0);
    return report;
}

TEST(PaletteGroupShow, CellsNameTheirColourAndCommandTwoCloses) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.AddSpecific(19, RGB(200, 80, 16));
    group.Close();
    ASSERT_EQ(group.GetColor(19), RGB(200, 80, 16));

    ViewerReport report;
    std::thread driver([&] { report = DriveViewer(); });
    group.Show(TEXT("Colours"));
    driver.join();
    EXPECT_EQ(report.client.right - report.client.left, 512);
    EXPECT_EQ(report.client.bottom - report.client.top, 384);
    EXPECT_PRED2(NearlyEqual, report.painted, RGB(200, 80, 16));
    EXPECT_EQ(report.overCell, "I=19, RGB=200,80,16 -- Colours");
    EXPECT_EQ(report.outside, "Colours");
    EXPECT_EQ(FindOwnWindow("PALETTEGROUPShowClass"), nullptr);
}

} // namespace
