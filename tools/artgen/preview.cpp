// tessark-art-preview OUT.bmp: one sheet that shows the pictures as the game puts them
// together. Every picture comes from the program's own resources (the game's resource script
// is linked in), loaded through the engine into one palette group as the game loads them (a
// colour that finds no place there fails the run, after the sheet is written) and placed by
// the layout read from their markers:
// the board in English with the starting position, the buttons and a lit patch; the board in
// Esperanto in mid-game with a piece bursting and a button held; the logo frames; explosion
// frames of both colours; the goal strip, the button faces and the icon.
#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "platform/core/icon_internal.h"
#include "platform/resource.h"
#include "tools/artgen/artgen.h"
#include "tools/artgen/layout.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace artlayout;

namespace {

// Picture `id` as the program carries it, through the engine's resource constructor, added to
// the open `group`.
std::unique_ptr<Graphic> LoadResource(unsigned id, COLORREF transparent, PaletteGroup& group) {
    auto g =
        std::make_unique<Graphic>(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), transparent);
    if (!g->IsLoaded()) return nullptr;
    group.Add(g.get(), FALSE);
    return g;
}

struct Sheet {
    artgen::RgbImage image;
    Sheet(int w, int h, artgen::Rgb8 fill) {
        image.width = w, image.height = h;
        image.pixels.assign(static_cast<size_t>(w) * h, fill);
    }
    // Copies (sx, sy, w, h) of `src` to (x, y), leaving out its transparent colour.
    void Blit(Graphic& src, LONG x, LONG y, LONG sx, LONG sy, LONG w, LONG h) {
        COLORREF key = src.GetTransparency();
        for (LONG j = 0; j < h; ++j)
            for (LONG i = 0; i < w; ++i) {
                LONG dx = x + i, dy = y + j;
                if (dx < 0 || dy < 0 || dx >= image.width || dy >= image.height) continue;
                if (sx + i < 0 || sy + j < 0 || sx + i >= src.GetWidth() ||
                    sy + j >= src.GetHeight())
                    continue;
                COLORREF c = src.GetPixelColor(sx + i, sy + j);
                if (key != kNoColor && c == key) continue;
                image.At(dx, dy) = {GetRValue(c), GetGValue(c), GetBValue(c)};
            }
    }
    // Draws an icon (0xAARRGGBB) at (x, y), each pixel `scale` times as wide and high.
    void BlendIcon(const platform::wm::IconImage& icon, LONG x, LONG y, int scale) {
        for (int j = 0; j < icon.height * scale; ++j)
            for (int i = 0; i < icon.width * scale; ++i) {
                LONG dx = x + i, dy = y + j;
                if (dx < 0 || dy < 0 || dx >= image.width || dy >= image.height) continue;
                std::uint32_t c =
                    icon.argb[static_cast<size_t>(j / scale) * icon.width + i / scale];
                unsigned a = c >> 24;
                artgen::Rgb8& d = image.At(dx, dy);
                auto mix = [a](unsigned over, unsigned under) {
                    return static_cast<std::uint8_t>((over * a + under * (255 - a) + 127) / 255);
                };
                d = {mix(c >> 16 & 0xFF, d.r), mix(c >> 8 & 0xFF, d.g), mix(c & 0xFF, d.b)};
            }
    }
};

struct Pictures {
    std::unique_ptr<Graphic> board, glow[5], red, blue, frames, goal, strips[2], buttons;
    BoardLayout layout;
    PieceCut redCuts[11][11], blueCuts[11][11];
    POINT hot{};
};

int Fail(const std::string& what) {
    std::fprintf(stderr, "tessark-art-preview: %s\n", what.c_str());
    return 1;
}

// A board view: pieces[row][column] 0 empty, 1 red, 2 blue; glow levels; the banner strip
// (-1 none) of language `lang`; button `held` pressed (-1 none); a burst piece.
struct View {
    int pieces[11][11] = {};
    int glow[11][11] = {};
    int strip = -1, lang = 0, held = -1;
    int burstRow = -1, burstColumn = -1, burstFrame = 0, burstColour = 1;
};

void DrawView(Sheet& out, Pictures& p, const View& v, LONG ox, LONG oy) {
    out.Blit(*p.board, ox, oy, 0, 0, p.board->GetWidth(), p.board->GetHeight());
    const BoardLayout& L = p.layout;
    for (int r = 0; r < 11; ++r)
        for (int c = 0; c < 11; ++c) {
            int level = v.glow[r][c];
            if (level < 1 || level > 5) continue;
            const SquareRect& s = L.squares[r][c];
            out.Blit(*p.glow[level - 1], ox + s.left, oy + s.top, s.left - L.glowOrigin.x,
                     s.top - L.glowOrigin.y, s.right - s.left, s.bottom - s.top);
        }
    // Back to front: far rows first, and within a row the outer columns first.
    for (int r = 10; r >= 0; --r)
        for (int d = 5; d >= 0; --d)
            for (int c : {5 - d, 5 + d}) {
                if (d == 0 && c != 5) continue;
                if (c < 0 || c > 10 || (d == 0 && c == 5 && false)) continue;
                const SquareRect& s = L.squares[r][c];
                LONG fx = ox + s.left + s.anchorX, fy = oy + s.top + s.anchorY;
                int colour = v.pieces[r][c];
                if (colour) {
                    const PieceCut& cut = colour == 1 ? p.redCuts[r][c] : p.blueCuts[r][c];
                    Graphic& sheet = colour == 1 ? *p.red : *p.blue;
                    out.Blit(sheet, fx - cut.hotX, fy - cut.hotY, cut.rect.left, cut.rect.top,
                             cut.rect.right - cut.rect.left, cut.rect.bottom - cut.rect.top);
                }
                if (r == v.burstRow && c == v.burstColumn) {
                    int cell = v.burstFrame + (v.burstColour == 1 ? 0 : 24);
                    out.Blit(*p.frames, fx - p.hot.x, fy - p.hot.y, 35 * (cell % 6),
                             50 * (cell / 6), 35, 50);
                }
                if (d == 0) break;
            }
    if (p.strips[v.lang] && v.strip >= 0)
        out.Blit(*p.strips[v.lang], ox + L.bannerPoint.x, oy + L.bannerPoint.y, 0, 18 * v.strip,
                 240, 18);
    if (p.buttons)
        for (size_t i = 0; i < L.menuButtons.size() && i < 6; ++i) {
            int face = 4 * static_cast<int>(i) + 2 * v.lang + (v.held == static_cast<int>(i));
            out.Blit(*p.buttons, ox + L.menuButtons[i].x, oy + L.menuButtons[i].y, 32 * (face % 4),
                     21 * (face / 4), 32, 21);
        }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessark-art-preview OUT.bmp\n");
        return 2;
    }
    PaletteGroup group;
    if (!group.Open()) return Fail("the palette group does not open");
    ResetPaletteMergeFailures();
    Pictures p;
    std::string error;
    p.board = LoadResource(1006, kNoColor, group);
    if (!p.board) return Fail("picture 1006 (board) is not linked or does not load");
    if (!ScanBoard(*p.board, &p.layout, &error)) return Fail("board: " + error);
    for (int i = 0; i < 5; ++i) {
        p.glow[i] = LoadResource(1007 + i, kNoColor, group);
        if (!p.glow[i]) return Fail("glow picture " + std::to_string(1007 + i));
    }
    p.red = LoadResource(1015, kBlue, group);
    p.blue = LoadResource(1014, kBlue, group);
    if (!p.red || !p.blue) return Fail("a piece sheet (1014, 1015)");
    if (!ReadPieceSheet(*p.red, p.redCuts, &error) || !ReadPieceSheet(*p.blue, p.blueCuts, &error))
        return Fail("piece sheet: " + error);
    p.frames = LoadResource(1013, kBlue, group);
    if (!p.frames || !FindHotPoint(*p.frames, &p.hot)) return Fail("explosion frames (1013)");
    p.goal = LoadResource(1026, kNoColor, group);
    p.strips[0] = LoadResource(1016, kBlue, group);
    p.strips[1] = LoadResource(1017, kBlue, group);
    p.buttons = LoadResource(1012, kBlue, group);
    if (!p.goal || !p.strips[0] || !p.strips[1] || !p.buttons)
        return Fail("goal strip (1026), status strips (1016, 1017) or button faces (1012)");
    group.Close();
    const DWORD failures = GetPaletteMergeFailures();

    BYTE* logoBytes = nullptr;
    DWORD logoSize = 0;
    if (!zzloadresource(5000, &logoBytes, &logoSize)) return Fail("logo 5000 does not expand");
    std::unique_ptr<Graphic> logo = LoadGraphic(logoBytes, logoSize, kNoColor);
    zzfree(logoBytes);
    if (!logo) return Fail("the logo does not load");

    // The icon as a window's class loads it.
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1055));
    std::shared_ptr<const platform::wm::IconImage> iconImage =
        icon ? platform::wm::IconImageOf(icon) : nullptr;
    if (!iconImage || iconImage->width <= 0) return Fail("icon 1055 does not load");

    const int gap = 8;
    Sheet out(240 * 2 + 200 * 2 + gap * 5, 294 + 126 + gap * 3, {40, 42, 48});
    View start;
    for (int c = 1; c <= 9; ++c)
        start.pieces[8][c] = 1, start.pieces[2][c] = 2;
    start.glow[3][4] = 2, start.glow[3][5] = 3, start.glow[4][5] = 5, start.glow[5][5] = 4,
    start.glow[6][5] = 3, start.glow[7][5] = 2, start.glow[7][6] = 1;
    start.strip = 2;
    DrawView(out, p, start, gap, gap);

    View mid;
    const int red[][2] = {{8, 1}, {8, 2}, {7, 3}, {6, 5}, {8, 7}, {7, 8}, {5, 2}, {3, 6}, {1, 5}};
    const int blue[][2] = {{2, 1}, {3, 2}, {4, 4}, {5, 5}, {6, 6}, {2, 8}, {9, 5}, {10, 4}, {4, 7}};
    for (const auto& sq : red)
        mid.pieces[sq[0]][sq[1]] = 1;
    for (const auto& sq : blue)
        mid.pieces[sq[0]][sq[1]] = 2;
    mid.burstRow = 4, mid.burstColumn = 7, mid.burstFrame = 6, mid.burstColour = 1;
    mid.glow[4][4] = 3, mid.glow[4][5] = 3, mid.glow[4][6] = 3, mid.glow[4][7] = 5;
    mid.lang = 1, mid.held = 2, mid.strip = 7;
    DrawView(out, p, mid, 240 + 2 * gap, gap);

    // Logo frames: two columns of three.
    const int logoFrames[6] = {0, 5, 9, 12, 15, 19};
    for (int i = 0; i < 6; ++i)
        out.Blit(*logo, 480 + 3 * gap + (i / 3) * (200 + gap), gap + (i % 3) * 100, 0,
                 100 * logoFrames[i], 200, 100);
    // Explosion frames, every other one, red then blue.
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 12; ++i) {
            int cell = k * 24 + 2 * i;
            out.Blit(*p.frames, gap + 35 * i, 294 + 2 * gap + 50 * k, 35 * (cell % 6),
                     50 * (cell / 6), 35, 50);
        }
    out.Blit(*p.goal, 12 * 35 + 3 * gap, 294 + 2 * gap, 0, 0, 60, 18);
    out.Blit(*p.buttons, 12 * 35 + 4 * gap + 60, 294 + 2 * gap, 0, 0, 128, 126);
    // The icon at twice its size and at its own, over the sheet's background.
    const LONG iconX = 12 * 35 + 5 * gap + 60 + 128;
    out.BlendIcon(*iconImage, iconX, 294 + 2 * gap, 2);
    out.BlendIcon(*iconImage, iconX + 2 * iconImage->width + gap, 294 + 2 * gap, 1);
    DestroyIcon(icon);
    p = Pictures{};
    logo.reset();
    if (!artgen::WriteBytes(argv[1], artgen::BmpBytes(out.image))) return 1;
    if (failures) return Fail(std::to_string(failures) + " colours found no place in the palette");
    return 0;
}
