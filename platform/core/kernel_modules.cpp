#include "platform/core/kernel_internal.h"

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_modulesLock;
// dlopen handles this layer gave out, with their counts, so that FreeLibrary of anything
// else fails instead of reaching dlclose.
std::map<void*, int>& LoadedModules() {
    static auto* loaded = new std::map<void*, int>;
    return *loaded;
}

std::string ExecutableDir() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(length));
    std::size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c | 0x20);
    return tail == ".dll";
}

// Where a module name may live: a bare name beside the executable (as given, or as the
// shared object the build makes of it), a path where it maps to.
std::vector<std::string> Candidates(const std::string& name) {
    if (name.find_first_of("\\/") != std::string::npos || name.find(':') != std::string::npos) {
        return {platform::MapPath(name)};
    }
    std::string dir = ExecutableDir();
    std::string stem = EndsWithDll(name) ? name.substr(0, name.size() - 4) : name;
    return {dir + "/" + name, dir + "/lib" + stem + ".so", dir + "/" + stem + ".so"};
}

HMODULE Load(const std::string& name) {
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const std::string& path : Candidates(name)) {
        if (access(path.c_str(), F_OK) != 0) continue;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) continue;
        std::lock_guard<std::mutex> guard(g_modulesLock);
        ++LoadedModules()[handle];
        return reinterpret_cast<HMODULE>(handle);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(fileName);
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(platform::Narrow(fileName));
}

BOOL FreeLibrary(HMODULE module) {
    void* handle = reinterpret_cast<void*>(module);
    {
        std::lock_guard<std::mutex> guard(g_modulesLock);
        auto found = LoadedModules().find(handle);
        if (found == LoadedModules().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--found->second == 0) LoadedModules().erase(found);
    }
    dlclose(handle);
    return TRUE;
}

FARPROC GetProcAddressA(HMODULE module, LPCSTR procName) {
    // Ordinals (values below 0x10000) are not exported by shared objects.
    if (module == nullptr || reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
        SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    {
        // Only handles LoadLibrary gave out reach dlsym; anything else would crash it.
        std::lock_guard<std::mutex> guard(g_modulesLock);
        if (LoadedModules().count(reinterpret_cast<void*>(module)) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    void* symbol = dlsym(reinterpret_cast<void*>(module), procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName) {
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return GetProcAddressA(module, platform::Narrow(procName).c_str());
}
