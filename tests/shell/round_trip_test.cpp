#include "platform/reg.h"
#include "tests/device/device_test_support.h"
#include "tests/setup/zip_builder.h"
#include "tests/shell/shell_test_support.h"

namespace fs = std::filesystem;

namespace {

// The game's stand-in: notes the machine it runs on and ends with a status of its own, so a
// start through the menu or on the device can be told from a start that did not happen.
constexpr const char* kGame = "#!/bin/sh\n"
                              "echo \"tessark on $TESSARK_MACHINE\" >> \"$TESSARK_MACHINE/ran\"\n"
                              "exit 3\n";

// The round trip through the built tools only: tessark-install onto a fresh desktop machine
// and a fresh device, then the two remove-programs facilities.
class RoundTripTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        desktop_ = root_ + "/desktop";
        data_ = root_ + "/data";
        // Fresh and empty: the machine directory and the data home exist, nothing in them.
        fs::create_directories(desktop_);
        fs::create_directories(data_);
        setenv("XDG_DATA_HOME", data_.c_str(), 1);
        setenv("HOME", data_.c_str(), 1);
        ziptest::Bytes zip = ziptest::Archive({
            ziptest::Stored("native/tessark.exe", kGame),
            ziptest::Stored("native/uninstaller.dll", Slurp(TESSARK_DESKTOP_UNINSTALLER)),
            ziptest::Stored("arm/tessark.exe", kGame),
            ziptest::Stored("arm/uninstaller.dll", Slurp(TESSARK_DEVICE_UNINSTALLER)),
        });
        archive_ = root_ + "/game.zip";
        Spit(archive_, std::string(zip.begin(), zip.end()));
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        DeviceTest::TearDown();
    }

    std::vector<std::string> MenuEntries() const {
        std::vector<std::string> found;
        std::error_code failed;
        for (const auto& entry : fs::directory_iterator(data_ + "/applications", failed))
            found.push_back(entry.path().string());
        return found;
    }

    // Everything in a tree, relative, for before-and-after comparisons.
    static std::vector<std::string> Listing(const std::string& dir) {
        std::vector<std::string> names;
        std::error_code failed;
        for (auto it = fs::recursive_directory_iterator(dir, failed);
             !failed && it != fs::recursive_directory_iterator(); it.increment(failed)) {
            names.push_back(fs::relative(it->path(), dir).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string desktop_, data_, archive_;
};

TEST_F(RoundTripTest, InstallOnBothTargetsRunTheGameAndRemoveItThroughEachFacility) {
    Create();
    if (HasFatalFailure()) return;
    Start();
    if (HasFatalFailure()) return;
    const std::vector<std::string> deviceBefore = Listing(dir_ + "/drive_c");

    ToolRun installed =
        RunCommand(Tool("tessark-install") + " --target both " + ShellQuote(archive_));
    ASSERT_EQ(0, installed.status) << installed.out << installed.err;

    // The desktop: a menu entry that validates and starts the installed game on this machine.
    std::vector<std::string> entries = MenuEntries();
    ASSERT_EQ(1u, entries.size());
    ToolRun validated = RunCommand("desktop-file-validate " + ShellQuote(entries[0]));
    EXPECT_EQ(0, validated.status) << validated.out << validated.err;
    EXPECT_NE(std::string::npos, Slurp(entries[0]).find("\nCategories=Game;\n"));
    EXPECT_NE(std::string::npos, Slurp(entries[0]).find("\nName=Tessark\n"));
    ToolRun started = RunCommand(ExecCommand(entries[0]));
    EXPECT_EQ(3, started.status) << started.err;
    EXPECT_EQ("tessark on " + fs::canonical(desktop_).string() + "\n", Slurp(desktop_ + "/ran"));
    ToolRun programs = RunCommand(Tool("tessark-programs") + " list");
    EXPECT_EQ("Tessark\tTessark\n", programs.out) << programs.err;

    // The device: its remove-programs list, and the game runs there on the device's tree.
    ToolRun listed = Cedevice("programs list");
    EXPECT_EQ("Tessark\t\\Program Files\\Orvane Software\\uninstaller.dll\n", listed.out)
        << listed.err;
    ToolRun ran = Cedevice("run '\\Program Files\\Tessark\\tessark.exe'");
    EXPECT_EQ(3, ran.status) << ran.err;
    EXPECT_EQ("tessark on " + dir_ + "\n", Slurp(dir_ + "/ran"));
    fs::remove(dir_ + "/ran");

    // Removal on the desktop.
    ToolRun removed = RunCommand(Tool("tessark-programs") + " remove Tessark");
    ASSERT_EQ(0, removed.status) << removed.err;
    EXPECT_TRUE(MenuEntries().empty());
    EXPECT_EQ(std::vector<std::string>({"drive_c", "drive_c/Program Files",
                                        "drive_c/Program Files/Orvane Software",
                                        "drive_c/Program Files/Orvane Software/uninstaller.dll"}),
              [&] {
                  std::vector<std::string> files;
                  for (const std::string& name : Listing(desktop_))
                      if (name.rfind("drive_c", 0) == 0) files.push_back(name);
                  return files;
              }());
    ToolRun registry = RunCommand(ShellQuote(BinDir() + "/tessark-reg") + " dump");
    EXPECT_EQ(0, registry.status) << registry.err;
    EXPECT_EQ(std::string::npos, registry.out.find("Orvane\\Tessark")) << registry.out;
    EXPECT_EQ(std::string::npos, registry.out.find("Tessark CE")) << registry.out;
    EXPECT_EQ(std::string::npos, registry.out.find("Uninstall\\Tessark")) << registry.out;
    EXPECT_EQ("", RunCommand(Tool("tessark-programs") + " list").out);

    // Removal on the device, on the device itself.
    ToolRun gone = Cedevice("programs remove Tessark");
    ASSERT_EQ(0, gone.status) << gone.err;
    EXPECT_EQ("", Cedevice("programs").out);
    ToolRun deviceRegistry = Cedevice("reg dump");
    EXPECT_EQ(std::string::npos, deviceRegistry.out.find("Apps\\Tessark")) << deviceRegistry.out;
    EXPECT_EQ(std::string::npos, deviceRegistry.out.find("Orvane\\Tessark")) << deviceRegistry.out;
    // What stays on the device: its own tree as it was, the shared uninstaller beside zzrapi.dll
    // and the compressed transfers' temporary files, whose names say they may be deleted.
    std::vector<std::string> left;
    for (const std::string& name : Listing(dir_ + "/drive_c"))
        if (name.rfind("This File Is Safe To Delete", 0) != 0) left.push_back(name);
    std::vector<std::string> expected = deviceBefore;
    expected.push_back("Program Files/Orvane Software/uninstaller.dll");
    std::sort(expected.begin(), expected.end());
    // Nothing new is left; the device's empty menu folders were named in the log and went.
    EXPECT_TRUE(std::find(left.begin(), left.end(), "Program Files/Tessark") == left.end());
    EXPECT_TRUE(std::find(left.begin(), left.end(),
                          "Program Files/Orvane Software/Uninstall Log for Tessark.txt") ==
                left.end());
    for (const std::string& name : left)
        EXPECT_TRUE(std::find(expected.begin(), expected.end(), name) != expected.end()) << name;
}

} // namespace
