// The human's pen on a real game window: picking up, the pulsing targets, dragging with the
// piece kept on the board, and the three ways a drop ends.
#include "tests/game/presentation/board_fixture.h"

#include <algorithm>

namespace {

class Pen : public GameBoard {
protected:
    // A new game against the computer (red), played until blue may move.
    void BlueToMove() {
        settings.player1Computer = 1;
        settings.player2Computer = 0;
        Session().NewGame();
        RunOut();
        ASSERT_TRUE(Session().humanMayMove);
        ASSERT_EQ(Session().state.turn, 2u);
        plays.clear();
    }
    std::vector<int> Ids() const {
        std::vector<int> ids;
        for (const auto& [frame, id] : plays)
            ids.push_back(id);
        return ids;
    }
    // The foot point the piece's rectangle puts it on.
    POINT Foot(AnimObject* piece) {
        RECT r;
        piece->GetRect(&r);
        return POINT{r.left + Display().Layout().box.hotX, r.top + Display().Layout().box.hotY};
    }
    POINT Anchor(Square s) {
        const CellGeometry& c = Cell(Display().Layout(), s);
        return POINT{c.left + c.anchorX, c.top + c.anchorY};
    }
};

TEST_F(Pen, PickingUpLightsExactlyThePiecesLegalTargets) {
    BlueToMove();
    const Square from = SquareAt(2, 4);
    Down(Centre(from));
    ASSERT_TRUE(P().input.Dragging());
    EXPECT_EQ(P().input.DraggedPiece(), Display().PieceAt(from));
    EXPECT_EQ(Ids(), std::vector<int>({kSoundPickUp}));
    std::vector<Square> lit, legal;
    for (int i = 0; i < kMostTargetSpots; ++i)
        if (const GLOWSPOT* spot = P().input.TargetSpot(i)) lit.push_back(spot->square);
    for (const MOVE& move : Session().legalMoves)
        if (move.from == from) legal.push_back(move.to);
    EXPECT_EQ(lit, legal);
    EXPECT_EQ(legal.size(), 4u) << "two diagonals, one step and the double step";
    Frames(2);
    for (Square s : legal)
        EXPECT_GE(Display().ShownLevel(s), 3) << "target " << s << " pulses";
    Up(Centre(from));
    Frames(2);
    EXPECT_TRUE(Sequences().Spots().empty());
}

TEST_F(Pen, DroppingWhereItCameFromReturnsThePieceWithoutAMove) {
    BlueToMove();
    const GameState before = Session().state;
    const Square from = SquareAt(2, 6);
    AnimObject* piece = Display().PieceAt(from);
    // Picked up and dragged about, the piece's middle is over its own square when lifted.
    Down(Centre(from));
    Move(Over(from, SquareAt(3, 6)));
    Move(POINT{Over(from, from).x + 2, Over(from, from).y - 1});
    Up(POINT{Over(from, from).x + 2, Over(from, from).y - 1});
    EXPECT_FALSE(P().input.Dragging());
    EXPECT_EQ(Ids(), std::vector<int>({kSoundPickUp, kSoundReturn}));
    EXPECT_TRUE(Session().state == before);
    EXPECT_TRUE(game->history.done.empty());
    EXPECT_TRUE(Session().humanMayMove);
    EXPECT_EQ(Display().PieceAt(from), piece);
    const RECT expected = PieceRect(Display().Layout(), from);
    RECT r;
    piece->GetRect(&r);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(piece->GetLayer(), PieceLayer(from));
}

TEST_F(Pen, ADropOnALegalTargetIsTheMoveAndAnIllegalOneGoesBack) {
    BlueToMove();
    // Three squares ahead is no move: back it goes.
    DragPiece(SquareAt(2, 4), SquareAt(5, 4));
    EXPECT_EQ(Ids().back(), kSoundReturn);
    EXPECT_EQ(ShownColour(SquareAt(2, 4)), 2);
    EXPECT_TRUE(game->history.done.empty());
    // The double step is.
    plays.clear();
    AnimObject* piece = Display().PieceAt(SquareAt(2, 4));
    DragPiece(SquareAt(2, 4), SquareAt(4, 4));
    EXPECT_EQ(Ids(), std::vector<int>({kSoundPickUp, kSoundPutDown}));
    ASSERT_EQ(game->history.done.size(), 1u);
    EXPECT_EQ(game->history.done[0].from, SquareAt(2, 4));
    EXPECT_EQ(game->history.done[0].to, SquareAt(4, 4));
    EXPECT_EQ(Display().PieceAt(SquareAt(4, 4)), piece);
    EXPECT_EQ(Display().PieceAt(SquareAt(2, 4)), nullptr);
    EXPECT_EQ(PieceValue(piece, kPieceSquare), SquareAt(4, 4));
    EXPECT_EQ(piece->GetLayer(), PieceLayer(SquareAt(4, 4)));
    const POINT foot = Foot(piece), anchor = Anchor(SquareAt(4, 4));
    EXPECT_EQ(foot.x, anchor.x);
    EXPECT_EQ(foot.y, anchor.y);
    EXPECT_FALSE(Session().humanMayMove) << "the computer's turn follows";
}

TEST_F(Pen, TheOtherSidesPiecesAndTheComputersTurnAreRefused) {
    BlueToMove();
    Down(Centre(SquareAt(8, 4)));
    Up(Centre(SquareAt(8, 4)));
    EXPECT_FALSE(P().input.Dragging());
    EXPECT_EQ(Ids(), std::vector<int>({kSoundRefuse}));
    // An empty square, and a point well above the board, do nothing at all.
    plays.clear();
    Down(Centre(SquareAt(5, 5)));
    Up(Centre(SquareAt(5, 5)));
    Down(POINT{120, 5});
    Up(POINT{120, 5});
    EXPECT_TRUE(plays.empty());
    // While the computer is to move, a press on any piece does nothing.
    Session().humanMayMove = false;
    Down(Centre(SquareAt(2, 4)));
    Up(Centre(SquareAt(2, 4)));
    EXPECT_FALSE(P().input.Dragging());
    EXPECT_TRUE(plays.empty());
}

TEST_F(Pen, ADraggedPieceStaysOnTheBoardPastEachEdge) {
    BlueToMove();
    const Square from = SquareAt(2, 5);
    const POINT start = Centre(from);
    Down(start);
    AnimObject* piece = P().input.DraggedPiece();
    ASSERT_NE(piece, nullptr);
    struct Edge {
        POINT pen;
        const char* name;
    };
    for (const Edge& e : {Edge{{-200, start.y}, "left"}, Edge{{500, start.y}, "right"},
                          Edge{{start.x, 600}, "bottom"}, Edge{{start.x, -300}, "top"}}) {
        Move(e.pen);
        const Square s = PieceValue(piece, kPieceSquare);
        const POINT foot = Foot(piece), anchor = Anchor(s);
        SCOPED_TRACE(e.name);
        if (e.pen.x < 0) {
            EXPECT_EQ(ColumnOf(s), 0);
            EXPECT_EQ(foot.x, anchor.x);
        }
        if (e.pen.x > 240) {
            EXPECT_EQ(ColumnOf(s), 10);
            EXPECT_EQ(foot.x, anchor.x);
        }
        if (e.pen.y > 294) {
            EXPECT_EQ(RowOf(s), 0);
            EXPECT_EQ(foot.y, anchor.y);
        }
        if (e.pen.y < 0) {
            EXPECT_EQ(RowOf(s), 10);
            EXPECT_EQ(foot.y, anchor.y);
        }
        EXPECT_EQ(piece->GetLayer(), PieceLayer(s) - 1) << "in front of its row";
    }
    // Outside the window the pen is still the board's: back over the source, then lifted.
    Move(Over(from, from));
    EXPECT_EQ(PieceValue(piece, kPieceSquare), from);
    Up(Over(from, from));
    EXPECT_EQ(Ids().back(), kSoundReturn);
    EXPECT_EQ(Display().PieceAt(from), piece);
}

TEST_F(Pen, TheTutorialRefusesAMoveItsPageDoesNotAllow) {
    BlueToMove();
    struct OnlyOne : TutorialGuide {
        bool MoveCheck(const MOVE& move) override { return move.from == 25 && move.to == 36; }
    } page;
    // The session asks the tutorial about every move while in tutorial mode.
    SessionNeighbours n;
    n.settings = &game->options;
    P().FillNeighbours(n);
    n.history = &game->history;
    n.opponent = &game->opponent;
    n.store = &game->history;
    n.tutorial = &page;
    GameSession tutorial(n);
    tutorial.state = Session().state;
    tutorial.tutorialMode = true;
    tutorial.humanMayMove = true;
    GenerateMoves(tutorial.state, tutorial.legalMoves, true);
    P().Attach(&tutorial);
    DragPiece(SquareAt(2, 4), SquareAt(3, 4));
    EXPECT_EQ(Ids().back(), kSoundRefuse);
    EXPECT_EQ(ShownColour(SquareAt(2, 4)), 2);
    EXPECT_EQ(ShownColour(SquareAt(3, 4)), 0);
    P().Attach(&Session());
}

} // namespace
