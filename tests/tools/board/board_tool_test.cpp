// tessark-board run as people and scripts run it: headless on the simulated clock, on a machine
// of its own, with the game saved in that machine's registry after every turn.
#include "game/rules/history.h"

#include "tests/platform/temp_machine.h"
#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// `environment` is prepended as NAME=value words.
ToolRun Board(const TempMachine& machine, const std::string& arguments,
              const std::string& environment = "") {
    return RunCommand(
        "TESSARK_DRIVER=null TESSARK_CLOCK=sim TESSARK_MACHINE=" + ShellQuote(machine.dir()) + " " +
        environment + " timeout 600 " + ShellQuote(TESSARK_BOARD_TOOL) + " " + arguments);
}

std::string SavedHistory() {
    return string8(ReadString(
                       RegistryValue(RegistryKey(string(kGameKeyPath)), string(kSavedHistoryName))))
        .c_str();
}

// "... history TEXT ..." of a line the tools print.
std::string HistoryField(const std::string& out) {
    const std::size_t at = out.find("history ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + 8, end = out.find_first_of(" \n", start);
    return out.substr(start, end - start);
}

TEST(BoardTool, ASelfPlayingGameIsPlayedToItsEndAndSavedAsTheTerminalGamePlaysIt) {
    TempMachine machine;
    const ToolRun board = Board(machine, "--player1 high --player2 medium --new --quit-when-over");
    ASSERT_EQ(board.status, 0) << board.err;
    EXPECT_NE(board.out.find("memory: nothing leaked\n"), std::string::npos) << board.out;
    EXPECT_NE(board.out.find("winner 2 "), std::string::npos) << board.out;

    const ToolRun cli =
        RunCommand(ShellQuote(TESSARK_CLI_TOOL) + " selfplay --strength 3 --strength2 2 --games 1");
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::string expected = HistoryField(cli.out);
    ASSERT_FALSE(expected.empty()) << cli.out;
    EXPECT_EQ(SavedHistory(), expected) << "the registry holds the game as played";
    EXPECT_EQ(HistoryField(board.out), expected);
}

// With a script whose end closes the window after `ms` simulated milliseconds.
ToolRun ScriptedBoard(const TempMachine& machine, int ms, const std::string& arguments) {
    const std::string script = machine.Path("wait.script");
    if (FILE* f = std::fopen(script.c_str(), "w")) {
        std::fprintf(f, "wait %d\n", ms);
        std::fclose(f);
    }
    return Board(machine, arguments, "TESSARK_SCRIPT=" + ShellQuote(script));
}

TEST(BoardTool, AHistoryIsReplayedAndTheSavedGameResumed) {
    TempMachine machine;
    const std::string moves = "3,31,41,97,75,30,40,0";
    ToolRun run =
        ScriptedBoard(machine, 6000, "--player1 human --player2 human --new --history " + moves);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(HistoryField(run.out), moves);
    EXPECT_EQ(SavedHistory(), moves);
    // Started again without --new, it goes on from there.
    run = ScriptedBoard(machine, 3000, "--player1 human --player2 human");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(HistoryField(run.out), moves);
}

TEST(BoardTool, TheMenuButtonsTakeBackReplayAndExit) {
    TempMachine machine;
    const std::string script = machine.Path("menu.script"), never = machine.Path("never.bmp");
    if (FILE* f = std::fopen(script.c_str(), "w")) {
        // BACK twice, NEXT once (the move taken back last stays to replay), then EXIT long
        // before the script would end.
        std::fprintf(f,
                     "wait 6000\ntap 22 14\nwait 500\ntap 22 14\nwait 500\ntap 61 14\n"
                     "wait 1500\ntap 217 14\nwait 60000\nscreenshot %s\n",
                     never.c_str());
        std::fclose(f);
    }
    const ToolRun run =
        Board(machine, "--player1 human --player2 human --new --history 3,31,41,97,75,30,40,0",
              "TESSARK_SCRIPT=" + ShellQuote(script));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("moves 2 history 2,31,41,97,75,1,30,40\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(std::fopen(never.c_str(), "r"), nullptr) << "EXIT closed the window at once";
}

TEST(BoardTool, BadArgumentsAreRefused) {
    TempMachine machine;
    for (const char* args : {"--player1 strong", "--sound loud", "--history", "--frobnicate"}) {
        const ToolRun run = Board(machine, args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_FALSE(run.err.empty()) << args;
        EXPECT_TRUE(run.out.empty()) << args;
    }
    const ToolRun help = Board(machine, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tessark-board"), std::string::npos);
}

} // namespace
