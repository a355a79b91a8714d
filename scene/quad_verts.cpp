#include "scene/quad_verts.h"

#include "scene/mesh.h"

DS_QuadVerts::DS_QuadVerts()
    : c{{0.0f, 0.0f, 1.0f, 0.0f, 1.0f},
        {0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
        {0.0f, 0.0f, 1.0f, 1.0f, 1.0f},
        {0.0f, 0.0f, 1.0f, 1.0f, 0.0f}} {}

void DS_QuadVerts::SetFullScreen() {
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    const float w = static_cast<float>(desc.Width), h = static_cast<float>(desc.Height);
    c[0].x = 0.0f, c[0].y = h;
    c[1].x = 0.0f, c[1].y = 0.0f;
    c[2].x = w, c[2].y = h;
    c[3].x = w, c[3].y = 0.0f;
}

void DS_QuadVerts::SetAspectFit(float pw, float ph, int width, int height) {
    const float a = static_cast<float>(width), b = static_cast<float>(height);
    float w = a, h = b, left = 0.0f, top = 0.0f;
    if (pw > 0.0f && ph > 0.0f && a > 0.0f && b > 0.0f) {
        const float r = ph / pw;
        if (b / a < r) {  // relatively taller: pillarbox
            h = b;
            w = b / r;
            left = (a - w) / 2.0f;
        } else {  // letterbox
            w = a;
            h = a * r;
            top = (b - h) / 2.0f;
        }
    }
    c[0].x = left, c[0].y = top + h;
    c[1].x = left, c[1].y = top;
    c[2].x = left + w, c[2].y = top + h;
    c[3].x = left + w, c[3].y = top;
}

void DS_QuadVerts::ScaleToBackBuffer(int width, int height) {
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    const float sx = width != 0 ? static_cast<float>(desc.Width) / static_cast<float>(width) : 1.0f;
    const float sy = height != 0 ? static_cast<float>(desc.Height) / static_cast<float>(height) : 1.0f;
    ScaleBy(sx, sy);
}

void DS_QuadVerts::ScaleBy(float sx, float sy) {
    for (Corner& corner : c) {
        corner.x *= sx;
        corner.y *= sy;
    }
}
