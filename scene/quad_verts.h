// DS_QuadVerts: the corners of a strip quad and the fitting of a picture
// into a rectangle; DS_PictureInfo: a picture's texture and size.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "scene/com_ref.h"

// One picture made into a texture: the texture (may be empty) with the
// picture's own size and its aspect (height / width).
struct DS_PictureInfo {
    DS_ComRef<IDirect3DTexture9> texture;
    UINT width = 0;
    UINT height = 0;
    float aspect = 1.0f;
};

// Four corners {x, y, z, u, v} in the order (left, bottom), (left, top),
// (right, bottom), (right, top) of a triangle strip, screen y growing down.
// For the screen-space formats a corner's z is used as rhw.
struct DS_QuadVerts {
    struct Corner {
        float x, y, z, u, v;
    };

    // Every corner at (0, 0), z 1, texture coordinates (0,1), (0,0), (1,1), (1,0).
    DS_QuadVerts();

    // The whole back buffer of CurrentDevice: (0, H), (0, 0), (W, H), (W, 0).
    void SetFullScreen();
    // The picture (pw x ph) fitted into a width x height rectangle, centred,
    // aspect kept.  A picture or rectangle without area fills the rectangle.
    void SetAspectFit(float pw, float ph, int width, int height);
    void SetAspectFit(const DS_PictureInfo& picture, int width, int height) {
        SetAspectFit(static_cast<float>(picture.width), static_cast<float>(picture.height), width, height);
    }
    // Every x times (back-buffer width / width), every y times (back-buffer
    // height / height).  A zero width or height leaves that axis alone.
    void ScaleToBackBuffer(int width, int height);
    void ScaleBy(float sx, float sy);

    float Left() const { return c[1].x; }
    float Top() const { return c[1].y; }
    float Width() const { return c[3].x - c[1].x; }
    float Height() const { return c[0].y - c[1].y; }

    Corner c[4];
};
