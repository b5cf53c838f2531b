// Trace lines: formatted in either character width, one line break added when none is there.
#include "foundation/tl_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> seen;

void Keep(const char* line) {
    seen.emplace_back(line);
}

TEST(Trace, LinesGetOneBreakAndPassTheHook) {
    seen.clear();
    TraceHook previous = SetTraceHook(Keep);
    Trace(true, "done");
    Trace(true, "two\nlines");
    Trace(true, u"Graphic::%s called on invalid graphic (0x%08lX)", "GetWidth",
          reinterpret_cast<const void*>(0x1234));
    Trace(false, "%lu colours", 300u);
    EXPECT_EQ(SetTraceHook(previous), Keep);
    Trace(true, "not seen");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], "done\n");
    EXPECT_EQ(seen[1], "two\nlines");
    EXPECT_EQ(seen[2], "Graphic::GetWidth called on invalid graphic (0x00001234)\n");
    EXPECT_EQ(seen[3], "300 colours\n");
}

} // namespace
