// The ripple mesh without a device: the refraction table's entries, the grid
// sizes (limits and minimum), the strip's ring order, drops from the
// runtime's random sequence, the sub-steps worked out by hand on a 6 x 6
// grid (propagation, the rim held at rest, the mean level taken off), and the
// vertices of a surface at rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "layers/ripple_mesh.h"
#include "platform/crt/rand.h"

namespace {

using Entry = DS_RefractionTable::Entry;

TEST(RefractionTable, EntriesAtTheirCosines) {
    DS_RippleMesh mesh;
    EXPECT_EQ(mesh.table, nullptr);
    mesh.BuildRefractionTable();
    ASSERT_EQ(mesh.table, DS_RefractionTable::Shared().Zero());
    const Entry* t = mesh.table;
    struct Case {
        int index;
        float offset;
        D3DCOLOR color;
    };
    // offset = 1.333 cos(asin(sin(acos(i / 256)) / 1.333)) - i / 256;
    // alpha = bits 16..23 of (255 - i)^3: 255^3 = 0xFD02FF, 127^3 = 0x1F417F.
    const Case cases[] = {{0, 0.8814f, 0xFD000000u}, {128, 0.5134f, 0x1F000000u}, {255, 0.3340f, 0u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_NEAR(t[c.index].offset, c.offset, 1e-4f);
        EXPECT_NEAR(t[c.index].scale, -1.0f / 1.333f, 1e-5f);
        EXPECT_EQ(t[c.index].color, c.color);
    }
    // Below 0 every entry is a copy of entry 0.
    for (int i = -256; i < 0; ++i) {
        EXPECT_EQ(t[i].offset, t[0].offset) << i;
        EXPECT_EQ(t[i].scale, t[0].scale) << i;
        EXPECT_EQ(t[i].color, t[0].color) << i;
    }
    // A second mesh shares the table.
    DS_RippleMesh other;
    other.BuildRefractionTable();
    EXPECT_EQ(other.table, mesh.table);
}

// columns = trunc(128 x columns factor), rows = trunc(columns x h / w x rows
// factor), both even; more than 65536 cells narrows the columns; at least
// 4 x 4 whatever the aspect or the factors.
TEST(RippleMesh, GridSizes) {
    struct Case {
        float width, height, rowsFactor, columnsFactor;
        uint32_t columns, rows;
    };
    const Case cases[] = {
        {40, 30, 1, 1, 128, 96},        // 4:3
        {40, 30, 2, 2, 170, 384},       // 256 x 384 before the limit
        {30, 30, 1, 0.046875f, 6, 6},   // a small square grid
        {3000, 30, 1, 1, 128, 4},       // 100:1: one row, made 4
        {1, 3000, 1, 1, 4, 16384},      // 1:3000: the limit leaves no columns
        {40, 30, 1, 0, 4, 4},           // no columns at all
        {40, 30, 1e9f, 1e9f, 4, 16384}, // factors beyond any grid
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.rowsFactor << ", " << c.columnsFactor);
        DS_RippleMesh mesh;
        mesh.Resize(c.width, c.height, c.rowsFactor, c.columnsFactor);
        EXPECT_EQ(mesh.columns, c.columns);
        EXPECT_EQ(mesh.rows, c.rows);
        EXPECT_EQ(mesh.cellCount, c.columns * c.rows);
        EXPECT_EQ(mesh.vertexCount, mesh.cellCount);
        EXPECT_EQ(mesh.indexCount, 2 * mesh.cellCount);
        EXPECT_EQ(mesh.grid.size(), mesh.cellCount);
        EXPECT_FLOAT_EQ(mesh.inverseWidth, 1.0f / c.width);
        EXPECT_FALSE(mesh.vertexBuffer) << "no device, no buffers";
    }
    DS_RippleMesh mesh;
    mesh.Resize(40, 30, 1, 1);
    EXPECT_EQ(mesh.indexCount - 2, 24574u) << "strip primitives";
}

// The strip winds around the grid in rings from the rim inward; on a 4 x 4
// grid: right along row 0, down column 3, left along row 3, up column 0,
// then the inner ring.
TEST(RippleMesh, StripRingsFromTheRimInward) {
    DS_RippleMesh mesh;
    mesh.Resize(40, 40, 1, 0.03125f);
    ASSERT_EQ(mesh.columns, 4u);
    ASSERT_EQ(mesh.rows, 4u);
    const std::vector<WORD> expected = {0, 4, 1, 5, 2,  6,  3,  7,  7, 6, 11, 10, 15, 14, 14, 10,
                                        13, 9, 12, 8, 8, 9, 4, 5, 5, 9, 6, 10, 10, 9, 9, 5};
    EXPECT_EQ(mesh.StripIndices(), expected);

    // The default grid: exactly index count indices, every vertex reached.
    mesh.Resize(40, 30, 1, 1);
    const std::vector<WORD> strip = mesh.StripIndices();
    ASSERT_EQ(strip.size(), 24576u);
    std::vector<bool> seen(mesh.vertexCount, false);
    for (WORD i : strip) {
        ASSERT_LT(i, mesh.vertexCount);
        seen[i] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
}

// The first two draws of the sequence are 41 and 18467: on an 8 x 6 grid
// column 41 % 6 + 1 = 6, row 18467 % 4 + 1 = 4.  The cell loses s / 4, its
// edge neighbours s / 8, its diagonal neighbours s / 16.
TEST(RippleMesh, DropsFromTheRuntimeSequence) {
    crt::ResetRandForTests();
    DS_RippleMesh mesh;
    mesh.Resize(40, 30, 1, 0.0625f);
    ASSERT_EQ(mesh.columns, 8u);
    ASSERT_EQ(mesh.rows, 6u);
    mesh.dropStrength = 0.5f;
    mesh.AddDrop();
    for (uint32_t r = 0; r < mesh.rows; ++r)
        for (uint32_t c = 0; c < mesh.columns; ++c) {
            const int dc = std::abs(static_cast<int>(c) - 6), dr = std::abs(static_cast<int>(r) - 4);
            float expected = 0.0f;
            if (dc <= 1 && dr <= 1) expected = dc + dr == 0 ? -0.125f : dc + dr == 1 ? -0.0625f : -0.03125f;
            EXPECT_EQ(mesh.At(c, r).velocity, expected) << c << ", " << r;
            EXPECT_EQ(mesh.At(c, r).height, 0.0f);
        }
    // The next draws, 6334 and 26500: column 5, row 1.
    mesh.AddDrop();
    EXPECT_EQ(mesh.At(5, 1).velocity, -0.125f);
    EXPECT_EQ(mesh.At(4, 0).velocity, -0.03125f);

    // On the smallest grid every footprint stays inside (the sanitizer
    // would see a write outside) and no centre is a rim cell.
    crt::ResetRandForTests();
    mesh.Resize(40, 40, 1, 0.03125f);
    for (int i = 0; i < 200; ++i) {
        mesh.grid.assign(mesh.cellCount, DS_RippleMesh::Cell{0.0f, 0.0f});
        mesh.AddDrop();
        EXPECT_TRUE(mesh.At(1, 1).velocity == -0.125f || mesh.At(2, 1).velocity == -0.125f ||
                    mesh.At(1, 2).velocity == -0.125f || mesh.At(2, 2).velocity == -0.125f);
    }
    crt::ResetRandForTests();
}

// A 6 x 6 grid at rest with velocity -1 at (2, 2), damping 0.99, gain 1.
// Sub-step 1: (2, 2) velocity -0.99, sum -0.99, mean -0.0275; every height
// then rises by 0.0275 and (2, 2) ends at -0.9625.
// Sub-step 2: cell (1, 1) reads row 0 and (0, 1) already held at 0 but
// (0, 2), not reached yet, at 0.0275: A = (0.0275 - 0.9625) / 12 +
// (0.0275 + 0.0275) / 6 = -0.06875, velocity (A - 0.0275) / 4 = -0.0240625.
// (2, 2): A = 8 x 0.0275 / 12 ... = 0.0275, velocity -0.99 x 0.99 +
// (0.0275 + 0.9625) / 4 = -0.7326.
TEST(RippleMesh, SubStepsByHand) {
    DS_RippleMesh mesh;
    mesh.Resize(30, 30, 1, 0.046875f);
    ASSERT_EQ(mesh.columns, 6u);
    ASSERT_EQ(mesh.rows, 6u);
    mesh.At(2, 2).velocity = -1.0f;
    mesh.SubStep();
    EXPECT_NEAR(mesh.mean, -0.0275f, 1e-7f);
    EXPECT_NEAR(mesh.At(2, 2).velocity, -0.99f, 1e-7f);
    EXPECT_NEAR(mesh.At(2, 2).height, -0.9625f, 1e-6f);
    for (uint32_t r = 0; r < 6; ++r)
        for (uint32_t c = 0; c < 6; ++c)
            if (c != 2 || r != 2) {
                EXPECT_NEAR(mesh.At(c, r).height, 0.0275f, 1e-7f) << c << ", " << r;
            }

    mesh.SubStep();
    EXPECT_NEAR(mesh.At(1, 1).velocity, -0.0240625f, 1e-7f);
    EXPECT_NEAR(mesh.At(2, 2).velocity, -0.7326f, 1e-6f);
    // The rim was held at 0 and moved by the mean level only.
    for (uint32_t r = 0; r < 6; ++r)
        for (uint32_t c = 0; c < 6; ++c) {
            if (c != 0 && r != 0 && c != 5 && r != 5) continue;
            EXPECT_EQ(mesh.At(c, r).velocity, 0.0f) << c << ", " << r;
            EXPECT_EQ(mesh.At(c, r).height, -mesh.mean) << c << ", " << r;
        }
    // The mean: the interior's heights before the correction plus their new
    // velocities, over all 36 cells; with gain 1 that is each interior
    // height after the correction plus the mean.
    float sum = 0.0f;
    for (uint32_t r = 1; r < 5; ++r)
        for (uint32_t c = 1; c < 5; ++c) sum += mesh.At(c, r).height + mesh.mean;
    EXPECT_NEAR(sum / 36.0f, mesh.mean, 1e-6f);

    // Four sub-steps a frame: the ring has reached the rim's neighbours.
    mesh.Simulate();
    EXPECT_NE(mesh.At(4, 4).velocity, 0.0f);
}

// The reference of one vertex at rest, in double precision from the
// formulas: normal (0, 1, 0), the table entry at round(255 cos), the ray bent
// by it to the sphere of radius 35 about (0, -20, 0), scaled by the depth.
void ReferenceUv(double x, double z, double w, double h, double depth, double* u, double* v, int* index) {
    const double ex = -x, ey = 120.0, ez = -z;
    const double len = std::sqrt(ex * ex + ey * ey + ez * ez);
    const double k = ey / len;
    *index = static_cast<int>(std::lround(255.0 * k));
    const double a = *index / 256.0, b = std::sqrt(1.0 - a * a), c = b / 1.333;
    const double offset = 1.333 * std::sqrt(1.0 - c * c) - a, scale = -1.0 / 1.333;
    const double dx = scale * (ex / len), dy = scale * (offset + ey / len), dz = scale * (ez / len);
    const double qx = x, qy = -20.0, qz = z;
    const double p = 2.0 * (dx * qx + dy * qy + dz * qz), q = qx * qx + qy * qy + qz * qz - 1225.0;
    const double t = (std::sqrt(p * p - 4.0 * q) - p) * 0.5 * depth;
    *u = (1.0 - 0.05 * depth) * (x + dx * t) / w + 0.5;
    *v = (1.0 - 0.05 * depth) * (z + dz * t) / h + 0.5;
}

// A surface at rest (40 x 30, depth 0.2, eye 120 above the centre): normals
// straight up, the corner's picture coordinate bent just inside the
// picture (about 0.00263), every vertex as the reference gives it.
TEST(RippleMesh, VerticesOfASurfaceAtRest) {
    DS_RippleMesh mesh;
    mesh.BuildRefractionTable();
    mesh.Resize(40, 30, 1, 1);
    std::vector<DS_RippleMesh::Vertex> v(mesh.vertexCount);
    mesh.WriteVertices(D3DXVECTOR3(0, 120, 0), v.data());
    EXPECT_FLOAT_EQ(v[0].x, -20.0f);
    EXPECT_FLOAT_EQ(v[0].z, -15.0f);
    EXPECT_NEAR(v.back().x, 20.0f, 1e-4f);
    EXPECT_NEAR(v.back().z, 15.0f, 1e-4f);
    EXPECT_NEAR(v[0].u, 0.00263f, 5e-5f);
    EXPECT_NEAR(v[0].v, 0.00263f, 5e-5f);
    for (size_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(v[i].nx, 0.0f);
        ASSERT_EQ(v[i].ny, 1.0f);
        ASSERT_EQ(v[i].nz, 0.0f);
        ASSERT_EQ(v[i].y, 0.0f);
    }
    for (size_t i : {size_t{0}, size_t{127}, size_t{48 * 128 + 64}, size_t{95 * 128 + 3}, v.size() - 1}) {
        SCOPED_TRACE(i);
        double u = 0, vv = 0;
        int index = 0;
        ReferenceUv(v[i].x, v[i].z, 40, 30, 0.2, &u, &vv, &index);
        EXPECT_NEAR(v[i].u, u, 2e-5);
        EXPECT_NEAR(v[i].v, vv, 2e-5);
        EXPECT_EQ(v[i].color, mesh.table[index].color);
    }
}

// The vertex colour comes from the entry at 255 x cosine rounded to the
// nearest index.  A surface at rest (normals straight up) seen from an eye
// beside its first vertex (-20, 0, -15): the cosine is the eye's height over
// its distance.  Alpha = bits 16..23 of (255 - index)^3.
TEST(RippleMesh, TheColourComesFromTheRoundedCosine) {
    DS_RippleMesh mesh;
    mesh.BuildRefractionTable();
    mesh.Resize(40, 30, 1, 1);
    struct Case {
        float dx, dy;  // the eye's offset from the vertex (along x, up)
        D3DCOLOR color;
    } cases[] = {
        // 2 / sqrt(29) = 0.37139: 255 x = 94.705 -> 95, 160^3 = 0x3E8000
        // (truncated, 94 would give 161^3 = 0x3FADE1).
        {5, 2, 0x3E000000u},
        // 1 / sqrt(17) = 0.24254: 61.847 -> 62, 193^3 = 0x6DB241 (61: 0x6F6908).
        {4, 1, 0x6D000000u},
        // 3 / sqrt(34) = 0.51450: 131.196 -> 131, 124^3 = 0x1D17C0 (132: 0x1C6503).
        {5, 3, 0x1D000000u},
        // An eye below the surface: a negative cosine reads a copy of entry 0.
        {5, -3, 0xFD000000u},
    };
    std::vector<DS_RippleMesh::Vertex> v(mesh.vertexCount);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy);
        mesh.WriteVertices(D3DXVECTOR3(-20.0f + c.dx, c.dy, -15.0f), v.data());
        ASSERT_EQ(v[0].x, -20.0f);
        ASSERT_EQ(v[0].z, -15.0f);
        EXPECT_EQ(v[0].color, c.color);
    }
}

// A surface wider than about 2.55:1: rays from its far corners miss the
// sphere; the discriminant is held at 0, so no coordinate is NaN.
TEST(RippleMesh, WideSurfacesGiveNoNaN) {
    DS_RippleMesh mesh;
    mesh.BuildRefractionTable();
    mesh.Resize(100, 30, 1, 1);
    std::vector<DS_RippleMesh::Vertex> v(mesh.vertexCount);
    mesh.WriteVertices(D3DXVECTOR3(0, 120, 0), v.data());
    for (const auto& x : v) {
        ASSERT_TRUE(std::isfinite(x.u) && std::isfinite(x.v)) << x.x << ", " << x.z;
    }
    // The corner is among the rays that miss: its coordinates are the
    // nearest approach, still about the picture's edge.
    EXPECT_NEAR(v[0].u, 0.0f, 0.05f);
}

}  // namespace
