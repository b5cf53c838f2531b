#include "skin/skinlib.h"

#include "foundation/memory.h"
#include "setup/unzipper.h"
#include "skin/skinregion.h"

namespace {

int HexDigit(TCHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Contains(const string& name, const TCHAR* part) {
    string lower(name);
    lower.lower();
    return lower.find(part) != string::npos;
}

int Alignment(const string& text) {
    istring t(text);
    if (t == "right") return 1;
    if (t == "center") return 2;
    return 0;
}

const TCHAR* ControlPrefix(DWORD kind) {
    switch (kind) {
    case kSkinPushButton:
        return "pbutton ";
    case kSkinRadioButton:
        return "rbutton ";
    case kSkinCheckBox:
        return "cbutton ";
    case kSkinEdit:
        return "edit ";
    case kSkinList:
        return "list ";
    default:
        return "";
    }
}

} // namespace

COLORREF SkinColor(const TCHAR* text) {
    if (!text) return 0;
    if (*text == '#') ++text;
    int digits[6];
    for (int i = 0; i < 6; ++i) {
        digits[i] = HexDigit(text[i]);
        if (digits[i] < 0) return 0; // also an early end of the text
    }
    DWORD r = static_cast<DWORD>(digits[0] * 16 + digits[1]);
    DWORD g = static_cast<DWORD>(digits[2] * 16 + digits[3]);
    DWORD b = static_cast<DWORD>(digits[4] * 16 + digits[5]);
    return 0x02000000u | r | (g << 8) | (b << 16);
}

SIZE SkinKindGrid(DWORD kind) {
    if (kind & kSkinOptional)
        return SIZE{static_cast<LONG>((kind >> 16) & 0x7FFF), static_cast<LONG>(kind & 0xFFFF)};
    static const SIZE grids[] = {{1, 1}, {2, 2}, {2, 1}, {1, 2}, {1, 3}, {1, 3},
                                 {1, 1}, {3, 4}, {2, 4}, {2, 4}, {4, 1}, {3, 3},
                                 {4, 4}, {4, 4}, {0, 0}, {3, 3}, {1, 1}, {3, 3}};
    return kind < sizeof grids / sizeof grids[0] ? grids[kind] : SIZE{0, 0};
}

// --- Loading --------------------------------------------------------------------------------

Skin::Skin(ZIPFILE* archive) : archive_(archive), palette_(new (MM("PALETTEGROUP")) PaletteGroup) {
    if (!archive_) return;
    for (const auto& e : *archive_) {
        auto* f = new (MM("SKINFILE")) SkinFile;
        f->name = e.value->name;
        f->data = e.value->data;
        f->size = e.value->data ? e.value->size : 0;
        files_.add(f);
    }
    for (SkinFile* f : files_) {
        if (Contains(f->name, ".wav")) {
            f->sound = new (MM("SOUND")) Sound(f->data, f->size);
            f->data = nullptr;
        } else if (Contains(f->name, ".txt")) {
            f->text = new (MM("SKINTEXT"))
                string(reinterpret_cast<const char*>(f->data ? f->data
                                                             : reinterpret_cast<const BYTE*>("")),
                       f->size);
            f->data = nullptr;
        }
    }
    if (const string* text = GetText("skin.txt")) settings_.Parse(*text);
    const string& transparent = settings_.Text("transparent color");
    transparent_ = transparent.empty() ? kNoColor : SkinColor(transparent.c_str());
    palette_->Open();
    for (SkinFile* f : files_) {
        if (!Contains(f->name, ".psp") || !f->data) continue;
        f->sprite =
            new (MM("SPRITE")) Sprite(f->data, f->size, transparent_, 1, 1, kSpriteAllFrames);
        if (f->sprite->GetFrameCount() == 0) {
            MemDelete(f->sprite, MM("SPRITE"));
            f->sprite = nullptr;
        } else {
            palette_->Add(f->sprite, FALSE);
        }
        f->data = nullptr;
    }
    palette_->Close();
}

Skin::~Skin() {
    for (SkinFile* f : files_) {
        if (f->graphics) {
            for (SkinControlGraphics* g : *f->graphics)
                ReleaseGraphics(g);
            MemDelete(f->graphics, MM("SKINCONTROLGRAPHICS"));
        }
        if (f->sprite) {
            palette_->Remove(f->sprite);
            MemDelete(f->sprite, MM("SPRITE"));
        }
        MemDelete(f->sound, MM("SOUND"));
        MemDelete(f->text, MM("SKINTEXT"));
        MemDelete(f, MM("SKINFILE"));
    }
    files_.clear();
    MemDelete(palette_, MM("PALETTEGROUP"));
    MemDelete(archive_, MM("ZIPFILE"));
}

Skin* LoadSkinFromResource(HMODULE module, UINT id) {
    auto* zip = new (MM("ZIPFILE")) ZIPFILE(module, id, TEXT("ZIP"));
    if (zip->size() == 0) {
        MemDelete(zip, MM("ZIPFILE"));
        return nullptr;
    }
    return new (MM("SKIN")) Skin(zip);
}

Skin* LoadSkinFromFile(const TCHAR* path) {
    auto* zip = new (MM("ZIPFILE")) ZIPFILE(path);
    if (zip->size() == 0) {
        MemDelete(zip, MM("ZIPFILE"));
        return nullptr;
    }
    return new (MM("SKIN")) Skin(zip);
}

// --- Settings -------------------------------------------------------------------------------

string SkinLookup(const cetl::PROPERTIES& settings, const TCHAR* key, const cetl::PROPERTIES* app,
                  const TCHAR* prefix) {
    string prefixed;
    bool hasPrefix = prefix && *prefix;
    if (hasPrefix) prefixed = string(prefix) + " " + key;
    const cetl::PROPERTIES* tables[2] = {app, &settings};
    for (const cetl::PROPERTIES* t : tables) {
        if (!t) continue;
        if (hasPrefix) {
            const string& v = t->Text(prefixed.c_str());
            if (!v.empty()) return v;
        }
        const string& v = t->Text(key);
        if (!v.empty()) return v;
    }
    return string();
}

SkinWindowSettings SkinReadWindowSettings(const cetl::PROPERTIES& settings,
                                          const cetl::PROPERTIES* app, const TCHAR* prefix) {
    SkinWindowSettings s;
    auto text = [&](const TCHAR* key) { return SkinLookup(settings, key, app, prefix); };
    auto number = [&](const TCHAR* key) { return static_cast<LONG>(text(key).to_long()); };
    string all = text("frame border");
    if (!all.empty()) {
        s.left = s.top = s.right = s.bottom = static_cast<LONG>(all.to_long());
    } else {
        string x = text("frame xborder");
        if (!x.empty()) {
            s.left = s.right = static_cast<LONG>(x.to_long());
        } else {
            s.left = number("frame lborder");
            s.right = number("frame rborder");
        }
        string y = text("frame yborder");
        if (!y.empty()) {
            s.top = s.bottom = static_cast<LONG>(y.to_long());
        } else {
            s.top = number("frame tborder");
            s.bottom = number("frame bborder");
        }
    }
    s.proportionalScrollbars = number("proportional scrollbars") != 0;
    s.titlebarHeight = number("drag by background") != 0
                           ? 0xFFFFFFFFu
                           : static_cast<DWORD>(number("titlebar height"));
    istring layout(text("background layout"));
    s.backgroundLayout = layout == "stretch" ? 1 : layout == "center" ? 2 : 0;
    s.backgroundColor = SkinColor(text("background color").c_str());
    s.framesPerSecond = number("frames per second");
    return s;
}

SkinControlSettings SkinReadControlSettings(const cetl::PROPERTIES& settings, DWORD kind,
                                            const cetl::PROPERTIES* app, const TCHAR* prefix) {
    string p = ControlPrefix(kind);
    auto text = [&](const TCHAR* key) {
        return SkinLookup(settings, (p + key).c_str(), app, prefix);
    };
    auto number = [&](const TCHAR* key) { return static_cast<LONG>(text(key).to_long()); };
    // The prefixed key, then the plain one.
    auto either = [&](const TCHAR* key, const TCHAR* plain) {
        string v = text(key);
        return v.empty() ? SkinLookup(settings, plain, app, prefix) : v;
    };
    SkinControlSettings s;
    s.font = either("font", "font");
    s.textColor = SkinColor(either("text color", "text color").c_str());
    s.disabledTextColor = SkinColor(either("disabled text color", "disabled text color").c_str());
    s.selectedTextColor = SkinColor(either("selected text color", "selected text color").c_str());
    s.selectedBackgroundColor =
        SkinColor(either("selected text background color", "selected background color").c_str());
    string all = text("text border");
    if (!all.empty()) {
        s.textLeft = s.textTop = s.textRight = s.textBottom = static_cast<LONG>(all.to_long());
    } else {
        string x = text("text xborder");
        if (!x.empty()) {
            s.textLeft = s.textRight = static_cast<LONG>(x.to_long());
        } else {
            s.textLeft = number("text lborder");
            s.textRight = number("text rborder");
        }
        string y = text("text yborder");
        if (!y.empty()) {
            s.textTop = s.textBottom = static_cast<LONG>(y.to_long());
        } else {
            s.textTop = number("text tborder");
            s.textBottom = number("text bborder");
        }
    }
    s.textLayout = Alignment(text("text layout"));
    s.imageLayout = Alignment(text("image layout"));
    s.imageXAdjust = number("image xadjust");
    s.imageYAdjust = number("image yadjust");
    return s;
}

// --- Files and images -----------------------------------------------------------------------

Skin::SkinFile* Skin::Find(const string& name) const {
    istring wanted(name);
    for (SkinFile* f : files_)
        if (wanted == istring(f->name)) return f;
    return nullptr;
}

// The window's own image first, then the skin's; only entries that loaded as sprites count.
Skin::SkinFile* Skin::FindImage(const TCHAR* name, const TCHAR* prefix) const {
    string candidates[4];
    int n = 0;
    if (prefix && *prefix) {
        candidates[n++] = string(prefix) + " " + name + ".psp";
        candidates[n++] = string(prefix) + " " + name + ".bmp";
    }
    candidates[n++] = string(name) + ".psp";
    candidates[n++] = string(name) + ".bmp";
    for (int i = 0; i < n; ++i) {
        SkinFile* f = Find(candidates[i]);
        if (f && f->sprite) return f;
    }
    return nullptr;
}

bool Skin::HasImage(const TCHAR* name, const TCHAR* prefix) const {
    return FindImage(name, prefix) != nullptr;
}

Sound* Skin::GetSound(const TCHAR* name) const {
    SkinFile* f = Find(name);
    return f ? f->sound : nullptr;
}

const string* Skin::GetText(const TCHAR* name) const {
    SkinFile* f = Find(name);
    return f ? f->text : nullptr;
}

SkinControlGraphics* Skin::GetImage(const TCHAR* name, DWORD flags, const TCHAR* prefix) {
    SkinFile* found = FindImage(name, prefix);
    if (!found) {
        if ((flags & kSkinOptional) || istring(name) == "text") return nullptr;
        throw cetl::exception(sformat("the skin %s is missing the %s %s image",
                                      settings_.Text("skin"), prefix ? prefix : "", name)
                                  .c_str());
    }
    if (!found->graphics)
        found->graphics = new (MM("SKINCONTROLGRAPHICS")) cetl::vector<SkinControlGraphics*>;
    for (SkinControlGraphics* g : *found->graphics)
        if (g->flags == flags) return g;
    SkinControlGraphics* g = BuildGraphics(found->sprite, flags);
    try {
        found->graphics->add(g);
    } catch (...) {
        ReleaseGraphics(g);
        throw;
    }
    return g;
}

SkinControlGraphics* Skin::BuildGraphics(Sprite* sprite, DWORD flags) {
    SIZE size = SkinKindGrid(flags);
    struct {
        LONG columns, rows;
    } grid{size.cx, size.cy};
    if (grid.columns <= 0 || grid.rows <= 0 || grid.columns * grid.rows > 16)
        throw cetl::exception(kSkinUnknownKind);
    auto* g = new (MM("SKINCONTROLGRAPHICS")) SkinControlGraphics;
    g->flags = flags;
    g->columns = grid.columns;
    g->rows = grid.rows;
    g->cellWidth = sprite->GetWidth() / grid.columns;
    g->cellHeight = sprite->GetHeight() / grid.rows;
    g->count = static_cast<int>(grid.columns * grid.rows);
    bool frameKind = !(flags & kSkinOptional) && flags <= kSkinFrameTopBottom;
    for (int i = 0; i < g->count; ++i) {
        LONG x = (i % grid.columns) * g->cellWidth;
        LONG y = (i / grid.columns) * g->cellHeight;
        RECT cell{x, y, x + g->cellWidth, y + g->cellHeight};
        g->cells[i] = new (MM("SPRITE")) Sprite(sprite, cell);
        if (frameKind && g->cellWidth > 0 && g->cellHeight > 0)
            g->regions[i] = RegionFromSelection(g->cells[i]->GetFrame(0));
    }
    return g;
}

void Skin::AddImage(const TCHAR* name, Sprite* sprite) {
    auto* f = new (MM("SKINFILE")) SkinFile;
    f->name = name;
    f->sprite = sprite;
    try {
        files_.add(f);
    } catch (...) {
        MemDelete(f, MM("SKINFILE"));
        MemDelete(sprite, MM("SPRITE"));
        throw;
    }
}

void Skin::ReleaseGraphics(SkinControlGraphics* g) {
    if (!g) return;
    for (int i = 0; i < g->count; ++i) {
        if (g->regions[i]) DeleteObject(g->regions[i]);
        MemDelete(g->cells[i], MM("SPRITE"));
    }
    MemDelete(g->layoutMap, MM("LAYOUTMAP"));
    MemDelete(g, MM("SKINCONTROLGRAPHICS"));
}
