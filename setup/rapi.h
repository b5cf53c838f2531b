// The device connection: "rapi.dll" loaded at run time with its 78 entries, the processor names,
// the calling of named functions in libraries on either target and the device's compressed file
// transfer.
#pragma once

#include "platform/rapi.h"

#include <string>

// The connection (memory label "RAPI"): the library and one pointer per entry, in table order.
struct RAPI {
    HMODULE module = nullptr;
#define TESSARK_RAPI_MEMBER(kind, ret, name, params, args, fail) PFN_##name name = nullptr;
    TESSARK_RAPI_ENTRIES(TESSARK_RAPI_MEMBER)
#undef TESSARK_RAPI_MEMBER
};

// Loads "rapi.dll", resolves every entry and waits at most `timeout` ms for the device; none
// (null) when any step fails, and the library is released again.
RAPI* Connect(DWORD timeout);
// The same with another library in place of "rapi.dll".
RAPI* ConnectLibrary(const char* library, DWORD timeout);
// Uninitialises and unloads; null is ignored.
void Disconnect(RAPI* rapi);

// The connection's trace lines ("rapi: ..."): discarded unless a routine is set (null restores
// that).
void SetRapiTrace(void (*trace)(const char* line));

// Every change the setup library makes to a target (a file created or written, a folder, a key
// or value, a move or deletion) is reported here after it is made, so a caller can stop the
// process at an exact point of an installation. Null (the default) reports nowhere.
void SetChangeHook(void (*hook)());
void NoteChange();

// The forwarding operations: each entry with the connection first.
#define TESSARK_RAPI_WITH_CONNECTION(...) (RAPI * rapi __VA_OPT__(, ) __VA_ARGS__)
#define TESSARK_RAPI_FORWARD(kind, ret, name, params, args, fail)                                  \
    inline ret name TESSARK_RAPI_WITH_CONNECTION params {                                          \
        return rapi->name args;                                                                    \
    }
TESSARK_RAPI_ENTRIES(TESSARK_RAPI_FORWARD)
#undef TESSARK_RAPI_FORWARD

// The build folder for a processor architecture: "mips", "ppc", "shx", "arm" or "unknown".
const char* ProcessorFolderName(unsigned architecture);
// The device's processor folder name as CeGetSystemInfo reports it ("unknown" when that fails).
const char* DeviceProcessorName(RAPI* rapi);

// What the device's half of the install toolkit's operations works on: the connection (null for
// the desktop), the maker folder on that target, the cached "zzrapi.dll" version, and where the
// progress and the "setuplib:" trace lines go.
struct TransferTarget {
    RAPI* rapi = nullptr;
    std::string makerFolder;
    long zzVersion = -1; // -1: not asked yet
    void (*progress)(void* context, int percent) = nullptr;
    void* progressContext = nullptr;
    void (*trace)(const char* line) = nullptr;
};

// Files up to this size always travel uncompressed.
inline constexpr DWORD kCompressAbove = 5120;
// Each write to the device carries at most this much.
inline constexpr DWORD kTransferChunk = 32768;
// The "DecompressFile" input buffer: two paths of up to 259 characters with their terminators.
inline constexpr DWORD kDecompressInputBytes = 1040;

// Calls `function` of `library` with `input` as a wide text; on success *output holds the
// answer read as a wide text (empty without one). On the desktop the library is loaded here; on
// the device the call goes through CeRapiInvoke.
bool callfunction(TransferTarget& target, const std::string& library, const std::string& function,
                  const std::string& input, std::string* output);

// The version of the target's "zzrapi.dll" (0: none usable, always 0 on the desktop), asked once.
long getzzversion(TransferTarget& target);

// The safe-to-delete name a compressed transfer writes to, for a tick count.
std::string TemporaryTransferName(DWORD ticks);

// Sends `size` bytes to `destination` on the device: compressed through "zzrapi.dll" when the
// file is large enough and the library is usable, otherwise as they are; a failed expansion is
// followed by one uncompressed transfer and no compression for the rest of the run. Progress
// is reported at `from` once the file is created and after each chunk up to `to`; with `from`
// -1 the data goes in one write without progress.
bool rapiwritefile(TransferTarget& target, const std::string& destination, const BYTE* data,
                   DWORD size, int from, int to);
