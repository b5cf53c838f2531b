// The setup library's tests: a desktop machine of its own for each test (with its system drive),
// or that plus an emulated device (DeviceTest), the library's trace lines, archives made in
// memory, and snapshots of a machine's files and registry to compare before and after.
#pragma once

#include "foundation/tl_dialog.h"
#include "setup/sl_internal.h"
#include "setup/sl_main.h"
#include "setup/sl_uninst.h"
#include "setup/unzipper.h"
#include "tests/device/device_test_support.h"
#include "tests/setup/zip_builder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace sltest {

inline std::vector<std::string>& Traces() {
    static std::vector<std::string> lines;
    return lines;
}

inline void CollectSetupTrace(const char* line) {
    Traces().emplace_back(line);
}

// The libraries the tests place on a target (bin/test-setup-libs).
inline std::string TestLibrary(const std::string& name) {
    return std::string(TESSARK_TEST_SETUP_LIBS) + "/" + name;
}

// A stored (uncompressed) archive of named entries.
inline ziptest::Bytes MakeArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<ziptest::Entry> entries;
    for (const auto& [name, data] : files) {
        ziptest::Entry entry;
        entry.name = name;
        entry.data.assign(data.begin(), data.end());
        entry.size = static_cast<std::uint32_t>(data.size());
        entries.push_back(entry);
    }
    return ziptest::Archive(entries);
}

inline std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::string& path, const std::string& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// Every file and folder below `dir` with its contents, leaving out the registry store and the
// list of deletions for the next start.
inline std::map<std::string, std::string> TreeSnapshot(const std::string& dir) {
    std::map<std::string, std::string> tree;
    std::error_code failed;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, failed);
         !failed && it != std::filesystem::recursive_directory_iterator(); it.increment(failed)) {
        std::string relative = std::filesystem::relative(it->path(), dir).string();
        if (relative.rfind("registry.sqlite3", 0) == 0 || relative == "pending-deletes" ||
            relative.rfind("device.", 0) == 0 || relative.find(".sock") != std::string::npos) {
            continue;
        }
        tree[relative] = it->is_directory() ? "<dir>" : ReadHostFile(it->path().string());
    }
    return tree;
}

// What installations leave on a target for all of the maker's products (the maker folder with
// the uninstaller and "zzrapi.dll") and the files that say they may be deleted, taken out of a
// snapshot of a machine's tree (`drive` is its "drive_c").
inline void ForgetShared(std::map<std::string, std::string>& tree, const std::string& drive) {
    for (const char* path : {"/Program Files", "/Program Files/Orvane Software",
                             "/Program Files/Orvane Software/uninstaller.dll",
                             "/Program Files/Orvane Software/zzrapi.dll"}) {
        tree.erase(drive + path);
    }
    for (auto it = tree.begin(); it != tree.end();) {
        if (it->first.rfind(drive + "/This File Is Safe To Delete (#", 0) == 0) {
            it = tree.erase(it);
        } else {
            ++it;
        }
    }
}

// Every key and value of a registry store, one line each.
inline void DumpKey(HKEY key, const std::string& path, std::set<std::string>& out) {
    out.insert(path);
    for (DWORD i = 0;; ++i) {
        WCHAR name[300];
        DWORD chars = 300;
        BYTE data[4096];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        std::string line = path + " | " + platform::Narrow(std::u16string_view(name, chars)) +
                           " | " + std::to_string(type) + " | ";
        for (DWORD b = 0; b < size; ++b)
            line += "0123456789abcdef"[data[b] >> 4], line += "0123456789abcdef"[data[b] & 15];
        out.insert(line);
    }
    for (DWORD i = 0;; ++i) {
        WCHAR name[300];
        DWORD chars = 300;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::u16string child(name, chars);
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        DumpKey(sub, path + "\\" + platform::Narrow(child), out);
        RegCloseKey(sub);
    }
}

inline std::set<std::string> RegistrySnapshot(const std::string& machineDir) {
    std::set<std::string> lines;
    auto store = platform::reg::OpenStore(machineDir, false);
    static const std::pair<HKEY, const char*> roots[] = {
        {HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_CURRENT_USER, "HKCU"}, {HKEY_CLASSES_ROOT, "HKCR"}};
    for (const auto& [root, name] : roots) {
        HKEY key = nullptr;
        if (platform::reg::OpenKey(store, root, u"", &key) != ERROR_SUCCESS) continue;
        DumpKey(key, name, lines);
        RegCloseKey(key);
    }
    return lines;
}

inline std::string RegString(const std::string& machineDir, HKEY root, const std::u16string& key,
                             const std::u16string& name) {
    auto store = platform::reg::OpenStore(machineDir, false);
    HKEY opened = nullptr;
    if (platform::reg::OpenKey(store, root, key.c_str(), &opened) != ERROR_SUCCESS) return "<none>";
    WCHAR data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG status = RegQueryValueExW(opened, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return "<none>";
    if (type == REG_DWORD) {
        DWORD number = 0;
        std::memcpy(&number, data, 4);
        return "#" + std::to_string(number);
    }
    if (type != REG_SZ || size < 2 || data[size / 2 - 1] != 0) return "<bad>";
    return platform::Narrow(std::u16string_view(data, size / 2 - 1));
}

inline bool RegKeyExists(const std::string& machineDir, HKEY root, const std::u16string& key) {
    auto store = platform::reg::OpenStore(machineDir, false);
    HKEY opened = nullptr;
    if (platform::reg::OpenKey(store, root, key.c_str(), &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

// Whether the platform offers the desktop's shell link object yet; without it desktop shortcuts
// fail and the tests look at everything else.
#if __has_include("platform/shlobj.h")
inline constexpr bool kDesktopLinks = true;
#else
inline constexpr bool kDesktopLinks = false;
#endif

// What the setup program does on one target, step by step; the outcome of each step in `steps`
// ("journal", "file", "shortcut", "finalize"). Unlike the setup program it goes on after a failed
// shortcut, so that the steps after it can be looked at before desktop shortcuts exist.
inline std::map<std::string, bool> InstallLikeSetup(SetupToolkit& kit, const ZIPFILE& archive) {
    std::map<std::string, bool> steps;
    steps["journal"] = kit.openjournal("Tessark");
    for (const char* value : {"Settings", "SavedGame", "SavedHistory"})
        kit.journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", value);
    steps["language"] = kit.copylanguage("Tessark CE");
    kit.flushjournal();
    const std::string processor = kit.getprocessorname();
    const std::string game = kit.getfolder(kProgramsFolder) + "\\Tessark\\tessark.exe";
    steps["file"] = kit.installfile(game, archive, processor + "\\tessark.exe", 5, 95);
    if (!steps["file"]) return steps;
    steps["shortcut"] = kit.linkfile(kit.getfolder(kProgramsMenu) + "\\Games\\Tessark.lnk", game);
    steps["finalize"] = kit.finalize(archive, processor + "\\uninstaller.dll", 95, 100);
    return steps;
}

// A desktop machine of its own for each test; the device, when a test wants one, is the
// DeviceTest's (tests/device). The library's trace lines are collected.
class SetupTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        desktop_ = root_ + "/desktop";
        std::filesystem::create_directories(desktop_ + "/drive_c");
        setenv("XDG_DATA_HOME", (root_ + "/xdg").c_str(), 1);
        Traces().clear();
        SetTraceHook(CollectSetupTrace);
    }

    void TearDown() override {
        SetChangeHook(nullptr);
        SetTraceHook(nullptr);
        library_.reset();
        unsetenv("XDG_DATA_HOME");
        DeviceTest::TearDown();
    }

    // A library that does not look for a device (no waiting).
    SetupToolkit& Desktop() {
        if (!library_) library_ = std::make_unique<SetupLib>(nullptr);
        return *library_->desktop();
    }

    // A running device and a library connected to it.
    SetupToolkit* Device(const std::string& options = "") {
        Create(options);
        if (HasFatalFailure()) return nullptr;
        Start();
        if (HasFatalFailure()) return nullptr;
        library_ = std::make_unique<SetupLib>();
        if (!library_->connectdevice(5000)) return nullptr;
        return library_->device();
    }

    // Where a desktop path lies on the host.
    std::string Host(const std::string& path) const { return platform::MapPathIn(desktop_, path); }

    bool TraceSeen(const std::string& line) const {
        return std::find(Traces().begin(), Traces().end(), line) != Traces().end();
    }

    std::string desktop_;
    std::unique_ptr<SetupLib> library_;
};

} // namespace sltest
