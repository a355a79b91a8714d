// Fault injection and live-object counts (platform/d3d9/d3d9_testing.h).
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
