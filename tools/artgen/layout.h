// Reads the layout the game takes from its pictures, following the game's own rules: the
// board's marker scan, the piece sheets' bands and the explosion sheet's hot point. Used by the
// picture tests and the preview sheet to prove that the generated pictures read back right.
// Like the game, every marker read is overwritten (board and sheets: with the pixel to its
// right; explosion hot point: with the pixel to its left). Also the file reader and picture
// loader they share.
#pragma once

#include "engine/cea_graphic.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace artlayout {

// The whole file at `path`; empty when it cannot be read.
std::vector<BYTE> ReadWholeFile(const std::string& path);

// A picture (BMP or PSP bytes) loaded through the engine; null when the bytes are empty or do
// not load.
std::unique_ptr<Graphic> LoadGraphic(const void* data, std::size_t size, COLORREF transparent);
inline std::unique_ptr<Graphic> LoadGraphic(const std::vector<BYTE>& bytes, COLORREF transparent) {
    return LoadGraphic(bytes.data(), bytes.size(), transparent);
}

struct SquareRect {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    LONG anchorX = 0, anchorY = 0; // foot point relative to (left, top)
    bool hasAnchor = false;
};

struct BoardLayout {
    SquareRect squares[11][11]; // [row][column], row 0 at the bottom
    POINT glowOrigin{}, bannerPoint{};
    std::vector<POINT> menuButtons;     // every red marker, in scan order
    std::vector<POINT> tutorialButtons; // every cyan marker, in scan order
    int blue = 0, yellow = 0, green = 0, red = 0, cyan = 0;
    std::vector<POINT> yellowBeforeGrid; // yellow markers read before the first grid row
};

// The marker scan. False (with `error`) when the counts do not add up: 144 blue, 121 yellow,
// 2 green, 6 red.
bool ScanBoard(Graphic& board, BoardLayout* layout, std::string* error);

struct PieceCut {
    RECT rect{};             // in the sheet
    LONG hotX = 0, hotY = 0; // relative to the rectangle
};

// Reads a piece sheet (background blue, hot points yellow) into cuts[row][column]. False with
// `error` when a band or a piece or its hot point cannot be found.
bool ReadPieceSheet(Graphic& sheet, PieceCut cuts[11][11], std::string* error);

// The first yellow pixel in scan order, overwritten with its left neighbour's value.
bool FindHotPoint(Graphic& sheet, POINT* hot);

// Colour at (x, y) as red | green << 8 | blue << 16.
inline bool IsColour(Graphic& g, LONG x, LONG y, COLORREF c) {
    return g.GetPixelColor(x, y) == c;
}

constexpr COLORREF kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF, kRed = 0x0000FF,
                   kCyan = 0xFFFF00;

} // namespace artlayout
