#include "tests/setup/reference_inflate.h"

#include "setup/deflate.h"

#include <cstdint>
#include <memory>

namespace reference {

namespace {

struct Failure {
    const char* message;
};

struct Slot {
    bool used;
    BYTE length;
    std::uint16_t symbol;
};

struct Table {
    static constexpr std::uint32_t kCapacity = 131072;
    int minLength = 65535;
    int maxLength = 0;
    std::vector<Slot> slots = std::vector<Slot>(kCapacity);
    std::vector<std::uint32_t> entered; // slots to clear before the next build

    void Build(const BYTE* lengths, int n) {
        minLength = 65535;
        maxLength = 0;
        // Clearing only what the last build entered leaves every slot unused, as a fresh
        // table is, at a fraction of the cost.
        for (std::uint32_t i : entered)
            slots[i] = Slot{};
        entered.clear();
        int count[17] = {};
        for (int i = 0; i < n; ++i) {
            if (lengths[i] > 16) throw Failure{unzip::kInvalidCodeIndex};
            ++count[lengths[i]];
        }
        count[0] = 0;
        std::uint32_t next[17] = {};
        std::uint32_t code = 0;
        for (int bits = 1; bits <= 16; ++bits) {
            code = (code + count[bits - 1]) << 1;
            next[bits] = code;
        }
        for (int sym = 0; sym < n; ++sym) {
            int len = lengths[sym];
            if (!len) continue;
            std::uint32_t c = next[len]++;
            if (c >= kCapacity || slots[c].used) return;
            if (len < minLength) minLength = len;
            if (len > maxLength) maxLength = len;
            slots[c] = {true, static_cast<BYTE>(len), static_cast<std::uint16_t>(sym)};
            entered.push_back(c);
        }
    }
};

class Decoder {
public:
    Decoder(const BYTE* in, std::size_t size, std::size_t capacity)
        : in_(in), size_(size), capacity_(capacity) {}

    std::vector<BYTE> out;

    void Run() {
        BuildFixed();
        bool last = false;
        while (!last) {
            last = Bits(1);
            int type = static_cast<int>(Bits(2));
            if (type == 0)
                Stored();
            else if (type == 1)
                Block(*fixedLiteral_, *fixedDistance_);
            else if (type == 2)
                Dynamic();
            else
                throw Failure{unzip::kCannotDeflate};
        }
    }

private:
    void Need() {
        if (pos_ >= size_) throw Failure{unzip::kReadPastEnd};
        acc_ |= static_cast<std::uint32_t>(in_[pos_++]) << count_;
        count_ += 8;
    }
    std::uint32_t PeekBits(int n) {
        while (count_ < n)
            Need();
        return acc_ & ((1u << n) - 1);
    }
    std::uint32_t Bits(int n) {
        if (n == 0) return 0;
        std::uint32_t v = PeekBits(n);
        acc_ >>= n;
        count_ -= n;
        return v;
    }
    int Decode(const Table& t) {
        for (int len = t.minLength; len <= t.maxLength; ++len) {
            std::uint32_t bits = PeekBits(len);
            std::uint32_t value = 0;
            for (int i = 0; i < len; ++i)
                value |= ((bits >> i) & 1) << (len - 1 - i);
            const Slot& s = t.slots[value];
            if (s.used && s.length == len) {
                Bits(len);
                return s.symbol;
            }
        }
        throw Failure{unzip::kCannotDeflate};
    }
    void Put(BYTE b) {
        if (out.size() >= capacity_) throw Failure{unzip::kCannotDeflate};
        out.push_back(b);
    }
    void BuildFixed() {
        BYTE lengths[288];
        for (int i = 0; i < 288; ++i)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        fixedLiteral_->Build(lengths, 288);
        for (int i = 0; i < 30; ++i)
            lengths[i] = 5;
        fixedDistance_->Build(lengths, 30);
    }
    void Stored() {
        acc_ >>= count_ % 8;
        count_ -= count_ % 8;
        std::uint32_t len = Bits(16);
        std::uint32_t nlen = Bits(16);
        if (len != (~nlen & 0xFFFF)) throw Failure{unzip::kCannotDeflate};
        for (std::uint32_t i = 0; i < len; ++i)
            Put(static_cast<BYTE>(Bits(8)));
    }
    void Dynamic() {
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        int nlit = static_cast<int>(Bits(5)) + 257;
        int ndist = static_cast<int>(Bits(5)) + 1;
        int nclen = static_cast<int>(Bits(4)) + 4;
        BYTE cl[19] = {};
        for (int i = 0; i < nclen; ++i)
            cl[order[i]] = static_cast<BYTE>(Bits(3));
        codeLength_->Build(cl, 19);
        std::vector<BYTE> lengths;
        int total = nlit + ndist;
        while (static_cast<int>(lengths.size()) < total) {
            int sym = Decode(*codeLength_);
            if (sym < 16) {
                lengths.push_back(static_cast<BYTE>(sym));
                continue;
            }
            int repeat;
            BYTE value = 0;
            if (sym == 16) {
                if (lengths.empty()) throw Failure{unzip::kCannotDeflate};
                value = lengths.back();
                repeat = 3 + static_cast<int>(Bits(2));
            } else if (sym == 17) {
                repeat = 3 + static_cast<int>(Bits(3));
            } else {
                repeat = 11 + static_cast<int>(Bits(7));
            }
            if (static_cast<int>(lengths.size()) + repeat > total)
                throw Failure{unzip::kCannotDeflate};
            lengths.insert(lengths.end(), static_cast<std::size_t>(repeat), value);
        }
        dynamicLiteral_->Build(lengths.data(), nlit);
        dynamicDistance_->Build(lengths.data() + nlit, ndist);
        Block(*dynamicLiteral_, *dynamicDistance_);
    }
    void Block(const Table& literal, const Table& distance) {
        static const int lbase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const int dbase[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const int dextra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int sym = Decode(literal);
            if (sym < 256) {
                Put(static_cast<BYTE>(sym));
            } else if (sym == 256) {
                return;
            } else if (sym > 285) {
                throw Failure{unzip::kCannotDeflate};
            } else {
                int length = lbase[sym - 257] + static_cast<int>(Bits(lextra[sym - 257]));
                int dsym = Decode(distance);
                if (dsym >= 30) throw Failure{unzip::kCannotDeflate};
                std::size_t dist = static_cast<std::size_t>(dbase[dsym]) + Bits(dextra[dsym]);
                if (dist > out.size()) throw Failure{unzip::kInvalidLookback};
                for (int i = 0; i < length; ++i)
                    Put(out[out.size() - dist]);
            }
        }
    }

    const BYTE* in_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t capacity_;
    std::uint32_t acc_ = 0;
    int count_ = 0;
    // The five tables, made once per thread and rebuilt by every call.
    static Table* Tables() {
        thread_local std::unique_ptr<Table[]> tables(new Table[5]);
        return tables.get();
    }
    Table* fixedLiteral_ = Tables();
    Table* fixedDistance_ = Tables() + 1;
    Table* codeLength_ = Tables() + 2;
    Table* dynamicLiteral_ = Tables() + 3;
    Table* dynamicDistance_ = Tables() + 4;
};

} // namespace

Result Inflate(const BYTE* in, std::size_t inSize, std::size_t capacity) {
    Decoder d(in, inSize, capacity);
    Result r;
    try {
        d.Run();
    } catch (const Failure& f) {
        r.error = f.message;
    }
    r.bytes = std::move(d.out);
    return r;
}

} // namespace reference
