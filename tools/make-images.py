#!/usr/bin/env python3
"""Draws the program's button faces and icon into res/.

Standard library only; writes the BMP and ICO bytes itself. Run it again
after changing a colour or a shape and commit the files it writes:

    python3 tools/make-images.py [output-folder]     (default: res/)

Button faces (60 x 25, 8-bit palettized): a rounded rectangle with a
one-pixel outline and a vertical gradient. Outside the outline every face
carries the dialog background colour (theme colour 999, first column): the
contract dialog's buttons compose their face in a fresh memory bitmap and
copy it whole, so those corner pixels are what the operator sees, and the
theme's own drawing (background AND mask, then OR face) gives the dialog
background there as well.

Mask (60 x 25, 24-bit): black where the face is opaque, white where the
background shows; the same rounded rectangle as the faces.
"""
import os
import struct
import sys

FACE_W, FACE_H = 60, 25
FACE_RADIUS = 4
DIALOG_BACKGROUND = (195, 230, 255)

# name: (outline, gradient top, gradient bottom)
FACES = {
    "button_normal": ((70, 110, 160), (252, 253, 255), (212, 228, 245)),
    "button_hover": ((50, 120, 200), (255, 255, 255), (226, 241, 255)),
    "button_push": ((40, 80, 130), (188, 210, 235), (228, 238, 250)),
    "button_disable": ((165, 180, 196), (240, 243, 246), (228, 233, 238)),
}


def rounded_inside(x, y, w, h, r):
    """Whether pixel (x, y) lies in a w x h rectangle with corners of radius r."""
    cx, cy = x + 0.5, y + 0.5
    nx = min(max(cx, r), w - r)
    ny = min(max(cy, r), h - r)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= r * r


def face_shape():
    """Per pixel: 0 outside, 1 outline, 2 fill."""
    inside = [[rounded_inside(x, y, FACE_W, FACE_H, FACE_RADIUS) for x in range(FACE_W)]
              for y in range(FACE_H)]

    def at(x, y):
        return 0 <= x < FACE_W and 0 <= y < FACE_H and inside[y][x]

    shape = []
    for y in range(FACE_H):
        row = []
        for x in range(FACE_W):
            if not inside[y][x]:
                row.append(0)
            elif all(at(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                row.append(2)
            else:
                row.append(1)
        shape.append(row)
    return shape


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def face_pixels(shape, outline, top, bottom):
    pixels = []
    for y in range(FACE_H):
        fill = mix(top, bottom, (y - 1) / (FACE_H - 3))
        pixels.append([DIALOG_BACKGROUND if k == 0 else outline if k == 1 else fill
                       for k in shape[y]])
    return pixels


def bmp_bytes(pixels, bits):
    """A bottom-up BMP file of 8 (palettized) or 24 bits per pixel."""
    h, w = len(pixels), len(pixels[0])
    if bits == 8:
        palette = sorted({p for row in pixels for p in row})
        if len(palette) > 256:
            raise ValueError("more than 256 colours in an 8-bit face")
        index = {p: i for i, p in enumerate(palette)}
        stride = (w + 3) & ~3
        rows = [bytes(index[p] for p in row).ljust(stride, b"\0") for row in reversed(pixels)]
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        used = len(palette)
    else:
        stride = (w * 3 + 3) & ~3
        rows = [b"".join(struct.pack("<BBB", b, g, r) for r, g, b in row).ljust(stride, b"\0")
                for row in reversed(pixels)]
        table = b""
        used = 0
    image = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(image), 3780, 3780, used, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + table + image


# ---- icon: a monitor with a red "remove" badge, drawn by supersampling ----

def in_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    nx = min(max(x, x0 + r), x1 - r)
    ny = min(max(y, y0 + r), y1 - r)
    return (x - nx) ** 2 + (y - ny) ** 2 <= r * r


def icon_sample(x, y):
    """Colour (r, g, b, a) of the icon at (x, y) in the unit square."""
    def circle(cx, cy, r):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    if circle(0.74, 0.74, 0.22):
        if 0.62 <= x <= 0.86 and 0.705 <= y <= 0.775:
            return (255, 255, 255, 255)
        return (200, 40, 40, 255)
    if circle(0.74, 0.74, 0.26):
        return (255, 255, 255, 255)
    if in_round_rect(x, y, 0.12, 0.17, 0.80, 0.61, 0.01):
        return mix((130, 195, 245), (60, 130, 205), (y - 0.17) / 0.44) + (255,)
    if in_round_rect(x, y, 0.06, 0.10, 0.86, 0.68, 0.06):
        return (30, 70, 130, 255)
    if 0.40 <= x <= 0.52 and 0.68 <= y <= 0.80:
        return (95, 105, 120, 255)
    if in_round_rect(x, y, 0.24, 0.79, 0.68, 0.88, 0.03):
        return (95, 105, 120, 255)
    return (0, 0, 0, 0)


def icon_image(size, grid=4):
    """Rows of (r, g, b, a), top row first, averaged over grid x grid samples."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    r, g, b, a = icon_sample((px + (sx + 0.5) / grid) / size,
                                             (py + (sy + 0.5) / grid) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3],
                            acc[3] // (grid * grid)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_entry_bytes(rows):
    """One 32-bit icon image: header of double height, BGRA rows, AND mask."""
    size = len(rows)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico_bytes(sizes):
    images = [icon_entry_bytes(icon_image(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    os.makedirs(out, exist_ok=True)
    files = {}
    shape = face_shape()
    for name, colours in FACES.items():
        files[name + ".bmp"] = bmp_bytes(face_pixels(shape, *colours), 8)
    mask = [[(255, 255, 255) if k == 0 else (0, 0, 0) for k in row] for row in shape]
    files["button_mask.bmp"] = bmp_bytes(mask, 24)
    files["AgentUninstaller.ico"] = ico_bytes([16, 32, 48])
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
