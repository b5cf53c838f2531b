// Builds dialog templates in the platform's binary layout for the dialog tests.
#pragma once

#include "platform/user.h"

#include <cstring>
#include <string>
#include <vector>

class TemplateBuilder {
public:
    TemplateBuilder(DWORD style, short cx, short cy, const std::u16string& title,
                    const std::u16string& className = {}) {
        DLGTEMPLATE t{};
        t.style = style | DS_SETFONT;
        t.cx = cx;
        t.cy = cy;
        Put(&t, sizeof t);
        Word(0); // no menu
        if (className.empty()) {
            Word(0);
        } else {
            String(className);
        }
        String(title);
        Word(8);
        String(u"MS Shell Dlg");
    }
    // `classAtom` 0x80 button, 0x82 static; a non-empty `className` names any other class.
    TemplateBuilder& Item(WORD classAtom, DWORD style, short x, short y, short cx, short cy,
                          WORD id, const std::u16string& text,
                          const std::u16string& className = {}) {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
        DLGITEMTEMPLATE item{};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Put(&item, sizeof item);
        if (className.empty()) {
            Word(0xFFFF);
            Word(classAtom);
        } else {
            String(className);
        }
        String(text);
        Word(0);
        ++count_;
        std::memcpy(bytes_.data() + offsetof(DLGTEMPLATE, cdit), &count_, sizeof count_);
        return *this;
    }
    const DLGTEMPLATE* Get() {
        aligned_.assign((bytes_.size() + 3) / 4, 0);
        std::memcpy(aligned_.data(), bytes_.data(), bytes_.size());
        return reinterpret_cast<const DLGTEMPLATE*>(aligned_.data());
    }

private:
    void Put(const void* p, std::size_t n) {
        auto* b = static_cast<const BYTE*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void Word(WORD w) { Put(&w, 2); }
    void String(const std::u16string& s) {
        for (char16_t c : s)
            Word(static_cast<WORD>(c));
        Word(0);
    }
    std::vector<BYTE> bytes_;
    std::vector<DWORD> aligned_;
    WORD count_ = 0;
};

#ifdef TESSARK_DIALOG_TEST_BMP
#include "tests/platform/gdi_test_support.h"
#include <cstdio>

// Saves a 24-bit test bitmap for looking at.
inline void WriteBmp(const TestDib& dib, const char* path) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = dib.width;
    info.biHeight = -dib.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(dib.pitch * dib.height);
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return;
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    std::fwrite(dib.bits, static_cast<std::size_t>(dib.pitch), static_cast<std::size_t>(dib.height),
                f);
    std::fclose(f);
}
#endif
