// The Paint Shop Pro image reader: fills a Graphic (or, for a multi-layer image read with a
// sprite, one frame graphic per layer) from the subset of the format the programs carry:
// attributes, palette, layer channels with their masks, and the saved selection. Every read
// is bounds-checked; a damaged file fails or has its unusable parts skipped.
#pragma once

#include "platform/types.h"

class Graphic;
class Sprite;

// Channel compressions of the image attributes.
enum PspCompression : WORD { PSP_COMP_NONE = 0, PSP_COMP_RLE = 1, PSP_COMP_LZ77 = 2 };

// Reads PSP data into `graphic` (created here) or into new frames of `sprite`. True when the
// red, green and blue of the image were all read.
bool PspRead(Graphic* graphic, Sprite* sprite, const BYTE* data, DWORD size, COLORREF transparent);

// Expands one channel into a new buffer of *expected bytes (MemAlloc, label "*pcbNorm"),
// or returns null with *expected set to 0.
BYTE* PspDecode(const BYTE* compressed, DWORD compressedLength, DWORD* expected, WORD compression);
void PspFreeDecoded(BYTE* buffer);
