// PCM-to-PCM conversion behind the acmStream* calls: rate and sample size, channels kept.
#include "platform/mm.h"

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace {

struct Stream {
    WAVEFORMATEX source;
    WAVEFORMATEX destination;
};

std::mutex g_lock;
std::unordered_set<Stream*> g_streams;

bool IsPlainPcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec >= 1000 &&
           f.nSamplesPerSec <= 192000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

Stream* Find(HACMSTREAM has) {
    auto* s = reinterpret_cast<Stream*>(has);
    std::lock_guard lock(g_lock);
    return g_streams.count(s) != 0 ? s : nullptr;
}

// Output frames for `frames` input frames: every output frame starts inside the input.
std::uint64_t OutputFrames(std::uint64_t frames, const Stream& s) {
    std::uint64_t in = s.source.nSamplesPerSec, out = s.destination.nSamplesPerSec;
    return (frames * out + in - 1) / in;
}

// Samples widened to the 16-bit scale.
int Load(const BYTE* frame, int channel, int bits) {
    if (bits == 8) return (static_cast<int>(frame[channel]) - 128) * 256;
    const BYTE* p = frame + channel * 2;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

void Store(BYTE* frame, int channel, int bits, int value) {
    value = std::clamp(value, -32768, 32767);
    if (bits == 8) {
        // The high byte, floored, as the platform's converter does.
        frame[channel] = static_cast<BYTE>((value >> 8) + 128);
        return;
    }
    auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    frame[channel * 2] = static_cast<BYTE>(v & 0xFF);
    frame[channel * 2 + 1] = static_cast<BYTE>(v >> 8);
}

// a / b rounded to nearest, halves upward; b > 0.
std::int64_t DivRound(std::int64_t a, std::int64_t b) {
    std::int64_t n = 2 * a + b, d = 2 * b;
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// Converts `outFrames` frames (at most OutputFrames(inFrames)) from `in` to `out`.
void Convert(const Stream& s, const BYTE* in, std::uint64_t inFrames, BYTE* out,
             std::uint64_t outFrames) {
    const int channels = s.source.nChannels;
    const int inBits = s.source.wBitsPerSample, outBits = s.destination.wBitsPerSample;
    const std::uint64_t inAlign = s.source.nBlockAlign, outAlign = s.destination.nBlockAlign;
    const std::uint64_t inRate = s.source.nSamplesPerSec, outRate = s.destination.nSamplesPerSec;
    for (std::uint64_t j = 0; j < outFrames; ++j) {
        BYTE* target = out + j * outAlign;
        // Output frame j covers input positions [j, j + 1) x inRate / outRate.
        std::uint64_t first = j * inRate / outRate;
        for (int c = 0; c < channels; ++c) {
            std::int64_t value;
            if (inRate > outRate) {
                std::uint64_t end = std::min((j + 1) * inRate / outRate, inFrames);
                end = std::max(end, first + 1);
                std::int64_t sum = 0;
                for (std::uint64_t i = first; i < end; ++i)
                    sum += Load(in + i * inAlign, c, inBits);
                value = DivRound(sum, static_cast<std::int64_t>(end - first));
            } else {
                std::uint64_t fraction = j * inRate % outRate;
                std::int64_t a = Load(in + first * inAlign, c, inBits);
                std::int64_t b =
                    first + 1 < inFrames ? Load(in + (first + 1) * inAlign, c, inBits) : a;
                value = a + DivRound((b - a) * static_cast<std::int64_t>(fraction),
                                     static_cast<std::int64_t>(outRate));
            }
            Store(target, c, outBits, static_cast<int>(value));
        }
    }
}

} // namespace

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR, DWORD flags) {
    if (source == nullptr || destination == nullptr) return MMSYSERR_INVALPARAM;
    if (flags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME | ACM_STREAMOPENF_ASYNC)) {
        return MMSYSERR_INVALFLAG;
    }
    if ((flags & ACM_STREAMOPENF_ASYNC) || callback != 0 || filter != nullptr) {
        return MMSYSERR_NOTSUPPORTED;
    }
    if (!IsPlainPcm(*source) || !IsPlainPcm(*destination) ||
        source->nChannels != destination->nChannels) {
        return ACMERR_NOTPOSSIBLE;
    }
    if (flags & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
    if (phas == nullptr) return MMSYSERR_INVALPARAM;
    auto* s = new Stream{*source, *destination};
    {
        std::lock_guard lock(g_lock);
        g_streams.insert(s);
    }
    *phas = reinterpret_cast<HACMSTREAM>(s);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD) {
    auto* s = reinterpret_cast<Stream*>(has);
    std::lock_guard lock(g_lock);
    if (g_streams.erase(s) == 0) return MMSYSERR_INVALHANDLE;
    delete s;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD input, DWORD* outputBytes, DWORD flags) {
    Stream* s = Find(has);
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    if (outputBytes == nullptr) return MMSYSERR_INVALPARAM;
    if (flags & ~DWORD{ACM_STREAMSIZEF_DESTINATION}) return MMSYSERR_INVALFLAG;
    std::uint64_t bytes;
    if (flags & ACM_STREAMSIZEF_DESTINATION) {
        // The largest n with ceil(n x out / in) <= frames is floor(frames x in / out).
        std::uint64_t frames = input / s->destination.nBlockAlign;
        bytes = frames * s->source.nSamplesPerSec / s->destination.nSamplesPerSec *
                s->source.nBlockAlign;
    } else {
        bytes = OutputFrames(input / s->source.nBlockAlign, *s) * s->destination.nBlockAlign;
    }
    if (bytes == 0 || bytes > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
    *outputBytes = static_cast<DWORD>(bytes);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD) {
    if (Find(has) == nullptr) return MMSYSERR_INVALHANDLE;
    // Callers that wrote the 32-bit size of the header are fine: nothing past the public
    // fields is used.
    if (header == nullptr || header->cbStruct < offsetof(ACMSTREAMHEADER, dwReservedDriver) ||
        header->pbSrc == nullptr || header->pbDst == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header->fdwStatus = (header->fdwStatus & ~DWORD{ACMSTREAMHEADER_STATUSF_DONE}) |
                        ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD) {
    if (Find(has) == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr) return MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    header->fdwStatus &= ~DWORD{ACMSTREAMHEADER_STATUSF_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD flags) {
    Stream* s = Find(has);
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr) return MMSYSERR_INVALPARAM;
    if (flags &
        ~DWORD{ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END}) {
        return MMSYSERR_INVALFLAG;
    }
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    std::uint64_t inFrames = header->cbSrcLength / s->source.nBlockAlign;
    std::uint64_t room = header->cbDstLength / s->destination.nBlockAlign;
    std::uint64_t outFrames = OutputFrames(inFrames, *s);
    if (outFrames > room) {
        // Only what fits: the input those frames need, and the frames that input makes.
        inFrames = room * s->source.nSamplesPerSec / s->destination.nSamplesPerSec;
        outFrames = OutputFrames(inFrames, *s);
    }
    Convert(*s, header->pbSrc, inFrames, header->pbDst, outFrames);
    header->cbSrcLengthUsed = static_cast<DWORD>(inFrames * s->source.nBlockAlign);
    header->cbDstLengthUsed = static_cast<DWORD>(outFrames * s->destination.nBlockAlign);
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}
