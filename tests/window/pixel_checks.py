"""Pixel judgements for window tests: masks, coverage, colour at a point, image differences, waiting for a view.

Everything works on RGB PIL images as Ovalix.grab returns them and judges with tolerances, never exact bytes.
Scene geometry used by the tests: with the initial camera (eye 200 units in front of the frame centre, 45 degree
vertical field of view, 1024 x 640 window) one scene unit at the frame centre's depth spans PIXELS_PER_UNIT
pixels, and the frame centre is drawn at the window centre.
"""

import math
import time

from PIL import Image, ImageChops

from ovalix_window import DEFAULT_TIMEOUT

WIDTH, HEIGHT = 1024, 640
CENTRE = (WIDTH / 2, HEIGHT / 2)
PIXELS_PER_UNIT = (HEIGHT / 2) / (200 * math.tan(math.radians(22.5)))  # about 3.86


def to_pixel(x, y, depth=200.0):
    """Window pixel of the scene point (x, y) relative to the frame centre, at `depth` units from the eye."""
    scale = PIXELS_PER_UNIT * 200.0 / depth
    return CENTRE[0] + x * scale, CENTRE[1] - y * scale


def rgb255(colour):
    return tuple(int(round(255 * c)) for c in colour)


def lit_front(diffuse):
    """Colour of a surface that faces the viewer squarely under the two lights of the scene.

    Ambient: material 0.8 times (global 0.2 + 0.1 from each light) = 0.32; diffuse: light 0 comes from the
    eye-space direction (50, 0, 100), so 0.9 * cos = 0.9 * 100 / sqrt(50^2 + 100^2); light 1 is behind."""
    cosine = 100 / math.hypot(50, 100)
    return tuple(min(1.0, 0.32 + 0.9 * cosine * c) for c in diffuse)


def _threshold(band, limit):
    return band.point(lambda v: 255 if v > limit else 0)


def differs_from(image, colour, limit=30):
    """Mask (mode L) of the pixels whose colour differs from `colour` (0..255 RGB) by more than limit in a channel."""
    difference = ImageChops.difference(image, Image.new("RGB", image.size, colour))
    r, g, b = difference.split()
    return _threshold(ImageChops.lighter(ImageChops.lighter(r, g), b), limit)


def dominant(image, channel, margin=50):
    """Mask of the pixels whose channel ("r", "g" or "b") exceeds both other channels by more than margin."""
    bands = dict(zip("rgb", image.split()))
    main = bands[channel]
    others = [bands[c] for c in "rgb" if c != channel]
    lead = ImageChops.darker(ImageChops.subtract(main, others[0]), ImageChops.subtract(main, others[1]))
    return _threshold(lead, margin)


def count(mask):
    return mask.histogram()[255]


def bbox_centre(mask):
    box = mask.getbbox()
    if box is None:
        return None
    return (box[0] + box[2] - 1) / 2, (box[1] + box[3] - 1) / 2


def bbox_size(mask):
    box = mask.getbbox()
    return (0, 0) if box is None else (box[2] - box[0], box[3] - box[1])


def region(mask, centre, half_width, half_height):
    """The mask with everything outside the rectangle around centre cleared (coordinates stay those of the window)."""
    cx, cy = centre
    box = (max(0, int(cx - half_width)), max(0, int(cy - half_height)),
           min(mask.width, int(cx + half_width) + 1), min(mask.height, int(cy + half_height) + 1))
    out = Image.new("L", mask.size, 0)
    out.paste(mask.crop(box), box[:2])
    return out


def colour_at(image, point, radius=2):
    """Median colour of the (2 radius + 1)^2 pixels around point."""
    x, y = int(round(point[0])), int(round(point[1]))
    pixels = [image.getpixel((i, j)) for i in range(x - radius, x + radius + 1)
              for j in range(y - radius, y + radius + 1)]
    return tuple(sorted(p[k] for p in pixels)[len(pixels) // 2] for k in range(3))


def close_colour(actual, expected, tolerance):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def changed_pixels(first, second, limit=40):
    """Number of pixels that differ by more than limit in some channel between two images."""
    difference = ImageChops.difference(first, second)
    r, g, b = difference.split()
    return count(_threshold(ImageChops.lighter(ImageChops.lighter(r, g), b), limit))


def wait_for_view(app, judge, what, timeout=DEFAULT_TIMEOUT, stable=2):
    """Grabs the window until judge(image) gives a true value for `stable` identical grabs in a row; returns the image.

    judge returns a pair (ok, description); the description of the last grab is reported on a timeout, so a view
    that never comes says what was shown instead."""
    deadline = time.monotonic() + timeout
    previous, same, description = None, 0, "nothing grabbed"
    while True:
        image = app.grab()
        ok, description = judge(image)
        if ok:
            same = same + 1 if previous is not None and image.tobytes() == previous.tobytes() else 1
            previous = image
            if same >= stable:
                return image
        else:
            previous, same = None, 0
        if time.monotonic() > deadline:
            raise AssertionError("the window never showed %s within %.0f s; last grab: %s"
                                 % (what, timeout, description))
        if not app.running():
            raise AssertionError("ovalix ended (status %s) while waiting for %s; output:\n%s"
                                 % (app.process.poll(), what, app.output))
        time.sleep(0.05)


def wait_until_changed(app, reference, what, minimum=200, timeout=DEFAULT_TIMEOUT):
    """Waits for a settled view that differs from reference in at least `minimum` pixels."""
    def judge(image):
        n = changed_pixels(reference, image)
        return n >= minimum, "%d pixels differ from the earlier view" % n
    return wait_for_view(app, judge, what, timeout)


def wait_until_restored(app, reference, what, allowed=60, timeout=DEFAULT_TIMEOUT):
    """Waits for a settled view that differs from reference in at most `allowed` pixels (rounding at edges)."""
    def judge(image):
        n = changed_pixels(reference, image)
        return n <= allowed, "%d pixels differ from the earlier view" % n
    return wait_for_view(app, judge, what, timeout)
