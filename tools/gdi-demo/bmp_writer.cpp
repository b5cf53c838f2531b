#include "tools/gdi-demo/bmp_writer.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace gdi_demo {

namespace {

void Put16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

} // namespace

bool WriteBmp24(const std::string& path, const unsigned char* bits, int width, int height,
                int pitch) {
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * 24 + 31) / 32) * 4;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    std::vector<unsigned char> out;
    out.reserve(54 + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + imageSize);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const unsigned char* row = bits + static_cast<std::size_t>(y) * pitch;
        out.insert(out.end(), row, row + static_cast<std::size_t>(width) * 3);
        out.resize(out.size() + (stride - static_cast<std::uint32_t>(width) * 3), 0);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace gdi_demo
