#include "game/rules/history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/platform/temp_machine.h"

namespace {

std::string U8(const string& text) {
    const string8 narrow(text);
    return std::string(narrow.c_str(), narrow.length());
}

RegistryValue GameValue(const char* name) {
    return RegistryValue(RegistryKey(string(kGameKeyPath)), string(name));
}

std::vector<BYTE> RawValue(const char* name) {
    const RegistryData d = ReadBinary(GameValue(name));
    return std::vector<BYTE>(d.data, d.data + d.size);
}

bool PutBytes(const char* name, const std::vector<BYTE>& bytes) {
    return WriteBinary(GameValue(name), RegistryData(const_cast<BYTE*>(bytes.data()),
                                                     static_cast<DWORD>(bytes.size())));
}

// A real session and history with neighbours that carry every timeline event out at once and
// answer for the computer only when the test says so.
class Game : public PlayerSettings,
             public BoardDisplay,
             public SequenceBuilder,
             public Timeline,
             public SoundScheduler,
             public ComputerOpponent {
public:
    bool computer[3] = {false, true, false};
    int searches = 0;
    int cancels = 0;
    int syncs = 0;
    bool shown = false;
    MoveHistory history;
    GameSession session;

    Game() : session(Neighbours()) {
        HistoryNeighbours h;
        h.session = &session;
        h.settings = this;
        h.display = this;
        h.timeline = this;
        h.opponent = this;
        history.Attach(h);
    }

    SessionNeighbours Neighbours() {
        SessionNeighbours n;
        n.settings = this;
        n.display = this;
        n.sequences = this;
        n.timeline = this;
        n.sounds = this;
        n.history = &history;
        n.opponent = this;
        n.store = &history;
        return n;
    }

    // Plays every pending event, then a painted frame.
    void Run() {
        AdvanceToEnd();
        session.BeginComputerTurn();
    }
    // A human move that must be legal now.
    void Human(Square from, Square to) {
        Run();
        ASSERT_TRUE(session.humanMayMove);
        ASSERT_NE(session.legalMoves.Find(from, to), nullptr) << from << " " << to;
        session.MakeMove(from, to, false);
        Run();
    }
    // The computer's answer: the first legal move, as a search would post it.
    void Computer() {
        Run();
        ASSERT_EQ(searches > 0, true);
        ASSERT_FALSE(session.legalMoves.empty());
        const MOVE& m = session.legalMoves[0];
        session.OnComputerMove(static_cast<std::int64_t>(m.from) | (std::int64_t(m.to) << 16));
        Run();
    }

    bool IsComputer(std::uint32_t player) const override { return player <= 2 && computer[player]; }
    void UpdateBanner(const GameSession&) override {}
    bool AnyPieceShown() const override { return shown; }
    void SynchronisePieces(const GameState&) override { ++syncs; }
    FrameTime MovePiece(Square, Square, FrameTime start) override { return start + 1; }
    FrameTime AnimateCapture(Square, Square, FrameTime start) override { return start + 1; }
    FrameTime ClearBoard(FrameTime start) override {
        shown = false;
        return start + 1;
    }
    FrameTime SetUpBoard(const GameState&, FrameTime start) override {
        shown = true;
        return start + 1;
    }
    FrameTime Now() const override { return now_; }
    FrameTime EndOfTimeline() const override {
        return events_.empty() ? now_ : std::max(now_, events_.rbegin()->first + 1);
    }
    void Schedule(FrameTime frame, std::uint32_t code, std::uint32_t) override {
        events_.emplace(frame, code);
    }
    void Cancel(std::uint32_t code) override {
        for (auto it = events_.begin(); it != events_.end();)
            it = it->second == code ? events_.erase(it) : std::next(it);
    }
    void Freeze() override {}
    void Unfreeze() override {}
    void AdvanceToEnd() override {
        while (!events_.empty()) {
            const auto [frame, code] = *events_.begin();
            events_.erase(events_.begin());
            now_ = std::max(now_, frame);
            if (code == kEventHumanTurn) session.BeginHumanTurn();
            if (code == kEventComputerTurn) session.MarkComputerTurn();
        }
    }
    void ScheduleSound(int, FrameTime) override {}
    void StartSearch(const GameState&) override { ++searches; }
    void RequestCancel() override { ++cancels; }
    bool TakeAnswer(std::int64_t) override { return true; }

private:
    FrameTime now_ = 0;
    std::multimap<FrameTime, std::uint32_t> events_;
};

GameState Start() {
    GameState s;
    InitStartPosition(s);
    return s;
}

std::string Text(const MoveHistory& h) {
    GameState ignored;
    return U8(h.WriteHistoryText(ignored));
}

} // namespace

TEST(MoveHistory, UndoAgainstTheComputerTakesBackTheReplyToo) {
    TempMachine machine;
    Game g;
    g.session.NewGame();
    g.Human(31, 32);
    g.Computer();
    const GameState afterFirstPair = g.session.state;
    g.Human(29, 40);
    g.Computer();
    ASSERT_EQ(g.history.done.size(), 4u);
    ASSERT_EQ(g.session.state.turn, 2u);

    const int cancelsBefore = g.cancels;
    g.history.UndoMove();
    EXPECT_EQ(g.cancels, cancelsBefore + 1);
    EXPECT_EQ(g.history.done.size(), 2u);
    EXPECT_EQ(g.history.redo.size(), 2u);
    EXPECT_EQ(g.session.state, afterFirstPair);
    EXPECT_EQ(g.history.redo.back().from, 29) << "the human's move is replayed first";
    g.Run();
    EXPECT_TRUE(g.session.humanMayMove) << "the turn is the human's again";

    // Undo while the computer thinks: only the human's move goes back.
    g.Human(23, 34);
    ASSERT_EQ(g.session.state.turn, 1u);
    g.history.UndoMove();
    EXPECT_EQ(g.history.done.size(), 2u);
    EXPECT_EQ(g.session.state, afterFirstPair);
    EXPECT_FALSE(g.session.computerTurnPending);

    // Back to the start; another undo changes nothing.
    g.history.UndoMove();
    EXPECT_TRUE(g.history.done.empty());
    EXPECT_EQ(g.session.state, Start());
    g.history.UndoMove();
    EXPECT_EQ(g.session.state, Start());
    EXPECT_EQ(g.history.redo.size(), 3u) << "playing 23 34 emptied redo; three moves undone since";
}

TEST(MoveHistory, UndoOfTheOnlyMoveStopsAtTheBase) {
    TempMachine machine;
    Game g;
    // A history whose base has player 1 to move: player 2, facing the computer, is to move
    // after one recorded move, so undo would take two.
    GameState base = Start();
    base.turn = 1;
    g.history.ReadHistoryText(base, string("1,96,85,0"));
    ASSERT_EQ(g.history.done.size(), 1u);
    g.session.state = g.history.done.back().after;
    g.history.UndoMove();
    EXPECT_TRUE(g.history.done.empty());
    EXPECT_EQ(g.history.redo.size(), 1u);
    EXPECT_EQ(g.session.state, base);
    EXPECT_EQ(g.session.winner, 0u);
}

TEST(MoveHistory, TwoHumansUndoOneMoveAtATime) {
    TempMachine machine;
    Game g;
    g.computer[1] = false;
    g.session.NewGame();
    g.Human(31, 32);
    g.Human(96, 85);
    g.history.UndoMove();
    EXPECT_EQ(g.history.done.size(), 1u);
    EXPECT_EQ(g.session.state.turn, 1u);
    g.Run();
    EXPECT_TRUE(g.session.humanMayMove);
}

TEST(MoveHistory, RedoReplaysInReverseOrderOfUndoing) {
    TempMachine machine;
    Game g;
    g.computer[1] = false;
    g.session.NewGame();
    g.Human(31, 32);
    g.Human(96, 85);
    g.Human(29, 40);
    const GameState end = g.session.state;
    for (int i = 0; i < 3; ++i) {
        g.history.UndoMove();
        g.Run();
    }
    EXPECT_EQ(Text(g.history), "0,3,29,40,96,85,31,32");
    g.history.RedoMove();
    g.Run();
    EXPECT_EQ(Text(g.history), "1,31,32,2,29,40,96,85");
    g.history.RedoMove();
    g.history.RedoMove();
    g.Run();
    EXPECT_EQ(g.session.state, end);
    EXPECT_FALSE(g.history.CanRedo());
    g.history.RedoMove(); // nothing to redo
    EXPECT_EQ(g.history.done.size(), 3u);
}

TEST(MoveHistory, ReplayingTheNextMoveKeepsRedoAnyOtherEmptiesIt) {
    TempMachine machine;
    Game g;
    g.computer[1] = false;
    g.session.NewGame();
    g.Human(31, 32);
    g.Human(96, 85);
    g.history.UndoMove();
    g.Run();
    g.history.UndoMove();
    g.Run();
    ASSERT_EQ(g.history.redo.size(), 2u);
    g.Human(31, 32); // by hand, the move redo would replay
    EXPECT_EQ(g.history.redo.size(), 1u);
    EXPECT_EQ(g.history.redo.back().from, 96);
    g.Human(96, 84); // not the one in line
    EXPECT_TRUE(g.history.redo.empty());
}

TEST(MoveHistory, TextRoundTripsAndKeepsThePositions) {
    MoveHistory h;
    EXPECT_EQ(Text(h), "0,0");
    GameState s = Start();
    const Square moves[][2] = {{31, 32}, {96, 85}, {29, 40}, {94, 83}, {40, 51}};
    for (const auto& m : moves) {
        MOVE move{m[0], m[1], s};
        ApplyMove(move.after, m[0], m[1], kNoTime);
        s = move.after;
        h.AppendHistory(move);
    }
    h.redo.push_back(h.done.back());
    h.redo.push_back(h.done[h.done.size() - 2]);
    h.done.resize(3);
    GameState baseOut{};
    const string text = h.WriteHistoryText(baseOut);
    EXPECT_EQ(U8(text), "3,31,32,96,85,29,40,2,40,51,94,83");
    EXPECT_EQ(baseOut, Start());

    MoveHistory back;
    back.ReadHistoryText(baseOut, text);
    ASSERT_EQ(back.done.size(), 3u);
    ASSERT_EQ(back.redo.size(), 2u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.done[i].from, h.done[i].from);
        EXPECT_EQ(back.done[i].to, h.done[i].to);
        EXPECT_EQ(back.done[i].after, h.done[i].after);
    }
    EXPECT_EQ(back.redo[0].from, 40);
    EXPECT_EQ(back.redo[1].from, 94);
    EXPECT_EQ(Text(back), U8(text));

    // The example of the saved-history format.
    MoveHistory two;
    two.ReadHistoryText(Start(), string("2,31,32,96,85,0"));
    EXPECT_EQ(two.done.size(), 2u);
    EXPECT_EQ(Text(two), "2,31,32,96,85,0");
}

TEST(MoveHistory, MalformedTextNeverFailsAndInventsNoMoves) {
    const struct {
        const char* text;
        std::size_t done;
        std::size_t redo;
    } cases[] = {
        {"", 0, 0},
        {"garbage", 0, 0},
        {",,,", 0, 0},
        {"1,31,32", 1, 0},
        {"1,31,32,", 1, 0},
        {"2,31,32", 1, 0},    // the text ends early
        {"4294967295", 0, 0}, // an absurd count with nothing behind it
        {"1,31,32,1,96,85,7", 1, 1},
        {"1,31,999,0", 0, 0},            // off the board
        {"1,50,51,0", 0, 0},             // no piece there
        {"1,31,30,0", 0, 0},             // onto a piece
        {"1,96,85,0", 0, 0},             // the other side's piece
        {"2,31,32,96,85,1,31,42", 2, 0}, // the redo move no longer fits
        {"1,31,32 ,0", 1, 0},
        {"-1,31,32", 0, 0},
    };
    for (const auto& c : cases) {
        MoveHistory h;
        h.ReadHistoryText(Start(), string(c.text));
        EXPECT_EQ(h.done.size(), c.done) << c.text;
        EXPECT_EQ(h.redo.size(), c.redo) << c.text;
        for (const MOVE& m : h.done)
            EXPECT_TRUE(IsConsistent(m.after, 18)) << c.text;
    }
}

TEST(SavedGame, RecordLayoutByteForByte) {
    TempMachine machine;
    MoveHistory h;
    GameState current = Start();
    ApplyMove(current, 31, 32, kNoTime);
    h.AppendHistory(MOVE{31, 32, current});
    h.SaveGame(0, current);

    const std::vector<BYTE> raw = RawValue(kSavedGameName);
    ASSERT_EQ(raw.size(), 320u);
    EXPECT_EQ(GetType(GameValue(kSavedGameName)), REG_BINARY);
    EXPECT_EQ(std::vector<BYTE>(raw.begin(), raw.begin() + 8),
              (std::vector<BYTE>{0x00, 0x00, 0x01, 0x00, 0, 0, 0, 0}));
    std::uint8_t stored[kStoredGameStateSize];
    StoreGameState(current, stored);
    EXPECT_EQ(std::memcmp(raw.data() + 8, stored, sizeof stored), 0);
    StoreGameState(Start(), stored);
    EXPECT_EQ(std::memcmp(raw.data() + 164, stored, sizeof stored), 0);
    // Turns at 160 and 316; player 2's nine pieces counted at 84 + 68.
    EXPECT_EQ(raw[160], 1);
    EXPECT_EQ(raw[316], 2);
    EXPECT_EQ(raw[84 + 68], 9);
    EXPECT_EQ(raw[164 + 22], 0) << "padding stored as zero";

    EXPECT_EQ(GetType(GameValue(kSavedHistoryName)), REG_SZ);
    EXPECT_EQ(U8(ReadString(GameValue(kSavedHistoryName))), "1,31,32,0");
    EXPECT_EQ(GetSize(GameValue(kSavedHistoryName)), 10u * 2);
}

TEST(SavedGame, RestoresPositionHistoryAndRedo) {
    TempMachine machine;
    {
        Game g;
        g.session.NewGame();
        g.Human(31, 32);
        g.Computer();
        g.Human(29, 40);
        g.Computer();
        g.history.UndoMove();
        g.Run();
    }
    Game g;
    ASSERT_TRUE(g.session.RestoreGame());
    EXPECT_EQ(g.history.done.size(), 2u);
    EXPECT_EQ(g.history.redo.size(), 2u);
    EXPECT_EQ(g.session.state, g.history.done.back().after);
    g.Run();
    EXPECT_TRUE(g.session.humanMayMove);
    g.history.RedoMove();
    g.Run();
    // The computer's reply is the same as before: it comes out of redo as well.
    g.Computer();
    EXPECT_EQ(g.history.done.size(), 4u);
    EXPECT_TRUE(g.history.redo.empty());
}

TEST(SavedGame, WhatIsNotResumed) {
    TempMachine machine;
    GameState state{};
    MoveHistory h;
    EXPECT_FALSE(h.RestoreGame(state)) << "nothing saved";

    // A won game is saved with its winner and not resumed.
    h.SaveGame(2, Start());
    EXPECT_FALSE(h.RestoreGame(state));

    // Another major version, a header cut short, a foreign value.
    std::vector<BYTE> bytes = RawValue(kSavedGameName);
    bytes[4] = 0;
    bytes[2] = 2;
    ASSERT_TRUE(PutBytes(kSavedGameName, bytes));
    EXPECT_FALSE(h.RestoreGame(state));
    ASSERT_TRUE(PutBytes(kSavedGameName, {0x00, 0x00, 0x01}));
    EXPECT_FALSE(h.RestoreGame(state));
    ASSERT_TRUE(WriteString(GameValue(kSavedGameName), string("1,31,32,0")));
    EXPECT_FALSE(h.RestoreGame(state));
    // A header alone, or a record cut before the side to move: no game to resume.
    ASSERT_TRUE(PutBytes(kSavedGameName, {0x00, 0x00, 0x01, 0x00}));
    EXPECT_FALSE(h.RestoreGame(state));
    h.SaveGame(0, Start());
    bytes = RawValue(kSavedGameName);
    bytes.resize(100);
    ASSERT_TRUE(PutBytes(kSavedGameName, bytes));
    EXPECT_FALSE(h.RestoreGame(state));

    // A position that contradicts itself is no game either: a square held by both sides,
    // a count that disagrees with the rows, a piece off the board.
    const auto damaged = [&](auto&& damage) {
        GameState bad = Start();
        damage(bad);
        h.SaveGame(0, bad);
        return !h.RestoreGame(state);
    };
    EXPECT_TRUE(damaged([](GameState& g) { g.sides[0].rows[2] |= g.sides[1].rows[2]; }));
    EXPECT_TRUE(damaged([](GameState& g) { g.sides[1].pieceCount = 40; }));
    EXPECT_TRUE(damaged([](GameState& g) { g.sides[0].rows[5] = 0x8000; }));
    EXPECT_FALSE(damaged([](GameState&) {}));
}

TEST(SavedGame, DamagedPartsFallBackWithoutLosingThePosition) {
    TempMachine machine;
    MoveHistory h;
    GameState current = Start();
    ApplyMove(current, 31, 32, kNoTime);
    h.AppendHistory(MOVE{31, 32, current});
    h.SaveGame(0, current);

    // A later minor version with extra bytes is read.
    std::vector<BYTE> bytes = RawValue(kSavedGameName);
    bytes[0] = 5;
    bytes.resize(400, 0xEE);
    ASSERT_TRUE(PutBytes(kSavedGameName, bytes));
    MoveHistory a;
    GameState state{};
    ASSERT_TRUE(a.RestoreGame(state));
    EXPECT_EQ(state, current);
    EXPECT_EQ(a.done.size(), 1u);

    // No history: the position with an empty history.
    ASSERT_TRUE(DeleteValue(GameValue(kSavedHistoryName)));
    MoveHistory b;
    ASSERT_TRUE(b.RestoreGame(state));
    EXPECT_EQ(state, current);
    EXPECT_FALSE(b.CanUndo());
    EXPECT_EQ(b.base, Start());

    // A history of the wrong type reads as empty; one that does not fit stops where it stops
    // fitting.
    ASSERT_TRUE(WriteNumber(GameValue(kSavedHistoryName), 3));
    MoveHistory c;
    ASSERT_TRUE(c.RestoreGame(state));
    EXPECT_FALSE(c.CanUndo());
    ASSERT_TRUE(WriteString(GameValue(kSavedHistoryName), string("3,31,32,50,51,29,40,0")));
    MoveHistory d;
    ASSERT_TRUE(d.RestoreGame(state));
    EXPECT_EQ(d.done.size(), 1u);

    // A record cut inside the base keeps the position and drops the history it cannot replay.
    bytes = RawValue(kSavedGameName);
    bytes.resize(200);
    ASSERT_TRUE(PutBytes(kSavedGameName, bytes));
    MoveHistory e;
    ASSERT_TRUE(e.RestoreGame(state));
    EXPECT_EQ(state, current);
    EXPECT_FALSE(e.CanUndo());
    EXPECT_EQ(e.base, current);

    // So does a base that contradicts itself.
    GameState badBase = Start();
    badBase.sides[0].rowCount[8] = 3;
    std::uint8_t record[kSavedGameRecordSize];
    StoreSavedGame(0, current, badBase, record);
    h.SaveGame(0, current);
    bytes = RawValue(kSavedGameName);
    std::copy(record, record + sizeof record, bytes.end() - static_cast<long>(sizeof record));
    ASSERT_TRUE(PutBytes(kSavedGameName, bytes));
    MoveHistory f;
    ASSERT_TRUE(f.RestoreGame(state));
    EXPECT_EQ(state, current);
    EXPECT_FALSE(f.CanUndo());
}

TEST(MoveHistory, UndoDropsAComputerTurnMarkedOnTheWay) {
    TempMachine machine;
    Game g;
    g.session.NewGame();
    g.Run();
    // The human's move schedules the computer's turn; undo carries that event out on its way.
    g.session.MakeMove(31, 32, false);
    const int searches = g.searches;
    g.history.UndoMove();
    g.Run();
    EXPECT_EQ(g.searches, searches) << "no search for the human's side";
    EXPECT_TRUE(g.session.humanMayMove);
    EXPECT_EQ(g.session.state, Start());
}
