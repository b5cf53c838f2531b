#include "skin/skingraphics.h"

#include "foundation/language.h"
#include "platform/dlg.h"
#include "skin/skinlib.h"

#include <algorithm>

namespace {

struct Style {
    string link;
    bool bold = false, italic = false, underline = false;
    string face; // the base's whole description, or a face from a font tag
    string size;
    COLORREF color = 0;
};

enum TagKind { kNone, kEnd, kBold, kItalic, kUnderline, kLink, kFont };

bool StartsWith(const TCHAR* p, const TCHAR* end, const char* word) {
    for (; *word; ++word, ++p) {
        if (p >= end) return false;
        if (FoldLower<TCHAR>(*p) != *word) return false;
    }
    return true;
}

TagKind TagAt(const TCHAR* p, const TCHAR* end) {
    if (p >= end || *p != '<') return kNone;
    if (StartsWith(p, end, "</")) return kEnd;
    if (StartsWith(p, end, "<b>")) return kBold;
    if (StartsWith(p, end, "<i>")) return kItalic;
    if (StartsWith(p, end, "<u>")) return kUnderline;
    if (StartsWith(p, end, "<a href=")) return kLink;
    if (StartsWith(p, end, "<font ")) return kFont;
    return kNone;
}

bool IsBreak(TCHAR c) {
    return c == '\r' || c == '\n';
}

const TCHAR* SkipTo(const TCHAR* p, const TCHAR* end, TCHAR c) {
    while (p < end && *p != c)
        ++p;
    return p < end ? p + 1 : end;
}

// A value that may be quoted: quoted, it runs to the closing quote; unquoted, to a blank,
// ">", a quote or the end. `p` moves past it.
string Value(const TCHAR*& p, const TCHAR* end, bool quotable) {
    const TCHAR* start;
    if (quotable && p < end && *p == '"') {
        start = ++p;
        while (p < end && *p != '"' && *p != '>')
            ++p;
        string v(start, static_cast<std::size_t>(p - start));
        if (p < end && *p == '"') ++p;
        return v;
    }
    start = p;
    while (p < end && *p != ' ' && *p != '\t' && *p != '>' && *p != '"')
        ++p;
    return string(start, static_cast<std::size_t>(p - start));
}

// Applies the tag at `p` and returns the text after it.
const TCHAR* ApplyTag(TagKind kind, const TCHAR* p, const TCHAR* end, cetl::vector<Style>& styles) {
    Style next = styles.last();
    switch (kind) {
    case kEnd:
        if (styles.size() > 1) styles.remove(styles.size() - 1);
        return SkipTo(p, end, '>');
    case kBold:
        next.bold = true;
        styles.add(next);
        return p + 3;
    case kItalic:
        next.italic = true;
        styles.add(next);
        return p + 3;
    case kUnderline:
        next.underline = true;
        styles.add(next);
        return p + 3;
    case kLink: {
        p += 8;
        next.link = Value(p, end, true);
        styles.add(next);
        return SkipTo(p, end, '>');
    }
    case kFont: {
        p += 6;
        string face, size, color;
        bool hasFace = false, hasSize = false, hasColor = false;
        while (p < end && *p != '>') {
            while (p < end && (*p == ' ' || *p == '\t'))
                ++p;
            if (p >= end || *p == '>') break;
            if (StartsWith(p, end, "face=")) {
                p += 5;
                face = Value(p, end, true);
                hasFace = true;
            } else if (StartsWith(p, end, "size=")) {
                p += 5;
                size = Value(p, end, false);
                hasSize = true;
            } else if (StartsWith(p, end, "color=")) {
                p += 6;
                color = Value(p, end, false);
                hasColor = true;
            } else {
                Value(p, end, false); // an attribute this markup does not know
                if (p < end && *p == '"') ++p;
            }
        }
        if (hasFace) next.face = face;
        if (hasSize) next.size = size;
        if (hasColor) next.color = SkinColor(color.c_str());
        styles.add(next);
        return SkipTo(p, end, '>');
    }
    default:
        return p;
    }
}

string Description(const Style& s) {
    string d = s.face;
    if (!s.size.empty()) d += string(",") + s.size;
    if (s.bold) d += ",B";
    if (s.italic) d += ",I";
    if (s.underline) d += ",U";
    return d;
}

bool Continuation(TCHAR c) {
    return sizeof(TCHAR) == 1 && (static_cast<unsigned>(c) & 0xC0) == 0x80;
}

// The end of the character at `i`: a lead byte takes at most three continuation bytes, so
// damaged text still splits into pieces of at most four bytes.
std::size_t NextChar(const TCHAR* text, std::size_t i, std::size_t n) {
    std::size_t j = i + 1;
    while (j < n && j - i < 4 && Continuation(text[j]))
        ++j;
    return j;
}

LONG Width(HDC dc, const TCHAR* text, std::size_t n, LONG* height) {
    SIZE size{0, 0};
    GetTextExtentPoint32(dc, text, static_cast<int>(n), &size);
    if (height) *height = size.cy;
    return size.cx;
}

// How many characters of `text` fit in `room`: whole words only, or (anywhere) at any
// character boundary.
std::size_t Fit(HDC dc, const TCHAR* text, std::size_t n, LONG room, bool anywhere) {
    cetl::vector<std::size_t> ends; // where each character ends
    for (std::size_t i = 0; i < n; i = NextChar(text, i, n))
        ends.add(NextChar(text, i, n));
    // The most characters no wider than the room, by bisection (widths only grow).
    std::size_t lo = 0, hi = ends.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi + 1) / 2;
        if (Width(dc, text, ends[mid - 1], nullptr) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    std::size_t k = lo ? ends[lo - 1] : 0;
    if (k == n || anywhere) return k;
    // Back to the end of a word: a line ends after a blank, so the next starts with a word.
    while (k > 0 && text[k - 1] != ' ')
        --k;
    return k;
}

} // namespace

int StaticTextLayout(DWORD style, int skinLayout) {
    switch (style & SS_TYPEMASK) {
    case SS_RIGHT:
        return kMarkupRight;
    case SS_CENTER:
        return kMarkupCenter;
    default:
        return skinLayout;
    }
}

void LayOutMarkup(const TCHAR* text, const RECT& area, int layout, const TCHAR* baseFont,
                  COLORREF baseColor, cetl::vector<MarkupItem>& items) {
    items.clear();
    if (!text) return;
    const TCHAR* p = text;
    const TCHAR* end = text;
    while (*end)
        ++end;
    cetl::vector<Style> styles;
    Style base;
    base.face = baseFont ? baseFont : "";
    base.color = baseColor;
    styles.add(base);

    HDC dc = CreateCompatibleDC(nullptr);
    LONG left = area.left, right = area.right;
    LONG x = left, offset = 0;
    while (p < end) {
        if (IsBreak(*p)) {
            if (x != left) {
                x = left; // the line ends here; the break itself is taken at the left edge
                continue;
            }
            bool first = true;
            while (p < end && IsBreak(*p)) {
                p += (p[0] == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
                if (!first) offset += 8;
                first = false;
            }
            continue;
        }
        TagKind kind = TagAt(p, end);
        if (kind != kNone) {
            p = ApplyTag(kind, p, end, styles);
            continue;
        }
        const TCHAR* stop = p + 1;
        while (stop < end && !IsBreak(*stop) && TagAt(stop, end) == kNone)
            ++stop;
        const Style& style = styles.last();
        MarkupItem item;
        item.font = Description(style);
        item.color = style.color;
        item.link = style.link;
        HFONT font = FontFromDescription(item.font.c_str());
        HGDIOBJ old = SelectObject(dc, font);
        std::size_t n = static_cast<std::size_t>(stop - p);
        std::size_t fit = Fit(dc, p, n, right - x, false);
        if (fit == 0 && x != left) {
            x = left;
            fit = Fit(dc, p, n, right - x, false);
        }
        if (fit == 0) fit = Fit(dc, p, n, right - x, true);
        if (fit == 0) fit = NextChar(p, 0, n);
        LONG height = 0;
        LONG width = Width(dc, p, fit, &height);
        SelectObject(dc, old);
        DeleteObject(font);
        item.text = string(p, fit);
        item.rect = RECT{x, area.top + offset, x + width, area.top + offset + height};
        items.add(item);
        x += width;
        p += fit;
        if ((p < end && IsBreak(*p)) || x >= right) x = left;
    }
    DeleteDC(dc);

    // Lines: runs of items whose left edges increase; each is aligned and sits on the line's
    // bottom, below the lines before it.
    LONG above = 0;
    std::size_t i = 0;
    while (i < items.size()) {
        std::size_t j = i + 1;
        while (j < items.size() && items[j].rect.left > items[j - 1].rect.left)
            ++j;
        LONG width = 0, height = 0;
        for (std::size_t k = i; k < j; ++k) {
            width += items[k].rect.right - items[k].rect.left;
            height = std::max(height, items[k].rect.bottom - items[k].rect.top);
        }
        LONG spare = (right - left) - width;
        LONG dx = layout == kMarkupRight ? spare : layout == kMarkupCenter ? spare / 2 : 0;
        for (std::size_t k = i; k < j; ++k) {
            RECT& r = items[k].rect;
            LONG dy = above + height - (r.bottom - r.top);
            r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
        }
        above += height ? height : 8;
        i = j;
    }
}

void DrawMarkup(HDC dc, const cetl::vector<MarkupItem>& items) {
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = GetTextColor(dc);
    for (const MarkupItem& item : items) {
        HFONT font = FontFromDescription(item.font.c_str());
        HGDIOBJ old = SelectObject(dc, font);
        SetTextColor(dc, item.color);
        TextOut(dc, item.rect.left, item.rect.top, item.text.c_str(),
                static_cast<int>(item.text.length()));
        SelectObject(dc, old);
        DeleteObject(font);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

const MarkupItem* MarkupLinkAt(const cetl::vector<MarkupItem>& items, POINT point) {
    for (const MarkupItem& item : items)
        if (!item.link.empty() && point.x >= item.rect.left && point.x < item.rect.right &&
            point.y >= item.rect.top && point.y < item.rect.bottom)
            return &item;
    return nullptr;
}
