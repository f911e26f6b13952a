"""Bringing a desk up and down: its Xorg server, its Wine prefix slot and its Wine session.

Every wait is bounded: a helper that does not come up (Xorg, the wineserver, the session keeper)
ends the desk with a message naming it and the status 125, never a hang."""
import contextlib
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

from .proc import (DeskError, FileLock, end_process, is_our_xorg, kill_group, read_text,
                   reap, run_bounded, say, signals_held, stop_group, tail)

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
LOCK_DIR = pathlib.Path("/tmp/.orvalen-desk-locks")
FIRST_DISPLAY, LAST_DISPLAY = 20, 199

# Seconds. Measured on this machine: wineboot ~10 s, Xorg ready in ~0.15 s, a Wine program starts
# in under a second; the limits leave room for both cores being busy with builds.
WINEBOOT_TIME = 300
COPY_TIME = 300
XORG_TIME = 20
WINE_TIME = 60
WINESERVER_TIME = 30
KEEPER_TIME = 30
MONITORS_TIME = 20


class Paths:
    """Where a build tree keeps its desks (DIR/desk) and the tools the desk runs."""

    def __init__(self, build_dir):
        self.build = pathlib.Path(build_dir).resolve()
        self.build.mkdir(parents=True, exist_ok=True)
        self.desks = self.build / "desk" / "desks"
        self.prefixes = self.build / "desk" / "prefixes"
        self.capture_tool = pathlib.Path(os.environ.get("ORVALEN_DBGCAPTURE")
                                         or self.build / "bin" / "orvalen-dbgcapture.exe")
        self.keeper_tool = pathlib.Path(os.environ.get("ORVALEN_DESK_KEEPER")
                                        or self.build / "bin" / "orvalen-desk-keeper.exe")


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


def windows_path(path):
    """A Unix path as Wine sees it through its Z: drive (the whole Unix tree)."""
    return "Z:" + os.path.realpath(path).replace("/", "\\")


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
        end_wine_session(str(tmp))
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


def end_wine_session(prefix, required=False):
    """Ends the prefix's wineserver and every program in it, and waits until it is gone."""
    env = dict(os.environ, WINEPREFIX=str(prefix))
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        run_bounded([WINESERVER, "-k"], WINESERVER_TIME, "wineserver -k", **quiet)
        run_bounded([WINESERVER, "-w"], WINESERVER_TIME, "the wineserver of %s ending" % prefix, **quiet)
    except DeskError as error:
        if required:
            raise
        say("%s; killing its programs" % error.message)
        with contextlib.suppress(DeskError):
            run_bounded([WINESERVER, "-k9"], WINESERVER_TIME, "wineserver -k9", **quiet)


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
            # -sharevts/-novtswitch: never take over a virtual terminal of the machine's console.
            xorg = subprocess.Popen(
                ["Xorg", ":%d" % n, "-noreset", "-nolisten", "tcp", "-sharevts", "-novtswitch",
                 "-config", str(conf), "-configdir", str(desk.file("xorg.conf.d")),
                 "-logfile", str(desk.file("xorg.log"))],
                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                pass_fds=(display_lock.fd, slot_lock.fd))
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
        print(tail(desk.file("xorg.log")) or desk.read("xorg.out"), file=sys.stderr)
        if state == "late":
            raise DeskError(125, "Xorg did not open display :%d within %d s (log: %s)"
                            % (n, XORG_TIME, desk.file("xorg.log")))
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
    for step in layout.xrandr_steps():
        with open(desk.file("xrandr.out"), "ab") as out:
            rc = run_bounded(["xrandr"] + step, 10, "xrandr " + " ".join(step), env=desk.env(),
                             stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        if rc != 0:
            print(desk.read("xrandr.out"), file=sys.stderr)
            raise DeskError(125, "cannot arrange the monitors of the %s desk" % layout.name)


# ---------------------------------------------------------------- the Wine session

def apply_registry(desk, layout, dpi, theme):
    """Every desk starts from the same settings, whatever an earlier user of the prefix slot changed
    (a script's own "Managed" window frames for screenshots are removed again). They are imported
    with DISPLAY already on the desk, as the first Wine process fixes the display of its prefix's
    wineserver session; then the session ends so that the next one reads them."""
    theme_line = '"AppsUseLightTheme"=-' if theme == "none" else '"AppsUseLightTheme"=dword:%08x' % int(theme)
    # Xinerama desks need Wine's use of RandR and VidMode off; the RandR desk needs Wine's default.
    x11 = ('"UseXVidMode"=-\n"UseXRandR"=-' if layout.xorg == "randr"
           else '"UseXVidMode"="N"\n"UseXRandR"="N"')
    desk.file("desk.reg").write_text(
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n%s\n\"Managed\"=-\n\n"
        "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n\"LogPixels\"=dword:%08x\n\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize]\n%s\n\n"
        "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n\"ShowCrashDialog\"=dword:00000000\n"
        % (x11, dpi, theme_line), encoding="utf-8")
    # From the state dir: a reg.exe in the caller's directory would run instead of Wine's.
    with open(desk.file("reg.out"), "wb") as out:
        rc = run_bounded([WINE, "reg", "import", windows_path(desk.file("desk.reg"))], WINE_TIME,
                         "wine reg import (the desk's first Wine program: is its wineserver up?)",
                         cwd=desk.state, env=desk.env(WINEDEBUG="-all"), stdin=subprocess.DEVNULL,
                         stdout=out, stderr=subprocess.STDOUT)
    if rc != 0:
        print(desk.read("reg.out"), file=sys.stderr)
        raise DeskError(125, "cannot set the desk's registry values")
    end_wine_session(desk.prefix, required=True)


def start_keeper(desk, paths):
    """Starts the desk's Wine session with orvalen-desk-keeper.exe, whose standard handles are not
    the caller's pipes: the session's desktop and service processes inherit them and stay up
    between programs, so a caller reading a program's output is not kept waiting for the session
    to end. Without the keeper built, programs still run, only slower to start and to hand back
    their pipes."""
    if not paths.keeper_tool.is_file():
        return
    ready = desk.file("keeper.ready")
    with contextlib.suppress(FileNotFoundError):
        ready.unlink()
    with open(desk.file("keeper.log"), "wb") as log:
        keeper = subprocess.Popen([WINE, str(paths.keeper_tool), windows_path(ready)], cwd=desk.state,
                                  env=desk.env(), stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=subprocess.STDOUT, start_new_session=True)
    deadline = time.monotonic() + KEEPER_TIME
    try:
        while not (ready.exists() and ready.stat().st_size > 0):
            if keeper.poll() is not None:
                raise DeskError(125, "the session keeper %s ended with status %d before it was ready%s"
                                % (paths.keeper_tool, keeper.returncode, _log_lines(desk, "keeper.log")))
            if time.monotonic() > deadline:
                raise DeskError(125, "the session keeper %s did not come up within %d s%s"
                                % (paths.keeper_tool, KEEPER_TIME, _log_lines(desk, "keeper.log")))
            time.sleep(0.05)
    except BaseException:
        kill_group(keeper.pid, signal.SIGKILL)
        keeper.wait()
        raise


def _log_lines(desk, name):
    text = tail(desk.file(name), 10)
    return (":\n  " + text.replace("\n", "\n  ")) if text else ""


def await_monitors(desk, layout, paths):
    """Waits until a new Wine process sees the layout's monitors: after the prefix last ran another
    layout, Wine can take a few seconds to take up the RandR monitors of a randr desk. A running
    process keeps the monitors it saw at its start, so each look is a new process."""
    if not paths.keeper_tool.is_file():
        return
    want = str(len(layout.monitors))
    seen = ""
    answer = desk.file("monitors.txt")
    deadline = time.monotonic() + MONITORS_TIME
    while time.monotonic() < deadline:
        with contextlib.suppress(FileNotFoundError):
            answer.unlink()
        run_bounded([WINE, str(paths.keeper_tool), "--monitors", windows_path(answer)], WINE_TIME,
                    "a Wine program on the desk (orvalen-desk-keeper.exe --monitors)", cwd=desk.state,
                    env=desk.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
        seen = read_text(answer)
        if seen == want:
            return
        if layout.xorg == "randr":
            # A RandR query from a client makes the server probe its outputs and tell Wine of them.
            with contextlib.suppress(DeskError):
                run_bounded(["xrandr"], 10, "xrandr", env=desk.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
    say("Wine reports %s monitors, the layout has %s" % (seen or "no", want))


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
    return FileLock(paths.desks / (".%s.lock" % name)).acquire(WINEBOOT_TIME + 120, "another start or stop of '%s'" % name)
