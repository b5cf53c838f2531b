#include "foundation/tl_string.h"

#include "foundation/utf.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <TextChar C>
std::size_t Length(const C* text) {
    std::size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

template <TextChar C>
int Signed(C ch) {
    return static_cast<std::make_signed_t<C>>(ch);
}

constexpr char kNull[] = "(null)";
constexpr char kUnknown[] = "(?)";

} // namespace

// --- Case ------------------------------------------------------------------------------------

template <>
char FoldLower<char>(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
}
template <>
char FoldUpper<char>(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
}

template <>
char16_t FoldLower<char16_t>(char16_t ch) {
    if ((ch >= u'A' && ch <= u'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
        return static_cast<char16_t>(ch + 32);
    // Latin Extended-A: pairs with the capital first, even or odd depending on the run.
    if ((ch >= 0x100 && ch <= 0x12F) || (ch >= 0x132 && ch <= 0x137) ||
        (ch >= 0x14A && ch <= 0x177))
        return static_cast<char16_t>(ch | 1);
    if ((ch >= 0x139 && ch <= 0x148) || (ch >= 0x179 && ch <= 0x17E))
        return (ch & 1) ? static_cast<char16_t>(ch + 1) : ch;
    if (ch == 0x178) return 0xFF;
    return ch;
}
template <>
char16_t FoldUpper<char16_t>(char16_t ch) {
    if ((ch >= u'a' && ch <= u'z') || (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7))
        return static_cast<char16_t>(ch - 32);
    if ((ch >= 0x100 && ch <= 0x12F) || (ch >= 0x132 && ch <= 0x137) ||
        (ch >= 0x14A && ch <= 0x177))
        return static_cast<char16_t>(ch & ~1);
    if ((ch >= 0x139 && ch <= 0x148) || (ch >= 0x179 && ch <= 0x17E))
        return (ch & 1) ? ch : static_cast<char16_t>(ch - 1);
    if (ch == 0xFF) return 0x178;
    return ch;
}

// --- TString --------------------------------------------------------------------------------

template <TextChar C>
TString<C>::TString(TString&& other) noexcept
    : text_(other.text_), length_(other.length_), capacity_(other.capacity_) {
    other.text_ = nullptr;
    other.length_ = other.capacity_ = 0;
}

template <TextChar C>
TString<C>& TString<C>::operator=(TString&& other) noexcept {
    if (this != &other) {
        MemFree(text_, __FILE__, __LINE__);
        text_ = other.text_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.text_ = nullptr;
        other.length_ = other.capacity_ = 0;
    }
    return *this;
}

template <TextChar C>
TString<C>::~TString() {
    MemFree(text_, __FILE__, __LINE__);
}

template <TextChar C>
bool TString<C>::reserve(std::size_t length) {
    if (length < capacity_) return true;
    if (length >= 0x10000000) return false;
    std::size_t cchMin = length + 1;
    if (cchMin < capacity_ * 2) cchMin = capacity_ * 2;
    if (cchMin < 16) cchMin = 16;
    C* grown =
        static_cast<C*>(MemAlloc(sizeof(C) * cchMin, "sizeof(TCHAR) * cchMin", __FILE__, __LINE__));
    if (!grown) return false;
    if (text_)
        std::memcpy(grown, text_, sizeof(C) * (length_ + 1));
    else
        grown[0] = 0;
    MemFree(text_, __FILE__, __LINE__);
    text_ = grown;
    capacity_ = cchMin;
    return true;
}

template <TextChar C>
TString<C>& TString<C>::assign(const C* text, std::size_t length) {
    if (!text) return assign(kNull);
    if (text_ && text >= text_ && text < text_ + capacity_) {
        // Part of our own text: build the copy apart first.
        TString copy(text, length);
        return *this = static_cast<TString&&>(copy);
    }
    if (!reserve(length)) return *this;
    std::memcpy(text_, text, sizeof(C) * length);
    text_[length] = 0;
    length_ = length;
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::assign(const C* text) {
    if (!text) return assign(kNull);
    return assign(text, Length(text));
}

template <TextChar C>
TString<C>& TString<C>::assign(const OtherChar<C>* text, std::size_t length) {
    if (!text) return assign(kNull);
    std::size_t units;
    if constexpr (std::is_same_v<C, char16_t>)
        units = tl::utf::Utf8ToUtf16(text, length, nullptr);
    else
        units = tl::utf::Utf16ToUtf8(text, length, nullptr);
    if (!reserve(units)) return *this;
    if constexpr (std::is_same_v<C, char16_t>)
        tl::utf::Utf8ToUtf16(text, length, text_);
    else
        tl::utf::Utf16ToUtf8(text, length, text_);
    text_[units] = 0;
    length_ = units;
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::assign(const OtherChar<C>* text) {
    if (!text) return assign(kNull);
    return assign(text, Length(text));
}

template <TextChar C>
TString<C>& TString<C>::append(const C* text, std::size_t length) {
    if (!text) return append(TString(kNull));
    std::size_t offset = 0;
    bool own = text_ && text >= text_ && text < text_ + capacity_;
    if (own) offset = static_cast<std::size_t>(text - text_);
    if (!reserve(length_ + length)) return *this;
    if (own) text = text_ + offset;
    std::memmove(text_ + length_, text, sizeof(C) * length);
    length_ += length;
    text_[length_] = 0;
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::append(const C* text) {
    if (!text) return append(TString(kNull));
    return append(text, Length(text));
}

template <TextChar C>
TString<C>& TString<C>::append(const OtherChar<C>* text) {
    return append(TString(text));
}

template <TextChar C>
TString<C>& TString<C>::append(C ch) {
    return append(&ch, 1);
}

template <TextChar C>
TString<C>& TString<C>::insert(std::size_t position, const C* text) {
    TString piece(text);
    if (position > length_) position = length_;
    if (!reserve(length_ + piece.length_)) return *this;
    std::memmove(text_ + position + piece.length_, text_ + position,
                 sizeof(C) * (length_ - position + 1));
    std::memcpy(text_ + position, piece.c_str(), sizeof(C) * piece.length_);
    length_ += piece.length_;
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::erase(std::size_t position, std::size_t count) {
    if (position >= length_) return *this;
    if (count > length_ - position) count = length_ - position;
    std::memmove(text_ + position, text_ + position + count,
                 sizeof(C) * (length_ - position - count + 1));
    length_ -= count;
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::upper() {
    for (std::size_t i = 0; i < length_; ++i)
        text_[i] = FoldUpper(text_[i]);
    return *this;
}

template <TextChar C>
TString<C>& TString<C>::lower() {
    for (std::size_t i = 0; i < length_; ++i)
        text_[i] = FoldLower(text_[i]);
    return *this;
}

template <TextChar C>
int TString<C>::compare(const C* text) const {
    if (!text) return -1;
    const C* mine = c_str();
    for (std::size_t i = 0;; ++i) {
        int a = Signed(mine[i]), b = Signed(text[i]);
        if (a != b || a == 0) return a - b;
    }
}

template <TextChar C>
int TIString<C>::compare(const C* text) const {
    if (!text) return -1;
    const C* mine = this->c_str();
    for (std::size_t i = 0;; ++i) {
        int a = Signed(FoldLower(mine[i])), b = Signed(FoldLower(text[i]));
        if (a != b || a == 0) return a - b;
    }
}

template <TextChar C>
std::size_t TString<C>::find(const C* text, std::size_t from) const {
    if (!text) return npos;
    std::size_t n = Length(text);
    if (from > length_ || n > length_ - from) return npos;
    for (std::size_t i = from; i + n <= length_; ++i)
        if (std::memcmp(text_ + i, text, sizeof(C) * n) == 0) return i;
    return npos;
}

template <TextChar C>
std::size_t TString<C>::find(C ch, std::size_t from) const {
    for (std::size_t i = from; i < length_; ++i)
        if (text_[i] == ch) return i;
    return npos;
}

template <TextChar C>
std::size_t TString<C>::rfind(C ch) const {
    for (std::size_t i = length_; i-- > 0;)
        if (text_[i] == ch) return i;
    return npos;
}

template <TextChar C>
TString<C> TString<C>::substr(std::size_t position, std::size_t count) const {
    if (position >= length_) return TString();
    if (count > length_ - position) count = length_ - position;
    return TString(text_ + position, count);
}

template <TextChar C>
long TString<C>::to_long() const {
    const C* p = c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    unsigned long value = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (!negative) return static_cast<long>(value);
    return value == limit ? LONG_MIN : -static_cast<long>(value);
}

template <TextChar C>
double TString<C>::to_double() const {
    TString<char> narrow(*this);
    return std::strtod(narrow.c_str(), nullptr);
}

// --- Formatting -----------------------------------------------------------------------------

namespace {

std::atomic<StringTableLookup> gLookup{nullptr};

enum class Conv {
    INT32,
    UINT32,
    INT16,
    UINT16,
    CHAR16,
    HEX,
    HEX_UPPER,
    CHAR8,
    DOUBLE,
    FLOAT,
    TEXT16,
    TEXT8,
    TEXT,
    MESSAGE,
    UNKNOWN
};

struct Spec {
    bool zero = false, plus = false, minus = false;
    std::size_t width = 0;
    long precision = -1;
    Conv conv = Conv::UNKNOWN;
};

// Widths and precisions beyond this come only from broken formats.
constexpr std::size_t kMaxField = 4096;

template <TextChar C>
bool Contains(const C* spec, std::size_t n, const char* what) {
    std::size_t w = std::strlen(what);
    for (std::size_t i = 0; i + w <= n; ++i) {
        std::size_t k = 0;
        while (k < w && spec[i + k] == static_cast<C>(what[k]))
            ++k;
        if (k == w) return true;
    }
    return false;
}

template <TextChar C>
Spec ParseSpec(const C* s, std::size_t n) {
    Spec spec;
    std::size_t i = 0;
    for (; i < n; ++i) {
        if (s[i] == '0')
            spec.zero = true;
        else if (s[i] == '+')
            spec.plus = true;
        else if (s[i] == '-')
            spec.minus = true;
        else
            break;
    }
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) {
        spec.width = spec.width * 10 + static_cast<std::size_t>(s[i] - '0');
        if (spec.width > kMaxField) spec.width = kMaxField;
    }
    if (i < n && s[i] == '.') {
        spec.precision = 0;
        for (++i; i < n && s[i] >= '0' && s[i] <= '9'; ++i) {
            spec.precision = spec.precision * 10 + (s[i] - '0');
            if (spec.precision > static_cast<long>(kMaxField)) spec.precision = kMaxField;
        }
    }
    // The first row that matches wins, in this order.
    static const struct {
        const char* text;
        Conv conv;
    } rows[] = {
        {"ld", Conv::INT32},    {"lu", Conv::UINT32}, {"hd", Conv::INT16},  {"hu", Conv::UINT16},
        {"lc", Conv::CHAR16},   {"d", Conv::INT32},   {"u", Conv::UINT32},  {"x", Conv::HEX},
        {"X", Conv::HEX_UPPER}, {"c", Conv::CHAR8},   {"lf", Conv::DOUBLE}, {"f", Conv::FLOAT},
        {"ls", Conv::TEXT16},   {"hs", Conv::TEXT8},  {"s", Conv::TEXT},    {"m", Conv::MESSAGE}};
    for (const auto& row : rows) {
        if (Contains(s, n, row.text)) {
            spec.conv = row.conv;
            break;
        }
    }
    return spec;
}

template <TextChar C>
void Pad(TString<C>& out, const TString<C>& body, std::size_t signLength, const Spec& spec) {
    std::size_t fill = spec.width > body.length() ? spec.width - body.length() : 0;
    if (spec.minus) {
        out.append(body);
        for (; fill; --fill)
            out.append(C(' '));
    } else if (spec.zero) {
        // Zeros go after the sign, so "%05d" of -42 reads "-0042".
        out.append(body.c_str(), signLength);
        for (; fill; --fill)
            out.append(C('0'));
        out.append(body.c_str() + signLength, body.length() - signLength);
    } else {
        for (; fill; --fill)
            out.append(C(' '));
        out.append(body);
    }
}

template <TextChar C>
void RenderInteger(TString<C>& out, std::int64_t value, bool isSigned, unsigned base, bool upper,
                   const Spec& spec) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    bool negative = isSigned && value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char buffer[80];
    std::size_t n = 0;
    do {
        buffer[n++] = digits[magnitude % base];
        magnitude /= base;
    } while (magnitude);
    TString<C> body;
    if (negative)
        body.append(C('-'));
    else if (spec.plus)
        body.append(C('+'));
    std::size_t signLength = body.length();
    for (long k = static_cast<long>(n); k < spec.precision; ++k)
        body.append(C('0'));
    while (n)
        body.append(C(buffer[--n]));
    Pad(out, body, signLength, spec);
}

template <TextChar C>
void RenderReal(TString<C>& out, double value, const Spec& spec) {
    long precision = spec.precision < 0 ? 8 : spec.precision;
    TString<C> body;
    bool negative = std::signbit(value) && !std::isnan(value);
    double magnitude = std::fabs(value);
    if (negative)
        body.append(C('-'));
    else if (spec.plus)
        body.append(C('+'));
    std::size_t signLength = body.length();
    if (!std::isfinite(magnitude)) {
        body.append(std::isnan(magnitude) ? "nan" : "inf");
        Pad(out, body, signLength, spec);
        return;
    }
    double whole = std::floor(magnitude);
    if (magnitude >= 1 || precision == 0 || spec.zero) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f", whole);
        body.append(buffer);
    }
    if (precision) {
        body.append(C('.'));
        double fraction = magnitude - whole;
        for (long k = 0; k < precision; ++k) {
            fraction *= 10;
            int digit = static_cast<int>(fraction);
            if (digit > 9) digit = 9;
            body.append(C('0' + digit));
            fraction -= digit;
        }
    }
    Pad(out, body, signLength, spec);
}

template <TextChar C>
void RenderText(TString<C>& out, TString<C> text, const Spec& spec) {
    if (spec.precision >= 0 && text.length() > static_cast<std::size_t>(spec.precision)) {
        // The precision counts characters: a UTF-8 sequence or a surrogate pair is one.
        std::size_t keep = 0;
        for (long taken = 0; keep < text.length(); ++keep) {
            bool starts;
            if constexpr (std::is_same_v<C, char>)
                starts = (static_cast<unsigned char>(text[keep]) & 0xC0) != 0x80;
            else
                starts = !(text[keep] >= 0xDC00 && text[keep] <= 0xDFFF);
            if (starts && taken++ == spec.precision) break;
        }
        text.erase(keep);
    }
    Pad(out, text, 0, spec);
}

bool IntegerOf(const FormatArg& arg, std::int64_t& value) {
    switch (arg.kind) {
    case FormatArg::INTEGER:
    case FormatArg::UNSIGNED:
        value = arg.integer;
        return true;
    case FormatArg::POINTER:
        value = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(arg.pointer));
        return true;
    default:
        return false;
    }
}

} // namespace

template <TextChar C>
bool FormatValue(TString<C>& out, const C* text, std::size_t n, const FormatArg* arg) {
    Spec spec = ParseSpec(text, n);
    if (spec.conv == Conv::UNKNOWN || !arg) {
        out.append(kUnknown);
        return false;
    }
    std::int64_t integer = 0;
    switch (spec.conv) {
    case Conv::INT32:
    case Conv::UINT32:
    case Conv::INT16:
    case Conv::UINT16:
    case Conv::HEX:
    case Conv::HEX_UPPER:
    case Conv::CHAR8:
    case Conv::CHAR16:
    case Conv::MESSAGE:
        if (!IntegerOf(*arg, integer)) break;
        if (arg->kind == FormatArg::POINTER &&
            (spec.conv == Conv::HEX || spec.conv == Conv::HEX_UPPER)) {
            // Addresses are wider than 32 bits here; cutting them would print a wrong one.
            RenderInteger(out, integer, false, 16, spec.conv == Conv::HEX_UPPER, spec);
            return true;
        }
        switch (spec.conv) {
        case Conv::INT32:
            RenderInteger(out, static_cast<std::int32_t>(integer), true, 10, false, spec);
            return true;
        case Conv::UINT32:
            RenderInteger(out, static_cast<std::uint32_t>(integer), false, 10, false, spec);
            return true;
        case Conv::INT16:
            RenderInteger(out, static_cast<std::int16_t>(integer), true, 10, false, spec);
            return true;
        case Conv::UINT16:
            RenderInteger(out, static_cast<std::uint16_t>(integer), false, 10, false, spec);
            return true;
        case Conv::HEX:
        case Conv::HEX_UPPER:
            RenderInteger(out, static_cast<std::int32_t>(integer), true, 16,
                          spec.conv == Conv::HEX_UPPER, spec);
            return true;
        case Conv::CHAR8: {
            char ch = static_cast<char>(integer);
            RenderText(out, TString<C>(&ch, 1), spec);
            return true;
        }
        case Conv::CHAR16: {
            char16_t ch = static_cast<char16_t>(integer);
            RenderText(out, TString<C>(&ch, 1), spec);
            return true;
        }
        default: { // MESSAGE
            TString<char16_t> message;
            if (!LookupStringTable(static_cast<UINT>(integer), message)) break;
            RenderText(out, TString<C>(message), spec);
            return true;
        }
        }
        break;
    case Conv::DOUBLE:
    case Conv::FLOAT:
        if (arg->kind == FormatArg::REAL) {
            RenderReal(out, arg->real, spec);
            return true;
        }
        if (arg->kind == FormatArg::INTEGER || arg->kind == FormatArg::UNSIGNED) {
            RenderReal(out, static_cast<double>(arg->integer), spec);
            return true;
        }
        break;
    case Conv::TEXT16:
    case Conv::TEXT8:
    case Conv::TEXT:
        // The argument knows its own width, so either width prints correctly.
        if (arg->kind == FormatArg::TEXT8) {
            RenderText(out, TString<C>(arg->text8 ? arg->text8 : kNull), spec);
            return true;
        }
        if (arg->kind == FormatArg::TEXT16) {
            RenderText(out, arg->text16 ? TString<C>(arg->text16) : TString<C>(kNull), spec);
            return true;
        }
        if ((IntegerOf(*arg, integer) && integer == 0)) {
            RenderText(out, TString<C>(kNull), spec);
            return true;
        }
        break;
    default:
        break;
    }
    out.append(kUnknown);
    return true; // the argument was taken, even though it did not fit
}

namespace {

template <TextChar C>
bool IsDigit(C ch) {
    return ch >= '0' && ch <= '9';
}

template <TextChar C>
bool IsConversion(C ch) {
    switch (ch) {
    case 'd':
    case 'u':
    case 'x':
    case 'X':
    case 'c':
    case 'f':
    case 's':
    case 'm':
        return true;
    default:
        return false;
    }
}

template <TextChar C>
bool IsSeparator(C ch) {
    return ch == ',' || ch == ';' || ch == ' ';
}

constexpr std::size_t kMaxDeclared = 32;

} // namespace

template <TextChar C>
void FormatText(TString<C>& out, const C* format, const FormatArg* args, std::size_t count) {
    out.erase(0);
    if (!format) {
        out.assign(kNull);
        return;
    }
    std::size_t next = 0; // the next variadic argument not yet taken
    TString<C> table[kMaxDeclared];
    std::size_t declared = 0;
    const C* p = format;

    if (p[0] == '%' && p[1] == '{') {
        p += 2;
        while (*p && *p != '}') {
            if (IsSeparator(*p)) {
                ++p;
                continue;
            }
            const C* start = p;
            while (*p && *p != '}' && !IsSeparator(*p))
                ++p;
            TString<C> value;
            const FormatArg* arg = next < count ? &args[next] : nullptr;
            if (FormatValue(value, start, static_cast<std::size_t>(p - start), arg) && arg) ++next;
            if (declared < kMaxDeclared) table[declared] = static_cast<TString<C>&&>(value);
            ++declared;
        }
        if (*p == '}') ++p;
        if (*p == ' ' || *p == '\t') ++p;
    }

    while (*p) {
        if (*p != '%') {
            const C* run = p;
            while (*p && *p != '%')
                ++p;
            out.append(run, static_cast<std::size_t>(p - run));
            continue;
        }
        const C* s = p + 1;
        if (*s == '%') {
            out.append(C('%'));
            p = s + 1;
            continue;
        }
        const C* q = s;
        while (*q == '0' || *q == '+' || *q == '-')
            ++q;
        while (IsDigit(*q))
            ++q;
        if (*q == '.') {
            ++q;
            while (IsDigit(*q))
                ++q;
        }
        if (*q == 'l' || *q == 'h') ++q;
        if (IsConversion(*q)) {
            const FormatArg* arg = next < count ? &args[next] : nullptr;
            if (FormatValue(out, s, static_cast<std::size_t>(q + 1 - s), arg) && arg) ++next;
            p = q + 1;
            continue;
        }
        const C* d = s;
        std::size_t index = 0;
        for (; IsDigit(*d); ++d)
            if (index <= kMaxDeclared) index = index * 10 + static_cast<std::size_t>(*d - '0');
        if (d > s) {
            // A positional reference; what followed the digits is ordinary text again.
            if (index >= 1 && index <= declared && index <= kMaxDeclared)
                out.append(table[index - 1]);
            else
                out.append(kUnknown);
            p = d;
            continue;
        }
        out.append(kUnknown);
        p = s;
    }
}

StringTableLookup SetStringTableLookup(StringTableLookup lookup) {
    return gLookup.exchange(lookup);
}

bool LookupStringTable(UINT id, TString<char16_t>& text) {
    StringTableLookup lookup = gLookup.load();
    return lookup && lookup(id, text);
}

template class TString<char>;
template class TString<char16_t>;
template class TIString<char>;
template class TIString<char16_t>;
template bool FormatValue(TString<char>&, const char*, std::size_t, const FormatArg*);
template bool FormatValue(TString<char16_t>&, const char16_t*, std::size_t, const FormatArg*);
template void FormatText(TString<char>&, const char*, const FormatArg*, std::size_t);
template void FormatText(TString<char16_t>&, const char16_t*, const FormatArg*, std::size_t);
