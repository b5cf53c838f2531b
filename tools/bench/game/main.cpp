// bench-game: what the game costs. The time to load the game's pictures and sounds (in this
// process, median of repeated loads), then real tessark processes in real time, each on a
// machine of its own: the time from exec to the first frame on the screen (the SDL driver notes
// it), the CPU share at rest (the human to move, ambient light traces on) and through the
// longest cascade of a self-playing game, and the peak resident memory. The driver is the
// environment's (TESSARK_DRIVER): run it under Xvfb with TESSARK_DRIVER=sdl for the SDL figures.
//
//   bench-game [--game PATH] [--rest-seconds S] [--loads N] [--starts N]
#include "engine/cea_main.h"
#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "game/rules/history.h"
#include "game/shell/game.h"
#include "game/shell/settings.h"
#include "platform/user.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A self-playing game, red High against blue Medium; its 27th move (blue 85 -> 96) converts every
// red piece in a cascade that ends the game.
constexpr int kCascadeMove = 27;
constexpr Square kCascadeFrom = 85, kCascadeTo = 96;
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

// ---- Real tessark processes ------------------------------------------------------------------

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

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

// Peak resident memory of a live process in MB (VmHWM), 0 when unknown.
double PeakResidentMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

struct Samples {
    std::vector<double> at;  // seconds since the start
    std::vector<double> cpu; // CPU seconds so far
    double firstFrame = -1;  // seconds from exec to the first frame on the screen
    double peakMb = 0;
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
        for (double t = from; !at.empty() && t + width <= at.back(); t += 0.1)
            best = std::max(best, Share(t, t + width));
        return best;
    }
};

// A fresh machine directory for one run, removed afterwards.
class Machine {
public:
    Machine() {
        char dir[] = "/tmp/bench-game-XXXXXX";
        if (mkdtemp(dir)) path_ = dir;
    }
    ~Machine() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Runs tessark on `machine` for `seconds` (then kills it), sampling its CPU time every 50 ms.
Samples RunGame(const std::string& game, const Machine& machine, double seconds) {
    Samples samples;
    const std::string frameFile = machine.Path() + "/first-frame";
    std::fflush(stdout);
    const double started = MonotonicSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TESSARK_MACHINE", machine.Path().c_str(), 1);
        setenv("TESSARK_FIRST_FRAME_FILE", frameFile.c_str(), 1);
        unsetenv("TESSARK_CLOCK");
        unsetenv("TESSARK_SCRIPT");
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execl(game.c_str(), game.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return samples;
    for (;;) {
        const double cpu = ProcessCpu(pid);
        samples.at.push_back(MonotonicSeconds() - started);
        samples.cpu.push_back(cpu);
        samples.peakMb = std::max(samples.peakMb, PeakResidentMb(pid));
        if (samples.firstFrame < 0) {
            std::ifstream in(frameFile);
            long long ns = 0;
            if (in >> ns) samples.firstFrame = static_cast<double>(ns) * 1e-9 - started;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (samples.at.back() > seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        // Faster at first, so that the first frame is read soon after it is noted.
        std::this_thread::sleep_for(std::chrono::milliseconds(samples.firstFrame < 0 ? 2 : 50));
    }
    return samples;
}

bool StoreHumans() {
    Settings settings;
    settings.player1Computer = 0;
    settings.player2Computer = 0;
    return SaveSettings(settings);
}

// The self-playing game saved just before its cascade, with each computer at the strength that
// plays it as recorded; false when the record no longer gives the cascade move.
bool StoreCascade() {
    GameState start;
    InitStartPosition(start);
    MoveHistory history;
    history.ReadHistoryText(start, string(kSelfPlay));
    if (history.done.size() < kCascadeMove) return false;
    history.done.resize(kCascadeMove - 1);
    history.redo.clear();
    const GameState before = history.done.back().after;
    int strength = 0;
    for (int s = kMinStrength; s <= kMaxStrength && !strength; ++s) {
        Square from = kNoSquare, to = kNoSquare;
        if (ChooseMove(before, s, from, to) && from == kCascadeFrom && to == kCascadeTo)
            strength = s;
    }
    if (!strength) return false;
    Settings settings;
    settings.player1Computer = 1;
    settings.player2Computer = 1;
    settings.player1Strength = static_cast<std::uint32_t>(strength);
    settings.player2Strength = static_cast<std::uint32_t>(strength);
    if (!SaveSettings(settings)) return false;
    history.SaveGame(0, before);
    return true;
}

// The stored values are written by a process of their own on the machine (this one's registry
// stays on its first machine): this program again, with --store.
bool Store(const std::string& self, const Machine& machine, const char* what) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TESSARK_MACHINE", machine.Path().c_str(), 1);
        execl(self.c_str(), self.c_str(), "--store", what, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--store") == 0) {
        const bool ok = std::strcmp(argv[2], "cascade") == 0 ? StoreCascade() : StoreHumans();
        return ok ? 0 : 1;
    }
    std::string game;
    double restSeconds = 10;
    int loads = 20, starts = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--game" && i + 1 < argc) {
            game = argv[++i];
        } else if (arg == "--rest-seconds" && i + 1 < argc) {
            restSeconds = std::clamp(std::atof(argv[++i]), 2.0, 600.0);
        } else if (arg == "--loads" && i + 1 < argc) {
            loads = std::clamp(std::atoi(argv[++i]), 1, 1000);
        } else if (arg == "--starts" && i + 1 < argc) {
            starts = std::clamp(std::atoi(argv[++i]), 1, 100);
        } else {
            std::fprintf(stderr, "usage: bench-game [--game PATH] [--rest-seconds S] [--loads N] "
                                 "[--starts N]\n");
            return 2;
        }
    }
    if (game.empty())
        game = std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1) + "tessark";
    platform::gdi::UseCallerFlavour();
    const char* driver = std::getenv("TESSARK_DRIVER");
    std::printf("driver: %s\n", driver && *driver ? driver : "default");
    MeasureLoading(loads);

    const std::string self = argv[0];
    std::vector<double> firstFrames;
    double peakMb = 0;
    for (int i = 0; i < starts; ++i) {
        Machine machine;
        if (!Store(self, machine, "humans")) break;
        const Samples run = RunGame(game, machine, 1.5);
        if (run.firstFrame >= 0) firstFrames.push_back(run.firstFrame * 1000);
        peakMb = std::max(peakMb, run.peakMb);
    }
    if (firstFrames.empty())
        std::printf("exec to the first frame: no frame noted (the SDL driver notes it)\n");
    else
        std::printf("exec to the first frame on the screen (median of %zu): %.1f ms\n",
                    firstFrames.size(), Median(firstFrames));

    // The logo and the set-up sweep are over after about 7 seconds; the rest is the human's wait.
    const double setUp = 8;
    {
        Machine machine;
        Store(self, machine, "humans");
        const Samples rest = RunGame(game, machine, setUp + restSeconds);
        std::printf("at rest (human to move, light traces on): %.2f %% of one core over %.0f s\n",
                    rest.Share(setUp, setUp + restSeconds), restSeconds);
        peakMb = std::max(peakMb, rest.peakMb);
    }
    {
        Machine machine;
        if (!Store(self, machine, "cascade")) {
            std::printf("cascade: the recorded game no longer reaches its cascade\n");
        } else {
            const Samples cascade = RunGame(game, machine, setUp + 10);
            std::printf("through the cascade: %.2f %% of one core over its busiest 2 s, %.2f %% "
                        "over the 8 s after the set-up\n",
                        cascade.Peak(setUp - 2, 2), cascade.Share(setUp - 2, setUp + 6));
            peakMb = std::max(peakMb, cascade.peakMb);
        }
    }
    std::printf("peak resident memory: %.1f MB\n", peakMb);
    MemExitCheck();
    return 0;
}
