#include "engine/cea_window.h"

#include "engine/cea_main.h"
#include "engine/cea_object.h"
#include "engine/cea_palette.h"
#include "foundation/memory.h"
#include "foundation/tl_dialog.h"
#include "foundation/tl_string.h"
#include "platform/shell.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr DWORD kLiveMagic = 0x416E696D; // 'Anim'
constexpr DWORD kFreedMagic = ~kLiveMagic;
constexpr DWORD kBlocked = 999;
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

// The process-wide list of live AnimWindows: a window handle is only trusted when the pointer
// in its extra bytes is found here.
std::mutex g_listLock;
AnimWindow** g_windows = nullptr;
std::size_t g_cWindows = 0;

bool IsMouseMessage(UINT message) {
#ifdef TESSARK_DEVICE
    return message >= 0x0200 && message <= 0x020A;
#else
    return message >= 0x0200 && message <= 0x0209;
#endif
}

bool IsKeyboardMessage(UINT message) {
    return message >= 0x0100 && message <= 0x0108;
}

RECT Intersection(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// A quit message the frame loop's pump took on this thread; posted again when the loop ends
// (even when its window went), so that the caller's own loop still sees it.
thread_local bool t_quitSeen = false;
thread_local int t_quitCode = 0;

void RepostQuit() {
    if (t_quitSeen) {
        t_quitSeen = false;
        PostQuitMessage(t_quitCode);
    }
}

// Milliseconds from `from` to `to` on the wrapping 32-bit engine clock.
LONG Elapsed(DWORD from, DWORD to) {
    return static_cast<LONG>(to - from);
}

} // namespace

// ---- Lookup and lifetime ------------------------------------------------------------------

BOOL AnimWindow::IsLive(const AnimWindow* window) {
    if (!window) return FALSE;
    std::lock_guard lock(g_listLock);
    for (std::size_t i = 0; i < g_cWindows; ++i)
        if (g_windows[i] == window) return TRUE;
    return FALSE;
}

AnimWindow* AnimWindow::FromHandle(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    // A window of another class has other extra bytes (or none; the read then fails safely):
    // its value is only compared, never followed, until it is found among the live windows.
    auto* candidate = reinterpret_cast<AnimWindow*>(GetWindowLongPtr(hwnd, 0));
    if (!candidate || !IsLive(candidate)) return nullptr;
    if (candidate->magic_ != kLiveMagic || candidate->hwnd_ != hwnd) return nullptr;
    return candidate;
}

AnimWindow::AnimWindow(HWND hwnd) {
    magic_ = 0;
    hwnd_ = nullptr;
    client_ = {0, 0, 0, 0};
    background_ = backdrop_ = frame_ = nullptr;
    backdropRegion_ = frameRegion_ = nullptr;
    nesting_ = freeze_ = 0;
    callback_ = nullptr;
    interval_ = 0;
    timerPeriod_ = 0;
    frameTimes_ = nullptr;
    frameTimeIndex_ = frameTimesStored_ = 0;
    frameRateObject_ = statusObject_ = nullptr;
    events_ = nullptr;
    cEvents_ = 0;
    currentFrame_ = endFrame_ = 0;
    hooks_ = nullptr;
    cHooks_ = 0;
    data_ = nullptr;
    cData_ = 0;
    layers_ = nullptr;
    cLayers_ = 0;
    timingReset_ = 0;
    inputPanel_ = 1;
    {
        std::lock_guard lock(g_listLock);
        std::size_t slot = g_cWindows;
        for (std::size_t i = 0; i < g_cWindows; ++i)
            if (!g_windows[i]) {
                slot = i;
                break;
            }
        if (slot == g_cWindows &&
            !MemGrowArray(&g_windows, &g_cWindows, slot + 1, 1, MM("ANIMWINDOW")))
            return; // never becomes live: the window gets default processing only
        g_windows[slot] = this;
    }
    SetWindowLongPtr(hwnd, 0, reinterpret_cast<LONG_PTR>(this));
    hwnd_ = hwnd;
    magic_ = kLiveMagic;
    backdropRegion_ = new (MM("DIRTYREGION")) DirtyRegion;
    frameRegion_ = new (MM("DIRTYREGION")) DirtyRegion;
    frameTimes_ = static_cast<DWORD*>(
        MemAlloc(sizeof(DWORD) * cfTIMING_WINDOW, MM("sizeof(DWORD) * cfTIMING_WINDOW")));
    if (frameTimes_) std::memset(frameTimes_, 0, sizeof(DWORD) * cfTIMING_WINDOW);
    Resize();
    SetFrameRate(0);
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

void AnimWindow::Destroy(AnimWindow* window) {
    if (!IsLive(window) || window->magic_ != kLiveMagic) {
        Trace(true, "AnimWindow freed more than once");
        return;
    }
    window->Release();
    MemDelete(window, MM("ANIMWINDOW"));
}

void AnimWindow::Release() {
    nesting_ = freeze_ = kBlocked;
    KillTimer(hwnd_, kFrameTimerId);
    Notify(ANIMWND_DESTROY);
    if (frameRateObject_ && frameRateObject_->GetWindow() == this) ShowFrameRate(FALSE);
    if (statusObject_ && statusObject_->GetWindow() == this) SetStatusText(nullptr);
    // Every object still on the window goes with it.
    while (AnimObject* object = NextObject(nullptr)) {
        MemBlockInfo info{};
        if (MemQueryBlock(object, &info) && info.kind == MEMKIND_OBJECT) {
            MemDelete(object, MM("ANIMOBJECT"));
        } else {
            object->SendMessage(ANIMOBJ_DESTROY, 0);
            RemoveObject(object);
            object->window_ = nullptr;
        }
    }
    MemFree(layers_, MM("ANIMWINDOW"));
    layers_ = nullptr;
    cLayers_ = 0;
    MemFree(hooks_, MM("ANIMWINDOW"));
    hooks_ = nullptr;
    cHooks_ = 0;
    {
        std::lock_guard lock(g_listLock);
        bool any = false;
        for (std::size_t i = 0; i < g_cWindows; ++i) {
            if (g_windows[i] == this) g_windows[i] = nullptr;
            any = any || g_windows[i];
        }
        if (!any) {
            MemFree(g_windows, MM("ANIMWINDOW"));
            g_windows = nullptr;
            g_cWindows = 0;
        }
    }
    magic_ = kFreedMagic;
    if (IsWindow(hwnd_) && GetWindowLongPtr(hwnd_, 0) == reinterpret_cast<LONG_PTR>(this))
        SetWindowLongPtr(hwnd_, 0, 0);
    DestroyGraphics();
    MemDelete(backdropRegion_, MM("DIRTYREGION"));
    MemDelete(frameRegion_, MM("DIRTYREGION"));
    backdropRegion_ = frameRegion_ = nullptr;
    {
        std::lock_guard lock(eventLock_);
        MemFree(events_, MM("ANIMWINDOW"));
        events_ = nullptr;
        cEvents_ = 0;
    }
    MemFree(data_, MM("ANIMWINDOW"));
    data_ = nullptr;
    cData_ = 0;
    MemFree(frameTimes_, MM("sizeof(DWORD) * cfTIMING_WINDOW"));
    frameTimes_ = nullptr;
    hwnd_ = nullptr;
    callback_ = nullptr;
    nesting_ = freeze_ = kBlocked;
}

void AnimWindow::RebuildAllGraphics() {
    // Collected first: a window callback may create or destroy windows.
    std::size_t count = 0;
    AnimWindow** copy = nullptr;
    {
        std::lock_guard lock(g_listLock);
        if (g_cWindows && MemGrowArray(&copy, &count, g_cWindows, 1, MM("ANIMWINDOW")))
            std::memcpy(copy, g_windows, sizeof(AnimWindow*) * g_cWindows);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (copy[i] && IsLive(copy[i])) {
            copy[i]->DestroyGraphics();
            copy[i]->Resize();
        }
    MemFree(copy, MM("ANIMWINDOW"));
}

// ---- Window procedure ---------------------------------------------------------------------

LRESULT CALLBACK AnimWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* created = new (MM("ANIMWINDOW")) AnimWindow(hwnd);
        if (!IsLive(created)) MemDelete(created, MM("ANIMWINDOW")); // out of memory
    }
    AnimWindow* window = FromHandle(hwnd);
    if (window) {
        switch (message) {
        case WM_SIZE:
            window->Resize();
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            window->frameRegion_->Add(&ps.rcPaint);
            window->PaintTo(dc);
            EndPaint(hwnd, &ps);
            break;
        }
        case WM_ERASEBKGND:
            window->frameRegion_->Add(&window->client_);
            break;
        default:
            break;
        }
        if (IsLive(window)) window->RunHooks(message, wParam, lParam);
        if (message == WM_DESTROY && IsLive(window)) Destroy(window);
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT AnimWindow::Notify(DWORD code, LPARAM parameter1, LPARAM parameter2) {
    return callback_ ? callback_(this, code, parameter1, parameter2) : 1;
}

// ---- Graphics and painting ----------------------------------------------------------------

void AnimWindow::GetClientRect(RECT* rect) const {
    if (rect) *rect = client_;
}

void AnimWindow::DestroyGraphics() {
    MemDelete(background_, MM("GRAPHIC"));
    MemDelete(backdrop_, MM("GRAPHIC"));
    MemDelete(frame_, MM("GRAPHIC"));
    background_ = backdrop_ = frame_ = nullptr;
}

void AnimWindow::Resize() {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    bool grew = (r.right - r.left) > GetWidth() || (r.bottom - r.top) > GetHeight();
    client_ = r;
    if (grew) DestroyGraphics();
    if (background_ && backdrop_ && frame_) {
        InvalidateAll();
        return;
    }
    LONG width = GetWidth(), height = GetHeight();
    if (width <= 0 || height <= 0) return; // nothing to draw on until the window has a size
    Display* display = GetDisplay();
    DWORD bits = display ? display->GetBitsPerPixel() : 0;
    PaletteGroup* group = GetDisplayPaletteGroup();
    bool opened = group && group->Open();
    if (!background_) background_ = new (MM("GRAPHIC")) Graphic(width, height, bits, group);
    if (!backdrop_) backdrop_ = new (MM("GRAPHIC")) Graphic(width, height, bits, group);
    if (!frame_) frame_ = new (MM("GRAPHIC")) Graphic(width, height, bits, group);
    if (opened) group->Close();
    Notify(ANIMWND_BACKGROUND, 0, reinterpret_cast<LPARAM>(background_));
    if (IsLive(this)) InvalidateAll();
}

void AnimWindow::Freeze() {
    ++freeze_;
}

void AnimWindow::Unfreeze() {
    if (freeze_ == 0) return;
    if (--freeze_ == 0) Paint();
}

void AnimWindow::Paint() {
    if (freeze_ > 0 || nesting_ > 0) return;
    HWND hwnd = hwnd_;
    HDC dc = ::GetDC(hwnd);
    if (!dc) return;
    PaintTo(dc);
    ::ReleaseDC(hwnd, dc);
}

void AnimWindow::PaintTo(HDC dc) {
    if (freeze_ > 0 || nesting_ > 0) return;
    ++nesting_;
    Display* display = GetDisplay();
    if (display && display->IsPaletted()) {
        if (HPALETTE palette = display->GetPalette()) {
            SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
        }
    }
    Notify(ANIMWND_PAINTBEGIN);
    if (!IsLive(this)) return;
    // The next object is taken first: a tick may take its own object off the window.
    for (AnimObject* object = NextObject(nullptr); object;) {
        AnimObject* next = NextObject(object);
        object->SendMessage(ANIMOBJ_TICK, 0);
        object = next;
    }
    Notify(ANIMWND_COMPOSE);
    if (!IsLive(this)) return;

    bool ready = background_ && backdrop_ && frame_ && background_->IsLoaded() &&
                 backdrop_->IsLoaded() && frame_->IsLoaded();
    ExpandRegion(backdropRegion_, true);
    if (!backdropRegion_->IsEmpty()) {
        for (DWORD i = 0; i < backdropRegion_->GetCount(); ++i) {
            const RECT& r = *backdropRegion_->Get(i);
            if (ready)
                background_->DrawTo(backdrop_, r.left, r.top, r.left, r.top, r.right - r.left,
                                    r.bottom - r.top);
        }
        if (ready) DrawObjects(backdrop_, backdropRegion_, true);
        for (DWORD i = 0; i < backdropRegion_->GetCount(); ++i)
            frameRegion_->Add(backdropRegion_->Get(i));
        backdropRegion_->Clear();
    }
    ExpandRegion(frameRegion_, true);
    if (!frameRegion_->IsEmpty()) {
        if (ready) {
            for (DWORD i = 0; i < frameRegion_->GetCount(); ++i) {
                const RECT& r = *frameRegion_->Get(i);
                backdrop_->DrawTo(frame_, r.left, r.top, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top);
            }
            DrawObjects(frame_, frameRegion_, false);
            for (DWORD i = 0; i < frameRegion_->GetCount(); ++i) {
                const RECT& r = *frameRegion_->Get(i);
                frame_->DrawTo(dc, r.left, r.top, r.left, r.top, r.right - r.left,
                               r.bottom - r.top);
            }
        }
        frameRegion_->Clear();
    }
    Notify(ANIMWND_PAINTEND);
    if (!IsLive(this)) return;
    if (frameTimes_) {
        frameTimes_[frameTimeIndex_] = EngineClock();
        frameTimeIndex_ = (frameTimeIndex_ + 1) % cfTIMING_WINDOW;
        if (frameTimesStored_ < cfTIMING_WINDOW) ++frameTimesStored_;
    }
    --nesting_;
}

void AnimWindow::ExpandRegion(DirtyRegion* region, bool backdrop) {
    bool added = true;
    while (added) {
        added = false;
        for (AnimObject* object = PreviousObject(nullptr); object && !added;
             object = PreviousObject(object)) {
            if (((object->flags_ & kObjectBackdrop) != 0) != backdrop) continue;
            if (object->flags_ & kObjectDrawInPart) continue;
            RECT clipped = Intersection(object->rect_, client_);
            if (RectIsEmpty(clipped)) continue;
            for (DWORD i = 0; i < region->GetCount(); ++i) {
                const RECT& r = *region->Get(i);
                if (RectsOverlap(r, clipped) && !Contains(r, clipped)) {
                    region->Add(&clipped);
                    added = true;
                    break;
                }
            }
        }
    }
}

void AnimWindow::DrawObjects(Graphic* destination, const DirtyRegion* region, bool backdrop) {
    for (AnimObject* object = PreviousObject(nullptr); object;) {
        AnimObject* previous = PreviousObject(object);
        if (((object->flags_ & kObjectBackdrop) != 0) == backdrop) {
            RECT clip{};
            bool meets = false;
            for (DWORD i = 0; i < region->GetCount(); ++i) {
                RECT part = Intersection(object->rect_, *region->Get(i));
                if (RectIsEmpty(part)) continue;
                clip = meets ? RECT{std::min(clip.left, part.left), std::min(clip.top, part.top),
                                    std::max(clip.right, part.right),
                                    std::max(clip.bottom, part.bottom)}
                             : part;
                meets = true;
            }
            if (meets) object->Draw(destination, &clip);
        }
        object = previous;
    }
}

void AnimWindow::Invalidate(const RECT* rect, BOOL backdrop) {
    DirtyRegion* region = backdrop ? backdropRegion_ : frameRegion_;
    if (!region) return;
    RECT r = rect ? Intersection(*rect, client_) : client_;
    region->Add(&r);
}

void AnimWindow::FillBackground(COLORREF color, const RECT* rect) {
    RECT r = rect ? Intersection(*rect, client_) : client_;
    if (background_ && background_->IsLoaded() && !RectIsEmpty(r)) {
        HDC dc = background_->GetDC();
        if (dc) {
            HBRUSH brush = CreateSolidBrush(color);
            FillRect(dc, &r, brush);
            DeleteObject(brush);
            background_->ReleaseDC();
        }
    }
    InvalidateAll();
}

void AnimWindow::SetCallback(AnimWindowCallback callback) {
    callback_ = callback;
    if (background_) Notify(ANIMWND_BACKGROUND, 0, reinterpret_cast<LPARAM>(background_));
}

// ---- Frame rate ---------------------------------------------------------------------------

void AnimWindow::SetFrameRate(double framesPerSecond) {
    // Nonsense rates (negative, not a number) fall back to the default like 0 does.
    if (!(framesPerSecond > 0)) framesPerSecond = 40.0;
    double interval = std::floor(1000.0 / framesPerSecond);
    interval_ = interval >= 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(interval);
    timerPeriod_ = interval_ < 120 ? 20 : interval_ - 100;
    SetTimer(hwnd_, kFrameTimerId, timerPeriod_, nullptr);
}

double AnimWindow::GetFrameRate() const {
    return interval_ ? 1000.0 / interval_ : 0.0;
}

double AnimWindow::GetMeasuredFrameRate() const {
    if (!frameTimes_ || frameTimesStored_ == 0) return 0.0;
    DWORD now = EngineClock();
    LONG average;
    if (frameTimesStored_ < cfTIMING_WINDOW)
        average = Elapsed(frameTimes_[0], now) / static_cast<LONG>(frameTimesStored_);
    else
        average = Elapsed(frameTimes_[frameTimeIndex_], now) / static_cast<LONG>(cfTIMING_WINDOW);
    return average > 0 ? 1000.0 / average : 0.0;
}

// ---- Timeline -----------------------------------------------------------------------------

AnimWindow::Event* AnimWindow::NewEvent(DWORD frame) {
    for (std::size_t i = 0; i < cEvents_; ++i)
        if (!events_[i].used) return &events_[i];
    std::size_t n = cEvents_;
    if (!MemGrowArray(&events_, &cEvents_, n + 16, 1, MM("ANIMWINDOW"))) return nullptr;
    (void)frame;
    return &events_[n];
}

BOOL AnimWindow::AddObjectEvent(DWORD frame, AnimObject* object, Graphic* graphic,
                                const RECT* rect) {
    if (!object) return FALSE;
    std::lock_guard lock(eventLock_);
    Event* e = NewEvent(frame);
    if (!e) return FALSE;
    *e = Event{1, frame, object, graphic, 0, rect ? *rect : RECT{0, 0, 0, 0}, 0};
    if (frame != kAllFrames) endFrame_ = std::max(endFrame_.load(), frame + 1);
    return TRUE;
}

BOOL AnimWindow::AddEvent(DWORD frame, DWORD code, LPARAM parameter) {
    std::lock_guard lock(eventLock_);
    Event* e = NewEvent(frame);
    if (!e) return FALSE;
    *e = Event{1, frame, nullptr, nullptr, code, RECT{0, 0, 0, 0}, parameter};
    if (frame != kAllFrames) endFrame_ = std::max(endFrame_.load(), frame + 1);
    return TRUE;
}

void AnimWindow::RemoveObjectEvents(AnimObject* object) {
    std::lock_guard lock(eventLock_);
    for (std::size_t i = 0; i < cEvents_; ++i)
        if (events_[i].used && events_[i].object == object) events_[i].used = 0;
}

void AnimWindow::RemoveGraphicEvents(Graphic* graphic) {
    std::lock_guard lock(eventLock_);
    for (std::size_t i = 0; i < cEvents_; ++i)
        if (events_[i].used && events_[i].object && events_[i].graphic == graphic)
            events_[i].used = 0;
}

void AnimWindow::RemoveEvents(DWORD code, LPARAM parameter) {
    std::lock_guard lock(eventLock_);
    for (std::size_t i = 0; i < cEvents_; ++i) {
        Event& e = events_[i];
        if (e.used && !e.object && e.code == code && (parameter == 0 || e.parameter == parameter))
            e.used = 0;
    }
}

void AnimWindow::RemoveFrameEvents(DWORD frame) {
    std::lock_guard lock(eventLock_);
    for (std::size_t i = 0; i < cEvents_; ++i)
        if (events_[i].used && events_[i].frame == frame) events_[i].used = 0;
}

DWORD AnimWindow::GetEventCount() {
    std::lock_guard lock(eventLock_);
    DWORD n = 0;
    for (std::size_t i = 0; i < cEvents_; ++i)
        n += events_[i].used ? 1 : 0;
    return n;
}

BOOL AnimWindow::AdvanceFrame(DWORD target) {
    if (target == kAllFrames) {
        if (currentFrame_ == endFrame_) return TRUE;
        target = endFrame_ - 1;
    }
    bool stopped = false;
    while (!stopped && currentFrame_ <= target) {
        const DWORD frame = currentFrame_;
        // Each event is taken out under the lock and carried out without it, so that callbacks
        // may schedule further events.
        for (std::size_t i = 0;; ++i) {
            Event e;
            {
                std::lock_guard lock(eventLock_);
                if (i >= cEvents_) break;
                if (!events_[i].used || events_[i].frame != frame || !events_[i].object) continue;
                e = events_[i];
                events_[i].used = 0;
            }
            AnimObject* object = e.object;
            if (object->flags_ & kObjectBackdrop)
                object->SetFlags(object->flags_ & ~kObjectBackdrop);
            bool moves = !RectIsEmpty(e.rect);
            if (moves) object->SetRect(e.rect);
            if (e.graphic || !moves) object->SetGraphic(e.graphic, TRUE);
        }
        for (std::size_t i = 0;; ++i) {
            Event e;
            {
                std::lock_guard lock(eventLock_);
                if (i >= cEvents_) break;
                if (!events_[i].used || events_[i].frame != frame || events_[i].object) continue;
                e = events_[i];
                events_[i].used = 0;
            }
            if (Notify(ANIMWND_EVENT, e.code, e.parameter) == 0) stopped = true;
            if (!IsLive(this)) return FALSE;
        }
        ++currentFrame_;
        {
            std::lock_guard lock(eventLock_);
            endFrame_ = std::max(endFrame_.load(), currentFrame_);
        }
        if (currentFrame_ == 0) break; // the counter wrapped: there is no later frame
    }
    if (stopped) return FALSE;
    Paint();
    return TRUE;
}

BOOL AnimWindow::AdvanceOne() {
    Freeze();
    BOOL result = AdvanceFrame(currentFrame_);
    if (!IsLive(this)) return FALSE;
    Unfreeze();
    return result;
}

// ---- Frame loop ---------------------------------------------------------------------------

bool AnimWindow::Pump() {
    HWND hwnd = hwnd_;
    if (!IsWindow(hwnd) || !IsLive(this)) return false;
    MSG msg;
    BOOL read = GetMessage(&msg, nullptr, 0, 0);
    if (read > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        if (!IsWindow(hwnd) || !IsLive(this)) return false;
    } else if (read == 0) {
        // The loop goes on, as a read quit does not end it; the request is handed back to the
        // caller's own loop when the frame loop ends.
        t_quitSeen = true;
        t_quitCode = static_cast<int>(msg.wParam);
    }
    return true;
}

BOOL AnimWindow::Run(DWORD count, bool toEnd) {
    BOOL result = RunLoop(count, toEnd);
    RepostQuit();
    return result;
}

void AnimWindow::SetPaused(BOOL paused) {
    if (paused_ && !paused) timingReset_ = 1;
    paused_ = paused ? 1 : 0;
}

BOOL AnimWindow::RunLoop(DWORD count, bool toEnd) {
    DWORD next = EngineClock();
    for (;;) {
        if (toEnd ? currentFrame_ >= endFrame_ : count == 0) break;
        if (paused_) {
            if (!Pump()) return FALSE;
            continue;
        }
        DWORD now = EngineClock();
        if (timingReset_) next = now;
        next += interval_;
        Freeze();
        BOOL ok = AdvanceFrame(currentFrame_);
        if (!IsLive(this)) return FALSE;
        DWORD advanced = 1;
        // Late: advance further frames without painting them.
        while (ok && interval_ != 0 && !timingReset_ && Elapsed(next, now) > 0 &&
               (!toEnd || currentFrame_ < endFrame_) && (toEnd || advanced < count)) {
            next += interval_;
            ok = AdvanceFrame(currentFrame_);
            if (!IsLive(this)) return FALSE;
            ++advanced;
        }
        timingReset_ = 0;
        Unfreeze();
        if (!IsLive(this)) return FALSE;
        if (!ok) return FALSE;
        if (!toEnd || currentFrame_ < endFrame_) {
            while (Elapsed(EngineClock(), next) > 0)
                if (!Pump()) return FALSE; // the window is gone: nothing of it may be touched
        }
        if (!toEnd && count != kAllFrames) {
            if (count <= advanced) break;
            count -= advanced;
        }
    }
    return TRUE;
}

BOOL AnimWindow::RunFrames(DWORD count) {
    return Run(count, false);
}

BOOL AnimWindow::RunToEnd() {
    return Run(0, true);
}

// ---- Hooks --------------------------------------------------------------------------------

void AnimWindow::AddHook(AnimHook hook, DWORD value) {
    if (!hook) return;
    WORD priority = HIWORD(value) ? HIWORD(value) : 100;
    WORD mask = LOWORD(value);
    if (mask == 0) {
        for (std::size_t i = 0; i < cHooks_; ++i)
            if (hooks_[i].function == hook && --hooks_[i].uses == 0) hooks_[i] = Hook{};
        return;
    }
    for (std::size_t i = 0; i < cHooks_; ++i)
        if (hooks_[i].function == hook) {
            ++hooks_[i].uses;
            hooks_[i].mask |= mask;
            return;
        }
    // Entries run in ascending priority; a new one goes before the first whose priority is not
    // below its own, filling a free entry in front of it when there is one.
    std::size_t at = cHooks_;
    std::size_t freeBefore = kNoSlot;
    for (std::size_t i = 0; i < cHooks_; ++i) {
        if (!hooks_[i].function) {
            freeBefore = i;
            continue;
        }
        if (hooks_[i].priority >= priority) {
            at = i;
            break;
        }
    }
    const Hook entry{hook, mask, priority, 1};
    if (freeBefore != kNoSlot) {
        // Close the gap: the entries between the free one and the place move down by one.
        for (std::size_t i = freeBefore; i + 1 < at; ++i)
            hooks_[i] = hooks_[i + 1];
        hooks_[at - 1] = entry;
        return;
    }
    std::size_t freeAfter = cHooks_;
    for (std::size_t i = at; i < cHooks_; ++i)
        if (!hooks_[i].function) {
            freeAfter = i;
            break;
        }
    if (freeAfter == cHooks_ && !MemGrowArray(&hooks_, &cHooks_, cHooks_ + 4, 1, MM("ANIMWINDOW")))
        return;
    for (std::size_t i = freeAfter; i > at; --i)
        hooks_[i] = hooks_[i - 1];
    hooks_[at] = entry;
}

void AnimWindow::RunHooks(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool mouse = IsMouseMessage(message), keyboard = IsKeyboardMessage(message);
    HWND hwnd = hwnd_;
    // By index: a hook may add or remove hooks (the array may move) or destroy the window.
    for (std::size_t i = 0; i < cHooks_; ++i) {
        Hook h = hooks_[i];
        if (!h.function) continue;
        if (!(h.mask == 0xFFFF || ((h.mask & kHookMouse) && mouse) ||
              ((h.mask & kHookKeyboard) && keyboard)))
            continue;
        LRESULT result = h.function(hwnd, message, wParam, lParam);
        if (result != 0 || !IsLive(this)) return;
    }
}

// ---- User data ----------------------------------------------------------------------------

void* AnimWindow::GetData(DWORD index) const {
    return index < cData_ ? data_[index] : nullptr;
}

BOOL AnimWindow::SetData(DWORD index, void* pointer) {
    if (index >= cData_ &&
        !MemGrowArray(&data_, &cData_, std::size_t{index} + 1, 4, MM("ANIMWINDOW")))
        return FALSE;
    data_[index] = pointer;
    return TRUE;
}

void AnimWindow::SetInputPanelAllowed(BOOL allowed) {
    inputPanel_ = allowed ? 1 : 0;
#ifdef TESSARK_DEVICE
    if (!allowed) SipShowIM(SIPF_OFF);
#endif
}

// ---- Frame-rate display and status line ----------------------------------------------------

namespace {

constexpr const TCHAR* kRateFormat = TEXT(" %.1lf FPS ");

LRESULT FrameRateCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    AnimWindow* window = object->GetWindow();
    switch (message) {
    case ANIMOBJ_CREATE: {
        if (!window) break;
        sformat widest(kRateFormat, 999.9);
        HDC screen = ::GetDC(nullptr);
        SIZE size{};
        GetTextExtentPoint32(screen, widest.c_str(), static_cast<int>(widest.length()), &size);
        ::ReleaseDC(nullptr, screen);
        RECT client;
        window->GetClientRect(&client);
        object->SetRect(
            {client.left, client.bottom - size.cy, client.left + size.cx, client.bottom});
        break;
    }
    case ANIMOBJ_TICK:
        object->Invalidate();
        break;
    case ANIMOBJ_DRAW: {
        const auto* record = reinterpret_cast<const ANIMDRAW*>(parameter);
        if (!window || !record || !record->destination) break;
        HDC dc = record->destination->GetDC();
        if (!dc) break;
        RECT r = record->object;
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        sformat text(kRateFormat, window->GetMeasuredFrameRate());
        DrawText(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        record->destination->ReleaseDC();
        break;
    }
    default:
        break;
    }
    return 1;
}

LRESULT StatusCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    AnimWindow* window = object->GetWindow();
    switch (message) {
    case ANIMOBJ_CREATE: {
        if (!window) break;
        HDC screen = ::GetDC(nullptr);
        SIZE size{};
        GetTextExtentPoint32(screen, TEXT("X!'g"), 4, &size);
        ::ReleaseDC(nullptr, screen);
        RECT client;
        window->GetClientRect(&client);
        object->SetRect({client.left, client.bottom - size.cy, client.right, client.bottom});
        break;
    }
    case ANIMOBJ_DESTROY:
        MemFree(object->GetData(0), MM("STATUSTEXT"));
        object->SetData(0, nullptr);
        break;
    case ANIMOBJ_DRAW: {
        const auto* record = reinterpret_cast<const ANIMDRAW*>(parameter);
        if (!record || !record->destination) break;
        HDC dc = record->destination->GetDC();
        if (!dc) break;
        RECT r = record->object;
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        if (auto* text = static_cast<const TCHAR*>(object->GetData(0)))
            DrawText(dc, text, -1, &r, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
        record->destination->ReleaseDC();
        break;
    }
    default:
        break;
    }
    return 1;
}

} // namespace

void AnimWindow::ShowFrameRate(BOOL on) {
    if (on) {
        if (!frameRateObject_)
            frameRateObject_ = new (MM("ANIMOBJECT")) AnimObject(this, FrameRateCallback, 1);
    } else if (frameRateObject_) {
        AnimObject* object = frameRateObject_;
        frameRateObject_ = nullptr;
        MemDelete(object, MM("ANIMOBJECT"));
    }
}

void AnimWindow::SetStatusText(LPCTSTR text) {
    if (!text || !text[0]) {
        if (statusObject_) {
            AnimObject* object = statusObject_;
            statusObject_ = nullptr;
            MemDelete(object, MM("ANIMOBJECT"));
        }
        return;
    }
    std::size_t length = 0;
    while (text[length])
        ++length;
    auto* copy = static_cast<TCHAR*>(MemAlloc((length + 1) * sizeof(TCHAR), MM("STATUSTEXT")));
    if (!copy) return;
    std::memcpy(copy, text, (length + 1) * sizeof(TCHAR));
    if (!statusObject_) statusObject_ = new (MM("ANIMOBJECT")) AnimObject(this, StatusCallback, 2);
    MemFree(statusObject_->GetData(0), MM("STATUSTEXT"));
    if (!statusObject_->SetData(0, copy)) MemFree(copy, MM("STATUSTEXT"));
    statusObject_->Invalidate();
}

// ---- Layers -------------------------------------------------------------------------------

std::size_t AnimWindow::SlotOf(LONG layer) const {
    for (std::size_t i = 0; i < cLayers_; ++i)
        if (layers_[i] && layers_[i]->layer_ == layer) return i;
    return kNoSlot;
}

bool AnimWindow::InsertObject(AnimObject* object, AnimObject* before, AnimObject* after) {
    object->next_ = object->previous_ = nullptr;
    if (before) {
        object->next_ = before;
        object->previous_ = before->previous_;
        if (before->previous_) {
            before->previous_->next_ = object;
        } else {
            std::size_t slot = SlotOf(before->layer_);
            if (slot != kNoSlot) layers_[slot] = object;
        }
        before->previous_ = object;
    } else if (after) {
        object->previous_ = after;
        object->next_ = after->next_;
        if (after->next_) after->next_->previous_ = object;
        after->next_ = object;
    } else {
        std::size_t slot = SlotOf(object->layer_);
        if (slot != kNoSlot) {
            AnimObject* last = layers_[slot];
            while (last->next_)
                last = last->next_;
            last->next_ = object;
            object->previous_ = last;
        } else {
            std::size_t at = cLayers_;
            for (std::size_t i = 0; i < cLayers_; ++i)
                if (layers_[i] && layers_[i]->layer_ > object->layer_) {
                    at = i;
                    break;
                }
            if (at == cLayers_) {
                if (!MemGrowArray(&layers_, &cLayers_, cLayers_ + 1, 1, MM("ANIMWINDOW")))
                    return false;
            } else {
                std::size_t empty = cLayers_;
                for (std::size_t i = at + 1; i < cLayers_; ++i)
                    if (!layers_[i]) {
                        empty = i;
                        break;
                    }
                if (empty == cLayers_ &&
                    !MemGrowArray(&layers_, &cLayers_, cLayers_ + 1, 1, MM("ANIMWINDOW")))
                    return false;
                for (std::size_t i = empty; i > at; --i)
                    layers_[i] = layers_[i - 1];
            }
            layers_[at] = object;
        }
    }
    object->Invalidate();
    return true;
}

void AnimWindow::RemoveObject(AnimObject* object) {
    object->Invalidate();
    std::size_t slot = SlotOf(object->layer_);
    if (slot != kNoSlot && layers_[slot] == object) {
        layers_[slot] = object->next_;
        if (object->next_) object->next_->previous_ = nullptr;
    } else {
        if (object->previous_) object->previous_->next_ = object->next_;
        if (object->next_) object->next_->previous_ = object->previous_;
    }
    object->next_ = object->previous_ = nullptr;
}

void AnimWindow::ForgetObject(AnimObject* object) {
    if (frameRateObject_ == object) frameRateObject_ = nullptr;
    if (statusObject_ == object) statusObject_ = nullptr;
}

AnimObject* AnimWindow::NextObject(const AnimObject* object) const {
    std::size_t from = 0;
    if (object) {
        if (object->next_) return object->next_;
        std::size_t slot = SlotOf(object->layer_);
        if (slot == kNoSlot) return nullptr;
        from = slot + 1;
    }
    for (std::size_t i = from; i < cLayers_; ++i)
        if (layers_[i]) return layers_[i];
    return nullptr;
}

AnimObject* AnimWindow::PreviousObject(const AnimObject* object) const {
    std::size_t below = cLayers_;
    if (object) {
        if (object->previous_) return object->previous_;
        below = SlotOf(object->layer_);
        if (below == kNoSlot) return nullptr;
    }
    for (std::size_t i = below; i-- > 0;)
        if (layers_[i]) {
            AnimObject* last = layers_[i];
            while (last->next_)
                last = last->next_;
            return last;
        }
    return nullptr;
}

LONG AnimWindow::GetLayerAbove(LONG layer) const {
    for (std::size_t i = 0; i < cLayers_; ++i)
        if (layers_[i] && layers_[i]->layer_ > layer) return layers_[i]->layer_;
    return 0;
}

LONG AnimWindow::GetLayerBelow(LONG layer) const {
    LONG best = 0;
    bool found = false;
    for (std::size_t i = 0; i < cLayers_; ++i)
        if (layers_[i] && layers_[i]->layer_ < layer) {
            best = found ? std::max(best, layers_[i]->layer_) : layers_[i]->layer_;
            found = true;
        }
    return best;
}

AnimObject* AnimWindow::GetFirstInLayer(LONG layer) const {
    std::size_t slot = SlotOf(layer);
    return slot == kNoSlot ? nullptr : layers_[slot];
}
