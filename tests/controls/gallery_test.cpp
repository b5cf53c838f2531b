// One of each control on a window, as a picture to look at:
//     TESSARK_CONTROLS_SHOT=controls.bmp build/bin/controls_tests_device --gtest_filter='Gallery.*'
#include "controls_test_support.h"

#include <cstdlib>

namespace {

constexpr COLORREF kTeal = RGB(0, 64, 96);

class Gallery : public ControlTest {
protected:
    // A framed picture: a button image of the game's kind.
    static Graphic* Framed(LONG width, LONG height, COLORREF fill, COLORREF frame);
};

Graphic* Gallery::Framed(LONG width, LONG height, COLORREF fill, COLORREF frame) {
    Graphic* g = Solid(width, height, fill);
    const DWORD v = g->ColorToValue(frame);
    for (LONG x = 0; x < width; ++x) {
        g->SetPixelValue(x, 0, v);
        g->SetPixelValue(x, height - 1, v);
    }
    for (LONG y = 0; y < height; ++y) {
        g->SetPixelValue(0, y, v);
        g->SetPixelValue(width - 1, y, v);
    }
    return g;
}

TEST_F(Gallery, OneOfEach) {
    window_->FillBackground(kTeal);
    std::vector<AuxControl*> controls;
    auto button = [&](DWORD style, const TCHAR* text, LONG x, LONG y) {
        AnimButton* b = MakeButton(static_cast<DWORD>(controls.size() + 1), style);
        b->SetText(text);
        b->MoveTo(x, y);
        controls.push_back(b);
        return b;
    };
    button(kButtonPush, TEXT("OK"), 8, 8)->SetFocus();
    button(kButtonPush, TEXT("Pressed"), 50, 8)->SetPressed(TRUE);
    button(kButtonFlat, TEXT("Flat"), 120, 8);
    button(kButtonFlat, TEXT("Flat"), 160, 8)->SetPressed(TRUE);
    button(kButtonCheck | kButtonClickToggle, TEXT("Sound"), 8, 40)->SetChecked(TRUE);
    const DWORD radio = kButtonRadio | kButtonClickRadio | ButtonGroup(1);
    button(radio, TEXT("Low"), 8, 60)->SetChecked(TRUE);
    button(radio, TEXT("High"), 8, 78);
    AnimButton* centred = button(kButtonCentred, TEXT("Centred"), 8, 100);
    RECT wide{8, 100, 82, 124};
    centred->SetRect(&wide);

    Graphic* up = Framed(32, 21, RGB(200, 64, 32), kWhite);
    Graphic* down = Framed(32, 21, RGB(96, 32, 16), kBlack);
    button(kButtonCentred, nullptr, 92, 40)->SetImages(up, down);
    AnimButton* held = button(kButtonCentred, nullptr, 132, 40);
    held->SetImages(up, down);
    held->SetPressed(TRUE);

    auto* text = new (MM("ANIMTEXT")) AnimText(window_, 599);
    text->SetColor(AUXCOLOR_BACKGROUND, kNoColor);
    text->SetColor(AUXCOLOR_TEXT, RGB(255, 255, 255));
    text->SetFormat(9);
    RECT box{92, 70, 192, 152};
    text->SetRect(&box);
    text->SetText(TEXT("Three pieces at three corners of a rectangle capture the fourth."));
    controls.push_back(text);
    window_->Paint();

    if (const char* shot = std::getenv("TESSARK_CONTROLS_SHOT")) {
        Graphic copy(kWidth, kHeight, 24);
        window_->GetFrameComposite()->DrawTo(&copy, 0, 0);
        HANDLE file = CreateFileA(shot, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(copy.Save(file));
        CloseHandle(file);
    }
    // Each control left its mark on the window.
    for (AuxControl* c : controls) {
        RECT r{};
        c->GetRect(&r);
        RECT ink = Ink(r, kTeal);
        EXPECT_GT(ink.right - ink.left, (r.right - r.left) / 3) << c->GetId();
    }
    for (AuxControl* c : controls)
        MemDelete(c, MM("AUXCONTROL"));
    MemDelete(up, MM("GRAPHIC"));
    MemDelete(down, MM("GRAPHIC"));
}

} // namespace
