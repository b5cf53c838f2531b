// The setup program's ZIP reader: an archive held in memory (a resource used in place, or a
// file read whole) is walked by its local headers into a case-insensitive map of entries, and
// the entries are extracted, stored ones in place and deflated ones into buffers of their own.
// No central directory, CRC, encryption or ZIP64. Damaged archives throw `cetl::exception`
// with the messages below (and the inflater's, setup/deflate.h).
#pragma once

#include "foundation/cetl.h"
#include "foundation/tl_string.h"
#include "platform/types.h"

inline constexpr char kZipNotZip[] = "the file supplied is not a .ZIP file";
inline constexpr char kZipExtendsBeyond[] =
    "the .ZIP file specified contains an entry which extends beyond the supplied data";
inline constexpr char kZipUnsupportedMethod[] =
    "the entry %s in the .ZIP file uses an unsupported compression method";

// The modification time of an entry, field by field (day of week and milliseconds are 0).
struct ZIPTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Converts the DOS time and date fields of a local header.
ZIPTIME ZipTimeFromDos(WORD time, WORD date);

// One entry. `data` is null before extraction, `storedData` for a stored entry, and a buffer of
// the entry's own for a deflated one; copies duplicate that buffer.
class ZIPENTRY {
public:
    ZIPENTRY() = default;
    ZIPENTRY(const ZIPENTRY& other);
    ZIPENTRY& operator=(const ZIPENTRY& other);
    ~ZIPENTRY();

    // Expands the entry (once); throws on a damaged entry or an unknown method.
    void Extract();
    bool OwnsData() const { return data && data != storedData; }

    string name;
    DWORD compressedSize = 0;
    DWORD size = 0;
    const BYTE* storedData = nullptr;
    BYTE* data = nullptr;
    ZIPTIME time{};
    WORD method = 0;

private:
    void Release();
};

class ZIPFILE {
public:
    using Map = cetl::map<istring, ZIPENTRY*>;

    // From a resource of this module: used in place. A missing resource gives no entries.
    ZIPFILE(HMODULE module, UINT id, LPCTSTR type, bool skipExtraction = false);
    // From a file, read whole. A missing or empty file gives no entries.
    ZIPFILE(LPCTSTR path, bool skipExtraction = false);
    // From bytes that stay valid for the archive's life.
    ZIPFILE(const BYTE* data, DWORD size, bool skipExtraction = false);
    ZIPFILE(const ZIPFILE&) = delete;
    ZIPFILE& operator=(const ZIPFILE&) = delete;
    ~ZIPFILE();

    // Case-insensitive lookup; null when there is no such entry.
    ZIPENTRY* Find(const TCHAR* name) const;
    std::size_t size() const { return entries_.size(); }
    Map::const_iterator begin() const { return entries_.begin(); }
    Map::const_iterator end() const { return entries_.end(); }

private:
    void Read(const BYTE* data, DWORD size, bool skipExtraction);
    void Clear();

    Map entries_;
    BYTE* owned_ = nullptr;
};
