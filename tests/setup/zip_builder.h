// Archives and raw DEFLATE streams made by hand for the reader's tests and fuzz seeds: local
// headers as a writer lays them out, an optional central directory, and a bit writer for
// crafting DEFLATE blocks bit by bit.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

using Bytes = std::vector<BYTE>;

inline void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

struct Entry {
    std::string name;
    WORD method = 0;
    Bytes data;             // as stored (already compressed for method 8)
    std::uint32_t size = 0; // uncompressed size for the header
    WORD flags = 0;         // bit 3: a data descriptor follows
    bool descriptorSignature = true;
    WORD time = 0x6000;                    // 12:00:00
    WORD date = (46 << 9) | (3 << 5) | 14; // 2026-03-14
    Bytes extra;
};

// The local header, name, extra field, data and (with flag bit 3) the descriptor.
inline void AppendLocal(Bytes& out, const Entry& e) {
    Put32(out, 0x04034B50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, e.time);
    Put16(out, e.date);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(e.data.size()));
    Put32(out, e.size);
    Put16(out, static_cast<unsigned>(e.name.size()));
    Put16(out, static_cast<unsigned>(e.extra.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.extra.begin(), e.extra.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
    if (e.flags & 8) {
        if (e.descriptorSignature) Put32(out, 0x08074B50);
        Put32(out, 0);
        Put32(out, static_cast<std::uint32_t>(e.data.size()));
        Put32(out, e.size);
    }
}

// A whole archive: the entries, then a central directory record per entry and its end.
inline Bytes Archive(const std::vector<Entry>& entries, bool centralDirectory = true) {
    Bytes out;
    std::vector<std::uint32_t> offsets;
    for (const Entry& e : entries) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        AppendLocal(out, e);
    }
    if (!centralDirectory) return out;
    std::uint32_t cdStart = static_cast<std::uint32_t>(out.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, e.time);
        Put16(out, e.date);
        Put32(out, 0);
        Put32(out, static_cast<std::uint32_t>(e.data.size()));
        Put32(out, e.size);
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, offsets[i]);
        out.insert(out.end(), e.name.begin(), e.name.end());
    }
    std::uint32_t cdSize = static_cast<std::uint32_t>(out.size()) - cdStart;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(entries.size()));
    Put16(out, static_cast<unsigned>(entries.size()));
    Put32(out, cdSize);
    Put32(out, cdStart);
    Put16(out, 0);
    return out;
}

inline Entry Stored(std::string name, const std::string& text) {
    Entry e;
    e.name = std::move(name);
    e.data.assign(text.begin(), text.end());
    e.size = static_cast<std::uint32_t>(text.size());
    return e;
}

// Bits least significant first, as DEFLATE reads them.
class BitWriter {
public:
    // `count` bits of `value`, low bit first (header fields, extra bits).
    BitWriter& Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
        return *this;
    }
    // A Huffman code of `length` bits, most significant bit first.
    BitWriter& Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
        return *this;
    }
    BitWriter& Align() {
        while (used_ != 0)
            Bit(0);
        return *this;
    }
    BitWriter& Byte(BYTE b) { return Bits(b, 8); }
    Bytes Done() {
        Bytes out = bytes_;
        return out;
    }

private:
    void Bit(unsigned b) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() = static_cast<BYTE>(bytes_.back() | (b << used_));
        used_ = (used_ + 1) % 8;
    }
    Bytes bytes_;
    int used_ = 0;
};

// Fixed-code writers for crafted blocks.
inline void FixedLiteral(BitWriter& w, int sym) {
    if (sym < 144)
        w.Code(0x30 + sym, 8);
    else if (sym < 256)
        w.Code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.Code(sym - 256, 7);
    else
        w.Code(0xC0 + sym - 280, 8);
}

} // namespace ziptest
