// A stand-in for the maker's "uninstaller.dll": answers TEST_UNINSTALLER_VERSION to
// "GetUninstallVersion" and chains a hook call through "ChainAppHook" (hook library, function and
// product as three wide texts), answering 31 when the hook refuses.
#include "platform/rapi.h"

#include <cstring>
#include <string>

namespace {

HRESULT Answer(const char16_t* text, DWORD* outputSize, BYTE** output) {
    DWORD size = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * 2);
    *output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
    if (*output == nullptr) return E_FAIL;
    std::memcpy(*output, text, size);
    *outputSize = size;
    return S_OK;
}

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT
GetUninstallVersion(DWORD, BYTE* input, DWORD* outputSize, BYTE** output, IRAPIStream*) {
    if (input != nullptr) LocalFree(input);
    return Answer(TEST_UNINSTALLER_VERSION, outputSize, output);
}

extern "C" __attribute__((visibility("default"))) HRESULT
ChainAppHook(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output, IRAPIStream*) {
    *outputSize = 0;
    *output = nullptr;
    std::u16string parts[3];
    int part = 0;
    for (DWORD i = 0; input != nullptr && i + 1 < inputSize && part < 3; i += 2) {
        char16_t c;
        std::memcpy(&c, input + i, 2);
        if (c == 0) {
            ++part;
        } else {
            parts[part] += c;
        }
    }
    if (input != nullptr) LocalFree(input);
    if (part < 3) return E_INVALIDARG;
    HMODULE hook = LoadLibraryW(parts[0].c_str());
    if (hook == nullptr) return E_FAIL;
    using Hook = BOOL (*)(LPCWSTR);
    auto function = reinterpret_cast<Hook>(GetProcAddressW(hook, parts[1].c_str()));
    HRESULT result = function == nullptr ? E_FAIL : function(parts[2].c_str()) ? S_OK : 31;
    FreeLibrary(hook);
    return result;
}
