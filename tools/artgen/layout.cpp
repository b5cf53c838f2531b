#include "tools/artgen/layout.h"

#include <cstdio>

namespace artlayout {

namespace {

std::string Text(const char* format, long a, long b = 0, long c = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

// Overwrites a marker with its right-hand neighbour, as the game does.
void EraseRight(Graphic& g, LONG x, LONG y) {
    if (x + 1 < g.GetWidth()) g.SetPixelValue(x, y, g.GetPixelValue(x + 1, y));
}

} // namespace

std::vector<BYTE> ReadWholeFile(const std::string& path) {
    std::vector<BYTE> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    BYTE buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    // A read error is no file at all, never a picture cut short.
    if (std::ferror(f)) bytes.clear();
    std::fclose(f);
    return bytes;
}

std::unique_ptr<Graphic> LoadGraphic(const void* data, std::size_t size, COLORREF transparent) {
    if (!data || size == 0 || size > 0xFFFFFFFFu) return nullptr;
    auto g = std::make_unique<Graphic>(data, static_cast<DWORD>(size), transparent);
    if (!g->IsLoaded()) return nullptr;
    return g;
}

bool ScanBoard(Graphic& board, BoardLayout* layout, std::string* error) {
    *layout = BoardLayout{};
    const LONG w = board.GetWidth(), h = board.GetHeight();
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            COLORREF c = board.GetPixelColor(x, y);
            if (c == kGreen) {
                if (layout->green == 0) layout->glowOrigin = {x, y};
                if (layout->green == 1) layout->bannerPoint = {x, y};
                ++layout->green;
            } else if (c == kBlue) {
                int k = layout->blue++;
                int r = k / 12, col = k % 12;
                if (r < 11 && col < 11) {
                    SquareRect& s = layout->squares[10 - r][col];
                    s.left = x, s.top = y;
                }
                if (r < 11 && col > 0) layout->squares[10 - r][col - 1].right = x;
                if (r > 0 && col < 11) layout->squares[11 - r][col].bottom = y;
            } else if (c == kYellow) {
                int j = layout->yellow++;
                int r = (layout->blue) / 12;
                if (r >= 1 && r <= 11) {
                    SquareRect& s = layout->squares[11 - r][j % 11];
                    s.anchorX = x - s.left, s.anchorY = y - s.top;
                    s.hasAnchor = true;
                } else {
                    layout->yellowBeforeGrid.push_back({x, y});
                }
            } else if (c == kRed) {
                layout->menuButtons.push_back({x, y});
                ++layout->red;
            } else if (c == kCyan) {
                layout->tutorialButtons.push_back({x, y});
                ++layout->cyan;
            } else {
                continue;
            }
            EraseRight(board, x, y);
        }
    if (layout->blue != 144 || layout->yellow != 121 || layout->green != 2 || layout->red != 6) {
        *error = Text("markers: %ld blue, %ld yellow, ", layout->blue, layout->yellow) +
                 Text("%ld green, %ld red", layout->green, layout->red);
        return false;
    }
    return true;
}

bool ReadPieceSheet(Graphic& sheet, PieceCut cuts[11][11], std::string* error) {
    const LONG w = sheet.GetWidth(), h = sheet.GetHeight();
    auto background = [&](LONG x, LONG y) { return sheet.GetPixelColor(x, y) == kBlue; };
    auto rowEmpty = [&](LONG y) {
        for (LONG x = 0; x < w; ++x)
            if (!background(x, y)) return false;
        return true;
    };
    LONG y = 0;
    for (int k = 0; k < 11; ++k) {
        while (y < h && rowEmpty(y))
            ++y;
        if (y >= h) return *error = Text("band %ld not found", k), false;
        LONG first = y, height;
        if (k == 10) {
            height = h - first;
        } else {
            LONG end = first;
            while (end < h && !rowEmpty(end))
                ++end;
            height = end - first;
        }
        LONG x = 0;
        for (int c = 0; c < 11; ++c) {
            while (x < w && background(x, first))
                ++x;
            if (x >= w) return *error = Text("band %ld: piece %ld not found", k, c), false;
            LONG left = x, right = x + 1; // right is one past the last column
            bool hot = false;
            LONG hotX = 0, hotY = 0;
            for (LONG yy = first; yy < first + height; ++yy) {
                while (left > 0 && !background(left - 1, yy))
                    --left;
                LONG xx = left;
                while (xx < w && background(xx, yy))
                    ++xx;
                for (; xx < w && !background(xx, yy); ++xx) {
                    if (xx + 1 > right) right = xx + 1;
                    if (sheet.GetPixelColor(xx, yy) == kYellow) {
                        if (!hot) hot = true, hotX = xx, hotY = yy;
                        EraseRight(sheet, xx, yy);
                    }
                }
            }
            if (!hot) return *error = Text("band %ld: piece %ld has no hot point", k, c), false;
            PieceCut& cut = cuts[10 - k][c];
            cut.rect = {left, first, right, first + height};
            cut.hotX = hotX - left;
            cut.hotY = hotY - first;
            x = right;
        }
        y = first + height;
    }
    return true;
}

bool FindHotPoint(Graphic& sheet, POINT* hot) {
    for (LONG y = 0; y < sheet.GetHeight(); ++y)
        for (LONG x = 0; x < sheet.GetWidth(); ++x)
            if (sheet.GetPixelColor(x, y) == kYellow) {
                if (x > 0) sheet.SetPixelValue(x, y, sheet.GetPixelValue(x - 1, y));
                *hot = {x, y};
                return true;
            }
    return false;
}

} // namespace artlayout
