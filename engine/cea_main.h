// Engine start-up, the engine clock and the Display: the screen the animation windows draw
// for, with its depth and the palette group realised on 8-bit screens.
#pragma once

#include "platform/base.h"
#include "platform/gdi.h"

class PaletteGroup;

// Init flag: draw in 8 bits per pixel whatever the screen's depth.
constexpr DWORD kEngineForce8Bit = 0x1;

// Registers the window classes "AnimWindow" and "AnimWindowNoCursor", starts the engine clock
// and creates the Display. Runs once per process; later calls only answer. 0 when a window
// class cannot be registered.
BOOL EngineInit(HINSTANCE instance, DWORD flags);
BOOL IsEngineInitialized();

// Milliseconds as a 32-bit count, from the high-resolution counter when there is one.
DWORD EngineClock();

class Display {
public:
    Display(DWORD flags);
    LONG GetWidth() const { return width_; }
    LONG GetHeight() const { return height_; }
    DWORD GetBitsPerPixel() const { return bitsPerPixel_; }
    void GetRect(RECT* rect) const;
    BOOL IsPaletted() const { return bitsPerPixel_ <= 8 ? TRUE : FALSE; }
    // 16-bit pixels are always red 10-14, green 5-9, blue 0-4.
    BOOL Is555() const { return TRUE; }
    PaletteGroup* GetPaletteGroup() const;
    // Rebuilds the graphics of every live animation window with the new group's colours.
    void SetPaletteGroup(PaletteGroup* group);
    // The group's palette when the display is paletted, else null.
    HPALETTE GetPalette() const;

private:
    LONG width_;
    LONG height_;
    DWORD bitsPerPixel_;
};

// The process's Display, or null before EngineInit.
Display* GetDisplay();
