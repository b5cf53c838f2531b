// Resources compiled into a program by tessark-rc: lookup by numeric or named type and name,
// string tables that tell a missing string from an empty one, and dialog templates in the
// platform's binary layout. Resource memory is read-only and lives as long as the program.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#endif
#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif
#ifdef UNICODE
#ifndef MAKEINTRESOURCE
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#endif
#else
#ifndef MAKEINTRESOURCE
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif
#endif

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)

// Dialog template headers as the platform lays them out (2-byte packing). A DLGTEMPLATEEX
// starts with the words 1 and 0xFFFF instead; ParseDialogTemplate reads both.
#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
};
#pragma pack(pop)

#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_3DLOOK 0x04L
#define DS_FIXEDSYS 0x08L
#define DS_NOFAILCREATE 0x10L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// The module whose resources are the program's own: GetModuleHandle(NULL).
HMODULE GetModuleHandleW(LPCWSTR name);
HMODULE GetModuleHandleA(LPCSTR name);

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
BOOL FreeResource(HGLOBAL data);

// Copies string `id` into `buffer` and returns its length in characters; 0 when it is missing
// or empty. The last error tells them apart: ERROR_RESOURCE_NAME_NOT_FOUND when missing,
// ERROR_SUCCESS when present. With `bufferMax` 0 the W form stores a read-only pointer to the
// (unterminated) text in the resource itself into `buffer`, as on the platform.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
// UTF-8; a string that does not fit is cut at a whole character.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

#ifdef UNICODE
#define GetModuleHandle GetModuleHandleW
#define FindResource FindResourceW
#define LoadString LoadStringW
#else
#define GetModuleHandle GetModuleHandleA
#define FindResource FindResourceA
#define LoadString LoadStringA
#endif

namespace platform::resource {

struct Table;

// The program's own module handle, the value GetModuleHandle(NULL) returns.
HMODULE ProgramModule();
// Makes a loaded library's compiled resources reachable through its module handle.
void RegisterModule(HMODULE module, const Table* table);
void UnregisterModule(HMODULE module);

// A string-table entry in place: false when the entry does not exist (an empty one exists).
bool FindString(HMODULE module, UINT id, const WCHAR** text, int* length);

// A dialog template read back from its binary form (either layout). Strings and ordinals:
// an ordinal is kept in the `...Id` member with the string left empty.
struct DialogItem {
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    WORD classAtom = 0; // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box, 0x84 scroll bar
    std::u16string className;
    WORD titleId = 0;
    std::u16string title;
    std::vector<BYTE> creationData;
};
struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD menuId = 0;
    std::u16string menu;
    WORD classId = 0;
    std::u16string className;
    std::u16string title;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string face;
    std::vector<DialogItem> items;
};
// False (and nothing read past `size`) when the bytes are not a whole template.
bool ParseDialogTemplate(const void* data, DWORD size, DialogTemplate* out);

} // namespace platform::resource
