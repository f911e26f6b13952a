"""The desk's Wine session: ending it, the registry settings each desk starts from, the session
keeper that holds it open, and waiting until Wine sees the layout's monitors."""
import contextlib
import os
import signal
import subprocess
import sys
import time

from .proc import DeskError, kill_group, read_text, run_bounded, say, tail

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# Seconds; a Wine program starts in under a second here, also with both cores busy with builds.
WINE_TIME = 60
WINESERVER_TIME = 30
KEEPER_TIME = 30
MONITORS_TIME = 20


def windows_path(path):
    """A Unix path as Wine sees it through its Z: drive (the whole Unix tree)."""
    return "Z:" + os.path.realpath(path).replace("/", "\\")


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
    status = _run_keeper_until_ready(desk, paths)
    if status is None:
        return
    # Seen once in a clean-clone run, with two desks coming up together: Wine ended the session's
    # first program with status 1 and no output, before it ran. That is Wine's start, not the
    # keeper's (which ends with 0 or 2), so it gets one more start in a fresh session.
    say("the session keeper ended with status %d before it was ready; starting it once more"
        % status)
    end_wine_session(desk.prefix)
    status = _run_keeper_until_ready(desk, paths)
    if status is not None:
        raise DeskError(125, "the session keeper %s ended with status %d before it was ready%s"
                        % (paths.keeper_tool, status, _log_lines(desk, "keeper.log")))


def _run_keeper_until_ready(desk, paths):
    """Starts the keeper and waits for its ready file: None once it is there, or the keeper's exit
    status when it ended first."""
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
                return keeper.returncode
            if time.monotonic() > deadline:
                raise DeskError(125, "the session keeper %s did not come up within %d s%s"
                                % (paths.keeper_tool, KEEPER_TIME, _log_lines(desk, "keeper.log")))
            time.sleep(0.05)
    except BaseException:
        kill_group(keeper.pid, signal.SIGKILL)
        keeper.wait()
        raise
    return None


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
