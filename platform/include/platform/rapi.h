// The device remote API offered by "rapi.dll": its types, and the table of its 78 entries in the
// order a client resolves them. The library is never linked against; a program loads it by
// name and resolves the entries through GetProcAddress. The library takes its kernel services
// (events, local memory, the last error) from the program that loads it, so such a program is
// linked with its symbols exported (tessark_rapi_host in CMake).
//
// Ownership rules of CeRapiInvoke: the input buffer must come from LocalAlloc and belongs to the
// call from then on (it is released with LocalFree whatever the outcome); the output buffer
// comes from LocalAlloc and belongs to the caller, who releases it with LocalFree. On the device,
// the extension function receives its input the same way (it releases it) and allocates its
// output with LocalAlloc (the device releases it after sending).
#pragma once

#include "platform/base.h"
#include "platform/reg.h"

using HRESULT = LONG;
#ifndef S_OK
#define S_OK 0
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#endif
#define CERAPI_E_ALREADYINITIALIZED static_cast<HRESULT>(0x80041001u)
#ifndef ERROR_INVALID_DATA
#define ERROR_INVALID_DATA 13L
#endif
// A call made without a device: the connection was never made or has been lost.
#define ERROR_DEVICE_NOT_CONNECTED 1167L

struct RAPIINIT {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_MIPS 1
#define PROCESSOR_ARCHITECTURE_ALPHA 2
#define PROCESSOR_ARCHITECTURE_PPC 3
#define PROCESSOR_ARCHITECTURE_SHX 4
#define PROCESSOR_ARCHITECTURE_ARM 5

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

struct STORE_INFORMATION {
    DWORD dwStoreSize;
    DWORD dwFreeSize;
};
using LPSTORE_INFORMATION = STORE_INFORMATION*;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

struct CE_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
using LPCE_FIND_DATA = CE_FIND_DATA*;
using LPLPCE_FIND_DATA = CE_FIND_DATA**;

// Special folders the device answers.
#ifndef CSIDL_PROGRAMS
#define CSIDL_PROGRAMS 2
#define CSIDL_PERSONAL 5
#define CSIDL_STARTUP 7
#endif

// The object store's databases, versions, windows, power and the rest are not offered by the
// emulated device; their records are known by name only.
using CEOID = DWORD;
using PCEOID = CEOID*;
using CEPROPID = DWORD;
using LPWORD = WORD*;
using LPFILETIME = FILETIME*;
struct SORTORDERSPEC;
struct CEOIDINFO;
struct CEDBASEINFO;
struct CEDB_FIND_DATA;
using LPLPCEDB_FIND_DATA = CEDB_FIND_DATA**;
struct CEPROPVAL;
struct CEGUID;
using PCEGUID = CEGUID*;
struct CENOTIFYREQUEST;
struct CEOSVERSIONINFO;
struct MEMORYSTATUS;
struct SYSTEM_POWER_STATUS_EX;
struct STARTUPINFOW;
struct PROCESS_INFORMATION;
struct IRAPIStream;

// A device-side extension function called by CeRapiInvoke.
using RapiExtensionFunction = HRESULT (*)(DWORD cbInput, BYTE* pInput, DWORD* pcbOutput,
                                          BYTE** ppOutput, IRAPIStream* stream);

// The 78 entries in resolution order:
// X(kind, return type, name, (parameters), (arguments), failure value).
// kind is LIVE for an entry the emulated device carries out and STUB for one that fails with
// ERROR_CALL_NOT_IMPLEMENTED; the failure value is what a stub returns.
#define TESSARK_RAPI_ENTRIES(X)                                                                    \
    X(LIVE, HRESULT, CeRapiInit, (), (), E_FAIL)                                                   \
    X(LIVE, HRESULT, CeRapiInitEx, (RAPIINIT * a1), (a1), E_FAIL)                                  \
    X(LIVE, HRESULT, CeRapiUninit, (), (), E_FAIL)                                                 \
    X(LIVE, HRESULT, CeRapiGetError, (), (), E_FAIL)                                               \
    X(LIVE, HRESULT, CeRapiFreeBuffer, (LPVOID a1), (a1), E_FAIL)                                  \
    X(LIVE, HRESULT, CeRapiInvoke,                                                                 \
      (LPCWSTR a1, LPCWSTR a2, DWORD a3, BYTE * a4, DWORD * a5, BYTE * *a6, IRAPIStream * *a7,     \
       DWORD a8),                                                                                  \
      (a1, a2, a3, a4, a5, a6, a7, a8), E_FAIL)                                                    \
    X(STUB, CEOID, CeCreateDatabase, (LPWSTR a1, DWORD a2, WORD a3, SORTORDERSPEC * a4),           \
      (a1, a2, a3, a4), 0)                                                                         \
    X(STUB, BOOL, CeDeleteDatabase, (CEOID a1), (a1), FALSE)                                       \
    X(STUB, BOOL, CeDeleteRecord, (HANDLE a1, CEOID a2), (a1, a2), FALSE)                          \
    X(STUB, HANDLE, CeFindFirstDatabase, (DWORD a1), (a1), INVALID_HANDLE_VALUE)                   \
    X(STUB, CEOID, CeFindNextDatabase, (HANDLE a1), (a1), 0)                                       \
    X(STUB, BOOL, CeOidGetInfo, (CEOID a1, CEOIDINFO * a2), (a1, a2), FALSE)                       \
    X(STUB, HANDLE, CeOpenDatabase, (PCEOID a1, LPWSTR a2, CEPROPID a3, DWORD a4, HWND a5),        \
      (a1, a2, a3, a4, a5), INVALID_HANDLE_VALUE)                                                  \
    X(STUB, CEOID, CeReadRecordProps,                                                              \
      (HANDLE a1, DWORD a2, LPWORD a3, CEPROPID * a4, LPBYTE * a5, LPDWORD a6),                    \
      (a1, a2, a3, a4, a5, a6), 0)                                                                 \
    X(STUB, CEOID, CeSeekDatabase, (HANDLE a1, DWORD a2, DWORD a3, LPDWORD a4), (a1, a2, a3, a4),  \
      0)                                                                                           \
    X(STUB, BOOL, CeSetDatabaseInfo, (CEOID a1, CEDBASEINFO * a2), (a1, a2), FALSE)                \
    X(LIVE, HANDLE, CeFindFirstFile, (LPCWSTR a1, LPCE_FIND_DATA a2), (a1, a2),                    \
      INVALID_HANDLE_VALUE)                                                                        \
    X(LIVE, BOOL, CeFindNextFile, (HANDLE a1, LPCE_FIND_DATA a2), (a1, a2), FALSE)                 \
    X(LIVE, BOOL, CeFindClose, (HANDLE a1), (a1), FALSE)                                           \
    X(LIVE, DWORD, CeGetFileAttributes, (LPCWSTR a1), (a1), INVALID_FILE_ATTRIBUTES)               \
    X(LIVE, BOOL, CeSetFileAttributes, (LPCWSTR a1, DWORD a2), (a1, a2), FALSE)                    \
    X(LIVE, HANDLE, CeCreateFile,                                                                  \
      (LPCWSTR a1, DWORD a2, DWORD a3, LPSECURITY_ATTRIBUTES a4, DWORD a5, DWORD a6, HANDLE a7),   \
      (a1, a2, a3, a4, a5, a6, a7), INVALID_HANDLE_VALUE)                                          \
    X(LIVE, BOOL, CeReadFile, (HANDLE a1, LPVOID a2, DWORD a3, LPDWORD a4, LPOVERLAPPED a5),       \
      (a1, a2, a3, a4, a5), FALSE)                                                                 \
    X(LIVE, BOOL, CeWriteFile, (HANDLE a1, LPCVOID a2, DWORD a3, LPDWORD a4, LPOVERLAPPED a5),     \
      (a1, a2, a3, a4, a5), FALSE)                                                                 \
    X(LIVE, BOOL, CeCloseHandle, (HANDLE a1), (a1), FALSE)                                         \
    X(STUB, BOOL, CeFindAllFiles, (LPCWSTR a1, DWORD a2, LPDWORD a3, LPLPCE_FIND_DATA a4),         \
      (a1, a2, a3, a4), FALSE)                                                                     \
    X(STUB, BOOL, CeFindAllDatabases, (DWORD a1, WORD a2, LPWORD a3, LPLPCEDB_FIND_DATA a4),       \
      (a1, a2, a3, a4), FALSE)                                                                     \
    X(LIVE, DWORD, CeGetLastError, (), (), 0)                                                      \
    X(LIVE, DWORD, CeSetFilePointer, (HANDLE a1, LONG a2, PLONG a3, DWORD a4), (a1, a2, a3, a4),   \
      INVALID_SET_FILE_POINTER)                                                                    \
    X(STUB, BOOL, CeSetEndOfFile, (HANDLE a1), (a1), FALSE)                                        \
    X(LIVE, BOOL, CeCreateDirectory, (LPCWSTR a1, LPSECURITY_ATTRIBUTES a2), (a1, a2), FALSE)      \
    X(LIVE, BOOL, CeRemoveDirectory, (LPCWSTR a1), (a1), FALSE)                                    \
    X(STUB, BOOL, CeCreateProcess,                                                                 \
      (LPCWSTR a1, LPCWSTR a2, LPSECURITY_ATTRIBUTES a3, LPSECURITY_ATTRIBUTES a4, BOOL a5,        \
       DWORD a6, LPVOID a7, LPWSTR a8, STARTUPINFOW * a9, PROCESS_INFORMATION * a10),              \
      (a1, a2, a3, a4, a5, a6, a7, a8, a9, a10), FALSE)                                            \
    X(LIVE, BOOL, CeMoveFile, (LPCWSTR a1, LPCWSTR a2), (a1, a2), FALSE)                           \
    X(STUB, BOOL, CeCopyFile, (LPCWSTR a1, LPCWSTR a2, BOOL a3), (a1, a2, a3), FALSE)              \
    X(LIVE, BOOL, CeDeleteFile, (LPCWSTR a1), (a1), FALSE)                                         \
    X(LIVE, DWORD, CeGetFileSize, (HANDLE a1, LPDWORD a2), (a1, a2), INVALID_FILE_SIZE)            \
    X(LIVE, LONG, CeRegOpenKeyEx, (HKEY a1, LPCWSTR a2, DWORD a3, REGSAM a4, PHKEY a5),            \
      (a1, a2, a3, a4, a5), ERROR_CALL_NOT_IMPLEMENTED)                                            \
    X(LIVE, LONG, CeRegEnumKeyEx,                                                                  \
      (HKEY a1, DWORD a2, LPWSTR a3, LPDWORD a4, LPDWORD a5, LPWSTR a6, LPDWORD a7, PFILETIME a8), \
      (a1, a2, a3, a4, a5, a6, a7, a8), ERROR_CALL_NOT_IMPLEMENTED)                                \
    X(LIVE, LONG, CeRegCreateKeyEx,                                                                \
      (HKEY a1, LPCWSTR a2, DWORD a3, LPWSTR a4, DWORD a5, REGSAM a6, LPSECURITY_ATTRIBUTES a7,    \
       PHKEY a8, LPDWORD a9),                                                                      \
      (a1, a2, a3, a4, a5, a6, a7, a8, a9), ERROR_CALL_NOT_IMPLEMENTED)                            \
    X(LIVE, LONG, CeRegCloseKey, (HKEY a1), (a1), ERROR_CALL_NOT_IMPLEMENTED)                      \
    X(LIVE, LONG, CeRegDeleteKey, (HKEY a1, LPCWSTR a2), (a1, a2), ERROR_CALL_NOT_IMPLEMENTED)     \
    X(LIVE, LONG, CeRegEnumValue,                                                                  \
      (HKEY a1, DWORD a2, LPWSTR a3, LPDWORD a4, LPDWORD a5, LPDWORD a6, LPBYTE a7, LPDWORD a8),   \
      (a1, a2, a3, a4, a5, a6, a7, a8), ERROR_CALL_NOT_IMPLEMENTED)                                \
    X(LIVE, LONG, CeRegDeleteValue, (HKEY a1, LPCWSTR a2), (a1, a2), ERROR_CALL_NOT_IMPLEMENTED)   \
    X(LIVE, LONG, CeRegQueryInfoKey,                                                               \
      (HKEY a1, LPWSTR a2, LPDWORD a3, LPDWORD a4, LPDWORD a5, LPDWORD a6, LPDWORD a7, LPDWORD a8, \
       LPDWORD a9, LPDWORD a10, LPDWORD a11, PFILETIME a12),                                       \
      (a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12), ERROR_CALL_NOT_IMPLEMENTED)             \
    X(LIVE, LONG, CeRegQueryValueEx,                                                               \
      (HKEY a1, LPCWSTR a2, LPDWORD a3, LPDWORD a4, LPBYTE a5, LPDWORD a6),                        \
      (a1, a2, a3, a4, a5, a6), ERROR_CALL_NOT_IMPLEMENTED)                                        \
    X(LIVE, LONG, CeRegSetValueEx,                                                                 \
      (HKEY a1, LPCWSTR a2, DWORD a3, DWORD a4, const BYTE* a5, DWORD a6),                         \
      (a1, a2, a3, a4, a5, a6), ERROR_CALL_NOT_IMPLEMENTED)                                        \
    X(LIVE, BOOL, CeGetStoreInformation, (LPSTORE_INFORMATION a1), (a1), FALSE)                    \
    X(STUB, int, CeGetSystemMetrics, (int a1), (a1), 0)                                            \
    X(STUB, INT, CeGetDesktopDeviceCaps, (int a1), (a1), 0)                                        \
    X(LIVE, void, CeGetSystemInfo, (LPSYSTEM_INFO a1), (a1), )                                     \
    X(LIVE, DWORD, CeSHCreateShortcut, (LPWSTR a1, LPWSTR a2), (a1, a2), FALSE)                    \
    X(STUB, BOOL, CeSHGetShortcutTarget, (LPWSTR a1, LPWSTR a2, INT a3), (a1, a2, a3), FALSE)      \
    X(STUB, BOOL, CeCheckPassword, (LPWSTR a1), (a1), FALSE)                                       \
    X(STUB, BOOL, CeGetFileTime, (HANDLE a1, LPFILETIME a2, LPFILETIME a3, LPFILETIME a4),         \
      (a1, a2, a3, a4), FALSE)                                                                     \
    X(STUB, BOOL, CeSetFileTime,                                                                   \
      (HANDLE a1, const FILETIME* a2, const FILETIME* a3, const FILETIME* a4), (a1, a2, a3, a4),   \
      FALSE)                                                                                       \
    X(STUB, BOOL, CeGetVersionEx, (CEOSVERSIONINFO * a1), (a1), FALSE)                             \
    X(STUB, HWND, CeGetWindow, (HWND a1, UINT a2), (a1, a2), nullptr)                              \
    X(STUB, LONG, CeGetWindowLong, (HWND a1, int a2), (a1, a2), 0)                                 \
    X(STUB, int, CeGetWindowText, (HWND a1, LPWSTR a2, int a3), (a1, a2, a3), 0)                   \
    X(STUB, int, CeGetClassName, (HWND a1, LPWSTR a2, int a3), (a1, a2, a3), 0)                    \
    X(STUB, void, CeGlobalMemoryStatus, (MEMORYSTATUS * a1), (a1), )                               \
    X(STUB, BOOL, CeGetSystemPowerStatusEx, (SYSTEM_POWER_STATUS_EX * a1, BOOL a2), (a1, a2),      \
      FALSE)                                                                                       \
    X(STUB, DWORD, CeGetTempPath, (DWORD a1, LPWSTR a2), (a1, a2), 0)                              \
    X(LIVE, DWORD, CeGetSpecialFolderPath, (int a1, DWORD a2, LPWSTR a3), (a1, a2, a3), 0)         \
    X(STUB, HANDLE, CeFindFirstDatabaseEx, (PCEGUID a1, DWORD a2), (a1, a2), INVALID_HANDLE_VALUE) \
    X(STUB, CEOID, CeFindNextDatabaseEx, (HANDLE a1, PCEGUID a2), (a1, a2), 0)                     \
    X(STUB, CEOID, CeCreateDatabaseEx, (PCEGUID a1, CEDBASEINFO * a2), (a1, a2), 0)                \
    X(STUB, BOOL, CeSetDatabaseInfoEx, (PCEGUID a1, CEOID a2, CEDBASEINFO * a3), (a1, a2, a3),     \
      FALSE)                                                                                       \
    X(STUB, HANDLE, CeOpenDatabaseEx,                                                              \
      (PCEGUID a1, PCEOID a2, LPWSTR a3, CEPROPID a4, DWORD a5, CENOTIFYREQUEST * a6),             \
      (a1, a2, a3, a4, a5, a6), INVALID_HANDLE_VALUE)                                              \
    X(STUB, BOOL, CeDeleteDatabaseEx, (PCEGUID a1, CEOID a2), (a1, a2), FALSE)                     \
    X(STUB, CEOID, CeReadRecordPropsEx,                                                            \
      (HANDLE a1, DWORD a2, LPWORD a3, CEPROPID * a4, LPBYTE * a5, LPDWORD a6, HANDLE a7),         \
      (a1, a2, a3, a4, a5, a6, a7), 0)                                                             \
    X(STUB, CEOID, CeWriteRecordProps, (HANDLE a1, CEOID a2, WORD a3, CEPROPVAL * a4),             \
      (a1, a2, a3, a4), 0)                                                                         \
    X(STUB, BOOL, CeMountDBVol, (PCEGUID a1, LPWSTR a2, DWORD a3), (a1, a2, a3), FALSE)            \
    X(STUB, BOOL, CeUnmountDBVol, (PCEGUID a1), (a1), FALSE)                                       \
    X(STUB, BOOL, CeFlushDBVol, (PCEGUID a1), (a1), FALSE)                                         \
    X(STUB, BOOL, CeEnumDBVolumes, (PCEGUID a1, LPWSTR a2, DWORD a3), (a1, a2, a3), FALSE)         \
    X(STUB, BOOL, CeOidGetInfoEx, (PCEGUID a1, CEOID a2, CEOIDINFO * a3), (a1, a2, a3), FALSE)

// Function pointer types of the entries: PFN_CeCreateFile and so on.
#define TESSARK_RAPI_PFN(kind, ret, name, params, args, fail) using PFN_##name = ret(*) params;
TESSARK_RAPI_ENTRIES(TESSARK_RAPI_PFN)
#undef TESSARK_RAPI_PFN

// The number of entries, counted from the table.
#define TESSARK_RAPI_COUNT_ONE(kind, ret, name, params, args, fail) +1
inline constexpr int kRapiEntryCount = 0 TESSARK_RAPI_ENTRIES(TESSARK_RAPI_COUNT_ONE);
#undef TESSARK_RAPI_COUNT_ONE
