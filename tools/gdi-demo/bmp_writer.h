// Writes a 24-bit surface as a bottom-up BMP file.
#pragma once

#include <string>

namespace gdi_demo {

// `bits` are top-down rows of `pitch` bytes, 3 bytes a pixel (blue, green, red).
bool WriteBmp24(const std::string& path, const unsigned char* bits, int width, int height,
                int pitch);

} // namespace gdi_demo
