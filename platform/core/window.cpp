// Windows: creation and destruction, the tree of parents, owners and children, window words,
// text, geometry bookkeeping, visibility, enabling, enumeration, focus and capture.
#include "platform/core/driver.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"
#include "platform/dlg.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace platform::wm {

Window* Find(State& s, HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    std::uint32_t v = HandleValue(hwnd);
    if (HandleTag(hwnd) != OwnTag()) return nullptr;
    auto it = s.windows.find(v);
    return it == s.windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> FindShared(State& s, HWND hwnd) {
    if (hwnd == nullptr || HandleTag(hwnd) != OwnTag()) return nullptr;
    auto it = s.windows.find(HandleValue(hwnd));
    return it == s.windows.end() ? nullptr : it->second;
}

bool IsRemote(HWND hwnd) {
    if (hwnd == nullptr) return false;
    auto v = reinterpret_cast<std::uintptr_t>(hwnd);
    // A handle read back from a 32-bit window word arrives sign-extended or not at all.
    if ((v >> 32) != 0 && (v >> 32) != 0xFFFFFFFFu) return false;
    std::uint32_t tag = HandleTag(hwnd);
    return tag != 0 && tag != OwnTag();
}

RECT Insets(DWORD style, DWORD exStyle) {
    int edge = 0;
    if (style & WS_THICKFRAME) {
        edge = 4;
    } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
        edge = 3;
    } else if (style & WS_BORDER) {
        edge = 1;
    }
    if (exStyle & WS_EX_CLIENTEDGE) edge += 2;
    int caption = (style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
    return RECT{edge, edge + caption, edge, edge};
}

POINT ScreenOrigin(State& s, const Window& w) {
    POINT p{w.rect.left, w.rect.top};
    if (w.parent != nullptr) {
        if (Window* parent = Find(s, w.parent)) {
            POINT o = ClientOrigin(s, *parent);
            p.x += o.x;
            p.y += o.y;
        }
    }
    return p;
}

POINT ClientOrigin(State& s, const Window& w) {
    POINT p = ScreenOrigin(s, w);
    RECT in = Insets(w.style, w.exStyle);
    return POINT{p.x + in.left, p.y + in.top};
}

} // namespace platform::wm

using namespace platform::wm;

namespace {

std::vector<HWND>* Siblings(State& s, Window& w) {
    if (w.parent != nullptr) {
        if (Window* parent = Find(s, w.parent)) return &parent->children;
        return nullptr;
    }
    return &s.topLevel;
}

HWND NewHandle(State& s) {
    std::uint32_t tag = OwnTag();
    for (std::uint32_t tries = 0; tries <= kIndexMask; ++tries) {
        std::uint32_t index = s.nextIndex;
        s.nextIndex = s.nextIndex == kIndexMask ? 1 : s.nextIndex + 1;
        std::uint32_t value = (tag << kIndexBits) | index;
        if (s.windows.find(value) == s.windows.end()) return MakeHandle(value);
    }
    return nullptr;
}

void Notify(State& s, HWND hwnd, platform::driver::WindowEvent event) {
    Window* w = Find(s, hwnd);
    if (w != nullptr && w->parent == nullptr) platform::driver::NotifyWindow(hwnd, event);
}

} // namespace

void platform::wm::NotifyIconChanged(HWND hwnd) {
    Notify(GetState(), hwnd, platform::driver::WindowEvent::IconChanged);
}

namespace {

bool WrongThread(const Window& w) {
    return w.queue->threadId != CurrentThreadId();
}

LRESULT SendSize(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    return Send(hwnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
}

LRESULT SendMove(HWND hwnd) {
    State& s = GetState();
    POINT p{};
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) return 0;
        RECT in = Insets(w->style, w->exStyle);
        p = POINT{w->rect.left + in.left, w->rect.top + in.top};
    }
    return Send(hwnd, WM_MOVE, 0, MAKELPARAM(p.x, p.y));
}

// Removes every trace of a window once its last message has been delivered.
void Forget(HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    auto w = FindShared(s, hwnd);
    if (w == nullptr) return;
    if (auto* list = Siblings(s, *w)) {
        list->erase(std::remove(list->begin(), list->end(), hwnd), list->end());
    }
    if (s.capture == hwnd) s.capture = nullptr;
    if (s.focus == hwnd) s.focus = nullptr;
    if (s.active == hwnd) s.active = nullptr;
    w->cls->windows--;
    s.windows.erase(HandleValue(hwnd));
}

void DestroyTree(HWND hwnd);

} // namespace

namespace platform::wm {

// A thread that ends takes its windows with it; no message can reach them any more.
void ForgetThreadWindows(const Queue* queue) {
    std::vector<HWND> gone;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        for (auto& [value, w] : s.windows) {
            if (w->queue.get() == queue) gone.push_back(w->hwnd);
        }
    }
    for (HWND h : gone)
        Forget(h);
}

} // namespace platform::wm

namespace {

void DestroyTree(HWND hwnd) {
    State& s = GetState();
    std::vector<HWND> owned;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr || w->destroying) return;
        w->destroying = true;
        if (w->parent == nullptr) {
            for (HWND other : s.topLevel) {
                Window* o = Find(s, other);
                if (o != nullptr && o->owner == hwnd) owned.push_back(other);
            }
        }
    }
    // Owned windows go before their owner.
    for (HWND o : owned)
        DestroyTree(o);
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w != nullptr) w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    Notify(s, hwnd, platform::driver::WindowEvent::Hidden);
    HWND lostCapture = nullptr;
    {
        std::lock_guard lock(s.lock);
        if (s.capture == hwnd) {
            lostCapture = hwnd;
            s.capture = nullptr;
        }
    }
    if (lostCapture != nullptr) Send(lostCapture, WM_CAPTURECHANGED, 0, 0);
    Send(hwnd, WM_DESTROY, 0, 0);
    // Children still exist while their parent handles WM_DESTROY; each is gone (down to its
    // WM_NCDESTROY) before the parent's WM_NCDESTROY.
    std::vector<HWND> children;
    {
        std::lock_guard lock(s.lock);
        if (Window* w = Find(s, hwnd)) children = w->children;
    }
    for (HWND c : children)
        DestroyTree(c);
    KillWindowTimers(hwnd);
    Send(hwnd, WM_NCDESTROY, 0, 0);
    Notify(s, hwnd, platform::driver::WindowEvent::Destroyed);
    Forget(hwnd);
    PaintForget(hwnd);
}

template <typename CS>
HWND Create(DWORD exStyle, LPCWSTR className, const std::u16string& title, DWORD style, int x,
            int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param,
            CS* cs) {
    State& s = GetState();
    HWND hwnd = nullptr;
    {
        std::lock_guard lock(s.lock);
        auto cls = LookupClass(s, className);
        if (cls == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parentWin = nullptr;
        if (parent != nullptr) {
            parentWin = Find(s, parent);
            // A window on its way out takes no new children or owned windows.
            if (parentWin == nullptr || parentWin->destroying) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        } else if (style & WS_CHILD) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE); // a child needs a parent
            return nullptr;
        }
        hwnd = NewHandle(s);
        if (hwnd == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto w = std::make_shared<Window>();
        w->hwnd = hwnd;
        w->cls = cls;
        w->proc = cls->proc;
        w->style = style;
        w->exStyle = exStyle;
        w->instance = instance;
        w->extra.assign(static_cast<std::size_t>(cls->wndExtra), 0);
        w->text = title;
        w->queue = CurrentQueue();
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
            if (x == CW_USEDEFAULT) x = y = 0;
            if (width == CW_USEDEFAULT) width = height = 0;
            parentWin->children.push_back(hwnd); // children keep creation order
        } else {
            // The owner of a top-level window is the top-level ancestor of the window given.
            HWND owner = parent;
            while (Window* o = Find(s, owner)) {
                if (o->parent == nullptr) break;
                owner = o->parent;
            }
            w->owner = owner;
            int sw = 0, sh = 0;
            platform::driver::ScreenSize(&sw, &sh);
            if (x == CW_USEDEFAULT) x = y = 0;
            if (width == CW_USEDEFAULT) {
                width = sw;
                height = sh;
            }
            auto pos = s.topLevel.begin();
            if (!(exStyle & WS_EX_TOPMOST)) {
                while (pos != s.topLevel.end()) {
                    Window* t = Find(s, *pos);
                    if (t == nullptr || !(t->exStyle & WS_EX_TOPMOST)) break;
                    ++pos;
                }
            }
            s.topLevel.insert(pos, hwnd);
        }
        w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        cls->windows++;
        s.windows[HandleValue(hwnd)] = w;
    }
    cs->lpCreateParams = param;
    cs->hInstance = instance;
    cs->hMenu = menu;
    cs->hwndParent = parent;
    cs->x = x;
    cs->y = y;
    cs->cx = width;
    cs->cy = height;
    cs->style = static_cast<LONG>(style);
    cs->dwExStyle = exStyle;
    if (Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(cs)) == 0) {
        Send(hwnd, WM_NCDESTROY, 0, 0);
        Forget(hwnd);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(cs)) == -1) {
        DestroyTree(hwnd);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!IsWindow(hwnd)) return nullptr; // destroyed itself while being created
    SendSize(hwnd);
    SendMove(hwnd);
    Notify(s, hwnd, platform::driver::WindowEvent::Created);
    if (style & WS_VISIBLE) {
        Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
        Notify(s, hwnd, platform::driver::WindowEvent::Shown);
        RECT rect{};
        {
            std::lock_guard lock(s.lock);
            if (Window* w = Find(s, hwnd)) rect = w->rect;
        }
        WindowShown(hwnd, true, rect);
    }
    return hwnd;
}

// Reads (and with `set`, replaces) a window word; returns false with the error set.
bool WindowWord(HWND hwnd, int index, bool pointer, const LONG_PTR* set, LONG_PTR* old) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (index >= 0) {
        std::size_t size = pointer ? sizeof(LONG_PTR) : sizeof(LONG);
        if (static_cast<std::size_t>(index) + size > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return false;
        }
        if (pointer) {
            std::memcpy(old, w->extra.data() + index, size);
            if (set != nullptr) std::memcpy(w->extra.data() + index, set, size);
        } else {
            LONG v;
            std::memcpy(&v, w->extra.data() + index, size);
            *old = v;
            if (set != nullptr) {
                auto nv = static_cast<LONG>(*set);
                std::memcpy(w->extra.data() + index, &nv, size);
            }
        }
        return true;
    }
    switch (index) {
    case GWL_STYLE:
        *old = static_cast<LONG>(w->style);
        if (set != nullptr) w->style = static_cast<DWORD>(*set);
        return true;
    case GWL_EXSTYLE:
        *old = static_cast<LONG>(w->exStyle);
        if (set != nullptr) w->exStyle = static_cast<DWORD>(*set);
        return true;
    case GWL_ID:
        *old = pointer ? w->id : static_cast<LONG>(w->id);
        if (set != nullptr) w->id = *set;
        return true;
    default:
        break;
    }
    if (!pointer) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    switch (index) {
    case GWLP_WNDPROC:
        *old = reinterpret_cast<LONG_PTR>(w->proc);
        if (set != nullptr) w->proc = reinterpret_cast<WNDPROC>(*set);
        return true;
    case GWLP_HINSTANCE:
        *old = reinterpret_cast<LONG_PTR>(w->instance);
        if (set != nullptr) w->instance = reinterpret_cast<HINSTANCE>(*set);
        return true;
    case GWLP_HWNDPARENT:
        *old = reinterpret_cast<LONG_PTR>(w->parent != nullptr ? w->parent : w->owner);
        if (set != nullptr && w->parent == nullptr) w->owner = reinterpret_cast<HWND>(*set);
        return true;
    case GWLP_USERDATA:
        *old = w->userData;
        if (set != nullptr) w->userData = *set;
        return true;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
}

LONG_PTR GetWord(HWND hwnd, int index, bool pointer) {
    LONG_PTR value = 0;
    if (IsRemote(hwnd)) {
        if (!RemoteGetLong(hwnd, index, pointer, &value)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        return value;
    }
    // As on the platform, success leaves the last error alone; callers clear it to tell a zero
    // word from a failure.
    return WindowWord(hwnd, index, pointer, nullptr, &value) ? value : 0;
}

LONG_PTR SetWord(HWND hwnd, int index, bool pointer, LONG_PTR value) {
    LONG_PTR old = 0;
    if (IsRemote(hwnd)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return WindowWord(hwnd, index, pointer, &value, &old) ? old : 0;
}

bool TextOf(HWND hwnd, std::u16string* text) {
    if (IsRemote(hwnd)) {
        RemoteWindow info;
        if (!RemoteInfo(hwnd, &info)) return false;
        *text = info.text;
        return true;
    }
    State& s = GetState();
    bool sameThread = false;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) return false;
        sameThread = !WrongThread(*w);
        if (!sameThread) {
            // Another thread's window: read the stored text rather than wait for its thread.
            *text = w->text;
            return true;
        }
    }
    auto length = Send(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length < 0) length = 0;
    std::u16string buffer(static_cast<std::size_t>(length) + 1, u'\0');
    auto got = Send(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    got = std::clamp<LRESULT>(got, 0, length);
    buffer.resize(static_cast<std::size_t>(got));
    *text = buffer;
    return true;
}

template <typename Char>
int CopyText(const std::basic_string<Char>& text, Char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    auto n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

void PlaceInZOrder(State& s, Window& w, HWND after) {
    auto* list = Siblings(s, w);
    if (list == nullptr) return;
    list->erase(std::remove(list->begin(), list->end(), w.hwnd), list->end());
    auto isTopmost = [&](HWND h) {
        Window* t = Find(s, h);
        return t != nullptr && (t->exStyle & WS_EX_TOPMOST);
    };
    if (after == HWND_TOPMOST && w.parent == nullptr) w.exStyle |= WS_EX_TOPMOST;
    if (after == HWND_NOTOPMOST && w.parent == nullptr) w.exStyle &= ~WS_EX_TOPMOST;
    auto pos = list->begin();
    if (after == HWND_BOTTOM) {
        pos = list->end();
    } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        if (w.parent == nullptr && !(w.exStyle & WS_EX_TOPMOST)) {
            while (pos != list->end() && isTopmost(*pos))
                ++pos;
        }
    } else {
        auto it = std::find(list->begin(), list->end(), after);
        pos = it == list->end() ? list->begin() : it + 1;
    }
    list->insert(pos, w.hwnd);
}

bool SetVisible(HWND hwnd, bool visible, bool* was) {
    State& s = GetState();
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        *was = (w->style & WS_VISIBLE) != 0;
        if (*was == visible) return true;
    }
    Send(hwnd, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
    RECT rect{};
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) return true;
        if (visible) {
            w->style |= WS_VISIBLE;
        } else {
            w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        rect = w->rect;
    }
    WindowShown(hwnd, visible, rect);
    Notify(s, hwnd,
           visible ? platform::driver::WindowEvent::Shown : platform::driver::WindowEvent::Hidden);
    return true;
}

std::vector<HWND> Descendants(State& s, HWND parent) {
    std::vector<HWND> out;
    Window* p = Find(s, parent);
    if (p == nullptr) return out;
    for (HWND c : p->children) {
        out.push_back(c);
        auto sub = Descendants(s, c);
        out.insert(out.end(), sub.begin(), sub.end());
    }
    return out;
}

} // namespace

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    std::u16string title = FromWide(windowName);
    CREATESTRUCTW cs{};
    cs.lpszName = windowName;
    cs.lpszClass = className;
    return Create(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                  param, &cs);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    std::u16string wideClass;
    LPCWSTR key = reinterpret_cast<LPCWSTR>(className);
    if (className != nullptr && !IS_INTRESOURCE(className)) {
        wideClass = Widen(className);
        key = wideClass.c_str();
    }
    CREATESTRUCTA cs{};
    cs.lpszName = windowName;
    cs.lpszClass = className;
    return Create(exStyle, key, FromNarrow(windowName), style, x, y, width, height, parent, menu,
                  instance, param, &cs);
}

BOOL DestroyWindow(HWND hwnd) {
    State& s = GetState();
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (WrongThread(*w)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
    }
    DestroyTree(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (IsRemote(hwnd)) {
        RemoteWindow info;
        return RemoteInfo(hwnd, &info) ? TRUE : FALSE;
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return Find(s, hwnd) != nullptr ? TRUE : FALSE;
}

BOOL IsChild(HWND parent, HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    while (w != nullptr && w->parent != nullptr) {
        if (w->parent == parent) return TRUE;
        w = Find(s, w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (w->parent != nullptr) return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND GetWindow(HWND hwnd, UINT relation) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (relation == GW_OWNER) return w->owner;
    auto* list = Siblings(s, *w);
    if (list == nullptr || list->empty()) return nullptr;
    auto it = std::find(list->begin(), list->end(), hwnd);
    switch (relation) {
    case GW_HWNDFIRST:
        return list->front();
    case GW_HWNDLAST:
        return list->back();
    case GW_HWNDNEXT:
        return (it == list->end() || it + 1 == list->end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return (it == list->end() || it == list->begin()) ? nullptr : *(it - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

LONG GetWindowLongW(HWND hwnd, int index) {
    return static_cast<LONG>(GetWord(hwnd, index, false));
}

LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWord(hwnd, index, false, value));
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    return GetWord(hwnd, index, true);
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    return SetWord(hwnd, index, true, value);
}

int GetDlgCtrlID(HWND hwnd) {
    return static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID));
}

HWND GetDlgItem(HWND dialog, int id) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, dialog);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND c : w->children) {
        Window* cw = Find(s, c);
        if (cw != nullptr && static_cast<int>(cw->id) == id) return c;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!IsWindow(hwnd) || IsRemote(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::u16string copy = FromWide(text);
    bool delivered = false;
    LRESULT r = Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()), &delivered);
    if (delivered) {
        State& s = GetState();
        Notify(s, hwnd, platform::driver::WindowEvent::TextChanged);
        FrameChanged(hwnd);
    }
    return delivered && r != 0 ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    std::u16string wide = FromNarrow(text);
    return SetWindowTextW(hwnd, text == nullptr ? nullptr : wide.c_str());
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int size) {
    std::u16string text;
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    if (!TextOf(hwnd, &text)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CopyText(text, buffer, size);
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
    std::u16string text;
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    if (!TextOf(hwnd, &text)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::string narrow = Narrow(text);
    // Never cut a character in half.
    if (size > 0 && narrow.size() >= static_cast<std::size_t>(size)) {
        std::size_t n = static_cast<std::size_t>(size - 1);
        while (n > 0 && (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80)
            --n;
        narrow.resize(n);
    }
    return CopyText(narrow, buffer, size);
}

int GetWindowTextLengthW(HWND hwnd) {
    std::u16string text;
    if (!TextOf(hwnd, &text)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(text.size());
}

int GetWindowTextLengthA(HWND hwnd) {
    std::u16string text;
    if (!TextOf(hwnd, &text)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(Narrow(text).size());
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr || rect == nullptr) {
        SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT o = ScreenOrigin(s, *w);
    *rect =
        RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr || rect == nullptr) {
        SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT in = Insets(w->style, w->exStyle);
    LONG width = w->rect.right - w->rect.left - in.left - in.right;
    LONG height = w->rect.bottom - w->rect.top - in.top - in.bottom;
    *rect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    State& s = GetState();
    bool moved = false, sized = false;
    RECT r{};
    if (!(flags & SWP_NOSIZE)) {
        // A sizable or overlapped top-level window keeps within the limits it gives.
        const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
        if (IsWindow(hwnd) && !(style & WS_CHILD) &&
            ((style & WS_THICKFRAME) || !(style & WS_POPUP))) {
            MINMAXINFO limits;
            QueryMinMaxInfo(hwnd, &limits);
            cx = std::max<int>(std::min<int>(cx, limits.ptMaxTrackSize.x), limits.ptMinTrackSize.x);
            cy = std::max<int>(std::min<int>(cy, limits.ptMaxTrackSize.y), limits.ptMinTrackSize.y);
        }
    }
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        r = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            moved = x != r.left || y != r.top;
            w->rect = RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
        }
        if (!(flags & SWP_NOSIZE)) {
            cx = std::max(cx, 0);
            cy = std::max(cy, 0);
            sized = cx != r.right - r.left || cy != r.bottom - r.top;
            w->rect.right = w->rect.left + cx;
            w->rect.bottom = w->rect.top + cy;
        }
        if (!(flags & SWP_NOZORDER)) PlaceInZOrder(s, *w, insertAfter);
    }
    if (sized) SendSize(hwnd);
    if (moved) SendMove(hwnd);
    if (moved || sized) {
        Notify(s, hwnd, platform::driver::WindowEvent::Moved);
        WindowMoved(hwnd, r, sized, !(flags & SWP_NOREDRAW));
    } else if (!(flags & SWP_NOZORDER)) {
        WindowMoved(hwnd, r, false, !(flags & SWP_NOREDRAW));
    }
    bool was = false;
    if (flags & SWP_SHOWWINDOW) SetVisible(hwnd, true, &was);
    if (flags & SWP_HIDEWINDOW) SetVisible(hwnd, false, &was);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL, DWORD exStyle) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT in = Insets(style, exStyle);
    rect->left -= in.left;
    rect->top -= in.top;
    rect->right += in.right;
    rect->bottom += in.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr || point == nullptr) return FALSE;
    POINT o = ClientOrigin(s, *w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr || point == nullptr) return FALSE;
    POINT o = ClientOrigin(s, *w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    POINT a{}, b{};
    if (from != nullptr) {
        Window* w = Find(s, from);
        if (w == nullptr) return 0;
        a = ClientOrigin(s, *w);
    }
    if (to != nullptr) {
        Window* w = Find(s, to);
        if (w == nullptr) return 0;
        b = ClientOrigin(s, *w);
    }
    LONG dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points != nullptr && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(ERROR_SUCCESS);
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

namespace {

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// A group box only frames its neighbours: the pointer goes through it to what lies beneath,
// as the platform's group boxes answer hit tests with "transparent".
bool PointerTransparent(const Window& w) {
    if ((w.style & BS_TYPEMASK) != BS_GROUPBOX || !w.cls) return false;
    const std::u16string& name = w.cls->name;
    static const char16_t kButton[] = u"button";
    if (name.size() != 6) return false;
    for (std::size_t i = 0; i < 6; ++i) {
        char16_t c = name[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kButton[i]) return false;
    }
    return true;
}

// The deepest visible child under a screen point, starting from a window that contains it;
// a disabled child leaves the point to its parent.
HWND DeepestAt(State& s, HWND hwnd, POINT p) {
    for (;;) {
        Window* w = Find(s, hwnd);
        if (w == nullptr) return hwnd;
        HWND next = nullptr;
        for (HWND c : w->children) {
            Window* cw = Find(s, c);
            if (cw == nullptr || !(cw->style & WS_VISIBLE) || PointerTransparent(*cw)) continue;
            POINT o = ScreenOrigin(s, *cw);
            RECT r{o.x, o.y, o.x + (cw->rect.right - cw->rect.left),
                   o.y + (cw->rect.bottom - cw->rect.top)};
            if (!Contains(r, p)) continue;
            if (!ShapeContains(c, {p.x - o.x, p.y - o.y})) continue;
            if (cw->style & WS_DISABLED) return hwnd;
            next = c;
            break;
        }
        if (next == nullptr) return hwnd;
        hwnd = next;
    }
}

} // namespace

HWND WindowFromPoint(POINT p) {
    // Hidden and disabled children are passed over, as on the platform.
    State& s = GetState();
    std::lock_guard lock(s.lock);
    for (HWND top : s.topLevel) {
        Window* w = Find(s, top);
        if (w == nullptr || !(w->style & WS_VISIBLE)) continue;
        if (!Contains(w->rect, p)) continue;
        if (!ShapeContains(top, {p.x - w->rect.left, p.y - w->rect.top})) continue;
        return DeepestAt(s, top, p);
    }
    return nullptr;
}

namespace platform::wm {
// The window input at a screen point goes to (with the state lock held).
HWND InputTarget(State& s, POINT p) {
    for (HWND top : s.topLevel) {
        Window* w = Find(s, top);
        if (w == nullptr || !(w->style & WS_VISIBLE)) continue;
        if (!Contains(w->rect, p)) continue;
        if (!ShapeContains(top, {p.x - w->rect.left, p.y - w->rect.top})) continue;
        if (w->style & WS_DISABLED) return nullptr;
        return DeepestAt(s, top, p);
    }
    return nullptr;
}
} // namespace platform::wm

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    State& s = GetState();
    bool wasDisabled = false;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
        if (enable) {
            w->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
            w->style |= WS_DISABLED;
            // A disabled window can hold neither the focus nor the capture.
            if (s.focus == hwnd) s.focus = nullptr;
            if (s.capture == hwnd) s.capture = nullptr;
        }
    }
    Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    return w != nullptr && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
    bool was = false;
    SetVisible(hwnd, command != SW_HIDE, &was);
    return was ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    while (w != nullptr) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (w->parent == nullptr) return TRUE;
        w = Find(s, w->parent);
    }
    return FALSE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> local;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        local = s.topLevel;
    }
    for (HWND h : local) {
        if (IsWindow(h) && !proc(h, param)) return FALSE;
    }
    for (const RemoteWindow& r : RemoteTopLevel()) {
        if (!proc(r.hwnd, param)) return FALSE;
    }
    return TRUE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> all;
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        all = Descendants(s, parent);
    }
    for (HWND h : all) {
        if (IsWindow(h) && !proc(h, param)) return FALSE;
    }
    return TRUE;
}

namespace {

HWND FindTop(const std::u16string* className, const std::u16string* title) {
    auto matches = [&](const std::u16string& c, const std::u16string& t) {
        return (className == nullptr || SameName(*className, c)) &&
               (title == nullptr || SameName(*title, t));
    };
    {
        State& s = GetState();
        std::lock_guard lock(s.lock);
        for (HWND h : s.topLevel) {
            Window* w = Find(s, h);
            if (w != nullptr && !w->destroying && matches(w->cls->name, w->text)) return h;
        }
    }
    for (const RemoteWindow& r : RemoteTopLevel()) {
        if (matches(r.className, r.text)) return r.hwnd;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

} // namespace

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    std::u16string c = FromWide(className), t = FromWide(windowName);
    if (className != nullptr && IS_INTRESOURCE(className)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return FindTop(className ? &c : nullptr, windowName ? &t : nullptr);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    if (className != nullptr && IS_INTRESOURCE(className)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string c = FromNarrow(className), t = FromNarrow(windowName);
    return FindTop(className ? &c : nullptr, windowName ? &t : nullptr);
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    if (IsRemote(hwnd)) {
        RemoteWindow info;
        if (!RemoteInfo(hwnd, &info)) return 0;
        if (processId != nullptr) *processId = info.pid;
        return 0; // another process's thread ids mean nothing here
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
    return w->queue->threadId;
}

namespace {

HWND Activate(HWND hwnd) {
    State& s = GetState();
    HWND old = nullptr;
    {
        std::lock_guard lock(s.lock);
        Window* w = Find(s, hwnd);
        // Activation belongs to top-level windows; a child passes it to its top-level ancestor.
        while (w != nullptr && w->parent != nullptr) {
            hwnd = w->parent;
            w = Find(s, hwnd);
        }
        if (w == nullptr || w->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        old = s.active;
        PlaceInZOrder(s, *w, HWND_TOP);
        if (old == hwnd) return old;
        s.active = hwnd;
    }
    if (old != nullptr) {
        Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    }
    Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    // The captions change colour; the order of the windows on screen changed too.
    if (old != nullptr) FrameChanged(old);
    FrameChanged(hwnd);
    return old == nullptr ? hwnd : old;
}

} // namespace

BOOL SetForegroundWindow(HWND hwnd) {
    return Activate(hwnd) != nullptr ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

HWND SetActiveWindow(HWND hwnd) {
    HWND before = GetActiveWindow();
    return Activate(hwnd) != nullptr ? before : nullptr;
}

HWND GetActiveWindow() {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return s.active;
}

HWND SetFocus(HWND hwnd) {
    State& s = GetState();
    HWND old = nullptr;
    {
        std::lock_guard lock(s.lock);
        if (hwnd != nullptr) {
            Window* w = Find(s, hwnd);
            if (w == nullptr || (w->style & WS_DISABLED)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        old = s.focus;
        if (old == hwnd) return old;
        s.focus = hwnd;
    }
    if (old != nullptr) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd != nullptr) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return s.focus;
}

HWND SetCapture(HWND hwnd) {
    State& s = GetState();
    HWND old = nullptr;
    {
        std::lock_guard lock(s.lock);
        if (Find(s, hwnd) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        old = s.capture;
        s.capture = hwnd;
    }
    if (old != nullptr && old != hwnd) {
        Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    }
    return old;
}

BOOL ReleaseCapture() {
    State& s = GetState();
    HWND old = nullptr;
    {
        std::lock_guard lock(s.lock);
        old = s.capture;
        s.capture = nullptr;
    }
    if (old != nullptr) Send(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    return s.capture;
}

BOOL GetCursorPos(LPPOINT point) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    *point = s.cursor;
    return TRUE;
}
