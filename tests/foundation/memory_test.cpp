#include "foundation/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Collects the reports of both hooks while a test runs.
struct Captured {
    std::string message;
    const void* address;
    std::string blockType;
    std::string blockFile;
    long blockLine;
    std::size_t blockSize;
};
std::mutex gCapturedLock;
std::vector<Captured> gAddressReports;
std::vector<Captured> gDiagnostics;

void Keep(std::vector<Captured>& into, const MemReport& r) {
    std::lock_guard<std::mutex> hold(gCapturedLock);
    into.push_back({r.message, r.address, r.blockType ? r.blockType : "",
                    r.blockFile ? r.blockFile : "", r.blockLine, r.blockSize});
}

class Memory : public testing::Test {
protected:
    void SetUp() override {
        gAddressReports.clear();
        gDiagnostics.clear();
        oldAddress_ = SetMemAddressHook([](const MemReport& r) { Keep(gAddressReports, r); });
        oldDiagnostic_ = SetMemDiagnosticHook([](const MemReport& r) { Keep(gDiagnostics, r); });
    }
    void TearDown() override {
        SetMemAddressHook(oldAddress_);
        SetMemDiagnosticHook(oldDiagnostic_);
    }
    static MemBlockInfo Info(const void* p) {
        MemBlockInfo info{};
        EXPECT_TRUE(MemQueryBlock(p, &info));
        return info;
    }

private:
    MemReportHook oldAddress_ = nullptr;
    MemReportHook oldDiagnostic_ = nullptr;
};

TEST_F(Memory, BlockSizesFollowTheClassArithmetic) {
    EXPECT_EQ(MemBlockSize(56), 256u) << "56 + 72 is a multiple of 128: one class more";
    EXPECT_EQ(MemBlockSize(57), 256u);
    EXPECT_EQ(MemBlockSize(184), 384u);
    EXPECT_EQ(MemBlockSize(0), 128u);
    EXPECT_EQ(MemBlockSize(55), 128u) << "the tightest fit: 55 + 72 = 127";

    for (std::size_t n : {0u, 1u, 55u, 56u, 57u, 184u, 1000u, 4000u}) {
        auto* p = static_cast<unsigned char*>(MemAlloc(n, MM("SIZETEST")));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << "caller's bytes are aligned";
        MemBlockInfo info = Info(p);
        EXPECT_EQ(info.total, MemBlockSize(n)) << n;
        EXPECT_EQ(info.capacity, info.total - 72) << n;
        EXPECT_EQ(info.size, n);
        EXPECT_EQ(info.kind, MEMKIND_RAW);
        EXPECT_STREQ(info.type, "SIZETEST");
        EXPECT_EQ(std::string(info.file).find("memory_test.cpp") != std::string::npos, true);
        EXPECT_FALSE(info.large);
        EXPECT_EQ(std::memcmp(p - 68, "Mem!", 4), 0) << "leading signature opens the block";
        EXPECT_EQ(std::memcmp(p + info.capacity, "Okay", 4), 0) << "trailer right after it";
        // The whole capacity is the caller's: filling it must not upset the signatures.
        std::memset(p, 0xA5, info.capacity);
        MemFree(p, MM("SIZETEST"));
        EXPECT_FALSE(MemQueryBlock(p, &info));
    }
    EXPECT_TRUE(gDiagnostics.empty());
    EXPECT_TRUE(gAddressReports.empty());
}

TEST_F(Memory, LargeBlocksComeFromTheSystemHeapOneByOne) {
    MemStats before = MemGetStats();
    const std::size_t n = 0x80000; // its block exceeds 512 KB
    auto* p = static_cast<unsigned char*>(MemAlloc(n, MM("BIGBLOCK")));
    ASSERT_NE(p, nullptr);
    MemBlockInfo info = Info(p);
    EXPECT_TRUE(info.large);
    EXPECT_EQ(info.chunk, nullptr);
    EXPECT_EQ(info.total, MemBlockSize(n));
    std::memset(p, 1, info.capacity);
    EXPECT_EQ(MemGetStats().chunks, before.chunks) << "no chunk is made for a large block";
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks + 1);
    EXPECT_TRUE(MemQueryBlock(p, nullptr));
    MemFree(p, MM("BIGBLOCK"));
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks);
    EXPECT_TRUE(gDiagnostics.empty());

    // The largest block still served from a chunk.
    void* q = MemAlloc(kMemLargeBlock - 200, MM("CHUNKBLOCK"));
    EXPECT_FALSE(Info(q).large);
    EXPECT_EQ(Info(q).chunk != nullptr, !MemUsesSystemHeapOnly());
    MemFree(q, MM("CHUNKBLOCK"));

    EXPECT_EQ(MemAlloc(static_cast<std::size_t>(-1), MM("HUGE")), nullptr)
        << "an impossible size fails cleanly";
}

TEST_F(Memory, FreeingTwiceReportsTheSecondTimeAndChangesNothing) {
    void* p = MemAlloc(100, MM("TWICE"));
    void* other = MemAlloc(100, MM("OTHER"));
    MemFree(p, "twice.cpp", 10);
    MemStats after = MemGetStats();
    EXPECT_TRUE(gAddressReports.empty());
    MemFree(p, "twice.cpp", 11);
    ASSERT_EQ(gAddressReports.size(), 1u);
    EXPECT_EQ(gAddressReports[0].message, "An invalid address was deleted.");
    EXPECT_EQ(gAddressReports[0].address, p);
    MemStats again = MemGetStats();
    EXPECT_EQ(again.liveBlocks, after.liveBlocks);
    EXPECT_EQ(again.freeBlocks, after.freeBlocks);
    EXPECT_STREQ(Info(other).type, "OTHER") << "the neighbour is untouched";
    MemFree(other, MM("OTHER"));

    int local = 0;
    MemTare(&local, MM("TARE"));
    ASSERT_EQ(gAddressReports.size(), 2u);
    EXPECT_EQ(gAddressReports[1].message, "An invalid address was tared.");
    EXPECT_TRUE(gDiagnostics.empty());
}

TEST_F(Memory, AddressReportTextIsTheMessageBoxText) {
    MemReport r{"An invalid address was deleted.",
                reinterpret_cast<const void*>(0x1234ABCD),
                nullptr,
                nullptr,
                0,
                0,
                ".\\display.cpp",
                40};
    char text[512];
    MemFormatAddressReport(r, text, sizeof text);
    EXPECT_STREQ(text, "An invalid address was deleted.\n\n   Address: 0x1234ABCD\n   Current: "
                       ".\\display.cpp line 40\n\nClick OK to dismiss\nClick X to debug");
}

TEST_F(Memory, OverwrittenSignaturesAreReportedOnFree) {
    for (std::size_t n : {55u, 56u, 184u, 700000u}) {
        auto* p = static_cast<unsigned char*>(MemAlloc(n, "DAMAGED", "damage.cpp", 7));
        std::size_t capacity = Info(p).capacity;
        p[capacity] ^= 0xFF; // one byte past the end of the block
        MemFree(p, "damage.cpp", 9);
        ASSERT_EQ(gDiagnostics.size(), 1u) << n;
        EXPECT_EQ(gDiagnostics[0].message,
                  "The trailing signature on a memory block was overwritten.");
        EXPECT_EQ(gDiagnostics[0].blockType, "DAMAGED");
        EXPECT_EQ(gDiagnostics[0].blockLine, 7);
        EXPECT_EQ(gDiagnostics[0].blockSize, n);
        EXPECT_FALSE(MemQueryBlock(p, nullptr)) << "the release still goes on";
        gDiagnostics.clear();
    }

    // An overrun from the block before lands on the leading signature.
    auto* p = static_cast<unsigned char*>(MemAlloc(40, MM("DAMAGED")));
    p[-68] = 'X';
    MemFree(p, MM("DAMAGED"));
    ASSERT_EQ(gDiagnostics.size(), 1u);
    EXPECT_EQ(gDiagnostics[0].message, "The leading signature on a memory block was overwritten.");
    EXPECT_FALSE(MemQueryBlock(p, nullptr));
    EXPECT_TRUE(gAddressReports.empty());
}

struct Base1 {
    virtual ~Base1() = default;
    int a = 1;
};
struct Base2 {
    virtual ~Base2() = default;
    int b = 2;
};
struct Derived : Base1, Base2 {
    static int alive;
    Derived() { ++alive; }
    ~Derived() override { --alive; }
    char payload[40] = {};
};
int Derived::alive = 0;

struct Throws {
    Throws() { throw 5; }
};

TEST_F(Memory, TrackedObjectsAndForeignBlocks) {
    Derived* d = new (MM("DERIVED")) Derived;
    MemBlockInfo info = Info(d);
    EXPECT_EQ(info.kind, MEMKIND_OBJECT);
    EXPECT_EQ(info.size, sizeof(Derived));
    EXPECT_STREQ(info.type, "DERIVED");
    // A tracking entry asks for a block of zero bytes (128), or takes a free one a little up.
    EXPECT_EQ(info.total % 128, 0u);
    EXPECT_LE(info.total, 17u * 128);
    // Deleting through the second base (a different address) still finds the entry.
    Base2* asBase = d;
    ASSERT_NE(static_cast<void*>(asBase), static_cast<void*>(d));
    MemDelete(asBase, MM("DERIVED"));
    EXPECT_EQ(Derived::alive, 0);
    EXPECT_FALSE(MemQueryBlock(d, nullptr));

    MemStats before = MemGetStats();
    EXPECT_THROW((void)new (MM("THROWS")) Throws, int);
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks) << "a failed construction untracks";

    static char foreign[32];
    EXPECT_EQ(MemTrackForeign(foreign, MM("FOREIGN")), foreign);
    EXPECT_EQ(Info(foreign).kind, MEMKIND_FOREIGN);
    EXPECT_EQ(Info(foreign).size, 0u);
    MemUntrackObject(foreign, MM("FOREIGN"));
    EXPECT_TRUE(gDiagnostics.empty());
    EXPECT_TRUE(gAddressReports.empty());

    // The wrong kind of release is reported, and the release still happens.
    int* object = new (MM("INT")) int(3);
    MemFree(object, MM("INT"));
    ASSERT_EQ(gDiagnostics.size(), 1u);
    EXPECT_EQ(gDiagnostics[0].message, "A C++ object was deleted using the \"free\" method.");
    EXPECT_FALSE(MemQueryBlock(object, nullptr));
    delete object;

    void* raw = MemAlloc(10, MM("RAW"));
    MemUntrackObject(raw, MM("RAW"));
    ASSERT_EQ(gDiagnostics.size(), 2u);
    EXPECT_EQ(gDiagnostics[1].message, "A non-object memory address was deleted.");
    EXPECT_FALSE(MemQueryBlock(raw, nullptr));
}

TEST_F(Memory, FreeBlocksAreReusedWholeAcrossClasses) {
    if (MemUsesSystemHeapOnly()) GTEST_SKIP() << "every block comes from the system heap";
    // Free blocks further up may serve a request, so ask until a block of exactly the
    // expected size is carved.
    std::vector<void*> spare;
    auto exact = [&spare](std::size_t n) {
        for (;;) {
            void* p = MemAlloc(n, MM("REUSE"));
            if (!p || Info(p).total == MemBlockSize(n)) return p;
            spare.push_back(p);
        }
    };
    void* big = exact(900); // a 1024-byte block
    ASSERT_NE(big, nullptr);
    MemFree(big, MM("REUSE"));
    // 500 bytes need a 640-byte block; the 1024-byte one is three classes up, within reach.
    // Blocks already free in the classes below are taken first, so keep asking.
    std::vector<void*> taken;
    bool reused = false;
    for (int i = 0; i < 100000 && !reused; ++i) {
        void* p = MemAlloc(500, MM("REUSE"));
        ASSERT_NE(p, nullptr);
        taken.push_back(p);
        if (p == big) {
            reused = true;
            MemBlockInfo info = Info(p);
            EXPECT_EQ(info.total, 1024u) << "the block keeps its capacity";
            EXPECT_EQ(info.capacity, 952u);
            EXPECT_EQ(info.size, 500u);
        } else {
            EXPECT_NE(Info(p).chunk, nullptr);
        }
    }
    EXPECT_TRUE(reused);
    for (void* p : taken)
        MemFree(p, MM("REUSE"));

    // A block 17 classes up is out of reach: it is never handed out for the small request.
    void* far = exact(2816 - 200 + 56); // class 4 + 17
    ASSERT_EQ(Info(far).total, 2816u);
    MemFree(far, MM("FAR"));
    for (void* p : spare)
        MemFree(p, MM("REUSE"));
    void* p = MemAlloc(500, MM("NEAR"));
    EXPECT_NE(p, far);
    MemFree(p, MM("NEAR"));
    EXPECT_TRUE(gDiagnostics.empty());
}

TEST_F(Memory, EmptyChunksBeyondThreeAreReleased) {
    if (MemUsesSystemHeapOnly()) GTEST_SKIP() << "every block comes from the system heap";
    const std::size_t n = 400000; // two blocks per chunk
    MemStats before = MemGetStats();
    std::vector<void*> blocks;
    for (int i = 0; i < 16; ++i)
        blocks.push_back(MemAlloc(n, MM("WAVE")));
    MemStats full = MemGetStats();
    ASSERT_GE(full.chunks, before.chunks + 7);
    for (void* p : blocks)
        MemFree(p, MM("WAVE"));
    MemStats empty = MemGetStats();
    EXPECT_LE(empty.emptyChunks, 3u);
    EXPECT_LE(empty.chunks, before.chunks + 3) << "all but three empty chunks go back";
    EXPECT_LT(empty.chunks, full.chunks);

    // A second wave reuses the kept chunks; a block taken from an empty chunk makes it
    // non-empty again.
    // (Only when one of the new chunks was kept: older empty chunks may fill all three places.)
    if (empty.chunks > before.chunks) {
        std::size_t emptyBefore = empty.emptyChunks;
        void* again = MemAlloc(n, MM("WAVE"));
        EXPECT_EQ(MemGetStats().emptyChunks, emptyBefore - 1);
        EXPECT_EQ(MemGetStats().chunks, empty.chunks) << "no new chunk while free blocks fit";
        MemFree(again, MM("WAVE"));
        EXPECT_EQ(MemGetStats().emptyChunks, emptyBefore);
    }
    EXPECT_TRUE(gDiagnostics.empty());
}

TEST_F(Memory, ConcurrentAllocationFromSeveralThreads) {
    MemStats before = MemGetStats();
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::uint32_t seed = 12345u + static_cast<std::uint32_t>(t);
            auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
            struct Live {
                unsigned char* p;
                std::size_t n;
            } live[64] = {};
            for (int i = 0; i < 20000; ++i) {
                Live& slot = live[next() % 64];
                if (slot.p) {
                    for (std::size_t k = 0; k < slot.n; ++k)
                        if (slot.p[k] != static_cast<unsigned char>(t + k)) ++failures[t];
                    MemFree(slot.p, MM("THREAD"));
                    slot.p = nullptr;
                } else {
                    slot.n = (next() >> 8) % 3000;
                    slot.p = static_cast<unsigned char*>(MemAlloc(slot.n, MM("THREAD")));
                    if (!slot.p) {
                        ++failures[t];
                        continue;
                    }
                    for (std::size_t k = 0; k < slot.n; ++k)
                        slot.p[k] = static_cast<unsigned char>(t + k);
                }
            }
            for (Live& slot : live)
                if (slot.p) MemFree(slot.p, MM("THREAD"));
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks);
    EXPECT_TRUE(gDiagnostics.empty());
    EXPECT_TRUE(gAddressReports.empty());
}

TEST_F(Memory, GrowArrayKeepsElementsAndZeroFills) {
    int* array = nullptr;
    std::size_t count = 0;
    ASSERT_TRUE(MemGrowArray(&array, &count, 3, 5, MM("ARRAY")));
    EXPECT_EQ(count, 7u) << "needed + extra - 1";
    EXPECT_STREQ(Info(array).type, "MemRealloc");
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(array[i], 0);
    array[0] = 10, array[6] = 16;
    int* same = array;
    ASSERT_TRUE(MemGrowArray(&array, &count, 7, 5, MM("ARRAY")));
    EXPECT_EQ(array, same) << "already large enough";
    EXPECT_EQ(count, 7u);
    ASSERT_TRUE(MemGrowArray(&array, &count, 8, 1, MM("ARRAY")));
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(array[0], 10);
    EXPECT_EQ(array[6], 16);
    EXPECT_EQ(array[7], 0);
    // With no extra room asked for there is still room for all that is needed.
    ASSERT_TRUE(MemGrowArray(&array, &count, 12, 0, MM("ARRAY")));
    EXPECT_EQ(count, 12u);
    std::size_t before = count;
    EXPECT_FALSE(MemGrowArray(&array, &count, static_cast<std::size_t>(-1) / 2, 1, MM("ARRAY")));
    EXPECT_EQ(count, before) << "a failed growth leaves the array alone";
    EXPECT_EQ(array[0], 10);
    MemFree(array, MM("ARRAY"));
    EXPECT_TRUE(gDiagnostics.empty());
}

TEST_F(Memory, ExitCheckReportsLiveBlocksButNotTaredOnes) {
    void* leaked = MemAlloc(33, "LEAKED", "leaky.cpp", 21);
    void* kept = MemAlloc(44, "KEPT", "leaky.cpp", 22);
    MemTare(kept, MM("KEPT"));
    EXPECT_TRUE(Info(kept).tared);
    EXPECT_GE(MemExitCheck(), 1u);
    bool sawLeaked = false;
    for (const Captured& c : gDiagnostics) {
        EXPECT_NE(c.blockType, "KEPT");
        if (c.address == leaked) {
            sawLeaked = true;
            EXPECT_EQ(c.blockType, "LEAKED");
            EXPECT_EQ(c.blockFile, "leaky.cpp");
            EXPECT_EQ(c.blockLine, 21);
            EXPECT_EQ(c.blockSize, 33u);
        }
    }
    EXPECT_TRUE(sawLeaked);

    // With the report switched on, the default hook prints one line per block and a total.
    SetMemDiagnosticHook(nullptr);
    const char* wasSet = std::getenv("TESSARK_MEMREPORT");
    std::string previous = wasSet ? wasSet : "";
    setenv("TESSARK_MEMREPORT", "1", 1);
    testing::internal::CaptureStderr();
    MemExitCheck();
    std::string printed = testing::internal::GetCapturedStderr();
    unsetenv("TESSARK_MEMREPORT");
    EXPECT_NE(printed.find("LEAKED, leaky.cpp line 21, 33 bytes"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("KEPT"), std::string::npos) << printed;
    EXPECT_NE(printed.find("block(s) not freed"), std::string::npos) << printed;

    testing::internal::CaptureStderr();
    MemExitCheck();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "silent unless asked for";

    if (wasSet) setenv("TESSARK_MEMREPORT", previous.c_str(), 1);
    MemFree(leaked, MM("LEAKED"));
    MemFree(kept, MM("KEPT"));
}

} // namespace

namespace {

// In the sanitizer build every block is the system heap's own, so overruns past a block and
// use after release are caught where they happen, not only when the block is freed.
TEST(MemorySanitized, OverrunsAndUseAfterFreeAreCaughtAtOnce) {
    if (!MemUsesSystemHeapOnly()) GTEST_SKIP() << "only the sanitizer build hands out heap blocks";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* p = static_cast<volatile unsigned char*>(MemAlloc(56, MM("OVERRUN")));
            MemBlockInfo info{};
            MemQueryBlock(const_cast<unsigned char*>(p), &info);
            p[info.capacity + 4] = 1; // just past the trailer
        },
        "heap-buffer-overflow");
    EXPECT_DEATH(
        {
            auto* p = static_cast<volatile unsigned char*>(MemAlloc(56, MM("STALE")));
            MemFree(const_cast<unsigned char*>(p), MM("STALE"));
            p[0] = 1;
        },
        "heap-use-after-free");
}

} // namespace
