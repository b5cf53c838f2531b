#include "skin/skinwindow.h"

#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "skin/skinregion.h"

#include <algorithm>

namespace {

constexpr DWORD kLiveMagic = 0x536B6E57; // 'SknW'
constexpr DWORD kFreedMagic = ~kLiveMagic;
constexpr DWORD kWindowSlot = 7; // the AnimWindow's data slot of its SkinWindow
constexpr DWORD kHookPriority = 50;

// The page being made: its procedure is not called before its controls exist.
thread_local bool g_makingPage = false;

// An empty page for windows made without a template.
struct EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu, cls, title;
};
const EmptyTemplate kEmptyTemplate = {{WS_POPUP, 0, 0, 0, 0, 0, 0}, 0, 0, 0};

istring ClassOf(HWND hwnd) {
    TCHAR name[64] = {};
    GetClassName(hwnd, name, 64);
    return istring(name);
}

string TextOf(HWND hwnd) {
    int n = GetWindowTextLength(hwnd);
    if (n <= 0) return string();
    // The length counts characters; a character takes up to four bytes here.
    std::size_t size = static_cast<std::size_t>(n) * 4 + 1;
    auto* buffer = static_cast<TCHAR*>(MemAlloc(size * sizeof(TCHAR), MM("TCHAR")));
    if (!buffer) return string();
    GetWindowText(hwnd, buffer, static_cast<int>(size));
    string text(buffer);
    MemFree(buffer, MM("TCHAR"));
    return text;
}

bool StartsWithNoCase(const string& text, const TCHAR* prefix, string* rest) {
    std::size_t n = 0;
    while (prefix[n])
        ++n;
    if (text.length() < n) return false;
    if (istring(text.substr(0, n)) != istring(prefix)) return false;
    if (rest) *rest = text.substr(n);
    return true;
}

// The skinned kind of a dialog control of class `cls`; -1 for controls that are not shown.
int KindOf(const istring& cls, DWORD style, const string& text, istring* classOut) {
    if (cls == TEXT("button")) {
        DWORD type = style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) return kSkinCheckBox;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return kSkinRadioButton;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return kSkinPushButton;
        return -1;
    }
    if (cls == TEXT("static")) {
        string rest;
        if (StartsWithNoCase(text, TEXT("CLASS:"), &rest)) {
            istring other(rest);
            if (classOut) *classOut = other;
            if (other != TEXT("static")) return KindOf(other, style, string(), classOut);
        }
        if (StartsWithNoCase(text, TEXT("USER:"), nullptr) || istring(text) == TEXT("USER"))
            return kSkinUserDrawn;
        return kSkinText;
    }
    if (cls == TEXT("msctls_progress32") || cls == TEXT("msctls_progress") ||
        cls == TEXT("progress"))
        return kSkinProgress;
    if (cls == TEXT("scrollbar")) return (style & 1) ? kSkinVScroll : kSkinHScroll;
    if (cls == TEXT("user")) return kSkinUserDrawn;
    if (cls == TEXT("edit")) return kSkinEdit;
    if (cls == TEXT("listbox")) return kSkinList;
    return -1;
}

RECT WindowRectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

LONG SettingNumber(SkinWindow* w, const TCHAR* key) {
    return static_cast<LONG>(
        w->GetSkin()->Lookup(key, w->GetAppSettings(), w->GetPrefix().c_str()).to_long());
}

} // namespace

BOOL SkinWindowInit(HINSTANCE instance, HICON icon) {
    if (!EngineInit(instance, 0)) return FALSE;
    WNDCLASS existing{};
    if (GetClassInfo(instance, kSkinWindowClass, &existing)) return TRUE;
    WNDCLASS wc{};
    if (!GetClassInfo(instance, TEXT("AnimWindowNoCursor"), &wc) &&
        !GetClassInfo(nullptr, TEXT("AnimWindowNoCursor"), &wc))
        return FALSE;
    wc.hInstance = instance;
    wc.hCursor = nullptr;
    if (icon) wc.hIcon = icon;
    wc.lpszClassName = kSkinWindowClass;
    return RegisterClass(&wc) != 0 ? TRUE : FALSE;
}

// --- Life
// -----------------------------------------------------------------------------------------

SkinWindow::SkinWindow(Skin* skin, const TCHAR* name, const cetl::PROPERTIES* app)
    : magic_(kLiveMagic), skin_(skin), prefix_(name ? name : TEXT("")), app_(app) {
    settings_ = skin_->ReadWindowSettings(app_, prefix_.c_str());
}

SkinWindow::~SkinWindow() {
    magic_ = kFreedMagic;
}

SkinWindow* SkinWindow::Make(Skin* skin, const TCHAR* name, HWND parent,
                             const cetl::PROPERTIES* app) {
    if (!skin) return nullptr;
    auto* w = new (MM("SKINWINDOW")) SkinWindow(skin, name, app);
    if (!w->Attach(parent)) {
        MemDelete(w, MM("SKINWINDOW"));
        return nullptr;
    }
    return w;
}

bool SkinWindow::Attach(HWND parent) {
    hwnd_ = CreateWindowEx(0, kSkinWindowClass, prefix_.c_str(), WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                           100, 100, parent, nullptr, GetModuleHandle(nullptr), nullptr);
    anim_ = hwnd_ ? AnimWindow::FromHandle(hwnd_) : nullptr;
    if (!anim_) {
        if (hwnd_) DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        return false;
    }
    anim_->SetData(kWindowSlot, this);
    anim_->AddHook(Hook, HookValue(kHookAll, kHookPriority));
    anim_->SetFrameRate(settings_.framesPerSecond);
    return true;
}

SkinWindow* SkinWindow::Finish(SkinWindow* w, HWND page) {
    if (!page) {
        Destroy(w);
        return nullptr;
    }
    return w;
}

SkinWindow* SkinWindow::Create(Skin* skin, const TCHAR* name, HWND parent, HINSTANCE instance,
                               const TCHAR* templateName, DLGPROC proc, LPARAM param,
                               const cetl::PROPERTIES* app) {
    if (!templateName) return CreateIndirect(skin, name, parent, nullptr, proc, param, app);
    SkinWindow* w = Make(skin, name, parent, app);
    if (!w) return nullptr;
    HWND page;
    try {
        page = w->AddPage(instance, templateName, proc, param);
    } catch (...) {
        Destroy(w);
        throw;
    }
    return Finish(w, page);
}

SkinWindow* SkinWindow::CreateIndirect(Skin* skin, const TCHAR* name, HWND parent,
                                       const DLGTEMPLATE* tpl, DLGPROC proc, LPARAM param,
                                       const cetl::PROPERTIES* app) {
    SkinWindow* w = Make(skin, name, parent, app);
    if (!w) return nullptr;
    HWND page;
    try {
        page = w->AddPageIndirect(tpl ? tpl : reinterpret_cast<const DLGTEMPLATE*>(&kEmptyTemplate),
                                  proc, param, 0);
    } catch (...) {
        Destroy(w);
        throw;
    }
    return Finish(w, page);
}

SkinWindow* SkinWindow::CreateLocalized(Skin* skin, const TCHAR* name, HWND parent, UINT baseId,
                                        DLGPROC proc, LPARAM param, const cetl::PROPERTIES* app) {
    SkinWindow* w = Make(skin, name, parent, app);
    if (!w) return nullptr;
    HWND page;
    try {
        page = w->AddLocalizedPage(baseId, proc, param);
    } catch (...) {
        Destroy(w);
        throw;
    }
    return Finish(w, page);
}

void SkinWindow::Destroy(SkinWindow* window) {
    if (!window || window->magic_ != kLiveMagic) return;
    if (window->hwnd_ && IsWindow(window->hwnd_)) DestroyWindow(window->hwnd_);
    window->Detach();
    MemDelete(window, MM("SKINWINDOW"));
}

SkinWindow* SkinWindow::FromHandle(HWND hwnd) {
    for (int depth = 0; hwnd && depth < 2; ++depth, hwnd = GetParent(hwnd)) {
        AnimWindow* anim = AnimWindow::FromHandle(hwnd);
        if (!anim) continue;
        auto* w = static_cast<SkinWindow*>(anim->GetData(kWindowSlot));
        if (w && w->magic_ == kLiveMagic && w->hwnd_ == hwnd) return w;
    }
    return nullptr;
}

// Takes everything off the window: the controls, the frame and the hook; the pages' procedures
// see WM_DESTROY as their dialogs go.
void SkinWindow::Detach() {
    if (destroyed_) return;
    destroyed_ = true;
    if (disabledOwner_) {
        EnableWindow(disabledOwner_, TRUE);
        disabledOwner_ = nullptr;
    }
    if (GetCapture() == hwnd_ && hwnd_) ReleaseCapture();
    pressed_ = hover_ = hit_ = focus_ = nullptr;
    while (!controls_.empty()) {
        SkinControl* c = controls_.last();
        controls_.remove(controls_.size() - 1);
        SkinControl::Destroy(c);
    }
    SetFrameCount(0);
    for (std::size_t i = pages_.size(); i-- > 0;) {
        Page* p = pages_[i];
        if (p->dialog && IsWindow(p->dialog)) DestroyWindow(p->dialog);
        MemDelete(p, MM("SKINPAGE"));
    }
    pages_.clear();
    ownPage_ = nullptr;
    if (anim_ && AnimWindow::IsLive(anim_)) {
        anim_->RemoveHook(Hook);
        anim_->SetData(kWindowSlot, nullptr);
    }
    anim_ = nullptr;
    ended_ = true;
}

// --- Pages
// ----------------------------------------------------------------------------------------

INT_PTR CALLBACK SkinWindow::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_makingPage) return message == WM_INITDIALOG ? TRUE : FALSE;
    SkinWindow* w = FromHandle(GetParent(hwnd));
    if (!w) w = FromHandle(GetWindow(hwnd, GW_OWNER));
    Page* page = w ? w->FindPage(hwnd) : nullptr;
    if (!page || !page->ready) return FALSE;
    INT_PTR result = page->proc ? page->proc(hwnd, message, wParam, lParam) : FALSE;
    // A page destroyed by the application takes its controls with it.
    if (message == WM_DESTROY && !w->destroyed_) w->ForgetPage(hwnd);
    return result;
}

void SkinWindow::ForgetPage(HWND dialog) {
    Page* page = FindPage(dialog);
    if (!page) return;
    anim_->Freeze();
    DestroyControls(dialog);
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i] == page) {
            pages_.remove(i);
            break;
        }
    MemDelete(page, MM("SKINPAGE"));
    if (dialog == ownPage_) ownPage_ = nullptr;
    anim_->Unfreeze();
}

SkinWindow::Page* SkinWindow::FindPage(HWND dialog) const {
    for (Page* p : pages_)
        if (p->dialog == dialog) return p;
    return nullptr;
}

HWND SkinWindow::TakePage(HWND dialog, DLGPROC proc, LPARAM param, DWORD id) {
    if (!dialog) return nullptr;
    ShowWindow(dialog, SW_HIDE);
    auto* page = new (MM("SKINPAGE")) Page;
    page->dialog = dialog;
    page->proc = proc;
    page->param = param;
    page->id = id;
    try {
        pages_.add(page);
    } catch (...) {
        MemDelete(page, MM("SKINPAGE"));
        DestroyWindow(dialog);
        throw;
    }
    bool own = pages_.size() == 1;
    if (own) ownPage_ = dialog;
    Convert(page, own);
    return dialog;
}

namespace {

// Dialogs made for pages: their procedure hears nothing before their controls exist.
struct MakingPage {
    MakingPage() { g_makingPage = true; }
    ~MakingPage() { g_makingPage = false; }
    MakingPage(const MakingPage&) = delete;
    MakingPage& operator=(const MakingPage&) = delete;
};

DWORD NumberOf(const TCHAR* name) {
    return name && IS_INTRESOURCE(name) ? static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(name)) : 0;
}

} // namespace

HWND SkinWindow::AddPage(HINSTANCE instance, const TCHAR* templateName, DLGPROC proc,
                         LPARAM param) {
    HWND dialog;
    {
        MakingPage making;
        dialog = CreateDialogParam(instance, templateName, hwnd_, PageProc, 0);
    }
    return TakePage(dialog, proc, param, NumberOf(templateName));
}

HWND SkinWindow::AddPageIndirect(const DLGTEMPLATE* tpl, DLGPROC proc, LPARAM param, DWORD id) {
    if (!tpl) return nullptr;
    HWND dialog;
    {
        MakingPage making;
        dialog = CreateDialogIndirectParam(nullptr, tpl, hwnd_, PageProc, 0);
    }
    return TakePage(dialog, proc, param, id);
}

HWND SkinWindow::AddLocalizedPage(UINT baseId, DLGPROC proc, LPARAM param) {
    HWND dialog;
    {
        MakingPage making;
        dialog = CreateLocalizedDialog(baseId, hwnd_, PageProc, 0);
    }
    return TakePage(dialog, proc, param, baseId);
}

void SkinWindow::ShowDialog(HWND dialog, DWORD id) {
    if (!dialog || FindPage(dialog)) return;
    ShowWindow(dialog, SW_HIDE);
    auto* page = new (MM("SKINPAGE")) Page;
    page->dialog = dialog;
    page->id = id;
    pages_.add(page);
    bool own = pages_.size() == 1;
    if (own) ownPage_ = dialog;
    Convert(page, own);
}

void SkinWindow::DestroyControls(HWND page) {
    for (std::size_t i = controls_.size(); i-- > 0;) {
        SkinControl* c = controls_[i];
        if (c->GetPage() != page) continue;
        if (pressed_ == c) pressed_ = nullptr;
        if (hover_ == c) hover_ = nullptr;
        if (hit_ == c) hit_ = nullptr;
        if (focus_ == c) focus_ = nullptr;
        controls_.remove(i);
        SkinControl::Destroy(c);
    }
}

void SkinWindow::RemovePage(HWND dialog) {
    if (!FindPage(dialog) || dialog == ownPage_) return;
    anim_->Freeze();
    DestroyControls(dialog);
    // Its procedure hears WM_DESTROY; the page record goes with it.
    if (IsWindow(dialog)) DestroyWindow(dialog);
    ForgetPage(dialog);
    anim_->Unfreeze();
}

DWORD SkinWindow::FreeId() const {
    DWORD id = kSkinFreeIdBase + static_cast<DWORD>(controls_.size());
    while (FindControl(id))
        ++id;
    return id;
}

// Replaces every child control of the page by a skinned control, then lets its procedure set
// them up.
void SkinWindow::Convert(Page* page, bool own) {
    anim_->Freeze();
    HWND dialog = page->dialog;
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    if (own) {
        DWORD style = static_cast<DWORD>(GetWindowLong(dialog, GWL_STYLE));
        resizable_ = (style & WS_THICKFRAME) != 0;
        hasClose_ = (style & WS_SYSMENU) != 0;
        hasMinimise_ = (style & WS_MINIMIZEBOX) != 0;
        POINT at{0, 0};
        ClientToScreen(dialog, &at);
        converting_ = true;
        SetWindowPos(hwnd_, nullptr, at.x - settings_.left, at.y - settings_.top,
                     client.right + settings_.left + settings_.right,
                     client.bottom + settings_.top + settings_.bottom,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        converting_ = false;
        SetWindowText(hwnd_, TextOf(dialog).c_str());
    } else {
        MapWindowPoints(dialog, hwnd_, &origin, 1);
    }
    origin.x += settings_.left;
    origin.y += settings_.top;

    try {
        if (own) BuildFrame();
        if (own && hasClose_) {
            SkinControl* close = AddControl(kSkinPushButton, kSkinCloseId, 0, TEXT(""), RECT{});
            close->SetPlacement(kPlaceFar | kPlaceWhole, 0, kSkinKeep, kPlaceWhole, 0, kSkinKeep);
        }
        if (own && hasMinimise_) {
            SkinControl* minimise =
                AddControl(kSkinPushButton, kSkinMinimiseId, 0, TEXT(""), RECT{});
            LONG width = minimise->NaturalSize().cx;
            minimise->SetPlacement(kPlaceFar | kPlaceWhole, 2 * width, kSkinKeep, kPlaceWhole, 0,
                                   kSkinKeep);
        }
        cetl::vector<SkinControl*> made;
        DWORD group = 0;
        bool lastRadio = false;
        bool focused = focus_ != nullptr;
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            DWORD style = static_cast<DWORD>(GetWindowLong(child, GWL_STYLE));
            string text = TextOf(child);
            istring named;
            int kind = KindOf(ClassOf(child), style, text, &named);
            if (kind < 0) continue;
            if (StartsWithNoCase(text, TEXT("CLASS:"), nullptr) ||
                StartsWithNoCase(text, TEXT("USER:"), nullptr) || istring(text) == TEXT("USER"))
                text = string();
            DWORD id = static_cast<DWORD>(GetDlgCtrlID(child)) & 0xFFFF;
            if (id == 0xFFFF) {
                id = FreeId();
            } else if (SkinControl* other = FindControl(id)) {
                // The same identifier twice on one page, or on two pages of this window.
                if (other->GetPage() == dialog)
                    Trace(false, TEXT("Dialog %ld contains more than one control with ID %ld"),
                          static_cast<long>(page->id), static_cast<long>(id));
                else {
                    Page* theirs = FindPage(other->GetPage());
                    Trace(false, TEXT("Dialogs %ld and %ld both contain a control with ID %ld"),
                          static_cast<long>(theirs ? theirs->id : 0), static_cast<long>(page->id),
                          static_cast<long>(id));
                }
                id = FreeId();
            }
            RECT r = WindowRectOf(child);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            r.left += origin.x, r.right += origin.x, r.top += origin.y, r.bottom += origin.y;
            bool radio = kind == kSkinRadioButton;
            if (radio && (!lastRadio || (style & WS_GROUP))) ++group;
            lastRadio = radio;
            SkinControl* c =
                SkinControl::Create(this, static_cast<DWORD>(kind), id, style, text.c_str(), r);
            controls_.add(c);
            c->SetOrigin(dialog, child, radio ? group : 0);
            if (kind == kSkinRadioButton || kind == kSkinCheckBox)
                c->SetCheck(static_cast<int>(SendMessage(child, BM_GETCHECK, 0, 0) & 1));
            c->SetEnabled(IsWindowEnabled(child) != FALSE);
            if (!focused && (style & WS_TABSTOP)) {
                focus_ = c;
                focused = true;
            }
            made.add(c);
        }
        for (SkinControl* c : made)
            c->LoadImages();
    } catch (...) {
        anim_->Unfreeze();
        throw;
    }
    page->ready = true;
    if (page->proc)
        page->proc(dialog, WM_INITDIALOG, 0, page->param);
    else
        SendMessage(dialog, WM_INITDIALOG, 0, 0);
    if (FindPage(dialog) == page) Layout();
    anim_->Unfreeze();
}

// --- Controls
// -------------------------------------------------------------------------------------

SkinControl* SkinWindow::AddControl(DWORD kind, DWORD id, DWORD style, const TCHAR* text,
                                    const RECT& rect) {
    SkinControl* c = SkinControl::Create(this, kind, id, style, text, rect);
    try {
        controls_.add(c);
    } catch (...) {
        SkinControl::Destroy(c);
        throw;
    }
    c->SetOrigin(nullptr, nullptr, 0);
    try {
        c->LoadImages();
    } catch (...) {
        RemoveControl(c);
        throw;
    }
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        SIZE natural = c->NaturalSize();
        c->SetRect(RECT{rect.left, rect.top, rect.left + natural.cx, rect.top + natural.cy});
    }
    return c;
}

void SkinWindow::RemoveControl(SkinControl* control) {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i] == control) {
            if (pressed_ == control) pressed_ = nullptr;
            if (hover_ == control) hover_ = nullptr;
            if (hit_ == control) hit_ = nullptr;
            if (focus_ == control) focus_ = nullptr;
            controls_.remove(i);
            SkinControl::Destroy(control);
            return;
        }
}

SkinControl* SkinWindow::FindControl(DWORD id) const {
    for (SkinControl* c : controls_)
        if (c->GetId() == id) return c;
    return nullptr;
}

void SkinWindow::SetFocusControl(SkinControl* control) {
    if (control == focus_) return;
    SkinControl* old = focus_;
    focus_ = control;
    if (old) old->Redraw();
    if (control) control->Redraw();
}

RECT SkinWindow::GetClientArea() const {
    RECT r{0, 0, 0, 0};
    if (anim_) anim_->GetClientRect(&r);
    return r;
}

RECT SkinWindow::GetInnerArea() const {
    RECT r = GetClientArea();
    r.left += settings_.left, r.top += settings_.top;
    r.right -= settings_.right, r.bottom -= settings_.bottom;
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void SkinWindow::SetPrefix(const TCHAR* prefix) {
    if (prefix && string(prefix) != TEXT("(keepcurrent)")) prefix_ = prefix;
    settings_ = skin_->ReadWindowSettings(app_, prefix_.c_str());
    if (anim_) anim_->SetFrameRate(settings_.framesPerSecond);
}

void SkinWindow::PlaceControls() {
    for (SkinControl* c : controls_)
        c->ApplyPlacement();
}

void SkinWindow::Layout() {
    if (!anim_) return;
    anim_->Freeze();
    BuildFrame();
    PlaceControls();
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        Page* p = pages_[i];
        if (p->ready) SendToPage(p->dialog, kSkinLayout, 0, reinterpret_cast<LPARAM>(this));
        if (!anim_) return;
    }
    anim_->Unfreeze();
}

LRESULT SkinWindow::SendToPage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Page* p = FindPage(dialog ? dialog : ownPage_);
    if (!p || !p->ready) return 0;
    if (p->proc) return p->proc(p->dialog, message, wParam, lParam);
    return SendMessage(p->dialog, message, wParam, lParam);
}

void SkinWindow::Command(WPARAM wParam, LPARAM lParam) {
    WORD id = LOWORD(wParam);
    SkinControl* control = FindControl(id);
    HWND target = ownPage_;
    if (control) {
        control->Command(wParam);
        if (control->GetPage()) target = control->GetPage();
        if (!lParam) lParam = reinterpret_cast<LPARAM>(control->GetChild());
    }
    HWND self = hwnd_;
    LRESULT handled = SendToPage(target, WM_COMMAND, wParam, lParam);
    if (handled || !IsWindow(self) || FromHandle(self) != this) return;
    if (id == kSkinCloseId) {
        handled = SendToPage(ownPage_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (handled || !IsWindow(self) || FromHandle(self) != this) return;
        id = IDCANCEL;
    }
    if (id == IDCANCEL && (control || LOWORD(wParam) == kSkinCloseId)) {
        if (modal_)
            EndModal(IDCANCEL);
        else
            DestroyWindow(hwnd_);
    } else if (id == kSkinMinimiseId) {
        ShowWindow(hwnd_, SW_MINIMIZE);
    }
}

// --- Modal runs
// -----------------------------------------------------------------------------------

int SkinWindow::RunModal() {
    if (!hwnd_ || !IsWindow(hwnd_)) return result_;
    HWND self = hwnd_;
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabledOwner_ = owner;
    }
    modal_ = true;
    ended_ = false;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
    anim_->Paint();
    MSG m;
    while (!ended_ && IsWindow(self) && FromHandle(self) == this) {
        BOOL got = GetMessage(&m, nullptr, 0, 0);
        if (got <= 0) {
            // The quit message belongs to the loop around this one.
            if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    if (FromHandle(self) == this) {
        modal_ = false;
        if (disabledOwner_) {
            EnableWindow(disabledOwner_, TRUE);
            disabledOwner_ = nullptr;
        }
    }
    return result_;
}

void SkinWindow::EndModal(int id) {
    result_ = id;
    ended_ = true;
    if (hwnd_) PostMessage(hwnd_, WM_NULL, 0, 0);
}

// --- Frame and background
// -------------------------------------------------------------------------

LRESULT SkinWindow::FrameProc(AnimObject* object, DWORD message, LPARAM parameter) {
    if (message != ANIMOBJ_DRAW) return 1;
    auto* cell = static_cast<Sprite*>(object->GetData(0));
    auto* r = reinterpret_cast<const ANIMDRAW*>(parameter);
    if (!cell || !object->GetWindow()) return 1;
    Graphic* g = cell->GetFrameForCounter(object->GetWindow()->GetCurrentFrame());
    if (!g || g->GetWidth() <= 0 || g->GetHeight() <= 0) return 1;
    // Edges repeat their cell along the window; corners are one cell.
    LONG w = g->GetWidth(), h = g->GetHeight();
    for (LONG y = r->object.top; y < r->clip.bottom; y += h)
        for (LONG x = r->object.left; x < r->clip.right; x += w) {
            RECT to{std::max(x, r->clip.left), std::max(y, r->clip.top),
                    std::min({x + w, r->clip.right, r->object.right}),
                    std::min({y + h, r->clip.bottom, r->object.bottom})};
            if (to.right <= to.left || to.bottom <= to.top) continue;
            g->DrawTo(r->destination, to.left, to.top, to.left - x, to.top - y, to.right - to.left,
                      to.bottom - to.top);
        }
    return 1;
}

void SkinWindow::SetFrameCount(std::size_t count) {
    if (count == frameCount_) return;
    for (std::size_t i = 0; i < frameCount_; ++i) {
        if (anim_ && AnimWindow::IsLive(anim_)) MemDelete(frame_[i], MM("ANIMOBJECT"));
        frame_[i] = nullptr;
    }
    frameCount_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
        frame_[i] = new (MM("ANIMOBJECT")) AnimObject(anim_, FrameProc, kSkinFrameLayer);
        frame_[i]->SetFlags(kObjectBackdrop);
        frameCount_ = i + 1;
    }
}

namespace {

void PlaceObject(AnimObject* object, Sprite* cell, const RECT& rect) {
    object->SetData(0, cell);
    RECT old;
    object->GetRect(&old);
    if (old.left == rect.left && old.top == rect.top && old.right == rect.right &&
        old.bottom == rect.bottom) {
        object->Invalidate();
        return;
    }
    object->SetFlags(0);
    object->SetRect(rect);
    object->SetFlags(kObjectBackdrop);
}

} // namespace

void SkinWindow::BuildFrame() {
    if (!anim_) return;
    const TCHAR* prefix = prefix_.c_str();
    RECT client = GetClientArea();
    LONG width = client.right - client.left, height = client.bottom - client.top;
    HRGN region = nullptr;
    if (skin_->HasImage(TEXT("frame"), prefix)) {
        SkinControlGraphics* g = skin_->GetImage(TEXT("frame"), kSkinFrame, prefix);
        resizable_ = false;
        if (g->cellWidth > 0 && g->cellHeight > 0 && !sizing_ &&
            (g->cellWidth != width || g->cellHeight != height)) {
            // The window takes the image's size; its WM_SIZE comes back here.
            sizing_ = true;
            bool converting = converting_;
            converting_ = false;
            SetWindowPos(hwnd_, nullptr, 0, 0, g->cellWidth, g->cellHeight,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            converting_ = converting;
            sizing_ = false;
            client = GetClientArea();
            width = client.right - client.left, height = client.bottom - client.top;
        }
        SetFrameCount(1);
        PlaceObject(frame_[0], g->cells[0], client);
        region = FrameLayoutRegion(*skin_, prefix, &width, &height);
    } else {
        SkinControlGraphics* c = skin_->GetImage(TEXT("frame-c"), kSkinFrameCorners, prefix);
        SkinControlGraphics* lr = skin_->GetImage(TEXT("frame-lr"), kSkinFrameLeftRight, prefix);
        SkinControlGraphics* tb = skin_->GetImage(TEXT("frame-tb"), kSkinFrameTopBottom, prefix);
        FrameCells cells{{c->cellWidth, c->cellHeight},
                         {lr->cellWidth, lr->cellHeight},
                         {tb->cellWidth, tb->cellHeight}};
        RECT pieces[8];
        FramePieces(width, height, cells, pieces);
        // Pieces go round the window; corner cells are in row order.
        Sprite* sprites[8] = {c->cells[0],  c->cells[1],  c->cells[3],  c->cells[2],
                              lr->cells[0], lr->cells[1], tb->cells[0], tb->cells[1]};
        SetFrameCount(8);
        for (int i = 0; i < 8; ++i) {
            RECT p = pieces[i];
            if (p.right < p.left) p.right = p.left;
            if (p.bottom < p.top) p.bottom = p.top;
            PlaceObject(frame_[i], sprites[i], p);
        }
        region = FrameLayoutRegion(*skin_, prefix, &width, &height);
    }
    SetWindowRgn(hwnd_, region, TRUE); // the window owns the region (null: rectangular)
    if (width != filledWidth_ || height != filledHeight_) FillBackground();
}

void SkinWindow::FillBackground() {
    Graphic* background = anim_ ? anim_->GetBackground() : nullptr;
    if (!background) return;
    RECT client = GetClientArea();
    filledWidth_ = client.right - client.left;
    filledHeight_ = client.bottom - client.top;
    if (SendToPage(ownPage_, kSkinBackground, 0, reinterpret_cast<LPARAM>(background))) {
        anim_->InvalidateAll();
        return;
    }
    const TCHAR* prefix = prefix_.c_str();
    anim_->FillBackground(settings_.backgroundColor & 0x00FFFFFF);
    SkinControlGraphics* g = nullptr;
    if (skin_->HasImage(TEXT("frame"), prefix))
        g = skin_->GetImage(TEXT("frame"), SkinGrid(1, 1), prefix);
    else if (skin_->HasImage(TEXT("background"), prefix))
        g = skin_->GetImage(TEXT("background"), SkinGrid(1, 1), prefix);
    Graphic* image = g && g->cells[0] ? g->cells[0]->GetFrame(0) : nullptr;
    if (image && image->GetWidth() > 0 && image->GetHeight() > 0) {
        LONG w = image->GetWidth(), h = image->GetHeight();
        switch (settings_.backgroundLayout) {
        case 1:
            image->StretchTo(background, 0, 0, filledWidth_, filledHeight_, 0, 0, w, h);
            break;
        case 2:
            image->DrawTo(background, (filledWidth_ - w) / 2, (filledHeight_ - h) / 2);
            break;
        default:
            image->TileTo(background, 0, 0, filledWidth_, filledHeight_, 0, 0, w, h, 0, 0);
            break;
        }
    }
    anim_->InvalidateAll();
}

// --- Hit testing and the mouse
// --------------------------------------------------------------------

int SkinWindow::HitTest(POINT p, SkinControl** control) const {
    if (control) *control = nullptr;
    RECT client = GetClientArea();
    LONG w = client.right - client.left, h = client.bottom - client.top;
    if (p.x < 0 || p.y < 0 || p.x >= w || p.y >= h) return kHitOutside;
    if (resizable_) {
        LONG bx = GetSystemMetrics(SM_CXBORDER) + 4, by = GetSystemMetrics(SM_CYBORDER) + 4;
        bool left = p.x < bx, right = p.x >= w - bx, top = p.y < by, bottom = p.y >= h - by;
        if (left && top) return kHitTopLeft;
        if (right && top) return kHitTopRight;
        if (right && bottom) return kHitBottomRight;
        if (left && bottom) return kHitBottomLeft;
        if (top) return kHitTop;
        if (right) return kHitRight;
        if (bottom) return kHitBottom;
        if (left) return kHitLeft;
    }
    // The controls share one layer, where the first made lies in front.
    for (SkinControl* c : controls_)
        if (c->TakesMouse() && c->HitTest(p)) {
            if (control) *control = c;
            return kHitControl;
        }
    if (settings_.titlebarHeight == 0xFFFFFFFFu ||
        p.y < static_cast<LONG>(settings_.titlebarHeight))
        return kHitDrag;
    return kHitClient;
}

void SkinWindow::UpdateCursor(int hit) {
    const TCHAR* cursor = IDC_ARROW;
    switch (hit) {
    case kHitTopLeft:
    case kHitBottomRight:
        cursor = IDC_SIZENWSE;
        break;
    case kHitTopRight:
    case kHitBottomLeft:
        cursor = IDC_SIZENESW;
        break;
    case kHitTop:
    case kHitBottom:
        cursor = IDC_SIZENS;
        break;
    case kHitLeft:
    case kHitRight:
        cursor = IDC_SIZEWE;
        break;
    default:
        break;
    }
    SetCursor(LoadCursor(nullptr, cursor));
}

void SkinWindow::SetHover(SkinControl* control) {
    if (control && !control->IsActive()) control = nullptr;
    if (control == hover_) return;
    SkinControl* old = hover_;
    hover_ = control;
    if (old) old->Redraw();
    if (control) control->Redraw();
}

void SkinWindow::OnMouseMove(POINT point) {
    SkinControl* control = nullptr;
    int hit = HitTest(point, &control);
    SetHover(control);
    POINT screen = point;
    ClientToScreen(hwnd_, &screen);
    // While the window moves under the pointer, a queued move's client point is relative to
    // where the window was when it was made: drags follow the pointer itself.
    if (mode_ == kHitDrag || mode_ >= kHitTopLeft) GetCursorPos(&screen);
    LONG dx = screen.x - pressCursor_.x, dy = screen.y - pressCursor_.y;
    switch (mode_) {
    case 0:
        UpdateCursor(hit);
        break;
    case kHitDrag:
        SetWindowPos(hwnd_, nullptr, pressRect_.left + dx, pressRect_.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case kHitControl:
        if (pressed_) pressed_->Drag(point);
        break;
    default: {
        int m = mode_;
        int hf = (m == kHitTopLeft || m == kHitBottomLeft || m == kHitLeft)      ? -1
                 : (m == kHitTopRight || m == kHitRight || m == kHitBottomRight) ? 1
                                                                                 : 0;
        int vf = (m == kHitTopLeft || m == kHitTop || m == kHitTopRight)            ? -1
                 : (m == kHitBottomRight || m == kHitBottom || m == kHitBottomLeft) ? 1
                                                                                    : 0;
        LONG w0 = pressRect_.right - pressRect_.left, h0 = pressRect_.bottom - pressRect_.top;
        LONG w = std::clamp<LONG>(w0 + dx * hf, limits_.ptMinTrackSize.x,
                                  std::max(limits_.ptMinTrackSize.x, limits_.ptMaxTrackSize.x));
        LONG h = std::clamp<LONG>(h0 + dy * vf, limits_.ptMinTrackSize.y,
                                  std::max(limits_.ptMinTrackSize.y, limits_.ptMaxTrackSize.y));
        LONG x = pressRect_.left - (hf < 0 ? w - w0 : 0);
        LONG y = pressRect_.top - (vf < 0 ? h - h0 : 0);
        SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    }
}

void SkinWindow::OnButtonDown(POINT point) {
    if (mode_ != 0) return;
    SkinControl* control = nullptr;
    int hit = HitTest(point, &control);
    SetHover(control);
    if (hit == kHitClient || hit == kHitOutside) return;
    mode_ = hit;
    hit_ = control;
    pressCursor_ = point;
    ClientToScreen(hwnd_, &pressCursor_);
    GetWindowRect(hwnd_, &pressRect_);
    SetCapture(hwnd_);
    if (hit >= kHitTopLeft) {
        RECT work{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        LONG ww = work.right - work.left, wh = work.bottom - work.top;
        LONG xmax = SettingNumber(this, TEXT("window size xmaximum"));
        LONG ymax = SettingNumber(this, TEXT("window size ymaximum"));
        LONG xmin = SettingNumber(this, TEXT("window size xminimum"));
        LONG ymin = SettingNumber(this, TEXT("window size yminimum"));
        // Never smaller than two corners (or two close buttons) side by side.
        LONG cw = 0, ch = 0;
        if (!skin_->HasImage(TEXT("frame"), prefix_.c_str())) {
            SkinControlGraphics* c =
                skin_->GetImage(TEXT("frame-c"), kSkinFrameCorners, prefix_.c_str());
            cw = c->cellWidth, ch = c->cellHeight;
        }
        if (SkinControl* close = FindControl(kSkinCloseId)) {
            RECT r;
            close->GetRect(&r);
            cw = std::max(cw, r.right - r.left), ch = std::max(ch, r.bottom - r.top);
        }
        limits_ = MINMAXINFO{};
        limits_.ptMaxSize = {ww, wh};
        limits_.ptMaxPosition = {std::min(xmax ? xmax : ww, ww - 1),
                                 std::min(ymax ? ymax : wh, wh - 1)};
        limits_.ptMinTrackSize = {std::max(2 * cw, xmin), std::max(2 * ch, ymin)};
        limits_.ptMaxTrackSize = {ww, wh};
        SendMessage(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits_));
    } else if (hit == kHitControl && control) {
        pressed_ = control;
        control->Press(point);
    }
}

void SkinWindow::OnButtonUp(POINT point) {
    if (GetCapture() == hwnd_) ReleaseCapture();
    int mode = mode_;
    mode_ = 0;
    SkinControl* pressed = pressed_;
    pressed_ = nullptr;
    hit_ = nullptr;
    SkinControl* under = nullptr;
    HitTest(point, &under);
    SetHover(under);
    if (pressed) pressed->Redraw();
    if (mode != kHitControl || !pressed || under != pressed) return;
    if (pressed->GetKind() == kSkinUserDrawn)
        SendToPage(pressed->GetPage(), kSkinUserClick, pressed->GetId(),
                   reinterpret_cast<LPARAM>(pressed));
    else
        pressed->Click(point);
}

void SkinWindow::OnTimer() {
    if (!anim_) return;
    DWORD now = EngineClock();
    if (pressed_ && mode_ == kHitControl) pressed_->Repeat(now);
    if (now - lastFrame_ < anim_->GetFrameInterval()) return;
    lastFrame_ = now;
    anim_->AdvanceOne();
}

// --- Messages
// -------------------------------------------------------------------------------------

LRESULT SkinWindow::Hook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SkinWindow* w = FromHandle(hwnd);
    if (!w || w->destroyed_) return 0;
    return w->OnMessage(message, wParam, lParam);
}

LRESULT SkinWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_MOUSEMOVE:
        if (IsWindowEnabled(hwnd_)) OnMouseMove(point);
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (IsWindowEnabled(hwnd_)) OnButtonDown(point);
        return 1;
    case WM_LBUTTONUP:
        OnButtonUp(point);
        return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: {
        SkinControl* control = nullptr;
        int hit = HitTest(point, &control);
        if (mode_ == 0) {
            SetHover(control);
            UpdateCursor(hit);
        }
        return 1;
    }
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_HOME:
        case VK_END:
        case VK_INSERT:
        case VK_DELETE:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            if (focus_ && focus_->TakesKeys()) focus_->Key(message, wParam);
            return 1;
        default:
            break;
        }
        break;
    case WM_CHAR:
        if (focus_ && focus_->TakesKeys()) focus_->Key(message, wParam);
        return 1;
    case WM_SIZE:
        if (converting_) return 1;
        anim_->Freeze();
        try {
            BuildFrame();
        } catch (const cetl::exception& e) {
            // Only a skin changed under a live window can lack its frame here.
            Trace(true, TEXT("SkinWindow: %s"), e.message());
        }
        PlaceControls();
        anim_->Unfreeze();
        SendToPage(ownPage_, message, wParam, lParam);
        return 1;
    case WM_COMMAND:
        Command(wParam, lParam);
        return 1;
    case WM_TIMER:
        if (wParam == kFrameTimerId) {
            OnTimer();
            return 1;
        }
        break;
    case WM_DESTROY:
        // The pages' procedures see WM_DESTROY as their dialogs go.
        Detach();
        return 1;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_NCDESTROY:
        return 0;
    default:
        break;
    }
    SendToPage(ownPage_, message, wParam, lParam);
    return 0;
}
