// Shared between the controls and the dialog manager.
#pragma once

#include "platform/gdi.h"
#include "platform/user.h"

#include <string>
#include <vector>

namespace platform::dlg {

LRESULT ButtonWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ButtonMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

std::u16string TextOf(HWND hwnd);
std::vector<HWND> ChildrenOf(HWND parent);
bool IsClass(HWND hwnd, const char16_t* name);
DWORD StyleOf(HWND hwnd);
// The button type of a "Button" window, or -1 for any other window.
int ButtonType(HWND hwnd);
// The auto radio buttons that share a WS_GROUP group with `button` (itself included).
std::vector<HWND> RadioGroupOf(HWND button);
// The font a dialog's controls use when they were given none.
HFONT DefaultDialogFont();

} // namespace platform::dlg

namespace platform::dlg {
void InflateRectBy(RECT& r, int dx, int dy);
void OffsetRectBy(RECT& r, int dx, int dy);
} // namespace platform::dlg

namespace platform::dlg {
// The message box's icon is a static that draws one of four built-in pictures.
bool IsMessageBoxIcon(HWND control);
void DrawMessageBoxIcon(HWND control, HDC hdc);
} // namespace platform::dlg
