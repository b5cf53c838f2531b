#include "game/presentation/graphics.h"

#include "foundation/memory.h"
#include "platform/resource.h"

#include <algorithm>

namespace {

void Free(Graphic*& graphic) {
    if (graphic) MemDelete(graphic, MM("GRAPHIC"));
    graphic = nullptr;
}

template <std::size_t N>
void FreeAll(Graphic* (&graphics)[N]) {
    for (std::size_t i = N; i-- > 0;)
        Free(graphics[i]);
}

// Cuts `count` frames from index `first` on; false when one cannot be cut.
template <std::size_t N>
bool CutFrames(Graphic* sheet, LONG w, LONG h, int first, Graphic* (&out)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = Cut(sheet, w, h, first + static_cast<int>(i));
        if (!out[i]) return false;
    }
    return true;
}

} // namespace

Graphic* LoadGameImage(HMODULE module, PaletteGroup* group, int id, COLORREF transparent) {
    auto* image = new (MM("GRAPHIC")) Graphic(module, MAKEINTRESOURCE(id), transparent);
    if (!image->IsLoaded() || image->GetWidth() <= 0 || image->GetHeight() <= 0) {
        MemDelete(image, MM("GRAPHIC"));
        return nullptr;
    }
    if (group) group->Add(image, FALSE);
    return image;
}

Graphic* Cut(Graphic* sheet, LONG w, LONG h, int i) {
    if (!sheet || w <= 0 || h <= 0 || i < 0) return nullptr;
    const LONG perRow = sheet->GetWidth() / w;
    if (perRow <= 0) return nullptr;
    const LONG x = w * (i % perRow), y = h * (i / perRow);
    // A frame outside the sheet would be a child reaching past its parent's pixels.
    if (y + h > sheet->GetHeight()) return nullptr;
    const RECT rect{x, y, x + w, y + h};
    return new (MM("GRAPHIC")) Graphic(sheet, &rect);
}

bool FindHotPoint(Graphic* sheet, POINT* hot) {
    const DWORD yellow = sheet->ColorToValue(kMarkerYellow);
    if (sheet->GetBitsPerPixel() <= 8 && sheet->ValueToColor(yellow) != kMarkerYellow) return false;
    for (LONG y = 0; y < sheet->GetHeight(); ++y)
        for (LONG x = 0; x < sheet->GetWidth(); ++x)
            if (sheet->GetPixelValue(x, y) == yellow) {
                if (x > 0) sheet->SetPixelValue(x, y, sheet->GetPixelValue(x - 1, y));
                *hot = {x, y};
                return true;
            }
    return false;
}

bool LoadGraphics(HMODULE module, GameGraphics& g, BoardLayout& layout) {
    g.group = new (MM("PALETTEGROUP")) PaletteGroup();
    if (!g.group->Open()) return false;
    // Whatever happens below, the group is closed again: an open group refuses colour queries.
    struct Closer {
        PaletteGroup* group;
        ~Closer() { group->Close(); }
    } closer{g.group};

    g.background = LoadGameImage(module, g.group, kGraphicBoard, kNoColor);
    if (!g.background || !ReadBoardLayout(g.background, layout)) return false;

    const int stripIds[2] = {kGraphicStripsEnglish, kGraphicStripsEsperanto};
    for (int language = 0; language < 2; ++language) {
        g.stripSheets[language] =
            LoadGameImage(module, g.group, stripIds[language], kTransparentBlue);
        if (!g.stripSheets[language] ||
            !CutFrames(g.stripSheets[language], kStripWidth, kStripHeight, 0, g.strips[language]))
            return false;
    }

    for (int level = 0; level < kGlowLevels; ++level) {
        g.glows[level] = LoadGameImage(module, g.group, kGraphicGlowFirst + level, kNoColor);
        if (!g.glows[level]) return false;
    }

    g.goalStrip = LoadGameImage(module, g.group, kGraphicGoalStrip, kNoColor);
    if (!g.goalStrip) return false;

    g.frameSheet = LoadGameImage(module, g.group, kGraphicExplosion, kTransparentBlue);
    if (!g.frameSheet || !FindHotPoint(g.frameSheet, &g.frameHot)) return false;
    RaisePieceBox(layout.box, kFrameWidth, kFrameHeight, g.frameHot.x, g.frameHot.y);
    // Red bursts in cells 0 to 22, blue in 24 to 46.
    if (!CutFrames(g.frameSheet, kFrameWidth, kFrameHeight, 0, g.frames[0]) ||
        !CutFrames(g.frameSheet, kFrameWidth, kFrameHeight, kExplosionFrames + 1, g.frames[1]))
        return false;

    const int pieceIds[2] = {kGraphicRedPieces, kGraphicBluePieces};
    for (int colour = 0; colour < 2; ++colour) {
        g.pieceSheets[colour] = LoadGameImage(module, g.group, pieceIds[colour], kTransparentBlue);
        if (!g.pieceSheets[colour] || !ReadPieceSheet(g.pieceSheets[colour], colour, layout))
            return false;
    }

    g.buttonSheet = LoadGameImage(module, g.group, kGraphicButtons, kTransparentBlue);
    if (!g.buttonSheet) return false;
    for (int button = 0; button < kButtonCount; ++button)
        for (int face = 0; face < 4; ++face) {
            g.faces[button][face] = Cut(g.buttonSheet, kFaceWidth, kFaceHeight, 4 * button + face);
            if (!g.faces[button][face]) return false;
        }
    return true;
}

void UnloadGraphics(GameGraphics& g, BoardLayout& layout) {
    // Sub-images first: a sheet destroyed before its children would have to destroy them.
    for (int button = kButtonCount; button-- > 0;)
        FreeAll(g.faces[button]);
    for (int colour = 2; colour-- > 0;)
        for (int row = kBoardSize; row-- > 0;)
            for (int column = kBoardSize; column-- > 0;)
                Free(layout.cells[row][column].image[colour]);
    FreeAll(g.frames[1]);
    FreeAll(g.frames[0]);
    FreeAll(g.strips[1]);
    FreeAll(g.strips[0]);

    Free(g.buttonSheet);
    FreeAll(g.pieceSheets);
    Free(g.frameSheet);
    Free(g.goalStrip);
    FreeAll(g.glows);
    FreeAll(g.stripSheets);
    Free(g.background);
    if (g.group) MemDelete(g.group, MM("PALETTEGROUP"));
    g.group = nullptr;
}
