// DirtyRegion: the rectangles of a window that must be composed again. Rectangles that overlap
// are merged into their union as they are added, so a region never holds two rectangles that
// share pixels; rectangles that only touch stay apart.
#pragma once

#include "platform/base.h"

class DirtyRegion {
public:
    DirtyRegion();
    ~DirtyRegion();
    DirtyRegion(const DirtyRegion&) = delete;
    DirtyRegion& operator=(const DirtyRegion&) = delete;

    // A null or empty rectangle is ignored. False only when memory ran out (the region then
    // stays as it was).
    BOOL Add(const RECT* rect);
    // Forgets the rectangles and keeps the memory.
    void Clear() { count_ = 0; }
    BOOL IsEmpty() const { return count_ == 0 ? TRUE : FALSE; }
    DWORD GetCount() const { return static_cast<DWORD>(count_); }
    // The rectangle at `index`, or null past the count.
    const RECT* Get(DWORD index) const { return index < count_ ? &rects_[index] : nullptr; }

private:
    std::size_t count_;
    std::size_t capacity_;
    RECT* rects_;
};

// True when the two rectangles share at least one pixel (a shared edge is not enough).
inline bool RectsOverlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
inline bool RectIsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
