"""The virtual multi-monitor desk: a headless Xorg server (dummy driver) with a fixed monitor
layout, plus a Wine prefix of its own, for running Windows programs on several monitors.

Layouts come from scripts/desk-layouts.json (Windows coordinates as EnumDisplayMonitors reports
them; the primary is at 0,0):
  three       1920x1080 at -1920,0 | primary 1920x1080 at 0,0 | 1280x1024 at 1920,0
  three-workarea
              as three, with every work area ending at y 1040: a 40-pixel band along the bottom
              of the 1080-pixel monitors (set as the root window's _NET_WORKAREA)
  two         primary 1920x1080 at 0,0 | 1920x1080 at 1920,0
  stacked     primary 1920x1080 at 0,0 above 1920x1080 at 0,1080
  one         primary 1920x1080 at 0,0
  three-live  as three, but the monitors are RandR outputs of one X screen that can be switched
              off and on while programs run: DUMMY1 left, DUMMY0 primary, DUMMY2 right
              (scripts/desk output --name NAME DUMMY2 off)

run         starts a desk, runs COMMAND on it, always tears the desk down (also on failure, timeout
            or interrupt) and exits with COMMAND's exit code (124 on timeout, 125 when the desk
            itself could not be set up, 2 on bad usage).
start       starts a named desk that stays up until `stop` (idempotent for the same settings).
exec        runs COMMAND on a started desk.
env         prints `export DISPLAY=...` and `export WINEPREFIX=...` lines for a started desk.
screenshot  saves the whole desk as a picture.
output      switches a RandR output of a started three-live desk off, or on again at its mode and
            place in the layout, as a monitor unplugged or powered down and back, then
            broadcasts WM_DISPLAYCHANGE once Wine reports the new monitors. Windows sends it after
            every change of displays; Wine 8 only after ChangeDisplaySettingsEx, so on its own it
            would leave every window unaware of the change (orvalen-desk-keeper --display-change).
stop        ends a named desk (nothing to do when it is not up).

COMMAND ending in .exe runs under /usr/lib/wine/wine64. With --capture debugger (the default) it
runs under orvalen-dbgcapture.exe, which records every OutputDebugString event; its stdout and
stderr pass through. Any other COMMAND runs as a Linux program with DISPLAY, WINEPREFIX, WINEDEBUG,
ORVALEN_DESK_NAME and ORVALEN_DESK_BUILD exported, so a script can drive the desk itself
(`scripts/desk exec --name "$ORVALEN_DESK_NAME" -- app.exe`, xdotool, import, ...).

--debug-out FILE: one line per OutputDebugString event, exactly its text, with these escapes so
that one event stays one line: backslash -> \\\\, LF -> \\n, CR -> \\r, TAB -> \\t, other control
bytes -> \\xHH. Lines end in LF. Each line is in the file before the program's OutputDebugString
call returns (the debugger writes it while the program is stopped), so a test can read it live.

Why a debugger rather than WINEDEBUG=+debugstr: Wine's trace cuts strings after about 300 bytes,
escapes them its own way and interleaves them with the program's stderr, where a line the program
leaves unfinished merges with the trace. The debugger gets each event whole and separate. The
child then sees IsDebuggerPresent() true; it shares the tool's (window-less) console, so a program
that opens a console when it has a debugger but no parent console opens none here (run the tool
yourself with --no-console, under --capture none, to start a program with a debugger and no console).
--capture none runs the program directly (no debugger, no debug output).

--build DIR is the windows build tree (default: build/windows, or $ORVALEN_DESK_BUILD): the Wine
prefixes are cached in DIR/desk/prefixes (a pristine one made once with wineboot, copied to a slot
per concurrently running desk; each slot is locked by the desk using it), and the tools are
DIR/bin/orvalen-dbgcapture.exe and DIR/bin/orvalen-desk-keeper.exe (which holds the desk's Wine
session open, so programs start fast and their pipes close when they end; $ORVALEN_DBGCAPTURE and
$ORVALEN_DESK_KEEPER name others). Display numbers start at 20; a lock per number keeps two desks
apart. Each desk's registry settings are applied afresh when it starts. WINEDEBUG defaults to -all
(set it in the environment to see Wine's messages). --timeout 0 lets COMMAND run without a limit;
the desk's own helpers always have one, and one that does not come up ends the desk with 125.
"""
import argparse
import os
import pathlib
import random
import re
import shlex
import subprocess
import sys

from . import layouts
from .desk import Desk, Paths, bring_up, desk_of, name_lock, settings_line, tear_down
from .wine import WINE, WINE_TIME, windows_path
from .proc import DeskError, Stopped, exit_status, run_bounded, say, signals_stop, stop_group

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
USAGE = """scripts/desk run --layout L [--dpi N] [--theme 0|1|none] [--debug-out FILE]
                        [--timeout S] [--capture debugger|none] [--build DIR] -- COMMAND [ARGS...]
       scripts/desk start --layout L [--dpi N] [--theme 0|1|none] [--build DIR] --name NAME
       scripts/desk exec --name NAME [--debug-out FILE] [--timeout S] [--capture debugger|none]
                         [--build DIR] -- COMMAND [ARGS...]
       scripts/desk env --name NAME [--build DIR]
       scripts/desk screenshot --name NAME [--build DIR] FILE.png
       scripts/desk output --name NAME [--build DIR] OUTPUT on|off
       scripts/desk stop --name NAME [--build DIR]"""


def whole_number(what):
    def parse(text):
        if not re.fullmatch(r"[0-9]+", text):
            raise argparse.ArgumentTypeError("takes %s" % what)
        return int(text)
    return parse


def desk_name(text):
    # The name becomes a directory that `stop` removes: no separators, no leading dot.
    if not re.fullmatch(r"[A-Za-z0-9_-][A-Za-z0-9_.-]*", text):
        raise argparse.ArgumentTypeError("takes letters, digits, '_', '.' and '-', not first '.'")
    return text


def make_parser():
    parser = argparse.ArgumentParser(prog="scripts/desk", usage=USAGE, description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    build = argparse.ArgumentParser(add_help=False)
    build.add_argument("--build", metavar="DIR", help="the windows build tree",
                       default=os.environ.get("ORVALEN_DESK_BUILD") or str(ROOT / "build" / "windows"))
    settings = argparse.ArgumentParser(add_help=False)
    settings.add_argument("--layout", required=True, help="a layout of scripts/desk-layouts.json")
    settings.add_argument("--dpi", type=whole_number("a number of dots per inch"), default=96)
    settings.add_argument("--theme", choices=["0", "1", "none"], default="none",
                          help="AppsUseLightTheme: 0 dark, 1 light, none absent")
    command = argparse.ArgumentParser(add_help=False)
    command.add_argument("--debug-out", metavar="FILE", help="the program's OutputDebugString lines")
    command.add_argument("--timeout", type=whole_number("whole seconds"), default=600,
                         help="seconds COMMAND may run (default 600)")
    command.add_argument("--capture", choices=["debugger", "none"], default="debugger")
    named = argparse.ArgumentParser(add_help=False)
    named.add_argument("--name", type=desk_name, required=True)

    sub = parser.add_subparsers(dest="command_name", metavar="COMMAND", required=True)
    for name, parents, run, text in [
            ("run", [settings, command, build], cmd_run, "run COMMAND on a desk of its own"),
            ("start", [settings, named, build], cmd_start, "start a named desk"),
            ("exec", [named, command, build], cmd_exec, "run COMMAND on a started desk"),
            ("env", [named, build], cmd_env, "print the DISPLAY and WINEPREFIX of a started desk"),
            ("screenshot", [named, build], cmd_screenshot, "save the whole desk as a picture"),
            ("output", [named, build], cmd_output, "switch a monitor of a live desk off or on"),
            ("stop", [named, build], cmd_stop, "stop a named desk")]:
        p = sub.add_parser(name, parents=parents, help=text, description=text)
        p.set_defaults(run=run, takes_command=run in (cmd_run, cmd_exec))
        if name == "screenshot":
            p.add_argument("file", metavar="FILE.png")
        if name == "output":
            p.add_argument("output", metavar="OUTPUT", help="a RandR output of the layout, e.g. DUMMY2")
            p.add_argument("state", choices=["on", "off"])
    return parser


def main(argv):
    # Everything after the first `--` is the command, options of its own included.
    split = argv.index("--") if "--" in argv else len(argv)
    parser = make_parser()
    args = parser.parse_args(argv[:split])
    args.argv = argv[split + 1:]
    if args.argv and not args.takes_command:
        parser.error("%s takes no command" % args.command_name)
    os.environ.setdefault("WINEDEBUG", "-all")
    # No Mono/Gecko installers: they would try to download and wait on a dialog.
    os.environ.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    try:
        paths = Paths(args.build)
        with signals_stop():
            return args.run(args, paths)
    except DeskError as error:
        say(error.message)
        return error.code
    except Stopped as stop:
        return stop.code


def layout_of(args):
    try:
        table = layouts.load()
    except layouts.LayoutError as error:
        raise DeskError(125, str(error))
    if args.layout not in table:
        raise DeskError(2, "unknown layout '%s' (%s)" % (args.layout, ", ".join(table)))
    return table[args.layout]


def cmd_run(args, paths):
    if not args.argv:
        raise DeskError(2, "run needs a command after --")
    layout = layout_of(args)
    name = "run-%d-%d" % (os.getpid(), random.randrange(1 << 15))
    desk = Desk(paths.desks / name)
    try:
        bring_up(desk, paths, layout, args.dpi, args.theme)
        # If this process is killed outright (no clean-up runs), a watchdog in its own session
        # still ends the desk once this process is gone.
        subprocess.Popen([sys.executable, str(pathlib.Path(__file__).with_name("watchdog.py")),
                          str(os.getpid()), str(desk.state)], start_new_session=True,
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return exec_on_desk(desk, name, args, paths, pid_file=desk.file("command.pid"))
    finally:
        tear_down(desk.state)


def cmd_start(args, paths):
    layout = layout_of(args)
    wanted = settings_line(layout.name, args.dpi, args.theme)
    with name_lock(paths, args.name) as lock:
        desk = Desk(paths.desks / args.name)
        if desk.file("settings").is_file() and desk.xorg_alive():
            running = desk.read("settings")
            if running != wanted:
                raise DeskError(1, "'%s' runs with other settings (%s); stop it first" % (args.name, running))
            say("'%s' already runs on :%s" % (args.name, desk.display))
            return 0
        # What is left of a desk whose Xorg ended, or whose start was cut short.
        tear_down(desk.state)
        try:
            display = bring_up(desk, paths, layout, args.dpi, args.theme)
        except BaseException:
            tear_down(desk.state)
            lock.remove()
            raise
    say("'%s' runs on :%s (layout %s, %s dpi, theme %s)"
        % (args.name, display, layout.name, args.dpi, args.theme))
    return 0


def cmd_exec(args, paths):
    return exec_on_desk(desk_of(paths, args.name), args.name, args, paths)


def cmd_env(args, paths):
    desk = desk_of(paths, args.name)
    print("export DISPLAY=:%s" % desk.display)
    print("export WINEPREFIX=%s" % shlex.quote(desk.prefix))
    return 0


def cmd_screenshot(args, paths):
    desk = desk_of(paths, args.name)
    return run_bounded(["import", "-display", ":" + desk.display, "-window", "root", args.file], 120,
                       "import (the screenshot)")


def cmd_output(args, paths):
    desk = desk_of(paths, args.name)
    layout_name = re.match(r"layout=(\S+)", desk.read("settings")).group(1)
    layout = layout_of(argparse.Namespace(layout=layout_name))
    monitor = next((m for m in layout.monitors if m.output == args.output), None)
    if layout.xorg != "randr" or monitor is None:
        raise DeskError(2, "desk '%s' (layout %s) has no RandR output %s"
                        % (args.name, layout.name, args.output))
    step = ["--output", args.output, "--off"]
    if args.state == "on":
        step = ["--output", args.output, "--mode", monitor.mode,
                "--pos", "%dx%d" % layout.x_position(monitor)]
    env = desk.env()
    if run_bounded(["xrandr"] + step, 10, "xrandr", env=env, stdin=subprocess.DEVNULL) != 0:
        raise DeskError(1, "xrandr %s failed" % " ".join(step))
    listed = subprocess.run(["xrandr", "--listactivemonitors"], env=env, capture_output=True,
                            text=True, timeout=10).stdout
    active = re.match(r"Monitors: (\d+)", listed)
    if not active:
        raise DeskError(1, "xrandr --listactivemonitors said: %r" % listed[:200])
    if not paths.keeper_tool.is_file():
        raise DeskError(125, "session keeper not built: %s" % paths.keeper_tool)
    return run_bounded([WINE, str(paths.keeper_tool), "--display-change", active.group(1)],
                       WINE_TIME, "orvalen-desk-keeper --display-change", cwd=desk.state, env=env,
                       stdin=subprocess.DEVNULL)


def cmd_stop(args, paths):
    with name_lock(paths, args.name) as lock:
        tear_down(paths.desks / args.name)
        lock.remove()
    return 0


def exec_on_desk(desk, name, args, paths, pid_file=None):
    """Runs the command on DESK and returns its exit status."""
    if not args.argv:
        raise DeskError(2, "no command given (after --)")
    exe, rest = args.argv[0], args.argv[1:]
    argv = args.argv
    if exe.lower().endswith(".exe"):
        if args.capture == "none" and args.debug_out:
            raise DeskError(2, "--debug-out needs --capture debugger")
        if not os.path.isfile(exe):
            raise DeskError(125, "no such program: %s" % exe)
        if args.capture == "debugger":
            if not paths.capture_tool.is_file():
                raise DeskError(125, "capture tool not built: %s" % paths.capture_tool)
            out = "NUL"
            if args.debug_out:
                os.makedirs(os.path.dirname(os.path.abspath(args.debug_out)), exist_ok=True)
                open(args.debug_out, "wb").close()
                out = windows_path(args.debug_out)
            argv = [WINE, str(paths.capture_tool), "--out", out, "--", windows_path(exe)] + rest
        else:
            argv = [WINE, exe] + rest
    env = desk.env(ORVALEN_DESK_NAME=name, ORVALEN_DESK_BUILD=str(paths.build))
    try:
        # A process group of its own, so that a timeout or a signal ends all that it started.
        proc = subprocess.Popen(argv, env=env, process_group=0)
    except FileNotFoundError:
        raise DeskError(127, "no such command: %s" % exe)
    except PermissionError:
        raise DeskError(126, "cannot run %s" % exe)
    try:
        if pid_file:
            pid_file.write_text("%d\n" % proc.pid)
        try:
            return exit_status(proc.wait(args.timeout or None))
        except subprocess.TimeoutExpired:
            stop_group(proc.pid, grace=5)
            say("timed out after %ds: %s" % (args.timeout, exe))
            return 124
    finally:
        if proc.returncode is None:
            stop_group(proc.pid)
            proc.wait()
        if pid_file:
            pid_file.unlink(missing_ok=True)
