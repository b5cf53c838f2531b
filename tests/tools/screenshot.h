// Screenshots as the drivers write them (24-bit bottom-up BMP), read back for pixel facts.
#pragma once

#include "platform/base.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    // The colour at (x, y); black outside the picture.
    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        std::size_t row = 54 + static_cast<std::size_t>(((width * 3 + 3) & ~3)) * (height - 1 - y);
        const unsigned char* p = &bytes[row + x * 3];
        return RGB(p[2], p[1], p[0]);
    }
    // Sum of the three channels, for "brighter than" facts.
    int Brightness(int x, int y) const {
        const COLORREF c = At(x, y);
        return GetRValue(c) + GetGValue(c) + GetBValue(c);
    }
};
