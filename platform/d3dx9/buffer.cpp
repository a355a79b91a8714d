// ID3DXBuffer: a reference-counted block of bytes.
#include <new>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx9/d3dx9core.h"

template <>
struct ComInterfaceIds<ID3DXBuffer> : ComIds<IID_ID3DXBuffer> {};

namespace {

class Buffer final : public ComObject<ID3DXBuffer> {
public:
    explicit Buffer(DWORD size) : bytes_(size) {}

    void* GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    ~Buffer() override = default;
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
