// Pictures for the animation demo and its benchmark, drawn by code: a background tile and a
// sheet of two-frame 35 x 50 sprites, as 16-bit (5-5-5) BMP files in memory.
#pragma once

#include "platform/base.h"

#include <vector>

namespace demo_art {

// The sprites' transparent colour.
constexpr COLORREF kKey = RGB(248, 0, 248);
constexpr LONG kSpriteWidth = 35;
constexpr LONG kSpriteHeight = 50;

// A 16 x 16 tile of two shades.
std::vector<BYTE> Tile();
// Two frames side by side (70 x 50): a rounded figure in `hue` (0-5) whose band moves between
// the frames, on the transparent colour.
std::vector<BYTE> SpriteSheet(int hue);

} // namespace demo_art
