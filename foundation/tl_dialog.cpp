#include "foundation/tl_dialog.h"

#include "platform/base.h"

#include <atomic>

namespace {

std::atomic<TraceHook> traceHook{nullptr};

template <TextChar C>
void Write(const TString<C>& text) {
    TString<C> line(text);
    bool hasBreak = false;
    for (std::size_t i = 0; i < line.length(); ++i)
        if (line.c_str()[i] == C('\n')) hasBreak = true;
    if (!hasBreak) line.append("\n");
    if (TraceHook hook = traceHook.load()) {
        string8 narrow(line);
        hook(narrow.c_str());
    }
    if constexpr (std::is_same_v<C, char>)
        OutputDebugStringA(line.c_str());
    else
        OutputDebugStringW(line.c_str());
}

} // namespace

TraceHook SetTraceHook(TraceHook hook) {
    return traceHook.exchange(hook);
}

void TraceText(bool, const string8& text) {
    Write(text);
}

void TraceText(bool, const string16& text) {
    Write(text);
}
