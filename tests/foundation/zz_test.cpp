#include "foundation/zz.h"

#include "foundation/memory.h"

#include <lzo/lzo1x.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes Random(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<BYTE>(gen());
    return out;
}

// Text-like data: words from a small vocabulary, so LZO finds matches at many distances.
Bytes Wordy(std::size_t n, unsigned seed) {
    static const char* const words[] = {"tessark ", "board ",  "rectangle ", "capture ",
                                        "cascade ", "piece\n", "red ",       "blue "};
    std::mt19937 gen(seed);
    Bytes out;
    out.reserve(n + 16);
    while (out.size() < n) {
        const char* w = words[gen() % 8];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

// A block made by zzcompress, copied out so the tests can damage it freely.
Bytes Pack(const Bytes& data) {
    BYTE* block = nullptr;
    DWORD size = 0;
    EXPECT_TRUE(zzcompress(&block, &size, data.data(), static_cast<DWORD>(data.size())));
    if (!block) return {};
    Bytes out(block, block + size);
    zzfree(block);
    return out;
}

// Expands `block`; on success `out` holds the bytes. The buffer's capacity is checked against
// the prefix rule whenever expansion succeeds.
bool Unpack(const Bytes& block, Bytes* out) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!zzdecompress(&data, &size, block.data(), static_cast<DWORD>(block.size()))) {
        EXPECT_EQ(data, nullptr) << "a failed expansion hands out no buffer";
        return false;
    }
    MemBlockInfo info{};
    EXPECT_TRUE(MemQueryBlock(data, &info));
    EXPECT_LE(size, info.size);
    out->assign(data, data + size);
    zzfree(data);
    return true;
}

DWORD Prefix(const Bytes& block) {
    return block[0] | (block[1] << 8) | (block[2] << 16) | (static_cast<DWORD>(block[3]) << 24);
}

std::size_t LiveBlocks() {
    return MemGetStats().liveBlocks;
}

TEST(ZZ, RoundTripsKeepEveryByte) {
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case cases[] = {
        {"one byte", Bytes{0x42}},
        {"small text", Bytes{'T', 'e', 's', 's', 'a', 'r', 'k', '!'}},
        {"incompressible", Random(100000, 1)},
        {"wordy", Wordy(300000, 2)},
        {"large, mixed",
         [] {
             Bytes b = Wordy(3 << 20, 3);
             Bytes r = Random(1 << 20, 4);
             b.insert(b.begin() + (1 << 20), r.begin(), r.end());
             return b;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes block = Pack(c.data);
        ASSERT_GT(block.size(), 4u);
        EXPECT_EQ(Prefix(block), c.data.size());
        EXPECT_LE(block.size(), ZZCapacity(c.data.size() + 4)) << "the worst-case rule held";
        Bytes back;
        ASSERT_TRUE(Unpack(block, &back));
        EXPECT_TRUE(back == c.data);
    }
}

TEST(ZZ, EmptyInputGivesAZeroPrefixAndExpandsToNothing) {
    BYTE* block = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzcompress(&block, &size, nullptr, 0));
    ASSERT_GT(size, 4u);
    Bytes copy(block, block + size);
    zzfree(block);
    EXPECT_EQ(Prefix(copy), 0u);
    Bytes back{1, 2, 3};
    ASSERT_TRUE(Unpack(copy, &back));
    EXPECT_TRUE(back.empty());
}

TEST(ZZ, BlockLayoutIsALittleEndianPrefixAndAPlainLzoStream) {
    Bytes data = Wordy(0x010203, 5);
    Bytes block = Pack(data);
    ASSERT_GE(block.size(), 8u);
    EXPECT_EQ(block[0], 0x03);
    EXPECT_EQ(block[1], 0x02);
    EXPECT_EQ(block[2], 0x01);
    EXPECT_EQ(block[3], 0x00);

    // The stream after the prefix is what liblzo itself reads ...
    Bytes plain(data.size());
    lzo_uint n = plain.size();
    ASSERT_EQ(lzo1x_decompress_safe(block.data() + 4, block.size() - 4, plain.data(), &n, nullptr),
              LZO_E_OK);
    EXPECT_EQ(n, data.size());
    EXPECT_TRUE(plain == data);

    // ... and a block made by liblzo directly expands through zz.
    Bytes work(LZO1X_1_MEM_COMPRESS);
    Bytes direct(4 + data.size() + data.size() / 16 + 64);
    lzo_uint packed = 0;
    ASSERT_EQ(lzo1x_1_compress(data.data(), data.size(), direct.data() + 4, &packed, work.data()),
              LZO_E_OK);
    std::memcpy(direct.data(), block.data(), 4);
    direct.resize(packed + 4);
    Bytes back;
    ASSERT_TRUE(Unpack(direct, &back));
    EXPECT_TRUE(back == data);
}

TEST(ZZ, AllocationFollowsTheWorstCaseRule) {
    BYTE* buffer = nullptr;
    DWORD capacity = 0;
    ASSERT_TRUE(zzalloc(&buffer, &capacity, 100000));
    EXPECT_EQ(capacity, 102605u);
    MemBlockInfo info{};
    ASSERT_TRUE(MemQueryBlock(buffer, &info));
    EXPECT_EQ(info.size, 102605u);
    EXPECT_STREQ(info.type, "*pcbOut");
    buffer[capacity - 1] = 0xAA; // the whole capacity is usable
    zzfree(buffer);

    ASSERT_TRUE(zzalloc(&buffer, &capacity, 0));
    EXPECT_EQ(capacity, 1043u);
    zzfree(buffer);

    // A capacity that does not fit 32 bits is refused, not wrapped.
    buffer = nullptr;
    EXPECT_FALSE(zzalloc(&buffer, &capacity, 0xFFFFFFFFu));
    EXPECT_EQ(buffer, nullptr);
    zzfree(nullptr);
}

TEST(ZZ, ShortBlocksFailWithoutAllocating) {
    Bytes warm = Pack(Bytes{1, 2, 3}); // the codec's own memory exists before counting
    const BYTE four[4] = {0, 0, 0, 0};
    std::size_t before = LiveBlocks();
    for (DWORD size = 0; size <= 4; ++size) {
        BYTE* data = nullptr;
        DWORD n = 77;
        EXPECT_FALSE(zzdecompress(&data, &n, four, size)) << size;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(n, 77u);
    }
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(ZZ, TruncatedBlocksFailAtEveryLength) {
    Bytes data = Wordy(20000, 6);
    Bytes r = Random(3000, 7);
    data.insert(data.begin() + 5000, r.begin(), r.end());
    Bytes block = Pack(data);
    std::size_t before = LiveBlocks();
    for (std::size_t cut = 5; cut < block.size(); ++cut) {
        Bytes part(block.begin(), block.begin() + cut);
        Bytes back;
        SetLastError(0);
        EXPECT_FALSE(Unpack(part, &back)) << "cut at " << cut;
        // A cut short enough makes the prefix promise more than the stream could hold.
        int expected = Prefix(part) > 256 * (cut - 4) ? LZO_E_ERROR : LZO_E_INPUT_OVERRUN;
        EXPECT_EQ(static_cast<int>(GetLastError()), expected) << "cut at " << cut;
    }
    EXPECT_EQ(LiveBlocks(), before) << "failed expansions released their buffers";
}

TEST(ZZ, DamagedBlocksNeverOverrunTheirBuffer) {
    Bytes data = Wordy(40000, 8);
    const Bytes block = Pack(data);
    std::mt19937 gen(9);
    int failures = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = block;
        int flips = 1 + static_cast<int>(gen() % 4);
        for (int i = 0; i < flips; ++i) {
            std::size_t at = 4 + gen() % (bad.size() - 4);
            bad[at] = static_cast<BYTE>(gen());
        }
        Bytes back;
        // Either outcome is allowed; Unpack checks that a success stayed inside its buffer,
        // and the sanitizer build catches any write past it.
        if (!Unpack(bad, &back)) {
            ++failures;
            EXPECT_LT(static_cast<int>(GetLastError()), 0) << "the LZO code is kept";
        }
    }
    // Damaged literals go unnoticed, damaged instructions do not.
    EXPECT_GT(failures, 300);

    // Trailing bytes after the end marker are damage too.
    Bytes longer = block;
    longer.push_back(0);
    Bytes back;
    EXPECT_FALSE(Unpack(longer, &back));
    EXPECT_EQ(static_cast<int>(GetLastError()), LZO_E_INPUT_NOT_CONSUMED);
}

TEST(ZZ, APrefixTooSmallForTheStreamFails) {
    Bytes data = Wordy(200000, 10);
    Bytes block = Pack(data);
    DWORD n = 100000;
    std::memcpy(block.data(), &n, 4);
    Bytes back;
    EXPECT_FALSE(Unpack(block, &back));
    EXPECT_EQ(static_cast<int>(GetLastError()), LZO_E_OUTPUT_OVERRUN);
}

TEST(ZZ, AnAbsurdPrefixFailsBeforeAllocating) {
    Bytes block = Pack(Wordy(1000, 11));
    std::size_t before = LiveBlocks();
    for (DWORD n : {0xFFFFFFFFu, 0x80000000u, static_cast<DWORD>(256 * (block.size() - 4) + 1)}) {
        std::memcpy(block.data(), &n, 4);
        Bytes back;
        EXPECT_FALSE(Unpack(block, &back)) << n;
    }
    EXPECT_EQ(LiveBlocks(), before);

    // The limit leaves room for everything LZO1X-1 produces: a long run of one byte packs
    // tighter than any other input.
    Bytes zeros(16 << 20, 0);
    Bytes packed = Pack(zeros);
    Bytes back;
    ASSERT_TRUE(Unpack(packed, &back));
    EXPECT_TRUE(back == zeros);
}

TEST(ZZ, CallsFromManyThreadsShareTheWorkMemorySafely) {
    constexpr int kThreads = 4;
    std::vector<int> good(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &good] {
            for (int i = 0; i < 20; ++i) {
                Bytes data = Wordy(20000 + 1000 * i, static_cast<unsigned>(100 * t + i));
                BYTE* block = nullptr;
                DWORD size = 0;
                if (!zzcompress(&block, &size, data.data(), static_cast<DWORD>(data.size())))
                    continue;
                BYTE* back = nullptr;
                DWORD n = 0;
                if (zzdecompress(&back, &n, block, size) && n == data.size() &&
                    std::memcmp(back, data.data(), n) == 0)
                    ++good[t];
                zzfree(back);
                zzfree(block);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(good[t], 20) << "thread " << t;
}

} // namespace
