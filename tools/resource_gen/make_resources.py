#!/usr/bin/env python3
"""Writes the program's binary resources into resources/: the application icon (two 16-colour
images, 32x32 and 16x16) and the version resource. The outputs are committed; the build embeds
them as they are, so the build does not need Python. Run again only to change them."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "..", "resources")

# The standard 16-colour palette (as BGR0 quads).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREY, SILVER, YELLOW, WHITE, BLUE = 0, 8, 7, 11, 15, 12


def picture(size):
    """A sheet of paper with a folded corner and a yellow key on it; None is transparent."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]
    left, right, top, bottom, fold = int(5 * s), int(26 * s), int(2 * s), int(29 * s), int(7 * s)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x > right - fold + (y - top):
                continue  # the cut-off corner
            edge = x in (left, right) or y in (top, bottom) or x == right - fold + (y - top)
            px[y][x] = BLACK if edge else WHITE
    for i in range(fold + 1):  # the folded flap
        for x in range(right - fold, right - fold + i + 1):
            px[top + i][x] = GREY if x < right - fold + i else BLACK
    for y in range(top + fold + 2, int(20 * s), max(2, int(3 * s))):  # lines of text
        for x in range(left + int(3 * s), right - int(4 * s)):
            px[y][x] = BLUE
    cx, cy, r = int(12 * s), int(22 * s), max(2, int(4 * s))
    for y in range(size):  # the key: a ring and a shaft with two teeth
        for x in range(size):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if d <= r * r:
                px[y][x] = BLACK if d >= (r - 1) ** 2 or d <= (r // 3) ** 2 else YELLOW
    for x in range(cx + r, min(size - 1, int(28 * s)) + 1):
        px[cy][x] = BLACK
        px[cy - 1][x] = YELLOW
    for tooth in (int(22 * s), int(26 * s)):
        for y in range(cy + 1, cy + 1 + max(1, int(3 * s))):
            if tooth < size:
                px[y][tooth] = BLACK
    return px


def image(size):
    px = picture(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            c = px[y][x]
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0
            row[x // 2] |= c << 4 if x % 2 == 0 else c
        xor += row
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def write_icon():
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(os.path.join(OUT, "keyfold.ico"), "wb") as f:
        f.write(out)


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def block(key, value=b"", value_length=0, text=False, children=()):
    """One version-resource node: length, value length, type, key, value, children, each
    starting on a 32-bit boundary."""
    body = pad4(struct.pack("<HHH", 0, value_length, 1 if text else 0) + utf16z(key))
    body += value
    for child in children:
        body = pad4(body) + child
    return struct.pack("<H", len(body)) + body[2:]


def string(key, value):
    return block(key, utf16z(value), len(value) + 1, text=True)


def write_version():
    fixed = struct.pack(
        "<13I", 0xFEEF04BD, 0x00010000, (1 << 16) | 0, (3 << 16) | 1, (1 << 16) | 0,
        (3 << 16) | 1, 0x3F, 0, 0x00000004, 0x1, 0, 0, 0)
    strings = [
        ("Comments", "Registers and unregisters registry scripts"),
        ("CompanyName", "Keyfold"),
        ("FileDescription", "Registry script tool"),
        ("FileVersion", "1.00.03"),
        ("InternalName", "keyfold"),
        ("LegalCopyright", "Copyright (C) 2026 Keyfold"),
        ("LegalTrademarks", ""),
        ("OriginalFilename", "keyfold"),
        ("PrivateBuild", ""),
        ("ProductName", "Keyfold"),
        ("ProductVersion", "1, 0, 3, 1"),
        ("SpecialBuild", ""),
    ]
    table = block("040904b0", text=True, children=[string(k, v) for k, v in strings])
    string_info = block("StringFileInfo", text=True, children=[table])
    translation = block("Translation", struct.pack("<HH", 0x0409, 1200), 4)
    var_info = block("VarFileInfo", text=True, children=[translation])
    root = block("VS_VERSION_INFO", pad4(fixed), len(fixed), children=[string_info, var_info])
    with open(os.path.join(OUT, "version.bin"), "wb") as f:
        f.write(root)


if __name__ == "__main__":
    write_icon()
    write_version()
