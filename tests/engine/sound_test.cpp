// Sounds and the mixer: RIFF parsing and conversion, the fill step driven directly (mixing,
// peaks, loops, urgency, notifications), and the mixer thread with the paced null device.
#include "engine/cea_sound.h"
#include "engine/cea_sound_mix.h"
#include "engine_test_support.h"
#include "foundation/memory.h"
#include "foundation/tl_string.h"
#include "platform/resource.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(Bytes& b, DWORD v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<BYTE>(id[i]));
}

WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// A RIFF wave: the "fmt " chunk holds `fmtBytes` bytes (16 or more) of `f`.
Bytes Riff(const WAVEFORMATEX& f, const Bytes& samples, DWORD fmtBytes = 16,
           const char* form = "WAVE") {
    Bytes fmt;
    Put16(fmt, f.wFormatTag);
    Put16(fmt, f.nChannels);
    Put32(fmt, f.nSamplesPerSec);
    Put32(fmt, f.nAvgBytesPerSec);
    Put16(fmt, f.nBlockAlign);
    Put16(fmt, f.wBitsPerSample);
    if (fmtBytes >= 18) Put16(fmt, f.cbSize);
    fmt.resize(fmtBytes, 0);
    Bytes body;
    PutId(body, form);
    PutId(body, "fmt ");
    Put32(body, fmtBytes);
    body.insert(body.end(), fmt.begin(), fmt.end());
    PutId(body, "data");
    Put32(body, static_cast<DWORD>(samples.size()));
    body.insert(body.end(), samples.begin(), samples.end());
    Bytes riff;
    PutId(riff, "RIFF");
    Put32(riff, static_cast<DWORD>(body.size()));
    for (BYTE b : body)
        riff.push_back(b);
    return riff;
}

Bytes Data(const Sound& s) {
    return Bytes(s.GetData(), s.GetData() + s.GetSize());
}

// 8-bit samples around the middle: a pattern with every value's sign and size.
Bytes Wave8(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (auto& v : b)
        v = static_cast<BYTE>(random() % 256);
    return b;
}

SoundChannel Channel(const Bytes& data, bool stereo, bool loop = false) {
    SoundChannel c{};
    c.stereo = stereo ? 1 : 0;
    c.data = data.data();
    c.size = static_cast<DWORD>(data.size());
    c.loop = loop ? 1 : 0;
    return c;
}

// A window of the test thread that receives the mixer's notifications.
class NotifyWindow {
public:
    NotifyWindow() {
        static const bool registered = [] {
            WNDCLASS wc{};
            wc.lpfnWndProc = DefWindowProc;
            wc.lpszClassName = TEXT("SoundTestWindow");
            return RegisterClass(&wc) != 0;
        }();
        EXPECT_TRUE(registered);
        hwnd = CreateWindowEx(0, TEXT("SoundTestWindow"), TEXT(""), WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
    }
    ~NotifyWindow() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    // Notifications waiting now, removed from the queue.
    std::vector<MSG> Take() {
        std::vector<MSG> got;
        MSG msg;
        while (PeekMessage(&msg, hwnd, kSoundDoneMessage, kSoundDoneMessage, PM_REMOVE))
            got.push_back(msg);
        return got;
    }
    // Waits up to `ms` for at least one notification.
    std::vector<MSG> WaitFor(int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::vector<MSG> got;
        while (got.empty() && std::chrono::steady_clock::now() < end) {
            got = Take();
            if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return got;
    }
    HWND hwnd = nullptr;
};

template <class Condition>
bool WaitUntil(Condition condition, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// ---- Loading --------------------------------------------------------------------------------

TEST(SoundLoad, PlainWaveIsKeptAsACopyAndBothFmtChunkSizesAreRead) {
    Bytes samples = Wave8(300, 1);
    for (DWORD fmtBytes : {16u, 18u, 22u}) {
        Bytes riff = Riff(Pcm(22050, 1, 8), samples, fmtBytes);
        Sound s(riff.data(), static_cast<DWORD>(riff.size()));
        ASSERT_TRUE(s.IsLoaded()) << fmtBytes;
        std::fill(riff.begin(), riff.end(), 0); // the sound owns its samples
        EXPECT_EQ(Data(s), samples);
        EXPECT_EQ(s.GetFormat().wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(s.GetFormat().nChannels, 1);
        EXPECT_EQ(s.GetFormat().nSamplesPerSec, 22050u);
        EXPECT_EQ(s.GetFormat().wBitsPerSample, 8);
        EXPECT_EQ(s.GetFormat().cbSize, 0);
        EXPECT_FALSE(s.IsPlaying());
    }
    // 17 bytes is neither the short nor the full form: no format, so nothing loads.
    Bytes riff = Riff(Pcm(22050, 1, 8), samples, 17);
    EXPECT_FALSE(Sound(riff.data(), static_cast<DWORD>(riff.size())).IsLoaded());
}

TEST(SoundLoad, SixteenBit44100StereoEndsEightBit22050Stereo) {
    // Left constant +0x4000, right constant -0x4000: halving the rate keeps them, and the
    // high byte of each becomes the 8-bit sample.
    Bytes samples;
    for (int i = 0; i < 1000; ++i) {
        Put16(samples, 0x4000);
        Put16(samples, 0xC000);
    }
    Bytes riff = Riff(Pcm(44100, 2, 16), samples);
    Sound s(riff.data(), static_cast<DWORD>(riff.size()));
    ASSERT_TRUE(s.IsLoaded());
    const WAVEFORMATEX& f = s.GetFormat();
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 22050u);
    EXPECT_EQ(f.wBitsPerSample, 8);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.nAvgBytesPerSec, 44100u);
    ASSERT_EQ(s.GetSize(), 1000u); // 500 frames of 2 bytes
    for (DWORD i = 0; i < s.GetSize(); i += 2) {
        ASSERT_EQ(s.GetData()[i], 0xC0) << i;
        ASSERT_EQ(s.GetData()[i + 1], 0x40) << i;
    }
}

TEST(SoundLoad, OtherRatesAndMonoSixteenBitReachTheMixFormat) {
    struct Case {
        DWORD rate;
        WORD bits;
        DWORD frames;
        DWORD expected;
    } cases[] = {{11025, 8, 100, 200}, {8000, 8, 80, 221}, {22050, 16, 50, 50}};
    for (const Case& c : cases) {
        Bytes samples(c.frames * c.bits / 8, c.bits == 8 ? 0x90 : 0x10);
        Bytes riff = Riff(Pcm(c.rate, 1, c.bits), samples);
        Sound s(riff.data(), static_cast<DWORD>(riff.size()));
        ASSERT_TRUE(s.IsLoaded()) << c.rate;
        EXPECT_EQ(s.GetFormat().nSamplesPerSec, 22050u);
        EXPECT_EQ(s.GetFormat().wBitsPerSample, 8);
        EXPECT_EQ(s.GetFormat().nChannels, 1);
        EXPECT_EQ(s.GetSize(), c.expected) << c.rate;
        // A constant level survives any rate; 16-bit 0x1010 keeps its high byte, moved to the
        // unsigned middle.
        EXPECT_EQ(s.GetData()[s.GetSize() / 2], 0x90) << c.rate;
    }
}

TEST(SoundLoad, WrongFormsAndMissingPartsGiveAnEmptySound) {
    Bytes samples = Wave8(64, 2);
    Bytes avi = Riff(Pcm(22050, 1, 8), samples, 16, "AVI ");
    EXPECT_FALSE(Sound(avi.data(), static_cast<DWORD>(avi.size())).IsLoaded());
    Bytes rifx = Riff(Pcm(22050, 1, 8), samples);
    rifx[3] = 'X';
    EXPECT_FALSE(Sound(rifx.data(), static_cast<DWORD>(rifx.size())).IsLoaded());

    // Only a data chunk, only a format, an empty data chunk.
    Bytes noFormat;
    PutId(noFormat, "RIFF");
    Put32(noFormat, 0);
    PutId(noFormat, "WAVE");
    PutId(noFormat, "data");
    Put32(noFormat, 4);
    Put32(noFormat, 0x80808080);
    EXPECT_FALSE(Sound(noFormat.data(), static_cast<DWORD>(noFormat.size())).IsLoaded());
    Bytes empty = Riff(Pcm(22050, 1, 8), {});
    EXPECT_FALSE(Sound(empty.data(), static_cast<DWORD>(empty.size())).IsLoaded());
    Bytes noData = Riff(Pcm(22050, 1, 8), samples);
    std::memcpy(noData.data() + 36, "junk", 4);
    EXPECT_FALSE(Sound(noData.data(), static_cast<DWORD>(noData.size())).IsLoaded());

    // Not PCM, or PCM no converter or device could take.
    WAVEFORMATEX f = Pcm(22050, 1, 8);
    f.wFormatTag = 2;
    Bytes adpcm = Riff(f, samples);
    EXPECT_FALSE(Sound(adpcm.data(), static_cast<DWORD>(adpcm.size())).IsLoaded());
    for (WAVEFORMATEX bad : {Pcm(22050, 0, 8), Pcm(22050, 3, 8), Pcm(22050, 1, 12),
                             Pcm(22050, 1, 0), Pcm(0, 1, 8), Pcm(500, 1, 16)}) {
        Bytes riff = Riff(bad, samples);
        EXPECT_FALSE(Sound(riff.data(), static_cast<DWORD>(riff.size())).IsLoaded())
            << bad.nChannels << " channels, " << bad.wBitsPerSample << " bits, "
            << bad.nSamplesPerSec;
    }
    EXPECT_FALSE(Sound(static_cast<const void*>(nullptr), 100).IsLoaded());
    EXPECT_FALSE(Sound(static_cast<const WAVEFORMATEX*>(nullptr), samples.data(), 64).IsLoaded());
    WAVEFORMATEX mono = Pcm(22050, 1, 8);
    EXPECT_FALSE(Sound(&mono, nullptr, 64).IsLoaded());
    EXPECT_FALSE(Sound(&mono, samples.data(), 0).IsLoaded());
}

TEST(SoundLoad, HostileHeadersNeverReadPastTheData) {
    Bytes samples = Wave8(200, 3);
    Bytes riff = Riff(Pcm(22050, 2, 8), samples);
    // Every prefix of a good file: loads only once the whole data chunk is there.
    for (std::size_t n = 0; n <= riff.size(); ++n) {
        Bytes cut(riff.begin(), riff.begin() + static_cast<long>(n));
        Sound s(cut.empty() ? nullptr : cut.data(), static_cast<DWORD>(n));
        EXPECT_EQ(s.IsLoaded() != FALSE, n == riff.size()) << n;
    }
    // Chunk sizes past the end, at every chunk.
    for (std::size_t at : {16u, 40u}) {
        for (DWORD size : {0xFFFFFFFFu, 0x80000000u, static_cast<DWORD>(riff.size())}) {
            Bytes bad = riff;
            bad[at] = static_cast<BYTE>(size);
            bad[at + 1] = static_cast<BYTE>(size >> 8);
            bad[at + 2] = static_cast<BYTE>(size >> 16);
            bad[at + 3] = static_cast<BYTE>(size >> 24);
            EXPECT_FALSE(Sound(bad.data(), static_cast<DWORD>(bad.size())).IsLoaded()) << at;
        }
    }
    // A data chunk of odd length for stereo loses only its partial last frame.
    Bytes odd(samples.begin(), samples.begin() + 7);
    Bytes oddRiff = Riff(Pcm(22050, 2, 8), odd);
    Sound trimmed(oddRiff.data(), static_cast<DWORD>(oddRiff.size()));
    ASSERT_TRUE(trimmed.IsLoaded());
    EXPECT_EQ(Data(trimmed), Bytes(odd.begin(), odd.begin() + 6));
    // A single byte of 16-bit audio is no frame at all.
    Bytes half = Riff(Pcm(22050, 1, 16), {0x12});
    EXPECT_FALSE(Sound(half.data(), static_cast<DWORD>(half.size())).IsLoaded());
}

TEST(SoundLoad, DerivedFormatFieldsAreRecomputedNotTrusted) {
    // 16-bit mono claiming a block alignment of 3 and a silly byte rate: the samples are
    // still read two bytes at a time.
    Bytes samples;
    for (int i = 0; i < 90; ++i)
        Put16(samples, i % 2 ? 0x2000 : 0xE000);
    WAVEFORMATEX f = Pcm(22050, 1, 16);
    f.nBlockAlign = 3;
    f.nAvgBytesPerSec = 7;
    Bytes riff = Riff(f, samples);
    Sound s(riff.data(), static_cast<DWORD>(riff.size()));
    ASSERT_TRUE(s.IsLoaded());
    ASSERT_EQ(s.GetSize(), 90u);
    for (DWORD i = 0; i < 90; ++i)
        ASSERT_EQ(s.GetData()[i], i % 2 ? 0xA0 : 0x60) << i;
    EXPECT_EQ(s.GetFormat().nBlockAlign, 1);
    EXPECT_EQ(s.GetFormat().nAvgBytesPerSec, 22050u);
}

TEST(SoundLoad, ChunksAreWalkedWithoutPaddingAndTheFirstDataChunkWins) {
    Bytes samples = Wave8(33, 4);
    Bytes riff;
    PutId(riff, "RIFF");
    Put32(riff, 0);
    PutId(riff, "WAVE");
    PutId(riff, "LIST"); // an odd-sized chunk before the format: no alignment byte follows
    Put32(riff, 3);
    riff.insert(riff.end(), {1, 2, 3});
    Bytes full = Riff(Pcm(22050, 1, 8), samples);
    riff.insert(riff.end(), full.begin() + 12, full.end());
    PutId(riff, "data"); // a second data chunk is never looked at
    Put32(riff, 2);
    riff.insert(riff.end(), {0, 0});
    Sound s(riff.data(), static_cast<DWORD>(riff.size()));
    ASSERT_TRUE(s.IsLoaded());
    EXPECT_EQ(Data(s), samples);
}

TEST(SoundLoad, FilesAndResourcesInTheirLookupOrder) {
    Bytes samples = Wave8(50, 5);
    Bytes riff = Riff(Pcm(22050, 1, 8), samples);
    std::string path = TempPath("a.wav");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(riff.data()), static_cast<long>(riff.size()));
    }
    string name(path.c_str());
    Sound fromFile(name.c_str());
    ASSERT_TRUE(fromFile.IsLoaded());
    EXPECT_EQ(Data(fromFile), samples);
    std::remove(path.c_str());
    string missing((path + ".missing").c_str());
    EXPECT_FALSE(Sound(missing.c_str()).IsLoaded());

    Bytes rising, falling;
    for (int v = 0x40; v < 0xC0; v += 4)
        rising.push_back(static_cast<BYTE>(v));
    for (int v = 0xC0; v > 0x40; v -= 4)
        falling.push_back(static_cast<BYTE>(v));
    // Id 7 exists as "SOUND" and as "WAVE": "SOUND" is taken.
    Sound both(GetModuleHandle(nullptr), MAKEINTRESOURCE(7));
    ASSERT_TRUE(both.IsLoaded());
    EXPECT_EQ(Data(both), rising);
    Sound waveOnly(GetModuleHandle(nullptr), MAKEINTRESOURCE(8));
    ASSERT_TRUE(waveOnly.IsLoaded());
    EXPECT_EQ(Data(waveOnly), falling);
    EXPECT_FALSE(Sound(GetModuleHandle(nullptr), MAKEINTRESOURCE(9)).IsLoaded());
}

// ---- The fill step --------------------------------------------------------------------------

TEST(SoundMixFill, OneSoundAloneIsOutputUnchanged) {
    Bytes data = Wave8(1024, 6);
    SoundMix mix;
    ASSERT_TRUE(mix.Place(Channel(data, false)));
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_EQ(Bytes(out, out + kSoundBufferBytes), data);
    EXPECT_EQ(mix.InputPeak(), mix.MixPeak());

    // On a stereo device the same sound comes out on both sides.
    SoundMix stereo;
    ASSERT_TRUE(stereo.Place(Channel(data, false)));
    ASSERT_TRUE(stereo.Fill(out, true, 1));
    for (DWORD i = 0; i < kSoundBufferBytes / 2; ++i) {
        ASSERT_EQ(out[2 * i], data[i]) << i;
        ASSERT_EQ(out[2 * i + 1], data[i]) << i;
    }
}

TEST(SoundMixFill, TwoIdenticalSoundsPlayAtTheLoudnessOfOne) {
    Bytes data = Wave8(1024, 7);
    Bytes copy = data;
    SoundMix mix;
    ASSERT_TRUE(mix.Place(Channel(data, false)));
    ASSERT_TRUE(mix.Place(Channel(copy, false)));
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_EQ(Bytes(out, out + kSoundBufferBytes), data);
    EXPECT_EQ(mix.MixPeak(), 2 * mix.InputPeak());
}

TEST(SoundMixFill, TheMixNeverClipsOrWraps) {
    // The mix peak (+128) comes from two half-loud samples while the input peak is a
    // full-scale negative one (-128): the loudest positive point must stay at the top.
    Bytes a{0x00, 0xC0, 0x80}, b{0x80, 0xC0, 0x80};
    SoundMix mix;
    ASSERT_TRUE(mix.Place(Channel(a, false)));
    ASSERT_TRUE(mix.Place(Channel(b, false)));
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0x80);

    // Many loud sounds at once: every output sample keeps the sign of the sum and stays
    // within the loudest input.
    std::vector<Bytes> sounds;
    for (unsigned i = 0; i < 300; ++i)
        sounds.push_back(Wave8(1024, 100 + i % 3));
    SoundMix crowd;
    for (const Bytes& s : sounds)
        ASSERT_TRUE(crowd.Place(Channel(s, false)));
    ASSERT_TRUE(crowd.Fill(out, false, 1));
    for (DWORD i = 0; i < kSoundBufferBytes; ++i) {
        int sum = 0;
        for (unsigned k = 0; k < 3; ++k)
            sum += sounds[k][i] - 128;
        int value = out[i] - 128;
        ASSERT_TRUE((sum > 0 && value >= 0) || (sum < 0 && value <= 0) || sum == 0) << i;
        ASSERT_LE(std::abs(value), crowd.InputPeak()) << i;
    }
}

TEST(SoundMixFill, AHundredSampleLoopFillsEveryBuffer) {
    Bytes loop = Wave8(100, 8);
    SoundMix mix;
    ASSERT_TRUE(mix.Place(Channel(loop, false, true)));
    BYTE out[kSoundBufferBytes];
    for (DWORD buffer = 0; buffer < 3; ++buffer) {
        ASSERT_TRUE(mix.Fill(out, false, 1));
        for (DWORD i = 0; i < kSoundBufferBytes; ++i)
            ASSERT_EQ(out[i], loop[(buffer * kSoundBufferBytes + i) % 100]) << buffer << ":" << i;
    }
    EXPECT_TRUE(mix.InUse());
}

TEST(SoundMixFill, StereoSoundsKeepTheirSidesOrAverageOnAMonoDevice) {
    Bytes data;
    for (int i = 0; i < 400; ++i) {
        data.push_back(static_cast<BYTE>(0x80 + (i % 50)));
        data.push_back(static_cast<BYTE>(0x80 - (i % 30)));
    }
    SoundMix stereo;
    ASSERT_TRUE(stereo.Place(Channel(data, true)));
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(stereo.Fill(out, true, 1));
    EXPECT_EQ(Bytes(out, out + 800), data);
    EXPECT_EQ(Bytes(out + 800, out + kSoundBufferBytes), Bytes(224, 0x80));

    SoundMix mono;
    ASSERT_TRUE(mono.Place(Channel(data, true)));
    ASSERT_TRUE(mono.Fill(out, false, 1));
    // The mono output is (left + right) / 2 scaled by input peak / mix peak (49 / 49).
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(out[i], 0x80 + ((i % 50) - (i % 30)) / 2) << i;
    EXPECT_EQ(out[400], 0x80);
}

TEST(SoundMixFill, UrgencyDecidesWhatAnIdleBufferDoes) {
    SoundMix mix;
    BYTE out[kSoundBufferBytes];
    std::memset(out, 7, sizeof out);
    EXPECT_FALSE(mix.Fill(out, true, 1));
    EXPECT_EQ(out[0], 7); // untouched
    EXPECT_TRUE(mix.Fill(out, true, 2));
    EXPECT_EQ(Bytes(out, out + kSoundBufferBytes), Bytes(kSoundBufferBytes, 0x80));

    // Urgency 0 leaves an exhausted channel in place; 1 ends it.
    Bytes data = Wave8(10, 9);
    std::atomic<LONG> count{1};
    SoundChannel c = Channel(data, false);
    c.playCount = &count;
    ASSERT_TRUE(mix.Place(c));
    EXPECT_TRUE(mix.Fill(out, false, 0));
    EXPECT_FALSE(mix.Fill(out, false, 0));
    EXPECT_TRUE(mix.InUse());
    EXPECT_EQ(count.load(), 1);
    EXPECT_FALSE(mix.Fill(out, false, 1));
    EXPECT_FALSE(mix.InUse());
    EXPECT_EQ(count.load(), 0);
}

TEST(SoundMixFill, NotificationIsPostedAtTheFillAfterTheLastByte) {
    NotifyWindow window;
    Bytes data = Wave8(1500, 10);
    std::atomic<LONG> count{1};
    SoundChannel c = Channel(data, false);
    c.window = window.hwnd;
    c.wParam = 0x1234;
    c.lParam = 77;
    c.playCount = &count;
    SoundMix mix;
    ASSERT_TRUE(mix.Place(c));
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_TRUE(window.Take().empty());
    ASSERT_TRUE(mix.Fill(out, false, 1)); // the last 476 samples, then silence
    EXPECT_EQ(Bytes(out, out + 476), Bytes(data.begin() + 1024, data.end()));
    EXPECT_EQ(out[476], 0x80);
    EXPECT_TRUE(window.Take().empty());
    EXPECT_EQ(count.load(), 1);
    EXPECT_FALSE(mix.Fill(out, false, 1));
    auto got = window.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, kSoundDoneMessage);
    EXPECT_EQ(got[0].wParam, WPARAM{0x1234});
    EXPECT_EQ(got[0].lParam, LPARAM{77});
    EXPECT_EQ(count.load(), 0);

    // A window that is gone gets nothing, and nothing breaks.
    count = 1;
    c.window = window.hwnd;
    ASSERT_TRUE(mix.Place(c));
    DestroyWindow(window.hwnd);
    ASSERT_TRUE(mix.Fill(out, false, 1));
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_FALSE(mix.Fill(out, false, 1));
    EXPECT_EQ(count.load(), 0);
}

TEST(SoundMixFill, StopDataEndsOnlyThatDataAndReusesFreeEntries) {
    NotifyWindow window;
    Bytes a = Wave8(2000, 11), b = Wave8(2000, 12);
    std::atomic<LONG> countA{2}, countB{1};
    SoundChannel ca = Channel(a, false), cb = Channel(b, false);
    ca.playCount = &countA;
    ca.window = window.hwnd;
    cb.playCount = &countB;
    SoundMix mix;
    ASSERT_TRUE(mix.Place(ca));
    ASSERT_TRUE(mix.Place(cb));
    ASSERT_TRUE(mix.Place(ca));
    EXPECT_FALSE(mix.StopData(a.data(), nullptr, true));
    EXPECT_EQ(countA.load(), 0);
    EXPECT_EQ(countB.load(), 1);
    EXPECT_EQ(window.Take().size(), 2u);
    BYTE out[kSoundBufferBytes];
    ASSERT_TRUE(mix.Fill(out, false, 1));
    EXPECT_EQ(Bytes(out, out + kSoundBufferBytes), Bytes(b.begin(), b.begin() + 1024));
    // Unannounced stops post nothing.
    countA = 1;
    ASSERT_TRUE(mix.Place(ca));
    mix.StopData(a.data(), nullptr, false);
    EXPECT_TRUE(window.Take().empty());
    mix.StopData(b.data(), nullptr, true);
    EXPECT_FALSE(mix.InUse());
}

// ---- The mixer thread and the device ---------------------------------------------------------

class SoundPlay : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("TESSARK_AUDIO_CHANNELS");
        // Every test leaves nothing playing, so the device is closed.
        EXPECT_FALSE(sound_mixer::IsOpen());
    }
    static Bytes Riff8(std::size_t samples, unsigned seed, WORD channels = 1) {
        return Riff(Pcm(22050, channels, 8), Wave8(samples * channels, seed));
    }
};

TEST_F(SoundPlay, APlayEndsWithANotificationAndTheLastSoundClosesTheDevice) {
    NotifyWindow window;
    // Longer than the six buffers the first pass fills (a shorter sound ends in that pass).
    Bytes riff = Riff8(8000, 20);
    auto* sound = new (MM("SOUND")) Sound(riff.data(), static_cast<DWORD>(riff.size()));
    ASSERT_TRUE(sound->IsLoaded());
    sound->SetNotify(window.hwnd, 5);
    sound->Play(FALSE);
    EXPECT_TRUE(sound->IsPlaying());
    EXPECT_TRUE(sound_mixer::IsOpen());
    EXPECT_TRUE(sound_mixer::IsStereo());
    auto got = window.WaitFor(3000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(sound));
    EXPECT_EQ(got[0].lParam, LPARAM{5});
    EXPECT_FALSE(sound->IsPlaying());
    // Idle, yet open until a sound is released.
    EXPECT_TRUE(sound_mixer::IsOpen());
    MemDelete(sound, MM("SOUND"));
    EXPECT_FALSE(sound_mixer::IsOpen());
}

TEST_F(SoundPlay, AMonoOnlyDeviceIsOpenedMonoAndStillPlays) {
    setenv("TESSARK_AUDIO_CHANNELS", "1", 1);
    NotifyWindow window;
    Bytes riff = Riff8(300, 21, 2);
    Sound sound(riff.data(), static_cast<DWORD>(riff.size()));
    sound.SetNotify(window.hwnd, 0);
    sound.Play(FALSE);
    EXPECT_TRUE(sound_mixer::IsOpen());
    EXPECT_FALSE(sound_mixer::IsStereo());
    EXPECT_EQ(window.WaitFor(3000).size(), 1u);
}

TEST_F(SoundPlay, StopMidPlayEndsEveryPlayOfTheSound) {
    NotifyWindow window;
    Bytes riff = Riff8(100, 22);
    Sound looped(riff.data(), static_cast<DWORD>(riff.size()));
    looped.SetNotify(window.hwnd, 9);
    looped.Play(TRUE);
    looped.Play(TRUE);
    unsigned long before = sound_mixer::BuffersWritten();
    ASSERT_TRUE(WaitUntil([&] { return sound_mixer::BuffersWritten() >= before + 8; }));
    EXPECT_TRUE(looped.IsPlaying()); // a loop never ends by itself
    EXPECT_TRUE(window.Take().empty());
    looped.Stop();
    EXPECT_FALSE(looped.IsPlaying());
    EXPECT_EQ(window.Take().size(), 2u);
    // Still open (nothing was released); an explicit close with buffers queued succeeds.
    EXPECT_TRUE(sound_mixer::IsOpen());
    sound_mixer::CloseIfIdle();
    EXPECT_FALSE(sound_mixer::IsOpen());
}

TEST_F(SoundPlay, CloseIfIdleLeavesAPlayingDeviceAlone) {
    Bytes riff = Riff8(100, 23);
    Sound looped(riff.data(), static_cast<DWORD>(riff.size()));
    looped.Play(TRUE);
    sound_mixer::CloseIfIdle();
    EXPECT_TRUE(sound_mixer::IsOpen());
    // Releasing another sound does not close it either.
    { Sound other(riff.data(), static_cast<DWORD>(riff.size())); }
    EXPECT_TRUE(sound_mixer::IsOpen());
    EXPECT_TRUE(looped.IsPlaying());
    looped.Stop();
    sound_mixer::CloseIfIdle();
}

TEST_F(SoundPlay, AnIdleOpenDeviceKeepsTheFlavoursNumberOfBuffersQueued) {
    Bytes riff = Riff8(100, 24);
    Sound looped(riff.data(), static_cast<DWORD>(riff.size()));
    looped.Play(TRUE);
    // While sound plays every free buffer is refilled, on either build.
    EXPECT_TRUE(WaitUntil([] { return sound_mixer::QueuedBuffers() == kSoundBufferCount; }));
    looped.Stop();
    // Idle: silence keeps the queue at the threshold (4 on the desktop, all 6 on the device);
    // a buffer coming back may leave it one short for a moment, never above.
    ASSERT_TRUE(WaitUntil([] { return sound_mixer::QueuedBuffers() <= kSoundUrgentQueue; }));
    bool reached = false;
    for (int i = 0; i < 100; ++i) {
        int queued = sound_mixer::QueuedBuffers();
        ASSERT_LE(queued, kSoundUrgentQueue);
        reached = reached || queued == kSoundUrgentQueue;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(reached);
    sound_mixer::CloseIfIdle();
}

TEST_F(SoundPlay, SoundsDestroyedWhilePlayingAreNeverReadAgain) {
    NotifyWindow window;
    for (unsigned i = 0; i < 20; ++i) {
        Bytes riff = Riff8(5000 + i * 37, 30 + i);
        auto* sound = new (MM("SOUND")) Sound(riff.data(), static_cast<DWORD>(riff.size()));
        sound->SetNotify(window.hwnd, 1);
        sound->Play(i % 2 == 0);
        if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(i));
        MemDelete(sound, MM("SOUND"));
    }
    // The destroyed sounds are not announced (their address would dangle).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(window.Take().empty());
}

TEST_F(SoundPlay, ASelfDeletingSoundDeletesItselfWhenItEnds) {
    NotifyWindow window;
    Bytes riff = Riff8(200, 40);
    auto* sound = new (MM("SOUND")) Sound(riff.data(), static_cast<DWORD>(riff.size()));
    sound->SetNotify(window.hwnd, 3);
    sound->Play(Sound::kOnceThenDelete);
    auto got = window.WaitFor(3000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(sound));
    EXPECT_TRUE(WaitUntil([&] { return !MemQueryBlock(sound, nullptr); }));
    // Its deletion was a release with nothing playing: the device closed.
    EXPECT_TRUE(WaitUntil([] { return !sound_mixer::IsOpen(); }));

    // Stopped by its owner before the end, it goes at once. (Long enough to still play: a
    // self-deleting sound may be gone as soon as Play returns.)
    Bytes longer = Riff8(40000, 42);
    auto* stopped = new (MM("SOUND")) Sound(longer.data(), static_cast<DWORD>(longer.size()));
    stopped->Play(Sound::kOnceThenDelete);
    stopped->Stop();
    EXPECT_FALSE(MemQueryBlock(stopped, nullptr));
    sound_mixer::CloseIfIdle();
}

TEST_F(SoundPlay, PrimeOpensTheDeviceWithSilenceThatCleansUpAfterItself) {
    // The silence ends at the second buffer of the first pass, and with it the device.
    unsigned long before = sound_mixer::BuffersWritten();
    Sound::Prime();
    EXPECT_TRUE(WaitUntil([] { return !sound_mixer::IsOpen(); }));
    EXPECT_GT(sound_mixer::BuffersWritten(), before);
}

void ExitCheck() {
    // Runs after the mixer's own exit step (registered earlier, so called later).
    if (MemExitCheck() != 0) _exit(3);
}

TEST(SoundExit, ProcessEndStopsTheMixerAndReleasesWhatItOwned) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(ExitCheck);
            Bytes riff = Riff(Pcm(22050, 1, 8), Wave8(200000, 50));
            auto* sound = new (MM("SOUND")) Sound(riff.data(), static_cast<DWORD>(riff.size()));
            sound->Play(Sound::kOnceThenDelete);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(SoundPlay, UnplayableSoundsDoNothing) {
    Sound empty(static_cast<const void*>(nullptr), 0);
    empty.Play(TRUE);
    EXPECT_FALSE(empty.IsPlaying());
    empty.Stop();
    EXPECT_FALSE(sound_mixer::IsOpen());
}

} // namespace
