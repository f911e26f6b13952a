"""Bringing a desk up and down: its Xorg server and its Wine prefix slot; the Wine session is in
wine.py.

Every wait is bounded: a helper that does not come up (Xorg, the wineserver, the session keeper)
ends the desk with a message naming it and the status 125, never a hang."""
import contextlib
import os
import pathlib
import shutil
import subprocess
import sys
import time

from .proc import (DeskError, FileLock, end_process, is_our_xorg, read_text, reap, run_bounded,
                   say, signals_held, stop_group, tail)
from .wine import WINE, WINESERVER, apply_registry, await_monitors, end_wine_session, start_keeper

LOCK_DIR = pathlib.Path("/tmp/.orvalen-desk-locks")
FIRST_DISPLAY, LAST_DISPLAY = 20, 199

# Seconds. Measured on this machine: wineboot ~10 s, Xorg ready in ~0.15 s; the limits leave room
# for both cores being busy with builds.
WINEBOOT_TIME = 300
COPY_TIME = 300
XORG_TIME = 20


class Paths:
    """Where a build tree keeps its desks (DIR/desk) and the tools the desk runs."""

    def __init__(self, build_dir):
        self.build = pathlib.Path(build_dir).resolve()
        self.build.mkdir(parents=True, exist_ok=True)
        self.desks = self.build / "desk" / "desks"
        self.prefixes = self.build / "desk" / "prefixes"
        # Absolute: Wine programs start in the desk's state directory.
        self.capture_tool = pathlib.Path(os.path.abspath(os.environ.get("ORVALEN_DBGCAPTURE")
                                                         or self.build / "bin" / "orvalen-dbgcapture.exe"))
        self.keeper_tool = pathlib.Path(os.path.abspath(os.environ.get("ORVALEN_DESK_KEEPER")
                                                        or self.build / "bin" / "orvalen-desk-keeper.exe"))


class Desk:
    """A desk's state directory: what `start` recorded there for exec, env, screenshot and stop."""

    def __init__(self, state):
        self.state = pathlib.Path(state)

    def file(self, name):
        return self.state / name

    def read(self, name):
        return read_text(self.state / name)

    def write(self, name, value):
        (self.state / name).write_text("%s\n" % value, encoding="utf-8")

    @property
    def display(self):
        return self.read("display")

    @property
    def prefix(self):
        return self.read("prefix")

    def xorg_alive(self):
        pid = self.read("xorg.pid")
        return pid.isdigit() and is_our_xorg(int(pid), self.display)

    def env(self, **more):
        return dict(os.environ, DISPLAY=":" + self.display, WINEPREFIX=self.prefix, **more)


def x_display_taken(n):
    return os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n)


# ---------------------------------------------------------------- the Wine prefix

def ensure_pristine(paths):
    """Makes the pristine prefix once per build tree; concurrent first runs wait for one another
    instead of booting twice."""
    paths.prefixes.mkdir(parents=True, exist_ok=True)
    pristine = paths.prefixes / "pristine"
    lock = FileLock(paths.prefixes / "pristine.lock")
    with lock.acquire(WINEBOOT_TIME + 60, "another desk creating the Wine prefix"):
        if (pristine / ".desk-ready").exists():
            return
        tmp = paths.prefixes / "pristine.tmp"
        shutil.rmtree(pristine, ignore_errors=True)
        shutil.rmtree(tmp, ignore_errors=True)
        say("creating the Wine prefix (once per build tree)")
        # DISPLAY stays unset: the prefix serves every layout, and each desk's session enumerates
        # its own monitors when its wineserver starts.
        env = dict(os.environ, DISPLAY="", WINEPREFIX=str(tmp))
        rc = run_bounded([WINE, "wineboot", "-i"], WINEBOOT_TIME, "wineboot -i (making the Wine prefix)",
                         cwd="/", env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
        if rc != 0:
            raise DeskError(125, "wineboot failed (exit status %d)" % rc)
        # wineboot leaves programs finishing the prefix: let them end on their own.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            run_bounded([WINESERVER, "-w"], WINEBOOT_TIME, "the Wine prefix's first session ending",
                        env=env, **quiet)
        except DeskError:
            end_wine_session(str(tmp))
            raise
        (tmp / ".desk-ready").touch()
        tmp.rename(pristine)


@contextlib.contextmanager
def prefix_slot(paths):
    """The first free prefix slot, locked, with its prefix made from the pristine one. Yields the
    lock (for Xorg to inherit) and the prefix."""
    ensure_pristine(paths)
    slot = 0
    lock = FileLock(paths.prefixes / "slot-0.lock")
    while not lock.try_acquire():
        slot += 1
        lock = FileLock(paths.prefixes / ("slot-%d.lock" % slot))
    with lock:
        prefix = paths.prefixes / ("slot-%d" % slot)
        if not (prefix / ".desk-ready").exists():
            tmp = paths.prefixes / ("slot-%d.tmp" % slot)
            shutil.rmtree(prefix, ignore_errors=True)
            shutil.rmtree(tmp, ignore_errors=True)
            say("copying the Wine prefix to slot %d (once per slot)" % slot)
            rc = run_bounded(["cp", "-a", str(paths.prefixes / "pristine"), str(tmp)], COPY_TIME,
                             "copying the Wine prefix")
            if rc != 0:
                raise DeskError(125, "cannot copy the Wine prefix")
            tmp.rename(prefix)
        yield lock, prefix


# ---------------------------------------------------------------- Xorg

@contextlib.contextmanager
def display_number(first):
    """A free X display number, locked. The lock only keeps two desks from picking the same number
    at once; Xorg's own lock file still decides, and start_xorg moves on when it lost."""
    LOCK_DIR.mkdir(exist_ok=True)
    for n in range(first, LAST_DISPLAY + 1):
        if x_display_taken(n):
            continue
        lock = FileLock(LOCK_DIR / ("display-%d.lock" % n))
        if not lock.try_acquire():
            continue
        with lock:
            if x_display_taken(n):
                continue
            yield n, lock
            return
    raise DeskError(125, "no free X display number")


def display_answers(n):
    if not os.path.exists("/tmp/.X11-unix/X%d" % n):
        return False
    try:
        return subprocess.run(["xdpyinfo", "-display", ":%d" % n], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=5).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def start_xorg(desk, layout, slot_lock):
    """Starts Xorg for LAYOUT. It inherits the display and prefix-slot locks, so they live exactly
    as long as the server. Records its pid and display in the desk."""
    conf = desk.file("xorg.conf")
    desk.file("xorg.conf.d").mkdir(exist_ok=True)
    conf.write_text(layout.xorg_config(), encoding="utf-8")
    first = FIRST_DISPLAY
    for _attempt in range(5):
        with display_number(first) as (n, display_lock), open(desk.file("xorg.out"), "wb") as out:
            try:
                # -sharevts/-novtswitch: never take over a virtual terminal of the machine's console.
                xorg = subprocess.Popen(
                    ["Xorg", ":%d" % n, "-noreset", "-nolisten", "tcp", "-sharevts", "-novtswitch",
                     "-config", str(conf), "-configdir", str(desk.file("xorg.conf.d")),
                     "-logfile", str(desk.file("xorg.log"))],
                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                    pass_fds=(display_lock.fd, slot_lock.fd))
            except OSError as error:
                raise DeskError(125, "cannot run Xorg: %s" % error)
            desk.write("xorg.pid", xorg.pid)
            desk.write("display", n)
            state = "starting"
            try:
                state = await_display(xorg, n)
            finally:
                if state != "up" and xorg.poll() is None:
                    end_process(xorg.pid, 2)
                    xorg.wait()
        if state == "up":
            return n
        if "already active" in desk.read("xorg.out") + desk.read("xorg.log"):
            first = n + 1
            continue
        log = tail(desk.file("xorg.log")) or desk.read("xorg.out")
        if log:
            print(log, file=sys.stderr)
        if state == "late":
            raise DeskError(125, "Xorg did not open display :%d within %d s" % (n, XORG_TIME))
        raise DeskError(125, "Xorg did not start on :%d (exit status %d)" % (n, xorg.returncode))
    raise DeskError(125, "Xorg did not start")


def await_display(xorg, n):
    """"up" once display N answers, "ended" when Xorg ends first, "late" when it is still silent
    after XORG_TIME seconds."""
    deadline = time.monotonic() + XORG_TIME
    while xorg.poll() is None:
        if display_answers(n):
            return "up"
        if time.monotonic() > deadline:
            return "late"
        time.sleep(0.05)
    return "ended"


def arrange_monitors(desk, layout):
    """Places a randr desk's outputs and sets the layout's work area. Wine reads the work area
    when its session starts, so this comes before the desk's first Wine program."""
    steps = [["xrandr"] + step for step in layout.xrandr_steps()]
    if layout.net_workarea():
        steps.append(["xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA",
                      layout.net_workarea()])
    for step in steps:
        with open(desk.file("arrange.out"), "ab") as out:
            rc = run_bounded(step, 10, " ".join(step), env=desk.env(),
                             stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        if rc != 0:
            print(desk.read("arrange.out"), file=sys.stderr)
            raise DeskError(125, "cannot arrange the monitors of the %s desk" % layout.name)


# ---------------------------------------------------------------- up and down

def bring_up(desk, paths, layout, dpi, theme):
    """Brings a desk up in its state directory and records it there. On failure the caller tears
    down what came up (tear_down finds it in the state directory)."""
    desk.state.mkdir(parents=True, exist_ok=True)
    with prefix_slot(paths) as (slot_lock, prefix):
        desk.write("prefix", prefix)
        display = start_xorg(desk, layout, slot_lock)
    desk.write("settings", settings_line(layout.name, dpi, theme))
    arrange_monitors(desk, layout)
    apply_registry(desk, layout, dpi, theme)
    start_keeper(desk, paths)
    await_monitors(desk, layout, paths)
    return display


def settings_line(layout, dpi, theme):
    return "layout=%s dpi=%s theme=%s" % (layout, dpi, theme)


def tear_down(state):
    """Ends the desk's command, Wine session and Xorg, and removes its state. Safe to call twice,
    and runs to its end whatever signal comes meanwhile (every step in it is bounded)."""
    desk = Desk(state)
    if not desk.state.is_dir():
        return
    with signals_held():
        command = desk.read("command.pid")
        stop_group(int(command) if command.isdigit() else 0)
        pid, display, prefix = desk.read("xorg.pid"), desk.display, desk.prefix
        # The state goes first: the watchdog of a `run` acts only while it still exists.
        shutil.rmtree(desk.state, ignore_errors=True)
        if prefix:
            end_wine_session(prefix)
        # Ending Xorg releases the display and prefix locks it holds, so it comes last.
        if pid.isdigit():
            end_process(int(pid), 5, lambda p: is_our_xorg(p, display))
            reap(int(pid))


def desk_of(paths, name):
    """The started desk NAME, whose Xorg still runs."""
    desk = Desk(paths.desks / name)
    if not desk.file("display").is_file():
        raise DeskError(1, "no desk named '%s' (scripts/desk start --name %s ...)" % (name, name))
    if not desk.xorg_alive():
        raise DeskError(1, "desk '%s' is gone (its Xorg ended); stop it and start it again" % name)
    return desk


def name_lock(paths, name):
    """Serialises start and stop of one named desk."""
    paths.desks.mkdir(parents=True, exist_ok=True)
    lock = FileLock(paths.desks / (".%s.lock" % name))
    return lock.acquire(WINEBOOT_TIME + 120, "another start or stop of '%s'" % name)
