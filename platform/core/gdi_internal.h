// Private to the drawing layer: the object table, surfaces, per-format pixel code and the state
// of a device context. Every public entry point takes the layer lock before touching any of it.
#pragma once

#include "platform/gdi.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::gdi::detail {

std::recursive_mutex& Lock();

// ---- Pixel formats --------------------------------------------------------------------------

// One table per format, so that each format's arithmetic lives in one place. Paletted formats
// have no colour conversion of their own: their values go through the surface's colour table.
struct Format {
    int bpp;
    bool paletted;
    DWORD valueMask;
    DWORD (*get)(const BYTE* row, int x);
    void (*put)(BYTE* row, int x, DWORD value);
    // Direct formats only.
    DWORD (*fromRgb)(BYTE r, BYTE g, BYTE b);
    void (*toRgb)(DWORD value, BYTE* r, BYTE* g, BYTE* b);
};

const Format* FormatFor(int bpp);

// ---- Surfaces -------------------------------------------------------------------------------

// Pixel memory of one bitmap; rows may run bottom-up (negative step).
struct Surface {
    int width = 0;
    int height = 0;
    int bpp = 0;
    int pitch = 0;
    const Format* format = nullptr;
    std::vector<BYTE> storage;
    BYTE* first = nullptr; // address of row 0 (the top row)
    long step = 0;         // bytes from one row to the next one down
    int tableSize = 0;
    std::array<RGBQUAD, 256> table{};
    // A device mask: its bits take the text and background colours of a colour context.
    bool deviceMono = false;

    BYTE* Row(int y) { return first + static_cast<long>(y) * step; }
    const BYTE* Row(int y) const { return first + static_cast<long>(y) * step; }
    DWORD Get(int x, int y) const { return format->get(Row(y), x); }
    void Put(int x, int y, DWORD v) { format->put(Row(y), x, v); }
};

// Pitch of a row of `width` pixels at `bpp`, or -1 when it would not fit.
long PitchFor(long width, int bpp);
// Allocates zeroed pixel memory; false when the size is unreasonable.
bool AllocateSurface(Surface& surface, int width, int height, int bpp, bool topDown);

COLORREF ValueToColour(const Surface& s, DWORD value);
// Nearest entry for paletted formats.
DWORD ColourToValue(const Surface& s, COLORREF rgb);
int NearestIndex(const RGBQUAD* table, int size, BYTE r, BYTE g, BYTE b);

// ---- Objects --------------------------------------------------------------------------------

enum class Kind { Bitmap, Brush, Font, Region, Palette, DC };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
};

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    Surface surface;
    bool dibSection = false;
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    COLORREF colour = 0;
    bool null = false;
};

struct FontFace; // the realised font, owned by the text area

struct Font : Object {
    Font() : Object(Kind::Font) {}
    LOGFONTW logfont{};
    std::shared_ptr<FontFace> face;
};

struct Band {
    int top;
    int bottom;
    std::vector<std::pair<int, int>> spans; // [left, right) sorted, disjoint, non-touching
};

struct Region : Object {
    Region() : Object(Kind::Region) {}
    std::vector<Band> bands; // sorted, disjoint, no two adjacent bands with equal spans
};

struct Palette : Object {
    Palette() : Object(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct DCState {
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Font> font;
    std::shared_ptr<Palette> palette;
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF bkColour = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
};

struct DC : Object {
    DC() : Object(Kind::DC) {}
    DCState state;
    std::vector<DCState> saved;
    bool screen = false;      // from GetDC(NULL): ReleaseDC deletes it
    bool fixedTarget = false; // the bitmap cannot be swapped (screen and surface contexts)
    // A context on part of a surface (a window's client area) draws only there, with that part's
    // top-left corner as its origin.
    bool hasArea = false;
    RECT area{};
    // A window context clipped by its parents keeps its own client corner as (0, 0).
    bool hasOrigin = false;
    POINT origin{};
};

// The part of the surface a context draws on, in surface coordinates.
RECT AreaOf(const DC& dc);
// Where the context's (0, 0) lies on the surface.
POINT OriginOf(const DC& dc);
// A context for a window: draws on `bitmap` inside `clip`, with (0, 0) at `origin` (both in
// surface coordinates). ReleaseDC deletes it.
HDC NewWindowDC(std::shared_ptr<Bitmap> bitmap, RECT clip, POINT origin);
RECT Intersect(const RECT& a, const RECT& b);
RECT Offset(RECT r, int dx, int dy);
// Fills a rectangle given in the context's coordinates, clipped to its area.
void FillInDC(const DC& dc, const RECT& r, DWORD value);

// Registers a new object and returns its handle.
void* Register(std::shared_ptr<Object> object);
// The live object behind a handle, or null. FindAs also checks the kind and sets
// ERROR_INVALID_HANDLE when the handle is dead or of another kind.
std::shared_ptr<Object> Find(const void* handle);
template <typename T>
std::shared_ptr<T> FindAs(const void* handle, Kind kind) {
    auto object = Find(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
std::shared_ptr<DC> FindDC(HDC hdc);
void Unregister(const void* handle);
void* HandleOf(const Object* object);

// The screen surface and its palette.
std::shared_ptr<Bitmap> ScreenBitmap();
const std::array<PALETTEENTRY, 256>& SystemPalette();
int SystemPaletteSize();
// Resolves a palette-relative or index colour against a context to plain RGB.
COLORREF ResolveColour(const DC& dc, COLORREF colour);
// The value to store on the context's surface for a colour.
DWORD ValueForColour(const DC& dc, COLORREF colour);

// Fills a rectangle (already in surface coordinates; clipped here) with a pixel value.
void FillValue(Surface& s, RECT r, DWORD value);
bool ClipRect(RECT& r, int width, int height);

} // namespace platform::gdi::detail
