// bench-engine: how long the engine takes to load a 289 x 307 8-bit three-layer PSP image with
// zlib channels (as a sprite, the way the game loads its sheets) and to copy a full-window
// (240 x 294) colour-keyed sprite frame onto the 16-bit frame surface, and to build the span
// table of a finely dithered 1024 x 768 picture.
#include "engine/cea_graphic.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"
#include "tools/psp/psp_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Median over batches of the time of one call, in microseconds.
double Time(int perBatch, const std::function<void()>& work) {
    for (int i = 0; i < 5; ++i)
        work();
    std::vector<double> batches;
    for (int b = 0; b < 15; ++b) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < perBatch; ++i)
            work();
        std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        batches.push_back(took.count() / perBatch);
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

// About half of each layer is clear, in runs as real sprites have.
bool Clear(LONG x, LONG y, int layer) {
    return ((x / 17) + (y / 19) + layer) % 2 == 0;
}

std::vector<BYTE> Sheet() {
    psp::Image image;
    image.width = 289, image.height = 307, image.bitDepth = 8, image.compression = psp::kZlib;
    for (int i = 0; i < 256; ++i)
        image.palette.push_back(
            {static_cast<BYTE>(i * 7), static_cast<BYTE>(i * 13), static_cast<BYTE>(i * 29)});
    image.palette[0] = {255, 0, 255};
    for (int layer = 0; layer < 3; ++layer) {
        std::vector<BYTE> px(289 * 307);
        for (LONG y = 0; y < 307; ++y)
            for (LONG x = 0; x < 289; ++x)
                px[static_cast<std::size_t>(y * 289 + x)] =
                    Clear(x, y, layer) ? 0 : static_cast<BYTE>(1 + (x * 3 + y) % 254);
        image.layers.push_back(psp::MakeIndexedLayer(289, 307, px));
    }
    return psp::Write(image);
}

} // namespace

int main() {
    platform::gdi::UseCallerFlavour();
    std::vector<BYTE> sheet = Sheet();
    const COLORREF key = RGB(255, 0, 255);
    double load = Time(10, [&] {
        Sprite s(sheet.data(), static_cast<DWORD>(sheet.size()), key, 1, 1, kSpriteAllFrames);
        if (s.GetFrameCount() != 3) std::fprintf(stderr, "bench-engine: load failed\n");
    });

    // A full-window sprite frame at the window's depth, keyed, onto the frame surface.
    Graphic frame(240, 294, 16);
    for (LONG y = 0; y < 294; ++y)
        for (LONG x = 0; x < 240; ++x)
            frame.SetPixelValue(x, y, Clear(x, y, 0) ? 0x7C1F : static_cast<DWORD>(x * 31 + y));
    Graphic window(240, 294, 16);
    frame.SetTransparency(key);
    double keyed = Time(200, [&] { frame.DrawTo(&window, 0, 0); });
    frame.SetTransparency(kNoColor);
    double plain = Time(200, [&] { frame.DrawTo(&window, 0, 0); });
    // The same copy from an 8-bit sheet frame goes through the platform (another depth).
    Sprite sheetSprite(sheet.data(), static_cast<DWORD>(sheet.size()), key, 1, 1, kSpriteAllFrames);
    double cross = Time(50, [&] { sheetSprite.GetFrame(0)->DrawTo(&window, -20, -5); });

    // The span table of a finely dithered picture: runs of one or two pixels, the worst case.
    Graphic dither(1024, 768, 16);
    for (LONG y = 0; y < 768; ++y)
        for (LONG x = 0; x < 1024; ++x)
            dither.SetPixelValue(x, y, (x * 7 + y * 3) % 5 < 2 ? 0x7C1F : 0x0421);
    Graphic corner(8, 8, 16);
    bool toggle = false;
    double prepare = Time(3, [&] {
        // A new colour each time, so every copy rebuilds the table.
        dither.SetTransparency((toggle = !toggle) ? key : RGB(8, 8, 8));
        dither.DrawTo(&corner, 0, 0, 0, 0, 8, 8);
    });

    std::printf("bench-engine (median of 15 batches)\n");
    std::printf("  load 289 x 307 8-bit 3-layer zlib PSP (%zu bytes) as sprite: %9.1f us\n",
                sheet.size(), load);
    std::printf("  240 x 294 16-bit colour-keyed copy (spans):                  %9.1f us\n", keyed);
    std::printf("  240 x 294 16-bit plain copy (rows):                          %9.1f us\n", plain);
    std::printf("  240 x 294 of an 8-bit keyed frame onto 16 bits (platform):   %9.1f us\n", cross);
    std::printf("  span table of a 1024 x 768 16-bit dithered picture:          %9.1f us\n",
                prepare);
    return 0;
}
