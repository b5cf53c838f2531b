// Writes the seed corpus of the ZIP fuzz target into a folder: archives of stored and deflated
// entries (with and without data descriptors) and raw DEFLATE streams of every block type,
// each behind the two bytes that give the output room.
#include "tests/setup/zip_builder.h"

#include <zlib.h>

#include <cstdio>
#include <string>

namespace {

ziptest::Bytes Raw(const std::string& text, int level, int strategy) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    ziptest::Bytes out(deflateBound(&z, static_cast<uLong>(text.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

bool Save(const std::string& dir, const std::string& name, const ziptest::Bytes& bytes) {
    std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-zip-seeds FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "frame border = " + std::to_string(i) + "\n";
    bool ok = true;
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE};
    int n = 0;
    for (int level : {0, 1, 9})
        for (int strategy : strategies) {
            ziptest::Bytes raw = {0x00, 0x08}; // room for 2048 bytes
            ziptest::Bytes packed = Raw(text.substr(0, 200 + 300 * (n % 3)), level, strategy);
            raw.insert(raw.end(), packed.begin(), packed.end());
            ok &= Save(dir, "raw-" + std::to_string(n++), raw);
        }
    ziptest::Entry deflated;
    deflated.name = "list.psp";
    deflated.method = 8;
    deflated.data = Raw(text, 6, Z_DEFAULT_STRATEGY);
    deflated.size = static_cast<std::uint32_t>(text.size());
    ziptest::Entry described = deflated;
    described.name = "skin.txt";
    described.flags = 8;
    ziptest::Entry bare = ziptest::Stored("frame.psp", "stored entry");
    bare.flags = 8;
    bare.descriptorSignature = false;
    ok &= Save(dir, "zip-0", ziptest::Archive({ziptest::Stored("arm/", ""), deflated}));
    ok &= Save(dir, "zip-1", ziptest::Archive({described, bare}));
    ok &= Save(dir, "zip-2", ziptest::Archive({ziptest::Stored("a", "b")}, false));
    return ok ? 0 : 1;
}
