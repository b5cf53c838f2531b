// Resources compiled from resource_test.rc into this program.
#include "platform/resource.h"

#include "tests/platform/resource_test_ids.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> FileBytes(const char* name) {
    std::ifstream in(std::string(TESSARK_TEST_SOURCE_DIR) + "/resource_data/" + name,
                     std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

std::vector<BYTE> Resource(LPCWSTR name, LPCWSTR type) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC r = FindResourceW(self, name, type);
    if (r == nullptr) return {};
    auto* p = static_cast<const BYTE*>(LockResource(LoadResource(self, r)));
    return std::vector<BYTE>(p, p + SizeofResource(self, r));
}

TEST(Resources, AreFoundByNumericAndNamedTypesAndNames) {
    auto board = FileBytes("board.bin");
    ASSERT_FALSE(board.empty());
    EXPECT_EQ(Resource(MAKEINTRESOURCEW(1006), u"GRAPHIC"), board);
    EXPECT_EQ(Resource(MAKEINTRESOURCEW(1006), u"graphic"), board); // names ignore case
    EXPECT_EQ(Resource(u"#1006", u"Graphic"), board);
    EXPECT_EQ(Resource(MAKEINTRESOURCEW(5000), MAKEINTRESOURCEW(4999)), board);
    EXPECT_EQ(Resource(u"LOGO", u"PSP"), board);
    EXPECT_EQ(Resource(MAKEINTRESOURCEW(1030), u"WAVE"), FileBytes("sound.bin"));
    HRSRC narrow = FindResourceA(nullptr, "logo", "psp");
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, narrow), board.size());

    // In place and for good: the same memory every time.
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC r = FindResourceW(self, MAKEINTRESOURCEW(1006), u"GRAPHIC");
    EXPECT_EQ(LockResource(LoadResource(self, r)), LockResource(LoadResource(self, r)));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(1006), u"SOUND"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(1007), u"GRAPHIC"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(1006), MAKEINTRESOURCEW(2)), nullptr);

    // A handle that is not one of ours is refused, not followed.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SizeofResource(self, reinterpret_cast<HRSRC>(&board)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadResource(self, nullptr), nullptr);
    // A module that has no resources has none.
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x5000), MAKEINTRESOURCEW(1006), u"GRAPHIC"),
              nullptr);
}

TEST(Resources, StringsTellMissingFromEmpty) {
    WCHAR buffer[64];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringW(nullptr, IDS_LANGUAGES, buffer, 64), 5);
    EXPECT_EQ(std::u16string(buffer), u"EN,EO");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    buffer[0] = u'x';
    EXPECT_EQ(LoadStringW(nullptr, IDS_EMPTY, buffer, 64), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)); // present, empty
    EXPECT_EQ(buffer[0], 0);
    const WCHAR* text = nullptr;
    int length = -1;
    EXPECT_TRUE(platform::resource::FindString(nullptr, IDS_EMPTY, &text, &length));
    EXPECT_EQ(length, 0);

    // Missing: in a block that exists (4) and in one that does not (200).
    for (UINT id : {4u, 39u, 200u, 65535u}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadStringW(nullptr, id, buffer, 64), 0) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND)) << id;
        EXPECT_FALSE(platform::resource::FindString(nullptr, id, &text, &length)) << id;
    }

    EXPECT_EQ(LoadStringW(nullptr, 17, buffer, 64), 20);
    EXPECT_EQ(std::u16string(buffer), u"Say \"hi\"\tand\nbye \\ A");
    EXPECT_EQ(LoadStringW(nullptr, 100, buffer, 64), 14);

    // Cut to the buffer, always terminated.
    EXPECT_EQ(LoadStringW(nullptr, 40, buffer, 8), 7);
    EXPECT_EQ(std::u16string(buffer), u"Tessark");

    // The pointer form gives the text in the resource itself.
    const WCHAR* inPlace = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 41, reinterpret_cast<LPWSTR>(&inPlace), 0), 26);
    EXPECT_EQ(std::u16string(inPlace, 26), u"Tessark - Nova Ludo ĉĝĥĵŝŭ");

    char narrow[64];
    EXPECT_EQ(LoadStringA(nullptr, 41, narrow, 64),
              static_cast<int>(std::strlen("Tessark - Nova Ludo ĉĝĥĵŝŭ")));
    EXPECT_STREQ(narrow, "Tessark - Nova Ludo ĉĝĥĵŝŭ");
    EXPECT_EQ(LoadStringA(nullptr, 41, narrow, 22), 20); // never half a letter
    EXPECT_STREQ(narrow, "Tessark - Nova Ludo ");
}

TEST(Resources, DialogTemplatesKeepThePlatformLayout) {
    auto bytes = Resource(MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));
    ASSERT_GE(bytes.size(), sizeof(DLGTEMPLATE));
    DLGTEMPLATE head;
    std::memcpy(&head, bytes.data(), sizeof(head));
    EXPECT_EQ(sizeof(DLGTEMPLATE), 18u);
    EXPECT_EQ(head.style, static_cast<DWORD>(0x80000000 | 0x10000000 | DS_SETFONT));
    EXPECT_EQ(head.cdit, 1);
    EXPECT_EQ(head.cx, 160);
    EXPECT_EQ(head.cy, 185);
    // No menu, then the class name as UTF-16.
    WORD menu;
    std::memcpy(&menu, bytes.data() + 18, 2);
    EXPECT_EQ(menu, 0);
    std::u16string cls(reinterpret_cast<const char16_t*>(bytes.data() + 20), 12);
    EXPECT_EQ(cls, u"TessarkClass");

    platform::resource::DialogTemplate main;
    ASSERT_TRUE(platform::resource::ParseDialogTemplate(bytes.data(),
                                                        static_cast<DWORD>(bytes.size()), &main));
    EXPECT_FALSE(main.extended);
    EXPECT_EQ(main.className, u"TessarkClass");
    EXPECT_EQ(main.pointSize, 8);
    EXPECT_EQ(main.face, u"MS Shell Dlg");
    ASSERT_EQ(main.items.size(), 1u);
    EXPECT_EQ(main.items[0].className, u"AnimWindow");
    EXPECT_EQ(main.items[0].id, 1005u);
    EXPECT_EQ(main.items[0].style, 0x50000000u);
    EXPECT_EQ(main.items[0].cx, 160);

    // Every shorter prefix is refused rather than read past its end.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        platform::resource::DialogTemplate cut;
        EXPECT_FALSE(
            platform::resource::ParseDialogTemplate(bytes.data(), static_cast<DWORD>(n), &cut))
            << n;
    }
}

TEST(Resources, ExtendedDialogsCarryControlsWithTheirDefaultStyles) {
    auto bytes = Resource(MAKEINTRESOURCEW(IDD_NEWGAME), MAKEINTRESOURCEW(5));
    ASSERT_FALSE(bytes.empty());
    WORD version, signature;
    std::memcpy(&version, bytes.data(), 2);
    std::memcpy(&signature, bytes.data() + 2, 2);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(signature, 0xFFFF);

    platform::resource::DialogTemplate d;
    ASSERT_TRUE(platform::resource::ParseDialogTemplate(bytes.data(),
                                                        static_cast<DWORD>(bytes.size()), &d));
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.style,
              static_cast<DWORD>(DS_CENTER | DS_MODALFRAME | 0x80000000 | 0x00C00000 | DS_SETFONT));
    EXPECT_EQ(d.x, 10);
    EXPECT_EQ(d.y, 20);
    EXPECT_EQ(d.title, u"Tessark - New Game");
    EXPECT_EQ(d.weight, 400);
    EXPECT_EQ(d.charset, 1);
    ASSERT_EQ(d.items.size(), 10u);
    constexpr DWORD kChild = 0x50000000, kTab = 0x00010000, kGroup = 0x00020000;
    struct Want {
        WORD atom;
        DWORD style;
        DWORD id;
        const char16_t* title;
    };
    const Want want[] = {
        {0x80, kChild | 7, 0xFFFFFFFF, u"Level"},
        {0x80, kChild | 9 | kTab | kGroup, IDC_LEVEL_LOW, u"Low"},
        {0x80, kChild | 9, IDC_LEVEL_HIGH, u"High"},
        {0x82, kChild | 0 | kGroup, IDC_GROUP_LABEL, u"Sound"},
        {0x80, kChild | 3 | kTab, IDC_SOUND, u"Sound"},
        {0x82, kChild | 1 | kGroup, 0xFFFFFFFF, u"centre"},
        {0x82, kChild | 2 | kGroup | 0x80, 0xFFFFFFFF, u"right"},
        {0x80, kChild | 1 | kTab, 1, u"OK"},
        {0x80, kChild | 0 | kTab, 2, u"Cancel"},
        {0x82, kChild | 0x08000000, 1011, u"class:progress"},
    };
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.items[i].classAtom, want[i].atom);
        EXPECT_EQ(d.items[i].style, want[i].style);
        EXPECT_EQ(d.items[i].id, want[i].id);
        EXPECT_EQ(d.items[i].title, want[i].title);
    }
    EXPECT_EQ(d.items[6].exStyle, 0x20000u);
    EXPECT_EQ(d.items[1].y, 15);
    EXPECT_EQ(d.items[8].cx, 50);
}

TEST(Resources, ScriptDetailsReachTheTemplate) {
    auto bytes = Resource(MAKEINTRESOURCEW(2000), MAKEINTRESOURCEW(5));
    platform::resource::DialogTemplate d;
    ASSERT_TRUE(platform::resource::ParseDialogTemplate(bytes.data(),
                                                        static_cast<DWORD>(bytes.size()), &d));
    // Without STYLE: a bordered pop-up with a system menu; CAPTION adds the caption bits.
    EXPECT_EQ(d.style, 0x80C80000u);
    EXPECT_EQ(d.title, u"Wide \u0109A");
    EXPECT_EQ(d.menuId, 77);
    EXPECT_EQ(d.classId, 0x55);
    EXPECT_TRUE(d.face.empty());
    ASSERT_EQ(d.items.size(), 4u);
    EXPECT_EQ(d.items[0].titleId, 500); // an icon named by number
    EXPECT_EQ(d.items[0].style, 0x50000003u);
    EXPECT_EQ(d.items[1].classAtom, 0x81);
    EXPECT_EQ(d.items[1].style, 0x50010080u); // tab stop kept, border taken away
    EXPECT_EQ(d.items[2].classAtom, 0x80);
    EXPECT_EQ(d.items[2].style, 0x40000003u);
    EXPECT_EQ(d.items[3].title, u"right");

    platform::resource::DialogTemplate named;
    auto empty = Resource(u"settings", MAKEINTRESOURCEW(5));
    ASSERT_TRUE(platform::resource::ParseDialogTemplate(empty.data(),
                                                        static_cast<DWORD>(empty.size()), &named));
    EXPECT_TRUE(named.extended);
    EXPECT_TRUE(named.items.empty());
}

TEST(Resources, DamagedTemplatesAreRefusedNotFollowed) {
    // Random bytes and a count that promises more items than there are.
    std::vector<BYTE> junk(4096);
    unsigned seed = 12345;
    for (int round = 0; round < 200; ++round) {
        for (auto& b : junk) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<BYTE>(seed >> 16);
        }
        // Read within its bounds (the sanitizer build checks that) and consistent when taken.
        if (round % 2 == 0) { // the extended signature
            junk[0] = 1;
            junk[1] = 0;
            junk[2] = junk[3] = 0xFF;
        }
        DWORD size = static_cast<DWORD>(16 + round * 20);
        platform::resource::DialogTemplate d;
        if (platform::resource::ParseDialogTemplate(junk.data(), size, &d)) {
            WORD count;
            std::memcpy(&count, junk.data() + (d.extended ? 16 : 8), 2);
            EXPECT_EQ(d.items.size(), count);
            EXPECT_EQ(d.extended, round % 2 == 0);
        }
    }
    auto bytes = Resource(MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));
    bytes[8] = 0xFF; // cdit
    platform::resource::DialogTemplate d;
    EXPECT_FALSE(platform::resource::ParseDialogTemplate(bytes.data(),
                                                         static_cast<DWORD>(bytes.size()), &d));
}

TEST(Resources, IconsAreSplitIntoAGroupAndItsImages) {
    auto group = Resource(MAKEINTRESOURCEW(IDI_MAIN), MAKEINTRESOURCEW(14));
    ASSERT_EQ(group.size(), 6u + 14u);
    EXPECT_EQ(group[2], 1); // type: icon
    EXPECT_EQ(group[4], 1); // one image
    EXPECT_EQ(group[6], 2); // 2 pixels wide
    WORD imageId;
    std::memcpy(&imageId, group.data() + 18, 2);
    auto image = Resource(MAKEINTRESOURCEW(imageId), MAKEINTRESOURCEW(3));
    auto ico = FileBytes("test.ico");
    ASSERT_EQ(image.size(), ico.size() - 22);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), ico.begin() + 22));
}

} // namespace
