// Running a built program from a test: a shell command line, its exit status and what it wrote
// on standard output and standard error.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct ToolRun {
    int status = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Single quotes for the shell.
inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// `command` is given to the shell as it is; its standard error goes to a file of its own.
inline ToolRun RunCommand(const std::string& command) {
    std::string errFile = std::filesystem::temp_directory_path().string() + "/tessark-run-XXXXXX";
    const int fd = mkstemp(errFile.data());
    if (fd >= 0) close(fd);
    ToolRun run;
    FILE* pipe = popen((command + " 2>" + ShellQuote(errFile)).c_str(), "r");
    if (pipe) {
        char buffer[4096];
        while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            run.out.append(buffer, got);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (FILE* err = std::fopen(errFile.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t got = std::fread(buffer, 1, sizeof buffer, err))
            run.err.append(buffer, got);
        std::fclose(err);
    }
    std::remove(errFile.c_str());
    return run;
}
