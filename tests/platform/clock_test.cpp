#include "platform/clock.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

class SimulatedClock : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::SetSimulated(true); }
    void TearDown() override { platform::clock::SetSimulated(false); }
};

TEST_F(SimulatedClock, StandsStillUntilAdvanced) {
    DWORD before = GetTickCount();
    LARGE_INTEGER c1{}, c2{};
    ASSERT_TRUE(QueryPerformanceCounter(&c1));
    ASSERT_TRUE(QueryPerformanceCounter(&c2));
    EXPECT_EQ(c1.QuadPart, c2.QuadPart);
    EXPECT_EQ(GetTickCount(), before);

    platform::clock::AdvanceBy(25);
    EXPECT_EQ(GetTickCount(), before + 25);
    platform::clock::AdvanceTo(10); // never backward
    EXPECT_EQ(GetTickCount(), before + 25);
    platform::clock::AdvanceTo(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
}

TEST_F(SimulatedClock, CounterAgreesWithTicksThroughTheFrequency) {
    platform::clock::AdvanceTo(1234);
    LARGE_INTEGER freq{}, count{};
    ASSERT_TRUE(QueryPerformanceFrequency(&freq));
    ASSERT_TRUE(QueryPerformanceCounter(&count));
    ASSERT_NE(freq.u.LowPart, 0u);
    // The engine converts with the low 32 bits of the frequency in integer maths.
    EXPECT_EQ(count.QuadPart * 1000 / freq.u.LowPart, 1234);
}

TEST(HostClock, MovesForward) {
    LARGE_INTEGER a{}, b{};
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    EXPECT_GT(b.QuadPart, a.QuadPart);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
