// Language selection: which of the languages a program carries is current, remembered per
// application in the registry (HKLM "Software\Orvane\NLS", values "Opt-<app>" with the offered
// list and "Lang-<app>" with the chosen code), and the resources of a base id in that language.
//
// The offered list is string 1 of the program's string table, two-letter codes separated by
// commas ("EN,EO"); a code's position in it is its language index, and the resource of base id
// b in that language is b + index. Long texts go on in further entries one language count
// apart, every part but the last ending in "+".
//
// Process-wide and thread-safe. Operations that need the current language initialise with an
// empty application name (nothing remembered) when Initialise has not been called.
#pragma once

#include "foundation/tl_string.h"
#include "platform/types.h"

using LANGID = WORD;

constexpr LANGID kLangEsperanto = 0; // has no platform id of its own
constexpr LANGID kLangEnglish = 1033;
constexpr LANGID kLangFrench = 1036;
constexpr LANGID kLangGerman = 1031;
constexpr LANGID kLangSpanish = 1034;
constexpr LANGID kLangNone = 65535;

// The id of a language code ("EN" -> 1033, "EO" -> 0, any unknown code -> kLangNone); case is
// ignored.
LANGID LanguageIdFromCode(const char16_t* code, std::size_t length);

// Chooses the current language for `application` (the game passes its product name): the
// offered list is written as "Opt-<app>", the remembered "Lang-<app>" is kept if the list has
// it, else the first language of the list is taken and remembered. Idempotent for the same
// name; another name starts over. Also makes "%m" and formats given by id use this selection.
void InitialiseLanguage(const TCHAR* application);

LANGID CurrentLanguageId();
int CurrentLanguageIndex();
int LanguageCount();
// The code of the current language ("EN").
string CurrentLanguageCode();

// Makes the language with `id` current and remembers it; false (nothing changed) when the
// list does not offer it.
bool SetLanguage(LANGID id);

// The same for another application, as the setup program does for the game; a name equal to
// the current application's (ignoring case) uses the current selection instead.
// Its chosen language (kLangNone when nothing is remembered).
LANGID GetApplicationLanguage(const TCHAR* application);
// Remembers `id` for it when its "Opt-" list offers that language.
bool SetApplicationLanguage(const TCHAR* application, LANGID id);
// The n-th language of its "Opt-" list (kLangNone past the end).
LANGID GetApplicationOfferedLanguage(const TCHAR* application, int n);

// The text of `baseId` in the current language with its continuation entries; empty when the
// entry does not exist.
string LoadLocalizedString(UINT baseId);
// The id of the resource of `baseId` in the current language (dialogs, images).
UINT LocalizedResourceId(UINT baseId);
// String-table entry `id` exactly as stored; false when the entry does not exist (an empty
// entry exists).
bool LoadRawString(UINT id, string& text);

// The program's own module, obtained once.
HMODULE LanguageModule();
// The bytes of resource `id` of `type` in the program's own module, in place (resources live as
// long as the program); false when there is none.
bool FindOwnResource(UINT id, const TCHAR* type, const void** data, DWORD* size);
bool FindOwnResource(UINT id, UINT type, const void** data, DWORD* size);

// Icons, cursors, bitmaps and accelerator tables of the program's own module; null when the
// resource is missing or damaged. The caller destroys what it gets (DestroyIcon,
// DestroyCursor, DeleteObject, DestroyAcceleratorTable). Pass LocalizedResourceId(base) for a
// resource that exists per language.
HICON LoadOwnIcon(UINT id);
HCURSOR LoadOwnCursor(UINT id);
// A DIB section for the drawing layer.
HBITMAP LoadOwnBitmap(UINT id);
// IMAGE_ICON, IMAGE_CURSOR (the image nearest `cx`, 0 for the standard size) or IMAGE_BITMAP.
HANDLE LoadOwnImage(UINT id, UINT type, int cx, int cy);
HACCEL LoadOwnAccelerators(UINT id);

// A font from a short description ("Arial,-14,I", "MS Shell Dlg,10"), with the Esperanto face
// (" Eo") when Esperanto is current. The caller deletes it.
HFONT FontFromDescription(const TCHAR* description);
