// A device of its own for each test: made by the built cedevice in a temporary folder, its
// process started as a child of the test and killed in teardown whatever the outcome. The
// desktop machine is a temporary folder too.
#pragma once

#include "platform/base.h"
#include "platform/device/device.h"
#include "setup/rapi.h"
#include "tests/tools/tool_run.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

inline std::vector<std::string>& TraceLines() {
    static std::vector<std::string> lines;
    return lines;
}

inline void CollectTrace(const char* line) {
    TraceLines().emplace_back(line);
}

inline std::string BinDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return exe.substr(0, exe.find_last_of('/'));
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tsk-dev-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        dir_ = root_ + "/device";
        setenv("TESSARK_DEVICE", dir_.c_str(), 1);
        // The desktop machine of this process and of the tools it runs.
        setenv("TESSARK_MACHINE", (root_ + "/desktop").c_str(), 1);
        platform::SetMachineDir(root_ + "/desktop");
        TraceLines().clear();
        SetRapiTrace(CollectTrace);
    }

    void TearDown() override {
        Disconnect(rapi_);
        rapi_ = nullptr;
        Kill();
        SetRapiTrace(nullptr);
        platform::SetMachineDir("");
        unsetenv("TESSARK_DEVICE");
        unsetenv("TESSARK_MACHINE");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    ToolRun Cedevice(const std::string& arguments) {
        return RunCommand(ShellQuote(BinDir() + "/cedevice") + " --device " + ShellQuote(dir_) +
                          " " + arguments);
    }

    void Create(const std::string& options = "") {
        ToolRun made = Cedevice("create " + options);
        ASSERT_EQ(made.status, 0) << made.err;
    }

    // The device process, as a child of the test so that teardown can always end it.
    void Start() {
        pid_ = fork();
        if (pid_ == 0) {
            std::string exe = BinDir() + "/cedevice";
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 1);
            execl(exe.c_str(), "cedevice", "--device", dir_.c_str(), "serve",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid_, 0);
        for (int i = 0; i < 400 && !device::IsRunning(dir_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(device::IsRunning(dir_)) << "the device process did not come up";
    }

public:
    // A lost connection: the device process is killed, as a device pulled out.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
    }

protected:
    void CreateAndConnect(const std::string& options = "") {
        Create(options);
        if (HasFatalFailure()) return;
        Start();
        if (HasFatalFailure()) return;
        rapi_ = Connect(5000);
        ASSERT_NE(rapi_, nullptr);
    }

    // Where a device path lies in the device's tree, for looking at the device from outside.
    std::string Tree(const std::string& relative) const { return dir_ + "/drive_c/" + relative; }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    static void Spit(const std::string& path, const std::string& data) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << data;
    }

    // Files in the root of the device whose name marks a compressed transfer.
    std::vector<std::string> TemporaryFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/drive_c")) {
            std::string name = entry.path().filename().string();
            if (name.rfind("This File Is Safe To Delete (#", 0) == 0) names.push_back(name);
        }
        return names;
    }

    // Puts one of the misbehaving "zzrapi.dll" stand-ins in the maker folder.
    void PlaceFakeZZ(const std::string& mode) {
        std::filesystem::path maker = Tree("Program Files/Orvane Software");
        std::filesystem::create_directories(maker);
        std::filesystem::copy_file(std::string(TESSARK_TEST_DEVICE_LIBS) + "/" + mode + ".dll",
                                   maker / "zzrapi.dll",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    TransferTarget Target() {
        TransferTarget target;
        target.rapi = rapi_;
        target.makerFolder = "\\Program Files\\Orvane Software";
        target.trace = CollectTrace;
        return target;
    }

    std::string root_;
    std::string dir_;
    pid_t pid_ = 0;
    RAPI* rapi_ = nullptr;
};

// Bytes that compress well but not trivially.
inline std::string Patterned(std::size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    unsigned state = seed;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = static_cast<char>("tessark board "[(state >> 16) % 14]);
    }
    return data;
}
