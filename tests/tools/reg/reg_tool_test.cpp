#include "platform/reg.h"

#include "tests/platform/temp_machine.h"
#include "tests/tools/tool_run.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

// Runs tessark-reg with `arguments` (already quoted for the shell).
ToolRun Tool(const std::string& arguments) {
    return RunCommand(std::string("'") + TESSARK_REG_TOOL + "' " + arguments);
}

std::size_t Lines(const std::string& text) {
    std::size_t count = 0;
    for (char c : text)
        count += c == '\n';
    return count;
}

} // namespace

TEST(RegTool, DumpShowsWhatTheProgramsWrote) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE settings[8] = {0x01, 0x00, 0x01, 0x00, 0xff, 0x10, 0x00, 0x7f};
    ASSERT_EQ(RegSetValueExW(key, u"Settings", 0, REG_BINARY, settings, 8), ERROR_SUCCESS);
    const DWORD count = 1124;
    ASSERT_EQ(RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::u16string lang = u"EO";
    ASSERT_EQ(RegSetValueExW(key, u"Lang-Tessark", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(lang.c_str()), 6),
              ERROR_SUCCESS);
    const BYTE unterminated[2] = {'E', 0};
    ASSERT_EQ(RegSetValueExW(key, u"Raw", 0, REG_SZ, unterminated, 2), ERROR_SUCCESS);
    RegCloseKey(key);

    ToolRun dump = Tool("--machine '" + machine.dir() + "' dump");
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("[HKCU\\Software\\Orvane\\Tessark]\n"
                            "\"Settings\" = REG_BINARY hex:01 00 01 00 ff 10 00 7f\n"
                            "\"Count\" = REG_DWORD 0x00000464 (1124)\n"),
              std::string::npos)
        << dump.out;
    EXPECT_NE(dump.out.find("[HKLM\\Software\\Orvane\\NLS]\n"
                            "\"Lang-Tessark\" = REG_SZ \"EO\"\n"
                            "\"Raw\" = REG_SZ (malformed) hex:45 00\n"),
              std::string::npos)
        << "the seeded spelling of Software is kept; a string without terminator shows as hex\n"
        << dump.out;
    EXPECT_NE(dump.out.find("\"ProgramFilesDir\" = REG_SZ \"C:\\Program Files\""),
              std::string::npos);

    ToolRun part = Tool("--machine '" + machine.dir() + "' dump 'hkcu\\software'");
    ASSERT_EQ(part.status, 0);
    EXPECT_EQ(part.out.find("HKLM"), std::string::npos) << "only the tree asked for";
    EXPECT_NE(part.out.find("Settings"), std::string::npos);
}

TEST(RegTool, GetSetAndDeleteWorkOnTheMachineGiven) {
    TempMachine machine;
    std::string m = "--machine '" + machine.dir() + "' ";
    EXPECT_EQ(Tool(m + "set 'HKCU\\Software\\Orvane\\Tessark' SavedHistory REG_SZ 'a1 ĉ'").status,
              0);
    EXPECT_EQ(Tool(m + "set 'HKCU\\Software\\Orvane\\Tessark' Settings REG_BINARY 0100ff").status,
              0);
    EXPECT_EQ(Tool(m + "set 'HKCU\\Software\\Orvane\\Tessark' N REG_DWORD 0x10").status, 0);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, 0, &key),
              ERROR_SUCCESS);
    BYTE data[64];
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"SavedHistory", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(size, 10u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data), 5),
              std::u16string(u"a1 ĉ\0", 5));
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"Settings", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(data[2], 0xff);
    RegCloseKey(key);

    ToolRun get = Tool(m + "get 'hkcu\\SOFTWARE\\orvane\\tessark' savedhistory");
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "a1 ĉ\n");
    EXPECT_EQ(Tool(m + "get 'HKCU\\Software\\Orvane\\Tessark' N").out, "16\n");
    EXPECT_EQ(Tool(m + "get 'HKCU\\Software\\Orvane\\Tessark' Settings").out, "01 00 ff\n");

    EXPECT_EQ(Tool(m + "delete 'HKCU\\Software\\Orvane\\Tessark' N").status, 0);
    ToolRun missing = Tool(m + "get 'HKCU\\Software\\Orvane\\Tessark' N");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Lines(missing.err), 1u) << missing.err;
    EXPECT_EQ(Tool(m + "delete 'HKCU\\Software\\Orvane'").status, 0) << "a whole tree";
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST(RegTool, BadArgumentsGiveOneLineAndStatusTwo) {
    TempMachine machine;
    std::string m = "--machine '" + machine.dir() + "' ";
    for (const std::string& arguments :
         {std::string(""), m, m + "frobnicate", m + "get HKCU\\x", m + "set 'HKXX\\a' v REG_SZ x",
          m + "set 'HKCU\\a' v REG_DWORD 4294967296", m + "set 'HKCU\\a' v REG_BINARY 0g",
          m + "set 'HKCU\\a' v REG_BINARY 012", m + "set 'HKCU\\a' v REG_QWORD 1",
          std::string("--machine"), m + "delete HKCU"}) {
        ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(Lines(run.err), 1u) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("tessark-reg: ", 0), 0u) << run.err;
    }
    ToolRun none = Tool("--machine '" + machine.Path("never-made") + "' dump");
    EXPECT_EQ(none.status, 1) << "dump does not invent a machine";
    EXPECT_FALSE(std::filesystem::exists(machine.Path("never-made")));
}
