#include "game/presentation/input.h"

#include "game/presentation/display.h"

#include <algorithm>

namespace {

// The pen's point of the message being handled, in the window's client pixels: the message's
// own coordinates are not used, as the pen may be captured from outside.
POINT PenPoint(HWND hwnd) {
    const DWORD position = GetMessagePos();
    POINT p{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(hwnd, &p);
    return p;
}

} // namespace

LRESULT CALLBACK HumanInput::StylusHook(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_LBUTTONDOWN && message != WM_MOUSEMOVE && message != WM_LBUTTONUP) return 0;
    GamePresentation* presentation = PresentationOf(AnimWindow::FromHandle(hwnd));
    if (!presentation || !presentation->loaded) return 0;
    HumanInput& input = presentation->input;
    const GameSession* session = presentation->session;
    switch (message) {
    case WM_LBUTTONDOWN:
        if (input.HeldByKeys()) break;
        input.ClearHint();
        if (session && session->humanMayMove) input.PickUp(PenPoint(hwnd));
        break;
    case WM_MOUSEMOVE:
        if (input.Dragging() && !input.HeldByKeys()) input.Drag(PenPoint(hwnd));
        break;
    case WM_LBUTTONUP:
        if (!input.HeldByKeys()) input.Drop();
        break;
    }
    return 0;
}

LRESULT CALLBACK HumanInput::KeyHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_KEYDOWN) return 0;
    GamePresentation* presentation = PresentationOf(AnimWindow::FromHandle(hwnd));
    if (!presentation || !presentation->loaded || presentation->splashRunning) return 0;
    // Modified keys belong to the accelerators.
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return 0;
    return presentation->input.KeyDown(static_cast<UINT>(wParam)) ? 1 : 0;
}

int HumanInput::TargetSpotCount() const {
    return static_cast<int>(std::count_if(std::begin(spots_), std::end(spots_),
                                          [](const GLOWSPOT* s) { return s != nullptr; }));
}

void HumanInput::PickUp(POINT p) {
    if (piece_ || !session_) return;
    const Square square = display_->SquareAtPoint(p.x, p.y, false);
    if (!PickUpSquare(square)) return;
    SetCapture(display_->Window()->GetHandle());
    const CellGeometry& cell = Cell(display_->Layout(), square);
    grab_ = POINT{cell.left + cell.anchorX - p.x, cell.top + cell.anchorY - p.y};
}

bool HumanInput::PickUpSquare(Square square) {
    AnimObject* piece = display_->PieceAt(square);
    if (!piece) return false;
    if (static_cast<std::uint32_t>(PieceValue(piece, kPieceColour)) != session_->state.turn) {
        sounds_->PlayNow(kSoundRefuse);
        return false;
    }
    ClearHint();
    byKeys_ = false;
    piece_ = piece;
    source_ = square;
    sounds_->PlayNow(kSoundPickUp);
    int slot = 0;
    for (const MOVE& move : session_->legalMoves) {
        if (move.from != square) continue;
        if (slot == kMostTargetSpots) break;
        GLOWSPOT* spot = sequencer_->NewSpot(kSpotTarget, move.to);
        if (!spot) break;
        spots_[slot++] = spot;
        sequencer_->StartSpot(spot);
    }
    return true;
}

void HumanInput::Drag(POINT p) {
    if (!piece_) return;
    AnimWindow* window = display_->Window();
    window->Freeze();
    const BoardLayout& layout = display_->Layout();
    POINT foot{p.x + grab_.x, p.y + grab_.y};
    // The square is looked up under the middle of the piece, half its height above the foot.
    const Graphic* image = layout.cells[0][0].image[0];
    const LONG half = image ? const_cast<Graphic*>(image)->GetHeight() / 2 : 0;
    const Square square = display_->SquareAtPoint(foot.x, foot.y - half, true);
    display_->SetPieceSquare(piece_, square);
    piece_->SetLayer(PieceLayer(square) - 1);
    // The piece stays on the board.
    const CellGeometry& cell = Cell(layout, square);
    const LONG ax = cell.left + cell.anchorX, ay = cell.top + cell.anchorY;
    if (ColumnOf(square) == 0) foot.x = std::max(foot.x, ax);
    if (ColumnOf(square) == kBoardSize - 1) foot.x = std::min(foot.x, ax);
    if (RowOf(square) == 0) foot.y = std::min(foot.y, ay);
    if (RowOf(square) == display_->BoardRows() - 1) foot.y = std::max(foot.y, ay);
    const PieceBox& box = layout.box;
    piece_->SetRect(RECT{foot.x - box.hotX, foot.y - box.hotY, foot.x - box.hotX + box.width,
                         foot.y - box.hotY + box.height});
    window->Unfreeze();
}

void HumanInput::EndDrag() {
    if (!byKeys_) ReleaseCapture();
    byKeys_ = false;
    for (GLOWSPOT*& spot : spots_) {
        if (spot) sequencer_->StopSpot(spot);
        spot = nullptr;
    }
    piece_ = nullptr;
    source_ = kNoSquare;
}

void HumanInput::Drop() {
    if (!piece_) return;
    AnimObject* piece = piece_;
    const Square source = source_;
    EndDrag();
    const Square target = PieceValue(piece, kPieceSquare);
    if (session_ && session_->legalMoves.Find(source, target)) {
        display_->MovePieceReference(source, target);
        if (session_->MakeMove(source, target, false)) {
            display_->SetPieceSquare(piece, target);
            sounds_->PlayNow(kSoundPutDown);
        } else {
            display_->MovePieceReference(target, source);
            display_->SetPieceSquare(piece, source);
            sounds_->PlayNow(kSoundRefuse);
        }
    } else {
        display_->SetPieceSquare(piece, source);
        sounds_->PlayNow(kSoundReturn);
    }
    display_->PlacePiece(piece);
}

void HumanInput::Cancel() {
    if (!piece_) return;
    AnimObject* piece = piece_;
    const Square source = source_;
    EndDrag();
    display_->SetPieceSquare(piece, source);
    display_->PlacePiece(piece);
}

// ---- The keyboard ---------------------------------------------------------------------------

bool HumanInput::KeyDown(UINT key) {
    if (piece_ && !byKeys_) return false; // the pen has it
    switch (key) {
    case VK_LEFT:
        MoveCursor(0, -1);
        return true;
    case VK_RIGHT:
        MoveCursor(0, 1);
        return true;
    case VK_UP:
        MoveCursor(1, 0);
        return true;
    case VK_DOWN:
        MoveCursor(-1, 0);
        return true;
    case VK_RETURN:
    case VK_SPACE:
        if (!cursorObject_) {
            PlaceCursor();
        } else if (piece_) {
            Drop();
        } else if (session_ && session_->humanMayMove && PickUpSquare(cursor_)) {
            byKeys_ = true;
            piece_->SetLayer(PieceLayer(cursor_) - 1);
        }
        return true;
    case VK_ESCAPE:
        if (piece_) {
            display_->SetPieceSquare(piece_, source_);
            Drop();
            return true;
        }
        if (HintShown()) {
            ClearHint();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void HumanInput::MoveCursor(int rows, int columns) {
    if (cursorObject_) {
        // The tutorial's board is its bottom rows.
        const int row = std::clamp(RowOf(cursor_) + rows, 0, display_->BoardRows() - 1);
        const int column = std::clamp(ColumnOf(cursor_) + columns, 0, kBoardSize - 1);
        cursor_ = SquareAt(row, column);
    }
    PlaceCursor();
    if (piece_) {
        // The held piece goes along, in front of its neighbours like a dragged one.
        display_->SetPieceSquare(piece_, cursor_);
        display_->PlacePiece(piece_);
        piece_->SetLayer(PieceLayer(cursor_) - 1);
    }
}

namespace {

// The corners of a square as the board draws it: rows narrow towards the top, so its bottom
// edge is the top edge of the square below (widened once more for the bottom row).
struct Quad {
    POINT topLeft, topRight, bottomLeft, bottomRight;
};

Quad SquareQuad(const BoardLayout& layout, Square square) {
    const int row = RowOf(square), column = ColumnOf(square);
    const CellGeometry& cell = layout.cells[row][column];
    LONG bottomLeft, bottomRight;
    if (row > 0) {
        bottomLeft = layout.cells[row - 1][column].left;
        bottomRight = layout.cells[row - 1][column].right;
    } else {
        const CellGeometry& above = layout.cells[1][column];
        bottomLeft = cell.left - (above.left - cell.left);
        bottomRight = cell.right + (cell.right - above.right);
    }
    return Quad{{cell.left, cell.top},
                {cell.right, cell.top},
                {bottomLeft, cell.bottom},
                {bottomRight, cell.bottom}};
}

RECT QuadBounds(const Quad& q, LONG margin) {
    return RECT{std::min(q.topLeft.x, q.bottomLeft.x) - margin, q.topLeft.y - margin,
                std::max(q.topRight.x, q.bottomRight.x) + margin, q.bottomLeft.y + margin};
}

} // namespace

void HumanInput::PlaceCursor() {
    AnimWindow* window = display_->Window();
    if (!AnimWindow::IsLive(window)) return;
    if (!cursorObject_) {
        cursorObject_ = new (MM("ANIMOBJECT")) AnimObject(window, CursorCallback, kKeyCursorLayer);
        cursorObject_->SetData(0, this);
        if (RowOf(cursor_) >= display_->BoardRows()) cursor_ = SquareAt(0, kBoardSize / 2);
    }
    cursorObject_->Invalidate();
    cursorObject_->SetRect(QuadBounds(SquareQuad(display_->Layout(), cursor_), 1));
    cursorObject_->Invalidate();
}

void HumanInput::DrawCursor(const ANIMDRAW* record) const {
    Graphic* target = record->destination;
    if (!target) return;
    const Quad q = SquareQuad(display_->Layout(), cursor_);
    const RECT& clip = record->clip;
    const DWORD light = target->ColorToValue(RGB(255, 255, 255));
    const DWORD dark = target->ColorToValue(RGB(0, 0, 0));
    const auto plot = [&](LONG x, LONG y, DWORD value) {
        if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom)
            target->SetPixelValue(x, y, value);
    };
    // A white line with a dark rim inside, visible on the light and the dark squares alike.
    const auto edges = [&](LONG inset, DWORD value) {
        const LONG top = q.topLeft.y + inset, bottom = q.bottomLeft.y - 1 - inset;
        for (LONG y = top; y <= bottom; ++y) {
            const LONG span = std::max<LONG>(1, q.bottomLeft.y - q.topLeft.y);
            const LONG t = y - q.topLeft.y;
            const LONG left = q.topLeft.x + (q.bottomLeft.x - q.topLeft.x) * t / span + inset;
            const LONG right = q.topRight.x + (q.bottomRight.x - q.topRight.x) * t / span - inset;
            if (y == top || y == bottom) {
                for (LONG x = left; x <= right; ++x)
                    plot(x, y, value);
            } else {
                plot(left, y, value);
                plot(right, y, value);
            }
        }
    };
    edges(0, light);
    edges(1, light);
    edges(2, dark);
}

LRESULT CALLBACK HumanInput::CursorCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    if (message != ANIMOBJ_DRAW) return 1;
    if (const auto* input = static_cast<const HumanInput*>(object->GetData(0)))
        input->DrawCursor(reinterpret_cast<const ANIMDRAW*>(parameter));
    return 1;
}

// ---- The hint -------------------------------------------------------------------------------

void HumanInput::ShowHint(Square from, Square to) {
    ClearHint();
    if (piece_) return;
    const Square squares[2] = {from, to};
    for (int i = 0; i < 2; ++i) {
        if (!IsSquare(squares[i])) continue;
        hint_[i] = sequencer_->NewSpot(kSpotTarget, squares[i]);
        if (hint_[i]) sequencer_->StartSpot(hint_[i]);
    }
}

void HumanInput::ClearHint() {
    for (GLOWSPOT*& spot : hint_) {
        if (spot) sequencer_->StopSpot(spot);
        spot = nullptr;
    }
}

void HumanInput::Delete() {
    Cancel();
    ClearHint();
    if (cursorObject_) MemDelete(cursorObject_, MM("ANIMOBJECT"));
    cursorObject_ = nullptr;
}
