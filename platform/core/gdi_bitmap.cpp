// Bitmaps, brushes and the simple shapes drawn with them.
#include "platform/core/gdi_internal.h"

#include <algorithm>
#include <cstring>

using namespace platform::gdi::detail;

namespace {

// The masks follow a 40-byte header and sit at the same place inside the longer headers.
bool MasksAre(const BITMAPINFO* info, DWORD r, DWORD g, DWORD b) {
    DWORD masks[3];
    std::memcpy(masks, reinterpret_cast<const BYTE*>(info) + sizeof(BITMAPINFOHEADER),
                sizeof(masks));
    return masks[0] == r && masks[1] == g && masks[2] == b;
}

} // namespace

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD) {
    std::lock_guard lock(Lock());
    if (bits != nullptr) *bits = nullptr;
    if (hdc != nullptr && !FindDC(hdc)) return nullptr;
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int bpp = h.biBitCount;
    bool valid = h.biSize >= sizeof(BITMAPINFOHEADER) && h.biPlanes == 1 && h.biWidth > 0 &&
                 h.biHeight != 0 && h.biHeight != INT32_MIN && FormatFor(bpp) != nullptr;
    if (valid && h.biCompression == BI_BITFIELDS) {
        // 16-bit surfaces are always 5-5-5; 32-bit ones are read as blue, green, red bytes.
        valid = bpp == 32 || (bpp == 16 && MasksAre(info, 0x7C00, 0x03E0, 0x001F));
    } else if (valid) {
        valid = h.biCompression == BI_RGB;
    }
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->dibSection = true;
    Surface& s = bitmap->surface;
    bool topDown = h.biHeight < 0;
    int height = topDown ? -h.biHeight : h.biHeight;
    if (!AllocateSurface(s, h.biWidth, height, bpp, topDown)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (s.format->paletted) {
        DWORD used = h.biClrUsed == 0 ? static_cast<DWORD>(s.tableSize)
                                      : std::min<DWORD>(h.biClrUsed, s.tableSize);
        const auto* colours =
            reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + h.biSize);
        for (DWORD i = 0; i < used; ++i) {
            s.table[i] = colours[i];
            s.table[i].rgbReserved = 0;
        }
    }
    if (bits != nullptr) *bits = s.storage.data();
    return static_cast<HBITMAP>(Register(bitmap));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bpp, const void* bits) {
    std::lock_guard lock(Lock());
    auto bitmap = std::make_shared<Bitmap>();
    Surface& s = bitmap->surface;
    if (planes != 1 || !AllocateSurface(s, width, height, static_cast<int>(bpp), true)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (s.format->paletted) {
        const auto& sys = SystemPalette();
        for (int i = 0; i < s.tableSize; ++i) {
            s.table[i] = {sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0};
        }
    }
    if (bpp == 1) {
        s.table[1] = {255, 255, 255, 0};
        s.deviceMono = true;
    }
    if (bits != nullptr) {
        // Rows of the caller's data are 16-bit aligned.
        long sourcePitch = ((static_cast<long>(width) * bpp + 15) / 16) * 2;
        long rowBytes = (static_cast<long>(width) * bpp + 7) / 8;
        for (int y = 0; y < height; ++y) {
            std::memcpy(s.Row(y), static_cast<const BYTE*>(bits) + y * sourcePitch, rowBytes);
        }
    }
    return static_cast<HBITMAP>(Register(bitmap));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return nullptr;
    const Surface& like = dc->state.bitmap->surface;
    auto bitmap = std::make_shared<Bitmap>();
    Surface& s = bitmap->surface;
    if (!AllocateSurface(s, width, height, like.bpp, true)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    s.table = like.table;
    s.deviceMono = like.bpp == 1;
    if (s.deviceMono) {
        s.table[0] = {0, 0, 0, 0};
        s.table[1] = {255, 255, 255, 0};
    }
    return static_cast<HBITMAP>(Register(bitmap));
}

namespace {

int GetObjectCommon(HGDIOBJ handle, int size, LPVOID buffer, bool wide) {
    std::lock_guard lock(Lock());
    auto object = Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->kind) {
    case Kind::Bitmap: {
        if (buffer == nullptr) return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP))) return 0;
        const Surface& s = static_cast<Bitmap&>(*object).surface;
        BITMAP bm{};
        bm.bmWidth = s.width;
        bm.bmHeight = s.height;
        bm.bmWidthBytes = s.pitch;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(s.bpp);
        bm.bmBits = static_cast<Bitmap&>(*object).dibSection ? const_cast<BYTE*>(s.storage.data())
                                                             : nullptr;
        std::memcpy(buffer, &bm, sizeof(bm));
        return sizeof(BITMAP);
    }
    case Kind::Font: {
        const LOGFONTW& lf = static_cast<Font&>(*object).logfont;
        if (wide) {
            if (buffer == nullptr) return sizeof(LOGFONTW);
            int n = std::min<int>(size, sizeof(LOGFONTW));
            std::memcpy(buffer, &lf, n);
            return n;
        }
        if (buffer == nullptr) return sizeof(LOGFONTA);
        LOGFONTA a{};
        std::memcpy(&a, &lf, offsetof(LOGFONTA, lfFaceName));
        // Face names are ASCII here; anything else becomes '?'.
        for (int i = 0; i < LF_FACESIZE - 1 && lf.lfFaceName[i] != 0; ++i) {
            a.lfFaceName[i] = lf.lfFaceName[i] < 0x80 ? static_cast<char>(lf.lfFaceName[i]) : '?';
        }
        int n = std::min<int>(size, sizeof(LOGFONTA));
        std::memcpy(buffer, &a, n);
        return n;
    }
    case Kind::Palette: {
        if (buffer == nullptr || size < 2) return 2;
        WORD count = static_cast<WORD>(static_cast<Palette&>(*object).entries.size());
        std::memcpy(buffer, &count, 2);
        return 2;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

} // namespace

int GetObjectA(HGDIOBJ handle, int size, LPVOID buffer) {
    return GetObjectCommon(handle, size, buffer, false);
}
int GetObjectW(HGDIOBJ handle, int size, LPVOID buffer) {
    return GetObjectCommon(handle, size, buffer, true);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return CLR_INVALID;
    const Surface& s = dc->state.bitmap->surface;
    RECT a = AreaOf(*dc);
    POINT o = OriginOf(*dc);
    long long px = static_cast<long long>(x) + o.x, py = static_cast<long long>(y) + o.y;
    if (px < a.left || py < a.top || px >= a.right || py >= a.bottom) return CLR_INVALID;
    return ValueToColour(s, s.Get(static_cast<int>(px), static_cast<int>(py)));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return CLR_INVALID;
    Surface& s = dc->state.bitmap->surface;
    RECT a = AreaOf(*dc);
    POINT o = OriginOf(*dc);
    long long px = static_cast<long long>(x) + o.x, py = static_cast<long long>(y) + o.y;
    if (px < a.left || py < a.top || px >= a.right || py >= a.bottom) return CLR_INVALID;
    DWORD value = ValueForColour(*dc, colour);
    s.Put(static_cast<int>(px), static_cast<int>(py), value);
    return ValueToColour(s, value);
}

// ---- Brushes and shapes

HBRUSH CreateSolidBrush(COLORREF colour) {
    std::lock_guard lock(Lock());
    auto brush = std::make_shared<Brush>();
    brush->colour = colour;
    return static_cast<HBRUSH>(Register(brush));
}

HBRUSH GetSysColorBrush(int index) {
    std::lock_guard lock(Lock());
    static std::array<std::shared_ptr<Brush>, 25> brushes;
    if (index < 0 || index >= static_cast<int>(brushes.size())) return nullptr;
    if (!brushes[index]) {
        brushes[index] = std::make_shared<Brush>();
        brushes[index]->colour = GetSysColor(index);
        brushes[index]->stock = true;
        Register(brushes[index]);
    }
    return static_cast<HBRUSH>(HandleOf(brushes[index].get()));
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH handle) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || rect == nullptr) return 0;
    COLORREF colour;
    auto raw = reinterpret_cast<std::uintptr_t>(handle);
    if (raw >= 1 && raw <= 25) {
        // A system colour index + 1 stands for that colour's brush.
        colour = GetSysColor(static_cast<int>(raw - 1));
    } else {
        auto brush = FindAs<Brush>(handle, Kind::Brush);
        if (!brush) return 0;
        if (brush->null) return 1;
        colour = brush->colour;
    }
    FillInDC(*dc, *rect, ValueForColour(*dc, colour));
    return 1;
}

namespace {

void HLine(const DC& s, int x0, int x1, int y, DWORD v) {
    FillInDC(s, {x0, y, x1, y + 1}, v);
}
void VLine(const DC& s, int x, int y0, int y1, DWORD v) {
    FillInDC(s, {x, y0, x + 1, y1}, v);
}

// One ring of an edge: top and left in one colour, bottom and right in the other.
void Ring(const DC& dc, const DC& s, const RECT& r, UINT flags, COLORREF topLeft,
          COLORREF bottomRight) {
    DWORD tl = ValueForColour(dc, topLeft), br = ValueForColour(dc, bottomRight);
    if (flags & BF_TOP) HLine(s, r.left, r.right, r.top, tl);
    if (flags & BF_LEFT) VLine(s, r.left, r.top, r.bottom, tl);
    if (flags & BF_BOTTOM) HLine(s, r.left, r.right, r.bottom - 1, br);
    if (flags & BF_RIGHT) VLine(s, r.right - 1, r.top, r.bottom, br);
}

} // namespace

BOOL DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || rect == nullptr) return FALSE;
    const DC& s = *dc;
    RECT r = *rect;
    auto shrink = [&](RECT& q) {
        if (flags & BF_LEFT) ++q.left;
        if (flags & BF_TOP) ++q.top;
        if (flags & BF_RIGHT) --q.right;
        if (flags & BF_BOTTOM) --q.bottom;
    };
    UINT outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
    UINT inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
    if (outer == BDR_RAISEDOUTER) {
        Ring(*dc, s, r, flags, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    } else if (outer == BDR_SUNKENOUTER) {
        Ring(*dc, s, r, flags, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT));
    }
    if (outer != 0) shrink(r);
    if (inner == BDR_RAISEDINNER) {
        Ring(*dc, s, r, flags, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DSHADOW));
    } else if (inner == BDR_SUNKENINNER) {
        Ring(*dc, s, r, flags, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
    }
    if (inner != 0) shrink(r);
    if (flags & BF_MIDDLE) FillInDC(s, r, ValueForColour(*dc, GetSysColor(COLOR_3DFACE)));
    if (flags & BF_ADJUST) *rect = r;
    return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rect) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || rect == nullptr) return FALSE;
    Surface& s = dc->state.bitmap->surface;
    const RECT a = AreaOf(*dc);
    const POINT o = OriginOf(*dc);
    const RECT r = Offset(*rect, o.x, o.y);
    if (r.right <= r.left || r.bottom <= r.top) return TRUE;
    auto invert = [&](long long x, long long y) {
        if (x < a.left || y < a.top || x >= a.right || y >= a.bottom) return;
        s.Put(static_cast<int>(x), static_cast<int>(y),
              s.Get(static_cast<int>(x), static_cast<int>(y)) ^ s.format->valueMask);
    };
    // Every other pixel along the border, counted from the corner, so each pixel is inverted
    // once; the walk starts and stops inside the area whatever the rectangle's size.
    auto first = [](long long from, long long limit) {
        return from >= limit ? from : from + ((limit - from + 1) / 2) * 2;
    };
    const long long xEnd = std::min<long long>(r.right, a.right);
    for (long long x = first(r.left, a.left); x < xEnd; x += 2) {
        invert(x, r.top);
        if (r.bottom - 1 > r.top) invert(x, r.bottom - 1);
    }
    const long long yEnd = std::min<long long>(r.bottom - 1, a.bottom);
    for (long long y = first(static_cast<long long>(r.top) + 2, a.top); y < yEnd; y += 2) {
        invert(r.left, y);
        if (r.right - 1 > r.left) invert(r.right - 1, y);
    }
    return TRUE;
}
