// The human's moves: a piece of the side to move is picked up with the pen, dragged over the
// board while its legal targets pulse, and dropped: onto a target it becomes the session's
// move, anywhere else it goes back. The rules are never checked here: the targets are the
// session's legal moves, and the session may still refuse one (the tutorial does).
//
// The keyboard plays the same way: an outline square moved by the arrow keys, Enter to pick up
// the piece under it and to put it down where the outline stands, Escape to put it back. A hint
// lights the two squares of a suggested move as target spots.
#pragma once

#include "engine/cea_object.h"
#include "game/presentation/sequencer.h"
#include "game/rules/session.h"
#include "platform/user.h"

class GameDisplay;
class GameSounds;

constexpr int kMostTargetSpots = 20;
// Lower layers are in front: the outline is in front of every piece (a lifted one included) and
// glow, behind the buttons.
constexpr LONG kKeyCursorLayer = 90;

class HumanInput {
public:
    HumanInput(GameDisplay* display, Sequencer* sequencer, GameSounds* sounds)
        : display_(display), sequencer_(sequencer), sounds_(sounds) {}
    HumanInput(const HumanInput&) = delete;
    HumanInput& operator=(const HumanInput&) = delete;

    void Attach(GameSession* session) { session_ = session; }

    // The three pen actions, at a point of the animation window.
    void PickUp(POINT p);
    void Drag(POINT p);
    void Drop();
    // Puts a piece being dragged back on its square without a move or a sound (before the
    // board is changed under it).
    void Cancel();
    bool Dragging() const { return piece_ != nullptr; }
    AnimObject* DraggedPiece() const { return piece_; }
    Square Source() const { return source_; }
    int TargetSpotCount() const;
    const GLOWSPOT* TargetSpot(int i) const { return spots_[i]; }

    // An arrow key, Enter or Escape; false for any other key. The outline appears with the
    // first key, on the middle square.
    bool KeyDown(UINT key);
    Square KeyCursor() const { return cursorObject_ ? cursor_ : kNoSquare; }
    bool HeldByKeys() const { return piece_ && byKeys_; }
    // Lights the move's two squares until a piece is picked up or the hint is cleared.
    void ShowHint(Square from, Square to);
    void ClearHint();
    bool HintShown() const { return hint_[0] || hint_[1]; }
    // Puts a held piece back and frees the outline and the hint (before the window's objects
    // go).
    void Delete();

    // The animation window's message hook (every message, default priority); always 0.
    static LRESULT CALLBACK StylusHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The same for the keyboard (kHookKeyboard); 1 for a key it used.
    static LRESULT CALLBACK KeyHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool PickUpSquare(Square square);
    void EndDrag();
    void MoveCursor(int rows, int columns);
    void PlaceCursor();
    void DrawCursor(const ANIMDRAW* record) const;
    static LRESULT CALLBACK CursorCallback(AnimObject* object, DWORD message, LPARAM parameter);

    GameDisplay* display_;
    Sequencer* sequencer_;
    GameSounds* sounds_;
    GameSession* session_ = nullptr;
    AnimObject* piece_ = nullptr;
    Square source_ = kNoSquare;
    POINT grab_{};
    GLOWSPOT* spots_[kMostTargetSpots] = {};
    bool byKeys_ = false;
    Square cursor_ = SquareAt(kBoardSize / 2, kBoardSize / 2);
    AnimObject* cursorObject_ = nullptr;
    GLOWSPOT* hint_[2] = {};
};
