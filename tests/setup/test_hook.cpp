// An uninstall hook that answers TEST_HOOK_ANSWER to "OnUninstallBegin" and records each call in
// "\hook-calls.txt" of the machine it runs on: "B" or "E", then the product name and a line feed.
#include "platform/base.h"

#include <string>

namespace {

void Record(char what, LPCWSTR product) {
    HANDLE file =
        CreateFileW(u"\\hook-calls.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    std::string line(1, what);
    for (LPCWSTR c = product; c != nullptr && *c != 0; ++c)
        line += *c < 128 ? static_cast<char>(*c) : '?';
    line += '\n';
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" __attribute__((visibility("default"))) BOOL OnUninstallBegin(LPCWSTR product) {
    Record('B', product);
    return TEST_HOOK_ANSWER;
}

extern "C" __attribute__((visibility("default"))) BOOL OnUninstallEnd(LPCWSTR product) {
    Record('E', product);
    return TRUE;
}
