// From float pictures to 8-bit paletted ones: flattening, median cut with k-means refinement,
// and remapping with optional error diffusion. The marker colours are kept out of everything
// the caller did not place on purpose.
#include "tools/artgen/artgen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>

namespace artgen {

bool IsMarkerColour(Rgb8 c) {
    return c == kMarkerGreen || c == kMarkerBlue || c == kMarkerYellow || c == kMarkerRed ||
           c == kMarkerCyan;
}

Rgb8 AvoidMarker(Rgb8 c) {
    if (!IsMarkerColour(c)) return c;
    // Every marker has a component of 255; one step down is invisible and no marker.
    if (c.r == 255)
        --c.r;
    else if (c.g == 255)
        --c.g;
    else
        --c.b;
    return c;
}

namespace {

uint8_t Channel8(float v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

uint32_t Key(Rgb8 c) {
    return (static_cast<uint32_t>(c.r) << 16) | (static_cast<uint32_t>(c.g) << 8) | c.b;
}

Rgb8 FromKey(uint32_t k) {
    return {static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)};
}

// Weighted squared distance; green counts most, as the eye sees it.
int Distance(int r, int g, int b, Rgb8 p) {
    int dr = r - p.r, dg = g - p.g, db = b - p.b;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

struct Entry {
    Rgb8 colour;
    uint32_t count;
};

struct Box {
    size_t begin, end; // range of the entries
    uint64_t weight;
    int axis;
    int range;
};

void Measure(const std::vector<Entry>& e, Box& box) {
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    box.weight = 0;
    for (size_t i = box.begin; i < box.end; ++i) {
        const Rgb8 c = e[i].colour;
        const int v[3] = {c.r, c.g, c.b};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
        }
        box.weight += e[i].count;
    }
    // The same weights as Distance, so the split follows the visible spread.
    const int w[3] = {3, 4, 2};
    box.axis = 0;
    box.range = 0;
    for (int k = 0; k < 3; ++k) {
        int r = (hi[k] - lo[k]) * w[k];
        if (r > box.range) box.range = r, box.axis = k;
    }
}

int Component(Rgb8 c, int axis) {
    return axis == 0 ? c.r : axis == 1 ? c.g : c.b;
}

} // namespace

Rgb8 ToRgb8(Rgba c) {
    return AvoidMarker({Channel8(c.r), Channel8(c.g), Channel8(c.b)});
}

RgbImage Flatten(const std::vector<Rgba>& resolved, int width, int height, Rgba matte,
                 const Rgb8* transparentKey, float alphaCut) {
    RgbImage out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < out.pixels.size() && i < resolved.size(); ++i) {
        Rgba c = resolved[i];
        if (transparentKey && c.a < alphaCut) {
            out.pixels[i] = *transparentKey;
            continue;
        }
        float a = std::clamp(c.a, 0.0f, 1.0f);
        if (transparentKey)
            a = std::clamp((a - alphaCut) / (1 - alphaCut + 1e-6f) * 0.5f + 0.5f, 0.0f, 1.0f);
        Rgba m{c.r * a + matte.r * (1 - a), c.g * a + matte.g * (1 - a),
               c.b * a + matte.b * (1 - a), 1};
        out.pixels[i] = ToRgb8(m);
    }
    return out;
}

Palette BuildPalette(const std::vector<const RgbImage*>& images, const std::vector<Rgb8>& fixed,
                     int maxColours) {
    Palette palette;
    for (Rgb8 f : fixed)
        if (palette.colours.size() < 255 &&
            std::find(palette.colours.begin(), palette.colours.end(), f) == palette.colours.end())
            palette.colours.push_back(f);
    palette.fixedCount = palette.colours.size();
    maxColours = std::clamp(maxColours, 1, 255);
    int free = maxColours - static_cast<int>(palette.fixedCount);
    if (free <= 0) return palette;

    std::map<uint32_t, uint32_t> histogram;
    for (const RgbImage* image : images)
        for (Rgb8 c : image->pixels)
            if (std::find(fixed.begin(), fixed.end(), c) == fixed.end())
                ++histogram[Key(AvoidMarker(c))];
    std::vector<Entry> entries;
    for (const auto& [key, count] : histogram)
        entries.push_back({FromKey(key), count});
    if (entries.empty()) return palette;

    // Median cut: split the box of widest weighted spread × sqrt(weight) at its weighted median.
    std::vector<Box> boxes;
    Box first{0, entries.size(), 0, 0, 0};
    Measure(entries, first);
    boxes.push_back(first);
    while (static_cast<int>(boxes.size()) < free) {
        int best = -1;
        double bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2 || boxes[i].range == 0) continue;
            double score = boxes[i].range * std::sqrt(static_cast<double>(boxes[i].weight));
            if (score > bestScore) bestScore = score, best = static_cast<int>(i);
        }
        if (best < 0) break;
        Box box = boxes[static_cast<size_t>(best)];
        int axis = box.axis;
        std::stable_sort(entries.begin() + static_cast<long>(box.begin),
                         entries.begin() + static_cast<long>(box.end),
                         [axis](const Entry& a, const Entry& b) {
                             return Component(a.colour, axis) < Component(b.colour, axis);
                         });
        uint64_t half = box.weight / 2, sum = 0;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            sum += entries[i].count;
            cut = i + 1;
            if (sum >= half) break;
        }
        Box a{box.begin, cut, 0, 0, 0}, b{cut, box.end, 0, 0, 0};
        Measure(entries, a);
        Measure(entries, b);
        boxes[static_cast<size_t>(best)] = a;
        boxes.push_back(b);
    }

    // Centroids, then k-means over the distinct colours.
    std::vector<std::array<double, 3>> centres;
    for (const Box& box : boxes) {
        double r = 0, g = 0, b = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            r += entries[i].colour.r * static_cast<double>(entries[i].count);
            g += entries[i].colour.g * static_cast<double>(entries[i].count);
            b += entries[i].colour.b * static_cast<double>(entries[i].count);
        }
        double w = static_cast<double>(box.weight);
        centres.push_back({r / w, g / w, b / w});
    }
    auto round = [](const std::array<double, 3>& c) {
        return Rgb8{static_cast<uint8_t>(std::lround(std::clamp(c[0], 0.0, 255.0))),
                    static_cast<uint8_t>(std::lround(std::clamp(c[1], 0.0, 255.0))),
                    static_cast<uint8_t>(std::lround(std::clamp(c[2], 0.0, 255.0)))};
    };
    for (int pass = 0; pass < 4; ++pass) {
        std::vector<Rgb8> current;
        for (const auto& c : centres)
            current.push_back(round(c));
        std::vector<std::array<double, 4>> sums(centres.size(), {0, 0, 0, 0});
        for (const Entry& e : entries) {
            size_t best = 0;
            int bestD = Distance(e.colour.r, e.colour.g, e.colour.b, current[0]);
            for (size_t k = 1; k < current.size(); ++k) {
                int d = Distance(e.colour.r, e.colour.g, e.colour.b, current[k]);
                if (d < bestD) bestD = d, best = k;
            }
            double w = e.count;
            sums[best][0] += e.colour.r * w;
            sums[best][1] += e.colour.g * w;
            sums[best][2] += e.colour.b * w;
            sums[best][3] += w;
        }
        for (size_t k = 0; k < centres.size(); ++k)
            if (sums[k][3] > 0)
                centres[k] = {sums[k][0] / sums[k][3], sums[k][1] / sums[k][3],
                              sums[k][2] / sums[k][3]};
    }

    std::vector<Rgb8> colours;
    for (const auto& c : centres) {
        Rgb8 rgb = AvoidMarker(round(c));
        if (std::find(colours.begin(), colours.end(), rgb) == colours.end() &&
            std::find(palette.colours.begin(), palette.colours.end(), rgb) == palette.colours.end())
            colours.push_back(rgb);
    }
    std::sort(colours.begin(), colours.end(), [](Rgb8 a, Rgb8 b) {
        int la = 2 * a.r + 5 * a.g + a.b, lb = 2 * b.r + 5 * b.g + b.b;
        return la != lb ? la < lb : Key(a) < Key(b);
    });
    palette.colours.insert(palette.colours.end(), colours.begin(), colours.end());
    return palette;
}

IndexedImage Remap(const RgbImage& image, const Palette& palette, bool dither) {
    IndexedImage out;
    out.width = image.width;
    out.height = image.height;
    out.palette = palette.colours;
    out.indices.assign(image.pixels.size(), 0);
    const size_t fixedCount = palette.fixedCount;
    const bool hasFree = palette.colours.size() > fixedCount;
    std::unordered_map<uint32_t, uint8_t> cache;
    auto nearest = [&](int r, int g, int b) -> uint8_t {
        r = std::clamp(r, 0, 255), g = std::clamp(g, 0, 255), b = std::clamp(b, 0, 255);
        uint32_t key = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
                       static_cast<uint32_t>(b);
        auto it = cache.find(key);
        if (it != cache.end()) return it->second;
        size_t best = fixedCount;
        int bestD = Distance(r, g, b, palette.colours[best]);
        for (size_t k = fixedCount + 1; k < palette.colours.size(); ++k) {
            int d = Distance(r, g, b, palette.colours[k]);
            if (d < bestD) bestD = d, best = k;
        }
        cache[key] = static_cast<uint8_t>(best);
        return static_cast<uint8_t>(best);
    };
    const int w = image.width;
    std::vector<std::array<float, 3>> err(static_cast<size_t>(w + 2) * 2, {0, 0, 0});
    for (int y = 0; y < image.height; ++y) {
        auto* cur = &err[static_cast<size_t>(y % 2) * (w + 2)];
        auto* next = &err[static_cast<size_t>((y + 1) % 2) * (w + 2)];
        for (int x = 0; x < w + 2; ++x)
            next[x] = {0, 0, 0};
        for (int x = 0; x < w; ++x) {
            Rgb8 c = image.At(x, y);
            size_t i = static_cast<size_t>(y) * w + x;
            auto fixedIt = std::find(palette.colours.begin(),
                                     palette.colours.begin() + static_cast<long>(fixedCount), c);
            if (fixedIt != palette.colours.begin() + static_cast<long>(fixedCount)) {
                // Placed on purpose: exact, and no error spreads out of or into it.
                out.indices[i] = static_cast<uint8_t>(fixedIt - palette.colours.begin());
                continue;
            }
            if (!hasFree) {
                // No free entries: the nearest placed colour that is no marker, if any.
                int bestD = -1;
                for (size_t k = 0; k < fixedCount; ++k) {
                    if (IsMarkerColour(palette.colours[k])) continue;
                    int d = Distance(c.r, c.g, c.b, palette.colours[k]);
                    if (bestD < 0 || d < bestD) bestD = d, out.indices[i] = static_cast<uint8_t>(k);
                }
                continue;
            }
            float r = c.r, g = c.g, b = c.b;
            if (dither) r += cur[x + 1][0], g += cur[x + 1][1], b += cur[x + 1][2];
            uint8_t k = nearest(static_cast<int>(std::lround(r)), static_cast<int>(std::lround(g)),
                                static_cast<int>(std::lround(b)));
            out.indices[i] = k;
            if (!dither) continue;
            Rgb8 p = palette.colours[k];
            // Damped, so flat areas stay calm and errors never run away.
            const float e[3] = {std::clamp((r - p.r) * 0.8f, -24.0f, 24.0f),
                                std::clamp((g - p.g) * 0.8f, -24.0f, 24.0f),
                                std::clamp((b - p.b) * 0.8f, -24.0f, 24.0f)};
            for (int ch = 0; ch < 3; ++ch) {
                cur[x + 2][ch] += e[ch] * 7 / 16;
                next[x][ch] += e[ch] * 3 / 16;
                next[x + 1][ch] += e[ch] * 5 / 16;
                next[x + 2][ch] += e[ch] * 1 / 16;
            }
        }
    }
    return out;
}

IndexedImage Quantize(const RgbImage& image, const std::vector<Rgb8>& fixed, bool dither,
                      int maxColours) {
    return Remap(image, BuildPalette({&image}, fixed, maxColours), dither);
}

} // namespace artgen
