// Registry access: a key named by one path with a root prefix, a value named by a key and a
// value name, and typed reads and writes that open the key anew for each operation and close
// it at once. Failures show only in the result (false, 0, empty), so callers fall back to their
// defaults. Versioned binary values carry a 4-byte version in front of a fixed record, which
// lets a newer program read an older record and an older program refuse a newer layout.
#pragma once

#include "foundation/tl_string.h"
#include "platform/reg.h"

// A key below one of the three roots. Holds no open handle.
class RegistryKey {
public:
    // "HKLM\", "HKCU\", "HKCR\" in any case pick the root; "HKLM", "HKCU", "HKCR" alone name the
    // root itself; any other path is a subkey of HKEY_CURRENT_USER.
    explicit RegistryKey(const string& path);
    RegistryKey(HKEY root, const string& subkey);
    // The child `name` of `parent`.
    RegistryKey(const RegistryKey& parent, const string& name);

    HKEY root;
    string subkey;
};

// A value of a key; an empty name is the key's default value.
class RegistryValue {
public:
    RegistryValue(const RegistryKey& key, const string& name) : key(key), name(name) {}

    RegistryKey key;
    string name;
};

// A byte buffer for binary reads and writes. An owned buffer (from the memory manager) is
// freed with it and copied byte for byte; a borrowed one only refers to the caller's bytes.
class RegistryData {
public:
    RegistryData() = default;
    // Borrows `size` bytes at `bytes`.
    RegistryData(void* bytes, DWORD size) : data(static_cast<BYTE*>(bytes)), size(size) {}
    // An owned, zeroed buffer of `size` bytes; empty when memory ran out.
    static RegistryData Owned(DWORD size);
    RegistryData(const RegistryData& other);
    RegistryData(RegistryData&& other) noexcept;
    RegistryData& operator=(const RegistryData& other);
    RegistryData& operator=(RegistryData&& other) noexcept;
    ~RegistryData();

    bool operator==(const RegistryData& other) const;

    BYTE* data = nullptr;
    DWORD size = 0;
    BYTE owned = 0;

private:
    void Release();
};

// Stored size in bytes and type; 0 when the key or value is missing.
DWORD GetSize(const RegistryValue& value);
DWORD GetType(const RegistryValue& value);

// REG_SZ or REG_EXPAND_SZ text; empty when missing or of any other type.
string ReadString(const RegistryValue& value);
// REG_SZ, UTF-16 with its terminating zero.
bool WriteString(const RegistryValue& value, const string& text);

// A stored 4-byte value; 0 when it cannot be read as one.
DWORD ReadNumber(const RegistryValue& value);
bool WriteNumber(const RegistryValue& value, DWORD number);

// An owned buffer with the stored bytes of any type; empty when missing.
RegistryData ReadBinary(const RegistryValue& value);
bool WriteBinary(const RegistryValue& value, const RegistryData& data);

// Reads a versioned value into the caller's fixed-size buffer `record`. Accepted only with the
// expected major version and a minor version at least the expected one; the stored record is
// cut to the buffer's size or zero-filled after its data. On failure the buffer is untouched.
bool ReadVersioned(const RegistryValue& value, DWORD expected, RegistryData& record);
bool WriteVersioned(const RegistryValue& value, DWORD version, const RegistryData& record);

// Writes the source's bytes with its type to the target; when the source cannot be read, the
// target value is deleted and the result is false.
bool CopyValue(const RegistryValue& target, const RegistryValue& source);
bool DeleteValue(const RegistryValue& value);
// Removes the direct child `name` of `key`, which must have no subkeys. An empty name removes
// nothing (here and below).
bool DeleteKey(const RegistryKey& key, const string& name);
// Removes the child `name` of `key` with everything below it.
bool DeleteKeyTree(const RegistryKey& key, const string& name);
