// The board's screen geometry: every square's rectangle and foot point, the piece images cut
// for each square, and the points where the banner, the glow images and the buttons go. None
// of it is written in the program: it is read out of marker pixels painted into the board
// image and out of the piece sheets, so new pictures bring their own layout.
#pragma once

#include "engine/cea_graphic.h"
#include "game/rules/board.h"

// Marker colours of the pictures (red | green << 8 | blue << 16).
constexpr COLORREF kMarkerGreen = 0x00FF00;
constexpr COLORREF kMarkerBlue = 0xFF0000;
constexpr COLORREF kMarkerYellow = 0x00FFFF;
constexpr COLORREF kMarkerRed = 0x0000FF;
constexpr COLORREF kMarkerCyan = 0xFFFF00;

constexpr int kMenuPointCount = 6;
constexpr int kTutorialPointCount = 6;

// Index of a player's pictures: player 1 is red, player 2 blue.
inline constexpr int ColourIndex(int player) {
    return player == 1 ? 0 : 1;
}

struct CellGeometry {
    // The square on screen: left and top from its top-left grid point, right from its
    // top-right one, bottom from its bottom-left one (rows narrow towards the top).
    LONG left, top, right, bottom;
    // The square's piece per colour (ColourIndex), cut from the piece sheets.
    Graphic* image[2];
    // Where a piece standing here touches the board, relative to (left, top).
    LONG anchorX, anchorY;
    // The foot point inside this square's piece image.
    LONG hotX, hotY;
};

// One rectangle size for every piece object, big enough for any piece image and explosion
// frame once their foot points are lined up.
struct PieceBox {
    LONG width, height, hotX, hotY;
};

struct BoardLayout {
    CellGeometry cells[kBoardSize][kBoardSize]; // [row][column]
    PieceBox box;
    POINT glowOrigin;
    POINT bannerPoint;
    POINT menuPoints[kMenuPointCount];
    POINT tutorialPoints[kTutorialPointCount];
    int tutorialPointCount;
};

// What the marker scan found, for its callers' diagnostics.
struct MarkerCounts {
    int green, blue, yellow, red, cyan;
};

// The marker scan of the board image: fills the layout's squares, anchors and points and
// overwrites every marker pixel with the pixel to its right, so none is ever shown. False when
// the markers do not add up (144 blue, 121 yellow, 2 green, 6 red).
bool ReadBoardLayout(Graphic* board, BoardLayout& layout, MarkerCounts* counts = nullptr);

// Reads a piece sheet (eleven bands of eleven pieces on the blue background, each with one
// yellow foot point) into the layout's images for one colour, cutting a child graphic per
// piece and raising the piece box. False when a band, a piece or a foot point is missing;
// pieces cut so far stay in the layout.
bool ReadPieceSheet(Graphic* sheet, int colourIndex, BoardLayout& layout);

// Raises the piece box to hold an image of this size whose foot point is (hotX, hotY).
void RaisePieceBox(PieceBox& box, LONG width, LONG height, LONG hotX, LONG hotY);

// The square under (x, y) on a board of `rows` rows (11, or 5 in the tutorial), or kNoSquare
// when the point lies more than 10 pixels above the top row and `aboveAllowed` is false.
Square SquareAtPoint(const BoardLayout& layout, LONG x, LONG y, bool aboveAllowed,
                     int rows = kBoardSize);

inline const CellGeometry& Cell(const BoardLayout& layout, Square square) {
    return layout.cells[RowOf(square)][ColumnOf(square)];
}
RECT SquareRect(const BoardLayout& layout, Square square);
// The rectangle of a piece object standing on the square (the piece box with its foot point on
// the square's anchor).
RECT PieceRect(const BoardLayout& layout, Square square);
