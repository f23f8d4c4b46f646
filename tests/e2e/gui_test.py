#!/usr/bin/python3
"""End-to-end test of tarnwad-gui: the real program in a real X server.

Starts its own Xvfb and session bus, runs tarnwad-gui with a fresh home, and
drives it as a user would: real pointer clicks and key presses (xdotool) at
the places the accessibility tree (AT-SPI) reports. It chooses an archive
through the file chooser (which first opens in the home folder), unpacks it,
confirms "Succeeded!" with the output folder below, and compares the output
tree with what the command-line tool unpacks from the same archive; then
picks a broken archive and one of another game by double-clicking them in the
chooser (which now opens in the folder of the first) and confirms "Failed!"
with the reason below; then closes the dialog with Escape and expects exit
code 0 and no GTK warning on its stderr. A second start names an archive on
the command line, relative to the current directory, in a folder that cannot
be written to: the path field starts with its full path, and "Unpack" fails
saying what to do instead. Every wait is on a condition.

Usage: gui_test.py --build BUILD_DIR [--screenshot FILE] [--keep]
"""

import argparse
import filecmp
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

from gi.repository import GLib

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE = os.path.join(REPO, "examples", "sample.wad")

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
TIMEOUT = 20.0  # seconds for any one condition

DIALOG_TITLE = "Tarnhollow - WAD Tool"
CHOOSER_TITLE = "Select Wad File"
PATH_ID, BROWSE_ID, UNPACK_ID, STATUS_ID = (
    "IDC_PATH_1000",
    "IDC_BROWSE_1001",
    "IDC_UNPACK_1002",
    "IDC_STATUS_1003",
)


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def wait_for(what, condition, timeout=TIMEOUT, interval=0.02):
    """Polls `condition` until it returns a true value, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except GLib.GError as error:
            # An object of the accessibility tree vanished while the condition
            # looked at it (a window closing): look again.
            value, last_error = None, error
        else:
            last_error = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise TestFailure("timed out waiting for %s%s" % (
                what, " (%s)" % last_error.message if last_error else ""))
        time.sleep(interval)


# --- The X server and the session bus ------------------------------------


def start_xvfb(log):
    """Starts Xvfb on the first free display; returns (process, display)."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
         "-screen", "0", "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT)],
        pass_fds=[write_end], stdout=log, stderr=log, start_new_session=True)
    os.close(write_end)
    # Xvfb writes the display number once it accepts connections.
    with os.fdopen(read_end) as ready:
        number = ready.readline().strip()
    check(number, "Xvfb did not start")
    return process, ":" + number


def start_session_bus(env, log):
    """Starts a session bus; returns (process, address). The bus and the
    services it starts (the accessibility bus and registry) share the bus's
    process group, so that they can be stopped together."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["dbus-daemon", "--session", "--nofork", "--print-address=%d" % write_end],
        pass_fds=[write_end], env=env, stdout=log, stderr=log, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as ready:
        address = ready.readline().strip()
    check(address, "the session bus did not start")
    return process, address


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


def session_environment(run_dir):
    """A clean desktop environment of our own: no settings of the user's."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("DBUS_", "XDG_", "GTK_", "GDK_", "AT_SPI", "WAYLAND"))
           and key not in ("DISPLAY", "XAUTHORITY", "NO_AT_BRIDGE", "SESSION_MANAGER")}
    home = os.path.join(run_dir, "home")
    runtime = os.path.join(run_dir, "runtime")
    for folder in (home, runtime):
        os.makedirs(folder, mode=0o700)
    env.update({
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
        "XDG_RUNTIME_DIR": runtime,
        # Settings from a key file of this run's own (see write_settings).
        "GSETTINGS_BACKEND": "keyfile",
        "GDK_BACKEND": "x11",
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    write_settings(env["XDG_CONFIG_HOME"])
    return env


def write_settings(config_home):
    """The file chooser starts in the current folder, not among the recent
    files: there a key press that opens the location field can reach a
    widget that is not realized yet, and get lost."""
    folder = os.path.join(config_home, "glib-2.0", "settings")
    os.makedirs(folder)
    with open(os.path.join(folder, "keyfile"), "w") as settings:
        settings.write("[org/gtk/settings/file-chooser]\nstartup-mode='cwd'\n")


# --- Input through the X server --------------------------------------------


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True,
                   stdout=subprocess.DEVNULL)


def x_window(title):
    """The id of the mapped X window with exactly this title, or None."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % title.replace(".", "\\.")],
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return ids[0] if ids else None


def press_keys(title, *keys):
    """Gives the X window of that title the keyboard and presses the keys."""
    window = wait_for("window " + title, lambda: x_window(title))
    xdotool("windowfocus", "--sync", window)
    for key in keys:
        xdotool("key", key)


# --- The accessibility tree -------------------------------------------------


class Ui:
    """Finds and drives the program's windows through AT-SPI."""

    def __init__(self, pyatspi):
        self.pyatspi = pyatspi
        self.app = None

    def find_application(self, pid):
        def found():
            desktop = self.pyatspi.Registry.getDesktop(0)
            desktop.clearCache()
            for app in desktop:
                if app is not None and app.get_process_id() == pid:
                    return app
            return None

        self.app = wait_for("the program on the accessibility bus", found)

    def windows(self):
        self.app.clearCache()
        return [window for window in self.app if window is not None]

    def window(self, name):
        for window in self.windows():
            if window.name == name and self.is_showing(window):
                return window
        return None

    def wait_window(self, name):
        return wait_for('window "%s"' % name, lambda: self.window(name))

    def wait_window_gone(self, name):
        wait_for('window "%s" to close' % name, lambda: self.window(name) is None)

    def find(self, root, predicate):
        root.clearCache()
        return self.pyatspi.findDescendant(root, predicate, True)

    def find_all(self, root, predicate):
        root.clearCache()
        return self.pyatspi.findAllDescendants(root, predicate)

    def by_id(self, root, accessible_id):
        return wait_for("control " + accessible_id,
                        lambda: self.find(root, lambda a: a.get_accessible_id() == accessible_id))

    def has_state(self, accessible, state):
        accessible.clearCache()
        return accessible.getState().contains(state)

    def is_showing(self, accessible):
        return self.has_state(accessible, self.pyatspi.STATE_SHOWING)

    def extents(self, accessible):
        return accessible.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)

    def text(self, accessible):
        text = accessible.queryText()
        return text.getText(0, text.characterCount)

    def click(self, accessible):
        """A real pointer click in the middle of the control, once it can take
        one."""
        wait_for("%s to be clickable" % accessible.name,
                 lambda: self.is_showing(accessible)
                 and self.has_state(accessible, self.pyatspi.STATE_SENSITIVE))
        box = self.extents(accessible)
        xdotool("mousemove", box.x + box.width // 2, box.y + box.height // 2)
        xdotool("click", "1")

    def button(self, root, name):
        return wait_for('button "%s"' % name, lambda: self.find(
            root, lambda a: a.getRole() == self.pyatspi.ROLE_PUSH_BUTTON and a.name == name))

    def double_click(self, accessible):
        """A real pointer double click in the middle of the control."""
        wait_for("%s to be showing" % accessible.name, lambda: self.is_showing(accessible))
        box = self.extents(accessible)
        xdotool("mousemove", box.x + box.width // 2, box.y + box.height // 2)
        xdotool("click", "--repeat", "2", "--delay", "80", "1")

    def texts_in(self, root):
        """Names of the labels below `root` (message texts, file names)."""
        roles = (self.pyatspi.ROLE_LABEL, self.pyatspi.ROLE_TABLE_CELL)
        return [a.name for a in self.find_all(root, lambda a: a.getRole() in roles)]


# --- The steps --------------------------------------------------------------


def open_chooser(ui, dialog):
    ui.click(ui.by_id(dialog, BROWSE_ID))
    return ui.wait_window(CHOOSER_TITLE)


def location_field(ui, chooser):
    """Opens the chooser's location field (Ctrl+L) and returns it."""
    def editable_text():
        return ui.find(chooser, lambda a: a.getRole() == ui.pyatspi.ROLE_TEXT
                       and ui.is_showing(a) and ui.has_state(a, ui.pyatspi.STATE_EDITABLE))

    # Wait for the chooser to be built first: a key pressed while it builds
    # itself can get lost. Press Ctrl+L again should the field not appear.
    ui.button(chooser, "Open")
    deadline = time.monotonic() + TIMEOUT
    while True:
        try:
            field = editable_text()
        except GLib.GError:  # a widget vanished while we looked
            field = None
        if field is not None:
            return field
        if time.monotonic() > deadline:
            raise TestFailure("the chooser's location field did not appear")
        press_keys(CHOOSER_TITLE, "ctrl+l")
        try:
            return wait_for("the chooser's location field", editable_text, timeout=1.0)
        except TestFailure:
            pass


def submit_location(ui, chooser, path, closes):
    """Puts `path` into the location field and presses Open until the chooser
    acts on it: it closes (a file) or lists the folder (a folder). GTK ignores
    Open for a moment after the text changes, so one press may not do."""
    field = location_field(ui, chooser)
    field.queryEditableText().setTextContents(path)
    open_button = ui.button(chooser, "Open")
    deadline = time.monotonic() + TIMEOUT
    while True:
        ui.click(open_button)
        try:
            wait_for("the chooser to take " + path, closes, timeout=1.0)
            return
        except TestFailure:
            if time.monotonic() > deadline:
                raise


def choose_file(ui, dialog, path):
    chooser = open_chooser(ui, dialog)
    submit_location(ui, chooser, path, lambda: ui.window(CHOOSER_TITLE) is None)
    path_field = ui.by_id(dialog, PATH_ID)
    wait_for("the path field to show " + path, lambda: ui.text(path_field) == path)


def check_dialog(ui, dialog):
    """Title, controls, tab order, read-only path field, centred window."""
    check(dialog.getRole() == ui.pyatspi.ROLE_DIALOG, "the main window is no dialog")
    path_field = ui.by_id(dialog, PATH_ID)
    browse = ui.by_id(dialog, BROWSE_ID)
    unpack = ui.by_id(dialog, UNPACK_ID)
    status = ui.by_id(dialog, STATUS_ID)
    check(path_field.getRole() == ui.pyatspi.ROLE_TEXT, "the path field is no text field")
    check(not ui.has_state(path_field, ui.pyatspi.STATE_EDITABLE), "the path field is editable")
    check(ui.text(path_field) == "", "the path field is not empty at start")
    check(ui.text(status) == "", "the status line is not empty at start")
    labels = [b.name for b in (browse, unpack)]
    check(labels == ["Choose WAD file", "Unpack"], "unexpected button names %r" % labels)
    check(browse.queryAction().getName(0) == "click", "the browse button cannot be clicked")

    box = ui.extents(dialog)
    centre_x = (SCREEN_WIDTH - box.width) // 2
    centre_y = (SCREEN_HEIGHT - box.height) // 2
    check(abs(box.x - centre_x) <= 1 and abs(box.y - centre_y) <= 1,
          "the dialog is not centred: at %d,%d, expected %d,%d"
          % (box.x, box.y, centre_x, centre_y))

    # The path field starts with the focus. Enter does nothing there (no
    # default button); Tab then moves on to "..." and to "Unpack".
    wait_for("the path field to have the focus",
             lambda: ui.has_state(path_field, ui.pyatspi.STATE_FOCUSED))
    press_keys(DIALOG_TITLE, "Return", "Tab")
    wait_for('"..." to take the focus', lambda: ui.has_state(browse, ui.pyatspi.STATE_FOCUSED))
    check([w.name for w in ui.windows()] == [DIALOG_TITLE], "Enter opened a window")
    press_keys(DIALOG_TITLE, "Tab")
    wait_for('"Unpack" to take the focus', lambda: ui.has_state(unpack, ui.pyatspi.STATE_FOCUSED))


def check_chooser(ui, dialog, home_file, folder, shown, hidden):
    """The chooser opens in the home folder while no archive is chosen
    (`home_file` lies there), offers the one filter, lists the folder's WAD
    files in any letter case and nothing else, and Cancel leaves the path
    field alone."""
    path_field = ui.by_id(dialog, PATH_ID)
    before = ui.text(path_field)
    chooser = open_chooser(ui, dialog)
    wait_for("the chooser to start in the home folder", lambda: home_file in ui.texts_in(chooser))
    combo = ui.find(chooser, lambda a: a.getRole() == ui.pyatspi.ROLE_COMBO_BOX)
    check(combo is not None and combo.name == "Tarn Wad File",
          "the chooser's filter is %r" % (combo and combo.name))
    filters = ui.find_all(combo, lambda a: a.getRole() == ui.pyatspi.ROLE_MENU_ITEM)
    check([f.name for f in filters] == ["Tarn Wad File"], "more than one filter offered")

    def lists_folder():
        names = ui.texts_in(chooser)
        return names if all(name in names for name in shown) else None

    submit_location(ui, chooser, folder + "/", lists_folder)
    names = ui.texts_in(chooser)
    for name in hidden:
        check(name not in names, "the chooser lists %s" % name)

    ui.click(ui.button(chooser, "Cancel"))
    ui.wait_window_gone(CHOOSER_TITLE)
    check(ui.text(path_field) == before, "Cancel changed the path field")


def choose_by_double_click(ui, dialog, folder, name):
    """Opens the chooser, which starts in the folder of the path chosen
    before, and double-clicks the file's row there."""
    chooser = open_chooser(ui, dialog)
    row = wait_for("the chooser to list %s in the last folder" % name, lambda: ui.find(
        chooser, lambda a: a.getRole() == ui.pyatspi.ROLE_TABLE_CELL and a.name == name
        and ui.is_showing(a)))
    ui.double_click(row)
    ui.wait_window_gone(CHOOSER_TITLE)
    path = os.path.join(folder, name)
    path_field = ui.by_id(dialog, PATH_ID)
    wait_for("the path field to show " + path, lambda: ui.text(path_field) == path)


def unpack_and_confirm(ui, dialog, caption, text, *details):
    """Presses "Unpack" and reads the message box: its caption, its text, the
    secondary text below holding each of `details`, its one OK button."""
    ui.click(ui.by_id(dialog, UNPACK_ID))
    box = ui.wait_window(caption)
    wait_for('"%s" in the message box' % text, lambda: text in ui.texts_in(box))
    texts = ui.texts_in(box)
    secondary = [t for t in texts if t and t != text]
    check(len(secondary) == 1 and all(d in secondary[0] for d in details),
          'the message box "%s" says %r below its text, not %r' % (caption, secondary, details))
    buttons = ui.find_all(box, lambda a: a.getRole() == ui.pyatspi.ROLE_PUSH_BUTTON
                          and ui.is_showing(a))
    check([b.name for b in buttons] == ["OK"],
          "the message box has the buttons %r" % [b.name for b in buttons])
    check(ui.text(ui.by_id(dialog, STATUS_ID)) == "", "the status line is not empty at the end")
    ui.click(buttons[0])
    ui.wait_window_gone(caption)


def take_screenshot(dialog_box, path):
    import gi
    gi.require_version("Gdk", "3.0")
    from gi.repository import Gdk

    Gdk.init([])
    margin = 16
    picture = Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(),
                                         dialog_box.x - margin, dialog_box.y - margin,
                                         dialog_box.width + 2 * margin,
                                         dialog_box.height + 2 * margin)
    check(picture is not None, "the screenshot failed")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    picture.savev(path, "png", [], [])


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


# Where the archives lie in the run directory; for a screenshot, a place
# that reads like a user's own folder in the path field, which shows the end
# of the path.
GAMES_PLACE = ()


def prepare_archives(run_dir, cli):
    """The archives the user picks, and the tree the command-line tool
    unpacks from the same sample, to compare with."""
    games = os.path.join(run_dir, *GAMES_PLACE, "games", "tarnhollow")
    os.makedirs(games)
    shutil.copy(SAMPLE, os.path.join(games, "sample.wad"))
    shutil.copy(SAMPLE, os.path.join(games, "SECOND.WAD"))
    with open(SAMPLE, "rb") as sample, open(os.path.join(games, "broken.wad"), "wb") as broken:
        broken.write(sample.read(100))  # the header and a little more: no directory
    with open(os.path.join(games, "notes.txt"), "w") as notes:
        notes.write("not an archive\n")
    # An archive, but of another game: none of the entries the probe looks for.
    other = os.path.join(run_dir, "other")
    os.makedirs(other)
    with open(os.path.join(other, "readme.txt"), "w") as readme:
        readme.write("another game\n")
    subprocess.run([cli, "pack", other, "-o", os.path.join(games, "other.wad")], check=True,
                   stdout=subprocess.DEVNULL)

    oracle = os.path.join(run_dir, "oracle")
    os.makedirs(oracle)
    shutil.copy(SAMPLE, os.path.join(oracle, "sample.wad"))
    subprocess.run([cli, "unpack", os.path.join(oracle, "sample.wad")], check=True,
                   stdout=subprocess.DEVNULL)
    expected = os.path.join(oracle, "sample")
    check(os.path.isfile(os.path.join(expected, "groundtile.png")),
          "the command-line tool did not unpack the sample")
    return games, expected


def is_complaint(line):
    """Whether a line the program wrote is a GTK (or GLib) warning or
    critical: none belongs in a normal run."""
    return any(mark in line for mark in ("Gtk-CRITICAL", "Gtk-WARNING", "-CRITICAL **",
                                         "-WARNING **"))


def close_and_check(program_process, program_log):
    """Closes the dialog with Escape: exit code 0, no GTK warning logged."""
    press_keys(DIALOG_TITLE, "Escape")
    code = program_process.wait(timeout=TIMEOUT)
    check(code == 0, "tarnwad-gui exited with %d" % code)
    program_log.close()
    with open(program_log.name, errors="replace") as output:
        complaints = [line for line in output if is_complaint(line)]
    check(not complaints, "tarnwad-gui logged %s" % "".join(complaints))


def locked_folder_archive(run_dir):
    """An archive in a folder that cannot be written to, and the command
    prefix under which the program is held to the folder's mode: root, whom
    modes do not stop, runs it without the capabilities that override them."""
    locked = os.path.join(run_dir, "locked")
    os.makedirs(locked)
    shutil.copy(SAMPLE, os.path.join(locked, "level.wad"))
    os.chmod(locked, 0o555)
    prefix = []
    if os.geteuid() == 0:
        prefix = ["setpriv", "--bounding-set=-dac_override,-dac_read_search"]
    return os.path.join(locked, "level.wad"), prefix


def run(args, run_dir):
    program = os.path.join(args.build, "app", "gtk", "tarnwad-gui")
    cli = os.path.join(args.build, "tools", "tarnwad")
    for path in (program, cli, SAMPLE):
        check(os.path.isfile(path), "missing: " + path)
    games, expected = prepare_archives(run_dir, cli)

    env = session_environment(run_dir)
    home_file = "in-home.wad"
    shutil.copy(SAMPLE, os.path.join(env["HOME"], home_file))
    log = open(os.path.join(run_dir, "session.log"), "w")
    xvfb = bus = program_process = None
    try:
        xvfb, env["DISPLAY"] = start_xvfb(log)
        bus, env["DBUS_SESSION_BUS_ADDRESS"] = start_session_bus(env, log)
        # This process talks to the same X server and bus as the program.
        os.environ.clear()
        os.environ.update(env)
        import pyatspi

        ui = Ui(pyatspi)
        program_log = open(os.path.join(run_dir, "tarnwad-gui.log"), "w")
        program_process = subprocess.Popen([program], env=env, cwd=run_dir,
                                           stdout=program_log, stderr=subprocess.STDOUT)
        ui.find_application(program_process.pid)
        dialog = ui.wait_window(DIALOG_TITLE)
        check_dialog(ui, dialog)
        check_chooser(ui, dialog, home_file, games,
                      shown=["sample.wad", "SECOND.WAD", "broken.wad"], hidden=["notes.txt"])

        archive = os.path.join(games, "sample.wad")
        choose_file(ui, dialog, archive)
        if args.screenshot:
            take_screenshot(ui.extents(dialog), args.screenshot)
        unpack_and_confirm(ui, dialog, "Succeeded!", "Finished unpacking WAD file",
                           "Unpacked into " + os.path.join(games, "sample"))
        check(same_tree(os.path.join(games, "sample"), expected),
              "the unpacked tree differs from the command-line tool's")

        choose_by_double_click(ui, dialog, games, "broken.wad")
        unpack_and_confirm(ui, dialog, "Failed!", "Unable to unpack WAD file",
                           "The archive is damaged or cut short")
        check(not os.path.exists(os.path.join(games, "broken")),
              "a failed unpack created an output directory")
        choose_by_double_click(ui, dialog, games, "other.wad")
        unpack_and_confirm(ui, dialog, "Failed!", "Unable to unpack WAD file",
                           "not a Tarnhollow archive", "groundtile.png", "intro_flight1.CSQ")
        check(not os.path.exists(os.path.join(games, "other")),
              "a failed unpack created an output directory")

        close_and_check(program_process, program_log)
        program_process = None

        archive, prefix = locked_folder_archive(run_dir)
        program_log = open(os.path.join(run_dir, "tarnwad-gui-2.log"), "w")
        program_process = subprocess.Popen(
            prefix + [program, os.path.relpath(archive, run_dir)], env=env, cwd=run_dir,
            stdout=program_log, stderr=subprocess.STDOUT)
        ui.find_application(program_process.pid)
        dialog = ui.wait_window(DIALOG_TITLE)
        path_field = ui.by_id(dialog, PATH_ID)
        wait_for("the path field to show " + archive, lambda: ui.text(path_field) == archive)
        unpack_and_confirm(ui, dialog, "Failed!", "Unable to unpack WAD file",
                           "The output directory cannot be created: permission denied.",
                           "Copy the archive into a folder you can write to",
                           "tarnwad unpack -o DIR")
        close_and_check(program_process, program_log)
        program_process = None
    finally:
        if program_process is not None:
            program_process.kill()
            program_process.wait()
        stop_group(bus)
        stop_group(xvfb)
        log.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="build directory with tarnwad-gui")
    parser.add_argument("--screenshot", help="save a picture of the dialog here")
    parser.add_argument("--keep", action="store_true", help="keep the run directory")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if args.screenshot:
        args.screenshot = os.path.abspath(args.screenshot)
        global GAMES_PLACE
        GAMES_PLACE = ("data", "modder", "Documents", "My Games")

    run_dir = tempfile.mkdtemp(prefix="tarnwad-gui-test.")
    started = time.monotonic()
    try:
        run(args, run_dir)
    except Exception as failure:  # any fault fails the test, with the logs
        if not isinstance(failure, TestFailure):
            traceback.print_exc()
        print("FAILED: tarnwad-gui end-to-end test: %s: %s" % (type(failure).__name__, failure),
              file=sys.stderr)
        for name in ("tarnwad-gui.log", "tarnwad-gui-2.log", "session.log"):
            path = os.path.join(run_dir, name)
            if os.path.exists(path):
                with open(path, errors="replace") as log:
                    print("--- %s ---\n%s" % (name, log.read()[-4000:]), file=sys.stderr)
        print("run directory kept: " + run_dir, file=sys.stderr)
        print("e2e: 0 passed, 1 failed")
        return 1
    print("tarnwad-gui end-to-end test passed in %.1f s" % (time.monotonic() - started))
    print("e2e: 1 passed, 0 failed")
    if not args.keep:
        os.chmod(os.path.join(run_dir, "locked"), 0o755)
        shutil.rmtree(run_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
