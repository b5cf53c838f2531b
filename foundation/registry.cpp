#include "foundation/registry.h"

#include <cstring>

namespace {

// Both programs hand the platform the access mask of the original calls.
constexpr REGSAM kAccess = GENERIC_ALL;

string16 Wide(const string& text) {
    return string16(text);
}

// True when `text` starts with `prefix` (ASCII capitals), ignoring case.
bool StartsWithFolded(const string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.length()) return false;
        if (FoldUpper(text[i]) != static_cast<TCHAR>(prefix[i])) return false;
    }
    return true;
}

// Opens the value's key for a read, or creates the path for a write.
class OpenedKey {
public:
    OpenedKey(const RegistryKey& key, bool create) {
        const string16 subkey = Wide(key.subkey);
        LONG status;
        if (create) {
            DWORD disposition = 0;
            status = RegCreateKeyExW(key.root, subkey.c_str(), 0, nullptr, 0, kAccess, nullptr,
                                     &handle_, &disposition);
        } else {
            status = RegOpenKeyExW(key.root, subkey.c_str(), 0, kAccess, &handle_);
        }
        if (status != ERROR_SUCCESS) handle_ = nullptr;
    }
    ~OpenedKey() {
        if (handle_) RegCloseKey(handle_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HKEY handle_ = nullptr;
};

// Size and type of a stored value; false when it is missing.
bool QueryValue(const RegistryValue& value, DWORD& type, DWORD& size) {
    OpenedKey key(value.key, false);
    if (!key) return false;
    type = REG_NONE;
    size = 0;
    return RegQueryValueExW(key.get(), Wide(value.name).c_str(), nullptr, &type, nullptr, &size) ==
           ERROR_SUCCESS;
}

// Reads the whole value into an owned buffer under the given memory label: a size query, then
// the read. A value that grew in between fails rather than being cut.
bool ReadWhole(const RegistryValue& value, const char* label, DWORD& type, RegistryData& out) {
    OpenedKey key(value.key, false);
    if (!key) return false;
    const string16 name = Wide(value.name);
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    RegistryData data;
    if (size > 0) {
        data.data = static_cast<BYTE*>(MemAlloc(size, label, __FILE__, __LINE__));
        if (!data.data) return false;
        data.owned = 1;
        data.size = size;
    }
    DWORD read = size;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data, &read) !=
        ERROR_SUCCESS)
        return false;
    if (read < data.size) data.size = read;
    out = static_cast<RegistryData&&>(data);
    return true;
}

bool SetValue(const RegistryValue& value, DWORD type, const BYTE* bytes, DWORD size) {
    OpenedKey key(value.key, true);
    if (!key) return false;
    return RegSetValueExW(key.get(), Wide(value.name).c_str(), 0, type, bytes, size) ==
           ERROR_SUCCESS;
}

bool DeleteTreeBelow(HKEY parent, const char16_t* name) {
    HKEY child = nullptr;
    if (RegOpenKeyExW(parent, name, 0, kAccess, &child) != ERROR_SUCCESS) return false;
    for (;;) {
        char16_t sub[260];
        DWORD chars = 260;
        if (RegEnumKeyExW(child, 0, sub, &chars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS ||
            chars == 0 || sub[0] == 0)
            break;
        // A subkey that cannot be removed would be enumerated first forever.
        if (!DeleteTreeBelow(child, sub)) break;
    }
    RegCloseKey(child);
    return RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
}

} // namespace

// --- Keys ---------------------------------------------------------------------------------

RegistryKey::RegistryKey(const string& path) : root(HKEY_CURRENT_USER), subkey(path) {
    static const struct {
        const char* prefix;
        HKEY root;
    } kRoots[] = {
        {"HKLM", HKEY_LOCAL_MACHINE}, {"HKCU", HKEY_CURRENT_USER}, {"HKCR", HKEY_CLASSES_ROOT}};
    for (const auto& r : kRoots) {
        if (StartsWithFolded(path, r.prefix) && path[4] == TCHAR('\\')) {
            root = r.root;
            subkey = path.substr(5);
            return;
        }
    }
    for (const auto& r : kRoots) {
        if (path.length() == 4 && StartsWithFolded(path, r.prefix)) {
            root = r.root;
            subkey = string();
            return;
        }
    }
}

RegistryKey::RegistryKey(HKEY root, const string& subkey) : root(root), subkey(subkey) {}

RegistryKey::RegistryKey(const RegistryKey& parent, const string& name)
    : root(parent.root), subkey(parent.subkey) {
    if (!subkey.empty()) subkey.append(TCHAR('\\'));
    subkey.append(name);
}

// --- Buffers ------------------------------------------------------------------------------

RegistryData RegistryData::Owned(DWORD size) {
    RegistryData d;
    if (size == 0) return d;
    d.data = static_cast<BYTE*>(MemAlloc(size, MM("cbData")));
    if (!d.data) return d;
    std::memset(d.data, 0, size);
    d.size = size;
    d.owned = 1;
    return d;
}

RegistryData::RegistryData(const RegistryData& other) {
    *this = other;
}

RegistryData::RegistryData(RegistryData&& other) noexcept
    : data(other.data), size(other.size), owned(other.owned) {
    other.data = nullptr;
    other.size = 0;
    other.owned = 0;
}

RegistryData& RegistryData::operator=(const RegistryData& other) {
    if (this == &other) return *this;
    Release();
    if (!other.owned) {
        data = other.data;
        size = other.size;
        return *this;
    }
    if (other.size == 0) return *this;
    data = static_cast<BYTE*>(MemAlloc(other.size, MM("_cbData")));
    if (!data) return *this;
    std::memcpy(data, other.data, other.size);
    size = other.size;
    owned = 1;
    return *this;
}

RegistryData& RegistryData::operator=(RegistryData&& other) noexcept {
    if (this == &other) return *this;
    Release();
    data = other.data;
    size = other.size;
    owned = other.owned;
    other.data = nullptr;
    other.size = 0;
    other.owned = 0;
    return *this;
}

RegistryData::~RegistryData() {
    Release();
}

void RegistryData::Release() {
    if (owned && data) MemFree(data, MM("cbData"));
    data = nullptr;
    size = 0;
    owned = 0;
}

bool RegistryData::operator==(const RegistryData& other) const {
    if (owned != other.owned || size != other.size) return false;
    if (!owned) return data == other.data;
    return size == 0 || std::memcmp(data, other.data, size) == 0;
}

// --- Values -------------------------------------------------------------------------------

DWORD GetSize(const RegistryValue& value) {
    DWORD type, size;
    return QueryValue(value, type, size) ? size : 0;
}

DWORD GetType(const RegistryValue& value) {
    DWORD type, size;
    return QueryValue(value, type, size) ? type : 0;
}

string ReadString(const RegistryValue& value) {
    DWORD type = REG_NONE;
    RegistryData data;
    if (!ReadWhole(value, "cbData", type, data)) return string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return string();
    // Stored text may lack its terminator or end on half a character; take whole characters
    // up to the first zero.
    const std::size_t chars = data.size / sizeof(char16_t);
    string16 text;
    if (chars > 0) {
        const char16_t* units = reinterpret_cast<const char16_t*>(data.data);
        std::size_t length = 0;
        while (length < chars && units[length] != 0)
            ++length;
        text.assign(units, length);
    }
    return string(text);
}

bool WriteString(const RegistryValue& value, const string& text) {
    const string16 wide = Wide(text);
    return SetValue(value, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                    static_cast<DWORD>((wide.length() + 1) * sizeof(char16_t)));
}

DWORD ReadNumber(const RegistryValue& value) {
    OpenedKey key(value.key, false);
    if (!key) return 0;
    BYTE bytes[4] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof bytes;
    if (RegQueryValueExW(key.get(), Wide(value.name).c_str(), nullptr, &type, bytes, &size) !=
            ERROR_SUCCESS ||
        size != sizeof bytes)
        return 0;
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
           static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

bool WriteNumber(const RegistryValue& value, DWORD number) {
    const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                           static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return SetValue(value, REG_DWORD, bytes, sizeof bytes);
}

RegistryData ReadBinary(const RegistryValue& value) {
    DWORD type = REG_NONE;
    RegistryData data;
    if (!ReadWhole(value, "rd._cbData", type, data)) return RegistryData();
    return data;
}

bool WriteBinary(const RegistryValue& value, const RegistryData& data) {
    if (!data.data && data.size) return false;
    return SetValue(value, REG_BINARY, data.data, data.size);
}

bool ReadVersioned(const RegistryValue& value, DWORD expected, RegistryData& record) {
    if (!record.data && record.size) return false;
    RegistryData stored = ReadBinary(value);
    if (stored.size < 4) return false;
    const DWORD header =
        static_cast<DWORD>(stored.data[0]) | static_cast<DWORD>(stored.data[1]) << 8 |
        static_cast<DWORD>(stored.data[2]) << 16 | static_cast<DWORD>(stored.data[3]) << 24;
    const auto major = static_cast<std::int16_t>(header >> 16);
    const auto minor = static_cast<std::uint16_t>(header & 0xFFFF);
    if (major != static_cast<std::int16_t>(expected >> 16) ||
        minor < static_cast<std::uint16_t>(expected & 0xFFFF))
        return false;
    const DWORD available = stored.size - 4;
    const DWORD copied = available < record.size ? available : record.size;
    if (copied) std::memcpy(record.data, stored.data + 4, copied);
    if (record.size > copied) std::memset(record.data + copied, 0, record.size - copied);
    return true;
}

bool WriteVersioned(const RegistryValue& value, DWORD version, const RegistryData& record) {
    if (!record.data && record.size) return false;
    if (record.size > 0xFFFFFFFFu - 4) return false;
    const DWORD total = record.size + 4;
    BYTE* full = static_cast<BYTE*>(MemAlloc(total, MM("cbFull")));
    if (!full) return false;
    full[0] = static_cast<BYTE>(version);
    full[1] = static_cast<BYTE>(version >> 8);
    full[2] = static_cast<BYTE>(version >> 16);
    full[3] = static_cast<BYTE>(version >> 24);
    if (record.size) std::memcpy(full + 4, record.data, record.size);
    const bool ok = SetValue(value, REG_BINARY, full, total);
    MemFree(full, MM("cbFull"));
    return ok;
}

bool CopyValue(const RegistryValue& target, const RegistryValue& source) {
    DWORD type = REG_NONE;
    RegistryData data;
    if (!ReadWhole(source, "cbData", type, data)) {
        DeleteValue(target);
        return false;
    }
    return SetValue(target, type, data.data, data.size);
}

bool DeleteValue(const RegistryValue& value) {
    OpenedKey key(value.key, false);
    if (!key) return false;
    return RegDeleteValueW(key.get(), Wide(value.name).c_str()) == ERROR_SUCCESS;
}

bool DeleteKey(const RegistryKey& key, const string& name) {
    if (name.empty()) return false;
    OpenedKey opened(key, false);
    if (!opened) return false;
    return RegDeleteKeyW(opened.get(), Wide(name).c_str()) == ERROR_SUCCESS;
}

bool DeleteKeyTree(const RegistryKey& key, const string& name) {
    // An empty name would open the key itself and empty it, a whole root at worst.
    if (name.empty()) return false;
    OpenedKey opened(key, false);
    if (!opened) return false;
    return DeleteTreeBelow(opened.get(), Wide(name).c_str());
}
