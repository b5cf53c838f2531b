#include "engine/cea_graphic.h"
#include "engine/cea_viewer.h"

#include "engine/cea_palette.h"
#include "engine/cea_psp.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "platform/resource.h"
#include "platform/user.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kPspSignature[] = "Paint Shop Pro Image File";
constexpr DWORD kPspSignatureLength = 25;
// A surface larger than this is refused: no image of either program comes near it, and a
// hostile header must not make the process ask for gigabytes, nor (at one or four bits a
// pixel) for hundreds of millions of pixels that every transparent copy would scan.
constexpr std::int64_t kMaxSurfaceBytes = 64 << 20;
constexpr std::int64_t kMaxPixels = 16 << 20;
constexpr LONG kMaxSide = 32767;

LONG PitchOf(LONG width, DWORD bits) {
    return static_cast<LONG>(((static_cast<std::int64_t>(width) * bits + 31) / 32) * 4);
}

DWORD ValueMaskOf(DWORD bits) {
    switch (bits) {
    case 1:
        return 0x1;
    case 2:
        return 0x3;
    case 4:
        return 0xF;
    case 8:
        return 0xFF;
    case 16:
        return 0xFFFF;
    case 24:
        return 0xFFFFFF;
    default:
        return 0xFFFFFFFF;
    }
}

bool DepthSupported(DWORD bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool SizeAcceptable(LONG width, LONG height, DWORD bits) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (std::int64_t{width} * height > kMaxPixels) return false;
    return static_cast<std::int64_t>(PitchOf(width, bits)) * height <= kMaxSurfaceBytes;
}

DWORD ColorCount(DWORD bits) {
    return bits <= 8 ? (1u << bits) : 0;
}

std::uint16_t Read16(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Read32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

HDC ScreenDC() {
    return ::GetDC(nullptr);
}

struct InfoBlock {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256]; // or three colour masks for 16 and 32 bits
};

void SetMasks(InfoBlock& info, DWORD bits) {
    DWORD masks[3];
    if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
        masks[0] = 0x000003FF, masks[1] = 0x000FFC00, masks[2] = 0x3FF00000;
    }
    std::memcpy(info.colors, masks, sizeof masks);
    info.header.biCompression = BI_BITFIELDS;
    info.header.biClrUsed = 0;
}

// Clamps a requested size that may be kToEdge against what is left from `pos` to `edge`.
std::int64_t ToEdge(LONG size, LONG pos, LONG edge) {
    return size == kToEdge ? static_cast<std::int64_t>(edge) - pos : size;
}

int BytesPerPixel(DWORD bits) {
    return static_cast<int>(bits / 8);
}

void Components(COLORREF c, int& r, int& g, int& b) {
    r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
}

} // namespace

// ---- Construction and destruction ----------------------------------------------------------

void Graphic::Clear() {
    valid_ = 0;
    child_ = 0;
    std::memset(&m, 0, sizeof m);
}

Graphic::Graphic(LPCTSTR fileName, COLORREF transparent, Sprite* sprite) : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    HANDLE file = CreateFile(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size != INVALID_FILE_SIZE && high == 0 &&
        size <= static_cast<DWORD>(kMaxSurfaceBytes * 2)) {
        auto* data = static_cast<BYTE*>(MemAlloc(size ? size : 1, MM("cbData")));
        DWORD read = 0;
        if (data && ReadFile(file, data, size, &read, nullptr) && read == size)
            LoadFromMemory(data, size, transparent, sprite);
        MemFree(data, MM("cbData"));
    }
    CloseHandle(file);
}

Graphic::Graphic(HANDLE file, COLORREF transparent, Sprite*) : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    BYTE head[40];
    DWORD read = 0;
    if (!ReadFile(file, head, 2, &read, nullptr) || read != 2) return;
    if (head[0] == 'B' && head[1] == 'M') {
        BYTE skip[12];
        if (!ReadFile(file, skip, 12, &read, nullptr) || read != 12) return;
    } else {
        // Not a file header: the information header starts where we began.
        SetFilePointer(file, -2, nullptr, FILE_CURRENT);
    }
    if (!ReadFile(file, head, 40, &read, nullptr) || read != 40) return;
    SetFilePointer(file, -40, nullptr, FILE_CURRENT);
    LONG width = static_cast<LONG>(Read32(head + 4));
    LONG height = static_cast<LONG>(Read32(head + 8));
    DWORD bits = static_cast<DWORD>(Read16(head + 12)) * Read16(head + 14);
    if (height == INT32_MIN) return;
    LONG absHeight = height < 0 ? -height : height;
    if (!DepthSupported(bits) || !SizeAcceptable(width, absHeight, bits)) return;
    std::int64_t amount = 40 + 4 * static_cast<std::int64_t>(ColorCount(bits)) +
                          static_cast<std::int64_t>(PitchOf(width, bits)) * absHeight;
    auto* data = static_cast<BYTE*>(MemAlloc(static_cast<std::size_t>(amount), MM("cbData")));
    if (!data) return;
    if (ReadFile(file, data, static_cast<DWORD>(amount), &read, nullptr)) LoadBmp(data, read);
    MemFree(data, MM("cbData"));
    if (IsLoaded()) SetTransparency(transparent);
}

Graphic::Graphic(const void* data, DWORD size, COLORREF transparent, Sprite* sprite)
    : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    if (data) LoadFromMemory(static_cast<const BYTE*>(data), size, transparent, sprite);
}

Graphic::Graphic(HMODULE module, LPCTSTR name, COLORREF transparent, Sprite* sprite)
    : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    HRSRC found = FindResource(module, name, RT_BITMAP);
    if (!found) found = FindResource(module, name, TEXT("GRAPHIC"));
    if (!found) found = FindResource(module, name, TEXT("PSP"));
    if (!found) return;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data)
        LoadFromMemory(static_cast<const BYTE*>(data), SizeofResource(module, found), transparent,
                       sprite);
}

Graphic::Graphic(LONG width, LONG height, DWORD bits, const RGBQUAD* colors) : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    CreateBlank(width, height, bits, colors);
}

Graphic::Graphic(LONG width, LONG height, DWORD bits, PaletteGroup* group) : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    m.NotChild.prepared = kNoColor;
    m.NotChild.transparent = kNoColor;
    if (bits == 0) bits = static_cast<DWORD>(GetDeviceCaps(ScreenDC(), BITSPIXEL));
    RGBQUAD table[256] = {};
    const RGBQUAD* colors = nullptr;
    if (group && bits <= 8) {
        PALETTEENTRY entries[256] = {};
        group->GetEntries(entries, 0, 256);
        for (int i = 0; i < 256; ++i)
            table[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
        colors = table;
    }
    if (!CreateBlank(width, height, bits, colors)) return;
    if (group && group->Open()) {
        group->Add(this, FALSE);
        group->Close();
    }
}

Graphic::Graphic(Graphic* parent, const RECT* rect) : children_(nullptr) {
    Clear();
    cChildren_ = 0;
    valid_ = 1;
    child_ = 1;
    m.Child.parent = parent;
    if (rect) {
        m.Child.rect = *rect;
    } else if (parent && parent->valid_) {
        parent->GetRect(&m.Child.rect);
    }
    if (!parent || !parent->valid_) return;
    std::size_t slot = parent->cChildren_;
    for (std::size_t i = 0; i < parent->cChildren_; ++i)
        if (!parent->children_[i]) {
            slot = i;
            break;
        }
    if (slot == parent->cChildren_ &&
        !MemGrowArray(&parent->children_, &parent->cChildren_, slot + 1, 1, MM("GRAPHIC")))
        return;
    parent->children_[slot] = this;
}

Graphic::~Graphic() {
    if (valid_) Destroy();
}

void Graphic::Destroy() {
    if (!valid_) {
        Trace(true, "Graphic 0x%08lX destroyed twice", static_cast<const void*>(this));
        return;
    }
    // Children of a child graphic (a child sprite's frames on a sprite's cell frames) go too:
    // left alone they would keep pointing at a parent that is no longer there.
    for (std::size_t i = 0; i < cChildren_; ++i) {
        Graphic* c = children_[i];
        if (!c) continue;
        Trace(true, "Warning: freeing child graphic 0x%08lX when parent 0x%08lX destroyed",
              static_cast<const void*>(c), static_cast<const void*>(this));
        c->m.Child.parent = nullptr;
        children_[i] = nullptr;
        c->Destroy();
    }
    if (child_) {
        if (m.Child.parent && m.Child.parent->valid_) m.Child.parent->RemoveChild(this);
    } else {
        if (m.NotChild.group) m.NotChild.group->Remove(this);
        SetTranslucency(0, 128);
        FreeSpans();
        if (m.NotChild.hdc) {
            Trace(true, "Warning: freeing graphic 0x%08lX while HDC still open",
                  static_cast<const void*>(this));
            SelectObject(m.NotChild.hdc, m.NotChild.hbmOld);
            DeleteDC(m.NotChild.hdc);
        }
        FreeSurface();
        MemFree(m.NotChild.pbSelection, MM("*pcbSelection"));
    }
    MemFree(children_, MM("GRAPHIC"));
    children_ = nullptr;
    cChildren_ = 0;
    Clear();
}

void Graphic::RemoveChild(Graphic* child) {
    for (std::size_t i = 0; i < cChildren_; ++i)
        if (children_[i] == child) children_[i] = nullptr;
}

void Graphic::FreeSurface() {
    if (m.NotChild.hbmSurface) DeleteObject(m.NotChild.hbmSurface);
    if (m.NotChild.hbmMask) DeleteObject(m.NotChild.hbmMask);
    MemFree(m.NotChild.pbMaskBits, MM("cbBits"));
    m.NotChild.hbmSurface = nullptr;
    m.NotChild.hbmMask = nullptr;
    m.NotChild.pbMaskBits = nullptr;
    m.NotChild.pBits = nullptr;
    m.NotChild.rect = {0, 0, 0, 0};
}

bool Graphic::Check(const char* operation) {
    if (valid_) return true;
    Trace(true, "Graphic::%s called on invalid graphic (0x%08lX)", operation,
          static_cast<const void*>(this));
    return false;
}

// ---- Loading --------------------------------------------------------------------------------

void Graphic::LoadFromMemory(const BYTE* data, DWORD size, COLORREF transparent, Sprite* sprite) {
    if (size > kPspSignatureLength && std::memcmp(data, kPspSignature, kPspSignatureLength) == 0) {
        if (!PspRead(this, sprite, data, size, transparent)) {
            SetTranslucency(0, 128);
            FreeSpans();
            FreeSurface();
            MemFree(m.NotChild.pbSelection, MM("*pcbSelection"));
            m.NotChild.pbSelection = nullptr;
            m.NotChild.cbSelection = 0;
            m.NotChild.transparent = kNoColor;
        }
        return;
    }
    if (size >= 14 && data[0] == 'B' && data[1] == 'M') {
        data += 14;
        size -= 14;
    }
    if (LoadBmp(data, size)) SetTransparency(transparent);
}

bool Graphic::LoadBmp(const BYTE* data, DWORD size) {
    if (size < 40 || Read32(data) < 40) return false;
    LONG width = static_cast<LONG>(Read32(data + 4));
    LONG height = static_cast<LONG>(Read32(data + 8));
    WORD planes = Read16(data + 12);
    WORD bitCount = Read16(data + 14);
    DWORD bits = static_cast<DWORD>(planes) * bitCount;
    if (height == INT32_MIN || !DepthSupported(bits)) return false;
    bool flip = height > 0;
    LONG absHeight = flip ? height : -height;
    if (!SizeAcceptable(width, absHeight, bits)) return false;
    DWORD tableBytes = 4 * ColorCount(bits);
    if (size - 40 < tableBytes) return false;

    auto* info = static_cast<InfoBlock*>(MemAlloc(sizeof(InfoBlock), MM("cbHeader + cbExtra")));
    if (!info) return false;
    std::memset(info, 0, sizeof(InfoBlock));
    std::memcpy(&info->header, data, 40);
    std::memcpy(info->colors, data + 40, tableBytes);
    info->header.biSize = 40;
    info->header.biHeight = -absHeight;
    if (bits == 16 || bits == 32) SetMasks(*info, bits);

    void* bitsPtr = nullptr;
    HBITMAP surface = CreateDIBSection(ScreenDC(), reinterpret_cast<BITMAPINFO*>(info),
                                       DIB_RGB_COLORS, &bitsPtr, nullptr, 0);
    if (!surface || !bitsPtr) {
        if (surface) DeleteObject(surface);
        MemFree(info, MM("cbHeader + cbExtra"));
        return false;
    }
    m.NotChild.hbmSurface = surface;
    m.NotChild.pBits = static_cast<BYTE*>(bitsPtr);
    m.NotChild.transparent = kNoColor;
    m.NotChild.rect = {0, 0, width, absHeight};
    m.NotChild.bitsPerPixel = bits;
    if (bits <= 8) std::memcpy(m.NotChild.colors, info->colors, tableBytes);
    m.NotChild.cbPitch = PitchOf(width, bits);
    m.NotChild.valueMask = ValueMaskOf(bits);
    MemFree(info, MM("cbHeader + cbExtra"));

    const BYTE* pixels = data + 40 + tableBytes;
    std::size_t remaining = size - 40 - tableBytes;
    std::size_t pitch = static_cast<std::size_t>(m.NotChild.cbPitch);
    if (remaining >= pitch * absHeight) {
        std::memcpy(m.NotChild.pBits, pixels, pitch * absHeight);
        if (flip) {
            auto* row = static_cast<BYTE*>(MemAlloc(pitch, MM("m.NotChild.cbPitch")));
            if (row) {
                for (LONG i = 0; i < absHeight / 2; ++i) {
                    BYTE* a = m.NotChild.pBits + i * pitch;
                    BYTE* b = m.NotChild.pBits + (absHeight - 1 - i) * pitch;
                    std::memcpy(row, a, pitch);
                    std::memcpy(a, b, pitch);
                    std::memcpy(b, row, pitch);
                }
                MemFree(row, MM("m.NotChild.cbPitch"));
            }
        }
    }
    return true;
}

bool Graphic::CreateBlank(LONG width, LONG height, DWORD bits, const RGBQUAD* colors) {
    if (bits == 0) bits = static_cast<DWORD>(GetDeviceCaps(ScreenDC(), BITSPIXEL));
    if (!DepthSupported(bits) || !SizeAcceptable(width, height, bits)) return false;
    auto* info = static_cast<InfoBlock*>(MemAlloc(sizeof(InfoBlock), MM("cbInfo")));
    if (!info) return false;
    std::memset(info, 0, sizeof(InfoBlock));
    BITMAPINFOHEADER& h = info->header;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = -height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bits);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(PitchOf(width, bits) * height);
    DWORD count = ColorCount(bits);
    h.biClrUsed = count;
    if (bits == 16 || bits == 32) SetMasks(*info, bits);
    if (count) {
        if (colors) {
            std::memcpy(info->colors, colors, 4 * count);
        } else if (count == 2) {
            info->colors[0] = {0, 0, 0, 0};
            info->colors[1] = {255, 255, 255, 0};
        } else {
            PALETTEENTRY sys[256] = {};
            GetSystemPaletteEntries(ScreenDC(), 0, count, sys);
            for (DWORD i = 0; i < count; ++i)
                info->colors[i] = {sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0};
        }
    }
    void* bitsPtr = nullptr;
    HBITMAP surface = CreateDIBSection(ScreenDC(), reinterpret_cast<BITMAPINFO*>(info),
                                       DIB_RGB_COLORS, &bitsPtr, nullptr, 0);
    if (!surface || !bitsPtr) {
        if (surface) DeleteObject(surface);
        MemFree(info, MM("cbInfo"));
        return false;
    }
    m.NotChild.hbmSurface = surface;
    m.NotChild.pBits = static_cast<BYTE*>(bitsPtr);
    m.NotChild.rect = {0, 0, width, height};
    m.NotChild.bitsPerPixel = bits;
    if (count) std::memcpy(m.NotChild.colors, info->colors, 4 * count);
    m.NotChild.cbPitch = PitchOf(width, bits);
    m.NotChild.valueMask = ValueMaskOf(bits);
    m.NotChild.transparent = kNoColor;
    MemFree(info, MM("cbInfo"));
    return true;
}

BOOL Graphic::CreateSurface(LONG width, LONG height, DWORD bits, const RGBQUAD* colors) {
    if (!valid_ || child_ || m.NotChild.hbmSurface) return FALSE;
    return CreateBlank(width, height, bits, colors) ? TRUE : FALSE;
}

void Graphic::AttachSelection(BYTE* mask, DWORD size) {
    Graphic* root = GetRoot();
    if (!root) {
        MemFree(mask, MM("*pcbSelection"));
        return;
    }
    MemFree(root->m.NotChild.pbSelection, MM("*pcbSelection"));
    root->m.NotChild.pbSelection = mask;
    root->m.NotChild.cbSelection = mask ? size : 0;
}

// ---- Simple queries -------------------------------------------------------------------------

Graphic* Graphic::GetRoot() {
    Graphic* g = this;
    while (g && g->valid_ && g->child_)
        g = g->m.Child.parent;
    return g && g->valid_ ? g : nullptr;
}

BYTE* Graphic::GetBits() {
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.pBits : nullptr;
}

LONG Graphic::GetPitch() {
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.cbPitch : 0;
}

HBITMAP Graphic::GetSurface() {
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.hbmSurface : nullptr;
}

PaletteGroup* Graphic::GetPaletteGroup() {
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.group : nullptr;
}

void Graphic::SetPaletteGroupLink(PaletteGroup* group) {
    if (Graphic* r = GetRoot()) r->m.NotChild.group = group;
}

BOOL Graphic::HasOpenDC() {
    Graphic* r = GetRoot();
    return r && r->m.NotChild.hdc ? TRUE : FALSE;
}

DWORD Graphic::GetSpanRowCount() {
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.cRows : 0;
}

BOOL Graphic::IsLoaded() {
    if (!valid_) return FALSE;
    if (child_) return m.Child.parent ? m.Child.parent->IsLoaded() : FALSE;
    return m.NotChild.hbmSurface != nullptr;
}

BOOL Graphic::IsChild() {
    if (!Check("IsChild")) return FALSE;
    return child_ ? TRUE : FALSE;
}

Graphic* Graphic::GetParent() {
    if (!Check("GetParent")) return nullptr;
    if (!child_) {
        Trace(true, "Graphic::GetParent called on non-child graphic (0x%08lX)",
              static_cast<const void*>(this));
        return nullptr;
    }
    return m.Child.parent;
}

BOOL Graphic::GetRectInParent(RECT* rect) {
    if (!Check("GetRectInParent")) return FALSE;
    if (!child_) {
        Trace(true, "Graphic::GetRectInParent called on non-child graphic (0x%08lX)",
              static_cast<const void*>(this));
        return FALSE;
    }
    if (rect) *rect = m.Child.rect;
    return TRUE;
}

BOOL Graphic::GetRect(RECT* rect) {
    if (!Check("GetRect")) return FALSE;
    if (!rect) return FALSE;
    if (child_)
        *rect = {0, 0, m.Child.rect.right - m.Child.rect.left,
                 m.Child.rect.bottom - m.Child.rect.top};
    else
        *rect = m.NotChild.rect;
    return TRUE;
}

LONG Graphic::GetWidth() {
    if (!Check("GetWidth")) return 0;
    const RECT& r = child_ ? m.Child.rect : m.NotChild.rect;
    return r.right - r.left;
}

LONG Graphic::GetHeight() {
    if (!Check("GetHeight")) return 0;
    const RECT& r = child_ ? m.Child.rect : m.NotChild.rect;
    return r.bottom - r.top;
}

DWORD Graphic::GetBitsPerPixel() {
    if (!Check("GetBitsPerPixel")) return 0;
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.bitsPerPixel : 0;
}

// ---- Transparency and translucency ----------------------------------------------------------

COLORREF Graphic::GetTransparency() {
    if (!Check("GetTransparency")) return kNoColor;
    Graphic* r = GetRoot();
    return r ? r->m.NotChild.transparent : kNoColor;
}

BOOL Graphic::SetTransparency(COLORREF color) {
    if (!Check("SetTransparency")) return FALSE;
    Graphic* r = GetRoot();
    if (!r) return FALSE;
    r->m.NotChild.transparent = color;
    return TRUE;
}

BOOL Graphic::IsTranslucent() {
    if (!Check("IsTranslucent")) return FALSE;
    Graphic* r = GetRoot();
    return r && r->m.NotChild.translucency.mode != 0 ? TRUE : FALSE;
}

GRAPHIC_TRANSLUCENCY* Graphic::GetTranslucency() {
    if (!Check("GetTranslucency")) return nullptr;
    Graphic* r = GetRoot();
    return r ? &r->m.NotChild.translucency : nullptr;
}

BOOL Graphic::SetTranslucency(DWORD mode, BYTE level) {
    if (!Check("SetTranslucency")) return FALSE;
    Graphic* r = GetRoot();
    if (!r) return FALSE;
    GRAPHIC_TRANSLUCENCY& t = r->m.NotChild.translucency;
    if (t.mode == mode && t.level == level) return TRUE;
    MemFree(t.pbOpacity, MM("cbOpacity"));
    t = {};
    t.mode = mode;
    t.level = level;
    if (mode == 2) {
        LONG w = r->m.NotChild.rect.right, h = r->m.NotChild.rect.bottom;
        std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        t.pbOpacity = static_cast<BYTE*>(MemAlloc(bytes ? bytes : 1, MM("cbOpacity")));
        if (!t.pbOpacity) {
            t = {};
            return FALSE;
        }
        std::memset(t.pbOpacity, 128, bytes);
        t.cOpacityRows = static_cast<DWORD>(h);
        t.cbOpacityStride = static_cast<DWORD>(w);
    }
    return TRUE;
}

BOOL Graphic::SetOpacityFromGraphic(Graphic* mask) {
    if (!Check("SetOpacityFromGraphic")) return FALSE;
    if (!mask || !mask->valid_ || mask->GetWidth() != GetWidth() ||
        mask->GetHeight() != GetHeight())
        return FALSE;
    Graphic* r = GetRoot();
    if (!r || !SetTranslucency(2, 128)) return FALSE;
    GRAPHIC_TRANSLUCENCY& t = r->m.NotChild.translucency;
    // Several graphics may share a root: the map is addressed in root coordinates.
    RECT in{0, 0, 0, 0};
    LONG ox = 0, oy = 0;
    for (Graphic* g = this; g->child_; g = g->m.Child.parent)
        ox += g->m.Child.rect.left, oy += g->m.Child.rect.top;
    in = {ox, oy, ox + GetWidth(), oy + GetHeight()};
    for (LONG y = in.top; y < in.bottom; ++y) {
        if (y < 0 || static_cast<DWORD>(y) >= t.cOpacityRows) continue;
        for (LONG x = in.left; x < in.right; ++x) {
            if (x < 0 || static_cast<DWORD>(x) >= t.cbOpacityStride) continue;
            COLORREF c = mask->GetPixelColor(x - ox, y - oy);
            int red, green, blue;
            Components(c, red, green, blue);
            t.pbOpacity[y * t.cbOpacityStride + x] = static_cast<BYTE>((red + green + blue) / 3);
        }
    }
    return TRUE;
}

BOOL Graphic::HasSelection() {
    Graphic* r = GetRoot();
    return r && r->m.NotChild.pbSelection ? TRUE : FALSE;
}

BOOL Graphic::GetSelection(BYTE** buffer, DWORD* size) {
    if (!buffer || !size) return FALSE;
    *buffer = nullptr;
    *size = 0;
    Graphic* r = GetRoot();
    if (!r || !r->m.NotChild.pbSelection) return FALSE;
    LONG ox = 0, oy = 0;
    for (Graphic* g = this; g->child_; g = g->m.Child.parent)
        ox += g->m.Child.rect.left, oy += g->m.Child.rect.top;
    LONG w = GetWidth(), h = GetHeight();
    if (w <= 0 || h <= 0) return FALSE;
    std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    auto* out = static_cast<BYTE*>(MemAlloc(bytes, MM("*pcbSelection")));
    if (!out) return FALSE;
    std::memset(out, 0, bytes);
    LONG rootWidth = r->m.NotChild.rect.right;
    std::int64_t maskSize = r->m.NotChild.cbSelection;
    for (LONG y = 0; y < h; ++y) {
        for (LONG x = 0; x < w; ++x) {
            LONG rx = x + ox, ry = y + oy;
            if (rx < 0 || ry < 0 || rx >= rootWidth) continue;
            std::int64_t at = static_cast<std::int64_t>(ry) * rootWidth + rx;
            if (at >= maskSize) break;
            out[static_cast<std::size_t>(y) * w + x] = r->m.NotChild.pbSelection[at];
        }
    }
    *buffer = out;
    *size = static_cast<DWORD>(bytes);
    return TRUE;
}

void Graphic::FreeSelection(BYTE* buffer) {
    MemFree(buffer, MM("*pcbSelection"));
}

// ---- Pixels ---------------------------------------------------------------------------------

DWORD Graphic::ColorToValue(COLORREF color) {
    if (!Check("ColorToValue")) return 0;
    Graphic* r = GetRoot();
    if (!r) return 0;
    int red, green, blue;
    Components(color, red, green, blue);
    DWORD bits = r->m.NotChild.bitsPerPixel;
    switch (bits) {
    case 1:
    case 2:
    case 4:
    case 8:
        for (DWORD i = 0; i < (1u << bits); ++i) {
            const RGBQUAD& q = r->m.NotChild.colors[i];
            if (q.rgbRed == red && q.rgbGreen == green && q.rgbBlue == blue) return i;
        }
        return 0;
    case 16:
        return static_cast<DWORD>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
    case 24:
    case 32:
        return static_cast<DWORD>((red << 16) | (green << 8) | blue);
    default:
        return 0;
    }
}

COLORREF Graphic::ValueToColor(DWORD value) {
    if (!Check("ValueToColor")) return kNoColor;
    Graphic* r = GetRoot();
    if (!r) return kNoColor;
    DWORD bits = r->m.NotChild.bitsPerPixel;
    switch (bits) {
    case 1:
    case 2:
    case 4:
    case 8: {
        const RGBQUAD& q = r->m.NotChild.colors[std::min<DWORD>(value, (1u << bits) - 1)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case 16:
        return RGB(((value >> 10) & 31) << 3, ((value >> 5) & 31) << 3, (value & 31) << 3);
    case 24:
    case 32:
        return RGB((value >> 16) & 255, (value >> 8) & 255, value & 255);
    default:
        return kNoColor;
    }
}

BYTE* Graphic::PixelAddress(LONG x, LONG y) {
    return m.NotChild.pBits + static_cast<std::ptrdiff_t>(y) * m.NotChild.cbPitch +
           (static_cast<std::ptrdiff_t>(x) * m.NotChild.bitsPerPixel) / 8;
}

namespace {

DWORD ReadValue(const BYTE* p, DWORD bits, LONG x) {
    switch (bits) {
    case 8:
        return *p;
    case 16:
        return Read16(p);
    case 24:
        return static_cast<DWORD>(p[0]) | (p[1] << 8) | (p[2] << 16);
    case 32:
        return Read32(p);
    default: {
        int shift = static_cast<int>((8 - bits) - ((static_cast<DWORD>(x) * bits) % 8));
        return (*p >> shift) & ValueMaskOf(bits);
    }
    }
}

void WriteValue(BYTE* p, DWORD bits, LONG x, DWORD value) {
    switch (bits) {
    case 8:
        *p = static_cast<BYTE>(value);
        break;
    case 16:
        p[0] = static_cast<BYTE>(value), p[1] = static_cast<BYTE>(value >> 8);
        break;
    case 24:
        p[0] = static_cast<BYTE>(value), p[1] = static_cast<BYTE>(value >> 8);
        p[2] = static_cast<BYTE>(value >> 16);
        break;
    case 32:
        p[0] = static_cast<BYTE>(value), p[1] = static_cast<BYTE>(value >> 8);
        p[2] = static_cast<BYTE>(value >> 16), p[3] = static_cast<BYTE>(value >> 24);
        break;
    default: {
        int shift = static_cast<int>((8 - bits) - ((static_cast<DWORD>(x) * bits) % 8));
        BYTE mask = static_cast<BYTE>(ValueMaskOf(bits) << shift);
        *p = static_cast<BYTE>((*p & ~mask) | ((value << shift) & mask));
    }
    }
}

} // namespace

DWORD Graphic::GetPixelValue(LONG x, LONG y) {
    if (!valid_) return 0;
    if (child_) {
        if (!m.Child.parent) return 0;
        return m.Child.parent->GetPixelValue(x + m.Child.rect.left, y + m.Child.rect.top);
    }
    if (!m.NotChild.pBits || x < 0 || y < 0 || x >= m.NotChild.rect.right ||
        y >= m.NotChild.rect.bottom)
        return 0;
    return ReadValue(PixelAddress(x, y), m.NotChild.bitsPerPixel, x);
}

void Graphic::SetPixelValue(LONG x, LONG y, DWORD value) {
    if (!valid_) return;
    if (child_) {
        if (m.Child.parent)
            m.Child.parent->SetPixelValue(x + m.Child.rect.left, y + m.Child.rect.top, value);
        return;
    }
    if (!m.NotChild.pBits || x < 0 || y < 0 || x >= m.NotChild.rect.right ||
        y >= m.NotChild.rect.bottom)
        return;
    WriteValue(PixelAddress(x, y), m.NotChild.bitsPerPixel, x, value & m.NotChild.valueMask);
}

COLORREF Graphic::GetPixelColor(LONG x, LONG y) {
    return ValueToColor(GetPixelValue(x, y));
}

void Graphic::SetPixelColor(LONG x, LONG y, COLORREF color) {
    SetPixelValue(x, y, ColorToValue(color));
}

// ---- Device contexts ------------------------------------------------------------------------

HDC Graphic::GetDC() {
    if (!Check("GetDC")) return nullptr;
    if (child_) return m.Child.parent ? m.Child.parent->GetDC() : nullptr;
    if (!m.NotChild.hbmSurface) return nullptr;
    if (m.NotChild.cDCUses++ == 0) {
        m.NotChild.hdc = CreateCompatibleDC(ScreenDC());
        if (!m.NotChild.hdc) {
            m.NotChild.cDCUses = 0;
            return nullptr;
        }
        m.NotChild.hbmOld = SelectObject(m.NotChild.hdc, m.NotChild.hbmSurface);
    }
    return m.NotChild.hdc;
}

void Graphic::ReleaseDC() {
    if (!Check("ReleaseDC")) return;
    if (child_) {
        if (m.Child.parent) m.Child.parent->ReleaseDC();
        return;
    }
    if (m.NotChild.cDCUses == 0) return;
    if (--m.NotChild.cDCUses == 0) {
        SelectObject(m.NotChild.hdc, m.NotChild.hbmOld);
        DeleteDC(m.NotChild.hdc);
        m.NotChild.hdc = nullptr;
        m.NotChild.hbmOld = nullptr;
    }
}

// ---- Transparency preparation ---------------------------------------------------------------

void Graphic::FreeSpans() {
    MemFree(m.NotChild.spans, MM("cbBits"));
    MemFree(m.NotChild.rows, MM("cbBits"));
    m.NotChild.spans = nullptr;
    m.NotChild.rows = nullptr;
    m.NotChild.cSpans = m.NotChild.cSpansUsed = m.NotChild.cRows = 0;
}

void Graphic::BuildSpans() {
    FreeSpans();
    LONG w = m.NotChild.rect.right, h = m.NotChild.rect.bottom;
    if (!m.NotChild.pBits || h <= 0) return;
    auto* rows = static_cast<GRAPHIC_SPANROW*>(
        MemAlloc(sizeof(GRAPHIC_SPANROW) * static_cast<std::size_t>(h), MM("cbBits")));
    if (!rows) return;
    DWORD v = ColorToValue(m.NotChild.transparent);
    DWORD bits = m.NotChild.bitsPerPixel;
    std::size_t capacity = 0;
    GRAPHIC_SPAN* spans = nullptr;
    DWORD used = 0;
    LONG filled = 0;
    for (LONG y = 0; y < h; ++y) {
        rows[y] = {0xFFFFFFFF, 0};
        const BYTE* row = m.NotChild.pBits + static_cast<std::ptrdiff_t>(y) * m.NotChild.cbPitch;
        LONG x = 0;
        bool failed = false;
        while (x < w) {
            while (x < w &&
                   ReadValue(row + (static_cast<std::ptrdiff_t>(x) * bits) / 8, bits, x) == v)
                ++x;
            if (x >= w) break;
            LONG start = x;
            while (x < w &&
                   ReadValue(row + (static_cast<std::ptrdiff_t>(x) * bits) / 8, bits, x) != v)
                ++x;
            // Growing by doubling (never by less than 128) keeps a finely dithered image
            // linear; fixed steps made it quadratic.
            if (used >= capacity &&
                !MemGrowArray(&spans, &capacity, used + 1, std::max<std::size_t>(128, capacity),
                              MM("cbBits"))) {
                failed = true;
                break;
            }
            if (rows[y].count == 0) rows[y].first = used;
            spans[used++] = {start, x - start};
            ++rows[y].count;
        }
        if (failed) break;
        filled = y + 1;
    }
    m.NotChild.spans = spans;
    m.NotChild.cSpans = static_cast<DWORD>(capacity);
    m.NotChild.cSpansUsed = used;
    m.NotChild.rows = rows;
    // A short table makes transparent copies take the device-context path.
    m.NotChild.cRows = static_cast<DWORD>(filled);
}

void Graphic::RestoreTransparentPixels() {
#ifdef TESSARK_DESKTOP
    if (!m.NotChild.pbMaskBits || m.NotChild.prepared == kNoColor) return;
    DWORD v = ColorToValue(m.NotChild.prepared);
    LONG w = m.NotChild.rect.right, h = m.NotChild.rect.bottom;
    LONG maskPitch = ((w + 15) / 16) * 2;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            if (m.NotChild.pbMaskBits[y * maskPitch + x / 8] & (0x80 >> (x % 8)))
                WriteValue(PixelAddress(x, y), m.NotChild.bitsPerPixel, x, v);
#endif
}

void Graphic::PrepareTransparency() {
    Graphic* r = GetRoot();
    if (r != this) {
        if (r) r->PrepareTransparency();
        return;
    }
    if (m.NotChild.prepared == m.NotChild.transparent) return;
#ifdef TESSARK_DESKTOP
    // Transparent pixels hold value 0 (black or the first entry) while a colour is prepared,
    // so the second step of the mask copy (SRCPAINT) leaves the destination alone there;
    // the old colour comes back from the mask before a new one is prepared.
    RestoreTransparentPixels();
    if (m.NotChild.hbmMask) DeleteObject(m.NotChild.hbmMask);
    MemFree(m.NotChild.pbMaskBits, MM("cbBits"));
    m.NotChild.hbmMask = nullptr;
    m.NotChild.pbMaskBits = nullptr;
    FreeSpans();
    m.NotChild.prepared = m.NotChild.transparent;
    if (m.NotChild.transparent == kNoColor || !m.NotChild.pBits) return;
    BuildSpans();
    LONG w = m.NotChild.rect.right, h = m.NotChild.rect.bottom;
    LONG maskPitch = ((w + 15) / 16) * 2;
    std::size_t bytes = static_cast<std::size_t>(maskPitch) * h;
    auto* maskBits = static_cast<BYTE*>(MemAlloc(bytes, MM("cbBits")));
    if (!maskBits) return;
    std::memset(maskBits, 0, bytes);
    DWORD v = ColorToValue(m.NotChild.transparent);
    DWORD bits = m.NotChild.bitsPerPixel;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            BYTE* p = PixelAddress(x, y);
            if (ReadValue(p, bits, x) == v) {
                maskBits[y * maskPitch + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
                WriteValue(p, bits, x, 0);
            }
        }
    m.NotChild.pbMaskBits = maskBits;
    m.NotChild.hbmMask = CreateBitmap(w, h, 1, 1, maskBits);
#else
    m.NotChild.prepared = m.NotChild.transparent;
    FreeSpans();
    if (m.NotChild.transparent != kNoColor) BuildSpans();
#endif
}

// ---- Copies onto graphics -------------------------------------------------------------------

BOOL Graphic::DrawTo(Graphic* dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height) {
    if (!Check("DrawTo")) return FALSE;
    if (!dst || !dst->valid_) return FALSE;
    return DrawToGraphic(dst, x, y, xSrc, ySrc, width, height);
}

namespace {

// Clips one axis of a copy: source [pos, pos + size) inside [lo, hi), destination [dpos,
// dpos + size) inside [dlo, dhi). Positions move together so nothing is ever wrapped.
bool ClipAxis(std::int64_t& pos, std::int64_t& dpos, std::int64_t& size, std::int64_t lo,
              std::int64_t hi, std::int64_t dlo, std::int64_t dhi) {
    if (pos < lo) {
        size -= lo - pos, dpos += lo - pos, pos = lo;
    }
    if (dpos < dlo) {
        size -= dlo - dpos, pos += dlo - dpos, dpos = dlo;
    }
    size = std::min({size, hi - pos, dhi - dpos});
    return size > 0;
}

} // namespace

BOOL Graphic::DrawToGraphic(Graphic* dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width,
                            LONG height) {
    if (child_) {
        if (!m.Child.parent) return FALSE;
        const RECT& rc = m.Child.rect;
        std::int64_t w = ToEdge(width, xSrc, rc.right - rc.left);
        std::int64_t h = ToEdge(height, ySrc, rc.bottom - rc.top);
        std::int64_t sx = xSrc, sy = ySrc, dx = x, dy = y;
        // Clip to the child's own rectangle before the parent sees the request.
        if (!ClipAxis(sx, dx, w, 0, rc.right - rc.left, INT32_MIN, INT32_MAX)) return FALSE;
        if (!ClipAxis(sy, dy, h, 0, rc.bottom - rc.top, INT32_MIN, INT32_MAX)) return FALSE;
        if (dx < INT32_MIN || dy < INT32_MIN) return FALSE;
        return m.Child.parent->DrawToGraphic(
            dst, static_cast<LONG>(dx), static_cast<LONG>(dy), static_cast<LONG>(sx + rc.left),
            static_cast<LONG>(sy + rc.top), static_cast<LONG>(w), static_cast<LONG>(h));
    }
    if (!m.NotChild.pBits) return FALSE;
    // The destination: its root, the offset into it and the area it may draw on.
    Graphic* droot = dst;
    std::int64_t ox = 0, oy = 0;
    RECT clip{0, 0, 0, 0};
    bool first = true;
    while (droot && droot->valid_ && droot->child_) {
        const RECT& rc = droot->m.Child.rect;
        if (first) {
            clip = {0, 0, rc.right - rc.left, rc.bottom - rc.top};
            first = false;
        }
        clip.left += rc.left, clip.right += rc.left, clip.top += rc.top, clip.bottom += rc.top;
        ox += rc.left, oy += rc.top;
        droot = droot->m.Child.parent;
    }
    if (!droot || !droot->valid_ || !droot->m.NotChild.pBits) return FALSE;
    const RECT& dr = droot->m.NotChild.rect;
    if (first) clip = dr;
    clip.left = std::max(clip.left, dr.left), clip.top = std::max(clip.top, dr.top);
    clip.right = std::min(clip.right, dr.right), clip.bottom = std::min(clip.bottom, dr.bottom);

    const RECT& sr = m.NotChild.rect;
    std::int64_t w = ToEdge(width, xSrc, sr.right);
    std::int64_t h = ToEdge(height, ySrc, sr.bottom);
    std::int64_t sx = xSrc, sy = ySrc, dx = x + ox, dy = y + oy;

    if (m.NotChild.bitsPerPixel != droot->m.NotChild.bitsPerPixel &&
        m.NotChild.translucency.mode == 0) {
        // Across depths the platform converts; a child destination gets a context limited
        // to its rectangle.
        if (dst == droot) {
            HDC hdc = droot->GetDC();
            if (!hdc) return FALSE;
            BOOL ok = DrawToDC(hdc, x, y, xSrc, ySrc, width, height);
            droot->ReleaseDC();
            return ok;
        }
        HDC hdc = platform::gdi::CreateSurfaceDC(droot->m.NotChild.hbmSurface, &clip);
        if (!hdc) return FALSE;
        BOOL ok = DrawToDC(hdc, static_cast<LONG>(dx - clip.left), static_cast<LONG>(dy - clip.top),
                           xSrc, ySrc, width, height);
        DeleteDC(hdc);
        return ok;
    }
    if (!ClipAxis(sx, dx, w, 0, sr.right, clip.left, clip.right)) return FALSE;
    if (!ClipAxis(sy, dy, h, 0, sr.bottom, clip.top, clip.bottom)) return FALSE;
    LONG X = static_cast<LONG>(dx), Y = static_cast<LONG>(dy);
    LONG SX = static_cast<LONG>(sx), SY = static_cast<LONG>(sy);
    LONG W = static_cast<LONG>(w), H = static_cast<LONG>(h);
    if (m.NotChild.translucency.mode != 0) {
        BlendTo(droot, X, Y, SX, SY, W, H);
        return TRUE;
    }
    if (m.NotChild.transparent != kNoColor) {
        PrepareTransparency();
        if (m.NotChild.cRows >= static_cast<DWORD>(sr.bottom)) {
            CopySpans(droot, X, Y, SX, SY, W, H);
            return TRUE;
        }
        HDC hdc = platform::gdi::CreateSurfaceDC(droot->m.NotChild.hbmSurface, &clip);
        if (!hdc) return FALSE;
        BOOL ok = DrawToDC(hdc, X - clip.left, Y - clip.top, SX, SY, W, H);
        DeleteDC(hdc);
        return ok;
    }
    CopyRows(droot, X, Y, SX, SY, W, H);
    return TRUE;
}

void Graphic::CopyRows(Graphic* d, LONG x, LONG y, LONG sx, LONG sy, LONG w, LONG h) {
    DWORD bits = m.NotChild.bitsPerPixel;
    if (bits >= 8) {
        std::size_t bytes = static_cast<std::size_t>(w) * BytesPerPixel(bits);
        for (LONG i = 0; i < h; ++i)
            std::memmove(d->PixelAddress(x, y + i), PixelAddress(sx, sy + i), bytes);
        return;
    }
    for (LONG i = 0; i < h; ++i)
        for (LONG j = 0; j < w; ++j)
            WriteValue(d->PixelAddress(x + j, y + i), bits, x + j,
                       ReadValue(PixelAddress(sx + j, sy + i), bits, sx + j));
}

void Graphic::CopySpans(Graphic* d, LONG x, LONG y, LONG sx, LONG sy, LONG w, LONG h) {
    DWORD bits = m.NotChild.bitsPerPixel;
    int bpp = BytesPerPixel(bits);
    for (LONG i = 0; i < h; ++i) {
        const GRAPHIC_SPANROW& row = m.NotChild.rows[sy + i];
        for (DWORD k = 0; k < row.count; ++k) {
            const GRAPHIC_SPAN& s = m.NotChild.spans[row.first + k];
            LONG a = std::max(s.x, sx), b = std::min(s.x + s.length, sx + w);
            if (a >= b) continue;
            if (bits >= 8) {
                std::memmove(d->PixelAddress(x + (a - sx), y + i), PixelAddress(a, sy + i),
                             static_cast<std::size_t>(b - a) * bpp);
            } else {
                for (LONG j = a; j < b; ++j)
                    WriteValue(d->PixelAddress(x + (j - sx), y + i), bits, x + (j - sx),
                               ReadValue(PixelAddress(j, sy + i), bits, j));
            }
        }
    }
}

void Graphic::BlendTo(Graphic* d, LONG x, LONG y, LONG sx, LONG sy, LONG w, LONG h) {
    DWORD dbits = d->m.NotChild.bitsPerPixel;
    DWORD sbits = m.NotChild.bitsPerPixel;
    if (dbits < 8) return;
    PaletteGroup* group = d->m.NotChild.group;
    if (dbits == 8 && (!group || !group->UsesColorCube())) return;
    const GRAPHIC_TRANSLUCENCY& t = m.NotChild.translucency;
    for (LONG i = 0; i < h; ++i) {
        for (LONG j = 0; j < w; ++j) {
            LONG px = sx + j, py = sy + i;
            int a = t.level;
            if (t.mode == 2) {
                a = 0;
                if (t.pbOpacity && static_cast<DWORD>(py) < t.cOpacityRows &&
                    static_cast<DWORD>(px) < t.cbOpacityStride)
                    a = t.pbOpacity[static_cast<std::size_t>(py) * t.cbOpacityStride + px];
            }
            if (a == 255) a = 256;
            if (a == 0) continue;
            // Source components: 8-bit precision, or 5-bit for a 16-bit destination.
            int sr, sg, sb;
            const BYTE* sp = PixelAddress(px, py);
            DWORD sv = ReadValue(sp, sbits, px);
            if (sbits == 16) {
                sr = (sv >> 10) & 31, sg = (sv >> 5) & 31, sb = sv & 31;
                if (dbits != 16) sr <<= 3, sg <<= 3, sb <<= 3;
            } else {
                if (sbits <= 8) {
                    const RGBQUAD& q = m.NotChild.colors[std::min<DWORD>(sv, (1u << sbits) - 1)];
                    sr = q.rgbRed, sg = q.rgbGreen, sb = q.rgbBlue;
                } else {
                    sr = (sv >> 16) & 255, sg = (sv >> 8) & 255, sb = sv & 255;
                }
                if (dbits == 16) sr >>= 3, sg >>= 3, sb >>= 3;
            }
            BYTE* dp = d->PixelAddress(x + j, y + i);
            DWORD dv = ReadValue(dp, dbits, x + j);
            int dr, dg, db;
            if (dbits == 16) {
                dr = (dv >> 10) & 31, dg = (dv >> 5) & 31, db = dv & 31;
            } else if (dbits == 8) {
                const RGBQUAD& q = d->m.NotChild.colors[dv & 255];
                dr = q.rgbRed, dg = q.rgbGreen, db = q.rgbBlue;
            } else {
                dr = (dv >> 16) & 255, dg = (dv >> 8) & 255, db = dv & 255;
            }
            int r = dr + (((sr - dr) * a) >> 8);
            int g = dg + (((sg - dg) * a) >> 8);
            int b = db + (((sb - db) * a) >> 8);
            DWORD out;
            if (dbits == 16)
                out = static_cast<DWORD>((r << 10) | (g << 5) | b) | (dv & 0x8000);
            else if (dbits == 8)
                out = kColorCubeTable[((r >> 6) << 6) | ((g >> 5) << 3) | (b >> 5)];
            else if (dbits == 32)
                out = static_cast<DWORD>((r << 16) | (g << 8) | b) | (dv & 0xFF000000);
            else
                out = static_cast<DWORD>((r << 16) | (g << 8) | b);
            WriteValue(dp, dbits, x + j, out);
        }
    }
}

// ---- Copies onto device contexts ------------------------------------------------------------

BOOL Graphic::DrawTo(HDC dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height) {
    if (!Check("DrawTo")) return FALSE;
    return DrawToDC(dst, x, y, xSrc, ySrc, width, height);
}

namespace {

// Where a child's request lands in its root: offset and clipped to the child's rectangle.
bool ResolveChildSource(const RECT& rc, std::int64_t& sx, std::int64_t& sy, std::int64_t& dx,
                        std::int64_t& dy, std::int64_t& w, std::int64_t& h) {
    if (!ClipAxis(sx, dx, w, 0, rc.right - rc.left, INT32_MIN, INT32_MAX)) return false;
    if (!ClipAxis(sy, dy, h, 0, rc.bottom - rc.top, INT32_MIN, INT32_MAX)) return false;
    sx += rc.left, sy += rc.top;
    return true;
}

} // namespace

BOOL Graphic::DrawToDC(HDC dst, LONG x, LONG y, LONG xSrc, LONG ySrc, LONG width, LONG height) {
    if (!dst) return FALSE;
    if (child_) {
        if (!m.Child.parent) return FALSE;
        const RECT& rc = m.Child.rect;
        std::int64_t w = ToEdge(width, xSrc, rc.right - rc.left);
        std::int64_t h = ToEdge(height, ySrc, rc.bottom - rc.top);
        std::int64_t sx = xSrc, sy = ySrc, dx = x, dy = y;
        if (!ResolveChildSource(rc, sx, sy, dx, dy, w, h)) return FALSE;
        return m.Child.parent->DrawToDC(dst, static_cast<LONG>(dx), static_cast<LONG>(dy),
                                        static_cast<LONG>(sx), static_cast<LONG>(sy),
                                        static_cast<LONG>(w), static_cast<LONG>(h));
    }
    if (!m.NotChild.hbmSurface) return FALSE;
    const RECT& sr = m.NotChild.rect;
    std::int64_t w = ToEdge(width, xSrc, sr.right);
    std::int64_t h = ToEdge(height, ySrc, sr.bottom);
    std::int64_t sx = xSrc, sy = ySrc, dx = x, dy = y;
    if (!ClipAxis(sx, dx, w, 0, sr.right, INT32_MIN, INT32_MAX)) return FALSE;
    if (!ClipAxis(sy, dy, h, 0, sr.bottom, INT32_MIN, INT32_MAX)) return FALSE;
    PrepareTransparency();
    HDC src = platform::gdi::CreateSurfaceDC(m.NotChild.hbmSurface);
    if (!src) return FALSE;
    int X = static_cast<int>(dx), Y = static_cast<int>(dy);
    int SX = static_cast<int>(sx), SY = static_cast<int>(sy);
    int W = static_cast<int>(w), H = static_cast<int>(h);
    BOOL ok;
#ifdef TESSARK_DESKTOP
    if (m.NotChild.hbmMask) {
        HDC maskDC = CreateCompatibleDC(dst);
        HGDIOBJ old = SelectObject(maskDC, m.NotChild.hbmMask);
        // The mask's 0 bits must come out black and its 1 bits white.
        COLORREF text = SetTextColor(dst, RGB(0, 0, 0));
        COLORREF back = SetBkColor(dst, RGB(255, 255, 255));
        ok = BitBlt(dst, X, Y, W, H, maskDC, SX, SY, SRCAND) &&
             BitBlt(dst, X, Y, W, H, src, SX, SY, SRCPAINT);
        SetTextColor(dst, text);
        SetBkColor(dst, back);
        SelectObject(maskDC, old);
        DeleteDC(maskDC);
    } else {
        ok = BitBlt(dst, X, Y, W, H, src, SX, SY, SRCCOPY);
    }
#else
    if (m.NotChild.transparent != kNoColor)
        ok = TransparentImage(dst, X, Y, W, H, src, SX, SY, W, H, m.NotChild.transparent);
    else
        ok = BitBlt(dst, X, Y, W, H, src, SX, SY, SRCCOPY);
#endif
    DeleteDC(src);
    return ok;
}

BOOL Graphic::StretchTo(HDC dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc,
                        LONG ySrc, LONG srcWidth, LONG srcHeight) {
    if (!Check("StretchTo")) return FALSE;
    return StretchToDC(dst, x, y, dstWidth, dstHeight, xSrc, ySrc, srcWidth, srcHeight);
}

BOOL Graphic::StretchTo(Graphic* dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc,
                        LONG ySrc, LONG srcWidth, LONG srcHeight) {
    if (!Check("StretchTo")) return FALSE;
    if (!dst || !dst->valid_) return FALSE;
    HDC hdc = dst->GetDC();
    if (!hdc) return FALSE;
    LONG ox = 0, oy = 0;
    for (Graphic* g = dst; g && g->child_; g = g->m.Child.parent)
        ox += g->m.Child.rect.left, oy += g->m.Child.rect.top;
    BOOL ok =
        StretchToDC(hdc, x + ox, y + oy, dstWidth, dstHeight, xSrc, ySrc, srcWidth, srcHeight);
    dst->ReleaseDC();
    return ok;
}

BOOL Graphic::StretchToDC(HDC dst, LONG x, LONG y, LONG dstWidth, LONG dstHeight, LONG xSrc,
                          LONG ySrc, LONG srcWidth, LONG srcHeight) {
    if (!dst) return FALSE;
    if (child_) {
        if (!m.Child.parent) return FALSE;
        const RECT& rc = m.Child.rect;
        std::int64_t w = ToEdge(srcWidth, xSrc, rc.right - rc.left);
        std::int64_t h = ToEdge(srcHeight, ySrc, rc.bottom - rc.top);
        if (dstWidth == kToEdge) dstWidth = static_cast<LONG>(std::max<std::int64_t>(w, 0));
        if (dstHeight == kToEdge) dstHeight = static_cast<LONG>(std::max<std::int64_t>(h, 0));
        std::int64_t sx = xSrc, sy = ySrc, dx = x, dy = y;
        std::int64_t w0 = w, h0 = h;
        if (!ResolveChildSource(rc, sx, sy, dx, dy, w, h)) return FALSE;
        // Keep the scale when the child clipped its source.
        std::int64_t dw = w0 > 0 ? dstWidth * w / w0 : 0, dh = h0 > 0 ? dstHeight * h / h0 : 0;
        return m.Child.parent->StretchToDC(dst, static_cast<LONG>(dx), static_cast<LONG>(dy),
                                           static_cast<LONG>(dw), static_cast<LONG>(dh),
                                           static_cast<LONG>(sx), static_cast<LONG>(sy),
                                           static_cast<LONG>(w), static_cast<LONG>(h));
    }
    if (!m.NotChild.hbmSurface) return FALSE;
    const RECT& sr = m.NotChild.rect;
    std::int64_t w = ToEdge(srcWidth, xSrc, sr.right);
    std::int64_t h = ToEdge(srcHeight, ySrc, sr.bottom);
    std::int64_t sx = xSrc, sy = ySrc, dx = x, dy = y;
    std::int64_t w0 = w, h0 = h;
    if (!ClipAxis(sx, dx, w, 0, sr.right, INT32_MIN, INT32_MAX)) return FALSE;
    if (!ClipAxis(sy, dy, h, 0, sr.bottom, INT32_MIN, INT32_MAX)) return FALSE;
    std::int64_t dw = dstWidth == kToEdge ? w : static_cast<std::int64_t>(dstWidth) * w / w0;
    std::int64_t dh = dstHeight == kToEdge ? h : static_cast<std::int64_t>(dstHeight) * h / h0;
    if (dw == w && dh == h)
        return DrawToDC(dst, static_cast<LONG>(dx), static_cast<LONG>(dy), static_cast<LONG>(sx),
                        static_cast<LONG>(sy), static_cast<LONG>(w), static_cast<LONG>(h));
    if (dw <= 0 || dh <= 0) return FALSE;
    PrepareTransparency();
    HDC src = platform::gdi::CreateSurfaceDC(m.NotChild.hbmSurface);
    if (!src) return FALSE;
    int X = static_cast<int>(dx), Y = static_cast<int>(dy), DW = static_cast<int>(dw),
        DH = static_cast<int>(dh);
    int SX = static_cast<int>(sx), SY = static_cast<int>(sy), W = static_cast<int>(w),
        H = static_cast<int>(h);
    BOOL ok;
#ifdef TESSARK_DESKTOP
    int oldDst = SetStretchBltMode(dst, COLORONCOLOR);
    SetStretchBltMode(src, COLORONCOLOR);
    if (m.NotChild.hbmMask) {
        HDC maskDC = CreateCompatibleDC(dst);
        HGDIOBJ old = SelectObject(maskDC, m.NotChild.hbmMask);
        SetStretchBltMode(maskDC, COLORONCOLOR);
        COLORREF text = SetTextColor(dst, RGB(0, 0, 0));
        COLORREF back = SetBkColor(dst, RGB(255, 255, 255));
        ok = StretchBlt(dst, X, Y, DW, DH, maskDC, SX, SY, W, H, SRCAND) &&
             StretchBlt(dst, X, Y, DW, DH, src, SX, SY, W, H, SRCPAINT);
        SetTextColor(dst, text);
        SetBkColor(dst, back);
        SelectObject(maskDC, old);
        DeleteDC(maskDC);
    } else {
        ok = StretchBlt(dst, X, Y, DW, DH, src, SX, SY, W, H, SRCCOPY);
    }
    SetStretchBltMode(dst, oldDst);
#else
    // The device cannot scale an opaque copy: it is cut to the destination size.
    if (m.NotChild.transparent != kNoColor)
        ok = TransparentImage(dst, X, Y, DW, DH, src, SX, SY, W, H, m.NotChild.transparent);
    else
        ok = BitBlt(dst, X, Y, DW, DH, src, SX, SY, SRCCOPY);
#endif
    DeleteDC(src);
    return ok;
}

namespace {

// Walks the tiles of TileTo and hands each clipped tile to `draw`.
template <class Draw>
BOOL Tile(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, std::int64_t sx,
          std::int64_t sy, std::int64_t sw, std::int64_t sh, LONG ox, LONG oy, Draw draw) {
    if (sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return FALSE;
    for (std::int64_t ty = y - oy; ty < y + h; ty += sh) {
        for (std::int64_t tx = x - ox; tx < x + w; tx += sw) {
            std::int64_t cx = tx, cy = ty, csx = sx, csy = sy, cw = sw, ch = sh;
            if (cx < x) csx += x - cx, cw -= x - cx, cx = x;
            if (cy < y) csy += y - cy, ch -= y - cy, cy = y;
            cw = std::min(cw, x + w - cx);
            ch = std::min(ch, y + h - cy);
            if (cw > 0 && ch > 0)
                draw(static_cast<LONG>(cx), static_cast<LONG>(cy), static_cast<LONG>(csx),
                     static_cast<LONG>(csy), static_cast<LONG>(cw), static_cast<LONG>(ch));
        }
    }
    return TRUE;
}

} // namespace

BOOL Graphic::TileTo(Graphic* dst, LONG x, LONG y, LONG width, LONG height, LONG xSrc, LONG ySrc,
                     LONG srcWidth, LONG srcHeight, LONG xOffset, LONG yOffset) {
    if (!Check("TileTo")) return FALSE;
    if (!dst || !dst->valid_ || !IsLoaded()) return FALSE;
    std::int64_t sw = ToEdge(srcWidth, xSrc, GetWidth());
    std::int64_t sh = ToEdge(srcHeight, ySrc, GetHeight());
    std::int64_t sx = xSrc, sy = ySrc;
    if (sx < 0) sw += sx, sx = 0;
    if (sy < 0) sh += sy, sy = 0;
    sw = std::min<std::int64_t>(sw, GetWidth() - sx);
    sh = std::min<std::int64_t>(sh, GetHeight() - sy);
    std::int64_t w = ToEdge(width, x, dst->GetWidth());
    std::int64_t h = ToEdge(height, y, dst->GetHeight());
    return Tile(x, y, w, h, sx, sy, sw, sh, xOffset, yOffset,
                [&](LONG cx, LONG cy, LONG csx, LONG csy, LONG cw, LONG ch) {
                    DrawToGraphic(dst, cx, cy, csx, csy, cw, ch);
                });
}

BOOL Graphic::TileTo(HDC dst, LONG x, LONG y, LONG width, LONG height, LONG xSrc, LONG ySrc,
                     LONG srcWidth, LONG srcHeight, LONG xOffset, LONG yOffset) {
    if (!Check("TileTo")) return FALSE;
    if (!dst || !IsLoaded()) return FALSE;
    std::int64_t sw = ToEdge(srcWidth, xSrc, GetWidth());
    std::int64_t sh = ToEdge(srcHeight, ySrc, GetHeight());
    std::int64_t sx = xSrc, sy = ySrc;
    if (sx < 0) sw += sx, sx = 0;
    if (sy < 0) sh += sy, sy = 0;
    sw = std::min<std::int64_t>(sw, GetWidth() - sx);
    sh = std::min<std::int64_t>(sh, GetHeight() - sy);
    return Tile(x, y, width, height, sx, sy, sw, sh, xOffset, yOffset,
                [&](LONG cx, LONG cy, LONG csx, LONG csy, LONG cw, LONG ch) {
                    DrawToDC(dst, cx, cy, csx, csy, cw, ch);
                });
}

// ---- Colour tables --------------------------------------------------------------------------

UINT Graphic::GetPaletteEntries(PALETTEENTRY* entries, UINT first, UINT count) {
    if (!Check("GetPaletteEntries")) return 0;
    Graphic* r = GetRoot();
    if (!r || !entries || r->m.NotChild.bitsPerPixel > 8) return 0;
    UINT size = 1u << r->m.NotChild.bitsPerPixel;
    if (first >= size) return 0;
    UINT n = std::min(count, size - first);
    for (UINT i = 0; i < n; ++i) {
        const RGBQUAD& q = r->m.NotChild.colors[first + i];
        entries[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    return n;
}

COLORREF Graphic::GetPaletteColor(UINT index) {
    if (!Check("GetPaletteColor")) return kNoColor;
    Graphic* r = GetRoot();
    if (!r || r->m.NotChild.bitsPerPixel > 8 || index >= (1u << r->m.NotChild.bitsPerPixel))
        return kNoColor;
    const RGBQUAD& q = r->m.NotChild.colors[index];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

BOOL Graphic::SetPaletteEntries(const PALETTEENTRY* entries, UINT first, UINT count) {
    if (!Check("SetPaletteEntries")) return FALSE;
    Graphic* r = GetRoot();
    if (r != this) return r ? r->SetPaletteEntries(entries, first, count) : FALSE;
    DWORD bits = m.NotChild.bitsPerPixel;
    if (!m.NotChild.hbmSurface || bits > 8 || !entries) return FALSE;
    UINT size = 1u << bits;
    if (first >= size) return TRUE;
    UINT n = std::min(count, size - first);
    RGBQUAD table[256];
    std::memcpy(table, m.NotChild.colors, sizeof table);
    for (UINT i = 0; i < n; ++i)
        table[first + i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    if (std::memcmp(table, m.NotChild.colors, 4 * size) == 0) return TRUE;
    if (m.NotChild.hdc) return FALSE; // the surface cannot be replaced under an open context

    GRAPHIC_TRANSLUCENCY translucency = m.NotChild.translucency;
    m.NotChild.translucency = {};
    COLORREF transparent = m.NotChild.transparent;
    m.NotChild.transparent = kNoColor;
    PrepareTransparency();
    LONG w = m.NotChild.rect.right, h = m.NotChild.rect.bottom;
    std::size_t bytes = static_cast<std::size_t>(m.NotChild.cbPitch) * h;
    auto* saved = static_cast<BYTE*>(MemAlloc(bytes, MM("cbBits")));
    bool ok = false;
    if (saved) {
        std::memcpy(saved, m.NotChild.pBits, bytes);
        BYTE* selection = m.NotChild.pbSelection;
        DWORD cbSelection = m.NotChild.cbSelection;
        PaletteGroup* group = m.NotChild.group;
        FreeSpans();
        FreeSurface();
        ok = CreateBlank(w, h, bits, table);
        if (ok) std::memcpy(m.NotChild.pBits, saved, bytes);
        m.NotChild.pbSelection = selection;
        m.NotChild.cbSelection = cbSelection;
        m.NotChild.group = group;
        MemFree(saved, MM("cbBits"));
    }
    m.NotChild.transparent = transparent;
    m.NotChild.prepared = kNoColor;
    m.NotChild.translucency = translucency;
    return ok ? TRUE : FALSE;
}

// ---- Saving ---------------------------------------------------------------------------------

DWORD Graphic::GetSaveSize(BOOL withFileHeader) {
    if (!valid_) return 0;
    DWORD bits = GetBitsPerPixel();
    DWORD stride = static_cast<DWORD>(PitchOf(GetWidth(), bits));
    return (withFileHeader ? 54 : 40) + 4 * ColorCount(bits) +
           static_cast<DWORD>(GetHeight()) * stride;
}

BOOL Graphic::Save(HANDLE file) {
    if (!Check("Save")) return FALSE;
    Graphic* r = GetRoot();
    if (!r || !r->m.NotChild.pBits) return FALSE;
    DWORD bits = r->m.NotChild.bitsPerPixel;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return FALSE;
    COLORREF transparent = r->m.NotChild.transparent;
    r->m.NotChild.transparent = kNoColor;
    r->PrepareTransparency();

    LONG w = GetWidth(), h = GetHeight();
    LONG ox = 0, oy = 0;
    for (Graphic* g = this; g->child_; g = g->m.Child.parent)
        ox += g->m.Child.rect.left, oy += g->m.Child.rect.top;
    DWORD stride = static_cast<DWORD>(PitchOf(w, bits));
    DWORD tableBytes = 4 * ColorCount(bits);
    BYTE header[54] = {};
    auto put16 = [&](int at, DWORD v) {
        header[at] = static_cast<BYTE>(v), header[at + 1] = static_cast<BYTE>(v >> 8);
    };
    auto put32 = [&](int at, DWORD v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    header[0] = 'B', header[1] = 'M';
    put32(2, 54 + tableBytes + static_cast<DWORD>(h) * stride);
    put32(10, 54 + tableBytes);
    put32(14, 40);
    put32(18, static_cast<DWORD>(w));
    put32(22, static_cast<DWORD>(h));
    put16(26, 1);
    put16(28, bits);
    put32(34, static_cast<DWORD>(h) * stride);
    put32(46, ColorCount(bits));
    put32(50, ColorCount(bits));
    DWORD written = 0;
    bool ok = WriteFile(file, header, 54, &written, nullptr) && written == 54;
    if (ok && tableBytes)
        ok = WriteFile(file, r->m.NotChild.colors, tableBytes, &written, nullptr) &&
             written == tableBytes;
    auto* row = static_cast<BYTE*>(MemAlloc(stride ? stride : 1, MM("m.NotChild.cbPitch")));
    ok = ok && row;
    std::size_t rowBytes = static_cast<std::size_t>(w) * BytesPerPixel(bits);
    for (LONG y = h - 1; ok && y >= 0; --y) {
        std::memset(row, 0, stride);
        LONG ry = y + oy;
        if (ry >= 0 && ry < r->m.NotChild.rect.bottom && ox >= 0 &&
            ox + w <= r->m.NotChild.rect.right)
            std::memcpy(row, r->PixelAddress(ox, ry), rowBytes);
        ok = WriteFile(file, row, stride, &written, nullptr) && written == stride;
    }
    MemFree(row, MM("m.NotChild.cbPitch"));
    if (!ok) return FALSE;
    r->m.NotChild.transparent = transparent;
    return TRUE;
}

// ---- Debug viewer ---------------------------------------------------------------------------

namespace {

struct GraphicShowParams {
    Graphic* graphic;
    HPALETTE palette;
};

bool GraphicShowHandler(HWND hwnd, UINT message, WPARAM, LPARAM lParam, void* context,
                        LRESULT* result) {
    auto* params = static_cast<GraphicShowParams*>(context);
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (HDC hdc = BeginPaint(hwnd, &ps)) {
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(hdc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            HPALETTE old = params->palette ? SelectPalette(hdc, params->palette, FALSE) : nullptr;
            if (params->palette) RealizePalette(hdc);
            params->graphic->DrawTo(hdc, 0, 0);
            if (old) SelectPalette(hdc, old, FALSE);
            EndPaint(hwnd, &ps);
        }
        *result = 0;
        return true;
    }
    if (message == WM_LBUTTONDOWN) {
        LONG x = static_cast<SHORT>(LOWORD(lParam)), y = static_cast<SHORT>(HIWORD(lParam));
        Graphic* g = params->graphic;
        if (x >= 0 && y >= 0 && x < g->GetWidth() && y < g->GetHeight()) {
            DWORD value = g->GetPixelValue(x, y);
            COLORREF c = g->ValueToColor(value);
            if (g->GetBitsPerPixel() > 8)
                SetWindowText(hwnd, sformat("RGB=%lu,%lu,%lu - X=%ld,Y=%ld", GetRValue(c),
                                            GetGValue(c), GetBValue(c), x, y)
                                        .c_str());
            else
                SetWindowText(hwnd, sformat("I=%ld, RGB=%ld,%ld,%ld - X=%ld,Y=%ld", value,
                                            GetRValue(c), GetGValue(c), GetBValue(c), x, y)
                                        .c_str());
        }
        *result = 0;
        return true;
    }
    return false;
}

} // namespace

void Graphic::Show() {
    if (!valid_ || !IsLoaded()) return;
    GraphicShowParams params{this, nullptr};
    PaletteGroup* group = GetPaletteGroup();
    if (!group) group = GetDisplayPaletteGroup();
    params.palette = group ? group->GetPalette() : nullptr;
    RunViewer(TEXT("GraphicShowClass"), TEXT("Graphic"), GetWidth(), GetHeight(), true,
              GraphicShowHandler, &params);
}
