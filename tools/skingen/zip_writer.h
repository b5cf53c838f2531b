// A small ZIP writer for the build's skin archive: entries stored or deflated (fixed Huffman
// codes over greedy LZ77 matches), CRC-32 filled in, and a central directory, so any ZIP tool
// can check the archive as well as the setup program's reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skingen {

using Bytes = std::vector<std::uint8_t>;

// A raw DEFLATE stream of `data` in one block with the fixed codes.
Bytes DeflateFixed(const Bytes& data);
std::uint32_t Crc32(const Bytes& data);

class ZipWriter {
public:
    void Add(const std::string& name, const Bytes& data, bool deflate);
    Bytes Finish() const;

private:
    struct Entry {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc, size, compressed, offset;
    };
    Bytes out_;
    std::vector<Entry> entries_;
};

} // namespace skingen
