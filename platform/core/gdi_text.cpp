// Fonts and text: fontconfig resolves faces, FreeType renders, and coverage is blended onto the
// surface (or mapped to the nearest palette entry on paletted surfaces).
#include "platform/core/gdi_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace platform::gdi::detail {

struct Glyph {
    int width = 0;
    int rows = 0;
    int left = 0;
    int top = 0;
    int advance = 0;
    std::vector<BYTE> coverage; // width x rows, 0..255
};

struct FontFace {
    FT_Face face = nullptr;
    int ascent = 0;
    int descent = 0;
    int em = 0;
    int underlinePosition = 0; // pixels below the baseline
    int underlineThickness = 1;
    bool syntheticBold = false;
    bool syntheticItalic = false;
    bool antialias = true;
    bool underline = false;
    int weight = FW_NORMAL;
    bool italic = false;
    std::unordered_map<char32_t, Glyph> glyphs;

    ~FontFace() {
        if (face != nullptr) FT_Done_Face(face);
    }
    int Height() const { return ascent + descent; }
};

} // namespace platform::gdi::detail

using namespace platform::gdi::detail;

namespace {

constexpr char kDefaultFace[] = "DejaVu Sans";
constexpr char32_t kEsperanto[] = {0x109, 0x11D, 0x125, 0x135, 0x15D, 0x16D};

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
        return lib;
    }();
    return library;
}

// ---- Text decoding; positions map each code point back to its first unit.

struct Decoded {
    std::u32string text;
    std::vector<int> start; // unit index of each code point, plus the total at the end
};

Decoded DecodeUtf8(const char* s, int count) {
    Decoded d;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    int i = 0;
    while (i < count) {
        d.start.push_back(i);
        unsigned c = p[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 7);
        bool ok = extra >= 0 && i + extra < count;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000) || (extra == 1 && cp < 0x80) ||
            (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)) {
            d.text.push_back(0xFFFD);
            ++i;
            continue;
        }
        d.text.push_back(cp);
        i += 1 + extra;
    }
    d.start.push_back(count);
    return d;
}

Decoded DecodeUtf16(const char16_t* s, int count) {
    Decoded d;
    int i = 0;
    while (i < count) {
        d.start.push_back(i);
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            d.text.push_back(0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            i += 2;
            continue;
        }
        d.text.push_back(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
        ++i;
    }
    d.start.push_back(count);
    return d;
}

int LengthOf(const char* s) {
    return static_cast<int>(std::strlen(s));
}
int LengthOf(const char16_t* s) {
    int n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

std::string NarrowFace(const WCHAR* face) {
    std::string out;
    for (int i = 0; i < LF_FACESIZE && face[i] != 0; ++i) {
        char32_t c = face[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// ---- Face resolution

struct Match {
    std::string file;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
};

bool HasEsperanto(FcPattern* pattern) {
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
    for (char32_t c : kEsperanto) {
        if (!FcCharSetHasChar(charset, c)) return false;
    }
    return true;
}

bool MatchFace(const std::string& family, bool bold, bool italic, Match& out) {
    static bool initialised = [] {
        if (!FcInit()) return false;
        // Fontconfig keeps allocations until it is finalised; leak checks would report them.
        std::atexit(FcFini);
        return true;
    }();
    if (!initialised) return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return false;
    bool ok = false;
    FcChar8* file = nullptr;
    // Every face must have the Esperanto letters; one that lacks them is not used.
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && HasEsperanto(match)) {
        out.file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, &out.index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &out.weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &out.slant);
        ok = true;
    }
    FcPatternDestroy(match);
    return ok;
}

std::string FaceWithoutEo(std::string face) {
    if (face.size() >= 3 && face.compare(face.size() - 3, 3, " Eo") == 0) {
        face.resize(face.size() - 3);
    }
    while (!face.empty() && face.back() == ' ')
        face.pop_back();
    return face.empty() ? kDefaultFace : face;
}

std::shared_ptr<FontFace> Realise(const LOGFONTW& lf) {
    FT_Library library = Library();
    if (library == nullptr) return nullptr;
    bool bold = lf.lfWeight >= 600;
    bool italic = lf.lfItalic != 0;
    Match match;
    std::string family = FaceWithoutEo(NarrowFace(lf.lfFaceName));
    if (!MatchFace(family, bold, italic, match) && !MatchFace(kDefaultFace, bold, italic, match)) {
        return nullptr;
    }
    auto font = std::make_shared<FontFace>();
    if (FT_New_Face(library, match.file.c_str(), match.index, &font->face) != 0) {
        font->face = nullptr;
        return nullptr;
    }
    FT_Face face = font->face;
    int em;
    if (lf.lfHeight < 0) {
        em = lf.lfHeight < -2048 ? 2048 : -lf.lfHeight;
    } else if (lf.lfHeight > 0) {
        // A positive height is the cell (ascent + descent); the em is that much smaller.
        long cell = face->ascender - face->descender;
        long height = std::min<long>(lf.lfHeight, 2048);
        em = cell > 0 ? static_cast<int>((height * face->units_per_EM + cell / 2) / cell)
                      : static_cast<int>(height);
    } else {
        em = 12;
    }
    em = std::max(em, 1);
    auto setSize = [&](int pixels) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) return false;
        font->em = pixels;
        font->ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
        font->descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
        return true;
    };
    if (!setSize(em)) return nullptr;
    // A cell height is a limit: rounding of the metrics must not make the cell taller.
    while (lf.lfHeight > 0 && font->Height() > lf.lfHeight && font->em > 1) {
        if (!setSize(font->em - 1)) return nullptr;
    }
    long scale = face->size->metrics.y_scale;
    font->underlinePosition =
        std::max(1, static_cast<int>((-FT_MulFix(face->underline_position, scale) + 32) >> 6));
    font->underlineThickness =
        std::max(1, static_cast<int>((FT_MulFix(face->underline_thickness, scale) + 32) >> 6));
    font->syntheticBold = bold && match.weight < FC_WEIGHT_DEMIBOLD;
    font->syntheticItalic = italic && match.slant == FC_SLANT_ROMAN;
    font->antialias = lf.lfQuality != NONANTIALIASED_QUALITY;
    font->underline = lf.lfUnderline != 0;
    font->weight = bold ? FW_BOLD : FW_NORMAL;
    font->italic = italic;
    return font;
}

const Glyph& GlyphOf(FontFace& font, char32_t c) {
    auto it = font.glyphs.find(c);
    if (it != font.glyphs.end()) return it->second;
    Glyph& g = font.glyphs[c];
    FT_Face face = font.face;
    FT_Int32 flags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP |
                     (font.antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    if (FT_Load_Char(face, c, flags) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    long advance = slot->advance.x;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (font.syntheticBold) {
            FT_Pos strength = std::max<FT_Pos>(64, font.em * 64 / 16);
            FT_Outline_Embolden(&slot->outline, strength);
            advance += strength;
        }
        if (font.syntheticItalic) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    if (FT_Render_Glyph(slot, font.antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) {
        return g;
    }
    const FT_Bitmap& bm = slot->bitmap;
    g.width = static_cast<int>(bm.width);
    g.rows = static_cast<int>(bm.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = static_cast<int>((advance + 32) >> 6);
    g.coverage.assign(static_cast<std::size_t>(g.width) * g.rows, 0);
    for (int y = 0; y < g.rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<long>(y) * bm.pitch;
        for (int x = 0; x < g.width; ++x) {
            BYTE a;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                a = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
            } else {
                a = row[x];
            }
            g.coverage[static_cast<std::size_t>(y) * g.width + x] = a;
        }
    }
    return g;
}

FontFace* FaceOf(DC& dc) {
    Font& font = *dc.state.font;
    if (!font.face) font.face = Realise(font.logfont);
    return font.face.get();
}

int Advance(FontFace& font, char32_t c) {
    return GlyphOf(font, c).advance;
}

int Width(FontFace& font, const std::u32string& text) {
    int w = 0;
    for (char32_t c : text)
        w += Advance(font, c);
    return w;
}

// ---- Drawing

class Painter {
public:
    Painter(DC& dc, Surface& s, RECT clip) : s_(s), clip_(clip) {
        ClipRect(clip_, s.width, s.height);
        COLORREF text = ResolveColour(dc, dc.state.textColour);
        r_ = GetRValue(text);
        g_ = GetGValue(text);
        b_ = GetBValue(text);
        value_ = ValueForColour(dc, dc.state.textColour);
    }

    void Blend(int x, int y, BYTE a) {
        if (a == 0 || x < clip_.left || y < clip_.top || x >= clip_.right || y >= clip_.bottom) {
            return;
        }
        BYTE* row = s_.Row(y);
        if (a == 255) {
            s_.format->put(row, x, value_);
            return;
        }
        if (!s_.format->paletted) {
            BYTE r, g, b;
            s_.format->toRgb(s_.format->get(row, x), &r, &g, &b);
            s_.format->put(row, x, s_.format->fromRgb(Mix(r, r_, a), Mix(g, g_, a), Mix(b, b_, a)));
            return;
        }
        if (s_.bpp < 8) {
            // Too few colours to blend: the stronger half of the coverage takes the text colour.
            if (a >= 128) s_.format->put(row, x, value_);
            return;
        }
        DWORD old = s_.format->get(row, x);
        DWORD key = (old << 8) | a;
        auto it = nearest_.find(key);
        if (it == nearest_.end()) {
            COLORREF d = ValueToColour(s_, old);
            BYTE r = Mix(GetRValue(d), r_, a), g = Mix(GetGValue(d), g_, a),
                 b = Mix(GetBValue(d), b_, a);
            it = nearest_.emplace(key, NearestIndex(s_.table.data(), s_.tableSize, r, g, b)).first;
        }
        s_.format->put(row, x, it->second);
    }

    void Fill(RECT r) {
        RECT c = r;
        c.left = std::max(c.left, clip_.left);
        c.top = std::max(c.top, clip_.top);
        c.right = std::min(c.right, clip_.right);
        c.bottom = std::min(c.bottom, clip_.bottom);
        if (c.left < c.right && c.top < c.bottom) FillValue(s_, c, value_);
    }

private:
    static BYTE Mix(BYTE d, BYTE t, BYTE a) {
        return static_cast<BYTE>(d + ((t - d) * a + 127) / 255);
    }
    Surface& s_;
    RECT clip_;
    BYTE r_ = 0, g_ = 0, b_ = 0;
    DWORD value_ = 0;
    std::unordered_map<DWORD, DWORD> nearest_;
};

// Draws a run with its cell's top-left corner at (x, y); `underlined` marks characters that get
// a line of their own (prefix characters) when the font is not underlined throughout.
void DrawRun(DC& dc, FontFace& font, int x, int y, const std::u32string& text, const int* dx,
             RECT clip, const std::vector<bool>* underlined = nullptr) {
    Surface& s = dc.state.bitmap->surface;
    Painter painter(dc, s, clip);
    int baseline = y + font.ascent;
    int pen = x;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = GlyphOf(font, text[i]);
        for (int row = 0; row < g.rows; ++row) {
            for (int col = 0; col < g.width; ++col) {
                painter.Blend(pen + g.left + col, baseline - g.top + row,
                              g.coverage[static_cast<std::size_t>(row) * g.width + col]);
            }
        }
        int step = dx != nullptr ? dx[i] : g.advance;
        if (!font.underline && underlined != nullptr && i < underlined->size() &&
            (*underlined)[i]) {
            int top = baseline + font.underlinePosition;
            painter.Fill({pen, top, pen + step, top + font.underlineThickness});
        }
        pen += step;
    }
    if (font.underline) {
        int top = baseline + font.underlinePosition;
        painter.Fill({x, top, pen, top + font.underlineThickness});
    }
}

// Coordinates beyond this are off every surface (surfaces are far smaller).
constexpr long long kFar = 1 << 28;

// `area` and `clip` in surface coordinates.
void FillBackground(DC& dc, RECT area, RECT clip) {
    FillValue(dc.state.bitmap->surface, Intersect(area, clip),
              ValueForColour(dc, dc.state.bkColour));
}

// ---- Shared bodies of the narrow and wide forms

BOOL ExtentEx(HDC hdc, const Decoded& d, int maxExtent, int* fit, int* dx, SIZE* size) {
    auto dc = FindDC(hdc);
    if (!dc) return FALSE;
    FontFace* font = FaceOf(*dc);
    if (font == nullptr) return FALSE;
    int units = d.start.back();
    int total = 0, fitted = 0;
    bool fits = true;
    for (std::size_t i = 0; i < d.text.size(); ++i) {
        total += Advance(*font, d.text[i]);
        if (fits && total <= maxExtent) {
            fitted = d.start[i + 1];
        } else {
            fits = false;
        }
        if (dx != nullptr) {
            int last = fit != nullptr ? fitted : units;
            for (int u = d.start[i]; u < d.start[i + 1] && u < last; ++u)
                dx[u] = total;
        }
    }
    if (fit != nullptr) *fit = fitted;
    if (size != nullptr) *size = {total, font->Height()};
    return TRUE;
}

BOOL ExtTextOutCommon(HDC hdc, int x, int y, UINT options, const RECT* rect, const Decoded& d,
                      const int* dx) {
    auto dc = FindDC(hdc);
    if (!dc) return FALSE;
    FontFace* font = FaceOf(*dc);
    if (font == nullptr) return FALSE;
    // From here on in surface coordinates, never outside the context's area.
    const RECT area = AreaOf(*dc);
    const POINT origin = OriginOf(*dc);
    RECT moved = Offset({x, y, x, y}, origin.x, origin.y);
    x = moved.left;
    y = moved.top;
    // Text that far away cannot reach any surface; stopping here keeps pen arithmetic in range.
    const bool reachable =
        std::abs(static_cast<long long>(x)) < kFar && std::abs(static_cast<long long>(y)) < kFar;
    const RECT box = rect != nullptr ? Offset(*rect, origin.x, origin.y) : RECT{};
    RECT clip = (options & ETO_CLIPPED) && rect != nullptr ? Intersect(box, area) : area;
    if ((options & ETO_OPAQUE) && rect != nullptr) FillBackground(*dc, box, area);
    // Per-unit advances become per-character ones (the first unit of each character counts).
    std::vector<int> steps;
    if (dx != nullptr) {
        for (std::size_t i = 0; i < d.text.size(); ++i)
            steps.push_back(dx[d.start[i]]);
    }
    const int* advance = dx != nullptr ? steps.data() : nullptr;
    if (!reachable) return TRUE;
    if (dc->state.bkMode == OPAQUE) {
        int width = 0;
        for (std::size_t i = 0; i < d.text.size(); ++i) {
            width += advance != nullptr ? advance[i] : Advance(*font, d.text[i]);
        }
        FillBackground(*dc, {x, y, x + width, y + font->Height()}, clip);
    }
    DrawRun(*dc, *font, x, y, d.text, advance, clip);
    return TRUE;
}

struct Line {
    std::u32string text;
    std::vector<bool> underlined;
};

// Greedy wrapping between words; a word wider than the line is split where it stops fitting.
void WrapParagraph(FontFace& font, const Line& para, int width, std::vector<Line>& out) {
    std::size_t i = 0, n = para.text.size();
    bool first = true;
    while (i < n || first) {
        if (!first) {
            while (i < n && para.text[i] == U' ')
                ++i;
            if (i >= n) break;
        }
        first = false;
        std::size_t lineStart = i, lastBreak = std::string::npos;
        int w = 0;
        std::size_t j = i;
        for (; j < n; ++j) {
            if (para.text[j] == U' ') lastBreak = j;
            int a = Advance(font, para.text[j]);
            if (w + a > width && para.text[j] != U' ') {
                break;
            }
            w += a;
        }
        std::size_t end;
        if (j >= n) {
            end = n;
        } else if (lastBreak != std::string::npos && lastBreak > lineStart) {
            end = lastBreak;
        } else {
            end = std::max(j, lineStart + 1);
        }
        std::size_t trimmed = end;
        while (trimmed > lineStart && para.text[trimmed - 1] == U' ')
            --trimmed;
        Line line;
        line.text = para.text.substr(lineStart, trimmed - lineStart);
        line.underlined.assign(para.underlined.begin() + lineStart,
                               para.underlined.begin() + trimmed);
        out.push_back(std::move(line));
        i = end;
    }
}

int DrawTextCommon(HDC hdc, const Decoded& d, RECT* rect, UINT format) {
    auto dc = FindDC(hdc);
    if (!dc || rect == nullptr) return 0;
    FontFace* font = FaceOf(*dc);
    if (font == nullptr) return 0;
    // Prefix characters: "&x" underlines x, "&&" is one ampersand.
    Line all;
    for (std::size_t i = 0; i < d.text.size(); ++i) {
        char32_t c = d.text[i];
        bool mark = false;
        if (!(format & DT_NOPREFIX) && c == U'&' && i + 1 < d.text.size()) {
            c = d.text[++i];
            mark = c != U'&';
        }
        if (c == U'\t' && (format & DT_EXPANDTABS)) {
            for (int k = 0; k < 8; ++k) {
                all.text.push_back(U' ');
                all.underlined.push_back(false);
            }
            continue;
        }
        if (c == U'\r') continue;
        all.text.push_back(c);
        all.underlined.push_back(mark);
    }
    std::vector<Line> lines;
    const int width = rect->right - rect->left;
    if (format & DT_SINGLELINE) {
        Line line;
        for (std::size_t i = 0; i < all.text.size(); ++i) {
            if (all.text[i] == U'\n') continue;
            line.text.push_back(all.text[i]);
            line.underlined.push_back(all.underlined[i]);
        }
        lines.push_back(std::move(line));
    } else {
        Line para;
        for (std::size_t i = 0; i <= all.text.size(); ++i) {
            if (i == all.text.size() || all.text[i] == U'\n') {
                if (format & DT_WORDBREAK) {
                    WrapParagraph(*font, para, width, lines);
                } else {
                    lines.push_back(para);
                }
                para = Line();
                continue;
            }
            para.text.push_back(all.text[i]);
            para.underlined.push_back(all.underlined[i]);
        }
    }
    const int lineHeight = font->Height();
    const int total = lineHeight * static_cast<int>(lines.size());
    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) {
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        } else if (format & DT_BOTTOM) {
            top = rect->bottom - lineHeight;
        }
    }
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& line : lines)
            widest = std::max(widest, Width(*font, line.text));
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }
    const RECT area = AreaOf(*dc);
    const POINT origin = OriginOf(*dc);
    const RECT box = Offset(*rect, origin.x, origin.y);
    if (std::abs(static_cast<long long>(box.left)) >= kFar ||
        std::abs(static_cast<long long>(box.right)) >= kFar ||
        std::abs(static_cast<long long>(box.top)) >= kFar ||
        std::abs(static_cast<long long>(box.bottom)) >= kFar) {
        return top - rect->top + total;
    }
    RECT clip = (format & DT_NOCLIP) ? area : Intersect(box, area);
    int y = top - rect->top + box.top;
    for (const Line& line : lines) {
        int w = Width(*font, line.text);
        int x = box.left;
        if (format & DT_CENTER) {
            x = box.left + (width - w) / 2;
        } else if (format & DT_RIGHT) {
            x = box.right - w;
        }
        if (dc->state.bkMode == OPAQUE) FillBackground(*dc, {x, y, x + w, y + lineHeight}, clip);
        DrawRun(*dc, *font, x, y, line.text, nullptr, clip, &line.underlined);
        y += lineHeight;
    }
    return top - rect->top + total;
}

} // namespace

// ---- Public entry points

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
    std::lock_guard lock(Lock());
    if (lf == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_shared<Font>();
    font->logfont = *lf;
    font->logfont.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(Register(font));
}

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
    if (lf == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW w{};
    std::memcpy(&w, lf, offsetof(LOGFONTA, lfFaceName));
    int n = 0;
    while (n < LF_FACESIZE && lf->lfFaceName[n] != 0)
        ++n;
    Decoded d = DecodeUtf8(lf->lfFaceName, n);
    for (std::size_t i = 0, o = 0; i < d.text.size() && o < LF_FACESIZE - 1; ++i) {
        if (d.text[i] < 0x10000) w.lfFaceName[o++] = static_cast<WCHAR>(d.text[i]);
    }
    return CreateFontIndirectW(&w);
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* tm) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || tm == nullptr) return FALSE;
    FontFace* font = FaceOf(*dc);
    if (font == nullptr) return FALSE;
    *tm = {};
    tm->tmHeight = font->Height();
    tm->tmAscent = font->ascent;
    tm->tmDescent = font->descent;
    tm->tmInternalLeading = std::max(0, font->Height() - font->em);
    tm->tmAveCharWidth = Advance(*font, U'x');
    tm->tmMaxCharWidth = static_cast<LONG>(
        (FT_MulFix(font->face->max_advance_width, font->face->size->metrics.x_scale) + 63) >> 6);
    tm->tmWeight = font->weight;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFC;
    tm->tmDefaultChar = u'?';
    tm->tmBreakChar = u' ';
    tm->tmItalic = font->italic ? 1 : 0;
    tm->tmUnderlined = font->underline ? 1 : 0;
    tm->tmCharSet = DEFAULT_CHARSET;
    return TRUE;
}

BOOL GetTextExtentExPointA(HDC hdc, LPCSTR text, int count, int maxExtent, int* fit, int* dx,
                           SIZE* size) {
    std::lock_guard lock(Lock());
    if (text == nullptr || count < 0) return FALSE;
    return ExtentEx(hdc, DecodeUtf8(text, count), maxExtent, fit, dx, size);
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR text, int count, int maxExtent, int* fit, int* dx,
                           SIZE* size) {
    std::lock_guard lock(Lock());
    if (text == nullptr || count < 0) return FALSE;
    return ExtentEx(hdc, DecodeUtf16(text, count), maxExtent, fit, dx, size);
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE* size) {
    return GetTextExtentExPointA(hdc, text, count, 0, nullptr, nullptr, size);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size) {
    return GetTextExtentExPointW(hdc, text, count, 0, nullptr, nullptr, size);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const int* dx) {
    std::lock_guard lock(Lock());
    if (text == nullptr && count != 0) return FALSE;
    Decoded d = DecodeUtf8(text, static_cast<int>(count));
    return ExtTextOutCommon(hdc, x, y, options, rect, d, dx);
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const int* dx) {
    std::lock_guard lock(Lock());
    if (text == nullptr && count != 0) return FALSE;
    Decoded d = DecodeUtf16(text, static_cast<int>(count));
    return ExtTextOutCommon(hdc, x, y, options, rect, d, dx);
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count) {
    return count < 0 ? FALSE : ExtTextOutA(hdc, x, y, 0, nullptr, text, count, nullptr);
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
    return count < 0 ? FALSE : ExtTextOutW(hdc, x, y, 0, nullptr, text, count, nullptr);
}

int DrawTextA(HDC hdc, LPCSTR text, int count, RECT* rect, UINT format) {
    std::lock_guard lock(Lock());
    if (text == nullptr) return 0;
    return DrawTextCommon(hdc, DecodeUtf8(text, count < 0 ? LengthOf(text) : count), rect, format);
}

int DrawTextW(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
    std::lock_guard lock(Lock());
    if (text == nullptr) return 0;
    return DrawTextCommon(hdc, DecodeUtf16(text, count < 0 ? LengthOf(text) : count), rect, format);
}
