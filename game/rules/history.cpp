#include "game/rules/history.h"

#include <cstring>
#include <string>

namespace {

void PutU32(std::uint8_t* out, std::uint32_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    out[2] = static_cast<std::uint8_t>(v >> 16);
    out[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t GetU32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// Reads one number from the front of text at pos: digits accumulate in 32 bits (wrapping), a
// following comma is consumed too. No leading digit reads as 0.
std::uint32_t ReadNumber(const string& text, std::size_t& pos) {
    std::uint32_t value = 0;
    while (pos < text.length() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
        ++pos;
    }
    if (pos < text.length() && text[pos] == ',') ++pos;
    return value;
}

// A stored move can be replayed only when it takes a piece of the side to move to an empty
// square: anything else would make or destroy pieces and corrupt every later position.
bool Replayable(const GameState& s, std::uint32_t from, std::uint32_t to) {
    if (from >= static_cast<std::uint32_t>(kSquareCount) ||
        to >= static_cast<std::uint32_t>(kSquareCount))
        return false;
    if (s.turn != 1 && s.turn != 2) return false;
    return SquareOwner(s, static_cast<Square>(from)) == static_cast<int>(s.turn) &&
           SquareOwner(s, static_cast<Square>(to)) == 0;
}

// Reads a count and that many from,to pairs; stops when the text runs out, so a huge count
// costs nothing.
std::vector<std::pair<std::uint32_t, std::uint32_t>> ReadPairs(const string& text,
                                                               std::size_t& pos) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    const std::uint32_t count = ReadNumber(text, pos);
    for (std::uint32_t i = 0; i < count && pos < text.length(); ++i) {
        const std::uint32_t from = ReadNumber(text, pos);
        const std::uint32_t to = ReadNumber(text, pos);
        pairs.emplace_back(from, to);
    }
    return pairs;
}

bool Replay(GameState& s, std::uint32_t from, std::uint32_t to, std::vector<MOVE>& list) {
    if (!Replayable(s, from, to)) return false;
    ApplyMove(s, static_cast<Square>(from), static_cast<Square>(to), kNoTime);
    list.push_back(MOVE{static_cast<Square>(from), static_cast<Square>(to), s});
    return true;
}

void AppendMoves(std::string& text, const std::vector<MOVE>& list) {
    text += ',' + std::to_string(list.size());
    for (const MOVE& m : list)
        text += ',' + std::to_string(m.from) + ',' + std::to_string(m.to);
}

} // namespace

void StoreSavedGame(std::uint32_t winner, const GameState& current, const GameState& base,
                    std::uint8_t out[kSavedGameRecordSize]) {
    PutU32(out, winner);
    StoreGameState(current, out + 4);
    StoreGameState(base, out + 4 + kStoredGameStateSize);
}

void LoadSavedGame(const std::uint8_t in[kSavedGameRecordSize], std::uint32_t& winner,
                   GameState& current, GameState& base) {
    winner = GetU32(in);
    LoadGameState(in + 4, current);
    LoadGameState(in + 4 + kStoredGameStateSize, base);
}

MoveHistory::MoveHistory(const RegistryKey& key) : key_(key) {
    InitStartPosition(base);
}

void MoveHistory::ClearHistory() {
    redo.clear();
    done.clear();
}

void MoveHistory::AppendHistory(const MOVE& move) {
    done.push_back(move);
    if (redo.empty()) return;
    if (redo.back().from == move.from && redo.back().to == move.to)
        redo.pop_back();
    else
        redo.clear();
}

void MoveHistory::UndoMove() {
    if (done.empty()) return;
    GameSession& session = *n_.session;
    const std::uint32_t turn = session.state.turn;
    const bool humanFacingComputer =
        (turn == 2 && n_.settings->IsComputer(1)) || (turn == 1 && n_.settings->IsComputer(2));
    const int count = humanFacingComputer ? 2 : 1;

    n_.timeline->Freeze();
    n_.timeline->AdvanceToEnd();
    n_.opponent->RequestCancel();
    for (int i = 0; i < count && !done.empty(); ++i) {
        redo.push_back(done.back());
        done.pop_back();
        const GameState& restored = done.empty() ? base : done.back().after;
        session.state = restored;
        session.winner = 0;
    }
    // A computer turn marked before the undo belongs to the position that is gone.
    session.computerTurnPending = false;
    n_.display->SynchronisePieces(session.state);
    session.EndTurn(kNoTime);
    n_.timeline->Unfreeze();
}

void MoveHistory::RedoMove() {
    if (redo.empty()) return;
    n_.timeline->Freeze();
    n_.timeline->AdvanceToEnd();
    n_.display->SynchronisePieces(n_.session->state);
    const MOVE next = redo.back();
    n_.session->MakeMove(next.from, next.to, true);
    n_.timeline->Unfreeze();
}

string MoveHistory::WriteHistoryText(GameState& baseOut) const {
    std::string text;
    AppendMoves(text, done);
    AppendMoves(text, redo);
    text.erase(0, 1);
    baseOut = base;
    return string(text.c_str());
}

void MoveHistory::ReadHistoryText(const GameState& from, const string& text) {
    GameState s = from;
    base = from;
    ClearHistory();
    std::size_t pos = 0;
    const auto played = ReadPairs(text, pos);
    const auto takenBack = ReadPairs(text, pos);
    for (const auto& [from, to] : played)
        if (!Replay(s, from, to, done)) return;
    // Redo entries are replayed last first, so that is the order in which they must fit; the
    // positions they get are the ones redo will really reach.
    std::vector<MOVE> chronological;
    for (auto it = takenBack.rbegin(); it != takenBack.rend(); ++it)
        if (!Replay(s, it->first, it->second, chronological)) break;
    redo.assign(chronological.rbegin(), chronological.rend());
}

void MoveHistory::SaveGame(std::uint32_t winner, const GameState& state) {
    std::uint8_t record[kSavedGameRecordSize];
    GameState baseOut{};
    const string text = WriteHistoryText(baseOut);
    StoreSavedGame(winner, state, baseOut, record);
    WriteVersioned(RegistryValue(key_, string(kSavedGameName)), kSavedGameVersion,
                   RegistryData(record, sizeof record));
    WriteString(RegistryValue(key_, string(kSavedHistoryName)), text);
}

bool MoveHistory::RestoreGame(GameState& state) {
    std::uint8_t record[kSavedGameRecordSize];
    GameState start;
    InitStartPosition(start);
    StoreSavedGame(0, start, start, record);
    RegistryData into(record, sizeof record);
    if (!ReadVersioned(RegistryValue(key_, string(kSavedGameName)), kSavedGameVersion, into))
        return false;
    std::uint32_t winner = 0;
    GameState current{}, savedBase{};
    LoadSavedGame(record, winner, current, savedBase);
    if (winner != 0) return false;
    // A record cut short or written by something else leaves no side to move: there is no game
    // to resume, and playing on would only show an empty or garbled board.
    // So does a damaged one: counts that disagree with the rows, a square held by both sides.
    if (!IsConsistent(current)) return false;
    // A base that is not a position cannot replay the history; the record's own position still
    // can be played, from an empty history.
    const bool baseUsable = IsConsistent(savedBase);
    const string text = ReadString(RegistryValue(key_, string(kSavedHistoryName)));
    if (baseUsable) {
        ReadHistoryText(savedBase, text);
    } else {
        base = current;
        ClearHistory();
    }
    state = current;
    return true;
}
