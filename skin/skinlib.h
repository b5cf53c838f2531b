// A skin: one ZIP archive with the settings text "skin.txt", PSP images (sprites in one
// palette group) and RIFF WAVE sounds. Settings are looked up with application settings
// first and window-specific keys before general ones; images are found by name with a window
// prefix first, and cut into the cell grids of the control kinds on first use.
#pragma once

#include "engine/cea_graphic.h"
#include "engine/cea_palette.h"
#include "engine/cea_sound.h"
#include "engine/cea_sprite.h"
#include "foundation/cetl.h"
#include "foundation/properties.h"
#include "foundation/tl_string.h"
#include "platform/gdi.h"

class ZIPFILE;

// Colour notation of skin files and markup: an optional "#" and six hexadecimal digits,
// RRGGBB, marked as a palette-relative colour (0x02 in the top byte). Anything else is 0.
COLORREF SkinColor(const TCHAR* text);

// Control kinds and the images they ask for.
enum SkinControlKind : DWORD {
    kSkinFrame = 0,
    kSkinFrameCorners = 1,
    kSkinFrameLeftRight = 2,
    kSkinFrameTopBottom = 3,
    kSkinClose = 4,
    kSkinMinimise = 5,
    kSkinImage = 6,
    kSkinPushButton = 7,
    kSkinRadioButton = 8,
    kSkinCheckBox = 9,
    kSkinProgress = 10,
    kSkinText = 11,
    kSkinVScroll = 12,
    kSkinHScroll = 13,
    kSkinUserDrawn = 14,
    kSkinEdit = 15,
    kSkinCaret = 16,
    kSkinList = 17,
};
// GetImage flags: the image may be missing; an explicit grid (columns << 16 | rows).
constexpr DWORD kSkinOptional = 0x80000000u;
constexpr DWORD SkinGrid(DWORD columns, DWORD rows) {
    return kSkinOptional | (columns << 16) | rows;
}

inline constexpr char kSkinUnknownKind[] =
    "constructing skincontrolgraphics for unknown control type";

// Columns (cx) and rows (cy) of a kind's grid, or of an explicit grid (bit 31 set); {0, 0} for
// kinds without an image (the user-drawn kind) and for unknown kinds.
SIZE SkinKindGrid(DWORD kind);

struct SkinWindowSettings {
    LONG left = 0, top = 0, right = 0, bottom = 0; // frame borders
    bool proportionalScrollbars = false;
    DWORD titlebarHeight = 0; // all ones: the whole background drags the window
    int backgroundLayout = 0; // 0 tile, 1 stretch, 2 center
    COLORREF backgroundColor = 0;
    LONG framesPerSecond = 0;
};

struct SkinControlSettings {
    string font;
    COLORREF textColor = 0, disabledTextColor = 0, selectedTextColor = 0;
    COLORREF selectedBackgroundColor = 0;
    LONG textLeft = 0, textTop = 0, textRight = 0, textBottom = 0;
    int textLayout = 0;  // 0 left, 1 right, 2 center
    int imageLayout = 0; // 0 left, 1 right, 2 center
    LONG imageXAdjust = 0, imageYAdjust = 0;
};

// One image cut into a grid: up to 16 cells, each a child sprite over every frame, and for
// the frame kinds each cell's window region (null without a selection).
struct SkinControlGraphics {
    DWORD flags = 0;
    LONG columns = 0, rows = 0;
    LONG cellWidth = 0, cellHeight = 0;
    int count = 0;
    Sprite* cells[16] = {};
    HRGN regions[16] = {};
    // The "layout" image's colour map, built by LayoutRect on first use.
    cetl::map<DWORD, RECT>* layoutMap = nullptr;
};

// The settings reads on a skin's table (what Skin's members of the same names do).
string SkinLookup(const cetl::PROPERTIES& settings, const TCHAR* key, const cetl::PROPERTIES* app,
                  const TCHAR* prefix);
SkinWindowSettings SkinReadWindowSettings(const cetl::PROPERTIES& settings,
                                          const cetl::PROPERTIES* app, const TCHAR* prefix);
SkinControlSettings SkinReadControlSettings(const cetl::PROPERTIES& settings, DWORD kind,
                                            const cetl::PROPERTIES* app, const TCHAR* prefix);

class Skin {
public:
    // Takes the archive (made with `new (MM("ZIPFILE"))`); it stays alive with the skin.
    explicit Skin(ZIPFILE* archive);
    ~Skin();
    Skin(const Skin&) = delete;
    Skin& operator=(const Skin&) = delete;

    // The first non-empty of: application "prefix key", application "key", skin "prefix key",
    // skin "key". Without application settings or prefix those steps are left out.
    string Lookup(const TCHAR* key, const cetl::PROPERTIES* app, const TCHAR* prefix) const {
        return SkinLookup(settings_, key, app, prefix);
    }
    SkinWindowSettings ReadWindowSettings(const cetl::PROPERTIES* app, const TCHAR* prefix) const {
        return SkinReadWindowSettings(settings_, app, prefix);
    }
    SkinControlSettings ReadControlSettings(DWORD kind, const cetl::PROPERTIES* app,
                                            const TCHAR* prefix) const {
        return SkinReadControlSettings(settings_, kind, app, prefix);
    }
    // The named image cut for `flags` (a kind, or an explicit grid); null for a missing
    // optional image or "text"; any other missing image throws.
    SkinControlGraphics* GetImage(const TCHAR* name, DWORD flags, const TCHAR* prefix);
    // Adds an image under an entry name (such as "TessarkSetup Frame.psp"), found by GetImage
    // like the archive's own; the skin takes the sprite (made with `new (MM("SPRITE"))`).
    void AddImage(const TCHAR* name, Sprite* sprite);
    // Cuts a sprite into the grid of `flags` (as GetImage does; regions for the frame kinds);
    // throws the container exception with kSkinUnknownKind for an unknown kind. Freed with
    // ReleaseGraphics.
    static SkinControlGraphics* BuildGraphics(Sprite* sprite, DWORD flags);
    static void ReleaseGraphics(SkinControlGraphics* graphics);
    // Whether GetImage would find the image (any kind).
    bool HasImage(const TCHAR* name, const TCHAR* prefix) const;
    // A sound of the skin by entry name ("click.wav"); null when there is none.
    Sound* GetSound(const TCHAR* name) const;
    // An entry's text (".txt" entries); null when there is none.
    const string* GetText(const TCHAR* name) const;

    const cetl::PROPERTIES& Settings() const { return settings_; }
    COLORREF Transparent() const { return transparent_; }
    PaletteGroup* Palette() { return palette_; }
    ZIPFILE* Archive() const { return archive_; }

private:
    struct SkinFile {
        string name;
        const BYTE* data = nullptr;
        DWORD size = 0;
        string* text = nullptr;
        Sound* sound = nullptr;
        Sprite* sprite = nullptr;
        cetl::vector<SkinControlGraphics*>* graphics = nullptr;
    };
    SkinFile* Find(const string& name) const;
    SkinFile* FindImage(const TCHAR* name, const TCHAR* prefix) const;

    ZIPFILE* archive_;
    cetl::vector<SkinFile*> files_;
    cetl::PROPERTIES settings_;
    COLORREF transparent_ = kNoColor;
    PaletteGroup* palette_;
};

// The default skin of the program (resource "ZIP" 800), or one read from a file; null when
// the archive is missing or empty. A damaged archive throws the reader's exception.
Skin* LoadSkinFromResource(HMODULE module, UINT id);
Skin* LoadSkinFromFile(const TCHAR* path);
