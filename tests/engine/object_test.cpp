// Display objects: layers and stacking, flags and invalidation, sizing from graphics and
// sprites, drawing through the composites, callbacks and user slots.
#include "anim_test_support.h"
#include "engine_test_support.h"

#include "engine/cea_sprite.h"
#include "foundation/memory.h"

#include <string>

namespace {

class Objects : public AnimTest {
protected:
    void SetUp() override {
        AnimTest::SetUp();
        window_ = MakeAnim();
        ASSERT_NE(window_, nullptr);
        window_->FillBackground(kBlack);
        window_->Paint();
    }
    void TearDown() override {
        AnimTest::TearDown(); // the window deletes the objects still on it
        for (Graphic* g : graphics_)
            MemDelete(g, MM("GRAPHIC"));
        for (Sprite* s : sprites_)
            MemDelete(s, MM("SPRITE"));
    }
    Graphic* Keep(Graphic* g) {
        graphics_.push_back(g);
        return g;
    }
    AnimObject* Box(LONG x, LONG y, LONG w, LONG h, COLORREF color, LONG layer) {
        auto* o = new (MM("ANIMOBJECT")) AnimObject(window_, Keep(Solid(w, h, color)), layer);
        o->MoveTo(x, y);
        return o;
    }
    // A sprite of `colors.size()` frames of 4 x 4 pixels, one colour each.
    Sprite* Frames(const std::vector<COLORREF>& colors) {
        LONG width = static_cast<LONG>(4 * colors.size());
        std::vector<std::vector<BYTE>> rows(4);
        for (auto& row : rows)
            for (COLORREF c : colors)
                for (int x = 0; x < 4; ++x) {
                    row.push_back(GetBValue(c));
                    row.push_back(GetGValue(c));
                    row.push_back(GetRValue(c));
                }
        std::vector<BYTE> bmp = MakeBmp(width, 4, 24, {}, rows, false);
        auto* s = new (MM("SPRITE")) Sprite(bmp.data(), static_cast<DWORD>(bmp.size()),
                                            static_cast<LONG>(colors.size()), 1, kSpriteAllFrames);
        sprites_.push_back(s);
        return s;
    }
    // The order front to back, as layer:name.
    std::vector<AnimObject*> Order() {
        std::vector<AnimObject*> out;
        for (AnimObject* o = window_->NextObject(nullptr); o; o = window_->NextObject(o))
            out.push_back(o);
        // Back to front must be the exact reverse.
        std::vector<AnimObject*> back;
        for (AnimObject* o = window_->PreviousObject(nullptr); o; o = window_->PreviousObject(o))
            back.insert(back.begin(), o);
        EXPECT_EQ(out, back);
        return out;
    }
    COLORREF Shown(int x, int y) { return WindowPixel(window_->GetHandle(), x, y); }

    AnimWindow* window_ = nullptr;
    std::vector<Graphic*> graphics_;
    std::vector<Sprite*> sprites_;
};

TEST_F(Objects, LowerLayersAndEarlierObjectsAreInFront) {
    AnimObject* back = Box(10, 10, 20, 20, kRed, 10);
    AnimObject* front = Box(10, 10, 20, 20, kGreen, 5);
    AnimObject* sameFirst = Box(100, 10, 20, 20, kBlue, 7);
    AnimObject* sameSecond = Box(100, 10, 20, 20, kRed, 7);
    window_->Paint();
    EXPECT_TRUE(Near(Shown(15, 15), kGreen));
    EXPECT_TRUE(Near(Shown(105, 15), kBlue));
    EXPECT_TRUE(Near(Shown(5, 5), kBlack));
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{front, sameFirst, sameSecond, back}));
    EXPECT_EQ(window_->GetLayerAbove(5), 7);
    EXPECT_EQ(window_->GetLayerAbove(10), 0);
    EXPECT_EQ(window_->GetLayerBelow(10), 7);
    EXPECT_EQ(window_->GetLayerBelow(5), 0);
    EXPECT_EQ(window_->GetFirstInLayer(7), sameFirst);
    EXPECT_EQ(window_->GetFirstInLayer(8), nullptr);

    // Emptied layers are skipped; a new layer between others takes its place in the order.
    MemDelete(front, MM("ANIMOBJECT"));
    AnimObject* middle = Box(200, 0, 2, 2, kRed, 8);
    AnimObject* first = Box(200, 0, 2, 2, kRed, 1);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{first, sameFirst, sameSecond, middle, back}));
    window_->Paint();
    EXPECT_TRUE(Near(Shown(15, 15), kRed));
}

TEST_F(Objects, StackingOperations) {
    AnimObject* a = Box(0, 0, 4, 4, kRed, 3);
    AnimObject* b = Box(0, 0, 4, 4, kRed, 3);
    AnimObject* c = Box(0, 0, 4, 4, kRed, 9);
    AnimObject* d = Box(0, 0, 4, 4, kRed, 6);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{a, b, d, c}));

    c->BringToFront();
    EXPECT_EQ(c->GetLayer(), 3);
    EXPECT_EQ(window_->GetFirstInLayer(3), c);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{c, a, b, d}));

    a->SendToBack();
    EXPECT_EQ(a->GetLayer(), 6);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{c, b, d, a}));

    c->PlaceBehind(d);
    EXPECT_EQ(c->GetLayer(), 6);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{b, d, c, a}));

    a->PlaceInFront(d);
    EXPECT_EQ(window_->GetFirstInLayer(6), a);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{b, a, d, c}));

    b->PlaceInFront(nullptr); // no other: to the front (it already is)
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{b, a, d, c}));
    b->PlaceBehind(nullptr); // to the back
    EXPECT_EQ(b->GetLayer(), 6);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{a, d, c, b}));
    d->PlaceBehind(d); // itself: nothing
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{a, d, c, b}));

    d->SetLayer(2);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{d, a, c, b}));

    // Alone on a window, an object sent back or brought forward takes layer 100.
    for (AnimObject* o : {a, b, c})
        MemDelete(o, MM("ANIMOBJECT"));
    d->SendToBack();
    EXPECT_EQ(d->GetLayer(), 100);
    d->SetLayer(4);
    d->BringToFront();
    EXPECT_EQ(d->GetLayer(), 100);
    EXPECT_EQ(Order(), (std::vector<AnimObject*>{d}));
}

TEST_F(Objects, BackdropObjectsRefuseToMoveAndLiveInTheBackdropComposite) {
    AnimObject* board = Box(20, 20, 40, 40, kBlue, 50);
    board->SetFlags(kObjectBackdrop);
    window_->Paint();
    board->MoveTo(100, 100);
    RECT r;
    board->GetRect(&r);
    EXPECT_EQ(r.left, 20);
    board->SetRect({0, 0, 5, 5});
    board->GetRect(&r);
    EXPECT_EQ(r.right, 60);
    // It is drawn into the backdrop composite, under the ordinary objects.
    AnimObject* piece = Box(30, 30, 10, 10, kRed, 60);
    window_->Paint();
    EXPECT_TRUE(Is(window_->GetBackdropComposite(), 35, 35, kBlue));
    EXPECT_TRUE(Is(window_->GetFrameComposite(), 35, 35, kRed));
    EXPECT_TRUE(Near(Shown(25, 25), kBlue));
    // Moving the ordinary object touches only the frame region.
    piece->MoveTo(80, 80);
    EXPECT_TRUE(window_->GetBackdropRegion()->IsEmpty());
    EXPECT_EQ(window_->GetFrameRegion()->GetCount(), 2u);
    window_->Paint();
    EXPECT_TRUE(Near(Shown(35, 35), kBlue));
    EXPECT_TRUE(Near(Shown(85, 85), kRed));

    // Clearing the flag lets it move, and the change dirties both regions.
    board->SetFlags(0);
    EXPECT_FALSE(window_->GetBackdropRegion()->IsEmpty());
    EXPECT_FALSE(window_->GetFrameRegion()->IsEmpty());
    board->MoveTo(150, 150);
    window_->Paint();
    EXPECT_TRUE(Near(Shown(25, 25), kBlack));
    EXPECT_TRUE(Near(Shown(155, 155), kBlue));
    EXPECT_TRUE(Is(window_->GetBackdropComposite(), 35, 35, kBlack));
}

TEST_F(Objects, AnimatedSpritesRedrawEveryFrameStillOnesDoNot) {
    Sprite* blink = Frames({kRed, kBlue});
    Sprite* still = Frames({kGreen});
    ASSERT_EQ(blink->GetFrameCount(), 2u);
    auto* a = new (MM("ANIMOBJECT")) AnimObject(window_, blink, 10);
    auto* s = new (MM("ANIMOBJECT")) AnimObject(window_, still, 10);
    a->MoveTo(10, 10);
    s->MoveTo(50, 10);
    EXPECT_EQ(a->GetWidth(), 4);
    EXPECT_EQ(a->GetHeight(), 4);
    window_->Paint();
    COLORREF first = Shown(11, 11);
    EXPECT_TRUE(Near(Shown(51, 11), kGreen));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(window_->AdvanceOne());
        COLORREF now = Shown(11, 11);
        EXPECT_TRUE(Near(now, window_->GetCurrentFrame() % 2 ? kBlue : kRed));
        EXPECT_FALSE(Near(now, first) && i % 2 == 0);
        first = now;
    }
    // The still sprite was not composed again: paint over it on the window and it stays.
    HDC dc = GetDC(window_->GetHandle());
    RECT over{50, 10, 54, 14};
    HBRUSH white = CreateSolidBrush(kWhite);
    FillRect(dc, &over, white);
    DeleteObject(white);
    ReleaseDC(window_->GetHandle(), dc);
    window_->AdvanceOne();
    EXPECT_TRUE(Near(Shown(51, 11), kWhite));
    // A tick of the animated object is what dirtied it.
    EXPECT_TRUE(window_->GetFrameRegion()->IsEmpty());
    a->SendMessage(ANIMOBJ_TICK, 0);
    EXPECT_EQ(window_->GetFrameRegion()->GetCount(), 1u);
}

struct Seen {
    std::vector<DWORD> messages;
    ANIMDRAW last{};
};
Seen g_seen;

LRESULT Watcher(AnimObject* object, DWORD message, LPARAM parameter) {
    g_seen.messages.push_back(message);
    if (message == ANIMOBJ_DRAW) {
        g_seen.last = *reinterpret_cast<const ANIMDRAW*>(parameter);
        object->DrawGraphic(&g_seen.last, static_cast<Graphic*>(object->GetData(0)));
    }
    return 1;
}

TEST_F(Objects, CallbackMessagesAndTheDrawRecord) {
    g_seen = Seen{};
    Graphic* green = Keep(Solid(30, 30, kGreen));
    auto* o = new (MM("ANIMOBJECT")) AnimObject(window_, Watcher, 20);
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_CREATE}));
    EXPECT_FALSE(o->GetDrawDirectly()); // a callback and no graphic: the callback draws
    o->SetData(0, green);
    o->SetRect({10, 10, 40, 40});
    window_->Paint();
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_CREATE, ANIMOBJ_TICK, ANIMOBJ_DRAW}));
    EXPECT_EQ(g_seen.last.destination, window_->GetFrameComposite());
    EXPECT_EQ(g_seen.last.object.left, 10);
    EXPECT_EQ(g_seen.last.object.right, 40);
    EXPECT_TRUE(Near(Shown(20, 20), kGreen));

    // Only the dirty part is asked for.
    RECT part{30, 30, 50, 50};
    window_->Invalidate(&part);
    window_->Paint();
    EXPECT_EQ(g_seen.last.clip.left, 30);
    EXPECT_EQ(g_seen.last.clip.top, 30);
    EXPECT_EQ(g_seen.last.clip.right, 40);
    EXPECT_EQ(g_seen.last.clip.bottom, 40);
    // A paint with nothing dirty ticks but draws nothing.
    g_seen.messages.clear();
    window_->Paint();
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_TICK}));
    // Setting the rectangle it already has still asks for a redraw.
    o->SetRect({10, 10, 40, 40});
    EXPECT_FALSE(window_->GetFrameRegion()->IsEmpty());
    g_seen.messages.clear();
    window_->Paint();
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_TICK, ANIMOBJ_DRAW}));
    EXPECT_EQ(g_seen.last.clip.left, 10);
    EXPECT_EQ(g_seen.last.clip.bottom, 40);

    // With a graphic set and drawing directly, the window draws it and the callback does not.
    o->SetGraphic(Keep(Solid(8, 8, kRed)), TRUE);
    EXPECT_EQ(o->GetWidth(), 8);
    g_seen.messages.clear();
    window_->Paint();
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_TICK}));
    EXPECT_TRUE(Near(Shown(12, 12), kRed));

    g_seen.messages.clear();
    MemDelete(o, MM("ANIMOBJECT"));
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{ANIMOBJ_DESTROY}));
    window_->Paint();
    EXPECT_TRUE(Near(Shown(12, 12), kBlack));
}

TEST_F(Objects, SizingFlagsAndSlots) {
    auto* o = new (MM("ANIMOBJECT")) AnimObject(window_, static_cast<Graphic*>(nullptr), 5);
    EXPECT_TRUE(o->GetDrawDirectly() == FALSE); // no graphic
    o->SetRect({5, 6, 15, 26});
    EXPECT_EQ(o->GetWidth(), 10);
    EXPECT_EQ(o->GetHeight(), 20);
    // A graphic sets the size, keeping left and top; an empty one keeps the size.
    o->SetGraphic(Keep(Solid(7, 3, kRed)), FALSE);
    EXPECT_FALSE(o->GetDrawDirectly());
    RECT r;
    o->GetRect(&r);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.right, 12);
    EXPECT_EQ(r.bottom, 9);
    Graphic* empty = Keep(new (MM("GRAPHIC")) Graphic(static_cast<const void*>("x"), 1, kNoColor));
    o->SetGraphic(empty, TRUE);
    EXPECT_EQ(o->GetWidth(), 7);
    o->SetGraphic(nullptr);
    EXPECT_FALSE(o->GetDrawDirectly());
    o->SetSize(2, 9);
    o->MoveTo(50, 60);
    LONG x, y, w, h;
    o->GetPosition(&x, &y);
    o->GetSize(&w, &h);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 60);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 9);
    o->SetWidth(4);
    o->SetHeight(5);
    o->GetRect(&r);
    EXPECT_EQ(r.right, 54);
    EXPECT_EQ(r.bottom, 65);

    // Without a callback the window draws; nothing at all is drawn without a picture.
    o->SetCallback(nullptr);
    EXPECT_TRUE(o->GetDrawDirectly());
    window_->Paint();
    EXPECT_TRUE(Near(Shown(51, 61), kBlack));
    EXPECT_EQ(o->SendMessage(ANIMOBJ_TICK, 0), 1);

    // A flag change dirties the rectangle in both kinds of region.
    window_->Paint();
    o->SetFlags(kObjectDrawInPart);
    EXPECT_FALSE(window_->GetFrameRegion()->IsEmpty());
    EXPECT_TRUE(window_->GetBackdropRegion()->IsEmpty());
    EXPECT_EQ(o->GetFlags(), kObjectDrawInPart);

    EXPECT_EQ(o->GetData(0), nullptr);
    EXPECT_EQ(o->GetData(99), nullptr);
    int v = 0;
    EXPECT_TRUE(o->SetData(9, &v));
    EXPECT_EQ(o->GetData(9), &v);
    EXPECT_EQ(o->GetData(8), nullptr);
}

TEST_F(Objects, TimelineMovesShowsAndHidesObjects) {
    Graphic* red = Keep(Solid(10, 10, kRed));
    Graphic* blue = Keep(Solid(10, 10, kBlue));
    AnimObject* o = Box(0, 0, 10, 10, kGreen, 10);
    o->SetFlags(kObjectBackdrop);
    RECT to{100, 100, 110, 110};
    window_->AddObjectEvent(1, o, red, &to);         // moves and shows red
    window_->AddObjectEvent(2, o, blue, nullptr);    // shows blue in place
    window_->AddObjectEvent(3, o, nullptr, nullptr); // hides it
    EXPECT_EQ(window_->GetEndFrame(), 4u);
    window_->AdvanceOne(); // frame 0: nothing
    window_->AdvanceOne();
    EXPECT_EQ(o->GetFlags() & kObjectBackdrop, 0u); // an object event clears it
    EXPECT_TRUE(Near(Shown(105, 105), kRed));
    EXPECT_TRUE(Near(Shown(5, 5), kBlack));
    window_->AdvanceOne();
    EXPECT_TRUE(Near(Shown(105, 105), kBlue));
    window_->AdvanceOne();
    EXPECT_TRUE(Near(Shown(105, 105), kBlack));

    // A graphic's events can be taken back; a destroyed object takes its events with it.
    window_->AddObjectEvent(10, o, red, nullptr);
    window_->AddObjectEvent(11, o, blue, nullptr);
    window_->RemoveGraphicEvents(red);
    EXPECT_EQ(window_->GetEventCount(), 1u);
    MemDelete(o, MM("ANIMOBJECT"));
    EXPECT_EQ(window_->GetEventCount(), 0u);
    EXPECT_TRUE(window_->RunToEnd());
}

TEST_F(Objects, MovingBetweenWindowsAndObjectsNotMadeOnTheHeap) {
    AnimWindow* other = MakeAnim(50, 50);
    ASSERT_NE(other, nullptr);
    AnimObject* o = Box(0, 0, 4, 4, kRed, 3);
    o->SetWindow(other);
    EXPECT_EQ(o->GetWindow(), other);
    EXPECT_EQ(window_->NextObject(nullptr), nullptr);
    EXPECT_EQ(other->NextObject(nullptr), o);
    {
        // An object on the stack is taken off its window when the window goes first.
        AnimObject local(other, Keep(Solid(2, 2, kBlue)), 1);
        DestroyWindow(other->GetHandle());
        EXPECT_EQ(local.GetWindow(), nullptr);
    }
    // The heap object went with its window (the leak check at exit would see it otherwise).
}

} // namespace
