// IDirect3DTexture9: a GL texture.  A lock hands out a CPU copy of the level
// that the unlock uploads.  System-memory, scratch and dynamic textures keep
// that copy for good; the others (the managed pictures) keep their pixels in
// GL only and read them back for the next lock, so a picture is held once.
// GL keeps its textures through a device reset, so nothing is lost.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {

// Uploads go through a unit the fixed-function stages never use.
constexpr GLenum kScratchUnit = GL_TEXTURE0 + 15;

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo& format,
                 D3DPOOL pool)
    : Resource(device, D3DRTYPE_TEXTURE, pool), format_(format), usage_(usage),
      // A copy is kept where the CPU side is the point of the texture, and
      // where GL cannot give the exact bytes back (block-compressed data,
      // signed formats).
      keepsCopy_(pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH || (usage & D3DUSAGE_DYNAMIC) ||
                 format.compressed || format.pixelType == GL_BYTE || format.pixelType == GL_SHORT) {
    UINT w = width, h = height;
    for (UINT i = 0; i < levels; ++i) {
        Level level;
        level.width = w;
        level.height = h;
        levels_.push_back(std::move(level));
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
}

bool Texture::CreateStorage(bool zeroLevels) {
    device()->MakeCurrent();
    glGenTextures(1, &gl_);
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels_.size()) - 1);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format_.swizzle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const bool renderTarget = (usage_ & D3DUSAGE_RENDERTARGET) != 0;
    const GLenum internal = renderTarget ? format_.internal : SampledInternalFormat(format_);
    while (glGetError() != GL_NO_ERROR) {
    }
    for (UINT i = 0; i < levels_.size(); ++i) {
        Level& level = levels_[i];
        const size_t size = LevelSize(i);
        if (!renderTarget && keepsCopy_ && !level.memory.Allocate(size)) {
            std::fprintf(stderr, "tessaloom d3d9: no memory for a %ux%u %s texture\n", levels_[0].width,
                         levels_[0].height, format_.name);
            return false;
        }
        // Every level starts as zeros in GL, as in its CPU copy, unless the
        // maker writes it first.  Render targets start undefined, as in
        // Direct3D.  The zeros come from calloc's fresh pages: reading them
        // costs no resident memory (the driver's own storage still takes a
        // pass over them).
        LevelBytes zeros;
        const void* data = nullptr;
        if (!renderTarget && zeroLevels) {
            if (!level.memory.empty()) {
                data = level.memory.data();
            } else if (zeros.Allocate(size)) {
                data = zeros.data();
            } else {
                std::fprintf(stderr, "tessaloom d3d9: no memory for a %ux%u %s texture\n", levels_[0].width,
                             levels_[0].height, format_.name);
                return false;
            }
        }
        if (format_.compressed) {
            glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), format_.internal, level.width, level.height, 0,
                                   static_cast<GLsizei>(size), data);
        } else if (renderTarget) {
            storagePending_ = true;  // EnsureStorage
        } else {
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(internal), level.width,
                         level.height, 0, format_.pixelFormat, format_.pixelType, data);
        }
        D3DSURFACE_DESC desc{format_.format, D3DRTYPE_SURFACE, usage_, pool(), D3DMULTISAMPLE_NONE, 0,
                             level.width, level.height};
        level.surface = std::make_unique<Surface>(Surface::Kind::TextureLevel, device(), this, i, desc);
        level.surface->glTexture = gl_;
    }
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        std::fprintf(stderr, "tessaloom d3d9: GL refused a %ux%u %s texture (GL error 0x%x)\n", levels_[0].width,
                     levels_[0].height, format_.name, error);
        return false;
    }
    return true;
}

void Texture::MakePendingStorage() {
    storagePending_ = false;
    device()->MakeCurrent();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    for (UINT i = 0; i < levels_.size(); ++i)
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(format_.internal), levels_[i].width,
                     levels_[i].height, 0, format_.pixelFormat, format_.pixelType, nullptr);
    if (GLenum error = glGetError(); error != GL_NO_ERROR)
        std::fprintf(stderr, "tessaloom d3d9: GL refused the images of a %ux%u %s render target (GL error 0x%x)\n",
                     levels_[0].width, levels_[0].height, format_.name, error);
}

Texture::~Texture() {
    levels_.clear();
    if (gl_) {
        device()->MakeCurrent();
        device()->ForgetGlTexture(gl_);
        glDeleteTextures(1, &gl_);
    }
}

HRESULT Texture::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DTexture9) {
        *object = static_cast<IDirect3DTexture9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT Texture::GetDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device();
    device()->AddRef();
    return D3D_OK;
}

DWORD Texture::SetPriority(DWORD p) {
    DWORD old = priority;
    priority = p;
    return old;
}

DWORD Texture::SetLOD(DWORD lod) {
    DWORD old = lod_;
    if (pool() != D3DPOOL_MANAGED) return 0;  // only managed textures take a LOD
    lod_ = std::min<DWORD>(lod, static_cast<DWORD>(levels_.size()) - 1);
    device()->MakeCurrent();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(lod_));
    return old;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_.size() || !desc) return D3DERR_INVALIDCALL;
    *desc = levels_[level].surface->desc();
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    *surface = levels_[level].surface.get();
    AddRef();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT index, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (!locked || index >= levels_.size()) return D3DERR_INVALIDCALL;
    Level& level = levels_[index];
    if (usage_ & D3DUSAGE_RENDERTARGET)
        return Fail(D3DERR_INVALIDCALL, "render-target textures cannot be locked (use GetRenderTargetData)");
    if (level.locked) return Fail(D3DERR_INVALIDCALL, "texture level locked twice");
    RECT r{0, 0, static_cast<LONG>(level.width), static_cast<LONG>(level.height)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > r.right || rect->bottom > r.bottom ||
            rect->left >= rect->right || rect->top >= rect->bottom)
            return Fail(D3DERR_INVALIDCALL, "LockRect rectangle outside the level");
        if (format_.compressed && ((rect->left | rect->top) & 3))
            return Fail(D3DERR_INVALIDCALL, "compressed LockRect rectangle not on 4x4 blocks");
        r = *rect;
    }
    if (level.memory.empty()) {
        if (!level.memory.Allocate(LevelSize(index)))
            return Fail(E_OUTOFMEMORY, "no memory to lock a texture level");
        if (level.written && !ReadBack(index)) {
            level.memory.Release();
            return Fail(D3DERR_DRIVERINTERNALERROR, "GL did not give a texture level back");
        }
    }
    const UINT pitch = RowPitch(format_, level.width);
    const size_t row = format_.compressed ? static_cast<size_t>(r.top) / 4 : static_cast<size_t>(r.top);
    const size_t column = format_.compressed ? static_cast<size_t>(r.left) / 4 * format_.bytes
                                             : static_cast<size_t>(r.left) * format_.bytes;
    locked->Pitch = static_cast<INT>(pitch);
    locked->pBits = level.memory.data() + row * pitch + column;
    level.locked = true;
    level.lockRect = r;
    level.readOnly = (flags & D3DLOCK_READONLY) != 0;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT index) {
    if (index >= levels_.size() || !levels_[index].locked) return D3DERR_INVALIDCALL;
    Level& level = levels_[index];
    level.locked = false;
    if (!level.readOnly) {
        Upload(index, level.lockRect);
        level.written = true;
    }
    if (!keepsCopy_) level.memory.Release();
    return D3D_OK;
}

size_t Texture::LevelSize(UINT index) const {
    const Level& level = levels_[index];
    return static_cast<size_t>(RowPitch(format_, level.width)) * RowCount(format_, level.height);
}

bool Texture::ReadBack(UINT index) {
    Level& level = levels_[index];
    device()->MakeCurrent();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (format_.compressed)
        glGetCompressedTexImage(GL_TEXTURE_2D, static_cast<GLint>(index), level.memory.data());
    else
        glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(index), format_.pixelFormat, format_.pixelType,
                      level.memory.data());
    return glGetError() == GL_NO_ERROR;
}

void Texture::WriteLevel(UINT index, const RECT& rect, const uint8_t* source, UINT sourcePitch) {
    Level& level = levels_[index];
    const UINT rowBytes = static_cast<UINT>(rect.right - rect.left) * format_.bytes;
    if (!level.memory.empty()) {
        const UINT pitch = RowPitch(format_, level.width);
        for (LONG y = rect.top; y < rect.bottom; ++y)
            std::memcpy(level.memory.data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(rect.left) * format_.bytes,
                        source + static_cast<size_t>(y - rect.top) * sourcePitch, rowBytes);
        Upload(index, rect);
        level.written = true;
        return;
    }
    level.written = true;
    device()->MakeCurrent();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(sourcePitch / format_.bytes));
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, format_.pixelFormat, format_.pixelType, source);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void Texture::Upload(UINT index, const RECT& rect) {
    Level& level = levels_[index];
    device()->MakeCurrent();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, gl_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (format_.compressed) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glCompressedTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), 0, 0, level.width, level.height,
                                  format_.internal, static_cast<GLsizei>(level.memory.size()), level.memory.data());
        return;
    }
    const UINT pitch = RowPitch(format_, level.width);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(level.width));
    const uint8_t* start = level.memory.data() + static_cast<size_t>(rect.top) * pitch +
                           static_cast<size_t>(rect.left) * format_.bytes;
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, format_.pixelFormat, format_.pixelType, start);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

}  // namespace tessaloom::d3d9
