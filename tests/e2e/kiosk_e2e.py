#!/usr/bin/env python3
"""End-to-end checks of orvalen.exe with the stand-in engine and plug-ins, on a virtual desk.

Runs inside `scripts/desk run --layout three -- python3 kiosk_e2e.py --group NAME ...`, which
exports ORVALEN_DESK_NAME; every case lays out its own bundle (exe, DLLs, data\\app.so holding the
case's scenario), runs the kiosk on that desk with its debugger output captured, and checks the
exit code, the standard error stream, the "[kiosk-display] " event lines and the stand-in
engine's transcript (transcript.jsonl beside the exe).

Expected channel bytes are built here from the wire format's rules, independently of both the
product's codec and the stand-in's encoder.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import traceback

APP = "com.talvern.orvalen/app_window"
PLUGINS = [
    ("ScreenRetrieverWindowsPluginCApi", "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar",
     "screen_retriever_windows_plugin.dll"),
    ("SentryFlutterPlugin", None, None),
    ("SharePlusWindowsPluginCApi", "SharePlusWindowsPluginCApiRegisterWithRegistrar",
     "share_plus_plugin.dll"),
    ("UrlLauncherWindows", "UrlLauncherWindowsRegisterWithRegistrar",
     "url_launcher_windows_plugin.dll"),
    ("VideoPlayerWinPluginCApi", "VideoPlayerWinPluginCApiRegisterWithRegistrar",
     "video_player_win_plugin.dll"),
    ("WindowManagerPlugin", "WindowManagerPluginRegisterWithRegistrar", "window_manager_plugin.dll"),
]
BUNDLE_FILES = ["orvalen.exe", "flutter_windows.dll"] + [p[2] for p in PLUGINS if p[2]]


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


class Case:
    """Collects failed expectations of one case instead of stopping at the first."""

    def __init__(self, harness, name):
        self.harness = harness
        self.name = name
        self.failures = []
        self.runs = []

    def run(self, scenario, args=(), label="", launcher=False, capture="debugger"):
        r = self.harness.run_kiosk(self.name + (("-" + label) if label else ""), scenario, args,
                                   launcher, capture)
        self.runs.append(r)
        return r

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def equal(self, actual, expected, message):
        return self.check(actual == expected, "%s: expected %r, got %r" % (message, expected, actual))


class Harness:
    def __init__(self, bin_dir, work_dir, desk, build_dir):
        self.bin_dir = bin_dir
        self.work_dir = work_dir
        self.desk = desk
        self.build_dir = build_dir
        self.desk_name = os.environ.get("ORVALEN_DESK_NAME", "")

    def run_kiosk(self, name, scenario, args, launcher, capture="debugger"):
        """CAPTURE: "debugger" (the desk's capture tool, whose console the kiosk attaches to),
        "debugger-no-console" (the capture tool told to let go of its console first: a debugger
        and no parent console, as when started from Explorer under a debugger) or "none"."""
        folder = os.path.join(self.work_dir, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "data", "flutter_assets"))
        for f in BUNDLE_FILES:
            shutil.copy2(os.path.join(self.bin_dir, f), folder)
        with open(os.path.join(folder, "data", "icudtl.dat"), "wb"):
            pass
        with open(os.path.join(folder, "data", "app.so"), "w") as f:
            f.write("watchdog 30000\n" + scenario)
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
                "--timeout", "60"] + options + ["--"] + command
        p = subprocess.run(full, cwd=folder, capture_output=True, text=True, errors="replace")
        for stream, text in (("stdout.txt", p.stdout), ("stderr.txt", p.stderr)):
            with open(os.path.join(folder, stream), "w") as f:
                f.write(text)
        return Run(folder, p.returncode, p.stdout, p.stderr)


# ------------------------------------------------------------------ helpers for the checks

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def style_bits(text):
    return int(text, 16) & ~WS_CLIPSIBLINGS


def in_order(run, names):
    """The first occurrence of each (ev, fields) after the previous one; None when one is missing."""
    position = -1
    found = []
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
        found.append(hit)
    return None


def check_sends_match_lines(case, run):
    """Every event line went to the Dart side as exactly one "onDisplayEvent" call with the line
    as its string argument, in the same order, in exactly the standard bytes."""
    sends = run.display_sends()
    case.equal([s.get("text") for s in sends], run.kiosk_lines,
               "onDisplayEvent texts follow the debugger event lines")
    for s in sends:
        expected = hexs(method_call("onDisplayEvent", string_value(s.get("text", ""))))
        if not case.equal(s["bytes"], expected, "bytes of onDisplayEvent %r" % s.get("text")):
            break
        case.equal(s["wants_reply"], False, "onDisplayEvent is sent without a reply callback")


def replies_by_line(run):
    out = {}
    for e in run.events("dart-reply"):
        out.setdefault(e["line"], []).append(e)
    return out


# ------------------------------------------------------------------ cases: start-up and exit

def case_first_frame(case):
    run = case.run("probe shown\npost WM_CLOSE\n")
    case.equal(run.rc, 0, "exit code after WM_CLOSE")
    case.equal(run.stderr_lines, [], "diagnostics on stderr during a normal run")
    frames = run.events("frame")
    if case.check(frames, "the engine produced a frame"):
        top = frames[0]["top"]
        case.equal(top["visible"], False, "top-level window visible at the first frame")
        case.equal(top["rect"], [10, 10, 1290, 730], "window rect before the first frame (as created)")
        case.check(style_bits(top["style"]) & 0x00CF0000 == 0x00CF0000,
                   "framed (WS_OVERLAPPEDWINDOW) before the first frame: %s" % top["style"])
        case.equal(top.get("view_parent_is_top"), True, "the view is the top-level window's child")
    after = run.events("after-next-frame")
    if case.check(len(after) == 1, "the next-frame callback ran once: %d" % len(after)):
        top = after[0]["top"]
        case.equal(top["visible"], True, "visible after the next-frame callback")
        case.equal(top["rect"], FIT_RECT, "fitted to the middle monitor")
        case.equal(style_bits(top["style"]), 0x90000000, "popup style after the fit")
        case.equal(int(top["exstyle"], 16) & (WS_EX_TOPMOST | WS_EX_APPWINDOW),
                   WS_EX_TOPMOST | WS_EX_APPWINDOW, "topmost app window after the fit")
        case.equal(top.get("view"), FIT_RECT, "the view fills the fitted window")
    # Never on screen anywhere but at the kiosk geometry: the move that first shows the window
    # already puts it over the middle monitor.
    shown = [e for e in run.events("top-level-message")
             if e["number"] == 0x47 and e.get("visible")]
    if case.check(shown, "the window was shown"):
        x, y, cx, cy, _ = shown[0]["windowpos"]
        case.equal([x, y, x + cx, y + cy], FIT_RECT, "where the window first appeared")
    case.equal(run.kiosk_lines[:2], [FIT, placed("applied", "fit", FIT_RECT)],
               "first event lines")
    case.equal(run.stray_debug, [], "debugger output outside the event-line pattern")
    check_sends_match_lines(case, run)

    created = run.events("engine-create")
    if case.equal(len(created), 1, "engine creations"):
        e = created[0]
        case.equal([e["assets_path"], e["icu_data_path"], e["aot_library_path"]],
                   ["data\\flutter_assets", "data\\icudtl.dat", "data\\app.so"], "bundle paths")
        case.equal((e["entry_point"], e["entry_point_null"]), ("", False), "entry point")
        case.equal((e["argc"], e["argv_null"], e["arguments"]), (0, True, []), "no entry arguments")
        case.equal(e["engine_options"], [0, 0, 0, 2], "engine options")
        case.check(e.get("apartment") in ("main-sta", "sta"),
                   "engine created in a single-threaded apartment: %s" % e.get("apartment"))

    # Start-up order: engine and view first, then the plug-ins, then the view is
    # attached, the channel opened, the frame asked for.
    order = [("dpi-query", {}), ("engine-create", {}), ("engine-get-messenger", {}),
             ("view-controller-create", {"ok": True}), ("view-controller-get-view", {})]
    order += [("registrar-request", {"channel": p[0]}) for p in PLUGINS]
    order += [("view-get-hwnd", {}), ("set-callback", {"channel": APP, "ok": True}),
              ("set-next-frame-callback", {}), ("force-redraw", {}), ("frame", {"n": 1}),
              ("next-frame-fired", {}), ("view-controller-destroy", {}), ("engine-destroy", {})]
    missing = in_order(run, order)
    case.check(missing is None, "start-up/shut-down order broken at %r" % (missing,))
    case.equal(len(run.events("dpi-query")), 1, "DPI queries")
    case.equal(len(run.events("set-callback")), 1, "channel registrations")

    requests = run.events("registrar-request")
    case.equal([r["channel"] for r in requests], [p[0] for p in PLUGINS], "registrar requests in order")
    registered = run.events("plugin-register")
    case.equal([r["function"] for r in registered], [p[1] for p in PLUGINS if p[1]],
               "plug-in registration functions in order")
    by_name = {r["channel"]: r["pointer"] for r in requests}
    for r in registered:
        name = next(p[0] for p in PLUGINS if p[1] == r["function"])
        case.equal(r["registrar"], by_name.get(name), "registrar given to " + r["function"])
        case.equal(r["library"], next(p[2] for p in PLUGINS if p[1] == r["function"]),
                   "library of " + r["function"])
    case.equal(len(set(by_name.values())), 6, "six distinct registrars")

    # Closing the window shuts the channel and the engine: nothing is sent from then on.
    close = run.first("dart-post", message="WM_CLOSE")
    if case.check(close is not None, "WM_CLOSE posted"):
        case.equal(run.between(close, None, "messenger-send"), [], "messages sent after WM_CLOSE")


def case_entry_arguments(case):
    run = case.run("call enterWindowedMode string $2\npost WM_CLOSE\n",
                   args=["a", "b c", "", "@lone-surrogate", "z", "gr\u00fc\u00dfe \u20ac"], launcher=True)
    case.equal(run.rc, 0, "exit code")
    e = run.first("engine-create")
    if case.check(e is not None, "engine created"):
        case.equal(e["arguments"], ["a", "b c", "", "", "z", "gr\u00fc\u00dfe \u20ac"], "entry arguments")
        case.equal((e["argc"], e["argv_null"]), (6, False), "argument count")
    call = run.first("dart-call")
    if case.check(call is not None, "the Dart side called with its second argument"):
        case.equal(call["bytes"], hexs(method_call("enterWindowedMode", string_value("b c"))),
                   "the Dart side received its entry arguments")


def case_refused_view_controller(case):
    run = case.run("refuse-view-controller\ncall spanAllDisplays\n")
    case.equal(run.rc, 1, "exit code when the view controller is refused")
    case.check("Failed to create view controller." in run.stderr_lines,
               "stderr line 'Failed to create view controller.': %r" % run.stderr[-500:])
    vc = run.events("view-controller-create")
    case.equal([v["ok"] for v in vc], [False], "view-controller creations")
    for name in ("registrar-request", "plugin-register", "set-callback", "messenger-send",
                 "frame", "set-next-frame-callback", "dart-call"):
        case.equal(run.events(name), [], "no %s after the refusal" % name)
    case.equal(run.kiosk_lines, [], "no event lines (no window shown)")


def case_console(case):
    # Without a parent console the kiosk opens a console only under a debugger, before the engine
    # exists; the engine's resync and the kiosk's own diagnostics then find that console.
    scenario = "send %s\nwait 100\nconsole after\nprobe end\npost WM_CLOSE\n" % APP
    plain = case.run(scenario, label="no-debugger", capture="none")
    case.equal(plain.rc, 0, "exit code without a debugger")
    case.equal(plain.events("resync-output-streams"), [], "resyncs without a debugger")
    case.equal([c["text"] for c in plain.events("console")], [[]], "console without a debugger")
    case.equal([p["top"]["visible"] for p in plain.events("probe")], [True],
               "shown without a debugger")

    run = case.run(scenario, capture="debugger-no-console")
    case.equal(run.rc, 0, "exit code")
    resync = run.events("resync-output-streams")
    if case.equal(len(resync), 1, "output stream resyncs"):
        case.equal(resync[0]["console"], True, "the process had a console at the resync")
    missing = in_order(run, [("resync-output-streams", {}), ("dpi-query", {}), ("engine-create", {})])
    case.check(missing is None, "the console comes before the window and the engine: %r" % (missing,))
    diagnostic = "Invalid method call; method name is not a string."
    console = run.first("console")
    case.check(console is not None and diagnostic in console["text"],
               "the kiosk's diagnostic on the new console: %r" % (console,))
    case.check(diagnostic not in run.stderr_lines, "the diagnostic still on the inherited stderr")


def case_destroy_before_first_frame(case):
    run = case.run("hold-first-frame\nwait 200\nprobe held\ncall destroy\n")
    case.equal(run.rc, 0, "exit code")
    probe = run.first("probe")
    if case.check(probe is not None, "probe before the first frame"):
        case.equal(probe["top"]["visible"], False, "visible before the first frame")
    case.check(run.first("set-next-frame-callback") and run.first("engine-destroy"),
               "a next-frame callback was set and the engine shut down")
    for name in ("frame", "next-frame-fired", "after-next-frame"):
        case.equal(run.events(name), [], "%s events" % name)
    shown = [e for e in run.events("top-level-message") if e.get("visible")]
    case.equal(shown, [], "moves of the window while visible")
    case.equal(run.kiosk_lines, [], "event lines (a fit would be the first)")


def case_dpi_scaled_creation(case):
    for dpi, rect in ((144, [15, 15, 1935, 1095]), (120, [12, 12, 1612, 912])):
        run = case.run("dpi %d\npost WM_CLOSE\n" % dpi, label=str(dpi))
        case.equal([q["dpi"] for q in run.events("dpi-query")], [dpi], "DPI answered")
        frames = run.events("frame")
        if case.check(frames, "a frame at %d DPI" % dpi):
            case.equal(frames[0]["top"]["rect"], rect, "created rect at %d DPI" % dpi)
        case.equal(run.rc, 0, "exit code at %d DPI" % dpi)


# ------------------------------------------------------------------ cases: the app-window channel

def case_methods(case):
    table = [  # (scenario line, expected reply, event lines caused before the reply)
        ("call spanAllDisplays", "00 00", [SPAN, placed("applied", "span", SPAN_RECT)]),
        ("call fitPreferredDisplay", "00 00", [FIT, placed("applied", "fit", FIT_RECT)]),
        ("call fitPreferredDisplay", "00 00", [FIT, placed("skip unchanged", "fit", FIT_RECT)]),
        ("call enterWindowedMode", "00 00", []),
        ("call spanAllDisplays", "00 00", []),  # refused in windowed mode, still success
        ("call exitWindowedMode", "00 00", []),
        ("call SpanAllDisplays", "", []),
        ("call spanalldisplays", "", []),
        ("call Destroy", "", []),
        ("call unknownMethod string x", "", []),
        ("call enterWindowedMode int32 7", "00 00", []),
        ("call enterWindowedMode string hello", "00 00", []),
        ("call enterWindowedMode double 1.5", "00 00", []),
        ("call enterWindowedMode hex 0C 02 03 01 00 00 00 07 01 61", "00 00", []),
        ("call enterWindowedMode hex 0D 01 07 01 61 01", "00 00", []),
        ("call exitWindowedMode true", "00 00", []),
        ("call spanAllDisplays", "00 00", [SPAN, placed("applied", "span", SPAN_RECT)]),
    ]
    scenario = "".join(row[0] + "\n" for row in table) + "probe end\npost WM_CLOSE\n"
    run = case.run(scenario)
    case.equal(run.rc, 0, "exit code")
    calls = run.events("dart-call")
    if not case.equal(len(calls), len(table), "calls delivered"):
        return
    replies = replies_by_line(run)
    for (line, reply, lines), call in zip(table, calls):
        got = replies.get(call["line"], [])
        if not case.equal(len(got), 1, "%s: replies" % line):
            continue
        case.equal(got[0]["bytes"], reply, "%s: reply bytes" % line)
        caused = [s.get("text") for s in run.between(call, got[0], "messenger-send")
                  if s.get("channel") == APP]
        case.equal(caused, lines, "%s: onDisplayEvent lines before its reply" % line)
    case.equal(calls[0]["bytes"], hexs(method_call("spanAllDisplays")), "bytes of a call without arguments")
    probe = run.first("probe")
    if case.check(probe is not None, "probe ran"):
        case.equal(probe["top"]["rect"], SPAN_RECT, "window spans the desk at the end")
    check_sends_match_lines(case, run)


def case_destroy(case):
    run = case.run("call spanAllDisplays\ncall destroy\ncall fitPreferredDisplay\n")
    case.equal(run.rc, 0, "exit code after destroy")
    call = run.first("dart-call", method="destroy")
    if not case.check(call is not None, "destroy was called"):
        return
    case.equal(call["bytes"], "07 07 64 65 73 74 72 6F 79 00", "destroy call bytes")
    delivered = run.first("message-delivered", bytes="07 07 64 65 73 74 72 6F 79 00")
    if not case.check(delivered is not None, "destroy delivered to the product"):
        return
    case.equal(replies_by_line(run).get(call["line"], []), [], "replies to destroy (dropped)")
    after = run.transcript[run.index(delivered) + 1:]
    case.equal([e for e in after if e["ev"] == "response"], [], "responses after destroy")
    case.equal([e for e in after if e["ev"] == "messenger-send"], [], "messages sent after destroy")
    names = [e["ev"] for e in after]
    case.check("view-controller-destroy" in names and "engine-destroy" in names,
               "engine shut down during destroy: %s" % names)
    case.check(any(e["ev"] == "messenger-is-available" and e["ok"] is False for e in after),
               "the reply found the messenger unavailable")
    case.check("Warning: Failed to respond to a message. This is a memory leak." not in run.stderr_lines,
               "destroy's result was completed")
    check_sends_match_lines(case, run)


def case_undecodable(case):
    run = case.run("send %s 03 01 00 00 00\nsend %s\npost WM_CLOSE\n" % (APP, APP))
    case.equal(run.rc, 0, "exit code")
    sends = run.events("dart-send")
    replies = replies_by_line(run)
    case.equal([[r["size"] for r in replies.get(s["line"], [])] for s in sends], [[0], [0]],
               "empty replies to undecodable messages")
    channel_line = "Unable to construct method call from message on channel " + APP
    case.equal(run.stderr_lines.count(channel_line), 2, "channel diagnostic lines")
    case.equal(run.stderr_lines.count("Invalid method call; method name is not a string."), 2,
               "codec diagnostic lines")
    case.equal(run.kiosk_lines[2:], [], "no event lines caused")


def case_display_event_answers(case):
    body = ("call spanAllDisplays\ncall enterWindowedMode\ncall exitWindowedMode\n"
            "call fitPreferredDisplay\ncall fitPreferredDisplay\npost WM_DISPLAYCHANGE\n"
            "wait-event resync timer fire\nwait-event resync timer fire\nwait 50\npost WM_CLOSE\n")
    results = {}
    for mode in ("success", "error", "notimplemented", "never"):
        run = case.run("on-display-event %s\n%s" % (mode, body), label=mode)
        case.equal(run.rc, 0, "exit code with %s answers" % mode)
        answers = run.events("dart-answer")
        case.check(answers and all(a["mode"] == mode for a in answers), "Dart side answered %s" % mode)
        case.check(not any("Unable to decode reply" in l for l in run.stderr_lines),
                   "no reply decoding with %s answers" % mode)
        results[mode] = (run.kiosk_lines, [r["bytes"] for r in run.events("dart-reply")])
    for mode in ("error", "notimplemented", "never"):
        case.equal(results[mode], results["success"], "event lines and replies with %s answers" % mode)
    case.check(len(results["success"][0]) >= 10, "enough event lines: %r" % (results["success"][0],))


# ------------------------------------------------------------------ cases: message routing

def case_dpi_change_routing(case):
    run = case.run(
        "post WM_DPICHANGED 144 100 100 1000 800\n"
        "wait-event resync follow-up scheduled\nwait-event resync timer fire\nwait 50\n"
        "probe fit\ncall enterWindowedMode\n"
        "post WM_DPICHANGED 120 200 150 1480 950\nwait 100\nprobe windowed\npost WM_CLOSE\n")
    case.equal(run.rc, 0, "exit code")
    post = run.first("dart-post", message="WM_DPICHANGED")
    windowed_call = run.first("dart-call", method="enterWindowedMode")
    if not case.check(post and windowed_call, "both DPI changes were posted"):
        return
    offered = [e for e in run.between(post, windowed_call, "top-level-message") if e["number"] == WM_DPICHANGED]
    case.equal(offered, [], "DPI change during the fit offered to the engine")
    case.equal(run.kiosk_lines[2:9], [
        "WM_DPICHANGED (kiosk debounce)", "debounced resync scheduled", "resync timer fire",
        FIT, placed("skip unchanged", "fit", FIT_RECT),
        "resync follow-up scheduled", "resync timer fire"], "debounced resync lines")
    probes = {p["label"]: p["top"] for p in run.events("probe")}
    case.equal(probes.get("fit", {}).get("rect"), FIT_RECT, "suggested rectangle ignored during the fit")
    offered = [e for e in run.between(windowed_call, None, "top-level-message") if e["number"] == WM_DPICHANGED]
    if case.equal(len(offered), 1, "DPI change in windowed mode offered to the engine"):
        case.equal((offered[0]["consumed"], offered[0].get("rect")), (False, [200, 150, 1480, 950]),
                   "offered DPI change")
    case.equal(probes.get("windowed", {}).get("rect"), [200, 150, 1480, 950],
               "windowed mode applies the suggested rectangle")
    check_sends_match_lines(case, run)


def case_display_change_routing(case):
    run = case.run(
        "consume WM_DISPLAYCHANGE 0\npost WM_DISPLAYCHANGE\n"
        "wait-event resync timer fire\nwait-event resync timer fire\nwait 50\n"
        "call enterWindowedMode\npost WM_DISPLAYCHANGE\nwait 700\npost WM_CLOSE\n")
    case.equal(run.rc, 0, "exit code")
    offered = [e for e in run.events("top-level-message") if e["number"] == WM_DISPLAYCHANGE]
    case.equal([e["consumed"] for e in offered], [True, True], "display changes offered and consumed")
    case.equal(run.kiosk_lines[2:], [
        "WM_DISPLAYCHANGE", "debounced resync scheduled",
        "resync timer fire", FIT, placed("skip unchanged", "fit", FIT_RECT),
        "resync follow-up scheduled",
        "resync timer fire", FIT, placed("skip unchanged", "fit", FIT_RECT),
        "WM_DISPLAYCHANGE"], "the kiosk saw both display changes although the engine consumed them")
    fire = run.first("messenger-send", text="resync timer fire")
    if case.check(fire is not None, "resync line sent to the Dart side"):
        case.equal(fire["bytes"],
                   "07 0E 6F 6E 44 69 73 70 6C 61 79 45 76 65 6E 74 07 11 72 65 73 79 6E 63 "
                   "20 74 69 6D 65 72 20 66 69 72 65", "onDisplayEvent bytes of 'resync timer fire'")
        case.equal(fire["size"], 35, "its size")
    check_sends_match_lines(case, run)


def case_font_change_routing(case):
    for consume, reloads in ((False, 1), (True, 0)):
        label = "consumed" if consume else "passed"
        run = case.run(("consume WM_FONTCHANGE\n" if consume else "") +
                       "post WM_FONTCHANGE\nwait 100\npost WM_CLOSE\n", label=label)
        case.equal(run.rc, 0, "exit code (%s)" % label)
        offered = [e for e in run.events("top-level-message") if e["number"] == WM_FONTCHANGE]
        case.equal([e["consumed"] for e in offered], [consume], "font change offered (%s)" % label)
        reload_events = run.events("reload-system-fonts")
        case.equal(len(reload_events), reloads, "font reloads (%s)" % label)
        if offered and reload_events:
            case.check(run.index(reload_events[0]) > run.index(offered[0]),
                       "fonts reloaded after the engine declined the message")


def case_hotkeys(case):
    run = case.run("call enterWindowedMode\nprobe windowed\npost WM_HOTKEY 2\nwait 50\nprobe next\n"
                   "post WM_HOTKEY 1\nwait 50\nprobe previous\npost WM_HOTKEY 1\nwait 50\nprobe wrapped\n"
                   "post WM_CLOSE\n")
    case.equal(run.rc, 0, "exit code")
    probes = {p["label"]: p["top"] for p in run.events("probe")}
    expected = {"windowed": [320, 140, 1600, 940], "next": [1920, 140, 3200, 940],
                "previous": [0, 140, 1280, 940], "wrapped": [-1920, 140, -640, 940]}
    for label, rect in expected.items():
        case.equal(probes.get(label, {}).get("rect"), rect, "window after '%s'" % label)
    hotkeys = [e for e in run.events("top-level-message") if e["number"] == WM_HOTKEY]
    case.equal([e["consumed"] for e in hotkeys], [False, False, False], "hot-keys offered to the engine")


GROUPS = {
    "startup": [case_first_frame, case_entry_arguments, case_refused_view_controller,
                case_dpi_scaled_creation, case_console, case_destroy_before_first_frame],
    "channel": [case_methods, case_destroy, case_undecodable, case_display_event_answers],
    "routing": [case_dpi_change_routing, case_display_change_routing, case_font_change_routing,
                case_hotkeys],
}


def run_groups(groups, description, program, harness_class=None, case_class=None):
    """Command line of a suite of case groups: runs one group on the desk it was started on."""
    harness_class = harness_class or Harness
    case_class = case_class or Case
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--group", required=True, choices=sorted(groups))
    parser.add_argument("--bin", required=True, help="folder with orvalen.exe and the DLLs")
    parser.add_argument("--work", required=True, help="folder for the cases' bundles")
    parser.add_argument("--desk", required=True, help="the scripts/desk program")
    parser.add_argument("--build", required=True, help="the windows build tree")
    parser.add_argument("--case", help="run only the case with this name")
    a = parser.parse_args()
    if not os.environ.get("ORVALEN_DESK_NAME"):
        print("%s: run me on a desk: scripts/desk run --layout three -- ..." % program, file=sys.stderr)
        return 2
    harness = harness_class(a.bin, os.path.join(a.work, a.group), a.desk, a.build)
    failed = 0
    for fn in groups[a.group]:
        name = fn.__name__[len("case_"):]
        if a.case and a.case != name:
            continue
        case = case_class(harness, name)
        try:
            fn(case)
        except Exception:
            case.failures.append("exception:\n" + traceback.format_exc())
        if case.failures:
            failed += 1
            print("FAIL %s" % name)
            for f in case.failures:
                print("  - " + f)
            for r in case.runs:
                print("  run %s:\n    %s" % (r.folder, r.describe().replace("\n", "\n    ")))
        else:
            print("ok   %s (%d run%s)" % (name, len(case.runs), "" if len(case.runs) == 1 else "s"))
        sys.stdout.flush()
    return 1 if failed else 0


def main():
    return run_groups(GROUPS, __doc__.splitlines()[0], "kiosk_e2e")


if __name__ == "__main__":
    sys.exit(main())
