// One target's install operations: files from the archive, buffers, folders, registry keys and
// values, shortcuts, and the closing step that installs the uninstaller and registers the
// product. While the journal is open every change is first named in the target's uninstall log,
// so an uninstall can undo exactly what was done, even after a crash in the middle.
//     SetupToolkit* kit = library.desktop();
//     kit->openjournal("Tessark");
//     kit->journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", "Settings");
//     kit->installfile(kit->getfolder(kProgramsFolder) + "\\Tessark\\tessark.exe", archive,
//                      kit->getprocessorname() + "\\tessark.exe", 5, 95);
//     kit->finalize(archive, kit->getprocessorname() + "\\uninstaller.dll", 95, 100);
// Operations return false after a "setuplib:" trace line naming the path; nothing is rolled back.
#pragma once

#include "platform/reg.h"
#include "setup/sl_internal.h"

#include <string>

class SetupLib;
class ZIPFILE;
struct RAPI;

// Folder kinds of getfolder.
enum FolderKind {
    kRootFolder = 0,
    kProgramsFolder = 1,
    kMakerFolder = 2,
    kProgramsMenu = 3,
    kStartupFolder = 4,
};

// Progress stages.
enum ProgressStage {
    kStageInstallFile = 0,
    kStageCreateFolder = 1,
    kStageRegistry = 2,
    kStageSaveUninstall = 3,
    kStageFinishing = 4,
};

// Called by reportprogress with the stage, the current percent, a path and the value given at
// registration.
using ProgressCallback = void (*)(int stage, int percent, const char* name, DWORD value);

class SetupToolkit {
public:
    // The desktop's when `rapi` is null, else the device's behind it.
    SetupToolkit(SetupLib& library, RAPI* rapi);
    SetupToolkit(const SetupToolkit&) = delete;
    SetupToolkit& operator=(const SetupToolkit&) = delete;
    // Flushes an open journal that holds unwritten entries.
    ~SetupToolkit();

    bool isdevice() const;
    RAPI* connection() const;

    void setprogresscallback(ProgressCallback callback, DWORD value);
    // A percent of -1 keeps the current one.
    void reportprogress(int stage, int percent, const std::string& name);
    int currentpercent() const;

    // The folder of a kind (FolderKind), read on first use; empty for an unknown kind.
    std::string getfolder(int kind);
    // The build folder of the archive for this target ("native" on the desktop).
    std::string getprocessorname();

    // The journal. openjournal reads the product's existing log, so a reinstallation adds only
    // what is new; closejournal ends journalling and writes what is pending.
    bool openjournal(const std::string& product);
    void flushjournal();
    void closejournal();
    bool journalactive() const;
    bool journaldirty() const;
    const std::string& journalpath() const;
    const setuplib::Journal& journal() const;

    // The folders (keys) leading to `path` (and it, when `withItself`): created (journalled and
    // each flushed before it is made) or only recorded for removal.
    bool createdirtree(const std::string& path, bool withItself, bool create);
    bool createkeytree(HKEY root, const std::string& key, bool withItself, bool create);
    // Records a value and its key for removal at uninstall; writes nothing to the registry.
    void journalvalue(HKEY root, const std::string& key, const std::string& name);

    // Files. Progress runs from `from` to `to` percent; `from` -1 writes without progress.
    // The entry name may use "\" or "/" and a leading separator, in any case.
    bool installfile(const std::string& destination, const ZIPFILE& archive,
                     const std::string& entry, int from, int to);
    bool installdata(const std::string& destination, const BYTE* data, DWORD size, int from,
                     int to);
    bool installtextfile(const std::string& destination, const std::string& text, int from, int to);
    // Without journalling.
    bool writefile(const std::string& destination, const BYTE* data, DWORD size, int from, int to);
    // A shortcut at `shortcut` leading to `target`.
    bool linkfile(const std::string& shortcut, const std::string& target);
    // Installs the uninstaller from the archive unless a newer one is in place, then registers
    // the product for uninstall.
    bool finalize(const ZIPFILE& archive, const std::string& entry, int from, int to);

    // Journalled registry writes.
    bool createkey(HKEY root, const std::string& key);
    bool setstringvalue(HKEY root, const std::string& key, const std::string& name,
                        const std::string& text);
    bool setnumbervalue(HKEY root, const std::string& key, const std::string& name, DWORD number);
    bool setbinaryvalue(HKEY root, const std::string& key, const std::string& name,
                        const BYTE* data, DWORD size);
    // Empty when absent or not a string.
    std::string readstringvalue(HKEY root, const std::string& key, const std::string& name);

    // Calls a remote-API extension function of a library on this target.
    bool callfunction(const std::string& library, const std::string& function,
                      const std::string& input, std::string* output);
    // The version of the device's "zzrapi.dll" (0 on the desktop or without a usable one).
    long getzzversion();

    // Journals the language values of an application and, on the device, copies them from the
    // desktop.
    bool copylanguage(const std::string& application);

private:
    // Adds a removal entry while journalling (written at once when `flush`); false when its
    // text cannot stand in a log.
    bool record(setuplib::JournalKind kind, const std::string& first, const std::string& second,
                bool flush);
    bool setvalue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                  const BYTE* data, DWORD size);

    struct m_t;
    m_t* m_;
};
