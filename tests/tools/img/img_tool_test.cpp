// tessark-img as artists and scripts use it: its output lines and exit codes are a contract.
#include "tests/tools/tool_run.h"
#include "tools/psp/psp_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Scratch(const std::string& name) {
    return testing::TempDir() + "img_" + std::to_string(getpid()) + "_" + name;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ToolRun RunTool(const std::string& arguments) {
    return RunCommand(std::string("'") + TESSARK_IMG_TOOL + "' " + arguments);
}

psp::Image TwoLayers() {
    psp::Image image;
    image.width = 3, image.height = 2, image.bitDepth = 8, image.compression = psp::kZlib;
    for (int i = 0; i < 256; ++i)
        image.palette.push_back({static_cast<BYTE>(i), 0, static_cast<BYTE>(255 - i)});
    image.layers.push_back(psp::MakeIndexedLayer(3, 2, {1, 2, 3, 4, 5, 6}));
    image.layers.push_back(psp::MakeIndexedLayer(3, 2, {9, 9, 9, 9, 9, 9}));
    image.hasSelection = true;
    image.selection = {0, 0, 1, 1};
    image.selectionBytes = {255};
    return image;
}

TEST(ImgTool, InfoDescribesPspAndBmp) {
    std::string path = Scratch("two.psp");
    ASSERT_TRUE(psp::WriteFile(TwoLayers(), path));
    ToolRun r = RunTool("info '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "width: 3\nheight: 2\nbits per pixel: 8\nlayers: 2\n"
                     "transparent colour: none\nselection: yes\n");

    psp::Image masked;
    masked.width = 2, masked.height = 1, masked.bitDepth = 24;
    masked.layers.push_back(psp::MakeRgbLayer(2, 1, {1, 2, 3, 4, 5, 6}));
    psp::AddMask(masked.layers[0], {0, 255});
    std::string maskedPath = Scratch("masked.psp");
    ASSERT_TRUE(psp::WriteFile(masked, maskedPath));
    r = RunTool("info '" + maskedPath + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("layers: 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("transparent colour: #000001\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("selection: no\n"), std::string::npos);

    // The converted BMP describes itself the same way.
    std::string bmp = Scratch("layer1.bmp");
    r = RunTool("convert '" + path + "' '" + bmp + "' --layer 1");
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunTool("info '" + bmp + "'");
    EXPECT_EQ(r.out, "width: 3\nheight: 2\nbits per pixel: 8\nlayers: 1\n"
                     "transparent colour: none\nselection: no\n");
    std::string bytes = Slurp(bmp);
    ASSERT_EQ(bytes.size(), 54u + 1024u + 2u * 4u);
    EXPECT_EQ(bytes[54 + 1024], 9) << "bottom row first, layer 1's pixels";
    for (const std::string& p : {path, maskedPath, bmp})
        std::remove(p.c_str());
}

TEST(ImgTool, BadInputGivesOneLineAndExitCodeTwo) {
    std::string junk = Scratch("junk.psp");
    {
        std::ofstream out(junk, std::ios::binary);
        out << "Paint Shop Pro Image File\n\x1a garbage";
    }
    std::string bmp = Scratch("out.bmp");
    std::string good = Scratch("good.psp");
    ASSERT_TRUE(psp::WriteFile(TwoLayers(), good));
    for (const std::string& args :
         std::vector<std::string>{"info '" + junk + "'", "info '/nonexistent/none.psp'",
                                  "convert '" + junk + "' '" + bmp + "'",
                                  "convert '" + good + "' '" + bmp + "' --layer 2",
                                  "convert '" + good + "' '/nonexistent/dir/out.bmp'"}) {
        ToolRun r = RunTool(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_EQ(r.err.rfind("tessark-img: ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(std::ifstream(bmp).good()) << "nothing written for bad input";
    for (const std::string& args :
         std::vector<std::string>{"", "info", "convert a b --layer x", "convert a b --frame 1"})
        EXPECT_EQ(RunTool(args).status, 1) << args;
    std::remove(junk.c_str());
    std::remove(good.c_str());
}

} // namespace
