// A library for the tests: a rundll32 entry that writes down how it was called, and uninstall
// hooks that agree (PROBE_AGREE) or refuse (PROBE_REFUSE). Self-contained, so that it loads into
// any program.
#include "platform/types.h"

#include <cstdlib>
#include <fstream>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Note(const std::string& line) {
    if (const char* file = std::getenv("PROBE_RECORD"); file != nullptr && *file) {
        std::ofstream(file, std::ios::app) << line << "\n";
    }
}

} // namespace

PROBE_EXPORT void Record(HWND window, HINSTANCE instance, LPSTR commandLine, int show) {
    Note(std::string("[") + (commandLine != nullptr ? commandLine : "(null)") + "] window " +
         (window == nullptr ? "none" : "some") + " instance " +
         (instance == nullptr ? "none" : "some") + " show " + std::to_string(show));
}

PROBE_EXPORT BOOL OnUninstallBegin(LPCWSTR product) {
    Note("begin " + std::to_string(product != nullptr ? product[0] : 0));
#ifdef PROBE_REFUSE
    return FALSE;
#else
    return TRUE;
#endif
}

PROBE_EXPORT BOOL OnUninstallEnd(LPCWSTR) {
    Note("end");
    return TRUE;
}
