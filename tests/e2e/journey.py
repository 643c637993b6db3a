#!/usr/bin/env python3
"""The whole journey of a user, on a real X desktop.

Starts the program as built, in a fresh copy of its folder and with a fresh
HOME, under the X server this runs in (xvfb-run), with a window manager
(openbox) and a notification area (trayer), against a list server started here
on a free port and named in listserver.ini. Drives it only through what a user
has: keys and clicks on real windows, the tray icon, message boxes. Checks only
what a user or the outside world sees: window titles and states, the pages the
server was asked for, the files in the program folder, the settings file.

Then starts it once more, fresh, with no server configured: the program serves
its built-in list itself. The start page shows and "Update list" succeeds; the
screenshots of this run are the ones the AppStream metainfo shows
(appstream-*.png, copied to docs/screenshots/ by hand).

Usage: journey.py BUILD_DIR OUTPUT_DIR
Screenshots and the server's log are left in OUTPUT_DIR.
"""

import hashlib
import http.server
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zipfile

BUILD = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2])
BUILT_IN = "kestrelmoor://list"  # the address the list data is built for
SITE = os.path.join(BUILD, "share", "kestrelmoor-modlist", "listserver")  # where the build puts the site
WAIT = 30.0


# ---------------------------------------------------------------- list server

class ListServer:
    """Serves a folder; records each request path; can answer 404 to the archive."""

    def __init__(self, root):
        self.requests = []
        self.archive_missing = False
        server = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=root, **kwargs)

            def do_GET(self):
                server.requests.append(self.path)
                if server.archive_missing and self.path.endswith(".zip"):
                    self.send_error(404, "Not here")
                    return
                super().do_GET()

            def log_message(self, fmt, *args):
                with open(os.path.join(OUT, "listserver.log"), "a") as log:
                    log.write("%s\n" % (fmt % args))

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def stop(self):
        self.httpd.shutdown()


def rewrite(path, old, new):
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data.replace(old.encode(), new.encode()))


# ---------------------------------------------------------------- X helpers

def run(*args, check=True):
    return subprocess.run(args, capture_output=True, text=True, check=check).stdout


def windows(name, visible=False):
    """Ids of windows whose title matches the regular expression."""
    args = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + ["--name", name]
    out = subprocess.run(args, capture_output=True, text=True).stdout
    return [line for line in out.split() if line]


def wait_for(what, test, timeout=WAIT):
    end = time.time() + timeout
    while time.time() < end:
        value = test()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def wait_window(name, visible=True):
    return wait_for("window " + name, lambda: windows(name, visible))[0]


def key(*keys, window=None):
    """Presses keys as the keyboard does, into `window` made active first."""
    if window:
        subprocess.run(["xdotool", "windowactivate", "--sync", window], check=False)
        time.sleep(0.2)
    subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(keys), check=True)
    time.sleep(0.3)


def client_origin(window):
    """Top-left corner of a window's client area on the screen."""
    info = run("xwininfo", "-id", window)
    x = int(info.split("Absolute upper-left X:")[1].split()[0])
    y = int(info.split("Absolute upper-left Y:")[1].split()[0])
    return x, y


def click(x, y, button=1):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button)], check=True)
    time.sleep(0.4)


def wm_state(window):
    return run("xprop", "-id", window, "_NET_WM_STATE", check=False)


def stacking():
    """Ids of the managed windows, bottom to top, as xdotool gives them."""
    out = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    return [str(int(w.strip(), 16)) for w in out.split("#", 1)[1].split(",")]


def drag(x, y, to_x, to_y):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "mousedown", "1"], check=True)
    for i in range(1, 11):
        subprocess.run(["xdotool", "mousemove", "--sync", str(x + (to_x - x) * i // 10),
                        str(y + (to_y - y) * i // 10)], check=True)
        time.sleep(0.05)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
    time.sleep(0.4)


step_number = [0]


def shot(name):
    step_number[0] += 1
    subprocess.run(["import", "-window", "root", os.path.join(OUT, "%02d-%s.png" % (step_number[0], name))])


def window_shot(window, name):
    """The window with its frame, as a store shows the program."""
    subprocess.run(["import", "-frame", "-window", window, os.path.join(OUT, "appstream-%s.png" % name)], check=True)


def colour_count(window, colour):
    """How many pixels of the window have the colour (#RRGGBB)."""
    path = os.path.join(OUT, "colours.png")
    subprocess.run(["import", "-window", window, path], check=True)
    histogram = run("convert", path, "-format", "%c", "histogram:info:-")
    os.remove(path)
    return sum(int(line.split(":")[0]) for line in histogram.splitlines() if colour.upper() in line.upper())


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# ---------------------------------------------------------------- the journey

def journey(server, program_dir, program, tray_xy):
    main_title = "^Kestrelmoor - Mod List - Quake2$"

    # Start, maximised as the options say: the caption and the start page.
    main = wait_window(main_title)
    wait_for("the start page", lambda: "/kestrelmoor/modlist/welcome.htm" in server.requests)
    wait_for("the maximised start", lambda: "_NET_WM_STATE_MAXIMIZED_VERT" in wm_state(main)
             and "_NET_WM_STATE_MAXIMIZED_HORZ" in wm_state(main))
    time.sleep(1)
    shot("started")

    # The line between the tree and the page moves, and its place is kept (checked after Close).
    # Its handle stands right of the 170-pixel tree column (the width of the tool row).
    cx, cy = client_origin(main)
    drag(cx + 172, cy + 300, cx + 320, cy + 300)
    shot("tree-widened")

    # A link node, found with the filter field: type, go down into the tree, open it.
    key("ctrl+k", window=main)
    subprocess.run(["xdotool", "type", "--delay", "40", "rocket arena"], check=True)
    time.sleep(0.5)
    shot("filtered")
    key("Return")
    key("Return")
    wait_for("the mod page", lambda: "/kestrelmoor/modlist/mods/rocketarena2.htm" in server.requests)
    shot("mod-page")
    # Clear the filter again (the whole tree is back) and go on in the tree.
    key("ctrl+k", window=main)
    key("Escape")
    key("Tab")

    # Add to favourites, then show the remote control from the tray menu.
    key("ctrl+d")
    click(*tray_xy, button=3)
    shot("tray-menu")
    key("s")
    remote = wait_window("^DorOdor - remote control$")
    assert "_NET_WM_STATE_ABOVE" in wm_state(remote), "the remote control is not on top: " + wm_state(remote)
    shot("remote-control")

    # Pick the favourite: the page is asked for again.
    before = server.requests.count("/kestrelmoor/modlist/mods/rocketarena2.htm")
    rx, ry = client_origin(remote)
    click(rx + 30, ry + 29)  # the first entry of the list
    wait_for("the favourite's page", lambda: server.requests.count(
        "/kestrelmoor/modlist/mods/rocketarena2.htm") > before)
    shot("favourite-opened")

    # A modal dialog opens above the remote control, which can still be moved.
    # The remote control goes where the dialog will half cover it.
    rx, ry = client_origin(remote)
    drag(rx + 20, ry + 8, 400, 250)
    key("ctrl+shift+b", window=main)
    dialog = wait_window("^Configure favourites$")
    time.sleep(0.5)
    shot("dialog-over-remote-control")
    order = stacking()
    assert order.index(dialog) > order.index(remote), "the dialog is under the remote control"
    rx, ry = client_origin(remote)
    drag(rx + 20, ry + 8, rx + 20 - 300, ry + 8 + 100)
    moved = client_origin(remote)
    assert moved != (rx, ry), "the remote control could not be moved while the dialog was open"
    shot("remote-control-moved")
    key("alt+c", window=dialog)
    wait_for("the dialog to close", lambda: not windows("^Configure favourites$", True))

    # The fullscreen window opens and returns.
    key("F11", window=main)
    full = wait_window("^Kestrelmoor - Fullscreen$")
    time.sleep(1)
    shot("fullscreen")
    info = run("xwininfo", "-id", full)
    size = (int(info.split("Width:")[1].split()[0]), int(info.split("Height:")[1].split()[0]))
    screen = tuple(int(v) for v in run("xdotool", "getdisplaygeometry").split())
    assert size[0] == screen[0] and size[1] >= screen[1] - 40, "fullscreen window is %dx%d" % size
    key("Escape", window=full)
    wait_for("the fullscreen window to close", lambda: not windows("^Kestrelmoor - Fullscreen$", True))

    # Find a mod by its text, then open what was found with Enter in the tree.
    key("ctrl+f", window=main)
    find = wait_window("^Find$")
    subprocess.run(["xdotool", "windowactivate", "--sync", find], check=False)
    subprocess.run(["xdotool", "type", "--delay", "40", "gloom"], check=True)
    key("Return", window=find)
    shot("found")
    key("Escape", window=find)
    wait_for("the find dialog to close", lambda: not windows("^Find$", True))
    key("Return", window=main)
    wait_for("the found mod's page", lambda: "/kestrelmoor/modlist/mods/gloom.htm" in server.requests)

    # Update list: success, new list files, no archive left, the date stamped.
    assert not os.path.exists(os.path.join(program_dir, "q2modlist.dat"))
    key("ctrl+u", window=main)
    done = wait_window("^Mod List$")
    shot("updated")
    key("Return", window=done)
    wait_for("the success box to close", lambda: not windows("^Mod List$", True))
    assert os.path.exists(os.path.join(program_dir, "q2modlist.dat")), "no q2modlist.dat after the update"
    assert os.path.exists(os.path.join(program_dir, "mods", "gloom.htm")), "the archive's pages were not unpacked"
    assert not os.path.exists(os.path.join(program_dir, "tempor.zip")), "tempor.zip left behind"
    with open(os.path.join(program_dir, "mods.dat"), "rb") as f:
        assert f.read().startswith(b"[ValidHeader]\r\n")
    settings = open(os.path.join(os.environ["HOME"], ".config/kestrelmoor-modlist/modlist.ini")).read().lower()
    assert "update=" + time.strftime("%m-%d-%Y") in settings, "update date not stamped: " + settings

    # Update list against a server without the archive, then Cancel: files unchanged.
    listed = sha(os.path.join(program_dir, "q2modlist.dat"))
    catalogue = sha(os.path.join(program_dir, "mods.dat"))
    server.archive_missing = True
    key("ctrl+u", window=main)
    error = wait_window("^Connection Error$")
    shot("connection-error")
    key("Escape", window=error)
    wait_for("the error box to close", lambda: not windows("^Connection Error$", True))
    assert sha(os.path.join(program_dir, "q2modlist.dat")) == listed
    assert sha(os.path.join(program_dir, "mods.dat")) == catalogue
    assert not os.path.exists(os.path.join(program_dir, "tempor.zip"))

    # Minimise: the window hides in the tray; a click on the icon brings it back.
    subprocess.run(["xdotool", "windowminimize", main], check=True)
    wait_for("the main window to hide", lambda: not windows(main_title, True))
    shot("hidden")
    click(*tray_xy)
    wait_window(main_title)
    shot("restored")

    # "&Close" in the tray menu ends the program, which saves the favourite.
    click(*tray_xy, button=3)
    key("c")
    wait_for("the program to end", lambda: program.poll() is not None)
    favs = open(os.path.join(program_dir, "favs.dat"), "rb").read()
    expected = b"Rocket Arena 2\r\n" + server.base.encode() + b"/kestrelmoor/modlist/mods/rocketarena2.htm\r\n"
    assert favs == expected, "favs.dat holds %r" % favs
    settings = open(os.path.join(os.environ["HOME"], ".config/kestrelmoor-modlist/modlist.ini")).read().lower()
    width = int(settings.split("treewidth=")[1].split()[0]) if "treewidth=" in settings else 0
    assert width > 2415 + 1500, "the tree's width was not kept: %d twips" % width


def built_in_list(program_dir):
    """No server configured: the program serves its own list, without a network."""
    main_title = "^Kestrelmoor - Mod List - Quake2$"
    main = wait_window(main_title)
    subprocess.run(["xdotool", "windowsize", "--sync", main, "1000", "640"], check=False)
    # The start page's background (#f6f5f1) fills the view; an error page has none of it.
    wait_for("the built-in start page", lambda: colour_count(main, "#F6F5F1") > 50000)
    shot("built-in-started")
    window_shot(main, "start-page")

    key("ctrl+k", window=main)
    subprocess.run(["xdotool", "type", "--delay", "40", "rocket arena"], check=True)
    key("Return")
    key("Return")
    time.sleep(2)
    window_shot(main, "mod-page")
    key("ctrl+k", window=main)
    key("Escape")
    key("Tab")

    assert not os.path.exists(os.path.join(program_dir, "q2modlist.dat"))
    key("ctrl+u", window=main)
    done = wait_window("^Mod List$")
    shot("built-in-updated")
    key("Return", window=done)
    wait_for("the success box to close", lambda: not windows("^Mod List$", True))
    assert os.path.exists(os.path.join(program_dir, "q2modlist.dat")), "no q2modlist.dat after the built-in update"
    assert os.path.exists(os.path.join(program_dir, "mods", "yamagiquake2.htm")), "the built-in archive was not unpacked"
    assert not os.path.exists(os.path.join(program_dir, "tempor.zip")), "tempor.zip left behind"
    settings = open(os.path.join(os.environ["HOME"], ".config/kestrelmoor-modlist/modlist.ini")).read().lower()
    assert "update=" + time.strftime("%m-%d-%Y") in settings, "update date not stamped: " + settings
    # A mod that only the new list has (in its new folder, Source ports).
    key("ctrl+k", window=main)
    subprocess.run(["xdotool", "type", "--delay", "40", "yamagi"], check=True)
    key("Return")
    key("Return")
    time.sleep(2)
    window_shot(main, "list-updated")


def fresh_program(folder, home):
    """A fresh copy of the built program with the built-in site beside it, as
    installed, and a fresh HOME."""
    program_dir = os.path.join(folder, "program")
    os.makedirs(program_dir)
    for name in ("kestrelmoor-modlist", "defmodlist.dat", "mods.dat"):
        shutil.copy2(os.path.join(BUILD, "program", name), program_dir)
    shutil.copytree(SITE, os.path.join(folder, "share", "kestrelmoor-modlist", "listserver"))
    os.makedirs(home)
    os.environ.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                       "XDG_DATA_HOME": os.path.join(home, ".local/share")})
    return program_dir


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    scratch = tempfile.mkdtemp(prefix="kml-e2e-")
    helpers = []
    program = None
    server = None
    try:
        # The list server's content, pointing at this server.
        site = os.path.join(scratch, "site")
        shutil.copytree(SITE, site)
        server = ListServer(site)
        modlist = os.path.join(site, "kestrelmoor", "modlist")
        rewrite(os.path.join(modlist, "mods.dat"), BUILT_IN, server.base)
        unpacked = os.path.join(scratch, "archive")
        with zipfile.ZipFile(os.path.join(modlist, "q2modlist.zip")) as archive:
            archive.extractall(unpacked)
        rewrite(os.path.join(unpacked, "q2modlist.dat"), BUILT_IN, server.base)
        with zipfile.ZipFile(os.path.join(modlist, "q2modlist.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
            for folder, _, files in os.walk(unpacked):
                for name in sorted(files):
                    path = os.path.join(folder, name)
                    archive.write(path, os.path.relpath(path, unpacked))

        # A fresh copy of the program folder, and a fresh HOME.
        program_dir = fresh_program(os.path.join(scratch, "served"), os.path.join(scratch, "home"))
        for name in ("defmodlist.dat", "mods.dat"):
            rewrite(os.path.join(program_dir, name), BUILT_IN, server.base)
        with open(os.path.join(program_dir, "listserver.ini"), "w") as conf:
            conf.write("ListServer=%s\nSiteAddress=%s/kestrelmoor/\n" % (server.base, server.base))
        # A user who starts with the window maximised.
        settings_dir = os.path.join(os.environ["HOME"], ".config", "kestrelmoor-modlist")
        os.makedirs(settings_dir)
        with open(os.path.join(settings_dir, "modlist.ini"), "w") as ini:
            ini.write("[ndorodor]\nnoptions\\nmaximized=1\n")
        os.environ["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        os.environ.pop("QT_QPA_PLATFORM", None)

        # The desktop: a window manager and a notification area at the top right.
        helpers.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        helpers.append(subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                         "--height", "22"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        width = int(run("xdotool", "getdisplaygeometry").split()[0])
        tray_xy = (width - 11, 11)

        with open(os.path.join(OUT, "program.log"), "w") as log:
            program = subprocess.Popen([os.path.join(program_dir, "kestrelmoor-modlist")], cwd=scratch,
                                       stdout=log, stderr=subprocess.STDOUT)
            journey(server, program_dir, program, tray_xy)
        server.stop()
        server = None

        # Again, fresh, with no list server configured and none running.
        program_dir = fresh_program(os.path.join(scratch, "built-in"), os.path.join(scratch, "home2"))
        with open(os.path.join(OUT, "program-built-in.log"), "w") as log:
            program = subprocess.Popen([os.path.join(program_dir, "kestrelmoor-modlist")], cwd=scratch,
                                       stdout=log, stderr=subprocess.STDOUT)
            built_in_list(program_dir)
            program.terminate()
            program.wait(WAIT)
        print("journey passed")
        return 0
    except Exception:
        traceback.print_exc()
        shot("failure")
        print("journey failed; screenshots and logs are in " + OUT)
        return 1
    finally:
        if program and program.poll() is None:
            program.kill()
        for helper in helpers:
            helper.send_signal(signal.SIGTERM)
        if server:
            server.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
