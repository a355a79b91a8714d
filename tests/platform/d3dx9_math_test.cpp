// D3DX maths against hand-computed values: row vectors (p x M), A x B applies
// A first, left-handed projections with depth 0..1.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/d3dx9/d3dx9math.h"

namespace {

constexpr float kTol = 1e-5f;

void ExpectMatrixNear(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float tol = kTol) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(expected.m[r][c], actual.m[r][c], tol) << "element _" << r + 1 << c + 1;
}

void ExpectVecNear(const D3DXVECTOR3& expected, const D3DXVECTOR3& actual, float tol = kTol) {
    EXPECT_NEAR(expected.x, actual.x, tol);
    EXPECT_NEAR(expected.y, actual.y, tol);
    EXPECT_NEAR(expected.z, actual.z, tol);
}

void ExpectVecNear(const D3DXVECTOR4& expected, const D3DXVECTOR4& actual, float tol = kTol) {
    EXPECT_NEAR(expected.x, actual.x, tol);
    EXPECT_NEAR(expected.y, actual.y, tol);
    EXPECT_NEAR(expected.z, actual.z, tol);
    EXPECT_NEAR(expected.w, actual.w, tol);
}

D3DXVECTOR3 Coord(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

}  // namespace

TEST(D3DXMath, PiIsSinglePrecisionAndDegreesConvert) {
    EXPECT_EQ(D3DX_PI, 3.14159265f);
    EXPECT_FLOAT_EQ(D3DXToRadian(180.0f), D3DX_PI);
    EXPECT_FLOAT_EQ(D3DXToDegree(D3DX_PI / 2), 90.0f);
}

// The unit x axis as a row vector through each rotation.
TEST(D3DXMath, RotationsTurnTheAxesLeftHanded) {
    struct Case {
        const char* name;
        D3DXMATRIX* (*rotate)(D3DXMATRIX*, float);
        float angle;
        D3DXVECTOR3 in, out;
    };
    const float h = D3DX_PI / 2;
    const std::vector<Case> cases = {
        {"Z +90: x to y", D3DXMatrixRotationZ, h, {1, 0, 0}, {0, 1, 0}},
        {"Z +90: y to -x", D3DXMatrixRotationZ, h, {0, 1, 0}, {-1, 0, 0}},
        {"Z 30", D3DXMatrixRotationZ, D3DX_PI / 6, {1, 0, 0}, {std::sqrt(3.0f) / 2, 0.5f, 0}},
        {"X +90: y to z", D3DXMatrixRotationX, h, {0, 1, 0}, {0, 0, 1}},
        {"X +90: z to -y", D3DXMatrixRotationX, h, {0, 0, 1}, {0, -1, 0}},
        {"Y +90: z to x", D3DXMatrixRotationY, h, {0, 0, 1}, {1, 0, 0}},
        {"Y +90: x to -z", D3DXMatrixRotationY, h, {1, 0, 0}, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        c.rotate(&m, c.angle);
        ExpectVecNear(c.out, Coord(c.in, m));
    }
}

// The direction helpers of the effects: (1, 0, 0, 0) x RotationZ((360 - a) pi / 180)
// = (cos a, -sin a, 0, 0).
TEST(D3DXMath, Vec4TransformOfDirectionByRotationZ) {
    for (int angle : {0, 30, 90, 135, 270, 359}) {
        SCOPED_TRACE(angle);
        D3DXMATRIX r;
        D3DXMatrixRotationZ(&r, static_cast<float>(360 - angle) * D3DX_PI / 180.0f);
        D3DXVECTOR4 in(1, 0, 0, 0), out;
        D3DXVec4Transform(&out, &in, &r);
        float a = static_cast<float>(angle) * D3DX_PI / 180.0f;
        ExpectVecNear(D3DXVECTOR4(std::cos(a), -std::sin(a), 0, 0), out, 2e-6f);
    }
}

TEST(D3DXMath, ProductAppliesLeftMatrixFirst) {
    D3DXMATRIX s, t, st, ts;
    D3DXMatrixScaling(&s, 2, 3, 4);
    D3DXMatrixTranslation(&t, 10, 20, 30);
    D3DXMatrixMultiply(&st, &s, &t);
    ts = t * s;
    // Scale then translate: (1,1,1) -> (2,3,4) -> (12,23,34).
    ExpectVecNear({12, 23, 34}, Coord({1, 1, 1}, st));
    // Translate then scale: (1,1,1) -> (11,21,31) -> (22,63,124).
    ExpectVecNear({22, 63, 124}, Coord({1, 1, 1}, ts));
    // The translation sits in the fourth row.
    EXPECT_EQ(st._41, 10);
    EXPECT_EQ(st._42, 20);
    EXPECT_EQ(st._43, 30);
    EXPECT_EQ(st._11, 2);
    // Output may alias an input.
    D3DXMatrixMultiply(&s, &s, &t);
    ExpectMatrixNear(st, s);
}

TEST(D3DXMath, InverseDeterminantAndSingularMatrix) {
    D3DXMATRIX t, inv, expected;
    D3DXMatrixTranslation(&t, 1, -2, 3);
    D3DXMatrixTranslation(&expected, -1, 2, -3);
    float det = 0;
    ASSERT_NE(nullptr, D3DXMatrixInverse(&inv, &det, &t));
    EXPECT_FLOAT_EQ(1.0f, det);
    ExpectMatrixNear(expected, inv);

    D3DXMATRIX s;
    D3DXMatrixScaling(&s, 2, 4, 8);
    EXPECT_FLOAT_EQ(64.0f, D3DXMatrixDeterminant(&s));
    ASSERT_NE(nullptr, D3DXMatrixInverse(&inv, nullptr, &s));
    EXPECT_FLOAT_EQ(0.5f, inv._11);
    EXPECT_FLOAT_EQ(0.25f, inv._22);
    EXPECT_FLOAT_EQ(0.125f, inv._33);

    // The water-ring camera: RotationX(-pi/2) with translation row (0, 120, 0);
    // its inverse takes the camera position back to the origin.
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, -D3DX_PI / 2);
    m._41 = 0, m._42 = 120, m._43 = 0;
    D3DXMATRIX v, id;
    ASSERT_NE(nullptr, D3DXMatrixInverse(&v, nullptr, &m));
    ExpectVecNear({0, 0, 0}, Coord({0, 120, 0}, v), 1e-4f);
    D3DXMatrixIdentity(&id);
    ExpectMatrixNear(id, m * v, 1e-5f);

    D3DXMATRIX singular;  // all zeros
    D3DXMATRIX untouched = s;
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&untouched, &det, &singular));
    EXPECT_EQ(0.0f, det);
    ExpectMatrixNear(s, untouched);
}

TEST(D3DXMath, TransformCoordDividesByWAndNormalIgnoresTranslation) {
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 5, 6, 7);
    D3DXVECTOR3 n(1, 2, 3), out;
    D3DXVec3TransformNormal(&out, &n, &t);
    ExpectVecNear({1, 2, 3}, out);
    D3DXVECTOR4 v4;
    D3DXVec3Transform(&v4, &n, &t);
    ExpectVecNear(D3DXVECTOR4(6, 8, 10, 1), v4);

    D3DXMATRIX w;  // w' = 2 for every point
    D3DXMatrixIdentity(&w);
    w._44 = 2;
    ExpectVecNear({0.5f, 1, 1.5f}, Coord({1, 2, 3}, w));
}

TEST(D3DXMath, VectorHelpers) {
    D3DXVECTOR3 v(1, 2, 2), out;
    D3DXVec3Normalize(&out, &v);
    ExpectVecNear({1.0f / 3, 2.0f / 3, 2.0f / 3}, out);
    EXPECT_FLOAT_EQ(3.0f, D3DXVec3Length(&v));
    D3DXVECTOR3 zero;
    D3DXVec3Normalize(&out, &zero);
    ExpectVecNear({0, 0, 0}, out);

    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z;
    D3DXVec3Cross(&z, &x, &y);
    ExpectVecNear({0, 0, 1}, z);
    EXPECT_FLOAT_EQ(0.0f, D3DXVec3Dot(&x, &y));
    D3DXVECTOR3 a(1, 5, -2), b(3, 0, 4), lerp;
    D3DXVec3Lerp(&lerp, &a, &b, 0.25f);
    ExpectVecNear({1.5f, 3.75f, -0.5f}, lerp);
    ExpectVecNear({4, 5, 2}, a + b);
    ExpectVecNear({2, 10, -4}, 2.0f * a);

    D3DXVECTOR2 p(3, 4), pn;
    D3DXVec2Normalize(&pn, &p);
    EXPECT_FLOAT_EQ(0.6f, pn.x);
    EXPECT_FLOAT_EQ(0.8f, pn.y);
    D3DXVECTOR4 q(1, 1, 1, 1), qn;
    D3DXVec4Normalize(&qn, &q);
    EXPECT_FLOAT_EQ(0.5f, qn.w);
}

// The glass-ball camera: eye on +z looking at the origin.
TEST(D3DXMath, LookAtLH) {
    D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX v;
    D3DXMatrixLookAtLH(&v, &eye, &at, &up);
    ExpectMatrixNear(D3DXMATRIX(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 5, 1), v);
    ExpectVecNear({0, 0, 5}, Coord({0, 0, 0}, v));  // the origin is 5 ahead
    ExpectVecNear({-1, 0, 5}, Coord({1, 0, 0}, v));  // +x world is to the left

    D3DXVECTOR3 eye2(0, 0, -10);
    D3DXMatrixLookAtLH(&v, &eye2, &at, &up);
    ExpectMatrixNear(D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1), v);
    D3DXMatrixLookAtRH(&v, &eye2, &at, &up);
    ExpectVecNear({0, 0, -10}, Coord({0, 0, 0}, v));  // RH: ahead is -z
}

TEST(D3DXMath, Projections) {
    // PerspectiveFovLH(pi/2, 2, 1, 101): ys = cot(pi/4) = 1, xs = ys / aspect.
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, D3DX_PI / 2, 2.0f, 1.0f, 101.0f);
    ExpectMatrixNear(D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0), p);
    EXPECT_NEAR(0.0f, Coord({0, 0, 1}, p).z, kTol);   // near plane -> depth 0
    EXPECT_NEAR(1.0f, Coord({0, 0, 101}, p).z, kTol);  // far plane -> depth 1
    ExpectVecNear({1, 1, 1}, Coord({202, 101, 101}, p), 1e-4f);

    D3DXMatrixPerspectiveFovRH(&p, D3DX_PI / 2, 1.0f, 1.0f, 101.0f);
    EXPECT_NEAR(0.0f, Coord({0, 0, -1}, p).z, kTol);
    EXPECT_NEAR(1.0f, Coord({0, 0, -101}, p).z, kTol);

    D3DXMatrixPerspectiveLH(&p, 2.0f, 1.0f, 1.0f, 11.0f);
    EXPECT_FLOAT_EQ(1.0f, p._11);
    EXPECT_FLOAT_EQ(2.0f, p._22);
    EXPECT_NEAR(1.0f, Coord({0, 0, 11}, p).z, kTol);

    // A y-down screen space: OrthoOffCenterLH(0, 800, 600, 0, 0, 1).
    D3DXMatrixOrthoOffCenterLH(&p, 0, 800, 600, 0, 0, 1);
    ExpectVecNear({-1, 1, 0}, Coord({0, 0, 0}, p));
    ExpectVecNear({1, -1, 1}, Coord({800, 600, 1}, p));

    // The water-ring projection: OrthoOffCenterRH(-f, f, -e, e, -1, 2000).
    D3DXMatrixOrthoOffCenterRH(&p, -4, 4, -2, 2, -1, 2000);
    ExpectMatrixNear(D3DXMATRIX(0.25f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, -1.0f / 2001, 0, 0, 0, 1.0f / 2001, 1), p);
    EXPECT_NEAR(0.0f, Coord({0, 0, 1}, p).z, kTol);
    EXPECT_NEAR(1.0f, Coord({0, 0, -2000}, p).z, kTol);

    D3DXMatrixOrthoLH(&p, 8, 4, 1, 3);
    ExpectVecNear({1, -1, 0}, Coord({4, -2, 1}, p));
    EXPECT_NEAR(1.0f, Coord({0, 0, 3}, p).z, kTol);
    D3DXMatrixOrthoRH(&p, 8, 4, 1, 3);
    EXPECT_NEAR(1.0f, Coord({0, 0, -3}, p).z, kTol);
}

TEST(D3DXMath, AxisYawPitchRollAndQuaternionsAgree) {
    D3DXMATRIX a, b;
    D3DXVECTOR3 zaxis(0, 0, 2);  // not unit: the helpers normalise
    D3DXMatrixRotationAxis(&a, &zaxis, 0.7f);
    D3DXMatrixRotationZ(&b, 0.7f);
    ExpectMatrixNear(b, a);

    // Roll first, then pitch, then yaw.
    D3DXMATRIX ypr, rz, rx, ry;
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.3f, -0.4f, 1.1f);
    D3DXMatrixRotationZ(&rz, 1.1f);
    D3DXMatrixRotationX(&rx, -0.4f);
    D3DXMatrixRotationY(&ry, 0.3f);
    ExpectMatrixNear(rz * rx * ry, ypr);

    D3DXQUATERNION q, back;
    D3DXQuaternionRotationYawPitchRoll(&q, 0.3f, -0.4f, 1.1f);
    D3DXMatrixRotationQuaternion(&a, &q);
    ExpectMatrixNear(ypr, a);
    D3DXQuaternionRotationMatrix(&back, &ypr);
    if (back.w * q.w < 0) back = -back;
    EXPECT_NEAR(q.x, back.x, kTol);
    EXPECT_NEAR(q.y, back.y, kTol);
    EXPECT_NEAR(q.z, back.z, kTol);
    EXPECT_NEAR(q.w, back.w, kTol);

    // Multiply(q1, q2) is q1 then q2, like the matrices.
    D3DXVECTOR3 xaxis(1, 0, 0), yaxis(0, 1, 0);
    D3DXQUATERNION qx, qy, qxy;
    D3DXQuaternionRotationAxis(&qx, &xaxis, 0.5f);
    D3DXQuaternionRotationAxis(&qy, &yaxis, 0.9f);
    D3DXQuaternionMultiply(&qxy, &qx, &qy);
    D3DXMatrixRotationX(&rx, 0.5f);
    D3DXMatrixRotationY(&ry, 0.9f);
    D3DXMatrixRotationQuaternion(&a, &qxy);
    ExpectMatrixNear(rx * ry, a);

    // Slerp halfway between identity and 90 degrees about z is 45 degrees.
    D3DXQUATERNION id, z90, half;
    D3DXQuaternionIdentity(&id);
    D3DXQuaternionRotationAxis(&z90, &zaxis, D3DX_PI / 2);
    D3DXQuaternionSlerp(&half, &id, &z90, 0.5f);
    D3DXMatrixRotationQuaternion(&a, &half);
    D3DXMatrixRotationZ(&b, D3DX_PI / 4);
    ExpectMatrixNear(b, a);
}

TEST(D3DXMath, ColourConversions) {
    D3DXCOLOR c(0xFF804020u);
    EXPECT_FLOAT_EQ(1.0f, c.a);
    EXPECT_FLOAT_EQ(128.0f / 255, c.r);
    EXPECT_FLOAT_EQ(64.0f / 255, c.g);
    EXPECT_FLOAT_EQ(32.0f / 255, c.b);
    EXPECT_EQ(0xFF804020u, static_cast<D3DCOLOR>(c));
    // Out-of-range channels clamp; halves round up.
    EXPECT_EQ(0x00FF0080u, static_cast<D3DCOLOR>(D3DXCOLOR(2.0f, -1.0f, 0.5f, -0.5f)));
}

TEST(D3DXMath, PlaneFromPoints) {
    D3DXVECTOR3 a(0, 0, 5), b(1, 0, 5), c(0, 1, 5);
    D3DXPLANE p;
    D3DXPlaneFromPoints(&p, &a, &b, &c);
    EXPECT_FLOAT_EQ(1.0f, p.c);
    EXPECT_FLOAT_EQ(-5.0f, p.d);
    D3DXVECTOR3 above(3, 3, 7);
    EXPECT_FLOAT_EQ(2.0f, D3DXPlaneDotCoord(&p, &above));
}
