// libFuzzer target: arbitrary bytes as markup text, laid out in a rectangle whose width comes
// from the first byte and drawn onto a small bitmap; every item must lie within the width
// or be a single character that cannot fit anywhere.
#include "foundation/memory.h"
#include "skin/skingraphics.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 4096) return 0;
    LONG width = 1 + data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.c_str(); // up to the first NUL, as a control's text ends there
    RECT area{3, 4, 3 + width, 400};
    cetl::vector<MarkupItem> items;
    LayOutMarkup(text.c_str(), area, data[0] % 3, "DejaVu Sans,-12", 0x02000000, items);
    for (const MarkupItem& item : items) {
        if (item.text.empty()) std::abort();
        LONG w = item.rect.right - item.rect.left;
        if (w > width && item.text.length() > 4) std::abort();
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(64, 32, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DrawMarkup(dc, items);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return 0;
}
