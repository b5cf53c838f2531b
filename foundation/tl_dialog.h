// Trace output of both programs. A trace line goes to the debugger (OutputDebugString) with a
// line break added when it has none. Tests and tools can watch the lines through a hook.
//     Trace(true, "Graphic::DrawTo called on invalid graphic (0x%08lX)", graphic);
#pragma once

#include "foundation/tl_string.h"

// Receives every trace line (UTF-8, line break included) before it is written.
using TraceHook = void (*)(const char* line);
// Returns the previous hook; null removes it.
TraceHook SetTraceHook(TraceHook hook);

// Writes a formatted line. `toDebugger` false asks for the stopping question box, which needs
// the window layer; until it is there such lines go to the debugger as well.
void TraceText(bool toDebugger, const string8& text);
void TraceText(bool toDebugger, const string16& text);

template <TextChar C, class... Args>
void Trace(bool toDebugger, const C* format, const Args&... args) {
    TraceText(toDebugger, TSFormat<C>(format, args...));
}
