// Per-format pixel code and surface memory.
#include "platform/core/gdi_internal.h"

#include <climits>
#include <cstring>

namespace platform::gdi::detail {

namespace {

// ---- 1 bit, most significant first
DWORD Get1(const BYTE* row, int x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
}
void Put1(BYTE* row, int x, DWORD v) {
    BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
    if (v & 1u) {
        row[x >> 3] |= bit;
    } else {
        row[x >> 3] &= static_cast<BYTE>(~bit);
    }
}

// ---- 4 bits, high nibble first
DWORD Get4(const BYTE* row, int x) {
    BYTE b = row[x >> 1];
    return (x & 1) ? (b & 0x0Fu) : (b >> 4);
}
void Put4(BYTE* row, int x, DWORD v) {
    BYTE& b = row[x >> 1];
    if (x & 1) {
        b = static_cast<BYTE>((b & 0xF0) | (v & 0x0F));
    } else {
        b = static_cast<BYTE>((b & 0x0F) | ((v & 0x0F) << 4));
    }
}

// ---- 8 bits
DWORD Get8(const BYTE* row, int x) {
    return row[x];
}
void Put8(BYTE* row, int x, DWORD v) {
    row[x] = static_cast<BYTE>(v);
}

// ---- 16 bits, 5-5-5
DWORD Get555(const BYTE* row, int x) {
    WORD w;
    std::memcpy(&w, row + 2 * x, 2);
    return w;
}
void Put555(BYTE* row, int x, DWORD v) {
    WORD w = static_cast<WORD>(v);
    std::memcpy(row + 2 * x, &w, 2);
}
DWORD FromRgb555(BYTE r, BYTE g, BYTE b) {
    return (static_cast<DWORD>(r >> 3) << 10) | (static_cast<DWORD>(g >> 3) << 5) | (b >> 3);
}
// Expands with the top bits repeated so that full intensity stays full (31 -> 255).
void ToRgb555(DWORD v, BYTE* r, BYTE* g, BYTE* b) {
    auto expand = [](DWORD c) { return static_cast<BYTE>((c << 3) | (c >> 2)); };
    *r = expand((v >> 10) & 31);
    *g = expand((v >> 5) & 31);
    *b = expand(v & 31);
}

// ---- 24 bits, blue green red
DWORD Get888(const BYTE* row, int x) {
    const BYTE* p = row + 3 * x;
    return p[0] | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16);
}
void Put888(BYTE* row, int x, DWORD v) {
    BYTE* p = row + 3 * x;
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
}
DWORD FromRgb888(BYTE r, BYTE g, BYTE b) {
    return (static_cast<DWORD>(r) << 16) | (static_cast<DWORD>(g) << 8) | b;
}
void ToRgb888(DWORD v, BYTE* r, BYTE* g, BYTE* b) {
    *r = static_cast<BYTE>(v >> 16);
    *g = static_cast<BYTE>(v >> 8);
    *b = static_cast<BYTE>(v);
}

// ---- 32 bits, blue green red in the low three bytes
DWORD Get8888(const BYTE* row, int x) {
    DWORD d;
    std::memcpy(&d, row + 4 * x, 4);
    return d;
}
void Put8888(BYTE* row, int x, DWORD v) {
    std::memcpy(row + 4 * x, &v, 4);
}

const Format kFormat1{1, true, 0x1, Get1, Put1, nullptr, nullptr};
const Format kFormat4{4, true, 0xF, Get4, Put4, nullptr, nullptr};
const Format kFormat8{8, true, 0xFF, Get8, Put8, nullptr, nullptr};
const Format kFormat555{16, false, 0x7FFF, Get555, Put555, FromRgb555, ToRgb555};
const Format kFormat888{24, false, 0xFFFFFF, Get888, Put888, FromRgb888, ToRgb888};
const Format kFormat8888{32, false, 0xFFFFFF, Get8888, Put8888, FromRgb888, ToRgb888};

// Larger surfaces than this are refused rather than risking exhaustion on a bad header.
constexpr long kMaxSurfaceBytes = 256L * 1024 * 1024;

} // namespace

const Format* FormatFor(int bpp) {
    switch (bpp) {
    case 1:
        return &kFormat1;
    case 4:
        return &kFormat4;
    case 8:
        return &kFormat8;
    case 16:
        return &kFormat555;
    case 24:
        return &kFormat888;
    case 32:
        return &kFormat8888;
    default:
        return nullptr;
    }
}

long PitchFor(long width, int bpp) {
    if (width < 0 || width > INT_MAX / 32) return -1;
    return ((width * bpp + 31) / 32) * 4;
}

bool AllocateSurface(Surface& s, int width, int height, int bpp, bool topDown) {
    const Format* format = FormatFor(bpp);
    long pitch = PitchFor(width, bpp);
    if (format == nullptr || width <= 0 || height <= 0 || pitch < 0 ||
        pitch > kMaxSurfaceBytes / height) {
        return false;
    }
    s.storage.assign(static_cast<std::size_t>(pitch) * height, 0);
    s.width = width;
    s.height = height;
    s.bpp = bpp;
    s.pitch = static_cast<int>(pitch);
    s.format = format;
    if (topDown) {
        s.first = s.storage.data();
        s.step = pitch;
    } else {
        s.first = s.storage.data() + static_cast<std::size_t>(pitch) * (height - 1);
        s.step = -pitch;
    }
    s.tableSize = format->paletted ? (1 << bpp) : 0;
    return true;
}

COLORREF ValueToColour(const Surface& s, DWORD value) {
    if (s.format->paletted) {
        if (s.tableSize == 0) return RGB(0, 0, 0);
        DWORD index = value < static_cast<DWORD>(s.tableSize) ? value : s.tableSize - 1;
        const RGBQUAD& q = s.table[index];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    BYTE r, g, b;
    s.format->toRgb(value, &r, &g, &b);
    return RGB(r, g, b);
}

int NearestIndex(const RGBQUAD* table, int size, BYTE r, BYTE g, BYTE b) {
    int best = 0;
    long bestDistance = LONG_MAX;
    for (int i = 0; i < size; ++i) {
        long dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
        long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

DWORD ColourToValue(const Surface& s, COLORREF rgb) {
    BYTE r = GetRValue(rgb), g = GetGValue(rgb), b = GetBValue(rgb);
    if (s.format->paletted)
        return static_cast<DWORD>(NearestIndex(s.table.data(), s.tableSize, r, g, b));
    return s.format->fromRgb(r, g, b);
}

} // namespace platform::gdi::detail
