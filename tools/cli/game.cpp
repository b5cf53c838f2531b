#include "tools/cli/game.h"
#include "game/opponent/opponent.h"

#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "game/rules/history.h"
#include "game/shell/settings.h"
#include "tools/cli/cli.h"

namespace {

constexpr const char* kHelp =
    "commands: FROM TO (squares 0-120) to move, u undo, r redo, n new game, q quit";

// Computer moves played in one go at most, so that two computer players cannot keep the tool
// from ever asking for input again.
constexpr int kMaxComputerMovesInARow = 400;

std::string Narrow(const string& text) {
    const string8 narrow(text);
    return std::string(narrow.c_str(), narrow.length());
}

// Everything around the session in a terminal: events are carried out in frame order as soon
// as the tool asks, and the computer's answer waits as a posted message would.
class Terminal : public BoardDisplay,
                 public SequenceBuilder,
                 public Timeline,
                 public SoundScheduler,
                 public ComputerOpponent {
public:
    Terminal(const Settings& settings, MoveChooser chooser)
        : settings_(settings), players_(settings), chooser_(chooser), session(Neighbours()) {
        HistoryNeighbours h;
        h.session = &session;
        h.settings = &players_;
        h.display = this;
        h.timeline = this;
        h.opponent = this;
        history.Attach(h);
    }

    // Carries out every pending event and computer answer until the human is to move, the game
    // is over or a computer has no move. Returns the computer moves played.
    std::vector<std::pair<Square, Square>> Settle() {
        std::vector<std::pair<Square, Square>> played;
        for (int i = 0; i <= kMaxComputerMovesInARow; ++i) {
            AdvanceToEnd();
            session.BeginComputerTurn();
            // Past the limit an answer stays posted for the next round.
            if (!answer_ || i == kMaxComputerMovesInARow) break;
            const std::int64_t lParam = *answer_;
            answer_.reset();
            if (lParam == 0) break;
            played.emplace_back(static_cast<Square>(lParam & 0xFFFF),
                                static_cast<Square>(lParam >> 16));
            session.OnComputerMove(lParam);
        }
        return played;
    }

    bool IsComputer(std::uint32_t player) const { return players_.IsComputer(player); }

    // --- BoardDisplay ---
    void UpdateBanner(const GameSession&) override {}
    bool AnyPieceShown() const override { return shown_; }
    void SynchronisePieces(const GameState&) override { shown_ = true; }
    // --- SequenceBuilder: each sequence takes one frame ---
    FrameTime MovePiece(Square, Square, FrameTime start) override { return start + 1; }
    FrameTime AnimateCapture(Square, Square, FrameTime start) override { return start + 1; }
    FrameTime ClearBoard(FrameTime start) override {
        shown_ = false;
        return start + 1;
    }
    FrameTime SetUpBoard(const GameState&, FrameTime start) override {
        shown_ = true;
        return start + 1;
    }
    // --- Timeline ---
    FrameTime Now() const override { return now_; }
    FrameTime EndOfTimeline() const override {
        return events_.empty() ? now_ : std::max(now_, events_.rbegin()->first + 1);
    }
    void Schedule(FrameTime frame, std::uint32_t code, std::uint32_t) override {
        events_.emplace(frame, code);
    }
    void Cancel(std::uint32_t code) override {
        for (auto it = events_.begin(); it != events_.end();)
            it = it->second == code ? events_.erase(it) : std::next(it);
    }
    void Freeze() override {}
    void Unfreeze() override {}
    void AdvanceToEnd() override {
        while (!events_.empty()) {
            const auto [frame, code] = *events_.begin();
            events_.erase(events_.begin());
            now_ = std::max(now_, frame);
            if (code == kEventHumanTurn) session.BeginHumanTurn();
            if (code == kEventComputerTurn) session.MarkComputerTurn();
        }
    }
    // --- SoundScheduler ---
    void ScheduleSound(int, FrameTime) override {}
    // --- ComputerOpponent: answers at once; a cancel drops an answer not yet delivered ---
    void StartSearch(const GameState& state) override {
        Square from = kNoSquare, to = kNoSquare;
        const std::uint32_t strength = StrengthOf(settings_, state.turn);
        if (chooser_(state, strength, from, to) && IsSquare(from) && IsSquare(to))
            answer_ = static_cast<std::int64_t>(from) | static_cast<std::int64_t>(to) << 16;
        else
            answer_ = 0;
    }
    void RequestCancel() override { answer_.reset(); }
    // Answers are handed over synchronously right after their search, so none is ever stale.
    bool TakeAnswer(std::int64_t) override { return true; }

    // True when a computer's answer waits to be played (Settle stopped at its limit).
    bool AnswerWaiting() const { return answer_.has_value() && *answer_ != 0; }

private:
    SessionNeighbours Neighbours() {
        SessionNeighbours n;
        n.settings = &players_;
        n.display = this;
        n.sequences = this;
        n.timeline = this;
        n.sounds = this;
        n.history = &history;
        n.opponent = this;
        n.store = &history;
        return n;
    }

    const Settings& settings_;
    SettingsPlayers players_;
    MoveChooser chooser_;
    bool shown_ = false;
    FrameTime now_ = 0;
    std::multimap<FrameTime, std::uint32_t> events_;
    std::optional<std::int64_t> answer_;

public:
    // Last, so that everything their neighbours use exists first.
    MoveHistory history;
    GameSession session;
};

void PrintState(Terminal& t, std::ostream& out) {
    const GameSession& s = t.session;
    out << FormatPosition(s.state);
    GameState base;
    out << "history " << Narrow(t.history.WriteHistoryText(base)) << "\n";
    if (s.winner != 0) {
        out << "game over: player " << s.winner << " wins\n";
    } else if (s.humanMayMove) {
        if (s.legalMoves.empty())
            out << "player " << s.state.turn << " has no move: n new game, u undo, q quit\n";
        else
            out << "player " << s.state.turn << " to move\n";
    } else if (t.AnswerWaiting()) {
        out << "the computers have played " << kMaxComputerMovesInARow
            << " moves in a row: an empty line goes on\n";
    } else if (t.IsComputer(s.state.turn)) {
        out << "player " << s.state.turn << " (computer) has no move\n";
    }
}

void PrintComputerMoves(const std::vector<std::pair<Square, Square>>& moves, std::ostream& out) {
    for (const auto& [from, to] : moves)
        out << "computer plays " << from << " " << to << "\n";
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

} // namespace

bool SearchMove(const GameState& state, std::uint32_t strength, Square& from, Square& to) {
    return ChooseMove(state, static_cast<int>(strength), from, to);
}

bool FirstLegalMove(const GameState& state, std::uint32_t, Square& from, Square& to) {
    MoveList moves;
    GenerateMoves(state, moves);
    if (moves.empty()) return false;
    from = moves[0].from;
    to = moves[0].to;
    return true;
}

int RunGame(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, MoveChooser chooser) {
    const RegistryKey key{string(kGameKeyPath)};
    Settings settings;
    const bool firstRun = LoadOrCreateSettings(settings, key);
    bool changed = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool p1 = args[i] == "--player1";
        if ((!p1 && args[i] != "--player2") || i + 1 >= args.size() ||
            !ParsePlayerChoice(args[i + 1],
                               p1 ? settings.player1Computer : settings.player2Computer,
                               p1 ? settings.player1Strength : settings.player2Strength)) {
            err << "tessark-cli: usage: tessark-cli game [--player1 P] [--player2 P], "
                   "P is human, low, medium or high\n";
            return kCliBadInput;
        }
        ++i;
        changed = true;
    }
    if (changed) SaveSettings(settings, key);

    Terminal t(settings, chooser);
    if (t.session.RestoreGame()) {
        out << "resumed the saved game\n";
    } else {
        if (firstRun) out << "first run: settings created\n";
        out << "new game\n";
        t.session.NewGame();
    }
    PrintComputerMoves(t.Settle(), out);
    PrintState(t, out);

    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> words = Words(line);
        if (words.empty()) {
            if (!t.AnswerWaiting()) continue;
            PrintComputerMoves(t.Settle(), out);
            PrintState(t, out);
            continue;
        }
        const std::string& w = words[0];
        if (words.size() == 1 && w == "q") break;
        if (words.size() == 1 && w == "u") {
            if (t.history.CanUndo())
                t.history.UndoMove();
            else
                out << "nothing to undo\n";
        } else if (words.size() == 1 && w == "r") {
            if (t.history.CanRedo())
                t.history.RedoMove();
            else
                out << "nothing to redo\n";
        } else if (words.size() == 1 && w == "n") {
            t.session.NewGame();
        } else if (Square from, to;
                   words.size() == 2 && ParseSquare(words[0], from) && ParseSquare(words[1], to)) {
            if (!t.session.humanMayMove) {
                out << "no move can be played now\n";
                continue;
            }
            if (!t.session.legalMoves.Find(from, to)) {
                out << "not a legal move: " << from << " " << to << "\n";
                continue;
            }
            t.session.MakeMove(from, to, false);
        } else {
            out << kHelp << "\n";
            continue;
        }
        PrintComputerMoves(t.Settle(), out);
        PrintState(t, out);
    }
    // As at shutdown: the game was saved after its last turn; the settings are saved now.
    t.history.ClearHistory();
    t.session.legalMoves.Clear();
    SaveSettings(settings, key);
    out << "bye\n";
    return kCliOk;
}
