#!/usr/bin/env python3
"""Draws the application icon (a shield carrying a package box) into PNGs.

Run from the repository root: scripts/make-icon.py
Writes src/ui/resources/AppIcon-<size>.png for each size below. Pure standard
library: each pixel is supersampled 4 x 4 against the shapes, so edges are smooth.
"""
import struct
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)
SAMPLES = 4

SHIELD_TOP = (0x2F, 0x7D, 0xD1)
SHIELD_BOTTOM = (0x12, 0x3C, 0x7A)
RIM = (0x0B, 0x24, 0x4A)
BOX = (0xF4, 0xC4, 0x52)
BOX_SHADE = (0xC9, 0x8F, 0x1E)
TAPE = (0x8A, 0x5A, 0x0E)


def shield(u, v):
    """Inside test in unit coordinates (0..1 both ways, v downwards)."""
    if v < 0.08 or v > 0.95:
        return False
    half = 0.40 if v < 0.55 else 0.40 * (1 - ((v - 0.55) / 0.40) ** 1.6)
    top_dip = 0.05 * (1 - ((u - 0.5) / 0.42) ** 2) if v < 0.2 else 0
    return abs(u - 0.5) <= half and v >= 0.08 + top_dip


def colour_at(u, v):
    if not shield(u, v):
        return None
    # A thin dark rim: the point is near the edge when a small step leaves the shield.
    step = 0.045
    if not all(shield(u + du, v + dv) for du, dv in ((step, 0), (-step, 0), (0, step), (0, -step))):
        return RIM
    # The package: a box front and lid with a strip of tape down the middle.
    if 0.30 <= u <= 0.70 and 0.40 <= v <= 0.72:
        if abs(u - 0.5) <= 0.045:
            return TAPE
        return BOX if v >= 0.47 else BOX_SHADE
    t = (v - 0.08) / 0.87
    return tuple(round(a + (b - a) * t) for a, b in zip(SHIELD_TOP, SHIELD_BOTTOM))


def render(size):
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((x + (sx + 0.5) / SAMPLES) / size, (y + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a:
                row += bytes((r // a, g // a, b // a, 255 * a // SAMPLES ** 2))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    out = Path("src/ui/resources")
    for size in SIZES:
        (out / f"AppIcon-{size}.png").write_bytes(png(size, render(size)))


if __name__ == "__main__":
    main()
