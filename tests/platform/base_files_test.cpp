#include "platform/base.h"

#include "tests/platform/temp_machine.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spill(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(BasePaths, WindowsPathsMapIntoTheMachine) {
    TempMachine machine;
    const std::string& m = machine.dir();
    EXPECT_EQ(platform::MapPath("C:\\Program Files\\Orvane\\tessark.exe"),
              m + "/drive_c/Program Files/Orvane/tessark.exe");
    EXPECT_EQ(platform::MapPath("d:/data\\x"), m + "/drive_d/data/x") << "both separators";
    EXPECT_EQ(platform::MapPath("\\Uninstall Log for Tessark.txt"),
              m + "/drive_c/Uninstall Log for Tessark.txt")
        << "a leading backslash is the root drive";
    EXPECT_EQ(platform::MapPath(u"\\Windows\\\\Start Menu\\"), m + "/drive_c/Windows/Start Menu")
        << "repeated and trailing separators collapse";
    EXPECT_EQ(platform::MapPath("C:\\a\\..\\..\\b\\.\\c"), m + "/drive_c/b/c")
        << "\"..\" stops at the drive's root";
    EXPECT_EQ(platform::MapPath("C:"), m + "/drive_c");
    EXPECT_EQ(platform::MapPath("/usr/share/fonts"), "/usr/share/fonts") << "Unix paths stay";
    EXPECT_EQ(platform::MapPath("relative\\file.txt"), "relative/file.txt");
    EXPECT_EQ(platform::MapPathIn("/elsewhere", "\\x"), "/elsewhere/drive_c/x");
}

TEST(BasePaths, ExistingNamesAreFoundWhateverTheirCase) {
    TempMachine machine;
    Spill(machine.Path("drive_c/Program Files/Orvane/Tessark.exe"), "x");
    EXPECT_EQ(platform::MapPath("c:\\PROGRAM FILES\\orvane\\tessark.EXE"),
              machine.Path("drive_c/Program Files/Orvane/Tessark.exe"));
    // A component that does not exist keeps the spelling given, so files are created as asked.
    EXPECT_EQ(platform::MapPath("C:\\program files\\New Folder"),
              machine.Path("drive_c/Program Files/New Folder"));
}

TEST(BasePaths, MachineDirectoryFollowsTheEnvironment) {
    struct SavedEnvironment {
        std::vector<std::pair<std::string, std::optional<std::string>>> saved;
        SavedEnvironment() {
            for (const char* name : {"TESSARK_MACHINE", "XDG_DATA_HOME", "HOME"}) {
                const char* value = std::getenv(name);
                saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            }
        }
        ~SavedEnvironment() {
            for (const auto& [name, value] : saved) {
                if (value) {
                    setenv(name.c_str(), value->c_str(), 1);
                } else {
                    unsetenv(name.c_str());
                }
            }
        }
    } restore;
    platform::SetMachineDir("");
    setenv("TESSARK_MACHINE", "/tmp/some-machine", 1);
    EXPECT_EQ(platform::MachineDir(), "/tmp/some-machine");
    unsetenv("TESSARK_MACHINE");
    setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(platform::MachineDir(), "/tmp/xdg/tessark/machine");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(platform::MachineDir(), "/tmp/home/.local/share/tessark/machine");
}

TEST(BaseFiles, CreateWriteReadAndSeek) {
    TempMachine machine;
    ASSERT_TRUE(CreateDirectoryA("C:\\", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    SetLastError(0xdeadbeef);
    HANDLE file =
        CreateFileW(u"C:\\data.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a new file";
    std::string payload(100000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, payload.data(), 32768, &written, nullptr));
    EXPECT_EQ(written, 32768u);
    EXPECT_TRUE(WriteFile(file, payload.data() + 32768, 100000 - 32768, &written, nullptr));
    DWORD read = 1;
    char scratch[4];
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(file, scratch, 4, &read, nullptr)) << "opened for writing only";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(Slurp(machine.Path("drive_c/data.bin")), payload);

    file = CreateFileA("C:\\DATA.BIN", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 100000u);
    EXPECT_EQ(high, 0u);
    std::string back(100, '\0');
    EXPECT_TRUE(ReadFile(file, back.data(), 100, &read, nullptr));
    EXPECT_EQ(SetFilePointer(file, -40, nullptr, FILE_CURRENT), 60u) << "a BMP reader steps back";
    EXPECT_TRUE(ReadFile(file, back.data(), 10, &read, nullptr));
    EXPECT_EQ(back.substr(0, 10), payload.substr(60, 10));
    EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 99995u);
    EXPECT_TRUE(ReadFile(file, back.data(), 100, &read, nullptr));
    EXPECT_EQ(read, 5u) << "a read at the end returns what is left";
    EXPECT_TRUE(ReadFile(file, back.data(), 100, &read, nullptr));
    EXPECT_EQ(read, 0u) << "and then nothing, successfully";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr)) << "opened for reading only";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(file, back.data(), 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(BaseFiles, CreationModes) {
    TempMachine machine;
    Spill(machine.Path("drive_c/old.txt"), "old contents");
    SetLastError(0xdeadbeef);
    HANDLE file = CreateFileA("C:\\old.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS))
        << "CREATE_ALWAYS says it replaced a file";
    CloseHandle(file);
    EXPECT_EQ(Slurp(machine.Path("drive_c/old.txt")), "") << "and truncated it";

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\old.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\missing.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\no\\such\\dir\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << "a folder is not a file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    Spill(machine.Path("drive_c/old.txt"), "again");
    SetLastError(0xdeadbeef);
    file = CreateFileA("C:\\old.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 5u) << "OPEN_ALWAYS keeps the contents";
    CloseHandle(file);
    SetLastError(0xdeadbeef);
    file = CreateFileA("C:\\fresh.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(file);
    file = CreateFileA("C:\\old.txt", GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\none.txt", GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\old.txt", GENERIC_READ, 0, nullptr, 9, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BaseFiles, AnUnsharedOpenExcludesOthersUntilClosed) {
    TempMachine machine;
    Spill(machine.Path("drive_c/in use.exe"), "running");
    HANDLE running =
        CreateFileA("C:\\in use.exe", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\in use.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Slurp(machine.Path("drive_c/in use.exe")), "running")
        << "a refused CREATE_ALWAYS must not truncate";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\in use.exe"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // Another process meets the same refusal.
    pid_t child = StartChild([] {
        HANDLE h = CreateFileA("C:\\in use.exe", GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        return h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 1;
    });
    EXPECT_EQ(WaitChild(child), 0);

    CloseHandle(running);
    EXPECT_TRUE(DeleteFileA("C:\\in use.exe"));

    // Shared readers coexist.
    Spill(machine.Path("drive_c/shared.txt"), "s");
    HANDLE a = CreateFileA("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    HANDLE b = CreateFileA("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    EXPECT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    CloseHandle(a);
    CloseHandle(b);
}

TEST(BaseFiles, ReadOnlyAttributeProtectsTheFile) {
    TempMachine machine;
    Spill(machine.Path("drive_c/f.txt"), "keep");
    EXPECT_EQ(GetFileAttributesA("C:\\f.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(SetFileAttributesA("C:\\f.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"c:\\F.TXT"), FILE_ATTRIBUTE_READONLY);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\f.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("C:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Slurp(machine.Path("drive_c/f.txt")), "keep");
    EXPECT_TRUE(SetFileAttributesA("C:\\f.txt", 0)) << "attributes 0 clear them";
    EXPECT_EQ(GetFileAttributesA("C:\\f.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileA("C:\\f.txt"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA("C:\\f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileAttributesA("C:\\nowhere\\f.txt", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(BaseFiles, DirectoriesAreCreatedOneLevelAtATimeAndRemovedOnlyWhenEmpty) {
    TempMachine machine;
    EXPECT_TRUE(CreateDirectoryA("C:", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    std::filesystem::create_directories(machine.Path("drive_c"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr)) << "the parent is missing";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\a", nullptr));
    EXPECT_TRUE(CreateDirectoryA("C:\\a\\b", nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("C:\\A", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("C:\\a"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\a\\b"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\a"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("C:\\a"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "folders are not files";
}

TEST(BaseFiles, MoveRefusesToReplaceUnlessAsked) {
    TempMachine machine;
    Spill(machine.Path("drive_c/a.txt"), "A");
    Spill(machine.Path("drive_c/b.txt"), "B");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA("C:\\a.txt", "C:\\b.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Slurp(machine.Path("drive_c/b.txt")), "B");
    EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Slurp(machine.Path("drive_c/b.txt")), "A");
    EXPECT_TRUE(MoveFileW(u"C:\\b.txt", u"C:\\This File Is Safe To Delete (#1234).txt"));
    EXPECT_EQ(Slurp(machine.Path("drive_c/This File Is Safe To Delete (#1234).txt")), "A");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileA("C:\\b.txt", "C:\\c.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(BaseFiles, DelayedDeletionHappensAtTheNextProgramStart) {
    TempMachine machine;
    Spill(machine.Path("drive_c/Tessark/tessark.exe"), "in use");
    Spill(machine.Path("drive_c/keep.txt"), "keep");
    EXPECT_TRUE(MoveFileExA("C:\\Tessark\\tessark.exe", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExW(u"C:\\Tessark", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(std::filesystem::exists(machine.Path("drive_c/Tessark/tessark.exe")))
        << "nothing happens until the next start";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("C:\\missing.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    pid_t next = StartChild([] {
        platform::OnProgramStart();
        return 0;
    });
    EXPECT_EQ(WaitChild(next), 0);
    EXPECT_FALSE(std::filesystem::exists(machine.Path("drive_c/Tessark/tessark.exe")));
    EXPECT_FALSE(std::filesystem::exists(machine.Path("drive_c/Tessark")))
        << "the emptied folder recorded after it goes too";
    EXPECT_TRUE(std::filesystem::exists(machine.Path("drive_c/keep.txt")));

    Spill(machine.Path("drive_c/Tessark/tessark.exe"), "reinstalled");
    platform::OnProgramStart();
    EXPECT_TRUE(std::filesystem::exists(machine.Path("drive_c/Tessark/tessark.exe")))
        << "a deletion is carried out once only";
}
