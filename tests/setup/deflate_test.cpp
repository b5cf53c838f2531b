// The shipped inflater against zlib on valid streams, against the plain reference decoder on
// crafted and damaged ones (same bytes, same message), and every fault it reports.
#include "setup/deflate.h"

#include "foundation/cetl.h"
#include "tests/setup/reference_inflate.h"
#include "tests/setup/zip_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

using ziptest::BitWriter;
using ziptest::Bytes;

struct Outcome {
    Bytes bytes;
    std::string error;
};

Outcome Shipped(const Bytes& in, std::size_t capacity) {
    Outcome o;
    Bytes out(capacity + 1, 0xEE); // one guard byte past the capacity
    try {
        DWORD n = unzip::Inflate(in.data(), static_cast<DWORD>(in.size()), out.data(),
                                 static_cast<DWORD>(capacity));
        o.bytes.assign(out.begin(), out.begin() + n);
    } catch (const cetl::exception& e) {
        o.error = e.message().c_str();
    }
    EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
    return o;
}

// Both decoders on one input: they must agree; returns the shipped outcome.
Outcome Both(const Bytes& in, std::size_t capacity) {
    Outcome o = Shipped(in, capacity);
    reference::Result r = reference::Inflate(in.data(), in.size(), capacity);
    EXPECT_EQ(o.error, r.error);
    if (o.error.empty()) {
        EXPECT_EQ(o.bytes, r.bytes);
    }
    return o;
}

Bytes ZlibDeflate(const Bytes& data, int level, int strategy, int memLevel = 8) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes Sample(int kind, std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    static const char* const words[] = {"skin ", "frame ", "button ", "setup ", "Tessark\n"};
    std::size_t i = 0;
    while (i < n) {
        switch (kind) {
        case 0: // noise
            b[i++] = static_cast<BYTE>(gen());
            break;
        case 1: // words
            for (const char* w = words[gen() % 5]; *w && i < n; ++w)
                b[i++] = static_cast<BYTE>(*w);
            break;
        case 2: // long runs
            for (BYTE v = static_cast<BYTE>(gen() % 4), k = static_cast<BYTE>(gen()); k && i < n;
                 --k)
                b[i++] = v;
            break;
        default: // image-like rows with small variation
            b[i] = static_cast<BYTE>((i % 97) + (gen() % 3));
            ++i;
        }
    }
    return b;
}

TEST(InflateZlib, ValidStreamsOfEveryKindComeBackByteForByte) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    const std::size_t sizes[] = {0, 1, 7, 300, 40000, 300000};
    unsigned seed = 1;
    for (int kind = 0; kind < 4; ++kind)
        for (std::size_t n : sizes)
            for (int strategy : strategies)
                for (int level : {0, 1, 6, 9}) {
                    Bytes data = Sample(kind, n, seed++);
                    Bytes packed = ZlibDeflate(data, level, strategy, level == 9 ? 9 : 1 + kind);
                    Outcome o = Shipped(packed, data.size());
                    ASSERT_EQ(o.error, "") << "kind " << kind << " size " << n << " level " << level
                                           << " strategy " << strategy;
                    ASSERT_EQ(o.bytes, data) << "kind " << kind << " size " << n;
                    // The reference is slow; it checks the small ones.
                    if (n <= 40000) {
                        reference::Result r =
                            reference::Inflate(packed.data(), packed.size(), data.size());
                        ASSERT_EQ(r.error, "");
                        ASSERT_EQ(r.bytes, data);
                    }
                }
}

TEST(InflateZlib, MeasureGivesTheStreamLengthAndOutputSize) {
    Bytes data = Sample(1, 50000, 9);
    Bytes packed = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    Bytes trailing = packed;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
    DWORD consumed = 0;
    EXPECT_EQ(unzip::Measure(trailing.data(), static_cast<DWORD>(trailing.size()), &consumed),
              data.size());
    EXPECT_EQ(consumed, packed.size());
}

TEST(InflateFaults, StoredBlocks) {
    // NLEN that is not the complement of LEN.
    Bytes bad = BitWriter().Bits(1, 1).Bits(0, 2).Align().Bits(5, 16).Bits(0, 16).Done();
    EXPECT_EQ(Both(bad, 100).error, unzip::kCannotDeflate);
    // A good one, then one whose bytes run out.
    BitWriter good;
    good.Bits(1, 1).Bits(0, 2).Align().Bits(3, 16).Bits(0xFFFC, 16).Byte('a').Byte('b').Byte('c');
    Outcome o = Both(good.Done(), 3);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(std::string(o.bytes.begin(), o.bytes.end()), "abc");
    Bytes shortData =
        BitWriter().Bits(1, 1).Bits(0, 2).Align().Bits(10, 16).Bits(0xFFF5, 16).Byte('x').Done();
    EXPECT_EQ(Both(shortData, 100).error, unzip::kReadPastEnd);
    // Three bytes into room for two fails the block; input shortage seen first wins a tie.
    EXPECT_EQ(Both(good.Done(), 2).error, unzip::kCannotDeflate);
    EXPECT_EQ(Both(shortData, 1).error, unzip::kReadPastEnd);
    EXPECT_EQ(Both(shortData, 0).error, unzip::kCannotDeflate);
}

TEST(InflateFaults, HeaderAndSymbolFaults) {
    EXPECT_EQ(Both({}, 10).error, unzip::kReadPastEnd);
    // BTYPE 3.
    EXPECT_EQ(Both(BitWriter().Bits(1, 1).Bits(3, 2).Done(), 10).error, unzip::kCannotDeflate);
    // A match before anything was produced.
    BitWriter w;
    w.Bits(1, 1).Bits(1, 2);
    ziptest::FixedLiteral(w, 257);
    w.Code(0, 5);
    EXPECT_EQ(Both(w.Done(), 10).error, unzip::kInvalidLookback);
    // Literal/length symbol 286 and distance symbol 30 exist in the fixed codes but mean
    // nothing.
    BitWriter s286;
    s286.Bits(1, 1).Bits(1, 2);
    ziptest::FixedLiteral(s286, 286);
    EXPECT_EQ(Both(s286.Done(), 10).error, unzip::kCannotDeflate);
    BitWriter d30;
    d30.Bits(1, 1).Bits(1, 2);
    ziptest::FixedLiteral(d30, 'a');
    ziptest::FixedLiteral(d30, 257);
    d30.Code(30, 5);
    EXPECT_EQ(Both(d30.Done(), 10).error, unzip::kCannotDeflate);
    // A block without its end code runs out of input.
    BitWriter open;
    open.Bits(1, 1).Bits(1, 2);
    ziptest::FixedLiteral(open, 'a');
    EXPECT_EQ(Both(open.Done(), 10).error, unzip::kReadPastEnd);
    // Overlapping match "a" + length 5 at distance 1 fits exactly in 6 bytes, not in 5.
    BitWriter run;
    run.Bits(1, 1).Bits(1, 2);
    ziptest::FixedLiteral(run, 'a');
    ziptest::FixedLiteral(run, 259);
    run.Code(0, 5);
    ziptest::FixedLiteral(run, 256);
    Outcome o = Both(run.Done(), 6);
    EXPECT_EQ(std::string(o.bytes.begin(), o.bytes.end()), "aaaaaa");
    EXPECT_EQ(Both(run.Done(), 5).error, unzip::kCannotDeflate);
    EXPECT_EQ(Both(run.Done(), 0).error, unzip::kCannotDeflate);
}

TEST(InflateFaults, CodeLengthAboveSixteenIsAnInvalidCodeIndex) {
    // Lengths from a stream never exceed 15, so the table builder is asked directly.
    auto table = std::make_unique<unzip::HuffTable>();
    BYTE lengths[4] = {2, 2, 17, 2};
    try {
        unzip::BuildTable(*table, lengths, 4);
        FAIL() << "no exception";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(), unzip::kInvalidCodeIndex);
    }
    BYTE ok[4] = {2, 2, 16, 2};
    EXPECT_NO_THROW(unzip::BuildTable(*table, ok, 4));
    EXPECT_EQ(table->maxLength, 16);
}

// A dynamic block header whose code-length code gives symbols 1, 16, 17 and 18 two bits each
// (codes 00, 01, 10, 11), the rest none.
BitWriter DynamicHeader(int hlit, int hdist) {
    BitWriter w;
    w.Bits(1, 1)
        .Bits(2, 2)
        .Bits(static_cast<unsigned>(hlit - 257), 5)
        .Bits(static_cast<unsigned>(hdist - 1), 5)
        .Bits(18 - 4, 4);
    // Order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
    const int lengthsInOrder[18] = {2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    for (int l : lengthsInOrder)
        w.Bits(static_cast<unsigned>(l), 3);
    return w;
}
void One(BitWriter& w) {
    w.Code(0, 2);
}
void Repeat(BitWriter& w, int n) {
    w.Code(1, 2).Bits(static_cast<unsigned>(n - 3), 2);
}
void Zeros(BitWriter& w, int n) {
    while (n >= 11) {
        int k = n > 138 ? 138 : n;
        w.Code(3, 2).Bits(static_cast<unsigned>(k - 11), 7);
        n -= k;
    }
    if (n >= 3) {
        w.Code(2, 2).Bits(static_cast<unsigned>(n - 3), 3);
        n = 0;
    }
    ASSERT_EQ(n, 0);
}

TEST(InflateFaults, RepeatCodesStayInsideTheirRun) {
    // Literal 'a' and the end code with one bit each; the 16 that follows the end code's
    // length carries on into the three distance lengths, which is accepted.
    BitWriter crossing = DynamicHeader(257, 3);
    Zeros(crossing, 'a');
    One(crossing);
    Zeros(crossing, 256 - 'a' - 1);
    One(crossing);
    Repeat(crossing, 3);
    crossing.Code(0, 1).Code(0, 1).Code(1, 1);
    Outcome o = Both(crossing.Done(), 10);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(std::string(o.bytes.begin(), o.bytes.end()), "aa");

    // A run of zeros longer than what is left of the lengths.
    BitWriter past = DynamicHeader(257, 1);
    Zeros(past, 138);
    Zeros(past, 119);
    past.Code(3, 2).Bits(127, 7); // 138 more: 395 of 258
    EXPECT_EQ(Both(past.Done(), 10).error, unzip::kCannotDeflate);

    // A repeat with nothing before it.
    BitWriter first = DynamicHeader(257, 1);
    Repeat(first, 3);
    EXPECT_EQ(Both(first.Done(), 10).error, unzip::kCannotDeflate);

    // A repeat of 6 where only 4 lengths are left.
    BitWriter tail = DynamicHeader(257, 1);
    Zeros(tail, 254);
    One(tail);
    Repeat(tail, 6);
    EXPECT_EQ(Both(tail.Done(), 10).error, unzip::kCannotDeflate);
}

// Damaged copies of valid streams: flipped bits, cut ends, overwritten bytes. Whatever the
// damage, both decoders give the same bytes or the same message, and nothing is written
// past the buffer.
TEST(InflateDamage, ShippedAgreesWithReferenceOnDamagedStreams) {
    std::mt19937 gen(17);
    int failures = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes data = Sample(round % 4, 200 + gen() % 3000, static_cast<unsigned>(round));
        const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE};
        Bytes packed = ZlibDeflate(data, 1 + round % 9, strategies[round % 4]);
        int changes = 1 + static_cast<int>(gen() % 4);
        for (int c = 0; c < changes && !packed.empty(); ++c) {
            std::size_t at = gen() % packed.size();
            switch (gen() % 3) {
            case 0:
                packed[at] = static_cast<BYTE>(packed[at] ^ (1u << (gen() % 8)));
                break;
            case 1:
                packed.resize(at);
                break;
            default:
                packed[at] = static_cast<BYTE>(gen());
            }
        }
        std::size_t capacity = data.size() + (gen() % 2 ? 1024 : 0);
        Outcome o = Both(packed, capacity);
        failures += !o.error.empty();
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
    // Damage must mostly be noticed, or the comparison proves little.
    EXPECT_GT(failures, 200);
}

} // namespace
