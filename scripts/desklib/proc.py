"""Locks, bounded child processes and signals for the desk."""
import contextlib
import fcntl
import os
import signal
import subprocess
import sys
import time


class DeskError(Exception):
    """Ends the desk command with `desk: MESSAGE` and the exit status CODE."""

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code
        self.message = message


class Stopped(Exception):
    """A signal asked the desk command to end, with this exit status."""

    def __init__(self, code):
        super().__init__(code)
        self.code = code


def say(message):
    print("desk: " + message, file=sys.stderr, flush=True)


class FileLock:
    """An exclusive flock on PATH for as long as the `with` block runs. Children given `fd` through
    pass_fds share the lock and keep it after this process lets go of it."""

    def __init__(self, path):
        self.path = path
        self.fd = None

    def try_acquire(self):
        while True:
            fd = os.open(self.path, os.O_WRONLY | os.O_CREAT | os.O_CLOEXEC, 0o666)
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                os.close(fd)
                return False
            # The holder before us may have removed the file (remove()): that lock guards nothing.
            try:
                same = os.stat(self.path).st_ino == os.fstat(fd).st_ino
            except FileNotFoundError:
                same = False
            if same:
                self.fd = fd
                return True
            os.close(fd)

    def remove(self):
        """Deletes the lock file while holding it, for a lock that is not needed any more."""
        with contextlib.suppress(FileNotFoundError):
            os.unlink(self.path)

    def acquire(self, timeout, holder):
        """Waits at most TIMEOUT seconds for the lock, then gives up naming what HOLDER holds it."""
        deadline = time.monotonic() + timeout
        while not self.try_acquire():
            if time.monotonic() > deadline:
                raise DeskError(125, "%s has held %s for more than %d s" % (holder, self.path, timeout))
            time.sleep(0.2)
        return self

    def release(self):
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def __enter__(self):
        if self.fd is None:
            raise RuntimeError("FileLock entered without the lock")
        return self

    def __exit__(self, *_):
        self.release()


def kill_group(pid, sig):
    try:
        os.killpg(pid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def run_bounded(argv, timeout, what, **kwargs):
    """Runs ARGV in a session of its own and returns its exit status. A child still running after
    TIMEOUT seconds is killed with everything it started, and the desk gives up (status 125)."""
    proc = subprocess.Popen(argv, start_new_session=True, **kwargs)
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        raise DeskError(125, "%s did not finish within %d s" % (what, timeout)) from None
    finally:
        if proc.returncode is None:
            kill_group(proc.pid, signal.SIGKILL)
            proc.wait()


def exit_status(returncode):
    """A child's exit status as a shell reports it (128 + N when signal N ended it)."""
    return 128 - returncode if returncode < 0 else returncode


def alive(pid):
    """True while PID runs (a zombie that no parent collected yet counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            return f.read().rsplit(b")", 1)[1].split()[0] != b"Z"
    except (OSError, IndexError):
        return False


def is_our_xorg(pid, display):
    """PID is the desk's Xorg on DISPLAY (and not some process that took over its number)."""
    try:
        with open("/proc/%d/cmdline" % int(pid), "rb") as f:
            command = f.read().replace(b"\0", b" ")
    except (OSError, ValueError):
        return False
    # /usr/bin/Xorg is a shell script that execs the server: either may be running under PID.
    return b"Xorg :%s " % str(display).encode() in command


def reap(pid):
    with contextlib.suppress(ChildProcessError, OSError):
        os.waitpid(pid, os.WNOHANG)


def end_process(pid, grace, still_ours=alive):
    """TERM, then KILL after GRACE seconds, for as long as still_ours(pid) holds."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if not still_ours(pid):
            return
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.kill(pid, sig)
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            reap(pid)
            if not still_ours(pid):
                return
            time.sleep(0.05)


def stop_group(pid, grace=2.0):
    """Stops a command started as a process group of its own: TERM to the group, KILL after GRACE."""
    if not pid or not alive(pid):
        return
    kill_group(pid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        reap(pid)
        if not alive(pid):
            return
        time.sleep(0.05)
    kill_group(pid, signal.SIGKILL)
    reap(pid)


@contextlib.contextmanager
def signals_stop():
    """INT and TERM end the command with 130 and 143 through the normal clean-up. Signals the
    caller ignored stay ignored, as a shell leaves them for its background jobs."""
    def stop(signum, _frame):
        raise Stopped(128 + signum)

    previous = {}
    for sig in (signal.SIGINT, signal.SIGTERM):
        if signal.getsignal(sig) is not signal.SIG_IGN:
            previous[sig] = signal.signal(sig, stop)
    try:
        yield
    finally:
        for sig, handler in previous.items():
            signal.signal(sig, handler)


@contextlib.contextmanager
def signals_held():
    """Clean-up runs to its end: a second Ctrl-C must not leave an Xorg behind. It is bounded."""
    previous = {sig: signal.signal(sig, signal.SIG_IGN) for sig in (signal.SIGINT, signal.SIGTERM)}
    try:
        yield
    finally:
        for sig, handler in previous.items():
            signal.signal(sig, handler)


def read_text(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().strip()
    except OSError:
        return ""


def tail(path, lines=20):
    text = read_text(path)
    return "\n".join(text.splitlines()[-lines:])
