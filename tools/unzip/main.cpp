// tessark-unzip ARCHIVE [ENTRY]: lists the entries of a ZIP archive as the setup program's
// reader sees them (name, method, stored and expanded sizes, time), or writes one entry's
// expanded bytes to standard output. Exit 0 done, 1 bad usage or no such entry, 2 an archive
// that cannot be read or is damaged (the reader's message on standard error).
#include "foundation/cetl.h"
#include "foundation/memory.h"
#include "setup/unzipper.h"

#include <cstdio>
#include <filesystem>

namespace {

int Run(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tessark-unzip ARCHIVE [ENTRY]\n");
        return 1;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(argv[1], ec)) {
        std::fprintf(stderr, "tessark-unzip: %s: cannot be read\n", argv[1]);
        return 2;
    }
    try {
        ZIPFILE zip(argv[1]);
        if (zip.size() == 0 && std::filesystem::file_size(argv[1], ec) == 0) {
            std::fprintf(stderr, "tessark-unzip: %s: empty file\n", argv[1]);
            return 2;
        }
        if (argc == 3) {
            const ZIPENTRY* e = zip.Find(argv[2]);
            if (!e) {
                std::fprintf(stderr, "tessark-unzip: %s: no entry %s\n", argv[1], argv[2]);
                return 1;
            }
            if (e->size && std::fwrite(e->data, 1, e->size, stdout) != e->size) return 2;
            return 0;
        }
        for (const auto& item : zip) {
            const ZIPENTRY& e = *item.value;
            const ZIPTIME& t = e.time;
            std::printf("%-8s %10u %10u  %04u-%02u-%02u %02u:%02u:%02u  %s\n",
                        e.method == 0 ? "stored" : "deflated", e.compressedSize, e.size, t.wYear,
                        t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, e.name.c_str());
        }
        return 0;
    } catch (const cetl::exception& e) {
        std::fprintf(stderr, "tessark-unzip: %s: %s\n", argv[1], e.message().c_str());
        return 2;
    }
}

} // namespace

int main(int argc, char** argv) {
    int status = Run(argc, argv);
    MemExitCheck();
    return status;
}
