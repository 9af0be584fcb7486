#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Whole firmware updates through the real program and a real ALSA sequencer.

The window is driven with gui_e2e.py's machinery (an X server and window manager of its own, mouse
clicks at the pages' coordinates, texts read back with OCR). virtual-synth stands in for the
synthesizer's USB port; under the alsa-vm harness's -u option a serial MIDI port's wire bytes land
in a file on the host. What arrives is compared byte for byte with the package's payload.

    alsa_e2e.py TAVRIN_EXECUTABLE --updtool PATH --virtual-synth PATH [--screenshots DIR]

The serial scenario needs TAVRIN_UART_CAPTURE naming the -u capture file, as the ALSA tests do.
Ends with a line "N passed, N failed"; the exit status is 0 only when nothing failed, 77 without
a sequencer or a tool it needs (CTest reports that as skipped).
"""

import argparse
import ctypes
import ctypes.util
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

# No bytecode cache in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_e2e as e2e  # noqa: E402  (found beside this file)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import rgba_png  # noqa: E402  (the artwork scripts' PNG encoder)
from gui_e2e import (OCR_THRESHOLD, OK_BUTTON, SMALL_PAGE, COMBO_BOX, Failure, Updater,  # noqa: E402
                     results, run, similarity, scenario, wait_until)

# Page sizes and the controls' centres, in page coordinates, beyond those gui_e2e.py knows.
VERSION_PAGE = (480, 240)
START_BUTTON = (410, 210)
PROGRESS_PAGE = (400, 200)
BUSY_BAR = (20, 80, 360, 20)
FINISH_PAGE = (400, 170)
FINISH_OK_BUTTON = (330, 140)
HEADER = (20, 20, 360, 20)

# The pages' text boxes (x, y, w, h).
# Of the Version page's set-up steps, the lines around the one that names the method.
VERSION_REGIONS = [(20, 20, 440, 20), (40, 40, 420, 20), (20, 110, 440, 42)]
PROGRESS_REGIONS = [(20, 20, 360, 20), (40, 40, 340, 20), (20, 120, 360, 60)]
FINISH_REGIONS = [(20, 20, 360, 20), (40, 40, 340, 80)]
ERROR_REGIONS = [(105, 20, 275, 80)]
# Every page of the program has its first lines of text above this.
FIRST_LINES = 110

PRODUCT = "VELKOR KX-7"
USB_PORT = "Velkor KX-7"
CONNECTION_HEADER = "Select connection method"
DEVICE_HEADER = "Select update device"
VERSION_HEADER = "Updates the version of your VELKOR KX-7 firmware."
PROGRESS_TEXTS = ["Updating your VELKOR KX-7 firmware.", "Transferring the firmware.Please wait.",
                  "A countdown is displayed in the [VELKOR KX-7] body."]
FINISH_TEXTS = ["Updating your VELKOR KX-7 firmware.",
                "Please wait until the firmware update completes.",
                "After updating is completed, VELKOR KX-7 will restart automatically.",
                "Do not turn off the VELKOR KX-7."]
TRANSFER_ERROR_TEXTS = ["An error has occurred.", "It was not possible to update the program."]
# What only a result page says (the Finish page shares its header with the Progress page).
RESULT_TEXTS = FINISH_TEXTS[1:3] + TRANSFER_ERROR_TEXTS

KIB = 1024
# A receiver no faster than this makes a 256 KiB transfer last about eight seconds.
SLOW_RATE = 32000
# The receiver's library reads up to about 14 KB of events ahead of its own pace, and the sender's
# end may leave one 256-byte event in the receiver's pool: a correct program may end that much
# earlier than the receiver's report of the whole message.
READ_AHEAD = 16 * KIB


class Context:
    """What the scenarios share: the display, the programs, where things go, what was seen."""

    def __init__(self, args, workdir, shots):
        self.executable = os.path.abspath(args.executable)
        self.updtool = os.path.abspath(args.updtool)
        self.synth = os.path.abspath(args.virtual_synth)
        self.workdir = workdir
        self.shots = shots
        self.display = e2e.Display(workdir)
        self.x = None
        self.packages = {}
        # OCR of the result pages, which show whether the result-page detector sees them.
        self.seen = {}
        # Pixels of page parts that OCR has read once: the same pixels later read the same.
        self.verified = {}

    def shot(self, name):
        return os.path.join(self.shots, f"alsa-{name}.png")


# ---------------------------------------------------------------------------------------------
# Packages


class Package:
    """An update package made by updtool around a generated SysEx image of the given size."""

    def __init__(self, ctx, name, size, version, seed):
        self.name = name
        self.version = version
        # F0, the non-commercial manufacturer ID, 7-bit data, F7: one SysEx message.
        body = random.Random(seed).randbytes(size - 3).translate(bytes(i & 0x7F for i in range(256)))
        self.payload = b"\xf0\x7d" + body + b"\xf7"
        syx = os.path.join(ctx.workdir, f"package-{name}.syx")
        upd = os.path.join(ctx.workdir, f"package-{name}.upd")
        with open(syx, "wb") as f:
            f.write(self.payload)
        run([ctx.updtool, "pack", "--device", PRODUCT, "--version", version, syx, upd],
            ctx.display.env, timeout=60)
        with open(upd, "rb") as f:
            self.data = f.read()
        length = int.from_bytes(self.data[32:36], "little")
        results.require(length == size and self.data[36:36 + length] == self.payload,
                        f"the {name} package carries the {size}-byte payload")


def without_port_selects(wire):
    """The serial driver's port-select pairs (F5 01) taken out; 7-bit data never holds F5."""
    return wire.replace(b"\xf5\x01", b"")


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def check_bytes(received, payload, what):
    same = received == payload
    results.check(same, what, "" if same else f"received {len(received)} bytes, payload "
                  f"{len(payload)}; first difference at byte {first_difference(received, payload)}")


# ---------------------------------------------------------------------------------------------
# The virtual synthesizer and the program's end


class Synth:
    """A virtual-synth process whose output lines are stamped with the time they arrive."""

    def __init__(self, ctx, name, options):
        self.output = os.path.join(ctx.workdir, f"{name}-received.syx")
        self.log = os.path.join(ctx.workdir, f"{name}-synth.log")
        with open(self.log, "wb") as err:
            self.proc = subprocess.Popen(
                [ctx.synth, "--output", self.output, "--timeout", "300", *map(str, options)],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err,
                preexec_fn=e2e._die_with_parent)
        e2e.children.append(self.proc)
        self.lines = []
        self.ended = False
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        results.require(self.line("ready", 10), "virtual-synth is ready",
                        f"exit status {self.proc.poll()}; {self.errors()}")

    def _read(self):
        for raw in self.proc.stdout:
            stamp = time.monotonic()
            with self.changed:
                self.lines.append((stamp, raw.decode(errors="replace").rstrip("\n")))
                self.changed.notify_all()
        with self.changed:
            self.ended = True
            self.changed.notify_all()

    def line(self, prefix, timeout):
        """(time, line) of the first line that starts with prefix, or None after the timeout."""
        deadline = time.monotonic() + timeout * e2e.SLOWNESS
        with self.changed:
            while True:
                found = [entry for entry in self.lines if entry[1].startswith(prefix)]
                remaining = deadline - time.monotonic()
                if found or self.ended or remaining <= 0:
                    return found[0] if found else None
                self.changed.wait(remaining)

    def messages(self):
        with self.changed:
            return [line for _, line in self.lines if line.startswith("sysex ")]

    def received(self):
        try:
            with open(self.output, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def errors(self):
        with open(self.log, errors="replace") as f:
            return f.read().strip()

    def stop(self):
        e2e.stop(self.proc)


class ExitWatch:
    """Notes the moment the program ends, to the millisecond, whatever the test is doing then."""

    def __init__(self, proc):
        self.proc = proc
        self.when = None
        self.thread = threading.Thread(target=self._wait, daemon=True)
        self.thread.start()

    def _wait(self):
        self.proc.wait()
        self.when = time.monotonic()

    def ended(self):
        return self.when is not None


# ---------------------------------------------------------------------------------------------
# Reading the window


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]  # the rest is not read


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


class XReader:
    """Window sizes and pixels read in this process. Under the VM's emulated CPU a screenshot
    program takes a second or more, too slow to follow a page change or the busy bar."""

    def __init__(self, display_name):
        x = self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(XWindowAttributes)]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XTranslateCoordinates.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong)]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        # A window that has just gone is an answer here, not a reason for Xlib to end the process.
        self.on_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda *_: 0)
        x.XSetErrorHandler(self.on_error)
        self.dpy = x.XOpenDisplay(display_name.encode())
        if not self.dpy:
            raise Failure(f"cannot open the display {display_name}")
        self.root = x.XDefaultRootWindow(self.dpy)

    def close(self):
        self.x.XCloseDisplay(self.dpy)

    def size(self, wid):
        """The window's (width, height) while it is on show, else None."""
        attributes = XWindowAttributes()
        if not self.x.XGetWindowAttributes(self.dpy, int(wid), ctypes.byref(attributes)) \
                or attributes.map_state != IS_VIEWABLE:
            return None
        return attributes.width, attributes.height

    def geometry(self, wid):
        """((x, y) on the screen, (width, height)) while the window is on show, else None."""
        size = self.size(wid)
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        if size is None or not self.x.XTranslateCoordinates(
                self.dpy, int(wid), self.root, 0, 0, ctypes.byref(x), ctypes.byref(y),
                ctypes.byref(child)):
            return None
        return (x.value, y.value), size

    def grab(self, wid, region=None):
        """The pixels of the window, or of the region (x, y, w, h) of it, as (w, h, RGB bytes);
        None when the window is gone or smaller."""
        if region is None:
            size = self.size(wid)
            if size is None:
                return None
            region = (0, 0, *size)
        x, y, w, h = region
        image = self.x.XGetImage(self.dpy, int(wid), x, y, w, h, ALL_PLANES, Z_PIXMAP)
        if not image:
            return None
        try:
            info = image.contents
            if info.bits_per_pixel != 32 or info.red_mask != 0xFF0000:
                raise Failure(f"an X image format this script does not read "
                              f"({info.bits_per_pixel} bits, red mask {info.red_mask:#x})")
            data = ctypes.string_at(info.data, info.bytes_per_line * h)
        finally:
            self.x.XDestroyImage(image)
        stride = w * 4
        rows = b"".join(data[row * info.bytes_per_line:row * info.bytes_per_line + stride]
                        for row in range(h))
        rgb = bytearray(w * h * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = rows[2::4], rows[1::4], rows[0::4]
        return w, h, bytes(rgb)


def write_png(path, picture):
    w, h, rgb = picture
    rows = b"".join(b"\0" + rgb[row * w * 3:(row + 1) * w * 3] for row in range(h))
    with open(path, "wb") as f:
        f.write(rgba_png.encode_png(w, h, rows, alpha=False))
    return path


def read_regions(ctx, pieces, psm=6):
    """The text of each (image, region) piece: cut out, enlarged and made grey as gui_e2e.py does,
    then read in one tesseract run. Under the emulated CPU every process start costs a second or
    more, and reading a whole page as sparse text ten times more than its few text boxes."""
    enlarged = []
    for image in dict.fromkeys(image for image, _ in pieces):
        argv = ["convert", image, "-colorspace", "Gray"]
        for index, (source, (x, y, w, h)) in enumerate(pieces):
            if source == image:
                out = f"{image}.{index}.ocr.png"
                argv += ["(", "+clone", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-resize", "400%",
                         "-write", out, "+delete", ")"]
                enlarged.append((index, out))
        run(argv + ["null:"], ctx.display.env, timeout=60)
    enlarged = [out for _, out in sorted(enlarged)]
    listing = pieces[0][0] + ".list"
    with open(listing, "w") as f:
        f.write("\n".join(enlarged) + "\n")
    # Plain loops: under the emulated CPU they beat the emulated AVX2 ones by a third.
    text = run(["tesseract", listing, "-", "--psm", str(psm), "-l", "eng", "-c", "dotproduct=generic"],
               ctx.display.env, timeout=30 + 15 * len(pieces))
    for path in enlarged + [listing]:
        os.unlink(path)
    pages = text.split("\f")
    return pages + [""] * (len(pieces) - len(pages))


def steady_grab(ctx, wid, region=None):
    """A picture of the window (or region) that two grabs in a row agree on: a page fully drawn."""
    first = ctx.x.grab(wid, region)
    time.sleep(0.1)
    second = ctx.x.grab(wid, region)
    return second if second is not None and first == second else None


def same_as_read_before(ctx, key, wid, region=None):
    """True when the window shows, within a few seconds, exactly the pixels OCR has read before."""
    return key in ctx.verified and wait_until(
        lambda: ctx.x.grab(wid, region) == ctx.verified[key], 2, interval=0.1)


def expect_text(ctx, updater, region, text, name):
    """Waits until the region reads the text: the page that replaced another of its size. Once
    read by OCR, the region's pixels stand for the text, and later pages are matched by them."""
    key = (name, region)
    wid = updater.window.wid
    if same_as_read_before(ctx, key, wid, region):
        return results.check(True, f"{name} page reads \"{text}\" (the pixels OCR read before)")

    shot = os.path.join(ctx.workdir, f"{name}-{len(ctx.verified)}.png")
    seen, picture = "", None

    def reads():
        nonlocal seen, picture
        picture = steady_grab(ctx, wid, region)
        if picture is None:
            return False
        seen = read_regions(ctx, [(write_png(shot, picture), (0, 0, *picture[:2]))], 7)[0].strip()
        return similarity(text, seen) >= OCR_THRESHOLD

    if results.check(wait_until(reads, 8, interval=0.2), f"{name} page reads \"{text}\"",
                     f"OCR saw: {seen}"):
        ctx.verified[key] = picture
        return True
    return False


def expect_page(ctx, updater, name, size, regions, texts, shot):
    """The window shows the page: its size, its corner where it was, its title, and the texts,
    read from the page's text boxes (regions) of screenshots until all are read or time runs out.
    Returns what OCR read, one box after another."""
    window = updater.window
    results.check(wait_until(lambda: ctx.x.size(window.wid) == size, 5),
                  f"{name} page: the window's content is {size[0]}x{size[1]}",
                  f"seen {ctx.x.size(window.wid)}")
    geometry = window.geometry()
    results.check(geometry and geometry[0] == updater.origin,
                  f"{name} page: the window's top-left corner stays at {updater.origin}",
                  f"seen {geometry}")
    title = "Updater Program" + e2e.TITLE_VERSION
    results.check(window.title() == title, f"{name} page: the title stays \"{title}\"",
                  f"seen \"{window.title()}\"")

    seen, scores, picture = "", {}, None
    ctx.display.xdotool("mousemove", "0", "0")  # no hover highlight

    def reads():
        nonlocal seen, scores, picture
        picture = steady_grab(ctx, window.wid)
        if picture is None or picture[:2] != size:
            return False
        write_png(shot, picture)
        seen = "\n".join(read_regions(ctx, [(shot, region) for region in regions]))
        scores = {text: similarity(text, seen) for text in texts}
        return min(scores.values()) >= OCR_THRESHOLD

    if wait_until(reads, 8, interval=0.2):
        ctx.verified[name] = picture
    for text in texts:
        results.check(scores.get(text, 0) >= OCR_THRESHOLD, f"{name} page reads \"{text}\"",
                      f"similarity {scores.get(text, 0):.2f}; OCR saw: {' | '.join(seen.splitlines())}")
    return seen


def watch_pages(ctx, window, last_sizes, timeout):
    """The window's sizes from now on, each change once, until one of last_sizes or the timeout."""
    sizes = []

    def settled():
        size = ctx.x.size(window.wid)
        if size and (not sizes or sizes[-1] != size):
            sizes.append(size)
        return bool(sizes) and sizes[-1] in last_sizes

    wait_until(settled, timeout, interval=0.02)
    return sizes


def result_texts_in(seen):
    return [text for text in RESULT_TEXTS if similarity(text, seen) >= OCR_THRESHOLD]


def method_in(seen):
    """The method the Version page's fourth step names: "... select [USB]." or "[MIDI]."."""
    found = re.search(r"select\s*\[\s*([A-Za-z]+)\s*\]", seen)
    return found.group(1) if found else None


def version_in(seen):
    found = re.search(r"Update Version\s*:?\s*Ver\.?\s*([0-9][0-9.]*[0-9])", seen)
    return found.group(1) if found else None


# ---------------------------------------------------------------------------------------------
# Walking the wizard


def threads_of(pid):
    """Each thread of the process with its state and what it waits in, for a report."""
    described = []
    for task in sorted(os.listdir(f"/proc/{pid}/task")):
        try:
            with open(f"/proc/{pid}/task/{task}/stat") as f:
                stat = f.read()
            with open(f"/proc/{pid}/task/{task}/wchan") as f:
                wchan = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        described.append(f"{name}:{stat[stat.rindex(')') + 2]}:{wchan}")
    return " ".join(described)


def expect_exit(ctx, updater, what):
    def explain_running():
        picture = ctx.x.grab(ctx.x.root)
        if picture:
            write_png(os.path.join(ctx.workdir, f"not-ended-{len(results.failed)}.png"), picture)
        return (f"the window is {ctx.x.size(updater.window.wid) or 'gone'}; threads "
                f"(name:state:waiting in) {threads_of(updater.proc.pid)}; pointer "
                f"{ctx.display.xdotool('getmouselocation', check=False).strip()}; windows on show "
                f"{ctx.display.xdotool('search', '--onlyvisible', '--name', '.*', check=False).split()}")

    updater.expect_exit(what, explain_running)


# Clicks that changed nothing and were made again; the summary reports them.
repeated_clicks = []


def press(ctx, updater, point, what):
    """Clicks a button that replaces the page or ends the program, and sees that something
    happened. In the VM about one run in three lost the first click on the first Finish page (the
    button never even showed the pointer over it), and a second click worked; the same was seen
    on every page under an added CPU load. A button that does not work fails the callers' checks
    all the same: they look at the page that follows."""
    wid = updater.window.wid

    def state():
        return updater.proc.poll(), ctx.x.size(wid), ctx.x.grab(wid, HEADER)

    before = state()
    for _ in range(2):
        updater.window.click(point)
        if wait_until(lambda: state() != before, 2, interval=0.1):
            return
        repeated_clicks.append(f"{results.scenario}: {what}")
        print(f"  note  {what}: the click changed nothing within {2 * e2e.SLOWNESS:.0f} s; "
              "clicking once more", flush=True)


def start_updater(ctx, package, folder):
    updater = Updater(ctx.display, ctx.executable, os.path.join(ctx.workdir, folder), package.data)
    updater.start()
    return updater


def through_connection(ctx, updater):
    """Language OK, then waits for the Connection page."""
    press(ctx, updater, OK_BUTTON, "OK on the Language page")
    expect_text(ctx, updater, HEADER, CONNECTION_HEADER, "connection")


def expect_version_page(ctx, updater, package, method, shot):
    seen = expect_page(ctx, updater, f"version ({method})", VERSION_PAGE, VERSION_REGIONS,
                       [VERSION_HEADER, f"Update Version: Ver. {package.version}",
                        f"Turn the [VALUE] knob and select [{method}]."], shot)
    results.check(version_in(seen) == package.version,
                  f"the Version page names the package's version {package.version}",
                  f"read {version_in(seen)}")
    results.check(method_in(seen) == method, f"the set-up step names the method [{method}]",
                  f"read [{method_in(seen)}]; OCR saw: {' | '.join(seen.splitlines())}")


def to_version_by_usb(ctx, updater, package=None, shot=None):
    """Language OK, Connection OK (USB is preselected); with a shot, the Version page is read."""
    through_connection(ctx, updater)
    press(ctx, updater, OK_BUTTON, "OK on the Connection page")
    if shot:
        expect_version_page(ctx, updater, package, "USB", shot)
    else:
        results.require(wait_until(lambda: ctx.x.size(updater.window.wid) == VERSION_PAGE, 10),
                        "USB: the Version page (480x240) follows",
                        f"seen {ctx.x.size(updater.window.wid)}")


def start_transfer(ctx, updater, result_sizes, timeout):
    """Start on the Version page; the window sizes seen until a result page."""
    press(ctx, updater, START_BUTTON, "Start on the Version page")
    return watch_pages(ctx, updater.window, result_sizes, timeout)


def check_pages(sizes, last, name):
    # A page replaced by one of its own size leaves no trace here; the sizes still tell the order.
    after_version = [size for size in sizes if size != VERSION_PAGE]
    results.check(after_version == [PROGRESS_PAGE, last],
                  f"Start leads through the Progress page ({PROGRESS_PAGE[0]}x{PROGRESS_PAGE[1]}) "
                  f"to the {name} ({last[0]}x{last[1]})", f"window sizes {sizes}")


def expect_finish_page(ctx, updater, shot):
    """The Finish page, read by OCR the first time and by its pixels after that."""
    wid = updater.window.wid
    ctx.display.xdotool("mousemove", "0", "0")  # no hover highlight
    if wait_until(lambda: ctx.x.size(wid) == FINISH_PAGE, 5) and same_as_read_before(ctx, "finish", wid):
        results.check(True, "the Finish page shows, with the texts OCR read before (the same pixels)")
        write_png(shot, ctx.verified["finish"])
        return
    seen = expect_page(ctx, updater, "finish", FINISH_PAGE, FINISH_REGIONS, FINISH_TEXTS, shot)
    ctx.seen.setdefault("finish", seen)


# ---------------------------------------------------------------------------------------------
# Scenarios


def through_to_finish(ctx, updater, shot):
    """Start on the Version page, the Progress page, then the Finish page, read."""
    sizes = start_transfer(ctx, updater, [FINISH_PAGE, SMALL_PAGE], 60)
    check_pages(sizes, FINISH_PAGE, "Finish page")
    expect_finish_page(ctx, updater, shot)


def close_finish_page(ctx, updater):
    press(ctx, updater, FINISH_OK_BUTTON, "OK on the Finish page")
    expect_exit(ctx, updater, "OK on the Finish page ends the program with status 0")


def run_usb(ctx):
    scenario("a whole update over USB")
    package = ctx.packages["big"]
    synth = Synth(ctx, "usb", [])
    updater = start_updater(ctx, package, "usb")
    try:
        to_version_by_usb(ctx, updater, package, ctx.shot("version-usb"))
        through_to_finish(ctx, updater, ctx.shot("finish-usb"))

        results.check(synth.line("sysex length=", 10), "the virtual synthesizer reports a whole message",
                      synth.errors())
        check_bytes(synth.received(), package.payload,
                    "the virtual synthesizer received exactly the package's payload")
        results.check(len(synth.messages()) == 1, "it received one message",
                      f"{synth.messages()}; {synth.errors()}")
        close_finish_page(ctx, updater)
    finally:
        updater.kill()
        synth.stop()


def list_ports(ctx):
    out = run([ctx.updtool, "ports"], ctx.display.env, timeout=30)
    return [m.group(1) for m in re.finditer(r"^\d+\t(.*)$", out, re.M)]


def open_list(ctx, window):
    """Opens the combo box's list and returns it once it stays open. Under the emulated CPU the
    release of the opening click can come late enough to close the list again."""
    for _ in range(3):
        menu = window.open_list(COMBO_BOX)
        if menu is None:
            continue
        time.sleep(0.5 * e2e.SLOWNESS)
        if menu.geometry() and e2e.list_open(ctx.display):
            return menu
    return None


def choose(ctx, window, index, count):
    menu = open_list(ctx, window)
    results.require(menu, "the combo box opens its drop-down list")
    window.pick(menu, index, count)


def read_open_list(ctx, window):
    """Keeps a picture of the page with its open list; returns the list's lines as OCR reads them."""
    for _ in range(3):
        menu = open_list(ctx, window)
        results.require(menu, "the device list opens")
        # The pointer stays on the box, above the list: no entry is highlighted.
        page, shown = ctx.x.geometry(window.wid), ctx.x.geometry(menu.wid)
        picture = None
        if page and shown:
            (left, top), (width, height) = page
            (list_left, list_top), (list_width, list_height) = shown
            right = max(left + width, list_left + list_width)
            bottom = max(top + height, list_top + list_height)
            picture = ctx.x.grab(ctx.x.root, (left, top, right - left, bottom - top))
        if picture and ctx.x.size(menu.wid):
            break
        print(f"  note  the list closed before it was read (page {page}, list {shown}); again",
              flush=True)
    results.require(picture and ctx.x.size(menu.wid), "the page with its open list can be read")
    listing = write_png(ctx.shot("device-list"), picture)
    # The entries, inside the list's 1-pixel border.
    entries = (list_left - left + 1, list_top - top + 1, list_width - 2, list_height - 2)
    text = read_regions(ctx, [(listing, entries)])[0]
    return menu, [line.strip() for line in text.splitlines() if line.strip()]


def run_serial(ctx):
    scenario("a whole update over a MIDI interface (the serial port)")
    capture_file = os.environ.get("TAVRIN_UART_CAPTURE", "")
    serial = [name for name in list_ports(ctx) if name.startswith("Serial MIDI")]
    if not capture_file or not serial:
        results.skip("the serial port's update", "no serial MIDI port with a wire capture here "
                     "(run-in-vm -u FILE with TAVRIN_UART_CAPTURE=FILE)")
        return
    serial = serial[0]
    package = ctx.packages["serial"]
    # The USB port is there too, so that leaving it out of the list is seen.
    synth = Synth(ctx, "serial", [])
    ports = list_ports(ctx)
    results.require(USB_PORT in ports, f"\"{USB_PORT}\" is in the port list", f"ports {ports}")
    offered = [name for name in ports if name.casefold() != USB_PORT.casefold()]

    updater = start_updater(ctx, package, "serial")
    try:
        window = updater.window
        through_connection(ctx, updater)
        choose(ctx, window, 1, 2)
        press(ctx, updater, OK_BUTTON, "OK on the Connection page")
        expect_text(ctx, updater, HEADER, DEVICE_HEADER, "device")

        menu, lines = read_open_list(ctx, window)
        results.check(len(lines) == len(offered)
                      and all(similarity(want, got) >= OCR_THRESHOLD for want, got in zip(offered, lines)),
                      f"the device list offers {offered}, in that order", f"OCR saw: {lines}")
        results.check(not any(similarity(USB_PORT, line) >= 0.7 for line in lines),
                      f"the device list leaves out \"{USB_PORT}\"", f"OCR saw: {lines}")
        if ctx.x.size(menu.wid):
            window.pick(menu, offered.index(serial), len(offered))
        else:
            choose(ctx, window, offered.index(serial), len(offered))

        wire_before = os.path.getsize(capture_file)
        press(ctx, updater, OK_BUTTON, "OK on the Device page")
        expect_version_page(ctx, updater, package, "MIDI", ctx.shot("version-midi"))
        through_to_finish(ctx, updater, ctx.shot("finish-midi"))

        def wire():
            with open(capture_file, "rb") as f:
                f.seek(wire_before)
                return without_port_selects(f.read())

        # The emulated UART's last bytes may reach the file a moment after the driver is done.
        wait_until(lambda: len(wire()) >= len(package.payload), 5)
        check_bytes(wire(), package.payload, "the serial wire carried exactly the package's payload")
        results.check(not synth.messages(), f"nothing went to \"{USB_PORT}\"", f"{synth.messages()}")
        close_finish_page(ctx, updater)
    finally:
        updater.kill()
        synth.stop()


def run_unplugged(ctx):
    scenario("the synthesizer unplugged mid-transfer")
    package = ctx.packages["big"]
    # Slow enough that the Progress page is seen before the port goes.
    vanish_after = 3 * SLOW_RATE
    synth = Synth(ctx, "unplugged", ["--rate", SLOW_RATE, "--vanish-after", vanish_after])
    updater = start_updater(ctx, package, "unplugged")
    try:
        to_version_by_usb(ctx, updater)
        sizes = start_transfer(ctx, updater, [FINISH_PAGE, SMALL_PAGE], 60)
        results.check(synth.line("vanished after", 5),
                      f"the port vanished after {vanish_after} of {len(package.payload)} bytes",
                      synth.errors())
        check_pages(sizes, SMALL_PAGE, "error page")
        ctx.seen["transfer error"] = expect_page(
            ctx, updater, "transfer error", SMALL_PAGE, ERROR_REGIONS, TRANSFER_ERROR_TEXTS,
            ctx.shot("error-unplugged"))
        press(ctx, updater, OK_BUTTON, "OK on the error page")
        expect_exit(ctx, updater, "OK on the error page ends the program with status 0")
    finally:
        updater.kill()
        synth.stop()


def quit_by_signal(ctx, updater):
    updater.proc.send_signal(signal.SIGTERM)


def quit_by_window_manager(ctx, updater):
    # Openbox's own key binding: it asks the window to close (WM_DELETE_WINDOW). The keys go
    # through the server (XTEST), where the window manager's grab sees them.
    wid = updater.window.wid

    def active():
        return ctx.display.xdotool("getactivewindow", check=False).strip() == wid

    if not active():
        ctx.display.xdotool("windowactivate", wid, check=False)
    results.check(wait_until(active, 3), "the program's window has the focus for Alt+F4",
                  f"active window {ctx.display.xdotool('getactivewindow', check=False).strip()}")
    ctx.display.xdotool("key", "alt+F4")


QUIT_REQUESTS = [
    ("SIGTERM", "sigterm", quit_by_signal),
    ("the window manager's close (Alt+F4)", "alt-f4", quit_by_window_manager),
]


def without_busy_bar(picture):
    """The picture without the rows of the busy bar, which animates: the page's texts."""
    w, h, rgb = picture
    top, bottom = BUSY_BAR[1], BUSY_BAR[1] + BUSY_BAR[3]
    return (w, h, rgb[:top * w * 3] + rgb[bottom * w * 3:])


def regions_of_frame(picture):
    w, h, _ = picture
    return PROGRESS_REGIONS if (w, h) == PROGRESS_PAGE else [(0, 0, w, min(h, FIRST_LINES))]


def run_quit(ctx, label, slug, request_quit):
    scenario(f"quit during the transfer: {label}")
    package = ctx.packages["slow"]
    transfer_time = len(package.payload) / SLOW_RATE
    synth = Synth(ctx, f"quit-{slug}", ["--rate", SLOW_RATE])
    updater = start_updater(ctx, package, f"quit-{slug}")
    try:
        window = updater.window
        wid = window.wid
        to_version_by_usb(ctx, updater)
        sizes = start_transfer(ctx, updater, [PROGRESS_PAGE, FINISH_PAGE, SMALL_PAGE], 20)
        results.require(sizes and sizes[-1] == PROGRESS_PAGE, "Start shows the Progress page",
                        f"window sizes {sizes}")
        # The busy bar animates only while the message thread is free during the send. Right
        # after the resize the window may still hold the old page's pixels: one change is not
        # enough.
        time.sleep(0.3)
        bars = set()
        for _ in range(6):
            bars.add(ctx.x.grab(wid, BUSY_BAR))
            time.sleep(0.1)
        bars.discard(None)
        results.check(len(bars) >= 3, "the busy bar moves while the firmware is sent",
                      f"{len(bars)} different pictures of the bar in 6")

        ended = ExitWatch(updater.proc)
        quit_at = time.monotonic()
        request_quit(ctx, updater)

        # Until the end: every size the window takes, and each different picture of it.
        frames, pictures, other_sizes = [], set(), []
        deadline = quit_at + (transfer_time + 30) * e2e.SLOWNESS
        while not ended.ended() and time.monotonic() < deadline:
            size = ctx.x.size(wid)
            if size and size != PROGRESS_PAGE:
                other_sizes.append(size)
            picture = ctx.x.grab(wid)
            if picture and picture not in pictures:
                pictures.add(picture)
                frames.append((os.path.join(ctx.workdir, f"quit-{slug}-{len(frames):03d}.png"), picture))
            time.sleep(0.2)
        ended.thread.join(timeout=2)
        status = updater.proc.poll()
        results.check(status == 0, "the program ends with status 0 after the quit request",
                      f"exit status {status}{' (still running)' if status is None else ''}; "
                      f"output: {updater.output()[-400:]}")

        message = synth.line("sysex length=", 10)
        results.check(message and message[1].startswith(f"sysex length={len(package.payload)} "),
                      "the send went on to the end: the synthesizer got the whole message",
                      f"synth said {message}; {synth.errors()}")
        check_bytes(synth.received(), package.payload, "what it got is exactly the package's payload")
        if message and ended.ended():
            got_at, exit_at = message[0] - quit_at, ended.when - quit_at
            tolerance = READ_AHEAD / SLOW_RATE + 0.3
            print(f"  note  after the quit request: message complete at {got_at:.2f} s, program "
                  f"ended at {exit_at:.2f} s", flush=True)
            results.check(got_at >= 2.0, "the quit came while much of the payload was still to come",
                          f"the whole message arrived {got_at:.2f} s after the quit request")
            results.check(exit_at >= got_at - tolerance,
                          "the program ended only after the send had ended",
                          f"after the quit request: message complete at {got_at:.2f} s, program "
                          f"ended at {exit_at:.2f} s (allowed {tolerance:.2f} s early for the "
                          "receiver's read-ahead)")

        results.check(not other_sizes, "the window never changes to another page before the end",
                      f"sizes seen: {sorted(set(other_sizes))}")
        results.require(frames, "the window could be read after the quit request")
        for path, picture in frames:
            write_png(path, picture)
        # The last picture is the page the window showed until the end.
        shutil.copyfile(frames[-1][0], ctx.shot(f"progress-{slug}"))

        # The pictures differ in the busy bar, or in the page: each page is read once, and the
        # Progress page once in the whole run.
        pages = {}
        for path, picture in frames:
            pages.setdefault(without_busy_bar(picture), (path, picture))
        unread = [key for key in pages if key != ctx.verified.get("progress")]
        groups = [[(pages[key][0], region) for region in regions_of_frame(pages[key][1])]
                  for key in unread]
        texts = iter(read_regions(ctx, [piece for group in groups for piece in group]) if unread else [])
        readings = {key: "\n".join(next(texts) for _ in group) for key, group in zip(unread, groups)}

        last = without_busy_bar(frames[-1][1])
        if last == ctx.verified.get("progress"):
            results.check(True, "the window shows the Progress page to the end (the pixels OCR "
                          "read before)")
        else:
            seen = readings[last]
            scores = {text: similarity(text, seen) for text in PROGRESS_TEXTS}
            for text, score in scores.items():
                results.check(score >= OCR_THRESHOLD, f"the window shows the Progress page to the end: "
                              f"\"{text}\"", f"similarity {score:.2f}; OCR saw: "
                              f"{' | '.join(seen.splitlines())}")
            if min(scores.values()) >= OCR_THRESHOLD:
                ctx.verified["progress"] = last
                ctx.seen["progress"] = seen
        shown = {os.path.basename(pages[key][0]): result_texts_in(text) for key, text in readings.items()}
        results.check(not any(shown.values()),
                      f"no result page is shown until the end ({len(frames)} different pictures, "
                      f"{len(pages)} without the busy bar)", f"{shown}")
    finally:
        updater.kill()
        synth.stop()


def run_result_reading(ctx):
    scenario("the reading that looks for result pages")
    # The quit scenarios pass when it finds nothing; it must find the pages it looks for.
    for page in ("finish", "transfer error"):
        if page not in ctx.seen:
            results.skip(f"reading the {page} page", "that scenario did not get there")
            continue
        seen = ctx.seen[page]
        results.check(result_texts_in(seen), f"it finds the {page} page's texts",
                      f"OCR of that page: {' | '.join(seen.splitlines())}")
    if "progress" in ctx.seen:
        results.check(not result_texts_in(ctx.seen["progress"]), "it finds none on the Progress page",
                      f"found {result_texts_in(ctx.seen['progress'])}")


# ---------------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("executable")
    parser.add_argument("--updtool", required=True)
    parser.add_argument("--virtual-synth", required=True)
    parser.add_argument("--screenshots", help="where the pages' screenshots go")
    parser.add_argument("--slowness", type=float, default=3.0,
                        help="multiplies every time limit (the VM emulates its CPU)")
    args = parser.parse_args()

    if not os.path.exists(e2e.ALSA_SEQUENCER):
        print(f"skipped: no ALSA sequencer here ({e2e.ALSA_SEQUENCER}); CI runs this in the alsa-vm VM")
        return 77
    missing = [tool for tool in e2e.TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"skipped: missing {' '.join(missing)} (tools/install-deps installs them)")
        return 77
    e2e.SLOWNESS = args.slowness

    executable = os.path.abspath(args.executable)
    shots = os.path.abspath(args.screenshots or os.path.join(
        os.path.dirname(os.path.dirname(executable)), "e2e-screenshots"))
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        if old.startswith("alsa-") and old.endswith(".png"):
            os.unlink(os.path.join(shots, old))

    timed_out = []

    def out_of_time(*_):
        timed_out.append(True)
        raise Failure("the run took longer than its time limit")
    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, out_of_time)
    signal.alarm(420)

    # The program's copies are big; in the VM a tmpfs takes them far faster than the shared folder.
    workdir = tempfile.mkdtemp(prefix="tavrin-alsa-e2e-")
    ctx = Context(args, workdir, shots)
    walks = [lambda: run_usb(ctx), lambda: run_serial(ctx), lambda: run_unplugged(ctx)]
    walks += [lambda q=q: run_quit(ctx, *q) for q in QUIT_REQUESTS]
    walks += [lambda: run_result_reading(ctx)]
    try:
        scenario("set-up")
        ctx.packages = {
            "big": Package(ctx, "big", 1024 * KIB, "2.34", 1),
            "serial": Package(ctx, "serial", 64 * KIB, "5.67", 2),
            "slow": Package(ctx, "slow", 256 * KIB, "8.90", 3),
        }
        ctx.display.start()
        ctx.x = XReader(ctx.display.env["DISPLAY"])
        # A fault of the script still ends in the report.
        e2e.run_walks(walks, Exception, stopped=lambda: bool(timed_out))
    except Failure as error:
        if not error.recorded:
            results.failed.append(f"set-up: {error}")
        print(f"FAIL  {error}", flush=True)
    finally:
        signal.alarm(0)
        if ctx.x is not None:
            ctx.x.close()
        for proc in reversed(e2e.children):
            if proc.poll() is None:
                e2e.stop(proc)
        ctx.display.stop()
        if results.failed:
            # The temporary folder dies with the VM: keep the evidence beside the screenshots.
            kept = os.path.join(os.path.dirname(shots), "alsa-e2e-failed")
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(workdir, kept, ignore=shutil.ignore_patterns("Tavrin", "*.upd", "package-*"))
            print(f"\nkept for inspection: {kept}")
        shutil.rmtree(workdir, ignore_errors=True)

    notes = ["clicks made twice, the first having changed nothing:\n  " + "\n  ".join(repeated_clicks)]
    return e2e.print_summary(shots, notes if repeated_clicks else ())


if __name__ == "__main__":
    sys.exit(main())
