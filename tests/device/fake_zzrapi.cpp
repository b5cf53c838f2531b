// A "zzrapi.dll" that misbehaves: FAKE_ZZRAPI_FAIL answers version 1 and fails every expansion,
// FAKE_ZZRAPI_ZERO answers version "0", FAKE_ZZRAPI_SILENT fails the version call. Each call is
// counted in "\fake-calls.txt" on the device (V: version, D: expansion).
#include "platform/rapi.h"

#include <cstring>

namespace {

void Count(char what) {
    HANDLE file =
        CreateFileW(u"\\fake-calls.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, &what, 1, &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" HRESULT GetZZRAPIVersion(DWORD, BYTE* input, DWORD* outputSize, BYTE** output,
                                    IRAPIStream*) {
    Count('V');
    if (input != nullptr) LocalFree(input);
#ifdef FAKE_ZZRAPI_SILENT
    (void)outputSize;
    (void)output;
    return E_FAIL;
#else
#ifdef FAKE_ZZRAPI_ZERO
    static const char16_t kVersion[] = u"0";
#else
    static const char16_t kVersion[] = u"1";
#endif
    *output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, sizeof kVersion));
    std::memcpy(*output, kVersion, sizeof kVersion);
    *outputSize = sizeof kVersion;
    return S_OK;
#endif
}

extern "C" HRESULT DecompressFile(DWORD, BYTE* input, DWORD* outputSize, BYTE** output,
                                  IRAPIStream*) {
    Count('D');
    if (input != nullptr) LocalFree(input);
    *outputSize = 0;
    *output = nullptr;
    return static_cast<HRESULT>(ERROR_WRITE_FAULT);
}
