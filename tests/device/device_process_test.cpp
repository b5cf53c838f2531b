// The device process and what it serves: its tree and nothing outside it, its own registry,
// special folders, shortcuts, the entries it does not offer, requests that make no sense, and
// the cedevice tool.
#include "device_test_support.h"

#include "platform/device/protocol.h"
#include "platform/reg.h"

#include <cstring>

namespace {

TEST_F(DeviceTest, DevicePathsStayInsideTheTree) {
    Create();
    std::string tree = dir_ + "/drive_c";
    EXPECT_EQ(device::HostPath(dir_, u"\\Windows"), tree + "/Windows");
    EXPECT_EQ(device::HostPath(dir_, u"\\windows\\new file"), tree + "/Windows/new file")
        << "names match without regard to case";
    EXPECT_EQ(device::HostPath(dir_, u"/Windows"), tree + "/Windows");
    EXPECT_EQ(device::HostPath(dir_, u"\\"), tree);
    EXPECT_FALSE(device::HostPath(dir_, u"\\..\\device.ini"));
    EXPECT_FALSE(device::HostPath(dir_, u"\\Windows\\..\\..\\device.ini"));
    EXPECT_FALSE(device::HostPath(dir_, u"C:\\Windows"));
    EXPECT_FALSE(device::HostPath(dir_, u"Windows"));
    EXPECT_FALSE(device::HostPath(dir_, u""));
    std::filesystem::create_directory_symlink(root_, tree + "/escape");
    EXPECT_FALSE(device::HostPath(dir_, u"\\escape\\device\\device.ini"));
    EXPECT_FALSE(device::HostPath(dir_, u"\\escape"));
}

TEST_F(DeviceTest, FilesTravelBothWaysThroughTheConnection) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    ASSERT_TRUE(CeCreateDirectory(rapi_, u"\\Program Files\\Tessark", nullptr));
    EXPECT_FALSE(CeCreateDirectory(rapi_, u"\\Program Files\\Tessark", nullptr));
    EXPECT_NE(CeGetFileAttributes(rapi_, u"\\Program Files\\Tessark") & FILE_ATTRIBUTE_DIRECTORY,
              0u);
    HANDLE file = CeCreateFile(rapi_, u"\\Program Files\\Tessark\\a.txt", GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(CeWriteFile(rapi_, file, "hello device", 12, &written, nullptr));
    EXPECT_EQ(written, 12u);
    EXPECT_TRUE(CeCloseHandle(rapi_, file));
    EXPECT_FALSE(CeCloseHandle(rapi_, file)) << "a handle closes once";

    file = CeCreateFile(rapi_, u"\\program files\\tessark\\A.TXT", GENERIC_READ, 0, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeGetFileSize(rapi_, file, nullptr), 12u);
    EXPECT_EQ(CeSetFilePointer(rapi_, file, 6, nullptr, FILE_BEGIN), 6u);
    char text[32] = {};
    DWORD got = 0;
    ASSERT_TRUE(CeReadFile(rapi_, file, text, sizeof text, &got, nullptr));
    EXPECT_EQ(std::string(text, got), "device");
    EXPECT_TRUE(CeCloseHandle(rapi_, file));

    ASSERT_TRUE(
        CeMoveFile(rapi_, u"\\Program Files\\Tessark\\a.txt", u"\\Program Files\\Tessark\\b.txt"));
    CE_FIND_DATA found;
    HANDLE search = CeFindFirstFile(rapi_, u"\\Program Files\\Tessark\\*.txt", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::Narrow(found.cFileName), "b.txt");
    EXPECT_EQ(found.nFileSizeLow, 12u);
    EXPECT_FALSE(CeFindNextFile(rapi_, search, &found));
    EXPECT_TRUE(CeFindClose(rapi_, search));
    EXPECT_FALSE(CeRemoveDirectory(rapi_, u"\\Program Files\\Tessark")) << "not empty";
    EXPECT_TRUE(CeDeleteFile(rapi_, u"\\Program Files\\Tessark\\b.txt"));
    EXPECT_TRUE(CeRemoveDirectory(rapi_, u"\\Program Files\\Tessark"));
    EXPECT_EQ(CeGetFileAttributes(rapi_, u"\\Program Files\\Tessark"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(CeRemoveDirectory(rapi_, u"\\")) << "the root stays";
}

TEST_F(DeviceTest, NothingOutsideTheTreeIsReached) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    EXPECT_EQ(CeCreateFile(rapi_, u"\\..\\device.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeGetLastError(rapi_), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::u16string host = platform::Widen(dir_ + "/device.ini");
    EXPECT_EQ(CeGetFileAttributes(rapi_, host.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(CeDeleteFile(rapi_, u"\\..\\device.ini"));
    std::filesystem::create_directory_symlink(root_, Tree("escape"));
    EXPECT_FALSE(CeDeleteFile(rapi_, u"\\escape\\device\\device.ini"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/device.ini"));
    EXPECT_EQ(CeFindFirstFile(rapi_, u"\\escape\\*", nullptr), INVALID_HANDLE_VALUE);
    CE_FIND_DATA found;
    EXPECT_EQ(CeFindFirstFile(rapi_, u"\\escape\\*", &found), INVALID_HANDLE_VALUE);
}

TEST_F(DeviceTest, RequestsThatMakeNoSenseEndOnlyTheirConnection) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    auto rude = [&](const std::vector<unsigned char>& bytes) {
        int fd = device::ConnectTo(device::SocketPath(dir_));
        ASSERT_GE(fd, 0);
        device::WriteAll(fd, bytes.data(), bytes.size());
        std::vector<unsigned char> answer;
        EXPECT_FALSE(device::ReceiveFrame(fd, answer)) << "the device hangs up";
        close(fd);
    };
    rude({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3});          // a frame larger than any
    rude({4, 0, 0, 0, 0xE7, 3, 0, 0});                // an unknown request
    rude({8, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0, 0}); // a path longer than its frame
    rude({2, 0, 0, 0, 2, 0});                         // a request code cut short
    device::Writer oddText;
    oddText.U32(static_cast<std::uint32_t>(device::Op::ReqGetFileAttributes));
    oddText.Bytes("abc", 3); // half a character
    std::vector<unsigned char> frame = {static_cast<unsigned char>(oddText.data().size()), 0, 0, 0};
    frame.insert(frame.end(), oddText.data().begin(), oddText.data().end());
    rude(frame);
    EXPECT_TRUE(device::IsRunning(dir_));
    EXPECT_NE(CeGetFileAttributes(rapi_, u"\\Windows"), INVALID_FILE_ATTRIBUTES)
        << "the connection of the well-behaved client still works";
}

TEST_F(DeviceTest, TheRegistryIsTheDevicesOwn) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(CeRegCreateKeyEx(rapi_, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", 0, nullptr, 0,
                               0, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const char16_t dir[] = u"Tessark";
    ASSERT_EQ(CeRegSetValueEx(rapi_, key, u"InstlDir", 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(dir), sizeof dir),
              ERROR_SUCCESS);
    DWORD one = 1;
    ASSERT_EQ(CeRegSetValueEx(rapi_, key, u"Instl", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(CeRegCloseKey(rapi_, key), ERROR_SUCCESS);

    ASSERT_EQ(CeRegOpenKeyEx(rapi_, HKEY_LOCAL_MACHINE, u"SOFTWARE\\apps\\TESSARK", 0, 0, &key),
              ERROR_SUCCESS);
    DWORD type = 0, size = 4;
    BYTE small[4];
    EXPECT_EQ(CeRegQueryValueEx(rapi_, key, u"InstlDir", nullptr, &type, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof dir);
    char16_t read[16] = {};
    size = sizeof read;
    ASSERT_EQ(CeRegQueryValueEx(rapi_, key, u"instldir", nullptr, &type,
                                reinterpret_cast<BYTE*>(read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::u16string(read), u"Tessark");
    DWORD subKeys = 9, values = 0;
    ASSERT_EQ(CeRegQueryInfoKey(rapi_, key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 2u);
    WCHAR name[64];
    DWORD nameChars = 64;
    size = sizeof read;
    ASSERT_EQ(CeRegEnumValue(rapi_, key, 1, name, &nameChars, nullptr, &type,
                             reinterpret_cast<BYTE*>(read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Instl");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(CeRegEnumValue(rapi_, key, 2, name, &nameChars, nullptr, &type, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(CeRegDeleteValue(rapi_, key, u"Instl"), ERROR_SUCCESS);
    EXPECT_EQ(CeRegDeleteValue(rapi_, key, u"Instl"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CeRegCloseKey(rapi_, key), ERROR_SUCCESS);

    HKEY apps = nullptr;
    ASSERT_EQ(CeRegOpenKeyEx(rapi_, HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, 0, &apps),
              ERROR_SUCCESS);
    nameChars = 64;
    ASSERT_EQ(CeRegEnumKeyEx(rapi_, apps, 0, name, &nameChars, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Tessark");

    // In the device's store, and not in the desktop's.
    auto store = platform::reg::OpenStore(dir_, false);
    HKEY onDevice = nullptr;
    ASSERT_EQ(
        platform::reg::OpenKey(store, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", &onDevice),
        ERROR_SUCCESS);
    RegCloseKey(onDevice);
    HKEY onDesktop = nullptr;
    EXPECT_NE(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", 0, KEY_READ, &onDesktop),
        ERROR_SUCCESS);

    EXPECT_EQ(CeRegDeleteKey(rapi_, apps, u"Tessark"), ERROR_SUCCESS);
    EXPECT_EQ(CeRegCloseKey(rapi_, apps), ERROR_SUCCESS);
    EXPECT_EQ(CeRegOpenKeyEx(rapi_, HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CeRegCloseKey(rapi_, reinterpret_cast<HKEY>(0x7777)), ERROR_INVALID_HANDLE);
}

TEST_F(DeviceTest, SpecialFoldersShortcutsAndTheStore) {
    CreateAndConnect("--store 1000000");
    ASSERT_NE(rapi_, nullptr);
    WCHAR path[MAX_PATH];
    EXPECT_EQ(CeGetSpecialFolderPath(rapi_, CSIDL_PROGRAMS, MAX_PATH, path), 28u);
    EXPECT_EQ(std::u16string(path), u"\\Windows\\Start Menu\\Programs");
    EXPECT_GT(CeGetSpecialFolderPath(rapi_, CSIDL_STARTUP, MAX_PATH, path), 0u);
    EXPECT_EQ(std::u16string(path), u"\\Windows\\StartUp");
    EXPECT_EQ(CeGetSpecialFolderPath(rapi_, CSIDL_STARTUP, 5, path), 0u) << "buffer too small";
    EXPECT_EQ(CeGetSpecialFolderPath(rapi_, 99, MAX_PATH, path), 0u);

    WCHAR shortcut[] = u"\\Windows\\Start Menu\\Programs\\Tessark.lnk";
    WCHAR target[] = u"\"\\Program Files\\Tessark\\tessark.exe\"";
    EXPECT_TRUE(CeSHCreateShortcut(rapi_, shortcut, target));
    EXPECT_EQ(Slurp(Tree("Windows/Start Menu/Programs/Tessark.lnk")),
              "36#\"\\Program Files\\Tessark\\tessark.exe\"");

    STORE_INFORMATION store{};
    ASSERT_TRUE(CeGetStoreInformation(rapi_, &store));
    EXPECT_EQ(store.dwStoreSize, 1000000u);
    EXPECT_LT(store.dwFreeSize, 1000000u) << "zzrapi.dll takes room";
}

TEST_F(DeviceTest, EntriesTheDeviceDoesNotOfferFailWithAnErrorCode) {
    CreateAndConnect();
    ASSERT_NE(rapi_, nullptr);
    SetLastError(0);
    WCHAR name[] = u"db";
    EXPECT_EQ(CeCreateDatabase(rapi_, name, 0, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(CeGetLastError(rapi_), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    SetLastError(0);
    EXPECT_FALSE(CeCopyFile(rapi_, u"\\a", u"\\b", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(CeFindFirstDatabaseEx(rapi_, nullptr, 0), INVALID_HANDLE_VALUE);
    BYTE* output = reinterpret_cast<BYTE*>(1);
    DWORD outputSize = 5;
    IRAPIStream* stream = nullptr;
    auto* input = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 2));
    EXPECT_EQ(CeRapiInvoke(rapi_, u"\\x.dll", u"f", 2, input, &outputSize, &output, &stream, 0),
              E_NOTIMPL)
        << "stream mode";
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(outputSize, 0u);
}

TEST_F(DeviceTest, EveryVerbExplainsItself) {
    for (const char* verb : {"create", "start", "stop", "status", "serve", "ls", "cat", "push",
                             "pull", "run", "reg"}) {
        ToolRun help = Cedevice(std::string(verb) + " --help");
        EXPECT_EQ(help.status, 0) << verb;
        EXPECT_NE(help.out.find(std::string("usage: cedevice [--device DIR] ") + verb),
                  std::string::npos)
            << verb << ": " << help.out;
    }
    ToolRun all = Cedevice("--help");
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("push LOCAL DEVICEPATH"), std::string::npos);
    EXPECT_EQ(Cedevice("frobnicate").status, 2);
    EXPECT_EQ(Cedevice("ls").status, 2);
    EXPECT_EQ(Cedevice("create --arch banana").status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir_)) << "bad arguments make no device";
}

TEST_F(DeviceTest, RunStartsAProgramOfTheDeviceOnTheDevice) {
    Create();
    Spit(Tree("Program Files/Tool/where"), "#!/bin/sh\necho \"$TESSARK_MACHINE $1\"\n");
    std::filesystem::permissions(Tree("Program Files/Tool/where"),
                                 std::filesystem::perms::owner_all);
    ToolRun ran = Cedevice("run '\\Program Files\\Tool\\where' hello");
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, dir_ + " hello\n");
    EXPECT_EQ(Cedevice("run '\\..\\device.ini'").status, 1);
    EXPECT_EQ(Cedevice("run /bin/true").status, 1) << "a Unix path leads into the device's tree";
}

TEST_F(DeviceTest, ADamagedDescriptionIsReportedNotServed) {
    Create("--name Handheld --arch 4");
    ToolRun status = Cedevice("status");
    EXPECT_EQ(status.status, 1) << "not running";
    EXPECT_NE(status.out.find("architecture: 4 (shx)"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("name: Handheld"), std::string::npos);
    EXPECT_EQ(Cedevice("create").status, 1) << "a device exists already";
    Spit(dir_ + "/device.ini", "architecture=arm\nname=x\n");
    ToolRun served = Cedevice("serve");
    EXPECT_EQ(served.status, 1);
    EXPECT_NE(served.err.find("architecture"), std::string::npos) << served.err;
    EXPECT_FALSE(device::IsRunning(dir_));
}

TEST_F(DeviceTest, TheToolStartsListsPushesPullsAndStops) {
    Create();
    ToolRun started = Cedevice("start");
    // Whatever happens below, the background device is ended in teardown through its pid.
    std::ifstream pidFile(dir_ + "/device.pid");
    pidFile >> pid_;
    ASSERT_EQ(started.status, 0) << started.err;
    ASSERT_GT(pid_, 0);
    // It is not our child: teardown's waitpid does not wait for it, so stopping is checked here.
    EXPECT_EQ(Cedevice("status").status, 0);
    EXPECT_EQ(Cedevice("start").status, 1) << "already running";

    std::string local = root_ + "/local.bin";
    std::string data = Patterned(20000);
    Spit(local, data);
    ToolRun pushed = Cedevice("push " + ShellQuote(local) + " '\\My Documents\\game.bin'");
    ASSERT_EQ(pushed.status, 0) << pushed.err;
    EXPECT_NE(pushed.out.find("compressed"), std::string::npos);
    ToolRun listed = Cedevice("ls '\\My Documents'");
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("20000  game.bin"), std::string::npos) << listed.out;
    ToolRun shown = Cedevice("cat '\\My Documents\\game.bin'");
    EXPECT_EQ(shown.out, data);
    std::string back = root_ + "/back.bin";
    EXPECT_EQ(Cedevice("pull '\\My Documents\\game.bin' " + ShellQuote(back)).status, 0);
    EXPECT_EQ(Slurp(back), data);
    EXPECT_EQ(Cedevice("cat '\\My Documents\\none.bin'").status, 1);
    EXPECT_EQ(Cedevice("reg set 'HKLM\\PMail\\Attachments' TopDir REG_SZ Apps").status, 0);
    EXPECT_NE(Cedevice("reg dump").out.find("\"TopDir\" = REG_SZ \"Apps\""), std::string::npos);

    EXPECT_EQ(Cedevice("stop").status, 0);
    EXPECT_EQ(Cedevice("status").status, 1);
    EXPECT_EQ(Cedevice("ls '\\'").status, 1) << "no device to list";
    for (int i = 0; i < 200 && kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(kill(pid_, 0), 0) << "the device process has ended";
    pid_ = 0;
}

} // namespace
