// Start-up of the dialog control library: registers its window classes. The animation
// controls (aux_control) need nothing of it.
#pragma once

#include "platform/base.h"

// Runs once per process: later calls only answer, unless the first one failed. False when a
// window class cannot be registered.
BOOL ControlsInit(HINSTANCE instance);
BOOL AreControlsInitialized();
