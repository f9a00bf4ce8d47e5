#!/usr/bin/env python3
"""Writes app.ico for the Windows build from the two application icon pictures.

Run it after changing app_icon_32.xpm or app_icon_16.xpm:  python3 make_icon.py
The icon holds 16-colour images (4 bits per pixel, the standard VGA palette) with a
transparency mask, which every Windows resource compiler and shell accepts.
"""
import pathlib
import re
import struct

HERE = pathlib.Path(__file__).resolve().parent
SOURCES = ["app_icon_32.xpm", "app_icon_16.xpm"]

VGA = [(0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
       (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
       (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
       (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF)]


def read_xpm(path):
    """Pixels as rows of (r, g, b) or None for transparent; one character per pixel."""
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', path.read_text())
    width, height, ncolours, cpp = map(int, strings[0].split()[:4])
    if cpp != 1:
        raise SystemExit(f"{path.name}: only one character per pixel is supported")
    colours = {}
    for entry in strings[1:1 + ncolours]:
        words = entry[1:].split()
        value = words[words.index("c") + 1]
        colours[entry[0]] = None if value.lower() == "none" else tuple(
            int(value[i:i + 2], 16) for i in (1, 3, 5))
    rows = strings[1 + ncolours:1 + ncolours + height]
    if len(rows) != height or any(len(row) != width for row in rows):
        raise SystemExit(f"{path.name}: rows do not match {width} x {height}")
    return [[colours[ch] for ch in row] for row in rows]


def nearest(rgb):
    return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(VGA[i], rgb)))


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def dib(pixels):
    """A 4-bit DIB as an icon stores it: bottom-up colour rows, then the AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    colour, mask = b"", b""
    for row in reversed(pixels):
        indices = [0 if p is None else nearest(p) for p in row]
        colour += padded(bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2)))
        bits = "".join("1" if p is None else "0" for p in row)
        mask += padded(bytes(int(bits[i:i + 8], 2) for i in range(0, size, 8)))
    return header + palette + colour + mask


def main():
    images = [read_xpm(HERE / name) for name in SOURCES]
    blobs = [dib(pixels) for pixels in images]
    offset = 6 + 16 * len(blobs)
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    for pixels, blob in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", len(pixels), len(pixels), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    (HERE / "app.ico").write_bytes(directory + b"".join(blobs))


if __name__ == "__main__":
    main()
