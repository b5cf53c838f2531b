// The emulated palm-size PC: a directory holding its file tree ("drive_c", where device paths
// such as "\Windows\..." lead), its registry store and its description, served to "rapi.dll" by
// a process of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace device {

struct Description {
    unsigned architecture = 5; // PROCESSOR_ARCHITECTURE_ARM
    std::string name = "Pocket PC";
    std::uint32_t storeSize = 16u << 20;
};

// The description file inside a device directory.
inline constexpr const char* kDescriptionFile = "device.ini";
// The pid of the running device process, beside its socket.
inline constexpr const char* kPidFile = "device.pid";
// The folder of the device's own libraries beside the programs that make devices.
inline constexpr const char* kDeviceLibraryFolder = "device-libs";

// The description of the device in `dir`; nullopt with a message in *error when it is missing
// or malformed.
std::optional<Description> ReadDescription(const std::string& dir, std::string* error);
bool WriteDescription(const std::string& dir, const Description& description, std::string* error);

// Where a device path ("\Program Files\x") lies in the device's tree. Nullopt for anything that
// is not an absolute device path or would lead outside the tree (".." components, drive letters,
// symbolic links pointing elsewhere).
std::optional<std::string> HostPath(const std::string& dir, std::u16string_view devicePath);

// Makes a new device: its tree with the usual folders, its registry and its description.
bool CreateDevice(const std::string& dir, const Description& description, std::string* error);

// Runs the device process in the foreground until it is told to stop. *error explains a failure
// to start (no device, already running, socket path too long).
int Serve(const std::string& dir, std::string* error);

// Whether a device process answers on the socket of `dir`.
bool IsRunning(const std::string& dir);

} // namespace device
