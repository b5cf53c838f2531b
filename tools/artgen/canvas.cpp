// The supersampled canvas: shapes are filled sample by sample (binary coverage at the sample
// centre), so edges get their smoothness from the final box filter in Resolve.
#include "tools/artgen/artgen.h"

#include <algorithm>
#include <cmath>

namespace artgen {

Rgba Rgb(int r, int g, int b, float a) {
    return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}

Rgba Mix(Rgba a, Rgba b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

Rgba Scale(Rgba c, float k) {
    return {c.r * k, c.g * k, c.b * k, c.a};
}

Rgba WithAlpha(Rgba c, float a) {
    c.a = a;
    return c;
}

Paint Solid(Rgba c) {
    return [c](float, float) { return c; };
}

Paint Linear(Point p0, Rgba c0, Point p1, Rgba c1) {
    float dx = p1.x - p0.x, dy = p1.y - p0.y;
    float len2 = dx * dx + dy * dy;
    if (len2 <= 0) return Solid(c0);
    return [=](float x, float y) {
        float t = ((x - p0.x) * dx + (y - p0.y) * dy) / len2;
        return Mix(c0, c1, t);
    };
}

Paint Radial(Point centre, float radius, Rgba inner, Rgba outer, float yScale) {
    if (radius <= 0) return Solid(outer);
    if (yScale <= 0) yScale = 1;
    return [=](float x, float y) {
        float dx = x - centre.x, dy = (y - centre.y) / yScale;
        return Mix(inner, outer, std::sqrt(dx * dx + dy * dy) / radius);
    };
}

Canvas::Canvas(int width, int height, int scale)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), scale_(std::max(scale, 1)),
      samples_(static_cast<size_t>(width_) * scale_ * height_ * scale_) {}

Rgba Canvas::Sample(int px, int py) const {
    if (px < 0 || py < 0 || px >= PixelWidth() || py >= PixelHeight()) return {};
    return samples_[static_cast<size_t>(py) * PixelWidth() + px];
}

void Canvas::SetSample(int px, int py, Rgba premultiplied) {
    if (px < 0 || py < 0 || px >= PixelWidth() || py >= PixelHeight()) return;
    samples_[static_cast<size_t>(py) * PixelWidth() + px] = premultiplied;
}

void Canvas::Clear(Rgba c) {
    Rgba p{c.r * c.a, c.g * c.a, c.b * c.a, c.a};
    std::fill(samples_.begin(), samples_.end(), p);
}

void Canvas::PutSample(int px, int py, Rgba c, float coverage, Blend blend) {
    if (px < 0 || py < 0 || px >= PixelWidth() || py >= PixelHeight()) return;
    Rgba& d = samples_[static_cast<size_t>(py) * PixelWidth() + px];
    float a = std::clamp(c.a * coverage, 0.0f, 1.0f);
    if (a <= 0) return;
    switch (blend) {
    case Blend::kOver:
        d.r = c.r * a + d.r * (1 - a);
        d.g = c.g * a + d.g * (1 - a);
        d.b = c.b * a + d.b * (1 - a);
        d.a = a + d.a * (1 - a);
        break;
    case Blend::kAdd:
        d.r += c.r * a;
        d.g += c.g * a;
        d.b += c.b * a;
        d.a = std::min(1.0f, d.a + a);
        break;
    case Blend::kMultiply:
        d.r *= 1 - a + a * c.r;
        d.g *= 1 - a + a * c.g;
        d.b *= 1 - a + a * c.b;
        break;
    }
}

void Canvas::Fill(const Paint& paint, Blend blend, float opacity) {
    float inv = 1.0f / scale_;
    for (int py = 0; py < PixelHeight(); ++py)
        for (int px = 0; px < PixelWidth(); ++px)
            PutSample(px, py, paint((px + 0.5f) * inv, (py + 0.5f) * inv), opacity, blend);
}

void Canvas::Cover(const std::vector<std::vector<Point>>& contours, const Paint& paint, Blend blend,
                   float opacity) {
    float inv = 1.0f / scale_;
    float minY = 1e30f, maxY = -1e30f;
    for (const auto& c : contours)
        for (const Point& p : c) {
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    if (minY > maxY) return;
    int py0 = std::max(0, static_cast<int>(std::floor(minY * scale_ - 0.5f)));
    int py1 = std::min(PixelHeight() - 1, static_cast<int>(std::ceil(maxY * scale_ + 0.5f)));
    struct Crossing {
        float x;
        int winding;
    };
    std::vector<Crossing> xs;
    for (int py = py0; py <= py1; ++py) {
        float y = (py + 0.5f) * inv;
        xs.clear();
        for (const auto& c : contours) {
            size_t n = c.size();
            for (size_t i = 0; i < n; ++i) {
                Point a = c[i], b = c[(i + 1) % n];
                if (a.y == b.y) continue;
                bool down = a.y < b.y;
                float lo = down ? a.y : b.y, hi = down ? b.y : a.y;
                if (y < lo || y >= hi) continue;
                float t = (y - a.y) / (b.y - a.y);
                xs.push_back({a.x + (b.x - a.x) * t, down ? 1 : -1});
            }
        }
        if (xs.size() < 2) continue;
        std::sort(xs.begin(), xs.end(),
                  [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        int winding = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += xs[i].winding;
            if (winding == 0) continue;
            // Samples whose centres lie in [xs[i], xs[i+1]).
            int px0 = std::max(0, static_cast<int>(std::ceil(xs[i].x * scale_ - 0.5f)));
            int px1 = std::min(PixelWidth() - 1,
                               static_cast<int>(std::ceil(xs[i + 1].x * scale_ - 0.5f)) - 1);
            for (int px = px0; px <= px1; ++px)
                PutSample(px, py, paint((px + 0.5f) * inv, y), opacity, blend);
        }
    }
}

void Canvas::FillPolygon(const std::vector<Point>& points, const Paint& paint, Blend blend,
                         float opacity) {
    if (points.size() < 3) return;
    Cover({points}, paint, blend, opacity);
}

void Canvas::FillRect(float x0, float y0, float x1, float y1, const Paint& paint, Blend blend,
                      float opacity) {
    FillPolygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, paint, blend, opacity);
}

std::vector<Point> EllipsePoints(Point centre, float rx, float ry, int segments) {
    std::vector<Point> pts;
    segments = std::max(segments, 8);
    for (int i = 0; i < segments; ++i) {
        double t = 2 * M_PI * i / segments;
        pts.push_back({centre.x + rx * static_cast<float>(std::cos(t)),
                       centre.y + ry * static_cast<float>(std::sin(t))});
    }
    return pts;
}

void Canvas::FillEllipse(Point centre, float rx, float ry, const Paint& paint, Blend blend,
                         float opacity) {
    if (rx <= 0 || ry <= 0) return;
    FillPolygon(EllipsePoints(centre, rx, ry), paint, blend, opacity);
}

void Canvas::FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Paint& paint,
                           Blend blend, float opacity) {
    radius = std::clamp(radius, 0.0f, std::min(x1 - x0, y1 - y0) / 2);
    if (radius <= 0) return FillRect(x0, y0, x1, y1, paint, blend, opacity);
    std::vector<Point> pts;
    const Point corners[4] = {{x1 - radius, y0 + radius},
                              {x1 - radius, y1 - radius},
                              {x0 + radius, y1 - radius},
                              {x0 + radius, y0 + radius}};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i <= 12; ++i) {
            double t = M_PI * (-0.5 + 0.5 * k) + M_PI / 2 * i / 12;
            pts.push_back({corners[k].x + radius * static_cast<float>(std::cos(t)),
                           corners[k].y + radius * static_cast<float>(std::sin(t))});
        }
    FillPolygon(pts, paint, blend, opacity);
}

void Canvas::StrokeLine(Point a, Point b, float width, const Paint& paint, Blend blend,
                        float opacity) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float len = std::sqrt(dx * dx + dy * dy);
    if (len <= 0 || width <= 0) return;
    float nx = -dy / len * width / 2, ny = dx / len * width / 2;
    FillPolygon(
        {{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}},
        paint, blend, opacity);
}

void Canvas::StrokePath(const std::vector<Point>& points, float width, const Paint& paint,
                        bool closed, Blend blend, float opacity) {
    if (points.size() < 2 || width <= 0) return;
    // One nonzero fill of all segment quads and joint discs, so overlaps do not double up.
    std::vector<std::vector<Point>> contours;
    size_t n = points.size(), segs = closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
        Point a = points[i], b = points[(i + 1) % n];
        float dx = b.x - a.x, dy = b.y - a.y;
        float len = std::sqrt(dx * dx + dy * dy);
        if (len <= 0) continue;
        float nx = -dy / len * width / 2, ny = dx / len * width / 2;
        std::vector<Point> quad{
            {a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
        contours.push_back(quad);
    }
    for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
        auto disc = EllipsePoints(points[i], width / 2, width / 2, 24);
        contours.push_back(disc);
    }
    // Make every contour wind the same way so the nonzero rule unites them.
    for (auto& c : contours) {
        double area = 0;
        for (size_t i = 0; i < c.size(); ++i) {
            const Point& p = c[i];
            const Point& q = c[(i + 1) % c.size()];
            area += static_cast<double>(p.x) * q.y - static_cast<double>(q.x) * p.y;
        }
        if (area < 0) std::reverse(c.begin(), c.end());
    }
    Cover(contours, paint, blend, opacity);
}

namespace {

// One box pass of half-width r along rows (stride 1) or columns, zero outside.
void BoxPass(std::vector<Rgba>& s, int w, int h, int r, bool horizontal) {
    int len = horizontal ? w : h, lines = horizontal ? h : w;
    std::vector<Rgba> line(static_cast<size_t>(len));
    float inv = 1.0f / (2 * r + 1);
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> Rgba& {
            return horizontal ? s[static_cast<size_t>(l) * w + i]
                              : s[static_cast<size_t>(i) * w + l];
        };
        for (int i = 0; i < len; ++i)
            line[static_cast<size_t>(i)] = at(i);
        double sr = 0, sg = 0, sb = 0, sa = 0;
        for (int i = -r; i <= r; ++i)
            if (i >= 0 && i < len) {
                const Rgba& c = line[static_cast<size_t>(i)];
                sr += c.r, sg += c.g, sb += c.b, sa += c.a;
            }
        for (int i = 0; i < len; ++i) {
            at(i) = {static_cast<float>(sr * inv), static_cast<float>(sg * inv),
                     static_cast<float>(sb * inv), static_cast<float>(sa * inv)};
            int out = i - r, in = i + r + 1;
            if (out >= 0) {
                const Rgba& c = line[static_cast<size_t>(out)];
                sr -= c.r, sg -= c.g, sb -= c.b, sa -= c.a;
            }
            if (in < len) {
                const Rgba& c = line[static_cast<size_t>(in)];
                sr += c.r, sg += c.g, sb += c.b, sa += c.a;
            }
        }
    }
}

} // namespace

void Canvas::Blur(float radius) {
    int r = static_cast<int>(std::lround(radius * scale_));
    if (r <= 0) return;
    for (int pass = 0; pass < 3; ++pass) {
        BoxPass(samples_, PixelWidth(), PixelHeight(), r, true);
        BoxPass(samples_, PixelWidth(), PixelHeight(), r, false);
    }
}

void Canvas::Draw(const Canvas& src, float dx, float dy, Blend blend, float opacity) {
    if (src.scale_ != scale_) return;
    int ox = static_cast<int>(std::lround(dx * scale_));
    int oy = static_cast<int>(std::lround(dy * scale_));
    for (int sy = 0; sy < src.PixelHeight(); ++sy) {
        int py = sy + oy;
        if (py < 0 || py >= PixelHeight()) continue;
        for (int sx = 0; sx < src.PixelWidth(); ++sx) {
            int px = sx + ox;
            if (px < 0 || px >= PixelWidth()) continue;
            Rgba p = src.samples_[static_cast<size_t>(sy) * src.PixelWidth() + sx];
            if (p.a <= 0) continue;
            Rgba straight{p.r / p.a, p.g / p.a, p.b / p.a, p.a};
            PutSample(px, py, straight, opacity, blend);
        }
    }
}

void Canvas::Tint(Rgba colour) {
    for (Rgba& s : samples_) {
        float a = s.a * colour.a;
        s = {colour.r * a, colour.g * a, colour.b * a, a};
    }
}

void Canvas::MaskBy(const Canvas& mask) {
    if (mask.samples_.size() != samples_.size()) return;
    for (size_t i = 0; i < samples_.size(); ++i) {
        float k = std::clamp(mask.samples_[i].a, 0.0f, 1.0f);
        samples_[i] = {samples_[i].r * k, samples_[i].g * k, samples_[i].b * k, samples_[i].a * k};
    }
}

Canvas Canvas::Shifted(float dx, float dy) const {
    Canvas out(width_, height_, scale_);
    int ox = static_cast<int>(std::lround(dx * scale_));
    int oy = static_cast<int>(std::lround(dy * scale_));
    for (int py = 0; py < PixelHeight(); ++py)
        for (int px = 0; px < PixelWidth(); ++px)
            out.samples_[static_cast<size_t>(py) * PixelWidth() + px] = Sample(px - ox, py - oy);
    return out;
}

std::vector<Rgba> Canvas::Resolve() const {
    std::vector<Rgba> out(static_cast<size_t>(width_) * height_);
    float inv = 1.0f / (scale_ * scale_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int j = 0; j < scale_; ++j)
                for (int i = 0; i < scale_; ++i) {
                    const Rgba& s = samples_[static_cast<size_t>(y * scale_ + j) * PixelWidth() +
                                             x * scale_ + i];
                    r += s.r, g += s.g, b += s.b, a += s.a;
                }
            Rgba& o = out[static_cast<size_t>(y) * width_ + x];
            o.a = static_cast<float>(a * inv);
            if (a > 0) {
                o.r = static_cast<float>(r / a);
                o.g = static_cast<float>(g / a);
                o.b = static_cast<float>(b / a);
            }
        }
    return out;
}

} // namespace artgen
