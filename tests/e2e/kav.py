"""Rewrites the viewer's data files for the tests: a whole city scaled and moved, so that
the same scene can stand for a table-top model or for a region kilometres wide."""

import os
import struct

VERTEX = 72  # bytes per vertex record: 9 doubles, the position first
VOLUME_HEADER = 4 + 2 * VERTEX + 4
SURFACE_HEADER = 4 + 2 * VERTEX + 8
BLOCK_HEADER = 6 * 8 + 4
TETRA = 16
TRIANGLE = 36


def _move_vertex(data, at, scale, offset):
    x, y, z = struct.unpack_from("<3d", data, at)
    struct.pack_into("<3d", data, at, x * scale + offset[0], y * scale + offset[1],
                     z * scale + offset[2])


def _move_vertices(data, at, count, scale, offset):
    for i in range(count):
        _move_vertex(data, at + i * VERTEX, scale, offset)


def _move_volume(data, scale, offset):
    _move_vertices(data, 4, 2, scale, offset)  # the header's minimum and maximum
    (count,) = struct.unpack_from("<I", data, 4 + 2 * VERTEX)
    _move_vertices(data, VOLUME_HEADER, count, scale, offset)
    at = VOLUME_HEADER + count * VERTEX
    while at < len(data):
        box = struct.unpack_from("<6d", data, at)  # min x, max x, min y, max y, min z, max z
        struct.pack_into("<6d", data, at, *(b * scale + offset[i // 2] for i, b in enumerate(box)))
        (tetra,) = struct.unpack_from("<I", data, at + 48)
        at += BLOCK_HEADER + tetra * TETRA


def _move_surface(data, scale, offset):
    _move_vertices(data, 4, 2, scale, offset)
    points, _ = struct.unpack_from("<2I", data, 4 + 2 * VERTEX)
    _move_vertices(data, SURFACE_HEADER, points, scale, offset)


def scaled_city(source, target, scale, offset):
    """Copies the five data files of `source` into `target` with every position p turned
    into p * scale + offset (the flow values stay)."""
    os.makedirs(target, exist_ok=True)
    names = ["volume.kav"] + ["surface-%d.kav" % i for i in range(1, 5)]
    for name in names:
        with open(os.path.join(source, name), "rb") as f:
            data = bytearray(f.read())
        (_move_volume if name == "volume.kav" else _move_surface)(data, scale, offset)
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)
    return target
