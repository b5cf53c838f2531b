// The uninstall routine: replays a target's uninstall log, newest entry first, after asking the
// product's hook library, then removes the log and the product's registration. The uninstaller
// library ("uninstaller.dll") runs it; the setup library's tests drive it directly.
#pragma once

#include "platform/types.h"

#include <string>

struct RAPI;

namespace setuplib {

// What a hook library exports as "OnUninstallBegin" and "OnUninstallEnd": called with the
// product name; a false answer to the first refuses the uninstall.
using UninstallHook = BOOL (*)(LPCWSTR product);

// The answer of the device's "ChainAppHook" (through CeRapiInvoke) that means the hook refused.
inline constexpr long kHookRefused = 31;

// Uninstalls `product` from the desktop (rapi null) or from the device behind `rapi`. False when
// the log cannot be read or the hook refuses; in both cases nothing is changed.
bool Uninstall(const std::string& product, RAPI* rapi);

// How a hook answered: yes, no, or not at all (library or function missing).
enum class HookAnswer { Yes, No, Unavailable };

// Loads `library` on this machine and calls its hook `function` with `product`. This is what
// "ChainAppHook" on the device does for the uninstall routine there.
HookAnswer AskHook(const std::string& library, const std::string& function,
                   const std::string& product);

// AskHook answered yes.
bool CallHook(const std::string& library, const std::string& function, const std::string& product);

} // namespace setuplib
