// LoadBitmap and LoadImage: bitmap resources as DIB sections, and the icon and cursor loaders
// with a chosen size.
#include "platform/core/icon_internal.h"
#include "platform/core/window_internal.h"
#include "platform/gdi.h"
#include "platform/resource.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::uint32_t U16(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const BYTE* p) {
    return U16(p) | U16(p + 2) << 16;
}

// A bitmap resource is a DIB: an information header of 40 bytes or more, bit-field masks after
// a 40-byte header with BI_BITFIELDS, a colour table, then the rows. Everything is checked
// against the resource's size before any of it is read.
HBITMAP DecodeBitmap(const BYTE* data, DWORD size) {
    if (size < 40) return nullptr;
    const std::uint32_t headerSize = U32(data);
    if (headerSize < 40 || headerSize > size) return nullptr;
    const std::int32_t width = static_cast<std::int32_t>(U32(data + 4));
    const std::int32_t rawHeight = static_cast<std::int32_t>(U32(data + 8));
    const std::uint32_t planes = U16(data + 12), bpp = U16(data + 14);
    const std::uint32_t compression = U32(data + 16), used = U32(data + 32);
    if (planes != 1 || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
    const bool fields = compression == BI_BITFIELDS;
    if (compression != BI_RGB && !(fields && (bpp == 16 || bpp == 32))) return nullptr;
    const std::uint64_t height = rawHeight < 0 ? -static_cast<std::int64_t>(rawHeight) : rawHeight;

    std::uint64_t offset = headerSize;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (fields) {
        // The masks follow the first 40 bytes, inside a bigger header or after a 40-byte one.
        if (52 > size) return nullptr;
        for (int i = 0; i < 3; ++i)
            masks[i] = U32(data + 40 + 4 * i);
        if (headerSize == 40) offset += 12;
        // The drawing layer keeps 32-bit pixels as blue, green, red bytes and 16-bit ones as
        // 5-5-5; other layouts are refused rather than shown in the wrong colours.
        const bool known = bpp == 32
                               ? masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF
                               : masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
        if (!known) return nullptr;
    }
    std::uint64_t colours = 0;
    if (bpp <= 8) {
        colours = used == 0 ? (1u << bpp) : used;
        if (colours > (1u << bpp)) return nullptr;
    } else {
        colours = used; // an optional table, not used for drawing
    }
    const std::uint64_t table = offset;
    offset += colours * 4;
    const std::uint64_t pitch = ((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4;
    if (pitch > size || height > size) return nullptr; // keeps the product below from wrapping
    const std::uint64_t bytes = pitch * height;
    if (offset > size || bytes > size - offset) return nullptr;

    // The header handed to the drawing layer: 40 bytes, the masks, then the colour table.
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 12 + 256 * 4, 0);
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = rawHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bpp);
    h.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    h.biClrUsed = bpp <= 8 ? static_cast<DWORD>(colours) : 0;
    std::memcpy(info.data(), &h, sizeof(h));
    if (fields) {
        std::memcpy(info.data() + sizeof(h), masks, sizeof(masks));
    } else if (bpp <= 8) {
        std::memcpy(info.data() + sizeof(h), data + table, static_cast<std::size_t>(colours) * 4);
    }
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr; // masks the drawing layer cannot take, or too big
    std::memcpy(bits, data + offset, static_cast<std::size_t>(bytes));
    return bitmap;
}

} // namespace

namespace platform::wm {
HBITMAP DecodeBitmapResource(const BYTE* data, DWORD size) {
    return data == nullptr ? nullptr : DecodeBitmap(data, size);
}
} // namespace platform::wm

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    HMODULE module = instance != nullptr ? instance : GetModuleHandleW(nullptr);
    HRSRC found = name == nullptr ? nullptr : FindResourceW(module, name, MAKEINTRESOURCEW(2));
    if (found == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const DWORD size = SizeofResource(module, found);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    HBITMAP bitmap = platform::wm::DecodeBitmapResource(data, size);
    if (bitmap == nullptr) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return bitmap;
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name))
        return LoadBitmapW(instance, reinterpret_cast<LPCWSTR>(name));
    std::u16string wide = platform::wm::FromNarrow(name);
    return LoadBitmapW(instance, wide.c_str());
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int, UINT flags) {
    if (flags & LR_LOADFROMFILE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (name == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    switch (type) {
    case IMAGE_BITMAP:
        return LoadBitmapW(instance, name);
    case IMAGE_ICON:
    case IMAGE_CURSOR: {
        const bool cursor = type == IMAGE_CURSOR;
        int want = cx;
        if (want <= 0)
            want =
                (flags & LR_DEFAULTSIZE) ? GetSystemMetrics(cursor ? SM_CXCURSOR : SM_CXICON) : 0;
        return platform::wm::LoadGroupResource(instance, name, cursor, want);
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    if (name == nullptr || IS_INTRESOURCE(name))
        return LoadImageW(instance, reinterpret_cast<LPCWSTR>(name), type, cx, cy, flags);
    std::u16string wide = platform::wm::FromNarrow(name);
    return LoadImageW(instance, wide.c_str(), type, cx, cy, flags);
}
