// The generated pictures, loaded through the engine and read with the game's layout rules:
// sizes, depths, marker counts and places, bands, frames and hot points, that nothing the
// player sees carries a marker colour, and that the game's pictures share one palette which the
// game's palette group takes without losing a colour.
#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "foundation/zz.h"
#include "tools/artgen/layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace artlayout;

namespace {

std::vector<BYTE> ReadAsset(const std::string& name) {
    return ReadWholeFile(std::string(TESSARK_ART_DIR) + "/" + name);
}

std::unique_ptr<Graphic> Load(const std::string& name, COLORREF transparent) {
    return LoadGraphic(ReadAsset(name), transparent);
}

// Pixels of an exact colour.
int CountColour(Graphic& g, COLORREF c) {
    int n = 0;
    for (LONG y = 0; y < g.GetHeight(); ++y)
        for (LONG x = 0; x < g.GetWidth(); ++x)
            n += g.GetPixelColor(x, y) == c;
    return n;
}

// For a picture on a palette of its own, entry 255 is the reader's white, whatever was meant.
bool UsesEntry255(Graphic& g) {
    for (LONG y = 0; y < g.GetHeight(); ++y)
        for (LONG x = 0; x < g.GetWidth(); ++x)
            if (g.GetPixelValue(x, y) == 255) return true;
    return false;
}

// Mean of (r + g + b) / 3 over a rectangle.
double Brightness(Graphic& g, LONG x0, LONG y0, LONG x1, LONG y1) {
    double sum = 0;
    for (LONG y = y0; y < y1; ++y)
        for (LONG x = x0; x < x1; ++x) {
            COLORREF c = g.GetPixelColor(x, y);
            sum += (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3.0;
        }
    return sum / ((x1 - x0) * (y1 - y0));
}

const COLORREF kMarkers[] = {kGreen, kBlue, kYellow, kRed, kCyan};
const int kLineY[12] = {43, 59, 75, 92, 109, 127, 145, 163, 182, 202, 223, 243};

class BoardPicture : public ::testing::Test {
protected:
    void SetUp() override {
        board = Load("graphic_1006.psp", kNoColor);
        ASSERT_TRUE(board) << "graphic_1006.psp does not load";
    }
    std::unique_ptr<Graphic> board;
};

TEST_F(BoardPicture, SizeDepthAndMarkersAddUp) {
    EXPECT_EQ(board->GetWidth(), 240);
    EXPECT_EQ(board->GetHeight(), 294);
    EXPECT_EQ(board->GetBitsPerPixel(), 8u);
    // The bottom grid line runs from x 2 to 236, the top one from 18 to 221.
    EXPECT_EQ(board->GetPixelColor(18, 43), kBlue);
    EXPECT_EQ(board->GetPixelColor(221, 43), kBlue);
    EXPECT_EQ(board->GetPixelColor(2, 243), kBlue);
    EXPECT_EQ(board->GetPixelColor(236, 243), kBlue);

    BoardLayout layout;
    std::string error;
    ASSERT_TRUE(ScanBoard(*board, &layout, &error)) << error;
    EXPECT_EQ(layout.cyan, 3);
    EXPECT_TRUE(layout.yellowBeforeGrid.empty());
    EXPECT_EQ(layout.glowOrigin.x, 2);
    EXPECT_EQ(layout.glowOrigin.y, 42);
    EXPECT_EQ(layout.bannerPoint.x, 0);
    EXPECT_EQ(layout.bannerPoint.y, 268);
    const LONG menu[6] = {6, 45, 84, 123, 162, 201};
    ASSERT_EQ(layout.menuButtons.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(layout.menuButtons[i].x, menu[i]);
        EXPECT_EQ(layout.menuButtons[i].y, 4);
    }
    const LONG tutorial[3] = {65, 104, 143};
    ASSERT_EQ(layout.tutorialButtons.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.tutorialButtons[i].x, tutorial[i]);
        EXPECT_EQ(layout.tutorialButtons[i].y, 4);
    }
    // Every marker was erased by the scan: none shows on screen.
    for (COLORREF c : kMarkers)
        EXPECT_EQ(CountColour(*board, c), 0) << std::hex << c;
}

TEST_F(BoardPicture, SquaresFollowTheGridAndAnchorsSitInside) {
    BoardLayout layout;
    std::string error;
    ASSERT_TRUE(ScanBoard(*board, &layout, &error)) << error;
    EXPECT_EQ(layout.squares[10][0].left, 18);
    EXPECT_EQ(layout.squares[10][10].right, 221);
    for (int row = 0; row < 11; ++row) {
        LONG previousWidth = 0;
        for (int column = 0; column < 11; ++column) {
            const SquareRect& s = layout.squares[row][column];
            SCOPED_TRACE("square " + std::to_string(row) + "," + std::to_string(column));
            EXPECT_EQ(s.top, kLineY[10 - row]);
            EXPECT_EQ(s.bottom, kLineY[11 - row]);
            LONG width = s.right - s.left;
            EXPECT_GE(width, 17);
            EXPECT_LE(width, 23);
            if (column > 0) {
                EXPECT_EQ(s.left, layout.squares[row][column - 1].right);
                EXPECT_LE(std::abs(width - previousWidth), 1);
            }
            previousWidth = width;
            // Nearer rows are wider (perspective).
            if (row > 0) {
                const SquareRect& nearer = layout.squares[row - 1][column];
                EXPECT_LE(width, nearer.right - nearer.left + 1);
            }
            ASSERT_TRUE(s.hasAnchor);
            // The foot point lies well inside the square, about its middle.
            EXPECT_GT(s.anchorX, 2);
            EXPECT_LT(s.anchorX, width - 2);
            EXPECT_GT(s.anchorY, 2);
            EXPECT_LT(s.anchorY, s.bottom - s.top - 2);
            EXPECT_LE(std::abs(2 * s.anchorX - width), 3);
        }
    }
}

TEST_F(BoardPicture, GoalSquaresAreTinted) {
    BoardLayout layout;
    std::string error;
    ASSERT_TRUE(ScanBoard(*board, &layout, &error)) << error;
    auto mean = [&](int row, int column, int channel) {
        const SquareRect& s = layout.squares[row][column];
        double sum = 0;
        int n = 0;
        for (LONG y = s.top + 3; y < s.bottom - 2; ++y)
            for (LONG x = s.left + 3; x < s.right - 2; ++x, ++n) {
                COLORREF c = board->GetPixelColor(x, y);
                sum += channel == 0 ? GetRValue(c) : GetBValue(c);
            }
        return sum / n;
    };
    for (int column = 0; column < 11; ++column) {
        bool goal = column >= 4 && column <= 6;
        // Row 10 is blue's goal, row 0 red's; other squares are neutral.
        EXPECT_EQ(mean(10, column, 2) > mean(10, column, 0) + 60, goal) << column;
        EXPECT_EQ(mean(0, column, 0) > mean(0, column, 2) + 60, goal) << column;
    }
}

TEST(GlowPictures, LevelsBrightenTowardsWhiteOverTheSquares) {
    auto board = Load("graphic_1006.psp", kNoColor);
    ASSERT_TRUE(board);
    BoardLayout layout;
    std::string error;
    ASSERT_TRUE(ScanBoard(*board, &layout, &error)) << error;
    double previous = 0;
    for (int level = 1; level <= 5; ++level) {
        auto glow = Load("graphic_" + std::to_string(1006 + level) + ".psp", kNoColor);
        ASSERT_TRUE(glow) << level;
        EXPECT_EQ(glow->GetWidth(), 235);
        EXPECT_EQ(glow->GetHeight(), 220);
        EXPECT_EQ(glow->GetBitsPerPixel(), 8u);
        for (COLORREF c : kMarkers)
            EXPECT_EQ(CountColour(*glow, c), 0) << level;
        // Each square's rectangle, as the game copies it, is lit brighter than the board there.
        double sum = 0;
        for (int row = 0; row < 11; ++row)
            for (int column = 0; column < 11; ++column) {
                const SquareRect& s = layout.squares[row][column];
                double lit = Brightness(*glow, s.left - 2, s.top - 42, s.right - 2, s.bottom - 42);
                EXPECT_GT(lit, Brightness(*board, s.left, s.top, s.right, s.bottom) + 8);
                sum += lit;
            }
        double mean = sum / 121;
        EXPECT_GT(mean, previous + 10) << level;
        previous = mean;
    }
    EXPECT_GT(previous, 215); // level 5 is almost white
}

TEST(GoalStripPicture, ThreeBlueSquares) {
    auto goal = Load("graphic_1026.psp", kNoColor);
    ASSERT_TRUE(goal);
    EXPECT_EQ(goal->GetWidth(), 60);
    EXPECT_EQ(goal->GetHeight(), 18);
    for (int i = 0; i < 3; ++i) {
        COLORREF c = goal->GetPixelColor(20 * i + 10, 9);
        EXPECT_GT(GetBValue(c), GetRValue(c) + 60) << i;
    }
    for (COLORREF c : kMarkers)
        EXPECT_EQ(CountColour(*goal, c), 0);
}

class PieceSheetPictures : public ::testing::Test {
protected:
    void SetUp() override {
        red = Load("graphic_1015.psp", kBlue);
        blue = Load("graphic_1014.psp", kBlue);
        board = Load("graphic_1006.psp", kNoColor);
        ASSERT_TRUE(red && blue && board);
        std::string error;
        ASSERT_TRUE(ScanBoard(*board, &layout, &error)) << error;
    }
    std::unique_ptr<Graphic> red, blue, board;
    BoardLayout layout;
};

TEST_F(PieceSheetPictures, BandsAndPiecesReadBack) {
    for (Graphic* sheet : {red.get(), blue.get()}) {
        EXPECT_EQ(sheet->GetWidth(), 289);
        EXPECT_EQ(sheet->GetHeight(), 307);
        EXPECT_EQ(sheet->GetBitsPerPixel(), 8u);
        EXPECT_EQ(CountColour(*sheet, kYellow), 121);
        for (COLORREF c : {kGreen, kRed, kCyan})
            EXPECT_EQ(CountColour(*sheet, c), 0);
    }
    PieceCut redCuts[11][11], blueCuts[11][11];
    std::string error;
    ASSERT_TRUE(ReadPieceSheet(*red, redCuts, &error)) << error;
    ASSERT_TRUE(ReadPieceSheet(*blue, blueCuts, &error)) << error;
    EXPECT_EQ(CountColour(*red, kYellow), 0);
    EXPECT_EQ(CountColour(*blue, kYellow), 0);
    for (int row = 0; row < 11; ++row)
        for (int column = 0; column < 11; ++column) {
            SCOPED_TRACE("piece " + std::to_string(row) + "," + std::to_string(column));
            const PieceCut& r = redCuts[row][column];
            const PieceCut& b = blueCuts[row][column];
            // The game keeps one hot point per square for both colours: they must agree.
            EXPECT_EQ(r.hotX, b.hotX);
            EXPECT_EQ(r.hotY, b.hotY);
            EXPECT_EQ(r.rect.right - r.rect.left, b.rect.right - b.rect.left);
            EXPECT_EQ(r.rect.bottom - r.rect.top, b.rect.bottom - b.rect.top);
            LONG w = r.rect.right - r.rect.left, h = r.rect.bottom - r.rect.top;
            // Within the piece box the game starts from, foot point in the lower part.
            EXPECT_LE(w, 35);
            EXPECT_LE(h, 50);
            EXPECT_GE(w, 10);
            EXPECT_GT(r.hotY, h / 2);
            EXPECT_LT(r.hotY, h);
            EXPECT_LE(std::abs(2 * r.hotX - w), 4);
            // The first row stops short of the rightmost column, so the reader's next search
            // starts on background whichever way it takes the right edge.
            LONG lastOnFirstRow = -1;
            for (LONG x = r.rect.left; x < r.rect.right; ++x)
                if (red->GetPixelColor(x, r.rect.top) != kBlue) lastOnFirstRow = x;
            EXPECT_LT(lastOnFirstRow, r.rect.right - 1);
            // Nearer rows get bigger cubes.
            if (row > 0) {
                const RECT& nearer = redCuts[row - 1][column].rect;
                EXPECT_GE(w + 1, nearer.right - nearer.left);
            }
            // Standing on its square: the cube covers the square's middle and ends within it.
            const SquareRect& s = layout.squares[row][column];
            LONG left = s.left + s.anchorX - r.hotX, top = s.top + s.anchorY - r.hotY;
            EXPECT_LE(std::abs((left + w / 2) - (s.left + s.right) / 2), 2);
            EXPECT_LE(top + h, s.bottom + 2);
            EXPECT_GT(top + h, s.top + (s.bottom - s.top) / 2);
        }
    // The last band runs to the bottom edge.
    EXPECT_EQ(redCuts[0][0].rect.bottom, 307);
}

TEST_F(PieceSheetPictures, ColoursAreRedAndBlue) {
    PieceCut redCuts[11][11], blueCuts[11][11];
    std::string error;
    ASSERT_TRUE(ReadPieceSheet(*red, redCuts, &error)) << error;
    ASSERT_TRUE(ReadPieceSheet(*blue, blueCuts, &error)) << error;
    for (int row = 0; row < 11; row += 5)
        for (int column = 0; column < 11; column += 5) {
            const PieceCut& r = redCuts[row][column];
            COLORREF rc = red->GetPixelColor(r.rect.left + r.hotX, r.rect.top + r.hotY - 2);
            const PieceCut& b = blueCuts[row][column];
            COLORREF bc = blue->GetPixelColor(b.rect.left + b.hotX, b.rect.top + b.hotY - 2);
            EXPECT_GT(GetRValue(rc), GetBValue(rc) + 60);
            EXPECT_GT(GetBValue(bc), GetRValue(bc) + 60);
        }
}

TEST(ExplosionPicture, FramesAndHotPoint) {
    auto frames = Load("graphic_1013.psp", kBlue);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->GetWidth(), 210);
    EXPECT_EQ(frames->GetHeight(), 400);
    EXPECT_EQ(frames->GetBitsPerPixel(), 8u);
    EXPECT_EQ(CountColour(*frames, kYellow), 1);
    for (COLORREF c : {kGreen, kRed, kCyan})
        EXPECT_EQ(CountColour(*frames, c), 0);
    POINT hot{};
    ASSERT_TRUE(FindHotPoint(*frames, &hot));
    EXPECT_EQ(hot.x, 14);
    EXPECT_EQ(hot.y, 32);
    EXPECT_NE(frames->GetPixelColor(14, 32), kBlue); // the hot point sits on the cube
    auto solid = [&](int cell) {
        int n = 0;
        for (LONG y = 0; y < 50; ++y)
            for (LONG x = 0; x < 35; ++x)
                n += frames->GetPixelColor(35 * (cell % 6) + x, 50 * (cell / 6) + y) != kBlue;
        return n;
    };
    EXPECT_EQ(solid(23), 0);
    EXPECT_EQ(solid(47), 0);
    for (int cell = 0; cell < 47; ++cell)
        if (cell % 24 < 20) {
            EXPECT_GT(solid(cell), 10) << cell;
        }
    // Frames 0 and 24 are the whole cube of each colour.
    COLORREF r = frames->GetPixelColor(14, 28), b = frames->GetPixelColor(14, 28 + 200);
    EXPECT_GT(GetRValue(r), GetBValue(r) + 60);
    EXPECT_GT(GetBValue(b), GetRValue(b) + 60);
    // The burst spreads: a middle frame covers more ground than the whole cube.
    auto extent = [&](int cell) {
        LONG x0 = 35, x1 = -1;
        for (LONG y = 0; y < 50; ++y)
            for (LONG x = 0; x < 35; ++x)
                if (frames->GetPixelColor(35 * (cell % 6) + x, 50 * (cell / 6) + y) != kBlue)
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
        return x1 - x0;
    };
    EXPECT_GT(extent(8), extent(0) + 4);
    EXPECT_GT(extent(32), extent(24) + 4);
}

// The pictures the game loads into its one palette group, with the transparency it gives each.
struct GamePicture {
    const char* file;
    COLORREF transparent;
};
const GamePicture kGamePictures[] = {
    {"graphic_1006.psp", kNoColor}, {"graphic_1016.psp", kBlue},    {"graphic_1017.psp", kBlue},
    {"graphic_1007.psp", kNoColor}, {"graphic_1008.psp", kNoColor}, {"graphic_1009.psp", kNoColor},
    {"graphic_1010.psp", kNoColor}, {"graphic_1011.psp", kNoColor}, {"graphic_1026.psp", kNoColor},
    {"graphic_1013.psp", kBlue},    {"graphic_1015.psp", kBlue},    {"graphic_1014.psp", kBlue},
    {"graphic_1012.psp", kBlue},
};

std::vector<COLORREF> Table(Graphic& g) {
    std::vector<COLORREF> table;
    for (DWORD i = 0; i < 256; ++i)
        table.push_back(g.GetPaletteColor(i));
    return table;
}

std::vector<COLORREF> Colours(Graphic& g) {
    std::vector<COLORREF> colours;
    for (LONG y = 0; y < g.GetHeight(); ++y)
        for (LONG x = 0; x < g.GetWidth(); ++x)
            colours.push_back(g.GetPixelColor(x, y));
    return colours;
}

TEST(SharedPalette, EveryPictureKeepsEveryColourThroughTheGamesPaletteGroup) {
    std::vector<std::unique_ptr<Graphic>> pictures;
    std::vector<std::vector<COLORREF>> before;
    std::set<COLORREF> distinct;
    for (const GamePicture& p : kGamePictures) {
        pictures.push_back(Load(p.file, p.transparent));
        ASSERT_TRUE(pictures.back()) << p.file;
        ASSERT_EQ(pictures.back()->GetBitsPerPixel(), 8u) << p.file;
        // One colour table, written into every file.
        EXPECT_TRUE(Table(*pictures.back()) == Table(*pictures.front()))
            << p.file << " has a colour table of its own";
        before.push_back(Colours(*pictures.back()));
        distinct.insert(before.back().begin(), before.back().end());
    }
    distinct.erase(RGB(0, 0, 0));
    distinct.erase(RGB(255, 255, 255));
    EXPECT_LE(distinct.size(), 254u) << "the group holds black and white and 254 others";

    ResetPaletteMergeFailures();
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    for (auto& g : pictures)
        group.Add(g.get(), FALSE);
    group.Close();
    EXPECT_EQ(GetPaletteMergeFailures(), 0u);
    std::vector<COLORREF> merged;
    for (DWORD i = 0; i < 256; ++i)
        merged.push_back(group.GetColor(i));
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(kGamePictures[i].file);
        std::vector<COLORREF> after = Colours(*pictures[i]);
        ASSERT_EQ(after.size(), before[i].size());
        size_t changed = 0;
        for (size_t k = 0; k < after.size(); ++k)
            changed += after[k] != before[i][k];
        EXPECT_EQ(changed, 0u) << "pixels whose colour the merge changed";
        EXPECT_TRUE(Table(*pictures[i]) == merged) << "not the group's palette";
    }
    // The markers and the transparent blue came through with the rest: the board still reads.
    BoardLayout layout;
    std::string error;
    EXPECT_TRUE(ScanBoard(*pictures.front(), &layout, &error)) << error;
}

TEST(LogoPicture, ZzBlockOfTwentyFrames) {
    std::vector<BYTE> block = ReadAsset("logo_5000.zz");
    ASSERT_GT(block.size(), 4u);
    BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzdecompress(&data, &size, block.data(), static_cast<DWORD>(block.size())));
    DWORD prefix = block[0] | block[1] << 8 | block[2] << 16 | static_cast<DWORD>(block[3]) << 24;
    EXPECT_EQ(size, prefix);
    std::vector<BYTE> psp(data, data + size);
    zzfree(data);
    auto logo = LoadGraphic(psp, kNoColor);
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->GetWidth(), 200);
    EXPECT_EQ(logo->GetHeight(), 2000);
    EXPECT_EQ(logo->GetBitsPerPixel(), 8u);
    EXPECT_FALSE(UsesEntry255(*logo));
    auto frameDiff = [&](int a, int b) {
        long n = 0;
        for (LONG y = 0; y < 100; ++y)
            for (LONG x = 0; x < 200; ++x)
                n += logo->GetPixelColor(x, 100 * a + y) != logo->GetPixelColor(x, 100 * b + y);
        return n;
    };
    // The tile moves through frames 0 ... 12 and then rests; the wordmark grows in over it.
    for (int i = 0; i < 12; ++i)
        EXPECT_GT(frameDiff(i, i + 1), 200) << i;
    for (int i = 12; i < 19; ++i)
        EXPECT_GT(frameDiff(i, i + 1), 100) << i;
    // The frames' corners are the black of the window.
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(logo->GetPixelColor(0, 100 * i), 0u) << i;
    EXPECT_GT(Brightness(*logo, 50, 1900 + 35, 150, 1900 + 65),
              Brightness(*logo, 50, 1200 + 35, 150, 1200 + 65) + 15);
}

TEST(PictureLoading, MissingFilesAndDamagedBytesGiveNothing) {
    // What the tests and the preview read pictures with: a missing file is no bytes, and
    // bytes that are not a whole picture give no graphic rather than a broken one.
    EXPECT_TRUE(ReadAsset("no_such_picture.psp").empty());
    EXPECT_TRUE(ReadWholeFile(TESSARK_ART_DIR).empty()) << "a folder is not a file";
    EXPECT_FALSE(LoadGraphic(std::vector<BYTE>{}, kNoColor));
    EXPECT_FALSE(LoadGraphic(nullptr, 100, kNoColor));
    std::vector<BYTE> psp = ReadAsset("graphic_1026.psp");
    ASSERT_GT(psp.size(), 64u);
    auto whole = LoadGraphic(psp, kNoColor);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->GetWidth(), 60);
    std::vector<BYTE> header(psp.begin(), psp.begin() + 32);
    EXPECT_FALSE(LoadGraphic(header, kNoColor));
    std::vector<BYTE> noise(psp.size(), 0x5A);
    EXPECT_FALSE(LoadGraphic(noise, kNoColor));
}

TEST(IconPicture, IconFileAndBitmapForm) {
    std::vector<BYTE> ico = ReadAsset("icon_1055.ico");
    ASSERT_GE(ico.size(), 6u + 3 * 16);
    EXPECT_EQ(ico[0] | ico[1] << 8, 0);
    EXPECT_EQ(ico[2] | ico[3] << 8, 1);
    ASSERT_EQ(ico[4] | ico[5] << 8, 3);
    const int sizes[3] = {16, 32, 48};
    for (int i = 0; i < 3; ++i) {
        const BYTE* e = &ico[6 + 16 * i];
        EXPECT_EQ(e[0], sizes[i]);
        EXPECT_EQ(e[1], sizes[i]);
        DWORD bytes = e[8] | e[9] << 8 | e[10] << 16 | static_cast<DWORD>(e[11]) << 24;
        DWORD offset = e[12] | e[13] << 8 | e[14] << 16 | static_cast<DWORD>(e[15]) << 24;
        DWORD mask = ((sizes[i] + 31) / 32) * 4 * sizes[i];
        EXPECT_EQ(bytes, 40u + 4u * sizes[i] * sizes[i] + mask);
        EXPECT_LE(offset + bytes, ico.size());
    }
    auto bmp = LoadGraphic(ReadAsset("icon_1055.bmp"), kNoColor);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->GetWidth(), 32);
    EXPECT_EQ(bmp->GetHeight(), 32);
}

} // namespace
