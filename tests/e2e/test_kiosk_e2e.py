"""End-to-end cases of orvalen.exe with the stand-in engine and plug-ins, on a virtual desk.

Groups (pytest markers, one CTest test each): startup, channel, routing, and live (on the
three-live desk). Run a group inside
`scripts/desk run --layout three -- python3 -m pytest test_kiosk_e2e.py -m GROUP --bin ... --work
... --desk ... --build ...`; ../conftest.py provides the `kiosk` fixture. Expected channel bytes are
built in kiosk_e2e.py from the wire format's rules.
"""
import pytest

from e2e.kiosk_e2e import (APP, FIT, FIT_RECT, SPAN, SPAN_RECT, WM_DISPLAYCHANGE,
                           WM_DPICHANGED, WM_FONTCHANGE, WM_HOTKEY, WS_EX_APPWINDOW, WS_EX_TOPMOST,
                           check_sends_match_lines, desk_monitors, hexs, in_order, method_call,
                           placed, replies_by_line, string_value, style_bits)


# ------------------------------------------------------------------ cases: start-up and exit

@pytest.mark.startup
def test_first_frame(kiosk):
    run = kiosk.run("probe shown\npost WM_CLOSE\n")
    plugins = kiosk.launcher.plugins
    assert run.rc == 0, "exit code after WM_CLOSE"
    assert run.stderr_lines == [], "diagnostics on stderr during a normal run"
    frames = run.events("frame")
    assert frames, "the engine produced a frame"
    top = frames[0]["top"]
    assert top["visible"] == False, "top-level window visible at the first frame"
    assert top["rect"] == [10, 10, 1290, 730], "window rect before the first frame (as created)"
    assert style_bits(top["style"]) & 0x00CF0000 == 0x00CF0000, (
        "framed (WS_OVERLAPPEDWINDOW) before the first frame: %s" % top["style"])
    assert top.get("view_parent_is_top") == True, "the view is the top-level window's child"
    after = run.events("after-next-frame")
    assert len(after) == 1, "the next-frame callback ran once: %d" % len(after)
    top = after[0]["top"]
    assert top["visible"] == True, "visible after the next-frame callback"
    assert top["rect"] == FIT_RECT, "fitted to the middle monitor"
    assert style_bits(top["style"]) == 0x90000000, "popup style after the fit"
    topmost_app = WS_EX_TOPMOST | WS_EX_APPWINDOW
    assert int(top["exstyle"], 16) & topmost_app == topmost_app, "topmost app window after the fit"
    assert top.get("view") == FIT_RECT, "the view fills the fitted window"
    # Never on screen anywhere but at the kiosk geometry: the move that first shows the window
    # already puts it over the middle monitor.
    shown = [e for e in run.events("top-level-message")
             if e["number"] == 0x47 and e.get("visible")]
    assert shown, "the window was shown"
    x, y, cx, cy, _ = shown[0]["windowpos"]
    assert [x, y, x + cx, y + cy] == FIT_RECT, "where the window first appeared"
    assert run.kiosk_lines[:2] == [FIT, placed("applied", "fit", FIT_RECT)], "first event lines"
    assert run.stray_debug == [], "debugger output outside the event-line pattern"
    check_sends_match_lines(run)

    created = run.events("engine-create")
    assert len(created) == 1, "engine creations"
    e = created[0]
    assert [e["assets_path"], e["icu_data_path"], e["aot_library_path"]] == [
        "data\\flutter_assets", "data\\icudtl.dat", "data\\app.so"], "bundle paths"
    assert (e["entry_point"], e["entry_point_null"]) == ("", False), "entry point"
    assert (e["argc"], e["argv_null"], e["arguments"]) == (0, True, []), "no entry arguments"
    assert e["engine_options"] == [0, 0, 0, 2], "engine options"
    assert e.get("apartment") in ("main-sta", "sta"), (
        "engine created in a single-threaded apartment: %s" % e.get("apartment"))

    # Start-up order: engine and view first, then the plug-ins, then the view is
    # attached, the channel opened, the frame asked for.
    order = [("dpi-query", {}), ("engine-create", {}), ("engine-get-messenger", {}),
             ("view-controller-create", {"ok": True}), ("view-controller-get-view", {})]
    order += [("registrar-request", {"channel": p[0]}) for p in plugins]
    order += [("view-get-hwnd", {}), ("set-callback", {"channel": APP, "ok": True}),
              ("set-next-frame-callback", {}), ("force-redraw", {}), ("frame", {"n": 1}),
              ("next-frame-fired", {}), ("view-controller-destroy", {}), ("engine-destroy", {})]
    missing = in_order(run, order)
    assert missing is None, "start-up/shut-down order broken at %r" % (missing,)
    assert len(run.events("dpi-query")) == 1, "DPI queries"
    assert len(run.events("set-callback")) == 1, "channel registrations"

    requests = run.events("registrar-request")
    assert [r["channel"] for r in requests] == [p[0] for p in plugins], (
        "registrar requests in order")
    registered = run.events("plugin-register")
    assert [r["function"] for r in registered] == [p[1] for p in plugins if p[1]], (
        "plug-in registration functions in order")
    by_name = {r["channel"]: r["pointer"] for r in requests}
    for r in registered:
        name = next(p[0] for p in plugins if p[1] == r["function"])
        assert r["registrar"] == by_name.get(name), "registrar given to " + r["function"]
        assert r["library"] == next(p[2] for p in plugins if p[1] == r["function"]), (
            "library of " + r["function"])
    assert len(set(by_name.values())) == 6, "six distinct registrars"

    # Closing the window shuts the channel and the engine: nothing is sent from then on.
    close = run.first("dart-post", message="WM_CLOSE")
    assert close is not None, "WM_CLOSE posted"
    assert run.between(close, None, "messenger-send") == [], "messages sent after WM_CLOSE"


@pytest.mark.startup
def test_entry_arguments(kiosk):
    run = kiosk.run("call enterWindowedMode string $2\npost WM_CLOSE\n",
                    args=["a", "b c", "", "@lone-surrogate", "z", "gr\u00fc\u00dfe \u20ac"], launcher=True)
    assert run.rc == 0, "exit code"
    e = run.first("engine-create")
    assert e is not None, "engine created"
    assert e["arguments"] == ["a", "b c", "", "", "z", "gr\u00fc\u00dfe \u20ac"], (
        "entry arguments")
    assert (e["argc"], e["argv_null"]) == (6, False), "argument count"
    call = run.first("dart-call")
    assert call is not None, "the Dart side called with its second argument"
    assert call["bytes"] == hexs(method_call("enterWindowedMode", string_value("b c"))), (
        "the Dart side received its entry arguments")


@pytest.mark.startup
def test_refused_view_controller(kiosk):
    run = kiosk.run("refuse-view-controller\ncall spanAllDisplays\n")
    assert run.rc == 1, "exit code when the view controller is refused"
    assert "Failed to create view controller." in run.stderr_lines, (
        "stderr line 'Failed to create view controller.': %r" % run.stderr[-500:])
    vc = run.events("view-controller-create")
    assert [v["ok"] for v in vc] == [False], "view-controller creations"
    for name in ("registrar-request", "plugin-register", "set-callback", "messenger-send",
                 "frame", "set-next-frame-callback", "dart-call"):
        assert run.events(name) == [], "no %s after the refusal" % name
    assert run.kiosk_lines == [], "no event lines (no window shown)"


@pytest.mark.startup
def test_console(kiosk):
    # Without a parent console the kiosk opens a console only under a debugger, before the engine
    # exists; the engine's resync and the kiosk's own diagnostics then find that console.
    scenario = "send %s\nwait 100\nconsole after\nprobe end\npost WM_CLOSE\n" % APP
    plain = kiosk.run(scenario, label="no-debugger", capture="none")
    assert plain.rc == 0, "exit code without a debugger"
    assert plain.events("resync-output-streams") == [], "resyncs without a debugger"
    assert [c["text"] for c in plain.events("console")] == [[]], "console without a debugger"
    assert [p["top"]["visible"] for p in plain.events("probe")] == [True], (
        "shown without a debugger")

    run = kiosk.run(scenario, capture="debugger-no-console")
    assert run.rc == 0, "exit code"
    resync = run.events("resync-output-streams")
    assert len(resync) == 1, "output stream resyncs"
    assert resync[0]["console"] == True, "the process had a console at the resync"
    missing = in_order(run, [("resync-output-streams", {}), ("dpi-query", {}), ("engine-create", {})])
    assert missing is None, "the console comes before the window and the engine: %r" % (missing,)
    diagnostic = "Invalid method call; method name is not a string."
    console = run.first("console")
    assert console is not None and diagnostic in console["text"], (
        "the kiosk's diagnostic on the new console: %r" % (console,))
    assert diagnostic not in run.stderr_lines, "the diagnostic still on the inherited stderr"


@pytest.mark.startup
def test_destroy_before_first_frame(kiosk):
    run = kiosk.run("hold-first-frame\nwait 200\nprobe held\ncall destroy\n")
    assert run.rc == 0, "exit code"
    probe = run.first("probe")
    assert probe is not None, "probe before the first frame"
    assert probe["top"]["visible"] == False, "visible before the first frame"
    assert run.first("set-next-frame-callback") and run.first("engine-destroy"), (
        "a next-frame callback was set and the engine shut down")
    for name in ("frame", "next-frame-fired", "after-next-frame"):
        assert run.events(name) == [], "%s events" % name
    shown = [e for e in run.events("top-level-message") if e.get("visible")]
    assert shown == [], "moves of the window while visible"
    assert run.kiosk_lines == [], "event lines (a fit would be the first)"


@pytest.mark.startup
@pytest.mark.parametrize("dpi, rect", [(144, [15, 15, 1935, 1095]), (120, [12, 12, 1612, 912])])
def test_dpi_scaled_creation(kiosk, dpi, rect):
    run = kiosk.run("dpi %d\npost WM_CLOSE\n" % dpi)
    assert [q["dpi"] for q in run.events("dpi-query")] == [dpi], "DPI answered"
    frames = run.events("frame")
    assert frames, "a frame at %d DPI" % dpi
    assert frames[0]["top"]["rect"] == rect, "created rect at %d DPI" % dpi
    assert run.rc == 0, "exit code at %d DPI" % dpi


# ------------------------------------------------------------------ cases: the app-window channel

@pytest.mark.channel
def test_methods(kiosk):
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
    run = kiosk.run(scenario)
    assert run.rc == 0, "exit code"
    calls = run.events("dart-call")
    assert len(calls) == len(table), "calls delivered"
    replies = replies_by_line(run)
    for (line, reply, lines), call in zip(table, calls):
        got = replies.get(call["line"], [])
        assert len(got) == 1, "%s: replies" % line
        assert got[0]["bytes"] == reply, "%s: reply bytes" % line
        caused = [s.get("text") for s in run.between(call, got[0], "messenger-send")
                  if s.get("channel") == APP]
        assert caused == lines, "%s: onDisplayEvent lines before its reply" % line
    assert calls[0]["bytes"] == hexs(method_call("spanAllDisplays")), (
        "bytes of a call without arguments")
    probe = run.first("probe")
    assert probe is not None, "probe ran"
    assert probe["top"]["rect"] == SPAN_RECT, "window spans the desk at the end"
    check_sends_match_lines(run)


@pytest.mark.channel
def test_destroy(kiosk):
    run = kiosk.run("call spanAllDisplays\ncall destroy\ncall fitPreferredDisplay\n")
    assert run.rc == 0, "exit code after destroy"
    call = run.first("dart-call", method="destroy")
    assert call is not None, "destroy was called"
    assert call["bytes"] == "07 07 64 65 73 74 72 6F 79 00", "destroy call bytes"
    delivered = run.first("message-delivered", bytes="07 07 64 65 73 74 72 6F 79 00")
    assert delivered is not None, "destroy delivered to the product"
    assert replies_by_line(run).get(call["line"], []) == [], "replies to destroy (dropped)"
    after = run.transcript[run.index(delivered) + 1:]
    assert [e for e in after if e["ev"] == "response"] == [], "responses after destroy"
    assert [e for e in after if e["ev"] == "messenger-send"] == [], "messages sent after destroy"
    names = [e["ev"] for e in after]
    assert "view-controller-destroy" in names and "engine-destroy" in names, (
        "engine shut down during destroy: %s" % names)
    assert any(e["ev"] == "messenger-is-available" and e["ok"] is False for e in after), (
        "the reply found the messenger unavailable")
    leak = "Warning: Failed to respond to a message. This is a memory leak."
    assert leak not in run.stderr_lines, "destroy's result was completed"
    check_sends_match_lines(run)


@pytest.mark.channel
def test_undecodable(kiosk):
    run = kiosk.run("send %s 03 01 00 00 00\nsend %s\npost WM_CLOSE\n" % (APP, APP))
    assert run.rc == 0, "exit code"
    sends = run.events("dart-send")
    replies = replies_by_line(run)
    assert [[r["size"] for r in replies.get(s["line"], [])] for s in sends] == [[0], [0]], (
        "empty replies to undecodable messages")
    channel_line = "Unable to construct method call from message on channel " + APP
    assert run.stderr_lines.count(channel_line) == 2, "channel diagnostic lines"
    assert run.stderr_lines.count("Invalid method call; method name is not a string.") == 2, (
        "codec diagnostic lines")
    assert run.kiosk_lines[2:] == [], "no event lines caused"


@pytest.mark.channel
def test_display_event_answers(kiosk):
    body = ("call spanAllDisplays\ncall enterWindowedMode\ncall exitWindowedMode\n"
            "call fitPreferredDisplay\ncall fitPreferredDisplay\npost WM_DISPLAYCHANGE\n"
            "wait-event resync timer fire\nwait-event resync timer fire\nwait 50\npost WM_CLOSE\n")
    results = {}
    for mode in ("success", "error", "notimplemented", "never"):
        run = kiosk.run("on-display-event %s\n%s" % (mode, body), label=mode)
        assert run.rc == 0, "exit code with %s answers" % mode
        answers = run.events("dart-answer")
        assert answers and all(a["mode"] == mode for a in answers), "Dart side answered %s" % mode
        assert not any("Unable to decode reply" in l for l in run.stderr_lines), (
            "no reply decoding with %s answers" % mode)
        results[mode] = (run.kiosk_lines, [r["bytes"] for r in run.events("dart-reply")])
    for mode in ("error", "notimplemented", "never"):
        assert results[mode] == results["success"], "event lines and replies with %s answers" % mode
    assert len(results["success"][0]) >= 10, "enough event lines: %r" % (results["success"][0],)


# ------------------------------------------------------------------ cases: message routing

@pytest.mark.routing
def test_dpi_change_routing(kiosk):
    run = kiosk.run(
        "post WM_DPICHANGED 144 100 100 1000 800\n"
        "wait-event resync follow-up scheduled\nwait-event resync timer fire\nwait 50\n"
        "probe fit\ncall enterWindowedMode\n"
        "post WM_DPICHANGED 120 200 150 1480 950\nwait 100\nprobe windowed\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    post = run.first("dart-post", message="WM_DPICHANGED")
    windowed_call = run.first("dart-call", method="enterWindowedMode")
    assert post and windowed_call, "both DPI changes were posted"
    offered = [e for e in run.between(post, windowed_call, "top-level-message") if e["number"] == WM_DPICHANGED]
    assert offered == [], "DPI change during the fit offered to the engine"
    assert run.kiosk_lines[2:9] == [
        "WM_DPICHANGED (kiosk debounce)", "debounced resync scheduled", "resync timer fire",
        FIT, placed("skip unchanged", "fit", FIT_RECT),
        "resync follow-up scheduled", "resync timer fire"], "debounced resync lines"
    probes = {p["label"]: p["top"] for p in run.events("probe")}
    assert probes.get("fit", {}).get("rect") == FIT_RECT, (
        "suggested rectangle ignored during the fit")
    offered = [e for e in run.between(windowed_call, None, "top-level-message") if e["number"] == WM_DPICHANGED]
    assert len(offered) == 1, "DPI change in windowed mode offered to the engine"
    assert (offered[0]["consumed"], offered[0].get("rect")) == (False, [200, 150, 1480, 950]), (
        "offered DPI change")
    assert probes.get("windowed", {}).get("rect") == [200, 150, 1480, 950], (
        "windowed mode applies the suggested rectangle")
    check_sends_match_lines(run)


@pytest.mark.routing
def test_display_change_routing(kiosk):
    run = kiosk.run(
        "consume WM_DISPLAYCHANGE 0\npost WM_DISPLAYCHANGE\n"
        "wait-event resync timer fire\nwait-event resync timer fire\nwait 50\n"
        "call enterWindowedMode\npost WM_DISPLAYCHANGE\nwait 700\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    offered = [e for e in run.events("top-level-message") if e["number"] == WM_DISPLAYCHANGE]
    assert [e["consumed"] for e in offered] == [True, True], "display changes offered and consumed"
    assert run.kiosk_lines[2:] == [
        "WM_DISPLAYCHANGE", "debounced resync scheduled",
        "resync timer fire", FIT, placed("skip unchanged", "fit", FIT_RECT),
        "resync follow-up scheduled",
        "resync timer fire", FIT, placed("skip unchanged", "fit", FIT_RECT),
        "WM_DISPLAYCHANGE"], "the kiosk saw both display changes although the engine consumed them"
    fire = run.first("messenger-send", text="resync timer fire")
    assert fire is not None, "resync line sent to the Dart side"
    assert fire["bytes"] == (
        "07 0E 6F 6E 44 69 73 70 6C 61 79 45 76 65 6E 74 07 11 72 65 73 79 6E 63 "
        "20 74 69 6D 65 72 20 66 69 72 65"), "onDisplayEvent bytes of 'resync timer fire'"
    assert fire["size"] == 35, "its size"
    check_sends_match_lines(run)


@pytest.mark.routing
@pytest.mark.parametrize("consume, reloads", [(False, 1), (True, 0)], ids=["passed", "consumed"])
def test_font_change_routing(kiosk, consume, reloads):
    run = kiosk.run(("consume WM_FONTCHANGE\n" if consume else "") +
                    "post WM_FONTCHANGE\nwait 100\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    offered = [e for e in run.events("top-level-message") if e["number"] == WM_FONTCHANGE]
    assert [e["consumed"] for e in offered] == [consume], "font change offered"
    reload_events = run.events("reload-system-fonts")
    assert len(reload_events) == reloads, "font reloads"
    if offered and reload_events:
        assert run.index(reload_events[0]) > run.index(offered[0]), (
            "fonts reloaded after the engine declined the message")


@pytest.mark.routing
def test_hotkeys(kiosk):
    run = kiosk.run("call enterWindowedMode\nprobe windowed\npost WM_HOTKEY 2\nwait 50\nprobe next\n"
                    "post WM_HOTKEY 1\nwait 50\nprobe previous\npost WM_HOTKEY 1\nwait 50\nprobe wrapped\n"
                   "post WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    probes = {p["label"]: p["top"] for p in run.events("probe")}
    expected = {"windowed": [320, 140, 1600, 940], "next": [1920, 140, 3200, 940],
                "previous": [0, 140, 1280, 940], "wrapped": [-1920, 140, -640, 940]}
    for label, rect in expected.items():
        assert probes.get(label, {}).get("rect") == rect, "window after '%s'" % label
    hotkeys = [e for e in run.events("top-level-message") if e["number"] == WM_HOTKEY]
    assert [e["consumed"] for e in hotkeys] == [False, False, False], (
        "hot-keys offered to the engine")


# ------------------------------------------------------------------ cases: a monitor that goes and comes back

# The three-live desk's right-hand monitor (RandR output DUMMY2) is switched off and on again while
# the kiosk runs; `scripts/desk output` then broadcasts WM_DISPLAYCHANGE, as Windows does after a
# monitor is unplugged or plugged in (Wine sends it only for changes made through Windows itself).
LIVE_ALL = desk_monitors("three-live")
LIVE_WITHOUT_RIGHT = LIVE_ALL[:-1]
# Each layout: the scenario that sets it up, and the scenario step that waits until a display
# change has played out.
LIVE_SETUPS = {
    "fit": ("", "wait-event timeout=10000 skip unchanged (fit)*"),
    "span": ("call spanAllDisplays\nwait-event applied (span)*\n",
             "wait-event timeout=10000 skip unchanged (span)*"),
    # Moved onto the right-hand monitor, the one that goes away.
    "windowed": ("call enterWindowedMode\npost WM_HOTKEY 2\nwait 300\n", "wait 1500"),
}


def kiosk_layout_lines(layout, monitors):
    """The decision line of a fit or span over MONITORS, and the rectangle it places the window on."""
    if layout == "fit":
        index = (len(monitors) - 1) // 2
        return "fit monitors=%d index=%d" % (len(monitors), index), monitors[index]
    union = [min(m[0] for m in monitors), min(m[1] for m in monitors),
             max(m[2] for m in monitors), max(m[3] for m in monitors)]
    return "span monitors=%d" % len(monitors), union


def display_change_lines(layout, monitors):
    """What the kiosk reports for one display change, and where its window ends up (None: where
    it was)."""
    if layout == "windowed":
        return ["WM_DISPLAYCHANGE"], None
    decision, rect = kiosk_layout_lines(layout, monitors)
    tick = ["resync timer fire", decision]
    return (["WM_DISPLAYCHANGE", "debounced resync scheduled"] + tick +
            [placed("applied", layout, rect), "resync follow-up scheduled"] + tick +
            [placed("skip unchanged", layout, rect)]), rect


@pytest.mark.live
@pytest.mark.parametrize("layout", sorted(LIVE_SETUPS))
def test_monitor_switched_off_and_on(kiosk, layout):
    setup, settled = LIVE_SETUPS[layout]
    run = kiosk.run(setup + "probe before\nstage unplug\nwait-event timeout=15000 WM_DISPLAYCHANGE\n"
                    + settled + "\nprobe unplugged\nstage replug\n"
                    "wait-event timeout=15000 WM_DISPLAYCHANGE\n" + settled + "\nprobe replugged\n"
                    "call destroy\n",
                    at_stage={"unplug": lambda: kiosk.launcher.switch_output("DUMMY2", "off"),
                              "replug": lambda: kiosk.launcher.switch_output("DUMMY2", "on")})
    assert run.rc == 0, "exit code"
    probes = {p["label"]: p["top"]["rect"] for p in run.events("probe")}
    fit_line, fit_rect = kiosk_layout_lines("fit", LIVE_ALL)
    lines = [fit_line, placed("applied", "fit", fit_rect)]
    if layout == "span":
        decision, rect = kiosk_layout_lines("span", LIVE_ALL)
        lines += [decision, placed("applied", "span", rect)]
    # Windowed: moved onto the right-hand monitor; once that goes, centred in the work area of
    # the nearest one that is left.
    before = [1920, 140, 3200, 940] if layout == "windowed" else kiosk_layout_lines(layout, LIVE_ALL)[1]
    assert probes.get("before") == before, "window before the change"

    unplugged, rect = display_change_lines(layout, LIVE_WITHOUT_RIGHT)
    if layout == "windowed":
        rect = [320, 140, 1600, 940]
        unplugged.append(placed("applied", "windowed", rect))
    assert probes.get("unplugged") == rect, "window after the right-hand monitor went"
    replugged, back = display_change_lines(layout, LIVE_ALL)
    assert probes.get("replugged") == (back or rect), "window after it came back"

    assert run.kiosk_lines == lines + unplugged + replugged, "event lines"
    check_sends_match_lines(run)
