// The headless driver's script player. Commands run one at a time, each only when the thread of
// the window they address has nothing else to do, so a screenshot always shows the result of
// the input before it. With the simulated clock, waits move simulated time.
#include "platform/drivers/null/null_driver.h"

#include "platform/clock.h"
#include "platform/core/paint_internal.h"
#include "platform/core/window_internal.h"
#include "platform/dlg.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace platform::drivers::null {

namespace {

enum class Op { Down, Move, Up, KeyDown, KeyUp, Screenshot, Answer, Close, Nothing };

struct Command {
    Command(Op o = Op::Close, std::uint64_t d = 0, int px = 0, int py = 0)
        : op(o), due(d), x(px), y(py) {}
    Op op;
    std::uint64_t due; // milliseconds after the script started
    int x = 0;
    int y = 0;
    UINT key = 0; // the key, or the message-box answer
    std::string file;
    bool wholeScreen = false;
};

struct Player {
    std::mutex lock;
    std::vector<Command> commands;
    std::size_t next = 0;
    bool started = false;
    std::uint64_t start = 0;
    bool closed = false;
    // Windows closed since the script ended: a modal dialog first, then the window under it.
    std::vector<HWND> closing;
    bool buttonDown = false;
};

Player& GetPlayer() {
    static Player* player = new Player; // used by threads until the very end
    return *player;
}

UINT KeyByName(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        return static_cast<UINT>(name[0]);
    }
    static const struct {
        const char* name;
        UINT key;
    } kKeys[] = {{"RETURN", VK_RETURN},   {"ENTER", VK_RETURN},   {"ESCAPE", VK_ESCAPE},
                 {"ESC", VK_ESCAPE},      {"TAB", VK_TAB},        {"SPACE", VK_SPACE},
                 {"BACK", VK_BACK},       {"BACKSPACE", VK_BACK}, {"LEFT", VK_LEFT},
                 {"RIGHT", VK_RIGHT},     {"UP", VK_UP},          {"DOWN", VK_DOWN},
                 {"HOME", VK_HOME},       {"END", VK_END},        {"PRIOR", VK_PRIOR},
                 {"PAGEUP", VK_PRIOR},    {"NEXT", VK_NEXT},      {"PAGEDOWN", VK_NEXT},
                 {"DELETE", VK_DELETE},   {"INSERT", VK_INSERT},  {"SHIFT", VK_SHIFT},
                 {"CONTROL", VK_CONTROL}, {"CTRL", VK_CONTROL},   {"F1", VK_F1}};
    for (const auto& k : kKeys) {
        if (name == k.name) return k.key;
    }
    return 0;
}

// A message-box button by name or by its number.
int AnswerByName(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const struct {
        const char* name;
        int id;
    } kAnswers[] = {{"OK", IDOK},       {"CANCEL", IDCANCEL}, {"ABORT", IDABORT},
                    {"RETRY", IDRETRY}, {"IGNORE", IDIGNORE}, {"YES", IDYES},
                    {"NO", IDNO}};
    for (const auto& a : kAnswers) {
        if (name == a.name) return a.id;
    }
    if (name.empty() || name.size() > 5 ||
        name.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    int id = std::stoi(name);
    return id > 0 && id <= 0xFFFF ? id : 0;
}

bool Parse(const std::string& text, std::vector<Command>* out, std::string* error) {
    std::istringstream in(text);
    std::string line;
    std::uint64_t at = 0;
    int number = 0;
    auto fail = [&](const char* why) {
        if (error != nullptr) *error = "script line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb) || verb[0] == '#') continue;
        std::string rest;
        if (verb == "wait") {
            long long ms = -1;
            if (!(words >> ms) || ms < 0 || ms > 86400000LL || (words >> rest)) {
                return fail("wait takes milliseconds (0 to 86400000)");
            }
            at += static_cast<std::uint64_t>(ms);
        } else if (verb == "down" || verb == "move" || verb == "up" || verb == "tap") {
            long long x = 0, y = 0;
            if (!(words >> x >> y) || (words >> rest) || x < -32768 || x > 32767 || y < -32768 ||
                y > 32767) {
                return fail("expected X Y in client pixels");
            }
            Command c{Op::Down, at, static_cast<int>(x), static_cast<int>(y)};
            if (verb == "move") c.op = Op::Move;
            if (verb == "up") c.op = Op::Up;
            out->push_back(c);
            if (verb == "tap") {
                c.op = Op::Up;
                out->push_back(c);
            }
        } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
            // "key" presses and releases; "keydown control" ... "keyup control" holds a
            // modifier around other keys.
            std::string name;
            if (!(words >> name) || (words >> rest))
                return fail((verb + " takes one key name").c_str());
            UINT key = KeyByName(name);
            if (key == 0) return fail("unknown key name");
            Command c{verb == "keyup" ? Op::KeyUp : Op::KeyDown, at};
            c.key = key;
            out->push_back(c);
            if (verb == "key") {
                c.op = Op::KeyUp;
                out->push_back(c);
            }
        } else if (verb == "screenshot") {
            std::string file;
            std::getline(words >> std::ws, file);
            while (!file.empty() && std::isspace(static_cast<unsigned char>(file.back())))
                file.pop_back();
            if (file.empty()) return fail("screenshot takes a file name");
            Command c{Op::Screenshot, at};
            // "screenshot FILE screen" takes the whole screen instead of the active window.
            const std::string kScreen = " screen";
            if (file.size() > kScreen.size() &&
                file.compare(file.size() - kScreen.size(), kScreen.size(), kScreen) == 0) {
                c.wholeScreen = true;
                file.resize(file.size() - kScreen.size());
                while (!file.empty() && std::isspace(static_cast<unsigned char>(file.back())))
                    file.pop_back();
            }
            c.file = file;
            out->push_back(c);
        } else if (verb == "answer") {
            // The next message box is answered with this button instead of its first one.
            std::string name;
            if (!(words >> name) || (words >> rest)) return fail("answer takes one button");
            Command c{Op::Answer, at};
            c.key = static_cast<UINT>(AnswerByName(name));
            if (c.key == 0) return fail("unknown message-box button");
            out->push_back(c);
        } else if (verb == "close") {
            if (words >> rest) return fail("close takes nothing");
            out->push_back(Command{Op::Close, at});
        } else {
            return fail("unknown command");
        }
    }
    // A closing wait still counts: the script's end comes after it.
    if (out->empty() || out->back().due < at) out->push_back(Command{Op::Nothing, at});
    return true;
}

// The window commands address: the active top-level window, else the highest visible one.
HWND Target() {
    HWND active = GetForegroundWindow();
    if (active != nullptr && IsWindowVisible(active)) return active;
    HWND found = nullptr;
    for (const auto& t : platform::wm::TopWindowsBottomUp())
        if (t.visible) found = t.hwnd;
    return found;
}

bool OwnedByCaller(HWND hwnd) {
    return hwnd != nullptr &&
           GetWindowThreadProcessId(hwnd, nullptr) == platform::wm::CurrentThreadId();
}

void Execute(const Command& c, HWND target) {
    Player& p = GetPlayer();
    POINT pt{c.x, c.y};
    ClientToScreen(target, &pt);
    switch (c.op) {
    case Op::Down:
        p.buttonDown = true;
        platform::driver::InjectMouse(WM_LBUTTONDOWN, pt, MK_LBUTTON);
        break;
    case Op::Move:
        platform::driver::InjectMouse(WM_MOUSEMOVE, pt, p.buttonDown ? MK_LBUTTON : 0);
        break;
    case Op::Up:
        p.buttonDown = false;
        platform::driver::InjectMouse(WM_LBUTTONUP, pt, 0);
        break;
    case Op::KeyDown:
        platform::driver::InjectKey(WM_KEYDOWN, c.key);
        break;
    case Op::KeyUp:
        platform::driver::InjectKey(WM_KEYUP, c.key);
        break;
    case Op::Screenshot:
        if (!platform::wm::SaveBitmapFile(c.wholeScreen ? nullptr : target, c.file.c_str())) {
            std::fprintf(stderr, "tessark: cannot write the screenshot %s\n", c.file.c_str());
        }
        break;
    case Op::Answer:
        platform::dlg::QueueMessageBoxAnswer(static_cast<int>(c.key));
        break;
    case Op::Close:
        PostMessageW(target, WM_CLOSE, 0, 0);
        break;
    case Op::Nothing:
        break;
    }
}

// Runs the next command if it is due by `limit` (script time, or no limit) and its window
// belongs to the calling thread. With the simulated clock, time first moves to the command.
bool RunNext(std::uint64_t now, bool simulated, std::uint64_t limit) {
    HWND target = Target();
    if (!OwnedByCaller(target)) return false;
    Player& p = GetPlayer();
    Command c;
    {
        std::lock_guard lock(p.lock);
        if (p.closed) {
            // Each window that comes up after the end is closed once, as a user would; one
            // that refuses stays.
            for (HWND h : p.closing)
                if (h == target) return false;
            p.closing.push_back(target);
        } else if (!p.started) {
            p.started = true;
            p.start = now;
        }
        if (p.closed) {
            c = Command{Op::Close, 0};
        } else if (p.next >= p.commands.size()) {
            // A script that ends closes the program as a user would.
            p.closed = true;
            p.closing.push_back(target);
            c = Command{Op::Close, 0};
        } else {
            c = p.commands[p.next];
            std::uint64_t due = p.start + c.due;
            if (due > limit || (!simulated && due > now)) return false;
            ++p.next;
            if (simulated) platform::clock::AdvanceTo(due);
        }
    }
    Execute(c, target);
    return true;
}

std::uint64_t MsUntilNext() {
    Player& p = GetPlayer();
    std::lock_guard lock(p.lock);
    if (p.closed || !p.started || p.next >= p.commands.size()) return 0;
    std::uint64_t due = p.start + p.commands[p.next].due, now = platform::clock::NowMs();
    return due > now ? due - now : 0;
}

void Poll(DWORD maxWaitMs) {
    bool simulated = platform::clock::IsSimulated();
    std::uint64_t now = platform::clock::NowMs();
    if (RunNext(now, simulated, std::numeric_limits<std::uint64_t>::max())) return;
    // Nothing to do yet: rest until the next command or the caller's limit.
    std::uint64_t rest = std::min<std::uint64_t>(maxWaitMs, simulated ? 1 : MsUntilNext());
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max<std::uint64_t>(rest, 1)));
}

void BeforeAdvance(std::uint64_t ms) {
    RunNext(platform::clock::NowMs(), true, ms);
}

const platform::driver::Driver kScripted{
    "null", {nullptr, nullptr, nullptr}, {Poll}, {nullptr, nullptr}, {BeforeAdvance}};
const platform::driver::Driver kPlain{
    "null", {nullptr, nullptr, nullptr}, {nullptr}, {nullptr, nullptr}, {nullptr}};

} // namespace

const platform::driver::Driver* WithScript(const std::string& text, std::string* error) {
    std::vector<Command> commands;
    bool ok = Parse(text, &commands, error);
    Player& p = GetPlayer();
    std::lock_guard lock(p.lock);
    p.commands = ok ? std::move(commands) : std::vector<Command>{};
    p.next = 0;
    p.started = false;
    p.closed = false;
    p.closing.clear();
    p.buttonDown = false;
    return &kScripted;
}

const platform::driver::Driver* Driver() {
    const char* path = std::getenv("TESSARK_SCRIPT");
    if (path == nullptr || *path == 0) return &kPlain;
    std::ifstream file(path, std::ios::binary);
    std::string text, error;
    if (!file) {
        std::fprintf(stderr, "tessark: cannot read the script %s; closing\n", path);
    } else {
        std::ostringstream all;
        all << file.rdbuf();
        text = all.str();
    }
    const platform::driver::Driver* driver = WithScript(text, &error);
    if (!error.empty()) std::fprintf(stderr, "tessark: %s: %s; closing\n", path, error.c_str());
    return driver;
}

} // namespace platform::drivers::null
