// The game's settings record: sound, light traces and who plays each side at which strength,
// kept as a versioned binary value beside the saved game. A missing or unusable value means the
// program runs for the first time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/registry.h"
#include "game/rules/session.h"

constexpr const char* kSettingsName = "Settings";
constexpr DWORD kSettingsVersion = 0x00010001;
constexpr std::size_t kSettingsRecordSize = 28;

// Strengths of the computer, which are its search depths.
constexpr std::uint32_t kStrengthLow = 1;
constexpr std::uint32_t kStrengthMedium = 2;
constexpr std::uint32_t kStrengthHigh = 3;

struct Settings {
    std::uint32_t reserved = 0; // not used; written back as read
    std::uint32_t soundEffects = 1;
    std::uint32_t lightTraces = 1;
    std::uint32_t player2Computer = 0;
    std::uint32_t player2Strength = kStrengthMedium;
    std::uint32_t player1Computer = 1;
    std::uint32_t player1Strength = kStrengthMedium;
};

// The 28-byte stored form, little-endian, fields in the order above.
void StoreSettings(const Settings& settings, std::uint8_t out[kSettingsRecordSize]);
void LoadSettings(const std::uint8_t in[kSettingsRecordSize], Settings& settings);

// The settings under `key` (the game's key unless given). False when no usable value was found:
// settings then holds the defaults.
bool ReadSettings(Settings& settings, const RegistryKey& key);
bool ReadSettings(Settings& settings);
bool SaveSettings(const Settings& settings, const RegistryKey& key);
bool SaveSettings(const Settings& settings);

// Start-up: reads the settings; without usable ones, the defaults are written back and the
// result is true (this is the first run).
bool LoadOrCreateSettings(Settings& settings, const RegistryKey& key);

// A stored strength outside 1 to 3 plays as the nearest one.
std::uint32_t StrengthOf(const Settings& settings, std::uint32_t player);

// Who plays a side as the command-line tools name it: "human", "low", "medium" or "high".
// False, changing nothing, for any other word; "human" keeps the stored strength.
bool ParsePlayerChoice(const std::string& text, std::uint32_t& computer, std::uint32_t& strength);

// The session's view of who plays which side.
class SettingsPlayers : public PlayerSettings {
public:
    explicit SettingsPlayers(const Settings& settings) : settings_(settings) {}
    bool IsComputer(std::uint32_t player) const override;

private:
    const Settings& settings_;
};
