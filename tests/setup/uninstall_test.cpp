// The uninstall routine: replaying a log removes exactly what the installation made and nothing
// that others still use, a hook may refuse, and a file in use goes at the next start.
#include "setuplib_test_support.h"

namespace {

using namespace setuplib;
using sltest::SetupTest;

const char kLogPath[] = "C:\\Program Files\\Orvane Software\\Uninstall Log for Tessark.txt";

class UninstallTest : public SetupTest {
protected:
    std::unique_ptr<ZIPFILE> Archive() {
        bytes_ = sltest::MakeArchive({{"native/tessark.exe", Patterned(40000)},
                                      {"native/uninstaller.dll", "uninstaller"},
                                      {"arm/tessark.exe", Patterned(9000)},
                                      {"arm/uninstaller.dll", "uninstaller"}});
        return std::make_unique<ZIPFILE>(bytes_.data(), static_cast<DWORD>(bytes_.size()));
    }

    ziptest::Bytes bytes_;
};

TEST_F(UninstallTest, ReplayRemovesExactlyWhatWasInstalled) {
    // Others' keys and values beside the product's, and a folder of another program.
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.setstringvalue(HKEY_CURRENT_USER, "Software\\Other", "keep", "yes"));
    ASSERT_TRUE(
        kit.setstringvalue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\NLS", "Lang-Other", "1033"));
    ASSERT_TRUE(kit.createkey(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    sltest::WriteHostFile(Host("C:\\Program Files\\Other\\other.exe"), "other");
    auto treeBefore = sltest::TreeSnapshot(desktop_);
    auto registryBefore = sltest::RegistrySnapshot(desktop_);

    auto zip = Archive();
    auto steps = sltest::InstallLikeSetup(kit, *zip);
    ASSERT_TRUE(steps["finalize"]);
    // The game then makes its own values, which the journal named in advance.
    ASSERT_TRUE(
        kit.setstringvalue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\NLS", "Lang-Tessark CE", "0"));
    HKEY game = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &game, nullptr),
              ERROR_SUCCESS);
    const BYTE saved[] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(game, u"SavedGame", 0, REG_BINARY, saved, sizeof saved),
              ERROR_SUCCESS);
    RegCloseKey(game);
    library_.reset();

    ASSERT_TRUE(Uninstall("Tessark", nullptr));
    auto treeAfter = sltest::TreeSnapshot(desktop_);
    auto uninstallerLeft = treeAfter.count("drive_c/Program Files/Orvane Software/uninstaller.dll");
    EXPECT_EQ(uninstallerLeft, 1u) << "the shared uninstaller stays";
    sltest::ForgetShared(treeAfter, "drive_c");
    sltest::ForgetShared(treeBefore, "drive_c");
    EXPECT_EQ(treeAfter, treeBefore);
    EXPECT_EQ(sltest::RegistrySnapshot(desktop_), registryBefore);
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_CURRENT_USER, u"Software\\Other", u"keep"), "yes");
    EXPECT_FALSE(sltest::RegKeyExists(desktop_, HKEY_CURRENT_USER, u"Software\\Orvane"));

    // Once more: there is no log any longer.
    EXPECT_FALSE(Uninstall("Tessark", nullptr));
    EXPECT_TRUE(TraceSeen("setuplib: uninstall could not read " + std::string(kLogPath) + "\n"));
}

TEST_F(UninstallTest, TheDeviceIsRestoredToo) {
    SetupToolkit* device = Device();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->createkey(HKEY_LOCAL_MACHINE, "Software\\Apps"));
    ASSERT_TRUE(device->setnumbervalue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Shared", "n", 1));
    auto treeBefore = sltest::TreeSnapshot(dir_);
    auto registryBefore = sltest::RegistrySnapshot(dir_);
    auto zip = Archive();
    ASSERT_TRUE(sltest::InstallLikeSetup(*device, *zip)["finalize"]);
    EXPECT_TRUE(sltest::RegKeyExists(dir_, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark"));

    ASSERT_TRUE(Uninstall("Tessark", library_->connection()));
    auto treeAfter = sltest::TreeSnapshot(dir_);
    sltest::ForgetShared(treeAfter, "drive_c");
    sltest::ForgetShared(treeBefore, "drive_c");
    EXPECT_EQ(treeAfter, treeBefore);
    EXPECT_EQ(sltest::RegistrySnapshot(dir_), registryBefore);
    EXPECT_TRUE(std::filesystem::is_directory(Tree("Windows/Start Menu/Programs")))
        << "a folder that holds others' files stays";
}

// A log naming a hook library, with an installed file behind it.
class HookTest : public UninstallTest {
protected:
    void Prepare(const std::string& hook, const std::string& hookPath) {
        SetupToolkit& kit = Desktop();
        ASSERT_TRUE(kit.openjournal("Tessark"));
        ASSERT_TRUE(kit.installtextfile("C:\\Program Files\\Tessark\\data.txt", "data", -1, -1));
        std::filesystem::copy_file(sltest::TestLibrary(hook), Host(hookPath));
        sltest::WriteHostFile(Host(kLogPath), sltest::ReadHostFile(Host(kLogPath)) +
                                                  "apphook { \"C:\\missing.dll\" }\n"
                                                  "apphook { \"" +
                                                  hookPath + "\" }\n");
        library_.reset();
    }

    std::vector<std::string> SafeFiles(const std::string& driveDir) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(driveDir)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("This File Is Safe To Delete (#", 0) == 0) names.push_back(name);
        }
        return names;
    }
};

TEST_F(HookTest, ARefusingHookLeavesEverythingInPlace) {
    Prepare("hook_no.dll", "C:\\Program Files\\Tessark\\hook.dll");
    if (HasFatalFailure()) return;
    auto tree = sltest::TreeSnapshot(desktop_);
    auto registry = sltest::RegistrySnapshot(desktop_);
    EXPECT_FALSE(Uninstall("Tessark", nullptr));
    EXPECT_TRUE(TraceSeen("setuplib: uninstall of Tessark refused by its hook\n"));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\hook-calls.txt")), "BTessark\n");
    std::filesystem::remove(Host("C:\\hook-calls.txt"));
    EXPECT_EQ(sltest::TreeSnapshot(desktop_), tree);
    EXPECT_EQ(sltest::RegistrySnapshot(desktop_), registry);
}

TEST_F(HookTest, AnAgreeingHookIsToldBothEndsAndGoes) {
    Prepare("hook_yes.dll", "C:\\Program Files\\Tessark\\hook.dll");
    if (HasFatalFailure()) return;
    EXPECT_TRUE(Uninstall("Tessark", nullptr));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\hook-calls.txt")), "BTessark\nETessark\n");
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\Program Files\\Tessark")));
    EXPECT_TRUE(SafeFiles(desktop_ + "/drive_c").empty());
    EXPECT_FALSE(std::filesystem::exists(Host(kLogPath)));
}

TEST_F(HookTest, OnTheDeviceTheHookIsChainedThroughTheUninstaller) {
    SetupToolkit* device = Device("--no-zzrapi");
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->openjournal("Tessark"));
    ASSERT_TRUE(device->installtextfile("\\Program Files\\Tessark\\data.txt", "data", -1, -1));
    const std::string maker = "Program Files/Orvane Software/";
    std::filesystem::copy_file(sltest::TestLibrary("uninstaller_v1.dll"),
                               Tree(maker + "uninstaller.dll"));
    const std::string log = Tree(maker + "Uninstall Log for Tessark.txt");
    for (const char* hook : {"hook_no.dll", "hook_yes.dll"}) {
        std::filesystem::copy_file(sltest::TestLibrary(hook), Tree(std::string("Temp/") + hook));
        sltest::WriteHostFile(log, Slurp(log) + "apphook { \"\\Temp\\" + hook + "\" }\n");
        const bool agrees = std::string(hook) == "hook_yes.dll";
        EXPECT_EQ(Uninstall("Tessark", library_->connection()), agrees) << hook;
        EXPECT_EQ(std::filesystem::exists(Tree("Program Files/Tessark/data.txt")), !agrees);
        EXPECT_EQ(std::filesystem::exists(Tree(std::string("Temp/") + hook)), !agrees);
        EXPECT_TRUE(TemporaryFiles().empty()) << hook;
        // The refusing hook is back in place; without it the next entry's hook is taken.
        std::filesystem::remove(Tree("Temp/hook_no.dll"));
    }
    EXPECT_EQ(Slurp(Tree("hook-calls.txt")), "BTessark\nBTessark\nETessark\n");
}

TEST_F(HookTest, AFileInUseGoesAtTheNextStart) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    const std::string game = "C:\\Program Files\\Tessark\\tessark.exe";
    ASSERT_TRUE(kit.installtextfile(game, "running game", -1, -1));
    library_.reset();
    // The game is running: its file is held, so it cannot be deleted.
    HANDLE held = CreateFileA(game.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_FALSE(DeleteFileA(game.c_str()));
    EXPECT_TRUE(Uninstall("Tessark", nullptr));
    EXPECT_FALSE(std::filesystem::exists(Host(game)));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\Program Files\\Tessark")));
    std::vector<std::string> moved = SafeFiles(desktop_ + "/drive_c");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].substr(moved[0].size() - 5), ").exe");
    EXPECT_EQ(sltest::ReadHostFile(desktop_ + "/drive_c/" + moved[0]), "running game");
    CloseHandle(held);
    // The next program that starts on this machine removes it.
    platform::OnProgramStart();
    EXPECT_TRUE(SafeFiles(desktop_ + "/drive_c").empty());
}

TEST_F(UninstallTest, DamagedLogsRemoveOnlyWhatTheyNameWhole) {
    sltest::WriteHostFile(Host("C:\\keep\\a.txt"), "a");
    sltest::WriteHostFile(Host("C:\\gone.txt"), "b");
    // The second entry is cut off: it is still read, the rest is not.
    sltest::WriteHostFile(Host(kLogPath), std::string(kLogHeader) +
                                              "deletefile { \"C:\\gone.txt\" }\n"
                                              "deletefile { \"C:\\keep\\a.txt\"\n"
                                              "deletedir { \"C:\\keep\" }\n");
    EXPECT_TRUE(Uninstall("Tessark", nullptr));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\gone.txt")));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\keep\\a.txt")));
    EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\keep")));
    // Keys without a known root prefix and values of missing keys are left alone.
    sltest::WriteHostFile(Host(kLogPath), "deletekey { \"Software\" }\n"
                                          "deleteval { \"HKCU\\None\" \"x\" }\n"
                                          "deletekey { \"HKLM\\\" }\n");
    auto registry = sltest::RegistrySnapshot(desktop_);
    EXPECT_TRUE(Uninstall("Tessark", nullptr));
    EXPECT_EQ(sltest::RegistrySnapshot(desktop_), registry);
}

} // namespace
