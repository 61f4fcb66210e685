#!/usr/bin/env python3
"""Draws res/lexset.ico: 16 x 16 pixels, 256 colours.

A page of lines that grow longer from top to bottom (a sorted list) and an
arrow pointing down. The picture below is the icon, top row first.
"""
import struct
import sys

PICTURE = """
................
#########.......
#wwwwwww##......
#wbbwwwww##..r..
#wwwwwwwww#..r..
#wbbbbwwww#..r..
#wwwwwwwww#..r..
#wbbbbbbww#..r..
#wwwwwwwww#..r..
#wbbbbbbbw#..r..
#wwwwwwwww#rrrrr
#wbbbbbbbw#.rrr.
#wwwwwwwww#..r..
#wwwwwwwww#.....
###########.....
................
"""

COLOURS = {  # index: (red, green, blue)
    ".": (0, (0, 0, 0)),  # transparent through the mask
    "#": (1, (64, 64, 64)),
    "w": (2, (255, 255, 255)),
    "b": (3, (0, 84, 200)),
    "r": (4, (208, 40, 32)),
}


def main(out_path):
    rows = [r.ljust(16, ".")[:16] for r in PICTURE.strip("\n").split("\n")]
    assert len(rows) == 16
    palette = [(0, 0, 0)] * 256
    for index, rgb in COLOURS.values():
        palette[index] = rgb

    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pixels = b""
    mask = b""
    for row in reversed(rows):  # bitmaps are stored bottom-up
        pixels += bytes(COLOURS[c][0] for c in row)
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows are padded to 32 bits
    image = header + colours + pixels + mask

    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 8, len(image), 6 + 16)
    with open(out_path, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/lexset.ico")
