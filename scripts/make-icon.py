#!/usr/bin/env python3
"""Writes resources/windows/launcher.ico from the application picture.

The icon group holds five images, each a device-independent bitmap (no PNG inside):
256x256 at 8 bits per pixel with a palette, then 256, 128, 48 and 32 pixels at 32 bits.
ImageMagick scales and quantises; this script lays out the ICO file itself.
"""
import struct
import subprocess
import sys
from pathlib import Path

root = Path(__file__).resolve().parent.parent
source = root / "resources/launcher/bitmaps/application.png"
target = root / "resources/windows/launcher.ico"


def rgba(size, colours=None):
    args = ["convert", str(source), "-resize", f"{size}x{size}!"]
    if colours:
        # One palette entry stays free for the fully transparent pixels.
        args += ["+dither", "-colors", str(colours)]
    args += ["-depth", "8", "rgba:-"]
    data = subprocess.run(args, check=True, capture_output=True).stdout
    assert len(data) == size * size * 4, (size, len(data))
    return data


def and_mask(pixels, size):
    stride = ((size + 31) // 32) * 4
    rows = []
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if pixels[(y * size + x) * 4 + 3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return b"".join(rows)


def header(size, bits, colours=0):
    # BITMAPINFOHEADER; the height counts the XOR and AND bitmaps together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def dib32(size):
    pixels = rgba(size)
    body = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixels[(y * size + x) * 4:(y * size + x) * 4 + 4]
            body += bytes((b, g, r, a))
    return header(size, 32) + bytes(body) + and_mask(pixels, size)


def dib8(size):
    pixels = rgba(size, colours=255)
    palette = {(0, 0, 0): 0}
    indices = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixels[(y * size + x) * 4:(y * size + x) * 4 + 4]
            if a < 128:
                indices.append(0)
                continue
            key = (r, g, b)
            if key not in palette:
                if len(palette) == 256:
                    sys.exit("too many colours for the 8-bit image")
                palette[key] = len(palette)
            indices.append(palette[key])
    table = bytearray(256 * 4)
    for (r, g, b), i in palette.items():
        table[i * 4:i * 4 + 4] = bytes((b, g, r, 0))
    return header(size, 8, 256) + bytes(table) + bytes(indices) + and_mask(pixels, size)


images = [(256, 8, dib8(256)), (256, 32, dib32(256)), (128, 32, dib32(128)),
          (48, 32, dib32(48)), (32, 32, dib32(32))]
out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
offset = 6 + 16 * len(images)
for size, bits, data in images:
    dim = 0 if size == 256 else size  # 0 stands for 256 in the directory entry
    colours = 0
    out += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(data), offset)
    offset += len(data)
for _, _, data in images:
    out += data
target.write_bytes(out)
print(f"{target}: {len(out)} bytes, {len(images)} images")
