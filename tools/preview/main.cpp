// tessark-preview ASSETDIR OUT.bmp: one sheet that shows the game's generated pictures the way
// the game puts them together: the board with both sides' starting pieces standing on their
// anchors, a lit glow patch, the banner and the menu buttons in place; beside it the banner
// strips of both languages, every button face up and down, explosion frames of both colours;
// below, the logo's frames. The board's markers and the piece sheets are read by the same rules
// the game uses, so a sheet whose layout is off shows here as misplaced pieces (or a message).
// Exit 0 done, 1 an image is missing or unreadable (the sheet is still written with what was
// there), 2 bad usage.
#include "engine/cea_graphic.h"
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "tools/artgen/artgen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using artgen::Rgb8;
using artgen::RgbImage;

constexpr Rgb8 kKey{0, 0, 255};
bool g_missing = false;

std::vector<BYTE> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

// The picture a PSP (or zz-wrapped PSP) decodes to through the engine, as plain colours.
std::optional<RgbImage> Load(const std::filesystem::path& path, bool zz = false) {
    std::vector<BYTE> bytes = ReadFile(path);
    if (bytes.empty()) {
        std::fprintf(stderr, "tessark-preview: %s is missing\n", path.string().c_str());
        g_missing = true;
        return std::nullopt;
    }
    BYTE* expanded = nullptr;
    DWORD size = static_cast<DWORD>(bytes.size());
    const BYTE* data = bytes.data();
    if (zz) {
        if (!zzdecompress(&expanded, &size, bytes.data(), size)) {
            std::fprintf(stderr, "tessark-preview: %s is not a zz block\n", path.string().c_str());
            g_missing = true;
            return std::nullopt;
        }
        data = expanded;
    }
    auto* g = new (MM("GRAPHIC")) Graphic(data, size, kNoColor);
    std::optional<RgbImage> out;
    if (g->IsLoaded()) {
        out.emplace();
        out->width = g->GetWidth();
        out->height = g->GetHeight();
        out->pixels.resize(static_cast<size_t>(out->width) * out->height);
        for (int y = 0; y < out->height; ++y) {
            for (int x = 0; x < out->width; ++x) {
                COLORREF c = g->GetPixelColor(x, y);
                out->At(x, y) = Rgb8{GetRValue(c), GetGValue(c), GetBValue(c)};
            }
        }
    } else {
        std::fprintf(stderr, "tessark-preview: %s does not load\n", path.string().c_str());
        g_missing = true;
    }
    MemDelete(g, MM("GRAPHIC"));
    zzfree(expanded);
    return out;
}

// Copies a rectangle of `src` to (dx, dy) of `dst`, leaving out the transparent blue when keyed.
void Blit(RgbImage& dst, const RgbImage& src, int sx, int sy, int w, int h, int dx, int dy,
          bool keyed) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int fx = sx + x, fy = sy + y, tx = dx + x, ty = dy + y;
            if (fx < 0 || fy < 0 || fx >= src.width || fy >= src.height) continue;
            if (tx < 0 || ty < 0 || tx >= dst.width || ty >= dst.height) continue;
            Rgb8 c = src.At(fx, fy);
            if (keyed && c == kKey) continue;
            dst.At(tx, ty) = c;
        }
    }
}

void FillRect(RgbImage& dst, int x0, int y0, int x1, int y1, Rgb8 c) {
    for (int y = std::max(0, y0); y < std::min(dst.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(dst.width, x1); ++x)
            dst.At(x, y) = c;
}

// ---- The board's markers ------------------------------------------------------------------

struct Cell {
    int left = 0, top = 0, right = 0, bottom = 0, anchorX = 0, anchorY = 0;
};

struct Layout {
    Cell cells[11][11];
    std::vector<POINT> green, red, cyan;
};

// The marker scan: grid points (blue), anchors (yellow), glow origin and banner point (green),
// menu-button points (red), tutorial-button points (cyan); each marker is painted over with its
// right neighbour.
bool ScanBoard(RgbImage& board, Layout* layout, std::string* why) {
    int blue = 0, yellow = 0;
    for (int y = 0; y < board.height; ++y) {
        for (int x = 0; x < board.width; ++x) {
            Rgb8 c = board.At(x, y);
            if (!artgen::IsMarkerColour(c)) continue;
            board.At(x, y) = x + 1 < board.width ? board.At(x + 1, y) : Rgb8{};
            if (c == artgen::kMarkerGreen) {
                layout->green.push_back({x, y});
            } else if (c == artgen::kMarkerRed) {
                layout->red.push_back({x, y});
            } else if (c == artgen::kMarkerCyan) {
                layout->cyan.push_back({x, y});
            } else if (c == artgen::kMarkerBlue) {
                int r = blue / 12, col = blue % 12;
                ++blue;
                if (r > 11) continue;
                if (r < 11 && col < 11) {
                    layout->cells[10 - r][col].left = x;
                    layout->cells[10 - r][col].top = y;
                }
                if (r < 11 && col > 0) layout->cells[10 - r][col - 1].right = x;
                if (r > 0 && col < 11) layout->cells[11 - r][col].bottom = y;
            } else if (c == artgen::kMarkerYellow) {
                int r = blue / 12;
                if (r >= 1 && r <= 11 && yellow < 121) {
                    Cell& cell = layout->cells[11 - r][yellow % 11];
                    cell.anchorX = x - cell.left;
                    cell.anchorY = y - cell.top;
                }
                ++yellow;
            }
        }
    }
    if (blue != 144 || yellow != 121 || layout->green.size() != 2 || layout->red.size() != 6) {
        *why = "markers: " + std::to_string(blue) + " blue (144), " + std::to_string(yellow) +
               " yellow (121), " + std::to_string(layout->green.size()) + " green (2), " +
               std::to_string(layout->red.size()) + " red (6)";
        return false;
    }
    return true;
}

// ---- Piece sheets -------------------------------------------------------------------------

struct Piece {
    RECT rect{};
    POINT hot{};
};

// Reads a piece sheet band by band (band k holds board row 10 - k, columns left to right).
bool ReadPieceSheet(RgbImage& sheet, Piece pieces[11][11], std::string* why) {
    auto background = [&](int x, int y) { return sheet.At(x, y) == kKey; };
    auto rowEmpty = [&](int y) {
        for (int x = 0; x < sheet.width; ++x)
            if (!background(x, y)) return false;
        return true;
    };
    int y = 0;
    for (int k = 0; k < 11; ++k) {
        int first = y;
        while (first < sheet.height && rowEmpty(first))
            ++first;
        if (first >= sheet.height) {
            *why = "band " + std::to_string(k) + " not found";
            return false;
        }
        int height = 0;
        if (k == 10) {
            height = sheet.height - first;
        } else {
            while (first + height < sheet.height && !rowEmpty(first + height))
                ++height;
        }
        int x = 0;
        for (int c = 0; c < 11; ++c) {
            while (x < sheet.width && background(x, first))
                ++x;
            if (x >= sheet.width) {
                *why = "band " + std::to_string(k) + " has no piece " + std::to_string(c);
                return false;
            }
            int left = x, right = x + 1;
            bool hot = false;
            Piece& p = pieces[10 - k][c];
            for (int yy = first; yy < first + height; ++yy) {
                while (left > 0 && !background(left - 1, yy))
                    --left;
                int xx = left;
                while (xx < sheet.width && background(xx, yy))
                    ++xx;
                while (xx < sheet.width && !background(xx, yy)) {
                    if (sheet.At(xx, yy) == artgen::kMarkerYellow) {
                        p.hot = {xx, yy};
                        hot = true;
                        if (xx + 1 < sheet.width) sheet.At(xx, yy) = sheet.At(xx + 1, yy);
                    }
                    ++xx;
                }
                right = std::max(right, xx);
            }
            if (!hot) {
                *why = "piece " + std::to_string(c) + " of band " + std::to_string(k) +
                       " has no hot point";
                return false;
            }
            p.rect = {left, first, right, first + height};
            p.hot.x -= left;
            p.hot.y -= first;
            x = right;
        }
        y = first + height;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::UseCallerFlavour();
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessark-preview ASSETDIR OUT.bmp\n");
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    auto graphic = [&](int id) { return Load(dir / ("graphic_" + std::to_string(id) + ".psp")); };

    // Sheet: the board on the left, the parts on the right, the logo frames below.
    RgbImage sheet;
    sheet.width = 760;
    sheet.height = 560;
    sheet.pixels.assign(static_cast<size_t>(sheet.width) * sheet.height, Rgb8{48, 48, 56});

    auto board = graphic(1006);
    auto red = graphic(1015), blue = graphic(1014);
    auto stripsEn = graphic(1016), stripsEo = graphic(1017);
    auto buttons = graphic(1012);
    auto explosions = graphic(1013);
    std::optional<RgbImage> glow[5];
    for (int i = 0; i < 5; ++i)
        glow[i] = graphic(1007 + i);

    const int bx = 8, by = 8; // the board's place on the sheet
    std::string why;
    Layout layout;
    if (board && ScanBoard(*board, &layout, &why)) {
        Blit(sheet, *board, 0, 0, board->width, board->height, bx, by, false);
        // A lit patch: a light spot's ring around (row 6, column 5) at levels 1 to 5.
        const POINT origin = layout.green[0];
        for (int r = 4; r <= 8; ++r) {
            for (int c = 3; c <= 7; ++c) {
                int level = 5 - std::max(std::abs(r - 6), std::abs(c - 5)) * 2;
                if (level < 1 || !glow[level - 1]) continue;
                const Cell& cell = layout.cells[r][c];
                Blit(sheet, *glow[level - 1], cell.left - origin.x, cell.top - origin.y,
                     cell.right - cell.left, cell.bottom - cell.top, bx + cell.left, by + cell.top,
                     false);
            }
        }
        // The starting position, back to front as the layers order it.
        Piece redPieces[11][11], bluePieces[11][11];
        bool piecesOk = red && blue && ReadPieceSheet(*red, redPieces, &why) &&
                        ReadPieceSheet(*blue, bluePieces, &why);
        if (piecesOk) {
            std::vector<std::pair<int, int>> order; // (layer, square)
            for (int c = 1; c <= 9; ++c) {
                for (int r : {8, 2})
                    order.push_back({100 + 20 * r + 2 * std::abs(5 - c), r * 11 + c});
            }
            std::sort(order.rbegin(), order.rend());
            for (auto [layer, square] : order) {
                int r = square / 11, c = square % 11;
                const Piece& p = r == 8 ? redPieces[r][c] : bluePieces[r][c];
                const RgbImage& from = r == 8 ? *red : *blue;
                const Cell& cell = layout.cells[r][c];
                Blit(sheet, from, p.rect.left, p.rect.top, p.rect.right - p.rect.left,
                     p.rect.bottom - p.rect.top, bx + cell.left + cell.anchorX - p.hot.x,
                     by + cell.top + cell.anchorY - p.hot.y, true);
            }
        } else {
            std::fprintf(stderr, "tessark-preview: piece sheets: %s\n", why.c_str());
            g_missing = true;
        }
        // The banner and the menu buttons where the markers put them.
        if (stripsEn)
            Blit(sheet, *stripsEn, 0, 2 * 18, 240, 18, bx + layout.green[1].x,
                 by + layout.green[1].y, true);
        if (buttons) {
            for (int i = 0; i < 6; ++i)
                Blit(sheet, *buttons, 0, i * 21, 32, 21, bx + layout.red[static_cast<size_t>(i)].x,
                     by + layout.red[static_cast<size_t>(i)].y, true);
        }
    } else {
        if (board) std::fprintf(stderr, "tessark-preview: board: %s\n", why.c_str());
        g_missing = true;
        FillRect(sheet, bx, by, bx + 240, by + 294, Rgb8{0, 0, 0});
    }

    // Right: banner strips of both languages over a dark board-like ground, then the buttons
    // (all four columns) and explosion frames.
    const int px = 264;
    const Rgb8 ground{20, 18, 26};
    FillRect(sheet, px, 8, px + 488, 8 + 198, ground);
    if (stripsEn) Blit(sheet, *stripsEn, 0, 0, 240, 198, px, 8, true);
    if (stripsEo) Blit(sheet, *stripsEo, 0, 0, 240, 198, px + 248, 8, true);
    FillRect(sheet, px, 214, px + 136, 214 + 134, ground);
    if (buttons) Blit(sheet, *buttons, 0, 0, 128, 126, px + 4, 218, true);
    if (explosions) {
        // The first yellow pixel is the frames' hot point; it never shows.
        for (int y = 0, found = 0; y < explosions->height && !found; ++y)
            for (int x = 0; x < explosions->width && !found; ++x)
                if (explosions->At(x, y) == artgen::kMarkerYellow) {
                    explosions->At(x, y) = x > 0 ? explosions->At(x - 1, y) : Rgb8{};
                    found = 1;
                }
        const int frames[] = {0, 3, 6, 9, 12, 15, 18, 22, 24, 27, 30, 33, 36, 39, 42, 46};
        FillRect(sheet, px + 144, 214, px + 144 + 8 * 42 + 4, 214 + 2 * 54 + 4, ground);
        for (int i = 0; i < 16; ++i) {
            int f = frames[i];
            Blit(sheet, *explosions, 35 * (f % 6), 50 * (f / 6), 35, 50, px + 148 + (i % 8) * 42,
                 218 + (i / 8) * 54, true);
        }
    }

    // Below: the logo's 20 frames, ten to a row at half size.
    std::optional<RgbImage> logo = Load(dir / "logo_5000.zz", true);
    if (logo && logo->height >= 20) {
        const int fh = logo->height / 20, fw = logo->width;
        for (int i = 0; i < 20; ++i) {
            int ox = 8 + (i % 10) * (fw / 2 + 4), oy = 356 + (i / 10) * (fh / 2 + 4);
            for (int y = 0; y < fh / 2; ++y)
                for (int x = 0; x < fw / 2; ++x)
                    if (ox + x < sheet.width && oy + y < sheet.height)
                        sheet.At(ox + x, oy + y) = logo->At(x * 2, i * fh + y * 2);
        }
    }

    bool written = artgen::WriteBytes(argv[2], artgen::BmpBytes(sheet));
    MemExitCheck();
    if (!written) return 1;
    return g_missing ? 1 : 0;
}
