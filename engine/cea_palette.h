// PaletteGroup: one 256-colour palette shared by a set of 8-bit graphics, sprites and named
// colours, for 8-bit displays. Edited between Open and Close; the outermost Close merges the
// colours, remaps the members' pixels and gives every member the same colour table.
#pragma once

#include "engine/cea_graphic.h"

class Sprite;

// Special "palette entry" arguments of Add/AddSpecific/Remove.
#define PALETTEGROUP_SYSTEM_COLORS (reinterpret_cast<const PALETTEENTRY*>(1))
#define PALETTEGROUP_COLOR_CUBE (reinterpret_cast<const PALETTEENTRY*>(2))

class PaletteGroup {
public:
    PaletteGroup();
    ~PaletteGroup();
    PaletteGroup(const PaletteGroup&) = delete;
    PaletteGroup& operator=(const PaletteGroup&) = delete;

    BOOL Open();
    void Close();
    BOOL IsOpen() const { return openCount_ > 0; }

    void Add(Graphic* graphic, BOOL keepPixels);
    void Remove(Graphic* graphic);
    void Add(Sprite* sprite, BOOL keepPixels);
    void Remove(Sprite* sprite);
    void AddSpecific(DWORD index, COLORREF color);
    void AddSpecific(DWORD index, const PALETTEENTRY* entry);
    void RemoveSpecific(DWORD index);
    void Add(COLORREF color);
    void Remove(COLORREF color);
    void Add(const PALETTEENTRY* entries, DWORD count);
    void Remove(const PALETTEENTRY* entries, DWORD count);

    DWORD FindColor(COLORREF color);
    COLORREF GetColor(DWORD index);
    UINT GetEntries(PALETTEENTRY* entries, UINT first, UINT count);
    HPALETTE GetPalette();
    BOOL UsesColorCube() const { return colorCube_ ? TRUE : FALSE; }

    // Debug viewer: the 256 colours as 16 x 16 cells until the window is closed; the title
    // names the colour under the mouse.
    void Show(const TCHAR* title);

private:
    struct Member {
        DWORD used;
        DWORD specific;
        DWORD index;
        DWORD graphic;
        DWORD keepPixels;
        Graphic* pGraphic;
        COLORREF color;
    };

    Member* members_;
    std::size_t cMembers_;
    HPALETTE hPalette_;
    PALETTEENTRY palette_[256];
    DWORD openCount_;
    DWORD colorCube_;

    Member* NewMember();
    void AddColorMember(COLORREF color, bool specific, DWORD index);
    void Merge();
    DWORD MergeColour(COLORREF color);
    bool CheckOpen(const char* format, const void* first = nullptr);
};

// The palette group realised in every animation window (none by default).
PaletteGroup* GetDisplayPaletteGroup();
void SetDisplayPaletteGroup(PaletteGroup* group);

// Times a merge found no place for a colour in this process; the trace is written only for
// the first. Tests start over with ResetPaletteMergeFailures.
DWORD GetPaletteMergeFailures();
void ResetPaletteMergeFailures();
