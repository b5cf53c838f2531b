// The new-game dialog, played from inside its own modal loop: both templates control by
// control, how it opens on the stored settings, the greyed strength row and its name, what OK
// stores and writes, and Cancel changing nothing.
#include "game/shell/newgame.h"

#include "foundation/language.h"
#include "game/rules/history.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// What the test does with the dialog once it is up.
std::function<void(HWND)> g_play;
bool g_played = false;

void CALLBACK PlayTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = GetActiveWindow();
    if (!dialog || g_played) return;
    g_played = true;
    KillTimer(nullptr, id);
    g_play(dialog);
}

std::string Text(HWND window) {
    TCHAR buffer[128] = {};
    GetWindowText(window, buffer, 128);
    return string8(string(buffer)).c_str();
}

std::string ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void Click(HWND dialog, int id) {
    SendMessage(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// The strength row: label, three buttons and the name, all enabled or all greyed.
bool StrengthRowEnabled(HWND dialog, bool enabled) {
    for (int id :
         {kNewGameStrengthLabel, kNewGameLow, kNewGameMedium, kNewGameHigh, kNewGameStrengthName})
        if (Enabled(dialog, id) != enabled) return false;
    return true;
}

class NewGameDialog : public ::testing::Test {
protected:
    void SetUp() override {
        InitialiseLanguage(TEXT("Tessark"));
        SetLanguage(kLangEnglish);
        g_played = false;
    }
    void TearDown() override {
        g_play = nullptr;
        SetLanguage(kLangEnglish);
    }
    // Runs the dialog on `settings` with `play` acting in it; play must end it.
    bool Run(Settings& settings, std::function<void(HWND)> play) {
        g_play = std::move(play);
        SetTimer(nullptr, 0, 10, PlayTimer);
        const bool ok = RunNewGameDialog(nullptr, settings);
        EXPECT_TRUE(g_played) << "the dialog never came up";
        return ok;
    }
    static RegistryValue Stored() {
        return RegistryValue(RegistryKey(string(kGameKeyPath)), string(kSettingsName));
    }

    TempMachine machine;
};

struct Control {
    int id;
    const char* english;
    const char* esperanto;
    RECT units; // x, y, width, height in dialog units, as the template gives them
    DWORD kind; // button style, or 0xFFFF for a static text
    bool group;
};

constexpr DWORD kStatic = 0xFFFF;
const Control kControls[] = {
    {-1, "Opponent", "Opponent", {4, 4, 152, 69}, BS_GROUPBOX, false},
    {1046,
     "Play a local human opponent",
     "Ludu kontraŭ loka ludanto",
     {12, 22, 123, 10},
     BS_AUTORADIOBUTTON,
     true},
    {1047,
     "Play a computer opponent",
     "Ludu kontraŭ la komputilo:",
     {12, 36, 123, 10},
     BS_AUTORADIOBUTTON,
     false},
    {1051, "Strength:", "Ĝia Forto:", {28, 52, 40, 8}, kStatic, true},
    {1048, "", "", {69, 52, 10, 10}, BS_AUTORADIOBUTTON, false},
    {1049, "", "", {80, 52, 10, 10}, BS_AUTORADIOBUTTON, false},
    {1050, "", "", {91, 52, 10, 10}, BS_AUTORADIOBUTTON, false},
    {1052, nullptr, nullptr, {108, 52, 35, 8}, kStatic, true},
    {-1, "Options", "Elektoj", {4, 88, 152, 57}, BS_GROUPBOX, false},
    {1053, "Play sound effects", "Sonigu sonefikojn", {12, 106, 136, 10}, BS_AUTOCHECKBOX, false},
    {1054,
     "Show light traces on playing board",
     "Vidigu lumspuraĝojn sur la ludtablo",
     {12, 122, 136, 10},
     BS_AUTOCHECKBOX,
     false},
    {IDOK, "OK", "Akceptu", {51, 167, 50, 14}, BS_DEFPUSHBUTTON, false},
    {IDCANCEL, "Cancel", "Nuligu", {106, 167, 50, 14}, BS_PUSHBUTTON, false},
};

// Every control of the template in order: kind, text, place and the groups of the radios.
void CheckControls(HWND dialog, bool esperanto) {
    RECT whole{0, 0, 160, 185};
    MapDialogRect(dialog, &whole);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, whole.right);
    EXPECT_EQ(client.bottom, whole.bottom);
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Control& c : kControls) {
        ASSERT_NE(child, nullptr) << "control " << c.id << " is missing";
        SCOPED_TRACE("control " + std::to_string(c.id));
        EXPECT_EQ(GetDlgCtrlID(child), static_cast<WORD>(c.id));
        const char* text = esperanto ? c.esperanto : c.english;
        if (text) {
            EXPECT_EQ(Text(child), text);
        }
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        RECT actual{};
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        const auto style = static_cast<DWORD>(GetWindowLong(child, GWL_STYLE));
        if (c.kind != kStatic) {
            EXPECT_EQ(style & 0xF, c.kind);
        }
        if (c.group) {
            EXPECT_NE(style & WS_GROUP, 0u);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "no control beyond the table";
}

TEST_F(NewGameDialog, BothTemplatesHoldEveryControlInItsPlace) {
    Settings s;
    EXPECT_FALSE(Run(s, [](HWND dialog) {
        CheckControls(dialog, false);
        EXPECT_EQ(Text(dialog), "Tessark - New Game");
        Click(dialog, IDCANCEL);
    }));
    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    g_played = false;
    EXPECT_FALSE(Run(s, [](HWND dialog) {
        CheckControls(dialog, true);
        EXPECT_EQ(Text(dialog), "Tessark - Nova Ludo");
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "Meznivela");
        Click(dialog, kNewGameLow);
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "Malforta");
        Click(dialog, kNewGameHigh);
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "Fortega");
        Click(dialog, IDCANCEL);
    }));
}

TEST_F(NewGameDialog, AComputerOpponentOpensWithItsStrengthAndTheRowGreysForAPerson) {
    Settings s;
    s.player1Strength = kStrengthHigh;
    s.soundEffects = 0;
    const bool ok = Run(s, [](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, kNewGameComputer));
        EXPECT_FALSE(Checked(dialog, kNewGameHuman));
        EXPECT_FALSE(Checked(dialog, kNewGameLow));
        EXPECT_FALSE(Checked(dialog, kNewGameMedium));
        EXPECT_TRUE(Checked(dialog, kNewGameHigh));
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "High");
        EXPECT_TRUE(StrengthRowEnabled(dialog, true));
        EXPECT_FALSE(Checked(dialog, kNewGameSound));
        EXPECT_TRUE(Checked(dialog, kNewGameLights));

        Click(dialog, kNewGameHuman);
        EXPECT_FALSE(Checked(dialog, kNewGameComputer)) << "one radio group";
        EXPECT_TRUE(StrengthRowEnabled(dialog, false));
        EXPECT_TRUE(Checked(dialog, kNewGameHigh)) << "a group of its own";
        // Back to the computer: the strength chosen before is still there.
        Click(dialog, kNewGameComputer);
        EXPECT_TRUE(StrengthRowEnabled(dialog, true));
        EXPECT_TRUE(Checked(dialog, kNewGameHigh));
        Click(dialog, kNewGameLow);
        EXPECT_FALSE(Checked(dialog, kNewGameHigh));
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "Low");
        Click(dialog, kNewGameSound);
        Click(dialog, kNewGameLights);
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(s.player1Computer, 1u);
    EXPECT_EQ(s.player1Strength, kStrengthLow);
    EXPECT_EQ(s.soundEffects, 1u);
    EXPECT_EQ(s.lightTraces, 0u);
    // Written at once.
    Settings stored;
    stored.player1Strength = 0;
    ASSERT_TRUE(ReadSettings(stored));
    EXPECT_EQ(stored.player1Computer, 1u);
    EXPECT_EQ(stored.player1Strength, kStrengthLow);
    EXPECT_EQ(stored.soundEffects, 1u);
    EXPECT_EQ(stored.lightTraces, 0u);
}

TEST_F(NewGameDialog, APersonOpensOnMediumAndKeepsTheStoredStrength) {
    Settings s;
    s.player1Computer = 0;
    s.player1Strength = kStrengthHigh;
    s.reserved = 77;
    s.player2Computer = 1;
    EXPECT_TRUE(Run(s, [](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, kNewGameHuman));
        EXPECT_TRUE(Checked(dialog, kNewGameMedium));
        EXPECT_FALSE(Checked(dialog, kNewGameHigh));
        EXPECT_TRUE(StrengthRowEnabled(dialog, false));
        EXPECT_EQ(ItemText(dialog, kNewGameStrengthName), "Medium");
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(s.player1Computer, 0u);
    EXPECT_EQ(s.player1Strength, kStrengthHigh) << "kept for the next computer game";
    Settings stored;
    ASSERT_TRUE(ReadSettings(stored));
    EXPECT_EQ(stored.reserved, 77u) << "the other fields are written as they were";
    EXPECT_EQ(stored.player2Computer, 1u);
    EXPECT_EQ(stored.player1Strength, kStrengthHigh);
}

TEST_F(NewGameDialog, StoredStrengthsOutsideTheRangeOpenOnTheNearestAndOkStoresAValidOne) {
    for (std::uint32_t strength : {0u, 7u}) {
        Settings s;
        s.player1Strength = strength;
        g_played = false;
        EXPECT_TRUE(Run(s, [strength](HWND dialog) {
            EXPECT_EQ(Checked(dialog, kNewGameLow), strength == 0);
            EXPECT_EQ(Checked(dialog, kNewGameHigh), strength == 7);
            EXPECT_FALSE(Checked(dialog, kNewGameMedium));
            Click(dialog, IDOK);
        }));
        EXPECT_EQ(s.player1Strength, strength == 0 ? kStrengthLow : kStrengthHigh);
    }
}

TEST_F(NewGameDialog, CancelStoresNothing) {
    Settings s;
    ASSERT_TRUE(SaveSettings(s));
    const RegistryData before = ReadBinary(Stored());
    const Settings copy = s;
    EXPECT_FALSE(Run(s, [](HWND dialog) {
        Click(dialog, kNewGameHuman);
        Click(dialog, kNewGameSound);
        Click(dialog, kNewGameLights);
        Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(s.player1Computer, copy.player1Computer);
    EXPECT_EQ(s.soundEffects, copy.soundEffects);
    EXPECT_EQ(s.lightTraces, copy.lightTraces);
    EXPECT_TRUE(ReadBinary(Stored()) == before);
    // Closing the dialog is its Cancel.
    g_played = false;
    EXPECT_FALSE(Run(s, [](HWND dialog) {
        Click(dialog, kNewGameHuman);
        SendMessage(dialog, WM_CLOSE, 0, 0);
    }));
    EXPECT_EQ(s.player1Computer, 1u);
}

} // namespace

namespace {

TEST_F(NewGameDialog, EachButtonTakesThePenAtItsMiddle) {
    Settings s;
    std::vector<std::string> missed;
    Run(s, [&](HWND dialog) {
        for (int id : std::initializer_list<int>{kNewGameHuman, kNewGameComputer, kNewGameLow,
                                                 kNewGameMedium, kNewGameHigh, kNewGameSound,
                                                 kNewGameLights, IDOK, IDCANCEL}) {
            HWND control = GetDlgItem(dialog, id);
            RECT r{};
            GetWindowRect(control, &r);
            const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
            if (WindowFromPoint(middle) != control)
                missed.push_back(std::to_string(id) + " goes to '" + Text(WindowFromPoint(middle)) +
                                 "'");
        }
        EndDialog(dialog, IDCANCEL);
    });
    EXPECT_TRUE(missed.empty()) << missed.front();
}

} // namespace
