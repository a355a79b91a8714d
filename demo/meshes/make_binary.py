#!/usr/bin/env python3
"""Writes cube_bin.x: the same cube as cube.x in the binary .x encoding
(32-bit floats).  Run from this folder: python3 make_binary.py"""
import struct

NAME, STRING, INTEGER, GUID, INT_LIST, FLOAT_LIST = 1, 2, 3, 5, 6, 7
OBRACE, CBRACE, SEMICOLON, TEMPLATE, FLOAT = 10, 11, 20, 31, 42

out = bytearray(b"xof 0303bin 0032")

def tok(t): out.extend(struct.pack("<H", t))
def name(s): tok(NAME); out.extend(struct.pack("<I", len(s))); out.extend(s.encode())
def string(s): tok(STRING); out.extend(struct.pack("<I", len(s))); out.extend(s.encode()); tok(SEMICOLON)
def ints(*v): tok(INT_LIST); out.extend(struct.pack("<I", len(v))); out.extend(struct.pack("<%dI" % len(v), *v))
def floats(*v): tok(FLOAT_LIST); out.extend(struct.pack("<I", len(v))); out.extend(struct.pack("<%df" % len(v), *v))
def guid(): tok(GUID); out.extend(bytes(16))

# A template declaration, which readers skip.
tok(TEMPLATE); name("Vector"); tok(OBRACE); guid()
for m in "xyz": tok(FLOAT); name(m); tok(SEMICOLON)
tok(CBRACE)

name("Material"); name("Painted"); tok(OBRACE)
floats(0.8, 0.6, 0.2, 1.0, 8.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0)
tok(CBRACE)

name("Frame"); name("Root"); tok(OBRACE)
name("FrameTransformMatrix"); tok(OBRACE)
floats(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)
tok(CBRACE)

name("Mesh"); name("Cube"); tok(OBRACE)
ints(8)
floats(-1, -1, -1, -1, 1, -1, 1, 1, -1, 1, -1, -1,
       -1, -1, 1, -1, 1, 1, 1, 1, 1, 1, -1, 1)
faces = [(0, 1, 2, 3), (7, 6, 5, 4), (4, 5, 1, 0), (3, 2, 6, 7), (1, 5, 6, 2), (4, 0, 3, 7)]
ints(6, *[x for f in faces for x in (4,) + f])

name("MeshNormals"); tok(OBRACE)
ints(6)
floats(0, 0, -1, 0, 0, 1, -1, 0, 0, 1, 0, 0, 0, 1, 0, 0, -1, 0)
ints(6, *[x for n in range(6) for x in (4, n, n, n, n)])
tok(CBRACE)

name("MeshTextureCoords"); tok(OBRACE)
ints(8)
floats(0, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1)
tok(CBRACE)

name("MeshMaterialList"); tok(OBRACE)
ints(2, 6, 0, 0, 0, 0, 1, 1)
tok(OBRACE); name("Painted"); tok(CBRACE)
name("Material"); tok(OBRACE)
floats(1, 1, 1, 1, 16, 0.5, 0.5, 0.5, 0, 0, 0)
name("TextureFilename"); tok(OBRACE); string("cube.png"); tok(CBRACE)
tok(CBRACE)
tok(CBRACE)  # MeshMaterialList

tok(CBRACE)  # Mesh
tok(CBRACE)  # Frame

open("cube_bin.x", "wb").write(out)
