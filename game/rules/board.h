// The board model: positions as bit rows per side, the rectangle geometry behind captures, and
// applying a move with its whole cascade of conversions. Pure logic on value types; the only
// outward call is the optional capture-animation hook.
#pragma once

#include <cstddef>
#include <cstdint>

// A square is row * 11 + column, 0 to 120; kNoSquare stands for none.
using Square = std::int32_t;
constexpr Square kNoSquare = -1;
constexpr int kBoardSize = 11;
constexpr int kSquareCount = kBoardSize * kBoardSize;

// One row of one side: bit c set when that side has a piece in column c.
using RowMask = std::uint16_t;
constexpr RowMask kFullRow = 0x7FF;

// A frame of the animation timeline; kNoTime asks for no animation.
using FrameTime = std::uint32_t;
constexpr FrameTime kNoTime = 0xFFFFFFFFu;

inline constexpr bool IsSquare(Square s) {
    return s >= 0 && s < kSquareCount;
}
inline constexpr int RowOf(Square s) {
    return s / kBoardSize;
}
inline constexpr int ColumnOf(Square s) {
    return s % kBoardSize;
}
inline constexpr Square SquareAt(int row, int column) {
    return row * kBoardSize + column;
}
inline constexpr bool IsGoalSquare(Square s) {
    return (s >= 4 && s <= 6) || (s >= 114 && s <= 116);
}

// Set bits of a row, counted by nibble table as the opponent's evaluation does.
int CountRowBits(RowMask mask);

// One player's pieces. The counts cache what rows holds. The in-memory layout equals the
// 76-byte stored form, but storage goes through StoreSideState/LoadSideState all the same.
struct SideState {
    RowMask rows[kBoardSize];
    std::uint16_t padding;
    std::uint32_t rowCount[kBoardSize];
    std::uint32_t pieceCount;
    std::uint32_t goalCount;
};

// A whole position: sides[0] is player 1, sides[1] player 2; turn is 1 or 2.
struct GameState {
    SideState sides[2];
    std::uint32_t turn;
};

static_assert(sizeof(SideState) == 76);
static_assert(offsetof(SideState, padding) == 22);
static_assert(offsetof(SideState, rowCount) == 24);
static_assert(offsetof(SideState, pieceCount) == 68);
static_assert(offsetof(SideState, goalCount) == 72);
static_assert(sizeof(GameState) == 156);
static_assert(offsetof(GameState, turn) == 152);

constexpr std::size_t kStoredSideStateSize = 76;
constexpr std::size_t kStoredGameStateSize = 156;

// Little-endian stored forms, written byte for byte into the saved game. Padding is stored as
// zero and ignored on load; counts are taken as stored, unrepaired.
void StoreSideState(const SideState& side, std::uint8_t out[kStoredSideStateSize]);
void LoadSideState(const std::uint8_t in[kStoredSideStateSize], SideState& side);
void StoreGameState(const GameState& state, std::uint8_t out[kStoredGameStateSize]);
void LoadGameState(const std::uint8_t in[kStoredGameStateSize], GameState& state);

bool operator==(const SideState& a, const SideState& b);
bool operator==(const GameState& a, const GameState& b);

// The player who moves after `turn`: 1 becomes 2, anything else becomes 1.
inline constexpr std::uint32_t OtherPlayer(std::uint32_t turn) {
    return turn == 1 ? 2 : 1;
}

// Owner of a square: 0 empty, 1 or 2 (player 1 wins if a corrupt position has both).
int SquareOwner(const GameState& state, Square square);

// Player 2 to move, nine pieces each on rows 8 (player 1) and 2 (player 2).
void InitStartPosition(GameState& state);

// Rebuilds every count from rows.
void Recount(GameState& state);

// owner 0 empties the square, 1 or 2 gives it to that player; counts follow. Off-board
// coordinates change nothing.
void SetSquareOwner(GameState& state, int column, int row, int owner);

// Fills out with every empty-of-this-side square that completes an axis-aligned rectangle of
// pieces in rows; given a square, only rectangles having it as a corner count.
void FourthCorners(const RowMask rows[kBoardSize], RowMask out[kBoardSize], Square square);

// The capture-animation hook: corner is diagonally opposite the captured piece in one
// capturing rectangle. Returns the frame at which its sequence ends.
class CaptureAnimator {
public:
    virtual FrameTime AnimateCapture(Square corner, Square captured, FrameTime startTime) = 0;

protected:
    ~CaptureAnimator() = default;
};

// Plays from -> to for the side to move, converts every captured piece level by level, and hands
// the turn over. Legality is not checked. With a start time the animator (if any) is called once
// per capture; the result is the frame at which the last capture animation ends, or kNoTime when
// startTime is kNoTime. An off-board square or a turn other than 1 or 2 leaves the state alone.
FrameTime ApplyMove(GameState& state, Square from, Square to, FrameTime startTime,
                    CaptureAnimator* animator = nullptr);

// Debug check for tests: counts match rows, no square held twice, no bits past column 10,
// turn 1 or 2, and (when expectedTotal >= 0) the total of pieces equals it.
bool IsConsistent(const GameState& state, int expectedTotal = -1);
