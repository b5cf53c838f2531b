// Writes the seed corpus of the image fuzz target into a folder: PSP files of every kind the
// reader takes (made by the PSP writer) and a few BMP files.
#include "tools/psp/psp_writer.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

psp::Image Indexed(LONG w, LONG h, psp::Compression c, int layers) {
    psp::Image image;
    image.width = w, image.height = h, image.bitDepth = 8, image.compression = c;
    for (int i = 0; i < 256; ++i)
        image.palette.push_back({static_cast<BYTE>(i), static_cast<BYTE>(i * 3), 9});
    for (int l = 0; l < layers; ++l) {
        std::vector<BYTE> px(static_cast<std::size_t>(w * h));
        for (std::size_t i = 0; i < px.size(); ++i)
            px[i] = static_cast<BYTE>(i / 3 + l);
        image.layers.push_back(psp::MakeIndexedLayer(w, h, px));
    }
    return image;
}

psp::Image Rgb(LONG w, LONG h, psp::Compression c) {
    psp::Image image;
    image.width = w, image.height = h, image.bitDepth = 24, image.compression = c;
    std::vector<BYTE> rgb(static_cast<std::size_t>(w * h * 3));
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<BYTE>(i * 7);
    image.layers.push_back(psp::MakeRgbLayer(w, h, rgb));
    return image;
}

std::vector<BYTE> Bmp(LONG w, LONG h, WORD bits, bool topDown) {
    LONG stride = ((w * bits + 31) / 32) * 4;
    DWORD table = bits <= 8 ? 4u << bits : 0;
    std::vector<BYTE> out(54 + table + static_cast<std::size_t>(stride * h), 0);
    auto put = [&](std::size_t at, DWORD v, int n) {
        for (int i = 0; i < n; ++i)
            out[at + i] = static_cast<BYTE>(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put(2, static_cast<DWORD>(out.size()), 4);
    put(10, 54 + table, 4);
    put(14, 40, 4);
    put(18, static_cast<DWORD>(w), 4);
    put(22, static_cast<DWORD>(topDown ? -h : h), 4);
    put(26, 1, 2);
    put(28, bits, 2);
    for (std::size_t i = 54; i < out.size(); ++i)
        out[i] = static_cast<BYTE>(i * 13);
    return out;
}

bool Save(const std::string& path, const std::vector<BYTE>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-image-seeds FOLDER\n");
        return 1;
    }
    std::string dir = std::string(argv[1]) + "/";
    std::vector<std::pair<std::string, std::vector<BYTE>>> files;
    const psp::Compression all[] = {psp::kNone, psp::kRunLength, psp::kZlib};
    for (psp::Compression c : all) {
        std::string tag = std::to_string(static_cast<int>(c));
        files.push_back({"indexed-" + tag + ".psp", psp::Write(Indexed(9, 5, c, 1))});
        files.push_back({"layers-" + tag + ".psp", psp::Write(Indexed(6, 4, c, 3))});
        files.push_back({"rgb-" + tag + ".psp", psp::Write(Rgb(7, 3, c))});
        psp::Image hard = Rgb(4, 4, c);
        psp::AddMask(hard.layers[0],
                     {0, 255, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255});
        files.push_back({"hard-" + tag + ".psp", psp::Write(hard)});
        psp::Image soft = Indexed(4, 2, c, 2);
        soft.layers[1].mask = {1, 0, 3, 2};
        psp::AddMask(soft.layers[1], {10, 128, 250, 0}, psp::kUserMask);
        psp::AddMask(soft.layers[0], {0, 64, 128, 192, 255, 255, 255, 255});
        files.push_back({"soft-" + tag + ".psp", psp::Write(soft)});
        psp::Image selection = Indexed(5, 5, c, 1);
        selection.hasSelection = true;
        selection.selection = {1, 1, 4, 3};
        selection.selectionBytes = {1, 2, 3, 4, 5, 6};
        selection.paletteAfterLayers = true;
        files.push_back({"selection-" + tag + ".psp", psp::Write(selection)});
    }
    files.push_back({"bottom-up-8.bmp", Bmp(5, 3, 8, false)});
    files.push_back({"top-down-24.bmp", Bmp(4, 2, 24, true)});
    files.push_back({"bottom-up-16.bmp", Bmp(3, 3, 16, false)});
    files.push_back({"mono.bmp", Bmp(9, 2, 1, false)});
    for (const auto& [name, bytes] : files)
        if (!Save(dir + name, bytes)) {
            std::fprintf(stderr, "fuzz-image-seeds: cannot write %s%s\n", dir.c_str(),
                         name.c_str());
            return 2;
        }
    return 0;
}
