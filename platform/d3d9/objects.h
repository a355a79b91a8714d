// The stand-in's implementation classes behind the Direct3D 9 interfaces.
// Internal to platform/d3d9.
//
// Reference counting follows Direct3D 9: a resource the application holds
// keeps its device alive; device bindings (SetTexture, SetStreamSource,
// SetRenderTarget ...) hold internal references that keep the object alive
// but do not count as the application's; a texture's surfaces share their
// texture's count, and the implicit back buffer and depth surface share the
// device's.
#pragma once

#include <epoxy/gl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/fixed_function.h"
#include "platform/d3d9/format.h"
#include "platform/d3d9/gl_context.h"
#include "platform/d3d9/gl_interop.h"
#include "platform/d3d9/state.h"

struct SDL_Window;

template <>
struct ComInterfaceIds<IDirect3D9> : ComIds<IID_IDirect3D9> {};
template <>
struct ComInterfaceIds<IDirect3DDevice9> : ComIds<IID_IDirect3DDevice9> {};

namespace tessaloom::d3d9 {

class Device;
class Direct3D;

void CountObject(int delta);
// Fault checks made by the objects (see testing.cpp).
bool TakeResourceFault(D3DRESOURCETYPE type);
bool TakeCreateDeviceFault(UINT adapter, D3DDEVTYPE type, UINT width, UINT height, HRESULT* result);

// Notes a window a full-screen swap chain put in full screen (or no longer
// holds there), so the desktop gets its mode back when the process ends.
void HoldFullScreen(SDL_Window* window, bool hold);
// Prints `what` to stderr; returns `result`.
HRESULT Fail(HRESULT result, const char* what);
// The SDL window behind an HWND (the window stand-in's, or a test's).
SDL_Window* ResolveWindow(HWND window);

// Shared by every resource: external (application) and internal (binding)
// references, the pool, the owning device.
class Resource {
public:
    // Untracked resources (texture levels, implicit surfaces) share another
    // object's count and are never listed as the device's resources.
    Resource(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, bool tracked = true);
    virtual ~Resource();
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;

    ULONG ExternalAddRef();
    ULONG ExternalRelease();
    void Bind() { ++internal_; }
    void Unbind();
    ULONG ExternalCount() const { return external_; }

    Device* device() const { return device_; }
    D3DPOOL pool() const { return pool_; }
    D3DRESOURCETYPE resourceType() const { return type_; }
    DWORD priority = 0;

private:
    Device* device_;
    D3DRESOURCETYPE type_;
    D3DPOOL pool_;
    bool tracked_;
    ULONG external_ = 1;
    ULONG internal_ = 0;
};

class Texture;

class Surface final : public IDirect3DSurface9, public Resource {
public:
    enum class Kind { TextureLevel, RenderTarget, DepthStencil, Offscreen, BackBuffer, AutoDepth };

    // Texture levels belong to their texture; implicit surfaces to the device.
    Surface(Kind kind, Device* device, Texture* container, UINT level, const D3DSURFACE_DESC& desc);
    ~Surface() override;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD priority) override;
    DWORD GetPriority() override;
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    Kind kind() const { return kind_; }
    const D3DSURFACE_DESC& desc() const { return desc_; }
    void SetDesc(const D3DSURFACE_DESC& desc) { desc_ = desc; }  // implicit surfaces on Reset
    Texture* container() const { return container_; }
    UINT level() const { return level_; }
    bool standalone() const {
        return kind_ == Kind::RenderTarget || kind_ == Kind::DepthStencil || kind_ == Kind::Offscreen;
    }
    bool colorTarget() const;

    // Internal references held by device bindings.
    void BindTarget();
    void UnbindTarget();

    // GL storage: a texture level (colour), a renderbuffer (depth), or CPU
    // memory (offscreen plain surfaces).
    GLuint glTexture = 0;
    GLuint glRenderbuffer = 0;
    std::vector<uint8_t> memory;  // Offscreen: the pixels, RowPitch-packed

    // The application's references to an implicit surface (Reset needs them gone).
    ULONG implicitRefs = 0;

private:
    Kind kind_;
    Device* device_;
    Texture* container_;
    UINT level_;
    D3DSURFACE_DESC desc_;
    bool locked_ = false;
    RECT lockRect_{};
};

class Texture final : public IDirect3DTexture9, public Resource {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo& format,
            D3DPOOL pool);
    ~Texture() override;
    // GL storage for every level.  With `zeroLevels` the levels start as
    // zeros; without, their GL content is undefined until written (for a
    // maker that writes every level whole before the texture is used).
    bool CreateStorage(bool zeroLevels);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ExternalAddRef(); }
    ULONG Release() override { return ExternalRelease(); }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD p) override;
    DWORD GetPriority() override { return priority; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

    GLuint glTexture() const { return gl_; }
    // A render target's GL images are made when it is first drawn to, read
    // or sampled: a pair of screen-sized targets that a scene never uses
    // costs no memory.
    void EnsureStorage() {
        if (storagePending_) MakePendingStorage();
    }
    // Writes rows of pixels into a level: its CPU copy (when it has one) and GL.
    void WriteLevel(UINT level, const RECT& rect, const uint8_t* source, UINT pitch);
    // The CPU copy of a level: kept for system-memory, scratch and dynamic
    // textures; null for render targets and, outside a lock, for the others.
    const uint8_t* LevelMemory(UINT level) const {
        return levels_[level].memory.empty() ? nullptr : levels_[level].memory.data();
    }
    // Whether every level keeps a CPU copy between locks.
    bool KeepsCopy() const { return keepsCopy_; }
    const FormatInfo& format() const { return format_; }
    DWORD usage() const { return usage_; }
    // Samplers read the applied state from here to skip redundant GL calls.
    std::array<GLint, 6> appliedSampler{-1, -1, -1, -1, -1, -1};

private:
    // A level's CPU copy: zero-filled by the allocator (calloc takes large
    // blocks as fresh zero pages), so a new texture costs no pass over its
    // pixels before they are written.
    class LevelBytes {
    public:
        bool Allocate(size_t size) {
            bytes_.reset(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1)));
            size_ = bytes_ ? size : 0;
            return bytes_ != nullptr;
        }
        void Release() {
            bytes_.reset();
            size_ = 0;
        }
        uint8_t* data() const { return bytes_.get(); }
        size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }

    private:
        struct Free {
            void operator()(uint8_t* p) const { std::free(p); }
        };
        std::unique_ptr<uint8_t[], Free> bytes_;
        size_t size_ = 0;
    };
    struct Level {
        UINT width, height;
        // CPU copy: always for textures that keep one, else only while
        // locked (GL holds the pixels); never for render targets.
        LevelBytes memory;
        // Whether the level has been written since it was made; until then
        // GL holds zeros (or nothing defined, for a maker that writes every
        // level first) and a lock needs no read-back.
        bool written = false;
        bool locked = false;
        RECT lockRect{};
        bool readOnly = false;
        std::unique_ptr<Surface> surface;
    };
    void Upload(UINT level, const RECT& rect);
    bool ReadBack(UINT level);
    size_t LevelSize(UINT level) const;

    const FormatInfo& format_;
    DWORD usage_;
    bool keepsCopy_;
    bool storagePending_ = false;
    void MakePendingStorage();
    DWORD lod_ = 0;
    GLuint gl_ = 0;
    std::vector<Level> levels_;
};

template <class Interface, class Desc>
class Buffer final : public Interface, public Resource {
public:
    Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format,
           D3DPOOL pool);
    ~Buffer() override;
    bool CreateStorage();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ExternalAddRef(); }
    ULONG Release() override { return ExternalRelease(); }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD p) override;
    DWORD GetPriority() override { return priority; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return resourceType(); }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(Desc* desc) override;

    GLuint glBuffer() const { return gl_; }
    D3DFORMAT format() const { return format_; }
    UINT length() const { return length_; }
    const uint8_t* data() const { return memory_.data(); }

    // The largest index in [start, start + count) of an index buffer; the
    // last answer is kept until the next write.
    uint32_t MaxIndex(UINT start, UINT count);

private:
    UINT length_;
    DWORD usage_;
    DWORD fvf_;
    D3DFORMAT format_;
    GLuint gl_ = 0;
    std::vector<uint8_t> memory_;  // CPU copy: managed data survives everything
    bool locked_ = false;
    UINT lockOffset_ = 0, lockSize_ = 0;
    bool lockReadOnly_ = false;
    bool maxValid_ = false;
    UINT maxStart_ = 0, maxCount_ = 0;
    uint32_t max_ = 0;
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// One adapter: one SDL display.
struct Adapter {
    int display = 0;
    std::string name;
    D3DDISPLAYMODE desktop{};
    std::vector<D3DDISPLAYMODE> modes;
    GUID identifier{};
};

class Direct3D final : public ComObject<IDirect3D9> {
public:
    Direct3D();
    ~Direct3D() override;
    bool Init();

    UINT GetAdapterCount() override { return static_cast<UINT>(adapters_.size()); }
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE rtype, D3DFORMAT format) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* quality) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HMONITOR GetAdapterMonitor(UINT adapter) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice9** device) override;

    const Adapter* FindAdapter(UINT adapter) const {
        return adapter < adapters_.size() ? &adapters_[adapter] : nullptr;
    }

private:
    std::vector<Adapter> adapters_;
};

// Fills the caps this stand-in implements.
void FillCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps);

class Device final : public ComObject<IDirect3DDevice9> {
public:
    Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior);
    ~Device() override;
    HRESULT Init(D3DPRESENT_PARAMETERS* params);

    // Nothing once the count is zero: the resources the destructor lets go
    // release the device they held.
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT EvictManagedResources() override { return D3D_OK; }
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* src, const RECT* dst, HWND override, const void* dirty) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    // CreateTexture's rules; `zeroLevels` as in Texture::CreateStorage.
    HRESULT MakeTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        bool zeroLevels, IDirect3DTexture9** texture);
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD quality,
                               BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                      DWORD quality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* shared) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override;
    HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst,
                          const POINT* dstPoint) override;
    HRESULT StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst, const RECT* dstRect,
                        D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;

    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;

    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT count) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                   const void* indices, D3DFORMAT indexFormat, const void* data,
                                   UINT stride) override;

    // Internal services.
    void MakeCurrent();
    void TrackResource(Resource* resource, bool alive);
    int LiveResources() const;
    void Lose(int lostChecks);
    bool lost() const { return lostChecks_ >= 0 || notReset_; }
    const FixedFunction& fixedFunction() const { return *ff_; }
    // GL names about to be deleted: the binding caches must not match a
    // later object that reuses the name.
    void ForgetGlTexture(GLuint texture) {
        for (auto& bound : boundTextures_)
            if (bound == texture) bound = 0;
    }
    void ForgetGlBuffer(GLuint buffer) {
        if (boundIndexBuffer_ == buffer) boundIndexBuffer_ = 0;
        if (input_.buffer == buffer) input_ = InputCache{};
    }
    void ForgetGlProgram(GLuint program) {
        overridePrograms_.erase(program);
        if (usedProgram_ == program) usedProgram_ = 0;
    }
    void SetOverride(const ProgramOverride* override) {
        override_ = override;
        ffDirty_ = true;
    }
    // True while the back buffer is the window's own framebuffer, drawn
    // upright (see ChooseBackBufferHome).
    bool backBufferInWindow() const { return inWindow_; }

private:
    HRESULT PrepareDraw(D3DPRIMITIVETYPE type);
    void ApplyTargets();
    void ApplyRenderStates();
    void ApplyTextures(int stages);
    void UploadUniforms(FfProgram& program);
    void ApplyVertexInput(GLuint buffer, UINT offset, UINT stride, int baseVertex);
    HRESULT ConfigureSwapChain(D3DPRESENT_PARAMETERS* params);
    void ReleaseBindings();
    void SetDefaultTargets();
    void ResetViewportToTarget();
    UINT TargetWidth() const;
    UINT TargetHeight() const;
    bool WindowCanHoldBackBuffer();
    bool WindowFormatMatches();
    void ChooseBackBufferHome();
    void LeaveWindow(bool keepContents);
    void AllocateBackBufferStorage();
    void ReleaseBackBufferStorage();
    bool InWindow(const Surface* surface) const { return inWindow_ && surface == backBuffer_.get(); }

    Direct3D* d3d_;
    UINT adapter_;
    D3DDEVTYPE type_;
    HWND focus_;
    DWORD behavior_;
    SDL_Window* window_ = nullptr;
    HWND windowHandle_ = nullptr;  // the window window_ is behind
    std::unique_ptr<GlContext> context_;
    D3DPRESENT_PARAMETERS params_{};

    std::unordered_set<Resource*> resources_;
    std::unique_ptr<Surface> backBuffer_;
    std::unique_ptr<Surface> autoDepth_;
    GLuint backBufferTexture_ = 0;
    GLuint autoDepthRenderbuffer_ = 0;
    // The back buffer lives either in the window's framebuffer (0), drawn
    // upright with the flip folded into the clip origin, the viewport, the
    // scissor and the clear rectangles; or in backBufferTexture_ (with the
    // automatic depth in autoDepthRenderbuffer_), row 0 at GL row 0, flipped
    // into the window at Present.  The texture and renderbuffer get storage
    // only when used.
    bool inWindow_ = false;
    bool windowRefused_ = false;  // left the window for this swap chain: until Reset
    bool backBufferStorage_ = false;
    bool windowFormatMatches_ = false;  // the window's framebuffer has the back buffer's formats
    bool clipControl_ = false;          // glClipControl can turn the window's y over
    bool drawingUpright_ = false;  // the bound draw target is the window's framebuffer
    GLuint fbo_ = 0;       // the draw framebuffer, re-attached on target changes
    GLuint readFbo_ = 0;   // for copies and read-back
    GLuint vao_ = 0;
    GLuint upBuffer_ = 0;  // vertices and indices of the *UP draws
    GLuint upIndexBuffer_ = 0;
    std::array<GLuint, kMaxStages> samplers_{};

    DeviceState state_;
    Surface* renderTarget_ = nullptr;  // bound (internal reference)
    Surface* depthStencil_ = nullptr;
    std::array<Texture*, kMaxSamplers> textures_{};
    VertexBuffer* stream_ = nullptr;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    IndexBuffer* indices_ = nullptr;
    bool inScene_ = false;
    bool targetsDirty_ = true;
    bool renderStatesDirty_ = true;
    bool transformsDirty_ = true;
    std::array<bool, kMaxSamplers> samplerDirty_{};

    // The GL vertex input last set, to skip redundant attribute setup.
    struct InputCache {
        GLuint buffer = 0;
        UINT offset = ~0u, stride = 0;
        DWORD fvf = ~0u;
        int baseVertex = 0;
    } input_;

    std::unique_ptr<FixedFunction> ff_;
    bool ffDirty_ = true;
    FfKey key_;
    FfProgram* program_ = nullptr;
    uint32_t texturedStages_ = 0;
    GLuint usedProgram_ = 0;
    uint64_t uniformSerial_ = 1;
    std::array<GLuint, kMaxStages> boundTextures_{};
    GLuint boundIndexBuffer_ = 0;
    const ProgramOverride* override_ = nullptr;
    std::unordered_map<GLuint, FfProgram> overridePrograms_;  // uniform locations of override programs
    int lostChecks_ = -1;  // >= 0: lost, answering DEVICELOST this many more times
    bool notReset_ = false;
    // Losses on a timer (TESSALOOM_LOSE_DEVICE_EVERY): 0 = off.
    uint64_t lossIntervalMs_ = 0;
    uint64_t nextLossMs_ = 0;
};

}  // namespace tessaloom::d3d9
