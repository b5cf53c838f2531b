// The game's sixteen sound effects: played at once for pen and button feedback, or scheduled on
// the timeline so that they start on the frame of their animation. A quick run of piece
// creations walks through five sounds, and a burst of explosions ends with one after-sound.
#pragma once

#include "game/presentation/options.h"
#include "game/rules/session.h"
#include "platform/base.h"

class Sound;
class EventScheduler;

// Resource ids, in load order.
constexpr int kSoundButtonDown = 1030;
constexpr int kSoundButtonDone = 1044;
// kSoundComputerWins (1031), kSoundHumanWins (1037) and kSoundSlide (1042) are the session's.
constexpr int kSoundPutDown = 1032;
constexpr int kSoundReturn = 1033;
constexpr int kSoundPickUp = 1034;
constexpr int kSoundRefuse = 1035;
constexpr int kSoundExplosion = 1036;
constexpr int kSoundAfter = 1045;
constexpr int kSoundCreateVariant1 = 1038; // 1039, 1040, 1041 follow
constexpr int kSoundTrace = 1043;
constexpr int kGameSoundCount = 16;
extern const int kGameSoundIds[kGameSoundCount];

class GameSounds : public SoundScheduler {
public:
    GameSounds(EventScheduler* scheduler, const GameOptions* options)
        : scheduler_(scheduler), options_(options) {}
    ~GameSounds() { Unload(); }
    GameSounds(const GameSounds&) = delete;
    GameSounds& operator=(const GameSounds&) = delete;

    // A sound that cannot be loaded is simply absent. Returns how many loaded.
    int Load(HMODULE module);
    // Cancels every pending play, then frees the sounds.
    void Unload();
    Sound* Get(int id) const;

    // Plays the sound once from the start, when it exists and sound effects are on.
    void PlayNow(int id);
    // kNoTime: one past the end of the timeline. Applies the creation-run and after-sound rules.
    void ScheduleSound(int id, FrameTime frame) override;

    // Every play that reaches the mixer is reported here too (tests, diagnostics).
    using PlayObserver = void (*)(void* context, int id);
    void SetPlayObserver(PlayObserver observer, void* context) {
        observer_ = observer;
        observerContext_ = context;
    }

private:
    EventScheduler* scheduler_;
    const GameOptions* options_;
    Sound* sounds_[kGameSoundCount] = {};
    FrameTime lastCreation_ = 0;
    bool anyCreation_ = false;
    int runLength_ = 0;
    bool afterPending_ = false;
    FrameTime afterFrame_ = 0;
    PlayObserver observer_ = nullptr;
    void* observerContext_ = nullptr;
};
