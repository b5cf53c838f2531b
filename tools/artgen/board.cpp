// The board and its lit versions. One scene function draws both, so a lit square copied over
// the board lines up with it pixel for pixel.
#include "tools/artgen/board_geometry.h"
#include "tools/artgen/pictures.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

constexpr int kScale = 4;

Point Bilinear(const Quad& q, float u, float w) {
    Point top{q.p[0].x + (q.p[1].x - q.p[0].x) * u, q.p[0].y + (q.p[1].y - q.p[0].y) * u};
    Point bottom{q.p[3].x + (q.p[2].x - q.p[3].x) * u, q.p[3].y + (q.p[2].y - q.p[3].y) * u};
    return {top.x + (bottom.x - top.x) * w, top.y + (bottom.y - top.y) * w};
}

std::vector<Point> SubQuad(const Quad& q, float u0, float w0, float u1, float w1) {
    return {Bilinear(q, u0, w0), Bilinear(q, u1, w0), Bilinear(q, u1, w1), Bilinear(q, u0, w1)};
}

bool IsGoal(int row, int column, int* player) {
    if (column < 4 || column > 6) return false;
    if (row == 10) return *player = 2, true; // blue's goal, far side
    if (row == 0) return *player = 1, true;  // red's goal, near side
    return false;
}

const Rgba kBackdropTop = Rgb(18, 21, 36);
const Rgba kBackdropBottom = Rgb(7, 8, 15);
const Rgba kGroove = Rgb(12, 13, 20);

// The face colour of a square before lighting.
Rgba SquareBase(int row, int column) {
    int player = 0;
    if (IsGoal(row, column, &player)) return player == 2 ? Rgb(44, 86, 178) : Rgb(170, 46, 52);
    // A faint chequer keeps the eye on the squares without fighting the pieces.
    return (row + column) % 2 ? Rgb(58, 64, 84) : Rgb(50, 56, 75);
}

// Light falling from above the far middle of the board, brighter near it.
float Lighting(Point p) {
    float dx = (p.x - 120) / 150, dy = (p.y - 70) / 260;
    return 1.18f - 0.45f * std::sqrt(dx * dx + dy * dy);
}

void DrawBackdrop(Canvas& c) {
    c.Fill(Linear({0, 0}, kBackdropTop, {0, kBoardHeight}, kBackdropBottom));
    // A soft pool of light behind the board.
    c.Fill(Radial({120, 150}, 150, Rgb(52, 62, 104, 0.55f), Rgb(52, 62, 104, 0), 0.9f));
}

void DrawTopBar(Canvas& c) {
    const float bottom = 30;
    Canvas shadow(c.Width(), c.Height(), c.Scale());
    shadow.FillRect(0, 0, kBoardWidth, bottom + 1, Solid(Rgb(0, 0, 0, 0.8f)));
    shadow.Blur(2.5f);
    c.Draw(shadow, 0, 1.5f);
    c.FillRect(0, 0, kBoardWidth, bottom,
               Linear({0, 0}, Rgb(46, 52, 78), {0, bottom}, Rgb(24, 27, 42)));
    c.FillRect(0, 0, kBoardWidth, 1, Solid(Rgb(86, 96, 136)));
    c.FillRect(0, bottom - 1, kBoardWidth, bottom, Solid(Rgb(70, 80, 118)));
    // Shallow sockets under the button row, so the buttons sit in the bar.
    for (int x : kMenuButtonX) {
        float x0 = x - 1.5f, y0 = kMenuButtonY - 1.5f;
        c.FillRoundRect(x0, y0, x0 + kButtonWidth + 3, y0 + kButtonHeight + 3, 3.5f,
                        Solid(Rgb(12, 14, 24, 0.55f)));
    }
}

void DrawBannerWell(Canvas& c) {
    const float y0 = kBannerY - 2, y1 = kBannerY + kBannerHeight + 2;
    c.FillRect(0, y0, kBoardWidth, y1, Linear({0, y0}, Rgb(4, 5, 10), {0, y1}, Rgb(12, 14, 24)));
    c.FillRect(0, y0, kBoardWidth, y0 + 1, Solid(Rgb(0, 0, 0, 0.9f)));
    c.FillRect(0, y1 - 1, kBoardWidth, y1, Solid(Rgb(60, 68, 100, 0.8f)));
}

void DrawSlab(Canvas& c) {
    const float e = 0.10f, depth = -0.42f;
    Point a = Project({-e, -e, 0}), b = Project({11 + e, -e, 0});
    Point far0 = Project({-e, 11 + e, 0}), far1 = Project({11 + e, 11 + e, 0});
    Point a2 = Project({-e, -e, depth}), b2 = Project({11 + e, -e, depth});
    // Shadow under the board on the backdrop.
    Canvas shadow(c.Width(), c.Height(), c.Scale());
    shadow.FillPolygon({far0, far1, b2, a2}, Solid(Rgb(0, 0, 0, 0.85f)));
    shadow.Blur(4);
    c.Draw(shadow, 0, 4);
    // Front edge of the slab.
    c.FillPolygon({a, b, b2, a2}, Linear(a, Rgb(74, 80, 108), a2, Rgb(26, 28, 42)));
    c.FillPolygon({a, b, Point{b.x, b.y + 1}, Point{a.x, a.y + 1}},
                  Solid(Rgb(150, 160, 200, 0.55f)));
    // The name, embossed in the middle of the front edge.
    TextStyle style{Face::kSansBold, 7.0f, 2.4f};
    const char* name = "TESSARK";
    float w = TextWidth(style, name) - style.tracking;
    Point origin{(a.x + b.x) / 2 - w / 2, (a.y + a2.y) / 2 + 2.6f};
    DrawText(c, style, {origin.x, origin.y - 0.5f}, name, Solid(Rgb(8, 9, 16, 0.8f)));
    DrawText(c, style, origin, name, Solid(Rgb(178, 188, 226, 0.85f)));
    // The rim around the squares.
    c.FillPolygon({far0, far1, b, a}, Linear(far0, Rgb(72, 78, 104), a, Rgb(92, 100, 132)));
    c.StrokePath({far0, far1, b, a}, 0.6f, Solid(Rgb(150, 160, 205, 0.5f)), true);
}

// The light of a lit square: warm and golden when faint, white at full strength.
Rgba GlowColour(float glow) {
    return Mix(Rgb(255, 206, 120), Rgb(255, 252, 242), glow * glow);
}

// How far a lit square's face goes towards the light at glow 0.2 ... 1 (levels 1 ... 5).
float GlowAmount(float glow) {
    return 0.04f + 0.94f * glow;
}

// A square: a tile a little below the rim with a bevel; `glow` 0 plain, up to 1 fully lit.
void DrawSquare(Canvas& c, int row, int column, float glow) {
    Quad q = SquareQuad(row, column);
    const float inset = 0.045f, bevel = 0.12f;
    Point centre = Bilinear(q, 0.5f, 0.5f);
    float light = Lighting(centre);
    Rgba base = SquareBase(row, column);
    Rgba face = Scale(base, light);
    Rgba hi = Mix(face, Rgb(220, 228, 255), 0.28f);
    Rgba lo = Scale(face, 0.58f);
    Rgba core = face;
    if (glow > 0) {
        // Lit squares glow from inside: brightest in the middle, the bevel a step behind.
        Rgba lamp = GlowColour(glow);
        float k = GlowAmount(glow);
        face = Mix(face, lamp, k * 0.85f);
        core = Mix(face, Rgb(255, 255, 250), 0.25f + 0.6f * glow);
        hi = Mix(hi, lamp, std::min(1.0f, k * 1.05f));
        lo = Mix(lo, lamp, k * 0.7f);
    }
    float o = inset, i0 = inset + bevel, i1 = 1 - inset - bevel, p = 1 - inset;
    // Bevel sides: top and left catch the light, bottom and right fall off.
    c.FillPolygon({Bilinear(q, o, o), Bilinear(q, p, o), Bilinear(q, i1, i0), Bilinear(q, i0, i0)},
                  Solid(hi));
    c.FillPolygon({Bilinear(q, o, o), Bilinear(q, i0, i0), Bilinear(q, i0, i1), Bilinear(q, o, p)},
                  Solid(Mix(hi, face, 0.45f)));
    c.FillPolygon({Bilinear(q, p, o), Bilinear(q, p, p), Bilinear(q, i1, i1), Bilinear(q, i1, i0)},
                  Solid(Mix(lo, face, 0.35f)));
    c.FillPolygon({Bilinear(q, o, p), Bilinear(q, i0, i1), Bilinear(q, i1, i1), Bilinear(q, p, p)},
                  Solid(lo));
    std::vector<Point> inner = SubQuad(q, i0, i0, i1, i1);
    if (glow > 0) {
        float r = std::abs(q.p[1].x - q.p[0].x) * 0.5f;
        c.FillPolygon(inner, Radial(centre, r, core, face, 0.85f));
        return;
    }
    // The face, with a soft gradient from its far edge.
    Point ft = Bilinear(q, 0.5f, i0), fb = Bilinear(q, 0.5f, i1);
    c.FillPolygon(inner, Linear(ft, Mix(face, hi, 0.25f), fb, Scale(face, 0.88f)));
}

// The whole scene; `level` 0 plain, 1..5 every square lit that much.
Canvas DrawScene(int level) {
    Canvas c(kBoardWidth, kBoardHeight, kScale);
    DrawBackdrop(c);
    DrawTopBar(c);
    DrawBannerWell(c);
    DrawSlab(c);
    // Grooves between the squares.
    Quad all{{{GridX(0, 0) + 0.5f, GridY(0) + 0.5f},
              {GridX(0, 11) + 0.5f, GridY(0) + 0.5f},
              {GridX(11, 11) + 0.5f, GridY(11) + 0.5f},
              {GridX(11, 0) + 0.5f, GridY(11) + 0.5f}}};
    std::vector<Point> plane{all.p[0], all.p[1], all.p[2], all.p[3]};
    float glow = level / 5.0f;
    c.FillPolygon(plane, Solid(level ? Mix(kGroove, GlowColour(glow), 0.6f * glow) : kGroove));
    for (int row = 0; row < kBoardSquares; ++row)
        for (int column = 0; column < kBoardSquares; ++column)
            DrawSquare(c, row, column, glow);
    if (level > 0) {
        // Light spilling out of the squares over their edges.
        Canvas bloom(c.Width(), c.Height(), kScale);
        bloom.FillPolygon(plane, Solid(GlowColour(glow)));
        bloom.Blur(3);
        c.Draw(bloom, 0, 0, Blend::kAdd, 0.06f + 0.14f * glow);
    } else {
        // A faint sheen across the board from the light above.
        c.FillPolygon(
            plane, Linear({60, 43}, Rgb(200, 210, 255, 0.07f), {180, 243}, Rgb(200, 210, 255, 0)),
            Blend::kAdd);
    }
    return c;
}

} // namespace

Rgba BoardBackdropColour() {
    return Rgb(8, 9, 16);
}

Rgba TileColour() {
    return Rgb(54, 60, 80);
}

Drawing BoardDrawing() {
    Canvas scene = DrawScene(0);
    RgbImage image = Flatten(scene.Resolve(), kBoardWidth, kBoardHeight, kBackdropBottom);
    // Markers in the order the game scans them does not matter here; only their places do.
    image.At(kGlowOriginX, kGlowOriginY) = kMarkerGreen;
    image.At(kBannerX, kBannerY) = kMarkerGreen;
    for (int x : kMenuButtonX)
        image.At(x, kMenuButtonY) = kMarkerRed;
    for (int x : kTutorialButtonX)
        image.At(x, kMenuButtonY) = kMarkerCyan;
    for (int r = 0; r < kGridLines; ++r)
        for (int c = 0; c < kGridLines; ++c)
            image.At(GridX(r, c), GridY(r)) = kMarkerBlue;
    for (int row = 0; row < kBoardSquares; ++row)
        for (int column = 0; column < kBoardSquares; ++column) {
            int x, y;
            AnchorPixel(row, column, &x, &y);
            image.At(x, y) = kMarkerYellow;
        }
    return {image, true};
}

Drawing GlowDrawing(int level) {
    Canvas scene = DrawScene(level);
    std::vector<Rgba> full = scene.Resolve();
    std::vector<Rgba> crop;
    for (int y = 0; y < kGlowHeight; ++y)
        for (int x = 0; x < kGlowWidth; ++x)
            crop.push_back(
                full[static_cast<size_t>(y + kGlowOriginY) * kBoardWidth + x + kGlowOriginX]);
    return {Flatten(crop, kGlowWidth, kGlowHeight, kBackdropBottom), true};
}

Drawing GoalStripDrawing() {
    const int w = 60, h = 18;
    Canvas c(w, h, kScale);
    c.Clear(kGroove);
    for (int i = 0; i < 3; ++i) {
        float x0 = i * 20.0f;
        Quad q{{{x0, 0}, {x0 + 20, 0}, {x0 + 20, h}, {x0, h}}};
        Rgba face = Rgb(44, 86, 178);
        Rgba hi = Mix(face, Rgb(220, 228, 255), 0.28f), lo = Scale(face, 0.58f);
        const float o = 0.045f, i0 = 0.16f, i1 = 0.84f, p = 0.955f;
        c.FillPolygon(
            {Bilinear(q, o, o), Bilinear(q, p, o), Bilinear(q, i1, i0), Bilinear(q, i0, i0)},
            Solid(hi));
        c.FillPolygon(
            {Bilinear(q, o, o), Bilinear(q, i0, i0), Bilinear(q, i0, i1), Bilinear(q, o, p)},
            Solid(Mix(hi, face, 0.45f)));
        c.FillPolygon(
            {Bilinear(q, p, o), Bilinear(q, p, p), Bilinear(q, i1, i1), Bilinear(q, i1, i0)},
            Solid(Mix(lo, face, 0.35f)));
        c.FillPolygon(
            {Bilinear(q, o, p), Bilinear(q, i0, i1), Bilinear(q, i1, i1), Bilinear(q, p, p)},
            Solid(lo));
        c.FillPolygon(SubQuad(q, i0, i0, i1, i1),
                      Linear({x0, 3}, Mix(face, hi, 0.25f), {x0, 15}, Scale(face, 0.88f)));
    }
    return {Flatten(c.Resolve(), w, h, kGroove), false};
}

} // namespace artgen
