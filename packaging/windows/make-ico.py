#!/usr/bin/env python3
"""Packs PNG images into one Windows icon (.ico; PNG entries, as Windows Vista and later read them).
make-ico.py OUT.ico IMAGE.png..."""
import struct
import sys


def size_of(png):
    if png[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("make-ico: not a PNG image")
    return struct.unpack(">II", png[16:24])


def main():
    out, images = sys.argv[1], [open(p, "rb").read() for p in sys.argv[2:]]
    header = struct.pack("<HHH", 0, 1, len(images))
    entries, offset = b"", 6 + 16 * len(images)
    for png in images:
        w, h = size_of(png)
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(images))


if __name__ == "__main__":
    main()
