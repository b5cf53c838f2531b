// bench-board: what the game's board costs. The time to load the game's pictures and sounds
// (in this process, median of repeated loads), then the CPU share of a real tessark-board
// process in real time: at rest (the human to move, ambient light traces on) and through the
// longest cascade of the self-playing game. The driver is the environment's (TESSARK_DRIVER):
// run it under Xvfb with TESSARK_DRIVER=sdl for the SDL figures.
//
//   bench-board [--board PATH] [--rest-seconds S] [--loads N]
#include "engine/cea_main.h"
#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "game/shell/game.h"
#include "platform/user.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The self-playing game High against Medium; its 26th move (85 -> 96) converts four pieces.
constexpr const char* kSelfPlay =
    "27,31,41,97,75,30,40,75,63,29,39,63,51,28,38,96,74,27,37,74,62,26,36,90,78,25,35,89,90,24,"
    "34,78,68,35,45,91,69,51,63,92,91,23,35,95,83,63,73,90,89,73,85,94,95,85,96,0";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// ---- Loading, in this process ------------------------------------------------------------------

void MeasureLoading(int loads) {
    HINSTANCE instance = GetModuleHandle(nullptr);
    InitialiseLanguage(TEXT("Tessark"));
    if (!EngineInit(instance, 0)) {
        std::printf("loading: the engine does not start\n");
        return;
    }
    HWND hwnd = CreateWindowEx(0, TEXT("AnimWindow"), TEXT("bench"), WS_POPUP, 0, 0, 240, 294,
                               nullptr, nullptr, instance, nullptr);
    AnimWindow* window = AnimWindow::FromHandle(hwnd);
    if (!window) {
        std::printf("loading: no window\n");
        return;
    }
    std::vector<double> pictures, sounds;
    for (int i = 0; i < loads; ++i) {
        GameGraphics graphics{};
        BoardLayout layout{};
        auto start = Clock::now();
        const bool ok = LoadGraphics(instance, graphics, layout);
        pictures.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        UnloadGraphics(graphics, layout);
        if (!ok) {
            std::printf("loading: the pictures do not load\n");
            break;
        }
        GameSounds effects(nullptr, nullptr);
        start = Clock::now();
        effects.Load(instance);
        sounds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("loading (median of %d): pictures %.2f ms, sounds %.2f ms, together %.2f ms\n",
                loads, Median(pictures), Median(sounds), Median(pictures) + Median(sounds));
    DestroyWindow(hwnd);
}

// ---- CPU share of a tessark-board process ---------------------------------------------------

// User and system CPU seconds of a process so far.
double ProcessCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    unsigned long long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Samples {
    std::vector<double> at;  // seconds since the start
    std::vector<double> cpu; // CPU seconds so far
    double Share(double from, double to) const {
        double c0 = -1, c1 = -1, t0 = 0, t1 = 0;
        for (std::size_t i = 0; i < at.size(); ++i) {
            if (c0 < 0 && at[i] >= from) c0 = cpu[i], t0 = at[i];
            if (at[i] <= to) c1 = cpu[i], t1 = at[i];
        }
        return c0 < 0 || c1 < 0 || t1 <= t0 ? 0 : 100.0 * (c1 - c0) / (t1 - t0);
    }
    // The busiest stretch of `width` seconds after `from`.
    double Peak(double from, double width) const {
        double best = 0;
        for (double t = from; t + width <= at.back(); t += 0.1)
            best = std::max(best, Share(t, t + width));
        return best;
    }
};

// Runs tessark-board with `arguments` for `seconds`, sampling its CPU time every 50 ms.
Samples RunBoard(const std::string& board, std::vector<std::string> arguments, double seconds,
                 const std::string& machine) {
    Samples samples;
    arguments.push_back("--quit-after");
    arguments.push_back(std::to_string(static_cast<long>(seconds * 1000)));
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TESSARK_MACHINE", machine.c_str(), 1);
        unsetenv("TESSARK_CLOCK");
        unsetenv("TESSARK_SCRIPT");
        std::vector<char*> argv{const_cast<char*>(board.c_str())};
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execv(board.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0) return samples;
    const auto start = Clock::now();
    for (;;) {
        const double cpu = ProcessCpu(pid);
        samples.at.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        samples.cpu.push_back(cpu);
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (samples.at.back() > seconds + 20) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    std::string board;
    double restSeconds = 10;
    int loads = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--board" && i + 1 < argc) {
            board = argv[++i];
        } else if (arg == "--rest-seconds" && i + 1 < argc) {
            restSeconds = std::clamp(std::atof(argv[++i]), 2.0, 600.0);
        } else if (arg == "--loads" && i + 1 < argc) {
            loads = std::clamp(std::atoi(argv[++i]), 1, 1000);
        } else {
            std::fprintf(stderr,
                         "usage: bench-board [--board PATH] [--rest-seconds S] [--loads N]\n");
            return 2;
        }
    }
    if (board.empty()) {
        std::string self = argv[0];
        board = self.substr(0, self.find_last_of('/') + 1) + "tessark-board";
    }
    platform::gdi::UseCallerFlavour();
    const char* driver = std::getenv("TESSARK_DRIVER");
    std::printf("driver: %s\n", driver && *driver ? driver : "default");
    MeasureLoading(loads);

    char dir[] = "/tmp/bench-board-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string machine = dir;
    // The set-up sweep is over after about 3 seconds; the rest is the human's wait.
    const double setUp = 4;
    const Samples rest = RunBoard(board, {"--player1", "human", "--player2", "human", "--new"},
                                  setUp + restSeconds, machine);
    std::printf("at rest (human to move, light traces on): %.2f %% of one core over %.0f s\n",
                rest.Share(setUp, setUp + restSeconds), restSeconds);
    const Samples cascade = RunBoard(board,
                                     {"--player1", "human", "--player2", "human", "--new",
                                      "--history", kSelfPlay, "--from", "26"},
                                     12, machine);
    std::printf("through the cascade: %.2f %% of one core over its busiest 2 s, %.2f %% over "
                "the 8 s after the set-up\n",
                cascade.Peak(setUp - 1, 2), cascade.Share(setUp - 1, setUp + 7));
    std::string remove = std::string("rm -rf '") + dir + "'";
    if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "bench-board: %s failed\n", dir);
    MemExitCheck();
    return 0;
}
