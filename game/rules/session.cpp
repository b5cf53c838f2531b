#include "game/rules/session.h"

GameSession::GameSession(const SessionNeighbours& neighbours) : n_(neighbours) {}

bool GameSession::IsComputer(std::uint32_t player) const {
    return n_.settings->IsComputer(player);
}

void GameSession::NewGame() {
    n_.opponent->RequestCancel();
    humanMayMove = false;
    // A computer turn marked in the old game must not start a search in the new one.
    computerTurnPending = false;
    winner = 0;
    InitStartPosition(state);
    legalMoves.Clear();
    n_.history->ClearMoves();
    n_.display->UpdateBanner(*this);
    n_.timeline->Cancel(kEventHumanTurn);
    n_.timeline->Cancel(kEventComputerTurn);
    n_.timeline->AdvanceToEnd();
    ResetDisplayedBoard();
}

bool GameSession::RestoreGame() {
    GameState loaded{};
    if (!n_.store->Load(loaded)) return false;
    winner = 0;
    state = loaded;
    humanMayMove = false;
    computerTurnPending = false;
    legalMoves.Clear();
    n_.display->UpdateBanner(*this);
    n_.timeline->Cancel(kEventHumanTurn);
    n_.timeline->Cancel(kEventComputerTurn);
    n_.timeline->AdvanceToEnd();
    ResetDisplayedBoard();
    return true;
}

// The shown board is cleared and set up afresh; the first turn begins once that has played.
void GameSession::ResetDisplayedBoard() {
    FrameTime t = n_.timeline->EndOfTimeline() + 10;
    if (n_.display->AnyPieceShown()) t = n_.sequences->ClearBoard(t);
    n_.sequences->SetUpBoard(state, t);
    EndTurn(kNoTime);
}

void GameSession::SaveGame() {
    n_.store->Save(*this);
}

bool GameSession::MakeMove(Square from, Square to, bool animate) {
    FrameTime t = n_.timeline->Now() + 1;
    MOVE move{from, to, state};
    ApplyMove(move.after, from, to, kNoTime);
    if (!tutorialMode) {
        n_.history->AppendMove(move);
    } else if (n_.tutorial && !n_.tutorial->MoveCheck(move)) {
        return false;
    }
    if (animate) {
        n_.sounds->ScheduleSound(kSoundSlide, t);
        t = n_.sequences->MovePiece(from, to, t);
    }
    t = ApplyMove(state, from, to, t, n_.sequences);
    if (tutorialMode) {
        // The learner keeps moving the same colour.
        state.turn = OtherPlayer(state.turn);
        GenerateMoves(state, legalMoves, true);
        n_.timeline->Schedule(t + 1, kEventTutorialCheck, 0);
    } else {
        EndTurn(t);
    }
    return true;
}

void GameSession::EndTurn(FrameTime time) {
    humanMayMove = false;
    if (time == kNoTime) time = n_.timeline->EndOfTimeline();
    winner = WinnerOf(state);
    if (winner == 0) {
        const std::uint32_t code = IsComputer(state.turn) ? kEventComputerTurn : kEventHumanTurn;
        n_.timeline->Schedule(time, code, 0);
    } else {
        n_.sounds->ScheduleSound(IsComputer(winner) ? kSoundComputerWins : kSoundHumanWins,
                                 kNoTime);
        n_.display->UpdateBanner(*this);
    }
    SaveGame();
}

void GameSession::BeginHumanTurn() {
    humanMayMove = true;
    GenerateMoves(state, legalMoves, tutorialMode);
    n_.display->UpdateBanner(*this);
}

void GameSession::MarkComputerTurn() {
    computerTurnPending = true;
}

void GameSession::BeginComputerTurn() {
    if (!computerTurnPending) return;
    computerTurnPending = false;
    n_.display->UpdateBanner(*this);
    GenerateMoves(state, legalMoves, tutorialMode);
    n_.opponent->StartSearch(state);
}

void GameSession::OnComputerMove(std::int64_t lParam) {
    if (!n_.opponent->TakeAnswer(lParam)) return;
    if (lParam == 0 || winner != 0) return;
    const Square from = static_cast<Square>(lParam & 0xFFFF);
    const Square to = static_cast<Square>((lParam >> 16) & 0xFFFF);
    if (!IsSquare(from) || !IsSquare(to) || !legalMoves.Find(from, to)) return;
    MakeMove(from, to, true);
}
