// The text library: `string` (a counted, NUL-terminated, growable text), `istring` (the same
// with case-blind comparisons, for names people type) and `sformat` (a `string` built from a
// format text and arguments). Written once over the character type; `string`, `istring` and
// `sformat` are the platform width (char16_t in the game, UTF-8 char in the setup program),
// and text of either width can be given to either.
//
// Format language (see FormatSingle for one value):
//   "%{ld,s} Installing %2\n%1%% complete"  -- a header declares typed arguments, the body
//   refers to them by position; without a header, "%d", "%-5s", "%.3lf" ... work printf-style.
#pragma once

#include "foundation/memory.h"
#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

template <class C>
concept TextChar = std::is_same_v<C, char> || std::is_same_v<C, char16_t>;

template <TextChar C>
using OtherChar = std::conditional_t<std::is_same_v<C, char>, char16_t, char>;

template <TextChar C>
class TString {
public:
    using char_type = C;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    TString() = default;
    TString(const char* text) { assign(text); }
    TString(const char16_t* text) { assign(text); }
    TString(const char* text, std::size_t length) { assign(text, length); }
    TString(const char16_t* text, std::size_t length) { assign(text, length); }
    TString(const TString& other) { assign(other.c_str(), other.length()); }
    template <TextChar D>
    requires(!std::is_same_v<C, D>) TString(const TString<D>& other) {
        assign(other.c_str(), other.length());
    }
    TString(TString&& other) noexcept;
    virtual ~TString();

    TString& operator=(const TString& other) { return assign(other.c_str(), other.length()); }
    TString& operator=(TString&& other) noexcept;
    template <TextChar D>
    TString& operator=(const TString<D>& other) {
        return assign(other.c_str(), other.length());
    }
    TString& operator=(const char* text) { return assign(text); }
    TString& operator=(const char16_t* text) { return assign(text); }

    // --- Access ---
    const C* c_str() const { return text_ ? text_ : Empty(); }
    std::size_t length() const { return length_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return length_ == 0; }
    // The character at `index`, or 0 past the end.
    C operator[](std::size_t index) const { return index < length_ ? text_[index] : C(0); }

    // --- Changing the text (null text reads as "(null)") ---
    virtual TString& assign(const C* text, std::size_t length);
    virtual TString& assign(const C* text);
    virtual TString& assign(const OtherChar<C>* text, std::size_t length);
    virtual TString& assign(const OtherChar<C>* text);
    virtual TString& append(const C* text, std::size_t length);
    virtual TString& append(const C* text);
    virtual TString& append(const OtherChar<C>* text);
    virtual TString& append(C ch);
    virtual TString& insert(std::size_t position, const C* text);
    virtual TString& erase(std::size_t position, std::size_t count = npos);
    virtual TString& upper();
    virtual TString& lower();
    // Makes room for `length` characters; false when memory ran out.
    virtual bool reserve(std::size_t length);

    // --- Reading ---
    // Character by character as signed values; the difference where they first differ.
    // A null text compares as -1.
    virtual int compare(const C* text) const;
    virtual bool equals(const C* text) const { return compare(text) == 0; }
    virtual std::size_t find(const C* text, std::size_t from = 0) const;
    virtual std::size_t find(C ch, std::size_t from = 0) const;
    virtual std::size_t rfind(C ch) const;
    virtual TString substr(std::size_t position, std::size_t count = npos) const;
    // Leading blanks, a sign and decimal digits (0 when there are none; saturates).
    virtual long to_long() const;
    virtual double to_double() const;

    TString& append(const TString& other) { return append(other.c_str(), other.length()); }
    TString& operator+=(const TString& other) { return append(other); }
    TString& operator+=(const C* text) { return append(text); }
    TString& operator+=(C ch) { return append(ch); }

private:
    static const C* Empty() {
        static const C empty[1] = {0};
        return empty;
    }
    C* text_ = nullptr;
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;
};

// Case-blind comparisons: both characters are lowered before they are compared.
template <TextChar C>
class TIString : public TString<C> {
public:
    using TString<C>::TString;
    using TString<C>::operator=;
    TIString() = default;
    TIString(const TString<C>& other) : TString<C>(other) {}
    int compare(const C* text) const override;
};

// Lowers or raises one character: ASCII, Latin-1 and Latin Extended-A (which holds the
// Esperanto letters) in 16-bit text; ASCII only in 8-bit text, whose other bytes are parts
// of longer UTF-8 sequences.
template <TextChar C>
C FoldLower(C ch);
template <TextChar C>
C FoldUpper(C ch);

// --- Comparisons (through the virtual compare, so istring operands fold case) ---
template <TextChar C>
bool operator==(const TString<C>& a, const TString<C>& b) {
    return a.equals(b.c_str());
}
template <TextChar C>
bool operator==(const TString<C>& a, const C* b) {
    return a.equals(b);
}
// Text of the other width is converted first, so `s == "abc"` works in either flavour.
template <TextChar C>
bool operator==(const TString<C>& a, const OtherChar<C>* b) {
    return a.equals(TString<C>(b).c_str());
}
template <TextChar C>
bool operator<(const TString<C>& a, const TString<C>& b) {
    return a.compare(b.c_str()) < 0;
}
template <TextChar C>
bool operator>(const TString<C>& a, const TString<C>& b) {
    return a.compare(b.c_str()) > 0;
}
template <TextChar C>
bool operator<=(const TString<C>& a, const TString<C>& b) {
    return a.compare(b.c_str()) <= 0;
}
template <TextChar C>
bool operator>=(const TString<C>& a, const TString<C>& b) {
    return a.compare(b.c_str()) >= 0;
}
template <TextChar C>
TString<C> operator+(const TString<C>& a, const TString<C>& b) {
    TString<C> sum(a);
    return sum.append(b);
}
template <TextChar C>
TString<C> operator+(const TString<C>& a, const C* b) {
    TString<C> sum(a);
    return sum.append(b);
}

// --- Formatting ---

// One argument of a format, captured with its type so that a mismatch prints "(?)" instead
// of reading the wrong thing.
struct FormatArg {
    enum Kind : BYTE { INTEGER, UNSIGNED, REAL, TEXT8, TEXT16, POINTER };
    Kind kind;
    union {
        std::int64_t integer;
        double real;
        const char* text8;
        const char16_t* text16;
        const void* pointer;
    };

    template <class T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>) FormatArg(T value) {
        if constexpr (std::is_enum_v<T>) {
            kind = INTEGER, integer = static_cast<std::int64_t>(value);
        } else if constexpr (std::is_unsigned_v<T>) {
            kind = UNSIGNED, integer = static_cast<std::int64_t>(value);
        } else {
            kind = INTEGER, integer = value;
        }
    }
    FormatArg(double value) : kind(REAL), real(value) {}
    FormatArg(float value) : kind(REAL), real(value) {}
    FormatArg(const char* text) : kind(TEXT8), text8(text) {}
    FormatArg(const char16_t* text) : kind(TEXT16), text16(text) {}
    FormatArg(std::nullptr_t) : kind(TEXT8), text8(nullptr) {}
    FormatArg(const void* address) : kind(POINTER), pointer(address) {}
    FormatArg(const TString<char>& text) : kind(TEXT8), text8(text.c_str()) {}
    FormatArg(const TString<char16_t>& text) : kind(TEXT16), text16(text.c_str()) {}
};

// Formats one value by a conversion spec without the "%" ("ld", "-5s", ".3lf", "08lX").
// Returns false (and appends "(?)") when the conversion takes no argument or none is left.
template <TextChar C>
bool FormatValue(TString<C>& out, const C* spec, std::size_t specLength, const FormatArg* arg);
template <TextChar C>
TString<C> FormatSingle(const C* spec, FormatArg arg) {
    TString<C> out;
    std::size_t n = 0;
    while (spec && spec[n])
        ++n;
    FormatValue(out, spec, n, &arg);
    return out;
}

// The whole format language; `args` are the variadic arguments in order.
template <TextChar C>
void FormatText(TString<C>& out, const C* format, const FormatArg* args, std::size_t count);

// Looks a string-table id up in the current language (with continuation entries). Unset until
// the language selection installs one; "%m" and formats by id then print "(?)".
using StringTableLookup = bool (*)(UINT id, TString<char16_t>& text);
StringTableLookup SetStringTableLookup(StringTableLookup lookup);
bool LookupStringTable(UINT id, TString<char16_t>& text);

template <TextChar C>
class TSFormat : public TString<C> {
public:
    template <TextChar D, class... Args>
    explicit TSFormat(const D* format, const Args&... args) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
        Build(TString<C>(format), list, sizeof...(Args));
    }
    template <TextChar D, class... Args>
    explicit TSFormat(const TString<D>& format, const Args&... args) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
        Build(TString<C>(format), list, sizeof...(Args));
    }
    // A format from the string table.
    template <class... Args>
    explicit TSFormat(UINT id, const Args&... args) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
        TString<char16_t> format;
        if (LookupStringTable(id, format))
            Build(TString<C>(format), list, sizeof...(Args));
        else
            this->assign("(?)");
    }
    TSFormat(const TSFormat& other) : TString<C>(other) {}

private:
    void Build(const TString<C>& format, const FormatArg* args, std::size_t count) {
        FormatText(*this, format.c_str(), args, count);
    }
};

using string8 = TString<char>;
using string16 = TString<char16_t>;
using string = TString<TCHAR>;
using istring = TIString<TCHAR>;
using sformat = TSFormat<TCHAR>;
