#include "tools/cli/cli.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "game/opponent/opponent.h"
#include "game/rules/moves.h"

namespace {

constexpr const char* kUsage =
    "usage: tessark-cli moves|show|play (--history TEXT | --board FILE) [--tutorial] [FROM TO]\n"
    "       tessark-cli think (--history TEXT | --board FILE) --strength N\n"
    "       tessark-cli bench\n"
    "       tessark-cli selfplay --strength A --strength2 B [--games N]\n"
    "       tessark-cli game [--player1 P] [--player2 P]   (P: human, low, medium, high)\n"
    "  (strengths 1 Low, 2 Medium, 3 High; in selfplay A plays red (player 1), B blue)";

// A self-played game longer than this is given up as unfinished.
constexpr int kSelfPlayMoveLimit = 400;
constexpr std::uint32_t kMaxGames = 1000;

constexpr std::size_t kMaxDiagramBytes = 4096;

// Everything a command may be given; each command says which parts it accepts.
struct Arguments {
    std::string command;
    bool haveHistory = false;
    bool haveBoard = false;
    std::string history;
    std::string boardFile;
    bool tutorial = false;
    bool haveStrength = false;
    bool haveStrength2 = false;
    bool haveGames = false;
    std::string strength;
    std::string strength2;
    std::string games;
    std::vector<std::string> positional;
};

// Options beyond the position, allowed per command.
enum : unsigned {
    kOptTutorial = 1,
    kOptStrength = 2,
    kOptStrength2 = 4,
    kOptGames = 8,
};

struct Command {
    const char* name;
    unsigned options;
    bool takesPosition;
    std::size_t positionalCount;
    bool (*run)(const Arguments& args, const GameState& state, std::string& out,
                std::string& error);
};

bool ParseArguments(const std::vector<std::string>& argv, Arguments& args, std::string& error) {
    if (argv.empty()) {
        error =
            "usage: tessark-cli moves|show|play|think|bench|selfplay ... (see tessark-cli help)";
        return false;
    }
    args.command = argv[0];
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        auto value = [&](const char* option, std::string& into, bool& seen) {
            const std::string name = option;
            std::string v;
            if (a == name) {
                if (i + 1 >= argv.size()) {
                    error = name + " needs a value";
                    return false;
                }
                v = argv[++i];
            } else {
                v = a.substr(name.size() + 1);
            }
            if (seen) {
                error = name + " given twice";
                return false;
            }
            seen = true;
            into = v;
            return true;
        };
        if (a == "--history" || a.rfind("--history=", 0) == 0) {
            if (!value("--history", args.history, args.haveHistory)) return false;
        } else if (a == "--board" || a.rfind("--board=", 0) == 0) {
            if (!value("--board", args.boardFile, args.haveBoard)) return false;
        } else if (a == "--strength" || a.rfind("--strength=", 0) == 0) {
            if (!value("--strength", args.strength, args.haveStrength)) return false;
        } else if (a == "--strength2" || a.rfind("--strength2=", 0) == 0) {
            if (!value("--strength2", args.strength2, args.haveStrength2)) return false;
        } else if (a == "--games" || a.rfind("--games=", 0) == 0) {
            if (!value("--games", args.games, args.haveGames)) return false;
        } else if (a == "--tutorial") {
            args.tutorial = true;
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            error = "unknown option '" + a + "'";
            return false;
        } else {
            args.positional.push_back(a);
        }
    }
    return true;
}

bool LoadPosition(const Arguments& args, GameState& state, std::string& error) {
    if (args.haveHistory && args.haveBoard) {
        error = "give either --history or --board, not both";
        return false;
    }
    if (!args.haveHistory && !args.haveBoard) {
        error = "give a position with --history TEXT or --board FILE";
        return false;
    }
    if (args.haveHistory) {
        if (PositionFromHistory(args.history, state, error)) return true;
        error = "malformed history: " + error;
        return false;
    }
    // The read is bounded, so a device or a huge file is refused rather than swallowed.
    std::error_code ec;
    std::ifstream file;
    if (!std::filesystem::is_directory(args.boardFile, ec))
        file.open(args.boardFile, std::ios::binary);
    if (!file.is_open()) {
        error = "cannot read board file '" + args.boardFile + "'";
        return false;
    }
    std::string text(kMaxDiagramBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        error = "cannot read board file '" + args.boardFile + "'";
        return false;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxDiagramBytes) {
        error = "malformed board diagram '" + args.boardFile + "': file too large";
        return false;
    }
    if (PositionFromDiagram(text, state, error)) return true;
    error = "malformed board diagram '" + args.boardFile + "': " + error;
    return false;
}

bool RunMoves(const Arguments& args, const GameState& state, std::string& out, std::string&) {
    MoveList moves;
    GenerateMoves(state, moves, args.tutorial);
    for (const MOVE& m : moves)
        out += std::to_string(m.from) + " " + std::to_string(m.to) + "\n";
    return true;
}

bool RunShow(const Arguments&, const GameState& state, std::string& out, std::string&) {
    out += FormatPosition(state);
    return true;
}

// Lists the captures in the order the animation hook hears of them.
class CaptureLister : public CaptureAnimator {
public:
    explicit CaptureLister(std::string& out) : out_(out) {}
    FrameTime AnimateCapture(Square corner, Square captured, FrameTime start) override {
        out_ += "capture " + std::to_string(corner) + " " + std::to_string(captured) + "\n";
        return start + 1;
    }

private:
    std::string& out_;
};

bool RunPlay(const Arguments& args, const GameState& state, std::string& out, std::string& error) {
    Square squares[2];
    for (int i = 0; i < 2; ++i) {
        if (!ParseSquare(args.positional[i], squares[i])) {
            error = "unknown square '" + args.positional[i] + "'";
            return false;
        }
    }
    GameState after = state;
    CaptureLister lister(out);
    ApplyMove(after, squares[0], squares[1], 0, &lister);
    out += FormatPosition(after);
    return true;
}

// A decimal number from 1 to max, without sign or leading zeros.
bool ParseCount(const std::string& text, std::uint32_t max, std::uint32_t& value) {
    if (text.empty() || text.size() > 9 || text[0] == '0') return false;
    std::uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (v > max) return false;
    value = v;
    return true;
}

bool ReadStrength(const char* option, bool given, const std::string& text, int& strength,
                  std::string& error) {
    std::uint32_t v;
    if (!given) {
        error = std::string(option) + " is required";
        return false;
    }
    if (!ParseCount(text, kMaxStrength, v)) {
        error = std::string(option) + " must be 1, 2 or 3, not '" + text + "'";
        return false;
    }
    strength = static_cast<int>(v);
    return true;
}

bool RunThink(const Arguments& args, const GameState& state, std::string& out, std::string& error) {
    int strength;
    if (!ReadStrength("--strength", args.haveStrength, args.strength, strength, error))
        return false;
    Square from, to;
    if (ChooseMove(state, strength, from, to))
        out += std::to_string(from) + " " + std::to_string(to) + "\n";
    else
        out += "none\n";
    return true;
}

std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1000);
    return text;
}

bool RunBench(const Arguments&, const GameState&, std::string& out, std::string&) {
    const std::vector<GameState> positions = BenchPositions();
    for (int strength = kMinStrength; strength <= kMaxStrength; ++strength) {
        const BenchResult r = RunBenchmark(positions, strength);
        out += "strength " + std::to_string(strength) + ": positions " +
               std::to_string(r.positions) + " nodes " + std::to_string(r.nodes) + " total " +
               Milliseconds(r.totalSeconds) + " median " + Milliseconds(r.medianSeconds) +
               " slowest " + Milliseconds(r.slowestSeconds) + " signature " +
               std::to_string(r.signature) + "\n";
    }
    return true;
}

bool RunSelfPlay(const Arguments& args, const GameState&, std::string& out, std::string& error) {
    int strengths[2];
    if (!ReadStrength("--strength", args.haveStrength, args.strength, strengths[0], error) ||
        !ReadStrength("--strength2", args.haveStrength2, args.strength2, strengths[1], error))
        return false;
    std::uint32_t games = 1;
    if (args.haveGames && !ParseCount(args.games, kMaxGames, games)) {
        error = "--games must be a number from 1 to " + std::to_string(kMaxGames) + ", not '" +
                args.games + "'";
        return false;
    }
    for (std::uint32_t g = 1; g <= games; ++g) {
        const SelfPlayGame game = PlaySelfGame(strengths[0], strengths[1], g);
        out += "game " + std::to_string(g) + " history " + game.history + " ";
        out += game.winner ? "winner " + std::to_string(game.winner) + "\n"
                           : std::string("unfinished\n");
    }
    return true;
}

constexpr Command kCommands[] = {
    {"moves", kOptTutorial, true, 0, RunMoves},
    {"show", 0, true, 0, RunShow},
    {"play", 0, true, 2, RunPlay},
    {"think", kOptStrength, true, 0, RunThink},
    {"bench", 0, false, 0, RunBench},
    {"selfplay", kOptStrength | kOptStrength2 | kOptGames, false, 0, RunSelfPlay},
};

// Reads one unsigned decimal number at text[pos], then a comma unless at the end.
bool ReadNumber(const std::string& text, std::size_t& pos, std::uint32_t& value,
                std::string& error) {
    const std::size_t start = pos;
    std::uint64_t v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        v = v * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (v > 0xFFFFFFFFu) {
            error = "number too large at character " + std::to_string(start + 1);
            return false;
        }
        ++pos;
    }
    if (pos == start) {
        error = pos < text.size() ? "expected a number at character " + std::to_string(pos + 1)
                                  : "text ends where a number is expected";
        return false;
    }
    value = static_cast<std::uint32_t>(v);
    if (pos < text.size()) {
        if (text[pos] != ',') {
            error = "expected a comma at character " + std::to_string(pos + 1);
            return false;
        }
        ++pos;
        if (pos == text.size()) {
            error = "trailing comma";
            return false;
        }
    }
    return true;
}

// Reads a count and that many from,to pairs; applies them to state when given one.
bool ReadMoveList(const std::string& text, std::size_t& pos, GameState* state, std::string& error) {
    std::uint32_t count;
    if (!ReadNumber(text, pos, count, error)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t squares[2];
        for (std::uint32_t& s : squares) {
            if (!ReadNumber(text, pos, s, error)) return false;
            if (s >= static_cast<std::uint32_t>(kSquareCount)) {
                error = "unknown square " + std::to_string(s);
                return false;
            }
        }
        if (state)
            ApplyMove(*state, static_cast<Square>(squares[0]), static_cast<Square>(squares[1]),
                      kNoTime);
    }
    return true;
}

char SquareChar(const GameState& state, int row, int column) {
    switch (SquareOwner(state, SquareAt(row, column))) {
    case 1:
        return 'R';
    case 2:
        return 'B';
    default:
        return '.';
    }
}

} // namespace

std::vector<GameState> BenchPositions() {
    std::vector<GameState> positions;
    GameState start;
    InitStartPosition(start);
    positions.push_back(start);
    MoveList openings;
    GenerateMoves(start, openings);
    for (std::size_t i = 0; i < openings.size(); i += 3)
        positions.push_back(openings[i].after);
    for (std::size_t k = 0; k < 12; ++k) {
        GameState state = openings[(3 * k + 1) % openings.size()].after;
        for (int ply = 1; ply <= 20 && WinnerOf(state) == 0; ++ply) {
            Square from, to;
            if (!ChooseMove(state, 2, from, to)) break;
            ApplyMove(state, from, to, kNoTime);
            if (ply % 4 == 0 && WinnerOf(state) == 0) positions.push_back(state);
        }
    }
    return positions;
}

BenchResult RunBenchmark(const std::vector<GameState>& positions, int strength) {
    using Clock = std::chrono::steady_clock;
    BenchResult result;
    std::vector<double> times;
    for (const GameState& state : positions) {
        Square from, to;
        SearchStats stats;
        const Clock::time_point begin = Clock::now();
        const bool chosen = ChooseMove(state, strength, from, to, nullptr, &stats);
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        times.push_back(seconds);
        result.totalSeconds += seconds;
        result.slowestSeconds = std::max(result.slowestSeconds, seconds);
        result.nodes += stats.nodes;
        if (chosen)
            result.signature +=
                static_cast<std::uint64_t>(from) * kSquareCount + static_cast<std::uint64_t>(to);
    }
    result.positions = positions.size();
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const std::size_t n = times.size();
        result.medianSeconds = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    }
    return result;
}

SelfPlayGame PlaySelfGame(int strength1, int strength2, std::uint32_t gameNumber) {
    GameState state;
    InitStartPosition(state);
    std::vector<Square> moves;
    SelfPlayGame game;
    if (gameNumber > 1) {
        MoveList openings;
        GenerateMoves(state, openings);
        const MOVE& m = openings[(gameNumber - 2) % openings.size()];
        moves.push_back(m.from);
        moves.push_back(m.to);
        state = m.after;
    }
    while (WinnerOf(state) == 0 && moves.size() < 2 * kSelfPlayMoveLimit) {
        Square from, to;
        if (!ChooseMove(state, state.turn == 1 ? strength1 : strength2, from, to)) break;
        ApplyMove(state, from, to, kNoTime);
        moves.push_back(from);
        moves.push_back(to);
    }
    game.winner = WinnerOf(state);
    game.history = std::to_string(moves.size() / 2);
    for (Square s : moves)
        game.history += "," + std::to_string(s);
    game.history += ",0";
    return game;
}

bool ParseSquare(const std::string& text, Square& square) {
    if (text.empty() || text.size() > 3) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (!IsSquare(value)) return false;
    square = value;
    return true;
}

bool PositionFromHistory(const std::string& text, GameState& state, std::string& error) {
    GameState s;
    InitStartPosition(s);
    std::size_t pos = 0;
    if (!ReadMoveList(text, pos, &s, error)) return false;
    if (pos == text.size()) {
        error = "the count of taken-back moves is missing";
        return false;
    }
    if (!ReadMoveList(text, pos, nullptr, error)) return false;
    if (pos != text.size()) {
        error = "unexpected text after the last move at character " + std::to_string(pos + 1);
        return false;
    }
    state = s;
    return true;
}

bool PositionFromDiagram(const std::string& text, GameState& state, std::string& error) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.size() != kBoardSize + 1) {
        error = "expected 12 lines (11 board rows and a turn line), found " +
                std::to_string(lines.size());
        return false;
    }
    GameState s{};
    for (int i = 0; i < kBoardSize; ++i) {
        const std::string& line = lines[i];
        const int row = kBoardSize - 1 - i;
        if (line.size() != kBoardSize) {
            error = "line " + std::to_string(i + 1) + " has " + std::to_string(line.size()) +
                    " characters, expected 11";
            return false;
        }
        for (int c = 0; c < kBoardSize; ++c) {
            const char ch = line[c];
            if (ch == 'R' || ch == 'B') {
                s.sides[ch == 'R' ? 0 : 1].rows[row] |= static_cast<RowMask>(1u << c);
            } else if (ch != '.') {
                error = "line " + std::to_string(i + 1) + " has '" + std::string(1, ch) +
                        "' at column " + std::to_string(c + 1) + ", expected R, B or .";
                return false;
            }
        }
    }
    const std::string& turnLine = lines[kBoardSize];
    if (turnLine == "turn 1") {
        s.turn = 1;
    } else if (turnLine == "turn 2") {
        s.turn = 2;
    } else {
        error = "line 12 must be 'turn 1' or 'turn 2'";
        return false;
    }
    Recount(s);
    state = s;
    return true;
}

std::string FormatPosition(const GameState& state) {
    std::string out;
    for (int row = kBoardSize - 1; row >= 0; --row) {
        for (int c = 0; c < kBoardSize; ++c)
            out += SquareChar(state, row, c);
        out += '\n';
    }
    out += "turn " + std::to_string(state.turn) + "\n";
    out += "pieces " + std::to_string(state.sides[0].pieceCount) + " " +
           std::to_string(state.sides[1].pieceCount) + "\n";
    out += "goals " + std::to_string(state.sides[0].goalCount) + " " +
           std::to_string(state.sides[1].goalCount) + "\n";
    out += "winner " + std::to_string(WinnerOf(state)) + "\n";
    return out;
}

int RunCli(const std::vector<std::string>& argv, std::string& out, std::string& err) {
    out.clear();
    err.clear();
    auto fail = [&](const std::string& message) {
        out.clear();
        err = "tessark-cli: " + message + "\n";
        return kCliBadInput;
    };
    Arguments args;
    std::string error;
    if (!ParseArguments(argv, args, error)) return fail(error);
    if (args.command == "help" || args.command == "--help") {
        out = std::string(kUsage) + "\n";
        return kCliOk;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (args.command == c.name) command = &c;
    if (!command) return fail("unknown command '" + args.command + "'");
    if (args.tutorial && !(command->options & kOptTutorial))
        return fail("--tutorial is for the moves command only");
    const struct {
        bool given;
        unsigned option;
        const char* name;
    } options[] = {{args.haveStrength, kOptStrength, "--strength"},
                   {args.haveStrength2, kOptStrength2, "--strength2"},
                   {args.haveGames, kOptGames, "--games"},
                   {args.haveHistory && !command->takesPosition, 0, "--history"},
                   {args.haveBoard && !command->takesPosition, 0, "--board"}};
    for (const auto& o : options)
        if (o.given && !(command->options & o.option))
            return fail(std::string(o.name) + " is not an option of " + command->name);
    if (args.positional.size() != command->positionalCount) {
        return fail(command->positionalCount == 0
                        ? "unexpected argument '" + args.positional[0] + "'"
                        : std::string(command->name) + " needs FROM and TO squares");
    }
    GameState state;
    if (command->takesPosition && !LoadPosition(args, state, error)) return fail(error);
    if (!command->run(args, state, out, error)) return fail(error);
    return kCliOk;
}
