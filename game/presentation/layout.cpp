#include "game/presentation/layout.h"

#include "foundation/memory.h"

#include <algorithm>

namespace {

// The pixel value of a marker colour in this picture. A paletted picture without that exact
// colour has no such markers at all: the nearest-entry answer would turn ordinary pixels into
// markers.
bool MarkerValue(Graphic* picture, COLORREF colour, DWORD* value) {
    *value = picture->ColorToValue(colour);
    return picture->GetBitsPerPixel() > 8 || picture->ValueToColor(*value) == colour;
}

// The marker colours of one picture as its pixel values.
struct Markers {
    static constexpr int kMost = 5;
    DWORD value[kMost];
    bool present[kMost];
    int count;

    Markers(Graphic* picture, const COLORREF* colours, int n) : count(std::min(n, kMost)) {
        for (int i = 0; i < count; ++i)
            present[i] = MarkerValue(picture, colours[i], &value[i]);
    }
    // The index of the marker colour `v` is, or -1.
    int Find(DWORD v) const {
        for (int i = 0; i < count; ++i)
            if (present[i] && value[i] == v) return i;
        return -1;
    }
};

// Overwrites a marker so that it never shows: with the first pixel to its right that is no
// marker (adjacent markers would otherwise hand their colour on), else with its left neighbour.
void EraseMarker(Graphic* picture, const Markers& markers, LONG x, LONG y) {
    const LONG width = picture->GetWidth();
    for (LONG right = x + 1; right < width; ++right) {
        const DWORD v = picture->GetPixelValue(right, y);
        if (markers.Find(v) < 0) {
            picture->SetPixelValue(x, y, v);
            return;
        }
    }
    if (x > 0) picture->SetPixelValue(x, y, picture->GetPixelValue(x - 1, y));
}

enum { kGreen, kBlue, kYellow, kRed, kCyan };
constexpr COLORREF kBoardMarkers[5] = {kMarkerGreen, kMarkerBlue, kMarkerYellow, kMarkerRed,
                                       kMarkerCyan};

} // namespace

bool ReadBoardLayout(Graphic* board, BoardLayout& layout, MarkerCounts* counts) {
    MarkerCounts n{};
    if (counts) *counts = n;
    if (!board || !board->IsLoaded()) return false;
    const Markers markers(board, kBoardMarkers, 5);
    const LONG width = board->GetWidth(), height = board->GetHeight();
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const int kind = markers.Find(board->GetPixelValue(x, y));
            if (kind < 0) continue;
            switch (kind) {
            case kGreen:
                if (n.green == 0) layout.glowOrigin = {x, y};
                if (n.green == 1) layout.bannerPoint = {x, y};
                ++n.green;
                break;
            case kBlue: {
                // Grid points, twelve to a grid line, top line first.
                const int r = n.blue / 12, c = n.blue % 12;
                ++n.blue;
                if (r > 11) break;
                if (r < 11 && c < 11) {
                    CellGeometry& cell = layout.cells[10 - r][c];
                    cell.left = x;
                    cell.top = y;
                }
                if (r < 11 && c > 0) layout.cells[10 - r][c - 1].right = x;
                if (r > 0 && c < 11) layout.cells[11 - r][c].bottom = y;
                break;
            }
            case kYellow: {
                // An anchor belongs to the row whose top grid line has been read completely.
                const int r = n.blue / 12, j = n.yellow++;
                if (r >= 1 && r <= 11) {
                    CellGeometry& cell = layout.cells[11 - r][j % 11];
                    cell.anchorX = x - cell.left;
                    cell.anchorY = y - cell.top;
                }
                break;
            }
            case kRed:
                if (n.red < kMenuPointCount) layout.menuPoints[n.red] = {x, y};
                ++n.red;
                break;
            case kCyan:
                if (n.cyan < kTutorialPointCount) layout.tutorialPoints[n.cyan] = {x, y};
                ++n.cyan;
                break;
            }
            EraseMarker(board, markers, x, y);
        }
    }
    layout.tutorialPointCount = std::min(n.cyan, kTutorialPointCount);
    if (counts) *counts = n;
    return n.blue == 144 && n.yellow == 121 && n.green == 2 && n.red == 6;
}

void RaisePieceBox(PieceBox& box, LONG width, LONG height, LONG hotX, LONG hotY) {
    box.width = std::max(box.width, width);
    box.height = std::max(box.height, height);
    box.hotX = std::max(box.hotX, hotX);
    box.hotY = std::max(box.hotY, hotY);
}

bool ReadPieceSheet(Graphic* sheet, int colourIndex, BoardLayout& layout) {
    if (!sheet || !sheet->IsLoaded()) return false;
    const COLORREF colours[2] = {kMarkerYellow, kMarkerBlue};
    const Markers markers(sheet, colours, 2);
    // Only the foot points are erased: the blue around them is the background.
    const Markers footPoints(sheet, colours, 1);
    const DWORD hotValue = markers.value[0], background = markers.value[1];
    const bool hasHot = markers.present[0], hasBackground = markers.present[1];
    const LONG width = sheet->GetWidth(), height = sheet->GetHeight();
    auto isBackground = [&](LONG x, LONG y) {
        return hasBackground && sheet->GetPixelValue(x, y) == background;
    };
    auto rowIsEmpty = [&](LONG y) {
        for (LONG x = 0; x < width; ++x)
            if (!isBackground(x, y)) return false;
        return true;
    };

    LONG y = 0;
    for (int band = 0; band < kBoardSize; ++band) {
        while (y < height && rowIsEmpty(y))
            ++y;
        if (y >= height) return false;
        const LONG first = y;
        LONG last = height; // one past the band's last row
        if (band < kBoardSize - 1) {
            last = first;
            while (last < height && !rowIsEmpty(last))
                ++last;
        }
        const int row = kBoardSize - 1 - band;
        LONG x = 0;
        for (int column = 0; column < kBoardSize; ++column) {
            while (x < width && isBackground(x, first))
                ++x;
            if (x >= width) return false;
            LONG left = x, right = x + 1; // right: one past the piece's last column
            bool found = false;
            LONG hotX = 0, hotY = 0;
            for (LONG yy = first; yy < last; ++yy) {
                while (left > 0 && !isBackground(left - 1, yy))
                    --left;
                LONG xx = left;
                while (xx < width && isBackground(xx, yy))
                    ++xx;
                for (; xx < width && !isBackground(xx, yy); ++xx) {
                    right = std::max(right, xx + 1);
                    if (hasHot && sheet->GetPixelValue(xx, yy) == hotValue) {
                        if (!found) hotX = xx, hotY = yy;
                        found = true;
                        EraseMarker(sheet, footPoints, xx, yy);
                    }
                }
            }
            if (!found) return false;
            const RECT rect{left, first, right, last};
            CellGeometry& cell = layout.cells[row][column];
            Graphic* image = new (MM("GRAPHIC")) Graphic(sheet, &rect);
            cell.image[colourIndex] = image;
            cell.hotX = hotX - left;
            cell.hotY = hotY - first;
            RaisePieceBox(layout.box, right - left, last - first, cell.hotX, cell.hotY);
            x = right;
        }
        y = last;
    }
    return true;
}

Square SquareAtPoint(const BoardLayout& layout, LONG x, LONG y, bool aboveAllowed, int rows) {
    rows = std::clamp(rows, 1, kBoardSize);
    const int topRow = rows - 1;
    const LONG boardTop = layout.cells[topRow][0].top;
    if (!aboveAllowed && y < boardTop - 10) return kNoSquare;
    int row = topRow;
    if (y >= boardTop) {
        row = 0;
        while (row < topRow && y < layout.cells[row][0].top)
            ++row;
    }
    int column = kBoardSize - 1;
    if (x < layout.cells[row][kBoardSize - 1].right) {
        column = 0;
        while (column < kBoardSize - 1 && layout.cells[row][column].right <= x)
            ++column;
    }
    return SquareAt(row, column);
}

RECT SquareRect(const BoardLayout& layout, Square square) {
    const CellGeometry& cell = Cell(layout, square);
    return RECT{cell.left, cell.top, cell.right, cell.bottom};
}

RECT PieceRect(const BoardLayout& layout, Square square) {
    const CellGeometry& cell = Cell(layout, square);
    const LONG left = cell.left + cell.anchorX - layout.box.hotX;
    const LONG top = cell.top + cell.anchorY - layout.box.hotY;
    return RECT{left, top, left + layout.box.width, top + layout.box.height};
}
