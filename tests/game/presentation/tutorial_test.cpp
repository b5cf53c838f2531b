// The tutorial: its page table against the rules (each exercise's move is legal there and leads
// to the position of the page after it), the move check, the pages Back and Next lead to, the
// panel's slide, and the lesson run on a real game window: started over a game and put back,
// refused moves, the success page after the capture, refused game commands, the language and
// a window closed in the middle.
#include "tests/game/presentation/board_fixture.h"

#include <thread>

namespace {

GameState PagePosition(int page) {
    GameState state{};
    const TutorialPage& p = TutorialPageAt(page);
    for (int i = 0; i < kTutorialRows; ++i) {
        state.sides[0].rows[kTutorialRows - 1 - i] = p.rows[i][0];
        state.sides[1].rows[kTutorialRows - 1 - i] = p.rows[i][1];
    }
    state.turn = 2;
    Recount(state);
    return state;
}

bool SameSides(const GameState& a, const GameState& b) {
    return a.sides[0] == b.sides[0] && a.sides[1] == b.sides[1];
}

TEST(TutorialPages, EachExerciseIsLegalThereAndLeadsToThePositionOfThePageAfterIt) {
    const std::uint32_t redCaptured[] = {1, 2, 0}; // page 8 takes every red piece
    int i = 0;
    for (int page : {4, 6, 8}) {
        SCOPED_TRACE(page);
        Square from = kNoSquare, to = kNoSquare;
        ASSERT_TRUE(TutorialExercise(page, &from, &to));
        GameState state = PagePosition(page);
        MoveList moves;
        GenerateMoves(state, moves, true);
        EXPECT_TRUE(moves.Find(from, to)) << from << " -> " << to << " is not legal there";
        const std::uint32_t redBefore = state.sides[0].pieceCount;
        ApplyMove(state, from, to, kNoTime);
        EXPECT_TRUE(SameSides(state, PagePosition(page + 1)));
        if (page == 8) {
            EXPECT_EQ(state.sides[0].pieceCount, 0u);
        } else {
            EXPECT_EQ(redBefore - state.sides[0].pieceCount, redCaptured[i]);
        }
        ++i;
    }
    EXPECT_FALSE(TutorialExercise(2, nullptr, nullptr));
    EXPECT_FALSE(TutorialExercise(5, nullptr, nullptr));
}

TEST(TutorialPages, AnExercisePageAllowsOnlyItsMoveAndTheOthersEveryMove) {
    for (int page = 0; page < kTutorialPages; ++page) {
        SCOPED_TRACE(page);
        const GameState state = PagePosition(page);
        MoveList moves;
        GenerateMoves(state, moves, true);
        Square from = kNoSquare, to = kNoSquare;
        const bool exercise = TutorialExercise(page, &from, &to);
        int allowed = 0;
        for (const MOVE& move : moves) {
            const bool ok = TutorialAllows(page, move);
            allowed += ok ? 1 : 0;
            if (exercise) {
                EXPECT_EQ(ok, move.from == from && move.to == to);
            }
        }
        EXPECT_EQ(allowed, exercise ? 1 : static_cast<int>(moves.size()));
    }
    // Wrong squares of an exercise, as MakeMove hands them over.
    EXPECT_FALSE(TutorialAllows(4, MOVE{2, 14, {}}));
    EXPECT_FALSE(TutorialAllows(4, MOVE{13, 2, {}}));
    EXPECT_TRUE(TutorialAllows(4, MOVE{2, 13, {}}));
}

TEST(TutorialPages, BackAndNextSkipTheSuccessPages) {
    std::vector<int> forward{0}, backward{kTutorialLastPage};
    while (TutorialPageAfter(forward.back()) != forward.back())
        forward.push_back(TutorialPageAfter(forward.back()));
    while (TutorialPageBefore(backward.back()) != backward.back())
        backward.push_back(TutorialPageBefore(backward.back()));
    EXPECT_EQ(forward, std::vector<int>({0, 1, 2, 3, 4, 6, 8, 10, 11}));
    EXPECT_EQ(backward, std::vector<int>({11, 10, 8, 6, 4, 3, 2, 1, 0}));
    // From a success page on.
    EXPECT_EQ(TutorialPageAfter(5), 6);
    EXPECT_EQ(TutorialPageBefore(5), 4);
    EXPECT_EQ(TutorialPageAfter(7), 8);
    EXPECT_EQ(TutorialPageBefore(7), 6);
    EXPECT_EQ(TutorialPageAfter(9), 10);
    EXPECT_EQ(TutorialPageBefore(9), 8);
}

TEST(TutorialPages, ThePanelSlidesSlowFastSlowAndEndsWhereItWasSent) {
    for (const auto& [from, to] : {std::pair<LONG, LONG>{102, 0}, {0, 102}, {7, 3}}) {
        SCOPED_TRACE(from);
        LONG values[20];
        const int n = PanelSlideValues(from, to, values);
        ASSERT_GE(n, 2);
        ASSERT_LE(n, 20);
        EXPECT_EQ(values[n - 1], to);
        const LONG sign = to > from ? 1 : -1;
        // A short slide may repeat a value; it never goes back.
        const bool long_ = std::abs(to - from) > 20;
        LONG previous = from;
        for (int i = 0; i < n; ++i) {
            if (long_) {
                EXPECT_GT((values[i] - previous) * sign, 0) << "step " << i;
            } else {
                EXPECT_GE((values[i] - previous) * sign, 0) << "step " << i;
            }
            EXPECT_NE(values[i], from);
            previous = values[i];
        }
        if (long_) {
            // Small steps at both ends, the big ones in the middle.
            EXPECT_LE(std::abs(values[0] - from), 2);
            EXPECT_LE(std::abs(values[n - 1] - values[n - 2]), 2);
            EXPECT_GE(std::abs(values[n / 2] - values[n / 2 - 1]), 5);
        }
    }
    LONG values[20];
    EXPECT_EQ(PanelSlideValues(5, 5, values), 1);
    EXPECT_EQ(values[0], 5);
}

class Lesson;
Lesson* g_lesson = nullptr;

class Lesson : public GameBoard, public GameHost {
protected:
    void SetUp() override {
        GameBoard::SetUp();
        g_lesson = this;
        settings.player1Computer = 0;
        settings.player2Computer = 0;
    }
    void TearDown() override {
        GameBoard::TearDown();
        g_lesson = nullptr;
    }
    static LRESULT CALLBACK Target(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && g_lesson) {
            g_lesson->game->OnCommand(wParam, *g_lesson);
            return 0;
        }
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    bool ConfirmNewGame() override {
        ++dialogs;
        return true;
    }
    void StartTutorial() override { game->StartTutorial(false, Target); }
    void CloseGame() override {}

    Tutorial& T() { return P().tutorial; }
    void Command(WORD id) { game->OnCommand(MAKEWPARAM(id, 0), *this); }
    // A game in which blue and red have each moved once.
    void PlayTwoMoves() {
        Session().NewGame();
        RunOut();
        ASSERT_TRUE(Session().humanMayMove);
        DragPiece(26, 37);
        RunOut();
        DragPiece(92, 81);
        RunOut();
        ASSERT_EQ(Session().state.turn, 2u);
    }
    // Runs the timeline out and checks that the shown pieces are the session's position.
    void ExpectShownIsState() {
        for (Square s = 0; s < kSquareCount; ++s)
            ASSERT_EQ(ShownColour(s), SquareOwner(Session().state, s)) << "square " << s;
    }
    void NextTo(int page) {
        while (T().Page() != page && T().CanGoNext()) {
            Command(kCommandTutorialNext);
            RunOut();
        }
        ASSERT_EQ(T().Page(), page);
    }
    std::string PageText() {
        string text;
        T().TextObject()->GetText(text);
        return string8(text).c_str();
    }
    std::string Raw(UINT id) {
        string text;
        EXPECT_TRUE(LoadRawString(id, text));
        return string8(text).c_str();
    }

    int dialogs = 0;
};

TEST_F(Lesson, StartedFromAGameItClearsTheBoardClosesThePanelAndComesBackToTheGame) {
    PlayTwoMoves();
    const GameState saved = Session().state;
    Command(kCommandHelp);
    ASSERT_TRUE(T().Running());
    EXPECT_TRUE(Session().tutorialMode);
    EXPECT_EQ(T().PanelOffset(), T().PanelHeight()) << "the panel starts open";
    EXPECT_EQ(T().PanelHeight(), 102);
    EXPECT_TRUE(P().menu.Empty());
    EXPECT_TRUE(Display().AnyPieceShown()) << "the clearing sweep has not run yet";
    RunOut();
    EXPECT_EQ(T().PanelOffset(), 0);
    EXPECT_EQ(T().Page(), 0);
    ASSERT_NE(P().menu.Find(kCommandTutorialNext), nullptr);
    EXPECT_TRUE(MenuButtons::IsHidden(P().menu.Find(kCommandTutorialBack)));
    EXPECT_FALSE(MenuButtons::IsHidden(P().menu.Find(kCommandTutorialNext)));
    EXPECT_EQ(P().menu.Find(kCommandUndo), nullptr);
    EXPECT_TRUE(SameSides(Session().state, PagePosition(0)));
    EXPECT_EQ(Session().state.turn, 2u);
    ExpectShownIsState();
    EXPECT_EQ(PageText(), Raw(10));
    EXPECT_EQ(Display().BoardRows(), kTutorialRows);

    // An exercise solved on the way changes nothing of the game.
    NextTo(4);
    DragPiece(2, 13);
    RunOut();
    EXPECT_EQ(T().Page(), 5);
    Command(kCommandTutorialExit);
    EXPECT_EQ(T().TextObject(), nullptr);
    RunOut();
    EXPECT_FALSE(T().Running());
    EXPECT_FALSE(Session().tutorialMode);
    EXPECT_EQ(T().PanelObject(), nullptr);
    EXPECT_EQ(P().menu.Find(kCommandTutorialExit), nullptr);
    EXPECT_NE(P().menu.Find(kCommandUndo), nullptr);
    EXPECT_TRUE(Session().state == saved);
    ExpectShownIsState();
    EXPECT_TRUE(Session().humanMayMove) << "blue's turn came back";
    EXPECT_TRUE(game->history.CanUndo());
    EXPECT_EQ(Display().BoardRows(), kBoardSize);
}

TEST_F(Lesson, OnTheFirstRunThePanelIsClosedAtOnceAndANewGameFollows) {
    game->StartTutorial(true, Target);
    EXPECT_EQ(T().PanelOffset(), 0);
    EXPECT_NE(P().menu.Find(kCommandTutorialExit), nullptr) << "the buttons are there at once";
    RunOut();
    EXPECT_EQ(T().Page(), 0);
    ExpectShownIsState();
    Command(kCommandTutorialExit);
    RunOut();
    EXPECT_FALSE(Session().tutorialMode);
    GameState start{};
    InitStartPosition(start);
    EXPECT_TRUE(Session().state == start);
    ExpectShownIsState();
    EXPECT_TRUE(Session().humanMayMove);
}

TEST_F(Lesson, ThePanelPushesTheBoardDownAndTheGoalStripComesOutFromUnderIt) {
    game->StartTutorial(false, Target);
    AnimObject* panel = T().PanelObject();
    AnimObject* goal = T().GoalObject();
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(goal, nullptr);
    RECT p{}, g{};
    panel->GetRect(&p);
    goal->GetRect(&g);
    EXPECT_EQ(p.top, Display().Layout().cells[10][0].top);
    EXPECT_EQ(p.bottom, Display().Layout().cells[4][0].top);
    EXPECT_EQ(g.top, p.bottom);
    EXPECT_EQ(g.left, Display().Layout().cells[4][4].left);
    Graphic* board = P().graphics.background;
    Graphic* strip = P().graphics.goalStrip;
    Graphic canvas(240, 294, 8, P().graphics.group);
    ASSERT_TRUE(canvas.IsLoaded());
    const LONG o = 40, x = 120;
    T().OnPanelOffset(o);
    panel->Draw(&canvas, nullptr);
    goal->Draw(&canvas, nullptr);
    for (LONG y = p.top; y < p.bottom - o; ++y)
        ASSERT_EQ(canvas.GetPixelColor(x, y), RGB(0, 0, 0)) << "row " << y;
    for (LONG y = p.bottom - o; y < p.bottom; ++y)
        ASSERT_EQ(canvas.GetPixelColor(x, y), board->GetPixelColor(x, p.top + y - (p.bottom - o)))
            << "row " << y << " is not the board's top, pushed down";
    // The strip is not out yet at this offset: its place keeps what was there.
    const COLORREF before = canvas.GetPixelColor(g.left + 5, g.top + 2);
    T().OnPanelOffset(10);
    goal->Draw(&canvas, nullptr);
    for (LONG y = 0; y < 8; ++y)
        ASSERT_EQ(canvas.GetPixelColor(g.left + 5, g.top + y), strip->GetPixelColor(5, 10 + y))
            << "strip row " << y;
    EXPECT_NE(canvas.GetPixelColor(g.left + 5, g.top + 2), before);
    RunOut();
}

TEST_F(Lesson, AWrongMoveInAnExerciseIsRefusedAndThePieceGoesBack) {
    game->StartTutorial(true, Target);
    RunOut();
    NextTo(4);
    const GameState before = Session().state;
    ASSERT_TRUE(Session().legalMoves.Find(19, 30)) << "the wrong move must be a legal one";
    EXPECT_FALSE(Session().MakeMove(19, 30, false));
    EXPECT_TRUE(Session().state == before);
    plays.clear();
    DragPiece(19, 30);
    RunOut();
    EXPECT_EQ(ShownColour(19), 2);
    EXPECT_EQ(ShownColour(30), 0);
    ASSERT_FALSE(plays.empty());
    EXPECT_EQ(plays.back().second, kSoundRefuse);
    EXPECT_TRUE(Session().state == before);
    EXPECT_EQ(T().Page(), 4);
    // The right one still works.
    DragPiece(2, 13);
    RunOut();
    EXPECT_EQ(T().Page(), 5);
    EXPECT_EQ(Session().state.turn, 2u) << "the learner keeps moving blue";
}

TEST_F(Lesson, TheSuccessPageComesOnlyOnceTheCaptureHasPlayed) {
    game->StartTutorial(true, Target);
    RunOut();
    NextTo(6);
    // 35 -> 45 captures red on 5, and the new blue piece there captures red on 31.
    DragPiece(35, 45);
    bool converting = false;
    for (int i = 0; i < 400 && T().Page() == 6; ++i) {
        Frames(1);
        for (Square s : {31, 5})
            if (AnimObject* piece = Display().PieceAt(s))
                converting = converting || PieceValue(piece, kPieceFrame) >= 0;
    }
    EXPECT_TRUE(converting) << "the captures were animated";
    ASSERT_EQ(T().Page(), 7);
    for (Square s : {31, 5}) {
        AnimObject* piece = Display().PieceAt(s);
        ASSERT_NE(piece, nullptr);
        EXPECT_EQ(PieceValue(piece, kPieceFrame), -1) << "square " << s << " still explodes";
        EXPECT_EQ(PieceValue(piece, kPieceColour), 2);
    }
    RunOut();
    ExpectShownIsState();
    EXPECT_EQ(PageText(), Raw(24));
}

TEST_F(Lesson, BackAndNextSoundAndSkipAndTheGameCommandsAreRefused) {
    PlayTwoMoves();
    const GameState saved = Session().state;
    Command(kCommandHelp);
    RunOut();
    plays.clear();
    Command(kCommandTutorialBack);
    EXPECT_EQ(plays.back().second, kSoundRefuse) << "nothing before page 0";
    EXPECT_EQ(T().Page(), 0);
    NextTo(4);
    Command(kCommandTutorialNext);
    RunOut();
    EXPECT_EQ(T().Page(), 6);
    EXPECT_TRUE(SameSides(Session().state, PagePosition(6)));
    Command(kCommandTutorialBack);
    RunOut();
    EXPECT_EQ(T().Page(), 4);
    ExpectShownIsState();
    NextTo(kTutorialLastPage);
    EXPECT_TRUE(MenuButtons::IsHidden(P().menu.Find(kCommandTutorialNext)));
    plays.clear();
    Command(kCommandTutorialNext);
    EXPECT_EQ(plays.back().second, kSoundRefuse);
    EXPECT_EQ(T().Page(), kTutorialLastPage);

    // Undo, redo, a new game and the tutorial again would act on the lesson's position.
    const GameState lesson = Session().state;
    for (WORD id : {kCommandUndo, kCommandRedo, kCommandNewGame, kCommandHelp}) {
        plays.clear();
        Command(id);
        RunOut();
        EXPECT_EQ(plays.back().second, kSoundRefuse) << id;
    }
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(Session().state == lesson);
    EXPECT_EQ(T().Page(), kTutorialLastPage);
    Command(kCommandTutorialExit);
    RunOut();
    EXPECT_TRUE(Session().state == saved);
    EXPECT_TRUE(game->history.CanUndo());
}

TEST_F(Lesson, TheLanguageSwitchShowsThePageInEsperanto) {
    game->StartTutorial(true, Target);
    RunOut();
    NextTo(1);
    Command(kCommandLanguage);
    EXPECT_EQ(PageText(), Raw(13));
    NextTo(2);
    EXPECT_EQ(PageText(), Raw(15));
    Command(kCommandLanguage);
    EXPECT_EQ(PageText(), Raw(14));
}

TEST_F(Lesson, AComputerTurnDueWhenItStartsNeverPlaysIntoTheLesson) {
    settings.player1Computer = 1;
    settings.player1Strength = kStrengthLow;
    Session().NewGame();
    RunOut();
    // Red's pieces stand where the lesson's moves are generated, so that an answer to a search
    // started in the lesson would be played there.
    Session().state = PositionFromRows(
        {"...R.R.R...", "...........", "...........", "..B.B.B.B..", "..........."}, 2);
    Show(Session().state);
    Session().BeginHumanTurn();
    DragPiece(13, 24);
    // Red's turn is scheduled behind blue's move; the tutorial starts before it comes.
    ASSERT_EQ(Session().state.turn, 1u);
    Command(kCommandHelp);
    plays.clear();
    // Frames and messages interleave as in the frame loop, long enough for a search at the
    // lowest strength to answer.
    for (int frame = 0; frame < 300; ++frame) {
        Frames(1);
        if (frame % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&m);
    }
    RunOut();
    EXPECT_FALSE(Session().computerTurnPending);
    for (const auto& [frame, id] : plays)
        EXPECT_NE(id, kSoundSlide) << "the computer moved at frame " << frame;
    EXPECT_TRUE(SameSides(Session().state, PagePosition(0)));
    Command(kCommandTutorialExit);
    RunOut();
    EXPECT_EQ(Session().state.turn, 1u) << "red's turn comes back after the tutorial";
}

TEST_F(Lesson, AWindowClosedInTheMiddleTakesTheTutorialsObjectsWithIt) {
    PlayTwoMoves();
    Command(kCommandHelp);
    Frames(40);
    ASSERT_NE(T().PanelObject(), nullptr);
    DestroyWindow(main);
    EXPECT_EQ(T().PanelObject(), nullptr);
    game.reset();
    EXPECT_EQ(MemCountLive("ANIMTEXT"), 0u);
    EXPECT_EQ(MemCountLive("ANIMOBJECT"), 0u);
    EXPECT_EQ(MemCountLive("ANIMBUTTON"), 0u);
}

} // namespace
