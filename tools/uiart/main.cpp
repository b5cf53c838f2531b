// tessark-uiart OUTDIR: writes the status strips (graphic_1016.psp English, graphic_1017.psp
// Esperanto) and the button faces (graphic_1012.psp) into OUTDIR. Run by the build; the same
// bytes every time. Exit 0 done, 1 a file could not be written, 2 bad usage.
#include "foundation/memory.h"
#include "tools/uiart/uiart.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessark-uiart OUTDIR\n");
        return 2;
    }
    std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    bool ok = artgen::WriteBytes((dir / "graphic_1016.psp").string(),
                                 artgen::PspBytes(uiart::StatusStrips(false))) &&
              artgen::WriteBytes((dir / "graphic_1017.psp").string(),
                                 artgen::PspBytes(uiart::StatusStrips(true))) &&
              artgen::WriteBytes((dir / "graphic_1012.psp").string(),
                                 artgen::PspBytes(uiart::ButtonFaces()));
    MemExitCheck();
    return ok ? 0 : 1;
}
