#include "game/shell/settings.h"

#include "game/rules/history.h"

namespace {

// The record's fields in stored order.
constexpr std::uint32_t Settings::*kFields[] = {
    &Settings::reserved,        &Settings::soundEffects,    &Settings::lightTraces,
    &Settings::player2Computer, &Settings::player2Strength, &Settings::player1Computer,
    &Settings::player1Strength,
};
static_assert(sizeof kFields / sizeof kFields[0] * 4 == kSettingsRecordSize);

RegistryKey GameKey() {
    return RegistryKey(string(kGameKeyPath));
}

} // namespace

void StoreSettings(const Settings& settings, std::uint8_t out[kSettingsRecordSize]) {
    for (std::size_t i = 0; i < kSettingsRecordSize / 4; ++i) {
        for (int b = 0; b < 4; ++b)
            out[i * 4 + b] = static_cast<std::uint8_t>(settings.*kFields[i] >> (8 * b));
    }
}

void LoadSettings(const std::uint8_t in[kSettingsRecordSize], Settings& settings) {
    for (std::size_t i = 0; i < kSettingsRecordSize / 4; ++i) {
        std::uint32_t v = 0;
        for (int b = 3; b >= 0; --b)
            v = v << 8 | in[i * 4 + b];
        settings.*kFields[i] = v;
    }
}

bool ReadSettings(Settings& settings, const RegistryKey& key) {
    std::uint8_t record[kSettingsRecordSize] = {};
    RegistryData into(record, sizeof record);
    if (!ReadVersioned(RegistryValue(key, string(kSettingsName)), kSettingsVersion, into)) {
        settings = Settings();
        return false;
    }
    LoadSettings(record, settings);
    return true;
}

bool ReadSettings(Settings& settings) {
    return ReadSettings(settings, GameKey());
}

bool SaveSettings(const Settings& settings, const RegistryKey& key) {
    std::uint8_t record[kSettingsRecordSize];
    StoreSettings(settings, record);
    return WriteVersioned(RegistryValue(key, string(kSettingsName)), kSettingsVersion,
                          RegistryData(record, sizeof record));
}

bool SaveSettings(const Settings& settings) {
    return SaveSettings(settings, GameKey());
}

bool LoadOrCreateSettings(Settings& settings, const RegistryKey& key) {
    if (ReadSettings(settings, key)) return false;
    SaveSettings(settings, key);
    return true;
}

std::uint32_t StrengthOf(const Settings& settings, std::uint32_t player) {
    const std::uint32_t s = player == 1 ? settings.player1Strength : settings.player2Strength;
    if (s < kStrengthLow) return kStrengthLow;
    if (s > kStrengthHigh) return kStrengthHigh;
    return s;
}

bool SettingsPlayers::IsComputer(std::uint32_t player) const {
    if (player == 1) return settings_.player1Computer == 1;
    if (player == 2) return settings_.player2Computer == 1;
    return false;
}

bool ParsePlayerChoice(const std::string& text, std::uint32_t& computer, std::uint32_t& strength) {
    static const struct {
        const char* name;
        std::uint32_t computer;
        std::uint32_t strength;
    } kChoices[] = {{"human", 0, 0},
                    {"low", 1, kStrengthLow},
                    {"medium", 1, kStrengthMedium},
                    {"high", 1, kStrengthHigh}};
    for (const auto& c : kChoices) {
        if (text != c.name) continue;
        computer = c.computer;
        if (c.computer) strength = c.strength;
        return true;
    }
    return false;
}
