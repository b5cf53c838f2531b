// The pieces: one cube per square, drawn through the board's camera so that each sits on its
// square in true perspective, and the explosion frames of a bursting cube.
#include "tools/artgen/board_geometry.h"
#include "tools/artgen/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace artgen {

namespace {

constexpr int kScale = 6;
constexpr float kSide = 0.70f;   // cube edge, in squares
constexpr float kHeight = 0.58f; // a little lower than wide: it reads as a cube from above
constexpr int kSheetWidth = 289, kSheetHeight = 307;
constexpr int kCellWidth = 35, kCellHeight = 50, kHotX = 14, kHotY = 32;

struct CubeColours {
    Rgba top, front, side, edge;
};

CubeColours Colours(int player) {
    if (player == 1)
        return {Rgb(226, 74, 70), Rgb(178, 38, 44), Rgb(124, 24, 34), Rgb(255, 196, 178)};
    return {Rgb(84, 146, 240), Rgb(40, 90, 196), Rgb(26, 58, 138), Rgb(196, 226, 255)};
}

Point Lerp(Point a, Point b, float t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// A point of a projected face quad (corners in order) at (u, w) in 0..1.
Point At(const Point q[4], float u, float w) {
    return Lerp(Lerp(q[0], q[1], u), Lerp(q[3], q[2], u), w);
}

// A face with a bevelled rim: `rim` is the colour of the outer band, lighter along the first
// edge (q[0] to q[1]).
void DrawFace(Canvas& c, const Point q[4], Rgba face, Rgba rim, Rgba shade, float bevel,
              Paint facePaint) {
    float b = bevel, e = 1 - bevel;
    c.FillPolygon({q[0], q[1], q[2], q[3]}, Solid(shade));
    c.FillPolygon({q[0], q[1], At(q, e, b), At(q, b, b)}, Solid(rim));
    c.FillPolygon({q[0], At(q, b, b), At(q, b, e), q[3]}, Solid(Mix(rim, face, 0.5f)));
    c.FillPolygon({q[1], q[2], At(q, e, e), At(q, e, b)}, Solid(Mix(shade, face, 0.5f)));
    (void)face;
    c.FillPolygon({At(q, b, b), At(q, e, b), At(q, e, e), At(q, b, e)}, facePaint);
}

Point Shift(Point p, Point by) {
    return {p.x + by.x, p.y + by.y};
}

// The visible faces of the cube on square-space centre (cx, cv), each as 4 screen points.
struct CubeFaces {
    Point top[4], front[4], side[4];
    bool hasSide = false;
    bool sideIsLeft = false;
};

CubeFaces Faces(float cx, float cv, Point shift) {
    float x0 = cx - kSide / 2, x1 = cx + kSide / 2, v0 = cv - kSide / 2, v1 = cv + kSide / 2;
    float h = kHeight;
    auto P = [&](float x, float v, float z) { return Shift(Project({x, v, z}), shift); };
    CubeFaces f;
    // Top: far edge first, so the rim's light band runs along the far edge.
    f.top[0] = P(x0, v1, h), f.top[1] = P(x1, v1, h), f.top[2] = P(x1, v0, h);
    f.top[3] = P(x0, v0, h);
    f.front[0] = P(x0, v0, h), f.front[1] = P(x1, v0, h), f.front[2] = P(x1, v0, 0);
    f.front[3] = P(x0, v0, 0);
    Point3 cam = CameraPosition();
    if (cam.x < x0 - 0.02f) {
        f.hasSide = true, f.sideIsLeft = true;
        f.side[0] = P(x0, v1, h), f.side[1] = P(x0, v0, h), f.side[2] = P(x0, v0, 0);
        f.side[3] = P(x0, v1, 0);
    } else if (cam.x > x1 + 0.02f) {
        f.hasSide = true;
        f.side[0] = P(x1, v0, h), f.side[1] = P(x1, v1, h), f.side[2] = P(x1, v1, 0);
        f.side[3] = P(x1, v0, 0);
    }
    return f;
}

// Draws the cube; `flash` 0..1 whitens it (the moment before it bursts).
void DrawCube(Canvas& c, float cx, float cv, Point shift, int player, float flash = 0) {
    CubeFaces f = Faces(cx, cv, shift);
    CubeColours k = Colours(player);
    Rgba white = Rgb(255, 250, 240);
    auto lit = [&](Rgba col) { return Mix(col, white, flash); };
    if (f.hasSide) {
        Rgba side = lit(k.side);
        DrawFace(c, f.side, side, Mix(side, k.edge, 0.25f), Scale(side, 0.75f), 0.16f, Solid(side));
    }
    Rgba front = lit(k.front);
    DrawFace(c, f.front, front, Mix(front, k.edge, 0.45f), Scale(front, 0.7f), 0.14f,
             Linear(f.front[0], front, f.front[3], Scale(front, 0.82f)));
    Rgba top = lit(k.top);
    // The top face catches the light: a soft highlight towards its far left corner.
    Point hot = At(f.top, 0.3f, 0.3f);
    float size = std::abs(f.top[1].x - f.top[0].x);
    DrawFace(c, f.top, top, lit(Mix(top, k.edge, 0.6f)), Scale(top, 0.8f), 0.14f,
             Radial(hot, size * 0.9f, lit(Mix(top, k.edge, 0.35f)), top, 0.7f));
    // A fine bright line where top and front meet.
    c.StrokeLine(f.top[3], f.top[2], 0.35f, Solid(lit(Mix(top, k.edge, 0.7f))));
}

struct Bounds {
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
};

Bounds CubeBounds(float cx, float cv) {
    Bounds b;
    for (float x : {cx - kSide / 2, cx + kSide / 2})
        for (float v : {cv - kSide / 2, cv + kSide / 2})
            for (float z : {0.0f, kHeight}) {
                Point p = Project({x, v, z});
                b.x0 = std::min(b.x0, p.x), b.y0 = std::min(b.y0, p.y);
                b.x1 = std::max(b.x1, p.x), b.y1 = std::max(b.y1, p.y);
            }
    return b;
}

bool IsKey(Rgb8 c) {
    return c == kTransparent;
}

// One cube cut out of its own small picture: `image` holds it with its screen position's
// integer origin (ox, oy).
struct CubeCut {
    RgbImage image;
    int ox = 0, oy = 0;
    int rows0 = 0, rows1 = 0, cols0 = 0, cols1 = 0; // opaque extent in image, inclusive
};

CubeCut RenderCube(int row, int column, int player) {
    Bounds b = CubeBounds(column + 0.5f, row + 0.5f);
    CubeCut cut;
    cut.ox = static_cast<int>(std::floor(b.x0)) - 1;
    cut.oy = static_cast<int>(std::floor(b.y0)) - 1;
    int w = static_cast<int>(std::ceil(b.x1)) - cut.ox + 2;
    int h = static_cast<int>(std::ceil(b.y1)) - cut.oy + 2;
    Canvas c(w, h, kScale);
    DrawCube(c, column + 0.5f, row + 0.5f,
             {-static_cast<float>(cut.ox), -static_cast<float>(cut.oy)}, player);
    cut.image = Flatten(c.Resolve(), w, h, TileColour(), &kTransparent);
    cut.rows0 = h, cut.rows1 = -1, cut.cols0 = w, cut.cols1 = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!IsKey(cut.image.At(x, y))) {
                cut.rows0 = std::min(cut.rows0, y), cut.rows1 = std::max(cut.rows1, y);
                cut.cols0 = std::min(cut.cols0, x), cut.cols1 = std::max(cut.cols1, x);
            }
    return cut;
}

[[noreturn]] void Fail(const char* what, int a, int b) {
    std::fprintf(stderr, "tessark-artgen: piece sheet: %s (%d, %d)\n", what, a, b);
    std::exit(1);
}

} // namespace

Drawing PieceSheetDrawing(int player) {
    RgbImage sheet;
    sheet.width = kSheetWidth;
    sheet.height = kSheetHeight;
    sheet.pixels.assign(static_cast<size_t>(kSheetWidth) * kSheetHeight, kTransparent);

    struct Band {
        std::vector<CubeCut> cubes;
        int top = 0, bottom = 0; // screen rows shared by all its cubes, inclusive
    };
    std::vector<Band> bands(kBoardSquares);
    int total = 0;
    for (int k = 0; k < kBoardSquares; ++k) {
        Band& band = bands[static_cast<size_t>(k)];
        int row = 10 - k;
        band.top = -100000, band.bottom = 100000;
        for (int column = 0; column < kBoardSquares; ++column) {
            band.cubes.push_back(RenderCube(row, column, player));
            const CubeCut& c = band.cubes.back();
            band.top = std::max(band.top, c.oy + c.rows0);
            band.bottom = std::min(band.bottom, c.oy + c.rows1);
        }
        total += band.bottom - band.top + 1;
    }
    // Bands one above the other, the slack spread between them and the last band ending on
    // the sheet's bottom edge.
    int slack = kSheetHeight - total;
    if (slack < kBoardSquares - 1) Fail("bands do not fit", total, kSheetHeight);
    int gap = slack / (kBoardSquares - 1);
    int y = slack - gap * (kBoardSquares - 1);
    for (int k = 0; k < kBoardSquares; ++k) {
        Band& band = bands[static_cast<size_t>(k)];
        int row = 10 - k;
        int height = band.bottom - band.top + 1;
        int widths = 0;
        for (const CubeCut& c : band.cubes)
            widths += c.cols1 - c.cols0 + 1;
        int xgap = (kSheetWidth - widths) / (kBoardSquares + 1);
        if (xgap < 1) Fail("band too wide", k, widths);
        int x = (kSheetWidth - widths - xgap * (kBoardSquares - 1)) / 2;
        for (int column = 0; column < kBoardSquares; ++column) {
            const CubeCut& c = band.cubes[static_cast<size_t>(column)];
            int width = c.cols1 - c.cols0 + 1;
            int firstRow = band.top - c.oy;
            for (int j = 0; j < height; ++j)
                for (int i = 0; i < width; ++i)
                    sheet.At(x + i, y + j) = c.image.At(c.cols0 + i, firstRow + j);
            // The reader moves on from a piece's right edge along the band's first row; keep
            // the first row short of the piece's rightmost column, so that this works whether
            // the edge is taken as the last column or one past it.
            auto lastSolid = [&](int j) {
                int last = -1;
                for (int i = 0; i < width; ++i)
                    if (!IsKey(sheet.At(x + i, y + j))) last = i;
                return last;
            };
            for (;;) {
                int rightmost = -1;
                for (int j = 1; j < height; ++j)
                    rightmost = std::max(rightmost, lastSolid(j));
                int top = lastSolid(0);
                if (top < rightmost) break;
                if (top <= 0) Fail("first row too short", row, column);
                sheet.At(x + top, y) = kTransparent;
            }
            // The foot point, where the piece touches its square.
            Point foot = FootPoint(row, column);
            int hx = static_cast<int>(std::floor(foot.x)) - c.ox - c.cols0;
            int hy = static_cast<int>(std::floor(foot.y)) - band.top;
            if (hx < 0 || hx + 1 >= width || hy < 0 || hy >= height ||
                IsKey(sheet.At(x + hx, y + hy)) || IsKey(sheet.At(x + hx + 1, y + hy)))
                Fail("foot point outside its cube", row, column);
            sheet.At(x + hx, y + hy) = kMarkerYellow;
            // Every row of the cube is one run, so a reader walking runs keeps to this cube.
            for (int j = 0; j < height; ++j) {
                int runs = 0;
                bool in = false;
                for (int i = 0; i < width; ++i) {
                    bool solid = !IsKey(sheet.At(x + i, y + j));
                    if (solid && !in) ++runs;
                    in = solid;
                }
                if (runs != 1) Fail("cube row is not one run", row, column);
            }
            x += width + xgap;
        }
        y += height + gap;
    }
    return {sheet, false};
}

namespace {

// A small deterministic generator for the shards' scatter.
struct Lcg {
    uint32_t state;
    float Next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0f;
    }
};

// One frame of a cube bursting, 35 x 50, foot point at (kHotX, kHotY): it flashes white, a
// hot core swells, and the faces break into chunks that fly apart, tumble, fall and shrink.
RgbImage ExplosionFrame(int player, int frame) {
    Canvas c(kCellWidth, kCellHeight, kScale);
    // The cube of a middle square, moved so that its foot lands on the frame's hot point.
    const float cx = 5.5f, cv = 5.5f;
    Point foot = Project({cx, cv, 0});
    Point shift{kHotX + 0.5f - foot.x, kHotY + 0.5f - foot.y};
    CubeFaces f = Faces(cx, cv, shift);
    Point centre = At(f.front, 0.5f, 0.1f);
    CubeColours k = Colours(player);
    const Rgba hot = Rgb(255, 250, 228);
    if (frame <= 2) {
        DrawCube(c, cx, cv, shift, player, frame * 0.35f);
        return Flatten(c.Resolve(), kCellWidth, kCellHeight, TileColour(), &kTransparent);
    }
    // 0 at the burst, 1 at the last frame.
    const float st = (frame - 3) / 19.0f;
    // The core: a white-hot ball that swells over a few frames and sinks back.
    if (frame <= 10) {
        float ct = (frame - 3) / 7.0f;
        float r = 5.5f + 8 * std::sin(3.14159f * std::min(1.0f, ct * 1.4f)) * (1 - 0.5f * ct);
        c.FillEllipse(centre, r * 1.15f, r, Radial(centre, r, hot, Mix(k.edge, k.top, ct), 0.87f));
    }
    // Chunks: each visible face cut 2 x 2.
    Lcg rng{player == 1 ? 1234567u : 7654321u};
    const Point* faces[3] = {f.top, f.front, f.side};
    const Rgba colours[3] = {k.top, k.front, k.side};
    const float time = st * 1.1f + 0.08f;
    for (int fi = 0; fi < (f.hasSide ? 3 : 2); ++fi)
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) {
                const Point* q = faces[fi];
                Point corners[4] = {At(q, i / 2.0f, j / 2.0f), At(q, (i + 1) / 2.0f, j / 2.0f),
                                    At(q, (i + 1) / 2.0f, (j + 1) / 2.0f),
                                    At(q, i / 2.0f, (j + 1) / 2.0f)};
                Point mid{(corners[0].x + corners[2].x) / 2, (corners[0].y + corners[2].y) / 2};
                float dx = mid.x - centre.x, dy = mid.y - centre.y;
                float len = std::sqrt(dx * dx + dy * dy) + 0.6f;
                float speed = 11 + 6 * rng.Next();
                Point v{dx / len * speed + (rng.Next() - 0.5f) * 5,
                        dy / len * speed * 0.7f - 10 - 6 * rng.Next()};
                float spin = (rng.Next() - 0.5f) * 8;
                // Rough, not square: pull one corner in.
                int notch = static_cast<int>(rng.Next() * 4) % 4;
                Point p{mid.x + v.x * time, mid.y + v.y * time + 26 * time * time};
                float size = std::max(0.3f, 1.0f - 0.7f * st);
                float a = spin * time, ca = std::cos(a), sa = std::sin(a);
                std::vector<Point> pts;
                for (int n = 0; n < 4; ++n) {
                    float ox = corners[n].x - mid.x, oy = corners[n].y - mid.y;
                    float pull = n == notch ? 0.55f : 1.0f;
                    ox *= size * pull * 1.15f, oy *= size * pull * 1.15f;
                    pts.push_back({p.x + ox * ca - oy * sa, p.y + ox * sa + oy * ca});
                }
                Rgba col = Mix(colours[fi], hot, std::max(0.0f, 0.7f - 3 * st));
                col = Mix(col, Scale(colours[fi], 0.6f), std::max(0.0f, st - 0.4f));
                c.FillPolygon(pts, Solid(col));
                // A lit edge on each chunk keeps it reading as a solid piece.
                c.StrokeLine(pts[0], pts[1], 0.45f, Solid(Mix(col, k.edge, 0.6f)));
            }
    // Sparks on longer, faster paths.
    Lcg sparks{player == 1 ? 99u : 77u};
    for (int i = 0; i < 12; ++i) {
        float ang = sparks.Next() * 6.2832f, speed = 16 + 9 * sparks.Next();
        Point p{centre.x + std::cos(ang) * speed * time,
                centre.y + std::sin(ang) * speed * time * 0.8f - 5 * time + 20 * time * time};
        float r = 0.85f * (1 - st) + 0.25f;
        if (st < 0.8f) c.FillEllipse(p, r, r, Solid(Mix(hot, k.edge, st * 1.2f)));
    }
    return Flatten(c.Resolve(), kCellWidth, kCellHeight, TileColour(), &kTransparent);
}

} // namespace

Drawing ExplosionDrawing() {
    const int perRow = 6, w = kCellWidth * perRow, h = 400;
    RgbImage sheet;
    sheet.width = w;
    sheet.height = h;
    sheet.pixels.assign(static_cast<size_t>(w) * h, kTransparent);
    for (int cell = 0; cell < 48; ++cell) {
        if (cell == 23 || cell == 47) continue; // blank by layout
        int player = cell < 23 ? 1 : 2;
        RgbImage frame = ExplosionFrame(player, cell % 24);
        int x0 = kCellWidth * (cell % perRow), y0 = kCellHeight * (cell / perRow);
        for (int y = 0; y < kCellHeight; ++y)
            for (int x = 0; x < kCellWidth; ++x)
                sheet.At(x0 + x, y0 + y) = frame.At(x, y);
    }
    if (IsKey(sheet.At(kHotX - 1, kHotY))) Fail("hot point off the cube", kHotX, kHotY);
    sheet.At(kHotX, kHotY) = kMarkerYellow;
    return {sheet, false};
}

} // namespace artgen
