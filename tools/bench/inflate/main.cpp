// Expansion speed of the shipped inflater against zlib's `inflate` on the same raw DEFLATE
// streams in the same run: the deflated entries of a skin archive (read through the ZIP
// reader with extraction skipped) and a large file deflated here by zlib.
//   bench-inflate [SKIN.zip] [megabytes]
// Best of several interleaved rounds, MB/s of expanded data, and the ratio shipped / zlib.
#include "foundation/cetl.h"
#include "foundation/memory.h"
#include "setup/deflate.h"
#include "setup/unzipper.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

struct Stream {
    Bytes packed;
    std::size_t size;
};

// Text, runs and image-like rows, as a setup payload mixes them.
Bytes Mixed(std::size_t n) {
    static const char* const words[] = {"install ", "Tessark ", "device ", "skin ", "frame\n",
                                        "button ",  "setup ",   "copy ",   "ludo ", "registry "};
    std::mt19937 gen(3);
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        switch (gen() % 3) {
        case 0:
            for (int k = 0; k < 200; ++k) {
                const char* w = words[gen() % 10];
                out.insert(out.end(), w, w + std::strlen(w));
            }
            break;
        case 1:
            for (int k = 0; k < 4000; ++k)
                out.push_back(static_cast<unsigned char>((k % 240) / 3 + (gen() % 4)));
            break;
        default:
            for (int k = 0; k < 2000; ++k)
                out.push_back(static_cast<unsigned char>(gen()));
        }
    }
    out.resize(n);
    return out;
}

Bytes ZlibDeflate(const Bytes& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// zlib the way a caller of the library expands one entry: init, inflate, end.
bool ZlibExpand(const Stream& s, Bytes& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(s.packed.data());
    z.avail_in = static_cast<uInt>(s.packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    bool ok = rc == Z_STREAM_END && z.total_out == s.size;
    inflateEnd(&z);
    return ok;
}

bool OwnExpand(const Stream& s, Bytes& out) {
    try {
        return unzip::Inflate(s.packed.data(), static_cast<DWORD>(s.packed.size()), out.data(),
                              static_cast<DWORD>(out.size())) == s.size;
    } catch (const cetl::exception&) {
        return false;
    }
}

// Best time of `rounds` runs of `expand` over every stream, repeated `repeat` times per run.
template <class F>
double Best(const std::vector<Stream>& streams, int repeat, F expand, bool& ok) {
    std::size_t most = 0;
    for (const Stream& s : streams)
        most = std::max(most, s.size);
    Bytes out(most + 1024);
    auto t0 = Clock::now();
    for (int r = 0; r < repeat; ++r)
        for (const Stream& s : streams)
            ok &= expand(s, out);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Report(const char* name, const std::vector<Stream>& streams, int repeat) {
    std::size_t total = 0, packed = 0;
    for (const Stream& s : streams)
        total += s.size, packed += s.packed.size();
    double own = 1e30, zl = 1e30;
    bool ok = true;
    for (int round = 0; round < 5; ++round) {
        own = std::min(own, Best(streams, repeat, OwnExpand, ok));
        zl = std::min(zl, Best(streams, repeat, ZlibExpand, ok));
    }
    double mb = static_cast<double>(total) * repeat / (1 << 20);
    std::printf("%-28s %9zu -> %10zu | %8.1f %8.1f | %5.2f%s\n", name, packed, total, mb / own,
                mb / zl, zl / own, ok ? "" : "  MISMATCH");
}

} // namespace

int main(int argc, char** argv) {
    std::string skin = argc > 1 ? argv[1] : "";
    std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    if (megabytes == 0 || megabytes > 512) {
        std::fprintf(stderr, "usage: bench-inflate [SKIN.zip] [megabytes 1-512]\n");
        return 2;
    }
    std::printf("bench-inflate: best of 5 rounds, MB/s of expanded data\n");
    std::printf("%-28s %9s    %10s | %8s %8s | %5s\n", "input", "packed", "expanded", "shipped",
                "zlib", "ratio");

    if (!skin.empty()) {
        std::vector<Stream> streams;
        try {
            ZIPFILE zip(skin.c_str(), true);
            for (const auto& e : zip)
                if (e.value->method == 8)
                    streams.push_back(
                        {Bytes(e.value->storedData, e.value->storedData + e.value->compressedSize),
                         e.value->size});
        } catch (const cetl::exception& e) {
            std::fprintf(stderr, "bench-inflate: %s: %s\n", skin.c_str(), e.message().c_str());
            return 2;
        }
        if (streams.empty()) {
            std::fprintf(stderr, "bench-inflate: %s has no deflated entries\n", skin.c_str());
            return 2;
        }
        std::string name = "skin (" + std::to_string(streams.size()) + " entries)";
        Report(name.c_str(), streams, 2000);
    }
    Bytes big = Mixed(megabytes << 20);
    std::vector<Stream> large = {{ZlibDeflate(big), big.size()}};
    std::string name = "mixed " + std::to_string(megabytes) + " MB";
    Report(name.c_str(), large, 1);
    MemExitCheck();
    return 0;
}
