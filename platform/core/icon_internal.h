// Icons as the window core and the drivers see them.
#pragma once

#include "platform/user.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::wm {

// An icon's or cursor's pixels, top row first, 0xAARRGGBB; a cursor's hot spot lies inside.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
    bool cursor = false;
    int hotX = 0;
    int hotY = 0;
};
// The pixels of a live icon, or null.
std::shared_ptr<const IconImage> IconImageOf(HICON icon);
// The image of a group-icon (cursor false) or group-cursor resource nearest `want` pixels wide
// (0: the group's first image), kept as a new handle; null with the last error set when it is
// missing or damaged.
HICON LoadGroupResource(HMODULE module, LPCWSTR name, bool cursor, int want);
// The decoders behind the loaders, open to tests: one icon or cursor image (a DIB whose height
// counts its mask rows too, then the mask), and a bitmap resource (a DIB without file header)
// as a new DIB section. Both check every size against `size` and refuse what does not fit.
bool DecodeIconImage(const BYTE* data, DWORD size, IconImage* out);
HBITMAP DecodeBitmapResource(const BYTE* data, DWORD size);
// What a window shows as its icon: its big icon, else its small one, else its class icon.
HICON IconOf(HWND hwnd);

} // namespace platform::wm
