#!/usr/bin/python3
"""KuRoEView under events that land at any moment, on a real X server with a window manager.

Run inside an X server with a window manager (tests/desktop/events.sh starts Xvfb and openbox).
Usage: events.py KUROEVIEW OUTPUT-FOLDER close|monkey|slowshare [SEEDS [SECONDS-PER-SEED]]

close:  the main window closed while the first load of a folder of photos runs: the process
        must end within two seconds.
monkey: seeded random clicks on tree rows and cells, double clicks, "中止", F5, Escape, Enter,
        the thumbnails' and the viewer's keys, thumbnail sizes and orders, the wheel, the viewer's zoom and full screen, window-manager closes of every window, the
        dialogs with OK, Cancel and "開く", favourites added and opened, and main-window closes,
        at random 0-300 ms intervals; now and then the program is paused (SIGSTOP) while two
        events are sent, so that they land together. A run fails with its seed and its events on
        a sanitizer report, a crash, a process left after its main window closed, or a window
        that does not answer the window manager's ping for 5 s.
slowshare: shares mounted with a user-space file system that answers slowly (slowfs.py): a share
        elsewhere whose root does not answer for 30 s leaves the start as fast as without it; a
        folder that takes 8 s to list leaves the window answering, its pictures shown when the
        listing ends, "中止" taken at once, and a close ending the program at once. Skipped where
        the machine has no /dev/fuse.
"""

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from Xlib import X, XK, display, protocol
from Xlib.ext import xtest

PROGRAM, OUTPUT, MODE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
SEEDS = int(sys.argv[4]) if len(sys.argv) > 4 else 3
SECONDS = float(sys.argv[5]) if len(sys.argv) > 5 else 40
# The sanitized build ends more slowly (the leak check runs at exit).
EXIT_SECONDS = float(os.environ.get("KUROEVIEW_EXIT_SECONDS", "2"))
REPORTS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "AddressSanitizer:DEADLYSIGNAL")

DISPLAY = display.Display()
ROOT = DISPLAY.screen().root
ATOM = {name: DISPLAY.intern_atom(name) for name in
        ("_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_WM_NAME", "UTF8_STRING", "WM_PROTOCOLS", "WM_DELETE_WINDOW",
         "_NET_WM_PING", "_NET_WM_STATE", "WM_STATE", "_NET_ACTIVE_WINDOW")}


# Events whose keys can reach a menu's "閉じる", which ends the program by itself.
KEYS_THAT_CAN_CLOSE = ("Enter", "open a favourite", "zoom in", "zoom out", "settings", "organise favourites",
                       "add a favourite", "About box", "answer the message")


# The thumbnails' keys (with the focus in the tree they move there), and the viewer's steps.
WALK_KEYS = ("Right", "Left", "Down", "Up", "Home", "End", "Next", "Prior", "Tab")
STEP_KEYS = ("Right", "Left", "Down", "Up", "space", "BackSpace", "Home", "End", "Next", "Prior")


def px(twips):
    return int(round(twips / 15.0))


class Failure(Exception):
    pass


class Program:
    """One run of the program with its log."""

    def __init__(self, home, folder, name):
        self.log_path = os.path.join(OUTPUT, name + ".log")
        environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                           XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                           QT_QPA_PLATFORM="xcb")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([PROGRAM], cwd=folder, env=environment, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.stopped = False

    def windows(self):
        """The program's mapped client windows: (title, window, x, y, width, height)."""
        found = []
        clients = ROOT.get_full_property(ATOM["_NET_CLIENT_LIST"], X.AnyPropertyType)
        for wid in (clients.value if clients else []):
            try:
                window = DISPLAY.create_resource_object("window", wid)
                pid = window.get_full_property(ATOM["_NET_WM_PID"], X.AnyPropertyType)
                if not pid or pid.value[0] != self.process.pid:
                    continue
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                name = window.get_full_property(ATOM["_NET_WM_NAME"], ATOM["UTF8_STRING"])
                title = name.value.decode("utf-8", "replace") if name else ""
                geometry = window.get_geometry()
                origin = window.translate_coords(ROOT, 0, 0)
                found.append((title, window, -origin.x, -origin.y, geometry.width, geometry.height))
            except Exception:
                continue
        return found

    def window(self, title):
        return next((w for w in self.windows() if w[0] == title), None)

    def stop_box(self):
        """The stop box: untitled (the window manager shows the program's name), 3375 x 1200 twips."""
        return next((w for w in self.windows() if w[0] in ("", "KuRoEView") and w[4:6] == (px(3375), px(1200))),
                    None)

    def text(self):
        self.log.flush()
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def pause(self):
        self.process.send_signal(signal.SIGSTOP)
        self.stopped = True

    def resume(self):
        self.process.send_signal(signal.SIGCONT)
        self.stopped = False

    def ended(self):
        return self.process.poll() is not None

    def kill(self):
        if not self.ended():
            self.process.send_signal(signal.SIGCONT)
            self.process.kill()
            self.process.wait()


def wait_for(predicate, what, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise Failure("timed out waiting for " + what)


def close_window(window):
    """What the window manager sends when the close button of a frame is pressed."""
    event = protocol.event.ClientMessage(window=window, client_type=ATOM["WM_PROTOCOLS"],
                                         data=(32, [ATOM["WM_DELETE_WINDOW"], X.CurrentTime, 0, 0, 0]))
    window.send_event(event)
    DISPLAY.flush()


def answers_ping(window, seconds=5.0):
    """Sends _NET_WM_PING and waits for the answer, which the client sends to the root window
    (Qt with the structure-notify mask)."""
    stamp = int(time.time() * 1000) & 0x7FFFFFFF
    ROOT.change_attributes(event_mask=X.StructureNotifyMask)
    event = protocol.event.ClientMessage(window=window, client_type=ATOM["WM_PROTOCOLS"],
                                         data=(32, [ATOM["_NET_WM_PING"], stamp, window.id, 0, 0]))
    window.send_event(event)
    DISPLAY.flush()
    deadline = time.time() + seconds
    while time.time() < deadline:
        while DISPLAY.pending_events():
            reply = DISPLAY.next_event()
            if (reply.type == X.ClientMessage and reply.client_type == ATOM["WM_PROTOCOLS"]
                    and reply.data[1][0] == ATOM["_NET_WM_PING"] and reply.data[1][1] == stamp):
                return True
        time.sleep(0.02)
    return False


def move(x, y):
    xtest.fake_input(DISPLAY, X.MotionNotify, x=int(x), y=int(y))
    DISPLAY.sync()


def press(button, x, y, times=1):
    move(x, y)
    for _ in range(times):
        xtest.fake_input(DISPLAY, X.ButtonPress, button)
        xtest.fake_input(DISPLAY, X.ButtonRelease, button)
        DISPLAY.sync()
        time.sleep(0.03)


def key(name):
    """A key or a chord such as "alt+v", to the window with the focus."""
    parts = name.split("+")
    codes = [DISPLAY.keysym_to_keycode(XK.string_to_keysym({"alt": "Alt_L", "ctrl": "Control_L"}.get(p, p)))
             for p in parts]
    for code in codes:
        xtest.fake_input(DISPLAY, X.KeyPress, code)
    for code in reversed(codes):
        xtest.fake_input(DISPLAY, X.KeyRelease, code)
    DISPLAY.sync()


def drag(from_x, from_y, to_x, to_y):
    """The left button held from one point to another, in a few steps."""
    move(from_x, from_y)
    xtest.fake_input(DISPLAY, X.ButtonPress, 1)
    DISPLAY.sync()
    for step in range(1, 6):
        move(from_x + (to_x - from_x) * step // 5, from_y + (to_y - from_y) * step // 5)
        time.sleep(0.03)
    xtest.fake_input(DISPLAY, X.ButtonRelease, 1)
    DISPLAY.sync()


def keys(*names):
    for name in names:
        key(name)
        time.sleep(0.04)


def make_home(scratch):
    """A home with a desktop of picture folders and two favourites."""
    home = os.path.join(scratch, "home")
    desktop = os.path.join(home, "Desktop")
    photos = os.path.join(desktop, "photos")
    many = os.path.join(desktop, "many")
    for folder in (photos, many, os.path.join(desktop, "empty"), os.path.join(desktop, "deep", "a", "b", "c"),
                   os.path.join(home, ".config")):
        os.makedirs(folder, exist_ok=True)
    # Grain makes a photo cost what a camera's does to decode.
    subprocess.run(["convert", "-size", "3000x2000", "gradient:orange-navy", "-attenuate", "0.4", "+noise", "Gaussian",
                    "-interlace", "JPEG", "-quality", "92", os.path.join(photos, "p00.jpg")], check=True)
    for i in range(1, 30):
        shutil.copy(os.path.join(photos, "p00.jpg"), os.path.join(photos, "p%02d.jpg" % i))
    subprocess.run(["convert", "-size", "40x30", "xc:rgb(200,30,30)", "BMP3:" + os.path.join(many, "000.bmp")],
                   check=True)
    subprocess.run(["convert", "-size", "32x32", "xc:navy", os.path.join(many, "001.gif")], check=True)
    for i in range(3, 160):
        shutil.copy(os.path.join(many, "000.bmp"), os.path.join(many, "%03d.bmp" % i))
    # An animation that plays while the viewer shows it.
    subprocess.run(["convert", "-delay", "4", "-size", "40x30", "xc:red", "xc:blue", "xc:green", "-loop", "0",
                    os.path.join(many, "002.gif")], check=True)
    shutil.copy(os.path.join(photos, "p00.jpg"), os.path.join(desktop, "deep", "a", "b", "c", "deep.jpg"))
    windows_form = lambda path: "C:" + path.replace("/", "\\")
    with open(os.path.join(home, ".config", "VoDaRadezu.INI"), "w", encoding="utf-8") as settings:
        settings.write("[FAV]\nFAV0=%s\nFAV1=%s\n[FAV2]\nCNT=1\n" % (windows_form(photos), windows_form(many)))
    return home, desktop


def close_during_first_load(scratch):
    home, desktop = make_home(scratch)
    program = Program(home, os.path.join(desktop, "photos"), "close")
    try:
        wait_for(lambda: program.window("KuRoE Zuziz") and program.stop_box(), "the main window and the stop box")
        main = program.window("KuRoE Zuziz")
        closed = time.time()
        close_window(main[1])
        try:
            program.process.wait(30)
        except subprocess.TimeoutExpired:
            raise Failure("the process was still running 30 s after its main window closed during the first load" +
                          stacks(program))
        took = time.time() - closed
        print("the program ended %.2f s after its main window closed during the first load" % took, flush=True)
        if took > EXIT_SECONDS:
            raise Failure("the program took %.2f s to end (at most %.1f s)" % (took, EXIT_SECONDS))
        if program.process.returncode != 0:
            raise Failure("exit code %s" % program.process.returncode)
        check_log(program)
    finally:
        program.kill()


def stacks(program):
    """The threads' stacks of a program that does not end, for the failure message."""
    if not shutil.which("gdb") or program.ended():
        return ""
    program.process.send_signal(signal.SIGCONT)
    result = subprocess.run(["gdb", "-p", str(program.process.pid), "-batch", "-ex", "thread apply all bt 30", "-ex", "thread 1", "-ex", "p EventLoops::ending()", "-ex", "p EventLoops::depth()", "-ex", "p EventLoops::atOutermost()"],
                            capture_output=True, text=True, timeout=60)
    return "\n" + result.stdout[-6000:]


def every_window(program):
    """Each window of the program the X server knows, mapped or not, with its states, for a failure message."""
    lines = []
    for frame in ROOT.query_tree().children:
        for window in [frame] + list(frame.query_tree().children):
            try:
                pid = window.get_full_property(ATOM["_NET_WM_PID"], X.AnyPropertyType)
                if not pid or pid.value[0] != program.process.pid:
                    continue
                name = window.get_full_property(ATOM["_NET_WM_NAME"], ATOM["UTF8_STRING"])
                states = window.get_full_property(ATOM["_NET_WM_STATE"], X.AnyPropertyType)
                icccm = window.get_full_property(ATOM["WM_STATE"], X.AnyPropertyType)
                lines.append("  %r: map state %d, WM_STATE %s, _NET_WM_STATE %s, frame mapped %s" % (
                    name.value.decode("utf-8", "replace") if name else "", window.get_attributes().map_state,
                    list(icccm.value) if icccm else None,
                    [DISPLAY.get_atom_name(a) for a in states.value] if states else [],
                    frame.get_attributes().map_state))
            except Exception:
                continue
    return "\nthe program's windows:\n" + ("\n".join(lines) or "  none")


def check_log(program):
    text = program.text()
    for report in REPORTS:
        if report in text:
            raise Failure("the program reported: " + text[text.index(report):][:3000])


class Monkey:
    """Random events for one seed."""

    def __init__(self, seed, home, desktop):
        self.random = random.Random(seed)
        self.seed = seed
        self.minimised = 0
        self.home = home
        self.desktop = desktop
        self.events = []
        self.runs = 0
        self.program = None
        self.recent = []

    def start(self):
        folder = self.random.choice(["photos", "many", "empty"])
        self.program = Program(self.home, os.path.join(self.desktop, folder), "seed-%d-run-%d" % (self.seed, self.runs))
        self.runs += 1
        self.recent = []
        self.note("start in %s" % folder)
        wait_for(lambda: self.program.window("KuRoE Zuziz") or self.program.ended(), "the main window")

    def note(self, what):
        self.events.append("%7.2f %s" % (time.time() - self.began, what))

    def message_shown(self):
        stop = self.program.stop_box()
        return any(w[0] in ("情報", "KuRoEView") and w != stop for w in self.program.windows())

    def expect_end(self, why):
        """The program was told to end: it must be gone soon, cleanly. A message box open at that moment
        holds the main window (its close is refused, as on any desktop): it is answered and the main
        window closed again, as a person would."""
        # The message may come up only after the close was given (both queued while the program
        # was paused): it is looked for for as long as the program is given to end.
        deadline = time.time() + EXIT_SECONDS + 3
        answers = 0
        while not self.program.ended() and time.time() < deadline:
            if answers < 5 and self.message_shown():
                answers += 1
                self.note("answer the message before closing")
                keys("Return")
                time.sleep(0.3)
                main = self.program.window("KuRoE Zuziz")
                if main:
                    close_window(main[1])
                deadline = time.time() + EXIT_SECONDS + 3
            time.sleep(0.1)
        if not self.program.ended():
            raise Failure("the process was still running %.1f s after %s%s" % (EXIT_SECONDS + 3, why,
                                                                          every_window(self.program) +
                                                                          stacks(self.program)))
        if self.program.process.returncode != 0:
            raise Failure("exit code %s after %s" % (self.program.process.returncode, why))
        check_log(self.program)
        self.start()

    def actions(self):
        """The events that can be given now, as (weight, name, function)."""
        windows = self.program.windows()
        titles = {w[0]: w for w in windows}
        stop = self.program.stop_box()
        message = any(w[0] in ("情報", "KuRoEView") and w != stop for w in windows)
        found = [(1, "Escape", lambda: keys("Escape")), (1, "Enter", lambda: keys("Return"))]
        for title, window, x, y, w, h in windows:
            found += self.actions_of(title, window, x, y, w, h, stop, message)
        return found

    def actions_of(self, title, window, x, y, w, h, stop, message):
        """The events one window takes."""
        rnd = self.random
        if stop and window == stop[1]:
            return [(8, "中止", lambda: press(1, x + px(2280 + 480), y + px(120 + 180))),
                    (2, "close the stop box", lambda: close_window(window))]
        if message:
            return [(4, "answer the message", lambda: keys("Return"))]
        if title == "KuRoE Zuziz":
            def cell(columns, rows):
                return (x + px(3690 + 90) + rnd.randint(0, columns) * px(885) + px(400),
                        y + px(405 + 300) + rnd.randint(0, rows) * px(840) + px(375))
            return [
                (6, "click a tree row", lambda: press(1, x + px(1500), y + rnd.randint(px(450), px(5200)))),
                (3, "double-click a tree row", lambda: press(1, x + px(1500), y + rnd.randint(px(450), px(5200)), 2)),
                (8, "click a cell", lambda: press(1, *cell(6, 3))),
                (5, "double-click a cell", lambda: press(1, *cell(3, 1), 2)),
                (2, "wheel over the cells", lambda: press(rnd.choice([4, 5]), x + px(6000), y + px(2000))),
                (3, "F5", lambda: keys("F5")),
                (2, "a cell's menu, closed", lambda: (press(3, *cell(6, 3)), keys("Escape"))),
                (1, "the Menu key, closed", lambda: keys("Menu", "Escape")),
                (2, "Delete", lambda: keys("Delete")),
                (2, "Ctrl+Z", lambda: keys("ctrl+z")),
                (1, "Ctrl+C", lambda: keys("ctrl+c")),
                (2, "rename with F2", lambda: keys("F2", *rnd.choices("abc", k=rnd.randint(0, 3)),
                                                   rnd.choice(["Return", "Escape", "Escape"]))),
                (1, "drag a cell", lambda: drag(*cell(6, 3), *cell(6, 3))),
                (2, "Ctrl+O", lambda: keys("ctrl+o")),
                (5, "walk the cells", lambda: keys(*rnd.choices(WALK_KEYS, k=rnd.randint(1, 4)))),
                (2, "thumbnail size", lambda: keys(rnd.choice(["ctrl+plus", "ctrl+minus", "ctrl+equal"]))),
                (1, "reverse order", lambda: keys("alt+v", "o", "r")),
                (1, "sort order", lambda: keys("alt+v", "o", *(["Down"] * rnd.randint(0, 5)), "Return")),
                (2, "settings", lambda: keys("alt+f", "o")),
                (1, "organise favourites", lambda: keys("alt+a", "c")),
                (1, "add a favourite", lambda: keys("alt+a", "a")),
                (3, "open a favourite", lambda: keys("alt+a", *(["Down"] * rnd.randint(3, 4)), "Return")),
                (1, "About box", lambda: keys("alt+h", "a")),
                (1, "close the main window", lambda: close_window(window)),
            ]
        if title == "フルスクリーンビューア":
            return [(3, "Escape", lambda: keys("Escape")),
                    (3, "next or previous picture", lambda: keys(*rnd.choices(STEP_KEYS, k=rnd.randint(1, 3)))),
                    (1, "pause the animation", lambda: keys("p")),
                    (2, "middle press", lambda: press(2, x + w // 2, y + h // 2)),
                    (2, "double click", lambda: press(1, x + w // 2, y + h // 2, 2)),
                    (1, "close the full screen", lambda: close_window(window))]
        if title == "環境設定":
            return [(3, "OK", lambda: press(1, x + px(4080 + 590), y + px(4500 + 195))),
                    (2, "キャンセル", lambda: press(1, x + px(4080 + 1240 + 590), y + px(4500 + 195))),
                    (2, "適用", lambda: press(1, x + px(4080 + 2480 + 590), y + px(4500 + 195))),
                    (3, "開く", lambda: press(1, x + px(4080 + 2480 + 590), y + px(3660 + 195))),
                    (2, "double-click a favourite", lambda: press(1, x + px(4500), y + px(520), 2)),
                    (2, "tick a type", lambda: press(1, x + px(360), y + px(120 + 420 + rnd.randint(0, 5) * 440 + 165))),
                    (1, "Escape", lambda: keys("Escape")),
                    (1, "close the dialog", lambda: close_window(window))]
        if title == "ﾊﾞｰｼﾞｮﾝ情報":
            return [(3, "OK", lambda: press(1, x + px(5700 - 1560 + 660), y + px(2400 + 195))),
                    (2, "Escape", lambda: keys("Escape")),
                    (2, "Enter", lambda: keys("Return")),
                    (1, "close the About box", lambda: close_window(window))]
        if title == "プロパティ":
            return [(2, "close the properties", lambda: close_window(window)),
                    (1, "Escape", lambda: keys("Escape"))]
        if title in ("情報", "KuRoEView", ""):
            return []
        # The viewer, titled with the picture's name.
        return [(4, "next or previous picture", lambda: keys(*rnd.choices(STEP_KEYS, k=rnd.randint(1, 3)))),
                (1, "zoom keys", lambda: keys(rnd.choice(["plus", "minus", "0", "KP_Add"]))),
                (3, "zoom in", lambda: keys("alt+v", "Return")),
                (3, "zoom out", lambda: keys("alt+v", "Down", "Return")),
                (1, "properties", lambda: keys("alt+Return")),
                (1, "pause the animation", lambda: keys("p")),
                (2, "full screen", lambda: press(2, x + w // 2, y + h // 2)),
                (2, "back to the thumbnails", lambda: press(1, x + w // 2, y + h // 2, 2)),
                (1, "close the viewer", lambda: close_window(window))]

    def restore_minimised(self):
        """A main window the window manager holds minimised (iconic) is restored from the task bar, as a
        person would; True when there was one. A click meant for a cell can land on the minimise button
        of the stop box's title bar, which lies over the cells, and openbox minimises a window together
        with the windows it belongs to (its log, openbox.log, showed "Iconifying window" for the main
        window and the stop box with no request of the program's before it)."""
        for frame in ROOT.query_tree().children:
            for window in [frame] + list(frame.query_tree().children):
                try:
                    pid = window.get_full_property(ATOM["_NET_WM_PID"], X.AnyPropertyType)
                    name = window.get_full_property(ATOM["_NET_WM_NAME"], ATOM["UTF8_STRING"])
                    state = window.get_full_property(ATOM["WM_STATE"], X.AnyPropertyType)
                    if (not pid or pid.value[0] != self.program.process.pid or not name or
                            name.value.decode("utf-8", "replace") != "KuRoE Zuziz" or not state or state.value[0] != 3):
                        continue
                except Exception:
                    continue
                self.note("restore the minimised main window")
                self.minimised += 1
                event = protocol.event.ClientMessage(window=window, client_type=ATOM["_NET_ACTIVE_WINDOW"],
                                                     data=(32, [2, X.CurrentTime, 0, 0, 0]))
                ROOT.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
                DISPLAY.flush()
                return True
        return False

    def one_event(self):
        choices = self.actions()
        total = sum(weight for weight, _, _ in choices)
        pick = self.random.uniform(0, total)
        for weight, name, run in choices:
            pick -= weight
            if pick <= 0:
                break
        self.note(name)
        run()
        if os.environ.get("KUROEVIEW_SHOTS"):
            subprocess.run(["import", "-window", "root", os.path.join(OUTPUT, "event-%03d.png" % len(self.events))])
        return name

    def run(self, seconds):
        self.began = time.time()
        self.start()
        last_ping = time.time()
        try:
            while time.time() - self.began < seconds:
                if self.program.ended():
                    # A key that chose "閉じる" from a menu ends the program; the sanitized build
                    # may take its time to end, past the check right after the key.
                    if self.program.process.returncode == 0 and any(
                            name in KEYS_THAT_CAN_CLOSE for name in self.recent):
                        self.expect_end("a key that may have chosen 閉じる")
                        continue
                    raise Failure("the program ended by itself (exit %s)" % self.program.process.returncode)
                if self.random.random() < 0.08:
                    self.note("pause")
                    self.program.pause()
                    names = [self.one_event(), self.one_event()]
                    time.sleep(self.random.uniform(0, 0.3))
                    self.program.resume()
                    self.note("continue")
                else:
                    names = [self.one_event()]
                # A key that closes may be seen to have done so only after the next event or two.
                self.recent = (self.recent + names)[-3:]
                if any(name in ("close the main window",) for name in names):
                    self.expect_end(names[-1])
                elif self.program.ended():
                    # The viewer's "閉じる" may have been chosen from its menu by a key.
                    self.expect_end("an event that ends the program")
                time.sleep(self.random.uniform(0, 0.3))
                if time.time() - last_ping > 1.5:
                    last_ping = time.time()
                    shown = self.program.windows()
                    if shown and not self.program.ended() and not answers_ping(shown[0][1]):
                        # A window that closed while it was pinged (an About box on its way out) never
                        # answers; the program answers for every window it still shows.
                        if not self.program.ended() and shown[0][1].id in [w[1].id for w in self.program.windows()]:
                            raise Failure("window %r did not answer the window manager's ping for 5 s" % shown[0][0]
                                          + every_window(self.program) + stacks(self.program))
                    if not shown:
                        # A person must always have a window to go on with (or close).
                        since = time.time()
                        while not self.program.windows() and not self.program.ended() and time.time() - since < 5:
                            time.sleep(0.2)
                        if not self.program.windows() and not self.program.ended() and self.restore_minimised():
                            since = time.time()
                            while not self.program.windows() and time.time() - since < 5:
                                time.sleep(0.2)
                        if not self.program.windows() and not self.program.ended():
                            raise Failure("no window of the program has been mapped for 5 s, and it still runs" +
                                          every_window(self.program) + stacks(self.program))
            main = self.program.window("KuRoE Zuziz")
            self.note("end: close the main window" if main else "end: kill (the main window is hidden)")
            if main:
                close_window(main[1])
                self.expect_end("the final close")
            check_log(self.program)
        finally:
            self.program.kill()


def monkey(scratch):
    seeds = [int(s) for s in os.environ.get("KUROEVIEW_SEEDS", "").split(",") if s] or \
        [random.SystemRandom().randrange(1, 2 ** 31) for _ in range(SEEDS)]
    print("seeds:", ",".join(str(s) for s in seeds), flush=True)
    home, desktop = make_home(scratch)
    for seed in seeds:
        shutil.copy(os.path.join(home, ".config", "VoDaRadezu.INI"), os.path.join(scratch, "settings"))
        runner = Monkey(seed, home, desktop)
        try:
            runner.run(SECONDS)
        except Failure as failure:
            print("FAILED with seed %d: %s" % (seed, failure), flush=True)
            print("events (seconds from the start):\n" + "\n".join(runner.events), flush=True)
            subprocess.run(["import", "-window", "root", os.path.join(OUTPUT, "failure-%d.png" % seed)])
            if os.environ.get("KUROEVIEW_SHOTS"):
                print(subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout[-3000:])
            # Again at the end, where a shortened log still shows them.
            print("the last events:\n" + "\n".join(runner.events[-25:]), flush=True)
            raise
        line = "seed %d: %d events, %d program runs, no fault" % (seed, len(runner.events), runner.runs)
        if runner.minimised:
            line += " (the main window restored from minimised %d times)" % runner.minimised
        print(line, flush=True)
        with open(os.path.join(OUTPUT, "summary.txt"), "a") as summary:
            summary.write(line + "\n")
        shutil.copy(os.path.join(scratch, "settings"), os.path.join(home, ".config", "VoDaRadezu.INI"))


class Share:
    """A share mounted for one run with slowfs.py, which answers as slowly as told."""

    def __init__(self, backing, mountpoint, name, delays):
        os.makedirs(mountpoint, exist_ok=True)
        self.mountpoint = mountpoint
        self.log = open(os.path.join(OUTPUT, os.path.basename(mountpoint) + "-share.log"), "w")
        self.process = subprocess.Popen(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "slowfs.py"),
                                         backing, mountpoint, name, delays], stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(lambda: self.mounted() or self.process.poll() is not None, "the share at " + mountpoint, 20)
        if not self.mounted():
            raise Failure("the share could not be mounted: " + open(self.log.name).read()[-2000:])

    def mounted(self):
        with open("/proc/self/mountinfo") as table:
            return any(line.split()[4] == self.mountpoint for line in table)

    def unmount(self):
        subprocess.run(["fusermount", "-u", "-z", self.mountpoint], capture_output=True)
        self.process.kill()
        self.process.wait()


def fuse_missing():
    """Why a user-space file system cannot be mounted here, or None."""
    if not os.access("/dev/fuse", os.R_OK | os.W_OK):
        return "/dev/fuse is missing or closed to this user"
    if not shutil.which("fusermount"):
        return "fusermount (package fuse3) is not installed"
    if subprocess.run(["/usr/bin/python3", "-c", "import fusepy"], capture_output=True).returncode != 0:
        return "python3-fusepy is not installed"
    return None


def grey_cells(window, count):
    """True when at least count thumbnail cells of the main window are drawn (their grey, 192)."""
    _, _, x, y, w, h = window
    shot = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True).stdout
    grey = subprocess.run(["convert", "png:-", "-crop", "%dx%d+%d+%d" % (w - px(3690), h, x + px(3690), y), "+repage",
                           "-fill", "black", "+opaque", "rgb(192,192,192)", "-fill", "white", "-opaque",
                           "rgb(192,192,192)", "-format", "%[fx:round(mean*w*h)]", "info:"],
                          input=shot, capture_output=True).stdout.decode().strip()
    # A cell is 795 x 750 twips; its picture covers part of it, its margins are grey.
    return grey.isdigit() and int(grey) >= count * px(795) * px(750) // 4


def main_thread_ended(program):
    """The program's main thread has ended (a thread waiting for a share inside the kernel may
    keep the process itself until the share answers)."""
    try:
        with open("/proc/%d/task/%d/stat" % (program.process.pid, program.process.pid)) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except OSError:
        return True


def ping_while(program, seconds):
    """Pings the main window every 0.1 s for that long; the longest answer, in seconds."""
    longest = 0.0
    end = time.time() + seconds
    while time.time() < end:
        main = program.window("KuRoE Zuziz")
        if main:
            sent = time.time()
            if not answers_ping(main[1], 5.0):
                raise Failure("the main window did not answer the window manager's ping for 5 s")
            longest = max(longest, time.time() - sent)
        time.sleep(0.1)
    return longest


def close_and_time(program, why):
    main = program.window("KuRoE Zuziz")
    closed = time.time()
    close_window(main[1])
    wait_for(lambda: main_thread_ended(program) and not program.windows(), "the program to end after " + why, 30)
    took = time.time() - closed
    print("the program ended %.2f s after its main window was closed %s" % (took, why), flush=True)
    if took > EXIT_SECONDS:
        raise Failure("the program took %.2f s to end after %s (at most %.1f s)" % (took, why, EXIT_SECONDS))


def slow_share(scratch):
    missing = fuse_missing()
    if missing:
        print("SKIP: " + missing + ", so no slow share can be mounted")
        return 77
    home, desktop = make_home(scratch)
    many = os.path.join(desktop, "many")
    start = os.path.join(scratch, "start")
    backing = os.path.join(scratch, "backing")
    for folder in (start, os.path.join(backing, "big", "a"), os.path.join(backing, "big", "b", "c")):
        os.makedirs(folder)
    for i in range(6):
        shutil.copy(os.path.join(many, "000.bmp"), os.path.join(start, "%03d.bmp" % i))
    for i in range(40):
        shutil.copy(os.path.join(many, "000.bmp"), os.path.join(backing, "big", "%03d.bmp" % i))

    # A share elsewhere whose root does not answer for 30 s: the start is as fast as without it.
    hung = Share(backing, os.path.join(scratch, "hung"), "far:/", "getattr=30,statfs=30")
    try:
        began = time.time()
        program = Program(home, start, "slowshare-start")
        main = wait_for(lambda: program.window("KuRoE Zuziz"), "the main window", 30)
        mapped = time.time() - began
        wait_for(lambda: grey_cells(program.window("KuRoE Zuziz") or main, 6), "the start folder's cells", 30)
        drawn = time.time() - began
        print("with a share that does not answer: the main window mapped %.2f s and the start folder's cells were "
              "seen drawn %.2f s after the start" % (mapped, drawn), flush=True)
        # The share waits 30 s: well under that is the start as without it (0.6 s on a quiet machine; a busy
        # one, with the other suite beside it, has taken 1.6 s).
        if drawn > 3.0:
            raise Failure("the start folder's cells were drawn %.2f s after the start (at most 3 s on a busy "
                          "machine)" % drawn)
        close_and_time(program, "with a share that does not answer")
        check_log(program)
    finally:
        program.kill()
        hung.unmount()

    # A folder that takes 8 s to list.
    slow = Share(backing, os.path.join(scratch, "slow"), "slow:/", "readdir:/big=8")
    try:
        began = time.time()
        program = Program(home, os.path.join(scratch, "slow", "big"), "slowshare-listing")
        wait_for(lambda: program.window("KuRoE Zuziz"), "the main window", 30)
        wait_for(lambda: program.stop_box(), "the stop box while the folder lists", 10)
        longest = ping_while(program, 5)
        print("while the folder lists: the longest answer to a ping took %.3f s" % longest, flush=True)
        if longest > 0.2:
            raise Failure("the window took %.3f s to answer a ping while a folder listed (at most 0.2 s)" % longest)
        wait_for(lambda: grey_cells(program.window("KuRoE Zuziz"), 40), "the folder's cells once it has listed", 30)
        print("the 40 cells of the folder were seen %.2f s after the start" % (time.time() - began), flush=True)

        # Shown again (F5): the tree reads the share again and the folder lists again; "中止" ends the wait.
        keys("F5")
        box = wait_for(lambda: program.stop_box(), "the stop box after F5", 10)
        time.sleep(1.0)
        box = program.stop_box()
        pressed = time.time()
        press(1, box[2] + px(2280 + 480), box[3] + px(120 + 180))
        wait_for(lambda: not program.stop_box(), "the stop box to go after 中止", 10)
        took = time.time() - pressed
        print("\"中止\" during the listing: the stop box went %.3f s after the click" % took, flush=True)
        if took > 0.5:
            raise Failure("\"中止\" took %.3f s to end a listing (a frame, and the time to look)" % took)
        longest = ping_while(program, 2)
        if longest > 0.2:
            raise Failure("the window took %.3f s to answer a ping while the tree read the share" % longest)

        keys("F5")
        wait_for(lambda: program.stop_box(), "the stop box after F5", 10)
        time.sleep(0.5)
        close_and_time(program, "while a folder lists")
        check_log(program)
    finally:
        program.kill()
        slow.unmount()
    return 0


def vanishing_sequence(scratch):
    """A person's sequence that once left the program running with no window: the tree's keys, the wheel, a
    click, a favourite added, a double click, the About box from the keyboard, the wheel and Escape, at a
    person's gaps. Some window of the program must be mapped at the end."""
    home, desktop = make_home(scratch)
    for attempt in range(int(os.environ.get("KUROEVIEW_ATTEMPTS", "3"))):
        program = Program(home, os.path.join(desktop, "photos"), "sequence-%d" % attempt)
        try:
            wait_for(lambda: program.window("KuRoE Zuziz") and not program.stop_box(), "the first load", 60)
            time.sleep(0.5)
            _, _, x, y, w, h = program.window("KuRoE Zuziz")
            cell = lambda column: (x + px(3690 + 90) + column * px(885) + px(400), y + px(405 + 300) + px(375))
            shot = lambda name: os.environ.get("KUROEVIEW_SHOTS") and subprocess.run(
                ["import", "-window", "root", os.path.join(OUTPUT, "sequence-%d-%s.png" % (attempt, name))])
            keys("minus", "Next", "Return")
            shot("1-tree")
            for _ in range(5):
                press(4, x + px(6000), y + px(2000))
            press(1, *cell(0))
            shot("2-click")
            keys("alt+a", "a")
            shot("3-favourite")
            time.sleep(0.4)
            press(1, *cell(2), 2)
            shot("4-double-click")
            time.sleep(0.4)
            keys("alt+h", "Up", "Return")
            shot("5-about")
            for _ in range(3):
                press(5, x + w // 2, y + h // 2)
            keys("Escape")
            shot("6-escape")
            time.sleep(3)
            shot("7-end")
            shown = [window[0] for window in program.windows()]
            print("attempt %d: windows mapped at the end: %r" % (attempt, shown), flush=True)
            if not shown and not program.ended():
                subprocess.run(["import", "-window", "root", os.path.join(OUTPUT, "vanished.png")])
                raise Failure("no window of the program is mapped, and it still runs" + stacks(program))
            main = program.window("KuRoE Zuziz")
            if main:
                close_window(main[1])
            else:
                for window in program.windows():
                    close_window(window[1])
                    time.sleep(0.5)
                main = program.window("KuRoE Zuziz")
                if main:
                    close_window(main[1])
            program.process.wait(10)
            check_log(program)
        finally:
            program.kill()


def main():
    os.makedirs(OUTPUT, exist_ok=True)
    scratch = tempfile.mkdtemp()
    try:
        if MODE == "close":
            close_during_first_load(scratch)
        elif MODE == "sequence":
            vanishing_sequence(scratch)
        elif MODE == "slowshare":
            if slow_share(scratch) == 77:
                return 77
        else:
            monkey(scratch)
        print("events run passed", flush=True)
        return 0
    except Failure as failure:
        print("FAILED:", failure, flush=True)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
