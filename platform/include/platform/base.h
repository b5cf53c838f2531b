// Kernel services of the platform API: handles, threads, events, waits, critical sections,
// named mutexes shared between processes, modules, files and the machine directory that
// Windows-style paths map into, local memory, text conversion and debugger output.
#pragma once

#include "platform/types.h"

#include <string>
#include <string_view>

#ifndef WINAPI
#define WINAPI
#endif

using SIZE_T = std::size_t;
using LPDWORD = DWORD*;
using PLONG = LONG*;
using LPBOOL = BOOL*;
// The generic function pointer type, so that callers cast it to the real signature without a
// cast-function-type warning.
using FARPROC = void (*)();
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

#ifndef ERROR_WRITE_FAULT
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_DISK_FULL 112L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_DIRECTORY 267L
#define ERROR_NOT_OWNER 288L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

// ---------------------------------------------------------------------------------------------
// Handles

// Closes an event, thread, mutex or file handle. Other handles of the same object stay valid.
BOOL CloseHandle(HANDLE object);

// ---------------------------------------------------------------------------------------------
// Threads

#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_IDLE (-15)

// The handle is signalled when the thread returns. Stack size and security are ignored;
// CREATE_SUSPENDED is not supported (flags must be 0).
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
// Priorities are accepted and have no effect: the host schedules every thread alike.
BOOL SetThreadPriority(HANDLE thread, int priority);
void Sleep(DWORD milliseconds);

// ---------------------------------------------------------------------------------------------
// Events and waits

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define EVENT_PULSE 1
#define EVENT_RESET 2
#define EVENT_SET 3

// Unnamed events only (a name fails with ERROR_CALL_NOT_IMPLEMENTED).
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
// The device's single entry behind SetEvent, ResetEvent and PulseEvent.
BOOL EventModify(HANDLE event, DWORD function);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits for an event, a thread's end or a mutex's ownership. An auto-reset event is reset by
// the wait that it releases. A mutex whose owning process died is simply acquired.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// ---------------------------------------------------------------------------------------------
// Critical sections (recursive, as on the platform)

struct CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);

// ---------------------------------------------------------------------------------------------
// Mutexes. A named mutex is one object for every process on the same machine: CreateMutex of
// a name that some process holds open returns a handle to it with ERROR_ALREADY_EXISTS (and
// does not take ownership, whatever initialOwner says).

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);

// ---------------------------------------------------------------------------------------------
// Modules. "name.dll" without a folder is looked for beside the executable as "name.dll",
// "libname.so" and "name.so"; a path (Windows or Unix) is loaded from where it maps to.

HMODULE LoadLibraryW(LPCWSTR fileName);
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddressA(HMODULE module, LPCSTR procName);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName);
// GetModuleHandle belongs to the resources (platform/resource.h): the program's handle is the
// one its resource table answers to.

// ---------------------------------------------------------------------------------------------
// Local memory (fixed blocks only)

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// NULL on success, the block on failure.
HLOCAL LocalFree(HLOCAL memory);

// ---------------------------------------------------------------------------------------------
// Text conversion. The 8-bit code page of this system is UTF-8: CP_ACP and CP_UTF8 are the
// same and hold every Esperanto letter.

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x00000008u

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int bytes, LPWSTR wide,
                        int wideChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR multiByte,
                        int bytes, LPCSTR defaultChar, LPBOOL usedDefaultChar);

// ---------------------------------------------------------------------------------------------
// Debugger output: standard error when TESSARK_TRACE=1, discarded otherwise. The text is
// written as given (callers add their own line breaks).

void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR text);

// ---------------------------------------------------------------------------------------------
// Files

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u

// Sharing is enforced between all openers on the machine as "exclusive or shared": a handle
// opened with share mode 0 excludes every other open of the file and its deletion, and is
// refused while the file is open elsewhere (ERROR_SHARING_VIOLATION).
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);

// READONLY is kept (it protects the file from writing and deletion, as on the platform);
// HIDDEN, SYSTEM and ARCHIVE are accepted and not kept. 0 means NORMAL.
DWORD GetFileAttributesW(LPCWSTR fileName);
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes);
BOOL SetFileAttributesA(LPCSTR fileName, DWORD attributes);

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryW(LPCWSTR pathName);
BOOL RemoveDirectoryA(LPCSTR pathName);
BOOL DeleteFileW(LPCWSTR fileName);
BOOL DeleteFileA(LPCSTR fileName);
BOOL MoveFileW(LPCWSTR existingName, LPCWSTR newName);
BOOL MoveFileA(LPCSTR existingName, LPCSTR newName);
// MOVEFILE_DELAY_UNTIL_REBOOT with no new name records the file for deletion by the next
// program that starts on this machine (platform::OnProgramStart); a delayed rename is not
// supported.
BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags);
BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);

#ifdef UNICODE
#define CreateEvent CreateEventW
#define CreateMutex CreateMutexW
#define LoadLibrary LoadLibraryW
#define GetProcAddress GetProcAddressW
#define OutputDebugString OutputDebugStringW
#define CreateFile CreateFileW
#define GetFileAttributes GetFileAttributesW
#define SetFileAttributes SetFileAttributesW
#define CreateDirectory CreateDirectoryW
#define RemoveDirectory RemoveDirectoryW
#define DeleteFile DeleteFileW
#define MoveFile MoveFileW
#define MoveFileEx MoveFileExW
#else
#define CreateEvent CreateEventA
#define CreateMutex CreateMutexA
#define LoadLibrary LoadLibraryA
#define GetProcAddress GetProcAddressA
#define OutputDebugString OutputDebugStringA
#define CreateFile CreateFileA
#define GetFileAttributes GetFileAttributesA
#define SetFileAttributes SetFileAttributesA
#define CreateDirectory CreateDirectoryA
#define RemoveDirectory RemoveDirectoryA
#define DeleteFile DeleteFileA
#define MoveFile MoveFileA
#define MoveFileEx MoveFileExA
#endif

// ---------------------------------------------------------------------------------------------
// The machine this process runs on, and how Windows paths map into it.

namespace platform {

// TESSARK_MACHINE, else ${XDG_DATA_HOME:-$HOME/.local/share}/tessark/machine; an override set
// with SetMachineDir wins (tests give each case its own machine). Not created here.
std::string MachineDir();
// An empty string returns to the environment's choice.
void SetMachineDir(const std::string& dir);

// "C:\a\b" -> <machine>/drive_c/a/b; "\a\b" -> the machine's root drive (drive_c);
// a Unix absolute path stays where it is; a relative path stays relative. "\" and "/" both
// separate and repeated separators collapse. When a component does not exist with the
// spelling given, an existing entry that differs only in case is used, as the platform's file
// names do not depend on case.
std::string MapPath(std::string_view path);
std::string MapPath(std::u16string_view path);
// The same mapping against a given machine directory (the emulated device has its own).
std::string MapPathIn(const std::string& machineDir, std::string_view path);

// UTF-8 <-> UTF-16 with U+FFFD for malformed input.
std::u16string Widen(std::string_view text);
std::string Narrow(std::u16string_view text);

// Carries out what earlier programs left for the next start of the machine (deletions
// recorded by MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT). Every program calls it once at
// start-up, before it touches its files.
void OnProgramStart();

} // namespace platform
