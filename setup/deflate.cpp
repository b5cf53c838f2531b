#include "setup/deflate.h"

#include "foundation/cetl.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the bit reader loads words as bytes");

namespace unzip {

namespace {

[[noreturn]] void Fail(const char* message) {
    throw cetl::exception(message);
}

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr BYTE kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr BYTE kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr BYTE kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// Input bits, least significant first. The low `n_` bits of `bits_` are the next input bits;
// only whole input bytes are counted, so running short of bits means the input is used up.
// Bits above the count are copies of the bytes at p_ (a refill ORs the same bits again).
class BitReader {
public:
    BitReader(const BYTE* in, DWORD size) : begin_(in), p_(in), end_(in + size) {}

    void Refill() {
        if (end_ - p_ >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p_, 8);
            bits_ |= word << n_;
            p_ += (63 - n_) >> 3;
            n_ |= 56;
        } else {
            while (n_ <= 56 && p_ < end_) {
                bits_ |= static_cast<std::uint64_t>(*p_++) << n_;
                n_ += 8;
            }
        }
    }
    std::uint32_t Get(int k) {
        if (n_ < k) {
            Refill();
            if (n_ < k) Fail(kReadPastEnd);
        }
        std::uint32_t v = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << k) - 1));
        Drop(k);
        return v;
    }
    void Drop(int k) {
        bits_ >>= k;
        n_ -= k;
    }
    void AlignToByte() { Drop(n_ & 7); }
    int Available() const { return n_; }
    std::uint64_t Peek() const { return bits_; }
    // Whole bytes left: those in the bit buffer first, then the rest of the input.
    std::size_t BytesLeft() const { return static_cast<std::size_t>(n_ / 8) + (end_ - p_); }
    // Copies `count` bytes (the caller has checked BytesLeft) on a byte boundary.
    void CopyBytes(BYTE* out, std::size_t count) {
        while (count && n_ >= 8) {
            *out++ = static_cast<BYTE>(bits_);
            Drop(8);
            --count;
        }
        if (!count) return;
        // The buffer is empty; what lies above its count are copies of the bytes at p_,
        // which are about to be passed.
        bits_ = 0;
        std::memcpy(out, p_, count);
        p_ += count;
    }
    void SkipBytes(std::size_t count) {
        while (count && n_ >= 8) {
            Drop(8);
            --count;
        }
        if (!count) return;
        bits_ = 0;
        p_ += count;
    }
    // Input bytes taken so far; a partly read byte counts as taken.
    std::size_t Consumed() const { return static_cast<std::size_t>(p_ - begin_) - n_ / 8; }

private:
    const BYTE* begin_;
    const BYTE* p_;
    const BYTE* end_;
    std::uint64_t bits_ = 0;
    int n_ = 0;
};

std::uint32_t Reverse(std::uint32_t code, int length) {
    std::uint32_t r = 0;
    for (int i = 0; i < length; ++i, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

// Decoding bit by bit, shortest code first: the codes longer than the root table and the
// last symbols of the stream, where the next bits may not all be there.
int DecodeSlow(BitReader& in, const HuffTable& t) {
    std::uint64_t bits = in.Peek();
    int available = in.Available();
    std::uint32_t code = 0;
    for (int length = 1; length <= t.maxLength; ++length) {
        if (length > available) Fail(kReadPastEnd);
        code = (code << 1) | static_cast<std::uint32_t>((bits >> (length - 1)) & 1);
        std::uint32_t index = code - t.first[length];
        if (index < t.count[length]) {
            in.Drop(length);
            return t.symbols[t.offset[length] + index];
        }
    }
    Fail(kCannotDeflate);
}

inline int Decode(BitReader& in, const HuffTable& t) {
    if (in.Available() < 16) in.Refill();
    if (in.Available() >= 16) {
        std::uint16_t e = t.root[in.Peek() & ((1u << HuffTable::kRootBits) - 1)];
        if (e) {
            in.Drop(e >> 9);
            return e & 511;
        }
    }
    return DecodeSlow(in, t);
}

struct FixedTables {
    HuffTable literal;
    HuffTable distance;
    FixedTables() {
        BYTE lengths[288];
        for (int i = 0; i < 288; ++i)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        BuildTable(literal, lengths, 288);
        for (int i = 0; i < 30; ++i)
            lengths[i] = 5;
        BuildTable(distance, lengths, 30);
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

// With kWrite false nothing is written: the run only measures the stream (how much input it
// takes, how much it produces), for entries whose header leaves the compressed size open.
template <bool kWrite>
class Inflater {
public:
    Inflater(const BYTE* in, DWORD inSize, BYTE* out, DWORD capacity)
        : in_(in, inSize), out_(out), capacity_(capacity) {}

    DWORD Run() {
        bool last = false;
        while (!last) {
            last = in_.Get(1) != 0;
            switch (in_.Get(2)) {
            case 0:
                Stored();
                break;
            case 1:
                Compressed(Fixed().literal, Fixed().distance);
                break;
            case 2:
                Dynamic();
                break;
            default:
                Fail(kCannotDeflate);
            }
        }
        return pos_;
    }

private:
    void Stored() {
        in_.AlignToByte();
        std::uint32_t len = in_.Get(16);
        std::uint32_t nlen = in_.Get(16);
        if (len != (~nlen & 0xFFFF)) Fail(kCannotDeflate);
        // Byte by byte, each one is read before it is written: a shortage of input shows
        // first unless the output runs out earlier.
        std::size_t inLeft = in_.BytesLeft();
        std::size_t room = capacity_ - pos_;
        if (len > inLeft && inLeft <= room) Fail(kReadPastEnd);
        if (len > room) Fail(kCannotDeflate);
        if constexpr (kWrite)
            in_.CopyBytes(out_ + pos_, len);
        else
            in_.SkipBytes(len);
        pos_ += len;
    }

    void Dynamic() {
        int nlit = static_cast<int>(in_.Get(5)) + 257;
        int ndist = static_cast<int>(in_.Get(5)) + 1;
        int nclen = static_cast<int>(in_.Get(4)) + 4;
        BYTE clLengths[19] = {};
        for (int i = 0; i < nclen; ++i)
            clLengths[kCodeLengthOrder[i]] = static_cast<BYTE>(in_.Get(3));
        BuildTable(work_[0], clLengths, 19);

        // The literal/length and distance lengths form one sequence, so a repeat may carry
        // from one into the other, but never past the end of the sequence.
        BYTE lengths[HuffTable::kMaxSymbols];
        int total = nlit + ndist;
        int i = 0;
        while (i < total) {
            int sym = Decode(in_, work_[0]);
            int repeat;
            BYTE value = 0;
            if (sym < 16) {
                lengths[i++] = static_cast<BYTE>(sym);
                continue;
            } else if (sym == 16) {
                if (i == 0) Fail(kCannotDeflate);
                value = lengths[i - 1];
                repeat = 3 + static_cast<int>(in_.Get(2));
            } else if (sym == 17) {
                repeat = 3 + static_cast<int>(in_.Get(3));
            } else {
                repeat = 11 + static_cast<int>(in_.Get(7));
            }
            if (repeat > total - i) Fail(kCannotDeflate);
            std::memset(lengths + i, value, static_cast<std::size_t>(repeat));
            i += repeat;
        }
        BuildTable(work_[1], lengths, nlit);
        BuildTable(work_[2], lengths + nlit, ndist);
        Compressed(work_[1], work_[2]);
    }

    void Compressed(const HuffTable& literal, const HuffTable& distance) {
        for (;;) {
            int sym = Decode(in_, literal);
            if (sym < 256) {
                if (pos_ >= capacity_) Fail(kCannotDeflate);
                if constexpr (kWrite) out_[pos_] = static_cast<BYTE>(sym);
                ++pos_;
                continue;
            }
            if (sym == 256) return;
            if (sym > 285) Fail(kCannotDeflate);
            sym -= 257;
            std::uint32_t length = kLengthBase[sym] + in_.Get(kLengthExtra[sym]);
            int dsym = Decode(in_, distance);
            if (dsym >= 30) Fail(kCannotDeflate);
            std::uint32_t dist = kDistanceBase[dsym] + in_.Get(kDistanceExtra[dsym]);
            if (dist > pos_) Fail(kInvalidLookback);
            if (length > capacity_ - pos_) Fail(kCannotDeflate);
            if constexpr (kWrite)
                Copy(dist, length);
            else
                pos_ += length;
        }
    }

    void Copy(std::uint32_t dist, std::uint32_t length) {
        BYTE* to = out_ + pos_;
        const BYTE* from = to - dist;
        pos_ += length;
        // Eight bytes at a time when the source stays eight behind and the last word fits.
        if (dist >= 8 && capacity_ - (pos_ - length) >= length + 8) {
            for (std::uint32_t done = 0; done < length; done += 8)
                std::memcpy(to + done, from + done, 8);
            return;
        }
        for (std::uint32_t k = 0; k < length; ++k)
            to[k] = from[k];
    }

public:
    std::size_t Consumed() const { return in_.Consumed(); }

private:
    BitReader in_;
    BYTE* out_;
    DWORD capacity_;
    DWORD pos_ = 0;
    HuffTable work_[3];
};

} // namespace

void BuildTable(HuffTable& t, const BYTE* lengths, int n) {
    unsigned lengthCount[17] = {};
    for (int i = 0; i < n; ++i) {
        if (lengths[i] > 16) Fail(kInvalidCodeIndex);
        ++lengthCount[lengths[i]];
    }
    lengthCount[0] = 0;
    std::uint32_t next[17] = {};
    std::uint32_t code = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        code = (code + lengthCount[bits - 1]) << 1;
        next[bits] = code;
    }
    // Symbols by length, in symbol order, laid out before any is numbered.
    std::uint16_t at = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        t.first[bits] = next[bits];
        t.count[bits] = 0;
        t.offset[bits] = at;
        at = static_cast<std::uint16_t>(at + lengthCount[bits]);
    }
    t.first[0] = 0;
    t.count[0] = 0;
    t.offset[0] = 0;
    t.minLength = 65535;
    t.maxLength = 0;
    std::memset(t.root, 0, sizeof t.root);
    for (int sym = 0; sym < n; ++sym) {
        int len = lengths[sym];
        if (!len) continue;
        std::uint32_t c = next[len]++;
        // Canonical codes never share a value, so only the capacity ends the numbering.
        if (c >= HuffTable::kCodeCapacity) break;
        if (len < t.minLength) t.minLength = len;
        if (len > t.maxLength) t.maxLength = len;
        t.symbols[t.offset[len] + t.count[len]++] = static_cast<std::uint16_t>(sym);
        // A code longer than its length allows never matches the stream.
        if (len <= HuffTable::kRootBits && c < (1u << len)) {
            std::uint32_t r = Reverse(c, len);
            for (std::uint32_t i = r; i < (1u << HuffTable::kRootBits); i += 1u << len)
                t.root[i] = static_cast<std::uint16_t>((len << 9) | sym);
        }
    }
}

template <bool kWrite>
DWORD Run(const BYTE* in, DWORD inSize, BYTE* out, DWORD outCapacity, DWORD* consumed) {
    auto* inflater = new (MM("HUFFTABLE")) Inflater<kWrite>(in, inSize, out, outCapacity);
    try {
        DWORD produced = inflater->Run();
        if (consumed) *consumed = static_cast<DWORD>(inflater->Consumed());
        MemDelete(inflater, MM("HUFFTABLE"));
        return produced;
    } catch (...) {
        MemDelete(inflater, MM("HUFFTABLE"));
        throw;
    }
}

DWORD Inflate(const BYTE* in, DWORD inSize, BYTE* out, DWORD outCapacity) {
    return Run<true>(in, inSize, out, outCapacity, nullptr);
}

DWORD Measure(const BYTE* in, DWORD inSize, DWORD* consumed) {
    return Run<false>(in, inSize, nullptr, 0xFFFFFFFF, consumed);
}

} // namespace unzip
