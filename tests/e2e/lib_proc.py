"""Processes of the end-to-end tests and benchmarks: polling until a deadline, ending a
process (SIGTERM, SIGKILL only past a deadline), an X server of their own, and a system
user of the test's own to run them as, in a runtime directory of its own as a desktop
session has. For the shell rigs (lib.sh) it is a command too:

    lib_proc.py user NAME        makes the system user NAME where it is missing
    lib_proc.py as-user NAME RUNTIME [VAR=value ...] -- CMD...
        CMD as NAME (where run as root) with only PATH, the VARs, and HOME and
        XDG_RUNTIME_DIR in RUNTIME ("-" for none)
"""
import os
import pwd
import signal
import subprocess
import sys
import time

SKIP = 77  # ctest's code for a test that could not be run here


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def skip(reason):
    print("SKIP: " + reason, file=sys.stderr)
    sys.exit(SKIP)


def wait_until(predicate, limit, step=0.02):
    """Polls predicate until it holds or limit seconds pass; returns its last value."""
    end = time.monotonic() + limit
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


def stop(proc, limit=10, group=False):
    """Ends proc (with group, its process group) with SIGTERM, so that a server gives back
    what it holds, and with SIGKILL only if it has not gone within limit seconds."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if proc is None or proc.poll() is not None:
            return
        try:
            os.killpg(proc.pid, sig) if group else proc.send_signal(sig)
            proc.wait(limit)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            pass
    proc.wait()


class Xvfb:
    """An X server of our own, its display number read from a pipe; popen (User's
    popen_args) starts it as another user, whose programs may then reach it."""

    def __init__(self, screen="1024x768x24", **popen):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **popen)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()
        if self.display == ":":
            raise RuntimeError("Xvfb did not start")

    def close(self):
        stop(self.proc)


class User:
    """A system user of the test's own, made where it is missing (which needs root);
    remove() takes away only a user made here."""

    def __init__(self, name):
        self.name, self.made = name, False
        try:
            self.pw = pwd.getpwnam(name)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                            "--shell", "/usr/sbin/nologin", name], check=True)
            self.pw, self.made = pwd.getpwnam(name), True

    def popen_args(self):
        return dict(user=self.pw.pw_uid, group=self.pw.pw_gid, extra_groups=[])

    def env(self, runtime, base, **extra):
        """The environment of a process of the user's session, base and extra, with HOME
        and XDG_RUNTIME_DIR in runtime, which is handed to the user."""
        os.chmod(runtime, 0o700)
        os.chown(runtime, self.pw.pw_uid, self.pw.pw_gid)
        env = dict(base, HOME=runtime, XDG_RUNTIME_DIR=runtime, USER=self.name, **extra)
        for name in ("PULSE_SERVER", "PIPEWIRE_REMOTE", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(name, None)
        return env

    def remove(self):
        if self.made:
            subprocess.run(["userdel", self.name], capture_output=True)


def _as_user(name, runtime, *rest):
    cut = rest.index("--")
    env = dict(v.split("=", 1) for v in rest[:cut])
    env["PATH"] = "/usr/bin:/bin"
    if os.geteuid() == 0:
        user = User(name)
        env = env if runtime == "-" else user.env(runtime, env)
        os.initgroups(name, user.pw.pw_gid)
        os.setgid(user.pw.pw_gid)
        os.setuid(user.pw.pw_uid)
    elif runtime != "-":
        env.update(HOME=runtime, XDG_RUNTIME_DIR=runtime)
    os.execvpe(rest[cut + 1], rest[cut + 1:], env)


if __name__ == "__main__":
    if sys.argv[1:2] == ["user"]:
        User(sys.argv[2])
    elif sys.argv[1:2] == ["as-user"]:
        _as_user(*sys.argv[2:])
    else:
        sys.exit(__doc__)
