#include "game/presentation/sounds.h"

#include "engine/cea_sound.h"
#include "foundation/memory.h"
#include "game/presentation/sequencer.h"
#include "platform/resource.h"

const int kGameSoundIds[kGameSoundCount] = {1030, 1044, 1031, 1032, 1033, 1034, 1035, 1036,
                                            1045, 1037, 1038, 1039, 1040, 1041, 1042, 1043};

namespace {

int IndexOf(int id) {
    for (int i = 0; i < kGameSoundCount; ++i)
        if (kGameSoundIds[i] == id) return i;
    return -1;
}

// Frames from an explosion to its after-sound, and the window of a creation run.
constexpr FrameTime kAfterSoundDelay = 15;
constexpr FrameTime kCreationRunWindow = 5;

} // namespace

int GameSounds::Load(HMODULE module) {
    Unload();
    int loaded = 0;
    for (int i = 0; i < kGameSoundCount; ++i) {
        auto* sound = new (MM("SOUND")) Sound(module, MAKEINTRESOURCE(kGameSoundIds[i]));
        if (!sound->IsLoaded()) {
            MemDelete(sound, MM("SOUND"));
            continue;
        }
        sounds_[i] = sound;
        ++loaded;
    }
    return loaded;
}

void GameSounds::Unload() {
    if (scheduler_) scheduler_->Cancel(kEventPlaySound);
    for (Sound*& sound : sounds_) {
        if (sound) MemDelete(sound, MM("SOUND"));
        sound = nullptr;
    }
}

Sound* GameSounds::Get(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? nullptr : sounds_[i];
}

void GameSounds::PlayNow(int id) {
    Sound* sound = Get(id);
    if (!sound || !options_ || !options_->SoundEffectsOn()) return;
    sound->Play(Sound::kOnce);
    if (observer_) observer_(observerContext_, id);
}

void GameSounds::ScheduleSound(int id, FrameTime frame) {
    if (!scheduler_) return;
    if (frame == kNoTime) frame = scheduler_->EndOfTimeline() + 1;
    if (id == kSoundPutDown) {
        // A quick run of creations varies its sound: 1032, 1039, 1040, 1041, 1032, 1038, ...
        if (anyCreation_ && frame < lastCreation_ + kCreationRunWindow) {
            ++runLength_;
            const int variant = runLength_ % 5 - 1;
            if (variant >= 0) id = kSoundCreateVariant1 + variant;
        } else {
            runLength_ = 1;
        }
        anyCreation_ = true;
        lastCreation_ = frame;
    } else if (id == kSoundExplosion) {
        // One after-sound for a whole burst, after the latest of its explosions.
        FrameTime after = frame + kAfterSoundDelay;
        if (afterPending_ && afterFrame_ > after && afterFrame_ > scheduler_->Now())
            after = afterFrame_;
        scheduler_->Cancel(kEventPlaySound, kSoundAfter);
        scheduler_->Schedule(after, kEventPlaySound, kSoundAfter);
        afterPending_ = true;
        afterFrame_ = after;
    }
    scheduler_->Schedule(frame, kEventPlaySound, id);
}
