#include "foundation/zz.h"

#include "foundation/memory.h"
#include "platform/base.h"
#include "platform/resource.h"

#include <lzo/lzo1x.h>

#include <cstring>
#include <mutex>

namespace {

// An LZO1X instruction never yields more than 255 bytes per byte of stream (long matches cost
// one zero byte per 255 of length), so a prefix beyond this cannot be honest and would only
// make us reserve memory for nothing.
constexpr unsigned long long kMaxExpansion = 256;

struct Codec {
    bool ready = false;
    void* work = nullptr;
    CRITICAL_SECTION lock;
};

Codec g_codec;
std::once_flag g_codecOnce;

void StartCodec() {
    if (lzo_init() != LZO_E_OK) return;
    g_codec.work = MemAlloc(LZO1X_1_MEM_COMPRESS + 1024, MM("LZO1X_1_MEM_COMPRESS + 1024"));
    if (!g_codec.work) return;
    // Kept for the life of the process: every later call reuses it.
    MemTare(g_codec.work, MM("LZO1X_1_MEM_COMPRESS + 1024"));
    InitializeCriticalSection(&g_codec.lock);
    g_codec.ready = true;
}

// Holds the codec's lock for one operation; false from Enter when the codec cannot start.
class CodecLock {
public:
    bool Enter() {
        std::call_once(g_codecOnce, StartCodec);
        if (!g_codec.ready) return false;
        EnterCriticalSection(&g_codec.lock);
        held_ = true;
        return true;
    }
    ~CodecLock() {
        if (held_) LeaveCriticalSection(&g_codec.lock);
    }

private:
    bool held_ = false;
};

void StorePrefix(BYTE* out, DWORD n) {
    out[0] = static_cast<BYTE>(n);
    out[1] = static_cast<BYTE>(n >> 8);
    out[2] = static_cast<BYTE>(n >> 16);
    out[3] = static_cast<BYTE>(n >> 24);
}

DWORD ReadPrefix(const BYTE* in) {
    return static_cast<DWORD>(in[0]) | (static_cast<DWORD>(in[1]) << 8) |
           (static_cast<DWORD>(in[2]) << 16) | (static_cast<DWORD>(in[3]) << 24);
}

} // namespace

bool zzalloc(BYTE** buffer, DWORD* capacity, DWORD n) {
    unsigned long long bytes = ZZCapacity(n);
    if (bytes > 0xFFFFFFFFull) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    auto* p = static_cast<BYTE*>(MemAlloc(static_cast<std::size_t>(bytes), MM("*pcbOut")));
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    *buffer = p;
    *capacity = static_cast<DWORD>(bytes);
    return true;
}

void zzfree(void* buffer) {
    MemFree(buffer, MM("*pcbOut"));
}

bool zzcompress(BYTE** block, DWORD* blockSize, const void* data, DWORD size) {
    CodecLock lock;
    if (!lock.Enter()) return false;
    if (size > 0xFFFFFFFFu - kZZPrefixBytes || (size && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    BYTE* out = nullptr;
    DWORD capacity = 0;
    if (!zzalloc(&out, &capacity, size + kZZPrefixBytes)) return false;
    StorePrefix(out, size);
    // LZO reads nothing for an empty input, but wants a valid pointer all the same.
    static const BYTE kNothing = 0;
    const auto* in = size ? static_cast<const BYTE*>(data) : &kNothing;
    lzo_uint packed = 0;
    int rc = lzo1x_1_compress(in, size, out + kZZPrefixBytes, &packed, g_codec.work);
    if (rc != LZO_E_OK) {
        SetLastError(static_cast<DWORD>(rc));
        zzfree(out);
        return false;
    }
    *block = out;
    *blockSize = static_cast<DWORD>(packed + kZZPrefixBytes);
    return true;
}

bool zzdecompress(BYTE** data, DWORD* size, const void* block, DWORD blockSize) {
    CodecLock lock;
    if (!lock.Enter()) return false;
    if (blockSize <= kZZPrefixBytes || !block) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto* in = static_cast<const BYTE*>(block);
    DWORD n = ReadPrefix(in);
    DWORD stream = blockSize - kZZPrefixBytes;
    if (n > kMaxExpansion * stream) {
        SetLastError(static_cast<DWORD>(LZO_E_ERROR));
        return false;
    }
    BYTE* out = nullptr;
    DWORD capacity = 0;
    if (!zzalloc(&out, &capacity, n)) return false;
    lzo_uint produced = capacity;
    // The checking decompressor: a damaged stream stops at the buffer's end instead of
    // running past it.
    int rc = lzo1x_decompress_safe(in + kZZPrefixBytes, stream, out, &produced, nullptr);
    if (rc != LZO_E_OK) {
        SetLastError(static_cast<DWORD>(rc));
        zzfree(out);
        return false;
    }
    *data = out;
    *size = static_cast<DWORD>(produced);
    return true;
}

bool zzloadresource(UINT id, BYTE** data, DWORD* size) {
    *data = nullptr;
    *size = 0;
    static const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kZZResourceType));
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    BYTE* out = nullptr;
    DWORD n = 0;
    if (!zzdecompress(&out, &n, bytes, SizeofResource(module, found))) return false;
    *data = out;
    *size = n;
    return true;
}
