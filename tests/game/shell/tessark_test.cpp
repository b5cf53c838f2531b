// The real tessark, run headless on the simulated clock on machines of its own, played with the
// pen by scripts whose coordinates come from the board's own geometry.
#include "engine/cea_main.h"
#include "foundation/registry.h"
#include "game/presentation/graphics.h"
#include "game/rules/history.h"
#include "game/shell/settings.h"
#include "platform/base.h"
#include "platform/resource.h"
#include "tests/platform/temp_machine.h"
#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
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

} // namespace
