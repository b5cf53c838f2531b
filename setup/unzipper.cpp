#include "setup/unzipper.h"

#include "foundation/memory.h"
#include "platform/base.h"
#include "platform/resource.h"
#include "setup/deflate.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kLocalHeaderSignature = 0x04034B50;
constexpr DWORD kLocalHeaderSize = 30;
constexpr DWORD kDescriptorSize = 12;
constexpr DWORD kDescriptorSignature = 0x08074B50;
constexpr WORD kFlagDescriptor = 8;
// Nothing DEFLATE can say expands one input byte to more than this.
constexpr std::uint64_t kMaxExpansion = 1032;

WORD Word(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
DWORD Dword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

} // namespace

ZIPTIME ZipTimeFromDos(WORD time, WORD date) {
    auto atMost = [](int v, int limit) { return static_cast<WORD>(v > limit ? limit : v); };
    ZIPTIME t{};
    t.wSecond = atMost(2 * (time & 0x1F), 59);
    t.wMinute = atMost((time >> 5) & 0x3F, 59);
    t.wHour = atMost((time >> 11) & 0x1F, 23);
    t.wDay = static_cast<WORD>(date & 0x1F);
    t.wMonth = atMost((date >> 5) & 0x0F, 12);
    t.wYear = static_cast<WORD>(1980 + (date >> 9));
    return t;
}

// --- ZIPENTRY -------------------------------------------------------------------------------

ZIPENTRY::ZIPENTRY(const ZIPENTRY& other) {
    *this = other;
}

ZIPENTRY& ZIPENTRY::operator=(const ZIPENTRY& other) {
    if (this == &other) return *this;
    BYTE* copy = nullptr;
    if (other.OwnsData()) {
        copy = static_cast<BYTE*>(MemAlloc(other.size ? other.size : 1, MM("cbUncompressed")));
        if (!copy) throw std::bad_alloc();
        std::memcpy(copy, other.data, other.size);
    }
    Release();
    name = other.name;
    compressedSize = other.compressedSize;
    size = other.size;
    storedData = other.storedData;
    data = other.OwnsData() ? copy : other.data;
    time = other.time;
    method = other.method;
    return *this;
}

ZIPENTRY::~ZIPENTRY() {
    Release();
}

void ZIPENTRY::Release() {
    if (OwnsData()) MemFree(data, MM("cbUncompressed + 1024"));
    data = nullptr;
}

void ZIPENTRY::Extract() {
    if (!storedData || data) return;
    if (method == 0) {
        if (compressedSize < size) size = compressedSize;
        data = const_cast<BYTE*>(storedData);
        return;
    }
    if (method != 8) throw cetl::exception(sformat(kZipUnsupportedMethod, name).c_str());
    // The declared size plus slack, but never more than the stream could produce: a header
    // that claims gigabytes for a few bytes gets a buffer fitting those bytes.
    std::uint64_t capacity = static_cast<std::uint64_t>(size) + 1024;
    std::uint64_t most = static_cast<std::uint64_t>(compressedSize) * kMaxExpansion + 1024;
    if (capacity > most) capacity = most;
    auto* out = static_cast<BYTE*>(
        MemAlloc(static_cast<std::size_t>(capacity), MM("cbUncompressed + 1024")));
    if (!out) throw std::bad_alloc();
    try {
        size = unzip::Inflate(storedData, compressedSize, out, static_cast<DWORD>(capacity));
    } catch (...) {
        MemFree(out, MM("cbUncompressed + 1024"));
        throw;
    }
    data = out;
}

// --- ZIPFILE --------------------------------------------------------------------------------

ZIPFILE::ZIPFILE(HMODULE module, UINT id, LPCTSTR type, bool skipExtraction) {
    HRSRC found = FindResource(module, MAKEINTRESOURCE(id), type);
    if (!found) return;
    HGLOBAL loaded = LoadResource(module, found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD size = SizeofResource(module, found);
    if (!data) return;
    Read(data, size, skipExtraction);
}

ZIPFILE::ZIPFILE(LPCTSTR path, bool skipExtraction) {
    HANDLE file = CreateFile(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, nullptr);
    if (size == 0 || size == 0xFFFFFFFF) {
        CloseHandle(file);
        return;
    }
    owned_ = static_cast<BYTE*>(MemAlloc(size, MM("cbData")));
    DWORD got = 0;
    bool ok = owned_ && ReadFile(file, owned_, size, &got, nullptr) && got == size;
    CloseHandle(file);
    if (!ok) {
        MemFree(owned_, MM("cbData"));
        owned_ = nullptr;
        return;
    }
    Read(owned_, size, skipExtraction);
}

ZIPFILE::ZIPFILE(const BYTE* data, DWORD size, bool skipExtraction) {
    Read(data, size, skipExtraction);
}

ZIPFILE::~ZIPFILE() {
    Clear();
}

void ZIPFILE::Clear() {
    for (auto& e : entries_)
        MemDelete(e.value, MM("ZIPENTRY"));
    entries_.clear();
    MemFree(owned_, MM("cbData"));
    owned_ = nullptr;
}

ZIPENTRY* ZIPFILE::Find(const TCHAR* name) const {
    auto found = entries_.find(istring(name));
    return found == entries_.end() ? nullptr : found->value;
}

void ZIPFILE::Read(const BYTE* data, DWORD size, bool skipExtraction) {
    try {
        if (!data || size < 4 || Dword(data) != kLocalHeaderSignature)
            throw cetl::exception(kZipNotZip);
        std::uint64_t position = 0;
        while (position + kLocalHeaderSize < size) {
            const BYTE* h = data + position;
            position += kLocalHeaderSize;
            if (Dword(h) != kLocalHeaderSignature) break;
            WORD flags = Word(h + 6);
            WORD method = Word(h + 8);
            DWORD compressed = Dword(h + 18);
            DWORD uncompressed = Dword(h + 22);
            WORD nameLength = Word(h + 26);
            WORD extraLength = Word(h + 28);
            bool descriptor = (flags & kFlagDescriptor) != 0;
            std::uint64_t dataAt = position + nameLength + extraLength;
            // A writer that streams its output leaves the sizes of a deflated entry to the
            // data descriptor; the stream itself tells where it ends.
            if (descriptor && method == 8 && compressed == 0 && dataAt < size) {
                DWORD consumed = 0;
                DWORD produced =
                    unzip::Measure(data + dataAt, static_cast<DWORD>(size - dataAt), &consumed);
                compressed = consumed;
                if (uncompressed == 0) uncompressed = produced;
            }
            std::uint64_t needed = std::uint64_t{compressed} + nameLength + extraLength +
                                   (descriptor ? kDescriptorSize : 0);
            if (position + needed >= size) throw cetl::exception(kZipExtendsBeyond);
            // The descriptor may open with its own signature, four bytes more.
            std::uint64_t descriptorSize = kDescriptorSize;
            std::uint64_t dataEnd = dataAt + compressed;
            if (descriptor && dataEnd + 16 <= size && Dword(data + dataEnd) == kDescriptorSignature)
                descriptorSize = 16;

            auto* entry = new (MM("ZIPENTRY")) ZIPENTRY;
            // Names are 8-bit text of any length the header can give (up to 65535).
            entry->name.assign(reinterpret_cast<const char*>(data + position), nameLength);
            entry->method = method;
            entry->time = ZipTimeFromDos(Word(h + 10), Word(h + 12));
            entry->compressedSize = compressed;
            entry->size = uncompressed;
            entry->storedData = data + dataAt;
            position = dataEnd + (descriptor ? descriptorSize : 0);

            // A later entry of the same name wins; the earlier one goes.
            istring key(entry->name);
            auto found = entries_.find(key);
            if (found != entries_.end()) {
                MemDelete(found->value, MM("ZIPENTRY"));
                found->value = entry;
            } else {
                try {
                    entries_.insert(key, entry);
                } catch (...) {
                    MemDelete(entry, MM("ZIPENTRY"));
                    throw;
                }
            }
        }
        if (!skipExtraction)
            for (auto& e : entries_)
                e.value->Extract();
    } catch (...) {
        Clear();
        throw;
    }
}
