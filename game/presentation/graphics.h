// The game's pictures: loaded in one pass from the program's GRAPHIC resources into one palette
// group, cut into their strips, frames, pieces and button faces, with the board's layout read
// from their marker pixels on the way. Either everything loads or the board cannot be shown.
#pragma once

#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "game/presentation/layout.h"

// Resource ids.
constexpr int kGraphicBoard = 1006;
constexpr int kGraphicGlowFirst = 1007; // glow level 1; 1011 is level 5
constexpr int kGraphicButtons = 1012;
constexpr int kGraphicExplosion = 1013;
constexpr int kGraphicBluePieces = 1014;
constexpr int kGraphicRedPieces = 1015;
constexpr int kGraphicStripsEnglish = 1016;
constexpr int kGraphicStripsEsperanto = 1017;
constexpr int kGraphicGoalStrip = 1026;

// The transparent blue of the sheets, as the loader takes it.
constexpr COLORREF kTransparentBlue = 0xFF0000;

constexpr int kStripCount = 11;
constexpr LONG kStripWidth = 240, kStripHeight = 18;
constexpr int kGlowLevels = 5;
constexpr int kExplosionFrames = 23;
constexpr LONG kFrameWidth = 35, kFrameHeight = 50;
constexpr int kButtonCount = 6;
constexpr LONG kFaceWidth = 32, kFaceHeight = 21;

// A button's four faces, in the order of the button sheet's rows.
enum ButtonFace { kFaceEnglishUp, kFaceEnglishDown, kFaceEsperantoUp, kFaceEsperantoDown };

struct GameGraphics {
    PaletteGroup* group;
    Graphic* background;
    Graphic* stripSheets[2]; // English, Esperanto
    Graphic* strips[2][kStripCount];
    Graphic* glows[kGlowLevels]; // level 1 first
    Graphic* goalStrip;
    Graphic* frameSheet;
    POINT frameHot;                       // every explosion frame's foot point
    Graphic* frames[2][kExplosionFrames]; // by ColourIndex
    Graphic* pieceSheets[2];              // by ColourIndex; the pieces are in the layout
    Graphic* buttonSheet;
    Graphic* faces[kButtonCount][4]; // by ButtonFace
};

// Loads every picture in its fixed order and reads the layout out of them; false at the first
// failure (what was loaded stays, for UnloadGraphics). `graphics` and `layout` start empty.
bool LoadGraphics(HMODULE module, GameGraphics& graphics, BoardLayout& layout);
// Frees every sub-image, then the sheets, then the palette group, the reverse of loading; safe
// after a failed or partial load, and twice.
void UnloadGraphics(GameGraphics& graphics, BoardLayout& layout);

// The GRAPHIC resource `id` (transparent colour or kNoColor) added to the group, or null when it
// does not load validly.
Graphic* LoadGameImage(HMODULE module, PaletteGroup* group, int id, COLORREF transparent);
// Frame i of a sheet laid out in w x h frames, left to right, then top to bottom.
Graphic* Cut(Graphic* sheet, LONG w, LONG h, int i);
// The first yellow pixel in scan order, overwritten with its left neighbour.
bool FindHotPoint(Graphic* sheet, POINT* hot);
