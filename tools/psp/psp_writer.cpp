#include "tools/psp/psp_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace psp {

namespace {

void Put8(std::vector<BYTE>& out, unsigned v) {
    out.push_back(static_cast<BYTE>(v));
}
void Put16(std::vector<BYTE>& out, unsigned v) {
    Put8(out, v & 0xFF);
    Put8(out, (v >> 8) & 0xFF);
}
void Put32(std::vector<BYTE>& out, unsigned long v) {
    Put16(out, v & 0xFFFF);
    Put16(out, (v >> 16) & 0xFFFF);
}
void PutRect(std::vector<BYTE>& out, const RECT& r) {
    Put32(out, static_cast<DWORD>(r.left));
    Put32(out, static_cast<DWORD>(r.top));
    Put32(out, static_cast<DWORD>(r.right));
    Put32(out, static_cast<DWORD>(r.bottom));
}
void PutBlock(std::vector<BYTE>& out, WORD id, const std::vector<BYTE>& body) {
    out.insert(out.end(), {0x7E, 0x42, 0x4B, 0x00});
    Put16(out, id);
    Put32(out, static_cast<DWORD>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<BYTE> ChannelBlock(const Channel& c, Compression compression) {
    std::vector<BYTE> data = Compress(c.bytes, compression);
    std::vector<BYTE> body;
    Put32(body, 16);
    Put32(body, static_cast<DWORD>(data.size()));
    Put32(body, c.declaredLength >= 0 ? static_cast<DWORD>(c.declaredLength)
                                      : static_cast<DWORD>(c.bytes.size()));
    Put16(body, c.bitmapType);
    Put16(body, c.channelType);
    body.insert(body.end(), data.begin(), data.end());
    std::vector<BYTE> block;
    PutBlock(block, 5, body);
    return block;
}

std::vector<BYTE> LayerBlock(const Layer& l, Compression compression) {
    std::vector<BYTE> info;
    Put16(info, static_cast<unsigned>(l.name.size()));
    info.insert(info.end(), l.name.begin(), l.name.end());
    Put8(info, 1); // a raster layer
    PutRect(info, l.image);
    PutRect(info, l.savedImage);
    Put8(info, 255); // opacity
    Put8(info, 0);   // normal blending
    Put8(info, 1);   // visible
    Put8(info, 0);   // transparency not protected
    Put8(info, 0);   // no link group
    PutRect(info, l.mask);
    PutRect(info, l.mask);
    Put8(info, 0);
    Put8(info, 0);
    Put8(info, 0);
    std::vector<BYTE> body;
    Put32(body, static_cast<DWORD>(info.size() + 4));
    body.insert(body.end(), info.begin(), info.end());
    Put32(body, 8);
    unsigned masks = 0;
    for (const Channel& c : l.channels)
        if (c.bitmapType != kImage) ++masks;
    Put16(body, 1 + masks);
    Put16(body, static_cast<unsigned>(l.channels.size()));
    for (const Channel& c : l.channels) {
        std::vector<BYTE> ch = ChannelBlock(c, compression);
        body.insert(body.end(), ch.begin(), ch.end());
    }
    std::vector<BYTE> block;
    PutBlock(block, 4, body);
    return block;
}

std::vector<BYTE> PaletteBlock(const std::vector<Color>& palette) {
    std::vector<BYTE> body;
    Put32(body, 8);
    Put32(body, static_cast<DWORD>(palette.size()));
    for (const Color& c : palette) {
        Put8(body, c.blue);
        Put8(body, c.green);
        Put8(body, c.red);
        Put8(body, 0);
    }
    std::vector<BYTE> block;
    PutBlock(block, 2, body);
    return block;
}

} // namespace

Layer MakeIndexedLayer(LONG width, LONG height, const std::vector<BYTE>& indices) {
    Layer l;
    l.image = l.savedImage = {0, 0, width, height};
    l.channels.push_back({kImage, kComposite, indices});
    return l;
}

Layer MakeRgbLayer(LONG width, LONG height, const std::vector<BYTE>& rgb) {
    Layer l;
    l.image = l.savedImage = {0, 0, width, height};
    std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (WORD type = kRed; type <= kBlue; ++type) {
        Channel c{kImage, type, std::vector<BYTE>(n), -1};
        for (std::size_t i = 0; i < n && 3 * i + 2 < rgb.size(); ++i)
            c.bytes[i] = rgb[3 * i + (type - kRed)];
        l.channels.push_back(std::move(c));
    }
    return l;
}

void AddMask(Layer& layer, const std::vector<BYTE>& mask, WORD bitmapType) {
    layer.channels.push_back({bitmapType, kComposite, mask, -1});
}

std::vector<BYTE> Compress(const std::vector<BYTE>& bytes, Compression compression) {
    if (compression == kRunLength) {
        std::vector<BYTE> out;
        std::size_t i = 0;
        while (i < bytes.size()) {
            std::size_t run = 1;
            while (i + run < bytes.size() && run < 127 && bytes[i + run] == bytes[i])
                ++run;
            if (run >= 3) {
                out.push_back(static_cast<BYTE>(128 + run));
                out.push_back(bytes[i]);
                i += run;
                continue;
            }
            // A literal stretch up to the next run of three or 128 bytes.
            std::size_t start = i, n = 0;
            while (i < bytes.size() && n < 128) {
                if (i + 2 < bytes.size() && bytes[i] == bytes[i + 1] && bytes[i] == bytes[i + 2])
                    break;
                ++i, ++n;
            }
            out.push_back(static_cast<BYTE>(n));
            out.insert(out.end(), bytes.begin() + static_cast<long>(start),
                       bytes.begin() + static_cast<long>(start + n));
        }
        return out;
    }
    if (compression == kZlib) {
        uLongf size = compressBound(static_cast<uLong>(bytes.size()));
        std::vector<BYTE> out(size);
        if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), 9) != Z_OK)
            return {};
        out.resize(size);
        return out;
    }
    return bytes;
}

std::vector<BYTE> Write(const Image& image) {
    std::vector<BYTE> out(32, 0);
    const char signature[] = "Paint Shop Pro Image File\n\x1a";
    std::memcpy(out.data(), signature, sizeof signature - 1);
    Put16(out, 4); // major version
    Put16(out, 0); // minor version

    std::vector<BYTE> attr;
    Put32(attr, 46);
    Put32(attr, static_cast<DWORD>(image.width));
    Put32(attr, static_cast<DWORD>(image.height));
    double resolution = 72.0;
    BYTE raw[8];
    std::memcpy(raw, &resolution, 8);
    attr.insert(attr.end(), raw, raw + 8);
    Put8(attr, 1);
    Put16(attr, image.compression);
    Put16(attr, image.bitDepth);
    Put16(attr, image.bitDepth == 24 ? 3 : 1);
    Put32(attr, image.bitDepth == 24 ? 1u << 24 : 256);
    Put8(attr, 0);
    Put32(attr, static_cast<DWORD>(image.width * image.height * (image.bitDepth / 8)));
    Put32(attr, 0);
    Put16(attr, static_cast<unsigned>(image.layers.size()));
    Put32(attr, 0);
    PutBlock(out, 0, attr);

    std::vector<BYTE> palette;
    if (!image.palette.empty()) palette = PaletteBlock(image.palette);
    if (!image.paletteAfterLayers) out.insert(out.end(), palette.begin(), palette.end());

    std::vector<BYTE> layers;
    for (const Layer& l : image.layers) {
        std::vector<BYTE> block = LayerBlock(l, image.compression);
        layers.insert(layers.end(), block.begin(), block.end());
    }
    PutBlock(out, 3, layers);
    if (image.paletteAfterLayers) out.insert(out.end(), palette.begin(), palette.end());

    if (image.hasSelection) {
        std::vector<BYTE> body;
        Put32(body, 36);
        PutRect(body, image.selection);
        PutRect(body, image.selection);
        Put32(body, 8);
        Put16(body, 1);
        Put16(body, 1);
        std::vector<BYTE> ch =
            ChannelBlock({kSelection, kComposite, image.selectionBytes, -1}, image.compression);
        body.insert(body.end(), ch.begin(), ch.end());
        PutBlock(out, 6, body);
    }
    return out;
}

bool WriteFile(const Image& image, const std::string& path) {
    std::vector<BYTE> bytes = Write(image);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace psp
