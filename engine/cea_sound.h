// Sound: one sound held as 8-bit PCM at 22050 samples per second, converted on load from
// whatever the RIFF wave holds. Any number of sounds play at once through the process-wide
// mixer, which mixes them on its own thread into a ring of wave-output buffers, scaled so the
// mix never clips. A sound plays once, loops, or (internally) plays once and deletes itself;
// when a play ends its notification window receives kSoundDoneMessage.
#pragma once

#include "platform/base.h"
#include "platform/mm.h"
#include "platform/user.h"

#include <atomic>

// Posted when a play ends: wParam = the Sound, lParam = its notification parameter.
constexpr UINT kSoundDoneMessage = WM_USER + 50;

class Sound {
public:
    // Reads the whole file and parses it as a RIFF wave.
    explicit Sound(LPCTSTR fileName);
    // A RIFF wave in memory (copied or converted; the caller keeps its bytes).
    Sound(const void* data, DWORD size);
    // Resource of type "SOUND", else "WAVE", holding a RIFF wave.
    Sound(HMODULE module, LPCTSTR name);
    // Samples in the given format.
    Sound(const WAVEFORMATEX* format, const void* samples, DWORD size);
    // Stops every play of this sound first, so the mixer never reads freed samples.
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    BOOL IsLoaded() const { return data_ ? TRUE : FALSE; }
    BOOL IsPlaying() const { return playCount_.load() != 0 ? TRUE : FALSE; }
    void SetNotify(HWND window, LPARAM parameter);
    void Play(BOOL loop);
    // Ends every play of this sound. A sound playing in self-deleting mode is deleted by it.
    void Stop();

    const WAVEFORMATEX& GetFormat() const { return format_; }
    const BYTE* GetData() const { return data_; }
    DWORD GetSize() const { return size_; }

    // Play modes: once, looping, once and then deleted by the mixer.
    enum Mode { kOnce = 0, kLoop = 1, kOnceThenDelete = 2 };
    void Play(Mode mode);

    // Opens the output device early by playing 16 bytes of silence that delete themselves.
    static void Prime();

private:
    std::atomic<LONG> playCount_;
    DWORD loop_;
    HWND notifyWindow_;
    LPARAM notifyParameter_;
    WAVEFORMATEX format_;
    BYTE* data_;
    DWORD size_;
    DWORD ownedByConversion_; // the samples came from a conversion ("cbOut"), else a copy
    DWORD destroying_;

    void Clear();
    void LoadRiff(const BYTE* data, std::size_t size);
    bool SetSamples(const WAVEFORMATEX& format, const BYTE* data, DWORD size);
    void FreeSamples();
};
