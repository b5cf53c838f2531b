// The zz codec: one self-describing compressed block format shared by the game and the setup
// program. A zz block is the uncompressed size as a 4-byte little-endian prefix followed by an
// LZO1X-1 stream of those bytes. Every call may come from any thread; the compressor's work
// memory is shared, so calls are serialised.
#pragma once

#include "platform/types.h"

// Bytes of the prefix that opens every block.
constexpr DWORD kZZPrefixBytes = 4;

// Capacity zzalloc gives for `n` bytes: the LZO1X-1 worst case (n + n/64 + 16 + 3) plus 1024.
constexpr unsigned long long ZZCapacity(unsigned long long n) {
    return n + n / 64 + 19 + 1024;
}

// Compresses `size` bytes at `data` into a new block; *block (released with zzfree) and
// *blockSize are set only on success. On a codec error the last error is its LZO code.
bool zzcompress(BYTE** block, DWORD* blockSize, const void* data, DWORD size);

// Expands a block into a new buffer; *data (released with zzfree) and *size are set only on
// success. Never writes past the buffer the prefix asks for: a corrupt, truncated or foreign
// block fails (the last error is the LZO code), and so does a prefix larger than any LZO1X
// stream of that length could produce. Blocks of 4 bytes or fewer fail without allocating.
bool zzdecompress(BYTE** data, DWORD* size, const void* block, DWORD blockSize);

// A buffer of ZZCapacity(n) bytes in *buffer, its size in *capacity. False when memory ran out
// or the capacity does not fit 32 bits.
bool zzalloc(BYTE** buffer, DWORD* capacity, DWORD n);

// Releases a buffer from the calls above; null is ignored.
void zzfree(void* buffer);

// The numeric resource type of zz blocks in the program's own resources.
constexpr UINT kZZResourceType = 4999;

// Expands resource `id` of type 4999 from the program's own module into a new buffer
// (released with zzfree). On any failure (no such resource, a damaged block) *data is null and
// *size 0.
bool zzloadresource(UINT id, BYTE** data, DWORD* size);
