#include "tests/shell/shell_test_support.h"

namespace {

class Rundll32Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(machine_.dir().empty());
        std::filesystem::create_directories(machine_.dir() + "/drive_c/Program Files/Probe Dir");
        std::filesystem::copy_file(TESSARK_PROBE_AGREE,
                                   machine_.dir() + "/drive_c/Program Files/Probe Dir/probe.dll");
        record_ = machine_.dir() + "/record.txt";
    }

    ToolRun Run(const std::string& arguments) {
        std::filesystem::remove(record_);
        return RunCommand("PROBE_RECORD=" + ShellQuote(record_) + " " + Tool("rundll32") +
                          " --machine " + ShellQuote(machine_.dir()) + " " + arguments);
    }
    std::string Recorded() const { return ReadAll(record_); }

    TempFolder machine_{"rundll"};
    std::string record_;
};

TEST_F(Rundll32Test, ReadsTheCommandLineAsTheSystemDoes) {
    // Quoted path with blanks, as a registered uninstall command has it.
    ToolRun run = Run(ShellQuote("\"C:\\Program Files\\Probe Dir\\probe.dll\",Record Tessark"));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("[Tessark] window none instance some show 10\n", Recorded());

    // Unquoted, split by the shell: the arguments are read back as one line, and everything
    // after the entry's name (blanks inside included) is the entry's command line.
    run = Run("'C:\\Program Files\\Probe Dir\\probe.dll,Record' two  words");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("[two words] window none instance some show 10\n", Recorded());

    run = Run(ShellQuote("\"c:/program files/probe dir/PROBE.DLL\" , Record"));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("[] window none instance some show 10\n", Recorded());
}

TEST_F(Rundll32Test, BadCommandLinesAndMissingPiecesAreReported) {
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"", 2, "nothing to run"},
        {ShellQuote("\"C:\\Program Files\\Probe Dir\\probe.dll,Record x"), 2, "no closing quote"},
        {ShellQuote("C:\\probe.dll"), 2, "no entry named after the library"},
        {ShellQuote("C:\\probe.dll,"), 2, "no entry named"},
        {ShellQuote(",Record"), 2, "no library named"},
        {ShellQuote("C:\\probe.dll,Re;cord"), 2, "bad entry name"},
        {ShellQuote("C:\\missing.dll,Record"), 1, "cannot load C:\\missing.dll"},
        {ShellQuote("\"C:\\Program Files\\Probe Dir\\probe.dll\",Absent"), 1,
         "has no entry Absent"},
    };
    for (const Case& c : cases) {
        ToolRun run = Run(c.arguments);
        EXPECT_EQ(c.status, run.status) << c.arguments;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.arguments << ": " << run.err;
        EXPECT_EQ("", Recorded()) << c.arguments;
    }
}

} // namespace
