#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "tools/cli/cli.h"
#include "tools/cli/game.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "game") {
        const int code = RunGame(std::vector<std::string>(args.begin() + 1, args.end()), std::cin,
                                 std::cout, std::cerr);
        std::cout.flush();
        MemExitCheck();
        return code;
    }
    int code;
    {
        std::string out, err;
        code = RunCli(args, out, err);
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fwrite(err.data(), 1, err.size(), stderr);
    }
    std::fflush(stdout);
    // A leak is reported on stderr but does not change the answer the caller asked for.
    MemExitCheck();
    return code;
}
