// File forms of finished pictures: PSP through the PSP writer, zz blocks through the codec,
// BMP and ICO written here.
#include "tools/artgen/artgen.h"

#include "foundation/zz.h"
#include "tools/psp/psp_writer.h"

#include <cstdio>

namespace artgen {

namespace {

void Put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

} // namespace

std::vector<uint8_t> PspBytes(const IndexedImage& image) {
    psp::Image psp;
    psp.width = image.width;
    psp.height = image.height;
    psp.bitDepth = 8;
    psp.compression = psp::kZlib;
    psp.palette.assign(256, psp::Color{0, 0, 0});
    for (size_t i = 0; i < image.palette.size() && i < 255; ++i)
        psp.palette[i] = {image.palette[i].r, image.palette[i].g, image.palette[i].b};
    // The reader turns entry 255 white whatever the file says; say the same.
    psp.palette[255] = {255, 255, 255};
    psp.layers.push_back(psp::MakeIndexedLayer(image.width, image.height, image.indices));
    return psp::Write(psp);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
    return ok;
}

bool ZzBlock(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* block) {
    BYTE* out = nullptr;
    DWORD size = 0;
    if (!zzcompress(&out, &size, bytes.data(), static_cast<DWORD>(bytes.size()))) return false;
    block->assign(out, out + size);
    zzfree(out);
    return true;
}

std::vector<uint8_t> BmpBytes(const RgbImage& image) {
    const uint32_t stride = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + dataSize);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(image.width));
    Put32(out, static_cast<uint32_t>(image.height));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, dataSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            Rgb8 c = image.At(x, y);
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
        }
        out.resize(start + stride, 0);
    }
    return out;
}

std::vector<uint8_t> IcoBytes(const std::vector<IconImage>& images) {
    std::vector<std::vector<uint8_t>> bodies;
    for (const IconImage& icon : images) {
        const RgbImage& img = icon.image;
        std::vector<uint8_t> b;
        // BITMAPINFOHEADER with doubled height (colour rows, then the AND mask).
        Put32(b, 40);
        Put32(b, static_cast<uint32_t>(img.width));
        Put32(b, static_cast<uint32_t>(img.height * 2));
        Put16(b, 1);
        Put16(b, 32);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        for (int y = img.height - 1; y >= 0; --y)
            for (int x = 0; x < img.width; ++x) {
                Rgb8 c = img.At(x, y);
                size_t i = static_cast<size_t>(y) * img.width + x;
                b.push_back(c.b);
                b.push_back(c.g);
                b.push_back(c.r);
                b.push_back(icon.alpha.empty() ? 255 : icon.alpha[i]);
            }
        const uint32_t maskStride = ((static_cast<uint32_t>(img.width) + 31) / 32) * 4;
        for (int y = img.height - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskStride, 0);
            for (int x = 0; x < img.width; ++x) {
                size_t i = static_cast<size_t>(y) * img.width + x;
                bool clear = !icon.alpha.empty() && icon.alpha[i] < 128;
                if (clear) row[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
            b.insert(b.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(b));
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const RgbImage& img = images[i].image;
        out.push_back(static_cast<uint8_t>(img.width >= 256 ? 0 : img.width));
        out.push_back(static_cast<uint8_t>(img.height >= 256 ? 0 : img.height));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& b : bodies)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

} // namespace artgen
