// The DEFLATE decoder written the plain way, as a yardstick for the shipped one: five
// direct-indexed tables of 131072 slots, and each symbol found by trying every code
// length from the shortest. Same messages, same output, same limits.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace reference {

struct Result {
    std::vector<BYTE> bytes; // what was produced (up to the failure)
    std::string error;       // empty on success, else the exception message
};

// Expands `in` into at most `capacity` bytes.
Result Inflate(const BYTE* in, std::size_t inSize, std::size_t capacity);

} // namespace reference
