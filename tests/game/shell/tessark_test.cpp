// The real tessark, run headless on the simulated clock on machines of its own, played with the
// pen by scripts whose coordinates come from the board's own geometry and the new-game dialog's
// template; screenshots are checked for what they must show.
#include "engine/cea_main.h"
#include "foundation/registry.h"
#include "game/opponent/opponent.h"
#include "game/presentation/graphics.h"
#include "game/rules/history.h"
#include "game/shell/newgame.h"
#include "game/shell/settings.h"
#include "platform/base.h"
#include "platform/dlg.h"
#include "platform/resource.h"
#include "tests/platform/temp_machine.h"
#include "tests/tools/screenshot.h"
#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
    Script& Button(int slot) { return Face(Geometry::Layout().menuPoints[slot]); }
    // The tutorial's buttons: 0 BACK, 1 NEXT, 2 EXIT.
    Script& TutorialButton(int slot) { return Face(Geometry::Layout().tutorialPoints[slot]); }
    Script& Ctrl(const char* key) {
        return Line("keydown control").Line(std::string("key ") + key).Line("keyup control");
    }
    Script& Key(const char* key, int times = 1) {
        for (int i = 0; i < times; ++i)
            Line(std::string("key ") + key);
        return *this;
    }
    // A control of the new-game dialog.
    Script& Click(const DialogLayout& dialog, int id) { return Tap(dialog.Centre(id)).Wait(100); }
    Script& Shot(const std::string& file) { return Line("screenshot " + file); }
    Script& Line(const std::string& line) {
        text_ += line + "\n";
        return *this;
    }
    const std::string& Text() const { return text_; }

private:
    Script& Face(POINT p) { return Tap(POINT{p.x + kFaceWidth / 2, p.y + kFaceHeight / 2}); }
    static std::string XY(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }
    std::string text_;
};

// How many pixels of the rectangle pass the test, and the rectangle's pixels.
template <class Test>
int Count(const Bmp& shot, const RECT& r, Test test) {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            n += test(shot.At(x, y)) ? 1 : 0;
    return n;
}
std::vector<COLORREF> Region(const Bmp& shot, const RECT& r) {
    std::vector<COLORREF> out;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            out.push_back(shot.At(x, y));
    return out;
}

bool Black(COLORREF c) {
    return c == RGB(0, 0, 0);
}
bool White(COLORREF c) {
    return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200;
}
bool StrongBlue(COLORREF c) {
    return GetBValue(c) > GetRValue(c) + 80;
}
bool StrongRed(COLORREF c) {
    return GetRValue(c) > GetBValue(c) + 80;
}

// The tutorial's panel between the top grid lines of rows 10 and 4, the lines of text on it,
// the black band below the text, and the goal strip on row 4.
RECT PanelRect() {
    const BoardLayout& l = Geometry::Layout();
    return RECT{0, l.cells[10][0].top, 240, l.cells[4][0].top};
}
RECT TextOnPanel() {
    const RECT p = PanelRect();
    return RECT{9, p.top, 231, p.bottom - 13};
}
RECT BandBelowText() {
    const RECT p = PanelRect();
    return RECT{0, p.bottom - 10, 240, p.bottom};
}
RECT GoalStrip() {
    const CellGeometry& c = Geometry::Layout().cells[4][4];
    return RECT{c.left, c.top, c.left + 60, c.top + 18};
}

// The colour of the piece shown on the square (0 none), from the middle of its square.
int PieceOn(const Bmp& shot, Square s) {
    const POINT c = Centre(s);
    const RECT box{c.x - 3, c.y - 3, c.x + 4, c.y + 4};
    const int blue = Count(shot, box, StrongBlue), red = Count(shot, box, StrongRed);
    if (blue > 30) return 2;
    if (red > 30) return 1;
    return 0;
}

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
    // Two humans, as most tests play; without the light traces nothing moves at rest.
    void TwoHumans(bool traces = true) {
        Settings s;
        s.player1Computer = 0;
        s.player2Computer = 0;
        s.lightTraces = traces ? 1 : 0;
        ASSERT_TRUE(SaveSettings(s));
    }
    // TESSARK_GAME_SHOTS=DIR keeps a copy of each screenshot looked at, to look at oneself.
    Bmp Screenshot(const std::string& name) {
        if (const char* keep = std::getenv("TESSARK_GAME_SHOTS")) {
            std::ifstream in(machine.Path(name), std::ios::binary);
            std::ofstream(std::string(keep) + "/" + name, std::ios::binary) << in.rdbuf();
        }
        Bmp bmp;
        EXPECT_TRUE(bmp.Load(machine.Path(name))) << name;
        return bmp;
    }
    bool Exists(const std::string& name) { return std::ifstream(machine.Path(name)).good(); }
    std::string P(const std::string& name) { return machine.Path(name); }
    // The tutorial's panel is closed with text on it and the goal strip below it.
    static void ExpectTutorialShown(const Bmp& shot, const std::string& name) {
        // Pieces on row 4 stand up into the band.
        const RECT band = BandBelowText();
        EXPECT_GT(Count(shot, band, Black),
                  (band.right - band.left) * (band.bottom - band.top) * 8 / 10)
            << name << ": the panel is not black below its text";
        EXPECT_GT(Count(shot, TextOnPanel(), White), 300) << name << ": no text on the panel";
        EXPECT_GT(Count(shot, GoalStrip(), StrongBlue), 300) << name << ": no goal strip";
    }
    static void ExpectNoTutorial(const Bmp& shot, const std::string& name) {
        EXPECT_LT(Count(shot, BandBelowText(), Black), 200) << name << ": the panel is there";
        EXPECT_LT(Count(shot, TextOnPanel(), White), 50) << name << ": text on the board";
    }
    static void ExpectPieces(const Bmp& shot, const std::vector<Square>& squares, int colour,
                             const std::string& name) {
        for (Square s : squares)
            EXPECT_EQ(PieceOn(shot, s), colour) << name << ", square " << s;
    }
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
    // Taken for a first run: the tutorial opens, and its end starts a new game.
    const ToolRun run = Run(Script().AfterLogo().Wait(3000).TutorialButton(2).Wait(4000).Ctrl("q"));
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

TEST_F(Tessark, TheFirstRunOpensTheTutorialAndItsExercisesAreSolvedByDrags) {
    Script s;
    s.AfterLogo().Wait(3000).Shot(P("page0.bmp"));
    for (int i = 0; i < 4; ++i)
        s.TutorialButton(1).Wait(2000);
    s.Shot(P("page4.bmp"));
    // Each drop is shot at once, while its capture plays, and again once it has played.
    s.Drag(2, 13).Wait(100).Shot(P("page4-capturing.bmp")).Wait(3000).Shot(P("page5.bmp"));
    s.TutorialButton(1).Wait(2000).Shot(P("page6.bmp"));
    s.Drag(35, 45).Wait(100).Shot(P("page6-capturing.bmp")).Wait(4000).Shot(P("page7.bmp"));
    s.TutorialButton(1).Wait(2000).Shot(P("page8.bmp"));
    s.Drag(50, 51).Wait(100).Shot(P("page8-capturing.bmp")).Wait(8000).Shot(P("page9.bmp"));
    s.Ctrl("q");
    const ToolRun run = Run(s);
    ASSERT_EQ(run.status, 0) << run.err;

    const Bmp page0 = Screenshot("page0.bmp");
    ExpectTutorialShown(page0, "page 0");
    ExpectPieces(page0, {14, 15, 16, 17, 18}, 2, "page 0");
    ExpectPieces(page0, {24, 36, 37}, 0, "page 0");

    const Bmp page4 = Screenshot("page4.bmp"), capturing4 = Screenshot("page4-capturing.bmp");
    const Bmp page5 = Screenshot("page5.bmp");
    ExpectTutorialShown(page4, "page 4");
    ExpectPieces(page4, {35, 19, 2}, 2, "page 4");
    ExpectPieces(page4, {41}, 1, "page 4");
    EXPECT_NE(Region(page4, TextOnPanel()), Region(page0, TextOnPanel()));
    EXPECT_EQ(Region(capturing4, TextOnPanel()), Region(page4, TextOnPanel()))
        << "the next page came before the capture had played";
    ExpectPieces(capturing4, {13}, 2, "page 4 capturing");
    ExpectPieces(capturing4, {2}, 0, "page 4 capturing");
    ExpectPieces(capturing4, {41}, 1, "page 4 capturing");
    ExpectTutorialShown(page5, "page 5");
    EXPECT_NE(Region(page5, TextOnPanel()), Region(page4, TextOnPanel()));
    ExpectPieces(page5, {35, 41, 13, 19}, 2, "page 5");

    const Bmp page6 = Screenshot("page6.bmp"), capturing6 = Screenshot("page6-capturing.bmp");
    const Bmp page7 = Screenshot("page7.bmp");
    ExpectPieces(page6, {35, 27, 1, 9}, 2, "page 6");
    ExpectPieces(page6, {31}, 1, "page 6");
    EXPECT_EQ(Region(capturing6, TextOnPanel()), Region(page6, TextOnPanel()));
    ExpectPieces(capturing6, {45}, 2, "page 6 capturing");
    ExpectPieces(capturing6, {35}, 0, "page 6 capturing");
    ExpectPieces(capturing6, {31}, 1, "page 6 capturing");
    EXPECT_NE(Region(page7, TextOnPanel()), Region(page6, TextOnPanel()));
    ExpectPieces(page7, {45, 27, 31, 1, 5, 9}, 2, "page 7: both captures");

    const Bmp page8 = Screenshot("page8.bmp"), capturing8 = Screenshot("page8-capturing.bmp");
    const Bmp page9 = Screenshot("page9.bmp");
    const std::vector<Square> red8{43, 23, 18, 9};
    ExpectPieces(page8, red8, 1, "page 8");
    EXPECT_EQ(Region(capturing8, TextOnPanel()), Region(page8, TextOnPanel()));
    ExpectPieces(capturing8, red8, 1, "page 8 capturing");
    ExpectTutorialShown(page9, "page 9");
    EXPECT_NE(Region(page9, TextOnPanel()), Region(page8, TextOnPanel()));
    ExpectPieces(page9, red8, 2, "page 9: the whole cascade");
    ExpectPieces(page9, {51}, 2, "page 9");
}

TEST_F(Tessark, TheTutorialRefusesAWrongMoveAndItsNextAndBackSkipTheSuccessPages) {
    Script s;
    s.AfterLogo().Wait(3000);
    for (int i = 0; i < 4; ++i)
        s.TutorialButton(1).Wait(2000);
    s.Shot(P("page4.bmp"));
    // A legal move that is not the exercise's: the piece goes back.
    s.Drag(19, 30).Wait(2000).Shot(P("refused.bmp"));
    s.TutorialButton(1).Wait(2000).Shot(P("next.bmp"));
    s.TutorialButton(0).Wait(2000).Shot(P("back.bmp"));
    s.Drag(2, 13).Wait(3000).Shot(P("solved.bmp"));
    const ToolRun run = Run(s);
    ASSERT_EQ(run.status, 0) << run.err;

    const Bmp page4 = Screenshot("page4.bmp"), refused = Screenshot("refused.bmp");
    const Bmp next = Screenshot("next.bmp"), back = Screenshot("back.bmp");
    const Bmp solved = Screenshot("solved.bmp");
    ExpectPieces(refused, {19, 35, 2}, 2, "refused");
    ExpectPieces(refused, {30}, 0, "refused");
    ExpectPieces(refused, {41}, 1, "refused");
    EXPECT_EQ(Region(refused, TextOnPanel()), Region(page4, TextOnPanel()));
    // NEXT on page 4 shows page 6 (red on 31), not page 5 (blue on 41).
    ExpectPieces(next, {31}, 1, "next");
    ExpectPieces(next, {41}, 0, "next");
    EXPECT_NE(Region(next, TextOnPanel()), Region(page4, TextOnPanel()));
    EXPECT_EQ(Region(back, TextOnPanel()), Region(page4, TextOnPanel()));
    ExpectPieces(back, {41}, 1, "back");
    ExpectPieces(back, {19, 35, 2}, 2, "back");
    ExpectPieces(solved, {41, 13}, 2, "solved after a refusal");
}

TEST_F(Tessark, ExitAfterTheFirstRunStartsANewGame) {
    const ToolRun run = Run(
        Script().AfterLogo().Wait(3000).TutorialButton(2).Wait(5000).Shot(P("game.bmp")).Ctrl("q"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SavedHistory(), "0,0");
    const RegistryData stored = ReadBinary(Value(kSettingsName));
    ASSERT_EQ(stored.size, 32u);
    std::uint32_t words[8];
    std::memcpy(words, stored.data, sizeof words);
    const std::uint32_t expected[8] = {0x00010001, 0, 1, 1, 0, 2, 1, 2};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(words[i], expected[i]) << "word " << i;
    const Bmp game = Screenshot("game.bmp");
    ExpectNoTutorial(game, "new game");
    EXPECT_LT(Count(game, GoalStrip(), StrongBlue), 50) << "the goal strip stayed";
    ExpectPieces(game, {23, 24, 25, 26, 27, 28, 29, 30, 31}, 2, "new game");
    ExpectPieces(game, {89, 90, 91, 92, 93, 94, 95, 96, 97}, 1, "new game");
}

TEST_F(Tessark, HelpDuringAGameAndExitBringTheGameBack) {
    TwoHumans();
    Script s;
    s.AfterLogo().Wait(3000).Drag(26, 37).Wait(1500).Drag(92, 81).Wait(1500);
    s.Button(3).Wait(4000).Shot(P("tutorial.bmp"));
    s.TutorialButton(1).Wait(2000).TutorialButton(2).Wait(6000).Shot(P("back.bmp"));
    // Blue's turn came back with the game.
    s.Drag(27, 38).Wait(1500);
    // F1 opens it too; the window closes in the middle.
    s.Key("F1").Wait(4000).Shot(P("again.bmp")).Ctrl("q");
    ToolRun run = Run(s);
    ASSERT_EQ(run.status, 0) << run.err;
    const Bmp tutorial = Screenshot("tutorial.bmp"), back = Screenshot("back.bmp");
    const Bmp again = Screenshot("again.bmp");
    ExpectTutorialShown(tutorial, "from HELP");
    ExpectPieces(tutorial, {37}, 0, "from HELP: the board was cleared");
    ExpectNoTutorial(back, "after EXIT");
    ExpectPieces(back, {37}, 2, "after EXIT");
    ExpectPieces(back, {81}, 1, "after EXIT");
    ExpectPieces(back, {26, 92}, 0, "after EXIT");
    ExpectTutorialShown(again, "from F1");
    EXPECT_EQ(SavedHistory(), "3,26,37,92,81,27,38,0");

    // The lesson's position was never saved: the game comes back at the next start.
    run = Run(Script().AfterLogo().Wait(3000).Shot(P("restart.bmp")));
    ASSERT_EQ(run.status, 0) << run.err;
    const Bmp restart = Screenshot("restart.bmp");
    ExpectNoTutorial(restart, "restart");
    ExpectPieces(restart, {37, 38}, 2, "restart");
    ExpectPieces(restart, {81}, 1, "restart");
}

TEST_F(Tessark, TheLanguageSwitchShowsTheTutorialInEsperanto) {
    Script s;
    s.AfterLogo().Wait(3000).Shot(P("en.bmp")).Ctrl("l").Wait(500).Shot(P("eo.bmp"));
    s.Ctrl("l").Wait(500).Shot(P("en-again.bmp")).Ctrl("l").Wait(500);
    s.TutorialButton(1).Wait(2000).Shot(P("eo-page1.bmp"));
    const ToolRun run = Run(s);
    ASSERT_EQ(run.status, 0) << run.err;
    const Bmp en = Screenshot("en.bmp"), eo = Screenshot("eo.bmp"),
              enAgain = Screenshot("en-again.bmp");
    const Bmp eo1 = Screenshot("eo-page1.bmp");
    ExpectTutorialShown(eo, "Esperanto");
    ExpectTutorialShown(eo1, "Esperanto, page 1");
    EXPECT_NE(Region(eo, TextOnPanel()), Region(en, TextOnPanel()));
    EXPECT_EQ(Region(enAgain, TextOnPanel()), Region(en, TextOnPanel()));
    EXPECT_NE(Region(eo1, TextOnPanel()), Region(eo, TextOnPanel()));
    // The buttons change their faces too.
    const POINT next = Geometry::Layout().tutorialPoints[1];
    const RECT face{next.x, next.y, next.x + kFaceWidth, next.y + kFaceHeight};
    EXPECT_NE(Region(eo, face), Region(en, face));
}

TEST_F(Tessark, ClosingTheWindowInTheMiddleOfTheTutorialLeavesNoMemoryBehind) {
    // While a page changes after the first run...
    ToolRun run = Run(Script().AfterLogo().Wait(3000).TutorialButton(1).Wait(300));
    EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    // ... while the board is cleared for it during a game...
    run = Run(Script().AfterLogo().Wait(3000).Button(3).Wait(500));
    EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    // ... and while the tutorial's pieces leave after EXIT.
    run = Run(Script().AfterLogo().Wait(3000).Button(3).Wait(4000).TutorialButton(2).Wait(300));
    EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
}

TEST_F(Tessark, TheKeyboardPlaysLikeThePen) {
    TwoHumans(false);
    Script play;
    play.AfterLogo().Wait(3000).Shot(machine.Path("before.bmp"));
    // The first key shows the outline on the middle square, 60.
    play.Key("DOWN").Wait(100).Shot(machine.Path("cursor.bmp"));
    // Blue's piece on 26 picked up, carried to 37 and put back with Escape: no move.
    play.Key("DOWN", 3).Key("LEFT").Key("RETURN").Key("UP").Key("ESCAPE").Wait(500);
    // Then really moved 26 -> 37, and red 92 -> 81.
    play.Key("DOWN").Key("RETURN").Key("UP").Key("RETURN").Wait(1500);
    play.Key("UP", 5).Key("RETURN").Key("DOWN").Key("RETURN").Wait(1500);
    // Red's piece under the outline is refused on blue's turn; the outline moves on alone.
    play.Key("RETURN").Key("DOWN", 4);
    // Blue's piece on 37 held when Ctrl+Z comes: it goes back and red's move is taken back.
    play.Key("RETURN").Key("UP").Ctrl("z").Wait(1500).Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    EXPECT_EQ(SavedHistory(), "1,26,37,1,92,81");

    // The outline lies on the square's top edge, white over the board.
    const Bmp before = Screenshot("before.bmp"), cursor = Screenshot("cursor.bmp");
    const CellGeometry& middle = Cell(Geometry::Layout(), 60);
    int lit = 0;
    for (LONG x = middle.left + 2; x < middle.right - 2; ++x) {
        EXPECT_LT(before.Brightness(x, middle.top), 700) << x;
        if (cursor.Brightness(x, middle.top) >= 700) ++lit;
    }
    EXPECT_GE(lit, (middle.right - middle.left - 4) * 9 / 10);
    // Nothing else of the picture changed.
    const CellGeometry& far = Cell(Geometry::Layout(), 0);
    EXPECT_EQ(before.At(far.left + 3, far.top + 3), cursor.At(far.left + 3, far.top + 3));
}

TEST_F(Tessark, HLightsTheMoveTheComputerWouldPlayAtHigh) {
    TwoHumans(false);
    GameState start;
    InitStartPosition(start);
    Square from = kNoSquare, to = kNoSquare;
    ASSERT_TRUE(ChooseMove(start, kMaxStrength, from, to));
    Script play;
    play.AfterLogo().Wait(3000).Shot(machine.Path("before.bmp")).Key("H").Wait(400);
    play.Shot(machine.Path("hint.bmp")).Ctrl("q");
    const ToolRun run = Run(play);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SavedHistory(), "0,0") << "the hint played nothing";
    const Bmp before = Screenshot("before.bmp"), hint = Screenshot("hint.bmp");
    // The spots light the move's two squares and their neighbours, the target brightest;
    // nothing further away changes.
    const auto near = [](Square a, Square b) {
        return std::abs(RowOf(a) - RowOf(b)) <= 1 && std::abs(ColumnOf(a) - ColumnOf(b)) <= 1;
    };
    Square brightest = kNoSquare;
    int most = 0;
    for (Square s = 0; s < kSquareCount; ++s) {
        const CellGeometry& c = Cell(Geometry::Layout(), s);
        const int x = (c.left + c.right) / 2, y = c.top + 2;
        const int gain = hint.Brightness(x, y) - before.Brightness(x, y);
        if (gain > most) most = gain, brightest = s;
        if (!near(s, from) && !near(s, to)) {
            EXPECT_EQ(hint.At(x, y), before.At(x, y)) << "square " << s;
        }
    }
    EXPECT_EQ(brightest, to);
    EXPECT_GT(most, 100);
}

// A whole game against the computer, as the test expects it to go: the human's side plays the
// moves of a computer of the given strength (by drags), the computer answers with its own.
struct ExpectedGame {
    std::vector<std::pair<Square, Square>> humanMoves;
    std::uint32_t winner = 0;
};

ExpectedGame PlayOut(int computerStrength, int humanStrength, int mostPlies) {
    ExpectedGame game;
    GameState state;
    InitStartPosition(state);
    for (int ply = 0; ply < mostPlies && !game.winner; ++ply) {
        const bool human = state.turn == 2;
        Square from = kNoSquare, to = kNoSquare;
        if (!ChooseMove(state, human ? humanStrength : computerStrength, from, to)) break;
        if (human) game.humanMoves.emplace_back(from, to);
        ApplyMove(state, from, to, kNoTime);
        game.winner = WinnerOf(state);
    }
    return game;
}

TEST_F(Tessark, GamesAgainstTheComputerAtEachStrengthArePlayedToTheirEnd) {
    for (std::uint32_t strength = kStrengthLow; strength <= kStrengthHigh; ++strength) {
        SCOPED_TRACE("computer strength " + std::to_string(strength));
        // The human's side plays whichever strength ends the game soonest.
        ExpectedGame expected;
        for (int human = kMinStrength; human <= kMaxStrength; ++human) {
            ExpectedGame g = PlayOut(static_cast<int>(strength), human, 120);
            if (g.winner && (!expected.winner || g.humanMoves.size() < expected.humanMoves.size()))
                expected = g;
        }
        ASSERT_NE(expected.winner, 0u) << "no short game to play";
        Settings s;
        s.player1Computer = 1;
        s.player1Strength = strength;
        s.lightTraces = 0;
        ASSERT_TRUE(SaveSettings(s));
        Script play;
        play.AfterLogo().Wait(3000);
        for (const auto& [from, to] : expected.humanMoves)
            play.Drag(from, to).Wait(6000);
        play.Ctrl("q");
        const ToolRun run = Run(play, "--new");
        ASSERT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
        // The saved record names the winner: the game was played to its end as expected.
        std::uint8_t record[kSavedGameRecordSize] = {};
        RegistryData into(record, sizeof record);
        ASSERT_TRUE(ReadVersioned(Value(kSavedGameName), kSavedGameVersion, into));
        std::uint32_t winner = 0;
        GameState current{}, base{};
        LoadSavedGame(record, winner, current, base);
        EXPECT_EQ(winner, expected.winner);
        EXPECT_EQ(WinnerOf(current), expected.winner);
    }
}

TEST_F(Tessark, TheDemoPlaysTheGameTheTerminalPlaysAndLeavesThePlayersGameAlone) {
    // The player's game in progress, with settings of their own.
    TwoHumans();
    ToolRun run = Run(Script().AfterLogo().Wait(3000).Drag(26, 37).Wait(1500).Ctrl("q"));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string players = SavedHistory();
    const RegistryData settings = ReadBinary(Value(kSettingsName));

    // Red at High against blue at Medium, played to its end.
    run = Run(Script().AfterLogo().Wait(600000).Ctrl("q"), "--demo");
    ASSERT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    const ToolRun cli =
        RunCommand(ShellQuote(TESSARK_CLI_TOOL) + " selfplay --strength 3 --strength2 2 --games 1");
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::size_t at = cli.out.find("history ");
    ASSERT_NE(at, std::string::npos) << cli.out;
    const std::string expected =
        cli.out.substr(at + 8, cli.out.find_first_of(" \n", at + 8) - at - 8);
    const RegistryValue demo(RegistryKey(string(kGameKeyPath) + string("\\Demo")),
                             string(kSavedHistoryName));
    EXPECT_EQ(std::string(string8(ReadString(demo)).c_str()), expected);
    EXPECT_EQ(SavedHistory(), players);
    EXPECT_TRUE(ReadBinary(Value(kSettingsName)) == settings);
}

TEST_F(Tessark, ClosingDuringACascadeKeepsTheMoveAndLeavesNothingBehind) {
    // A game saved just before blue's 85 -> 96, which converts every red piece in turn.
    TwoHumans();
    GameState start;
    InitStartPosition(start);
    MoveHistory saved;
    saved.ReadHistoryText(start, string("26,31,41,97,75,30,40,75,63,29,39,63,51,28,38,96,74,27,37,"
                                        "74,62,26,36,90,78,25,35,89,90,24,34,78,68,35,45,91,69,51,"
                                        "63,92,91,23,35,95,83,63,73,90,89,73,85,94,95,0"));
    ASSERT_EQ(saved.done.size(), 26u);
    saved.SaveGame(0, saved.done.back().after);
    const ToolRun run = Run(Script().AfterLogo().Wait(3000).Drag(85, 96).Wait(600).Ctrl("q"));
    EXPECT_EQ(run.status, 0) << run.err << " (3: memory left behind)";
    // The move and its whole cascade are in the saved game, however far the animation got.
    std::uint8_t record[kSavedGameRecordSize] = {};
    RegistryData into(record, sizeof record);
    ASSERT_TRUE(ReadVersioned(Value(kSavedGameName), kSavedGameVersion, into));
    std::uint32_t winner = 0;
    GameState current{}, base{};
    LoadSavedGame(record, winner, current, base);
    EXPECT_EQ(winner, 2u);
    EXPECT_EQ(current.sides[0].pieceCount, 0u) << "red has no piece left";
    EXPECT_TRUE(IsConsistent(current));
}

TEST_F(Tessark, TheCommandLineIsChecked) {
    ToolRun run = RunCommand(ShellQuote(TESSARK_GAME) + " --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: tessark"), std::string::npos);
    run = RunCommand(ShellQuote(TESSARK_GAME) + " --version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("tessark ", 0), 0u);
    for (const char* bad : {"--scale 9", "--scale", "--frobnicate", "--scale x", "--demo 2"}) {
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
    // Opened with the NEW button this time: the dialog's very first click counts.
    play.AfterLogo().Wait(3000).Button(2).Wait(300);
    play.Click(dialog, kNewGameComputer).Click(dialog, kNewGameHigh).Click(dialog, IDOK);
    play.Wait(3000).Drag(26, 37).Wait(3000).Ctrl("q");
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
