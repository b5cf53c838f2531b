#include "engine/cea_palette.h"

#include "engine/cea_sprite.h"
#include "engine/cea_viewer.h"
#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "platform/user.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace {

constexpr std::size_t clrHASH_FN_SIZE = 766; // every sum red + green + blue
constexpr DWORD kNone = 0xFFFFFFFF;
constexpr BYTE kRedLevels[4] = {0, 128, 192, 255};
constexpr BYTE kLevels[8] = {0, 40, 80, 115, 160, 192, 225, 255};

BYTE* colourHash = nullptr;
std::atomic<DWORD> mergeFailures{0};
PaletteGroup* displayGroup = nullptr;

constexpr std::array<BYTE, 256> BuildCubeTable() {
    std::array<BYTE, 256> table{};
    constexpr int kFirst[16] = {0, 64, 24, 88, 3, 67, 27, 173, 91, 192, 56, 248, 7, 199, 63, 254};
    bool taken[256] = {};
    for (int i = 0; i < 16; ++i) {
        table[kFirst[i]] = static_cast<BYTE>(i);
        taken[kFirst[i]] = true;
    }
    int next = 16;
    for (int cell = 0; cell < 256; ++cell)
        if (!taken[cell]) table[cell] = static_cast<BYTE>(next++);
    return table;
}

constexpr std::array<BYTE, 256> kCube = BuildCubeTable();

COLORREF CubeColour(int cell) {
    return RGB(kRedLevels[(cell >> 6) & 3], kLevels[(cell >> 3) & 7], kLevels[cell & 7]);
}

int HashOf(COLORREF c) {
    return GetRValue(c) + GetGValue(c) + GetBValue(c);
}

COLORREF EntryColour(const PALETTEENTRY& e) {
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

} // namespace

const BYTE kColorCubeTable[256] = {
#define C(i) kCube[i]
#define R8(i) C(i), C(i + 1), C(i + 2), C(i + 3), C(i + 4), C(i + 5), C(i + 6), C(i + 7)
#define R64(i)                                                                                     \
    R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef C
};

PaletteGroup* GetDisplayPaletteGroup() {
    return displayGroup;
}
void SetDisplayPaletteGroup(PaletteGroup* group) {
    displayGroup = group;
}
DWORD GetPaletteMergeFailures() {
    return mergeFailures.load();
}
void ResetPaletteMergeFailures() {
    mergeFailures = 0;
}

PaletteGroup::PaletteGroup()
    : members_(nullptr), cMembers_(0), hPalette_(nullptr), palette_{}, openCount_(0),
      colorCube_(0) {
    if (!colourHash) {
        colourHash = static_cast<BYTE*>(
            MemAlloc(sizeof(BYTE) * clrHASH_FN_SIZE, MM("sizeof(BYTE) * clrHASH_FN_SIZE")));
        if (colourHash) {
            std::memset(colourHash, 0, clrHASH_FN_SIZE);
            // Kept for the life of the process.
            MemTare(colourHash, MM("sizeof(BYTE) * clrHASH_FN_SIZE"));
        }
    }
    Open();
    if (GetDeviceCaps(::GetDC(nullptr), BITSPIXEL) == 4) {
        Add(PALETTEGROUP_SYSTEM_COLORS, 0);
    } else {
        AddSpecific(0, RGB(0, 0, 0));
        AddSpecific(255, RGB(255, 255, 255));
    }
    Close();
}

PaletteGroup::~PaletteGroup() {
    if (openCount_ > 0) {
        Trace(true, "Warning: PaletteGroup 0x%08lX destroyed while open",
              static_cast<const void*>(this));
        openCount_ = 0;
    }
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (members_[i].used && members_[i].graphic && members_[i].pGraphic)
            members_[i].pGraphic->SetPaletteGroupLink(nullptr);
    MemFree(members_, MM("PALETTEGROUP"));
    if (hPalette_) DeleteObject(hPalette_);
    if (displayGroup == this) displayGroup = nullptr;
}

bool PaletteGroup::CheckOpen(const char* format, const void* first) {
    if (openCount_ > 0) return true;
    if (first)
        Trace(true, format, first, static_cast<const void*>(this));
    else
        Trace(true, format, static_cast<const void*>(this));
    return false;
}

BOOL PaletteGroup::Open() {
    if (openCount_ == 0) {
        for (std::size_t i = 0; i < cMembers_; ++i) {
            const Member& m = members_[i];
            if (m.used && m.graphic && m.pGraphic && m.pGraphic->HasOpenDC()) {
                Trace(true, "PaletteGroup 0x%08lX could not be opened because of graphic 0x%08lX",
                      static_cast<const void*>(this), static_cast<const void*>(m.pGraphic));
                return FALSE;
            }
        }
    }
    ++openCount_;
    return TRUE;
}

void PaletteGroup::Close() {
    if (openCount_ > 0) --openCount_;
    if (openCount_ == 0) Merge();
}

PaletteGroup::Member* PaletteGroup::NewMember() {
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (!members_[i].used) {
            members_[i] = {};
            members_[i].used = 1;
            members_[i].index = kNone;
            return &members_[i];
        }
    std::size_t n = cMembers_;
    if (!MemGrowArray(&members_, &cMembers_, n + 1, 4, MM("PALETTEGROUP"))) return nullptr;
    members_[n] = {};
    members_[n].used = 1;
    members_[n].index = kNone;
    return &members_[n];
}

void PaletteGroup::Add(Graphic* graphic, BOOL keepPixels) {
    if (!CheckOpen("Add (Graphic 0x%08lX) called for closed PaletteGroup 0x%08lX", graphic)) return;
    if (!graphic) return;
    Graphic* root = graphic->GetRoot();
    if (!root || root->GetBitsPerPixel() > 8) return;
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (members_[i].used && members_[i].graphic && members_[i].pGraphic == root) return;
    Member* m = NewMember();
    if (!m) return;
    m->graphic = 1;
    m->keepPixels = keepPixels ? 1 : 0;
    m->pGraphic = root;
    root->SetPaletteGroupLink(this);
}

void PaletteGroup::Remove(Graphic* graphic) {
    if (!graphic) return;
    Graphic* root = graphic->GetRoot();
    if (!root) return;
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (members_[i].used && members_[i].graphic && members_[i].pGraphic == root)
            members_[i] = {};
    if (root->GetPaletteGroup() == this) root->SetPaletteGroupLink(nullptr);
}

void PaletteGroup::Add(Sprite* sprite, BOOL keepPixels) {
    if (!CheckOpen("Add (Sprite 0x%08lX) called for closed PaletteGroup 0x%08lX", sprite)) return;
    if (!sprite) return;
    while (sprite->IsChild() && sprite->GetParent())
        sprite = sprite->GetParent();
    for (DWORD i = 0; i < sprite->GetFrameCount(); ++i)
        Add(sprite->GetFrame(i), keepPixels);
}

void PaletteGroup::Remove(Sprite* sprite) {
    if (!sprite) return;
    while (sprite->IsChild() && sprite->GetParent())
        sprite = sprite->GetParent();
    for (DWORD i = 0; i < sprite->GetFrameCount(); ++i)
        Remove(sprite->GetFrame(i));
}

void PaletteGroup::AddColorMember(COLORREF color, bool specific, DWORD index) {
    Member* m = NewMember();
    if (!m) return;
    m->specific = specific ? 1 : 0;
    m->index = specific ? index : kNone;
    m->color = color;
}

void PaletteGroup::AddSpecific(DWORD index, COLORREF color) {
    if (openCount_ == 0) {
        Trace(true, "AddSpecific (%lu) called for closed PaletteGroup 0x%08lX", index,
              static_cast<const void*>(this));
        return;
    }
    for (std::size_t i = 0; i < cMembers_; ++i) {
        const Member& m = members_[i];
        if (m.used && !m.graphic && m.specific && m.index == index) return;
    }
    for (std::size_t i = 0; i < cMembers_; ++i) {
        Member& m = members_[i];
        if (m.used && !m.graphic && m.color == color) {
            m.specific = 1;
            return;
        }
    }
    AddColorMember(color, true, index);
}

void PaletteGroup::AddSpecific(DWORD index, const PALETTEENTRY* entry) {
    if (openCount_ == 0) {
        Trace(true, "AddSpecific (%lu,pe) called for closed PaletteGroup 0x%08lX", index,
              static_cast<const void*>(this));
        return;
    }
    if (entry == PALETTEGROUP_SYSTEM_COLORS || entry == PALETTEGROUP_COLOR_CUBE) {
        Add(entry, 0);
        return;
    }
    if (entry) Add(EntryColour(*entry));
}

void PaletteGroup::RemoveSpecific(DWORD index) {
    if (openCount_ == 0) {
        Trace(true, "RemoveSpecific(%lu) called for closed PaletteGroup 0x%08lX", index,
              static_cast<const void*>(this));
        return;
    }
    for (std::size_t i = 0; i < cMembers_; ++i) {
        Member& m = members_[i];
        if (m.used && !m.graphic && m.specific && m.index == index) m = {};
    }
}

void PaletteGroup::Add(COLORREF color) {
    if (!CheckOpen("Add (Color) called for closed PaletteGroup 0x%08lX")) return;
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (members_[i].used && !members_[i].graphic && members_[i].color == color) return;
    AddColorMember(color, false, kNone);
}

void PaletteGroup::Remove(COLORREF color) {
    if (!CheckOpen("Remove (Color) called for closed PaletteGroup 0x%08lX")) return;
    for (std::size_t i = 0; i < cMembers_; ++i)
        if (members_[i].used && !members_[i].graphic && members_[i].color == color)
            members_[i] = {};
}

void PaletteGroup::Add(const PALETTEENTRY* entries, DWORD count) {
    if (!CheckOpen("Add (PaletteEntry) called for closed PaletteGroup 0x%08lX")) return;
    if (entries == PALETTEGROUP_SYSTEM_COLORS) {
        HDC screen = ::GetDC(nullptr);
        int bits = GetDeviceCaps(screen, BITSPIXEL);
        if (bits > 8) return;
        UINT n = 1u << bits;
        PALETTEENTRY sys[256] = {};
        GetSystemPaletteEntries(screen, 0, n, sys);
        if (n <= 16) {
            for (UINT i = 1; i + 1 < n; ++i)
                AddSpecific(i, &sys[i]);
        } else if (n == 256) {
            for (UINT i = 1; i <= 9; ++i)
                AddSpecific(i, &sys[i]);
            for (UINT i = 246; i <= 254; ++i)
                AddSpecific(i, &sys[i]);
        }
        return;
    }
    if (entries == PALETTEGROUP_COLOR_CUBE) {
        for (int cell = 0; cell < 256; ++cell)
            AddSpecific(kColorCubeTable[cell], CubeColour(cell));
        colorCube_ = 1;
        return;
    }
    if (!entries) return;
    for (DWORD i = 0; i < count; ++i)
        Add(EntryColour(entries[i]));
}

void PaletteGroup::Remove(const PALETTEENTRY* entries, DWORD count) {
    if (!CheckOpen("Remove (PaletteEntry) called for closed PaletteGroup 0x%08lX")) return;
    if (entries == PALETTEGROUP_SYSTEM_COLORS || entries == PALETTEGROUP_COLOR_CUBE) {
        for (std::size_t i = 0; i < cMembers_; ++i)
            if (members_[i].used && !members_[i].graphic && members_[i].specific) members_[i] = {};
        colorCube_ = 0;
        return;
    }
    if (!entries) return;
    for (DWORD i = 0; i < count; ++i)
        Remove(EntryColour(entries[i]));
}

DWORD PaletteGroup::MergeColour(COLORREF color) {
    int red = GetRValue(color), green = GetGValue(color), blue = GetBValue(color);
    if (colorCube_) return kColorCubeTable[(red & 0xC0) | ((green >> 2) & 0x38) | (blue >> 5)];
    color &= 0xFFFFFF;
    DWORD found = kNone;
    int hash = HashOf(color);
    if (colourHash && EntryColour(palette_[colourHash[hash]]) == color) found = colourHash[hash];
    for (DWORD i = 0; found == kNone && i < 256; ++i)
        if (EntryColour(palette_[i]) == color) found = i;
    for (DWORD i = 1; found == kNone && i <= 254; ++i)
        if (EntryColour(palette_[i]) == 0) {
            palette_[i] = {static_cast<BYTE>(red), static_cast<BYTE>(green),
                           static_cast<BYTE>(blue), 0};
            found = i;
        }
    if (found == kNone) {
        if (mergeFailures++ == 0) Trace(true, "Out of colors when merging graphic into palette");
        return kNone;
    }
    if (colourHash) colourHash[hash] = static_cast<BYTE>(found);
    return found;
}

void PaletteGroup::Merge() {
    for (auto& e : palette_)
        e = {0, 0, 0, 0};
    for (std::size_t i = 0; i < cMembers_; ++i) {
        const Member& m = members_[i];
        if (!m.used || m.graphic || !m.specific) continue;
        if (m.index < 256)
            palette_[m.index] = {GetRValue(m.color), GetGValue(m.color), GetBValue(m.color), 0};
        else
            MergeColour(m.color);
    }
    for (std::size_t i = 0; i < cMembers_ && !colorCube_; ++i) {
        const Member& m = members_[i];
        if (m.used && !m.graphic && !m.specific) MergeColour(m.color);
    }
    for (std::size_t i = 0; i < cMembers_; ++i) {
        const Member& m = members_[i];
        if (!m.used || !m.graphic || !m.pGraphic || m.keepPixels) continue;
        Graphic* g = m.pGraphic;
        int map[256];
        for (int& v : map)
            v = -1;
        COLORREF transparent = g->GetTransparency();
        if (transparent != kNoColor) {
            DWORD value = g->ColorToValue(transparent) & 255;
            DWORD index = MergeColour(g->ValueToColor(value));
            if (index != kNone) map[value] = static_cast<int>(index);
        }
        LONG w = g->GetWidth(), h = g->GetHeight();
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                DWORD value = g->GetPixelValue(x, y) & 255;
                if (map[value] < 0) {
                    DWORD index = MergeColour(g->ValueToColor(value));
                    if (index == kNone) continue;
                    map[value] = static_cast<int>(index);
                }
                g->SetPixelValue(x, y, static_cast<DWORD>(map[value]));
            }
    }
    for (std::size_t i = 0; i < cMembers_; ++i) {
        const Member& m = members_[i];
        if (m.used && m.graphic && m.pGraphic) m.pGraphic->SetPaletteEntries(palette_, 0, 256);
    }
    if (hPalette_) DeleteObject(hPalette_);
    hPalette_ = nullptr;
}

DWORD PaletteGroup::FindColor(COLORREF color) {
    if (openCount_ > 0) return kNone;
    color &= 0xFFFFFF;
    int hash = HashOf(color);
    if (colourHash && EntryColour(palette_[colourHash[hash]]) == color) return colourHash[hash];
    for (DWORD i = 0; i < 256; ++i)
        if (EntryColour(palette_[i]) == color) {
            if (colourHash) colourHash[hash] = static_cast<BYTE>(i);
            return i;
        }
    return kNone;
}

COLORREF PaletteGroup::GetColor(DWORD index) {
    if (openCount_ > 0 || index >= 256) return kNoColor;
    return EntryColour(palette_[index]);
}

UINT PaletteGroup::GetEntries(PALETTEENTRY* entries, UINT first, UINT count) {
    if (openCount_ > 0 || first >= 256 || !entries) return 0;
    UINT n = std::min(count, 256 - first);
    std::memcpy(entries, palette_ + first, n * sizeof(PALETTEENTRY));
    return n;
}

HPALETTE PaletteGroup::GetPalette() {
    HDC screen = ::GetDC(nullptr);
    if (openCount_ > 0 || !(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE)) {
        if (screen) ::ReleaseDC(nullptr, screen);
        return nullptr;
    }
    if (!hPalette_) {
        struct {
            WORD version, count;
            PALETTEENTRY entries[256];
        } log;
        log.version = 0x300;
        log.count = 256;
        std::memcpy(log.entries, palette_, sizeof palette_);
        hPalette_ = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log));
        if (hPalette_) {
            SelectPalette(screen, hPalette_, FALSE);
            RealizePalette(screen);
        }
    }
    if (screen) ::ReleaseDC(nullptr, screen);
    return hPalette_;
}

namespace {

constexpr int kCellWidth = 32;
constexpr int kCellHeight = 24;

struct PaletteShowParams {
    PaletteGroup* group;
    const TCHAR* title;
    LONG shownIndex; // the cell named in the title, -1 for none
};

bool PaletteShowHandler(HWND hwnd, UINT message, WPARAM, LPARAM lParam, void* context,
                        LRESULT* result) {
    auto* params = static_cast<PaletteShowParams*>(context);
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (HDC hdc = BeginPaint(hwnd, &ps)) {
            HPALETTE palette = params->group->GetPalette();
            HPALETTE old = palette ? SelectPalette(hdc, palette, FALSE) : nullptr;
            if (palette) RealizePalette(hdc);
            for (DWORD i = 0; i < 256; ++i) {
                RECT cell{static_cast<LONG>(i % 16) * kCellWidth,
                          static_cast<LONG>(i / 16) * kCellHeight, 0, 0};
                cell.right = cell.left + kCellWidth;
                cell.bottom = cell.top + kCellHeight;
                if (HBRUSH brush = CreateSolidBrush(params->group->GetColor(i) & 0xFFFFFF)) {
                    FillRect(hdc, &cell, brush);
                    DeleteObject(brush);
                }
            }
            if (old) SelectPalette(hdc, old, FALSE);
            EndPaint(hwnd, &ps);
        }
        *result = 0;
        return true;
    }
    if (message == WM_MOUSEMOVE) {
        LONG x = static_cast<SHORT>(LOWORD(lParam)), y = static_cast<SHORT>(HIWORD(lParam));
        LONG index = -1;
        if (x >= 0 && y >= 0 && x < 16 * kCellWidth && y < 16 * kCellHeight)
            index = (y / kCellHeight) * 16 + x / kCellWidth;
        if (index != params->shownIndex) {
            params->shownIndex = index;
            if (index < 0) {
                SetWindowText(hwnd, params->title);
            } else {
                COLORREF c = params->group->GetColor(static_cast<DWORD>(index));
                SetWindowText(hwnd, sformat(TEXT("I=%lu, RGB=%lu,%lu,%lu -- %s"),
                                            static_cast<DWORD>(index), GetRValue(c), GetGValue(c),
                                            GetBValue(c), params->title)
                                        .c_str());
            }
        }
        *result = 0;
        return true;
    }
    return false;
}

} // namespace

void PaletteGroup::Show(const TCHAR* title) {
    PaletteShowParams params{this, title ? title : TEXT(""), -1};
    RunViewer(TEXT("PALETTEGROUPShowClass"), params.title, 16 * kCellWidth, 16 * kCellHeight, false,
              PaletteShowHandler, &params);
}
