// Temporary machines, data homes and the built tools for the remove-programs tests.
#pragma once

#include "tests/tools/tool_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

inline std::string TestBinDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return exe.substr(0, exe.find_last_of('/'));
}

inline std::string Tool(const std::string& name) {
    return ShellQuote(TestBinDir() + "/" + name);
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The Exec line of a desktop entry as a shell command: the entry's value escapes and doubled
// "%" undone; its quoting rules are the shell's double quotes.
inline std::string ExecCommand(const std::string& entry) {
    std::istringstream in(ReadAll(entry));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Exec=", 0) != 0) continue;
        std::string command;
        for (std::size_t i = 5; i < line.size(); ++i) {
            if ((line[i] == '\\' || line[i] == '%') && i + 1 < line.size() &&
                line[i + 1] == line[i]) {
                ++i;
            }
            command += line[i];
        }
        return command;
    }
    return {};
}

// A folder of its own, removed afterwards.
class TempFolder {
public:
    explicit TempFolder(const char* tag) {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/tsk-" + tag + "-XXXXXX";
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};
