// Window shapes from the selection masks saved in frame images: a graphic's selection as a
// region, the region of a whole window from its eight frame pieces, and the rectangle each
// colour covers in the skin's optional "layout" image.
#pragma once

#include "engine/cea_graphic.h"
#include "platform/gdi.h"

class Skin;

// One rectangle per run of selected pixels in each row; null when nothing is selected or the
// graphic has no selection.
HRGN RegionFromSelection(Graphic* graphic);
// The rectangles that region is made from, row by row, left to right, for selection bytes of
// w x h (one per pixel); the array comes from MemAlloc (null when there are none).
std::size_t SelectionRuns(const BYTE* bytes, DWORD size, LONG w, LONG h, RECT** rects);
// The part of `region` inside a rectangle of `rect`'s size at the origin, moved to `rect`.
HRGN ClipRegion(HRGN region, const RECT& rect);

// The eight pieces of a frame made of "frame-c", "frame-lr" and "frame-tb" cells: corners
// top-left, top-right, bottom-right, bottom-left, then left, right, top and bottom edges.
struct FrameCells {
    SIZE corner{}; // "frame-c" cell
    SIZE side{};   // "frame-lr" cell
    SIZE edge{};   // "frame-tb" cell
};
void FramePieces(LONG width, LONG height, const FrameCells& cells, RECT pieces[8]);
// The window region of those pieces, with each piece's cell region (null adds nothing) and
// the inner rectangle. Null when no piece has a region: the window stays rectangular.
HRGN FrameRegion(LONG width, LONG height, const RECT pieces[8], const HRGN regions[8],
                 const FrameCells& cells);

// The frame layout of a skinned window named `prefix`: with a "frame" image the window takes
// that image's size (stored in *width, *height) and its region; otherwise it keeps its size
// and the region comes from the eight pieces of "frame-c", "frame-lr" and "frame-tb". Null
// means a rectangular window. Missing pieces throw the skin's missing-image exception.
HRGN FrameLayoutRegion(Skin& skin, const TCHAR* prefix, LONG* width, LONG* height);

// The bounding rectangle of every pixel of `color` in the skin's "layout" image (with the
// window prefix `variant`); empty when there is no such image or colour.
RECT LayoutRect(Skin& skin, COLORREF color, const TCHAR* variant);
