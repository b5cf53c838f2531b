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
    : options(settings), presentation(window, &options), history(key), session(Neighbours()) {
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
    if (computerReady_) ShutdownComputerPlayer();
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
