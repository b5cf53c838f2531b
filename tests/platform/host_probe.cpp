// tessark-host-probe: one desktop window that a check outside the program steers line by line
// on standard input, so that the host's own view of the window (its X geometry, its shape) can
// be compared with the window's. Every command is answered with one line once the window has
// settled: "ok LEFT TOP RIGHT BOTTOM" (the window rectangle), or "work ..." for the work area.
//   move X Y W H   MoveWindow
//   place X Y      SetWindowPos without a size change
//   shape          a notch is cut out of the top-right corner (SetWindowRgn)
//   unshape        the whole rectangle again
//   rect, work     report
//   quit
// Pressing the left button anywhere in the window and moving drags it, as a skinned window
// drags itself.
#include "platform/gdi.h"
#include "platform/user.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr UINT WM_PROBE = WM_APP + 1;
constexpr UINT_PTR kSettle = 1;

struct Drag {
    bool on = false;
    POINT from{};
    RECT at{};
};
Drag g_drag;
std::string g_pending; // the answer given when the window has settled

void Answer(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    if (g_pending == "work") {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
        std::printf("work %d %d %d %d\n", int(r.left), int(r.top), int(r.right), int(r.bottom));
    } else {
        std::printf("ok %d %d %d %d\n", int(r.left), int(r.top), int(r.right), int(r.bottom));
    }
    std::fflush(stdout);
}

void Run(HWND hwnd, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    int x = 0, y = 0, w = 0, h = 0;
    if (verb == "move" && (in >> x >> y >> w >> h)) {
        MoveWindow(hwnd, x, y, w, h, TRUE);
    } else if (verb == "place" && (in >> x >> y)) {
        SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (verb == "shape") {
        RECT r{};
        GetClientRect(hwnd, &r);
        HRGN shape = CreateRectRgn(0, 0, r.right - 40, r.bottom);
        HRGN lower = CreateRectRgn(r.right - 40, 30, r.right, r.bottom);
        CombineRgn(shape, shape, lower, RGN_OR);
        DeleteObject(lower);
        SetWindowRgn(hwnd, shape, TRUE);
    } else if (verb == "unshape") {
        SetWindowRgn(hwnd, nullptr, TRUE);
    } else if (verb == "quit") {
        DestroyWindow(hwnd);
        return;
    } else if (verb != "rect" && verb != "work") {
        std::printf("error %s\n", line.c_str());
        std::fflush(stdout);
        return;
    }
    g_pending = verb;
    // The host is told on the way through the message loop; answer after it had the time.
    SetTimer(hwnd, kSettle, 250, nullptr);
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r{};
        GetClientRect(hwnd, &r);
        HBRUSH fill = CreateSolidBrush(RGB(30, 90, 200));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        g_drag.on = true;
        GetCursorPos(&g_drag.from);
        GetWindowRect(hwnd, &g_drag.at);
        SetCapture(hwnd);
        return 0;
    case WM_MOUSEMOVE:
        if (g_drag.on) {
            POINT now{};
            GetCursorPos(&now);
            MoveWindow(hwnd, g_drag.at.left + now.x - g_drag.from.x,
                       g_drag.at.top + now.y - g_drag.from.y, g_drag.at.right - g_drag.at.left,
                       g_drag.at.bottom - g_drag.at.top, TRUE);
        }
        return 0;
    case WM_LBUTTONUP:
        g_drag.on = false;
        ReleaseCapture();
        return 0;
    case WM_TIMER:
        if (wParam == kSettle) {
            KillTimer(hwnd, kSettle);
            Answer(hwnd);
        }
        return 0;
    case WM_PROBE: {
        auto* line = reinterpret_cast<std::string*>(lParam);
        Run(hwnd, *line);
        delete line;
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

int main() {
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = u"TessarkHostProbe";
    if (RegisterClassW(&wc) == 0) return 1;
    HWND hwnd = CreateWindowExW(0, u"TessarkHostProbe", u"Tessark host probe", WS_POPUP, 100, 80,
                                200, 150, nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return 1;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    // The first answer says that the window is up.
    PostMessageW(hwnd, WM_PROBE, 0, reinterpret_cast<LPARAM>(new std::string("rect")));
    std::thread reader([hwnd] {
        std::string line;
        while (std::getline(std::cin, line)) {
            auto* copy = new std::string(line);
            if (!PostMessageW(hwnd, WM_PROBE, 0, reinterpret_cast<LPARAM>(copy))) {
                delete copy;
                return;
            }
            if (line == "quit") return;
        }
        auto* quit = new std::string("quit");
        if (!PostMessageW(hwnd, WM_PROBE, 0, reinterpret_cast<LPARAM>(quit))) delete quit;
    });
    // A window closed by the host leaves the reader waiting for input: it ends with the program.
    reader.detach();
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
