#include "tools/anim-demo/demo_art.h"

#include <cstring>

namespace demo_art {

namespace {

WORD Pixel(COLORREF c) {
    return static_cast<WORD>(((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) |
                             (GetBValue(c) >> 3));
}

// A top-down 16-bit BMP with 5-5-5 bit fields.
std::vector<BYTE> Bmp16(LONG width, LONG height, const std::vector<WORD>& pixels) {
    LONG stride = ((width * 16 + 31) / 32) * 4;
    std::vector<BYTE> out(14 + 40, 0);
    auto put32 = [&](std::size_t at, DWORD v) { std::memcpy(&out[at], &v, 4); };
    auto put16 = [&](std::size_t at, WORD v) { std::memcpy(&out[at], &v, 2); };
    out[0] = 'B', out[1] = 'M';
    put32(10, 14 + 40);
    put32(14, 40);
    put32(18, static_cast<DWORD>(width));
    put32(22, static_cast<DWORD>(-height));
    put16(26, 1);
    put16(28, 16);
    put32(30, 3); // bit fields
    for (LONG y = 0; y < height; ++y) {
        std::vector<BYTE> row(static_cast<std::size_t>(stride), 0);
        for (LONG x = 0; x < width; ++x) {
            WORD v = pixels[static_cast<std::size_t>(y * width + x)];
            std::memcpy(&row[static_cast<std::size_t>(x * 2)], &v, 2);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    put32(2, static_cast<DWORD>(out.size()));
    return out;
}

} // namespace

std::vector<BYTE> Tile() {
    std::vector<WORD> px(16 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool edge = x == 0 || y == 0;
            bool check = ((x / 8) + (y / 8)) % 2 == 0;
            px[static_cast<std::size_t>(y * 16 + x)] = Pixel(edge    ? RGB(40, 64, 40)
                                                             : check ? RGB(72, 112, 64)
                                                                     : RGB(88, 128, 80));
        }
    return Bmp16(16, 16, px);
}

std::vector<BYTE> SpriteSheet(int hue) {
    static const COLORREF kHues[6] = {RGB(248, 80, 64),  RGB(248, 200, 48),  RGB(64, 200, 248),
                                      RGB(200, 96, 248), RGB(248, 248, 248), RGB(64, 248, 120)};
    COLORREF body = kHues[hue % 6];
    COLORREF band = RGB(GetRValue(body) / 2, GetGValue(body) / 2, GetBValue(body) / 2);
    const LONG w = kSpriteWidth, h = kSpriteHeight;
    std::vector<WORD> px(static_cast<std::size_t>(2 * w * h), Pixel(kKey));
    for (int frame = 0; frame < 2; ++frame)
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                // An upright ellipse filling the cell.
                double dx = (x - (w - 1) / 2.0) / (w / 2.0), dy = (y - (h - 1) / 2.0) / (h / 2.0);
                if (dx * dx + dy * dy > 1.0) continue;
                bool inBand = ((y / 6) % 2) == frame;
                px[static_cast<std::size_t>(y * 2 * w + frame * w + x)] =
                    Pixel(inBand ? band : body);
            }
    return Bmp16(2 * w, h, px);
}

} // namespace demo_art
