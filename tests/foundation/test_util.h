// Helpers shared by the foundation tests: readable failure output and UTF-8 views of text of
// either width, so expectations are written once for both flavours.
#pragma once

#include "foundation/tl_string.h"

#include <ostream>
#include <string>

template <TextChar C>
std::string U8(const TString<C>& text) {
    TString<char> narrow(text);
    return std::string(narrow.c_str(), narrow.length());
}

inline void PrintTo(const TString<char>& text, std::ostream* os) {
    *os << '"' << U8(text) << '"';
}
inline void PrintTo(const TString<char16_t>& text, std::ostream* os) {
    *os << "u\"" << U8(text) << '"';
}
