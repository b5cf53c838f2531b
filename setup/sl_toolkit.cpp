#include "setup/sl_toolkit.h"

#include "foundation/cetl.h"
#include "foundation/memory.h"
#include "setup/sl_main.h"
#include "setup/unzipper.h"

#include "platform/shlobj.h"

#include <cstring>
#include <set>

using namespace setuplib;

namespace {

constexpr DWORD kChunk = 32768;
// Far above any real log; a larger file is not a log of ours.
constexpr DWORD kLogLimit = 4u << 20;

const char kNlsKey[] = "SOFTWARE\\Orvane\\NLS";

// "\arm\tessark.exe" and "arm\tessark.exe" both name the entry "arm/tessark.exe".
std::string EntryName(const std::string& name) {
    std::string normal = name;
    for (char& c : normal)
        if (c == '\\') c = '/';
    if (!normal.empty() && normal[0] == '/') normal.erase(0, 1);
    return normal;
}

// A decimal answer as far as it goes; anything else reads as 0.
long DecimalOf(const std::string& text) {
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 100000000) break;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

struct SetupToolkit::m_t {
    m_t(SetupLib& library, RAPI* rapi) : library(library), system(rapi) {}

    SetupLib& library;
    TargetSystem system;
    std::string folders[5];
    bool folderKnown[5] = {};
    ProgressCallback callback = nullptr;
    DWORD callbackValue = 0;
    int percent = 0;
    TransferTarget transfer;
    std::string transferName;   // the destination whose progress the transfer reports
    std::set<std::string> made; // folders this toolkit created

    std::string product;
    std::string journalPath;
    Journal entries;
    int depth = 0;
    bool open = false;
    bool dirty = false;
    // The log text known to be on the target, when the file holds exactly that; new entries are
    // then appended and the file is never rewritten.
    std::string onDisk;
    bool onDiskKnown = false;
};

SetupToolkit::SetupToolkit(SetupLib& library, RAPI* rapi)
    : m_(new (MM("SetupToolkit_m_t")) m_t(library, rapi)) {
    m_->transfer.rapi = rapi;
    m_->transfer.zzVersion = rapi == nullptr ? 0 : -1;
    m_->transfer.progressContext = this;
    m_->transfer.progress = [](void* context, int percent) {
        auto* kit = static_cast<SetupToolkit*>(context);
        kit->reportprogress(kStageInstallFile, percent, kit->m_->transferName);
    };
    m_->transfer.trace = setuplib::TraceLine;
}

SetupToolkit::~SetupToolkit() {
    if (m_->open && m_->dirty) flushjournal();
    MemDelete(m_, MM("SetupToolkit_m_t"));
}

bool SetupToolkit::isdevice() const {
    return m_->system.device();
}

RAPI* SetupToolkit::connection() const {
    return m_->system.connection();
}

// ---- Progress ----------------------------------------------------------------------------------

void SetupToolkit::setprogresscallback(ProgressCallback callback, DWORD value) {
    m_->callback = callback;
    m_->callbackValue = value;
}

void SetupToolkit::reportprogress(int stage, int percent, const std::string& name) {
    if (percent != -1) m_->percent = percent;
    if (m_->callback != nullptr) m_->callback(stage, m_->percent, name.c_str(), m_->callbackValue);
}

int SetupToolkit::currentpercent() const {
    return m_->percent;
}

// ---- Folders -----------------------------------------------------------------------------------

std::string SetupToolkit::getfolder(int kind) {
    if (kind < 0 || kind > 4) return std::string();
    if (m_->folderKnown[kind]) return m_->folders[kind];
    const TargetSystem& system = m_->system;
    std::string folder;
    switch (kind) {
    case kRootFolder:
        folder = system.device() ? "\\" : "C:\\";
        break;
    case kProgramsFolder:
        folder = ProgramsFolder(system);
        break;
    case kMakerFolder:
        folder = getfolder(kProgramsFolder) + "\\Orvane Software";
        break;
    default: {
        const bool menu = kind == kProgramsMenu;
        if (system.device()) {
            WCHAR buffer[MAX_PATH + 1] = {};
            DWORD length = CeGetSpecialFolderPath(
                system.connection(), menu ? CSIDL_PROGRAMS : CSIDL_STARTUP, MAX_PATH, buffer);
            if (length > MAX_PATH) length = 0;
            folder = platform::Narrow(std::u16string_view(buffer, length));
        } else {
            folder = system.readString(
                HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                menu ? "Common Programs" : "Common Startup");
        }
    }
    }
    m_->folders[kind] = folder;
    m_->folderKnown[kind] = true;
    return folder;
}

std::string SetupToolkit::getprocessorname() {
    return isdevice() ? DeviceProcessorName(connection()) : "native";
}

// ---- Journal -----------------------------------------------------------------------------------

namespace {

// Appends the entry unless one of the same kind and arguments is there; whether it was added.
bool AddEntry(Journal& entries, JournalKind kind, const std::string& first,
              const std::string& second = std::string()) {
    JournalEntry entry{kind, first, kind == kDeleteVal ? second : std::string()};
    for (const JournalEntry& present : entries) {
        if (present == entry) return false;
    }
    entries.push_back(entry);
    return true;
}

} // namespace

// A quote or a line break would end the argument early and cut off every later entry.
static bool Writable(const std::string& argument) {
    return argument.find_first_of("\"\r\n") == std::string::npos;
}

bool SetupToolkit::record(JournalKind kind, const std::string& first, const std::string& second,
                          bool flush) {
    if (!journalactive()) return true;
    if (!Writable(first) || !Writable(second)) {
        m_->library.Trace("setuplib: cannot journal %s %s\n", first.c_str(), second.c_str());
        return false;
    }
    if (AddEntry(m_->entries, kind, first, second)) m_->dirty = true;
    if (flush && m_->dirty) flushjournal();
    return true;
}

bool SetupToolkit::openjournal(const std::string& product) {
    if (!UsableProductName(product)) {
        m_->library.Trace("setuplib: openjournal cannot use the product name \"%s\"\n",
                          product.c_str());
        return false;
    }
    // Entries not yet on disk would be lost with the list that the log replaces.
    if (m_->open && m_->dirty) flushjournal();
    const std::string maker = getfolder(kMakerFolder);
    if (!createdirtree(maker, true, true)) {
        m_->library.Trace("setuplib: openjournal failed to create %s\n", maker.c_str());
        return false;
    }
    m_->journalPath = LogPath(maker, product);
    m_->product = product;
    m_->open = true;
    std::string text;
    m_->entries.clear();
    m_->onDisk.clear();
    m_->onDiskKnown = false;
    if (m_->system.readFile(m_->journalPath, &text, kLogLimit) ||
        m_->system.readFile(m_->journalPath + ".new", &text, kLogLimit)) {
        m_->entries = ParseLog(text);
        m_->onDisk = text;
        m_->onDiskKnown = RenderLog(m_->entries) == text;
    }
    ++m_->depth;
    return true;
}

void SetupToolkit::flushjournal() {
    m_->dirty = false;
    reportprogress(kStageSaveUninstall, -1, "");
    const std::string text = RenderLog(m_->entries);
    const TargetSystem& system = m_->system;
    const std::string& path = m_->journalPath;
    if (path.empty()) return;
    if (m_->onDiskKnown && text.compare(0, m_->onDisk.size(), m_->onDisk) == 0) {
        // Only new lines are added, so a crash at any point leaves a whole log behind.
        if (text.size() == m_->onDisk.size() ||
            system.appendToFile(path, std::string_view(text).substr(m_->onDisk.size()))) {
            m_->onDisk = text;
            return;
        }
    }
    // A log is made or replaced whole beside its place and then moved there, so the log is
    // always either the old one or the new one. Between the device's two steps only the new
    // file is there, and readers take it.
    const std::string fresh = path + ".new";
    // A log made read-only by someone is still replaced, as files are.
    system.setAttributes(path, 0);
    bool written = system.writeWholeFile(fresh, text);
    if (written && system.device()) {
        if (system.exists(path)) written = system.deleteFile(path);
        written = written && system.moveFile(fresh, path);
    } else if (written) {
        written = MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        NoteChange();
    }
    m_->onDisk = text;
    m_->onDiskKnown = written;
}

void SetupToolkit::closejournal() {
    if (!m_->open) return;
    m_->open = false;
    m_->depth = 0;
    if (m_->dirty) flushjournal();
}

bool SetupToolkit::journalactive() const {
    return m_->depth > 0;
}

bool SetupToolkit::journaldirty() const {
    return m_->dirty;
}

const std::string& SetupToolkit::journalpath() const {
    return m_->journalPath;
}

const Journal& SetupToolkit::journal() const {
    return m_->entries;
}

bool SetupToolkit::createdirtree(const std::string& path, bool withItself, bool create) {
    for (const std::string& folder : PathChain(path, withItself)) {
        DWORD attributes = m_->system.attributes(folder);
        const bool present =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A folder the system had before (an empty start menu of the device, say) is not the
        // installation's: removing it at uninstall would take it from the system.
        const bool ours = !present || m_->made.count(folder) != 0;
        if (ours && !record(kDeleteDir, folder, "", create) && create) return false;
        if (!create || present) continue;
        if (!m_->system.createDirectory(folder)) {
            m_->library.Trace("setuplib: createdirtree failed to create %s\n", folder.c_str());
            return false;
        }
        m_->made.insert(folder);
    }
    return true;
}

bool SetupToolkit::createkeytree(HKEY root, const std::string& key, bool withItself, bool create) {
    const std::string prefix = RootPrefix(root);
    for (const std::string& part : PathChain(key, withItself)) {
        if (!record(kDeleteKey, prefix + part, "", create) && create) return false;
        if (!create) continue;
        HKEY opened = nullptr;
        if (m_->system.createKey(root, part, &opened) != ERROR_SUCCESS) {
            m_->library.Trace("setuplib: createkeytree failed to create %s%s\n", prefix.c_str(),
                              part.c_str());
            return false;
        }
        m_->system.closeKey(opened);
    }
    return true;
}

void SetupToolkit::journalvalue(HKEY root, const std::string& key, const std::string& name) {
    createkeytree(root, key, true, false);
    record(kDeleteVal, RootPrefix(root) + key, name, false);
}

// ---- Files -------------------------------------------------------------------------------------

bool SetupToolkit::installfile(const std::string& destination, const ZIPFILE& archive,
                               const std::string& entry, int from, int to) {
    ZIPENTRY* found = archive.Find(EntryName(entry).c_str());
    if (found == nullptr) {
        m_->library.Trace("setuplib: installfile failed to find %s\n", entry.c_str());
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    try {
        found->Extract();
    } catch (...) {
        m_->library.Trace("setuplib: installfile failed to extract %s\n", entry.c_str());
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return installdata(destination, found->data, found->data != nullptr ? found->size : 0, from,
                       to);
}

bool SetupToolkit::installdata(const std::string& destination, const BYTE* data, DWORD size,
                               int from, int to) {
    if (!createdirtree(destination, false, true)) return false;
    if (!record(kDeleteFile, destination, "", true)) return false;
    return writefile(destination, data, size, from, to);
}

bool SetupToolkit::installtextfile(const std::string& destination, const std::string& text,
                                   int from, int to) {
    return installdata(destination, reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size()), from, to);
}

bool SetupToolkit::writefile(const std::string& destination, const BYTE* data, DWORD size, int from,
                             int to) {
    if (isdevice()) {
        m_->transfer.makerFolder = getfolder(kMakerFolder);
        m_->transferName = destination;
        return rapiwritefile(m_->transfer, destination, data, size, from, to);
    }
    SetFileAttributesA(destination.c_str(), 0);
    NoteChange();
    HANDLE file =
        CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    NoteChange();
    if (file == INVALID_HANDLE_VALUE) {
        m_->library.Trace("setuplib: writefile failed to create %s\n", destination.c_str());
        return false;
    }
    bool ok = true;
    if (from == -1) {
        DWORD written = 0;
        ok = WriteFile(file, data, size, &written, nullptr) && written == size;
        NoteChange();
    } else {
        reportprogress(kStageInstallFile, from, destination);
        DWORD done = 0;
        while (ok && done < size) {
            DWORD piece = size - done < kChunk ? size - done : kChunk;
            DWORD written = 0;
            ok = WriteFile(file, data + done, piece, &written, nullptr) && written == piece;
            NoteChange();
            if (!ok) break;
            done += written;
            auto percent =
                static_cast<int>(from + static_cast<unsigned long long>(to - from) * done / size);
            reportprogress(kStageInstallFile, percent, destination);
        }
    }
    ok = CloseHandle(file) && ok;
    if (!ok) m_->library.Trace("setuplib: writefile failed to write %s\n", destination.c_str());
    return ok;
}

namespace {

// The desktop's shortcut: a shell link object saved where it is asked.
bool DesktopLink(const std::string& shortcut, const std::string& target) {
    bool ok = false;
    // COM is ours for this call only; a failed start is not followed by an end.
    const bool started = CoInitialize(nullptr) >= 0;
    IShellLinkA* link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&link)) >= 0 &&
        link != nullptr) {
        link->SetPath(target.c_str());
        link->SetShowCmd(1);
        link->SetDescription(target.c_str());
        IPersistFile* file = nullptr;
        if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)) >= 0 &&
            file != nullptr) {
            std::u16string wide = platform::Widen(shortcut);
            ok = file->Save(wide.c_str(), TRUE) >= 0;
            file->Release();
        }
        link->Release();
    }
    if (started) CoUninitialize();
    NoteChange();
    return ok;
}

} // namespace

bool SetupToolkit::linkfile(const std::string& shortcut, const std::string& target) {
    if (!createdirtree(shortcut, false, true)) return false;
    if (!record(kDeleteFile, shortcut, "", true)) return false;
    const TargetSystem& system = m_->system;
    if (system.exists(shortcut)) {
        system.setAttributes(shortcut, 0);
        system.deleteFile(shortcut);
    }
    bool ok;
    if (isdevice()) {
        std::u16string wideShortcut = platform::Widen(shortcut);
        std::u16string quoted = platform::Widen("\"" + target + "\"");
        ok = CeSHCreateShortcut(connection(), wideShortcut.data(), quoted.data()) != 0;
        NoteChange();
    } else {
        ok = DesktopLink(shortcut, target);
    }
    if (!ok) m_->library.Trace("setuplib: linkfile failed to create %s\n", shortcut.c_str());
    return ok;
}

bool SetupToolkit::finalize(const ZIPFILE& archive, const std::string& entry, int from, int to) {
    ZIPENTRY* found = archive.Find(EntryName(entry).c_str());
    bool extracted = found != nullptr;
    if (found != nullptr) {
        try {
            found->Extract();
        } catch (...) {
            extracted = false;
        }
    }
    if (!extracted) {
        m_->library.Trace("setuplib: could not find %s for finalize\n", entry.c_str());
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (m_->dirty) flushjournal();
    const std::string uninstaller = getfolder(kMakerFolder) + "\\uninstaller.dll";
    std::string answer;
    // The uninstaller is shared by all of the maker's products: a newer one stays.
    bool newer =
        callfunction(uninstaller, "GetUninstallVersion", "", &answer) && DecimalOf(answer) > 1;
    if (!newer) {
        if (!createdirtree(uninstaller, false, true)) return false;
        if (!writefile(uninstaller, found->data, found->data != nullptr ? found->size : 0, from,
                       to)) {
            return false;
        }
    }
    reportprogress(kStageFinishing, to, "");
    // Without a journal there is no product to register.
    if (!m_->product.empty()) registerproduct(connection(), m_->product);
    return true;
}

// ---- Registry ----------------------------------------------------------------------------------

bool SetupToolkit::createkey(HKEY root, const std::string& key) {
    return createkeytree(root, key, true, true);
}

bool SetupToolkit::setvalue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                            const BYTE* data, DWORD size) {
    if (!createkeytree(root, key, true, true)) return false;
    if (!record(kDeleteVal, RootPrefix(root) + key, name, true)) return false;
    if (m_->system.writeValue(root, key, name, type, data, size)) return true;
    m_->library.Trace("setuplib: failed to set %s%s %s\n", RootPrefix(root).c_str(), key.c_str(),
                      name.c_str());
    return false;
}

bool SetupToolkit::setstringvalue(HKEY root, const std::string& key, const std::string& name,
                                  const std::string& text) {
    std::u16string wide = platform::Widen(text);
    return setvalue(root, key, name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                    static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t)));
}

bool SetupToolkit::setnumbervalue(HKEY root, const std::string& key, const std::string& name,
                                  DWORD number) {
    return setvalue(root, key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                    sizeof number);
}

bool SetupToolkit::setbinaryvalue(HKEY root, const std::string& key, const std::string& name,
                                  const BYTE* data, DWORD size) {
    return setvalue(root, key, name, REG_BINARY, data, size);
}

std::string SetupToolkit::readstringvalue(HKEY root, const std::string& key,
                                          const std::string& name) {
    return m_->system.readString(root, key, name);
}

// ---- Calls and the language ----------------------------------------------------------------

bool SetupToolkit::callfunction(const std::string& library, const std::string& function,
                                const std::string& input, std::string* output) {
    return ::callfunction(m_->transfer, library, function, input, output);
}

long SetupToolkit::getzzversion() {
    m_->transfer.makerFolder = getfolder(kMakerFolder);
    return ::getzzversion(m_->transfer);
}

bool SetupToolkit::copylanguage(const std::string& application) {
    const TargetSystem desktop(nullptr);
    for (const char* prefix : {"Lang-", "Opt-"}) {
        const std::string name = prefix + application;
        journalvalue(HKEY_LOCAL_MACHINE, kNlsKey, name);
        if (!isdevice()) continue;
        if (!setstringvalue(HKEY_LOCAL_MACHINE, kNlsKey, name,
                            desktop.readString(HKEY_LOCAL_MACHINE, kNlsKey, name))) {
            return false;
        }
    }
    return true;
}
