#!/usr/bin/env python3
"""Draws SetUp.exe's images into src/ui/res: the logo (bitmap 147), the picture of AutoCAD's menu
bar with the add-on's menu opened (bitmap 151) and the program icon (icon 1).

The generated files are committed, so the build never runs this. Text is rasterised with
ImageMagick's `convert` and the WenQuanYi / DejaVu fonts (Debian: imagemagick, fonts-wqy-microhei,
fonts-dejavu-core); everything else is drawn here and written as BMP / ICO by hand.

    python3 scripts/gen-assets.py [output-folder]
"""
import os
import struct
import subprocess
import sys

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

DIALOG_GREEN = (170, 210, 150)
DARK_GREEN = (10, 70, 40)
MID_GREEN = (40, 120, 70)
WHITE = (255, 255, 255)

# The 16 colours of the classic VGA palette; bitmap 151 uses exactly these.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, LIME, YELLOW, CYAN = (VGA[0], VGA[4], VGA[7], VGA[8], VGA[9], VGA[10],
                                                      VGA[11], VGA[14])


class Canvas:
    """RGBA pixels, top-down."""

    def __init__(self, width, height, color=(0, 0, 0), alpha=255):
        self.w, self.h = width, height
        self.px = [[(color[0], color[1], color[2], alpha) for _ in range(width)] for _ in range(height)]

    def put(self, x, y, color, coverage=255):
        if 0 <= x < self.w and 0 <= y < self.h and coverage > 0:
            r, g, b, a = self.px[y][x]
            if a == 0:  # over a transparent pixel: the colour itself, as opaque as it covers
                self.px[y][x] = (color[0], color[1], color[2], coverage)
                return
            k = coverage / 255.0
            self.px[y][x] = (round(r + (color[0] - r) * k), round(g + (color[1] - g) * k),
                             round(b + (color[2] - b) * k), max(a, coverage))

    def rect(self, x0, y0, x1, y1, color):
        """Fills [x0, x1) x [y0, y1)."""
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.put(x, y, color)

    def frame(self, x0, y0, x1, y1, color):
        self.rect(x0, y0, x1, y0 + 1, color)
        self.rect(x0, y1 - 1, x1, y1, color)
        self.rect(x0, y0, x0 + 1, y1, color)
        self.rect(x1 - 1, y0, x1, y1, color)

    def rounded(self, x0, y0, x1, y1, radius, color, smooth=True):
        """A filled rounded rectangle; with `smooth`, its edge is blended 4 x 4 per pixel."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                inside = 0
                for sy in range(4):
                    for sx in range(4):
                        px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
                        cx = min(max(px, x0 + radius), x1 - radius)
                        cy = min(max(py, y0 + radius), y1 - radius)
                        if (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius:
                            inside += 1
                cov = inside * 255 // 16 if smooth else (255 if inside >= 8 else 0)
                self.put(x, y, color, cov)

    def polygon(self, points, color):
        """Even-odd fill, sampled at pixel centres."""
        ys = [p[1] for p in points]
        for y in range(max(0, int(min(ys))), min(self.h, int(max(ys)) + 1)):
            cy = y + 0.5
            xs = []
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay <= cy < by) or (by <= cy < ay):
                    xs.append(ax + (cy - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(max(0, int(xs[i] + 0.5)), min(self.w, int(xs[i + 1] + 0.5))):
                    self.put(x, y, color)

    def blit_mask(self, x0, y0, mask, color):
        for y, row in enumerate(mask):
            for x, cov in enumerate(row):
                self.put(x0 + x, y0 + y, color, cov)


def text_mask(text, font, size, smooth):
    """The text's coverage (0..255 per pixel) as rasterised by ImageMagick, trimmed to its ink."""
    cmd = ["convert", "-background", "white", "-fill", "black", "-font", font, "-pointsize", str(size),
           "-antialias" if smooth else "+antialias", "label:" + text, "-trim", "+repage",
           "-depth", "8", "pgm:-"]
    data = subprocess.run(cmd, check=True, capture_output=True).stdout
    # P5 header: magic, width, height, maxval, each followed by white space.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + width * height]
    return [[255 - pixels[y * width + x] for x in range(width)] for y in range(height)]


def text_width(mask):
    return len(mask[0]) if mask else 0


# ---------------------------------------------------------------------------------------- logo

def draw_logo(size, background, alpha):
    """The product mark: a dark green tile with a stack of sheets and a bold V."""
    c = Canvas(size, size, background, alpha)
    s = size / 64.0
    m = round(3 * s)
    c.rounded(m, m, size - m, size - m, 9 * s, DARK_GREEN)
    # Sheets fanned behind the letter, as a plotter's output tray.
    for i, shade in enumerate([(150, 190, 160), (200, 225, 205), WHITE]):
        off = round((10 - 4 * i) * s)
        c.rect(round(14 * s) + off, round(10 * s) + off // 2, round(44 * s) + off, round(46 * s) + off // 2, shade)
    v = text_mask("V", BOLD_FONT, max(8, round(34 * s)), True)
    c.blit_mask((size - text_width(v)) // 2 + round(2 * s), round(15 * s), v, MID_GREEN)
    # A paper-feed slot along the bottom.
    c.rect(round(12 * s), round(50 * s), size - round(12 * s), round(54 * s), (120, 180, 130))
    return c


# ------------------------------------------------------------------------------- menu picture

def draw_menu_picture():
    w, h = 307, 175
    c = Canvas(w, h, BLACK)
    # Title bar and menu bar of the AutoCAD window.
    c.rect(0, 0, w, 16, NAVY)
    c.blit_mask(6, 3, text_mask("AutoCAD 2022 - [Drawing1.dwg]", CJK_FONT, 11, False), WHITE)
    c.rect(0, 16, w, 34, SILVER)
    c.rect(0, 33, w, 34, GRAY)
    items = ["修改(M)", "参数(P)", "窗口(W)", "帮助(H)", "V-批打印"]
    masks = [text_mask(t, CJK_FONT, 12, False) for t in items]
    x = 4
    spots = []
    for mask in masks:
        spots.append((x, text_width(mask)))
        x += text_width(mask) + 12
    # The add-on's menu is the last one on the bar, opened.
    menu_x, menu_w = spots[-1]
    c.rect(menu_x - 4, 17, menu_x + menu_w + 4, 33, NAVY)
    for (x, _), mask, last in zip(spots, masks, [False] * (len(masks) - 1) + [True]):
        c.blit_mask(x, 19, mask, WHITE if last else BLACK)

    # A little drawing in model space behind the menu.
    c.frame(10, 60, 90, 160, LIME)
    c.frame(22, 74, 56, 104, YELLOW)
    for y in range(60, 160, 2):
        c.put(72, y, CYAN)
    c.rect(10, 118, 90, 119, RED)

    commands = ["批量打印...", "打印设置...", "图纸清单...", None, "打印机管理...", "选项...", None, "帮助",
                "关于 V-批打印"]
    cmasks = [text_mask(t, CJK_FONT, 12, False) if t else None for t in commands]
    box_w = max(text_width(m) for m in cmasks if m) + 28
    row = 16
    box_h = sum(row if m else 7 for m in cmasks) + 6
    bx = min(menu_x - 4, w - box_w - 3)
    by = 34
    c.rect(bx + 3, by + 3, bx + box_w + 3, by + box_h + 3, GRAY)  # shadow
    c.rect(bx, by, bx + box_w, by + box_h, WHITE)
    c.frame(bx, by, bx + box_w, by + box_h, GRAY)
    y = by + 3
    for i, mask in enumerate(cmasks):
        if mask is None:
            c.rect(bx + 4, y + 3, bx + box_w - 4, y + 4, GRAY)
            y += 7
            continue
        if i == 0:  # the highlighted first command
            c.rect(bx + 2, y, bx + box_w - 2, y + row, NAVY)
        c.blit_mask(bx + 20, y + 2, mask, WHITE if i == 0 else BLACK)
        y += row

    # The red arrow from the drawing area up to the opened menu's title.
    tip_x, tip_y = menu_x - 9, 27
    tail_x, tail_y = 104, 150
    dx, dy = tip_x - tail_x, tip_y - tail_y
    length = (dx * dx + dy * dy) ** 0.5
    ux, uy = dx / length, dy / length
    nx, ny = -uy, ux
    head, half, shaft = 16, 8, 3
    bx2, by2 = tip_x - ux * head, tip_y - uy * head
    c.polygon([(tail_x + nx * shaft, tail_y + ny * shaft), (bx2 + nx * shaft, by2 + ny * shaft),
               (bx2 + nx * half, by2 + ny * half), (tip_x, tip_y), (bx2 - nx * half, by2 - ny * half),
               (bx2 - nx * shaft, by2 - ny * shaft), (tail_x - nx * shaft, tail_y - ny * shaft)], RED)
    return c


# -------------------------------------------------------------------------------------- writers

def bmp_headers(width, height, bits, image_size, palette_size):
    offset = 14 + 40 + palette_size * 4
    file_header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835,
                       palette_size, palette_size)
    return file_header + info


def rle8_row(indices):
    """One row in BI_RLE8, as short as the format allows: runs of one colour as (count, index);
    stretches without runs as absolute blocks (0, count >= 3, indices padded to a 16-bit boundary);
    the end of line (0, 0)."""
    return _shortest_row(indices, period=1, absolute_bytes=lambda count: (count + 1) & ~1)


def rle_decode(data, width, height, bits):
    """The rows (bottom-up) BI_RLE8 (bits 8) or BI_RLE4 (bits 4) data stands for, to prove the
    encoding loses nothing."""

    def unpack(packed, count):
        if bits == 8:
            return list(packed[:count])
        return [(packed[k // 2] >> 4) if k % 2 == 0 else (packed[k // 2] & 15) for k in range(count)]

    rows, row, i = [], [], 0
    while i < len(data):
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += unpack(bytes((value,)) * count, count)
        elif value == 0:
            rows.append(row)
            row = []
        elif value == 1:
            break
        else:
            assert bits == 4 or value >= 3, "an absolute block of BI_RLE8 holds at least 3 pixels"
            size = value if bits == 8 else (value + 1) // 2
            row += unpack(data[i:i + size], value)
            i += (size + 1) & ~1
    assert len(rows) == height and all(len(r) == width for r in rows)
    return rows


def write_bmp8(path, c):
    """At most 256 colours, run-length encoded (BI_RLE8): the logo has about a hundred colours in
    flat areas, a seventh of its 24-bit size with the same pixels, and Windows' bitmap loader reads
    it as it is. The palette is the colours in order of their value, so that the same pixels
    always make the same file."""
    palette = sorted({p[:3] for row in c.px for p in row})
    assert len(palette) <= 256, "too many colours for an 8-bit bitmap"
    index = {color: i for i, color in enumerate(palette)}
    rows = [[index[p[:3]] for p in c.px[y]] for y in reversed(range(c.h))]
    data = b"".join(rle8_row(r) for r in rows) + b"\0\1"
    assert rle_decode(data, c.w, c.h, 8) == rows
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    header = bytearray(bmp_headers(c.w, c.h, 8, len(data), len(palette)))
    struct.pack_into("<I", header, 14 + 16, 1)  # biCompression = BI_RLE8
    with open(path, "wb") as f:
        f.write(bytes(header) + pal + data)


def rle4_row(nibbles):
    """One row in BI_RLE4, as short as the format allows: runs as (count, colour colour), whose
    pixels take the two colours in turn (one colour twice for a plain run, two for a dotted line or
    a dither); other stretches as absolute blocks (0, count >= 3, nibbles packed two a byte and
    padded to a 16-bit boundary); the end of line (0, 0)."""
    return _shortest_row(nibbles, period=2, absolute_bytes=lambda count: ((count + 1) // 2 + 1) & ~1)


def _shortest_row(pixels, period, absolute_bytes):
    """The shortest encoding of one row as runs and absolute blocks (a run repeats a pattern of
    `period` pixels), found by trying every split from the row's end back to its start."""
    n = len(pixels)
    cost = [0] * n + [2]  # cost[i]: bytes to encode pixels[i:] and the end of line
    step = [None] * n     # the first element of that encoding: (run?, count)
    for i in range(n - 1, -1, -1):
        pattern = pixels[i:i + period] + [pixels[i]] * (period - len(pixels[i:i + period]))
        best = None
        j = i
        while j < n and j - i < 255 and pixels[j] == pattern[(j - i) % period]:
            j += 1
            if best is None or 2 + cost[j] < best[0]:
                best = (2 + cost[j], True, j - i)
        for count in range(3, min(255, n - i) + 1):
            total = 2 + absolute_bytes(count) + cost[i + count]
            if total < best[0]:
                best = (total, False, count)
        cost[i], step[i] = best[0], best[1:]
    out = bytearray()
    i = 0
    while i < n:
        run, count = step[i]
        if run:
            pair = pixels[i:i + period] + [pixels[i]] * (period - len(pixels[i:i + period]))
            out += bytes((count, pair[0] if period == 1 else (pair[0] << 4) | pair[1]))
        elif period == 1:
            out += bytes((0, count)) + bytes(pixels[i:i + count])
            out += b"\0" * (absolute_bytes(count) - count)
        else:
            block = pixels[i:i + count] + [0]
            out += bytes((0, count)) + bytes((block[k] << 4) | block[k + 1] for k in range(0, count, 2))
            out += b"\0" * (absolute_bytes(count) - (count + 1) // 2)
        i += count
    return bytes(out + b"\0\0")


def write_bmp4(path, c, palette):
    """16 colours, run-length encoded (BI_RLE4): the picture is flat colour and text, about a quarter
    of its plain size, and Windows' bitmap loader reads it as it is."""
    index = {color: i for i, color in enumerate(palette)}
    rows = [[index[p[:3]] for p in c.px[y]] for y in reversed(range(c.h))]
    data = b"".join(rle4_row(r) for r in rows) + b"\0\1"
    assert rle_decode(data, c.w, c.h, 4) == rows
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    header = bytearray(bmp_headers(c.w, c.h, 4, len(data), 16))
    struct.pack_into("<I", header, 14 + 16, 2)  # biCompression = BI_RLE4
    with open(path, "wb") as f:
        f.write(bytes(header) + pal + data)


def write_ico(path, canvases):
    images = []
    for c in canvases:
        xor = b"".join(struct.pack("BBBB", p[2], p[1], p[0], p[3]) for y in reversed(range(c.h)) for p in c.px[y])
        mask_stride = ((c.w + 31) // 32) * 4
        and_rows = []
        for y in reversed(range(c.h)):
            row = bytearray(mask_stride)
            for x, p in enumerate(c.px[y]):
                if p[3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            and_rows.append(bytes(row))
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor), 0, 0, 0, 0)
        images.append(header + xor + b"".join(and_rows))
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "src", "ui", "res")
    write_bmp8(os.path.join(out, "logo.bmp"), draw_logo(64, DIALOG_GREEN, 255))
    write_bmp4(os.path.join(out, "acad_menu.bmp"), draw_menu_picture(), VGA)
    write_ico(os.path.join(out, "setup.ico"), [draw_logo(32, (0, 0, 0), 0), draw_logo(16, (0, 0, 0), 0)])


if __name__ == "__main__":
    main()
