// tessark-skinview [--skin FILE] [--shot OUT.bmp] [--sheet OUT.bmp] [--window] [--controls]
// [--messages]: loads a skin archive (the program's built-in "ZIP" 800, or a file), prints the
// settings it reads for the window "TessarkSetup" and each control kind, and draws without a
// display:
//   --shot   a skinned window: its frame from the skin's pieces, shaped by their selections
//            (outside the shape shows a checker board), with controls and a markup text in the
//            English and the Esperanto fonts;
//   --sheet  every image of the skin, loaded through its palette group, with its name;
//   --window shows that skinned window, shaped by its region, until a click or Escape;
//   --controls shows a real skinned window (SkinWindow) with a page of every control kind; its
//            "Message" button opens a skinned message box;
//   --messages shows a skinned message box of every button set and icon, one after another,
//            and prints each answer.
// The windows run under either driver: headless with TESSARK_SCRIPT (controls.script and
// messages.script beside this file take screenshots), or on a desktop with TESSARK_DRIVER=sdl.
// Exit 0 done, 1 bad usage, 2 a skin that does not load or an image that cannot be written.
#include "engine/cea_graphic.h"
#include "foundation/cetl.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "platform/resource.h"
#include "platform/user.h"
#include "setup/unzipper.h"
#include "skin/skincontrol.h"
#include "skin/skingraphics.h"
#include "skin/skinlib.h"
#include "skin/skinmessage.h"
#include "skin/skinregion.h"
#include "skin/skinwindow.h"
#include "tools/skinview/skinview_ids.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kPrefix[] = "TessarkSetup";

bool SaveBmp(Graphic& g, const std::string& path) {
    LONG w = g.GetWidth(), h = g.GetHeight();
    LONG row = (w * 3 + 3) & ~3;
    std::vector<unsigned char> b(54 + static_cast<std::size_t>(row) * h, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b[at + k] = static_cast<unsigned char>(v >> (8 * k));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, static_cast<std::uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    b[26] = 1, b[28] = 24;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            COLORREF c = g.GetPixelColor(x, y);
            std::size_t at = 54 + static_cast<std::size_t>(h - 1 - y) * row + x * 3;
            b[at] = GetBValue(c), b[at + 1] = GetGValue(c), b[at + 2] = GetRValue(c);
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

void Fill(Graphic& g, LONG x0, LONG y0, LONG x1, LONG y1, COLORREF c) {
    for (LONG y = y0; y < y1; ++y)
        for (LONG x = x0; x < x1; ++x)
            g.SetPixelColor(x, y, c);
}

Graphic* Cell(SkinControlGraphics* g, int i) {
    return g && i < g->count && g->cells[i] ? g->cells[i]->GetFrame(0) : nullptr;
}

// Draws `cell` repeated over the rectangle, the last copies cut to what is left.
void Tile(Graphic& dst, Graphic* cell, const RECT& r) {
    if (!cell || cell->GetWidth() <= 0 || cell->GetHeight() <= 0) return;
    for (LONG y = r.top; y < r.bottom; y += cell->GetHeight())
        for (LONG x = r.left; x < r.right; x += cell->GetWidth())
            cell->DrawTo(&dst, x, y, 0, 0, std::min(cell->GetWidth(), r.right - x),
                         std::min(cell->GetHeight(), r.bottom - y));
}

// A push button of width w from its row's three cells, with its caption.
void Button(Graphic& dst, Skin& skin, LONG x, LONG y, LONG w, int row, const char* text) {
    SkinControlGraphics* g = skin.GetImage("pbutton", kSkinPushButton, kPrefix);
    LONG cw = g->cellWidth, ch = g->cellHeight;
    Cell(g, row * 3)->DrawTo(&dst, x, y);
    Tile(dst, Cell(g, row * 3 + 1), RECT{x + cw, y, x + w - cw, y + ch});
    Cell(g, row * 3 + 2)->DrawTo(&dst, x + w - cw, y);
    SkinControlSettings s = skin.ReadControlSettings(kSkinPushButton, nullptr, kPrefix);
    cetl::vector<MarkupItem> items;
    RECT area{x + s.textLeft, y + s.textTop, x + w - s.textRight, y + ch - s.textBottom};
    LayOutMarkup(text, area, s.textLayout, s.font.c_str(),
                 row == 0 ? s.disabledTextColor : s.textColor, items);
    // Centred vertically as the button's text is.
    LONG used = items.empty() ? 0 : items.last().rect.bottom - area.top;
    for (MarkupItem& item : items) {
        LONG dy = (area.bottom - area.top - used) / 2;
        item.rect.top += dy, item.rect.bottom += dy;
    }
    DrawMarkup(dst.GetDC(), items);
    dst.ReleaseDC();
}

void Text(Graphic& dst, Skin& skin, const RECT& r, const char* markup) {
    SkinControlSettings s = skin.ReadControlSettings(kSkinText, nullptr, kPrefix);
    cetl::vector<MarkupItem> items;
    RECT area{r.left + s.textLeft, r.top + s.textTop, r.right - s.textRight,
              r.bottom - s.textBottom};
    LayOutMarkup(markup, area, s.textLayout, s.font.c_str(), s.textColor, items);
    DrawMarkup(dst.GetDC(), items);
    dst.ReleaseDC();
}

constexpr LONG kWindowWidth = 420, kWindowHeight = 300;

// The skinned window's picture and shape (null: rectangular).
void Compose(Skin& skin, Graphic& out, HRGN* shapeOut) {
    const LONG W = kWindowWidth, H = kWindowHeight;
    for (LONG y = 0; y < H; ++y)
        for (LONG x = 0; x < W; ++x)
            out.SetPixelColor(x, y, ((x / 8 + y / 8) & 1) ? RGB(90, 90, 90) : RGB(60, 60, 60));
    SkinWindowSettings ws = skin.ReadWindowSettings(nullptr, kPrefix);
    SkinControlGraphics* corners = skin.GetImage("frame-c", kSkinFrameCorners, kPrefix);
    SkinControlGraphics* sides = skin.GetImage("frame-lr", kSkinFrameLeftRight, kPrefix);
    SkinControlGraphics* edges = skin.GetImage("frame-tb", kSkinFrameTopBottom, kPrefix);
    FrameCells cells;
    cells.corner = SIZE{corners->cellWidth, corners->cellHeight};
    cells.side = SIZE{sides->cellWidth, sides->cellHeight};
    cells.edge = SIZE{edges->cellWidth, edges->cellHeight};
    RECT p[8];
    FramePieces(W, H, cells, p);
    LONG shapeW = W, shapeH = H;
    HRGN shape = FrameLayoutRegion(skin, kPrefix, &shapeW, &shapeH);

    // The inside: background colour, then the background image tiled.
    Graphic inside(W, H, 32);
    Fill(inside, 0, 0, W, H, ws.backgroundColor & 0xFFFFFF);
    Tile(inside, Cell(skin.GetImage("background", kSkinImage, kPrefix), 0),
         RECT{ws.left, ws.top, W - ws.right, H - ws.bottom});
    inside.DrawTo(&out, ws.left, ws.top, ws.left, ws.top, W - ws.left - ws.right,
                  H - ws.top - ws.bottom);
    const int cornerCell[4] = {0, 1, 3, 2};
    for (int i = 0; i < 4; ++i)
        Cell(corners, cornerCell[i])->DrawTo(&out, p[i].left, p[i].top);
    Tile(out, Cell(sides, 0), p[4]);
    Tile(out, Cell(sides, 1), p[5]);
    Tile(out, Cell(edges, 0), p[6]);
    Tile(out, Cell(edges, 1), p[7]);
    SkinControlGraphics* close = skin.GetImage("frame-x", kSkinClose, kPrefix);
    SkinControlGraphics* minimise = skin.GetImage("frame-min", kSkinMinimise, kPrefix);
    Cell(close, 0)->DrawTo(&out, W - 4 - close->cellWidth, 4);
    Cell(minimise, 1)->DrawTo(&out, W - 8 - 2 * minimise->cellWidth, 4);

    SetLanguage(kLangEnglish);
    Text(out, skin, RECT{24, 22, W - 60, 60},
         "<font size=-17><b>Tessark Setup</b></font>  <i>English</i>");
    Text(out, skin, RECT{24, 56, W - 24, 140},
         "This puts <b>Tessark</b> on your desktop PC and on a connected palm-size PC. "
         "Colours: <font color=#8DA4E8>#8DA4E8</font>, <font color=#C83030>red</font>; "
         "<u>underlined</u>, <a href=\"https://orvane.example\">a link</a>, I <3 it.");
    SetLanguage(kLangEsperanto);
    Text(out, skin, RECT{24, 140, W - 24, 200},
         "<i>Esperanto:</i> Ĉi tio instalas <b>Tessark</b> sur via komputilo kaj sur "
         "konektita poŝkomputilo. Ŝanĝu la lingvon ĉiam.");
    SetLanguage(kLangEnglish);

    SkinControlGraphics* radio = skin.GetImage("rbutton", kSkinRadioButton, kPrefix);
    Cell(radio, 3)->DrawTo(&out, 24, 206);
    Text(out, skin, RECT{44, 205, 200, 225}, "Desktop and device");
    Cell(radio, 2)->DrawTo(&out, 24, 226);
    Text(out, skin, RECT{44, 225, 200, 245}, "Device only");

    SkinControlGraphics* bar = skin.GetImage("pbar", kSkinProgress, kPrefix);
    LONG bw = 170, cw = bar->cellWidth, left = 220, top = 212;
    Cell(bar, 0)->DrawTo(&out, left, top);
    Cell(bar, 3)->DrawTo(&out, left + bw - cw, top);
    LONG room = bw - 2 * cw, filled = cw * ((55 * room / 100) / cw);
    Tile(out, Cell(bar, 2), RECT{left + cw, top, left + cw + filled, top + bar->cellHeight});
    Tile(out, Cell(bar, 1), RECT{left + cw + filled, top, left + bw - cw, top + bar->cellHeight});

    Button(out, skin, W - 24 - 100, H - 26 - 24, 100, 1, "<b>Install</b>");
    Button(out, skin, W - 24 - 210, H - 26 - 24, 100, 2, "Rescan");
    Button(out, skin, 24, H - 26 - 24, 80, 0, "Back");

    *shapeOut = shape;
}

bool Shot(Skin& skin, const std::string& path) {
    Graphic out(kWindowWidth, kWindowHeight, 32);
    HRGN shape = nullptr;
    Compose(skin, out, &shape);
    // Outside the window's shape the screen shows through.
    if (shape)
        for (LONG y = 0; y < kWindowHeight; ++y)
            for (LONG x = 0; x < kWindowWidth; ++x)
                if (!PtInRegion(shape, x, y))
                    out.SetPixelColor(x, y,
                                      ((x / 8 + y / 8) & 1) ? RGB(90, 90, 90) : RGB(60, 60, 60));
    if (shape) DeleteObject(shape);
    return SaveBmp(out, path);
}

// --- The window -------------------------------------------------------------------------------

Graphic* g_picture = nullptr;

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (g_picture) g_picture->DrawTo(dc, 0, 0);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONUP:
        DestroyWindow(hwnd);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// Shows the skinned window with its shape until it is clicked or Escape is pressed.
bool Show(Skin& skin) {
    Graphic picture(kWindowWidth, kWindowHeight, 32);
    HRGN shape = nullptr;
    Compose(skin, picture, &shape);
    g_picture = &picture;
    WNDCLASS wc{};
    wc.lpfnWndProc = ViewProc;
    wc.lpszClassName = "TessarkSkinView";
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    if (!RegisterClass(&wc)) return false;
    HWND hwnd = CreateWindowEx(0, "TessarkSkinView", "TessarkSetup", WS_POPUP, 40, 40, kWindowWidth,
                               kWindowHeight, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd) return false;
    // The window owns the region from here on.
    if (shape) SetWindowRgn(hwnd, shape, TRUE);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    g_picture = nullptr;
    return true;
}

// ---- Real skinned windows -----------------------------------------------------------------------

Skin* g_skin = nullptr;

// Every button set with every icon, and a box without text.
struct MessageCase {
    UINT flags;
    const char* text;
};
const MessageCase kMessages[] = {
    {MB_OK | MB_ICONINFORMATION, "<b>Tessark</b> is installed on the desktop and the device."},
    {MB_OK, "A box without an icon: the text starts at 64 pixels."},
    {MB_OK | MB_ICONERROR, "The device was <i>not found</i>. Connect it and try again."},
    {MB_OKCANCEL | MB_ICONWARNING, "Setup will replace the game that is installed now."},
    {MB_OKCANCEL | MB_ICONQUESTION, "Copy the game to the device as well?"},
    {MB_YESNO | MB_ICONQUESTION, "Start <b>Tessark</b> now? This box has no close box."},
    {MB_YESNO | MB_ICONINFORMATION, "Remember this choice?"},
    {MB_YESNOCANCEL | MB_ICONWARNING,
     "<font color=#B03020>Setup is not finished.</font> Save the settings before leaving?"},
    {MB_YESNOCANCEL, "Three buttons and no icon."},
    {MB_OK | MB_ICONINFORMATION, ""},
};

int RunMessages(Skin& skin) {
    for (const MessageCase& m : kMessages) {
        const int answer = SkinMessage(&skin, m.flags, "TessarkSetup", m.text);
        std::printf("message 0x%02X: answer %d\n", m.flags, answer);
    }
    return 0;
}

POINT g_placed{}; // where the page of every control last moved to

void SetStatus(SkinWindow* window, const std::string& text) {
    if (SkinControl* status = window->FindControl(IDC_V_STATUS)) status->SetText(text.c_str());
    std::printf("status: %s\n", text.c_str());
}

INT_PTR CALLBACK ControlsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SkinWindow* window = SkinWindow::FromHandle(hwnd);
    if (window == nullptr) return FALSE;
    auto control = [window](DWORD id) { return window->FindControl(id); };
    switch (message) {
    case WM_INITDIALOG:
        if (SkinControl* c = control(IDC_V_PROGRESS)) c->SetPosition(60);
        if (SkinControl* c = control(IDC_V_RADIO1)) c->SetCheck(1);
        if (SkinControl* c = control(IDC_V_CHECK1)) c->SetCheck(1);
        if (SkinControl* c = control(IDC_V_EDIT)) c->SetText("C:\\Program Files\\Tessark");
        if (SkinControl* c = control(IDC_V_LIST)) {
            for (const char* item : {"English", "Esperanto", "Desktop", "Device", "Both"})
                c->AddItem(item);
            c->SetSelection(1);
        }
        if (SkinControl* c = control(IDC_V_VSCROLL)) {
            c->SetRange(0, 100, 20);
            c->SetPosition(30);
        }
        if (SkinControl* c = control(IDC_V_HSCROLL)) {
            c->SetRange(0, 100, 25);
            c->SetPosition(50);
        }
        SetStatus(window, "Nothing clicked yet.");
        return TRUE;
    case WM_MOVE: {
        RECT r{};
        GetWindowRect(window->GetHandle(), &r);
        g_placed = {r.left, r.top};
        return FALSE;
    }
    case kSkinUserSize: // the page's procedures answer directly
        return MAKELONG(16, 16);
    case kSkinUserDraw: {
        // The user-drawn control: a colour ramp, drawn by the page.
        const auto* draw = reinterpret_cast<const SkinUserDraw*>(lParam);
        const RECT& r = draw->rect;
        const RECT& c = draw->clip;
        const LONG w = std::max<LONG>(1, r.right - r.left), h = std::max<LONG>(1, r.bottom - r.top);
        for (LONG y = std::max(r.top, c.top); y < std::min(r.bottom, c.bottom); ++y)
            for (LONG x = std::max(r.left, c.left); x < std::min(r.right, c.right); ++x)
                draw->target->SetPixelColor(
                    x, y, RGB(40 + 200 * (x - r.left) / w, 90, 230 - 180 * (y - r.top) / h));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_V_PUSH:
            SetStatus(window, "The push button was clicked.");
            return TRUE;
        case IDC_V_MESSAGE: {
            const int answer = SkinMessage(g_skin, MB_YESNOCANCEL | MB_ICONQUESTION, "TessarkSetup",
                                           "Did the box open <b>centred</b>?");
            SetStatus(window, "The message box answered " + std::to_string(answer) + ".");
            return TRUE;
        }
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int RunControls(Skin& skin) {
    SkinWindow* window = SkinWindow::Create(&skin, kPrefix, nullptr, GetModuleHandle(nullptr),
                                            MAKEINTRESOURCE(IDD_VIEW_CONTROLS), ControlsProc, 0);
    if (window == nullptr) {
        std::fprintf(stderr, "tessark-skinview: the page of every control cannot be made\n");
        return 2;
    }
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(window->GetHandle(), nullptr, work.left + 40, work.top + 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    window->Layout();
    const int result = window->RunModal();
    std::printf("controls: ended with %d at %ld, %ld\n", result, static_cast<long>(g_placed.x),
                static_cast<long>(g_placed.y));
    SkinWindow::Destroy(window);
    return 0;
}

bool Sheet(Skin& skin, const std::string& path) {
    const LONG W = 640, H = 360;
    Graphic out(W, H, 32);
    Fill(out, 0, 0, W, H, RGB(128, 132, 140));
    LONG x = 8, y = 8, rowHeight = 0;
    for (const auto& e : *skin.Archive()) {
        std::string name = e.value->name.c_str();
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".psp") != 0) continue;
        name.resize(name.size() - 4);
        SkinControlGraphics* g = skin.GetImage(name.c_str(), SkinGrid(1, 1), nullptr);
        Graphic* image = Cell(g, 0);
        if (!image) continue;
        LONG w = std::max<LONG>(image->GetWidth(), 64), h = image->GetHeight() + 16;
        if (x + w > W - 8) x = 8, y += rowHeight + 8, rowHeight = 0;
        image->DrawTo(&out, x, y);
        HFONT font = FontFromDescription("DejaVu Sans,-10");
        HDC dc = out.GetDC();
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, x, y + image->GetHeight() + 2, name.c_str(), static_cast<int>(name.size()));
        SelectObject(dc, old);
        out.ReleaseDC();
        DeleteObject(font);
        x += w + 8;
        rowHeight = std::max(rowHeight, h);
    }
    return SaveBmp(out, path);
}

void PrintSettings(Skin& skin) {
    const cetl::PROPERTIES& s = skin.Settings();
    std::printf("skin \"%s\" by %s: %zu settings, %zu entries\n", s.Text("skin").c_str(),
                s.Text("author").c_str(), s.size(), skin.Archive()->size());
    SkinWindowSettings w = skin.ReadWindowSettings(nullptr, kPrefix);
    std::printf("window %s: borders %ld %ld %ld %ld, title bar %ld, background layout %d, "
                "background colour 0x%08X, %ld frames per second, proportional scroll bars %d\n",
                kPrefix, static_cast<long>(w.left), static_cast<long>(w.top),
                static_cast<long>(w.right), static_cast<long>(w.bottom),
                w.titlebarHeight == 0xFFFFFFFFu ? -1L : static_cast<long>(w.titlebarHeight),
                w.backgroundLayout, w.backgroundColor, static_cast<long>(w.framesPerSecond),
                w.proportionalScrollbars ? 1 : 0);
    const struct {
        DWORD kind;
        const char* name;
    } kinds[] = {{kSkinPushButton, "push button"},
                 {kSkinRadioButton, "radio button"},
                 {kSkinCheckBox, "check box"},
                 {kSkinProgress, "progress bar"},
                 {kSkinText, "text"},
                 {kSkinEdit, "edit field"},
                 {kSkinList, "list box"}};
    for (const auto& k : kinds) {
        SkinControlSettings c = skin.ReadControlSettings(k.kind, nullptr, kPrefix);
        std::printf("%-12s font \"%s\", text 0x%08X, disabled 0x%08X, selected 0x%08X on "
                    "0x%08X, borders %ld %ld %ld %ld, text layout %d, image layout %d, "
                    "adjust %ld %ld\n",
                    k.name, c.font.c_str(), c.textColor, c.disabledTextColor, c.selectedTextColor,
                    c.selectedBackgroundColor, static_cast<long>(c.textLeft),
                    static_cast<long>(c.textTop), static_cast<long>(c.textRight),
                    static_cast<long>(c.textBottom), c.textLayout, c.imageLayout,
                    static_cast<long>(c.imageXAdjust), static_cast<long>(c.imageYAdjust));
    }
}

int Run(int argc, char** argv) {
    std::string file, shot, sheet;
    bool window = false, controls = false, messages = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 < argc && a == "--skin")
            file = argv[++i];
        else if (i + 1 < argc && a == "--shot")
            shot = argv[++i];
        else if (i + 1 < argc && a == "--sheet")
            sheet = argv[++i];
        else if (a == "--window")
            window = true;
        else if (a == "--controls")
            controls = true;
        else if (a == "--messages")
            messages = true;
        else {
            std::fprintf(stderr, "usage: tessark-skinview [--skin FILE] [--shot OUT.bmp] [--sheet "
                                 "OUT.bmp] [--window] [--controls] [--messages]\n");
            return 1;
        }
    }
    Skin* skin = nullptr;
    try {
        skin = file.empty() ? LoadSkinFromResource(GetModuleHandle(nullptr), 800)
                            : LoadSkinFromFile(file.c_str());
        if (!skin) {
            std::fprintf(stderr, "tessark-skinview: no skin in %s\n",
                         file.empty() ? "resource ZIP 800" : file.c_str());
            return 2;
        }
        PrintSettings(*skin);
        bool ok = (shot.empty() || Shot(*skin, shot)) && (sheet.empty() || Sheet(*skin, sheet)) &&
                  (!window || Show(*skin));
        if (ok && (controls || messages)) {
            g_skin = skin;
            if (!SkinWindowInit(GetModuleHandle(nullptr), nullptr)) {
                std::fprintf(stderr, "tessark-skinview: the window class cannot be registered\n");
                ok = false;
            }
            if (ok && controls) ok = RunControls(*skin) == 0;
            if (ok && messages) ok = RunMessages(*skin) == 0;
            g_skin = nullptr;
        }
        MemDelete(skin, MM("SKIN"));
        return ok ? 0 : 2;
    } catch (const cetl::exception& e) {
        std::fprintf(stderr, "tessark-skinview: %s\n", e.message().c_str());
        MemDelete(skin, MM("SKIN"));
        return 2;
    }
}

} // namespace

int main(int argc, char** argv) {
    // The setup program runs on the desktop.
    platform::gdi::SetScreenFlavour(platform::gdi::Flavour::Desktop);
    // Line by line, so that whoever watches a run sees each answer as it comes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int status = Run(argc, argv);
    MemExitCheck();
    return status;
}
