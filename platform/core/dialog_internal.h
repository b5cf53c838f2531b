// The dialog manager's own entry points, shared with the message box.
#pragma once

#include "platform/resource.h"
#include "platform/user.h"

#include <functional>

namespace platform::dlg {

// Makes a dialog from a parsed template; for a modal dialog it stays hidden and the owner
// stays as it was, for `RunModal` to show it. Null (with the last error set) on failure.
HWND CreateFromTemplate(HINSTANCE instance, const resource::DialogTemplate& tpl, HWND parent,
                        DLGPROC proc, LPARAM param, bool modal);
// Shows a dialog made for a modal run, disables the owner and runs the loop until EndDialog;
// `shown` runs once the dialog is up, before the loop.
INT_PTR RunModal(HWND dialog, HWND owner, const std::function<void(HWND)>& shown = {});
// Average character width and height of a font, as dialog units use them.
SIZE BaseUnitsOf(HFONT font);

} // namespace platform::dlg
