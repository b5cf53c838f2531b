// tessark-board: the game's board on its 240 x 294 animation window at 30 frames per second,
// with the real session, history, saved game and computer opponent. Two computer players make
// a self-playing demo, saved after every turn as the game saves. TESSARK_DRIVER=sdl on a
// desktop, or headless with TESSARK_SCRIPT, TESSARK_CLOCK=sim and screenshots.
#include "controls/gl_init.h"
#include "engine/cea_main.h"
#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "foundation/tl_string.h"
#include "game/shell/game.h"
#include "platform/base.h"
#include "platform/clock.h"
#include "platform/user.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: tessark-board [--player1 human|low|medium|high] [--player2 human|low|medium|high]\n"
    "                     [--history TEXT [--from N]] [--new] [--quit-when-over]\n"
    "                     [--quit-after MS] [--sound on|off] [--lights on|off]\n"
    "  Player 1 is red, player 2 blue (blue moves first). Without --new a saved unfinished game\n"
    "  is resumed. --history shows the starting position (with --from, the position after its\n"
    "  first N moves), then replays the moves of TEXT (\"n,from,to,...\" as the game saves it)\n"
    "  before play goes on. --quit-after closes the window after MS milliseconds.\n";

constexpr LONG kClientWidth = 240, kClientHeight = 294;
constexpr int kAnimWindowId = 1005;
// Frames shown after the game is over before --quit-when-over closes the window.
constexpr DWORD kFramesAfterGame = 90;

struct Options {
    Settings settings;
    std::string history;
    long from = 0;
    long quitAfter = 0;
    bool fresh = false;
    bool quitWhenOver = false;
};

constexpr UINT_PTR kQuitTimer = 1;

// A whole number from `low` to `high`, or false.
bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || v < low || v > high) return false;
    value = v;
    return true;
}

struct Board {
    HWND main = nullptr;
    AnimWindow* window = nullptr;
    GameContext* game = nullptr;
    bool replaying = false;
    Settings chosen;
    Settings* live = nullptr;
    bool quitWhenOver = false;
    DWORD framesOver = 0;
};
Board g_board;

bool ParseSwitch(const char* text, std::uint32_t& value) {
    if (std::strcmp(text, "on") == 0) return value = 1, true;
    if (std::strcmp(text, "off") == 0) return value = 0, true;
    return false;
}

// Exit code 2 with a message for bad arguments.
bool ParseArguments(int argc, char** argv, Options& options) {
    Settings& s = options.settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--new") {
            options.fresh = true;
        } else if (arg == "--quit-when-over") {
            options.quitWhenOver = true;
        } else if ((arg == "--player1" || arg == "--player2") && hasValue) {
            const bool first = arg == "--player1";
            if (!ParsePlayerChoice(argv[++i], first ? s.player1Computer : s.player2Computer,
                                   first ? s.player1Strength : s.player2Strength)) {
                std::fprintf(stderr, "tessark-board: unknown player '%s'\n", argv[i]);
                return false;
            }
        } else if (arg == "--history" && hasValue) {
            options.history = argv[++i];
        } else if ((arg == "--from" || arg == "--quit-after") && hasValue) {
            const bool from = arg == "--from";
            if (!ParseNumber(argv[++i], 0, from ? 10000 : 86400000,
                             from ? options.from : options.quitAfter)) {
                std::fprintf(stderr, "tessark-board: %s takes a number, not '%s'\n", arg.c_str(),
                             argv[i]);
                return false;
            }
        } else if ((arg == "--sound" || arg == "--lights") && hasValue) {
            if (!ParseSwitch(argv[++i], arg == "--sound" ? s.soundEffects : s.lightTraces)) {
                std::fprintf(stderr, "tessark-board: %s takes on or off\n", arg.c_str());
                return false;
            }
        } else {
            std::fprintf(stderr, "tessark-board: bad argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

// While a history is replayed both sides count as human, so that nobody searches; its moves
// are replayed one turn after the other, then the chosen players take over.
void ReplayStep() {
    Board& b = g_board;
    if (!b.replaying || !b.game->session.humanMayMove) return;
    if (b.game->history.CanRedo()) {
        b.game->history.RedoMove();
        return;
    }
    b.replaying = false;
    *b.live = b.chosen;
    if (b.game->session.winner == 0 && b.game->options.IsComputer(b.game->session.state.turn))
        b.game->session.EndTurn(kNoTime);
}

// Shows the position after the history's first `from` moves with the set-up sweep (by way of the
// saved game, as a resumed game starts) and lines up the rest for replaying.
void ReplayHistory(GameContext& game, const Options& options, Settings& live) {
    live.player1Computer = live.player2Computer = 0;
    GameState base;
    InitStartPosition(base);
    MoveHistory& history = game.history;
    history.base = base;
    history.ReadHistoryText(base, string(options.history.c_str()));
    const std::size_t from =
        std::min<std::size_t>(static_cast<std::size_t>(options.from), history.done.size());
    // Every move after `from` goes to the replay list, the first one last.
    while (history.done.size() > from) {
        history.redo.push_back(history.done.back());
        history.done.pop_back();
    }
    const GameState shown = history.done.empty() ? base : history.done.back().after;
    if (WinnerOf(shown) == 0 && (!history.done.empty() || !history.redo.empty())) {
        history.SaveGame(0, shown);
        game.Start(true);
    } else {
        history.ClearHistory();
        game.Start(false);
    }
    g_board.replaying = true;
}

LRESULT OnWindow(AnimWindow* window, DWORD code, LPARAM parameter1, LPARAM parameter2) {
    const LRESULT result = PresentationWindowCallback(window, code, parameter1, parameter2);
    Board& b = g_board;
    if (code == ANIMWND_PAINTEND && b.game) {
        ReplayStep();
        if (b.quitWhenOver && b.game->session.winner != 0 &&
            window->GetCurrentFrame() >= window->GetEndFrame() &&
            ++b.framesOver == kFramesAfterGame)
            PostMessage(b.main, WM_CLOSE, 0, 0);
    }
    return result;
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The menu's new game starts at once: the board has no dialog.
struct BoardHost final : GameHost {
    bool ConfirmNewGame() override { return true; }
    void StartTutorial() override {
        if (g_board.game) g_board.game->StartTutorial(false, MainProc);
    }
    void CloseGame() override { PostMessage(g_board.main, WM_CLOSE, 0, 0); }
};

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (g_board.game) {
            BoardHost host;
            g_board.game->OnCommand(wParam, host);
        }
        return 0;
    case WM_TIMER:
        if (wParam == kQuitTimer) {
            KillTimer(hwnd, kQuitTimer);
            PostMessage(hwnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_COMPUTERMOVE:
        if (g_board.game) g_board.game->OnComputerMove(lParam);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

bool CreateWindows(HINSTANCE instance) {
    WNDCLASS wc{};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.lpszClassName = TEXT("TessarkBoardClass");
    if (!RegisterClass(&wc)) return false;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    g_board.main = CreateWindowEx(0, TEXT("TessarkBoardClass"), TEXT("Tessark board"), style, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, nullptr);
    if (!g_board.main) return false;
    HWND child = CreateWindowEx(0, TEXT("AnimWindow"), TEXT(""), WS_CHILD | WS_VISIBLE, 0, 0,
                                kClientWidth, kClientHeight, g_board.main,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAnimWindowId)),
                                instance, nullptr);
    g_board.window = AnimWindow::FromHandle(child);
    return g_board.window != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::UseCallerFlavour();
    platform::OnProgramStart();
    Options options;
    if (!ReadSettings(options.settings)) options.settings = Settings{};
    if (!ParseArguments(argc, argv, options)) return 2;

    HINSTANCE instance = GetModuleHandle(nullptr);
    std::srand(static_cast<unsigned>(GetTickCount()));
    InitialiseLanguage(TEXT("Tessark"));
    if (!ControlsInit(instance) || !EngineInit(instance, 0) || !CreateWindows(instance)) {
        std::fprintf(stderr, "tessark-board: cannot create the game window\n");
        return 1;
    }

    int result = 0;
    Settings live = options.settings;
    {
        GameContext game(g_board.window, g_board.main, live);
        g_board.window->SetCallback(OnWindow);
        g_board.game = &game;
        g_board.live = &live;
        g_board.chosen = options.settings;
        g_board.quitWhenOver = options.quitWhenOver;
        if (!game.Load(instance)) {
            std::fprintf(stderr, "tessark-board: the game's pictures are missing or damaged\n");
            result = 1;
        } else {
            if (!options.history.empty()) {
                ReplayHistory(game, options, live);
            } else {
                game.Start(!options.fresh);
            }
            game.ShowMenu(MainProc);
            if (options.quitAfter > 0)
                SetTimer(g_board.main, kQuitTimer, static_cast<UINT>(options.quitAfter), nullptr);
            ShowWindow(g_board.main, SW_SHOW);
            SetForegroundWindow(g_board.main);
            g_board.window->RunFrames(kAllFrames);
            GameState base;
            const string8 text(game.history.WriteHistoryText(base));
            std::printf("winner %u moves %zu history %s\n", game.session.winner,
                        game.history.done.size(), text.c_str());
        }
        if (IsWindow(g_board.main)) DestroyWindow(g_board.main);
        g_board.game = nullptr;
    }
    if (MemExitCheck() != 0) return 3;
    std::printf("memory: nothing leaked\n");
    return result;
}
