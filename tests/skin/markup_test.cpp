// Markup: tags and styles, the colour notation, breaking, fitting and aligning.
#include "skin/skingraphics.h"

#include "foundation/language.h"
#include "foundation/memory.h"
#include "platform/dlg.h"
#include "platform/user.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const RECT kWide{10, 20, 410, 300};

struct Laid {
    cetl::vector<MarkupItem> items;
    Laid(const char* text, RECT area = kWide, int layout = kMarkupLeft,
         const char* font = "Arial,-14,I", COLORREF color = 0x02000080) {
        LayOutMarkup(text, area, layout, font, color, items);
    }
    std::string Text(std::size_t i) { return items[i].text.c_str(); }
    std::string Font(std::size_t i) { return items[i].font.c_str(); }
    std::string All() {
        std::string s;
        for (const MarkupItem& item : items)
            s += std::string(item.text.c_str()) + "|";
        return s;
    }
};

LOGFONT FontOf(const MarkupItem& item) {
    LOGFONT lf{};
    HFONT font = FontFromDescription(item.font.c_str());
    GetObject(font, sizeof lf, &lf);
    DeleteObject(font);
    return lf;
}

TEST(MarkupTags, StylesOpenAndClose) {
    Laid l("<b>Install</b> now");
    ASSERT_EQ(l.items.size(), 2u);
    EXPECT_EQ(l.Text(0), "Install");
    EXPECT_EQ(l.Font(0), "Arial,-14,I,B");
    LOGFONT lf = FontOf(l.items[0]);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_EQ(lf.lfHeight, -14);
    EXPECT_EQ(l.Text(1), " now");
    EXPECT_EQ(l.Font(1), "Arial,-14,I");
    EXPECT_EQ(l.items[0].rect.right, l.items[1].rect.left);

    Laid u("<U>a<I>b</x></I>c");
    ASSERT_EQ(u.items.size(), 3u);
    EXPECT_EQ(u.Font(0), "Arial,-14,I,U");
    EXPECT_EQ(u.Font(1), "Arial,-14,I,I,U");
    EXPECT_EQ(u.Font(2), "Arial,-14,I");
}

TEST(MarkupTags, FontTagsSetFaceSizeAndColour) {
    Laid title("<font face=arial size=18><i>Tessark Setup</i></font>", kWide, kMarkupLeft,
               "Arial,-14");
    ASSERT_EQ(title.items.size(), 1u);
    EXPECT_EQ(title.Text(0), "Tessark Setup");
    EXPECT_EQ(title.Font(0), "arial,18,I");
    LOGFONT lf = FontOf(title.items[0]);
    HDC screen = GetDC(nullptr);
    LONG perInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(lf.lfHeight, -(18 * perInch / 72));
    EXPECT_TRUE(lf.lfItalic);

    Laid colours("<font color=#8DA4E8>x</font><font color=#8DA4E>y</font>"
                 "<font  size=-20   color=00FF00 face=\"Deja Vu\">z</font>"
                 "<font bogus=1>w</font>");
    ASSERT_EQ(colours.items.size(), 4u);
    EXPECT_EQ(colours.items[0].color, 0x02E8A48Du);
    EXPECT_EQ(colours.items[1].color, 0u);
    EXPECT_EQ(colours.items[2].color, 0x0200FF00u);
    EXPECT_EQ(colours.Font(2), "Deja Vu,-20");
    EXPECT_EQ(colours.items[3].color, 0x02000080u); // changes nothing
    EXPECT_EQ(colours.Font(3), "Arial,-14,I");
}

TEST(MarkupTags, LinksAreKeptOnTheItems) {
    Laid l("see <a href=\"mailto:help@orvane.example\">help</a> or <A HREF=site>site</a>");
    ASSERT_EQ(l.items.size(), 4u);
    EXPECT_EQ(std::string(l.items[1].link.c_str()), "mailto:help@orvane.example");
    EXPECT_EQ(std::string(l.items[3].link.c_str()), "site");
    EXPECT_TRUE(l.items[0].link.empty());
    const RECT& r = l.items[1].rect;
    const MarkupItem* hit = MarkupLinkAt(l.items, POINT{r.left + 1, r.top + 1});
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(std::string(hit->text.c_str()), "help");
    EXPECT_EQ(MarkupLinkAt(l.items, POINT{l.items[0].rect.left, l.items[0].rect.top}), nullptr);
}

TEST(MarkupTags, MalformedMarkupIsTextOrIgnored) {
    EXPECT_EQ(Laid("I <3 Tessark").All(), "I <3 Tessark|");
    EXPECT_EQ(Laid("<3").All(), "<3|");
    EXPECT_EQ(Laid("</b>stray end").All(), "stray end|");
    EXPECT_EQ(Laid("open <font face=x").All(), "open |");
    EXPECT_EQ(Laid("<a href=\"never closed").All(), "");
    EXPECT_EQ(Laid("<bold>").All(), "<bold>|");
    EXPECT_EQ(Laid("").All(), "");
}

TEST(MarkupLayout, BreaksAndTheirExtraSpace) {
    Laid one("A\nB");
    Laid three("A\n\n\nB");
    ASSERT_EQ(one.items.size(), 2u);
    ASSERT_EQ(three.items.size(), 2u);
    EXPECT_EQ(three.items[1].rect.top - one.items[1].rect.top, 16);
    EXPECT_EQ(one.items[1].rect.left, kWide.left);
    EXPECT_EQ(one.items[1].rect.top, one.items[0].rect.bottom);
    // CR LF is one break.
    Laid crlf("A\r\nB");
    EXPECT_EQ(crlf.items[1].rect.top, one.items[1].rect.top);
    // A break after a tag still ends the line.
    Laid tagged("A<b>\nB</b>");
    ASSERT_EQ(tagged.items.size(), 2u);
    EXPECT_EQ(tagged.items[1].rect.left, kWide.left);
    EXPECT_GT(tagged.items[1].rect.top, tagged.items[0].rect.top);
}

TEST(MarkupLayout, WordsWrapAndLongWordsSplit) {
    const RECT narrow{0, 0, 120, 400};
    Laid wrapped("one two three four five six seven eight nine ten", narrow);
    ASSERT_GT(wrapped.items.size(), 2u);
    std::string joined;
    for (const MarkupItem& item : wrapped.items) {
        EXPECT_LE(item.rect.right, narrow.right) << item.text.c_str();
        std::string t = item.text.c_str();
        bool last = &item == &wrapped.items.last();
        EXPECT_TRUE(!t.empty() && (t.back() == ' ' || last)) << "[" << t << "] " << wrapped.All();
        joined += t;
    }
    EXPECT_EQ(joined, "one two three four five six seven eight nine ten");

    Laid split("Supercalifragilisticexpialidocious", RECT{0, 0, 60, 400});
    ASSERT_GT(split.items.size(), 2u);
    std::string whole;
    for (std::size_t i = 0; i < split.items.size(); ++i) {
        EXPECT_LE(split.items[i].rect.right, 60);
        EXPECT_EQ(split.items[i].rect.left, 0);
        if (i) {
            EXPECT_GT(split.items[i].rect.top, split.items[i - 1].rect.top);
        }
        whole += split.Text(i);
    }
    EXPECT_EQ(whole, "Supercalifragilisticexpialidocious");
    // Room for nothing still takes one character a line.
    Laid tiny("ab", RECT{0, 0, 1, 100});
    EXPECT_EQ(tiny.All(), "a|b|");
}

TEST(MarkupLayout, LinesAlignAndShareTheirBottom) {
    const RECT area{0, 0, 300, 200};
    Laid left("<font size=-30>Big</font> small", area, kMarkupLeft, "Arial,-12");
    Laid right("<font size=-30>Big</font> small", area, kMarkupRight, "Arial,-12");
    Laid centre("<font size=-30>Big</font> small", area, kMarkupCenter, "Arial,-12");
    ASSERT_EQ(left.items.size(), 2u);
    LONG width = left.items[1].rect.right - left.items[0].rect.left;
    EXPECT_EQ(left.items[0].rect.left, 0);
    EXPECT_EQ(right.items[1].rect.right, 300);
    EXPECT_EQ(centre.items[0].rect.left, (300 - width) / 2);
    EXPECT_EQ(left.items[0].rect.bottom, left.items[1].rect.bottom);
    EXPECT_GT(left.items[0].rect.bottom - left.items[0].rect.top,
              left.items[1].rect.bottom - left.items[1].rect.top);
}

TEST(MarkupLayout, StaticControlsAlignmentWinsOverTheSkins) {
    EXPECT_EQ(StaticTextLayout(SS_RIGHT, kMarkupLeft), kMarkupRight);
    EXPECT_EQ(StaticTextLayout(SS_CENTER | WS_VISIBLE, kMarkupRight), kMarkupCenter);
    EXPECT_EQ(StaticTextLayout(SS_LEFT, kMarkupCenter), kMarkupCenter);
    EXPECT_EQ(StaticTextLayout(SS_LEFTNOWORDWRAP, kMarkupRight), kMarkupRight);
}

TEST(MarkupDraw, DrawsEveryItemInItsColour) {
    Laid l("<font color=#FF0000>red</font> <b>bold</b>", RECT{0, 0, 200, 40}, kMarkupLeft,
           "DejaVu Sans,-16", 0x02000000);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 200, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawMarkup(dc, l.items);
    int red = 0, dark = 0;
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 200; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) > 150 && GetGValue(c) < 90) {
                ++red;
                EXPECT_LT(x, l.items[0].rect.right + 2);
            }
            if (GetRValue(c) < 90 && GetGValue(c) < 90 && GetBValue(c) < 90) ++dark;
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(dark, 20);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace
