#include "controls/gl_staticex.h"

#include "foundation/memory.h"

namespace {

// Window words: the font, the text colour, the background colour.
constexpr int kFontWord = 0;
constexpr int kTextWord = static_cast<int>(sizeof(LONG_PTR));
constexpr int kBackWord = static_cast<int>(2 * sizeof(LONG_PTR));
constexpr COLORREF kFace = 0xFFFFFFFF;

COLORREF Word(HWND hwnd, int index) {
    return static_cast<COLORREF>(GetWindowLongPtr(hwnd, index));
}

LRESULT SwapColour(HWND hwnd, int index, WPARAM colour) {
    LRESULT old = static_cast<LRESULT>(Word(hwnd, index));
    SetWindowLongPtr(hwnd, index, static_cast<LONG_PTR>(static_cast<COLORREF>(colour)));
    InvalidateRect(hwnd, nullptr, TRUE);
    return old;
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    const COLORREF back = Word(hwnd, kBackWord);
    HBRUSH brush = CreateSolidBrush(back == kFace ? GetSysColor(COLOR_BTNFACE) : back);
    FillRect(dc, &client, brush);
    DeleteObject(brush);

    const DWORD style = static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
    const DWORD type = style & SS_TYPEMASK;
    if (type == kStaticExEtchedHorz || type == kStaticExEtchedVert) {
        RECT line = client;
        if (type == kStaticExEtchedHorz)
            line.bottom = line.top + 2;
        else
            line.right = line.left + 2;
        DrawEdge(dc, &line, EDGE_ETCHED, type == kStaticExEtchedHorz ? BF_TOP : BF_LEFT);
    } else if (type == kStaticExEtchedFrame) {
        DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
    } else if (int length = GetWindowTextLength(hwnd); length > 0) {
        auto* text = static_cast<TCHAR*>(MemAlloc((length + 1) * sizeof(TCHAR), MM("STATICEX")));
        if (text) {
            length = GetWindowText(hwnd, text, length + 1);
            const int saved = SaveDC(dc);
            auto font = reinterpret_cast<HGDIOBJ>(GetWindowLongPtr(hwnd, kFontWord));
            SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
            SetTextColor(dc, IsWindowEnabled(hwnd) ? Word(hwnd, kTextWord)
                                                   : GetSysColor(COLOR_GRAYTEXT));
            SetBkMode(dc, TRANSPARENT);
            UINT format = DT_WORDBREAK | DT_EXPANDTABS;
            if (type == SS_CENTER) format |= DT_CENTER;
            if (type == SS_RIGHT) format |= DT_RIGHT;
            if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
            DrawText(dc, text, length, &client, format);
            RestoreDC(dc, saved);
            MemFree(text, MM("STATICEX"));
        }
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK StaticExProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtr(hwnd, kTextWord, static_cast<LONG_PTR>(GetSysColor(COLOR_WINDOWTEXT)));
        SetWindowLongPtr(hwnd, kBackWord, static_cast<LONG_PTR>(kFace));
        return 0;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint fills the whole client area
    case WM_SETTEXT: {
        LRESULT result = DefWindowProc(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETFONT:
        SetWindowLongPtr(hwnd, kFontWord, static_cast<LONG_PTR>(wParam));
        if (lParam) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtr(hwnd, kFontWord);
    case SXM_SETTEXTCOLOR:
        return SwapColour(hwnd, kTextWord, wParam);
    case SXM_SETBKCOLOR:
        return SwapColour(hwnd, kBackWord, wParam);
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

} // namespace

BOOL RegisterStaticEx(HINSTANCE instance) {
    WNDCLASS wc{};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = StaticExProc;
    wc.cbWndExtra = 3 * sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = STATICEX_CLASS;
    return RegisterClass(&wc) != 0 ? TRUE : FALSE;
}
