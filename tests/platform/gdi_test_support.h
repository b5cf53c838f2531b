// Small helpers for the drawing-layer tests: a DIB section selected into its own memory context.
#pragma once

#include "platform/gdi.h"

#include <cstring>
#include <vector>

struct TestDib {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    BYTE* bits = nullptr;
    int width = 0;
    int height = 0;
    int bpp = 0;
    int pitch = 0;

    // A top-down DIB; paletted depths get `table` (or a grey ramp when empty).
    TestDib(int w, int h, int depth, std::vector<RGBQUAD> table = {}) {
        width = w;
        height = h;
        bpp = depth;
        pitch = ((w * depth + 31) / 32) * 4;
        std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
        bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi->bmiHeader.biWidth = w;
        bi->bmiHeader.biHeight = -h;
        bi->bmiHeader.biPlanes = 1;
        bi->bmiHeader.biBitCount = static_cast<WORD>(depth);
        bi->bmiHeader.biCompression = BI_RGB;
        if (depth == 16) {
            bi->bmiHeader.biCompression = BI_BITFIELDS;
            DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
            std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), masks, sizeof(masks));
        }
        if (depth <= 8) {
            int n = 1 << depth;
            if (table.empty()) {
                for (int i = 0; i < n; ++i) {
                    BYTE v = static_cast<BYTE>(n == 1 ? 0 : i * 255 / (n - 1));
                    table.push_back({v, v, v, 0});
                }
            }
            table.resize(n);
            std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), table.data(), n * sizeof(RGBQUAD));
        }
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<BYTE*>(p);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~TestDib() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    TestDib(const TestDib&) = delete;
    TestDib& operator=(const TestDib&) = delete;

    BYTE* Row(int y) const { return bits + y * pitch; }
    WORD Get16(int x, int y) const {
        WORD v;
        std::memcpy(&v, Row(y) + 2 * x, 2);
        return v;
    }
    void Put16(int x, int y, WORD v) { std::memcpy(Row(y) + 2 * x, &v, 2); }
    DWORD Get24(int x, int y) const {
        const BYTE* p = Row(y) + 3 * x;
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    DWORD Get32(int x, int y) const {
        DWORD v;
        std::memcpy(&v, Row(y) + 4 * x, 4);
        return v;
    }
    int Get1(int x, int y) const { return (Row(y)[x / 8] >> (7 - x % 8)) & 1; }
    int Get4(int x, int y) const { return (Row(y)[x / 2] >> (x % 2 ? 0 : 4)) & 15; }
    void Fill(COLORREF c) {
        HBRUSH b = CreateSolidBrush(c);
        RECT r{0, 0, width, height};
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
};

inline WORD To555(int r, int g, int b) {
    return static_cast<WORD>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}
