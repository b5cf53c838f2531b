// Wave output: one device object per open handle, with its own thread that delivers every
// callback in order. Buffers are consumed either by SDL2's audio callback or, headless, by the
// device thread itself at the rate they would play (host or simulated clock).
#include "platform/mm.h"

#include "platform/clock.h"
#include "platform/core/driver.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Queued {
    WAVEHDR* header;
    // Null sink: when the buffer has finished playing, in performance-counter microseconds.
    std::uint64_t endUs;
    // SDL: bytes of the buffer already handed to the host.
    DWORD offset;
};

struct Event {
    UINT message;
    WAVEHDR* header;
};

struct Device {
    HWAVEOUT handle = nullptr;
    WAVEOUTPROC callback = nullptr;
    DWORD_PTR instance = 0;
    WAVEFORMATEX format{};

    std::mutex lock;
    std::condition_variable changed;
    std::deque<Queued> queue;
    std::deque<Event> events;
    bool delivering = false;
    std::thread thread;
    std::thread::id threadId;

    // Null sink pacing: frames written since the current gapless run began at runStartUs.
    std::uint64_t runStartUs = 0;
    std::uint64_t runFrames = 0;
    std::uint64_t lastEndUs = 0;

    SDL_AudioDeviceID sdl = 0;
};

// Never destroyed: devices left open at exit keep their threads until the process ends.
std::mutex& g_devicesLock = *new std::mutex;
std::map<HWAVEOUT, std::shared_ptr<Device>>& g_devices =
    *new std::map<HWAVEOUT, std::shared_ptr<Device>>;
std::uintptr_t g_nextHandle = 0x5A0000;

std::uint64_t NowUs() {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    return static_cast<std::uint64_t>(c.QuadPart);
}

std::shared_ptr<Device> Lookup(HWAVEOUT hwo) {
    std::lock_guard lock(g_devicesLock);
    auto it = g_devices.find(hwo);
    return it == g_devices.end() ? nullptr : it->second;
}

bool OnDeviceThread(const Device& d) {
    return std::this_thread::get_id() == d.threadId;
}

// Under the device lock: the buffer is finished and its WOM_DONE is due.
void Finish(Device& d, WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~DWORD{WHDR_INQUEUE}) | WHDR_DONE;
    d.events.push_back({WOM_DONE, header});
}

void DeviceThread(Device* d) {
    std::unique_lock lock(d->lock);
    for (;;) {
        if (d->sdl == 0) {
            std::uint64_t now = NowUs();
            while (!d->queue.empty() && d->queue.front().endUs <= now) {
                Finish(*d, d->queue.front().header);
                d->queue.pop_front();
            }
        }
        if (!d->events.empty()) {
            Event e = d->events.front();
            d->events.pop_front();
            d->delivering = true;
            lock.unlock();
            if (d->callback != nullptr) {
                d->callback(d->handle, e.message, d->instance,
                            reinterpret_cast<DWORD_PTR>(e.header), 0);
            }
            lock.lock();
            d->delivering = false;
            d->changed.notify_all();
            if (e.message == WOM_CLOSE) return;
            continue;
        }
        if (d->sdl == 0 && !d->queue.empty()) {
            if (platform::clock::IsSimulated()) {
                // Simulated time moves without telling anyone: look again shortly.
                d->changed.wait_for(lock, std::chrono::milliseconds(1));
            } else {
                std::uint64_t now = NowUs(), end = d->queue.front().endUs;
                d->changed.wait_for(lock, std::chrono::microseconds(end > now ? end - now : 0));
            }
        } else {
            d->changed.wait(lock);
        }
    }
}

void SdlFill(void* user, Uint8* stream, int length) {
    auto* d = static_cast<Device*>(user);
    const BYTE silence = d->format.wBitsPerSample == 8 ? 0x80 : 0;
    int done = 0;
    {
        std::lock_guard lock(d->lock);
        while (done < length && !d->queue.empty()) {
            Queued& q = d->queue.front();
            DWORD take = std::min<DWORD>(q.header->dwBufferLength - q.offset,
                                         static_cast<DWORD>(length - done));
            std::memcpy(stream + done, q.header->lpData + q.offset, take);
            done += static_cast<int>(take);
            q.offset += take;
            if (q.offset >= q.header->dwBufferLength) {
                Finish(*d, q.header);
                d->queue.pop_front();
            }
        }
        if (!d->events.empty()) d->changed.notify_all();
    }
    std::memset(stream + done, silence, static_cast<std::size_t>(length - done));
}

bool WantsSdl() {
    if (const char* audio = std::getenv("TESSARK_AUDIO")) return std::strcmp(audio, "sdl") == 0;
    const char* driver = std::getenv("TESSARK_DRIVER");
    if (driver != nullptr && std::strcmp(driver, "sdl") == 0) return true;
    return std::strcmp(platform::driver::Current().name, "sdl") == 0;
}

// Opens the host device for `d`; false leaves the null sink in charge.
bool OpenSdl(Device& d) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(d.format.nSamplesPerSec);
    want.format = d.format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(d.format.nChannels);
    want.samples = 512;
    want.callback = SdlFill;
    want.userdata = &d;
    SDL_AudioSpec have{};
    d.sdl = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (d.sdl == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(d.sdl, 0);
    return true;
}

WORD MaxChannels() {
    const char* env = std::getenv("TESSARK_AUDIO_CHANNELS");
    return env != nullptr && std::strcmp(env, "1") == 0 ? 1 : 2;
}

bool Playable(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nChannels < 1 || f.nChannels > MaxChannels()) return false;
    if (f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 48000) return false;
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

bool ValidHeader(const WAVEHDR* header, UINT size) {
    return header != nullptr && size >= sizeof(WAVEHDR);
}

} // namespace

UINT waveOutGetNumDevs() {
    return 1;
}

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags) {
    if (deviceId != WAVE_MAPPER && deviceId != 0) return MMSYSERR_BADDEVICEID;
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    if (flags & ~DWORD{CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY}) return MMSYSERR_INVALFLAG;
    DWORD kind = flags & CALLBACK_TYPEMASK;
    if (kind != CALLBACK_NULL && kind != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
    if (kind == CALLBACK_FUNCTION && callback == 0) return MMSYSERR_INVALPARAM;
    if (!Playable(*format)) return WAVERR_BADFORMAT;
    if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
    if (phwo == nullptr) return MMSYSERR_INVALPARAM;

    auto d = std::make_shared<Device>();
    d->callback = kind == CALLBACK_FUNCTION ? reinterpret_cast<WAVEOUTPROC>(callback) : nullptr;
    d->instance = instance;
    d->format = *format;
    d->format.cbSize = 0;
    {
        std::lock_guard lock(g_devicesLock);
        d->handle = reinterpret_cast<HWAVEOUT>(g_nextHandle++);
    }
    if (WantsSdl()) OpenSdl(*d);
    {
        std::lock_guard lock(d->lock);
        d->events.push_back({WOM_OPEN, nullptr});
        try {
            d->thread = std::thread(DeviceThread, d.get());
        } catch (const std::system_error&) {
            d->events.clear();
        }
        d->threadId = d->thread.get_id();
    }
    if (!d->thread.joinable()) {
        if (d->sdl != 0) {
            SDL_CloseAudioDevice(d->sdl);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        return MMSYSERR_NOMEM;
    }
    {
        std::lock_guard lock(g_devicesLock);
        g_devices[d->handle] = d;
    }
    *phwo = d->handle;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    auto d = Lookup(hwo);
    if (d == nullptr) return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, headerSize) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(d->lock);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    auto d = Lookup(hwo);
    if (d == nullptr) return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, headerSize)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(d->lock);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{WHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    auto d = Lookup(hwo);
    if (d == nullptr) return MMSYSERR_INVALHANDLE;
    if (!ValidHeader(header, headerSize)) return MMSYSERR_INVALPARAM;
    if (header->lpData == nullptr && header->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(d->lock);
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~DWORD{WHDR_DONE}) | WHDR_INQUEUE;
    // Whole frames play; a trailing partial frame takes no time.
    std::uint64_t frames = header->dwBufferLength / d->format.nBlockAlign;
    std::uint64_t now = NowUs();
    if (d->queue.empty() && d->lastEndUs <= now) {
        // The device ran dry: a new gapless run starts now.
        d->runStartUs = now;
        d->runFrames = 0;
    }
    d->runFrames += frames;
    d->lastEndUs = d->runStartUs + d->runFrames * 1000000 / d->format.nSamplesPerSec;
    d->queue.push_back({header, d->lastEndUs, 0});
    d->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    auto d = Lookup(hwo);
    if (d == nullptr) return MMSYSERR_INVALHANDLE;
    if (OnDeviceThread(*d)) return MMSYSERR_ERROR;
    std::unique_lock lock(d->lock);
    for (Queued& q : d->queue)
        Finish(*d, q.header);
    d->queue.clear();
    d->lastEndUs = 0;
    d->changed.notify_all();
    d->changed.wait(lock, [&] { return d->events.empty() && !d->delivering; });
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    auto d = Lookup(hwo);
    if (d == nullptr) return MMSYSERR_INVALHANDLE;
    if (OnDeviceThread(*d)) return MMSYSERR_ERROR;
    {
        std::lock_guard lock(d->lock);
        if (!d->queue.empty()) return WAVERR_STILLPLAYING;
    }
    {
        std::lock_guard lock(g_devicesLock);
        if (g_devices.erase(hwo) == 0) return MMSYSERR_INVALHANDLE; // closed meanwhile
    }
    if (d->sdl != 0) {
        SDL_CloseAudioDevice(d->sdl);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    {
        std::lock_guard lock(d->lock);
        d->events.push_back({WOM_CLOSE, nullptr});
        d->changed.notify_all();
    }
    d->thread.join();
    return MMSYSERR_NOERROR;
}
