// The game's sounds: all sixteen load, scheduled sounds play on their frame, a run of creations
// varies its sound, a burst of explosions ends with one after-sound, and the sound option is
// asked when a sound is due.
#include "tests/game/presentation/board_fixture.h"

#include "engine/cea_sound.h"

namespace {

class SoundEffects : public GameBoard {
protected:
    std::vector<int> Ids() const {
        std::vector<int> ids;
        for (const auto& [frame, id] : plays)
            ids.push_back(id);
        return ids;
    }
};

TEST_F(SoundEffects, AllSixteenLoadAndPlayNowPlaysOnce) {
    for (int id : kGameSoundIds)
        EXPECT_NE(P().sounds.Get(id), nullptr) << "sound " << id;
    EXPECT_EQ(P().sounds.Get(1029), nullptr);
    P().sounds.PlayNow(kSoundPickUp);
    P().sounds.PlayNow(4711); // no such sound: nothing happens
    EXPECT_EQ(Ids(), std::vector<int>({kSoundPickUp}));
    EXPECT_TRUE(P().sounds.Get(kSoundPickUp)->IsPlaying());
}

TEST_F(SoundEffects, ACreationRunWalksThroughFiveSounds) {
    Frames(1);
    const FrameTime f = Now() + 1;
    for (int i = 0; i < 7; ++i)
        P().sounds.ScheduleSound(kSoundPutDown, f + 2 * i);
    // Five frames or more after the last one, the run starts again.
    P().sounds.ScheduleSound(kSoundPutDown, f + 12 + 5);
    RunOut();
    EXPECT_EQ(Ids(), std::vector<int>({1032, 1039, 1040, 1041, 1032, 1038, 1039, 1032}));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(plays[i].first, f + 2 * i) << "each on its own frame";
}

TEST_F(SoundEffects, ABurstOfExplosionsEndsWithOneAfterSound) {
    Frames(1);
    const FrameTime f = Now() + 1;
    P().sounds.ScheduleSound(kSoundExplosion, f);
    P().sounds.ScheduleSound(kSoundExplosion, f + 10);
    RunOut();
    const std::vector<std::pair<DWORD, int>> expected = {
        {f, kSoundExplosion}, {f + 10, kSoundExplosion}, {f + 25, kSoundAfter}};
    EXPECT_EQ(plays, expected);
}

TEST_F(SoundEffects, AfterSoundFollowsTheLatestExplosionWhateverTheOrderOfScheduling) {
    Frames(1);
    const FrameTime f = Now() + 1;
    P().sounds.ScheduleSound(kSoundExplosion, f + 20);
    P().sounds.ScheduleSound(kSoundExplosion, f);
    RunOut();
    ASSERT_EQ(plays.size(), 3u);
    EXPECT_EQ(plays.back(), std::make_pair(static_cast<DWORD>(f + 35), kSoundAfter));
}

TEST_F(SoundEffects, WithSoundsOffNothingPlaysButRunsAndAfterSoundsAreKept) {
    Frames(1);
    settings.soundEffects = 0;
    const FrameTime f = Now() + 1;
    P().sounds.ScheduleSound(kSoundPutDown, f);
    P().sounds.ScheduleSound(kSoundPutDown, f + 1);
    P().sounds.ScheduleSound(kSoundExplosion, f + 2);
    P().sounds.PlayNow(kSoundRefuse);
    Frames(f + 3 - Now());
    EXPECT_TRUE(plays.empty());
    // Switched on again before the next sounds are due: the run goes on, the after-sound comes.
    settings.soundEffects = 1;
    P().sounds.ScheduleSound(kSoundPutDown, f + 4);
    RunOut();
    const std::vector<std::pair<DWORD, int>> expected = {{f + 4, 1040}, {f + 17, kSoundAfter}};
    EXPECT_EQ(plays, expected);
}

TEST_F(SoundEffects, UnloadCancelsPendingPlays) {
    Frames(1);
    P().sounds.ScheduleSound(kSoundTrace, Now() + 3);
    P().sounds.Unload();
    RunOut();
    EXPECT_TRUE(plays.empty());
    EXPECT_EQ(P().sounds.Get(kSoundTrace), nullptr);
    EXPECT_EQ(MemCountLive("SOUND"), 0u);
}

} // namespace
