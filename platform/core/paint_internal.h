// Private to the window core, the drawing layer and the drivers: window surfaces, update
// regions, window shapes and the cursor.
//
// Locking: the painting lock sits between the window state lock and the drawing layer's lock
// (state, then painting, then drawing); code holding it never takes the state lock.
#pragma once

#include "platform/gdi.h"
#include "platform/user.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::wm {

// GetDC(hwnd): a context on the window's client area. ReleaseDC tells the window core first,
// before it takes the drawing lock.
HDC WindowDC(HWND hwnd);
void WindowDCReleased(HDC hdc);
// Something was drawn through a context of the window (released or painted).
void WindowDrawn(HWND hwnd);
// The window core reports geometry and visibility changes so that uncovered areas repaint.
// `oldRect` is the window's previous rectangle in its parent's client coordinates.
void WindowShown(HWND hwnd, bool shown, const RECT& rect);
void WindowMoved(HWND hwnd, const RECT& oldRect, bool sized, bool redraw);
void PaintForget(HWND hwnd);
// A top-level window's caption or activation changed: its frame is drawn again.
void FrameChanged(HWND hwnd);
// Whether a point in window coordinates lies inside the window's shape (always, without one).
bool ShapeContains(HWND hwnd, POINT windowPoint);
// DefWindowProc's share: WM_PAINT, WM_ERASEBKGND, WM_GETMINMAXINFO.
LRESULT DefaultPaintMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Fills the defaults and asks the window (WM_GETMINMAXINFO).
void QueryMinMaxInfo(HWND hwnd, MINMAXINFO* info);

// ---- For the drivers ---------------------------------------------------------------------------
struct TopWindow {
    HWND hwnd;
    RECT rect; // screen coordinates
    std::u16string title;
    bool visible;
};
// Top-level windows of this process, bottom of the Z order first.
std::vector<TopWindow> TopWindowsBottomUp();
// The surface the window draws into (created on demand); the handle stays valid while the
// window exists and its size does not change.
HBITMAP SurfaceOf(HWND top);
// A count that grows each time something is drawn in the window or its shape changes.
std::uint64_t DrawCount(HWND top);
// A copy of the window's shape (window coordinates), or null for a rectangular window.
HRGN CopyShape(HWND top);
// Composes the visible top-level windows onto the screen surface in Z order.
void ComposeScreen();
// Writes a surface (a window's or, for null, the screen) as a 24-bit BMP file.
bool SaveBitmapFile(HWND top, const char* path);
// The standard cursor id (IDC_ARROW's 32512 ...) last set, or 0 for none.
int CurrentCursorId();
int CursorIdOf(HCURSOR cursor);

} // namespace platform::wm
