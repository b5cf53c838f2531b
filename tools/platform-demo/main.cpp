// tessark-platform-demo: one window that paints a board, marks each click with a disc, writes
// typed letters in its status line and follows the pointer with a crosshair cursor.
// Headless: TESSARK_DRIVER=null TESSARK_SCRIPT=demo.script (see demo.script beside this file).
#include "platform/gdi.h"
#include "platform/user.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kCell = 20;
constexpr int kCells = 11;

std::vector<POINT> g_marks;
std::u16string g_typed;

// Further demo parts (the dialog of every control kind, the tone button) add their entries
// here: each gets a strip under the board and is called on a click inside it.
struct DemoPart {
    const char16_t* label;
    void (*onClick)(HWND window);
};
std::vector<DemoPart>& Parts() {
    static std::vector<DemoPart> parts;
    return parts;
}

void PaintBoard(HWND hwnd, HDC dc) {
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH back = CreateSolidBrush(RGB(236, 228, 208));
    FillRect(dc, &client, back);
    DeleteObject(back);
    HBRUSH light = CreateSolidBrush(RGB(222, 184, 135)), dark = CreateSolidBrush(RGB(160, 110, 60));
    for (int y = 0; y < kCells; ++y) {
        for (int x = 0; x < kCells; ++x) {
            RECT r{10 + x * kCell, 10 + y * kCell, 10 + (x + 1) * kCell, 10 + (y + 1) * kCell};
            FillRect(dc, &r, (x + y) % 2 ? dark : light);
        }
    }
    DeleteObject(light);
    DeleteObject(dark);
    HBRUSH disc = CreateSolidBrush(RGB(30, 60, 160));
    for (const POINT& p : g_marks) {
        // A disc of radius 7, one row at a time.
        for (int dy = -7; dy <= 7; ++dy) {
            int half = static_cast<int>(std::sqrt(49.0 - dy * dy) + 0.5);
            RECT row{p.x - half, p.y + dy, p.x + half + 1, p.y + dy + 1};
            FillRect(dc, &row, disc);
        }
    }
    DeleteObject(disc);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(40, 40, 40));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    std::u16string status =
        u"Clicks: " + std::u16string(1, u'0' + g_marks.size() % 10) + u"  Keys: " + g_typed;
    RECT line{10, 10 + kCells * kCell + 6, client.right - 10, client.bottom};
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(status.c_str()), -1, &line, DT_LEFT | DT_TOP);
    int y = line.top + 18;
    for (const DemoPart& part : Parts()) {
        RECT r{10, y, client.right - 10, y + 16};
        DrawTextW(dc, reinterpret_cast<LPCWSTR>(part.label), -1, &r, DT_LEFT | DT_TOP);
        y += 18;
    }
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK DemoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintBoard(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS)));
        return 0;
    case WM_LBUTTONDOWN: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        int partTop = 10 + kCells * kCell + 24;
        if (p.y >= partTop && !Parts().empty()) {
            std::size_t i = static_cast<std::size_t>((p.y - partTop) / 18);
            if (i < Parts().size()) Parts()[i].onClick(hwnd);
            return 0;
        }
        g_marks.push_back(p);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case WM_CHAR:
        if (wParam >= 32 && g_typed.size() < 16) {
            g_typed.push_back(static_cast<char16_t>(wParam));
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int main() {
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DemoProc;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = u"PlatformDemo";
    if (RegisterClassW(&wc) == 0) return 1;
    RECT r{0, 0, 2 * 10 + kCells * kCell, 10 + kCells * kCell + 60};
    AdjustWindowRectEx(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, u"PlatformDemo", u"Tessark platform demo",
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return 1;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return static_cast<int>(m.wParam);
}
