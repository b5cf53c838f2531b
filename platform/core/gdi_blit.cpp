// Copies between surfaces: BitBlt, StretchBlt and the colour-keyed TransparentImage.
#include "platform/core/gdi_internal.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace platform::gdi::detail;

namespace {

bool TablesEqual(const Surface& a, const Surface& b) {
    return a.tableSize == b.tableSize &&
           std::memcmp(a.table.data(), b.table.data(), a.tableSize * sizeof(RGBQUAD)) == 0;
}

// Turns source pixel values into destination pixel values. Paletted sources go through a table
// built once per copy; true-colour sources onto paletted surfaces remember recent matches, since
// finding the nearest entry is the expensive part.
class Converter {
public:
    Converter(const Surface& src, const Surface& dst, COLORREF srcBk, DWORD dstText, DWORD dstBk)
        : src_(src), dst_(dst) {
        if (src.bpp == dst.bpp && (!src.format->paletted || TablesEqual(src, dst) ||
                                   (src.bpp == 1 && src.deviceMono && dst.deviceMono))) {
            mode_ = Mode::Identity;
        } else if (dst.bpp == 1 && src.bpp != 1) {
            // Onto a mask: the source context's background colour becomes 1, all else 0.
            mode_ = Mode::ToMask;
            if (src.format->paletted) {
                COLORREF key = ValueToColour(src, ColourToValue(src, srcBk & 0xFFFFFF)) & 0xFFFFFF;
                lut_.resize(src.tableSize);
                for (int i = 0; i < src.tableSize; ++i) {
                    lut_[i] = ValueToColour(src, i) == key ? 1 : 0;
                }
                mode_ = Mode::Table;
            } else {
                maskKey_ = ColourToValue(src, srcBk & 0xFFFFFF);
            }
        } else if (src.format->paletted) {
            mode_ = Mode::Table;
            lut_.resize(src.tableSize);
            if (src.deviceMono) {
                // A mask's bits take the destination's text (0) and background (1) colours.
                lut_[0] = dstText;
                lut_[1] = dstBk;
            } else {
                for (int i = 0; i < src.tableSize; ++i) {
                    lut_[i] = ColourToValue(dst, ValueToColour(src, i));
                }
            }
        } else if (!dst.format->paletted) {
            mode_ = Mode::Direct;
        } else {
            mode_ = Mode::Nearest;
            cacheKey_.assign(kCacheSize, 0xFFFFFFFFu);
            cacheValue_.assign(kCacheSize, 0);
        }
    }

    bool Identity() const { return mode_ == Mode::Identity; }

    DWORD operator()(DWORD v) {
        switch (mode_) {
        case Mode::Identity:
            return v;
        case Mode::Table:
            return lut_[v < lut_.size() ? v : lut_.size() - 1];
        case Mode::ToMask:
            return (v & src_.format->valueMask) == maskKey_ ? 1 : 0;
        case Mode::Direct: {
            BYTE r, g, b;
            src_.format->toRgb(v, &r, &g, &b);
            return dst_.format->fromRgb(r, g, b);
        }
        case Mode::Nearest: {
            v &= src_.format->valueMask;
            std::size_t slot = (v ^ (v >> 12)) & (kCacheSize - 1);
            if (cacheKey_[slot] != v) {
                cacheKey_[slot] = v;
                cacheValue_[slot] = ColourToValue(dst_, ValueToColour(src_, v));
            }
            return cacheValue_[slot];
        }
        }
        return v;
    }

private:
    enum class Mode { Identity, Table, ToMask, Direct, Nearest };
    static constexpr std::size_t kCacheSize = 4096;
    const Surface& src_;
    const Surface& dst_;
    Mode mode_ = Mode::Identity;
    std::vector<DWORD> lut_;
    DWORD maskKey_ = 0;
    std::vector<DWORD> cacheKey_;
    std::vector<DWORD> cacheValue_;
};

bool RopUsesSource(DWORD rop) {
    DWORD code = (rop >> 16) & 0xFF;
    return ((code >> 2) ^ code) & 0x33;
}

// Any of the 256 raster operations on pixel values; the common ones have their own case.
DWORD ApplyRop(DWORD code, DWORD p, DWORD s, DWORD d) {
    switch (code) {
    case 0xCC:
        return s;
    case 0x88:
        return s & d;
    case 0xEE:
        return s | d;
    case 0x66:
        return s ^ d;
    case 0x33:
        return ~s;
    case 0x55:
        return ~d;
    case 0x44:
        return s & ~d;
    case 0xF0:
        return p;
    case 0x00:
        return 0;
    case 0xFF:
        return ~0u;
    default: {
        DWORD r = 0;
        for (int i = 0; i < 8; ++i) {
            if ((code >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        }
        return r;
    }
    }
}

struct Side {
    std::shared_ptr<DC> dc;
    std::shared_ptr<Bitmap> bitmap;
};

// A copy source: a context, or for TransparentImage also a bitmap.
bool ResolveSource(HANDLE handle, Side& side) {
    auto object = Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (object->kind == Kind::DC) {
        side.dc = std::static_pointer_cast<DC>(object);
        side.bitmap = side.dc->state.bitmap;
        return true;
    }
    if (object->kind == Kind::Bitmap) {
        side.bitmap = std::static_pointer_cast<Bitmap>(object);
        return true;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

struct Copy {
    // Destination area and source area, as the caller gave them.
    int x, y, w, h;
    int xs, ys, ws, hs;
    DWORD rop = SRCCOPY;
    bool keyed = false;
    COLORREF key = 0;
};

// Nearest-pixel sampling; a destination pixel whose source lies outside the source surface is
// left alone, so no copy ever reads or writes outside a surface.
// Coordinates in `c` are surface coordinates here; `dstArea` and `srcArea` bound the copy.
void RunScaled(const DC& dstDC, Surface& dst, const RECT& dstArea, const Surface* src,
               const RECT& srcArea, COLORREF srcBk, const Copy& c) {
    if (c.x > INT32_MAX - c.w || c.y > INT32_MAX - c.h) return;
    RECT area = Intersect({c.x, c.y, c.x + c.w, c.y + c.h}, dstArea);
    if (area.left >= area.right) return;
    const int cols = area.right - area.left;
    std::vector<int> xmap(cols);
    for (int i = 0; i < cols; ++i) {
        long long offset = static_cast<long long>(area.left - c.x + i) * c.ws / c.w;
        long long sx = c.xs + offset;
        xmap[i] = src != nullptr && (sx < srcArea.left || sx >= srcArea.right)
                      ? -1
                      : static_cast<int>(sx);
    }
    Converter convert(src ? *src : dst, dst, srcBk, ValueForColour(dstDC, dstDC.state.textColour),
                      ValueForColour(dstDC, dstDC.state.bkColour));
    const DWORD code = (c.rop >> 16) & 0xFF;
    const DWORD mask = dst.format->valueMask;
    const DWORD pattern =
        dstDC.state.brush->null ? 0 : ValueForColour(dstDC, dstDC.state.brush->colour);

    // The key compared in the source's own values: for a paletted source, every entry of exactly
    // the key colour.
    std::vector<char> keyIndex;
    DWORD keyValue = 0;
    if (c.keyed && src != nullptr) {
        if (src->format->paletted) {
            keyIndex.assign(src->tableSize, 0);
            for (int i = 0; i < src->tableSize; ++i) {
                keyIndex[i] = ValueToColour(*src, i) == (c.key & 0xFFFFFF);
            }
        } else {
            keyValue = ColourToValue(*src, c.key & 0xFFFFFF);
        }
    }
    auto isKey = [&](DWORD v) {
        if (!keyIndex.empty()) return v < keyIndex.size() && keyIndex[v] != 0;
        return (v & src->format->valueMask) == keyValue;
    };

    if (src != nullptr && src != &dst && src->bpp == 8 && code == 0xCC && dst.bpp >= 8) {
        // Paletted sprites onto the frame: one table lookup a pixel, no per-pixel dispatch.
        std::array<DWORD, 256> lut{};
        std::array<bool, 256> transparent{};
        for (int i = 0; i < 256; ++i) {
            lut[i] = convert(static_cast<DWORD>(i)) & mask;
            transparent[i] = c.keyed && isKey(static_cast<DWORD>(i));
        }
        for (int dy = area.top; dy < area.bottom; ++dy) {
            long long sy = c.ys + static_cast<long long>(dy - c.y) * c.hs / c.h;
            if (sy < srcArea.top || sy >= srcArea.bottom) continue;
            const BYTE* srow = src->Row(static_cast<int>(sy));
            BYTE* drow = dst.Row(dy);
            for (int i = 0; i < cols; ++i) {
                if (xmap[i] < 0) continue;
                BYTE index = srow[xmap[i]];
                if (transparent[index]) continue;
                int dx = area.left + i;
                switch (dst.bpp) {
                case 8:
                    drow[dx] = static_cast<BYTE>(lut[index]);
                    break;
                case 16: {
                    WORD w = static_cast<WORD>(lut[index]);
                    std::memcpy(drow + 2 * dx, &w, 2);
                    break;
                }
                default:
                    dst.format->put(drow, dx, lut[index]);
                    break;
                }
            }
        }
        return;
    }

    std::vector<DWORD> row(cols);
    std::vector<char> skip(cols);
    // Rows are gathered before any is written, so an overlapping copy within one surface reads
    // the original pixels; the row order does the same vertically.
    bool bottomUp = src == &dst && c.ys < c.y;
    int rows = area.bottom - area.top;
    for (int k = 0; k < rows; ++k) {
        int dy = bottomUp ? area.bottom - 1 - k : area.top + k;
        long long sy = c.ys + static_cast<long long>(dy - c.y) * c.hs / c.h;
        if (src != nullptr && (sy < srcArea.top || sy >= srcArea.bottom)) continue;
        const BYTE* srow = src ? src->Row(static_cast<int>(sy)) : nullptr;
        for (int i = 0; i < cols; ++i) {
            skip[i] = xmap[i] < 0;
            if (skip[i] || srow == nullptr) continue;
            DWORD v = src->format->get(srow, xmap[i]);
            if (c.keyed && isKey(v)) {
                skip[i] = 1;
                continue;
            }
            row[i] = convert(v);
        }
        BYTE* drow = dst.Row(dy);
        for (int i = 0; i < cols; ++i) {
            if (skip[i]) continue;
            int dx = area.left + i;
            DWORD value =
                code == 0xCC ? row[i] : ApplyRop(code, pattern, row[i], dst.format->get(drow, dx));
            dst.format->put(drow, dx, value & mask);
        }
    }
}

// Unscaled copies first clip both sides so that the fast path can copy whole row spans.
bool RunUnscaled(const DC& dstDC, Surface& dst, const RECT& dstArea, const Surface* src,
                 const RECT& srcArea, COLORREF srcBk, Copy c) {
    // Shifting one side's start moves the other's by the same amount.
    auto clipStart = [](long long& a, long long& b, long long& size, long long limit) {
        if (a < limit) {
            b += limit - a;
            size -= limit - a;
            a = limit;
        }
    };
    long long x = c.x, y = c.y, xs = c.xs, ys = c.ys, w = c.w, h = c.h;
    if (src != nullptr) {
        clipStart(xs, x, w, srcArea.left);
        clipStart(ys, y, h, srcArea.top);
    }
    clipStart(x, xs, w, dstArea.left);
    clipStart(y, ys, h, dstArea.top);
    w = std::min<long long>(w, dstArea.right - x);
    h = std::min<long long>(h, dstArea.bottom - y);
    if (src != nullptr) {
        w = std::min<long long>(w, srcArea.right - xs);
        h = std::min<long long>(h, srcArea.bottom - ys);
    }
    if (w <= 0 || h <= 0) return true;
    c.x = static_cast<int>(x);
    c.y = static_cast<int>(y);
    c.xs = static_cast<int>(xs);
    c.ys = static_cast<int>(ys);
    c.w = c.ws = static_cast<int>(w);
    c.h = c.hs = static_cast<int>(h);
    if (src != nullptr && c.rop == SRCCOPY && !c.keyed && src->bpp == dst.bpp && dst.bpp >= 8) {
        Converter convert(*src, dst, srcBk, 0, 0);
        if (convert.Identity()) {
            // Same format: plain row copies.
            const int bytes = dst.bpp / 8;
            const std::size_t length = static_cast<std::size_t>(c.w) * bytes;
            bool bottomUp = src == &dst && c.ys < c.y;
            for (int k = 0; k < c.h; ++k) {
                int r = bottomUp ? c.h - 1 - k : k;
                std::memmove(dst.Row(c.y + r) + static_cast<std::size_t>(c.x) * bytes,
                             src->Row(c.ys + r) + static_cast<std::size_t>(c.xs) * bytes, length);
            }
            return true;
        }
    }
    RunScaled(dstDC, dst, dstArea, src, srcArea, srcBk, c);
    return true;
}

// Moves a copy from context coordinates to surface coordinates.
Copy ToSurface(Copy c, POINT dstOrigin, POINT srcOrigin) {
    auto add = [](int v, LONG d) {
        return static_cast<int>(
            std::clamp<long long>(static_cast<long long>(v) + d, INT32_MIN / 2, INT32_MAX / 2));
    };
    c.x = add(c.x, dstOrigin.x);
    c.y = add(c.y, dstOrigin.y);
    c.xs = add(c.xs, srcOrigin.x);
    c.ys = add(c.ys, srcOrigin.y);
    return c;
}

RECT SourceArea(const Side& side) {
    if (!side.bitmap) return {0, 0, 0, 0};
    if (side.dc) return AreaOf(*side.dc);
    return {0, 0, side.bitmap->surface.width, side.bitmap->surface.height};
}

POINT SourceOrigin(const Side& side) {
    if (side.dc) return OriginOf(*side.dc);
    return {0, 0};
}

} // namespace

BOOL BitBlt(HDC hdst, int x, int y, int w, int h, HDC hsrc, int xs, int ys, DWORD rop) {
    std::lock_guard lock(Lock());
    auto dst = FindDC(hdst);
    if (!dst) return FALSE;
    Side src;
    bool usesSource = RopUsesSource(rop);
    if (usesSource && !ResolveSource(hsrc, src)) return FALSE;
    if (w <= 0 || h <= 0) return TRUE;
    const Surface* surface = usesSource ? &src.bitmap->surface : nullptr;
    COLORREF bk = src.dc ? src.dc->state.bkColour : RGB(255, 255, 255);
    const RECT dstArea = AreaOf(*dst), srcArea = SourceArea(src);
    Copy c =
        ToSurface({x, y, w, h, xs, ys, w, h, rop, false, 0}, OriginOf(*dst), SourceOrigin(src));
    return RunUnscaled(*dst, dst->state.bitmap->surface, dstArea, surface, srcArea, bk, c);
}

BOOL StretchBlt(HDC hdst, int x, int y, int w, int h, HDC hsrc, int xs, int ys, int ws, int hs,
                DWORD rop) {
    std::lock_guard lock(Lock());
    auto dst = FindDC(hdst);
    if (!dst) return FALSE;
    Side src;
    bool usesSource = RopUsesSource(rop);
    if (usesSource && !ResolveSource(hsrc, src)) return FALSE;
    // Mirroring through negative sizes is not offered.
    if (w < 0 || h < 0 || (usesSource && (ws <= 0 || hs <= 0))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (w == 0 || h == 0) return TRUE;
    const Surface* surface = usesSource ? &src.bitmap->surface : nullptr;
    COLORREF bk = src.dc ? src.dc->state.bkColour : RGB(255, 255, 255);
    const RECT dstArea = AreaOf(*dst), srcArea = SourceArea(src);
    Copy c =
        ToSurface({x, y, w, h, xs, ys, ws, hs, rop, false, 0}, OriginOf(*dst), SourceOrigin(src));
    Surface& target = dst->state.bitmap->surface;
    if (!usesSource || (ws == w && hs == h)) {
        return RunUnscaled(*dst, target, dstArea, surface, srcArea, bk, c);
    }
    RunScaled(*dst, target, dstArea, surface, srcArea, bk, c);
    return TRUE;
}

BOOL TransparentImage(HDC hdst, int x, int y, int w, int h, HANDLE hsrc, int xs, int ys, int ws,
                      int hs, COLORREF key) {
    std::lock_guard lock(Lock());
    auto dst = FindDC(hdst);
    if (!dst) return FALSE;
    Side src;
    if (!ResolveSource(hsrc, src)) return FALSE;
    if (w < 0 || h < 0 || ws <= 0 || hs <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (w == 0 || h == 0) return TRUE;
    COLORREF bk = src.dc ? src.dc->state.bkColour : RGB(255, 255, 255);
    const RECT dstArea = AreaOf(*dst), srcArea = SourceArea(src);
    Copy c = ToSurface({x, y, w, h, xs, ys, ws, hs, SRCCOPY, true, key}, OriginOf(*dst),
                       SourceOrigin(src));
    Surface& target = dst->state.bitmap->surface;
    const Surface* surface = &src.bitmap->surface;
    if (ws == w && hs == h) return RunUnscaled(*dst, target, dstArea, surface, srcArea, bk, c);
    RunScaled(*dst, target, dstArea, surface, srcArea, bk, c);
    return TRUE;
}
