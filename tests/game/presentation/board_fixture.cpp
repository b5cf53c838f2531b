#include "tests/game/presentation/board_fixture.h"

#include "platform/core/driver.h"

#include <cstring>

namespace {

GameBoard* g_current = nullptr;

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMPUTERMOVE && g_current && g_current->game) {
        g_current->game->OnComputerMove(lParam);
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void RecordPlay(void* context, int id) {
    auto* board = static_cast<GameBoard*>(context);
    board->plays.emplace_back(board->window->GetCurrentFrame(), id);
}

} // namespace

AnimWindow* CreateGameWindow(const TCHAR* className, WNDPROC proc, HWND& main) {
    platform::clock::SetSimulated(true);
    platform::clock::AdvanceTo(1000);
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandle(nullptr);
    wc.lpszClassName = className;
    if (!GetClassInfo(wc.hInstance, className, &wc) && !RegisterClass(&wc)) return nullptr;
    main = CreateWindowEx(0, className, TEXT("Tessark"), WS_POPUP | WS_VISIBLE, 0, 0, 240, 294,
                          nullptr, nullptr, GetModuleHandle(nullptr), nullptr);
    if (!main) return nullptr;
    HWND child = CreateWindowEx(0, TEXT("AnimWindow"), TEXT(""), WS_CHILD | WS_VISIBLE, 0, 0, 240,
                                294, main, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1005)),
                                GetModuleHandle(nullptr), nullptr);
    return AnimWindow::FromHandle(child);
}

void GameBoard::SetUp() {
    ASSERT_TRUE(EngineInit(GetModuleHandle(nullptr), 0));
    InitialiseLanguage(TEXT("Tessark"));
    SetLanguage(kLangEnglish);
    window = CreateGameWindow(TEXT("TessarkTestMain"), MainProc, main);
    ASSERT_NE(window, nullptr);
    g_current = this;
    game = std::make_unique<GameContext>(window, main, settings);
    ASSERT_TRUE(game->Load(GetModuleHandle(nullptr))) << "the game's pictures do not load";
    P().sounds.SetPlayObserver(RecordPlay, this);
}

void GameBoard::TearDown() {
    if (IsWindow(main)) DestroyWindow(main);
    game.reset();
    g_current = nullptr;
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    platform::clock::SetSimulated(false);
}

void GameBoard::Frames(DWORD n) {
    for (DWORD i = 0; i < n && AnimWindow::IsLive(window); ++i)
        window->AdvanceOne();
}

void GameBoard::RunOut(DWORD limit) {
    for (DWORD i = 0; i < limit && AnimWindow::IsLive(window) &&
                      window->GetCurrentFrame() < window->GetEndFrame();
         ++i)
        window->AdvanceOne();
}

int GameBoard::ShownColour(Square square) {
    AnimObject* piece = Display().PieceAt(square);
    return piece ? PieceValue(piece, kPieceColour) : 0;
}

GameState PositionFromRows(const std::vector<const char*>& rows, std::uint32_t turn) {
    GameState state{};
    const int count = static_cast<int>(rows.size());
    for (int i = 0; i < count; ++i) {
        const int row = count - 1 - i;
        for (int column = 0; column < kBoardSize && rows[i][column]; ++column) {
            if (rows[i][column] == 'R') SetSquareOwner(state, column, row, 1);
            if (rows[i][column] == 'B') SetSquareOwner(state, column, row, 2);
        }
    }
    state.turn = turn;
    Recount(state);
    return state;
}

void GameBoard::Pen(UINT message, POINT client) {
    ClientToScreen(window->GetHandle(), &client);
    platform::driver::InjectMouse(message, client, message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
}

POINT GameBoard::Centre(Square square) {
    const CellGeometry& c = Cell(Display().Layout(), square);
    return POINT{(c.left + c.right) / 2, (c.top + c.bottom) / 2};
}

POINT GameBoard::Over(Square from, Square to) {
    const BoardLayout& layout = Display().Layout();
    const CellGeometry& a = Cell(layout, from);
    const POINT pick = Centre(from);
    const POINT grab{a.left + a.anchorX - pick.x, a.top + a.anchorY - pick.y};
    // The square under a dragged piece is looked up half a piece above its foot.
    const LONG half = layout.cells[0][0].image[0]->GetHeight() / 2;
    const POINT middle = Centre(to);
    return POINT{middle.x - grab.x, middle.y + half - grab.y};
}

void GameBoard::DragPiece(Square from, Square to) {
    Down(Centre(from));
    const POINT over = Over(from, to);
    const POINT start = Centre(from);
    for (int step = 1; step <= 4; ++step)
        Move(POINT{start.x + (over.x - start.x) * step / 4,
                   start.y + (over.y - start.y) * step / 4});
    Up(over);
}
