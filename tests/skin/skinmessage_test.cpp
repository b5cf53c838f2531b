// The skinned message box: its measures from the flags and the work area, the controls it is
// built from in a skin of known sizes, its answers when its buttons or its close box are
// clicked, and its captions in both languages.
#include "foundation/language.h"
#include "platform/core/driver.h"
#include "platform/core/paint_internal.h"
#include "platform/gdi.h"
#include "skin/skincontrol.h"
#include "skin/skinmessage.h"
#include "skin/skinwindow.h"
#include "tests/platform/temp_machine.h"
#include "tests/skin/skin_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

// Found by argument lookup from the assertions, so not in the unnamed namespace.
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

using skintest::File;
using skintest::Psp;
using skintest::Text;

TEST(SkinMessageMeasure, AnInfoBoxOnAThousandPixelWorkArea) {
    // The edge case as given: 1024 / 3 = 341; 341 / 2 = 170 limited to 75; text at 64 + icon.
    SkinMessageLayout l = SkinMessageMeasure(64, 1024, 0, 0, 32);
    EXPECT_STREQ(l.icon, "icon-info");
    EXPECT_EQ(l.width, 341);
    EXPECT_EQ(l.buttonWidth, 75);
    ASSERT_EQ(l.buttonCount, 1);
    EXPECT_EQ(l.buttons[0], IDOK);
    EXPECT_TRUE(l.closeBox);
    EXPECT_EQ(l.height, 96);
    EXPECT_EQ(l.textLeft, 96);
    // 341 - 48 - 96 = 197 is too narrow: the text takes 200 and the box widens to hold it.
    EXPECT_EQ(l.textWidth, 200);
    EXPECT_EQ(l.finalWidth, 96 + 200 + 48);

    // The frame widens the box and is added to its height; a wide work area keeps the column.
    l = SkinMessageMeasure(0, 1800, 12, 30, 32);
    EXPECT_EQ(l.icon, nullptr);
    EXPECT_EQ(l.width, 600 + 12);
    EXPECT_EQ(l.height, 30 + 96);
    EXPECT_EQ(l.textLeft, 64); // no icon asked for: the icon's width does not count
    EXPECT_EQ(l.textWidth, 612 - 12 - 48 - 64);
    EXPECT_EQ(l.finalWidth, 612);
}

TEST(SkinMessageMeasure, ButtonSetsCloseBoxAndButtonWidths) {
    struct Case {
        UINT flags;
        std::vector<int> buttons;
        bool closeBox;
    } cases[] = {{MB_OK, {IDOK}, true},
                 {MB_OKCANCEL, {IDCANCEL, IDOK}, true},
                 {MB_YESNOCANCEL, {IDCANCEL, IDNO, IDYES}, true},
                 {MB_YESNO, {IDNO, IDYES}, false},
                 {MB_YESNO | MB_ICONQUESTION, {IDNO, IDYES}, false},
                 {2, {IDOK}, true},                          // abort, retry, ignore: not offered
                 {MB_YESNO | 0x1000, {IDNO, IDYES}, false}}; // modality bits are not buttons
    for (const Case& c : cases) {
        SkinMessageLayout l = SkinMessageMeasure(c.flags, 1024, 0, 0, 0);
        std::vector<int> got(l.buttons, l.buttons + l.buttonCount);
        EXPECT_EQ(got, c.buttons) << c.flags;
        EXPECT_EQ(l.closeBox, c.closeBox) << c.flags;
    }
    // Width / (buttons + 1), within 40 and 75.
    EXPECT_EQ(SkinMessageMeasure(MB_YESNOCANCEL, 600, 0, 0, 0).buttonWidth, 50);
    EXPECT_EQ(SkinMessageMeasure(MB_YESNOCANCEL, 300, 0, 0, 0).buttonWidth, 40);
    EXPECT_EQ(SkinMessageMeasure(MB_OKCANCEL, 3000, 0, 0, 0).buttonWidth, 75);
    // A work area of nothing still gives a usable box.
    SkinMessageLayout tiny = SkinMessageMeasure(MB_OK, -5, 0, 0, 0);
    EXPECT_EQ(tiny.width, 0);
    EXPECT_EQ(tiny.buttonWidth, 40);
    EXPECT_EQ(tiny.textWidth, 200);
}

TEST(SkinMessageMeasure, IconsByFlag) {
    const struct {
        UINT flags;
        const char* icon;
    } cases[] = {{0, nullptr},           {16, "icon-alert"},
                 {32, "icon-question"},  {48, "icon-alert"},
                 {64, "icon-info"},      {64 | 16, "icon-info"},
                 {64 | 32, "icon-info"}, {MB_YESNO | 32, "icon-question"}};
    for (const auto& c : cases) {
        const TCHAR* icon = SkinMessageIcon(c.flags);
        if (c.icon == nullptr)
            EXPECT_EQ(icon, nullptr) << c.flags;
        else
            EXPECT_STREQ(icon, c.icon) << c.flags;
    }
}

TEST(SkinMessageMeasure, CaptionsInBothLanguages) {
    EXPECT_STREQ(SkinMessageButtonText(IDOK, kLangEnglish), "OK");
    EXPECT_STREQ(SkinMessageButtonText(IDCANCEL, kLangEnglish), "Cancel");
    EXPECT_STREQ(SkinMessageButtonText(IDYES, kLangEnglish), "Yes");
    EXPECT_STREQ(SkinMessageButtonText(IDNO, kLangEnglish), "No");
    for (LANGID other : {kLangEsperanto, kLangGerman}) {
        EXPECT_STREQ(SkinMessageButtonText(IDOK, other), "Akceptu");
        EXPECT_STREQ(SkinMessageButtonText(IDCANCEL, other), "Nuligu");
        EXPECT_STREQ(SkinMessageButtonText(IDYES, other), "Jes");
        EXPECT_STREQ(SkinMessageButtonText(IDNO, other), "Ne");
    }
}

// A skin of known sizes: 8-pixel frame pieces, push buttons of 10 x 20 cells, a 16 x 16 close
// box, a 32-pixel info icon and a 24-pixel alert icon, and no question icon.
std::vector<ziptest::Entry> BoxSkin(const std::string& settings) {
    auto plain = [](BYTE index) { return [index](LONG, LONG) { return index; }; };
    return {Text("skin.txt", "skin = Box test\n" + settings),
            File("frame-c.psp", Psp(16, 16, plain(10))),
            File("frame-lr.psp", Psp(16, 8, plain(11))),
            File("frame-tb.psp", Psp(8, 16, plain(12))),
            File("pbutton.psp", Psp(30, 80, plain(20))),
            File("frame-x.psp", Psp(16, 48, plain(30))),
            File("icon-info.psp", Psp(32, 32, plain(40))),
            File("icon-alert.psp", Psp(24, 24, plain(41)))};
}

// One pixel of a 24-bit BMP file written by the platform's screenshot.
COLORREF PixelOf(const std::string& path, int x, int y) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (b.size() < 54) return CLR_INVALID;
    auto get32 = [&](std::size_t at) {
        return static_cast<int>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    const int w = get32(18), h = get32(22);
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    const std::size_t at = 54 + rowBytes * static_cast<std::size_t>(h - 1 - y) + x * 3;
    if (x < 0 || y < 0 || x >= w || y >= h || at + 2 >= b.size()) return CLR_INVALID;
    return RGB(b[at + 2], b[at + 1], b[at]);
}

RECT RectOf(SkinControl* c) {
    RECT r{};
    if (c != nullptr) c->GetRect(&r);
    return r;
}

class SkinMessageBox : public ::testing::Test {
protected:
    void SetUp() override {
        platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
        setenv("TESSARK_SCREEN", "1024x768", 1);
        static int counter = 0;
        std::string name = "Message box test " + std::to_string(++counter);
        InitialiseLanguage(string(name.c_str()).c_str());
        ASSERT_TRUE(SkinWindowInit(nullptr, nullptr));
    }
    void TearDown() override { unsetenv("TESSARK_SCREEN"); }
    static RECT WindowRect(SkinWindow* w) {
        RECT r{};
        GetWindowRect(w->GetHandle(), &r);
        return r;
    }
    // Moves onto the control, presses and releases there; the messages wait in the queue.
    static void Click(SkinWindow* w, DWORD id) {
        RECT r = RectOf(w->FindControl(id));
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(w->GetHandle(), &p);
        platform::driver::InjectMouse(WM_MOUSEMOVE, p, 0);
        platform::driver::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
        platform::driver::InjectMouse(WM_LBUTTONUP, p, 0);
    }
    // Shows the box, clicks the control and runs the box until it ends.
    static int Answer(SkinWindow* w, DWORD id) {
        ShowWindow(w->GetHandle(), SW_SHOW);
        SetForegroundWindow(w->GetHandle());
        Click(w, id);
        return w->RunModal();
    }
    TempMachine machine_;
};

TEST_F(SkinMessageBox, AnInfoBoxIsBuiltCentredFromTheWorkArea) {
    skintest::SkinHolder skin(BoxSkin("frame border = 0\n"));
    SkinWindow* w = SkinMessageCreate(skin.skin, MB_ICONINFORMATION, "Tessark Setup",
                                      "The game is <b>installed</b>.");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetPrefix(), string("Message"));
    const RECT r = WindowRect(w);
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    EXPECT_EQ(width, 96 + 200 + 48);
    EXPECT_EQ(r.left, (1024 - width) / 2);
    EXPECT_EQ(r.top, (768 - height) / 2);
    char caption[64] = {};
    GetWindowText(w->GetHandle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Tessark Setup");

    SkinControl* icon = w->FindControl(kSkinMessageIconId);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(RectOf(icon), (RECT{16, 16, 48, 48}));
    EXPECT_EQ(icon->GetKind(), static_cast<DWORD>(kSkinUserDrawn));
    // The box's procedure leaves the icon to draw its own image (palette index 40).
    ShowWindow(w->GetHandle(), SW_SHOW);
    w->GetAnimWindow()->Paint();
    const std::string shot = ::testing::TempDir() + "/skinmessage-info.bmp";
    ASSERT_TRUE(platform::wm::SaveBitmapFile(w->GetHandle(), shot.c_str()));
    EXPECT_EQ(PixelOf(shot, 32, 32), RGB(40, 215, 7));
    EXPECT_NE(PixelOf(shot, 60, 32), RGB(40, 215, 7));
    SkinControl* text = w->FindControl(kSkinMessageTextId);
    ASSERT_NE(text, nullptr);
    const RECT t = RectOf(text);
    EXPECT_EQ(t.left, 96);
    EXPECT_EQ(t.right - t.left, 200);
    EXPECT_EQ(t.top, 16);
    EXPECT_GT(t.bottom - t.top, 0);
    EXPECT_EQ(height, 96 + (t.bottom - t.top)); // the text's height is added to the box's
    EXPECT_EQ(text->GetText(), string("The game is <b>installed</b>."));

    SkinControl* ok = w->FindControl(IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->GetText(), string("OK"));
    EXPECT_EQ(RectOf(ok), (RECT{width - 16 - 75, height - 16 - 20, width - 16, height - 16}));
    EXPECT_EQ(w->FindControl(IDCANCEL), nullptr);
    // The close box sits in the top-right corner of the whole window at its image's size.
    EXPECT_EQ(RectOf(w->FindControl(kSkinCloseId)), (RECT{width - 16, 0, width, 16}));
    SkinWindow::Destroy(w);
}

TEST_F(SkinMessageBox, FramesMoveTheContentInAndTheIconDecidesWhereTheTextStarts) {
    // Without "frame border" the box's own axis borders are read.
    skintest::SkinHolder skin(BoxSkin("Message frame xborder = 10\nMessage frame yborder = 6\n"));
    // The alert icon is 24 wide: text at 64 + 24; width 341 + 20 leaves 361 - 20 - 48 - 88.
    SkinWindow* w = SkinMessageCreate(skin.skin, MB_OKCANCEL | MB_ICONWARNING, "", "Careful.");
    ASSERT_NE(w, nullptr);
    const RECT r = WindowRect(w);
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    EXPECT_EQ(width, 361);
    const RECT icon = RectOf(w->FindControl(kSkinMessageIconId));
    EXPECT_EQ(icon, (RECT{10 + 16, 6 + 16, 10 + 40, 6 + 40}));
    const RECT t = RectOf(w->FindControl(kSkinMessageTextId));
    EXPECT_EQ(t.left, 10 + 88);
    EXPECT_EQ(t.right - t.left, 205);
    EXPECT_EQ(height, 12 + 96 + (t.bottom - t.top));
    // Cancel at the right, OK 8 pixels left of it; 361 / 3 = 120 is limited to 75.
    EXPECT_EQ(RectOf(w->FindControl(IDCANCEL)).right, width - 10 - 16);
    EXPECT_EQ(RectOf(w->FindControl(IDOK)).right, width - 10 - 16 - 75 - 8);
    EXPECT_EQ(RectOf(w->FindControl(IDOK)).right - RectOf(w->FindControl(IDOK)).left, 75);
    EXPECT_EQ(RectOf(w->FindControl(IDOK)).bottom, height - 6 - 16);
    SkinWindow::Destroy(w);
}

TEST_F(SkinMessageBox, EmptyTextAndAMissingIconImage) {
    skintest::SkinHolder skin(BoxSkin("frame border = 4\n"));
    // No question icon in this skin: no icon control, and the column starts at 64.
    SkinWindow* w = SkinMessageCreate(skin.skin, MB_YESNO | MB_ICONQUESTION, "", "Go on?");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FindControl(kSkinMessageIconId), nullptr);
    EXPECT_EQ(RectOf(w->FindControl(kSkinMessageTextId)).left, 4 + 64);
    SkinWindow::Destroy(w);

    // An empty text adds no control, and the height stays frame + 96.
    w = SkinMessageCreate(skin.skin, MB_OK | MB_ICONINFORMATION, "", "");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FindControl(kSkinMessageTextId), nullptr);
    const RECT r = WindowRect(w);
    EXPECT_EQ(r.bottom - r.top, 8 + 96);
    EXPECT_NE(w->FindControl(kSkinMessageIconId), nullptr);
    SkinWindow::Destroy(w);
    w = SkinMessageCreate(skin.skin, MB_OK, "", nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FindControl(kSkinMessageTextId), nullptr);
    SkinWindow::Destroy(w);

    EXPECT_EQ(SkinMessageCreate(nullptr, MB_OK, "", "no skin"), nullptr);
    EXPECT_EQ(SkinMessage(nullptr, MB_OK, "", "no skin"), 0);
}

TEST_F(SkinMessageBox, ASkinWithoutButtonImagesRaisesItsMissingImageError) {
    std::vector<ziptest::Entry> entries = BoxSkin("frame border = 0\n");
    std::erase_if(entries, [](const ziptest::Entry& e) { return e.name == "pbutton.psp"; });
    skintest::SkinHolder skin(entries);
    const std::size_t windows = platform::wm::TopWindowsBottomUp().size();
    try {
        SkinMessage(skin.skin, MB_OK, "", "No buttons to draw.");
        ADD_FAILURE() << "no exception";
    } catch (const cetl::exception& e) {
        EXPECT_EQ(e.message(), string("the skin Box test is missing the Message pbutton image"));
    }
    // Nothing is left on the screen.
    EXPECT_EQ(platform::wm::TopWindowsBottomUp().size(), windows);
}

TEST_F(SkinMessageBox, YesNoHasNoCloseBoxAndAnswersWithTheButtonClicked) {
    skintest::SkinHolder skin(BoxSkin("frame border = 0\n"));
    for (int answer : {IDYES, IDNO}) {
        SkinWindow* w = SkinMessageCreate(skin.skin, MB_YESNO, "", "Install the game?");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->FindControl(kSkinCloseId), nullptr);
        EXPECT_EQ(w->FindControl(IDYES)->GetText(), string("Yes"));
        EXPECT_EQ(w->FindControl(IDNO)->GetText(), string("No"));
        EXPECT_EQ(Answer(w, static_cast<DWORD>(answer)), answer);
        SkinWindow::Destroy(w);
    }
    // The close box answers Cancel, as does Cancel itself.
    SkinWindow* w = SkinMessageCreate(skin.skin, MB_OK, "", "Done.");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Answer(w, kSkinCloseId), IDCANCEL);
    SkinWindow::Destroy(w);
    w = SkinMessageCreate(skin.skin, MB_YESNOCANCEL, "", "Replace it?");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Answer(w, IDCANCEL), IDCANCEL);
    SkinWindow::Destroy(w);
}

TEST_F(SkinMessageBox, ButtonsSpeakTheCurrentLanguage) {
    skintest::SkinHolder skin(BoxSkin("frame border = 0\n"));
    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    SkinWindow* w = SkinMessageCreate(skin.skin, MB_OK, "", "Finita.");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FindControl(IDOK)->GetText(), string("Akceptu"));
    EXPECT_EQ(Answer(w, IDOK), IDOK);
    SkinWindow::Destroy(w);
    w = SkinMessageCreate(skin.skin, MB_YESNOCANCEL, "", "Ĉu?");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->FindControl(IDYES)->GetText(), string("Jes"));
    EXPECT_EQ(w->FindControl(IDNO)->GetText(), string("Ne"));
    EXPECT_EQ(w->FindControl(IDCANCEL)->GetText(), string("Nuligu"));
    SkinWindow::Destroy(w);
    ASSERT_TRUE(SetLanguage(kLangEnglish));
}

} // namespace
