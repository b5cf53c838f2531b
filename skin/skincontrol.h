// Skinned controls: display objects on a skinned window that draw themselves from a skin image
// cut into a grid of cells, place themselves by anchoring rules that follow the window's size,
// show their text as markup and take the mouse and keyboard through their window.
//
//     SkinControl* ok = SkinControl::Create(window, kSkinPushButton, IDOK, 0, "OK", rect);
//     ok->SetPlacement(kPlaceFar, 16, 75, kPlaceFar, 16, kSkinKeep);  // bottom-right, 75 wide
//
// A control is owned by its window (SkinWindow::AddControl / Create put it there); the window
// destroys its controls when it goes. Controls made by a window's page conversion belong to
// that page and go with it.
#pragma once

#include "engine/cea_object.h"
#include "foundation/cetl.h"
#include "foundation/tl_string.h"
#include "skin/skingraphics.h"
#include "skin/skinlib.h"

class SkinWindow;
class Sprite;

// An argument of SetPlacement that keeps (or, for an offset, derives) the present value.
constexpr LONG kSkinKeep = static_cast<LONG>(0x80000001u);

// Placement flags, per axis.
constexpr DWORD kPlaceNear = 0x00;   // offset from the left (top) edge
constexpr DWORD kPlaceFar = 0x01;    // offset from the right (bottom) edge
constexpr DWORD kPlaceCenter = 0x02; // offset from the centre
constexpr DWORD kPlaceWhole = 0x04;  // measured on the whole client area, frame included
constexpr DWORD kPlaceGrow = 0x10;   // grows with the reference area
constexpr DWORD kPlaceShrink = 0x20; // shrinks as the reference area grows

// The window's close and minimise buttons.
constexpr WORD kSkinCloseId = 40000;
constexpr WORD kSkinMinimiseId = 40001;
// First identifier given to controls whose own identifier is missing or taken.
constexpr WORD kSkinFreeIdBase = 40100;

// Messages to the page procedure about a user-drawn control (kind 14); wParam is the control's
// identifier, lParam as below; the procedure's return value is the answer.
constexpr UINT kSkinUserClick = 0x4106; // clicked; lParam the control
constexpr UINT kSkinUserSize = 0x4107;  // natural size? answer width | height << 16
constexpr UINT kSkinUserTick = 0x4108;  // every frame tick; non-zero redraws the control
constexpr UINT kSkinUserDraw = 0x4109;  // draw; lParam a SkinUserDraw record
struct SkinUserDraw {
    class SkinControl* control;
    RECT rect;       // the control, in window client coordinates
    RECT clip;       // the part to draw
    Graphic* target; // the composite drawn on
};

// One axis of a placement.
struct SkinPlacement {
    DWORD flags = 0;
    LONG offset = 0;
    LONG size = 0;
    LONG reference = 0; // size of the reference area when the placement was set
    bool set = false;
};

class SkinControl {
public:
    // Freed through Destroy.
    ~SkinControl();
    SkinControl(const SkinControl&) = delete;
    SkinControl& operator=(const SkinControl&) = delete;
    // Makes the control on `window` (and adds it to the window's controls) with its display
    // object; `rect` is in window client coordinates. The skin images are attached by
    // LoadImages (the window does so for the controls of a page it converts, and AddControl
    // does it at once). Throws the container exception for an unknown kind.
    static SkinControl* Create(SkinWindow* window, DWORD kind, DWORD id, DWORD style,
                               const TCHAR* text, const RECT& rect);
    // Takes the control off its window and frees it.
    static void Destroy(SkinControl* control);

    // Attaches the kind's skin image(s) (and the settings of the kind). A missing required
    // image throws the skin's missing-image exception.
    void LoadImages();
    // Draws from `sprite` cut in the kind's grid instead of the skin's image (the control owns
    // what it builds; the sprite must outlive the control or the next SetSprite).
    void SetSprite(Sprite* sprite);
    // Draws from a graphics record of the skin (not owned).
    void SetGraphics(SkinControlGraphics* graphics);

    // Arguments given as kSkinKeep keep their present value; an offset so given is derived
    // from the present rectangle under the given flags. Records the reference area's size and
    // applies the placement.
    void SetPlacement(DWORD hFlags, LONG hOffset, LONG hSize, DWORD vFlags, LONG vOffset,
                      LONG vSize);
    // Places the control again after the window's size changed (nothing without a placement).
    void ApplyPlacement();
    const SkinPlacement& GetPlacement(int axis) const { return placement_[axis]; }
    // The kind's natural size from its cells (a user-drawn control asks its page).
    SIZE NaturalSize() const;

    void SetEnabled(bool enabled);
    void SetCheck(int check);
    // Progress bar: 0 to 100; scroll bar: within its range.
    void SetPosition(LONG position);
    void SetText(const TCHAR* text);
    // Scroll bar range and page (the page sets the thumb's size with proportional scroll bars;
    // a page covering the range makes the bar inactive).
    void SetRange(LONG minimum, LONG maximum, LONG page);
    // List box items.
    int AddItem(const TCHAR* text);
    void ClearItems();
    int GetSelection() const { return selected_; }
    void SetSelection(int index);
    int GetItemCount() const { return static_cast<int>(strings_.size()); }
    const string& GetItem(int index) const { return strings_[static_cast<std::size_t>(index)]; }
    // Edit field: caret and selection as character (byte) positions.
    void SetEditSelection(LONG anchor, LONG caret);
    LONG GetCaret() const { return caret_; }
    LONG GetAnchor() const { return anchor_; }

    bool IsEnabled() const { return enabled_; }
    bool IsActive() const { return enabled_ && !inactive_; }
    int GetCheck() const { return check_; }
    LONG GetPosition() const { return position_; }
    LONG GetMinimum() const { return minimum_; }
    LONG GetMaximum() const { return maximum_; }
    const string& GetText() const { return text_; }
    DWORD GetKind() const { return kind_; }
    DWORD GetId() const { return id_; }
    DWORD GetStyle() const { return style_; }
    void GetRect(RECT* rect) const { object_->GetRect(rect); }
    void SetRect(const RECT& rect);
    AnimObject* GetObject() const { return object_; }
    SkinWindow* GetWindow() const { return window_; }
    SkinControlGraphics* GetGraphics() const { return graphics_; }
    const SkinControlSettings& GetSettings() const { return settings_; }
    const cetl::vector<MarkupItem>& GetMarkup() const { return items_; }
    // The page the control came from (null for one added by code) and the dialog control it
    // replaces (null likewise).
    HWND GetPage() const { return page_; }
    HWND GetChild() const { return child_; }
    void SetOrigin(HWND page, HWND child, DWORD group) {
        page_ = page, child_ = child, group_ = group;
    }
    DWORD GetGroup() const { return group_; }

    // Input, from the window. Whether the mouse goes to this control at a client point.
    bool HitTest(POINT point) const;
    bool TakesMouse() const;
    bool TakesKeys() const {
        return IsActive() && (kind_ == kSkinEdit || kind_ == kSkinList || kind_ == kSkinVScroll ||
                              kind_ == kSkinHScroll);
    }
    // The button went down on the control at `point`; the control is the window's pressed one.
    void Press(POINT point);
    // The pressed control follows the mouse.
    void Drag(POINT point);
    // While held, a scroll bar's arrows and track repeat their step (the window's frame
    // timer calls this with the engine clock).
    void Repeat(DWORD now);
    // Released over the control: a click (sends WM_COMMAND to the window).
    void Click(POINT point);
    // A WM_COMMAND for this identifier reached the window: radio buttons check themselves,
    // check boxes toggle.
    void Command(WPARAM wParam);
    // Navigation keys (WM_KEYDOWN) and characters (WM_CHAR); true when used.
    bool Key(UINT message, WPARAM key);

    // Lays the markup out again (after a text, size, colour or enabled change) and redraws.
    void LayOut();
    void Redraw();
    // The text height the markup needs at the control's present width.
    LONG MeasureTextHeight();

private:
    SkinControl(SkinWindow* window, DWORD kind, DWORD id, DWORD style, const TCHAR* text,
                const RECT& rect);
    static LRESULT ObjectProc(AnimObject* object, DWORD message, LPARAM parameter);
    void Draw(const ANIMDRAW* record);
    void DrawButton(const ANIMDRAW* record);
    void DrawTitleButton(const ANIMDRAW* record);
    void DrawToggle(const ANIMDRAW* record);
    void DrawProgress(const ANIMDRAW* record);
    void DrawPanel(const ANIMDRAW* record);
    void DrawEdit(const ANIMDRAW* record);
    void DrawList(const ANIMDRAW* record);
    void DrawScroll(const ANIMDRAW* record);
    void DrawText(const ANIMDRAW* record);
    RECT TextArea() const;
    COLORREF TextColor() const;
    bool UnderMouse() const;
    bool Pressed() const;
    void ReleaseOwnGraphics();
    // Scroll bars: the axis they run along (where it starts, its length, the cell and arrow
    // length along it), the track, the thumb.
    struct Axis {
        bool vertical;
        LONG origin, length, cell, arrow;
    };
    Axis ScrollAxis() const;
    RECT ThumbRect() const;
    LONG TrackLength() const;
    LONG ThumbLength() const;
    void Scroll(LONG position, bool notify);
    LONG ListRowHeight() const;
    int ListRows() const;
    int ListItemAt(POINT point) const;
    LONG EditCaretAt(POINT point) const;
    void EditInsert(const TCHAR* text, std::size_t n);
    void EditDelete(LONG from, LONG to);

    SkinWindow* window_;
    AnimObject* object_;
    DWORD kind_;
    DWORD id_;
    DWORD style_;
    string text_;
    SkinControlGraphics* graphics_ = nullptr;
    SkinControlGraphics* itemGraphics_ = nullptr;  // list items
    SkinControlGraphics* caretGraphics_ = nullptr; // edit caret
    SkinControlGraphics* ownGraphics_ = nullptr;   // built by SetSprite
    bool enabled_ = true;
    bool inactive_ = false;
    int check_ = 0;
    LONG position_ = 0;
    LONG minimum_ = 0, maximum_ = 100, page_size_ = 0;
    SkinControlSettings settings_;
    cetl::vector<MarkupItem> items_;
    SkinPlacement placement_[2];
    HWND page_ = nullptr;
    HWND child_ = nullptr;
    DWORD group_ = 0;
    // Pressing: the part hit (scroll bars: 0 decrease arrow, 1 increase arrow, 2 page before,
    // 3 page after, 4 thumb) and where the thumb was grabbed.
    int part_ = -1;
    LONG grab_ = 0;
    DWORD pressTime_ = 0, repeatTime_ = 0;
    // Lists and edit fields.
    cetl::vector<string> strings_;
    int selected_ = -1;
    int top_ = 0;
    LONG caret_ = 0, anchor_ = 0;
    LONG scrollX_ = 0;
};

// The natural size of a kind from its cell size (list boxes add their item cell and borders).
SIZE SkinNaturalSize(DWORD kind, const SkinControlGraphics* graphics, bool hasText,
                     const SkinControlGraphics* items, const SkinControlSettings& settings);
