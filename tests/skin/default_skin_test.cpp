// The default skin as the build makes it and the program carries it: archive 800, its
// settings, images, shapes and palette, and the setup program's own images.
#include "engine/cea_palette.h"
#include "platform/resource.h"
#include "setup/unzipper.h"
#include "skin/skinlib.h"
#include "skin/skinregion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DefaultSkinArchive, EntriesWithTheTwoListImagesDeflated) {
    ZIPFILE zip(GetModuleHandle(nullptr), 800, TEXT("ZIP"));
    ASSERT_EQ(zip.size(), 23u);
    int deflated = 0;
    for (const auto& e : zip) {
        std::string name = e.value->name.c_str();
        bool list = name == "list.psp" || name == "listitem.psp";
        EXPECT_EQ(e.value->method, list ? 8 : 0) << name;
        ASSERT_NE(e.value->data, nullptr) << name;
        if (list) {
            ++deflated;
            EXPECT_TRUE(e.value->OwnsData());
            EXPECT_LT(e.value->compressedSize, e.value->size);
            // A PSP file starts with its signature.
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.value->data), 20),
                      std::string("Paint Shop Pro Image", 20));
        } else {
            EXPECT_EQ(e.value->data, e.value->storedData) << name;
        }
    }
    EXPECT_EQ(deflated, 2);
    ASSERT_NE(zip.Find("SKIN.TXT"), nullptr);
}

TEST(DefaultSkinArchive, SetsEveryKeyItReads) {
    Skin* skin = LoadSkinFromResource(GetModuleHandle(nullptr), 800);
    ASSERT_NE(skin, nullptr);
    const char* const keys[] = {"skin",
                                "transparent color",
                                "frame border",
                                "frame xborder",
                                "frame yborder",
                                "frame lborder",
                                "frame rborder",
                                "frame tborder",
                                "frame bborder",
                                "proportional scrollbars",
                                "drag by background",
                                "titlebar height",
                                "background layout",
                                "background color",
                                "frames per second",
                                "font",
                                "text color",
                                "disabled text color",
                                "selected text color",
                                "selected text background color",
                                "selected background color",
                                "author",
                                "website",
                                "email",
                                "titlebar text color",
                                "titlebar font"};
    for (const char* key : keys)
        EXPECT_TRUE(skin->Settings().contains(istring(key))) << key;
    // The keys read with a control prefix only, for each prefix.
    const char* const prefixed[] = {"text border",  "text xborder",  "text yborder", "text lborder",
                                    "text rborder", "text tborder",  "text bborder", "text layout",
                                    "image layout", "image xadjust", "image yadjust"};
    for (const char* key : prefixed) {
        bool any = false;
        for (const char* prefix : {"pbutton ", "rbutton ", "cbutton ", "edit ", "list "})
            any |= skin->Settings().contains(istring((string(prefix) + key).c_str()));
        EXPECT_TRUE(any || istring(key) == "text border") << key;
    }
    EXPECT_EQ(skin->Transparent(), 0x02FF00FFu);
    EXPECT_NE(skin->GetSound("click.wav"), nullptr);
    EXPECT_TRUE(skin->GetSound("alert.wav")->IsLoaded());
    MemDelete(skin, MM("SKIN"));
}

TEST(DefaultSkinImages, EveryKindFindsItsImageOnOnePalette) {
    ResetPaletteMergeFailures();
    Skin* skin = LoadSkinFromResource(GetModuleHandle(nullptr), 800);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(GetPaletteMergeFailures(), 0u) << "colours that found no place in the palette";
    const struct {
        const char* name;
        DWORD kind;
    } images[] = {{"frame-c", kSkinFrameCorners},
                  {"frame-lr", kSkinFrameLeftRight},
                  {"frame-tb", kSkinFrameTopBottom},
                  {"frame-x", kSkinClose},
                  {"frame-min", kSkinMinimise},
                  {"background", kSkinImage},
                  {"pbutton", kSkinPushButton},
                  {"rbutton", kSkinRadioButton},
                  {"cbutton", kSkinCheckBox},
                  {"pbar", kSkinProgress},
                  {"text", kSkinText},
                  {"vscroll", kSkinVScroll},
                  {"hscroll", kSkinHScroll},
                  {"edit", kSkinEdit},
                  {"cursor", kSkinCaret},
                  {"list", kSkinList},
                  {"listitem", kSkinList},
                  {"icon-alert", kSkinImage},
                  {"icon-question", kSkinImage},
                  {"icon-info", kSkinImage}};
    for (const auto& i : images) {
        SkinControlGraphics* g = skin->GetImage(i.name, i.kind, "TessarkSetup");
        ASSERT_NE(g, nullptr) << i.name;
        EXPECT_GT(g->cellWidth, 0) << i.name;
        EXPECT_GT(g->cellHeight, 0) << i.name;
    }
    // Rounded corners: the outermost pixel of each corner cell is outside its region, the
    // innermost inside; edges are selected whole.
    SkinControlGraphics* c = skin->GetImage("frame-c", kSkinFrameCorners, "TessarkSetup");
    LONG w = c->cellWidth - 1, h = c->cellHeight - 1;
    const POINT outer[4] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
    const POINT inner[4] = {{w, h}, {0, h}, {w, 0}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(c->regions[i], nullptr);
        EXPECT_FALSE(PtInRegion(c->regions[i], outer[i].x, outer[i].y)) << i;
        EXPECT_TRUE(PtInRegion(c->regions[i], inner[i].x, inner[i].y)) << i;
    }
    LONG width = 300, height = 200;
    HRGN window = FrameLayoutRegion(*skin, "TessarkSetup", &width, &height);
    EXPECT_EQ(width, 300);
    ASSERT_NE(window, nullptr);
    for (POINT out : {POINT{0, 0}, POINT{299, 0}, POINT{0, 199}, POINT{299, 199}})
        EXPECT_FALSE(PtInRegion(window, out.x, out.y));
    for (POINT in : {POINT{150, 0}, POINT{0, 100}, POINT{150, 100}, POINT{299, 100},
                     POINT{150, 199}, POINT{10, 10}})
        EXPECT_TRUE(PtInRegion(window, in.x, in.y));
    DeleteObject(window);
    MemDelete(skin, MM("SKIN"));
}

TEST(SetupImages, FrameButtonsAndIcon) {
    Graphic frame(GetModuleHandle(nullptr), MAKEINTRESOURCE(501), kNoColor);
    ASSERT_TRUE(frame.IsLoaded());
    ASSERT_TRUE(frame.HasSelection());
    HRGN shape = RegionFromSelection(&frame);
    ASSERT_NE(shape, nullptr);
    // The title tab rises above the body on the left; the right of the top row is outside.
    EXPECT_TRUE(PtInRegion(shape, 100, 2));
    EXPECT_FALSE(PtInRegion(shape, 400, 2));
    EXPECT_FALSE(PtInRegion(shape, 0, frame.GetHeight() - 1));
    EXPECT_TRUE(PtInRegion(shape, 240, 200));
    DeleteObject(shape);
    for (int id : {502, 503}) {
        Graphic button(GetModuleHandle(nullptr), MAKEINTRESOURCE(id), kNoColor);
        EXPECT_TRUE(button.IsLoaded()) << id;
        EXPECT_EQ(button.GetHeight() % 4, 0) << id;
    }
    HICON icon = LoadIcon(GetModuleHandle(nullptr), MAKEINTRESOURCE(500));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
}

} // namespace
