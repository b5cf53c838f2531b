#include "platform/reg.h"
#include "setup/sl_main.h"
#include "setup/unzipper.h"
#include "tests/setup/zip_builder.h"
#include "tests/shell/shell_test_support.h"

#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kProduct = "Tessark";
constexpr const char16_t* kRegistration =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark";

// A stand-in for the game: notes that it ran on its machine, with what arguments.
constexpr const char* kGame =
    "#!/bin/sh\necho \"ran on $TESSARK_MACHINE\" > \"$TESSARK_MACHINE/ran\"\n";

bool KeyExists(HKEY root, const char16_t* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

bool ValueExists(HKEY root, const char16_t* key, const char16_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG result = RegQueryValueExW(opened, name, nullptr, nullptr, nullptr, &size);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

void SetString(HKEY root, const char16_t* key, const char16_t* name, const std::u16string& text) {
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr));
    RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(opened);
}

class DesktopUninstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(machine_.dir().empty());
        // The machine's system drive, as every desktop has one.
        fs::create_directories(machine_.dir() + "/drive_c");
        setenv("TESSARK_MACHINE", machine_.dir().c_str(), 1);
        setenv("XDG_DATA_HOME", data_.dir().c_str(), 1);
        setenv("HOME", data_.dir().c_str(), 1);
        platform::SetMachineDir(machine_.dir());
    }
    void TearDown() override {
        platform::SetMachineDir("");
        unsetenv("TESSARK_MACHINE");
        unsetenv("XDG_DATA_HOME");
    }

    // Installs the game the way the setup program does on the desktop.
    void Install() {
        ziptest::Bytes zip = ziptest::Archive(
            {ziptest::Stored("native/tessark.exe", kGame),
             ziptest::Stored("native/uninstaller.dll", ReadAll(TESSARK_DESKTOP_UNINSTALLER))});
        ZIPFILE archive(zip.data(), static_cast<DWORD>(zip.size()));
        SetupLib library("no-such-rapi.dll");
        SetupToolkit* kit = library.desktop();
        ASSERT_TRUE(kit->openjournal(kProduct));
        for (const char* value : {"Settings", "SavedGame", "SavedHistory"})
            kit->journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", value);
        ASSERT_TRUE(kit->copylanguage("Tessark CE"));
        game_ = kit->getfolder(kProgramsFolder) + "\\Tessark\\tessark.exe";
        ASSERT_TRUE(kit->installfile(game_, archive, "native\\tessark.exe", 5, 90));
        shortcut_ = kit->getfolder(kProgramsMenu) + "\\Games\\Tessark.lnk";
        ASSERT_TRUE(kit->linkfile(shortcut_, game_));
        ASSERT_TRUE(kit->finalize(archive, "native\\uninstaller.dll", 90, 100));
        maker_ = kit->getfolder(kMakerFolder);
        std::string version;
        ASSERT_TRUE(
            kit->callfunction(maker_ + "\\uninstaller.dll", "GetUninstallVersion", "", &version));
        EXPECT_EQ("1", version);
        // What the game itself writes when it runs.
        SetString(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", u"Settings", u"x");
    }

    std::string Host(const std::string& path) const { return platform::MapPath(path); }
    std::vector<std::string> MenuEntries() const {
        std::vector<std::string> found;
        std::error_code failed;
        for (const auto& entry : fs::directory_iterator(data_.dir() + "/applications", failed))
            found.push_back(entry.path().string());
        return found;
    }
    ToolRun Programs(const std::string& arguments) {
        return RunCommand(Tool("tessark-programs") + " --machine " + ShellQuote(machine_.dir()) +
                          " " + arguments);
    }
    // The installation is all there.
    void ExpectInstalled() {
        EXPECT_TRUE(fs::exists(Host(game_)));
        EXPECT_TRUE(fs::exists(Host(shortcut_)));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", u"Settings"));
        EXPECT_EQ(1u, MenuEntries().size());
    }

    TempFolder machine_{"desk"};
    TempFolder data_{"xdg"};
    std::string game_, shortcut_, maker_;
};

TEST_F(DesktopUninstallTest, RemoveProgramsTakesAwayEverythingTheInstallationMade) {
    Install();
    if (HasFatalFailure()) return;
    ExpectInstalled();
    ASSERT_EQ(1u, MenuEntries().size());
    ToolRun validated = RunCommand("desktop-file-validate " + ShellQuote(MenuEntries()[0]));
    EXPECT_EQ(0, validated.status) << validated.out << validated.err;
    // The menu entry starts the installed game on this machine.
    ToolRun started = RunCommand(ExecCommand(MenuEntries()[0]));
    EXPECT_EQ(0, started.status) << started.err;
    EXPECT_EQ("ran on " + fs::canonical(machine_.dir()).string() + "\n",
              ReadAll(machine_.dir() + "/ran"));

    ToolRun listed = Programs("list");
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_EQ("Tessark\tTessark\n", listed.out);

    ToolRun removed = Programs("remove tessark");
    ASSERT_EQ(0, removed.status) << removed.err;
    EXPECT_EQ("removed Tessark\n", removed.out);
    EXPECT_FALSE(fs::exists(Host(game_)));
    EXPECT_FALSE(fs::exists(Host(game_).substr(0, Host(game_).rfind('/'))));
    EXPECT_FALSE(fs::exists(Host(shortcut_)));
    // The menu's folders were made by the installation, so they went with it.
    EXPECT_FALSE(fs::exists(machine_.dir() + "/drive_c/Documents and Settings"));
    EXPECT_TRUE(MenuEntries().empty());
    EXPECT_FALSE(fs::exists(Host(maker_ + "\\Uninstall Log for Tessark.txt")));
    // The uninstaller is shared by the maker's products and stays.
    EXPECT_TRUE(fs::exists(Host(maker_ + "\\uninstaller.dll")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Orvane"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", u"Lang-Tessark CE"));
    // Keys others use stay.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion"));

    listed = Programs("list");
    EXPECT_EQ(0, listed.status);
    EXPECT_EQ("", listed.out);
    ToolRun again = Programs("remove Tessark");
    EXPECT_EQ(1, again.status);
    EXPECT_NE(std::string::npos, again.err.find("no installed program is named \"Tessark\""));
}

TEST_F(DesktopUninstallTest, BadRegistrationsAndFailedUninstallsChangeNothing) {
    Install();
    if (HasFatalFailure()) return;
    struct Case {
        std::u16string command;
        std::string message;
    };
    const Case cases[] = {
        {u"notepad.exe C:\\x.txt", "is not a rundll32 command"},
        {u"\"rundll32", "is not a rundll32 command"},
        {u"rundll32", "names no library"},
        {u"  ", "has no UninstallString to run"},
        {u"rundll32 \"C:\\Program Files\\Orvane Software\\uninstaller.dll\",Missing Tessark",
         "rundll32 failed for Tessark (exit status 1)"},
        // The uninstaller runs without a product, or for one without a log: nothing is removed.
        {u"rundll32 \"C:\\Program Files\\Orvane Software\\uninstaller.dll\",Uninstall",
         "the uninstall of Tessark did not complete"},
        {u"C:\\Windows\\RUNDLL32.EXE \"C:\\Program Files\\Orvane Software\\uninstaller.dll\","
         u"Uninstall Other",
         "the uninstall of Tessark did not complete"},
    };
    for (const Case& c : cases) {
        SetString(HKEY_LOCAL_MACHINE, kRegistration, u"UninstallString", c.command);
        ToolRun run = Programs("remove Tessark");
        EXPECT_EQ(1, run.status) << platform::Narrow(c.command);
        EXPECT_NE(std::string::npos, run.err.find(c.message))
            << platform::Narrow(c.command) << ": " << run.err;
        ExpectInstalled();
    }
    ToolRun unknown = Programs("remove Nothing");
    EXPECT_EQ(1, unknown.status);
    EXPECT_NE(std::string::npos, unknown.err.find("no installed program is named \"Nothing\""));
    EXPECT_EQ(2, Programs("remove").status);
    EXPECT_EQ(2, Programs("frobnicate").status);
}

TEST_F(DesktopUninstallTest, AHookThatRefusesKeepsTheProductInstalled) {
    Install();
    if (HasFatalFailure()) return;
    // A product's hook library, named in its log.
    std::string hook = "C:\\Program Files\\Tessark\\hook.dll";
    fs::copy_file(TESSARK_PROBE_REFUSE, Host(hook));
    std::string log = Host(maker_ + "\\Uninstall Log for Tessark.txt");
    std::ofstream(log, std::ios::app) << "apphook { \"" << hook << "\" }\n";
    ToolRun run = Programs("remove Tessark");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("did not complete")) << run.err;
    ExpectInstalled();
    EXPECT_TRUE(fs::exists(Host(hook))) << "the hook is back in its place";

    // With a hook that agrees the uninstall goes ahead and the hook goes too.
    fs::copy_file(TESSARK_PROBE_AGREE, Host(hook), fs::copy_options::overwrite_existing);
    run = Programs("remove Tessark");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_FALSE(fs::exists(Host(game_)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRegistration));
}

} // namespace
