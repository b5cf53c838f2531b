// The skinned message box: the platform message box's flags, caption and markup text shown in
// a small skinned window named "Message" with an icon, the text and push buttons in the
// current language, sized from the work area and centred in it.
//
//     int id = SkinMessage(skin, MB_YESNO | MB_ICONQUESTION, "TessarkSetup", "Install?");
//
// The answer is the id of the button pressed (IDOK, IDCANCEL, IDYES, IDNO); the close box
// answers IDCANCEL.
#pragma once

#include "foundation/cetl.h"
#include "foundation/language.h"
#include "platform/user.h"
#include "skin/skinlib.h"

class SkinWindow;

// Control identifiers of the box besides its buttons (which carry their answers).
constexpr DWORD kSkinMessageIconId = 40010;
constexpr DWORD kSkinMessageTextId = 40011;

// What the flags and the work area make of the box before its text is measured.
struct SkinMessageLayout {
    const TCHAR* icon = nullptr; // "icon-alert", "icon-question", "icon-info" or none
    DWORD buttonBits = 0;        // MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO ...
    int buttons[3] = {};         // answers, right to left
    int buttonCount = 0;
    bool closeBox = false;
    LONG width = 0;       // work width / 3 + frame, before the text is placed
    LONG buttonWidth = 0; // width / (buttons + 1), 40 to 75
    LONG height = 0;      // frame + 96, before the text's height
    LONG textLeft = 0;    // 64, plus the icon's width
    LONG textWidth = 0;   // at least 200
    LONG finalWidth = 0;  // the window's width once the text is placed
};

// The icon the flags ask for: 0x10 (alone or with 0x20) alert, 0x20 alone question, 0x40 info
// (over the others); null for none.
const TCHAR* SkinMessageIcon(UINT flags);
// The box's measures for `flags` on a work area `workWidth` wide, with the skin's frame
// borders summed per axis and the width of the icon image (0 when the skin has none).
SkinMessageLayout SkinMessageMeasure(UINT flags, LONG workWidth, LONG frameX, LONG frameY,
                                     LONG iconWidth);
// A button's caption in a language: English for 1033, Esperanto for any other.
const TCHAR* SkinMessageButtonText(int id, LANGID language);

// Builds the box, hidden, sized and centred in the work area; the caller runs it (RunModal)
// and destroys it (SkinWindow::Destroy). A missing required skin image throws the skin's
// exception. Null without a skin.
SkinWindow* SkinMessageCreate(Skin* skin, UINT flags, const TCHAR* caption, const TCHAR* text,
                              const cetl::PROPERTIES* app = nullptr);
// Shows the box modally; the id of the button that closed it (IDCANCEL when the window was
// closed otherwise, 0 without a skin).
int SkinMessage(Skin* skin, UINT flags, const TCHAR* caption, const TCHAR* text,
                const cetl::PROPERTIES* app = nullptr);
