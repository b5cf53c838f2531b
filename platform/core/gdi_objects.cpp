// The object table, the screen, device contexts and their attributes.
#include "platform/core/gdi_internal.h"
#include "platform/core/paint_internal.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace platform::gdi::detail {

std::recursive_mutex& Lock() {
    static std::recursive_mutex mutex;
    return mutex;
}

namespace {

// Handles are the objects' addresses; the table keeps them alive and tells live handles from
// stale ones. Contexts hold their selected objects by shared pointer, so deleting an object that
// is still selected cannot leave a context drawing into freed memory.
std::unordered_map<const void*, std::shared_ptr<Object>>& Table() {
    static std::unordered_map<const void*, std::shared_ptr<Object>> table;
    return table;
}

int DepthFromEnvironment(int fallback) {
    const char* text = std::getenv("TESSARK_DEPTH");
    if (text == nullptr) return fallback;
    int depth = std::atoi(text);
    return FormatFor(depth) != nullptr ? depth : fallback;
}

ScreenSettings SettingsFor(Flavour flavour) {
    if (flavour == Flavour::Desktop) return {1024, 768, DepthFromEnvironment(24), 96};
    return {240, 320, DepthFromEnvironment(16), 96};
}

struct ScreenState {
    ScreenSettings settings{};
    std::shared_ptr<Bitmap> bitmap;
};

ScreenState& Screen() {
    static ScreenState state;
    return state;
}

// Displays of 4 bits or fewer have the 16 standard colours (1 bit: black and white); deeper ones
// the platform's twenty static colours at both ends, a 6 x 6 x 6 colour cube and greys between.
std::array<PALETTEENTRY, 256> BuildSystemPalette(int bpp) {
    if (bpp <= 4) {
        static const BYTE vga[16][3] = {
            {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        std::array<PALETTEENTRY, 256> p{};
        if (bpp == 1) {
            p[1] = {255, 255, 255, 0};
            return p;
        }
        for (int i = 0; i < 16; ++i)
            p[i] = {vga[i][0], vga[i][1], vga[i][2], 0};
        return p;
    }
    static const BYTE low[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                    {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                    {192, 220, 192}, {166, 202, 240}};
    static const BYTE high[10][3] = {
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
    std::array<PALETTEENTRY, 256> p{};
    for (int i = 0; i < 10; ++i) {
        p[i] = {low[i][0], low[i][1], low[i][2], 0};
        p[246 + i] = {high[i][0], high[i][1], high[i][2], 0};
    }
    int n = 10;
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                p[n++] = {static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                          static_cast<BYTE>(b * 51), 0};
            }
        }
    }
    for (int i = 0; n < 246; ++i) {
        BYTE v = static_cast<BYTE>(8 + i * 12);
        p[n++] = {v, v, v, 0};
    }
    return p;
}

std::array<PALETTEENTRY, 256>& MutableSystemPalette() {
    static std::array<PALETTEENTRY, 256> palette = BuildSystemPalette(8);
    return palette;
}

void FillTableFromSystem(Surface& s) {
    const auto& sys = MutableSystemPalette();
    for (int i = 0; i < s.tableSize; ++i) {
        s.table[i] = {sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0};
    }
    if (s.tableSize == 2) {
        s.table[1] = {255, 255, 255, 0};
    }
}

void RebuildScreen(ScreenSettings settings) {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->stock = true;
    if (!AllocateSurface(bitmap->surface, settings.width, settings.height, settings.bitsPerPixel,
                         true)) {
        AllocateSurface(bitmap->surface, 240, 320, 16, true);
        settings = {240, 320, 16, settings.logPixelsY};
    }
    if (settings.logPixelsY <= 0) settings.logPixelsY = 96;
    bitmap->dibSection = true;
    if (Screen().bitmap) Unregister(Screen().bitmap.get());
    // A new screen starts from the fixed system palette again.
    MutableSystemPalette() = BuildSystemPalette(bitmap->surface.bpp);
    FillTableFromSystem(bitmap->surface);
    Register(bitmap);
    Screen().settings = settings;
    Screen().bitmap = bitmap;
}

ScreenState& EnsureScreen() {
    ScreenState& state = Screen();
    if (!state.bitmap) RebuildScreen(SettingsFor(Flavour::Device));
    return state;
}

std::shared_ptr<Bitmap> DefaultBitmap() {
    // A new memory context holds a 1 x 1 device mask, as on the platform; compatible bitmaps made
    // from such a context are masks too.
    static std::shared_ptr<Bitmap> bitmap = [] {
        auto b = std::make_shared<Bitmap>();
        b->stock = true;
        AllocateSurface(b->surface, 1, 1, 1, true);
        b->surface.table[1] = {255, 255, 255, 0};
        b->surface.deviceMono = true;
        Register(b);
        return b;
    }();
    return bitmap;
}

struct Stock {
    std::array<std::shared_ptr<Object>, 18> objects;
};

std::shared_ptr<Brush> MakeBrush(COLORREF colour, bool null, bool stock) {
    auto brush = std::make_shared<Brush>();
    brush->colour = colour;
    brush->null = null;
    brush->stock = stock;
    return brush;
}

Stock& Stocks() {
    static Stock* stock = [] {
        auto* s = new Stock();
        s->objects[WHITE_BRUSH] = MakeBrush(RGB(255, 255, 255), false, true);
        s->objects[LTGRAY_BRUSH] = MakeBrush(RGB(192, 192, 192), false, true);
        s->objects[GRAY_BRUSH] = MakeBrush(RGB(128, 128, 128), false, true);
        s->objects[DKGRAY_BRUSH] = MakeBrush(RGB(64, 64, 64), false, true);
        s->objects[BLACK_BRUSH] = MakeBrush(RGB(0, 0, 0), false, true);
        s->objects[NULL_BRUSH] = MakeBrush(0, true, true);
        auto font = std::make_shared<Font>();
        font->stock = true;
        font->logfont.lfHeight = -12;
        font->logfont.lfWeight = FW_NORMAL;
        font->logfont.lfCharSet = DEFAULT_CHARSET;
        font->logfont.lfQuality = ANTIALIASED_QUALITY;
        const char16_t face[] = u"DejaVu Sans";
        std::memcpy(font->logfont.lfFaceName, face, sizeof(face));
        s->objects[SYSTEM_FONT] = font;
        s->objects[DEFAULT_GUI_FONT] = font;
        auto palette = std::make_shared<Palette>();
        palette->stock = true;
        const auto sys = BuildSystemPalette(8);
        palette->entries.assign(sys.begin(), sys.begin() + 10);
        palette->entries.insert(palette->entries.end(), sys.begin() + 246, sys.end());
        s->objects[DEFAULT_PALETTE] = palette;
        for (auto& object : s->objects) {
            if (object) Table()[object.get()] = object;
        }
        return s;
    }();
    return *stock;
}

DCState DefaultState(std::shared_ptr<Bitmap> bitmap) {
    DCState state;
    state.bitmap = std::move(bitmap);
    state.brush = std::static_pointer_cast<Brush>(Stocks().objects[WHITE_BRUSH]);
    state.font = std::static_pointer_cast<Font>(Stocks().objects[SYSTEM_FONT]);
    state.palette = std::static_pointer_cast<Palette>(Stocks().objects[DEFAULT_PALETTE]);
    return state;
}

HDC NewDC(std::shared_ptr<Bitmap> bitmap, bool screen, bool fixed) {
    auto dc = std::make_shared<DC>();
    dc->state = DefaultState(std::move(bitmap));
    dc->screen = screen;
    dc->fixedTarget = fixed;
    return static_cast<HDC>(Register(dc));
}

} // namespace

HDC NewWindowDC(std::shared_ptr<Bitmap> bitmap, RECT clip, POINT origin) {
    HDC hdc = NewDC(std::move(bitmap), true, true);
    auto dc = FindDC(hdc);
    dc->hasArea = true;
    dc->area = clip;
    dc->hasOrigin = true;
    dc->origin = origin;
    return hdc;
}

void* Register(std::shared_ptr<Object> object) {
    void* handle = object.get();
    Table()[handle] = std::move(object);
    return handle;
}

std::shared_ptr<Object> Find(const void* handle) {
    Stocks();
    auto& table = Table();
    auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second;
}

std::shared_ptr<DC> FindDC(HDC hdc) {
    return FindAs<DC>(hdc, Kind::DC);
}

void Unregister(const void* handle) {
    Table().erase(handle);
}

void* HandleOf(const Object* object) {
    return const_cast<Object*>(object);
}

std::shared_ptr<Bitmap> ScreenBitmap() {
    return EnsureScreen().bitmap;
}

const std::array<PALETTEENTRY, 256>& SystemPalette() {
    EnsureScreen();
    return MutableSystemPalette();
}

int SystemPaletteSize() {
    int bpp = EnsureScreen().bitmap->surface.bpp;
    return bpp <= 4 ? 1 << bpp : 256;
}

COLORREF ResolveColour(const DC& dc, COLORREF colour) {
    if ((colour >> 24) == 0x01) {
        const Surface& s = dc.state.bitmap->surface;
        DWORD index = colour & 0xFFFF;
        if (s.format->paletted && index < static_cast<DWORD>(s.tableSize)) {
            return ValueToColour(s, index);
        }
        const auto& entries = dc.state.palette->entries;
        if (index < entries.size()) {
            return RGB(entries[index].peRed, entries[index].peGreen, entries[index].peBlue);
        }
        return RGB(0, 0, 0);
    }
    return colour & 0x00FFFFFF;
}

DWORD ValueForColour(const DC& dc, COLORREF colour) {
    const Surface& s = dc.state.bitmap->surface;
    if ((colour >> 24) == 0x01 && s.format->paletted && (colour & 0xFFFF) < DWORD(s.tableSize)) {
        return colour & 0xFFFF;
    }
    return ColourToValue(s, ResolveColour(dc, colour));
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) return {0, 0, 0, 0};
    return r;
}

RECT Offset(RECT r, int dx, int dy) {
    // Saturating, so that coordinates near the limits cannot wrap around.
    auto add = [](LONG v, int d) {
        long long s = static_cast<long long>(v) + d;
        return static_cast<LONG>(std::clamp<long long>(s, INT32_MIN, INT32_MAX));
    };
    return {add(r.left, dx), add(r.top, dy), add(r.right, dx), add(r.bottom, dy)};
}

RECT AreaOf(const DC& dc) {
    const Surface& s = dc.state.bitmap->surface;
    RECT whole{0, 0, s.width, s.height};
    return dc.hasArea ? Intersect(dc.area, whole) : whole;
}

POINT OriginOf(const DC& dc) {
    if (dc.hasOrigin) return dc.origin;
    RECT area = AreaOf(dc);
    return {area.left, area.top};
}

void FillInDC(const DC& dc, const RECT& r, DWORD value) {
    RECT area = AreaOf(dc);
    POINT o = OriginOf(dc);
    RECT target = Intersect(Offset(r, o.x, o.y), area);
    FillValue(dc.state.bitmap->surface, target, value);
}

bool ClipRect(RECT& r, int width, int height) {
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > width) r.right = width;
    if (r.bottom > height) r.bottom = height;
    return r.left < r.right && r.top < r.bottom;
}

void FillValue(Surface& s, RECT r, DWORD value) {
    if (!ClipRect(r, s.width, s.height)) return;
    for (int y = r.top; y < r.bottom; ++y) {
        BYTE* row = s.Row(y);
        if (s.bpp == 8) {
            std::memset(row + r.left, static_cast<int>(value), r.right - r.left);
            continue;
        }
        for (int x = r.left; x < r.right; ++x)
            s.format->put(row, x, value);
    }
}

} // namespace platform::gdi::detail

using namespace platform::gdi::detail;

namespace platform::gdi {

void SetScreenFlavour(Flavour flavour) {
    SetScreen(SettingsFor(flavour));
}

void SetScreen(const ScreenSettings& settings) {
    std::lock_guard lock(Lock());
    RebuildScreen(settings);
}

ScreenSettings GetScreen() {
    std::lock_guard lock(Lock());
    return EnsureScreen().settings;
}

HDC CreateSurfaceDC(HBITMAP bitmap, const RECT* area) {
    std::lock_guard lock(Lock());
    auto target = FindAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!target) return nullptr;
    HDC hdc = NewDC(target, false, true);
    if (area != nullptr) {
        auto dc = FindDC(hdc);
        dc->hasArea = true;
        dc->area = *area;
    }
    return hdc;
}

} // namespace platform::gdi

HDC GetDC(HWND hwnd) {
    // Window contexts come from the window layer, which takes its own lock before this one.
    if (hwnd != nullptr) return platform::wm::WindowDC(hwnd);
    std::lock_guard lock(Lock());
    return NewDC(ScreenBitmap(), true, true);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd != nullptr) platform::wm::WindowDCReleased(hdc);
    {
        std::lock_guard lock(Lock());
        auto dc = FindDC(hdc);
        if (!dc || !dc->screen) return 0;
        Unregister(hdc);
    }
    if (hwnd != nullptr) platform::wm::WindowDrawn(hwnd);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    std::lock_guard lock(Lock());
    if (hdc != nullptr && !FindDC(hdc)) return nullptr;
    return NewDC(DefaultBitmap(), false, false);
}

BOOL DeleteDC(HDC hdc) {
    std::lock_guard lock(Lock());
    if (!FindDC(hdc)) return FALSE;
    Unregister(hdc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ handle) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    auto object = Find(handle);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DCState& s = dc->state;
    switch (object->kind) {
    case Kind::Bitmap: {
        if (dc->fixedTarget) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto old = s.bitmap;
        s.bitmap = std::static_pointer_cast<Bitmap>(object);
        return old.get();
    }
    case Kind::Brush: {
        auto old = s.brush;
        s.brush = std::static_pointer_cast<Brush>(object);
        return old.get();
    }
    case Kind::Font: {
        auto old = s.font;
        s.font = std::static_pointer_cast<Font>(object);
        return old.get();
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_BITMAP:
        return dc->state.bitmap.get();
    case OBJ_BRUSH:
        return dc->state.brush.get();
    case OBJ_FONT:
        return dc->state.font.get();
    case OBJ_PAL:
        return dc->state.palette.get();
    default:
        return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ handle) {
    std::lock_guard lock(Lock());
    auto object = Find(handle);
    if (!object || object->kind == Kind::DC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Stock objects stay; deleting them is harmless, as on the platform.
    if (object->stock) return TRUE;
    Unregister(handle);
    return TRUE;
}

HGDIOBJ GetStockObject(int index) {
    std::lock_guard lock(Lock());
    if (index < 0 || index >= static_cast<int>(Stocks().objects.size())) return nullptr;
    return Stocks().objects[index].get();
}

int SaveDC(HDC hdc) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int level) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return FALSE;
    int count = static_cast<int>(dc->saved.size());
    int target = level < 0 ? count + level + 1 : level;
    if (target < 1 || target > count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DCState state = dc->saved[target - 1];
    if (dc->fixedTarget) state.bitmap = dc->state.bitmap;
    dc->state = std::move(state);
    dc->saved.resize(target - 1);
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return 0;
    const Surface& s = dc->state.bitmap->surface;
    const platform::gdi::ScreenSettings& screen = EnsureScreen().settings;
    // A memory context reports the surface selected into it.
    int bpp = dc->screen ? screen.bitsPerPixel : s.bpp;
    switch (index) {
    case HORZRES:
        return dc->screen ? screen.width : s.width;
    case VERTRES:
        return dc->screen ? screen.height : s.height;
    case BITSPIXEL:
        return bpp;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return bpp <= 8 ? (1 << bpp) : -1;
    case RASTERCAPS:
        return bpp <= 8 ? RC_PALETTE : 0;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return screen.logPixelsY;
    case SIZEPALETTE:
        return bpp <= 8 ? (1 << bpp) : 0;
    case COLORRES:
        return bpp <= 8 ? 18 : (bpp == 16 ? 15 : 24);
    default:
        return 0;
    }
}

int GetSystemMetrics(int index) {
    std::lock_guard lock(Lock());
    const platform::gdi::ScreenSettings& screen = EnsureScreen().settings;
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return screen.width;
    case SM_CYSCREEN:
        return screen.height;
    case SM_CYFULLSCREEN:
        return screen.height - 26;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        return 13;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return 26;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

DWORD GetSysColor(int index) {
    // The classic grey scheme.
    static const COLORREF colours[] = {
        RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128),
        RGB(192, 192, 192), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
        RGB(0, 0, 0),       RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192),
        RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255), RGB(192, 192, 192),
        RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
        RGB(255, 255, 255), RGB(0, 0, 0),       RGB(223, 223, 223), RGB(0, 0, 0),
        RGB(255, 255, 225)};
    if (index < 0 || index >= static_cast<int>(sizeof(colours) / sizeof(colours[0]))) return 0;
    return colours[index];
}

namespace {
template <COLORREF DCState::*Member>
COLORREF SwapColour(HDC hdc, COLORREF colour) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->state.*Member;
    dc->state.*Member = colour;
    return old;
}
template <COLORREF DCState::*Member>
COLORREF ReadColour(HDC hdc) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    return dc ? dc->state.*Member : CLR_INVALID;
}
} // namespace

COLORREF SetTextColor(HDC hdc, COLORREF c) {
    return SwapColour<&DCState::textColour>(hdc, c);
}
COLORREF GetTextColor(HDC hdc) {
    return ReadColour<&DCState::textColour>(hdc);
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
    return SwapColour<&DCState::bkColour>(hdc, c);
}
COLORREF GetBkColor(HDC hdc) {
    return ReadColour<&DCState::bkColour>(hdc);
}

int SetBkMode(HDC hdc, int mode) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->state.bkMode;
    dc->state.bkMode = mode;
    return old;
}

int GetBkMode(HDC hdc) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    return dc ? dc->state.bkMode : 0;
}

int SetStretchBltMode(HDC hdc, int mode) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    int old = dc->state.stretchMode;
    dc->state.stretchMode = mode;
    return old;
}

int GetStretchBltMode(HDC hdc) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    return dc ? dc->state.stretchMode : 0;
}

// ---- Palettes

HPALETTE CreatePalette(const LOGPALETTE* logical) {
    std::lock_guard lock(Lock());
    if (logical == nullptr || logical->palVersion != 0x300 || logical->palNumEntries == 0 ||
        logical->palNumEntries > 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto palette = std::make_shared<Palette>();
    palette->entries.assign(logical->palPalEntry, logical->palPalEntry + logical->palNumEntries);
    return static_cast<HPALETTE>(Register(palette));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE handle, BOOL) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    auto palette = FindAs<Palette>(handle, Kind::Palette);
    if (!dc || !palette) return nullptr;
    auto old = dc->state.palette;
    dc->state.palette = palette;
    return static_cast<HPALETTE>(HandleOf(old.get()));
}

UINT RealizePalette(HDC hdc) {
    std::lock_guard lock(Lock());
    auto dc = FindDC(hdc);
    if (!dc) return GDI_ERROR;
    Surface& s = dc->state.bitmap->surface;
    if (!dc->screen || !s.format->paletted || s.bpp != 8 || dc->state.palette->stock) return 0;
    // The twenty static entries stay; the logical palette fills the free middle of the system
    // palette, which the screen surface shows through.
    auto& sys = MutableSystemPalette();
    const auto& entries = dc->state.palette->entries;
    UINT mapped = 0;
    for (std::size_t i = 0; i < entries.size() && 10 + i < 246; ++i) {
        sys[10 + i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue, 0};
        ++mapped;
    }
    FillTableFromSystem(s);
    return mapped;
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
    std::lock_guard lock(Lock());
    auto palette = FindAs<Palette>(handle, Kind::Palette);
    if (!palette) return 0;
    UINT size = static_cast<UINT>(palette->entries.size());
    if (entries == nullptr) return size;
    if (start >= size) return 0;
    UINT n = std::min(count, size - start);
    std::memcpy(entries, palette->entries.data() + start, n * sizeof(PALETTEENTRY));
    return n;
}

UINT SetPaletteEntries(HPALETTE handle, UINT start, UINT count, const PALETTEENTRY* entries) {
    std::lock_guard lock(Lock());
    auto palette = FindAs<Palette>(handle, Kind::Palette);
    if (!palette || palette->stock || entries == nullptr) return 0;
    UINT size = static_cast<UINT>(palette->entries.size());
    if (start >= size) return 0;
    UINT n = std::min(count, size - start);
    std::memcpy(palette->entries.data() + start, entries, n * sizeof(PALETTEENTRY));
    return n;
}

UINT GetNearestPaletteIndex(HPALETTE handle, COLORREF colour) {
    std::lock_guard lock(Lock());
    auto palette = FindAs<Palette>(handle, Kind::Palette);
    if (!palette) return CLR_INVALID;
    std::vector<RGBQUAD> table;
    for (const auto& e : palette->entries)
        table.push_back({e.peBlue, e.peGreen, e.peRed, 0});
    return static_cast<UINT>(NearestIndex(table.data(), static_cast<int>(table.size()),
                                          GetRValue(colour), GetGValue(colour), GetBValue(colour)));
}

// The system palette is fixed apart from what RealizePalette puts in its middle. It is answered
// at every depth, so that blank paletted surfaces get real colours on a true-colour screen.
UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries) {
    std::lock_guard lock(Lock());
    if (hdc != nullptr && !FindDC(hdc)) return 0;
    const UINT size = static_cast<UINT>(SystemPaletteSize());
    if (entries == nullptr) return size;
    if (start >= size) return 0;
    UINT n = std::min(count, size - start);
    std::memcpy(entries, SystemPalette().data() + start, n * sizeof(PALETTEENTRY));
    return n;
}
