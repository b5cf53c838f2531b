// tessark-soundgen OUTDIR: writes the game's sounds into OUTDIR: wave_1030.wav ... wave_1045.wav
// and the logo sounds as zz blocks, logo_5001.zz ... logo_5003.zz. Run by the build; the same
// bytes every time. Exit 0 done, 1 a file could not be written, 2 bad usage.
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "tools/soundgen/sounds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool WriteAll(const std::filesystem::path& path, const void* data, std::size_t size) {
    // Written beside the target and renamed, so an interrupted run never leaves a short file
    // that the build would take as up to date.
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    return !ec;
}

int Run(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const soundgen::Sound& s : soundgen::RenderAll()) {
        std::string name =
            (s.logo ? "logo_" : "wave_") + std::to_string(s.id) + (s.logo ? ".zz" : ".wav");
        bool ok = false;
        if (s.logo) {
            BYTE* block = nullptr;
            DWORD size = 0;
            if (zzcompress(&block, &size, s.wave.data(), static_cast<DWORD>(s.wave.size()))) {
                ok = WriteAll(dir / name, block, size);
                zzfree(block);
            }
        } else {
            ok = WriteAll(dir / name, s.wave.data(), s.wave.size());
        }
        if (!ok) {
            std::fprintf(stderr, "tessark-soundgen: cannot write %s\n",
                         (dir / name).string().c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessark-soundgen OUTDIR\n");
        return 2;
    }
    int rc = Run(argv[1]);
    MemExitCheck();
    return rc;
}
