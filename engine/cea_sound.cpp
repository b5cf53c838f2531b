#include "engine/cea_sound.h"

#include "engine/cea_sound_mix.h"
#include "foundation/memory.h"
#include "platform/resource.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr DWORD kMixRate = 22050;
constexpr WORD kMixBits = 8;

DWORD Read32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}
WORD Read16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

bool IsMixable(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == kMixBits &&
           f.nSamplesPerSec == kMixRate && (f.nChannels == 1 || f.nChannels == 2);
}

// One conversion step: replaces *data/*size/*format by PCM of the given rate, bits and
// channels, unless they already are. *owned is the buffer of an earlier step (freed when
// replaced).
bool Convert(WAVEFORMATEX* format, const BYTE** data, DWORD* size, BYTE** owned, DWORD rate,
             WORD bits, WORD channels) {
    if (format->wFormatTag == WAVE_FORMAT_PCM && format->wBitsPerSample == bits &&
        format->nChannels == channels && format->nSamplesPerSec == rate)
        return true;
    WAVEFORMATEX target{};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = channels;
    target.nSamplesPerSec = rate;
    target.wBitsPerSample = bits;
    target.nBlockAlign = static_cast<WORD>((bits == 8 ? 1 : 2) * channels);
    target.nAvgBytesPerSec = rate * (bits / 8) * channels;
    target.cbSize = 0;

    WAVEFORMATEX source = *format;
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &source, &target, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return false;
    DWORD outSize = 0;
    BYTE* out = nullptr;
    bool ok = acmStreamSize(stream, *size, &outSize, ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR &&
              outSize != 0;
    if (ok) {
        out = static_cast<BYTE*>(MemAlloc(outSize, MM("cbOut")));
        ok = out != nullptr;
    }
    if (ok) {
        std::memset(out, 128, outSize);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.pbSrc = const_cast<BYTE*>(*data);
        header.cbSrcLength = *size;
        header.pbDst = out;
        header.cbDstLength = outSize;
        ok = acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR;
        if (ok) {
            ok = acmStreamConvert(stream, &header, 0) == MMSYSERR_NOERROR;
            acmStreamUnprepareHeader(stream, &header, 0);
        }
    }
    acmStreamClose(stream, 0);
    if (!ok) {
        MemFree(out, MM("cbOut"));
        return false;
    }
    MemFree(*owned, MM("cbOut"));
    *owned = out;
    *data = out;
    *size = outSize;
    *format = target;
    return true;
}

// ---- The process-wide mixer ----------------------------------------------------------------

class Mixer {
public:
    bool Start();
    void ShutDown();

    bool Play(const WAVEFORMATEX& format, const SoundChannel& request);
    bool StopData(const BYTE* data, const Sound* owner, bool announce);
    void CloseIfIdle();
    bool IsOpen();
    bool IsStereo();
    unsigned long Written() const { return written_.load(); }
    int Queued();

private:
    struct Buffer {
        WAVEHDR header;
        BYTE data[kSoundBufferBytes];
    };

    CRITICAL_SECTION lock_;
    HANDLE event_ = nullptr;
    HANDLE thread_ = nullptr;
    HWAVEOUT device_ = nullptr;
    bool stereo_ = false;
    Buffer buffers_[kSoundBufferCount];
    // Set by the device callback; the platform owns the headers' own flags while queued.
    std::atomic<bool> done_[kSoundBufferCount];
    SoundMix mix_;
    bool filling_ = false;
    bool closePending_ = false;
    bool quit_ = false;
    std::atomic<unsigned long> written_{0};

    static DWORD WINAPI ThreadMain(LPVOID self);
    static void CALLBACK DeviceCallback(HWAVEOUT, UINT message, DWORD_PTR instance,
                                        DWORD_PTR param1, DWORD_PTR);
    void Pass();
    bool OpenDevice();
    void CloseDevice();
    void CloseIfIdleLocked();
};

alignas(Mixer) unsigned char g_mixerStorage[sizeof(Mixer)];
std::atomic<Mixer*> g_mixer{nullptr};
bool g_mixerShutDown = false;
std::mutex& g_mixerCreation = *new std::mutex;

void ShutDownMixerAtExit() {
    std::lock_guard guard(g_mixerCreation);
    g_mixerShutDown = true;
    Mixer* mixer = g_mixer.exchange(nullptr);
    if (mixer) mixer->ShutDown();
}

// The mixer if it exists; never creates it.
Mixer* ExistingMixer() {
    return g_mixer.load(std::memory_order_acquire);
}

// The mixer, created by the first caller; null after process shutdown began or if the
// thread could not start.
Mixer* GetMixer() {
    if (Mixer* mixer = ExistingMixer()) return mixer;
    std::lock_guard guard(g_mixerCreation);
    if (g_mixerShutDown) return nullptr;
    if (Mixer* mixer = g_mixer.load()) return mixer;
    auto* mixer = new (g_mixerStorage) Mixer;
    if (!mixer->Start()) {
        mixer->~Mixer();
        return nullptr;
    }
    g_mixer.store(mixer, std::memory_order_release);
    // Registered after the platform objects the mixer uses exist, so it runs before their
    // teardown: the thread ends and the device closes while everything still works.
    static const bool registered = std::atexit(ShutDownMixerAtExit) == 0;
    (void)registered;
    return mixer;
}

bool Mixer::Start() {
    for (auto& flag : done_)
        flag.store(true);
    mix_.KeepForProcess();
    InitializeCriticalSection(&lock_);
    event_ = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    if (event_) thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (!thread_) {
        if (event_) CloseHandle(event_);
        DeleteCriticalSection(&lock_);
        return false;
    }
    SetThreadPriority(thread_, THREAD_PRIORITY_ABOVE_NORMAL);
    return true;
}

void Mixer::ShutDown() {
    EnterCriticalSection(&lock_);
    quit_ = true;
    SetEvent(event_);
    LeaveCriticalSection(&lock_);
    // A thread stuck for seconds at exit is left alone with everything it might touch.
    if (WaitForSingleObject(thread_, 5000) != WAIT_OBJECT_0) return;
    EnterCriticalSection(&lock_);
    if (device_) CloseDevice();
    // Plays still running at exit end silently; their windows may be gone already.
    mix_.EndAll();
    LeaveCriticalSection(&lock_);
    CloseHandle(thread_);
    CloseHandle(event_);
    DeleteCriticalSection(&lock_);
    this->~Mixer();
}

DWORD WINAPI Mixer::ThreadMain(LPVOID self) {
    auto* mixer = static_cast<Mixer*>(self);
    for (;;) {
        WaitForSingleObject(mixer->event_, INFINITE);
        EnterCriticalSection(&mixer->lock_);
        bool quit = mixer->quit_;
        if (!quit) mixer->Pass();
        LeaveCriticalSection(&mixer->lock_);
        if (quit) return 0;
    }
}

void CALLBACK Mixer::DeviceCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                    DWORD_PTR) {
    if (message != WOM_DONE) return;
    auto* mixer = reinterpret_cast<Mixer*>(instance);
    auto* header = reinterpret_cast<WAVEHDR*>(param1);
    for (int i = 0; i < kSoundBufferCount; ++i)
        if (header == &mixer->buffers_[i].header) {
            mixer->done_[i].store(true);
            SetEvent(mixer->event_);
            return;
        }
}

// Under the lock: refills every free buffer, urgently while few are queued.
void Mixer::Pass() {
    if (!device_) return;
    int queued = 0;
    for (const auto& flag : done_)
        if (!flag.load()) ++queued;
    filling_ = true;
    for (int i = 0; i < kSoundBufferCount && device_; ++i) {
        if (!done_[i].load()) continue;
        int urgency = queued < kSoundUrgentQueue ? 2 : 1;
        if (!mix_.Fill(buffers_[i].data, stereo_, urgency)) continue;
        done_[i].store(false);
        if (waveOutWrite(device_, &buffers_[i].header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            done_[i].store(true);
            continue;
        }
        written_.fetch_add(1);
        ++queued;
    }
    filling_ = false;
    if (closePending_) {
        closePending_ = false;
        CloseIfIdleLocked();
    }
}

// Under the lock. Stereo first; a mono-only device gets a mono format whose alignment and
// byte rate match its one channel.
bool Mixer::OpenDevice() {
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, kMixRate, kMixRate * 2, 2, kMixBits, 0};
    auto callback = reinterpret_cast<DWORD_PTR>(&DeviceCallback);
    auto instance = reinterpret_cast<DWORD_PTR>(this);
    stereo_ = true;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, callback, instance, CALLBACK_FUNCTION) !=
        MMSYSERR_NOERROR) {
        format.nChannels = 1;
        format.nBlockAlign = 1;
        format.nAvgBytesPerSec = kMixRate;
        stereo_ = false;
        device_ = nullptr;
        if (waveOutOpen(&device_, WAVE_MAPPER, &format, callback, instance, CALLBACK_FUNCTION) !=
            MMSYSERR_NOERROR) {
            device_ = nullptr;
            return false;
        }
    }
    for (int i = 0; i < kSoundBufferCount; ++i) {
        WAVEHDR& header = buffers_[i].header;
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(buffers_[i].data);
        header.dwBufferLength = kSoundBufferBytes;
        if (waveOutPrepareHeader(device_, &header, sizeof header) != MMSYSERR_NOERROR) {
            for (int j = 0; j < i; ++j)
                waveOutUnprepareHeader(device_, &buffers_[j].header, sizeof(WAVEHDR));
            waveOutClose(device_);
            device_ = nullptr;
            return false;
        }
        done_[i].store(true);
    }
    return true;
}

// Under the lock. The reset hands back every queued buffer first: a queued buffer can be
// neither unprepared nor closed.
void Mixer::CloseDevice() {
    waveOutReset(device_);
    for (auto& buffer : buffers_)
        waveOutUnprepareHeader(device_, &buffer.header, sizeof(WAVEHDR));
    // A device that refuses to close stays ours (and open) rather than leaking unseen.
    if (waveOutClose(device_) != MMSYSERR_NOERROR) return;
    device_ = nullptr;
    for (auto& flag : done_)
        flag.store(true);
}

bool Mixer::Play(const WAVEFORMATEX& format, const SoundChannel& request) {
    EnterCriticalSection(&lock_);
    bool placed = IsMixable(format) && request.data && request.size && (device_ || OpenDevice()) &&
                  mix_.Place(request);
    if (placed) {
        SetEvent(event_);
    } else {
        // Not playing: the count goes back down, and a self-deleting sound goes now.
        if (request.playCount) request.playCount->fetch_sub(1);
        if (request.toDelete) MemDelete(request.toDelete, MM("SOUND"));
    }
    LeaveCriticalSection(&lock_);
    return placed;
}

bool Mixer::StopData(const BYTE* data, const Sound* owner, bool announce) {
    EnterCriticalSection(&lock_);
    bool ownerToDelete = mix_.StopData(data, owner, announce);
    LeaveCriticalSection(&lock_);
    return ownerToDelete;
}

void Mixer::CloseIfIdle() {
    EnterCriticalSection(&lock_);
    CloseIfIdleLocked();
    LeaveCriticalSection(&lock_);
}

void Mixer::CloseIfIdleLocked() {
    // A sound deleted by the fill itself: close after the pass, not under its feet.
    if (filling_) {
        closePending_ = true;
        return;
    }
    if (mix_.InUse()) return;
    mix_.FreeChannels();
    if (device_) CloseDevice();
}

bool Mixer::IsOpen() {
    EnterCriticalSection(&lock_);
    bool open = device_ != nullptr;
    LeaveCriticalSection(&lock_);
    return open;
}

int Mixer::Queued() {
    EnterCriticalSection(&lock_);
    int queued = 0;
    if (device_)
        for (const auto& flag : done_)
            if (!flag.load()) ++queued;
    LeaveCriticalSection(&lock_);
    return queued;
}

bool Mixer::IsStereo() {
    EnterCriticalSection(&lock_);
    bool stereo = device_ != nullptr && stereo_;
    LeaveCriticalSection(&lock_);
    return stereo;
}

} // namespace

// ---- SoundMix ------------------------------------------------------------------------------

SoundMix::~SoundMix() {
    MemFree(channels_, MM("SOUNDCHANNEL"));
    MemFree(left_, MM("MIXBUFFER"));
    MemFree(right_, MM("MIXBUFFER"));
}

bool SoundMix::Place(const SoundChannel& request) {
    std::size_t slot = cChannels_;
    for (std::size_t i = 0; i < cChannels_; ++i)
        if (!channels_[i].data) {
            slot = i;
            break;
        }
    if (slot == cChannels_ &&
        !MemGrowArray(&channels_, &cChannels_, slot + 1, 1, MM("SOUNDCHANNEL")))
        return false;
    channels_[slot] = request;
    channels_[slot].position = 0;
    return true;
}

bool SoundMix::StopData(const BYTE* data, const Sound* owner, bool announce) {
    bool ownerToDelete = false;
    for (std::size_t i = 0; i < cChannels_; ++i)
        if (data && channels_[i].data == data) {
            if (owner && channels_[i].toDelete == owner) ownerToDelete = true;
            End(channels_[i], owner, announce);
        }
    return ownerToDelete;
}

void SoundMix::EndAll() {
    for (std::size_t i = 0; i < cChannels_; ++i)
        if (channels_[i].data) End(channels_[i], nullptr, false);
    FreeChannels();
}

bool SoundMix::InUse() const {
    for (std::size_t i = 0; i < cChannels_; ++i)
        if (channels_[i].data) return true;
    return false;
}

void SoundMix::FreeChannels() {
    MemFree(channels_, MM("SOUNDCHANNEL"));
    channels_ = nullptr;
    cChannels_ = 0;
}

bool SoundMix::Reserve(DWORD samples) {
    if (cLeft_ >= samples && cRight_ >= samples) return true;
    std::size_t needed = (samples + 127) / 128 * 128;
    if (!MemGrowArray(&left_, &cLeft_, needed, 1, MM("MIXBUFFER")) ||
        !MemGrowArray(&right_, &cRight_, needed, 1, MM("MIXBUFFER")))
        return false;
    if (keep_) {
        MemTare(left_, MM("MIXBUFFER"));
        MemTare(right_, MM("MIXBUFFER"));
    }
    return true;
}

DWORD SoundMix::Read(SoundChannel& channel, DWORD samples, const BYTE** from) {
    DWORD frame = channel.stereo ? 2 : 1;
    DWORD position = std::min(channel.position, channel.size);
    DWORD remaining = (channel.size - position) / frame;
    if (remaining == 0 && channel.loop && position != 0) {
        position = 0;
        remaining = channel.size / frame;
    }
    DWORD taken = std::min(remaining, samples);
    *from = channel.data + position;
    position += taken * frame;
    if (position + frame > channel.size) position = channel.loop ? 0 : channel.size;
    channel.position = position;
    return taken;
}

namespace {
std::int16_t Saturate(int value) {
    return static_cast<std::int16_t>(std::clamp(value, -32767, 32767));
}
} // namespace

void SoundMix::Add(DWORD offset, const BYTE* from, DWORD samples, bool stereo) {
    for (DWORD i = 0; i < samples; ++i) {
        int l = 0;
        int r = 0;
        if (stereo) {
            l = from[2 * i] - 128;
            r = from[2 * i + 1] - 128;
        } else {
            l = r = from[i] - 128;
        }
        inPeak_ = std::max({inPeak_, std::abs(l), std::abs(r)});
        std::int16_t& left = left_[offset + i];
        std::int16_t& right = right_[offset + i];
        left = Saturate(left + l);
        right = Saturate(right + r);
        mixPeak_ = std::max(
            {mixPeak_, std::abs(static_cast<int>(left)), std::abs(static_cast<int>(right))});
    }
}

void SoundMix::End(SoundChannel& channel, const Sound* spare, bool announce) {
    SoundChannel ended = channel;
    channel = SoundChannel{};
    if (ended.playCount) ended.playCount->fetch_sub(1);
    if (announce && ended.window && IsWindow(ended.window))
        PostMessage(ended.window, kSoundDoneMessage, ended.wParam, ended.lParam);
    if (ended.toDelete && ended.toDelete != spare) MemDelete(ended.toDelete, MM("SOUND"));
}

bool SoundMix::Fill(BYTE* out, bool stereoDevice, int urgency) {
    DWORD samples = stereoDevice ? kSoundBufferBytes / 2 : kSoundBufferBytes;
    inPeak_ = 0;
    mixPeak_ = 0;
    if (!Reserve(samples)) {
        if (urgency != 2) return false;
        std::memset(out, 128, kSoundBufferBytes);
        return true;
    }
    std::memset(left_, 0, samples * sizeof *left_);
    std::memset(right_, 0, samples * sizeof *right_);
    bool worth = urgency == 2;
    for (std::size_t i = 0; i < cChannels_; ++i) {
        SoundChannel& channel = channels_[i];
        if (!channel.data) continue;
        DWORD offset = 0;
        bool yielded = false;
        for (;;) {
            const BYTE* from = nullptr;
            DWORD got = Read(channel, samples - offset, &from);
            if (got == 0) break;
            Add(offset, from, got, channel.stereo != 0);
            offset += got;
            yielded = true;
        }
        if (yielded)
            worth = true;
        else if (urgency != 0)
            End(channel, nullptr, true);
    }
    if (!worth) return false;

    std::memset(out, 128, kSoundBufferBytes);
    if (mixPeak_ == 0) return true;
    // The loudest point of the mix comes out as loud as the loudest input sample; the clamp
    // keeps a full-scale negative input peak from wrapping a positive mix peak past 255.
    auto scale = [this](int value) {
        return static_cast<BYTE>(std::clamp(value * inPeak_ / mixPeak_, -128, 127) + 128);
    };
    if (stereoDevice) {
        for (DWORD i = 0; i < samples; ++i) {
            out[2 * i] = scale(left_[i]);
            out[2 * i + 1] = scale(right_[i]);
        }
    } else {
        for (DWORD i = 0; i < samples; ++i)
            out[i] = scale((left_[i] + right_[i]) / 2);
    }
    return true;
}

// ---- sound_mixer ---------------------------------------------------------------------------

bool sound_mixer::IsOpen() {
    Mixer* mixer = ExistingMixer();
    return mixer && mixer->IsOpen();
}

bool sound_mixer::IsStereo() {
    Mixer* mixer = ExistingMixer();
    return mixer && mixer->IsStereo();
}

void sound_mixer::CloseIfIdle() {
    if (Mixer* mixer = ExistingMixer()) mixer->CloseIfIdle();
}

int sound_mixer::QueuedBuffers() {
    Mixer* mixer = ExistingMixer();
    return mixer ? mixer->Queued() : 0;
}

unsigned long sound_mixer::BuffersWritten() {
    Mixer* mixer = ExistingMixer();
    return mixer ? mixer->Written() : 0;
}

// ---- Sound ---------------------------------------------------------------------------------

void Sound::Clear() {
    playCount_.store(0);
    loop_ = 0;
    notifyWindow_ = nullptr;
    notifyParameter_ = 0;
    format_ = WAVEFORMATEX{};
    data_ = nullptr;
    size_ = 0;
    ownedByConversion_ = 0;
    destroying_ = 0;
}

Sound::Sound(LPCTSTR fileName) {
    Clear();
    HANDLE file = CreateFile(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size != INVALID_FILE_SIZE && high == 0 && size >= 12) {
        auto* data = static_cast<BYTE*>(MemAlloc(size, MM("cbFile")));
        DWORD read = 0;
        if (data && ReadFile(file, data, size, &read, nullptr) && read == size)
            LoadRiff(data, size);
        MemFree(data, MM("cbFile"));
    }
    CloseHandle(file);
}

Sound::Sound(const void* data, DWORD size) {
    Clear();
    if (data) LoadRiff(static_cast<const BYTE*>(data), size);
}

Sound::Sound(HMODULE module, LPCTSTR name) {
    Clear();
    HRSRC found = FindResource(module, name, TEXT("SOUND"));
    if (!found) found = FindResource(module, name, TEXT("WAVE"));
    if (!found) return;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data) LoadRiff(static_cast<const BYTE*>(data), SizeofResource(module, found));
}

Sound::Sound(const WAVEFORMATEX* format, const void* samples, DWORD size) {
    Clear();
    if (format) SetSamples(*format, static_cast<const BYTE*>(samples), size);
}

Sound::~Sound() {
    destroying_ = 1;
    Stop();
    FreeSamples();
    if (Mixer* mixer = ExistingMixer()) mixer->CloseIfIdle();
}

void Sound::FreeSamples() {
    if (ownedByConversion_)
        MemFree(data_, MM("cbOut"));
    else
        MemFree(data_, MM("cbSignal"));
    data_ = nullptr;
    size_ = 0;
    ownedByConversion_ = 0;
    format_ = WAVEFORMATEX{};
}

void Sound::LoadRiff(const BYTE* data, std::size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return;
    WAVEFORMATEX format{};
    bool haveFormat = false;
    const BYTE* samples = nullptr;
    DWORD sampleBytes = 0;
    std::size_t offset = 12;
    while (size - offset >= 9) {
        const BYTE* id = data + offset;
        DWORD chunk = Read32(data + offset + 4);
        if (chunk > size - offset - 8) break;
        const BYTE* body = data + offset + 8;
        if (std::memcmp(id, "fmt ", 4) == 0 && (chunk >= 18 || chunk == 16)) {
            format.wFormatTag = Read16(body);
            format.nChannels = Read16(body + 2);
            format.nSamplesPerSec = Read32(body + 4);
            format.nAvgBytesPerSec = Read32(body + 8);
            format.nBlockAlign = Read16(body + 12);
            format.wBitsPerSample = Read16(body + 14);
            format.cbSize = chunk >= 18 ? Read16(body + 16) : 0;
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            samples = body;
            sampleBytes = chunk;
            break;
        }
        offset += 8 + static_cast<std::size_t>(chunk);
    }
    if (haveFormat && samples) SetSamples(format, samples, sampleBytes);
}

bool Sound::SetSamples(const WAVEFORMATEX& given, const BYTE* data, DWORD size) {
    if (!data || size == 0) return false;
    WAVEFORMATEX format = given;
    if (format.nChannels < 1 || format.nChannels > 2 || format.nSamplesPerSec == 0) return false;
    if (format.wFormatTag == WAVE_FORMAT_PCM) {
        if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
        // Derived fields are recomputed rather than trusted: a wrong block alignment in a file
        // would otherwise cut the samples at the wrong place.
        format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        format.cbSize = 0;
        size -= size % format.nBlockAlign; // a partial last frame is dropped
        if (size == 0) return false;
    }
    const BYTE* current = data;
    DWORD currentSize = size;
    BYTE* owned = nullptr;
    WORD channels = format.nChannels;
    if (!Convert(&format, &current, &currentSize, &owned, format.nSamplesPerSec,
                 format.wBitsPerSample, channels) ||
        !Convert(&format, &current, &currentSize, &owned, kMixRate, format.wBitsPerSample,
                 channels) ||
        !Convert(&format, &current, &currentSize, &owned, kMixRate, kMixBits, channels) ||
        !IsMixable(format)) {
        MemFree(owned, MM("cbOut"));
        return false;
    }
    BYTE* kept = owned;
    if (!kept) {
        kept = static_cast<BYTE*>(MemAlloc(currentSize, MM("cbSignal")));
        if (!kept) return false;
        std::memcpy(kept, current, currentSize);
    }
    FreeSamples();
    data_ = kept;
    size_ = currentSize;
    ownedByConversion_ = owned ? 1 : 0;
    format_ = format;
    return true;
}

void Sound::SetNotify(HWND window, LPARAM parameter) {
    notifyWindow_ = window;
    notifyParameter_ = parameter;
}

void Sound::Play(BOOL loop) {
    Play(loop ? kLoop : kOnce);
}

void Sound::Play(Mode mode) {
    if (!data_) return;
    Mixer* mixer = GetMixer();
    if (!mixer) {
        if (mode == kOnceThenDelete) MemDelete(this, MM("SOUND"));
        return;
    }
    loop_ = mode == kLoop ? 1 : 0;
    SoundChannel request{};
    request.stereo = format_.nChannels == 2 ? 1 : 0;
    request.data = data_;
    request.size = size_;
    request.loop = loop_;
    request.window = notifyWindow_;
    request.wParam = reinterpret_cast<WPARAM>(this);
    request.lParam = notifyParameter_;
    request.playCount = &playCount_;
    request.toDelete = mode == kOnceThenDelete ? this : nullptr;
    playCount_.fetch_add(1);
    // A self-deleting sound may be gone once this returns.
    mixer->Play(format_, request);
}

void Sound::Stop() {
    if (playCount_.load() == 0) return;
    bool deleteSelf = false;
    // A sound being destroyed is not announced: the receiver would get a dangling pointer.
    if (Mixer* mixer = ExistingMixer()) deleteSelf = mixer->StopData(data_, this, destroying_ == 0);
    playCount_.store(0);
    loop_ = 0;
    if (deleteSelf && !destroying_) MemDelete(this, MM("SOUND"));
}

void Sound::Prime() {
    Mixer* mixer = GetMixer();
    if (!mixer || mixer->IsOpen()) return;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, kMixRate, kMixRate, 1, kMixBits, 0};
    BYTE silence[16];
    std::memset(silence, 0x80, sizeof silence);
    auto* sound = new (MM("SOUND")) Sound(&format, silence, sizeof silence);
    if (!sound->IsLoaded()) {
        MemDelete(sound, MM("SOUND"));
        return;
    }
    sound->Play(kOnceThenDelete);
}
