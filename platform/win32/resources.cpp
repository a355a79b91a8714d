#include "platform/win32/resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/resource_container.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/strings.h"

namespace {

using tessaloom::ResourceTableEntry;
using tessaloom::UpperResourceName;

// A resource type or name: a number, or an upper-case string.
struct ResourceKey {
    WORD id = 0;
    std::u16string name;

    bool operator==(const ResourceKey& other) const { return id == other.id && name == other.name; }
};

// What an HRSRC points at.
struct ResourceRecord {
    ResourceKey type;
    ResourceKey name;
    const BYTE* data;
    DWORD size;
};

struct Module {
    std::string path;
    std::u16string fileName;  // upper case, as asked for ("COMMON_RES.DLL")
    int references = 1;
    std::unique_ptr<tessaloom::ResourceContainer> container;
    std::vector<ResourceRecord> records;
};

const BYTE kEmpty[1] = {0};

std::mutex g_mutex;
const ResourceTableEntry* g_exeEntries = nullptr;
size_t g_exeCount = 0;
std::vector<ResourceRecord> g_exeRecords;
bool g_exeRecordsBuilt = false;
std::vector<std::unique_ptr<Module>> g_modules;
std::string g_moduleFolderOverride;

// The executable's module handle: the address of a private object, never a
// container.
struct ExecutableTag {
    int unused;
} g_executableTag;
HMODULE ExecutableHandle() { return reinterpret_cast<HMODULE>(&g_executableTag); }

// Call with g_mutex held.
const std::vector<ResourceRecord>& ExecutableRecords() {
    if (!g_exeRecordsBuilt) {
        g_exeRecords.clear();
        for (size_t i = 0; i < g_exeCount; ++i) {
            const auto& e = g_exeEntries[i];
            ResourceRecord r;
            if (e.typeName) r.type.name = UpperResourceName(e.typeName); else r.type.id = e.typeId;
            if (e.name) r.name.name = UpperResourceName(e.name); else r.name.id = e.id;
            r.data = e.data ? static_cast<const BYTE*>(e.data) : kEmpty;
            r.size = e.data ? e.size : 0;
            g_exeRecords.push_back(std::move(r));
        }
        g_exeRecordsBuilt = true;
    }
    return g_exeRecords;
}

Module* FindModule(HMODULE handle) {
    for (auto& m : g_modules)
        if (reinterpret_cast<HMODULE>(m.get()) == handle) return m.get();
    return nullptr;
}

// The records of a module handle (null = the executable), or null for a handle
// that names no module.  Call with g_mutex held.
const std::vector<ResourceRecord>* RecordsOf(HMODULE module) {
    if (!module || module == ExecutableHandle()) return &ExecutableRecords();
    Module* m = FindModule(module);
    return m ? &m->records : nullptr;
}

bool KeyFrom(LPCWSTR text, ResourceKey& key) {
    if (!text) return false;
    if (IS_INTRESOURCE(text)) {
        key.id = LOWORD(reinterpret_cast<ULONG_PTR>(text));
        return key.id != 0;
    }
    std::u16string_view view(text, tessaloom::WStrLen(text));
    if (view.empty()) return false;
    // "#123" names resource number 123.
    if (view[0] == u'#' && view.size() > 1) {
        uint32_t n = 0;
        for (size_t i = 1; i < view.size(); ++i) {
            if (view[i] < u'0' || view[i] > u'9') return false;
            n = n * 10 + static_cast<uint32_t>(view[i] - u'0');
            if (n > 0xFFFF) return false;
        }
        key.id = static_cast<WORD>(n);
        return n != 0;
    }
    key.name = UpperResourceName(view);
    return true;
}

const ResourceRecord* Validate(HMODULE module, HRSRC resource) {
    if (!resource) return nullptr;
    const auto* records = RecordsOf(module);
    if (!records) return nullptr;
    for (const auto& r : *records)
        if (reinterpret_cast<HRSRC>(const_cast<ResourceRecord*>(&r)) == resource) return &r;
    return nullptr;
}

std::string ModuleFolder() {
    if (!g_moduleFolderOverride.empty()) return g_moduleFolderOverride;
    if (const char* env = std::getenv("TESSALOOM_MODULE_DIR"); env && *env) return env;
    return tessaloom::ExecutableFolder();
}

// "common_res" -> "common_res.dll" (upper-cased when `upper`); empty when the
// name cannot be a file beside the executable (a path, or nothing).
std::u16string ModuleFileName(LPCWSTR name, bool upper = true) {
    if (!name) return {};
    std::u16string file(name, tessaloom::WStrLen(name));
    if (file.empty() || file.find_first_of(u"/\\:") != std::u16string::npos) return {};
    if (file == u"." || file == u"..") return {};
    if (file.back() == u'.') file.pop_back();           // a trailing dot: no extension
    else if (file.find(u'.') == std::u16string::npos) file += u".dll";  // no extension: .dll
    if (file.empty()) return {};
    return upper ? UpperResourceName(file) : file;
}

// The file in `folder` named `asked`, or else the one whose name matches
// `upper` without regard to case.
std::string FindFileInFolder(const std::string& folder, const std::u16string& asked, const std::u16string& upper) {
    std::error_code ec;
    std::filesystem::path exact = std::filesystem::path(folder) / tessaloom::Utf16ToUtf8(asked);
    if (std::filesystem::is_regular_file(exact, ec)) return exact.string();
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return {};
    for (const auto& entry : it) {
        std::u16string candidate = UpperResourceName(tessaloom::Utf8ToUtf16(entry.path().filename().string()));
        if (candidate == upper && entry.is_regular_file(ec)) return entry.path().string();
    }
    return {};
}

}  // namespace

namespace tessaloom {

void RegisterExecutableResources(const ResourceTableEntry* entries, size_t count) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_exeEntries = entries;
    g_exeCount = entries ? count : 0;
    g_exeRecordsBuilt = false;
}

namespace testing {

ScopedExecutableResources::ScopedExecutableResources(std::vector<ResourceTableEntry> entries)
    : entries_(std::move(entries)) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        previous_ = g_exeEntries;
        previousCount_ = g_exeCount;
    }
    RegisterExecutableResources(entries_.data(), entries_.size());
}

ScopedExecutableResources::~ScopedExecutableResources() { RegisterExecutableResources(previous_, previousCount_); }

void SetModuleFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_moduleFolderOverride = folder;
}

}  // namespace testing
}  // namespace tessaloom

HMODULE LoadLibraryW(LPCWSTR name) {
    std::u16string file = ModuleFileName(name);
    if (file.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& m : g_modules) {
        if (m->fileName == file) {
            ++m->references;
            return reinterpret_cast<HMODULE>(m.get());
        }
    }
    std::string path = FindFileInFolder(ModuleFolder(), ModuleFileName(name, false), file);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string error;
    auto container = tessaloom::ResourceContainer::Open(path, &error);
    if (!container) {
        // A damaged module is refused exactly like a missing one, but said so.
        std::fprintf(stderr, "LoadLibraryW: %s\n", error.c_str());
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto module = std::make_unique<Module>();
    module->path = path;
    module->fileName = file;
    const auto& bytes = container->Bytes();
    for (const auto& e : container->Entries()) {
        ResourceRecord r;
        if (e.typeName.empty()) r.type.id = e.typeId; else r.type.name = e.typeName;
        r.name.id = e.id;
        r.data = e.size ? bytes.data() + e.offset : kEmpty;
        r.size = e.size;
        module->records.push_back(std::move(r));
    }
    module->container = std::move(container);
    g_modules.push_back(std::move(module));
    return reinterpret_cast<HMODULE>(g_modules.back().get());
}

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD /*flags*/) {
    // Every module is loaded as data whatever the flags ask.
    if (file) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryW(name);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == ExecutableHandle()) return TRUE;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_modules.begin(); it != g_modules.end(); ++it) {
        if (reinterpret_cast<HMODULE>(it->get()) != module) continue;
        if (--(*it)->references == 0) g_modules.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

void* GetProcAddress(HMODULE /*module*/, LPCSTR /*name*/) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    if (!name) return ExecutableHandle();
    std::u16string file = ModuleFileName(name);
    if (!file.empty()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (auto& m : g_modules)
            if (m->fileName == file) return reinterpret_cast<HMODULE>(m.get());
        std::string exe = tessaloom::ExecutablePath();
        std::string exeName = exe.substr(exe.rfind('/') + 1);
        if (UpperResourceName(tessaloom::Utf8ToUtf16(exeName)) == file ||
            UpperResourceName(tessaloom::Utf8ToUtf16(exeName + ".exe")) == file)
            return ExecutableHandle();
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    ResourceKey nameKey, typeKey;
    if (!KeyFrom(name, nameKey) || !KeyFrom(type, typeKey)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto* records = RecordsOf(module);
    if (!records) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    bool typeSeen = false;
    for (const auto& r : *records) {
        if (!(r.type == typeKey)) continue;
        typeSeen = true;
        if (r.name == nameKey) return reinterpret_cast<HRSRC>(const_cast<ResourceRecord*>(&r));
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const ResourceRecord* r = Validate(module, resource);
    if (!r) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return r->size;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const ResourceRecord* r = Validate(module, resource);
    if (!r) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(r->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer || bufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WCHAR* text = nullptr;
    size_t length = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto* records = RecordsOf(instance);
        const ResourceRecord* block = nullptr;
        if (records) {
            ResourceKey type{6, {}}, name{static_cast<WORD>((id >> 4) + 1), {}};
            for (const auto& r : *records)
                if (r.type == type && r.name == name) block = &r;
        }
        if (block && id <= 0xFFFF) {
            // Walk the block's 16 counted strings, never past its end.
            size_t at = 0;
            const size_t index = id & 15;
            for (size_t i = 0;; ++i) {
                if (at + 2 > block->size) break;
                WORD n;
                std::memcpy(&n, block->data + at, 2);
                at += 2;
                if (at + static_cast<size_t>(n) * 2 > block->size) break;
                if (i == index) {
                    if (n > 0) {
                        text = reinterpret_cast<const WCHAR*>(block->data + at);
                        length = n;
                    }
                    break;
                }
                at += static_cast<size_t>(n) * 2;
            }
        }
    }
    if (!text) {
        if (bufferMax > 0) buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (bufferMax == 0) {
        // The buffer receives a read-only pointer to the string itself.
        const WCHAR* pointer = text;
        std::memcpy(buffer, &pointer, sizeof pointer);
        return static_cast<int>(length);
    }
    size_t copy = length < static_cast<size_t>(bufferMax - 1) ? length : static_cast<size_t>(bufferMax - 1);
    std::memcpy(buffer, text, copy * sizeof(WCHAR));
    buffer[copy] = 0;
    return static_cast<int>(copy);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    std::string path;
    if (!module || module == ExecutableHandle()) {
        path = tessaloom::ExecutablePath();
    } else {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (Module* m = FindModule(module)) path = m->path;
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string wide = tessaloom::Utf8ToUtf16(path);
    if (wide.size() + 1 > size) {
        std::memcpy(buffer, wide.data(), (size - 1) * sizeof(WCHAR));
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    buffer[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}
