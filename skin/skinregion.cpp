#include "skin/skinregion.h"

#include "foundation/memory.h"
#include "skin/skinlib.h"

#include <algorithm>
#include <cstring>

std::size_t SelectionRuns(const BYTE* bytes, DWORD size, LONG w, LONG h, RECT** out) {
    RECT* rects = nullptr;
    std::size_t capacity = 0, count = 0;
    for (LONG y = 0; y < h; ++y) {
        if (static_cast<std::size_t>(y + 1) * w > size) break;
        const BYTE* row = bytes + static_cast<std::size_t>(y) * w;
        for (LONG x = 0; x < w;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            LONG x0 = x;
            while (x < w && row[x])
                ++x;
            // Doubling keeps a region of many short runs linear to build.
            if (!MemGrowArray(&rects, &capacity, count + 1, std::max<std::size_t>(256, capacity),
                              MM("RECT"))) {
                MemFree(rects, MM("RECT"));
                *out = nullptr;
                return 0;
            }
            rects[count++] = RECT{x0, y, x, y + 1};
        }
    }
    *out = rects;
    return count;
}

HRGN RegionFromSelection(Graphic* graphic) {
    if (!graphic || !graphic->HasSelection()) return nullptr;
    BYTE* bytes = nullptr;
    DWORD size = 0;
    if (!graphic->GetSelection(&bytes, &size)) return nullptr;
    LONG w = graphic->GetWidth(), h = graphic->GetHeight();
    RECT* rects = nullptr;
    std::size_t count = SelectionRuns(bytes, size, w, h, &rects);
    graphic->FreeSelection(bytes);
    HRGN region = nullptr;
    if (count) {
        DWORD total = static_cast<DWORD>(count * sizeof(RECT) + sizeof(RGNDATAHEADER));
        auto* data = static_cast<RGNDATA*>(MemAlloc(total, MM("cbTotal")));
        if (data) {
            data->rdh.dwSize = sizeof(RGNDATAHEADER);
            data->rdh.iType = RDH_RECTANGLES;
            data->rdh.nCount = static_cast<DWORD>(count);
            data->rdh.nRgnSize = 0;
            data->rdh.rcBound = RECT{0, 0, w, h};
            std::memcpy(data->Buffer, rects, count * sizeof(RECT));
            region = ExtCreateRegion(nullptr, total, data);
            MemFree(data, MM("cbTotal"));
        }
    }
    MemFree(rects, MM("RECT"));
    return region;
}

HRGN ClipRegion(HRGN region, const RECT& rect) {
    HRGN clip = CreateRectRgn(0, 0, rect.right - rect.left, rect.bottom - rect.top);
    if (!clip) return nullptr;
    if (region) CombineRgn(clip, clip, region, RGN_AND);
    OffsetRgn(clip, rect.left, rect.top);
    return clip;
}

void FramePieces(LONG W, LONG H, const FrameCells& c, RECT p[8]) {
    LONG cw = c.corner.cx, ch = c.corner.cy;
    p[0] = RECT{0, 0, cw, ch};
    p[1] = RECT{W - cw, 0, W, ch};
    p[2] = RECT{W - cw, H - ch, W, H};
    p[3] = RECT{0, H - ch, cw, H};
    p[4] = RECT{0, ch, c.side.cx, H - ch};
    p[5] = RECT{W - c.side.cx, ch, W, H - ch};
    p[6] = RECT{cw, 0, W - cw, c.edge.cy};
    p[7] = RECT{cw, H - c.edge.cy, W - cw, H};
}

namespace {

void Add(HRGN into, HRGN cell, const RECT& rect) {
    if (!cell || rect.right <= rect.left || rect.bottom <= rect.top) return;
    HRGN piece = ClipRegion(cell, rect);
    if (!piece) return;
    CombineRgn(into, into, piece, RGN_OR);
    DeleteObject(piece);
}

} // namespace

HRGN FrameRegion(LONG W, LONG H, const RECT p[8], const HRGN regions[8], const FrameCells& c) {
    bool any = false;
    for (int i = 0; i < 8; ++i)
        any |= regions[i] != nullptr;
    if (!any) return nullptr;
    HRGN result = CreateRectRgn(0, 0, 0, 0);
    if (!result) return nullptr;
    for (int i = 0; i < 4; ++i)
        Add(result, regions[i], p[i]);
    // Edges repeat their cell; the last tile is cut to what is left.
    LONG lh = c.side.cy, tw = c.edge.cx;
    for (int i = 4; i < 6 && lh > 0; ++i)
        for (LONG y = p[i].top; y < p[i].bottom; y += lh)
            Add(result, regions[i], RECT{p[i].left, y, p[i].right, std::min(y + lh, p[i].bottom)});
    for (int i = 6; i < 8 && tw > 0; ++i)
        for (LONG x = p[i].left; x < p[i].right; x += tw)
            Add(result, regions[i], RECT{x, p[i].top, std::min(x + tw, p[i].right), p[i].bottom});
    LONG m = std::min(c.corner.cx, c.side.cx), n = std::min(c.corner.cy, c.edge.cy);
    if (W - 2 * m > 0 && H - 2 * n > 0) {
        HRGN inner = CreateRectRgn(m, n, W - m, H - n);
        CombineRgn(result, result, inner, RGN_OR);
        DeleteObject(inner);
    }
    return result;
}

HRGN FrameLayoutRegion(Skin& skin, const TCHAR* prefix, LONG* width, LONG* height) {
    if (skin.HasImage("frame", prefix)) {
        SkinControlGraphics* g = skin.GetImage("frame", kSkinFrame, prefix);
        *width = g->cellWidth;
        *height = g->cellHeight;
        if (!g->regions[0]) return nullptr;
        HRGN copy = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(copy, g->regions[0], nullptr, RGN_COPY);
        return copy;
    }
    SkinControlGraphics* c = skin.GetImage("frame-c", kSkinFrameCorners, prefix);
    SkinControlGraphics* lr = skin.GetImage("frame-lr", kSkinFrameLeftRight, prefix);
    SkinControlGraphics* tb = skin.GetImage("frame-tb", kSkinFrameTopBottom, prefix);
    FrameCells cells{{c->cellWidth, c->cellHeight},
                     {lr->cellWidth, lr->cellHeight},
                     {tb->cellWidth, tb->cellHeight}};
    RECT pieces[8];
    FramePieces(*width, *height, cells, pieces);
    // Corner cells are in row order; the pieces go round the window.
    const HRGN regions[8] = {c->regions[0],  c->regions[1],  c->regions[3],  c->regions[2],
                             lr->regions[0], lr->regions[1], tb->regions[0], tb->regions[1]};
    return FrameRegion(*width, *height, pieces, regions, cells);
}

RECT LayoutRect(Skin& skin, COLORREF color, const TCHAR* variant) {
    RECT none{0, 0, 0, 0};
    SkinControlGraphics* g = skin.GetImage("layout", SkinGrid(1, 1), variant);
    if (!g || !g->cells[0]) return none;
    Graphic* frame = g->cells[0]->GetFrame(0);
    if (!frame) return none;
    if (!g->layoutMap) {
        auto* map = new (MM("LAYOUTMAP")) cetl::map<DWORD, RECT>;
        LONG w = frame->GetWidth(), h = frame->GetHeight();
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                DWORD v = frame->GetPixelValue(x, y);
                auto at = map->find(v);
                if (at == map->end()) {
                    map->insert(v, RECT{x, y, x + 1, y + 1});
                    continue;
                }
                RECT& r = at->value;
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
        g->layoutMap = map;
    }
    auto at = g->layoutMap->find(frame->ColorToValue(color));
    return at == g->layoutMap->end() ? none : at->value;
}
