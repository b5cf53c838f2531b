#include "engine/cea_dirty.h"

#include "foundation/memory.h"

#include <algorithm>

DirtyRegion::DirtyRegion() : count_(0), capacity_(0), rects_(nullptr) {}

DirtyRegion::~DirtyRegion() {
    MemFree(rects_, MM("DIRTYREGION"));
}

BOOL DirtyRegion::Add(const RECT* rect) {
    if (!rect || RectIsEmpty(*rect)) return TRUE;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t merged = kNone;
    RECT current = *rect;
    for (;;) {
        std::size_t found = kNone;
        for (std::size_t i = 0; i < count_; ++i)
            if (i != merged && RectsOverlap(rects_[i], current)) {
                found = i;
                break;
            }
        if (found == kNone) break;
        RECT& r = rects_[found];
        r = {std::min(r.left, current.left), std::min(r.top, current.top),
             std::max(r.right, current.right), std::max(r.bottom, current.bottom)};
        if (merged != kNone) {
            // The earlier merge result is now inside the newer one: drop it by moving the last
            // rectangle into its place.
            std::size_t last = count_ - 1;
            if (merged != last) {
                rects_[merged] = rects_[last];
                if (found == last) found = merged;
            }
            --count_;
        }
        merged = found;
        current = rects_[found];
    }
    if (merged != kNone) return TRUE;
    if (count_ == capacity_) {
        std::size_t capacity = capacity_;
        if (!MemGrowArray(&rects_, &capacity, capacity_ + 16, 1, MM("DIRTYREGION"))) return FALSE;
        capacity_ = capacity;
    }
    rects_[count_++] = *rect;
    return TRUE;
}
