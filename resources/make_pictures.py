#!/usr/bin/python3
"""Draws the program's pictures: the main window's skin, its two picture
buttons and banner, the application icon, and the credits window's picture and
close button. The window pictures are drawn twice: at their own size and at
twice that size for screens of device pixel ratio 2 (Qt's "@2x" names).

Usage: make_pictures.py OUTPUT_DIR

Needs only the standard library and Pillow, plus the DejaVu fonts
(fonts-dejavu-core). The output is deterministic: the same bytes on every run
(fixed JPEG settings, no timestamps, no randomness, basic text layout).
"""

import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
SANS_BOLD = "DejaVuSans-Bold.ttf"
SANS_BOLD_CONDENSED = "DejaVuSansCondensed-Bold.ttf"
SERIF_BOLD = "DejaVuSerif-Bold.ttf"
SERIF_BOLD_CONDENSED = "DejaVuSerifCondensed-Bold.ttf"

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
CHARCOAL = (52, 51, 47)
BROWN_LINE = (90, 73, 66)
FLAG_RED = (244, 42, 65)

# Text is rendered large and then scaled into its box; this is the render size.
TEXT_RENDER_SIZE = 240


# --------------------------------------------------------------------------
# Small helpers


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(int(round(lerp(x, y, t))) for x, y in zip(c1, c2))


def font(name, size):
    # Basic layout keeps the glyph placement independent of libraqm's presence.
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size,
                              layout_engine=ImageFont.Layout.BASIC)


def save_jpeg(image, path, quality=95):
    # 4:4:4 keeps the colour edges where they are drawn; baseline, no EXIF.
    image.convert("RGB").save(path, "JPEG", quality=quality, subsampling=0,
                              optimize=False, progressive=False, dpi=(72, 72))


def save_png(image, path):
    image.convert("RGB").save(path, "PNG", optimize=False, compress_level=9)


def save_ico(image, path):
    """One-image icon: a 24-bit DIB with an all-clear mask (no transparency)."""
    image = image.convert("RGB")
    width, height = image.size
    pixels = image.load()
    xor_stride = (width * 3 + 3) // 4 * 4
    and_stride = (width + 31) // 32 * 4
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = pixels[x, y]
            row += bytes((b, g, r))
        row += b"\0" * (xor_stride - len(row))
        rows.append(bytes(row))
    xor_bits = b"".join(rows)
    and_bits = b"\0" * (and_stride * height)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 24, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 0, 0)
    dib = header + xor_bits + and_bits
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 24,
                        len(dib), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + dib)


def vertical_gradient(size, top, bottom, stops=None):
    """An RGB image whose rows run from `top` to `bottom` (or through `stops`,
    a list of (position 0..1, colour))."""
    width, height = size
    if stops is None:
        stops = [(0.0, top), (1.0, bottom)]
    image = Image.new("RGB", size)
    draw = ImageDraw.Draw(image)
    for y in range(height):
        t = y / max(1, height - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                colour = mix(c0, c1, (t - p0) / max(1e-9, p1 - p0))
                break
        draw.line([(0, y), (width - 1, y)], fill=colour)
    return image


# --------------------------------------------------------------------------
# Text fitted into a box


class TextMask:
    """The ink of one line of text, rendered large: an L mask cropped to the
    ink, with the baseline's row inside the crop."""

    def __init__(self, text, face, tracking=0.0):
        f = font(face, TEXT_RENDER_SIZE)
        pad = TEXT_RENDER_SIZE
        advance = sum(f.getlength(ch) for ch in text)
        advance += tracking * TEXT_RENDER_SIZE * max(0, len(text) - 1)
        canvas = Image.new("L", (int(advance) + 2 * pad, 3 * TEXT_RENDER_SIZE), 0)
        draw = ImageDraw.Draw(canvas)
        baseline = 2 * TEXT_RENDER_SIZE
        if tracking == 0.0:
            draw.text((pad, baseline), text, fill=255, font=f, anchor="ls")
        else:
            x = float(pad)
            for ch in text:
                draw.text((x, baseline), ch, fill=255, font=f, anchor="ls")
                x += f.getlength(ch) + tracking * TEXT_RENDER_SIZE
        box = canvas.getbbox()
        self.mask = canvas.crop(box)
        self.baseline = baseline - box[1]

    @property
    def aspect(self):
        return self.mask.width / self.mask.height


def fit_text(text, face, box, max_stretch=1.25, max_tracking=0.10, top_to_baseline=None):
    """Scales the ink of `text` so that it fills `box` (left, top, right,
    bottom, all inclusive). Letter spacing widens text that is too narrow for
    the box; the rest of the difference is taken up by scaling the two axes
    differently, at most by `max_stretch`; beyond that the ink is centred in
    the box. With `top_to_baseline` the ink's height is instead fixed by the
    distance from the box's top to the given baseline row.

    Returns (mask, (x, y)): the mask to paste and where."""
    left, top, right, bottom = box
    box_w, box_h = right - left + 1, bottom - top + 1
    ink = TextMask(text, face)
    if ink.aspect < box_w / box_h and max_tracking > 0:
        # Widen with letter spacing first: tracking t adds t*size per gap.
        gaps = max(1, len(text) - 1)
        wanted = (box_w / box_h) * ink.mask.height - ink.mask.width
        tracking = min(max_tracking, wanted / (gaps * TEXT_RENDER_SIZE))
        ink = TextMask(text, face, tracking)
    if top_to_baseline is not None:
        scale_y = (top_to_baseline - top) / ink.baseline
        height = max(1, round(ink.mask.height * scale_y))
    else:
        height = box_h
        scale_y = box_h / ink.mask.height
    width = ink.mask.width * scale_y
    ratio = box_w / width
    if ratio > max_stretch:
        width *= max_stretch
    elif ratio < 1 / max_stretch:
        width *= 1 / max_stretch
        # Still too wide: shrink both ways.
        if width > box_w:
            height = max(1, round(height * box_w / width))
            width = box_w
    else:
        width = box_w
    width = max(1, min(box_w, round(width)))
    height = min(box_h, height)
    mask = ink.mask.resize((width, height), Image.Resampling.LANCZOS)
    x = left + (box_w - width) // 2
    y = top if top_to_baseline is not None else top + (box_h - height) // 2
    return mask, (x, y), top + ink.baseline * (height / ink.mask.height)


def paint_text(image, text, face, box, fill, shade=None, s=1, **kwargs):
    """Paints `text` fitted into `box`. `fill` is a colour or a
    (top colour, bottom colour) pair for shaded lettering; `shade` adds a
    dark edge one pixel down and right, kept inside the box. `box`, the
    baseline row and the returned baseline are in pixels of the picture's own
    size; the image is drawn at `s` times that size."""
    left, top, right, bottom = (box[0] * s, box[1] * s, (box[2] + 1) * s - 1,
                                (box[3] + 1) * s - 1)
    if kwargs.get("top_to_baseline") is not None:
        kwargs["top_to_baseline"] *= s
    inner = (left, top, right - s, bottom - s) if shade else (left, top, right, bottom)
    mask, (x, y), baseline = fit_text(text, face, inner, **kwargs)
    if shade:
        image.paste(shade, (x + s, y + s), mask)
    if isinstance(fill[0], tuple):
        colour = vertical_gradient(mask.size, None, None,
                                   stops=list(zip([0.0, 0.45, 1.0], fill)) if len(fill) == 3
                                   else [(0.0, fill[0]), (1.0, fill[1])])
    else:
        colour = Image.new("RGB", mask.size, fill)
    image.paste(colour, (x, y), mask)
    return baseline / s


# --------------------------------------------------------------------------
# Supersampled drawing


class Canvas:
    """Draws at `k` times the size and reduces with a box filter, for smooth
    edges on small pictures. Coordinates are in pixels of the picture's own
    size; the result is `s` times that size."""

    def __init__(self, size, background, k=8, mode="RGB", s=1):
        self.k = k * s
        self.size = (size[0] * s, size[1] * s)
        self.image = Image.new(mode, (self.size[0] * k, self.size[1] * k), background)
        self.draw = ImageDraw.Draw(self.image)

    def p(self, xy):
        return [(x * self.k, y * self.k) for x, y in xy]

    def line(self, xy, fill, width):
        self.draw.line(self.p(xy), fill=fill, width=max(1, round(width * self.k)), joint="curve")

    def round_line(self, xy, fill, width):
        self.line(xy, fill, width)
        r = width / 2
        for x, y in (xy[0], xy[-1]):
            self.ellipse((x - r, y - r, x + r, y + r), fill)

    def polygon(self, xy, fill):
        self.draw.polygon(self.p(xy), fill=fill)

    def ellipse(self, box, fill, outline=None, width=0):
        x0, y0, x1, y1 = box
        self.draw.ellipse([x0 * self.k, y0 * self.k, x1 * self.k, y1 * self.k], fill=fill,
                          outline=outline, width=max(0, round(width * self.k)))

    def rectangle(self, box, fill):
        x0, y0, x1, y1 = box
        self.draw.rectangle([x0 * self.k, y0 * self.k, x1 * self.k - 1, y1 * self.k - 1], fill=fill)

    def rounded(self, box, radius, fill, outline=None, width=0):
        x0, y0, x1, y1 = box
        self.draw.rounded_rectangle([x0 * self.k, y0 * self.k, x1 * self.k - 1, y1 * self.k - 1],
                                    radius=radius * self.k, fill=fill, outline=outline,
                                    width=max(0, round(width * self.k)))

    def result(self):
        return self.image.resize(self.size, Image.Resampling.BOX)


# --------------------------------------------------------------------------
# Main window


def at(i, s):
    """The position, in pixels of the picture's own size, of the centre of
    pixel `i` of the picture drawn `s` times as large (`i` itself when s=1)."""
    return (i + 0.5) / s - 0.5 if s > 1 else i


def make_skin(s=1):
    width, height = 246, 325
    image = Image.new("RGB", (width * s, height * s), CHARCOAL)
    px = image.load()
    # The bands keep their rows (each row is s rows high); the glow is smooth.
    # Soft shadow under the top band: seven rows easing from charcoal to black.
    for y in range(41 * s, 48 * s):
        t = (y // s - 40) / 8
        c = mix(CHARCOAL, BLACK, 1 - (1 - t) ** 2)
        for x in range(width * s):
            px[x, y] = c
    # The black panel with a faint purple glow at the right, high and low.
    for y in range(48 * s, 230 * s):
        upper = math.exp(-((at(y, s) - 78) / 26) ** 2)
        lower = math.exp(-((at(y, s) - 200) / 22) ** 2)
        v = max(upper, lower)
        for x in range(width * s):
            h = math.exp(-((width - 1 - at(x, s)) / 28) ** 2)
            a = v * h
            px[x, y] = (round(5 * a), round(1 * a), round(7 * a))
    # A sharp lip back to the charcoal: a highlight row and a half-tone row.
    for x in range(width * s):
        for y in range(s):
            px[x, 230 * s + y] = (74, 72, 66)
            px[x, 231 * s + y] = (62, 61, 56)
    return image


def button_tile(base, s, size=(27, 17)):
    """The tile of a picture button at `s` times its size; the rows and
    columns that the tile's shading runs over are in pixels of its own size."""
    image = Image.new("RGB", (size[0] * s, size[1] * s), base)
    px = image.load()
    for y in range(size[1] * s):
        for i in range(s):
            px[i, y] = mix(base, (98, 96, 90), 0.75)
            px[s + i, y] = mix(base, (72, 70, 66), 0.5)
    return image, px, size


def make_close_button(s=1):
    base = (41, 40, 38)
    image, px, (width, height) = button_tile(base, s)
    # Warmer towards the top, and a brown line along the top edge.
    for y in range(1 * s, 6 * s):
        t = (6 - y // s) / 6
        for x in range(2 * s, width * s):
            px[x, y] = mix(base, (70, 56, 50), t * t)
    for x in range(width * s):
        for y in range(s):
            px[x, y] = BROWN_LINE
    # The cross, columns 10-16 and rows 6-12.
    glyph = Canvas((7, 7), 0, mode="L", s=s)
    glyph.round_line([(0.9, 0.9), (6.1, 6.1)], 255, 1.6)
    glyph.round_line([(6.1, 0.9), (0.9, 6.1)], 255, 1.6)
    mask = glyph.result()
    image.paste(Image.new("RGB", mask.size, (215, 214, 209)), (10 * s, 6 * s), mask)
    return image


def make_minimise_button(s=1):
    base = (38, 38, 36)
    image, px, (width, height) = button_tile(base, s)
    # The lower six rows shade into brown, ending in a brown line.
    for y in range((height - 6) * s, (height - 1) * s):
        t = (y // s - (height - 7)) / 6
        for x in range(2 * s, width * s):
            px[x, y] = mix(base, (76, 62, 56), t * t)
    for x in range(width * s):
        for y in range((height - 1) * s, height * s):
            px[x, y] = BROWN_LINE
    # A downward chevron, columns 10-18 and rows 5-9.
    glyph = Canvas((9, 5), 0, mode="L", s=s)
    glyph.line([(0.7, 0.8), (4.5, 4.3), (8.3, 0.8)], 255, 1.5)
    mask = glyph.result()
    image.paste(Image.new("RGB", mask.size, (195, 194, 192)), (10 * s, 5 * s), mask)
    return image


def draw_flag(c, pole_x, top, cloth_w, cloth_h, wave=2.5, pole_bottom=None,
              pole_colour=(176, 150, 110), pole_width=1.1):
    """A waving flag of Bangladesh on a pole. Coordinates in output pixels."""
    steps = 40
    x0 = pole_x + 1.2

    def edge(t, base_y):
        return base_y + wave * math.sin(t * math.pi * 1.6 - 0.3) - wave * 0.6 * t

    upper = [(x0 + t * cloth_w, edge(t, top)) for t in (i / steps for i in range(steps + 1))]
    lower = [(x0 + t * cloth_w, edge(t, top + cloth_h) - 1.5 * t)
             for t in (i / steps for i in range(steps + 1))]
    # Folds: darker and lighter vertical strips following the wave.
    for i in range(steps):
        t = (i + 0.5) / steps
        light = 0.5 + 0.5 * math.cos(t * math.pi * 1.6 - 0.3)
        colour = mix((0, 70, 50), (20, 128, 92), light)
        quad = [upper[i], upper[i + 1], lower[i + 1], lower[i]]
        c.polygon(quad, colour)
    # The red disc sits a little towards the hoist (at 45% of the length).
    t = 0.45
    cx = x0 + t * cloth_w
    cy = (edge(t, top) + edge(t, top + cloth_h) - 1.5 * t) / 2
    r = cloth_h * 0.32
    light = 0.5 + 0.5 * math.cos(t * math.pi * 1.6 - 0.3)
    c.ellipse((cx - r * 0.92, cy - r, cx + r * 0.92, cy + r), mix((196, 24, 44), FLAG_RED, light))
    bottom = pole_bottom if pole_bottom is not None else top + cloth_h + 12
    c.line([(pole_x, top - 1.5), (pole_x, bottom)], pole_colour, pole_width)
    c.ellipse((pole_x - 1.1, top - 3.2, pole_x + 1.1, top - 1.0), (214, 190, 120))


def make_banner(s=1):
    width, height = 251, 51
    c = Canvas((width, height), BLACK, k=6, s=s)
    # The flag and its pole, columns 9-83.
    draw_flag(c, pole_x=10.0, top=4.5, cloth_w=72.2, cloth_h=27.0, wave=3.0, pole_bottom=50)
    # A small grey cartoon figure in the bottom corner, one arm up on the pole.
    grey, light, dark = (150, 150, 146), (186, 186, 182), (60, 60, 58)
    c.round_line([(19.0, 44.0), (19.5, 52.0)], grey, 6.0)      # body
    c.round_line([(17.0, 45.0), (12.0, 38.0)], grey, 2.2)      # raised arm
    c.ellipse((9.0, 35.6, 13.0, 39.6), light)                  # fist round the pole
    c.round_line([(21.5, 46.0), (26.0, 50.0)], grey, 2.0)      # other arm
    c.ellipse((13.0, 31.0, 26.0, 44.0), grey)                  # head
    c.ellipse((15.0, 32.0, 22.0, 37.0), light)                 # highlight
    c.ellipse((17.2, 36.0, 19.0, 38.2), dark)                  # eyes
    c.ellipse((21.0, 36.0, 22.8, 38.2), dark)
    c.draw.arc([17.0 * c.k, 37.0 * c.k, 24.0 * c.k, 42.0 * c.k], 20, 160, fill=dark,
               width=round(1.0 * c.k))                         # smile
    image = c.result()
    # The title, columns 86-222: the brand word, then the product line.
    paint_text(image, "Tarvelin", SERIF_BOLD, (86, 0, 222, 26),
               ((255, 236, 140), (236, 180, 36), (168, 108, 8)), shade=(70, 40, 0),
               max_stretch=1.2, s=s)
    paint_text(image, "Bangla Radio Player", SANS_BOLD_CONDENSED, (86, 29, 222, 50),
               ((236, 200, 192), (204, 150, 138), (150, 98, 88)), shade=(56, 30, 26),
               max_stretch=1.6, s=s)
    return image


def stick_figure_with_flag(c):
    ink = (40, 40, 40)
    draw_flag(c, pole_x=14.0, top=8.0, cloth_w=62.0, cloth_h=38.0, wave=2.6, pole_bottom=88,
              pole_colour=(128, 90, 46), pole_width=2.0)
    # Figure standing at the lower left, right arm raised to the pole.
    c.ellipse((21.0, 60.0, 35.0, 74.0), WHITE, outline=ink, width=2.0)   # head
    c.round_line([(28.0, 74.0), (28.0, 100.0)], ink, 2.4)               # body
    c.round_line([(28.0, 79.0), (15.0, 66.0)], ink, 2.2)                # raised arm
    c.round_line([(28.0, 80.0), (38.0, 92.0)], ink, 2.2)                # other arm
    c.round_line([(28.0, 100.0), (20.0, 122.0)], ink, 2.4)              # legs
    c.round_line([(28.0, 100.0), (36.0, 122.0)], ink, 2.4)
    c.ellipse((25.2, 65.0, 27.0, 66.8), ink)                             # eyes
    c.ellipse((29.6, 65.0, 31.4, 66.8), ink)
    c.draw.arc([25.0 * c.k, 66.0 * c.k, 32.0 * c.k, 71.0 * c.k], 30, 150, fill=ink,
               width=round(1.2 * c.k))                                   # smile


def make_icon():
    c = Canvas((120, 130), WHITE, k=8)
    stick_figure_with_flag(c)
    image = c.result()
    brown = ((150, 90, 50), (104, 56, 24))
    paint_text(image, "Tarvelin", SERIF_BOLD, (42, 78, 116, 97), brown, max_stretch=1.15)
    paint_text(image, "Radio Player", SERIF_BOLD_CONDENSED, (42, 103, 116, 121), brown,
               max_stretch=1.3)
    return image


def make_hicolor_icon(icon):
    size = 128
    scale = size / max(icon.size)
    w, h = round(icon.width * scale), round(icon.height * scale)
    scaled = icon.resize((w, h), Image.Resampling.LANCZOS)
    square = Image.new("RGB", (size, size), WHITE)
    square.paste(scaled, ((size - w) // 2, (size - h) // 2))
    return square


# --------------------------------------------------------------------------
# Credits window


def draw_microphone(image, left, top, s=1):
    """A studio condenser microphone in a shock mount on a short stand."""
    w, h = 120, 250
    c = Canvas((w, h), BLACK, k=6, s=s)
    k = c.k
    cx = 58.0
    # Stand: a tube down to a round foot.
    c.rounded((cx - 5, 150, cx + 5, 236), 3, (70, 70, 74))
    c.rounded((cx - 3, 150, cx - 0.5, 236), 1, (128, 128, 134))
    c.ellipse((cx - 40, 228, cx + 40, 244), (44, 44, 48))
    c.ellipse((cx - 38, 228, cx + 38, 240), (92, 92, 98))
    c.ellipse((cx - 30, 229, cx + 18, 235), (140, 140, 148))
    # Shock mount: a ring with elastic cords and a yoke.
    c.line([(cx - 34, 88), (cx - 34, 132), (cx, 152), (cx + 34, 132), (cx + 34, 88)],
           (110, 110, 116), 2.6)
    c.ellipse((cx - 37, 82, cx + 37, 100), None, outline=(150, 150, 158), width=2.4)
    for dx in (-26, -8, 8, 26):
        c.line([(cx + dx, 86), (cx + dx * 0.55, 96)], (190, 150, 60), 1.2)
    # The body: a rounded capsule with a mesh grille on top.
    body = (cx - 24, 6, cx + 24, 150)
    c.rounded(body, 24, (60, 62, 68))
    grille = Image.new("RGB", c.image.size, BLACK)
    g = ImageDraw.Draw(grille)
    gx0, gy0, gx1, gy1 = (cx - 22.5) * k, 7.5 * k, (cx + 22.5) * k, 74 * k
    g.rounded_rectangle([gx0, gy0, gx1, gy1], radius=22.5 * k, fill=(30, 30, 34))
    step = 3 * k
    for i in range(-40, 40):
        x = cx * k + i * step
        g.line([(x, gy0), (x + (gy1 - gy0), gy1)], fill=(150, 152, 160), width=k // 2)
        g.line([(x, gy0), (x - (gy1 - gy0), gy1)], fill=(150, 152, 160), width=k // 2)
    grille_mask = Image.new("L", c.image.size, 0)
    ImageDraw.Draw(grille_mask).rounded_rectangle([gx0, gy0, gx1, gy1], radius=22.5 * k, fill=255)
    c.image.paste(grille, (0, 0), grille_mask)
    # Shading of the body: a light stripe left of centre, dark at the edges.
    shade = Image.new("L", c.image.size, 0)
    sd = ImageDraw.Draw(shade)
    for i in range(0, int(48 * k)):
        x = (cx - 24) * k + i
        t = i / (48 * k)
        light = math.exp(-((t - 0.32) / 0.16) ** 2)
        sd.line([(x, 0), (x, 150 * k)], fill=int(110 * light))
    body_mask = Image.new("L", c.image.size, 0)
    ImageDraw.Draw(body_mask).rounded_rectangle(
        [body[0] * k, body[1] * k, body[2] * k - 1, body[3] * k - 1], radius=24 * k, fill=255)
    c.image.paste((235, 235, 245), (0, 0), ImageChops.multiply(shade, body_mask))
    dark = Image.new("L", c.image.size, 0)
    dd = ImageDraw.Draw(dark)
    for i in range(0, int(48 * k)):
        x = (cx - 24) * k + i
        t = i / (48 * k)
        dd.line([(x, 0), (x, 150 * k)], fill=int(150 * max(0.0, (t - 0.7) / 0.3) ** 1.5))
    c.image.paste(BLACK, (0, 0), ImageChops.multiply(dark, body_mask))
    # Ring between grille and body, and a small badge.
    c.rounded((cx - 24.5, 74, cx + 24.5, 80), 2, (176, 168, 120))
    c.rounded((cx - 24.5, 75, cx + 24.5, 76.2), 1, (232, 222, 170))
    c.ellipse((cx - 4, 100, cx + 4, 108), (190, 170, 90))
    c.ellipse((cx - 2.4, 101.6, cx + 2.4, 106.4), (40, 40, 44))
    mic = c.result()
    image.paste(mic, (left * s, top * s))


def make_credits(s=1):
    width, height = 431, 311
    image = Image.new("RGB", (width * s, height * s), BLACK)
    draw_microphone(image, 4, 58, s)
    green = ((150, 255, 110), (40, 200, 40), (10, 120, 20))
    baseline = paint_text(image, "Tarvelin Bangla Radio Player", SANS_BOLD_CONDENSED,
                          (32, 28, 344, 50), green, shade=(0, 60, 0), max_stretch=1.3, s=s)
    paint_text(image, "v1.8", SANS_BOLD_CONDENSED, (354, 28, 405, 50), green, shade=(0, 60, 0),
               max_stretch=1.3, top_to_baseline=round(baseline), s=s)
    blue = ((110, 150, 255), (40, 80, 240))
    paint_text(image, "Thank you for", SERIF_BOLD, (146, 80, 371, 101), blue, max_tracking=0.03,
               max_stretch=1.35, s=s)
    paint_text(image, "Using", SERIF_BOLD, (146, 109, 207, 130), blue, s=s)
    paint_text(image, "this player", SERIF_BOLD, (216, 109, 327, 130), blue, s=s)
    paint_text(image, "Created by", SANS_BOLD, (172, 163, 278, 179), (150, 240, 140), s=s)
    paint_text(image, "A. Example", SANS_BOLD_CONDENSED, (286, 204, 341, 216), (255, 232, 150),
               max_stretch=1.45, s=s)
    paint_text(image, "author@tarvelin.example.com", SANS_BOLD, (132, 225, 415, 240),
               (190, 230, 255), s=s)
    paint_text(image, "http://www.tarvelin.example.com", SANS_BOLD, (132, 265, 378, 280),
               (245, 245, 245), s=s)
    paint_text(image, "http://radio.tarvelin.example.org", SANS_BOLD_CONDENSED,
               (137, 286, 381, 301), (90, 220, 90), s=s)
    return image


def make_credits_close(s=1):
    c = Canvas((21, 19), BLACK, k=8, s=s)
    c.rectangle((0, 0, 21, 19), (120, 30, 10))
    c.rounded((0.6, 0.6, 20.4, 18.4), 2.4, (244, 108, 56))
    c.rounded((1.6, 1.6, 20.4, 18.4), 2.0, (196, 52, 20))
    c.rounded((1.6, 1.6, 19.4, 17.4), 2.0, (228, 76, 34))
    c.round_line([(6.2, 5.2), (14.8, 13.8)], WHITE, 2.2)
    c.round_line([(14.8, 5.2), (6.2, 13.8)], WHITE, 2.2)
    return c.result()


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_pictures.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    missing = [f for f in (SANS_BOLD, SANS_BOLD_CONDENSED, SERIF_BOLD, SERIF_BOLD_CONDENSED)
               if not os.path.exists(os.path.join(FONT_DIR, f))]
    if missing:
        sys.stderr.write("make_pictures.py: missing fonts %s in %s (install fonts-dejavu-core)\n"
                         % (", ".join(missing), FONT_DIR))
        return 1
    os.makedirs(out, exist_ok=True)
    # The skin's panel must stay nearly black after encoding; quality 100
    # keeps the band edges free of ringing.
    save_jpeg(make_skin(), os.path.join(out, "form1-skin.jpg"), quality=100)
    save_jpeg(make_close_button(), os.path.join(out, "form1-close.jpg"))
    save_jpeg(make_minimise_button(), os.path.join(out, "form1-minimise.jpg"))
    save_jpeg(make_banner(), os.path.join(out, "form1-banner.jpg"))
    icon = make_icon()
    save_png(icon, os.path.join(out, "icon.png"))
    save_ico(icon, os.path.join(out, "icon.ico"))
    save_png(make_hicolor_icon(icon), os.path.join(out, "tarvelin-radio.png"))
    save_jpeg(make_credits(), os.path.join(out, "form2-credits.jpg"))
    save_jpeg(make_credits_close(), os.path.join(out, "form2-close.jpg"))
    # The same pictures for screens of device pixel ratio 2.
    save_jpeg(make_skin(2), os.path.join(out, "form1-skin@2x.jpg"), quality=100)
    save_jpeg(make_close_button(2), os.path.join(out, "form1-close@2x.jpg"))
    save_jpeg(make_minimise_button(2), os.path.join(out, "form1-minimise@2x.jpg"))
    save_jpeg(make_banner(2), os.path.join(out, "form1-banner@2x.jpg"))
    save_jpeg(make_credits(2), os.path.join(out, "form2-credits@2x.jpg"))
    save_jpeg(make_credits_close(2), os.path.join(out, "form2-close@2x.jpg"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
