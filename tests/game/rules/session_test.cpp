#include "game/rules/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_positions.h"

namespace {

using Log = std::vector<std::string>;

std::string Str(std::int64_t v) {
    return v == kNoTime ? std::string("end") : std::to_string(v);
}

// Every neighbour of the session in one recording fake. The sequence builders and the capture
// hook push the end of the timeline out as real ones would, by scheduling their own events.
class Neighbours : public PlayerSettings,
                   public BoardDisplay,
                   public SequenceBuilder,
                   public Timeline,
                   public SoundScheduler,
                   public MoveRecorder,
                   public TutorialGuide,
                   public ComputerOpponent,
                   public GameStore {
public:
    Log log;
    bool computer[3] = {false, false, false};
    bool piecesShown = false;
    FrameTime now = 50;
    FrameTime end = 60;
    bool allowTutorialMove = true;
    bool answerIsCurrent = true;
    bool haveSavedGame = false;
    GameState savedState{};
    std::vector<MOVE> history;
    std::vector<GameState> searches;
    std::vector<GameState> saves;

    SessionNeighbours All() {
        SessionNeighbours n;
        n.settings = this;
        n.display = this;
        n.sequences = this;
        n.timeline = this;
        n.sounds = this;
        n.history = this;
        n.tutorial = this;
        n.opponent = this;
        n.store = this;
        return n;
    }

    bool IsComputer(std::uint32_t player) const override { return player <= 2 && computer[player]; }

    void UpdateBanner(const GameSession& s) override {
        log.push_back("banner winner=" + Str(s.winner) + " turn=" + Str(s.state.turn) +
                      " human=" + Str(s.humanMayMove));
    }
    bool AnyPieceShown() const override { return piecesShown; }
    void SynchronisePieces(const GameState&) override { log.push_back("sync"); }

    FrameTime MovePiece(Square from, Square to, FrameTime start) override {
        log.push_back("movepiece " + Str(from) + " " + Str(to) + " at " + Str(start));
        return Extend(start + 8);
    }
    FrameTime AnimateCapture(Square corner, Square captured, FrameTime start) override {
        log.push_back("capture " + Str(corner) + " " + Str(captured) + " at " + Str(start));
        return Extend(start + 15);
    }
    FrameTime ClearBoard(FrameTime start) override {
        log.push_back("clearboard at " + Str(start));
        piecesShown = false;
        return Extend(start + 20);
    }
    FrameTime SetUpBoard(const GameState& state, FrameTime start) override {
        log.push_back("setupboard turn=" + Str(state.turn) + " at " + Str(start));
        piecesShown = true;
        return Extend(start + 30);
    }

    FrameTime Now() const override { return now; }
    FrameTime EndOfTimeline() const override { return end; }
    void Schedule(FrameTime frame, std::uint32_t code, std::uint32_t data) override {
        log.push_back("event " + Str(code) + " at " + Str(frame) + " data " + Str(data));
        Extend(frame + 1);
    }
    void Cancel(std::uint32_t code) override { log.push_back("cancel " + Str(code)); }
    void Freeze() override { log.push_back("freeze"); }
    void Unfreeze() override { log.push_back("unfreeze"); }
    void AdvanceToEnd() override {
        log.push_back("advance");
        now = end;
    }

    void ScheduleSound(int sound, FrameTime frame) override {
        log.push_back("sound " + Str(sound) + " at " + Str(frame));
    }

    void AppendMove(const MOVE& move) override {
        log.push_back("history append " + Str(move.from) + " " + Str(move.to));
        history.push_back(move);
    }
    void ClearMoves() override {
        log.push_back("history clear");
        history.clear();
    }

    bool MoveCheck(const MOVE& move) override {
        log.push_back("tutorial check " + Str(move.from) + " " + Str(move.to));
        return allowTutorialMove;
    }

    void StartSearch(const GameState& state) override {
        log.push_back("search turn=" + Str(state.turn));
        searches.push_back(state);
    }
    void RequestCancel() override { log.push_back("search cancel"); }
    bool TakeAnswer(std::int64_t lParam) override {
        log.push_back("search answer " + Str(lParam));
        return answerIsCurrent;
    }

    void Save(const GameSession& s) override {
        log.push_back("save winner=" + Str(s.winner) + " turn=" + Str(s.state.turn));
        saves.push_back(s.state);
    }
    bool Load(GameState& state) override {
        log.push_back("load");
        if (haveSavedGame) state = savedState;
        return haveSavedGame;
    }

private:
    FrameTime Extend(FrameTime t) {
        end = std::max(end, t);
        return t;
    }
};

class SessionTest : public ::testing::Test {
protected:
    Neighbours fake;
    GameSession session{fake.All()};

    // A game under way with the human (player 2) to move, and a clean log.
    void StartHumanTurn() {
        session.NewGame();
        session.BeginHumanTurn();
        fake.log.clear();
        fake.saves.clear();
    }
};

TEST_F(SessionTest, NewGameOnEmptyBoard) {
    session.winner = 2;
    session.humanMayMove = true;
    session.state.turn = 1;
    session.NewGame();
    const Log expected = {
        "search cancel",
        "history clear",
        "banner winner=0 turn=2 human=0",
        "cancel 0",
        "cancel 1",
        "advance",
        "setupboard turn=2 at 70", // end of timeline (60) + 10, nothing to clear
        "event 0 at 100 data 0",   // the first turn once the set-up has played
        "save winner=0 turn=2",
    };
    EXPECT_EQ(fake.log, expected);
    GameState start;
    InitStartPosition(start);
    EXPECT_EQ(session.state, start);
    EXPECT_EQ(session.winner, 0u);
    EXPECT_FALSE(session.humanMayMove);
    EXPECT_TRUE(session.legalMoves.empty());
}

TEST_F(SessionTest, NewGameClearsShownBoardAndDropsPendingComputerTurn) {
    fake.computer[1] = true;
    StartHumanTurn();
    session.MarkComputerTurn(); // marked in the old game, search not yet started
    session.NewGame();
    const Log tail(fake.log.end() - 4, fake.log.end());
    // The old game's turn event ran to frame 101: the new set-up follows it.
    const Log expected = {"clearboard at 111", "setupboard turn=2 at 131", "event 0 at 161 data 0",
                          "save winner=0 turn=2"};
    EXPECT_EQ(tail, expected);
    EXPECT_FALSE(session.computerTurnPending);
    session.BeginComputerTurn();
    EXPECT_TRUE(fake.searches.empty());
}

TEST_F(SessionTest, HumanTurnThenAnimatedMoveWithCapture) {
    StartHumanTurn();
    EXPECT_TRUE(session.humanMayMove);
    EXPECT_EQ(session.legalMoves.size(), 38u);

    // Player 2 completes a rectangle: (3,3), (3,6), (6,3) capture player 1's (6,6).
    session.state = MakePosition({{6, 6}, {8, 1}, {8, 2}, {8, 9}}, {{3, 3}, {3, 6}, {7, 3}}, 2);
    fake.now = 200;
    ASSERT_TRUE(session.MakeMove(Sq(7, 3), Sq(6, 3), true));
    const Log expected = {
        "history append 80 69",  "sound 1042 at 201",    "movepiece 80 69 at 201",
        "capture 36 72 at 209", // corner (3,3), captured (6,6), after the travelling piece
        "event 0 at 224 data 0", "save winner=0 turn=1",
    };
    EXPECT_EQ(fake.log, expected);
    ASSERT_EQ(fake.history.size(), 1u);
    EXPECT_EQ(fake.history[0].after, session.state);
    EXPECT_EQ(SquareOwner(session.state, Sq(6, 6)), 2);
    EXPECT_FALSE(session.humanMayMove);
    EXPECT_EQ(fake.saves.back(), session.state);
}

TEST_F(SessionTest, DraggedMoveHasNoSlideAndComputerGetsTheTurn) {
    fake.computer[1] = true;
    StartHumanTurn();
    fake.now = 300;
    ASSERT_TRUE(session.MakeMove(31, 32, false));
    const Log expected = {"history append 31 32", "event 1 at 301 data 0", "save winner=0 turn=1"};
    EXPECT_EQ(fake.log, expected);

    fake.log.clear();
    session.BeginComputerTurn(); // nothing pending yet
    EXPECT_TRUE(fake.log.empty());
    session.MarkComputerTurn();
    EXPECT_TRUE(session.computerTurnPending);
    session.BeginComputerTurn();
    session.BeginComputerTurn(); // a second painted frame starts nothing more
    const Log started = {"banner winner=0 turn=1 human=0", "search turn=1"};
    EXPECT_EQ(fake.log, started);
    EXPECT_FALSE(session.computerTurnPending);
    EXPECT_EQ(session.legalMoves.size(), 38u);
    ASSERT_EQ(fake.searches.size(), 1u);
    EXPECT_EQ(fake.searches[0], session.state);
}

TEST_F(SessionTest, ComputerAnswer) {
    fake.computer[1] = true;
    StartHumanTurn();
    session.MakeMove(31, 32, false);
    session.MarkComputerTurn();
    session.BeginComputerTurn();
    fake.log.clear();
    session.OnComputerMove(0); // the search found nothing
    EXPECT_EQ(fake.log, Log{"search answer 0"});
    fake.log.clear();
    const std::int64_t answer = 97 | (86 << 16);
    session.OnComputerMove(answer);
    ASSERT_EQ(fake.history.size(), 2u);
    EXPECT_EQ(fake.history[1].from, 97);
    EXPECT_EQ(fake.history[1].to, 86);
    EXPECT_EQ(fake.log[0], "search answer " + Str(answer));
    EXPECT_EQ(fake.log[2], "sound 1042 at " + Str(fake.now + 1));
    EXPECT_EQ(session.state.turn, 2u);

    fake.log.clear();
    session.winner = 1; // any answer after the game is won is ignored
    session.OnComputerMove(20 | (31 << 16));
    EXPECT_EQ(fake.log.size(), 1u);
}

// An answer that raced a new game or an undo is never played: neither one the opponent calls
// stale, nor one that is not a legal move of the current position.
TEST_F(SessionTest, StaleComputerAnswerIsIgnored) {
    fake.computer[1] = true;
    StartHumanTurn();
    session.MakeMove(31, 32, false);
    session.MarkComputerTurn();
    session.BeginComputerTurn();
    const GameState before = session.state;
    fake.history.clear();
    fake.answerIsCurrent = false;
    session.OnComputerMove(97 | (85 << 16));
    EXPECT_TRUE(fake.history.empty());
    EXPECT_EQ(session.state, before);

    fake.answerIsCurrent = true;
    session.OnComputerMove(31 | (42 << 16)); // player 2's move, not the computer's
    session.OnComputerMove(97 | (97 << 16));
    session.OnComputerMove(0xFFFF | (5 << 16));
    EXPECT_TRUE(fake.history.empty());
    EXPECT_EQ(session.state, before);
    session.OnComputerMove(97 | (85 << 16));
    EXPECT_EQ(fake.history.size(), 1u);
}

TEST_F(SessionTest, WinEndsTheGameWithSound) {
    // Player 2 steps onto the third goal square.
    StartHumanTurn();
    session.state = MakePosition({{1, 1}, {1, 2}, {1, 3}}, {{10, 4}, {10, 6}, {9, 5}}, 2);
    ASSERT_TRUE(session.MakeMove(Sq(9, 5), Sq(10, 5), false));
    EXPECT_EQ(session.winner, 2u);
    const Log expected = {"history append 104 115", "sound 1037 at end",
                          "banner winner=2 turn=1 human=0", "save winner=2 turn=1"};
    EXPECT_EQ(fake.log, expected);

    // The same win by a computer player plays the other sound.
    fake.computer[2] = true;
    fake.log.clear();
    session.state = MakePosition({{1, 1}, {1, 2}, {1, 3}}, {{10, 4}, {10, 6}, {9, 5}}, 2);
    session.MakeMove(Sq(9, 5), Sq(10, 5), false);
    EXPECT_EQ(fake.log[1], "sound 1031 at end");
}

TEST_F(SessionTest, EndTurnAtEndOfTimeline) {
    StartHumanTurn();
    fake.end = 444;
    session.humanMayMove = true;
    session.EndTurn(kNoTime);
    const Log expected = {"event 0 at 444 data 0", "save winner=0 turn=2"};
    EXPECT_EQ(fake.log, expected);
    EXPECT_FALSE(session.humanMayMove);
}

TEST_F(SessionTest, TutorialMoveKeepsTheColourAndChecksProgress) {
    StartHumanTurn();
    session.tutorialMode = true;
    session.state = MakePosition({{3, 7}}, {{1, 5}, {4, 2}}, 2);
    session.BeginHumanTurn();
    EXPECT_EQ(session.legalMoves.size(), 8u); // tutorial rows: row 4 has no forward move
    fake.log.clear();
    fake.now = 10;
    ASSERT_TRUE(session.MakeMove(Sq(1, 5), Sq(3, 5), false));
    const Log expected = {"tutorial check 16 38", "event 16 at 12 data 0"};
    EXPECT_EQ(fake.log, expected);
    EXPECT_EQ(session.state.turn, 2u);
    EXPECT_TRUE(session.humanMayMove);
    EXPECT_TRUE(fake.history.empty());
    ASSERT_NE(session.legalMoves.Find(Sq(3, 5), Sq(4, 5)), nullptr);
    EXPECT_EQ(session.legalMoves.Find(Sq(1, 5), Sq(3, 5)), nullptr);
}

TEST_F(SessionTest, TutorialRefusalChangesNothing) {
    StartHumanTurn();
    session.tutorialMode = true;
    session.state = MakePosition({{3, 7}}, {{1, 5}, {4, 2}}, 2);
    session.BeginHumanTurn();
    fake.log.clear();
    fake.allowTutorialMove = false;
    const GameState before = session.state;
    EXPECT_FALSE(session.MakeMove(Sq(1, 5), Sq(2, 5), true));
    const Log expected = {"tutorial check 16 27"};
    EXPECT_EQ(fake.log, expected);
    EXPECT_EQ(session.state, before);
    EXPECT_EQ(session.legalMoves.size(), 8u);
    EXPECT_TRUE(session.humanMayMove);
}

TEST_F(SessionTest, RestoreGame) {
    EXPECT_FALSE(session.RestoreGame());
    const Log none = {"load"};
    EXPECT_EQ(fake.log, none);

    fake.log.clear();
    fake.computer[1] = true;
    fake.haveSavedGame = true;
    fake.savedState = MakePosition({{8, 1}, {7, 5}, {8, 9}}, {{2, 1}, {3, 5}, {2, 9}}, 1);
    session.winner = 2;
    fake.piecesShown = true;
    ASSERT_TRUE(session.RestoreGame());
    const Log expected = {
        "load",
        "banner winner=0 turn=1 human=0",
        "cancel 0",
        "cancel 1",
        "advance",
        "clearboard at 70",
        "setupboard turn=1 at 90",
        "event 1 at 120 data 0", // player 1 is the computer
        "save winner=0 turn=1",
    };
    EXPECT_EQ(fake.log, expected);
    EXPECT_EQ(session.state, fake.savedState);
    EXPECT_EQ(session.winner, 0u);
}

} // namespace
