#include "foundation/language.h"

#include "platform/gdi.h"
#include "platform/reg.h"
#include "platform/resource.h"
#include "platform/user.h"

#include <mutex>

namespace {

// The setup program spells the key in capitals; key names ignore case, so both reach one key.
#if TESSARK_DESKTOP
const char16_t kNlsKey[] = u"SOFTWARE\\Orvane\\NLS";
#else
const char16_t kNlsKey[] = u"Software\\Orvane\\NLS";
#endif

// Fixed buffers: the state lives for the whole process, so it must not hold blocks the memory
// manager would report at exit. A longer name is used as no name (nothing remembered); a longer
// list is read as no list.
constexpr std::size_t kMaxName = 256;
constexpr std::size_t kMaxList = 256;
constexpr std::size_t kMaxCode = 16;

struct Selection {
    bool initialised = false;
    char16_t name[kMaxName + 1] = {};
    char16_t list[kMaxList + 1] = {};
    char16_t code[kMaxCode + 1] = {};
    int index = 0;
    LANGID id = kLangEnglish;
    int count = 1;
};

std::recursive_mutex g_lock;
Selection g_sel;

std::size_t Length(const char16_t* s) {
    std::size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameText(const char16_t* a, std::size_t an, const char16_t* b, std::size_t bn) {
    if (an != bn) return false;
    for (std::size_t i = 0; i < an; ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Copies text into a fixed buffer; false when it does not fit.
bool CopyInto(char16_t* out, std::size_t max, const char16_t* text, std::size_t length) {
    if (length > max) return false;
    for (std::size_t i = 0; i < length; ++i)
        out[i] = text[i];
    out[length] = 0;
    return true;
}

// Walks the non-empty items of a comma-separated list.
class Items {
public:
    explicit Items(const char16_t* list) : at_(list) {}
    bool Next(const char16_t** item, std::size_t* length) {
        while (*at_ == u',')
            ++at_;
        if (!*at_) return false;
        const char16_t* start = at_;
        while (*at_ && *at_ != u',')
            ++at_;
        *item = start;
        *length = static_cast<std::size_t>(at_ - start);
        return true;
    }

private:
    const char16_t* at_;
};

int CountItems(const char16_t* list) {
    Items items(list);
    const char16_t* item;
    std::size_t length;
    int n = 0;
    while (items.Next(&item, &length))
        ++n;
    return n;
}

// The position of `code` in `list`, or -1.
int FindCode(const char16_t* list, const char16_t* code, std::size_t codeLength) {
    Items items(list);
    const char16_t* item;
    std::size_t length;
    for (int i = 0; items.Next(&item, &length); ++i)
        if (SameText(item, length, code, codeLength)) return i;
    return -1;
}

// The n-th item of `list`; false past the end.
bool NthItem(const char16_t* list, int n, const char16_t** item, std::size_t* length) {
    if (n < 0) return false;
    Items items(list);
    for (int i = 0; items.Next(item, length); ++i)
        if (i == n) return true;
    return false;
}

// The first item whose code has `id`; -1 when none.
int FindId(const char16_t* list, LANGID id) {
    Items items(list);
    const char16_t* item;
    std::size_t length;
    for (int i = 0; items.Next(&item, &length); ++i)
        if (LanguageIdFromCode(item, length) == id) return i;
    return -1;
}

// --- The registry values -------------------------------------------------------------------

// "Opt-" or "Lang-" followed by the application name, in `out`.
bool ValueName(const char16_t* prefix, const char16_t* app, char16_t* out, std::size_t max) {
    std::size_t p = Length(prefix), a = Length(app);
    if (p + a > max) return false;
    CopyInto(out, max, prefix, p);
    CopyInto(out + p, max - p, app, a);
    return true;
}

// A string value of the NLS key; false when it is missing, not a string or too long for `out`
// (the caller then proceeds as if nothing were stored).
bool ReadNls(const char16_t* prefix, const char16_t* app, char16_t* out, std::size_t max) {
    char16_t name[kMaxName + 8];
    if (!ValueName(prefix, app, name, kMaxName + 7)) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNlsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char16_t buffer[kMaxList + 2] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer) - sizeof(char16_t); // a terminator always stays
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[size / sizeof(char16_t)] = 0; // stored without its terminator, or an odd byte count
    return CopyInto(out, max, buffer, Length(buffer));
}

void WriteNls(const char16_t* prefix, const char16_t* app, const char16_t* text) {
    char16_t name[kMaxName + 8];
    if (!ValueName(prefix, app, name, kMaxName + 7)) return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kNlsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD bytes = static_cast<DWORD>((Length(text) + 1) * sizeof(char16_t));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    RegCloseKey(key);
}

// --- Resources -----------------------------------------------------------------------------

bool RawString(UINT id, const char16_t** text, int* length) {
    if (id > 0xFFFF) return false;
    return platform::resource::FindString(LanguageModule(), id, text, length);
}

// Reads string 1 into the list; "EN" when it is missing, empty of codes or too long.
void LoadList(char16_t* list) {
    const char16_t* text = nullptr;
    int length = 0;
    if (RawString(1, &text, &length) && CopyInto(list, kMaxList, text, length) &&
        CountItems(list) > 0)
        return;
    CopyInto(list, kMaxList, u"EN", 2);
}

void MakeCurrent(Selection& s, int index) {
    const char16_t* item = u"EN";
    std::size_t length = 2;
    NthItem(s.list, index, &item, &length);
    if (!CopyInto(s.code, kMaxCode, item, length)) s.code[0] = 0;
    s.index = index;
    s.id = LanguageIdFromCode(item, length);
    s.count = CountItems(s.list);
}

void Initialise(const char16_t* app) {
    std::size_t appLength = Length(app);
    if (g_sel.initialised && SameText(g_sel.name, Length(g_sel.name), app, appLength)) return;
    Selection s;
    // A name too long to remember under is used as no name: the language is still chosen.
    bool remember = appLength > 0 && CopyInto(s.name, kMaxName, app, appLength);
    LoadList(s.list);
    if (remember) WriteNls(u"Opt-", s.name, s.list);
    char16_t chosen[kMaxCode + 1] = {};
    int index = -1;
    if (remember && ReadNls(u"Lang-", s.name, chosen, kMaxCode))
        index = FindCode(s.list, chosen, Length(chosen));
    if (index < 0) index = 0;
    MakeCurrent(s, index);
    if (remember) WriteNls(u"Lang-", s.name, s.code);
    s.initialised = true;
    g_sel = s;
}

void EnsureInitialised() {
    if (!g_sel.initialised) Initialise(u"");
}

// The seam of the formatting engine: "%m" and formats given by id.
bool LookupForFormat(UINT id, TString<char16_t>& text) {
    text = LoadLocalizedString(id);
    return true;
}

bool IsCurrentApplication(const char16_t* app) {
    EnsureInitialised();
    return SameText(g_sel.name, Length(g_sel.name), app, Length(app));
}

} // namespace

LANGID LanguageIdFromCode(const char16_t* code, std::size_t length) {
    static const struct {
        char16_t code[3];
        LANGID id;
    } table[] = {{u"EO", kLangEsperanto},
                 {u"EN", kLangEnglish},
                 {u"FR", kLangFrench},
                 {u"DE", kLangGerman},
                 {u"ES", kLangSpanish}};
    for (const auto& entry : table)
        if (SameText(code, length, entry.code, 2)) return entry.id;
    return kLangNone;
}

void InitialiseLanguage(const TCHAR* application) {
    string16 app(application ? application : TEXT(""));
    {
        std::lock_guard hold(g_lock);
        Initialise(app.c_str());
    }
    SetStringTableLookup(LookupForFormat);
}

LANGID CurrentLanguageId() {
    std::lock_guard hold(g_lock);
    EnsureInitialised();
    return g_sel.id;
}

int CurrentLanguageIndex() {
    std::lock_guard hold(g_lock);
    EnsureInitialised();
    return g_sel.index;
}

int LanguageCount() {
    std::lock_guard hold(g_lock);
    EnsureInitialised();
    return g_sel.count;
}

string CurrentLanguageCode() {
    std::lock_guard hold(g_lock);
    EnsureInitialised();
    return string(g_sel.code);
}

bool SetLanguage(LANGID id) {
    std::lock_guard hold(g_lock);
    EnsureInitialised();
    int index = FindId(g_sel.list, id);
    if (index < 0) return false;
    MakeCurrent(g_sel, index);
    if (g_sel.name[0]) WriteNls(u"Lang-", g_sel.name, g_sel.code);
    return true;
}

LANGID GetApplicationLanguage(const TCHAR* application) {
    string16 app(application ? application : TEXT(""));
    std::lock_guard hold(g_lock);
    if (IsCurrentApplication(app.c_str())) return g_sel.id;
    char16_t code[kMaxCode + 1] = {};
    if (!ReadNls(u"Lang-", app.c_str(), code, kMaxCode) || !code[0]) return kLangNone;
    return LanguageIdFromCode(code, Length(code));
}

bool SetApplicationLanguage(const TCHAR* application, LANGID id) {
    string16 app(application ? application : TEXT(""));
    std::lock_guard hold(g_lock);
    if (IsCurrentApplication(app.c_str())) return SetLanguage(id);
    if (app.empty()) return false;
    char16_t list[kMaxList + 1] = {};
    if (!ReadNls(u"Opt-", app.c_str(), list, kMaxList)) return false;
    const char16_t* item;
    std::size_t length;
    char16_t code[kMaxCode + 1];
    if (!NthItem(list, FindId(list, id), &item, &length) || !CopyInto(code, kMaxCode, item, length))
        return false;
    WriteNls(u"Lang-", app.c_str(), code);
    return true;
}

LANGID GetApplicationOfferedLanguage(const TCHAR* application, int n) {
    string16 app(application ? application : TEXT(""));
    std::lock_guard hold(g_lock);
    char16_t list[kMaxList + 1] = {};
    if (IsCurrentApplication(app.c_str()))
        CopyInto(list, kMaxList, g_sel.list, Length(g_sel.list));
    else if (!ReadNls(u"Opt-", app.c_str(), list, kMaxList))
        return kLangNone;
    const char16_t* item;
    std::size_t length;
    if (!NthItem(list, n, &item, &length)) return kLangNone;
    return LanguageIdFromCode(item, length);
}

string LoadLocalizedString(UINT baseId) {
    int index, count;
    {
        std::lock_guard hold(g_lock);
        EnsureInitialised();
        index = g_sel.index;
        count = g_sel.count;
    }
    string16 text;
    for (UINT id = baseId + static_cast<UINT>(index); id <= 0xFFFF;
         id += static_cast<UINT>(count)) {
        const char16_t* part = nullptr;
        int length = 0;
        if (!RawString(id, &part, &length)) break;
        text.append(part, static_cast<std::size_t>(length));
        // Only a part that itself ends in "+" goes on: an empty entry never eats a "+" that an
        // earlier part kept as text.
        if (length == 0 || part[length - 1] != u'+') break;
        text.erase(text.length() - 1, 1);
    }
    return string(text);
}

UINT LocalizedResourceId(UINT baseId) {
    return baseId + static_cast<UINT>(CurrentLanguageIndex());
}

bool LoadRawString(UINT id, string& text) {
    const char16_t* part = nullptr;
    int length = 0;
    if (!RawString(id, &part, &length)) return false;
    text.assign(part, static_cast<std::size_t>(length));
    return true;
}

HMODULE LanguageModule() {
    static const HMODULE module = GetModuleHandle(nullptr);
    return module;
}

bool FindOwnResource(UINT id, const TCHAR* type, const void** data, DWORD* size) {
    HMODULE module = LanguageModule();
    HRSRC found = FindResource(module, MAKEINTRESOURCE(id), type);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    *data = bytes;
    *size = SizeofResource(module, found);
    return true;
}

bool FindOwnResource(UINT id, UINT type, const void** data, DWORD* size) {
    return FindOwnResource(id, MAKEINTRESOURCE(type), data, size);
}

HICON LoadOwnIcon(UINT id) {
    return LoadIcon(LanguageModule(), MAKEINTRESOURCE(id));
}

HCURSOR LoadOwnCursor(UINT id) {
    return LoadCursor(LanguageModule(), MAKEINTRESOURCE(id));
}

HBITMAP LoadOwnBitmap(UINT id) {
    return LoadBitmap(LanguageModule(), MAKEINTRESOURCE(id));
}

HANDLE LoadOwnImage(UINT id, UINT type, int cx, int cy) {
    return LoadImage(LanguageModule(), MAKEINTRESOURCE(id), type, cx, cy, LR_DEFAULTSIZE);
}

HACCEL LoadOwnAccelerators(UINT id) {
    return LoadAccelerators(LanguageModule(), MAKEINTRESOURCE(id));
}

HFONT FontFromDescription(const TCHAR* description) {
    return platform::gdi::FontFromDescription(description ? description : TEXT(""),
                                              CurrentLanguageId() == kLangEsperanto);
}
