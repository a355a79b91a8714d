#!/usr/bin/env python3
"""Writes the text .x meshes of the 3D objects into this folder:

  butterfly_body.x  a body of revolution: head along +Z, back along -Y
  butterfly_wing.x  one wing in the XZ plane, root on the Z axis, spread along +X
  clock.x           a flat square in XZ spanning +-50, +Z at 12 o'clock
  leaf.x            a leaf, slightly bent, in the XY plane

Each file holds one top-level mesh with texture coordinates.  The body is drawn
from one side only: the saver's 2D view has y growing downwards, which mirrors
the screen, so a face shows when its vertices turn clockwise on screen there.
Seen from outside, every body face therefore turns counter-clockwise in the
mesh's own (left-handed) space: the right-hand normal of each face points
into the body.  The flat meshes are drawn from both sides.

Run it again after changing a shape: python3 demo/meshes/make_objects.py
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def write_mesh(name, comment, positions, uvs, faces):
    lines = ["xof 0303txt 0032", "// " + comment, "", "Mesh %s {" % name.replace(".x", "").title().replace("_", ""),
             " %d;" % len(positions)]
    for i, p in enumerate(positions):
        end = ";" if i == len(positions) - 1 else ","
        lines.append(" %.6f;%.6f;%.6f;%s" % (p[0], p[1], p[2], end))
    lines.append(" %d;" % len(faces))
    for i, f in enumerate(faces):
        end = ";" if i == len(faces) - 1 else ","
        lines.append(" 3;%d,%d,%d;%s" % (f[0], f[1], f[2], end))
    lines += ["", " MeshTextureCoords {", "  %d;" % len(uvs)]
    for i, t in enumerate(uvs):
        end = ";" if i == len(uvs) - 1 else ","
        lines.append("  %.6f;%.6f;%s" % (t[0], t[1], end))
    lines += [" }", "}", ""]
    with open(os.path.join(HERE, name), "w") as out:
        out.write("\n".join(lines))


def body():
    # (z, radius) from the tail to the head: abdomen, waist, thorax, neck, head.
    profile = [(-34, 0.0), (-32, 1.6), (-28, 2.6), (-20, 3.4), (-10, 3.6), (-3, 3.0), (-1, 2.2), (1, 3.4),
               (6, 4.4), (11, 4.2), (14, 3.0), (15.5, 2.2), (17, 3.4), (20, 3.8), (23, 3.0), (25, 1.6), (26, 0.0)]
    segments = 12
    z0, z1 = profile[0][0], profile[-1][0]
    positions, uvs = [], []
    for z, r in profile:
        for j in range(segments + 1):
            a = 2 * math.pi * j / segments
            # Angle 0 on the back (-Y), so the back is the middle of the picture.
            positions.append((r * math.sin(a), -r * math.cos(a), z))
            uvs.append((j / segments, (z1 - z) / (z1 - z0)))
    faces = []
    for i in range(len(profile) - 1):
        for j in range(segments):
            a = i * (segments + 1) + j
            b, c, d = a + 1, a + segments + 1, a + segments + 2
            for tri in ((a, b, c), (b, d, c)):
                p = [positions[k] for k in tri]
                n = cross(sub(p[1], p[0]), sub(p[2], p[0]))
                if dot(n, n) < 1e-12:
                    continue  # at a pole
                centroid = tuple(sum(q[k] for q in p) / 3 for k in range(3))
                outward = (centroid[0], centroid[1], 0.0)
                if dot(n, outward) > 0:
                    tri = (tri[0], tri[2], tri[1])
                faces.append(tri)
    write_mesh("butterfly_body.x", "Butterfly body: head along +Z, back along -Y; faces wound for the y-down view.",
               positions, uvs, faces)


def grid(name, comment, xs, zs, to_position, to_uv):
    positions, uvs = [], []
    for z in zs:
        for x in xs:
            positions.append(to_position(x, z))
            uvs.append(to_uv(x, z))
    faces = []
    w = len(xs)
    for i in range(len(zs) - 1):
        for j in range(w - 1):
            a = i * w + j
            faces += [(a, a + 1, a + w), (a + 1, a + w + 1, a + w)]
    write_mesh(name, comment, positions, uvs, faces)


def steps(lo, hi, n):
    return [lo + (hi - lo) * k / n for k in range(n + 1)]


def main():
    body()
    # The wing: 72 long, 80 deep, the fore part toward the head (+Z) at the
    # top of the picture (v = 0); a slight droop toward the tip.
    grid("butterfly_wing.x", "Butterfly wing: root on the Z axis, spread along +X in the XZ plane.",
         steps(0, 72, 4), steps(-40, 40, 4), lambda x, z: (x, 0.0004 * x * x, z),
         lambda x, z: (x / 72, (40 - z) / 80))
    grid("clock.x", "Clock: a flat square in XZ spanning +-50, +Z at 12 o'clock, v = (50 - z) / 100.",
         steps(-50, 50, 1), steps(-50, 50, 1), lambda x, z: (x, 0.0, z),
         lambda x, z: ((x + 50) / 100, (50 - z) / 100))
    # The leaf: 40 long (x), 24 wide (y), bent along its length.
    grid("leaf.x", "Leaf: 40 long along X, 24 wide along Y, bent about its midrib.",
         steps(-20, 20, 4), steps(-12, 12, 2), lambda x, y: (x, y, 0.012 * y * y - 0.004 * x * x),
         lambda x, y: ((x + 20) / 40, (12 - y) / 24))


if __name__ == "__main__":
    main()
