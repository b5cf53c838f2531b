// Regions as sorted bands of spans: every operation rebuilds the band list from the inputs' edges,
// so results are always in the one canonical form that GetRegionData reports.
#include "platform/core/gdi_internal.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace platform::gdi::detail;

namespace {

using Spans = std::vector<std::pair<int, int>>;

// The spans of a region between two horizontal edges (the band covering [top, bottom)).
const Spans* SpansAt(const std::vector<Band>& bands, int top) {
    for (const Band& b : bands) {
        if (b.top <= top && top < b.bottom) return &b.spans;
        if (b.top > top) break;
    }
    return nullptr;
}

Spans CombineSpans(const Spans& a, const Spans& b, int mode) {
    // Sweep over all span edges; inside-ness of each input decides the output.
    std::vector<int> edges;
    for (const auto& s : a) {
        edges.push_back(s.first);
        edges.push_back(s.second);
    }
    for (const auto& s : b) {
        edges.push_back(s.first);
        edges.push_back(s.second);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    auto inside = [](const Spans& spans, int x) {
        for (const auto& s : spans) {
            if (s.first <= x && x < s.second) return true;
        }
        return false;
    };
    Spans out;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        int x = edges[i];
        bool ia = inside(a, x), ib = inside(b, x);
        bool in = false;
        switch (mode) {
        case RGN_AND:
            in = ia && ib;
            break;
        case RGN_OR:
            in = ia || ib;
            break;
        case RGN_XOR:
            in = ia != ib;
            break;
        case RGN_DIFF:
            in = ia && !ib;
            break;
        }
        if (!in) continue;
        if (!out.empty() && out.back().second == x) {
            out.back().second = edges[i + 1];
        } else {
            out.emplace_back(x, edges[i + 1]);
        }
    }
    return out;
}

// Cuts both band lists at every edge of either, combines each slice and merges equal neighbours.
std::vector<Band> CombineBands(const std::vector<Band>& a, const std::vector<Band>& b, int mode) {
    std::vector<int> edges;
    for (const Band& band : a) {
        edges.push_back(band.top);
        edges.push_back(band.bottom);
    }
    for (const Band& band : b) {
        edges.push_back(band.top);
        edges.push_back(band.bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    static const Spans empty;
    std::vector<Band> out;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        const Spans* sa = SpansAt(a, edges[i]);
        const Spans* sb = SpansAt(b, edges[i]);
        Spans spans = CombineSpans(sa ? *sa : empty, sb ? *sb : empty, mode);
        if (spans.empty()) continue;
        if (!out.empty() && out.back().bottom == edges[i] && out.back().spans == spans) {
            out.back().bottom = edges[i + 1];
        } else {
            out.push_back({edges[i], edges[i + 1], std::move(spans)});
        }
    }
    return out;
}

std::vector<Band> BandsOfRect(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (left == right || top == bottom) return {};
    return {{top, bottom, {{left, right}}}};
}

int Complexity(const Region& r) {
    if (r.bands.empty()) return NULLREGION;
    return r.bands.size() == 1 && r.bands[0].spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT Bounds(const Region& r) {
    if (r.bands.empty()) return {0, 0, 0, 0};
    RECT box{INT_MAX, r.bands.front().top, INT_MIN, r.bands.back().bottom};
    for (const Band& b : r.bands) {
        box.left = std::min<LONG>(box.left, b.spans.front().first);
        box.right = std::max<LONG>(box.right, b.spans.back().second);
    }
    return box;
}

HRGN NewRegion(std::vector<Band> bands) {
    auto region = std::make_shared<Region>();
    region->bands = std::move(bands);
    return static_cast<HRGN>(Register(region));
}

std::size_t RectCount(const Region& r) {
    std::size_t n = 0;
    for (const Band& b : r.bands)
        n += b.spans.size();
    return n;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    std::lock_guard lock(Lock());
    return NewRegion(BandsOfRect(left, top, right, bottom));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN ExtCreateRegion(const XFORM* xform, DWORD count, const RGNDATA* data) {
    std::lock_guard lock(Lock());
    // Only the untransformed form is offered; the header must describe exactly what follows.
    if (xform != nullptr || data == nullptr || count < sizeof(RGNDATAHEADER) ||
        data->rdh.dwSize != sizeof(RGNDATAHEADER) || data->rdh.iType != RDH_RECTANGLES ||
        data->rdh.nCount > (count - sizeof(RGNDATAHEADER)) / sizeof(RECT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<RECT> rects(data->rdh.nCount);
    if (!rects.empty()) std::memcpy(rects.data(), data->Buffer, rects.size() * sizeof(RECT));
    // Input rectangles may overlap and come in any order: merge them a band at a time.
    std::vector<int> edges;
    for (const RECT& r : rects) {
        if (r.left >= r.right || r.top >= r.bottom) continue;
        edges.push_back(r.top);
        edges.push_back(r.bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<Band> bands;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        Spans spans;
        for (const RECT& r : rects) {
            if (r.left < r.right && r.top <= edges[i] && edges[i] < r.bottom) {
                spans.emplace_back(r.left, r.right);
            }
        }
        std::sort(spans.begin(), spans.end());
        Spans merged;
        for (const auto& s : spans) {
            if (!merged.empty() && s.first <= merged.back().second) {
                merged.back().second = std::max(merged.back().second, s.second);
            } else {
                merged.push_back(s);
            }
        }
        if (merged.empty()) continue;
        if (!bands.empty() && bands.back().bottom == edges[i] && bands.back().spans == merged) {
            bands.back().bottom = edges[i + 1];
        } else {
            bands.push_back({edges[i], edges[i + 1], std::move(merged)});
        }
    }
    return NewRegion(std::move(bands));
}

int CombineRgn(HRGN hdst, HRGN h1, HRGN h2, int mode) {
    std::lock_guard lock(Lock());
    auto dst = FindAs<Region>(hdst, Kind::Region);
    auto a = FindAs<Region>(h1, Kind::Region);
    if (!dst || !a) return ERROR;
    if (mode == RGN_COPY) {
        dst->bands = a->bands;
        return Complexity(*dst);
    }
    auto b = FindAs<Region>(h2, Kind::Region);
    if (!b || mode < RGN_AND || mode > RGN_DIFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    dst->bands = CombineBands(a->bands, b->bands, mode);
    return Complexity(*dst);
}

int OffsetRgn(HRGN handle, int dx, int dy) {
    std::lock_guard lock(Lock());
    auto region = FindAs<Region>(handle, Kind::Region);
    if (!region) return ERROR;
    if (!region->bands.empty()) {
        RECT box = Bounds(*region);
        // A move that would overflow coordinates fails and leaves the region as it was.
        if (static_cast<long long>(box.left) + dx < INT32_MIN ||
            static_cast<long long>(box.right) + dx > INT32_MAX ||
            static_cast<long long>(box.top) + dy < INT32_MIN ||
            static_cast<long long>(box.bottom) + dy > INT32_MAX) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return ERROR;
        }
    }
    for (Band& b : region->bands) {
        b.top += dy;
        b.bottom += dy;
        for (auto& s : b.spans) {
            s.first += dx;
            s.second += dx;
        }
    }
    return Complexity(*region);
}

BOOL SetRectRgn(HRGN handle, int left, int top, int right, int bottom) {
    std::lock_guard lock(Lock());
    auto region = FindAs<Region>(handle, Kind::Region);
    if (!region) return FALSE;
    region->bands = BandsOfRect(left, top, right, bottom);
    return TRUE;
}

DWORD GetRegionData(HRGN handle, DWORD count, RGNDATA* data) {
    std::lock_guard lock(Lock());
    auto region = FindAs<Region>(handle, Kind::Region);
    if (!region) return 0;
    std::size_t rects = RectCount(*region);
    DWORD needed = static_cast<DWORD>(sizeof(RGNDATAHEADER) + rects * sizeof(RECT));
    if (data == nullptr || count < needed) return needed;
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(rects);
    data->rdh.nRgnSize = static_cast<DWORD>(rects * sizeof(RECT));
    data->rdh.rcBound = Bounds(*region);
    char* out = data->Buffer;
    for (const Band& b : region->bands) {
        for (const auto& s : b.spans) {
            RECT r{s.first, b.top, s.second, b.bottom};
            std::memcpy(out, &r, sizeof(r));
            out += sizeof(r);
        }
    }
    return needed;
}

int GetRgnBox(HRGN handle, RECT* rect) {
    std::lock_guard lock(Lock());
    auto region = FindAs<Region>(handle, Kind::Region);
    if (!region || rect == nullptr) return ERROR;
    *rect = Bounds(*region);
    return Complexity(*region);
}

BOOL PtInRegion(HRGN handle, int x, int y) {
    std::lock_guard lock(Lock());
    auto region = FindAs<Region>(handle, Kind::Region);
    if (!region) return FALSE;
    const Spans* spans = SpansAt(region->bands, y);
    if (spans == nullptr) return FALSE;
    for (const auto& s : *spans) {
        if (s.first <= x && x < s.second) return TRUE;
    }
    return FALSE;
}

BOOL EqualRgn(HRGN ha, HRGN hb) {
    std::lock_guard lock(Lock());
    auto a = FindAs<Region>(ha, Kind::Region);
    auto b = FindAs<Region>(hb, Kind::Region);
    if (!a || !b) return ERROR;
    if (a->bands.size() != b->bands.size()) return FALSE;
    for (std::size_t i = 0; i < a->bands.size(); ++i) {
        if (a->bands[i].top != b->bands[i].top || a->bands[i].bottom != b->bands[i].bottom ||
            a->bands[i].spans != b->bands[i].spans) {
            return FALSE;
        }
    }
    return TRUE;
}
