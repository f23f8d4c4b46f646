#!/usr/bin/python3
"""End-to-end test of tarnwad-gui.exe: the Windows dialog under Wine, in a
real X server.

    python3 tests/e2e/win32_gui_test.py --build build/win-x86_64
    python3 tests/e2e/win32_gui_test.py --build build/win-i686 \\
        --cli build/release/tools/tarnwad --screenshot docs/tarnwad-gui-win32.png

BUILD_DIR is a Windows build (either toolchain) with its tests: it holds
app/win32/tarnwad-gui.exe and tests/app/win32/tarnwad-win32-probe.exe. The
tree the dialog unpacks is compared with what the Linux command-line tool
unpacks from the same archive (--cli, by default build/release/tools/tarnwad);
without it, with what the build's own tarnwad.exe unpacks.

Starts its own Xvfb and a throwaway Wine prefix (about 20 s the first time),
and drives the program as a user would: real pointer clicks and key presses
(xdotool) at the places the program's windows give. tarnwad-win32-probe, run
in the same prefix, only reads those windows (controls, texts, focus). It
checks the dialog and its keyboard handling, then picks an archive through the
open-file dialog, unpacks it, confirms "Succeeded!" with the output folder
below it and compares the output tree; then does the same with a broken
archive (the dialog now starts in its folder) and "Failed!" with the reason;
Escape ends the program with exit code 0. A second start unpacks with no
archive chosen ("Failed!") and is closed with the close box. A third is given
an archive on its command line (a relative path with a space) and unpacks it.
Every wait is on a condition.

Usage: win32_gui_test.py --build BUILD_DIR [--cli TARNWAD] [--screenshot FILE] [--keep]
"""

import argparse
import filecmp
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE = os.path.join(REPO, "examples", "sample.wad")
DEFAULT_CLI = os.path.join(REPO, "build", "release", "tools", "tarnwad")
# Wine's own fonts (Debian's fonts-wine): with them the caption buttons and
# "MS Sans Serif" look as they do on Windows. The test passes without them.
WINE_FONTS = "/usr/share/wine/fonts"

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
TIMEOUT = 20.0  # seconds for any one condition
START_TIMEOUT = 60.0  # a first start in a new prefix sets it up
PROBE_ATTEMPTS = 4  # a probe that answers nothing is asked again

DIALOG_TITLE = "Tarnhollow - WAD Tool"
CHOOSER_TITLE = "Select Wad File"
PATH_ID, BROWSE_ID, UNPACK_ID, STATUS_ID = 1000, 1001, 1002, 1003
IDOK, IDCANCEL = 1, 2
# Controls of the open-file dialog: the file name box, the file types.
CHOOSER_NAME_ID, CHOOSER_TYPES_ID = 1148, 1136

WS_POPUP, WS_CHILD, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x40000000, 0xC00000, 0x80000
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x40000, 0x20000, 0x10000
WS_TABSTOP, DS_MODALFRAME = 0x10000, 0x80
ES_READONLY, ES_AUTOHSCROLL = 0x800, 0x80
BS_TYPEMASK, BS_PUSHBUTTON = 0xF, 0x0


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def wait_for(what, condition, timeout=TIMEOUT, interval=0.05):
    """Polls `condition` until it returns a true value, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TestFailure("timed out waiting for " + what)
        time.sleep(interval)


def wine_path(path):
    """The Wine name of a host path: drive Z: is the host's root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# --- The X server and Wine --------------------------------------------------


def start_xvfb(log):
    """Starts Xvfb on the first free display; returns (process, display)."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
         "-screen", "0", "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT)],
        pass_fds=[write_end], stdout=log, stderr=log, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as ready:
        number = ready.readline().strip()
    check(number, "Xvfb did not start")
    return process, ":" + number


def stop_group(process):
    """Stops a process started in its own session, and its process group."""
    if process is None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def wine_environment(run_dir, display):
    """Wine in a prefix of this run's own, on our X server, quiet: no Mono or
    Gecko installer, no debugger on a crash (the crash fails the test)."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("WINE", "DBUS_", "XDG_", "WAYLAND"))
           and key not in ("DISPLAY", "XAUTHORITY", "SESSION_MANAGER")}
    home = os.path.join(run_dir, "home")
    os.makedirs(home)
    env.update({
        "HOME": home,
        "DISPLAY": display,
        "WINEPREFIX": os.path.join(run_dir, "prefix"),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d",
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    return env


def prepare_prefix(env, log):
    """Makes the prefix, and has Wine draw the windows' frames and captions
    itself: there is no window manager to draw them."""
    subprocess.run(["wineboot", "--init"], env=env, stdout=log, stderr=log, check=True,
                   timeout=180)
    # Wine finds the TrueType ones among its own fonts only in the prefix's
    # font folder.
    fonts = os.path.join(env["WINEPREFIX"], "drive_c", "windows", "Fonts")
    for font in glob.glob(os.path.join(WINE_FONTS, "*.ttf")):
        target = os.path.join(fonts, os.path.basename(font))
        if not os.path.exists(target):
            os.symlink(font, target)
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                    "/d", "N", "/f"], env=env, stdout=log, stderr=log, check=True, timeout=60)


def stop_wine(env):
    """Ends every process of this run's prefix, and its server."""
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)


# --- Input through the X server ---------------------------------------------


def xdotool(env, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True,
                   stdout=subprocess.DEVNULL)


def x_window(env, title):
    """The id of the mapped X window with exactly this title, or None."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % title.replace(".", "\\.")],
                           env=env, capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


# --- The program's windows --------------------------------------------------


class Ui:
    """Reads the program's windows through the probe and drives them with real
    input."""

    def __init__(self, env, probe):
        self.env = env
        self.probe = probe

    def run_probe(self, *args):
        # Now and then Wine starts the probe but hands back no output at all
        # (a busy server under load); a probe that answers nothing is asked
        # again, and only a probe that keeps failing fails the test.
        for attempt in range(PROBE_ATTEMPTS):
            result = subprocess.run(["wine", self.probe] + list(args), env=self.env,
                                    capture_output=True, timeout=TIMEOUT)
            if result.returncode in (0, 1):
                try:
                    return json.loads(result.stdout.decode("utf-8"))
                except ValueError:
                    pass
            failure = "exit code %d, output %r, errors %r" % (
                result.returncode, result.stdout[-200:], result.stderr[-2000:])
            time.sleep(0.5 * (attempt + 1))
        raise TestFailure("the probe %s failed %d times, last: %s" %
                          (" ".join(args), PROBE_ATTEMPTS, failure))

    def window(self, title):
        """The visible top-level window of that title, with its controls, or
        None."""
        return self.run_probe("window", title)

    def wait_window(self, title, timeout=TIMEOUT):
        return wait_for('window "%s"' % title, lambda: self.window(title), timeout)

    def wait_window_gone(self, title):
        wait_for('window "%s" to close' % title, lambda: self.window(title) is None)

    def windows_of(self, pid):
        """Titles of the visible top-level windows of process `pid`."""
        return [w["title"] for w in self.run_probe("windows")
                if w["pid"] == pid and w["class"] != "tooltips_class32"]

    @staticmethod
    def control(window, control_id, kind=None):
        """The visible control of that id (and class) in a window from
        window()."""
        for item in window["controls"]:
            if item["id"] == control_id and item["visible"] and (
                    kind is None or item["class"].lower() == kind.lower()):
                return item
        raise TestFailure('no control %d in "%s"' % (control_id, window["title"]))

    def text(self, title, control_id, kind=None):
        window = self.window(title)
        return self.control(window, control_id, kind)["text"] if window else None

    def focused_id(self, title):
        window = self.window(title)
        if window is None or window["focus"] is None:
            return None
        for item in window["controls"]:
            if item["hwnd"] == window["focus"]:
                return item["id"]
        return None

    def focus(self, title):
        """Gives the X window of that title the keyboard."""
        window = wait_for("X window " + title, lambda: x_window(self.env, title))
        xdotool(self.env, "windowfocus", "--sync", window)

    def press_keys(self, title, *keys):
        self.focus(title)
        for key in keys:
            xdotool(self.env, "key", key)

    def click_at(self, x, y):
        xdotool(self.env, "mousemove", x, y)
        xdotool(self.env, "click", "1")

    def click(self, title, control_id):
        """A real pointer click in the middle of the control, once it can take
        one."""
        def ready():
            window = self.window(title)
            if window is None or not window["enabled"]:
                return None
            item = self.control(window, control_id)
            return item if item["enabled"] else None

        item = wait_for("control %d of %s to be clickable" % (control_id, title), ready)
        left, top, right, bottom = item["rect"]
        self.click_at((left + right) // 2, (top + bottom) // 2)

    def click_close_box(self, title):
        self.focus(title)
        x, y = wait_for("the close box of " + title, lambda: self.run_probe("closebox", title))
        self.click_at(x, y)


# --- The steps --------------------------------------------------------------


def check_dialog(ui, dialog):
    """Class, style, controls and layout, read-only path field, centred
    window, focus and keyboard."""
    check(dialog["class"] == "#32770", "the main window is no dialog: %s" % dialog["class"])
    style = dialog["style"]
    for bit, name in ((WS_POPUP, "WS_POPUP"), (WS_CAPTION, "WS_CAPTION"),
                      (WS_SYSMENU, "WS_SYSMENU"), (DS_MODALFRAME, "DS_MODALFRAME")):
        check(style & bit, "the dialog lacks " + name)
    for bit, name in ((WS_CHILD, "WS_CHILD"), (WS_THICKFRAME, "WS_THICKFRAME"),
                      (WS_MINIMIZEBOX, "WS_MINIMIZEBOX"), (WS_MAXIMIZEBOX, "WS_MAXIMIZEBOX")):
        check(not style & bit, "the dialog has " + name)

    ids = [item["id"] for item in dialog["controls"]]
    check(ids == [PATH_ID, BROWSE_ID, UNPACK_ID, STATUS_ID],
          "the dialog's controls are %r, not the four in tab order" % ids)
    path_field = ui.control(dialog, PATH_ID, "Edit")
    browse = ui.control(dialog, BROWSE_ID, "Button")
    unpack = ui.control(dialog, UNPACK_ID, "Button")
    status = ui.control(dialog, STATUS_ID, "Static")
    check(path_field["text"] == "", "the path field is not empty at start")
    check(status["text"] == "", "the status line is not empty at start")
    check([browse["text"], unpack["text"]] == ["...", "Unpack"],
          "unexpected button texts %r" % [browse["text"], unpack["text"]])
    check(path_field["style"] & ES_READONLY, "the path field is editable")
    check(path_field["style"] & ES_AUTOHSCROLL, "the path field does not scroll")
    for item in (path_field, browse, unpack):
        check(item["style"] & WS_TABSTOP, "control %d takes no focus" % item["id"])
    check(not status["style"] & WS_TABSTOP, "the status line takes the focus")
    for item in (browse, unpack):
        check(item["style"] & BS_TYPEMASK == BS_PUSHBUTTON,
              "button %d is not a plain push button (a default one?)" % item["id"])

    # Layout: "..." right of the path field on its row, the status line
    # between that row and "Unpack", which ends at the right edge of "...".
    def box(item):
        return dict(zip(("left", "top", "right", "bottom"), item["rect"]))

    p, b, u, s = box(path_field), box(browse), box(unpack), box(status)
    check(p["right"] < b["left"] and abs(p["top"] - b["top"]) <= 2, "\"...\" is not beside the path")
    check(max(p["bottom"], b["bottom"]) <= s["top"] and s["bottom"] <= u["top"],
          "the rows are not path, status, Unpack")
    check(abs(u["right"] - b["right"]) <= 1, "\"Unpack\" does not end below \"...\"")
    check(u["left"] > s["left"], "\"Unpack\" is not at the right")

    # Centred on the work area (no owner); the X window is where Windows
    # puts the dialog, so clicks land where the probe says.
    left, top, right, bottom = dialog["rect"]
    area = dialog["work_area"]
    width, height = right - left, bottom - top
    check(abs(left - ((area[0] + area[2]) // 2 - width // 2)) <= 1
          and abs(top - ((area[1] + area[3]) // 2 - height // 2)) <= 1,
          "the dialog is not centred: at %d,%d in %r" % (left, top, area))
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell",
                               x_window(ui.env, DIALOG_TITLE)], env=ui.env,
                              capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in geometry.split())
    check((int(values["X"]), int(values["Y"])) == (left, top),
          "the X window is at %s,%s, the dialog at %d,%d" % (values["X"], values["Y"], left, top))

    # The path field starts with the focus. Enter does nothing there (no
    # default button); Tab then moves on to "..." and to "Unpack".
    wait_for("the path field to have the focus", lambda: ui.focused_id(DIALOG_TITLE) == PATH_ID)
    ui.press_keys(DIALOG_TITLE, "Return", "Tab")
    wait_for('"..." to take the focus', lambda: ui.focused_id(DIALOG_TITLE) == BROWSE_ID)
    check(ui.windows_of(dialog["pid"]) == [DIALOG_TITLE], "Enter opened a window")
    ui.press_keys(DIALOG_TITLE, "Tab")
    wait_for('"Unpack" to take the focus', lambda: ui.focused_id(DIALOG_TITLE) == UNPACK_ID)


def open_chooser(ui):
    ui.click(DIALOG_TITLE, BROWSE_ID)
    chooser = ui.wait_window(CHOOSER_TITLE)
    dialog = ui.window(DIALOG_TITLE)
    check(dialog is not None and not dialog["enabled"], "the open-file dialog is not modal")
    return chooser


def enter_name(ui, name):
    """Types `name` into the open-file dialog's file name box, as a user
    would, and presses Enter."""
    ui.focus(CHOOSER_TITLE)
    ui.click(CHOOSER_TITLE, CHOOSER_NAME_ID)
    deadline = time.monotonic() + TIMEOUT
    while True:
        xdotool(ui.env, "key", "ctrl+a")
        xdotool(ui.env, "type", "--delay", "10", name)
        try:
            wait_for("the name typed", lambda: ui.text(CHOOSER_TITLE, CHOOSER_NAME_ID, "Edit")
                     == name, timeout=2.0)
            break
        except TestFailure:  # a key got lost: type it again
            if time.monotonic() > deadline:
                raise
    xdotool(ui.env, "key", "Return")


def check_chooser(ui, folder, shown, hidden):
    """The open-file dialog offers the WAD filter, selected, and "All files"
    after it, lists the folder's WAD files in any letter case and nothing
    else, and Cancel leaves the path field alone."""
    before = ui.text(DIALOG_TITLE, PATH_ID)
    chooser = open_chooser(ui)
    types = ui.control(chooser, CHOOSER_TYPES_ID, "ComboBox")
    check(types["text"] == "Tarn Wad File"
          and types["items"] == ["Tarn Wad File", "All files (*.*)"],
          "the open-file dialog offers %r" % types["items"])

    enter_name(ui, wine_path(folder) + "\\")

    def listed():
        names = listed_names(ui) or []
        return names if all(name in names for name in shown) else None

    names = wait_for("the open-file dialog to list " + folder, listed)
    for name in hidden:
        check(name not in names, "the open-file dialog lists %s" % name)

    ui.click(CHOOSER_TITLE, IDCANCEL)
    ui.wait_window_gone(CHOOSER_TITLE)
    check(ui.text(DIALOG_TITLE, PATH_ID) == before, "Cancel changed the path field")


def listed_names(ui):
    """The names the open-file dialog lists, or None while it is not open."""
    window = ui.window(CHOOSER_TITLE)
    return ui.control(window, 1, "SysListView32")["items"] if window else None


def choose_file(ui, path, starts_beside=False):
    """Picks `path` through the open-file dialog; `starts_beside`: the dialog
    must first list the folder of the path chosen before, where `path` is."""
    open_chooser(ui)
    if starts_beside:
        name = os.path.basename(path)
        wait_for("the open-file dialog to start in the last folder, beside " + name,
                 lambda: name in (listed_names(ui) or []))
    enter_name(ui, wine_path(path))
    ui.wait_window_gone(CHOOSER_TITLE)
    wait_for("the path field to show " + wine_path(path),
             lambda: ui.text(DIALOG_TITLE, PATH_ID) == wine_path(path))


def unpack_and_confirm(ui, caption, text, *details):
    """Presses "Unpack" and reads the message box: its caption, its text first
    and the details a blank line below it, holding each of `details`, its one
    OK button; the dialog is disabled while it shows."""
    ui.click(DIALOG_TITLE, UNPACK_ID)
    box = ui.wait_window(caption)
    texts = [c["text"] for c in box["controls"] if c["class"].lower() == "static" and c["text"]]
    check(len(texts) == 1 and texts[0].startswith(text + "\n\n")
          and all(d in texts[0][len(text):] for d in details),
          'the message box "%s" says %r, not %r and then %r' % (caption, texts, text, details))
    buttons = [c["text"] for c in box["controls"]
               if c["class"].lower() == "button" and c["visible"]]
    check(buttons == ["OK"], "the message box has the buttons %r" % buttons)
    dialog = ui.window(DIALOG_TITLE)
    check(not dialog["enabled"], "the message box is not modal to the dialog")
    check(ui.control(dialog, STATUS_ID)["text"] == "", "the status line is not empty at the end")
    ui.click(caption, IDOK)
    ui.wait_window_gone(caption)
    wait_for("the dialog to take input again",
             lambda: (ui.window(DIALOG_TITLE) or {}).get("enabled"))


def take_screenshot(env, rect, path):
    """The dialog as it is on the screen, its frame included: the X server's
    pixels (libX11 through ctypes), saved as PNG."""
    import ctypes
    import ctypes.util
    import struct
    import zlib

    class XImage(ctypes.Structure):
        _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int),
                    ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                    ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                    ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                    ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                    ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                    ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                    ("blue_mask", ctypes.c_ulong)]

    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

    display = xlib.XOpenDisplay(env["DISPLAY"].encode())
    check(display, "cannot open the X display for the screenshot")
    left, top, right, bottom = rect
    width, height = right - left, bottom - top
    z_pixmap, all_planes = 2, (1 << (8 * ctypes.sizeof(ctypes.c_ulong))) - 1
    image_pointer = xlib.XGetImage(display, xlib.XDefaultRootWindow(display), left, top, width,
                                   height, all_planes, z_pixmap)
    check(image_pointer, "the screenshot failed")
    image = image_pointer.contents
    check(image.bits_per_pixel == 32 and image.byte_order == 0,
          "unexpected screen format: %d bits per pixel" % image.bits_per_pixel)
    data = ctypes.string_at(image.data, image.bytes_per_line * height)
    xlib.XCloseDisplay(display)

    def channel(pixel, mask):
        shift = (mask & -mask).bit_length() - 1
        return (pixel & mask) >> shift

    rows = []
    for y in range(height):
        line = data[y * image.bytes_per_line:y * image.bytes_per_line + 4 * width]
        row = bytearray(b"\0")  # PNG filter: none
        for (pixel,) in struct.iter_unpack("<I", line):
            row += bytes((channel(pixel, image.red_mask), channel(pixel, image.green_mask),
                          channel(pixel, image.blue_mask)))
        rows.append(bytes(row))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as picture:
        picture.write(b"\x89PNG\r\n\x1a\n"
                      + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                      + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def same_tree(left, right):
    """Whether two directory trees hold the same names and file contents."""
    comparison = filecmp.dircmp(left, right)
    if comparison.left_only or comparison.right_only or comparison.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(left, right, comparison.common_files, shallow=False)
    if mismatch or errors:
        return False
    return all(same_tree(os.path.join(left, d), os.path.join(right, d))
               for d in comparison.common_dirs)


def tree_listing(root):
    return sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, folders, files in os.walk(root) for name in folders + files)


def user_files(run_dir):
    """What an unpack could touch: the archives' folders, and the program's
    current folder (Wine's prefix and home apart)."""
    return (tree_listing(os.path.join(run_dir, *GAMES_PLACE, "games")),
            sorted(name for name in os.listdir(run_dir)
                   if name not in ("prefix", "home") and not name.endswith(".log")))


# Where the archives lie in the run directory; for a screenshot, a place
# that reads like a user's own folder in the path field, which shows the end
# of the path.
GAMES_PLACE = ()


def prepare_archives(run_dir):
    """The archives the user picks."""
    games = os.path.join(run_dir, *GAMES_PLACE, "games", "tarnhollow")
    os.makedirs(games)
    shutil.copy(SAMPLE, os.path.join(games, "sample.wad"))
    shutil.copy(SAMPLE, os.path.join(games, "SECOND.WAD"))
    with open(SAMPLE, "rb") as sample, open(os.path.join(games, "broken.wad"), "wb") as broken:
        broken.write(sample.read(100))  # the header and a little more: no directory
    with open(os.path.join(games, "notes.txt"), "w") as notes:
        notes.write("not an archive\n")
    return games


def unpack_expected(run_dir, cli, windows_cli, env, log):
    """The tree that the command-line tool unpacks from the same sample: the
    Linux one when built, else this build's own under Wine."""
    oracle = os.path.join(run_dir, "oracle")
    os.makedirs(oracle)
    archive = os.path.join(oracle, "sample.wad")
    shutil.copy(SAMPLE, archive)
    if os.path.isfile(cli):
        subprocess.run([cli, "unpack", archive], check=True, stdout=log, stderr=log)
    else:
        check(os.path.isfile(windows_cli), "missing: %s and %s" % (cli, windows_cli))
        print("note: %s is not built; comparing with %s" % (cli, windows_cli))
        subprocess.run(["wine", windows_cli, "unpack", wine_path(archive)], env=env, check=True,
                       stdout=log, stderr=log, timeout=60)
    expected = os.path.join(oracle, "sample")
    check(os.path.isfile(os.path.join(expected, "groundtile.png")),
          "the command-line tool did not unpack the sample")
    return expected


class Program:
    """One run of tarnwad-gui.exe under Wine."""

    def __init__(self, program, env, run_dir, name, arguments=()):
        self.log_path = os.path.join(run_dir, name + ".log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(["wine", program] + list(arguments), env=env, cwd=run_dir,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def wait_exit(self):
        try:
            code = self.process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise TestFailure("tarnwad-gui did not end")
        self.process = None
        self.log.close()
        with open(self.log_path, errors="replace") as output:
            crashes = [line for line in output if "Unhandled" in line or "page fault" in line]
        check(not crashes, "tarnwad-gui logged %s" % "".join(crashes))
        return code

    def stop(self):
        if self.process is not None:
            self.process.kill()
            self.process.wait()
            self.process = None
        self.log.close()


def run(args, run_dir):
    program = os.path.join(args.build, "app", "win32", "tarnwad-gui.exe")
    probe = os.path.join(args.build, "tests", "app", "win32", "tarnwad-win32-probe.exe")
    for path in (program, probe, SAMPLE):
        check(os.path.isfile(path), "missing: " + path)
    games = prepare_archives(run_dir)

    log = open(os.path.join(run_dir, "session.log"), "w")
    xvfb = env = None
    programs = []
    try:
        xvfb, display = start_xvfb(log)
        env = wine_environment(run_dir, display)
        prepare_prefix(env, log)
        expected = unpack_expected(run_dir, args.cli,
                                   os.path.join(args.build, "tools", "tarnwad.exe"), env, log)
        ui = Ui(env, probe)

        # The first run: choosing, unpacking, a broken archive, Escape.
        first = Program(program, env, run_dir, "tarnwad-gui")
        programs.append(first)
        dialog = ui.wait_window(DIALOG_TITLE, START_TIMEOUT)
        check_dialog(ui, dialog)
        check_chooser(ui, games, shown=["sample.wad", "SECOND.WAD", "broken.wad"],
                      hidden=["notes.txt"])

        choose_file(ui, os.path.join(games, "sample.wad"))
        if args.screenshot:
            take_screenshot(env, ui.window(DIALOG_TITLE)["rect"], args.screenshot)
        unpack_and_confirm(ui, "Succeeded!", "Finished unpacking WAD file",
                           "Unpacked into " + wine_path(os.path.join(games, "sample")))
        unpacked = os.path.join(games, "sample")
        check(os.path.isdir(unpacked) and same_tree(unpacked, expected),
              "the unpacked tree differs from the command-line tool's: %r, expected %r"
              % (tree_listing(unpacked) if os.path.isdir(unpacked) else None,
                 tree_listing(expected)))

        choose_file(ui, os.path.join(games, "broken.wad"), starts_beside=True)
        unpack_and_confirm(ui, "Failed!", "Unable to unpack WAD file",
                           "The archive is damaged or cut short")
        check(not os.path.exists(os.path.join(games, "broken")),
              "a failed unpack created an output directory")
        check(ui.text(DIALOG_TITLE, PATH_ID) == wine_path(os.path.join(games, "broken.wad")),
              "the path field changed after the unpack")

        ui.press_keys(DIALOG_TITLE, "Escape")
        code = first.wait_exit()
        check(code == 0, "tarnwad-gui exited with %d after Escape" % code)

        # The second run starts afresh: no archive chosen, so "Unpack"
        # fails and makes nothing; the close box ends it.
        before = user_files(run_dir)
        second = Program(program, env, run_dir, "tarnwad-gui-2")
        programs.append(second)
        ui.wait_window(DIALOG_TITLE, START_TIMEOUT)
        check(ui.text(DIALOG_TITLE, PATH_ID) == "", "the path field is not empty at start")
        unpack_and_confirm(ui, "Failed!", "Unable to unpack WAD file", "No archive was chosen.")
        ui.click_close_box(DIALOG_TITLE)
        code = second.wait_exit()
        check(code == 0, "tarnwad-gui exited with %d after the close box" % code)
        check(user_files(run_dir) == before, "an unpack without an archive changed files")

        # The third run is given an archive on its command line, relative to
        # the current folder and with a space in its name: the path field
        # starts with its full path, and "Unpack" unpacks it.
        spaced = os.path.join(run_dir, "my games", "my level.wad")
        os.makedirs(os.path.dirname(spaced))
        shutil.copy(SAMPLE, spaced)
        third = Program(program, env, run_dir, "tarnwad-gui-3",
                        [os.path.relpath(spaced, run_dir)])
        programs.append(third)
        ui.wait_window(DIALOG_TITLE, START_TIMEOUT)
        wait_for("the path field to show " + wine_path(spaced),
                 lambda: ui.text(DIALOG_TITLE, PATH_ID) == wine_path(spaced))
        unpack_and_confirm(ui, "Succeeded!", "Finished unpacking WAD file",
                           "Unpacked into " + wine_path(spaced[:-len(".wad")]))
        ui.press_keys(DIALOG_TITLE, "Escape")
        check(third.wait_exit() == 0, "tarnwad-gui exited with an error after Escape")
    finally:
        for started in programs:
            started.stop()
        if env is not None:
            stop_wine(env)
        stop_group(xvfb)
        log.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="Windows build directory")
    parser.add_argument("--cli", default=DEFAULT_CLI,
                        help="the Linux tarnwad that unpacks the tree to compare with")
    parser.add_argument("--screenshot", help="save a picture of the dialog here")
    parser.add_argument("--keep", action="store_true", help="keep the run directory")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    args.cli = os.path.abspath(args.cli)
    if args.screenshot:
        args.screenshot = os.path.abspath(args.screenshot)
        global GAMES_PLACE
        GAMES_PLACE = ("data", "modder", "Documents", "My Games")

    run_dir = tempfile.mkdtemp(prefix="tarnwad-win32-gui-test.")
    started = time.monotonic()
    try:
        run(args, run_dir)
    except Exception as failure:  # any fault fails the test, with the logs
        if not isinstance(failure, TestFailure):
            traceback.print_exc()
        print("FAILED: tarnwad-gui.exe end-to-end test: %s: %s" % (type(failure).__name__, failure),
              file=sys.stderr)
        for name in ("tarnwad-gui.log", "tarnwad-gui-2.log", "tarnwad-gui-3.log", "session.log"):
            path = os.path.join(run_dir, name)
            if os.path.exists(path):
                with open(path, errors="replace") as log:
                    print("--- %s ---\n%s" % (name, log.read()[-4000:]), file=sys.stderr)
        # The prefix is large and of no use afterwards.
        shutil.rmtree(os.path.join(run_dir, "prefix"), ignore_errors=True)
        print("run directory kept: " + run_dir, file=sys.stderr)
        print("e2e: 0 passed, 1 failed")
        return 1
    print("tarnwad-gui.exe end-to-end test passed in %.1f s" % (time.monotonic() - started))
    print("e2e: 1 passed, 0 failed")
    if args.keep:
        print("run directory kept: " + run_dir)
    else:
        shutil.rmtree(run_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
