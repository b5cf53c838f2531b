// The desktop toolkit: folders, archive entries, chunked writes and their progress, the
// uninstaller's version rule, the registration and the log of a first installation.
#include "setuplib_test_support.h"

namespace {

using namespace setuplib;
using sltest::SetupTest;

const char kGamePath[] = "C:\\Program Files\\Tessark\\tessark.exe";
const char kMaker[] = "C:\\Program Files\\Orvane Software";

struct Report {
    int stage;
    int percent;
    std::string name;
    DWORD value;
};

std::vector<Report>& Reports() {
    static std::vector<Report> reports;
    return reports;
}

void Collect(int stage, int percent, const char* name, DWORD value) {
    Reports().push_back({stage, percent, name, value});
}

class ToolkitTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        Reports().clear();
    }

    std::unique_ptr<ZIPFILE>
    Archive(const std::vector<std::pair<std::string, std::string>>& files) {
        bytes_ = sltest::MakeArchive(files);
        return std::make_unique<ZIPFILE>(bytes_.data(), static_cast<DWORD>(bytes_.size()));
    }

    ziptest::Bytes bytes_;
};

TEST_F(ToolkitTest, DesktopFoldersComeFromTheRegistry) {
    SetupToolkit& kit = Desktop();
    EXPECT_FALSE(kit.isdevice());
    EXPECT_EQ(kit.getfolder(kRootFolder), "C:\\");
    EXPECT_EQ(kit.getfolder(kProgramsFolder), "C:\\Program Files");
    EXPECT_EQ(kit.getfolder(kMakerFolder), kMaker);
    EXPECT_EQ(kit.getfolder(kProgramsMenu),
              "C:\\Documents and Settings\\All Users\\Start Menu\\Programs");
    EXPECT_EQ(kit.getfolder(kStartupFolder),
              "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(kit.getfolder(5), "");
    EXPECT_EQ(kit.getfolder(-1), "");
    EXPECT_EQ(kit.getprocessorname(), "native");
    EXPECT_EQ(kit.getzzversion(), 0);
}

TEST_F(ToolkitTest, RegistryStringsAreReadOnlyAsShortStrings) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.setstringvalue(HKEY_CURRENT_USER, "Software\\T", "s", "text"));
    ASSERT_TRUE(kit.setnumbervalue(HKEY_CURRENT_USER, "Software\\T", "n", 5));
    ASSERT_TRUE(
        kit.setstringvalue(HKEY_CURRENT_USER, "Software\\T", "long", std::string(600, 'x')));
    const BYTE odd[] = {'a', 0, 'b'};
    ASSERT_TRUE(kit.setbinaryvalue(HKEY_CURRENT_USER, "Software\\T", "b", odd, sizeof odd));
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\T", "s"), "text");
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\T", "n"), "");
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\T", "b"), "");
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\T", "long"), "")
        << "longer than the 1024-byte buffer";
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\T", "missing"), "");
    EXPECT_EQ(kit.readstringvalue(HKEY_CURRENT_USER, "Software\\None", "s"), "");
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_CURRENT_USER, u"Software\\T", u"n"), "#5");
    // Stored with its terminator, as wide text.
    std::set<std::string> dump = sltest::RegistrySnapshot(desktop_);
    EXPECT_TRUE(dump.count("HKCU\\Software\\T | s | 1 | 7400650078007400"
                           "0000"));
    EXPECT_TRUE(dump.count("HKCU\\Software\\T | b | 3 | 610062"));
}

TEST_F(ToolkitTest, EntryNamesMayUseEitherSeparatorAndAnyCase) {
    auto zip = Archive({{"arm/tessark.exe", "arm game"}});
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.installfile("C:\\one.exe", *zip, "\\arm\\tessark.exe", -1, -1));
    ASSERT_TRUE(kit.installfile("C:\\two.exe", *zip, "ARM/TESSARK.EXE", -1, -1));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\one.exe")), "arm game");
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\two.exe")), "arm game");
    SetLastError(0);
    EXPECT_FALSE(kit.installfile("C:\\three.exe", *zip, "\\mips\\tessark.exe", -1, -1));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_TRUE(TraceSeen("setuplib: installfile failed to find \\mips\\tessark.exe\n"));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\three.exe")));
}

TEST_F(ToolkitTest, ADamagedEntryFailsWithoutWritingAFile) {
    ziptest::Entry entry;
    entry.name = "native/tessark.exe";
    entry.method = 8;
    entry.data = {0xFF, 0xFF, 0xFF, 0xFF};
    entry.size = 100;
    bytes_ = ziptest::Archive({entry});
    ZIPFILE zip(bytes_.data(), static_cast<DWORD>(bytes_.size()), true);
    SetupToolkit& kit = Desktop();
    EXPECT_FALSE(kit.installfile("C:\\x.exe", zip, "native/tessark.exe", -1, -1));
    EXPECT_TRUE(TraceSeen("setuplib: installfile failed to extract native/tessark.exe\n"));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\x.exe")));
}

TEST_F(ToolkitTest, ProgressFollowsTheChunks) {
    SetupToolkit& kit = Desktop();
    kit.setprogresscallback(Collect, 1008);
    std::string data = Patterned(100000);
    ASSERT_TRUE(kit.writefile("C:\\big.bin", reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()), 5, 95));
    std::vector<int> percents;
    for (const Report& report : Reports()) {
        EXPECT_EQ(report.stage, kStageInstallFile);
        EXPECT_EQ(report.name, "C:\\big.bin");
        EXPECT_EQ(report.value, 1008u);
        percents.push_back(report.percent);
    }
    EXPECT_EQ(percents, (std::vector<int>{5, 34, 63, 93, 95}));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\big.bin")), data);
    EXPECT_EQ(kit.currentpercent(), 95);

    Reports().clear();
    ASSERT_TRUE(kit.writefile("C:\\quiet.bin", reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()), -1, 100));
    EXPECT_TRUE(Reports().empty()) << "from -1: one write, no progress";
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\quiet.bin")), data);
    // A percent of -1 keeps the current one.
    kit.reportprogress(kStageSaveUninstall, -1, "");
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].percent, 95);
}

TEST_F(ToolkitTest, AFileInUseIsNotReplaced) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.installtextfile("C:\\busy.txt", "old", -1, -1));
    HANDLE held = CreateFileA("C:\\busy.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(kit.installtextfile("C:\\busy.txt", "new", -1, -1));
    EXPECT_TRUE(TraceSeen("setuplib: writefile failed to create C:\\busy.txt\n"));
    CloseHandle(held);
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\busy.txt")), "old");
    // A read-only file is replaced: its attributes are cleared first.
    ASSERT_TRUE(SetFileAttributesA("C:\\busy.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(kit.installtextfile("C:\\busy.txt", "new", -1, -1));
    EXPECT_EQ(sltest::ReadHostFile(Host("C:\\busy.txt")), "new");
}

class UninstallerVersion : public ToolkitTest, public ::testing::WithParamInterface<const char*> {};

// The installed uninstaller is one of the test libraries, or bytes no loader takes.
TEST_P(UninstallerVersion, ANewerUninstallerIsKept) {
    const std::string installed = GetParam();
    const std::string uninstaller = Host(std::string(kMaker) + "\\uninstaller.dll");
    std::filesystem::create_directories(Host(kMaker));
    if (installed == "garbage") {
        sltest::WriteHostFile(uninstaller, "not a library");
    } else {
        std::filesystem::copy_file(sltest::TestLibrary(installed), uninstaller);
    }
    const std::string before = sltest::ReadHostFile(uninstaller);
    auto zip = Archive({{"native/uninstaller.dll", "shipped uninstaller"}});
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    kit.setprogresscallback(Collect, 0);
    ASSERT_TRUE(kit.finalize(*zip, "native\\uninstaller.dll", 95, 100));
    const bool kept = installed == "uninstaller_v2.dll";
    EXPECT_EQ(sltest::ReadHostFile(uninstaller), kept ? before : "shipped uninstaller");
    ASSERT_FALSE(Reports().empty());
    EXPECT_EQ(Reports().back().stage, kStageFinishing);
    EXPECT_EQ(Reports().back().percent, 100);
    // The uninstaller is shared: no entry removes it.
    for (const JournalEntry& entry : kit.journal())
        EXPECT_EQ(entry.first.find("uninstaller.dll"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Installed, UninstallerVersion,
                         ::testing::Values("uninstaller_v1.dll", "uninstaller_v2.dll", "garbage"),
                         [](const auto& info) {
                             return std::string(info.param).substr(0, 14) == "uninstaller_v2"
                                        ? std::string("Version2")
                                    : std::string(info.param) == "garbage"
                                        ? std::string("Garbage")
                                        : std::string("Version1");
                         });

TEST_F(ToolkitTest, FinalizeWithoutItsEntryFails) {
    auto zip = Archive({{"native/tessark.exe", "game"}});
    SetupToolkit& kit = Desktop();
    SetLastError(0);
    EXPECT_FALSE(kit.finalize(*zip, "arm\\uninstaller.dll", 95, 100));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_TRUE(TraceSeen("setuplib: could not find arm\\uninstaller.dll for finalize\n"));
    EXPECT_FALSE(
        sltest::RegKeyExists(desktop_, HKEY_LOCAL_MACHINE,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark"));
}

TEST_F(ToolkitTest, AFirstDesktopInstallationWritesThisLog) {
    auto zip = Archive(
        {{"native/tessark.exe", Patterned(70000)}, {"native/uninstaller.dll", "uninstaller"}});
    SetupToolkit& kit = Desktop();
    kit.setprogresscallback(Collect, 0);
    auto steps = sltest::InstallLikeSetup(kit, *zip);
    ASSERT_TRUE(steps["journal"]);
    ASSERT_TRUE(steps["file"]);
    EXPECT_EQ(steps["shortcut"], sltest::kDesktopLinks);
    ASSERT_TRUE(steps["finalize"]);
    const std::string menu = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
    const std::string expected =
        std::string(kLogHeader) +
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
        "deleteval { \"HKLM\\SOFTWARE\\Orvane\\NLS\" \"Opt-Tessark CE\" }\n"
        "deletedir { \"C:\\Program Files\" }\n"
        "deletedir { \"C:\\Program Files\\Tessark\" }\n"
        "deletefile { \"C:\\Program Files\\Tessark\\tessark.exe\" }\n"
        "deletedir { \"C:\\Documents and Settings\" }\n"
        "deletedir { \"C:\\Documents and Settings\\All Users\" }\n"
        "deletedir { \"C:\\Documents and Settings\\All Users\\Start Menu\" }\n"
        "deletedir { \"" +
        menu +
        "\" }\n"
        "deletedir { \"" +
        menu +
        "\\Games\" }\n"
        "deletefile { \"" +
        menu +
        "\\Games\\Tessark.lnk\" }\n"
        "deletedir { \"C:\\Program Files\\Orvane Software\" }\n";
    EXPECT_EQ(sltest::ReadHostFile(Host(kit.journalpath())), expected);
    EXPECT_EQ(kit.journalpath(), std::string(kMaker) + "\\Uninstall Log for Tessark.txt");
    EXPECT_EQ(sltest::ReadHostFile(Host(kGamePath)), Patterned(70000));
    EXPECT_EQ(sltest::ReadHostFile(Host(std::string(kMaker) + "\\uninstaller.dll")), "uninstaller");
    // The desktop's language values are only journalled, never written.
    EXPECT_FALSE(sltest::RegKeyExists(desktop_, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane"));

    const std::u16string key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessark";
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_LOCAL_MACHINE, key, u"DisplayName"), "Tessark");
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_LOCAL_MACHINE, key, u"UninstallString"),
              "rundll32 \"C:\\Program Files\\Orvane Software\\uninstaller.dll\",Uninstall Tessark");

    // The setup program's percents: stage 3 at each flush, 5 to 95 for the game, then the
    // uninstaller from 95 to 100 and the finishing stage at 100.
    std::vector<std::pair<int, int>> seen;
    for (const Report& report : Reports()) {
        if (seen.empty() || seen.back() != std::make_pair(report.stage, report.percent))
            seen.emplace_back(report.stage, report.percent);
    }
    EXPECT_EQ(seen.front(), std::make_pair(3, 0));
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(0, 5)), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(0, 95)), seen.end());
    EXPECT_EQ(seen.back(), std::make_pair(4, 100));

    // A second installation rewrites the same registration and adds no entry.
    const std::string first = sltest::ReadHostFile(Host(kit.journalpath()));
    library_.reset();
    steps = sltest::InstallLikeSetup(Desktop(), *zip);
    EXPECT_TRUE(steps["finalize"]);
    EXPECT_EQ(sltest::ReadHostFile(Host(Desktop().journalpath())), first);
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_LOCAL_MACHINE, key, u"DisplayName"), "Tessark");
}

TEST_F(ToolkitTest, WithoutCommonProgramsTheShortcutGoesToTheCurrentDrive) {
    HKEY folders = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_ALL_ACCESS, &folders),
        ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(folders, u"Common Programs"), ERROR_SUCCESS);
    RegCloseKey(folders);
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    EXPECT_EQ(kit.getfolder(kProgramsMenu), "");
    const std::string shortcut = kit.getfolder(kProgramsMenu) + "\\Games\\Tessark.lnk";
    EXPECT_EQ(shortcut, "\\Games\\Tessark.lnk");
    EXPECT_EQ(kit.linkfile(shortcut, kGamePath), sltest::kDesktopLinks);
    EXPECT_TRUE(std::filesystem::is_directory(desktop_ + "/drive_c/Games"));
    if (sltest::kDesktopLinks) {
        EXPECT_TRUE(std::filesystem::exists(desktop_ + "/drive_c/Games/Tessark.lnk"));
    }
    Journal expected = {{kDeleteDir, "\\Games", ""}, {kDeleteFile, "\\Games\\Tessark.lnk", ""}};
    EXPECT_EQ(kit.journal(), expected);
}

TEST_F(ToolkitTest, TheLibraryTracesItsLife) {
    {
        SetupLib library("no-such-rapi.dll");
        EXPECT_NE(library.desktop(), nullptr);
        EXPECT_EQ(library.device(), nullptr);
        EXPECT_FALSE(library.connectdevice(0));
        EXPECT_FALSE(library.connectdevice(100));
        EXPECT_EQ(library.device(), nullptr);
    }
    std::vector<std::string> expected = {
        "setuplib: constructing library\n", "setuplib: library constructed successfully\n",
        "setuplib: destroying library\n", "setuplib: library destroyed\n"};
    EXPECT_EQ(sltest::Traces(), expected);
}

TEST_F(ToolkitTest, CallingFunctionsOfDesktopLibraries) {
    SetupToolkit& kit = Desktop();
    std::string answer = "stale";
    EXPECT_TRUE(kit.callfunction(sltest::TestLibrary("uninstaller_v2.dll"), "GetUninstallVersion",
                                 "", &answer));
    EXPECT_EQ(answer, "2");
    EXPECT_FALSE(
        kit.callfunction(sltest::TestLibrary("uninstaller_v2.dll"), "NoSuchFunction", "", &answer));
    EXPECT_EQ(answer, "");
    EXPECT_FALSE(kit.callfunction("C:\\missing.dll", "GetUninstallVersion", "", &answer));
}

} // namespace
