// tessark-skingen OUTDIR: draws the setup program's default skin and its own images into
// OUTDIR: skin.zip (skin.txt, the frame, control and icon images as PSP files on one shared
// palette, and the skin's sounds; list.psp and listitem.psp deflated, the rest stored),
// setup_501.psp (the "TessarkSetup" window frame with a shaped outline in its selection),
// setup_502.psp and setup_503.psp (the Install and Rescan buttons), setup_500.ico. The same
// bytes on every build. Exit 0 done, 1 a file could not be written, 2 bad usage.
#include "tools/artgen/artgen.h"
#include "tools/psp/psp_writer.h"
#include "tools/skingen/zip_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace artgen;
using skingen::Bytes;
using skingen::ZipWriter;

namespace {

const Rgb8 kKey{255, 0, 255}; // the skin's transparent colour
const Rgba kNavy = Rgb(30, 46, 96), kNavyLight = Rgb(58, 86, 160), kRim = Rgb(150, 176, 240);
const Rgba kAccent = Rgb(141, 164, 232), kPanel = Rgb(238, 242, 250), kInk = Rgb(20, 28, 60);

// A picture being drawn: its canvas, and whether its saved selection is its coverage.
struct Picture {
    std::string name;
    Canvas canvas;
    bool selection = false;
    bool fullSelection = false;
    Drawing drawing;
    std::vector<BYTE> mask;
    Picture(std::string n, int w, int h) : name(std::move(n)), canvas(w, h, 4) {}
};

void Finish(Picture& p) {
    std::vector<Rgba> px = p.canvas.Resolve();
    int w = p.canvas.Width(), h = p.canvas.Height();
    p.drawing.image = Flatten(px, w, h, kPanel, &kKey, 0.5f);
    if (p.selection || p.fullSelection)
        for (const Rgba& c : px)
            p.mask.push_back(p.fullSelection || c.a >= 0.5f ? 255 : 0);
}

std::vector<BYTE> Psp(const IndexedImage& image, const std::vector<BYTE>& mask) {
    psp::Image out;
    out.width = image.width, out.height = image.height, out.bitDepth = 8;
    out.compression = psp::kNone;
    for (const Rgb8& c : image.palette)
        out.palette.push_back({c.r, c.g, c.b});
    while (out.palette.size() < 256)
        out.palette.push_back({0, 0, 0});
    out.layers.push_back(psp::MakeIndexedLayer(image.width, image.height, image.indices));
    if (!mask.empty()) {
        out.hasSelection = true;
        out.selection = RECT{0, 0, image.width, image.height};
        out.selectionBytes = mask;
    }
    return psp::Write(out);
}

Paint Vertical(float y0, Rgba a, float y1, Rgba b) {
    return Linear({0, y0}, a, {0, y1}, b);
}

// --- The frame -------------------------------------------------------------------------------

// Corners: one rounded 32 x 32 frame whose quarters are the four corner cells.
void FrameCorners(Picture& p) {
    Canvas& c = p.canvas;
    c.FillRoundRect(0, 0, 32, 32, 12, Vertical(0, kNavyLight, 32, kNavy));
    c.FillRoundRect(0.5f, 0.5f, 31.5f, 31.5f, 11.5f, Solid(WithAlpha(kRim, 0)));
    c.StrokePath(EllipsePoints({12, 12}, 10.5f, 10.5f), 1.2f, Solid(WithAlpha(kRim, 0.0f)), true);
    // The rim: a light line just inside the outline, on each quarter.
    std::vector<Point> rim;
    for (int i = 0; i <= 24; ++i) {
        float a = 3.14159265f + i * (3.14159265f / 2) / 24;
        rim.push_back({12 + 10.8f * std::cos(a), 12 + 10.8f * std::sin(a)});
    }
    auto mirrored = [&](bool mx, bool my) {
        std::vector<Point> r;
        for (Point q : rim)
            r.push_back({mx ? 32 - q.x : q.x, my ? 32 - q.y : q.y});
        return r;
    };
    for (int k = 0; k < 4; ++k)
        c.StrokePath(mirrored(k & 1, k & 2), 1.2f, Solid(WithAlpha(kRim, 0.8f)), false);
    p.selection = true;
}

void FrameSides(Picture& p) {
    Canvas& c = p.canvas;
    c.FillRect(0, 0, 32, 16, Solid(kNavy));
    c.FillRect(1.2f, 0, 2.4f, 16, Solid(WithAlpha(kRim, 0.8f)));
    c.FillRect(29.6f, 0, 30.8f, 16, Solid(WithAlpha(kRim, 0.8f)));
    c.FillRect(14, 0, 16, 16, Solid(WithAlpha(kAccent, 0.5f)));
    c.FillRect(16, 0, 18, 16, Solid(WithAlpha(kAccent, 0.5f)));
    p.fullSelection = true;
}

void FrameEdges(Picture& p) {
    Canvas& c = p.canvas;
    c.FillRect(0, 0, 16, 16, Vertical(0, kNavyLight, 16, kNavy));
    c.FillRect(0, 16, 16, 32, Solid(kNavy));
    c.FillRect(0, 1.2f, 16, 2.4f, Solid(WithAlpha(kRim, 0.8f)));
    c.FillRect(0, 29.6f, 16, 30.8f, Solid(WithAlpha(kRim, 0.8f)));
    c.FillRect(0, 14, 16, 16, Solid(WithAlpha(kAccent, 0.5f)));
    c.FillRect(0, 16, 16, 18, Solid(WithAlpha(kAccent, 0.5f)));
    p.fullSelection = true;
}

// The close and minimise buttons: normal, under the mouse, pressed.
void TitleButton(Picture& p, bool close) {
    Canvas& c = p.canvas;
    const Rgba faces[3] = {Rgb(70, 98, 176), Rgb(110, 140, 220), Rgb(34, 52, 110)};
    for (int i = 0; i < 3; ++i) {
        float y = i * 16.0f;
        c.FillRoundRect(1, y + 1, 15, y + 15, 3,
                        Vertical(y, Scale(faces[i], 1.2f), y + 16, faces[i]));
        if (close) {
            c.StrokeLine({5, y + 5}, {11, y + 11}, 1.8f, Solid(Rgb(255, 255, 255)));
            c.StrokeLine({11, y + 5}, {5, y + 11}, 1.8f, Solid(Rgb(255, 255, 255)));
        } else {
            c.FillRect(4.5f, y + 10, 11.5f, y + 12, Solid(Rgb(255, 255, 255)));
        }
    }
}

void Background(Picture& p) {
    Canvas& c = p.canvas;
    c.Fill(Solid(Rgb(240, 243, 250)));
    for (int k = -64; k < 64; k += 16)
        c.StrokeLine({static_cast<float>(k), 64}, {static_cast<float>(k + 64), 0}, 0.6f,
                     Solid(WithAlpha(kAccent, 0.18f)));
}

// --- Controls ---------------------------------------------------------------------------------

// Push buttons, 3 x 4 cells of 20 x 24: rows inactive, active, under the mouse, pressed.
void PushButton(Picture& p, int cellW, int cellH, const std::string& label) {
    Canvas& c = p.canvas;
    float w = 3.0f * cellW;
    const Rgba tops[4] = {Rgb(200, 204, 214), Rgb(150, 172, 236), Rgb(176, 196, 250),
                          Rgb(90, 116, 196)};
    const Rgba bottoms[4] = {Rgb(170, 174, 186), Rgb(92, 120, 204), Rgb(120, 148, 230),
                             Rgb(120, 146, 222)};
    for (int r = 0; r < 4; ++r) {
        float y = static_cast<float>(r * cellH);
        c.FillRoundRect(1, y + 1, w - 1, y + cellH - 1, 6, Solid(Rgb(40, 52, 96)));
        c.FillRoundRect(2, y + 2, w - 2, y + cellH - 2, 5,
                        Vertical(y, tops[r], y + cellH, bottoms[r]));
        c.FillRoundRect(3, y + 2.5f, w - 3, y + cellH / 2.0f, 4, Solid(Rgb(255, 255, 255, 0.18f)));
        if (!label.empty()) {
            TextStyle style{Face::kSansBold, 12.0f, 0.2f};
            float tw = TextWidth(style, label);
            DrawText(c, style, {(w - tw) / 2, y + cellH / 2.0f + 4.5f}, label,
                     Solid(r == 0 ? Rgb(120, 124, 136) : Rgb(255, 255, 255)));
        }
    }
}

// Radio buttons and check boxes: 2 x 4 cells of 16 x 16, unchecked left, checked right.
void Toggle(Picture& p, bool radio) {
    Canvas& c = p.canvas;
    const Rgba rims[4] = {Rgb(160, 164, 176), Rgb(60, 84, 160), Rgb(90, 120, 220),
                          Rgb(30, 46, 110)};
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 2; ++col) {
            float x = col * 16.0f, y = r * 16.0f;
            Paint face = Vertical(y, Rgb(255, 255, 255), y + 16,
                                  r == 3 ? Rgb(200, 210, 236) : Rgb(226, 232, 246));
            if (radio) {
                c.FillEllipse({x + 8, y + 8}, 6.5f, 6.5f, Solid(rims[r]));
                c.FillEllipse({x + 8, y + 8}, 5.2f, 5.2f, face);
                if (col) c.FillEllipse({x + 8, y + 8}, 2.8f, 2.8f, Solid(rims[r]));
            } else {
                c.FillRoundRect(x + 1.5f, y + 1.5f, x + 14.5f, y + 14.5f, 2.5f, Solid(rims[r]));
                c.FillRoundRect(x + 2.8f, y + 2.8f, x + 13.2f, y + 13.2f, 1.5f, face);
                if (col)
                    c.StrokePath({{x + 4.5f, y + 8.5f}, {x + 7, y + 11}, {x + 11.5f, y + 5}}, 2.0f,
                                 Solid(rims[r]), false);
            }
        }
}

// Progress bar: left end, empty middle, filled middle, right end; cells of 10 x 16.
void ProgressBar(Picture& p) {
    Canvas& c = p.canvas;
    Canvas empty(40, 16, 4);
    c.FillRoundRect(0.5f, 1, 12, 15, 6, Solid(Rgb(60, 76, 130)));
    c.FillRoundRect(28, 1, 39.5f, 15, 6, Solid(Rgb(60, 76, 130)));
    c.FillRect(10, 1, 30, 15, Solid(Rgb(60, 76, 130)));
    c.FillRoundRect(1.5f, 2, 12, 14, 5, Vertical(2, Rgb(250, 250, 255), 14, Rgb(214, 220, 236)));
    c.FillRect(10, 2, 20, 14, Vertical(2, Rgb(250, 250, 255), 14, Rgb(214, 220, 236)));
    c.FillRect(20, 2, 30, 14, Vertical(2, Rgb(170, 196, 255), 14, Rgb(72, 104, 210)));
    c.FillRoundRect(28, 2, 38.5f, 14, 5, Vertical(2, Rgb(250, 250, 255), 14, Rgb(214, 220, 236)));
    c.FillRect(20, 3, 30, 6, Solid(Rgb(255, 255, 255, 0.3f)));
}

// A bordered panel of 3 x 3 cells (text, edit field, list): corners, edges, inside.
void Panel(Picture& p, int cell, Rgba border, Rgba inside, float radius, bool pattern) {
    Canvas& c = p.canvas;
    float s = 3.0f * cell;
    c.FillRoundRect(0.5f, 0.5f, s - 0.5f, s - 0.5f, radius, Solid(border));
    c.FillRoundRect(1.5f, 1.5f, s - 1.5f, s - 1.5f, radius - 1, Solid(inside));
    if (pattern)
        for (int y = 2; y < s - 2; y += 2)
            c.FillRect(2, static_cast<float>(y), s - 2, y + 1.0f, Solid(WithAlpha(kAccent, 0.07f)));
}

// Scroll bars: 4 x 4 cells of 16 x 16 in light blue. Row 0: the decrease and increase arrows,
// then both pressed; row 1: the track's start, middle and end; row 2: the thumb's start, middle
// and end, then its grip; row 3, with nothing to scroll: both arrows and the track.
void ScrollBar(Picture& p, bool vertical) {
    Canvas& c = p.canvas;
    for (int i = 0; i < 16; ++i) {
        float x = (i % 4) * 16.0f, y = (i / 4) * 16.0f;
        int row = i / 4, col = i % 4;
        if (row == 3 && col == 3) continue;
        bool arrow = row == 0 || (row == 3 && col < 2);
        Rgba face = row == 0   ? (col < 2 ? Rgb(150, 172, 236) : Rgb(96, 124, 206))
                    : row == 1 ? Rgb(224, 230, 244)
                    : row == 2 ? Rgb(110, 140, 220)
                               : Rgb(200, 204, 214);
        if (row == 2 && col == 3) {
            // The grip: three ridges on the thumb's face.
            c.FillRoundRect(x + 1, y + 1, x + 15, y + 15, 3,
                            Vertical(y, Scale(face, 1.1f), y + 16, face));
            for (int k = -1; k <= 1; ++k) {
                float o = 8 + 3.0f * k;
                if (vertical)
                    c.FillRect(x + 4, y + o - 0.5f, x + 12, y + o + 0.5f, Solid(kRim));
                else
                    c.FillRect(x + o - 0.5f, y + 4, x + o + 0.5f, y + 12, Solid(kRim));
            }
            continue;
        }
        c.FillRoundRect(x + 1, y + 1, x + 15, y + 15, 3,
                        Vertical(y, Scale(face, 1.1f), y + 16, face));
        if (arrow) {
            // Up, down, left, right: decrease and increase along the bar.
            bool increase = col % 2 == 1;
            int dir = (vertical ? 0 : 2) + (increase ? 1 : 0);
            Point a{x + 8, y + 5}, b{x + 5, y + 10}, d{x + 11, y + 10};
            if (dir == 1) a = {x + 8, y + 11}, b = {x + 5, y + 6}, d = {x + 11, y + 6};
            if (dir == 2) a = {x + 5, y + 8}, b = {x + 10, y + 5}, d = {x + 10, y + 11};
            if (dir == 3) a = {x + 11, y + 8}, b = {x + 6, y + 5}, d = {x + 6, y + 11};
            c.FillPolygon({a, b, d}, Solid(row == 3 ? Rgb(140, 144, 156) : kInk));
        }
    }
}

// The message box icons: alert (a triangle), question and information (circles), 32 x 32.
void Icon(Picture& p, int kind) {
    Canvas& c = p.canvas;
    TextStyle style{Face::kSerifBold, 22.0f, 0};
    if (kind == 0) {
        c.FillPolygon({{16, 2}, {30.5f, 28.5f}, {1.5f, 28.5f}}, Solid(Rgb(120, 70, 0)));
        c.FillPolygon({{16, 5}, {28, 27}, {4, 27}},
                      Vertical(5, Rgb(255, 214, 80), 27, Rgb(240, 160, 20)));
        DrawText(c, style, {16 - TextWidth(style, "!") / 2, 26}, "!", Solid(Rgb(40, 20, 0)));
        return;
    }
    Rgba body = kind == 1 ? Rgb(60, 150, 90) : Rgb(60, 96, 200);
    c.FillEllipse({16, 16}, 14.5f, 14.5f, Solid(Scale(body, 0.6f)));
    c.FillEllipse({16, 16}, 13, 13, Vertical(3, Scale(body, 1.3f), 29, body));
    const char* mark = kind == 1 ? "?" : "i";
    DrawText(c, style, {16 - TextWidth(style, mark) / 2, 24}, mark, Solid(Rgb(255, 255, 255)));
}

// The setup window's own frame: a rounded panel with a raised title tab, the size of the main
// window's page (380 x 134 dialog units in 8-point "MS Shell Dlg", 570 x 218 pixels) and the
// skin's 16-pixel borders. The title itself is the window's text control, in either language.
constexpr int kSetupFrameWidth = 602, kSetupFrameHeight = 250;
void SetupFrame(Picture& p) {
    Canvas& c = p.canvas;
    const float w = kSetupFrameWidth, h = kSetupFrameHeight;
    // The body, with the tab rising 14 pixels over its left part, behind the title control.
    c.FillRoundRect(0, 14, w, h, 18, Vertical(14, kNavyLight, h, kNavy));
    c.FillRoundRect(16, 0, 262, 60, 14, Vertical(0, kNavyLight, 60, kNavyLight));
    // A smaller tab on the right holds the minimise and close buttons of the top-right corner.
    c.FillRoundRect(w - 60, 0, w, 40, 6, Vertical(0, kNavyLight, 40, kNavyLight));
    c.FillRoundRect(12, 64, w - 12, h - 12, 8,
                    Vertical(64, Rgb(246, 248, 253), h, Rgb(226, 232, 246)));
    c.StrokeLine({20, 58}, {w - 20, 58}, 1, Solid(WithAlpha(kRim, 0.6f)));
    p.selection = true;
}

std::vector<std::uint8_t> Wave(double hz, double seconds, double decay) {
    const int rate = 22050;
    int n = static_cast<int>(rate * seconds);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / rate;
        double v = std::sin(2 * 3.14159265358979 * hz * t) * std::exp(-t * decay) *
                   std::min(1.0, i / 40.0) * 0.6;
        data.push_back(static_cast<std::uint8_t>(std::lround(128 + 127 * v)));
    }
    std::vector<std::uint8_t> w;
    auto tag = [&](const char* s) { w.insert(w.end(), s, s + 4); };
    auto u32 = [&](std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            w.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    auto u16 = [&](unsigned v) {
        w.push_back(static_cast<std::uint8_t>(v));
        w.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    tag("RIFF");
    u32(static_cast<std::uint32_t>(36 + data.size()));
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate);
    u16(1);
    u16(8);
    tag("data");
    u32(static_cast<std::uint32_t>(data.size()));
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

const char kSkinText[] =
    "# The default skin of Tessark Setup.\n"
    "skin = Tessark Blue\n"
    "author = Orvane\n"
    "website = https://orvane.example/tessark\n"
    "email = tessark@orvane.example\n"
    "transparent color = #FF00FF\n"
    "\n"
    "# Frame: all four borders 16; the single ones say the same for tools that read them.\n"
    "frame border = 16\n"
    "frame xborder = 16\n"
    "frame yborder = 16\n"
    "frame lborder = 16\n"
    "frame rborder = 16\n"
    "frame tborder = 16\n"
    "frame bborder = 16\n"
    "drag by background = 0\n"
    "titlebar height = 34\n"
    "titlebar text color = #FFFFFF\n"
    "titlebar font = DejaVu Sans,-15,B\n"
    "proportional scrollbars = 1\n"
    "background layout = tile\n"
    "background color = #EEF2FA\n"
    "frames per second = 20\n"
    "\n"
    "# Text of every control, then what push buttons, radio buttons, check boxes, edit\n"
    "# fields and lists change.\n"
    "font = DejaVu Sans,-13\n"
    "text color = #141C3C\n"
    "disabled text color = #8A90A4\n"
    "selected text color = #FFFFFF\n"
    "selected text background color = #4A68C8\n"
    "selected background color = #4A68C8\n"
    "text border = 2\n"
    "text layout = left\n"
    "pbutton font = DejaVu Sans,-13,B\n"
    "pbutton text color = #FFFFFF\n"
    "pbutton disabled text color = #787C88\n"
    "pbutton text xborder = 10\n"
    "pbutton text tborder = 4\n"
    "pbutton text bborder = 4\n"
    "pbutton text layout = center\n"
    "pbutton image layout = left\n"
    "rbutton text lborder = 22\n"
    "rbutton text rborder = 0\n"
    "rbutton text yborder = 1\n"
    "rbutton image layout = left\n"
    "rbutton image xadjust = 0\n"
    "rbutton image yadjust = 1\n"
    "cbutton text lborder = 22\n"
    "cbutton text yborder = 1\n"
    "cbutton image layout = left\n"
    "cbutton image xadjust = 0\n"
    "cbutton image yadjust = 1\n"
    "edit font = DejaVu Sans Mono,-13\n"
    "edit text border = 4\n"
    "edit selected text color = #FFFFFF\n"
    "list text border = 5\n"
    "list selected text background color = #8DA4E8\n"
    "list text layout = left\n";

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessark-skingen OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<Picture> pics;
    pics.reserve(32);
    auto add = [&](const std::string& name, int w, int h) -> Picture& {
        pics.emplace_back(name, w, h);
        return pics.back();
    };
    FrameCorners(add("frame-c.psp", 32, 32));
    FrameSides(add("frame-lr.psp", 32, 16));
    FrameEdges(add("frame-tb.psp", 16, 32));
    TitleButton(add("frame-x.psp", 16, 48), true);
    TitleButton(add("frame-min.psp", 16, 48), false);
    Background(add("background.psp", 64, 64));
    PushButton(add("pbutton.psp", 60, 96), 20, 24, "");
    Toggle(add("rbutton.psp", 32, 64), true);
    Toggle(add("cbutton.psp", 32, 64), false);
    ProgressBar(add("pbar.psp", 40, 16));
    Panel(add("text.psp", 24, 24), 8, Rgb(190, 200, 226), Rgb(250, 251, 255), 4, false);
    Panel(add("edit.psp", 24, 24), 8, Rgb(90, 110, 170), Rgb(255, 255, 255), 3, false);
    Panel(add("list.psp", 48, 48), 16, Rgb(90, 110, 170), Rgb(252, 253, 255), 5, true);
    Panel(add("listitem.psp", 48, 48), 16, Rgb(141, 164, 232), Rgb(214, 224, 250), 4, true);
    ScrollBar(add("vscroll.psp", 64, 64), true);
    ScrollBar(add("hscroll.psp", 64, 64), false);
    add("cursor.psp", 2, 16).canvas.Fill(Solid(kInk));
    Icon(add("icon-alert.psp", 32, 32), 0);
    Icon(add("icon-question.psp", 32, 32), 1);
    Icon(add("icon-info.psp", 32, 32), 2);
    std::size_t skinCount = pics.size();
    SetupFrame(add("setup_501.psp", kSetupFrameWidth, kSetupFrameHeight));
    // The pages' buttons carry their captions as text, in the language of the moment.
    PushButton(add("setup_502.psp", 96, 112), 32, 28, "");
    PushButton(add("setup_503.psp", 96, 112), 32, 28, "");

    std::vector<const Drawing*> drawings;
    for (Picture& p : pics) {
        Finish(p);
        drawings.push_back(&p.drawing);
    }
    // The skin's images share one palette, as its palette group does; so do the setup
    // program's own, which are shown on the same window.
    std::vector<IndexedImage> images = QuantizeTogether(drawings, {kKey});

    ZipWriter zip;
    zip.Add("skin.txt", Bytes(kSkinText, kSkinText + sizeof kSkinText - 1), false);
    bool ok = true;
    for (std::size_t i = 0; i < pics.size(); ++i) {
        Bytes psp = Psp(images[i], pics[i].mask);
        if (i < skinCount)
            zip.Add(pics[i].name, psp,
                    pics[i].name == "list.psp" || pics[i].name == "listitem.psp");
        else
            ok &= WriteBytes(dir + "/" + pics[i].name, psp);
    }
    zip.Add("click.wav", Wave(1320, 0.05, 90), false);
    zip.Add("alert.wav", Wave(660, 0.35, 9), false);
    ok &= WriteBytes(dir + "/skin.zip", zip.Finish());

    // The program's icon: the setup box in three sizes.
    std::vector<IconImage> icons;
    for (int size : {16, 32, 48}) {
        Canvas c(size, size, 8);
        float s = size / 32.0f;
        c.FillRoundRect(2 * s, 8 * s, 30 * s, 30 * s, 3 * s,
                        Vertical(8 * s, kNavyLight, 30 * s, kNavy));
        c.FillPolygon({{2 * s, 8 * s}, {16 * s, 2 * s}, {30 * s, 8 * s}}, Solid(kAccent));
        c.FillPolygon({{16 * s, 12 * s},
                       {23 * s, 19 * s},
                       {19 * s, 19 * s},
                       {19 * s, 26 * s},
                       {13 * s, 26 * s},
                       {13 * s, 19 * s},
                       {9 * s, 19 * s}},
                      Solid(Rgb(255, 255, 255)));
        std::vector<Rgba> px = c.Resolve();
        IconImage icon;
        icon.image = Flatten(px, size, size, Rgb(0, 0, 0));
        for (const Rgba& p : px)
            icon.alpha.push_back(
                static_cast<std::uint8_t>(std::lround(std::clamp(p.a, 0.0f, 1.0f) * 255)));
        icons.push_back(icon);
    }
    ok &= WriteBytes(dir + "/setup_500.ico", IcoBytes(icons));
    return ok ? 0 : 1;
}
