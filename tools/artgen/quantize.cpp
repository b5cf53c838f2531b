// From float pictures to 8-bit paletted ones: flattening, median or variance cut with k-means
// refinement, and remapping with optional error diffusion. The marker colours are kept out of
// everything the caller did not place on purpose.
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
    uint64_t count;
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

namespace {

// Luminance order, so a palette reads dark to light; white comes last.
bool Darker(Rgb8 a, Rgb8 b) {
    int la = 2 * a.r + 5 * a.g + a.b, lb = 2 * b.r + 5 * b.g + b.b;
    return la != lb ? la < lb : Key(a) < Key(b);
}

void SortBy(std::vector<Entry>& e, const Box& box, int axis) {
    std::stable_sort(e.begin() + static_cast<long>(box.begin),
                     e.begin() + static_cast<long>(box.end),
                     [axis](const Entry& a, const Entry& b) {
                         return Component(a.colour, axis) < Component(b.colour, axis);
                     });
}

Box MakeBox(const std::vector<Entry>& e, size_t begin, size_t end) {
    Box box{begin, end, 0, 0, 0};
    Measure(e, box);
    return box;
}

// Median cut: splits the box of widest weighted spread × sqrt(weight) at its weighted median.
std::vector<Box> MedianCut(std::vector<Entry>& entries, int count) {
    std::vector<Box> boxes{MakeBox(entries, 0, entries.size())};
    while (static_cast<int>(boxes.size()) < count) {
        int best = -1;
        double bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2 || boxes[i].range == 0) continue;
            double score = boxes[i].range * std::sqrt(static_cast<double>(boxes[i].weight));
            if (score > bestScore) bestScore = score, best = static_cast<int>(i);
        }
        if (best < 0) break;
        Box box = boxes[static_cast<size_t>(best)];
        SortBy(entries, box, box.axis);
        uint64_t half = box.weight / 2, sum = 0;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            sum += entries[i].count;
            cut = i + 1;
            if (sum >= half) break;
        }
        boxes[static_cast<size_t>(best)] = MakeBox(entries, box.begin, cut);
        boxes.push_back(MakeBox(entries, cut, box.end));
    }
    return boxes;
}

// Weighted sums of a set of colours, for its squared error around its mean (channels weighted
// as in Distance).
struct Spread {
    double weight = 0, sum[3] = {0, 0, 0}, squares[3] = {0, 0, 0};
    void Add(Rgb8 c, double w) {
        const double v[3] = {double(c.r), double(c.g), double(c.b)};
        weight += w;
        for (int k = 0; k < 3; ++k)
            sum[k] += w * v[k], squares[k] += w * v[k] * v[k];
    }
    Spread Minus(const Spread& part) const {
        Spread rest;
        rest.weight = weight - part.weight;
        for (int k = 0; k < 3; ++k)
            rest.sum[k] = sum[k] - part.sum[k], rest.squares[k] = squares[k] - part.squares[k];
        return rest;
    }
    double Error(int k) const {
        static constexpr double kWeights[3] = {3, 4, 2};
        return weight > 0 ? kWeights[k] * (squares[k] - sum[k] * sum[k] / weight) : 0;
    }
    double Error() const { return Error(0) + Error(1) + Error(2); }
};

Spread SpreadOf(const std::vector<Entry>& e, size_t begin, size_t end) {
    Spread s;
    for (size_t i = begin; i < end; ++i)
        s.Add(e[i].colour, static_cast<double>(e[i].count));
    return s;
}

// Variance cut: splits the box of largest squared error, along its channel of widest spread,
// where the two halves' errors add up least. Slower than the median cut but closer to what
// the k-means passes then minimise, so small clusters of colour far from the bulk (a few tinted
// squares on a big dark board) get boxes of their own.
std::vector<Box> VarianceCut(std::vector<Entry>& entries, int count) {
    struct Part {
        Box box;
        Spread spread;
    };
    std::vector<Part> parts{
        {MakeBox(entries, 0, entries.size()), SpreadOf(entries, 0, entries.size())}};
    while (static_cast<int>(parts.size()) < count) {
        int best = -1;
        for (size_t i = 0; i < parts.size(); ++i) {
            const Part& p = parts[i];
            if (p.box.end - p.box.begin < 2 || p.spread.Error() <= 0) continue;
            if (best < 0 || p.spread.Error() > parts[static_cast<size_t>(best)].spread.Error())
                best = static_cast<int>(i);
        }
        if (best < 0) break;
        const Part part = parts[static_cast<size_t>(best)];
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (part.spread.Error(k) > part.spread.Error(axis)) axis = k;
        SortBy(entries, part.box, axis);
        Spread left;
        size_t cut = part.box.begin + 1;
        double bestError = -1;
        for (size_t i = part.box.begin; i + 1 < part.box.end; ++i) {
            left.Add(entries[i].colour, static_cast<double>(entries[i].count));
            // Equal values stay on one side, so the halves are boxes that do not overlap.
            if (Component(entries[i].colour, axis) == Component(entries[i + 1].colour, axis))
                continue;
            double error = left.Error() + part.spread.Minus(left).Error();
            if (bestError < 0 || error < bestError) bestError = error, cut = i + 1;
        }
        const Spread low = SpreadOf(entries, part.box.begin, cut);
        parts[static_cast<size_t>(best)] = {MakeBox(entries, part.box.begin, cut), low};
        parts.push_back({MakeBox(entries, cut, part.box.end), part.spread.Minus(low)});
    }
    std::vector<Box> boxes;
    for (const Part& p : parts)
        boxes.push_back(p.box);
    return boxes;
}

// The boxes' weighted centroids, refined by a few k-means passes over the distinct colours.
// `pinned` colours take part as centres that never move, so no free colour is spent next to
// them. Returns the free centres, rounded and off the marker colours.
std::vector<Rgb8> Refine(const std::vector<Entry>& entries, const std::vector<Box>& boxes,
                         const std::vector<Rgb8>& pinned) {
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
    const size_t movable = centres.size();
    for (Rgb8 p : pinned)
        centres.push_back({double(p.r), double(p.g), double(p.b)});
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
            double w = static_cast<double>(e.count);
            sums[best][0] += e.colour.r * w;
            sums[best][1] += e.colour.g * w;
            sums[best][2] += e.colour.b * w;
            sums[best][3] += w;
        }
        for (size_t k = 0; k < movable; ++k)
            if (sums[k][3] > 0)
                centres[k] = {sums[k][0] / sums[k][3], sums[k][1] / sums[k][3],
                              sums[k][2] / sums[k][3]};
    }
    std::vector<Rgb8> out;
    for (size_t k = 0; k < movable; ++k)
        out.push_back(AvoidMarker(round(centres[k])));
    return out;
}

// Appends the colours not yet in the palette, dark to light.
void AddFree(Palette& palette, const std::vector<Rgb8>& colours) {
    std::vector<Rgb8> fresh;
    for (Rgb8 rgb : colours)
        if (std::find(fresh.begin(), fresh.end(), rgb) == fresh.end() &&
            std::find(palette.colours.begin(), palette.colours.end(), rgb) == palette.colours.end())
            fresh.push_back(rgb);
    std::sort(fresh.begin(), fresh.end(), Darker);
    palette.colours.insert(palette.colours.end(), fresh.begin(), fresh.end());
}

Palette FixedPalette(const std::vector<Rgb8>& fixed, size_t limit) {
    Palette palette;
    for (Rgb8 f : fixed)
        if (palette.colours.size() < limit &&
            std::find(palette.colours.begin(), palette.colours.end(), f) == palette.colours.end())
            palette.colours.push_back(f);
    palette.fixedCount = palette.colours.size();
    return palette;
}

bool IsFixed(const std::vector<Rgb8>& fixed, Rgb8 c) {
    return std::find(fixed.begin(), fixed.end(), c) != fixed.end();
}

std::vector<Entry> Entries(const std::map<uint32_t, uint64_t>& histogram) {
    std::vector<Entry> entries;
    for (const auto& [key, count] : histogram)
        entries.push_back({FromKey(key), count});
    return entries;
}

} // namespace

Palette BuildPalette(const std::vector<const RgbImage*>& images, const std::vector<Rgb8>& fixed,
                     int maxColours) {
    Palette palette = FixedPalette(fixed, 255);
    maxColours = std::clamp(maxColours, 1, 255);
    int free = maxColours - static_cast<int>(palette.fixedCount);
    if (free <= 0) return palette;

    std::map<uint32_t, uint64_t> histogram;
    for (const RgbImage* image : images)
        for (Rgb8 c : image->pixels)
            if (!IsFixed(fixed, c)) ++histogram[Key(AvoidMarker(c))];
    std::vector<Entry> entries = Entries(histogram);
    if (entries.empty()) return palette;
    std::vector<Box> boxes = MedianCut(entries, free);
    AddFree(palette, Refine(entries, boxes, {}));
    return palette;
}

Palette BuildSharedPalette(const std::vector<SharedImage>& images, const std::vector<Rgb8>& fixed) {
    const Rgb8 black{0, 0, 0}, white{255, 255, 255};
    Palette palette = FixedPalette(fixed, kSharedColours);
    // A picture's counts are scaled so that its colours add up to its weight × the same total
    // as every other picture's, whatever its size.
    constexpr double kPictureTotal = 4294967296.0;
    std::map<uint32_t, uint64_t> histogram;
    for (const SharedImage& shared : images) {
        std::map<uint32_t, uint64_t> own;
        uint64_t n = 0;
        for (Rgb8 c : shared.image->pixels)
            if (!IsFixed(fixed, c)) ++own[Key(AvoidMarker(c))], ++n;
        if (n == 0 || shared.weight <= 0) continue;
        const double scale = kPictureTotal * shared.weight / static_cast<double>(n);
        for (const auto& [key, count] : own)
            histogram[key] +=
                static_cast<uint64_t>(std::llround(static_cast<double>(count) * scale));
    }
    int free = static_cast<int>(kSharedColours - palette.fixedCount);
    std::vector<Entry> entries = Entries(histogram);
    std::vector<Rgb8> colours;
    if (free > 0 && !entries.empty()) {
        std::vector<Box> boxes = VarianceCut(entries, free);
        colours = Refine(entries, boxes, {black, white});
    }
    colours.push_back(black);
    colours.push_back(white);
    // Dark to light puts white last: in a palette of 256 it lands on entry 255, which the
    // reader turns white anyway.
    AddFree(palette, colours);
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

std::vector<IndexedImage> QuantizeTogether(const std::vector<const Drawing*>& drawings,
                                           const std::vector<Rgb8>& fixed) {
    std::vector<SharedImage> images;
    for (const Drawing* d : drawings)
        images.push_back({&d->image, d->weight});
    const Palette palette = BuildSharedPalette(images, fixed);
    std::vector<IndexedImage> out;
    for (const Drawing* d : drawings)
        out.push_back(Remap(d->image, palette, d->dither));
    return out;
}

} // namespace artgen
