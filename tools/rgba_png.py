# SPDX-License-Identifier: GPL-3.0-or-later
"""The little the artwork scripts share: turning supersampled coverage into a straight-alpha RGBA
pixel, and encoding 8-bit RGBA (or RGB, for the end-to-end tests' screenshots) rows as a PNG, with
the standard library only."""

import struct
import zlib


def coverage_pixel(r, g, b, covered, total):
    """Averages the covered samples' colours; opacity is the fraction covered."""
    if not covered:
        return bytes(4)
    return bytes((
        (r + covered // 2) // covered,
        (g + covered // 2) // covered,
        (b + covered // 2) // covered,
        (255 * covered + total // 2) // total,
    ))


def _chunk(kind, data):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def encode_png(width, height, raw, alpha=True):
    """raw: the rows, each a filter byte followed by width RGBA (or, without alpha, RGB) pixels."""
    colour_type = 6 if alpha else 2
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + _chunk(b"IHDR", header)
        + _chunk(b"IDAT", zlib.compress(raw, 9))
        + _chunk(b"IEND", b"")
    )
