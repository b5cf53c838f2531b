// The registry: a persistent store of keys and typed values per machine, kept in an SQLite
// database (<machine>/registry.sqlite3). Key and value names compare without regard to case;
// value types and bytes are kept exactly; every write is one transaction, so processes may
// share a store and a killed writer never leaves a value half-written. A damaged database is
// moved aside (renamed, never deleted) and a fresh store takes its place, so readers see
// "not found" and fall back to their defaults.
#pragma once

#include "platform/base.h"

#include <memory>
#include <string>

using REGSAM = DWORD;
using PHKEY = HKEY*;
using LPBYTE = BYTE*;
using LPCBYTE = const BYTE*;

#define HKEY_CLASSES_ROOT                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE                                                                         \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u

#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define GENERIC_ALL 0x10000000u

// Access masks are accepted and not enforced: every handle may read and write, as on the
// device. Names are at most 255 characters per key path component and 16383 per value name.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
// Creates every missing key of the path in one transaction.
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                     REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegCloseKey(HKEY key);
// With data NULL, *dataSize receives the size; a buffer too small gives ERROR_MORE_DATA with
// the size needed. Strings come back exactly as stored (UTF-16 with their terminator).
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Subkeys come in order of their names (ignoring case); *nameChars holds the buffer size in
// characters and receives the length without the terminator.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime);
// Values come in the order they were first written.
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptor, PFILETIME lastWriteTime);

namespace platform::reg {

// One machine's registry. The Reg* functions reach the store of MachineDir() through the
// root keys; keys opened from another store (the emulated device's) carry that store with
// them, so the same Reg* calls work on it.
class Store;

// Opens (creating and, when `seed` is set, seeding a new one) the store of a machine
// directory. Never null: a store that cannot be opened answers every call with an error.
std::shared_ptr<Store> OpenStore(const std::string& machineDir, bool seed = true);

// Opens or creates a key below a root key of a given store; the result works with the Reg*
// functions.
LONG OpenKey(const std::shared_ptr<Store>& store, HKEY root, LPCWSTR subKey, PHKEY result);
LONG CreateKey(const std::shared_ptr<Store>& store, HKEY root, LPCWSTR subKey, PHKEY result,
               LPDWORD disposition);

// The file name of a store inside its machine directory.
inline constexpr const char* kStoreFileName = "registry.sqlite3";

} // namespace platform::reg
