#include "game/presentation/menu.h"

#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"

namespace {

constexpr WORD kGameSet[] = {kCommandUndo, kCommandRedo,     kCommandNewGame,
                             kCommandHelp, kCommandLanguage, kCommandExit};
constexpr WORD kTutorialSet[] = {kCommandTutorialBack, kCommandTutorialNext, kCommandTutorialExit};

} // namespace

int ButtonImageIndex(WORD id) {
    switch (id) {
    case kCommandUndo:
    case kCommandTutorialBack:
        return 0;
    case kCommandRedo:
    case kCommandTutorialNext:
        return 1;
    case kCommandNewGame:
        return 2;
    case kCommandHelp:
        return 3;
    case kCommandLanguage:
        return 4;
    case kCommandExit:
    case kCommandTutorialExit:
        return 5;
    default:
        return -1;
    }
}

void MenuButtons::Create(ButtonSet set, WNDPROC target) {
    Delete();
    const bool game = set == ButtonSet::kGame;
    const WORD* ids = game ? kGameSet : kTutorialSet;
    const int count = game ? kMenuPointCount : 3;
    const POINT* points = game ? layout_->menuPoints : layout_->tutorialPoints;
    window_->Freeze();
    for (int i = 0; i < count && i < kMenuSlots; ++i) {
        auto* button =
            new (MM("ANIMBUTTON")) AnimButton(window_, ids[i], kButtonCentred, kMenuButtonLayer);
        button->SetCommandTarget(target);
        button->SetNotifyTarget(target);
        button->MoveTo(points[i].x, points[i].y);
        button->SetAutoPaint(TRUE);
        slots_[i] = button;
    }
    Refresh();
    window_->Unfreeze();
}

void MenuButtons::Delete() {
    for (AnimButton*& button : slots_)
        if (button) {
            MemDelete(button, MM("ANIMBUTTON"));
            button = nullptr;
        }
}

bool MenuButtons::Empty() const {
    for (AnimButton* button : slots_)
        if (button) return false;
    return true;
}

int MenuButtons::PressedButton() const {
    for (int i = 0; i < kMenuSlots; ++i)
        if (slots_[i] && slots_[i]->IsPressed()) return i;
    return -1;
}

AnimButton* MenuButtons::Find(WORD id) const {
    for (AnimButton* button : slots_)
        if (button && button->GetId() == id) return button;
    return nullptr;
}

bool MenuButtons::IsHidden(AnimButton* button) {
    LONG x = 0, y = 0;
    button->GetPosition(&x, &y);
    return y < 0;
}

void MenuButtons::SetHidden(WORD id, bool hidden) {
    if (AnimButton* button = Find(id)) Apply(button, hidden);
}

void MenuButtons::Refresh() {
    for (AnimButton* button : slots_)
        if (button) Apply(button, IsHidden(button));
}

void MenuButtons::Apply(AnimButton* button, bool hidden) {
    const int index = ButtonImageIndex(static_cast<WORD>(button->GetId()));
    if (index < 0) return;
    const bool english = CurrentLanguageId() == kLangEnglish;
    Graphic* const* faces = graphics_->faces[index];
    button->SetImages(faces[english ? kFaceEnglishUp : kFaceEsperantoUp],
                      faces[english ? kFaceEnglishDown : kFaceEsperantoDown]);
    LONG x = 0, y = 0;
    button->GetPosition(&x, &y);
    if (hidden && y >= 1)
        button->MoveTo(x, y - kHiddenLift);
    else if (!hidden && y < 0)
        button->MoveTo(x, y + kHiddenLift);
}
