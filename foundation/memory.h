// The process-wide memory manager. Small blocks come from 1 MB chunks in 128-byte size
// classes; every live block is findable by address and carries its type name, the source
// position that made it and a signature at both ends, so bad releases, overwrites and leaks
// are reported with the place that caused them. Objects made by the ordinary `new` can be
// tracked as well. All entry points are thread-safe.
//
// Call sites name themselves through MM("TYPE"):
//     auto* p = static_cast<BYTE*>(MemAlloc(64, MM("SEQDATA_MOVEPIECE")));
//     MemFree(p, MM("SEQDATA_MOVEPIECE"));
//     Sprite* s = new (MM("SPRITE")) Sprite(...);
//     MemDelete(s, MM("SPRITE"));
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <new>
#include <type_traits>

// Where an allocation or release is made: the type name and the caller's source position.
struct MemSite {
    const char* type;
    const char* file;
    long line;
};

#define MM(type) (MemSite{(type), __FILE__, static_cast<long>(__LINE__)})

// Block kinds, as recorded in the header.
enum MemKind : BYTE { MEMKIND_RAW = 0, MEMKIND_OBJECT = 1, MEMKIND_FOREIGN = 2 };

// Size of the block that serves a request of `n` bytes: the 72-byte overhead rounded up to
// the next multiple of 128, plus 128 more when n + 72 is already a multiple of 128.
constexpr std::size_t MemBlockSize(std::size_t n) {
    return n + 200 - ((n + 72) % 128);
}
// Blocks larger than this come straight from the system heap.
constexpr std::size_t kMemLargeBlock = 0x80000;

// --- Allocation -----------------------------------------------------------------------------

// `size` usable bytes, or null when the system is out of memory.
void* MemAlloc(std::size_t size, const char* type, const char* file, long line);
inline void* MemAlloc(std::size_t size, const MemSite& site) {
    return MemAlloc(size, site.type, site.file, site.line);
}
// Releases a raw allocation; null is ignored.
void MemFree(void* address, const char* file, long line);
inline void MemFree(void* address, const MemSite& site) {
    MemFree(address, site.file, site.line);
}

// Records an object made by the ordinary allocation; returns `object`.
void* MemTrackObject(void* object, std::size_t size, const char* type, const char* file, long line);
// Records memory that is not an object (a block from elsewhere); returns `address`.
void* MemTrackForeign(void* address, const char* type, const char* file, long line);
inline void* MemTrackForeign(void* address, const MemSite& site) {
    return MemTrackForeign(address, site.type, site.file, site.line);
}
// Forgets a tracked object or foreign block; the caller releases it afterwards.
void MemUntrackObject(const void* object, const char* file, long line);
inline void MemUntrackObject(const void* object, const MemSite& site) {
    MemUntrackObject(object, site.file, site.line);
}

// Marks a block as living until exit, so the leak report leaves it out.
void MemTare(const void* address, const char* file, long line);
inline void MemTare(const void* address, const MemSite& site) {
    MemTare(address, site.file, site.line);
}

// Makes sure the array at *array (from MemAlloc, or null) holds at least `needed` elements of
// `elementSize` bytes. When it must grow it holds needed + extra - 1 afterwards (never fewer
// than `needed`), keeps the old elements and zero-fills the rest. False only when memory ran
// out (the old array is then untouched).
bool MemGrowArray(std::size_t elementSize, void** array, std::size_t* count, std::size_t needed,
                  std::size_t extra, const char* file, long line);
template <class T>
bool MemGrowArray(T** array, std::size_t* count, std::size_t needed, std::size_t extra,
                  const MemSite& site) {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved bytewise");
    void* raw = *array;
    bool ok = MemGrowArray(sizeof(T), &raw, count, needed, extra, site.file, site.line);
    *array = static_cast<T*>(raw);
    return ok;
}

// --- Tracked objects ------------------------------------------------------------------------

// Deletes an object made by `new (MM(...))`, untracking it first. Null is ignored.
template <class T>
void MemDelete(T* object, const MemSite& site) {
    if (!object) return;
    const void* address = object;
    // The tracking entry holds the address `new` returned: the most-derived object.
    if constexpr (std::is_polymorphic_v<T>) address = dynamic_cast<const void*>(object);
    MemUntrackObject(address, site.file, site.line);
    delete object;
}

void* operator new(std::size_t size, const MemSite& site);
// Only reached when a constructor throws.
void operator delete(void* object, const MemSite& site) noexcept;

// --- Reports --------------------------------------------------------------------------------

// One report about one block. `block*` fields describe the block (null type when the
// address is unknown); `file`/`line` give the call that found the fault (null at exit).
struct MemReport {
    const char* message;
    const void* address;
    const char* blockType;
    const char* blockFile;
    long blockLine;
    std::size_t blockSize;
    const char* file;
    long line;
};
using MemReportHook = void (*)(const MemReport& report);

// The unknown-address report ("An invalid address was deleted."). The default shows the
// "Memory Manager" message box (OK and Cancel, stop icon; Cancel traps into an attached
// debugger) and writes its text to standard error. Called without the manager's lock held.
// Returns the previous hook.
MemReportHook SetMemAddressHook(MemReportHook hook);
// Every other diagnostic (wrong kind of release, overwritten signatures) and each line of
// the leak report. The default prints to standard error when TESSARK_MEMREPORT=1.
MemReportHook SetMemDiagnosticHook(MemReportHook hook);
// The text of the "Memory Manager" message box for an address report (UTF-8).
std::size_t MemFormatAddressReport(const MemReport& report, char* buffer, std::size_t size);

// Leak check at the end of main: reports every live block that is not tared, and every live
// block whose signatures are damaged, then a closing total (printed when TESSARK_MEMREPORT=1).
// Returns the number of blocks reported.
std::size_t MemExitCheck();

// --- Inspection (tests, benchmarks, diagnostics) --------------------------------------------

struct MemBlockInfo {
    std::size_t total; // whole block, header and trailer included
    std::size_t capacity;
    std::size_t size;
    MemKind kind;
    bool large;
    bool tared;
    const char* type;
    const char* file;
    long line;
    const void* chunk; // null for blocks from the system heap
};
// Looks a live block up by the caller's or the tracked object's address; `info` may be null.
bool MemQueryBlock(const void* address, MemBlockInfo* info);

// Live blocks (not tared) allocated under the type label `type`.
std::size_t MemCountLive(const char* type);

struct MemStats {
    std::size_t chunks;
    std::size_t emptyChunks;
    std::size_t liveBlocks;
    std::size_t freeBlocks;
};
MemStats MemGetStats();

// True when every block comes from the system heap (the sanitizer build).
constexpr bool MemUsesSystemHeapOnly() {
#ifdef TESSARK_SANITIZE
    return true;
#else
    return false;
#endif
}
