// libFuzzer target: arbitrary bytes through the image loader (PSP and BMP
// from memory, with and without a sprite), then the operations that read what was loaded.
#include "engine/cea_graphic.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"

#include <cstddef>
#include <cstdint>

namespace {

void Exercise(Graphic& g) {
    if (!g.IsLoaded()) return;
    Graphic target(32, 32, 16);
    g.DrawTo(&target, -3, -3);
    g.SetTranslucency(1, 128);
    g.DrawTo(&target, 5, 5);
    BYTE* selection = nullptr;
    DWORD size = 0;
    if (g.GetSelection(&selection, &size)) g.FreeSelection(selection);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20) return 0;
    const auto n = static_cast<DWORD>(size);
    {
        Graphic g(static_cast<const void*>(data), n, RGB(255, 0, 255));
        Exercise(g);
    }
    {
        Sprite s(data, n, RGB(255, 0, 255), 2, 1, kSpriteAllFrames);
        for (DWORD i = 0; i < s.GetFrameCount(); ++i)
            Exercise(*s.GetFrame(i));
    }
    return 0;
}
