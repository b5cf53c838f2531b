// The drawing kit: coverage and blending arithmetic, text, palette reduction that keeps marker
// colours and entry 255 out, a palette shared by several pictures that one palette group takes
// whole, and files the engine reads back unchanged.
#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "foundation/zz.h"
#include "tools/artgen/artgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <utility>

using namespace artgen;

namespace {

const Rgb8 kMarkers[] = {kMarkerGreen, kMarkerBlue, kMarkerYellow, kMarkerRed, kMarkerCyan};

float Alpha(const std::vector<Rgba>& px, int width, int x, int y) {
    return px[static_cast<size_t>(y) * width + x].a;
}

// A picture with smooth gradients over many colours, every marker colour sprinkled in.
RgbImage Busy(int w, int h) {
    RgbImage image;
    image.width = w, image.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.pixels.push_back({static_cast<uint8_t>(x * 255 / (w - 1)),
                                    static_cast<uint8_t>(y * 255 / (h - 1)),
                                    static_cast<uint8_t>((x * 7 + y * 13) % 256)});
    for (int i = 0; i < 5; ++i)
        image.At(3 + i * 5, 4) = kMarkers[i];
    return image;
}

TEST(ArtgenCanvasTest, EdgesAreCoveredByArea) {
    Canvas c(4, 2, 4);
    c.FillRect(1.25f, 0, 2.75f, 1, Solid(Rgb(255, 255, 255)));
    std::vector<Rgba> px = c.Resolve();
    EXPECT_FLOAT_EQ(Alpha(px, 4, 0, 0), 0);
    EXPECT_FLOAT_EQ(Alpha(px, 4, 1, 0), 0.75f);
    EXPECT_FLOAT_EQ(Alpha(px, 4, 2, 0), 0.75f);
    EXPECT_FLOAT_EQ(Alpha(px, 4, 3, 0), 0);
    EXPECT_FLOAT_EQ(Alpha(px, 4, 1, 1), 0);

    // A triangle's total coverage is its area, to within the sampling error.
    Canvas t(20, 20, 8);
    t.FillPolygon({{2, 3}, {17, 5}, {6, 18}}, Solid(Rgb(10, 20, 30)));
    double sum = 0;
    for (const Rgba& p : t.Resolve())
        sum += p.a;
    double area = 0.5 * std::abs((17 - 2) * (18 - 3) - (6 - 2) * (5 - 3));
    EXPECT_NEAR(sum, area, 0.5);
    // Two triangles sharing an edge leave no seam and no double cover.
    Canvas q(10, 10, 4);
    q.FillPolygon({{1, 1}, {9, 1}, {9, 9}}, Solid(Rgb(255, 255, 255)));
    q.FillPolygon({{1, 1}, {9, 9}, {1, 9}}, Solid(Rgb(255, 255, 255)));
    std::vector<Rgba> qp = q.Resolve();
    for (int y = 1; y < 9; ++y)
        for (int x = 1; x < 9; ++x)
            EXPECT_FLOAT_EQ(Alpha(qp, 10, x, y), 1.0f) << x << "," << y;
}

TEST(ArtgenCanvasTest, BlendModes) {
    Canvas c(1, 1, 1);
    c.Clear(Rgb(0, 0, 0));
    c.FillRect(0, 0, 1, 1, Solid(Rgb(255, 255, 255, 0.5f)));
    Rgba over = c.Resolve()[0];
    EXPECT_NEAR(over.r, 0.5f, 1e-5);
    EXPECT_NEAR(over.a, 1.0f, 1e-5);
    c.FillRect(0, 0, 1, 1, Solid(Rgb(255, 0, 0)), Blend::kAdd, 0.25f);
    Rgba add = c.Resolve()[0];
    EXPECT_NEAR(add.r, 0.75f, 1e-5);
    EXPECT_NEAR(add.g, 0.5f, 1e-5);
    c.FillRect(0, 0, 1, 1, Solid(Rgb(0, 255, 255)), Blend::kMultiply);
    Rgba mul = c.Resolve()[0];
    EXPECT_NEAR(mul.r, 0.0f, 1e-5);
    EXPECT_NEAR(mul.g, 0.5f, 1e-5);
}

TEST(ArtgenCanvasTest, BlurKeepsMassAndSpreads) {
    Canvas c(30, 30, 2);
    c.FillRect(12, 12, 18, 18, Solid(Rgb(255, 255, 255)));
    c.Blur(2);
    std::vector<Rgba> px = c.Resolve();
    double sum = 0;
    for (const Rgba& p : px)
        sum += p.a;
    EXPECT_NEAR(sum, 36.0, 0.05);
    EXPECT_GT(Alpha(px, 30, 10, 15), 0.05f); // spread beyond the square
    EXPECT_LT(Alpha(px, 30, 15, 15), 1.0f);
    EXPECT_FLOAT_EQ(Alpha(px, 30, 0, 0), 0.0f);
}

TEST(ArtgenCanvasTest, DrawPlacesAndShiftedMoves) {
    Canvas src(4, 4, 2);
    src.FillRect(0, 0, 1, 1, Solid(Rgb(255, 0, 0)));
    Canvas dst(4, 4, 2);
    dst.Draw(src, 2, 1);
    std::vector<Rgba> px = dst.Resolve();
    EXPECT_FLOAT_EQ(Alpha(px, 4, 2, 1), 1.0f);
    EXPECT_FLOAT_EQ(Alpha(px, 4, 0, 0), 0.0f);
    std::vector<Rgba> moved = src.Shifted(1, 2).Resolve();
    EXPECT_FLOAT_EQ(Alpha(moved, 4, 1, 2), 1.0f);
    EXPECT_FLOAT_EQ(Alpha(moved, 4, 0, 0), 0.0f);
}

TEST(ArtgenTextTest, DrawsWithinItsMeasuredWidth) {
    ASSERT_FALSE(FontPath(Face::kSansBold).empty());
    TextStyle style{Face::kSansBold, 14, 0};
    float width = TextWidth(style, "Tessark");
    EXPECT_GT(width, 40);
    EXPECT_LT(width, 80);
    EXPECT_GT(TextWidth(style, "ŝanĝu"), 0); // Esperanto letters are in the font
    Canvas c(100, 20, 4);
    ASSERT_TRUE(DrawText(c, style, {5, 15}, "Tessark", Solid(Rgb(255, 255, 255))));
    std::vector<Rgba> px = c.Resolve();
    int x0 = 100, x1 = -1, y0 = 20, y1 = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x)
            if (Alpha(px, 100, x, y) > 0.3f)
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y),
                y1 = std::max(y1, y);
    EXPECT_GE(x0, 5);
    EXPECT_NEAR(x1 - x0 + 1, width, 3);
    EXPECT_LE(y1, 15); // nothing of "Tessark" hangs below the baseline
    EXPECT_GE(y0, 15 - 12);
}

TEST(ArtgenTextTest, RejectsBrokenUtf8AndDrawsNothing) {
    Canvas c(40, 20, 2);
    TextStyle style;
    EXPECT_FALSE(DrawText(c, style, {2, 15}, "ab\xC3", Solid(Rgb(255, 255, 255))));
    EXPECT_FALSE(DrawText(c, style, {2, 15}, "a\x80z", Solid(Rgb(255, 255, 255))));
    EXPECT_LT(TextWidth(style, "\xE2\x82"), 0);
    for (const Rgba& p : c.Resolve())
        EXPECT_EQ(p.a, 0.0f);
}

TEST(ArtgenFinishTest, FlattenKeysOnlyClearPixelsAndAvoidsMarkers) {
    std::vector<Rgba> px = {Rgb(0, 0, 255, 1),    Rgb(255, 255, 0, 1), Rgb(10, 10, 10, 0.2f),
                            Rgb(200, 0, 0, 0.6f), Rgb(0, 255, 0, 1),   Rgb(0, 0, 0, 0)};
    RgbImage keyed = Flatten(px, 6, 1, Rgb(0, 0, 0), &kTransparent);
    EXPECT_EQ(keyed.At(2, 0), kTransparent);
    EXPECT_EQ(keyed.At(5, 0), kTransparent);
    for (int x : {0, 1, 3, 4}) {
        EXPECT_FALSE(IsMarkerColour(keyed.At(x, 0))) << x;
    }
    // Drawn pure blue is no longer the transparent colour, but stays as blue as it can.
    EXPECT_EQ(keyed.At(0, 0), (Rgb8{0, 0, 254}));
    for (Rgb8 m : kMarkers) {
        Rgb8 moved = AvoidMarker(m);
        EXPECT_FALSE(IsMarkerColour(moved));
        EXPECT_LE(std::abs(moved.r - m.r) + std::abs(moved.g - m.g) + std::abs(moved.b - m.b), 1);
    }
}

TEST(ArtgenQuantizeTest, PlacedMarkersStayExactAndNoOtherPixelBecomesOne) {
    RgbImage image = Busy(64, 48);
    image.At(40, 40) = kMarkerYellow;
    image.At(41, 40) = kTransparent;
    std::vector<Rgb8> fixed = {kMarkerYellow, kTransparent};
    for (bool dither : {false, true}) {
        IndexedImage q = Quantize(image, fixed, dither);
        ASSERT_LE(q.palette.size(), 255u);
        EXPECT_EQ(q.ColourAt(40, 40), kMarkerYellow);
        EXPECT_EQ(q.ColourAt(41, 40), kTransparent);
        int markers = 0;
        for (int y = 0; y < q.height; ++y)
            for (int x = 0; x < q.width; ++x) {
                EXPECT_NE(q.indices[static_cast<size_t>(y) * q.width + x], 255);
                markers += IsMarkerColour(q.ColourAt(x, y));
            }
        // Of the sprinkled marker colours only those the caller placed (yellow, blue) remain.
        EXPECT_EQ(markers, 4) << dither;
        std::set<uint32_t> distinct;
        for (Rgb8 c : q.palette)
            distinct.insert(c.r << 16 | c.g << 8 | c.b);
        EXPECT_EQ(distinct.size(), q.palette.size());
    }
}

TEST(ArtgenQuantizeTest, NoRoomLeftNeverFallsBackToAMarker) {
    RgbImage image;
    image.width = 3, image.height = 1;
    image.pixels = {kTransparent, {200, 200, 200}, {12, 12, 12}};
    IndexedImage q = Quantize(image, {kTransparent, Rgb8{10, 10, 10}}, true, 2);
    ASSERT_EQ(q.palette.size(), 2u);
    EXPECT_EQ(q.ColourAt(0, 0), kTransparent);
    EXPECT_EQ(q.ColourAt(1, 0), (Rgb8{10, 10, 10}));
    EXPECT_EQ(q.ColourAt(2, 0), (Rgb8{10, 10, 10}));
}

TEST(ArtgenQuantizeTest, SmoothPicturesKeepTheirColours) {
    RgbImage image;
    image.width = 128, image.height = 96;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x)
            image.pixels.push_back({static_cast<uint8_t>(x * 2), static_cast<uint8_t>(y * 2),
                                    static_cast<uint8_t>(x + y)});
    IndexedImage q = Quantize(image, {}, false);
    double error = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            Rgb8 a = image.At(x, y), b = q.ColourAt(x, y);
            error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        }
    EXPECT_LT(error / (image.width * image.height * 3), 4.0);
    // Few colours in, the same colours out.
    RgbImage small;
    small.width = 3, small.height = 1;
    small.pixels = {{10, 20, 30}, {200, 100, 50}, {10, 20, 30}};
    IndexedImage s = Quantize(small, {}, true);
    EXPECT_EQ(s.palette.size(), 2u);
    EXPECT_EQ(s.ColourAt(0, 0), (Rgb8{10, 20, 30}));
    EXPECT_EQ(s.ColourAt(1, 0), (Rgb8{200, 100, 50}));
}

// Mean of the channel differences over the pixels of `image`.
double MeanError(const RgbImage& image, const IndexedImage& q) {
    double error = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            Rgb8 a = image.At(x, y), b = q.ColourAt(x, y);
            error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        }
    return error / (image.width * image.height * 3);
}

TEST(ArtgenSharedPaletteTest, FitsOnePaletteGroupWithMarkersExactAndNothingElseOnThem) {
    // Three busy pictures: thousands of colours together, every marker colour sprinkled in,
    // black and white drawn on purpose.
    std::vector<Drawing> drawings;
    for (int k = 0; k < 3; ++k) {
        Drawing d{Busy(64 + 16 * k, 48), k == 0, 1.0};
        for (Rgb8& c : d.image.pixels)
            c.b = static_cast<uint8_t>(c.b ^ (85 * k));
        d.image.At(10, 30) = kMarkerYellow;
        d.image.At(11, 30) = kTransparent;
        d.image.At(12, 30) = Rgb8{255, 255, 255};
        d.image.At(13, 30) = Rgb8{0, 0, 0};
        drawings.push_back(d);
    }
    const std::vector<Rgb8> fixed = {kMarkerYellow, kTransparent};
    auto placed = [&](const RgbImage& image) {
        int n = 0;
        for (Rgb8 c : image.pixels)
            n += c == kMarkerYellow || c == kTransparent;
        return n;
    };
    std::vector<const Drawing*> all;
    std::vector<SharedImage> images;
    for (const Drawing& d : drawings)
        all.push_back(&d), images.push_back({&d.image, 1.0});
    Palette palette = BuildSharedPalette(images, fixed);
    ASSERT_LE(palette.colours.size(), 256u);
    ASSERT_EQ(palette.fixedCount, 2u);
    EXPECT_EQ(palette.colours[0], kMarkerYellow);
    EXPECT_EQ(palette.colours[1], kTransparent);
    std::set<uint32_t> distinct;
    for (Rgb8 c : palette.colours)
        distinct.insert(c.r << 16 | c.g << 8 | c.b);
    EXPECT_EQ(distinct.size(), palette.colours.size());
    EXPECT_TRUE(distinct.count(0));
    // White last, so in a full palette it sits on entry 255, which the reader makes white.
    EXPECT_EQ(palette.colours.back(), (Rgb8{255, 255, 255}));
    for (size_t i = palette.fixedCount; i < palette.colours.size(); ++i)
        EXPECT_FALSE(IsMarkerColour(palette.colours[i])) << i;

    std::vector<IndexedImage> shared = QuantizeTogether(all, fixed);
    ASSERT_EQ(shared.size(), 3u);
    // Read back and merged as the game merges its pictures: every colour finds its place.
    std::vector<std::unique_ptr<Graphic>> graphics;
    std::vector<std::vector<COLORREF>> before;
    for (size_t k = 0; k < shared.size(); ++k) {
        const IndexedImage& q = shared[k];
        EXPECT_EQ(q.palette, palette.colours);
        EXPECT_EQ(q.ColourAt(10, 30), kMarkerYellow);
        EXPECT_EQ(q.ColourAt(11, 30), kTransparent);
        EXPECT_EQ(q.ColourAt(12, 30), (Rgb8{255, 255, 255}));
        int markers = 0;
        for (int y = 0; y < q.height; ++y)
            for (int x = 0; x < q.width; ++x)
                markers += IsMarkerColour(q.ColourAt(x, y));
        EXPECT_EQ(markers, placed(drawings[k].image)) << "only the yellow and blue placed";
        std::vector<uint8_t> bytes = PspBytes(q);
        graphics.push_back(
            std::make_unique<Graphic>(bytes.data(), static_cast<DWORD>(bytes.size()), kNoColor));
        ASSERT_TRUE(graphics.back()->IsLoaded());
        before.emplace_back();
        for (int y = 0; y < q.height; ++y)
            for (int x = 0; x < q.width; ++x) {
                Rgb8 c = q.ColourAt(x, y);
                ASSERT_EQ(graphics.back()->GetPixelColor(x, y), RGB(c.r, c.g, c.b));
                before.back().push_back(RGB(c.r, c.g, c.b));
            }
    }
    ResetPaletteMergeFailures();
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    for (auto& g : graphics)
        group.Add(g.get(), FALSE);
    group.Close();
    EXPECT_EQ(GetPaletteMergeFailures(), 0u);
    for (size_t k = 0; k < graphics.size(); ++k) {
        size_t i = 0, changed = 0;
        for (LONG y = 0; y < graphics[k]->GetHeight(); ++y)
            for (LONG x = 0; x < graphics[k]->GetWidth(); ++x)
                changed += graphics[k]->GetPixelColor(x, y) != before[k][i++];
        EXPECT_EQ(changed, 0u) << k;
    }
}

TEST(ArtgenSharedPaletteTest, ASmallPictureKeepsItsColoursBesideABigOne) {
    // A big smooth picture over a wide range of colours, and a small one of sixteen close blues
    // (like the edges of small letters) that would vanish in the big one's numbers.
    Drawing big{{}, false, 1.0};
    big.image.width = big.image.height = 256;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            big.image.pixels.push_back({static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                        static_cast<uint8_t>((x + y) / 2)});
    Drawing small{{}, false, 1.0};
    small.image.width = small.image.height = 4;
    for (int i = 0; i < 16; ++i)
        small.image.pixels.push_back({static_cast<uint8_t>(40 + 2 * i),
                                      static_cast<uint8_t>(60 + i),
                                      static_cast<uint8_t>(150 + 3 * i)});
    auto errors = [&](double smallWeight) {
        small.weight = smallWeight;
        std::vector<IndexedImage> q = QuantizeTogether({&big, &small}, {});
        return std::pair{MeanError(big.image, q[0]), MeanError(small.image, q[1])};
    };
    auto [bigEven, smallEven] = errors(1.0);
    auto [bigLight, smallLight] = errors(0.001);
    EXPECT_LE(smallEven, 1.5) << "its fair share: about a level per channel off";
    EXPECT_GT(smallLight, 2 * smallEven) << "by pixel count it would get a few entries";
    EXPECT_LT(bigEven, 4.0);
    EXPECT_LT(bigLight, bigEven);
}

TEST(ArtgenFilesTest, PspReadsBackThroughTheEngine) {
    IndexedImage q = Quantize(Busy(40, 30), {kTransparent}, true);
    std::vector<uint8_t> bytes = PspBytes(q);
    Graphic g(bytes.data(), static_cast<DWORD>(bytes.size()), kNoColor);
    ASSERT_TRUE(g.IsLoaded());
    EXPECT_EQ(g.GetWidth(), 40);
    EXPECT_EQ(g.GetHeight(), 30);
    EXPECT_EQ(g.GetBitsPerPixel(), 8u);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            Rgb8 c = q.ColourAt(x, y);
            ASSERT_EQ(g.GetPixelColor(x, y), RGB(c.r, c.g, c.b)) << x << "," << y;
        }
}

TEST(ArtgenFilesTest, SameInputSameBytes) {
    auto draw = [] {
        Canvas c(30, 20, 4);
        c.Clear(Rgb(20, 20, 30));
        c.FillEllipse({15, 10}, 9, 6, Radial({12, 8}, 9, Rgb(250, 200, 90), Rgb(90, 40, 10)));
        c.Blur(0.5f);
        DrawText(c, TextStyle{Face::kSans, 9, 0}, {3, 15}, "ĉu", Solid(Rgb(255, 255, 255)));
        Drawing flat{Flatten(c.Resolve(), 30, 20, Rgb(0, 0, 0)), true};
        std::vector<uint8_t> bytes = PspBytes(Quantize(flat.image, {}, true));
        Drawing busy{Busy(20, 10), false, 0.5};
        for (const IndexedImage& q : QuantizeTogether({&flat, &busy}, {kTransparent})) {
            std::vector<uint8_t> more = PspBytes(q);
            bytes.insert(bytes.end(), more.begin(), more.end());
        }
        return bytes;
    };
    EXPECT_EQ(draw(), draw());
}

TEST(ArtgenFilesTest, ZzBmpAndIconForms) {
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 / 13);
    std::vector<uint8_t> block;
    ASSERT_TRUE(ZzBlock(data, &block));
    BYTE* out = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzdecompress(&out, &size, block.data(), static_cast<DWORD>(block.size())));
    EXPECT_EQ(std::vector<uint8_t>(out, out + size), data);
    zzfree(out);

    RgbImage image = Busy(7, 5); // odd width: rows are padded
    std::vector<uint8_t> bmp = BmpBytes(image);
    Graphic g(bmp.data(), static_cast<DWORD>(bmp.size()), kNoColor);
    ASSERT_TRUE(g.IsLoaded());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            Rgb8 c = image.At(x, y);
            EXPECT_EQ(g.GetPixelColor(x, y), RGB(c.r, c.g, c.b));
        }

    IconImage icon{Busy(16, 16), std::vector<uint8_t>(256, 255)};
    icon.alpha[0] = 0;
    std::vector<uint8_t> ico = IcoBytes({icon});
    ASSERT_EQ(ico.size(), 6u + 16 + 40 + 16 * 16 * 4 + 16 * 4);
    EXPECT_EQ(ico[4], 1);
    // Pixel (0, 0) is clear: alpha 0 in the colour rows and set in the mask (bottom-up rows).
    size_t colours = 6 + 16 + 40;
    EXPECT_EQ(ico[colours + 15 * 16 * 4 + 3], 0);
    EXPECT_EQ(ico[colours + 16 * 16 * 4 + 15 * 4] & 0x80, 0x80);
}

} // namespace
