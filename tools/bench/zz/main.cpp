// Compress and expand throughput of the zz codec against liblzo2 called directly on the same
// data in the same run. The direct path does what any caller of the library must do: allocate
// an output buffer of the worst-case size per call, compress or expand with the checking
// decompressor, and release the buffer. So the difference between the two is the wrapper:
// its lock, its memory manager and its prefix.
//
// Three inputs: text-like data (compresses about 3:1), a sound-like waveform (mildly
// compressible) and random bytes (incompressible), each cut into blocks of one size. For each,
// the best of several interleaved rounds is kept, in MB/s of uncompressed data.
#include "foundation/zz.h"

#include "foundation/memory.h"

#include <lzo/lzo1x.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

Bytes Wordy(std::size_t n, unsigned seed) {
    static const char* const words[] = {"tessark ",   "board ",  "rectangle ", "capture ",
                                        "cascade ",   "piece\n", "red ",       "blue ",
                                        "Esperanto ", "ludo "};
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n) {
        const char* w = words[gen() % 10];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

Bytes Wave(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        // A looping tone with a little hiss now and then, as in the game's short effects.
        double s = 60 * std::sin((i % 160) * (2 * 3.14159265 / 160));
        int hiss = (i % 7 == 0) ? static_cast<int>(gen() % 5) : 0;
        out[i] = static_cast<unsigned char>(128 + static_cast<int>(s) + hiss);
    }
    return out;
}

Bytes Noise(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<unsigned char>(gen());
    return out;
}

struct Timing {
    double compress = 1e30;
    double expand = 1e30;
};

// One round through every block of `data`: compress all, then expand all. Returns false when
// a round trip does not give the input back.
template <class Compress, class Expand>
bool Round(const Bytes& data, std::size_t blockBytes, Compress compress, Expand expand,
           Timing& best, std::vector<Bytes>& packed) {
    std::size_t blocks = (data.size() + blockBytes - 1) / blockBytes;
    packed.assign(blocks, {});
    auto t0 = Clock::now();
    for (std::size_t b = 0; b < blocks; ++b) {
        std::size_t at = b * blockBytes;
        std::size_t n = std::min(blockBytes, data.size() - at);
        if (!compress(data.data() + at, n, packed[b])) return false;
    }
    auto t1 = Clock::now();
    unsigned long check = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        std::size_t at = b * blockBytes;
        std::size_t n = std::min(blockBytes, data.size() - at);
        if (!expand(packed[b], data.data() + at, n, check)) return false;
    }
    auto t2 = Clock::now();
    best.compress = std::min(best.compress, std::chrono::duration<double>(t1 - t0).count());
    best.expand = std::min(best.expand, std::chrono::duration<double>(t2 - t1).count());
    return check != 1; // keeps the comparison work from being dropped
}

std::vector<unsigned char> g_work(LZO1X_1_MEM_COMPRESS);

bool DirectCompress(const unsigned char* in, std::size_t n, Bytes& out) {
    std::size_t cap = 4 + n + n / 64 + 19 + 1024;
    auto* buf = static_cast<unsigned char*>(std::malloc(cap));
    if (!buf) return false;
    std::memcpy(buf, &n, 4);
    lzo_uint packed = 0;
    int rc = lzo1x_1_compress(in, n, buf + 4, &packed, g_work.data());
    if (rc == LZO_E_OK) out.assign(buf, buf + packed + 4);
    std::free(buf);
    return rc == LZO_E_OK;
}

bool DirectExpand(const Bytes& block, const unsigned char* original, std::size_t n,
                  unsigned long& check) {
    DWORD want = 0;
    std::memcpy(&want, block.data(), 4);
    std::size_t cap = want + want / 64 + 19 + 1024;
    auto* buf = static_cast<unsigned char*>(std::malloc(cap));
    if (!buf) return false;
    lzo_uint got = cap;
    int rc = lzo1x_decompress_safe(block.data() + 4, block.size() - 4, buf, &got, nullptr);
    bool ok = rc == LZO_E_OK && got == n && buf[n / 2] == original[n / 2];
    check += buf[0];
    std::free(buf);
    return ok;
}

bool ZZCompress(const unsigned char* in, std::size_t n, Bytes& out) {
    BYTE* block = nullptr;
    DWORD size = 0;
    if (!zzcompress(&block, &size, in, static_cast<DWORD>(n))) return false;
    out.assign(block, block + size);
    zzfree(block);
    return true;
}

bool ZZExpand(const Bytes& block, const unsigned char* original, std::size_t n,
              unsigned long& check) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!zzdecompress(&data, &size, block.data(), static_cast<DWORD>(block.size()))) return false;
    bool ok = size == n && data[n / 2] == original[n / 2];
    check += data[0];
    zzfree(data);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    if (megabytes == 0 || megabytes > 1024) {
        std::fprintf(stderr, "usage: bench-zz [megabytes 1-1024]\n");
        return 2;
    }
    if (lzo_init() != LZO_E_OK) return 1;
    const std::size_t total = megabytes << 20;
    const int rounds = 7;
    struct Input {
        const char* name;
        Bytes data;
    };
    const Input inputs[] = {
        {"text", Wordy(total, 1)}, {"wave", Wave(total, 2)}, {"noise", Noise(total, 3)}};
    const std::size_t blockSizes[] = {20 << 10, 76 << 10, 1 << 20};

    std::printf("bench-zz: %zu MB per input, best of %d rounds, MB/s of uncompressed data\n",
                megabytes, rounds);
    std::printf("%-6s %7s %6s | %9s %9s %6s | %9s %9s %6s\n", "input", "block", "ratio", "zz comp",
                "lzo comp", "zz/lzo", "zz exp", "lzo exp", "zz/lzo");
    bool allGood = true;
    for (const Input& in : inputs) {
        for (std::size_t blockBytes : blockSizes) {
            Timing zz, direct;
            std::vector<Bytes> packed;
            for (int r = 0; r < rounds; ++r) {
                allGood &= Round(in.data, blockBytes, ZZCompress, ZZExpand, zz, packed);
                allGood &= Round(in.data, blockBytes, DirectCompress, DirectExpand, direct, packed);
            }
            std::size_t packedBytes = 0;
            for (const Bytes& p : packed)
                packedBytes += p.size();
            double mb = static_cast<double>(in.data.size()) / (1 << 20);
            std::printf("%-6s %6zuK %6.2f | %9.1f %9.1f %6.3f | %9.1f %9.1f %6.3f\n", in.name,
                        blockBytes >> 10, static_cast<double>(in.data.size()) / packedBytes,
                        mb / zz.compress, mb / direct.compress, direct.compress / zz.compress,
                        mb / zz.expand, mb / direct.expand, direct.expand / zz.expand);
        }
    }
    if (!allGood) {
        std::printf("round trip FAILED\n");
        return 1;
    }
    return 0;
}
