// One game in progress with everything around it: the settings as the presentation and the
// computer read them, the session, its move history and saved game, the computer opponent and
// the presentation on the game's animation window. The game program and the tools that host
// the board build it the same way.
#pragma once

#include "game/opponent/opponent.h"
#include "game/presentation/display.h"
#include "game/rules/history.h"
#include "game/rules/session.h"
#include "game/shell/settings.h"

#include <atomic>
#include <thread>

// The hint's answer: wParam the request's number, lParam from | to << 16 (0 for none).
constexpr std::uint32_t WM_HINTMOVE = WM_COMPUTERMOVE + 1;

// The search behind a hint, on its own thread so that the frames go on meanwhile. One at a
// time; a newer request or Stop makes the running one end without answering.
class HintSearch {
public:
    HintSearch() = default;
    ~HintSearch() { Stop(); }
    HintSearch(const HintSearch&) = delete;
    HintSearch& operator=(const HintSearch&) = delete;

    void Start(HWND answers, const GameState& state, WPARAM request);
    void Stop();

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
};

// The settings record seen by the presentation, the session and the computer; read each time.
class SettingsOptions final : public GameOptions, public StrengthSettings {
public:
    explicit SettingsOptions(const Settings& settings) : settings_(settings) {}
    bool IsComputer(std::uint32_t player) const override;
    bool SoundEffectsOn() const override { return settings_.soundEffects != 0; }
    bool LightTracesOn() const override { return settings_.lightTraces != 0; }
    int StrengthOf(std::uint32_t player) const override;

private:
    const Settings& settings_;
};

// What the game's commands need of the program around it.
class GameHost {
public:
    // The new-game dialog: true when a new game is to start.
    virtual bool ConfirmNewGame() = 0;
    virtual void StartTutorial() = 0;
    // Closes the game's main window.
    virtual void CloseGame() = 0;

protected:
    ~GameHost() = default;
};

class GameContext {
public:
    // `window` shows the game; the computer's answers are posted to `answers` (the window whose
    // procedure hands WM_COMPUTERMOVE to OnComputerMove). `settings` must outlive the game.
    GameContext(AnimWindow* window, HWND answers, const Settings& settings,
                const RegistryKey& key = RegistryKey(string(kGameKeyPath)));
    ~GameContext();
    GameContext(const GameContext&) = delete;
    GameContext& operator=(const GameContext&) = delete;

    // The pictures and sounds from the program's resources; false when the board cannot be
    // shown.
    bool Load(HMODULE module);
    // The same without touching the window, for a loader thread; Show follows on the window's.
    bool LoadAssets(HMODULE module);
    // Resumes the saved game when asked and there is one, else starts a new game.
    void Start(bool resume);
    void OnComputerMove(LPARAM lParam) { session.OnComputerMove(lParam); }
    // H: the move the computer would play at High for the human to move, lit on the board
    // when the search answers (OnHint). False, with the refusal sound, when no hint can be given.
    bool RequestHint();
    void OnHint(WPARAM wParam, LPARAM lParam);
    // The six game buttons, reporting to `target` (which hands WM_COMMAND to OnCommand).
    void ShowMenu(WNDPROC target) { presentation.menu.Create(ButtonSet::kGame, target); }
    // Opens the tutorial over the game (or, on the first run, before the first one); its
    // buttons and the game's afterwards report to `target`.
    void StartTutorial(bool firstRun, WNDPROC target) {
        presentation.tutorial.Start(firstRun, target);
    }
    // WM_COMMAND from a menu button or a key: the click of the press and release, or the
    // command with its sound. False for an id the game does not know. While the tutorial runs,
    // the commands that would change the game (or start the tutorial again) are refused.
    bool OnCommand(WPARAM wParam, GameHost& host);

    SettingsOptions options;
    GamePresentation presentation;
    MoveHistory history;
    ComputerPlayer opponent;
    GameSession session;

private:
    SessionNeighbours Neighbours();
    bool computerReady_ = false;
    HWND answers_;
    WPARAM hintRequest_ = 0;
    GameState hintState_{};
    HintSearch hint_;
};
