// The Direct3D object and device: adapters, caps, creation, defaults, Reset,
// device loss, fault injection and reference counting.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/window_bridge.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;
namespace fault = tessaloom::d3d9;

D3DPRESENT_PARAMETERS Windowed(UINT width, UINT height, D3DFORMAT format = D3DFMT_X8R8G8B8) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = format;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    return p;
}

class D3D9Object : public ::testing::Test {
protected:
    void SetUp() override {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        fault::ClearFaults();
        EXPECT_EQ(d3d->Release(), 0u);
        EXPECT_EQ(fault::LiveObjectCount(), 0);
    }
    IDirect3DDevice9* Create(D3DPRESENT_PARAMETERS p, HRESULT* result = nullptr) {
        IDirect3DDevice9* device = nullptr;
        HRESULT hr = d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device);
        if (result) *result = hr;
        return device;
    }
    IDirect3D9* d3d = nullptr;
};

TEST_F(D3D9Object, WrongSdkVersionGivesNoObject) { EXPECT_EQ(Direct3DCreate9(31), nullptr); }

TEST_F(D3D9Object, AdaptersAreSdlDisplays) {
    ASSERT_EQ(d3d->GetAdapterCount(), static_cast<UINT>(SDL_GetNumVideoDisplays()));
    ASSERT_GE(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER9 id{}, again{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_GT(std::strlen(id.Description), 0u);
    EXPECT_GT(std::strlen(id.Driver), 0u);
    // The device identifier is stable from one Direct3D object to the next.
    IDirect3D9* other = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_EQ(other->GetAdapterIdentifier(0, 0, &again), D3D_OK);
    EXPECT_TRUE(id.DeviceIdentifier == again.DeviceIdentifier);
    EXPECT_FALSE(id.DeviceIdentifier == GUID_NULL);
    other->Release();
    EXPECT_EQ(d3d->GetAdapterIdentifier(d3d->GetAdapterCount(), 0, &id), D3DERR_INVALIDCALL);
    // The monitor handle is the window stand-in's for the same display.
    EXPECT_EQ(d3d->GetAdapterMonitor(0), tessaloom::MonitorFromDisplayIndex(0));
    EXPECT_EQ(d3d->GetAdapterMonitor(d3d->GetAdapterCount()), nullptr);
}

TEST_F(D3D9Object, ModesAndDesktop) {
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_GT(desktop.Width, 0u);
    EXPECT_GT(desktop.Height, 0u);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    const UINT count = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GE(count, 1u);
    bool desktopListed = false;
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE m{};
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &m), D3D_OK);
        EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
        desktopListed |= m.Width == desktop.Width && m.Height == desktop.Height;
    }
    EXPECT_TRUE(desktopListed);
    D3DDISPLAYMODE m{};
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, count, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);  // not a display format
}

TEST_F(D3D9Object, DeviceTypeAndFormatChecks) {
    struct TypeCase {
        D3DDEVTYPE type;
        D3DFORMAT adapter, back;
        BOOL windowed;
        HRESULT expected;
    };
    const TypeCase types[] = {
        {D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3D_OK},
        {D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3D_OK},
        {D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE, D3DERR_NOTAVAILABLE},
        {D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE, D3D_OK},
        {D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},  // not a display format
        // The software device (Mesa's software rasteriser) takes what the hardware one does.
        {D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3D_OK},
        {D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE, D3DERR_NOTAVAILABLE},
        {D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, D3D_OK},
        {D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE, D3DERR_NOTAVAILABLE},  // no reference rasteriser
    };
    for (const auto& c : types)
        EXPECT_EQ(d3d->CheckDeviceType(0, c.type, c.adapter, c.back, c.windowed), c.expected)
            << c.type << " " << c.adapter << " " << c.back << " " << c.windowed;

    struct FormatCase {
        DWORD usage;
        D3DRESOURCETYPE rtype;
        D3DFORMAT format;
        HRESULT expected;
    };
    const FormatCase formats[] = {
        {0, D3DRTYPE_TEXTURE, D3DFMT_V8U8, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_V16U16, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_A8, D3D_OK},
        {0, D3DRTYPE_TEXTURE, D3DFMT_DXT1, D3D_OK},
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3D_OK},
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16, D3D_OK},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D24S8, D3D_OK},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D15S1, D3DERR_NOTAVAILABLE},
        {D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D24X4S4, D3DERR_NOTAVAILABLE},
        {0, D3DRTYPE_TEXTURE, D3DFMT_P8, D3DERR_NOTAVAILABLE},
    };
    for (const auto& c : formats)
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, c.usage, c.rtype, c.format), c.expected)
            << c.format;
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16), D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D15S1),
              D3DERR_NOTAVAILABLE);
}

TEST_F(D3D9Object, CapsSayWhatIsImplemented) {
    D3DCAPS9 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_PUREDEVICE);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_MODULATE);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_SELECTARG1);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP);  // the host's device acceptance needs it
    // Not implemented, so not claimed.
    EXPECT_FALSE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAPLUMINANCE);
    EXPECT_FALSE(caps.TextureOpCaps & D3DTEXOPCAPS_PREMODULATE);
    EXPECT_EQ(caps.NumSimultaneousRTs, 1u);
    // The software device: the same pipeline without the hardware, so
    // software vertex processing only (the host then says "SW (sw vp)").
    D3DCAPS9 sw{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_SW, &sw), D3D_OK);
    EXPECT_EQ(sw.DeviceType, D3DDEVTYPE_SW);
    EXPECT_EQ(sw.AdapterOrdinal, 0u);
    EXPECT_FALSE(sw.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_FALSE(sw.DevCaps & D3DDEVCAPS_PUREDEVICE);
    EXPECT_FALSE(sw.DevCaps & D3DDEVCAPS_HWRASTERIZATION);
    EXPECT_EQ(sw.TextureOpCaps, caps.TextureOpCaps);
    EXPECT_TRUE(sw.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_V8U8), D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_SW, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16), D3D_OK);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
}

TEST_F(D3D9Object, CreateDeviceWritesBackPresentParameters) {
    D3DPRESENT_PARAMETERS p = Windowed(0, 0, D3DFMT_UNKNOWN);
    p.BackBufferCount = 0;
    IDirect3DDevice9* device = Create(p);
    ASSERT_NE(device, nullptr);
    // The asked-for parameters are not touched through the copy; check the device's.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    D3DDISPLAYMODE desktop{};
    d3d->GetAdapterDisplayMode(0, &desktop);
    EXPECT_EQ(desc.Width, desktop.Width);  // offscreen: the desktop's size
    EXPECT_EQ(desc.Height, desktop.Height);
    EXPECT_EQ(desc.Format, desktop.Format);
    back->Release();
    EXPECT_EQ(device->Release(), 0u);

    D3DPRESENT_PARAMETERS q = Windowed(0, 0, D3DFMT_UNKNOWN);
    IDirect3DDevice9* second = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &q, &second), D3D_OK);
    EXPECT_EQ(q.BackBufferWidth, desktop.Width);
    EXPECT_EQ(q.BackBufferHeight, desktop.Height);
    EXPECT_EQ(q.BackBufferFormat, desktop.Format);
    EXPECT_EQ(q.BackBufferCount, 1u);
    second->Release();
}

TEST_F(D3D9Object, CreateDeviceRefusals) {
    D3DDISPLAYMODE desktop{};
    d3d->GetAdapterDisplayMode(0, &desktop);
    D3DPRESENT_PARAMETERS full = Windowed(desktop.Width, desktop.Height);
    full.Windowed = FALSE;
    IDirect3DDevice9* device = Create(full);
    ASSERT_NE(device, nullptr) << "full screen in the desktop mode";
    device->Release();
    HRESULT hr = S_OK;
    full.BackBufferWidth = 123;
    EXPECT_EQ(Create(full, &hr), nullptr);
    EXPECT_EQ(hr, D3DERR_INVALIDCALL) << "a mode the adapter does not list";
    D3DPRESENT_PARAMETERS p = Windowed(64, 64);
    IDirect3DDevice9* out = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_SW, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &out),
              D3DERR_INVALIDCALL) << "the software device has no hardware vertex processing";
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &out),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(d3d->GetAdapterCount(), D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &p, &out),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(out, nullptr);
}

TEST_F(D3D9Object, FaultInjectionFailsCreateDeviceForOneMode) {
    fault::FailCreateDevice({.width = 800, .height = 600, .result = D3DERR_OUTOFVIDEOMEMORY, .times = 1});
    HRESULT hr = S_OK;
    IDirect3DDevice9* device = Create(Windowed(640, 480), &hr);
    ASSERT_NE(device, nullptr) << "another mode is not affected";
    device->Release();
    EXPECT_EQ(Create(Windowed(800, 600), &hr), nullptr);
    EXPECT_EQ(hr, D3DERR_OUTOFVIDEOMEMORY);
    device = Create(Windowed(800, 600), &hr);
    EXPECT_NE(device, nullptr) << "the fault fired once";
    if (device) device->Release();
    fault::FailCreateDevice({.adapter = 0, .type = D3DDEVTYPE_HAL});
    EXPECT_EQ(Create(Windowed(32, 32), &hr), nullptr);
    EXPECT_EQ(hr, D3DERR_NOTAVAILABLE);
    fault::ClearFaults();
    device = Create(Windowed(32, 32));
    ASSERT_NE(device, nullptr);
    device->Release();
}

TEST(D3D9Device, DefaultStateAtCreation) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    struct RsCase {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const RsCase rs[] = {
        {D3DRS_ZENABLE, D3DZB_FALSE}, {D3DRS_ZWRITEENABLE, TRUE}, {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_LIGHTING, TRUE},       {D3DRS_ALPHABLENDENABLE, FALSE}, {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO}, {D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ALPHATESTENABLE, FALSE}, {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS}, {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_TEXTUREFACTOR, 0xffffffff}, {D3DRS_COLORWRITEENABLE, 0xf}, {D3DRS_AMBIENT, 0},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARENABLE, FALSE},
    };
    for (const auto& c : rs) {
        DWORD v = 0xdeadbeef;
        EXPECT_EQ(d->GetRenderState(c.state, &v), D3D_OK);
        EXPECT_EQ(v, c.value) << "render state " << c.state;
    }
    for (DWORD s = 0; s < 8; ++s) {
        DWORD v = 0;
        d->GetTextureStageState(s, D3DTSS_COLOROP, &v);
        EXPECT_EQ(v, s == 0 ? static_cast<DWORD>(D3DTOP_MODULATE) : static_cast<DWORD>(D3DTOP_DISABLE)) << s;
        d->GetTextureStageState(s, D3DTSS_ALPHAOP, &v);
        EXPECT_EQ(v, s == 0 ? static_cast<DWORD>(D3DTOP_SELECTARG1) : static_cast<DWORD>(D3DTOP_DISABLE)) << s;
        d->GetTextureStageState(s, D3DTSS_COLORARG1, &v);
        EXPECT_EQ(v, D3DTA_TEXTURE);
        d->GetTextureStageState(s, D3DTSS_COLORARG2, &v);
        EXPECT_EQ(v, D3DTA_CURRENT);
        d->GetTextureStageState(s, D3DTSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(v, s);
        d->GetSamplerState(s, D3DSAMP_ADDRESSU, &v);
        EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
        d->GetSamplerState(s, D3DSAMP_MINFILTER, &v);
        EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT));
        d->GetSamplerState(s, D3DSAMP_MIPFILTER, &v);
        EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_NONE));
    }
    D3DVIEWPORT9 vp{};
    d->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 8u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    IDirect3DSurface9* depth = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(d->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(depth, nullptr);
}

// Reset is refused while a default-pool render target lives and accepted
// once it is released; managed textures survive it with their contents,
// and device state is back at its defaults.
TEST(D3D9Device, ResetNeedsDefaultPoolReleased) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* managed = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xff00ff00u; });
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    d->SetTexture(0, target);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DPRESENT_PARAMETERS p = h.params;
    p.BackBufferWidth = 24;
    EXPECT_EQ(d->Reset(&p), D3DERR_INVALIDCALL);
    // A surface of the texture held alone keeps it alive as well.
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    target->Release();
    EXPECT_EQ(d->Reset(&p), D3DERR_INVALIDCALL);
    level->Release();
    // Only the device's binding still holds the target: that does not count.
    EXPECT_EQ(d->Reset(&p), D3D_OK);
    DWORD cull = 0;
    d->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));
    IDirect3DBaseTexture9* bound = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    d->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    D3DVIEWPORT9 vp{};
    d->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 24u);

    // The managed texture still draws its green.
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetTexture(0, managed);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    tessaloom::testing::VertexRhwColorTex v[4] = {{-0.5f, 15.5f, 0, 1, 0xffffffff, 0, 1}, {-0.5f, -0.5f, 0, 1, 0xffffffff, 0, 0},
                                                  {23.5f, 15.5f, 0, 1, 0xffffffff, 1, 1}, {23.5f, -0.5f, 0, 1, 0xffffffff, 1, 0}};
    d->BeginScene();
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
    d->EndScene();
    Image img = h.ReadBackBuffer();
    EXPECT_EQ(img.width, 24u);
    EXPECT_TRUE(Probe(img, 20, 8, 0xff00ff00));
    d->SetTexture(0, nullptr);
    managed->Release();
}

// A lost device answers lost, then not-reset; draws do nothing meanwhile;
// Reset brings it back.
TEST(D3D9Device, LostDeviceAndRecovery) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0);
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    fault::LoseDevice(d, 2);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS p = h.params;
    EXPECT_EQ(d->Reset(&p), D3DERR_DEVICELOST) << "cannot reset while still lost";
    EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffff0000, 1.0f, 0), D3D_OK);  // succeeds, does nothing
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 2, 2, 0xff0000ff));
    EXPECT_EQ(d->Reset(&p), D3D_OK);
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // Losing with no lost checks goes straight to not-reset.
    fault::LoseDevice(d, 0);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->Reset(&p), D3D_OK);
}

// TESSALOOM_LOSE_DEVICE_EVERY loses a device on a timer, read when the
// device is made; a value that is not a positive number of seconds is ignored.
TEST(D3D9Device, TimedLossesFromTheEnvironment) {
    struct Case {
        const char* value;
        bool loses;
    };
    for (const Case c : {Case{"0.001", true}, Case{"0", false}, Case{"-2", false}, Case{"soon", false}, Case{"", false}}) {
        SCOPED_TRACE(c.value);
        ASSERT_EQ(setenv("TESSALOOM_LOSE_DEVICE_EVERY", c.value, 1), 0);
        D3DHarness h(8, 8);
        unsetenv("TESSALOOM_LOSE_DEVICE_EVERY");
        ASSERT_TRUE(h.ok());
        IDirect3DDevice9* d = h.device;
        SDL_Delay(5);
        if (!c.loses) {
            EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
            continue;
        }
        EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
        D3DPRESENT_PARAMETERS p = h.params;
        EXPECT_EQ(d->Reset(&p), D3D_OK);
        // The timer goes on after a reset: the device is lost again.
        SDL_Delay(5);
        EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    }
}

TEST(D3D9Device, ResourceCreationFaults) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    fault::FailResourceCreation(D3DRTYPE_TEXTURE, 1);
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(tex, nullptr);
    // Other types are not affected, and the fault fired once.
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(d->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    fault::FailResourceCreation(static_cast<D3DRESOURCETYPE>(0), 2);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(d->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    fault::ClearFaults();
    EXPECT_EQ(d->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    ib->Release();
    vb->Release();
    tex->Release();
}

// Reference counts as Direct3D keeps them: resources hold their device,
// surfaces share their texture's count, bindings keep objects alive without
// counting as the application's.
TEST(D3D9Device, ReferenceCounting) {
    const int before = fault::LiveObjectCount();
    {
        D3DHarness h(8, 8);
        ASSERT_TRUE(h.ok());
        IDirect3DDevice9* d = h.device;
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(d->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
        EXPECT_EQ(tex->GetLevelCount(), 3u);  // 4, 2, 1
        EXPECT_EQ(fault::LiveResourceCount(d), 1);
        EXPECT_EQ(d->AddRef(), 3u);  // the application's, the texture's, this one
        d->Release();
        IDirect3DSurface9* level = nullptr;
        tex->GetSurfaceLevel(1, &level);
        EXPECT_EQ(tex->AddRef(), 3u);  // texture, its surface, this one
        tex->Release();
        D3DSURFACE_DESC desc{};
        level->GetDesc(&desc);
        EXPECT_EQ(desc.Width, 2u);
        level->Release();
        d->SetTexture(0, tex);
        const int alive = fault::LiveObjectCount();
        EXPECT_EQ(tex->Release(), 0u);
        EXPECT_EQ(fault::LiveObjectCount(), alive) << "the binding keeps the texture";
        EXPECT_EQ(fault::LiveResourceCount(d), 0);
        d->SetTexture(0, nullptr);
        EXPECT_EQ(fault::LiveObjectCount(), alive - 1);
    }
    EXPECT_EQ(fault::LiveObjectCount(), before);
}

TEST(D3D9Device, LockAndCallValidation) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(d->CreateVertexBuffer(60, D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    void* p = nullptr;
    EXPECT_EQ(vb->Lock(40, 40, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(vb->Lock(40, 0, &p, 0), D3D_OK);  // size 0: to the end
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    vb->Unlock();
    D3DVERTEXBUFFER_DESC vdesc{};
    vb->GetDesc(&vdesc);
    EXPECT_EQ(vdesc.Size, 60u);
    EXPECT_EQ(vdesc.FVF, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    d->SetStreamSource(0, vb, 0, 20);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "outside a scene";
    d->BeginScene();
    EXPECT_EQ(d->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL) << "past the buffer's end";
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL) << "inside a scene";
    d->EndScene();
    d->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();

    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    target->Release();
    IDirect3DTexture9* rt = nullptr;
    EXPECT_EQ(d->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &rt, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(d->CreateTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    RECT r{2, 2, 4, 4};
    ASSERT_EQ(tex->LockRect(0, &locked, &r, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 16);
    tex->UnlockRect(0);
    RECT outside{0, 0, 9, 4};
    EXPECT_EQ(tex->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    tex->Release();
}

// Two devices at once, each on its own context: drawing on one does not
// reach the other, and their objects are their own.
TEST(D3D9Device, TwoDevicesAtOnce) {
    D3DHarness a(8, 8), b(8, 8);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    IDirect3DTexture9* ta = a.MakeTexture(1, 1, [](UINT, UINT) { return 0xffff0000u; });
    IDirect3DTexture9* tb = b.MakeTexture(1, 1, [](UINT, UINT) { return 0xff00ff00u; });
    for (D3DHarness* h : {&a, &b}) {
        IDirect3DDevice9* d = h->device;
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetTexture(0, h == &a ? ta : tb);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    }
    tessaloom::testing::VertexRhwColorTex v[4] = {{-0.5f, 7.5f, 0, 1, 0xffffffff, 0, 1}, {-0.5f, -0.5f, 0, 1, 0xffffffff, 0, 0},
                                                  {7.5f, 7.5f, 0, 1, 0xffffffff, 1, 1}, {7.5f, -0.5f, 0, 1, 0xffffffff, 1, 0}};
    for (D3DHarness* h : {&a, &b}) {
        h->device->BeginScene();
        h->device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        h->device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
        h->device->EndScene();
    }
    EXPECT_TRUE(Probe(a.ReadBackBuffer(), 4, 4, 0xffff0000));
    EXPECT_TRUE(Probe(b.ReadBackBuffer(), 4, 4, 0xff00ff00));
    a.device->SetTexture(0, nullptr);
    b.device->SetTexture(0, nullptr);
    ta->Release();
    tb->Release();
}

}  // namespace

namespace {

// The implicit surfaces survive Reset: a reference the application kept
// still names a live surface, with the new size.
TEST(D3D9Device, ImplicitSurfacesOutliveReset) {
    D3DHarness h(8, 8, D3DFMT_X8R8G8B8, true);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* depth = nullptr;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    ASSERT_EQ(d->GetDepthStencilSurface(&depth), D3D_OK);
    D3DPRESENT_PARAMETERS p = h.params;
    p.BackBufferWidth = 12;
    p.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(d->Reset(&p), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 12u);
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_D24S8);
    IDirect3DSurface9* none = nullptr;
    EXPECT_EQ(d->GetDepthStencilSurface(&none), D3DERR_NOTFOUND) << "no automatic depth surface now";
    DWORD z = 1;
    d->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, static_cast<DWORD>(D3DZB_FALSE));
    depth->Release();
    back->Release();
}

}  // namespace
