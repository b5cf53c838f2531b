#include "game/presentation/sequencer.h"

#include "engine/cea_object.h"
#include "foundation/memory.h"
#include "game/presentation/display.h"
#include "game/presentation/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr FrameTime kSweepStep = 2;   // frames between two points of a sweep or capture trace
constexpr FrameTime kAmbientStep = 1; // ... of an ambient trace
constexpr int kAmbientMostSteps = 200;

constexpr int kSweepLevels[] = {5, 4, 3, 2, 2, 1, 1};
constexpr int kAmbientLevels[] = {1, 1, 2, 2, 2, 1, 1};
constexpr int kCaptureLevels[] = {5, 5, 4, 4, 3, 3, 2, 2, 1, 1};

// The captured square's ring, phase by phase, 7 x 7 levels.
constexpr const char* kCaptureRing[8][7] = {
    {"0000000", "0000000", "0001000", "0015100", "0001000", "0000000", "0000000"},
    {"0000000", "0000000", "0013100", "0033300", "0013100", "0000000", "0000000"},
    {"0000000", "0001000", "0024200", "0141410", "0024200", "0001000", "0000000"},
    {"0000000", "0012100", "0113110", "0230320", "0113110", "0012100", "0000000"},
    {"0001000", "0023200", "0211120", "1310131", "0211120", "0023200", "0001000"},
    {"0001000", "0112110", "0100010", "1200021", "0100010", "0112110", "0001000"},
    {"0112110", "1100011", "1000001", "2000002", "1000001", "1100011", "0112110"},
    {"0100010", "1000001", "0000000", "0000000", "0000000", "1000001", "0100010"},
};
constexpr int kTargetCentre[4] = {3, 4, 5, 4};

int Sign(int v) {
    return (v > 0) - (v < 0);
}

template <class T>
T* NewRecord(const char* label) {
    return static_cast<T*>(MemAlloc(sizeof(T), label, __FILE__, __LINE__));
}

// The label each record type is allocated under.
template <class T>
constexpr const char* kLabel = nullptr;
template <>
constexpr const char* kLabel<SEQDATA_MOVETRACE> = "SEQDATA_MOVETRACE";
template <>
constexpr const char* kLabel<SEQDATA_EXPLODEPIECE> = "SEQDATA_EXPLODEPIECE";
template <>
constexpr const char* kLabel<SEQDATA_CREATEPIECE> = "SEQDATA_CREATEPIECE";
template <>
constexpr const char* kLabel<SEQDATA_MOVEPIECE> = "SEQDATA_MOVEPIECE";

} // namespace

// ---- Light levels ---------------------------------------------------------------------------

int TraceLevel(int kind, int slot) {
    if (slot < 0) return 0;
    switch (kind) {
    case kTraceSweep:
        return slot < 7 ? kSweepLevels[slot] : 0;
    case kTraceAmbient:
        return slot < 7 ? kAmbientLevels[slot] : 0;
    case kTraceCapture:
        return slot < 10 ? kCaptureLevels[slot] : 0;
    }
    return 0;
}

int SpotRadius(int kind) {
    return kind == kSpotCapture ? 3 : 1;
}

int SpotLevel(int kind, int phase, int dRow, int dColumn) {
    const int radius = SpotRadius(kind);
    if (phase < 0 || std::abs(dRow) > radius || std::abs(dColumn) > radius) return 0;
    if (kind == kSpotCapture) return kCaptureRing[phase % 8][dRow + 3][dColumn + 3] - '0';
    return dRow == 0 && dColumn == 0 ? kTargetCentre[phase % 4] : 1;
}

double EasedFraction(int step, LONG dx, LONG dy) {
    constexpr int n = 11, h = n / 2;
    const int u = step + 1;
    const int t = u < h ? u + h : u - h;
    double d = std::trunc(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    if (d < 2) d = 1;
    double q = (2 * d / (n * n) * t * t - 2 * d / n * t + d / 2) / d;
    if (u >= h) q = 1 - q;
    return q;
}

// ---- Scheduler ------------------------------------------------------------------------------

bool EventScheduler::Add(FrameTime frame, DWORD code, LPARAM data) {
    if (!AnimWindow::IsLive(window_)) return false;
    // An event behind the current frame would never come due, and its record would never be
    // freed.
    frame = std::max<FrameTime>(frame, window_->GetCurrentFrame());
    return window_->AddEvent(frame, code, data) != FALSE;
}

FrameTime EventScheduler::AddAtEnd(DWORD code, LPARAM data) {
    const FrameTime frame = EndOfTimeline();
    return Add(frame, code, data) ? frame : kNoTime;
}

void EventScheduler::Remove(DWORD code, LPARAM data) {
    if (AnimWindow::IsLive(window_)) window_->RemoveEvents(code, data);
}

FrameTime EventScheduler::Now() const {
    return AnimWindow::IsLive(window_) ? window_->GetCurrentFrame() : 0;
}

FrameTime EventScheduler::EndOfTimeline() const {
    return AnimWindow::IsLive(window_) ? window_->GetEndFrame() : 0;
}

void EventScheduler::Freeze() {
    if (AnimWindow::IsLive(window_)) window_->Freeze();
}

void EventScheduler::Unfreeze() {
    if (AnimWindow::IsLive(window_)) window_->Unfreeze();
}

void EventScheduler::AdvanceToEnd() {
    // Events performed now schedule further ones (a created piece assembles over the next 23
    // frames); they are carried out too, so that nothing still refers to a piece the caller is
    // about to replace. A repeating target spot never ends, hence the bound.
    for (int pass = 0; pass < 32 && AnimWindow::IsLive(window_); ++pass) {
        if (window_->GetCurrentFrame() >= window_->GetEndFrame()) break;
        window_->AdvanceFrame(kAllFrames);
    }
}

// ---- Registries -----------------------------------------------------------------------------

namespace {

template <class T>
DWORD NextNumber(const cetl::map<DWORD, T*>& registry) {
    if (registry.empty()) return 0;
    auto last = registry.end();
    --last;
    return last->key + 1;
}

template <class T>
bool Unregister(cetl::map<DWORD, T*>& registry, const T* object) {
    for (auto it = registry.begin(); it != registry.end(); ++it)
        if (it->value == object) {
            registry.remove(it);
            return true;
        }
    return false;
}

} // namespace

GLOWTRACE* Sequencer::NewTrace(int kind) {
    auto* trace = NewRecord<GLOWTRACE>("GLOWTRACE");
    if (!trace) return nullptr;
    trace->kind = kind;
    trace->length = kind == kTraceCapture ? 10 : 7;
    for (std::int32_t& square : trace->squares)
        square = kNoSquare;
    traces_.insert(NextNumber(traces_), trace);
    return trace;
}

GLOWSPOT* Sequencer::NewSpot(int kind, Square square) {
    auto* spot = NewRecord<GLOWSPOT>("GLOWSPOT");
    if (!spot) return nullptr;
    spot->kind = kind;
    spot->square = square;
    spot->period = kind == kSpotCapture ? 8 : 4;
    spot->repeat = kind == kSpotCapture ? 0 : 1;
    spot->phase = -1;
    spots_.insert(NextNumber(spots_), spot);
    return spot;
}

bool Sequencer::IsRegistered(const GLOWSPOT* spot) const {
    for (const auto& entry : spots_)
        if (entry.value == spot) return true;
    return false;
}

void Sequencer::DeleteTrace(GLOWTRACE* trace) {
    if (Unregister(traces_, trace)) MemFree(trace, MM("GLOWTRACE"));
}

void Sequencer::DeleteSpot(GLOWSPOT* spot) {
    if (Unregister(spots_, spot)) MemFree(spot, MM("GLOWSPOT"));
}

void Sequencer::DeleteAllLights() {
    for (auto& entry : traces_)
        MemFree(entry.value, MM("GLOWTRACE"));
    traces_.clear();
    for (auto& entry : spots_)
        MemFree(entry.value, MM("GLOWSPOT"));
    spots_.clear();
}

// ---- Builders -------------------------------------------------------------------------------

FrameTime Sequencer::Start(FrameTime start) const {
    return start == kNoTime ? scheduler_->EndOfTimeline() : start;
}

template <class T>
bool Sequencer::Post(FrameTime frame, DWORD code, const T& value) {
    T* record = NewRecord<T>(kLabel<T>);
    if (!record) return false;
    *record = value;
    if (scheduler_->Add(frame, code, reinterpret_cast<LPARAM>(record))) return true;
    MemFree(record, MM(kLabel<T>));
    return false;
}

FrameTime Sequencer::AddTracePoint(GLOWTRACE* trace, int column, int row, FrameTime frame,
                                   FrameTime step) {
    if (trace) Post(frame, kEventTraceStep, SEQDATA_MOVETRACE{trace, SquareAt(row, column)});
    return frame + step;
}

FrameTime Sequencer::EndTrace(GLOWTRACE* trace, FrameTime frame) {
    if (!trace) return frame + 1;
    for (int i = 0; i < trace->length; ++i)
        Post(frame++, kEventTraceStep, SEQDATA_MOVETRACE{trace, kNoSquare});
    scheduler_->Add(frame, kEventDeleteTrace, reinterpret_cast<LPARAM>(trace));
    return frame + 1;
}

void Sequencer::StartSpot(GLOWSPOT* spot, FrameTime frame) {
    if (!spot) return;
    if (frame == kNoTime) frame = scheduler_->Now() + 1;
    scheduler_->Add(frame, kEventSpotStep, reinterpret_cast<LPARAM>(spot));
}

void Sequencer::StopSpot(GLOWSPOT* spot) {
    if (!IsRegistered(spot) || spot->phase == -2) return;
    spot->phase = -2;
    scheduler_->Remove(kEventSpotStep, reinterpret_cast<LPARAM>(spot));
    scheduler_->Add(scheduler_->Now() + 1, kEventDeleteSpot, reinterpret_cast<LPARAM>(spot));
}

FrameTime Sequencer::MovePiece(Square from, Square to, FrameTime start) {
    const FrameTime f = Start(start);
    AnimObject* piece = display_ ? display_->PieceAt(from) : nullptr;
    if (!piece || !IsSquare(to)) return f + 10;
    for (int step = 0; step < 10; ++step)
        Post(f + static_cast<FrameTime>(step), kEventMoveStep,
             SEQDATA_MOVEPIECE{piece, step, from, to});
    return f + 10;
}

FrameTime Sequencer::Convert(AnimObject* piece, FrameTime start) {
    for (int frame = 0; frame < kExplosionFrames; ++frame)
        Post(start + static_cast<FrameTime>(frame), kEventExplosionFrame,
             SEQDATA_EXPLODEPIECE{piece, frame, 1});
    scheduler_->Add(start + kExplosionFrames, kEventExplosionStays,
                    reinterpret_cast<LPARAM>(piece));
    return start + kExplosionFrames + 1;
}

FrameTime Sequencer::AnimateCapture(Square corner, Square captured, FrameTime start) {
    const FrameTime f = Start(start);
    if (!IsSquare(corner) || !IsSquare(captured)) return f;
    const int cornerRow = RowOf(corner), cornerColumn = ColumnOf(corner);
    const int row = RowOf(captured), column = ColumnOf(captured);
    // Two traces meet on the captured square: one along the corner's row first, the other
    // along its column first. Each point is the square being left.
    FrameTime e = f;
    for (int leg = 0; leg < 2; ++leg) {
        GLOWTRACE* trace = NewTrace(kTraceCapture);
        if (sounds_) sounds_->ScheduleSound(kSoundTrace, f);
        FrameTime t = f;
        int r = cornerRow, c = cornerColumn;
        const bool rowFirst = leg == 0;
        for (int part = 0; part < 2; ++part) {
            if ((part == 0) == rowFirst) {
                for (; c != column; c += Sign(column - c))
                    t = AddTracePoint(trace, c, r, t, kSweepStep);
            } else {
                for (; r != row; r += Sign(row - r))
                    t = AddTracePoint(trace, c, r, t, kSweepStep);
            }
        }
        EndTrace(trace, t);
        e = t;
    }
    StartSpot(NewSpot(kSpotCapture, captured), e);
    if (sounds_) sounds_->ScheduleSound(kSoundExplosion, e);
    AnimObject* piece = display_ ? display_->PieceAt(captured) : nullptr;
    return piece ? Convert(piece, e) : e + 1;
}

FrameTime Sequencer::RemovePiece(AnimObject* piece, FrameTime start) {
    const FrameTime f = Start(start);
    if (!piece) return f + 1;
    if (sounds_) sounds_->ScheduleSound(kSoundExplosion, f + 1);
    for (int frame = 0; frame < kExplosionFrames; ++frame)
        Post(f + 1 + static_cast<FrameTime>(frame), kEventExplosionFrame,
             SEQDATA_EXPLODEPIECE{piece, frame, 0});
    scheduler_->Add(f + 1 + kExplosionFrames, kEventExplosionGoes, reinterpret_cast<LPARAM>(piece));
    return f + 1;
}

FrameTime Sequencer::ClearBoard(FrameTime start) {
    const FrameTime f = Start(start);
    if (sounds_) sounds_->ScheduleSound(kSoundTrace, f);
    for (int column = 0; column < kBoardSize; ++column) {
        GLOWTRACE* trace = NewTrace(kTraceSweep);
        FrameTime t = f;
        for (int row = kBoardSize - 1; row >= 0; --row) {
            if (AnimObject* piece = display_ ? display_->PieceAt(SquareAt(row, column)) : nullptr)
                RemovePiece(piece, t);
            t = AddTracePoint(trace, column, row, t, kSweepStep);
        }
        EndTrace(trace, t);
    }
    return scheduler_->EndOfTimeline();
}

FrameTime Sequencer::SetUpBoard(const GameState& state, FrameTime start) {
    const FrameTime f = Start(start);
    if (sounds_) sounds_->ScheduleSound(kSoundTrace, f);
    for (int row = 0; row < kBoardSize; ++row) {
        // Red sweeps in from the right, blue from the left.
        for (int player = 1; player <= 2; ++player) {
            const RowMask mask = state.sides[player - 1].rows[row] & kFullRow;
            if (!mask) continue;
            GLOWTRACE* trace = NewTrace(kTraceSweep);
            FrameTime t = f;
            for (int i = 0; i < kBoardSize; ++i) {
                const int column = player == 1 ? kBoardSize - 1 - i : i;
                if (mask & (1u << column))
                    Post(t, kEventCreatePiece, SEQDATA_CREATEPIECE{SquareAt(row, column), player});
                t = AddTracePoint(trace, column, row, t, kSweepStep);
            }
            EndTrace(trace, t);
        }
    }
    return scheduler_->EndOfTimeline();
}

FrameTime Sequencer::ShowPositionChange(const RowMask target[5][2], FrameTime start) {
    const FrameTime f = Start(start);
    FrameTime result = f;
    bool sounded = false;
    for (int row = 0; row < kTutorialRows; ++row) {
        const RowMask red = target[kTutorialRows - 1 - row][0];
        const RowMask blue = target[kTutorialRows - 1 - row][1];
        GLOWTRACE* trace = nullptr;
        FrameTime t = f;
        for (int column = 0; column < kBoardSize; ++column, t += kSweepStep) {
            const Square square = SquareAt(row, column);
            AnimObject* piece = display_ ? display_->PieceAt(square) : nullptr;
            const int shown = piece ? PieceValue(piece, kPieceColour) : 0;
            const int wanted = (red >> column) & 1 ? 1 : (blue >> column) & 1 ? 2 : 0;
            if (shown != wanted && !trace) {
                // The row's sweep starts at the first change, lighting the columns before it.
                trace = NewTrace(kTraceSweep);
                if (!sounded && sounds_) sounds_->ScheduleSound(kSoundTrace, f);
                sounded = true;
                for (int before = 0; before < column; ++before)
                    AddTracePoint(trace, before, row, f + kSweepStep * before, kSweepStep);
            }
            if (trace) AddTracePoint(trace, column, row, t, kSweepStep);
            if (shown == wanted) continue;
            if (wanted == 0) {
                result = std::max(result, RemovePiece(piece, t));
            } else if (shown == 0) {
                Post(t, kEventCreatePiece, SEQDATA_CREATEPIECE{square, wanted});
                result = std::max<FrameTime>(result, t + kExplosionFrames + 1);
            } else {
                result = std::max(result, Convert(piece, t));
            }
        }
        if (trace) result = std::max(result, EndTrace(trace, t));
    }
    return result;
}

void Sequencer::WanderingTrace() {
    GLOWTRACE* trace = NewTrace(kTraceAmbient);
    // Directions: 0 rightward, 1 upward, 2 leftward, 3 downward.
    int direction = std::rand() % 4;
    const int other = std::rand() % kBoardSize;
    int row = 0, column = 0;
    switch (direction) {
    case 0:
        row = other, column = 0;
        break;
    case 1:
        row = 0, column = other;
        break;
    case 2:
        row = other, column = kBoardSize - 1;
        break;
    default:
        row = kBoardSize - 1, column = other;
        break;
    }
    static constexpr int kRowStep[4] = {0, 1, 0, -1};
    static constexpr int kColumnStep[4] = {1, 0, -1, 0};
    FrameTime t = scheduler_->Now() + 1;
    for (int total = 0; total < kAmbientMostSteps;) {
        const int n = std::rand() % kBoardSize + 2;
        for (int i = 0; i < n; ++i, ++total) {
            t = AddTracePoint(trace, column, row, t, kAmbientStep);
            row += kRowStep[direction];
            column += kColumnStep[direction];
            if (row < 0 || row >= kBoardSize || column < 0 || column >= kBoardSize) {
                EndTrace(trace, t);
                return;
            }
        }
        int turn;
        do {
            turn = std::rand() % 4;
        } while (turn == (direction + 2) % 4);
        direction = turn;
    }
    EndTrace(trace, t);
}

// ---- Dispatcher -----------------------------------------------------------------------------

void Sequencer::StepTrace(SEQDATA_MOVETRACE* record) {
    GLOWTRACE* trace = record->trace;
    const int length = std::clamp<int>(trace->length, 1, kTraceSlots);
    for (int i = length - 1; i > 0; --i)
        trace->squares[i] = trace->squares[i - 1];
    trace->squares[0] = record->square;
}

void Sequencer::StepSpot(GLOWSPOT* spot) {
    if (!IsRegistered(spot) || spot->phase == -2) return;
    ++spot->phase;
    if (spot->phase < spot->period || spot->repeat) {
        const FrameTime perPhase = spot->kind == kSpotCapture ? 2 : 5;
        scheduler_->Add(scheduler_->Now() + perPhase, kEventSpotStep,
                        reinterpret_cast<LPARAM>(spot));
    } else {
        StopSpot(spot);
    }
}

void Sequencer::CreatePiece(const SEQDATA_CREATEPIECE* record) {
    if (!display_ || !IsSquare(record->square)) return;
    AnimObject* piece = display_->CreatePiece(record->square, record->colour);
    if (!piece) return;
    // The piece assembles: its explosion runs backwards, one layer in front of its square's.
    piece->SetLayer(PieceLayer(record->square) - 1);
    display_->SetPieceFrame(piece, kExplosionFrames - 1, false);
    display_->EnterPiece(record->square, piece);
    const FrameTime now = scheduler_->Now();
    for (int k = 1; k < kExplosionFrames; ++k)
        Post(now + static_cast<FrameTime>(k), kEventExplosionFrame,
             SEQDATA_EXPLODEPIECE{piece, kExplosionFrames - 1 - k, 0});
    if (sounds_) sounds_->ScheduleSound(kSoundPutDown, now + kExplosionFrames);
    scheduler_->Add(now + kExplosionFrames, kEventExplosionStays, reinterpret_cast<LPARAM>(piece));
}

void Sequencer::StepPiece(const SEQDATA_MOVEPIECE* record) {
    if (!display_ || !IsSquare(record->from) || !IsSquare(record->to)) return;
    AnimObject* piece = record->piece;
    if (record->step >= 9) {
        display_->MovePieceReference(record->from, record->to);
        display_->SetPieceSquare(piece, record->to);
        display_->PlacePiece(piece);
        return;
    }
    const RECT p = PieceRect(display_->Layout(), record->from);
    const RECT q = PieceRect(display_->Layout(), record->to);
    const LONG dx = q.left - p.left, dy = q.top - p.top;
    const double fraction = EasedFraction(record->step, dx, dy);
    piece->MoveTo(p.left + static_cast<LONG>(std::trunc(dx * fraction)),
                  p.top + static_cast<LONG>(std::trunc(dy * fraction)));
}

LRESULT Sequencer::Dispatch(DWORD code, LPARAM data) {
    void* record = reinterpret_cast<void*>(data);
    if (discard_) {
        // Closing: nothing more is shown, but the sounds and the computer's turn still act and
        // every record is freed.
        switch (code) {
        case kEventComputerTurn:
            if (session_) session_->MarkComputerTurn();
            break;
        case kEventPlaySound:
            if (sounds_) sounds_->PlayNow(static_cast<int>(data));
            break;
        case kEventTraceStep:
            MemFree(record, MM("SEQDATA_MOVETRACE"));
            break;
        case kEventCreatePiece:
            MemFree(record, MM("SEQDATA_CREATEPIECE"));
            break;
        case kEventExplosionFrame:
            MemFree(record, MM("SEQDATA_EXPLODEPIECE"));
            break;
        case kEventMoveStep:
            MemFree(record, MM("SEQDATA_MOVEPIECE"));
            break;
        }
        return 1;
    }
    switch (code) {
    case kEventHumanTurn:
        if (session_) session_->BeginHumanTurn();
        break;
    case kEventComputerTurn:
        if (session_) session_->MarkComputerTurn();
        break;
    case kEventPlaySound:
        if (sounds_) sounds_->PlayNow(static_cast<int>(data));
        break;
    case kEventTraceStep:
        StepTrace(static_cast<SEQDATA_MOVETRACE*>(record));
        MemFree(record, MM("SEQDATA_MOVETRACE"));
        break;
    case kEventSpotStep:
        StepSpot(static_cast<GLOWSPOT*>(record));
        break;
    case kEventDeleteTrace:
        DeleteTrace(static_cast<GLOWTRACE*>(record));
        break;
    case kEventDeleteSpot:
        DeleteSpot(static_cast<GLOWSPOT*>(record));
        break;
    case kEventCreatePiece:
        CreatePiece(static_cast<SEQDATA_CREATEPIECE*>(record));
        MemFree(record, MM("SEQDATA_CREATEPIECE"));
        break;
    case kEventExplosionFrame: {
        auto* explode = static_cast<SEQDATA_EXPLODEPIECE*>(record);
        if (display_) {
            AnimObject* piece = explode->piece;
            // At the first frame of a conversion the piece takes the captor's colour; the old
            // colour bursts over it.
            if (explode->conversion && explode->frame == 0)
                SetPieceValue(piece, kPieceColour, OtherPlayer(PieceValue(piece, kPieceColour)));
            display_->SetPieceFrame(piece, explode->frame, explode->conversion != 0);
        }
        MemFree(record, MM("SEQDATA_EXPLODEPIECE"));
        break;
    }
    case kEventExplosionStays: {
        auto* piece = static_cast<AnimObject*>(record);
        if (display_) {
            const Square square = PieceValue(piece, kPieceSquare);
            display_->SetPieceFrame(piece, -1, false);
            if (IsSquare(square)) {
                if (!display_->PieceAt(square)) display_->EnterPiece(square, piece);
                piece->SetLayer(PieceLayer(square));
            }
            piece->Invalidate();
        }
        break;
    }
    case kEventExplosionGoes:
        if (display_) display_->DeletePiece(static_cast<AnimObject*>(record));
        break;
    case kEventMoveStep:
        StepPiece(static_cast<SEQDATA_MOVEPIECE*>(record));
        MemFree(record, MM("SEQDATA_MOVEPIECE"));
        break;
    case kEventTutorialPanel:
        if (tutorial_) tutorial_->OnPanelOffset(static_cast<LONG>(data));
        break;
    case kEventTutorialEnds:
        if (tutorial_) tutorial_->OnTutorialEnds();
        break;
    case kEventTutorialPage:
        if (tutorial_) tutorial_->OnShowPage(static_cast<int>(data));
        break;
    case kEventTutorialCheck:
        if (tutorial_) tutorial_->OnCheckProgress();
        break;
    }
    return 1;
}
