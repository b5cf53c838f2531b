// tessark-img: looks into and converts the engine's images (PSP and BMP) through Graphic.
//   tessark-img info FILE
//   tessark-img convert IN OUT.bmp [--layer N]
// Exit codes: 0 done, 1 wrong arguments, 2 an image that cannot be read or written.
#include "engine/cea_graphic.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tessark-img info FILE\n"
                         "       tessark-img convert IN OUT.bmp [--layer N]\n");
    return 1;
}

int Fail(const std::string& line) {
    std::fprintf(stderr, "tessark-img: %s\n", line.c_str());
    return 2;
}

bool ReadWhole(const char* path, std::vector<BYTE>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    BYTE buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

std::string ColourText(COLORREF c) {
    if (c == kNoColor) return "none";
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

// The picture as frames: layers of a PSP file, or the one picture.
struct Loaded {
    Sprite* sprite = nullptr;
    ~Loaded() { MemDelete(sprite, MM("SPRITE")); }
};

bool Load(const char* path, Loaded& loaded, std::string& error) {
    std::vector<BYTE> bytes;
    if (!ReadWhole(path, bytes)) {
        error = std::string(path) + ": cannot be read";
        return false;
    }
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) {
        error = std::string(path) + ": not a PSP or BMP image";
        return false;
    }
    loaded.sprite = new (MM("SPRITE"))
        Sprite(bytes.data(), static_cast<DWORD>(bytes.size()), 1, 1, kSpriteAllFrames);
    if (loaded.sprite->GetFrameCount() == 0) {
        error = std::string(path) + ": not a readable PSP or BMP image";
        return false;
    }
    return true;
}

int Info(const char* path) {
    Loaded loaded;
    std::string error;
    if (!Load(path, loaded, error)) return Fail(error);
    Graphic* frame = loaded.sprite->GetFrame(0);
    std::printf("width: %ld\nheight: %ld\nbits per pixel: %lu\nlayers: %lu\n"
                "transparent colour: %s\nselection: %s\n",
                static_cast<long>(frame->GetWidth()), static_cast<long>(frame->GetHeight()),
                static_cast<unsigned long>(frame->GetBitsPerPixel()),
                static_cast<unsigned long>(loaded.sprite->GetFrameCount()),
                ColourText(frame->GetTransparency()).c_str(),
                loaded.sprite->GetImage()->HasSelection() ? "yes" : "no");
    return 0;
}

int Convert(const char* in, const char* out, long layer) {
    Loaded loaded;
    std::string error;
    if (!Load(in, loaded, error)) return Fail(error);
    Graphic* frame = loaded.sprite->GetFrame(static_cast<DWORD>(layer));
    if (!frame)
        return Fail(std::string(in) + ": has no layer " + std::to_string(layer) + " (it has " +
                    std::to_string(loaded.sprite->GetFrameCount()) + ")");
    DWORD bits = frame->GetBitsPerPixel();
    if (bits < 8)
        return Fail(std::string(in) + ": " + std::to_string(bits) + "-bit images cannot be saved");
    HANDLE file = CreateFileA(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(std::string(out) + ": cannot be created");
    bool ok = frame->Save(file);
    ok = CloseHandle(file) && ok;
    if (!ok) {
        DeleteFileA(out);
        return Fail(std::string(out) + ": could not be written");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::UseCallerFlavour();
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
    if ((argc == 4 || argc == 6) && std::strcmp(argv[1], "convert") == 0) {
        long layer = 0;
        if (argc == 6) {
            if (std::strcmp(argv[4], "--layer") != 0) return Usage();
            char* end = nullptr;
            layer = std::strtol(argv[5], &end, 10);
            if (!*argv[5] || *end || layer < 0) return Usage();
        }
        return Convert(argv[2], argv[3], layer);
    }
    return Usage();
}
