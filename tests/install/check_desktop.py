"""Checks an installed tree's desktop integration as a file manager sees it:
with the tree's MIME and application caches built, a Tarnhollow archive
(by its magic, whatever its name) is of the type application/x-tarnhollow-wad,
and the dialog is the program that opens that type, given the file.

    python3 check_desktop.py PREFIX ARCHIVE.wad

PREFIX is the installed tree (holding bin/ and share/); its caches are
written there. Exits 0 when all holds, otherwise says what does not.
"""

import os
import shutil
import subprocess
import sys
import tempfile

WAD_TYPE = "application/x-tarnhollow-wad"


def main():
    prefix, archive = (os.path.abspath(a) for a in sys.argv[1:3])
    share = os.path.join(prefix, "share")
    scratch = tempfile.mkdtemp(prefix="tarnwad-desktop-")
    try:
        renamed = os.path.join(scratch, "level.dat")
        shutil.copyfile(archive, renamed)
        empty = os.path.join(scratch, "empty")
        os.mkdir(empty)
        # Only the tree's own data and the system's, no user's settings; the
        # dialog found on PATH, as GLib offers only programs it finds.
        env = dict(os.environ, XDG_DATA_DIRS=f"{share}:/usr/share", XDG_DATA_HOME=empty,
                   XDG_CONFIG_HOME=empty, XDG_CONFIG_DIRS=empty,
                   PATH=os.path.join(prefix, "bin") + os.pathsep + os.environ.get("PATH", ""))
        subprocess.run(["update-mime-database", os.path.join(share, "mime")], env=env,
                       check=True)
        subprocess.run(["update-desktop-database", os.path.join(share, "applications")],
                       env=env, check=True)
        probe = f"""
from gi.repository import Gio
for path in {[archive, renamed]!r}:
    info = Gio.File.new_for_path(path).query_info("standard::content-type", 0, None)
    if info.get_content_type() != {WAD_TYPE!r}:
        raise SystemExit(f"{{path}} is taken for {{info.get_content_type()}}")
app = Gio.AppInfo.get_default_for_type({WAD_TYPE!r}, False)
if app is None or app.get_id() != "tarnwad-gui.desktop":
    raise SystemExit(f"{WAD_TYPE} opens with {{app and app.get_id()}}")
if not app.supports_files():
    raise SystemExit("tarnwad-gui.desktop is not given the file")
"""
        result = subprocess.run(["/usr/bin/python3", "-c", probe], env=env)
        return result.returncode
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    sys.exit(main())
