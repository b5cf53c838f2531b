// Graphic: the engine's drawing surface. A root graphic owns a DIB section whose pixels the
// engine addresses directly; a child graphic is a rectangle of another graphic. Copies between
// graphics of the same depth are done here in software (rows, transparency spans, per-pixel
// blending); the platform's drawing calls serve only other depths, windows and fallbacks.
//
// The game (device build) copies with colour keys; the setup program (desktop build) keeps a
// mask bitmap and black transparent pixels for its two-step mask copies and can stretch.
#pragma once

#include "platform/base.h"
#include "platform/gdi.h"

class Sprite;
class PaletteGroup;

// A colour is red | green << 8 | blue << 16; all ones means none.
constexpr COLORREF kNoColor = 0xFFFFFFFF;
// As a width or height of a copy: up to the source's (or destination's) edge.
constexpr LONG kToEdge = 0x7FFFFFFF;

struct GRAPHIC_TRANSLUCENCY {
    DWORD mode; // 0 opaque, 1 uniform level, 2 opacity map; other values blend like 1
    BYTE level; // uniform opacity, 255 counting as fully opaque
    BYTE* pbOpacity;
    DWORD cOpacityRows;
    DWORD cbOpacityStride; // equals the width
};

struct GRAPHIC_SPAN {
    LONG x;
    LONG length;
};
struct GRAPHIC_SPANROW {
    DWORD first; // index of the row's first span, all ones when the row has none
    DWORD count;
};

class Graphic {
public:
    // Loading. A failed load leaves a valid, empty graphic (see IsLoaded). With a sprite, a
    // multi-layer PSP image becomes one frame graphic per layer appended to the sprite.
    Graphic(LPCTSTR fileName, COLORREF transparent, Sprite* sprite = nullptr);
    Graphic(HANDLE file, COLORREF transparent, Sprite* sprite = nullptr);
    Graphic(const void* data, DWORD size, COLORREF transparent, Sprite* sprite = nullptr);
    // A resource of type RT_BITMAP, "GRAPHIC" or "PSP", tried in that order.
    Graphic(HMODULE module, LPCTSTR name, COLORREF transparent, Sprite* sprite = nullptr);
    // Blank: bits 0 takes the display's depth; colours default to black/white or the system
    // palette.
    Graphic(LONG width, LONG height, DWORD bits, const RGBQUAD* colors = nullptr);
    Graphic(LONG width, LONG height, DWORD bits, PaletteGroup* group);
    // A rectangle of `parent` (its whole rectangle when `rect` is null).
    Graphic(Graphic* parent, const RECT* rect = nullptr);
    ~Graphic();
    Graphic(const Graphic&) = delete;
    Graphic& operator=(const Graphic&) = delete;

    // Destroys children first (with a warning each), releases everything; the object stays
    // as an invalid record. A second call only traces.
    void Destroy();

    BOOL IsLoaded();
    BOOL IsChild();
    Graphic* GetParent();
    BOOL GetRectInParent(RECT* rect);
    BOOL GetRect(RECT* rect);
    LONG GetWidth();
    LONG GetHeight();
    DWORD GetBitsPerPixel();

    COLORREF GetTransparency();
    BOOL SetTransparency(COLORREF color);
    BOOL IsTranslucent();
    GRAPHIC_TRANSLUCENCY* GetTranslucency();
    BOOL SetTranslucency(DWORD mode, BYTE level);
    BOOL SetOpacityFromGraphic(Graphic* mask);

    BOOL HasSelection();
    // A copy of the selection bytes under this graphic's rectangle (width x height).
    BOOL GetSelection(BYTE** buffer, DWORD* size);
    void FreeSelection(BYTE* buffer);

    DWORD ColorToValue(COLORREF color);
    COLORREF ValueToColor(DWORD value);
    DWORD GetPixelValue(LONG x, LONG y);
    void SetPixelValue(LONG x, LONG y, DWORD value);
    COLORREF GetPixelColor(LONG x, LONG y);
    void SetPixelColor(LONG x, LONG y, COLORREF color);

    // The root's memory context; a child's caller adds the child's offset.
    HDC GetDC();
    void ReleaseDC();

    BOOL DrawTo(Graphic* dst, LONG x, LONG y, LONG xSrc = 0, LONG ySrc = 0, LONG width = kToEdge,
                LONG height = kToEdge);
    BOOL DrawTo(HDC dst, LONG x, LONG y, LONG xSrc = 0, LONG ySrc = 0, LONG width = kToEdge,
                LONG height = kToEdge);
    BOOL StretchTo(Graphic* dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc,
                   LONG ySrc, LONG srcWidth, LONG srcHeight);
    BOOL StretchTo(HDC dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc, LONG ySrc,
                   LONG srcWidth, LONG srcHeight);
    BOOL TileTo(Graphic* dst, LONG x, LONG y, LONG width, LONG height, LONG xSrc, LONG ySrc,
                LONG srcWidth, LONG srcHeight, LONG xOffset, LONG yOffset);
    BOOL TileTo(HDC dst, LONG x, LONG y, LONG width, LONG height, LONG xSrc, LONG ySrc,
                LONG srcWidth, LONG srcHeight, LONG xOffset, LONG yOffset);

    UINT GetPaletteEntries(PALETTEENTRY* entries, UINT first, UINT count);
    BOOL SetPaletteEntries(const PALETTEENTRY* entries, UINT first, UINT count);
    COLORREF GetPaletteColor(UINT index);

    BOOL Save(HANDLE file);
    DWORD GetSaveSize(BOOL withFileHeader);
    // Debug viewer: a window showing the graphic until it is closed; a click puts the pixel's
    // colour and position in the title.
    void Show();

    // ---- For the engine's own modules (PSP reader, palette groups, sprites, window) ----

    Graphic* GetRoot();
    BYTE* GetBits();      // the root's pixels
    LONG GetPitch();      // the root's row pitch
    HBITMAP GetSurface(); // the root's DIB section
    PaletteGroup* GetPaletteGroup();
    void SetPaletteGroupLink(PaletteGroup* group); // no membership change, link only
    BOOL HasOpenDC();
    // Makes a root surface in place (a load target); fails on a child or a loaded root.
    BOOL CreateSurface(LONG width, LONG height, DWORD bits, const RGBQUAD* colors);
    // Takes ownership of a selection mask (allocated with MemAlloc) for the root.
    void AttachSelection(BYTE* mask, DWORD size);
    // Rebuilds derived transparency data now (normally done before each transparent copy).
    void PrepareTransparency();
    // How many rows the span table holds (tests and benchmarks).
    DWORD GetSpanRowCount();

private:
    struct NotChildData {
        HBITMAP hbmSurface;
        BYTE* pBits;
        RGBQUAD colors[256];
        RECT rect;
        DWORD bitsPerPixel;
        HDC hdc;
        DWORD cDCUses;
        HGDIOBJ hbmOld;
        LONG cbPitch;
        DWORD valueMask;
        PaletteGroup* group;
        GRAPHIC_TRANSLUCENCY translucency;
        COLORREF transparent;
        COLORREF prepared;
        HBITMAP hbmMask;  // desktop build only
        BYTE* pbMaskBits; // desktop build only: the mask's bits, 1 = transparent
        GRAPHIC_SPAN* spans;
        DWORD cSpans;
        DWORD cSpansUsed;
        GRAPHIC_SPANROW* rows;
        DWORD cRows;
        BYTE* pbSelection;
        DWORD cbSelection;
    };
    struct ChildData {
        Graphic* parent;
        RECT rect;
    };

    DWORD valid_;
    DWORD child_;
    union {
        NotChildData NotChild;
        ChildData Child;
    } m;
    Graphic** children_;
    std::size_t cChildren_;

    void Clear();
    bool Check(const char* operation);
    void LoadFromMemory(const BYTE* data, DWORD size, COLORREF transparent, Sprite* sprite);
    bool LoadBmp(const BYTE* data, DWORD size);
    bool CreateBlank(LONG width, LONG height, DWORD bits, const RGBQUAD* colors);
    void FreeSurface();
    void RemoveChild(Graphic* child);
    BYTE* PixelAddress(LONG x, LONG y);
    void BuildSpans();
    void FreeSpans();
    void RestoreTransparentPixels();
    BOOL DrawToGraphic(Graphic* dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height);
    BOOL DrawToDC(HDC dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height);
    BOOL StretchToDC(HDC dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc, LONG ySrc,
                     LONG srcWidth, LONG srcHeight);
    void BlendTo(Graphic* dstRoot, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height);
    void CopyRows(Graphic* dstRoot, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height);
    void CopySpans(Graphic* dstRoot, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height);
};

// The fixed colour cube of palette groups: cube cell -> palette index.
extern const BYTE kColorCubeTable[256];
