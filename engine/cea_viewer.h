// The debug viewers' window (Graphic::Show, PaletteGroup::Show): a pop-up with a caption,
// centred on the screen, run modally until it is closed by its close box or by command 1 or 2.
#pragma once

#include "platform/user.h"

// Handles one message of the viewer; returns true when it produced `result`, false to leave the
// message to the default processing.
using ViewerHandler = bool (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, void* context,
                               LRESULT* result);

// Opens the viewer with a client area of the given size, shrunk to fit the screen when asked,
// and returns when its window is gone.
void RunViewer(const TCHAR* className, const TCHAR* title, LONG clientWidth, LONG clientHeight,
               bool fitToScreen, ViewerHandler handler, void* context);
