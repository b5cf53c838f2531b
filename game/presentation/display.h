// The board display: turns the game state into display objects on the game's animation window
// (one piece object per shown piece, one glow object per lit square, the status banner), owns
// the screen geometry and tells the pen which square lies under a point. It decides nothing
// about the game; the session and the animation sequences tell it what to show.
//
// This is also the presentation's chief header: GamePresentation gathers the pictures, the
// sounds, the timeline, the sequences and the display of one game window.
#pragma once

#include "engine/cea_object.h"
#include "engine/cea_window.h"
#include "game/presentation/graphics.h"
#include "game/presentation/input.h"
#include "game/presentation/layout.h"
#include "game/presentation/menu.h"
#include "game/presentation/options.h"
#include "game/presentation/sequencer.h"
#include "game/presentation/sounds.h"
#include "game/presentation/tutorial.h"
#include "game/rules/session.h"

// Data slots of a piece object.
enum : DWORD {
    kPieceSquare = 0,
    kPieceColour = 1,     // player 1 red, 2 blue
    kPieceFrame = 2,      // explosion frame 0..22, or -1
    kPieceConverting = 3, // set while the piece changes colour: the old colour bursts over it
};

constexpr LONG kBannerLayer = 490;
constexpr LONG kGlowLayer = 500;
constexpr int kMaxGlowLevel = 5;
constexpr int kTutorialRows = 5;

// For draw callbacks: copies the source rectangle (sx, sy, w, h), placed at (x, y), where it
// meets the record's clip.
void DrawClipped(Graphic* source, const ANIMDRAW* record, LONG x, LONG y, LONG sx, LONG sy, LONG w,
                 LONG h);

// Layer of a piece standing on the square: nearer the bottom and the middle column is in front.
LONG PieceLayer(Square square);

// Strip indices of the status banner.
enum BannerStrip : int {
    kBannerNone = -1,
    kBannerThinking = 0,
    kBannerRedTurn = 1,
    kBannerBlueTurn = 2,
    kBannerRedWins = 3,
    kBannerBlueWins = 4,
    kBannerButtonFirst = 5, // the hint of menu button 0; 5 + i for button i
};

// Piece objects keep small integers in their data slots.
inline LONG PieceValue(const AnimObject* piece, DWORD slot) {
    return static_cast<LONG>(reinterpret_cast<std::intptr_t>(piece->GetData(slot)));
}
inline void SetPieceValue(AnimObject* piece, DWORD slot, LONG value) {
    piece->SetData(slot, reinterpret_cast<void*>(static_cast<std::intptr_t>(value)));
}

class GameDisplay : public BoardDisplay {
public:
    GameDisplay(AnimWindow* window, const GameGraphics* graphics, const BoardLayout* layout,
                const GameOptions* options, Sequencer* sequencer);
    ~GameDisplay() = default;
    GameDisplay(const GameDisplay&) = delete;
    GameDisplay& operator=(const GameDisplay&) = delete;

    void Attach(const GameSession* session) { session_ = session; }
    void SetMenu(MenuState* menu) { menu_ = menu; }
    AnimWindow* Window() const { return window_; }
    const BoardLayout& Layout() const { return *layout_; }

    // Forgets every piece, glow and the banner without freeing them (before the first load).
    void Reset();
    // Rows taking part: 11, or 5 while the tutorial runs.
    int BoardRows() const;

    // ---- Squares and pieces ----
    Square SquareAtPoint(LONG x, LONG y, bool aboveAllowed) const;
    AnimObject* PieceAt(Square square) const;
    AnimObject* PieceAtPoint(LONG x, LONG y) const;
    AnimObject* FirstPiece() const;
    // A new piece object at the square's layer and place; not entered in the table.
    AnimObject* CreatePiece(Square square, int colour);
    void EnterPiece(Square square, AnimObject* piece);
    void SetPieceSquare(AnimObject* piece, Square square);
    void PlacePiece(AnimObject* piece);
    void MovePieceReference(Square from, Square to);
    // Clears its table entry when the entry is this piece, then frees it.
    void DeletePiece(AnimObject* piece);
    // The explosion frame (-1 none) and the conversion flag, redrawn.
    void SetPieceFrame(AnimObject* piece, LONG frame, bool converting);

    // ---- The session's view ----
    void UpdateBanner(const GameSession& session) override;
    bool AnyPieceShown() const override { return FirstPiece() != nullptr; }
    void SynchronisePieces(const GameState& state) override;

    // ---- Banner ----
    void ShowBanner(int index);
    void UpdateBanner();
    // The strip the session's state calls for.
    int ChooseBanner() const;
    int BannerIndex() const { return bannerIndex_; }
    AnimObject* BannerObject() const { return banner_; }
    // Switches the interface language between English and the other one.
    void ToggleLanguage();

    // ---- Once a frame ----
    void UpdateGlowGrid();
    void CheckAmbientTraces();
    int ShownLevel(Square square) const;
    AnimObject* GlowObject(Square square) const;

    // ---- Drawing ----
    // The whole board picture into the window's background (black before it is loaded).
    void DrawBackground(Graphic* background, bool black);
    static LRESULT CALLBACK PieceCallback(AnimObject* object, DWORD message, LPARAM parameter);
    static LRESULT CALLBACK GlowCallback(AnimObject* object, DWORD message, LPARAM parameter);

private:
    struct GlowCell {
        int shown;
        int wanted;
        AnimObject* object;
    };

    bool TutorialBoardActive() const;
    void DrawPiece(AnimObject* piece, const ANIMDRAW* record) const;
    void DrawGlow(AnimObject* glow, const ANIMDRAW* record) const;

    AnimWindow* window_;
    const GameGraphics* graphics_;
    const BoardLayout* layout_;
    const GameOptions* options_;
    Sequencer* sequencer_;
    const GameSession* session_ = nullptr;
    MenuState* menu_ = nullptr;
    AnimObject* pieces_[kBoardSize][kBoardSize] = {};
    GlowCell glow_[kBoardSize][kBoardSize] = {};
    AnimObject* banner_ = nullptr;
    int bannerIndex_ = kBannerNone;
};

// One game window's presentation. The window's callback must be PresentationWindowCallback,
// and the object must outlive the window (or the window is destroyed first).
struct GamePresentation {
    GamePresentation(AnimWindow* window, const GameOptions* options);
    ~GamePresentation();
    GamePresentation(const GamePresentation&) = delete;
    GamePresentation& operator=(const GamePresentation&) = delete;

    // The session reads and drives the presentation; called once it exists. The tutorial stops
    // the opponent's search when it starts.
    void Attach(GameSession* session, ComputerOpponent* opponent = nullptr);
    // Loads the pictures and the sounds; false when the pictures cannot be shown. Redraws the
    // background.
    bool Load(HMODULE module);
    // Load's two halves: the pictures and sounds, which touch neither the window nor the
    // screen (a worker thread may load them while the logo plays), then the palette and the
    // background on the window's thread.
    bool LoadAssets(HMODULE module);
    void Show();
    bool Loaded() const { return loaded; }
    // The session's neighbours this presentation fills in.
    void FillNeighbours(SessionNeighbours& neighbours);

    AnimWindow* window;
    const GameOptions* options;
    GameGraphics graphics{};
    BoardLayout layout{};
    EventScheduler scheduler;
    GameSounds sounds;
    Sequencer sequencer;
    GameDisplay display;
    HumanInput input;
    MenuButtons menu;
    Tutorial tutorial;
    GameSession* session = nullptr;
    bool loaded = false;
    // While the logo plays, the window shows black and no ambient trace starts.
    bool splashRunning = false;
};

// The game's handling of the animation window's notifications.
LRESULT PresentationWindowCallback(AnimWindow* window, DWORD code, LPARAM parameter1,
                                   LPARAM parameter2);
// The presentation of a game window, or null.
GamePresentation* PresentationOf(AnimWindow* window);
