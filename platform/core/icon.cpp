// Icons and cursors: LoadIcon and LoadCursor from group resources, GetIconInfo, the icons a window
// carries (WM_SETICON, its class icon) and their pixels for the drivers.
#include "platform/core/icon_internal.h"

#include "platform/core/driver.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"
#include "platform/gdi.h"
#include "platform/resource.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace platform::wm {
namespace {

struct Icons {
    std::mutex lock;
    std::map<HICON, std::shared_ptr<const IconImage>> live;
};
Icons& GetIcons() {
    static auto* icons = new Icons; // used until the very end
    return *icons;
}

std::uint32_t U16(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const BYTE* p) {
    return U16(p) | U16(p + 2) << 16;
}

// One image of an icon resource: a DIB whose height counts the colour rows and the mask rows,
// then the colours (bottom row first) and a 1-bit mask. False for anything else or anything
// that does not fit in `size` bytes.
bool Decode(const BYTE* data, DWORD size, IconImage* out) {
    if (data == nullptr) return false;
    if (size < 40 || U32(data) < 40 || U32(data) > size) return false;
    const std::int32_t width = static_cast<std::int32_t>(U32(data + 4));
    const std::int32_t doubled = static_cast<std::int32_t>(U32(data + 8));
    const std::uint32_t bpp = U16(data + 14), compression = U32(data + 16);
    if (width <= 0 || width > 256 || doubled <= 0 || doubled % 2 != 0 || doubled / 2 > 256 ||
        compression != 0 || U16(data + 12) != 1)
        return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    const int height = doubled / 2;
    std::uint32_t colours = bpp <= 8 ? U32(data + 32) : 0;
    if (bpp <= 8 && (colours == 0 || colours > (1u << bpp))) colours = 1u << bpp;
    const std::size_t header = U32(data);
    const std::size_t colourPitch = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
    const std::size_t maskPitch = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    const std::size_t table = header, pixels = table + colours * 4,
                      mask = pixels + colourPitch * height, end = mask + maskPitch * height;
    if (end > size) return false;
    out->width = width;
    out->height = height;
    out->argb.assign(static_cast<std::size_t>(width) * height, 0);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = data + pixels + colourPitch * (height - 1 - y);
        const BYTE* maskRow = data + mask + maskPitch * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t argb = 0;
            if (bpp == 32) {
                const BYTE* p = row + x * 4;
                argb = static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
                anyAlpha = anyAlpha || p[3] != 0;
            } else if (bpp == 24) {
                const BYTE* p = row + x * 3;
                argb = 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0];
            } else {
                const std::uint32_t bit = static_cast<std::uint32_t>(x) * bpp;
                std::uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index >= colours) index = 0;
                const BYTE* q = data + table + index * 4;
                argb = 0xFF000000u | q[2] << 16 | q[1] << 8 | q[0];
            }
            const bool clear = (maskRow[x / 8] >> (7 - x % 8)) & 1;
            if (bpp != 32 && clear) argb = 0;
            out->argb[static_cast<std::size_t>(y) * width + x] = argb;
        }
    }
    // A 32-bit image without any alpha takes its transparency from the mask.
    if (bpp == 32 && !anyAlpha) {
        for (int y = 0; y < height; ++y) {
            const BYTE* maskRow = data + mask + maskPitch * (height - 1 - y);
            for (int x = 0; x < width; ++x) {
                std::uint32_t& v = out->argb[static_cast<std::size_t>(y) * width + x];
                const bool clear = (maskRow[x / 8] >> (7 - x % 8)) & 1;
                v = clear ? 0 : v | 0xFF000000u;
            }
        }
    }
    return true;
}

const void* ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD* size) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return nullptr;
    *size = SizeofResource(module, found);
    return LockResource(LoadResource(module, found));
}

HICON Keep(IconImage image) {
    auto shared = std::make_shared<const IconImage>(std::move(image));
    // The handle is the image's own address: unique while the icon lives.
    HICON handle = reinterpret_cast<HICON>(const_cast<IconImage*>(shared.get()));
    Icons& icons = GetIcons();
    std::lock_guard hold(icons.lock);
    icons.live[handle] = std::move(shared);
    return handle;
}

} // namespace

bool DecodeIconImage(const BYTE* data, DWORD size, IconImage* out) {
    return Decode(data, size, out);
}

std::shared_ptr<const IconImage> IconImageOf(HICON icon) {
    Icons& icons = GetIcons();
    std::lock_guard hold(icons.lock);
    auto it = icons.live.find(icon);
    return it == icons.live.end() ? nullptr : it->second;
}

HICON LoadGroupResource(HMODULE module, LPCWSTR name, bool cursor, int want) {
    if (module == nullptr) module = GetModuleHandleW(nullptr);
    DWORD size = 0;
    auto* group = static_cast<const BYTE*>(
        ResourceBytes(module, name, MAKEINTRESOURCEW(cursor ? 12 : 14), &size));
    if (group == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const std::uint32_t count = size >= 6 ? U16(group + 4) : 0;
    if (size < 6 || U16(group + 2) != (cursor ? 2u : 1u) || count == 0 || size < 6 + 14 * count) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // The image nearest the wanted size, the deeper one when two are as near. Group icons give
    // the width in a byte (0 for 256), group cursors in a word.
    int best = 0, bestDistance = 0, bestDepth = 0;
    for (std::uint32_t i = 0; i < count && want > 0; ++i) {
        const BYTE* e = group + 6 + 14 * i;
        const int side = cursor ? static_cast<int>(U16(e)) : (e[0] == 0 ? 256 : e[0]);
        const int depth = static_cast<int>(U16(e + 6));
        const int distance = std::abs(side - want);
        if (i == 0 || distance < bestDistance || (distance == bestDistance && depth > bestDepth)) {
            best = static_cast<int>(i);
            bestDistance = distance;
            bestDepth = depth;
        }
    }
    const WORD id = static_cast<WORD>(U16(group + 6 + 14 * best + 12));
    DWORD imageSize = 0;
    auto* image = static_cast<const BYTE*>(
        ResourceBytes(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(cursor ? 1 : 3), &imageSize));
    IconImage decoded;
    bool ok = image != nullptr;
    if (ok && cursor) {
        // A cursor image starts with its hot spot, which must lie on the image.
        ok = imageSize >= 4 && Decode(image + 4, imageSize - 4, &decoded);
        if (ok) {
            decoded.cursor = true;
            decoded.hotX = static_cast<int>(U16(image));
            decoded.hotY = static_cast<int>(U16(image + 2));
            ok = decoded.hotX < decoded.width && decoded.hotY < decoded.height;
        }
    } else if (ok) {
        ok = Decode(image, imageSize, &decoded);
        decoded.hotX = decoded.width / 2;
        decoded.hotY = decoded.height / 2;
    }
    if (!ok) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return Keep(std::move(decoded));
}

HICON IconOf(HWND hwnd) {
    HICON icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    if (icon == nullptr)
        icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));
    if (icon == nullptr) icon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICON));
    return icon;
}

} // namespace platform::wm

using namespace platform::wm;

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
    return LoadGroupResource(instance, name, false, GetSystemMetrics(SM_CXICON));
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name))
        return LoadIconW(instance, reinterpret_cast<LPCWSTR>(name));
    std::u16string wide = FromNarrow(name);
    return LoadIconW(instance, wide.c_str());
}

BOOL DestroyCursor(HCURSOR cursor) {
    if (CursorIdOf(cursor) != 0) return FALSE; // standard cursors are shared
    return DestroyIcon(cursor);
}

BOOL GetIconInfo(HICON icon, PICONINFO info) {
    auto image = IconImageOf(icon);
    if (image == nullptr || info == nullptr) {
        SetLastError(image == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BITMAPINFO colourInfo{};
    colourInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    colourInfo.bmiHeader.biWidth = image->width;
    colourInfo.bmiHeader.biHeight = -image->height;
    colourInfo.bmiHeader.biPlanes = 1;
    colourInfo.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &colourInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (colour == nullptr) return FALSE;
    std::memcpy(bits, image->argb.data(), image->argb.size() * 4);
    // The mask: rows of 16-bit aligned bits, 1 where the image is clear.
    const std::size_t pitch = ((static_cast<std::size_t>(image->width) + 15) / 16) * 2;
    std::vector<BYTE> maskBits(pitch * image->height, 0);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            if ((image->argb[static_cast<std::size_t>(y) * image->width + x] >> 24) == 0)
                maskBits[y * pitch + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    HBITMAP mask = CreateBitmap(image->width, image->height, 1, 1, maskBits.data());
    if (mask == nullptr) {
        DeleteObject(colour);
        return FALSE;
    }
    info->fIcon = image->cursor ? FALSE : TRUE;
    info->xHotspot = static_cast<DWORD>(image->hotX);
    info->yHotspot = static_cast<DWORD>(image->hotY);
    info->hbmColor = colour;
    info->hbmMask = mask;
    return TRUE;
}

BOOL DestroyIcon(HICON icon) {
    Icons& icons = GetIcons();
    std::lock_guard hold(icons.lock);
    if (icons.live.erase(icon) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
