#include "tools/artgen/board_geometry.h"

#include <cmath>

namespace artgen {

namespace {

constexpr int kLineY[kGridLines] = {43, 59, 75, 92, 109, 127, 145, 163, 182, 202, 223, 243};
constexpr int kTopLeft = 18, kTopRight = 221, kBottomLeft = 2, kBottomRight = 236;

// A pinhole camera with a shifted lens, fitted by least squares to the grid points above.
constexpr double kCamX = 5.676277, kCamBack = 65.749713, kCamHeight = 70.277603;
constexpr double kPitch = 0.0813611, kFocal = 1516.194275;
constexpr double kCentreX = 122.751530, kCentreY = -1133.980028;

} // namespace

int GridY(int r) {
    return kLineY[r < 0 ? 0 : r >= kGridLines ? kGridLines - 1 : r];
}

int GridX(int r, int c) {
    // The board's side edges are straight lines on screen, and in perspective the columns divide
    // every horizontal line evenly.
    double t = (GridY(r) - kLineY[0]) / double(kLineY[kGridLines - 1] - kLineY[0]);
    double left = kTopLeft + (kBottomLeft - kTopLeft) * t;
    double right = kTopRight + (kBottomRight - kTopRight) * t;
    return static_cast<int>(std::lround(left + (right - left) * c / kBoardSquares));
}

float Depth(Point3 p) {
    double dv = p.v + kCamBack, dz = p.z - kCamHeight;
    return static_cast<float>(dv * std::cos(kPitch) - dz * std::sin(kPitch));
}

Point Project(Point3 p) {
    double dx = p.x - kCamX, dv = p.v + kCamBack, dz = p.z - kCamHeight;
    double zc = dv * std::cos(kPitch) - dz * std::sin(kPitch);
    double yc = dv * std::sin(kPitch) + dz * std::cos(kPitch);
    // The fit is in pixel numbers; + 0.5 puts it on pixel centres.
    return {static_cast<float>(kCentreX + kFocal * dx / zc + 0.5),
            static_cast<float>(kCentreY - kFocal * yc / zc + 0.5)};
}

Point3 CameraPosition() {
    return {static_cast<float>(kCamX), static_cast<float>(-kCamBack),
            static_cast<float>(kCamHeight)};
}

Quad SquareQuad(int row, int column) {
    int top = 10 - row; // grid line above the square
    auto at = [](int r, int c) { return Point{GridX(r, c) + 0.5f, GridY(r) + 0.5f}; };
    return {{at(top, column), at(top, column + 1), at(top + 1, column + 1), at(top + 1, column)}};
}

Point FootPoint(int row, int column) {
    return Project({column + 0.5f, row + 0.5f, 0});
}

void AnchorPixel(int row, int column, int* x, int* y) {
    Point p = FootPoint(row, column);
    *x = static_cast<int>(std::floor(p.x));
    *y = static_cast<int>(std::floor(p.y));
}

} // namespace artgen
