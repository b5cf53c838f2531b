// UTF-8 <-> UTF-16 conversion for the text library (the platform's code page is UTF-8).
// Malformed input becomes U+FFFD; nothing is ever read past `length` units.
#pragma once

#include <cstddef>

namespace tl::utf {

// Each returns the number of units the conversion produces and writes them to `out` when it
// is not null (the caller sized it with a first call).
std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* out);
std::size_t Utf16ToUtf8(const char16_t* text, std::size_t length, char* out);

} // namespace tl::utf
