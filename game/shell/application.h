// The game program's frame: the single-instance check, the settings, the main window hosting
// the animation window, its commands, and the orderly shutdown. Game logic lives elsewhere:
// commands go to the session, the history, the tutorial, the menu and the new-game dialog.
#pragma once

#include "game/shell/game.h"
#include "platform/user.h"

constexpr const TCHAR* kMutexName = TEXT("Tessark Mutex");
constexpr const TCHAR* kIpcClassName = TEXT("Tessark IPC");
constexpr const TCHAR* kMainClassName = TEXT("TessarkClass");
constexpr UINT kMainDialog = 1001; // 1002 in Esperanto
constexpr int kAnimWindowControl = 1005;
constexpr UINT kGameIcon = 1055;
constexpr UINT kTitleString = 2;
constexpr UINT kAcceleratorTable = 1060;
constexpr WORD kCommandRaise = 1019;
constexpr LONG kMainWidth = 240, kMainHeight = 294;

// What start-up chooses beyond the stored settings (command-line switches).
struct StartOptions {
    // Forget the saved game: a new game starts (or the tutorial on a first run).
    bool newGame = false;
    // The computer against itself, red at High and blue at Medium, for this run only: a game of
    // its own under kDemoKeyPath, the settings and the saved game left as they were.
    bool demo = false;
};

constexpr const char* kDemoKeyPath = "HKCU\\Software\\Orvane\\Tessark\\Demo";

// The program's state, one per process.
struct Application {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND ipc = nullptr;
    AnimWindow* window = nullptr;
    bool firstRun = false;
    Settings settings;
    StartOptions start;
    GameContext* game = nullptr;
    HACCEL accelerators = nullptr;
};
Application& App();

// Start-up up to the main window: false when another copy runs (it has been raised) or the
// controls or the engine cannot start.
bool InitApplication(HINSTANCE instance);
// Creates and shows the main window, starts the game on it and runs its frame loop until the
// window is destroyed.
void CreateMainWindow();
void ShutdownApplication();
// Writes the settings record; false when the registry refuses it.
bool SaveSettings();

INT_PTR CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
