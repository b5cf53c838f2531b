// tessark-rc: compiles a resource script (a subset of the .rc language) into a C++ source that
// holds the program's resource table.
//
// Understood: #define, #undef, #include (of headers of ids; only their preprocessor lines count,
// and <system> headers that are not found are skipped), #ifdef/#ifndef/#if/#else/#endif,
// LANGUAGE (ignored), STRINGTABLE, DIALOG and DIALOGEX with their controls, ICON, CURSOR,
// BITMAP, ACCELERATORS and resources of any numbered or named type whose data is a file.
#pragma once

#include <string>
#include <vector>

namespace tessark::rc {

struct Options {
    std::string script;
    std::string output;  // the generated C++ source
    std::string depfile; // optional: the files read, for the build tool
    std::vector<std::string> includeDirs;
};

// On failure `errors` holds one "file:line: message" line per problem and nothing is written.
bool Compile(const Options& options, std::string* errors);

} // namespace tessark::rc
