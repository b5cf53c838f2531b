#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/rules/moves.h"
#include "tools/cli/cli.h"

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the built binary with the given arguments, capturing both streams apart.
Result RunTool(const std::vector<std::string>& args) {
    // CTest runs tests in parallel processes: each run gets files of its own.
    static int runs = 0;
    const std::string stem =
        ::testing::TempDir() + "/cli_" + std::to_string(getpid()) + "_" + std::to_string(runs++);
    const std::string outPath = stem + ".out";
    const std::string errPath = stem + ".err";
    std::string cmd = Quote(TESSARK_CLI_PATH);
    for (const std::string& a : args)
        cmd += " " + Quote(a);
    cmd += " >" + Quote(outPath) + " 2>" + Quote(errPath);
    const int status = std::system(cmd.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(outPath);
    r.err = ReadAll(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return r;
}

// The files a test writes, removed when the test ends.
std::vector<std::string> writtenFiles;

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "/" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << text;
    writtenFiles.push_back(path);
    return path;
}

class TessarkCli : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& path : writtenFiles)
            std::remove(path.c_str());
        writtenFiles.clear();
    }
};

const std::string kStartShow = "...........\n"
                               "...........\n"
                               ".RRRRRRRRR.\n"
                               "...........\n"
                               "...........\n"
                               "...........\n"
                               "...........\n"
                               "...........\n"
                               ".BBBBBBBBB.\n"
                               "...........\n"
                               "...........\n"
                               "turn 2\n"
                               "pieces 9 9\n"
                               "goals 0 0\n"
                               "winner 0\n";

// The two-level cascade: player 1's (6,2) -> (5,2) converts (5,5), which converts (8,8).
const std::string kCascadeBoard = "...........\n"
                                  "...........\n"
                                  ".....R..B..\n"
                                  "...........\n"
                                  "..R........\n"
                                  ".....B..R..\n"
                                  "...........\n"
                                  "...........\n"
                                  "..R..R.....\n"
                                  "B..........\n"
                                  "B.........B\n"
                                  "turn 1\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(TessarkCli, ShowAndMovesOfTheStart) {
    Result r = RunTool({"show", "--history", "0,0"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kStartShow);
    EXPECT_EQ(r.err, "");

    r = RunTool({"moves", "--history", "0,0"});
    EXPECT_EQ(r.code, 0);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 38u);
    EXPECT_EQ(lines[0], "31 32");
    EXPECT_EQ(lines[4], "31 53");
    EXPECT_EQ(lines[37], "23 45");
}

TEST_F(TessarkCli, HistoryAppliesDoneMovesAndIgnoresRedo) {
    const Result done = RunTool({"show", "--history", "2,31,32,96,85,0"});
    ASSERT_EQ(done.code, 0) << done.err;
    const std::vector<std::string> lines = Lines(done.out);
    EXPECT_EQ(lines[2], ".RRRRRRR.R.");
    EXPECT_EQ(lines[3], "........R..");
    EXPECT_EQ(lines[8], ".BBBBBBBB.B");
    EXPECT_EQ(lines[11], "turn 2");
    const Result withRedo = RunTool({"show", "--history=1,31,32,1,96,85"});
    const Result withoutRedo = RunTool({"show", "--history", "1,31,32,0"});
    EXPECT_EQ(withRedo.code, 0);
    EXPECT_EQ(withRedo.out, withoutRedo.out);
    EXPECT_EQ(Lines(withRedo.out)[11], "turn 1");
}

TEST_F(TessarkCli, PlayListsCapturesInHookOrder) {
    const std::string board = WriteFile("cascade.txt", kCascadeBoard);
    const Result r = RunTool({"play", "--board", board, "68", "57"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string expected = "capture 24 60\n"
                                 "capture 60 96\n"
                                 "...........\n"
                                 "...........\n"
                                 ".....R..R..\n"
                                 "...........\n"
                                 "...........\n"
                                 "..R..R..R..\n"
                                 "...........\n"
                                 "...........\n"
                                 "..R..R.....\n"
                                 "B..........\n"
                                 "B.........B\n"
                                 "turn 2\n"
                                 "pieces 7 3\n"
                                 "goals 0 0\n"
                                 "winner 0\n";
    EXPECT_EQ(r.out, expected);

    // Not legal, still applied: player 2 moves a piece it does not have onto a goal square.
    const Result odd = RunTool({"play", "--history", "0,0", "0", "5"});
    ASSERT_EQ(odd.code, 0);
    EXPECT_EQ(Lines(odd.out)[10], ".....B.....");
    EXPECT_EQ(Lines(odd.out)[12], "pieces 9 10");
    EXPECT_EQ(Lines(odd.out)[13], "goals 0 1");
}

TEST_F(TessarkCli, BoardDiagramRoundTripsAndTutorialMoves) {
    const Result first = RunTool({"play", "--history", "0,0", "31", "42"});
    std::string diagram;
    for (int i = 0; i < 12; ++i)
        diagram += Lines(first.out)[i] + "\r\n"; // CRLF line ends are accepted
    const std::string path = WriteFile("roundtrip.txt", diagram + "\n");
    const Result again = RunTool({"show", "--board", path});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(again.out, first.out);

    const std::string tutorial = WriteFile("tutorial.txt", "...........\n"
                                                           "...........\n"
                                                           "...........\n"
                                                           "...........\n"
                                                           "...........\n"
                                                           "...........\n"
                                                           "..B........\n"
                                                           "...........\n"
                                                           "...........\n"
                                                           ".....B.....\n"
                                                           "...........\n"
                                                           "turn 2\n");
    const Result moves = RunTool({"moves", "--board", tutorial, "--tutorial"});
    ASSERT_EQ(moves.code, 0) << moves.err;
    EXPECT_EQ(moves.out, "16 15\n16 17\n16 26\n16 28\n16 27\n16 38\n46 45\n46 47\n");
    const Result normal = RunTool({"moves", "--board", tutorial});
    EXPECT_NE(normal.out.find("46 57\n"), std::string::npos);
    EXPECT_EQ(normal.out.find("16 38\n"), std::string::npos);
}

TEST_F(TessarkCli, BadInputIsRefusedWithOneLine) {
    const std::string good = WriteFile("good.txt", kCascadeBoard);
    const std::string shortBoard = WriteFile("short.txt", kCascadeBoard.substr(12));
    std::string wide = kCascadeBoard;
    wide.insert(0, ".");
    const std::string wideBoard = WriteFile("wide.txt", wide);
    std::string badChar = kCascadeBoard;
    badChar[3] = 'X';
    const std::string badCharBoard = WriteFile("badchar.txt", badChar);
    std::string badTurn = kCascadeBoard;
    badTurn.replace(badTurn.size() - 2, 1, "3");
    const std::string badTurnBoard = WriteFile("badturn.txt", badTurn);
    const std::string extraBoard = WriteFile("extra.txt", kCascadeBoard + "turn 2\n");
    const std::string emptyBoard = WriteFile("empty.txt", "");
    const std::string hugeBoard = WriteFile("huge.txt", std::string(1 << 20, '.'));

    const std::vector<std::vector<std::string>> cases = {
        {},
        {"dance", "--history", "0,0"},
        {"show"},
        {"show", "--history", "0,0", "--board", good},
        {"show", "--history", "0,0", "--history", "0,0"},
        {"show", "--history"},
        {"show", "--history", "0,0", "--verbose"},
        {"show", "--history", "0,0", "--tutorial"},
        {"show", "--history", "0,0", "5"},
        {"play", "--history", "0,0", "31"},
        {"play", "--history", "0,0", "31", "121"},
        {"play", "--history", "0,0", "-1", "32"},
        {"play", "--history", "0,0", "3x", "32"},
        {"play", "--history", "0,0", "0031", "32"},
        {"show", "--history", ""},
        {"show", "--history", "0"},
        {"show", "--history", "1,31,32"},
        {"show", "--history", "1,31"},
        {"show", "--history", "0,0,"},
        {"show", "--history", "0,0,5"},
        {"show", "--history", "0, 0"},
        {"show", "--history", "a,0"},
        {"show", "--history", "1,31,121,0"},
        {"show", "--history", "0,1,31,500"},
        {"show", "--history", "99999999999,0"},
        {"show", "--history", "4000000000,0"},
        {"show", "--history", "0,,0"},
        {"show", "--board", ::testing::TempDir() + "/no-such-file.txt"},
        {"show", "--board", shortBoard},
        {"show", "--board", wideBoard},
        {"show", "--board", badCharBoard},
        {"show", "--board", badTurnBoard},
        {"show", "--board", extraBoard},
        {"show", "--board", emptyBoard},
        {"show", "--board", ::testing::TempDir()},
        {"show", "--board", "/dev/zero"},
        {"show", "--board", hugeBoard},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        const Result r = RunTool(args);
        EXPECT_EQ(r.code, kCliBadInput) << shown;
        EXPECT_EQ(r.out, "") << shown;
        ASSERT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(r.err.rfind("tessark-cli: ", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << r.err;
    }
    EXPECT_NE(RunTool({"play", "--history", "0,0", "31", "121"}).err.find("unknown square"),
              std::string::npos);
}

// The library entry point used by later commands answers as the binary does.
TEST_F(TessarkCli, RunCliLeavesOutputEmptyOnFailure) {
    std::string out = "stale", err = "stale";
    EXPECT_EQ(RunCli({"show", "--history", "1,31,32,0,"}, out, err), kCliBadInput);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("trailing comma"), std::string::npos);
    EXPECT_EQ(RunCli({"show", "--history", "0,0"}, out, err), kCliOk);
    EXPECT_EQ(out, kStartShow);
    EXPECT_EQ(err, "");
}

// Blue's pieces on its last row, walled in by a red piece: no move at all.
const std::string kBlueStuckBoard = "BBBR.......\n"
                                    "...........\n"
                                    "...........\n"
                                    "...........\n"
                                    "...........\n"
                                    ".....RR....\n"
                                    "...........\n"
                                    "...........\n"
                                    "...........\n"
                                    "...........\n"
                                    "...........\n"
                                    "turn 2\n";

TEST_F(TessarkCli, ThinkAnswersTheOpeningAndSpecialPositions) {
    for (const char* strength : {"1", "2"}) {
        const Result r = RunTool({"think", "--history", "1,31,32,0", "--strength", strength});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "97 85\n") << "strength " << strength;
    }
    const Result high = RunTool({"think", "--history=1,31,32,0", "--strength=3"});
    EXPECT_EQ(high.out, "97 75\n");

    const std::string stuck = WriteFile("stuck.txt", kBlueStuckBoard);
    const Result none = RunTool({"think", "--board", stuck, "--strength", "3"});
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.out, "none\n");

    // Moving the red piece off 113 leaves blue the single move 112 -> 113.
    std::string single = kBlueStuckBoard;
    single[3] = '.';
    single[4] = 'R';
    const std::string singlePath = WriteFile("single.txt", single);
    ASSERT_EQ(RunTool({"moves", "--board", singlePath}).out, "112 113\n");
    for (const char* strength : {"1", "2", "3"})
        EXPECT_EQ(RunTool({"think", "--board", singlePath, "--strength", strength}).out,
                  "112 113\n");

    // Red with two pieces on goal squares: 17 -> 6 wins at once.
    const std::string win = WriteFile("win.txt", "...........\n"
                                                 ".....B.....\n"
                                                 "BBB........\n"
                                                 "...........\n"
                                                 "...........\n"
                                                 "...........\n"
                                                 "...........\n"
                                                 "........R..\n"
                                                 "...........\n"
                                                 "......R..RR\n"
                                                 "....RR.....\n"
                                                 "turn 1\n");
    for (const char* strength : {"1", "2", "3"})
        EXPECT_EQ(RunTool({"think", "--board", win, "--strength", strength}).out, "17 6\n");
}

// The signatures pin every choice the search makes on the fixed positions; the node counts pin
// the shape of the search. A change to either is a change of behaviour.
TEST_F(TessarkCli, BenchSignaturesArePinned) {
    const Result r = RunTool({"bench"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const char* expected[3][3] = {{"strength 1: positions 71 nodes 2504 ", "signature 711114"},
                                  {"strength 2: positions 71 nodes 38819 ", "signature 720631"},
                                  {"strength 3: positions 71 nodes 703110 ", "signature 694428"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].rfind(expected[i][0], 0), 0u) << lines[i];
        const std::string tail = expected[i][1];
        ASSERT_GE(lines[i].size(), tail.size());
        EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail) << lines[i];
        EXPECT_NE(lines[i].find(" ms median "), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find(" ms slowest "), std::string::npos) << lines[i];
    }
}

TEST_F(TessarkCli, SelfPlayGamesReplayToTheirResult) {
    const Result r = RunTool({"selfplay", "--strength", "2", "--strength2", "2", "--games", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u);
    int finished = 0, unfinished = 0;
    for (std::size_t g = 0; g < lines.size(); ++g) {
        std::istringstream in(lines[g]);
        std::string game, number, historyWord, history, result;
        in >> game >> number >> historyWord >> history >> result;
        EXPECT_EQ(game + " " + number + " " + historyWord,
                  "game " + std::to_string(g + 1) + " history");
        GameState state;
        std::string error;
        ASSERT_TRUE(PositionFromHistory(history, state, error)) << error;
        const std::size_t moves = std::stoul(history);
        if (result == "winner") {
            std::uint32_t winner = 0;
            in >> winner;
            EXPECT_NE(winner, 0u);
            EXPECT_EQ(WinnerOf(state), winner) << lines[g];
            ++finished;
        } else {
            EXPECT_EQ(result, "unfinished");
            EXPECT_EQ(WinnerOf(state), 0u);
            EXPECT_EQ(moves, 400u) << "a game with moves left stops only at the limit";
            ++unfinished;
        }
    }
    // Medium against itself repeats for ever in game 1 and wins in game 2 (opening 31 -> 32).
    EXPECT_EQ(lines[0].rfind("game 1 history 400,31,41,97,85,", 0), 0u);
    EXPECT_EQ(lines[1].rfind("game 2 history 45,31,32,", 0), 0u);
    EXPECT_EQ(finished + unfinished, 3);
    EXPECT_GE(unfinished, 1);
    EXPECT_GE(finished, 1);
    // The same games on every run.
    EXPECT_EQ(RunTool({"selfplay", "--strength", "2", "--strength2", "2", "--games", "3"}).out,
              r.out);
    const Result mixed = RunTool({"selfplay", "--strength2=3", "--strength=1"});
    ASSERT_EQ(Lines(mixed.out).size(), 1u);
    EXPECT_NE(mixed.out, Lines(r.out)[0] + "\n");
}

TEST_F(TessarkCli, OpponentCommandsRefuseBadInput) {
    const std::vector<std::vector<std::string>> cases = {
        {"think", "--history", "0,0"},
        {"think", "--strength", "2"},
        {"think", "--history", "0,0", "--strength", "0"},
        {"think", "--history", "0,0", "--strength", "4"},
        {"think", "--history", "0,0", "--strength", "02"},
        {"think", "--history", "0,0", "--strength", "-1"},
        {"think", "--history", "0,0", "--strength", "x"},
        {"think", "--history", "0,0", "--strength", ""},
        {"think", "--history", "0,0", "--strength", "2", "--strength", "2"},
        {"think", "--history", "0,0", "--strength", "2", "--strength2", "2"},
        {"think", "--history", "0,0", "--strength", "2", "31"},
        {"think", "--history", "0,0", "--strength", "2", "--tutorial"},
        {"show", "--history", "0,0", "--strength", "2"},
        {"bench", "--history", "0,0"},
        {"bench", "--strength", "1"},
        {"bench", "extra"},
        {"selfplay", "--strength", "1"},
        {"selfplay", "--strength2", "1"},
        {"selfplay", "--strength", "1", "--strength2", "5"},
        {"selfplay", "--strength", "1", "--strength2", "1", "--games", "0"},
        {"selfplay", "--strength", "1", "--strength2", "1", "--games", "1001"},
        {"selfplay", "--strength", "1", "--strength2", "1", "--games", "99999999999"},
        {"selfplay", "--strength", "1", "--strength2", "1", "--games"},
        {"selfplay", "--strength", "1", "--strength2", "1", "--board", "x.txt"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        const Result r = RunTool(args);
        EXPECT_EQ(r.code, kCliBadInput) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_EQ(r.err.rfind("tessark-cli: ", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << r.err;
    }
}

} // namespace
