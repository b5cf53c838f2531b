#include "platform/reg.h"

#include "platform/core/kernel_internal.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::reg {

namespace {

// Marks a database as this store's ("TSKR"), so a foreign SQLite file is not mistaken for it.
constexpr int kSchemaVersion = 0x54534B52;
constexpr std::int64_t kRootIds[] = {1, 2, 3}; // HKCR, HKCU, HKLM
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;

const char* const kSchema = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name BLOB NOT NULL,
    fold BLOB NOT NULL);
CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);
CREATE TABLE key_values(
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL);
CREATE UNIQUE INDEX values_by_name ON key_values(key, fold);
)sql";

// Names are kept as UTF-16 bytes, so every name the platform accepts round-trips exactly.
struct Name {
    std::u16string text;
    std::u16string fold;
};

Name MakeName(std::u16string_view text) {
    return Name{std::u16string(text), platform::kernel::FoldCase(text)};
}

std::u16string NameOf(LPCWSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

// Splits a key path at "\"; empty parts (a leading, doubled or trailing separator) are
// skipped. False when a part is too long.
bool SplitPath(std::u16string_view path, std::vector<Name>& parts) {
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t end = path.find(u'\\', i);
        if (end == std::u16string_view::npos) end = path.size();
        std::u16string_view part = path.substr(i, end - i);
        if (part.size() > kMaxKeyNameChars) return false;
        if (!part.empty()) parts.push_back(MakeName(part));
        i = end + 1;
    }
    return true;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        rc_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value) {
        if (ok()) rc_ = sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    Statement& Bind(int index, const void* data, std::size_t size) {
        static const char empty = 0;
        if (ok()) {
            rc_ = sqlite3_bind_blob64(statement_, index, size == 0 ? &empty : data, size,
                                      SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& Bind(int index, const std::u16string& text) {
        return Bind(index, text.data(), text.size() * sizeof(char16_t));
    }

    // True while a row is available; errors end the rows and stay in rc().
    bool Step() {
        if (!ok()) return false;
        int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) return true;
        rc_ = rc == SQLITE_DONE ? SQLITE_OK : rc;
        return false;
    }

    std::int64_t Int(int column) { return sqlite3_column_int64(statement_, column); }
    std::vector<BYTE> Blob(int column) {
        const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(statement_, column));
        int size = sqlite3_column_bytes(statement_, column);
        return data == nullptr ? std::vector<BYTE>() : std::vector<BYTE>(data, data + size);
    }
    std::u16string Text16(int column) {
        std::vector<BYTE> bytes = Blob(column);
        std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
        if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        return text;
    }
    std::string Text(int column) {
        const auto* text = sqlite3_column_text(statement_, column);
        return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
    }

    bool ok() const { return rc_ == SQLITE_OK; }
    int rc() const { return rc_; }

private:
    sqlite3_stmt* statement_ = nullptr;
    int rc_;
};

bool IsDamage(int rc) {
    int primary = rc & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

struct ValueRow {
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

} // namespace

class Store {
public:
    Store(std::string dir, bool seed)
        : dir_(std::move(dir)), file_(dir_ + "/" + kStoreFileName), seed_(seed) {}
    ~Store() { Close(); }

    // Every operation runs here: one transaction (IMMEDIATE for writes), committed when the
    // body succeeds. A damaged database is set aside and replaced; the failing call reports
    // ERROR_BADDB.
    template <class Body>
    LONG Run(bool write, std::uint64_t& incarnation, Body body) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (db_ != nullptr && Replaced()) {
            // Another process set a damaged file aside (or someone removed it): what this
            // connection holds is no longer the machine's registry.
            Close();
            ++incarnation_;
        }
        if (db_ == nullptr && !OpenLocked()) return ERROR_CANTOPEN;
        if (incarnation == 0) incarnation = incarnation_;
        if (incarnation != incarnation_) return ERROR_KEY_DELETED;
        rc_ = SQLITE_OK;
        if (!Exec(write ? "BEGIN IMMEDIATE" : "BEGIN")) return Failed(write);
        LONG result = body(*this);
        if (rc_ != SQLITE_OK) {
            Exec("ROLLBACK");
            return Failed(write);
        }
        if (result != ERROR_SUCCESS) {
            Exec("ROLLBACK");
            return result;
        }
        if (!Exec("COMMIT")) {
            Exec("ROLLBACK");
            return Failed(write);
        }
        return ERROR_SUCCESS;
    }

    // --- helpers for bodies; a database error is remembered in rc_ and ends the body.

    bool Check(Statement& statement) {
        if (!statement.ok()) rc_ = statement.rc();
        return statement.ok();
    }

    bool KeyExists(std::int64_t id) {
        Statement query(db_, "SELECT 1 FROM keys WHERE id = ?");
        bool found = query.Bind(1, id).Step();
        return Check(query) && found;
    }

    // The id of a direct child, or 0.
    std::int64_t Child(std::int64_t parent, const Name& name) {
        Statement query(db_, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
        std::int64_t id = query.Bind(1, parent).Bind(2, name.fold).Step() ? query.Int(0) : 0;
        return Check(query) ? id : 0;
    }

    std::int64_t AddChild(std::int64_t parent, const Name& name) {
        Statement insert(db_, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
        insert.Bind(1, parent).Bind(2, name.text).Bind(3, name.fold).Step();
        return Check(insert) ? sqlite3_last_insert_rowid(db_) : 0;
    }

    std::vector<std::pair<std::u16string, std::u16string>> Children(std::int64_t parent) {
        Statement query(db_, "SELECT name, fold FROM keys WHERE parent = ?");
        std::vector<std::pair<std::u16string, std::u16string>> children;
        query.Bind(1, parent);
        while (query.Step())
            children.emplace_back(query.Text16(1), query.Text16(0));
        Check(query);
        std::sort(children.begin(), children.end());
        return children;
    }

    std::vector<ValueRow> Values(std::int64_t key) {
        Statement query(db_, "SELECT name, type, data FROM key_values WHERE key = ? ORDER BY seq");
        std::vector<ValueRow> values;
        query.Bind(1, key);
        while (query.Step()) {
            values.push_back(
                ValueRow{query.Text16(0), static_cast<DWORD>(query.Int(1)), query.Blob(2)});
        }
        Check(query);
        return values;
    }

    bool FindValue(std::int64_t key, const Name& name, ValueRow& row) {
        Statement query(db_, "SELECT name, type, data FROM key_values WHERE key = ? AND fold = ?");
        bool found = query.Bind(1, key).Bind(2, name.fold).Step();
        if (found) row = ValueRow{query.Text16(0), static_cast<DWORD>(query.Int(1)), query.Blob(2)};
        return Check(query) && found;
    }

    void PutValue(std::int64_t key, const Name& name, DWORD type, const BYTE* data,
                  std::size_t size) {
        Statement upsert(db_, "INSERT INTO key_values(key, name, fold, type, data) "
                              "VALUES(?, ?, ?, ?, ?) ON CONFLICT(key, fold) "
                              "DO UPDATE SET type = excluded.type, data = excluded.data");
        upsert.Bind(1, key).Bind(2, name.text).Bind(3, name.fold).Bind(4, std::int64_t{type});
        upsert.Bind(5, data, size).Step();
        Check(upsert);
    }

    bool RemoveValue(std::int64_t key, const Name& name) {
        Statement remove(db_, "DELETE FROM key_values WHERE key = ? AND fold = ?");
        remove.Bind(1, key).Bind(2, name.fold).Step();
        return Check(remove) && sqlite3_changes(db_) > 0;
    }

    void RemoveKey(std::int64_t id) {
        Statement values(db_, "DELETE FROM key_values WHERE key = ?");
        values.Bind(1, id).Step();
        if (!Check(values)) return;
        Statement key(db_, "DELETE FROM keys WHERE id = ?");
        key.Bind(1, id).Step();
        Check(key);
    }

    bool failed() const { return rc_ != SQLITE_OK; }

private:
    bool Exec(const char* sql) {
        int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK && rc_ == SQLITE_OK) rc_ = rc;
        return rc == SQLITE_OK;
    }

    LONG Failed(bool write) {
        if (IsDamage(rc_)) {
            SetAsideLocked();
            return ERROR_BADDB;
        }
        return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }

    void Close() {
        if (db_ != nullptr) sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    bool Replaced() const {
        struct stat current;
        return stat(file_.c_str(), &current) != 0 || current.st_ino != inode_ ||
               current.st_dev != device_;
    }

    // Moves a damaged database (with its journal files) aside under a name that tells what
    // happened, unless another process has already replaced it.
    void SetAsideLocked() {
        Close();
        ++incarnation_;
        if (Replaced()) return;
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".damaged-%lld-%d",
                      static_cast<long long>(std::time(nullptr)), static_cast<int>(getpid()));
        for (const char* extra : {"-wal", "-shm", ""}) {
            std::string from = file_ + extra;
            std::string to = file_ + suffix + extra;
            std::rename(from.c_str(), to.c_str());
        }
    }

    bool OpenLocked() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            rc_ = SQLITE_OK;
            if (!platform::kernel::MakeDirectories(dir_)) return false;
            // A desktop machine always has its system drive, as programs expect C:\ to exist.
            if (seed_) platform::kernel::MakeDirectories(dir_ + "/drive_c");
            int rc = sqlite3_open_v2(
                file_.c_str(), &db_,
                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
            if (rc != SQLITE_OK) {
                Close();
                return false;
            }
            struct stat info;
            if (stat(file_.c_str(), &info) == 0) {
                inode_ = info.st_ino;
                device_ = info.st_dev;
            }
            sqlite3_busy_timeout(db_, 10000);
            sqlite3_extended_result_codes(db_, 1);
            if (Prepare()) return true;
            if (!IsDamage(rc_)) {
                Close();
                return false;
            }
            SetAsideLocked();
        }
        return false;
    }

    // Checks the file, switches it to WAL and creates (and seeds) a new store. False with rc_
    // set when the database is unusable; a foreign or inconsistent one counts as damaged. The
    // checks only read, so a file that is set aside keeps its bytes as they were.
    bool Prepare() {
        {
            Statement check(db_, "PRAGMA quick_check");
            std::string verdict = check.Step() ? check.Text(0) : std::string();
            if (!Check(check)) return false;
            if (verdict != "ok") {
                rc_ = SQLITE_CORRUPT;
                return false;
            }
        }
        bool fresh = false;
        if (!Inspect(fresh)) return false;
        if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = NORMAL")) {
            return false;
        }
        if (!fresh) return true;
        // Another process may be creating the same machine: decide again under the write lock.
        if (!Exec("BEGIN IMMEDIATE")) return false;
        if (!Inspect(fresh)) {
            Exec("ROLLBACK");
            return false;
        }
        if (fresh && (!Exec(kSchema) || !CreateRoots() || (seed_ && !Seed()) ||
                      !Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str()))) {
            Exec("ROLLBACK");
            if (!failed()) rc_ = SQLITE_ERROR;
            return false;
        }
        return Exec("COMMIT");
    }

    // Sets `fresh` for an empty database; false (damaged) for one that is not a store.
    bool Inspect(bool& fresh) {
        Statement version(db_, "PRAGMA user_version");
        int found = version.Step() ? static_cast<int>(version.Int(0)) : -1;
        Statement tables(db_, "SELECT count(*) FROM sqlite_master");
        std::int64_t objects = tables.Step() ? tables.Int(0) : -1;
        if (!Check(version) || !Check(tables)) return false;
        fresh = found == 0 && objects == 0;
        if (fresh || (found == kSchemaVersion && RootsPresent())) return true;
        if (!failed()) rc_ = SQLITE_NOTADB;
        return false;
    }

    bool CreateRoots() {
        static const char16_t* const names[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                                u"HKEY_LOCAL_MACHINE"};
        for (int i = 0; i < 3; ++i) {
            Name name = MakeName(names[i]);
            Statement insert(db_, "INSERT INTO keys(id, parent, name, fold) VALUES(?, 0, ?, ?)");
            insert.Bind(1, kRootIds[i]).Bind(2, name.text).Bind(3, name.fold).Step();
            if (!Check(insert)) return false;
        }
        return true;
    }

    bool RootsPresent() {
        Statement query(db_, "SELECT count(*) FROM keys WHERE parent = 0 AND id IN (1, 2, 3)");
        return query.Step() && query.Int(0) == 3;
    }

    // The values the programs read from a desktop machine.
    bool Seed() {
        struct SeedValue {
            const char16_t* key;
            const char16_t* name;
            const char16_t* data;
        };
        static const SeedValue seeds[] = {
            {u"Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir",
             u"C:\\Program Files"},
            {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
             u"Common Programs", u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
            {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
             u"Common Startup",
             u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"},
        };
        for (const SeedValue& seed : seeds) {
            std::vector<Name> parts;
            SplitPath(seed.key, parts);
            std::int64_t id = kRootIds[2];
            for (const Name& part : parts) {
                std::int64_t child = Child(id, part);
                id = child != 0 ? child : AddChild(id, part);
                if (failed()) return false;
            }
            std::u16string data = seed.data;
            PutValue(id, MakeName(seed.name), REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     (data.size() + 1) * sizeof(char16_t));
            if (failed()) return false;
        }
        return true;
    }

    std::mutex mutex_;
    const std::string dir_;
    const std::string file_;
    const bool seed_;
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_OK;
    // Bumped whenever the database is replaced, so handles into the old one fail.
    std::uint64_t incarnation_ = 1;
    ino_t inode_ = 0;
    dev_t device_ = 0;
};

namespace {

struct KeyHandle {
    std::shared_ptr<Store> store;
    std::int64_t id;
    std::uint64_t incarnation;
};

std::mutex g_keysLock;
std::map<std::uintptr_t, KeyHandle>& Keys() {
    static auto* keys = new std::map<std::uintptr_t, KeyHandle>;
    return *keys;
}
std::uintptr_t g_nextKey = 0x20000;

std::int64_t RootId(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) return kRootIds[0];
    if (key == HKEY_CURRENT_USER) return kRootIds[1];
    if (key == HKEY_LOCAL_MACHINE) return kRootIds[2];
    return 0;
}

// The store of this process's machine, re-opened when the machine changes (tests switch
// machines) or after a fork (an SQLite connection must not cross into a child).
std::shared_ptr<Store> DefaultStore() {
    static std::mutex lock;
    static std::shared_ptr<Store>* current = new std::shared_ptr<Store>;
    static std::string currentDir;
    static pid_t currentPid = 0;
    std::lock_guard<std::mutex> guard(lock);
    std::string dir = platform::MachineDir();
    if (*current == nullptr || dir != currentDir || getpid() != currentPid) {
        if (*current != nullptr && getpid() != currentPid) {
            // Deliberately leaked: closing the parent's connection here could disturb it.
            new std::shared_ptr<Store>(*current);
        }
        *current = OpenStore(dir);
        currentDir = dir;
        currentPid = getpid();
    }
    return *current;
}

bool Resolve(HKEY key, KeyHandle& out) {
    if (std::int64_t root = RootId(key)) {
        out = KeyHandle{DefaultStore(), root, 0};
        return true;
    }
    std::lock_guard<std::mutex> guard(g_keysLock);
    auto found = Keys().find(reinterpret_cast<std::uintptr_t>(key));
    if (found == Keys().end()) return false;
    out = found->second;
    return true;
}

HKEY AddHandle(KeyHandle handle) {
    std::lock_guard<std::mutex> guard(g_keysLock);
    std::uintptr_t value = g_nextKey;
    g_nextKey += 4;
    Keys().emplace(value, std::move(handle));
    return reinterpret_cast<HKEY>(value);
}

LONG OpenOrCreate(KeyHandle base, LPCWSTR subKey, bool create, PHKEY result, LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<Name> parts;
    if (!SplitPath(NameOf(subKey), parts)) return ERROR_INVALID_PARAMETER;
    std::int64_t id = 0;
    bool created = false;
    LONG status = base.store->Run(create, base.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(base.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        id = base.id;
        for (const Name& part : parts) {
            std::int64_t child = store.Child(id, part);
            if (store.failed()) return ERROR_SUCCESS;
            if (child == 0) {
                if (!create) return ERROR_FILE_NOT_FOUND;
                child = store.AddChild(id, part);
                created = true;
                if (store.failed()) return ERROR_SUCCESS;
            }
            id = child;
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = AddHandle(KeyHandle{base.store, id, base.incarnation});
    return ERROR_SUCCESS;
}

// Copies `size` bytes into a caller's buffer the platform's way: the size is always
// reported, a missing buffer is a size query, a small one gives ERROR_MORE_DATA.
LONG CopyOut(const std::vector<BYTE>& bytes, LPBYTE data, LPDWORD dataSize) {
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (dataSize == nullptr) return ERROR_SUCCESS;
    DWORD available = *dataSize;
    *dataSize = static_cast<DWORD>(bytes.size());
    if (data == nullptr) return ERROR_SUCCESS;
    if (available < bytes.size()) return ERROR_MORE_DATA;
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

// Copies a name with its terminator into a buffer of *chars characters.
LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD chars) {
    if (buffer == nullptr || chars == nullptr) return ERROR_INVALID_PARAMETER;
    if (*chars <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

} // namespace

std::shared_ptr<Store> OpenStore(const std::string& machineDir, bool seed) {
    auto store = std::make_shared<Store>(machineDir, seed);
    std::uint64_t incarnation = 0;
    // Opening now creates and seeds a new machine at once; a failure is reported by each call.
    store->Run(false, incarnation, [](Store&) -> LONG { return ERROR_SUCCESS; });
    return store;
}

LONG OpenKey(const std::shared_ptr<Store>& store, HKEY root, LPCWSTR subKey, PHKEY result) {
    std::int64_t id = RootId(root);
    if (store == nullptr || id == 0) return ERROR_INVALID_HANDLE;
    return OpenOrCreate(KeyHandle{store, id, 0}, subKey, false, result, nullptr);
}

LONG CreateKey(const std::shared_ptr<Store>& store, HKEY root, LPCWSTR subKey, PHKEY result,
               LPDWORD disposition) {
    std::int64_t id = RootId(root);
    if (store == nullptr || id == 0) return ERROR_INVALID_HANDLE;
    return OpenOrCreate(KeyHandle{store, id, 0}, subKey, true, result, disposition);
}

} // namespace platform::reg

using platform::reg::KeyHandle;
using platform::reg::Resolve;
using platform::reg::Store;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    KeyHandle base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    return platform::reg::OpenOrCreate(base, subKey, false, result, nullptr);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY result, LPDWORD disposition) {
    KeyHandle base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    return platform::reg::OpenOrCreate(base, subKey, true, result, disposition);
}

LONG RegCloseKey(HKEY key) {
    if (platform::reg::RootId(key) != 0) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(platform::reg::g_keysLock);
    return platform::reg::Keys().erase(reinterpret_cast<std::uintptr_t>(key)) != 0
               ? ERROR_SUCCESS
               : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    platform::reg::ValueRow row;
    auto name = platform::reg::MakeName(platform::reg::NameOf(valueName));
    LONG status = handle.store->Run(false, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        if (!store.FindValue(handle.id, name, row)) {
            return store.failed() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    if (type != nullptr) *type = row.type;
    return platform::reg::CopyOut(row.data, data, dataSize);
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    std::u16string nameText = platform::reg::NameOf(valueName);
    if (reserved != 0 || (data == nullptr && dataSize != 0) ||
        nameText.size() > platform::reg::kMaxValueNameChars) {
        return ERROR_INVALID_PARAMETER;
    }
    auto name = platform::reg::MakeName(nameText);
    return handle.store->Run(true, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        store.PutValue(handle.id, name, type, data, dataSize);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    auto name = platform::reg::MakeName(platform::reg::NameOf(valueName));
    return handle.store->Run(true, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        if (!store.RemoveValue(handle.id, name)) {
            return store.failed() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    std::vector<platform::reg::Name> parts;
    if (!platform::reg::SplitPath(platform::reg::NameOf(subKey), parts)) {
        return ERROR_INVALID_PARAMETER;
    }
    return handle.store->Run(true, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        std::int64_t id = handle.id;
        for (const auto& part : parts) {
            id = store.Child(id, part);
            if (store.failed()) return ERROR_SUCCESS;
            if (id == 0) return ERROR_FILE_NOT_FOUND;
        }
        // A root cannot go, nor can a key that still has subkeys.
        if (parts.empty() && platform::reg::RootId(key) != 0) return ERROR_ACCESS_DENIED;
        for (std::int64_t root : platform::reg::kRootIds) {
            if (id == root) return ERROR_ACCESS_DENIED;
        }
        bool hasChildren = !store.Children(id).empty();
        if (store.failed()) return ERROR_SUCCESS;
        if (hasChildren) return ERROR_ACCESS_DENIED;
        store.RemoveKey(id);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || name == nullptr || nameChars == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::u16string found;
    LONG status = handle.store->Run(false, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        auto children = store.Children(handle.id);
        if (store.failed()) return ERROR_SUCCESS;
        if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
        found = children[index].second;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    status = platform::reg::CopyName(found, name, nameChars);
    if (status != ERROR_SUCCESS) return status;
    if (keyClass != nullptr && classChars != nullptr && *classChars > 0) keyClass[0] = 0;
    if (classChars != nullptr) *classChars = 0;
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || valueName == nullptr || valueNameChars == nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    platform::reg::ValueRow row;
    LONG status = handle.store->Run(false, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        auto values = store.Values(handle.id);
        if (store.failed()) return ERROR_SUCCESS;
        if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
        row = std::move(values[index]);
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    status = platform::reg::CopyName(row.name, valueName, valueNameChars);
    if (status != ERROR_SUCCESS) return status;
    if (type != nullptr) *type = row.type;
    return platform::reg::CopyOut(row.data, data, dataSize);
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    KeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    std::size_t childCount = 0, childLength = 0, valueCount = 0, nameLength = 0, dataLength = 0;
    LONG status = handle.store->Run(false, handle.incarnation, [&](Store& store) -> LONG {
        if (!store.KeyExists(handle.id)) return store.failed() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        auto children = store.Children(handle.id);
        auto rows = store.Values(handle.id);
        childCount = children.size();
        for (const auto& child : children)
            childLength = std::max(childLength, child.second.size());
        valueCount = rows.size();
        for (const auto& row : rows) {
            nameLength = std::max(nameLength, row.name.size());
            dataLength = std::max(dataLength, row.data.size());
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    if (keyClass != nullptr && classChars != nullptr && *classChars > 0) keyClass[0] = 0;
    if (classChars != nullptr) *classChars = 0;
    if (subKeys != nullptr) *subKeys = static_cast<DWORD>(childCount);
    if (maxSubKeyLength != nullptr) *maxSubKeyLength = static_cast<DWORD>(childLength);
    if (maxClassLength != nullptr) *maxClassLength = 0;
    if (values != nullptr) *values = static_cast<DWORD>(valueCount);
    if (maxValueNameLength != nullptr) *maxValueNameLength = static_cast<DWORD>(nameLength);
    if (maxValueLength != nullptr) *maxValueLength = static_cast<DWORD>(dataLength);
    if (securityDescriptor != nullptr) *securityDescriptor = 0;
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}
