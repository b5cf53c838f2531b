// Multimedia services of the platform API: wave output and PCM-to-PCM conversion.
//
// Wave output plays PCM (1 or 2 channels, 8-bit unsigned or 16-bit signed, 8000 to 48000
// frames per second) through SDL2 audio when the sdl driver runs, otherwise (or when the host
// has no audio device) through a silent sink that consumes each buffer in the time it would
// take to play. Either way WOM_OPEN, WOM_DONE (in write order) and WOM_CLOSE reach the
// callback from the device's own thread, never from the caller's.
//
// TESSARK_AUDIO=null|sdl forces a backend; TESSARK_AUDIO_CHANNELS=1 makes the device refuse
// stereo, as a mono-only device does.
//
// The converter turns PCM into PCM of another rate and sample size, keeping the channels. Each
// acmStreamConvert call is a whole conversion on its own (no state carries between calls).
#pragma once

#include "platform/types.h"

#ifndef CALLBACK
#define CALLBACK
#endif

using MMRESULT = UINT;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34
#define ACMERR_NOTPOSSIBLE 512
#define ACMERR_BUSY 513
#define ACMERR_UNPREPARED 514

#define WAVE_FORMAT_PCM 1
#define WAVE_MAPPER (static_cast<UINT>(-1))

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

// ---- Wave output ----

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;
using PWAVEHDR = WAVEHDR*;

#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_BEGINLOOP 0x00000004
#define WHDR_ENDLOOP 0x00000008
#define WHDR_INQUEUE 0x00000010

#define WOM_OPEN 0x03BB
#define WOM_CLOSE 0x03BC
#define WOM_DONE 0x03BD

#define CALLBACK_TYPEMASK 0x00070000
#define CALLBACK_NULL 0x00000000
#define CALLBACK_FUNCTION 0x00030000
#define WAVE_FORMAT_QUERY 0x0001

// hwo, message, instance, param1 (the WAVEHDR for WOM_DONE), param2.
using WAVEOUTPROC = void (*)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using LPHWAVEOUT = HWAVEOUT*;

UINT waveOutGetNumDevs();
// Device WAVE_MAPPER or 0; CALLBACK_FUNCTION (callback is a WAVEOUTPROC) or CALLBACK_NULL;
// WAVE_FORMAT_QUERY only checks the format. A format the device cannot play gives
// WAVERR_BADFORMAT: not PCM, other than 8 or 16 bits, more channels than the device has, a rate
// outside 8000..48000, or a block alignment / byte rate that does not match the rest.
MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize);
// A queued or unprepared buffer gives WAVERR_STILLPLAYING / WAVERR_UNPREPARED. Loop flags are
// ignored: every buffer plays once.
MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize);
// Stops playing and returns every queued buffer (WOM_DONE for each, in order) before it returns.
MMRESULT waveOutReset(HWAVEOUT hwo);
// WAVERR_STILLPLAYING while buffers are queued (reset first). Delivers WOM_CLOSE before it
// returns. None of these calls may be made from the callback itself (MMSYSERR_ERROR).
MMRESULT waveOutClose(HWAVEOUT hwo);

// ---- PCM conversion ----

TESSARK_DECLARE_HANDLE(HACMDRIVER);
using LPHACMSTREAM = HACMSTREAM*;
struct WAVEFILTER;
using LPWAVEFILTER = WAVEFILTER*;

struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    BYTE* pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    BYTE* pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[10];
};
using LPACMSTREAMHEADER = ACMSTREAMHEADER*;

#define ACM_STREAMOPENF_QUERY 0x00000001
#define ACM_STREAMOPENF_ASYNC 0x00000002
#define ACM_STREAMOPENF_NONREALTIME 0x00000004
#define ACM_STREAMSIZEF_SOURCE 0x00000000
#define ACM_STREAMSIZEF_DESTINATION 0x00000001
#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004
#define ACM_STREAMCONVERTF_START 0x00000010
#define ACM_STREAMCONVERTF_END 0x00000020
#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000

// PCM to PCM only: 8 or 16 bits, 1 or 2 channels (the same on both sides), rates 1000..192000.
// Anything else gives ACMERR_NOTPOSSIBLE. Filters, callbacks and ASYNC are not supported.
MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags);
// The size rule: whole input frames n = bytes / source block alignment (a partial frame is
// dropped); output frames = ceil(n x destination rate / source rate); bytes = frames x
// destination block alignment. Exactly what acmStreamConvert writes for that input. With
// ACM_STREAMSIZEF_DESTINATION it answers the largest input whose output fits. A result of 0
// bytes (or beyond 32 bits) gives ACMERR_NOTPOSSIBLE.
MMRESULT acmStreamSize(HACMSTREAM has, DWORD input, DWORD* outputBytes, DWORD flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD flags);
// Converts as many whole input frames as the destination holds; cbSrcLengthUsed and
// cbDstLengthUsed say how much. Rate changes interpolate linearly when raising the rate and
// average the input frames each output frame covers when lowering it. 16 to 8 bits keeps the
// high byte (0x7FFF -> 0xFF, 0 -> 0x80, 0x8000 -> 0x00); 8 to 16 bits shifts it back up.
MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM has, DWORD flags);
