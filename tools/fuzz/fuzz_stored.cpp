// libFuzzer target: arbitrary bytes as the game's stored values (the settings record, the saved
// game and its history text) read the way the game starts. Whatever they hold, the start ends in
// a consistent position to play, or in no saved game (a new game).
#include "foundation/registry.h"
#include "game/opponent/opponent.h"
#include "game/rules/board.h"
#include "game/rules/history.h"
#include "game/rules/moves.h"
#include "game/shell/settings.h"
#include "platform/base.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz-stored: %s\n", what);
    std::abort();
}

RegistryValue Value(const char* name) {
    return RegistryValue(RegistryKey(string(kGameKeyPath)), string(name));
}

// Reads a length-prefixed piece of the input (two bytes, little-endian) and moves past it.
std::size_t Piece(const std::uint8_t*& data, std::size_t& size) {
    if (size < 2) return 0;
    std::size_t n = data[0] | data[1] << 8;
    data += 2;
    size -= 2;
    return n < size ? n : size;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One machine of its own, in memory when it can be: every input writes the registry.
    const std::filesystem::path shm("/dev/shm");
    std::string dir =
        (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path())
            .string() +
        "/tessark-fuzz-stored-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    platform::SetMachineDir(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const std::size_t settingsSize = Piece(data, size);
    RegistryData settingsBytes(const_cast<std::uint8_t*>(data), static_cast<DWORD>(settingsSize));
    WriteBinary(Value(kSettingsName), settingsBytes);
    data += settingsSize;
    size -= settingsSize;
    const std::size_t gameSize = Piece(data, size);
    WriteBinary(Value(kSavedGameName),
                RegistryData(const_cast<std::uint8_t*>(data), static_cast<DWORD>(gameSize)));
    data += gameSize;
    size -= gameSize;
    WriteString(Value(kSavedHistoryName),
                string(std::string(reinterpret_cast<const char*>(data), size).c_str()));

    {
        Settings settings;
        LoadOrCreateSettings(settings, RegistryKey(string(kGameKeyPath)));
        // What the game reads of them stays in range however they were stored.
        Require(ClampStrength(static_cast<int>(settings.player1Strength)) >= kMinStrength,
                "strength out of range");

        MoveHistory history;
        GameState state{};
        if (history.RestoreGame(state)) {
            Require(IsConsistent(state), "restored an inconsistent position");
            Require(IsConsistent(history.base), "restored an inconsistent base");
            for (const MOVE& move : history.done)
                Require(IsConsistent(move.after), "a history entry is inconsistent");
            for (const MOVE& move : history.redo)
                Require(IsConsistent(move.after), "a redo entry is inconsistent");
            // The position is played on: its moves, the computer's choice and the move itself.
            MoveList moves;
            GenerateMoves(state, moves);
            Square from = kNoSquare, to = kNoSquare;
            if (ChooseMove(state, kMinStrength, from, to)) {
                Require(moves.Find(from, to) != nullptr, "the computer chose an illegal move");
                ApplyMove(state, from, to, kNoTime);
                Require(IsConsistent(state), "a move broke the position");
            }
            GameState replay{};
            history.WriteHistoryText(replay);
        }
    }
    return 0;
}
