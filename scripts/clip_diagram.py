#!/usr/bin/env python3
"""Writes docs/clipper.svg: how a view's window is cut by an object's outline.

The cut is the renderer's own: the window's convex polygons are split by each
outline edge in turn (every edge stands for the half-plane on its right); what
lies left of an edge leaves as a convex piece of the uncovered part, what is
right of every edge is the covered part. Usage: clip_diagram.py OUTPUT.svg
"""
import sys

# Window coordinates, y up, clockwise (interior on the right of every edge).
WINDOW = [(-1.6, 0.9), (1.2, 1.0), (1.4, -0.9), (-1.3, -1.0)]
OUTLINE = [(-0.3, 1.3), (0.7, 1.1), (1.2, 0.1), (0.9, -0.7), (-0.1, -0.9), (-0.6, 0.2)]

PIECE_COLOURS = ["#f4a261", "#e9c46a", "#8ab17d", "#6fb7d6", "#b392ce", "#e07a9b"]


def side(edge, point):
    (fx, fy), (tx, ty) = edge
    # >= 0: on the edge's right (inside its half-plane), as the clipper decides.
    return (ty - fy) * (point[0] - fx) - (tx - fx) * (point[1] - fy)


def split(polygon, edge):
    """The parts of a convex polygon right of the edge and left of it."""
    inside, outside = [], []
    for i, p in enumerate(polygon):
        q = polygon[(i + 1) % len(polygon)]
        sp, sq = side(edge, p), side(edge, q)
        (inside if sp >= 0 else outside).append(p)
        if (sp >= 0) != (sq >= 0):
            t = sp / (sp - sq)
            x = (p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]))
            inside.append(x)
            outside.append(x)
    return inside, outside


def clip(window, outline):
    covered = [window]
    pieces = []  # (edge index, polygon) in the order they leave
    for e in range(len(outline)):
        edge = (outline[e], outline[(e + 1) % len(outline)])
        kept = []
        for polygon in covered:
            inside, outside = split(polygon, edge)
            if len(outside) >= 3:
                pieces.append((e, outside))
            if len(inside) >= 3:
                kept.append(inside)
        covered = kept
    return covered, pieces


def svg_points(polygon, ox, oy, scale):
    return " ".join(f"{ox + x * scale:.1f},{oy - y * scale:.1f}" for x, y in polygon)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: clip_diagram.py OUTPUT.svg")
    covered, pieces = clip(WINDOW, OUTLINE)
    scale, width, height = 95, 760, 300
    left, right, middle = (190, 150), (570, 150), 150
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="13">',
           f'<rect width="{width}" height="{height}" fill="white"/>']

    def outline_path(ox, oy, dashed):
        dash = ' stroke-dasharray="5,4"' if dashed else ""
        out.append(f'<polygon points="{svg_points(OUTLINE, ox, oy, scale)}" fill="none" '
                   f'stroke="#c0392b" stroke-width="2"{dash}/>')

    # Before: the window and the outline with its edges numbered in order.
    ox, oy = left
    out.append(f'<polygon points="{svg_points(WINDOW, ox, oy, scale)}" fill="#dfe7f2" '
               f'stroke="#34495e" stroke-width="2"/>')
    outline_path(ox, oy, False)
    for e in range(len(OUTLINE)):
        (ax, ay), (bx, by) = OUTLINE[e], OUTLINE[(e + 1) % len(OUTLINE)]
        mx, my = (ax + bx) / 2, (ay + by) / 2
        # Label a little left of the edge: the side that is cut away.
        dx, dy = bx - ax, by - ay
        length = (dx * dx + dy * dy) ** 0.5
        lx, ly = mx - dy / length * 0.18, my + dx / length * 0.18
        out.append(f'<text x="{ox + lx * scale:.1f}" y="{oy - ly * scale + 4:.1f}" '
                   f'text-anchor="middle" fill="#c0392b">{e + 1}</text>')
    out.append(f'<text x="{ox}" y="{height - 12}" text-anchor="middle">window (blue) and the '
               f'outline, edges in order</text>')

    # After: the covered part, and the uncovered pieces by the edge that cut them off.
    ox, oy = right
    for e, polygon in pieces:
        out.append(f'<polygon points="{svg_points(polygon, ox, oy, scale)}" '
                   f'fill="{PIECE_COLOURS[e % len(PIECE_COLOURS)]}" stroke="#34495e"/>')
        cx = sum(p[0] for p in polygon) / len(polygon)
        cy = sum(p[1] for p in polygon) / len(polygon)
        out.append(f'<text x="{ox + cx * scale:.1f}" y="{oy - cy * scale + 4:.1f}" '
                   f'text-anchor="middle">{e + 1}</text>')
    for polygon in covered:
        out.append(f'<polygon points="{svg_points(polygon, ox, oy, scale)}" fill="#555" '
                   f'stroke="#34495e"/>')
    outline_path(ox, oy, True)
    out.append(f'<text x="{ox}" y="{height - 12}" text-anchor="middle">covered (grey) and '
               f'{len(pieces)} uncovered convex pieces</text>')
    out.append(f'<text x="{width / 2}" y="{middle}" text-anchor="middle" '
               f'font-size="22">&#8594;</text>')
    out.append("</svg>")
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
