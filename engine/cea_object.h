// AnimObject: one thing shown on an animation window: a graphic, the current frame of a
// sprite, or whatever its callback draws. The window keeps its objects in layers (a lower
// layer number is in front; within a layer an earlier object is in front), ticks them once per
// painted frame and draws them onto its composites. Behaviour is attached through one callback
// per object instead of virtual functions.
//
// Objects are made with `new (MM("ANIMOBJECT")) AnimObject(...)`: the window deletes the
// objects still on it when it is destroyed. An object that was not made that way is only taken
// off the window.
#pragma once

#include "engine/cea_graphic.h"
// SendMessage below becomes SendMessageW / SendMessageA like the platform call it shadows.
#include "platform/user.h"

class AnimWindow;
class AnimObject;
class Sprite;

// Object flags.
constexpr DWORD kObjectBackdrop = 0x1;   // drawn into the backdrop composite; cannot move
constexpr DWORD kObjectDrawInPart = 0x2; // region expansion leaves it out

// Callback messages, in the order an object sees them.
enum : DWORD {
    ANIMOBJ_CREATE = 0,  // made with this callback
    ANIMOBJ_DESTROY = 1, // being destroyed
    ANIMOBJ_TICK = 2,    // once per painted frame, before anything is drawn
    ANIMOBJ_DRAW = 3,    // draw; the parameter is the ANIMDRAW record
};

// What a draw message asks for: draw the part `clip` (window coordinates) of the object whose
// rectangle is `object` onto `destination`.
struct ANIMDRAW {
    Graphic* destination;
    RECT clip;
    RECT object;
};

using AnimObjectCallback = LRESULT (*)(AnimObject* object, DWORD message, LPARAM parameter);

class AnimObject {
public:
    AnimObject(AnimWindow* window, Sprite* sprite, LONG layer);
    AnimObject(AnimWindow* window, Graphic* graphic, LONG layer);
    AnimObject(AnimWindow* window, AnimObjectCallback callback, LONG layer);
    ~AnimObject();
    AnimObject(const AnimObject&) = delete;
    AnimObject& operator=(const AnimObject&) = delete;

    AnimWindow* GetWindow() const { return window_; }
    void SetWindow(AnimWindow* window);
    LONG GetLayer() const { return layer_; }
    void SetLayer(LONG layer);

    // Stacking: behind everything, in front of everything, right behind or in front of
    // `other` (taking its layer; none means to the back or the front).
    void SendToBack();
    void BringToFront();
    void PlaceBehind(AnimObject* other);
    void PlaceInFront(AnimObject* other);

    DWORD GetFlags() const { return flags_; }
    void SetFlags(DWORD flags);

    // The sprite's frame for the window's current frame when a sprite is set, else the graphic.
    Graphic* GetCurrentGraphic() const;
    Graphic* GetGraphic() const { return graphic_; }
    Sprite* GetSprite() const { return sprite_; }
    BOOL GetDrawDirectly() const { return drawDirectly_ ? TRUE : FALSE; }
    // Both resize the object to the picture (keeping left and top) unless its size is empty.
    void SetGraphic(Graphic* graphic, BOOL drawDirectly = TRUE);
    void SetSprite(Sprite* sprite, BOOL drawDirectly = TRUE);

    LONG GetWidth() const { return rect_.right - rect_.left; }
    LONG GetHeight() const { return rect_.bottom - rect_.top; }
    void SetWidth(LONG width);
    void SetHeight(LONG height);
    void GetSize(LONG* width, LONG* height) const;
    void SetSize(LONG width, LONG height);
    void GetPosition(LONG* x, LONG* y) const;
    void MoveTo(LONG x, LONG y);
    void GetRect(RECT* rect) const;
    // Ignored on a backdrop object.
    void SetRect(const RECT& rect);
    // The object's rectangle into the window's dirty region of its kind.
    void Invalidate();

    AnimObjectCallback GetCallback() const { return callback_; }
    void SetCallback(AnimObjectCallback callback);
    // Calls the callback (1 without one). A tick of a directly drawn animated sprite first
    // invalidates the object, so it is redrawn every frame.
    LRESULT SendMessage(DWORD message, LPARAM parameter);

    // Draws the object's part inside `clip` (the whole object when null) onto `destination`.
    void Draw(Graphic* destination, const RECT* clip);
    // For callbacks: the copy Draw does, with the record's clip and object rectangle.
    void DrawGraphic(const ANIMDRAW* record, Graphic* graphic = nullptr);
    void DrawSprite(const ANIMDRAW* record, Sprite* sprite = nullptr);

    void* GetData(DWORD index) const;
    BOOL SetData(DWORD index, void* pointer);

private:
    friend class AnimWindow;

    AnimWindow* window_;
    AnimObject* next_;
    AnimObject* previous_;
    void** data_;
    std::size_t cData_;
    RECT rect_;
    LONG layer_;
    DWORD flags_;
    DWORD drawDirectly_;
    Graphic* graphic_;
    Sprite* sprite_;
    AnimObjectCallback callback_;

    void Clear();
    void Insert();
    void Remove();
    void ResizeTo(LONG width, LONG height);
    void InvalidateAs(DWORD flags);
};
