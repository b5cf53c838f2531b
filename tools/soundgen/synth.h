// The sound generator's building blocks: a deterministic noise source, oscillators, filters
// and envelopes that work on buffers of double samples in -1 ... 1, and the finishing step that
// turns such a buffer into clean PCM (no DC, faded ends, a fixed peak, never clipping) inside a
// RIFF WAVE file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundgen {

using Samples = std::vector<double>;

// xorshift64*: the same sequence on every machine, so every build makes the same bytes.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t Next();
    // Uniform in -1 ... 1.
    double White();

private:
    std::uint64_t state_;
};

// Two-pole state-variable filter; the cutoff may change every sample.
class StateVariable {
public:
    struct Out {
        double low, band, high;
    };
    Out Step(double in, double cutoffHz, double q, double rate);

private:
    double low_ = 0, band_ = 0;
};

// One-pole low-pass with a fixed cutoff.
class OnePole {
public:
    OnePole(double cutoffHz, double rate);
    double Step(double in);

private:
    double a_;
    double y_ = 0;
};

// Number of samples of `seconds` at `rate`, rounded.
std::size_t Frames(double seconds, int rate);

// Percussive envelope: a linear attack over `attack` seconds, then exponential decay with time
// constant `decay` seconds.
double Percussive(double t, double attack, double decay);
// A smooth 0 -> 1 -> 0 hump over [start, end] (raised cosine), 0 outside.
double Hump(double t, double start, double end);

// Adds a sine whose frequency glides exponentially from f0 to f1 between start and end
// (seconds), shaped by the envelope, into `out`.
void AddGlide(Samples& out, int rate, double start, double end, double f0, double f1,
              double amplitude, double attack, double decay);

// Adds a struck-bell voice at `freq`: inharmonic partials, the higher ones dying sooner.
void AddBell(Samples& out, int rate, double start, double freq, double amplitude, double decay,
             double brightness = 1.0);

// Adds a two-operator FM tone (carrier freq, modulator freq × ratio, index falling from
// index0 to index1), for brassy or metallic voices.
void AddFm(Samples& out, int rate, double start, double length, double freq, double ratio,
           double index0, double index1, double amplitude, double attack, double decay);

// Adds a small room to `samples` (mono): four damped comb filters and two all-passes, the wet
// part scaled by `mix`; `decay` is the time in seconds the tail takes to fall by 60 dB.
void Reverb(Samples& samples, int rate, double mix, double decay);

// A PCM format.
struct Format {
    int rate;
    int bits;     // 8 or 16
    int channels; // 1 or 2
};

// Finishing: removes the DC offset, fades both ends in and out over `fadeSeconds`, scales the
// loudest sample to `peak` (of full scale) and quantizes. Stereo input is left/right
// interleaved. Returns the PCM bytes as a WAVE file's data chunk holds them.
std::vector<std::uint8_t> Finish(Samples samples, const Format& format, double peak,
                                 double fadeSeconds, std::uint64_t ditherSeed);

// A whole RIFF WAVE file of PCM `data`.
std::vector<std::uint8_t> WaveFile(const Format& format, const std::vector<std::uint8_t>& data);

} // namespace soundgen
