// Sprite: an ordered list of frame graphics, taken from the layers of a multi-layer PSP image
// or cut from one image as a grid of equal cells. A child sprite is one rectangle of every
// frame of its parent.
#pragma once

#include "engine/cea_graphic.h"

// Columns or rows given as an explicit cell size in pixels: kSpriteCellSize | pixels.
constexpr LONG kSpriteCellSize = static_cast<LONG>(0x80000000u);
// Frame limit meaning every cell.
constexpr DWORD kSpriteAllFrames = 0x80000000u;

class Sprite {
public:
    Sprite(LPCTSTR fileName, LONG columns, LONG rows, DWORD limit);
    Sprite(LPCTSTR fileName, COLORREF transparent, LONG columns, LONG rows, DWORD limit);
    Sprite(HANDLE file, LONG columns, LONG rows, DWORD limit);
    Sprite(HANDLE file, COLORREF transparent, LONG columns, LONG rows, DWORD limit);
    Sprite(const BYTE* data, DWORD size, LONG columns, LONG rows, DWORD limit);
    Sprite(const BYTE* data, DWORD size, COLORREF transparent, LONG columns, LONG rows,
           DWORD limit);
    // A child sprite; the parent destroys it (with a warning) if it is still alive, so make it
    // with `new (MM("SPRITE"))`.
    Sprite(HMODULE module, LPCTSTR name, LONG columns, LONG rows, DWORD limit);
    Sprite(HMODULE module, LPCTSTR name, COLORREF transparent, LONG columns, LONG rows,
           DWORD limit);
    Sprite(Sprite* parent, const RECT& rect);
    ~Sprite();
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    BOOL IsChild() const { return child_ ? TRUE : FALSE; }
    Sprite* GetParent() const { return child_ ? parent_ : nullptr; }
    BOOL GetRect(RECT* rect);
    LONG GetWidth();
    LONG GetHeight();
    Graphic* GetFrame(DWORD index) const;
    DWORD GetFrameCount() const { return static_cast<DWORD>(cFrames_); }
    // The frame a window shows at its frame counter `counter` (none without frames).
    Graphic* GetFrameForCounter(DWORD counter) const;
    // The whole loaded picture (null for a child sprite).
    Graphic* GetImage() const { return image_; }

    // For the PSP reader: appends a frame the sprite then owns.
    bool AppendFrame(Graphic* frame);

private:
    DWORD ownsImage_;
    Graphic* image_;
    DWORD child_;
    RECT rect_;
    Sprite* parent_;
    Graphic** frames_;
    std::size_t cFrames_;
    Sprite** children_;
    std::size_t cChildren_;

    void Clear();
    void Load(Graphic* image, LONG columns, LONG rows, DWORD limit);
    void Split(LONG columns, LONG rows, DWORD limit);
};
