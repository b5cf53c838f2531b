// Private to the platform core: the desktop menu entries that shortcuts bring with them.
#pragma once

#include <string>

namespace platform::shell {

// Called with the host path of a file that has just been deleted: when it was a shortcut with
// a desktop menu entry, the entry and its icon go too. Anything else is left alone.
void ForgetShortcut(const std::string& hostPath);

} // namespace platform::shell
