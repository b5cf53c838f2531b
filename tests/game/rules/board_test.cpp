#include "game/rules/board.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "test_positions.h"

namespace {

struct CaptureCall {
    Square corner;
    Square captured;
    FrameTime start;
    bool operator==(const CaptureCall&) const = default;
};

// Records every hook call and answers with start + the next of its scripted durations.
class RecordingAnimator : public CaptureAnimator {
public:
    explicit RecordingAnimator(std::vector<FrameTime> durations = {})
        : durations_(std::move(durations)) {}
    FrameTime AnimateCapture(Square corner, Square captured, FrameTime start) override {
        const FrameTime d = calls.size() < durations_.size() ? durations_[calls.size()] : 10;
        calls.push_back({corner, captured, start});
        return start + d;
    }
    std::vector<CaptureCall> calls;

private:
    std::vector<FrameTime> durations_;
};

// The cascade-order reference: keep converting any opponent piece that is the fourth corner of
// a rectangle with at least one corner among the moved or converted pieces, until none is left.
GameState ReferenceApply(GameState state, Square from, Square to) {
    const int mover = static_cast<int>(state.turn);
    SetSquareOwner(state, ColumnOf(from), RowOf(from), 0);
    SetSquareOwner(state, ColumnOf(to), RowOf(to), mover);
    std::set<Square> fresh = {to};
    for (bool found = true; found;) {
        found = false;
        for (Square s : fresh) {
            for (Square x : BruteFourthCorners(state.sides[mover - 1].rows, s)) {
                if (SquareOwner(state, x) != 3 - mover) continue;
                SetSquareOwner(state, ColumnOf(x), RowOf(x), mover);
                fresh.insert(x);
                found = true;
                break;
            }
            if (found) break;
        }
    }
    state.turn = OtherPlayer(state.turn);
    return state;
}

TEST(Board, BitCountMatchesPopcount) {
    for (unsigned mask = 0; mask <= kFullRow; ++mask)
        ASSERT_EQ(CountRowBits(static_cast<RowMask>(mask)), std::popcount(mask)) << mask;
}

TEST(Board, StartPosition) {
    GameState state;
    std::memset(&state, 0xAB, sizeof state);
    InitStartPosition(state);
    EXPECT_EQ(state.turn, 2u);
    for (int r = 0; r < kBoardSize; ++r) {
        EXPECT_EQ(state.sides[0].rows[r], r == 8 ? 0x3FE : 0) << r;
        EXPECT_EQ(state.sides[1].rows[r], r == 2 ? 0x3FE : 0) << r;
        EXPECT_EQ(state.sides[0].rowCount[r], r == 8 ? 9u : 0u) << r;
        EXPECT_EQ(state.sides[1].rowCount[r], r == 2 ? 9u : 0u) << r;
    }
    for (const SideState& side : state.sides) {
        EXPECT_EQ(side.pieceCount, 9u);
        EXPECT_EQ(side.goalCount, 0u);
        EXPECT_EQ(side.padding, 0);
    }
    EXPECT_TRUE(IsConsistent(state, 18));

    RowMask out[kBoardSize];
    for (const SideState& side : state.sides) {
        FourthCorners(side.rows, out, kNoSquare);
        EXPECT_TRUE(MaskSet(out).empty());
    }
}

TEST(Board, SetSquareOwnerKeepsCounts) {
    GameState state = MakePosition({}, {}, 1);
    SetSquareOwner(state, 5, 0, 1); // square 5: a goal square
    EXPECT_EQ(SquareOwner(state, 5), 1);
    EXPECT_EQ(state.sides[0].goalCount, 1u);
    EXPECT_EQ(state.sides[0].rowCount[0], 1u);
    SetSquareOwner(state, 5, 0, 1); // already held: nothing changes
    EXPECT_EQ(state.sides[0].pieceCount, 1u);
    SetSquareOwner(state, 5, 0, 2); // conversion moves the goal count across
    EXPECT_EQ(SquareOwner(state, 5), 2);
    EXPECT_EQ(state.sides[0].goalCount, 0u);
    EXPECT_EQ(state.sides[1].goalCount, 1u);
    EXPECT_EQ(state.sides[0].pieceCount, 0u);
    SetSquareOwner(state, 10, 10, 1);
    SetSquareOwner(state, 5, 0, 0);
    EXPECT_EQ(SquareOwner(state, 5), 0);
    EXPECT_EQ(state.sides[1].pieceCount, 0u);
    EXPECT_TRUE(IsConsistent(state, 1));

    // Off-board coordinates are ignored rather than written past the rows.
    const GameState before = state;
    SetSquareOwner(state, 11, 0, 1);
    SetSquareOwner(state, -1, 3, 2);
    SetSquareOwner(state, 3, 11, 2);
    EXPECT_EQ(state, before);
}

TEST(Board, RecountRebuildsCorruptCounts) {
    GameState state = MakePosition({{0, 4}, {10, 6}, {3, 3}}, {{10, 5}}, 1);
    state.sides[0].pieceCount = 77;
    state.sides[0].rowCount[3] = 5;
    state.sides[1].goalCount = 0;
    EXPECT_FALSE(IsConsistent(state));
    Recount(state);
    EXPECT_TRUE(IsConsistent(state, 4));
    EXPECT_EQ(state.sides[0].goalCount, 2u);
    EXPECT_EQ(state.sides[1].goalCount, 1u);
}

TEST(Board, IsConsistentCatchesEachFault) {
    const GameState good = MakePosition({{1, 1}}, {{2, 2}}, 2);
    EXPECT_TRUE(IsConsistent(good, 2));
    EXPECT_FALSE(IsConsistent(good, 3));
    GameState doubled = good;
    doubled.sides[1].rows[1] |= 2; // square (1,1) held by both
    Recount(doubled);
    EXPECT_FALSE(IsConsistent(doubled));
    GameState stray = good;
    stray.sides[0].rows[4] = 0x800; // column 11 does not exist
    EXPECT_FALSE(IsConsistent(stray));
    GameState badTurn = good;
    badTurn.turn = 0;
    EXPECT_FALSE(IsConsistent(badTurn));
}

TEST(Board, StoredLayoutIsLittleEndianWithZeroPadding) {
    GameState state;
    InitStartPosition(state);
    SetSquareOwner(state, 5, 10, 1); // a goal square for player 1
    state.sides[0].padding = 0xBEEF; // must not reach the stored form
    std::uint8_t bytes[kStoredGameStateSize];
    std::memset(bytes, 0xCC, sizeof bytes);
    StoreGameState(state, bytes);

    EXPECT_EQ(bytes[16], 0xFE); // player 1 rows[8] = 0x3FE
    EXPECT_EQ(bytes[17], 0x03);
    EXPECT_EQ(bytes[20], 0x20); // rows[10] = 0x020
    EXPECT_EQ(bytes[22], 0);
    EXPECT_EQ(bytes[23], 0);
    EXPECT_EQ(bytes[24 + 4 * 8], 9);  // rowCount[8]
    EXPECT_EQ(bytes[24 + 4 * 10], 1); // rowCount[10]
    EXPECT_EQ(bytes[68], 10);         // pieceCount
    EXPECT_EQ(bytes[72], 1);          // goalCount
    EXPECT_EQ(bytes[76 + 4], 0xFE);   // player 2 rows[2]
    EXPECT_EQ(bytes[76 + 5], 0x03);
    EXPECT_EQ(bytes[76 + 24 + 8], 9); // player 2 rowCount[2]
    EXPECT_EQ(bytes[76 + 68], 9);
    EXPECT_EQ(bytes[152], 2); // turn
    EXPECT_EQ(bytes[153] | bytes[154] | bytes[155], 0);

    GameState loaded;
    std::memset(&loaded, 0x5A, sizeof loaded);
    LoadGameState(bytes, loaded);
    state.sides[0].padding = 0;
    EXPECT_EQ(loaded, state);
    EXPECT_EQ(loaded.sides[0].padding, 0);
    EXPECT_EQ(std::memcmp(&loaded, &state, sizeof state), 0);

    // Multi-byte values keep every byte, and counts are taken as stored.
    GameState odd = state;
    odd.turn = 0x01020304;
    odd.sides[1].pieceCount = 0xA1B2C3D4;
    StoreGameState(odd, bytes);
    EXPECT_EQ(bytes[152], 0x04);
    EXPECT_EQ(bytes[155], 0x01);
    EXPECT_EQ(bytes[76 + 68], 0xD4);
    EXPECT_EQ(bytes[76 + 71], 0xA1);
    LoadGameState(bytes, loaded);
    EXPECT_EQ(loaded, odd);
}

TEST(FourthCorners, DefinitionExamples) {
    RowMask out[kBoardSize];
    // Three corners of a large rectangle give the fourth.
    GameState s = MakePosition({{2, 3}, {2, 7}, {6, 3}}, {{6, 7}}, 1);
    FourthCorners(s.sides[0].rows, out, kNoSquare);
    EXPECT_EQ(MaskSet(out), std::set<Square>{Sq(6, 7)});
    // Adjacent corners count.
    s = MakePosition({{4, 4}, {4, 5}, {5, 4}}, {}, 1);
    FourthCorners(s.sides[0].rows, out, kNoSquare);
    EXPECT_EQ(MaskSet(out), std::set<Square>{Sq(5, 5)});
    // A held square is never a result even when it completes a rectangle.
    s = MakePosition({{4, 4}, {4, 5}, {5, 4}, {5, 5}}, {}, 1);
    FourthCorners(s.sides[0].rows, out, kNoSquare);
    EXPECT_TRUE(MaskSet(out).empty());
    // Restricted to a corner: the complete rectangle not touching it contributes nothing.
    s = MakePosition({{0, 0}, {0, 1}, {1, 0}, {5, 8}, {5, 10}, {9, 8}}, {}, 1);
    FourthCorners(s.sides[0].rows, out, kNoSquare);
    EXPECT_EQ(MaskSet(out), (std::set<Square>{Sq(1, 1), Sq(9, 10)}));
    FourthCorners(s.sides[0].rows, out, Sq(5, 10));
    EXPECT_EQ(MaskSet(out), std::set<Square>{Sq(9, 10)});
    FourthCorners(s.sides[0].rows, out, Sq(1, 1)); // the empty fourth corner itself
    EXPECT_EQ(MaskSet(out), std::set<Square>{Sq(1, 1)});
    FourthCorners(s.sides[0].rows, out, Sq(7, 7));
    EXPECT_TRUE(MaskSet(out).empty());
    FourthCorners(s.sides[0].rows, out, 121); // off the board: no rectangle has it
    EXPECT_TRUE(MaskSet(out).empty());
}

TEST(FourthCorners, StrayHighBitsStayOffTheBoard) {
    RowMask rows[kBoardSize] = {};
    rows[2] = 0xF802; // column 1 plus bits past column 10
    rows[6] = 0xF803;
    RowMask out[kBoardSize];
    FourthCorners(rows, out, kNoSquare);
    for (int r = 0; r < kBoardSize; ++r)
        EXPECT_EQ(out[r] & ~kFullRow, 0) << r;
    EXPECT_EQ(MaskSet(out), std::set<Square>{Sq(2, 0)});
}

TEST(FourthCorners, MatchesDefinitionOnRandomPositions) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> count(0, 30);
    std::uniform_int_distribution<int> square(-1, kSquareCount - 1);
    for (int i = 0; i < 300; ++i) {
        const GameState s = RandomPosition(rng, count(rng), 0, 1);
        for (int k = 0; k < 4; ++k) {
            const Square corner = k == 0 ? kNoSquare : square(rng);
            RowMask out[kBoardSize];
            FourthCorners(s.sides[0].rows, out, corner);
            ASSERT_EQ(MaskSet(out), BruteFourthCorners(s.sides[0].rows, corner))
                << "position " << i << " corner " << corner;
        }
    }
}

TEST(ApplyMove, SimpleCaptureAndTurn) {
    GameState s = MakePosition({{2, 3}, {2, 7}, {7, 3}}, {{6, 7}, {0, 0}, {0, 1}}, 1);
    RecordingAnimator hook;
    const FrameTime end = ApplyMove(s, Sq(7, 3), Sq(6, 3), 40, &hook);
    EXPECT_EQ(SquareOwner(s, Sq(6, 7)), 1);
    EXPECT_EQ(SquareOwner(s, Sq(7, 3)), 0);
    EXPECT_EQ(s.turn, 2u);
    EXPECT_TRUE(IsConsistent(s, 6));
    ASSERT_EQ(hook.calls.size(), 1u);
    EXPECT_EQ(hook.calls[0], (CaptureCall{Sq(2, 3), Sq(6, 7), 40}));
    EXPECT_EQ(end, 50u);
}

TEST(ApplyMove, CascadeExampleTwoLevels) {
    const GameState start = MakePosition({{2, 2}, {2, 5}, {6, 2}, {5, 8}, {8, 5}},
                                         {{5, 5}, {8, 8}, {0, 0}, {0, 10}, {1, 0}}, 1);
    GameState s = start;
    RecordingAnimator hook({30, 12});
    const FrameTime end = ApplyMove(s, Sq(6, 2), Sq(5, 2), 100, &hook);
    const std::vector<CaptureCall> expected = {{Sq(2, 2), Sq(5, 5), 100},
                                               {Sq(5, 5), Sq(8, 8), 130}};
    EXPECT_EQ(hook.calls, expected);
    EXPECT_EQ(end, 142u);
    EXPECT_EQ(s.sides[1].pieceCount, 3u);
    EXPECT_EQ(s.sides[0].pieceCount, 7u);
    EXPECT_EQ(s.turn, 2u);
    EXPECT_TRUE(IsConsistent(s, 10));

    // Without a start time: same position, no calls, no time.
    GameState quiet = start;
    RecordingAnimator silent;
    EXPECT_EQ(ApplyMove(quiet, Sq(6, 2), Sq(5, 2), kNoTime, &silent), kNoTime);
    EXPECT_TRUE(silent.calls.empty());
    EXPECT_EQ(quiet, s);
}

// One square capturing two pieces starts both together and waits for the longer; the next
// level takes its squares last to first, each after the previous one's sequence.
TEST(ApplyMove, CascadeLevelOrderAndTiming) {
    GameState s = MakePosition({{5, 1}, {1, 1}, {5, 9}, {8, 9}, {8, 7}, {1, 3}, {6, 5}},
                               {{1, 5}, {8, 5}, {1, 7}, {5, 3}, {10, 0}, {10, 10}, {0, 10}}, 1);
    RecordingAnimator hook({10, 25, 10, 10});
    const FrameTime end = ApplyMove(s, Sq(6, 5), Sq(5, 5), 100, &hook);
    const std::vector<CaptureCall> expected = {
        {Sq(5, 1), Sq(1, 5), 100}, // level 1, lower row first
        {Sq(5, 9), Sq(8, 5), 100}, // same start: same capturing square
        {Sq(8, 5), Sq(1, 7), 125}, // level 2 starts with the last square of level 1
        {Sq(1, 1), Sq(5, 3), 135}, // then the first, when the previous sequence has ended
    };
    EXPECT_EQ(hook.calls, expected);
    EXPECT_EQ(end, 145u);
    EXPECT_EQ(s.sides[1].pieceCount, 3u);
    EXPECT_TRUE(IsConsistent(s, 14));
}

TEST(ApplyMove, OldFourthCornerIsNotCaptured) {
    // (5,5) already completes player 1's rectangle before the move; a move that makes no new
    // rectangle through it leaves it alone.
    GameState s = MakePosition({{2, 2}, {2, 5}, {5, 2}, {9, 9}}, {{5, 5}, {0, 0}, {0, 1}}, 1);
    ApplyMove(s, Sq(9, 9), Sq(9, 8), kNoTime);
    EXPECT_EQ(SquareOwner(s, Sq(5, 5)), 2);
}

TEST(ApplyMove, GoalCountIncludesConvertedPiecesOnEitherGoal) {
    // Player 2 converts player 1's piece on square 5, a goal square on player 2's own side.
    GameState s = MakePosition({{0, 5}, {9, 9}, {9, 10}, {8, 10}}, {{0, 2}, {3, 2}, {4, 5}}, 2);
    ApplyMove(s, Sq(4, 5), Sq(3, 5), kNoTime);
    EXPECT_EQ(SquareOwner(s, Sq(0, 5)), 2);
    EXPECT_EQ(s.sides[1].goalCount, 1u);
    EXPECT_EQ(s.sides[0].goalCount, 0u);
    EXPECT_TRUE(IsConsistent(s, 7));
}

TEST(ApplyMove, CorruptInputChangesNothing) {
    GameState start;
    InitStartPosition(start);
    for (auto [from, to] : std::vector<std::pair<Square, Square>>{
             {-1, 32}, {31, -1}, {31, 121}, {121, 31}, {1000000, 5}}) {
        GameState s = start;
        EXPECT_EQ(ApplyMove(s, from, to, 7), 7u);
        EXPECT_EQ(s, start);
    }
    for (std::uint32_t turn : {0u, 3u, 0xFFFFFFFFu}) {
        GameState s = start;
        s.turn = turn;
        const GameState before = s;
        EXPECT_EQ(ApplyMove(s, 31, 32, kNoTime), kNoTime);
        EXPECT_EQ(s, before);
    }
}

TEST(ApplyMove, RandomMovesMatchReferenceAndStayConsistent) {
    std::mt19937 rng(777);
    std::uniform_int_distribution<int> square(0, kSquareCount - 1);
    for (int i = 0; i < 400; ++i) {
        const std::uint32_t turn = 1 + i % 2;
        const GameState start = RandomPosition(rng, 4 + i % 12, 4 + (i / 2) % 12, turn);
        const int total = static_cast<int>(start.sides[0].pieceCount + start.sides[1].pieceCount);
        // A piece of the mover moving to an empty square, as in play.
        Square from, to;
        do {
            from = square(rng);
        } while (SquareOwner(start, from) != static_cast<int>(turn));
        do {
            to = square(rng);
        } while (SquareOwner(start, to) != 0);
        GameState animated = start;
        RecordingAnimator hook;
        ApplyMove(animated, from, to, 1000, &hook);
        ASSERT_TRUE(IsConsistent(animated, total)) << i;
        ASSERT_EQ(animated, ReferenceApply(start, from, to)) << i;
        GameState quiet = start;
        ApplyMove(quiet, from, to, kNoTime);
        ASSERT_EQ(quiet, animated) << i;
        // One hook call per converted piece, each with a real capturing rectangle.
        ASSERT_EQ(hook.calls.size(),
                  animated.sides[turn - 1].pieceCount - start.sides[turn - 1].pieceCount)
            << i;
        for (const CaptureCall& call : hook.calls) {
            const int cr = RowOf(call.corner), cc = ColumnOf(call.corner);
            const int xr = RowOf(call.captured), xc = ColumnOf(call.captured);
            ASSERT_NE(cr, xr);
            ASSERT_NE(cc, xc);
            ASSERT_EQ(SquareOwner(animated, Sq(cr, xc)), static_cast<int>(turn));
            ASSERT_EQ(SquareOwner(animated, Sq(xr, cc)), static_cast<int>(turn));
            ASSERT_EQ(SquareOwner(animated, call.corner), static_cast<int>(turn));
        }
    }
}

} // namespace
