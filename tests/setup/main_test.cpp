// TessarkSetup as a person runs it: the real program, headless, driven by input scripts, onto a
// desktop machine and an emulated palm-size PC of the test's own. Each run ends with what is
// on the machine and the device checked, and with an empty memory report.
#include "platform/reg.h"
#include "tests/device/device_test_support.h"
#include "tests/tools/screenshot.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Where the pages put their controls, in client pixels of the main window (8-point dialog
// units, 16-pixel frame borders).
constexpr const char* kInstall = "505 219";
constexpr const char* kRescan = "180 219";
constexpr const char* kEsperanto = "27 113";
constexpr const char* kDesktopRadio = "27 154";
constexpr const char* kBothRadio = "27 177";
constexpr const char* kDeviceRadio = "27 199";

// Sanitizer builds of the game are many times the size of a release build: their devices get a
// store to hold them.
constexpr const char* kRoomy = "--store 2000000000";

const char kProgramFolder[] = "drive_c/Program Files/Tessark/tessark.exe";
const char kDesktopLog[] = "drive_c/Program Files/Orvane Software/Uninstall Log for Tessark.txt";
const char kDesktopUninstaller[] = "drive_c/Program Files/Orvane Software/uninstaller.dll";
const char kDesktopShortcut[] =
    "drive_c/Documents and Settings/All Users/Start Menu/Programs/Games/Tessark.lnk";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A REG_SZ value of the desktop machine this test process runs on; "(none)" when absent.
std::string DesktopValue(HKEY root, const char16_t* key, const char16_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return "(none)";
    char16_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(char16_t), type = 0;
    const LONG rc =
        RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return "(none)";
    std::string out;
    for (const char16_t* c = buffer; *c; ++c)
        out.push_back(*c < 0x80 ? static_cast<char>(*c) : '?');
    return out;
}

class SetupProgram : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        xdg_ = root_ + "/xdg";
        fs::create_directories(xdg_);
    }

    std::string Machine(const std::string& relative = "") const {
        return root_ + "/desktop" + (relative.empty() ? "" : "/" + relative);
    }

    // Runs the program with a script (one command a line) and arguments; `clock` "sim" or ""
    // for the real clock.
    ToolRun Run(const std::string& script, const std::string& arguments = "",
                const std::string& clock = "sim", const std::string& extra = "") {
        const std::string file = root_ + "/run" + std::to_string(++runs_) + ".script";
        std::ofstream(file) << script;
        return RunCommand(Environment(clock) + " " + extra + " TESSARK_SCRIPT=" + ShellQuote(file) +
                          " timeout 300 " + ShellQuote(TESSARK_SETUP) + " " + arguments);
    }

    std::string Environment(const std::string& clock) const {
        return "TESSARK_DRIVER=null TESSARK_TRACE=1 TESSARK_MEMREPORT=1 TESSARK_CLOCK=" + clock +
               " TESSARK_MACHINE=" + ShellQuote(Machine()) + " TESSARK_DEVICE=" + ShellQuote(dir_) +
               " XDG_DATA_HOME=" + ShellQuote(xdg_) + " HOME=" + ShellQuote(root_);
    }

    std::string Shot(const std::string& name) const { return root_ + "/" + name; }

    // TESSARK_SETUP_SHOTS=DIR keeps a copy of each screenshot looked at.
    Bmp Screenshot(const std::string& name) {
        if (const char* keep = std::getenv("TESSARK_SETUP_SHOTS")) {
            std::ifstream in(Shot(name), std::ios::binary);
            std::ofstream(std::string(keep) + "/" + name, std::ios::binary) << in.rdbuf();
        }
        Bmp bmp;
        EXPECT_TRUE(bmp.Load(Shot(name))) << name;
        return bmp;
    }

    static void ExpectClean(const ToolRun& run) {
        EXPECT_TRUE(Contains(run.err, "Memory Manager: 0 block(s) not freed (0 bytes), 0 damaged"))
            << run.err.substr(run.err.size() > 3000 ? run.err.size() - 3000 : 0);
    }

    void ExpectDesktopInstalled() {
        EXPECT_TRUE(fs::is_regular_file(Machine(kProgramFolder)));
        EXPECT_TRUE(fs::is_regular_file(Machine(kDesktopUninstaller)));
        EXPECT_TRUE(fs::is_regular_file(Machine(kDesktopShortcut)));
        const std::string log = ReadText(Machine(kDesktopLog));
        EXPECT_EQ(log.rfind("#\n# This uninstall log is automatically generated", 0), 0u);
        EXPECT_TRUE(Contains(log, "deletefile { \"C:\\Program Files\\Tessark\\tessark.exe\" }"));
        EXPECT_TRUE(
            Contains(log, "deleteval { \"HKLM\\SOFTWARE\\Orvane\\NLS\" \"Lang-Tessark CE\" }"));
        const char16_t* uninstall =
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark";
        EXPECT_EQ(DesktopValue(HKEY_LOCAL_MACHINE, uninstall, u"DisplayName"), "Tessark");
        EXPECT_EQ(DesktopValue(HKEY_LOCAL_MACHINE, uninstall, u"UninstallString"),
                  "rundll32 \"C:\\Program Files\\Orvane Software\\uninstaller.dll\",Uninstall "
                  "Tessark");
        // The menu entry of the real desktop.
        bool entry = false;
        for (const auto& e : fs::directory_iterator(xdg_ + "/applications"))
            entry = entry || e.path().extension() == ".desktop";
        EXPECT_TRUE(entry);
    }

    void ExpectDesktopUntouched() {
        EXPECT_FALSE(fs::exists(Machine(kProgramFolder)));
        EXPECT_FALSE(fs::exists(Machine(kDesktopShortcut)));
    }

    void ExpectDeviceInstalled() {
        EXPECT_TRUE(fs::is_regular_file(Tree("Program Files/Tessark/tessark.exe")));
        EXPECT_TRUE(fs::is_regular_file(Tree("Program Files/Orvane Software/uninstaller.dll")));
        EXPECT_TRUE(fs::is_regular_file(Tree("Windows/Start Menu/Programs/Games/Tessark.lnk")));
        const std::string log =
            ReadText(Tree("Program Files/Orvane Software/Uninstall Log for Tessark.txt"));
        EXPECT_TRUE(Contains(log, "deletefile { \"\\Program Files\\Tessark\\tessark.exe\" }"));
        ToolRun isv = Cedevice("reg get 'HKLM\\Software\\Apps\\Tessark' IsvFile");
        EXPECT_EQ(isv.status, 0) << isv.err;
        EXPECT_TRUE(Contains(isv.out, "\\Program Files\\Orvane Software\\uninstaller.dll"))
            << isv.out;
        ToolRun dir = Cedevice("reg get 'HKLM\\Software\\Apps\\Tessark' InstlDir");
        EXPECT_TRUE(Contains(dir.out, "Tessark")) << dir.out;
    }

    // The game installed on the device starts there and shows its first frame.
    void ExpectGameRunsOnDevice() {
        const std::string script = root_ + "/game.script";
        std::ofstream(script) << "wait 3000\nscreenshot " << Shot("device-game.bmp") << "\nclose\n";
        ToolRun run = RunCommand(
            "TESSARK_DRIVER=null TESSARK_CLOCK=sim TESSARK_SCRIPT=" + ShellQuote(script) + " " +
            ShellQuote(BinDir() + "/cedevice") + " --device " + ShellQuote(dir_) +
            " run '\\Program Files\\Tessark\\tessark.exe'");
        EXPECT_EQ(run.status, 0) << run.err;
        Bmp game = Screenshot("device-game.bmp");
        EXPECT_GT(game.width, 200);
        EXPECT_GT(game.height, 200);
    }

    // The remove-programs facilities of the desktop and the device take the game away again,
    // menu entry and registrations included; only the maker's shared uninstaller may stay.
    void ExpectRemovedBy(bool desktop, bool device) {
        if (desktop) {
            ToolRun removed =
                RunCommand(Environment("") + " " + ShellQuote(BinDir() + "/tessark-programs") +
                           " remove Tessark");
            EXPECT_EQ(removed.status, 0) << removed.out << removed.err;
            EXPECT_FALSE(fs::exists(Machine("drive_c/Program Files/Tessark")));
            EXPECT_FALSE(fs::exists(Machine(kDesktopShortcut)));
            EXPECT_FALSE(fs::exists(Machine(kDesktopLog)));
            EXPECT_EQ(
                DesktopValue(HKEY_LOCAL_MACHINE,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark",
                             u"DisplayName"),
                "(none)");
            EXPECT_EQ(DesktopValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", u"Opt-Tessark CE"),
                      "(none)");
            bool entry = false;
            if (fs::exists(xdg_ + "/applications"))
                for (const auto& e : fs::directory_iterator(xdg_ + "/applications"))
                    entry = entry || e.path().extension() == ".desktop";
            EXPECT_FALSE(entry);
        }
        if (device) {
            ToolRun removed = Cedevice("programs remove Tessark");
            EXPECT_EQ(removed.status, 0) << removed.out << removed.err;
            EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark")));
            EXPECT_FALSE(
                fs::exists(Tree("Program Files/Orvane Software/Uninstall Log for Tessark.txt")));
            EXPECT_FALSE(fs::exists(Tree("Windows/Start Menu/Programs/Games/Tessark.lnk")));
            ToolRun key = Cedevice("reg get 'HKLM\\Software\\Apps\\Tessark' InstlDir");
            EXPECT_NE(key.status, 0) << key.out;
        }
    }

    std::string xdg_;
    int runs_ = 0;
};

std::string Tap(const char* where) {
    return std::string("tap ") + where + "\n";
}

TEST_F(SetupProgram, DesktopOnlyEndsWithTheSuccessBoxAndAWorkingInstallation) {
    ToolRun run = Run("wait 1000\nscreenshot " + Shot("language.bmp") + "\n" + Tap(kInstall) +
                      "wait 4000\nscreenshot " + Shot("success.bmp") + "\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    // No device: the no-device page, one bar for the desktop, then the box.
    EXPECT_TRUE(Contains(run.err, "progress bar 1008 at 5%"));
    EXPECT_TRUE(Contains(run.err, "progress bar 1008 at 95%"));
    EXPECT_TRUE(Contains(run.err, "progress bar 1008 at 100%"));
    EXPECT_FALSE(Contains(run.err, "progress bar 1009"));
    ExpectDesktopInstalled();
    // The main window takes the size of its frame image; the box is narrower than the screen's
    // third plus its frame and taller than its 96 pixels plus the frame.
    Bmp page = Screenshot("language.bmp");
    EXPECT_EQ(page.width, 602);
    EXPECT_EQ(page.height, 250);
    Bmp box = Screenshot("success.bmp");
    EXPECT_GT(box.height, 96);
    EXPECT_LT(box.width, page.width);
    // What was installed runs.
    ToolRun version = RunCommand(ShellQuote(Machine(kProgramFolder)) + " --version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out.rfind("tessark ", 0), 0u) << version.out;
    ExpectRemovedBy(true, false);
}

TEST_F(SetupProgram, BothTargetsDriveTwoBarsAndTheGamePlaysOnTheDevice) {
    Create(kRoomy);
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("wait 1500\n" + Tap(kBothRadio) + Tap(kInstall) + "wait 8000\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    EXPECT_TRUE(Contains(run.err, "progress bar 1008 at 100%"));
    EXPECT_TRUE(Contains(run.err, "progress bar 1009 at 95%"));
    EXPECT_TRUE(Contains(run.err, "progress bar 1009 at 100%"));
    ExpectDesktopInstalled();
    ExpectDeviceInstalled();
    ExpectGameRunsOnDevice();
    ExpectRemovedBy(true, true);
}

TEST_F(SetupProgram, DeviceOnlyDrivesTheFirstBarAndLeavesTheDesktopAlone) {
    Create(kRoomy);
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("wait 1500\n" + Tap(kDeviceRadio) + Tap(kInstall) + "wait 8000\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    EXPECT_TRUE(Contains(run.err, "progress bar 1008 at 100%"));
    EXPECT_FALSE(Contains(run.err, "progress bar 1009"));
    ExpectDesktopUntouched();
    ExpectDeviceInstalled();
    ExpectRemovedBy(false, true);
}

TEST_F(SetupProgram, TheTargetPageStartsOnTheDesktop) {
    Create(kRoomy);
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("wait 1500\n" + Tap(kDesktopRadio) + Tap(kInstall) + "wait 6000\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    ExpectDesktopInstalled();
    EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark/tessark.exe")));
}

TEST_F(SetupProgram, AnUnknownProcessorFailsNamingTheGamesDevicePath) {
    Create("--arch 3 " + std::string(kRoomy));
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("", "--very-silent --target device");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "Setup was unable to install the file \\Program "
                                  "Files\\Tessark\\tessark.exe. The disk may be full"))
        << run.err;
    ExpectClean(run);
    EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark/tessark.exe")));
}

TEST_F(SetupProgram, RescanFindsTheDeviceStartedMeanwhileAndInstallsOnBoth) {
    Create(kRoomy);
    const std::string seen = Shot("no-device.bmp");
    std::atomic<bool> done{false};
    ToolRun run;
    std::thread program([&] {
        run = Run("wait 1500\nscreenshot " + seen + "\nwait 3000\n" + Tap(kRescan) + "wait 2500\n" +
                      Tap(kInstall) + "wait 8000\nclose\n",
                  "", "");
        done = true;
    });
    for (int i = 0; i < 1000 && !fs::exists(seen) && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) Start();
    program.join();
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    // Rescan chose both targets.
    EXPECT_TRUE(Contains(run.err, "progress bar 1009 at 100%"));
    ExpectDesktopInstalled();
    ExpectDeviceInstalled();
}

TEST_F(SetupProgram, EsperantoOnTheNoDevicePageRecreatesThePagesInEsperanto) {
    ToolRun run =
        Run("wait 1000\n" + Tap(kEsperanto) + "wait 1000\nscreenshot " + Shot("eo.bmp") + "\n" +
            Tap(kInstall) + "wait 4000\nscreenshot " + Shot("eo-success.bmp") + "\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    EXPECT_TRUE(Contains(run.err, "caption Tessark Setup"));
    EXPECT_TRUE(Contains(run.err, "caption Tessark Instalilo"));
    ExpectDesktopInstalled();
    // The choice is the game's language too.
    EXPECT_EQ(DesktopValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", u"Lang-Tessark CE"), "EO");
    Screenshot("eo.bmp");
    Screenshot("eo-success.bmp");
}

TEST_F(SetupProgram, UnattendedRunsReportByTheirExitCode) {
    ToolRun quiet = Run("", "--very-silent --target desktop --language eo");
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    ExpectClean(quiet);
    ExpectDesktopInstalled();

    ToolRun noDevice = Run("", "--very-silent --target both --language en");
    EXPECT_EQ(noDevice.status, 1);
    EXPECT_TRUE(Contains(noDevice.err, "No palm-size PC is connected.")) << noDevice.err;

    // --silent: the progress page and the final box only.
    ToolRun silent = Run("wait 4000\nscreenshot " + Shot("silent.bmp") + "\nclose\n",
                         "--silent --target desktop");
    EXPECT_EQ(silent.status, 0) << silent.err;
    ExpectClean(silent);
    EXPECT_TRUE(Contains(silent.err, "progress bar 1008 at 100%"));
    Bmp box = Screenshot("silent.bmp");
    EXPECT_GT(box.height, 96);

    ToolRun bad = Run("", "--target nowhere");
    EXPECT_EQ(bad.status, 2);
    ToolRun help = Run("", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.out, "--very-silent"));
}

TEST_F(SetupProgram, AFullDeviceEndsWithTheErrorAndLeavesAWorkingLog) {
    Create("--store 300000");
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("wait 1500\n" + Tap(kDeviceRadio) + Tap(kInstall) + "wait 8000\nscreenshot " +
                      Shot("error.bmp") + "\nclose\n");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    EXPECT_TRUE(Contains(run.err, "InstallThread ends")) << run.err;
    EXPECT_FALSE(fs::exists(Tree("Program Files/Orvane Software/uninstaller.dll")));
    // The log names what was written, so the uninstaller can take it away.
    const std::string log =
        ReadText(Tree("Program Files/Orvane Software/Uninstall Log for Tessark.txt"));
    EXPECT_TRUE(Contains(log, "deletefile { \"\\Program Files\\Tessark\\tessark.exe\" }"));
    Bmp box = Screenshot("error.bmp");
    EXPECT_GT(box.height, 96);
}

TEST_F(SetupProgram, AFullDiskEndsWithTheErrorNamingTheGame) {
    // Room for the log, not for the game.
    ToolRun run = Run("", "--very-silent --language en", "sim", "TESSARK_DISK_FULL_AFTER=200000");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "Setup was unable to install the file C:\\Program "
                                  "Files\\Tessark\\tessark.exe."))
        << run.err;
    ExpectClean(run);
    EXPECT_FALSE(fs::exists(Machine(kDesktopShortcut)));
    EXPECT_TRUE(Contains(ReadText(Machine(kDesktopLog)),
                         "deletefile { \"C:\\Program Files\\Tessark\\tessark.exe\" }"));
}

TEST_F(SetupProgram, ADeviceLostDuringTheInstallationEndsWithTheErrorAndUninstallsCleanly) {
    Create(kRoomy);
    ASSERT_NO_FATAL_FAILURE(Start());
    // The device is pulled out as soon as the game's copy to it begins.
    const std::string trace = root_ + "/trace.txt";
    const std::string script = root_ + "/lost.script";
    std::ofstream(script) << "wait 1500\n"
                          << Tap(kDeviceRadio) << Tap(kInstall) << "wait 8000\nscreenshot "
                          << Shot("lost.bmp") << "\nclose\n";
    int status = -1;
    std::thread program([&] {
        const int raw =
            std::system((Environment("sim") + " TESSARK_SCRIPT=" + ShellQuote(script) +
                         " timeout 300 " + ShellQuote(TESSARK_SETUP) + " 2>" + ShellQuote(trace))
                            .c_str());
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    });
    bool pulled = false;
    for (int i = 0; i < 3000 && !pulled; ++i) {
        if (Contains(ReadText(trace), "installing tessark.exe")) {
            Kill();
            pulled = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    program.join();
    ASSERT_TRUE(pulled);
    EXPECT_EQ(status, 0);
    const std::string err = ReadText(trace);
    ExpectClean(ToolRun{status, "", err});
    EXPECT_TRUE(Contains(err, "InstallThread ends"));
    EXPECT_FALSE(Contains(err, "finalizing")) << err;
    Bmp box = Screenshot("lost.bmp");
    EXPECT_GT(box.height, 96);
    // Plugged in again, the log written so far takes everything away.
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun removed = RunCommand(Environment("") + " " + ShellQuote(BinDir() + "/tessark-install") +
                                 " --target device --uninstall");
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark")));
    EXPECT_FALSE(fs::exists(Tree("Program Files/Orvane Software/Uninstall Log for Tessark.txt")));
    ToolRun lang = Cedevice("reg get 'HKLM\\SOFTWARE\\Orvane\\NLS' 'Lang-Tessark CE'");
    EXPECT_NE(lang.status, 0) << lang.out;
}

TEST_F(SetupProgram, TheCloseBoxEndsWithoutInstallingOrAMessage) {
    // The close box sits in the frame's small right-hand tab.
    ToolRun run = Run("wait 1000\ntap 594 8\nwait 1000\nscreenshot " + Shot("after.bmp") + "\n");
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    EXPECT_FALSE(Contains(run.err, "InstallThread begins"));
    ExpectDesktopUntouched();
    // Nothing is left on the screen to take a picture of.
    EXPECT_FALSE(fs::exists(Shot("after.bmp")));
}

TEST_F(SetupProgram, ClosingDuringTheInstallationWaitsForTheWorker) {
    Create(kRoomy);
    ASSERT_NO_FATAL_FAILURE(Start());
    ToolRun run = Run("wait 1500\n" + Tap(kBothRadio) + Tap(kInstall) + "wait 30\nclose\n", "", "");
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectClean(run);
    // Whatever was written is named in the log.
    if (fs::exists(Machine(kProgramFolder))) {
        EXPECT_TRUE(Contains(ReadText(Machine(kDesktopLog)), "tessark.exe"));
    }
}

} // namespace
