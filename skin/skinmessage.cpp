#include "skin/skinmessage.h"

#include "foundation/language.h"
#include "skin/skincontrol.h"
#include "skin/skinwindow.h"

#include <algorithm>

namespace {

const TCHAR kBoxName[] = TEXT("Message");

constexpr LONG kMargin = 16;     // from the inner area's edges to the icon, text and buttons
constexpr LONG kButtonGap = 8;   // between two buttons
constexpr LONG kTextRight = 48;  // right of the text: the margin and room for the close box
constexpr LONG kTextLeft = 64;   // without an icon
constexpr LONG kMinText = 200;   // the narrowest text column
constexpr LONG kBaseHeight = 96; // icon and buttons, without the text

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND) return FALSE;
    SkinWindow* window = SkinWindow::FromHandle(hwnd);
    const int id = LOWORD(wParam);
    int answer = 0;
    switch (id) {
    case IDOK:
    case IDCANCEL:
    case IDYES:
    case IDNO:
        answer = id;
        break;
    case kSkinCloseId:
        answer = IDCANCEL;
        break;
    default:
        return FALSE;
    }
    if (window != nullptr) window->EndModal(answer);
    return TRUE;
}

} // namespace

const TCHAR* SkinMessageIcon(UINT flags) {
    const TCHAR* icon = nullptr;
    const UINT bits = flags & 0x70;
    if ((bits & 0x30) == 0x10 || (bits & 0x30) == 0x30) icon = TEXT("icon-alert");
    if ((bits & 0x30) == 0x20) icon = TEXT("icon-question");
    if (bits & 0x40) icon = TEXT("icon-info");
    return icon;
}

SkinMessageLayout SkinMessageMeasure(UINT flags, LONG workWidth, LONG frameX, LONG frameY,
                                     LONG iconWidth) {
    SkinMessageLayout l;
    l.icon = SkinMessageIcon(flags);
    // Only the low four bits choose the buttons; modality and the like are not buttons.
    l.buttonBits = flags & 0x0F;
    switch (l.buttonBits) {
    case MB_OKCANCEL:
        l.buttons[0] = IDCANCEL, l.buttons[1] = IDOK, l.buttonCount = 2;
        break;
    case MB_YESNO:
        l.buttons[0] = IDNO, l.buttons[1] = IDYES, l.buttonCount = 2;
        break;
    case MB_YESNOCANCEL:
        l.buttons[0] = IDCANCEL, l.buttons[1] = IDNO, l.buttons[2] = IDYES, l.buttonCount = 3;
        break;
    default:
        l.buttons[0] = IDOK, l.buttonCount = 1;
        break;
    }
    l.closeBox = l.buttonBits != MB_YESNO;
    l.width = std::max<LONG>(workWidth, 0) / 3 + frameX;
    l.buttonWidth = std::clamp<LONG>(l.width / (l.buttonCount + 1), 40, 75);
    l.height = frameY + kBaseHeight;
    l.textLeft = kTextLeft + (l.icon != nullptr ? std::max<LONG>(iconWidth, 0) : 0);
    l.textWidth = l.width - frameX - kTextRight - l.textLeft;
    if (l.textWidth <= kMinText) l.textWidth = kMinText;
    l.finalWidth = l.textLeft + l.textWidth + kTextRight + frameX;
    return l;
}

const TCHAR* SkinMessageButtonText(int id, LANGID language) {
    const bool english = language == kLangEnglish;
    switch (id) {
    case IDOK:
        return english ? TEXT("OK") : TEXT("Akceptu");
    case IDCANCEL:
        return english ? TEXT("Cancel") : TEXT("Nuligu");
    case IDYES:
        return english ? TEXT("Yes") : TEXT("Jes");
    case IDNO:
        return english ? TEXT("No") : TEXT("Ne");
    default:
        return TEXT("");
    }
}

SkinWindow* SkinMessageCreate(Skin* skin, UINT flags, const TCHAR* caption, const TCHAR* text,
                              const cetl::PROPERTIES* app) {
    if (skin == nullptr) return nullptr;
    SkinWindow* window =
        SkinWindow::Create(skin, kBoxName, nullptr, nullptr, nullptr, BoxProc, 0, app);
    if (window == nullptr) return nullptr;
    try {
        RECT work{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        const SkinWindowSettings& frame = window->GetSettings();
        const LONG frameX = frame.left + frame.right, frameY = frame.top + frame.bottom;

        // The icon decides where the text starts, so it is looked for first.
        const TCHAR* iconName = SkinMessageIcon(flags);
        SkinControlGraphics* icon =
            iconName != nullptr ? skin->GetImage(iconName, SkinGrid(1, 1), kBoxName) : nullptr;
        if (icon != nullptr && (icon->count == 0 || icon->cellWidth <= 0)) icon = nullptr;
        SkinMessageLayout l = SkinMessageMeasure(flags, work.right - work.left, frameX, frameY,
                                                 icon != nullptr ? icon->cellWidth : 0);
        if (icon == nullptr) l.textLeft = kTextLeft;

        if (l.closeBox) {
            SkinControl* close =
                window->AddControl(kSkinPushButton, kSkinCloseId, 0, TEXT(""), RECT{0, 0, 0, 0});
            const SIZE size = close->NaturalSize();
            close->SetPlacement(kPlaceFar | kPlaceWhole, 0, size.cx, kPlaceWhole, 0, size.cy);
        }
        if (icon != nullptr) {
            // A user-drawn control that the box's procedure leaves to draw its own image.
            SkinControl* image = window->AddControl(
                kSkinUserDrawn, kSkinMessageIconId, 0, TEXT(""),
                RECT{kMargin, kMargin, kMargin + icon->cellWidth, kMargin + icon->cellHeight});
            image->SetGraphics(icon);
            image->SetPlacement(kPlaceNear, kMargin, icon->cellWidth, kPlaceNear, kMargin,
                                icon->cellHeight);
        }
        LONG height = l.height;
        if (text != nullptr && *text != 0) {
            SkinControl* body = window->AddControl(
                kSkinText, kSkinMessageTextId, 0, text,
                RECT{l.textLeft, kMargin, l.textLeft + l.textWidth, kMargin + 1});
            body->SetText(text);
            body->SetPlacement(kPlaceNear, l.textLeft, l.textWidth, kPlaceNear, kMargin, 1);
            const LONG textHeight = std::max<LONG>(body->MeasureTextHeight(), 0);
            body->SetPlacement(kPlaceNear, l.textLeft, l.textWidth, kPlaceNear, kMargin,
                               textHeight);
            height += textHeight;
        }
        const LANGID language = CurrentLanguageId();
        LONG offset = kMargin;
        for (int i = 0; i < l.buttonCount; ++i) {
            SkinControl* button = window->AddControl(
                kSkinPushButton, static_cast<DWORD>(l.buttons[i]), 0,
                SkinMessageButtonText(l.buttons[i], language), RECT{0, 0, l.buttonWidth, 0});
            button->SetPlacement(kPlaceFar, offset, l.buttonWidth, kPlaceFar, kMargin,
                                 button->NaturalSize().cy);
            offset += l.buttonWidth + kButtonGap;
        }

        // Centred in the work area (its origin is the screen's unless the host has panels).
        const LONG width = l.finalWidth;
        const LONG x = work.left + (work.right - work.left - width) / 2;
        const LONG y = work.top + (work.bottom - work.top - height) / 2;
        SetWindowPos(window->GetHandle(), nullptr, x, y, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowText(window->GetHandle(), caption != nullptr ? caption : TEXT(""));
        window->Layout();
        return window;
    } catch (...) {
        SkinWindow::Destroy(window);
        throw;
    }
}

int SkinMessage(Skin* skin, UINT flags, const TCHAR* caption, const TCHAR* text,
                const cetl::PROPERTIES* app) {
    SkinWindow* window = SkinMessageCreate(skin, flags, caption, text, app);
    if (window == nullptr) return 0;
    const int id = window->RunModal();
    SkinWindow::Destroy(window);
    return id;
}
