#include "game/presentation/tutorial.h"

#include "foundation/language.h"
#include "foundation/memory.h"
#include "game/presentation/display.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A row of a page diagram ('R' player 1, 'B' player 2, column 0 first) as {red, blue} masks.
struct DiagramRow {
    RowMask red, blue;
};
constexpr DiagramRow Row(const char (&text)[12]) {
    DiagramRow row{0, 0};
    for (int column = 0; column < kBoardSize; ++column) {
        if (text[column] == 'R') row.red |= static_cast<RowMask>(1u << column);
        if (text[column] == 'B') row.blue |= static_cast<RowMask>(1u << column);
    }
    return row;
}
// Rows 4 down to 0.
constexpr TutorialPage Page(UINT id, bool mayMove, const char (&r4)[12], const char (&r3)[12],
                            const char (&r2)[12], const char (&r1)[12], const char (&r0)[12]) {
    TutorialPage page{id, mayMove, {}};
    const DiagramRow rows[5] = {Row(r4), Row(r3), Row(r2), Row(r1), Row(r0)};
    for (int i = 0; i < 5; ++i) {
        page.rows[i][0] = rows[i].red;
        page.rows[i][1] = rows[i].blue;
    }
    return page;
}

// Pages 5, 7 and 9 show the position after the exercise before them has been solved.
constexpr TutorialPage kPages[kTutorialPages] = {
    Page(10, false, "...........", "...........", "...........", "...BBBBB...", "..........."),
    Page(12, false, "...........", "...RRRRR...", "...........", "...BBBBB...", "..........."),
    Page(14, true, "...........", "...........", "...........", "...B.B.B...", "..........."),
    Page(16, false, "...........", "...B...R...", "...........", "...B...B...", "..........."),
    Page(18, true, "...........", "..B.....R..", "...........", "........B..", "..B........"),
    Page(20, true, "...........", "..B.....B..", "...........", "..B.....B..", "..........."),
    Page(22, true, ".....B.....", "..B........", ".....B...R.", "...........", ".B...R...B."),
    Page(24, true, ".B...B.....", "...........", ".....B...B.", "...........", ".B...B...B."),
    Page(26, true, "..B.B.B....", ".B.....B..R", ".R...B...BB", "....B..R..B", ".B...R..BR."),
    Page(28, true, "..B.B..B...", ".B.....B..B", ".B...B...BB", "....B..B..B", ".B...B..BB."),
    Page(30, true, "...R....R..", "...........", "........R..", "...B.......", "..........."),
    Page(32, false, "...........", "...........", "...........", "...........", "..........."),
};

struct Exercise {
    int page;
    Square from, to;
};
constexpr Exercise kExercises[] = {{4, 2, 13}, {6, 35, 45}, {8, 50, 51}};

constexpr int kGoalStripHeight = 18;

void FillBlack(const ANIMDRAW* record, RECT r) {
    r.left = std::max(r.left, record->clip.left);
    r.top = std::max(r.top, record->clip.top);
    r.right = std::min(r.right, record->clip.right);
    r.bottom = std::min(r.bottom, record->clip.bottom);
    if (r.left >= r.right || r.top >= r.bottom) return;
    HDC dc = record->destination->GetDC();
    if (!dc) return;
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    record->destination->ReleaseDC();
}

} // namespace

const TutorialPage& TutorialPageAt(int page) {
    return kPages[std::clamp(page, 0, kTutorialLastPage)];
}

bool TutorialExercise(int page, Square* from, Square* to) {
    for (const Exercise& e : kExercises)
        if (e.page == page) {
            if (from) *from = e.from;
            if (to) *to = e.to;
            return true;
        }
    return false;
}

bool TutorialAllows(int page, const MOVE& move) {
    Square from = kNoSquare, to = kNoSquare;
    if (!TutorialExercise(page, &from, &to)) return true;
    return move.from == from && move.to == to;
}

int TutorialPageBefore(int page) {
    if (page <= 0 || page > kTutorialLastPage) return page;
    // From the page after an exercise's success page, Back goes to the exercise itself.
    if (page == 10 || page == 8 || page == 6) return page - 2;
    return page - 1;
}

int TutorialPageAfter(int page) {
    if (page < 0 || page >= kTutorialLastPage) return page;
    // An exercise's success page is reached only by solving it.
    if (page == 4 || page == 6 || page == 8) return page + 2;
    return page + 1;
}

int PanelSlideValues(LONG from, LONG to, LONG values[20]) {
    // Slow, fast, slow: the second half mirrors the first.
    double d = std::abs(static_cast<double>(to) - from);
    if (d < 2) d = 1;
    constexpr int h = 10;
    int n = 0;
    for (int k = 1; k < 2 * h; ++k) {
        const int t = k < h ? k + h : k - h;
        double q = (2 * d / 400 * t * t - 2 * d / 20 * t + d / 2) / d;
        if (k >= h) q = 1 - q;
        const LONG value = from + static_cast<LONG>(std::trunc((to - from) * q));
        if (value != from && value != to) values[n++] = value;
    }
    values[n++] = to;
    return n;
}

// ---- Geometry and drawing -------------------------------------------------------------------

RECT Tutorial::PanelRect() const {
    const LONG width = AnimWindow::IsLive(window_) ? window_->GetWidth() : 0;
    return RECT{0, layout_->cells[kBoardSize - 1][0].top, width,
                layout_->cells[kTutorialRows - 1][0].top};
}

LONG Tutorial::PanelHeight() const {
    const RECT r = PanelRect();
    return std::max<LONG>(r.bottom - r.top, 0);
}

void Tutorial::DrawPanel(const ANIMDRAW* record) const {
    const RECT& r = record->object;
    const LONG height = r.bottom - r.top;
    const LONG o = std::clamp<LONG>(offset_, 0, height);
    if (o != height) FillBlack(record, RECT{r.left, r.top, r.right, r.bottom - o});
    // The board seems pushed down by the black panel coming from above.
    if (o != 0)
        DrawClipped(graphics_->background, record, r.left, r.bottom - o, r.left, r.top,
                    r.right - r.left, o);
}

void Tutorial::DrawGoal(const ANIMDRAW* record) const {
    Graphic* strip = graphics_->goalStrip;
    if (!strip || offset_ >= kGoalStripHeight) return;
    const LONG o = std::max<LONG>(offset_, 0);
    DrawClipped(strip, record, record->object.left, record->object.top, 0, o, strip->GetWidth(),
                kGoalStripHeight - o);
}

LRESULT CALLBACK Tutorial::PanelCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    const auto* tutorial = static_cast<const Tutorial*>(object->GetData(0));
    if (message == ANIMOBJ_DRAW && tutorial && parameter)
        tutorial->DrawPanel(reinterpret_cast<const ANIMDRAW*>(parameter));
    return 1;
}

LRESULT CALLBACK Tutorial::GoalCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    const auto* tutorial = static_cast<const Tutorial*>(object->GetData(0));
    if (message == ANIMOBJ_DRAW && tutorial && parameter)
        tutorial->DrawGoal(reinterpret_cast<const ANIMDRAW*>(parameter));
    return 1;
}

// ---- Objects --------------------------------------------------------------------------------

void Tutorial::CreateObjects() {
    panel_ = new (MM("ANIMOBJECT")) AnimObject(window_, PanelCallback, kTutorialPanelLayer);
    panel_->SetData(0, this);
    panel_->SetRect(PanelRect());
    if (Graphic* strip = graphics_->goalStrip) {
        goal_ = new (MM("ANIMOBJECT")) AnimObject(window_, GoalCallback, kTutorialGoalLayer);
        goal_->SetData(0, this);
        const CellGeometry& c = layout_->cells[kTutorialRows - 1][4];
        goal_->SetRect(RECT{c.left, c.top, c.left + strip->GetWidth(), c.top + strip->GetHeight()});
    }
    CreateText();
}

void Tutorial::CreateText() {
    text_ = new (MM("ANIMTEXT")) AnimText(window_, kTutorialTextLayer);
    const string font = LoadLocalizedString(kTutorialFontString);
    text_->SetFont(FontFromDescription(font.c_str()));
    text_->SetColor(AUXCOLOR_BACKGROUND, kNoColor);
    text_->SetColor(AUXCOLOR_TEXT, RGB(255, 255, 255));
    text_->SetFormat(kTextWrap | 1);
    const RECT panel = PanelRect();
    const RECT r{9, panel.top - 9, panel.right - 9, panel.bottom - 13};
    text_->SetRect(&r);
}

void Tutorial::DeleteText() {
    if (!text_) return;
    MemDelete(text_, MM("ANIMTEXT"));
    text_ = nullptr;
}

void Tutorial::DeleteObjects() {
    // Without the window its objects are gone with it.
    if (AnimWindow::IsLive(window_)) {
        if (panel_) MemDelete(panel_, MM("ANIMOBJECT"));
        if (goal_) MemDelete(goal_, MM("ANIMOBJECT"));
    }
    panel_ = nullptr;
    goal_ = nullptr;
}

void Tutorial::ForgetObjects() {
    panel_ = nullptr;
    goal_ = nullptr;
}

void Tutorial::Teardown() {
    DeleteText();
    DeleteObjects();
    if (running_ && session_) {
        session_->tutorialMode = false;
        session_->humanMayMove = false;
    }
    running_ = exiting_ = buttonsUp_ = false;
}

void Tutorial::RefreshLanguage() {
    if (!text_) return;
    // The font has a face of its own per language.
    const string font = LoadLocalizedString(kTutorialFontString);
    text_->SetFont(FontFromDescription(font.c_str()));
    const string text = LoadLocalizedString(TutorialPageAt(page_).stringId);
    text_->SetText(text.c_str());
    text_->Invalidate();
}

// ---- Start and end --------------------------------------------------------------------------

void Tutorial::Start(bool firstRun, WNDPROC target) {
    if (running_ || !session_ || !AnimWindow::IsLive(window_)) return;
    GameSession& s = *session_;
    scheduler_->Freeze();
    if (opponent_) opponent_->RequestCancel();
    if (input_) input_->Cancel();
    // The turn handed over before the tutorial must not begin inside it: the end of the
    // tutorial hands it over again. What is still on its way is shown now, so that the display
    // holds every piece of the position the clearing sweep is to take away.
    scheduler_->Cancel(kEventHumanTurn);
    scheduler_->Cancel(kEventComputerTurn);
    scheduler_->AdvanceToEnd();
    s.computerTurnPending = false;
    s.humanMayMove = false;
    s.tutorialMode = true;
    running_ = true;
    exiting_ = false;
    buttonsUp_ = false;
    afterFirstRun_ = firstRun;
    target_ = target;
    savedSides_[0] = s.state.sides[0];
    savedSides_[1] = s.state.sides[1];
    savedTurn_ = s.state.turn;
    page_ = 0;

    menu_->Delete();
    display_->UpdateBanner();
    offset_ = firstRun ? 0 : PanelHeight();
    CreateObjects();
    if (firstRun) {
        OnPanelOffset(0);
    } else {
        const FrameTime f = sequencer_->ClearBoard(scheduler_->EndOfTimeline() + 1);
        PanelSlide(PanelHeight(), 0, f);
    }
    scheduler_->Unfreeze();
}

FrameTime Tutorial::PanelSlide(LONG from, LONG to, FrameTime start) {
    LONG values[20];
    const int n = PanelSlideValues(from, to, values);
    FrameTime frame = start;
    for (int i = 0; i < n; ++i)
        scheduler_->Schedule(frame++, kEventTutorialPanel, static_cast<std::uint32_t>(values[i]));
    return frame;
}

void Tutorial::Exit() {
    if (!PageShown()) return;
    GameSession& s = *session_;
    scheduler_->Freeze();
    if (input_) input_->Cancel();
    scheduler_->AdvanceToEnd();
    menu_->Delete();
    buttonsUp_ = false;
    exiting_ = true;
    s.humanMayMove = false;
    s.legalMoves.Clear();
    s.state.sides[0] = savedSides_[0];
    s.state.sides[1] = savedSides_[1];
    s.state.turn = savedTurn_;
    DeleteText();
    // The lesson's pieces leave, the panel opens, and the game's pieces come back.
    const RowMask empty[5][2] = {};
    FrameTime f = sequencer_->ShowPositionChange(empty, scheduler_->EndOfTimeline() + 1);
    f = PanelSlide(0, PanelHeight(), f);
    if (!afterFirstRun_) f = sequencer_->SetUpBoard(s.state, f);
    scheduler_->Schedule(f, kEventTutorialEnds, 0);
    scheduler_->Unfreeze();
}

void Tutorial::OnTutorialEnds() {
    if (!running_ || !exiting_) return;
    GameSession& s = *session_;
    scheduler_->Freeze();
    DeleteText();
    DeleteObjects();
    s.tutorialMode = false;
    running_ = exiting_ = false;
    display_->UpdateBanner();
    menu_->Create(ButtonSet::kGame, target_);
    if (afterFirstRun_)
        s.NewGame();
    else
        s.EndTurn(kNoTime);
    scheduler_->Unfreeze();
}

// ---- Pages ----------------------------------------------------------------------------------

void Tutorial::OnPanelOffset(LONG offset) {
    if (!running_) return;
    offset_ = offset;
    if (offset == 0 && !exiting_ && !buttonsUp_) {
        // The panel has just closed: the lesson begins, the learner playing blue.
        session_->state.turn = 2;
        menu_->Create(ButtonSet::kTutorial, target_);
        buttonsUp_ = true;
        menu_->SetHidden(kCommandTutorialBack, true);
        menu_->SetHidden(kCommandTutorialNext, false);
        SetPage(0, 0);
    }
    if (panel_) panel_->Invalidate();
    if (goal_) goal_->Invalidate();
}

void Tutorial::SetPage(int page, FrameTime delay) {
    GameSession& s = *session_;
    // Nothing may be moved while the position changes under it.
    if (input_) input_->Cancel();
    s.humanMayMove = false;
    s.legalMoves.Clear();
    menu_->SetHidden(kCommandTutorialBack, page == 0);
    menu_->SetHidden(kCommandTutorialNext, page == kTutorialLastPage);
    const TutorialPage& p = TutorialPageAt(page);
    for (SideState& side : s.state.sides)
        for (RowMask& row : side.rows)
            row = 0;
    for (int i = 0; i < kTutorialRows; ++i) {
        const int row = kTutorialRows - 1 - i;
        s.state.sides[0].rows[row] = p.rows[i][0];
        s.state.sides[1].rows[row] = p.rows[i][1];
    }
    Recount(s.state);
    const FrameTime f = scheduler_->EndOfTimeline() + 1 + delay;
    scheduler_->Schedule(f, kEventTutorialPage, static_cast<std::uint32_t>(page));
    sequencer_->ShowPositionChange(p.rows, f);
}

void Tutorial::OnShowPage(int page) {
    if (!running_ || exiting_ || page < 0 || page > kTutorialLastPage) return;
    page_ = page;
    if (text_) {
        const string text = LoadLocalizedString(TutorialPageAt(page).stringId);
        text_->SetText(text.c_str());
        text_->Invalidate();
    }
    session_->humanMayMove = TutorialPageAt(page).humanMayMove;
    GenerateMoves(session_->state, session_->legalMoves, true);
}

void Tutorial::OnCheckProgress() {
    if (!running_ || exiting_) return;
    if (TutorialExercise(page_, nullptr, nullptr)) SetPage(page_ + 1, 0);
}

void Tutorial::Back() {
    if (!CanGoBack()) return;
    scheduler_->AdvanceToEnd();
    if (CanGoBack()) SetPage(TutorialPageBefore(page_), 0);
}

void Tutorial::Next() {
    if (!CanGoNext()) return;
    scheduler_->AdvanceToEnd();
    if (CanGoNext()) SetPage(TutorialPageAfter(page_), 0);
}

bool Tutorial::MoveCheck(const MOVE& move) {
    return TutorialAllows(page_, move);
}
