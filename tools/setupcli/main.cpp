// tessark-install: installs Tessark from a game-build archive the way the setup program does, on
// the desktop machine (TESSARK_MACHINE), the connected device (TESSARK_DEVICE) or both, desktop
// first; or uninstalls it again with the routine the uninstaller runs.
//
//   tessark-install [--target desktop|device|both] [--verbose] ARCHIVE.zip
//   tessark-install [--target desktop|device|both] --uninstall
//
// The archive holds "<processor>/tessark.exe" and "<processor>/uninstaller.dll" per build
// ("native/" for the desktop). It prints one line per target installed with the number of
// changes made there, and at the end the number of changes in all. TESSARK_INSTALL_KILL_AFTER=N
// ends the process abruptly (SIGKILL) right after its N-th change to a target, for crash tests.
// Exit status: 0 done, 1 failed, 2 bad usage.
#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "setup/sl_main.h"
#include "setup/sl_uninst.h"
#include "setup/unzipper.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kProduct[] = "Tessark";

long g_changes = 0;
long g_killAfter = 0;
bool g_verbose = false;
std::string g_lastTrace;

void CountChange() {
    ++g_changes;
    if (g_killAfter > 0 && g_changes >= g_killAfter) kill(getpid(), SIGKILL);
}

void KeepTrace(const char* line) {
    if (std::strncmp(line, "setuplib:", 9) == 0) g_lastTrace = line;
    if (g_verbose) std::fputs(line, stderr);
}

void ShowProgress(int stage, int percent, const char* name, DWORD) {
    static const char* const stages[] = {"installing", "creating folder", "updating registry",
                                         "saving uninstall information", "finishing"};
    const char* what = stage >= 0 && stage <= 4 ? stages[stage] : "working";
    std::fprintf(stderr, "%3d%% %s %s\n", percent, what, name);
}

int Usage(const char* message) {
    std::fprintf(stderr,
                 "tessark-install: %s\n"
                 "usage: tessark-install [--target desktop|device|both] [--verbose] ARCHIVE.zip\n"
                 "       tessark-install [--target desktop|device|both] --uninstall\n",
                 message);
    return kUsage;
}

bool Fail(const std::string& message) {
    std::string why = g_lastTrace;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
        why.pop_back();
    std::fprintf(stderr, "tessark-install: %s%s%s\n", message.c_str(), why.empty() ? "" : " (",
                 why.empty() ? "" : (why + ")").c_str());
    return false;
}

// The setup program's steps for one target.
bool InstallTarget(SetupToolkit& kit, const ZIPFILE& archive, const char* where) {
    if (g_verbose) kit.setprogresscallback(ShowProgress, 0);
    // Without a journal the installation goes on unjournalled, as in the setup program.
    kit.openjournal(kProduct);
    for (const char* value : {"Settings", "SavedGame", "SavedHistory"})
        kit.journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", value);
    kit.copylanguage("Tessark CE");
    kit.flushjournal();
    const std::string processor = kit.getprocessorname();
    const std::string game = kit.getfolder(kProgramsFolder) + "\\" + kProduct + "\\tessark.exe";
    if (!kit.installfile(game, archive, processor + "\\tessark.exe", 5, 95))
        return Fail(std::string(where) + ": unable to install the file " + game);
    const std::string shortcut = kit.getfolder(kProgramsMenu) + "\\Games\\" + kProduct + ".lnk";
    if (!kit.linkfile(shortcut, game))
        return Fail(std::string(where) + ": unable to install the file " + game);
    if (!kit.finalize(archive, processor + "\\uninstaller.dll", 95, 100))
        return Fail(std::string(where) + ": unable to finish saving uninstall information");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string target = "desktop";
    std::string archivePath;
    bool uninstall = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: tessark-install [--target desktop|device|both] [--verbose] "
                        "ARCHIVE.zip\n"
                        "       tessark-install [--target desktop|device|both] --uninstall\n\n"
                        "Installs Tessark from ARCHIVE.zip on the desktop machine "
                        "(TESSARK_MACHINE),\nthe connected device (TESSARK_DEVICE) or both, "
                        "desktop first, or removes it\nagain by replaying each target's "
                        "uninstall log. --verbose shows the progress\nand the library's "
                        "trace.\n");
            return 0;
        }
        if (arg == "--target") {
            if (i + 1 >= argc) return Usage("--target needs desktop, device or both");
            target = argv[++i];
            if (target != "desktop" && target != "device" && target != "both")
                return Usage("--target needs desktop, device or both");
        } else if (arg == "--uninstall") {
            uninstall = true;
        } else if (arg == "--verbose") {
            g_verbose = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (archivePath.empty()) {
            archivePath = arg;
        } else {
            return Usage("only one archive");
        }
    }
    if (uninstall == !archivePath.empty())
        return Usage(uninstall ? "--uninstall takes no archive" : "no archive given");
    if (const char* kill = std::getenv("TESSARK_INSTALL_KILL_AFTER")) {
        char* end = nullptr;
        g_killAfter = std::strtol(kill, &end, 10);
        if (end == kill || *end != '\0' || g_killAfter < 0)
            return Usage("TESSARK_INSTALL_KILL_AFTER needs a number");
    }

    // What an earlier uninstall left to be deleted at the next start goes now.
    platform::OnProgramStart();
    // A machine always has its system drive; a new machine directory gets it here.
    CreateDirectoryA("C:\\", nullptr);
    SetTraceHook(KeepTrace);
    SetChangeHook(CountChange);

    bool ok = true;
    {
        const bool onDesktop = target != "device";
        const bool onDevice = target != "desktop";
        // Only a device target waits for a device.
        SetupLib library(onDevice ? "rapi.dll" : nullptr);
        if (onDevice && library.device() == nullptr) {
            std::fprintf(stderr, "tessark-install: no device connected\n");
            return kFailed;
        }
        if (uninstall) {
            if (onDesktop && !setuplib::Uninstall(kProduct, nullptr))
                ok = Fail("desktop: uninstall failed");
            if (ok && onDevice && !setuplib::Uninstall(kProduct, library.connection()))
                ok = Fail("device: uninstall failed");
            if (ok) std::printf("uninstalled (%ld changes)\n", g_changes);
        } else {
            try {
                ZIPFILE archive(archivePath.c_str());
                if (archive.size() == 0) {
                    std::fprintf(stderr, "tessark-install: %s holds no entries\n",
                                 archivePath.c_str());
                    return kFailed;
                }
                long before = g_changes;
                if (onDesktop) {
                    ok = InstallTarget(*library.desktop(), archive, "desktop");
                    if (ok) std::printf("desktop installed (%ld changes)\n", g_changes - before);
                }
                before = g_changes;
                if (ok && onDevice) {
                    ok = InstallTarget(*library.device(), archive, "device");
                    if (ok) std::printf("device installed (%ld changes)\n", g_changes - before);
                }
            } catch (const cetl::exception& error) {
                std::fprintf(stderr, "tessark-install: %s: %s\n", archivePath.c_str(),
                             error.message().c_str());
                ok = false;
            }
        }
    }
    SetChangeHook(nullptr);
    SetTraceHook(nullptr);
    std::printf("%ld changes\n", g_changes);
    // Everything the library allocated has been given back (reported with TESSARK_MEMREPORT=1).
    MemExitCheck();
    return ok ? 0 : kFailed;
}
