#include "tools/soundgen/synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace soundgen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

} // namespace

std::uint64_t Noise::Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
}

double Noise::White() {
    // The top 53 bits as a fraction in [0, 1), mapped to [-1, 1).
    return static_cast<double>(Next() >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

StateVariable::Out StateVariable::Step(double in, double cutoffHz, double q, double rate) {
    // Chamberlin form; the coefficient is limited so high cutoffs stay stable.
    double f = std::min(1.6, 2.0 * std::sin(std::numbers::pi * cutoffHz / rate));
    double damp = 1.0 / std::max(0.5, q);
    double high = in - low_ - damp * band_;
    band_ += f * high;
    low_ += f * band_;
    return Out{low_, band_, high};
}

OnePole::OnePole(double cutoffHz, double rate) : a_(1.0 - std::exp(-kTwoPi * cutoffHz / rate)) {}

double OnePole::Step(double in) {
    y_ += a_ * (in - y_);
    return y_;
}

std::size_t Frames(double seconds, int rate) {
    return static_cast<std::size_t>(std::lround(seconds * rate));
}

double Percussive(double t, double attack, double decay) {
    if (t < 0) return 0;
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / decay);
}

double Hump(double t, double start, double end) {
    if (t <= start || t >= end) return 0;
    double x = (t - start) / (end - start);
    return 0.5 - 0.5 * std::cos(kTwoPi * x);
}

void AddGlide(Samples& out, int rate, double start, double end, double f0, double f1,
              double amplitude, double attack, double decay) {
    double phase = 0;
    auto first = static_cast<std::size_t>(std::max(0.0, start * rate));
    for (std::size_t i = first; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate - start;
        double span = std::max(1e-6, end - start);
        double x = std::clamp(t / span, 0.0, 1.0);
        double f = f0 * std::pow(f1 / f0, x);
        phase += kTwoPi * f / rate;
        out[i] += amplitude * Percussive(t, attack, decay) * std::sin(phase);
    }
}

void AddBell(Samples& out, int rate, double start, double freq, double amplitude, double decay,
             double brightness) {
    // Partials of a struck bar or bell: ratio, relative level, relative decay.
    static const double kPartials[][3] = {
        {1.0, 1.0, 1.0}, {2.0, 0.45, 0.6}, {2.76, 0.3, 0.45}, {4.07, 0.18, 0.3}, {5.4, 0.1, 0.22}};
    auto first = static_cast<std::size_t>(std::max(0.0, start * rate));
    for (const auto& p : kPartials) {
        double f = freq * p[0];
        if (f > rate * 0.45) continue; // nothing above the format's reach
        double level = p[1] * (p[0] == 1.0 ? 1.0 : brightness);
        for (std::size_t i = first; i < out.size(); ++i) {
            double t = static_cast<double>(i) / rate - start;
            double env = Percussive(t, 0.002, decay * p[2]);
            if (env < 1e-5 && t > 0.01) break;
            out[i] += amplitude * level * env * std::sin(kTwoPi * f * t);
        }
    }
}

void AddFm(Samples& out, int rate, double start, double length, double freq, double ratio,
           double index0, double index1, double amplitude, double attack, double decay) {
    auto first = static_cast<std::size_t>(std::max(0.0, start * rate));
    for (std::size_t i = first; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate - start;
        if (t > length) break;
        double x = t / length;
        double index = index0 + (index1 - index0) * x;
        double mod = index * std::sin(kTwoPi * freq * ratio * t);
        // The last tenth of the note closes smoothly instead of stopping mid-cycle.
        double tail = std::min(1.0, (length - t) / (0.1 * length));
        double env = Percussive(t, attack, decay) * tail;
        out[i] += amplitude * env * std::sin(kTwoPi * freq * t + mod);
    }
}

void Reverb(Samples& samples, int rate, double mix, double decay) {
    static const double kCombs[] = {0.0297, 0.0371, 0.0411, 0.0437};
    static const double kAllPasses[] = {0.005, 0.0017};
    Samples wet(samples.size(), 0.0);
    for (double seconds : kCombs) {
        auto delay = std::max<std::size_t>(1, Frames(seconds, rate));
        double feedback = std::pow(0.001, seconds / std::max(0.05, decay));
        std::vector<double> line(delay, 0.0);
        double damped = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            double out = line[i % delay];
            damped = 0.7 * out + 0.3 * damped; // high frequencies die sooner, as in a room
            line[i % delay] = samples[i] + feedback * damped;
            wet[i] += out * 0.25;
        }
    }
    for (double seconds : kAllPasses) {
        auto delay = std::max<std::size_t>(1, Frames(seconds, rate));
        std::vector<double> line(delay, 0.0);
        for (std::size_t i = 0; i < wet.size(); ++i) {
            double stored = line[i % delay];
            double in = wet[i];
            double out = stored - 0.7 * in;
            line[i % delay] = in + 0.7 * out;
            wet[i] = out;
        }
    }
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] += mix * wet[i];
}

std::vector<std::uint8_t> Finish(Samples samples, const Format& format, double peak,
                                 double fadeSeconds, std::uint64_t ditherSeed) {
    const auto channels = static_cast<std::size_t>(format.channels);
    const std::size_t frames = samples.size() / channels;
    const std::size_t fade =
        std::max<std::size_t>(1, std::min(frames / 2, Frames(fadeSeconds, format.rate)));
    std::vector<double> window(frames, 1.0);
    for (std::size_t i = 0; i < fade; ++i) {
        double w = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / fade);
        window[i] = std::min(window[i], w);
        window[frames - 1 - i] = std::min(window[frames - 1 - i], w);
    }
    double windowSum = 0;
    for (double w : window)
        windowSum += w;

    // Per channel: take out the mean under the window, so the faded result averages to zero
    // and still starts and ends at zero.
    for (std::size_t c = 0; c < channels; ++c) {
        double weighted = 0;
        for (std::size_t i = 0; i < frames; ++i)
            weighted += samples[i * channels + c] * window[i];
        double mean = windowSum > 0 ? weighted / windowSum : 0;
        for (std::size_t i = 0; i < frames; ++i) {
            double& s = samples[i * channels + c];
            s = (s - mean) * window[i];
        }
    }
    double loudest = 0;
    for (double s : samples)
        loudest = std::max(loudest, std::fabs(s));
    double scale = loudest > 0 ? peak / loudest : 0;

    // Triangular dither of one step, faded with the sound so the ends stay silent.
    Noise dither(ditherSeed);
    std::vector<std::uint8_t> out;
    out.reserve(samples.size() * static_cast<std::size_t>(format.bits / 8));
    const double full = format.bits == 16 ? 32767.0 : 127.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double d = 0.5 * (dither.White() + dither.White()) * window[i / channels];
        double v = std::round(samples[i] * scale * full + d);
        v = std::clamp(v, -full, full);
        if (format.bits == 16) {
            Put16(out, static_cast<unsigned>(static_cast<std::int16_t>(v)) & 0xFFFF);
        } else {
            out.push_back(static_cast<std::uint8_t>(static_cast<int>(v) + 128));
        }
    }
    return out;
}

std::vector<std::uint8_t> WaveFile(const Format& format, const std::vector<std::uint8_t>& data) {
    const unsigned blockAlign = static_cast<unsigned>(format.channels * format.bits / 8);
    std::vector<std::uint8_t> out;
    out.reserve(44 + data.size() + 1);
    PutTag(out, "RIFF");
    Put32(out, static_cast<std::uint32_t>(36 + data.size() + (data.size() & 1)));
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1); // PCM
    Put16(out, static_cast<unsigned>(format.channels));
    Put32(out, static_cast<std::uint32_t>(format.rate));
    Put32(out, static_cast<std::uint32_t>(format.rate) * blockAlign);
    Put16(out, blockAlign);
    Put16(out, static_cast<unsigned>(format.bits));
    PutTag(out, "data");
    Put32(out, static_cast<std::uint32_t>(data.size()));
    for (std::uint8_t b : data)
        out.push_back(b);
    if (data.size() & 1) out.push_back(0); // chunks are word-aligned
    return out;
}

} // namespace soundgen
