#!/usr/bin/env python3
"""Usage: kill_install.py PROGRAM. `PROGRAM --install` killed with SIGKILL at moments from its start to its end, for a
new mod and for an upgrade; after the next run (`--installed`, which recovers) the mod is wholly the old version or
wholly the new one (none at all for a new mod), and no work folder is left."""

import io, os, pathlib, shutil, signal, subprocess, sys, tempfile, time, zipfile

PROGRAM = os.path.abspath(sys.argv[1])
FILES = 3000  # in 300 folders: putting them in place takes a while


def archive(version):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for i in range(FILES):
            z.writestr("KillMod/Maps/F%d/Map%d.BSP" % (i % 300, i), b"%s %d " % (version, i) * 40)
    return out.getvalue()


def state(mods):
    folder = pathlib.Path(mods, "killmod")
    if not folder.exists():
        return None
    versions = {path.read_bytes().split(b" ")[0] for path in folder.rglob("*.bsp")}
    count = sum(1 for _ in folder.rglob("*.bsp"))
    return (versions.pop() if len(versions) == 1 else versions, count)


def run(*args, env):
    return subprocess.run([PROGRAM, *args], env=env, capture_output=True, timeout=120)


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, HOME=work, QT_QPA_PLATFORM="offscreen")
        zips = {}
        for version in (b"old", b"new"):
            zips[version] = os.path.join(work, version.decode() + ".zip")
            pathlib.Path(zips[version]).write_bytes(archive(version))
        mods = os.path.join(work, "mods")
        for upgrade in (False, True):
            for delay_ms in (0, 10, 25, 50, 75, 100, 150, 200, 300, 500):
                shutil.rmtree(mods, ignore_errors=True)
                os.makedirs(mods)
                if upgrade and run("--install", zips[b"old"], "--mods-folder", mods, env=env).returncode != 0:
                    failures.append("the old version did not install")
                process = subprocess.Popen([PROGRAM, "--install", zips[b"new"], "--mods-folder", mods], env=env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(delay_ms / 1000)
                process.send_signal(signal.SIGKILL)
                process.wait()
                listed = run("--installed", "--mods-folder", mods, env=env)
                found = state(mods)
                allowed = [(b"old", FILES)] if upgrade else [None]
                allowed.append((b"new", FILES))
                leftovers = [p.name for p in pathlib.Path(mods).iterdir() if p.name.startswith(".kml-")]
                if found not in allowed or leftovers or listed.returncode != 0:
                    failures.append("%s killed after %d ms: %r, left %r, --installed said %r" % (
                        "upgrade" if upgrade else "install", delay_ms, found, leftovers, listed.stderr))
    for failure in failures:
        print(failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
