// tessark: the game. One copy runs at a time; a second start raises the first.
#include "foundation/memory.h"
#include "game/shell/application.h"
#include "platform/base.h"
#include "platform/gdi.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef TESSARK_VERSION
#define TESSARK_VERSION "0"
#endif

namespace {

constexpr const char* kUsage =
    "usage: tessark [--new | --demo] [--scale N]\n"
    "  Plays Tessark: blue moves up the board, red down; three pieces on corners of a\n"
    "  rectangle capture the fourth. The game in progress is kept and resumed.\n"
    "  --new      start a new game instead of resuming the saved one\n"
    "  --demo     the computer plays itself (red High, blue Medium); the saved game and the\n"
    "             settings stay as they are\n"
    "  --scale N  show the window N times its size (1 to 4; TESSARK_SCALE does the same)\n"
    "  --help, --version\n";

// Exit code 2 with a message for anything it does not know.
bool ParseArguments(int argc, char** argv, StartOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("tessark %s\n", TESSARK_VERSION);
            std::exit(0);
        } else if (arg == "--new") {
            options.newGame = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--scale" && i + 1 < argc) {
            const char* text = argv[++i];
            char* end = nullptr;
            errno = 0;
            const long scale = std::strtol(text, &end, 10);
            if (errno != 0 || end == text || *end != 0 || scale < 1 || scale > 4) {
                std::fprintf(stderr, "tessark: --scale takes 1 to 4, not '%s'\n", text);
                return false;
            }
            setenv("TESSARK_SCALE", text, 1);
        } else {
            std::fprintf(stderr, "tessark: unknown argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::UseCallerFlavour();
    platform::OnProgramStart();
    if (!ParseArguments(argc, argv, App().start)) return 2;
    HINSTANCE instance = GetModuleHandle(nullptr);
    if (InitApplication(instance)) CreateMainWindow();
    if (MemExitCheck() != 0) return 3;
    return 0;
}
