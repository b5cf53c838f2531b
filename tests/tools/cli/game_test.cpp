// Drives `tessark-cli game` through a pipe, one process per start, each test with a machine
// directory of its own.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class GameRuns : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tessark-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        machine_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(machine_, ignored);
    }

    struct Result {
        int code = -1;
        std::string out;
    };

    // One start of the program with `input` on its standard input.
    Result Play(const std::string& input, const std::vector<std::string>& options = {}) {
        std::string cmd =
            "TESSARK_MACHINE=" + Quote(machine_) + " " + Quote(TESSARK_CLI_PATH) + " game";
        for (const std::string& o : options)
            cmd += " " + Quote(o);
        cmd += " 2>&1";
        const std::string inputPath = machine_ + "/input.txt";
        FILE* f = std::fopen(inputPath.c_str(), "wb");
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
        cmd += " <" + Quote(inputPath);
        Result r;
        FILE* pipe = popen(cmd.c_str(), "r");
        if (!pipe) return r;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            r.out.append(buffer, n);
        const int status = pclose(pipe);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    std::string machine_;
};

// The last board, counts, history and status the program printed.
std::string LastState(const std::string& out) {
    const std::size_t end = out.rfind(" to move\n");
    if (end == std::string::npos) return std::string();
    // A state block starts with the 11 board lines; walk back 17 lines from its status line.
    std::size_t start = end;
    for (int lines = 0; lines < 17 && start != std::string::npos && start > 0; ++lines)
        start = out.rfind('\n', start - 1);
    return out.substr(start == std::string::npos ? 0 : start + 1,
                      end + std::string(" to move\n").size() - (start + 1));
}

std::string HistoryLine(const std::string& state) {
    const std::size_t at = state.find("history ");
    return at == std::string::npos ? std::string() : state.substr(at, state.find('\n', at) - at);
}

} // namespace

TEST_F(GameRuns, RestartResumesPositionHistoryAndRedo) {
    const Result first = Play("31 32\n29 40\n23 34\nu\nq\n");
    ASSERT_EQ(first.code, 0) << first.out;
    EXPECT_NE(first.out.find("new game"), std::string::npos);
    EXPECT_EQ(first.out.find("resumed"), std::string::npos);
    const std::string before = LastState(first.out);
    // Three moves each, the last pair taken back: both lists are in use.
    ASSERT_EQ(HistoryLine(before).rfind("history 4,31,32,", 0), 0u) << before;
    ASSERT_NE(HistoryLine(before).find(",2,"), std::string::npos) << before;
    ASSERT_NE(HistoryLine(before).find(",23,34"), std::string::npos) << before;

    const Result second = Play("q\n");
    ASSERT_EQ(second.code, 0);
    EXPECT_EQ(second.out.rfind("resumed the saved game\n", 0), 0u) << second.out;
    EXPECT_EQ(LastState(second.out), before);

    // The redo list still works after the restart: the human's move and the same reply.
    const Result third = Play("r\nq\n");
    const std::string redone = LastState(third.out);
    EXPECT_NE(HistoryLine(redone).find(",23,34,"), std::string::npos) << redone;
    EXPECT_EQ(HistoryLine(redone).substr(HistoryLine(redone).size() - 2), ",0")
        << "the reply came out of redo too";

    // A new game replaces the saved one.
    Play("n\nq\n");
    const Result fresh = Play("q\n");
    EXPECT_NE(LastState(fresh.out).find("history 0,0\n"), std::string::npos) << fresh.out;
}

TEST_F(GameRuns, UnknownInputGetsTheHelpLine) {
    const Result r = Play("hello\n31\n31 32 33\n-1 5\n999 32\n\x01\x02\xff\n31 64\nr\nq\n");
    ASSERT_EQ(r.code, 0) << r.out;
    std::size_t helps = 0;
    for (std::size_t at = r.out.find("commands: FROM TO"); at != std::string::npos;
         at = r.out.find("commands: FROM TO", at + 1))
        ++helps;
    EXPECT_EQ(helps, 6u) << r.out;
    EXPECT_NE(r.out.find("not a legal move: 31 64"), std::string::npos);
    EXPECT_NE(r.out.find("nothing to redo"), std::string::npos);
    EXPECT_NE(r.out.find("bye"), std::string::npos);
    // The end of the input ends the game as q does.
    EXPECT_EQ(Play("31 32\n").code, 0);
}

TEST_F(GameRuns, SettingsDecideWhoPlays) {
    Result r = Play("q\n");
    EXPECT_NE(r.out.find("first run"), std::string::npos);
    r = Play("31 32\n96 85\nq\n", {"--player1", "human"});
    EXPECT_EQ(r.out.find("computer plays"), std::string::npos) << r.out;
    EXPECT_NE(LastState(r.out).find("history 2,31,32,96,85,0\n"), std::string::npos) << r.out;
    // Saved with the settings: the next start is still two humans, and not a first run.
    r = Play("29 40\nq\n");
    EXPECT_EQ(r.out.find("first run"), std::string::npos);
    EXPECT_EQ(r.out.find("computer plays"), std::string::npos);

    r = Play("q\n", {"--player1", "strong"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("usage"), std::string::npos);
}

TEST_F(GameRuns, TwoComputersPauseAndGoOnWithAnEmptyLine) {
    const Result r = Play("\nq\n", {"--player2", "low"});
    ASSERT_EQ(r.code, 0);
    std::size_t pauses = 0;
    for (std::size_t at = r.out.find("moves in a row"); at != std::string::npos;
         at = r.out.find("moves in a row", at + 1))
        ++pauses;
    EXPECT_EQ(pauses, 2u);
    EXPECT_NE(r.out.find("history 800,"), std::string::npos);
    EXPECT_EQ(r.out.find("has no move"), std::string::npos);
}
