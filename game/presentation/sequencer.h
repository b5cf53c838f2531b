// Animation sequences: everything that moves on the board is laid out in advance as timed
// events on the animation window's timeline, and carried out by the dispatcher when its frame
// comes. The builders return at once with the frame after their last event; the light traces
// and light spots they create are summed into the board's glow grid every frame.
#pragma once

#include "engine/cea_window.h"
#include "foundation/cetl.h"
#include "game/rules/session.h"

class AnimObject;
class GameDisplay;
class GameSounds;

// The game's event codes (0, 1 and 16 are the session's, in session.h).
enum : std::uint32_t {
    kEventPlaySound = 2,       // data: sound id
    kEventTraceStep = 4,       // SEQDATA_MOVETRACE
    kEventSpotStep = 5,        // GLOWSPOT
    kEventDeleteTrace = 6,     // GLOWTRACE
    kEventDeleteSpot = 7,      // GLOWSPOT
    kEventCreatePiece = 8,     // SEQDATA_CREATEPIECE
    kEventExplosionFrame = 9,  // SEQDATA_EXPLODEPIECE
    kEventExplosionStays = 10, // piece object
    kEventExplosionGoes = 11,  // piece object
    kEventMoveStep = 12,       // SEQDATA_MOVEPIECE
    kEventTutorialPanel = 13,  // panel offset
    kEventTutorialEnds = 14,
    kEventTutorialPage = 15, // page
};

constexpr int kTraceSlots = 20;
// Trace kinds: board sweeps, ambient wandering traces, capture traces.
enum TraceKind { kTraceSweep = 0, kTraceAmbient = 1, kTraceCapture = 2 };
// Spot kinds: a picked-up piece's legal target, a captured square.
enum SpotKind { kSpotTarget = 0, kSpotCapture = 2 };

// A light trace: slot 0 is its head, -1 an empty slot.
struct GLOWTRACE {
    std::int32_t kind;
    std::int32_t length;
    std::int32_t squares[kTraceSlots];
};

// A light spot; phase -1 before its first step, -2 once stopped.
struct GLOWSPOT {
    std::int32_t kind;
    std::int32_t square;
    std::int32_t period;
    BYTE repeat;
    std::int32_t phase;
};

struct SEQDATA_MOVETRACE {
    GLOWTRACE* trace;
    Square square; // the trace's new head, or -1: the tail moves on
};
struct SEQDATA_EXPLODEPIECE {
    AnimObject* piece;
    std::int32_t frame; // 0..22
    BYTE conversion;
};
struct SEQDATA_CREATEPIECE {
    Square square;
    std::int32_t colour; // player 1 red, player 2 blue
};
struct SEQDATA_MOVEPIECE {
    AnimObject* piece;
    std::int32_t step; // 0..9
    Square from;
    Square to;
};

// Brightness a trace adds to the square in slot i, and the patterns of the spots.
int TraceLevel(int kind, int slot);
int SpotLevel(int kind, int phase, int dRow, int dColumn);
int SpotRadius(int kind);
// Fraction of the way a moving piece has gone at step 0..8 (slow, fast, slow) over a path of
// dx, dy pixels.
double EasedFraction(int step, LONG dx, LONG dy);

// The thin layer over the animation window's timeline. It is also the session's timeline.
class EventScheduler : public Timeline {
public:
    explicit EventScheduler(AnimWindow* window) : window_(window) {}

    AnimWindow* Window() const { return window_; }
    // False when the event could not be scheduled (the caller still owns its data).
    bool Add(FrameTime frame, DWORD code, LPARAM data);
    // Schedules at the end of the timeline; returns that frame (kNoTime on failure).
    FrameTime AddAtEnd(DWORD code, LPARAM data);
    // Every pending game event of the code, or only those with that data.
    void Remove(DWORD code, LPARAM data);

    // Timeline, for the session and the history.
    FrameTime Now() const override;
    FrameTime EndOfTimeline() const override;
    void Schedule(FrameTime frame, std::uint32_t code, std::uint32_t data) override {
        Add(frame, code, static_cast<LPARAM>(data));
    }
    void Cancel(std::uint32_t code) override { Remove(code, 0); }
    void Cancel(std::uint32_t code, LPARAM data) { Remove(code, data); }
    void Freeze() override;
    void Unfreeze() override;
    void AdvanceToEnd() override;

private:
    AnimWindow* window_;
};

// Who performs the tutorial's events (codes 13 to 16).
class TutorialEvents {
public:
    virtual void OnPanelOffset(LONG offset) = 0;
    virtual void OnTutorialEnds() = 0;
    virtual void OnShowPage(int page) = 0;
    virtual void OnCheckProgress() = 0;

protected:
    ~TutorialEvents() = default;
};

class Sequencer : public SequenceBuilder {
public:
    Sequencer(EventScheduler* scheduler, GameSounds* sounds)
        : scheduler_(scheduler), sounds_(sounds) {}
    ~Sequencer() { DeleteAllLights(); }
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    void Attach(GameDisplay* display, GameSession* session) {
        display_ = display;
        session_ = session;
    }
    void SetTutorial(TutorialEvents* tutorial) { tutorial_ = tutorial; }

    // ---- Light traces and spots, registered from creation to their final event ----
    GLOWTRACE* NewTrace(int kind);
    GLOWSPOT* NewSpot(int kind, Square square);
    const cetl::map<DWORD, GLOWTRACE*>& Traces() const { return traces_; }
    const cetl::map<DWORD, GLOWSPOT*>& Spots() const { return spots_; }
    bool IsRegistered(const GLOWSPOT* spot) const;
    // At shutdown: every live trace and spot is freed.
    void DeleteAllLights();

    // ---- Builders; each returns the frame after its last event ----
    FrameTime AddTracePoint(GLOWTRACE* trace, int column, int row, FrameTime frame, FrameTime step);
    FrameTime EndTrace(GLOWTRACE* trace, FrameTime frame);
    // kNoTime: the next frame.
    void StartSpot(GLOWSPOT* spot, FrameTime frame = kNoTime);
    void StopSpot(GLOWSPOT* spot);
    FrameTime MovePiece(Square from, Square to, FrameTime start) override;
    FrameTime AnimateCapture(Square corner, Square captured, FrameTime start) override;
    FrameTime RemovePiece(AnimObject* piece, FrameTime start);
    FrameTime ClearBoard(FrameTime start) override;
    FrameTime SetUpBoard(const GameState& state, FrameTime start) override;
    // The tutorial's five rows, top row first, each {player 1, player 2}.
    FrameTime ShowPositionChange(const RowMask target[5][2], FrameTime start);
    void WanderingTrace();

    // ---- The dispatcher ----
    // Performs a due event and frees its record; while discarding only codes 1 and 2 act.
    // Always 1, so the frame loop never stops on a game event.
    LRESULT Dispatch(DWORD code, LPARAM data);
    void SetDiscard(bool discard) { discard_ = discard; }
    bool Discarding() const { return discard_; }

private:
    FrameTime Start(FrameTime start) const;
    FrameTime Convert(AnimObject* piece, FrameTime start);
    // Schedules a copy of the record, freed again when it cannot be scheduled.
    template <class T>
    bool Post(FrameTime frame, DWORD code, const T& value);
    void StepTrace(SEQDATA_MOVETRACE* record);
    void StepSpot(GLOWSPOT* spot);
    void CreatePiece(const SEQDATA_CREATEPIECE* record);
    void StepPiece(const SEQDATA_MOVEPIECE* record);
    void DeleteTrace(GLOWTRACE* trace);
    void DeleteSpot(GLOWSPOT* spot);

    EventScheduler* scheduler_;
    GameSounds* sounds_;
    GameDisplay* display_ = nullptr;
    GameSession* session_ = nullptr;
    TutorialEvents* tutorial_ = nullptr;
    bool discard_ = false;
    // Creation number -> object. A plain ordered list: never more than a few dozen, and no
    // random levels drawn from the rand() the ambient traces use.
    cetl::map<DWORD, GLOWTRACE*> traces_{0.0, 0};
    cetl::map<DWORD, GLOWSPOT*> spots_{0.0, 0};
};
