// The device toolkit against an emulated device: its folders, the installation with the
// language copy and the shortcut, the registration with and without "TopDir", the uninstaller's
// version rule through the remote calls, and both targets installed side by side.
#include "setuplib_test_support.h"

namespace {

using namespace setuplib;
using sltest::SetupTest;

class DeviceToolkitTest : public SetupTest {
protected:
    std::unique_ptr<ZIPFILE> Archive() {
        bytes_ = sltest::MakeArchive({{"arm/tessark.exe", Patterned(70000, 3)},
                                      {"arm/uninstaller.dll", "arm uninstaller"},
                                      {"native/tessark.exe", Patterned(50000, 4)},
                                      {"native/uninstaller.dll", "native uninstaller"}});
        return std::make_unique<ZIPFILE>(bytes_.data(), static_cast<DWORD>(bytes_.size()));
    }

    std::string DeviceRegString(const std::u16string& key, const std::u16string& name) {
        return sltest::RegString(dir_, HKEY_LOCAL_MACHINE, key, name);
    }

    ziptest::Bytes bytes_;
};

class TopDir : public DeviceToolkitTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TopDir, TheDeviceInstallationAndItsRegistration) {
    const std::string top = GetParam();
    SetupToolkit* kit = Device();
    ASSERT_NE(kit, nullptr);
    ASSERT_TRUE(kit->isdevice());
    if (!top.empty()) {
        ASSERT_TRUE(kit->setstringvalue(HKEY_LOCAL_MACHINE, "PMail\\Attachments", "TopDir", top));
    }
    // The language choice on the desktop, as the setup program's own selection left it.
    SetupToolkit& desktop = *library_->desktop();
    ASSERT_TRUE(desktop.setstringvalue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\NLS",
                                       "Lang-Tessark CE", "0"));
    const std::string programs = top.empty() ? "\\Program Files" : "\\Storage Card";
    EXPECT_EQ(kit->getfolder(kRootFolder), "\\");
    EXPECT_EQ(kit->getfolder(kProgramsFolder), programs);
    EXPECT_EQ(kit->getfolder(kMakerFolder), programs + "\\Orvane Software");
    EXPECT_EQ(kit->getfolder(kProgramsMenu), "\\Windows\\Start Menu\\Programs");
    EXPECT_EQ(kit->getfolder(kStartupFolder), "\\Windows\\StartUp");
    EXPECT_EQ(kit->getprocessorname(), "arm");

    auto zip = Archive();
    static std::vector<std::pair<int, std::string>> reports;
    reports.clear();
    kit->setprogresscallback(
        [](int stage, int percent, const char* name, DWORD) {
            if (stage == kStageInstallFile) reports.emplace_back(percent, name);
        },
        1009);
    auto steps = sltest::InstallLikeSetup(*kit, *zip);
    for (const char* step : {"journal", "language", "file", "shortcut", "finalize"})
        EXPECT_TRUE(steps[step]) << step;
    // The game travels compressed; its progress still runs from 5 to 95 under its own name.
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), std::make_pair(5, programs + "\\Tessark\\tessark.exe"));
    EXPECT_NE(std::find(reports.begin(), reports.end(),
                        std::make_pair(95, programs + "\\Tessark\\tessark.exe")),
              reports.end());
    EXPECT_EQ(reports.back().second, programs + "\\Orvane Software\\uninstaller.dll");

    const std::string tree = programs.substr(1);
    EXPECT_EQ(Slurp(Tree(tree + "/Tessark/tessark.exe")), Patterned(70000, 3));
    EXPECT_EQ(Slurp(Tree(tree + "/Orvane Software/uninstaller.dll")), "arm uninstaller");
    const std::string game = programs + "\\Tessark\\tessark.exe";
    EXPECT_EQ(Slurp(Tree("Windows/Start Menu/Programs/Games/Tessark.lnk")),
              std::to_string(game.size() + 2) + "#\"" + game + "\"");

    const std::u16string key = u"Software\\Apps\\Tessark";
    EXPECT_EQ(DeviceRegString(key, u"InstlDir"), "Tessark");
    EXPECT_EQ(DeviceRegString(key, u"IsvFile"), programs + "\\Orvane Software\\uninstaller.dll");
    EXPECT_EQ(DeviceRegString(key, u"Instl"), "#1");
    EXPECT_EQ(DeviceRegString(key, u"InstlDirCnt"), "#0");
    // The language values copied from the desktop; an absent one arrives empty.
    EXPECT_EQ(DeviceRegString(u"SOFTWARE\\Orvane\\NLS", u"Lang-Tessark CE"), "0");
    EXPECT_EQ(DeviceRegString(u"SOFTWARE\\Orvane\\NLS", u"Opt-Tessark CE"), "");

    const std::string menu = "\\Windows\\Start Menu\\Programs";
    // Only folders the installation made are named: not the device's own programs folder and
    // start menu, nor the maker folder that "zzrapi.dll" already lives in.
    std::string log = std::string(kLogHeader) +
                      "deletekey { \"HKCU\\Software\" }\n"
                      "deletekey { \"HKCU\\Software\\Orvane\" }\n"
                      "deletekey { \"HKCU\\Software\\Orvane\\Tessark\" }\n"
                      "deleteval { \"HKCU\\Software\\Orvane\\Tessark\" \"Settings\" }\n"
                      "deleteval { \"HKCU\\Software\\Orvane\\Tessark\" \"SavedGame\" }\n"
                      "deleteval { \"HKCU\\Software\\Orvane\\Tessark\" \"SavedHistory\" }\n"
                      "deletekey { \"HKLM\\SOFTWARE\" }\n"
                      "deletekey { \"HKLM\\SOFTWARE\\Orvane\" }\n"
                      "deletekey { \"HKLM\\SOFTWARE\\Orvane\\NLS\" }\n"
                      "deleteval { \"HKLM\\SOFTWARE\\Orvane\\NLS\" \"Lang-Tessark CE\" }\n"
                      "deleteval { \"HKLM\\SOFTWARE\\Orvane\\NLS\" \"Opt-Tessark CE\" }\n";
    if (!top.empty()) log += "deletedir { \"" + programs + "\" }\n";
    log += "deletedir { \"" + programs + "\\Tessark\" }\n";
    log += "deletefile { \"" + game + "\" }\n";
    log += "deletedir { \"" + menu + "\\Games\" }\n";
    log += "deletefile { \"" + menu + "\\Games\\Tessark.lnk\" }\n";
    if (!top.empty()) log += "deletedir { \"" + programs + "\\Orvane Software\" }\n";
    EXPECT_EQ(Slurp(Tree(tree + "/Orvane Software/Uninstall Log for Tessark.txt")), log);
}

INSTANTIATE_TEST_SUITE_P(Device, TopDir, ::testing::Values("", "Storage Card"),
                         [](const auto& info) {
                             return std::string(*info.param ? "WithTopDir" : "WithoutTopDir");
                         });

TEST_F(DeviceToolkitTest, TwoTargetsGiveTwoLogsTwoUninstallersAndTwoRegistrations) {
    SetupToolkit* device = Device();
    ASSERT_NE(device, nullptr);
    auto zip = Archive();
    auto desktopSteps = sltest::InstallLikeSetup(*library_->desktop(), *zip);
    EXPECT_TRUE(desktopSteps["finalize"]);
    auto deviceSteps = sltest::InstallLikeSetup(*device, *zip);
    EXPECT_TRUE(deviceSteps["finalize"]);

    EXPECT_TRUE(std::filesystem::exists(
        Host("C:\\Program Files\\Orvane Software\\Uninstall Log for Tessark.txt")));
    EXPECT_TRUE(std::filesystem::exists(
        Tree("Program Files/Orvane Software/Uninstall Log for Tessark.txt")));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\Program Files\\Orvane Software\\uninstaller.dll")),
              "native uninstaller");
    EXPECT_EQ(Slurp(Tree("Program Files/Orvane Software/uninstaller.dll")), "arm uninstaller");
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\Program Files\\Tessark\\tessark.exe")),
              Patterned(50000, 4));
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_LOCAL_MACHINE,
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark",
                                u"DisplayName"),
              "Tessark");
    EXPECT_EQ(DeviceRegString(u"Software\\Apps\\Tessark", u"InstlDir"), "Tessark");
    // Each registration only on its own system.
    EXPECT_FALSE(sltest::RegKeyExists(desktop_, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark"));
    EXPECT_FALSE(
        sltest::RegKeyExists(dir_, HKEY_LOCAL_MACHINE,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark"));
}

TEST_F(DeviceToolkitTest, TheDevicesUninstallerIsAskedForItsVersion) {
    ASSERT_NE(Device("--no-zzrapi"), nullptr);
    auto zip = Archive();
    // Each version in a programs folder of its own: the device keeps a library loaded once.
    for (const char* installed : {"uninstaller_v2.dll", "uninstaller_v1.dll"}) {
        const std::string top = std::string("Top ") + installed[13];
        library_->device()->setstringvalue(HKEY_LOCAL_MACHINE, "PMail\\Attachments", "TopDir", top);
        library_.reset();
        library_ = std::make_unique<SetupLib>();
        SetupToolkit* kit = library_->device();
        ASSERT_NE(kit, nullptr);
        const std::string uninstaller = Tree(top + "/Orvane Software/uninstaller.dll");
        std::filesystem::create_directories(Tree(top + "/Orvane Software"));
        std::filesystem::copy_file(sltest::TestLibrary(installed), uninstaller);
        const std::string before = Slurp(uninstaller);
        ASSERT_TRUE(kit->finalize(*zip, "\\arm\\uninstaller.dll", 95, 100)) << installed;
        EXPECT_EQ(Slurp(uninstaller), std::string(installed) == "uninstaller_v2.dll"
                                          ? before
                                          : std::string("arm uninstaller"))
            << installed;
    }
}

TEST_F(DeviceToolkitTest, ALostDeviceFailsTheNextStep) {
    SetupToolkit* kit = Device();
    ASSERT_NE(kit, nullptr);
    auto zip = Archive();
    ASSERT_TRUE(kit->openjournal("Tessark"));
    Kill();
    EXPECT_FALSE(
        kit->installfile("\\Program Files\\Tessark\\tessark.exe", *zip, "arm/tessark.exe", 5, 95));
    EXPECT_FALSE(kit->linkfile("\\x.lnk", "\\y.exe"));
    EXPECT_FALSE(kit->setnumbervalue(HKEY_LOCAL_MACHINE, "Software\\X", "n", 1));
    EXPECT_EQ(kit->readstringvalue(HKEY_LOCAL_MACHINE, "PMail\\Attachments", "TopDir"), "");
}

} // namespace
