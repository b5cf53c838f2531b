// The game in progress: turns a chosen move into a new position, hands the turn over by
// scheduling a timeline event, starts the computer opponent, records moves and saves after
// every turn. Runs on the main thread. The neighbours it drives are reached through one narrow
// interface each, so that each can be filled (or faked) on its own.
#pragma once

#include <cstdint>

#include "game/rules/board.h"
#include "game/rules/moves.h"

class GameSession;

// Timeline event codes the session schedules or handles.
constexpr std::uint32_t kEventHumanTurn = 0;
constexpr std::uint32_t kEventComputerTurn = 1;
constexpr std::uint32_t kEventTutorialCheck = 16;

// Sound resource ids the session plays.
constexpr int kSoundSlide = 1042;
constexpr int kSoundComputerWins = 1031;
constexpr int kSoundHumanWins = 1037;

// Window message carrying the computer's answer: lParam = from | (to << 16).
constexpr std::uint32_t WM_COMPUTERMOVE = 1124;

// Who plays which side, read from the settings record each time it matters.
class PlayerSettings {
public:
    virtual bool IsComputer(std::uint32_t player) const = 0;

protected:
    ~PlayerSettings() = default;
};

// The board display.
class BoardDisplay {
public:
    // Redraws the status banner from the session's winner, turn and humanMayMove.
    virtual void UpdateBanner(const GameSession& session) = 0;
    // True when any piece is shown on the board.
    virtual bool AnyPieceShown() const = 0;
    // Rebuilds the shown pieces from state without animation.
    virtual void SynchronisePieces(const GameState& state) = 0;

protected:
    ~BoardDisplay() = default;
};

// The animation sequence builders; each returns the frame after its last event.
class SequenceBuilder : public CaptureAnimator {
public:
    virtual FrameTime MovePiece(Square from, Square to, FrameTime start) = 0;
    virtual FrameTime ClearBoard(FrameTime start) = 0;
    virtual FrameTime SetUpBoard(const GameState& state, FrameTime start) = 0;

protected:
    ~SequenceBuilder() = default;
};

// The animation window's timeline of frames.
class Timeline {
public:
    virtual FrameTime Now() const = 0;
    // One past the latest scheduled event.
    virtual FrameTime EndOfTimeline() const = 0;
    virtual void Schedule(FrameTime frame, std::uint32_t code, std::uint32_t data) = 0;
    virtual void Cancel(std::uint32_t code) = 0;
    virtual void Freeze() = 0;
    virtual void Unfreeze() = 0;
    // Carries out every pending event at once.
    virtual void AdvanceToEnd() = 0;

protected:
    ~Timeline() = default;
};

class SoundScheduler {
public:
    // kNoTime means one frame past the end of the timeline.
    virtual void ScheduleSound(int sound, FrameTime frame) = 0;

protected:
    ~SoundScheduler() = default;
};

class MoveRecorder {
public:
    virtual void AppendMove(const MOVE& move) = 0;
    virtual void ClearMoves() = 0;

protected:
    ~MoveRecorder() = default;
};

class TutorialGuide {
public:
    // True when the current lesson page allows the move.
    virtual bool MoveCheck(const MOVE& move) = 0;

protected:
    ~TutorialGuide() = default;
};

class ComputerOpponent {
public:
    // Starts a search for the side to move; the answer comes back as WM_COMPUTERMOVE.
    virtual void StartSearch(const GameState& state) = 0;
    // A running search then reports nothing, and an answer already on its way becomes stale.
    virtual void RequestCancel() = 0;
    // Called with each WM_COMPUTERMOVE lParam: true only for the answer of the latest search,
    // once; false for an answer made stale by a cancel or by a newer search.
    virtual bool TakeAnswer(std::int64_t lParam) = 0;

protected:
    ~ComputerOpponent() = default;
};

// The saved game and its move history in persistent storage.
class GameStore {
public:
    virtual void Save(const GameSession& session) = 0;
    // Loads an unfinished saved game into state (and the move history); false when there is
    // none to resume.
    virtual bool Load(GameState& state) = 0;

protected:
    ~GameStore() = default;
};

// Every neighbour must be set before the session is used, except the tutorial: it is consulted
// only in tutorial mode, and without one every move is allowed there.
struct SessionNeighbours {
    PlayerSettings* settings = nullptr;
    BoardDisplay* display = nullptr;
    SequenceBuilder* sequences = nullptr;
    Timeline* timeline = nullptr;
    SoundScheduler* sounds = nullptr;
    MoveRecorder* history = nullptr;
    TutorialGuide* tutorial = nullptr;
    ComputerOpponent* opponent = nullptr;
    GameStore* store = nullptr;
};

class GameSession {
public:
    explicit GameSession(const SessionNeighbours& neighbours);

    std::uint32_t winner = 0;
    GameState state{};
    MoveList legalMoves;
    bool humanMayMove = false;
    bool computerTurnPending = false;
    bool tutorialMode = false;

    void NewGame();
    bool RestoreGame();
    void SaveGame();
    // Plays a move for the side to move without checking it. Returns false only when the
    // tutorial refuses it.
    bool MakeMove(Square from, Square to, bool animate);
    void EndTurn(FrameTime time);
    void BeginHumanTurn();
    void MarkComputerTurn();
    // Called after each painted frame; acts only when a computer turn is pending.
    void BeginComputerTurn();
    // The handler of WM_COMPUTERMOVE. Only the current answer is played, and only a move of
    // legalMoves: an answer that raced a new game or an undo must not touch the new position.
    void OnComputerMove(std::int64_t lParam);

private:
    bool IsComputer(std::uint32_t player) const;
    void ResetDisplayedBoard();

    SessionNeighbours n_;
};
