// The uninstall log: its text, the tolerant reading of damaged logs, the folder and key lists,
// the safe-to-delete names, and the journalling rule on a desktop toolkit.
#include "setuplib_test_support.h"

namespace {

using namespace setuplib;
using sltest::SetupTest;

std::string Log(const std::string& body) {
    return std::string(kLogHeader) + body;
}

TEST(LogText, EntriesAreWrittenOneALineAfterTheHeader) {
    Journal entries = {{kDeleteKey, "HKCU\\Software", ""},
                       {kDeleteVal, "HKCU\\Software\\Orvane\\Tessark", "SavedGame"},
                       {kAppHook, "\\hook.dll", "ignored"}};
    EXPECT_EQ(RenderLog(entries), Log("deletekey { \"HKCU\\Software\" }\n"
                                      "deleteval { \"HKCU\\Software\\Orvane\\Tessark\" "
                                      "\"SavedGame\" }\n"
                                      "apphook { \"\\hook.dll\" }\n"));
    // Ten lines, the ninth 79 hash signs, the tenth empty.
    std::string header = kLogHeader;
    EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 10);
    EXPECT_NE(header.find("\n" + std::string(79, '#') + "\n\n"), std::string::npos);
}

TEST(LogText, ReadingGivesBackWhatWasWritten) {
    Journal entries = {{kDeleteDir, "C:\\Program Files", ""},
                       {kDeleteFile, "C:\\Program Files\\Tessark\\tessark.exe", ""},
                       {kDeleteKey, "HKLM\\SOFTWARE", ""},
                       {kDeleteVal, "HKLM\\SOFTWARE\\Orvane\\NLS", "Lang-Tessark CE"},
                       {kAppHook, "C:\\hook.dll", ""}};
    bool complete = false;
    EXPECT_EQ(ParseLog(RenderLog(entries), &complete), entries);
    EXPECT_TRUE(complete);
}

TEST(LogText, AThirdEntryWithoutItsBraceIsTheLastOneRead) {
    std::string text = Log("deletedir { \"C:\\a\" }\n"
                           "deletedir { \"C:\\a\\b\" }\n"
                           "deletefile { \"C:\\a\\b\\c.txt\"\n"
                           "deletefile { \"C:\\a\\b\\d.txt\" }\n");
    bool complete = true;
    Journal entries = ParseLog(text, &complete);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2], (JournalEntry{kDeleteFile, "C:\\a\\b\\c.txt", ""}));
    EXPECT_FALSE(complete);
}

TEST(LogText, AnUnterminatedQuoteEndsAtTheLineEnd) {
    Journal entries = ParseLog("deletefile { \"C:\\x y.txt\n}\ndeletedir { \"C:\\z\" }\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "C:\\x y.txt");
    EXPECT_EQ(entries[1].first, "C:\\z");
    // At the end of the text as well, and without the CR of a CR LF line.
    entries = ParseLog("deleteval { \"HKCU\\K\" \"Name\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, "Name");
}

TEST(LogText, DamageEndsTheReadingQuietly) {
    const std::string good = "deletedir { \"C:\\a\" }\n";
    // An unknown or differently spelled command, a missing "{", arguments cut off by the end.
    for (const char* bad : {"DeleteDir { \"C:\\b\" }", "removefile { \"C:\\b\" }",
                            "deletedir \"C:\\b\" }", "{ } }", "\"\" { }"}) {
        Journal entries = ParseLog(good + std::string(bad) + "\n" + good);
        ASSERT_EQ(entries.size(), 1u) << bad;
        EXPECT_EQ(entries[0].first, "C:\\a") << bad;
    }
    EXPECT_TRUE(ParseLog("").empty());
    EXPECT_TRUE(ParseLog(std::string("\0\xff{", 3)).empty());
}

TEST(LogText, CommentsAndWhiteSpaceAreSkipped) {
    Journal entries = ParseLog("# a comment with deletedir { \"C:\\no\" }\n"
                               "\t deletekey\t{\r\n\"HKCU\\Software\"\n}#tail\n"
                               "deletedir{ \"C:\\yes\" }");
    // "{" must stand apart: "deletedir{" is a command of its own, unknown.
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (JournalEntry{kDeleteKey, "HKCU\\Software", ""}));
}

TEST(Lists, FoldersRunFromTheOutermost) {
    EXPECT_EQ(PathChain("C:\\Program Files\\Tessark\\tessark.exe", false),
              (std::vector<std::string>{"C:\\Program Files", "C:\\Program Files\\Tessark"}));
    EXPECT_EQ(PathChain("\\Program Files\\Tessark\\tessark.exe", false),
              (std::vector<std::string>{"\\Program Files", "\\Program Files\\Tessark"}));
    EXPECT_EQ(
        PathChain("C:\\Program Files\\Orvane Software", true),
        (std::vector<std::string>{"C:\\Program Files", "C:\\Program Files\\Orvane Software"}));
    EXPECT_EQ(
        PathChain("Software\\Orvane\\Tessark", true),
        (std::vector<std::string>{"Software", "Software\\Orvane", "Software\\Orvane\\Tessark"}));
    EXPECT_EQ(PathChain("\\Games\\Tessark.lnk", false), (std::vector<std::string>{"\\Games"}));
    EXPECT_TRUE(PathChain("tessark.exe", false).empty());
    EXPECT_EQ(PathChain("D:\\x", true), (std::vector<std::string>{"D:\\x"}));
}

TEST(Lists, RootsArePrefixedAndSplitBack) {
    EXPECT_EQ(RootPrefix(HKEY_LOCAL_MACHINE), "HKLM\\");
    EXPECT_EQ(RootPrefix(HKEY_CURRENT_USER), "HKCU\\");
    EXPECT_EQ(RootPrefix(HKEY_CLASSES_ROOT), "HKCR\\");
    EXPECT_EQ(RootPrefix(reinterpret_cast<HKEY>(0x80000003)), "");
    std::string key;
    EXPECT_EQ(SplitRoot("HKCU\\Software\\Orvane", &key), HKEY_CURRENT_USER);
    EXPECT_EQ(key, "Software\\Orvane");
    EXPECT_EQ(SplitRoot("Software\\Orvane", &key), nullptr);
    EXPECT_EQ(SplitRoot("HKXX\\Software", &key), nullptr);
}

TEST(SafeNames, TheNameSaysTheFileMayBeRemoved) {
    EXPECT_EQ(SafeToDeleteName("D:\\Games\\tessark.exe", false, 1234),
              "D:\\This File Is Safe To Delete (#1234).exe");
    EXPECT_EQ(SafeToDeleteName("\\Games\\a.b\\noext", false, 7),
              "C:\\This File Is Safe To Delete (#7)");
    EXPECT_EQ(SafeToDeleteName("\\Windows\\x.dll", true, 99),
              "\\This File Is Safe To Delete (#99).dll");
}

// ---- The journalling rule on a toolkit
// -----------------------------------------------------------

class JournalTest : public SetupTest {
public:
    std::string LogText() { return sltest::ReadHostFile(Host(Desktop().journalpath())); }
};

TEST_F(JournalTest, RecordingOnlyOperationsWaitForTheFlush) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    EXPECT_EQ(kit.journalpath(),
              "C:\\Program Files\\Orvane Software\\Uninstall Log for Tessark.txt");
    kit.journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", "Settings");
    EXPECT_TRUE(kit.journaldirty());
    EXPECT_EQ(kit.journal().size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(Host(kit.journalpath())));
    // Nothing was written to the registry.
    EXPECT_FALSE(sltest::RegKeyExists(desktop_, HKEY_CURRENT_USER, u"Software"));
    kit.flushjournal();
    EXPECT_FALSE(kit.journaldirty());
    EXPECT_EQ(LogText(), RenderLog(kit.journal()));
}

TEST_F(JournalTest, EachThingIsInTheLogBeforeItIsMade) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    const std::string file = "C:\\Games\\Tessark\\readme.txt";
    std::vector<std::string> seen;
    static JournalTest* self;
    static std::vector<std::string>* record;
    static std::string target;
    self = this;
    record = &seen;
    target = Host(file);
    // At every change the log must already name the file once its folder exists.
    SetChangeHook([] {
        if (std::filesystem::exists(target)) record->push_back(self->LogText());
    });
    ASSERT_TRUE(kit.installtextfile(file, "hello", -1, -1));
    SetChangeHook(nullptr);
    ASSERT_FALSE(seen.empty());
    for (const std::string& log : seen)
        EXPECT_NE(log.find("deletefile { \"C:\\Games\\Tessark\\readme.txt\" }"), std::string::npos);
    EXPECT_EQ(sltest::ReadHostFile(Host(file)), "hello");
}

TEST_F(JournalTest, InstallingTwiceAddsNothing) {
    auto archive = sltest::MakeArchive({{"native/tessark.exe", "game"}});
    for (int run = 0; run < 2; ++run) {
        library_.reset();
        SetupToolkit& kit = Desktop();
        ASSERT_TRUE(kit.openjournal("Tessark"));
        kit.journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", "Settings");
        kit.copylanguage("Tessark CE");
        kit.flushjournal();
        ZIPFILE zip(archive.data(), static_cast<DWORD>(archive.size()));
        ASSERT_TRUE(kit.installfile("C:\\Program Files\\Tessark\\tessark.exe", zip,
                                    "native\\tessark.exe", 5, 95));
        ASSERT_TRUE(kit.setnumbervalue(HKEY_CURRENT_USER, "Software\\Orvane\\Test", "N", 7));
        kit.closejournal();
    }
    const std::string text = LogText();
    Journal entries = ParseLog(text);
    EXPECT_EQ(text, RenderLog(entries));
    std::set<std::string> unique;
    for (const JournalEntry& entry : entries)
        EXPECT_TRUE(unique.insert(RenderEntry(entry)).second) << RenderEntry(entry);
    EXPECT_EQ(entries.size(), 14u);
}

TEST_F(JournalTest, AnEarlierLogIsKeptAndExtended) {
    const std::string path = "C:\\Program Files\\Orvane Software\\Uninstall Log for Tessark.txt";
    // Another shape: comments, spacing and an entry of an older installation.
    sltest::WriteHostFile(Host(path), "# mine\ndeletefile   {  \"C:\\old.txt\"  }\n");
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    ASSERT_EQ(kit.journal().size(), 1u);
    ASSERT_TRUE(kit.installtextfile("C:\\new.txt", "x", -1, -1));
    EXPECT_EQ(LogText(), Log("deletefile { \"C:\\old.txt\" }\n"
                             "deletefile { \"C:\\new.txt\" }\n"));
    EXPECT_FALSE(std::filesystem::exists(Host(path + ".new")));
}

TEST_F(JournalTest, AReadOnlyLogIsStillKeptCurrent) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    ASSERT_TRUE(kit.installtextfile("C:\\a.txt", "a", -1, -1));
    ASSERT_TRUE(SetFileAttributesA(kit.journalpath().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(kit.installtextfile("C:\\b.txt", "b", -1, -1));
    EXPECT_EQ(LogText(), Log("deletefile { \"C:\\a.txt\" }\n"
                             "deletefile { \"C:\\b.txt\" }\n"));
}

TEST_F(JournalTest, WhatALogCannotHoldIsNotMade) {
    SetupToolkit& kit = Desktop();
    ASSERT_TRUE(kit.openjournal("Tessark"));
    ASSERT_TRUE(kit.installtextfile("C:\\first.txt", "1", -1, -1));
    // A quote or line break would cut off every later entry of the log.
    EXPECT_FALSE(kit.setstringvalue(HKEY_CURRENT_USER, "Software\\T", "say \"hi\"", "x"));
    EXPECT_FALSE(kit.installtextfile("C:\\two\nlines.txt", "2", -1, -1));
    EXPECT_FALSE(kit.createkey(HKEY_CURRENT_USER, "Software\\\"quoted\""));
    EXPECT_TRUE(TraceSeen("setuplib: cannot journal HKCU\\Software\\T say \"hi\"\n"));
    EXPECT_FALSE(std::filesystem::exists(Host("C:\\two\nlines.txt")));
    EXPECT_EQ(sltest::RegString(desktop_, HKEY_CURRENT_USER, u"Software\\T", u"say \"hi\""),
              "<none>");
    ASSERT_TRUE(kit.installtextfile("C:\\last.txt", "3", -1, -1));
    bool complete = false;
    Journal entries = ParseLog(LogText(), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(entries, kit.journal());
    EXPECT_EQ(entries.back().first, "C:\\last.txt");
}

TEST_F(JournalTest, ProductNamesThatReachBeyondTheProductAreRefused) {
    SetupToolkit& kit = Desktop();
    for (const char* bad : {"", "..", "a\\b", "a/b", "x\"y", "line\nbreak"}) {
        EXPECT_FALSE(kit.openjournal(bad)) << bad;
        EXPECT_FALSE(Uninstall(bad, nullptr)) << bad;
    }
    EXPECT_FALSE(kit.journalactive());
    EXPECT_TRUE(kit.openjournal("Tessark 2"));
}

TEST_F(JournalTest, WithoutAnOpenJournalNothingIsRecorded) {
    SetupToolkit& kit = Desktop();
    EXPECT_FALSE(kit.journalactive());
    ASSERT_TRUE(kit.createdirtree("C:\\a\\b", true, true));
    kit.journalvalue(HKEY_CURRENT_USER, "Software\\X", "Y");
    EXPECT_TRUE(kit.journal().empty());
    EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\a\\b")));
    ASSERT_TRUE(kit.openjournal("Tessark"));
    kit.closejournal();
    EXPECT_FALSE(kit.journalactive());
    ASSERT_TRUE(kit.createdirtree("C:\\c", true, true));
    EXPECT_TRUE(kit.journal().empty());
}

TEST_F(JournalTest, AMakerFolderThatCannotBeMadeFailsTheJournal) {
    // A file where the programs folder should be.
    sltest::WriteHostFile(Host("C:\\Program Files"), "in the way");
    SetupToolkit& kit = Desktop();
    EXPECT_FALSE(kit.openjournal("Tessark"));
    EXPECT_TRUE(
        TraceSeen("setuplib: openjournal failed to create C:\\Program Files\\Orvane Software\n"));
    EXPECT_FALSE(kit.journalactive());
}

} // namespace
