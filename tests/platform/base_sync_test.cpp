#include "platform/base.h"
#include "platform/clock.h"

#include "tests/platform/temp_machine.h"

#include <atomic>
#include <gtest/gtest.h>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace {

// Milliseconds that `body` took on the host clock.
template <class Body>
std::int64_t Timed(Body body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

TEST(BaseEvents, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "created non-signalled";
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(EventModify(event, EVENT_SET)) << "the device's single entry sets too";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(EventModify(event, EVENT_RESET));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(BaseEvents, AutoResetReleasesExactlyOneWait) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "created signalled";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the wait reset it";

    // Two waiters, one SetEvent: exactly one of them gets through.
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (WaitForSingleObject(event, 300) == WAIT_OBJECT_0) ++released;
    };
    std::thread first(waiter), second(waiter);
    Sleep(50);
    SetEvent(event);
    first.join();
    second.join();
    EXPECT_EQ(released.load(), 1);
    CloseHandle(event);
}

TEST(BaseEvents, PulseReleasesWaitersAndLeavesTheEventReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> started{0};
    std::atomic<int> released{0};
    auto waiter = [&] {
        ++started;
        if (WaitForSingleObject(event, 5000) == WAIT_OBJECT_0) ++released;
    };
    std::thread first(waiter), second(waiter);
    while (started.load() < 2)
        Sleep(1);
    Sleep(100); // from "started" to blocking in the wait is a few instructions
    EXPECT_TRUE(EventModify(event, EVENT_PULSE));
    first.join();
    second.join();
    EXPECT_EQ(released.load(), 2) << "a manual-reset pulse frees every waiter";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "and leaves the event reset";
    CloseHandle(event);
}

TEST(BaseEvents, BadHandlesAndNamesFail) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EventModify(event, 99));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(event)) << "a closed handle is gone";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "named"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST(BaseWaits, TimeOutAfterRoughlyTheTimeGiven) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD result = 0;
    std::int64_t took = Timed([&] { result = WaitForSingleObject(event, 120); });
    EXPECT_EQ(result, WAIT_TIMEOUT);
    EXPECT_GE(took, 110) << "the wait must block for its time-out";
    EXPECT_LT(took, 2000);

    // An INFINITE wait ends when another thread sets the event.
    std::thread setter([&] {
        Sleep(80);
        SetEvent(event);
    });
    took = Timed([&] { result = WaitForSingleObject(event, INFINITE); });
    setter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_GE(took, 60);
    CloseHandle(event);
}

TEST(BaseThreads, ThreadRunsWithItsParameterAndItsHandleSignalsTheEnd) {
    struct Work {
        HANDLE go;
        std::atomic<int> value{0};
    } work;
    work.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* w = static_cast<Work*>(parameter);
            WaitForSingleObject(w->go, INFINITE);
            w->value = 7;
            return 3;
        },
        &work, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT) << "still waiting for go";
    SetEvent(work.go);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(work.value.load(), 7);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    EXPECT_TRUE(CloseHandle(thread));
    CloseHandle(work.go);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    HANDLE notAThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(SetThreadPriority(notAThread, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(notAThread);
}

TEST(BaseCriticalSections, AreRecursiveAndExcludeOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section); // the owner may enter again without blocking
    std::atomic<bool> otherEntered{false};
    std::thread other([&] {
        EnterCriticalSection(&section);
        otherEntered = true;
        LeaveCriticalSection(&section);
    });
    Sleep(50);
    LeaveCriticalSection(&section);
    Sleep(50);
    EXPECT_FALSE(otherEntered.load()) << "one Leave of two must not free the section";
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(otherEntered.load());

    // Counting under the section from several threads loses nothing.
    long counter = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&section);
}

TEST(BaseMutexes, OwnershipIsRecursiveAndBelongsToOneThread) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the owner acquires again";
    DWORD otherResult = 0;
    BOOL otherRelease = TRUE;
    DWORD otherError = 0;
    std::thread other([&] {
        otherResult = WaitForSingleObject(mutex, 50);
        SetLastError(0xdeadbeef);
        otherRelease = ReleaseMutex(mutex);
        otherError = GetLastError();
    });
    other.join();
    EXPECT_EQ(otherResult, WAIT_TIMEOUT);
    EXPECT_FALSE(otherRelease) << "only the owner may release";
    EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "released as often as acquired, no more";
    std::thread taker([&] { otherResult = WaitForSingleObject(mutex, 1000); });
    taker.join();
    EXPECT_EQ(otherResult, WAIT_OBJECT_0);
    CloseHandle(mutex);
}

TEST(BaseMutexes, NamedMutexIsOneObjectWithinAProcess) {
    TempMachine machine;
    SetLastError(0xdeadbeef);
    HANDLE first = CreateMutexW(nullptr, TRUE, u"Tessark Mutex");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    SetLastError(0xdeadbeef);
    HANDLE second = CreateMutexA(nullptr, TRUE, "Tessark Mutex");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first, second);
    DWORD seen = 0;
    std::thread other([&] { seen = WaitForSingleObject(second, 30); });
    other.join();
    EXPECT_EQ(seen, WAIT_TIMEOUT) << "the first creator owns it through every handle";
    EXPECT_TRUE(ReleaseMutex(second)) << "ownership is the object's, not the handle's";
    CloseHandle(first);
    CloseHandle(second);

    SetLastError(0xdeadbeef);
    HANDLE again = CreateMutexA(nullptr, FALSE, "Tessark Mutex");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
        << "with every handle closed the name is free again";
    CloseHandle(again);
}

TEST(BaseMutexes, NamedMutexWorksAcrossProcesses) {
    TempMachine machine;
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Tessark Mutex");
    ASSERT_NE(mutex, nullptr);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    char byte = 0;
    pid_t child = StartChild([&] {
        SetLastError(0xdeadbeef);
        HANDLE mine = CreateMutexA(nullptr, TRUE, "Tessark Mutex");
        if (mine == nullptr) return 10;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return 11;
        if (WaitForSingleObject(mine, 50) != WAIT_TIMEOUT) return 12;
        if (write(toParent[1], "1", 1) != 1 || read(toChild[0], &byte, 1) != 1) return 13;
        if (WaitForSingleObject(mine, 5000) != WAIT_OBJECT_0) return 14;
        if (write(toParent[1], "2", 1) != 1 || read(toChild[0], &byte, 1) != 1) return 15;
        return ReleaseMutex(mine) ? 0 : 16;
    });
    ASSERT_GT(child, 0);
    ASSERT_EQ(read(toParent[0], &byte, 1), 1) << "the child saw the mutex held";
    EXPECT_TRUE(ReleaseMutex(mutex));
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    ASSERT_EQ(read(toParent[0], &byte, 1), 1) << "the child took the mutex";
    EXPECT_EQ(WaitForSingleObject(mutex, 50), WAIT_TIMEOUT) << "another process owns it";
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    EXPECT_EQ(WaitChild(child), 0);
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

TEST(BaseMutexes, AKilledOwnerDoesNotBlockTheOthers) {
    TempMachine machine;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = StartChild([&] {
        HANDLE mine = CreateMutexA(nullptr, TRUE, "Held Forever");
        if (mine == nullptr || write(ready[1], "1", 1) != 1) return 1;
        for (;;)
            pause();
    });
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    SetLastError(0xdeadbeef);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Held Forever");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
    kill(child, SIGKILL);
    EXPECT_EQ(WaitChild(child), -1);
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    close(ready[0]);
    close(ready[1]);
}
