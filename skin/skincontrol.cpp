#include "skin/skincontrol.h"

#include "engine/cea_main.h"
#include "engine/cea_sprite.h"
#include "engine/cea_window.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "platform/dlg.h"
#include "skin/skinwindow.h"

#include <algorithm>

namespace {

constexpr UINT kWmHScroll = 0x0114;
constexpr UINT kWmVScroll = 0x0115;
constexpr WORD kSbThumbTrack = 5;
constexpr WORD kEnChange = 0x0300;
constexpr WORD kLbnSelChange = 1;

// The skin image each kind asks for; null for kinds that have none of their own.
const TCHAR* KindImage(DWORD kind) {
    switch (kind) {
    case kSkinClose:
        return TEXT("frame-x");
    case kSkinMinimise:
        return TEXT("frame-min");
    case kSkinPushButton:
        return TEXT("pbutton");
    case kSkinRadioButton:
        return TEXT("rbutton");
    case kSkinCheckBox:
        return TEXT("cbutton");
    case kSkinProgress:
        return TEXT("pbar");
    case kSkinText:
        return TEXT("text");
    case kSkinVScroll:
        return TEXT("vscroll");
    case kSkinHScroll:
        return TEXT("hscroll");
    case kSkinEdit:
        return TEXT("edit");
    case kSkinCaret:
        return TEXT("cursor");
    case kSkinList:
        return TEXT("list");
    default:
        return nullptr;
    }
}

bool IsTitleButton(DWORD id) {
    return id == kSkinCloseId || id == kSkinMinimiseId;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// A cell's graphic for the window's current frame; null when the graphics or cell are missing.
Graphic* Cell(const SkinControlGraphics* g, int i, AnimWindow* window) {
    if (!g || i < 0 || i >= g->count || !g->cells[i]) return nullptr;
    return g->cells[i]->GetFrameForCounter(window ? window->GetCurrentFrame() : 0);
}

// Copies `cell` with its top-left corner at (x, y), clipped to `area` and the draw clip.
void Blit(const ANIMDRAW* r, Graphic* cell, LONG x, LONG y, const RECT& area) {
    if (!cell) return;
    RECT to{x, y, x + cell->GetWidth(), y + cell->GetHeight()};
    to = Intersect(Intersect(to, area), r->clip);
    if (Empty(to)) return;
    cell->DrawTo(r->destination, to.left, to.top, to.left - x, to.top - y, to.right - to.left,
                 to.bottom - to.top);
}

// `cell` repeated over `area` from its top-left corner, the last copies cut to what is left.
void Tile(const ANIMDRAW* r, Graphic* cell, const RECT& area) {
    if (!cell) return;
    LONG w = cell->GetWidth(), h = cell->GetHeight();
    if (w <= 0 || h <= 0) return;
    RECT clipped = Intersect(area, r->clip);
    if (Empty(clipped)) return;
    // Start at the first copy that reaches the clip.
    LONG x0 = area.left + ((clipped.left - area.left) / w) * w;
    LONG y0 = area.top + ((clipped.top - area.top) / h) * h;
    for (LONG y = y0; y < clipped.bottom; y += h)
        for (LONG x = x0; x < clipped.right; x += w)
            Blit(r, cell, x, y, area);
}

// Three cells across `band` (or down it): a start at the near edge, the middle repeated, an
// end at the far edge, each end at most a cell long and never overlapping the other.
void Band(const ANIMDRAW* r, const SkinControlGraphics* g, int first, const RECT& band,
          bool vertical, AnimWindow* window) {
    if (!g || Empty(band)) return;
    LONG cell = vertical ? g->cellHeight : g->cellWidth;
    LONG length = vertical ? band.bottom - band.top : band.right - band.left;
    LONG start = std::min(cell, length), end = std::min(cell, length - start);
    RECT a = band, m = band, b = band;
    if (vertical) {
        a.bottom = band.top + start;
        b.top = band.bottom - end;
        m.top = a.bottom, m.bottom = b.top;
        Blit(r, Cell(g, first, window), band.left, band.top, a);
        Blit(r, Cell(g, first + 2, window), band.left, band.bottom - cell, b);
    } else {
        a.right = band.left + start;
        b.left = band.right - end;
        m.left = a.right, m.right = b.left;
        Blit(r, Cell(g, first, window), band.left, band.top, a);
        Blit(r, Cell(g, first + 2, window), band.right - cell, band.top, b);
    }
    Tile(r, Cell(g, first + 1, window), m);
}

// A 3 x 3 panel over `rect`: a top band, middle bands of a cell height each, a bottom band.
void Panel(const ANIMDRAW* r, const SkinControlGraphics* g, const RECT& rect, AnimWindow* window) {
    if (!g || g->cellHeight <= 0 || g->cellWidth <= 0) return;
    LONG height = rect.bottom - rect.top;
    LONG top = std::min(g->cellHeight, height);
    LONG bottom = std::min(g->cellHeight, height - top);
    Band(r, g, 0, RECT{rect.left, rect.top, rect.right, rect.top + top}, false, window);
    for (LONG y = rect.top + top; y < rect.bottom - bottom; y += g->cellHeight)
        Band(r, g, 3,
             RECT{rect.left, y, rect.right, std::min(y + g->cellHeight, rect.bottom - bottom)},
             false, window);
    Band(r, g, 6, RECT{rect.left, rect.bottom - bottom, rect.right, rect.bottom}, false, window);
}

void FillColor(const ANIMDRAW* r, const RECT& rect, COLORREF color) {
    RECT to = Intersect(rect, r->clip);
    if (Empty(to)) return;
    HDC dc = r->destination->GetDC();
    HBRUSH brush = CreateSolidBrush(color & 0x00FFFFFF);
    FillRect(dc, &to, brush);
    DeleteObject(brush);
    r->destination->ReleaseDC();
}

// The previous and next character boundary of UTF-8 text.
LONG PrevChar(const string& s, LONG i) {
    if (i <= 0) return 0;
    --i;
    while (i > 0 && (static_cast<unsigned char>(s.c_str()[i]) & 0xC0) == 0x80)
        --i;
    return i;
}
LONG NextChar(const string& s, LONG i) {
    LONG n = static_cast<LONG>(s.length());
    if (i >= n) return n;
    ++i;
    while (i < n && (static_cast<unsigned char>(s.c_str()[i]) & 0xC0) == 0x80)
        ++i;
    return i;
}

LONG TextWidth(HDC dc, const TCHAR* text, LONG n) {
    SIZE size{0, 0};
    if (n > 0) GetTextExtentPoint32(dc, text, static_cast<int>(n), &size);
    return size.cx;
}

// A memory context with the font of a description selected; undone by the destructor.
struct FontContext {
    HDC dc;
    HFONT font;
    HGDIOBJ old;
    explicit FontContext(const string& description, HDC target = nullptr) {
        dc = target ? target : CreateCompatibleDC(nullptr);
        own = target == nullptr;
        font = FontFromDescription(description.c_str());
        old = SelectObject(dc, font);
    }
    ~FontContext() {
        SelectObject(dc, old);
        DeleteObject(font);
        if (own) DeleteDC(dc);
    }
    LONG Height() {
        SIZE size{0, 0};
        GetTextExtentPoint32(dc, TEXT("Xg"), 2, &size);
        return size.cy;
    }
    FontContext(const FontContext&) = delete;
    FontContext& operator=(const FontContext&) = delete;

private:
    bool own;
};

} // namespace

SIZE SkinNaturalSize(DWORD kind, const SkinControlGraphics* g, bool hasText,
                     const SkinControlGraphics* items, const SkinControlSettings& s) {
    LONG cw = g ? g->cellWidth : 0, ch = g ? g->cellHeight : 0;
    switch (kind) {
    case kSkinPushButton:
        return hasText ? SIZE{3 * cw, ch} : SIZE{cw, ch};
    case kSkinProgress:
    case kSkinHScroll:
        return SIZE{3 * cw, ch};
    case kSkinVScroll:
        return SIZE{cw, 3 * ch};
    case kSkinText:
        return SIZE{3 * cw, 3 * ch};
    case kSkinEdit:
        return SIZE{2 * cw, 2 * ch};
    case kSkinList: {
        LONG iw = items ? items->cellWidth : 0, ih = items ? items->cellHeight : 0;
        return SIZE{2 * cw + 2 * iw + s.textLeft + s.textRight,
                    2 * ch + 2 * ih + s.textTop + s.textBottom};
    }
    default:
        return SIZE{cw, ch};
    }
}

// --- Life ---------------------------------------------------------------------------------------

SkinControl::SkinControl(SkinWindow* window, DWORD kind, DWORD id, DWORD style, const TCHAR* text,
                         const RECT& rect)
    : window_(window), object_(nullptr), kind_(kind), id_(id), style_(style),
      text_(text ? text : TEXT("")) {
    object_ =
        new (MM("ANIMOBJECT")) AnimObject(window->GetAnimWindow(), ObjectProc, kSkinControlLayer);
    object_->SetData(0, this);
    object_->SetRect(rect);
    // Controls are redrawn whole: their markup cannot be cut to a part.
    object_->SetFlags(kObjectBackdrop);
    enabled_ = !(style & WS_DISABLED);
}

SkinControl::~SkinControl() {
    MemDelete(object_, MM("ANIMOBJECT"));
    ReleaseOwnGraphics();
}

SkinControl* SkinControl::Create(SkinWindow* window, DWORD kind, DWORD id, DWORD style,
                                 const TCHAR* text, const RECT& rect) {
    if (kind != kSkinUserDrawn && (kind > kSkinList || SkinKindGrid(kind).cx == 0))
        throw cetl::exception(kSkinUnknownKind);
    return new (MM("SKINCONTROL")) SkinControl(window, kind, id, style, text, rect);
}

void SkinControl::Destroy(SkinControl* control) {
    MemDelete(control, MM("SKINCONTROL"));
}

void SkinControl::ReleaseOwnGraphics() {
    if (ownGraphics_) {
        if (graphics_ == ownGraphics_) graphics_ = nullptr;
        Skin::ReleaseGraphics(ownGraphics_);
        ownGraphics_ = nullptr;
    }
}

void SkinControl::LoadImages() {
    Skin* skin = window_->GetSkin();
    const TCHAR* prefix = window_->GetPrefix().c_str();
    // The close and minimise buttons are push buttons cut as title buttons.
    DWORD kind = kind_;
    if (id_ == kSkinCloseId) kind = kSkinClose;
    if (id_ == kSkinMinimiseId) kind = kSkinMinimise;
    settings_ = skin->ReadControlSettings(kind_, window_->GetAppSettings(), prefix);
    if (!ownGraphics_)
        if (const TCHAR* image = KindImage(kind)) graphics_ = skin->GetImage(image, kind, prefix);
    if (kind_ == kSkinList) itemGraphics_ = skin->GetImage(TEXT("listitem"), kSkinList, prefix);
    if (kind_ == kSkinEdit) caretGraphics_ = skin->GetImage(TEXT("cursor"), kSkinCaret, prefix);
    LayOut();
}

void SkinControl::SetSprite(Sprite* sprite) {
    ReleaseOwnGraphics();
    DWORD kind = id_ == kSkinCloseId ? kSkinClose : id_ == kSkinMinimiseId ? kSkinMinimise : kind_;
    if (sprite && SkinKindGrid(kind).cx > 0) {
        ownGraphics_ = Skin::BuildGraphics(sprite, kind);
        graphics_ = ownGraphics_;
    }
    LayOut();
}

void SkinControl::SetGraphics(SkinControlGraphics* graphics) {
    ReleaseOwnGraphics();
    graphics_ = graphics;
    LayOut();
}

// --- Placement ----------------------------------------------------------------------------------

SIZE SkinControl::NaturalSize() const {
    if (kind_ == kSkinUserDrawn) {
        LRESULT answer =
            window_->SendToPage(page_, kSkinUserSize, id_, reinterpret_cast<LPARAM>(this));
        if (answer)
            return SIZE{static_cast<LONG>(answer & 0xFFFF),
                        static_cast<LONG>((answer >> 16) & 0xFFFF)};
    }
    return SkinNaturalSize(kind_, graphics_, !text_.empty(), itemGraphics_, settings_);
}

void SkinControl::SetPlacement(DWORD hFlags, LONG hOffset, LONG hSize, DWORD vFlags, LONG vOffset,
                               LONG vSize) {
    RECT r;
    object_->GetRect(&r);
    const RECT areas[2] = {window_->GetInnerArea(), window_->GetClientArea()};
    const DWORD flags[2] = {hFlags, vFlags};
    const LONG offsets[2] = {hOffset, vOffset}, sizes[2] = {hSize, vSize};
    for (int axis = 0; axis < 2; ++axis) {
        SkinPlacement& p = placement_[axis];
        if (flags[axis] != static_cast<DWORD>(kSkinKeep)) p.flags = flags[axis];
        const RECT& area = areas[(p.flags & kPlaceWhole) ? 1 : 0];
        LONG nearEdge = axis ? area.top : area.left, farEdge = axis ? area.bottom : area.right;
        LONG lo = axis ? r.top : r.left, hi = axis ? r.bottom : r.right;
        p.size = sizes[axis] == kSkinKeep ? hi - lo : sizes[axis];
        if (offsets[axis] == kSkinKeep) {
            if (p.flags & kPlaceFar)
                p.offset = farEdge - hi;
            else if (p.flags & kPlaceCenter)
                p.offset = lo - (nearEdge + (farEdge - nearEdge) / 2 - (hi - lo) / 2);
            else
                p.offset = lo - nearEdge;
        } else {
            p.offset = offsets[axis];
        }
        p.reference = farEdge - nearEdge;
        p.set = true;
    }
    ApplyPlacement();
}

void SkinControl::ApplyPlacement() {
    if (!placement_[0].set && !placement_[1].set) return;
    RECT r;
    object_->GetRect(&r);
    SIZE natural = NaturalSize();
    const RECT areas[2] = {window_->GetInnerArea(), window_->GetClientArea()};
    LONG lo[2] = {r.left, r.top}, length[2] = {r.right - r.left, r.bottom - r.top};
    for (int axis = 0; axis < 2; ++axis) {
        const SkinPlacement& p = placement_[axis];
        if (!p.set) continue;
        const RECT& area = areas[(p.flags & kPlaceWhole) ? 1 : 0];
        LONG nearEdge = axis ? area.top : area.left, farEdge = axis ? area.bottom : area.right;
        LONG grown = (farEdge - nearEdge) - p.reference;
        LONG size = p.size;
        if (p.flags & kPlaceGrow) size += grown;
        if (p.flags & kPlaceShrink) size -= grown;
        size = std::max(size, axis ? natural.cy : natural.cx);
        length[axis] = size;
        if (p.flags & kPlaceFar)
            lo[axis] = farEdge - size - p.offset;
        else if (p.flags & kPlaceCenter)
            lo[axis] = nearEdge + (farEdge - nearEdge) / 2 - size / 2 + p.offset;
        else
            lo[axis] = nearEdge + p.offset;
    }
    SetRect(RECT{lo[0], lo[1], lo[0] + length[0], lo[1] + length[1]});
}

void SkinControl::SetRect(const RECT& rect) {
    RECT old;
    object_->GetRect(&old);
    if (old.left == rect.left && old.top == rect.top && old.right == rect.right &&
        old.bottom == rect.bottom)
        return;
    // A backdrop object keeps its place; it lets go of the flag to move.
    object_->SetFlags(0);
    object_->SetRect(rect);
    object_->SetFlags(kObjectBackdrop);
    LayOut();
}

// --- State --------------------------------------------------------------------------------------

void SkinControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (child_) EnableWindow(child_, enabled ? TRUE : FALSE);
    LayOut();
}

void SkinControl::SetCheck(int check) {
    check = check ? 1 : 0;
    if (child_) SendMessage(child_, BM_SETCHECK, static_cast<WPARAM>(check), 0);
    if (check == check_) return;
    check_ = check;
    Redraw();
}

void SkinControl::SetPosition(LONG position) {
    if (kind_ == kSkinProgress) position = std::clamp<LONG>(position, 0, 100);
    if (kind_ == kSkinVScroll || kind_ == kSkinHScroll)
        position = std::clamp(position, minimum_, std::max(minimum_, maximum_));
    if (position == position_) return;
    position_ = position;
    Redraw();
}

void SkinControl::SetRange(LONG minimum, LONG maximum, LONG page) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    page_size_ = std::max<LONG>(page, 0);
    inactive_ = maximum_ <= minimum_ || (page_size_ > 0 && page_size_ >= maximum_ - minimum_);
    position_ = std::clamp(position_, minimum_, maximum_);
    Redraw();
}

void SkinControl::SetText(const TCHAR* text) {
    text_ = text ? text : TEXT("");
    if (child_) SetWindowText(child_, text_.c_str());
    LONG n = static_cast<LONG>(text_.length());
    caret_ = std::min(caret_, n), anchor_ = std::min(anchor_, n);
    LayOut();
}

int SkinControl::AddItem(const TCHAR* text) {
    strings_.add(string(text ? text : TEXT("")));
    Redraw();
    return static_cast<int>(strings_.size()) - 1;
}

void SkinControl::ClearItems() {
    strings_.clear();
    selected_ = -1;
    top_ = 0;
    Redraw();
}

void SkinControl::SetSelection(int index) {
    int n = static_cast<int>(strings_.size());
    index = n ? std::clamp(index, 0, n - 1) : -1;
    if (index == selected_) return;
    selected_ = index;
    int rows = std::max(ListRows(), 1);
    if (selected_ >= 0 && selected_ < top_) top_ = selected_;
    if (selected_ >= top_ + rows) top_ = selected_ - rows + 1;
    Redraw();
}

void SkinControl::SetEditSelection(LONG anchor, LONG caret) {
    LONG n = static_cast<LONG>(text_.length());
    anchor_ = std::clamp<LONG>(anchor, 0, n);
    caret_ = std::clamp<LONG>(caret, 0, n);
    Redraw();
}

// --- Text ---------------------------------------------------------------------------------------

RECT SkinControl::TextArea() const {
    RECT r;
    object_->GetRect(&r);
    return RECT{r.left + settings_.textLeft, r.top + settings_.textTop,
                r.right - settings_.textRight, r.bottom - settings_.textBottom};
}

COLORREF SkinControl::TextColor() const {
    return enabled_ ? settings_.textColor : settings_.disabledTextColor;
}

void SkinControl::LayOut() {
    items_.clear();
    bool marked = kind_ == kSkinPushButton || kind_ == kSkinRadioButton || kind_ == kSkinCheckBox ||
                  kind_ == kSkinText;
    if (marked && !text_.empty() && !IsTitleButton(id_)) {
        RECT area = TextArea();
        int layout = kind_ == kSkinText ? StaticTextLayout(style_, settings_.textLayout)
                                        : settings_.textLayout;
        if (kind_ != kSkinText && (style_ & BS_MULTILINE) == 0) {
            // A button's caption is one line, as a button's is: laid out without a right edge,
            // then placed by the layout (a caption too wide is cut at the control's edges).
            RECT wide = area;
            wide.right = area.left + 0x4000;
            LayOutMarkup(text_.c_str(), wide, kMarkupLeft, settings_.font.c_str(), TextColor(),
                         items_);
            LONG used = 0;
            for (const MarkupItem& item : items_)
                used = std::max(used, item.rect.right - area.left);
            const LONG room = area.right - area.left;
            const LONG dx = layout == kMarkupCenter  ? (room - used) / 2
                            : layout == kMarkupRight ? room - used
                                                     : 0;
            for (MarkupItem& item : items_)
                item.rect.left += dx, item.rect.right += dx;
        } else {
            LayOutMarkup(text_.c_str(), area, layout, settings_.font.c_str(), TextColor(), items_);
        }
        // Buttons show their caption centred between the text borders.
        if (kind_ != kSkinText && !items_.empty()) {
            LONG used = 0;
            for (const MarkupItem& item : items_)
                used = std::max(used, item.rect.bottom - area.top);
            LONG dy = std::max<LONG>(0, (area.bottom - area.top - used) / 2);
            for (MarkupItem& item : items_)
                item.rect.top += dy, item.rect.bottom += dy;
        }
    }
    Redraw();
}

LONG SkinControl::MeasureTextHeight() {
    RECT area = TextArea();
    cetl::vector<MarkupItem> items;
    LayOutMarkup(text_.c_str(), area, settings_.textLayout, settings_.font.c_str(), TextColor(),
                 items);
    LONG bottom = area.top;
    for (const MarkupItem& item : items)
        bottom = std::max(bottom, item.rect.bottom);
    return bottom - area.top + settings_.textTop + settings_.textBottom;
}

void SkinControl::Redraw() {
    object_->Invalidate();
}

// --- Drawing ------------------------------------------------------------------------------------

bool SkinControl::UnderMouse() const {
    SkinControl* pressed = window_->GetPressedControl();
    return IsActive() && window_->GetHoverControl() == this && (!pressed || pressed == this);
}

bool SkinControl::Pressed() const {
    return UnderMouse() && window_->GetPressedControl() == this;
}

LRESULT SkinControl::ObjectProc(AnimObject* object, DWORD message, LPARAM parameter) {
    auto* self = static_cast<SkinControl*>(object->GetData(0));
    if (!self) return 1;
    if (message == ANIMOBJ_DRAW) {
        self->Draw(reinterpret_cast<const ANIMDRAW*>(parameter));
    } else if (message == ANIMOBJ_TICK && self->kind_ == kSkinUserDrawn) {
        if (self->window_->SendToPage(self->page_, kSkinUserTick, self->id_,
                                      reinterpret_cast<LPARAM>(self)))
            self->Redraw();
    }
    return 1;
}

void SkinControl::Draw(const ANIMDRAW* r) {
    if (IsTitleButton(id_)) return DrawTitleButton(r);
    switch (kind_) {
    case kSkinPushButton:
        DrawButton(r);
        break;
    case kSkinRadioButton:
    case kSkinCheckBox:
        DrawToggle(r);
        break;
    case kSkinProgress:
        DrawProgress(r);
        break;
    case kSkinText:
        DrawPanel(r);
        break;
    case kSkinEdit:
        DrawEdit(r);
        break;
    case kSkinList:
        DrawList(r);
        break;
    case kSkinVScroll:
    case kSkinHScroll:
        DrawScroll(r);
        break;
    case kSkinUserDrawn: {
        SkinUserDraw d{this, r->object, r->clip, r->destination};
        if (window_->SendToPage(page_, kSkinUserDraw, id_, reinterpret_cast<LPARAM>(&d))) break;
        Blit(r, Cell(graphics_, 0, window_->GetAnimWindow()), r->object.left, r->object.top,
             r->object);
        break;
    }
    default:
        Blit(r, Cell(graphics_, 0, window_->GetAnimWindow()), r->object.left, r->object.top,
             r->object);
        break;
    }
}

void SkinControl::DrawText(const ANIMDRAW* r) {
    if (items_.empty()) return;
    DrawMarkup(r->destination->GetDC(), items_);
    r->destination->ReleaseDC();
}

void SkinControl::DrawButton(const ANIMDRAW* r) {
    if (graphics_) {
        int row = Pressed() ? 3 : UnderMouse() ? 2 : IsActive() ? 1 : 0;
        const RECT& o = r->object;
        RECT band{o.left, o.top, o.right, std::min(o.bottom, o.top + graphics_->cellHeight)};
        Band(r, graphics_, row * 3, band, false, window_->GetAnimWindow());
    }
    DrawText(r);
}

void SkinControl::DrawTitleButton(const ANIMDRAW* r) {
    int cell = Pressed() ? 2 : UnderMouse() ? 1 : 0;
    Blit(r, Cell(graphics_, cell, window_->GetAnimWindow()), r->object.left, r->object.top,
         r->object);
}

void SkinControl::DrawToggle(const ANIMDRAW* r) {
    if (graphics_) {
        int cell = (Pressed() ? 6 : UnderMouse() ? 4 : IsActive() ? 2 : 0) + check_;
        const RECT& o = r->object;
        LONG cw = graphics_->cellWidth, x;
        switch (settings_.imageLayout) {
        case 1:
            x = o.right - cw - settings_.imageXAdjust;
            break;
        case 2:
            x = o.left + (o.right - o.left - cw) / 2 + settings_.imageXAdjust;
            break;
        default:
            x = o.left + settings_.imageXAdjust;
            break;
        }
        Blit(r, Cell(graphics_, cell, window_->GetAnimWindow()), x, o.top + settings_.imageYAdjust,
             o);
    }
    DrawText(r);
}

void SkinControl::DrawProgress(const ANIMDRAW* r) {
    if (!graphics_) return;
    AnimWindow* w = window_->GetAnimWindow();
    const RECT& o = r->object;
    LONG cw = graphics_->cellWidth, width = o.right - o.left;
    LONG left = std::min(cw, width);
    Blit(r, Cell(graphics_, 0, w), o.left, o.top, RECT{o.left, o.top, o.left + left, o.bottom});
    LONG room = width - left;
    LONG right = std::min(cw, room);
    Blit(r, Cell(graphics_, 3, w), o.right - cw, o.top,
         RECT{o.right - right, o.top, o.right, o.bottom});
    room -= right;
    // The fill grows in whole cells.
    LONG filled = cw > 0 ? cw * ((position_ * room / 100) / cw) : 0;
    LONG x = o.left + left;
    LONG bottom = std::min(o.bottom, o.top + graphics_->cellHeight);
    Tile(r, Cell(graphics_, 2, w), RECT{x, o.top, x + filled, bottom});
    Tile(r, Cell(graphics_, 1, w), RECT{x + filled, o.top, x + room, bottom});
}

void SkinControl::DrawPanel(const ANIMDRAW* r) {
    if (graphics_ && graphics_->cellWidth > 0)
        Panel(r, graphics_, r->object, window_->GetAnimWindow());
    DrawText(r);
}

// --- Edit fields
// ----------------------------------------------------------------------------------

void SkinControl::DrawEdit(const ANIMDRAW* r) {
    Panel(r, graphics_, r->object, window_->GetAnimWindow());
    RECT area = TextArea();
    if (Empty(area)) return;
    HDC dc = r->destination->GetDC();
    {
        FontContext font(settings_.font, dc);
        LONG height = font.Height();
        LONG top = area.top + std::max<LONG>(0, (area.bottom - area.top - height) / 2);
        const TCHAR* text = text_.c_str();
        LONG n = static_cast<LONG>(text_.length());
        // Only whole characters that fit are drawn, from the first visible one.
        LONG first = std::min(scrollX_, n), last = first;
        while (last < n &&
               area.left + TextWidth(dc, text + first, NextChar(text_, last) - first) <= area.right)
            last = NextChar(text_, last);
        LONG selFrom = std::max(std::min(anchor_, caret_), first);
        LONG selTo = std::min(std::max(anchor_, caret_), last);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, TextColor());
        TextOut(dc, area.left, top, text + first, static_cast<int>(last - first));
        if (selFrom < selTo && window_->GetFocusControl() == this) {
            LONG x0 = area.left + TextWidth(dc, text + first, selFrom - first);
            LONG x1 = area.left + TextWidth(dc, text + first, selTo - first);
            RECT sel{x0, top, x1, top + height};
            HBRUSH brush = CreateSolidBrush(settings_.selectedBackgroundColor & 0x00FFFFFF);
            FillRect(dc, &sel, brush);
            DeleteObject(brush);
            SetTextColor(dc, settings_.selectedTextColor);
            TextOut(dc, x0, top, text + selFrom, static_cast<int>(selTo - selFrom));
        }
        if (window_->GetFocusControl() == this && caret_ >= first && caret_ <= last) {
            LONG x = area.left + TextWidth(dc, text + first, caret_ - first);
            r->destination->ReleaseDC();
            dc = nullptr;
            Graphic* caret = Cell(caretGraphics_, 0, window_->GetAnimWindow());
            if (caret) {
                Blit(r, caret, x, top + (height - caret->GetHeight()) / 2, area);
            } else {
                FillColor(r, RECT{x, top, x + 1, top + height}, TextColor());
            }
        }
    }
    if (dc) r->destination->ReleaseDC();
}

LONG SkinControl::EditCaretAt(POINT point) const {
    RECT area = TextArea();
    FontContext font(settings_.font);
    const TCHAR* text = text_.c_str();
    LONG n = static_cast<LONG>(text_.length());
    LONG first = std::min(scrollX_, n);
    for (LONG i = first; i < n; i = NextChar(text_, i)) {
        LONG next = NextChar(text_, i);
        LONG a = TextWidth(font.dc, text + first, i - first);
        LONG b = TextWidth(font.dc, text + first, next - first);
        if (point.x < area.left + (a + b) / 2) return i;
    }
    return n;
}

void SkinControl::EditInsert(const TCHAR* text, std::size_t n) {
    LONG from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    if (from < to) EditDelete(from, to);
    string piece(text, n);
    text_.insert(static_cast<std::size_t>(caret_), piece.c_str());
    caret_ += static_cast<LONG>(n);
    anchor_ = caret_;
}

void SkinControl::EditDelete(LONG from, LONG to) {
    if (to <= from) return;
    text_.erase(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    caret_ = anchor_ = from;
}

// --- List boxes ---------------------------------------------------------------------------------

LONG SkinControl::ListRowHeight() const {
    FontContext font(settings_.font);
    return font.Height() + 2;
}

int SkinControl::ListRows() const {
    RECT area = TextArea();
    LONG row = ListRowHeight();
    return static_cast<int>(std::max<LONG>(0, (area.bottom - area.top) / row));
}

int SkinControl::ListItemAt(POINT point) const {
    RECT area = TextArea();
    if (!Inside(area, point)) return -1;
    LONG row = ListRowHeight();
    int index = top_ + static_cast<int>((point.y - area.top) / row);
    return index < static_cast<int>(strings_.size()) ? index : -1;
}

void SkinControl::DrawList(const ANIMDRAW* r) {
    Panel(r, graphics_, r->object, window_->GetAnimWindow());
    RECT area = TextArea();
    if (Empty(area)) return;
    LONG row = ListRowHeight();
    // The selected row: the selected background between the item image's two edges.
    if (selected_ >= top_ && selected_ < static_cast<int>(strings_.size())) {
        LONG y = area.top + (selected_ - top_) * row;
        if (y + row <= area.bottom) {
            LONG inset = graphics_ ? graphics_->cellWidth / 2 : 0;
            RECT band{r->object.left + inset, y, r->object.right - inset, y + row};
            FillColor(r, band, settings_.selectedBackgroundColor);
            if (itemGraphics_) {
                AnimWindow* w = window_->GetAnimWindow();
                LONG cw = itemGraphics_->cellWidth;
                for (LONG top = band.top; top < band.bottom; top += itemGraphics_->cellHeight) {
                    RECT strip{band.left, top, band.right,
                               std::min(band.bottom, top + itemGraphics_->cellHeight)};
                    Blit(r, Cell(itemGraphics_, 3, w), band.left, top, strip);
                    Blit(r, Cell(itemGraphics_, 5, w), band.right - cw, top, strip);
                }
            }
        }
    }
    HDC dc = r->destination->GetDC();
    {
        FontContext font(settings_.font, dc);
        SetBkMode(dc, TRANSPARENT);
        for (int i = top_; i < static_cast<int>(strings_.size()); ++i) {
            LONG y = area.top + (i - top_) * row + 1;
            if (y - 1 + row > area.bottom) break;
            const string& s = strings_[static_cast<std::size_t>(i)];
            LONG n = 0;
            while (n < static_cast<LONG>(s.length()) &&
                   area.left + TextWidth(dc, s.c_str(), NextChar(s, n)) <= area.right)
                n = NextChar(s, n);
            SetTextColor(dc, i == selected_ ? settings_.selectedTextColor : TextColor());
            TextOut(dc, area.left, y, s.c_str(), static_cast<int>(n));
        }
    }
    r->destination->ReleaseDC();
}

// --- Scroll bars --------------------------------------------------------------------------------

SkinControl::Axis SkinControl::ScrollAxis() const {
    RECT o;
    object_->GetRect(&o);
    Axis a;
    a.vertical = kind_ == kSkinVScroll;
    a.origin = a.vertical ? o.top : o.left;
    a.length = a.vertical ? o.bottom - o.top : o.right - o.left;
    a.cell = graphics_ ? (a.vertical ? graphics_->cellHeight : graphics_->cellWidth) : 0;
    a.arrow = std::min(a.cell, a.length / 2);
    return a;
}

LONG SkinControl::TrackLength() const {
    Axis a = ScrollAxis();
    return std::max<LONG>(0, a.length - 2 * a.arrow);
}

LONG SkinControl::ThumbLength() const {
    LONG cell = std::max<LONG>(ScrollAxis().cell, 1);
    LONG track = TrackLength();
    LONG length = cell;
    LONG range = maximum_ - minimum_;
    if (window_->GetSettings().proportionalScrollbars && page_size_ > 0 && range > 0)
        length = std::max(cell, track * page_size_ / (range + page_size_));
    return std::min(length, track);
}

RECT SkinControl::ThumbRect() const {
    RECT o;
    object_->GetRect(&o);
    Axis a = ScrollAxis();
    LONG track = TrackLength(), thumb = ThumbLength(), range = maximum_ - minimum_;
    LONG at = a.arrow + (range > 0 ? (track - thumb) * (position_ - minimum_) / range : 0);
    return a.vertical ? RECT{o.left, o.top + at, o.right, o.top + at + thumb}
                      : RECT{o.left + at, o.top, o.left + at + thumb, o.bottom};
}

void SkinControl::DrawScroll(const ANIMDRAW* r) {
    if (!graphics_) return;
    AnimWindow* w = window_->GetAnimWindow();
    const RECT& o = r->object;
    Axis a = ScrollAxis();
    bool v = a.vertical;
    LONG arrow = a.arrow;
    RECT dec = v ? RECT{o.left, o.top, o.right, o.top + arrow}
                 : RECT{o.left, o.top, o.left + arrow, o.bottom};
    RECT inc = v ? RECT{o.left, o.bottom - arrow, o.right, o.bottom}
                 : RECT{o.right - arrow, o.top, o.right, o.bottom};
    RECT track =
        v ? RECT{o.left, dec.bottom, o.right, inc.top} : RECT{dec.right, o.top, inc.left, o.bottom};
    if (!IsActive()) {
        // Row 3: the bar as it looks with nothing to scroll.
        Blit(r, Cell(graphics_, 12, w), dec.left, dec.top, dec);
        Blit(r, Cell(graphics_, 13, w), inc.right - graphics_->cellWidth,
             inc.bottom - graphics_->cellHeight, inc);
        Tile(r, Cell(graphics_, 14, w), track);
        return;
    }
    bool held = Pressed();
    Blit(r, Cell(graphics_, held && part_ == 0 ? 2 : 0, w), dec.left, dec.top, dec);
    Blit(r, Cell(graphics_, held && part_ == 1 ? 3 : 1, w), inc.right - graphics_->cellWidth,
         inc.bottom - graphics_->cellHeight, inc);
    Band(r, graphics_, 4, track, v, w);
    RECT thumb = ThumbRect();
    Band(r, graphics_, 8, thumb, v, w);
    Graphic* grip = Cell(graphics_, 11, w);
    if (grip)
        Blit(r, grip, thumb.left + (thumb.right - thumb.left - grip->GetWidth()) / 2,
             thumb.top + (thumb.bottom - thumb.top - grip->GetHeight()) / 2, thumb);
}

void SkinControl::Scroll(LONG position, bool notify) {
    position = std::clamp(position, minimum_, maximum_);
    if (position == position_) return;
    position_ = position;
    Redraw();
    if (notify)
        window_->SendToPage(page_, kind_ == kSkinVScroll ? kWmVScroll : kWmHScroll,
                            MAKEWPARAM(kSbThumbTrack, static_cast<WORD>(position_)),
                            reinterpret_cast<LPARAM>(child_));
}

// --- Input --------------------------------------------------------------------------------------

bool SkinControl::TakesMouse() const {
    if (!IsActive()) return false;
    switch (kind_) {
    case kSkinText:
    case kSkinProgress:
    case kSkinImage:
    case kSkinCaret:
        return false;
    default:
        return true;
    }
}

bool SkinControl::HitTest(POINT point) const {
    RECT r;
    object_->GetRect(&r);
    if (!Inside(r, point)) return false;
    // A title button answers only over its cell.
    if (IsTitleButton(id_) && graphics_)
        return point.x < r.left + graphics_->cellWidth && point.y < r.top + graphics_->cellHeight;
    return true;
}

void SkinControl::Press(POINT point) {
    part_ = -1;
    pressTime_ = repeatTime_ = EngineClock();
    switch (kind_) {
    case kSkinEdit:
        window_->SetFocusControl(this);
        caret_ = anchor_ = EditCaretAt(point);
        break;
    case kSkinList: {
        window_->SetFocusControl(this);
        int index = ListItemAt(point);
        if (index >= 0 && index != selected_) {
            SetSelection(index);
            window_->SendToPage(page_, WM_COMMAND, MAKEWPARAM(id_, kLbnSelChange),
                                reinterpret_cast<LPARAM>(child_));
        }
        break;
    }
    case kSkinVScroll:
    case kSkinHScroll: {
        window_->SetFocusControl(this);
        RECT thumb = ThumbRect();
        Axis a = ScrollAxis();
        LONG along = (a.vertical ? point.y : point.x) - a.origin;
        LONG length = a.length, arrow = a.arrow;
        LONG thumbLo = (a.vertical ? thumb.top : thumb.left) - a.origin;
        LONG thumbHi = (a.vertical ? thumb.bottom : thumb.right) - a.origin;
        LONG page = std::max<LONG>(page_size_, 1);
        if (along < arrow) {
            part_ = 0;
            Scroll(position_ - 1, true);
        } else if (along >= length - arrow) {
            part_ = 1;
            Scroll(position_ + 1, true);
        } else if (along < thumbLo) {
            part_ = 2;
            Scroll(position_ - page, true);
        } else if (along >= thumbHi) {
            part_ = 3;
            Scroll(position_ + page, true);
        } else {
            part_ = 4;
            grab_ = along - thumbLo;
        }
        break;
    }
    default:
        break;
    }
    Redraw();
}

void SkinControl::Repeat(DWORD now) {
    if (kind_ != kSkinVScroll && kind_ != kSkinHScroll) return;
    if (part_ < 0 || part_ > 3 || !Pressed()) return;
    // A first pause, then a step every 50 ms.
    if (now - pressTime_ < 400 || now - repeatTime_ < 50) return;
    repeatTime_ = now;
    LONG page = std::max<LONG>(page_size_, 1);
    const LONG steps[4] = {-1, 1, -page, page};
    if (part_ >= 2) {
        // The track repeats only while the thumb has not reached the cursor.
        RECT thumb = ThumbRect();
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(window_->GetHandle(), &cursor);
        bool v = kind_ == kSkinVScroll;
        LONG along = v ? cursor.y : cursor.x;
        if (part_ == 2 && along >= (v ? thumb.top : thumb.left)) return;
        if (part_ == 3 && along < (v ? thumb.bottom : thumb.right)) return;
    }
    Scroll(position_ + steps[part_], true);
}

void SkinControl::Drag(POINT point) {
    switch (kind_) {
    case kSkinEdit: {
        LONG caret = EditCaretAt(point);
        if (caret != caret_) {
            caret_ = caret;
            Redraw();
        }
        break;
    }
    case kSkinList: {
        int index = ListItemAt(point);
        if (index >= 0 && index != selected_) {
            SetSelection(index);
            window_->SendToPage(page_, WM_COMMAND, MAKEWPARAM(id_, kLbnSelChange),
                                reinterpret_cast<LPARAM>(child_));
        }
        break;
    }
    case kSkinVScroll:
    case kSkinHScroll: {
        if (part_ != 4) break;
        Axis a = ScrollAxis();
        LONG along = (a.vertical ? point.y : point.x) - a.origin - grab_ - a.arrow;
        LONG room = TrackLength() - ThumbLength();
        LONG range = maximum_ - minimum_;
        if (room > 0) Scroll(minimum_ + (along * range + room / 2) / room, true);
        break;
    }
    default:
        break;
    }
}

void SkinControl::Click(POINT) {
    switch (kind_) {
    case kSkinPushButton:
    case kSkinRadioButton:
    case kSkinCheckBox:
    case kSkinClose:
    case kSkinMinimise:
        SendMessage(window_->GetHandle(), WM_COMMAND, MAKEWPARAM(id_, BN_CLICKED),
                    reinterpret_cast<LPARAM>(child_));
        break;
    default:
        break;
    }
}

void SkinControl::Command(WPARAM) {
    if (kind_ == kSkinCheckBox) {
        SetCheck(!check_);
    } else if (kind_ == kSkinRadioButton) {
        for (std::size_t i = 0; i < window_->GetControlCount(); ++i) {
            SkinControl* c = window_->GetControl(i);
            if (c != this && c->kind_ == kSkinRadioButton && c->page_ == page_ &&
                c->group_ == group_)
                c->SetCheck(0);
        }
        SetCheck(1);
    }
}

bool SkinControl::Key(UINT message, WPARAM key) {
    if (!IsActive()) return false;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    if (kind_ == kSkinEdit) {
        LONG n = static_cast<LONG>(text_.length());
        if (message == WM_CHAR) {
            if (key == VK_BACK) {
                if (anchor_ != caret_)
                    EditDelete(std::min(anchor_, caret_), std::max(anchor_, caret_));
                else
                    EditDelete(PrevChar(text_, caret_), caret_);
            } else if (key >= 0x20) {
                TCHAR c = static_cast<TCHAR>(key);
                EditInsert(&c, 1);
            } else {
                return false;
            }
            if (child_) SetWindowText(child_, text_.c_str());
            window_->SendToPage(page_, WM_COMMAND, MAKEWPARAM(id_, kEnChange),
                                reinterpret_cast<LPARAM>(child_));
        } else {
            LONG caret = caret_;
            switch (key) {
            case VK_LEFT:
                caret = PrevChar(text_, caret_);
                break;
            case VK_RIGHT:
                caret = NextChar(text_, caret_);
                break;
            case VK_HOME:
                caret = 0;
                break;
            case VK_END:
                caret = n;
                break;
            case VK_DELETE:
                if (anchor_ != caret_)
                    EditDelete(std::min(anchor_, caret_), std::max(anchor_, caret_));
                else
                    EditDelete(caret_, NextChar(text_, caret_));
                if (child_) SetWindowText(child_, text_.c_str());
                window_->SendToPage(page_, WM_COMMAND, MAKEWPARAM(id_, kEnChange),
                                    reinterpret_cast<LPARAM>(child_));
                caret = caret_;
                shift = false;
                break;
            default:
                return false;
            }
            caret_ = caret;
            if (!shift) anchor_ = caret_;
        }
        // Keep the caret in view: the first visible character follows it.
        scrollX_ = std::min(scrollX_, caret_);
        RECT area = TextArea();
        FontContext font(settings_.font);
        while (scrollX_ < caret_ && TextWidth(font.dc, text_.c_str() + scrollX_,
                                              caret_ - scrollX_) > area.right - area.left)
            scrollX_ = NextChar(text_, scrollX_);
        Redraw();
        return true;
    }
    if (message != WM_KEYDOWN) return false;
    if (kind_ == kSkinList) {
        int rows = std::max(ListRows(), 1), n = static_cast<int>(strings_.size());
        int to = selected_;
        switch (key) {
        case VK_UP:
            to = selected_ - 1;
            break;
        case VK_DOWN:
            to = selected_ + 1;
            break;
        case VK_PRIOR:
            to = selected_ - rows;
            break;
        case VK_NEXT:
            to = selected_ + rows;
            break;
        case VK_HOME:
            to = 0;
            break;
        case VK_END:
            to = n - 1;
            break;
        default:
            return false;
        }
        int before = selected_;
        SetSelection(std::max(to, 0));
        if (selected_ != before)
            window_->SendToPage(page_, WM_COMMAND, MAKEWPARAM(id_, kLbnSelChange),
                                reinterpret_cast<LPARAM>(child_));
        return true;
    }
    if (kind_ == kSkinVScroll || kind_ == kSkinHScroll) {
        LONG page = std::max<LONG>(page_size_, 1);
        bool v = kind_ == kSkinVScroll;
        switch (key) {
        case VK_UP:
        case VK_LEFT:
            if ((key == VK_UP) != v) return false;
            Scroll(position_ - 1, true);
            break;
        case VK_DOWN:
        case VK_RIGHT:
            if ((key == VK_DOWN) != v) return false;
            Scroll(position_ + 1, true);
            break;
        case VK_PRIOR:
            Scroll(position_ - page, true);
            break;
        case VK_NEXT:
            Scroll(position_ + page, true);
            break;
        case VK_HOME:
            Scroll(minimum_, true);
            break;
        case VK_END:
            Scroll(maximum_, true);
            break;
        default:
            return false;
        }
        return true;
    }
    return false;
}
