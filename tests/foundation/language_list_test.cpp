// Language selection over language_list_test.rc (",EN,,EO", empty items among the codes), and,
// built without a script, a program that offers no list at all.
#include "foundation/language.h"

#include "platform/reg.h"
#include "tests/foundation/test_util.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

namespace {

std::u16string StoredOffer(const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Orvane\\NLS", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return u"<missing>";
    char16_t buffer[64] = {};
    DWORD size = sizeof(buffer) - 2;
    LONG rc = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::u16string(buffer) : u"<missing>";
}

#ifdef TESSARK_TEST_NO_LIST

TEST(LanguageWithoutList, OffersEnglishAlone) {
    TempMachine machine;
    InitialiseLanguage(TEXT("Bare"));
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    EXPECT_EQ(LanguageCount(), 1);
    EXPECT_EQ(U8(CurrentLanguageCode()), "EN");
    EXPECT_EQ(StoredOffer(u"Opt-Bare"), u"EN");
    EXPECT_EQ(StoredOffer(u"Lang-Bare"), u"EN");
    EXPECT_FALSE(SetLanguage(kLangEsperanto));
    EXPECT_EQ(U8(LoadLocalizedString(10)), "");
    EXPECT_EQ(U8(sformat(TEXT("<%m>"), 10)), "<>");
}

#else

TEST(LanguageList, EmptyItemsAreSkipped) {
    TempMachine machine;
    InitialiseLanguage(TEXT("Gappy"));
    EXPECT_EQ(LanguageCount(), 2);
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    EXPECT_EQ(CurrentLanguageIndex(), 0);
    EXPECT_EQ(StoredOffer(u"Opt-Gappy"), u",EN,,EO") << "the list is offered as it stands";
    EXPECT_EQ(GetApplicationOfferedLanguage(TEXT("Gappy"), 1), kLangEsperanto);
    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    EXPECT_EQ(CurrentLanguageIndex(), 1);
    EXPECT_EQ(StoredOffer(u"Lang-Gappy"), u"EO");
    // Continuations are one language count (2) apart.
    EXPECT_EQ(U8(LoadLocalizedString(10)), "unua dua");
    ASSERT_TRUE(SetLanguage(kLangEnglish));
    EXPECT_EQ(U8(LoadLocalizedString(10)), "first second");
}

#endif

} // namespace
