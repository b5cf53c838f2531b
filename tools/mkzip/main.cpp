// tessark-mkzip: writes a ZIP archive of named files, stored as they are, for archives the build
// links into a program (the setup program's game builds).
//
//   tessark-mkzip OUTPUT.zip NAME=FILE...
#include "tools/skingen/zip_writer.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

int Usage() {
    std::fputs("usage: tessark-mkzip OUTPUT.zip NAME=FILE...\n"
               "Writes the files into OUTPUT.zip under the given entry names, stored.\n",
               stderr);
    return 2;
}

bool ReadAll(const std::string& path, skingen::Bytes* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    skingen::ZipWriter zip;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size()) {
            std::fprintf(stderr, "tessark-mkzip: '%s' is not NAME=FILE\n", arg.c_str());
            return 2;
        }
        skingen::Bytes data;
        const std::string file = arg.substr(eq + 1);
        if (!ReadAll(file, &data)) {
            std::fprintf(stderr, "tessark-mkzip: cannot read %s\n", file.c_str());
            return 1;
        }
        // The ZIP reader has no ZIP64: stay within 32-bit sizes.
        if (data.size() >= 0xFFFFFFFFu) {
            std::fprintf(stderr, "tessark-mkzip: %s is too large for a ZIP entry\n", file.c_str());
            return 1;
        }
        zip.Add(arg.substr(0, eq), data, false);
    }
    const skingen::Bytes archive = zip.Finish();
    const std::string output = argv[1];
    const std::string partial = output + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(archive.data()),
                  static_cast<std::streamsize>(archive.size()));
        if (!out.good()) {
            std::fprintf(stderr, "tessark-mkzip: cannot write %s\n", partial.c_str());
            std::remove(partial.c_str());
            return 1;
        }
    }
    if (std::rename(partial.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "tessark-mkzip: cannot write %s\n", output.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
