#!/usr/bin/env python3
"""What the end-to-end checks of orvalen.exe share: the bundle, one run of the kiosk on a virtual
desk, and the wire format written down independently of the product's codec and the stand-in's
encoder. Importing it has no side effects beyond reading the desk layout table; the cases are in
test_kiosk_e2e.py and ../reliability/reliability_e2e.py (pytest, see ../conftest.py), and
real_engine_road.py reads event lines with Run.

Every case lays out its own bundle (exe, DLLs, data\\app.so holding the case's scenario), runs the
kiosk on the desk named by ORVALEN_DESK_NAME (exported by `scripts/desk run`) with its debugger
output captured, and checks the exit code, the standard error stream, the "[kiosk-display] " event
lines and the stand-in engine's transcript (transcript.jsonl beside the exe).
"""
import json
import os
import shutil
import subprocess
import time

APP = "com.talvern.orvalen/app_window"
REGISTER = "RegisterWithRegistrar"
# The app asks for Sentry's registrar too, but Sentry ships no library of its own.
LIBRARY_LESS_REGISTRARS = ["SentryFlutterPlugin"]


def read_plugins(build_dir):
    """[(registrar name, registration function, library)] in the kiosk's order (by registrar name):
    the build's plug-in list (<build>/orvalen-plugins.txt, written from CMake's ORVALEN_PLUGINS),
    whose functions are named after their registrars, and the registrars with no library."""
    with open(os.path.join(build_dir, "orvalen-plugins.txt"), encoding="utf-8") as f:
        entries = [line.strip().split("|") for line in f if line.strip()]
    plugins = [(function[:-len(REGISTER)], function, name + ".dll") for name, function in entries]
    return sorted(plugins + [(name, None, None) for name in LIBRARY_LESS_REGISTRARS])


def desk_monitors(layout):
    """A desk layout's monitor rectangles [left, top, right, bottom] in Windows coordinates, left to
    right, from the table scripts/desk builds its X server from."""
    table = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                         "desk-layouts.json")
    with open(table, encoding="utf-8") as f:
        monitors = json.load(f)["layouts"][layout]["monitors"]
    return sorted([m["left"], m["top"], m["left"] + m["width"], m["top"] + m["height"]] for m in monitors)


def placed(verb, layout, rect):
    """The event line of a window placed on RECT, e.g. "applied (fit) 1920x1080 @0,0"."""
    return "%s (%s) %dx%d @%d,%d" % (verb, layout, rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1])


# The "three" desk: the kiosk fits to its preferred monitor, the middle one from left to right,
# and spans the union of all of them.
MONITORS = desk_monitors("three")
FIT_INDEX = (len(MONITORS) - 1) // 2
FIT_RECT = MONITORS[FIT_INDEX]
SPAN_RECT = [min(m[0] for m in MONITORS), min(m[1] for m in MONITORS),
             max(m[2] for m in MONITORS), max(m[3] for m in MONITORS)]
FIT = "fit monitors=%d index=%d" % (len(MONITORS), FIT_INDEX)
SPAN = "span monitors=%d" % len(MONITORS)

WS_CLIPSIBLINGS = 0x04000000  # Wine adds it to every top-level window
WS_VISIBLE = 0x10000000
WS_EX_TOPMOST = 0x00000008
WS_EX_APPWINDOW = 0x00040000
WM_DPICHANGED, WM_DISPLAYCHANGE, WM_FONTCHANGE, WM_HOTKEY = 0x02E0, 0x007E, 0x001D, 0x0312


# ------------------------------------------------------------------ wire format, written down here

def size_prefix(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return bytes([254]) + n.to_bytes(2, "little")
    return bytes([255]) + n.to_bytes(4, "little")


def string_value(text):
    raw = text.encode()
    return b"\x07" + size_prefix(len(raw)) + raw


def method_call(name, argument=b"\x00"):
    return string_value(name) + argument


def hexs(data):
    return " ".join("%02X" % b for b in data)


# ------------------------------------------------------------------ one run of the kiosk

class Run:
    def __init__(self, folder, rc, stdout, stderr):
        self.folder = folder
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr
        self.stderr_lines = stderr.splitlines()
        path = os.path.join(folder, "transcript.jsonl")
        self.transcript = []
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                self.transcript = [json.loads(line) for line in f if line.strip()]
        self.debug_events = []
        path = os.path.join(folder, "debug.txt")
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                self.debug_events = f.read().split("\n")[:-1]
        self.kiosk_lines, self.stray_debug = self._kiosk_lines()

    def _kiosk_lines(self):
        """Event lines from the debugger output: each must arrive as the three separate pieces
        "[kiosk-display] ", the line, "\\n" (the capture file escapes the line end as \\n)."""
        lines, stray = [], []
        ev = self.debug_events
        i = 0
        while i < len(ev):
            if ev[i] == "[kiosk-display] " and i + 2 < len(ev) and ev[i + 2] == "\\n":
                lines.append(ev[i + 1])
                i += 3
            else:
                stray.append(ev[i])
                i += 1
        return lines, stray

    def events(self, name):
        return [e for e in self.transcript if e["ev"] == name]

    def first(self, name, **fields):
        for e in self.transcript:
            if e["ev"] == name and all(e.get(k) == v for k, v in fields.items()):
                return e
        return None

    def index(self, entry):
        return next(i for i, e in enumerate(self.transcript) if e is entry)

    def between(self, start, end, name):
        a, b = self.index(start), self.index(end) if end is not None else len(self.transcript)
        return [e for e in self.transcript[a + 1:b] if e["ev"] == name]

    def display_sends(self):
        return [e for e in self.events("messenger-send") if e.get("channel") == APP]

    def describe(self):
        tail = "\n".join(json.dumps(e) for e in self.transcript[-12:])
        return ("exit code %s\nstderr:\n%s\nevent lines: %s\ntranscript tail:\n%s"
                % (self.rc, self.stderr[-2000:], self.kiosk_lines, tail))


class Launcher:
    """Lays out a case's bundle in WORK_DIR/NAME and runs the kiosk on the desk DESK_NAME."""

    def __init__(self, bin_dir, work_dir, desk, build_dir, desk_name, timeout):
        self.bin_dir = bin_dir
        self.work_dir = work_dir
        self.desk = desk
        self.build_dir = build_dir
        self.desk_name = desk_name
        self.timeout = timeout
        self.plugins = read_plugins(build_dir)

    def run_kiosk(self, name, scenario, args=(), launcher=False, capture="debugger", remove=(),
                  env=None, at_stage=None):
        """CAPTURE: "debugger" (the desk's capture tool, whose console the kiosk attaches to),
        "debugger-no-console" (the capture tool told to let go of its console first: a debugger
        and no parent console, as when started from Explorer under a debugger) or "none".
        REMOVE: bundle paths to leave out; ENV: variables added to the environment.
        AT_STAGE: {stage name: callable}, each run once while the kiosk runs, as soon as the
        scenario's `stage NAME` line is in the transcript (the scenario waits for what follows)."""
        folder = os.path.join(self.work_dir, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "data", "flutter_assets"))
        for f in ["orvalen.exe", "flutter_windows.dll"] + [p[2] for p in self.plugins if p[2]]:
            shutil.copy2(os.path.join(self.bin_dir, f), folder)
        with open(os.path.join(folder, "data", "icudtl.dat"), "wb"):
            pass
        with open(os.path.join(folder, "data", "app.so"), "w") as f:
            f.write("watchdog 30000\n" + scenario)
        for path in remove:
            target = os.path.join(folder, path)
            shutil.rmtree(target) if os.path.isdir(target) else os.remove(target)
        exe = os.path.join(folder, "orvalen.exe")
        command = [exe] + list(args)
        if launcher:
            shutil.copy2(os.path.join(self.bin_dir, "orvalen-e2e-launch.exe"), folder)
            command = [os.path.join(folder, "orvalen-e2e-launch.exe"), "orvalen.exe"] + list(args)
        debug_out = os.path.join(folder, "debug.txt")
        options = ["--debug-out", debug_out] if capture == "debugger" else ["--capture", "none"]
        if capture == "debugger-no-console":
            tool = os.environ.get("ORVALEN_DBGCAPTURE") or os.path.join(
                self.build_dir, "bin", "orvalen-dbgcapture.exe")
            command = [tool, "--no-console", "--out", windows_path(debug_out), "--",
                       windows_path(exe)] + list(args)
        full = [self.desk, "exec", "--name", self.desk_name, "--build", self.build_dir,
                "--timeout", str(self.timeout)] + options + ["--"] + command
        env = dict(os.environ, **(env or {}))
        if at_stage:
            rc, stdout, stderr = run_driven(full, folder, env, at_stage)
        else:
            p = subprocess.run(full, cwd=folder, capture_output=True, text=True, errors="replace",
                               env=env)
            rc, stdout, stderr = p.returncode, p.stdout, p.stderr
        for stream, text in (("stdout.txt", stdout), ("stderr.txt", stderr)):
            with open(os.path.join(folder, stream), "w") as f:
                f.write(text)
        return Run(folder, rc, stdout, stderr)

    def switch_output(self, output, state):
        """Switches a RandR output of the live desk off or on; the desk then tells the windows
        with WM_DISPLAYCHANGE, as Windows does (scripts/desk output)."""
        p = subprocess.run([self.desk, "output", "--name", self.desk_name, "--build", self.build_dir,
                            output, state], capture_output=True, text=True, timeout=120)
        assert p.returncode == 0, "scripts/desk output %s %s: %s" % (
            output, state, p.stderr[-500:])


def run_driven(command, folder, env, at_stage):
    """Runs COMMAND (the kiosk on the desk) and reads its transcript as it grows, running the
    action of each stage line once. (exit code, stdout, stderr); an action that raises ends the
    kiosk and raises on."""
    transcript = os.path.join(folder, "transcript.jsonl")
    pending = dict(at_stage)
    with open(os.path.join(folder, "stdout.txt"), "w+", errors="replace") as out, \
            open(os.path.join(folder, "stderr.txt"), "w+", errors="replace") as err:
        p = subprocess.Popen(command, cwd=folder, stdout=out, stderr=err, text=True, env=env)
        try:
            done = 0
            while p.poll() is None and pending:
                for entry in new_transcript_lines(transcript, done):
                    done += 1
                    action = pending.pop(entry.get("name"), None) if entry["ev"] == "stage" else None
                    if action:
                        action()
                time.sleep(0.05)
            p.wait()
        finally:
            if p.poll() is None:
                p.terminate()
                p.wait()
        out.seek(0)
        err.seek(0)
        return p.returncode, out.read(), err.read()


def new_transcript_lines(path, done):
    """The whole lines of the transcript after the first DONE (a line still being written waits)."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")[:-1]
    return [json.loads(line) for line in lines[done:] if line.strip()]


# ------------------------------------------------------------------ helpers for the checks

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def style_bits(text):
    return int(text, 16) & ~WS_CLIPSIBLINGS


def in_order(run, names):
    """The first occurrence of each (ev, fields) after the previous one; None when one is missing."""
    position = -1
    for name, fields in names:
        hit = None
        for i in range(position + 1, len(run.transcript)):
            e = run.transcript[i]
            if e["ev"] == name and all(e.get(k) == v for k, v in fields.items()):
                hit = i
                break
        if hit is None:
            return name, fields
        position = hit
    return None


def check_sends_match_lines(run):
    """Every event line went to the Dart side as exactly one "onDisplayEvent" call with the line
    as its string argument, in the same order, in exactly the standard bytes."""
    sends = run.display_sends()
    assert [s.get("text") for s in sends] == run.kiosk_lines, (
        "onDisplayEvent texts follow the debugger event lines")
    for s in sends:
        expected = hexs(method_call("onDisplayEvent", string_value(s.get("text", ""))))
        assert s["bytes"] == expected, "bytes of onDisplayEvent %r" % s.get("text")
        assert s["wants_reply"] == False, "onDisplayEvent is sent without a reply callback"


def replies_by_line(run):
    out = {}
    for e in run.events("dart-reply"):
        out.setdefault(e["line"], []).append(e)
    return out
