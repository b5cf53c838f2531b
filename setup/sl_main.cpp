#include "setup/sl_main.h"

#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "setup/rapi.h"

#include <cstdarg>
#include <cstdio>

namespace setuplib {

void TraceLine(const char* line) {
    TraceText(true, string8(line));
}

} // namespace setuplib

struct SetupLib::m_t {
    const char* library = "rapi.dll";
    RAPI* rapi = nullptr;
    SetupToolkit* desktop = nullptr;
    SetupToolkit* device = nullptr;
};

SetupLib::SetupLib() : SetupLib("rapi.dll") {}

SetupLib::SetupLib(const char* rapiLibrary) : m_(new (MM("SetupLib_m_t")) m_t) {
    m_->library = rapiLibrary;
    Trace("setuplib: constructing library");
    m_->desktop = new (MM("SetupToolkit")) SetupToolkit(*this, nullptr);
    connectdevice(500);
    Trace("setuplib: library constructed successfully");
}

SetupLib::~SetupLib() {
    Trace("setuplib: destroying library");
    // The toolkits go first: an open journal may still be written to the device.
    MemDelete(m_->device, MM("SetupToolkit"));
    MemDelete(m_->desktop, MM("SetupToolkit"));
    Disconnect(m_->rapi);
    Trace("setuplib: library destroyed");
    MemDelete(m_, MM("SetupLib_m_t"));
}

bool SetupLib::connectdevice(DWORD timeout) {
    if (timeout != 0 && m_->rapi == nullptr && m_->library != nullptr) {
        m_->rapi = ConnectLibrary(m_->library, timeout);
        if (m_->rapi != nullptr) {
            m_->device = new (MM("SetupToolkit")) SetupToolkit(*this, m_->rapi);
        }
    }
    return m_->rapi != nullptr;
}

SetupToolkit* SetupLib::desktop() const {
    return m_->desktop;
}

SetupToolkit* SetupLib::device() const {
    return m_->device;
}

RAPI* SetupLib::connection() const {
    return m_->rapi;
}

void SetupLib::Trace(const char* format, ...) const {
    char line[1200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    setuplib::TraceLine(line);
}
