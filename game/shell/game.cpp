#include "game/shell/game.h"

bool SettingsOptions::IsComputer(std::uint32_t player) const {
    return SettingsPlayers(settings_).IsComputer(player);
}

int SettingsOptions::StrengthOf(std::uint32_t player) const {
    return static_cast<int>(::StrengthOf(settings_, player));
}

SessionNeighbours GameContext::Neighbours() {
    SessionNeighbours n;
    n.settings = &options;
    presentation.FillNeighbours(n);
    n.history = &history;
    n.opponent = &opponent;
    n.store = &history;
    return n;
}

GameContext::GameContext(AnimWindow* window, HWND answers, const Settings& settings,
                         const RegistryKey& key)
    : options(settings), presentation(window, &options), history(key), session(Neighbours()),
      answers_(answers) {
    presentation.Attach(&session, &opponent);
    HistoryNeighbours h;
    h.session = &session;
    h.settings = &options;
    h.display = &presentation.display;
    h.timeline = &presentation.scheduler;
    h.opponent = &opponent;
    history.Attach(h);
    computerReady_ = InitComputerPlayer(answers, &options);
    if (AnimWindow::IsLive(window)) {
        window->SetCallback(PresentationWindowCallback);
        window->SetFrameRate(30);
    }
}

GameContext::~GameContext() {
    // The search reads the session's position: it ends before anything goes.
    hint_.Stop();
    if (computerReady_) ShutdownComputerPlayer();
}

void HintSearch::Start(HWND answers, const GameState& state, WPARAM request) {
    Stop();
    cancel_.store(false);
    thread_ = std::thread([this, answers, state, request] {
        Square from = kNoSquare, to = kNoSquare;
        const bool found = ChooseMove(state, kMaxStrength, from, to, &cancel_);
        if (cancel_.load()) return;
        const LPARAM move = found ? static_cast<LPARAM>(from) | static_cast<LPARAM>(to) << 16 : 0;
        PostMessage(answers, WM_HINTMOVE, request, move);
    });
}

void HintSearch::Stop() {
    cancel_.store(true);
    if (thread_.joinable()) thread_.join();
}

bool GameContext::RequestHint() {
    const bool possible = presentation.loaded && !presentation.splashRunning &&
                          !session.tutorialMode && session.humanMayMove &&
                          !presentation.input.Dragging() && answers_;
    if (!possible) {
        presentation.sounds.PlayNow(kSoundRefuse);
        return false;
    }
    presentation.input.ClearHint();
    hintState_ = session.state;
    hint_.Start(answers_, hintState_, ++hintRequest_);
    return true;
}

void GameContext::OnHint(WPARAM wParam, LPARAM lParam) {
    // Only the latest request, and only while its position is still the one to play.
    if (wParam != hintRequest_ || !session.humanMayMove || session.tutorialMode ||
        !(session.state == hintState_) || presentation.input.Dragging())
        return;
    if (lParam == 0) {
        presentation.sounds.PlayNow(kSoundRefuse);
        return;
    }
    presentation.input.ShowHint(static_cast<Square>(lParam & 0xFFFF),
                                static_cast<Square>((lParam >> 16) & 0xFFFF));
}

bool GameContext::Load(HMODULE module) {
    presentation.display.Reset();
    return presentation.Load(module);
}

bool GameContext::LoadAssets(HMODULE module) {
    presentation.display.Reset();
    return presentation.LoadAssets(module);
}

void GameContext::Start(bool resume) {
    if (!resume || !session.RestoreGame()) session.NewGame();
}

bool GameContext::OnCommand(WPARAM wParam, GameHost& host) {
    const WORD code = HIWORD(wParam);
    GameSounds& sounds = presentation.sounds;
    GameDisplay& display = presentation.display;
    if (code == kButtonPressed || code == kButtonReleased) {
        sounds.PlayNow(kSoundButtonDown);
        display.UpdateBanner();
        return true;
    }
    // The sound tells at once whether the command can do anything; the banner follows it.
    const auto answer = [&](bool possible) {
        sounds.PlayNow(possible ? kSoundButtonDone : kSoundRefuse);
        display.UpdateBanner();
    };
    Tutorial& tutorial = presentation.tutorial;
    switch (LOWORD(wParam)) {
    case kCommandUndo:
    case kCommandRedo:
    case kCommandNewGame:
    case kCommandHelp:
        // The keys still reach these while the tutorial holds the session's position.
        if (tutorial.Running()) {
            answer(false);
            return true;
        }
        // A key may come while a piece is held: it goes back before the board changes.
        presentation.input.Cancel();
        presentation.input.ClearHint();
        ++hintRequest_;
        break;
    default:
        break;
    }
    switch (LOWORD(wParam)) {
    case kCommandUndo:
        answer(history.CanUndo());
        history.UndoMove();
        return true;
    case kCommandRedo:
        answer(history.CanRedo());
        history.RedoMove();
        return true;
    case kCommandNewGame:
        answer(true);
        if (host.ConfirmNewGame()) {
            presentation.window->Paint();
            session.NewGame();
        }
        return true;
    case kCommandHelp:
        answer(true);
        host.StartTutorial();
        return true;
    case kCommandLanguage:
        answer(true);
        display.ToggleLanguage();
        tutorial.RefreshLanguage();
        return true;
    case kCommandExit:
        answer(true);
        host.CloseGame();
        return true;
    case kCommandTutorialBack:
        answer(tutorial.CanGoBack());
        tutorial.Back();
        return true;
    case kCommandTutorialNext:
        answer(tutorial.CanGoNext());
        tutorial.Next();
        return true;
    case kCommandTutorialExit:
        answer(tutorial.PageShown());
        tutorial.Exit();
        return true;
    default:
        return false;
    }
}
