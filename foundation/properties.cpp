#include "foundation/properties.h"

namespace cetl {

namespace {

bool Blank(TCHAR c) {
    return c == ' ' || c == '\t';
}

string Trimmed(const TCHAR* from, const TCHAR* to) {
    while (from < to && Blank(*from))
        ++from;
    while (to > from && Blank(to[-1]))
        --to;
    return string(from, static_cast<std::size_t>(to - from));
}

} // namespace

void PROPERTIES::Parse(const TCHAR* text, std::size_t length, bool remove) {
    if (!text) return;
    const TCHAR* p = text;
    const TCHAR* end = text + length;
    while (p < end) {
        while (p < end && (Blank(*p) || *p == '\r' || *p == '\n'))
            ++p;
        const TCHAR* line = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        const TCHAR* lineEnd = p;
        if (line == lineEnd || *line == '#' || *line == '=') continue;
        const TCHAR* equals = line;
        while (equals < lineEnd && *equals != '=')
            ++equals;
        if (remove) {
            string key = Trimmed(line, equals);
            if (!key.empty()) map::remove(istring(key));
            continue;
        }
        if (equals == lineEnd) continue;
        PROPERTIESVALUE v;
        v.text = Trimmed(equals + 1, lineEnd);
        v.value = v.text.to_long();
        set(istring(Trimmed(line, equals)), v);
    }
}

} // namespace cetl
