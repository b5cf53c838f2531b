// The move history of the game in progress (the moves played, the moves taken back, and the
// position before the first one) and the saved game: after every turn the position goes to the
// registry as a versioned binary record and the history as text, so the next start resumes it.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/registry.h"
#include "game/rules/session.h"

// Where the game keeps its saved game.
constexpr const char* kGameKeyPath = "HKCU\\Software\\Orvane\\Tessark";
constexpr const char* kSavedGameName = "SavedGame";
constexpr const char* kSavedHistoryName = "SavedHistory";
constexpr DWORD kSavedGameVersion = 0x00010000;
// winner, the current position, the history's base position.
constexpr std::size_t kSavedGameRecordSize = 4 + 2 * kStoredGameStateSize;
static_assert(kSavedGameRecordSize == 316);

// The 316-byte record in its stored form, and back. Positions are taken as stored.
void StoreSavedGame(std::uint32_t winner, const GameState& current, const GameState& base,
                    std::uint8_t out[kSavedGameRecordSize]);
void LoadSavedGame(const std::uint8_t in[kSavedGameRecordSize], std::uint32_t& winner,
                   GameState& current, GameState& base);

// What undo and redo act on besides the history itself.
struct HistoryNeighbours {
    GameSession* session = nullptr;
    PlayerSettings* settings = nullptr;
    BoardDisplay* display = nullptr;
    Timeline* timeline = nullptr;
    ComputerOpponent* opponent = nullptr;
};

class MoveHistory : public MoveRecorder, public GameStore {
public:
    // Keeps its game under `key`; the base starts as the starting position.
    explicit MoveHistory(const RegistryKey& key = RegistryKey(string(kGameKeyPath)));

    // Undo and redo need these; saving and restoring do not.
    void Attach(const HistoryNeighbours& neighbours) { n_ = neighbours; }

    GameState base{};
    // Oldest first.
    std::vector<MOVE> done;
    // The last entry is the next move to replay.
    std::vector<MOVE> redo;

    // --- The moves ---
    // Empties both lists; base stays.
    void ClearHistory();
    // A replay of the next redo entry keeps the rest of redo; any other move empties it.
    void AppendHistory(const MOVE& move);
    bool CanUndo() const { return !done.empty(); }
    bool CanRedo() const { return !redo.empty(); }
    // Against the computer, the human's move and the computer's reply go back together.
    void UndoMove();
    void RedoMove();

    // --- Text form ---
    // "n,from,to,...,m,from,to,..." for done then redo; copies base into baseOut.
    string WriteHistoryText(GameState& baseOut) const;
    // Replays the text from base. Never fails: what cannot be read is left out, so a short or
    // malformed text gives shorter (possibly empty) lists.
    void ReadHistoryText(const GameState& base, const string& text);

    // --- Saved game ---
    // Failures to write are not reported; the game goes on.
    void SaveGame(std::uint32_t winner, const GameState& state);
    // Loads an unfinished saved game into state and the history; false when there is none
    // that can be resumed.
    bool RestoreGame(GameState& state);

    // MoveRecorder and GameStore, for the session.
    void AppendMove(const MOVE& move) override { AppendHistory(move); }
    void ClearMoves() override { ClearHistory(); }
    void Save(const GameSession& session) override { SaveGame(session.winner, session.state); }
    bool Load(GameState& state) override { return RestoreGame(state); }

private:
    RegistryKey key_;
    HistoryNeighbours n_;
};
