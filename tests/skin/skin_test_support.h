// Skin archives made in memory for the skin tests: PSP images from the PSP writer (with an
// optional saved selection), WAVE sounds and a settings text, packed by the test ZIP builder.
#pragma once

#include "setup/unzipper.h"
#include "skin/skinlib.h"
#include "tests/setup/zip_builder.h"
#include "tools/psp/psp_writer.h"

#include <functional>
#include <string>
#include <vector>

namespace skintest {

// A paletted image whose pixel (x, y) has palette index index(x, y) (palette: index i is
// red i, green 255 - i, blue 7), with the selection select(x, y) when given.
inline ziptest::Bytes Psp(LONG w, LONG h, const std::function<BYTE(LONG, LONG)>& index,
                          const std::function<bool(LONG, LONG)>& select = nullptr) {
    psp::Image image;
    image.width = w, image.height = h, image.bitDepth = 8;
    for (int i = 0; i < 256; ++i)
        image.palette.push_back({static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7});
    std::vector<BYTE> px(static_cast<std::size_t>(w * h));
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            px[static_cast<std::size_t>(y * w + x)] = index(x, y);
    image.layers.push_back(psp::MakeIndexedLayer(w, h, px));
    if (select) {
        image.hasSelection = true;
        image.selection = RECT{0, 0, w, h};
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x)
                image.selectionBytes.push_back(select(x, y) ? 255 : 0);
    }
    return psp::Write(image);
}

// An 8-bit mono RIFF WAVE of eight samples.
inline ziptest::Bytes Wave() {
    static const BYTE wave[] = {'R', 'I', 'F',  'F',  44, 0,   0,   0,   'W', 'A', 'V', 'E',  'f',
                                'm', 't', ' ',  16,   0,  0,   0,   1,   0,   1,   0,   0x11, 0x2B,
                                0,   0,   0x11, 0x2B, 0,  0,   1,   0,   8,   0,   'd', 'a',  't',
                                'a', 8,   0,    0,    0,  128, 138, 148, 158, 168, 178, 188,  198};
    return ziptest::Bytes(wave, wave + sizeof wave);
}

inline ziptest::Entry File(const std::string& name, const ziptest::Bytes& bytes) {
    ziptest::Entry e;
    e.name = name;
    e.data = bytes;
    e.size = static_cast<std::uint32_t>(bytes.size());
    return e;
}

inline ziptest::Entry Text(const std::string& name, const std::string& text) {
    return File(name, ziptest::Bytes(text.begin(), text.end()));
}

// A skin made from entries; the archive bytes live as long as the holder.
struct SkinHolder {
    ziptest::Bytes bytes;
    Skin* skin = nullptr;
    explicit SkinHolder(const std::vector<ziptest::Entry>& entries)
        : bytes(ziptest::Archive(entries)) {
        skin = new (MM("SKIN"))
            Skin(new (MM("ZIPFILE")) ZIPFILE(bytes.data(), static_cast<DWORD>(bytes.size())));
    }
    ~SkinHolder() { MemDelete(skin, MM("SKIN")); }
    Skin* operator->() { return skin; }
};

inline SkinHolder Settings(const std::string& text) {
    return SkinHolder({Text("skin.txt", text)});
}

} // namespace skintest
