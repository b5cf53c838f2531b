// Message boxes: a dialog made on the fly with an icon, the text and one of the button sets.
#include "platform/core/control_internal.h"
#include "platform/core/dialog_internal.h"
#include "platform/core/driver.h"
#include "platform/core/window_internal.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace platform::dlg {
namespace {

struct Answers {
    std::mutex lock;
    std::deque<int> queued;
    MessageBoxAnswer hook = nullptr;
};
Answers& GetAnswers() {
    static auto* a = new Answers;
    return *a;
}

struct ButtonSpec {
    int id;
    const char16_t* text;
};

std::vector<ButtonSpec> ButtonsFor(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

// The icon's static carries its kind in its text; the message box's icon control draws it.
constexpr WORD kIconId = 0xFFF0;
constexpr WORD kTextId = 0xFFFF;
constexpr int kIconSize = 32;

struct BoxState {
    UINT type;
    std::vector<ButtonSpec> buttons;
};

INT_PTR CALLBACK BoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    auto* st = reinterpret_cast<const BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
    if (st == nullptr) return FALSE;
    const int id = LOWORD(wParam);
    for (const ButtonSpec& b : st->buttons) {
        if (b.id == id) {
            EndDialog(box, id);
            return TRUE;
        }
    }
    // Escape or closing a box with a lone OK answers OK; other boxes without Cancel stay.
    if (id == IDCANCEL && st->buttons.size() == 1) EndDialog(box, st->buttons.front().id);
    return TRUE;
}

void DrawIcon(HDC hdc, int x, int y, UINT icon) {
    COLORREF fill = RGB(0, 64, 192);
    const char16_t* glyph = u"i";
    if (icon == MB_ICONHAND) {
        fill = RGB(200, 0, 0);
        glyph = u"X";
    } else if (icon == MB_ICONQUESTION) {
        glyph = u"?";
    } else if (icon == MB_ICONEXCLAMATION) {
        fill = RGB(230, 180, 0);
        glyph = u"!";
    }
    const double r = kIconSize / 2.0;
    for (int py = 0; py < kIconSize; ++py) {
        for (int px = 0; px < kIconSize; ++px) {
            double dx = px + 0.5 - r, dy = py + 0.5 - r;
            double d2 = dx * dx + dy * dy;
            if (d2 <= (r - 1) * (r - 1)) {
                SetPixel(hdc, x + px, y + py, fill);
            } else if (d2 <= r * r) {
                SetPixel(hdc, x + px, y + py, RGB(64, 64, 64));
            }
        }
    }
    HFONT font = gdi::FontFromDescription(u"DejaVu Sans,-22,B", false);
    HGDIOBJ old = font != nullptr ? SelectObject(hdc, font) : nullptr;
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, icon == MB_ICONEXCLAMATION ? RGB(0, 0, 0) : RGB(255, 255, 255));
    RECT rect{x, y, x + kIconSize, y + kIconSize};
    DrawTextW(hdc, glyph, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (old != nullptr) SelectObject(hdc, old);
    if (font != nullptr) DeleteObject(font);
}

bool NullDriver() {
    const char* name = driver::Current().name;
    return name != nullptr && std::strcmp(name, "null") == 0;
}

// Which button answers without a person: a queued answer, the hook, or (headless) the first.
int AutomaticAnswer(HWND box, UINT type, const std::vector<ButtonSpec>& buttons) {
    Answers& a = GetAnswers();
    MessageBoxAnswer hook = nullptr;
    {
        std::lock_guard lock(a.lock);
        if (!a.queued.empty()) {
            int id = a.queued.front();
            a.queued.pop_front();
            return id;
        }
        hook = a.hook;
    }
    if (hook != nullptr) {
        int id = hook(box, type);
        if (id != 0) return id;
    }
    return NullDriver() ? buttons.front().id : 0;
}

int DluX(int px, SIZE base) {
    return (px * 4 + base.cx - 1) / base.cx;
}
int DluY(int px, SIZE base) {
    return (px * 8 + base.cy - 1) / base.cy;
}

} // namespace

void SetMessageBoxAnswer(MessageBoxAnswer hook) {
    Answers& a = GetAnswers();
    std::lock_guard lock(a.lock);
    a.hook = hook;
}

void QueueMessageBoxAnswer(int id) {
    Answers& a = GetAnswers();
    std::lock_guard lock(a.lock);
    a.queued.push_back(id);
}

void ClearMessageBoxAnswers() {
    Answers& a = GetAnswers();
    std::lock_guard lock(a.lock);
    a.queued.clear();
    a.hook = nullptr;
}

bool IsMessageBoxIcon(HWND control) {
    return GetDlgCtrlID(control) == kIconId && IsClass(control, u"Static") &&
           GetParent(control) != nullptr;
}

void DrawMessageBoxIcon(HWND control, HDC hdc) {
    std::u16string kind = TextOf(control);
    UINT icon = kind == u"X"   ? MB_ICONHAND
                : kind == u"?" ? MB_ICONQUESTION
                : kind == u"!" ? MB_ICONEXCLAMATION
                               : MB_ICONASTERISK;
    DrawIcon(hdc, 0, 0, icon);
}

} // namespace platform::dlg

using namespace platform::dlg;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    BoxState state{type, ButtonsFor(type)};
    const UINT icon = type & MB_ICONMASK;
    HFONT font = DefaultDialogFont();
    const SIZE base = BaseUnitsOf(font);
    const std::u16string message = text != nullptr ? std::u16string(text) : std::u16string();

    // Lay the text out in pixels within what fits the screen, then express it in dialog units.
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int margin = base.cx * 2;
    const int iconW = icon != 0 ? kIconSize + margin : 0;
    const int maxText =
        std::max(screenW - 2 * margin - iconW - 2 * GetSystemMetrics(SM_CXDLGFRAME), base.cx * 10);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT textRect{0, 0, maxText, 0};
    DrawTextW(dc, message.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteDC(dc);
    const int textW = std::max<int>(textRect.right - textRect.left, base.cx);
    const int textH = std::max<int>(textRect.bottom - textRect.top, base.cy);

    const short m = 7, buttonW = 40, buttonH = 14, gap = 4;
    const short iconDlu = static_cast<short>(icon != 0 ? DluX(kIconSize, base) + m : 0);
    const short textDluW = static_cast<short>(DluX(textW, base));
    const short textDluH =
        static_cast<short>(std::max(DluY(textH, base), icon != 0 ? DluY(kIconSize, base) : 0));
    const short buttonsW =
        static_cast<short>(state.buttons.size() * buttonW + (state.buttons.size() - 1) * gap);
    const short cx =
        static_cast<short>(std::max<int>(m + iconDlu + textDluW + m, buttonsW + 2 * m));
    const short cy = static_cast<short>(m + textDluH + m + buttonH + m);

    platform::resource::DialogTemplate tpl;
    tpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
    tpl.cx = cx;
    tpl.cy = cy;
    tpl.title = caption != nullptr ? std::u16string(caption) : std::u16string(u"Error");
    if (icon != 0) {
        platform::resource::DialogItem item;
        item.style = WS_CHILD | WS_VISIBLE | SS_ICON;
        item.x = m;
        item.y = m;
        item.cx = static_cast<short>(DluX(kIconSize, base));
        item.cy = static_cast<short>(DluY(kIconSize, base));
        item.id = kIconId;
        item.classAtom = 0x82;
        item.title = icon == MB_ICONHAND          ? u"X"
                     : icon == MB_ICONQUESTION    ? u"?"
                     : icon == MB_ICONEXCLAMATION ? u"!"
                                                  : u"i";
        tpl.items.push_back(item);
    }
    {
        platform::resource::DialogItem item;
        item.style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP;
        item.x = static_cast<short>(m + iconDlu);
        item.y = m;
        item.cx = textDluW;
        item.cy = textDluH;
        item.id = kTextId;
        item.classAtom = 0x82;
        item.title = message;
        tpl.items.push_back(item);
    }
    const std::size_t defIndex =
        std::min<std::size_t>((type & MB_DEFMASK) >> 8, state.buttons.size() - 1);
    short x = static_cast<short>((cx - buttonsW) / 2);
    for (std::size_t i = 0; i < state.buttons.size(); ++i) {
        platform::resource::DialogItem item;
        item.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                     (i == defIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (i == 0 ? WS_GROUP : 0);
        item.x = x;
        item.y = static_cast<short>(cy - m - buttonH);
        item.cx = buttonW;
        item.cy = buttonH;
        item.id = static_cast<DWORD>(state.buttons[i].id);
        item.classAtom = 0x80;
        item.title = state.buttons[i].text;
        tpl.items.push_back(item);
        x = static_cast<short>(x + buttonW + gap);
    }

    HWND box =
        CreateFromTemplate(nullptr, tpl, owner, BoxProc, reinterpret_cast<LPARAM>(&state), true);
    if (box == nullptr) return 0;
    HWND defButton = GetDlgItem(box, state.buttons[defIndex].id);
    if (defButton != nullptr) SetFocus(defButton);
    return static_cast<int>(RunModal(box, owner, [&](HWND shown) {
        int answer = AutomaticAnswer(shown, type, state.buttons);
        if (answer == 0) return;
        // Pressed like a person would, so the box's own path decides the result. An answer the
        // box does not offer is taken as its first button.
        HWND button = GetDlgItem(shown, answer);
        if (button == nullptr || ButtonType(button) < 0) {
            button = GetDlgItem(shown, state.buttons.front().id);
        }
        PostMessageW(button, BM_CLICK, 0, 0);
    }));
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::u16string wideText = text != nullptr ? platform::wm::FromNarrow(text) : std::u16string();
    std::u16string wideCaption =
        caption != nullptr ? platform::wm::FromNarrow(caption) : std::u16string();
    return MessageBoxW(owner, text != nullptr ? wideText.c_str() : nullptr,
                       caption != nullptr ? wideCaption.c_str() : nullptr, type);
}
