#!/usr/bin/env python3
"""Usage: kill_update.py PROGRAM FAILRENAME. `PROGRAM --update` killed with SIGKILL at several moments of an update;
the next start (another --update, against a server that now fails) must find the program folder wholly old or wholly
new, with nothing left behind. The same when every rename fails from some point of putting files in place on (the
FAILRENAME library preloaded): the update says that the next start finishes it. Then: one program per folder, and the
window ended by SIGTERM (a logout, "kill") still writes its favourites."""

import http.server, io, os, pathlib, shutil, signal, subprocess, sys, tempfile, threading, time, zipfile

PROGRAM = os.path.abspath(sys.argv[1])
FAILRENAME = os.path.abspath(sys.argv[2])
PAGES = 3000  # in 300 folders: putting them in place takes a while


def files(base, version):
    """The catalogue, the list and its pages of one version."""
    out = {"mods.dat": ("[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n%s/kestrelmoor/modlist/q2modlist.zip\r\n"
                        "q2modlist\r\nwelcome-%s.htm\r\n" % (base, version)).encode(),
           "q2modlist.dat": ("[ValidHeader]\r\nMods\r\n---\r\nMods?%s?http://m/1\r\n" % version).encode()}
    out.update(("mods/f%d/page%d.htm" % (i % 300, i), b"<html>%s %d</html>" % (version.encode(), i) * 20)
               for i in range(PAGES))
    if version == "new":
        out["added/more/page.htm"] = b"<html>added</html>"
    return out


def expected(base, version):
    """The program folder, as snapshot() shows it, with the files of one version."""
    state = files(base, version)
    state.update({str(folder): "<folder>" for name in state for folder in pathlib.PurePath(name).parents if str(folder) != "."})
    return state


def snapshot(folder):
    return {str(path.relative_to(folder)): "<folder>" if path.is_dir() else path.read_bytes()
            for path in pathlib.Path(folder).rglob("*") if path.name not in (".kml-lock", ".kml-validators")}


class Handler(http.server.BaseHTTPRequestHandler):
    """The new catalogue and archive; server.mode "drip" sends the archive in slow pieces, "fail" answers 503."""

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        if server.mode == "fail":
            return self.send_error(503)
        body = server.catalogue if self.path.endswith("/mods.dat") else server.archive
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        piece = 4096 if server.mode == "drip" else len(body)
        try:
            for at in range(0, len(body), piece):
                self.wfile.write(body[at:at + piece])
                self.wfile.flush()
                server.sent = at
                time.sleep(0.01 if server.mode == "drip" else 0)
        except OSError:
            pass


def run(args, env):
    return subprocess.Popen([PROGRAM] + args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def wait_until(what, condition):
    deadline = time.time() + 60
    while not condition():
        if time.time() > deadline:
            raise SystemExit("timed out waiting for " + what)
        time.sleep(0.0005)


def main():
    scratch = tempfile.mkdtemp(prefix="kml-kill-")
    failures = []
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    base = "http://127.0.0.1:%d" % server.server_address[1]
    new_files = files(base, "new")
    server.catalogue, server.mode, server.sent = new_files.pop("mods.dat"), "serve", 0
    with io.BytesIO() as data:
        with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as archive:
            for name, content in sorted(new_files.items()):
                archive.writestr(name, content)
        server.archive = data.getvalue()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        env = dict(os.environ, HOME=os.path.join(scratch, "home"), XDG_CONFIG_HOME=os.path.join(scratch, "config"))
        old, new = expected(base, "old"), expected(base, "new")
        folder = os.path.join(scratch, "program")
        work = os.path.join(folder, ".kml-update")
        args = ["--update", "--folder", folder, "--list-server", base]

        def committing(delay):
            return lambda: os.path.exists(work + "/journal") and (time.sleep(delay) or True)

        # (label, server mode, when to kill, what the next start must find)
        moments = [("while the archive arrives", "drip", lambda: server.sent > len(server.archive) // 2, old),
                   ("while it unpacks", "serve", lambda: os.path.isdir(work + "/staging/mods"), old),
                   ("as the journal is written", "serve", committing(0), new)]
        moments += [("%.3f s into putting files in place" % delay, "serve", committing(delay), new)
                    for delay in (0.001, 0.005, 0.02, 0.05)] + [("never", "serve", None, new)]
        # Renames fail from the 40th on: the download, the staged catalogue and the journal are in place by then,
        # and a few files have moved; undoing them fails too.
        moments.append(("renames failing", "serve", "fail renames", new))
        for label, mode, when, allowed in moments:
            shutil.rmtree(folder, ignore_errors=True)
            for name, content in files(base, "old").items():
                pathlib.Path(folder, name).parent.mkdir(parents=True, exist_ok=True)
                pathlib.Path(folder, name).write_bytes(content)
            server.mode, server.sent = mode, 0
            failing = when == "fail renames"
            child = run(args, dict(env, LD_PRELOAD=FAILRENAME, KML_FAIL_RENAMEAT_FROM="40") if failing else env)
            if when and not failing:
                wait_until(label, lambda: when() or child.poll() is not None)
                child.kill()
            child_err = child.communicate()[1].decode()
            if failing and (child.returncode != 1 or "next start" not in child_err or "as it was" in child_err):
                failures.append("%s: status %d, %r" % (label, child.returncode, child_err))
            cut = snapshot(folder)
            in_place = sum(1 for name, content in new.items() if content != "<folder>" and cut.get(name) == content)

            # The next start recovers first; the update itself then fails.
            server.mode = "fail"
            after = run(args, env)
            err = after.communicate()[1].decode().strip()
            found = snapshot(folder)
            state = "old" if found == old else "new" if found == new else "a mix"
            print("killed %s (%s, %d new files in place): the next start finds it %s; %s" % (
                label, "killed" if child.returncode == -signal.SIGKILL else "it had ended", in_place, state,
                (err.splitlines() or [""])[0]))
            if found != allowed:
                failures.append("%s: the next start finds it %s" % (label, state))
            if after.returncode != 1 or os.path.exists(work) or os.path.exists(os.path.join(folder, "tempor.zip")):
                failures.append("%s: the next start left %s (status %d)" % (label, os.listdir(folder), after.returncode))

        # One program per folder: a second start shows the first one's window,
        # and --update waits for no window.
        # A folder whose name is not UTF-8 is refused for that reason, not as missing.
        odd = os.path.join(scratch.encode(), b"caf\xe9")
        os.mkdir(odd)
        refused = subprocess.run([PROGRAM, "--update", "--folder", odd], env=env, capture_output=True)
        if refused.returncode != 1 or b"UTF-8" not in refused.stderr:
            failures.append("a folder name that is not UTF-8: status %d, %r" % (refused.returncode, refused.stderr))

        # The socket lives in the user's private runtime folder, where no other user can take its name first.
        runtime = os.path.join(scratch, "run")
        os.mkdir(runtime, 0o700)
        gui = dict(env, QT_QPA_PLATFORM="offscreen", QTWEBENGINE_DISABLE_SANDBOX="1", XDG_RUNTIME_DIR=runtime)
        favs = os.path.join(folder, "favs.dat")
        pathlib.Path(favs).write_bytes(b"Arena pack\nhttp://127.0.0.1:9/a\n \n\n")
        first = run(["--folder", folder, "--list-server", base], gui)
        try:
            wait_until("the lock", lambda: os.path.exists(os.path.join(folder, ".kml-lock")))
            second = run(["--folder", folder], gui)
            second.communicate(timeout=30)
            update = run(args, env)
            update_err = update.communicate(timeout=30)[1]
            if not any(name.startswith("kestrelmoor-modlist-") for name in os.listdir(runtime)):
                failures.append("no socket in the runtime folder: %s" % os.listdir(runtime))
            if second.returncode != 0 or first.poll() is not None:
                failures.append("a second start: status %s, the first ended: %s" % (second.returncode, first.poll()))
            if update.returncode != 1 or b"running" not in update_err:
                failures.append("--update beside the window: status %d, %r" % (update.returncode, update_err))
        finally:
            # The second start was answered from the first one's event loop: its start-up, SIGTERM handler included, is done.
            first.terminate()
            first.communicate(timeout=30)
        if first.returncode != 0 or pathlib.Path(favs).read_bytes() != b"Arena pack\r\nhttp://127.0.0.1:9/a\r\n \r\n\r\n":
            failures.append("SIGTERM: status %d, favs.dat %r" % (first.returncode, pathlib.Path(favs).read_bytes()))
    finally:
        server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
