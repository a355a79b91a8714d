#include "scene/render_target_pair.h"

#include "scene/current_device.h"

namespace {

bool SetTargetLevel0(IDirect3DTexture9* texture) {
    DS_ComRef<IDirect3DSurface9> level;
    if (!texture || FAILED(texture->GetSurfaceLevel(0, level.Out())) || !level) return false;
    return SUCCEEDED(CurrentDevice->SetRenderTarget(0, level.Get()));
}

}  // namespace

void DS_RenderTargetPair::ReleaseTextures() {
    current.Release();
    textures[0].Release();
    textures[1].Release();
}

bool DS_RenderTargetPair::Create(int w, int h) {
    width = w;
    height = h;
    ReleaseTextures();
    if (!CurrentDevice || w <= 0 || h <= 0) return false;
    for (auto& texture : textures) {
        if (FAILED(CurrentDevice->CreateTexture(static_cast<UINT>(w), static_cast<UINT>(h), 1, D3DUSAGE_RENDERTARGET,
                                                D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.Out(), nullptr))) {
            ReleaseTextures();
            return false;
        }
    }
    current = textures[index];
    return true;
}

bool DS_RenderTargetPair::Begin(IDirect3DTexture9* texture) {
    savedTarget.Release();
    savedDepth.Release();
    if (!CurrentDevice || !texture) return false;
    CurrentDevice->GetRenderTarget(0, savedTarget.Out());
    CurrentDevice->GetDepthStencilSurface(savedDepth.Out());
    if (!SetTargetLevel0(texture)) {
        savedTarget.Release();
        savedDepth.Release();
        return false;
    }
    CurrentDevice->SetDepthStencilSurface(nullptr);
    return true;
}

IDirect3DTexture9* const* DS_RenderTargetPair::Swap() {
    index = (index + 1) % 2;
    current = textures[index];
    // Outside a capture only the index moves: the back buffer stays the target.
    if (CurrentDevice && Capturing() && SetTargetLevel0(current.Get()))
        CurrentDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    return textures[1 - index].Address();
}

void DS_RenderTargetPair::End() {
    if (CurrentDevice && savedTarget) {
        CurrentDevice->SetRenderTarget(0, savedTarget.Get());
        CurrentDevice->SetDepthStencilSurface(savedDepth.Get());
    }
    savedTarget.Release();
    savedDepth.Release();
}
