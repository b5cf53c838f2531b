#include "platform/types.h"

#include <gtest/gtest.h>
#include <thread>

TEST(LastError, IsKeptPerThread) {
    SetLastError(0xdeadbeef);
    DWORD seenByOther = 0;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
    });
    other.join();
    EXPECT_EQ(seenByOther, static_cast<DWORD>(ERROR_SUCCESS)) << "a new thread starts clean";
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "another thread's error must not leak here";
}
