// The animation window: start-up, lookup, frame rate and timing, the timeline and frame loop,
// hooks, painting through the dirty regions, window-provided objects and destruction.
#include "anim_test_support.h"
#include "engine_test_support.h"

#include "engine/cea_palette.h"
#include "foundation/memory.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

// What the window callback saw, and how it answers events.
struct Log {
    std::vector<DWORD> codes;
    std::vector<std::pair<LPARAM, LPARAM>> events;
    int paints = 0;
    DWORD stopCode = 0xFFFFFFFF; // an event with this code answers 0
    DWORD paintCost = 0;         // simulated milliseconds each paint takes
    LPARAM background = 0;
};
Log g_log;

LRESULT Recorder(AnimWindow*, DWORD code, LPARAM p1, LPARAM p2) {
    g_log.codes.push_back(code);
    if (code == ANIMWND_BACKGROUND) g_log.background = p2;
    if (code == ANIMWND_PAINTEND) {
        ++g_log.paints;
        if (g_log.paintCost) platform::clock::AdvanceBy(g_log.paintCost);
    }
    if (code == ANIMWND_EVENT) {
        g_log.events.emplace_back(p1, p2);
        if (static_cast<DWORD>(p1) == g_log.stopCode) return 0;
    }
    return 1;
}

class Window : public AnimTest {
protected:
    void SetUp() override {
        AnimTest::SetUp();
        g_log = Log{};
    }
};

TEST_F(Window, InitRegistersBothClassesAndDescribesTheDisplay) {
    WNDCLASS wc{};
    ASSERT_TRUE(GetClassInfo(GetModuleHandle(nullptr), TEXT("AnimWindow"), &wc));
    EXPECT_EQ(wc.style, 0x400Bu);
    EXPECT_EQ(wc.lpfnWndProc, &AnimWindow::WindowProc);
    EXPECT_GE(wc.cbWndExtra, static_cast<int>(sizeof(void*)));
    EXPECT_NE(wc.hCursor, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    ASSERT_TRUE(GetClassInfo(GetModuleHandle(nullptr), TEXT("AnimWindowNoCursor"), &wc));
    EXPECT_EQ(wc.hCursor, nullptr);
    EXPECT_TRUE(EngineInit(GetModuleHandle(nullptr), 0)); // once per process; later calls answer

    Display* display = GetDisplay();
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->GetWidth(), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(display->GetBitsPerPixel(),
              static_cast<DWORD>(GetDeviceCaps(GetDC(nullptr), BITSPIXEL)));
    EXPECT_FALSE(display->IsPaletted());
    EXPECT_TRUE(display->Is555());
    RECT r;
    display->GetRect(&r);
    EXPECT_EQ(r.right, display->GetWidth());
    EXPECT_EQ(r.bottom, display->GetHeight());
}

TEST_F(Window, EngineClockFollowsTheCounter) {
    DWORD before = EngineClock();
    platform::clock::AdvanceBy(25);
    EXPECT_EQ(EngineClock() - before, 25u);
    platform::clock::AdvanceBy(1975);
    EXPECT_EQ(EngineClock() - before, 2000u);
}

TEST_F(Window, CreationBuildsClientSizedGraphicsAndLookupFindsOnlyLiveWindows) {
    HWND hwnd = MakeWindow();
    AnimWindow* w = AnimWindow::FromHandle(hwnd);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetHandle(), hwnd);
    EXPECT_EQ(w->GetWidth(), 240);
    EXPECT_EQ(w->GetHeight(), 294);
    for (Graphic* g : {w->GetBackground(), w->GetBackdropComposite(), w->GetFrameComposite()}) {
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->GetWidth(), 240);
        EXPECT_EQ(g->GetHeight(), 294);
        EXPECT_EQ(g->GetBitsPerPixel(), GetDisplay()->GetBitsPerPixel());
    }

    // A window of another class, even one whose extra bytes hold a live AnimWindow's address.
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = TEXT("ForeignTest");
    RegisterClass(&wc);
    HWND foreign = MakeWindow(10, 10, TEXT("ForeignTest"));
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(AnimWindow::FromHandle(foreign), nullptr);
    SetWindowLongPtr(foreign, 0, reinterpret_cast<LONG_PTR>(w));
    EXPECT_EQ(AnimWindow::FromHandle(foreign), nullptr);
    SetWindowLongPtr(foreign, 0, 0x12345678); // garbage is never followed
    EXPECT_EQ(AnimWindow::FromHandle(foreign), nullptr);
    HWND plain = MakeWindow(10, 10, TEXT("Static"));
    EXPECT_EQ(AnimWindow::FromHandle(plain), nullptr);
    EXPECT_EQ(AnimWindow::FromHandle(nullptr), nullptr);

    // The class without a cursor works the same.
    HWND bare = MakeWindow(20, 20, TEXT("AnimWindowNoCursor"));
    AnimWindow* second = AnimWindow::FromHandle(bare);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, w);
    EXPECT_EQ(second->GetWidth(), 20);

    DestroyWindow(hwnd);
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), nullptr);
    EXPECT_FALSE(AnimWindow::IsLive(w));
    EXPECT_EQ(AnimWindow::FromHandle(bare), second);
    UnregisterClass(TEXT("ForeignTest"), nullptr);
}

TEST_F(Window, DestructionOnRequestThenWithTheWindowAndTwice) {
    HWND hwnd = MakeWindow();
    AnimWindow* w = AnimWindow::FromHandle(hwnd);
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    w->SetData(3, &g_log);
    w->AddEvent(10, 1, 2);
    w->ShowFrameRate(TRUE);
    w->SetStatusText(TEXT("status"));
    new (MM("ANIMOBJECT")) AnimObject(w, Solid(4, 4, kRed), 5); // the graphic stays ours
    Graphic* red = w->GetFirstInLayer(5)->GetGraphic();

    TraceCapture traces;
    AnimWindow::Destroy(w);
    EXPECT_EQ(g_log.codes.back(), static_cast<DWORD>(ANIMWND_DESTROY));
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), nullptr);
    EXPECT_EQ(GetWindowLongPtr(hwnd, 0), 0);
    // The window itself lives on with default processing only.
    EXPECT_TRUE(IsWindow(hwnd));
    SendMessage(hwnd, WM_USER, 0, 0);
    AnimWindow::Destroy(w);
    EXPECT_EQ(traces.Count("AnimWindow freed more than once"), 1);
    DestroyWindow(hwnd);
    EXPECT_EQ(traces.Count("AnimWindow freed more than once"), 1);
    MemDelete(red, MM("GRAPHIC"));

    // A window destroyed the ordinary way takes its object with it.
    size_t before = MemGetStats().liveBlocks;
    AnimWindow* second = MakeAnim();
    for (int i = 0; i < 5; ++i)
        new (MM("ANIMOBJECT")) AnimObject(second, static_cast<AnimObjectCallback>(nullptr), i);
    second->AddHook([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, kHookAll);
    DestroyWindow(second->GetHandle());
    EXPECT_EQ(MemGetStats().liveBlocks, before);
}

TEST_F(Window, FrameRateAndTimerFigures) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    // Creation: 40 frames per second.
    EXPECT_EQ(w->GetFrameInterval(), 25u);
    EXPECT_EQ(w->GetTimerPeriod(), 20u);
    EXPECT_DOUBLE_EQ(w->GetFrameRate(), 40.0);
    w->SetFrameRate(5);
    EXPECT_EQ(w->GetFrameInterval(), 200u);
    EXPECT_EQ(w->GetTimerPeriod(), 100u);
    EXPECT_DOUBLE_EQ(w->GetFrameRate(), 5.0);
    w->SetFrameRate(30);
    EXPECT_EQ(w->GetFrameInterval(), 33u); // truncated
    EXPECT_EQ(w->GetTimerPeriod(), 20u);
    EXPECT_NEAR(w->GetFrameRate(), 30.303, 0.001);
    w->SetFrameRate(1000.0 / 119);
    EXPECT_EQ(w->GetTimerPeriod(), 20u); // below 120 ms
    w->SetFrameRate(1000.0 / 120);
    EXPECT_EQ(w->GetTimerPeriod(), 20u); // 120 - 100
    w->SetFrameRate(4000);
    EXPECT_EQ(w->GetFrameInterval(), 0u);
    EXPECT_EQ(w->GetFrameRate(), 0.0);
    w->SetFrameRate(0);
    EXPECT_EQ(w->GetFrameInterval(), 25u);
    w->SetFrameRate(-3); // nonsense falls back to the default
    EXPECT_EQ(w->GetFrameInterval(), 25u);
}

TEST_F(Window, MeasuredRateAfterTenPaints25msApart) {
    // Creation paints once; nine more paints follow 25 ms apart.
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    for (int i = 0; i < 9; ++i) {
        platform::clock::AdvanceBy(25);
        w->Paint();
    }
    EXPECT_EQ(g_log.paints, 9);
    platform::clock::AdvanceBy(25);
    EXPECT_DOUBLE_EQ(w->GetMeasuredFrameRate(), 40.0);

    // Once the ring of 30 has wrapped the average runs over the last 30 paints.
    for (int i = 0; i < 40; ++i) {
        platform::clock::AdvanceBy(50);
        w->Paint();
    }
    platform::clock::AdvanceBy(50);
    EXPECT_DOUBLE_EQ(w->GetMeasuredFrameRate(), 20.0);
}

TEST_F(Window, EventAnswering0StopsTheAdvanceWithoutPainting) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    g_log.stopCode = 7;
    w->AddEvent(2, 7, 70);
    w->AddEvent(2, 8, 80); // same frame: still carried out
    w->AddEvent(4, 9, 90); // later frame: not reached
    EXPECT_EQ(w->GetEndFrame(), 5u);
    EXPECT_FALSE(w->AdvanceFrame(6));
    EXPECT_EQ(g_log.paints, 0);
    EXPECT_EQ(w->GetCurrentFrame(), 3u);
    ASSERT_EQ(g_log.events.size(), 2u);
    EXPECT_EQ(g_log.events[0], std::make_pair(LPARAM{7}, LPARAM{70}));
    EXPECT_EQ(g_log.events[1], std::make_pair(LPARAM{8}, LPARAM{80}));

    // The frame loop paints once when it unfreezes, then ends.
    w->AddEvent(3, 7, 0);
    EXPECT_FALSE(w->RunFrames(kAllFrames));
    EXPECT_EQ(g_log.paints, 1);
    EXPECT_EQ(w->GetCurrentFrame(), 4u);
    EXPECT_EQ(g_log.events.back().first, 7);
    // Frames before the stop are painted one by one.
    w->AddEvent(6, 7, 0);
    EXPECT_FALSE(w->RunToEnd());
    EXPECT_EQ(g_log.paints, 4);
    EXPECT_EQ(w->GetCurrentFrame(), 7u);

    // Without a stop, advancing to the end paints once and reaches the end frame.
    w->AddEvent(9, 3, 0);
    EXPECT_TRUE(w->AdvanceFrame(kAllFrames));
    EXPECT_EQ(w->GetCurrentFrame(), 10u);
    EXPECT_EQ(g_log.paints, 5);
    EXPECT_TRUE(w->AdvanceFrame(kAllFrames)); // already at the end
    EXPECT_EQ(g_log.paints, 5);
}

TEST_F(Window, LateFramesAreCaughtUpWithoutPainting) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    g_log.paintCost = 60; // every paint takes longer than two frame intervals
    EXPECT_TRUE(w->RunFrames(3));
    EXPECT_EQ(w->GetCurrentFrame(), 3u);
    EXPECT_LT(g_log.paints, 3);
    EXPECT_GE(g_log.paints, 1);

    // A fast machine paints every frame.
    g_log = Log{};
    w->ResetTiming();
    EXPECT_TRUE(w->RunFrames(4));
    EXPECT_EQ(w->GetCurrentFrame(), 7u);
    EXPECT_EQ(g_log.paints, 4);
}

TEST_F(Window, RunToEndCarriesOutTheTimeline) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    w->AddEvent(3, 1, 10);
    w->AddEvent(6, 2, 20);
    w->AddEvent(6, 3, 30);
    w->RemoveEvents(3, 0); // parameter 0 matches any
    w->AddEvent(5, 4, 40);
    w->RemoveFrameEvents(5);
    DWORD start = EngineClock();
    EXPECT_TRUE(w->RunToEnd());
    EXPECT_EQ(w->GetCurrentFrame(), 7u);
    EXPECT_EQ(w->GetEndFrame(), 7u);
    ASSERT_EQ(g_log.events.size(), 2u);
    EXPECT_EQ(g_log.events[0].first, 1);
    EXPECT_EQ(g_log.events[1].first, 2);
    EXPECT_EQ(w->GetEventCount(), 0u);
    // Seven frames at 25 ms take about 150 ms of (simulated) time.
    EXPECT_GE(EngineClock() - start, 150u);
    EXPECT_LE(EngineClock() - start, 200u);
}

TEST_F(Window, AQuitTakenByTheFrameLoopIsHandedBack) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    PostQuitMessage(7);
    EXPECT_TRUE(w->RunFrames(3)); // the loop goes on through the quit ...
    EXPECT_EQ(w->GetCurrentFrame(), 3u);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)); // ... and returns it
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessage(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Window, EventsAddedFromAnotherThreadAreAllKept) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    std::atomic<bool> done{false};
    std::thread adder([&] {
        for (int i = 0; i < 400; ++i)
            w->AddEvent(1000 + i, 5, i + 1);
        done = true;
    });
    // The window thread keeps adding and removing meanwhile.
    while (!done) {
        w->AddEvent(50, 6, 1);
        w->RemoveEvents(6, 0);
    }
    adder.join();
    EXPECT_EQ(w->GetEventCount(), 400u);
    EXPECT_EQ(w->GetEndFrame(), 1400u);
}

std::vector<std::string> g_calls;

LRESULT HookA(HWND, UINT message, WPARAM, LPARAM) {
    g_calls.push_back("A" + std::to_string(message));
    return 0;
}
LRESULT HookB(HWND, UINT message, WPARAM, LPARAM) {
    g_calls.push_back("B" + std::to_string(message));
    return 0;
}
LRESULT HookStop(HWND, UINT message, WPARAM, LPARAM) {
    g_calls.push_back("S" + std::to_string(message));
    return 1;
}

TEST_F(Window, HookMasksCountsAndPriorities) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->GetHandle();
    g_calls.clear();

    w->AddHook(HookA, kHookMouse);
    SendMessage(hwnd, WM_LBUTTONDOWN, 0, 0);
    SendMessage(hwnd, WM_KEYDOWN, 0, 0);
    SendMessage(hwnd, WM_USER, 0, 0);
    SendMessage(hwnd, WM_MOUSEWHEEL, 0, 0);
#ifdef TESSARK_DEVICE
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A513", "A522"}));
#else
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A513"})); // 0x20A is not a mouse message here
#endif

    // A second registration ORs in the keyboard and needs a second removal.
    g_calls.clear();
    w->AddHook(HookA, kHookKeyboard);
    SendMessage(hwnd, WM_KEYDOWN, 0, 0);
    w->RemoveHook(HookA);
    SendMessage(hwnd, WM_KEYDOWN, 0, 0);
    w->RemoveHook(HookA);
    SendMessage(hwnd, WM_KEYDOWN, 0, 0);
    SendMessage(hwnd, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A256", "A256"}));

    // Lower priorities run first (0 counts as 100); a non-zero answer stops the rest.
    g_calls.clear();
    w->AddHook(HookA, HookValue(kHookAll, 200));
    w->AddHook(HookB, HookValue(kHookAll, 0));
    w->AddHook(HookStop, HookValue(kHookAll, 150));
    SendMessage(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"B1024", "S1024"}));
    // A removed entry's place is reused without breaking the order.
    g_calls.clear();
    w->RemoveHook(HookB);
    w->RemoveHook(HookStop);
    w->AddHook(HookStop, HookValue(kHookAll, 300));
    w->AddHook(HookB, HookValue(kHookAll, 250));
    SendMessage(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"A1024", "B1024", "S1024"}));
}

TEST_F(Window, PaintComposesOnlyDirtyRectangles) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->GetHandle();
    w->FillBackground(kRed);
    w->Paint();
    EXPECT_TRUE(Near(WindowPixel(hwnd, 5, 5), kRed));
    EXPECT_TRUE(Near(WindowPixel(hwnd, 200, 250), kRed));
    EXPECT_TRUE(w->GetBackdropRegion()->IsEmpty());
    EXPECT_TRUE(w->GetFrameRegion()->IsEmpty());

    // Paint the window behind the engine's back, then dirty one small rectangle.
    HDC dc = GetDC(hwnd);
    RECT all{0, 0, 240, 294};
    HBRUSH green = CreateSolidBrush(kGreen);
    FillRect(dc, &all, green);
    DeleteObject(green);
    ReleaseDC(hwnd, dc);
    RECT part{10, 20, 30, 40};
    w->FillBackground(kBlue, &part); // changes the background and invalidates everything ...
    w->Paint();
    EXPECT_TRUE(Near(WindowPixel(hwnd, 15, 25), kBlue));
    EXPECT_TRUE(Near(WindowPixel(hwnd, 200, 250), kRed));

    HDC dc2 = GetDC(hwnd);
    HBRUSH green2 = CreateSolidBrush(kGreen);
    FillRect(dc2, &all, green2);
    DeleteObject(green2);
    ReleaseDC(hwnd, dc2);
    RECT small{100, 100, 110, 110};
    w->Invalidate(&small); // ... while this touches only its own pixels
    w->Paint();
    EXPECT_TRUE(Near(WindowPixel(hwnd, 105, 105), kRed));
    EXPECT_TRUE(Near(WindowPixel(hwnd, 99, 105), kGreen));
    EXPECT_TRUE(Near(WindowPixel(hwnd, 110, 105), kGreen));
    EXPECT_TRUE(Near(WindowPixel(hwnd, 15, 25), kGreen));
}

TEST_F(Window, FrozenPaintsKeepTheirRectanglesUntilUnfrozen) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    w->Paint();
    g_log.paints = 0;
    w->Freeze();
    w->Freeze();
    RECT r{0, 0, 10, 10};
    w->Invalidate(&r);
    w->Paint();
    EXPECT_EQ(g_log.paints, 0);
    EXPECT_EQ(w->GetFrameRegion()->GetCount(), 1u);
    w->Unfreeze();
    EXPECT_EQ(g_log.paints, 0);
    w->Unfreeze();
    EXPECT_EQ(g_log.paints, 1);
    EXPECT_TRUE(w->GetFrameRegion()->IsEmpty());
    w->Unfreeze(); // never below 0
    EXPECT_EQ(w->GetFreezeCount(), 0u);
    EXPECT_EQ(g_log.paints, 1);

    // Invalidation clips to the client area; InvalidateAll goes to the backdrop region.
    RECT outside{300, 300, 400, 400};
    w->Invalidate(&outside);
    EXPECT_TRUE(w->GetFrameRegion()->IsEmpty());
    w->InvalidateAll();
    ASSERT_EQ(w->GetBackdropRegion()->GetCount(), 1u);
    EXPECT_EQ(w->GetBackdropRegion()->Get(0)->right, 240);
    EXPECT_EQ(w->GetBackdropRegion()->Get(0)->bottom, 294);

    // The paint's callback codes come in order.
    g_log.codes.clear();
    w->Paint();
    EXPECT_EQ(g_log.codes,
              (std::vector<DWORD>{ANIMWND_PAINTBEGIN, ANIMWND_COMPOSE, ANIMWND_PAINTEND}));
}

TEST_F(Window, CallbackGetsTheBackgroundAtOnceAndAfterGrowth) {
    AnimWindow* w = MakeAnim(100, 80);
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    ASSERT_EQ(g_log.codes.size(), 1u);
    EXPECT_EQ(g_log.background, reinterpret_cast<LPARAM>(w->GetBackground()));
    // Shrinking keeps the graphics; growing rebuilds them at the new size.
    Graphic* before = w->GetBackground();
    MoveWindow(w->GetHandle(), 0, 0, 90, 70, FALSE);
    EXPECT_EQ(w->GetBackground(), before);
    EXPECT_EQ(w->GetWidth(), 90);
    MoveWindow(w->GetHandle(), 0, 0, 120, 70, FALSE);
    EXPECT_EQ(w->GetBackground()->GetWidth(), 120);
    EXPECT_EQ(g_log.background, reinterpret_cast<LPARAM>(w->GetBackground()));
}

TEST_F(Window, SettingTheDisplayPaletteGroupRebuildsEveryWindow) {
    AnimWindow* a = MakeAnim(60, 40);
    AnimWindow* b = MakeAnim(30, 20);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->SetCallback(Recorder);
    g_log = Log{};
    PaletteGroup* group = new (MM("PALETTEGROUP")) PaletteGroup;
    GetDisplay()->SetPaletteGroup(group);
    EXPECT_EQ(GetDisplay()->GetPaletteGroup(), group);
    EXPECT_EQ(g_log.codes, (std::vector<DWORD>{ANIMWND_BACKGROUND}));
    EXPECT_EQ(g_log.background, reinterpret_cast<LPARAM>(a->GetBackground()));
    ASSERT_NE(b->GetBackground(), nullptr);
    EXPECT_EQ(b->GetBackground()->GetWidth(), 30);
    EXPECT_EQ(GetDisplay()->GetPalette(), nullptr); // not a paletted display
    // Destroying the group leaves the display without one.
    MemDelete(group, MM("PALETTEGROUP"));
    EXPECT_EQ(GetDisplay()->GetPaletteGroup(), nullptr);
    GetDisplay()->SetPaletteGroup(nullptr);
    a->Paint();
}

TEST_F(Window, UserSlotsFrameRateDisplayAndStatusText) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetData(0), nullptr);
    EXPECT_EQ(w->GetData(1000), nullptr);
    int value = 0;
    EXPECT_TRUE(w->SetData(6, &value));
    EXPECT_EQ(w->GetData(6), &value);
    EXPECT_EQ(w->GetData(5), nullptr);

    w->FillBackground(kRed);
    w->ShowFrameRate(TRUE);
    AnimObject* rate = w->GetFrameRateObject();
    ASSERT_NE(rate, nullptr);
    w->ShowFrameRate(TRUE);
    EXPECT_EQ(w->GetFrameRateObject(), rate);
    EXPECT_EQ(rate->GetLayer(), 1);
    RECT r;
    rate->GetRect(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 294);
    EXPECT_GT(r.right, 20);
    EXPECT_GT(r.bottom - r.top, 5);

    w->SetStatusText(TEXT("Ready"));
    AnimObject* status = w->GetStatusObject();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->GetLayer(), 2);
    RECT s;
    status->GetRect(&s);
    EXPECT_EQ(s.right, 240);
    EXPECT_EQ(std::basic_string<TCHAR>(static_cast<const TCHAR*>(status->GetData(0))),
              std::basic_string<TCHAR>(TEXT("Ready")));
    w->SetStatusText(TEXT("Again"));
    EXPECT_EQ(w->GetStatusObject(), status);
    EXPECT_EQ(std::basic_string<TCHAR>(static_cast<const TCHAR*>(status->GetData(0))),
              std::basic_string<TCHAR>(TEXT("Again")));
    w->Paint();
    // Both lines have a white ground; the frame-rate box lies in front of the status line.
    auto white = [](COLORREF c) {
        return GetRValue(c) >= 248 && GetGValue(c) >= 248 && GetBValue(c) >= 248;
    };
    EXPECT_TRUE(white(WindowPixel(w->GetHandle(), 1, 293)));
    EXPECT_TRUE(white(WindowPixel(w->GetHandle(), 239, s.top)));
    EXPECT_TRUE(Near(WindowPixel(w->GetHandle(), 239, s.top - 1), kRed));

    w->SetStatusText(TEXT(""));
    EXPECT_EQ(w->GetStatusObject(), nullptr);
    w->ShowFrameRate(FALSE);
    EXPECT_EQ(w->GetFrameRateObject(), nullptr);
    EXPECT_EQ(w->NextObject(nullptr), nullptr);
}

} // namespace

namespace {
AnimWindow* g_paused = nullptr;
DWORD g_frameAtResume = ~0u;
LRESULT ResumeHook(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_USER + 5 && g_paused) {
        g_frameAtResume = g_paused->GetCurrentFrame();
        platform::clock::AdvanceBy(1000); // a long time away
        g_paused->SetPaused(FALSE);
    }
    return 0;
}
} // namespace

TEST_F(Window, APausedLoopAdvancesNothingUntilResumed) {
    AnimWindow* w = MakeAnim();
    ASSERT_NE(w, nullptr);
    w->SetCallback(Recorder);
    w->AddEvent(1, 1, 10);
    g_paused = w;
    w->AddHook(ResumeHook, kHookAll);
    w->SetPaused(TRUE);
    PostMessage(w->GetHandle(), WM_USER + 5, 0, 0);
    EXPECT_TRUE(w->RunFrames(3));
    EXPECT_EQ(g_frameAtResume, 0u) << "no frame ran while paused";
    EXPECT_EQ(w->GetCurrentFrame(), 3u);
    ASSERT_EQ(g_log.events.size(), 1u);
    EXPECT_EQ(g_log.paints, 3) << "resuming does not catch up on the paused time";
    w->RemoveHook(ResumeHook);
    g_paused = nullptr;
}
