// The skinned window: an animation window of class "SkinWindow" whose frame, background and
// controls come from a skin. It shows dialog pages by replacing each of their child controls
// with a skinned control (the dialogs themselves stay hidden and keep their procedures), draws
// its frame from the skin's frame images at layer 1000, takes the outline of those images,
// and moves and resizes itself under the mouse.
//
// From a dialog template (the window's own page sets its size, caption and frame buttons):
//     SkinWindow* w = SkinWindow::Create(skin, "TessarkSetup", nullptr, instance,
//                                        MAKEINTRESOURCE(101), MainProc, 0);
//     HWND page = w->AddPage(instance, MAKEINTRESOURCE(103), PageProc, 0);
//     w->RunModal();                        // until EndModal or the window is destroyed
//     SkinWindow::Destroy(w);
// Without a template (a message box), controls added by code:
//     SkinWindow* w = SkinWindow::Create(skin, "Message", nullptr, nullptr, nullptr, BoxProc, 0);
//     SkinControl* ok = w->AddControl(kSkinPushButton, IDOK, 0, "OK", RECT{0, 0, 75, 24});
//     ok->SetPlacement(kPlaceFar, 16, 75, kPlaceFar, 16, kSkinKeep);
//     SetWindowPos(w->GetHandle(), nullptr, x, y, width, height, SWP_NOZORDER);
//     w->Layout();
//     int id = w->RunModal();                // the box procedure calls EndModal(id)
//     SkinWindow::Destroy(w);
//
// Procedures are dialog procedures. The own page's procedure (`proc` of Create) receives,
// with the own page's handle: WM_INITDIALOG after its controls exist, every WM_COMMAND of a
// control (or posted to the window) that no other page's control has, WM_SIZE after the frame
// was rebuilt, WM_GETMINMAXINFO while resizing, kSkinBackground, WM_DESTROY, and every other
// message of the window. A page's procedure receives WM_INITDIALOG, the WM_COMMAND of its own
// controls, kSkinLayout and WM_DESTROY. SkinWindow::FromHandle finds the window from its own
// handle or from a page's.
//
// WM_COMMAND of a control: wParam = id | BN_CLICKED << 16, lParam = the dialog control it
// replaced (null for controls added by code). The close button (kSkinCloseId) and the
// minimise button (kSkinMinimiseId) send their own identifiers; when the procedure leaves the
// close button's command unhandled (returns FALSE) the window sends it IDCANCEL, and an
// unhandled IDCANCEL ends a modal run with IDCANCEL or else destroys the window; an unhandled
// minimise command minimises the window.
#pragma once

#include "engine/cea_window.h"
#include "foundation/cetl.h"
#include "platform/dlg.h"
#include "skin/skincontrol.h"
#include "skin/skinlib.h"

// The window class, copied from "AnimWindowNoCursor".
inline constexpr TCHAR kSkinWindowClass[] = TEXT("SkinWindow");

// Asked of the own page's procedure before the background is filled: lParam the background
// graphic; a non-zero answer means the procedure has drawn it.
constexpr UINT kSkinBackground = 0x4001;
// Sent to every page (own page first) when the window lays them out (Layout, and after a page
// is shown): wParam 0, lParam the SkinWindow. Pages give their controls images and
// placements here.
constexpr UINT kSkinLayout = 0x4002;

// Hit codes of a client point.
enum SkinHit : int {
    kHitOutside = 0,
    kHitClient = 1,
    kHitDrag = 2,
    kHitControl = 3,
    kHitTopLeft = 4,
    kHitTop = 5,
    kHitTopRight = 6,
    kHitRight = 7,
    kHitBottomRight = 8,
    kHitBottom = 9,
    kHitBottomLeft = 10,
    kHitLeft = 11,
};

// The layer of the frame objects; controls lie in front of it.
constexpr LONG kSkinFrameLayer = 1000;
constexpr LONG kSkinControlLayer = 500;

// Starts the engine and registers "SkinWindow" (with `icon` as its class icon when given).
// False when the class cannot be registered.
BOOL SkinWindowInit(HINSTANCE instance, HICON icon);

class SkinWindow {
public:
    // Freed through Destroy.
    ~SkinWindow();
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;
    // Makes a hidden skinned window named `name` (its skin settings and images are looked up
    // with that prefix, Skin::Lookup) owned by `parent`, its own page made from the template
    // `templateName` of `instance` (none: an empty page) with `proc` and `param`. The skin must
    // outlive the window. Null when the window or its page cannot be made; a missing required
    // skin image throws the skin exception (nothing is left behind).
    static SkinWindow* Create(Skin* skin, const TCHAR* name, HWND parent, HINSTANCE instance,
                              const TCHAR* templateName, DLGPROC proc, LPARAM param,
                              const cetl::PROPERTIES* app = nullptr);
    static SkinWindow* CreateIndirect(Skin* skin, const TCHAR* name, HWND parent,
                                      const DLGTEMPLATE* tpl, DLGPROC proc, LPARAM param,
                                      const cetl::PROPERTIES* app = nullptr);
    // The own page from the template of base id + the current language's index (the
    // program's own module, CreateLocalizedDialog).
    static SkinWindow* CreateLocalized(Skin* skin, const TCHAR* name, HWND parent, UINT baseId,
                                       DLGPROC proc, LPARAM param,
                                       const cetl::PROPERTIES* app = nullptr);
    // Destroys the window (if it still exists) and frees the record.
    static void Destroy(SkinWindow* window);
    // The skinned window of its handle or of one of its pages; null for any other.
    static SkinWindow* FromHandle(HWND hwnd);

    // Pages: a dialog made from a template as a hidden child of the window, its controls
    // converted, then WM_INITDIALOG and kSkinLayout sent to `proc`. `id` names the dialog in
    // the duplicate-identifier traces (a resource id's number by default).
    HWND AddPage(HINSTANCE instance, const TCHAR* templateName, DLGPROC proc, LPARAM param);
    HWND AddPageIndirect(const DLGTEMPLATE* tpl, DLGPROC proc, LPARAM param, DWORD id = 0);
    // The template of base id + the current language's index; `baseId` names it in traces.
    HWND AddLocalizedPage(UINT baseId, DLGPROC proc, LPARAM param);
    // Converts a dialog made elsewhere (a child of GetHandle(), hidden by this call); its
    // procedure sees WM_INITDIALOG once more, through the dialog.
    void ShowDialog(HWND dialog, DWORD id = 0);
    // Destroys a page with its controls. A page made by AddPage and its kin may also simply
    // be destroyed (DestroyWindow): its controls go with it.
    void RemovePage(HWND page);
    HWND GetOwnPage() const { return ownPage_; }

    // A control added by code to the own page, its images loaded at once.
    SkinControl* AddControl(DWORD kind, DWORD id, DWORD style, const TCHAR* text, const RECT& rect);
    void RemoveControl(SkinControl* control);
    SkinControl* FindControl(DWORD id) const;
    std::size_t GetControlCount() const { return controls_.size(); }
    SkinControl* GetControl(std::size_t i) const { return controls_[i]; }

    // Rebuilds the frame, places every control and sends kSkinLayout to the pages.
    void Layout();
    // Shows the window and runs its messages and frames until EndModal or its destruction; the
    // owner is disabled meanwhile. Returns EndModal's id (IDCANCEL when destroyed without).
    int RunModal();
    void EndModal(int id);
    bool IsModalEnded() const { return ended_; }

    // "(keepcurrent)" keeps the prefix; the window settings are read again either way.
    void SetPrefix(const TCHAR* prefix);
    const string& GetPrefix() const { return prefix_; }
    const SkinWindowSettings& GetSettings() const { return settings_; }
    Skin* GetSkin() const { return skin_; }
    const cetl::PROPERTIES* GetAppSettings() const { return app_; }

    HWND GetHandle() const { return hwnd_; }
    AnimWindow* GetAnimWindow() const { return anim_; }
    // Client rectangle, and the inner area: the client less the frame borders.
    RECT GetClientArea() const;
    RECT GetInnerArea() const;
    bool IsResizable() const { return resizable_; }
    bool HasCloseButton() const { return FindControl(kSkinCloseId) != nullptr; }
    // The frame objects (1 for a "frame" image, else 8).
    std::size_t GetFrameObjectCount() const { return frameCount_; }
    AnimObject* GetFrameObject(std::size_t i) const { return frame_[i]; }

    // Mouse state, for the controls.
    SkinControl* GetPressedControl() const { return pressed_; }
    SkinControl* GetHoverControl() const { return hover_; }
    SkinControl* GetFocusControl() const { return focus_; }
    void SetFocusControl(SkinControl* control);
    int GetMode() const { return mode_; }
    const MINMAXINFO& GetSizeLimits() const { return limits_; }
    // Hit code of a client point (and the control hit, for kHitControl).
    int HitTest(POINT point, SkinControl** control) const;

    // Asks the procedure of a page (null: the own page) and returns its answer.
    LRESULT SendToPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    // A control's WM_COMMAND, routed as a posted or sent WM_COMMAND would be.
    void Command(WPARAM wParam, LPARAM lParam);

private:
    struct Page {
        HWND dialog = nullptr;
        DLGPROC proc = nullptr; // null: messages go through the dialog itself
        LPARAM param = 0;
        DWORD id = 0;
        bool ready = false;
    };

    SkinWindow(Skin* skin, const TCHAR* name, const cetl::PROPERTIES* app);
    static SkinWindow* Make(Skin* skin, const TCHAR* name, HWND parent,
                            const cetl::PROPERTIES* app);
    bool Attach(HWND parent);
    static SkinWindow* Finish(SkinWindow* window, HWND page);
    HWND TakePage(HWND dialog, DLGPROC proc, LPARAM param, DWORD id);
    void ForgetPage(HWND dialog);
    void Convert(Page* page, bool own);
    Page* FindPage(HWND dialog) const;
    void DestroyControls(HWND page);
    void BuildFrame();
    void SetFrameCount(std::size_t count);
    void FillBackground();
    void PlaceControls();
    void Detach();
    DWORD FreeId() const;
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT Hook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT FrameProc(AnimObject* object, DWORD message, LPARAM parameter);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnMouseMove(POINT point);
    void OnButtonDown(POINT point);
    void OnButtonUp(POINT point);
    void SetHover(SkinControl* control);
    void UpdateCursor(int hit);
    void OnTimer();

    DWORD magic_;
    Skin* skin_;
    string prefix_;
    const cetl::PROPERTIES* app_;
    SkinWindowSettings settings_;
    HWND hwnd_ = nullptr;
    AnimWindow* anim_ = nullptr;
    HWND ownPage_ = nullptr;
    cetl::vector<Page*> pages_;
    cetl::vector<SkinControl*> controls_;
    AnimObject* frame_[8] = {};
    std::size_t frameCount_ = 0;
    bool resizable_ = false;
    bool hasClose_ = false;
    bool hasMinimise_ = false;
    // Mouse.
    int mode_ = 0;
    SkinControl* pressed_ = nullptr;
    SkinControl* hover_ = nullptr;
    SkinControl* hit_ = nullptr;
    SkinControl* focus_ = nullptr;
    POINT pressCursor_{};
    RECT pressRect_{};
    MINMAXINFO limits_{};
    // The client size of the last background fill.
    LONG filledWidth_ = -1, filledHeight_ = -1;
    // Modal runs.
    bool modal_ = false;
    bool ended_ = false;
    int result_ = IDCANCEL;
    HWND disabledOwner_ = nullptr;
    DWORD lastFrame_ = 0;
    bool destroyed_ = false;
    bool converting_ = false; // the own page is being converted: WM_SIZE waits
    bool sizing_ = false;     // taking the size of the "frame" image
};
