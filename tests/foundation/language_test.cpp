// Language selection over the resources of language_test.rc ("EN,EO") and a registry of its
// own per test.
#include "foundation/language.h"

#include "foundation/zz.h"
#include "platform/gdi.h"
#include "platform/reg.h"
#include "platform/user.h"
#include "tests/foundation/test_util.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char16_t kNls[] = u"Software\\Orvane\\NLS";

// Each test names a fresh application, so the process-wide selection starts over.
std::u16string FreshName(const char* base) {
    static int counter = 0;
    std::string name = std::string(base) + " " + std::to_string(++counter);
    return std::u16string(name.begin(), name.end());
}

string App(const std::u16string& name) {
    return string(name.c_str());
}

void Put(const std::u16string& name, const std::u16string& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kNls, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(key);
}

// A stored string value with its type and byte count; "<missing>" when there is none.
struct Stored {
    std::u16string text = u"<missing>";
    DWORD type = 0;
    DWORD bytes = 0;
};
Stored Get(const std::u16string& name) {
    Stored s;
    HKEY key = nullptr;
    // The setup program spells the key in capitals; it must be the same key.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return s;
    char16_t buffer[256] = {};
    DWORD size = sizeof(buffer) - 2;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &s.type, reinterpret_cast<BYTE*>(buffer),
                         &size) == ERROR_SUCCESS) {
        s.text = buffer;
        s.bytes = size;
    }
    RegCloseKey(key);
    return s;
}

std::string Localized(UINT id) {
    return U8(LoadLocalizedString(id));
}

class Language : public testing::Test {
protected:
    TempMachine machine_;
    std::u16string name_ = FreshName("Tessark");
    std::u16string lang_ = u"Lang-" + name_;
    std::u16string opt_ = u"Opt-" + name_;
};

TEST_F(Language, FirstStartTakesTheFirstLanguageAndRemembersBothValues) {
    InitialiseLanguage(App(name_).c_str());
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    EXPECT_EQ(CurrentLanguageIndex(), 0);
    EXPECT_EQ(LanguageCount(), 2);
    EXPECT_EQ(U8(CurrentLanguageCode()), "EN");
    Stored opt = Get(opt_);
    EXPECT_EQ(opt.text, u"EN,EO");
    EXPECT_EQ(opt.type, REG_SZ);
    EXPECT_EQ(opt.bytes, 12u) << "written with the terminating NUL";
    Stored lang = Get(lang_);
    EXPECT_EQ(lang.text, u"EN");
    EXPECT_EQ(lang.bytes, 6u);
}

TEST_F(Language, AStoredChoiceIsKeptOnlyWhenTheListOffersIt) {
    struct Case {
        std::u16string stored;
        DWORD type;
        LANGID id;
        int index;
        std::u16string written;
    };
    const Case cases[] = {
        {u"EO", REG_SZ, kLangEsperanto, 1, u"EO"},
        {u"eo", REG_SZ, kLangEsperanto, 1, u"EO"}, // case is ignored, the list's spelling kept
        {u"", REG_SZ, kLangEnglish, 0, u"EN"},
        {u"FR", REG_SZ, kLangEnglish, 0, u"EN"}, // a known language the program lacks
        {u"XX", REG_SZ, kLangEnglish, 0, u"EN"},
        {u"EO", REG_BINARY, kLangEnglish, 0, u"EN"}, // not a string: as if missing
        {u"ENEOENEOENEOENEOENEOENEOEN", REG_SZ, kLangEnglish, 0, u"EN"},
    };
    for (const Case& c : cases) {
        std::u16string name = FreshName("Case");
        SCOPED_TRACE(std::string(c.stored.begin(), c.stored.end()));
        Put(u"Lang-" + name, c.stored, c.type);
        InitialiseLanguage(App(name).c_str());
        EXPECT_EQ(CurrentLanguageId(), c.id);
        EXPECT_EQ(CurrentLanguageIndex(), c.index);
        Stored lang = Get(u"Lang-" + name);
        EXPECT_EQ(lang.text, c.written);
        EXPECT_EQ(lang.type, REG_SZ);
    }
}

TEST_F(Language, AStoredCodeWithoutItsTerminatorOrWithAnOddByteStillReads) {
    for (DWORD bytes : {4u, 5u}) {
        std::u16string name = FreshName("Raw");
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kNls, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        const char16_t code[] = u"EO\u0101";
        RegSetValueExW(key, (u"Lang-" + name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(code), bytes);
        RegCloseKey(key);
        InitialiseLanguage(App(name).c_str());
        // Five bytes end in half a character, which is dropped.
        EXPECT_EQ(CurrentLanguageId(), kLangEsperanto) << bytes << " bytes";
    }
}

TEST_F(Language, InitialisingAgainWithTheSameNameChangesNothing) {
    InitialiseLanguage(App(name_).c_str());
    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    Put(lang_, u"EN"); // someone else's change is not picked up ...
    InitialiseLanguage(App(name_).c_str());
    EXPECT_EQ(CurrentLanguageId(), kLangEsperanto);
    // ... until another application name starts the selection over.
    std::u16string other = FreshName("Other");
    InitialiseLanguage(App(other).c_str());
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    InitialiseLanguage(App(name_).c_str());
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish) << "the stored EN is read afresh";
}

TEST_F(Language, SetLanguageSwitchesOnlyToOfferedLanguagesAndRemembersThem) {
    InitialiseLanguage(App(name_).c_str());
    EXPECT_TRUE(SetLanguage(kLangEsperanto));
    EXPECT_EQ(CurrentLanguageIndex(), 1);
    EXPECT_EQ(U8(CurrentLanguageCode()), "EO");
    EXPECT_EQ(Get(lang_).text, u"EO");

    EXPECT_FALSE(SetLanguage(kLangFrench));
    EXPECT_FALSE(SetLanguage(kLangNone));
    EXPECT_EQ(CurrentLanguageId(), kLangEsperanto);
    EXPECT_EQ(Get(lang_).text, u"EO");

    EXPECT_TRUE(SetLanguage(kLangEnglish));
    EXPECT_EQ(CurrentLanguageIndex(), 0);
    EXPECT_EQ(LanguageCount(), 2);
    EXPECT_EQ(Get(lang_).text, u"EN");
}

TEST_F(Language, LocalizedStringsFollowTheirContinuationEntries) {
    InitialiseLanguage(App(name_).c_str());
    EXPECT_EQ(Localized(10), "The English text goes on and ends here.");
    EXPECT_EQ(Localized(20), "no continuation");
    EXPECT_EQ(Localized(22), "a plus, then nothing") << "a missing continuation ends the text";
    EXPECT_EQ(Localized(500), "") << "a missing entry is empty text";
    EXPECT_EQ(LocalizedResourceId(125), 125u);

    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    // Base 10 in Esperanto is entry 11; its "+" leads to 13 and 13's to 15.
    EXPECT_EQ(Localized(10), "La teksto da\xC5\xADras \xC4\x9Dis \xC4\x89i tie kaj fini\xC4\x9D"
                             "as.");
    EXPECT_EQ(Localized(20), "") << "entry 21 exists and is empty";
    EXPECT_EQ(LocalizedResourceId(125), 126u);
    EXPECT_EQ(LocalizedResourceId(1001), 1002u);
}

TEST_F(Language, RawLoadsTellAMissingEntryFromAnEmptyOne) {
    string text = TEXT("untouched");
    EXPECT_FALSE(LoadRawString(23, text));
    EXPECT_EQ(U8(text), "untouched");
    EXPECT_TRUE(LoadRawString(21, text));
    EXPECT_EQ(U8(text), "");
    EXPECT_TRUE(LoadRawString(10, text));
    EXPECT_EQ(U8(text), "The English text goes on+") << "raw: no continuation, the + kept";
    EXPECT_FALSE(LoadRawString(70000, text)) << "beyond the 16-bit ids";
}

TEST_F(Language, FormatsUseTheCurrentLanguage) {
    InitialiseLanguage(App(name_).c_str());
    EXPECT_EQ(U8(sformat(TEXT("[%m]"), 40)), "[Tessark - New Game]");
    EXPECT_EQ(U8(sformat(30u, 75L, TEXT("setup.exe"))), "setup.exe: 75% done");
    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    EXPECT_EQ(U8(sformat(TEXT("[%m]"), 40)), "[Tessark - Nova Ludo]");
    EXPECT_EQ(U8(sformat(TEXT("%{m}%1"), 10)).substr(0, 9), "La teksto");
    EXPECT_EQ(U8(sformat(30u, 75L, TEXT("setup.exe"))), "75% de setup.exe");
}

TEST_F(Language, OtherApplicationsAreReadAndSetThroughTheirOwnValues) {
    InitialiseLanguage(App(name_).c_str());
    std::u16string game = FreshName("Game");
    EXPECT_EQ(GetApplicationLanguage(App(game).c_str()), kLangNone) << "nothing stored yet";
    EXPECT_FALSE(SetApplicationLanguage(App(game).c_str(), kLangEsperanto)) << "no offer list";
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), 0), kLangNone);

    Put(u"Opt-" + game, u",EN,,EO,DE");
    Put(u"Lang-" + game, u"");
    EXPECT_EQ(GetApplicationLanguage(App(game).c_str()), kLangNone) << "empty value";
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), 0), kLangEnglish);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), 1), kLangEsperanto);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), 2), kLangGerman);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), 3), kLangNone);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(game).c_str(), -1), kLangNone);

    EXPECT_TRUE(SetApplicationLanguage(App(game).c_str(), kLangEsperanto));
    EXPECT_EQ(Get(u"Lang-" + game).text, u"EO");
    EXPECT_EQ(GetApplicationLanguage(App(game).c_str()), kLangEsperanto);
    EXPECT_FALSE(SetApplicationLanguage(App(game).c_str(), kLangSpanish));
    EXPECT_EQ(Get(u"Lang-" + game).text, u"EO");
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish) << "our own choice is untouched";

    // Our own name, in any case, goes to the current selection.
    std::u16string shouting = name_;
    for (auto& c : shouting)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    EXPECT_TRUE(SetApplicationLanguage(App(shouting).c_str(), kLangEsperanto));
    EXPECT_EQ(CurrentLanguageId(), kLangEsperanto);
    EXPECT_EQ(GetApplicationLanguage(App(shouting).c_str()), kLangEsperanto);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(shouting).c_str(), 1), kLangEsperanto);
    EXPECT_EQ(GetApplicationOfferedLanguage(App(shouting).c_str(), 2), kLangNone);
}

TEST(LanguageWithoutRegistry, ChoosesFromTheListAndStillSwitches) {
    TempMachine machine;
    // A machine directory that cannot exist: every registry call fails.
    std::string blocker = machine.Path("file");
    std::ofstream(blocker) << "x";
    platform::SetMachineDir(blocker + "/machine");
    std::u16string name = FreshName("NoRegistry");
    InitialiseLanguage(App(name).c_str());
    EXPECT_EQ(CurrentLanguageId(), kLangEnglish);
    EXPECT_EQ(LanguageCount(), 2);
    EXPECT_TRUE(SetLanguage(kLangEsperanto));
    EXPECT_EQ(CurrentLanguageIndex(), 1);
    EXPECT_EQ(GetApplicationLanguage(TEXT("Someone Else")), kLangNone);
    EXPECT_FALSE(SetApplicationLanguage(TEXT("Someone Else"), kLangEnglish));
}

TEST_F(Language, FontsTakeTheEsperantoFaceInEsperanto) {
    InitialiseLanguage(App(name_).c_str());
    string description;
    ASSERT_TRUE(LoadRawString(8, description));
    HFONT font = FontFromDescription(description.c_str());
    ASSERT_NE(font, nullptr);
    LOGFONT lf{};
    ASSERT_GT(GetObject(font, sizeof(lf), &lf), 0);
    EXPECT_EQ(U8(string(lf.lfFaceName)), "Arial");
    EXPECT_EQ(lf.lfHeight, -14);
    EXPECT_TRUE(lf.lfItalic);
    DeleteObject(font);

    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    font = FontFromDescription(description.c_str());
    ASSERT_NE(font, nullptr);
    ASSERT_GT(GetObject(font, sizeof(lf), &lf), 0);
    EXPECT_EQ(U8(string(lf.lfFaceName)), "Arial Eo");
    DeleteObject(font);
}

std::vector<BYTE> SourceFile(const char* name) {
    std::ifstream in(std::string(TESSARK_TEST_SOURCE_DIR) + "/resource_data/" + name,
                     std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

TEST(OwnResources, AreFoundInPlaceByNumericAndNamedType) {
    const void* data = nullptr;
    DWORD size = 0;
    std::vector<BYTE> file = SourceFile("sound.zz");
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(FindOwnResource(1006, TEXT("GRAPHIC"), &data, &size));
    ASSERT_EQ(size, file.size());
    EXPECT_EQ(std::memcmp(data, file.data(), size), 0);
    ASSERT_TRUE(FindOwnResource(5001, kZZResourceType, &data, &size));
    EXPECT_EQ(size, file.size());
    EXPECT_FALSE(FindOwnResource(1007, TEXT("GRAPHIC"), &data, &size));
    EXPECT_FALSE(FindOwnResource(1006, TEXT("WAVE"), &data, &size));
}

// The size, hot spot and the colour of one pixel of an icon or cursor.
struct IconFacts {
    LONG width = 0;
    DWORD hotX = 0, hotY = 0;
    COLORREF pixel = 0;
};
IconFacts Facts(HICON icon, int x, int y) {
    IconFacts f;
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return f;
    BITMAP bm{};
    GetObject(info.hbmColor, sizeof(bm), &bm);
    f.width = bm.bmWidth;
    f.hotX = info.xHotspot;
    f.hotY = info.yHotspot;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    f.pixel = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return f;
}

TEST(OwnResources, IconsAndCursorsLoadWithTheirSizesAndHotSpots) {
    HICON icon = LoadOwnIcon(1055);
    ASSERT_NE(icon, nullptr);
    IconFacts i = Facts(icon, 4, 0); // red left half, top-left corner masked out
    EXPECT_EQ(i.width, 32);
    EXPECT_EQ(i.pixel, RGB(255, 0, 0));
    HICON small = static_cast<HICON>(LoadOwnImage(1055, IMAGE_ICON, 16, 16));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(Facts(small, 0, 0).width, 16);
    EXPECT_TRUE(DestroyIcon(small));
    EXPECT_TRUE(DestroyIcon(icon));

    HCURSOR cursor = LoadOwnCursor(1070);
    ASSERT_NE(cursor, nullptr);
    IconFacts c = Facts(cursor, 2, 3);
    EXPECT_EQ(c.width, 32);
    EXPECT_EQ(c.hotX, 5u);
    EXPECT_EQ(c.hotY, 7u);
    EXPECT_EQ(c.pixel, RGB(0, 255, 0));
    // No size asked: the standard one.
    HCURSOR standard = static_cast<HCURSOR>(LoadOwnImage(1070, IMAGE_CURSOR, 0, 0));
    EXPECT_EQ(Facts(standard, 0, 0).width, 32);
    HCURSOR small16 = static_cast<HCURSOR>(LoadOwnImage(1070, IMAGE_CURSOR, 16, 16));
    IconFacts s = Facts(small16, 5, 5);
    EXPECT_EQ(s.width, 16);
    EXPECT_EQ(s.hotX, 2u);
    EXPECT_EQ(s.pixel, RGB(255, 0, 0));
    for (HCURSOR h : {cursor, standard, small16})
        EXPECT_TRUE(DestroyCursor(h));

    // Damaged, missing, or of the other kind.
    EXPECT_EQ(LoadOwnIcon(1056), nullptr);
    EXPECT_EQ(LoadOwnIcon(1070), nullptr);
    EXPECT_EQ(LoadOwnCursor(1071), nullptr);
    EXPECT_EQ(LoadOwnCursor(1055), nullptr);
    EXPECT_EQ(LoadOwnCursor(4321), nullptr);
    EXPECT_EQ(LoadOwnImage(1070, 9, 0, 0), nullptr);
}

TEST_F(Language, BitmapsLoadByTheirLocalizedId) {
    InitialiseLanguage(App(name_).c_str());
    // 1080 (English) is 3 x 2 at 8 bits, 1081 (Esperanto) 2 x 3 at 24 bits.
    HBITMAP english = LoadOwnBitmap(LocalizedResourceId(1080));
    ASSERT_NE(english, nullptr);
    BITMAP bm{};
    GetObject(english, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, english);
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(1, 2, 250));
    SelectObject(dc, old);

    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    auto esperanto =
        static_cast<HBITMAP>(LoadOwnImage(LocalizedResourceId(1080), IMAGE_BITMAP, 0, 0));
    ASSERT_NE(esperanto, nullptr);
    GetObject(esperanto, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 3);
    old = SelectObject(dc, esperanto);
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(english));
    EXPECT_TRUE(DeleteObject(esperanto));

    EXPECT_EQ(LoadOwnBitmap(1090), nullptr); // rows cut short
    EXPECT_EQ(LoadOwnBitmap(4321), nullptr);
}

LRESULT CALLBACK CountCommands(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        SetWindowLongPtr(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(LOWORD(wParam)));
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST(OwnResources, AcceleratorTablesTranslateKeysToCommands) {
    HACCEL table = LoadOwnAccelerators(1100);
    ASSERT_NE(table, nullptr);
    WNDCLASS wc{};
    wc.lpfnWndProc = CountCommands;
    wc.lpszClassName = TEXT("LoaderAccelTest");
    ASSERT_NE(RegisterClass(&wc), 0);
    HWND hwnd = CreateWindowEx(0, TEXT("LoaderAccelTest"), TEXT(""), WS_POPUP, 0, 0, 10, 10,
                               nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    auto command = [&](UINT message, WPARAM key) {
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        MSG m{hwnd, message, key, 1, 0, {}};
        const int done = TranslateAccelerator(hwnd, table, &m);
        const auto got = static_cast<int>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
        EXPECT_EQ(done != 0, got != 0);
        return got;
    };
    // "S" with Control; without it the key is no accelerator, but the typed "s" is.
    EXPECT_EQ(command(WM_KEYDOWN, 'S'), 0);
    EXPECT_EQ(command(WM_CHAR, 's'), 40002);
    EXPECT_EQ(command(WM_CHAR, 'S'), 0);
    DestroyWindow(hwnd);
    UnregisterClass(TEXT("LoaderAccelTest"), nullptr);
    EXPECT_TRUE(DestroyAcceleratorTable(table));
    EXPECT_EQ(LoadOwnAccelerators(1101), nullptr); // no last-entry mark
    EXPECT_EQ(LoadOwnAccelerators(4321), nullptr);
}

TEST(ZZResources, ExpandFromTheProgramOrFailToNothing) {
    BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzloadresource(5001, &data, &size));
    EXPECT_EQ(size, 19406u);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(data + 8, "WAVE", 4), 0);
    zzfree(data);

    for (UINT id : {5002u, 5003u}) { // a damaged block, then none at all
        data = reinterpret_cast<BYTE*>(1);
        size = 1;
        EXPECT_FALSE(zzloadresource(id, &data, &size)) << id;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
    }
}

} // namespace
