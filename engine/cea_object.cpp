#include "engine/cea_object.h"

#include "engine/cea_sprite.h"
#include "engine/cea_window.h"
#include "foundation/memory.h"

#include <algorithm>

namespace {

constexpr LONG kDefaultLayer = 100;

RECT Intersection(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// The copy of Draw: the clip's part of `graphic`, placed as the object's rectangle says.
void DrawPart(Graphic* graphic, Graphic* destination, const RECT& clip, const RECT& object) {
    if (!graphic || !destination || RectIsEmpty(clip)) return;
    graphic->DrawTo(destination, clip.left, clip.top, clip.left - object.left,
                    clip.top - object.top, clip.right - clip.left, clip.bottom - clip.top);
}

} // namespace

void AnimObject::Clear() {
    window_ = nullptr;
    next_ = nullptr;
    previous_ = nullptr;
    data_ = nullptr;
    cData_ = 0;
    rect_ = {0, 0, 0, 0};
    layer_ = 0;
    flags_ = 0;
    drawDirectly_ = 0;
    graphic_ = nullptr;
    sprite_ = nullptr;
    callback_ = nullptr;
}

AnimObject::AnimObject(AnimWindow* window, Sprite* sprite, LONG layer) {
    Clear();
    window_ = window;
    layer_ = layer;
    Insert();
    SetSprite(sprite, TRUE);
}

AnimObject::AnimObject(AnimWindow* window, Graphic* graphic, LONG layer) {
    Clear();
    window_ = window;
    layer_ = layer;
    Insert();
    SetGraphic(graphic, TRUE);
}

AnimObject::AnimObject(AnimWindow* window, AnimObjectCallback callback, LONG layer) {
    Clear();
    window_ = window;
    layer_ = layer;
    Insert();
    SetCallback(callback);
    SendMessage(ANIMOBJ_CREATE, 0);
}

AnimObject::~AnimObject() {
    SendMessage(ANIMOBJ_DESTROY, 0);
    if (window_) {
        // Pending timeline changes of this object would otherwise reach freed memory.
        window_->RemoveObjectEvents(this);
        Remove();
        window_->ForgetObject(this);
    }
    MemFree(data_, MM("ANIMOBJECT"));
    Clear();
}

void AnimObject::Insert() {
    if (window_) window_->InsertObject(this, nullptr, nullptr);
}

void AnimObject::Remove() {
    if (window_) window_->RemoveObject(this);
}

void AnimObject::SetWindow(AnimWindow* window) {
    if (window == window_) return;
    if (window_) {
        window_->RemoveObjectEvents(this);
        Remove();
    }
    window_ = window;
    Insert();
}

void AnimObject::SetLayer(LONG layer) {
    Remove();
    layer_ = layer;
    Insert();
}

void AnimObject::SendToBack() {
    if (!window_) return;
    Remove();
    AnimObject* back = window_->PreviousObject(nullptr);
    if (back) {
        layer_ = back->layer_;
        window_->InsertObject(this, nullptr, back);
    } else {
        layer_ = kDefaultLayer;
        Insert();
    }
}

void AnimObject::BringToFront() {
    if (!window_) return;
    Remove();
    AnimObject* front = window_->NextObject(nullptr);
    if (front) {
        layer_ = front->layer_;
        window_->InsertObject(this, front, nullptr);
    } else {
        layer_ = kDefaultLayer;
        Insert();
    }
}

void AnimObject::PlaceBehind(AnimObject* other) {
    if (!other) return SendToBack();
    if (other == this || !window_ || other->window_ != window_) return;
    Remove();
    layer_ = other->layer_;
    window_->InsertObject(this, nullptr, other);
}

void AnimObject::PlaceInFront(AnimObject* other) {
    if (!other) return BringToFront();
    if (other == this || !window_ || other->window_ != window_) return;
    Remove();
    layer_ = other->layer_;
    window_->InsertObject(this, other, nullptr);
}

void AnimObject::InvalidateAs(DWORD flags) {
    if (window_) window_->Invalidate(&rect_, (flags & kObjectBackdrop) ? TRUE : FALSE);
}

void AnimObject::Invalidate() {
    InvalidateAs(flags_);
}

void AnimObject::SetFlags(DWORD flags) {
    if (flags == flags_) return;
    DWORD old = flags_;
    flags_ = flags;
    InvalidateAs(old);
    InvalidateAs(flags_);
}

Graphic* AnimObject::GetCurrentGraphic() const {
    if (sprite_) return sprite_->GetFrameForCounter(window_ ? window_->GetCurrentFrame() : 0);
    return graphic_;
}

void AnimObject::ResizeTo(LONG width, LONG height) {
    if (width <= 0 || height <= 0) return;
    rect_.right = rect_.left + width;
    rect_.bottom = rect_.top + height;
}

void AnimObject::SetGraphic(Graphic* graphic, BOOL drawDirectly) {
    Invalidate();
    graphic_ = graphic;
    if (graphic) {
        drawDirectly_ = drawDirectly ? 1 : 0;
        if (graphic->IsLoaded()) ResizeTo(graphic->GetWidth(), graphic->GetHeight());
    } else {
        drawDirectly_ = 0;
    }
    Invalidate();
}

void AnimObject::SetSprite(Sprite* sprite, BOOL drawDirectly) {
    Invalidate();
    sprite_ = sprite;
    if (sprite) {
        drawDirectly_ = drawDirectly ? 1 : 0;
        ResizeTo(sprite->GetWidth(), sprite->GetHeight());
    } else {
        drawDirectly_ = 0;
    }
    Invalidate();
}

void AnimObject::SetWidth(LONG width) {
    SetSize(width, GetHeight());
}

void AnimObject::SetHeight(LONG height) {
    SetSize(GetWidth(), height);
}

void AnimObject::GetSize(LONG* width, LONG* height) const {
    if (width) *width = GetWidth();
    if (height) *height = GetHeight();
}

void AnimObject::SetSize(LONG width, LONG height) {
    SetRect({rect_.left, rect_.top, rect_.left + width, rect_.top + height});
}

void AnimObject::GetPosition(LONG* x, LONG* y) const {
    if (x) *x = rect_.left;
    if (y) *y = rect_.top;
}

void AnimObject::MoveTo(LONG x, LONG y) {
    SetRect({x, y, x + GetWidth(), y + GetHeight()});
}

void AnimObject::GetRect(RECT* rect) const {
    if (rect) *rect = rect_;
}

void AnimObject::SetRect(const RECT& rect) {
    if (flags_ & kObjectBackdrop) return;
    // Even an unchanged rectangle is dirtied: a callback-drawn picture may have changed.
    Invalidate();
    rect_ = rect;
    Invalidate();
}

void AnimObject::SetCallback(AnimObjectCallback callback) {
    callback_ = callback;
    if (!callback)
        drawDirectly_ = 1;
    else if (!graphic_)
        drawDirectly_ = 0;
}

LRESULT AnimObject::SendMessage(DWORD message, LPARAM parameter) {
    if (message == ANIMOBJ_TICK && drawDirectly_ && sprite_ && sprite_->GetFrameCount() > 1)
        Invalidate();
    return callback_ ? callback_(this, message, parameter) : 1;
}

void AnimObject::Draw(Graphic* destination, const RECT* clip) {
    RECT c = clip ? Intersection(rect_, *clip) : rect_;
    if (RectIsEmpty(c)) return;
    Graphic* current = GetCurrentGraphic();
    if (current && drawDirectly_) {
        DrawPart(current, destination, c, rect_);
        return;
    }
    ANIMDRAW record{destination, c, rect_};
    SendMessage(ANIMOBJ_DRAW, reinterpret_cast<LPARAM>(&record));
}

void AnimObject::DrawGraphic(const ANIMDRAW* record, Graphic* graphic) {
    if (!graphic) graphic = graphic_;
    if (record) DrawPart(graphic, record->destination, record->clip, record->object);
}

void AnimObject::DrawSprite(const ANIMDRAW* record, Sprite* sprite) {
    if (!sprite) sprite = sprite_;
    if (!record || !sprite) return;
    DrawPart(sprite->GetFrameForCounter(window_ ? window_->GetCurrentFrame() : 0),
             record->destination, record->clip, record->object);
}

void* AnimObject::GetData(DWORD index) const {
    return index < cData_ ? data_[index] : nullptr;
}

BOOL AnimObject::SetData(DWORD index, void* pointer) {
    if (index >= cData_ &&
        !MemGrowArray(&data_, &cData_, std::size_t{index} + 1, 4, MM("ANIMOBJECT")))
        return FALSE;
    data_[index] = pointer;
    return TRUE;
}
