// Settings text, colour notation, the four-level lookup, window and control settings, and
// images found by name and cut into their grids.
#include "skin/skinlib.h"

#include "foundation/properties.h"
#include "tests/skin/skin_test_support.h"

#include <gtest/gtest.h>

namespace {

using skintest::File;
using skintest::Psp;
using skintest::Settings;
using skintest::SkinHolder;
using skintest::Text;

std::string S(const string& s) {
    return s.c_str();
}

TEST(Properties, LinesKeysValuesAndComments) {
    cetl::PROPERTIES p;
    p.Parse(string("skin = Tessark Blue\r\n"
                   "\t  # frame border = 99\n"
                   "Frame Border=  20  \t\r"
                   "= no key\n"
                   "no equals sign\n"
                   "\n\n   text color = #FFFFFF = white\n"
                   "FRAME BORDER = 21\n"
                   "empty =\n"
                   "  padded   key   =   x y  "));
    EXPECT_EQ(S(p.Text("skin")), "Tessark Blue");
    EXPECT_EQ(S(p.Text("frame border")), "21");
    EXPECT_EQ(p.get(istring("frame border")).value, 21);
    EXPECT_EQ(S(p.Text("text color")), "#FFFFFF = white");
    EXPECT_EQ(p.get(istring("text color")).value, 0);
    EXPECT_TRUE(p.contains(istring("empty")));
    EXPECT_EQ(S(p.Text("empty")), "");
    EXPECT_EQ(S(p.Text("padded   key")), "x y");
    EXPECT_FALSE(p.contains(istring("no equals sign")));
    EXPECT_FALSE(p.contains(istring("# frame border")));
    EXPECT_EQ(p.size(), 5u);
}

TEST(Properties, RemovalModeDeletesTheNamedKeys) {
    cetl::PROPERTIES p;
    p.Parse(string("a = 1\nb = 2\nc = 3\nd = 4\n"));
    p.Parse(string("A\n  c = anything\n# d\nunknown\n"), true);
    EXPECT_FALSE(p.contains(istring("a")));
    EXPECT_TRUE(p.contains(istring("b")));
    EXPECT_FALSE(p.contains(istring("c")));
    EXPECT_TRUE(p.contains(istring("d")));
}

TEST(SkinColorNotation, HashOptionalSixDigitsOrBlack) {
    EXPECT_EQ(SkinColor("#FFFFFF"), 0x02FFFFFFu);
    EXPECT_EQ(SkinColor("FFFFFF"), 0x02FFFFFFu);
    EXPECT_EQ(SkinColor("#8DA4E8"), 0x02E8A48Du);
    EXPECT_EQ(SkinColor("#8da4e8"), 0x02E8A48Du);
    EXPECT_EQ(SkinColor("#8DA4E"), 0u);
    EXPECT_EQ(SkinColor("FFGFFF"), 0u);
    EXPECT_EQ(SkinColor("##FFFFFF"), 0u);
    EXPECT_EQ(SkinColor(""), 0u);
    EXPECT_EQ(SkinColor("102030 trailing"), 0x02302010u);
    SkinHolder s = Settings("background color = #FFFFFF\n");
    EXPECT_EQ(s->ReadWindowSettings(nullptr, nullptr).backgroundColor, 0x02FFFFFFu);
    SkinHolder g = Settings("background color = FFFFFG\n");
    EXPECT_EQ(g->ReadWindowSettings(nullptr, nullptr).backgroundColor, 0u);
}

TEST(SkinLookup, ApplicationFirstThenWindowPrefixThenPlain) {
    SkinHolder s = Settings("font = Skin Plain\nSetup font = Skin Prefixed\nonly skin = s\n");
    cetl::PROPERTIES app;
    EXPECT_EQ(S(s->Lookup("font", &app, "Setup")), "Skin Prefixed");
    EXPECT_EQ(S(s->Lookup("font", &app, nullptr)), "Skin Plain");
    EXPECT_EQ(S(s->Lookup("font", &app, "Other")), "Skin Plain");
    app.Parse(string("font = App Plain\n"));
    EXPECT_EQ(S(s->Lookup("font", &app, "Setup")), "App Plain");
    app.Parse(string("setup FONT = App Prefixed\nempty =\n"));
    EXPECT_EQ(S(s->Lookup("font", &app, "Setup")), "App Prefixed");
    EXPECT_EQ(S(s->Lookup("font", nullptr, "Setup")), "Skin Prefixed");
    EXPECT_EQ(S(s->Lookup("only skin", &app, "Setup")), "s");
    EXPECT_EQ(S(s->Lookup("missing", &app, "Setup")), "");
}

TEST(SkinWindowSettings, BordersDraggingLayoutAndRate) {
    SkinWindowSettings a =
        Settings("frame border = 20\nframe lborder = 5\n")->ReadWindowSettings(nullptr, nullptr);
    EXPECT_EQ(a.left, 20);
    EXPECT_EQ(a.top, 20);
    EXPECT_EQ(a.right, 20);
    EXPECT_EQ(a.bottom, 20);
    SkinWindowSettings b = Settings("frame xborder = 7\nframe lborder = 5\nframe tborder = 3\n"
                                    "frame bborder = 4\nframe rborder = 9\n")
                               ->ReadWindowSettings(nullptr, nullptr);
    EXPECT_EQ(b.left, 7);
    EXPECT_EQ(b.right, 7);
    EXPECT_EQ(b.top, 3);
    EXPECT_EQ(b.bottom, 4);
    SkinWindowSettings c = Settings("drag by background = 1\ntitlebar height = 30\n"
                                    "background layout = Stretch\nframes per second = 25\n"
                                    "proportional scrollbars = 1\n")
                               ->ReadWindowSettings(nullptr, nullptr);
    EXPECT_EQ(c.titlebarHeight, 0xFFFFFFFFu);
    EXPECT_EQ(c.backgroundLayout, 1);
    EXPECT_EQ(c.framesPerSecond, 25);
    EXPECT_TRUE(c.proportionalScrollbars);
    SkinWindowSettings d =
        Settings("drag by background = 0\ntitlebar height = 30\nbackground layout = center\n")
            ->ReadWindowSettings(nullptr, nullptr);
    EXPECT_EQ(d.titlebarHeight, 30u);
    EXPECT_EQ(d.backgroundLayout, 2);
    EXPECT_EQ(Settings("background layout = tiles\n")
                  ->ReadWindowSettings(nullptr, nullptr)
                  .backgroundLayout,
              0);
}

TEST(SkinControlSettings, PrefixesAndFallbacks) {
    SkinHolder s = Settings("font = Arial,-14,I\ntext color = #000080\n"
                            "pbutton text color = #FFFFFF\npbutton text lborder = 26\n"
                            "text lborder = 9\nedit text border = 3\nedit font = Skin Edit,10\n"
                            "selected background color = #0000FF\n"
                            "list selected text background color = #00FF00\n"
                            "pbutton text layout = center\npbutton image layout = right\n"
                            "rbutton image xadjust = -2\ncbutton image yadjust = 4\n");
    SkinControlSettings push = s->ReadControlSettings(kSkinPushButton, nullptr, nullptr);
    EXPECT_EQ(push.textColor, 0x02FFFFFFu);
    EXPECT_EQ(push.textLeft, 26);
    EXPECT_EQ(push.textRight, 0);
    EXPECT_EQ(push.textLayout, 2);
    EXPECT_EQ(push.imageLayout, 1);
    EXPECT_EQ(S(push.font), "Arial,-14,I");
    SkinControlSettings text = s->ReadControlSettings(kSkinText, nullptr, nullptr);
    EXPECT_EQ(text.textLeft, 9); // a plain key is read for kinds without a prefix
    EXPECT_EQ(text.textColor, 0x02800000u);
    EXPECT_EQ(text.selectedBackgroundColor, 0x02FF0000u);
    SkinControlSettings edit = s->ReadControlSettings(kSkinEdit, nullptr, nullptr);
    EXPECT_EQ(edit.textLeft, 3);
    EXPECT_EQ(edit.textTop, 3);
    EXPECT_EQ(edit.textRight, 3);
    EXPECT_EQ(edit.textBottom, 3);
    EXPECT_EQ(S(edit.font), "Skin Edit,10");
    cetl::PROPERTIES app;
    app.Parse(string("edit font = App Edit,12\n"));
    EXPECT_EQ(S(s->ReadControlSettings(kSkinEdit, &app, nullptr).font), "App Edit,12");
    SkinHolder plain = Settings("font = Arial,-14,I\n");
    EXPECT_EQ(S(plain->ReadControlSettings(kSkinEdit, nullptr, nullptr).font), "Arial,-14,I");
    EXPECT_EQ(s->ReadControlSettings(kSkinList, nullptr, nullptr).selectedBackgroundColor,
              0x0200FF00u);
    EXPECT_EQ(s->ReadControlSettings(kSkinRadioButton, nullptr, nullptr).imageXAdjust, -2);
    EXPECT_EQ(s->ReadControlSettings(kSkinCheckBox, nullptr, nullptr).imageYAdjust, 4);
    EXPECT_EQ(s->ReadControlSettings(kSkinRadioButton, nullptr, nullptr).imageYAdjust, 0);
}

SkinHolder ImageSkin() {
    auto plain = [](LONG x, LONG y) { return static_cast<BYTE>(x + y); };
    return SkinHolder({Text("skin.txt", "skin = Test Skin\ntransparent color = #FF00FF\n"),
                       File("pbutton.psp", Psp(60, 40, plain)),
                       File("Setup PButton.psp", Psp(90, 80, plain)),
                       File("frame-x.psp", Psp(16, 48, plain)), File("click.wav", skintest::Wave()),
                       File("broken.psp", {1, 2, 3}), Text("readme.txt", "hello")});
}

TEST(SkinImages, FoundByNameWithTheWindowPrefixFirst) {
    SkinHolder s = ImageSkin();
    EXPECT_EQ(s->Transparent(), 0x02FF00FFu);
    SkinControlGraphics* plain = s->GetImage("pbutton", kSkinPushButton, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->columns, 3);
    EXPECT_EQ(plain->rows, 4);
    EXPECT_EQ(plain->cellWidth, 20);
    EXPECT_EQ(plain->cellHeight, 10);
    EXPECT_EQ(plain->count, 12);
    RECT r{};
    ASSERT_TRUE(plain->cells[5]->GetRect(&r));
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(s->GetImage("PBUTTON", kSkinPushButton, nullptr), plain); // cached
    SkinControlGraphics* prefixed = s->GetImage("pbutton", kSkinPushButton, "setup");
    ASSERT_NE(prefixed, nullptr);
    EXPECT_EQ(prefixed->cellWidth, 30);
    EXPECT_EQ(s->GetImage("pbutton", kSkinPushButton, "Other"), plain);
    SkinControlGraphics* grid = s->GetImage("pbutton", SkinGrid(2, 2), nullptr);
    EXPECT_NE(grid, plain);
    EXPECT_EQ(grid->cellWidth, 30);
    EXPECT_EQ(grid->cellHeight, 20);
    EXPECT_EQ(s->GetImage("frame-x", kSkinClose, nullptr)->cellHeight, 16);
    EXPECT_EQ(s->GetImage("frame-x", kSkinClose, nullptr)->regions[0], nullptr);
}

TEST(SkinImages, MissingOptionalTextAndUnknownKinds) {
    SkinHolder s = ImageSkin();
    EXPECT_EQ(s->GetImage("layout", SkinGrid(1, 1), "Setup"), nullptr);
    EXPECT_EQ(s->GetImage("text", kSkinText, "Setup"), nullptr);
    EXPECT_EQ(s->GetImage("broken", kSkinOptional | kSkinImage, nullptr), nullptr);
    try {
        s->GetImage("pbar", kSkinProgress, "TessarkSetup");
        FAIL() << "no exception";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(),
                     "the skin Test Skin is missing the TessarkSetup pbar image");
    }
    for (DWORD kind :
         {DWORD{kSkinUserDrawn}, DWORD{18}, DWORD{1000}, SkinGrid(0, 1), SkinGrid(5, 4)}) {
        try {
            s->GetImage("pbutton", kind, nullptr);
            ADD_FAILURE() << "kind " << kind;
        } catch (const cetl::exception& e) {
            EXPECT_STREQ(e.message().c_str(), kSkinUnknownKind);
        }
    }
}

TEST(SkinFiles, SoundsTextsAndOnePaletteGroup) {
    SkinHolder s = ImageSkin();
    ASSERT_NE(s->GetSound("CLICK.WAV"), nullptr);
    EXPECT_TRUE(s->GetSound("click.wav")->IsLoaded());
    EXPECT_EQ(s->GetSound("none.wav"), nullptr);
    ASSERT_NE(s->GetText("readme.txt"), nullptr);
    EXPECT_EQ(S(*s->GetText("readme.txt")), "hello");
    EXPECT_EQ(S(s->Settings().Text("skin")), "Test Skin");
    SkinControlGraphics* a = s->GetImage("pbutton", kSkinPushButton, nullptr);
    SkinControlGraphics* b = s->GetImage("frame-x", kSkinClose, nullptr);
    EXPECT_EQ(a->cells[0]->GetFrame(0)->GetRoot()->GetPaletteGroup(), s->Palette());
    EXPECT_EQ(b->cells[0]->GetFrame(0)->GetRoot()->GetPaletteGroup(), s->Palette());
}

TEST(SkinFiles, AnArchiveWithoutSettingsReadsAsEmpty) {
    SkinHolder s({Text("other.txt", "x = 1")});
    EXPECT_EQ(s->Settings().size(), 0u);
    EXPECT_EQ(s->Transparent(), kNoColor);
    SkinWindowSettings w = s->ReadWindowSettings(nullptr, nullptr);
    EXPECT_EQ(w.left, 0);
    EXPECT_EQ(w.backgroundColor, 0u);
    EXPECT_EQ(LoadSkinFromFile("/nonexistent/skin.zip"), nullptr);
}

} // namespace
