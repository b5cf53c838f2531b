#include "setup/sl_uninst.h"

#include "setup/sl_internal.h"
#include "setup/sl_main.h"

#include <cstdio>
#include <cstring>

namespace setuplib {

namespace {

// Far above any real log; a larger file is not a log of ours.
constexpr DWORD kLogLimit = 4u << 20;

void Trace(const char* format, const std::string& text) {
    char line[1200];
    std::snprintf(line, sizeof line, format, text.c_str());
    TraceLine(line);
}

// The hook's answer on the device, through the uninstaller's "ChainAppHook" there: refused only
// when that call answers kHookRefused.
bool DeviceHookAgrees(RAPI* rapi, const std::string& makerFolder, const std::string& hook,
                      const char* function, const std::string& product) {
    std::u16string input;
    for (const std::string& part : {hook, std::string(function), product}) {
        input += platform::Widen(part);
        input += u'\0';
    }
    auto size = static_cast<DWORD>(input.size() * sizeof(char16_t));
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
    if (block == nullptr) return true;
    std::memcpy(block, input.data(), size);
    std::u16string library = platform::Widen(makerFolder + "\\uninstaller.dll");
    DWORD outputSize = 0;
    BYTE* output = nullptr;
    // The input block belongs to the call from here on.
    HRESULT result = CeRapiInvoke(rapi, library.c_str(), u"ChainAppHook", size, block, &outputSize,
                                  &output, nullptr, 0);
    if (output != nullptr) LocalFree(output);
    return result != kHookRefused;
}

bool HookAgrees(const TargetSystem& system, const std::string& makerFolder, const std::string& hook,
                const char* function, const std::string& product) {
    if (system.device()) {
        return DeviceHookAgrees(system.connection(), makerFolder, hook, function, product);
    }
    return AskHook(hook, function, product) != HookAnswer::No;
}

void RemoveFile(const TargetSystem& system, const std::string& path) {
    system.setAttributes(path, 0);
    system.deleteFile(path);
    if (!system.exists(path)) return;
    // In use: out of the way under a name that says so, and gone at the next start.
    std::string moved = system.moveToSafeName(path);
    if (moved.empty()) {
        Trace("setuplib: uninstall could not remove %s\n", path);
        return;
    }
    if (system.device()) {
        system.deleteFile(moved);
    } else {
        MoveFileExA(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        NoteChange();
    }
}

void Replay(const TargetSystem& system, const JournalEntry& entry) {
    std::string key;
    switch (entry.kind) {
    case kDeleteDir:
        system.removeDirectory(entry.first);
        return;
    case kDeleteFile:
        if (system.exists(entry.first)) RemoveFile(system, entry.first);
        return;
    case kDeleteKey: {
        HKEY root = SplitRoot(entry.first, &key);
        if (root != nullptr && !key.empty() && system.keyIsEmpty(root, key)) {
            system.deleteKey(root, key);
        }
        return;
    }
    case kDeleteVal: {
        HKEY root = SplitRoot(entry.first, &key);
        HKEY opened = nullptr;
        if (root == nullptr || system.openKey(root, key, &opened) != ERROR_SUCCESS) return;
        system.deleteValue(opened, entry.second);
        system.closeKey(opened);
        return;
    }
    case kAppHook:
        return;
    }
}

} // namespace

HookAnswer AskHook(const std::string& library, const std::string& function,
                   const std::string& product) {
    HMODULE module = LoadLibraryA(library.c_str());
    if (module == nullptr) return HookAnswer::Unavailable;
    auto hook = reinterpret_cast<UninstallHook>(GetProcAddressA(module, function.c_str()));
    HookAnswer answer = HookAnswer::Unavailable;
    if (hook != nullptr) {
        std::u16string wide = platform::Widen(product);
        answer = hook(wide.c_str()) ? HookAnswer::Yes : HookAnswer::No;
    }
    FreeLibrary(module);
    return answer;
}

bool CallHook(const std::string& library, const std::string& function, const std::string& product) {
    return AskHook(library, function, product) == HookAnswer::Yes;
}

bool Uninstall(const std::string& product, RAPI* rapi) {
    if (!UsableProductName(product)) {
        Trace("setuplib: uninstall cannot use the product name \"%s\"\n", product);
        return false;
    }
    const TargetSystem system(rapi);
    const std::string maker = MakerFolder(system);
    const std::string log = LogPath(maker, product);
    const std::string fresh = log + ".new";
    std::string text;
    // A log being replaced when the installer stopped is complete under its new name.
    if (!system.readFile(log, &text, kLogLimit) && !system.readFile(fresh, &text, kLogLimit)) {
        Trace("setuplib: uninstall could not read %s\n", log);
        return false;
    }
    const Journal entries = ParseLog(text);

    std::string hookHome;
    std::string hook;
    for (const JournalEntry& entry : entries) {
        if (entry.kind != kAppHook || !system.exists(entry.first)) continue;
        hook = system.moveToSafeName(entry.first);
        if (!hook.empty()) {
            hookHome = entry.first;
            break;
        }
    }
    if (!hook.empty() && !HookAgrees(system, maker, hook, "OnUninstallBegin", product)) {
        Trace("setuplib: uninstall of %s refused by its hook\n", product);
        // Refused: the hook goes back where it was, so nothing has changed.
        system.moveFile(hook, hookHome);
        return false;
    }

    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        Replay(system, *entry);

    system.setAttributes(log, 0);
    system.deleteFile(log);
    if (system.exists(fresh)) system.deleteFile(fresh);
    unregisterproduct(rapi, product);

    if (!hook.empty()) {
        HookAgrees(system, maker, hook, "OnUninstallEnd", product);
        RemoveFile(system, hook);
    }
    return true;
}

} // namespace setuplib
