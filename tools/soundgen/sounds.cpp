#include "tools/soundgen/sounds.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace soundgen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Note frequencies used below (equal temperament, A4 = 440 Hz).
constexpr double kD3 = 146.83, kA3 = 220.0, kD4 = 293.66, kF4 = 349.23, kA4 = 440.0;
constexpr double kC5 = 523.25, kE5 = 659.26, kG5 = 783.99, kA5 = 880.0, kB5 = 987.77;
constexpr double kC6 = 1046.50, kD6 = 1174.66, kE6 = 1318.51, kG6 = 1567.98;

struct Voice {
    Format format;
    double seconds;
    Samples s;
    Voice(const Format& f, double secs)
        : format(f), seconds(secs), s(Frames(secs, f.rate) * static_cast<std::size_t>(f.channels)) {
    }
    int rate() const { return format.rate; }
    std::size_t frames() const { return s.size() / static_cast<std::size_t>(format.channels); }
    double T(std::size_t i) const { return static_cast<double>(i) / format.rate; }
};

// A short burst of band-passed noise: the contact part of clicks and knocks.
void AddTick(Samples& out, int rate, double start, double centre, double q, double amplitude,
             double decay, std::uint64_t seed) {
    Noise noise(seed);
    StateVariable filter;
    auto first = static_cast<std::size_t>(start * rate);
    for (std::size_t i = first; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate - start;
        double band = filter.Step(noise.White(), centre, q, rate).band;
        out[i] += amplitude * Percussive(t, 0.0004, decay) * band;
    }
}

// A mono buffer spread into an interleaved stereo one, the right side a little darker and later
// so the click has some width.
Samples Stereo(const Samples& left, const Samples& right) {
    Samples out(left.size() * 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    return out;
}

// 1030: the pen goes down on a button: a short, dry tick.
Samples ButtonDown(const Format& f, double secs) {
    Samples l(Frames(secs, f.rate)), r(l.size());
    AddTick(l, f.rate, 0.0, 3200, 2.0, 1.0, 0.006, 11);
    AddTick(r, f.rate, 0.0007, 2900, 2.0, 1.0, 0.006, 12);
    AddGlide(l, f.rate, 0, 0.03, 1900, 1500, 0.35, 0.001, 0.012);
    AddGlide(r, f.rate, 0.0007, 0.03, 1900, 1500, 0.35, 0.001, 0.012);
    return Stereo(l, r);
}

// 1044: a command is carried out: two quick rising glass blips.
Samples ButtonConfirm(const Format& f, double secs) {
    Samples l(Frames(secs, f.rate)), r(l.size());
    AddBell(l, f.rate, 0.0, kE6, 0.8, 0.035, 0.5);
    AddBell(l, f.rate, 0.032, kA5 * 2, 0.7, 0.04, 0.5);
    AddBell(r, f.rate, 0.001, kE6, 0.7, 0.035, 0.4);
    AddBell(r, f.rate, 0.034, kA5 * 2, 0.8, 0.04, 0.4);
    return Stereo(l, r);
}

// 1035: refusal: a low, rough buzz, brief.
Samples Refusal(const Format& f, double secs) {
    Voice v(f, secs);
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double x = 0;
        for (int k = 1; k <= 9; ++k) {
            x += std::sin(kTwoPi * 140.0 * k * t) / k;
            x += 0.8 * std::sin(kTwoPi * 149.0 * k * t) / k; // the beat gives the roughness
        }
        v.s[i] = x * Percussive(t, 0.004, 0.03);
    }
    return v.s;
}

// 1034: a piece is picked up: a light upward flick.
Samples PickUp(const Format& f, double secs) {
    Voice v(f, secs);
    AddGlide(v.s, f.rate, 0, 0.09, 330, 780, 1.0, 0.004, 0.06);
    AddGlide(v.s, f.rate, 0, 0.09, 660, 1560, 0.25, 0.004, 0.04);
    AddTick(v.s, f.rate, 0, 2500, 1.5, 0.3, 0.004, 34);
    return v.s;
}

// 1033: a dropped piece springs back to its square: a falling swoop and a small bounce.
Samples Return(const Format& f, double secs) {
    Voice v(f, secs);
    AddGlide(v.s, f.rate, 0, 0.11, 780, 310, 1.0, 0.004, 0.07);
    AddGlide(v.s, f.rate, 0.11, 0.17, 420, 300, 0.45, 0.003, 0.03);
    AddTick(v.s, f.rate, 0.11, 1400, 1.5, 0.35, 0.006, 33);
    return v.s;
}

// 1032: a piece is put down (or created, first of a run): a soft wooden knock with a faint
// chime, the note below the creation variants' scale.
Samples PutDown(const Format& f, double secs) {
    Voice v(f, secs);
    AddGlide(v.s, f.rate, 0, 0.05, 230, 140, 1.0, 0.002, 0.05);
    AddTick(v.s, f.rate, 0, 1300, 1.4, 0.8, 0.01, 32);
    AddBell(v.s, f.rate, 0.004, kG5, 0.22, 0.07, 0.6);
    return v.s;
}

// 1038 ... 1041: a piece assembles, run variants: a chime climbing a pentatonic scale from one
// variant to the next, over a soft knock.
Samples Creation(const Format& f, double secs, double note, std::uint64_t seed) {
    Voice v(f, secs);
    double decay = secs * 0.28;
    AddBell(v.s, f.rate, 0.0, note, 1.0, decay, 0.7);
    AddBell(v.s, f.rate, 0.035, note * 1.5, 0.3, decay * 0.6, 0.5);
    AddGlide(v.s, f.rate, 0, 0.04, 220, 150, 0.45, 0.002, 0.04);
    AddTick(v.s, f.rate, 0, 1600, 1.4, 0.3, 0.008, seed);
    return v.s;
}

// 1042: the computer's piece slides: a breathy sweep of filtered noise over a low hum.
Samples Slide(const Format& f, double secs) {
    Voice v(f, secs);
    Noise noise(42);
    StateVariable filter;
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double x = t / secs;
        double cutoff = 700 * std::pow(3.2, x);
        double band = filter.Step(noise.White(), cutoff, 3.0, f.rate).band;
        double env = std::sin(std::numbers::pi * std::pow(x, 0.7)); // swells early, trails off
        v.s[i] = env * (band + 0.15 * std::sin(kTwoPi * (95 + 20 * x) * t));
    }
    return v.s;
}

// 1036: a piece bursts: a noise blast whose brightness falls away, a low thump under it and a
// few crackles.
Samples Explosion(const Format& f, double secs) {
    Voice v(f, secs);
    Noise noise(36), crackle(136);
    StateVariable filter;
    double spark = 0;
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double cutoff = 300 + 6500 * std::exp(-t / 0.07);
        double low = filter.Step(noise.White(), cutoff, 0.9, f.rate).low;
        double blast = low * Percussive(t, 0.003, 0.11);
        if (crackle.Next() % 1400 == 0 && t < 0.35) spark = 0.5 * crackle.White();
        spark *= 0.985;
        v.s[i] = blast + spark * Percussive(t, 0.0, 0.2);
    }
    AddGlide(v.s, f.rate, 0, 0.25, 120, 42, 0.9, 0.002, 0.09);
    return v.s;
}

// 1045: the after-sound of a burst of explosions: a dying rumble with embers that glint and
// fade.
Samples AfterSound(const Format& f, double secs) {
    Voice v(f, secs);
    Noise noise(45), when(145);
    OnePole lp1(260, f.rate), lp2(260, f.rate);
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double rumble = lp2.Step(lp1.Step(noise.White()));
        v.s[i] = 5.0 * rumble * Percussive(t, 0.12, 0.65);
    }
    AddGlide(v.s, f.rate, 0, secs, 62, 48, 0.25, 0.2, 0.6);
    static const double kEmbers[] = {kC6 * 2, kE6 * 2, kG6 * 2, kD6 * 2, kA5 * 2, kB5 * 2};
    double at = 0.15;
    for (int k = 0; k < 9; ++k) {
        double note = kEmbers[when.Next() % 6];
        AddBell(v.s, f.rate, at, note, 0.12 * std::exp(-at / 0.8), 0.18, 0.3);
        at += 0.08 + 0.12 * (0.5 + 0.5 * when.White());
    }
    return v.s;
}

// 1043: a light trace starts: a glassy upward sweep, chorused and shimmering.
Samples TraceSweep(const Format& f, double secs) {
    Voice v(f, secs);
    double p1 = 0, p2 = 0, p3 = 0;
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double x = t / secs;
        double freq = 480 * std::pow(4.0, std::min(1.0, x / 0.85));
        p1 += kTwoPi * freq / f.rate;
        p2 += kTwoPi * freq * 1.006 / f.rate;
        p3 += kTwoPi * freq * 2.003 / f.rate;
        double shimmer = 0.75 + 0.25 * std::sin(kTwoPi * 11.0 * t);
        double env = Percussive(t, 0.12, 0.35) * shimmer;
        v.s[i] = env * (std::sin(p1) + 0.7 * std::sin(p2) + 0.2 * std::sin(p3));
    }
    return v.s;
}

// 1037: a human-played side wins: a bright rising major arpeggio that rings out.
Samples HumanWins(const Format& f, double secs) {
    Voice v(f, secs);
    AddBell(v.s, f.rate, 0.00, kC5, 0.7, 0.12, 0.8);
    AddBell(v.s, f.rate, 0.09, kE5, 0.7, 0.12, 0.8);
    AddBell(v.s, f.rate, 0.18, kG5, 0.7, 0.12, 0.8);
    AddBell(v.s, f.rate, 0.27, kC6, 0.9, 0.22, 0.9);
    AddBell(v.s, f.rate, 0.27, kE6, 0.45, 0.2, 0.6);
    AddBell(v.s, f.rate, 0.27, kG6, 0.25, 0.18, 0.5);
    return v.s;
}

// 1031: a computer-played side wins: a slow falling minor line in a darker, brassy voice,
// settling on a low open fifth.
Samples ComputerWins(const Format& f, double secs) {
    Voice v(f, secs);
    AddFm(v.s, f.rate, 0.00, 0.24, kA4, 1.0, 1.6, 0.6, 0.6, 0.02, 0.25);
    AddFm(v.s, f.rate, 0.20, 0.24, kF4, 1.0, 1.6, 0.6, 0.6, 0.02, 0.25);
    AddFm(v.s, f.rate, 0.40, 0.26, kD4, 1.0, 1.6, 0.6, 0.6, 0.02, 0.25);
    AddFm(v.s, f.rate, 0.62, 0.62, kD3, 1.0, 2.2, 0.4, 0.8, 0.03, 0.35);
    AddFm(v.s, f.rate, 0.62, 0.62, kA3, 1.0, 1.2, 0.3, 0.45, 0.03, 0.35);
    return v.s;
}

// 5001: the logo tile tumbles in: a whoosh that turns over and over as it comes closer.
Samples LogoTumble(const Format& f, double secs) {
    Voice v(f, secs);
    Noise noise(5001);
    StateVariable filter;
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double x = t / secs;
        double cutoff = 500 + 2600 * x;
        double band = filter.Step(noise.White(), cutoff, 4.0, f.rate).band;
        double turns = 0.6 + 0.4 * std::cos(kTwoPi * (4 + 6 * x) * t);
        v.s[i] = band * turns * std::pow(x, 0.6) * (1.0 - 0.3 * x);
    }
    AddGlide(v.s, f.rate, 0.1, secs, 180, 520, 0.25, 0.5, 0.5);
    return v.s;
}

// 5002: the tile settles facing the viewer: a firm knock and a clear note.
Samples LogoSettle(const Format& f, double secs) {
    Voice v(f, secs);
    AddGlide(v.s, f.rate, 0, 0.08, 190, 95, 1.0, 0.002, 0.07);
    AddTick(v.s, f.rate, 0, 1100, 1.2, 0.6, 0.012, 5002);
    AddBell(v.s, f.rate, 0.01, kE5, 0.45, 0.14, 0.6);
    return v.s;
}

// 5003: the wordmark fades in: a soft major-seventh chord swelling and glittering.
Samples LogoWordmark(const Format& f, double secs) {
    Voice v(f, secs);
    static const double kChord[] = {kC5, kE5, kG5, kB5};
    for (std::size_t i = 0; i < v.frames(); ++i) {
        double t = v.T(i);
        double env = std::min(1.0, t / 0.35) * std::exp(-std::max(0.0, t - 0.35) / 0.4);
        double x = 0;
        for (int k = 0; k < 4; ++k)
            x += std::sin(kTwoPi * kChord[k] * t + k) * (k == 0 ? 1.0 : 0.7);
        v.s[i] = 0.35 * env * x;
    }
    AddBell(v.s, f.rate, 0.30, kC6 * 2, 0.35, 0.15, 0.3);
    AddBell(v.s, f.rate, 0.42, kG6, 0.3, 0.15, 0.3);
    AddBell(v.s, f.rate, 0.55, kE6 * 2, 0.25, 0.15, 0.3);
    return v.s;
}

struct Recipe {
    unsigned id;
    Format format;
    double seconds;
    bool logo;
    double peak; // loudness relative to full scale
    Samples (*render)(const Format&, double);
    double room = 0; // reverb mix; tonal sounds get a little space around them
};

Samples Creation1(const Format& f, double s) {
    return Creation(f, s, kA5, 38);
}
Samples Creation2(const Format& f, double s) {
    return Creation(f, s, kC6, 39);
}
Samples Creation3(const Format& f, double s) {
    return Creation(f, s, kD6, 40);
}
Samples Creation4(const Format& f, double s) {
    return Creation(f, s, kE6, 41);
}

constexpr Format k44s16{44100, 16, 2};
constexpr Format k22m8{22050, 8, 1};
constexpr Format k22m16{22050, 16, 1};
constexpr Format k11m8{11025, 8, 1};
constexpr Format k44m8{44100, 8, 1};
constexpr Format k44m16{44100, 16, 1};
constexpr Format k8m16{8000, 16, 1};

const Recipe kRecipes[] = {
    {1030, k44s16, 0.07, false, 0.45, ButtonDown},
    {1044, k44s16, 0.09, false, 0.5, ButtonConfirm},
    {1031, k22m8, 1.24, false, 0.8, ComputerWins, 0.35},
    {1032, k22m8, 0.24, false, 0.65, PutDown},
    {1033, k22m8, 0.19, false, 0.55, Return},
    {1034, k22m8, 0.15, false, 0.55, PickUp},
    {1035, k11m8, 0.05, false, 0.6, Refusal},
    {1036, k44m8, 0.53, false, 0.85, Explosion},
    {1045, k44m8, 2.50, false, 0.45, AfterSound},
    {1037, k22m8, 0.71, false, 0.8, HumanWins, 0.3},
    {1038, k22m16, 0.92, false, 0.6, Creation1, 0.25},
    {1039, k22m16, 0.83, false, 0.6, Creation2, 0.25},
    {1040, k22m16, 0.64, false, 0.6, Creation3, 0.25},
    {1041, k22m8, 0.45, false, 0.6, Creation4, 0.2},
    {1042, k44m16, 0.50, false, 0.5, Slide},
    {1043, k22m8, 1.10, false, 0.5, TraceSweep, 0.3},
    {5001, k22m8, 0.87, true, 0.6, LogoTumble},
    {5002, k8m16, 0.48, true, 0.7, LogoSettle, 0.2},
    {5003, k22m8, 1.00, true, 0.6, LogoWordmark, 0.35},
};

} // namespace

std::vector<Sound> RenderAll() {
    std::vector<Sound> out;
    for (const Recipe& r : kRecipes) {
        Samples s = r.render(r.format, r.seconds);
        if (r.room > 0) Reverb(s, r.format.rate, r.room, r.seconds * 0.8);
        // Short sounds get short fades so their attack stays crisp; long ones fade gently.
        double fade = std::clamp(r.seconds * 0.06, 0.002, 0.03);
        auto pcm = Finish(std::move(s), r.format, r.peak, fade, 0xD17E + r.id);
        out.push_back(Sound{r.id, r.format, r.seconds, r.logo, WaveFile(r.format, pcm)});
    }
    return out;
}

} // namespace soundgen
