#include "platform/reg.h"

#include "tests/platform/temp_machine.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <thread>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

// Reads a value with the size query first, as the programs do.
LONG Read(HKEY key, const char16_t* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data.assign(size, 0xCC);
    status = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    data.resize(size);
    return status;
}

LONG SetString(HKEY key, const char16_t* name, const std::u16string& text, DWORD type = REG_SZ) {
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

std::vector<std::string> DamagedCopies(const TempMachine& machine) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(machine.dir())) {
        std::string name = entry.path().filename().string();
        if (name.rfind("registry.sqlite3.damaged-", 0) == 0 &&
            name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Registry, CreateMakesTheWholePathAndOpenFindsIt) {
    TempMachine machine;
    HKEY key = nullptr;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, GENERIC_ALL, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0,
                              GENERIC_ALL, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0,
                              GENERIC_ALL, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    HKEY middle;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane", 0, 0, &middle), ERROR_SUCCESS)
        << "every key on the path was created";
    HKEY leaf;
    EXPECT_EQ(RegOpenKeyExW(middle, u"Tessark", 0, 0, &leaf), ERROR_SUCCESS)
        << "and a subkey opens relative to its parent";
    RegCloseKey(leaf);
    RegCloseKey(middle);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Orvane\\Tessark", 0, 0, &key),
              ERROR_FILE_NOT_FOUND)
        << "the roots are separate trees";
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "registry calls return their error, not set it";
}

TEST(Registry, KeyAndValueNamesIgnoreCase) {
    TempMachine machine;
    HKEY game, setup;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Orvane\\NLS", 0, nullptr, 0,
                              GENERIC_ALL, nullptr, &game, nullptr),
              ERROR_SUCCESS);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvane\\NLS", 0, nullptr, 0,
                              GENERIC_ALL, nullptr, &setup, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY) << "the setup's spelling is the same key";
    ASSERT_EQ(SetString(game, u"Lang-Tessark", u"EO"), ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(setup, u"LANG-tessark", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, Bytes(u"EO", 6));
    ASSERT_EQ(SetString(setup, u"LANG-TESSARK", u"EN"), ERROR_SUCCESS);
    ASSERT_EQ(Read(game, u"Lang-Tessark", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, Bytes(u"EN", 6)) << "one value, whatever the spelling";
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(game, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    WCHAR name[64];
    DWORD chars = 64;
    ASSERT_EQ(RegEnumValueW(game, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, chars), u"Lang-Tessark") << "the first spelling is kept";

    HKEY lower, upper;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Ĉambro", 0, nullptr, 0, 0, nullptr, &lower, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"ĉAMBRO", 0, 0, &upper), ERROR_SUCCESS)
        << "Esperanto letters fold too";
    RegCloseKey(lower);
    RegCloseKey(upper);
    RegCloseKey(game);
    RegCloseKey(setup);
}

TEST(Registry, TypesAndBytesAreKeptExactly) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0,
                              GENERIC_ALL, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::vector<BYTE> settings(32);
    for (std::size_t i = 0; i < settings.size(); ++i)
        settings[i] = static_cast<BYTE>(i * 37);
    settings[0] = 0x01;
    settings[1] = 0x00;
    settings[5] = 0x00;
    const DWORD number = 0x00010001;
    const BYTE odd[3] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(key, u"Settings", 0, REG_BINARY, settings.data(), 32), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"SavedHistory", u"a1-b2 ĉ"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Expand", u"%TEMP%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Odd", 0, REG_DWORD, odd, 3), ERROR_SUCCESS)
        << "the store keeps what it is given, even a short DWORD";
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_BINARY, odd, 1), ERROR_SUCCESS);
    RegCloseKey(key);

    // Another store on the same machine (as a later run of the program) reads it all back.
    auto store = platform::reg::OpenStore(machine.dir());
    ASSERT_EQ(platform::reg::OpenKey(store, HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, u"Settings", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(data, settings);
    ASSERT_EQ(Read(key, u"SavedHistory", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, Bytes(u"a1-b2 ĉ", 16)) << "UTF-16 with its terminator, (7 + 1) x 2 bytes";
    ASSERT_EQ(Read(key, u"Expand", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(data, Bytes(u"%TEMP%\\x", 18)) << "not expanded";
    ASSERT_EQ(Read(key, u"Number", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data, Bytes(&number, 4));
    ASSERT_EQ(Read(key, u"Empty", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_TRUE(data.empty());
    ASSERT_EQ(Read(key, u"Odd", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data, Bytes(odd, 3));
    ASSERT_EQ(Read(key, u"", type, data), ERROR_SUCCESS) << "the default value is the empty name";
    EXPECT_EQ(data, Bytes(odd, 1));
    RegCloseKey(key);
}

TEST(Registry, QueriesFollowThePlatformsSizeProtocol) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"K", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Text", u"Tessark"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 16u) << "a size query without a buffer";
    EXPECT_EQ(type, REG_SZ);
    BYTE small[4];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 16u) << "a short buffer learns the size it needs";
    BYTE big[1024];
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, nullptr, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::memcmp(big, u"Tessark", 16), 0);
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, nullptr, big, nullptr),
              ERROR_INVALID_PARAMETER);
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, big, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"TEXT"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST(Registry, EnumerationAndKeyInformation) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Enum", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const char16_t* child : {u"beta", u"Alpha", u"gamma-long-name"}) {
        HKEY sub;
        ASSERT_EQ(RegCreateKeyExW(key, child, 0, nullptr, 0, 0, nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    ASSERT_EQ(SetString(key, u"zeta", u"1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Alpha-value", u"twenty chars long..."), ERROR_SUCCESS);

    std::vector<std::u16string> names;
    WCHAR name[260];
    DWORD chars;
    for (DWORD index = 0;; ++index) {
        chars = 260;
        LONG status = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(chars, std::char_traits<char16_t>::length(name)) << "length without terminator";
        names.emplace_back(name, chars);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma-long-name"}))
        << "subkeys in name order, ignoring case";
    chars = 5;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA)
        << "\"Alpha\" and its terminator need 6 characters";

    DWORD type = 0, size = 0;
    chars = 260;
    ASSERT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, chars), u"zeta") << "values in the order they were written";
    EXPECT_EQ(size, 4u);
    chars = 260;
    BYTE small[8];
    size = sizeof small;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &chars, nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 42u);
    chars = 260;
    EXPECT_EQ(RegEnumValueW(key, 2, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                               &values, &maxValueName, &maxValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(maxSubKey, 15u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxValueName, 11u);
    EXPECT_EQ(maxValue, 42u);
    RegCloseKey(key);
}

TEST(Registry, KeysAreDeletedOnlyWithoutSubkeysAndOldHandlesDie) {
    TempMachine machine;
    HKEY root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Tree\\A\\B", 0, nullptr, 0, 0, nullptr, &root,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(root);
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Tree\\C", 0, nullptr, 0, 0, nullptr, &root, nullptr),
        ERROR_SUCCESS);
    HKEY stale = root;
    ASSERT_EQ(SetString(stale, u"v", u"x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Tree\\A"), ERROR_ACCESS_DENIED)
        << "a key with subkeys stays";

    // The program's DeleteKeyTree: enumerate index 0 until nothing is left, then delete.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Tree", 0, 0, &root), ERROR_SUCCESS);
    std::function<void(HKEY, const std::u16string&)> deleteTree = [&](HKEY parent,
                                                                      const std::u16string& name) {
        HKEY child;
        if (RegOpenKeyExW(parent, name.c_str(), 0, 0, &child) == ERROR_SUCCESS) {
            for (;;) {
                WCHAR sub[260];
                DWORD chars = 260;
                if (RegEnumKeyExW(child, 0, sub, &chars, nullptr, nullptr, nullptr, nullptr) !=
                        ERROR_SUCCESS ||
                    chars == 0) {
                    break;
                }
                deleteTree(child, std::u16string(sub, chars));
            }
            RegCloseKey(child);
        }
        EXPECT_EQ(RegDeleteKeyW(parent, name.c_str()), ERROR_SUCCESS);
    };
    deleteTree(HKEY_CURRENT_USER, u"Tree");
    RegCloseKey(root);
    HKEY gone;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Tree", 0, 0, &gone), ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(stale, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Tree\\C", 0, nullptr, 0, 0, nullptr, &root, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(SetString(stale, u"v", u"y"), ERROR_KEY_DELETED)
        << "a re-created key is a new key, not the old handle's";
    RegCloseKey(root);
    RegCloseKey(stale);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED) << "roots stay";
}

TEST(Registry, NewMachinesAreSeededAndStoresAreSeparate) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, u"ProgramFilesDir", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, Bytes(u"C:\\Program Files", 34));
    RegCloseKey(key);
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key),
        ERROR_SUCCESS);
    EXPECT_EQ(Read(key, u"Common Programs", type, data), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, u"Common Startup", type, data), ERROR_SUCCESS);
    RegCloseKey(key);

    // A device has a store of its own, unseeded, reached with the same calls.
    std::string deviceDir = machine.Path("device");
    auto device = platform::reg::OpenStore(deviceDir, false);
    EXPECT_EQ(platform::reg::OpenKey(device, HKEY_LOCAL_MACHINE,
                                     u"Software\\Microsoft\\Windows\\CurrentVersion", &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(platform::reg::CreateKey(device, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", &key,
                                       nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(key, u"Instl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
              ERROR_SUCCESS);
    HKEY sub;
    EXPECT_EQ(RegCreateKeyExW(key, u"Sub", 0, nullptr, 0, 0, nullptr, &sub, nullptr), ERROR_SUCCESS)
        << "keys below a device key stay on the device";
    RegCloseKey(sub);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", 0, 0, &key),
              ERROR_FILE_NOT_FOUND)
        << "the desktop machine does not see the device's keys";
    EXPECT_TRUE(std::filesystem::exists(deviceDir + "/registry.sqlite3"));
}

TEST(Registry, ADamagedStoreIsSetAsideAndReadersFallBack) {
    const std::string garbage(9000, '\x5A');
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        TempMachine machine;
        std::string file = machine.Path("registry.sqlite3");
        std::string original;
        if (variant == 0) {
            std::ofstream(file, std::ios::binary) << garbage;
        } else {
            // A real store, then cut short (1) or foreign (2).
            {
                auto store = platform::reg::OpenStore(machine.dir());
                HKEY key;
                ASSERT_EQ(platform::reg::CreateKey(store, HKEY_CURRENT_USER, u"Software\\X", &key,
                                                   nullptr),
                          ERROR_SUCCESS);
                RegCloseKey(key);
            }
            std::filesystem::remove(file + "-wal");
            std::filesystem::remove(file + "-shm");
            if (variant == 1) {
                std::filesystem::resize_file(file, 4096 + 100);
            } else {
                std::filesystem::remove(file);
                // SQLite header and an unrelated table: a database, not ours.
                std::string command = "sqlite3 '" + file + "' 'CREATE TABLE t(x);' 2>/dev/null";
                if (std::system(command.c_str()) != 0) {
                    std::ofstream(file, std::ios::binary) << "SQLite format 3" << garbage;
                }
            }
        }
        original = Slurp(file);

        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, 0, &key),
                  ERROR_FILE_NOT_FOUND)
            << "the program sees no saved settings and uses its defaults";
        std::vector<std::string> aside = DamagedCopies(machine);
        ASSERT_EQ(aside.size(), 1u) << "the damaged file is kept under another name";
        EXPECT_TRUE(Slurp(aside[0]) == original) << "unchanged";
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0, 0,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << "a fresh store takes its place";
        EXPECT_EQ(SetString(key, u"SavedHistory", u""), ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

TEST(Registry, AnUnreadableStoreFailsEveryCallWithoutCrashing) {
    TempMachine machine;
    std::filesystem::create_directories(machine.Path("registry.sqlite3"));
    HKEY key = reinterpret_cast<HKEY>(0x1);
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"Software", 0, nullptr, 0, 0, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_NE(RegQueryValueExW(HKEY_CURRENT_USER, u"x", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(machine.Path("registry.sqlite3")))
        << "what is there is left alone";
}

TEST(Registry, TwoProcessesWriteAtOnce) {
    TempMachine machine;
    auto writer = [&](int id) {
        return [&machine, id] {
            auto store = platform::reg::OpenStore(machine.dir());
            for (int i = 0; i < 150; ++i) {
                HKEY key;
                if (platform::reg::CreateKey(store, HKEY_CURRENT_USER, u"Shared\\Key", &key,
                                             nullptr) != ERROR_SUCCESS) {
                    return 1;
                }
                std::u16string name = u"p" + platform::Widen(std::to_string(id)) + u"-" +
                                      platform::Widen(std::to_string(i));
                DWORD value = static_cast<DWORD>(id * 1000 + i);
                LONG status = RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&value), 4);
                RegCloseKey(key);
                if (status != ERROR_SUCCESS) return 2;
            }
            return 0;
        };
    };
    pid_t first = StartChild(writer(1));
    pid_t second = StartChild(writer(2));
    EXPECT_EQ(WaitChild(first), 0);
    EXPECT_EQ(WaitChild(second), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"shared\\key", 0, 0, &key), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 300u) << "no write of either process is lost";
    DWORD value = 0, size = 4;
    EXPECT_EQ(
        RegQueryValueExW(key, u"P2-149", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 2149u);
    RegCloseKey(key);
}

// A writer killed at random moments, many times: the store must always open again and every
// value must be one of the writer's complete values, never a mixture or a torn one.
TEST(Registry, KillingAWriterNeverLeavesAHalfWrittenValue) {
    TempMachine machine;
    // Value i: its number in the first 4 bytes, then (i % 251) repeated, 64 + (i * 97) % 4000
    // bytes in all; the slot is i % 8.
    auto sizeOf = [](std::uint32_t i) { return 64 + (i * 97) % 4000; };
    std::mt19937 random(12345);
    std::uint32_t start = 0;
    int killedMidRun = 0;
    for (int round = 0; round < 25; ++round) {
        int writing[2];
        ASSERT_EQ(pipe(writing), 0);
        pid_t child = StartChild([&machine, start, sizeOf, writing] {
            close(writing[0]);
            auto store = platform::reg::OpenStore(machine.dir());
            HKEY key;
            if (platform::reg::CreateKey(store, HKEY_CURRENT_USER, u"Crash", &key, nullptr) !=
                ERROR_SUCCESS) {
                return 1;
            }
            for (std::uint32_t i = start;; ++i) {
                std::vector<BYTE> data(sizeOf(i), static_cast<BYTE>(i % 251));
                std::memcpy(data.data(), &i, 4);
                std::u16string name = u"slot" + platform::Widen(std::to_string(i % 8));
                if (RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data.data(),
                                   static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
                    return 2;
                }
                DWORD last = i;
                RegSetValueExW(key, u"last", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&last), 4);
                if (i == start && write(writing[1], "w", 1) != 1) return 3;
            }
        });
        ASSERT_GT(child, 0);
        close(writing[1]);
        // The kill comes at a random moment of the writing, not during start-up.
        char byte;
        bool started = read(writing[0], &byte, 1) == 1;
        close(writing[0]);
        if (started) std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
        kill(child, SIGKILL);
        int status = WaitChild(child);
        ASSERT_TRUE(started) << "the writer failed with status " << status;
        if (status == -1) ++killedMidRun;

        auto store = platform::reg::OpenStore(machine.dir());
        HKEY key;
        LONG opened = platform::reg::OpenKey(store, HKEY_CURRENT_USER, u"Crash", &key);
        ASSERT_EQ(opened, ERROR_SUCCESS) << "round " << round;
        for (int slot = 0; slot < 8; ++slot) {
            std::u16string name = u"slot" + platform::Widen(std::to_string(slot));
            DWORD type = 0;
            std::vector<BYTE> data;
            LONG status = Read(key, name.c_str(), type, data);
            if (status == ERROR_FILE_NOT_FOUND) continue;
            ASSERT_EQ(status, ERROR_SUCCESS);
            ASSERT_GE(data.size(), 4u);
            std::uint32_t i;
            std::memcpy(&i, data.data(), 4);
            ASSERT_EQ(i % 8, static_cast<std::uint32_t>(slot));
            ASSERT_EQ(data.size(), sizeOf(i)) << "round " << round << " slot " << slot;
            for (std::size_t b = 4; b < data.size(); ++b) {
                ASSERT_EQ(data[b], static_cast<BYTE>(i % 251)) << "byte " << b;
            }
        }
        DWORD last = 0, size = 4;
        if (RegQueryValueExW(key, u"last", nullptr, nullptr, reinterpret_cast<BYTE*>(&last),
                             &size) == ERROR_SUCCESS) {
            start = last + 1; // the next writer carries on with new values
        }
        RegCloseKey(key);
    }
    EXPECT_EQ(killedMidRun, 25) << "every writer was killed while writing";
    EXPECT_GE(start, 25u) << "and each one wrote";
    EXPECT_TRUE(DamagedCopies(machine).empty()) << "no kill ever damaged the store";
}

TEST(Registry, OverlongNamesAreRefused) {
    TempMachine machine;
    HKEY key;
    std::u16string longPart(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (u"Software\\" + longPart).c_str(), 0, nullptr, 0,
                              0, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, longPart.substr(1).c_str(), 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << "255 characters are allowed";
    std::u16string longName(16384, u'v');
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExW(key, longName.c_str(), 0, REG_BINARY, &one, 1),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_BINARY, nullptr, 1), ERROR_INVALID_PARAMETER)
        << "no data but a size";
    RegCloseKey(key);
}

TEST(Registry, ThreadsOfOneProcessShareTheStore) {
    TempMachine machine;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 50; ++i) {
                HKEY key;
                std::u16string path = u"Threads\\T" + platform::Widen(std::to_string(t));
                if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, 0, nullptr,
                                    &key, nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                DWORD value = static_cast<DWORD>(i);
                if (RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   4) != ERROR_SUCCESS) {
                    ++failures;
                }
                RegCloseKey(key);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Threads", 0, 0, &key), ERROR_SUCCESS);
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    RegCloseKey(key);
}

TEST(Registry, AStoreReplacedByAnotherProcessIsFollowed) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Who", u"old"), ERROR_SUCCESS);
    // Another process finds the store damaged: it is set aside and a new one made.
    pid_t other = StartChild([&machine] {
        std::string file = machine.Path("registry.sqlite3");
        for (const char* extra : {"-wal", "-shm", ""}) {
            std::string from = file + extra;
            std::string to = file + ".damaged-0-0" + extra;
            std::rename(from.c_str(), to.c_str());
        }
        auto store = platform::reg::OpenStore(machine.dir());
        HKEY fresh;
        if (platform::reg::CreateKey(store, HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", &fresh,
                                     nullptr) != ERROR_SUCCESS) {
            return 1;
        }
        return SetString(fresh, u"Who", u"new") == ERROR_SUCCESS ? 0 : 2;
    });
    ASSERT_EQ(WaitChild(other), 0);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Who", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED)
        << "a key of the old file is gone";
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, 0, &key),
              ERROR_SUCCESS);
    DWORD type;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, u"Who", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, Bytes(u"new", 8)) << "this process now reads and writes the new store";
    RegCloseKey(key);
}

TEST(Registry, DamageDuringARunFailsOneCallAndNeverCrashes) {
    TempMachine machine;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::vector<BYTE> big(200000, 0x42);
    ASSERT_EQ(
        RegSetValueExW(key, u"Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
    // Garbage over the file in place (same inode), WAL content included.
    std::string file = machine.Path("registry.sqlite3");
    for (const char* extra : {"", "-wal"}) {
        std::fstream out(file + extra, std::ios::in | std::ios::out | std::ios::binary);
        std::string junk(std::filesystem::file_size(file + extra), '\x5A');
        out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    // Whatever the first calls report, they fail cleanly; soon the store is fresh again.
    LONG first = RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, 0, &key);
    if (first == ERROR_SUCCESS) {
        DWORD size = 0;
        LONG query = RegQueryValueExW(key, u"Big", nullptr, nullptr, nullptr, &size);
        EXPECT_TRUE(query == ERROR_BADDB || query == ERROR_KEY_DELETED ||
                    (query == ERROR_SUCCESS && size == big.size()))
            << query;
        RegCloseKey(key);
    } else {
        EXPECT_TRUE(first == ERROR_BADDB || first == ERROR_FILE_NOT_FOUND) << first;
    }
    LONG later = ERROR_BADDB;
    for (int attempt = 0; attempt < 3 && later == ERROR_BADDB; ++attempt) {
        later = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark", 0, nullptr, 0, 0,
                                nullptr, &key, nullptr);
    }
    ASSERT_EQ(later, ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, u"After", u"ok"), ERROR_SUCCESS);
    RegCloseKey(key);
}
