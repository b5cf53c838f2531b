// The menu buttons on a real game window, pressed with the pen: the banner's hints, the click
// sounds, the commands and their refusal sounds, the tutorial set and hidden buttons, and the
// faces of both languages.
#include "tests/game/presentation/board_fixture.h"

#include <cstring>
#include <string>

namespace {

class Menu;
Menu* g_menu = nullptr;

class Menu : public GameBoard, public GameHost {
protected:
    void SetUp() override {
        GameBoard::SetUp();
        g_menu = this;
        settings.player1Computer = 0;
        settings.player2Computer = 0;
        Session().NewGame();
        RunOut();
        game->ShowMenu(Target);
        plays.clear();
    }
    void TearDown() override {
        g_menu = nullptr;
        GameBoard::TearDown();
    }

    static LRESULT CALLBACK Target(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && g_menu) {
            g_menu->commands.push_back(LOWORD(wParam) * 10 + HIWORD(wParam));
            g_menu->game->OnCommand(wParam, *g_menu);
            return 0;
        }
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    bool ConfirmNewGame() override {
        ++dialogs;
        return confirm;
    }
    void StartTutorial() override { ++tutorials; }
    void CloseGame() override { ++closes; }

    POINT Middle(AnimButton* button) {
        RECT r;
        button->GetRect(&r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void Press(int slot) {
        AnimButton* button = P().menu.Slot(slot);
        ASSERT_NE(button, nullptr);
        Down(Middle(button));
        Up(Middle(button));
    }
    std::vector<int> Sounds() const {
        std::vector<int> ids;
        for (const auto& [frame, id] : plays)
            ids.push_back(id);
        return ids;
    }
    Graphic* Up(int slot) {
        Graphic *up = nullptr, *down = nullptr;
        P().menu.Slot(slot)->GetImages(&up, &down);
        return up;
    }
    using GameBoard::Up;

    std::vector<int> commands; // id * 10 + code
    int dialogs = 0, tutorials = 0, closes = 0;
    bool confirm = true;
};

TEST_F(Menu, TheGameSetStandsOnTheBoardsButtonPoints) {
    const BoardLayout& layout = Display().Layout();
    const WORD ids[] = {1020, 1021, 1022, 1023, 1024, 1025};
    for (int i = 0; i < kMenuSlots; ++i) {
        AnimButton* button = P().menu.Slot(i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->GetId(), ids[i]);
        LONG x = 0, y = 0, w = 0, h = 0;
        button->GetPosition(&x, &y);
        button->GetSize(&w, &h);
        EXPECT_EQ(x, layout.menuPoints[i].x);
        EXPECT_EQ(y, layout.menuPoints[i].y);
        EXPECT_EQ(w, kFaceWidth);
        EXPECT_EQ(h, kFaceHeight);
        EXPECT_EQ(Up(i), P().graphics.faces[i][kFaceEnglishUp]);
    }
    EXPECT_EQ(P().menu.PressedButton(), -1);
}

TEST_F(Menu, AHeldButtonNamesItsCommandAndSlidingOffGivesNoCommand) {
    AnimButton* undo = P().menu.Slot(0);
    const int turnStrip = Display().BannerIndex();
    ASSERT_EQ(turnStrip, kBannerBlueTurn);
    Down(Middle(undo));
    EXPECT_EQ(P().menu.PressedButton(), 0);
    EXPECT_EQ(Display().BannerIndex(), kBannerButtonFirst + 0);
    Graphic *up = nullptr, *down = nullptr;
    undo->GetImages(&up, &down);
    EXPECT_EQ(down, P().graphics.faces[0][kFaceEnglishDown]);
    Move(POINT{Middle(undo).x, 150});
    EXPECT_EQ(P().menu.PressedButton(), -1);
    EXPECT_EQ(Display().BannerIndex(), turnStrip) << "the hint goes with the pen";
    Up(POINT{Middle(undo).x, 150});
    EXPECT_EQ(Sounds(), std::vector<int>({kSoundButtonDown, kSoundButtonDown}));
    EXPECT_EQ(commands, std::vector<int>({10202, 10203}));
    EXPECT_EQ(Session().state.turn, 2u);

    // Held on the last slot, the hint is the last button's.
    Down(Middle(P().menu.Slot(5)));
    EXPECT_EQ(Display().BannerIndex(), kBannerButtonFirst + 5);
    Up(Middle(P().menu.Slot(5)));
    EXPECT_EQ(closes, 1);
}

TEST_F(Menu, TakeBackAndReplaySoundWhetherTheyCanDoAnything) {
    const GameState start = Session().state;
    Press(0);
    EXPECT_EQ(Sounds(), std::vector<int>({kSoundButtonDown, kSoundButtonDown, kSoundRefuse}));
    EXPECT_EQ(Session().state.turn, start.turn);
    EXPECT_EQ(std::memcmp(&Session().state, &start, sizeof start), 0) << "nothing changed";

    DragPiece(SquareAt(2, 4), SquareAt(3, 4));
    RunOut();
    ASSERT_EQ(game->history.done.size(), 1u);
    plays.clear();
    Press(0);
    EXPECT_EQ(Sounds().back(), kSoundButtonDone);
    RunOut();
    EXPECT_EQ(game->history.done.size(), 0u);
    EXPECT_EQ(game->history.redo.size(), 1u);
    EXPECT_EQ(ShownColour(SquareAt(2, 4)), 2) << "the piece is back where it came from";
    EXPECT_EQ(ShownColour(SquareAt(3, 4)), 0);

    plays.clear();
    Press(1);
    EXPECT_EQ(Sounds().back(), kSoundButtonDone);
    RunOut();
    EXPECT_EQ(game->history.done.size(), 1u);
    plays.clear();
    Press(1);
    EXPECT_EQ(Sounds().back(), kSoundRefuse) << "nothing left to replay";
}

TEST_F(Menu, NewGameAsksFirstAndHelpAndExitGoToTheProgram) {
    DragPiece(SquareAt(2, 4), SquareAt(3, 4));
    RunOut();
    ASSERT_EQ(game->history.done.size(), 1u);
    confirm = false;
    Press(2);
    EXPECT_EQ(dialogs, 1);
    RunOut();
    EXPECT_EQ(game->history.done.size(), 1u) << "a refused dialog keeps the game";
    confirm = true;
    Press(2);
    RunOut();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(game->history.done.size(), 0u);
    EXPECT_EQ(Session().state.turn, 2u);
    Press(3);
    Press(5);
    EXPECT_EQ(tutorials, 1);
    EXPECT_EQ(closes, 1);
    int done = 0;
    for (int id : Sounds())
        done += id == kSoundButtonDone;
    EXPECT_EQ(done, 4);
}

TEST_F(Menu, ALanguageChangeGivesEveryButtonTheOtherFacesAndKeepsHiddenOnesHidden) {
    P().menu.SetHidden(kCommandRedo, true);
    EXPECT_TRUE(MenuButtons::IsHidden(P().menu.Slot(1)));
    Press(4);
    EXPECT_EQ(CurrentLanguageId(), kLangEsperanto);
    for (int i = 0; i < kMenuSlots; ++i)
        EXPECT_EQ(Up(i), P().graphics.faces[i][kFaceEsperantoUp]) << "slot " << i;
    EXPECT_TRUE(MenuButtons::IsHidden(P().menu.Slot(1)));
    EXPECT_EQ(Display().BannerObject()->GetGraphic(), P().graphics.strips[1][kBannerBlueTurn]);
    Press(4);
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    EXPECT_EQ(Up(4), P().graphics.faces[4][kFaceEnglishUp]);
}

TEST_F(Menu, TheTutorialSetHidesAndShowsItsButtons) {
    P().menu.Create(ButtonSet::kTutorial, Target);
    const BoardLayout& layout = Display().Layout();
    const WORD ids[] = {1027, 1028, 1029};
    const int faces[] = {0, 1, 5};
    for (int i = 0; i < 3; ++i) {
        AnimButton* button = P().menu.Slot(i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->GetId(), ids[i]);
        LONG x = 0, y = 0;
        button->GetPosition(&x, &y);
        EXPECT_EQ(x, layout.tutorialPoints[i].x);
        EXPECT_EQ(y, layout.tutorialPoints[i].y);
        EXPECT_EQ(Up(i), P().graphics.faces[faces[i]][kFaceEnglishUp]);
    }
    EXPECT_EQ(P().menu.Slot(3), nullptr);

    AnimButton* back = P().menu.Slot(0);
    P().menu.SetHidden(kCommandTutorialBack, true);
    P().menu.SetHidden(kCommandTutorialBack, true);
    LONG x = 0, y = 0;
    back->GetPosition(&x, &y);
    EXPECT_EQ(y, layout.tutorialPoints[0].y - kHiddenLift) << "hiding twice moves once";
    Down(POINT{Middle(back).x, Middle(back).y + kHiddenLift});
    EXPECT_EQ(P().menu.PressedButton(), -1) << "nothing is left where it stood";
    Up(POINT{Middle(back).x, Middle(back).y + kHiddenLift});
    P().menu.SetHidden(kCommandTutorialBack, false);
    P().menu.SetHidden(kCommandTutorialBack, false);
    back->GetPosition(&x, &y);
    EXPECT_EQ(y, layout.tutorialPoints[0].y);

    // While the tutorial runs, a held button puts no hint up.
    Session().tutorialMode = true;
    Down(Middle(back));
    EXPECT_EQ(P().menu.PressedButton(), 0);
    ASSERT_NE(Display().BannerObject(), nullptr);
    EXPECT_EQ(Display().BannerObject()->GetGraphic(), nullptr);
    Up(Middle(back));
    Session().tutorialMode = false;
    P().menu.Delete();
    EXPECT_TRUE(P().menu.Empty());
}

} // namespace
