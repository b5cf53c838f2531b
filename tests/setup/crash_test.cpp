// tessark-install killed (SIGKILL) at every change it makes to the desktop and the device, and
// from outside after random delays; after each kill the log reads to its end and the uninstall
// routine brings both systems back to what they were, apart from the maker's shared files and
// the files that say they may be deleted.
#include "setuplib_test_support.h"

#include <random>

namespace {

using namespace setuplib;
using sltest::SetupTest;

const char kLog[] = "Program Files/Orvane Software/Uninstall Log for Tessark.txt";

struct State {
    std::map<std::string, std::string> tree;
    std::set<std::string> registry;
};

class CrashTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        zip_ = root_ + "/game.zip";
        // The game large enough for several chunks and for compression on the device.
        auto bytes = sltest::MakeArchive({{"native/tessark.exe", Patterned(200000, 5)},
                                          {"native/uninstaller.dll", "native uninstaller"},
                                          {"arm/tessark.exe", Patterned(200000, 6)},
                                          {"arm/uninstaller.dll", "arm uninstaller"}});
        sltest::WriteHostFile(zip_, std::string(bytes.begin(), bytes.end()));
        // The systems' own keys that registrations go below.
        SetupLib desktopOnly(nullptr);
        desktopOnly.desktop()->createkey(HKEY_LOCAL_MACHINE,
                                         "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    }

    void TearDown() override {
        unsetenv("TESSARK_INSTALL_KILL_AFTER");
        SetupTest::TearDown();
    }

    void PlugInDevice(const std::string& options) {
        SetupToolkit* device = Device(options);
        ASSERT_NE(device, nullptr);
        device->createkey(HKEY_LOCAL_MACHINE, "Software\\Apps");
    }

    static State Snapshot(const std::string& machine) {
        State state{sltest::TreeSnapshot(machine), sltest::RegistrySnapshot(machine)};
        sltest::ForgetShared(state.tree, "drive_c");
        return state;
    }

    ToolRun Install(const std::string& target) {
        return RunCommand(ShellQuote(BinDir() + "/tessark-install") + " --target " + target + " " +
                          ShellQuote(zip_));
    }

    static long ChangesOf(const ToolRun& run) {
        std::size_t end = run.out.rfind(" changes\n");
        if (end == std::string::npos) return -1;
        std::size_t start = run.out.rfind('\n', end);
        start = start == std::string::npos ? 0 : start + 1;
        return std::stol(run.out.substr(start, end - start));
    }

    // A log left on a system must read to its end, exactly as it was written. (A replacement
    // being written beside it, ".new", may be cut short: it is read only when the log is
    // missing, and then names nothing that was made yet.)
    void ExpectWholeLog(const std::string& machine, const std::string& when) {
        const std::string path = machine + "/drive_c/" + kLog;
        if (!std::filesystem::exists(path)) return;
        const std::string text = sltest::ReadHostFile(path);
        bool complete = false;
        Journal entries = ParseLog(text, &complete);
        EXPECT_TRUE(complete) << when;
        EXPECT_EQ(RenderLog(entries), text) << when;
    }

    // Uninstalls from the systems of `target` and compares them with the states before.
    void ExpectRestored(const std::string& target, const State& desktop, const State& device,
                        const std::string& when) {
        if (target != "device") {
            ExpectWholeLog(desktop_, when);
            Uninstall("Tessark", nullptr);
            State now = Snapshot(desktop_);
            EXPECT_EQ(now.tree, desktop.tree) << when;
            EXPECT_EQ(now.registry, desktop.registry) << when;
        }
        if (target != "desktop") {
            ExpectWholeLog(dir_, when);
            Uninstall("Tessark", library_->connection());
            State now = Snapshot(dir_);
            EXPECT_EQ(now.tree, device.tree) << when;
            EXPECT_EQ(now.registry, device.registry) << when;
        }
    }

    // Kills the installation after its first change, then its second, and so on until it runs
    // to its end; the number of kills. Each kill is followed by the uninstall and the comparison,
    // and so is the installation that ran to its end.
    long KillAtEveryChange(const std::string& target, bool overExisting) {
        const State desktop = Snapshot(desktop_);
        const State device = target != "desktop" ? Snapshot(dir_) : State{};
        long kills = 0;
        for (long n = 1; n < 1000 && !HasFailure(); ++n) {
            const std::string when = target + (overExisting ? " reinstallation" : " installation") +
                                     " killed after change " + std::to_string(n);
            if (overExisting) {
                unsetenv("TESSARK_INSTALL_KILL_AFTER");
                Install(target);
            }
            setenv("TESSARK_INSTALL_KILL_AFTER", std::to_string(n).c_str(), 1);
            ToolRun run = Install(target);
            // Killed, not ended: the shell reports the signal, or the signal ended it directly.
            if (run.status == 128 + SIGKILL || run.status == -1) {
                ++kills;
                ExpectRestored(target, desktop, device, when);
                continue;
            }
            // It made fewer than n changes and ended by itself.
            EXPECT_LT(ChangesOf(run), n) << run.out;
            if (!sltest::kDesktopLinks && target != "device") {
                EXPECT_EQ(run.status, 1) << "desktop shortcuts fail until the platform has them";
            } else {
                EXPECT_EQ(run.status, 0) << run.err;
            }
            ExpectRestored(target, desktop, device, target + " installation run to its end");
            break;
        }
        unsetenv("TESSARK_INSTALL_KILL_AFTER");
        return kills;
    }

    std::string zip_;
};

// The number of kills of each run is printed for the record.
TEST_F(CrashTest, KilledAtEveryChangeOnTheDesktop) {
    const long first = KillAtEveryChange("desktop", false);
    const long again = KillAtEveryChange("desktop", true);
    std::printf("desktop kills: %ld installing, %ld reinstalling\n", first, again);
    EXPECT_GE(first, 20);
    EXPECT_GE(again, 3);
}

TEST_F(CrashTest, KilledAtEveryChangeOnTheDevice) {
    PlugInDevice("");
    if (HasFatalFailure()) return;
    const long first = KillAtEveryChange("device", false);
    const long again = KillAtEveryChange("device", true);
    std::printf("device kills: %ld installing, %ld reinstalling\n", first, again);
    EXPECT_GE(first, 30);
    EXPECT_GE(again, 5);
}

TEST_F(CrashTest, KilledAtEveryChangeOnBothWithUncompressedTransfers) {
    PlugInDevice("--no-zzrapi");
    if (HasFatalFailure()) return;
    const long both = KillAtEveryChange("both", false);
    const long device = KillAtEveryChange("device", false);
    std::printf("uncompressed kills: %ld both, %ld device\n", both, device);
    EXPECT_GE(both, 20);
    EXPECT_GE(device, 30);
}

TEST_F(CrashTest, KilledFromOutsideAfterRandomDelays) {
    PlugInDevice("");
    if (HasFatalFailure()) return;
    const State desktop = Snapshot(desktop_);
    const State device = Snapshot(dir_);
    std::mt19937 random(20261208);
    const std::string program = BinDir() + "/tessark-install";
    long kills = 0;
    for (int run = 0; run < 50 && !HasFailure(); ++run) {
        pid_t child = fork();
        if (child == 0) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            execl(program.c_str(), "tessark-install", "--target", "device", zip_.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(child, 0);
        const int delay = std::uniform_int_distribution<int>(0, 50)(random);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) ++kills;
        // A request the killed installer had already sent may still be in the device's hands;
        // the uninstall comes later, as a person's would, once the device has done with it.
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ExpectRestored("device", desktop, device, "killed after " + std::to_string(delay) + " ms");
    }
    std::printf("random kills: %ld of 50\n", kills);
    EXPECT_GT(kills, 0);
}

} // namespace

namespace {

// The driver's own answers to bad command lines and archives.
class DriverTest : public sltest::SetupTest {
protected:
    ToolRun Driver(const std::string& arguments) {
        return RunCommand(ShellQuote(BinDir() + "/tessark-install") + " " + arguments);
    }
};

TEST_F(DriverTest, BadCommandLinesAreUsageErrors) {
    ToolRun help = Driver("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tessark-install"), std::string::npos);
    for (const char* bad : {"", "--target", "--target phone x.zip", "--frobnicate x.zip",
                            "a.zip b.zip", "--uninstall x.zip"}) {
        ToolRun run = Driver(bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << bad;
    }
    setenv("TESSARK_INSTALL_KILL_AFTER", "soon", 1);
    EXPECT_EQ(Driver(ShellQuote(root_ + "/x.zip")).status, 2);
    unsetenv("TESSARK_INSTALL_KILL_AFTER");
}

TEST_F(DriverTest, ArchivesThatCannotBeUsedAreReported) {
    ToolRun missing = Driver(ShellQuote(root_ + "/missing.zip"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("holds no entries"), std::string::npos) << missing.err;
    sltest::WriteHostFile(root_ + "/bad.zip", "PK\x03\x04 this is not really an archive");
    ToolRun damaged = Driver(ShellQuote(root_ + "/bad.zip"));
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find(kZipExtendsBeyond), std::string::npos) << damaged.err;
    // An archive without a build for this target: the game's file is named.
    auto bytes = sltest::MakeArchive({{"arm/tessark.exe", "arm"}});
    sltest::WriteHostFile(root_ + "/arm.zip", std::string(bytes.begin(), bytes.end()));
    ToolRun wrong = Driver(ShellQuote(root_ + "/arm.zip"));
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("unable to install the file C:\\Program Files\\Tessark\\tessark.exe "
                             "(setuplib: installfile failed to find native\\tessark.exe"),
              std::string::npos)
        << wrong.err;
    // Without a device a device target is refused before anything is changed.
    ToolRun device = Driver("--target device " + ShellQuote(root_ + "/arm.zip"));
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("no device connected"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Tree("Program Files/Tessark")));
}

} // namespace
