// Move rules: the legal moves of the side to move in their fixed generation order (the computer
// opponent's tie-breaks rely on it), the owned list that holds them, and the winner test.
#pragma once

#include <cstddef>
#include <vector>

#include "game/rules/board.h"

// One move with its outcome: after is the position once every capture is done, other side to
// move.
struct MOVE {
    Square from;
    Square to;
    GameState after;
};

// The one place MOVE records are allocated and freed, so they can be routed to the memory
// manager under the label "MOVE".
MOVE* NewMove(Square from, Square to, const GameState& after);
void DeleteMove(MOVE* move);

// An ordered list of owned MOVE records; clearing it deletes them.
class MoveList {
public:
    class const_iterator {
    public:
        explicit const_iterator(std::vector<MOVE*>::const_iterator it) : it_(it) {}
        const MOVE& operator*() const { return **it_; }
        const MOVE* operator->() const { return *it_; }
        const_iterator& operator++() {
            ++it_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return it_ == other.it_; }

    private:
        std::vector<MOVE*>::const_iterator it_;
    };

    MoveList() = default;
    ~MoveList() { Clear(); }
    MoveList(const MoveList&) = delete;
    MoveList& operator=(const MoveList&) = delete;
    MoveList(MoveList&& other) noexcept;
    MoveList& operator=(MoveList&& other) noexcept;

    void Clear();
    // Takes ownership of a record from NewMove.
    void Append(MOVE* move);
    std::size_t size() const { return moves_.size(); }
    bool empty() const { return moves_.empty(); }
    const MOVE& operator[](std::size_t index) const { return *moves_[index]; }
    // The first move with these squares, or nullptr.
    const MOVE* Find(Square from, Square to) const;
    const_iterator begin() const { return const_iterator(moves_.begin()); }
    const_iterator end() const { return const_iterator(moves_.end()); }

private:
    std::vector<MOVE*> moves_;
};

// Clears list and fills it with every legal move of the side to move. Tutorial mode plays on
// rows 0 to 4 only, with starting rows 3 (player 1) and 1 (player 2). A position whose turn is
// neither 1 nor 2 has no moves.
void GenerateMoves(const GameState& state, MoveList& list, bool tutorialMode = false);

// 0 while the game goes on, else the winning player; player 1's conditions are tested first.
std::uint32_t WinnerOf(const GameState& state);
