// The DEFLATE decoder (RFC 1951) behind the ZIP reader. It expands one raw stream into a
// buffer of fixed capacity and reports every fault by throwing a `cetl::exception` with one of
// the messages below; it never writes at or past the end of the buffer.
#pragma once

#include "platform/types.h"

#include <cstdint>

namespace unzip {

inline constexpr char kReadPastEnd[] = "unzip read past end of stream";
inline constexpr char kInvalidCodeIndex[] = "unzip encountered invalid code index";
inline constexpr char kInvalidLookback[] = "unzip encountered invalid lookback index";
inline constexpr char kCannotDeflate[] = "unable to deflate .ZIP file content";

// Expands `inSize` bytes of a raw DEFLATE stream into `out`, which holds `outCapacity` bytes.
// Returns the number of bytes produced. Output that would not fit fails the block, as any
// other undecodable content does.
DWORD Inflate(const BYTE* in, DWORD inSize, BYTE* out, DWORD outCapacity);
// Runs the stream without writing anything: returns the bytes it would produce and stores in
// `consumed` how many input bytes it takes up to the end of its last block. Fails as Inflate.
DWORD Measure(const BYTE* in, DWORD inSize, DWORD* consumed);

// A canonical Huffman decoding table. Codes are numbered in symbol order from the code
// lengths; numbering stops at the first code that reaches kCodeCapacity (an over-subscribed
// set of lengths), keeping the codes numbered before it. Decoding tries the code lengths from
// the shortest up and takes the first code that matches the next bits of the stream.
struct HuffTable {
    static constexpr int kRootBits = 10;
    static constexpr std::uint32_t kCodeCapacity = 131072;
    static constexpr int kMaxSymbols = 320;

    int minLength = 65535;
    int maxLength = 0;
    // Codes of up to kRootBits bits by the next kRootBits stream bits: (length << 9) | symbol,
    // 0 where no such code matches.
    std::uint16_t root[1 << kRootBits];
    // Per code length: the first code, how many codes were numbered, where their symbols
    // start in `symbols`.
    std::uint32_t first[17];
    std::uint16_t count[17];
    std::uint16_t offset[17];
    std::uint16_t symbols[kMaxSymbols];
};

// Builds `table` from `n` code lengths (n at most HuffTable::kMaxSymbols). A length above 16
// throws kInvalidCodeIndex.
void BuildTable(HuffTable& table, const BYTE* lengths, int n);

} // namespace unzip
