#include "document/res_module.h"

#include "document/res_types.h"
#include "platform/win32/resources.h"

namespace {

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

class PlatformModules final : public DS_ResModules {
public:
    HMODULE LoadModule(const std::u16string& name) override {
        if (name.empty()) return nullptr;
        return LoadLibraryW(name.c_str());
    }
    DS_ResourceBytes FindInModule(HMODULE module, WORD number, DS_ResourceType type) override {
        // A null handle would search the executable, whose resource 107 is
        // the scene document itself.
        if (!module) return {};
        return Find(module, number, type);
    }
    DS_ResourceBytes FindInExecutable(WORD number, DS_ResourceType type) override {
        return Find(nullptr, number, type);
    }
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
