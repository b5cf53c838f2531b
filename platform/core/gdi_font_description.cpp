// Fonts from the short descriptions used in skins and settings ("Arial,-14,I", "MS Shell Dlg,10").
#include "platform/core/gdi_internal.h"

#include <cstring>
#include <string>

namespace {

std::u16string FromUtf8(const char* s) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p != 0) {
        unsigned c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : (c & 0x0F);
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) ok = false;
            if (ok) cp = (cp << 6) | (p[k] & 0x3F);
        }
        if (!ok) {
            out.push_back(u'?');
            ++p;
            continue;
        }
        out.push_back(static_cast<char16_t>(cp));
        p += 1 + extra;
    }
    return out;
}

std::u16string Trim(const std::u16string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == u' ' || s[a] == u'\t'))
        ++a;
    while (b > a && (s[b - 1] == u' ' || s[b - 1] == u'\t'))
        --b;
    return s.substr(a, b - a);
}

bool IsNumber(const std::u16string& s) {
    std::size_t i = (s.size() > 1 && (s[0] == u'-' || s[0] == u'+')) ? 1 : 0;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return false;
    }
    return true;
}

// Clamped so that absurd sizes in a skin file cannot overflow.
long ToNumber(const std::u16string& s) {
    bool negative = s[0] == u'-';
    long value = 0;
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') continue;
        value = std::min<long>(value * 10 + (c - u'0'), 100000);
    }
    return negative ? -value : value;
}

bool IsStyle(const std::u16string& s) {
    if (s.empty()) return false;
    for (char16_t c : s) {
        if (c != u'B' && c != u'b' && c != u'I' && c != u'i' && c != u'U' && c != u'u')
            return false;
    }
    return true;
}

bool IsDefault(const std::u16string& s) {
    static const char16_t word[] = u"default";
    if (s.size() != 7) return false;
    for (std::size_t i = 0; i < 7; ++i) {
        char16_t c = s[i] >= u'A' && s[i] <= u'Z' ? static_cast<char16_t>(s[i] + 32) : s[i];
        if (c != word[i]) return false;
    }
    return true;
}

HFONT FromDescription(const std::u16string& description, bool esperanto) {
    LOGFONTW lf{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
    std::u16string face;
    for (char16_t c : lf.lfFaceName) {
        if (c == 0) break;
        face.push_back(c);
    }
    std::size_t start = 0;
    while (start <= description.size()) {
        std::size_t comma = description.find(u',', start);
        if (comma == std::u16string::npos) comma = description.size();
        std::u16string item = Trim(description.substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) continue;
        if (IsNumber(item)) {
            long size = ToNumber(item);
            if (size > 0) {
                HDC screen = GetDC(nullptr);
                long perInch = GetDeviceCaps(screen, LOGPIXELSY);
                ReleaseDC(nullptr, screen);
                lf.lfHeight = static_cast<LONG>(-(size * perInch / 72));
            } else {
                lf.lfHeight = static_cast<LONG>(size);
            }
        } else if (IsStyle(item)) {
            for (char16_t c : item) {
                if (c == u'B' || c == u'b') lf.lfWeight = FW_BOLD;
                if (c == u'I' || c == u'i') lf.lfItalic = 1;
                if (c == u'U' || c == u'u') lf.lfUnderline = 1;
            }
        } else if (!IsDefault(item)) {
            face = item;
        }
    }
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    const std::u16string eo = u" Eo";
    bool endsInEo = face.size() >= 3 && face.compare(face.size() - 3, 3, eo) == 0;
    if (esperanto && !endsInEo) {
        // Keep the suffix even when the name fills the field.
        if (face.size() > LF_FACESIZE - 1 - eo.size()) face.resize(LF_FACESIZE - 1 - eo.size());
        face += eo;
    }
    if (face.size() > LF_FACESIZE - 1) face.resize(LF_FACESIZE - 1);
    std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
    std::memcpy(lf.lfFaceName, face.data(), face.size() * sizeof(char16_t));
    HFONT font = CreateFontIndirectW(&lf);
    if (font == nullptr) return nullptr;
    // Selecting the font once makes the layer resolve and load it now rather than at first use.
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE size;
    GetTextExtentPoint32W(screen, u" ", 1, &size);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return font;
}

} // namespace

namespace platform::gdi {

HFONT FontFromDescription(const char* description, bool esperanto) {
    return FromDescription(description != nullptr ? FromUtf8(description) : std::u16string(),
                           esperanto);
}

HFONT FontFromDescription(const char16_t* description, bool esperanto) {
    return FromDescription(description != nullptr ? std::u16string(description) : std::u16string(),
                           esperanto);
}

} // namespace platform::gdi
