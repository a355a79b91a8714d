// D3DX maths. Conventions in d3dx9math.h: row vectors, A x B applies A first.
#include "platform/d3dx9/d3dx9math.h"

#include <algorithm>
#include <cmath>

// --- D3DXMATRIX members ---

D3DXMATRIX::D3DXMATRIX(const float* f) : D3DMATRIX{} {
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = f[i];
}

D3DXMATRIX::D3DXMATRIX(float f11, float f12, float f13, float f14, float f21, float f22, float f23, float f24,
                       float f31, float f32, float f33, float f34, float f41, float f42, float f43, float f44)
    : D3DMATRIX{} {
    _11 = f11; _12 = f12; _13 = f13; _14 = f14;
    _21 = f21; _22 = f22; _23 = f23; _24 = f24;
    _31 = f31; _32 = f32; _33 = f33; _34 = f34;
    _41 = f41; _42 = f42; _43 = f43; _44 = f44;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& other) {
    D3DXMatrixMultiply(this, this, &other);
    return *this;
}
D3DXMATRIX& D3DXMATRIX::operator+=(const D3DXMATRIX& other) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] += other.m[r][c];
    return *this;
}
D3DXMATRIX& D3DXMATRIX::operator-=(const D3DXMATRIX& other) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] -= other.m[r][c];
    return *this;
}
D3DXMATRIX& D3DXMATRIX::operator*=(float f) {
    for (auto& row : m)
        for (float& v : row) v *= f;
    return *this;
}
D3DXMATRIX& D3DXMATRIX::operator/=(float f) { return *this *= 1.0f / f; }
D3DXMATRIX D3DXMATRIX::operator-() const { return *this * -1.0f; }
D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const {
    D3DXMATRIX out;
    D3DXMatrixMultiply(&out, this, &other);
    return out;
}
D3DXMATRIX D3DXMATRIX::operator+(const D3DXMATRIX& other) const { D3DXMATRIX out = *this; return out += other; }
D3DXMATRIX D3DXMATRIX::operator-(const D3DXMATRIX& other) const { D3DXMATRIX out = *this; return out -= other; }
D3DXMATRIX D3DXMATRIX::operator*(float f) const { D3DXMATRIX out = *this; return out *= f; }
D3DXMATRIX D3DXMATRIX::operator/(float f) const { D3DXMATRIX out = *this; return out /= f; }
bool D3DXMATRIX::operator==(const D3DXMATRIX& other) const {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m[r][c] != other.m[r][c]) return false;
    return true;
}

D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}
D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
    D3DXQUATERNION out;
    D3DXQuaternionMultiply(&out, this, &q);
    return out;
}

D3DXCOLOR::operator D3DCOLOR() const {
    auto channel = [](float v) -> DWORD {
        if (!(v > 0.0f)) return 0;  // NaN and negatives give 0
        if (v >= 1.0f) return 255;
        return static_cast<DWORD>(v * 255.0f + 0.5f);
    };
    return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

// --- 2D vectors ---

float D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
float D3DXVec2LengthSq(const D3DXVECTOR2* v) { return v->x * v->x + v->y * v->y; }
float D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
float D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->y - a->y * b->x; }
D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = *a + *b;
    return out;
}
D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = *a - *b;
    return out;
}
D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, float s) {
    *out = *v * s;
    return out;
}
D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, float s) {
    *out = D3DXVECTOR2(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y));
    return out;
}
D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(std::min(a->x, b->x), std::min(a->y, b->y));
    return out;
}
D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = D3DXVECTOR2(std::max(a->x, b->x), std::max(a->y, b->y));
    return out;
}
D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
    float len = D3DXVec2Length(v);
    *out = len > 0.0f ? *v / len : D3DXVECTOR2(0, 0);
    return out;
}
D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 in(v->x, v->y, 0.0f, 1.0f);
    return D3DXVec4Transform(out, &in, m);
}
D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    D3DXVec2Transform(&r, v, m);
    *out = D3DXVECTOR2(r.x / r.w, r.y / r.w);
    return out;
}
D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    float x = v->x, y = v->y;
    *out = D3DXVECTOR2(x * m->_11 + y * m->_21, x * m->_12 + y * m->_22);
    return out;
}

// --- 3D vectors ---

float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(D3DXVec3LengthSq(v)); }
float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    return out;
}
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a + *b;
    return out;
}
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a - *b;
    return out;
}
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) {
    *out = *v * s;
    return out;
}
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
    *out = D3DXVECTOR3(a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z));
    return out;
}
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(std::min(a->x, b->x), std::min(a->y, b->y), std::min(a->z, b->z));
    return out;
}
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(std::max(a->x, b->x), std::max(a->y, b->y), std::max(a->z, b->z));
    return out;
}
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    float len = D3DXVec3Length(v);
    *out = len > 0.0f ? *v / len : D3DXVECTOR3(0, 0, 0);
    return out;
}
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 in(v->x, v->y, v->z, 1.0f);
    return D3DXVec4Transform(out, &in, m);
}
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    *out = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
    return out;
}
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    float x = v->x, y = v->y, z = v->z;
    *out = D3DXVECTOR3(x * m->_11 + y * m->_21 + z * m->_31,  //
                       x * m->_12 + y * m->_22 + z * m->_32,  //
                       x * m->_13 + y * m->_23 + z * m->_33);
    return out;
}

// --- 4D vectors ---

float D3DXVec4Length(const D3DXVECTOR4* v) { return std::sqrt(D3DXVec4LengthSq(v)); }
float D3DXVec4LengthSq(const D3DXVECTOR4* v) { return D3DXVec4Dot(v, v); }
float D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    *out = *a + *b;
    return out;
}
D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    *out = *a - *b;
    return out;
}
D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* out, const D3DXVECTOR4* v, float s) {
    *out = *v * s;
    return out;
}
D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b, float s) {
    *out = *a + (*b - *a) * s;
    return out;
}
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
    float len = D3DXVec4Length(v);
    *out = len > 0.0f ? *v / len : D3DXVECTOR4(0, 0, 0, 0);
    return out;
}
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    float x = v->x, y = v->y, z = v->z, w = v->w;
    *out = D3DXVECTOR4(x * m->_11 + y * m->_21 + z * m->_31 + w * m->_41,
                       x * m->_12 + y * m->_22 + z * m->_32 + w * m->_42,
                       x * m->_13 + y * m->_23 + z * m->_33 + w * m->_43,
                       x * m->_14 + y * m->_24 + z * m->_34 + w * m->_44);
    return out;
}

// --- Matrices ---

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    return *m == id ? TRUE : FALSE;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                        a->m[i][3] * b->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, a, b);
    return D3DXMatrixTranspose(out, &r);
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

namespace {

// Cofactor expansion in double precision: the 2x2 minors of the lower two
// rows and the upper two rows give every 3x3 cofactor.
struct Cofactors {
    double cof[4][4];  // cof[i][j]: cofactor of element (i, j)
    double det;
};

Cofactors ComputeCofactors(const D3DXMATRIX* mat) {
    double a[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = mat->m[i][j];
    Cofactors c{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double minor[3][3];
            for (int r = 0, mr = 0; r < 4; ++r) {
                if (r == i) continue;
                for (int k = 0, mc = 0; k < 4; ++k) {
                    if (k == j) continue;
                    minor[mr][mc++] = a[r][k];
                }
                ++mr;
            }
            double d = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                       minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                       minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
            c.cof[i][j] = ((i + j) % 2 == 0) ? d : -d;
        }
    }
    c.det = a[0][0] * c.cof[0][0] + a[0][1] * c.cof[0][1] + a[0][2] * c.cof[0][2] + a[0][3] * c.cof[0][3];
    return c;
}

}  // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) { return static_cast<float>(ComputeCofactors(m).det); }

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
    Cofactors c = ComputeCofactors(m);
    if (determinant) *determinant = static_cast<float>(c.det);
    if (c.det == 0.0 || !std::isfinite(c.det)) return nullptr;
    D3DXMATRIX r;
    double inv = 1.0 / c.det;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = static_cast<float>(c.cof[j][i] * inv);
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
    *out = D3DXMATRIX(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    *out = D3DXMATRIX(t * v.x * v.x + c, t * v.x * v.y + s * v.z, t * v.x * v.z - s * v.y, 0,  //
                      t * v.x * v.y - s * v.z, t * v.y * v.y + c, t * v.y * v.z + s * v.x, 0,  //
                      t * v.x * v.z + s * v.y, t * v.y * v.z - s * v.x, t * v.z * v.z + c, 0,  //
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
    float x = q->x, y = q->y, z = q->z, w = q->w;
    *out = D3DXMATRIX(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,  //
                      2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,  //
                      2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,  //
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    D3DXMATRIX rz, rx, ry;
    D3DXMatrixRotationZ(&rz, roll);
    D3DXMatrixRotationX(&rx, pitch);
    D3DXMatrixRotationY(&ry, yaw);
    *out = rz * rx * ry;
    return out;
}

namespace {

D3DXMATRIX* LookAt(D3DXMATRIX* out, const D3DXVECTOR3& eye, const D3DXVECTOR3& zdir, const D3DXVECTOR3& up) {
    D3DXVECTOR3 z, x, y;
    D3DXVec3Normalize(&z, &zdir);
    D3DXVec3Cross(&x, &up, &z);
    D3DXVec3Normalize(&x, &x);
    D3DXVec3Cross(&y, &z, &x);
    *out = D3DXMATRIX(x.x, y.x, z.x, 0,  //
                      x.y, y.y, z.y, 0,  //
                      x.z, y.z, z.z, 0,  //
                      -D3DXVec3Dot(&x, &eye), -D3DXVec3Dot(&y, &eye), -D3DXVec3Dot(&z, &eye), 1);
    return out;
}

}  // namespace

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up) {
    return LookAt(out, *eye, *at - *eye, *up);
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up) {
    return LookAt(out, *eye, *eye - *at, *up);
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    *out = D3DXMATRIX(2 * zn / w, 0, 0, 0,  //
                      0, 2 * zn / h, 0, 0,  //
                      0, 0, zf / (zf - zn), 1,  //
                      0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveRH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    *out = D3DXMATRIX(2 * zn / w, 0, 0, 0,  //
                      0, 2 * zn / h, 0, 0,  //
                      0, 0, zf / (zn - zf), -1,  //
                      0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn, float zf) {
    float ys = 1.0f / std::tan(fovy / 2.0f);
    float xs = ys / aspect;
    *out = D3DXMATRIX(xs, 0, 0, 0,  //
                      0, ys, 0, 0,  //
                      0, 0, zf / (zf - zn), 1,  //
                      0, 0, -zn * zf / (zf - zn), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, float fovy, float aspect, float zn, float zf) {
    float ys = 1.0f / std::tan(fovy / 2.0f);
    float xs = ys / aspect;
    *out = D3DXMATRIX(xs, 0, 0, 0,  //
                      0, ys, 0, 0,  //
                      0, 0, zf / (zn - zf), -1,  //
                      0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    *out = D3DXMATRIX(2 * zn / (r - l), 0, 0, 0,  //
                      0, 2 * zn / (t - b), 0, 0,  //
                      (l + r) / (l - r), (t + b) / (b - t), zf / (zf - zn), 1,  //
                      0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    *out = D3DXMATRIX(2 * zn / (r - l), 0, 0, 0,  //
                      0, 2 * zn / (t - b), 0, 0,  //
                      (l + r) / (r - l), (t + b) / (t - b), zf / (zn - zf), -1,  //
                      0, 0, zn * zf / (zn - zf), 0);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    *out = D3DXMATRIX(2 / w, 0, 0, 0,  //
                      0, 2 / h, 0, 0,  //
                      0, 0, 1 / (zf - zn), 0,  //
                      0, 0, zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
    *out = D3DXMATRIX(2 / w, 0, 0, 0,  //
                      0, 2 / h, 0, 0,  //
                      0, 0, 1 / (zn - zf), 0,  //
                      0, 0, zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    *out = D3DXMATRIX(2 / (r - l), 0, 0, 0,  //
                      0, 2 / (t - b), 0, 0,  //
                      0, 0, 1 / (zf - zn), 0,  //
                      (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
    *out = D3DXMATRIX(2 / (r - l), 0, 0, 0,  //
                      0, 2 / (t - b), 0, 0,  //
                      0, 0, 1 / (zn - zf), 0,  //
                      (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1);
    return out;
}

// --- Quaternions ---

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
    *out = D3DXQUATERNION(0, 0, 0, 1);
    return out;
}
BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
    return (q->x == 0 && q->y == 0 && q->z == 0 && q->w == 1) ? TRUE : FALSE;
}
float D3DXQuaternionLengthSq(const D3DXQUATERNION* q) { return D3DXQuaternionDot(q, q); }
float D3DXQuaternionLength(const D3DXQUATERNION* q) { return std::sqrt(D3DXQuaternionLengthSq(q)); }
float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    float len = D3DXQuaternionLength(q);
    *out = len > 0.0f ? *q * (1.0f / len) : D3DXQUATERNION(0, 0, 0, 0);
    return out;
}
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    float n = D3DXQuaternionLengthSq(q);
    D3DXQUATERNION c;
    D3DXQuaternionConjugate(&c, q);
    *out = n > 0.0f ? c * (1.0f / n) : D3DXQUATERNION(0, 0, 0, 0);
    return out;
}
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    // Hamilton product b a: rotation a applied first.
    const D3DXQUATERNION p = *b, q = *a;
    *out = D3DXQUATERNION(p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
                          p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x,
                          p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w,
                          p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z);
    return out;
}
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    float s = std::sin(angle / 2.0f);
    *out = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(angle / 2.0f));
    return out;
}
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
    float trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        float w = std::sqrt(trace + 1.0f) / 2.0f, k = 1.0f / (4.0f * w);
        q = D3DXQUATERNION((m->_23 - m->_32) * k, (m->_31 - m->_13) * k, (m->_12 - m->_21) * k, w);
    } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
        float x = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) / 2.0f, k = 1.0f / (4.0f * x);
        q = D3DXQUATERNION(x, (m->_12 + m->_21) * k, (m->_13 + m->_31) * k, (m->_23 - m->_32) * k);
    } else if (m->_22 >= m->_33) {
        float y = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) / 2.0f, k = 1.0f / (4.0f * y);
        q = D3DXQUATERNION((m->_12 + m->_21) * k, y, (m->_23 + m->_32) * k, (m->_31 - m->_13) * k);
    } else {
        float z = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) / 2.0f, k = 1.0f / (4.0f * z);
        q = D3DXQUATERNION((m->_13 + m->_31) * k, (m->_23 + m->_32) * k, z, (m->_12 - m->_21) * k);
    }
    *out = q;
    return out;
}
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll) {
    D3DXQUATERNION qz, qx, qy, r;
    D3DXVECTOR3 ax(1, 0, 0), ay(0, 1, 0), az(0, 0, 1);
    D3DXQuaternionRotationAxis(&qz, &az, roll);
    D3DXQuaternionRotationAxis(&qx, &ax, pitch);
    D3DXQuaternionRotationAxis(&qy, &ay, yaw);
    D3DXQuaternionMultiply(&r, &qz, &qx);
    D3DXQuaternionMultiply(out, &r, &qy);
    return out;
}
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b, float t) {
    float cosom = D3DXQuaternionDot(a, b);
    D3DXQUATERNION end = *b;
    if (cosom < 0.0f) {
        cosom = -cosom;
        end = -end;
    }
    float s0, s1;
    if (1.0f - cosom > 1e-6f) {
        float omega = std::acos(cosom), sinom = std::sin(omega);
        s0 = std::sin((1.0f - t) * omega) / sinom;
        s1 = std::sin(t * omega) / sinom;
    } else {  // nearly the same rotation: linear is exact enough
        s0 = 1.0f - t;
        s1 = t;
    }
    *out = *a * s0 + end * s1;
    return out;
}
void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle) {
    if (axis) *axis = D3DXVECTOR3(q->x, q->y, q->z);
    if (angle) *angle = 2.0f * std::acos(std::clamp(q->w, -1.0f, 1.0f));
}

// --- Planes ---

float D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w; }
float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d; }
float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z; }
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c) {
    D3DXVECTOR3 e1 = *b - *a, e2 = *c - *a, n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    return D3DXPlaneFromPointNormal(out, a, &n);
}
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
    float len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
    *out = len > 0.0f ? D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len) : D3DXPLANE(0, 0, 0, 0);
    return out;
}

// --- Colours ---

D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, float s) {
    *out = D3DXCOLOR(a->r + s * (b->r - a->r), a->g + s * (b->g - a->g), a->b + s * (b->b - a->b),
                     a->a + s * (b->a - a->a));
    return out;
}
D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    *out = D3DXCOLOR(a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a);
    return out;
}
D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, float s) {
    *out = D3DXCOLOR(c->r * s, c->g * s, c->b * s, c->a);
    return out;
}
