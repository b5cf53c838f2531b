// The device shell calls: the windows here are already what the program sized them to.
#include "platform/shell.h"

BOOL SHInitDialog(PSHINITDLGINFO info) {
    if (info == nullptr || !IsWindow(info->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL SHFullScreen(HWND hwnd, DWORD) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL SipShowIM(DWORD) {
    return TRUE;
}
