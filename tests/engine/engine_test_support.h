// Helpers of the engine tests: trace capture, graphics filled from a function, BMP bytes.
#pragma once

#include "engine/cea_graphic.h"
#include "foundation/tl_dialog.h"

#include <functional>
#include <string>
#include <vector>

// Collects every trace line written while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    const std::vector<std::string>& Lines() const;
    // How many lines contain `text`.
    int Count(const std::string& text) const;
    void Clear();
};

// The address as the engine prints it in its traces.
std::string Hex(const void* address);

// Fills every pixel with value(x, y).
void Fill(Graphic& g, const std::function<DWORD(LONG, LONG)>& value);

// A BMP file in memory: rows given top first; stored bottom-up unless `topDown`.
std::vector<BYTE> MakeBmp(LONG width, LONG height, WORD bits, const std::vector<RGBQUAD>& table,
                          const std::vector<std::vector<BYTE>>& rowsTopFirst, bool topDown);

// A scratch file path unique to the test.
std::string TempPath(const std::string& name);

// This process's top-level window of the class, or null. FindWindow would also see the windows
// of other test processes running at the same time.
HWND FindOwnWindow(const char* className);
