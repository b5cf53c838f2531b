// Resource lookup over the tables tessark-rc generates.
#include "platform/resource.h"
#include "platform/base.h"

#include "platform/core/resource_table.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>

// A program linked without a resource script still links, with no resources.
extern "C" __attribute__((weak))
const platform::resource::Table tessark_program_resources = {nullptr, 0};

namespace platform::resource {

namespace {

const int kProgramModule = 0;

std::mutex& ModulesLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::map<HMODULE, const Table*>& Modules() {
    static auto* modules = new std::map<HMODULE, const Table*>;
    return *modules;
}

const Table* TableFor(HMODULE module) {
    if (module == nullptr || module == ProgramModule()) return &tessark_program_resources;
    std::lock_guard lock(ModulesLock());
    auto it = Modules().find(module);
    return it == Modules().end() ? nullptr : it->second;
}

// A resource type or name as the caller gave it: an integer, "#123", or a name.
struct Key {
    bool numeric = true;
    unsigned id = 0;
    std::u16string name; // upper case
};

Key MakeKey(LPCWSTR given) {
    Key k;
    if (IS_INTRESOURCE(given)) {
        k.id = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(given));
        return k;
    }
    std::u16string s(given);
    if (s.size() > 1 && s[0] == u'#' &&
        std::all_of(s.begin() + 1, s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }) &&
        s.size() <= 6) {
        for (std::size_t i = 1; i < s.size(); ++i)
            k.id = k.id * 10 + (s[i] - u'0');
        if (k.id <= 0xFFFF) return k;
        k.id = 0;
    }
    k.numeric = false;
    for (auto& c : s) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    k.name = s;
    return k;
}

bool Matches(const Key& k, const char16_t* name, unsigned id) {
    if (k.numeric) return name == nullptr && id == k.id;
    return name != nullptr && k.name == name;
}

const Entry* Lookup(HMODULE module, const Key& name, const Key& type) {
    const Table* table = TableFor(module);
    if (table == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeSeen = false;
    for (unsigned i = 0; i < table->count; ++i) {
        const Entry& e = table->entries[i];
        if (!Matches(type, e.typeName, e.typeId)) continue;
        typeSeen = true;
        if (Matches(name, e.name, e.nameId)) return &e;
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

// A handle is only trusted when it points at an entry of a known table.
const Entry* Validate(HMODULE module, HRSRC resource) {
    auto* e = reinterpret_cast<const Entry*>(resource);
    const Table* table = TableFor(module);
    if (table != nullptr && table->count > 0 && e >= table->entries &&
        e < table->entries + table->count) {
        return e;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

} // namespace

HMODULE ProgramModule() {
    return reinterpret_cast<HMODULE>(const_cast<int*>(&kProgramModule));
}

void RegisterModule(HMODULE module, const Table* table) {
    std::lock_guard lock(ModulesLock());
    Modules()[module] = table;
}

void UnregisterModule(HMODULE module) {
    std::lock_guard lock(ModulesLock());
    Modules().erase(module);
}

bool FindString(HMODULE module, UINT id, const WCHAR** text, int* length) {
    Key type;
    type.id = 6; // RT_STRING
    Key block;
    block.id = (id >> 4) + 1;
    if (id > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    const Entry* e = Lookup(module, block, type);
    unsigned index = id & 15;
    if (e == nullptr || !(e->present & (1u << index))) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    std::size_t pos = 0;
    for (unsigned i = 0;; ++i) {
        if (pos + 2 > e->size) break;
        WORD len;
        std::memcpy(&len, e->data + pos, 2);
        pos += 2;
        if (pos + std::size_t{len} * 2 > e->size) break;
        if (i == index) {
            *text = reinterpret_cast<const WCHAR*>(e->data + pos);
            *length = len;
            return true;
        }
        pos += std::size_t{len} * 2;
    }
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND); // a damaged block
    return false;
}

namespace {

struct Bytes {
    const BYTE* p;
    std::size_t size;
    std::size_t pos = 0;
    bool ok = true;

    template <typename T>
    T Get() {
        T v{};
        if (pos + sizeof(T) > size) {
            ok = false;
            return v;
        }
        std::memcpy(&v, p + pos, sizeof(T));
        pos += sizeof(T);
        return v;
    }
    std::u16string String() {
        std::u16string s;
        for (;;) {
            auto c = Get<char16_t>();
            if (!ok || c == 0) return s;
            s.push_back(c);
        }
    }
    // A string or 0xFFFF followed by an ordinal; a lone 0 is neither.
    void StringOrId(WORD* id, std::u16string* s) {
        auto first = Get<WORD>();
        if (!ok || first == 0) return;
        if (first == 0xFFFF) {
            *id = Get<WORD>();
            return;
        }
        s->push_back(static_cast<char16_t>(first));
        *s += String();
    }
    void AlignDword() { pos = (pos + 3) & ~std::size_t{3}; }
};

} // namespace

bool ParseDialogTemplate(const void* data, DWORD size, DialogTemplate* out) {
    if (data == nullptr || out == nullptr) return false;
    Bytes b{static_cast<const BYTE*>(data), size};
    DialogTemplate t;
    auto first = b.Get<WORD>();
    auto second = b.Get<WORD>();
    t.extended = first == 1 && second == 0xFFFF;
    WORD count = 0;
    if (t.extended) {
        t.helpId = b.Get<DWORD>();
        t.exStyle = b.Get<DWORD>();
        t.style = b.Get<DWORD>();
    } else {
        b.pos = 0;
        t.style = b.Get<DWORD>();
        t.exStyle = b.Get<DWORD>();
    }
    count = b.Get<WORD>();
    t.x = b.Get<short>();
    t.y = b.Get<short>();
    t.cx = b.Get<short>();
    t.cy = b.Get<short>();
    b.StringOrId(&t.menuId, &t.menu);
    b.StringOrId(&t.classId, &t.className);
    t.title = b.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = b.Get<WORD>();
        if (t.extended) {
            t.weight = b.Get<WORD>();
            t.italic = b.Get<BYTE>();
            t.charset = b.Get<BYTE>();
        }
        t.face = b.String();
    }
    for (WORD i = 0; b.ok && i < count; ++i) {
        b.AlignDword();
        DialogItem item;
        if (t.extended) {
            item.helpId = b.Get<DWORD>();
            item.exStyle = b.Get<DWORD>();
            item.style = b.Get<DWORD>();
        } else {
            item.style = b.Get<DWORD>();
            item.exStyle = b.Get<DWORD>();
        }
        item.x = b.Get<short>();
        item.y = b.Get<short>();
        item.cx = b.Get<short>();
        item.cy = b.Get<short>();
        item.id = t.extended ? b.Get<DWORD>() : b.Get<WORD>();
        b.StringOrId(&item.classAtom, &item.className);
        b.StringOrId(&item.titleId, &item.title);
        auto extra = b.Get<WORD>();
        if (b.ok && extra > 0) {
            if (b.pos + extra > b.size) {
                b.ok = false;
                break;
            }
            item.creationData.assign(b.p + b.pos, b.p + b.pos + extra);
            b.pos += extra;
        }
        t.items.push_back(std::move(item));
    }
    if (!b.ok) return false;
    *out = std::move(t);
    return true;
}

} // namespace platform::resource

using namespace platform::resource;

HMODULE GetModuleHandleW(LPCWSTR name) {
    if (name == nullptr) return ProgramModule();
    // Libraries are found through LoadLibrary, which registers their resources.
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (name == nullptr) return ProgramModule();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (name == nullptr || type == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const Entry* e = Lookup(module, MakeKey(name), MakeKey(type));
    return reinterpret_cast<HRSRC>(const_cast<Entry*>(e));
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (name == nullptr || type == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string n, t;
    LPCWSTR wn = reinterpret_cast<LPCWSTR>(name);
    LPCWSTR wt = reinterpret_cast<LPCWSTR>(type);
    if (!IS_INTRESOURCE(name)) {
        n = platform::Widen(name);
        wn = n.c_str();
    }
    if (!IS_INTRESOURCE(type)) {
        t = platform::Widen(type);
        wt = t.c_str();
    }
    return FindResourceW(module, wn, wt);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const Entry* e = Validate(module, resource);
    if (e == nullptr) return nullptr;
    return const_cast<unsigned char*>(e->data);
}

LPVOID LockResource(HGLOBAL data) {
    return data;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const Entry* e = Validate(module, resource);
    return e == nullptr ? 0 : e->size;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE; // resources stay for the program's life
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WCHAR* text = nullptr;
    int length = 0;
    if (!FindString(instance, id, &text, &length)) {
        if (bufferMax > 0) buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    if (bufferMax == 0) {
        std::memcpy(buffer, &text, sizeof(text));
        return length;
    }
    int n = std::min(length, bufferMax - 1);
    std::copy_n(text, n, buffer);
    buffer[n] = 0;
    return n;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WCHAR* text = nullptr;
    int length = 0;
    buffer[0] = 0;
    if (!FindString(instance, id, &text, &length)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    std::string narrow = platform::Narrow(std::u16string_view(text, length));
    std::size_t n = std::min<std::size_t>(narrow.size(), static_cast<std::size_t>(bufferMax - 1));
    while (n > 0 && n < narrow.size() && (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80) {
        --n;
    }
    std::memcpy(buffer, narrow.data(), n);
    buffer[n] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<int>(n);
}
