// The human's moves: a piece of the side to move is picked up with the pen, dragged over the
// board while its legal targets pulse, and dropped: onto a target it becomes the session's
// move, anywhere else it goes back. The rules are never checked here: the targets are the
// session's legal moves, and the session may still refuse one (the tutorial does).
#pragma once

#include "engine/cea_object.h"
#include "game/presentation/sequencer.h"
#include "game/rules/session.h"
#include "platform/user.h"

class GameDisplay;
class GameSounds;

constexpr int kMostTargetSpots = 20;

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

    // The animation window's message hook (every message, default priority); always 0.
    static LRESULT CALLBACK StylusHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void EndDrag();

    GameDisplay* display_;
    Sequencer* sequencer_;
    GameSounds* sounds_;
    GameSession* session_ = nullptr;
    AnimObject* piece_ = nullptr;
    Square source_ = kNoSquare;
    POINT grab_{};
    GLOWSPOT* spots_[kMostTargetSpots] = {};
};
