#include "game/presentation/display.h"

#include "engine/cea_main.h"
#include "foundation/language.h"
#include "foundation/memory.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The window's user slot that leads from the window to its presentation.
constexpr DWORD kPresentationSlot = 0;

// Index of the banner sheet and button faces of the current language.
int LanguageSheet() {
    return CurrentLanguageId() == kLangEnglish ? 0 : 1;
}

} // namespace

void DrawClipped(Graphic* source, const ANIMDRAW* record, LONG x, LONG y, LONG sx, LONG sy, LONG w,
                 LONG h) {
    if (!source || !record || !record->destination) return;
    const LONG left = std::max(x, record->clip.left), top = std::max(y, record->clip.top);
    const LONG right = std::min(x + w, record->clip.right);
    const LONG bottom = std::min(y + h, record->clip.bottom);
    if (left >= right || top >= bottom) return;
    source->DrawTo(record->destination, left, top, sx + (left - x), sy + (top - y), right - left,
                   bottom - top);
}

LONG PieceLayer(Square square) {
    return 100 + 20 * RowOf(square) + 2 * std::abs(5 - ColumnOf(square));
}

GameDisplay::GameDisplay(AnimWindow* window, const GameGraphics* graphics,
                         const BoardLayout* layout, const GameOptions* options,
                         Sequencer* sequencer)
    : window_(window), graphics_(graphics), layout_(layout), options_(options),
      sequencer_(sequencer) {}

void GameDisplay::Reset() {
    for (auto& row : pieces_)
        for (AnimObject*& piece : row)
            piece = nullptr;
    for (auto& row : glow_)
        for (GlowCell& cell : row)
            cell = GlowCell{};
    banner_ = nullptr;
    bannerIndex_ = kBannerNone;
}

int GameDisplay::BoardRows() const {
    return session_ && session_->tutorialMode ? kTutorialRows : kBoardSize;
}

bool GameDisplay::TutorialBoardActive() const {
    return session_ && session_->tutorialMode && session_->humanMayMove;
}

// ---- Squares and pieces -----------------------------------------------------------------------

Square GameDisplay::SquareAtPoint(LONG x, LONG y, bool aboveAllowed) const {
    return ::SquareAtPoint(*layout_, x, y, aboveAllowed, BoardRows());
}

AnimObject* GameDisplay::PieceAt(Square square) const {
    return IsSquare(square) ? pieces_[RowOf(square)][ColumnOf(square)] : nullptr;
}

AnimObject* GameDisplay::PieceAtPoint(LONG x, LONG y) const {
    return PieceAt(SquareAtPoint(x, y, false));
}

AnimObject* GameDisplay::FirstPiece() const {
    for (const auto& row : pieces_)
        for (AnimObject* piece : row)
            if (piece) return piece;
    return nullptr;
}

AnimObject* GameDisplay::CreatePiece(Square square, int colour) {
    if (!IsSquare(square) || !AnimWindow::IsLive(window_)) return nullptr;
    auto* piece = new (MM("ANIMOBJECT")) AnimObject(window_, PieceCallback, PieceLayer(square));
    SetPieceValue(piece, kPieceSquare, square);
    SetPieceValue(piece, kPieceColour, colour);
    SetPieceValue(piece, kPieceFrame, -1);
    SetPieceValue(piece, kPieceConverting, 0);
    PlacePiece(piece);
    return piece;
}

void GameDisplay::EnterPiece(Square square, AnimObject* piece) {
    if (IsSquare(square)) pieces_[RowOf(square)][ColumnOf(square)] = piece;
}

void GameDisplay::SetPieceSquare(AnimObject* piece, Square square) {
    if (!piece || !IsSquare(square)) return;
    SetPieceValue(piece, kPieceSquare, square);
    piece->SetLayer(PieceLayer(square));
    piece->Invalidate();
}

void GameDisplay::PlacePiece(AnimObject* piece) {
    if (!piece) return;
    const Square square = PieceValue(piece, kPieceSquare);
    if (IsSquare(square)) piece->SetRect(PieceRect(*layout_, square));
}

void GameDisplay::MovePieceReference(Square from, Square to) {
    if (!IsSquare(from) || !IsSquare(to) || from == to) return;
    pieces_[RowOf(to)][ColumnOf(to)] = pieces_[RowOf(from)][ColumnOf(from)];
    pieces_[RowOf(from)][ColumnOf(from)] = nullptr;
}

void GameDisplay::DeletePiece(AnimObject* piece) {
    if (!piece) return;
    // Looked for everywhere, not only under its own square: no entry may outlive the piece.
    for (auto& row : pieces_)
        for (AnimObject*& entry : row)
            if (entry == piece) entry = nullptr;
    MemDelete(piece, MM("ANIMOBJECT"));
}

void GameDisplay::SetPieceFrame(AnimObject* piece, LONG frame, bool converting) {
    if (!piece) return;
    SetPieceValue(piece, kPieceFrame, frame);
    SetPieceValue(piece, kPieceConverting, converting ? 1 : 0);
    piece->Invalidate();
}

void GameDisplay::SynchronisePieces(const GameState& state) {
    if (!AnimWindow::IsLive(window_)) return;
    window_->Freeze();
    for (int row = 0; row < kBoardSize; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            const RowMask bit = static_cast<RowMask>(1u << column);
            const int wanted = state.sides[0].rows[row] & bit   ? 1
                               : state.sides[1].rows[row] & bit ? 2
                                                                : 0;
            AnimObject*& entry = pieces_[row][column];
            int shown = entry ? PieceValue(entry, kPieceColour) : 0;
            if (entry && (wanted == 0 || shown != wanted)) {
                DeletePiece(entry);
                shown = 0;
            }
            if (wanted != shown)
                EnterPiece(SquareAt(row, column), CreatePiece(SquareAt(row, column), wanted));
        }
    window_->Unfreeze();
}

// ---- Banner -------------------------------------------------------------------------------------

void GameDisplay::UpdateBanner(const GameSession&) {
    UpdateBanner();
}

int GameDisplay::ChooseBanner() const {
    if (menu_) {
        const int pressed = menu_->PressedButton();
        if (pressed >= 0) return kBannerButtonFirst + pressed;
    }
    if (!session_) return kBannerNone;
    if (session_->winner == 1) return kBannerRedWins;
    if (session_->winner == 2) return kBannerBlueWins;
    const std::uint32_t turn = session_->state.turn;
    if (turn != 1 && turn != 2) return kBannerNone;
    if (options_ && options_->IsComputer(turn)) return kBannerThinking;
    if (!session_->humanMayMove) return kBannerNone;
    return turn == 1 ? kBannerRedTurn : kBannerBlueTurn;
}

void GameDisplay::UpdateBanner() {
    ShowBanner(ChooseBanner());
}

void GameDisplay::ShowBanner(int index) {
    if (!AnimWindow::IsLive(window_)) return;
    bannerIndex_ = index;
    if (!banner_)
        banner_ = new (MM("ANIMOBJECT"))
            AnimObject(window_, static_cast<Graphic*>(nullptr), kBannerLayer);
    Graphic* strip = nullptr;
    const bool tutorial = session_ && session_->tutorialMode;
    if (index >= 0 && index < kStripCount && !tutorial)
        strip = graphics_->strips[LanguageSheet()][index];
    banner_->SetGraphic(strip);
    banner_->MoveTo(layout_->bannerPoint.x, layout_->bannerPoint.y);
}

void GameDisplay::ToggleLanguage() {
    SetLanguage(CurrentLanguageId() == kLangEnglish ? kLangEsperanto : kLangEnglish);
    ShowBanner(bannerIndex_);
    if (menu_) menu_->RefreshLanguage();
}

// ---- Once a frame ---------------------------------------------------------------------------

int GameDisplay::ShownLevel(Square square) const {
    return IsSquare(square) ? glow_[RowOf(square)][ColumnOf(square)].shown : 0;
}

AnimObject* GameDisplay::GlowObject(Square square) const {
    return IsSquare(square) ? glow_[RowOf(square)][ColumnOf(square)].object : nullptr;
}

void GameDisplay::UpdateGlowGrid() {
    for (auto& row : glow_)
        for (GlowCell& cell : row)
            cell.wanted = 0;
    if (sequencer_) {
        // Spots raise their patch to their pattern; traces add on top.
        for (const auto& entry : sequencer_->Spots()) {
            const GLOWSPOT* spot = entry.value;
            if (spot->phase < 0 || !IsSquare(spot->square)) continue;
            const int radius = SpotRadius(spot->kind);
            const int phase = spot->period > 0 ? spot->phase % spot->period : 0;
            for (int dr = -radius; dr <= radius; ++dr)
                for (int dc = -radius; dc <= radius; ++dc) {
                    const int r = RowOf(spot->square) + dr, c = ColumnOf(spot->square) + dc;
                    if (r < 0 || r >= kBoardSize || c < 0 || c >= kBoardSize) continue;
                    int& wanted = glow_[r][c].wanted;
                    wanted = std::max(wanted, SpotLevel(spot->kind, phase, dr, dc));
                }
        }
        for (const auto& entry : sequencer_->Traces()) {
            const GLOWTRACE* trace = entry.value;
            const int length = std::clamp<int>(trace->length, 0, kTraceSlots);
            for (int i = 0; i < length; ++i) {
                const Square square = trace->squares[i];
                if (IsSquare(square))
                    glow_[RowOf(square)][ColumnOf(square)].wanted += TraceLevel(trace->kind, i);
            }
        }
    }
    const int rows = TutorialBoardActive() ? kTutorialRows : kBoardSize;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < kBoardSize; ++column) {
            GlowCell& cell = glow_[row][column];
            const int wanted = std::min(cell.wanted, kMaxGlowLevel);
            if (wanted == cell.shown) continue;
            cell.shown = wanted;
            if (wanted > 0) {
                if (!cell.object) {
                    cell.object =
                        new (MM("ANIMOBJECT")) AnimObject(window_, GlowCallback, kGlowLayer);
                    cell.object->SetData(0, reinterpret_cast<void*>(
                                                static_cast<std::intptr_t>(SquareAt(row, column))));
                    cell.object->SetRect(SquareRect(*layout_, SquareAt(row, column)));
                }
                cell.object->Invalidate();
            } else if (cell.object) {
                MemDelete(cell.object, MM("ANIMOBJECT"));
                cell.object = nullptr;
            }
        }
}

void GameDisplay::CheckAmbientTraces() {
    if (!options_ || !options_->LightTracesOn() || !sequencer_) return;
    if (sequencer_->Traces().size() >= 2) return;
    if (std::rand() % 20 != 0) return;
    if (!session_ || !session_->humanMayMove || session_->tutorialMode) return;
    sequencer_->WanderingTrace();
}

// ---- Drawing ----------------------------------------------------------------------------------

void GameDisplay::DrawBackground(Graphic* background, bool black) {
    if (!AnimWindow::IsLive(window_)) return;
    if (black || !graphics_->background || !background) {
        window_->FillBackground(RGB(0, 0, 0));
        return;
    }
    graphics_->background->DrawTo(background, 0, 0);
    window_->InvalidateAll();
}

void GameDisplay::DrawPiece(AnimObject* piece, const ANIMDRAW* record) const {
    const Square square = PieceValue(piece, kPieceSquare);
    if (!IsSquare(square)) return;
    const CellGeometry& cell = Cell(*layout_, square);
    const PieceBox& box = layout_->box;
    const int colour = PieceValue(piece, kPieceColour);
    const LONG frame = PieceValue(piece, kPieceFrame);
    const bool converting = PieceValue(piece, kPieceConverting) != 0;
    const LONG ox = record->object.left, oy = record->object.top;
    if (colour != 1 && colour != 2) return;
    if (frame < 0 || converting) {
        if (Graphic* image = cell.image[ColourIndex(colour)])
            DrawClipped(image, record, ox + box.hotX - cell.hotX, oy + box.hotY - cell.hotY, 0, 0,
                        image->GetWidth(), image->GetHeight());
    }
    if (frame >= 0 && frame < kExplosionFrames) {
        // A converting piece shows its old colour bursting over the new one.
        const int burst = converting ? static_cast<int>(OtherPlayer(colour)) : colour;
        if (Graphic* image = graphics_->frames[ColourIndex(burst)][frame])
            DrawClipped(image, record, ox + box.hotX - graphics_->frameHot.x,
                        oy + box.hotY - graphics_->frameHot.y, 0, 0, image->GetWidth(),
                        image->GetHeight());
    }
}

void GameDisplay::DrawGlow(AnimObject* glow, const ANIMDRAW* record) const {
    const Square square = static_cast<Square>(reinterpret_cast<std::intptr_t>(glow->GetData(0)));
    const int level = ShownLevel(square);
    if (level < 1 || level > kGlowLevels) return;
    Graphic* image = graphics_->glows[level - 1];
    if (!image) return;
    // While the tutorial's five rows are played, its top row shows the goal squares of row 10.
    Square source = square;
    if (TutorialBoardActive() && RowOf(square) == 4 && ColumnOf(square) >= 4 &&
        ColumnOf(square) <= 6)
        source = SquareAt(10, ColumnOf(square));
    const RECT from = SquareRect(*layout_, source);
    DrawClipped(image, record, record->object.left, record->object.top,
                from.left - layout_->glowOrigin.x, from.top - layout_->glowOrigin.y,
                from.right - from.left, from.bottom - from.top);
}

LRESULT CALLBACK GameDisplay::PieceCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    if (message != ANIMOBJ_DRAW) return 1;
    GamePresentation* presentation = PresentationOf(object->GetWindow());
    if (presentation)
        presentation->display.DrawPiece(object, reinterpret_cast<const ANIMDRAW*>(parameter));
    return 1;
}

LRESULT CALLBACK GameDisplay::GlowCallback(AnimObject* object, DWORD message, LPARAM parameter) {
    if (message != ANIMOBJ_DRAW) return 1;
    GamePresentation* presentation = PresentationOf(object->GetWindow());
    if (presentation)
        presentation->display.DrawGlow(object, reinterpret_cast<const ANIMDRAW*>(parameter));
    return 1;
}

// ---- The presentation of one window -----------------------------------------------------------

GamePresentation::GamePresentation(AnimWindow* w, const GameOptions* o)
    : window(w), options(o), scheduler(w), sounds(&scheduler, o), sequencer(&scheduler, &sounds),
      display(w, &graphics, &layout, o, &sequencer), input(&display, &sequencer, &sounds),
      menu(w, &graphics, &layout),
      tutorial(w, &graphics, &layout, &scheduler, &sequencer, &display, &menu, &input) {
    sequencer.Attach(&display, nullptr);
    sequencer.SetTutorial(&tutorial);
    display.SetMenu(&menu);
    if (AnimWindow::IsLive(window)) {
        window->SetData(kPresentationSlot, this);
        window->AddHook(HumanInput::StylusHook, kHookAll);
        window->AddHook(HumanInput::KeyHook, kHookKeyboard);
    }
}

GamePresentation::~GamePresentation() {
    tutorial.Teardown();
    // The buttons show faces cut from the pictures freed below.
    menu.Delete();
    if (AnimWindow::IsLive(window) && PresentationOf(window) == this) {
        // The window stays: everything of ours goes from it, pending records included.
        window->Freeze();
        sequencer.SetDiscard(true);
        input.Delete();
        scheduler.AdvanceToEnd();
        for (Square square = 0; square < kSquareCount; ++square) {
            if (AnimObject* piece = display.PieceAt(square)) display.DeletePiece(piece);
            if (AnimObject* glow = display.GlowObject(square)) MemDelete(glow, MM("ANIMOBJECT"));
        }
        if (display.BannerObject()) MemDelete(display.BannerObject(), MM("ANIMOBJECT"));
        display.Reset();
        window->SetData(kPresentationSlot, nullptr);
        window->RemoveHook(HumanInput::StylusHook);
        window->RemoveHook(HumanInput::KeyHook);
        window->Unfreeze();
    }
    sounds.Unload();
    sequencer.DeleteAllLights();
    if (Display* screen = GetDisplay(); screen && screen->GetPaletteGroup() == graphics.group)
        screen->SetPaletteGroup(nullptr);
    UnloadGraphics(graphics, layout);
}

void GamePresentation::Attach(GameSession* s, ComputerOpponent* opponent) {
    session = s;
    tutorial.Attach(s, opponent);
    sequencer.Attach(&display, s);
    display.Attach(s);
    input.Attach(s);
}

void GamePresentation::FillNeighbours(SessionNeighbours& n) {
    n.display = &display;
    n.sequences = &sequencer;
    n.timeline = &scheduler;
    n.sounds = &sounds;
    n.tutorial = &tutorial;
}

bool GamePresentation::LoadAssets(HMODULE module) {
    loaded = LoadGraphics(module, graphics, layout);
    sounds.Load(module);
    return loaded;
}

void GamePresentation::Show() {
    if (loaded) {
        if (Display* screen = GetDisplay()) screen->SetPaletteGroup(graphics.group);
    }
    if (AnimWindow::IsLive(window))
        display.DrawBackground(window->GetBackground(), splashRunning || !loaded);
}

bool GamePresentation::Load(HMODULE module) {
    LoadAssets(module);
    Show();
    return loaded;
}

GamePresentation* PresentationOf(AnimWindow* window) {
    if (!AnimWindow::IsLive(window)) return nullptr;
    return static_cast<GamePresentation*>(window->GetData(kPresentationSlot));
}

LRESULT PresentationWindowCallback(AnimWindow* window, DWORD code, LPARAM parameter1,
                                   LPARAM parameter2) {
    GamePresentation* p = PresentationOf(window);
    if (!p) return 1;
    switch (code) {
    case ANIMWND_DESTROY:
        // Every pending event is delivered once, so that its record is freed; only sounds and
        // the computer's turn still act.
        p->sequencer.SetDiscard(true);
        p->input.Delete();
        p->scheduler.AdvanceToEnd();
        p->sequencer.DeleteAllLights();
        // The window deletes the objects that are still on it.
        p->display.Reset();
        p->tutorial.ForgetObjects();
        window->SetData(kPresentationSlot, nullptr);
        break;
    case ANIMWND_BACKGROUND:
        p->display.DrawBackground(reinterpret_cast<Graphic*>(parameter2),
                                  p->splashRunning || !p->loaded);
        break;
    case ANIMWND_PAINTBEGIN:
        if (!p->splashRunning && p->loaded) p->display.CheckAmbientTraces();
        break;
    case ANIMWND_COMPOSE:
        if (p->loaded) p->display.UpdateGlowGrid();
        break;
    case ANIMWND_PAINTEND:
        if (p->session) p->session->BeginComputerTurn();
        break;
    case ANIMWND_EVENT:
        return p->sequencer.Dispatch(static_cast<DWORD>(parameter1), parameter2);
    }
    return 1;
}
