// The shell-link object: a component created through CoCreateInstance that writes and reads
// shortcut files. A shortcut saved inside the machine's programs menu (the "Common Programs"
// shell folder) also appears in the desktop's application menu as a freedesktop entry, and
// deleting the shortcut file with DeleteFile takes that entry away again.
//
// The shortcut file is a small text file of the platform's own ("[TessarkShortcut]" and one
// key=value line per field); Load reads it back, so tools can show where a shortcut points.
#pragma once

#include "platform/base.h"

using HRESULT = LONG;
#ifndef S_OK
#define S_OK 0
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#endif
#ifndef S_FALSE
#define S_FALSE 1
#endif
#ifndef E_NOINTERFACE
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#endif
#ifndef SUCCEEDED
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#endif
// The HRESULT carrying a Win32 error code, as failing file operations report it.
#ifndef HRESULT_FROM_WIN32
#define HRESULT_FROM_WIN32(e)                                                                      \
    (static_cast<DWORD>(e) == 0                                                                    \
         ? S_OK                                                                                    \
         : static_cast<HRESULT>((static_cast<DWORD>(e) & 0xFFFFu) | 0x80070000u))
#endif

#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

extern const CLSID CLSID_ShellLink;
extern const IID IID_IUnknown;
extern const IID IID_IShellLinkA;
extern const IID IID_IPersist;
extern const IID IID_IPersistFile;

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

// Modes for IPersistFile::Load; the shortcut is read whole, so only the value is checked.
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L

// Flags for IShellLinkA::GetPath. The path is always answered as it was set.
#define SLGP_SHORTPATH 0x1
#define SLGP_UNCPRIORITY 0x2
#define SLGP_RAWPATH 0x4

#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL 1
#endif

struct WIN32_FIND_DATAA;

class IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

class IShellLinkA : public IUnknown {
public:
    // Text getters copy at most `size` characters including the terminator and truncate
    // longer values (S_OK); a null buffer or a size below 1 is E_INVALIDARG.
    virtual HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, WIN32_FIND_DATAA* data,
                                              DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR dir, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetArguments(LPSTR args, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR iconPath, int size, int* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR iconPath, int index) = 0;

protected:
    ~IShellLinkA() = default;
};

class IPersist : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) = 0;

protected:
    ~IPersist() = default;
};

class IPersistFile : public IPersist {
public:
    // S_OK when the object differs from the file last loaded or saved, S_FALSE otherwise.
    virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD mode) = 0;
    // Writes the shortcut to `fileName` (a machine path), replacing an existing file. A null
    // name saves to the file last loaded or saved.
    virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR fileName) = 0;
    // The file last loaded or saved, in LocalAlloc memory the caller frees; S_FALSE and an
    // empty name when there is none yet.
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) = 0;

protected:
    ~IPersistFile() = default;
};

// Per-thread, counted: every successful CoInitialize (S_OK the first time, S_FALSE after) is
// paired with a CoUninitialize. The reserved argument must be null.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
// Creates the shell-link object (the only class here). Fails with CO_E_NOTINITIALIZED on a
// thread without CoInitialize, REGDB_E_CLASSNOTREG for another class, CLASS_E_NOAGGREGATION
// with an outer object and E_NOINTERFACE for an interface the object does not have.
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);

#define IShellLink IShellLinkA
#define IID_IShellLink IID_IShellLinkA
