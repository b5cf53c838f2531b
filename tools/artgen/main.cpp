// tessark-artgen OUTDIR [--bmp]: draws the game's pictures into OUTDIR (graphic_NNNN.psp, all
// on one shared palette; logo_5000.zz, icon_1055.ico and its bitmap form icon_1055.bmp). With
// --bmp each picture is also written as a 24-bit BMP beside it, for looking at.
#include "foundation/memory.h"
#include "tools/artgen/pictures.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace artgen;

namespace {

RgbImage Colours(const IndexedImage& image) {
    RgbImage out;
    out.width = image.width;
    out.height = image.height;
    for (size_t i = 0; i < image.indices.size(); ++i)
        out.pixels.push_back(image.palette[image.indices[i]]);
    return out;
}

bool WritePicture(const std::string& dir, const std::string& name, const IndexedImage& image,
                  bool bmp) {
    if (!WriteBytes(dir + "/" + name + ".psp", PspBytes(image))) return false;
    return !bmp || WriteBytes(dir + "/" + name + ".bmp", BmpBytes(Colours(image)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--bmp") != 0)) {
        std::fprintf(stderr, "usage: tessark-artgen OUTDIR [--bmp]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool bmp = argc == 3;
    bool ok = true;
    {
        const std::vector<GamePicture> pictures = GamePictures();
        const std::vector<IndexedImage> shared = SharePalette(pictures);
        for (size_t i = 0; ok && i < pictures.size(); ++i)
            ok = WritePicture(dir, "graphic_" + std::to_string(pictures[i].id), shared[i], bmp);
    }
    if (ok) {
        IndexedImage logo = LogoPicture();
        std::vector<uint8_t> block;
        ok = ZzBlock(PspBytes(logo), &block) && WriteBytes(dir + "/logo_5000.zz", block);
        if (ok && bmp) ok = WriteBytes(dir + "/logo_5000.bmp", BmpBytes(Colours(logo)));
        if (!ok) std::fprintf(stderr, "tessark-artgen: cannot write the logo\n");
    }
    if (ok) {
        std::vector<IconImage> icons;
        for (int size : {16, 32, 48})
            icons.push_back(IconPicture(size));
        ok = WriteBytes(dir + "/icon_1055.ico", IcoBytes(icons)) &&
             WriteBytes(dir + "/icon_1055.bmp", BmpBytes(icons[1].image));
    }
    MemExitCheck();
    return ok ? 0 : 1;
}
