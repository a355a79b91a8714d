// Texture copies through D3DX: a resized managed copy, the square picture
// texture of a picture quad, a texture saved as a DDS file in memory, and a
// render-target pair started from a texture.
#include "platform/d3dx9/d3dx9tex.h"
#include "scene/mesh.h"
#include "scene/picture_layer.h"
#include "scene/render_target_pair.h"

HRESULT CopyTextureResized(UINT width, UINT height, IDirect3DTexture9* source, IDirect3DTexture9** result,
                           D3DFORMAT format) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!source) return S_OK;
    if (!CurrentDevice) return E_FAIL;
    HRESULT hr = D3DXCreateTexture(CurrentDevice, width, height, 0, 0, format, D3DPOOL_MANAGED, result);
    if (FAILED(hr) || !*result) return FAILED(hr) ? hr : E_FAIL;
    DS_ComRef<IDirect3DSurface9> from, to;
    if (FAILED(source->GetSurfaceLevel(0, from.Out())) || FAILED((*result)->GetSurfaceLevel(0, to.Out())))
        return E_FAIL;
    return D3DXLoadSurfaceFromSurface(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr, D3DX_FILTER_TRIANGLE,
                                      0);
}

void CreateSquareTexture(int n, DS_PictureQuad& quad, IDirect3DTexture9* source) {
    if (n < 0 || n > 6) return;  // 128 << 6 = 8192 is the largest side made
    const UINT side = 128u << n;
    DS_ComRef<IDirect3DTexture9> square;
    if (FAILED(CopyTextureResized(side, side, source, square.Out(), D3DFMT_UNKNOWN))) return;
    quad.info.texture = square;
    quad.SetTexture(square.Get());
}

ID3DXBuffer* SaveTextureToMemory(IDirect3DTexture9* texture) {
    ID3DXBuffer* buffer = nullptr;
    if (!texture || FAILED(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_DDS, texture, nullptr))) return nullptr;
    return buffer;
}

bool DS_RenderTargetPair::CreateFrom(IDirect3DTexture9* source, int w, int h) {
    if (!Create(w, h)) return false;
    if (!source) return true;
    DS_ComRef<IDirect3DSurface9> from, to;
    if (FAILED(source->GetSurfaceLevel(0, from.Out())) || FAILED(current->GetSurfaceLevel(0, to.Out()))) return false;
    return SUCCEEDED(D3DXLoadSurfaceFromSurface(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr,
                                                D3DX_FILTER_TRIANGLE, 0));
}
