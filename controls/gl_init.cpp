#include "controls/gl_init.h"

#include "controls/gl_staticex.h"

#include <mutex>

namespace {

std::mutex g_initLock;
bool g_initialized = false;

} // namespace

BOOL ControlsInit(HINSTANCE instance) {
    std::lock_guard lock(g_initLock);
    if (g_initialized) return TRUE;
    if (!RegisterStaticEx(instance)) return FALSE;
    g_initialized = true;
    return TRUE;
}

BOOL AreControlsInitialized() {
    std::lock_guard lock(g_initLock);
    return g_initialized ? TRUE : FALSE;
}
