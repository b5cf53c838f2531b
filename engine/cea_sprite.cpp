#include "engine/cea_sprite.h"

#include "foundation/memory.h"
#include "foundation/tl_dialog.h"

#include <algorithm>

void Sprite::Clear() {
    ownsImage_ = 0;
    image_ = nullptr;
    child_ = 0;
    rect_ = {0, 0, 0, 0};
    parent_ = nullptr;
    frames_ = nullptr;
    cFrames_ = 0;
    children_ = nullptr;
    cChildren_ = 0;
}

Sprite::Sprite(LPCTSTR fileName, LONG columns, LONG rows, DWORD limit)
    : Sprite(fileName, kNoColor, columns, rows, limit) {}

Sprite::Sprite(LPCTSTR fileName, COLORREF transparent, LONG columns, LONG rows, DWORD limit) {
    Clear();
    Load(new (MM("GRAPHIC")) Graphic(fileName, transparent, this), columns, rows, limit);
}

Sprite::Sprite(HANDLE file, LONG columns, LONG rows, DWORD limit)
    : Sprite(file, kNoColor, columns, rows, limit) {}

Sprite::Sprite(HANDLE file, COLORREF transparent, LONG columns, LONG rows, DWORD limit) {
    Clear();
    Load(new (MM("GRAPHIC")) Graphic(file, transparent, this), columns, rows, limit);
}

Sprite::Sprite(const BYTE* data, DWORD size, LONG columns, LONG rows, DWORD limit)
    : Sprite(data, size, kNoColor, columns, rows, limit) {}

Sprite::Sprite(const BYTE* data, DWORD size, COLORREF transparent, LONG columns, LONG rows,
               DWORD limit) {
    Clear();
    Load(new (MM("GRAPHIC")) Graphic(static_cast<const void*>(data), size, transparent, this),
         columns, rows, limit);
}

Sprite::Sprite(HMODULE module, LPCTSTR name, LONG columns, LONG rows, DWORD limit)
    : Sprite(module, name, kNoColor, columns, rows, limit) {}

Sprite::Sprite(HMODULE module, LPCTSTR name, COLORREF transparent, LONG columns, LONG rows,
               DWORD limit) {
    Clear();
    Load(new (MM("GRAPHIC")) Graphic(module, name, transparent, this), columns, rows, limit);
}

Sprite::Sprite(Sprite* parent, const RECT& rect) {
    Clear();
    child_ = 1;
    rect_ = rect;
    parent_ = parent;
    if (!parent) return;
    std::size_t slot = parent->cChildren_;
    for (std::size_t i = 0; i < parent->cChildren_; ++i)
        if (!parent->children_[i]) {
            slot = i;
            break;
        }
    if (slot == parent->cChildren_ &&
        !MemGrowArray(&parent->children_, &parent->cChildren_, slot + 1, 4, MM("SPRITE")))
        return;
    parent->children_[slot] = this;
    std::size_t count = parent->cFrames_;
    if (count == 0 || !MemGrowArray(&frames_, &cFrames_, count, 1, MM("SPRITE"))) {
        cFrames_ = 0;
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        frames_[i] = new (MM("GRAPHIC")) Graphic(parent->frames_[i], &rect);
}

void Sprite::Load(Graphic* image, LONG columns, LONG rows, DWORD limit) {
    image_ = image;
    ownsImage_ = 1;
    Split(columns, rows, limit);
}

namespace {

LONG CellSize(LONG request, LONG whole) {
    if (request < 0) return request & 0x7FFFFFFF;
    return whole / std::max<LONG>(request, 1);
}

} // namespace

void Sprite::Split(LONG columns, LONG rows, DWORD limit) {
    // Layer frames leave the image itself without pixels: the picture's size is theirs.
    Graphic* picture = cFrames_ > 0 ? frames_[0] : image_;
    LONG imageWidth = picture->IsLoaded() ? picture->GetWidth() : 0;
    LONG imageHeight = picture->IsLoaded() ? picture->GetHeight() : 0;
    LONG frameWidth = CellSize(columns, imageWidth);
    LONG frameHeight = CellSize(rows, imageHeight);
    LONG across = imageWidth / std::max<LONG>(frameWidth, 1);
    LONG down = imageHeight / std::max<LONG>(frameHeight, 1);
    std::size_t cells = static_cast<std::size_t>(across) * static_cast<std::size_t>(down);
    std::size_t count = limit == kSpriteAllFrames ? cells : std::min<std::size_t>(limit, cells);
    if (cFrames_ > 0) {
        if (count >= 2)
            Trace(true,
                  "Warning: constructing sprite 0x%08lX by splitting already-animated file: you "
                  "have to do that yourself",
                  static_cast<const void*>(this));
        return;
    }
    if (count == 0) return;
    if (!MemGrowArray(&frames_, &cFrames_, count, 1, MM("SPRITE"))) {
        cFrames_ = 0;
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        LONG left = frameWidth * static_cast<LONG>(i % across);
        LONG top = frameHeight * static_cast<LONG>(i / across);
        RECT r{left, top, left + frameWidth, top + frameHeight};
        frames_[i] = new (MM("GRAPHIC")) Graphic(image_, &r);
    }
    cFrames_ = count;
}

bool Sprite::AppendFrame(Graphic* frame) {
    std::size_t n = cFrames_;
    std::size_t capacity = cFrames_;
    if (!MemGrowArray(&frames_, &capacity, n + 1, 1, MM("SPRITE"))) return false;
    frames_[n] = frame;
    cFrames_ = n + 1;
    return true;
}

Sprite::~Sprite() {
    for (std::size_t i = 0; i < cFrames_; ++i)
        MemDelete(frames_[i], MM("GRAPHIC"));
    MemFree(frames_, MM("SPRITE"));
    frames_ = nullptr;
    cFrames_ = 0;
    if (!child_) {
        for (std::size_t i = 0; i < cChildren_; ++i) {
            Sprite* c = children_[i];
            if (!c) continue;
            Trace(true, "Warning: freeing child sprite 0x%08lX when parent 0x%08lX destroyed",
                  static_cast<const void*>(c), static_cast<const void*>(this));
            c->parent_ = nullptr;
            children_[i] = nullptr;
            MemDelete(c, MM("SPRITE"));
        }
        MemFree(children_, MM("SPRITE"));
        children_ = nullptr;
        cChildren_ = 0;
    } else if (parent_) {
        for (std::size_t i = 0; i < parent_->cChildren_; ++i)
            if (parent_->children_[i] == this) parent_->children_[i] = nullptr;
    }
    if (ownsImage_) MemDelete(image_, MM("GRAPHIC"));
    image_ = nullptr;
}

BOOL Sprite::GetRect(RECT* rect) {
    if (!rect) return FALSE;
    if (child_) {
        *rect = rect_;
        return TRUE;
    }
    *rect = {0, 0, 0, 0};
    if (cFrames_ > 0) frames_[0]->GetRect(rect);
    return TRUE;
}

LONG Sprite::GetWidth() {
    return cFrames_ > 0 ? frames_[0]->GetWidth() : 0;
}

LONG Sprite::GetHeight() {
    return cFrames_ > 0 ? frames_[0]->GetHeight() : 0;
}

Graphic* Sprite::GetFrame(DWORD index) const {
    return index < cFrames_ ? frames_[index] : nullptr;
}

Graphic* Sprite::GetFrameForCounter(DWORD counter) const {
    if (cFrames_ == 0) return nullptr;
    return frames_[counter % cFrames_];
}
