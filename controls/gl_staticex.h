// Extended static text for dialogs: a child window class, "StaticEx", that shows its text in a
// colour of its own, or draws an etched line or frame, on a face of its own colour.
//     CONTROL "Level", 1040, "StaticEx", SS_CENTER, 8, 8, 80, 10      (in a dialog template)
//     SendDlgItemMessage(dialog, 1040, SXM_SETTEXTCOLOR, RGB(0, 0, 128), 0);
#pragma once

#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/user.h"

#define STATICEX_CLASS TEXT("StaticEx")

// Styles besides the static alignment styles (SS_LEFT, SS_CENTER, SS_RIGHT) and SS_NOPREFIX:
// instead of text, an etched line along the top, along the left, or all round.
constexpr DWORD kStaticExEtchedHorz = 0x10;
constexpr DWORD kStaticExEtchedVert = 0x11;
constexpr DWORD kStaticExEtchedFrame = 0x12;

// wParam = the colour; both answer the colour they replace. A background of all ones is the
// dialog face (the default); the text starts as the window-text colour.
constexpr UINT SXM_SETTEXTCOLOR = WM_USER + 1;
constexpr UINT SXM_SETBKCOLOR = WM_USER + 2;

// Registers the class for `instance` (global to the process). False when it cannot.
BOOL RegisterStaticEx(HINSTANCE instance);
