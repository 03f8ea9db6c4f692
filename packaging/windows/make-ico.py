#!/usr/bin/env python3
"""Packs PNG pictures of the icon into one Windows .ico file (PNG-compressed entries, Windows Vista and later).

Usage: make-ico.py OUT.ico IN.png...  (each picture square, at most 256 pixels)
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("make-ico: not a PNG file")
    return struct.unpack(">II", data[16:24])


def main():
    out, pictures = sys.argv[1], sys.argv[2:]
    entries = []
    for name in pictures:
        with open(name, "rb") as f:
            data = f.read()
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise SystemExit(f"make-ico: {name} is larger than 256 pixels")
        entries.append((width, height, data))
    entries.sort(key=lambda e: e[0])
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, images = b"", b""
    for width, height, data in entries:
        # 256 is written as 0; 32 bits per pixel, one plane.
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        images += data
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + directory + images)


if __name__ == "__main__":
    main()
