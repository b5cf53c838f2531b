// The sound mixer's inside, for the engine and its tests: the channels and the step that mixes
// them into one output buffer (SoundMix), and the process-wide mixer around it (device, buffer
// ring, thread). SoundMix has no lock and no thread of its own, so a fill can be driven
// directly; the process-wide mixer calls it under its lock.
#pragma once

#include "engine/cea_sound.h"

#include <cstddef>
#include <cstdint>

// Bytes of one output buffer.
constexpr DWORD kSoundBufferBytes = 1024;
constexpr int kSoundBufferCount = 6;
// Free buffers are filled even with silence while fewer than this many are queued. The device
// keeps every buffer queued; the desktop leaves two free so idle channels end sooner.
#ifdef TESSARK_DEVICE
constexpr int kSoundUrgentQueue = 6;
#else
constexpr int kSoundUrgentQueue = 4;
#endif

// One active play. A free entry has no data.
struct SoundChannel {
    DWORD stereo; // the sound has two channels
    const BYTE* data;
    DWORD size;
    DWORD position; // bytes
    DWORD loop;
    HWND window;
    WPARAM wParam; // the Sound
    LPARAM lParam; // its notification parameter
    std::atomic<LONG>* playCount;
    Sound* toDelete; // deleted when the play ends
};

class SoundMix {
public:
    SoundMix() = default;
    ~SoundMix();
    SoundMix(const SoundMix&) = delete;
    SoundMix& operator=(const SoundMix&) = delete;

    // Blocks that live as long as the process (the process-wide mixer's accumulators) are
    // left out of the exit leak report.
    void KeepForProcess() { keep_ = true; }

    // Places a play in the first free entry (growing the array by one); false when out of
    // memory. The position starts at 0.
    bool Place(const SoundChannel& request);
    // Ends every channel playing `data`, posting their notifications when `announce`. The
    // Sound `owner` is never deleted here; the answer says whether one of its plays asked for
    // that.
    bool StopData(const BYTE* data, const Sound* owner, bool announce);
    // Ends every channel without notifications and frees the array.
    void EndAll();
    bool InUse() const;
    // Frees the channel array; only when nothing is in use.
    void FreeChannels();

    // Mixes every channel into `out` (kSoundBufferBytes): interleaved left/right on a stereo
    // device. Urgency 0 keeps channels that yield nothing, 1 ends them, 2 also makes the
    // buffer worth writing when nothing played. Returns whether `out` was written.
    bool Fill(BYTE* out, bool stereoDevice, int urgency);

    // The peaks of the last fill, for tests.
    int InputPeak() const { return inPeak_; }
    int MixPeak() const { return mixPeak_; }

private:
    SoundChannel* channels_ = nullptr;
    std::size_t cChannels_ = 0;
    std::int16_t* left_ = nullptr;
    std::int16_t* right_ = nullptr;
    std::size_t cLeft_ = 0;
    std::size_t cRight_ = 0;
    int inPeak_ = 0;
    int mixPeak_ = 0;
    bool keep_ = false;

    bool Reserve(DWORD samples);
    DWORD Read(SoundChannel& channel, DWORD samples, const BYTE** from);
    void Add(DWORD offset, const BYTE* from, DWORD samples, bool stereo);
    void End(SoundChannel& channel, const Sound* spare, bool announce);
};

// The process-wide mixer, created on first use.
namespace sound_mixer {
// Under the lock: true while the output device is open, and whether it plays stereo.
bool IsOpen();
bool IsStereo();
// Closes the device and frees the channels when nothing plays.
void CloseIfIdle();
// Buffers written to the open device and not yet given back.
int QueuedBuffers();
// How many buffers the mixer thread has written to the device since the process started.
unsigned long BuffersWritten();
} // namespace sound_mixer
