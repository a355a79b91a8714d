// IDirect3DVertexBuffer9 and IDirect3DIndexBuffer9: a GL buffer with a CPU
// copy; locks hand out the copy, unlocks upload the locked range.
#include <cstdio>
#include <cstring>

#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {

template <class I, class D>
Buffer<I, D>::Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format,
                     D3DPOOL pool)
    : Resource(device, type, pool), length_(length), usage_(usage), fvf_(fvf), format_(format) {}

template <class I, class D>
bool Buffer<I, D>::CreateStorage() {
    memory_.assign(length_, 0);
    device()->MakeCurrent();
    glGenBuffers(1, &gl_);
    // The copy-write target leaves the vertex array's element binding alone.
    glBindBuffer(GL_COPY_WRITE_BUFFER, gl_);
    glBufferData(GL_COPY_WRITE_BUFFER, length_, memory_.data(),
                 (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    return glGetError() == GL_NO_ERROR;
}

template <class I, class D>
Buffer<I, D>::~Buffer() {
    if (gl_) {
        device()->MakeCurrent();
        device()->ForgetGlBuffer(gl_);
        glDeleteBuffers(1, &gl_);
    }
}

template <class I, class D>
HRESULT Buffer<I, D>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    const IID& own = resourceType() == D3DRTYPE_VERTEXBUFFER ? IID_IDirect3DVertexBuffer9 : IID_IDirect3DIndexBuffer9;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == own) {
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class I, class D>
HRESULT Buffer<I, D>::GetDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device();
    device()->AddRef();
    return D3D_OK;
}

template <class I, class D>
DWORD Buffer<I, D>::SetPriority(DWORD p) {
    DWORD old = priority;
    priority = p;
    return old;
}

template <class I, class D>
HRESULT Buffer<I, D>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked_) return Fail(D3DERR_INVALIDCALL, "buffer locked twice");
    // Offset and size both 0 lock the whole buffer; size 0 locks to the end.
    if (offset > length_) return Fail(D3DERR_INVALIDCALL, "buffer lock offset past the end");
    if (size == 0) size = length_ - offset;
    if (size > length_ - offset) return Fail(D3DERR_INVALIDCALL, "buffer lock range past the end");
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    lockReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    *data = memory_.data() + offset;
    return D3D_OK;
}

template <class I, class D>
HRESULT Buffer<I, D>::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (lockReadOnly_ || lockSize_ == 0) return D3D_OK;
    maxValid_ = false;
    device()->MakeCurrent();
    glBindBuffer(GL_COPY_WRITE_BUFFER, gl_);
    glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_, memory_.data() + lockOffset_);
    return D3D_OK;
}

template <class I, class D>
uint32_t Buffer<I, D>::MaxIndex(UINT start, UINT count) {
    if (maxValid_ && maxStart_ == start && maxCount_ == count) return max_;
    const UINT size = format_ == D3DFMT_INDEX32 ? 4 : 2;
    const uint8_t* p = memory_.data() + static_cast<size_t>(start) * size;
    uint32_t m = 0;
    for (UINT i = 0; i < count; ++i) {
        uint32_t v = 0;
        std::memcpy(&v, p + static_cast<size_t>(i) * size, size);
        m = v > m ? v : m;
    }
    maxValid_ = true;
    maxStart_ = start;
    maxCount_ = count;
    max_ = m;
    return m;
}

template <>
HRESULT Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool(), length_, fvf_};
    return D3D_OK;
}

template <>
HRESULT Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool(), length_};
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace tessaloom::d3d9
