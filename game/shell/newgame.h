// The new-game and options dialog: who plays red (a second person or the computer at one of
// three strengths), sound effects and light traces. OK stores the choices in the settings and
// writes them at once; Cancel changes nothing.
#pragma once

#include "game/shell/settings.h"
#include "platform/dlg.h"

// Template 125 (Esperanto 126) and its controls.
constexpr UINT kNewGameDialog = 125;
enum : int {
    kNewGameHuman = 1046,
    kNewGameComputer = 1047,
    kNewGameLow = 1048,
    kNewGameMedium = 1049,
    kNewGameHigh = 1050,
    kNewGameStrengthLabel = 1051,
    kNewGameStrengthName = 1052,
    kNewGameSound = 1053,
    kNewGameLights = 1054,
};
// Texts: the title and the names of the strengths 1 to 3 (Esperanto one above each).
constexpr UINT kNewGameTitleString = 40;
constexpr UINT kStrengthNameStrings[3] = {34, 36, 38};

// Shows the dialog modally, owned by `owner`, on `settings`. True when it ended with OK: the
// choices are then in `settings` and written to the registry under `key`.
bool RunNewGameDialog(HWND owner, Settings& settings, const RegistryKey& key);
bool RunNewGameDialog(HWND owner, Settings& settings);
