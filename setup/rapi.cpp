#include "setup/rapi.h"

#include "foundation/memory.h"
#include "foundation/zz.h"
#include "platform/clock.h"

#include <cstdio>
#include <cstring>

namespace {

void (*g_trace)(const char* line) = nullptr;
void (*g_changeHook)() = nullptr;

void Trace(const char* line) {
    if (g_trace != nullptr) g_trace(line);
}

void TraceError(const char* format, long error) {
    char line[160];
    std::snprintf(line, sizeof line, format, error);
    Trace(line);
}

void SetupTrace(const TransferTarget& target, const char* format, const std::string& path) {
    if (target.trace == nullptr) return;
    char line[600];
    std::snprintf(line, sizeof line, format, path.c_str());
    target.trace(line);
}

// 64-bit, so large files do not overflow the product.
void Report(const TransferTarget& target, int from, int to, DWORD done, DWORD total) {
    if (target.progress == nullptr) return;
    int percent =
        total == 0 ? to : from + static_cast<int>(static_cast<long long>(to - from) * done / total);
    target.progress(target.progressContext, percent);
}

// Bytes of a wide text with its terminator, in a LocalAlloc block that CeRapiInvoke takes over.
BYTE* LocalText(const std::u16string& text, DWORD* size) {
    *size = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, *size));
    if (block != nullptr) std::memcpy(block, text.c_str(), *size);
    return block;
}

// An answer buffer read as a wide text: up to its first terminator or its last whole character.
std::string TextOf(const BYTE* buffer, DWORD size) {
    std::u16string text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        char16_t c;
        std::memcpy(&c, buffer + i, 2);
        if (c == 0) break;
        text += c;
    }
    return platform::Narrow(text);
}

} // namespace

void SetRapiTrace(void (*trace)(const char* line)) {
    g_trace = trace;
}

void SetChangeHook(void (*hook)()) {
    g_changeHook = hook;
}

void NoteChange() {
    if (g_changeHook != nullptr) g_changeHook();
}

RAPI* ConnectLibrary(const char* library, DWORD timeout) {
    Trace("rapi: initializing...");
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) {
        TraceError("rapi: failed to load rapi.dll; error %ld", static_cast<long>(GetLastError()));
        return nullptr;
    }
    RAPI* rapi = new (MM("RAPI")) RAPI;
    rapi->module = module;
    bool complete = true;
    // In table order, stopping at the first entry the library lacks.
#define TESSARK_RAPI_RESOLVE(kind, ret, name, params, args, fail)                                  \
    if (complete) {                                                                                \
        rapi->name = reinterpret_cast<PFN_##name>(GetProcAddressA(module, #name));                 \
        complete = rapi->name != nullptr;                                                          \
    }
    TESSARK_RAPI_ENTRIES(TESSARK_RAPI_RESOLVE)
#undef TESSARK_RAPI_RESOLVE
    if (!complete) {
        TraceError("rapi: failed to find functions in rapi.dll; error %ld",
                   static_cast<long>(GetLastError()));
        Disconnect(rapi);
        return nullptr;
    }
    RAPIINIT init;
    init.cbSize = 12;
    init.heRapiInit = nullptr;
    init.hrRapiInit = 0;
    Trace("rapi: calling CeRapiInitEx");
    HRESULT result = rapi->CeRapiInitEx(&init);
    if (result != 0) {
        TraceError("rapi: CeRapiInitEx failed; error %ld", static_cast<long>(result));
        Disconnect(rapi);
        return nullptr;
    }
    if (WaitForSingleObject(init.heRapiInit, timeout) == WAIT_OBJECT_0) {
        Trace("rapi: initialization succeeded");
        return rapi;
    }
    Trace("rapi: CeRapiInitEx timed out");
    Disconnect(rapi);
    return nullptr;
}

RAPI* Connect(DWORD timeout) {
    return ConnectLibrary("rapi.dll", timeout);
}

void Disconnect(RAPI* rapi) {
    if (rapi == nullptr) return;
    Trace("rapi: uninitializing");
    if (rapi->module != nullptr) {
        if (rapi->CeRapiUninit != nullptr) rapi->CeRapiUninit();
        FreeLibrary(rapi->module);
    }
    MemDelete(rapi, MM("RAPI"));
    Trace("rapi: uninitialization complete");
}

const char* ProcessorFolderName(unsigned architecture) {
    switch (architecture) {
    case PROCESSOR_ARCHITECTURE_MIPS:
        return "mips";
    case PROCESSOR_ARCHITECTURE_PPC:
        return "ppc";
    case PROCESSOR_ARCHITECTURE_SHX:
        return "shx";
    case PROCESSOR_ARCHITECTURE_ARM:
        return "arm";
    default:
        return "unknown";
    }
}

const char* DeviceProcessorName(RAPI* rapi) {
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    // A call that fails leaves a value no processor has.
    info.wProcessorArchitecture = 0xFFFF;
    CeGetSystemInfo(rapi, &info);
    return ProcessorFolderName(info.wProcessorArchitecture);
}

bool callfunction(TransferTarget& target, const std::string& library, const std::string& function,
                  const std::string& input, std::string* output) {
    output->clear();
    DWORD inputSize = 0;
    BYTE* inputBlock = LocalText(platform::Widen(input), &inputSize);
    if (inputBlock == nullptr) return false;
    DWORD outputSize = 0;
    BYTE* outputBlock = nullptr;
    bool success = false;
    if (target.rapi == nullptr) {
        HMODULE module = LoadLibraryA(library.c_str());
        auto entry =
            module != nullptr
                ? reinterpret_cast<RapiExtensionFunction>(GetProcAddressA(module, function.c_str()))
                : nullptr;
        // The extension function takes over its input, as on the device.
        if (entry != nullptr) {
            success = entry(inputSize, inputBlock, &outputSize, &outputBlock, nullptr) == 0;
        } else {
            LocalFree(inputBlock);
        }
        if (success && outputBlock != nullptr) *output = TextOf(outputBlock, outputSize);
        if (outputBlock != nullptr) LocalFree(outputBlock);
        if (module != nullptr) FreeLibrary(module);
        return success;
    }
    std::u16string wideLibrary = platform::Widen(library);
    std::u16string wideFunction = platform::Widen(function);
    success = CeRapiInvoke(target.rapi, wideLibrary.c_str(), wideFunction.c_str(), inputSize,
                           inputBlock, &outputSize, &outputBlock, nullptr, 0) == 0;
    if (success && outputBlock != nullptr) *output = TextOf(outputBlock, outputSize);
    if (outputBlock != nullptr) LocalFree(outputBlock);
    return success;
}

long getzzversion(TransferTarget& target) {
    if (target.rapi == nullptr) return 0;
    if (target.zzVersion == -1) {
        std::string answer;
        // No answer counts as the answer "0".
        bool answered = callfunction(target, target.makerFolder + "\\zzrapi.dll",
                                     "GetZZRAPIVersion", "", &answer);
        // A decimal number, as far as it goes; anything else reads as 0.
        long version = 0;
        for (char c : answered ? answer : std::string()) {
            if (c < '0' || c > '9' || version > 100000000) break;
            version = version * 10 + (c - '0');
        }
        target.zzVersion = version;
    }
    return target.zzVersion;
}

std::string TemporaryTransferName(DWORD ticks) {
    char name[64];
    std::snprintf(name, sizeof name, "\\This File Is Safe To Delete (#%ld)",
                  static_cast<long>(ticks));
    return name;
}

namespace {

enum class Upload { Done, NotCreated, NotWritten };

// Creates `path` on the device (attributes cleared, replacing it) and writes `data` in chunks.
Upload UploadFile(TransferTarget& target, const std::u16string& path, const std::string& shownPath,
                  const BYTE* data, DWORD size, int from, int to) {
    RAPI* rapi = target.rapi;
    CeSetFileAttributes(rapi, path.c_str(), 0);
    NoteChange();
    HANDLE file =
        CeCreateFile(rapi, path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    NoteChange();
    if (file == INVALID_HANDLE_VALUE) {
        SetupTrace(target, "setuplib: rapi writefile failed to create %s\n", shownPath);
        return Upload::NotCreated;
    }
    bool ok = true;
    if (from == -1) {
        DWORD written = 0;
        ok = CeWriteFile(rapi, file, data, size, &written, nullptr) && written == size;
        NoteChange();
    } else {
        Report(target, from, to, 0, size == 0 ? 1 : size);
    }
    DWORD done = 0;
    while (from != -1 && ok && done < size) {
        DWORD piece = size - done < kTransferChunk ? size - done : kTransferChunk;
        DWORD written = 0;
        ok = CeWriteFile(rapi, file, data + done, piece, &written, nullptr) && written == piece;
        NoteChange();
        done += written;
        Report(target, from, to, done, size);
    }
    ok = CeCloseHandle(rapi, file) && ok;
    return ok ? Upload::Done : Upload::NotWritten;
}

} // namespace

bool rapiwritefile(TransferTarget& target, const std::string& destination, const BYTE* data,
                   DWORD size, int from, int to) {
    const std::u16string wideDestination = platform::Widen(destination);
    for (;;) {
        const std::string temporary = TemporaryTransferName(GetTickCount());
        const std::u16string wideTemporary = platform::Widen(temporary);
        DWORD inputSize = static_cast<DWORD>(
            (wideTemporary.size() + 1 + wideDestination.size() + 1) * sizeof(char16_t));
        BYTE* block = nullptr;
        DWORD blockSize = 0;
        // A destination too long for the expansion's input buffer travels as it is.
        bool compressed = size > kCompressAbove && inputSize <= kDecompressInputBytes &&
                          getzzversion(target) > 0 && zzcompress(&block, &blockSize, data, size);
        Upload sent = compressed
                          ? UploadFile(target, wideTemporary, temporary, block, blockSize, from, to)
                          : UploadFile(target, wideDestination, destination, data, size, from, to);
        if (sent != Upload::Done || !compressed) {
            zzfree(block);
            if (sent == Upload::NotWritten) {
                SetupTrace(target, "setuplib: writefile failed to write %s\n", destination);
            }
            return sent == Upload::Done;
        }
        auto* input = static_cast<BYTE*>(LocalAlloc(LPTR, kDecompressInputBytes));
        HRESULT result = E_FAIL;
        if (input != nullptr) {
            std::memcpy(input, wideTemporary.c_str(), (wideTemporary.size() + 1) * 2);
            std::memcpy(input + (wideTemporary.size() + 1) * 2, wideDestination.c_str(),
                        (wideDestination.size() + 1) * 2);
            std::u16string library = platform::Widen(target.makerFolder + "\\zzrapi.dll");
            DWORD outputSize = 0;
            BYTE* output = nullptr;
            // The input block belongs to the call from here on.
            result = CeRapiInvoke(target.rapi, library.c_str(), u"DecompressFile", inputSize, input,
                                  &outputSize, &output, nullptr, 0);
            NoteChange();
            if (output != nullptr) LocalFree(output);
        }
        zzfree(block);
        if (result == 0) return true;
        // The device could not expand it: once more as it is, and no compression from now on.
        target.zzVersion = 0;
    }
}
