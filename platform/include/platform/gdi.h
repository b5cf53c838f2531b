// The software drawing layer: DIB sections, device contexts, copies between surfaces, text,
// regions and palettes. Everything draws into directly addressable pixel memory in the
// platform's layouts; putting a surface on a real screen is the window layer's business.
#pragma once

#include "platform/types.h"

// ---- Structures (sizes and layouts as on the platform) ----------------------------------------

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

struct LOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
};

#define LF_FACESIZE 32

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

struct RGNDATAHEADER {
    DWORD dwSize;
    DWORD iType;
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
};

struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
};

struct XFORM {
    float eM11;
    float eM12;
    float eM21;
    float eM22;
    float eDx;
    float eDy;
};

#ifdef UNICODE
using LOGFONT = LOGFONTW;
#else
using LOGFONT = LOGFONTA;
#endif
using TEXTMETRIC = TEXTMETRICW;

// ---- Constants -----------------------------------------------------------------------------

#define BI_RGB 0L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

// Raster operations.
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGEPAINT 0x00BB0226
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define PATCOPY 0x00F00021
#define PATINVERT 0x005A0049

// Stretch modes (every mode samples the nearest source pixel here).
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

#define TRANSPARENT 1
#define OPAQUE 2

// Colour references beyond plain RGB.
#define CLR_INVALID 0xFFFFFFFF
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define PALETTEINDEX(i)                                                                            \
    (static_cast<COLORREF>(0x01000000 | static_cast<DWORD>(static_cast<WORD>(i))))

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define SYSTEM_FONT 13
#define DEFAULT_PALETTE 15
#define DEFAULT_GUI_FONT 17

// Object types (GetCurrentObject).
#define OBJ_BRUSH 2
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7

// Device capabilities.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define COLORRES 108
#define RC_PALETTE 0x0100

// System metrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CYMENU 15
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_CXEDGE 45
#define SM_CYEDGE 46

// System colours.
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHILIGHT COLOR_BTNHIGHLIGHT

// Edges.
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_MIDDLE 0x0800
#define BF_ADJUST 0x2000

// Fonts.
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4

// Text output.
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define DT_TOP 0x0000
#define DT_LEFT 0x0000
#define DT_CENTER 0x0001
#define DT_RIGHT 0x0002
#define DT_VCENTER 0x0004
#define DT_BOTTOM 0x0008
#define DT_WORDBREAK 0x0010
#define DT_SINGLELINE 0x0020
#define DT_EXPANDTABS 0x0040
#define DT_NOCLIP 0x0100
#define DT_CALCRECT 0x0400
#define DT_NOPREFIX 0x0800

// Regions.
#define RDH_RECTANGLES 1
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

#define GDI_ERROR 0xFFFFFFFF

// ---- Device contexts -------------------------------------------------------------------------

// GetDC(NULL) is the screen; window contexts belong to the window layer.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// Selects a bitmap (not into screen contexts), brush or font; returns the previous object.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int savedDC);
int GetDeviceCaps(HDC hdc, int index);
int GetSystemMetrics(int index);
DWORD GetSysColor(int index);

COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);

// ---- Bitmaps ------------------------------------------------------------------------------

// Pixel memory addressed by the caller: rows top-down for a negative height, pitch
// ((width x bits + 31) / 32) x 4, sub-byte pixels most significant first. 16-bit surfaces are
// 5-5-5 (bit fields 0x7C00/0x03E0/0x001F or BI_RGB); 32-bit pixels hold blue, green and red in
// their low three bytes whatever masks are given.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// A device bitmap; 1-bit bitmaps are masks whose bits take the text and background colours of
// the context they are copied to. `bits` rows are 16-bit aligned, as on the platform.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
COLORREF GetPixel(HDC hdc, int x, int y);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);

// ---- Brushes and shapes -------------------------------------------------------------------

HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH GetSysColorBrush(int index);
// `brush` may also be a system colour index + 1, as on the platform.
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags);
// Dotted, drawn by inverting: a second call removes it.
BOOL DrawFocusRect(HDC hdc, const RECT* rect);

// ---- Copies -------------------------------------------------------------------------------

// Copies convert between depths through colour tables. A 1-bit device bitmap copied onto colour
// takes the destination's text colour for 0 and background colour for 1; colour copied onto a
// 1-bit surface gives 1 where the source equals the source context's background colour.
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                int widthSrc, int heightSrc, DWORD rop);
// A colour-keyed copy, scaled from the source size to the destination size. `src` is a device
// context or a bitmap.
BOOL TransparentImage(HDC dst, int x, int y, int width, int height, HANDLE src, int xSrc, int ySrc,
                      int widthSrc, int heightSrc, COLORREF transparent);

// ---- Fonts and text -------------------------------------------------------------------------

HFONT CreateFontIndirectA(const LOGFONTA* font);
HFONT CreateFontIndirectW(const LOGFONTW* font);
BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* metrics);
BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE* size);
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size);
// How many characters fit into `maxExtent` (when `fit` is given) and the extent after each
// character (when `dx` is given).
BOOL GetTextExtentExPointA(HDC hdc, LPCSTR text, int count, int maxExtent, int* fit, int* dx,
                           SIZE* size);
BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR text, int count, int maxExtent, int* fit, int* dx,
                           SIZE* size);
BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const int* dx);
BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const int* dx);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count);
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count);
// Returns the height of the text drawn (0 on failure). A count of -1 means up to the NUL.
int DrawTextA(HDC hdc, LPCSTR text, int count, RECT* rect, UINT format);
int DrawTextW(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format);

// ---- Regions ------------------------------------------------------------------------------

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN ExtCreateRegion(const XFORM* xform, DWORD count, const RGNDATA* data);
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN region, int x, int y);
BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
// Bytes needed when `data` is null or `count` is too small; otherwise bytes written.
DWORD GetRegionData(HRGN region, DWORD count, RGNDATA* data);
int GetRgnBox(HRGN region, RECT* rect);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL EqualRgn(HRGN a, HRGN b);

// ---- Palettes -----------------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC hdc);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color);
// With `entries` null: the number of system palette entries.
UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries);

// ---- Narrow/wide forms by the caller's character width ---------------------------------------

// The forms that depend on the caller's character width live in an inline namespace per width,
// so that code of both flavours can share one program without two meanings of one function.
#ifdef UNICODE
inline namespace tessark_wide {
inline int GetObject(HGDIOBJ o, int size, LPVOID buffer) {
    return GetObjectW(o, size, buffer);
}
inline HFONT CreateFontIndirect(const LOGFONTW* font) {
    return CreateFontIndirectW(font);
}
} // namespace tessark_wide
#else
inline namespace tessark_narrow {
inline int GetObject(HGDIOBJ o, int size, LPVOID buffer) {
    return GetObjectA(o, size, buffer);
}
inline HFONT CreateFontIndirect(const LOGFONTA* font) {
    return CreateFontIndirectA(font);
}
} // namespace tessark_narrow
#endif
inline BOOL GetTextMetrics(HDC hdc, TEXTMETRICW* tm) {
    return GetTextMetricsW(hdc, tm);
}
inline BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int count, SIZE* size) {
    return GetTextExtentPoint32W(hdc, text, count, size);
}
inline BOOL GetTextExtentPoint32(HDC hdc, LPCSTR text, int count, SIZE* size) {
    return GetTextExtentPoint32A(hdc, text, count, size);
}
inline BOOL GetTextExtentExPoint(HDC hdc, LPCWSTR text, int count, int maxExtent, int* fit, int* dx,
                                 SIZE* size) {
    return GetTextExtentExPointW(hdc, text, count, maxExtent, fit, dx, size);
}
inline BOOL GetTextExtentExPoint(HDC hdc, LPCSTR text, int count, int maxExtent, int* fit, int* dx,
                                 SIZE* size) {
    return GetTextExtentExPointA(hdc, text, count, maxExtent, fit, dx, size);
}
inline BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                       UINT count, const int* dx) {
    return ExtTextOutW(hdc, x, y, options, rect, text, count, dx);
}
inline BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text,
                       UINT count, const int* dx) {
    return ExtTextOutA(hdc, x, y, options, rect, text, count, dx);
}
inline BOOL TextOut(HDC hdc, int x, int y, LPCWSTR text, int count) {
    return TextOutW(hdc, x, y, text, count);
}
inline BOOL TextOut(HDC hdc, int x, int y, LPCSTR text, int count) {
    return TextOutA(hdc, x, y, text, count);
}
inline int DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
    return DrawTextW(hdc, text, count, rect, format);
}
inline int DrawText(HDC hdc, LPCSTR text, int count, RECT* rect, UINT format) {
    return DrawTextA(hdc, text, count, rect, format);
}

// ---- The layer's own settings ----------------------------------------------------------------

namespace platform::gdi {

// The offscreen screen surface behind GetDC(NULL).
struct ScreenSettings {
    int width;
    int height;
    int bitsPerPixel;
    int logPixelsY;
};

enum class Flavour { Device, Desktop };

// Device: 240 x 320 at 16 bits; desktop: 1024 x 768 at 24 bits; both 96 pixels per inch.
// TESSARK_DEPTH (1, 4, 8, 16, 24 or 32) overrides the depth. Recreates the screen surface.
void SetScreenFlavour(Flavour flavour);
void SetScreen(const ScreenSettings& settings);
ScreenSettings GetScreen();

// Picks the flavour the calling code was compiled for; programs call it once at start-up.
#ifdef TESSARK_DESKTOP
inline namespace desktop_flavour {
inline void UseCallerFlavour() {
    SetScreenFlavour(Flavour::Desktop);
}
} // namespace desktop_flavour
#else
inline namespace device_flavour {
inline void UseCallerFlavour() {
    SetScreenFlavour(Flavour::Device);
}
} // namespace device_flavour
#endif

// A context drawing onto `bitmap` directly (the seam window contexts use): deleting the
// context leaves the bitmap alone. With `area`, the context draws only inside that rectangle of
// the bitmap, and its (0, 0) is the rectangle's top-left corner.
HDC CreateSurfaceDC(HBITMAP bitmap, const RECT* area = nullptr);

// A font from a short description such as "Arial,-14,I" or "MS Shell Dlg,10": sizes in points
// go through the screen's LOGPIXELSY, negative sizes are pixel heights, letters B/I/U set bold,
// italic and underline, any other item but "default" is the face name. With `esperanto` the face
// gets " Eo" appended unless it already ends so. The caller owns the font.
HFONT FontFromDescription(const char* description, bool esperanto);
HFONT FontFromDescription(const char16_t* description, bool esperanto);

} // namespace platform::gdi
