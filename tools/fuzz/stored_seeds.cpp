// Writes the seed corpus of the stored-values fuzz target into a folder: the settings, saved
// game and history the game itself writes, after no move, a few moves and a move taken back.
#include "foundation/registry.h"
#include "game/rules/board.h"
#include "game/rules/history.h"
#include "game/rules/moves.h"
#include "game/shell/settings.h"
#include "platform/base.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

RegistryValue Value(const char* name) {
    return RegistryValue(RegistryKey(string(kGameKeyPath)), string(name));
}

void Append(std::vector<std::uint8_t>& out, const RegistryData& piece) {
    out.push_back(static_cast<std::uint8_t>(piece.size & 0xFF));
    out.push_back(static_cast<std::uint8_t>(piece.size >> 8));
    out.insert(out.end(), piece.data, piece.data + piece.size);
}

bool WriteSeed(const std::string& file) {
    std::vector<std::uint8_t> seed;
    Append(seed, ReadBinary(Value(kSettingsName)));
    Append(seed, ReadBinary(Value(kSavedGameName)));
    const string8 text(ReadString(Value(kSavedHistoryName)));
    seed.insert(seed.end(), text.c_str(), text.c_str() + text.length());
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(seed.data(), 1, seed.size(), f) == seed.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-stored-seeds FOLDER\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string machine = out + "/.machine";
    std::filesystem::create_directories(machine);
    platform::SetMachineDir(machine);

    Settings settings;
    settings.player1Computer = 1;
    settings.player1Strength = 3;
    SaveSettings(settings);
    MoveHistory history;
    GameState state;
    InitStartPosition(state);
    history.base = state;
    bool ok = true;
    for (int step = 0; step <= 4; ++step) {
        history.SaveGame(0, state);
        ok = WriteSeed(out + "/seed-" + std::to_string(step)) && ok;
        MoveList moves;
        GenerateMoves(state, moves);
        if (moves.empty()) break;
        const MOVE& move = moves[moves.size() / 2];
        history.AppendHistory(move);
        state = move.after;
    }
    // One move taken back, kept for replay.
    history.redo.push_back(history.done.back());
    history.done.pop_back();
    history.SaveGame(0, history.done.back().after);
    ok = WriteSeed(out + "/seed-redo") && ok;
    std::filesystem::remove_all(machine);
    if (!ok) std::fprintf(stderr, "fuzz-stored-seeds: cannot write the seeds in %s\n", out.c_str());
    return ok ? 0 : 1;
}
