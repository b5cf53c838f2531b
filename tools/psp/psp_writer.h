// Writes Paint Shop Pro images in the block layout the engine's reader takes: 8-bit paletted
// or 24-bit, one or more layers, optional masks, an optional saved selection, and channels
// stored plain, run-length coded or zlib-compressed. A tool of the build (asset generators,
// tests, the fuzz corpus); the programs never write these files.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace psp {

enum Compression : WORD { kNone = 0, kRunLength = 1, kZlib = 2 };

// Bitmap types of a channel.
enum BitmapType : WORD { kImage = 0, kMask = 1, kUserMask = 2, kSelection = 3 };
// Channel types of an image channel.
enum ChannelType : WORD { kComposite = 0, kRed = 1, kGreen = 2, kBlue = 3 };

struct Color {
    BYTE red, green, blue;
};

struct Channel {
    WORD bitmapType;
    WORD channelType;
    std::vector<BYTE> bytes; // rows of the data rectangle, top first, no padding
    // When set, written as the uncompressed length instead of bytes.size().
    long long declaredLength = -1;
};

struct Layer {
    std::string name = "Layer";
    RECT image{};      // where the layer sits in the picture
    RECT savedImage{}; // its stored data, relative to `image`
    RECT mask{};       // of a user mask (bitmap type 2); all zero: the saved image rectangle
    std::vector<Channel> channels;
};

struct Image {
    LONG width = 0;
    LONG height = 0;
    WORD bitDepth = 8; // 8 (paletted) or 24
    Compression compression = kNone;
    std::vector<Color> palette;      // 8-bit images; written when not empty
    bool paletteAfterLayers = false; // puts the palette block after the layers
    std::vector<Layer> layers;
    bool hasSelection = false;
    RECT selection{};                 // the saved selection rectangle
    std::vector<BYTE> selectionBytes; // its rows, top first
};

// A full-size layer of an 8-bit image from width x height palette indices.
Layer MakeIndexedLayer(LONG width, LONG height, const std::vector<BYTE>& indices);
// A full-size layer of a 24-bit image from width x height red, green, blue triples.
Layer MakeRgbLayer(LONG width, LONG height, const std::vector<BYTE>& rgb);
// Appends a transparency mask of width x height bytes (0 clear ... 255 opaque) over the layer's
// saved rectangle. Bytes of 0 and 255 only make a hard mask; anything between a soft one.
void AddMask(Layer& layer, const std::vector<BYTE>& mask, WORD bitmapType = kMask);

// Compresses channel bytes as the image's compression says.
std::vector<BYTE> Compress(const std::vector<BYTE>& bytes, Compression compression);
// The whole file.
std::vector<BYTE> Write(const Image& image);
// Writes the file to `path`; false when it cannot be written.
bool WriteFile(const Image& image, const std::string& path);

} // namespace psp
