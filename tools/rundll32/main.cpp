// rundll32: loads a library of the desktop machine and calls one of its entries.
//
//   rundll32 [--machine DIR] LIBRARY,ENTRY [COMMAND LINE]
//
// The arguments are read back as one command line, the way the system's rundll32 reads its
// own: LIBRARY is a machine path, in double quotes when it holds blanks or commas; ENTRY runs to
// the first blank; whatever follows is handed to the entry as its command line. The entry is
// called as void ENTRY(HWND, HINSTANCE, LPSTR commandLine, int show). Exit status: 0 the entry
// ran, 1 the library or the entry could not be found, 2 bad usage.
#include "platform/base.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kShowDefault = 10;

using Entry = void (*)(HWND window, HINSTANCE instance, LPSTR commandLine, int show);

struct Call {
    std::string library;
    std::string entry;
    std::string commandLine;
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "rundll32: %s (usage: rundll32 [--machine DIR] LIBRARY,ENTRY [ARGS])\n",
                 message.c_str());
    return kUsage;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool GoodEntryName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '@')) {
            return false;
        }
    return true;
}

std::optional<Call> Parse(const std::string& line, std::string* error) {
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    Call call;
    if (at < line.size() && line[at] == '"') {
        std::size_t close = line.find('"', at + 1);
        if (close == std::string::npos) {
            *error = "the library path has no closing quote";
            return std::nullopt;
        }
        call.library = line.substr(at + 1, close - at - 1);
        at = close + 1;
        while (at < line.size() && IsBlank(line[at]))
            ++at;
    } else {
        std::size_t comma = line.find(',', at);
        std::size_t end = comma == std::string::npos ? line.size() : comma;
        call.library = line.substr(at, end - at);
        while (!call.library.empty() && IsBlank(call.library.back()))
            call.library.pop_back();
        at = end;
    }
    if (call.library.empty()) {
        *error = "no library named";
        return std::nullopt;
    }
    if (at >= line.size() || line[at] != ',') {
        *error = "no entry named after the library (LIBRARY,ENTRY)";
        return std::nullopt;
    }
    ++at;
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    std::size_t end = at;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    call.entry = line.substr(at, end - at);
    if (!GoodEntryName(call.entry)) {
        *error = call.entry.empty() ? "no entry named" : "bad entry name \"" + call.entry + "\"";
        return std::nullopt;
    }
    while (end < line.size() && IsBlank(line[end]))
        ++end;
    call.commandLine = line.substr(end);
    return call;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--machine") {
        if (args[1].empty()) return Usage("--machine needs a directory");
        platform::SetMachineDir(args[1]);
        setenv("TESSARK_MACHINE", args[1].c_str(), 1);
        args.erase(args.begin(), args.begin() + 2);
    }
    platform::OnProgramStart();
    if (args.empty()) return Usage("nothing to run");
    // One command line again, so that a caller's quoting reaches the parser as written.
    std::string line;
    for (const std::string& arg : args)
        line += (line.empty() ? "" : " ") + arg;
    std::string error;
    std::optional<Call> call = Parse(line, &error);
    if (!call) return Usage(error);

    HMODULE module = LoadLibraryA(call->library.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "rundll32: cannot load %s (error %u)\n", call->library.c_str(),
                     static_cast<unsigned>(GetLastError()));
        return kFailed;
    }
    auto entry = reinterpret_cast<Entry>(GetProcAddressA(module, call->entry.c_str()));
    if (entry == nullptr) {
        std::fprintf(stderr, "rundll32: %s has no entry %s\n", call->library.c_str(),
                     call->entry.c_str());
        FreeLibrary(module);
        return kFailed;
    }
    std::vector<char> commandLine(call->commandLine.begin(), call->commandLine.end());
    commandLine.push_back('\0');
    entry(nullptr, module, commandLine.data(), kShowDefault);
    // The library stays loaded until the process ends: what it keeps for its own life (its
    // memory manager's records among them) goes with the process, as a library's does when
    // rundll32 returns on the platform.
    return 0;
}
