#include "tools/uiart/uiart.h"

#include <algorithm>
#include <cmath>

namespace uiart {

namespace {

using artgen::Blend;
using artgen::Canvas;
using artgen::Point;
using artgen::Rgb;
using artgen::Rgba;

constexpr int kScale = 4;

// The dark the pictures are drawn against (the board's backdrop round the banner and the
// buttons): edge pixels that are kept are blended towards it, so no blue fringe shows.
const Rgba kMatte = Rgb(8, 9, 16);
const Rgba kOutline = Rgb(28, 18, 8);

// Text with a one-pixel dark outline and a soft drop shadow, filled with `fill`, drawn onto
// `canvas` with its baseline at `origin`.
void OutlinedText(Canvas& canvas, const artgen::TextStyle& style, Point origin,
                  const std::string& text, const artgen::Paint& fill, float shadow) {
    Canvas dark(canvas.Width(), canvas.Height(), canvas.Scale());
    static const Point kAround[] = {{-1, 0},        {1, 0},        {0, -1},       {0, 1},
                                    {-0.7f, -0.7f}, {0.7f, -0.7f}, {-0.7f, 0.7f}, {0.7f, 0.7f}};
    for (Point d : kAround)
        artgen::DrawText(dark, style, {origin.x + d.x, origin.y + d.y}, text,
                         artgen::Solid(kOutline));
    if (shadow > 0) {
        Canvas drop = dark.Shifted(1.0f, 1.0f);
        drop.Blur(0.6f);
        canvas.Draw(drop, 0, 0, Blend::kOver, shadow);
    }
    canvas.Draw(dark, 0, 0);
    artgen::DrawText(canvas, style, origin, text, fill);
}

// The largest size (in quarter pixels) at which every text fits `width`.
float FittingSize(artgen::Face face, float largest, const std::vector<std::string>& texts,
                  float width) {
    for (float size = largest; size > 6.0f; size -= 0.25f) {
        artgen::TextStyle style{face, size, 0.0f};
        bool fits = true;
        for (const std::string& t : texts)
            fits = fits && artgen::TextWidth(style, t) <= width;
        if (fits) return size;
    }
    return 6.0f;
}

artgen::Drawing Finish(const Canvas& canvas) {
    // Not dithered: letters this small would fray.
    return {artgen::Flatten(canvas.Resolve(), canvas.Width(), canvas.Height(), kMatte,
                            &artgen::kTransparent, 0.4f),
            false};
}

} // namespace

const std::vector<std::string>& StatusLines(bool esperanto) {
    static const std::vector<std::string> english{"the computer is thinking...",
                                                  "red player's turn",
                                                  "blue player's turn",
                                                  "red player wins!",
                                                  "blue player wins!",
                                                  "take back the last move",
                                                  "replay the next move",
                                                  "start a new game",
                                                  "show the how-to-play tutorial",
                                                  "change language to esperanto",
                                                  "exit tessark"};
    static const std::vector<std::string> other{
        "la komputilo pensas...",       "vico de ruĝa ludanto", "vico de blua ludanto",
        "ruĝa ludanto venkas!",         "blua ludanto venkas!", "forviŝu la pasintan vicon",
        "remontru la sekvantan vicon",  "komencu novan ludon",  "montru la kiel-ludi instruilon",
        "ŝanĝu la lingvon al la angla", "eliru el tessark"};
    return esperanto ? other : english;
}

const std::vector<Label>& ButtonLabels() {
    static const std::vector<Label> labels{{"BACK", "MAL-"},  {"NEXT", "RE-"}, {"NEW", "NOVA"},
                                           {"HELP", "HELPO"}, {"ESP", "ENG"},  {"EXIT", "ELIRU"}};
    return labels;
}

artgen::TextStyle StripStyle() {
    static const float size = [] {
        std::vector<std::string> all = StatusLines(false);
        for (const std::string& s : StatusLines(true))
            all.push_back(s);
        return FittingSize(artgen::Face::kSansBold, 12.5f, all, kStripWidth - 16.0f);
    }();
    return artgen::TextStyle{artgen::Face::kSansBold, size, 0.0f};
}

artgen::Drawing StatusStrips(bool esperanto) {
    const artgen::TextStyle style = StripStyle();
    const float ascent = artgen::TextAscent(style), descent = artgen::TextDescent(style);
    Canvas sheet(kStripWidth, kStripHeight * kStripLines, kScale);
    const auto& lines = StatusLines(esperanto);
    for (int i = 0; i < kStripLines; ++i) {
        // Each line on its own strip-sized canvas, so nothing of it reaches a neighbour.
        Canvas strip(kStripWidth, kStripHeight, kScale);
        float width = artgen::TextWidth(style, lines[static_cast<size_t>(i)]);
        float baseline = std::round((kStripHeight - (ascent + descent)) / 2 + ascent);
        float x = std::round((kStripWidth - width) / 2);
        auto fill = artgen::Linear({0, baseline - ascent * 0.8f}, Rgb(255, 240, 150),
                                   {0, baseline + 1}, Rgb(244, 178, 36));
        OutlinedText(strip, style, {x, baseline}, lines[static_cast<size_t>(i)], fill, 0.7f);
        sheet.Draw(strip, 0, static_cast<float>(i * kStripHeight));
    }
    return Finish(sheet);
}

artgen::TextStyle LabelStyle() {
    static const float size = [] {
        std::vector<std::string> all;
        for (const Label& l : ButtonLabels()) {
            all.push_back(l.english);
            all.push_back(l.esperanto);
        }
        return FittingSize(artgen::Face::kSansCondensedBold, 10.0f, all, kFaceWidth - 6.0f);
    }();
    return artgen::TextStyle{artgen::Face::kSansCondensedBold, size, 0.0f};
}

// One face: a rounded, bevelled plate; pressed, it is sunk, darker, and its label moves one
// pixel down and right and brightens.
Canvas Face(const std::string& label, bool down) {
    Canvas face(kFaceWidth, kFaceHeight, kScale);
    const float x0 = 0.5f, y0 = 0.5f, x1 = kFaceWidth - 0.5f, y1 = kFaceHeight - 0.5f;
    face.FillRoundRect(x0, y0, x1, y1, 4.5f, artgen::Solid(Rgb(10, 12, 22)));
    auto body = down ? artgen::Linear({0, y0}, Rgb(26, 30, 50), {0, y1}, Rgb(58, 68, 100))
                     : artgen::Linear({0, y0}, Rgb(104, 118, 160), {0, y1}, Rgb(36, 42, 70));
    face.FillRoundRect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 3.5f, body);
    if (down) {
        // The plate's own shadow along its top and left edges.
        face.StrokeLine({x0 + 3, y0 + 1.6f}, {x1 - 3, y0 + 1.6f}, 1.2f,
                        artgen::Solid(Rgb(0, 0, 0, 0.6f)));
        face.StrokeLine({x0 + 1.6f, y0 + 3}, {x0 + 1.6f, y1 - 3}, 1.0f,
                        artgen::Solid(Rgb(0, 0, 0, 0.45f)));
    } else {
        face.StrokeLine({x0 + 3.5f, y0 + 1.6f}, {x1 - 3.5f, y0 + 1.6f}, 1.0f,
                        artgen::Solid(Rgb(200, 210, 236, 0.75f)));
        face.StrokeLine({x0 + 3.5f, y1 - 1.6f}, {x1 - 3.5f, y1 - 1.6f}, 1.0f,
                        artgen::Solid(Rgb(8, 10, 20, 0.55f)));
    }
    const artgen::TextStyle style = LabelStyle();
    float width = artgen::TextWidth(style, label);
    float capHeight = artgen::TextAscent(style) * 0.72f; // capitals only
    float shift = down ? 1.0f : 0.0f;
    Point origin{std::round((kFaceWidth - width) / 2) + shift,
                 std::round((kFaceHeight + capHeight) / 2) + shift};
    Rgba ink = down ? Rgb(255, 244, 180) : Rgb(255, 218, 96);
    OutlinedText(face, style, origin, label, artgen::Solid(ink), down ? 0.0f : 0.6f);
    return face;
}

artgen::Drawing ButtonFaces() {
    Canvas sheet(kFaceWidth * 4, kFaceHeight * kButtons, kScale);
    const auto& labels = ButtonLabels();
    for (int row = 0; row < kButtons; ++row) {
        const Label& l = labels[static_cast<size_t>(row)];
        const std::string texts[4] = {l.english, l.english, l.esperanto, l.esperanto};
        for (int col = 0; col < 4; ++col) {
            Canvas face = Face(texts[col], col % 2 == 1);
            sheet.Draw(face, static_cast<float>(col * kFaceWidth),
                       static_cast<float>(row * kFaceHeight));
        }
    }
    return Finish(sheet);
}

} // namespace uiart
