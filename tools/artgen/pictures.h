// The game's pictures, each drawn and reduced to 8 bits, with the marker pixels the game reads
// out of them.
#pragma once

#include "tools/artgen/artgen.h"

namespace artgen {

// 1006: the board, 240 x 294, with all layout markers.
IndexedImage BoardPicture();
// 1007 ... 1011: the board area lit at `level` 1 ... 5, 235 x 220 from the glow origin.
IndexedImage GlowPicture(int level);
// 1026: three goal squares, 60 x 18.
IndexedImage GoalStripPicture();
// 1015 (red, player 1) and 1014 (blue, player 2): 289 x 307, 11 bands of 11 cubes.
IndexedImage PieceSheetPicture(int player);
// 1013: explosion frames, 210 x 400.
IndexedImage ExplosionPicture();
// Logo 5000: 200 x 2000, 20 frames.
IndexedImage LogoPicture();
// The game's icon at `size` x `size` pixels, with alpha.
IconImage IconPicture(int size);

// Colours of the picture family, for pictures drawn elsewhere that sit on the board.
Rgba BoardBackdropColour(); // the dark background around the board and under the banner
Rgba TileColour();          // a plain board square

} // namespace artgen
