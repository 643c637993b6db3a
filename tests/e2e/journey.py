#!/usr/bin/env python3
"""Usage: journey.py BUILD_DIR OUTPUT_DIR (screenshots and logs are left there).

The whole journey of a user on a real X desktop (xvfb-run, openbox, trayer), in a fresh copy
of the program folder with a fresh HOME: first against a list server started here and named in
listserver.ini, then with none, where the program serves its built-in list itself (the
appstream-*.png screenshots of that run go to docs/screenshots/ by hand). Driven only with keys,
clicks, the tray icon and message boxes; judged only by what a user or the outside world sees:
window titles and states, the pages asked for, the files in the program folder, the settings."""

import functools, hashlib, http.server, itertools, os, shutil, subprocess, sys, tempfile, threading, time, traceback, zipfile

BUILD = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2])
BUILT_IN = "kestrelmoor://list"  # the address the list data is built for
SITE = os.path.join(BUILD, "share", "kestrelmoor-modlist", "listserver")  # where the build puts the site
WAIT = 30.0
MAIN = "^Kestrelmoor - Mod List - Quake2$"


class ListServer(http.server.SimpleHTTPRequestHandler):
    """Serves the site (its log goes to stderr); records each request path; can answer 404 to the archive."""
    requests, archive_missing = [], False

    def do_GET(self):
        ListServer.requests.append(self.path)
        if ListServer.archive_missing and self.path.endswith(".zip"):
            self.send_error(404, "Not here")
        else:
            super().do_GET()


def asked(page):
    return ListServer.requests.count("/kestrelmoor/modlist/" + page)


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


def rewrite(path, old, new):
    write(path, read(path, "rb").replace(old.encode(), new.encode()))


def settings():
    return read(os.path.join(os.environ["HOME"], ".config/kestrelmoor-modlist/modlist.ini")).lower()


def run(*args, check=True):
    return subprocess.run(args, capture_output=True, text=True, check=check).stdout


def wait_for(what, test, timeout=WAIT):
    end = time.time() + timeout
    while time.time() < end:
        value = test()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def wait_window(title, shown=True):
    """The id of the visible window whose title matches, or, with shown=False, waits until there is none."""
    find = lambda: run("xdotool", "search", "--onlyvisible", "--name", title, check=False).split()
    if shown:
        return wait_for("window " + title, find)[0]
    wait_for(title + " to close", lambda: not find())


def key(*keys, window=None):
    """Presses keys as the keyboard does, into `window` made active first. Keys reach the program in order."""
    if window:
        subprocess.run(["xdotool", "windowactivate", "--sync", window], check=False)
        wait_for("window %s active" % window, lambda: run("xdotool", "getactivewindow", check=False).strip() == window)
    run("xdotool", "key", "--clearmodifiers", *keys)


def geometry(window):
    """Left, top (of the client area, on the screen), width and height of a window."""
    info, fields = run("xwininfo", "-id", window), ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
    return tuple(int(info.split(field + ":")[1].split()[0]) for field in fields)


def click(x, y, button=1):
    run("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))


def program_windows():
    """The program's mapped windows, menus included."""
    return set(run("xdotool", "search", "--onlyvisible", "--class", "kestrelmoor", check=False).split())


def click_tray(button=1):
    """The icon in the notification area at the top right; the right button waits for its menu."""
    before = program_windows()
    click(int(run("xdotool", "getdisplaygeometry").split()[0]) - 11, 11, button)
    if button == 3:
        wait_for("the tray menu", lambda: program_windows() - before)


def drag(x, y, to_x, to_y, what, moved):
    """Drags with the left button, nudging the pointer at the end until `moved()` holds: a window manager takes a move
    over only some time after the press."""
    run("xdotool", "mousemove", "--sync", str(x), str(y), "mousedown", "1")
    for i in range(1, 11):
        run("xdotool", "mousemove", "--sync", str(x + (to_x - x) * i // 10), str(y + (to_y - y) * i // 10))
    nudge = itertools.cycle((1, 0))
    wait_for(what, lambda: moved() or run("xdotool", "mousemove", "--sync", str(to_x + next(nudge)), str(to_y)) == "x")
    run("xdotool", "mouseup", "1")


def screen():
    return hashlib.sha256(subprocess.run(["import", "-window", "root", "rgb:-"], capture_output=True).stdout).digest()


def settled(before=None):
    """Waits until the screen differs from `before` (a screen() value), if given, and then holds still."""
    last = [before]

    def still():
        now, previous = screen(), last[0]
        last[0] = now
        return now != before and now == previous
    wait_for("the screen to settle", still)


def wm_state(window):
    return run("xprop", "-id", window, "_NET_WM_STATE", check=False)


def frame(window):
    """Left, top, right and bottom (exclusive) of a window with the frame the window manager gave it."""
    x, y, width, height = geometry(window)
    extents = wait_for("the frame", lambda: run("xprop", "-id", window, "_NET_FRAME_EXTENTS", check=False).partition("=")[2])
    left, right, top, bottom = (int(v) for v in extents.split(","))
    return x - left, y - top, x + width + right, y + height + bottom


def fits_the_screen(window):
    """Whether the whole frame, title bar included, lies within the screen's free area."""
    area = [int(v) for v in run("xprop", "-root", "_NET_WORKAREA").split("=")[1].split(",")[:4]]
    left, top, right, bottom = frame(window)
    return left >= area[0] and top >= area[1] and right <= area[0] + area[2] and bottom <= area[1] + area[3]


steps = itertools.count(1)


def shot(name, window=None):
    """The screen, numbered by step; or a window with its frame, as a store shows the program."""
    if window:
        return run("import", "-frame", "-window", window, os.path.join(OUT, "appstream-%s.png" % name))
    subprocess.run(["import", "-window", "root", os.path.join(OUT, "%02d-%s.png" % (next(steps), name))])


def colour_count(window, colour):
    """How many pixels of the window have the colour (#RRGGBB)."""
    png = subprocess.run(["import", "-window", window, "png:-"], capture_output=True, check=True).stdout
    histogram = subprocess.run(["convert", "-", "-format", "%c", "histogram:info:-"], input=png, capture_output=True, check=True)
    return sum(int(line.split(":")[0]) for line in histogram.stdout.decode().splitlines() if colour.upper() in line.upper())


def answer(title, keys, shot_name):
    """Waits for a message box or dialog, shows it, answers it with keys and sees it close."""
    box = wait_window(title)
    shot(shot_name)
    key(keys, window=box)
    wait_window(title, shown=False)


def open_from_filter(main, text, shot_name=None):
    """Types into the filter field, goes down into the tree and opens the first link there."""
    key("ctrl+k", window=main)
    run("xdotool", "type", "--delay", "40", text)
    if shot_name:
        settled()
        shot(shot_name)
    key("Return")
    key("Return")


def update_succeeds(main, program_dir, page, shot_name):
    """Update list: success, a new list and the archive's pages, no archive left, the date stamped."""
    assert not os.path.exists(os.path.join(program_dir, "q2modlist.dat"))
    key("ctrl+u", window=main)
    answer("^Mod List$", "Return", shot_name)
    for name in ("q2modlist.dat", os.path.join("mods", page)):
        assert os.path.exists(os.path.join(program_dir, name)), name + " missing after the update"
    assert not os.path.exists(os.path.join(program_dir, "tempor.zip")), "tempor.zip left behind"
    assert "update=" + time.strftime("%m-%d-%Y") in settings(), "update date not stamped: " + settings()


def journey(server, program_dir, program):
    # Start, maximised as the options say: the caption and the start page.
    main = wait_window(MAIN)
    wait_for("the start page", lambda: asked("welcome.htm"))
    wait_for("the maximised start", lambda: all("_NET_WM_STATE_MAXIMIZED_" + way in wm_state(main) for way in ("VERT", "HORZ")))
    settled()
    shot("started")

    # The line between the tree and the page moves, and its place is kept (checked after Close).
    # Its handle stands right of the 170-pixel tree column where the settings left it.
    x, y = geometry(main)[:2]
    before = screen()
    drag(x + 172, y + 300, x + 320, y + 300, "the tree column to widen", lambda: screen() != before)
    settled()
    shot("tree-widened")

    # A link node, found with the filter field: type, go down into the tree, open it.
    open_from_filter(main, "rocket arena", "filtered")
    wait_for("the mod page", lambda: asked("mods/rocketarena2.htm"))
    shot("mod-page")
    # Clear the filter again (the whole tree is back) and go on in the tree.
    key("ctrl+k", window=main)
    key("Escape")
    key("Tab")

    # Add to favourites, then show the remote control from the tray menu.
    key("ctrl+d")
    click_tray(3)
    shot("tray-menu")
    key("s")
    remote = wait_window("^DorOdor - remote control$")
    assert "_NET_WM_STATE_ABOVE" in wm_state(remote), "the remote control is not on top: " + wm_state(remote)
    shot("remote-control")

    # Pick the favourite (the first entry of the list): the page is asked for again.
    before = asked("mods/rocketarena2.htm")
    x, y = geometry(remote)[:2]
    click(x + 30, y + 29)
    wait_for("the favourite's page", lambda: asked("mods/rocketarena2.htm") > before)
    shot("favourite-opened")

    # A modal dialog opens above the remote control, which can still be moved.
    # The remote control goes where the dialog will half cover it.
    drag(x + 20, y + 8, 400, 250, "the remote control to move", lambda: geometry(remote)[:2] != (x, y))
    key("ctrl+shift+b", window=main)
    dialog = wait_window("^Configure favourites$")

    def stacking():  # bottom to top
        return [str(int(w.strip(), 16)) for w in run("xprop", "-root", "_NET_CLIENT_LIST_STACKING").split("#", 1)[1].split(",")]
    wait_for("the dialog above the remote control", lambda: stacking().index(dialog) > stacking().index(remote))
    settled()
    shot("dialog-over-remote-control")
    x, y = geometry(remote)[:2]
    drag(x + 20, y + 8, x + 20 - 300, y + 8 + 100, "the remote control to move while the dialog is open",
         lambda: geometry(remote)[:2] != (x, y))
    shot("remote-control-moved")
    key("alt+c", window=dialog)
    wait_window("^Configure favourites$", shown=False)

    # The fullscreen window opens in the window manager's full screen, above the tray, and returns.
    key("F11", window=main)
    full = wait_window("^Kestrelmoor - Fullscreen$")
    wait_for("the full screen state", lambda: "_NET_WM_STATE_FULLSCREEN" in wm_state(full))
    size = tuple(int(v) for v in run("xdotool", "getdisplaygeometry").split())
    wait_for("the fullscreen window to fill the screen", lambda: geometry(full)[2:] == size)
    settled()
    shot("fullscreen")
    key("Escape", window=full)
    wait_window("^Kestrelmoor - Fullscreen$", shown=False)

    # Find a mod by its text, then open what was found with Enter in the tree.
    key("ctrl+f", window=main)
    find = wait_window("^Find$")
    subprocess.run(["xdotool", "windowactivate", "--sync", find], check=False)
    run("xdotool", "type", "--delay", "40", "gloom")
    key("Return", window=find)
    answer("^Find$", "Escape", "found")
    key("Return", window=main)
    wait_for("the found mod's page", lambda: asked("mods/gloom.htm"))

    # Update list: success, new list files, no archive left, the date stamped.
    update_succeeds(main, program_dir, "gloom.htm", "updated")
    assert read(os.path.join(program_dir, "mods.dat"), "rb").startswith(b"[ValidHeader]\r\n")

    # Update list against a server without the archive, then Cancel: files unchanged.
    files = [os.path.join(program_dir, name) for name in ("q2modlist.dat", "mods.dat")]
    hashes = [hashlib.sha256(read(path, "rb")).digest() for path in files]
    ListServer.archive_missing = True
    key("ctrl+u", window=main)
    answer("^Connection Error$", "Escape", "connection-error")
    assert [hashlib.sha256(read(path, "rb")).digest() for path in files] == hashes, "a failed update changed the list"
    assert not os.path.exists(os.path.join(program_dir, "tempor.zip"))

    # Minimise: the window hides in the tray; a click on the icon brings it back.
    run("xdotool", "windowminimize", main)
    wait_window(MAIN, shown=False)
    shot("hidden")
    click_tray()
    wait_window(MAIN)
    shot("restored")

    # "&Close" in the tray menu ends the program, which saves the favourite.
    click_tray(3)
    key("c")
    wait_for("the program to end", lambda: program.poll() is not None)
    favs = read(os.path.join(program_dir, "favs.dat"), "rb")
    assert favs == b"Rocket Arena 2\r\n%s/kestrelmoor/modlist/mods/rocketarena2.htm\r\n" % server.encode(), "favs.dat: %r" % favs
    width = int(settings().split("treewidth=")[1].split()[0]) if "treewidth=" in settings() else 0
    assert width > 2415 + 1500, "the tree's width was not kept: %d twips" % width


def built_in_list(program_dir):
    """No server configured: the program serves its own list, without a network."""
    main = wait_window(MAIN)
    # A first start: two thirds of the screen's free area, centred, the whole frame on the screen.
    wait_for("the first size", lambda: geometry(main)[2] >= 800 and geometry(main)[3] >= 600)
    assert fits_the_screen(main), "the window's frame leaves the screen: %s" % (frame(main),)
    left, top, right, bottom = frame(main)
    display = [int(v) for v in run("xdotool", "getdisplaygeometry").split()]
    assert abs(left + right - display[0]) <= 40 and abs(top + bottom - display[1]) <= 40, "not centred: %s" % (frame(main),)
    shot("first-start")
    run("xdotool", "windowsize", "--sync", main, "1000", "640", check=False)
    # The start page's background (#f6f5f1) fills the view; an error page has none of it.
    wait_for("the built-in start page", lambda: colour_count(main, "#F6F5F1") > 50000)
    shot("built-in-started")
    shot("start-page", main)
    before = screen()
    open_from_filter(main, "rocket arena")
    settled(before)
    shot("mod-page", main)
    key("ctrl+k", window=main)
    key("Escape")
    key("Tab")
    update_succeeds(main, program_dir, "yamagiquake2.htm", "built-in-updated")
    # A mod that only the new list has (in its new folder, Source ports).
    before = screen()
    open_from_filter(main, "yamagi")
    settled(before)
    shot("list-updated", main)


def fresh_program(folder, home):
    """A fresh copy of the built program with the built-in site beside it, as installed, and a fresh HOME."""
    program_dir = os.path.join(folder, "program")
    os.makedirs(program_dir)
    for name in ("kestrelmoor-modlist", "defmodlist.dat", "mods.dat"):
        shutil.copy2(os.path.join(BUILD, "program", name), program_dir)
    shutil.copytree(SITE, os.path.join(folder, "share", "kestrelmoor-modlist", "listserver"))
    os.makedirs(home)
    os.environ.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local/share"))
    return program_dir


def start(program_dir, log_name, cwd):
    with open(os.path.join(OUT, log_name), "w") as log:
        return subprocess.Popen([os.path.join(program_dir, "kestrelmoor-modlist")], cwd=cwd, stdout=log, stderr=subprocess.STDOUT)


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    scratch, processes, server = tempfile.mkdtemp(prefix="kml-e2e-"), [], None
    try:
        # The list server's content, pointing at this server, with an archive whose list does too.
        site = os.path.join(scratch, "site")
        shutil.copytree(SITE, site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(ListServer, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = "http://127.0.0.1:%d" % server.server_address[1]
        modlist = os.path.join(site, "kestrelmoor", "modlist")
        rewrite(os.path.join(modlist, "mods.dat"), BUILT_IN, base)
        with zipfile.ZipFile(os.path.join(modlist, "q2modlist.zip")) as archive:
            entries = [(entry, archive.read(entry)) for entry in archive.infolist()]
        with zipfile.ZipFile(os.path.join(modlist, "q2modlist.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
            for entry, data in entries:
                listed = entry.filename == "q2modlist.dat"
                archive.writestr(entry, data.replace(BUILT_IN.encode(), base.encode()) if listed else data)

        # A fresh program folder whose lists and listserver.ini name this server, and a
        # fresh HOME whose user starts with the window maximised.
        program_dir = fresh_program(os.path.join(scratch, "served"), os.path.join(scratch, "home"))
        for name in ("defmodlist.dat", "mods.dat"):
            rewrite(os.path.join(program_dir, name), BUILT_IN, base)
        write(os.path.join(program_dir, "listserver.ini"), "ListServer=%s\nSiteAddress=%s/kestrelmoor/\n" % (base, base))
        settings_dir = os.path.join(os.environ["HOME"], ".config", "kestrelmoor-modlist")
        os.makedirs(settings_dir)
        write(os.path.join(settings_dir, "modlist.ini"), "[ndorodor]\nnoptions\\nmaximized=1\nnoptions\\ntreewidth=2550\n")
        os.environ["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        os.environ.pop("QT_QPA_PLATFORM", None)

        # The desktop: a window manager and a notification area at the top right.
        processes.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        # A notification area started before the window manager has its theme may never be shown.
        wait_for("the window manager", lambda: "=" in run("xprop", "-root", "_OB_THEME", check=False))
        with open(os.path.join(OUT, "trayer.log"), "w") as log:
            processes.append(subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                               "--height", "22"], stdout=log, stderr=subprocess.STDOUT))
        wait_for("the notification area", lambda: processes[-1].poll() is not None or
                 run("xdotool", "search", "--onlyvisible", "--class", "trayer", check=False))
        assert processes[-1].poll() is None, "trayer ended: " + read(os.path.join(OUT, "trayer.log"))

        processes.append(start(program_dir, "program.log", scratch))
        journey(base, program_dir, processes[-1])
        server.shutdown()
        server = None

        # Again, fresh, with no list server configured and none running.
        program_dir = fresh_program(os.path.join(scratch, "built-in"), os.path.join(scratch, "home2"))
        processes.append(start(program_dir, "program-built-in.log", scratch))
        built_in_list(program_dir)
        processes[-1].terminate()
        processes[-1].wait(WAIT)

        # At scale factor 2 the screen is half as large to the program: the whole frame still fits.
        program_dir = fresh_program(os.path.join(scratch, "scaled"), os.path.join(scratch, "home3"))
        os.environ["QT_SCALE_FACTOR"] = "2"
        processes.append(start(program_dir, "program-scaled.log", scratch))
        del os.environ["QT_SCALE_FACTOR"]
        main = wait_window(MAIN)
        settled()
        shot("scaled")
        assert fits_the_screen(main), "at scale factor 2 the window's frame leaves the screen: %s" % (frame(main),)
        processes[-1].terminate()
        processes[-1].wait(WAIT)
        print("journey passed")
        return 0
    except Exception:
        traceback.print_exc()
        shot("failure")
        print("journey failed; screenshots and logs are in " + OUT)
        return 1
    finally:
        for process in processes:
            if process.poll() is None:
                process.kill()
        if server:
            server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
