// The Direct3D stand-in's test interface: fault injection (a GL device is
// never lost by itself, so loss and creation failures are made here) and the
// live-object counts behind the leak checks.
//
// Every fault stays armed until it fires or ClearFaults() is called.
#pragma once

#include "platform/d3d9/d3d9.h"

struct SDL_Window;

namespace tessaloom::d3d9 {

// Loses the device: TestCooperativeLevel answers D3DERR_DEVICELOST for the
// next `lostChecks` calls (Present and Reset fail with it too), then
// D3DERR_DEVICENOTRESET until a Reset succeeds.  With lostChecks 0 the device
// is at once ready to be reset.
void LoseDevice(IDirect3DDevice9* device, int lostChecks = 1);

// Makes CreateDevice fail with `result` when every given field matches:
// adapter (-1: any), device type (0: any), back-buffer width and height
// (0: any).  Several rules can be armed; each fires `times` times (-1: always).
struct CreateDeviceFault {
    int adapter = -1;
    D3DDEVTYPE type = static_cast<D3DDEVTYPE>(0);
    UINT width = 0;
    UINT height = 0;
    HRESULT result = D3DERR_NOTAVAILABLE;
    int times = -1;
};
void FailCreateDevice(const CreateDeviceFault& fault);

// The same for a whole program (the saver under the X11 checks): the first
// Direct3DCreate9 of the process arms one always-firing rule, failing with
// D3DERR_NOTAVAILABLE, for each item of the comma-separated list in
// $TESSALOOM_D3D9_FAIL_CREATE_DEVICE, "[ADAPTER:]WIDTHxHEIGHT" (any device
// type; without an adapter, any adapter).  Read once per process.
void ArmFaultsFromEnvironment();

// Makes the next `count` resource creations of the given type (textures,
// vertex buffers, index buffers, surfaces; 0 = any type) fail with
// D3DERR_OUTOFVIDEOMEMORY.
void FailResourceCreation(D3DRESOURCETYPE type, int count = 1);

// Disarms every fault above (devices already lost stay lost).
void ClearFaults();

// Lets tests give devices a window before the window stand-in can: while
// set, CreateDevice asks this function for the SDL window behind an HWND
// instead of the window stand-in.  Null restores the window stand-in.
using WindowResolver = SDL_Window* (*)(HWND window);
void SetWindowResolver(WindowResolver resolver);

// True while the device's back buffer is the window's own framebuffer
// (drawn upright, no copy at Present) rather than a texture flipped into the
// window at Present.
bool BackBufferInWindow(IDirect3DDevice9* device);

// Objects of this stand-in alive in the process: Direct3D objects, devices
// and resources.  Zero once everything has been released.
int LiveObjectCount();
// Resources of this device still referenced by the application.
int LiveResourceCount(IDirect3DDevice9* device);

}  // namespace tessaloom::d3d9
