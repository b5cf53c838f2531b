// The game's menu: a row of image buttons drawn on the animation window above the board. During
// a game there are six (take back, replay, new game, help, language, exit); while the tutorial
// runs, three of its own. The buttons tell the main window procedure about presses and clicks
// with WM_COMMAND; the banner names the command of a held game button.
#pragma once

#include "controls/aux_control.h"
#include "game/presentation/graphics.h"

// The menu buttons as the banner sees them.
class MenuState {
public:
    // The slot of the button being held down, or -1.
    virtual int PressedButton() const = 0;
    // The buttons take the faces of the new language.
    virtual void RefreshLanguage() = 0;

protected:
    ~MenuState() = default;
};

// Command ids of the buttons.
enum : WORD {
    kCommandUndo = 1020,
    kCommandRedo = 1021,
    kCommandNewGame = 1022,
    kCommandHelp = 1023,
    kCommandLanguage = 1024,
    kCommandExit = 1025,
    kCommandTutorialBack = 1027,
    kCommandTutorialNext = 1028,
    kCommandTutorialExit = 1029,
};

constexpr int kMenuSlots = 6;
constexpr LONG kMenuButtonLayer = 50;
// A hidden button is moved this far up, off the window.
constexpr LONG kHiddenLift = 500;

enum class ButtonSet { kGame, kTutorial };

// Which button face shows the command; -1 for an id without a button.
int ButtonImageIndex(WORD id);

class MenuButtons final : public MenuState {
public:
    MenuButtons(AnimWindow* window, const GameGraphics* graphics, const BoardLayout* layout)
        : window_(window), graphics_(graphics), layout_(layout) {}
    ~MenuButtons() { Delete(); }
    MenuButtons(const MenuButtons&) = delete;
    MenuButtons& operator=(const MenuButtons&) = delete;

    // Replaces any buttons with the set's, reporting to `target`.
    void Create(ButtonSet set, WNDPROC target);
    void Delete();
    bool Empty() const;

    int PressedButton() const override;
    void RefreshLanguage() override { Refresh(); }

    // Gives the button with this id the current language's faces, and hides or shows it.
    void SetHidden(WORD id, bool hidden);
    // Every button takes the current language's faces, keeping its hidden state.
    void Refresh();

    AnimButton* Slot(int index) const {
        return index >= 0 && index < kMenuSlots ? slots_[index] : nullptr;
    }
    AnimButton* Find(WORD id) const;
    static bool IsHidden(AnimButton* button);

private:
    void Apply(AnimButton* button, bool hidden);

    AnimWindow* window_;
    const GameGraphics* graphics_;
    const BoardLayout* layout_;
    AnimButton* slots_[kMenuSlots] = {};
};
