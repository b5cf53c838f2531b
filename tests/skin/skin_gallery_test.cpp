// Skinned windows drawn with the default skin: a page with one control of every kind in the
// eight-piece frame, and the setup program's shaped single-image window. To look at them:
//     TESSARK_SKIN_SHOTS=DIR build/bin/default_skin_tests --gtest_filter='SkinGallery.*'
// writes DIR/skin-gallery-{window,screen}.bmp and DIR/skin-setup-{window,screen}.bmp.
#include "engine/cea_palette.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"
#include "platform/clock.h"
#include "platform/core/paint_internal.h"
#include "skin/skinwindow.h"
#include "tests/platform/dialog_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

void Shots(HWND hwnd, const std::string& name) {
    const char* dir = std::getenv("TESSARK_SKIN_SHOTS");
    if (!dir) return;
    std::string base = std::string(dir) + "/" + name;
    EXPECT_TRUE(platform::wm::SaveBitmapFile(hwnd, (base + "-window.bmp").c_str()));
    EXPECT_TRUE(platform::wm::SaveBitmapFile(nullptr, (base + "-screen.bmp").c_str()));
}

INT_PTR CALLBACK GalleryProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
    SkinWindow* w = SkinWindow::FromHandle(hwnd);
    if (!w) return FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        w->FindControl(11)->SetCheck(1);
        w->FindControl(13)->SetCheck(1);
        w->FindControl(20)->SetPosition(55);
        SkinControl* list = w->FindControl(30);
        for (const char* s : {"Desktop machine", "Palm-size PC", "Both", "Neither"})
            list->AddItem(s);
        list->SetSelection(1);
        w->FindControl(31)->SetRange(0, 100, 25);
        w->FindControl(31)->SetPosition(30);
        w->FindControl(32)->SetRange(0, 100, 0);
        w->FindControl(32)->SetPosition(70);
        w->FindControl(25)->SetEditSelection(0, 3);
        w->SetFocusControl(w->FindControl(25));
        return TRUE;
    }
    case kSkinLayout:
        // The buttons keep to the bottom-right corner of the inner area.
        w->FindControl(1)->SetPlacement(kPlaceFar, 16, kSkinKeep, kPlaceFar, 14, kSkinKeep);
        w->FindControl(2)->SetPlacement(kPlaceFar, 110, kSkinKeep, kPlaceFar, 14, kSkinKeep);
        return TRUE;
    case kSkinUserSize:
        return MAKELONG(40, 40);
    case kSkinUserDraw: {
        auto* d = reinterpret_cast<SkinUserDraw*>(lParam);
        HDC dc = d->target->GetDC();
        HBRUSH brush = CreateSolidBrush(RGB(200, 60, 40));
        RECT r = d->rect;
        r.left += 4, r.top += 4, r.right -= 4, r.bottom -= 4;
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        d->target->ReleaseDC();
        return TRUE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SetupProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    SkinWindow* w = SkinWindow::FromHandle(hwnd);
    if (w && message == WM_INITDIALOG) w->FindControl(1001)->SetCheck(1);
    return FALSE;
}

class SkinGallery : public ::testing::Test {
protected:
    void SetUp() override {
        platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
        ASSERT_TRUE(SkinWindowInit(GetModuleHandle(nullptr), nullptr));
        platform::clock::SetSimulated(true);
        skin_ = LoadSkinFromResource(GetModuleHandle(nullptr), 800);
        ASSERT_NE(skin_, nullptr);
    }
    void TearDown() override {
        SkinWindow::Destroy(window_);
        MemDelete(skin_, MM("SKIN"));
        platform::clock::SetSimulated(false);
    }
    Skin* skin_ = nullptr;
    SkinWindow* window_ = nullptr;
};

TEST_F(SkinGallery, EveryControlKindInTheDefaultSkin) {
    TemplateBuilder tpl(WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME, 300, 190,
                        u"Tessark Setup gallery");
    tpl.Item(0x82, SS_LEFT, 8, 10, 200, 16, 3,
             u"<font size=-18><b>Tessark Setup</b></font>  <i>every control</i>")
        .Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP, 8, 34, 90, 10, 11, u"Install on both")
        .Item(0x80, BS_AUTORADIOBUTTON, 8, 46, 90, 10, 12, u"Desktop only")
        .Item(0x80, BS_AUTOCHECKBOX | WS_GROUP, 8, 58, 90, 10, 13, u"Start menu entry")
        .Item(0x80, BS_AUTOCHECKBOX | WS_DISABLED, 8, 70, 90, 10, 14, u"Disabled box")
        .Item(0x82, SS_LEFT, 8, 86, 90, 8, 20, u"class:progress")
        .Item(0, WS_TABSTOP, 8, 100, 90, 12, 25, u"C:\\Program Files\\Tessark", u"edit")
        .Item(0, 0, 110, 34, 80, 50, 30, u"", u"listbox")
        .Item(0, 1, 194, 34, 8, 50, 31, u"", u"scrollbar")
        .Item(0, 0, 110, 88, 92, 8, 32, u"", u"scrollbar")
        .Item(0x82, SS_LEFT, 212, 34, 80, 60, 40,
              u"A <b>text</b> panel with <u>markup</u> and a <font color=#C83030>colour</font>.")
        .Item(0x82, SS_LEFT, 250, 100, 30, 30, 50, u"USER:")
        .Item(0x80, BS_PUSHBUTTON, 230, 160, 56, 14, 1, u"<b>Install</b>")
        .Item(0x80, BS_PUSHBUTTON | WS_DISABLED, 166, 160, 56, 14, 2, u"Back");
    window_ =
        SkinWindow::CreateIndirect(skin_, TEXT("Gallery"), nullptr, tpl.Get(), GalleryProc, 0);
    ASSERT_NE(window_, nullptr);
    HWND h = window_->GetHandle();
    SetWindowPos(h, nullptr, 30, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(h, SW_SHOW);
    window_->Layout();
    window_->GetAnimWindow()->Paint();
    const DWORD kinds[] = {kSkinText,       kSkinRadioButton, kSkinRadioButton, kSkinCheckBox,
                           kSkinCheckBox,   kSkinProgress,    kSkinEdit,        kSkinList,
                           kSkinVScroll,    kSkinHScroll,     kSkinText,        kSkinUserDrawn,
                           kSkinPushButton, kSkinPushButton};
    const DWORD ids[] = {3, 11, 12, 13, 14, 20, 25, 30, 31, 32, 40, 50, 1, 2};
    for (std::size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        SkinControl* c = window_->FindControl(ids[i]);
        ASSERT_NE(c, nullptr) << ids[i];
        EXPECT_EQ(c->GetKind(), kinds[i]) << ids[i];
    }
    EXPECT_TRUE(window_->HasCloseButton());
    EXPECT_NE(window_->FindControl(kSkinMinimiseId), nullptr);
    // The frame's rounded corners shape the window.
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(h, shape), 0);
    EXPECT_FALSE(PtInRegion(shape, 0, 0));
    RECT r{};
    GetClientRect(h, &r);
    EXPECT_TRUE(PtInRegion(shape, r.right / 2, r.bottom / 2));
    DeleteObject(shape);
    // The buttons were placed against the inner area's bottom-right corner.
    RECT install{};
    window_->FindControl(1)->GetRect(&install);
    EXPECT_EQ(install.right, r.right - 16 - 16);
    EXPECT_EQ(install.bottom, r.bottom - 16 - 14);
    Shots(h, "skin-gallery");
}

TEST_F(SkinGallery, SetupWindowTakesItsShapedFrame) {
    // As the setup program does: its own frame image joins the skin's palette and files.
    HMODULE module = GetModuleHandle(nullptr);
    skin_->Palette()->Open();
    auto* frame = new (MM("SPRITE")) Sprite(module, MAKEINTRESOURCE(501), 1, 1, kSpriteAllFrames);
    skin_->Palette()->Add(frame, FALSE);
    skin_->Palette()->Close();
    skin_->AddImage(TEXT("TessarkSetup Frame.psp"), frame);
    TemplateBuilder tpl(WS_POPUP | WS_SYSMENU, 200, 100, u"Tessark Setup");
    tpl.Item(0x82, SS_LEFT, 10, 4, 150, 16, 1006,
             u"<font face=arial size=18><i>Tessark Setup</i></font>")
        .Item(0x82, SS_LEFT, 110, 30, 150, 60, 1010,
              u"<b>Thank you for downloading Tessark!</b>\n\n\nVerify the settings to the left, "
              u"then click the Install button.")
        .Item(0x80, BS_AUTORADIOBUTTON | WS_GROUP, 4, 30, 75, 10, 1001, u"English")
        .Item(0x80, BS_AUTORADIOBUTTON, 4, 44, 75, 10, 1002, u"Esperanto")
        .Item(0x80, BS_PUSHBUTTON, 200, 150, 64, 14, 1000, u"<b>Install</b>");
    window_ =
        SkinWindow::CreateIndirect(skin_, TEXT("TessarkSetup"), nullptr, tpl.Get(), SetupProc, 0);
    ASSERT_NE(window_, nullptr);
    HWND h = window_->GetHandle();
    SetWindowPos(h, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(h, SW_SHOW);
    window_->Layout();
    window_->GetAnimWindow()->Paint();
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ(r.right - r.left, frame->GetWidth());
    EXPECT_EQ(r.bottom - r.top, frame->GetHeight());
    EXPECT_EQ(window_->GetFrameObjectCount(), 1u);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(h, shape), 0);
    EXPECT_FALSE(PtInRegion(shape, 1, 1));
    DeleteObject(shape);
    Shots(h, "skin-setup");
}

} // namespace
