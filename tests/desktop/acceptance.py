#!/usr/bin/env python3
"""KuRoEView tried as a person would, on a real X server.

Run inside an X server (tests/desktop/acceptance.sh starts Xvfb, and for the
second pass the openbox window manager on it). Usage:
acceptance.py KUROEVIEW SAMPLES-TOOL OUTPUT-FOLDER [window-manager]

Drives the real program with X input (xdotool) and checks what a user would
see: which windows are mapped, their titles and sizes, and the pixels of the
thumbnail cells, the viewer and the full-screen view. Every step saves a PNG
screenshot in OUTPUT-FOLDER. Positions inside windows are derived from the
pixels on the screen or from the program's own layout in twips (15 twips per
pixel at 96 dpi, times QT_SCALE_FACTOR); no text is read from the program.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

PROGRAM, SAMPLES_TOOL, OUTPUT = (os.path.abspath(a) for a in sys.argv[1:4])
UNDER_WINDOW_MANAGER = sys.argv[4:5] == ["window-manager"]
SCALE = float(os.environ.get("QT_SCALE_FACTOR", "1"))
CELL_GREY = (192, 192, 192)
STARTED = []
SELECTED_BLUE = (0, 0, 128)


def px(twips):
    return int(round(twips / 15.0 * SCALE))


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout.strip()


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def matches(pixel, colour):
    """colour is an exact RGB triple or a test of a pixel."""
    return colour(pixel) if callable(colour) else pixel == colour


def highlight(pixel):
    """The selection colour of the style: a strong mid blue."""
    r, g, b = pixel
    return r < 90 and 110 < g < 170 and b > 170


class Screen:
    """A screenshot of the whole X screen with its pixels."""

    def __init__(self, name):
        self.path = os.path.join(OUTPUT, name + ".png")
        subprocess.run(["import", "-window", "root", self.path], check=True)
        ppm = subprocess.run(["convert", self.path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        parts = ppm.split(b"\n", 3)
        self.width, self.height = (int(v) for v in parts[1].split())
        self.data = parts[3]

    def crop(self, name, window):
        """Saves the part of the screen a window covers, for the README."""
        x, y, w, h = window[:4]
        subprocess.run(["convert", self.path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                        os.path.join(OUTPUT, name + ".png")], check=True)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def count(self, colour, box):
        left, top, right, bottom = box
        return sum(1 for y in range(max(0, top), min(self.height, bottom))
                   for x in range(max(0, left), min(self.width, right)) if self.pixel(x, y) == colour)

    def runs(self, colour, box, axis_x=None, axis_y=None):
        """Centres of runs of colour along one column (axis_x) or row (axis_y)."""
        left, top, right, bottom = box
        found, start = [], None
        positions = range(top, bottom) if axis_x is not None else range(left, right)
        for p in list(positions) + [None]:
            hit = p is not None and matches(self.pixel(axis_x if axis_x is not None else p,
                                                       p if axis_x is not None else axis_y), colour)
            if hit and start is None:
                start = p
            elif not hit and start is not None:
                found.append(((start + (p if p is not None else bottom)) // 2, (p or bottom) - start))
                start = None
        return found


def windows():
    """Viewable top-level windows: title -> (x, y, width, height)."""
    result = {}
    for wid in run("xdotool", "search", "--onlyvisible", "--classname", "kuroeview").split():
        info = run("xwininfo", "-id", wid)
        if "IsViewable" not in info:
            continue
        values = {}
        for line in info.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        title = run("xdotool", "getwindowname", wid)
        if len(values) == 4 and values["Width"] > 1:
            result[title] = (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                             values["Width"], values["Height"], wid)
    return result


def wait_for(predicate, what, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise Failure("timed out waiting for " + what + "; windows: " + repr(list(windows())))


def window(title, seconds=60):
    return wait_for(lambda: windows().get(title), "window " + title, seconds)


def gone(title, seconds=60):
    wait_for(lambda: title not in windows(), "window " + title + " to go", seconds)


def click(x, y, button=1, repeat=1):
    run("xdotool", "mousemove", "--sync", str(x), str(y))
    run("xdotool", "click", "--repeat", str(repeat), "--delay", "60", str(button))


def keys(wid, *sequence):
    run("xdotool", "windowfocus", "--sync", wid)
    for key in sequence:
        run("xdotool", "key", "--delay", "60", key)
        time.sleep(0.15)


def settle(seconds=0.6):
    time.sleep(seconds)


def thumbnail_cells(screen, main):
    """Centres of the grey or blue thumbnail cells in the main window's right part."""
    x, y, w, h, _ = main
    box = (x + px(3690), y, x + w - px(240), y + h)
    cells = []
    # Down the first column's left margin, then along each row's top margin,
    # which the pictures leave free; a cell of either colour in either place.
    rows = [run_ for colour in (CELL_GREY, SELECTED_BLUE)
            for run_ in screen.runs(colour, box, axis_x=x + px(3690 + 90) + 2) if run_[1] >= px(600)]
    for cy, length in rows:
        for colour in (CELL_GREY, SELECTED_BLUE):
            for cx, width in screen.runs(colour, box, axis_y=cy - length // 2 + 2):
                if width >= px(600):
                    cells.append((cx, cy, colour))
    return sorted(cells, key=lambda c: (c[1], c[0]))


def highlighted_rows(screen, main):
    """The tree rows in the selection colour, as (centre, height)."""
    x, y, w, h = main[:4]
    return [r for r in screen.runs(highlight, (x, y, x + px(3690), y + h), axis_x=x + px(1500)) if r[1] >= 10 * SCALE]


def start(home, folder):
    environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                       QT_QPA_PLATFORM="xcb")
    log = open(os.path.join(OUTPUT, "program-%d.log" % len(STARTED)), "w")
    process = subprocess.Popen([PROGRAM], cwd=folder, env=environment, stdout=log, stderr=subprocess.STDOUT)
    STARTED.append(process)
    main = window("KuRoE Zuziz")
    settle(1.0)
    return process, windows()["KuRoE Zuziz"]


def close(process, main_window):
    """Ends the program as a user does, from its file menu."""
    keys(main_window[4], "alt+f", "c")
    try:
        process.wait(20)
    except subprocess.TimeoutExpired:
        process.terminate()
        process.wait(10)
    check(process.returncode == 0, "the program ends from its menu")


def main():
    os.makedirs(OUTPUT, exist_ok=True)
    # No key repeats from the X server: on a loaded machine xdotool can be held up between a key's press and
    # its release for longer than the repeat delay, and the repeat is a second press the test never sent.
    subprocess.run(["xset", "r", "off"], check=False)
    scratch = tempfile.mkdtemp()
    try:
        if UNDER_WINDOW_MANAGER:
            window_manager_run(scratch)
            print("acceptance run under a window manager passed")
            return 0
        home = os.path.join(scratch, "home")
        album = os.path.join(home, "Desktop", "album")
        empty = os.path.join(scratch, "start")
        os.makedirs(os.path.join(home, ".config"))
        os.makedirs(empty)
        subprocess.run([SAMPLES_TOOL, album], check=True, capture_output=True)
        names = sorted(os.listdir(album), key=str.lower)
        settings = os.path.join(home, ".config", "VoDaRadezu.INI")

        process, main_window = start(home, empty)
        Screen("01-start")
        check(main_window[2] >= px(12015) - 2, "the main window opens at its design width")

        # A folder of the tree, found by typing its name and clicking its highlighted row.
        keys(main_window[4], "a", "l", "b")
        x, y, w, h, wid = main_window
        rows = wait_for(lambda: highlighted_rows(Screen("02-tree-selection"), main_window),
                        "the typed folder highlighted in the tree")
        check(len(rows) == 1, "the typed folder is highlighted in the tree")
        click(x + px(1500), rows[0][0])
        wait_for(lambda: len(windows()) == 1 and len(thumbnail_cells(Screen("03-loading"), main_window)) >= len(names),
                 "the stop box to go and the cells to be drawn")
        screen = Screen("03-album")
        screen.crop("window-main", main_window)
        cells = thumbnail_cells(screen, main_window)
        check(len(cells) == len(names), "one cell per picture (%d)" % len(names))

        # Single click: the cell turns dark blue and the preview pane shows the picture.
        first = cells[0]
        click(first[0], first[1] - px(300))
        preview_box = (x + px(135), y + h - px(2625 + 315 + 100), x + px(135 + 3375), y + h - px(315 + 100))

        def preview_colours(screen):
            return {screen.pixel(px_, py) for px_ in range(preview_box[0] + 5, preview_box[2] - 5, 7)
                    for py in range(preview_box[1] + 5, preview_box[3] - 5, 7)}
        screen = wait_for(lambda: (lambda s: s if s.pixel(first[0] - px(380), first[1] - px(360)) == SELECTED_BLUE
                                   and len(preview_colours(s)) > 3 else None)(Screen("04-selected")),
                          "the clicked cell highlighted and its preview shown")
        check(screen.pixel(first[0] - px(380), first[1] - px(360)) == SELECTED_BLUE, "the clicked cell is dark blue")
        check(len(preview_colours(screen)) > 3, "the preview pane shows a picture")

        # Double click: the viewer opens with the file name, the main window goes.
        click(first[0], first[1] - px(300), repeat=2)
        viewer = window(names[0])
        gone("KuRoE Zuziz")
        screen = Screen("05-viewer")
        screen.crop("window-viewer", viewer)
        check(viewer[2] >= px(6800) - 2 and viewer[3] >= px(3000) - 2, "the viewer is at least 6800 x 3000 twips")

        # Zoom in twice from the view menu.
        widths = [viewer[2]]
        for step in range(2):
            keys(viewer[4], "alt+v", "Return")
            # A command given while the last one still places the picture is left out.
            settle(1.0)
            widths.append(window(names[0])[2])
        widths[2] = wait_for(lambda: (lambda v: v if v > widths[0] else None)(window(names[0])[2]),
                             "the viewer widened around the zoomed picture")
        screen = Screen("06-zoomed")
        check(widths[2] > widths[0] and widths[1] >= widths[0], "zooming in widens the viewer around the picture")
        viewer = window(names[0])

        # Middle button: full screen on black; a double click goes back to the thumbnails.
        click(viewer[0] + viewer[2] // 2, viewer[1] + viewer[3] // 2, button=2)
        full = window("フルスクリーンビューア")
        gone(names[0])
        # The picture is painted some moments after the window maps.
        screen = wait_for(lambda: (lambda s: s if s.pixel(s.width // 2, s.height // 2) != (0, 0, 0) else None)(
            Screen("07-full-screen")), "the full-screen picture painted")
        check(full[2] == screen.width and full[3] == screen.height, "full screen covers the screen")
        check(screen.pixel(1, 1) == (0, 0, 0), "full screen is black around the picture")
        check(screen.pixel(screen.width // 2, screen.height // 2) != (0, 0, 0), "the picture is in the middle")
        click(screen.width // 2, screen.height // 2, repeat=2)
        main_window = window("KuRoE Zuziz")
        gone("フルスクリーンビューア")
        check(names[0] not in windows(), "neither the viewer nor the full screen is left")
        Screen("08-back")

        # Add the album as a favourite; it is written to the settings file.
        keys(main_window[4], "alt+a", "Return")

        def stored_text():
            return open(settings, encoding="utf-8").read() if os.path.exists(settings) else ""
        stored = wait_for(lambda: (lambda t: t if "CNT=0" in t else None)(stored_text()), "the settings file written")
        check("FAV0=C:" + album.replace("/", "\\") in stored and "CNT=0" in stored, "the favourite is stored")
        close(process, main_window)

        # Restart in the empty folder and open the favourite from the menu.
        process, main_window = start(home, empty)
        check(len(thumbnail_cells(Screen("09-restart"), main_window)) == 0, "the empty start folder shows no cell")
        keys(main_window[4], "alt+a", "Up", "Return")
        wait_for(lambda: len(thumbnail_cells(Screen("10-favourite"), main_window)) == len(names),
                 "the favourite's pictures")
        Screen("10-favourite")
        keyboard_steps(main_window, names)

        # Settings: clear the GIF box, OK, F5: the GIF picture is gone.
        keys(main_window[4], "alt+f", "o")
        dialog = window("環境設定")
        screen = Screen("11-settings")
        screen.crop("window-settings", dialog)
        check(main_window[4] and "KuRoE Zuziz" in windows(), "the main window stays behind the dialog")
        click(dialog[0] + px(120 + 120 + 120), dialog[1] + px(120 + 420 + 3 * 440 + 165))
        Screen("12-gif-cleared")
        click(dialog[0] + px(4080 + 590), dialog[1] + px(4500 + 195))
        gone("環境設定")
        keys(main_window[4], "F5")
        wait_for(lambda: len(thumbnail_cells(Screen("13-after-f5"), main_window)) == len(names) - 1,
                 "one picture fewer after F5")
        stored = open(settings, encoding="utf-8").read()
        check("TYPE=*ICO;*BMP;*JPG;*.JPEG;*.JPE;*.JFIF;*WMF;*CUR;*.PNG;" in stored, "the pattern without GIF is stored")

        file_steps(main_window, album, home, [n for n in names if not n.lower().endswith(".gif")])

        # About box: the main window hides, the box shows, OK brings the window back.
        keys(main_window[4], "alt+h", "a")
        about = window("ﾊﾞｰｼﾞｮﾝ情報")
        Screen("14-about")
        click(about[0] + px(5700 - 1560 + 660), about[1] + px(2400 + 195))
        gone("ﾊﾞｰｼﾞｮﾝ情報")
        window("KuRoE Zuziz")
        Screen("15-end")
        close(process, window("KuRoE Zuziz"))
        print("acceptance run passed")
        return 0
    except Failure as failure:
        print("FAILED:", failure, flush=True)
        for index, child in enumerate(STARTED):
            print("program %d: %s" % (index, "running" if child.poll() is None else "exit %s" % child.returncode))
            with open(os.path.join(OUTPUT, "program-%d.log" % index)) as log:
                print(log.read()[-2000:])
        try:
            Screen("failure")
        except Exception:
            pass
        return 1
    finally:
        for child in STARTED:
            if child.poll() is None:
                child.kill()
        shutil.rmtree(scratch, ignore_errors=True)


def keyboard_steps(main_window, names):
    """The thumbnails walked with the keyboard: the arrows after a click, Enter, the viewer's Right and
    Escape, Ctrl+Plus for larger cells, and the reverse order from the 表示 menu."""
    x, y, w, h, wid = main_window
    # Where the cells are, none of them selected yet.
    screen = Screen("k1-cells")
    cells = thumbnail_cells(screen, main_window)
    columns = len([c for c in cells if c[1] == cells[0][1]])
    check(len(cells) > columns + 1, "the cells fill more than a row (%d in rows of %d)" % (len(cells), columns))

    def selected(screen, cell):
        return screen.pixel(cell[0] - px(380), cell[1] - px(360)) == SELECTED_BLUE

    def selected_only(index, name):
        def test():
            s = Screen(name)
            return s if [i for i, c in enumerate(cells) if selected(s, c)] == [index] else None
        return wait_for(test, "cell %d alone selected" % index)

    click(cells[0][0], cells[0][1] - px(300))
    selected_only(0, "k2-clicked")
    # The pointer rests on the empty part of the grid, where no hover box covers the cells.
    run("xdotool", "mousemove", "--sync", str(cells[0][0]), str(y + h - px(600)))
    keys(wid, "Right")
    selected_only(1, "k3-right")
    check(True, "Right after a click selects the next cell")
    keys(wid, "Down")
    selected_only(1 + columns, "k4-down")
    check(True, "Down selects the cell below")

    keys(wid, "Return")
    viewer = window(names[1 + columns])
    gone("KuRoE Zuziz")
    check(True, "Enter opens the viewer on the selected picture")
    keys(viewer[4], "Home")
    viewer = window(names[0])
    keys(viewer[4], "Right")
    viewer = window(names[1])
    check(True, "Home and Right in the viewer show the first and the next file")
    keys(viewer[4], "Escape")
    window("KuRoE Zuziz")
    gone(names[1])
    selected_only(1, "k5-escape")
    check(True, "Escape goes back to the thumbnails, on the picture the viewer showed last")

    # Larger cells: fewer in a row.
    keys(wid, "ctrl+plus")
    wait_for(lambda: (lambda c: c and len([d for d in c if d[1] == c[0][1]]) < columns)(
        thumbnail_cells(Screen("k6-larger"), main_window)), "larger cells")
    check(True, "Ctrl+Plus makes larger cells")
    keys(wid, "ctrl+minus")
    wait_for(lambda: (lambda s: len(thumbnail_cells(s, main_window)) == len(cells) and selected(s, cells[1]))(
        Screen("k7-smaller")), "the first size again, the selection on its picture")
    check(True, "Ctrl+Minus goes back to the first size, the selection staying on its picture")
    keys(wid, "Left")
    selected_only(0, "k8-left")
    check(True, "the arrows still walk the thumbnails")

    # The reverse order: the first cell shows the picture the last one showed (a picture is centred on its
    # cell to within a pixel, and its edges may blend differently there).
    def patch(screen, cell, sx=0, sy=0):
        return [screen.pixel(cell[0] + sx + dx, cell[1] + sy + dy) for dx in range(-px(150), px(150), 3)
                for dy in range(-px(150), px(150), 3)]

    def shows(screen, cell, picture):
        return any(sum(a == b for a, b in zip(patch(screen, cell, sx, sy), picture)) >= 0.85 * len(picture)
                   for sx in (-1, 0, 1) for sy in (-1, 0, 1))
    before = Screen("k9-order")
    last = patch(before, cells[-1])
    keys(wid, "alt+v", "o", "r")
    wait_for(lambda: (lambda s: shows(s, cells[0], last))(Screen("k10-reversed")), "the cells in reverse order")
    check(True, "the reverse order puts the last picture first")
    keys(wid, "alt+v", "o", "r")
    wait_for(lambda: (lambda s: shows(s, cells[-1], last))(Screen("k11-by-name")), "the cells by name again")


def file_steps(main_window, album, home, shown):
    """Files acted on from the thumbnails, without F5: Delete moves the selected file to the trash and its cell
    goes, Ctrl+Z brings it back, a file another program copies in shows within 3 s, F2 renames, and a cell
    dragged onto another program's window gives it the file's URI."""
    x, y, w, h, wid = main_window
    count = len(shown)

    def cells_now(name, expected):
        return wait_for(lambda: (lambda c: c if len(c) == expected else None)(
            thumbnail_cells(Screen(name), main_window)), "%d cells" % expected, 20)

    def select(cell, name):
        click(cell[0], cell[1] - px(300))
        # The pointer rests on the empty part of the grid, where no hover box covers the cells.
        run("xdotool", "mousemove", "--sync", str(cell[0]), str(y + h - px(600)))
        wait_for(lambda: Screen(name).pixel(cell[0] - px(380), cell[1] - px(360)) == SELECTED_BLUE,
                 "the cell selected (%s)" % name)

    cells = cells_now("f1-cells", count)
    select(cells[0], "f2-selected")
    keys(wid, "Delete")
    cells_now("f3-deleted", count - 1)
    trash = os.path.join(home, ".local", "share", "Trash")
    check(os.path.exists(os.path.join(trash, "files", shown[0])) and not os.path.exists(os.path.join(album, shown[0])),
          "Delete moves the file to the trash and its cell goes")
    info = open(os.path.join(trash, "info", shown[0] + ".trashinfo")).read()
    check(info.startswith("[Trash Info]\nPath=") and "DeletionDate=" in info, "the trash holds its .trashinfo")
    keys(wid, "ctrl+z")
    cells_now("f4-undone", count)
    check(os.path.exists(os.path.join(album, shown[0])) and not os.path.exists(os.path.join(trash, "files", shown[0])),
          "Ctrl+Z puts the file back and its cell comes back")

    source = next(n for n in shown if n.lower().endswith(".bmp"))
    copied_at = time.time()
    shutil.copyfile(os.path.join(album, source), os.path.join(album, "zz-copy.bmp"))
    cells = cells_now("f5-copied-in", count + 1)
    check(time.time() - copied_at < 3, "a file copied in by another program shows within 3 s (%.1f s)"
          % (time.time() - copied_at))

    select(cells[-1], "f6-last")
    keys(wid, "F2")
    dialog = window("名前の変更", 20)
    Screen("f7-rename")
    keys(dialog[4], "r", "e", "n", "a", "m", "e", "d", "Return")
    wait_for(lambda: os.path.exists(os.path.join(album, "renamed.bmp")), "the file renamed", 20)
    check(not os.path.exists(os.path.join(album, "zz-copy.bmp")), "F2 renames the file")
    gone("名前の変更")
    cells = cells_now("f8-renamed", count + 1)

    target_tool = os.environ.get("KUROEVIEW_DROP_TARGET")
    if not target_tool:
        return
    dropped = os.path.join(OUTPUT, "dropped.txt")
    # Placed in the screen's pixels, beside the main window.
    target = subprocess.Popen([target_tool, dropped, str(x + w + 20), str(y + 40)],
                              env=dict(os.environ, QT_SCALE_FACTOR="1", QT_QPA_PLATFORM="xcb"))
    STARTED.append(target)
    spot = window("drop target", 20)
    # The cells stand in the order of the names.
    names = [n for n in sorted(os.listdir(album), key=str.lower) if not n.lower().endswith(".gif")]
    renamed = cells[names.index("renamed.bmp")]
    run("xdotool", "mousemove", "--sync", str(renamed[0]), str(renamed[1] - px(300)))
    run("xdotool", "mousedown", "1")
    to_x, to_y = spot[0] + spot[2] // 2, spot[1] + spot[3] // 2
    for step in range(1, 21):
        run("xdotool", "mousemove", str(renamed[0] + (to_x - renamed[0]) * step // 20),
            str(renamed[1] - px(300) + (to_y - renamed[1] + px(300)) * step // 20))
        time.sleep(0.05)
    # The target answers the drag's position before the button is let go.
    time.sleep(0.5)
    run("xdotool", "mousemove", "--sync", str(to_x + 2), str(to_y + 2))
    time.sleep(0.5)
    Screen("f9-dragging")
    run("xdotool", "mouseup", "1")
    text = wait_for(lambda: os.path.exists(dropped) and open(dropped, "rb").read(), "the drop target's file", 20)
    uri = text.decode("ascii").strip()
    check(uri == "file://" + urllib.parse.quote(os.path.join(album, "renamed.bmp")),
          "a cell dragged out gives its file's URI as text/uri-list (%s)" % uri)
    target.wait(10)


def frame_of(wid):
    """The window manager's frame around a window: left, right, top, bottom."""
    text = run("xprop", "-id", wid, "_NET_FRAME_EXTENTS")
    if "=" not in text:
        return (0, 0, 0, 0)
    return tuple(int(v) for v in text.split("=")[1].split(","))


def outer(window_):
    x, y, w, h, wid = window_
    left, right, top, bottom = frame_of(wid)
    return (x - left, y - top, x + w + right, y + h + bottom)


def on_screen(screen, window_):
    left, top, right, bottom = outer(window_)
    return left >= 0 and top >= 0 and right <= screen.width and bottom <= screen.height


def count_colour(screen, colour, box):
    return screen.count(colour, box)


def window_manager_run(scratch):
    """What a user sees under a real window manager (openbox): every window on screen, a photo larger than
    the screen draggable in its viewer, the preview in its box after a maximise, the wheel over the
    thumbnails, Escape out of full screen, and the tree answering the arrow keys after a mouse click."""
    home = os.path.join(scratch, "home")
    desktop = os.path.join(home, "Desktop")
    many = os.path.join(desktop, "many")
    os.makedirs(os.path.join(home, ".config"))
    os.makedirs(many)
    os.makedirs(os.path.join(desktop, "other"))
    red = (200, 30, 30)
    subprocess.run(["convert", "-size", "4000x3000", "radial-gradient:yellow-navy",
                    os.path.join(many, "000 photo.jpg")], check=True)
    subprocess.run(["convert", "-size", "40x30", "xc:rgb(200,30,30)", "BMP3:" + os.path.join(many, "001 red.bmp")],
                   check=True)
    for i in range(2, 130):
        shutil.copy(os.path.join(many, "001 red.bmp"), os.path.join(many, "%03d copy.bmp" % i))

    process, main_window = start(home, many)
    wait_for(lambda: len(windows()) == 1 and len(thumbnail_cells(Screen("wm-01-loading"), main_window)) > 60,
             "the start folder's cells")
    screen = Screen("wm-01-start")
    check(on_screen(screen, main_window), "the main window, title bar included, is on the screen")

    # A wheel notch over the thumbnails scrolls them by a row.
    cells = thumbnail_cells(screen, main_window)
    top_row = cells[0][1]
    run("xdotool", "mousemove", "--sync", str(cells[10][0]), str(cells[10][1]))
    run("xdotool", "click", "5")
    moved = wait_for(lambda: (lambda c: c if c and c[0][1] != top_row else None)(
        thumbnail_cells(Screen("wm-02-wheel"), main_window)), "the thumbnails scrolled by the wheel")
    check(moved and moved[0][1] != top_row, "a wheel notch over the thumbnails scrolls them")
    run("xdotool", "click", "4")
    settle()

    # The tree answers the arrow keys after a mouse click on a folder.
    x, y, w, h, wid = main_window
    keys(wid, "m", "a", "n")
    rows = wait_for(lambda: highlighted_rows(Screen("wm-03-typed"), main_window), "the typed folder highlighted")
    check(len(rows) == 1, "the typed folder is highlighted")
    click(x + px(1500), rows[0][0])
    wait_for(lambda: len(windows()) == 1, "the folder's load to end")
    settle(1.0)
    run("xdotool", "key", "Down")
    after = wait_for(lambda: (lambda r: r if len(r) == 1 and r[0][0] > rows[0][0] else None)(
        highlighted_rows(Screen("wm-04-arrow-key"), main_window)), "the tree's selection moved by the arrow key")
    check(len(after) == 1 and after[0][0] > rows[0][0], "the arrow key moves the tree's selection after the click")
    run("xdotool", "key", "Up")
    settle()
    run("xdotool", "key", "Return")
    wait_for(lambda: len(windows()) == 1 and len(thumbnail_cells(Screen("wm-05-back"), main_window)) > 60,
             "the folder's cells again")

    # A click shows the red picture in the preview; after a maximise it is still inside its box.
    cells = thumbnail_cells(Screen("wm-05-back"), main_window)
    click(cells[1][0], cells[1][1] - px(300))
    settle()
    left, right, top, bottom = frame_of(wid)
    run("xdotool", "mousemove", "--sync", str(x + w // 2), str(y - top // 2))
    run("xdotool", "click", "--repeat", "2", "--delay", "60", "1")
    main_window = wait_for(lambda: next((v for t, v in windows().items() if t == "KuRoE Zuziz" and v[2] > w + 100),
                                        None), "the maximised window")
    x, y, w, h, wid = main_window
    box = (x + px(135), y + h - px(315 + 100 + 2625), x + px(135 + 3375), y + h - px(315 + 100))
    tree = (x, y + px(405), x + px(3600), box[1] - 2)
    screen = wait_for(lambda: (lambda s: s if count_colour(s, red, box) >= 40 * 30 * SCALE * SCALE * 0.9 else None)(
        Screen("wm-06-maximised")), "the preview placed in its box after the maximise")
    check(count_colour(screen, red, box) >= 40 * 30 * SCALE * SCALE * 0.9, "the preview lies inside its box")
    check(count_colour(screen, red, tree) == 0, "nothing of the preview is drawn over the tree")

    # The photo larger than the screen: its viewer's title bar and toolbar are on screen, the picture drags.
    cells = thumbnail_cells(screen, main_window)
    click(cells[0][0], cells[0][1] - px(300), repeat=2)
    viewer = window("000 photo.jpg")
    screen = wait_for(lambda: (lambda s, v: (s, v) if on_screen(s, v) else None)(
        Screen("wm-07-viewer"), window("000 photo.jpg")), "the viewer settled on the screen")[0]
    viewer = window("000 photo.jpg")
    check(on_screen(screen, viewer), "the viewer, title bar included, lies inside the screen %s" % (outer(viewer),))
    vx, vy, vw, vh, vid = viewer
    check(screen.pixel(vx + 10, vy + 40) != screen.pixel(vx + vw // 2, vy + vh // 2), "the toolbar is on screen")
    centre = (vx + vw // 2, vy + vh // 2)
    before = screen.pixel(*centre)
    run("xdotool", "mousemove", "--sync", str(centre[0]), str(centre[1]))
    run("xdotool", "mousedown", "1")
    for step in range(1, 11):
        run("xdotool", "mousemove", "--sync", str(centre[0] - 25 * step), str(centre[1] - 20 * step))
    run("xdotool", "mouseup", "1")
    screen = wait_for(lambda: (lambda s: s if s.pixel(*centre) != before else None)(Screen("wm-08-dragged")),
                      "the dragged picture redrawn")
    check(screen.pixel(*centre) != before, "the picture larger than the viewer is dragged")

    # Full screen with the middle button; Escape goes back to the viewer.
    click(centre[0], centre[1], button=2)
    full = window("フルスクリーンビューア")
    Screen("wm-09-full-screen")
    run("xdotool", "key", "--window", full[4], "Escape")
    gone("フルスクリーンビューア")
    window("000 photo.jpg")
    Screen("wm-10-escape")
    # Back to the thumbnails with a double click on the picture.
    viewer = window("000 photo.jpg")
    click(viewer[0] + viewer[2] // 2, viewer[1] + viewer[3] // 2, repeat=2)
    main_window = window("KuRoE Zuziz")
    Screen("wm-11-end")
    close(process, main_window)


if __name__ == "__main__":
    sys.exit(main())
