// The device's module registry: libraries that programs load by name at run
// time, and the file names of program images.
//
// Library names compare without case and with or without ".dll", as the
// device's loader does. Loads are counted per process and dropped when the
// process ends, as the loader unmaps a dead process's libraries.

#include "kernel_sched.h"
#include "kernel.h"

#include <unistd.h>

#include <algorithm>
#include <map>

namespace dev {

namespace {

struct Library {
    std::u16string name;
    std::u16string key;
    std::vector<Export> exports;
    HMODULE handle;
};

struct Modules {
    std::vector<Library> libraries;
    std::map<std::u16string, int> loads; // all processes together, by key
    uintptr_t nextHandle = 0x20000000;
};

Modules &M()
{
    static Modules *modules = new Modules;
    return *modules;
}

std::u16string KeyOf(const std::u16string &name)
{
    std::u16string key = name;
    size_t slash = key.find_last_of(u"\\/");
    if (slash != std::u16string::npos) key = key.substr(slash + 1);
    for (char16_t &c : key)
        if (c >= 'A' && c <= 'Z') c = (char16_t)(c + 32);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, u".dll") == 0) key.resize(key.size() - 4);
    return key;
}

Library *ByKey(const std::u16string &key)
{
    for (Library &l : M().libraries)
        if (l.key == key) return &l;
    return nullptr;
}

Library *ByHandle(HMODULE handle)
{
    for (Library &l : M().libraries)
        if (l.handle == handle) return &l;
    return nullptr;
}

// The calling thread's process loads, or null for a host thread.
std::vector<std::pair<std::u16string, int>> *ProcessLoads()
{
    Thread *t = CurrentThread();
    return t ? &t->process->libraries : nullptr;
}

int *ProcessLoadCount(const std::u16string &key, bool create)
{
    auto *loads = ProcessLoads();
    if (!loads) return nullptr;
    for (auto &entry : *loads)
        if (entry.first == key) return &entry.second;
    if (!create) return nullptr;
    loads->push_back({key, 0});
    return &loads->back().second;
}

DWORD CopyOut(const std::u16string &text, LPWSTR buffer, DWORD size)
{
    if (!buffer || size == 0) return 0;
    DWORD n = (DWORD)std::min<size_t>(text.size(), size - 1);
    std::copy(text.begin(), text.begin() + n, buffer);
    buffer[n] = 0;
    if (n < text.size()) {
        SetLastError(122); // ERROR_INSUFFICIENT_BUFFER: truncated, terminated, size returned
        return size;
    }
    return n;
}

std::u16string FromUtf8(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < s.size()) {
            cp = ((c & 7u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < s.size()) {
            cp = ((c & 15u) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < s.size()) {
            cp = ((c & 31u) << 6) | (s[i + 1] & 0x3Fu);
            n = 2;
        } else if (c >= 0x80)
            cp = 0xFFFD;
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += (char16_t)(0xD800 + (cp >> 10));
            out += (char16_t)(0xDC00 + (cp & 0x3FF));
        } else {
            out += (char16_t)cp;
        }
    }
    return out;
}

} // namespace

void RegisterLibrary(const std::u16string &name, const std::vector<Export> &exports)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::u16string key = KeyOf(name);
    if (Library *existing = ByKey(key)) {
        existing->name = name;
        existing->exports = exports;
        return;
    }
    Modules &m = M();
    m.libraries.push_back(Library{name, key, exports, (HMODULE)m.nextHandle});
    m.nextHandle += 0x10000;
}

void UnregisterLibrary(const std::u16string &name)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::u16string key = KeyOf(name);
    auto &libs = M().libraries;
    libs.erase(std::remove_if(libs.begin(), libs.end(), [&](const Library &l) { return l.key == key; }), libs.end());
}

bool LibraryLoaded(const std::u16string &name)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    auto it = M().loads.find(KeyOf(name));
    return it != M().loads.end() && it->second > 0;
}

void ReleaseProcessLibraries(Process *process)
{
    for (auto &entry : process->libraries) {
        M().loads[entry.first] -= entry.second;
        CountObject(KindModule, -entry.second);
    }
    process->libraries.clear();
}

void ResetSystemModules()
{
    Modules &m = M();
    m.libraries.clear();
    m.loads.clear();
    m.nextHandle = 0x20000000;
}

} // namespace dev

using namespace dev;

HMODULE LoadLibraryW(LPCWSTR name)
{
    CheckTerminate();
    if (!name) {
        SetLastError(87);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::u16string key = KeyOf(name);
    Library *library = ByKey(key);
    if (!library) {
        SetLastError(126); // ERROR_MOD_NOT_FOUND
        return nullptr;
    }
    M().loads[key]++;
    if (int *count = ProcessLoadCount(key, true)) ++*count;
    CountObject(KindModule, 1);
    return library->handle;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Library *library = ByHandle(module);
    if (!library || !name || IS_INTRESOURCE(name)) {
        SetLastError(library ? 127 : 6); // ERROR_PROC_NOT_FOUND, ERROR_INVALID_HANDLE
        return nullptr;
    }
    // Export names are exact, unlike module names.
    for (const Export &e : library->exports)
        if (e.name == name) return e.address;
    SetLastError(127);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Library *library = ByHandle(module);
    if (!library) {
        SetLastError(6);
        return FALSE;
    }
    int &total = M().loads[library->key];
    int *mine = ProcessLoadCount(library->key, false);
    if (CurrentThread() ? (!mine || *mine <= 0) : total <= 0) {
        SetLastError(6);
        return FALSE;
    }
    if (mine) --*mine;
    total--;
    CountObject(KindModule, -1);
    return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR name)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Thread *t = CurrentThread();
    if (!name) return t ? t->process->module : nullptr;
    std::u16string key = KeyOf(name);
    if (t) {
        std::u16string image = t->process->image;
        size_t dot = image.rfind(u'.');
        std::u16string stem = image.substr(0, dot);
        if (KeyOf(image) == key || KeyOf(stem) == key) return t->process->module;
    }
    Library *library = ByKey(key);
    int *mine = library ? ProcessLoadCount(key, false) : nullptr;
    bool loaded = t ? (mine && *mine > 0) : (library && M().loads[key] > 0);
    if (!library || !loaded) {
        SetLastError(126);
        return nullptr;
    }
    return library->handle;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    std::u16string path;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        Thread *t = CurrentThread();
        uintptr_t value = (uintptr_t)module;
        if (!module) {
            if (!t) {
                CopyOut(u"", buffer, size);
                return 0;
            }
            path = t->process->path;
        } else if (Library *library = ByHandle(module)) {
            path = u"\\Windows\\" + library->name;
            if (KeyOf(library->name) == library->name) path += u".dll";
        } else if (DWORD pid = ProcessOfModule(module)) {
            path = ProcessPath(pid);
        } else if (std::shared_ptr<Process> p = FindProcess((DWORD)value)) {
            // As on the device, a process identifier stands in for its module.
            path = p->path;
        } else if (value > 0 && value < 0x400000) {
            char link[64], target[1024];
            snprintf(link, sizeof link, "/proc/%u/exe", (unsigned)value);
            ssize_t n = readlink(link, target, sizeof target - 1);
            if (n <= 0) {
                if (buffer && size) buffer[0] = 0;
                SetLastError(6);
                return 0;
            }
            path = FromUtf8(std::string(target, (size_t)n));
        } else {
            if (buffer && size) buffer[0] = 0;
            SetLastError(6);
            return 0;
        }
    }
    return CopyOut(path, buffer, size);
}
