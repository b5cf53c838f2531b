// Drawing a window and its controls into a bitmap: what WM_PAINT of the controls shows, usable
// for screenshots and tests without a screen.
#include "platform/core/control_internal.h"

namespace platform::dlg {

void DrawWindowTree(HWND hwnd, HBITMAP target, int x, int y) {
    if (!IsWindow(hwnd) || target == nullptr) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    RECT area{x, y, x + client.right, y + client.bottom};
    HDC dc = gdi::CreateSurfaceDC(target, &area);
    if (dc == nullptr) return;
    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND));
    if (brush != nullptr) {
        FillRect(dc, &client, brush);
    } else if (!(StyleOf(hwnd) & WS_CHILD)) {
        FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
    }
    DrawControl(hwnd, dc);
    DeleteDC(dc);
    for (HWND child : ChildrenOf(hwnd)) {
        if (!(StyleOf(child) & WS_VISIBLE)) continue;
        POINT origin{0, 0};
        MapWindowPoints(child, hwnd, &origin, 1);
        DrawWindowTree(child, target, x + origin.x, y + origin.y);
    }
}

} // namespace platform::dlg
