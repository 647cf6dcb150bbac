#!/usr/bin/env python3
"""Writes the small seed files of the fuzz corpora (fuzz/corpus/lwo, fuzz/corpus/bmp)."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def write(kind, name, data):
    os.makedirs(os.path.join(here, "corpus", kind), exist_ok=True)
    with open(os.path.join(here, "corpus", kind, name), "wb") as f:
        f.write(data)


def chunk(cid, data):
    return cid + struct.pack(">I", len(data)) + data


def points(pts):
    return chunk(b"PNTS", b"".join(struct.pack(">3f", *p) for p in pts))


def polygons(polys):
    return chunk(b"POLS", b"".join(struct.pack(">H", len(p)) + struct.pack(">%dH" % len(p), *p)
                                   + struct.pack(">H", 1) for p in polys))


def form(chunks, size=None):
    body = b"".join(chunks)
    return b"FORM" + struct.pack(">I", len(body) + 4 if size is None else size) + b"LWOB" + body


tetra_pts = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)]
tetra = [(0, 2, 1), (0, 1, 3), (1, 2, 3), (0, 3, 2)]
cube_pts = [(-1, -1, -1), (1, -1, -1), (1, 1, -1), (-1, 1, -1),
            (-1, -1, 1), (1, -1, 1), (1, 1, 1), (-1, 1, 1)]
cube = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (2, 3, 7, 6), (1, 2, 6, 5), (0, 4, 7, 3)]
surf = chunk(b"SURF", b"Glass\0COLR\0\x04\x80\x80\xff\0")

write("lwo", "tetra.lwo", form([points(tetra_pts), polygons(tetra)]))
write("lwo", "cube_surfaces.lwo",
      form([points(cube_pts), chunk(b"SRFS", b"Glass\0"), polygons(cube[:3] + [(3, 4), (6,)] + cube[3:]), surf]))
write("lwo", "empty.lwo", form([]))
write("lwo", "two_polygon_chunks.lwo", form([points([]), points(tetra_pts), polygons([(0,), (1, 2)]), polygons(tetra)]))
write("lwo", "open_triangle.lwo", form([points(tetra_pts[:3]), polygons([(0, 1, 2)])]))
write("lwo", "form_ends_early.lwo", form([points(tetra_pts), polygons(tetra)], size=4 + 8 + 48))
write("lwo", "fin.lwo", form([points(tetra_pts + [(0, -1, 0)]), polygons(tetra + [(0, 1, 4)])]))


def bmp(width, height, bpp, info_size=40, palette=0, compression=0):
    rows = abs(height)
    row_bytes = (width * bpp // 8 + 3) & ~3
    offset = 14 + info_size + 4 * palette
    pixels = bytearray()
    for r in range(rows):
        row = bytes((x * 7 + r * 31 + c * 101 + 1) & 0xFF for x in range(width) for c in range(bpp // 8))
        pixels += row + b"\xee" * (row_bytes - len(row))
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bpp, compression,
                       len(pixels), 2835, 2835, palette, 0)
    info += b"\0" * (info_size - len(info))
    table = b"".join(struct.pack("<I", 0xFF000000 | i * 0x010101) for i in range(palette))
    header = b"BM" + struct.pack("<IIII", offset + len(pixels), 0, offset, 0)[:12]
    return header + info + table + bytes(pixels)


write("bmp", "rgb_5x3.bmp", bmp(5, 3, 24))
write("bmp", "grey_6x4_palette.bmp", bmp(6, 4, 8, palette=16))
write("bmp", "rgba_top_down.bmp", bmp(3, -2, 32))
write("bmp", "v5_header.bmp", bmp(2, 2, 24, info_size=124))
write("bmp", "one_pixel.bmp", bmp(1, 1, 8))
write("bmp", "rle8.bmp", bmp(2, 2, 8, compression=1))
