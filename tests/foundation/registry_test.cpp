#include "foundation/registry.h"

#include "tests/foundation/test_util.h"
#include "tests/platform/temp_machine.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

RegistryKey Key(const char* path) {
    return RegistryKey(string(path));
}

RegistryValue Value(const char* path, const char* name) {
    return RegistryValue(Key(path), string(name));
}

// The stored bytes as the platform sees them.
std::vector<BYTE> Raw(HKEY root, const char16_t* subkey, const char16_t* name, DWORD& type) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey, 0, 0, &key) != ERROR_SUCCESS) return {};
    DWORD size = 0;
    std::vector<BYTE> bytes;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        bytes.resize(size);
        RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    }
    RegCloseKey(key);
    return bytes;
}

bool PutRaw(const RegistryValue& value, DWORD type, const std::vector<BYTE>& bytes) {
    return WriteBinary(value, RegistryData(const_cast<BYTE*>(bytes.data()),
                                           static_cast<DWORD>(bytes.size()))) &&
           (type == REG_BINARY || [&] {
               HKEY key = nullptr;
               const string16 subkey(value.key.subkey);
               const string16 name(value.name);
               if (RegOpenKeyExW(value.key.root, subkey.c_str(), 0, 0, &key) != ERROR_SUCCESS)
                   return false;
               const bool ok = RegSetValueExW(key, name.c_str(), 0, type, bytes.data(),
                                              static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
               RegCloseKey(key);
               return ok;
           }());
}

} // namespace

TEST(RegistryAccess, PathPrefixesInAnyCaseAndTheDefaultRoot) {
    const struct {
        const char* path;
        HKEY root;
        const char* subkey;
    } cases[] = {
        {"HKLM\\Software\\A", HKEY_LOCAL_MACHINE, "Software\\A"},
        {"hkcu\\Software\\A", HKEY_CURRENT_USER, "Software\\A"},
        {"HkCr\\.tsk", HKEY_CLASSES_ROOT, ".tsk"},
        {"HKCU", HKEY_CURRENT_USER, ""},
        {"hklm", HKEY_LOCAL_MACHINE, ""},
        {"HKCR", HKEY_CLASSES_ROOT, ""},
        {"Software\\Orvane", HKEY_CURRENT_USER, "Software\\Orvane"},
        // Neither a prefix nor a bare root: taken whole.
        {"HKLMX\\A", HKEY_CURRENT_USER, "HKLMX\\A"},
        {"HKU\\A", HKEY_CURRENT_USER, "HKU\\A"},
        {"HKL", HKEY_CURRENT_USER, "HKL"},
        {"", HKEY_CURRENT_USER, ""},
    };
    for (const auto& c : cases) {
        const RegistryKey key = Key(c.path);
        EXPECT_EQ(key.root, c.root) << c.path;
        EXPECT_EQ(U8(key.subkey), c.subkey) << c.path;
    }
    const RegistryKey child(Key("HKLM\\Software"), string("Orvane"));
    EXPECT_EQ(child.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(U8(child.subkey), "Software\\Orvane");
    const RegistryKey top(Key("HKCU"), string("Software"));
    EXPECT_EQ(U8(top.subkey), "Software");
}

TEST(RegistryAccess, SmallAndCapitalPrefixesNameTheSameKey) {
    TempMachine machine;
    ASSERT_TRUE(WriteString(Value("hkcu\\Software\\Orvane\\T", "Name"), string("one")));
    EXPECT_EQ(U8(ReadString(Value("HKCU\\Software\\Orvane\\T", "Name"))), "one");
    EXPECT_EQ(U8(ReadString(Value("Software\\Orvane\\T", "Name"))), "one");
    // Another root holds its own keys.
    EXPECT_EQ(U8(ReadString(Value("HKLM\\Software\\Orvane\\T", "Name"))), "");
    // A value of the root itself.
    ASSERT_TRUE(WriteNumber(Value("HKCU", "AtRoot"), 7));
    EXPECT_EQ(ReadNumber(RegistryValue(RegistryKey(HKEY_CURRENT_USER, string()), string("AtRoot"))),
              7u);
}

TEST(RegistryAccess, WritesCreateTheWholePathAndStoreTheExactForms) {
    TempMachine machine;
    const RegistryValue text = Value("HKCU\\A\\B\\C", "Text");
    EXPECT_EQ(GetSize(text), 0u);
    EXPECT_EQ(GetType(text), 0u);
    ASSERT_TRUE(WriteString(text, string("h\xC4\x89i")));
    DWORD type = 0;
    const std::vector<BYTE> raw = Raw(HKEY_CURRENT_USER, u"A\\B\\C", u"Text", type);
    EXPECT_EQ(type, REG_SZ);
    const std::vector<BYTE> expected = {'h', 0, 0x09, 0x01, 'i', 0, 0, 0};
    EXPECT_EQ(raw, expected);
    EXPECT_EQ(GetSize(text), 8u);
    EXPECT_EQ(GetType(text), REG_SZ);
    EXPECT_EQ(U8(ReadString(text)), "h\xC4\x89i");

    const RegistryValue number = Value("HKLM\\X\\Y", "N");
    ASSERT_TRUE(WriteNumber(number, 0x12345678));
    EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"X\\Y", u"N", type),
              (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(ReadNumber(number), 0x12345678u);
}

TEST(RegistryAccess, ReadsOfTheWrongKindGiveEmptyResults) {
    TempMachine machine;
    const RegistryValue v = Value("HKCU\\K", "V");
    EXPECT_EQ(U8(ReadString(v)), "");
    EXPECT_EQ(ReadNumber(v), 0u);
    EXPECT_EQ(ReadBinary(v).size, 0u);

    ASSERT_TRUE(PutRaw(v, REG_BINARY, {'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(U8(ReadString(v)), "") << "binary data is not text";
    ASSERT_TRUE(PutRaw(v, REG_EXPAND_SZ, {'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(U8(ReadString(v)), "ab");
    // Text without its terminator, ending on half a character.
    ASSERT_TRUE(PutRaw(v, REG_SZ, {'x', 0, 'y', 0, 'z'}));
    EXPECT_EQ(U8(ReadString(v)), "xy");
    // Numbers: exactly four bytes.
    ASSERT_TRUE(PutRaw(v, REG_BINARY, {1, 2}));
    EXPECT_EQ(ReadNumber(v), 0u);
    ASSERT_TRUE(PutRaw(v, REG_BINARY, {1, 2, 3, 4, 5}));
    EXPECT_EQ(ReadNumber(v), 0u);
    ASSERT_TRUE(PutRaw(v, REG_BINARY, {1, 0, 0, 0}));
    EXPECT_EQ(ReadNumber(v), 1u);
}

TEST(RegistryAccess, BinaryBuffersOwnOrBorrow) {
    TempMachine machine;
    BYTE bytes[5] = {9, 8, 7, 6, 5};
    const RegistryValue v = Value("HKCU\\Bin", "B");
    ASSERT_TRUE(WriteBinary(v, RegistryData(bytes, 5)));
    RegistryData read = ReadBinary(v);
    ASSERT_EQ(read.size, 5u);
    EXPECT_EQ(read.owned, 1);
    EXPECT_EQ(std::memcmp(read.data, bytes, 5), 0);
    MemBlockInfo info{};
    if (!MemUsesSystemHeapOnly()) {
        ASSERT_TRUE(MemQueryBlock(read.data, &info));
        EXPECT_STREQ(info.type, "rd._cbData");
    }

    RegistryData copy = read;
    EXPECT_NE(copy.data, read.data) << "an owned buffer is copied byte for byte";
    EXPECT_TRUE(copy == read);
    copy.data[0] = 0;
    EXPECT_FALSE(copy == read);

    const RegistryData borrowed(bytes, 5);
    const RegistryData alias = borrowed;
    EXPECT_EQ(alias.data, bytes);
    EXPECT_TRUE(alias == borrowed);
    EXPECT_FALSE(borrowed == read) << "owned and borrowed buffers differ even with equal bytes";
    BYTE same[5] = {9, 8, 7, 6, 5};
    EXPECT_FALSE(RegistryData(same, 5) == borrowed) << "borrowed buffers compare by address";

    RegistryData empty = RegistryData::Owned(3);
    ASSERT_EQ(empty.size, 3u);
    EXPECT_EQ(empty.data[0] | empty.data[1] | empty.data[2], 0);
}

TEST(RegistryAccess, VersionedValuesFollowTheMajorMinorRule) {
    TempMachine machine;
    const RegistryValue v = Value("HKCU\\Ver", "Rec");
    BYTE record[4] = {1, 2, 3, 4};
    ASSERT_TRUE(WriteVersioned(v, 0x00020003, RegistryData(record, 4)));
    DWORD type = 0;
    EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Ver", u"Rec", type),
              (std::vector<BYTE>{0x03, 0x00, 0x02, 0x00, 1, 2, 3, 4}));
    EXPECT_EQ(type, REG_BINARY);

    const struct {
        DWORD expected;
        bool accepted;
    } cases[] = {
        {0x00020003, true},  {0x00020000, true},  {0x00020004, false},
        {0x00010003, false}, {0x00030000, false}, {0x80020003, false},
    };
    for (const auto& c : cases) {
        BYTE out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        RegistryData into(out, 4);
        EXPECT_EQ(ReadVersioned(v, c.expected, into), c.accepted) << std::hex << c.expected;
        if (c.accepted) {
            EXPECT_EQ(out[3], 4);
        } else {
            EXPECT_EQ(out[0], 0xEE) << "a refused read leaves the buffer alone";
        }
    }
    // The major is a signed 16-bit number on both sides; the minor compares unsigned.
    ASSERT_TRUE(WriteVersioned(v, 0xFFFF8000, RegistryData(record, 4)));
    BYTE out[4] = {};
    RegistryData into(out, 4);
    EXPECT_TRUE(ReadVersioned(v, 0xFFFF0001, into));
    EXPECT_FALSE(ReadVersioned(v, 0xFFFF8001, into));
}

TEST(RegistryAccess, VersionedRecordsAreZeroFilledOrCutToTheBuffer) {
    TempMachine machine;
    const RegistryValue v = Value("HKCU\\Ver", "Rec");
    BYTE shortRecord[3] = {7, 7, 7};
    ASSERT_TRUE(WriteVersioned(v, 0x00010000, RegistryData(shortRecord, 3)));
    BYTE out[6];
    std::memset(out, 0xAA, sizeof out);
    RegistryData into(out, 6);
    ASSERT_TRUE(ReadVersioned(v, 0x00010000, into));
    EXPECT_EQ(std::vector<BYTE>(out, out + 6), (std::vector<BYTE>{7, 7, 7, 0, 0, 0}));

    BYTE longRecord[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(WriteVersioned(v, 0x00010000, RegistryData(longRecord, 8)));
    BYTE guarded[8];
    std::memset(guarded, 0xAA, sizeof guarded);
    RegistryData four(guarded, 4);
    ASSERT_TRUE(ReadVersioned(v, 0x00010000, four));
    EXPECT_EQ(std::vector<BYTE>(guarded, guarded + 8),
              (std::vector<BYTE>{1, 2, 3, 4, 0xAA, 0xAA, 0xAA, 0xAA}));

    // A header alone is an all-zero record; less than a header is nothing.
    ASSERT_TRUE(PutRaw(v, REG_BINARY, {0x00, 0x00, 0x01, 0x00}));
    std::memset(out, 0xAA, sizeof out);
    ASSERT_TRUE(ReadVersioned(v, 0x00010000, into));
    EXPECT_EQ(std::vector<BYTE>(out, out + 6), (std::vector<BYTE>(6, 0)));
    ASSERT_TRUE(PutRaw(v, REG_BINARY, {0x00, 0x00, 0x01}));
    std::memset(out, 0xAA, sizeof out);
    EXPECT_FALSE(ReadVersioned(v, 0x00010000, into));
    EXPECT_EQ(out[0], 0xAA);
    EXPECT_FALSE(ReadVersioned(Value("HKCU\\Missing", "Rec"), 0x00010000, into));
}

TEST(RegistryAccess, CopyAndDeleteValues) {
    TempMachine machine;
    const RegistryValue source = Value("HKCU\\S", "From");
    const RegistryValue target = Value("HKCU\\T\\U", "To");
    ASSERT_TRUE(PutRaw(source, REG_EXPAND_SZ, {'%', 0, 0, 0}));
    ASSERT_TRUE(CopyValue(target, source));
    EXPECT_EQ(GetType(target), REG_EXPAND_SZ);
    EXPECT_EQ(U8(ReadString(target)), "%");

    ASSERT_TRUE(DeleteValue(source));
    EXPECT_EQ(GetType(source), 0u);
    EXPECT_FALSE(DeleteValue(source));
    // A source that cannot be read takes the target away.
    EXPECT_FALSE(CopyValue(target, source));
    EXPECT_EQ(GetType(target), 0u);
}

TEST(RegistryAccess, DeleteKeyAndDeleteKeyTree) {
    TempMachine machine;
    ASSERT_TRUE(WriteNumber(Value("HKCU\\Top\\Game\\A\\A1", "x"), 1));
    ASSERT_TRUE(WriteNumber(Value("HKCU\\Top\\Game\\A\\A2\\Deep", "x"), 2));
    ASSERT_TRUE(WriteNumber(Value("HKCU\\Top\\Game\\B", "x"), 3));
    ASSERT_TRUE(WriteNumber(Value("HKCU\\Top\\Game", "own"), 4));
    ASSERT_TRUE(WriteNumber(Value("HKCU\\Top\\Other", "x"), 5));

    EXPECT_FALSE(DeleteKey(Key("HKCU\\Top"), string("Game"))) << "it still has subkeys";
    EXPECT_FALSE(DeleteKeyTree(Key("HKCU\\Top\\Game\\A"), string()));
    EXPECT_FALSE(DeleteKey(Key("HKCU\\Top\\Game\\A\\A1"), string()));
    EXPECT_EQ(ReadNumber(Value("HKCU\\Top\\Game\\A\\A2\\Deep", "x")), 2u)
        << "an empty name removes nothing";
    EXPECT_EQ(ReadNumber(Value("HKCU\\Top\\Game\\A\\A1", "x")), 1u);
    EXPECT_EQ(ReadNumber(Value("HKCU\\Top\\Game\\B", "x")), 3u);
    EXPECT_TRUE(DeleteKey(Key("HKCU\\Top\\Game"), string("B")));
    EXPECT_EQ(GetType(Value("HKCU\\Top\\Game\\B", "x")), 0u);

    EXPECT_TRUE(DeleteKeyTree(Key("HKCU\\Top"), string("Game")));
    HKEY gone = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, u"Top\\Game", 0, 0, &gone), ERROR_SUCCESS);
    EXPECT_EQ(ReadNumber(Value("HKCU\\Top\\Other", "x")), 5u) << "a sibling stays";
    EXPECT_FALSE(DeleteKeyTree(Key("HKCU\\Top"), string("Game")));
    EXPECT_FALSE(DeleteKeyTree(Key("HKCU\\Nowhere"), string("Game")));
}
