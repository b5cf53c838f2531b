// "uninstaller.dll" on the desktop: the remove-programs facility runs
// 'rundll32 "<maker folder>\uninstaller.dll",Uninstall <product>', and the setup program asks
// an installed copy for its version before replacing it.
#include "platform/rapi.h"
#include "setup/sl_uninst.h"

#include <cstdio>
#include <cstring>
#include <string>

#define UNINSTALLER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The command line carries the product name alone; blanks around it are not part of it, and
// a name in double quotes is taken without them.
std::string ProductFrom(const char* commandLine) {
    std::string text = commandLine != nullptr ? commandLine : "";
    std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t\r\n");
    text = text.substr(first, last - first + 1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

} // namespace

// The rundll32 entry. There is no window to report to here, so the outcome goes to the error
// output; the remove-programs facility sees it by the registration that stays or goes.
UNINSTALLER_EXPORT void Uninstall(HWND, HINSTANCE, LPSTR commandLine, int) {
    std::string product = ProductFrom(commandLine);
    if (product.empty()) {
        std::fprintf(stderr, "uninstaller: no product named on the command line\n");
        return;
    }
    if (!setuplib::Uninstall(product, nullptr)) {
        std::fprintf(stderr, "uninstaller: %s was not uninstalled\n", product.c_str());
    }
}

// A remote-API extension function: the version as decimal wide text with its terminator.
UNINSTALLER_EXPORT HRESULT GetUninstallVersion(DWORD, BYTE* input, DWORD* outputSize, BYTE** output,
                                               IRAPIStream*) {
    if (input != nullptr) LocalFree(input);
    if (outputSize == nullptr || output == nullptr) return E_INVALIDARG;
    static const char16_t kVersion[] = u"1";
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, sizeof kVersion));
    if (block == nullptr) return static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(block, kVersion, sizeof kVersion);
    *output = block;
    *outputSize = sizeof kVersion;
    return S_OK;
}
