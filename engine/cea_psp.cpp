#include "engine/cea_psp.h"

#include "engine/cea_graphic.h"
#include "engine/cea_sprite.h"
#include "foundation/memory.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kBlockMarker = 0x004B427E;
constexpr DWORD kFileHeaderSize = 36;
enum : WORD {
    BLOCK_ATTRIBUTES = 0,
    BLOCK_PALETTE = 2,
    BLOCK_LAYER_START = 3,
    BLOCK_LAYER = 4,
    BLOCK_CHANNEL = 5,
    BLOCK_SELECTION = 6,
};
constexpr COLORREF kMaskedColor = 0x010000;

// A reading cursor: every read either takes all its bytes from inside the data or fails
// without moving.
class Cursor {
public:
    Cursor(const BYTE* data, DWORD size) : data_(data), size_(size), at_(0) {}
    DWORD Offset() const { return at_; }
    DWORD Size() const { return size_; }
    const BYTE* Here() const { return data_ + at_; }
    bool Has(DWORD n) const { return n <= size_ - at_; }
    bool Skip(DWORD n) {
        if (!Has(n)) return false;
        at_ += n;
        return true;
    }
    // Moves to an absolute offset; past the end it stops at the end (the next read fails).
    void MoveTo(std::uint64_t offset) { at_ = offset > size_ ? size_ : static_cast<DWORD>(offset); }
    bool U8(BYTE& v) {
        if (!Has(1)) return false;
        v = data_[at_++];
        return true;
    }
    bool U16(WORD& v) {
        if (!Has(2)) return false;
        v = static_cast<WORD>(data_[at_] | (data_[at_ + 1] << 8));
        at_ += 2;
        return true;
    }
    bool U32(DWORD& v) {
        if (!Has(4)) return false;
        v = static_cast<DWORD>(data_[at_]) | (static_cast<DWORD>(data_[at_ + 1]) << 8) |
            (static_cast<DWORD>(data_[at_ + 2]) << 16) | (static_cast<DWORD>(data_[at_ + 3]) << 24);
        at_ += 4;
        return true;
    }
    bool I32(LONG& v) {
        DWORD u;
        if (!U32(u)) return false;
        v = static_cast<LONG>(u);
        return true;
    }
    bool Rect(RECT& r) {
        if (!Has(16)) return false;
        I32(r.left), I32(r.top), I32(r.right), I32(r.bottom);
        return true;
    }

private:
    const BYTE* data_;
    DWORD size_;
    DWORD at_;
};

struct BlockHeader {
    WORD id;
    DWORD length;
    DWORD start; // offset of the first byte after the header
};

bool ReadBlockHeader(Cursor& c, BlockHeader& b) {
    if (!c.Has(10)) return false;
    DWORD start = c.Offset();
    DWORD marker = 0;
    c.U32(marker);
    if (marker != kBlockMarker) {
        c.MoveTo(start);
        return false;
    }
    c.U16(b.id);
    c.U32(b.length);
    b.start = c.Offset();
    return true;
}

std::uint64_t BlockEnd(const BlockHeader& b) {
    return static_cast<std::uint64_t>(b.start) + b.length;
}

struct Attributes {
    LONG width, height;
    WORD compression, bitDepth;
    WORD layerCount;
};

struct ReadState {
    Graphic* graphic;
    Sprite* sprite;
    Attributes attr;
    RGBQUAD palette[256];
    bool paletteRead, maskSeen, redDone, greenDone, blueDone;
    bool framesMade;
    std::uint64_t frameBytes; // pixels made for sprite frames so far
};
// Frames of one file together stay below this, whatever its layer count claims.
constexpr std::uint64_t kMaxFrameBytes = 128u << 20;

bool ReadAttributes(Cursor& c, Attributes& a) {
    DWORD chunk, colors, total, flags;
    LONG active;
    WORD planes;
    BYTE unit, grey;
    if (!c.U32(chunk) || chunk == 0) return false;
    if (!c.I32(a.width) || !c.I32(a.height) || !c.Skip(8) || !c.U8(unit) || !c.U16(a.compression) ||
        !c.U16(a.bitDepth) || !c.U16(planes) || !c.U32(colors) || !c.U8(grey) || !c.U32(total) ||
        !c.I32(active) || !c.U16(a.layerCount) || !c.U32(flags))
        return false;
    return true;
}

void ReadPalette(Cursor& c, const BlockHeader& b, ReadState& s) {
    DWORD chunk, count;
    std::memset(s.palette, 0, sizeof s.palette);
    if (c.U32(chunk) && c.U32(count)) {
        c.MoveTo(static_cast<std::uint64_t>(b.start) + chunk);
        DWORD n = std::min<DWORD>(count, 256);
        for (DWORD i = 0; i < n && c.Has(4); ++i) {
            const BYTE* p = c.Here();
            s.palette[i] = {p[0], p[1], p[2], p[3]};
            c.Skip(4);
        }
    }
    // The top entry is white whatever the file says: the programs rely on it.
    s.palette[255] = {255, 255, 255, 0};
    s.paletteRead = true;
}

struct LayerInfo {
    RECT image{}, savedImage{}, mask{}, savedMask{};
};

bool ReadLayerInfo(Cursor& c, LayerInfo& l) {
    DWORD start = c.Offset();
    DWORD length;
    WORD nameLength;
    BYTE type, b;
    if (!c.U32(length) || !c.U16(nameLength) || !c.Skip(nameLength) || !c.U8(type) ||
        !c.Rect(l.image) || !c.Rect(l.savedImage))
        return false;
    for (int i = 0; i < 5; ++i)
        if (!c.U8(b)) return false;
    if (!c.Rect(l.mask) || !c.Rect(l.savedMask)) return false;
    for (int i = 0; i < 3; ++i)
        if (!c.U8(b)) return false;
    c.MoveTo(static_cast<std::uint64_t>(start) + length);
    return true;
}

struct ChannelInfo {
    DWORD chunkSize, compressedLength, uncompressedLength;
    WORD bitmapType, channelType;
};

bool ReadChannelInfo(Cursor& c, ChannelInfo& ch) {
    return c.U32(ch.chunkSize) && c.U32(ch.compressedLength) && c.U32(ch.uncompressedLength) &&
           c.U16(ch.bitmapType) && c.U16(ch.channelType);
}

// A rectangle in 64 bits: file values added together must not overflow.
struct Area {
    std::int64_t left, top, right, bottom;
};

std::int64_t RectWidth(const Area& r) {
    return r.right - r.left;
}

// The rectangle of a channel's decoded rows, in target pixels.
Area DataRect(const LayerInfo& l, WORD bitmapType) {
    const RECT& base = (bitmapType == 2 && l.mask.right != 0) ? l.mask : l.savedImage;
    return {std::int64_t{base.left} + l.image.left, std::int64_t{base.top} + l.image.top,
            std::int64_t{base.right} + l.image.left, std::int64_t{base.bottom} + l.image.top};
}

void ApplyImageChannel(Graphic* target, const BYTE* bytes, DWORD length, const Area& rect,
                       WORD channelType, ReadState& s) {
    std::int64_t w = RectWidth(rect);
    LONG tw = target->GetWidth(), th = target->GetHeight();
    DWORD bits = target->GetBitsPerPixel();
    BYTE* pixels = target->GetBits();
    std::int64_t pitch = target->GetPitch();
    // The common layouts are written straight into the rows: one byte per pixel for palette
    // indices, one byte of three for a colour channel.
    int step = 0, offset = 0;
    if (bits == 8 && channelType == 0) step = 1;
    if (bits == 24 && channelType >= 1 && channelType <= 3) step = 3, offset = 3 - channelType;
    if (w > 0 && pixels) {
        std::int64_t first = std::max<std::int64_t>(rect.left, 0);
        std::int64_t last = std::min<std::int64_t>(rect.right, tw);
        for (std::int64_t y = rect.top, row = 0; y < rect.bottom && row < length; ++y, row += w) {
            if (y < 0 || y >= th) continue;
            for (std::int64_t x = first; x < last; ++x) {
                std::int64_t at = row + (x - rect.left);
                if (at >= length) break;
                DWORD v = bytes[at];
                if (step) {
                    pixels[y * pitch + x * step + offset] = static_cast<BYTE>(v);
                    continue;
                }
                if (channelType != 0) {
                    int shift = channelType == 1 ? 16 : channelType == 2 ? 8 : 0;
                    v = (target->GetPixelValue(static_cast<LONG>(x), static_cast<LONG>(y)) &
                         ~(0xFFu << shift)) |
                        (v << shift);
                }
                target->SetPixelValue(static_cast<LONG>(x), static_cast<LONG>(y), v);
            }
        }
    }
    switch (channelType) {
    case 0:
        s.redDone = s.greenDone = s.blueDone = true;
        break;
    case 1:
        s.redDone = true;
        break;
    case 2:
        s.greenDone = true;
        break;
    case 3:
        s.blueDone = true;
        break;
    default:
        break;
    }
}

BYTE MaskByte(const BYTE* bytes, DWORD length, const Area& rect, LONG x, LONG y) {
    if (x < rect.left || x >= rect.right || y < rect.top || y >= rect.bottom) return 0;
    std::uint64_t at = static_cast<std::uint64_t>(y - rect.top) * RectWidth(rect) +
                       static_cast<std::uint64_t>(x - rect.left);
    return at < length ? bytes[at] : 0;
}

void ApplyMaskChannel(Graphic* target, const BYTE* bytes, DWORD length, const Area& rect,
                      bool& firstSoft, ReadState& s) {
    s.maskSeen = true;
    bool opaque = true, partial = false;
    for (DWORD i = 0; i < length; ++i) {
        if (bytes[i] < 255) opaque = false;
        if (bytes[i] > 0 && bytes[i] < 255) partial = true;
    }
    if (opaque) return;
    LONG tw = target->GetWidth(), th = target->GetHeight();
    if (!partial) {
        GRAPHIC_TRANSLUCENCY* t = target->GetTranslucency();
        bool map = t && t->mode == 2 && t->pbOpacity;
        for (LONG y = 0; y < th; ++y)
            for (LONG x = 0; x < tw; ++x)
                if (MaskByte(bytes, length, rect, x, y) == 0) {
                    target->SetPixelColor(x, y, kMaskedColor);
                    if (map) t->pbOpacity[static_cast<std::size_t>(y) * t->cbOpacityStride + x] = 0;
                }
        target->SetTransparency(kMaskedColor);
        return;
    }
    GRAPHIC_TRANSLUCENCY* t = target->GetTranslucency();
    if (!t || t->mode != 2 || !t->pbOpacity) {
        if (!target->SetTranslucency(2, 128)) return;
        t = target->GetTranslucency();
    }
    bool keyed = target->GetTransparency() == kMaskedColor;
    for (LONG y = 0; y < th; ++y)
        for (LONG x = 0; x < tw; ++x) {
            BYTE& o = t->pbOpacity[static_cast<std::size_t>(y) * t->cbOpacityStride + x];
            BYTE m = MaskByte(bytes, length, rect, x, y);
            o = firstSoft ? m : static_cast<BYTE>(o * m / 255);
            if (keyed && target->GetPixelColor(x, y) == kMaskedColor) o = 0;
        }
    firstSoft = false;
}

bool MakeTarget(ReadState& s, Graphic*& target) {
    const RGBQUAD* colors = s.paletteRead ? s.palette : nullptr;
    if (s.sprite && s.attr.layerCount > 1) {
        std::uint64_t bytes = static_cast<std::uint64_t>(std::max<LONG>(s.attr.width, 0)) *
                              static_cast<std::uint64_t>(std::max<LONG>(s.attr.height, 0)) *
                              ((s.attr.bitDepth + 7u) / 8u);
        if (s.frameBytes + bytes > kMaxFrameBytes) return false;
        s.frameBytes += bytes;
        auto* frame = new (MM("GRAPHIC"))
            Graphic(s.attr.width, s.attr.height, static_cast<DWORD>(s.attr.bitDepth), colors);
        if (!frame->IsLoaded()) {
            MemDelete(frame, MM("GRAPHIC"));
            return false;
        }
        if (!s.sprite->AppendFrame(frame)) {
            MemDelete(frame, MM("GRAPHIC"));
            return false;
        }
        s.framesMade = true;
        target = frame;
        return true;
    }
    if (!s.graphic->CreateSurface(s.attr.width, s.attr.height, static_cast<DWORD>(s.attr.bitDepth),
                                  colors))
        return false;
    target = s.graphic;
    return true;
}

// Reads the layers of one layer-start block. False only when a target could not be made.
bool ReadLayers(Cursor& c, const BlockHeader& start, ReadState& s) {
    for (LONG i = 0; i < s.attr.layerCount; ++i) {
        if (i == 1 && (s.attr.layerCount == 1 || !s.sprite)) return true;
        Graphic* target = nullptr;
        if (!MakeTarget(s, target)) return false;
        BlockHeader layer;
        if (!ReadBlockHeader(c, layer) || layer.id != BLOCK_LAYER) return true;
        if (BlockEnd(layer) > BlockEnd(start)) return true;
        LayerInfo info;
        if (!ReadLayerInfo(c, info)) return true;
        DWORD bitmapChunk;
        WORD bitmaps, channels;
        if (!c.U32(bitmapChunk) || bitmapChunk != 8 || !c.U16(bitmaps) || !c.U16(channels))
            return true;
        bool firstSoft = true;
        for (WORD k = 0; k < channels; ++k) {
            BlockHeader ch;
            if (!ReadBlockHeader(c, ch)) break;
            if (ch.id != BLOCK_CHANNEL) {
                c.MoveTo(BlockEnd(ch));
                continue;
            }
            ChannelInfo ci;
            if (!ReadChannelInfo(c, ci)) break;
            std::uint64_t limit = static_cast<std::uint64_t>((target->GetWidth() + 3) / 4) * 4 *
                                  static_cast<std::uint64_t>(target->GetHeight());
            DWORD expected =
                static_cast<DWORD>(std::min<std::uint64_t>(ci.uncompressedLength, limit));
            if (ci.bitmapType <= 2 && c.Has(ci.compressedLength)) {
                BYTE* bytes =
                    PspDecode(c.Here(), ci.compressedLength, &expected, s.attr.compression);
                if (bytes) {
                    Area rect = DataRect(info, ci.bitmapType);
                    if (ci.bitmapType == 0)
                        ApplyImageChannel(target, bytes, expected, rect, ci.channelType, s);
                    else
                        ApplyMaskChannel(target, bytes, expected, rect, firstSoft, s);
                    PspFreeDecoded(bytes);
                }
            }
            c.MoveTo(BlockEnd(ch));
        }
        c.MoveTo(BlockEnd(layer));
    }
    return true;
}

void ReadSelection(Cursor& c, ReadState& s) {
    DWORD start = c.Offset();
    DWORD length, chunk;
    RECT rect{}, saved{};
    WORD bitmaps, channels;
    if (!c.U32(length) || !c.Rect(rect) || !c.Rect(saved)) return;
    c.MoveTo(static_cast<std::uint64_t>(start) + length);
    if (!c.U32(chunk) || chunk != 8 || !c.U16(bitmaps) || bitmaps != 1 || !c.U16(channels) ||
        channels != 1)
        return;
    BlockHeader ch;
    ChannelInfo ci;
    if (!ReadBlockHeader(c, ch) || ch.id != BLOCK_CHANNEL || !ReadChannelInfo(c, ci) ||
        ci.bitmapType != 3 || !c.Has(ci.compressedLength))
        return;
    LONG w = s.attr.width, h = s.attr.height;
    if (w <= 0 || h <= 0 || static_cast<std::uint64_t>(w) * h > (64u << 20)) return;
    DWORD expected = static_cast<DWORD>(
        std::min<std::uint64_t>(ci.uncompressedLength, static_cast<std::uint64_t>(w) * h));
    BYTE* bytes = PspDecode(c.Here(), ci.compressedLength, &expected, s.attr.compression);
    if (!bytes) return;
    DWORD size = static_cast<DWORD>(w) * static_cast<DWORD>(h);
    auto* mask = static_cast<BYTE*>(MemAlloc(size, MM("*pcbSelection")));
    if (mask) {
        std::memset(mask, 0, size);
        DWORD at = 0;
        for (LONG y = 0; y < saved.bottom && y < h; ++y) {
            if (y < saved.top) continue;
            for (LONG x = saved.left; x < saved.right && at < expected; ++x, ++at)
                if (x >= 0 && x < w) mask[static_cast<std::size_t>(y) * w + x] = bytes[at];
        }
        s.graphic->AttachSelection(mask, size);
    }
    PspFreeDecoded(bytes);
}

} // namespace

BYTE* PspDecode(const BYTE* compressed, DWORD compressedLength, DWORD* expected, WORD compression) {
    DWORD size = *expected;
    if (compression == PSP_COMP_NONE) size = compressedLength;
    auto* out = static_cast<BYTE*>(MemAlloc(size ? size : 1, MM("*pcbNorm")));
    if (!out) {
        *expected = 0;
        return nullptr;
    }
    std::memset(out, 0, size ? size : 1);
    bool ok = false;
    switch (compression) {
    case PSP_COMP_NONE:
        std::memcpy(out, compressed, compressedLength);
        ok = true;
        break;
    case PSP_COMP_RLE: {
        DWORD in = 0, produced = 0;
        while (in < compressedLength) {
            BYTE count = compressed[in++];
            if (count > 128) {
                if (in >= compressedLength) break;
                BYTE value = compressed[in++];
                for (int k = 0; k < count - 128; ++k, ++produced)
                    if (produced < size) out[produced] = value;
            } else {
                for (int k = 0; k < count && in < compressedLength; ++k, ++produced, ++in)
                    if (produced < size) out[produced] = compressed[in];
            }
        }
        ok = true;
        break;
    }
    case PSP_COMP_LZ77: {
        z_stream z{};
        z.next_in = const_cast<Bytef*>(compressed);
        z.avail_in = compressedLength;
        z.next_out = out;
        z.avail_out = size;
        if (inflateInit_(&z, "1.1.3", static_cast<int>(sizeof(z_stream))) != Z_OK) break;
        int result = inflate(&z, Z_FINISH);
        DWORD produced = size - z.avail_out;
        inflateEnd(&z);
        if (result != Z_STREAM_END) break;
        if (produced > 0) std::memset(out + produced, out[produced - 1], size - produced);
        ok = true;
        break;
    }
    default:
        break;
    }
    if (!ok) {
        MemFree(out, MM("*pcbNorm"));
        *expected = 0;
        return nullptr;
    }
    *expected = size;
    return out;
}

void PspFreeDecoded(BYTE* buffer) {
    MemFree(buffer, MM("*pcbNorm"));
}

bool PspRead(Graphic* graphic, Sprite* sprite, const BYTE* data, DWORD size, COLORREF transparent) {
    if (!graphic || !data || size < kFileHeaderSize) return false;
    Cursor c(data, size);
    c.Skip(kFileHeaderSize);
    BlockHeader b;
    if (!ReadBlockHeader(c, b) || b.id != BLOCK_ATTRIBUTES) return false;
    ReadState s{};
    s.graphic = graphic;
    s.sprite = sprite;
    if (!ReadAttributes(c, s.attr)) return false;
    c.MoveTo(b.start + 46u);
    while (ReadBlockHeader(c, b)) {
        switch (b.id) {
        case BLOCK_PALETTE:
            ReadPalette(c, b, s);
            break;
        case BLOCK_LAYER_START:
            if (!ReadLayers(c, b, s)) return false;
            break;
        case BLOCK_SELECTION:
            ReadSelection(c, s);
            break;
        default:
            break;
        }
        c.MoveTo(BlockEnd(b));
    }
    if (!s.maskSeen) {
        if (s.framesMade) {
            for (DWORD i = 0; i < sprite->GetFrameCount(); ++i)
                if (Graphic* f = sprite->GetFrame(i)) f->SetTransparency(transparent);
        } else if (graphic->IsLoaded()) {
            graphic->SetTransparency(transparent);
        }
    }
    return s.redDone && s.greenDone && s.blueDone;
}
