// Wave output on the headless sink: formats, buffer flags, pacing and callback order.
#include "platform/clock.h"
#include "platform/mm.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// Everything the device tells the callback, and from which thread.
struct Recorder {
    struct Call {
        UINT message;
        WAVEHDR* header;
        DWORD flagsSeen;
        std::thread::id thread;
        std::uint64_t atMs;
    };
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Call> calls;
    HWAVEOUT closeFromCallback = nullptr;
    MMRESULT closeResult = MMSYSERR_NOERROR;

    static void Proc(HWAVEOUT hwo, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
        auto* r = reinterpret_cast<Recorder*>(instance);
        auto* header = reinterpret_cast<WAVEHDR*>(p1);
        if (message == WOM_DONE && r->closeFromCallback == hwo) r->closeResult = waveOutClose(hwo);
        std::lock_guard guard(r->lock);
        r->calls.push_back({message, header, header != nullptr ? header->dwFlags : 0,
                            std::this_thread::get_id(), platform::clock::NowMs()});
        r->arrived.notify_all();
    }

    bool WaitFor(std::size_t count, int timeoutMs = 5000) {
        std::unique_lock guard(lock);
        return arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                [&] { return calls.size() >= count; });
    }
    std::size_t Count() {
        std::lock_guard guard(lock);
        return calls.size();
    }
};

struct Buffers {
    std::vector<std::vector<char>> data;
    std::vector<WAVEHDR> headers;
    Buffers(int count, DWORD bytes)
        : data(count, std::vector<char>(bytes, '\x80')), headers(count) {
        for (int i = 0; i < count; ++i)
            headers[i] = WAVEHDR{data[i].data(), bytes, 0, 0, 0, 0, nullptr, 0};
    }
};

MMRESULT Open(HWAVEOUT* h, const WAVEFORMATEX& f, Recorder& r) {
    return waveOutOpen(h, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(&Recorder::Proc),
                       reinterpret_cast<DWORD_PTR>(&r), CALLBACK_FUNCTION);
}

TEST(AudioWave, DeviceAcceptsThePcmTheMixerOpensAndRefusesTheRest) {
    auto query = [](const WAVEFORMATEX& f) {
        return waveOutOpen(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY);
    };
    EXPECT_EQ(query(Pcm(22050, 1, 8)), MMSYSERR_NOERROR);
    EXPECT_EQ(query(Pcm(22050, 2, 8)), MMSYSERR_NOERROR);
    EXPECT_EQ(query(Pcm(44100, 2, 16)), MMSYSERR_NOERROR);
    EXPECT_EQ(query(Pcm(8000, 1, 16)), MMSYSERR_NOERROR);

    WAVEFORMATEX f = Pcm(22050, 1, 8);
    f.wFormatTag = 3;
    EXPECT_EQ(query(f), WAVERR_BADFORMAT);
    EXPECT_EQ(query(Pcm(22050, 1, 24)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(Pcm(22050, 3, 8)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(Pcm(22050, 0, 8)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(Pcm(4000, 1, 8)), WAVERR_BADFORMAT);
    EXPECT_EQ(query(Pcm(96000, 1, 8)), WAVERR_BADFORMAT);
    // A mono format with only the channel count raised: block alignment no longer matches.
    f = Pcm(22050, 1, 8);
    f.nChannels = 2;
    EXPECT_EQ(query(f), WAVERR_BADFORMAT);

    f = Pcm(22050, 1, 8);
    EXPECT_EQ(waveOutOpen(nullptr, 3, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, nullptr, 0, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_INVALPARAM);
    HWAVEOUT h = nullptr;
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, 0, 0, 0x00010000 /* window */), MMSYSERR_INVALFLAG);
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(h, nullptr);
}

TEST(AudioWave, MonoOnlyDeviceRefusesStereoSoTheCallerFallsBack) {
    setenv("TESSARK_AUDIO_CHANNELS", "1", 1);
    Recorder r;
    HWAVEOUT h = nullptr;
    EXPECT_EQ(Open(&h, Pcm(22050, 2, 8), r), WAVERR_BADFORMAT);
    EXPECT_EQ(h, nullptr);
    ASSERT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    unsetenv("TESSARK_AUDIO_CHANNELS");
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    // WOM_OPEN and WOM_CLOSE, the close delivered before waveOutClose returned.
    ASSERT_EQ(r.Count(), 2u);
    EXPECT_EQ(r.calls[0].message, UINT{WOM_OPEN});
    EXPECT_EQ(r.calls[1].message, UINT{WOM_CLOSE});
    EXPECT_EQ(waveOutClose(h), MMSYSERR_INVALHANDLE);
}

TEST(AudioWave, BuffersComeBackInOrderAtTheRealRateFromTheDeviceThread) {
    Recorder r;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    Buffers b(6, 1024);
    for (auto& header : b.headers) {
        ASSERT_EQ(waveOutPrepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_TRUE(header.dwFlags & WHDR_PREPARED);
    }
    auto start = std::chrono::steady_clock::now();
    for (auto& header : b.headers) {
        header.dwFlags |= WHDR_DONE; // as the mixer marks free buffers
        ASSERT_EQ(waveOutWrite(h, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_FALSE(header.dwFlags & WHDR_DONE);
        EXPECT_TRUE(header.dwFlags & WHDR_INQUEUE);
    }
    ASSERT_TRUE(r.WaitFor(7));
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
    // 6 x 1024 bytes at 22050 bytes a second: 278.6 ms.
    EXPECT_GE(elapsed, 270);
    EXPECT_LT(elapsed, 2000);

    ASSERT_EQ(r.calls.size(), 7u);
    EXPECT_EQ(r.calls[0].message, UINT{WOM_OPEN});
    for (int i = 0; i < 6; ++i) {
        const auto& c = r.calls[1 + i];
        EXPECT_EQ(c.message, UINT{WOM_DONE});
        EXPECT_EQ(c.header, &b.headers[i]);
        EXPECT_EQ(c.flagsSeen & (WHDR_DONE | WHDR_INQUEUE), DWORD{WHDR_DONE});
        EXPECT_NE(c.thread, std::this_thread::get_id());
    }
    for (auto& header : b.headers) {
        EXPECT_EQ(waveOutUnprepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_FALSE(header.dwFlags & WHDR_PREPARED);
    }
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

// Plays six 1024-byte mono buffers and returns how long they took to come back, in order.
long PlaySixBuffers() {
    Recorder r;
    HWAVEOUT h = nullptr;
    EXPECT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    if (h == nullptr) return -1;
    Buffers b(6, 1024);
    auto start = std::chrono::steady_clock::now();
    for (auto& header : b.headers) {
        EXPECT_EQ(waveOutPrepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutWrite(h, &header, sizeof header), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(r.WaitFor(7));
    long elapsed = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count());
    for (std::size_t i = 1; i < r.calls.size(); ++i) {
        EXPECT_EQ(r.calls[i].header, &b.headers[i - 1]);
        EXPECT_NE(r.calls[i].thread, std::this_thread::get_id());
    }
    for (auto& header : b.headers)
        waveOutUnprepareHeader(h, &header, sizeof header);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    return elapsed;
}

class AudioWaveSdl : public ::testing::Test {
protected:
    void SetUp() override { setenv("TESSARK_AUDIO", "sdl", 1); }
    void TearDown() override {
        unsetenv("TESSARK_AUDIO");
        unsetenv("SDL_AUDIODRIVER");
    }
};

TEST_F(AudioWaveSdl, HostDeviceConsumesBuffersInOrder) {
    // SDL's dummy device consumes in real time; buffers go back as SDL takes them, up to one
    // host period (512 frames) before they would be heard.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    long elapsed = PlaySixBuffers();
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 2000);
}

TEST_F(AudioWaveSdl, NoHostDeviceFallsBackToThePacedSink) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    long elapsed = PlaySixBuffers();
    EXPECT_GE(elapsed, 270);
    EXPECT_LT(elapsed, 2000);
}

class AudioWaveSimulated : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::SetSimulated(true); }
    void TearDown() override { platform::clock::SetSimulated(false); }
    // The sink looks at simulated time every millisecond; give it a few.
    static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }
};

TEST_F(AudioWaveSimulated, EachBufferEndsExactlyWhenItsLastFramePlays) {
    Recorder r;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(Open(&h, Pcm(22050, 2, 16), r), MMSYSERR_NOERROR);
    Buffers b(3, 2205 * 4); // 100 ms each
    for (auto& header : b.headers) {
        ASSERT_EQ(waveOutPrepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(h, &header, sizeof header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(r.WaitFor(1));
    for (int i = 0; i < 3; ++i) {
        platform::clock::AdvanceTo(100 * (i + 1) - 1);
        Settle();
        EXPECT_EQ(r.Count(), 1u + i) << "buffer " << i << " came back early";
        platform::clock::AdvanceTo(100 * (i + 1));
        ASSERT_TRUE(r.WaitFor(2 + i));
        EXPECT_EQ(r.calls[1 + i].header, &b.headers[i]);
        EXPECT_EQ(r.calls[1 + i].atMs, 100u * (i + 1));
    }
    // After running dry the device starts again from the next write, not from the old end.
    platform::clock::AdvanceTo(1000);
    ASSERT_EQ(waveOutWrite(h, &b.headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    platform::clock::AdvanceTo(1099);
    Settle();
    EXPECT_EQ(r.Count(), 4u);
    platform::clock::AdvanceTo(1100);
    ASSERT_TRUE(r.WaitFor(5));
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(AudioWaveSimulated, ARingKeptFullPlaysGaplessWithoutDrift) {
    // The mixer's pattern: six 1024-byte buffers, each written again as soon as it is done.
    Recorder r;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    Buffers b(6, 1024);
    for (auto& header : b.headers) {
        ASSERT_EQ(waveOutPrepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(h, &header, sizeof header), MMSYSERR_NOERROR);
    }
    std::size_t returned = 0;
    for (std::uint64_t ms = 50; ms <= 3000; ms += 50) {
        platform::clock::AdvanceTo(ms);
        // Buffer k (from 1) ends when k x 1024 frames have played at 22050 a second.
        std::size_t expected = 0;
        while ((expected + 1) * 1024 * 1000000 / 22050 <= ms * 1000)
            ++expected;
        ASSERT_TRUE(r.WaitFor(1 + expected)) << "at " << ms << " ms";
        ASSERT_EQ(r.Count(), 1 + expected) << "at " << ms << " ms";
        for (; returned < expected; ++returned) {
            WAVEHDR* header = r.calls[1 + returned].header;
            ASSERT_EQ(header, &b.headers[returned % 6]);
            ASSERT_EQ(waveOutWrite(h, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    EXPECT_EQ(returned, 64u); // 3000 ms x 22050 / 1024 = 64.6
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(AudioWaveSimulated, MisuseIsRefusedAndResetReturnsEveryBuffer) {
    Recorder r;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    Buffers b(3, 1024);
    WAVEHDR& first = b.headers[0];
    EXPECT_EQ(waveOutWrite(h, &first, sizeof first), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(h, &first, sizeof first - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(reinterpret_cast<HWAVEOUT>(1), &first, sizeof first),
              MMSYSERR_INVALHANDLE);
    for (auto& header : b.headers) {
        ASSERT_EQ(waveOutPrepareHeader(h, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(h, &header, sizeof header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutWrite(h, &first, sizeof first), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(h, &first, sizeof first), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(h), WAVERR_STILLPLAYING);

    // Simulated time stands still, so only the reset can return them.
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(r.Count(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.calls[1 + i].message, UINT{WOM_DONE});
        EXPECT_EQ(r.calls[1 + i].header, &b.headers[i]);
        EXPECT_EQ(b.headers[i].dwFlags & (WHDR_DONE | WHDR_INQUEUE), DWORD{WHDR_DONE});
        EXPECT_EQ(waveOutUnprepareHeader(h, &b.headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(r.calls.back().message, UINT{WOM_CLOSE});
}

TEST_F(AudioWaveSimulated, TheCallbackCannotCloseItsOwnDevice) {
    Recorder r;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(Open(&h, Pcm(22050, 1, 8), r), MMSYSERR_NOERROR);
    r.closeFromCallback = h;
    Buffers b(1, 0);
    char byte = 0;
    b.headers[0].lpData = &byte; // an empty buffer is done at once
    ASSERT_EQ(waveOutPrepareHeader(h, &b.headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(h, &b.headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(r.WaitFor(2));
    EXPECT_EQ(r.closeResult, MMSYSERR_ERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

} // namespace
