"""Checks of a screenshot of the main window (frame included) against the window's bands: the
skin's charcoal and black bands, the two picture buttons, the banner, the station list and the
movie strips, sampled in the client area at its offset inside the frame."""

CHARCOAL = (52, 51, 47)


def near(p, colour, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(p[:3], colour))


class Shot:
    def __init__(self, path, offset, client_size):
        from PIL import Image  # python3-pil; run with /usr/bin/python3

        self.image = Image.open(path).convert("RGB")
        self.ox, self.oy = offset
        self.w, self.h = client_size
        self.px = self.image.load()

    def pixel(self, x, y):
        return self.px[self.ox + x, self.oy + y]

    def region(self, x0, x1, y0, y1):
        """Pixels of client columns x0..x1 and rows y0..y1, both ends included."""
        return [self.pixel(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)]

    def share(self, x0, x1, y0, y1, test):
        pixels = self.region(x0, x1, y0, y1)
        return sum(1 for p in pixels if test(p)) / float(len(pixels))


def dark(limit):
    return lambda p: max(p) <= limit


def check_main_window(shot):
    """Returns a list of (check, passed, detail)."""
    results = []

    def expect(name, value, passed):
        results.append((name, bool(passed), value))

    frame_w, frame_h = shot.image.size
    expect("client area is 246 x 325", "%dx%d" % (shot.w, shot.h), (shot.w, shot.h) == (246, 325))
    expect("screenshot includes a frame around the client area",
           "picture %dx%d, client at %d,%d" % (frame_w, frame_h, shot.ox, shot.oy),
           frame_h > shot.h and shot.oy > 0 and frame_w >= shot.w)
    charcoal = lambda p: near(p, CHARCOAL, 14)  # noqa: E731  (JPEG leaves a few levels)
    s = shot.share(0, 245, 17, 39, charcoal)
    expect("rows 17-39: date line on the charcoal band", "%.0f%% charcoal" % (100 * s), s >= 0.5)
    s = shot.share(243, 245, 0, 16, charcoal)
    expect("rows 0-16, columns 243-245: skin, charcoal", "%.0f%% charcoal" % (100 * s), s >= 0.8)
    s = shot.share(0, 245, 91, 95, dark(24))
    expect("rows 91-95: skin, black panel", "%.0f%% black" % (100 * s), s >= 0.9)
    s = shot.share(0, 245, 123, 127, dark(24))
    expect("rows 123-127: skin, black panel", "%.0f%% black" % (100 * s), s >= 0.9)
    s = shot.share(0, 245, 290, 320, charcoal)
    expect("rows 290-320: layout strip over the charcoal skin", "%.0f%% charcoal" % (100 * s),
           s >= 0.5)
    s = shot.share(0, 192, 0, 16, charcoal)
    expect("rows 0-16, columns 0-192: title strip on black, not skin", "%.0f%% charcoal"
           % (100 * s), s <= 0.3)
    # Minimise picture: dark tile, light chevron in its columns 10-18, rows 5-9.
    light = max(max(p) for p in shot.region(202, 210, 5, 9))
    tile = shot.share(194, 200, 2, 10, dark(90))
    expect("minimise picture: light chevron on a dark tile",
           "chevron max %d, tile %.0f%% dark" % (light, 100 * tile), light >= 150 and tile >= 0.8)
    # Close picture: light cross in its columns 10-16, rows 6-12 (client columns 226-232).
    light = max(max(p) for p in shot.region(226, 232, 6, 12))
    tile = shot.share(220, 224, 2, 14, dark(90))
    expect("close picture: light cross on a dark tile",
           "cross max %d, tile %.0f%% dark" % (light, 100 * tile), light >= 150 and tile >= 0.8)
    # Banner: golden lettering at the right, a green flag at the left, black around.
    gold = shot.share(86, 222, 40, 66, lambda p: p[0] > 150 and p[1] > 100 and p[2] < 100)
    green = shot.share(9, 83, 40, 90, lambda p: p[1] > p[0] + 30 and p[1] > p[2] + 20)
    expect("banner: golden brand word and a green flag",
           "gold %.1f%%, green %.1f%%" % (100 * gold, 100 * green), gold >= 0.05 and green >= 0.05)
    s = shot.share(4, 200, 100, 118, dark(40))
    expect("station list on its black (menu text) colour", "%.0f%% black" % (100 * s), s >= 0.6)
    return results


def static_difference(a, b):
    """Mean absolute difference over the parts of the window that never change (skin bands,
    banner, picture buttons)."""
    regions = [(0, 245, 40, 95), (193, 245, 0, 16), (0, 245, 123, 127)]
    total, count = 0, 0
    for x0, x1, y0, y1 in regions:
        for pa, pb in zip(a.region(x0, x1, y0, y1), b.region(x0, x1, y0, y1)):
            total += sum(abs(u - v) for u, v in zip(pa, pb))
            count += 3
    return total / float(count)
