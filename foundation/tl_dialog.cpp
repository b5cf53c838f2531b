#include "foundation/tl_dialog.h"

#include "foundation/language.h"
#include "platform/base.h"
#include "platform/resource.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// ---- Message boxes ----------------------------------------------------------------------------

struct MESSAGE_PARAMS {
    UINT flags;
    string caption;
    string text;
};

int Show(MESSAGE_PARAMS* params) {
    int pressed = MessageBox(nullptr, params->text.c_str(), params->caption.c_str(), params->flags);
    MemDelete(params, MM("MESSAGE_PARAMS"));
    return pressed;
}

DWORD WINAPI ShowOnOwnThread(LPVOID parameter) {
    Show(static_cast<MESSAGE_PARAMS*>(parameter));
    return 0;
}

// ---- Dialogs ----------------------------------------------------------------------------------

HWND CreateWide(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND parent, DLGPROC proc, LPARAM param) {
    return CreateDialogIndirectParamW(instance, tpl, parent, proc, param);
}
HWND CreateNarrow(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND parent, DLGPROC proc,
                  LPARAM param) {
    return CreateDialogIndirectParamA(instance, tpl, parent, proc, param);
}
INT_PTR BoxWide(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND owner, DLGPROC proc, LPARAM param) {
    return DialogBoxIndirectParamW(instance, tpl, owner, proc, param);
}
INT_PTR BoxNarrow(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND owner, DLGPROC proc, LPARAM param) {
    return DialogBoxIndirectParamA(instance, tpl, owner, proc, param);
}

constexpr DialogCalls kPlatformCalls{CreateWide, CreateNarrow, BoxWide, BoxNarrow};

std::mutex callsLock;
DialogCalls calls = kPlatformCalls;

DialogCalls CurrentCalls() {
    std::lock_guard hold(callsLock);
    return calls;
}

// The template of `baseId` in the current language, checked whole against its resource size
// so that the platform, which reads a template handed in directly up to its own counts, never
// reads past a damaged one.
const DLGTEMPLATE* FindTemplate(UINT baseId) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindOwnResource(LocalizedResourceId(baseId), 5u /* RT_DIALOG */, &data, &size)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    platform::resource::DialogTemplate parsed;
    if (!platform::resource::ParseDialogTemplate(data, size, &parsed)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return static_cast<const DLGTEMPLATE*>(data);
}

// ---- Trace ------------------------------------------------------------------------------------

std::atomic<TraceHook> traceHook{nullptr};

template <TextChar C>
TString<C> WithBreak(const TString<C>& text) {
    TString<C> line(text);
    for (std::size_t i = 0; i < line.length(); ++i)
        if (line.c_str()[i] == C('\n')) return line;
    line.append("\n");
    return line;
}

template <TextChar C>
void Write(bool toDebugger, const TString<C>& text) {
    if (!toDebugger) {
        if (TraceHook hook = traceHook.load()) hook(string8(WithBreak(text)).c_str());
        if (Message(MB_OKCANCEL | MB_ICONINFORMATION, string(text), string(kTraceBoxCaption)) ==
            IDCANCEL) {
            // The person asked to quit here; nothing after this point may run.
            std::fflush(nullptr);
            std::_Exit(0);
        }
        return;
    }
    TString<C> line = WithBreak(text);
    if (TraceHook hook = traceHook.load()) hook(string8(line).c_str());
    if constexpr (std::is_same_v<C, char>)
        OutputDebugStringA(line.c_str());
    else
        OutputDebugStringW(line.c_str());
}

} // namespace

int Message(UINT flags, const string& text, const string& caption) {
    return Message(flags, text.c_str(), caption.c_str());
}

int Message(UINT flags, const TCHAR* text, const TCHAR* caption) {
    auto* params = new (MM("MESSAGE_PARAMS")) MESSAGE_PARAMS{flags, caption, text};
    if ((params->flags & MB_ICONMASK) == 0)
        params->flags |= (params->flags & MB_TYPEMASK) != 0 ? MB_ICONQUESTION : MB_ICONINFORMATION;
    if ((params->flags & kMessageAsync) == 0) return Show(params);
    params->flags &= ~kMessageAsync;
    HANDLE thread = CreateThread(nullptr, 0, ShowOnOwnThread, params, 0, nullptr);
    if (thread == nullptr) {
        // Better a box that blocks than a message nobody sees.
        Show(params);
        return 0;
    }
    CloseHandle(thread);
    return 0;
}

DialogCalls SetDialogCalls(const DialogCalls* replacement) {
    std::lock_guard hold(callsLock);
    DialogCalls previous = calls;
    calls = replacement != nullptr ? *replacement : kPlatformCalls;
    return previous;
}

HWND CreateLocalizedDialog(UINT baseId, HWND parent, DLGPROC proc, LPARAM param) {
    const DLGTEMPLATE* tpl = FindTemplate(baseId);
    if (tpl == nullptr) return nullptr;
    const DialogCalls use = CurrentCalls();
    HINSTANCE instance = LanguageModule();
    SetLastError(ERROR_SUCCESS);
    HWND dialog = use.createWide(instance, tpl, parent, proc, param);
    if (dialog == nullptr && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
#ifdef TESSARK_DEVICE
        dialog = use.createWide(instance, tpl, parent, proc, param);
#else
        dialog = use.createNarrow(instance, tpl, parent, proc, param);
#endif
    }
    return dialog;
}

INT_PTR LocalizedDialogBox(UINT baseId, HWND owner, DLGPROC proc, LPARAM param) {
    const DLGTEMPLATE* tpl = FindTemplate(baseId);
    if (tpl == nullptr) return -1;
    const DialogCalls use = CurrentCalls();
    HINSTANCE instance = LanguageModule();
    SetLastError(ERROR_SUCCESS);
    INT_PTR result = use.boxWide(instance, tpl, owner, proc, param);
    if (result == -1 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
#ifdef TESSARK_DEVICE
        result = use.boxWide(instance, tpl, owner, proc, param);
#else
        result = use.boxNarrow(instance, tpl, owner, proc, param);
#endif
    }
    return result;
}

TraceHook SetTraceHook(TraceHook hook) {
    return traceHook.exchange(hook);
}

void TraceText(bool toDebugger, const string8& text) {
    Write(toDebugger, text);
}

void TraceText(bool toDebugger, const string16& text) {
    Write(toDebugger, text);
}
