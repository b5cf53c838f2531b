// Where the board lies on the game's 240 x 294 screen. The grid points are fixed integers (the
// game reads them back from the board picture's markers); everything drawn in 3D (the board's
// thickness, the cubes) goes through a camera fitted to those points to within half a pixel.
#pragma once

#include "tools/artgen/artgen.h"

namespace artgen {

constexpr int kBoardWidth = 240;
constexpr int kBoardHeight = 294;
constexpr int kGridLines = 12; // per direction
constexpr int kBoardSquares = 11;

// y of grid line r, r = 0 the top (far) line.
int GridY(int r);
// x of grid column c (0..11) on grid line r.
int GridX(int r, int c);

// A point of the board's 3D space: x across (0..11, column c spans [c, c + 1]), v into the
// screen (0..11, board row R spans [R, R + 1], row 0 nearest), z up (one square = 1).
struct Point3 {
    float x = 0, v = 0, z = 0;
};
// Its screen position (target pixels, y down; pixel (x, y) has its centre at x + 0.5, y + 0.5).
Point Project(Point3 p);
// Distance from the camera along its view axis (larger is farther).
float Depth(Point3 p);
// Where the camera sits, in board units (for choosing the visible faces of a box).
Point3 CameraPosition();

// The square's corners on screen: the centres of its grid point pixels, top-left, top-right,
// bottom-right, bottom-left (board row 0..10, column 0..10).
struct Quad {
    Point p[4];
};
Quad SquareQuad(int row, int column);
// The pixel whose area holds the projected foot point of a piece on the square (the centre of
// the square on the board plane): the square's anchor marker.
void AnchorPixel(int row, int column, int* x, int* y);
// The foot point itself, in screen pixels.
Point FootPoint(int row, int column);

// Special points of the board picture.
constexpr int kGlowOriginX = 2, kGlowOriginY = 42;
constexpr int kGlowWidth = 235, kGlowHeight = 220;
constexpr int kBannerX = 0, kBannerY = 268;
constexpr int kBannerWidth = 240, kBannerHeight = 18;
constexpr int kMenuButtonY = 4;
constexpr int kMenuButtonX[6] = {6, 45, 84, 123, 162, 201};
constexpr int kTutorialButtonX[3] = {65, 104, 143};
constexpr int kButtonWidth = 32, kButtonHeight = 21;

} // namespace artgen
