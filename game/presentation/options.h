// What the presentation reads of the game's settings, asked each time it matters, so that a
// change in the new-game dialog takes effect at once.
#pragma once

#include "game/rules/session.h"

class GameOptions : public PlayerSettings {
public:
    virtual bool SoundEffectsOn() const = 0;
    virtual bool LightTracesOn() const = 0;

protected:
    ~GameOptions() = default;
};
