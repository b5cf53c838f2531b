#include "platform/core/kernel_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i], advancing i. Malformed input (stray continuation
// bytes, overlong forms, surrogates, values above U+10FFFF, a cut-off sequence) gives
// U+FFFD and sets `bad`.
char32_t DecodeUtf8(std::string_view text, std::size_t& i, bool& bad) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i++);
    if (lead < 0x80) return lead;
    int extra;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        bad = true;
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80) {
            bad = true;
            return kReplacement;
        }
        value = (value << 6) | (byte(i++) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        bad = true;
        return kReplacement;
    }
    return value;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string WidenChecked(std::string_view text, bool& bad) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        AppendUtf16(out, DecodeUtf8(text, i, bad));
    }
    return out;
}

// Lone surrogates become U+FFFD.
std::string NarrowChecked(std::u16string_view text, bool& bad) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
            bad = true;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool KnownCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_UTF8;
}

bool TraceEnabled() {
    const char* trace = std::getenv("TESSARK_TRACE");
    return trace != nullptr && std::strcmp(trace, "1") == 0;
}

void WriteTrace(std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(STDERR_FILENO, text.data(), text.size());
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace

namespace platform {

std::u16string Widen(std::string_view text) {
    bool bad = false;
    return WidenChecked(text, bad);
}

std::string Narrow(std::u16string_view text) {
    bool bad = false;
    return NarrowChecked(text, bad);
}

} // namespace platform

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int bytes, LPWSTR wide,
                        int wideChars) {
    if (!KnownCodePage(codePage) || multiByte == nullptr || bytes == 0 || bytes < -1 ||
        wideChars < 0 || (wide == nullptr && wideChars != 0) ||
        (flags & ~MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string_view source(multiByte, bytes == -1 ? std::strlen(multiByte) + 1
                                                   : static_cast<std::size_t>(bytes));
    bool bad = false;
    std::u16string converted = WidenChecked(source, bad);
    if (bad && (flags & MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (wideChars == 0) return static_cast<int>(converted.size());
    if (converted.size() > static_cast<std::size_t>(wideChars)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wide, converted.data(), converted.size() * sizeof(WCHAR));
    return static_cast<int>(converted.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR multiByte,
                        int bytes, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    // As on the platform, UTF-8 takes no default character.
    bool defaultGiven = defaultChar != nullptr || usedDefaultChar != nullptr;
    if (!KnownCodePage(codePage) || (codePage == CP_UTF8 && defaultGiven) || wide == nullptr ||
        wideChars == 0 || wideChars < -1 || bytes < 0 || (multiByte == nullptr && bytes != 0) ||
        flags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t length = 0;
    if (wideChars == -1) {
        while (wide[length] != 0)
            ++length;
        ++length;
    } else {
        length = static_cast<std::size_t>(wideChars);
    }
    bool bad = false;
    std::string converted = NarrowChecked(std::u16string_view(wide, length), bad);
    if (usedDefaultChar != nullptr) *usedDefaultChar = bad ? TRUE : FALSE;
    if (bytes == 0) return static_cast<int>(converted.size());
    if (converted.size() > static_cast<std::size_t>(bytes)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}

void OutputDebugStringA(LPCSTR text) {
    if (text != nullptr && TraceEnabled()) WriteTrace(text);
}

void OutputDebugStringW(LPCWSTR text) {
    if (text != nullptr && TraceEnabled()) WriteTrace(platform::Narrow(text));
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~LMEM_ZEROINIT) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A zero-byte request still gives a distinct block, as on the platform.
    std::size_t size = bytes == 0 ? 1 : bytes;
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

namespace platform::kernel {

char16_t FoldChar(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return static_cast<char16_t>(c & ~1u);
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string FoldCase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        c = FoldChar(c);
    return out;
}

} // namespace platform::kernel
