#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <vector>

#include "game/opponent/opponent.h"
#include "game/opponent/search_moves.h"
#include "game/rules/moves.h"
#include "tests/game/opponent/reference_search.h"
#include "tests/game/rules/test_positions.h"

namespace {

std::string Diagram(const GameState& state) {
    std::string s;
    for (int r = kBoardSize - 1; r >= 0; --r) {
        for (int c = 0; c < kBoardSize; ++c) {
            const int owner = SquareOwner(state, SquareAt(r, c));
            s += owner == 1 ? 'R' : owner == 2 ? 'B' : '.';
        }
        s += '\n';
    }
    return s + "turn " + std::to_string(state.turn);
}

// Positions met in games of random legal moves from the start, winners and dead ends left out.
std::vector<GameState> RandomGamePositions(unsigned seed, int games, int maxPlies) {
    std::mt19937 rng(seed);
    std::vector<GameState> positions;
    for (int g = 0; g < games; ++g) {
        GameState state;
        InitStartPosition(state);
        for (int ply = 0; ply < maxPlies; ++ply) {
            if (WinnerOf(state) != 0) break;
            MoveList moves;
            GenerateMoves(state, moves);
            if (moves.empty()) break;
            positions.push_back(state);
            const MOVE& m =
                moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
            state = m.after;
        }
    }
    return positions;
}

// Positions met when the search itself plays both sides at the given strengths, each game
// opened with a few random moves so that the games differ.
std::vector<GameState> SearchGamePositions(unsigned seed, int games, int strength1, int strength2,
                                           int maxPlies) {
    std::mt19937 rng(seed);
    std::vector<GameState> positions;
    for (int g = 0; g < games; ++g) {
        GameState state;
        InitStartPosition(state);
        for (int ply = 0; ply < maxPlies && WinnerOf(state) == 0; ++ply) {
            MoveList moves;
            GenerateMoves(state, moves);
            if (moves.empty()) break;
            positions.push_back(state);
            Square from, to;
            if (ply < 4) {
                const MOVE& m =
                    moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
                from = m.from;
                to = m.to;
            } else if (!ChooseMove(state, state.turn == 1 ? strength1 : strength2, from, to)) {
                break;
            }
            state = moves.Find(from, to)->after;
        }
    }
    return positions;
}

void ExpectSameAsReference(const GameState& state, int strength) {
    Square from = kNoSquare, to = kNoSquare, refFrom = kNoSquare, refTo = kNoSquare;
    std::uint64_t refNodes = 0;
    SearchStats stats;
    const bool chosen = ChooseMove(state, strength, from, to, nullptr, &stats);
    const bool refChosen = reference::ChooseMove(state, strength, refFrom, refTo, &refNodes);
    ASSERT_EQ(chosen, refChosen) << Diagram(state);
    EXPECT_EQ(stats.nodes, refNodes) << "strength " << strength;
    if (chosen) {
        EXPECT_EQ(from, refFrom) << "strength " << strength;
        EXPECT_EQ(to, refTo) << "strength " << strength;
    }
}

} // namespace

TEST(SearchPrimitives, FourthCornersMatchTheRules) {
    std::mt19937 rng(7);
    for (int n = 0; n < 3000; ++n) {
        GameState s = RandomPosition(rng, 3 + n % 40, 3 + (n / 7) % 40, 1);
        // Stray bits past column 10 must be ignored as the rules ignore them.
        if (n % 5 == 0) s.sides[0].rows[n % kBoardSize] |= 0x8800;
        RowMask fast[kBoardSize], slow[kBoardSize];
        AllFourthCorners(s.sides[0].rows, fast);
        FourthCorners(s.sides[0].rows, slow, kNoSquare);
        for (int r = 0; r < kBoardSize; ++r)
            ASSERT_EQ(fast[r], slow[r]) << "row " << r << "\n" << Diagram(s);
        for (Square q = 0; q < kSquareCount; ++q) {
            if (SquareOwner(s, q) != 1) continue;
            FourthCornersAt(s.sides[0].rows, q, fast);
            FourthCorners(s.sides[0].rows, slow, q);
            bool meetsEnemy = false;
            for (int r = 0; r < kBoardSize; ++r)
                meetsEnemy = meetsEnemy || (slow[r] & s.sides[1].rows[r]);
            ASSERT_EQ(CapturesAt(s.sides[0].rows, s.sides[1].rows, q), meetsEnemy)
                << "square " << q << "\n"
                << Diagram(s);
            for (int r = 0; r < kBoardSize; ++r)
                ASSERT_EQ(fast[r], slow[r]) << "square " << q << " row " << r << "\n" << Diagram(s);
        }
    }
}

TEST(SearchPrimitives, GeneratedMovesMatchTheRules) {
    std::vector<GameState> positions = RandomGamePositions(11, 60, 120);
    // Dense random boards give long cascades that real games rarely reach.
    std::mt19937 rng(3);
    for (int n = 0; n < 300; ++n)
        positions.push_back(RandomPosition(rng, 10 + n % 50, 10 + (n / 3) % 50, 1 + n % 2));
    // Counts that disagree with the rows (a tampered saved game) are carried along unrepaired.
    GameState odd = positions[5];
    odd.sides[1].rowCount[3] += 4;
    odd.sides[0].pieceCount = 2000;
    positions.push_back(odd);
    ASSERT_GT(positions.size(), 1000u);
    std::vector<SearchMove> fast;
    std::vector<LeafMove> leaf;
    for (const GameState& s : positions) {
        MoveList slow;
        GenerateMoves(s, slow);
        GenerateSearchMoves(s, fast);
        GenerateLeafMoves(s, leaf);
        ASSERT_EQ(fast.size(), slow.size()) << Diagram(s);
        ASSERT_EQ(leaf.size(), slow.size()) << Diagram(s);
        for (std::size_t i = 0; i < leaf.size(); ++i) {
            ASSERT_EQ(leaf[i].from, slow[i].from);
            ASSERT_EQ(leaf[i].to, slow[i].to);
            ASSERT_EQ(leaf[i].player2Pieces, slow[i].after.sides[1].pieceCount)
                << leaf[i].from << " -> " << leaf[i].to << "\n"
                << Diagram(s);
        }
        for (std::size_t i = 0; i < fast.size(); ++i) {
            ASSERT_EQ(fast[i].from, slow[i].from);
            ASSERT_EQ(fast[i].to, slow[i].to);
            ASSERT_TRUE(fast[i].after == slow[i].after)
                << fast[i].from << " -> " << fast[i].to << "\n"
                << Diagram(s);
        }
    }
    GameState noTurn = positions[0];
    noTurn.turn = 0;
    GenerateSearchMoves(noTurn, fast);
    EXPECT_TRUE(fast.empty());
}

TEST(SearchPrimitives, OrderingExchangesOnlyTheFirstExtreme) {
    std::vector<SearchMove> moves(5);
    const std::uint32_t keys[5] = {9, 7, 12, 7, 12};
    for (int i = 0; i < 5; ++i) {
        moves[i].from = i;
        moves[i].after.sides[1].pieceCount = keys[i];
    }
    std::vector<SearchMove> more = moves;
    OrderSearchMoves(more, true);
    const Square moreOrder[5] = {2, 1, 0, 3, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(more[i].from, moreOrder[i]);
    std::vector<SearchMove> fewer = moves;
    OrderSearchMoves(fewer, false);
    const Square fewerOrder[5] = {1, 0, 2, 3, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(fewer[i].from, fewerOrder[i]);

    std::vector<LeafMove> leaf;
    for (int i = 0; i < 5; ++i)
        leaf.push_back({i, 0, keys[i]});
    OrderLeafMoves(leaf, true);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(leaf[i].from, moreOrder[i]);
}

TEST(Evaluate, WeightsThreatsAndSigns) {
    // Player 1: (0,0), (0,1), (1,0) and (0,5) on a goal; its threats are (1,1) and (1,5).
    // Player 2: two pieces on goal squares and one on row 9.
    const GameState s =
        MakePosition({{0, 0}, {0, 1}, {1, 0}, {0, 5}}, {{10, 4}, {10, 5}, {9, 0}}, 1);
    ASSERT_EQ(WinnerOf(s), 0u);
    const int one = 5000 * 1 + 100 * 4 + 3 * 30 + 25 + 2;
    const int two = 5000 * 2 + 100 * 3 + 2 * 17 + 16;
    EXPECT_EQ(Evaluate(s, 1), one - two);
    EXPECT_EQ(Evaluate(s, 2), two - one);

    const GameState won = MakePosition({{0, 4}, {0, 5}, {0, 6}}, {{5, 5}, {5, 6}, {5, 7}}, 2);
    EXPECT_EQ(Evaluate(won, 1), 100000);
    EXPECT_EQ(Evaluate(won, 2), -100000);

    for (const GameState& p : RandomGamePositions(5, 20, 100))
        for (int side = 1; side <= 2; ++side)
            ASSERT_EQ(Evaluate(p, side), reference::Evaluate(p, side)) << Diagram(p);
}

TEST(ChooseMove, OpeningAnswers) {
    GameState s;
    InitStartPosition(s);
    ApplyMove(s, 31, 32, kNoTime);
    const Square expected[4] = {0, 75 + 10, 85, 75};
    for (int strength = 1; strength <= 3; ++strength) {
        Square from = kNoSquare, to = kNoSquare;
        ASSERT_TRUE(ChooseMove(s, strength, from, to));
        EXPECT_EQ(from, 97) << "strength " << strength;
        EXPECT_EQ(to, expected[strength]) << "strength " << strength;
    }
}

TEST(ChooseMove, SingleMoveIsPlayedWithoutSearch) {
    // Player 2's pieces sit on its last row, hemmed in by one red piece: only 112 -> 113 is
    // open, and it walks into a capture-free square; no search is made at any strength.
    const GameState s =
        MakePosition({{10, 4}, {5, 5}, {5, 6}, {6, 5}}, {{10, 0}, {10, 1}, {10, 2}}, 2);
    MoveList moves;
    GenerateMoves(s, moves);
    ASSERT_EQ(moves.size(), 1u);
    for (int strength = 1; strength <= 3; ++strength) {
        Square from = kNoSquare, to = kNoSquare;
        SearchStats stats;
        stats.nodes = 99;
        ASSERT_TRUE(ChooseMove(s, strength, from, to, nullptr, &stats));
        EXPECT_EQ(from, moves[0].from);
        EXPECT_EQ(to, moves[0].to);
        EXPECT_EQ(stats.nodes, 0u);
    }
}

TEST(ChooseMove, NoLegalMoveChoosesNothing) {
    const GameState s = MakePosition({{10, 3}, {5, 5}, {5, 6}}, {{10, 0}, {10, 1}, {10, 2}}, 2);
    Square from = 7, to = 8;
    EXPECT_FALSE(ChooseMove(s, 2, from, to));
    EXPECT_EQ(from, 7);
    EXPECT_EQ(to, 8);
}

TEST(ChooseMove, ImmediateWinIsPreferred) {
    // Red to move with pieces on goal squares 4 and 5: 17 -> 6 wins at once. The earlier move
    // 5 -> 6 wins too, one turn later (17 -> 5 whatever blue replies), which High also sees.
    const GameState s = MakePosition({{0, 4}, {0, 5}, {1, 6}, {1, 9}, {1, 10}, {3, 8}},
                                     {{8, 0}, {8, 1}, {8, 2}, {9, 5}}, 1);
    MoveList moves;
    GenerateMoves(s, moves);
    const MOVE* win = moves.Find(17, 6);
    ASSERT_NE(win, nullptr);
    ASSERT_EQ(WinnerOf(win->after), 1u);
    const MOVE* slow = moves.Find(5, 6);
    ASSERT_NE(slow, nullptr);
    std::size_t slowIndex = 0, winIndex = 0;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        if (&moves[i] == slow) slowIndex = i;
        if (&moves[i] == win) winIndex = i;
    }
    ASSERT_LT(slowIndex, winIndex) << "the slower win comes first in generation order";
    MoveList replies;
    GenerateMoves(slow->after, replies);
    ASSERT_FALSE(replies.empty());
    for (const MOVE& reply : replies) {
        MoveList next;
        GenerateMoves(reply.after, next);
        const MOVE* finish = next.Find(17, 5);
        ASSERT_NE(finish, nullptr);
        EXPECT_EQ(WinnerOf(finish->after), 1u);
    }
    for (int strength = 1; strength <= 3; ++strength) {
        Square from = kNoSquare, to = kNoSquare;
        ASSERT_TRUE(ChooseMove(s, strength, from, to));
        EXPECT_EQ(from, 17) << "strength " << strength;
        EXPECT_EQ(to, 6) << "strength " << strength;
    }

    // At Low, the first winning move in generation order is chosen whenever there is one. (Deeper
    // searches can prefer a reply that hands the game over, or stop at a child without moves.)
    int checked = 0;
    for (const GameState& p : RandomGamePositions(21, 400, 200)) {
        MoveList list;
        GenerateMoves(p, list);
        const MOVE* first = nullptr;
        for (const MOVE& m : list)
            if (WinnerOf(m.after) == p.turn) {
                first = &m;
                break;
            }
        if (!first) continue;
        ++checked;
        Square from = kNoSquare, to = kNoSquare;
        ASSERT_TRUE(ChooseMove(p, 1, from, to));
        ASSERT_EQ(from, first->from) << Diagram(p);
        ASSERT_EQ(to, first->to) << Diagram(p);
    }
    EXPECT_GT(checked, 20);
}

TEST(ChooseMove, StrengthOutsideTheRangeIsClamped) {
    EXPECT_EQ(ClampStrength(-7), 1);
    EXPECT_EQ(ClampStrength(0), 1);
    EXPECT_EQ(ClampStrength(2), 2);
    EXPECT_EQ(ClampStrength(4), 3);
    EXPECT_EQ(ClampStrength(1 << 30), 3);
    GameState s;
    InitStartPosition(s);
    ApplyMove(s, 31, 32, kNoTime);
    Square from, to;
    SearchStats low, high, zero, huge;
    ASSERT_TRUE(ChooseMove(s, 1, from, to, nullptr, &low));
    ASSERT_TRUE(ChooseMove(s, 0, from, to, nullptr, &zero));
    EXPECT_EQ(to, 85);
    ASSERT_TRUE(ChooseMove(s, 3, from, to, nullptr, &high));
    ASSERT_TRUE(ChooseMove(s, 1000, from, to, nullptr, &huge));
    EXPECT_EQ(to, 75);
    EXPECT_EQ(zero.nodes, low.nodes);
    EXPECT_EQ(huge.nodes, high.nodes);
    EXPECT_NE(low.nodes, high.nodes);
}

TEST(ChooseMove, CancelStopsTheSearch) {
    GameState s;
    InitStartPosition(s);
    std::atomic<bool> cancel{true};
    Square from, to;
    SearchStats stats;
    EXPECT_FALSE(ChooseMove(s, 3, from, to, &cancel, &stats));
    EXPECT_EQ(stats.nodes, 1u);
    cancel = false;
    EXPECT_TRUE(ChooseMove(s, 3, from, to, &cancel, &stats));
}

TEST(ChooseMove, SameAnswerEveryTime) {
    const std::vector<GameState> positions = RandomGamePositions(99, 3, 40);
    std::vector<Square> first;
    for (int round = 0; round < 2; ++round)
        for (std::size_t i = 0; i < positions.size(); i += 5) {
            Square from = kNoSquare, to = kNoSquare;
            SearchStats stats;
            ChooseMove(positions[i], 1 + static_cast<int>(i % 3), from, to, nullptr, &stats);
            const Square key = from * kSquareCount + to + static_cast<Square>(stats.nodes);
            if (round == 0)
                first.push_back(key);
            else
                ASSERT_EQ(first[i / 5], key);
        }
}

TEST(ChooseMove, ChildWithoutMovesStopsItsParent) {
    // Whatever red plays, blue is left without a move (its pieces on row 10, hemmed in by the
    // red piece on 113). The first child then reports failure and the root stops before it has
    // a best move: no move at Medium and High, while Low, which never looks at blue's replies,
    // plays.
    const GameState s = MakePosition({{10, 3}, {5, 5}, {5, 7}}, {{10, 0}, {10, 1}, {10, 2}}, 1);
    Square from, to;
    EXPECT_TRUE(ChooseMove(s, 1, from, to));
    EXPECT_FALSE(ChooseMove(s, 2, from, to));
    EXPECT_FALSE(ChooseMove(s, 3, from, to));
    for (int strength = 1; strength <= 3; ++strength)
        ExpectSameAsReference(s, strength);
}

TEST(ChooseMove, MatchesReferenceOnRandomGames) {
    const std::vector<GameState> positions = RandomGamePositions(2024, 20, 160);
    ASSERT_GT(positions.size(), 300u);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        ExpectSameAsReference(positions[i], 1);
        ExpectSameAsReference(positions[i], 2);
        if (i % 10 == 0) ExpectSameAsReference(positions[i], 3);
        if (HasFailure()) return;
    }
}

TEST(ChooseMove, MatchesReferenceInItsOwnGames) {
    for (int strength = 1; strength <= 3; ++strength) {
        const std::vector<GameState> positions = SearchGamePositions(
            40 + strength, strength == 3 ? 2 : 6, strength, strength, strength == 3 ? 60 : 200);
        for (std::size_t i = 0; i < positions.size(); i += strength == 3 ? 3 : 1) {
            ExpectSameAsReference(positions[i], strength);
            if (HasFailure()) return;
        }
    }
}
