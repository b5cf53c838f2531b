// The game's sounds: sixteen effects (WAVE resources 1030 ... 1045) and the three logo sounds
// (5001 ... 5003, stored as zz blocks), each synthesised in its resource's format and length.
#pragma once

#include "tools/soundgen/synth.h"

#include <cstdint>
#include <vector>

namespace soundgen {

struct Sound {
    unsigned id;
    Format format;
    double seconds;
    bool logo;                      // stored as a zz block (logo_<id>.zz), else wave_<id>.wav
    std::vector<std::uint8_t> wave; // the whole RIFF WAVE file
};

// Renders every sound; the same bytes on every call and every build.
std::vector<Sound> RenderAll();

} // namespace soundgen
