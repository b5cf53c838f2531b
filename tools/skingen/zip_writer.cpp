#include "tools/skingen/zip_writer.h"

#include <array>

namespace skingen {

namespace {

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

class Bits {
public:
    explicit Bits(Bytes& out) : out_(out) {}
    void Put(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
    }
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    void Literal(int sym) {
        if (sym < 144)
            Code(0x30 + sym, 8);
        else if (sym < 256)
            Code(0x190 + sym - 144, 9);
        else if (sym < 280)
            Code(sym - 256, 7);
        else
            Code(0xC0 + sym - 280, 8);
    }

private:
    void Bit(unsigned b) {
        if (used_ == 0) out_.push_back(0);
        out_.back() = static_cast<std::uint8_t>(out_.back() | (b << used_));
        used_ = (used_ + 1) % 8;
    }
    Bytes& out_;
    int used_ = 0;
};

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void Match(Bits& bits, int length, int distance) {
    int l = 28;
    while (kLengthBase[l] > length)
        --l;
    bits.Literal(257 + l);
    bits.Put(static_cast<std::uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    int d = 29;
    while (kDistBase[d] > distance)
        --d;
    bits.Code(static_cast<std::uint32_t>(d), 5);
    bits.Put(static_cast<std::uint32_t>(distance - kDistBase[d]), kDistExtra[d]);
}

} // namespace

Bytes DeflateFixed(const Bytes& data) {
    Bytes out;
    Bits bits(out);
    bits.Put(1, 1); // the last block
    bits.Put(1, 2); // fixed codes
    constexpr int kHashBits = 14;
    constexpr std::size_t kWindow = 32768;
    std::vector<std::int64_t> head(1 << kHashBits, -1), prev(data.size(), -1);
    auto hash = [&](std::size_t i) {
        return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & ((1 << kHashBits) - 1);
    };
    std::size_t i = 0;
    auto insert = [&](std::size_t at) {
        if (at + 2 >= data.size()) return;
        int h = hash(at);
        prev[at] = head[h];
        head[h] = static_cast<std::int64_t>(at);
    };
    while (i < data.size()) {
        int bestLength = 0, bestDistance = 0;
        if (i + 2 < data.size()) {
            int chain = 64;
            for (std::int64_t c = head[hash(i)]; c >= 0 && chain-- > 0; c = prev[c]) {
                std::size_t from = static_cast<std::size_t>(c);
                if (i - from > kWindow) break;
                int n = 0;
                while (n < 258 && i + n < data.size() && data[from + n] == data[i + n])
                    ++n;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = static_cast<int>(i - from);
                }
            }
        }
        if (bestLength >= 3) {
            Match(bits, bestLength, bestDistance);
            for (int k = 0; k < bestLength; ++k)
                insert(i + k);
            i += bestLength;
        } else {
            bits.Literal(data[i]);
            insert(i);
            ++i;
        }
    }
    bits.Literal(256);
    return out;
}

std::uint32_t Crc32(const Bytes& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : data)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void ZipWriter::Add(const std::string& name, const Bytes& data, bool deflate) {
    Bytes packed = deflate ? DeflateFixed(data) : data;
    Entry e{name,
            static_cast<std::uint16_t>(deflate ? 8 : 0),
            Crc32(data),
            static_cast<std::uint32_t>(data.size()),
            static_cast<std::uint32_t>(packed.size()),
            static_cast<std::uint32_t>(out_.size())};
    // A fixed time, so every build writes the same bytes: 2026-01-01 12:00.
    const unsigned time = 12 << 11, date = (46 << 9) | (1 << 5) | 1;
    Put32(out_, 0x04034B50);
    Put16(out_, 20);
    Put16(out_, 0);
    Put16(out_, e.method);
    Put16(out_, time);
    Put16(out_, date);
    Put32(out_, e.crc);
    Put32(out_, e.compressed);
    Put32(out_, e.size);
    Put16(out_, static_cast<unsigned>(name.size()));
    Put16(out_, 0);
    out_.insert(out_.end(), name.begin(), name.end());
    out_.insert(out_.end(), packed.begin(), packed.end());
    entries_.push_back(e);
}

Bytes ZipWriter::Finish() const {
    Bytes out = out_;
    std::uint32_t start = static_cast<std::uint32_t>(out.size());
    const unsigned time = 12 << 11, date = (46 << 9) | (1 << 5) | 1;
    for (const Entry& e : entries_) {
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, e.method);
        Put16(out, time);
        Put16(out, date);
        Put32(out, e.crc);
        Put32(out, e.compressed);
        Put32(out, e.size);
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, e.offset);
        out.insert(out.end(), e.name.begin(), e.name.end());
    }
    std::uint32_t size = static_cast<std::uint32_t>(out.size()) - start;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(entries_.size()));
    Put16(out, static_cast<unsigned>(entries_.size()));
    Put32(out, size);
    Put32(out, start);
    Put16(out, 0);
    return out;
}

} // namespace skingen
