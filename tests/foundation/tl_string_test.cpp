#include "foundation/tl_string.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(String, NullTextOfEitherWidthReadsNull) {
    EXPECT_EQ(U8(string(static_cast<const char*>(nullptr))), "(null)");
    EXPECT_EQ(U8(string(static_cast<const char16_t*>(nullptr))), "(null)");
    string s(TEXT("x"));
    s.append(static_cast<const TCHAR*>(nullptr));
    EXPECT_EQ(U8(s), "x(null)");
    EXPECT_EQ(string().c_str()[0], 0) << "an empty string still has a terminator";
    EXPECT_EQ(string().length(), 0u);
}

TEST(String, EitherWidthIsAssignedToEither) {
    // Esperanto letters survive UTF-8 -> UTF-16 -> UTF-8.
    const char* narrow = "\xC4\x88iu\xC4\xB5"
                         "a\xC5\xAD"
                         "de"; // Ĉiuĵaŭde
    string16 wide(narrow);
    EXPECT_EQ(wide.length(), 8u);
    EXPECT_EQ(wide[0], u'\u0108');
    EXPECT_EQ(wide[3], u'\u0135');
    string8 back(wide);
    EXPECT_STREQ(back.c_str(), narrow);

    string platform(u"\u011D\u0125"); // ĝĥ
    EXPECT_EQ(U8(platform), "\xC4\x9D\xC4\xA5");
    platform = "abc";
    EXPECT_EQ(U8(platform), "abc");

    // Outside the Basic Multilingual Plane: a surrogate pair, four bytes in UTF-8.
    string16 emoji("\xF0\x9F\x98\x80");
    EXPECT_EQ(emoji.length(), 2u);
    EXPECT_EQ(U8(emoji), "\xF0\x9F\x98\x80");

    // Malformed input turns into replacement characters, never reads past the end.
    string16 bad("a\xC4");
    EXPECT_EQ(bad.length(), 2u);
    EXPECT_EQ(bad[1], u'\uFFFD');
    string16 overlong("\xC0\xAF!");
    EXPECT_EQ(overlong[overlong.length() - 1], u'!');
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(U8(string16(lone)), "a\xEF\xBF\xBD"
                                  "b");
}

TEST(String, ComparesCharacterByCharacterAsSignedValues) {
    string s(TEXT("abc"));
    EXPECT_EQ(s.compare(TEXT("abc")), 0);
    EXPECT_EQ(s.compare(TEXT("abd")), 'c' - 'd');
    EXPECT_EQ(s.compare(TEXT("ab")), 'c');
    EXPECT_EQ(s.compare(TEXT("abcd")), -'d');
    EXPECT_EQ(s.compare(static_cast<const TCHAR*>(nullptr)), -1);
    EXPECT_EQ(s.compare(TEXT("ABC")), 'a' - 'A') << "string is case-sensitive";
    EXPECT_TRUE(s == TEXT("abc"));
    EXPECT_TRUE(s == "abc");
    EXPECT_TRUE(s == u"abc");
    EXPECT_TRUE(s != u"abd");
    EXPECT_TRUE(istring(TEXT("ABC")) == "abc") << "through the case-blind compare";
    EXPECT_TRUE(string(TEXT("a")) < string(TEXT("b")));
    // A byte of a UTF-8 sequence is negative as a signed character.
    EXPECT_LT(string8("\xC3\xA9").compare("a"), 0);
    EXPECT_LT(string16(u"\x8000").compare(u"a"), 0);
}

TEST(String, IStringFoldsCaseIncludingEsperanto) {
    istring key(TEXT("Frame Border"));
    EXPECT_TRUE(key == TEXT("frame border"));
    EXPECT_EQ(key.compare(TEXT("FRAME BORDER")), 0);
    EXPECT_LT(key.compare(TEXT("frame bordes")), 0);
    EXPECT_EQ(key.compare(static_cast<const TCHAR*>(nullptr)), -1);
    EXPECT_TRUE(istring(TEXT("b")) > istring(TEXT("A")));
    TIString<char16_t> eo(u"\u0108IO \u015Cu\u0134"); // ĈIO ŜuĴ
    EXPECT_EQ(eo.compare(u"\u0109io \u015Du\u0135"), 0);
    string16 upper(u"\u0109\u011d\u0125\u0135\u015d\u016d \u00e9\u0142");
    EXPECT_EQ(U8(upper.upper()),
              U8(string16(u"\u0108\u011C\u0124\u0134\u015C\u016C \u00C9\u0141")));
    EXPECT_EQ(U8(upper.lower()),
              U8(string16(u"\u0109\u011d\u0125\u0135\u015d\u016d \u00e9\u0142")));
}

TEST(String, EditingSearchingAndNumbers) {
    string s(TEXT("hello"));
    s.append(TEXT(" world")).insert(0, TEXT(">> "));
    EXPECT_EQ(U8(s), ">> hello world");
    EXPECT_EQ(s.find(TEXT("world")), 9u);
    EXPECT_EQ(s.find(TCHAR('o')), 7u);
    EXPECT_EQ(s.find(TCHAR('o'), 8), 10u);
    EXPECT_EQ(s.rfind(TCHAR('o')), 10u);
    EXPECT_EQ(s.find(TEXT("xyz")), string::npos);
    EXPECT_EQ(s.find(TEXT("d"), 100), string::npos);
    EXPECT_EQ(U8(s.substr(3, 5)), "hello");
    EXPECT_EQ(U8(s.substr(9)), "world");
    EXPECT_EQ(U8(s.substr(99)), "");
    s.erase(0, 3);
    EXPECT_EQ(U8(s), "hello world");
    s.insert(100, TEXT("!"));
    EXPECT_EQ(U8(s), "hello world!");
    EXPECT_EQ(U8(s.upper()), "HELLO WORLD!");
    EXPECT_EQ(s[100], 0) << "reading past the end gives a terminator";

    EXPECT_EQ(string(TEXT("  -42x")).to_long(), -42);
    EXPECT_EQ(string(TEXT("+17")).to_long(), 17);
    EXPECT_EQ(string(TEXT("abc")).to_long(), 0);
    EXPECT_EQ(string(TEXT("99999999999999999999999")).to_long(), LONG_MAX);
    EXPECT_EQ(string(TEXT("-99999999999999999999999")).to_long(), LONG_MIN);
    EXPECT_DOUBLE_EQ(string(TEXT("2.5")).to_double(), 2.5);
}

TEST(String, CopiesOfItsOwnTextAreSafe) {
    string s(TEXT("abcdef"));
    s.append(s.c_str()); // the source moves when the buffer grows
    EXPECT_EQ(U8(s), "abcdefabcdef");
    s.assign(s.c_str() + 6);
    EXPECT_EQ(U8(s), "abcdef");
    s.insert(3, s.c_str());
    EXPECT_EQ(U8(s), "abcabcdefdef");
    string moved(static_cast<string&&>(s));
    EXPECT_EQ(U8(moved), "abcabcdefdef");
    EXPECT_EQ(U8(s), "");
    s = moved;
    string& self = s;
    s = self;
    EXPECT_EQ(U8(s), "abcabcdefdef");
}

TEST(String, GrowsThroughTheMemoryManager) {
    string s;
    for (int i = 0; i < 5000; ++i)
        s.append(TCHAR('a' + i % 26));
    EXPECT_EQ(s.length(), 5000u);
    EXPECT_EQ(s[4999], TCHAR('a' + 4999 % 26));
    MemBlockInfo info{};
    ASSERT_TRUE(MemQueryBlock(s.c_str(), &info));
    EXPECT_STREQ(info.type, "sizeof(TCHAR) * cchMin");
    EXPECT_GE(info.size, sizeof(TCHAR) * 5001);
}

} // namespace
