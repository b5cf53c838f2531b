// The device shell calls the game makes about its main window. Windows here are sized by the
// program, so each call only answers that it succeeded.
#pragma once

#include "platform/user.h"

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001

struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
using PSHINITDLGINFO = SHINITDLGINFO*;

// TRUE for a valid dialog window; the dialog keeps the size its program gives it.
BOOL SHInitDialog(PSHINITDLGINFO info);
// TRUE for a valid window; there is no task bar or input panel to hide.
BOOL SHFullScreen(HWND hwnd, DWORD state);
// TRUE; there is no software input panel.
BOOL SipShowIM(DWORD flags);
