// Animation sequences on a real game window: the easing of a moving piece, the frames of a
// cascade, the life of light traces and spots, the glow sums, and closing in the middle of it.
#include "tests/game/presentation/board_fixture.h"

#include <cmath>

namespace {

TEST(Easing, FractionsOfTheTenSteps) {
    const double expected[9] = {0.0041, 0.0372, 0.1033, 0.2025, 0.5,
                                0.6653, 0.7975, 0.8967, 0.9628};
    for (int step = 0; step < 9; ++step) {
        EXPECT_NEAR(EasedFraction(step, 0, -60), expected[step], 0.00005) << "step " << step;
        // The fraction does not depend on the length of the path, down to a single pixel.
        EXPECT_NEAR(EasedFraction(step, 1, 0), expected[step], 0.00005) << "step " << step;
    }
}

TEST(Lights, LevelsAndPatterns) {
    // Capture traces are brighter and longer than sweeps; ambient traces are faint.
    EXPECT_EQ(TraceLevel(kTraceCapture, 0), 5);
    EXPECT_EQ(TraceLevel(kTraceCapture, 9), 1);
    EXPECT_EQ(TraceLevel(kTraceCapture, 10), 0);
    EXPECT_EQ(TraceLevel(kTraceSweep, 3), 2);
    EXPECT_EQ(TraceLevel(kTraceAmbient, 0), 1);
    EXPECT_EQ(TraceLevel(kTraceAmbient, 7), 0);
    // A target spot pulses 3, 4, 5, 4 in the middle with a dim ring.
    EXPECT_EQ(SpotLevel(kSpotTarget, 2, 0, 0), 5);
    EXPECT_EQ(SpotLevel(kSpotTarget, 5, 0, 0), 4);
    EXPECT_EQ(SpotLevel(kSpotTarget, 0, 1, -1), 1);
    EXPECT_EQ(SpotLevel(kSpotTarget, 0, 2, 0), 0);
    // A capture spot is a ring that grows: bright at first in the middle, at the end only at
    // the rim.
    EXPECT_EQ(SpotLevel(kSpotCapture, 0, 0, 0), 5);
    EXPECT_EQ(SpotLevel(kSpotCapture, 7, 0, 0), 0);
    EXPECT_EQ(SpotLevel(kSpotCapture, 7, -3, -2), 1);
    EXPECT_EQ(SpotLevel(kSpotCapture, 4, 0, 3), 1);
    EXPECT_EQ(SpotLevel(kSpotCapture, 4, 0, 4), 0);
}

class Sequencing : public GameBoard {};

// Tutorial page 6's exercise: blue's step 35 -> 45 captures red on 5, which as a blue piece
// captures red on 31.
const std::vector<const char*> kTwoWaves = {".....B.....", "..B........", ".....B...R.",
                                            "...........", ".B...R...B."};

struct CaptureLog : CaptureAnimator {
    Sequencer* sequencer;
    struct Call {
        Square corner, captured;
        FrameTime start, end;
    };
    std::vector<Call> calls;
    FrameTime AnimateCapture(Square corner, Square captured, FrameTime start) override {
        const FrameTime end = sequencer->AnimateCapture(corner, captured, start);
        calls.push_back({corner, captured, start, end});
        return end;
    }
};

TEST_F(Sequencing, ASecondWaveWaitsForTheFirstWavesConversion) {
    GameState state = PositionFromRows(kTwoWaves, 2);
    Show(state);
    Frames(1);
    // The human's piece has been dragged there already.
    Display().MovePieceReference(35, 45);
    Display().SetPieceSquare(Display().PieceAt(45), 45);
    Display().PlacePiece(Display().PieceAt(45));

    CaptureLog log;
    log.sequencer = &Sequences();
    const FrameTime t0 = Now() + 1;
    const FrameTime end = ApplyMove(state, 35, 45, t0, &log);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].corner, 45);
    EXPECT_EQ(log.calls[0].captured, 5);
    EXPECT_EQ(log.calls[0].start, t0);
    // The traces cover 8 squares, 2 frames each; the conversion takes 24 frames more.
    const FrameTime arrive1 = t0 + 16;
    EXPECT_EQ(log.calls[0].end, arrive1 + 24);
    EXPECT_EQ(log.calls[1].corner, 5);
    EXPECT_EQ(log.calls[1].captured, 31);
    EXPECT_EQ(log.calls[1].start, arrive1 + 24);
    const FrameTime arrive2 = arrive1 + 24 + 12;
    EXPECT_EQ(end, arrive2 + 24);

    AnimObject* first = Display().PieceAt(5);
    AnimObject* second = Display().PieceAt(31);
    ASSERT_TRUE(first && second);
    // Both traces of the first capture light the corner from their first frame.
    Frames(t0 - Now() + 1);
    EXPECT_EQ(Display().ShownLevel(45), 5);
    EXPECT_EQ(Sequences().Traces().size(), 4u) << "both captures' traces exist from the start";

    Frames(arrive1 - Now());
    EXPECT_EQ(PieceValue(first, kPieceFrame), -1) << "not yet: the traces are on their way";
    Frames(1);
    EXPECT_EQ(PieceValue(first, kPieceFrame), 0);
    EXPECT_EQ(PieceValue(first, kPieceColour), 2) << "the piece takes the captor's colour";
    EXPECT_EQ(PieceValue(first, kPieceConverting), 1);
    EXPECT_EQ(PieceValue(second, kPieceColour), 1);
    Frames(arrive1 + 23 - Now() + 1);
    EXPECT_EQ(PieceValue(first, kPieceFrame), -1);
    EXPECT_EQ(PieceValue(first, kPieceConverting), 0);

    Frames(arrive2 - Now());
    EXPECT_EQ(PieceValue(second, kPieceColour), 1) << "the second wave's traces are on their way";
    Frames(1);
    EXPECT_EQ(PieceValue(second, kPieceColour), 2);
    RunOut();
    EXPECT_EQ(Display().PieceAt(5), first);
    EXPECT_EQ(Display().PieceAt(31), second);
    EXPECT_TRUE(Sequences().Traces().empty());
    EXPECT_TRUE(Sequences().Spots().empty());
    EXPECT_EQ(MemCountLive("SEQDATA_EXPLODEPIECE"), 0u);
    EXPECT_EQ(MemCountLive("SEQDATA_MOVETRACE"), 0u);
}

TEST_F(Sequencing, CaptureTracesCoverThePathUpToTheCapturedSquare) {
    Frames(1);
    const FrameTime t0 = Now() + 1;
    // Corner (3, 1) to captured (0, 4): one trace along row 3 then down column 4, the other
    // down column 1 then along row 0.
    Sequences().AnimateCapture(SquareAt(3, 1), SquareAt(0, 4), t0);
    std::vector<Square> heads[2];
    for (FrameTime f = Now(); f < t0 + 12; ++f) {
        Frames(1);
        int i = 0;
        for (const auto& entry : Sequences().Traces()) {
            if (i < 2) heads[i].push_back(entry.value->squares[0]);
            ++i;
        }
    }
    auto order = [](const std::vector<Square>& h) {
        std::vector<Square> distinct;
        for (Square s : h)
            if (s != kNoSquare && (distinct.empty() || distinct.back() != s)) distinct.push_back(s);
        return distinct;
    };
    const std::vector<Square> rowFirst = {SquareAt(3, 1), SquareAt(3, 2), SquareAt(3, 3),
                                          SquareAt(3, 4), SquareAt(2, 4), SquareAt(1, 4)};
    const std::vector<Square> columnFirst = {SquareAt(3, 1), SquareAt(2, 1), SquareAt(1, 1),
                                             SquareAt(0, 1), SquareAt(0, 2), SquareAt(0, 3)};
    EXPECT_EQ(order(heads[0]), rowFirst);
    EXPECT_EQ(order(heads[1]), columnFirst);
    // The captured square itself is lit by the spot, never by a trace head.
    for (const auto& h : heads)
        for (Square s : h)
            EXPECT_NE(s, SquareAt(0, 4));
    RunOut();
    EXPECT_TRUE(Sequences().Traces().empty());
}

TEST_F(Sequencing, ACaptureSpotRingsOnceAndATargetSpotUntilStopped) {
    Frames(1);
    GLOWSPOT* ring = Sequences().NewSpot(kSpotCapture, SquareAt(5, 5));
    Sequences().StartSpot(ring, Now());
    std::vector<int> phases;
    for (int i = 0; i < 20 && Sequences().IsRegistered(ring); ++i) {
        Frames(1);
        if (Sequences().IsRegistered(ring)) phases.push_back(ring->phase);
    }
    // Eight phases, two frames each, then it stops and is gone a frame later.
    const std::vector<int> expected = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, -2};
    EXPECT_EQ(phases, expected);
    EXPECT_FALSE(Sequences().IsRegistered(ring));

    GLOWSPOT* target = Sequences().NewSpot(kSpotTarget, SquareAt(2, 2));
    Sequences().StartSpot(target);
    Frames(200);
    ASSERT_TRUE(Sequences().IsRegistered(target)) << "a target spot runs until stopped";
    EXPECT_GT(target->phase, 30);
    EXPECT_EQ(Display().ShownLevel(SquareAt(2, 2)), 3 + (target->phase % 4 == 1) +
                                                        2 * (target->phase % 4 == 2) +
                                                        (target->phase % 4 == 3));
    Sequences().StopSpot(target);
    Frames(2);
    EXPECT_FALSE(Sequences().IsRegistered(target));
    EXPECT_EQ(MemCountLive("GLOWSPOT"), 0u);
    EXPECT_EQ(Display().ShownLevel(SquareAt(2, 2)), 0);
}

TEST_F(Sequencing, GlowSumsTracesOverSpotsAndClampsAtFive) {
    Frames(1);
    const Square centre = SquareAt(6, 6);
    GLOWSPOT* spot = Sequences().NewSpot(kSpotTarget, centre);
    Sequences().StartSpot(spot);
    // A sweep trace whose head passes the spot's ring and then its middle.
    GLOWTRACE* trace = Sequences().NewTrace(kTraceSweep);
    FrameTime t = Now() + 1;
    t = Sequences().AddTracePoint(trace, 5, 6, t, 1);
    Sequences().AddTracePoint(trace, 6, 6, t, 1);
    Frames(2);
    // Spot phase 0 gives the ring 1 and the middle 3; the trace head adds 5 at (6, 5).
    EXPECT_EQ(Display().ShownLevel(SquareAt(6, 5)), 5) << "1 + 5 clamps at 5";
    EXPECT_EQ(Display().ShownLevel(centre), 3);
    Frames(1);
    // Head on the middle (3 + 5), the square left behind keeps 1 + 4.
    EXPECT_EQ(Display().ShownLevel(centre), 5);
    EXPECT_EQ(Display().ShownLevel(SquareAt(6, 5)), 5);
    EXPECT_EQ(Display().ShownLevel(SquareAt(7, 7)), 1);
    EXPECT_EQ(Display().ShownLevel(SquareAt(8, 8)), 0);
    EXPECT_EQ(Display().GlowObject(SquareAt(8, 8)), nullptr) << "no object for an unlit square";
    ASSERT_NE(Display().GlowObject(SquareAt(7, 7)), nullptr);

    Sequences().EndTrace(trace, Now() + 1);
    Sequences().StopSpot(spot);
    RunOut();
    for (Square s = 0; s < kSquareCount; ++s) {
        EXPECT_EQ(Display().ShownLevel(s), 0);
        EXPECT_EQ(Display().GlowObject(s), nullptr) << "square " << s;
    }
}

TEST_F(Sequencing, SetUpAndClearSweepsCreateAndRemoveEveryPiece) {
    GameState start;
    InitStartPosition(start);
    Frames(1);
    const DWORD objectsBefore = static_cast<DWORD>(MemCountLive("ANIMOBJECT"));
    const FrameTime end = Sequences().SetUpBoard(start, Now() + 1);
    EXPECT_GE(end, Now() + 1 + 22) << "eleven points two frames apart";
    EXPECT_EQ(Display().FirstPiece(), nullptr) << "nothing shows before its trace gets there";
    RunOut();
    for (Square s = 0; s < kSquareCount; ++s)
        EXPECT_EQ(ShownColour(s), SquareOwner(start, s)) << "square " << s;
    for (Square s = 0; s < kSquareCount; ++s)
        if (AnimObject* piece = Display().PieceAt(s)) {
            EXPECT_EQ(PieceValue(piece, kPieceFrame), -1);
            EXPECT_EQ(piece->GetLayer(), PieceLayer(s));
        }

    Sequences().ClearBoard(Now() + 1);
    RunOut();
    EXPECT_EQ(Display().FirstPiece(), nullptr);
    EXPECT_EQ(MemCountLive("ANIMOBJECT"), objectsBefore) << "every piece object was freed";
    EXPECT_EQ(MemCountLive("SEQDATA_CREATEPIECE"), 0u);
    EXPECT_EQ(MemCountLive("GLOWTRACE"), 0u);
}

TEST_F(Sequencing, AComputerMoveSlidesWithTheEasingAndLands) {
    GameState start;
    InitStartPosition(start);
    Show(start);
    Frames(1);
    AnimObject* piece = Display().PieceAt(SquareAt(8, 4));
    ASSERT_NE(piece, nullptr);
    const RECT from = PieceRect(Display().Layout(), SquareAt(8, 4));
    const RECT to = PieceRect(Display().Layout(), SquareAt(6, 4));
    const FrameTime f = Now() + 1;
    EXPECT_EQ(Sequences().MovePiece(SquareAt(8, 4), SquareAt(6, 4), f), f + 10);
    Frames(f - Now() + 5);
    RECT r;
    piece->GetRect(&r);
    EXPECT_EQ(r.top, from.top + static_cast<LONG>(std::trunc((to.top - from.top) * 0.5)));
    EXPECT_EQ(Display().PieceAt(SquareAt(8, 4)), piece) << "the table moves only on landing";
    Frames(5);
    piece->GetRect(&r);
    EXPECT_EQ(r.top, to.top);
    EXPECT_EQ(r.left, to.left);
    EXPECT_EQ(Display().PieceAt(SquareAt(6, 4)), piece);
    EXPECT_EQ(Display().PieceAt(SquareAt(8, 4)), nullptr);
    EXPECT_EQ(piece->GetLayer(), PieceLayer(SquareAt(6, 4)));
}

TEST_F(Sequencing, ClosingDuringACaptureFreesEveryRecordAndOnlyPlaysAndMarks) {
    GameState state = PositionFromRows(kTwoWaves, 2);
    Show(state);
    Frames(1);
    const FrameTime t0 = Now() + 1;
    ApplyMove(state, 35, 45, t0, &Sequences());
    Sequences().SetUpBoard(state, kNoTime);
    Scheduler().Schedule(t0 + 3, kEventHumanTurn, 0);
    Scheduler().Schedule(t0 + 4, kEventComputerTurn, 0);
    Frames(t0 - Now() + 3);
    ASSERT_GT(MemCountLive("SEQDATA_EXPLODEPIECE"), 0u);
    ASSERT_GT(MemCountLive("GLOWTRACE"), 0u);
    const std::size_t playsBefore = plays.size();

    DestroyWindow(main);
    EXPECT_FALSE(Session().humanMayMove) << "a turn does not begin while closing";
    EXPECT_TRUE(Session().computerTurnPending) << "the computer's turn is still marked";
    EXPECT_GT(plays.size(), playsBefore) << "pending sounds are still played";
    for (const char* label : {"SEQDATA_MOVETRACE", "SEQDATA_EXPLODEPIECE", "SEQDATA_CREATEPIECE",
                              "SEQDATA_MOVEPIECE", "GLOWTRACE", "GLOWSPOT", "ANIMOBJECT"})
        EXPECT_EQ(MemCountLive(label), 0u) << label;
}

} // namespace
