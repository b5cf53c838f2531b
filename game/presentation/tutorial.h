// The how-to-play tutorial: twelve pages of text, each with a small position on the board's five
// lowest rows, three of them exercises that accept exactly one move. A black panel slides down
// over the upper rows and carries the page text; row 4 shows three goal squares. It runs inside
// the game window on the game's own session (in tutorial mode) and puts the interrupted game
// back when it ends, or starts a new one after the very first run.
#pragma once

#include "controls/aux_control.h"
#include "engine/cea_object.h"
#include "game/presentation/graphics.h"
#include "game/presentation/layout.h"
#include "game/presentation/sequencer.h"
#include "game/rules/session.h"

class GameDisplay;
class HumanInput;
class MenuButtons;

constexpr int kTutorialPages = 12;
constexpr int kTutorialLastPage = kTutorialPages - 1;
constexpr LONG kTutorialPanelLayer = 600;
constexpr LONG kTutorialTextLayer = 599;
constexpr LONG kTutorialGoalLayer = 550;
// The page text's font description (one entry per language).
constexpr UINT kTutorialFontString = 8;

// One page: its text (English id; the other language's is one above), whether the learner may
// move, and rows 4 down to 0 as {player 1, player 2}.
struct TutorialPage {
    UINT stringId;
    bool humanMayMove;
    RowMask rows[5][2];
};

const TutorialPage& TutorialPageAt(int page);
// The one move an exercise page accepts; false for a page that accepts every move.
bool TutorialExercise(int page, Square* from, Square* to);
// Whether the page accepts the move.
bool TutorialAllows(int page, const MOVE& move);
// The page Back and Next lead to from `page`: they skip the pages shown after a solved
// exercise. `page` itself when there is none.
int TutorialPageBefore(int page);
int TutorialPageAfter(int page);
// Offset values of the panel's slide from `from` to `to`, one a frame, the last being `to`.
// Returns the number written (at most 20).
int PanelSlideValues(LONG from, LONG to, LONG values[20]);

class Tutorial final : public TutorialGuide, public TutorialEvents {
public:
    Tutorial(AnimWindow* window, const GameGraphics* graphics, const BoardLayout* layout,
             EventScheduler* scheduler, Sequencer* sequencer, GameDisplay* display,
             MenuButtons* menu, HumanInput* input)
        : window_(window), graphics_(graphics), layout_(layout), scheduler_(scheduler),
          sequencer_(sequencer), display_(display), menu_(menu), input_(input) {}
    ~Tutorial() { Teardown(); }
    Tutorial(const Tutorial&) = delete;
    Tutorial& operator=(const Tutorial&) = delete;

    void Attach(GameSession* session, ComputerOpponent* opponent) {
        session_ = session;
        opponent_ = opponent;
    }

    // Opens the tutorial over the game in progress; the buttons report to `target`. On the
    // first run the panel is closed at once and a new game follows the tutorial; otherwise the
    // board is cleared, the panel slides down, and the game comes back afterwards. Does
    // nothing while the tutorial runs.
    void Start(bool firstRun, WNDPROC target);
    // From Start until the end of the panel's opening after Exit.
    bool Running() const { return running_; }
    // Whether the page's text and the tutorial's buttons are up (Back, Next and Exit act).
    bool PageShown() const { return running_ && !exiting_ && text_ != nullptr && buttonsUp_; }
    int Page() const { return page_; }
    LONG PanelOffset() const { return offset_; }
    LONG PanelHeight() const;
    bool CanGoBack() const { return PageShown() && page_ > 0; }
    bool CanGoNext() const { return PageShown() && page_ < kTutorialLastPage; }
    void Back();
    void Next();
    void Exit();
    // The page text in the current language (after a language change).
    void RefreshLanguage();
    // Deletes everything of the tutorial's that is still there (shutdown).
    void Teardown();
    // The window has deleted the objects still on it.
    void ForgetObjects();

    AnimObject* PanelObject() const { return panel_; }
    AnimObject* GoalObject() const { return goal_; }
    AnimText* TextObject() const { return text_; }

    // ---- The session's check ----
    bool MoveCheck(const MOVE& move) override;

    // ---- Timeline events ----
    void OnPanelOffset(LONG offset) override;
    void OnTutorialEnds() override;
    void OnShowPage(int page) override;
    void OnCheckProgress() override;

private:
    static LRESULT CALLBACK PanelCallback(AnimObject* object, DWORD message, LPARAM parameter);
    static LRESULT CALLBACK GoalCallback(AnimObject* object, DWORD message, LPARAM parameter);
    void DrawPanel(const ANIMDRAW* record) const;
    void DrawGoal(const ANIMDRAW* record) const;
    RECT PanelRect() const;
    void CreateObjects();
    void CreateText();
    void DeleteText();
    void DeleteObjects();
    // Schedules the slide from the frame `start`; returns the frame after it.
    FrameTime PanelSlide(LONG from, LONG to, FrameTime start);
    void SetPage(int page, FrameTime delay);

    AnimWindow* window_;
    const GameGraphics* graphics_;
    const BoardLayout* layout_;
    EventScheduler* scheduler_;
    Sequencer* sequencer_;
    GameDisplay* display_;
    MenuButtons* menu_;
    HumanInput* input_;
    GameSession* session_ = nullptr;
    ComputerOpponent* opponent_ = nullptr;
    WNDPROC target_ = nullptr;

    bool running_ = false;
    bool exiting_ = false;
    bool buttonsUp_ = false;
    bool afterFirstRun_ = false;
    SideState savedSides_[2]{};
    std::uint32_t savedTurn_ = 0;
    int page_ = 0;
    LONG offset_ = 0;
    AnimObject* panel_ = nullptr;
    AnimObject* goal_ = nullptr;
    AnimText* text_ = nullptr;
};
