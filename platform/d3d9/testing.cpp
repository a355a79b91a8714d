// Fault injection and live-object counts (platform/d3d9/d3d9_testing.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9_testing.h"
#include "platform/d3d9/objects.h"
#include "platform/win32/window_bridge.h"

namespace tessaloom::d3d9 {
namespace {

int g_liveObjects = 0;
std::vector<CreateDeviceFault> g_deviceFaults;
struct ResourceFault {
    D3DRESOURCETYPE type;
    int count;
};
std::vector<ResourceFault> g_resourceFaults;
WindowResolver g_windowResolver = nullptr;

}  // namespace

void CountObject(int delta) { g_liveObjects += delta; }

bool TakeResourceFault(D3DRESOURCETYPE type) {
    for (auto it = g_resourceFaults.begin(); it != g_resourceFaults.end(); ++it) {
        if (it->type != 0 && it->type != type) continue;
        if (--it->count <= 0) g_resourceFaults.erase(it);
        return true;
    }
    return false;
}

bool TakeCreateDeviceFault(UINT adapter, D3DDEVTYPE type, UINT width, UINT height, HRESULT* result) {
    for (auto it = g_deviceFaults.begin(); it != g_deviceFaults.end(); ++it) {
        if (it->adapter >= 0 && static_cast<UINT>(it->adapter) != adapter) continue;
        if (it->type != 0 && it->type != type) continue;
        if (it->width != 0 && it->width != width) continue;
        if (it->height != 0 && it->height != height) continue;
        *result = it->result;
        if (it->times > 0 && --it->times == 0) g_deviceFaults.erase(it);
        return true;
    }
    return false;
}

void LoseDevice(IDirect3DDevice9* device, int lostChecks) {
    if (device) static_cast<Device*>(device)->Lose(lostChecks);
}

void FailCreateDevice(const CreateDeviceFault& fault) { g_deviceFaults.push_back(fault); }

void ArmFaultsFromEnvironment() {
    static bool read = false;
    if (read) return;
    read = true;
    const char* list = std::getenv("TESSALOOM_D3D9_FAIL_CREATE_DEVICE");
    if (!list || !*list) return;
    for (const char* p = list; *p;) {
        const char* end = std::strchr(p, ',');
        const std::string item(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        p = end ? end + 1 : p + item.size();
        CreateDeviceFault fault;
        unsigned adapter = 0, width = 0, height = 0;
        char tail = 0;
        if (std::sscanf(item.c_str(), "%u:%ux%u%c", &adapter, &width, &height, &tail) == 3) {
            fault.adapter = static_cast<int>(adapter);
        } else if (std::sscanf(item.c_str(), "%ux%u%c", &width, &height, &tail) != 2) {
            std::fprintf(stderr, "tessaloom d3d9: TESSALOOM_D3D9_FAIL_CREATE_DEVICE: '%s' is not [ADAPTER:]WIDTHxHEIGHT\n",
                         item.c_str());
            continue;
        }
        fault.width = width;
        fault.height = height;
        std::fprintf(stderr, "tessaloom d3d9: CreateDevice will fail for %s (fault injection)\n", item.c_str());
        g_deviceFaults.push_back(fault);
    }
}

void FailResourceCreation(D3DRESOURCETYPE type, int count) {
    if (count > 0) g_resourceFaults.push_back({type, count});
}

void ClearFaults() {
    g_deviceFaults.clear();
    g_resourceFaults.clear();
}

void SetWindowResolver(WindowResolver resolver) { g_windowResolver = resolver; }

SDL_Window* ResolveWindow(HWND window) {
    return g_windowResolver ? g_windowResolver(window) : SdlWindowFromHwnd(window);
}

int LiveObjectCount() { return g_liveObjects; }

bool BackBufferInWindow(IDirect3DDevice9* device) {
    return device && static_cast<Device*>(device)->backBufferInWindow();
}

int LiveResourceCount(IDirect3DDevice9* device) {
    return device ? static_cast<Device*>(device)->LiveResources() : 0;
}

}  // namespace tessaloom::d3d9
