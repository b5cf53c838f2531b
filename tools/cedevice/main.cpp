// cedevice: the emulated palm-size PC from the desktop.
//
//   cedevice [--device DIR] create [--arch N] [--name NAME] [--store BYTES] [--no-zzrapi]
//   cedevice [--device DIR] start | stop | status | serve
//   cedevice [--device DIR] ls DEVICEPATH | cat DEVICEPATH
//   cedevice [--device DIR] push LOCAL DEVICEPATH | pull DEVICEPATH LOCAL
//   cedevice [--device DIR] run DEVICEPATH [ARGUMENT...]
//   cedevice [--device DIR] reg dump [KEY] | get KEY VALUE | set KEY VALUE TYPE DATA | delete ...
//   cedevice [--device DIR] programs [list] | programs remove NAME
//
// The device is --device, else TESSARK_DEVICE, else ${XDG_DATA_HOME:-~/.local/share}/tessark/
// device. ls, cat, push and pull go through "rapi.dll" to the running device, as a desktop
// synchronisation tool would. Exit status: 0 done, 1 failed, 2 bad usage.
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "platform/device/device.h"
#include "platform/device/protocol.h"
#include "setup/rapi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// What the device offers the libraries that run in it besides the platform's calls: the zz
// codec. Kept so that the linker includes it and the executable exports it.
__attribute__((used)) static const void* const kDeviceServices[] = {
    reinterpret_cast<const void*>(&zzdecompress), reinterpret_cast<const void*>(&zzcompress),
    reinterpret_cast<const void*>(&zzfree)};

namespace {

namespace fs = std::filesystem;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Verb {
    const char* usage;
    const char* help;
};

const std::map<std::string, Verb>& Verbs() {
    static const std::map<std::string, Verb> verbs = {
        {"create",
         {"create [--arch N] [--name NAME] [--store BYTES] [--no-zzrapi]",
          "Makes a new device: its file tree, registry and description. --arch is the processor\n"
          "architecture code (5 arm, the default; 1 mips, 4 shx, 3 ppc), --name its name\n"
          "(\"Pocket PC\"), --store the size of its store in bytes (16 MB; writes through the\n"
          "connection fail once the store is full). \"zzrapi.dll\" is placed in\n"
          "\\Program Files\\Orvane Software as an earlier installation would have left it,\n"
          "unless --no-zzrapi is given."}},
        {"start",
         {"start", "Plugs the device in: starts its process in the background and waits until it\n"
                   "answers."}},
        {"stop", {"stop", "Unplugs the device: its process ends and open connections are lost."}},
        {"status",
         {"status", "Shows the device's description and whether it is plugged in (exit status 0\n"
                    "when running, 1 when not)."}},
        {"serve", {"serve", "Runs the device process in the foreground until it is stopped."}},
        {"ls",
         {"ls DEVICEPATH", "Lists a folder of the running device (\"\\Windows\"), or one file."}},
        {"cat", {"cat DEVICEPATH", "Writes a file of the running device to standard output."}},
        {"push",
         {"push LOCAL DEVICEPATH",
          "Sends a file to the running device as the setup program does: compressed through\n"
          "the device's \"zzrapi.dll\" when it is above 5120 bytes and the library is there."}},
        {"pull", {"pull DEVICEPATH LOCAL", "Copies a file of the running device to LOCAL."}},
        {"run",
         {"run DEVICEPATH [ARGUMENT...]",
          "Starts a program installed on the device with the device as its machine\n"
          "(TESSARK_MACHINE), so that it runs there: its files and registry are the device's."}},
        {"programs",
         {"programs [list] | programs remove NAME",
          "The device's remove-programs facility: lists the programs registered under HKLM\n"
          "\"Software\\Apps\" on the running device, or removes one by calling \"Uninstall\" of\n"
          "the library its \"IsvFile\" value names, on the device, with the program's name."}},
        {"reg",
         {"reg dump [KEY] | get KEY VALUE | set KEY VALUE TYPE DATA | delete KEY [VALUE]",
          "Reads and edits the device's registry, as tessark-reg does for a machine."}},
    };
    return verbs;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "cedevice: %s (cedevice --help lists the commands)\n", message.c_str());
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "cedevice: %s\n", message.c_str());
    return kFailed;
}

void PrintHelp() {
    std::printf("usage: cedevice [--device DIR] COMMAND ...\n\ncommands:\n");
    for (const auto& [name, verb] : Verbs())
        std::printf("  %s\n", verb.usage);
    std::printf("\nThe device is --device, else TESSARK_DEVICE, else "
                "${XDG_DATA_HOME:-~/.local/share}/tessark/device.\n"
                "cedevice COMMAND --help explains one command.\n");
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

std::string ExecutableDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(length));
    return exe.substr(0, exe.find_last_of('/'));
}

bool ParseUnsigned(const std::string& text, unsigned long long limit, unsigned long long* value) {
    if (text.empty() || text.size() > 12) return false;
    unsigned long long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<unsigned>(c - '0');
    }
    if (result > limit) return false;
    *value = result;
    return true;
}

int Create(const std::string& dir, const std::vector<std::string>& args) {
    device::Description description;
    bool withZZ = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        unsigned long long number = 0;
        auto operand = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (arg == "--no-zzrapi") {
            withZZ = false;
        } else if (arg == "--arch") {
            const std::string* value = operand();
            if (value == nullptr || !ParseUnsigned(*value, 0xFFFF, &number))
                return Usage("--arch needs a number from 0 to 65535");
            description.architecture = static_cast<unsigned>(number);
        } else if (arg == "--name") {
            const std::string* value = operand();
            if (value == nullptr) return Usage("--name needs a name");
            description.name = *value;
        } else if (arg == "--store") {
            const std::string* value = operand();
            if (value == nullptr || !ParseUnsigned(*value, 0xFFFFFFFFull, &number))
                return Usage("--store needs a number of bytes below 4 GB");
            description.storeSize = static_cast<std::uint32_t>(number);
        } else {
            return Usage("unknown option \"" + arg + "\" for create");
        }
    }
    std::error_code failed;
    fs::create_directories(dir, failed);
    std::string error;
    if (!device::CreateDevice(dir, description, &error)) return Fail(error);
    if (withZZ) {
        std::string library = ExecutableDir() + "/" + device::kDeviceLibraryFolder + "/zzrapi.dll";
        std::string maker = dir + "/drive_c/Program Files/Orvane Software";
        fs::create_directories(maker, failed);
        fs::copy_file(library, maker + "/zzrapi.dll", fs::copy_options::overwrite_existing, failed);
        if (failed)
            return Fail("cannot place zzrapi.dll from " + library + ": " + failed.message());
    }
    std::printf("created device \"%s\" (architecture %u) in %s\n", description.name.c_str(),
                description.architecture, dir.c_str());
    return 0;
}

int Start(const std::string& dir) {
    std::string error;
    if (!device::ReadDescription(dir, &error)) return Fail(error);
    if (device::IsRunning(dir)) return Fail("the device in " + dir + " is already running");
    pid_t child = fork();
    if (child < 0) return Fail("cannot start the device process");
    if (child == 0) {
        // The device lives on in a session of its own, its output in its log.
        setsid();
        std::string log = dir + "/device.log";
        if (!freopen("/dev/null", "r", stdin) || !freopen(log.c_str(), "a", stdout) ||
            !freopen(log.c_str(), "a", stderr)) {
            _exit(1);
        }
        std::string exe = "/proc/self/exe";
        execl(exe.c_str(), "cedevice", "--device", dir.c_str(), "serve",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (device::IsRunning(dir)) {
            std::printf("device started in %s\n", dir.c_str());
            return 0;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return Fail("the device process ended at once (see " + dir + "/device.log)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return Fail("the device did not answer (see " + dir + "/device.log)");
}

int Stop(const std::string& dir) {
    int fd = device::ConnectTo(device::SocketPath(dir));
    if (fd < 0) return Fail("the device in " + dir + " is not running");
    device::Writer request;
    request.U32(static_cast<std::uint32_t>(device::Op::ReqShutdown));
    std::vector<unsigned char> answer;
    bool told = device::SendFrame(fd, request.data()) && device::ReceiveFrame(fd, answer);
    close(fd);
    if (!told) return Fail("the device did not take the stop request");
    for (int i = 0; i < 200 && fs::exists(device::SocketPath(dir)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::printf("device stopped\n");
    return 0;
}

int Status(const std::string& dir) {
    std::string error;
    auto description = device::ReadDescription(dir, &error);
    if (!description) return Fail(error);
    bool running = device::IsRunning(dir);
    std::printf("device: %s\nname: %s\narchitecture: %u (%s)\nstore: %u bytes\nstate: %s\n",
                dir.c_str(), description->name.c_str(), description->architecture,
                ProcessorFolderName(description->architecture), description->storeSize,
                running ? "running" : "stopped");
    return running ? 0 : kFailed;
}

// A connection to the running device through "rapi.dll".
struct Connected {
    RAPI* rapi = nullptr;
    ~Connected() { Disconnect(rapi); }
};

bool ConnectTo(const std::string& dir, Connected* connected, std::string* error) {
    setenv("TESSARK_DEVICE", dir.c_str(), 1);
    connected->rapi = Connect(2000);
    if (connected->rapi == nullptr) {
        *error = "the device in " + dir + " does not answer (cedevice start plugs it in)";
        return false;
    }
    return true;
}

std::string DeviceError(const char* what, const std::string& path, DWORD error) {
    return std::string(what) + " " + path + ": device error " + std::to_string(error);
}

int List(const std::string& dir, const std::string& path) {
    Connected c;
    std::string error;
    if (!ConnectTo(dir, &c, &error)) return Fail(error);
    std::u16string wide = platform::Widen(path);
    DWORD attributes = CeGetFileAttributes(c.rapi, wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Fail(DeviceError("cannot list", path, CeGetLastError(c.rapi)));
    std::u16string pattern = wide;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (pattern.empty() || (pattern.back() != u'\\' && pattern.back() != u'/'))
            pattern += u'\\';
        pattern += u"*";
    }
    CE_FIND_DATA found;
    HANDLE search = CeFindFirstFile(c.rapi, pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD failure = CeGetLastError(c.rapi);
        if (failure == ERROR_FILE_NOT_FOUND) return 0; // an empty folder
        return Fail(DeviceError("cannot list", path, failure));
    }
    do {
        bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        std::string name = platform::Narrow(found.cFileName);
        if (folder) {
            std::printf("%12s  %s\\\n", "<dir>", name.c_str());
        } else {
            std::printf("%12llu  %s\n", size, name.c_str());
        }
    } while (CeFindNextFile(c.rapi, search, &found));
    CeFindClose(c.rapi, search);
    return 0;
}

// Reads a whole device file; false with *error on failure.
bool ReadDeviceFile(RAPI* rapi, const std::string& path, std::vector<BYTE>* data,
                    std::string* error) {
    std::u16string wide = platform::Widen(path);
    HANDLE file = CeCreateFile(rapi, wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = DeviceError("cannot open", path, CeGetLastError(rapi));
        return false;
    }
    BYTE buffer[kTransferChunk];
    for (;;) {
        DWORD got = 0;
        if (!CeReadFile(rapi, file, buffer, sizeof buffer, &got, nullptr)) {
            *error = DeviceError("cannot read", path, CeGetLastError(rapi));
            CeCloseHandle(rapi, file);
            return false;
        }
        if (got == 0) break;
        data->insert(data->end(), buffer, buffer + got);
    }
    CeCloseHandle(rapi, file);
    return true;
}

int Cat(const std::string& dir, const std::string& path) {
    Connected c;
    std::string error;
    if (!ConnectTo(dir, &c, &error)) return Fail(error);
    std::vector<BYTE> data;
    if (!ReadDeviceFile(c.rapi, path, &data, &error)) return Fail(error);
    std::fwrite(data.data(), 1, data.size(), stdout);
    return 0;
}

void TraceToStderr(const char* line) {
    std::fprintf(stderr, "cedevice: %s", line);
}

int Push(const std::string& dir, const std::string& local, const std::string& path) {
    std::ifstream in(local, std::ios::binary);
    if (!in) return Fail("cannot read " + local);
    std::vector<BYTE> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() > 0xFFFFFFFFull) return Fail(local + " is too large for the device");
    Connected c;
    std::string error;
    if (!ConnectTo(dir, &c, &error)) return Fail(error);
    TransferTarget target;
    target.rapi = c.rapi;
    target.makerFolder = "\\Program Files\\Orvane Software";
    target.trace = TraceToStderr;
    if (!rapiwritefile(target, path, data.data(), static_cast<DWORD>(data.size()), 0, 100)) {
        return Fail("cannot send " + local + " to " + path);
    }
    std::printf("sent %zu bytes to %s (%s)\n", data.size(), path.c_str(),
                target.zzVersion > 0 && data.size() > kCompressAbove ? "compressed"
                                                                     : "uncompressed");
    return 0;
}

int Pull(const std::string& dir, const std::string& path, const std::string& local) {
    Connected c;
    std::string error;
    if (!ConnectTo(dir, &c, &error)) return Fail(error);
    std::vector<BYTE> data;
    if (!ReadDeviceFile(c.rapi, path, &data, &error)) return Fail(error);
    // Written beside the target first, so a failure never leaves half a file in its place.
    std::string temporary = local + ".cedevice-part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        if (!out.flush()) return Fail("cannot write " + local);
    }
    std::error_code failed;
    fs::rename(temporary, local, failed);
    if (failed) return Fail("cannot write " + local + ": " + failed.message());
    return 0;
}

int Run(const std::string& dir, const std::vector<std::string>& operands) {
    std::string error;
    if (!device::ReadDescription(dir, &error)) return Fail(error);
    std::optional<std::string> program = device::HostPath(dir, platform::Widen(operands[0]));
    std::error_code failed;
    if (!program || !fs::is_regular_file(*program, failed)) {
        return Fail("no program " + operands[0] + " on the device");
    }
    std::vector<std::string> owned = {*program};
    owned.insert(owned.end(), operands.begin() + 1, operands.end());
    std::vector<char*> argv;
    for (std::string& arg : owned)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    setenv("TESSARK_MACHINE", dir.c_str(), 1);
    std::fflush(nullptr);
    execv(program->c_str(), argv.data());
    return Fail("cannot run " + operands[0] + ": " + std::strerror(errno));
}

int Registry(const std::string& dir, const std::vector<std::string>& args) {
    std::string error;
    if (!device::ReadDescription(dir, &error)) return Fail(error);
    std::string tool = ExecutableDir() + "/tessark-reg";
    std::vector<std::string> owned = {tool, "--machine", dir};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : owned)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    execv(tool.c_str(), argv.data());
    return Fail("cannot run " + tool);
}

// The programs the device lists for removal, with their "IsvFile" (empty when missing or not
// text).
bool DevicePrograms(RAPI* rapi, std::vector<std::pair<std::string, std::string>>* programs,
                    std::string* error) {
    HKEY apps = nullptr;
    LONG result = CeRegOpenKeyEx(rapi, HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, KEY_READ, &apps);
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) {
        *error = "cannot read the device's registry: device error " + std::to_string(result);
        return false;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD chars = 256;
        result =
            CeRegEnumKeyEx(rapi, apps, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) break;
        std::u16string key(name, std::min<DWORD>(chars, 255));
        std::string isv;
        HKEY entry = nullptr;
        if (CeRegOpenKeyEx(rapi, apps, key.c_str(), 0, KEY_READ, &entry) == ERROR_SUCCESS) {
            BYTE data[1024];
            DWORD type = 0;
            DWORD size = sizeof data;
            if (CeRegQueryValueEx(rapi, entry, u"IsvFile", nullptr, &type, data, &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ && size % 2 == 0) {
                std::u16string text(size / 2, u'\0');
                std::memcpy(text.data(), data, size);
                text.resize(std::char_traits<char16_t>::length(text.c_str()));
                isv = platform::Narrow(text);
            }
            CeRegCloseKey(rapi, entry);
        }
        programs->emplace_back(platform::Narrow(key), isv);
    }
    CeRegCloseKey(rapi, apps);
    return true;
}

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

int Programs(const std::string& dir, const std::vector<std::string>& operands) {
    bool list = operands.empty() || (operands.size() == 1 && operands[0] == "list");
    bool remove = operands.size() == 2 && operands[0] == "remove" && !operands[1].empty();
    if (!list && !remove) return Usage("programs takes list or remove NAME");
    Connected c;
    std::string error;
    if (!ConnectTo(dir, &c, &error)) return Fail(error);
    std::vector<std::pair<std::string, std::string>> programs;
    if (!DevicePrograms(c.rapi, &programs, &error)) return Fail(error);
    if (list) {
        for (const auto& [name, isv] : programs)
            std::printf("%s\t%s\n", name.c_str(), isv.empty() ? "(no IsvFile)" : isv.c_str());
        return 0;
    }
    const std::pair<std::string, std::string>* found = nullptr;
    for (const auto& program : programs)
        if (Folded(program.first) == Folded(operands[1])) found = &program;
    if (found == nullptr) return Fail("no program on the device is named \"" + operands[1] + "\"");
    const std::string& isv = found->second;
    if (isv.empty() || (isv[0] != '\\' && isv[0] != '/')) {
        return Fail(found->first + " has no usable IsvFile (\"" + isv + "\")");
    }
    std::u16string product = platform::Widen(found->first);
    auto bytes = static_cast<DWORD>((product.size() + 1) * sizeof(char16_t));
    auto* input = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes));
    if (input == nullptr) return Fail("out of memory");
    std::memcpy(input, product.c_str(), bytes);
    std::u16string library = platform::Widen(isv);
    DWORD outputSize = 0;
    BYTE* output = nullptr;
    // The input block belongs to the call from here on.
    HRESULT result = CeRapiInvoke(c.rapi, library.c_str(), u"Uninstall", bytes, input, &outputSize,
                                  &output, nullptr, 0);
    DWORD failure = CeGetLastError(c.rapi);
    if (output != nullptr) LocalFree(output);
    if (result == 31) return Fail("the uninstall of " + found->first + " was refused by its hook");
    if (result != S_OK) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
        return Fail("the uninstall of " + found->first + " through " + isv + " failed (answer " +
                    code + ", device error " + std::to_string(failure) + ")");
    }
    HKEY still = nullptr;
    std::u16string key = u"Software\\Apps\\" + product;
    if (CeRegOpenKeyEx(c.rapi, HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &still) ==
        ERROR_SUCCESS) {
        CeRegCloseKey(c.rapi, still);
        return Fail("the uninstall of " + found->first + " did not complete");
    }
    std::printf("removed %s\n", found->first.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dir;
    if (!args.empty() && args[0] == "--device") {
        if (args.size() < 2 || args[1].empty()) return Usage("--device needs a directory");
        dir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else if (!args.empty() && args[0].rfind("--device=", 0) == 0) {
        dir = args[0].substr(9);
        if (dir.empty()) return Usage("--device needs a directory");
        args.erase(args.begin());
    }
    if (dir.empty()) dir = device::DeviceDir();
    if (args.empty()) return Usage("no command");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return 0;
    }
    const std::string command = args[0];
    auto verb = Verbs().find(command);
    if (verb == Verbs().end()) return Usage("unknown command \"" + command + "\"");
    std::vector<std::string> operands(args.begin() + 1, args.end());
    if (WantsHelp(operands)) {
        std::printf("usage: cedevice [--device DIR] %s\n\n%s\n", verb->second.usage,
                    verb->second.help);
        return 0;
    }
    auto expect = [&](std::size_t count) { return operands.size() == count; };
    if (command == "create") return Create(dir, operands);
    if (command == "reg") {
        if (operands.empty()) return Usage("reg needs dump, get, set or delete");
        return Registry(dir, operands);
    }
    if (command == "programs") return Programs(dir, operands);
    if (command == "run") {
        if (operands.empty()) return Usage("run takes a device path");
        return Run(dir, operands);
    }
    if (command == "start" || command == "stop" || command == "status" || command == "serve") {
        if (!expect(0)) return Usage(command + " takes no operands");
        if (command == "start") return Start(dir);
        if (command == "stop") return Stop(dir);
        if (command == "status") return Status(dir);
        std::string error;
        device::Serve(dir, &error);
        return Fail(error);
    }
    if (command == "ls" || command == "cat") {
        if (!expect(1)) return Usage(command + " takes one device path");
        return command == "ls" ? List(dir, operands[0]) : Cat(dir, operands[0]);
    }
    if (!expect(2)) return Usage(command + " takes two paths");
    if (command == "push") return Push(dir, operands[0], operands[1]);
    return Pull(dir, operands[0], operands[1]);
}
