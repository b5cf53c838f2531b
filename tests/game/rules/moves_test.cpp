#include "game/rules/moves.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

#include "test_positions.h"

namespace {

using Pair = std::pair<Square, Square>;

std::vector<Pair> Pairs(const MoveList& list) {
    std::vector<Pair> result;
    for (const MOVE& m : list)
        result.push_back({m.from, m.to});
    return result;
}

std::set<Pair> PairSet(const MoveList& list) {
    const std::vector<Pair> v = Pairs(list);
    return {v.begin(), v.end()};
}

// The legal moves straight from the rules' wording: steps onto empty squares where the piece
// would not at once be captured.
std::set<Pair> ReferenceMoves(const GameState& state, bool tutorial) {
    std::set<Pair> result;
    const int turn = static_cast<int>(state.turn);
    const int lastRow = tutorial ? 4 : 10;
    const int startRow = turn == 1 ? (tutorial ? 3 : 8) : (tutorial ? 1 : 2);
    const int dir = turn == 1 ? -1 : 1;
    const std::set<Square> threatened = BruteFourthCorners(state.sides[2 - turn].rows, kNoSquare);
    auto open = [&](int r, int c) {
        return r >= 0 && r <= lastRow && c >= 0 && c < kBoardSize &&
               SquareOwner(state, Sq(r, c)) == 0 && !threatened.count(Sq(r, c));
    };
    for (int r = 0; r <= lastRow; ++r)
        for (int c = 0; c < kBoardSize; ++c) {
            if (SquareOwner(state, Sq(r, c)) != turn) continue;
            for (auto [dr, dc] : std::vector<Cell>{{0, -1}, {0, 1}, {dir, -1}, {dir, 1}, {dir, 0}})
                if (open(r + dr, c + dc)) result.insert({Sq(r, c), Sq(r + dr, c + dc)});
            if (r == startRow && open(r + dir, c) && open(r + 2 * dir, c))
                result.insert({Sq(r, c), Sq(r + 2 * dir, c)});
        }
    return result;
}

TEST(GenerateMoves, OpeningHas38MovesInOrder) {
    GameState start;
    InitStartPosition(start);
    MoveList list;
    GenerateMoves(start, list);
    ASSERT_EQ(list.size(), 38u);
    const std::vector<Pair> first = {{31, 32}, {31, 41}, {31, 43}, {31, 42}, {31, 53},
                                     {30, 40}, {30, 42}, {30, 41}, {30, 52}};
    const std::vector<Pair> all = Pairs(list);
    EXPECT_EQ(std::vector<Pair>(all.begin(), all.begin() + 9), first);
    const std::vector<Pair> last = {{23, 22}, {23, 33}, {23, 35}, {23, 34}, {23, 45}};
    EXPECT_EQ(std::vector<Pair>(all.end() - 5, all.end()), last);
    EXPECT_EQ(PairSet(list), ReferenceMoves(start, false));
    for (const MOVE& m : list) {
        GameState expected = start;
        ApplyMove(expected, m.from, m.to, kNoTime);
        EXPECT_EQ(m.after, expected);
        EXPECT_EQ(m.after.turn, 1u);
    }
    // Player 1's reply mirrors it, starting from column 9 of row 8.
    GameState reply = list[0].after;
    GenerateMoves(reply, list);
    EXPECT_EQ(list.size(), 38u);
    EXPECT_EQ(Pairs(list)[0], (Pair{97, 98}));
    EXPECT_EQ(Pairs(list)[4], (Pair{97, 75}));
}

TEST(GenerateMoves, ThreatenedSquaresAreNeverTargets) {
    // Player 1 holds (5,2), (5,6), (7,2): (7,6) is threatened for player 2, even though a piece
    // arriving there would itself capture (7,2) with (6,6) and (6,2).
    GameState s =
        MakePosition({{5, 2}, {5, 6}, {7, 2}, {10, 10}}, {{6, 6}, {6, 2}, {7, 7}, {0, 0}}, 2);
    MoveList list;
    GenerateMoves(s, list);
    const std::set<Pair> moves = PairSet(list);
    EXPECT_FALSE(moves.count({Sq(7, 7), Sq(7, 6)}));
    EXPECT_FALSE(moves.count({Sq(6, 6), Sq(7, 6)}));
    EXPECT_TRUE(moves.count({Sq(7, 7), Sq(8, 7)}));
    EXPECT_EQ(moves, ReferenceMoves(s, false));
}

TEST(GenerateMoves, DoubleStepNeedsAnUnthreatenedFrontSquare) {
    // (3,4) is empty but threatened by player 1's (3,0), (9,0), (9,4).
    GameState s = MakePosition({{3, 0}, {9, 0}, {9, 4}}, {{2, 4}, {2, 8}}, 2);
    MoveList list;
    GenerateMoves(s, list);
    std::set<Pair> moves = PairSet(list);
    EXPECT_FALSE(moves.count({Sq(2, 4), Sq(3, 4)}));
    EXPECT_FALSE(moves.count({Sq(2, 4), Sq(4, 4)}));
    EXPECT_TRUE(moves.count({Sq(2, 8), Sq(4, 8)}));
    // An occupied front square blocks it too; a piece off its starting row never double steps.
    s = MakePosition({{3, 8}, {10, 0}, {10, 1}}, {{2, 8}, {3, 2}}, 2);
    GenerateMoves(s, list);
    moves = PairSet(list);
    EXPECT_FALSE(moves.count({Sq(2, 8), Sq(4, 8)}));
    EXPECT_TRUE(moves.count({Sq(3, 2), Sq(4, 2)}));
    EXPECT_FALSE(moves.count({Sq(3, 2), Sq(5, 2)}));
    // Player 1's double step from row 8 goes down.
    s = MakePosition({{8, 5}}, {{0, 0}}, 1);
    GenerateMoves(s, list);
    EXPECT_TRUE(PairSet(list).count({Sq(8, 5), Sq(6, 5)}));
}

TEST(GenerateMoves, FarRowHasOnlySidewaysMoves) {
    GameState s = MakePosition({{0, 5}, {0, 0}}, {{10, 10}, {10, 3}}, 1);
    MoveList list;
    GenerateMoves(s, list);
    EXPECT_EQ(Pairs(list), (std::vector<Pair>{{5, 4}, {5, 6}, {0, 1}}));
    s.turn = 2;
    GenerateMoves(s, list);
    EXPECT_EQ(Pairs(list), (std::vector<Pair>{{120, 119}, {113, 112}, {113, 114}}));
}

TEST(GenerateMoves, TutorialRows) {
    // Player 2 on row 4 is on the last row; player 2 double steps from row 1, player 1 from
    // row 3; pieces above row 4 take no part.
    GameState s = MakePosition({{3, 7}, {8, 8}}, {{4, 2}, {1, 5}, {6, 6}}, 2);
    MoveList list;
    GenerateMoves(s, list, true);
    EXPECT_EQ(Pairs(list), (std::vector<Pair>{{Sq(1, 5), Sq(1, 4)},
                                              {Sq(1, 5), Sq(1, 6)},
                                              {Sq(1, 5), Sq(2, 4)},
                                              {Sq(1, 5), Sq(2, 6)},
                                              {Sq(1, 5), Sq(2, 5)},
                                              {Sq(1, 5), Sq(3, 5)},
                                              {Sq(4, 2), Sq(4, 1)},
                                              {Sq(4, 2), Sq(4, 3)}}));
    EXPECT_EQ(PairSet(list), ReferenceMoves(s, true));
    s.turn = 1;
    GenerateMoves(s, list, true);
    EXPECT_EQ(PairSet(list), ReferenceMoves(s, true));
    EXPECT_TRUE(PairSet(list).count({Sq(3, 7), Sq(1, 7)}));
    EXPECT_EQ(list.size(), 6u);
    // The same position outside tutorial mode: no double step from row 1, row 6 takes part.
    s.turn = 2;
    GenerateMoves(s, list, false);
    EXPECT_FALSE(PairSet(list).count({Sq(1, 5), Sq(3, 5)}));
    EXPECT_TRUE(PairSet(list).count({Sq(4, 2), Sq(5, 2)}));
    EXPECT_TRUE(PairSet(list).count({Sq(6, 6), Sq(7, 6)}));
}

TEST(GenerateMoves, InvalidTurnHasNoMoves) {
    GameState s;
    InitStartPosition(s);
    MoveList list;
    GenerateMoves(s, list);
    for (std::uint32_t turn : {0u, 3u, 0x80000000u}) {
        s.turn = turn;
        GenerateMoves(s, list);
        EXPECT_TRUE(list.empty());
    }
}

TEST(GenerateMoves, RandomGamesMatchReference) {
    std::mt19937 rng(4242);
    MoveList list;
    for (int game = 0; game < 40; ++game) {
        GameState s;
        InitStartPosition(s);
        for (int ply = 0; ply < 120 && WinnerOf(s) == 0; ++ply) {
            GenerateMoves(s, list);
            ASSERT_EQ(PairSet(list), ReferenceMoves(s, false)) << game << "/" << ply;
            ASSERT_EQ(PairSet(list).size(), list.size());
            if (list.empty()) break;
            const MOVE& pick =
                list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(rng)];
            GameState next = s;
            ApplyMove(next, pick.from, pick.to, kNoTime);
            ASSERT_EQ(next, pick.after);
            ASSERT_TRUE(IsConsistent(next, 18)) << game << "/" << ply;
            s = next;
        }
    }
}

TEST(WinnerOf, OrderOfTests) {
    GameState s{};
    s.turn = 1;
    auto set = [&](std::uint32_t g1, std::uint32_t p1, std::uint32_t g2, std::uint32_t p2) {
        s.sides[0].goalCount = g1;
        s.sides[0].pieceCount = p1;
        s.sides[1].goalCount = g2;
        s.sides[1].pieceCount = p2;
        return WinnerOf(s);
    };
    EXPECT_EQ(set(0, 9, 0, 9), 0u);
    EXPECT_EQ(set(3, 9, 3, 9), 1u); // both on goal: player 1 is tested first
    EXPECT_EQ(set(3, 9, 0, 2), 1u);
    EXPECT_EQ(set(0, 2, 3, 9), 2u);
    EXPECT_EQ(set(0, 2, 0, 2), 2u); // player 1 short of pieces before player 2
    EXPECT_EQ(set(0, 9, 0, 2), 1u);
    EXPECT_EQ(set(4, 9, 0, 9), 0u); // four on goal squares is not three
    EXPECT_EQ(set(0, 9, 4, 9), 0u);
    EXPECT_EQ(set(2, 9, 0, 3), 0u);
}

TEST(WinnerOf, TwoToFourOnGoalDoesNotWin) {
    // Player 2 has (10,4) and (10,6) on goal squares; stepping onto (10,5) makes three.
    GameState s = MakePosition({{10, 5}, {1, 1}, {1, 2}, {1, 3}, {1, 4}},
                               {{10, 4}, {10, 6}, {9, 5}, {7, 6}, {7, 4}}, 2);
    EXPECT_EQ(s.sides[1].goalCount, 2u);
    ApplyMove(s, Sq(9, 5), Sq(10, 5), kNoTime); // moves onto player 1's (10,5)
    EXPECT_EQ(s.sides[1].goalCount, 3u);
    EXPECT_EQ(WinnerOf(s), 2u);
    // With two on goal squares, a step onto a third that also converts a piece on a fourth.
    GameState four = MakePosition({{0, 5}, {1, 1}, {1, 2}, {1, 3}, {5, 5}},
                                  {{10, 4}, {10, 6}, {10, 8}, {0, 8}, {9, 5}}, 2);
    EXPECT_EQ(four.sides[1].goalCount, 2u);
    ApplyMove(four, Sq(9, 5), Sq(10, 5), kNoTime);
    EXPECT_EQ(SquareOwner(four, Sq(0, 5)), 2);
    EXPECT_EQ(four.sides[1].goalCount, 4u);
    EXPECT_EQ(WinnerOf(four), 0u);
}

TEST(MoveList, OwnsItsRecords) {
    GameState s;
    InitStartPosition(s);
    MoveList a;
    GenerateMoves(s, a);
    MoveList b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(b.size(), 38u);
    ASSERT_NE(b.Find(31, 32), nullptr);
    EXPECT_EQ(b.Find(31, 32)->after.turn, 1u);
    EXPECT_EQ(b.Find(31, 33), nullptr);
    a.Append(NewMove(1, 2, s));
    a = std::move(b); // the old record is freed; the sanitizer build catches a leak
    EXPECT_EQ(a.size(), 38u);
    GenerateMoves(s, a); // regeneration clears first
    EXPECT_EQ(a.size(), 38u);
    a.Clear();
    EXPECT_TRUE(a.empty());
}

} // namespace
