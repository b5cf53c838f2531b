#include "game/shell/settings.h"

#include <gtest/gtest.h>

#include <vector>

#include "game/rules/history.h"
#include "tests/platform/temp_machine.h"

namespace {

RegistryKey GameKey() {
    return RegistryKey(string(kGameKeyPath));
}

std::vector<BYTE> Raw() {
    const RegistryData d = ReadBinary(RegistryValue(GameKey(), string(kSettingsName)));
    return std::vector<BYTE>(d.data, d.data + d.size);
}

bool Put(const std::vector<BYTE>& bytes) {
    return WriteBinary(
        RegistryValue(GameKey(), string(kSettingsName)),
        RegistryData(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())));
}

std::vector<BYTE> Header(DWORD version) {
    return {static_cast<BYTE>(version), static_cast<BYTE>(version >> 8),
            static_cast<BYTE>(version >> 16), static_cast<BYTE>(version >> 24)};
}

} // namespace

TEST(Settings, FirstRunWritesTheDefaultsByteForByte) {
    TempMachine machine;
    Settings s;
    s.player1Strength = 3; // overwritten by the defaults
    EXPECT_TRUE(LoadOrCreateSettings(s, GameKey())) << "no value: first run";
    const std::vector<BYTE> expected = {0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                        0,    0,    0,    0,    2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(Raw(), expected);
    EXPECT_EQ(GetType(RegistryValue(GameKey(), string(kSettingsName))), REG_BINARY);
    EXPECT_EQ(s.player1Strength, 2u);

    Settings again;
    EXPECT_FALSE(LoadOrCreateSettings(again, GameKey())) << "the second start is not the first";
}

TEST(Settings, RoundTripKeepsEveryFieldIncludingTheReservedOne) {
    TempMachine machine;
    Settings s;
    s.reserved = 0xA1B2C3D4;
    s.soundEffects = 0;
    s.lightTraces = 0;
    s.player2Computer = 1;
    s.player2Strength = 3;
    s.player1Computer = 0;
    s.player1Strength = 1;
    ASSERT_TRUE(SaveSettings(s));
    const std::vector<BYTE> raw = Raw();
    ASSERT_EQ(raw.size(), 32u);
    EXPECT_EQ(std::vector<BYTE>(raw.begin() + 4, raw.begin() + 8),
              (std::vector<BYTE>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(raw[20], 3);
    Settings back;
    ASSERT_TRUE(ReadSettings(back));
    EXPECT_EQ(back.reserved, s.reserved);
    EXPECT_EQ(back.soundEffects, 0u);
    EXPECT_EQ(back.lightTraces, 0u);
    EXPECT_EQ(back.player2Computer, 1u);
    EXPECT_EQ(back.player2Strength, 3u);
    EXPECT_EQ(back.player1Computer, 0u);
    EXPECT_EQ(back.player1Strength, 1u);
}

TEST(Settings, VersionsAndShortRecords) {
    TempMachine machine;
    Settings s;
    // Minor 0 is older than the record the game reads.
    std::vector<BYTE> v = Header(0x00010000);
    v.resize(32, 0);
    ASSERT_TRUE(Put(v));
    EXPECT_TRUE(LoadOrCreateSettings(s, GameKey()));
    EXPECT_EQ(Raw(), [] {
        std::vector<BYTE> d = Header(kSettingsVersion);
        for (BYTE b : {0, 1, 1, 0, 2, 1, 2}) {
            d.push_back(b);
            d.insert(d.end(), 3, 0);
        }
        return d;
    }()) << "the defaults replace it";

    // Another major version.
    v = Header(0x00020001);
    v.resize(32, 0);
    ASSERT_TRUE(Put(v));
    EXPECT_FALSE(ReadSettings(s));
    EXPECT_EQ(s.player1Computer, 1u) << "defaults";

    // A later minor version with more fields is read; a short one is zero-filled.
    v = Header(0x00010007);
    for (BYTE b : {9, 0, 1, 1, 3, 0, 1, 5})
        v.insert(v.end(), {b, 0, 0, 0});
    ASSERT_TRUE(Put(v));
    ASSERT_TRUE(ReadSettings(s));
    EXPECT_EQ(s.reserved, 9u);
    EXPECT_EQ(s.player2Computer, 1u);
    EXPECT_EQ(s.player1Strength, 1u);
    v = Header(0x00010001);
    v.insert(v.end(), {0, 0, 0, 0, 1, 0, 0, 0});
    ASSERT_TRUE(Put(v));
    ASSERT_TRUE(ReadSettings(s));
    EXPECT_EQ(s.soundEffects, 1u);
    EXPECT_EQ(s.lightTraces, 0u);
    EXPECT_EQ(s.player1Computer, 0u);
    EXPECT_EQ(s.player1Strength, 0u);

    // Shorter than a header.
    ASSERT_TRUE(Put({1, 0}));
    EXPECT_TRUE(LoadOrCreateSettings(s, GameKey()));
    EXPECT_EQ(Raw().size(), 32u);
}

TEST(Settings, PlayersAndStrengths) {
    Settings s;
    SettingsPlayers players(s);
    EXPECT_TRUE(players.IsComputer(1));
    EXPECT_FALSE(players.IsComputer(2));
    EXPECT_FALSE(players.IsComputer(0));
    EXPECT_FALSE(players.IsComputer(3));
    s.player2Computer = 1;
    s.player1Computer = 0;
    EXPECT_TRUE(players.IsComputer(2));
    EXPECT_FALSE(players.IsComputer(1));

    s.player1Strength = 0;
    s.player2Strength = 77;
    EXPECT_EQ(StrengthOf(s, 1), kStrengthLow);
    EXPECT_EQ(StrengthOf(s, 2), kStrengthHigh);
    s.player1Strength = 3;
    EXPECT_EQ(StrengthOf(s, 1), kStrengthHigh);
}
