// Thread message queues: order, cross-thread posts and sends, blocking reads, quit, timers,
// simulated time, the message position, capture and key translation.
#include "platform/clock.h"
#include "platform/core/driver.h"
#include "platform/user.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

std::vector<MSG> g_seen;

LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_USER || msg == WM_TIMER || (msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK) ||
        msg == WM_CHAR || msg == WM_KEYDOWN || msg == WM_CAPTURECHANGED) {
        MSG m{hwnd, msg, wParam, lParam, 0, {}};
        DWORD pos = GetMessagePos();
        m.pt = POINT{static_cast<SHORT>(LOWORD(pos)), static_cast<SHORT>(HIWORD(pos))};
        g_seen.push_back(m);
    }
    if (msg == WM_USER + 10) return static_cast<LRESULT>(wParam * 2);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class Queue : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = u"QueueTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
        hwnd_ = CreateWindowExW(0, u"QueueTest", u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        Drain();
    }
    void TearDown() override {
        if (GetCapture() != nullptr) ReleaseCapture();
        DestroyWindow(hwnd_);
        Drain();
        UnregisterClassW(u"QueueTest", nullptr);
        platform::clock::SetSimulated(false);
    }
    static void Drain() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            // Removing WM_PAINT does not validate; it would come back for ever.
            if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
        }
    }
    HWND hwnd_ = nullptr;
};

TEST_F(Queue, PostedMessagesComeInOrderAndFiltersPickAmongThem) {
    for (WPARAM i = 0; i < 5; ++i)
        ASSERT_TRUE(PostMessageW(hwnd_, WM_USER + 1, i, 0));
    ASSERT_TRUE(PostMessageW(hwnd_, WM_USER + 2, 99, 0));
    ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 3, 7, 0)); // a thread message

    MSG m{};
    // Looking does not take.
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 0u);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 0u);
    // A range filter reaches past earlier messages.
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(m.wParam, 99u);
    // The thread-only filter sees only the message without a window.
    ASSERT_TRUE(PeekMessageW(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_EQ(m.hwnd, nullptr);
    for (WPARAM i = 0; i < 5; ++i) {
        ASSERT_EQ(GetMessageW(&m, hwnd_, 0, 0), TRUE);
        EXPECT_EQ(m.wParam, i);
        EXPECT_EQ(m.hwnd, hwnd_);
    }
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x12345), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetMessageW(&m, reinterpret_cast<HWND>(0x12345), 0, 0), -1);
}

TEST_F(Queue, QuitComesAfterEverythingPosted) {
    PostQuitMessage(3);
    PostMessageW(hwnd_, WM_USER + 1, 1, 0);
    MSG m{};
    EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    // Whatever the filter asks for, the quit request is delivered.
    EXPECT_EQ(GetMessageW(&m, nullptr, WM_USER + 50, WM_USER + 50), FALSE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, PostsFromOtherThreadsLandInTheWindowThreadsQueueInOrder) {
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i) {
                PostMessageW(hwnd_, WM_USER + 1, static_cast<WPARAM>(t), i);
            }
        });
    }
    std::vector<int> last(kThreads, -1);
    MSG m{};
    for (int n = 0; n < kThreads * kEach; ++n) {
        ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
        ASSERT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
        EXPECT_EQ(m.lParam, last[m.wParam] + 1); // each sender's order is kept
        last[m.wParam] = static_cast<int>(m.lParam);
    }
    for (auto& w : workers)
        w.join();
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, GetMessageBlocksUntilAPostArrives) {
    std::atomic<bool> posted{false};
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        posted = true;
        PostMessageW(hwnd_, WM_USER + 4, 0, 0);
    });
    MSG m{};
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_TRUE(posted.load());
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 4));
    late.join();
}

TEST_F(Queue, SendsAcrossThreadsRunOnTheWindowsThreadAndReturnTheResult) {
    std::atomic<LRESULT> result{0};
    std::thread sender([&] { result = SendMessageW(hwnd_, WM_USER + 10, 21, 0); });
    // The send is answered while this thread waits for messages.
    while (result.load() == 0) {
        MSG m{};
        PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);
        std::this_thread::yield();
    }
    sender.join();
    EXPECT_EQ(result.load(), 42);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_USER + 10));
}

// A window on a worker thread that sends back to the main window while it handles a send.
HWND g_mainWindow = nullptr;
LRESULT EchoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 20) return SendMessageW(g_mainWindow, WM_USER + 10, wParam, 0) + 1;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(Queue, ThreadsSendingToEachOtherDoNotDeadlock) {
    g_mainWindow = hwnd_;
    WNDCLASSW wc{};
    wc.lpfnWndProc = EchoProc;
    wc.lpszClassName = u"EchoTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    std::atomic<HWND> echo{nullptr};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        HWND w = CreateWindowExW(0, u"EchoTest", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 nullptr, nullptr);
        echo = w;
        MSG m;
        while (!stop) {
            if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) std::this_thread::yield();
        }
        // A window can only be destroyed by its own thread.
        DestroyWindow(w);
    });
    while (echo.load() == nullptr)
        std::this_thread::yield();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(echo.load()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    MSG m{echo.load(), WM_USER + 20, 0, 0, 0, {}};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DispatchMessageW(&m), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINDOW_OF_OTHER_THREAD));
    EXPECT_EQ(SendMessageW(echo.load(), WM_USER + 20, 5, 0), 11);
    stop = true;
    worker.join();
    EXPECT_FALSE(IsWindow(echo.load()));
    UnregisterClassW(u"EchoTest", nullptr);
}

TEST_F(Queue, WindowsGoWithTheirThread) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"Orphan";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND orphan = nullptr;
    std::thread([&] {
        orphan = CreateWindowExW(0, u"Orphan", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
    }).join();
    ASSERT_NE(orphan, nullptr);
    // The thread took its window with it.
    EXPECT_FALSE(IsWindow(orphan));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageW(orphan, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostMessageW(orphan, WM_USER, 0, 0));

    // A sender waiting on a thread that ends without reading its queue is let go.
    std::atomic<HWND> late{nullptr};
    std::thread quitter([&] {
        late = CreateWindowExW(0, u"Orphan", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                               nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
    });
    while (late.load() == nullptr)
        std::this_thread::yield();
    EXPECT_EQ(SendMessageW(late.load(), WM_USER, 0, 0), 0);
    quitter.join();
    EXPECT_FALSE(IsWindow(late.load()));
    EXPECT_TRUE(UnregisterClassW(u"Orphan", nullptr));
}

TEST_F(Queue, TimersWakeTheReaderAndStopWhenKilled) {
    ASSERT_EQ(SetTimer(hwnd_, 1099, 20, nullptr), 1099u);
    auto start = std::chrono::steady_clock::now();
    MSG m{};
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.wParam, 1099u);
    DispatchMessageW(&m);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_TIMER));
    EXPECT_TRUE(KillTimer(hwnd_, 1099));
    EXPECT_FALSE(KillTimer(hwnd_, 1099));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));

    // A timer procedure is called by dispatch instead of the window procedure.
    static int calls;
    calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++calls; });
    ASSERT_NE(id, 0u);
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.wParam, id);
    DispatchMessageW(&m);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(Queue, SimulatedTimeJumpsToTheNextTimerReproducibly) {
    platform::clock::SetSimulated(true);
    auto run = [this] {
        platform::clock::SetSimulated(true);
        SetTimer(hwnd_, 1, 30, nullptr);
        SetTimer(hwnd_, 2, 50, nullptr);
        std::vector<std::pair<UINT_PTR, DWORD>> ticks;
        MSG m{};
        while (ticks.size() < 6) {
            if (GetMessageW(&m, nullptr, 0, 0) != TRUE || m.message != WM_TIMER) break;
            ticks.emplace_back(m.wParam, GetTickCount());
        }
        KillTimer(hwnd_, 1);
        KillTimer(hwnd_, 2);
        return ticks;
    };
    auto first = run();
    EXPECT_EQ(first, (std::vector<std::pair<UINT_PTR, DWORD>>{
                         {1, 30}, {2, 50}, {1, 60}, {1, 90}, {2, 100}, {1, 120}}));
    EXPECT_EQ(run(), first);

    // Without a timer the clock stands still while the thread waits for a post.
    platform::clock::SetSimulated(true);
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessageW(hwnd_, WM_USER, 0, 0);
    });
    MSG m{};
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(GetTickCount(), 0u);
    poster.join();
}

TEST_F(Queue, HeldSimulatedTimeLetsNoTimerFallDueUntilTheWorkerHasPosted) {
    platform::clock::SetSimulated(true);
    SetTimer(hwnd_, 1, 30, nullptr);
    platform::clock::Hold();
    EXPECT_TRUE(platform::clock::Held());
    // A worker that moves the clock itself, posts, and only then lets go.
    std::thread worker([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform::clock::AdvanceBy(100);
        PostMessageW(hwnd_, WM_USER + 7, 0, 0);
        platform::clock::Release();
    });
    MSG m{};
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 7)) << "the timer due meanwhile waited";
    EXPECT_EQ(GetTickCount(), 100u);
    worker.join();
    EXPECT_FALSE(platform::clock::Held());
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    // Releases beyond the holds change nothing.
    platform::clock::Release();
    EXPECT_FALSE(platform::clock::Held());
    platform::clock::Hold();
    EXPECT_TRUE(platform::clock::Held());
    platform::clock::Release();
    KillTimer(hwnd_, 1);
}

TEST_F(Queue, EachMessageCarriesThePointerPositionItWasPostedWith) {
    namespace drv = platform::driver;
    POINT origin{0, 0};
    ClientToScreen(hwnd_, &origin);
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONDOWN, POINT{origin.x + 5, origin.y + 6}, MK_LBUTTON),
              hwnd_);
    drv::InjectMouse(WM_MOUSEMOVE, POINT{origin.x + 7, origin.y + 8}, MK_LBUTTON);
    drv::InjectMouse(WM_LBUTTONUP, POINT{origin.x + 9, origin.y + 10}, 0);
    MSG m{};
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    ASSERT_EQ(g_seen.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(g_seen[i].pt.x, origin.x + 5 + 2 * i);
        EXPECT_EQ(g_seen[i].pt.y, origin.y + 6 + 2 * i);
        EXPECT_EQ(GET_X_LPARAM(g_seen[i].lParam), 5 + 2 * i); // client coordinates
    }
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, origin.x + 9);
}

TEST_F(Queue, CaptureSendsThePointerToTheCapturingWindowWherever) {
    namespace drv = platform::driver;
    HWND child = CreateWindowExW(0, u"QueueTest", u"", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, hwnd_,
                                 reinterpret_cast<HMENU>(1005), nullptr, nullptr);
    POINT o{0, 0};
    ClientToScreen(hwnd_, &o);
    EXPECT_EQ(drv::InjectMouse(WM_MOUSEMOVE, POINT{o.x + 15, o.y + 15}, 0), child);
    EXPECT_EQ(drv::InjectMouse(WM_MOUSEMOVE, POINT{o.x + 50, o.y + 50}, 0), hwnd_);
    EXPECT_EQ(drv::InjectMouse(WM_MOUSEMOVE, POINT{5000, 5000}, 0), nullptr);
    EXPECT_EQ(SetCapture(child), nullptr);
    EXPECT_EQ(GetCapture(), child);
    EXPECT_EQ(drv::InjectMouse(WM_MOUSEMOVE, POINT{5000, 5000}, 0), child);
    EXPECT_EQ(drv::InjectMouse(WM_LBUTTONUP, POINT{o.x + 50, o.y + 50}, 0), child);
    // Handing the capture to another window tells the one that loses it.
    g_seen.clear();
    EXPECT_EQ(SetCapture(hwnd_), child);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.back().hwnd, child);
    EXPECT_EQ(g_seen.back().message, static_cast<UINT>(WM_CAPTURECHANGED));
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    // A destroyed window gives the capture up.
    SetCapture(child);
    DestroyWindow(child);
    EXPECT_EQ(GetCapture(), nullptr);
    Drain();
}

TEST_F(Queue, KeyDownTranslatesToTheNextMessageAsACharacter) {
    namespace drv = platform::driver;
    SetFocus(hwnd_);
    EXPECT_EQ(GetFocus(), hwnd_);
    drv::InjectKey(WM_KEYDOWN, 'E');
    drv::InjectKey(WM_KEYUP, 'E');
    drv::InjectKey(WM_KEYDOWN, VK_LEFT);
    std::vector<std::pair<UINT, WPARAM>> got;
    MSG m{};
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        got.emplace_back(m.message, m.wParam);
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{
                       {WM_KEYDOWN, 'E'}, {WM_CHAR, 'e'}, {WM_KEYUP, 'E'}, {WM_KEYDOWN, VK_LEFT}}));
    drv::InjectKey(WM_KEYDOWN, VK_SHIFT);
    drv::InjectKey(WM_KEYDOWN, 'E');
    int chars = 0;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        if (m.message == WM_CHAR) {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>('E'));
            ++chars;
        }
    }
    EXPECT_EQ(chars, 1);
    drv::InjectKey(WM_KEYUP, VK_SHIFT);
    Drain();
    SetFocus(nullptr);
}

} // namespace
