// tessark-rc [-I dir]... [-d depfile] -o output.cpp script.rc
#include "tools/rc/rc_compiler.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    tessark::rc::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* flag) -> const char* {
            if (arg.size() > 2) return argv[i] + 2;
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tessark-rc: %s needs a value\n", flag);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg.rfind("-I", 0) == 0) {
            const char* v = value("-I");
            if (v == nullptr) return 2;
            options.includeDirs.emplace_back(v);
        } else if (arg.rfind("-o", 0) == 0) {
            const char* v = value("-o");
            if (v == nullptr) return 2;
            options.output = v;
        } else if (arg.rfind("-d", 0) == 0) {
            const char* v = value("-d");
            if (v == nullptr) return 2;
            options.depfile = v;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "tessark-rc: unknown option %s\n", arg.c_str());
            return 2;
        } else if (options.script.empty()) {
            options.script = arg;
        } else {
            std::fprintf(stderr, "tessark-rc: more than one script given\n");
            return 2;
        }
    }
    if (options.script.empty() || options.output.empty()) {
        std::fprintf(stderr,
                     "usage: tessark-rc [-I dir]... [-d depfile] -o output.cpp script.rc\n");
        return 2;
    }
    std::string errors;
    if (!tessark::rc::Compile(options, &errors)) {
        std::fputs(errors.c_str(), stderr);
        return 1;
    }
    return 0;
}
