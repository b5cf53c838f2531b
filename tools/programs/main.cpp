// tessark-programs: the desktop machine's remove-programs facility.
//
//   tessark-programs [--machine DIR] list
//   tessark-programs [--machine DIR] remove NAME
//
// list shows each entry of HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall" with its
// "DisplayName". remove runs the "UninstallString" of the entry whose key or display name is
// NAME (without regard to case), through the rundll32 beside this program, and checks that the
// entry is gone afterwards. Only rundll32 commands are run. Exit status: 0 done, 1 failed,
// 2 bad usage.
#include "platform/reg.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr const char16_t* kUninstallKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

int Usage(const std::string& message) {
    std::fprintf(stderr,
                 "tessark-programs: %s (usage: tessark-programs [--machine DIR] list | remove "
                 "NAME)\n",
                 message.c_str());
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tessark-programs: %s\n", message.c_str());
    return kFailed;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

struct Program {
    std::string key;
    std::optional<std::string> displayName;
    std::optional<std::string> uninstallString;
};

// A REG_SZ value as text; nullopt when absent, of another type or not text.
std::optional<std::string> ReadText(HKEY key, const char16_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size % 2 != 0 || size > 64 * 1024) {
        return std::nullopt;
    }
    std::u16string text(size / 2, u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size / 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    if (text.find(u'\0') != std::u16string::npos) return std::nullopt;
    return platform::Narrow(text);
}

bool ReadPrograms(std::vector<Program>* programs, std::string* error) {
    HKEY list = nullptr;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &list);
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) {
        *error = "cannot read the machine's registry (error " + std::to_string(result) + ")";
        return false;
    }
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD chars = 256;
        result = RegEnumKeyExW(list, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        Program program;
        program.key = platform::Narrow(std::u16string(name, chars));
        HKEY entry = nullptr;
        if (RegOpenKeyExW(list, name, 0, KEY_READ, &entry) == ERROR_SUCCESS) {
            program.displayName = ReadText(entry, u"DisplayName");
            program.uninstallString = ReadText(entry, u"UninstallString");
            RegCloseKey(entry);
        }
        programs->push_back(program);
    }
    RegCloseKey(list);
    return true;
}

bool Registered(const std::string& key) {
    HKEY entry = nullptr;
    std::u16string path = std::u16string(kUninstallKey) + u"\\" + platform::Widen(key);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &entry) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(entry);
    return true;
}

std::string ExecutableDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(length));
    return exe.substr(0, exe.find_last_of('/'));
}

// The program word of an uninstall command and what follows it; the program may be quoted and
// may carry a folder and ".exe".
bool SplitCommand(const std::string& command, std::string* program, std::string* rest) {
    std::size_t at = command.find_first_not_of(" \t");
    if (at == std::string::npos) return false;
    std::size_t end;
    if (command[at] == '"') {
        end = command.find('"', at + 1);
        if (end == std::string::npos) return false;
        *program = command.substr(at + 1, end - at - 1);
        ++end;
    } else {
        end = command.find_first_of(" \t", at);
        if (end == std::string::npos) end = command.size();
        *program = command.substr(at, end - at);
    }
    std::size_t restAt = command.find_first_not_of(" \t", end);
    *rest = restAt == std::string::npos ? std::string() : command.substr(restAt);
    std::size_t slash = program->find_last_of("\\/");
    *program = Lower(slash == std::string::npos ? *program : program->substr(slash + 1));
    return true;
}

int List() {
    std::vector<Program> programs;
    std::string error;
    if (!ReadPrograms(&programs, &error)) return Fail(error);
    for (const Program& program : programs) {
        std::printf("%s\t%s\n", program.key.c_str(),
                    program.displayName ? program.displayName->c_str() : "(no DisplayName)");
    }
    return 0;
}

int Remove(const std::string& name) {
    std::vector<Program> programs;
    std::string error;
    if (!ReadPrograms(&programs, &error)) return Fail(error);
    const Program* found = nullptr;
    for (const Program& program : programs) {
        if (Lower(program.key) == Lower(name)) found = &program;
    }
    for (const Program& program : programs) {
        if (found == nullptr && program.displayName && Lower(*program.displayName) == Lower(name)) {
            found = &program;
        }
    }
    if (found == nullptr) return Fail("no installed program is named \"" + name + "\"");
    if (!found->uninstallString ||
        found->uninstallString->find_first_not_of(" \t") == std::string::npos) {
        return Fail(found->key + " has no UninstallString to run");
    }
    std::string program, rest;
    if (!SplitCommand(*found->uninstallString, &program, &rest) ||
        (program != "rundll32" && program != "rundll32.exe")) {
        return Fail("the UninstallString of " + found->key +
                    " is not a rundll32 command: " + *found->uninstallString);
    }
    if (rest.empty()) return Fail("the UninstallString of " + found->key + " names no library");

    std::string tool = ExecutableDir() + "/rundll32";
    std::string machine = platform::MachineDir();
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return Fail(std::string("cannot start rundll32: ") + std::strerror(errno));
    if (child == 0) {
        setenv("TESSARK_MACHINE", machine.c_str(), 1);
        execl(tool.c_str(), "rundll32", rest.c_str(), static_cast<char*>(nullptr));
        std::fprintf(stderr, "tessark-programs: cannot run %s: %s\n", tool.c_str(),
                     std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return Fail("rundll32 did not finish for " + found->key);
    }
    if (WEXITSTATUS(status) != 0) {
        return Fail("rundll32 failed for " + found->key + " (exit status " +
                    std::to_string(WEXITSTATUS(status)) + ")");
    }
    // The uninstaller takes the entry away when it has done its work.
    if (Registered(found->key)) return Fail("the uninstall of " + found->key + " did not complete");
    std::printf("removed %s\n", found->key.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--machine") {
        if (args.size() < 2 || args[1].empty()) return Usage("--machine needs a directory");
        platform::SetMachineDir(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    platform::OnProgramStart();
    if (args.empty()) return Usage("no command");
    if (args[0] == "list") {
        if (args.size() != 1) return Usage("list takes no operands");
        return List();
    }
    if (args[0] == "remove") {
        if (args.size() != 2 || args[1].empty()) return Usage("remove takes one program name");
        return Remove(args[1]);
    }
    return Usage("unknown command \"" + args[0] + "\"");
}
