// A machine directory of its own for one test, removed afterwards, and a way to run code in
// a second real process.
#pragma once

#include "platform/base.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class TempMachine {
public:
    TempMachine() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tessark-XXXXXX";
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        platform::SetMachineDir(dir_);
    }
    ~TempMachine() {
        platform::SetMachineDir("");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::string& dir() const { return dir_; }
    std::string Path(const std::string& relative) const { return dir_ + "/" + relative; }

private:
    std::string dir_;
};

// Runs `body` in a forked child; its result becomes the child's exit status.
inline pid_t StartChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// The child's exit status, or -1 when it did not exit normally.
inline int WaitChild(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
