#include "game/shell/newgame.h"

#include "foundation/language.h"
#include "foundation/tl_dialog.h"
#include "game/rules/history.h"

namespace {

struct NewGameState {
    Settings* settings;
    const RegistryKey* key;
};

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Check(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// The strength row is there only for a computer opponent; its name follows the checked button.
void UpdateStrength(HWND dialog) {
    const BOOL computer = Checked(dialog, kNewGameComputer) ? TRUE : FALSE;
    for (int id :
         {kNewGameStrengthLabel, kNewGameLow, kNewGameMedium, kNewGameHigh, kNewGameStrengthName})
        EnableWindow(GetDlgItem(dialog, id), computer);
    string name;
    if (Checked(dialog, kNewGameLow))
        name = LoadLocalizedString(kStrengthNameStrings[0]);
    else if (Checked(dialog, kNewGameMedium))
        name = LoadLocalizedString(kStrengthNameStrings[1]);
    else if (Checked(dialog, kNewGameHigh))
        name = LoadLocalizedString(kStrengthNameStrings[2]);
    SetDlgItemText(dialog, kNewGameStrengthName, name.c_str());
}

void Initialise(HWND dialog, const Settings& s) {
    if (s.player1Computer != 0) {
        Check(dialog, kNewGameComputer, true);
        Check(dialog, kNewGameLow, s.player1Strength <= kStrengthLow);
        Check(dialog, kNewGameMedium, s.player1Strength == kStrengthMedium);
        Check(dialog, kNewGameHigh, s.player1Strength >= kStrengthHigh);
    } else {
        Check(dialog, kNewGameHuman, true);
        Check(dialog, kNewGameMedium, true);
    }
    UpdateStrength(dialog);
    Check(dialog, kNewGameSound, s.soundEffects != 0);
    Check(dialog, kNewGameLights, s.lightTraces != 0);
    const string title = LoadLocalizedString(kNewGameTitleString);
    SetWindowText(dialog, title.c_str());
}

void Accept(HWND dialog, const NewGameState& state) {
    Settings& s = *state.settings;
    if (!Checked(dialog, kNewGameHuman)) {
        s.player1Computer = 1;
        s.player1Strength = Checked(dialog, kNewGameLow)    ? kStrengthLow
                            : Checked(dialog, kNewGameHigh) ? kStrengthHigh
                                                            : kStrengthMedium;
    } else {
        s.player1Computer = 0; // the strength is kept for the next computer game
    }
    s.soundEffects = Checked(dialog, kNewGameSound) ? 1 : 0;
    s.lightTraces = Checked(dialog, kNewGameLights) ? 1 : 0;
    SaveSettings(s, *state.key);
}

INT_PTR CALLBACK NewGameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<NewGameState*>(GetWindowLongPtr(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<NewGameState*>(lParam);
        SetWindowLongPtr(dialog, DWLP_USER, lParam);
        if (state) Initialise(dialog, *state->settings);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kNewGameHuman:
        case kNewGameComputer:
        case kNewGameLow:
        case kNewGameMedium:
        case kNewGameHigh:
            UpdateStrength(dialog);
            return TRUE;
        case IDOK:
            if (state) Accept(dialog, *state);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

bool RunNewGameDialog(HWND owner, Settings& settings, const RegistryKey& key) {
    NewGameState state{&settings, &key};
    return LocalizedDialogBox(kNewGameDialog, owner, NewGameProc,
                              reinterpret_cast<LPARAM>(&state)) == IDOK;
}

bool RunNewGameDialog(HWND owner, Settings& settings) {
    return RunNewGameDialog(owner, settings, RegistryKey(string(kGameKeyPath)));
}
