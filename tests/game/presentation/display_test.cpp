// The board display on a real game window: the pictures and their layout as loaded, pieces
// kept in step with the game state, the banner's choice, and what reaches the screen.
#include "tests/game/presentation/board_fixture.h"

#include <set>

namespace {

class BoardView : public GameBoard {
protected:
    // The window as it was last painted.
    COLORREF Pixel(int x, int y) {
        HDC dc = GetDC(window->GetHandle());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(window->GetHandle(), dc);
        return c;
    }
    static int CountColour(Graphic* g, COLORREF colour) {
        int n = 0;
        for (LONG y = 0; y < g->GetHeight(); ++y)
            for (LONG x = 0; x < g->GetWidth(); ++x)
                n += g->GetPixelColor(x, y) == colour;
        return n;
    }
};

TEST_F(BoardView, TheShippedPicturesGiveTheirLayout) {
    const BoardLayout& layout = Display().Layout();
    // Grid lines, top first.
    const LONG lines[12] = {43, 59, 75, 92, 109, 127, 145, 163, 182, 202, 223, 243};
    for (int row = 0; row < kBoardSize; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            const CellGeometry& cell = layout.cells[row][column];
            EXPECT_EQ(cell.top, lines[10 - row]) << row << "," << column;
            EXPECT_EQ(cell.bottom, lines[11 - row]) << row << "," << column;
            if (column > 0) {
                EXPECT_EQ(cell.left, layout.cells[row][column - 1].right);
            }
            EXPECT_NE(cell.image[0], nullptr);
            EXPECT_NE(cell.image[1], nullptr);
        }
    EXPECT_EQ(layout.cells[10][0].left, 18);
    EXPECT_EQ(layout.cells[10][10].right, 221);
    EXPECT_EQ(layout.glowOrigin.x, 2);
    EXPECT_EQ(layout.glowOrigin.y, 42);
    EXPECT_EQ(layout.bannerPoint.x, 0);
    EXPECT_EQ(layout.bannerPoint.y, 268);
    const LONG menu[6] = {6, 45, 84, 123, 162, 201};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(layout.menuPoints[i].x, menu[i]);
        EXPECT_EQ(layout.menuPoints[i].y, 4);
    }
    ASSERT_EQ(layout.tutorialPointCount, 3);
    const LONG tutorial[3] = {65, 104, 143};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.tutorialPoints[i].x, tutorial[i]);
        EXPECT_EQ(layout.tutorialPoints[i].y, 4);
    }
    // The piece box holds every piece and explosion frame lined up on its foot point.
    EXPECT_GE(layout.box.width, 35);
    EXPECT_GE(layout.box.height, 50);
    EXPECT_GE(layout.box.hotX, P().graphics.frameHot.x);
    EXPECT_GE(layout.box.hotY, P().graphics.frameHot.y);
    EXPECT_EQ(P().graphics.frameHot.x, 14);
    EXPECT_EQ(P().graphics.frameHot.y, 32);
    for (int row = 0; row < kBoardSize; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            const CellGeometry& cell = layout.cells[row][column];
            EXPECT_LE(cell.hotX, layout.box.hotX);
            EXPECT_LE(cell.hotY, layout.box.hotY);
            EXPECT_LE(cell.image[0]->GetWidth(), layout.box.width);
        }
}

TEST_F(BoardView, NoMarkerPixelIsLeftInAnythingThatIsDrawn) {
    const GameGraphics& g = P().graphics;
    for (COLORREF marker : {kMarkerGreen, kMarkerBlue, kMarkerYellow, kMarkerRed, kMarkerCyan})
        EXPECT_EQ(CountColour(g.background, marker), 0) << std::hex << marker;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(CountColour(g.pieceSheets[i], kMarkerYellow), 0) << "foot points of sheet " << i;
    EXPECT_EQ(CountColour(g.frameSheet, kMarkerYellow), 0) << "the explosion's hot point";
}

TEST_F(BoardView, SynchroniseMakesTheTableMatchAndChangesOnlyWhatDiffers) {
    GameState start;
    InitStartPosition(start);
    Show(start);
    std::vector<AnimObject*> before;
    for (Square s = 0; s < kSquareCount; ++s) {
        EXPECT_EQ(ShownColour(s), SquareOwner(start, s)) << "square " << s;
        before.push_back(Display().PieceAt(s));
    }
    const std::size_t objects = MemCountLive("ANIMOBJECT");
    Show(start);
    for (Square s = 0; s < kSquareCount; ++s)
        EXPECT_EQ(Display().PieceAt(s), before[static_cast<std::size_t>(s)]) << "square " << s;
    EXPECT_EQ(MemCountLive("ANIMOBJECT"), objects) << "nothing made, nothing freed";

    // One piece moved, one converted: exactly those squares change.
    GameState changed = start;
    SetSquareOwner(changed, 4, 2, 0);
    SetSquareOwner(changed, 4, 3, 2);
    SetSquareOwner(changed, 6, 8, 2);
    Show(changed);
    for (Square s = 0; s < kSquareCount; ++s) {
        EXPECT_EQ(ShownColour(s), SquareOwner(changed, s)) << "square " << s;
        // (A replaced piece may come back at the freed one's address: only the others are
        // compared.)
        const bool touched = s == SquareAt(2, 4) || s == SquareAt(3, 4) || s == SquareAt(8, 6);
        if (!touched) {
            EXPECT_EQ(Display().PieceAt(s), before[static_cast<std::size_t>(s)]) << s;
        }
    }
    EXPECT_EQ(MemCountLive("ANIMOBJECT"), objects);
    AnimObject* moved = Display().PieceAt(SquareAt(3, 4));
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->GetLayer(), PieceLayer(SquareAt(3, 4)));
    RECT r;
    moved->GetRect(&r);
    const RECT expected = PieceRect(Display().Layout(), SquareAt(3, 4));
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);
    EXPECT_EQ(r.bottom, expected.bottom);
}

TEST_F(BoardView, LayersPutNearerAndMiddlePiecesInFront) {
    EXPECT_EQ(PieceLayer(SquareAt(0, 5)), 100);
    EXPECT_EQ(PieceLayer(SquareAt(10, 0)), 310);
    EXPECT_EQ(PieceLayer(SquareAt(10, 10)), 310);
    EXPECT_LT(PieceLayer(SquareAt(2, 4)), PieceLayer(SquareAt(3, 4)));
    EXPECT_LT(PieceLayer(SquareAt(2, 5)), PieceLayer(SquareAt(2, 4)));
    EXPECT_LT(PieceLayer(SquareAt(10, 0)), kBannerLayer);
}

TEST_F(BoardView, TheBannerFollowsTurnWinnerAndPlayers) {
    InitStartPosition(Session().state);
    settings.player1Computer = 1;
    settings.player2Computer = 0;
    Session().humanMayMove = false;
    EXPECT_EQ(Display().ChooseBanner(), kBannerNone) << "blue's turn has not begun";
    Session().humanMayMove = true;
    EXPECT_EQ(Display().ChooseBanner(), kBannerBlueTurn);
    Session().state.turn = 1;
    EXPECT_EQ(Display().ChooseBanner(), kBannerThinking);
    settings.player1Computer = 0;
    EXPECT_EQ(Display().ChooseBanner(), kBannerRedTurn);
    Session().winner = 1;
    EXPECT_EQ(Display().ChooseBanner(), kBannerRedWins);
    Session().winner = 2;
    EXPECT_EQ(Display().ChooseBanner(), kBannerBlueWins);

    Display().ShowBanner(kBannerBlueWins);
    AnimObject* banner = Display().BannerObject();
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->GetGraphic(), P().graphics.strips[0][kBannerBlueWins]);
    EXPECT_EQ(banner->GetLayer(), kBannerLayer);
    RECT r;
    banner->GetRect(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 268);
    EXPECT_EQ(r.right - r.left, 240);
    EXPECT_EQ(r.bottom - r.top, 18);
    Display().ToggleLanguage();
    EXPECT_EQ(banner->GetGraphic(), P().graphics.strips[1][kBannerBlueWins]);
    EXPECT_EQ(CurrentLanguageId(), kLangEsperanto);
    Display().ToggleLanguage();
    EXPECT_EQ(banner->GetGraphic(), P().graphics.strips[0][kBannerBlueWins]);
    Display().ShowBanner(kBannerNone);
    EXPECT_EQ(banner->GetGraphic(), nullptr);
    EXPECT_EQ(Display().BannerObject(), banner) << "made once, reused";
}

TEST_F(BoardView, PiecesAreDrawnWithTheirFootOnTheSquaresAnchor) {
    GameState state{};
    state.turn = 2;
    SetSquareOwner(state, 3, 0, 2);
    SetSquareOwner(state, 7, 10, 1);
    Show(state);
    Frames(1);
    const BoardLayout& layout = Display().Layout();
    for (Square s : {SquareAt(0, 3), SquareAt(10, 7)}) {
        const CellGeometry& cell = Cell(layout, s);
        Graphic* image = cell.image[ColourIndex(SquareOwner(state, s))];
        // The image's own pixels, found on screen where the foot point says.
        const LONG x0 = cell.left + cell.anchorX - cell.hotX;
        const LONG y0 = cell.top + cell.anchorY - cell.hotY;
        int compared = 0, equal = 0;
        for (LONG y = 0; y < image->GetHeight(); ++y)
            for (LONG x = 0; x < image->GetWidth(); ++x) {
                if (image->GetPixelColor(x, y) == kMarkerBlue) continue; // transparent
                const COLORREF want = image->GetPixelColor(x, y), got = Pixel(x0 + x, y0 + y);
                ++compared;
                equal += (GetRValue(want) >> 3) == (GetRValue(got) >> 3) &&
                         (GetGValue(want) >> 3) == (GetGValue(got) >> 3) &&
                         (GetBValue(want) >> 3) == (GetBValue(got) >> 3);
            }
        EXPECT_GT(compared, 100);
        EXPECT_EQ(equal, compared) << "square " << s;
    }
}

} // namespace

// ---- Scenes of a game, checked on the window's pixels ----------------------------------------

namespace {

// The self-playing game High (red) against Medium (blue), as tessark-cli selfplay plays it.
constexpr const char* kSelfPlay =
    "27,31,41,97,75,30,40,75,63,29,39,63,51,28,38,96,74,27,37,74,62,26,36,90,78,25,35,89,90,24,"
    "34,78,68,35,45,91,69,51,63,92,91,23,35,95,83,63,73,90,89,73,85,94,95,85,96,0";

class Scenes : public BoardView {
protected:
    // The position after the first `moves` moves of the self-playing game.
    GameState After(std::size_t moves) {
        GameState base;
        InitStartPosition(base);
        game->history.ReadHistoryText(base, string(kSelfPlay));
        EXPECT_GE(game->history.done.size(), moves);
        GameState state = moves == 0 ? base : game->history.done[moves - 1].after;
        game->history.done.resize(moves);
        return state;
    }
    // The board picture at a point, as the background shows it.
    COLORREF Background(LONG x, LONG y) { return P().graphics.background->GetPixelColor(x, y); }
    static int Brightness(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }
    static bool Near(COLORREF a, COLORREF b) {
        return (GetRValue(a) >> 3) == (GetRValue(b) >> 3) &&
               (GetGValue(a) >> 3) == (GetGValue(b) >> 3) &&
               (GetBValue(a) >> 3) == (GetBValue(b) >> 3);
    }
    // A point of the square outside every piece object's rectangle, so that nothing but the
    // board and its glow is drawn there.
    bool ClearPoint(Square s, POINT* p) {
        const CellGeometry& c = Cell(Display().Layout(), s);
        for (LONG y = c.top + 1; y < c.bottom - 1; ++y)
            for (LONG x = c.left + 1; x < c.right - 1; ++x) {
                bool covered = false;
                for (Square o = 0; o < kSquareCount && !covered; ++o)
                    if (AnimObject* piece = Display().PieceAt(o)) {
                        RECT r;
                        piece->GetRect(&r);
                        covered = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                    }
                if (!covered) {
                    *p = POINT{x, y};
                    return true;
                }
            }
        return false;
    }
};

TEST_F(Scenes, TheSetUpSweepUnderWay) {
    settings.player1Computer = 1;
    Session().NewGame();
    for (int i = 0; i < 400 && !Display().FirstPiece(); ++i)
        Frames(1);
    GameState start;
    InitStartPosition(start);
    auto countShown = [&] {
        int shown = 0;
        for (Square s = 0; s < kSquareCount; ++s) {
            if (!Display().PieceAt(s)) continue;
            ++shown;
            EXPECT_EQ(ShownColour(s), SquareOwner(start, s)) << "only where the game has one";
        }
        return shown;
    };
    EXPECT_GT(countShown(), 0);
    // The sweeps' heads light the board: brighter there than the board picture, which shows
    // unchanged where nothing is.
    int lit = 0, plain = 0;
    for (Square s = 0; s < kSquareCount; ++s) {
        POINT p;
        if (!ClearPoint(s, &p)) continue;
        if (Display().ShownLevel(s) >= 3) {
            EXPECT_GT(Brightness(Pixel(p.x, p.y)), Brightness(Background(p.x, p.y)) + 30) << s;
            ++lit;
        } else if (Display().ShownLevel(s) == 0) {
            EXPECT_TRUE(Near(Pixel(p.x, p.y), Background(p.x, p.y))) << s;
            ++plain;
        }
    }
    EXPECT_EQ(lit, 2) << "red's sweep enters from the right, blue's from the left";
    EXPECT_GT(plain, 50);
    Frames(8);
    const int later = countShown();
    EXPECT_GT(later, 2);
    EXPECT_LT(later, 18) << "the sweep has not got everywhere yet";
    EXPECT_FALSE(Session().humanMayMove) << "blue's turn begins when the sweep is over";
    RunOut();
    EXPECT_EQ(countShown(), 18);
    EXPECT_TRUE(Session().humanMayMove);
    EXPECT_EQ(Display().BannerIndex(), kBannerBlueTurn);
}

TEST_F(Scenes, ACaptureMidExplosionWithBothLightTraces) {
    settings.player1Computer = 0;
    // Move 17, blue 35 -> 45, captures red on 51 from the corner 34.
    Session().state = After(16);
    Show(Session().state);
    Frames(1);
    ASSERT_EQ(ShownColour(51), 1);
    // The drag has put the piece down already.
    Display().MovePieceReference(35, 45);
    Display().SetPieceSquare(Display().PieceAt(45), 45);
    Display().PlacePiece(Display().PieceAt(45));
    const FrameTime t = Now() + 1;
    ASSERT_TRUE(Session().MakeMove(35, 45, false));
    // Seven squares each way (2 frames a square): the traces arrive at t + 14.
    const FrameTime arrive = t + 14;
    Frames(arrive + 5 - Now());
    AnimObject* captured = Display().PieceAt(51);
    ASSERT_NE(captured, nullptr);
    EXPECT_EQ(PieceValue(captured, kPieceFrame), 4);
    EXPECT_EQ(PieceValue(captured, kPieceConverting), 1);
    EXPECT_EQ(PieceValue(captured, kPieceColour), 2);
    // Along row 3 (the first trace) and along row 4 (the second) the squares are still lit:
    // where the board shows through once everything is over, it is brighter now.
    struct Sample {
        int leg;
        LONG x, y;
        COLORREF now;
    };
    std::vector<Sample> samples;
    for (int leg = 0; leg < 2; ++leg)
        for (int column = 3; column <= 6; ++column) {
            const Square s = SquareAt(3 + leg, column);
            EXPECT_GT(Display().ShownLevel(s), 0) << "row " << 3 + leg << " column " << column;
            const CellGeometry& c = Cell(Display().Layout(), s);
            for (LONG y = c.top + 1; y < c.bottom - 1; ++y)
                for (LONG x = c.left + 1; x < c.right - 1; ++x)
                    samples.push_back({leg, x, y, Pixel(x, y)});
        }
    // The burst is drawn over the new piece: the screen no longer shows the plain red piece.
    const CellGeometry& cell = Cell(Display().Layout(), 51);
    Graphic* red = cell.image[0];
    int differ = 0;
    for (LONG y = 0; y < red->GetHeight(); ++y)
        for (LONG x = 0; x < red->GetWidth(); ++x) {
            const COLORREF want = red->GetPixelColor(x, y);
            if (want == kMarkerBlue) continue;
            differ += !Near(want, Pixel(cell.left + cell.anchorX - cell.hotX + x,
                                        cell.top + cell.anchorY - cell.hotY + y));
        }
    EXPECT_GT(differ, 50);
    RunOut();
    EXPECT_EQ(ShownColour(51), 2);
    EXPECT_TRUE(Sequences().Traces().empty());
    int lit[2] = {0, 0};
    for (const Sample& sample : samples) {
        const COLORREF later = Pixel(sample.x, sample.y);
        if (!Near(later, Background(sample.x, sample.y))) continue; // a piece is drawn there
        EXPECT_GT(Brightness(sample.now), Brightness(later)) << sample.x << "," << sample.y;
        ++lit[sample.leg];
    }
    EXPECT_GT(lit[0], 10);
    EXPECT_GT(lit[1], 10);
}

TEST_F(Scenes, AFinishedGameShowsTheWinnersStrip) {
    settings.player1Computer = 1;
    settings.player2Computer = 1;
    Session().state = After(27);
    Show(Session().state);
    Session().EndTurn(kNoTime);
    ASSERT_EQ(Session().winner, 2u);
    Frames(1);
    EXPECT_EQ(Display().BannerIndex(), kBannerBlueWins);
    for (Square s = 0; s < kSquareCount; ++s)
        EXPECT_EQ(ShownColour(s), SquareOwner(Session().state, s)) << "square " << s;
    // The strip's pixels are on screen at the banner point; the red player's strip is not.
    auto matches = [&](Graphic* strip) {
        int compared = 0, equal = 0;
        for (LONG y = 0; y < strip->GetHeight(); ++y)
            for (LONG x = 0; x < strip->GetWidth(); ++x) {
                const COLORREF want = strip->GetPixelColor(x, y);
                if (want == kMarkerBlue) continue;
                ++compared;
                equal += Near(want, Pixel(x, 268 + y));
            }
        return compared > 0 && equal == compared;
    };
    EXPECT_TRUE(matches(P().graphics.strips[0][kBannerBlueWins]));
    EXPECT_FALSE(matches(P().graphics.strips[0][kBannerRedWins]));
    RunOut();
    ASSERT_FALSE(plays.empty());
    EXPECT_EQ(plays.back().second, kSoundComputerWins) << "a computer-played side won";
}

} // namespace
