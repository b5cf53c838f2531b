// Window surfaces, update regions, painting messages and window shapes.
#include "platform/core/paint_internal.h"

#include "platform/core/driver.h"
#include "platform/core/gdi_internal.h"
#include "platform/core/icon_internal.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform::wm {

namespace detail = platform::gdi::detail;

namespace {

struct PaintRec {
    HRGN update = nullptr; // client coordinates; null when nothing needs painting
    bool erase = false;
    HRGN shape = nullptr; // window coordinates
    // Top-level windows only.
    std::shared_ptr<detail::Bitmap> surface;
    HBITMAP surfaceHandle = nullptr;
    std::uint64_t drawn = 0;
};

std::mutex g_lock;
std::unordered_map<HWND, PaintRec> g_recs;

// The pixels of a WS_CLIPCHILDREN window's visible children under one of its contexts: what
// the context draws over them is put back when it is released, so the parent never draws on
// its children.
struct KeptArea {
    RECT rect; // surface coordinates
    std::vector<DWORD> pixels;
};
struct Kept {
    std::shared_ptr<detail::Bitmap> surface;
    std::vector<KeptArea> areas;
};
std::unordered_map<HDC, Kept> g_kept;
std::atomic<int> g_dirty{0}; // windows with an update region

// Where a window draws: all in its top-level window's surface coordinates.
struct Geometry {
    HWND top = nullptr;
    RECT clip{};    // the client area cut by every ancestor's client area
    POINT origin{}; // the client area's corner
    SIZE client{};  // client size
    SIZE topSize{}; // the top-level window's size
    bool visible = false;
    bool clipChildren = false;
    std::vector<RECT> children; // visible children's rectangles, with clipChildren only
};

SIZE ClientSize(const Window& w) {
    RECT in = Insets(w.style, w.exStyle);
    return {std::max<LONG>(0, w.rect.right - w.rect.left - in.left - in.right),
            std::max<LONG>(0, w.rect.bottom - w.rect.top - in.top - in.bottom)};
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return {0, 0, 0, 0};
    return r;
}

bool RegionEmpty(HRGN region) {
    RECT box;
    return GetRgnBox(region, &box) <= NULLREGION;
}

// With the state lock held.
bool GeometryLocked(State& s, HWND hwnd, Geometry* g) {
    Window* w = Find(s, hwnd);
    if (w == nullptr) return false;
    Window* top = w;
    while (top->parent != nullptr) {
        Window* p = Find(s, top->parent);
        if (p == nullptr) break;
        top = p;
    }
    POINT topOrigin = ScreenOrigin(s, *top);
    g->top = top->hwnd;
    g->topSize = {top->rect.right - top->rect.left, top->rect.bottom - top->rect.top};
    g->clip = {0, 0, g->topSize.cx, g->topSize.cy};
    g->visible = true;
    g->clipChildren = (w->style & WS_CLIPCHILDREN) != 0;
    if (g->clipChildren) {
        for (HWND c : w->children) {
            Window* cw = Find(s, c);
            if (cw == nullptr || !(cw->style & WS_VISIBLE)) continue;
            POINT o = ScreenOrigin(s, *cw);
            g->children.push_back({o.x - topOrigin.x, o.y - topOrigin.y,
                                   o.x - topOrigin.x + (cw->rect.right - cw->rect.left),
                                   o.y - topOrigin.y + (cw->rect.bottom - cw->rect.top)});
        }
    }
    for (Window* x = w; x != nullptr; x = x->parent != nullptr ? Find(s, x->parent) : nullptr) {
        POINT o = ClientOrigin(s, *x);
        SIZE size = ClientSize(*x);
        RECT client{o.x - topOrigin.x, o.y - topOrigin.y, o.x - topOrigin.x + size.cx,
                    o.y - topOrigin.y + size.cy};
        g->clip = Intersect(g->clip, client);
        if (!(x->style & WS_VISIBLE)) g->visible = false;
        if (x == w) {
            g->origin = {client.left, client.top};
            g->client = size;
        }
    }
    return true;
}

// Owned pop-ups answer GetParent with their owner, so the tree itself is asked.
bool IsTopLevel(HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    return w != nullptr && w->parent == nullptr;
}

bool GeometryOf(HWND hwnd, Geometry* g) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return GeometryLocked(s, hwnd, g);
}

// With the painting lock held: the top-level window's surface, made to fit its size and the
// screen's depth.
std::shared_ptr<detail::Bitmap> EnsureSurface(PaintRec& rec, SIZE size) {
    using namespace detail;
    std::lock_guard gdiLock(Lock());
    auto screen = ScreenBitmap();
    int w = std::max<LONG>(1, size.cx), h = std::max<LONG>(1, size.cy);
    if (rec.surface && rec.surface->surface.width == w && rec.surface->surface.height == h &&
        rec.surface->surface.bpp == screen->surface.bpp) {
        return rec.surface;
    }
    auto bitmap = std::make_shared<Bitmap>();
    if (!AllocateSurface(bitmap->surface, w, h, screen->surface.bpp, true)) return nullptr;
    bitmap->dibSection = true;
    bitmap->stock = true; // DeleteObject leaves it to the window
    bitmap->surface.tableSize = screen->surface.tableSize;
    bitmap->surface.table = screen->surface.table;
    if (rec.surface) {
        // Keep what was drawn where it still fits; the rest repaints.
        const Surface& from = rec.surface->surface;
        if (from.bpp == bitmap->surface.bpp) {
            int bytes = std::min(from.pitch, bitmap->surface.pitch);
            for (int y = 0; y < std::min(from.height, h); ++y)
                std::copy_n(from.Row(y), bytes, bitmap->surface.Row(y));
        }
        Unregister(rec.surfaceHandle);
    }
    rec.surface = bitmap;
    rec.surfaceHandle = static_cast<HBITMAP>(Register(bitmap));
    return bitmap;
}

void AddDirty(PaintRec& rec, HRGN region, bool erase) {
    if (rec.update == nullptr) {
        rec.update = CreateRectRgn(0, 0, 0, 0);
    }
    bool wasEmpty = RegionEmpty(rec.update);
    CombineRgn(rec.update, rec.update, region, RGN_OR);
    bool isEmpty = RegionEmpty(rec.update);
    if (wasEmpty && !isEmpty) g_dirty.fetch_add(1);
    if (!isEmpty && erase) rec.erase = true;
}

void ClearDirty(PaintRec& rec) {
    if (rec.update == nullptr) return;
    if (!RegionEmpty(rec.update)) g_dirty.fetch_sub(1);
    SetRectRgn(rec.update, 0, 0, 0, 0);
    rec.erase = false;
}

struct ChildPlace {
    HWND hwnd;
    POINT clientOffset; // the child's client corner in the parent's client coordinates
};

// Adds `region` (client coordinates, consumed) to the window's update region and to those of
// its visible children it covers.
void Invalidate(HWND hwnd, HRGN region, bool erase) {
    State& s = GetState();
    SIZE client{};
    std::vector<ChildPlace> children;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            DeleteObject(region);
            return;
        }
        client = ClientSize(*w);
        // Children of a WS_CLIPCHILDREN window keep their pixels when it repaints.
        if (!(w->style & WS_CLIPCHILDREN))
            for (HWND c : w->children) {
                Window* cw = Find(s, c);
                if (cw == nullptr || !(cw->style & WS_VISIBLE)) continue;
                RECT in = Insets(cw->style, cw->exStyle);
                children.push_back({c, {cw->rect.left + in.left, cw->rect.top + in.top}});
            }
    }
    HRGN bounds = CreateRectRgn(0, 0, client.cx, client.cy);
    CombineRgn(region, region, bounds, RGN_AND);
    DeleteObject(bounds);
    if (RegionEmpty(region)) {
        DeleteObject(region);
        return;
    }
    {
        std::lock_guard lock(g_lock);
        AddDirty(g_recs[hwnd], region, erase);
    }
    // Children share their parent's pixels, so whatever the parent repaints they repaint too.
    for (const ChildPlace& c : children) {
        HRGN part = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(part, region, nullptr, RGN_COPY);
        OffsetRgn(part, -c.clientOffset.x, -c.clientOffset.y);
        Invalidate(c.hwnd, part, erase);
    }
    DeleteObject(region);
    WakeQueueOf(hwnd);
}

void InvalidateAll(HWND hwnd, bool erase) {
    Invalidate(hwnd, CreateRectRgn(0, 0, 0x3FFFFFFF, 0x3FFFFFFF), erase);
}

// The visible windows of a thread, each parent before its children and lower siblings before
// higher ones, so that a later painter draws over an earlier one.
void PaintOrder(State& s, HWND hwnd, DWORD threadId, std::vector<HWND>& out) {
    Window* w = Find(s, hwnd);
    if (w == nullptr || !(w->style & WS_VISIBLE)) return;
    if (w->queue != nullptr && w->queue->threadId == threadId) out.push_back(hwnd);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        PaintOrder(s, *it, threadId, out);
}

HWND NextToPaint(DWORD threadId) {
    if (g_dirty.load() <= 0) return nullptr;
    std::vector<HWND> order;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        for (auto it = s.topLevel.rbegin(); it != s.topLevel.rend(); ++it)
            PaintOrder(s, *it, threadId, order);
    }
    std::lock_guard lock(g_lock);
    for (HWND h : order) {
        auto it = g_recs.find(h);
        if (it != g_recs.end() && it->second.update != nullptr && !RegionEmpty(it->second.update)) {
            return h;
        }
    }
    return nullptr;
}

const bool g_installed = [] {
    SetPaintSource(NextToPaint);
    return true;
}();

// A context on the window's client area, further limited to `limit` (client coordinates).
HDC MakeDC(HWND hwnd, const RECT* limit) {
    Geometry g;
    if (!GeometryOf(hwnd, &g)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::lock_guard lock(g_lock);
    auto surface = EnsureSurface(g_recs[g.top], g.topSize);
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    RECT clip = g.clip;
    if (limit != nullptr) {
        RECT l{limit->left + g.origin.x, limit->top + g.origin.y, limit->right + g.origin.x,
               limit->bottom + g.origin.y};
        clip = Intersect(clip, l);
    }
    std::lock_guard gdiLock(detail::Lock());
    HDC dc = detail::NewWindowDC(surface, clip, g.origin);
    if (dc == nullptr) return nullptr;
    Kept kept{surface, {}};
    for (const RECT& child : g.children) {
        RECT r = Intersect(child, clip);
        if (r.right <= r.left) continue;
        KeptArea area{r, {}};
        area.pixels.reserve(static_cast<std::size_t>((r.right - r.left) * (r.bottom - r.top)));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                area.pixels.push_back(surface->surface.Get(x, y));
        kept.areas.push_back(std::move(area));
    }
    if (!kept.areas.empty()) {
        g_kept[dc] = std::move(kept);
    } else {
        g_kept.erase(dc); // a stale entry of a context deleted some other way
    }
    return dc;
}

// Puts back the children's pixels under a context that is being released.
void RestoreKept(HDC dc) {
    std::lock_guard lock(g_lock);
    auto it = g_kept.find(dc);
    if (it == g_kept.end()) return;
    std::lock_guard gdiLock(detail::Lock());
    detail::Surface& s = it->second.surface->surface;
    for (const KeptArea& area : it->second.areas) {
        std::size_t i = 0;
        for (int y = area.rect.top; y < area.rect.bottom; ++y)
            for (int x = area.rect.left; x < area.rect.right; ++x)
                if (x < s.width && y < s.height) s.Put(x, y, area.pixels[i++]);
    }
    g_kept.erase(it);
}

// The frame and caption of a top-level window, drawn when the window itself paints.
void DrawFrame(HWND hwnd) {
    State& s = GetState();
    RECT rect{}, in{};
    std::u16string title;
    bool active = false;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr || w->parent != nullptr) return;
        rect = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        in = Insets(w->style, w->exStyle);
        title = w->text;
        active = s.active == hwnd;
    }
    if (in.left == 0 && in.top == 0) return;
    std::shared_ptr<detail::Bitmap> surface;
    {
        std::lock_guard lock(g_lock);
        surface = EnsureSurface(g_recs[hwnd], {rect.right, rect.bottom});
    }
    if (!surface) return;
    HDC dc;
    {
        std::lock_guard gdiLock(detail::Lock());
        dc = detail::NewWindowDC(surface, rect, {0, 0});
    }
    // Only the parts around the client area, which belongs to the window's own painting.
    HBRUSH frame = GetSysColorBrush(COLOR_BTNFACE);
    HBRUSH edge = GetSysColorBrush(COLOR_WINDOWFRAME);
    const RECT strips[] = {{0, 0, rect.right, in.top},
                           {0, rect.bottom - in.bottom, rect.right, rect.bottom},
                           {0, in.top, in.left, rect.bottom - in.bottom},
                           {rect.right - in.right, in.top, rect.right, rect.bottom - in.bottom}};
    for (const RECT& strip : strips)
        FillRect(dc, &strip, frame);
    const RECT outline[] = {{0, 0, rect.right, 1},
                            {0, rect.bottom - 1, rect.right, rect.bottom},
                            {0, 0, 1, rect.bottom},
                            {rect.right - 1, 0, rect.right, rect.bottom}};
    for (const RECT& line : outline)
        FillRect(dc, &line, edge);
    if (in.top > in.left) {
        RECT caption{in.left, in.left, rect.right - in.right, in.top};
        FillRect(dc, &caption,
                 GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        RECT text = caption;
        text.left += 4;
        DrawTextW(dc, reinterpret_cast<LPCWSTR>(title.c_str()), -1, &text,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
    }
    DeleteDC(dc);
}

HBRUSH ClassBrush(HWND hwnd) {
    auto value = GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND);
    if (value == 0) return nullptr;
    // COLOR_x + 1 names a system colour.
    if (value <= COLOR_INFOBK + 1) return GetSysColorBrush(static_cast<int>(value) - 1);
    return reinterpret_cast<HBRUSH>(value);
}

// ---- Cursors ---------------------------------------------------------------------------------
constexpr int kCursorIds[] = {32512, 32513, 32514, 32515, 32642, 32643, 32644, 32645, 32646, 32649};
constexpr int kCursorCount = sizeof(kCursorIds) / sizeof(kCursorIds[0]);
char g_cursorObjects[kCursorCount];
std::atomic<HCURSOR> g_cursor{nullptr};

HCURSOR StandardCursor(ULONG_PTR id) {
    for (int i = 0; i < kCursorCount; ++i) {
        if (static_cast<ULONG_PTR>(kCursorIds[i]) == id)
            return reinterpret_cast<HCURSOR>(&g_cursorObjects[i]);
    }
    return nullptr;
}

} // namespace

HDC WindowDC(HWND hwnd) {
    return MakeDC(hwnd, nullptr);
}

void WindowDCReleased(HDC hdc) {
    RestoreKept(hdc);
}

void WindowDrawn(HWND hwnd) {
    Geometry g;
    if (!GeometryOf(hwnd, &g)) return;
    std::lock_guard lock(g_lock);
    g_recs[g.top].drawn++;
}

void WindowShown(HWND hwnd, bool shown, const RECT& rect) {
    HWND parent = GetParent(hwnd);
    State& s = GetState();
    bool child = false;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        child = w != nullptr && (w->style & WS_CHILD) && w->parent != nullptr;
    }
    if (shown) InvalidateAll(hwnd, true);
    if (child && parent != nullptr) {
        Invalidate(parent, CreateRectRgnIndirect(&rect), true);
    } else {
        WindowDrawn(hwnd);
    }
}

void WindowMoved(HWND hwnd, const RECT& oldRect, bool sized, bool redraw) {
    State& s = GetState();
    HWND parent = nullptr;
    RECT now{};
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) return;
        if (w->style & WS_CHILD) parent = w->parent;
        now = w->rect;
    }
    if (parent == nullptr) {
        // A top-level window keeps its pixels when it only moves.
        if (sized) InvalidateAll(hwnd, true);
        WindowDrawn(hwnd);
        return;
    }
    if (!redraw) return;
    InvalidateAll(hwnd, true);
    Invalidate(parent, CreateRectRgnIndirect(&oldRect), true);
    Invalidate(parent, CreateRectRgnIndirect(&now), true);
}

void FrameChanged(HWND hwnd) {
    if (!IsTopLevel(hwnd)) return;
    DrawFrame(hwnd);
    WindowDrawn(hwnd);
}

void PaintForget(HWND hwnd) {
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(hwnd);
    if (it == g_recs.end()) return;
    ClearDirty(it->second);
    if (it->second.update != nullptr) DeleteObject(it->second.update);
    if (it->second.shape != nullptr) DeleteObject(it->second.shape);
    if (it->second.surfaceHandle != nullptr) {
        std::lock_guard gdiLock(detail::Lock());
        detail::Unregister(it->second.surfaceHandle);
    }
    g_recs.erase(it);
}

bool ShapeContains(HWND hwnd, POINT p) {
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(hwnd);
    if (it == g_recs.end() || it->second.shape == nullptr) return true;
    return PtInRegion(it->second.shape, p.x, p.y) != FALSE;
}

LRESULT DefaultPaintMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps) != nullptr) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = ClassBrush(hwnd);
        if (brush == nullptr) return 0;
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        return 1;
    }
    case WM_GETMINMAXINFO:
        (void)lParam;
        return 0;
    default:
        return 0;
    }
}

void QueryMinMaxInfo(HWND hwnd, MINMAXINFO* info) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    *info = {};
    info->ptMaxSize = {work.right - work.left, work.bottom - work.top};
    info->ptMaxPosition = {work.left, work.top};
    info->ptMinTrackSize = {1, 1};
    // As on the platform, a window may be sized a little past the screen, by its frames.
    const int frameX = 2 * (GetSystemMetrics(SM_CXDLGFRAME) + GetSystemMetrics(SM_CXBORDER));
    const int frameY = 2 * (GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYBORDER));
    info->ptMaxTrackSize = {GetSystemMetrics(SM_CXSCREEN) + frameX,
                            GetSystemMetrics(SM_CYSCREEN) + frameY};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(info));
}

std::vector<TopWindow> TopWindowsBottomUp() {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    std::vector<TopWindow> out;
    for (auto it = s.topLevel.rbegin(); it != s.topLevel.rend(); ++it) {
        Window* w = Find(s, *it);
        if (w == nullptr) continue;
        out.push_back({w->hwnd, w->rect, w->text, (w->style & WS_VISIBLE) != 0});
    }
    return out;
}

HBITMAP SurfaceOf(HWND top) {
    Geometry g;
    if (!GeometryOf(top, &g) || g.top != top) return nullptr;
    std::lock_guard lock(g_lock);
    PaintRec& rec = g_recs[top];
    return EnsureSurface(rec, g.topSize) ? rec.surfaceHandle : nullptr;
}

std::uint64_t DrawCount(HWND top) {
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(top);
    return it == g_recs.end() ? 0 : it->second.drawn;
}

HRGN CopyShape(HWND top) {
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(top);
    if (it == g_recs.end() || it->second.shape == nullptr) return nullptr;
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(copy, it->second.shape, nullptr, RGN_COPY);
    return copy;
}

void ComposeScreen() {
    using namespace detail;
    std::vector<TopWindow> tops = TopWindowsBottomUp();
    // The desktop is black: a window that moved or went away leaves nothing behind.
    {
        std::lock_guard gdiLock(Lock());
        Surface& to = ScreenBitmap()->surface;
        const DWORD black = ColourToValue(to, RGB(0, 0, 0));
        for (int y = 0; y < to.height; ++y)
            for (int x = 0; x < to.width; ++x)
                to.Put(x, y, black);
    }
    for (const TopWindow& t : tops) {
        if (!t.visible) continue;
        HBITMAP handle = SurfaceOf(t.hwnd);
        HRGN shape = CopyShape(t.hwnd);
        std::lock_guard gdiLock(Lock());
        auto source = FindAs<Bitmap>(handle, Kind::Bitmap);
        auto screen = ScreenBitmap();
        if (source) {
            const Surface& from = source->surface;
            Surface& to = screen->surface;
            for (int y = 0; y < from.height; ++y) {
                int sy = t.rect.top + y;
                if (sy < 0 || sy >= to.height) continue;
                for (int x = 0; x < from.width; ++x) {
                    int sx = t.rect.left + x;
                    if (sx < 0 || sx >= to.width) continue;
                    if (shape != nullptr && !PtInRegion(shape, x, y)) continue;
                    DWORD v = from.Get(x, y);
                    if (from.bpp != to.bpp) v = ColourToValue(to, ValueToColour(from, v));
                    to.Put(sx, sy, v);
                }
            }
        }
        if (shape != nullptr) DeleteObject(shape);
    }
}

bool SaveBitmapFile(HWND top, const char* path) {
    using namespace detail;
    HBITMAP handle = nullptr;
    // A shaped window's picture is black outside its shape, as a host that cannot shape
    // windows shows it.
    HRGN shape = nullptr;
    if (top != nullptr) {
        handle = SurfaceOf(top);
        if (handle == nullptr) return false;
        shape = CopyShape(top);
    } else {
        ComposeScreen();
    }
    std::vector<BYTE> file;
    {
        std::lock_guard gdiLock(Lock());
        std::shared_ptr<Bitmap> bitmap =
            handle != nullptr ? FindAs<Bitmap>(handle, Kind::Bitmap) : ScreenBitmap();
        if (!bitmap) {
            if (shape != nullptr) DeleteObject(shape);
            return false;
        }
        const Surface& s = bitmap->surface;
        const long rowBytes = (static_cast<long>(s.width) * 3 + 3) & ~3L;
        const long dataSize = rowBytes * s.height;
        auto put32 = [&](std::size_t at, DWORD v) {
            for (int i = 0; i < 4; ++i)
                file[at + i] = static_cast<BYTE>(v >> (8 * i));
        };
        file.assign(54 + static_cast<std::size_t>(dataSize), 0);
        file[0] = 'B';
        file[1] = 'M';
        put32(2, static_cast<DWORD>(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, static_cast<DWORD>(s.width));
        put32(22, static_cast<DWORD>(s.height));
        file[26] = 1;
        file[28] = 24;
        put32(34, static_cast<DWORD>(dataSize));
        for (int y = 0; y < s.height; ++y) {
            BYTE* row = &file[54 + static_cast<std::size_t>(rowBytes) * (s.height - 1 - y)];
            for (int x = 0; x < s.width; ++x) {
                if (shape != nullptr && !PtInRegion(shape, x, y)) continue; // stays black
                COLORREF c = ValueToColour(s, s.Get(x, y));
                row[x * 3] = GetBValue(c);
                row[x * 3 + 1] = GetGValue(c);
                row[x * 3 + 2] = GetRValue(c);
            }
        }
    }
    if (shape != nullptr) DeleteObject(shape);
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

int CurrentCursorId() {
    return CursorIdOf(g_cursor.load());
}

int CursorIdOf(HCURSOR cursor) {
    for (int i = 0; i < kCursorCount; ++i) {
        if (reinterpret_cast<HCURSOR>(&g_cursorObjects[i]) == cursor) return kCursorIds[i];
    }
    return 0;
}

} // namespace platform::wm

using namespace platform::wm;

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    if (paint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    RECT box{};
    bool erase = false;
    {
        std::lock_guard lock(g_lock);
        PaintRec& rec = g_recs[hwnd];
        if (rec.update != nullptr && GetRgnBox(rec.update, &box) == NULLREGION) box = {};
        erase = rec.erase;
        ClearDirty(rec);
    }
    if (IsTopLevel(hwnd)) DrawFrame(hwnd);
    HDC hdc = MakeDC(hwnd, &box);
    if (hdc == nullptr) return nullptr;
    *paint = {};
    paint->hdc = hdc;
    paint->rcPaint = box;
    paint->fErase = TRUE;
    if (erase)
        paint->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
    return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (paint == nullptr) return FALSE;
    RestoreKept(paint->hdc);
    DeleteDC(paint->hdc);
    WindowDrawn(hwnd);
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (hwnd == nullptr) {
        for (const TopWindow& t : TopWindowsBottomUp())
            InvalidateAll(t.hwnd, erase != FALSE);
        return TRUE;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect == nullptr) {
        InvalidateAll(hwnd, erase != FALSE);
    } else {
        Invalidate(hwnd, CreateRectRgnIndirect(rect), erase != FALSE);
    }
    return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase) {
    if (region == nullptr) return InvalidateRect(hwnd, nullptr, erase);
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    if (CombineRgn(copy, region, nullptr, RGN_COPY) == 0) {
        DeleteObject(copy);
        return FALSE;
    }
    Invalidate(hwnd, copy, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(hwnd);
    if (it == g_recs.end() || it->second.update == nullptr) return TRUE;
    PaintRec& rec = it->second;
    if (rect == nullptr) {
        ClearDirty(rec);
        return TRUE;
    }
    HRGN cut = CreateRectRgnIndirect(rect);
    CombineRgn(rec.update, rec.update, cut, RGN_DIFF);
    DeleteObject(cut);
    if (RegionEmpty(rec.update)) {
        // Emptied by the cut: the count goes down once.
        g_dirty.fetch_sub(1);
        rec.erase = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT box{};
    {
        std::lock_guard lock(g_lock);
        auto it = g_recs.find(hwnd);
        if (it != g_recs.end() && it->second.update != nullptr &&
            GetRgnBox(it->second.update, &box) == NULLREGION) {
            box = {};
        }
    }
    if (rect != nullptr) *rect = box;
    return box.right > box.left && box.bottom > box.top;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (GetUpdateRect(hwnd, nullptr, FALSE)) SendMessageW(hwnd, WM_PAINT, 0, 0);
    for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (IsWindowVisible(c)) UpdateWindow(c);
    }
    return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    {
        std::lock_guard lock(g_lock);
        PaintRec& rec = g_recs[hwnd];
        if (rec.shape != nullptr) DeleteObject(rec.shape);
        rec.shape = region;
    }
    if (redraw) {
        InvalidateAll(hwnd, true);
        HWND parent = GetParent(hwnd);
        RECT r;
        if (parent != nullptr && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) &&
            GetWindowRect(hwnd, &r)) {
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
            InvalidateRect(parent, &r, TRUE);
        }
    }
    WindowDrawn(hwnd);
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region) {
    std::lock_guard lock(g_lock);
    auto it = g_recs.find(hwnd);
    if (it == g_recs.end() || it->second.shape == nullptr) return 0;
    return CombineRgn(region, it->second.shape, nullptr, RGN_COPY);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    HCURSOR cursor = nullptr;
    if (instance == nullptr && IS_INTRESOURCE(name)) {
        cursor = StandardCursor(reinterpret_cast<ULONG_PTR>(name));
    }
    if (cursor != nullptr) return cursor;
    if (name == nullptr) {
        SetLastError(1814L); // ERROR_RESOURCE_NAME_NOT_FOUND
        return nullptr;
    }
    return LoadGroupResource(instance, name, true, GetSystemMetrics(SM_CXCURSOR));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name))
        return LoadCursorW(instance, reinterpret_cast<LPCWSTR>(name));
    std::u16string wide = FromNarrow(name);
    return LoadCursorW(instance, wide.c_str());
}

HCURSOR SetCursor(HCURSOR cursor) {
    return g_cursor.exchange(cursor);
}

HCURSOR GetCursor() {
    return g_cursor.load();
}

BOOL SystemParametersInfoW(UINT action, UINT, LPVOID value, UINT) {
    if (action != SPI_GETWORKAREA || value == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *static_cast<RECT*>(value) = platform::driver::WorkArea();
    return TRUE;
}

BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT winIni) {
    return SystemParametersInfoW(action, param, value, winIni);
}
