#include "document/res_module.h"

#include <cstdio>

#include "document/res_types.h"
#include "platform/win32/resources.h"

// The resource lookup of the platform is linked only where it is built.
#if __has_include("platform/win32/resources_hooks.h")
#define DS_HAVE_RESOURCE_LOOKUP 1
#else
#define DS_HAVE_RESOURCE_LOOKUP 0
#endif

namespace {

#if DS_HAVE_RESOURCE_LOOKUP
const WCHAR kTypeDDS[] = u"DDS";

LPCWSTR TypeName(DS_ResourceType type) { return type == DS_ResourceType::DDS ? kTypeDDS : RT_RCDATA; }

DS_ResourceBytes Find(HMODULE module, WORD number, DS_ResourceType type) {
    if (number == 0) return {};
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(number), TypeName(type));
    if (!found) return {};
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded || size == 0) return {};
    const void* data = LockResource(loaded);
    if (!data) return {};
    return DS_ResourceBytes{static_cast<const BYTE*>(data), size};
}
#endif

class PlatformModules final : public DS_ResModules {
public:
    HMODULE LoadModule(const std::u16string& name) override {
#if DS_HAVE_RESOURCE_LOOKUP
        if (name.empty()) return nullptr;
        return LoadLibraryW(name.c_str());
#else
        Unavailable();
        (void)name;
        return nullptr;
#endif
    }
    DS_ResourceBytes FindInModule(HMODULE module, WORD number, DS_ResourceType type) override {
        // A null handle would search the executable, whose resource 107 is
        // the scene document itself.
        if (!module) return {};
#if DS_HAVE_RESOURCE_LOOKUP
        return Find(module, number, type);
#else
        (void)number;
        (void)type;
        Unavailable();
        return {};
#endif
    }
    DS_ResourceBytes FindInExecutable(WORD number, DS_ResourceType type) override {
#if DS_HAVE_RESOURCE_LOOKUP
        return Find(nullptr, number, type);
#else
        (void)number;
        (void)type;
        Unavailable();
        return {};
#endif
    }

private:
#if !DS_HAVE_RESOURCE_LOOKUP
    static void Unavailable() {
        static bool said = false;
        if (!said) std::fprintf(stderr, "resource lookup is not built into this program: every resource is missing\n");
        said = true;
    }
#endif
};

PlatformModules g_platformModules;
DS_ResModules* g_modules = &g_platformModules;

}  // namespace

DS_ResModules& GetResModules() { return *g_modules; }

DS_ResModules* SetResModules(DS_ResModules* modules) {
    DS_ResModules* previous = g_modules;
    g_modules = modules ? modules : &g_platformModules;
    return previous;
}

bool DS_ResFileData::LoadFromModule() {
    DS_ResModules& modules = GetResModules();
    HMODULE handle = modules.LoadModule(module);
    if (!handle) return false;
    DS_ResourceBytes bytes =
        modules.FindInModule(handle, DS_ResourceNumberFromStamp(resourceId), DS_ResourceType::DDS);
    if (!bytes) return false;
    SetBytes(bytes.size, bytes.data);
    return true;
}

DS_PictureSetResource ReadPictureSetResource(const DS_ResourceBytes& bytes) {
    DS_PictureSetResource set;
    if (!bytes) return set;
    ResourceBuffer buffer(bytes.data, bytes.size);
    buffer.ReadFloatList(set.frameValues);
    ReadResFileListFromBuffer(buffer, set.frames);
    return set;
}
