// bench-device: how long sending a 2 MB file to the emulated device takes compressed (a zz block
// to the safe-to-delete file, expanded on the device by zzrapi.dll) against uncompressed, and how
// many bytes of file data cross the connection each way. Two kinds of data: a program (this
// benchmark's own executable, as the setup program sends the game) and random bytes.
#include "foundation/zz.h"
#include "platform/device/device.h"
#include "setup/rapi.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kSize = 2u << 20;

std::string ExecutableDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return exe.substr(0, exe.find_last_of('/'));
}

std::vector<BYTE> ProgramBytes() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    std::vector<BYTE> exe((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<BYTE> data;
    while (!exe.empty() && data.size() < kSize)
        data.insert(data.end(), exe.begin(), exe.end());
    data.resize(kSize);
    return data;
}

std::vector<BYTE> RandomBytes() {
    std::mt19937 random(7);
    std::vector<BYTE> data(kSize);
    for (BYTE& b : data)
        b = static_cast<BYTE>(random());
    return data;
}

// Median of the runs, in milliseconds.
double Median(std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

struct Result {
    double ms;
    unsigned long long wireBytes;
};

Result Measure(RAPI* rapi, const std::string& dir, const std::vector<BYTE>& data, bool compress) {
    std::vector<double> runs;
    unsigned long long wire = 0;
    for (int i = 0; i < 7; ++i) {
        TransferTarget target;
        target.rapi = rapi;
        target.makerFolder = "\\Program Files\\Orvane Software";
        if (!compress) target.zzVersion = 0;
        auto start = std::chrono::steady_clock::now();
        if (!rapiwritefile(target, "\\My Documents\\bench.bin", data.data(),
                           static_cast<DWORD>(data.size()), 0, 100)) {
            std::fprintf(stderr, "bench-device: the transfer failed\n");
            std::exit(1);
        }
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        runs.push_back(took.count());
        // The file data that crossed: the zz block in the temporary file, or the file itself.
        wire = 0;
        for (const auto& entry : fs::directory_iterator(dir + "/drive_c")) {
            if (entry.path().filename().string().rfind("This File Is Safe To Delete", 0) == 0) {
                wire = std::max<unsigned long long>(wire, entry.file_size());
                fs::remove(entry.path());
            }
        }
        if (!compress || wire == 0) wire = fs::file_size(dir + "/drive_c/My Documents/bench.bin");
    }
    return {Median(runs), wire};
}

} // namespace

int main() {
    std::string root = fs::temp_directory_path().string() + "/tsk-bench-XXXXXX";
    if (mkdtemp(root.data()) == nullptr) return 1;
    std::string dir = root + "/device";
    std::string error;
    fs::create_directories(dir);
    if (!device::CreateDevice(dir, device::Description{}, &error)) {
        std::fprintf(stderr, "bench-device: %s\n", error.c_str());
        return 1;
    }
    fs::create_directories(dir + "/drive_c/Program Files/Orvane Software");
    fs::copy_file(ExecutableDir() + "/device-libs/zzrapi.dll",
                  dir + "/drive_c/Program Files/Orvane Software/zzrapi.dll");
    pid_t device = fork();
    if (device == 0) {
        std::string exe = ExecutableDir() + "/cedevice";
        execl(exe.c_str(), "cedevice", "--device", dir.c_str(), "serve",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    setenv("TESSARK_DEVICE", dir.c_str(), 1);
    RAPI* rapi = Connect(5000);
    int status = 0;
    if (rapi != nullptr) {
        std::printf("sending %u bytes to the device (median of 7)\n", kSize);
        std::printf("%-8s %-12s %10s %14s\n", "data", "transfer", "time ms", "bytes on wire");
        for (const auto& [name, data] :
             {std::pair{"program", ProgramBytes()}, std::pair{"random", RandomBytes()}}) {
            Result packed = Measure(rapi, dir, data, true);
            Result plain = Measure(rapi, dir, data, false);
            std::printf("%-8s %-12s %10.1f %14llu\n", name, "compressed", packed.ms,
                        packed.wireBytes);
            std::printf("%-8s %-12s %10.1f %14llu\n", name, "uncompressed", plain.ms,
                        plain.wireBytes);
        }
        Disconnect(rapi);
    } else {
        std::fprintf(stderr, "bench-device: the device did not answer\n");
        status = 1;
    }
    kill(device, SIGKILL);
    waitpid(device, nullptr, 0);
    fs::remove_all(root);
    return status;
}
