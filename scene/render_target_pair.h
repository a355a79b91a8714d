// DS_RenderTargetPair: two render-target textures of one size between which
// drawing ping-pongs: while one is the target, the other holds the scene
// finished so far for a reader to sample.  It remembers the device's render
// target and depth surface so that drawing can return to the back buffer.
// The textures are in the default pool: the owner releases them before a
// device reset and creates them again after it.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "scene/com_ref.h"

class DS_RenderTargetPair {
public:
    DS_RenderTargetPair() = default;
    DS_RenderTargetPair(const DS_RenderTargetPair&) = delete;
    DS_RenderTargetPair& operator=(const DS_RenderTargetPair&) = delete;
    ~DS_RenderTargetPair() = default;  // members release themselves

    // Stores the size, releases current and both textures, makes both (one
    // level, RENDERTARGET, A8R8G8B8, default pool); current := textures[index].
    // False when either texture could not be made (the pair then holds none,
    // and Begin refuses to capture).
    bool Create(int width, int height);
    // Create, then level 0 of `source` (when there is one) copied into the
    // current texture with the triangle filter.
    bool CreateFrom(IDirect3DTexture9* source, int width, int height);
    // Releases current and both textures (before a device reset).
    void ReleaseTextures();
    bool HasTextures() const { return textures[0] && textures[1]; }

    // Saves the device's render target 0 and depth surface, makes level 0 of
    // `texture` render target 0 with no depth surface.  False (nothing
    // changed) without a texture or device.
    bool Begin(IDirect3DTexture9* texture);
    // index := other; level 0 of the new current becomes the target and is
    // cleared to opaque black (outside a capture only the index moves).
    // Returns the address of the texture just finished.
    IDirect3DTexture9* const* Swap();
    // Restores the saved render target and depth surface and releases them.
    void End();
    bool Capturing() const { return static_cast<bool>(savedTarget); }

    DS_ComRef<IDirect3DTexture9> current;
    DS_ComRef<IDirect3DTexture9> textures[2];
    DS_ComRef<IDirect3DSurface9> savedTarget;
    DS_ComRef<IDirect3DSurface9> savedDepth;
    int width = 0, height = 0;
    int index = 0;
};
