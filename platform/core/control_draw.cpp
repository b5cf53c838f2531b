// How the standard controls look: classic 3-D edges, check marks, radio dots, etched group
// frames and embossed grey text when disabled.
#include "platform/core/control_internal.h"

#include <algorithm>
#include <cmath>

namespace platform::dlg {
namespace {

constexpr int kBoxSize = 13;   // check box square
constexpr int kRadioSize = 12; // radio circle
constexpr int kTextGap = 4;

void Fill(HDC hdc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(hdc, &r, brush);
    DeleteObject(brush);
}

UINT PrefixFlag(DWORD style, bool isStatic) {
    return isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
}

// Disabled text is embossed: a highlight copy one pixel down and right under the grey text.
void Text(HDC hdc, const std::u16string& text, RECT r, UINT format, bool enabled, HFONT font,
          COLORREF colour) {
    if (text.empty()) return;
    HGDIOBJ oldFont = font != nullptr ? SelectObject(hdc, font) : nullptr;
    int oldMode = SetBkMode(hdc, TRANSPARENT);
    COLORREF oldColour = GetTextColor(hdc);
    if (!enabled) {
        RECT shadow{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
        SetTextColor(hdc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(hdc, text.c_str(), -1, &shadow, format);
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(hdc, colour);
    }
    DrawTextW(hdc, text.c_str(), -1, &r, format);
    SetTextColor(hdc, oldColour);
    SetBkMode(hdc, oldMode);
    if (oldFont != nullptr) SelectObject(hdc, oldFont);
}

// The rectangle the text takes when laid out in `r` with `format` (single line or wrapped).
RECT TextBounds(HDC hdc, const std::u16string& text, RECT r, UINT format, HFONT font) {
    HGDIOBJ oldFont = font != nullptr ? SelectObject(hdc, font) : nullptr;
    RECT calc = r;
    DrawTextW(hdc, text.c_str(), -1, &calc, format | DT_CALCRECT);
    if (oldFont != nullptr) SelectObject(hdc, oldFont);
    int width = calc.right - calc.left, height = calc.bottom - calc.top;
    RECT out = r;
    if (format & DT_CENTER) {
        out.left = r.left + (r.right - r.left - width) / 2;
    } else if (format & DT_RIGHT) {
        out.left = r.right - width;
    }
    out.right = out.left + width;
    if (format & DT_VCENTER) out.top = r.top + (r.bottom - r.top - height) / 2;
    out.bottom = out.top + height;
    return out;
}

void FocusAround(HDC hdc, RECT r, const RECT& clip) {
    InflateRectBy(r, 1, 1);
    r.left = std::max(r.left, clip.left);
    r.top = std::max(r.top, clip.top);
    r.right = std::min(r.right, clip.right);
    r.bottom = std::min(r.bottom, clip.bottom);
    DrawFocusRect(hdc, &r);
}

void CheckMark(HDC hdc, int x, int y, COLORREF colour) {
    // A tick 7 pixels wide and 3 thick inside the 9 x 9 interior.
    for (int i = 0; i < 7; ++i) {
        int top = i < 3 ? y + 2 + i : y + 4 - (i - 2);
        Fill(hdc, x + i, top, x + i + 1, top + 3, colour);
    }
}

void PushButton(HDC hdc, const RECT& rect, const ButtonLook& look) {
    RECT r = rect;
    Fill(hdc, r.left, r.top, r.right, r.bottom, GetSysColor(COLOR_BTNFACE));
    const bool pushed = (look.state & BST_PUSHED) != 0;
    if (look.isDefault && look.enabled) {
        // The default button wears an extra dark frame.
        RECT frame = r;
        HBRUSH dark = CreateSolidBrush(GetSysColor(COLOR_3DDKSHADOW));
        RECT edges[4] = {{frame.left, frame.top, frame.right, frame.top + 1},
                         {frame.left, frame.bottom - 1, frame.right, frame.bottom},
                         {frame.left, frame.top, frame.left + 1, frame.bottom},
                         {frame.right - 1, frame.top, frame.right, frame.bottom}};
        for (const RECT& e : edges)
            FillRect(hdc, &e, dark);
        DeleteObject(dark);
        InflateRectBy(r, -1, -1);
    }
    if (pushed) {
        // Pressed: a flat shadow frame, the caption moved down and right.
        HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
        RECT edges[4] = {{r.left, r.top, r.right, r.top + 1},
                         {r.left, r.bottom - 1, r.right, r.bottom},
                         {r.left, r.top, r.left + 1, r.bottom},
                         {r.right - 1, r.top, r.right, r.bottom}};
        for (const RECT& e : edges)
            FillRect(hdc, &e, shadow);
        DeleteObject(shadow);
    } else {
        RECT edge = r;
        DrawEdge(hdc, &edge, EDGE_RAISED, BF_RECT);
    }
    RECT textArea{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    if (pushed) OffsetRectBy(textArea, 1, 1);
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    Text(hdc, look.text, textArea, format, look.enabled, look.font, GetSysColor(COLOR_BTNTEXT));
    if ((look.state & BST_FOCUS) && look.enabled) {
        RECT focus{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
        if (focus.right > focus.left && focus.bottom > focus.top) DrawFocusRect(hdc, &focus);
    }
}

void Radio(HDC hdc, int x, int y, bool checked, bool interiorLit) {
    // Classic two-ring circle: shadows top-left, highlights bottom-right, white inside.
    const double c = (kRadioSize - 1) / 2.0;
    for (int py = 0; py < kRadioSize; ++py) {
        for (int px = 0; px < kRadioSize; ++px) {
            double dx = px - c, dy = py - c;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d > c + 0.5) continue;
            bool upperLeft = dx + dy < 0;
            COLORREF colour;
            if (d > c - 0.5) {
                colour = GetSysColor(upperLeft ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT);
            } else if (d > c - 1.5) {
                colour = GetSysColor(upperLeft ? COLOR_3DDKSHADOW : COLOR_3DLIGHT);
            } else if (checked && d < 2.0) {
                colour = GetSysColor(COLOR_WINDOWTEXT);
            } else {
                colour = GetSysColor(interiorLit ? COLOR_WINDOW : COLOR_BTNFACE);
            }
            SetPixel(hdc, x + px, y + py, colour);
        }
    }
}

void CheckOrRadio(HDC hdc, const RECT& rect, const ButtonLook& look, bool radio) {
    const int size = radio ? kRadioSize : kBoxSize;
    const bool leftText = (look.style & BS_LEFTTEXT) != 0;
    const int markX = leftText ? rect.right - size : rect.left;
    const int markY = rect.top + (rect.bottom - rect.top - size) / 2;
    const bool pushed = (look.state & BST_PUSHED) != 0;
    const bool lit = look.enabled && !pushed;
    const UINT check = look.state & (BST_CHECKED | BST_INDETERMINATE);
    if (radio) {
        Radio(hdc, markX, markY, check != 0, lit);
    } else {
        RECT box{markX, markY, markX + size, markY + size};
        DrawEdge(hdc, &box, EDGE_SUNKEN, BF_RECT);
        Fill(hdc, markX + 2, markY + 2, markX + size - 2, markY + size - 2,
             GetSysColor(lit ? COLOR_WINDOW : COLOR_BTNFACE));
        if (check != 0) {
            COLORREF mark = GetSysColor(check == BST_CHECKED && look.enabled ? COLOR_WINDOWTEXT
                                                                             : COLOR_GRAYTEXT);
            CheckMark(hdc, markX + 3, markY + 3, mark);
        }
    }
    RECT textArea = rect;
    if (leftText) {
        textArea.right = markX - kTextGap;
    } else {
        textArea.left = markX + size + kTextGap;
    }
    const UINT format = DT_VCENTER | DT_SINGLELINE | (leftText ? DT_RIGHT : DT_LEFT);
    Text(hdc, look.text, textArea, format, look.enabled, look.font, GetSysColor(COLOR_BTNTEXT));
    if ((look.state & BST_FOCUS) && !look.text.empty()) {
        FocusAround(hdc, TextBounds(hdc, look.text, textArea, format, look.font), rect);
    }
}

void GroupBox(HDC hdc, const RECT& rect, const ButtonLook& look) {
    TEXTMETRICW tm{};
    HGDIOBJ oldFont = look.font != nullptr ? SelectObject(hdc, look.font) : nullptr;
    GetTextMetricsW(hdc, &tm);
    if (oldFont != nullptr) SelectObject(hdc, oldFont);
    RECT frame = rect;
    frame.top += tm.tmHeight / 2;
    DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
    if (look.text.empty()) return;
    RECT textArea{rect.left + 8, rect.top, rect.right - 8, rect.top + tm.tmHeight};
    RECT bounds = TextBounds(hdc, look.text, textArea, DT_LEFT | DT_SINGLELINE, look.font);
    // The caption interrupts the frame.
    Fill(hdc, bounds.left - 2, bounds.top, std::min(bounds.right + 2, textArea.right),
         bounds.bottom, GetSysColor(COLOR_BTNFACE));
    Text(hdc, look.text, textArea, DT_LEFT | DT_SINGLELINE, look.enabled, look.font,
         GetSysColor(COLOR_BTNTEXT));
}

} // namespace

void InflateRectBy(RECT& r, int dx, int dy) {
    r.left -= dx;
    r.top -= dy;
    r.right += dx;
    r.bottom += dy;
}

void OffsetRectBy(RECT& r, int dx, int dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
}

void DrawButton(HDC hdc, const RECT& rect, const ButtonLook& look) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    const int type = static_cast<int>(look.style & BS_TYPEMASK);
    switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
        CheckOrRadio(hdc, rect, look, false);
        break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        CheckOrRadio(hdc, rect, look, true);
        break;
    case BS_GROUPBOX:
        GroupBox(hdc, rect, look);
        break;
    default:
        PushButton(hdc, rect, look);
        break;
    }
}

void DrawStatic(HDC hdc, const RECT& rect, DWORD style, const std::u16string& text, bool enabled,
                HFONT font) {
    const DWORD type = style & SS_TYPEMASK;
    UINT format = PrefixFlag(style, true);
    if (type == SS_CENTER) {
        format |= DT_CENTER | DT_WORDBREAK;
    } else if (type == SS_RIGHT) {
        format |= DT_RIGHT | DT_WORDBREAK;
    } else if (type == SS_LEFTNOWORDWRAP) {
        format |= DT_LEFT | DT_SINGLELINE;
    } else {
        format |= DT_LEFT | DT_WORDBREAK;
    }
    if (style & SS_CENTERIMAGE)
        format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_VCENTER | DT_SINGLELINE;
    Text(hdc, text, rect, format, enabled, font, GetSysColor(COLOR_WINDOWTEXT));
}

} // namespace platform::dlg
