// Private to the platform core: the table behind kernel handles.
#pragma once

#include "platform/base.h"

#include <memory>

namespace platform::kernel {

// Everything a HANDLE can name. Waitable kinds override Wait.
class Object {
public:
    virtual ~Object() = default;
    // Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (with the last error set).
    virtual DWORD Wait(DWORD milliseconds);
};

// Handle values are never reused within a process, so a stale handle fails cleanly instead
// of reaching an object created later.
HANDLE Insert(std::shared_ptr<Object> object);
std::shared_ptr<Object> Lookup(HANDLE handle);
bool Remove(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(Lookup(handle));
}

// Maps errno to the platform's error code.
DWORD ErrorFromErrno(int error);

} // namespace platform::kernel

namespace platform::kernel {

// mkdir -p; true when the directory exists afterwards.
bool MakeDirectories(const std::string& path);

} // namespace platform::kernel

namespace platform::kernel {

// Upper-cases for comparisons that ignore case, as the platform does for file and registry
// names: ASCII, Latin-1, Latin Extended-A (the Esperanto letters), Greek and Cyrillic.
char16_t FoldChar(char16_t c);
std::u16string FoldCase(std::u16string_view text);

} // namespace platform::kernel

namespace platform::kernel {

bool RecordPendingDelete(const std::string& path);

} // namespace platform::kernel
