// The setup library: the connection to a palm-size PC and one install toolkit per target, the
// desktop's from the start and the device's once a device is connected.
#pragma once

#include "setup/sl_toolkit.h"

struct RAPI;

namespace setuplib {
// Writes one trace line of the library to the debugger output.
void TraceLine(const char* line);
} // namespace setuplib

class SetupLib {
public:
    // Connects for up to 500 ms. `rapiLibrary` replaces "rapi.dll"; null makes a library for the
    // desktop alone, which never looks for a device.
    SetupLib();
    explicit SetupLib(const char* rapiLibrary);
    SetupLib(const SetupLib&) = delete;
    SetupLib& operator=(const SetupLib&) = delete;
    ~SetupLib();

    // Tries to connect for `timeout` ms unless already connected; 0 only reports the state.
    bool connectdevice(DWORD timeout);

    SetupToolkit* desktop() const;
    // Null until a device is connected.
    SetupToolkit* device() const;
    RAPI* connection() const;

    // The library's debug output (lines beginning "setuplib:"), printf-style.
    void Trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));

private:
    struct m_t;
    m_t* m_;
};
