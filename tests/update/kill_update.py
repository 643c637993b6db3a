#!/usr/bin/env python3
"""`kestrelmoor-modlist --update` killed with SIGKILL at several moments of an
update; the next start (another --update, against a server that now fails) must
find the program folder wholly old or wholly new, with nothing left behind.
Then: one program per folder.

Usage: kill_update.py PROGRAM
"""

import http.server
import io
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

PROGRAM = os.path.abspath(sys.argv[1])
PAGES = 3000  # in 300 folders: putting them in place takes a while


def catalogue(base, version):
    return ("[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n%s/kestrelmoor/modlist/q2modlist.zip\r\n"
            "q2modlist\r\nwelcome-%s.htm\r\n" % (base, version)).encode()


def pages(version):
    files = {"q2modlist.dat": ("[ValidHeader]\r\nMods\r\n---\r\nMods?%s?http://m/1\r\n" % version).encode()}
    for i in range(PAGES):
        files["mods/f%d/page%d.htm" % (i % 300, i)] = ("<html>%s %d</html>" % (version, i)).encode() * 20
    if version == "new":
        files["added/more/page.htm"] = b"<html>added</html>"
    return files


def archive(files):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in sorted(files.items()):
            z.writestr(name, content)
    return data.getvalue()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    mode = "serve"  # "serve", "drip" (the archive in slow pieces) or "fail"
    sent = 0


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        if server.mode == "fail":
            self.send_error(503)
            return
        body = server.catalogue if self.path.endswith("/mods.dat") else server.archive
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            if server.mode == "drip" and body is server.archive:
                for at in range(0, len(body), 4096):
                    self.wfile.write(body[at:at + 4096])
                    self.wfile.flush()
                    server.sent = at
                    time.sleep(0.01)
            else:
                self.wfile.write(body)
        except OSError:
            pass


def snapshot(folder):
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in files + dirs:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, folder)
            if rel in (".kml-lock", ".kml-validators"):
                continue
            out[rel] = "<folder>" if os.path.isdir(path) else open(path, "rb").read()
    return out


def expected(base, version):
    folder_state = {"mods.dat": catalogue(base, version)}
    for name, content in pages(version).items():
        parts = name.split("/")
        for i in range(1, len(parts)):
            folder_state["/".join(parts[:i])] = "<folder>"
        folder_state[name] = content
    return folder_state


def run(args, env, **kw):
    return subprocess.Popen([PROGRAM] + args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def wait_until(what, condition, timeout=60):
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            raise SystemExit("timed out waiting for " + what)


def main():
    scratch = tempfile.mkdtemp(prefix="kml-kill-")
    failures = []
    try:
        server = Server(("127.0.0.1", 0), Handler)
        base = "http://127.0.0.1:%d" % server.server_address[1]
        server.catalogue = catalogue(base, "new")
        server.archive = archive(pages("new"))
        threading.Thread(target=server.serve_forever, daemon=True).start()

        env = dict(os.environ, HOME=os.path.join(scratch, "home"), XDG_CONFIG_HOME=os.path.join(scratch, "config"))
        old_folder = os.path.join(scratch, "old")
        for name, content in expected(base, "old").items():
            path = os.path.join(old_folder, name)
            if content == "<folder>":
                os.makedirs(path, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                open(path, "wb").write(content)
        old, new = expected(base, "old"), expected(base, "new")
        folder = os.path.join(scratch, "program")
        args = ["--update", "--folder", folder, "--list-server", base]
        work = os.path.join(folder, ".kml-update")

        # (label, server mode, when to kill, what the next start must find)
        moments = [
            ("while the archive arrives", "drip", lambda: server.sent > len(server.archive) // 2, [old]),
            ("while it unpacks", "serve", lambda: os.path.isdir(work + "/staging/mods"), [old]),
            ("as the journal is written", "serve", lambda: os.path.exists(work + "/journal"), [new]),
        ] + [("%.3f s into putting files in place" % delay, "serve",
              lambda delay=delay: os.path.exists(work + "/journal") and (time.sleep(delay) or True), [new])
             for delay in (0.001, 0.005, 0.02, 0.05)] + [
            ("never", "serve", None, [new]),
        ]
        for label, mode, when, allowed in moments:
            shutil.rmtree(folder, ignore_errors=True)
            shutil.copytree(old_folder, folder)
            server.mode, server.sent = mode, 0
            child = run(args, env)
            if when:
                wait_until(label, lambda: when() or child.poll() is not None)
                child.send_signal(signal.SIGKILL)
            child.communicate()
            killed = child.returncode == -signal.SIGKILL
            cut = snapshot(folder)
            in_place = sum(1 for name, content in new.items() if content != "<folder>" and cut.get(name) == content)

            # The next start recovers first; the update itself then fails.
            server.mode = "fail"
            after = run(args, env)
            out, err = after.communicate()
            found = snapshot(folder)
            state = "old" if found == old else "new" if found == new else "a mix"
            said = (err.decode().strip().splitlines() or [""])[0]
            print("killed %s (%s, %d new files in place): the next start finds it %s; %s" %
                  (label, "killed" if killed else "it had ended", in_place, state, said))
            if found not in allowed:
                changed = sorted(k for k in set(found) | set(old) if found.get(k) != old.get(k))
                failures.append("%s: found %s (%d paths differ from the old list, e.g. %s)" %
                                (label, state, len(changed), changed[:3]))
            if after.returncode != 1 or os.path.exists(work) or os.path.exists(os.path.join(folder, "tempor.zip")):
                failures.append("%s: the next start left %s (status %d)" %
                                (label, sorted(os.listdir(folder)), after.returncode))

        # One program per folder: a second start shows the first one's window,
        # and --update waits for no window.
        gui = dict(env, QT_QPA_PLATFORM="offscreen", QTWEBENGINE_DISABLE_SANDBOX="1")
        first = run(["--folder", folder, "--list-server", base], gui)
        try:
            wait_until("the lock", lambda: os.path.exists(os.path.join(folder, ".kml-lock")))
            second = run(["--folder", folder], gui)
            second.communicate(timeout=30)
            update = run(args, env)
            _, update_err = update.communicate(timeout=30)
            if second.returncode != 0 or first.poll() is not None:
                failures.append("a second start: status %s, the first still runs: %s" %
                                (second.returncode, first.poll() is None))
            if update.returncode != 1 or b"running" not in update_err:
                failures.append("--update beside the window: status %d, %r" % (update.returncode, update_err))
        finally:
            first.terminate()
            first.communicate(timeout=30)
        server.shutdown()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
