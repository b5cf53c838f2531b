#include "foundation/utf.h"

#include <cstdint>

namespace tl::utf {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; malformed sequences yield U+FFFD and
// consume one byte so that the rest of the text still decodes.
char32_t Decode8(const unsigned char* text, std::size_t length, std::size_t& i) {
    unsigned char lead = text[i++];
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp, min;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        return kReplacement;
    }
    if (i + extra > length) return kReplacement;
    for (int k = 0; k < extra; ++k)
        if ((text[i + k] & 0xC0) != 0x80) return kReplacement;
    for (int k = 0; k < extra; ++k)
        cp = (cp << 6) | (text[i + k] & 0x3F);
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    i += extra;
    return cp;
}

} // namespace

std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* out) {
    auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t n = 0;
    for (std::size_t i = 0; i < length;) {
        char32_t cp = Decode8(bytes, length, i);
        if (cp >= 0x10000) {
            if (out) {
                out[n] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out[n + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            n += 2;
        } else {
            if (out) out[n] = static_cast<char16_t>(cp);
            ++n;
        }
    }
    return n;
}

std::size_t Utf16ToUtf8(const char16_t* text, std::size_t length, char* out) {
    std::size_t n = 0;
    auto put = [&](unsigned value) {
        if (out) out[n] = static_cast<char>(value);
        ++n;
    };
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement; // an unpaired surrogate
        }
        if (cp < 0x80) {
            put(cp);
        } else if (cp < 0x800) {
            put(0xC0 | (cp >> 6));
            put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        } else {
            put(0xF0 | (cp >> 18));
            put(0x80 | ((cp >> 12) & 0x3F));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        }
    }
    return n;
}

} // namespace tl::utf
