// Accelerator tables: LoadAccelerators, CreateAcceleratorTable, TranslateAccelerator and the
// key state they read.
#include "platform/core/driver.h"
#include "platform/core/window_internal.h"
#include "platform/resource.h"
#include "platform/user.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr BYTE kKnownFlags = FVIRTKEY | FNOINVERT | FSHIFT | FCONTROL | FALT;
constexpr WORD kLastEntry = 0x80;

struct Table {
    std::vector<ACCEL> entries;
};

struct Tables {
    std::mutex lock;
    std::map<HACCEL, std::shared_ptr<const Table>> live;
};
Tables& GetTables() {
    static auto* tables = new Tables; // used until the very end
    return *tables;
}

HACCEL Keep(std::vector<ACCEL> entries) {
    auto table = std::make_shared<Table>();
    table->entries = std::move(entries);
    // The handle is the table's own address: unique while the table lives.
    HACCEL handle = reinterpret_cast<HACCEL>(table.get());
    Tables& tables = GetTables();
    std::lock_guard hold(tables.lock);
    tables.live[handle] = std::move(table);
    return handle;
}

std::shared_ptr<const Table> Find(HACCEL handle) {
    Tables& tables = GetTables();
    std::lock_guard hold(tables.lock);
    auto it = tables.live.find(handle);
    return it == tables.live.end() ? nullptr : it->second;
}

std::uint32_t U16(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

} // namespace

HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name) {
    HMODULE module = instance != nullptr ? instance : GetModuleHandleW(nullptr);
    HRSRC found = name == nullptr ? nullptr : FindResourceW(module, name, MAKEINTRESOURCEW(9));
    if (found == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const DWORD size = SizeofResource(module, found);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    // Entries of 8 bytes (flags, key, command, padding); the last one's flags carry 0x80.
    std::vector<ACCEL> entries;
    bool ended = false;
    if (data != nullptr && size > 0 && size % 8 == 0) {
        for (DWORD at = 0; at < size && !ended; at += 8) {
            const std::uint32_t flags = U16(data + at);
            if ((flags & ~static_cast<std::uint32_t>(kKnownFlags | kLastEntry)) != 0) break;
            entries.push_back(ACCEL{static_cast<BYTE>(flags & kKnownFlags),
                                    static_cast<WORD>(U16(data + at + 2)),
                                    static_cast<WORD>(U16(data + at + 4))});
            ended = (flags & kLastEntry) != 0;
        }
    }
    if (!ended) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return Keep(std::move(entries));
}

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name))
        return LoadAcceleratorsW(instance, reinterpret_cast<LPCWSTR>(name));
    std::u16string wide = platform::wm::FromNarrow(name);
    return LoadAcceleratorsW(instance, wide.c_str());
}

HACCEL CreateAcceleratorTableW(LPACCEL entries, int count) {
    if (entries == nullptr || count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<ACCEL> copy(entries, entries + count);
    for (ACCEL& e : copy)
        e.fVirt &= kKnownFlags;
    return Keep(std::move(copy));
}

BOOL DestroyAcceleratorTable(HACCEL table) {
    Tables& tables = GetTables();
    std::lock_guard hold(tables.lock);
    if (tables.live.erase(table) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 0xFF) return 0;
    return platform::driver::IsKeyDown(static_cast<UINT>(virtualKey)) ? static_cast<SHORT>(0x8000)
                                                                      : 0;
}

int TranslateAcceleratorW(HWND hwnd, HACCEL handle, LPMSG msg) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto table = Find(handle);
    if (table == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const UINT m = msg->message;
    const bool keyDown = m == WM_KEYDOWN || m == WM_SYSKEYDOWN;
    const bool character = m == WM_CHAR || m == WM_SYSCHAR;
    if (!keyDown && !character) return 0;
    // A system key message is one typed with Alt held.
    const bool alt = m == WM_SYSKEYDOWN || m == WM_SYSCHAR || GetKeyState(VK_MENU) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    for (const ACCEL& e : table->entries) {
        if (static_cast<WPARAM>(e.key) != msg->wParam) continue;
        if (e.fVirt & FVIRTKEY) {
            if (!keyDown || ((e.fVirt & FSHIFT) != 0) != shift ||
                ((e.fVirt & FCONTROL) != 0) != control || ((e.fVirt & FALT) != 0) != alt)
                continue;
        } else if (!character || ((e.fVirt & FALT) != 0) != alt) {
            continue;
        }
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(e.cmd, 1), 0);
        return 1;
    }
    return 0;
}

int TranslateAcceleratorA(HWND hwnd, HACCEL table, LPMSG msg) {
    return TranslateAcceleratorW(hwnd, table, msg);
}
