// The standard "Button" and "Static" controls: state, mouse and keyboard, notifications.
#include "platform/core/control_internal.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace platform::dlg {
namespace {

struct ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool focused = false;
    bool spaceDown = false;
    HFONT font = nullptr;
};

std::mutex& StatesLock() {
    static auto* m = new std::mutex;
    return *m;
}
std::unordered_map<HWND, ControlState>& States() {
    static auto* m = new std::unordered_map<HWND, ControlState>;
    return *m;
}

ControlState Get(HWND hwnd) {
    std::lock_guard lock(StatesLock());
    auto it = States().find(hwnd);
    return it == States().end() ? ControlState{} : it->second;
}

template <typename F>
void Update(HWND hwnd, F change) {
    std::lock_guard lock(StatesLock());
    change(States()[hwnd]);
}

void Forget(HWND hwnd) {
    std::lock_guard lock(StatesLock());
    States().erase(hwnd);
}

bool IsPush(int type) {
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool IsRadio(int type) {
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

void Notify(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr || !IsChild(parent, hwnd)) return;
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code),
                 reinterpret_cast<LPARAM>(hwnd));
}

void SetCheck(HWND hwnd, UINT check) {
    bool changed = false;
    Update(hwnd, [&](ControlState& c) {
        changed = c.check != check;
        c.check = check;
    });
    if (changed) InvalidateRect(hwnd, nullptr, TRUE);
}

// Controls draw their own face: the parent's background is erased around them, not under them.
void Paint(HWND hwnd, bool fill) {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    if (fill) {
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
    }
    DrawControl(hwnd, dc);
    EndPaint(hwnd, &ps);
}

// Focus moving between push buttons moves the default frame, so the default button redraws.
void InvalidateDefaultButtons(HWND hwnd) {
    for (HWND sibling : ChildrenOf(GetParent(hwnd))) {
        if (sibling != hwnd && ButtonType(sibling) == BS_DEFPUSHBUTTON) {
            InvalidateRect(sibling, nullptr, TRUE);
        }
    }
}

// What a completed press does: auto buttons change their own state first, then the parent hears.
void Click(HWND hwnd) {
    int type = ButtonType(hwnd);
    if (type == BS_AUTOCHECKBOX) {
        SetCheck(hwnd, Get(hwnd).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    } else if (type == BS_AUTO3STATE) {
        SetCheck(hwnd, (Get(hwnd).check + 1) % 3);
    } else if (type == BS_AUTORADIOBUTTON) {
        for (HWND other : RadioGroupOf(hwnd)) {
            if (other != hwnd) SetCheck(other, BST_UNCHECKED);
        }
        SetCheck(hwnd, BST_CHECKED);
    }
    Notify(hwnd, BN_CLICKED);
}

bool PointInside(HWND hwnd, LPARAM lParam) {
    RECT r{};
    GetClientRect(hwnd, &r);
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Both controls keep a font and text; the rest is theirs.
bool CommonMessage(HWND hwnd, UINT msg, WPARAM wParam, LRESULT* result) {
    switch (msg) {
    case WM_SETFONT:
        Update(hwnd, [&](ControlState& c) { c.font = reinterpret_cast<HFONT>(wParam); });
        *result = 0;
        return true;
    case WM_GETFONT:
        *result = reinterpret_cast<LRESULT>(Get(hwnd).font);
        return true;
    case WM_NCDESTROY:
        Forget(hwnd);
        *result = 0;
        return true;
    default:
        return false;
    }
}

} // namespace

std::u16string TextOf(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::u16string text(static_cast<std::size_t>(std::max(n, 0)) + 1, u'\0');
    int got = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
    }
    return out;
}

bool IsClass(HWND hwnd, const char16_t* name) {
    WCHAR buffer[64];
    int n = GetClassNameW(hwnd, buffer, 64);
    return n > 0 && wm::SameName(std::u16string_view(buffer, static_cast<std::size_t>(n)), name);
}

DWORD StyleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

int ButtonType(HWND hwnd) {
    if (!IsClass(hwnd, u"Button")) return -1;
    return static_cast<int>(StyleOf(hwnd) & BS_TYPEMASK);
}

std::vector<HWND> RadioGroupOf(HWND button) {
    std::vector<HWND> siblings = ChildrenOf(GetParent(button));
    auto at = std::find(siblings.begin(), siblings.end(), button);
    if (at == siblings.end()) return {button};
    auto start = at;
    while (start != siblings.begin() && !(StyleOf(*start) & WS_GROUP))
        --start;
    std::vector<HWND> out;
    for (auto it = start; it != siblings.end(); ++it) {
        if (it != start && (StyleOf(*it) & WS_GROUP)) break;
        if (ButtonType(*it) == BS_AUTORADIOBUTTON) out.push_back(*it);
    }
    return out;
}

LRESULT ButtonMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (CommonMessage(hwnd, msg, wParam, &result)) return result;
    const int type = ButtonType(hwnd);
    switch (msg) {
    case WM_GETDLGCODE:
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (IsRadio(type)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_GROUPBOX) return DLGC_STATIC;
        return DLGC_BUTTON;
    case BM_GETCHECK:
        return IsPush(type) || type == BS_GROUPBOX ? 0 : Get(hwnd).check;
    case BM_SETCHECK:
        if (!IsPush(type) && type != BS_GROUPBOX) {
            UINT check = static_cast<UINT>(wParam);
            if (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) {
                check = BST_CHECKED;
            }
            SetCheck(hwnd, check > BST_INDETERMINATE ? BST_UNCHECKED : check);
        }
        return 0;
    case BM_GETSTATE: {
        ControlState c = Get(hwnd);
        return c.check | (c.pushed ? BST_PUSHED : 0) | (c.focused ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
        Update(hwnd, [&](ControlState& c) { c.pushed = wParam != 0; });
        return 0;
    case BM_SETSTYLE: {
        DWORD style = (StyleOf(hwnd) & ~static_cast<DWORD>(0xFFFF)) | LOWORD(wParam);
        SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
        return 0;
    }
    case BM_CLICK:
        if (type != BS_GROUPBOX && IsWindowEnabled(hwnd)) Click(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (type == BS_GROUPBOX) return 0;
        SetCapture(hwnd);
        if (GetFocus() != hwnd) SetFocus(hwnd);
        Update(hwnd, [](ControlState& c) { c.pushed = true; });
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == hwnd) {
            bool inside = PointInside(hwnd, lParam);
            Update(hwnd, [&](ControlState& c) { c.pushed = inside; });
        }
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd) {
            bool inside = PointInside(hwnd, lParam);
            Update(hwnd, [](ControlState& c) { c.pushed = false; });
            ReleaseCapture();
            if (inside) Click(hwnd);
        }
        return 0;
    case WM_CAPTURECHANGED:
        Update(hwnd, [](ControlState& c) { c.pushed = false; });
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && type != BS_GROUPBOX) {
            Update(hwnd, [](ControlState& c) {
                c.pushed = true;
                c.spaceDown = true;
            });
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && Get(hwnd).spaceDown) {
            Update(hwnd, [](ControlState& c) {
                c.pushed = false;
                c.spaceDown = false;
            });
            Click(hwnd);
        }
        return 0;
    case WM_SETFOCUS:
        Update(hwnd, [](ControlState& c) { c.focused = true; });
        return 0;
    case WM_KILLFOCUS:
        Update(hwnd, [](ControlState& c) {
            c.focused = false;
            c.pushed = false;
            c.spaceDown = false;
        });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT ButtonWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        Paint(hwnd, ButtonType(hwnd) != BS_GROUPBOX);
        return 0;
    }
    if (msg == WM_NCDESTROY) return ButtonMessage(hwnd, msg, wParam, lParam);
    const ControlState before = Get(hwnd);
    LRESULT result = ButtonMessage(hwnd, msg, wParam, lParam);
    const ControlState after = Get(hwnd);
    if (before.check != after.check || before.pushed != after.pushed ||
        before.focused != after.focused || msg == WM_SETTEXT || msg == WM_ENABLE ||
        msg == BM_SETSTYLE) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    if (before.focused != after.focused) {
        int type = ButtonType(hwnd);
        if (IsPush(type)) InvalidateDefaultButtons(hwnd);
    }
    return result;
}

LRESULT StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (CommonMessage(hwnd, msg, wParam, &result)) return result;
    switch (msg) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_PAINT:
        Paint(hwnd, true);
        return 0;
    case WM_SETTEXT:
    case WM_ENABLE:
        result = DefWindowProcW(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void DrawControl(HWND control, HDC hdc) {
    RECT r{};
    GetClientRect(control, &r);
    ControlState c = Get(control);
    HFONT font = c.font != nullptr ? c.font : DefaultDialogFont();
    const bool enabled = IsWindowEnabled(control) != FALSE;
    if (IsClass(control, u"Button")) {
        ButtonLook look;
        look.style = StyleOf(control);
        look.text = TextOf(control);
        look.state = c.check | (c.pushed ? BST_PUSHED : 0) | (c.focused ? BST_FOCUS : 0);
        look.enabled = enabled;
        look.font = font;
        const int type = static_cast<int>(look.style & BS_TYPEMASK);
        // Enter presses the focused push button, else the default one: that one wears the frame.
        HWND focus = GetFocus();
        const bool otherPushFocused =
            focus != control && focus != nullptr && GetParent(focus) == GetParent(control) &&
            (ButtonType(focus) == BS_PUSHBUTTON || ButtonType(focus) == BS_DEFPUSHBUTTON);
        look.isDefault =
            (type == BS_DEFPUSHBUTTON && !otherPushFocused) || (type == BS_PUSHBUTTON && c.focused);
        DrawButton(hdc, r, look);
    } else if (IsMessageBoxIcon(control)) {
        DrawMessageBoxIcon(control, hdc);
    } else if (IsClass(control, u"Static")) {
        DrawStatic(hdc, r, StyleOf(control), TextOf(control), enabled, font);
    }
}

} // namespace platform::dlg

namespace platform::wm {
WNDPROC SystemClassProc(const char16_t* name) {
    if (SameName(name, u"Button")) return platform::dlg::ButtonWindowProc;
    if (SameName(name, u"Static")) return platform::dlg::StaticWindowProc;
    return DefWindowProcW;
}
} // namespace platform::wm
