// AnimWindow: turns a window of class "AnimWindow" or "AnimWindowNoCursor" into an animation
// stage. Frames are composed through three client-sized graphics: the background (drawn by the
// application), the backdrop composite (background plus backdrop objects) and the frame
// composite (backdrop plus ordinary objects), and only the rectangles in the two dirty regions
// are composed and copied to the window. A timeline of frames carries object changes and
// application events; the frame loop holds the frame rate, catches up without painting when
// late and pumps the thread's messages in between. Message hooks see the window's input in
// priority order.
//
// Everything runs on the window's thread, except AddEvent, which another thread may call at
// any time.
#pragma once

#include "engine/cea_dirty.h"
#include "engine/cea_graphic.h"
#include "platform/user.h"

#include <atomic>
#include <mutex>

class AnimObject;
class AnimWindow;

// Window callback codes.
enum : DWORD {
    ANIMWND_DESTROY = 0,    // the window object is being destroyed
    ANIMWND_BACKGROUND = 1, // the background graphic was (re)created; parameter 2 = it
    ANIMWND_PAINTBEGIN = 2, // a paint begins, before the objects' tick
    ANIMWND_COMPOSE = 3,    // after the ticks, before composing
    ANIMWND_PAINTEND = 4,   // after a paint
    ANIMWND_EVENT = 5,      // an application event is due: code, parameter; 0 stops the advance
};

using AnimWindowCallback = LRESULT (*)(AnimWindow* window, DWORD code, LPARAM parameter1,
                                       LPARAM parameter2);
// Returns non-zero to keep the message from the hooks after it.
using AnimHook = LRESULT (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Hook masks (low 16 bits of AddHook's value); the priority is the high 16 bits (0 = 100),
// lower priorities running first.
constexpr DWORD kHookMouse = 0x0001;
constexpr DWORD kHookKeyboard = 0x0002;
constexpr DWORD kHookAll = 0xFFFF;
constexpr DWORD HookValue(DWORD mask, DWORD priority) {
    return (priority << 16) | (mask & 0xFFFF);
}

// A frame count or frame number meaning "without end" / "up to the end".
constexpr DWORD kAllFrames = 0xFFFFFFFF;
// Timer that wakes the frame loop's message pump.
constexpr UINT_PTR kFrameTimerId = 1099;
// Paints remembered for the measured frame rate.
constexpr DWORD cfTIMING_WINDOW = 30;

class AnimWindow {
public:
    // The class procedure of "AnimWindow" and "AnimWindowNoCursor".
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The live AnimWindow of `hwnd`, or null for any other handle (foreign, destroyed, stale).
    static AnimWindow* FromHandle(HWND hwnd);
    // True while `window` is a live AnimWindow (only its address is looked at).
    static BOOL IsLive(const AnimWindow* window);
    // Destroys the object before its window goes (the window then gets default processing).
    // A window already destroyed is reported and left alone.
    static void Destroy(AnimWindow* window);
    // Rebuilds the graphics of every live window (after the display's palette group changed).
    static void RebuildAllGraphics();
    // Only Destroy and the window's own destruction free the record.
    ~AnimWindow() = default;

    HWND GetHandle() const { return hwnd_; }
    void GetClientRect(RECT* rect) const;
    LONG GetWidth() const { return client_.right - client_.left; }
    LONG GetHeight() const { return client_.bottom - client_.top; }
    Graphic* GetBackground() const { return background_; }
    Graphic* GetBackdropComposite() const { return backdrop_; }
    Graphic* GetFrameComposite() const { return frame_; }
    const DirtyRegion* GetBackdropRegion() const { return backdropRegion_; }
    const DirtyRegion* GetFrameRegion() const { return frameRegion_; }

    void Freeze();
    // Paints when the count comes back to 0.
    void Unfreeze();
    DWORD GetFreezeCount() const { return freeze_; }
    // Paints now through the window's device context, unless frozen or already painting.
    void Paint();

    // The rectangle (the whole client area when null), clipped to the client area, into the
    // backdrop region with `backdrop`, else into the frame region.
    void Invalidate(const RECT* rect = nullptr, BOOL backdrop = FALSE);
    void InvalidateBackdrop(const RECT* rect) { Invalidate(rect, TRUE); }
    void InvalidateAll() { Invalidate(nullptr, TRUE); }
    // Fills part of the background graphic (all of it when null) and invalidates everything.
    void FillBackground(COLORREF color, const RECT* rect = nullptr);

    // Calls the new callback with ANIMWND_BACKGROUND at once when a background exists.
    void SetCallback(AnimWindowCallback callback);
    AnimWindowCallback GetCallback() const { return callback_; }

    // 0 means 40 frames per second.
    void SetFrameRate(double framesPerSecond);
    double GetFrameRate() const;
    DWORD GetFrameInterval() const { return interval_; }
    UINT GetTimerPeriod() const { return timerPeriod_; }
    // Frames per second over the last paints (up to 30), 0 before the first.
    double GetMeasuredFrameRate() const;
    // The next frame-loop pass schedules from the current time instead of catching up.
    void ResetTiming() { timingReset_ = 1; }
    // While paused the frame loop only handles messages: no frame advances or is painted.
    // Resuming starts the timing afresh instead of catching up.
    void SetPaused(BOOL paused);
    BOOL IsPaused() const { return paused_ ? TRUE : FALSE; }

    // Runs `count` frames (kAllFrames: without end) at the frame rate, pumping messages
    // between them. False when an event stopped it or the window went.
    BOOL RunFrames(DWORD count);
    // Runs until the current frame reaches the end frame.
    BOOL RunToEnd();
    // Advances one frame and paints it.
    BOOL AdvanceOne();
    // Carries out the timeline up to frame `target` (kAllFrames: the end frame - 1) and paints
    // unless an application event answered 0. 1, or 0 when stopped.
    BOOL AdvanceFrame(DWORD target);
    DWORD GetCurrentFrame() const { return currentFrame_; }
    DWORD GetEndFrame() const { return endFrame_.load(); }

    // Timeline. At `frame` an object event moves the object to `rect` (when given and not
    // empty) and shows `graphic` (none hides it; kept when there is no graphic but a
    // rectangle); an application event calls the callback with ANIMWND_EVENT.
    BOOL AddObjectEvent(DWORD frame, AnimObject* object, Graphic* graphic, const RECT* rect);
    BOOL AddEvent(DWORD frame, DWORD code, LPARAM parameter);
    void RemoveObjectEvents(AnimObject* object);
    void RemoveGraphicEvents(Graphic* graphic);
    // Parameter 0 matches any parameter.
    void RemoveEvents(DWORD code, LPARAM parameter);
    void RemoveFrameEvents(DWORD frame);
    // Scheduled events (tests).
    DWORD GetEventCount();

    // A value with mask 0 removes one registration of the function.
    void AddHook(AnimHook hook, DWORD value);
    void RemoveHook(AnimHook hook) { AddHook(hook, 0); }

    void* GetData(DWORD index) const;
    BOOL SetData(DWORD index, void* pointer);

    void ShowFrameRate(BOOL on);
    AnimObject* GetFrameRateObject() const { return frameRateObject_; }
    // An empty or null text removes the status line.
    void SetStatusText(LPCTSTR text);
    AnimObject* GetStatusObject() const { return statusObject_; }
    void SetInputPanelAllowed(BOOL allowed);
    BOOL GetInputPanelAllowed() const { return inputPanel_ ? TRUE : FALSE; }

    // ---- Layers (display objects) ----
    // Front to back: next(null) is the front-most object; back to front with Previous.
    AnimObject* NextObject(const AnimObject* object) const;
    AnimObject* PreviousObject(const AnimObject* object) const;
    // The first layer number above / greatest below `layer` that holds objects, 0 when none.
    LONG GetLayerAbove(LONG layer) const;
    LONG GetLayerBelow(LONG layer) const;
    AnimObject* GetFirstInLayer(LONG layer) const;

private:
    friend class AnimObject;

    struct Event {
        DWORD used;
        DWORD frame;
        AnimObject* object; // none for an application event
        Graphic* graphic;
        DWORD code;
        RECT rect;
        LPARAM parameter;
    };
    struct Hook {
        AnimHook function;
        WORD mask;
        WORD priority;
        DWORD uses;
    };

    DWORD magic_;
    HWND hwnd_;
    RECT client_;
    Graphic* background_;
    Graphic* backdrop_;
    Graphic* frame_;
    DirtyRegion* backdropRegion_;
    DirtyRegion* frameRegion_;
    DWORD nesting_;
    DWORD freeze_;
    AnimWindowCallback callback_;
    DWORD interval_;
    UINT timerPeriod_;
    DWORD* frameTimes_;
    DWORD frameTimeIndex_;
    DWORD frameTimesStored_;
    AnimObject* frameRateObject_;
    AnimObject* statusObject_;
    Event* events_;
    std::size_t cEvents_;
    DWORD currentFrame_;
    std::atomic<DWORD> endFrame_; // raised by AddEvent from any thread
    Hook* hooks_;
    std::size_t cHooks_;
    void** data_;
    std::size_t cData_;
    AnimObject** layers_;
    std::size_t cLayers_;
    DWORD timingReset_;
    DWORD paused_ = 0;
    DWORD inputPanel_;
    // Guards the event table: AddEvent may come from another thread.
    std::mutex eventLock_;

    explicit AnimWindow(HWND hwnd);
    void Release();
    void Resize();
    void DestroyGraphics();
    void PaintTo(HDC dc);
    LRESULT Notify(DWORD code, LPARAM parameter1 = 0, LPARAM parameter2 = 0);
    void RunHooks(UINT message, WPARAM wParam, LPARAM lParam);
    Event* NewEvent(DWORD frame);
    bool Pump();
    BOOL Run(DWORD count, bool toEnd);
    BOOL RunLoop(DWORD count, bool toEnd);
    void ExpandRegion(DirtyRegion* region, bool backdrop);
    void DrawObjects(Graphic* destination, const DirtyRegion* region, bool backdrop);

    // Layer bookkeeping for AnimObject.
    std::size_t SlotOf(LONG layer) const;
    bool InsertObject(AnimObject* object, AnimObject* before, AnimObject* after);
    void RemoveObject(AnimObject* object);
    void ForgetObject(AnimObject* object);
};
