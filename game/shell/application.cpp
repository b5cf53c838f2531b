#include "game/shell/application.h"

#include "controls/gl_init.h"
#include "engine/cea_main.h"
#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "game/presentation/logo.h"
#include "game/shell/newgame.h"
#include "platform/base.h"
#include "platform/dlg.h"
#include "platform/shell.h"

#include <cstdlib>

namespace {

Application g_app;

// The input panel and the start button are Windows CE's: the calls answer and change nothing.
void BringToFront(HWND hwnd) {
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
}

// Another copy's main window (or its hidden window while it has none), or null.
HWND RunningCopy() {
    HWND ipc = FindWindow(kIpcClassName, nullptr);
    if (!ipc) return nullptr;
    const auto main = reinterpret_cast<HWND>(GetWindowLongPtr(ipc, 0));
    return main ? main : ipc;
}

bool CreateIpcWindow(HINSTANCE instance) {
    WNDCLASS wc{};
    if (!GetClassInfo(nullptr, TEXT("Static"), &wc)) return false;
    wc.lpfnWndProc = DefWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.lpszClassName = kIpcClassName;
    if (!RegisterClass(&wc)) return false;
    g_app.ipc = CreateWindowEx(0, kIpcClassName, TEXT(""), WS_POPUP, -10, -10, 5, 5, nullptr,
                               nullptr, instance, nullptr);
    return g_app.ipc != nullptr;
}

struct ShellHost final : GameHost {
    bool ConfirmNewGame() override {
        // The demo's players are not the player's settings to change.
        return g_app.start.demo || RunNewGameDialog(g_app.main, g_app.settings);
    }
    void StartTutorial() override {
        if (g_app.game) g_app.game->StartTutorial(false, MainWindowProc);
    }
    void CloseGame() override { PostMessage(g_app.main, WM_COMMAND, IDCANCEL, 0); }
};

// Keys of the accelerator table become the menu's commands wherever the focus is.
LRESULT KeyHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message != WM_KEYDOWN && message != WM_SYSKEYDOWN) || !g_app.accelerators) return 0;
    MSG msg{hwnd, message, wParam, lParam, 0, {}};
    if (TranslateAccelerator(g_app.main, g_app.accelerators, &msg)) return 1;
    if (message == WM_KEYDOWN && wParam == 'H' && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_MENU) >= 0 && g_app.game) {
        g_app.game->RequestHint();
        return 1;
    }
    return 0;
}

// The logo's loader: the pictures and sounds, on the logo's worker thread.
struct AssetLoad {
    GameContext* game;
    bool ran = false;
    bool ok = false;
};

bool LoadGameAssets(void* context) {
    auto& load = *static_cast<AssetLoad*>(context);
    load.ran = true;
    load.ok = load.game->LoadAssets(g_app.instance);
    return load.ok;
}

// The logo while the game loads; then the saved game, a new one, or on the very first run the
// tutorial.
void StartGameWindow() {
    AnimWindow* window = g_app.window;
    AssetLoad load{g_app.game};
    RunLogo(window, g_app.instance, LoadGameAssets, &load, false);
    // Closed during the logo: the shutdown has already run.
    if (!IsWindow(g_app.main) || !g_app.game) return;
    // A logo that cannot be shown leaves the loading to be done here.
    if (!load.ran) LoadGameAssets(&load);
    if (!load.ok) {
        DestroyWindow(g_app.main);
        return;
    }
    GameContext& game = *g_app.game;
    window->Freeze();
    game.presentation.Show();
    if (!g_app.start.newGame && game.session.RestoreGame()) {
        game.ShowMenu(MainWindowProc);
    } else if (!g_app.firstRun) {
        game.ShowMenu(MainWindowProc);
        game.session.NewGame();
    } else {
        game.StartTutorial(true, MainWindowProc);
    }
    window->Unfreeze();
    SetFocus(window->GetHandle());
}

void OnInitDialog(HWND hwnd) {
    g_app.main = hwnd;
    if (g_app.ipc) SetWindowLongPtr(g_app.ipc, 0, reinterpret_cast<LONG_PTR>(hwnd));
    g_app.window = AnimWindow::FromHandle(GetDlgItem(hwnd, kAnimWindowControl));
    if (g_app.window) {
        // The game's notification handler, the pen's hook and 30 frames a second.
        const char* key = g_app.start.demo ? kDemoKeyPath : kGameKeyPath;
        g_app.game = new (MM("GAME"))
            GameContext(g_app.window, hwnd, g_app.settings, RegistryKey(string(key)));
        g_app.window->AddHook(KeyHook, kHookAll);
    }
    const string title = LoadLocalizedString(kTitleString);
    SetWindowText(hwnd, title.c_str());
    MoveWindow(hwnd, 0, 0, kMainWidth, kMainHeight, FALSE);
    RECT client{};
    GetClientRect(hwnd, &client);
    if (g_app.window)
        MoveWindow(g_app.window->GetHandle(), 0, 0, client.right, client.bottom, FALSE);
}

void OnCommand(WPARAM wParam) {
    const WORD code = HIWORD(wParam), id = LOWORD(wParam);
    if (code != kButtonPressed && code != kButtonReleased) {
        if (id == IDCANCEL) {
            DestroyWindow(g_app.main);
            return;
        }
        if (id == kCommandRaise) {
            BringToFront(g_app.main);
            return;
        }
    }
    if (!g_app.game) return;
    // The game is still loading while the logo plays: only leaving is possible.
    if (LogoRunning()) {
        if (code == 0 && id == kCommandExit) PostMessage(g_app.main, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    ShellHost host;
    g_app.game->OnCommand(wParam, host);
}

} // namespace

Application& App() {
    return g_app;
}

bool SaveSettings() {
    return ::SaveSettings(g_app.settings);
}

bool InitApplication(HINSTANCE instance) {
    HANDLE mutex = CreateMutex(nullptr, TRUE, kMutexName);
    // Two copies starting together: the second waits until the first has its hidden window.
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) WaitForSingleObject(mutex, 5000);
    if (HWND running = RunningCopy()) {
        PostMessage(running, WM_COMMAND, kCommandRaise, 0);
        if (mutex) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
        return false;
    }
    const bool ipc = CreateIpcWindow(instance);
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    if (!ipc) return false;

    std::srand(static_cast<unsigned>(EngineClock()));
    g_app.instance = instance;
    g_app.firstRun = LoadOrCreateSettings(g_app.settings, RegistryKey(string(kGameKeyPath)));
    if (g_app.start.demo) {
        g_app.settings.player1Computer = 1;
        g_app.settings.player1Strength = kStrengthHigh;
        g_app.settings.player2Computer = 1;
        g_app.settings.player2Strength = kStrengthMedium;
        g_app.start.newGame = true;
        g_app.firstRun = false;
    }
    InitialiseLanguage(TEXT("Tessark"));
    return ControlsInit(instance) && EngineInit(instance, 0);
}

void CreateMainWindow() {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefDlgProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = g_app.instance;
    wc.hIcon = LoadOwnIcon(kGameIcon);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kMainClassName;
    if (!RegisterClass(&wc)) {
        if (wc.hIcon) DestroyIcon(wc.hIcon);
        return;
    }
    g_app.accelerators = LoadAccelerators(g_app.instance, MAKEINTRESOURCE(kAcceleratorTable));
    HWND main = CreateDialogParam(g_app.instance, MAKEINTRESOURCE(LocalizedResourceId(kMainDialog)),
                                  nullptr, MainWindowProc, 0);
    if (main && g_app.window && g_app.game) {
        ShowWindow(main, SW_SHOW);
        SHINITDLGINFO info{SHIDIM_FLAGS, main, SHIDIF_FULLSCREENNOMENUBAR};
        SHInitDialog(&info);
        SHFullScreen(main, SHFS_HIDESIPBUTTON | SHFS_SHOWTASKBAR | SHFS_SHOWSTARTICON);
        BringToFront(main);
        StartGameWindow();
        if (IsWindow(main)) g_app.window->RunFrames(kAllFrames);
    }
    if (main && IsWindow(main)) DestroyWindow(main);
    if (g_app.accelerators) DestroyAcceleratorTable(g_app.accelerators);
    g_app.accelerators = nullptr;
    if (g_app.ipc) DestroyWindow(g_app.ipc);
    g_app.ipc = nullptr;
    UnregisterClass(kMainClassName, g_app.instance);
    if (wc.hIcon) DestroyIcon(wc.hIcon);
}

void ShutdownApplication() {
    // A logo still playing has its loader return before the game goes.
    SkipLogo();
    GameContext* game = g_app.game;
    if (!game) return;
    if (g_app.window) g_app.window->RemoveHook(KeyHook);
    game->presentation.tutorial.Teardown();
    // The computer's search stops first (the context's destruction waits for it); sounds,
    // buttons, pictures and pieces go with the presentation.
    game->history.ClearHistory();
    game->session.legalMoves.Clear();
    g_app.game = nullptr;
    MemDelete(game, MM("GAME"));
    if (!g_app.start.demo) SaveSettings();
}

INT_PTR CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(hwnd);
        break;
    case WM_DESTROY:
        ShutdownApplication();
        break;
    case WM_ACTIVATE:
        if (g_app.window && AnimWindow::IsLive(g_app.window)) {
            const bool active = wParam != 0;
            g_app.window->SetInputPanelAllowed(active ? FALSE : TRUE);
            g_app.window->SetPaused(active ? FALSE : TRUE);
            if (active) BringToFront(g_app.main);
        }
        break;
    case WM_COMPUTERMOVE:
        if (g_app.game) g_app.game->OnComputerMove(lParam);
        break;
    case WM_HINTMOVE:
        if (g_app.game) g_app.game->OnHint(wParam, lParam);
        break;
    case WM_COMMAND:
        OnCommand(wParam);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        KeyHook(hwnd, message, wParam, lParam);
        break;
    }
    return 0;
}
