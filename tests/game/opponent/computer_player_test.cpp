#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "game/opponent/opponent.h"
#include "platform/user.h"

namespace {

struct Posted {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the player posted and what its threads did, in order, from any thread.
struct Record {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Posted> posts;
    std::vector<std::string> events;

    void Event(const std::string& e) {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back(e);
    }
    std::vector<Posted> Posts() {
        std::lock_guard<std::mutex> hold(lock);
        return posts;
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> hold(lock);
        return events;
    }
    bool WaitForPosts(std::size_t count) {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(30),
                                [&] { return posts.size() >= count; });
    }
};

Record* record = nullptr;
HANDLE gate = nullptr; // search threads started through GatedStart wait for it

BOOL RecordPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> hold(record->lock);
        record->posts.push_back({window, message, wParam, lParam});
    }
    record->changed.notify_all();
    return TRUE;
}

struct Trampoline {
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

DWORD GatedThread(LPVOID p) {
    const Trampoline t = *static_cast<Trampoline*>(p);
    delete static_cast<Trampoline*>(p);
    WaitForSingleObject(gate, INFINITE);
    record->Event("search begins");
    const DWORD result = t.routine(t.parameter);
    record->Event("search ends");
    return result;
}

HANDLE GatedStart(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    auto* t = new Trampoline{routine, parameter};
    HANDLE thread = CreateThread(nullptr, 0, GatedThread, t, 0, nullptr);
    if (!thread) delete t;
    return thread;
}

HANDLE FailedStart(LPTHREAD_START_ROUTINE, LPVOID) {
    return nullptr;
}

class Strengths : public StrengthSettings {
public:
    int player1 = 2;
    int player2 = 2;
    int StrengthOf(std::uint32_t player) const override { return player == 1 ? player1 : player2; }
};

const HWND kWindow = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x4242));

LPARAM Answer(Square from, Square to) {
    return static_cast<LPARAM>(from | (to << 16));
}

// Player 1 to move after player 2's 31 -> 32.
GameState Opening() {
    GameState s;
    InitStartPosition(s);
    ApplyMove(s, 31, 32, kNoTime);
    return s;
}

void OpenGateLater(int milliseconds) {
    std::thread([milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        SetEvent(gate);
    }).detach();
}

class ComputerPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = &rec;
        gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(gate, nullptr);
        SetComputerPlayerHooks({nullptr, RecordPost});
        ASSERT_TRUE(InitComputerPlayer(kWindow, &strengths));
    }
    void TearDown() override {
        SetEvent(gate);
        ShutdownComputerPlayer();
        SetComputerPlayerHooks({nullptr, nullptr});
        CloseHandle(gate);
        record = nullptr;
    }

    Record rec;
    Strengths strengths;
};

TEST_F(ComputerPlayerTest, AnswerIsPostedOnceAtTheSettingsStrength) {
    StartComputerMove(Opening());
    ASSERT_TRUE(rec.WaitForPosts(1));
    std::vector<Posted> posts = rec.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].window, kWindow);
    EXPECT_EQ(posts[0].message, WM_COMPUTERMOVE);
    EXPECT_EQ(posts[0].wParam, 0u);
    EXPECT_EQ(posts[0].lParam, Answer(97, 85));
    EXPECT_TRUE(TakeComputerAnswer(Answer(97, 85)));
    EXPECT_FALSE(TakeComputerAnswer(Answer(97, 85))) << "an answer is taken once";

    // A stored strength past High searches as High.
    strengths.player1 = 9;
    StartComputerMove(Opening());
    ASSERT_TRUE(rec.WaitForPosts(2));
    EXPECT_EQ(rec.Posts()[1].lParam, Answer(97, 75));
    EXPECT_FALSE(TakeComputerAnswer(Answer(97, 85))) << "not the latest answer";
}

TEST_F(ComputerPlayerTest, CancelPostsNothing) {
    SetComputerPlayerHooks({GatedStart, RecordPost});
    StartComputerMove(Opening());
    CancelComputerMove();
    SetEvent(gate);
    WaitForComputer();
    EXPECT_TRUE(rec.Posts().empty());
    EXPECT_EQ(rec.Events(), (std::vector<std::string>{"search begins", "search ends"}));

    // Stopping through WaitForComputer while the search waits to run.
    ResetEvent(gate);
    StartComputerMove(Opening());
    OpenGateLater(50);
    WaitForComputer();
    EXPECT_TRUE(rec.Posts().empty());
    EXPECT_EQ(rec.Events().size(), 4u);
}

TEST_F(ComputerPlayerTest, AnswerPostedBeforeACancelIsStale) {
    StartComputerMove(Opening());
    ASSERT_TRUE(rec.WaitForPosts(1));
    CancelComputerMove(); // a new game or an undo, before the message is handled
    EXPECT_FALSE(TakeComputerAnswer(rec.Posts()[0].lParam));

    // The answer of a finished search is stale once a newer search has started, too.
    StartComputerMove(Opening());
    ASSERT_TRUE(rec.WaitForPosts(2));
    SetComputerPlayerHooks({GatedStart, RecordPost});
    GameState later = Opening();
    ApplyMove(later, 97, 85, kNoTime);
    StartComputerMove(later);
    EXPECT_FALSE(TakeComputerAnswer(rec.Posts()[1].lParam));
    SetEvent(gate);
    ASSERT_TRUE(rec.WaitForPosts(3));
    EXPECT_TRUE(TakeComputerAnswer(rec.Posts()[2].lParam));
}

TEST_F(ComputerPlayerTest, NewSearchWaitsForTheOldThread) {
    SetComputerPlayerHooks({GatedStart, RecordPost});
    StartComputerMove(Opening());
    OpenGateLater(100);
    strengths.player1 = 3;
    StartComputerMove(Opening()); // returns only once the first search has ended
    const std::vector<std::string> atStart = rec.Events();
    ASSERT_GE(atStart.size(), 2u);
    EXPECT_EQ(atStart[1], "search ends");
    ASSERT_TRUE(rec.WaitForPosts(1));
    WaitForComputer();
    // Alternating: the two searches never overlapped.
    EXPECT_EQ(rec.Events(), (std::vector<std::string>{"search begins", "search ends",
                                                      "search begins", "search ends"}));
    const std::vector<Posted> posts = rec.Posts();
    ASSERT_EQ(posts.size(), 1u) << "the stopped search posts nothing";
    EXPECT_EQ(posts[0].lParam, Answer(97, 75));
}

TEST_F(ComputerPlayerTest, FailedThreadStartAnswersNoMoveAndRecovers) {
    SetComputerPlayerHooks({FailedStart, RecordPost});
    StartComputerMove(Opening());
    std::vector<Posted> posts = rec.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].lParam, 0);
    EXPECT_TRUE(TakeComputerAnswer(0));
    WaitForComputer(); // must not wait for a search that never ran

    SetComputerPlayerHooks({nullptr, RecordPost});
    StartComputerMove(Opening());
    ASSERT_TRUE(rec.WaitForPosts(2));
    EXPECT_EQ(rec.Posts()[1].lParam, Answer(97, 85));
}

TEST_F(ComputerPlayerTest, NoMoveIsAnsweredWithZero) {
    GameState stuck{};
    stuck.sides[1].rows[10] = 0x7;
    stuck.sides[0].rows[10] = 0x8;
    stuck.sides[0].rows[5] = 0x60;
    stuck.turn = 2;
    Recount(stuck);
    StartComputerMove(stuck);
    ASSERT_TRUE(rec.WaitForPosts(1));
    EXPECT_EQ(rec.Posts()[0].lParam, 0);
}

TEST_F(ComputerPlayerTest, ShutdownStopsARunningSearch) {
    SetComputerPlayerHooks({GatedStart, RecordPost});
    StartComputerMove(Opening());
    OpenGateLater(50);
    ShutdownComputerPlayer();
    EXPECT_TRUE(rec.Posts().empty());
    EXPECT_EQ(rec.Events().size(), 2u);
    // Calls after shutdown do nothing; the player can be set up again.
    StartComputerMove(Opening());
    CancelComputerMove();
    WaitForComputer();
    EXPECT_FALSE(TakeComputerAnswer(0));
    EXPECT_TRUE(rec.Posts().empty());
    ASSERT_TRUE(InitComputerPlayer(kWindow, &strengths));
    EXPECT_FALSE(InitComputerPlayer(kWindow, &strengths));
}

TEST_F(ComputerPlayerTest, SessionViewStartsCancelsAndTakes) {
    ComputerPlayer player;
    ComputerOpponent& opponent = player;
    opponent.StartSearch(Opening());
    ASSERT_TRUE(rec.WaitForPosts(1));
    opponent.RequestCancel();
    EXPECT_FALSE(opponent.TakeAnswer(rec.Posts()[0].lParam));
    opponent.StartSearch(Opening());
    ASSERT_TRUE(rec.WaitForPosts(2));
    EXPECT_TRUE(opponent.TakeAnswer(rec.Posts()[1].lParam));
}

} // namespace

namespace {

std::vector<LPARAM> answersSeen;

LRESULT AnswerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMPUTERMOVE) {
        answersSeen.push_back(lParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The player with its default hooks, answering a real window through the thread's queue.
class ComputerPlayerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        answersSeen.clear();
        record = &rec;
        gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = AnswerProc;
        wc.lpszClassName = u"OpponentAnswerTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
        window = CreateWindowExW(0, u"OpponentAnswerTest", u"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        SetComputerPlayerHooks({nullptr, nullptr});
        ASSERT_TRUE(InitComputerPlayer(window, &strengths));
    }
    void TearDown() override {
        SetEvent(gate);
        ShutdownComputerPlayer();
        SetComputerPlayerHooks({nullptr, nullptr});
        DestroyWindow(window);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            // Removing WM_PAINT does not validate; it would come back for ever.
            if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
        }
        UnregisterClassW(u"OpponentAnswerTest", nullptr);
        CloseHandle(gate);
        record = nullptr;
    }
    // Pumps the queue until an answer has been handled or the time is up.
    void PumpUntilAnswer() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        MSG m;
        while (answersSeen.empty() && std::chrono::steady_clock::now() < end) {
            if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    Record rec;
    Strengths strengths;
    HWND window = nullptr;
};

TEST_F(ComputerPlayerWindowTest, AnswerArrivesAsWindowMessage) {
    strengths.player1 = 3;
    StartComputerMove(Opening());
    PumpUntilAnswer();
    ASSERT_EQ(answersSeen.size(), 1u);
    EXPECT_EQ(answersSeen[0], Answer(97, 75));
    EXPECT_TRUE(TakeComputerAnswer(answersSeen[0]));
}

TEST_F(ComputerPlayerWindowTest, CancelledSearchLeavesTheQueueEmpty) {
    SetComputerPlayerHooks({GatedStart, nullptr});
    StartComputerMove(Opening());
    CancelComputerMove();
    SetEvent(gate);
    WaitForComputer();
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, window, WM_COMPUTERMOVE, WM_COMPUTERMOVE, PM_REMOVE));
    EXPECT_EQ(rec.Events().size(), 2u) << "the search ran and was stopped";
}

} // namespace
