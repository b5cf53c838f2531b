// tessark-platform-demo: one window that paints a board, marks each click with a disc, writes
// typed letters in its status line and follows the pointer with a crosshair cursor. Under the
// board, one line opens a dialog with every standard control, one plays a generated tone and one
// opens a round (shaped) window. `--dialog` and `--round` open them at once.
// Headless: TESSARK_DRIVER=null TESSARK_SCRIPT=demo.script (see demo.script beside this file).
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/mm.h"
#include "platform/resource.h"
#include "platform/user.h"
#include "tools/platform-demo/demo_ids.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCell = 20;
constexpr int kCells = 11;
// Under the board: the status line, then one line per part, kLine pixels each.
constexpr int kLine = 16;
constexpr int kStatusTop = 10 + kCells * kCell + 2;
constexpr int kPartTop = kStatusTop + kLine;

std::vector<POINT> g_marks;
std::u16string g_typed;

constexpr UINT WM_TONE_DONE = WM_APP + 1;
constexpr UINT WM_OPEN_DIALOG = WM_APP + 2;
constexpr UINT WM_OPEN_ROUND = WM_APP + 3;

HWND g_main = nullptr;
HWND g_dialog = nullptr;

// ---- The tone ----------------------------------------------------------------------------------

// One buffer of a 660 Hz sine with soft edges, played through wave output. The device's thread
// reports the end; the buffer is released on the window's thread, as wave calls may not be made
// from the callback.
struct Tone {
    HWAVEOUT device = nullptr;
    WAVEHDR header{};
    std::vector<short> samples;
};
Tone g_tone;

// The dialog's status line: the last answer to its question and what the tone is doing.
std::u16string g_answer = u"not asked", g_toneState = u"not played";

void ShowStatus() {
    if (g_dialog == nullptr) return;
    std::u16string text = u"Question: " + g_answer + u"; tone: " + g_toneState + u".";
    SetDlgItemTextW(g_dialog, IDC_STATUS, text.c_str());
}

void SetStatus(const char16_t* toneState) {
    g_toneState = toneState;
    ShowStatus();
}

void CALLBACK ToneCallback(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (message == WOM_DONE) PostMessageW(g_main, WM_TONE_DONE, 0, 0);
}

void PlayTone(HWND) {
    if (g_tone.device != nullptr) return; // still playing
    constexpr int kRate = 22050;
    constexpr double kSeconds = 0.35, kHz = 660.0, kPi = 3.14159265358979;
    const int frames = static_cast<int>(kRate * kSeconds), edge = kRate / 100;
    g_tone.samples.resize(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        double envelope = std::min({1.0, i / double(edge), (frames - 1 - i) / double(edge)});
        g_tone.samples[static_cast<std::size_t>(i)] =
            static_cast<short>(9000.0 * envelope * std::sin(2 * kPi * kHz * i / kRate));
    }
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
    if (waveOutOpen(&g_tone.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(ToneCallback),
                    0, CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        g_tone.device = nullptr;
        SetStatus(u"no sound device");
        return;
    }
    g_tone.header = WAVEHDR{};
    g_tone.header.lpData = reinterpret_cast<LPSTR>(g_tone.samples.data());
    g_tone.header.dwBufferLength = static_cast<DWORD>(g_tone.samples.size() * sizeof(short));
    waveOutPrepareHeader(g_tone.device, &g_tone.header, sizeof(WAVEHDR));
    if (waveOutWrite(g_tone.device, &g_tone.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        waveOutUnprepareHeader(g_tone.device, &g_tone.header, sizeof(WAVEHDR));
        waveOutClose(g_tone.device);
        g_tone.device = nullptr;
        SetStatus(u"could not play");
        return;
    }
    SetStatus(u"playing 660 Hz");
}

void ToneDone() {
    if (g_tone.device == nullptr) return;
    waveOutUnprepareHeader(g_tone.device, &g_tone.header, sizeof(WAVEHDR));
    waveOutClose(g_tone.device);
    g_tone.device = nullptr;
    SetStatus(u"played");
}

// ---- The dialog of every control ----------------------------------------------------------------

const char16_t* Checked(HWND dialog, int first, int last, const char16_t* const* names) {
    for (int id = first; id <= last; ++id)
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) return names[id - first];
    return u"none";
}

void ShowChoice(HWND dialog) {
    static const char16_t* const kLevels[] = {u"Low", u"Medium", u"High"};
    static const char16_t* const kOpponents[] = {u"Human", u"Computer", u"Network"};
    std::u16string text = std::u16string(u"Level ") + Checked(dialog, IDC_LOW, IDC_HIGH, kLevels) +
                          u", opponent " + Checked(dialog, IDC_HUMAN, IDC_NETWORK, kOpponents) +
                          u"; sound " + (IsDlgButtonChecked(dialog, IDC_SOUND) ? u"on" : u"off") +
                          u", animations " +
                          (IsDlgButtonChecked(dialog, IDC_ANIMATIONS) ? u"on." : u"off.");
    SetDlgItemTextW(dialog, IDC_CHOICE, text.c_str());
}

INT_PTR CALLBACK ControlsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = dialog;
        CheckRadioButton(dialog, IDC_LOW, IDC_HIGH, IDC_LOW);
        CheckRadioButton(dialog, IDC_HUMAN, IDC_NETWORK, IDC_HUMAN);
        CheckDlgButton(dialog, IDC_SOUND, BST_CHECKED);
        CheckDlgButton(dialog, IDC_HINTS, BST_CHECKED);
        ShowChoice(dialog);
        ShowStatus();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TONE:
            PlayTone(dialog);
            return TRUE;
        case IDC_MESSAGE: {
            int answer = MessageBoxW(dialog, u"Keep these settings?", u"Question", MB_YESNO);
            g_answer = answer == IDYES ? u"Yes" : u"No";
            ShowStatus();
            return TRUE;
        }
        case IDOK:
        case IDCANCEL:
            g_dialog = nullptr;
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            if (HIWORD(wParam) == BN_CLICKED) ShowChoice(dialog);
            return TRUE;
        }
    }
    return FALSE;
}

void OpenDialog(HWND owner) {
    DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_CONTROLS), owner, ControlsProc, 0);
}

// ---- A round window
// ------------------------------------------------------------------------------

constexpr int kRound = 120;

LRESULT CALLBACK RoundProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        // Rings from dark to light blue, one row of each disc at a time.
        for (int i = 0; i < 6; ++i) {
            HBRUSH ring = CreateSolidBrush(RGB(20 + 30 * i, 50 + 30 * i, 140 + 20 * i));
            const double radius = kRound / 2.0 - i * 9;
            for (int y = 0; y < kRound; ++y) {
                double dy = y + 0.5 - kRound / 2.0;
                if (dy * dy >= radius * radius) continue;
                int half = static_cast<int>(std::sqrt(radius * radius - dy * dy) + 0.5);
                RECT row{kRound / 2 - half, y, kRound / 2 + half, y + 1};
                FillRect(dc, &row, ring);
            }
            DeleteObject(ring);
        }
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        RECT top{0, kRound / 2 - 16, kRound, kRound / 2};
        RECT bottom{0, kRound / 2, kRound, kRound / 2 + 16};
        DrawTextW(dc, u"Round window", -1, &top, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        DrawTextW(dc, u"tap to close", -1, &bottom, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONUP:
        DestroyWindow(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void OpenRoundWindow(HWND owner) {
    RECT o{};
    GetWindowRect(owner, &o);
    HWND round = CreateWindowExW(0, u"PlatformDemoRound", u"Round window", WS_POPUP,
                                 (o.left + o.right - kRound) / 2, (o.top + o.bottom - kRound) / 2,
                                 kRound, kRound, owner, nullptr, nullptr, nullptr);
    if (round == nullptr) return;
    // A disc, one row at a time.
    HRGN disc = CreateRectRgn(0, 0, 0, 0);
    const double r = kRound / 2.0;
    for (int y = 0; y < kRound; ++y) {
        double dy = y + 0.5 - r;
        int half = static_cast<int>(std::sqrt(std::max(0.0, r * r - dy * dy)) + 0.5);
        HRGN row = CreateRectRgn(kRound / 2 - half, y, kRound / 2 + half, y + 1);
        CombineRgn(disc, disc, row, RGN_OR);
        DeleteObject(row);
    }
    SetWindowRgn(round, disc, TRUE);
    ShowWindow(round, SW_SHOW);
    SetForegroundWindow(round);
}

// Each part gets a line under the board and is called on a click inside it.
struct DemoPart {
    const char16_t* label;
    void (*onClick)(HWND window);
};
std::vector<DemoPart>& Parts() {
    static std::vector<DemoPart> parts{{u"\u25B6 Open the dialog of every control", OpenDialog},
                                       {u"\u266A Play a tone", PlayTone},
                                       {u"\u25CF Open a round window", OpenRoundWindow}};
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
    RECT line{10, kStatusTop, client.right - 10, client.bottom};
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(status.c_str()), -1, &line, DT_LEFT | DT_TOP);
    int y = kPartTop;
    for (const DemoPart& part : Parts()) {
        RECT r{10, y, client.right - 10, y + kLine};
        DrawTextW(dc, reinterpret_cast<LPCWSTR>(part.label), -1, &r, DT_LEFT | DT_TOP);
        y += kLine;
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
        const int partTop = kPartTop;
        if (p.y >= partTop && !Parts().empty()) {
            std::size_t i = static_cast<std::size_t>((p.y - partTop) / kLine);
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
    case WM_TONE_DONE:
        ToneDone();
        return 0;
    case WM_OPEN_DIALOG:
        OpenDialog(hwnd);
        return 0;
    case WM_OPEN_ROUND:
        OpenRoundWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (g_tone.device != nullptr) {
            waveOutReset(g_tone.device);
            ToneDone();
        }
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Device);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DemoProc;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = u"PlatformDemo";
    wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_DEMO));
    if (RegisterClassW(&wc) == 0) return 1;
    wc.lpfnWndProc = RoundProc;
    wc.lpszClassName = u"PlatformDemoRound";
    if (RegisterClassW(&wc) == 0) return 1;
    RECT r{0, 0, 2 * 10 + kCells * kCell, kPartTop + 3 * kLine};
    AdjustWindowRectEx(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, u"PlatformDemo", u"Tessark platform demo",
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return 1;
    g_main = hwnd;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dialog") == 0) PostMessageW(hwnd, WM_OPEN_DIALOG, 0, 0);
        if (std::strcmp(argv[i], "--round") == 0) PostMessageW(hwnd, WM_OPEN_ROUND, 0, 0);
    }
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return static_cast<int>(m.wParam);
}
