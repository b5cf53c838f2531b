// Connecting: loading "rapi.dll", its 78 entries, the initialisation with its time-out, the
// trace lines, and the processor names a device reports.
#include "device_test_support.h"

#include <cstring>

namespace {

// The entries a connection needs, in the order it resolves them.
const char* const kEntries[] = {"CeRapiInit",
                                "CeRapiInitEx",
                                "CeRapiUninit",
                                "CeRapiGetError",
                                "CeRapiFreeBuffer",
                                "CeRapiInvoke",
                                "CeCreateDatabase",
                                "CeDeleteDatabase",
                                "CeDeleteRecord",
                                "CeFindFirstDatabase",
                                "CeFindNextDatabase",
                                "CeOidGetInfo",
                                "CeOpenDatabase",
                                "CeReadRecordProps",
                                "CeSeekDatabase",
                                "CeSetDatabaseInfo",
                                "CeFindFirstFile",
                                "CeFindNextFile",
                                "CeFindClose",
                                "CeGetFileAttributes",
                                "CeSetFileAttributes",
                                "CeCreateFile",
                                "CeReadFile",
                                "CeWriteFile",
                                "CeCloseHandle",
                                "CeFindAllFiles",
                                "CeFindAllDatabases",
                                "CeGetLastError",
                                "CeSetFilePointer",
                                "CeSetEndOfFile",
                                "CeCreateDirectory",
                                "CeRemoveDirectory",
                                "CeCreateProcess",
                                "CeMoveFile",
                                "CeCopyFile",
                                "CeDeleteFile",
                                "CeGetFileSize",
                                "CeRegOpenKeyEx",
                                "CeRegEnumKeyEx",
                                "CeRegCreateKeyEx",
                                "CeRegCloseKey",
                                "CeRegDeleteKey",
                                "CeRegEnumValue",
                                "CeRegDeleteValue",
                                "CeRegQueryInfoKey",
                                "CeRegQueryValueEx",
                                "CeRegSetValueEx",
                                "CeGetStoreInformation",
                                "CeGetSystemMetrics",
                                "CeGetDesktopDeviceCaps",
                                "CeGetSystemInfo",
                                "CeSHCreateShortcut",
                                "CeSHGetShortcutTarget",
                                "CeCheckPassword",
                                "CeGetFileTime",
                                "CeSetFileTime",
                                "CeGetVersionEx",
                                "CeGetWindow",
                                "CeGetWindowLong",
                                "CeGetWindowText",
                                "CeGetClassName",
                                "CeGlobalMemoryStatus",
                                "CeGetSystemPowerStatusEx",
                                "CeGetTempPath",
                                "CeGetSpecialFolderPath",
                                "CeFindFirstDatabaseEx",
                                "CeFindNextDatabaseEx",
                                "CeCreateDatabaseEx",
                                "CeSetDatabaseInfoEx",
                                "CeOpenDatabaseEx",
                                "CeDeleteDatabaseEx",
                                "CeReadRecordPropsEx",
                                "CeWriteRecordProps",
                                "CeMountDBVol",
                                "CeUnmountDBVol",
                                "CeFlushDBVol",
                                "CeEnumDBVolumes",
                                "CeOidGetInfoEx"};

TEST(RapiLibrary, TheTableListsTheSeventyEightEntriesInOrder) {
    std::vector<std::string> table;
#define NAME_OF(kind, ret, name, params, args, fail) table.emplace_back(#name);
    TESSARK_RAPI_ENTRIES(NAME_OF)
#undef NAME_OF
    ASSERT_EQ(table.size(), 78u);
    ASSERT_EQ(kRapiEntryCount, 78);
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i], kEntries[i]) << "entry " << i + 1;
}

TEST(RapiLibrary, EveryEntryResolvesFromTheBuiltLibrary) {
    HMODULE module = LoadLibraryA("rapi.dll");
    ASSERT_NE(module, nullptr) << "librapi.so beside the test program";
    for (const char* name : kEntries)
        EXPECT_NE(GetProcAddressA(module, name), nullptr) << name;
    FreeLibrary(module);
}

TEST(RapiLibrary, ALibraryMissingAnEntryIsRefused) {
    TraceLines().clear();
    SetRapiTrace(CollectTrace);
    EXPECT_EQ(ConnectLibrary("rapi_incomplete.dll", 100), nullptr);
    SetRapiTrace(nullptr);
    std::vector<std::string> expected = {"rapi: initializing...",
                                         "rapi: failed to find functions in rapi.dll; error 127",
                                         "rapi: uninitializing", "rapi: uninitialization complete"};
    EXPECT_EQ(TraceLines(), expected);
}

TEST(RapiLibrary, NoLibraryGivesNoConnection) {
    TraceLines().clear();
    SetRapiTrace(CollectTrace);
    EXPECT_EQ(ConnectLibrary("no_such_rapi.dll", 100), nullptr);
    SetRapiTrace(nullptr);
    std::vector<std::string> expected = {"rapi: initializing...",
                                         "rapi: failed to load rapi.dll; error 126"};
    EXPECT_EQ(TraceLines(), expected);
}

TEST_F(DeviceTest, ConnectSucceedsWithTheDeviceUp) {
    Create();
    Start();
    rapi_ = Connect(1000);
    ASSERT_NE(rapi_, nullptr);
    std::vector<std::string> expected = {"rapi: initializing...", "rapi: calling CeRapiInitEx",
                                         "rapi: initialization succeeded"};
    EXPECT_EQ(TraceLines(), expected);
    Disconnect(rapi_);
    rapi_ = nullptr;
    EXPECT_EQ(TraceLines().back(), "rapi: uninitialization complete");
}

TEST_F(DeviceTest, ConnectTimesOutWithTheDeviceDownAndSucceedsOnceItIsUp) {
    Create();
    auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(Connect(300), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(300));
    std::vector<std::string> expected = {"rapi: initializing...", "rapi: calling CeRapiInitEx",
                                         "rapi: CeRapiInitEx timed out", "rapi: uninitializing",
                                         "rapi: uninitialization complete"};
    EXPECT_EQ(TraceLines(), expected);
    // Each attempt starts afresh: a rescan after plugging the device in finds it.
    Start();
    rapi_ = Connect(1000);
    EXPECT_NE(rapi_, nullptr);
}

TEST_F(DeviceTest, NoDeviceAtAllTimesOut) {
    // Not even a device directory.
    EXPECT_EQ(Connect(100), nullptr);
}

struct Architecture {
    unsigned code;
    const char* name;
};

// Named by its code alone, so that the test names stay the same from run to run.
void PrintTo(const Architecture& architecture, std::ostream* out) {
    *out << architecture.code;
}

class ProcessorTest : public DeviceTest, public ::testing::WithParamInterface<Architecture> {};

TEST_P(ProcessorTest, TheDeviceReportsItsProcessor) {
    CreateAndConnect("--arch " + std::to_string(GetParam().code));
    ASSERT_NE(rapi_, nullptr);
    EXPECT_STREQ(DeviceProcessorName(rapi_), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Architectures, ProcessorTest,
                         ::testing::Values(Architecture{5, "arm"}, Architecture{3, "ppc"},
                                           Architecture{1, "mips"}, Architecture{4, "shx"},
                                           Architecture{0, "unknown"}, Architecture{2, "unknown"},
                                           Architecture{6, "unknown"},
                                           Architecture{65535, "unknown"}),
                         [](const ::testing::TestParamInfo<Architecture>& info) {
                             return "Code" + std::to_string(info.param.code) + "Is" +
                                    info.param.name;
                         });

TEST_F(DeviceTest, AProcessorThatCannotBeAskedIsUnknown) {
    CreateAndConnect("--arch 5");
    ASSERT_NE(rapi_, nullptr);
    ASSERT_STREQ(DeviceProcessorName(rapi_), "arm");
    Kill();
    EXPECT_STREQ(DeviceProcessorName(rapi_), "unknown");
}

TEST_F(DeviceTest, TheInitEventIsSignalledOnlyWhenTheDeviceAnswers) {
    Create();
    HMODULE module = LoadLibraryA("rapi.dll");
    ASSERT_NE(module, nullptr);
    auto initEx = reinterpret_cast<PFN_CeRapiInitEx>(GetProcAddressA(module, "CeRapiInitEx"));
    auto uninit = reinterpret_cast<PFN_CeRapiUninit>(GetProcAddressA(module, "CeRapiUninit"));
    RAPIINIT init{12, nullptr, 0};
    ASSERT_EQ(initEx(&init), S_OK);
    RAPIINIT again{12, nullptr, 0};
    EXPECT_NE(initEx(&again), S_OK) << "a second initialisation is refused";
    EXPECT_EQ(WaitForSingleObject(init.heRapiInit, 100), WAIT_TIMEOUT);
    Start();
    EXPECT_EQ(WaitForSingleObject(init.heRapiInit, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(uninit(), S_OK);
    EXPECT_NE(uninit(), S_OK);
    FreeLibrary(module);
}

} // namespace
