// The PCM converter behind acmStream*: the output size rule and known samples in and out.
#include "platform/mm.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// One conversion, as the sound loader runs it: size, buffer pre-filled with 128, convert.
struct Converted {
    MMRESULT result = MMSYSERR_ERROR;
    std::vector<BYTE> data;
    DWORD srcUsed = 0;
};

Converted ConvertAll(WAVEFORMATEX from, WAVEFORMATEX to, const std::vector<BYTE>& input) {
    Converted c;
    HACMSTREAM has = nullptr;
    c.result = acmStreamOpen(&has, nullptr, &from, &to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (c.result != MMSYSERR_NOERROR) return c;
    DWORD size = 0;
    c.result = acmStreamSize(has, static_cast<DWORD>(input.size()), &size, ACM_STREAMSIZEF_SOURCE);
    if (c.result == MMSYSERR_NOERROR) {
        c.data.assign(size, 128);
        std::vector<BYTE> source = input;
        ACMSTREAMHEADER h{};
        h.cbStruct = sizeof h;
        h.pbSrc = source.data();
        h.cbSrcLength = static_cast<DWORD>(source.size());
        h.pbDst = c.data.data();
        h.cbDstLength = size;
        c.result = acmStreamPrepareHeader(has, &h, 0);
        if (c.result == MMSYSERR_NOERROR) {
            c.result = acmStreamConvert(has, &h, 0);
            EXPECT_EQ(h.cbDstLengthUsed, size) << "the converter must fill what it announced";
            EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
            c.srcUsed = h.cbSrcLengthUsed;
            EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
        }
    }
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
    return c;
}

std::vector<BYTE> Words(std::initializer_list<int> values) {
    std::vector<BYTE> out;
    for (int v : values) {
        auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        out.push_back(static_cast<BYTE>(u & 0xFF));
        out.push_back(static_cast<BYTE>(u >> 8));
    }
    return out;
}

std::vector<int> AsWords(const std::vector<BYTE>& bytes) {
    std::vector<int> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(
            static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8))));
    }
    return out;
}

DWORD SizeFor(WAVEFORMATEX from, WAVEFORMATEX to, DWORD bytes, DWORD flags = ACM_STREAMSIZEF_SOURCE,
              MMRESULT* result = nullptr) {
    HACMSTREAM has = nullptr;
    EXPECT_EQ(acmStreamOpen(&has, nullptr, &from, &to, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    DWORD size = 0xDEAD;
    MMRESULT r = acmStreamSize(has, bytes, &size, flags);
    if (result != nullptr) *result = r;
    acmStreamClose(has, 0);
    return size;
}

TEST(AudioConvert, OutputSizeIsCeilingOfFramesTimesRateRatio) {
    // 44100 -> 22050 halves the frames; an odd frame count rounds up.
    EXPECT_EQ(SizeFor(Pcm(44100, 1, 16), Pcm(22050, 1, 16), 2000), 1000u);
    EXPECT_EQ(SizeFor(Pcm(44100, 1, 16), Pcm(22050, 1, 16), 2002), 1002u);
    EXPECT_EQ(SizeFor(Pcm(44100, 2, 16), Pcm(22050, 2, 16), 4 * 1001), 4u * 501);
    // 11025 -> 22050 doubles them.
    EXPECT_EQ(SizeFor(Pcm(11025, 1, 8), Pcm(22050, 1, 8), 300), 600u);
    // 8000 -> 22050: ceil(n x 22050 / 8000).
    EXPECT_EQ(SizeFor(Pcm(8000, 1, 8), Pcm(22050, 1, 8), 8000), 22050u);
    EXPECT_EQ(SizeFor(Pcm(8000, 1, 8), Pcm(22050, 1, 8), 100), 276u); // 275.625
    EXPECT_EQ(SizeFor(Pcm(8000, 1, 8), Pcm(22050, 1, 8), 1), 3u);
    EXPECT_EQ(SizeFor(Pcm(8000, 2, 16), Pcm(22050, 2, 16), 4 * 100), 4u * 276);
    // 16 -> 8 bits halves the bytes; a trailing partial frame is dropped.
    EXPECT_EQ(SizeFor(Pcm(22050, 2, 16), Pcm(22050, 2, 8), 4 * 10 + 3), 20u);

    MMRESULT r = MMSYSERR_NOERROR;
    SizeFor(Pcm(22050, 1, 16), Pcm(22050, 1, 8), 1, ACM_STREAMSIZEF_SOURCE, &r);
    EXPECT_EQ(r, ACMERR_NOTPOSSIBLE);
    SizeFor(Pcm(8000, 1, 8), Pcm(48000, 1, 16), 0xFFFFFFFFu, ACM_STREAMSIZEF_SOURCE, &r);
    EXPECT_EQ(r, ACMERR_NOTPOSSIBLE) << "a size beyond 32 bits";
}

TEST(AudioConvert, DestinationSizeIsTheLargestInputThatFits) {
    const WAVEFORMATEX pairs[][2] = {{Pcm(8000, 1, 8), Pcm(22050, 1, 8)},
                                     {Pcm(44100, 2, 16), Pcm(22050, 2, 8)},
                                     {Pcm(11025, 1, 16), Pcm(22050, 1, 8)}};
    for (const auto& p : pairs) {
        for (DWORD room : {7u, 64u, 1000u, 4096u}) {
            DWORD input = SizeFor(p[0], p[1], room, ACM_STREAMSIZEF_DESTINATION);
            EXPECT_LE(SizeFor(p[0], p[1], input), room);
            EXPECT_GT(SizeFor(p[0], p[1], input + p[0].nBlockAlign), room);
        }
    }
}

TEST(AudioConvert, SixteenToEightBitsKeepsTheHighByteAndBack) {
    auto out = ConvertAll(Pcm(22050, 1, 16), Pcm(22050, 1, 8),
                          Words({0x7FFF, -0x8000, 0, 0x0100, -1, 0x00FF, -0x4000}));
    ASSERT_EQ(out.result, MMSYSERR_NOERROR);
    EXPECT_EQ(out.data, (std::vector<BYTE>{0xFF, 0x00, 0x80, 0x81, 0x7F, 0x80, 0x40}));

    auto back = ConvertAll(Pcm(22050, 1, 8), Pcm(22050, 1, 16), {0xFF, 0x00, 0x80, 0x81});
    ASSERT_EQ(back.result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsWords(back.data), (std::vector<int>{0x7F00, -0x8000, 0, 0x0100}));
}

TEST(AudioConvert, HalvingTheRateAveragesPairsAndKeepsChannelsApart) {
    auto mono = ConvertAll(Pcm(44100, 1, 16), Pcm(22050, 1, 16), Words({100, 200, -300, -100, 7}));
    ASSERT_EQ(mono.result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsWords(mono.data), (std::vector<int>{150, -200, 7}));

    // Left and right never leak into each other.
    auto stereo = ConvertAll(Pcm(44100, 2, 16), Pcm(22050, 2, 16),
                             Words({1000, -1000, 3000, -3000, 0, 32767, 0, 32767}));
    ASSERT_EQ(stereo.result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsWords(stereo.data), (std::vector<int>{2000, -2000, 0, 32767}));
}

TEST(AudioConvert, RaisingTheRateInterpolatesBetweenInputFrames) {
    auto doubled = ConvertAll(Pcm(11025, 1, 16), Pcm(22050, 1, 16), Words({0, 1000, 2000}));
    ASSERT_EQ(doubled.result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsWords(doubled.data), (std::vector<int>{0, 500, 1000, 1500, 2000, 2000}));

    // 8000 -> 22050: output frame j sits at input position j x 8000 / 22050.
    auto splash = ConvertAll(Pcm(8000, 1, 16), Pcm(22050, 1, 16), Words({0, 22050, 22050}));
    ASSERT_EQ(splash.result, MMSYSERR_NOERROR);
    ASSERT_EQ(splash.data.size(), 9u * 2);
    std::vector<int> w = AsWords(splash.data);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(w[1], 8000);
    EXPECT_EQ(w[2], 16000);
    for (std::size_t i = 3; i < w.size(); ++i)
        EXPECT_EQ(w[i], 22050);

    // 8-bit stereo stays 8-bit stereo with its silence centred at 128.
    auto quiet = ConvertAll(Pcm(8000, 2, 8), Pcm(22050, 2, 8), {128, 128, 128, 128});
    ASSERT_EQ(quiet.result, MMSYSERR_NOERROR);
    EXPECT_EQ(quiet.data, std::vector<BYTE>(2 * 6, 128));
}

TEST(AudioConvert, LoaderStepsTake44100Stereo16BitTo22050Stereo8Bit) {
    std::vector<int> samples;
    for (int i = 0; i < 1000; ++i) {
        samples.push_back(i % 2 == 0 ? 0x4000 : 0x4100); // left
        samples.push_back(-0x2000);                      // right
    }
    std::vector<BYTE> input;
    for (int v : samples) {
        auto w = Words({v});
        input.insert(input.end(), w.begin(), w.end());
    }
    auto rate = ConvertAll(Pcm(44100, 2, 16), Pcm(22050, 2, 16), input);
    ASSERT_EQ(rate.result, MMSYSERR_NOERROR);
    ASSERT_EQ(rate.data.size(), 500u * 4);
    auto bits = ConvertAll(Pcm(22050, 2, 16), Pcm(22050, 2, 8), rate.data);
    ASSERT_EQ(bits.result, MMSYSERR_NOERROR);
    ASSERT_EQ(bits.data.size(), 500u * 2);
    for (std::size_t i = 0; i < bits.data.size(); i += 2) {
        ASSERT_EQ(bits.data[i], 0x80 + 0x40) << i; // average 0x4080, high byte 0x40
        ASSERT_EQ(bits.data[i + 1], 0x80 - 0x20) << i;
    }
}

TEST(AudioConvert, ASmallDestinationTakesOnlyTheInputThatFits) {
    WAVEFORMATEX from = Pcm(11025, 1, 8), to = Pcm(22050, 1, 8);
    HACMSTREAM has = nullptr;
    ASSERT_EQ(acmStreamOpen(&has, nullptr, &from, &to, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    std::vector<BYTE> in{10, 20, 30, 40, 50}, out(5, 0xEE);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = in.data();
    h.cbSrcLength = 5;
    h.pbDst = out.data();
    h.cbDstLength = 4;
    EXPECT_EQ(acmStreamConvert(has, &h, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 2u);
    EXPECT_EQ(h.cbDstLengthUsed, 4u);
    EXPECT_EQ(out, (std::vector<BYTE>{10, 15, 20, 20, 0xEE}));
    EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_INVALHANDLE);
    DWORD size = 0;
    EXPECT_EQ(acmStreamSize(has, 100, &size, 0), MMSYSERR_INVALHANDLE);
}

TEST(AudioConvert, OnlyPcmToPcmWithTheSameChannelsOpens) {
    auto open = [](WAVEFORMATEX from, WAVEFORMATEX to) {
        return acmStreamOpen(nullptr, nullptr, &from, &to, nullptr, 0, 0, ACM_STREAMOPENF_QUERY);
    };
    EXPECT_EQ(open(Pcm(44100, 2, 16), Pcm(22050, 2, 8)), MMSYSERR_NOERROR);
    EXPECT_EQ(open(Pcm(22050, 2, 8), Pcm(22050, 1, 8)), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(open(Pcm(22050, 1, 24), Pcm(22050, 1, 8)), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(open(Pcm(500, 1, 8), Pcm(22050, 1, 8)), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX adpcm = Pcm(22050, 1, 8);
    adpcm.wFormatTag = 2;
    EXPECT_EQ(open(adpcm, Pcm(22050, 1, 8)), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX badAlign = Pcm(22050, 2, 16);
    badAlign.nBlockAlign = 1;
    EXPECT_EQ(open(badAlign, Pcm(22050, 2, 8)), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX a = Pcm(8000, 1, 8), b = Pcm(22050, 1, 8);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &a, &b, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
              MMSYSERR_NOTSUPPORTED);
}

} // namespace
