// Text through FreeType: glyphs are rendered at the canvas's sample resolution, so they are
// filtered down like every other shape.
#include "tools/artgen/artgen.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sys/stat.h>

namespace artgen {

namespace {

struct FaceInfo {
    const char* family;
    const char* style;
    const char* file;
};

FaceInfo Info(Face face) {
    switch (face) {
    case Face::kSans:
        return {"DejaVu Sans", "Book", "DejaVuSans.ttf"};
    case Face::kSansBold:
        return {"DejaVu Sans", "Bold", "DejaVuSans-Bold.ttf"};
    case Face::kSansCondensed:
        return {"DejaVu Sans Condensed", "Condensed", "DejaVuSansCondensed.ttf"};
    case Face::kSansCondensedBold:
        return {"DejaVu Sans Condensed", "Condensed Bold", "DejaVuSansCondensed-Bold.ttf"};
    case Face::kSerif:
        return {"DejaVu Serif", "Book", "DejaVuSerif.ttf"};
    case Face::kSerifBold:
        return {"DejaVu Serif", "Bold", "DejaVuSerif-Bold.ttf"};
    case Face::kMonoBold:
        return {"DejaVu Sans Mono", "Bold", "DejaVuSansMono-Bold.ttf"};
    }
    return {"DejaVu Sans", "Book", "DejaVuSans.ttf"};
}

bool Exists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// fontconfig's file for the face, accepted only when it is the DejaVu file itself (a fallback
// to another family would change the pictures from machine to machine).
std::string FontconfigPath(const FaceInfo& info) {
    static const bool initialised = [] {
        if (!FcInit()) return false;
        // Fontconfig keeps allocations until it is finalised; leak checks would report them.
        std::atexit(FcFini);
        return true;
    }();
    if (!initialised) return {};
    std::string result;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(info.family));
    FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(info.style));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pattern, &res);
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            std::string path(reinterpret_cast<const char*>(file));
            std::string name = path.substr(path.find_last_of('/') + 1);
            if (name == info.file) result = path;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    // Looked up once per face; letting fontconfig go keeps its memory from outliving the tool.
    FcFini();
    return result;
}

class Fonts {
public:
    ~Fonts() {
        for (auto& [face, ft] : faces_)
            if (ft) FT_Done_Face(ft);
        if (library_) FT_Done_FreeType(library_);
    }

    FT_Face Get(Face face) {
        auto it = faces_.find(face);
        if (it != faces_.end()) return it->second;
        FT_Face ft = nullptr;
        if (!library_ && FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        // Art drawn without its text would go on into the game unnoticed: a missing face
        // stops the generator, and with it the build.
        const FaceInfo info = Info(face);
        const std::string path = FontPath(face);
        if (path.empty()) {
            std::fprintf(stderr,
                         "artgen: font \"%s %s\" (%s) not found; install fonts-dejavu-core and "
                         "fonts-dejavu-extra (scripts/install-deps)\n",
                         info.family, info.style, info.file);
            std::exit(1);
        }
        if (!library_ || FT_New_Face(library_, path.c_str(), 0, &ft) != 0) {
            std::fprintf(stderr, "artgen: cannot load font %s\n", path.c_str());
            std::exit(1);
        }
        faces_[face] = ft;
        return ft;
    }

private:
    FT_Library library_ = nullptr;
    std::map<Face, FT_Face> faces_;
};

Fonts& TheFonts() {
    static Fonts fonts;
    return fonts;
}

// Decodes UTF-8; false on a malformed sequence.
bool Decode(const std::string& text, std::vector<char32_t>* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size() + (extra == 0 ? 1 : 0))
            return false;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        out->push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

// Walks the glyphs of `text` at `pixelSize`, calling fn(glyph slot, pen x in 26.6) for each;
// returns the total advance in pixels, or -1.
template <typename Fn>
float Walk(Face face, float pixelSize, float tracking, const std::string& text, bool render,
           Fn fn) {
    FT_Face ft = TheFonts().Get(face);
    std::vector<char32_t> cps;
    if (!ft || pixelSize <= 0 || !Decode(text, &cps)) return -1;
    FT_Set_Char_Size(ft, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * 64)), 72, 72);
    long pen = 0;
    FT_UInt previous = 0;
    for (char32_t cp : cps) {
        FT_UInt glyph = FT_Get_Char_Index(ft, cp);
        if (previous && glyph && FT_HAS_KERNING(ft)) {
            FT_Vector k;
            if (FT_Get_Kerning(ft, previous, glyph, FT_KERNING_UNFITTED, &k) == 0) pen += k.x;
        }
        FT_Int32 flags = FT_LOAD_NO_HINTING | (render ? FT_LOAD_RENDER : 0);
        if (FT_Load_Glyph(ft, glyph, flags) == 0) {
            fn(ft->glyph, pen);
            pen += ft->glyph->advance.x;
        }
        pen += std::lround(tracking * 64);
        previous = glyph;
    }
    return pen / 64.0f;
}

} // namespace

std::string FontPath(Face face) {
    FaceInfo info = Info(face);
    std::string path = FontconfigPath(info);
    if (Exists(path)) return path;
    path = std::string("/usr/share/fonts/truetype/dejavu/") + info.file;
    return Exists(path) ? path : std::string();
}

float TextWidth(const TextStyle& style, const std::string& text) {
    return Walk(style.face, style.size, style.tracking, text, false, [](FT_GlyphSlot, long) {});
}

float TextAscent(const TextStyle& style) {
    FT_Face ft = TheFonts().Get(style.face);
    if (!ft) return 0;
    return style.size * ft->ascender / ft->units_per_EM;
}

float TextDescent(const TextStyle& style) {
    FT_Face ft = TheFonts().Get(style.face);
    if (!ft) return 0;
    return -style.size * ft->descender / ft->units_per_EM;
}

bool DrawText(Canvas& canvas, const TextStyle& style, Point origin, const std::string& text,
              const Paint& paint, Blend blend, float opacity) {
    const int s = canvas.Scale();
    const float inv = 1.0f / s;
    // Everything happens in sample units; the origin's fraction is kept in the pen.
    float ox = origin.x * s, oy = origin.y * s;
    Canvas layer(canvas.Width(), canvas.Height(), s);
    int bx0 = layer.PixelWidth(), by0 = layer.PixelHeight(), bx1 = -1, by1 = -1;
    float advance = Walk(
        style.face, style.size * s, style.tracking * s, text, true, [&](FT_GlyphSlot g, long pen) {
            const FT_Bitmap& bm = g->bitmap;
            if (bm.pixel_mode != FT_PIXEL_MODE_GRAY) return;
            int left = static_cast<int>(std::lround(ox + pen / 64.0f)) + g->bitmap_left;
            int top = static_cast<int>(std::lround(oy)) - g->bitmap_top;
            for (unsigned row = 0; row < bm.rows; ++row)
                for (unsigned col = 0; col < bm.width; ++col) {
                    unsigned char v = bm.buffer[row * static_cast<unsigned>(bm.pitch) + col];
                    if (!v) continue;
                    int px = left + static_cast<int>(col), py = top + static_cast<int>(row);
                    float a = v / 255.0f;
                    Rgba old = layer.Sample(px, py);
                    // Glyphs may overlap a little; keep the stronger coverage.
                    if (a > old.a) layer.SetSample(px, py, {a, a, a, a});
                    bx0 = std::min(bx0, px), by0 = std::min(by0, py);
                    bx1 = std::max(bx1, px), by1 = std::max(by1, py);
                }
        });
    if (advance < 0) return false;
    for (int py = std::max(by0, 0); py <= std::min(by1, layer.PixelHeight() - 1); ++py)
        for (int px = std::max(bx0, 0); px <= std::min(bx1, layer.PixelWidth() - 1); ++px) {
            float a = layer.Sample(px, py).a;
            if (a <= 0) continue;
            Rgba c = paint((px + 0.5f) * inv, (py + 0.5f) * inv);
            c.a *= a * opacity;
            canvas.PutSample(px, py, c, 1.0f, blend);
        }
    return true;
}

} // namespace artgen
