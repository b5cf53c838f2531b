// bench-gdi: how long the copies the frame loop relies on take — a full 240 x 294 16-bit copy
// and a colour-keyed copy of a 289 x 307 8-bit sprite sheet onto a 16-bit surface.
#include "platform/gdi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Dib {
    HDC dc;
    HBITMAP bitmap;
    BYTE* bits;
    HGDIOBJ old;
    Dib(int w, int h, int bpp) {
        std::vector<BYTE> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        info->bmiHeader = {sizeof(BITMAPINFOHEADER),
                           w,
                           -h,
                           1,
                           static_cast<WORD>(bpp),
                           static_cast<DWORD>(bpp == 16 ? BI_BITFIELDS : BI_RGB),
                           0,
                           0,
                           0,
                           0,
                           0};
        BYTE* extra = block.data() + sizeof(BITMAPINFOHEADER);
        if (bpp == 16) {
            DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
            std::memcpy(extra, masks, sizeof(masks));
        } else {
            auto* table = reinterpret_cast<RGBQUAD*>(extra);
            for (int i = 0; i < 256; ++i) {
                table[i] = {BYTE(i * 7), BYTE(i * 13), BYTE(i * 29), 0};
            }
            table[0] = {255, 0, 255, 0}; // the key
        }
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<BYTE*>(p);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Dib() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

// Median over batches of the time of one call, in microseconds.
double Time(const std::function<void()>& work) {
    for (int i = 0; i < 20; ++i)
        work();
    std::vector<double> batches;
    for (int b = 0; b < 15; ++b) {
        const int n = 100;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i)
            work();
        std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        batches.push_back(took.count() / n);
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

} // namespace

int main() {
    Dib frame(240, 294, 16), window(240, 294, 16);
    for (int i = 0; i < 240 * 294; ++i)
        reinterpret_cast<WORD*>(frame.bits)[i] = WORD(i * 31);
    double full = Time([&] { BitBlt(window.dc, 0, 0, 240, 294, frame.dc, 0, 0, SRCCOPY); });

    // A sprite sheet about half of which is the key colour, in runs as real sprites have.
    Dib sheet(289, 307, 8), target(289, 307, 16);
    const int pitch = ((289 * 8 + 31) / 32) * 4;
    for (int y = 0; y < 307; ++y) {
        for (int x = 0; x < 289; ++x) {
            bool key = ((x / 17) + (y / 19)) % 2 == 0;
            sheet.bits[y * pitch + x] = key ? 0 : BYTE(1 + (x * 3 + y) % 255);
        }
    }
    const COLORREF key = RGB(255, 0, 255);
    double keyed =
        Time([&] { TransparentImage(target.dc, 0, 0, 289, 307, sheet.dc, 0, 0, 289, 307, key); });
    double keyedScaled =
        Time([&] { TransparentImage(target.dc, 0, 0, 289, 307, sheet.dc, 0, 0, 145, 154, key); });
    double crossDepth = Time([&] { BitBlt(target.dc, 0, 0, 289, 307, sheet.dc, 0, 0, SRCCOPY); });

    std::printf("bench-gdi (median of 15 batches of 100 calls)\n");
    std::printf("  240 x 294 16-bit full copy (BitBlt SRCCOPY):          %8.1f us\n", full);
    std::printf("  289 x 307 8-bit keyed copy onto 16 bits (1:1):        %8.1f us\n", keyed);
    std::printf("  289 x 307 8-bit keyed copy onto 16 bits (x2 scaled):  %8.1f us\n", keyedScaled);
    std::printf("  289 x 307 8-bit copy onto 16 bits (BitBlt SRCCOPY):   %8.1f us\n", crossDepth);
    return 0;
}
