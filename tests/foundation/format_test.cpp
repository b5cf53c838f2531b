#include "foundation/tl_string.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

template <class... A>
std::string F(const TCHAR* format, const A&... args) {
    return U8(sformat(format, args...));
}

TEST(Format, DeclaredArgumentsAreReferredToByPosition) {
    EXPECT_EQ(F(TEXT("%{ld,s} Installing %2\n%1%% complete"), 40, TEXT("a.txt")),
              "Installing a.txt\n40% complete");
    EXPECT_EQ(F(TEXT("%{s,ld} %2-%1"), TEXT("x"), 5), "5-x");
    EXPECT_EQ(F(TEXT("%{s,ld} %3"), TEXT("x"), 5), "(?)") << "only two were declared";
    EXPECT_EQ(F(TEXT("%{s,ld} %0"), TEXT("x"), 5), "(?)");
    EXPECT_EQ(F(TEXT("%{s;d c}%3%2%1"), TEXT("a"), 2, 'c'), "c2a") << "all three separators";
    EXPECT_EQ(F(TEXT("%{d}\tTab"), 1), "Tab") << "one tab after the header is skipped";
    EXPECT_EQ(F(TEXT("%{d}  Two"), 1), " Two") << "only one blank is skipped";
    EXPECT_EQ(F(TEXT("%{5d,-4s}[%1][%2]"), 42, TEXT("ab")), "[   42][ab  ]");
    // Body conversions take the arguments the header left.
    EXPECT_EQ(F(TEXT("%{s} %1 and %d"), TEXT("one"), 2), "one and 2");
    // An unknown header spec takes no argument.
    EXPECT_EQ(F(TEXT("%{q,d} %1 %2"), 5), "(?) 5");
    // A "." after a reference is ordinary text again.
    EXPECT_EQ(F(TEXT("%{d} %1.5 left"), 3), "3.5 left");
    EXPECT_EQ(F(TEXT("%{d} %1 %11"), 7), "7 (?)");
    EXPECT_EQ(F(TEXT("%{d,d")), "") << "an unterminated header consumes the format";
    EXPECT_EQ(F(TEXT("%{d} %99999999999999999999"), 1), "(?)") << "no overflow";
}

TEST(Format, PrintfStyleWithoutHeader) {
    EXPECT_EQ(F(TEXT("%d-%s"), 7, TEXT("a")), "7-a");
    EXPECT_EQ(F(TEXT("%5d|"), 42), "   42|");
    EXPECT_EQ(F(TEXT("%-5d|"), 42), "42   |");
    EXPECT_EQ(F(TEXT("%05d"), 42), "00042");
    EXPECT_EQ(F(TEXT("%+d"), 3), "+3");
    EXPECT_EQ(F(TEXT("%+d"), 0), "+0");
    EXPECT_EQ(F(TEXT("%d"), -2147483647 - 1), "-2147483648");
    EXPECT_EQ(F(TEXT("%05d"), -42), "-0042") << "zeros go after the sign";
    EXPECT_EQ(F(TEXT("%.4d"), 7), "0007");
    EXPECT_EQ(F(TEXT("%x"), 255), "ff");
    EXPECT_EQ(F(TEXT("%X"), 255), "FF");
    EXPECT_EQ(F(TEXT("%x"), -1), "-1") << "hexadecimal is signed";
    EXPECT_EQ(F(TEXT("%u"), -1), "4294967295");
    EXPECT_EQ(F(TEXT("%lu"), 4294967295u), "4294967295");
    EXPECT_EQ(F(TEXT("%08lX"), 0xABCDEF), "00ABCDEF");
    EXPECT_EQ(F(TEXT("(0x%08lX)"), reinterpret_cast<const void*>(0x123456789ABull)),
              "(0x123456789AB)")
        << "an address is printed whole";
    EXPECT_EQ(F(TEXT("%08lX"), reinterpret_cast<const void*>(0xBEEFull)), "0000BEEF");
    EXPECT_EQ(F(TEXT("%ld"), 5000000000LL), "705032704") << "32-bit";
    EXPECT_EQ(F(TEXT("%hd"), 70000), "4464") << "16-bit, sign-extended";
    EXPECT_EQ(F(TEXT("%hd"), 0xFFFF), "-1");
    EXPECT_EQ(F(TEXT("%hu"), -1), "65535");
    EXPECT_EQ(F(TEXT("%c%c"), 'o', 'k'), "ok");
    EXPECT_EQ(F(TEXT("%lc"), u'\u0109'), "\xC4\x89");
    EXPECT_EQ(F(TEXT("%3c|%-3c|"), 'a', 'b'), "  a|b  |");
    EXPECT_EQ(F(TEXT("100%%")), "100%");
}

TEST(Format, FractionsAreTruncatedNeverRounded) {
    EXPECT_EQ(F(TEXT("%.3lf"), 1.9999), "1.999");
    EXPECT_EQ(F(TEXT("%.1lf"), 2.96), "2.9");
    EXPECT_EQ(F(TEXT("%lf"), 0.5), ".50000000") << "no integer part below 1";
    EXPECT_EQ(F(TEXT("%0lf"), 0.5), "0.50000000") << "unless the 0 flag is set";
    EXPECT_EQ(F(TEXT("%.0lf"), 0.7), "0");
    EXPECT_EQ(F(TEXT("%.0lf"), 2.9), "2");
    EXPECT_EQ(F(TEXT("%.2lf"), -0.25), "-.25");
    EXPECT_EQ(F(TEXT("%+.1lf"), 12.75), "+12.7");
    EXPECT_EQ(F(TEXT("%8.2lf|"), 3.14159), "    3.14|");
    EXPECT_EQ(F(TEXT("%.2f"), 2.5f), "2.50") << "single precision, widened";
    EXPECT_EQ(F(TEXT("%.1lf"), 3), "3.0") << "an integer argument is widened";
    EXPECT_EQ(F(TEXT("%.2lf"), 1e20), "100000000000000000000.00");
    EXPECT_EQ(F(TEXT("%lf"), std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(F(TEXT("%lf"), std::nan("")), "nan");
}

TEST(Format, TextOfBothWidthsAndNull) {
    EXPECT_EQ(F(TEXT("[%s]"), TEXT("plain")), "[plain]");
    EXPECT_EQ(F(TEXT("[%hs]"), "narrow"), "[narrow]");
    EXPECT_EQ(F(TEXT("[%ls]"), u"wide \u0125"), "[wide \xC4\xA5]");
    EXPECT_EQ(F(TEXT("[%s]"), static_cast<const TCHAR*>(nullptr)), "[(null)]");
    EXPECT_EQ(F(TEXT("[%s]"), nullptr), "[(null)]");
    EXPECT_EQ(F(TEXT("[%.2s]"), TEXT("abcdef")), "[ab]");
    EXPECT_EQ(F(TEXT("[%.1s]"), "\xC4\x89x"), "[\xC4\x89]")
        << "precision counts characters, not units";
    EXPECT_EQ(F(TEXT("[%6s][%-6s]"), TEXT("ab"), TEXT("cd")), "[    ab][cd    ]");
    string s(TEXT("object"));
    EXPECT_EQ(F(TEXT("%s"), s), "object");
    EXPECT_EQ(F(TEXT("%s"), string8("eight")), "eight");
}

TEST(Format, WhatCannotBeFormattedPrintsAQuestionMark) {
    EXPECT_EQ(F(TEXT("%d %d"), 1), "1 (?)") << "too few arguments";
    EXPECT_EQ(F(TEXT("end %")), "end (?)");
    EXPECT_EQ(F(TEXT("%q")), "(?)q");
    EXPECT_EQ(F(TEXT("%lq")), "(?)lq");
    EXPECT_EQ(F(TEXT("%-x"), 5), "5") << "flags alone before a letter are a conversion";
    EXPECT_EQ(F(TEXT("%d"), 3.5), "(?)") << "a number with a fraction is not an integer";
    EXPECT_EQ(F(TEXT("%s|%d"), 42, 7), "(?)|7") << "a mismatched argument is still taken";
    EXPECT_EQ(F(TEXT("%s"), 0), "(null)");
    EXPECT_EQ(F(TEXT("%lf"), TEXT("x")), "(?)");
    EXPECT_EQ(F(TEXT("%m"), 12), "(?)") << "no string table is installed";
    EXPECT_EQ(U8(sformat(static_cast<const TCHAR*>(nullptr))), "(null)");
    EXPECT_EQ(F(TEXT("%99999d"), 1).size(), 4096u) << "absurd widths are capped";
    EXPECT_EQ(U8(FormatSingle(TEXT("-4ld"), 12)), "12  ");
    EXPECT_EQ(U8(FormatSingle(TEXT("zz"), 12)), "(?)");
}

bool FakeTable(UINT id, string16& text) {
    switch (id) {
    case 100:
        text = u"Sal\u016Dton";
        return true;
    case 101:
        text = u"%{s,d} %2 el %1";
        return true;
    default:
        return false;
    }
}

TEST(Format, StringTableIdsGoThroughTheLookup) {
    StringTableLookup previous = SetStringTableLookup(FakeTable);
    EXPECT_EQ(F(TEXT("%{m} %1!"), 100), "Sal\xC5\xADton!");
    EXPECT_EQ(F(TEXT("[%m]"), 100), "[Sal\xC5\xADton]");
    EXPECT_EQ(F(TEXT("[%m]"), 999), "[(?)]");
    EXPECT_EQ(U8(sformat(101u, TEXT("dek"), 3)), "3 el dek");
    EXPECT_EQ(U8(sformat(999u)), "(?)");
    SetStringTableLookup(previous);
}

TEST(Format, EitherWidthOfFormatText) {
    EXPECT_EQ(U8(sformat("%s=%d", TEXT("n"), 4)), "n=4");
    EXPECT_EQ(U8(sformat(u"%s=%d", TEXT("n"), 4)), "n=4");
    EXPECT_EQ(U8(TSFormat<char>(u"%ls", u"\u0135")), "\xC4\xB5");
    EXPECT_EQ(U8(TSFormat<char16_t>("%hs", "\xC4\xB5")), "\xC4\xB5");
}

} // namespace
