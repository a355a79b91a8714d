// The 2D view's tables (fit, stretch, fill, zoom, bars) and the screen
// mapping, computed without a device: the back-buffer size is given.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/view_2d.h"

namespace {

D3DXVECTOR3 Apply(const D3DXMATRIX& m, float x, float y) {
    D3DXVECTOR3 in(x, y, 0.0f), out;
    D3DXVec3TransformCoord(&out, &in, &m);
    return out;
}

struct FitCase {
    const char* name;
    UINT pw, ph;
    int a, b;
    float left, top, width, height;
};

}  // namespace

TEST(QuadVerts, DefaultsAndAspectFit) {
    DS_QuadVerts q;
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(q.c[i].x, 0.0f);
        EXPECT_EQ(q.c[i].z, 1.0f);
        EXPECT_EQ(q.c[i].u, uv[i][0]);
        EXPECT_EQ(q.c[i].v, uv[i][1]);
    }
    const std::vector<FitCase> cases = {
        {"pillarbox", 1600, 1200, 1920, 1080, 240, 0, 1440, 1080},
        {"letterbox", 1920, 1080, 1600, 1200, 0, 150, 1600, 900},
        {"exact", 800, 600, 1600, 1200, 0, 0, 1600, 1200},
        {"no picture fills the target", 0, 0, 640, 480, 0, 0, 640, 480},
        {"no target area", 800, 600, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DS_QuadVerts f;
        f.SetAspectFit(static_cast<float>(c.pw), static_cast<float>(c.ph), c.a, c.b);
        EXPECT_FLOAT_EQ(f.Left(), c.left);
        EXPECT_FLOAT_EQ(f.Top(), c.top);
        EXPECT_FLOAT_EQ(f.Width(), c.width);
        EXPECT_FLOAT_EQ(f.Height(), c.height);
        // strip order: (left, bottom), (left, top), (right, bottom), (right, top)
        EXPECT_FLOAT_EQ(f.c[0].y, c.top + c.height);
        EXPECT_FLOAT_EQ(f.c[2].x, c.left + c.width);
        for (const auto& corner : f.c) EXPECT_TRUE(std::isfinite(corner.x) && std::isfinite(corner.y));
    }
}

struct ModeCase {
    const char* name;
    int mode;
    float sx, sy;
};

// 1600 x 1200 on 1920 x 1080: fitted width 1440, left 240, U = 0.9.
TEST(View2D, ModesOnAWiderTarget) {
    const std::vector<ModeCase> cases = {
        {"stretch", DS_POS_STRETCH, 1920.0f / 1440.0f, 1.0f},
        {"fit", DS_POS_FIT, 1.0f, 1.0f},
        {"fill", DS_POS_FILL, 1920.0f / 1440.0f, 1920.0f / 1440.0f},
        {"capture", DS_POS_CAPTURE, 1920.0f / 1440.0f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DS_2DView v;
        v.Compute(1920, 1080, 1600, 1200, c.mode, false, 1920, 1080);
        EXPECT_EQ(v.mode, c.mode);
        EXPECT_FLOAT_EQ(v.composite._11, 0.9f);
        EXPECT_FLOAT_EQ(v.composite._41, 240.0f);
        EXPECT_FLOAT_EQ(v.composite._42, 0.0f);
        EXPECT_FLOAT_EQ(v.positionScale._11, c.sx);
        EXPECT_FLOAT_EQ(v.positionScale._22, c.sy);
        EXPECT_FLOAT_EQ(v.scaleX, 1920.0f / 1440.0f);
        EXPECT_FLOAT_EQ(v.scaleY, 1.0f);
        // The picture's centre stays at the target's centre in every mode.
        const D3DXVECTOR3 centre = Apply(v.ObjectTransform(D3DXMATRIX(v.world)), 800.0f, 600.0f);
        EXPECT_NEAR(centre.x, 960.0f, 1e-3);
        EXPECT_NEAR(centre.y, 540.0f, 1e-3);
        // Stretch and capture cover the target edge to edge; fill crops y.
        const D3DXVECTOR3 corner = Apply(v.ObjectTransform(v.world), 0.0f, 0.0f);
        if (c.mode == DS_POS_STRETCH || c.mode == DS_POS_CAPTURE) {
            EXPECT_NEAR(corner.x, 0.0f, 1e-3);
            EXPECT_NEAR(corner.y, 0.0f, 1e-3);
        } else if (c.mode == DS_POS_FILL) {
            EXPECT_NEAR(corner.x, 0.0f, 1e-3);
            EXPECT_LT(corner.y, -1.0f);
        } else {
            EXPECT_NEAR(corner.x, 240.0f, 1e-3);
        }
    }
}

TEST(View2D, LetterboxBarsKeepTheirOnePixelOverhang) {
    DS_2DView v;
    v.Compute(1920, 1080, 1600, 1200, DS_POS_FIT, false, 1920, 1080);
    // Side bars 241 wide (240 plus one) and 1080 high; the right one starts at L + w.
    EXPECT_EQ(v.barCorners[0].Left(), 0.0f);
    EXPECT_EQ(v.barCorners[0].Width(), 241.0f);
    EXPECT_EQ(v.barCorners[0].Height(), 1080.0f);
    EXPECT_EQ(v.barCorners[1].Left(), 1680.0f);
    EXPECT_EQ(v.barCorners[1].Width(), 241.0f);
    // Top and bottom bars have no height.
    EXPECT_EQ(v.barCorners[2].Height(), 0.0f);
    EXPECT_EQ(v.barCorners[3].Height(), 0.0f);

    // A letterbox picture: top and bottom bars, side bars of no width.
    v.Compute(1600, 1200, 1920, 1080, DS_POS_FIT, false, 1600, 1200);
    EXPECT_EQ(v.barCorners[0].Width(), 0.0f);
    EXPECT_EQ(v.barCorners[2].Height(), 151.0f);
    EXPECT_EQ(v.barCorners[2].Width(), 1600.0f);
    EXPECT_EQ(v.barCorners[3].Top(), 1050.0f);
    EXPECT_FLOAT_EQ(v.composite._42, 150.0f);
}

TEST(View2D, ExactAspectGivesNoBarsAndOneImageInEveryMode) {
    D3DXMATRIX first;
    for (int mode : {DS_POS_STRETCH, DS_POS_FIT, DS_POS_FILL}) {
        DS_2DView v;
        v.Compute(1600, 1200, 800, 600, mode, false, 1600, 1200);
        for (const auto& bar : v.barCorners) {
            EXPECT_EQ(bar.Width() * bar.Height(), 0.0f);
        }
        const D3DXMATRIX t = v.ObjectTransform(v.world);
        if (mode == DS_POS_STRETCH)
            first = t;
        else
            EXPECT_EQ(t, first);
    }
}

TEST(View2D, BackBufferScaleAndNoScale) {
    // A 960 x 540 target drawn on a 1920 x 1080 back buffer: bars in back-buffer pixels.
    DS_2DView v;
    v.Compute(960, 540, 1600, 1200, DS_POS_FIT, false, 1920, 1080);
    EXPECT_EQ(v.barCorners[0].Width(), 241.0f);
    EXPECT_FLOAT_EQ(v.scaleX, 1920.0f / 1440.0f);
    // The composite maps picture pixels to target pixels.
    EXPECT_FLOAT_EQ(v.composite._11, 0.45f);
    EXPECT_FLOAT_EQ(v.composite._41, 120.0f);
    // With noScale the bars and scales are in target pixels.
    v.Compute(960, 540, 1600, 1200, DS_POS_FIT, true, 1920, 1080);
    EXPECT_EQ(v.barCorners[0].Width(), 121.0f);
    EXPECT_FLOAT_EQ(v.scaleX, 960.0f / 720.0f);
    EXPECT_FLOAT_EQ(v.composite._41, 120.0f);
}

TEST(View2D, ProjectionMapsTheTargetToClipSpace) {
    DS_2DView v;
    v.Compute(640, 480, 640, 480, DS_POS_FIT, true, 640, 480);
    D3DXMATRIX all;
    v.ComposeTransform(&all, v.world);
    const D3DXVECTOR3 topLeft = Apply(all, 0.0f, 0.0f), bottomRight = Apply(all, 640.0f, 480.0f);
    EXPECT_NEAR(topLeft.x, -1.0f, 1e-5);
    EXPECT_NEAR(topLeft.y, 1.0f, 1e-5);
    EXPECT_NEAR(bottomRight.x, 1.0f, 1e-5);
    EXPECT_NEAR(bottomRight.y, -1.0f, 1e-5);
}

TEST(View2D, ZoomAboutThePanPoint) {
    DS_2DView v;
    v.Compute(1600, 1200, 1600, 1200, DS_POS_FIT, true, 1600, 1200);
    v.SetZoom(1.2f, -1.0f, 0.0f);  // left edge and vertical centre fixed
    EXPECT_NEAR(Apply(v.zoom, 0.0f, 600.0f).x, 0.0f, 1e-3);
    EXPECT_NEAR(Apply(v.zoom, 0.0f, 600.0f).y, 600.0f, 1e-3);
    EXPECT_NEAR(Apply(v.zoom, 1600.0f, 0.0f).x, 1920.0f, 1e-3);
    v.SetZoom(1.5f, 1.0f, 1.0f);  // bottom-right corner fixed
    EXPECT_NEAR(Apply(v.zoom, 1600.0f, 1200.0f).x, 1600.0f, 1e-2);
    EXPECT_NEAR(Apply(v.zoom, 1600.0f, 1200.0f).y, 1200.0f, 1e-2);
    for (float pan : {-1.0f, 0.0f, 0.7f}) {
        v.SetZoom(1.0f, pan, -pan);
        D3DXMATRIX id;
        D3DXMatrixIdentity(&id);
        EXPECT_EQ(v.zoom, id);
    }
    v.SetZoom(0.0f, 0.5f, 0.5f);  // no zoom at all is taken as 1
    EXPECT_EQ(v.zoom._11, 1.0f);
    EXPECT_TRUE(std::isfinite(v.zoom._41));
}

TEST(View2D, CaptureModeLeavesTheZoomOut) {
    DS_2DView v;
    v.Compute(800, 600, 800, 600, DS_POS_CAPTURE, true, 800, 600);
    v.SetZoom(2.0f, 0.0f, 0.0f);
    EXPECT_NEAR(Apply(v.ObjectTransform(v.world), 100.0f, 100.0f).x, 100.0f, 1e-3);
    v.mode = DS_POS_FIT;
    EXPECT_NEAR(Apply(v.ObjectTransform(v.world), 100.0f, 100.0f).x, -200.0f, 1e-3);
    // GetTransform leaves out both the zoom and (outside capture) the position scale.
    D3DXMATRIX t, expected = v.composite * v.view * v.projection;
    EXPECT_EQ(*v.GetTransform(&t), expected);
}

TEST(View2D, GetScaleIsTranslationOverScale) {
    DS_2DView v;
    v.Compute(1920, 1080, 1600, 1200, DS_POS_STRETCH, false, 1920, 1080);
    const D3DXMATRIX m = v.zoom * v.positionOffset * v.positionScale;
    EXPECT_FLOAT_EQ(v.GetScaleX(), m._41 / m._11);
    EXPECT_FLOAT_EQ(v.GetScaleY(), 0.0f);
}

// A picture that could not be resolved (0 x 0) and a target of 0 x 0 must
// give finite matrices everywhere.
TEST(View2D, NoPictureAndNoTargetStayFinite) {
    for (auto size : {std::pair{0, 0}, std::pair{1, 1}, std::pair{1920, 1080}}) {
        for (int mode = 0; mode < 4; ++mode) {
            DS_2DView v;
            v.Compute(size.first, size.second, 0, 0, mode, false, 1920, 1080);
            v.SetZoom(1.2f, 0.3f, -0.4f);
            D3DXMATRIX all;
            v.ComposeTransform(&all, v.world);
            for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite((&all._11)[i])) << "mode " << mode;
            EXPECT_TRUE(std::isfinite(v.scaleX) && std::isfinite(v.scaleY));
            EXPECT_TRUE(std::isfinite(v.GetScaleX()) && std::isfinite(v.GetScaleY()));
        }
    }
}

TEST(ScreenMapping, BothWays) {
    DS_QuadVerts fitted;
    fitted.SetAspectFit(1600.0f, 1200.0f, 1920, 1080);
    DS_ScreenMapping m;
    m.SetWithBackBuffer(fitted, 960, 540, 1600, 1200, 1920, 1080);
    EXPECT_FLOAT_EQ(m.sx, 2.0f);
    EXPECT_FLOAT_EQ(m.sy, 2.0f);
    EXPECT_EQ(m.logicalWidth, 1600);
    float bx, by, x, y;
    m.PictureToBackBuffer(0.0f, 0.0f, &bx, &by);
    EXPECT_FLOAT_EQ(bx, 240.0f);
    EXPECT_FLOAT_EQ(by, 0.0f);
    m.PictureToBackBuffer(1600.0f, 1200.0f, &bx, &by);
    EXPECT_FLOAT_EQ(bx, 1680.0f);
    EXPECT_FLOAT_EQ(by, 1080.0f);
    m.BackBufferToPicture(960.0f, 540.0f, &x, &y);
    EXPECT_FLOAT_EQ(x, 800.0f);
    EXPECT_FLOAT_EQ(y, 600.0f);
    // No target and no picture: defined, the point passes unchanged.
    DS_ScreenMapping empty;
    empty.SetWithBackBuffer(DS_QuadVerts(), 0, 0, 0, 0, 1920, 1080);
    EXPECT_EQ(empty.sx, 1.0f);
    empty.BackBufferToPicture(5.0f, 6.0f, &x, &y);
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(y, 6.0f);
}

TEST(ViewState, EachUnitHasItsOwnView) {
    DS_ViewState a, b;
    DS_SetCurrentViewState(&a);
    DS_2DView::Current().Compute(1920, 1080, 1600, 1200, DS_POS_FIT, true, 1920, 1080);
    DS_ScreenMapping::Current().logicalWidth = 1600;
    DS_SetCurrentViewState(&b);
    DS_2DView::Current().Compute(800, 600, 1600, 1200, DS_POS_FIT, true, 800, 600);
    EXPECT_EQ(&DS_2DView::Current(), &b.view);
    EXPECT_EQ(b.mapping.logicalWidth, 0);
    EXPECT_FLOAT_EQ(a.view.composite._11, 0.9f);
    EXPECT_FLOAT_EQ(b.view.composite._11, 0.5f);
    DS_SetCurrentViewState(nullptr);
    EXPECT_EQ(&DS_2DView::Current(), &DS_DefaultViewState().view);
}
