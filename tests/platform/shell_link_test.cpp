#include "platform/reg.h"
#include "platform/shlobj.h"

#include "tests/platform/temp_machine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kMenu = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool MakeDirs(const std::string& hostPath) {
    std::error_code failed;
    fs::create_directories(hostPath, failed);
    return !failed;
}

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A temporary XDG_DATA_HOME (and HOME) for one test, restored afterwards.
class TempDesktop {
public:
    TempDesktop() {
        std::string pattern = fs::temp_directory_path().string() + "/tessark-xdg-XXXXXX";
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        Remember("XDG_DATA_HOME", &oldXdg_);
        Remember("HOME", &oldHome_);
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        setenv("HOME", dir_.c_str(), 1);
    }
    ~TempDesktop() {
        Restore("XDG_DATA_HOME", oldXdg_);
        Restore("HOME", oldHome_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    TempDesktop(const TempDesktop&) = delete;
    TempDesktop& operator=(const TempDesktop&) = delete;

    std::string Applications() const { return dir_ + "/applications"; }
    std::vector<std::string> Entries(const std::string& extension = ".desktop") const {
        std::vector<std::string> found;
        std::error_code failed;
        for (const auto& entry : fs::directory_iterator(Applications(), failed))
            if (entry.path().extension() == extension) found.push_back(entry.path().string());
        return found;
    }

private:
    static void Remember(const char* name, std::optional<std::string>* value) {
        if (const char* old = std::getenv(name)) *value = old;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::string dir_;
    std::optional<std::string> oldXdg_;
    std::optional<std::string> oldHome_;
};

class ComScope {
public:
    ComScope() { result = CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
    HRESULT result;
};

// Makes a shortcut the way the setup library does and saves it to `shortcut`.
HRESULT SaveShortcut(const std::string& shortcut, const std::string& target,
                     const std::string& arguments = "", const std::string& icon = "") {
    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) return hr;
    link->SetPath(target.c_str());
    link->SetShowCmd(1);
    link->SetDescription(target.c_str());
    if (!arguments.empty()) link->SetArguments(arguments.c_str());
    if (!icon.empty()) link->SetIconLocation(icon.c_str(), 0);
    IPersistFile* file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(platform::Widen(shortcut).c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return hr;
}

bool ShortcutExistsOnHost(const std::string& shortcut) {
    return fs::exists(platform::MapPath(shortcut));
}

// The value of `key` in a desktop entry, with the value escapes undone.
std::string EntryKey(const std::string& entry, const std::string& key) {
    std::istringstream in(ReadText(entry));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string value = line.substr(key.size() + 1), out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                char c = value[++i];
                out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 's' ? ' ' : c == 'r' ? '\r' : c;
            } else {
                out += value[i];
            }
        }
        return out;
    }
    return {};
}

// The Exec key split into arguments as a desktop launcher does.
std::vector<std::string> ExecArguments(const std::string& exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false, quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = inArg = true;
        } else if (c == ' ') {
            if (inArg) args.push_back(current);
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg) args.push_back(current);
    for (std::string& arg : args) {
        std::string undoubled;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            undoubled += arg[i];
            if (arg[i] == '%' && i + 1 < arg.size() && arg[i + 1] == '%') ++i;
        }
        arg = undoubled;
    }
    return args;
}

int RunArguments(const std::vector<std::string>& args) {
    return WaitChild(StartChild([&]() {
        std::vector<std::string> owned = args;
        std::vector<char*> argv;
        for (std::string& arg : owned)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        return 127;
    }));
}

int Validate(const std::string& entry) {
    return RunArguments({"desktop-file-validate", entry});
}

// A 2-image icon file of 32-bit bitmaps, the way our art generator writes them.
std::string MakeIcon() {
    auto put32 = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto put16 = [](std::string& out, std::uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    std::vector<std::string> bodies;
    for (int size : {16, 32}) {
        std::string body;
        put32(body, 40);
        put32(body, static_cast<std::uint32_t>(size));
        put32(body, static_cast<std::uint32_t>(size * 2));
        put16(body, 1);
        put16(body, 32);
        for (int i = 0; i < 6; ++i)
            put32(body, 0);
        for (int p = 0; p < size * size; ++p)
            body += std::string("\x10\x20\xC0\xFF", 4);
        body.append(static_cast<std::size_t>(size) * 4, '\0');
        bodies.push_back(body);
    }
    std::string ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, static_cast<std::uint16_t>(bodies.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(bodies.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        int size = i == 0 ? 16 : 32;
        ico += static_cast<char>(size);
        ico += static_cast<char>(size);
        ico += std::string(2, '\0');
        put16(ico, 1);
        put16(ico, 32);
        put32(ico, static_cast<std::uint32_t>(bodies[i].size()));
        put32(ico, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const std::string& body : bodies)
        ico += body;
    return ico;
}

TEST(ShellLinkObject, CreationFollowsTheComRules) {
    IShellLinkA* link = nullptr;
    EXPECT_EQ(CO_E_NOTINITIALIZED,
              CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               reinterpret_cast<void**>(&link)));
    EXPECT_EQ(nullptr, link);
    {
        ComScope com;
        EXPECT_EQ(S_OK, com.result);
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr)); // nested
        CoUninitialize();
        EXPECT_EQ(REGDB_E_CLASSNOTREG,
                  CoCreateInstance(IID_IPersistFile, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)));
        EXPECT_EQ(E_NOINTERFACE,
                  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, CLSID_ShellLink,
                                   reinterpret_cast<void**>(&link)));
        EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IShellLinkA, nullptr));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&link)));
        IUnknown* outer = link;
        IShellLinkA* aggregated = nullptr;
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  CoCreateInstance(CLSID_ShellLink, outer, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&aggregated)));

        // Every interface answers for the same object, and each reference is counted.
        IPersistFile* file = nullptr;
        ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
        IShellLinkA* back = nullptr;
        ASSERT_EQ(S_OK, file->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&back)));
        EXPECT_EQ(link, back);
        CLSID id{};
        EXPECT_EQ(S_OK, file->GetClassID(&id));
        EXPECT_TRUE(id == CLSID_ShellLink);
        EXPECT_EQ(2u, back->Release());
        EXPECT_EQ(1u, file->Release());
        EXPECT_EQ(0u, link->Release());
    }
    EXPECT_EQ(CO_E_NOTINITIALIZED,
              CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               reinterpret_cast<void**>(&link)));
}

TEST(ShellLinkObject, SavedShortcutLoadsBackWithEveryField) {
    TempMachine machine;
    TempDesktop desktop;
    ComScope com;
    IShellLinkA* link = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&link)));
    // Bytes the line format must carry: line breaks, a percent sign, an equals sign.
    link->SetPath("C:\\Program Files\\Tessark\\tessark.exe");
    link->SetArguments("--level=2 \"100%\"\nsecond line");
    link->SetWorkingDirectory("C:\\Program Files\\Tessark");
    link->SetDescription("Tessark\r\nthe game");
    link->SetIconLocation("C:\\Program Files\\Tessark\\tessark.ico", 3);
    link->SetShowCmd(7);
    EXPECT_EQ(E_INVALIDARG, link->SetPath(nullptr));
    IPersistFile* file = nullptr;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_EQ(S_OK, file->IsDirty());
    MakeDirs(machine.Path("drive_c/Links"));
    ASSERT_EQ(S_OK, file->Save(u"C:\\Links\\game.lnk", TRUE));
    EXPECT_EQ(S_FALSE, file->IsDirty());
    LPOLESTR current = nullptr;
    ASSERT_EQ(S_OK, file->GetCurFile(&current));
    EXPECT_EQ(std::u16string(u"C:\\Links\\game.lnk"), current);
    LocalFree(current);
    // Outside the programs menu a shortcut has no menu entry.
    EXPECT_TRUE(desktop.Entries().empty());
    file->Release();
    link->Release();

    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&link)));
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), file->Load(u"C:\\Links\\none.lnk", 0));
    ASSERT_EQ(S_OK, file->Load(u"c:\\links\\GAME.LNK", STGM_READ));
    char text[128];
    int number = 0;
    EXPECT_EQ(S_OK, link->GetPath(text, sizeof text, nullptr, 0));
    EXPECT_STREQ("C:\\Program Files\\Tessark\\tessark.exe", text);
    EXPECT_EQ(S_OK, link->GetArguments(text, sizeof text));
    EXPECT_STREQ("--level=2 \"100%\"\nsecond line", text);
    EXPECT_EQ(S_OK, link->GetWorkingDirectory(text, sizeof text));
    EXPECT_STREQ("C:\\Program Files\\Tessark", text);
    EXPECT_EQ(S_OK, link->GetDescription(text, sizeof text));
    EXPECT_STREQ("Tessark\r\nthe game", text);
    EXPECT_EQ(S_OK, link->GetIconLocation(text, sizeof text, &number));
    EXPECT_STREQ("C:\\Program Files\\Tessark\\tessark.ico", text);
    EXPECT_EQ(3, number);
    EXPECT_EQ(S_OK, link->GetShowCmd(&number));
    EXPECT_EQ(7, number);
    // A short buffer gets a truncated, terminated copy; no buffer is refused.
    EXPECT_EQ(S_OK, link->GetPath(text, 4, nullptr, 0));
    EXPECT_STREQ("C:\\", text);
    EXPECT_EQ(E_INVALIDARG, link->GetPath(nullptr, 10, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, link->GetPath(text, 0, nullptr, 0));
    file->Release();
    link->Release();
}

TEST(ShellLinkObject, DamagedShortcutFilesAreRefusedWithoutLosingTheLoadedOne) {
    TempMachine machine;
    ComScope com;
    MakeDirs(machine.Path("drive_c/Links"));
    ASSERT_EQ(S_OK, SaveShortcut("C:\\Links\\good.lnk", "C:\\good.exe"));
    const std::vector<std::string> damaged = {
        "",
        "not a shortcut\nPath=C:\\x.exe\n",
        "[TessarkShortcut]\nPath C:\\x.exe\n",
        "[TessarkShortcut]\nPath=C:\\x%4\n",
        "[TessarkShortcut]\nPath=C:\\x%zz.exe\n",
        "[TessarkShortcut]\nShowCmd=one\n",
        "[TessarkShortcut]\nIconIndex=99999999999999\n",
        "[TessarkShortcut]\nPath=" + std::string(70000, 'x') + "\n",
    };
    IShellLinkA* link = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&link)));
    IPersistFile* file = nullptr;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    ASSERT_EQ(S_OK, file->Load(u"C:\\Links\\good.lnk", 0));
    for (const std::string& bytes : damaged) {
        WriteText(machine.Path("drive_c/Links/bad.lnk"), bytes);
        EXPECT_EQ(E_FAIL, file->Load(u"C:\\Links\\bad.lnk", 0)) << bytes.substr(0, 40);
        char path[64];
        ASSERT_EQ(S_OK, link->GetPath(path, sizeof path, nullptr, 0));
        EXPECT_STREQ("C:\\good.exe", path);
    }
    // Keys of a later version are skipped, not refused.
    WriteText(machine.Path("drive_c/Links/later.lnk"),
              "[TessarkShortcut]\nPath=C:\\later.exe\nHotKey=5\n\nShowCmd=3\n");
    EXPECT_EQ(S_OK, file->Load(u"C:\\Links\\later.lnk", 0));
    int show = 0;
    link->GetShowCmd(&show);
    EXPECT_EQ(3, show);
    // A shortcut cannot be saved where no folder leads.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), file->Save(u"C:\\Nowhere\\x.lnk", TRUE));
    file->Release();
    link->Release();
}

TEST(ShellLinkMenuEntry, ProgramsMenuShortcutGetsAValidEntryThatStartsTheProgram) {
    TempMachine machine;
    TempDesktop desktop;
    ComScope com;
    // The program: records its machine and arguments, and fails on purpose so that its exit
    // status shows it really ran.
    std::string program = "C:\\Program Files\\Tessark\\tessark.exe";
    ASSERT_TRUE(MakeDirs(machine.Path("drive_c/Program Files/Tessark")));
    HANDLE exe = CreateFileA(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exe);
    std::string script =
        "#!/bin/sh\nprintf '%s|' \"$TESSARK_MACHINE\" \"$@\" > \"$TESSARK_MACHINE/ran\"\n"
        "exit 7\n";
    DWORD written = 0;
    WriteFile(exe, script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
    CloseHandle(exe);
    struct stat info {};
    ASSERT_EQ(0, stat(platform::MapPath(program).c_str(), &info));
    EXPECT_NE(0u, info.st_mode & S_IXUSR) << "a program file is created executable";
    WriteText(machine.Path("drive_c/Program Files/Tessark/tessark.ico"), MakeIcon());

    std::string shortcut = std::string(kMenu) + "\\Games\\Tessark.lnk";
    ASSERT_TRUE(MakeDirs(platform::MapPath(std::string(kMenu) + "\\Games")));
    ASSERT_EQ(S_OK, SaveShortcut(shortcut, program, "-x \"two words\" 50% $HOME"));
    std::vector<std::string> entries = desktop.Entries();
    ASSERT_EQ(1u, entries.size());
    const std::string& entry = entries[0];
    EXPECT_EQ(0, Validate(entry)) << ReadText(entry);
    EXPECT_EQ("Tessark", EntryKey(entry, "Name"));
    EXPECT_EQ("Game;", EntryKey(entry, "Categories"));
    EXPECT_EQ("Application", EntryKey(entry, "Type"));

    // The icon came from the icon file beside the program, the larger image, as a PNG.
    std::string icon = EntryKey(entry, "Icon");
    ASSERT_FALSE(icon.empty());
    EXPECT_EQ(desktop.Applications(), fs::path(icon).parent_path().string());
    std::string png = ReadText(icon);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(0, png.compare(0, 8, "\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(32, static_cast<unsigned char>(png[19])); // IHDR width, low byte

    std::vector<std::string> args = ExecArguments(EntryKey(entry, "Exec"));
    EXPECT_EQ(7, RunArguments(args)) << EntryKey(entry, "Exec");
    std::string machineDir = fs::canonical(machine.dir()).string();
    EXPECT_EQ(machineDir + "|-x|two words|50%|$HOME|", ReadText(machine.Path("ran")));

    // Saving again replaces the entry; deleting the shortcut takes entry and icon away.
    ASSERT_EQ(S_OK, SaveShortcut(shortcut, program));
    EXPECT_EQ(1u, desktop.Entries().size());
    EXPECT_EQ(TRUE, DeleteFileA(shortcut.c_str()));
    EXPECT_FALSE(ShortcutExistsOnHost(shortcut));
    EXPECT_TRUE(desktop.Entries().empty());
    EXPECT_TRUE(desktop.Entries(".png").empty());
    // A failing delete leaves everything in place.
    EXPECT_EQ(FALSE, DeleteFileA(shortcut.c_str()));
}

TEST(ShellLinkMenuEntry, EntriesAreKeptApartPerMachineAndFolder) {
    TempDesktop desktop;
    ComScope com;
    TempMachine second;
    TempMachine first;
    std::string games = std::string(kMenu) + "\\Games";
    MakeDirs(platform::MapPath(games));
    MakeDirs(platform::MapPath(std::string(kMenu) + "\\Other"));
    ASSERT_EQ(S_OK, SaveShortcut(games + "\\Tessark.lnk", "C:\\a.exe"));
    ASSERT_EQ(S_OK, SaveShortcut(std::string(kMenu) + "\\Other\\Tessark.lnk", "C:\\b.exe"));
    // Not a shortcut by name, and a shortcut outside the menu: no entries.
    ASSERT_EQ(S_OK, SaveShortcut(games + "\\notes.txt", "C:\\c.exe"));
    ASSERT_EQ(S_OK, SaveShortcut("C:\\Tessark.lnk", "C:\\d.exe"));
    std::vector<std::string> afterFirst = desktop.Entries();
    EXPECT_EQ(2u, afterFirst.size());

    platform::SetMachineDir(second.dir());
    MakeDirs(platform::MapPath(games));
    ASSERT_EQ(S_OK, SaveShortcut(games + "\\Tessark.lnk", "C:\\a.exe"));
    EXPECT_EQ(3u, desktop.Entries().size());
    EXPECT_EQ(TRUE, DeleteFileA((games + "\\Tessark.lnk").c_str()));
    // The second machine's delete took only its own entry.
    std::vector<std::string> now = desktop.Entries();
    std::sort(now.begin(), now.end());
    std::sort(afterFirst.begin(), afterFirst.end());
    EXPECT_EQ(afterFirst, now);

    // Deleting a file that never had an entry leaves the others alone.
    platform::SetMachineDir(first.dir());
    EXPECT_EQ(TRUE, DeleteFileA("C:\\Tessark.lnk"));
    EXPECT_EQ(2u, desktop.Entries().size());
}

TEST(ShellLinkMenuEntry, WithoutAProgramsMenuOrDataHomeNoEntryIsWritten) {
    TempMachine machine;
    TempDesktop desktop;
    ComScope com;
    HKEY key = nullptr;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_ALL_ACCESS, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Common Programs"));
    RegCloseKey(key);
    std::string games = std::string(kMenu) + "\\Games";
    MakeDirs(platform::MapPath(games));
    EXPECT_EQ(S_OK, SaveShortcut(games + "\\Tessark.lnk", "C:\\a.exe"));
    EXPECT_TRUE(desktop.Entries().empty());
    // A relative data home is not one: nothing is written anywhere.
    setenv("XDG_DATA_HOME", "relative", 1);
    setenv("HOME", "", 1);
    EXPECT_EQ(S_OK, SaveShortcut("C:\\Tessark.lnk", "C:\\a.exe"));
    EXPECT_FALSE(fs::exists("relative"));
}

} // namespace
