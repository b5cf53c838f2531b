// Dialogs built from templates, the standard button and static controls, and message boxes.
// Dialog state lives beside the window, so any class whose procedure passes unhandled messages
// to DefDlgProc can be a dialog class.
#pragma once

#include "platform/resource.h"
#include "platform/user.h"

#include <string>

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using LPCDLGTEMPLATEW = const DLGTEMPLATE*;
using LPCDLGTEMPLATEA = const DLGTEMPLATE*;
using LPCDLGTEMPLATE = const DLGTEMPLATE*;

// ---- Messages ---------------------------------------------------------------------------------
#define WM_NEXTDLGCTL 0x0028
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_GETDLGCODE 0x0087
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B

#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

// ---- Button and static styles, states, notifications --------------------------------------------
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_3STATE 0x00000005L
#define BS_AUTO3STATE 0x00000006L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define BS_LEFTTEXT 0x00000020L
#define BS_LEFT 0x00000100L
#define BS_RIGHT 0x00000200L
#define BS_CENTER 0x00000300L
#define BS_TOP 0x00000400L
#define BS_BOTTOM 0x00000800L
#define BS_VCENTER 0x00000C00L
#define BS_MULTILINE 0x00002000L
#define BS_NOTIFY 0x00004000L
#define BS_FLAT 0x00008000L

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008

#define BN_CLICKED 0

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L

// Dialog window words: the bytes a dialog class reserves with DLGWINDOWEXTRA.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
#define DLGWINDOWEXTRA 48

// ---- Message boxes ----------------------------------------------------------------------------
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

// ---- Dialogs ----------------------------------------------------------------------------------
// Templates are read up to their last item; a template handed in directly must be whole.
HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND parent, DLGPROC proc,
                                LPARAM param);
HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND parent, DLGPROC proc,
                                LPARAM param);
// Runs its own message loop with the owner disabled; returns EndDialog's result, or -1 when
// the dialog could not be made.
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND owner, DLGPROC proc,
                                LPARAM param);
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND owner, DLGPROC proc,
                                LPARAM param);
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param);
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param);
// Ends a modal dialog's loop; hides a modeless dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProcW(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefDlgProcA(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Handles the dialog keys (Tab, arrows in a group, Enter, Escape, space) of a message meant
// for `dialog` or one of its controls; TRUE when the message was used up.
BOOL IsDialogMessageW(HWND dialog, LPMSG msg);
BOOL IsDialogMessageA(HWND dialog, LPMSG msg);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
// Dialog units to pixels by the dialog's font.
BOOL MapDialogRect(HWND dialog, LPRECT rect);
// Average character width (low word) and height (high word) of "MS Shell Dlg" 8.
LONG GetDialogBaseUnits();

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
// Checks `check` and clears every other button from `first` to `last`.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
UINT IsDlgButtonChecked(HWND dialog, int id);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);

// A modal dialog; under the null driver it answers at once (see platform::dlg).
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

#ifdef UNICODE
#define CreateDialogIndirectParam CreateDialogIndirectParamW
#define DialogBoxIndirectParam DialogBoxIndirectParamW
#define CreateDialogParam CreateDialogParamW
#define DialogBoxParam DialogBoxParamW
#define DefDlgProc DefDlgProcW
#define IsDialogMessage IsDialogMessageW
#define SetDlgItemText SetDlgItemTextW
#define GetDlgItemText GetDlgItemTextW
#define SendDlgItemMessage SendDlgItemMessageW
#define MessageBox MessageBoxW
#else
#define CreateDialogIndirectParam CreateDialogIndirectParamA
#define DialogBoxIndirectParam DialogBoxIndirectParamA
#define CreateDialogParam CreateDialogParamA
#define DialogBoxParam DialogBoxParamA
#define DefDlgProc DefDlgProcA
#define IsDialogMessage IsDialogMessageA
#define SetDlgItemText SetDlgItemTextA
#define GetDlgItemText GetDlgItemTextA
#define SendDlgItemMessage SendDlgItemMessageA
#define MessageBox MessageBoxA
#endif

namespace platform::dlg {

// Where a message box's answer comes from when no person is there. The hook sees the box (its
// buttons are its children) and returns the id of the button to press, or 0 to leave the box
// to the user. Queued answers (from an input script) come first; under the null driver without
// either, the first button answers.
using MessageBoxAnswer = int (*)(HWND box, UINT type);
void SetMessageBoxAnswer(MessageBoxAnswer hook);
void QueueMessageBoxAnswer(int id);
void ClearMessageBoxAnswers();

// How the controls look, as functions of their state, so they can be drawn anywhere.
struct ButtonLook {
    DWORD style = 0;
    std::u16string text;
    UINT state = 0; // BST_ flags
    bool enabled = true;
    bool isDefault = false; // a push button that Enter would press
    HFONT font = nullptr;
};
void DrawButton(HDC hdc, const RECT& rect, const ButtonLook& look);
void DrawStatic(HDC hdc, const RECT& rect, DWORD style, const std::u16string& text, bool enabled,
                HFONT font);
// Draws a button or static control as it stands.
void DrawControl(HWND control, HDC hdc);
// Draws a window's client background and its visible child controls (recursively) into
// `target` with the client's top-left corner at (x, y).
void DrawWindowTree(HWND hwnd, HBITMAP target, int x, int y);

} // namespace platform::dlg
