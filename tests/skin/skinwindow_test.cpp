// The skinned window: its frame and shape, the background, dragging and resizing under the
// mouse, pages and their notifications, modal runs and the tear-down.
#include "tests/skin/skinwindow_test_support.h"

namespace {

using namespace skintest;
using Window = SkinWindowTest;

TEST_F(Window, FrameImageGivesItsSizeAndShape) {
    std::vector<ziptest::Entry> entries = SkinEntries();
    // A 120 x 80 frame whose top-left 10 x 10 corner lies outside its outline.
    entries.push_back(File("Test frame.psp", Cells(1, 1, 120, 80, 40, [](LONG x, LONG y) {
                               return x >= 10 || y >= 10;
                           })));
    SkinHolder& skin = Keep(entries);
    TemplateBuilder tpl(WS_POPUP | WS_THICKFRAME, 200, 150, u"Framed");
    SkinWindow* w = FromTemplate(skin.skin, tpl);
    ASSERT_NE(w, nullptr);
    w->Layout();
    RECT r = WindowRect(w);
    EXPECT_EQ(r.right - r.left, 120);
    EXPECT_EQ(r.bottom - r.top, 80);
    EXPECT_FALSE(w->IsResizable());
    ASSERT_EQ(w->GetFrameObjectCount(), 1u);
    EXPECT_EQ(w->GetFrameObject(0)->GetLayer(), kSkinFrameLayer);
    EXPECT_TRUE(Near(Pixel(w, 60, 40), CellColor(40, 0)));
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(w->GetHandle(), shape), 0);
    EXPECT_FALSE(PtInRegion(shape, 2, 2));
    EXPECT_TRUE(PtInRegion(shape, 60, 40));
    DeleteObject(shape);
    // Its edges do not resize it.
    EXPECT_EQ(w->HitTest(POINT{1, 40}, nullptr), kHitClient);
    Down(w, 119, 79);
    Move(w, 160, 120);
    Up(w, 160, 120);
    r = WindowRect(w);
    EXPECT_EQ(r.right - r.left, 120);
}

TEST_F(Window, EightFramePiecesGoRoundTheWindow) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GetFrameObjectCount(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(w->GetFrameObject(i)->GetLayer(), kSkinFrameLayer);
    EXPECT_TRUE(Near(Pixel(w, 0, 0), CellColor(kCornerBase, 0)));
    EXPECT_TRUE(Near(Pixel(w, 199, 0), CellColor(kCornerBase, 1)));
    EXPECT_TRUE(Near(Pixel(w, 0, 149), CellColor(kCornerBase, 2)));
    EXPECT_TRUE(Near(Pixel(w, 199, 149), CellColor(kCornerBase, 3)));
    EXPECT_TRUE(Near(Pixel(w, 0, 70), CellColor(kSideBase, 0)));
    EXPECT_TRUE(Near(Pixel(w, 199, 70), CellColor(kSideBase, 1)));
    EXPECT_TRUE(Near(Pixel(w, 100, 0), CellColor(kEdgeBase, 0)));
    EXPECT_TRUE(Near(Pixel(w, 100, 149), CellColor(kEdgeBase, 1)));
    // Inside, the tiled background.
    EXPECT_TRUE(Near(Pixel(w, 100, 70), CellColor(kBackBase, 0)));
    // Pieces without a selection leave the window rectangular.
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(w->GetHandle(), shape), 0);
    DeleteObject(shape);
    // A bigger window moves the pieces.
    SetWindowPos(w->GetHandle(), nullptr, 0, 0, 260, 170, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    EXPECT_TRUE(Near(Pixel(w, 259, 169), CellColor(kCornerBase, 3)));
    EXPECT_TRUE(Near(Pixel(w, 259, 80), CellColor(kSideBase, 1)));
}

TEST_F(Window, ShapedCornersShapeTheWindow) {
    SkinHolder& skin = Keep(SkinEntries("", true));
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(w->GetHandle(), shape), 0);
    EXPECT_FALSE(PtInRegion(shape, 1, 1));
    EXPECT_FALSE(PtInRegion(shape, 198, 148));
    EXPECT_TRUE(PtInRegion(shape, 5, 5));
    EXPECT_TRUE(PtInRegion(shape, 100, 70));
    DeleteObject(shape);
}

TEST_F(Window, BackgroundLayoutsAndTheApplicationsOwn) {
    auto entries = [](const std::string& layout) {
        std::vector<ziptest::Entry> e = SkinEntries("background layout = " + layout + "\n");
        for (ziptest::Entry& x : e)
            if (x.name == "background.psp")
                x = File("background.psp", Cells(2, 1, 4, 8, kBackBase));
        return e;
    };
    {
        SkinHolder& skin = Keep(entries("tile"));
        SkinWindow* w = Blank(skin.skin, 200, 150);
        // Tiled from the top-left corner: 4 pixels of each cell in turn.
        EXPECT_TRUE(Near(Pixel(w, 96, 70), CellColor(kBackBase, 0)));
        EXPECT_TRUE(Near(Pixel(w, 100, 70), CellColor(kBackBase, 1)));
        EXPECT_TRUE(Near(Pixel(w, 104, 70), CellColor(kBackBase, 0)));
    }
    {
        SkinHolder& skin = Keep(entries("stretch"));
        SkinWindow* w = Blank(skin.skin, 200, 150);
        EXPECT_TRUE(Near(Pixel(w, 60, 70), CellColor(kBackBase, 0)));
        EXPECT_TRUE(Near(Pixel(w, 96, 70), CellColor(kBackBase, 0)));
        EXPECT_TRUE(Near(Pixel(w, 104, 70), CellColor(kBackBase, 1)));
        EXPECT_TRUE(Near(Pixel(w, 150, 70), CellColor(kBackBase, 1)));
    }
    {
        SkinHolder& skin = Keep(entries("center"));
        SkinWindow* w = Blank(skin.skin, 200, 150);
        EXPECT_TRUE(Near(Pixel(w, 97, 72), CellColor(kBackBase, 0)));
        EXPECT_TRUE(Near(Pixel(w, 101, 72), CellColor(kBackBase, 1)));
        EXPECT_TRUE(Near(Pixel(w, 40, 40), kBackground));
    }
    {
        // The application that answers 0x4001 draws the background itself.
        answers_[kSkinBackground] = TRUE;
        SkinHolder& skin = Keep(entries("tile"));
        SkinWindow* w = Blank(skin.skin, 200, 150);
        bool asked = false;
        for (const skintest::Heard& h : heard_)
            if (h.message == kSkinBackground &&
                h.lParam == reinterpret_cast<LPARAM>(w->GetAnimWindow()->GetBackground()))
                asked = true;
        EXPECT_TRUE(asked);
        EXPECT_FALSE(Near(Pixel(w, 100, 70), CellColor(kBackBase, 0)));
        EXPECT_FALSE(Near(Pixel(w, 104, 70), CellColor(kBackBase, 1)));
    }
}

TEST_F(Window, DraggingByTheTitleBarOrTheBackground) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->HitTest(POINT{100, 10}, nullptr), kHitDrag);
    EXPECT_EQ(w->HitTest(POINT{100, 40}, nullptr), kHitClient);
    EXPECT_EQ(w->HitTest(POINT{100, 150}, nullptr), kHitOutside);
    // Below the title bar height a press does nothing.
    Down(w, 100, 40);
    EXPECT_EQ(w->GetMode(), 0);
    Move(w, 130, 60);
    Up(w, 130, 60);
    RECT r = WindowRect(w);
    EXPECT_EQ(r.left, kX);
    EXPECT_EQ(r.top, kY);
    // Above it the window follows the cursor.
    POINT p{kX + 100, kY + 10};
    ScreenMouse(WM_LBUTTONDOWN, p);
    EXPECT_EQ(w->GetMode(), kHitDrag);
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x + 15, p.y + 7});
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x + 25, p.y - 3});
    ScreenMouse(WM_LBUTTONUP, POINT{p.x + 25, p.y - 3});
    r = WindowRect(w);
    EXPECT_EQ(r.left, kX + 25);
    EXPECT_EQ(r.top, kY - 3);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(w->GetMode(), 0);

    SkinHolder& anywhere = Keep(SkinEntries("drag by background = 1\n"));
    SkinWindow* v = Blank(anywhere.skin, 200, 150);
    EXPECT_EQ(v->HitTest(POINT{100, 100}, nullptr), kHitDrag);
    // A control still takes its own presses.
    v->AddControl(kSkinPushButton, 9, 0, TEXT(""), RECT{20, 100, 60, 112});
    EXPECT_EQ(v->HitTest(POINT{30, 105}, nullptr), kHitControl);
}

TEST_F(Window, ResizingFromTheLeftKeepsTheRightEdge) {
    SkinHolder& skin = Keep(SkinEntries());
    TemplateBuilder tpl(WS_POPUP | WS_THICKFRAME, 120, 80, u"Sizer");
    SkinWindow* w = FromTemplate(skin.skin, tpl);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->IsResizable());
    RECT r0 = WindowRect(w);
    LONG h = r0.bottom - r0.top, mid = h / 2;
    EXPECT_EQ(w->HitTest(POINT{1, mid}, nullptr), kHitLeft);
    EXPECT_EQ(w->HitTest(POINT{1, 1}, nullptr), kHitTopLeft);
    EXPECT_EQ(w->HitTest(POINT{r0.right - r0.left - 1, h - 1}, nullptr), kHitBottomRight);
    Hover(w, 1, mid);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZEWE));
    Hover(w, 1, 1);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZENWSE));
    Hover(w, r0.right - r0.left - 1, 1);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZENESW));
    Hover(w, 60, h - 1);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_SIZENS));
    Hover(w, 60, 40);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_ARROW));

    POINT p{r0.left + 1, r0.top + mid};
    ScreenMouse(WM_LBUTTONDOWN, p);
    EXPECT_EQ(w->GetMode(), kHitLeft);
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(w->GetSizeLimits().ptMinTrackSize.x, 24); // two corners of 12
    EXPECT_EQ(w->GetSizeLimits().ptMaxTrackSize.x, work.right - work.left);
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x + 30, p.y});
    RECT r = WindowRect(w);
    EXPECT_EQ(r.right, r0.right);
    EXPECT_EQ(r.right - r.left, r0.right - r0.left - 30);
    EXPECT_EQ(r.bottom - r.top, h);
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x + 1000, p.y});
    r = WindowRect(w);
    EXPECT_EQ(r.right, r0.right);
    EXPECT_EQ(r.right - r.left, 24);
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x - 20, p.y + 50});
    r = WindowRect(w);
    EXPECT_EQ(r.left, r0.left - 20);
    EXPECT_EQ(r.right, r0.right);
    EXPECT_EQ(r.bottom - r.top, h);
    ScreenMouse(WM_LBUTTONUP, POINT{p.x - 20, p.y + 50});
    // The frame followed: the bottom-right corner sits in the new corner.
    EXPECT_TRUE(Near(Pixel(w, r.right - r.left - 1, h - 1), CellColor(kCornerBase, 3)));

    // The page's WM_GETMINMAXINFO has the last word on the limits.
    minimumWidth_ = 80;
    r0 = WindowRect(w);
    p = POINT{r0.left + 1, r0.top + mid};
    ScreenMouse(WM_LBUTTONDOWN, p);
    ScreenMouse(WM_MOUSEMOVE, POINT{p.x + 1000, p.y});
    ScreenMouse(WM_LBUTTONUP, POINT{p.x + 1000, p.y});
    minimumWidth_ = 0;
    r = WindowRect(w);
    EXPECT_EQ(r.right - r.left, 80);
    EXPECT_EQ(r.right, r0.right);
}

TEST_F(Window, TitleButtonsFollowTheDialogsStyle) {
    SkinHolder& skin = Keep(SkinEntries());
    TemplateBuilder plain(WS_POPUP, 120, 80, u"Plain");
    SkinWindow* a = FromTemplate(skin.skin, plain);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->HasCloseButton());
    EXPECT_EQ(a->FindControl(kSkinMinimiseId), nullptr);

    TemplateBuilder boxed(WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 120, 80, u"Boxed");
    SkinWindow* b = FromTemplate(skin.skin, boxed);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(b->HasCloseButton());
    LONG width = WindowRect(b).right - WindowRect(b).left;
    RECT close = ControlRect(b->FindControl(kSkinCloseId));
    EXPECT_EQ(close.right, width);
    EXPECT_EQ(close.right - close.left, 10);
    EXPECT_EQ(close.top, 0);
    RECT minimise = ControlRect(b->FindControl(kSkinMinimiseId));
    EXPECT_EQ(minimise.left, width - 30);
    EXPECT_TRUE(Near(Pixel(b, close.left + 5, 5), CellColor(kTitleBase, 0)));
    Hover(b, close.left + 5, 5);
    EXPECT_TRUE(Near(Pixel(b, close.left + 5, 5), CellColor(kTitleBase, 1)));
    Down(b, close.left + 5, 5);
    EXPECT_TRUE(Near(Pixel(b, close.left + 5, 5), CellColor(kTitleBase, 2)));
    // The caption went to the window.
    TCHAR caption[32] = {};
    GetWindowText(b->GetHandle(), caption, 32);
    EXPECT_STREQ(caption, "Boxed");
    // Its click: 40000, then IDCANCEL, then (left unhandled) the window goes.
    HWND h = b->GetHandle();
    Up(b, close.left + 5, 5);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(kSkinCloseId, BN_CLICKED)), 1);
    EXPECT_EQ(Heard(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)), 1);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(b->GetControlCount(), 0u);
}

TEST_F(Window, PagesAreLaidOutAndRunModally) {
    SkinHolder& skin = Keep(SkinEntries());
    SkinWindow* w = Blank(skin.skin, 240, 160);
    ASSERT_NE(w, nullptr);
    TemplateBuilder page(WS_CHILD, 100, 60, u"");
    page.Item(0x80, BS_PUSHBUTTON, 4, 4, 40, 12, 1000, u"Install")
        .Item(0x82, SS_LEFT, 4, 20, 40, 8, 1008, u"class:progress");
    HWND p = w->AddPageIndirect(page.Get(), Proc, 0, 103);
    ASSERT_NE(p, nullptr);
    SkinControl* install = w->FindControl(1000);
    ASSERT_NE(install, nullptr);
    EXPECT_EQ(install->GetPage(), p);
    EXPECT_EQ(w->FindControl(1008)->GetKind(), static_cast<DWORD>(kSkinProgress));
    EXPECT_STREQ(w->FindControl(1008)->GetText().c_str(), "");
    // The page heard WM_INITDIALOG once its controls existed, then the layout notification.
    int init = -1, layout = -1;
    for (std::size_t i = 0; i < heard_.size(); ++i) {
        if (heard_[i].hwnd != p) continue;
        if (heard_[i].message == WM_INITDIALOG && init < 0) init = static_cast<int>(i);
        if (heard_[i].message == kSkinLayout && layout < 0) layout = static_cast<int>(i);
    }
    ASSERT_GE(init, 0);
    ASSERT_GT(layout, init);
    EXPECT_EQ(heard_[static_cast<std::size_t>(layout)].lParam, reinterpret_cast<LPARAM>(w));
    // Controls lie in the inset: the page's origin plus the frame border.
    RECT r = ControlRect(install);
    EXPECT_GE(r.left, 8);
    EXPECT_GE(r.top, 8);
    // Its click reaches the page's procedure with the page's handle.
    Click(w, r.left + 2, r.top + 2);
    bool fromPage = false;
    for (const skintest::Heard& h : heard_)
        if (h.message == WM_COMMAND && LOWORD(h.wParam) == 1000 && h.hwnd == p) fromPage = true;
    EXPECT_TRUE(fromPage);
    EXPECT_EQ(SkinWindow::FromHandle(p), w);
    w->RemovePage(p);
    EXPECT_EQ(w->FindControl(1000), nullptr);
    EXPECT_FALSE(IsWindow(p));
    // A page the application destroys itself takes its controls along.
    HWND again = w->AddPageIndirect(page.Get(), Proc, 0, 103);
    ASSERT_NE(w->FindControl(1000), nullptr);
    DestroyWindow(again);
    EXPECT_EQ(w->FindControl(1000), nullptr);
    EXPECT_EQ(w->FindControl(1008), nullptr);

    // A modal run ends with the id its procedure gives (Proc ends on IDOK).
    PostMessage(w->GetHandle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(w->RunModal(), IDOK);
    EXPECT_TRUE(IsWindow(w->GetHandle()));
}

TEST_F(Window, ModalRunEndsByTheCloseButtonAndTearsDown) {
    SkinHolder& skin = Keep(SkinEntries());
    TemplateBuilder boxed(WS_POPUP | WS_SYSMENU, 120, 80, u"Box");
    HWND owner = CreateWindowEx(0, TEXT("AnimWindow"), TEXT("owner"), WS_POPUP | WS_VISIBLE, 0, 0,
                                50, 50, nullptr, nullptr, GetModuleHandle(nullptr), nullptr);
    SkinWindow* w = SkinWindow::CreateIndirect(skin.skin, TEXT("Box"), owner, boxed.Get(), Proc, 0);
    ASSERT_NE(w, nullptr);
    RECT close = ControlRect(w->FindControl(kSkinCloseId));
    // The click is queued before the run starts, as a user's would be.
    ShowWindow(w->GetHandle(), SW_SHOW);
    POINT p{close.left + 5, 5};
    ClientToScreen(w->GetHandle(), &p);
    platform::driver::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    platform::driver::InjectMouse(WM_LBUTTONUP, p, 0);
    EXPECT_EQ(w->RunModal(), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner));
    HWND page = w->GetOwnPage();
    DestroyWindow(w->GetHandle());
    bool destroyed = false;
    for (const skintest::Heard& h : heard_)
        if (h.message == WM_DESTROY && h.hwnd == page) destroyed = true;
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(w->GetControlCount(), 0u);
    EXPECT_EQ(SkinWindow::FromHandle(page), nullptr);
    SkinWindow::Destroy(w);
    DestroyWindow(owner);
}

TEST_F(Window, KeysGoToTheFocusedControl) {
    SkinHolder& skin = Keep(SkinEntries());
    TemplateBuilder tpl(WS_POPUP, 150, 80, u"Keys");
    tpl.Item(0x82, SS_LEFT, 4, 4, 60, 10, 1, u"Name:")
        .Item(0, WS_TABSTOP, 4, 20, 100, 14, 2, u"", u"edit");
    SkinWindow* w = FromTemplate(skin.skin, tpl);
    ASSERT_NE(w, nullptr);
    SkinControl* edit = w->FindControl(2);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->GetKind(), static_cast<DWORD>(kSkinEdit));
    EXPECT_EQ(w->GetFocusControl(), edit);
    SetFocus(w->GetHandle());
    for (char c : std::string("Ok"))
        SendMessage(w->GetHandle(), WM_CHAR, static_cast<WPARAM>(c), 0);
    Key(VK_LEFT);
    EXPECT_STREQ(edit->GetText().c_str(), "Ok");
    EXPECT_EQ(edit->GetCaret(), 1);
    // The dialog's own edit control holds the text too.
    TCHAR text[16] = {};
    GetDlgItemText(w->GetOwnPage(), 2, text, 16);
    EXPECT_STREQ(text, "Ok");
}

TEST_F(Window, MissingFrameImageThrowsTheSkinError) {
    std::vector<ziptest::Entry> entries = SkinEntries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == "frame-lr.psp")
            entries.erase(entries.begin() + static_cast<long>(i));
    SkinHolder& skin = Keep(entries);
    TemplateBuilder tpl(WS_POPUP, 120, 80, u"Broken");
    try {
        SkinWindow* w =
            SkinWindow::CreateIndirect(skin.skin, TEXT("Broken"), nullptr, tpl.Get(), Proc, 0);
        SkinWindow::Destroy(w);
        ADD_FAILURE() << "made without its frame";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(), "the skin Test is missing the Broken frame-lr image");
    }
}

TEST_F(Window, PrefixChangesTheSettings) {
    SkinHolder& skin = Keep(SkinEntries("Other titlebar height = 50\n"));
    SkinWindow* w = Blank(skin.skin, 200, 150);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetSettings().titlebarHeight, 20u);
    w->SetPrefix(TEXT("Other"));
    EXPECT_EQ(w->GetSettings().titlebarHeight, 50u);
    w->SetPrefix(TEXT("(keepcurrent)"));
    EXPECT_STREQ(w->GetPrefix().c_str(), "Other");
    EXPECT_EQ(w->HitTest(POINT{100, 40}, nullptr), kHitDrag);
}

} // namespace
