// libFuzzer target: arbitrary bytes as a ZIP archive (walked and extracted), and as a raw
// DEFLATE stream expanded by the shipped inflater and by the plain reference decoder, which
// must give the same bytes or the same message. The first two bytes choose the output room.
#include "foundation/cetl.h"
#include "setup/deflate.h"
#include "setup/unzipper.h"
#include "tests/setup/reference_inflate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        ZIPFILE zip(data, static_cast<DWORD>(size));
        for (const auto& e : zip)
            if (e.value->data && e.value->size) {
                volatile BYTE last = e.value->data[e.value->size - 1];
                (void)last;
            }
    } catch (const cetl::exception&) {
    }

    if (size < 2) return 0;
    std::size_t capacity = (data[0] | (data[1] << 8)) & 0x3FFF;
    const BYTE* stream = data + 2;
    DWORD n = static_cast<DWORD>(size - 2);
    std::vector<BYTE> out(capacity + 1, 0xA5);
    std::string error;
    DWORD produced = 0;
    try {
        produced = unzip::Inflate(stream, n, out.data(), static_cast<DWORD>(capacity));
    } catch (const cetl::exception& e) {
        error = e.message().c_str();
    }
    reference::Result r = reference::Inflate(stream, n, capacity);
    if (out[capacity] != 0xA5 || error != r.error ||
        (error.empty() && (produced != r.bytes.size() ||
                           (produced && std::memcmp(out.data(), r.bytes.data(), produced) != 0))))
        std::abort();
    // Measuring takes as much input as expanding and counts the same bytes.
    if (error.empty()) {
        DWORD consumed = 0;
        if (unzip::Measure(stream, n, &consumed) != produced || consumed > n) std::abort();
    }
    return 0;
}
