// The shared dialog module: message boxes that may be shown without blocking the caller,
// dialogs made from the template of the current language, and the trace routine.
//     Message(MB_YESNO, TEXT("Start a new game?"), TEXT("Tessark"));   // question icon added
//     Message(kMessageAsync, text, caption);                           // returns 0 at once
//     LocalizedDialogBox(125, owner, NewGameProc, 0);                  // 125 or 126 (Esperanto)
//     Trace(true, "Graphic::DrawTo called on invalid graphic (0x%08lX)", graphic);
#pragma once

#include "foundation/tl_string.h"
#include "platform/dlg.h"

// ---- Message boxes ----------------------------------------------------------------------------

// Added to the message-box flags: show the box on a thread of its own and return 0 at once.
constexpr UINT kMessageAsync = 0x80000000u;

// Shows a message box with the flags of MessageBox. A box without an icon gets the question
// icon when it offers more than a lone OK, the information icon otherwise. Returns the button
// pressed, or 0 for an asynchronous box (the box owns copies of the texts).
int Message(UINT flags, const string& text, const string& caption);
int Message(UINT flags, const TCHAR* text, const TCHAR* caption);

// ---- Dialogs by language ----------------------------------------------------------------------

// The template is resource base + current language index in the program's own module. Null
// (CreateLocalizedDialog) or -1 (LocalizedDialogBox) with the last error set when there is no
// such template or the dialog cannot be made.
HWND CreateLocalizedDialog(UINT baseId, HWND parent, DLGPROC proc, LPARAM param);
INT_PTR LocalizedDialogBox(UINT baseId, HWND owner, DLGPROC proc, LPARAM param);

// The platform calls behind the two above. A platform may lack the 16-bit form and report
// ERROR_CALL_NOT_IMPLEMENTED; creation then tries once more with the 8-bit form (the device,
// which has only the 16-bit form, repeats it). Tests replace them to play such a platform.
struct DialogCalls {
    HWND (*createWide)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM);
    HWND (*createNarrow)(HINSTANCE, LPCDLGTEMPLATEA, HWND, DLGPROC, LPARAM);
    INT_PTR (*boxWide)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM);
    INT_PTR (*boxNarrow)(HINSTANCE, LPCDLGTEMPLATEA, HWND, DLGPROC, LPARAM);
};
// Returns the calls in use before; the platform's own when `calls` is null.
DialogCalls SetDialogCalls(const DialogCalls* calls);

// ---- Trace ------------------------------------------------------------------------------------

// Receives every trace line (UTF-8, line break included) before it is written.
using TraceHook = void (*)(const char* line);
// Returns the previous hook; null removes it.
TraceHook SetTraceHook(TraceHook hook);

// The caption of the stopping question box.
constexpr char kTraceBoxCaption[] = "OK=Continue X=Quit";

// `toDebugger` true writes the text to the debugger output, with a line break added when it
// holds none. False shows it in an OK/Cancel box captioned kTraceBoxCaption: OK goes on,
// Cancel ends the program at once with exit code 0. The hook sees both kinds.
void TraceText(bool toDebugger, const string8& text);
void TraceText(bool toDebugger, const string16& text);

template <TextChar C, class... Args>
void Trace(bool toDebugger, const C* format, const Args&... args) {
    TraceText(toDebugger, TSFormat<C>(format, args...));
}
