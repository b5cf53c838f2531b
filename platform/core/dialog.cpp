// The dialog manager: dialogs from templates, DefDlgProc, modal loops and the dialog keys.
#include "platform/core/control_internal.h"
#include "platform/core/dialog_internal.h"
#include "platform/core/driver.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace platform::dlg {
namespace {

struct DialogState {
    DLGPROC proc = nullptr;
    HFONT font = nullptr;
    bool ownsFont = false;
    SIZE base{};
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    HWND lastFocus = nullptr;
    WORD defId = 0;
};

std::mutex& DialogsLock() {
    static auto* m = new std::mutex;
    return *m;
}
std::unordered_map<HWND, DialogState>& Dialogs() {
    static auto* m = new std::unordered_map<HWND, DialogState>;
    return *m;
}

bool FindDialog(HWND hwnd, DialogState* out) {
    std::lock_guard lock(DialogsLock());
    auto it = Dialogs().find(hwnd);
    if (it == Dialogs().end()) return false;
    if (out != nullptr) *out = it->second;
    return true;
}

template <typename F>
bool UpdateDialog(HWND hwnd, F change) {
    std::lock_guard lock(DialogsLock());
    auto it = Dialogs().find(hwnd);
    if (it == Dialogs().end()) return false;
    change(it->second);
    return true;
}

constexpr char16_t kDialogClass[] = u"#32770";

void RegisterDialogClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSW wc{};
        wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_SAVEBITS;
        wc.lpfnWndProc = DefDlgProcW;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kDialogClass;
        RegisterClassW(&wc);
    });
}

int MulDivRound(int value, int numerator, int denominator) {
    long long v = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(v >= 0 ? (v + half) / denominator : (v - half) / denominator);
}

HFONT FontOfTemplate(const resource::DialogTemplate& tpl, bool* owns) {
    *owns = false;
    if (!(tpl.style & DS_SETFONT) || tpl.face.empty()) return DefaultDialogFont();
    std::u16string description = tpl.face;
    // Commas separate the description's items; a face never contains one legitimately.
    std::replace(description.begin(), description.end(), u',', u' ');
    std::string size = std::to_string(tpl.pointSize == 0 ? 8 : tpl.pointSize);
    description += u',';
    description.append(size.begin(), size.end());
    if (tpl.weight >= 600) description += u",B";
    if (tpl.italic) description += u",I";
    HFONT font = gdi::FontFromDescription(description.c_str(), false);
    if (font == nullptr) return DefaultDialogFont();
    *owns = true;
    return font;
}

const char16_t* PredefinedClass(WORD atom) {
    switch (atom) {
    case 0x80:
        return u"Button";
    case 0x81:
        return u"Edit";
    case 0x82:
        return u"Static";
    case 0x83:
        return u"ListBox";
    case 0x84:
        return u"ScrollBar";
    case 0x85:
        return u"ComboBox";
    default:
        return nullptr;
    }
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd != nullptr && (StyleOf(hwnd) & WS_CHILD))
        hwnd = GetParent(hwnd);
    return hwnd;
}

bool CanTakeFocus(HWND hwnd) {
    return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

HWND FirstTabStop(HWND dialog) {
    for (HWND c : ChildrenOf(dialog)) {
        if ((StyleOf(c) & WS_TABSTOP) && CanTakeFocus(c)) return c;
    }
    return nullptr;
}

// The checked button of a radio group stands for the whole group when focus arrives by Tab.
HWND GroupRepresentative(HWND control) {
    if (ButtonType(control) != BS_AUTORADIOBUTTON && ButtonType(control) != BS_RADIOBUTTON) {
        return control;
    }
    for (HWND member : RadioGroupOf(control)) {
        if (CanTakeFocus(member) && SendMessageW(member, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            return member;
        }
    }
    return control;
}

bool SameGroup(HWND a, HWND b) {
    if (a == nullptr || b == nullptr) return false;
    std::vector<HWND> group = RadioGroupOf(a);
    return std::find(group.begin(), group.end(), b) != group.end() && group.size() > 1;
}

HWND DefaultButton(HWND dialog) {
    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) return GetDlgItem(dialog, LOWORD(def));
    for (HWND c : ChildrenOf(dialog)) {
        if (ButtonType(c) == BS_DEFPUSHBUTTON) return c;
    }
    return GetDlgItem(dialog, IDOK);
}

void PressFor(HWND dialog, int id, HWND button) {
    if (button != nullptr && !IsWindowEnabled(button)) return;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

LPCWSTR AtomName(WORD atom) {
    return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom));
}

} // namespace

HFONT DefaultDialogFont() {
    static HFONT font = gdi::FontFromDescription(u"MS Shell Dlg,8", false);
    return font;
}

SIZE BaseUnitsOf(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    static const char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    TEXTMETRICW tm{};
    BOOL ok = GetTextExtentPoint32W(dc, kAlphabet, 52, &extent) && GetTextMetricsW(dc, &tm);
    if (old != nullptr) SelectObject(dc, old);
    DeleteDC(dc);
    SIZE base{};
    base.cx = ok ? (extent.cx / 26 + 1) / 2 : 0;
    base.cy = ok ? tm.tmHeight : 0;
    // A font the drawing layer could not measure still gets usable dialogs.
    if (base.cx <= 0) base.cx = 6;
    if (base.cy <= 0) base.cy = 13;
    return base;
}

HWND CreateFromTemplate(HINSTANCE instance, const resource::DialogTemplate& tpl, HWND parent,
                        DLGPROC proc, LPARAM param, bool modal) {
    RegisterDialogClass();
    bool ownsFont = false;
    HFONT font = FontOfTemplate(tpl, &ownsFont);
    const SIZE base = BaseUnitsOf(font);
    auto toX = [&](int v) { return MulDivRound(v, base.cx, 4); };
    auto toY = [&](int v) { return MulDivRound(v, base.cy, 8); };

    DWORD style = tpl.style & ~static_cast<DWORD>(WS_VISIBLE | DS_SETFONT);
    if (modal) style &= ~static_cast<DWORD>(WS_CHILD);
    DWORD exStyle = tpl.exStyle;
    if (tpl.style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    if (tpl.style & DS_CONTROL) {
        style = (style & ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU)) | WS_CHILD;
        exStyle |= WS_EX_CONTROLPARENT;
    }
    const bool child = (style & WS_CHILD) != 0;
    if (child && parent == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        if (ownsFont) DeleteObject(font);
        return nullptr;
    }
    HWND owner = child ? parent : TopLevelOf(parent);

    RECT frame{0, 0, toX(tpl.cx), toY(tpl.cy)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    POINT at{toX(tpl.x), toY(tpl.y)};
    if (tpl.style & (DS_CENTER | DS_CENTERMOUSE)) {
        RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (child) {
            GetClientRect(parent, &area);
        } else if (owner != nullptr) {
            GetWindowRect(owner, &area);
        }
        at.x = area.left + (area.right - area.left - width) / 2;
        at.y = area.top + (area.bottom - area.top - height) / 2;
        if (!child) {
            // Keep the whole box on the screen.
            at.x = std::clamp<LONG>(at.x, 0, std::max(0, GetSystemMetrics(SM_CXSCREEN) - width));
            at.y = std::clamp<LONG>(at.y, 0, std::max(0, GetSystemMetrics(SM_CYSCREEN) - height));
        }
    } else if (!child && owner != nullptr) {
        ClientToScreen(owner, &at);
    }

    std::u16string className = tpl.className;
    LPCWSTR cls = kDialogClass;
    if (!className.empty()) {
        cls = className.c_str();
    } else if (tpl.classId != 0) {
        cls = AtomName(tpl.classId);
    }
    HWND dialog = CreateWindowExW(exStyle, cls, tpl.title.c_str(), style, at.x, at.y, width, height,
                                  parent != nullptr ? parent : owner, nullptr, instance, nullptr);
    if (dialog == nullptr) {
        if (ownsFont) DeleteObject(font);
        return nullptr;
    }
    {
        std::lock_guard lock(DialogsLock());
        DialogState& st = Dialogs()[dialog];
        st = DialogState{};
        st.proc = proc;
        st.font = font;
        st.ownsFont = ownsFont;
        st.base = base;
        st.modal = modal;
    }
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (const resource::DialogItem& item : tpl.items) {
        const char16_t* predefined =
            item.className.empty() ? PredefinedClass(item.classAtom) : nullptr;
        LPCWSTR itemClass = predefined != nullptr    ? predefined
                            : item.className.empty() ? AtomName(item.classAtom)
                                                     : item.className.c_str();
        std::vector<BYTE> data = item.creationData;
        const DWORD itemStyle = (item.style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
        HWND control = CreateWindowExW(
            item.exStyle, itemClass, item.title.c_str(), itemStyle, toX(item.x), toY(item.y),
            toX(item.cx), toY(item.cy), dialog,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(static_cast<WORD>(item.id))), instance,
            data.empty() ? nullptr : data.data());
        if (control == nullptr) {
            if (tpl.style & DS_NOFAILCREATE) continue;
            DWORD error = GetLastError();
            DestroyWindow(dialog);
            SetLastError(error != 0 ? error : ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    HWND first = FirstTabStop(dialog);
    LRESULT wantsFocus =
        SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dialog)) return nullptr;
    if (wantsFocus && first != nullptr && GetFocus() == nullptr) SetFocus(first);
    if (wantsFocus && first != nullptr && !IsChild(dialog, GetFocus())) SetFocus(first);
    if (!modal && (tpl.style & WS_VISIBLE)) ShowWindow(dialog, SW_SHOW);
    return dialog;
}

INT_PTR RunModal(HWND dialog, HWND owner, const std::function<void(HWND)>& shown) {
    DialogState st{};
    if (!FindDialog(dialog, &st)) return -1;
    owner = TopLevelOf(owner);
    const bool disableOwner = owner != nullptr && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    bool quit = false;
    int quitCode = 0;
    if (!st.ended) {
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        HWND focus = GetFocus();
        if (focus == nullptr || !IsChild(dialog, focus)) {
            HWND first = FirstTabStop(dialog);
            if (first != nullptr) SetFocus(first);
        }
        if (shown) shown(dialog);
    }
    for (;;) {
        if (!FindDialog(dialog, &st) || st.ended) break;
        MSG msg{};
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    INT_PTR result = st.ended ? st.result : (quit ? 0 : -1);
    // The owner comes back before the dialog goes, so activation returns to it.
    if (disableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
    if (owner != nullptr && IsWindow(owner)) SetForegroundWindow(owner);
    // A quit request that arrived during the loop is for the program's own loop.
    if (quit) PostQuitMessage(quitCode);
    return result;
}

} // namespace platform::dlg

using namespace platform::dlg;

namespace {

bool ParseAtMost(const void* tpl, DWORD size, platform::resource::DialogTemplate* out) {
    if (tpl == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!platform::resource::ParseDialogTemplate(tpl, size, out)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    return true;
}

// A template handed in directly has no size; it is read only as far as its own counts go.
constexpr DWORD kIndirectLimit = 0x10000;

bool LoadTemplate(HINSTANCE instance, LPCWSTR name, platform::resource::DialogTemplate* out) {
    HMODULE module = instance != nullptr ? instance : GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(5));
    if (found == nullptr) return false;
    HGLOBAL data = LoadResource(module, found);
    const void* bytes = LockResource(data);
    return ParseAtMost(bytes, SizeofResource(module, found), out);
}

LPCWSTR WideName(LPCSTR name, std::u16string* storage) {
    if (name == nullptr || IS_INTRESOURCE(name)) return reinterpret_cast<LPCWSTR>(name);
    *storage = platform::wm::FromNarrow(name);
    return storage->c_str();
}

} // namespace

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND parent, DLGPROC proc,
                                LPARAM param) {
    platform::resource::DialogTemplate parsed;
    if (!ParseAtMost(tpl, kIndirectLimit, &parsed)) return nullptr;
    return CreateFromTemplate(instance, parsed, parent, proc, param, false);
}

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND parent, DLGPROC proc,
                                LPARAM param) {
    return CreateDialogIndirectParamW(instance, tpl, parent, proc, param);
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND owner, DLGPROC proc,
                                LPARAM param) {
    platform::resource::DialogTemplate parsed;
    if (!ParseAtMost(tpl, kIndirectLimit, &parsed)) return -1;
    HWND dialog = CreateFromTemplate(instance, parsed, owner, proc, param, true);
    return dialog == nullptr ? -1 : RunModal(dialog, owner);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tpl, HWND owner, DLGPROC proc,
                                LPARAM param) {
    return DialogBoxIndirectParamW(instance, tpl, owner, proc, param);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    platform::resource::DialogTemplate parsed;
    if (!LoadTemplate(instance, name, &parsed)) return nullptr;
    return CreateFromTemplate(instance, parsed, parent, proc, param, false);
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    std::u16string storage;
    return CreateDialogParamW(instance, WideName(name, &storage), parent, proc, param);
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    platform::resource::DialogTemplate parsed;
    if (!LoadTemplate(instance, name, &parsed)) return -1;
    HWND dialog = CreateFromTemplate(instance, parsed, owner, proc, param, true);
    return dialog == nullptr ? -1 : RunModal(dialog, owner);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    std::u16string storage;
    return DialogBoxParamW(instance, WideName(name, &storage), owner, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    bool modal = false;
    if (!UpdateDialog(dialog, [&](DialogState& st) {
            st.ended = true;
            st.result = result;
            modal = st.modal;
        })) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (modal) {
        // Wakes the modal loop, which may be waiting for input that never comes.
        PostMessageW(dialog, WM_NULL, 0, 0);
    } else {
        ShowWindow(dialog, SW_HIDE);
    }
    return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    DialogState st{};
    const bool known = FindDialog(dialog, &st);
    if (known && st.proc != nullptr) {
        if (GetClassLongW(dialog, GCL_CBWNDEXTRA) >= DLGWINDOWEXTRA) {
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        }
        INT_PTR handled = st.proc(dialog, msg, wParam, lParam);
        if (handled != 0) {
            if (msg == WM_INITDIALOG || msg == WM_GETDLGCODE) return handled;
            if (GetClassLongW(dialog, GCL_CBWNDEXTRA) >= DLGWINDOWEXTRA && IsWindow(dialog)) {
                return GetWindowLongPtrW(dialog, DWLP_MSGRESULT);
            }
            return 0;
        }
    }
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        // Closing a dialog is its cancel command; the dialog decides what that means.
        PressFor(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
        return 0;
    case WM_SETFOCUS: {
        HWND target = st.lastFocus != nullptr && IsChild(dialog, st.lastFocus)
                          ? st.lastFocus
                          : FirstTabStop(dialog);
        if (target != nullptr && CanTakeFocus(target)) SetFocus(target);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(dialog, focus)) {
                UpdateDialog(dialog, [&](DialogState& s) { s.lastFocus = focus; });
            }
        }
        return 0;
    case DM_GETDEFID:
        if (known && st.defId != 0) return MAKELONG(st.defId, DC_HASDEFID);
        for (HWND c : ChildrenOf(dialog)) {
            if (ButtonType(c) == BS_DEFPUSHBUTTON) return MAKELONG(GetDlgCtrlID(c), DC_HASDEFID);
        }
        return 0;
    case DM_SETDEFID:
        UpdateDialog(dialog, [&](DialogState& s) { s.defId = static_cast<WORD>(wParam); });
        return TRUE;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(st.font);
    case WM_NCDESTROY: {
        DialogState gone{};
        bool had = false;
        {
            std::lock_guard lock(DialogsLock());
            auto it = Dialogs().find(dialog);
            if (it != Dialogs().end()) {
                gone = it->second;
                had = true;
                Dialogs().erase(it);
            }
        }
        if (had && gone.ownsFont) DeleteObject(gone.font);
        return DefWindowProcW(dialog, msg, wParam, lParam);
    }
    default:
        return DefWindowProcW(dialog, msg, wParam, lParam);
    }
}

LRESULT DefDlgProcA(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcW(dialog, msg, wParam, lParam);
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> stops;
    for (HWND c : ChildrenOf(dialog)) {
        if ((StyleOf(c) & WS_TABSTOP) && CanTakeFocus(c)) stops.push_back(c);
    }
    if (stops.empty()) return nullptr;
    auto at = std::find(stops.begin(), stops.end(), control);
    if (at == stops.end()) {
        // From a control that is no tab stop (a radio button of a group): its group's place.
        std::vector<HWND> all = ChildrenOf(dialog);
        auto pos = std::find(all.begin(), all.end(), control);
        if (pos == all.end()) return GroupRepresentative(previous ? stops.back() : stops.front());
        HWND anchor = nullptr;
        for (auto it = pos; it != all.end(); ++it) {
            if (std::find(stops.begin(), stops.end(), *it) != stops.end() &&
                !SameGroup(control, *it)) {
                anchor = *it;
                break;
            }
        }
        if (!previous) return GroupRepresentative(anchor != nullptr ? anchor : stops.front());
        at = anchor != nullptr ? std::find(stops.begin(), stops.end(), anchor) : stops.end();
        if (at == stops.begin()) at = stops.end();
        --at;
        while (SameGroup(control, *at) && at != stops.begin())
            --at;
        return GroupRepresentative(*at);
    }
    const std::size_t n = stops.size();
    std::size_t i = static_cast<std::size_t>(at - stops.begin());
    for (std::size_t step = 1; step <= n; ++step) {
        std::size_t j = previous ? (i + n - step % n) % n : (i + step) % n;
        if (!SameGroup(control, stops[j]) || step == n) return GroupRepresentative(stops[j]);
    }
    return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> all = ChildrenOf(dialog);
    auto at = std::find(all.begin(), all.end(), control);
    if (at == all.end()) return nullptr;
    auto start = at;
    while (start != all.begin() && !(StyleOf(*start) & WS_GROUP))
        --start;
    auto end = at + 1;
    while (end != all.end() && !(StyleOf(*end) & WS_GROUP))
        ++end;
    std::vector<HWND> group(start, end);
    const std::size_t n = group.size();
    std::size_t i = static_cast<std::size_t>(at - start);
    for (std::size_t step = 1; step < n; ++step) {
        std::size_t j = previous ? (i + n - step) % n : (i + step) % n;
        if (CanTakeFocus(group[j]) && ButtonType(group[j]) != BS_GROUPBOX &&
            !IsClass(group[j], u"Static")) {
            return group[j];
        }
    }
    return control;
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg) {
    if (msg == nullptr || dialog == nullptr || !IsWindow(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    const bool fromControl = msg->hwnd != dialog;
    LRESULT code = 0;
    if (fromControl && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR)) {
        code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    }
    if (msg->message == WM_KEYDOWN) {
        HWND focus = GetFocus();
        if (focus != nullptr && !IsChild(dialog, focus)) focus = nullptr;
        switch (msg->wParam) {
        case VK_TAB:
            if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) break;
            {
                HWND next = GetNextDlgTabItem(dialog, focus,
                                              platform::driver::IsKeyDown(VK_SHIFT) ? TRUE : FALSE);
                if (next != nullptr) SetFocus(next);
            }
            return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS)) break;
            if (focus != nullptr) {
                const bool back = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
                HWND next = GetNextDlgGroupItem(dialog, focus, back ? TRUE : FALSE);
                if (next != nullptr && next != focus) {
                    SetFocus(next);
                    // Moving within a radio group checks the button arrived at.
                    if (ButtonType(next) == BS_AUTORADIOBUTTON) SendMessageW(next, BM_CLICK, 0, 0);
                }
            }
            return TRUE;
        case VK_RETURN: {
            if (code & DLGC_WANTALLKEYS) break;
            HWND button = nullptr;
            if (focus != nullptr &&
                (ButtonType(focus) == BS_PUSHBUTTON || ButtonType(focus) == BS_DEFPUSHBUTTON)) {
                button = focus;
            } else {
                button = DefaultButton(dialog);
            }
            int id = button != nullptr ? GetDlgCtrlID(button) : IDOK;
            PressFor(dialog, id, button);
            return TRUE;
        }
        case VK_ESCAPE:
            if (code & DLGC_WANTALLKEYS) break;
            PressFor(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
            return TRUE;
        default:
            break;
        }
    }
    if (msg->message == WM_CHAR && !(code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) &&
        (msg->wParam == u'\t' || msg->wParam == u'\r' || msg->wParam == 0x1B)) {
        return TRUE;
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
    return IsDialogMessageW(dialog, msg);
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    DialogState st{};
    if (rect == nullptr || !FindDialog(dialog, &st)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    rect->left = MulDivRound(rect->left, st.base.cx, 4);
    rect->right = MulDivRound(rect->right, st.base.cx, 4);
    rect->top = MulDivRound(rect->top, st.base.cy, 8);
    rect->bottom = MulDivRound(rect->bottom, st.base.cy, 8);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    static SIZE base = BaseUnitsOf(DefaultDialogFont());
    return MAKELONG(base.cx, base.cy);
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr && SetWindowTextW(item, text);
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr && SetWindowTextA(item, text);
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) {
        if (buffer != nullptr && size > 0) buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(std::max(GetWindowTextW(item, buffer, size), 0));
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) {
        if (buffer != nullptr && size > 0) buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(std::max(GetWindowTextA(item, buffer, size), 0));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) return FALSE;
    SendMessageW(item, BM_SETCHECK, check, 0);
    return TRUE;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    if (first > last) std::swap(first, last);
    bool found = false;
    for (HWND c : ChildrenOf(dialog)) {
        int id = GetDlgCtrlID(c);
        if (id < first || id > last) continue;
        SendMessageW(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
        found = found || id == check;
    }
    return found ? TRUE : FALSE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item == nullptr ? 0 : static_cast<UINT>(SendMessageW(item, BM_GETCHECK, 0, 0));
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item == nullptr ? 0 : SendMessageW(item, msg, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item == nullptr ? 0 : SendMessageA(item, msg, wParam, lParam);
}
