// ID3DXBuffer: a reference-counted block of bytes.
#include <atomic>
#include <new>
#include <vector>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx9/d3dx9core.h"

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(DWORD size) : bytes_(size) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ID3DXBuffer) {
            AddRef();
            *ppv = static_cast<ID3DXBuffer*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    void* GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    ~Buffer() = default;
    std::atomic<ULONG> refs_{1};
    std::vector<BYTE> bytes_;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD NumBytes, ID3DXBuffer** ppBuffer) {
    if (!ppBuffer) return D3DERR_INVALIDCALL;
    *ppBuffer = nullptr;
    try {
        *ppBuffer = new Buffer(NumBytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
