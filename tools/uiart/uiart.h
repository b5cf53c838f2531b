// The game's interface pictures: the status strips (1016 English, 1017 Esperanto), eleven
// banner lines of 240 × 18 stacked in one 240 × 198 picture, and the button faces (1012), six
// rows of four 32 × 21 faces: English up, English down, Esperanto up, Esperanto down. Both are
// yellow-and-dark drawings on the transparent blue.
#pragma once

#include "tools/artgen/artgen.h"

#include <string>
#include <vector>

namespace uiart {

constexpr int kStripWidth = 240, kStripHeight = 18, kStripLines = 11;
constexpr int kFaceWidth = 32, kFaceHeight = 21, kButtons = 6;

// The banner lines in strip order; `esperanto` picks the language.
const std::vector<std::string>& StatusLines(bool esperanto);
// The button labels, top row first: {English, Esperanto}.
struct Label {
    const char* english;
    const char* esperanto;
};
const std::vector<Label>& ButtonLabels();

// The fonts the lines and the labels are set in: the largest size at which every line of both
// languages fits its strip (or face) with a margin.
artgen::TextStyle StripStyle();
artgen::TextStyle LabelStyle();

// The pictures in full colour, transparent pixels exactly the key blue; their palette is the
// one they share with the board's pictures (tessark-artgen).
artgen::Drawing StatusStrips(bool esperanto);
artgen::Drawing ButtonFaces();

} // namespace uiart
