// Screenshots as the null driver writes them: 24-bit bottom-up BMP files.
#pragma once

#include "platform/gdi.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Width, height and the colour at (x, y) of a 24-bit bottom-up BMP.
struct Bmp {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
    bool Load(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), {});
        if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || bytes[28] != 24)
            return false;
        width = bytes[18] | bytes[19] << 8;
        height = bytes[22] | bytes[23] << 8;
        return bytes.size() >= 54 + static_cast<std::size_t>(((width * 3 + 3) & ~3) * height);
    }
    COLORREF At(int x, int y) const {
        std::size_t row = 54 + static_cast<std::size_t>(((width * 3 + 3) & ~3)) * (height - 1 - y);
        const unsigned char* p = &bytes[row + x * 3];
        return RGB(p[2], p[1], p[0]);
    }
};
