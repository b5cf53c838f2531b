#include "engine/cea_viewer.h"

#include "platform/gdi.h"

#include <algorithm>

namespace {

struct Viewer {
    ViewerHandler handler;
    void* context;
};

LRESULT ViewerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The record sits in the user data: the 4 extra window bytes cannot hold a pointer here.
    auto* viewer = reinterpret_cast<Viewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCT*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_COMMAND && (LOWORD(wParam) == 1 || LOWORD(wParam) == 2)) {
        DestroyWindow(hwnd);
        return 0;
    } else if (viewer) {
        LRESULT result = 0;
        if (viewer->handler(hwnd, message, wParam, lParam, viewer->context, &result)) return result;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

} // namespace

void RunViewer(const TCHAR* className, const TCHAR* title, LONG clientWidth, LONG clientHeight,
               bool fitToScreen, ViewerHandler handler, void* context) {
    HINSTANCE instance = GetModuleHandle(nullptr);
    WNDCLASS wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = className;
    RegisterClass(&wc); // already registered by an earlier viewer is fine

    Viewer viewer{handler, context};
    const DWORD style = 0x80C80000; // pop-up with caption and system menu
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    if (fitToScreen) {
        clientWidth = std::min<LONG>(clientWidth, screenW);
        clientHeight = std::min<LONG>(clientHeight, screenH);
    }
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    if (fitToScreen) {
        w = std::min(w, screenW);
        h = std::min(h, screenH);
    }
    HWND hwnd = CreateWindowEx(0, className, title, style, (screenW - w) / 2, (screenH - h) / 2, w,
                               h, nullptr, nullptr, instance, &viewer);
    if (!hwnd) return;
    ShowWindow(hwnd, SW_SHOW);
    MSG msg;
    while (IsWindow(hwnd) && GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}
