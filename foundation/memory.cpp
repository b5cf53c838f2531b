#include "foundation/memory.h"

#include "platform/dlg.h"

#include <atomic>
#include <bit>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr std::size_t kOverhead = 72;
constexpr std::size_t kClassSize = 128;
constexpr std::size_t kClasses = 4096;
constexpr std::size_t kClassesSearched = 17;
constexpr std::size_t kBuckets = 16384;
constexpr std::size_t kChunkBytes = 1048576;
constexpr std::size_t kEmptyChunksKept = 3;
constexpr DWORD kFreeBucket = 0xFFFFFFFFu;
// Largest request we accept; keeps every size in the 32-bit header fields.
constexpr std::size_t kMaxRequest = 0x7FFF0000u;
constexpr char kFreeName[] = "free";

// The header is 68 bytes so that the caller's bytes end exactly at the trailer. Blocks start
// 12 bytes past a 16-byte boundary, which puts the caller's bytes and the pointer fields on
// natural boundaries. The fields right after the leading signature are the ones an overrun
// of the block before may clobber without breaking the index: the links and the capacity
// sit further in. One pair of links serves the address index while the block is live and
// its free list while it is free; a block is never on both.
#pragma pack(push, 4)
struct Block {
    DWORD lead;
    const char* file;
    const char* type;
    LONG line;
    DWORD size;
    BYTE kind;
    BYTE large;
    BYTE tared;
    BYTE spare;
    DWORD bucket;
    Block* prev;
    Block* next;
    const void* address; // the caller's bytes (raw) or the tracked object
    DWORD capacity;
    DWORD reserved;
};
#pragma pack(pop)
static_assert(sizeof(Block) == 68, "caller's bytes must end where the trailer starts");
static_assert(sizeof(Block) + 4 == kOverhead);

constexpr std::size_t kBlockSkew = 12; // block start modulo 16

struct Chunk {
    Chunk* next;
    Chunk* prev;
    std::size_t usable;
    std::size_t uncarved;
    std::size_t live;
    std::size_t carved;
    BYTE* first;
    bool countedEmpty;
    bool quarantined; // holds a block whose header was damaged: never released
};
constexpr std::size_t kFirstBlock = ((sizeof(Chunk) + 15) / 16) * 16 + kBlockSkew;
constexpr std::size_t kUsable = (kChunkBytes - kFirstBlock) / kClassSize * kClassSize;

// The signatures read "Mem!" and "Okay" in memory. Constants, not computed at start-up:
// other modules' static constructors may allocate before this file's would have run.
static_assert(std::endian::native == std::endian::little);
constexpr DWORD Fourcc(const char (&text)[5]) {
    return static_cast<DWORD>(static_cast<BYTE>(text[0])) |
           static_cast<DWORD>(static_cast<BYTE>(text[1])) << 8 |
           static_cast<DWORD>(static_cast<BYTE>(text[2])) << 16 |
           static_cast<DWORD>(static_cast<BYTE>(text[3])) << 24;
}
constexpr DWORD kLead = Fourcc("Mem!");
constexpr DWORD kTrail = Fourcc("Okay");

constexpr bool kHeapOnly = MemUsesSystemHeapOnly();

struct Manager {
    std::recursive_mutex lock;
    Chunk* chunks = nullptr; // the current chunk first
    std::size_t chunkCount = 0;
    std::size_t emptyChunks = 0;
    std::size_t liveBlocks = 0;
    std::size_t freeBlocks = 0;
    Block* buckets[kBuckets] = {};
    Block* freeLists[kClasses] = {};
};

Manager& Mgr() {
    // Made on first use and never destroyed: static destructors may still free blocks.
    static Manager* manager = new Manager;
    return *manager;
}

void DefaultAddressHook(const MemReport& report);
void DefaultDiagnosticHook(const MemReport& report);
std::atomic<MemReportHook> gAddressHook{DefaultAddressHook};
std::atomic<MemReportHook> gDiagnosticHook{DefaultDiagnosticHook};

bool ReportEnabled() {
    const char* value = std::getenv("TESSARK_MEMREPORT");
    return value && std::strcmp(value, "1") == 0;
}

// Whether a debugger is attached (Linux names the tracer in the process status).
bool DebuggerAttached() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return false;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "TracerPid: %ld", &tracer) == 1) break;
    std::fclose(status);
    return tracer != 0;
}

void DefaultAddressHook(const MemReport& report) {
    char text[1024];
    MemFormatAddressReport(report, text, sizeof text);
    // Also on standard error, so headless runs, whose boxes answer by themselves, keep it.
    std::fprintf(stderr, "Memory Manager\n%s\n", text);
    if (MessageBoxA(nullptr, text, "Memory Manager", MB_OKCANCEL | MB_ICONHAND) != IDCANCEL) return;
    // Without a debugger the trap would end the program and lose its unsaved state, so the
    // choice to debug then only continues.
    if (DebuggerAttached()) std::raise(SIGTRAP);
}

void DefaultDiagnosticHook(const MemReport& report) {
    if (!ReportEnabled()) return;
    std::fprintf(stderr, "Memory Manager: %s %s, %s line %ld, %zu bytes (%p)", report.message,
                 report.blockType ? report.blockType : "?",
                 report.blockFile ? report.blockFile : "?", report.blockLine, report.blockSize,
                 report.address);
    if (report.file) std::fprintf(stderr, "; found at %s line %ld", report.file, report.line);
    std::fputc('\n', stderr);
}

BYTE* Start(Block* b) {
    return reinterpret_cast<BYTE*>(b);
}
std::size_t Total(const Block* b) {
    return b->capacity + kOverhead;
}
BYTE* CallerBytes(Block* b) {
    return Start(b) + sizeof(Block);
}
bool FromHeap(const Block* b) {
    return kHeapOnly || Total(b) > kMemLargeBlock;
}
Chunk* ChunkOf(Block* b) {
    if (FromHeap(b)) return nullptr;
    return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(b) & ~(kChunkBytes - 1));
}
DWORD ReadTrail(Block* b) {
    DWORD v;
    std::memcpy(&v, Start(b) + Total(b) - 4, 4);
    return v;
}
void WriteTrail(Block* b) {
    std::memcpy(Start(b) + Total(b) - 4, &kTrail, 4);
}
DWORD BucketOf(const void* address) {
    return static_cast<DWORD>((reinterpret_cast<std::uintptr_t>(address) / 16) % kBuckets);
}
std::size_t ClassOf(std::size_t total) {
    return total / kClassSize - 1;
}

void Report(std::atomic<MemReportHook>& hook, const char* message, const void* address, Block* b,
            const char* file, long line) {
    MemReport r{message, address, nullptr, nullptr, 0, 0, file, line};
    if (b) {
        // A clobbered leading signature means the name pointers may be garbage too.
        bool intact = b->lead == kLead;
        r.blockType = intact ? b->type : "(damaged)";
        r.blockFile = intact ? b->file : "(damaged)";
        r.blockLine = intact ? b->line : 0;
        r.blockSize = intact ? b->size : 0;
    }
    hook.load()(r);
}

// --- Lists ----------------------------------------------------------------------------------

void Link(Block*& head, Block* b) {
    b->prev = nullptr;
    b->next = head;
    if (head) head->prev = b;
    head = b;
}
void Unlink(Block*& head, Block* b) {
    if (b->prev)
        b->prev->next = b->next;
    else
        head = b->next;
    if (b->next) b->next->prev = b->prev;
    b->prev = b->next = nullptr;
}

Block* Lookup(Manager& m, const void* address) {
    for (Block* b = m.buckets[BucketOf(address)]; b; b = b->next)
        if (b->address == address) return b;
    return nullptr;
}

void MakeFree(Manager& m, Block* b) {
    b->lead = kLead;
    b->file = b->type = kFreeName;
    b->line = 0;
    b->size = 0;
    b->kind = MEMKIND_RAW;
    b->tared = 0;
    b->bucket = kFreeBucket;
    b->address = nullptr;
    WriteTrail(b);
    Link(m.freeLists[ClassOf(Total(b))], b);
    ++m.freeBlocks;
}

// --- Chunks ---------------------------------------------------------------------------------

Chunk* NewChunk(Manager& m) {
    void* raw = std::aligned_alloc(kChunkBytes, kChunkBytes);
    if (!raw) return nullptr;
    Chunk* c = static_cast<Chunk*>(raw);
    c->prev = nullptr;
    c->next = m.chunks;
    if (m.chunks) m.chunks->prev = c;
    m.chunks = c;
    c->usable = kUsable;
    c->uncarved = kUsable;
    c->live = 0;
    c->carved = 0;
    c->first = static_cast<BYTE*>(raw) + kFirstBlock;
    c->countedEmpty = false;
    c->quarantined = false;
    ++m.chunkCount;
    return c;
}

Block* Carve(Chunk* c, std::size_t total) {
    Block* b = reinterpret_cast<Block*>(c->first + (c->usable - c->uncarved));
    c->uncarved -= total;
    ++c->carved;
    b->capacity = static_cast<DWORD>(total - kOverhead);
    return b;
}

void ReleaseChunk(Manager& m, Chunk* c) {
    BYTE* p = c->first;
    for (std::size_t i = 0; i < c->carved; ++i) {
        Block* b = reinterpret_cast<Block*>(p);
        if (b->bucket == kFreeBucket) {
            Unlink(m.freeLists[ClassOf(Total(b))], b);
            --m.freeBlocks;
        }
        p += Total(b);
    }
    if (c->prev)
        c->prev->next = c->next;
    else
        m.chunks = c->next;
    if (c->next) c->next->prev = c->prev;
    --m.emptyChunks;
    --m.chunkCount;
    std::free(c);
}

// --- Allocation and release -----------------------------------------------------------------

Block* NewBlock(Manager& m, std::size_t n) {
    if (n > kMaxRequest) return nullptr;
    const std::size_t total = MemBlockSize(n);
    if (kHeapOnly || total > kMemLargeBlock) {
        void* raw = std::malloc(total + kBlockSkew);
        if (!raw) return nullptr;
        Block* b = reinterpret_cast<Block*>(static_cast<BYTE*>(raw) + kBlockSkew);
        b->capacity = static_cast<DWORD>(total - kOverhead);
        return b;
    }
    const std::size_t first = ClassOf(total);
    const std::size_t last =
        first + kClassesSearched - 1 < kClasses - 1 ? first + kClassesSearched - 1 : kClasses - 1;
    for (std::size_t i = first; i <= last; ++i) {
        if (Block* b = m.freeLists[i]) {
            Unlink(m.freeLists[i], b);
            --m.freeBlocks;
            return b; // whole, with its own capacity
        }
    }
    Chunk* c = m.chunks;
    if (!c || c->uncarved < total) {
        if (c && c->uncarved >= kClassSize) {
            Block* rest = Carve(c, c->uncarved / kClassSize * kClassSize);
            MakeFree(m, rest);
        }
        c = NewChunk(m);
        if (!c) return nullptr;
    }
    return Carve(c, total);
}

void* Register(Manager& m, Block* b, std::size_t size, MemKind kind, const void* object,
               const char* type, const char* file, long line) {
    b->lead = kLead;
    b->file = file ? file : "?";
    b->type = type ? type : "?";
    b->line = line;
    b->size = static_cast<DWORD>(size);
    b->kind = kind;
    b->large = Total(b) > kMemLargeBlock;
    b->tared = 0;
    b->spare = 0;
    b->reserved = 0;
    b->address = kind == MEMKIND_RAW ? CallerBytes(b) : object;
    WriteTrail(b);
    b->bucket = BucketOf(b->address);
    Link(m.buckets[b->bucket], b);
    ++m.liveBlocks;
    if (Chunk* c = ChunkOf(b)) {
        if (c->live++ == 0 && c->countedEmpty) {
            c->countedEmpty = false;
            --m.emptyChunks;
        }
    }
    return kind == MEMKIND_RAW ? CallerBytes(b) : const_cast<void*>(object);
}

// Returns false when a signature was found damaged (after reporting it).
bool CheckSignatures(Block* b, const char* file, long line) {
    if (b->lead != kLead) {
        Report(gDiagnosticHook, "The leading signature on a memory block was overwritten.",
               b->address, b, file, line);
        return false;
    }
    if (ReadTrail(b) != kTrail) {
        Report(gDiagnosticHook, "The trailing signature on a memory block was overwritten.",
               b->address, b, file, line);
        return false;
    }
    return true;
}

void Release(const void* address, const char* file, long line, bool untrack) {
    Manager& m = Mgr();
    std::unique_lock<std::recursive_mutex> hold(m.lock);
    Block* b = Lookup(m, address);
    if (!b) {
        // The report waits for a person; other threads keep allocating meanwhile.
        hold.unlock();
        Report(gAddressHook, "An invalid address was deleted.", address, nullptr, file, line);
        return;
    }
    if (untrack && b->kind == MEMKIND_RAW)
        Report(gDiagnosticHook, "A non-object memory address was deleted.", address, b, file, line);
    else if (!untrack && b->kind == MEMKIND_OBJECT)
        Report(gDiagnosticHook, "A C++ object was deleted using the \"free\" method.", address, b,
               file, line);
    CheckSignatures(b, file, line);
    const bool headerIntact = b->lead == kLead;

    Unlink(m.buckets[BucketOf(b->address)], b);
    b->bucket = kFreeBucket;
    --m.liveBlocks;
    if (FromHeap(b)) {
        std::free(Start(b) - kBlockSkew);
        return;
    }
    Chunk* c = ChunkOf(b);
    if (!headerIntact) {
        // The header can't be trusted to recycle the block: keep it out of use for good.
        c->quarantined = true;
        return;
    }
    MakeFree(m, b);
    if (--c->live == 0 && !c->quarantined) {
        c->countedEmpty = true;
        if (++m.emptyChunks > kEmptyChunksKept) ReleaseChunk(m, c);
    }
}

} // namespace

void* MemAlloc(std::size_t size, const char* type, const char* file, long line) {
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    Block* b = NewBlock(m, size);
    if (!b) return nullptr;
    return Register(m, b, size, MEMKIND_RAW, nullptr, type, file, line);
}

void MemFree(void* address, const char* file, long line) {
    if (!address) return;
    Release(address, file, line, false);
}

void* MemTrackObject(void* object, std::size_t size, const char* type, const char* file,
                     long line) {
    if (!object) return object;
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    if (Block* b = NewBlock(m, 0)) Register(m, b, size, MEMKIND_OBJECT, object, type, file, line);
    return object;
}

void* MemTrackForeign(void* address, const char* type, const char* file, long line) {
    if (!address) return address;
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    if (Block* b = NewBlock(m, 0)) Register(m, b, 0, MEMKIND_FOREIGN, address, type, file, line);
    return address;
}

void MemUntrackObject(const void* object, const char* file, long line) {
    if (!object) return;
    Release(object, file, line, true);
}

void MemTare(const void* address, const char* file, long line) {
    Manager& m = Mgr();
    std::unique_lock<std::recursive_mutex> hold(m.lock);
    Block* b = Lookup(m, address);
    if (!b) {
        hold.unlock();
        Report(gAddressHook, "An invalid address was tared.", address, nullptr, file, line);
        return;
    }
    CheckSignatures(b, file, line);
    b->tared = 1;
}

bool MemGrowArray(std::size_t elementSize, void** array, std::size_t* count, std::size_t needed,
                  std::size_t extra, const char* file, long line) {
    if (*count >= needed) return true;
    // With no extra the formula would leave room for one element too few.
    std::size_t newCount = needed + (extra ? extra - 1 : 0);
    if (newCount < needed || (elementSize && newCount > kMaxRequest / elementSize)) return false;
    BYTE* grown = static_cast<BYTE*>(MemAlloc(elementSize * newCount, "MemRealloc", file, line));
    if (!grown) return false;
    std::size_t kept = *array ? elementSize * *count : 0;
    if (kept) std::memcpy(grown, *array, kept);
    std::memset(grown + kept, 0, elementSize * newCount - kept);
    if (*array) MemFree(*array, file, line);
    *array = grown;
    *count = newCount;
    return true;
}

void* operator new(std::size_t size, const MemSite& site) {
    void* object = ::operator new(size);
    return MemTrackObject(object, size, site.type, site.file, site.line);
}

void operator delete(void* object, const MemSite& site) noexcept {
    MemUntrackObject(object, site.file, site.line);
    ::operator delete(object);
}

MemReportHook SetMemAddressHook(MemReportHook hook) {
    return gAddressHook.exchange(hook ? hook : DefaultAddressHook);
}

MemReportHook SetMemDiagnosticHook(MemReportHook hook) {
    return gDiagnosticHook.exchange(hook ? hook : DefaultDiagnosticHook);
}

std::size_t MemFormatAddressReport(const MemReport& report, char* buffer, std::size_t size) {
    int n =
        std::snprintf(buffer, size,
                      "%s\n\n   Address: 0x%08lX\n   Current: %s line %ld\n\nClick OK to "
                      "dismiss\nClick X to debug",
                      report.message,
                      static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(report.address)),
                      report.file ? report.file : "?", report.line);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::size_t MemExitCheck() {
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    std::size_t leaked = 0, damaged = 0, bytes = 0;
    for (Block* head : m.buckets) {
        for (Block* b = head; b; b = b->next) {
            if (!CheckSignatures(b, nullptr, 0)) {
                ++damaged;
            } else if (!b->tared) {
                ++leaked;
                bytes += b->size;
                Report(gDiagnosticHook, "A memory block was not freed:", b->address, b, nullptr, 0);
            }
        }
    }
    if (ReportEnabled())
        std::fprintf(stderr, "Memory Manager: %zu block(s) not freed (%zu bytes), %zu damaged\n",
                     leaked, bytes, damaged);
    return leaked + damaged;
}

std::size_t MemCountLive(const char* type) {
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    std::size_t count = 0;
    for (Block* head : m.buckets)
        for (Block* b = head; b; b = b->next)
            if (!b->tared && b->type && type && std::strcmp(b->type, type) == 0) ++count;
    return count;
}

bool MemQueryBlock(const void* address, MemBlockInfo* info) {
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    Block* b = Lookup(m, address);
    if (!b) return false;
    if (!info) return true;
    info->total = Total(b);
    info->capacity = b->capacity;
    info->size = b->size;
    info->kind = static_cast<MemKind>(b->kind);
    info->large = b->large != 0;
    info->tared = b->tared != 0;
    info->type = b->type;
    info->file = b->file;
    info->line = b->line;
    info->chunk = ChunkOf(b);
    return true;
}

MemStats MemGetStats() {
    Manager& m = Mgr();
    std::lock_guard<std::recursive_mutex> hold(m.lock);
    return MemStats{m.chunkCount, m.emptyChunks, m.liveBlocks, m.freeBlocks};
}
