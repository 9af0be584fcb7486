#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Walks the real updater executable through the paths a machine without MIDI hardware can reach.

It runs its own X server (Xvfb) and window manager (openbox), copies the program into a fresh
folder for every scenario so the update package beside it can be missing, damaged or good, and
drives the window the way a user does: mouse clicks at the pages' own coordinates. What the pages
say is read back from screenshots with OCR, and every page reached is kept as a PNG.

    gui_e2e.py TAVRIN_EXECUTABLE --resources DIR [--screenshots DIR]

Ends with a line "N passed, N failed"; the exit status is 0 only when nothing failed, 77 when a
tool it needs is missing (CTest reports that as skipped).
"""

import argparse
import ctypes
import difflib
import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata

TITLE_VERSION = " v0.6.3"
PACKAGE = "VELKOR_KX_7_UP.upd"
SCREEN = (1280, 800)

# Page sizes and the controls' centres, in page coordinates.
SMALL_PAGE = (400, 150)
OK_BUTTON = (330, 120)
CANCEL_BUTTON = (220, 120)
COMBO_BOX = (200, 75)
COMBO_BOX_AREA = (20, 65, 360, 20)
BUTTON_STRIP = (170, 110, 210, 20)

ENGLISH = {
    "language": ["Language Selections", "Please select a language."],
    "connection": ["Select connection method", "Select a method to connect with VELKOR KX-7."],
    "device": ["Select update device", "Select a VELKOR KX-7 to update."],
    "file error": ["There is an error in the update file."],
    "not connected": ["Your VELKOR KX-7 is not connected. : USB"],
}

# Locale order of the Language page's list, with the resource table and the OCR model of each.
LANGUAGES = [
    ("en", "english", "eng"), ("fr", "french", "fra"), ("de", "german", "deu"),
    ("es", "spanish", "spa"), ("it", "italian", "ita"), ("nl", "dutch", "nld"),
    ("ru", "russian", "rus"), ("pt", "portuguese", "por"),
    ("zh-Hans", "simplified_chinese", "chi_sim"), ("zh-Hant", "traditional_chinese", "chi_tra"),
    ("ko", "korean", "kor"), ("ja", "japanese", "jpn"),
]

TOOLS = ["Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "xdpyinfo", "xmessage", "import",
         "convert", "tesseract", "pgrep"]

# The framework's single-instance lock is one file for the whole machine.
INSTANCE_LOCK = "/var/tmp/juceAppLock_Tavrin" if os.path.isdir("/var/tmp") else "/tmp/juceAppLock_Tavrin"

STARTED = time.monotonic()
ALSA_SEQUENCER = "/dev/snd/seq"
# Every time limit is multiplied by this; a caller on a slower machine (an emulated one) raises it.
SLOWNESS = 1.0
OCR_THRESHOLD = 0.85
# At 11 to 13 pixels a CJK glyph loses strokes and OCR often takes one character for a look-alike;
# boxes in place of glyphs score near zero, the same sentence in another CJK language at most 0.5.
OCR_THRESHOLD_CJK = 0.6
CJK_MODELS = {"chi_sim", "chi_tra", "kor", "jpn"}


def threshold(model):
    return OCR_THRESHOLD_CJK if model in CJK_MODELS else OCR_THRESHOLD


class Failure(Exception):
    """A step that the rest of its scenario depends on went wrong."""

    def __init__(self, what, recorded=False):
        super().__init__(what)
        self.recorded = recorded


# ---------------------------------------------------------------------------------------------
# Results


class Results:
    def __init__(self):
        self.passed = 0
        self.skipped = 0
        self.failed = []
        self.scenario = ""

    def check(self, condition, what, detail=""):
        if condition:
            self.passed += 1
            print(f"  ok    {what}", flush=True)
        else:
            self.failed.append(f"{self.scenario}: {what}")
            print(f"  FAIL  {what}" + (f"\n        {detail}" if detail else ""), flush=True)
        return condition

    def skip(self, what, reason):
        self.skipped += 1
        print(f"  skip  {what}: {reason}", flush=True)

    def require(self, condition, what, detail=""):
        if not self.check(condition, what, detail):
            raise Failure(what, recorded=True)


results = Results()


# ---------------------------------------------------------------------------------------------
# Processes


def _die_with_parent():
    # A test driver killed by CTest's time-out must not leave X servers or windows behind.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


children = []


def spawn(argv, env, log=None, cwd=None, pass_fds=()):
    out = open(log, "ab") if log else subprocess.DEVNULL
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT, pass_fds=pass_fds,
                            preexec_fn=_die_with_parent)
    if log:
        out.close()
    children.append(proc)
    return proc


def stop(proc, grace=3.0):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=grace)


def run(argv, env, timeout=10, check=True):
    done = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)
    if check and done.returncode != 0:
        raise Failure(f"{' '.join(argv)} exited {done.returncode}: "
                      f"{done.stderr.decode(errors='replace').strip()}")
    return done.stdout.decode("utf-8", errors="replace")


def wait_until(probe, timeout, interval=0.05):
    """Returns the first truthy result of probe() within timeout (times SLOWNESS), else None."""
    deadline = time.monotonic() + timeout * SLOWNESS
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def instance_lock_is_free():
    if not os.path.exists(INSTANCE_LOCK):
        return True
    try:
        fd = os.open(INSTANCE_LOCK, os.O_RDWR)
    except OSError:
        return True
    try:
        fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        fcntl.lockf(fd, fcntl.LOCK_UN)
        return True
    except OSError:
        return False
    finally:
        os.close(fd)


# ---------------------------------------------------------------------------------------------
# The display


class Display:
    def __init__(self, workdir):
        self.home = os.path.join(workdir, "home")
        os.makedirs(self.home)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "LANG": "en_US.UTF-8",
            "OMP_THREAD_LIMIT": "1",
        }
        self.log = os.path.join(workdir, "display.log")

    def start(self):
        # Other X servers come and go on a shared machine; a start that loses a race is retried.
        problem = ""
        for _ in range(3):
            problem = self.try_start()
            if not problem:
                print(f"display {self.env['DISPLAY']} with openbox is ready", flush=True)
                return
            print(f"  note  {problem}; starting again", flush=True)
            self.stop()
        raise Failure(problem)

    def try_start(self):
        """Starts Xvfb and openbox; returns what went wrong, or an empty text."""
        read_end, write_end = os.pipe()
        self.xvfb = spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                           f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp", "-dpi", "96"],
                          self.env, log=self.log, pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 10
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.2)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            return "Xvfb did not report a display number"
        self.env["DISPLAY"] = ":" + number.strip().decode()

        if not wait_until(lambda: run(["xdpyinfo"], self.env, check=False).startswith("name of display"), 10):
            return f"the X server on {self.env['DISPLAY']} does not answer"

        self.openbox = spawn(["openbox", "--sm-disable"], self.env, log=self.log)
        if not wait_until(lambda: self.openbox.poll() is not None or "window id" in run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], self.env, check=False), 10) \
                or self.openbox.poll() is not None:
            return (f"the window manager did not start on {self.env['DISPLAY']} (Xvfb "
                    f"{'running' if self.xvfb.poll() is None else 'ended'}; see {self.log})")
        return ""

    def stop(self):
        for proc in (getattr(self, "openbox", None), getattr(self, "xvfb", None)):
            if proc is not None:
                stop(proc)

    def xdotool(self, *args, timeout=10, check=True):
        return run(["xdotool", *map(str, args)], self.env, timeout=timeout, check=check)


# ---------------------------------------------------------------------------------------------
# Reading pages


def normalise(text):
    """Lower case, no accents, no blanks: what OCR noise does not change."""
    decomposed = unicodedata.normalize("NFKD", text)
    kept = "".join(c for c in decomposed if not unicodedata.combining(c) and not c.isspace())
    return kept.casefold()


def similarity(expected, seen):
    """Best match of the expected text against any stretch of the OCR output, 0 to 1."""
    want, have = normalise(expected), normalise(seen)
    if not want:
        return 1.0
    best = 0.0
    for length in {len(want) - 2, len(want), len(want) + 2}:
        for start in range(0, max(1, len(have) - length + 1)):
            ratio = difflib.SequenceMatcher(None, want, have[start:start + length]).ratio()
            best = max(best, ratio)
            if best == 1.0:
                return best
    return best


class Window:
    def __init__(self, display, wid):
        self.display = display
        self.wid = wid

    def geometry(self):
        info = run(["xwininfo", "-id", self.wid], self.display.env, check=False)
        fields = dict(re.findall(r"^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)",
                                 info, re.M))
        if len(fields) < 4:
            return None
        return ((int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"])),
                (int(fields["Width"]), int(fields["Height"])))

    def title(self):
        return self.display.xdotool("getwindowname", self.wid, check=False).rstrip("\n")

    def prop(self, name):
        return run(["xprop", "-id", self.wid, name], self.display.env, check=False)

    def frame(self):
        tree = run(["xwininfo", "-id", self.wid, "-tree"], self.display.env, check=False)
        found = re.search(r"Parent window id: (0x[0-9a-f]+)", tree)
        return found.group(1) if found else self.wid

    def click(self, point):
        # On a loaded machine (seen under CPU emulation) a press that follows the pointer's
        # arrival at once was now and then lost between the window manager and the window.
        rest, hold = f"{0.1 * SLOWNESS:.2f}", f"{0.05 * SLOWNESS:.2f}"
        self.display.xdotool("mousemove", "--window", self.wid, point[0], point[1], "sleep", rest,
                             "mousedown", "1", "sleep", hold, "mouseup", "1")

    def choose(self, combo, index, count):
        """Picks item index of count from the combo box's drop-down list with the mouse."""
        menu = self.open_list(combo)
        results.require(menu, "the combo box opens its drop-down list")
        self.pick(menu, index, count)

    def pick(self, menu, index, count):
        """Clicks item index of count in the open drop-down list."""
        height = menu.geometry()[1][1]
        item = (60, int(height * (index + 0.5) / count))
        # The framework ignores a release that comes too soon after the list opened.
        closed = None
        for _ in range(3):
            time.sleep(0.3)
            menu.click(item)
            closed = wait_until(lambda: not list_open(self.display), 1)
            if closed:
                break
        results.require(closed, "the drop-down list closes after the pick")

    def open_list(self, combo):
        """Opens the combo box's drop-down list and returns it, or None."""
        # A click shorter than the framework's double-click guard can close the list it opened.
        for _ in range(3):
            self.display.xdotool("mousemove", "--window", self.wid, combo[0], combo[1],
                                 "mousedown", "1", "sleep", "0.15", "mouseup", "1")
            menu = wait_until(lambda: list_open(self.display), 2)
            if menu:
                return Window(self.display, menu[0])
        return None


def list_open(display):
    """The program's drop-down list windows on show."""
    return display.xdotool("search", "--onlyvisible", "--name", "^menu$", check=False).split()


def screenshot(display, wid, path):
    # The pointer would leave a hover highlight on the button it last clicked.
    display.xdotool("mousemove", "0", "0")
    run(["import", "-window", wid, "png:" + path], display.env)


def ocr(display, image, model, region=None, faint=False):
    """The text in the image, or in the region (x, y, w, h) of it as one line."""
    enlarged = image + ".ocr.png"
    crop = ["-crop", "{2}x{3}+{0}+{1}".format(*region), "+repage"] if region else []
    # A disabled entry is drawn at 30 % opacity, too pale for OCR without a hard threshold.
    contrast = ["-threshold", "85%"] if faint else []
    run(["convert", image, *crop, "-resize", "400%", "-colorspace", "Gray", *contrast, enlarged],
        display.env)
    # Sparse text finds the short words in buttons and boxes that block layouts skip.
    layout = "7" if region else "11"
    text = run(["tesseract", enlarged, "-", "--psm", layout, "-l", model], display.env, timeout=30)
    os.unlink(enlarged)
    return text


def read_page(display, wid, path, expected, model, timeout=8):
    """Screenshots until every expected text is read, or time runs out; returns the scores."""
    scores, seen = {}, ""
    deadline = time.monotonic() + timeout * SLOWNESS
    while True:
        screenshot(display, wid, path)
        seen = ocr(display, path, model)
        scores = {text: similarity(text, seen) for text in expected}
        if min(scores.values()) >= threshold(model) or time.monotonic() >= deadline:
            return scores, seen
        time.sleep(0.2)


# ---------------------------------------------------------------------------------------------
# The program


class Updater:
    """One copy of the program in its own folder, with or without a package beside it."""

    def __init__(self, display, executable, folder, package=None):
        self.display = display
        self.folder = folder
        os.makedirs(folder)
        self.executable = os.path.join(folder, "Tavrin")
        shutil.copy2(executable, self.executable)
        if package is not None:
            with open(os.path.join(folder, PACKAGE), "wb") as f:
                f.write(package)
        self.log = os.path.join(folder, "output.log")
        self.proc = None
        self.window = None
        self.origin = None

    def launch(self):
        results.require(wait_until(instance_lock_is_free, 20),
                        "no other copy of the program runs on this machine",
                        f"{INSTANCE_LOCK} is held by another process")
        return spawn([self.executable], self.display.env, log=self.log, cwd=self.display.home)

    def start(self):
        self.proc = self.launch()
        found = wait_until(lambda: self.display.xdotool(
            "search", "--all", "--pid", self.proc.pid, "--name", "Updater Program",
            check=False).split(), 10)
        results.require(found, "the program opens its window",
                        f"exit status {self.proc.poll()}; output: {self.output()}")
        self.window = Window(self.display, found[0])
        # Every title the window gets, for the report of a title check that fails.
        self.titles = os.path.join(self.folder, "titles.log")
        spawn(["xprop", "-spy", "-id", self.window.wid, "WM_NAME"], self.display.env, log=self.titles)
        geometry = wait_until(self.window.geometry, 5)
        results.require(geometry, "the window's geometry can be read")
        self.origin = geometry[0]
        # The version joins the title through a deferred notification of the Language page; an
        # OK pressed before it arrives deletes the page and the title stays without it.
        title = "Updater Program" + TITLE_VERSION
        results.check(wait_until(lambda: self.window.title() == title, 5),
                      f"the title becomes \"{title}\"", f"titles: {self.title_history()}")
        return self.window

    def title_history(self):
        try:
            with open(self.titles, errors="replace") as f:
                return [line.split(" = ", 1)[-1] for line in f.read().splitlines()]
        except OSError:
            return []

    def processes(self):
        out = run(["pgrep", "-f", "^" + re.escape(self.executable) + "$"], self.display.env, check=False)
        return len(out.split())

    def output(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read().strip()
        except OSError:
            return ""

    def expect_exit(self, what, explain_running=None):
        """The program ends with status 0 within seconds; explain_running() adds to the report
        of one that is still running."""
        try:
            status = self.proc.wait(timeout=5 * SLOWNESS)
        except subprocess.TimeoutExpired:
            status = None
        detail = f"exit status {status}"
        if status is None and explain_running is not None:
            detail += "; " + explain_running()
        results.check(status == 0, what, detail)
        # A debug build reports the framework's assertions and leaks on its output.
        for line in self.output().splitlines():
            if "Assertion failure" in line or "Leaked objects" in line:
                print(f"  note  program output: {line}", flush=True)

    def expect_page(self, name, size, texts, shot, model="eng", buttons=None,
                    title="Updater Program" + TITLE_VERSION):
        """The window shows the page: its size, its corner where it was, its title and texts,
        and the labels of the button pair when given (e.g. "Cancel OK")."""
        window = self.window
        geometry = wait_until(lambda: (g := window.geometry()) and g[1] == size and g, 5)
        seen_size = window.geometry()
        results.check(geometry, f"{name} page: the window's content is {size[0]}x{size[1]}",
                      f"seen {seen_size}")
        if geometry:
            results.check(geometry[0] == self.origin,
                          f"{name} page: the window's top-left corner stays at {self.origin}",
                          f"seen {geometry[0]}")
        if title is not None:
            results.check(window.title() == title, f"{name} page: the title stays \"{title}\"",
                          f"seen \"{window.title()}\"; titles so far: {self.title_history()}")
        scores, seen = read_page(self.display, window.wid, shot, texts, model)
        for text, score in scores.items():
            results.check(score >= threshold(model), f"{name} page reads \"{text}\"",
                          f"similarity {score:.2f}; OCR saw: {' | '.join(seen.split(chr(10)))}")
        if buttons is not None:
            # Button borders read as strokes; the labels are the words.
            labels = " ".join(re.findall(r"\w+", ocr(self.display, shot, model, BUTTON_STRIP)))
            results.check(labels == buttons, f"{name} page: the buttons read \"{buttons}\"",
                          f"OCR saw: {labels}")
        return seen

    def kill(self):
        if self.proc is not None:
            stop(self.proc)


# ---------------------------------------------------------------------------------------------
# Packages


def good_package(build_package):
    with open(build_package, "rb") as f:
        return f.read()


def payload_byte_flipped(data):
    length = int.from_bytes(data[32:36], "little")
    middle = 36 + length // 2
    return data[:middle] + bytes([data[middle] ^ 0x01]) + data[middle + 1:]


def truncated(data):
    return data[:len(data) // 2]


def other_device(data):
    return b"VELKOR KX-8".ljust(16, b"\0") + data[16:]


PACKAGE_FAULTS = [
    ("missing", None),
    ("truncated", truncated),
    ("payload-byte-flipped", payload_byte_flipped),
    ("other-device", other_device),
]


# ---------------------------------------------------------------------------------------------
# Scenarios


def scenario(name):
    print(f"\n== {name}  ({time.monotonic() - STARTED:.1f} s)", flush=True)
    results.scenario = name


def check_window(display, updater):
    """Placement, always-on-top, and that the user cannot resize the window."""
    window = updater.window
    (x, y), (w, h) = window.geometry()
    centre_offset = (abs(x + w // 2 - SCREEN[0] // 2), abs(y + h // 2 - SCREEN[1] // 2))
    results.check(max(centre_offset) <= 30, "the window opens centred on the screen",
                  f"content at {x},{y} size {w}x{h}")
    results.check("_NET_WM_STATE_ABOVE" in window.prop("_NET_WM_STATE"), "the window stays on top")

    allowed = window.prop("_NET_WM_ALLOWED_ACTIONS")
    results.check("_NET_WM_ACTION_MOVE" in allowed and "_NET_WM_ACTION_RESIZE" not in allowed
                  and "_NET_WM_ACTION_MAXIMIZE" not in allowed,
                  "the window manager offers no resize or maximise", allowed.strip())

    # The user's resize gesture (Alt + right-drag from the bottom-right corner); the same gesture
    # on an ordinary window shows that it reaches the window manager.
    def drag_resize(wid, size):
        display.xdotool("mousemove", "--window", wid, size[0] - 5, size[1] - 5, "keydown", "alt",
                        "mousedown", "3", "sleep", "0.1", "mousemove_relative", "--", "60", "40",
                        "sleep", "0.1", "mousemove_relative", "--", "60", "40", "sleep", "0.1",
                        "mouseup", "3", "keyup", "alt")
        time.sleep(0.3)

    control_proc = spawn(["xmessage", "-geometry", "200x80+10+10", "-name", "e2e-control", "resizable"],
                         display.env)
    try:
        control = wait_until(lambda: display.xdotool("search", "--onlyvisible", "--classname",
                                                     "e2e-control", check=False).split(), 5)
        results.require(control, "an ordinary window opens beside the program")
        control = Window(display, control[0])
        before = control.geometry()[1]
        drag_resize(control.wid, before)
        results.require(control.geometry()[1] != before,
                        "the resize gesture resizes an ordinary window", f"stayed {before}")
    finally:
        stop(control_proc)

    drag_resize(window.wid, SMALL_PAGE)
    results.check(window.geometry() == (updater.origin, SMALL_PAGE),
                  "the same gesture leaves the program's window as it was", f"seen {window.geometry()}")


def run_package_fault(display, executable, package, workdir, shots, fault, damage):
    scenario(f"package {fault}")
    data = None if damage is None else damage(package)
    updater = Updater(display, executable, os.path.join(workdir, fault), data)
    try:
        updater.start()
        if fault == "missing":
            check_window(display, updater)
            updater.expect_page("language", SMALL_PAGE, ENGLISH["language"],
                                os.path.join(shots, "page-language.png"), buttons="Cancel OK")
        updater.window.click(OK_BUTTON)
        updater.expect_page("file error", SMALL_PAGE, ENGLISH["file error"],
                            os.path.join(shots, f"error-file-{fault}.png"))
        updater.window.click(OK_BUTTON)
        updater.expect_exit("OK on the error page ends the program with status 0")
    finally:
        updater.kill()


def run_usb(display, executable, package, workdir, shots):
    scenario("good package, USB")
    updater = Updater(display, executable, os.path.join(workdir, "usb"), package)
    try:
        window = updater.start()
        window.click(OK_BUTTON)
        shot = os.path.join(shots, "page-connection.png")
        updater.expect_page("connection", SMALL_PAGE, ENGLISH["connection"], shot, buttons="Cancel OK")
        seen = ocr(display, shot, "eng", COMBO_BOX_AREA).strip()
        results.check(seen == "USB", "the connection method offered first is USB", f"OCR saw: {seen}")
        window.click(OK_BUTTON)
        seen = updater.expect_page("not connected", SMALL_PAGE, ENGLISH["not connected"],
                                   os.path.join(shots, "error-not-connected-usb.png"))
        results.check(re.search(r":\s*USB\b", seen) and "MIDI" not in seen,
                      "the error names the USB method", f"OCR saw: {' | '.join(seen.splitlines())}")
        window.click(OK_BUTTON)
        updater.expect_exit("OK on the error page ends the program with status 0")
    finally:
        updater.kill()


def run_midi(display, executable, package, workdir, shots):
    scenario("good package, MIDI, no ports")
    updater = Updater(display, executable, os.path.join(workdir, "midi"), package)
    try:
        window = updater.start()
        window.click(OK_BUTTON)
        updater.expect_page("connection", SMALL_PAGE, ENGLISH["connection"][:1],
                            os.path.join(workdir, "connection.png"))
        window.choose(COMBO_BOX, 1, 2)
        window.click(OK_BUTTON)
        updater.expect_page("device", SMALL_PAGE, ENGLISH["device"],
                            os.path.join(shots, "page-device.png"))

        menu = window.open_list(COMBO_BOX)
        results.require(menu, "the device list opens")
        listing = os.path.join(shots, "page-device-list.png")
        (left, top), (width, height) = window.geometry()
        (list_left, list_top), (list_width, list_height) = menu.geometry()
        bottom = max(top + height, list_top + list_height)
        display.xdotool("mousemove", "0", "0")
        run(["import", "-window", "root", "-crop", f"{width}x{bottom - top}+{left}+{top}", "+repage",
             "png:" + listing], display.env)
        # The list's one entry, inside its 1-pixel border.
        entry = (list_left - left + 1, list_top - top + 1, list_width - 2, list_height - 2)
        seen = ocr(display, listing, "eng", entry, faint=True)
        results.check(similarity("(no choices)", seen) >= OCR_THRESHOLD,
                      "with no MIDI ports the list shows \"(no choices)\"", f"OCR saw: {seen.strip()}")
        display.xdotool("key", "Escape")
        results.require(wait_until(lambda: not list_open(display), 3), "Escape closes the device list")

        window.click(OK_BUTTON)
        time.sleep(0.5)
        results.check(updater.proc.poll() is None, "the disabled OK leaves the program running")
        updater.expect_page("device (after OK)", SMALL_PAGE, ENGLISH["device"][:1],
                            os.path.join(workdir, "device-after-ok.png"))

        window.click(CANCEL_BUTTON)
        updater.expect_exit("Cancel on the device page ends the program with status 0")
    finally:
        updater.kill()


def run_second_instance(display, executable, package, workdir):
    scenario("second launch")
    updater = Updater(display, executable, os.path.join(workdir, "twice"), package)
    try:
        window = updater.start()
        second = spawn([updater.executable], display.env, log=updater.log + ".second",
                       cwd=display.home)
        try:
            status = second.wait(timeout=5)
        except subprocess.TimeoutExpired:
            status = None
        results.check(status == 0, "the second launch ends at once with status 0", f"exit status {status}")
        results.check(updater.processes() == 1, "one process of the program runs",
                      f"{updater.processes()} running")
        windows = display.xdotool("search", "--name", "Updater Program", check=False).split()
        results.check(windows == [window.wid], "one program window is open", f"windows {windows}")
        window.click(CANCEL_BUTTON)
        updater.expect_exit("the first copy still answers: Cancel ends it with status 0")
    finally:
        updater.kill()


def read_table(resources, table, section=":STR"):
    """One section of a text table: its entries in order, without quotes."""
    with open(os.path.join(resources, table + ".txt"), encoding="utf-8-sig") as f:
        lines = [line.strip() for line in f.read().splitlines()]
    start = lines.index(section) + 1
    strings = []
    for line in lines[start:]:
        if line.startswith(":"):
            break
        if line:
            strings.append(line[1:-1] if len(line) >= 2 and line[0] == line[-1] == '"' else line)
    return strings


def run_languages(display, executable, package, workdir, shots, resources):
    scenario("the Language page in every language")
    updater = Updater(display, executable, os.path.join(workdir, "languages"), package)
    models = run(["tesseract", "--list-langs"], display.env)
    try:
        window = updater.start()
        frame = window.frame()
        names = read_table(resources, "language", ":LANG")
        order = list(range(1, len(LANGUAGES))) + [0]
        for index in order:
            tag, table, model = LANGUAGES[index]
            strings = read_table(resources, table)
            window.choose(COMBO_BOX, index, len(LANGUAGES))
            title = strings[8] + TITLE_VERSION
            results.check(wait_until(lambda: window.title() == title, 3),
                          f"{tag}: the title becomes \"{title}\"", f"seen \"{window.title()}\"")
            if not results.check(model in models.split(), f"{tag}: OCR model {model} is installed",
                                 "install tesseract-ocr-" + model.replace("_", "-")):
                continue
            shot = os.path.join(shots, f"language-{index:02d}-{tag}.png")
            page = os.path.join(workdir, f"language-{tag}.png")
            seen = updater.expect_page(tag, SMALL_PAGE, [strings[13], strings[14]], page, model,
                                       title=None)
            results.check(similarity(names[index], seen) >= threshold(model),
                          f"{tag}: the box shows \"{names[index]}\"", f"OCR saw: {seen.strip()}")
            # Kept with the title bar, which shows the title in the language.
            screenshot(display, frame, shot)
        window.click(CANCEL_BUTTON)
        updater.expect_exit("Cancel on the Language page ends the program with status 0")
    finally:
        updater.kill()


# ---------------------------------------------------------------------------------------------


def run_walks(walks, caught, stopped=lambda: False):
    """Each walk in turn; one that fails with a caught error is reported and the next one runs."""
    for walk in walks:
        if stopped():
            break
        try:
            walk()
        except caught as error:
            if not getattr(error, "recorded", False):
                results.failed.append(f"{results.scenario}: {error!r}")
            print(f"  FAIL  scenario stopped: {error!r}", flush=True)


def print_summary(shots, notes=()):
    """The closing lines; the exit status: 0 only when nothing failed."""
    print(f"\nscreenshots: {shots}")
    print(f"took {time.monotonic() - STARTED:.1f} s")
    for note in notes:
        print(note)
    if results.failed:
        print("failed:\n  " + "\n  ".join(results.failed))
    print(f"{results.passed} passed, {len(results.failed)} failed, {results.skipped} skipped")
    return 1 if results.failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("executable")
    parser.add_argument("--resources", required=True, help="the program's text tables")
    parser.add_argument("--screenshots", help="where the pages' screenshots go")
    args = parser.parse_args()

    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"skipped: missing {' '.join(missing)} (tools/install-deps installs them)")
        return 77

    executable = os.path.abspath(args.executable)
    shots = os.path.abspath(args.screenshots or os.path.join(
        os.path.dirname(os.path.dirname(executable)), "e2e-screenshots"))
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        if old.endswith(".png"):
            os.unlink(os.path.join(shots, old))
    package = good_package(os.path.join(os.path.dirname(executable), PACKAGE))

    # No step may hang: the whole walk gets a hard limit.
    def out_of_time(*_):
        raise Failure("the walk took longer than its time limit")
    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, out_of_time)
    signal.alarm(150)

    workdir = tempfile.mkdtemp(prefix="tavrin-e2e-")
    display = Display(workdir)
    walks = [lambda f=f, d=d: run_package_fault(display, executable, package, workdir, shots, f, d)
             for f, d in PACKAGE_FAULTS]
    # With a MIDI service there are ports (at least its own through port), so other pages follow.
    if os.path.exists(ALSA_SEQUENCER):
        reason = f"{ALSA_SEQUENCER} exists; these walks need a machine without MIDI ports"
        walks += [lambda: results.skip("the USB and MIDI walks", reason)]
    else:
        walks += [lambda: run_usb(display, executable, package, workdir, shots),
                  lambda: run_midi(display, executable, package, workdir, shots)]
    walks += [
        lambda: run_second_instance(display, executable, package, workdir),
        lambda: run_languages(display, executable, package, workdir, shots, args.resources),
    ]
    try:
        display.start()
        run_walks(walks, (Failure, subprocess.TimeoutExpired))
    except Failure as error:
        results.failed.append(f"set-up: {error}")
        print(f"FAIL  {error}", flush=True)
    finally:
        signal.alarm(0)
        for proc in reversed(children):
            if proc.poll() is None:
                stop(proc)
        display.stop()
        if results.failed:
            print(f"\nkept for inspection: {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)

    return print_summary(shots)


if __name__ == "__main__":
    sys.exit(main())
