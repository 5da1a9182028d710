"""Drives the viewer's right-button GLUT menu with xdotool, as a user does with the mouse.

    choose(app, "File format", "PNG")   # right-click, hover "File format", click "PNG" in its sub-menu
    choose(app, "Quit (Q)")             # right-click, click the main entry

freeglut shows every menu level as its own override-redirect X window titled "freeglut menu", the main menu with
its top-left corner at the pointer, a sub-menu beside the entry that opened it once the pointer rests on that
entry. The entry positions are taken from the geometry of those windows: a menu of n entries is n rows of equal
height between two equal borders. choose() also checks that every level has the number of entries listed in MENU,
so a menu tree of another shape fails the test instead of clicking the wrong entry.
"""

import time

from ovalix_window import DEFAULT_TIMEOUT, xdotool

MENU_WINDOW_TITLE = "freeglut menu"

# The viewer's menu tree, in display order.
MAIN_ENTRIES = ("Light", "Print", "File format", "Timestep", "Quit (Q)")
SUBMENUS = {
    "Light": ("Stationary Light", "Moving Light"),
    "Print": ("Print Images", "Do Not Print Images", "Print This Screen (Enter)"),
    "File format": ("JPG", "PNG", "BMP"),
    "Timestep": ("Hide Timestep (t)", "Show Timestep"),
}


def menu_boxes():
    """Screen rectangles (x, y, width, height) of the menu windows mapped now."""
    out = xdotool("search", "--onlyvisible", "--name", "^%s$" % MENU_WINDOW_TITLE, check=False)
    boxes = []
    for wid in out.split():
        shell = xdotool("getwindowgeometry", "--shell", wid, check=False)
        values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        try:
            boxes.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        except (KeyError, ValueError):
            continue  # unmapped while we asked
    return boxes


def _wait_for(find, what, timeout=DEFAULT_TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        found = find()
        if found is not None:
            return found
        if time.monotonic() > deadline:
            raise AssertionError("%s within %.0f s (menu windows: %s)" % (what, timeout, menu_boxes()))
        time.sleep(0.05)


def row_centre(box, count, index):
    """Screen point in the middle of entry `index` of a menu window with `count` entries."""
    x, y, width, height = box
    # Rows of equal height between two borders: the midpoint of the proportional slice is off by at most a border.
    return x + width // 2, y + (height * (2 * index + 1)) // (2 * count)


def _same_row_height(main_box, main_count, sub_box, sub_count):
    """True when both menus are rows of one height between borders of one width (0 to 4 pixels)."""
    for border in range(5):
        main_rows, sub_rows = main_box[3] - 2 * border, sub_box[3] - 2 * border
        if main_rows % main_count == 0 and sub_rows % sub_count == 0 and \
                main_rows // main_count == sub_rows // sub_count:
            return True
    return False


def open_menu(app, at=(30, 30)):
    """Right-clicks at window pixel `at` and returns the screen rectangle of the main menu that opens there."""
    if menu_boxes():
        raise AssertionError("a menu is already open: %s" % menu_boxes())
    left, top = app.geometry()[:2]
    _move(left + at[0], top + at[1])
    pointer = _pointer()
    xdotool("click", 3)

    def opened():
        boxes = [b for b in menu_boxes() if abs(b[0] - pointer[0]) <= 2 and abs(b[1] - pointer[1]) <= 2]
        return boxes[0] if boxes else None

    box = _wait_for(opened, "no menu opened at the pointer %s" % (pointer,))
    height = box[3]
    # Five rows between two borders: the height is 5 rows plus at most 8 border pixels.
    if not any((height - 2 * border) % len(MAIN_ENTRIES) == 0 for border in range(5)):
        raise AssertionError("the main menu (%s) is not %d rows high" % (box, len(MAIN_ENTRIES)))
    return box


def _pointer():
    values = dict(item.split(":", 1) for item in xdotool("getmouselocation").split())
    return int(values["x"]), int(values["y"])


def _move(x, y):
    # NOTE: --sync waits for the pointer to move, which it never does when it is there already.
    if _pointer() != (x, y):
        xdotool("mousemove", "--sync", x, y)


def choose(app, *labels, at=(30, 30)):
    """Opens the menu at window pixel `at` and clicks the entry reached through `labels` (one or two labels)."""
    main = open_menu(app, at)
    first = MAIN_ENTRIES.index(labels[0])
    x, y = row_centre(main, len(MAIN_ENTRIES), first)
    _move(x, y)
    if len(labels) == 1:
        if labels[0] in SUBMENUS:
            raise ValueError("%r opens a sub-menu; name one of its entries" % labels[0])
    else:
        entries = SUBMENUS[labels[0]]
        right = main[0] + main[2]

        def submenu():
            boxes = [b for b in menu_boxes() if b != main and b[0] >= right - 2 and b[1] <= y < b[1] + b[3]]
            return boxes[0] if boxes else None

        sub = _wait_for(submenu, "no sub-menu beside %r" % labels[0])
        if not _same_row_height(main, len(MAIN_ENTRIES), sub, len(entries)):
            raise AssertionError("the sub-menu %r (%s) does not hold %d entries of the main menu's row height (%s)"
                                 % (labels[0], sub, len(entries), main))
        # Sideways into the sub-menu on the same row, so that the pointer never crosses another main entry.
        _move(sub[0] + sub[2] // 2, y)
        _move(*row_centre(sub, len(entries), entries.index(labels[1])))
    time.sleep(0.2)  # let the menu follow the pointer before the click
    xdotool("click", 1)
    _wait_for(lambda: True if not menu_boxes() else None, "the menu did not close after the click")
