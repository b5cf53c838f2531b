#include "platform/base.h"

#include "tests/platform/temp_machine.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(BaseText, EsperantoRoundTripsThroughTheCodePage) {
    const char* narrow = "Ĉiuĵaŭde ŝi ĝuas ĥoron";
    int needed = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    ASSERT_GT(needed, 0);
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide.data(), needed), needed);
    EXPECT_EQ(wide, std::u16string(u"Ĉiuĵaŭde ŝi ĝuas ĥoron") + u'\0')
        << "-1 converts the terminator too";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(bytes, static_cast<int>(std::strlen(narrow) + 1));
    std::string back(static_cast<std::size_t>(bytes), '\0');
    EXPECT_EQ(
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, back.data(), bytes, nullptr, nullptr),
        bytes);
    EXPECT_STREQ(back.c_str(), narrow);

    // Characters outside the 16-bit range travel as surrogate pairs.
    const char* clef = "\xF0\x9D\x84\x9E";
    WCHAR pair[4] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, clef, 4, pair, 4), 2);
    EXPECT_EQ(pair[0], 0xD834);
    EXPECT_EQ(pair[1], 0xDD1E);
}

TEST(BaseText, BadInputAndSmallBuffersFailTheWayThePlatformDoes) {
    WCHAR small[2];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    const char broken[] = "a\xC3(b\xED\xA0\x80";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    WCHAR out[16];
    int n = MultiByteToWideChar(CP_UTF8, 0, broken, -1, out, 16);
    ASSERT_EQ(n, 6) << "bad sequences become one replacement character each";
    EXPECT_EQ(std::u16string(out, 5), u"a\uFFFD(b\uFFFD");

    const WCHAR lone[] = {u'x', 0xD800, u'y', 0};
    char narrow[16];
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, narrow, 16, nullptr, &usedDefault), 6);
    EXPECT_STREQ(narrow, "x\xEF\xBF\xBDy");
    EXPECT_TRUE(usedDefault);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 16, nullptr, &usedDefault), 0)
        << "UTF-8 takes no default character";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, lone, -1, narrow, 16, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BaseMemory, LocalBlocksAreZeroedOnRequestAndFreed) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 1040));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 1040; ++i)
        ASSERT_EQ(block[i], 0) << "LPTR zeroes the block";
    std::memset(block, 0xAB, 1040);
    EXPECT_EQ(LocalFree(block), nullptr);
    HLOCAL empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr) << "a zero-byte block still exists";
    LocalFree(empty);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BaseDebugOutput, GoesToStandardErrorOnlyWhenTracing) {
    unsetenv("TESSARK_TRACE");
    testing::internal::CaptureStderr();
    OutputDebugStringA("setuplib: hidden\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setenv("TESSARK_TRACE", "1", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("setuplib: shown\n");
    OutputDebugStringW(u"ĉu vi? ");
    std::string seen = testing::internal::GetCapturedStderr();
    unsetenv("TESSARK_TRACE");
    EXPECT_EQ(seen, "setuplib: shown\nĉu vi? ");
}

TEST(BaseModules, ADllNameFindsTheSharedObjectBesideTheProgram) {
    HMODULE module = LoadLibraryA("testmodule.dll");
    ASSERT_NE(module, nullptr) << "libtestmodule.so is built beside the tests";
    auto answer = reinterpret_cast<int (*)()>(GetProcAddressA(module, "TestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    auto twice = reinterpret_cast<int (*)(int)>(GetProcAddressW(module, u"TestModuleTwice"));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice(21), 42);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddressA(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FreeLibrary(module)) << "freed as often as loaded, no more";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddressA(module, "TestModuleAnswer"), nullptr) << "an unloaded module";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryW(u"rapi-missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(BaseModules, AWindowsPathLoadsFromTheMachine) {
    TempMachine machine;
    char exe[4096];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    std::filesystem::path source =
        std::filesystem::path(std::string(exe, static_cast<std::size_t>(length))).parent_path() /
        "libtestmodule.so";
    std::filesystem::create_directories(machine.Path("drive_c/Program Files/Orvane"));
    std::filesystem::copy_file(source, machine.Path("drive_c/Program Files/Orvane/zzrapi.dll"));
    HMODULE module = LoadLibraryW(u"\\Program Files\\Orvane\\zzrapi.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddressA(module, "TestModuleAnswer"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("C:\\Program Files\\Orvane\\missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}
