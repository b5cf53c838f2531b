// tessark-gdi-demo OUT.bmp: a test card of the drawing layer — every depth, every copy mode and
// every text style — drawn into a 24-bit surface and written as a BMP file.
#include "platform/gdi.h"
#include "tools/gdi-demo/bmp_writer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 620;
const COLORREF kKey = RGB(255, 0, 255);

// A DIB section with its own memory context; paletted depths use the system palette.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    void* bits = nullptr;

    Surface(int w, int h, int bpp) {
        std::vector<unsigned char> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = w;
        info->bmiHeader.biHeight = -h;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = static_cast<WORD>(bpp);
        info->bmiHeader.biCompression = bpp == 16 ? BI_BITFIELDS : BI_RGB;
        auto* extra = block.data() + sizeof(BITMAPINFOHEADER);
        if (bpp == 16) {
            DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
            std::memcpy(extra, masks, sizeof(masks));
        } else if (bpp <= 8) {
            PALETTEENTRY system[256];
            GetSystemPaletteEntries(nullptr, 0, 256, system);
            auto* table = reinterpret_cast<RGBQUAD*>(extra);
            int n = 1 << bpp;
            for (int i = 0; i < n; ++i) {
                // Small tables take colours from both ends so they include white and the key.
                const PALETTEENTRY& e =
                    n == 2 ? system[i * 255] : system[i < n / 2 ? i : 256 - n + i];
                table[i] = {e.peBlue, e.peGreen, e.peRed, 0};
            }
        }
        bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Surface() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

void Fill(HDC dc, RECT r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void Label(HDC dc, HFONT font, int x, int y, const char* text) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
    SelectObject(dc, old);
}

// A sprite on the key colour: a disc with a bar, drawn in four colours.
void DrawSprite(HDC dc, int size) {
    Fill(dc, {0, 0, size, size}, kKey);
    int c = size / 2, r2 = (size / 2 - 2) * (size / 2 - 2);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int dx = x - c, dy = y - c;
            if (dx * dx + dy * dy <= r2) {
                SetPixel(dc, x, y,
                         dx < 0 ? (dy < 0 ? RGB(255, 0, 0) : RGB(0, 0, 255))
                                : (dy < 0 ? RGB(0, 255, 0) : RGB(255, 255, 0)));
            }
        }
    }
    Fill(dc, {c - 2, 2, c + 2, size - 2}, RGB(0, 0, 0));
}

// A checkerboard so that transparency and raster operations show.
void Checker(HDC dc, RECT area) {
    for (int y = area.top; y < area.bottom; y += 8) {
        for (int x = area.left; x < area.right; x += 8) {
            bool dark = ((x - area.left) / 8 + (y - area.top) / 8) % 2;
            Fill(dc, {x, y, std::min<int>(x + 8, area.right), std::min<int>(y + 8, area.bottom)},
                 dark ? RGB(96, 96, 160) : RGB(200, 200, 230));
        }
    }
}

void DepthRow(HDC card, HFONT small, int top) {
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int i = 0; i < 6; ++i) {
        Surface s(100, 64, depths[i]);
        // A hue ramp over a grey ramp; each depth shows it through its own colours.
        for (int x = 0; x < 100; ++x) {
            int h = x * 6 * 256 / 100;
            int seg = h / 256, f = h % 256;
            int r = seg == 0 || seg == 5 ? 255 : seg == 1 ? 255 - f : seg == 4 ? f : 0;
            int g = seg == 0 ? f : seg < 3 ? 255 : seg == 3 ? 255 - f : 0;
            int b = seg < 2 ? 0 : seg == 2 ? f : seg < 5 ? 255 : 255 - f;
            Fill(s.dc, {x, 0, x + 1, 32}, RGB(r, g, b));
            Fill(s.dc, {x, 32, x + 1, 64}, RGB(x * 255 / 99, x * 255 / 99, x * 255 / 99));
        }
        int x = 10 + i * 118;
        BitBlt(card, x, top, 100, 64, s.dc, 0, 0, SRCCOPY);
        char text[32];
        std::snprintf(text, sizeof(text), "%d bits", depths[i]);
        Label(card, small, x, top + 66, text);
    }
}

void CopyRow(HDC card, HFONT small, int top) {
    Surface sprite(32, 32, 8);
    DrawSprite(sprite.dc, 32);
    struct Mode {
        const char* name;
        DWORD rop;
    } modes[] = {{"SRCCOPY", SRCCOPY},     {"SRCAND", SRCAND},         {"SRCPAINT", SRCPAINT},
                 {"SRCINVERT", SRCINVERT}, {"NOTSRCCOPY", NOTSRCCOPY}, {"DSTINVERT", DSTINVERT}};
    for (int i = 0; i < 6; ++i) {
        int x = 10 + i * 118;
        Checker(card, {x, top, x + 48, top + 48});
        BitBlt(card, x + 8, top + 8, 32, 32, sprite.dc, 0, 0, modes[i].rop);
        Label(card, small, x, top + 50, modes[i].name);
    }
    int second = top + 72;
    // Mask path: the key becomes a 1-bit mask, the sprite's key pixels turn black.
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    HDC maskDC = CreateCompatibleDC(nullptr);
    HGDIOBJ oldMask = SelectObject(maskDC, mask);
    Surface masked(32, 32, 24);
    BitBlt(masked.dc, 0, 0, 32, 32, sprite.dc, 0, 0, SRCCOPY);
    SetBkColor(masked.dc, kKey);
    BitBlt(maskDC, 0, 0, 32, 32, masked.dc, 0, 0, SRCCOPY);
    BitBlt(maskDC, 0, 0, 32, 32, nullptr, 0, 0, DSTINVERT);
    SetBkColor(masked.dc, RGB(255, 255, 255));
    BitBlt(masked.dc, 0, 0, 32, 32, maskDC, 0, 0, SRCAND);
    BitBlt(maskDC, 0, 0, 32, 32, nullptr, 0, 0, DSTINVERT);
    int x = 10;
    Checker(card, {x, second, x + 48, second + 48});
    BitBlt(card, x + 8, second + 8, 32, 32, maskDC, 0, 0, SRCAND);
    BitBlt(card, x + 8, second + 8, 32, 32, masked.dc, 0, 0, SRCPAINT);
    Label(card, small, x, second + 50, "mask");
    x += 118;
    Checker(card, {x, second, x + 48, second + 48});
    TransparentImage(card, x + 8, second + 8, 32, 32, sprite.dc, 0, 0, 32, 32, kKey);
    Label(card, small, x, second + 50, "key 1:1");
    x += 118;
    Checker(card, {x, second, x + 72, second + 64});
    TransparentImage(card, x + 4, second, 64, 64, sprite.bitmap, 0, 0, 32, 32, kKey);
    Label(card, small, x, second + 66, "key 2:1");
    x += 118;
    Checker(card, {x, second, x + 48, second + 48});
    TransparentImage(card, x + 16, second + 16, 16, 16, sprite.dc, 0, 0, 32, 32, kKey);
    Label(card, small, x, second + 50, "key 1:2");
    x += 118;
    SetStretchBltMode(card, COLORONCOLOR);
    StretchBlt(card, x, second, 96, 48, sprite.dc, 0, 0, 32, 32, SRCCOPY);
    Label(card, small, x, second + 50, "StretchBlt");
    x += 118;
    Checker(card, {x, second, x + 48, second + 48});
    Fill(maskDC, {0, 0, 32, 32}, RGB(255, 255, 255));
    Fill(maskDC, {8, 8, 24, 24}, RGB(0, 0, 0));
    SetTextColor(card, RGB(200, 0, 0));
    SetBkColor(card, RGB(255, 255, 200));
    BitBlt(card, x + 8, second + 8, 32, 32, maskDC, 0, 0, SRCCOPY);
    SetTextColor(card, RGB(0, 0, 0));
    SetBkColor(card, RGB(255, 255, 255));
    Label(card, small, x, second + 50, "mask->colour");
    SelectObject(maskDC, oldMask);
    DeleteDC(maskDC);
    DeleteObject(mask);
}

void TextRow(HDC card, int top) {
    struct Style {
        const char* description;
        const char16_t* sample;
    } styles[] = {{"-13", u"Regular -13"},
                  {"B,-13", u"Bold"},
                  {"I,-13", u"Italic"},
                  {"U,-13", u"Underline"},
                  {"BIU,-13", u"All three"},
                  {"Arial,8", u"Arial 8 pt"},
                  {"MS Shell Dlg,10", u"MS Shell Dlg 10 pt"},
                  {"-20", u"Ĉiuĵaŭde ŝi ĝuas ĥoron"}};
    int y = top;
    for (const Style& s : styles) {
        HFONT font = platform::gdi::FontFromDescription(s.description, false);
        HGDIOBJ old = SelectObject(card, font);
        SetBkMode(card, TRANSPARENT);
        SetTextColor(card, RGB(0, 0, 0));
        ExtTextOutW(card, 10, y, 0, nullptr, s.sample,
                    static_cast<UINT>(std::char_traits<char16_t>::length(s.sample)), nullptr);
        SIZE size;
        GetTextExtentPoint32W(card, s.sample, 1, &size);
        y += size.cy + 2;
        SelectObject(card, old);
        DeleteObject(font);
    }
    // Colours, opaque background and an 8-bit surface (nearest palette entries).
    HFONT font = platform::gdi::FontFromDescription("B,-16", true);
    HGDIOBJ old = SelectObject(card, font);
    SetBkMode(card, OPAQUE);
    SetBkColor(card, RGB(0, 0, 128));
    SetTextColor(card, RGB(255, 255, 255));
    ExtTextOutW(card, 10, y + 4, 0, nullptr, u" Opaque, white on navy ", 23, nullptr);
    SetBkMode(card, TRANSPARENT);
    SelectObject(card, old);
    Surface paletted(200, 24, 8);
    Fill(paletted.dc, {0, 0, 200, 24}, RGB(255, 255, 255));
    old = SelectObject(paletted.dc, font);
    SetBkMode(paletted.dc, TRANSPARENT);
    SetTextColor(paletted.dc, RGB(200, 0, 0));
    TextOutW(paletted.dc, 4, 2, u"8 bits: ŝanĝoj", 14);
    SelectObject(paletted.dc, old);
    BitBlt(card, 10, y + 30, 200, 24, paletted.dc, 0, 0, SRCCOPY);
    DeleteObject(font);
}

void BoxColumn(HDC card, HFONT small, int left, int top) {
    // DrawText alignments and a wrapped paragraph.
    HFONT font = platform::gdi::FontFromDescription("-12", false);
    HGDIOBJ old = SelectObject(card, font);
    SetBkMode(card, TRANSPARENT);
    SetTextColor(card, RGB(0, 0, 0));
    const UINT formats[] = {DT_SINGLELINE | DT_VCENTER, DT_SINGLELINE | DT_VCENTER | DT_CENTER,
                            DT_SINGLELINE | DT_VCENTER | DT_RIGHT};
    const char* names[] = {"left", "centre", "right"};
    for (int i = 0; i < 3; ++i) {
        RECT r{left, top + i * 26, left + 180, top + i * 26 + 22};
        Fill(card, r, RGB(230, 230, 230));
        DrawTextA(card, names[i], -1, &r, formats[i]);
    }
    RECT box{left, top + 84, left + 180, top + 190};
    Fill(card, box, RGB(255, 255, 220));
    DrawTextW(card,
              u"A paragraph wraps inside its rectangle from the top, breaking between words; "
              u"longwordsthatdonotfitaresplit.",
              -1, &box, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(card, old);
    DeleteObject(font);

    // Edges and a focus rectangle.
    int y = top + 200;
    RECT raised{left, y, left + 80, y + 30};
    Fill(card, raised, GetSysColor(COLOR_BTNFACE));
    DrawEdge(card, &raised, EDGE_RAISED, BF_RECT);
    RECT sunken{left + 100, y, left + 180, y + 30};
    Fill(card, sunken, GetSysColor(COLOR_BTNFACE));
    DrawEdge(card, &sunken, EDGE_SUNKEN, BF_RECT);
    RECT focus{left + 4, y + 4, left + 76, y + 26};
    DrawFocusRect(card, &focus);
    Label(card, small, left, y + 32, "raised, focus / sunken");

    // A region built from pieces, filled rectangle by rectangle.
    y += 56;
    HRGN shape = CreateRectRgn(left, y, left + 60, y + 40);
    HRGN piece = CreateRectRgn(left + 40, y + 20, left + 120, y + 60);
    HRGN hole = CreateRectRgn(left + 10, y + 10, left + 30, y + 30);
    CombineRgn(shape, shape, piece, RGN_OR);
    CombineRgn(shape, shape, hole, RGN_DIFF);
    OffsetRgn(shape, 40, 0);
    DWORD size = GetRegionData(shape, 0, nullptr);
    std::vector<unsigned char> data(size);
    auto* rgn = reinterpret_cast<RGNDATA*>(data.data());
    GetRegionData(shape, size, rgn);
    const RECT* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
    for (DWORD i = 0; i < rgn->rdh.nCount; ++i) {
        Fill(card, rects[i], RGB(0, 140, 70));
    }
    Label(card, small, left, y + 62, "region (or, diff, offset)");
    for (HRGN r : {shape, piece, hole})
        DeleteObject(r);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessark-gdi-demo OUT.bmp\n");
        return 2;
    }
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
    Surface card(kWidth, kHeight, 24);
    if (card.bitmap == nullptr) {
        std::fprintf(stderr, "tessark-gdi-demo: cannot create the card\n");
        return 1;
    }
    Fill(card.dc, {0, 0, kWidth, kHeight}, RGB(255, 255, 255));
    HFONT small = platform::gdi::FontFromDescription("-11", false);
    DepthRow(card.dc, small, 10);
    CopyRow(card.dc, small, 100);
    TextRow(card.dc, 260);
    BoxColumn(card.dc, small, 500, 260);
    DeleteObject(small);
    if (!gdi_demo::WriteBmp24(argv[1], static_cast<const unsigned char*>(card.bits), kWidth,
                              kHeight, ((kWidth * 24 + 31) / 32) * 4)) {
        std::fprintf(stderr, "tessark-gdi-demo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
