// Sending files to the device: the 5120-byte rule, the temporary file of a compressed transfer,
// the expansion on the device, the single uncompressed retry, the version cache and the calling
// of named functions on either target.
#include "device_test_support.h"

#include "foundation/zz.h"

#include <cstring>

namespace {

const char kDestination[] = "\\My Documents\\file.bin";

bool Send(TransferTarget& target, const std::string& destination, const std::string& data,
          int from = 0, int to = 100) {
    return rapiwritefile(target, destination, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()), from, to);
}

TEST(TransferName, TheTemporaryNameCarriesTheTickCount) {
    EXPECT_EQ(TemporaryTransferName(1234), "\\This File Is Safe To Delete (#1234)");
    EXPECT_EQ(TemporaryTransferName(0), "\\This File Is Safe To Delete (#0)");
}

TEST_F(DeviceTest, AFileOf5120BytesTravelsAsItIs) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    std::string data = Patterned(5120);
    ASSERT_TRUE(Send(target, kDestination, data));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), data);
}

TEST_F(DeviceTest, AFileOf5121BytesTravelsCompressedAndIsExpandedOnTheDevice) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    std::string data = Patterned(5121);
    ASSERT_TRUE(Send(target, kDestination, data));
    EXPECT_EQ(target.zzVersion, 1);
    std::vector<std::string> temporaries = TemporaryFiles();
    ASSERT_EQ(temporaries.size(), 1u);
    // What crossed the wire: a zz block of the file, smaller than the file.
    std::string block = Slurp(Tree(temporaries[0]));
    ASSERT_GT(block.size(), 4u);
    EXPECT_LT(block.size(), data.size());
    DWORD prefix;
    std::memcpy(&prefix, block.data(), 4);
    EXPECT_EQ(prefix, 5121u);
    BYTE* expanded = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzdecompress(&expanded, &size, block.data(), static_cast<DWORD>(block.size())));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(expanded), size), data);
    zzfree(expanded);
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), data);
}

TEST_F(DeviceTest, ProgressFollowsTheChunks) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    std::vector<int> reports;
    target.progressContext = &reports;
    target.progress = [](void* context, int percent) {
        static_cast<std::vector<int>*>(context)->push_back(percent);
    };
    std::string data = Patterned(100000);
    ASSERT_TRUE(Send(target, kDestination, data, 10, 50));
    // The start, then 32768-byte chunks: 32768, 65536, 98304, 100000.
    EXPECT_EQ(reports, (std::vector<int>{10, 23, 36, 49, 50}));
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), data);
}

TEST_F(DeviceTest, AFailedExpansionIsRetriedOnceUncompressedAndEndsCompression) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    PlaceFakeZZ("fail");
    TransferTarget target = Target();
    std::string first = Patterned(6000, 1);
    ASSERT_TRUE(Send(target, kDestination, first));
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), first);
    EXPECT_EQ(Slurp(Tree("fake-calls.txt")), "VD") << "one version question, one expansion";
    EXPECT_EQ(target.zzVersion, 0);
    EXPECT_EQ(TemporaryFiles().size(), 1u);

    std::string second = Patterned(7000, 2);
    ASSERT_TRUE(Send(target, "\\My Documents\\second.bin", second));
    EXPECT_EQ(Slurp(Tree("My Documents/second.bin")), second);
    EXPECT_EQ(Slurp(Tree("fake-calls.txt")), "VD") << "no compression for the rest of the run";
}

TEST_F(DeviceTest, VersionZeroDisablesCompressionAndIsAskedOnce) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    PlaceFakeZZ("zero");
    TransferTarget target = Target();
    std::string data = Patterned(6000);
    ASSERT_TRUE(Send(target, kDestination, data));
    ASSERT_TRUE(Send(target, "\\My Documents\\again.bin", data));
    EXPECT_EQ(getzzversion(target), 0);
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(Slurp(Tree("My Documents/again.bin")), data);
    EXPECT_EQ(Slurp(Tree("fake-calls.txt")), "V");
}

TEST_F(DeviceTest, NoAnswerToTheVersionDisablesCompression) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    PlaceFakeZZ("silent");
    TransferTarget target = Target();
    std::string data = Patterned(6000);
    ASSERT_TRUE(Send(target, kDestination, data));
    EXPECT_EQ(target.zzVersion, 0);
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), data);
}

TEST_F(DeviceTest, NoZZRapiOnTheDeviceDisablesCompression) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    std::string data = Patterned(60000);
    ASSERT_TRUE(Send(target, kDestination, data));
    EXPECT_EQ(target.zzVersion, 0);
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(Slurp(Tree("My Documents/file.bin")), data);
}

TEST_F(DeviceTest, ADestinationTooLongForTheExpansionInputTravelsUncompressed) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    std::string folder = "My Documents";
    for (int i = 0; i < 50; ++i)
        folder += "/abcdefghi";
    std::filesystem::create_directories(Tree(folder));
    std::string destination = "\\" + folder + "/file.bin";
    for (char& c : destination) {
        if (c == '/') c = '\\';
    }
    ASSERT_GT(destination.size() * 2, static_cast<std::size_t>(kDecompressInputBytes));
    TransferTarget target = Target();
    std::string data = Patterned(6000);
    ASSERT_TRUE(Send(target, destination, data));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(Slurp(Tree(folder + "/file.bin")), data);
}

TEST(DesktopTarget, TheDesktopHasNoZZVersion) {
    TransferTarget desktop;
    EXPECT_EQ(getzzversion(desktop), 0);
}

TEST(DesktopTarget, CallFunctionLoadsTheLibraryByPath) {
    std::string machine = std::filesystem::temp_directory_path().string() + "/tsk-desk-XXXXXX";
    ASSERT_NE(mkdtemp(machine.data()), nullptr);
    platform::SetMachineDir(machine);
    TransferTarget desktop;
    std::string library = std::string(TESSARK_TEST_DEVICE_LIBS) + "/zero.dll";
    std::string answer = "stale";
    EXPECT_TRUE(callfunction(desktop, library, "GetZZRAPIVersion", "", &answer));
    EXPECT_EQ(answer, "0");
    EXPECT_FALSE(callfunction(desktop, library, "NoSuchFunction", "", &answer));
    EXPECT_EQ(answer, "");
    EXPECT_FALSE(callfunction(desktop, machine + "/missing.dll", "GetZZRAPIVersion", "", &answer));
    // The failing expansion answers with an error code: a failure without output.
    EXPECT_FALSE(callfunction(desktop, std::string(TESSARK_TEST_DEVICE_LIBS) + "/fail.dll",
                              "DecompressFile", "x", &answer));
    platform::SetMachineDir("");
    std::error_code ignored;
    std::filesystem::remove_all(machine, ignored);
}

TEST_F(DeviceTest, CallFunctionOnTheDeviceRunsOnlyLibrariesOfItsTree) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    std::string answer;
    EXPECT_TRUE(callfunction(target, "\\Program Files\\Orvane Software\\zzrapi.dll",
                             "GetZZRAPIVersion", "", &answer));
    EXPECT_EQ(answer, "1");
    EXPECT_FALSE(callfunction(target, "\\Program Files\\Orvane Software\\zzrapi.dll",
                              "NoSuchFunction", "", &answer));
    EXPECT_EQ(answer, "");
    EXPECT_FALSE(callfunction(target, "\\Windows\\nothing.dll", "GetZZRAPIVersion", "", &answer));
    // The same library outside the device's tree is never run.
    std::string outside = BinDir() + "/device-libs/zzrapi.dll";
    ASSERT_TRUE(std::filesystem::exists(outside));
    EXPECT_FALSE(callfunction(target, outside, "GetZZRAPIVersion", "", &answer));
    EXPECT_FALSE(callfunction(target, "\\..\\..\\..\\" + outside, "GetZZRAPIVersion", "", &answer));
}

// Calls "DecompressFile" of the device's zzrapi.dll with raw input bytes.
HRESULT Expand(RAPI* rapi, const std::u16string& input, std::size_t bytes) {
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes));
    std::memcpy(block, input.data(), bytes);
    DWORD outputSize = 0;
    BYTE* output = nullptr;
    HRESULT result =
        CeRapiInvoke(rapi, u"\\Program Files\\Orvane Software\\zzrapi.dll", u"DecompressFile",
                     static_cast<DWORD>(bytes), block, &outputSize, &output, nullptr, 0);
    if (output != nullptr) LocalFree(output);
    return result;
}

TEST_F(DeviceTest, DecompressFileTakesTwoTerminatedPathsAndKeepsTheDestinationOnFailure) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    std::string data = Patterned(9000);
    BYTE* block = nullptr;
    DWORD blockSize = 0;
    ASSERT_TRUE(zzcompress(&block, &blockSize, data.data(), static_cast<DWORD>(data.size())));
    Spit(Tree("good.tmp"), std::string(reinterpret_cast<char*>(block), blockSize));
    // A damaged block: its prefix promises more than the stream holds.
    std::string damaged(reinterpret_cast<char*>(block), blockSize / 2);
    zzfree(block);
    Spit(Tree("bad.tmp"), damaged);
    Spit(Tree("keep.txt"), "precious");

    std::u16string good = std::u16string(u"\\good.tmp") + u'\0' + u"\\out.bin" + u'\0';
    EXPECT_EQ(Expand(rapi_, good, good.size() * 2), 0);
    EXPECT_EQ(Slurp(Tree("out.bin")), data);

    std::u16string bad = std::u16string(u"\\bad.tmp") + u'\0' + u"\\keep.txt" + u'\0';
    EXPECT_NE(Expand(rapi_, bad, bad.size() * 2), 0);
    EXPECT_EQ(Slurp(Tree("keep.txt")), "precious");

    std::u16string unterminated = std::u16string(u"\\good.tmp") + u'\0' + u"\\keep.txt";
    EXPECT_NE(Expand(rapi_, unterminated, unterminated.size() * 2), 0);
    std::u16string escaping = std::u16string(u"\\good.tmp") + u'\0' + u"\\..\\..\\x" + u'\0';
    EXPECT_NE(Expand(rapi_, escaping, escaping.size() * 2), 0);
    EXPECT_FALSE(std::filesystem::exists(root_ + "/x"));
    EXPECT_NE(Expand(rapi_, good, good.size() * 2 - 1), 0) << "half a character";
    EXPECT_EQ(Slurp(Tree("keep.txt")), "precious");
}

TEST_F(DeviceTest, ADeviceLostInTheMiddleOfATransferFailsTheNextCalls) {
    CreateAndConnect("--no-zzrapi");
    ASSERT_NE(rapi_, nullptr);
    TransferTarget target = Target();
    target.progressContext = this;
    // The device is pulled out once the file is created, before its first chunk.
    target.progress = [](void* context, int) { static_cast<DeviceTest*>(context)->Kill(); };
    std::string data = Patterned(300000);
    EXPECT_FALSE(Send(target, kDestination, data));
    ASSERT_FALSE(TraceLines().empty());
    EXPECT_EQ(TraceLines().back(),
              "setuplib: writefile failed to write \\My Documents\\file.bin\n");
    SetLastError(0);
    EXPECT_EQ(CeGetFileAttributes(rapi_, u"\\Windows"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(CeGetLastError(rapi_), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    target.progress = nullptr;
    EXPECT_FALSE(Send(target, kDestination, "small"));
    EXPECT_EQ(TraceLines().back(),
              "setuplib: rapi writefile failed to create \\My Documents\\file.bin\n");
}

} // namespace
