// Reading the layout out of pictures: the board's marker scan and its refusals, the piece-sheet
// reader on sheets made here, and which square lies under a point.
#include "game/presentation/graphics.h"
#include "game/presentation/layout.h"

#include "foundation/memory.h"
#include "platform/resource.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct GraphicDeleter {
    void operator()(Graphic* g) const { MemDelete(g, MM("GRAPHIC")); }
};
using GraphicPtr = std::unique_ptr<Graphic, GraphicDeleter>;

GraphicPtr ShippedBoard() {
    return GraphicPtr(LoadGameImage(GetModuleHandle(nullptr), nullptr, kGraphicBoard, kNoColor));
}

// The first pixel of the colour in scan order.
bool Find(Graphic* g, COLORREF colour, LONG* x, LONG* y) {
    for (*y = 0; *y < g->GetHeight(); ++*y)
        for (*x = 0; *x < g->GetWidth(); ++*x)
            if (g->GetPixelColor(*x, *y) == colour) return true;
    return false;
}

TEST(BoardScan, CountsTheShippedMarkers) {
    GraphicPtr board = ShippedBoard();
    ASSERT_TRUE(board);
    BoardLayout layout{};
    MarkerCounts counts{};
    ASSERT_TRUE(ReadBoardLayout(board.get(), layout, &counts));
    EXPECT_EQ(counts.blue, 144);
    EXPECT_EQ(counts.yellow, 121);
    EXPECT_EQ(counts.green, 2);
    EXPECT_EQ(counts.red, 6);
    EXPECT_EQ(counts.cyan, 3);
    // Anchors lie inside their squares.
    for (int row = 0; row < kBoardSize; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            const CellGeometry& c = layout.cells[row][column];
            EXPECT_GT(c.anchorX, 0);
            EXPECT_LT(c.anchorX, c.right - c.left);
            EXPECT_GT(c.anchorY, 0);
            EXPECT_LT(c.anchorY, c.bottom - c.top);
        }
}

TEST(BoardScan, RefusesABoardWhoseMarkersDoNotAddUp) {
    struct Damage {
        COLORREF marker;
        const char* what;
    };
    for (const Damage& d :
         {Damage{kMarkerBlue, "a grid point missing"}, Damage{kMarkerYellow, "an anchor missing"},
          Damage{kMarkerGreen, "the glow origin missing"},
          Damage{kMarkerRed, "a menu point missing"}}) {
        GraphicPtr board = ShippedBoard();
        ASSERT_TRUE(board);
        LONG x, y;
        ASSERT_TRUE(Find(board.get(), d.marker, &x, &y)) << d.what;
        board->SetPixelValue(x, y, board->GetPixelValue(x + 1, y));
        BoardLayout layout{};
        EXPECT_FALSE(ReadBoardLayout(board.get(), layout)) << d.what;
    }
    // One red marker too many.
    GraphicPtr board = ShippedBoard();
    LONG x, y;
    ASSERT_TRUE(Find(board.get(), kMarkerRed, &x, &y));
    board->SetPixelValue(x, y + 150, board->GetPixelValue(x, y));
    BoardLayout layout{};
    EXPECT_FALSE(ReadBoardLayout(board.get(), layout));
    // Without any cyan the scan still works: only tutorial points are missing.
    board = ShippedBoard();
    while (Find(board.get(), kMarkerCyan, &x, &y))
        board->SetPixelValue(x, y, board->GetPixelValue(x + 1, y));
    layout = BoardLayout{};
    EXPECT_TRUE(ReadBoardLayout(board.get(), layout));
    EXPECT_EQ(layout.tutorialPointCount, 0);
}

TEST(BoardScan, APaletteWithoutAMarkerColourHasNoSuchMarkers) {
    // Entry 0 is ordinary black here and there is no cyan at all: black pixels must not be
    // taken for cyan markers (the nearest-entry answer would say 0).
    RGBQUAD colors[256] = {};
    colors[1] = RGBQUAD{255, 0, 0, 0}; // blue (the quad is blue, green, red)
    auto* g = new (MM("GRAPHIC")) Graphic(4, 2, 8, colors);
    GraphicPtr picture(g);
    BoardLayout layout{};
    MarkerCounts counts{};
    EXPECT_FALSE(ReadBoardLayout(picture.get(), layout, &counts));
    EXPECT_EQ(counts.cyan, 0);
    EXPECT_EQ(counts.green, 0);
    EXPECT_EQ(counts.blue, 0);
}

// A piece sheet made here: eleven bands of eleven 3 x 3 pieces (grey with a yellow foot point
// at the bottom middle) on blue, the bands `gap` rows apart, the last touching the bottom.
class Sheet {
public:
    static constexpr BYTE kBlue = 0, kGrey = 1, kYellow = 2;
    explicit Sheet(bool footPoints = true, int bands = 11) {
        RGBQUAD colors[256] = {};
        colors[kBlue] = RGBQUAD{255, 0, 0, 0};
        colors[kGrey] = RGBQUAD{128, 128, 128, 0};
        colors[kYellow] = RGBQUAD{0, 255, 255, 0};
        const LONG height = 2 + 5 * (bands - 1) + 3;
        graphic_ = new (MM("GRAPHIC")) Graphic(11 * 5, height, 8, colors);
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < 55; ++x)
                graphic_->SetPixelValue(x, y, kBlue);
        for (int band = 0; band < bands; ++band)
            for (int column = 0; column < 11; ++column) {
                const LONG left = 5 * column + 1, top = 2 + 5 * band;
                for (LONG y = 0; y < 3; ++y)
                    for (LONG x = 0; x < 3; ++x)
                        graphic_->SetPixelValue(left + x, top + y, kGrey);
                if (footPoints) graphic_->SetPixelValue(left + 1, top + 2, kYellow);
            }
    }
    ~Sheet() { MemDelete(graphic_, MM("GRAPHIC")); }
    Graphic* get() { return graphic_; }

private:
    Graphic* graphic_;
};

void FreeImages(BoardLayout& layout) {
    for (auto& row : layout.cells)
        for (CellGeometry& cell : row)
            for (Graphic*& image : cell.image) {
                MemDelete(image, MM("GRAPHIC"));
                image = nullptr;
            }
}

TEST(PieceSheet, ReadsEveryBandDownToTheBottomEdge) {
    Sheet sheet;
    BoardLayout layout{};
    ASSERT_TRUE(ReadPieceSheet(sheet.get(), 1, layout));
    for (int band = 0; band < 11; ++band)
        for (int column = 0; column < 11; ++column) {
            const CellGeometry& cell = layout.cells[10 - band][column];
            ASSERT_NE(cell.image[1], nullptr);
            RECT r;
            cell.image[1]->GetRectInParent(&r);
            EXPECT_EQ(r.left, 5 * column + 1);
            EXPECT_EQ(r.right, 5 * column + 4) << "one past the last column";
            EXPECT_EQ(r.top, 2 + 5 * band);
            EXPECT_EQ(r.bottom, 5 + 5 * band) << "band " << band;
            EXPECT_EQ(cell.hotX, 1);
            EXPECT_EQ(cell.hotY, 2);
            EXPECT_EQ(cell.image[0], nullptr);
        }
    EXPECT_EQ(layout.box.width, 3);
    EXPECT_EQ(layout.box.height, 3);
    // The foot points were erased.
    LONG x, y;
    EXPECT_FALSE(Find(sheet.get(), kMarkerYellow, &x, &y));
    FreeImages(layout);
}

TEST(PieceSheet, FailsWithoutFootPointsOrBands) {
    {
        Sheet sheet(false);
        BoardLayout layout{};
        EXPECT_FALSE(ReadPieceSheet(sheet.get(), 0, layout));
        FreeImages(layout);
    }
    {
        Sheet sheet(true, 10);
        BoardLayout layout{};
        EXPECT_FALSE(ReadPieceSheet(sheet.get(), 0, layout)) << "a band is missing";
        FreeImages(layout);
    }
}

class SquareLookup : public ::testing::Test {
protected:
    void SetUp() override {
        board_ = ShippedBoard();
        ASSERT_TRUE(board_);
        ASSERT_TRUE(ReadBoardLayout(board_.get(), layout_));
    }
    GraphicPtr board_;
    BoardLayout layout_{};
};

TEST_F(SquareLookup, PointsOnAboveAndBesideTheBoard) {
    const CellGeometry& top = layout_.cells[10][5];
    const LONG midX = (top.left + top.right) / 2;
    EXPECT_EQ(SquareAtPoint(layout_, midX, top.top + 3, false), SquareAt(10, 5));
    EXPECT_EQ(SquareAtPoint(layout_, midX, top.top - 5, false), SquareAt(10, 5));
    EXPECT_EQ(SquareAtPoint(layout_, midX, top.top - 11, false), kNoSquare);
    EXPECT_EQ(SquareAtPoint(layout_, midX, top.top - 11, true), SquareAt(10, 5));
    EXPECT_EQ(SquareAtPoint(layout_, midX, 0, true), SquareAt(10, 5));
    // Beside a row: its outermost column; below the board: row 0.
    const CellGeometry& low = layout_.cells[2][0];
    EXPECT_EQ(SquareAtPoint(layout_, 239, low.top + 2, false), SquareAt(2, 10));
    EXPECT_EQ(SquareAtPoint(layout_, 0, low.top + 2, false), SquareAt(2, 0));
    EXPECT_EQ(SquareAtPoint(layout_, low.right - 1, low.top, false), SquareAt(2, 0));
    EXPECT_EQ(SquareAtPoint(layout_, low.right, low.top, false), SquareAt(2, 1));
    EXPECT_EQ(SquareAtPoint(layout_, midX, 293, false), SquareAt(0, 5));
    // Every square's own middle finds it.
    for (int row = 0; row < kBoardSize; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            const CellGeometry& c = layout_.cells[row][column];
            EXPECT_EQ(SquareAtPoint(layout_, (c.left + c.right) / 2, (c.top + c.bottom) / 2, false),
                      SquareAt(row, column));
        }
}

TEST_F(SquareLookup, TheTutorialsBoardEndsAtRowFour) {
    const CellGeometry& row4 = layout_.cells[4][3];
    EXPECT_EQ(SquareAtPoint(layout_, row4.left + 2, row4.top - 10, false, 5), SquareAt(4, 3));
    EXPECT_EQ(SquareAtPoint(layout_, row4.left + 2, row4.top - 11, false, 5), kNoSquare);
    EXPECT_EQ(SquareAtPoint(layout_, row4.left + 2, layout_.cells[9][3].top, false, 5), kNoSquare);
    EXPECT_EQ(SquareAtPoint(layout_, row4.left + 2, layout_.cells[9][3].top, true, 5),
              SquareAt(4, 3));
}

} // namespace
