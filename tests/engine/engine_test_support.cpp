#include "engine_test_support.h"

#include "foundation/memory.h"
#include "platform/user.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex linesLock;
std::vector<std::string> lines;

void Collect(const char* line) {
    std::lock_guard lock(linesLock);
    lines.emplace_back(line);
}

// Every engine test binary draws with its own flavour's screen and ends with the memory
// manager's leak check.
class EngineEnvironment : public testing::Environment {
public:
    void SetUp() override { platform::gdi::UseCallerFlavour(); }
    void TearDown() override {
        EXPECT_EQ(MemExitCheck(), 0u)
            << "blocks still live at exit (TESSARK_MEMREPORT=1 lists them)";
    }
};

const testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace

TraceCapture::TraceCapture() {
    Clear();
    SetTraceHook(Collect);
}

TraceCapture::~TraceCapture() {
    SetTraceHook(nullptr);
}

const std::vector<std::string>& TraceCapture::Lines() const {
    return lines;
}

int TraceCapture::Count(const std::string& text) const {
    std::lock_guard lock(linesLock);
    int n = 0;
    for (const auto& l : lines)
        if (l.find(text) != std::string::npos) ++n;
    return n;
}

void TraceCapture::Clear() {
    std::lock_guard lock(linesLock);
    lines.clear();
}

std::string Hex(const void* address) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08lX",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(address)));
    return buffer;
}

void Fill(Graphic& g, const std::function<DWORD(LONG, LONG)>& value) {
    for (LONG y = 0; y < g.GetHeight(); ++y)
        for (LONG x = 0; x < g.GetWidth(); ++x)
            g.SetPixelValue(x, y, value(x, y));
}

std::vector<BYTE> MakeBmp(LONG width, LONG height, WORD bits, const std::vector<RGBQUAD>& table,
                          const std::vector<std::vector<BYTE>>& rowsTopFirst, bool topDown) {
    LONG stride = ((width * bits + 31) / 32) * 4;
    std::vector<BYTE> out(14 + 40);
    auto put32 = [&](std::size_t at, DWORD v) { std::memcpy(&out[at], &v, 4); };
    auto put16 = [&](std::size_t at, WORD v) { std::memcpy(&out[at], &v, 2); };
    out[0] = 'B', out[1] = 'M';
    put32(14, 40);
    put32(18, static_cast<DWORD>(width));
    put32(22, static_cast<DWORD>(topDown ? -height : height));
    put16(26, 1);
    put16(28, bits);
    for (const RGBQUAD& q : table) {
        out.push_back(q.rgbBlue), out.push_back(q.rgbGreen), out.push_back(q.rgbRed);
        out.push_back(0);
    }
    for (LONG i = 0; i < height; ++i) {
        const auto& row = rowsTopFirst[topDown ? i : height - 1 - i];
        std::vector<BYTE> padded(row);
        padded.resize(static_cast<std::size_t>(stride), 0);
        out.insert(out.end(), padded.begin(), padded.end());
    }
    put32(2, static_cast<DWORD>(out.size()));
    put32(10, static_cast<DWORD>(14 + 40 + 4 * table.size()));
    return out;
}

std::string TempPath(const std::string& name) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string dir = testing::TempDir();
    return dir + "engine_" + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" +
           info->name() + "_" + name;
}

HWND FindOwnWindow(const char* className) {
    struct Search {
        const char* className;
        HWND found;
    } search{className, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            char name[128] = {};
            GetClassNameA(hwnd, name, sizeof name);
            if (process == static_cast<DWORD>(getpid()) && std::strcmp(name, s->className) == 0) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}
