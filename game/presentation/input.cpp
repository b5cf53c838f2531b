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
        if (session && session->humanMayMove) input.PickUp(PenPoint(hwnd));
        break;
    case WM_MOUSEMOVE:
        if (input.Dragging()) input.Drag(PenPoint(hwnd));
        break;
    case WM_LBUTTONUP:
        input.Drop();
        break;
    }
    return 0;
}

int HumanInput::TargetSpotCount() const {
    return static_cast<int>(std::count_if(std::begin(spots_), std::end(spots_),
                                          [](const GLOWSPOT* s) { return s != nullptr; }));
}

void HumanInput::PickUp(POINT p) {
    if (piece_ || !session_) return;
    const Square square = display_->SquareAtPoint(p.x, p.y, false);
    AnimObject* piece = display_->PieceAt(square);
    if (!piece) return;
    if (static_cast<std::uint32_t>(PieceValue(piece, kPieceColour)) != session_->state.turn) {
        sounds_->PlayNow(kSoundRefuse);
        return;
    }
    SetCapture(display_->Window()->GetHandle());
    const CellGeometry& cell = Cell(display_->Layout(), square);
    grab_ = POINT{cell.left + cell.anchorX - p.x, cell.top + cell.anchorY - p.y};
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
    ReleaseCapture();
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
