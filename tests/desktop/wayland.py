#!/usr/bin/python3
"""KuRoEView on a Wayland compositor: a headless sway, input from a virtual pointer and wtype.

Usage: wayland.py KUROEVIEW WLPOINTER SCRATCH (run as an unprivileged user; wayland.sh starts it).
Checks what only a compositor that floats its windows shows: the stop box and the settings dialog
belong to the main window (their toplevels have it as parent), and the viewer of a picture larger
than the screen keeps its title bar on the screen.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import time

PROGRAM, POINTER, SCRATCH = sys.argv[1:4]
WIDTH, HEIGHT = 1280, 1024
RUNTIME = os.path.join(SCRATCH, "runtime")
HOME = os.path.join(SCRATCH, "home")


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def wait_for(predicate, what, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise Failure("timed out waiting for " + what)


def environment(**extra):
    return dict(os.environ, XDG_RUNTIME_DIR=RUNTIME, WAYLAND_DISPLAY="wayland-1", HOME=HOME,
                XDG_CONFIG_HOME=os.path.join(HOME, ".config"), XDG_CACHE_HOME=os.path.join(HOME, ".cache"),
                XDG_DATA_HOME=os.path.join(HOME, ".local", "share"), **extra)


def sway(*command):
    sockets = [f for f in os.listdir(RUNTIME) if f.startswith("sway-ipc")]
    result = subprocess.run(["swaymsg", "-s", os.path.join(RUNTIME, sockets[0])] + list(command),
                            capture_output=True, text=True)
    return result.stdout


def windows():
    """The program's windows on the screen: name -> (rect, title bar)."""
    found = {}

    def walk(node):
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            if child.get("pid") and child.get("name") is not None:
                found[child["name"]] = (child["rect"], child.get("deco_rect"))
            walk(child)
    walk(json.loads(sway("-t", "get_tree")))
    return found


class Pointer:
    def __init__(self):
        self.process = subprocess.Popen([POINTER, str(WIDTH), str(HEIGHT)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, env=environment())

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        if self.process.stdout.readline().strip() != "ok":
            raise Failure("the virtual pointer did not take: " + line)

    def click(self, x, y, times=1):
        self.send("move %d %d" % (x, y))
        time.sleep(0.15)
        for _ in range(times):
            self.send("click 1")
            time.sleep(0.08)


def keys(*names):
    for name in names:
        parts = name.split("+")
        command = ["wtype"]
        for modifier in parts[:-1]:
            command += ["-M", modifier]
        command += ["-k", parts[-1]]
        for modifier in parts[:-1]:
            command += ["-m", modifier]
        subprocess.run(command, env=environment(), capture_output=True)
        time.sleep(0.15)


def owners(log):
    """From the program's Wayland log: (title, title of its parent) of every toplevel made with a title
    bar (the frameless hover box, untitled like the stop box, is left out). Ids are used again once a
    window is gone, so each is taken as it stands at the moment."""
    titles, parents, decorated, found = {}, {}, set(), []
    for line in log.splitlines():
        parent = re.search(r"-> xdg_toplevel@(\d+)\.set_parent\((?:xdg_toplevel@(\d+)|nil)\)", line)
        title = re.search(r'-> xdg_toplevel@(\d+)\.set_title\("(.*)"\)', line)
        made = re.search(r"-> xdg_surface@\d+\.get_toplevel\(new id xdg_toplevel@(\d+)\)", line)
        decoration = re.search(r"-> zxdg_decoration_manager_v1@\d+\.get_toplevel_decoration\(new id [^,]+, xdg_toplevel@(\d+)\)", line)
        if made:
            parents.pop(made.group(1), None)
            titles.pop(made.group(1), None)
            decorated.discard(made.group(1))
        if decoration:
            decorated.add(decoration.group(1))
        if parent:
            parents[parent.group(1)] = titles.get(parent.group(2)) if parent.group(2) else None
        if title:
            titles[title.group(1)] = title.group(2)
            if title.group(1) in decorated:
                found.append((title.group(2), parents.get(title.group(1))))
    return found


def screenshot(name):
    """The compositor's screen as a PNG, where grim is there to take it."""
    try:
        subprocess.run(["grim", os.path.join(SCRATCH, name)], env=environment(), capture_output=True)
    except OSError as error:
        print("no screenshot:", error, flush=True)


def main():
    os.makedirs(RUNTIME, mode=0o700)
    pictures = os.path.join(HOME, "pictures")
    os.makedirs(os.path.join(HOME, ".config"))
    os.makedirs(pictures)
    # One photo larger than the screen, and enough of them that a load lasts.
    subprocess.run(["convert", "-size", "3000x2000", "gradient:orange-navy", "-attenuate", "0.4", "+noise", "Gaussian",
                    "-interlace", "JPEG", "-quality", "92", os.path.join(pictures, "p000.jpg")], check=True)
    for i in range(1, 60):
        shutil.copy(os.path.join(pictures, "p000.jpg"), os.path.join(pictures, "p%03d.jpg" % i))
    config = os.path.join(SCRATCH, "sway.config")
    with open(config, "w") as out:
        out.write("output HEADLESS-1 resolution %dx%d\nfocus_follows_mouse no\n"
                  "for_window [app_id=\".*\"] floating enable\n" % (WIDTH, HEIGHT))
    compositor = subprocess.Popen(["sway", "-c", config], env=environment(WLR_BACKENDS="headless",
                                  WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman"),
                                  stdout=open(os.path.join(SCRATCH, "sway.log"), "w"), stderr=subprocess.STDOUT)
    program = None
    try:
        wait_for(lambda: os.path.exists(os.path.join(RUNTIME, "wayland-1")) and
                 any(f.startswith("sway-ipc") for f in os.listdir(RUNTIME)), "sway")
        # A keyboard the seat keeps for the whole run: each wtype adds its own for a moment, and a
        # seat that had none when a window took the focus sends it no keys.
        keyboard = subprocess.Popen(["wtype", "-s", "3600000", "-k", "Escape"], env=environment())
        log_path = os.path.join(SCRATCH, "program.log")
        program = subprocess.Popen([PROGRAM], cwd=pictures, env=environment(QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="1"),
                                   stdout=open(log_path, "w"), stderr=subprocess.STDOUT)
        wait_for(lambda: "KuRoE Zuziz" in windows(), "the main window")
        # The first load, with its stop box.
        wait_for(lambda: "KuRoEView" in windows(), "the stop box")
        wait_for(lambda: "KuRoEView" not in windows(), "the first load to end", 120)
        time.sleep(0.5)
        pointer = Pointer()
        main_rect = windows()["KuRoE Zuziz"][0]
        # A double click on the first cell: the viewer of a picture larger than the screen.
        cell = (main_rect["x"] + round((3690 + 90 + 400) / 15), main_rect["y"] + round((405 + 300 + 375) / 15))
        pointer.click(*cell, times=2)
        viewer = wait_for(lambda: windows().get("p000.jpg"), "the viewer")
        rect, title = viewer
        print("viewer: rect %r, title bar %r" % (rect, title), flush=True)
        check(title is None or title["y"] >= 0, "the viewer's title bar is on the screen")
        check(rect["y"] + rect["height"] <= HEIGHT and rect["x"] >= 0 and rect["x"] + rect["width"] <= WIDTH,
              "the viewer lies within the screen")
        # Back to the thumbnails (a double click in the viewer), then the dialogs from the keyboard.
        pointer.click(WIDTH // 2, HEIGHT // 2, times=2)
        wait_for(lambda: "p000.jpg" not in windows() and "KuRoE Zuziz" in windows(), "the main window again")
        keys("alt+f", "o")
        wait_for(lambda: "環境設定" in windows(), "the settings dialog")
        keys("Escape")
        wait_for(lambda: "環境設定" not in windows(), "the settings dialog to close")
        keys("alt+h", "a")
        wait_for(lambda: "ﾊﾞｰｼﾞｮﾝ情報" in windows(), "the About box")
        keys("Escape")
        wait_for(lambda: "ﾊﾞｰｼﾞｮﾝ情報" not in windows(), "the About box to close")
        found = owners(open(log_path, errors="replace").read())
        # (The About box shows while the main window is hidden, as it always has: it has no window to
        # stand over then.)
        for name in ("環境設定", "KuRoEView"):
            owned = [parent for title, parent in found if title == name]
            check(owned and all(parent == "KuRoE Zuziz" for parent in owned),
                  "%s belongs to the main window (%r)" % (name, owned))
        screenshot("wayland.png")
        program.terminate()
        program.wait(10)
        print("wayland run passed", flush=True)
        return 0
    except Failure as failure:
        print("FAILED:", failure, flush=True)
        screenshot("failure.png")
        if program and program.poll() is None and shutil.which("gdb"):
            # Where a program that stopped answering waits.
            stacks = subprocess.run(["gdb", "-p", str(program.pid), "-batch", "-ex", "thread apply all bt 30"],
                                    capture_output=True, text=True, timeout=60)
            print(stacks.stdout[-8000:], flush=True)
        return 1
    finally:
        if program and program.poll() is None:
            program.kill()
        if "keyboard" in locals():
            keyboard.kill()
        compositor.terminate()
        compositor.wait(10)


if __name__ == "__main__":
    sys.exit(main())
