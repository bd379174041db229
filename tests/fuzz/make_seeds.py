#!/usr/bin/env python3
"""Writes the seed corpus of the two fuzz targets.

    make_seeds.py OUTDIR [--citygen PATH]

OUTDIR/volume and OUTDIR/surface receive hand-made edge files: empty and cut-off files,
counts of 0 and of 0xFFFFFFFF, indices at and past the end, NaN and infinite values, empty
blocks and blocks whose count runs past the end. tests/fuzz/corpus holds the output of a run
without --citygen. With --citygen, the demo generator's smallest city is added as well, in
full and cut down to a few hundred tetrahedra and triangles that keep their real geometry
(inputs of a few KB, which the fuzzer runs far faster than the full files).
"""

import argparse
import math
import os
import struct
import subprocess
import tempfile

NAN = float("nan")
INF = float("inf")
HUGE = 0xFFFFFFFF


def vertex(x, y, z, density=1.0, energy=2.0, m=(0.0, 0.0, 0.0)):
    mag = math.sqrt(sum(c * c for c in m)) if all(math.isfinite(c) for c in m) else NAN
    return struct.pack("<9d", x, y, z, density, energy, *m, mag)


def header(lo=(0, 0, 0), hi=(1, 1, 1)):
    return b"SKAV" + vertex(*lo, 0.0, 0.0) + vertex(*hi, 2.0, 4.0, (1.0, 1.0, 1.0))


def unit_tetra(scale=1.0, values=None, momentum=(1.0, 0.0, 0.0)):
    corners = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)]
    values = values or [1.0, 1.5, 2.0, 2.5]
    return [vertex(*(scale * c for c in p), v, 2 * v, momentum) for p, v in zip(corners, values)]


def volume(vertices, blocks, count=None):
    """A volume file; `blocks` are (box, indices, stated count or None) triples."""
    out = header() + struct.pack("<I", len(vertices) if count is None else count)
    out += b"".join(vertices)
    for box, indices, stated in blocks:
        out += struct.pack("<6d", *box)
        out += struct.pack("<I", len(indices) // 4 if stated is None else stated)
        out += struct.pack("<%dI" % len(indices), *indices)
    return out


def surface(vertices, tris, counts=None):
    """A surface file; `tris` are (indices, normal) pairs."""
    counts = counts or (len(vertices), len(tris))
    out = header() + struct.pack("<II", *counts) + b"".join(vertices)
    for idx, normal in tris:
        out += struct.pack("<3I3d", *idx, *normal)
    return out


UNIT_BOX = (0, 1, 0, 1, 0, 1)


def volume_edges():
    tetra = unit_tetra()
    good = volume(tetra, [(UNIT_BOX, [0, 1, 2, 3], None)])
    yield "empty", b""
    yield "magic-cut", b"SKA"
    yield "magic-only", b"SKAV"
    yield "header-cut", header()[:100]
    yield "no-count", header()
    yield "zero-vertices", volume([], [])
    yield "huge-vertex-count", volume([], [], count=HUGE)
    yield "vertex-count-past-end", volume(tetra, [], count=5)
    yield "vertices-no-blocks", volume(tetra, [])
    yield "one-tetra", good
    yield "cut-in-block-header", good[:-30]
    yield "cut-in-tetra", good[:-3]
    yield "empty-block", volume(tetra, [(UNIT_BOX, [], None)])
    yield "empty-blocks-many", volume(tetra, [(UNIT_BOX, [], None)] * 64)
    yield "huge-tetra-count", volume(tetra, [(UNIT_BOX, [0, 1, 2, 3], HUGE)])
    yield "tetra-count-past-end", volume(tetra, [(UNIT_BOX, [0, 1, 2, 3], 2)])
    yield "index-at-end", volume(tetra, [(UNIT_BOX, [0, 1, 2, 4], None)])
    yield "index-max", volume(tetra, [(UNIT_BOX, [HUGE, 1, 2, 3], None)])
    yield "index-last", volume(tetra, [(UNIT_BOX, [3, 2, 1, 0], None)])
    yield "nan-values", volume(unit_tetra(values=[NAN] * 4, momentum=(NAN, 0, 0)),
                               [(UNIT_BOX, [0, 1, 2, 3], None)])
    yield "inf-values", volume(unit_tetra(values=[INF, -INF, 1, 2], momentum=(INF, 0, 0)),
                               [(UNIT_BOX, [0, 1, 2, 3], None)])
    yield "nan-points", volume(unit_tetra(scale=NAN), [(UNIT_BOX, [0, 1, 2, 3], None)])
    yield "inf-points", volume(unit_tetra(scale=INF), [(UNIT_BOX, [0, 1, 2, 3], None)])
    yield "nan-box", volume(tetra, [((NAN,) * 6, [0, 1, 2, 3], None)])
    yield "inverted-box", volume(tetra, [((1, 0, 1, 0, 1, 0), [0, 1, 2, 3], None)])
    yield "degenerate-tetra", volume(tetra, [(UNIT_BOX, [0, 1, 2, 2, 0, 0, 0, 0], None)])
    yield "huge-coordinates", volume(unit_tetra(scale=1e300), [((0, 1e300) * 3, [0, 1, 2, 3],
                                                                None)])
    far = tetra + [vertex(1e6 + x, 1e6 + y, z) for x, y, z in
                   [(0, 0, 0), (1e-3, 0, 0), (0, 1e-3, 0), (0, 0, 1e-3)]]
    yield "far-apart-tetra", volume(far, [((0, 2e6) * 3, [0, 1, 2, 3, 4, 5, 6, 7], None)])


def surface_edges():
    pts = unit_tetra()
    tri = ([0, 1, 2], (0.0, 0.0, 1.0))
    good = surface(pts, [tri])
    yield "empty", b""
    yield "magic-cut", b"SKA"
    yield "magic-only", b"SKAV"
    yield "header-cut", header()[:100]
    yield "no-counts", header()
    yield "zero-counts", surface([], [])
    yield "huge-point-count", surface([], [], counts=(HUGE, 0))
    yield "huge-triangle-count", surface(pts, [], counts=(4, HUGE))
    yield "huge-both-counts", surface([], [], counts=(HUGE, HUGE))
    yield "points-no-triangles", surface(pts, [])
    yield "triangles-no-points", surface([], [tri])
    yield "one-triangle", good
    yield "cut-in-points", good[:200]
    yield "cut-in-triangle", good[:-5]
    yield "index-at-end", surface(pts, [([0, 1, 4], (0, 0, 1))])
    yield "index-max", surface(pts, [([HUGE, 1, 2], (0, 0, 1))])
    yield "index-last", surface(pts, [([3, 2, 1], (0, 0, 1))])
    yield "nan-values", surface(unit_tetra(values=[NAN] * 4), [([0, 1, 2], (NAN, NAN, NAN))])
    yield "inf-values", surface(unit_tetra(scale=INF, values=[INF] * 4), [([0, 1, 2],
                                                                          (INF, 0, 0))])


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + ".kav"), "wb") as out:
        out.write(data)


def cut_volume(data, tetra_count, blocks):
    """The city volume cut down to its first tetrahedra, spread over several blocks with
    boxes around their own tetrahedra and only the vertices they use."""
    n = struct.unpack_from("<I", data, 148)[0]
    first_block = 152 + 72 * n
    count = struct.unpack_from("<I", data, first_block + 48)[0]
    tetra_count = min(tetra_count, count)
    indices = struct.unpack_from("<%dI" % (4 * tetra_count), data, first_block + 52)
    used = sorted(set(indices))
    renumber = {old: new for new, old in enumerate(used)}
    vertices = [data[152 + 72 * i:152 + 72 * (i + 1)] for i in used]
    out = data[:148] + struct.pack("<I", len(used)) + b"".join(vertices)
    per_block = (tetra_count + blocks - 1) // blocks
    for first in range(0, tetra_count, per_block):
        block = indices[4 * first:4 * min(first + per_block, tetra_count)]
        points = [struct.unpack_from("<3d", data, 152 + 72 * i) for i in block]
        box = []
        for a in range(3):
            lo, hi = min(p[a] for p in points), max(p[a] for p in points)
            box += [lo - 1e-6, hi]  # the box is open at its lower end
        out += struct.pack("<6dI", *box, len(block) // 4)
        out += struct.pack("<%dI" % len(block), *(renumber[i] for i in block))
    return out


def cut_surface(data, tri_count):
    """The surface cut down to its first triangles and the vertices they use."""
    n_points, n_tris = struct.unpack_from("<II", data, 148)
    tri_count = min(tri_count, n_tris)
    first_tri = 156 + 72 * n_points
    tris = [struct.unpack_from("<3I3d", data, first_tri + 36 * t) for t in range(tri_count)]
    used = sorted({i for t in tris for i in t[:3]})
    renumber = {old: new for new, old in enumerate(used)}
    out = data[:148] + struct.pack("<II", len(used), tri_count)
    out += b"".join(data[156 + 72 * i:156 + 72 * (i + 1)] for i in used)
    for t in tris:
        out += struct.pack("<3I3d", *(renumber[i] for i in t[:3]), *t[3:])
    return out


def city_seeds(citygen, outdir):
    with tempfile.TemporaryDirectory() as city:
        subprocess.run([citygen, city, "--small"], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(city, "volume.kav"), "rb") as f:
            data = f.read()
        write(os.path.join(outdir, "volume"), "city", data)
        write(os.path.join(outdir, "volume"), "city-cut-64", cut_volume(data, 64, 1))
        write(os.path.join(outdir, "volume"), "city-cut-400", cut_volume(data, 400, 5))
        for i in range(1, 5):
            with open(os.path.join(city, "surface-%d.kav" % i), "rb") as f:
                data = f.read()
            write(os.path.join(outdir, "surface"), "city-%d" % i, data)
            write(os.path.join(outdir, "surface"), "city-%d-cut-200" % i, cut_surface(data, 200))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--citygen", help="path of the citygen program")
    args = parser.parse_args()
    for name, data in volume_edges():
        write(os.path.join(args.outdir, "volume"), name, data)
    for name, data in surface_edges():
        write(os.path.join(args.outdir, "surface"), name, data)
    if args.citygen:
        city_seeds(args.citygen, args.outdir)


if __name__ == "__main__":
    main()
