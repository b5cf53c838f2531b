// `PROPERTIES`: a settings table read from "key = value" lines, keyed without regard to case.
// The skin definition and the setup program's own settings are kept in it.
#pragma once

#include "foundation/cetl.h"
#include "foundation/tl_string.h"

namespace cetl {

// One setting: its text and that text read as a decimal integer (0 when it is not one).
struct PROPERTIESVALUE {
    string text;
    long value = 0;
};

class PROPERTIES : public stringmap<PROPERTIESVALUE> {
public:
    PROPERTIES() : stringmap<PROPERTIESVALUE>(0.25, 12) {}

    // Reads "key = value" lines (CR or LF ends a line). Leading blanks and blank lines are
    // skipped; a line starting with "#" is a comment; one starting with "=" or without "=" is
    // ignored. Key and value lose surrounding tabs and spaces; a later key replaces an earlier
    // one. With `remove`, each line instead names a key to delete ("key" or "key = ...").
    void Parse(const TCHAR* text, std::size_t length, bool remove = false);
    void Parse(const string& text, bool remove = false) {
        Parse(text.c_str(), text.length(), remove);
    }
    // The text of a setting, empty when absent.
    const string& Text(const TCHAR* key) const { return get(istring(key)).text; }
};

} // namespace cetl
