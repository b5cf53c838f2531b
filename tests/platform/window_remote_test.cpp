// Single instance across processes: a second process finds the first one's hidden window by
// class, reads its window word and posts to the window named there. Two real processes.
#include "platform/user.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kBringToFront = 1019;

// The first copy: a hidden window holding the main window's handle in word 0. Exits 0 once
// the main window receives WM_COMMAND 1019, 2 if nothing comes within ten seconds.
LRESULT FirstCopyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == kBringToFront) PostQuitMessage(0);
    if (msg == WM_TIMER) PostQuitMessage(2);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int RunFirstCopy(const std::string& readyFile) {
    WNDCLASSW wc{};
    GetClassInfoW(nullptr, u"Static", &wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbWndExtra = 4;
    wc.lpszClassName = u"Tessark IPC Test";
    if (RegisterClassW(&wc) == 0) return 3;
    WNDCLASSW mc{};
    mc.lpfnWndProc = FirstCopyProc;
    mc.lpszClassName = u"Remote Main";
    if (RegisterClassW(&mc) == 0) return 3;
    HWND ipc = CreateWindowExW(0, u"Tessark IPC Test", u"", WS_POPUP, -10, -10, 5, 5, nullptr,
                               nullptr, nullptr, nullptr);
    HWND main = CreateWindowExW(0, u"Remote Main", u"First", WS_POPUP, 0, 0, 240, 294, nullptr,
                                nullptr, nullptr, nullptr);
    if (ipc == nullptr || main == nullptr) return 3;
    SetWindowLongW(ipc, 0, static_cast<LONG>(reinterpret_cast<LONG_PTR>(main)));
    SetTimer(main, 1, 10000, nullptr);
    std::ofstream(readyFile) << "ready\n";
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0)
        DispatchMessageW(&m);
    return static_cast<int>(m.wParam);
}

// Started again with TESSARK_TEST_READY set, this program is the first copy and nothing else.
const bool g_firstCopy = [] {
    if (const char* ready = std::getenv("TESSARK_TEST_READY")) std::_Exit(RunFirstCopy(ready));
    return false;
}();

class WindowRemote : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("tessark-remote-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        machine_ = (dir_ / "machine").string();
        const char* old = std::getenv("TESSARK_MACHINE");
        hadMachine_ = old != nullptr;
        if (old != nullptr) oldMachine_ = old;
        setenv("TESSARK_MACHINE", machine_.c_str(), 1);
    }
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (hadMachine_) {
            setenv("TESSARK_MACHINE", oldMachine_.c_str(), 1);
        } else {
            unsetenv("TESSARK_MACHINE");
        }
        std::filesystem::remove_all(dir_);
    }
    // Starts this test program again as the first copy, on the same machine.
    bool StartFirstCopy() {
        std::string ready = (dir_ / "ready").string();
        std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            env.emplace_back(*e);
        env.push_back("TESSARK_TEST_READY=" + ready);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {exe.data(), nullptr};
        if (posix_spawn(&child_, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            return false;
        }
        for (int i = 0; i < 1000; ++i) {
            if (std::filesystem::exists(ready)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    int WaitFirstCopy() {
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    std::filesystem::path dir_;
    std::string machine_;
    std::string oldMachine_;
    bool hadMachine_ = false;
    pid_t child_ = -1;
};

TEST_F(WindowRemote, SecondCopyFindsTheFirstAndBringsItToTheFront) {
    ASSERT_TRUE(StartFirstCopy());
    HWND ipc = FindWindowW(u"tessark ipc test", nullptr);
    ASSERT_NE(ipc, nullptr);
    EXPECT_TRUE(IsWindow(ipc));
    WCHAR name[32];
    EXPECT_EQ(GetClassNameW(ipc, name, 32), 16);
    EXPECT_EQ(std::u16string(name), u"Tessark IPC Test");
    DWORD pid = 0;
    GetWindowThreadProcessId(ipc, &pid);
    EXPECT_EQ(static_cast<pid_t>(pid), child_);

    // The word read across the processes names the first copy's main window.
    auto main = reinterpret_cast<HWND>(static_cast<LONG_PTR>(GetWindowLongW(ipc, 0)));
    ASSERT_NE(main, nullptr);
    WCHAR title[16];
    GetWindowTextW(main, title, 16);
    EXPECT_EQ(std::u16string(title), u"First");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetWindowLongW(ipc, 0, 0), 0); // other processes' words are read-only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // Another machine does not see it.
    setenv("TESSARK_MACHINE", (dir_ / "other").c_str(), 1);
    EXPECT_EQ(FindWindowW(u"Tessark IPC Test", nullptr), nullptr);
    setenv("TESSARK_MACHINE", machine_.c_str(), 1);

    ASSERT_TRUE(PostMessageW(main, WM_COMMAND, kBringToFront, 0));
    EXPECT_EQ(WaitFirstCopy(), 0);
    // Once the first copy is gone, so are its windows.
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(PostMessageW(main, WM_COMMAND, kBringToFront, 0));
    EXPECT_EQ(FindWindowW(u"Tessark IPC Test", nullptr), nullptr);
}

} // namespace
