#!/usr/bin/env python3
"""Packs the icon sizes the icon maker paints into packaging/windows/kiv.ico.

The Windows executables carry the icon in their resources; a cross build
cannot run the icon maker, so the .ico is kept in the tree and made again
with this script whenever src/gui/app_icon.cpp changes:

    cmake --build build --target kiv_icons
    python3 scripts/make-windows-icon.py build/src/icons packaging/windows/kiv.ico
"""
import struct
import sys
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    icons, target = Path(sys.argv[1]), Path(sys.argv[2])
    images = []
    for size in SIZES:
        png = icons / "hicolor" / f"{size}x{size}" / "apps" / "kiv.png"
        data = png.read_bytes()
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            print(f"{png}: not a PNG file", file=sys.stderr)
            return 1
        width, height = struct.unpack(">II", data[16:24])
        if (width, height) != (size, size):
            print(f"{png}: {width}x{height}, expected {size}x{size}", file=sys.stderr)
            return 1
        images.append((size, data))
    # ICONDIR, one ICONDIRENTRY per image, then the images; since Windows
    # Vista an entry may hold a whole PNG file. 256 is written as 0.
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    temporary = target.with_name(target.name + ".tmp")
    temporary.write_bytes(header + entries + blobs)
    temporary.replace(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
