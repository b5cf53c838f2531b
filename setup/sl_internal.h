// What the install toolkit and the uninstall routine share: the journal's entries with the log
// text they are written as and read from, the path and key lists, the safe-to-delete names, and
// one system's files and registry reached either directly (the desktop) or through the remote
// calls (the device).
#pragma once

#include "platform/reg.h"
#include "setup/rapi.h"

#include <string>
#include <string_view>
#include <vector>

namespace setuplib {

enum JournalKind : DWORD {
    kDeleteDir = 0,
    kDeleteFile = 1,
    kDeleteKey = 2,
    kDeleteVal = 3,
    kAppHook = 4,
};

struct JournalEntry {
    JournalKind kind = kDeleteDir;
    std::string first;
    std::string second; // the value name of "deleteval"

    bool operator==(const JournalEntry& other) const = default;
};

using Journal = std::vector<JournalEntry>;

// "deletedir", "deletefile", "deletekey", "deleteval", "apphook".
const char* CommandWord(JournalKind kind);

// The ten lines every log starts with.
extern const char kLogHeader[];

// One entry as its log line, line feed included.
std::string RenderEntry(const JournalEntry& entry);
// The whole log: the header, then one line per entry.
std::string RenderLog(const Journal& entries);

// Reads the entries of a log. A damaged entry (missing brace, unknown command) ends the reading
// quietly and keeps what came before; *complete (when given) tells whether the text was read to
// its end.
Journal ParseLog(std::string_view text, bool* complete = nullptr);

// "HKLM\", "HKCU\", "HKCR\", or empty for any other root.
std::string RootPrefix(HKEY root);
// The root named by a journalled key's prefix and the key after it; null without a known prefix.
HKEY SplitRoot(const std::string& path, std::string* key);

// The folders (or keys) leading to `path`, outermost first, with `path` itself at the end when
// asked. Empty prefixes and bare drives ("C:") are left out.
std::vector<std::string> PathChain(const std::string& path, bool withItself);

// The log of a product in a maker folder.
std::string LogPath(const std::string& makerFolder, const std::string& product);

// The name a file is moved to when it cannot be removed or replaced in place: in the root of its
// drive, numbered by `ticks`, with the file's extension.
std::string SafeToDeleteName(const std::string& path, bool device, DWORD ticks);

// A product name that names files and keys of its own: not empty, no separators, quotes or
// control characters, at most 200 bytes. Anything else could reach beyond the product's keys
// (an empty name is the whole "Uninstall" key).
bool UsableProductName(const std::string& product);

// The uninstall registration keys below HKEY_LOCAL_MACHINE.
std::string DesktopRegistrationKey(const std::string& product);
std::string DeviceRegistrationKey(const std::string& product);

// One system's files and registry: the desktop when the connection is null, else the device.
// Paths are 8-bit text; the device receives them as wide text. Every call that changes the system
// is reported to NoteChange (setup/rapi.h) after it returns.
class TargetSystem {
public:
    explicit TargetSystem(RAPI* rapi) : rapi_(rapi) {}

    RAPI* connection() const { return rapi_; }
    bool device() const { return rapi_ != nullptr; }

    DWORD attributes(const std::string& path) const;
    bool exists(const std::string& path) const {
        return attributes(path) != INVALID_FILE_ATTRIBUTES;
    }
    bool setAttributes(const std::string& path, DWORD attributes) const;
    bool createDirectory(const std::string& path) const;
    bool removeDirectory(const std::string& path) const;
    bool deleteFile(const std::string& path) const;
    bool moveFile(const std::string& from, const std::string& to) const;
    // Moves the file to a free safe-to-delete name (attributes cleared first); the new name, or
    // empty when it could not be moved.
    std::string moveToSafeName(const std::string& path) const;

    // The whole file; false when it cannot be opened or read, or holds more than `limit` bytes.
    bool readFile(const std::string& path, std::string* data, DWORD limit) const;
    // Writes `data` as the whole file (CREATE_ALWAYS) in one call.
    bool writeWholeFile(const std::string& path, std::string_view data) const;
    // Adds `data` at the end of an existing file.
    bool appendToFile(const std::string& path, std::string_view data) const;

    // Registry calls with the platform's status codes; keys are closed with closeKey.
    LONG createKey(HKEY root, const std::string& key, HKEY* result) const;
    LONG openKey(HKEY root, const std::string& key, HKEY* result) const;
    void closeKey(HKEY key) const;
    LONG setValue(HKEY key, const std::string& name, DWORD type, const BYTE* data,
                  DWORD size) const;
    LONG deleteValue(HKEY key, const std::string& name) const;
    LONG deleteKey(HKEY root, const std::string& key) const;
    // Whether the key exists with neither subkeys nor values.
    bool keyIsEmpty(HKEY root, const std::string& key) const;
    // A REG_SZ value read into a 1024-byte buffer; empty when it cannot be read as one.
    std::string readString(HKEY root, const std::string& key, const std::string& name) const;
    // Opens or creates the key and sets one value in it.
    bool writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                    const BYTE* data, DWORD size) const;
    bool writeString(HKEY root, const std::string& key, const std::string& name,
                     const std::string& text) const;

private:
    RAPI* rapi_;
};

// Folder kind 1 of a system: the desktop's "ProgramFilesDir", or on the device "\" + "TopDir"
// (else "\Program Files").
std::string ProgramsFolder(const TargetSystem& system);
// Programs folder + "\Orvane Software".
std::string MakerFolder(const TargetSystem& system);

// Writes the uninstall registration of the product on the system (desktop or device). Failures
// are not reported.
void registerproduct(RAPI* rapi, const std::string& product);
// Deletes the registration key.
void unregisterproduct(RAPI* rapi, const std::string& product);

} // namespace setuplib
