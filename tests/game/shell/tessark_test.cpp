// The real tessark, run headless on the simulated clock on machines of its own, played with the
// pen by scripts whose coordinates come from the board's own geometry and the new-game dialog's
// template; screenshots are checked for what they must show.
#include "engine/cea_main.h"
#include "foundation/registry.h"
#include "game/presentation/graphics.h"
#include "game/rules/history.h"
#include "game/shell/newgame.h"
#include "game/shell/settings.h"
#include "platform/base.h"
#include "platform/dlg.h"
#include "platform/resource.h"
#include "tests/platform/bmp_file.h"
#include "tests/platform/temp_machine.h"
#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace {

// The board's geometry, read from the pictures this test carries as the game does.
class Geometry {
public:
    static const BoardLayout& Layout() {
        static Geometry geometry;
        return geometry.layout_;
    }
    ~Geometry() { UnloadGraphics(graphics_, layout_); }

private:
    Geometry() {
        EngineInit(GetModuleHandle(nullptr), 0);
        loaded_ = LoadGraphics(GetModuleHandle(nullptr), graphics_, layout_);
    }
    GameGraphics graphics_{};
    BoardLayout layout_{};
    bool loaded_ = false;
};

POINT Centre(Square s) {
    const CellGeometry& c = Cell(Geometry::Layout(), s);
    return POINT{(c.left + c.right) / 2, (c.top + c.bottom) / 2};
}

// Simulated milliseconds from the start until the game shows.
constexpr int kLogoMs = 6000;

INT_PTR CALLBACK PassiveDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Where the new-game dialog's controls are, from its template as the platform lays it out here
// too: in client pixels for taps, in window pixels for the screenshots (which show the frame).
class DialogLayout {
public:
    explicit DialogLayout(UINT templateId) {
        HWND dialog = CreateDialogParam(GetModuleHandle(nullptr), MAKEINTRESOURCE(templateId),
                                        nullptr, PassiveDialog, 0);
        if (!dialog) return;
        RECT window{};
        GetWindowRect(dialog, &window);
        size_ = SIZE{window.right - window.left, window.bottom - window.top};
        POINT origin{0, 0};
        ClientToScreen(dialog, &origin);
        frame_ = POINT{origin.x - window.left, origin.y - window.top};
        int index = 0;
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++index) {
            RECT r{};
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            const int id = GetDlgCtrlID(c);
            // The two group boxes have no id of their own: they are -1 and -2 here.
            rects_[id == 0xFFFF ? -1 - (index > 1 ? 1 : 0) : id] = r;
        }
        DestroyWindow(dialog);
    }
    SIZE Size() const { return size_; }
    // Client pixels.
    POINT Centre(int id) const {
        const RECT& r = rects_.at(id);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Where the control's text is drawn, in window pixels: inside a push button's edges, right
    // of a radio button's or check box's mark.
    RECT TextIn(int id) const {
        RECT r = InShot(id);
        const bool marked = id == kNewGameHuman || id == kNewGameComputer || id == kNewGameSound ||
                            id == kNewGameLights;
        if (id == IDOK || id == IDCANCEL)
            r = RECT{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
        if (marked) r.left += 16;
        return r;
    }
    // Window pixels, as in a screenshot of the dialog.
    RECT InShot(int id) const {
        RECT r = rects_.at(id);
        r.left += frame_.x;
        r.right += frame_.x;
        r.top += frame_.y;
        r.bottom += frame_.y;
        return r;
    }

private:
    SIZE size_{};
    POINT frame_{};
    std::map<int, RECT> rects_;
};

// A screenshot and facts about its pixels.
class Shot {
public:
    explicit Shot(const std::string& file) { loaded_ = bmp_.Load(file); }
    bool Loaded() const { return loaded_; }
    int Width() const { return bmp_.width; }
    int Height() const { return bmp_.height; }
    COLORREF At(POINT p) const { return bmp_.At(p.x, p.y); }
    // Pixels of the rectangle that are not `colour` (with a little tolerance).
    int CountOther(const RECT& r, COLORREF colour) const {
        int n = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                n += Near(bmp_.At(x, y), colour) ? 0 : 1;
        return n;
    }
    // Dark pixels (text and check marks on the dialog's grey).
    int CountInk(const RECT& r) const {
        int n = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                const COLORREF c = bmp_.At(x, y);
                n += GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 96 ? 1 : 0;
            }
        return n;
    }
    bool SameAs(const Shot& other, const RECT& r) const {
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                if (bmp_.At(x, y) != other.bmp_.At(x, y)) return false;
        return true;
    }
    // The right-most column holding ink, or -1.
    LONG InkRight(const RECT& r) const {
        for (LONG x = r.right; x-- > r.left;)
            if (CountInk(RECT{x, r.top, x + 1, r.bottom}) > 0) return x;
        return -1;
    }

private:
    static bool Near(COLORREF a, COLORREF b) {
        return std::abs(GetRValue(a) - GetRValue(b)) <= 8 &&
               std::abs(GetGValue(a) - GetGValue(b)) <= 8 &&
               std::abs(GetBValue(a) - GetBValue(b)) <= 8;
    }
    Bmp bmp_;
    bool loaded_ = false;
};

// A script: drags and button taps in client pixels, keys, waits.
class Script {
public:
    Script& Wait(int ms) { return Line("wait " + std::to_string(ms)); }
    // Waits out the logo at start-up (about 5.6 s of simulated time; the pen does nothing
    // meanwhile).
    Script& AfterLogo() { return Wait(kLogoMs); }
    Script& Tap(POINT p) { return Line("tap " + XY(p)); }
    // Picks the piece up at its square's middle and lifts it where its foot is over `to`: the
    // square under a dragged piece is looked up half a piece above the foot.
    Script& Drag(Square from, Square to) {
        const BoardLayout& layout = Geometry::Layout();
        const CellGeometry& a = Cell(layout, from);
        const POINT pick = Centre(from), middle = Centre(to);
        const POINT grab{a.left + a.anchorX - pick.x, a.top + a.anchorY - pick.y};
        const LONG half = layout.cells[0][0].image[0]->GetHeight() / 2;
        const POINT over{middle.x - grab.x, middle.y + half - grab.y};
        Line("down " + XY(pick));
        for (int step = 1; step <= 4; ++step)
            Line("move " + XY(POINT{pick.x + (over.x - pick.x) * step / 4,
                                    pick.y + (over.y - pick.y) * step / 4}));
        return Line("up " + XY(over));
    }
    // The menu button in slot i.
    Script& Button(int slot) {
        const POINT p = Geometry::Layout().menuPoints[slot];
        return Tap(POINT{p.x + kFaceWidth / 2, p.y + kFaceHeight / 2});
    }
    Script& Ctrl(const char* key) {
        return Line("keydown control").Line(std::string("key ") + key).Line("keyup control");
    }
    Script& Key(const char* key) { return Line(std::string("key ") + key); }
    // A control of the new-game dialog.
    Script& Click(const DialogLayout& dialog, int id) { return Tap(dialog.Centre(id)).Wait(100); }
    Script& Shot(const std::string& file) { return Line("screenshot " + file); }
    Script& Line(const std::string& line) {
        text_ += line + "\n";
        return *this;
    }
    const std::string& Text() const { return text_; }

private:
    static std::string XY(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }
    std::string text_;
};

RegistryValue Value(const char* name) {
    return RegistryValue(RegistryKey(string(kGameKeyPath)), string(name));
}

std::string SavedHistory() {
    return string8(ReadString(Value(kSavedHistoryName))).c_str();
}

class Tessark : public ::testing::Test {
protected:
    // Runs the game on the machine with the script; `clock` "sim" or "" for the real clock.
    ToolRun Run(const Script& script, const std::string& arguments = "",
                const std::string& clock = "sim") {
        const std::string file = machine.Path("run" + std::to_string(++runs) + ".script");
        std::ofstream(file) << script.Text();
        return RunCommand("TESSARK_DRIVER=null TESSARK_CLOCK=" + clock + " TESSARK_MACHINE=" +
                          ShellQuote(machine.dir()) + " TESSARK_SCRIPT=" + ShellQuote(file) +
                          " timeout 300 " + ShellQuote(TESSARK_GAME) + " " + arguments);
    }
    // Two humans, as most tests play.
    void TwoHumans() {
        Settings s;
        s.player1Computer = 0;
        s.player2Computer = 0;
        ASSERT_TRUE(SaveSettings(s));
    }
    bool Exists(const std::string& name) { return std::ifstream(machine.Path(name)).good(); }
    Settings Stored() {
        Settings s;
        EXPECT_TRUE(ReadSettings(s));
        return s;
    }

    TempMachine machine;
    int runs = 0;
};

TEST_F(Tessark, TheFirstRunStoresTheDefaultSettings) {
    const ToolRun run = Run(Script().AfterLogo().Wait(3000));
    ASSERT_EQ(run.status, 0) << run.err;
    const RegistryData stored = ReadBinary(Value(kSettingsName));
    ASSERT_EQ(stored.size, 32u);
    std::uint32_t words[8];
    std::memcpy(words, stored.data, sizeof words);
    const std::uint32_t expected[8] = {0x00010001, 0, 1, 1, 0, 2, 1, 2};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(words[i], expected[i]) << "word " << i;
}

TEST_F(Tessark, MovesTakenBackAndReplayedAreKeptAcrossARestart) {
    TwoHumans();
    // Blue 26 -> 37, red 92 -> 81; BACK takes red's back, Ctrl+Z blue's, Ctrl+Y replays blue's.
    Script play;
    play.AfterLogo().Wait(3000).Drag(26, 37).Wait(1500).Drag(92, 81).Wait(1500);
    play.Button(0).Wait(800).Ctrl("z").Wait(800).Ctrl("y").Wait(800);
    play.Ctrl("q").Wait(60000).Shot(machine.Path("never.bmp"));
    ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Exists("never.bmp")) << "Ctrl+Q closed the game at once";
    EXPECT_EQ(SavedHistory(), "1,26,37,1,92,81");

    // Started again, the position, the history and the move to replay are back.
    Script again;
    again.AfterLogo().Wait(3000).Button(1).Wait(1500).Ctrl("q");
    run = Run(again);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SavedHistory(), "2,26,37,92,81,0");
    // --new forgets it.
    run = Run(Script().AfterLogo().Wait(3000).Ctrl("q"), "--new");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SavedHistory(), "0,0");
}

TEST_F(Tessark, ASecondCopyRaisesTheFirstAndEndsAtOnce) {
    TwoHumans();
    // The first copy runs on the real clock for a few seconds.
    std::thread first([&] {
        const ToolRun run = Run(Script().Wait(4000).Ctrl("q"), "", "");
        EXPECT_EQ(run.status, 0) << run.err;
    });
    // Its hidden window appears once it has started.
    const RegistryData before = ReadBinary(Value(kSettingsName));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto start = std::chrono::steady_clock::now();
    const ToolRun second = Run(Script().Wait(60000).Shot(machine.Path("second.bmp")));
    const auto took = std::chrono::steady_clock::now() - start;
    first.join();
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_FALSE(Exists("second.bmp")) << "the second copy opened no window";
    EXPECT_LT(took, std::chrono::seconds(3)) << "it did not wait for its script";
    EXPECT_TRUE(ReadBinary(Value(kSettingsName)) == before);
}

TEST_F(Tessark, DamagedStoredValuesGiveTheDocumentedFallbacks) {
    // Settings of another major version: defaults, written back.
    const std::uint8_t other[12] = {1, 0, 2, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_TRUE(WriteBinary(Value(kSettingsName),
                            RegistryData(const_cast<std::uint8_t*>(other), sizeof other)));
    std::uint8_t junk[40];
    for (std::size_t i = 0; i < sizeof junk; ++i)
        junk[i] = static_cast<std::uint8_t>(i * 37 + 11);
    ASSERT_TRUE(WriteBinary(Value(kSavedGameName), RegistryData(junk, sizeof junk)));
    ASSERT_TRUE(WriteString(Value(kSavedHistoryName), string("9,1,2,3")));
    const ToolRun run = Run(Script().AfterLogo().Wait(3000).Ctrl("q"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadBinary(Value(kSettingsName)).size, 32u);
    EXPECT_EQ(SavedHistory(), "0,0") << "a new game started";
}

TEST_F(Tessark, ClosingWhileTheComputerThinksLeavesNothingBehind) {
    Settings s;
    s.player1Computer = 1;
    s.player1Strength = kStrengthHigh;
    ASSERT_TRUE(SaveSettings(s));
    const ToolRun run = Run(Script().AfterLogo().Wait(3000).Drag(26, 37).Wait(400).Ctrl("q"));
    EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    // Blue's move is kept whether or not red's answer came before the end.
    EXPECT_EQ(SavedHistory().find(",26,37,"), 1u) << SavedHistory();
}

TEST_F(Tessark, TheCommandLineIsChecked) {
    ToolRun run = RunCommand(ShellQuote(TESSARK_GAME) + " --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: tessark"), std::string::npos);
    run = RunCommand(ShellQuote(TESSARK_GAME) + " --version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("tessark ", 0), 0u);
    for (const char* bad : {"--scale 9", "--scale", "--frobnicate", "--scale x"}) {
        run = RunCommand(ShellQuote(TESSARK_GAME) + " " + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_FALSE(run.err.empty()) << bad;
    }
}

// ---- The logo at start-up ---------------------------------------------------------------------

TEST_F(Tessark, TheLogoPlaysInTheMiddleOfTheBlackWindowAndTheGameAppearsAfterIt) {
    TwoHumans();
    const std::string early = machine.Path("logo-early.bmp"), turned = machine.Path("logo.bmp"),
                      word = machine.Path("logo-word.bmp"), board = machine.Path("board.bmp");
    Script script;
    script.Wait(150).Shot(early).Wait(1100).Shot(turned).Wait(1700).Shot(word);
    script.AfterLogo().Shot(board).Ctrl("q");
    const ToolRun run = Run(script);
    ASSERT_EQ(run.status, 0) << run.err << " (3: memory left behind)";

    // The logo's frames are 200 x 100, centred on the 240 x 294 window.
    const RECT logo{20, 97, 220, 197};
    const RECT whole{0, 0, 240, 294};
    const Shot first(early), second(turned), third(word), game(board);
    ASSERT_TRUE(first.Loaded() && second.Loaded() && third.Loaded() && game.Loaded());
    EXPECT_EQ(second.Width(), 240);
    EXPECT_EQ(second.Height(), 294);
    EXPECT_EQ(first.CountOther(whole, RGB(0, 0, 0)), 0) << "black before the first frame";
    for (const Shot* shot : {&second, &third}) {
        const int inside = shot->CountOther(logo, RGB(0, 0, 0));
        EXPECT_GT(inside, 200 * 100 / 2) << "the tile fills the middle";
        EXPECT_EQ(shot->CountOther(whole, RGB(0, 0, 0)), inside) << "black all around";
    }
    EXPECT_FALSE(second.SameAs(third, logo)) << "the wordmark came onto the tile";

    // Then the board with its pieces: blue on row 2, red on row 8.
    EXPECT_GT(game.CountOther(RECT{0, 0, 240, 20}, RGB(0, 0, 0)), 1000) << "the menu buttons";
    const COLORREF blue = game.At(Centre(26)), red = game.At(Centre(92));
    EXPECT_GT(GetBValue(blue), GetRValue(blue) + 40);
    EXPECT_GT(GetRValue(red), GetBValue(red) + 40);
}

TEST_F(Tessark, ClosingDuringTheLogoEndsCleanly) {
    // While the tile tumbles, then while the finished logo is held.
    for (int at : {1000, 3500}) {
        SCOPED_TRACE(at);
        TwoHumans();
        const ToolRun run =
            Run(Script().Wait(at).Line("close").Wait(60000).Shot(machine.Path("never.bmp")));
        EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
        EXPECT_FALSE(Exists("never.bmp")) << "the window closed";
        EXPECT_EQ(Stored().player1Computer, 0u) << "the settings were saved at the end";
        EXPECT_EQ(SavedHistory(), "") << "no game started";
    }
}

// ---- The new-game dialog ----------------------------------------------------------------------

TEST_F(Tessark, TheNewGameDialogSetsUpAGameBetweenTwoPeople) {
    ASSERT_TRUE(SaveSettings(Settings())); // the computer at Medium plays red
    const DialogLayout dialog(kNewGameDialog);
    const std::string greyed = machine.Path("newgame-human.bmp");
    Script play;
    play.AfterLogo().Wait(3000).Ctrl("n").Wait(300);
    play.Click(dialog, kNewGameHuman).Shot(greyed).Click(dialog, IDOK).Wait(3000);
    // Red is moved by hand: no computer took the turn.
    play.Drag(26, 37).Wait(1500).Drag(92, 81).Wait(1500).Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    const Settings s = Stored();
    EXPECT_EQ(s.player1Computer, 0u);
    EXPECT_EQ(s.player1Strength, kStrengthMedium);
    EXPECT_EQ(SavedHistory(), "2,26,37,92,81,0");
    // With a person chosen the strength row was greyed: no dark text in it.
    const Shot shot(greyed);
    ASSERT_TRUE(shot.Loaded());
    EXPECT_GT(shot.CountInk(dialog.TextIn(kNewGameHuman)), 10);
    EXPECT_EQ(shot.CountInk(dialog.TextIn(kNewGameStrengthLabel)), 0);
    EXPECT_EQ(shot.CountInk(dialog.TextIn(kNewGameStrengthName)), 0);
}

TEST_F(Tessark, TheNewGameDialogBringsInTheComputerAtHighWhichAnswers) {
    TwoHumans();
    const DialogLayout dialog(kNewGameDialog);
    Script play;
    play.AfterLogo().Wait(3000).Ctrl("n").Wait(300);
    play.Click(dialog, kNewGameComputer).Click(dialog, kNewGameHigh).Click(dialog, IDOK);
    // The computer thinks in real time while the simulated clock runs on.
    play.Wait(3000).Drag(26, 37).Wait(300000).Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    const Settings s = Stored();
    EXPECT_EQ(s.player1Computer, 1u);
    EXPECT_EQ(s.player1Strength, kStrengthHigh);
    const std::string history = SavedHistory();
    EXPECT_EQ(history.rfind("2,26,37,", 0), 0u) << history << ": red answered";
}

TEST_F(Tessark, CancellingTheNewGameDialogChangesNothing) {
    TwoHumans();
    const RegistryData before = ReadBinary(Value(kSettingsName));
    const DialogLayout dialog(kNewGameDialog);
    Script play;
    play.AfterLogo().Wait(3000).Drag(26, 37).Wait(1500).Ctrl("n").Wait(300);
    play.Click(dialog, kNewGameComputer).Click(dialog, kNewGameLow);
    play.Click(dialog, kNewGameSound).Click(dialog, kNewGameLights).Click(dialog, IDCANCEL);
    // The game goes on as before, red still moved by hand.
    play.Wait(500).Drag(92, 81).Wait(1500).Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadBinary(Value(kSettingsName)) == before)
        << "the stored settings are as they were";
    EXPECT_EQ(SavedHistory(), "2,26,37,92,81,0");
}

TEST_F(Tessark, TheNewGameDialogSpeaksEsperantoAfterTheLanguageButton) {
    ASSERT_TRUE(SaveSettings(Settings()));
    const std::string english = machine.Path("newgame-en.bmp"),
                      esperanto = machine.Path("newgame-eo.bmp");
    Script play;
    play.AfterLogo().Wait(3000).Ctrl("n").Wait(300).Shot(english).Key("escape").Wait(300);
    play.Button(4).Wait(500).Ctrl("n").Wait(300).Shot(esperanto).Key("escape").Wait(300);
    play.Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SavedHistory(), "0,0") << "Cancel started no game";

    const DialogLayout en(kNewGameDialog), eo(kNewGameDialog + 1);
    const Shot a(english), b(esperanto);
    ASSERT_TRUE(a.Loaded() && b.Loaded());
    EXPECT_EQ(a.Width(), en.Size().cx);
    EXPECT_EQ(a.Height(), en.Size().cy);
    EXPECT_EQ(b.Width(), eo.Size().cx);
    EXPECT_EQ(b.Height(), eo.Size().cy);
    // Every control with a text shows it, in both languages; the computer is chosen, so the
    // strength row is not greyed (its texts are as dark as the others).
    const int texts[] = {-1,
                         kNewGameHuman,
                         kNewGameComputer,
                         kNewGameStrengthLabel,
                         kNewGameStrengthName,
                         -2,
                         kNewGameSound,
                         kNewGameLights,
                         IDOK,
                         IDCANCEL};
    for (int id : texts) {
        SCOPED_TRACE(id);
        EXPECT_GT(a.CountInk(en.TextIn(id)), 10);
        EXPECT_GT(b.CountInk(eo.TextIn(id)), 10);
    }
    // The opponent box keeps its English title; the options box, the buttons and the strength
    // name change; the untitled strength buttons stay as they are.
    RECT opponentTitle = en.InShot(-1);
    opponentTitle.bottom = opponentTitle.top + 10;
    EXPECT_TRUE(a.SameAs(b, opponentTitle));
    RECT optionsTitle = en.InShot(-2);
    optionsTitle.bottom = optionsTitle.top + 10;
    EXPECT_FALSE(a.SameAs(b, optionsTitle));
    for (int id : {kNewGameLow, kNewGameMedium, kNewGameHigh})
        EXPECT_TRUE(a.SameAs(b, en.InShot(id))) << id;
    // "Akceptu" is wider than "OK", "Meznivela" than "Medium".
    EXPECT_GT(b.InkRight(eo.TextIn(IDOK)), a.InkRight(en.TextIn(IDOK)) + 10);
    EXPECT_GT(b.InkRight(eo.TextIn(kNewGameStrengthName)),
              a.InkRight(en.TextIn(kNewGameStrengthName)));
    EXPECT_FALSE(a.SameAs(b, en.TextIn(kNewGameHuman)));
}

} // namespace
