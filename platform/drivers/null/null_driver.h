// The headless driver: an offscreen screen, input scripts (TESSARK_SCRIPT) and screenshots.
#pragma once

#include "platform/core/driver.h"

#include <string>

namespace platform::drivers::null {

// The headless driver with the script from TESSARK_SCRIPT, or without input when it is unset.
const platform::driver::Driver* Driver();
// The headless driver playing the script in `text` (one command a line), replacing any script
// being played. A script with a line that cannot be understood is refused whole: `error` says
// which line, and the program is closed at once instead of running half a script.
const platform::driver::Driver* WithScript(const std::string& text, std::string* error);

} // namespace platform::drivers::null
