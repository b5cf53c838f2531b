// artgen: the small drawing kit behind the game's generated pictures. Shapes are drawn on a
// float RGBA canvas at a multiple of the target size and filtered down, so every edge comes out
// antialiased; the result is reduced to an 8-bit palette and written as a PSP image.
//
// Everything here is deterministic: no clocks, no threads, no random seeds from outside. The
// same program writes the same bytes on every build.
//
// Coordinates are in target pixels (floats); pixel (x, y) covers [x, x + 1) x [y, y + 1).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace artgen {

// ---- Colours ----

// A straight (not premultiplied) colour, components 0..1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// From 0..255 components.
Rgba Rgb(int r, int g, int b, float a = 1.0f);
// Linear blend a..b by t (0..1), alpha included.
Rgba Mix(Rgba a, Rgba b, float t);
// Multiplies the colour (not alpha) by k.
Rgba Scale(Rgba c, float k);
// The same colour with alpha a.
Rgba WithAlpha(Rgba c, float a);

// An 8-bit colour of a finished image.
struct Rgb8 {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb8&) const = default;
};

// The marker colours the game reads out of its pictures, and blue, the transparent colour.
constexpr Rgb8 kMarkerGreen{0, 255, 0};
constexpr Rgb8 kMarkerBlue{0, 0, 255};
constexpr Rgb8 kMarkerYellow{255, 255, 0};
constexpr Rgb8 kMarkerRed{255, 0, 0};
constexpr Rgb8 kMarkerCyan{0, 255, 255};
constexpr Rgb8 kTransparent = kMarkerBlue;
// True for the five exact marker colours.
bool IsMarkerColour(Rgb8 c);

struct Point {
    float x = 0, y = 0;
};

// A paint gives the colour at a point (target pixels).
using Paint = std::function<Rgba(float x, float y)>;
Paint Solid(Rgba c);
// c0 at p0 to c1 at p1, clamped beyond.
Paint Linear(Point p0, Rgba c0, Point p1, Rgba c1);
// inner at the centre to outer at `radius`, clamped beyond; ry/rx scales it into an ellipse.
Paint Radial(Point centre, float radius, Rgba inner, Rgba outer, float yScale = 1.0f);

// ---- Canvas ----

enum class Blend {
    kOver,     // source over destination
    kAdd,      // adds colour × alpha (light); alpha saturates
    kMultiply, // darkens by the source colour, weighted by its alpha
};

// A picture of width × height target pixels stored at `scale` × that resolution, premultiplied
// float RGBA. Draw, then Resolve to get the target-size picture.
class Canvas {
public:
    Canvas(int width, int height, int scale = 4);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Scale() const { return scale_; }
    int PixelWidth() const { return width_ * scale_; }
    int PixelHeight() const { return height_ * scale_; }

    // Premultiplied sample (px, py) of the supersampled grid; outside reads transparent.
    Rgba Sample(int px, int py) const;
    void SetSample(int px, int py, Rgba premultiplied);
    // Blends a straight colour into sample (px, py) with the given coverage (0..1).
    void PutSample(int px, int py, Rgba colour, float coverage, Blend blend = Blend::kOver);

    void Clear(Rgba c);
    void Fill(const Paint& paint, Blend blend = Blend::kOver, float opacity = 1.0f);
    // Nonzero winding fill.
    void FillPolygon(const std::vector<Point>& points, const Paint& paint,
                     Blend blend = Blend::kOver, float opacity = 1.0f);
    void FillRect(float x0, float y0, float x1, float y1, const Paint& paint,
                  Blend blend = Blend::kOver, float opacity = 1.0f);
    void FillEllipse(Point centre, float rx, float ry, const Paint& paint,
                     Blend blend = Blend::kOver, float opacity = 1.0f);
    // A rectangle with rounded corners.
    void FillRoundRect(float x0, float y0, float x1, float y1, float radius, const Paint& paint,
                       Blend blend = Blend::kOver, float opacity = 1.0f);
    // A line of the given width with flat ends.
    void StrokeLine(Point a, Point b, float width, const Paint& paint, Blend blend = Blend::kOver,
                    float opacity = 1.0f);
    // The outline of a polygon (closed) or polyline.
    void StrokePath(const std::vector<Point>& points, float width, const Paint& paint, bool closed,
                    Blend blend = Blend::kOver, float opacity = 1.0f);

    // Gaussian-like blur (three box passes); radius in target pixels.
    void Blur(float radius);
    // Composites `src` (same scale) with its top-left at (dx, dy) target pixels, rounded to
    // the sample grid.
    void Draw(const Canvas& src, float dx, float dy, Blend blend = Blend::kOver,
              float opacity = 1.0f);
    // Keeps the coverage, replaces the colour (for shadows and glows of a shape).
    void Tint(Rgba colour);
    // Multiplies every sample's alpha (and colour) by the coverage of `mask` (same size).
    void MaskBy(const Canvas& mask);
    // A copy moved by (dx, dy) target pixels, cropped to the same size.
    Canvas Shifted(float dx, float dy) const;

    // The target-size picture: each pixel the mean of its scale × scale samples, straight alpha.
    std::vector<Rgba> Resolve() const;

private:
    void Cover(const std::vector<std::vector<Point>>& contours, const Paint& paint, Blend blend,
               float opacity);

    int width_, height_, scale_;
    std::vector<Rgba> samples_; // premultiplied
};

// Points of an ellipse outline (enough segments for smooth edges at any scale used here).
std::vector<Point> EllipsePoints(Point centre, float rx, float ry, int segments = 96);

// ---- Text (FreeType with the DejaVu fonts) ----

enum class Face {
    kSans,
    kSansBold,
    kSansCondensed,
    kSansCondensedBold,
    kSerif,
    kSerifBold,
    kMonoBold,
};

struct TextStyle {
    Face face = Face::kSansBold;
    float size = 11.0f;    // pixel size (em) in target pixels
    float tracking = 0.0f; // extra advance after each character, target pixels
};

// The font file of a face: fontconfig's match for the DejaVu family, else the Debian path.
// Empty when neither is there.
std::string FontPath(Face face);
// Advance width of UTF-8 `text` in target pixels; -1 when the font cannot be loaded.
float TextWidth(const TextStyle& style, const std::string& text);
// Ascender and descender (positive below) in target pixels.
float TextAscent(const TextStyle& style);
float TextDescent(const TextStyle& style);
// Draws UTF-8 `text` with its baseline starting at `origin`; false when the font cannot be
// loaded or the text is not valid UTF-8 (nothing drawn then).
bool DrawText(Canvas& canvas, const TextStyle& style, Point origin, const std::string& text,
              const Paint& paint, Blend blend = Blend::kOver, float opacity = 1.0f);

// ---- Finishing: 8-bit images ----

// An 8-bit colour picture at target size.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<Rgb8> pixels; // rows top first
    Rgb8& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    Rgb8 At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Flattens a resolved picture over an opaque `matte`. With a transparent key, pixels whose
// alpha is below `alphaCut` become the key instead; the rest are composited over the matte
// (an edge colour that suits whatever the image will be drawn on). Any colour that would land
// exactly on a marker colour is moved off it by one step.
RgbImage Flatten(const std::vector<Rgba>& resolved, int width, int height, Rgba matte,
                 const Rgb8* transparentKey = nullptr, float alphaCut = 0.5f);
// Converts with clamping and rounding, moving marker colours off by one step.
Rgb8 ToRgb8(Rgba c);
// The nearest colour that is not a marker colour (itself when it is none).
Rgb8 AvoidMarker(Rgb8 c);

// A palette: `fixed` entries come first and hold exactly the colours the caller placed. Entry
// 255 of a PSP palette always reads as white, so a palette of a single picture keeps to 255
// entries and a shared one has white as its 256th.
struct Palette {
    std::vector<Rgb8> colours;
    size_t fixedCount = 0;
};

// Median cut over the non-fixed pixels of all `images` (pixels equal to a `fixed` colour are
// left out), refined by a few k-means passes, into at most `maxColours` (≤ 255) entries in all.
// No non-fixed entry equals a marker colour.
Palette BuildPalette(const std::vector<const RgbImage*>& images, const std::vector<Rgb8>& fixed,
                     int maxColours = 255);

// Colours besides black and white that one palette group has room for: it holds those two
// itself, at entries 0 and 255.
constexpr size_t kSharedColours = 254;

// One palette for pictures that are shown through one palette group: `fixed` entries as for
// BuildPalette, at most kSharedColours entries with them, then black and white, which the group
// holds anyway, so they are free to use. A picture's part in the reduction is its `weight`
// whatever its size, so that small pictures keep their few colours beside the big ones.
struct SharedImage {
    const RgbImage* image = nullptr;
    double weight = 1;
};
Palette BuildSharedPalette(const std::vector<SharedImage>& images, const std::vector<Rgb8>& fixed);

// An 8-bit paletted picture.
struct IndexedImage {
    int width = 0, height = 0;
    std::vector<Rgb8> palette; // ≤ 256 entries; a 256th is white
    std::vector<uint8_t> indices;
    Rgb8 ColourAt(int x, int y) const {
        return palette[indices[static_cast<size_t>(y) * width + x]];
    }
};

// Maps every pixel to the palette: a pixel equal to a fixed colour to that entry, every other
// pixel to its nearest non-fixed entry, with Floyd–Steinberg error diffusion when `dither`.
// (With no non-fixed entries at all, to the nearest fixed entry that is no marker colour.)
IndexedImage Remap(const RgbImage& image, const Palette& palette, bool dither = false);
// BuildPalette of this one image, then Remap.
IndexedImage Quantize(const RgbImage& image, const std::vector<Rgb8>& fixed, bool dither = false,
                      int maxColours = 255);

// A picture in full colour, markers and transparent blue in place, before it meets a palette;
// `dither` for soft gradients, off for small crisp pictures; `weight` its part in a shared
// palette.
struct Drawing {
    RgbImage image;
    bool dither = false;
    double weight = 1;
};

// BuildSharedPalette of all the drawings, then each remapped to it.
std::vector<IndexedImage> QuantizeTogether(const std::vector<const Drawing*>& drawings,
                                           const std::vector<Rgb8>& fixed);

// ---- Files ----

// An 8-bit PSP file of the image (zlib-compressed channel, palette of 256 entries with the
// unused ones black).
std::vector<uint8_t> PspBytes(const IndexedImage& image);
// Writes bytes to `path`; false (with a message on stderr) when it cannot.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A zz block of `bytes` (the game's compressed resource form).
bool ZzBlock(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* block);
// A BMP file (24-bit) of an 8-bit image, for previews and the desktop icon's bitmap form.
std::vector<uint8_t> BmpBytes(const RgbImage& image);
// An ICO file holding each image as a 32-bit entry (alpha from `alphas`, one per pixel;
// empty means opaque).
struct IconImage {
    RgbImage image;
    std::vector<uint8_t> alpha;
};
std::vector<uint8_t> IcoBytes(const std::vector<IconImage>& images);

} // namespace artgen
