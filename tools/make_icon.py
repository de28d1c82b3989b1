"""Draws the context-menu icon: a magnifier over a page of text, 16 x 16.

Writes an .ico with two images of the same drawing, one with 8 bits per pixel
(a palette and a transparency mask) and one with 32 bits per pixel (an alpha
channel). Only the standard library is used.

  python3 -m tools.make_icon OUT.ico            write the icon
  python3 -m tools.make_icon --check OUT.ico    fail when OUT.ico differs from the drawing
  python3 -m tools.make_icon --preview OUT.png  write an enlarged view of both images
  python3 -m tools.make_icon --logo N OUT.png   write the drawing at N x N pixels with
                                                alpha, for the package's logos
"""
import argparse
import math
import struct
import sys
import zlib

SIZE = 16
SAMPLES = 4  # per axis, for the anti-aliased edges of the 32-bit image

PAGE = (255, 255, 255)
PAGE_EDGE = (96, 96, 96)
FOLD = (214, 214, 214)
TEXT = (150, 150, 150)
RIM = (24, 72, 140)
GLASS = (196, 226, 255)
HANDLE = (40, 40, 40)

LENS_X, LENS_Y = 9.5, 8.5
LENS_OUTER, LENS_INNER = 4.6, 3.2


def on_page(x, y):
    # A page whose top-right corner is folded over.
    if not (1.0 <= x <= 11.0 and 0.5 <= y <= 15.0):
        return None
    fold = 8.0
    dx, dy = x - fold, y - 0.5
    if dx > dy:
        return None  # the corner cut away by the fold
    if dx >= 0.0 and dy <= 3.0:
        return FOLD if dx <= dy - 1.0 and dx >= 1.0 else PAGE_EDGE
    if x < 2.0 or x > 10.0 or y < 1.5 or y > 14.0 or dy - dx < 1.0:
        return PAGE_EDGE
    if 3.0 <= x <= 8.0 and int(y) in (4, 6, 8, 10, 12):
        return TEXT
    return PAGE


def on_magnifier(x, y):
    d = math.hypot(x - LENS_X, y - LENS_Y)
    if d <= LENS_INNER:
        return GLASS, 0.55
    if d <= LENS_OUTER:
        return RIM, 1.0
    # The handle runs from the rim towards the bottom-right corner.
    ux, uy = 1 / math.sqrt(2), 1 / math.sqrt(2)
    px, py = x - LENS_X, y - LENS_Y
    along = px * ux + py * uy
    across = abs(-px * uy + py * ux)
    if LENS_OUTER - 0.5 <= along <= 9.2 and across <= 1.25:
        return HANDLE, 1.0
    return None


def sample(x, y):
    """The colour and opacity at one point, the magnifier over the page."""
    color, alpha = (0, 0, 0), 0.0
    page = on_page(x, y)
    if page is not None:
        color, alpha = page, 1.0
    glass = on_magnifier(x, y)
    if glass is not None:
        top, a = glass
        out = a + alpha * (1 - a)
        color = tuple((top[i] * a + color[i] * alpha * (1 - a)) / out for i in range(3))
        alpha = out
    return color, alpha


def draw(size=SIZE):
    """Rows top to bottom of (r, g, b, a) in 0..255, the drawing scaled to size."""
    rows = []
    unit = SIZE / size
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            total = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    color, alpha = sample((px + (sx + 0.5) / SAMPLES) * unit, (py + (sy + 0.5) / SAMPLES) * unit)
                    for i in range(3):
                        acc[i] += color[i] * alpha
                    total += alpha
            n = SAMPLES * SAMPLES
            if total == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / total)) for i in range(3)) + (int(round(255 * total / n)),))
        rows.append(row)
    return rows


def mask_rows(opaque):
    """The 1-bit transparency mask, bottom-up, rows padded to 32 bits."""
    out = b""
    for row in reversed(opaque):
        bits = 0
        for x, solid in enumerate(row):
            if not solid:
                bits |= 1 << (31 - x)
        out += struct.pack(">I", bits)
    return out


def header(bit_count, colors):
    return struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bit_count, 0, 0, 0, 0, colors, 0)


def image_32(rows):
    pixels = b""
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    return header(32, 0) + pixels + mask_rows([[p[3] > 0 for p in row] for row in rows])


def image_8(rows):
    # Hard edges: a pixel is either drawn or transparent.
    solid = [[p[3] >= 128 for p in row] for row in rows]
    palette = [(0, 0, 0)]
    indices = []
    for row, keep in zip(rows, solid):
        line = []
        for (r, g, b, _), drawn in zip(row, keep):
            if not drawn:
                line.append(0)
                continue
            color = (r, g, b)
            if color not in palette:
                if len(palette) < 256:
                    palette.append(color)
                else:
                    color = min(palette[1:], key=lambda c: sum((c[i] - color[i]) ** 2 for i in range(3)))
            line.append(palette.index(color))
        indices.append(line)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + b"\0" * 4 * (256 - len(palette))
    pixels = b"".join(bytes(line) for line in reversed(indices))
    return header(8, 256) + table + pixels + mask_rows(solid)


def icon_bytes():
    rows = draw()
    images = [(8, image_8(rows)), (32, image_32(rows))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        out += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def png_bytes(width, height, color_type, lines):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0))
    return png + chunk(b"IDAT", zlib.compress(b"".join(lines), 9)) + chunk(b"IEND", b"")


def logo_png(path, size):
    """The drawing at size x size, RGBA."""
    lines = [b"\0" + b"".join(bytes(p) for p in row) for row in draw(size)]
    with open(path, "wb") as f:
        f.write(png_bytes(size, size, 6, lines))


def preview_png(path, scale=12):
    """Both images side by side, enlarged, over a checkerboard."""
    rows = draw()
    hard = [[p if p[3] >= 128 else (0, 0, 0, 0) for p in row] for row in rows]
    views = [[[(r, g, b, 255 if a else 0) for r, g, b, a in row] for row in hard], rows]
    width, height = (SIZE * 2 + 3) * scale, (SIZE + 2) * scale
    lines = []
    for y in range(height):
        line = bytearray([0])
        for x in range(width):
            check = 200 if ((x // (scale // 2)) + (y // (scale // 2))) % 2 else 236
            base = (check, check, check)
            iy, ix = y // scale - 1, x // scale - 1
            px = None
            if 0 <= iy < SIZE:
                if 0 <= ix < SIZE:
                    px = views[0][iy][ix]
                elif SIZE + 1 <= ix < SIZE * 2 + 1:
                    px = views[1][iy][ix - SIZE - 1]
            if px is not None:
                a = px[3] / 255
                base = tuple(int(px[i] * a + base[i] * (1 - a)) for i in range(3))
            line += bytes(base)
        lines.append(bytes(line))

    with open(path, "wb") as f:
        f.write(png_bytes(width, height, 2, lines))


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tools.make_icon", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    what = parser.add_mutually_exclusive_group()
    what.add_argument("--check", action="store_true", help="fail when OUT.ico differs from the drawing")
    what.add_argument("--preview", action="store_true", help="write an enlarged view of both images to OUT")
    what.add_argument("--logo", type=int, metavar="N", help="write the drawing at N x N pixels with alpha to OUT")
    parser.add_argument("out", metavar="OUT")
    args = parser.parse_args(argv)
    if args.check:
        with open(args.out, "rb") as f:
            if f.read() != icon_bytes():
                print(f"{args.out} is not what tools/make_icon.py draws; run it again", file=sys.stderr)
                return 1
    elif args.preview:
        preview_png(args.out)
    elif args.logo is not None:
        logo_png(args.out, args.logo)
    else:
        with open(args.out, "wb") as f:
            f.write(icon_bytes())
    return 0


if __name__ == "__main__":
    sys.exit(main())
