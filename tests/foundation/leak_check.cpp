// Every test binary of the foundation ends with the memory manager's exit check: whatever a
// test allocated through strings, formats or containers must have been given back.
#include "foundation/memory.h"

#include <gtest/gtest.h>

namespace {

class LeakCheck : public testing::Environment {
public:
    void TearDown() override {
        EXPECT_EQ(MemExitCheck(), 0u)
            << "blocks still live at exit (TESSARK_MEMREPORT=1 lists them)";
    }
};

const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new LeakCheck);

} // namespace
