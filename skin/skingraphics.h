// Markup text of the skinned pages: <b>, <i>, <u>, <a href=...>, <font face= size= color=>
// and </...> broken into styled runs, wrapped to a rectangle, aligned line by line and drawn
// item by item. Malformed markup never fails: an unknown tag is text, a stray end tag is
// ignored, an unterminated tag ends with the text, a bad colour is black.
#pragma once

#include "foundation/cetl.h"
#include "foundation/tl_string.h"
#include "platform/gdi.h"

enum MarkupLayout { kMarkupLeft = 0, kMarkupRight = 1, kMarkupCenter = 2 };

// One laid-out piece of text with the style it is drawn in.
struct MarkupItem {
    string text;
    RECT rect{};
    string font; // font description: face[,size][,B][,I][,U]
    COLORREF color = 0;
    string link; // the address of an enclosing <a href=...>, else empty
};

// The text layout of a static text control: its own right-aligned or centred style wins over
// the skin's layout.
int StaticTextLayout(DWORD style, int skinLayout);

// Rebuilds `items` from `text` inside `area` (the control's client rectangle less its text
// borders) with the base font description and colour of the control.
void LayOutMarkup(const TCHAR* text, const RECT& area, int layout, const TCHAR* baseFont,
                  COLORREF baseColor, cetl::vector<MarkupItem>& items);
// Draws every item with its font and colour.
void DrawMarkup(HDC dc, const cetl::vector<MarkupItem>& items);
// The item under `point` that carries a link, or null.
const MarkupItem* MarkupLinkAt(const cetl::vector<MarkupItem>& items, POINT point);
