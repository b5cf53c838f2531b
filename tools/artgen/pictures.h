// The game's pictures, drawn in full colour with the marker pixels the game reads out of them,
// and reduced together to the one palette they share in the game's palette group.
#pragma once

#include "tools/artgen/artgen.h"

#include <vector>

namespace artgen {

// 1006: the board, 240 x 294, with all layout markers.
Drawing BoardDrawing();
// 1007 ... 1011: the board area lit at `level` 1 ... 5, 235 x 220 from the glow origin.
Drawing GlowDrawing(int level);
// 1026: three goal squares, 60 x 18.
Drawing GoalStripDrawing();
// 1015 (red, player 1) and 1014 (blue, player 2): 289 x 307, 11 bands of 11 cubes.
Drawing PieceSheetDrawing(int player);
// 1013: explosion frames, 210 x 400.
Drawing ExplosionDrawing();

// Every picture the game loads into its palette group (the status strips and button faces of
// tools/uiart among them), by resource id.
struct GamePicture {
    int id = 0;
    Drawing drawing;
};
std::vector<GamePicture> GamePictures();
// The pictures on their shared palette, in the same order: the marker colours exact, at most
// 256 entries with black and white, so the group's merge finds a place for every colour.
std::vector<IndexedImage> SharePalette(const std::vector<GamePicture>& pictures);

// Logo 5000: 200 x 2000, 20 frames, on a palette of its own (the splash has its own group).
IndexedImage LogoPicture();
// The game's icon at `size` x `size` pixels, with alpha.
IconImage IconPicture(int size);

// Colours of the picture family, for pictures drawn elsewhere that sit on the board.
Rgba BoardBackdropColour(); // the dark background around the board and under the banner
Rgba TileColour();          // a plain board square

} // namespace artgen
