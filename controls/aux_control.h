// Controls drawn on an animation window instead of living in child windows: each control owns
// one display object and draws itself when the window draws that object. `AnimButton` is a
// push button, check box or radio button, usually shown as a pair of images; `AnimText` is a
// text box. Input comes through the window's message hooks; one focus and one pen capture are
// shared by every control of the process. A button reports to window procedures by calling
// them with WM_COMMAND (the button in lParam):
//     auto* b = new (MM("ANIMBUTTON")) AnimButton(window, 1020, kButtonCentred, 50);
//     b->SetCommandTarget(MainProc);   // code 0: clicked
//     b->SetNotifyTarget(MainProc);    // code 2: pressed, code 3: released
//     b->MoveTo(6, 4);
//     b->SetAutoPaint(TRUE);
//     b->SetImages(up, down);          // the button takes the size of the larger image
//     ...
//     MemDelete(b, MM("ANIMBUTTON"));
//
// Controls are made with `new (MM(...))` and deleted with MemDelete; a control outlives its
// object when the window goes first, and then only its geometry stops working. Images, icons
// and callbacks stay the caller's; a font given to SetFont becomes the control's. Main thread
// only.
#pragma once

#include "engine/cea_graphic.h"
#include "engine/cea_object.h"
#include "foundation/tl_string.h"
#include "platform/gdi.h"
#include "platform/user.h"

class AnimWindow;

// Control kinds (GetKind).
enum : DWORD {
    AUXKIND_BASE = 0,
    AUXKIND_BUTTON = 1,
    AUXKIND_TEXT = 2,
};

// Messages a control's object answers besides the engine's own. The parameter of the hit test
// is a POINT relative to the object's top-left; 0 means not hit.
enum : DWORD {
    AUXMSG_HITTEST = 100,
    AUXMSG_ACCEPTSPEN = 101,
};

// The object's user slot that holds its control.
constexpr DWORD kAuxObjectSlot = 4;

// Colour indexes (GetColor / SetColor). Highlight and shadow are kept for callers; the
// controls draw with the other three.
enum : DWORD {
    AUXCOLOR_BACKGROUND = 0,
    AUXCOLOR_HIGHLIGHT = 1,
    AUXCOLOR_SHADOW = 2,
    AUXCOLOR_FACE = 3,
    AUXCOLOR_TEXT = 4,
};
// SetColor refuses indexes above this.
constexpr DWORD kAuxMaxColorIndex = 255;

// Button style: kind in bits 0-3, click behaviour in bits 4-7, radio group in bits 16-31.
constexpr DWORD kButtonPush = 0x0;
constexpr DWORD kButtonCheck = 0x1;
constexpr DWORD kButtonRadio = 0x2;
constexpr DWORD kButtonKindMask = 0xF;
constexpr DWORD kButtonClickRadio = 0x10;  // checking one clears the others of its group
constexpr DWORD kButtonClickToggle = 0x20; // each click flips the check
constexpr DWORD kButtonClickMask = 0xF0;
constexpr DWORD kButtonFlat = 0x100;    // without images, the face shows only while hot
constexpr DWORD kButtonCentred = 0x200; // centred text
constexpr DWORD ButtonGroup(DWORD group) {
    return group << 16;
}

// Notification codes in the high word of wParam.
constexpr WORD kButtonClicked = 0;
constexpr WORD kButtonPressed = 2;
constexpr WORD kButtonReleased = 3;

// Text box formats (other bits are ignored).
constexpr DWORD kTextRight = 0x2;
constexpr DWORD kTextCentred = 0x4;
constexpr DWORD kTextWrap = 0x8;

// The abstract control: text, id, colours, font and geometry, focus and pen capture.
class AuxControl {
public:
    virtual ~AuxControl();
    AuxControl(const AuxControl&) = delete;
    AuxControl& operator=(const AuxControl&) = delete;

    // ---- Geometry (nothing happens without an object) ----
    // GetRect, GetSize, GetPosition and Invalidate lay the control out first when it must.
    virtual void GetRect(RECT* rect);
    // Null: size to the content again. A rectangle fixes the size.
    virtual void SetRect(const RECT* rect);
    virtual void GetSize(LONG* width, LONG* height);
    // Fixes the size, keeping left and top; negative sizes count as 0.
    virtual void SetSize(LONG width, LONG height);
    virtual void AutoSize();
    virtual void GetPosition(LONG* x, LONG* y);
    virtual void MoveTo(LONG x, LONG y);

    // ---- Text, picture, id, state ----
    // Characters plus 1.
    virtual DWORD GetTextLength();
    virtual void GetText(string& text);
    // Does not invalidate: a fixed-size control whose text changes is invalidated by its
    // caller. Null is the empty text.
    virtual void SetText(LPCTSTR text);
    // The object's current graphic (a push button's icon).
    virtual Graphic* GetGraphic();
    // Given to the object to be drawn by the control, not copied directly.
    virtual void SetGraphic(Graphic* graphic);
    virtual DWORD GetId();
    virtual void SetId(DWORD id);
    virtual BOOL IsEnabled();
    virtual void Enable(BOOL enable);
    virtual void Invalidate();
    // Index 0 background, 3 face, 4 text. Until SetColor is first called the system colours;
    // afterwards the indexes below the table's length read the table (0 = black unless set).
    // All ones means no colour.
    virtual COLORREF GetColor(DWORD index);
    // Grows the table to index + 4 entries when it is not longer than index. False for an
    // index above kAuxMaxColorIndex or when memory ran out.
    virtual BOOL SetColor(DWORD index, COLORREF color);

    // ---- Focus and pen capture (one of each for the whole process) ----
    virtual void SetFocus();
    virtual BOOL HasCapture();
    // Takes the system capture for the control's window, giving it back to the window that
    // had it on ReleaseCapture.
    virtual void Capture();
    virtual void ReleaseCapture();

    // ---- Drawing ----
    virtual BOOL DrawFocusRect(HDC dc, const RECT* rect);
    virtual BOOL DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags);
    virtual void Layout() = 0;
    virtual void Draw(const ANIMDRAW* record) = 0;
    virtual void OnSetFocus();
    virtual void OnKillFocus();

    // ---- Not virtual ----
    // After each change, paint the window at once.
    void SetAutoPaint(BOOL autoPaint) { autoPaint_ = autoPaint ? TRUE : FALSE; }
    BOOL GetAutoPaint() const { return autoPaint_; }
    // The control takes the font over and deletes the one it had (never the stock system
    // font); null goes back to the stock font.
    void SetFont(HFONT font);
    HFONT GetFont() const { return font_; }
    DWORD GetKind() const { return kind_; }
    BOOL IsAutoSized() const { return autoSize_; }
    AnimObject* GetAnimObject() const { return object_; }
    // The window the control was made on while it lives, else null.
    AnimWindow* GetAnimWindow() const;

protected:
    AuxControl(AnimWindow* window, DWORD id, LONG layer, AnimObjectCallback callback, DWORD kind);

    // The object callback of every control.
    static LRESULT ControlCallback(AnimObject* object, DWORD message, LPARAM parameter);
    // The extent of the text in the control's font on the window; (0, 0) for no text.
    SIZE MeasureText();
    // Paints the window now when auto-paint is on and the object exists.
    void AutoPaintStep();
    // Hit test of the object at a point of the window's client area.
    BOOL HitTest(POINT point);
    // Names a control across callbacks, which may delete controls (or make new ones at the
    // same address).
    struct Token {
        AuxControl* control;
        DWORD serial;
    };
    Token MakeToken() { return {this, serial_}; }
    // True while the control the token names lives.
    static bool IsAlive(const Token& token);

    AnimObject* object_;
    BOOL autoSize_;
    BOOL needsLayout_;
    string text_;
    DWORD id_;
    AnimObjectCallback objectCallback_;
    DWORD kind_;
    COLORREF* colors_;
    std::size_t cColors_;
    BOOL autoPaint_;
    BOOL enabled_;
    HFONT font_;

private:
    friend AuxControl* FromObject(AnimObject* object);
    friend void ClearFocus();

    static LRESULT FocusHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // A size or position of the object, laid out first; 0 without an object.
    void ReadPair(void (AnimObject::*read)(LONG*, LONG*) const, LONG* first, LONG* second);

    AnimWindow* window_;
    HWND hwnd_;
    DWORD serial_;
};

// Push button, check box or radio button.
class AnimButton : public AuxControl {
public:
    AnimButton(AnimWindow* window, DWORD id, DWORD style, LONG layer);
    ~AnimButton() override;

    void Layout() override;
    void Draw(const ANIMDRAW* record) override;
    void OnKillFocus() override;

    // Window procedures called with WM_COMMAND; null sends nothing.
    void SetCommandTarget(WNDPROC target);
    void SetNotifyTarget(WNDPROC target);
    BOOL IsPressed() const { return pressed_; }
    void SetPressed(BOOL pressed);
    BOOL IsChecked() const { return checked_; }
    void SetChecked(BOOL checked);
    DWORD GetStyle() const { return style_; }
    void GetImages(Graphic** up, Graphic** down) const;
    // Either may be null (the other stands in for the size); both null draws the face.
    void SetImages(Graphic* up, Graphic* down);
    // Called with (object, ANIMOBJ_DRAW, draw record) after the button has drawn itself.
    void SetAfterDraw(AnimObjectCallback callback) { afterDraw_ = callback; }
    // Sees every object message first; an answer of 0 ends it there. It draws instead of
    // the button.
    void SetCustom(AnimObjectCallback callback) { custom_ = callback; }
    // What a click of the pen does: toggles or checks as the style says, then the command.
    void Click();

private:
    static LRESULT ButtonCallback(AnimObject* object, DWORD message, LPARAM parameter);
    static LRESULT PressHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT ReleaseHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static AnimButton* CapturingButton(HWND hwnd);

    void Notify(WNDPROC target, WORD code);
    bool IsHot();
    void TrackHot();
    void DrawFace(HDC dc, const RECT& r, LONG p);
    void DrawMarked(HDC dc, const RECT& r);
    void DrawLabel(HDC dc, const RECT& r, LONG p, LONG shift);

    WNDPROC commandTarget_;
    WNDPROC notifyTarget_;
    BOOL pressed_;
    BOOL checked_;
    DWORD style_;
    Graphic* up_;
    Graphic* down_;
    AnimObjectCallback afterDraw_;
    AnimObjectCallback custom_;
    // Whether a flat button was hot when last looked at.
    BOOL hot_;
};

// Text box: never hit, so the pen reaches whatever lies behind it.
class AnimText : public AuxControl {
public:
    AnimText(AnimWindow* window, LONG layer);

    void Layout() override;
    void Draw(const ANIMDRAW* record) override;

    DWORD GetFormat() const { return format_; }
    void SetFormat(DWORD format);
    // (0, 0, width, height) of the text on one line in the control's font; empty without text.
    void GetTextExtent(RECT* rect);

private:
    static LRESULT TextCallback(AnimObject* object, DWORD message, LPARAM parameter);

    DWORD format_;
};

// ---- The process's focus and capture, and finding controls ----

AuxControl* GetFocusControl();
// The focused control when it is of `kind`, else null.
AuxControl* GetFocusControl(DWORD kind);
AuxControl* GetCaptureControl();
AuxControl* GetCaptureControl(DWORD kind);
// Releases the capture and takes the focus from whichever control has them.
void ClearFocus();
// The control shown by `object`, or null for any object that is not a control's.
AuxControl* FromObject(AnimObject* object);
// The front-most control of the window with that id, or null.
AuxControl* FindControl(AnimWindow* window, DWORD id);
