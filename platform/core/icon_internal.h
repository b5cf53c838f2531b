// Icons as the window core and the drivers see them.
#pragma once

#include "platform/user.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::wm {

// An icon's pixels, top row first, 0xAARRGGBB.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
};
// The pixels of a live icon, or null.
std::shared_ptr<const IconImage> IconImageOf(HICON icon);
// What a window shows as its icon: its big icon, else its small one, else its class icon.
HICON IconOf(HWND hwnd);

} // namespace platform::wm
