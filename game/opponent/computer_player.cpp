#include "game/opponent/opponent.h"

#include "platform/clock.h"
#include "platform/user.h"

namespace {

HANDLE StartWithCreateThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
}

BOOL PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

const ComputerPlayerHooks kDefaultHooks = {StartWithCreateThread, PostToWindow};

// The one computer player of the program. The main thread owns everything but the search's
// own locals; the search thread reads position and strength, which the main thread writes only
// while no search thread exists, and meets the main thread under searchLock.
struct ComputerPlayerState {
    bool initialised = false;
    HWND window = nullptr;
    const StrengthSettings* settings = nullptr;
    ComputerPlayerHooks hooks = kDefaultHooks;

    std::atomic<bool> cancelRequested{false};
    bool searchRunning = false;
    HANDLE searchDone = nullptr;
    CRITICAL_SECTION searchLock;
    HANDLE thread = nullptr;
    std::uint32_t chosenFrom = 0;
    std::uint32_t chosenTo = 0;

    GameState position{};
    int strength = kMinStrength;

    // The answer posted and not yet taken, so that one made stale by a cancel or a newer
    // search is recognised when its message arrives.
    bool answerPending = false;
    LPARAM answer = 0;
};

ComputerPlayerState g;

LPARAM AnswerParam() {
    return static_cast<LPARAM>((g.chosenFrom & 0xFFFF) | (g.chosenTo << 16));
}

// Under searchLock: posts the answer unless cancelled, and ends the running state in any case.
void ReportMoveLocked() {
    if (!g.cancelRequested.load()) {
        g.answer = AnswerParam();
        g.answerPending = g.hooks.post(g.window, WM_COMPUTERMOVE, 0, g.answer) != FALSE;
    }
    g.searchRunning = false;
    SetEvent(g.searchDone);
}

void ReportMove() {
    EnterCriticalSection(&g.searchLock);
    ReportMoveLocked();
    LeaveCriticalSection(&g.searchLock);
    // The search's own hold on simulated time (see StartComputerMove) ends with its answer.
    platform::clock::Release();
}

DWORD SearchThread(LPVOID) {
    Square from, to;
    if (ChooseMove(g.position, g.strength, from, to, &g.cancelRequested)) {
        g.chosenFrom = static_cast<std::uint32_t>(from);
        g.chosenTo = static_cast<std::uint32_t>(to);
    }
    ReportMove();
    return 0;
}

// Main thread only: the finished search thread's handle is released once it has returned,
// so that nothing of it outlives searchLock.
void JoinSearchThread() {
    if (!g.thread) return;
    WaitForSingleObject(g.thread, INFINITE);
    CloseHandle(g.thread);
    g.thread = nullptr;
}

} // namespace

bool InitComputerPlayer(HWND window, const StrengthSettings* settings) {
    if (g.initialised) return false;
    g.searchDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g.searchDone) return false;
    InitializeCriticalSection(&g.searchLock);
    g.window = window;
    g.settings = settings;
    g.cancelRequested = false;
    g.searchRunning = false;
    g.answerPending = false;
    g.chosenFrom = g.chosenTo = 0;
    g.initialised = true;
    return true;
}

void StartComputerMove(const GameState& state) {
    if (!g.initialised) return;
    WaitForComputer();
    g.position = state;
    g.strength = g.settings ? g.settings->StrengthOf(state.turn) : kMinStrength;
    EnterCriticalSection(&g.searchLock);
    g.cancelRequested = false;
    g.searchRunning = true;
    g.answerPending = false;
    ResetEvent(g.searchDone);
    LeaveCriticalSection(&g.searchLock);
    g.chosenFrom = g.chosenTo = 0;
    // On the simulated clock thinking takes no time, however fast the machine: scripted games
    // see the answer at the same moment on every run.
    platform::clock::Hold();
    g.thread = g.hooks.startThread(SearchThread, nullptr);
    if (!g.thread) {
        // Nothing will report: answer "no move" here, so the flags and the event never stay
        // as a running search left them.
        ReportMove();
    }
}

void CancelComputerMove() {
    if (!g.initialised) return;
    // The lock orders this against a report in progress: either the report sees the flag and
    // posts nothing, or its answer is marked stale here before its message is handled.
    EnterCriticalSection(&g.searchLock);
    g.cancelRequested = true;
    g.answerPending = false;
    LeaveCriticalSection(&g.searchLock);
}

void WaitForComputer() {
    if (!g.initialised) return;
    EnterCriticalSection(&g.searchLock);
    if (g.searchRunning) {
        g.cancelRequested = true;
        LeaveCriticalSection(&g.searchLock);
        WaitForSingleObject(g.searchDone, INFINITE);
    } else {
        LeaveCriticalSection(&g.searchLock);
    }
    JoinSearchThread();
}

bool TakeComputerAnswer(LPARAM lParam) {
    if (!g.initialised) return false;
    EnterCriticalSection(&g.searchLock);
    const bool current = g.answerPending && g.answer == lParam;
    g.answerPending = false;
    LeaveCriticalSection(&g.searchLock);
    return current;
}

void ShutdownComputerPlayer() {
    if (!g.initialised) return;
    WaitForComputer();
    DeleteCriticalSection(&g.searchLock);
    CloseHandle(g.searchDone);
    g.searchDone = nullptr;
    g.window = nullptr;
    g.settings = nullptr;
    g.initialised = false;
}

void SetComputerPlayerHooks(const ComputerPlayerHooks& hooks) {
    g.hooks.startThread = hooks.startThread ? hooks.startThread : kDefaultHooks.startThread;
    g.hooks.post = hooks.post ? hooks.post : kDefaultHooks.post;
}

void ComputerPlayer::StartSearch(const GameState& state) {
    StartComputerMove(state);
}

void ComputerPlayer::RequestCancel() {
    CancelComputerMove();
}

bool ComputerPlayer::TakeAnswer(std::int64_t lParam) {
    return TakeComputerAnswer(static_cast<LPARAM>(lParam));
}
