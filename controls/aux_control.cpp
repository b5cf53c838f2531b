#include "controls/aux_control.h"

#include "engine/cea_window.h"
#include "foundation/memory.h"

#include <algorithm>

namespace {

// The process's focus and pen capture, and the window that had the system capture before it.
AuxControl* g_focus = nullptr;
AuxControl* g_capture = nullptr;
HWND g_previousCapture = nullptr;

// Every live control, so that a pointer read from an object slot or kept across a callback is
// only used while it still names a control.
AuxControl** g_controls = nullptr;
std::size_t g_cControls = 0;
std::size_t g_liveControls = 0;
DWORD g_nextSerial = 1;

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// The pointer position of the message being handled, in the window's client coordinates.
POINT PenPoint(HWND hwnd) {
    DWORD position = GetMessagePos();
    POINT p{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    ScreenToClient(hwnd, &p);
    return p;
}

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

HFONT StockFont() {
    return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

// Selects the font and text colour with a transparent background; the caller restores the DC.
void PrepareText(HDC dc, HFONT font, COLORREF color) {
    SelectObject(dc, font);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
}

// Marks inside the 13 x 13 box of check boxes and radio buttons, one letter a pixel:
// S shadow, D dark shadow, H highlight, L light, W the box's inside, X the mark.
constexpr int kMarkSize = 13;
constexpr const char* kRadioRing[12] = {
    "....SSSS....", "..SSDDDDSS..", ".SDDWWWWDDH.", ".SDWWWWWWLH.", "SDWWWWWWWWLH", "SDWWWWWWWWLH",
    "SDWWWWWWWWLH", "SDWWWWWWWWLH", ".SDWWWWWWLH.", ".SLLWWWWLLH.", "..HHLLLLHH..", "....HHHH....",
};
constexpr const char* kRadioDot[4] = {".XX.", "XXXX", "XXXX", ".XX."};
constexpr const char* kCheckMark[7] = {
    "......X", ".....XX", "X...XXX", "XX.XXX.", "XXXXX..", ".XXX...", "..X....",
};

void DrawPattern(HDC dc, LONG x, LONG y, const char* const* rows, int count, COLORREF inside,
                 COLORREF mark) {
    for (int row = 0; row < count; ++row)
        for (int column = 0; rows[row][column]; ++column) {
            COLORREF c;
            switch (rows[row][column]) {
            case 'S':
                c = GetSysColor(COLOR_BTNSHADOW);
                break;
            case 'D':
                c = GetSysColor(COLOR_3DDKSHADOW);
                break;
            case 'H':
                c = GetSysColor(COLOR_BTNHIGHLIGHT);
                break;
            case 'L':
                c = GetSysColor(COLOR_3DLIGHT);
                break;
            case 'W':
                c = inside;
                break;
            case 'X':
                c = mark;
                break;
            default:
                continue;
            }
            SetPixel(dc, x + column, y + row, c);
        }
}

} // namespace

// ---- Registry of live controls ----------------------------------------------------------------

bool AuxControl::IsAlive(const Token& token) {
    if (!token.control) return false; // freed slots hold null
    for (std::size_t i = 0; i < g_cControls; ++i)
        if (g_controls[i] == token.control) return token.control->serial_ == token.serial;
    return false;
}

AuxControl* FromObject(AnimObject* object) {
    if (!object) return nullptr;
    // Only objects that a live control names are looked into.
    for (std::size_t i = 0; i < g_cControls; ++i) {
        AuxControl* c = g_controls[i];
        if (c && c->object_ == object) return object->GetData(kAuxObjectSlot) == c ? c : nullptr;
    }
    return nullptr;
}

AuxControl* FindControl(AnimWindow* window, DWORD id) {
    if (!AnimWindow::IsLive(window)) return nullptr;
    for (AnimObject* o = window->NextObject(nullptr); o; o = window->NextObject(o))
        if (AuxControl* c = FromObject(o); c && c->GetId() == id) return c;
    return nullptr;
}

AuxControl* GetFocusControl() {
    return g_focus;
}

AuxControl* GetFocusControl(DWORD kind) {
    return g_focus && g_focus->GetKind() == kind ? g_focus : nullptr;
}

AuxControl* GetCaptureControl() {
    return g_capture;
}

AuxControl* GetCaptureControl(DWORD kind) {
    return g_capture && g_capture->GetKind() == kind ? g_capture : nullptr;
}

void ClearFocus() {
    AuxControl* capture = g_capture;
    AuxControl* focus = g_focus;
    AuxControl::Token captureToken{capture, capture ? capture->serial_ : 0};
    AuxControl::Token focusToken{focus, focus ? focus->serial_ : 0};
    if (capture) capture->ReleaseCapture();
    if (focus && AuxControl::IsAlive(focusToken) && g_focus == focus) {
        g_focus = nullptr;
        focus->OnKillFocus();
        if (AuxControl::IsAlive(focusToken) && focus->object_) focus->object_->Invalidate();
    }
    AnimWindow* painted = nullptr;
    for (const AuxControl::Token& t : {captureToken, focusToken})
        if (t.control && AuxControl::IsAlive(t) && t.control->autoPaint_ && t.control->object_ &&
            t.control->object_->GetWindow() != painted) {
            painted = t.control->object_->GetWindow();
            painted->Paint();
        }
}

// ---- AuxControl -------------------------------------------------------------------------------

AuxControl::AuxControl(AnimWindow* window, DWORD id, LONG layer, AnimObjectCallback callback,
                       DWORD kind)
    : object_(nullptr), autoSize_(TRUE), needsLayout_(FALSE), id_(id), objectCallback_(callback),
      kind_(kind), colors_(nullptr), cColors_(0), autoPaint_(FALSE), enabled_(TRUE),
      font_(StockFont()), window_(nullptr), hwnd_(nullptr), serial_(g_nextSerial++) {
    std::size_t slot = 0;
    while (slot < g_cControls && g_controls[slot])
        ++slot;
    if (slot == g_cControls &&
        !MemGrowArray(&g_controls, &g_cControls, g_cControls + 1, 8, MM("AUXCONTROLS"))) {
        // Unregistered, the control cannot be found from an object: it stays without one.
        return;
    }
    g_controls[slot] = this;
    ++g_liveControls;

    if (!AnimWindow::IsLive(window)) return;
    window_ = window;
    hwnd_ = window->GetHandle();
    object_ = new (MM("ANIMOBJECT")) AnimObject(window, callback, layer);
    if (!object_->SetData(kAuxObjectSlot, this)) {
        AnimObject* object = object_;
        object_ = nullptr;
        MemDelete(object, MM("ANIMOBJECT"));
    }
    window->AddHook(FocusHook, kHookAll);
}

AuxControl::~AuxControl() {
    if (AnimWindow* window = GetAnimWindow()) window->RemoveHook(FocusHook);
    if (object_) {
        // Its destruction message clears object_.
        AnimObject* object = object_;
        MemDelete(object, MM("ANIMOBJECT"));
        object_ = nullptr;
    }
    if (g_capture == this) ReleaseCapture();
    if (g_focus == this) ClearFocus();
    if (autoPaint_)
        if (AnimWindow* window = GetAnimWindow()) window->Paint();
    MemFree(colors_, MM("AUXCOLORS"));
    colors_ = nullptr;
    cColors_ = 0;
    if (font_ != StockFont()) DeleteObject(font_);

    for (std::size_t i = 0; i < g_cControls; ++i)
        if (g_controls[i] == this) {
            g_controls[i] = nullptr;
            --g_liveControls;
        }
    if (g_liveControls == 0) {
        MemFree(g_controls, MM("AUXCONTROLS"));
        g_controls = nullptr;
        g_cControls = 0;
    }
}

AnimWindow* AuxControl::GetAnimWindow() const {
    // The handle guards against a new window made at the address of a destroyed one.
    return AnimWindow::IsLive(window_) && window_->GetHandle() == hwnd_ ? window_ : nullptr;
}

LRESULT AuxControl::ControlCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    AuxControl* c = FromObject(object);
    if (!c) return 1;
    switch (message) {
    case ANIMOBJ_DESTROY:
        c->object_ = nullptr;
        return 1;
    case ANIMOBJ_TICK:
        if (c->needsLayout_) c->Layout();
        return 1;
    case ANIMOBJ_DRAW:
        c->Draw(reinterpret_cast<const ANIMDRAW*>(parameter));
        return 1;
    case AUXMSG_HITTEST: {
        const auto* p = reinterpret_cast<const POINT*>(parameter);
        if (!p || (object->GetFlags() & kObjectBackdrop)) return 0;
        return p->x >= 0 && p->y >= 0 && p->x < object->GetWidth() && p->y < object->GetHeight()
                   ? 1
                   : 0;
    }
    default:
        return 1;
    }
}

SIZE AuxControl::MeasureText() {
    SIZE size{0, 0};
    AnimWindow* window = GetAnimWindow();
    if (text_.empty() || !window) return size;
    HWND hwnd = window->GetHandle();
    HDC dc = ::GetDC(hwnd);
    if (!dc) return size;
    HGDIOBJ old = SelectObject(dc, font_);
    if (!GetTextExtentPoint32(dc, text_.c_str(), static_cast<int>(text_.length()), &size))
        size = {0, 0};
    SelectObject(dc, old);
    ::ReleaseDC(hwnd, dc);
    return size;
}

void AuxControl::AutoPaintStep() {
    if (autoPaint_ && object_) object_->GetWindow()->Paint();
}

BOOL AuxControl::HitTest(POINT point) {
    if (!object_) return FALSE;
    RECT r;
    object_->GetRect(&r);
    POINT relative{point.x - r.left, point.y - r.top};
    return Contains(r, point) &&
           object_->SendMessage(AUXMSG_HITTEST, reinterpret_cast<LPARAM>(&relative)) != 0;
}

void AuxControl::GetRect(RECT* rect) {
    if (!rect) return;
    if (needsLayout_) Layout();
    if (object_)
        object_->GetRect(rect);
    else
        *rect = {0, 0, 0, 0};
}

void AuxControl::SetRect(const RECT* rect) {
    if (!rect) {
        autoSize_ = needsLayout_ = TRUE;
        return;
    }
    autoSize_ = needsLayout_ = FALSE;
    if (object_) object_->SetRect(*rect);
    AutoPaintStep();
}

void AuxControl::ReadPair(void (AnimObject::*read)(LONG*, LONG*) const, LONG* first, LONG* second) {
    if (needsLayout_) Layout();
    LONG a = 0, b = 0;
    if (object_) (object_->*read)(&a, &b);
    if (first) *first = a;
    if (second) *second = b;
}

void AuxControl::GetSize(LONG* width, LONG* height) {
    ReadPair(&AnimObject::GetSize, width, height);
}

void AuxControl::SetSize(LONG width, LONG height) {
    autoSize_ = needsLayout_ = FALSE;
    if (object_) object_->SetSize(std::max<LONG>(width, 0), std::max<LONG>(height, 0));
    AutoPaintStep();
}

void AuxControl::AutoSize() {
    autoSize_ = needsLayout_ = TRUE;
    AutoPaintStep();
}

void AuxControl::GetPosition(LONG* x, LONG* y) {
    ReadPair(&AnimObject::GetPosition, x, y);
}

void AuxControl::MoveTo(LONG x, LONG y) {
    if (object_) object_->MoveTo(x, y);
    AutoPaintStep();
}

DWORD AuxControl::GetTextLength() {
    return static_cast<DWORD>(text_.length() + 1);
}

void AuxControl::GetText(string& text) {
    text = text_;
}

void AuxControl::SetText(LPCTSTR text) {
    text_ = text ? text : TEXT("");
    needsLayout_ = autoSize_;
    AutoPaintStep();
}

Graphic* AuxControl::GetGraphic() {
    return object_ ? object_->GetCurrentGraphic() : nullptr;
}

void AuxControl::SetGraphic(Graphic* graphic) {
    if (object_) object_->SetGraphic(graphic, FALSE);
    needsLayout_ = autoSize_;
    AutoPaintStep();
}

DWORD AuxControl::GetId() {
    return id_;
}

void AuxControl::SetId(DWORD id) {
    id_ = id;
}

BOOL AuxControl::IsEnabled() {
    return enabled_;
}

void AuxControl::Enable(BOOL enable) {
    enabled_ = enable ? TRUE : FALSE;
    Invalidate();
}

void AuxControl::Invalidate() {
    if (needsLayout_) Layout();
    if (object_) object_->Invalidate();
    AutoPaintStep();
}

COLORREF AuxControl::GetColor(DWORD index) {
    if (index < cColors_) return colors_[index];
    switch (index) {
    case AUXCOLOR_BACKGROUND:
        return GetSysColor(COLOR_BTNFACE);
    case AUXCOLOR_HIGHLIGHT:
        return GetSysColor(COLOR_BTNHIGHLIGHT);
    case AUXCOLOR_SHADOW:
        return GetSysColor(COLOR_BTNSHADOW);
    case AUXCOLOR_FACE:
        return GetSysColor(COLOR_BTNFACE);
    case AUXCOLOR_TEXT:
        return GetSysColor(COLOR_WINDOWTEXT);
    default:
        return kNoColor;
    }
}

BOOL AuxControl::SetColor(DWORD index, COLORREF color) {
    if (index > kAuxMaxColorIndex) return FALSE;
    if (index >= cColors_ &&
        !MemGrowArray(&colors_, &cColors_, std::size_t{index} + 1, 4, MM("AUXCOLORS")))
        return FALSE;
    colors_[index] = color;
    return TRUE;
}

void AuxControl::SetFocus() {
    if (g_capture && g_capture != this) g_capture->ReleaseCapture();
    if (g_focus != this) {
        AuxControl* old = g_focus;
        Token oldToken{old, old ? old->serial_ : 0};
        AnimObject* oldObject = old ? old->object_ : nullptr;
        g_focus = this;
        if (old) old->OnKillFocus();
        if (oldObject && IsAlive(oldToken) && old->object_ == oldObject) oldObject->Invalidate();
        if (object_) object_->Invalidate();
        OnSetFocus();
    }
    AutoPaintStep();
}

BOOL AuxControl::HasCapture() {
    return g_capture == this ? TRUE : FALSE;
}

void AuxControl::Capture() {
    if (g_capture == this) return; // already held: the window to give it back to stays
    if (g_capture) g_capture->ReleaseCapture();
    AnimWindow* window = GetAnimWindow();
    if (!object_ || !window) return;
    g_previousCapture = ::SetCapture(window->GetHandle());
    g_capture = this;
}

void AuxControl::ReleaseCapture() {
    if (g_capture != this) return;
    g_capture = nullptr;
    HWND previous = g_previousCapture;
    g_previousCapture = nullptr;
    ::ReleaseCapture();
    if (previous && IsWindow(previous)) ::SetCapture(previous);
}

BOOL AuxControl::DrawFocusRect(HDC dc, const RECT* rect) {
    return ::DrawFocusRect(dc, rect);
}

BOOL AuxControl::DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags) {
    return ::DrawEdge(dc, rect, edge, flags);
}

void AuxControl::OnSetFocus() {}

void AuxControl::OnKillFocus() {}

void AuxControl::SetFont(HFONT font) {
    HFONT stock = StockFont();
    if (!font) font = stock;
    if (font_ != font && font_ != stock) DeleteObject(font_);
    font_ = font;
    // A new font changes the size of a control that fits its text.
    needsLayout_ = autoSize_;
    Invalidate();
}

LRESULT AuxControl::FocusHook(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message == WM_LBUTTONDOWN) {
        AnimWindow* window = AnimWindow::FromHandle(hwnd);
        if (!window) return 0;
        POINT p = PenPoint(hwnd);
        AuxControl* hit = nullptr;
        for (AnimObject* o = window->NextObject(nullptr); o && !hit;) {
            AnimObject* next = window->NextObject(o);
            RECT r;
            o->GetRect(&r);
            if (Contains(r, p)) {
                AuxControl* c = FromObject(o);
                if (c && o->SendMessage(AUXMSG_ACCEPTSPEN, 0) != 0 && FromObject(o) == c &&
                    c->HitTest(p))
                    hit = c;
            }
            o = next;
        }
        if (!hit) {
            ClearFocus();
            return 0;
        }
        Token token = hit->MakeToken();
        hit->SetFocus();
        if (IsAlive(token)) hit->Capture();
    } else if (message == WM_LBUTTONUP) {
        AuxControl* c = g_focus;
        if (c && c->HasCapture() && c->object_ &&
            c->object_->SendMessage(AUXMSG_ACCEPTSPEN, 0) != 0 && FromObject(c->object_) == c) {
            c->ReleaseCapture();
            if (c->object_) c->object_->Invalidate();
        }
    }
    return 0;
}

// ---- AnimButton -------------------------------------------------------------------------------

AnimButton::AnimButton(AnimWindow* window, DWORD id, DWORD style, LONG layer)
    : AuxControl(window, id, layer, ButtonCallback, AUXKIND_BUTTON), commandTarget_(nullptr),
      notifyTarget_(nullptr), pressed_(FALSE), checked_(FALSE), style_(style), up_(nullptr),
      down_(nullptr), afterDraw_(nullptr), custom_(nullptr), hot_(FALSE) {
    if (AnimWindow* w = GetAnimWindow()) {
        w->AddHook(ReleaseHook, HookValue(kHookAll, 99));
        w->AddHook(PressHook, HookValue(kHookAll, 101));
    }
}

AnimButton::~AnimButton() {
    if (AnimWindow* w = GetAnimWindow()) {
        w->RemoveHook(ReleaseHook);
        w->RemoveHook(PressHook);
    }
}

LRESULT AnimButton::ButtonCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    auto* b = dynamic_cast<AnimButton*>(FromObject(object));
    if (!b) return 1;
    if (b->custom_) {
        Token token = b->MakeToken();
        LRESULT answer = b->custom_(object, message, parameter);
        // The destruction message always reaches the control, or it would keep a freed object.
        if (message != ANIMOBJ_DESTROY && (answer == 0 || !IsAlive(token))) return answer;
        if (!IsAlive(token)) return 1;
    }
    if (message == AUXMSG_HITTEST && !b->enabled_) return 0;
    LRESULT answer = ControlCallback(object, message, parameter);
    if (message == ANIMOBJ_TICK) b->TrackHot();
    return answer;
}

AnimButton* AnimButton::CapturingButton(HWND hwnd) {
    auto* b = dynamic_cast<AnimButton*>(GetFocusControl(AUXKIND_BUTTON));
    if (!b || !b->HasCapture()) return nullptr;
    // Pen points are in the hook window's coordinates.
    AnimWindow* window = b->GetAnimWindow();
    return window && window->GetHandle() == hwnd ? b : nullptr;
}

LRESULT AnimButton::PressHook(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_MOUSEMOVE && message != WM_LBUTTONDOWN) return 0;
    AnimButton* b = CapturingButton(hwnd);
    if (!b) return 0;
    Token token = b->MakeToken();
    BOOL inside = b->HitTest(PenPoint(hwnd));
    if (!IsAlive(token) || inside == b->pressed_) return 0;
    b->pressed_ = inside && b->enabled_;
    b->Notify(b->notifyTarget_, b->pressed_ ? kButtonPressed : kButtonReleased);
    if (IsAlive(token)) b->Invalidate();
    return 0;
}

LRESULT AnimButton::ReleaseHook(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_LBUTTONUP) return 0;
    AnimButton* b = CapturingButton(hwnd);
    if (!b) return 0;
    Token token = b->MakeToken();
    if (b->pressed_) {
        b->Notify(b->notifyTarget_, kButtonReleased);
        if (!IsAlive(token)) return 0;
    }
    b->pressed_ = FALSE;
    b->Invalidate();
    const bool click =
        IsAlive(token) && b->HitTest(PenPoint(hwnd)) && IsAlive(token) && b->enabled_;
    // The command may open a modal dialog: the pen is let go first, or the dialog's first
    // click would still come here.
    if (IsAlive(token) && b->HasCapture()) b->ReleaseCapture();
    if (click && IsAlive(token)) b->Click();
    return 0;
}

void AnimButton::Notify(WNDPROC target, WORD code) {
    if (!target) return;
    AnimWindow* window = GetAnimWindow();
    CallWindowProc(target, window ? window->GetHandle() : nullptr, WM_COMMAND,
                   MAKEWPARAM(LOWORD(id_), code), reinterpret_cast<LPARAM>(this));
}

void AnimButton::Click() {
    const DWORD behaviour = style_ & kButtonClickMask;
    if (behaviour == kButtonClickToggle) {
        SetChecked(!checked_);
    } else if (behaviour == kButtonClickRadio && !checked_) {
        if (AnimWindow* window = GetAnimWindow())
            for (AnimObject* o = window->NextObject(nullptr); o; o = window->NextObject(o)) {
                auto* other = dynamic_cast<AnimButton*>(FromObject(o));
                if (!other || (other->style_ & kButtonClickMask) != kButtonClickRadio ||
                    (other->style_ >> 16) != (style_ >> 16) || !other->checked_)
                    continue;
                // Redrawn with this button's paint below, not one paint each.
                other->checked_ = FALSE;
                o->Invalidate();
            }
        SetChecked(TRUE);
    }
    Notify(commandTarget_, kButtonClicked);
}

void AnimButton::SetCommandTarget(WNDPROC target) {
    commandTarget_ = target;
    Invalidate();
}

void AnimButton::SetNotifyTarget(WNDPROC target) {
    notifyTarget_ = target;
    Invalidate();
}

void AnimButton::SetPressed(BOOL pressed) {
    pressed_ = pressed ? TRUE : FALSE;
    Invalidate();
}

void AnimButton::SetChecked(BOOL checked) {
    checked_ = checked ? TRUE : FALSE;
    Invalidate();
}

void AnimButton::GetImages(Graphic** up, Graphic** down) const {
    if (up) *up = up_;
    if (down) *down = down_;
}

void AnimButton::SetImages(Graphic* up, Graphic* down) {
    up_ = up;
    down_ = down;
    needsLayout_ = autoSize_;
    // A button of fixed size shows the new pictures as well.
    if (object_) object_->Invalidate();
    AutoPaintStep();
}

void AnimButton::OnKillFocus() {
    SetPressed(FALSE);
}

void AnimButton::Layout() {
    needsLayout_ = FALSE;
    if (!object_) return;
    LONG width, height;
    if (up_ || down_) {
        Graphic* a = up_ ? up_ : down_;
        Graphic* b = down_ ? down_ : up_;
        width = std::max(a->GetWidth(), b->GetWidth());
        height = std::max(a->GetHeight(), b->GetHeight());
    } else {
        const DWORD kind = style_ & kButtonKindMask;
        const SIZE text = MeasureText();
        LONG markWidth = 0, markHeight = 0;
        if (kind == kButtonPush) {
            if (Graphic* icon = GetGraphic()) {
                markWidth = icon->GetWidth();
                markHeight = icon->GetHeight();
            }
        } else if (kind == kButtonCheck || kind == kButtonRadio) {
            markWidth = markHeight = kMarkSize;
        }
        const bool push = kind == kButtonPush;
        width = 2 + (push ? 5 : 0) + text.cx + markWidth + (text.cx && markWidth ? 8 : 0);
        height = (push ? 7 : 0) + std::max<LONG>(text.cy, markHeight);
    }
    object_->SetSize(width, height);
}

bool AnimButton::IsHot() {
    if (!enabled_) return false;
    if (pressed_ || checked_) return true;
    if (!GetCursor()) return false;
    if (HasCapture()) return true;
    AnimWindow* window = GetAnimWindow();
    if (!window || !object_) return false;
    RECT r;
    object_->GetRect(&r);
    return Contains(r, PenPoint(window->GetHandle()));
}

// A flat face comes and goes with the pointer, and the focus with it. Done at the tick, where
// invalidating is safe, rather than while the window is drawing.
void AnimButton::TrackHot() {
    if (custom_ || up_ || down_ || (style_ & kButtonKindMask) != kButtonPush ||
        !(style_ & kButtonFlat) || !object_)
        return;
    const BOOL hot = IsHot() ? TRUE : FALSE;
    if (hot == hot_) return;
    hot_ = hot;
    object_->Invalidate();
    if (!hot && g_focus == this)
        ClearFocus();
    else if (hot && g_focus != this && (!g_capture || g_capture == this))
        SetFocus(); // never while another control holds the pen: it would lose its release
}

void AnimButton::DrawLabel(HDC dc, const RECT& r, LONG p, LONG shift) {
    const COLORREF color = GetColor(AUXCOLOR_TEXT);
    if (text_.empty() || color == kNoColor) return;
    RECT t{r.left + 3 + p + shift, r.top + 3 + p, r.right - 1 + p, r.bottom - 1 + p};
    UINT format = DT_SINGLELINE | DT_VCENTER;
    if (style_ & kButtonCentred) {
        format |= DT_CENTER;
        t.left = r.left + 1 + p + shift;
    }
    PrepareText(dc, font_, color);
    DrawText(dc, text_.c_str(), static_cast<int>(text_.length()), &t, format);
}

void AnimButton::DrawFace(HDC dc, const RECT& r, LONG p) {
    const bool face = !(style_ & kButtonFlat) || IsHot();
    if (face) {
        const COLORREF color = GetColor(AUXCOLOR_FACE);
        if (color != kNoColor) FillSolid(dc, r, color);
        RECT edge = r;
        DrawEdge(dc, &edge, p ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
    Graphic* icon = GetGraphic();
    DrawLabel(dc, r, p, icon ? icon->GetWidth() + 8 : 0);
    if (face && g_focus == this) {
        RECT focus{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        DrawFocusRect(dc, &focus);
    }
}

void AnimButton::DrawMarked(HDC dc, const RECT& r) {
    const COLORREF background = GetColor(AUXCOLOR_BACKGROUND);
    if (background != kNoColor) FillSolid(dc, r, background);
    const LONG boxTop = r.top + (r.bottom - r.top - kMarkSize) / 2;
    const COLORREF inside =
        pressed_ || !enabled_ ? GetSysColor(COLOR_BTNFACE) : GetSysColor(COLOR_WINDOW);
    const COLORREF mark = enabled_ ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
    if ((style_ & kButtonKindMask) == kButtonRadio) {
        DrawPattern(dc, r.left, boxTop, kRadioRing, 12, inside, mark);
        if (checked_) DrawPattern(dc, r.left + 4, boxTop + 4, kRadioDot, 4, inside, mark);
    } else {
        RECT box{r.left, boxTop, r.left + kMarkSize, boxTop + kMarkSize};
        DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
        FillSolid(dc, RECT{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2}, inside);
        if (checked_) DrawPattern(dc, box.left + 3, box.top + 3, kCheckMark, 7, inside, mark);
    }

    const LONG textLeft = r.left + kMarkSize + 8;
    const COLORREF color = GetColor(AUXCOLOR_TEXT);
    if (!text_.empty() && color != kNoColor) {
        PrepareText(dc, font_, color);
        SIZE size{0, 0};
        GetTextExtentPoint32(dc, text_.c_str(), static_cast<int>(text_.length()), &size);
        // The text stands in the middle of its band, so a box taller than the text keeps it
        // whole.
        const LONG bandTop = r.top + (r.bottom - r.top - size.cy) / 2;
        RECT clip{textLeft, bandTop, textLeft + size.cx, bandTop + size.cy};
        ExtTextOut(dc, textLeft, bandTop, ETO_CLIPPED, &clip, text_.c_str(),
                   static_cast<UINT>(text_.length()), nullptr);
    }
    if (g_focus == this) {
        RECT focus{textLeft - 2, r.top, r.right, r.bottom};
        DrawFocusRect(dc, &focus);
    }
}

void AnimButton::Draw(const ANIMDRAW* record) {
    if (custom_ || !record || !record->destination) return;
    Graphic* destination = record->destination;
    const RECT& r = record->object;
    const LONG p = pressed_ || checked_ ? 1 : 0;
    const bool images = up_ || down_;
    if (images) {
        if (Graphic* picture = p ? down_ : up_)
            picture->DrawTo(destination, r.left, r.top, 0, 0, r.right - r.left, r.bottom - r.top);
    }
    HDC dc = destination->GetDC();
    if (dc) {
        const int saved = SaveDC(dc);
        const DWORD kind = style_ & kButtonKindMask;
        if (images) {
            DrawLabel(dc, r, p, 0);
        } else if (kind == kButtonCheck || kind == kButtonRadio) {
            DrawMarked(dc, r);
        } else if (kind == kButtonPush) {
            DrawFace(dc, r, p);
        } else {
            DrawLabel(dc, r, p, 0);
        }
        RestoreDC(dc, saved);
        destination->ReleaseDC();
    }
    if (!images && (style_ & kButtonKindMask) == kButtonPush)
        if (Graphic* icon = GetGraphic())
            icon->DrawTo(destination, r.left + 3 + p, r.top + 3 + p, 0, 0, r.right - r.left - 7,
                         r.bottom - r.top - 7);
    if (afterDraw_ && object_) afterDraw_(object_, ANIMOBJ_DRAW, reinterpret_cast<LPARAM>(record));
}

// ---- AnimText ---------------------------------------------------------------------------------

AnimText::AnimText(AnimWindow* window, LONG layer)
    : AuxControl(window, 0xFFFFFFFF, layer, TextCallback, AUXKIND_TEXT), format_(0) {}

LRESULT AnimText::TextCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    if (message == AUXMSG_HITTEST) return 0;
    return ControlCallback(object, message, parameter);
}

void AnimText::SetFormat(DWORD format) {
    format_ = format;
    Invalidate();
}

void AnimText::GetTextExtent(RECT* rect) {
    if (!rect) return;
    SIZE size = MeasureText();
    *rect = {0, 0, size.cx, size.cy};
}

void AnimText::Layout() {
    needsLayout_ = FALSE;
    if (!object_ || text_.empty()) return;
    SIZE size = MeasureText();
    object_->SetSize(size.cx, size.cy);
}

void AnimText::Draw(const ANIMDRAW* record) {
    if (!record || !record->destination) return;
    Graphic* destination = record->destination;
    HDC dc = destination->GetDC();
    if (!dc) return;
    const int saved = SaveDC(dc);
    const RECT& r = record->object;
    const COLORREF background = GetColor(AUXCOLOR_BACKGROUND);
    if (background != kNoColor) FillSolid(dc, r, background);
    const COLORREF color = GetColor(AUXCOLOR_TEXT);
    if (!text_.empty() && color != kNoColor) {
        PrepareText(dc, font_, color);
        const int length = static_cast<int>(text_.length());
        SIZE size{0, 0};
        GetTextExtentPoint32(dc, text_.c_str(), length, &size);
        RECT d{r.left, r.top, std::min(r.right, r.left + size.cx), r.bottom};
        const LONG slack = (r.right - r.left) - (d.right - d.left);
        const LONG shift = (format_ & kTextRight)     ? slack
                           : (format_ & kTextCentred) ? slack / 2
                                                      : 0;
        d.left += shift;
        d.right += shift;
        const UINT flags = (format_ & kTextWrap) ? DT_WORDBREAK | DT_NOPREFIX
                                                 : DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
        DrawText(dc, text_.c_str(), length, &d, flags);
    }
    RestoreDC(dc, saved);
    destination->ReleaseDC();
}
