// Window classes and the text helpers the window core shares.
#include "platform/core/window_internal.h"

#include <algorithm>
#include <cstring>

namespace platform::wm {

std::u16string FromWide(LPCWSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

std::u16string FromNarrow(LPCSTR text) {
    return text == nullptr ? std::u16string() : Widen(text);
}

std::u16string Folded(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && Folded(a) == Folded(b);
}

State& GetState() {
    static State* state = [] {
        auto* s = new State;
        // The system classes the programs copy or create; the controls layer gives them their
        // real procedures when it starts.
        for (const char16_t* name : {u"Static", u"Button", u"Edit", u"ListBox", u"ScrollBar"}) {
            auto c = std::make_shared<ClassRec>();
            c->name = name;
            c->name8 = Narrow(name);
            c->atom = s->nextAtom++;
            c->style = CS_GLOBALCLASS | CS_PARENTDC | CS_DBLCLKS;
            c->proc = SystemClassProc(name);
            c->system = true;
            s->classes[Folded(name)] = c;
        }
        return s;
    }();
    return *state;
}

namespace {

// Looks a class up by name or by atom (an integer "name").
std::shared_ptr<ClassRec> FindClass(State& s, LPCWSTR name) {
    if (name == nullptr) return nullptr;
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
        for (auto& [key, c] : s.classes) {
            if (c->atom == atom) return c;
        }
        return nullptr;
    }
    auto it = s.classes.find(Folded(name));
    return it == s.classes.end() ? nullptr : it->second;
}

ATOM Register(const WNDCLASSW& wc, LPCSTR menu8, bool narrowMenu) {
    if (wc.lpszClassName == nullptr || IS_INTRESOURCE(wc.lpszClassName) ||
        wc.lpszClassName[0] == 0 || wc.cbClsExtra < 0 || wc.cbWndExtra < 0 ||
        wc.cbClsExtra > 40000 || wc.cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    auto key = Folded(wc.lpszClassName);
    auto it = s.classes.find(key);
    if (it != s.classes.end() && !it->second->system) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<ClassRec>();
    c->name = wc.lpszClassName;
    c->name8 = Narrow(c->name);
    c->atom = s.nextAtom++;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->clsExtra = wc.cbClsExtra;
    c->wndExtra = wc.cbWndExtra;
    c->instance = wc.hInstance;
    c->icon = wc.hIcon;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    c->extra.assign(static_cast<std::size_t>(wc.cbClsExtra), 0);
    if (narrowMenu) {
        if (menu8 != nullptr && !IS_INTRESOURCE(menu8)) {
            c->menuIsId = false;
            c->menu8 = menu8;
            c->menu16 = Widen(menu8);
        } else {
            c->menuId = reinterpret_cast<ULONG_PTR>(menu8);
        }
    } else if (wc.lpszMenuName != nullptr && !IS_INTRESOURCE(wc.lpszMenuName)) {
        c->menuIsId = false;
        c->menu16 = wc.lpszMenuName;
        c->menu8 = Narrow(c->menu16);
    } else {
        c->menuId = reinterpret_cast<ULONG_PTR>(wc.lpszMenuName);
    }
    // A program's class of the same name hides the system one, as on the platform.
    s.classes[key] = c;
    return c->atom;
}

bool Unregister(LPCWSTR name) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    auto c = FindClass(s, name);
    if (c == nullptr || c->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return false;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return false;
    }
    s.classes.erase(Folded(c->name));
    return true;
}

template <typename WC>
void FillCommon(const ClassRec& c, WC* wc) {
    wc->style = c.style;
    wc->lpfnWndProc = c.proc;
    wc->cbClsExtra = c.clsExtra;
    wc->cbWndExtra = c.wndExtra;
    wc->hInstance = c.instance;
    wc->hIcon = c.icon;
    wc->hCursor = c.cursor;
    wc->hbrBackground = c.background;
}

// Reads or writes class bytes and fields; `set` replaces and returns the old value.
bool ClassWord(HWND hwnd, int index, bool pointer, const LONG_PTR* set, ULONG_PTR* old) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    ClassRec& c = *w->cls;
    if (index >= 0) {
        std::size_t size = pointer ? sizeof(LONG_PTR) : sizeof(LONG);
        if (static_cast<std::size_t>(index) + size > c.extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return false;
        }
        if (pointer) {
            LONG_PTR v;
            std::memcpy(&v, c.extra.data() + index, size);
            *old = static_cast<ULONG_PTR>(v);
            if (set != nullptr) std::memcpy(c.extra.data() + index, set, size);
        } else {
            LONG v;
            std::memcpy(&v, c.extra.data() + index, size);
            *old = static_cast<DWORD>(v);
            if (set != nullptr) {
                auto nv = static_cast<LONG>(*set);
                std::memcpy(c.extra.data() + index, &nv, size);
            }
        }
        return true;
    }
    auto assign = [&](auto& field) {
        using T = std::remove_reference_t<decltype(field)>;
        if constexpr (std::is_pointer_v<T>) {
            *old = reinterpret_cast<ULONG_PTR>(field);
            if (set != nullptr) field = reinterpret_cast<T>(*set);
        } else {
            *old = static_cast<ULONG_PTR>(field);
            if (set != nullptr) field = static_cast<T>(*set);
        }
    };
    switch (index) {
    case GCL_STYLE:
        assign(c.style);
        return true;
    case GCL_CBWNDEXTRA:
        *old = static_cast<ULONG_PTR>(c.wndExtra);
        return set == nullptr; // fixed once registered
    case GCL_CBCLSEXTRA:
        *old = static_cast<ULONG_PTR>(c.clsExtra);
        return set == nullptr;
    default:
        break;
    }
    if (pointer) {
        switch (index) {
        case GCLP_WNDPROC:
            assign(c.proc);
            return true;
        case GCLP_HICON:
            assign(c.icon);
            return true;
        case GCLP_HCURSOR:
            assign(c.cursor);
            return true;
        case GCLP_HBRBACKGROUND:
            assign(c.background);
            return true;
        case GCLP_HMODULE:
            assign(c.instance);
            return true;
        default:
            break;
        }
    }
    SetLastError(ERROR_INVALID_INDEX);
    return false;
}

} // namespace

std::shared_ptr<ClassRec> LookupClass(State& s, LPCWSTR name) {
    return FindClass(s, name);
}

} // namespace platform::wm

using namespace platform::wm;

ATOM RegisterClassW(const WNDCLASSW* wc) {
    if (wc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Register(*wc, nullptr, false);
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name = Widen(wc->lpszClassName);
    WNDCLASSW w{wc->style, wc->lpfnWndProc, wc->cbClsExtra,    wc->cbWndExtra, wc->hInstance,
                wc->hIcon, wc->hCursor,     wc->hbrBackground, nullptr,        name.c_str()};
    return Register(w, wc->lpszMenuName, true);
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    return Unregister(className) ? TRUE : FALSE;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (className != nullptr && IS_INTRESOURCE(className)) {
        return Unregister(reinterpret_cast<LPCWSTR>(className)) ? TRUE : FALSE;
    }
    std::u16string name = FromNarrow(className);
    return Unregister(name.c_str()) ? TRUE : FALSE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, WNDCLASSW* wc) {
    State& s = GetState();
    std::lock_guard lock(s.lock);
    auto c = FindClass(s, className);
    if (c == nullptr || wc == nullptr) {
        SetLastError(c == nullptr ? ERROR_CLASS_DOES_NOT_EXIST : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FillCommon(*c, wc);
    wc->lpszClassName = c->name.c_str();
    wc->lpszMenuName = c->menuIsId ? reinterpret_cast<LPCWSTR>(c->menuId) : c->menu16.c_str();
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wc) {
    std::u16string name;
    LPCWSTR key = reinterpret_cast<LPCWSTR>(className);
    if (className != nullptr && !IS_INTRESOURCE(className)) {
        name = Widen(className);
        key = name.c_str();
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    auto c = FindClass(s, key);
    if (c == nullptr || wc == nullptr) {
        SetLastError(c == nullptr ? ERROR_CLASS_DOES_NOT_EXIST : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FillCommon(*c, wc);
    wc->lpszClassName = c->name8.c_str();
    wc->lpszMenuName = c->menuIsId ? reinterpret_cast<LPCSTR>(c->menuId) : c->menu8.c_str();
    return TRUE;
}

namespace {

template <typename Char>
int CopyOut(const std::basic_string<Char>& text, Char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    auto n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

bool ClassNameOf(HWND hwnd, std::u16string* name) {
    if (IsRemote(hwnd)) {
        RemoteWindow info;
        if (!RemoteInfo(hwnd, &info)) return false;
        *name = info.className;
        return true;
    }
    State& s = GetState();
    std::lock_guard lock(s.lock);
    Window* w = Find(s, hwnd);
    if (w == nullptr) return false;
    *name = w->cls->name;
    return true;
}

} // namespace

int GetClassNameW(HWND hwnd, LPWSTR buffer, int size) {
    std::u16string name;
    if (!ClassNameOf(hwnd, &name)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CopyOut(name, buffer, size);
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
    std::u16string name;
    if (!ClassNameOf(hwnd, &name)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CopyOut(Narrow(name), buffer, size);
}

DWORD GetClassLongW(HWND hwnd, int index) {
    ULONG_PTR old = 0;
    return ClassWord(hwnd, index, false, nullptr, &old) ? static_cast<DWORD>(old) : 0;
}

DWORD SetClassLongW(HWND hwnd, int index, LONG value) {
    ULONG_PTR old = 0;
    LONG_PTR v = value;
    return ClassWord(hwnd, index, false, &v, &old) ? static_cast<DWORD>(old) : 0;
}

ULONG_PTR GetClassLongPtrW(HWND hwnd, int index) {
    ULONG_PTR old = 0;
    return ClassWord(hwnd, index, true, nullptr, &old) ? old : 0;
}

ULONG_PTR SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    ULONG_PTR old = 0;
    return ClassWord(hwnd, index, true, &value, &old) ? old : 0;
}
