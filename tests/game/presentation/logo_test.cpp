// The logo splash on a game-sized animation window on the simulated clock: its timeline, the
// end-timing rule for quick, slow and failing loaders, the window's settings given back, and
// the splash cut short by a skip or by the window going while the loader still runs.
#include "game/presentation/logo.h"

#include "tests/game/presentation/board_fixture.h"

#include "engine/cea_main.h"
#include "engine/cea_palette.h"
#include "foundation/language.h"
#include "game/shell/game.h"
#include "platform/clock.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Messages the test's main window understands.
constexpr UINT kSkipMessage = WM_APP + 1;
constexpr UINT kCloseMessage = WM_APP + 2;

constexpr DWORD kLead = 6;       // frames from the start to the first logo frame
constexpr DWORD kAnimation = 40; // frames from the first logo frame to the animation's end

class Logo;
Logo* g_test = nullptr;

class Logo : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    int Run(LogoLoader loader) {
        return RunLogo(window, GetModuleHandle(nullptr), loader, this, false);
    }
    DWORD Now() const { return window->GetCurrentFrame(); }
    // The frames at which sound `n` started.
    std::vector<DWORD> PlaysOf(int n) const {
        std::vector<DWORD> frames;
        for (const auto& [frame, sound, play] : sounds)
            if (sound == n && play) frames.push_back(frame);
        return frames;
    }

    static LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT OwnCallback(AnimWindow* window, DWORD code, LPARAM p1, LPARAM p2);
    static void Heard(void* context, int sound, bool play);

public:
    struct Play {
        DWORD frame;
        int sound;
        bool play;
    };
    std::vector<Play> sounds;
    // At the first sound: what the splash had made of the window.
    AnimWindowCallback callbackDuring = nullptr;
    double rateDuring = 0;
    PaletteGroup* groupDuring = nullptr;
    // A second splash asked for while one plays.
    int nestedResult = -1;
    COLORREF middleDuring = 0, cornerDuring = 0;
    // Sent to the main window when sound `atSound` starts.
    UINT messageAtSound = 0;
    int atSound = 0;
    // What the loader does.
    DWORD loaderMs = 0;
    bool loaderResult = true;
    bool loaderClosesWindow = false;
    std::atomic<int> loaderCalls{0};
    std::atomic<bool> loaderOnOtherThread{false};
    bool skipOnDestroy = false;
    int destroyHeard = 0;

    TempMachine machine;
    PaletteGroup ownGroup;
    double ownRate = 0;
    HWND main = nullptr;
    AnimWindow* window = nullptr;
    std::thread::id mainThread;
};

LRESULT CALLBACK Logo::MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_test) {
        if (message == kSkipMessage) SkipLogo();
        if (message == kCloseMessage) DestroyWindow(hwnd);
        if (message == WM_DESTROY && g_test->skipOnDestroy) SkipLogo();
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT Logo::OwnCallback(AnimWindow*, DWORD code, LPARAM, LPARAM) {
    if (g_test && code == ANIMWND_DESTROY) ++g_test->destroyHeard;
    return 1;
}

void Logo::Heard(void* context, int sound, bool play) {
    auto* test = static_cast<Logo*>(context);
    test->sounds.push_back(Play{test->window->GetCurrentFrame(), sound, play});
    if (play && test->sounds.size() == 1) {
        test->callbackDuring = test->window->GetCallback();
        test->rateDuring = test->window->GetFrameRate();
        test->groupDuring = GetDisplayPaletteGroup();
        test->nestedResult =
            RunLogo(test->window, GetModuleHandle(nullptr), nullptr, nullptr, false);
    }
    if (play && sound == 3) {
        // The composite of the frame before: the tile at its last tumbling frame.
        Graphic* shown = test->window->GetFrameComposite();
        test->middleDuring = shown->GetPixelColor(120, 147);
        test->cornerDuring = shown->GetPixelColor(2, 2);
    }
    if (play && sound == test->atSound && test->messageAtSound)
        PostMessage(test->main, test->messageAtSound, 0, 0);
}

bool TestLoader(void* context) {
    auto* test = static_cast<Logo*>(context);
    ++test->loaderCalls;
    test->loaderOnOtherThread = std::this_thread::get_id() != test->mainThread;
    if (test->loaderClosesWindow) {
        PostMessage(test->main, kCloseMessage, 0, 0);
        // Still busy while the window thread closes.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // A slow loader, in simulated time.
    if (test->loaderMs) platform::clock::AdvanceBy(test->loaderMs);
    return test->loaderResult;
}

void Logo::SetUp() {
    ASSERT_TRUE(EngineInit(GetModuleHandle(nullptr), 0));
    InitialiseLanguage(TEXT("Tessark"));
    window = CreateGameWindow(TEXT("TessarkLogoTest"), MainProc, main);
    ASSERT_NE(window, nullptr);
    window->SetCallback(OwnCallback);
    window->SetFrameRate(30);
    ownRate = window->GetFrameRate();
    GetDisplay()->SetPaletteGroup(&ownGroup);
    mainThread = std::this_thread::get_id();
    g_test = this;
    SetLogoSoundObserver(Heard, this);
}

void Logo::TearDown() {
    SetLogoSoundObserver(nullptr, nullptr);
    FreeLogo();
    if (IsWindow(main)) DestroyWindow(main);
    GetDisplay()->SetPaletteGroup(nullptr);
    g_test = nullptr;
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    platform::clock::SetSimulated(false);
}

TEST_F(Logo, WithoutALoaderItPlaysItsTimelineAndEndsTwoSecondsAndFiveFramesAfterIt) {
    const DWORD start = Now();
    const DWORD f = start + kLead;
    EXPECT_EQ(Run(nullptr), 1);
    EXPECT_FALSE(LogoRunning());
    // Sound 1 with the first frame, sound 2 replacing it when the tile has turned, sound 3 with
    // the wordmark.
    EXPECT_EQ(PlaysOf(1), std::vector<DWORD>({f}));
    EXPECT_EQ(PlaysOf(2), std::vector<DWORD>({f + 13}));
    EXPECT_EQ(PlaysOf(3), std::vector<DWORD>({f + 26}));
    ASSERT_EQ(sounds.size(), 4u);
    EXPECT_EQ(sounds[2].sound, 1);
    EXPECT_FALSE(sounds[2].play) << "sound 1 stops as sound 2 starts";
    EXPECT_EQ(sounds[2].frame, f + 13);
    // The end: 2000 ms at 20 frames a second, plus 5, after the animation's last frame.
    EXPECT_EQ(Now(), f + kAnimation + 5 + 40 + 1);

    // The window was the splash's meanwhile, black around the logo in its middle, and is given
    // back.
    EXPECT_NE(callbackDuring, OwnCallback);
    EXPECT_DOUBLE_EQ(rateDuring, 20.0);
    EXPECT_NE(groupDuring, &ownGroup);
    EXPECT_EQ(nestedResult, 0) << "one splash at a time";
    EXPECT_NE(middleDuring, RGB(0, 0, 0));
    EXPECT_EQ(cornerDuring, RGB(0, 0, 0));
    EXPECT_EQ(window->GetCallback(), OwnCallback);
    EXPECT_DOUBLE_EQ(window->GetFrameRate(), ownRate);
    EXPECT_EQ(GetDisplayPaletteGroup(), &ownGroup);
    EXPECT_EQ(window->NextObject(nullptr), nullptr) << "the logo object is gone";
}

TEST_F(Logo, TheLoaderRunsOnItsOwnThreadAndItsTimeDecidesTheEnd) {
    // Quick (500 ms): the end is still 2 s after the animation.
    DWORD over = Now() + kLead + kAnimation;
    loaderMs = 500;
    EXPECT_EQ(Run(TestLoader), 1);
    EXPECT_EQ(loaderCalls.load(), 1);
    EXPECT_TRUE(loaderOnOtherThread.load());
    // The loader's return is heard on the frame after the one that started it, or on the next
    // one: this loader moves the simulated clock itself, which may let the window thread run a
    // frame first.
    DWORD end = over + 1 + 5 + (2000 - 500) * 20 / 1000 + 1;
    EXPECT_TRUE(Now() == end || Now() == end + 1) << Now() << " for " << end;

    // Slower than 2 s: five frames after it returns.
    over = Now() + kLead + kAnimation;
    loaderMs = 3000;
    EXPECT_EQ(Run(TestLoader), 1);
    end = over + 1 + 5 + 1;
    EXPECT_TRUE(Now() == end || Now() == end + 1) << Now() << " for " << end;
    EXPECT_EQ(window->GetCallback(), OwnCallback);

    // A loader that fails fails the splash, which ends the same way.
    over = Now() + kLead + kAnimation;
    loaderMs = 0;
    loaderResult = false;
    EXPECT_EQ(Run(TestLoader), 0);
    EXPECT_EQ(Now(), over + 1 + 5 + 40 + 1);
    EXPECT_EQ(loaderCalls.load(), 3);
    EXPECT_EQ(GetDisplayPaletteGroup(), &ownGroup);
}

TEST_F(Logo, WithoutItsResourcesItFailsAtOnceAndLeavesTheWindowAlone) {
    const DWORD start = Now();
    const auto stranger = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x4711));
    EXPECT_EQ(RunLogo(window, stranger, TestLoader, this, false), 0);
    EXPECT_EQ(Now(), start) << "no frame ran";
    EXPECT_EQ(loaderCalls.load(), 0);
    EXPECT_TRUE(sounds.empty());
    EXPECT_EQ(window->GetCallback(), OwnCallback);
    EXPECT_DOUBLE_EQ(window->GetFrameRate(), ownRate);
    EXPECT_EQ(GetDisplayPaletteGroup(), &ownGroup);
    EXPECT_EQ(RunLogo(nullptr, GetModuleHandle(nullptr), nullptr, nullptr, false), 0);
}

TEST_F(Logo, SkippedDuringTheAnimationItFailsFallsSilentAndLoadsNothing) {
    atSound = 2;
    messageAtSound = kSkipMessage;
    EXPECT_EQ(Run(TestLoader), 0);
    EXPECT_EQ(PlaysOf(2).size(), 1u);
    EXPECT_TRUE(PlaysOf(3).empty()) << "no sound after the skip";
    // Sound 2 replaced sound 1 on the skip's frame; nothing came after.
    EXPECT_EQ(sounds.size(), 3u);
    EXPECT_EQ(loaderCalls.load(), 0);
    EXPECT_EQ(window->GetCallback(), OwnCallback);
    EXPECT_EQ(GetDisplayPaletteGroup(), &ownGroup);
    SkipLogo(); // nothing left to skip
}

TEST_F(Logo, ClosedWhileTheLoaderRunsItWaitsForTheLoaderAndFails) {
    // The owner skips the splash as its window goes, as the game does.
    skipOnDestroy = true;
    loaderClosesWindow = true;
    EXPECT_EQ(Run(TestLoader), 0);
    EXPECT_EQ(loaderCalls.load(), 1);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(destroyHeard, 1) << "the owner's handler heard of the window's end";
    EXPECT_EQ(sounds.size(), 4u) << "nothing played after the animation";
    EXPECT_EQ(GetDisplayPaletteGroup(), &ownGroup);
}

TEST_F(Logo, AWindowDestroyedUnderItEndsItWithoutASkip) {
    loaderClosesWindow = true;
    EXPECT_EQ(Run(TestLoader), 0);
    EXPECT_EQ(loaderCalls.load(), 1);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(destroyHeard, 1);
    EXPECT_FALSE(LogoRunning());
}

TEST_F(Logo, KeptItStaysUntilFreedAndAFailedOneIsNeverKept) {
    EXPECT_EQ(RunLogo(window, GetModuleHandle(nullptr), nullptr, nullptr, true), 1);
    EXPECT_FALSE(LogoRunning());
    // The next splash replaces it; the memory check at the end finds nothing of either.
    EXPECT_EQ(RunLogo(window, GetModuleHandle(nullptr), nullptr, nullptr, true), 1);
    FreeLogo();
    EXPECT_EQ(window->NextObject(nullptr), nullptr);
}

// The game's own loader behind the splash: pictures and sounds made on the worker while the
// window thread paints the logo; the pen does not reach the game meanwhile.
TEST_F(Logo, TheGameLoadsBehindItAndShowsAfterwards) {
    Settings settings;
    settings.player1Computer = 0;
    GameContext game(window, main, settings);
    ASSERT_EQ(window->GetCallback(), PresentationWindowCallback);
    struct Load {
        GameContext* game;
        bool ok;
    } load{&game, false};
    const LogoLoader loader = [](void* context) {
        auto* l = static_cast<Load*>(context);
        l->ok = l->game->LoadAssets(GetModuleHandle(nullptr));
        return l->ok;
    };
    EXPECT_EQ(RunLogo(window, GetModuleHandle(nullptr), loader, &load, false), 1);
    EXPECT_TRUE(load.ok);
    EXPECT_TRUE(game.presentation.Loaded());
    EXPECT_EQ(window->GetCallback(), PresentationWindowCallback);
    EXPECT_DOUBLE_EQ(window->GetFrameRate(), ownRate);
    game.presentation.Show();
    EXPECT_EQ(GetDisplayPaletteGroup(), game.presentation.graphics.group);
    game.Start(false);
    window->RunFrames(60);
    EXPECT_NE(game.presentation.display.FirstPiece(), nullptr) << "the board shows its pieces";
    DestroyWindow(main);
}

} // namespace
