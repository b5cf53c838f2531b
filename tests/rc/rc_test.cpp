// tessark-rc reports every mistake with its file and line and writes nothing then; a program
// without a script links and simply has no resources.
#include "tools/rc/rc_compiler.h"

#include "platform/resource.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Rc : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tessark-rc-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    // Compiles `text` as script.rc; returns the errors ("" on success).
    std::string Errors(const std::string& text) {
        tessark::rc::Options o;
        o.script = Write("script.rc", text);
        o.output = (dir_ / "out.cpp").string();
        o.depfile = (dir_ / "out.d").string();
        fs::remove(o.output);
        std::string errors;
        bool ok = tessark::rc::Compile(o, &errors);
        EXPECT_EQ(ok, errors.empty());
        EXPECT_EQ(ok, fs::exists(o.output)) << "output written only on success";
        return errors;
    }
    std::string Script() const { return (dir_ / "script.rc").string(); }
    fs::path dir_;
};

TEST_F(Rc, ReportsEachMistakeWithFileAndLine) {
    struct Case {
        const char* text;
        int line;
        const char* message;
    } cases[] = {
        {"1 DIALOG 0,0,1,1\nSTYLE WS_POPUP | WS_BOGUS\nBEGIN\nEND\n", 2,
         "unknown name \"WS_BOGUS\""},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", 4, "duplicate string id 1"},
        {"STRINGTABLE\nBEGIN\n 1 \"never closed\nEND\n", 3, "unterminated string"},
        {"STRINGTABLE\nBEGIN\n 70000 \"x\"\nEND\n", 3, "string id 70000 out of range"},
        {"STRINGTABLE\nBEGIN\n 1 \"x\"\n", 4, "STRINGTABLE without END"},
        {"\n\n5 GRAPHIC \"missing.bin\"\n", 3, "cannot open \"missing.bin\""},
        {"#include \"nowhere.h\"\n", 1, "cannot find \"nowhere.h\""},
        {"#ifdef X\n1 GRAPHIC \"a\"\n", 3, "missing #endif"},
        {"1 DIALOG 0,0,1,1\nBEGIN\n  SPINNER \"x\", 1, 0, 0, 1, 1\nEND\n", 3,
         "unknown control \"SPINNER\""},
        {"1 DIALOG 0,0,1,1\nBEGIN\n  LTEXT \"x\" 1, 0, 0, 1, 1\nEND\n", 3,
         "expected ',' but found \"1\""},
        {"1 DIALOG 0,0,99999,1\nBEGIN\nEND\n", 1, "coordinate 99999 out of range"},
        {"1 MENU\nBEGIN\nEND\n", 1, "MENU resources are not supported"},
        {"1 RCDATA\nBEGIN\n 1, 2\nEND\n", 2, "inline resource data is not supported; use a file"},
        {"/* open\n\n", 1, "unterminated comment"},
        {"#bogus\n", 1, "unknown directive #bogus"},
        {"1 DIALOG 0,0,1,1\nBEGIN\n", 3, "dialog without END"},
        {"1 ACCELERATORS\nBEGIN\n \"a\", 5, SHIFT\nEND\n", 3, "SHIFT and CONTROL need VIRTKEY"},
        {"1 ACCELERATORS\nBEGIN\n \"ab\", 5\nEND\n", 3,
         "an accelerator's event must be one character"},
        {"1 ACCELERATORS\nBEGIN\n \"^1\", 5\nEND\n", 3, "\"^\" must be followed by a letter"},
        {"1 ACCELERATORS\nBEGIN\n VK_F1, 70000, VIRTKEY\nEND\n", 3, "accelerator id out of range"},
        {"1 ACCELERATORS\nBEGIN\n VK_F1, 7, VIRTKEY, ASCII\nEND\n", 3,
         "an accelerator is either ASCII or VIRTKEY"},
        {"1 ACCELERATORS\nBEGIN\n VK_F1, 7, VIRTKEY, HYPER\nEND\n", 3,
         "unknown accelerator option \"HYPER\""},
        {"1 ACCELERATORS\nBEGIN\nEND\n", 1, "empty accelerator table"},
        {"1 ACCELERATORS\nBEGIN\n VK_F1, 7\n", 4, "ACCELERATORS without END"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Errors(c.text),
                  Script() + ":" + std::to_string(c.line) + ": " + c.message + "\n");
    }
}

TEST_F(Rc, ReportsDataFileAndIncludedHeaderProblemsWhereTheyAre) {
    Write("a.bin", "A");
    EXPECT_EQ(Errors("1 GRAPHIC \"a.bin\"\n\n1 graphic \"a.bin\"\n"),
              Script() + ":3: duplicate resource 1 of type \"GRAPHIC\"\n");
    std::string header = Write("ids.h", "#define GOOD 5\n#define BAD (\n");
    EXPECT_EQ(
        Errors("#include \"ids.h\"\n1 DIALOG 0,0,1,1\nBEGIN\n LTEXT \"\", BAD 1, 0,0,1,1\nEND\n"),
        Script() + ":4: expected ')' but found \",\"\n");
    Write("bad.ico", "not an icon at all");
    EXPECT_EQ(Errors("1 ICON \"bad.ico\"\n"), Script() + ":1: \"bad.ico\" is not an icon file\n");
    // An icon whose directory points past its end.
    std::string ico("\0\0\1\0\1\0\2\2\0\0\1\0\x20\0\xff\0\0\0\x16\0\0\0", 22);
    Write("cut.ico", ico);
    EXPECT_EQ(Errors("1 ICON \"cut.ico\"\n"),
              Script() + ":1: \"cut.ico\" has an image outside the file\n");
    Write("bad.cur", std::string("\0\0\1\0\1\0", 6)); // an icon directory
    EXPECT_EQ(Errors("1 CURSOR \"bad.cur\"\n"),
              Script() + ":1: \"bad.cur\" is not a cursor file\n");
    std::string cur("\0\0\2\0\1\0\2\2\0\0\1\0\1\0\xff\0\0\0\x16\0\0\0", 22);
    Write("cut.cur", cur);
    EXPECT_EQ(Errors("1 CURSOR \"cut.cur\"\n"),
              Script() + ":1: \"cut.cur\" has an image outside the file\n");
    Write("bad.bmp", "XX");
    EXPECT_EQ(Errors("1 BITMAP \"bad.bmp\"\n"), Script() + ":1: \"bad.bmp\" is not a BMP file\n");
    // An error inside an included header names the header.
    std::string deep = Write("deep.h", "#define A 1\n#if (1\n#endif\n");
    EXPECT_EQ(Errors("#include \"deep.h\"\n"), deep + ":2: missing ) in #if\n");
}

TEST_F(Rc, FollowsIncludesConditionsAndRecordsDependencies) {
    Write("data.bin", "xyz");
    Write("ids.h", "#pragma once\n#define IDS_ONE 1\n#define BASE 100\n#define NEXT (BASE + 1)\n"
                   "int not_a_resource(void) { return 'x'; }\n#if BASE > 50 && defined(IDS_ONE)\n"
                   "#define BIG 1\n#else\n#define BIG 0\n#endif\n");
    EXPECT_EQ(Errors("#include \"ids.h\"\n#include <winres.h>\n#ifndef BIG\n#error no\n#endif\n"
                     "#if BIG\nNEXT GRAPHIC \"data.bin\"\n#else\nbroken here\n#endif\n"
                     "STRINGTABLE\nBEGIN\n IDS_ONE, \"one\" \" two\"\nEND\n"),
              "");
    std::ifstream dep(dir_ / "out.d");
    std::stringstream ss;
    ss << dep.rdbuf();
    EXPECT_NE(ss.str().find("ids.h"), std::string::npos);
    EXPECT_NE(ss.str().find("data.bin"), std::string::npos);
    std::ifstream out(dir_ / "out.cpp");
    std::stringstream os;
    os << out.rdbuf();
    EXPECT_NE(os.str().find("{u\"GRAPHIC\", 0, nullptr, 101, data0, 3u, 0}"), std::string::npos);
    // String 1 sits second in block 1: an empty entry, then "one two" (adjacent texts joined).
    EXPECT_NE(os.str().find("\\x00\\x00\\x07\\x00\\x6f\\x00\\x6e\\x00\\x65\\x00\\x20\\x00\\x74"),
              std::string::npos);
}

TEST_F(Rc, LargeDataIsAssembledInAndItsChangeChangesTheSource) {
    auto generated = [&] {
        std::ifstream out(dir_ / "out.cpp");
        std::stringstream os;
        os << out.rdbuf();
        return os.str();
    };
    std::string big(3u << 20, 'a');
    Write("big.bin", big);
    ASSERT_EQ(Errors("7 ZIP \"big.bin\"\n"), "");
    const std::string first = generated();
    EXPECT_NE(first.find(".incbin"), std::string::npos);
    EXPECT_LT(first.size(), 4096u) << "the data stays out of the source";
    std::ifstream side(dir_ / "out.cpp.0.bin", std::ios::binary);
    std::stringstream bytes;
    bytes << side.rdbuf();
    EXPECT_EQ(bytes.str(), big);
    // Neither the compiler's dependencies nor a cache see the side file: the source must change.
    big[12345] = 'b';
    Write("big.bin", big);
    ASSERT_EQ(Errors("7 ZIP \"big.bin\"\n"), "");
    EXPECT_NE(generated(), first);
}

TEST_F(Rc, AnyTokenSoupGivesAResultOrALocatedError) {
    Write("a.bin", "A");
    const char* words[] = {
        "1",        "0x10",     "STRINGTABLE", "BEGIN",   "END",      "DIALOG",
        "DIALOGEX", "\"s\"",    ",",           "|",       "NOT",      "(",
        ")",        "-",        "LTEXT",       "CONTROL", "ICON",     "\"a.bin\"",
        "GRAPHIC",  "STYLE",    "WS_POPUP",    "FONT",    "\n",       "#define X 3\n",
        "X",        "{",        "}",           "#if 1\n", "#endif\n", "CAPTION",
        "L\"w\"",   "\"\"\"\"", "LANGUAGE",    "CLASS",   "MENU",     "4999"};
    unsigned seed = 99;
    int located = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        int n = 1 + round % 40;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1103515245 + 12345;
            text += words[(seed >> 16) % (sizeof(words) / sizeof(words[0]))];
            text += ' ';
        }
        std::string errors = Errors(text);
        if (errors.empty()) continue;
        EXPECT_EQ(errors.rfind(Script() + ":", 0), 0u) << text << "\n" << errors;
        ++located;
    }
    EXPECT_GT(located, 0);
}

TEST(NoResources, AProgramWithoutAScriptLinksAndFindsNothing) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    WCHAR buffer[8];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

} // namespace
