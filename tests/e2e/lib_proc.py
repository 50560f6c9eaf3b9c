"""Processes of the end-to-end tests and benchmarks: waiting on them by polling until a
deadline, ending them (SIGTERM, SIGKILL only past a deadline), an X server of their
own, and a system user of the test's own to run them as, each with a runtime directory
of its own as a desktop session gives one.

Run as a command it serves the shell rigs (lib.sh: e2e_user, e2e_as_user):

    lib_proc.py user NAME                     makes the system user NAME (as root)
    lib_proc.py as-user NAME RUNTIME [VAR=value ...] -- CMD...
                                              runs CMD as NAME (as root; as the caller
                                              otherwise) with only PATH, HOME and
                                              XDG_RUNTIME_DIR=RUNTIME (none for "-")
                                              and these variables
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


def stop(proc, limit=10, group=False, sig=signal.SIGTERM):
    """Ends proc (its process group with group) with sig, and with SIGKILL only when it
    has not gone within limit seconds, so that a server gives back what it holds."""
    if proc is None or proc.poll() is not None:
        return

    def send(s):
        try:
            os.killpg(proc.pid, s) if group else proc.send_signal(s)
        except ProcessLookupError:
            pass
    send(sig)
    try:
        proc.wait(limit)
    except subprocess.TimeoutExpired:
        send(signal.SIGKILL)
        proc.wait()


class Xvfb:
    """An X server of our own; its display number comes back through a pipe. popen
    (as_user's) runs it as another user, whose programs may then reach it."""

    def __init__(self, screen="1024x768x24", **popen):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **popen)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def close(self):
        stop(self.proc)


class User:
    """A system user of the test's own, made where it is missing (which needs root);
    remove() takes away only a user made here."""

    def __init__(self, name):
        self.name = name
        try:
            self.pw = pwd.getpwnam(name)
            self.made = False
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                            "--shell", "/usr/sbin/nologin", name], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
            self.pw = pwd.getpwnam(name)
            self.made = True

    def popen_args(self):
        """What subprocess.Popen needs to start a process as this user."""
        return dict(user=self.pw.pw_uid, group=self.pw.pw_gid, extra_groups=[])

    def own(self, path):
        """Hands a file or directory of the test's to the user."""
        os.chown(path, self.pw.pw_uid, self.pw.pw_gid)

    def env(self, runtime, base=None, **extra):
        """The environment of a process of this user's session: HOME and XDG_RUNTIME_DIR
        in runtime (a directory the user owns, mode 0700), the name and extra."""
        os.chmod(runtime, 0o700)
        self.own(runtime)
        env = dict(base if base is not None else os.environ, HOME=runtime,
                   XDG_RUNTIME_DIR=runtime, USER=self.name, **extra)
        for name in ("PULSE_SERVER", "PIPEWIRE_REMOTE", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(name, None)
        return env

    def remove(self):
        if self.made:
            subprocess.run(["userdel", self.name], capture_output=True)


def _as_user(argv):
    name, runtime, rest = argv[0], argv[1], argv[2:]
    cut = rest.index("--")
    extra = dict(v.split("=", 1) for v in rest[:cut])
    cmd = rest[cut + 1:]
    env = dict(PATH="/usr/bin:/bin", **extra)
    if os.geteuid() == 0:
        user = User(name)
        if runtime != "-":
            env = user.env(runtime, env)
        os.initgroups(name, user.pw.pw_gid)
        os.setgid(user.pw.pw_gid)
        os.setuid(user.pw.pw_uid)
    elif runtime != "-":
        env.update(HOME=runtime, XDG_RUNTIME_DIR=runtime)
    os.execvpe(cmd[0], cmd, env)


if __name__ == "__main__":
    if sys.argv[1:2] == ["user"]:
        try:
            User(sys.argv[2])
        except (subprocess.CalledProcessError, OSError) as e:
            skip(f"cannot make the user {sys.argv[2]}: {e}")
    elif sys.argv[1:2] == ["as-user"]:
        _as_user(sys.argv[2:])
    else:
        sys.exit(__doc__)
