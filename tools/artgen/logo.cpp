// The maker's logo (a tile tumbling in and settling face on, then the wordmark fading in) and
// the game's icon.
#include "tools/artgen/pictures.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace artgen {

namespace {

constexpr int kLogoWidth = 200, kFrameHeight = 100, kFrames = 20, kTumbleFrames = 13;
constexpr int kScale = 4;

struct Vec3 {
    float x, y, z;
};

Vec3 Rotate(Vec3 p, float ax, float ay, float az) {
    float c = std::cos(ax), s = std::sin(ax);
    p = {p.x, p.y * c - p.z * s, p.y * s + p.z * c};
    c = std::cos(ay), s = std::sin(ay);
    p = {p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
    c = std::cos(az), s = std::sin(az);
    return {p.x * c - p.y * s, p.x * s + p.y * c, p.z};
}

const Rgba kTileFace = Rgb(34, 62, 128);
const Rgba kTileEdge = Rgb(150, 178, 236);
const Rgba kTileSide = Rgb(22, 36, 76);

// Where the tile is at frame i: rotation, distance and drift, easing out to rest.
struct Pose {
    float ax, ay, az, distance, dx, dy;
};

Pose TilePose(int frame) {
    if (frame >= kTumbleFrames - 1) return {0, 0, 0, 0, 0, 0};
    float t = frame / float(kTumbleFrames - 1);
    float e = 1 - (1 - t) * (1 - t) * (1 - t);
    float k = 1 - e;
    return {2.9f * k, -1.7f * k, 0.9f * k, 520 * k, -70 * k, -30 * k};
}

void DrawTile(Canvas& c, const Pose& pose, float wordmark) {
    const float hw = 78, hh = 34, hd = 6, focal = 420;
    const Point centre{kLogoWidth / 2.0f, kFrameHeight / 2.0f};
    auto project = [&](Vec3 p) {
        Vec3 r = Rotate(p, pose.ax, pose.ay, pose.az);
        float z = r.z + focal + pose.distance;
        return Point{centre.x + pose.dx + r.x * focal / z, centre.y + pose.dy + r.y * focal / z};
    };
    // The six faces of the slab, each with its outward normal; z towards the viewer is -z.
    struct FaceDef {
        std::array<Vec3, 4> corners;
        Vec3 normal;
        bool front;
    };
    const FaceDef faces[6] = {
        {{{{-hw, -hh, -hd}, {hw, -hh, -hd}, {hw, hh, -hd}, {-hw, hh, -hd}}}, {0, 0, -1}, true},
        {{{{hw, -hh, hd}, {-hw, -hh, hd}, {-hw, hh, hd}, {hw, hh, hd}}}, {0, 0, 1}, false},
        {{{{-hw, -hh, hd}, {hw, -hh, hd}, {hw, -hh, -hd}, {-hw, -hh, -hd}}}, {0, -1, 0}, false},
        {{{{-hw, hh, -hd}, {hw, hh, -hd}, {hw, hh, hd}, {-hw, hh, hd}}}, {0, 1, 0}, false},
        {{{{-hw, -hh, hd}, {-hw, -hh, -hd}, {-hw, hh, -hd}, {-hw, hh, hd}}}, {-1, 0, 0}, false},
        {{{{hw, -hh, -hd}, {hw, -hh, hd}, {hw, hh, hd}, {hw, hh, -hd}}}, {1, 0, 0}, false},
    };
    const Vec3 light{-0.35f, -0.55f, -0.76f};
    struct Drawn {
        float depth;
        int index;
    };
    std::vector<Drawn> order;
    for (int i = 0; i < 6; ++i) {
        Vec3 n = Rotate(faces[i].normal, pose.ax, pose.ay, pose.az);
        // Visible when it faces the camera (looking along +z from z = -focal - distance).
        Vec3 p = Rotate(faces[i].corners[0], pose.ax, pose.ay, pose.az);
        Vec3 toCam{-p.x, -p.y, -(focal + pose.distance) - p.z};
        if (n.x * toCam.x + n.y * toCam.y + n.z * toCam.z <= 0) continue;
        float depth = 0;
        for (const Vec3& q : faces[i].corners)
            depth += Rotate(q, pose.ax, pose.ay, pose.az).z;
        order.push_back({depth, i});
    }
    std::sort(order.begin(), order.end(),
              [](const Drawn& a, const Drawn& b) { return a.depth > b.depth; });
    for (const Drawn& d : order) {
        const FaceDef& f = faces[d.index];
        Vec3 n = Rotate(f.normal, pose.ax, pose.ay, pose.az);
        float lambert = std::max(0.0f, n.x * light.x + n.y * light.y + n.z * light.z);
        std::vector<Point> pts;
        for (const Vec3& q : f.corners)
            pts.push_back(project(q));
        bool broad = d.index < 2;
        Rgba base = broad ? kTileFace : kTileSide;
        Rgba col = Scale(base, 0.45f + 0.85f * lambert);
        c.FillPolygon(pts, Solid(Mix(col, kTileEdge, broad ? 0.35f : 0.1f)));
        if (!broad) continue;
        // Inner panel of the broad faces, leaving a bevelled light rim.
        auto inner = [&](float x, float y) { return project({x, y, f.corners[0].z}); };
        const float m = 3.5f;
        std::vector<Point> panel;
        for (const Vec3& q : f.corners)
            panel.push_back(inner(q.x > 0 ? q.x - m : q.x + m, q.y > 0 ? q.y - m : q.y + m));
        Point top = inner(0, -hh), bottom = inner(0, hh);
        c.FillPolygon(panel, Linear(top, Mix(col, kTileEdge, 0.15f), bottom, Scale(col, 0.75f)));
        // A gloss across the upper left of the panel.
        c.FillPolygon({inner(-hw + m, -hh + m), inner(hw * 0.35f, -hh + m),
                       inner(-hw * 0.25f, hh - m), inner(-hw + m, hh - m)},
                      Solid(Rgb(200, 220, 255, 0.07f)), Blend::kAdd);
        // A fine gold line inside the rim.
        const float g = m + 3.5f;
        c.StrokePath({inner(-hw + g, -hh + g), inner(hw - g, -hh + g), inner(hw - g, hh - g),
                      inner(-hw + g, hh - g)},
                     0.7f, Solid(Scale(Rgb(226, 186, 104), 0.55f + 0.6f * lambert)), true);
        if (f.front && wordmark > 0) {
            TextStyle style{Face::kSerifBold, 33, 1.5f};
            const char* word = "Orvane";
            float w = TextWidth(style, word);
            Point origin{centre.x - w / 2, centre.y + 11.5f};
            Canvas text(c.Width(), c.Height(), c.Scale());
            DrawText(text, style, origin, word, Solid(Rgb(255, 255, 255)));
            Canvas shadow = text.Shifted(1, 1.5f);
            shadow.Tint(Rgb(4, 8, 26));
            shadow.Blur(1.2f);
            c.Draw(shadow, 0, 0, Blend::kOver, 0.85f * wordmark);
            // Gold letters, light at the top and deeper below.
            DrawText(c, style, origin, word,
                     Linear({0, centre.y - 12}, Rgb(255, 240, 184), {0, centre.y + 11},
                            Rgb(206, 150, 64)),
                     Blend::kOver, wordmark);
        }
    }
}

} // namespace

IndexedImage LogoPicture() {
    RgbImage all;
    all.width = kLogoWidth;
    all.height = kFrameHeight * kFrames;
    for (int i = 0; i < kFrames; ++i) {
        Canvas c(kLogoWidth, kFrameHeight, kScale);
        c.Clear(Rgb(0, 0, 0));
        float wordmark =
            i < kTumbleFrames ? 0 : (i - kTumbleFrames + 1) / float(kFrames - kTumbleFrames);
        if (wordmark > 0) {
            // A soft blue halo behind the resting tile; it fades out well inside the frame so
            // the frame's edges stay the window's black.
            Canvas halo(kLogoWidth, kFrameHeight, kScale);
            halo.FillRect(24, 18, kLogoWidth - 24, kFrameHeight - 18, Solid(Rgb(70, 110, 220)));
            halo.Blur(3);
            c.Draw(halo, 0, 0, Blend::kOver, 0.45f * wordmark);
        }
        DrawTile(c, TilePose(i), wordmark);
        RgbImage frame = Flatten(c.Resolve(), kLogoWidth, kFrameHeight, Rgb(0, 0, 0));
        all.pixels.insert(all.pixels.end(), frame.pixels.begin(), frame.pixels.end());
    }
    // Black stays exact so the frames melt into the black window.
    return Quantize(all, {Rgb8{0, 0, 0}}, true);
}

IconImage IconPicture(int size) {
    const int scale = 8;
    Canvas c(size, size, scale);
    float s = size / 32.0f;
    c.FillRoundRect(1 * s, 1 * s, 31 * s, 31 * s, 6 * s,
                    Linear({0, 0}, Rgb(46, 54, 86), {0, 32 * s}, Rgb(16, 18, 32)));
    c.FillRoundRect(1.5f * s, 1.5f * s, 30.5f * s, 6 * s, 4 * s, Solid(Rgb(255, 255, 255, 0.08f)));
    // A hint of the board below them: a few grid lines in perspective.
    const Rgba line = Rgb(140, 156, 214, 0.22f);
    for (float y : {12.0f, 18.0f, 25.0f})
        c.StrokeLine({3 * s, y * s}, {29 * s, y * s}, 0.7f * s, Solid(line));
    for (float x : {6.0f, 12.0f, 18.0f, 24.0f})
        c.StrokeLine({(16 + (x - 16) * 0.8f) * s, 7 * s}, {(16 + (x - 16) * 1.2f) * s, 30 * s},
                     0.7f * s, Solid(line));
    // Two cubes, red behind and blue in front, as they meet on the board.
    auto cube = [&](float x, float y, float e, Rgba top, Rgba front, Rgba side) {
        float d = e * 0.45f;
        c.FillPolygon({{x, y + d}, {x + d, y}, {x + e + d, y}, {x + e, y + d}}, Solid(top));
        c.FillPolygon({{x + e, y + d}, {x + e + d, y}, {x + e + d, y + e}, {x + e, y + e + d}},
                      Solid(side));
        c.FillRect(x, y + d, x + e, y + e + d,
                   Linear({x, y + d}, front, {x, y + e + d}, Scale(front, 0.8f)));
    };
    cube(15 * s, 5.5f * s, 10 * s, Rgb(236, 92, 86), Rgb(180, 38, 44), Rgb(120, 24, 34));
    cube(4.5f * s, 12 * s, 12.5f * s, Rgb(98, 160, 246), Rgb(40, 90, 196), Rgb(26, 58, 138));
    std::vector<Rgba> px = c.Resolve();
    IconImage icon;
    icon.image = Flatten(px, size, size, Rgb(0, 0, 0));
    // Colours of the half-covered edge pixels are un-blended from black to keep them clean.
    for (int i = 0; i < size * size; ++i) {
        icon.alpha.push_back(static_cast<uint8_t>(
            std::lround(std::clamp(px[static_cast<size_t>(i)].a, 0.0f, 1.0f) * 255)));
        if (px[static_cast<size_t>(i)].a > 0)
            icon.image.pixels[static_cast<size_t>(i)] =
                ToRgb8(WithAlpha(px[static_cast<size_t>(i)], 1));
    }
    return icon;
}

} // namespace artgen
