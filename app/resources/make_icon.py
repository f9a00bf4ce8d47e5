#!/usr/bin/env python3
"""Writes the application icon files from the two application icon pictures.

Run it after changing app_icon_32.xpm or app_icon_16.xpm:  python3 make_icon.py

- app.ico for the Windows build: 16-colour images (4 bits per pixel, the standard VGA
  palette) with a transparency mask, which every Windows resource compiler and shell accepts.
- hicolor/ for the Linux desktop: PNGs from 16 to 256 pixels and an SVG. The pictures are
  pixel art, so they are enlarged by whole factors, pixel for pixel; 22 and 24 pixels hold
  the 16-pixel picture centred, as icon themes do. The files are kept in the repository,
  so building needs no image tools.
"""
import pathlib
import re
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent
SOURCES = ["app_icon_32.xpm", "app_icon_16.xpm"]
APP_ID = "com.ombrix.TarselCopyFile"
# Icon size: (source picture, whole enlargement factor); what is left over is a transparent border.
HICOLOR = {16: ("app_icon_16.xpm", 1), 22: ("app_icon_16.xpm", 1), 24: ("app_icon_16.xpm", 1),
           32: ("app_icon_32.xpm", 1), 48: ("app_icon_16.xpm", 3), 64: ("app_icon_32.xpm", 2),
           128: ("app_icon_32.xpm", 4), 256: ("app_icon_32.xpm", 8)}

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


def placed(pixels, size, factor):
    """The picture enlarged pixel for pixel and centred on a transparent square of `size`."""
    border = (size - len(pixels) * factor) // 2
    blank = [None] * size
    rows = [blank] * border
    for row in pixels:
        wide = [None] * border + [p for p in row for _ in range(factor)] + [None] * border
        rows += [wide] * factor
    return rows + [blank] * border


def png(pixels):
    """An 8-bit RGBA PNG."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data))
    size = len(pixels)
    raw = b"".join(b"\0" + b"".join(bytes((*p, 255)) if p else b"\0\0\0\0" for p in row)
                   for row in pixels)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg(pixels):
    """One path per colour, a rectangle per run of equal pixels in a row."""
    runs = {}
    for y, row in enumerate(pixels):
        x = 0
        while x < len(row):
            end = x
            while end < len(row) and row[end] == row[x]:
                end += 1
            if row[x]:
                runs.setdefault(row[x], []).append(f"M{x} {y}h{end - x}v1h-{end - x}z")
            x = end
    size = len(pixels)
    paths = "".join(f'<path fill="#{r:02x}{g:02x}{b:02x}" d="{"".join(d)}"/>\n'
                    for (r, g, b), d in sorted(runs.items()))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n{paths}</svg>\n')


def write_hicolor():
    for size, (source, factor) in HICOLOR.items():
        folder = HERE / "hicolor" / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"{APP_ID}.png").write_bytes(png(placed(read_xpm(HERE / source), size, factor)))
    folder = HERE / "hicolor" / "scalable" / "apps"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / f"{APP_ID}.svg").write_text(svg(read_xpm(HERE / "app_icon_32.xpm")))


def write_ico():
    images = [read_xpm(HERE / name) for name in SOURCES]
    blobs = [dib(pixels) for pixels in images]
    offset = 6 + 16 * len(blobs)
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    for pixels, blob in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", len(pixels), len(pixels), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    (HERE / "app.ico").write_bytes(directory + b"".join(blobs))


if __name__ == "__main__":
    write_ico()
    write_hicolor()
