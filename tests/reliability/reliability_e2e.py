#!/usr/bin/env python3
"""Fault scenarios of orvalen.exe with the stand-in engine, on the virtual three-monitor desk.

Storms of display and DPI changes, "destroy" at awkward moments, an app side that never answers,
floods of malformed channel messages, missing libraries and bundle files, and a long run whose
object and memory counts must stay flat. Bundles, runs and transcripts are those of the
end-to-end tests (tests/e2e/kiosk_e2e.py). Groups (pytest markers, one CTest test each): storms,
floods, lifetime; ../conftest.py provides the `kiosk` fixture.
"""
import pytest

from e2e import kiosk_e2e as k

APP = k.APP
WM_DPICHANGED, WM_DISPLAYCHANGE = k.WM_DPICHANGED, k.WM_DISPLAYCHANGE
WM_TIMER, RESYNC_TIMER = 0x0113, 1001
# STATUS_DLL_NOT_FOUND as the loader reports it; Wine's exit status carries its low byte.
DLL_NOT_FOUND = (0xC0000135, 0x35)


def lines_sent(run):
    """(ms, text) of every "onDisplayEvent" the kiosk sent, in order."""
    return [(e["ms"], e.get("text")) for e in run.display_sends()]


def sent_times(run, text):
    return [ms for ms, t in lines_sent(run) if t == text]


def top_level_times(run, number, wparam=None):
    """When the kiosk offered the engine each top-level message NUMBER: as it dispatched it."""
    return [e["ms"] for e in run.events("top-level-message")
            if e["number"] == number and wparam in (None, e["wparam"])]


# ------------------------------------------------------------------ storms

@pytest.mark.storms
def test_display_change_storm(kiosk):
    # 200 display changes in about 2 s while the fit is current: the timer is re-armed by each,
    # so exactly one tick follows 450 ms after the last, then one follow-up.
    storm = "burst 200 2000 post WM_DISPLAYCHANGE\n"
    run = kiosk.run(storm + "wait-event timeout=3000 resync timer fire\n"
                    "wait-event timeout=3000 resync timer fire\nwait 900\n"
                   "probe after the storm\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    assert run.kiosk_lines.count("WM_DISPLAYCHANGE") == 200, "display changes seen"
    scheduled = sent_times(run, "debounced resync scheduled")
    fires = sent_times(run, "resync timer fire")
    assert len(scheduled) == 200, "debounced resync lines"
    # Each delay is bracketed by the stand-in's stamps: from the message that arms the timer (taken
    # before the arming) or the line sent after it, to the tick as the engine is offered it.
    changes = top_level_times(run, WM_DISPLAYCHANGE)
    ticks = top_level_times(run, WM_TIMER, wparam=RESYNC_TIMER)
    follow_armed = sent_times(run, "resync follow-up scheduled")
    assert len(fires) == 2, "timer runs after the storm"
    assert [len(changes), len(ticks), len(follow_armed)] == [200, 2, 1], "stamps"
    after = ticks[0] - changes[-1], ticks[0] - scheduled[-1]
    assert after[0] >= 445 and after[1] < 570, (
        "first tick %d ms after the last display change, %d after its arming (450)" % after)
    assert fires[0] > scheduled[-1] and all(s < fires[0] for s in scheduled), (
        "no tick inside the storm")
    after = ticks[1] - ticks[0], ticks[1] - follow_armed[0]
    assert after[0] >= 295 and after[1] < 420, (
        "follow-up %d ms after the first tick, %d after its arming (300)" % after)
    storm_ms = scheduled[-1] - scheduled[0]
    assert 1800 <= storm_ms <= 2300, "the storm took %d ms (2 s)" % storm_ms
    assert run.kiosk_lines.count("resync follow-up scheduled") == 1, "follow-ups"
    probes = run.events("probe")
    assert probes, "probe after the storm"
    assert probes[-1]["top"]["rect"] == k.FIT_RECT, "window on the preferred monitor"
    k.check_sends_match_lines(run)


@pytest.mark.storms
def test_dpi_change_storm_during_span(kiosk):
    storm = "".join("burst 25 250 post WM_DPICHANGED %d -1920 0 1280 1080\n" % dpi
                    for dpi in (96, 120, 144, 192))
    run = kiosk.run("call spanAllDisplays\nwait-event applied (span)*\n" + storm +
                    "wait-event timeout=3000 resync timer fire\n"
                   "wait-event timeout=3000 resync timer fire\nwait 900\n"
                   "probe after the storm\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    assert run.kiosk_lines.count("WM_DPICHANGED (kiosk debounce)") == 100, "DPI changes debounced"
    offered = [e for e in run.events("top-level-message") if e["number"] == WM_DPICHANGED]
    assert offered == [], "DPI changes offered to the engine during the span"
    assert run.kiosk_lines.count("resync timer fire") == 2, "timer runs after the storm"
    probes = run.events("probe")
    assert probes, "probe after the storm"
    assert probes[-1]["top"]["rect"] == k.SPAN_RECT, "window still spans every monitor"
    k.check_sends_match_lines(run)


# ------------------------------------------------------------------ destroy at awkward moments

@pytest.mark.storms
def test_destroy_with_resync_pending(kiosk):
    run = kiosk.run("post WM_DISPLAYCHANGE\nwait-event debounced resync scheduled\n"
                    "call destroy\nwait 1000\n")
    assert run.rc == 0, "exit code"
    assert "debounced resync scheduled" in run.kiosk_lines, "a resync was pending"
    assert run.kiosk_lines.count("resync timer fire") == 0, "ticks after destroy"
    assert run.first("engine-destroy") is not None, "engine shut down"


@pytest.mark.storms
def test_destroy_inside_call_burst(kiosk):
    before = "call fitPreferredDisplay\ncall spanAllDisplays\n" * 25
    after = "call fitPreferredDisplay\ncall enterWindowedMode\n" * 25
    run = kiosk.run("post WM_DISPLAYCHANGE\n" + before + "call destroy\n" + after)
    assert run.rc == 0, "exit code"
    delivered = run.first("message-delivered", bytes=k.hexs(k.method_call("destroy")))
    assert delivered is not None, "destroy delivered"
    later = run.transcript[run.index(delivered) + 1:]
    assert [e for e in later if e["ev"] in ("response", "messenger-send")] == [], (
        "responses or messages after destroy")
    answered = [e["bytes"] for e in run.events("response")]
    assert answered == ["00 00"] * 50, "the 50 calls before destroy"


# ------------------------------------------------------------------ an app side that never answers

@pytest.mark.floods
def test_display_events_never_answered(kiosk):
    # Each fit re-applied to an unchanged window sends two event lines; 5,000 fits give 10,000
    # "onDisplayEvent" messages that the Dart side leaves unanswered.
    # The counts are taken after 1,000 fits and at the end; the probes in between keep the
    # stand-in's own event log short (see the stand-in's `resources` step).
    body = "".join("burst 200 0 call fitPreferredDisplay\nresources %d\n" % (i * 200)
                   for i in range(1, 26))
    run = kiosk.run("on-display-event never\nwatchdog 170000\nresources start\n" + body +
                    "post WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    events = len(run.display_sends())
    assert events >= 10000, "onDisplayEvent messages sent: %d" % events
    assert all(a["mode"] == "never" for a in run.events("dart-answer")), "never answered"
    # The stand-in keeps at most 1,000 unconsumed event lines, so the growth is the kiosk's own.
    check_flat(kiosk, run, "1000", "5000", private_bound=1 << 20)


def check_flat(kiosk, run, start, end, private_bound):
    probes = {e["label"]: e for e in run.events("resources")}
    assert start in probes and end in probes, "resource lines %s" % sorted(probes)
    a, b = probes[start], probes[end]
    for key in ("gdi", "user", "handles", "private_bytes", "working_set"):
        assert a[key] >= 0 and b[key] >= 0, "%s measured: %r -> %r" % (key, a[key], b[key])
    # Wine answers GetGuiResources and GetProcessHandleCount with 0; its commit charge is real.
    assert a["private_bytes"] > 0, "private bytes measured: %r" % a["private_bytes"]
    assert b["gdi"] - a["gdi"] <= 2, "GDI objects %d -> %d" % (a["gdi"], b["gdi"])
    assert b["handles"] - a["handles"] <= 2, "handles %d -> %d" % (a["handles"], b["handles"])
    assert b["user"] - a["user"] <= 2, "USER objects %d -> %d" % (a["user"], b["user"])
    grown = b["private_bytes"] - a["private_bytes"]
    assert grown <= private_bound, "private bytes grew by %d (%d -> %d), bound %d" % (
        grown, a["private_bytes"], b["private_bytes"], private_bound)
    print("  %s: %s" % (kiosk.name, ", ".join("%s %d->%d" % (key, a[key], b[key]) for key in
                                                ("gdi", "user", "handles", "private_bytes", "working_set"))))


@pytest.mark.lifetime
def test_layout_cycles(kiosk):
    # 1,000 layout changes (span, fit, windowed and back) with the counts taken after a warm-up;
    # intermediate probes keep the stand-in's own event log short.
    cycle = ("call enterWindowedMode\ncall exitWindowedMode\ncall spanAllDisplays\n"
             "call fitPreferredDisplay\n")
    body = "resources start\n"
    for i in range(1, 251):
        body += cycle
        if i % 25 == 0:
            body += "resources %d\n" % (i * 4)
    run = kiosk.run("watchdog 170000\n" + body + "probe end\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    # Every cycle applies the span and the fit; the framed window has no line of its own.
    assert sum(1 for t in run.kiosk_lines if t.startswith("applied (span)")) == 250, "spans"
    assert sum(1 for t in run.kiosk_lines if t.startswith("applied (fit)")) == 251, (
        "fits (the first frame's included)")
    probes = run.events("probe")
    assert probes, "probe at the end"
    assert probes[-1]["top"]["rect"] == k.FIT_RECT, "fitted after the last cycle"
    check_flat(kiosk, run, "200", "1000", private_bound=1 << 20)


# ------------------------------------------------------------------ malformed messages

# Malformed messages, each broken another way, and whether the method name is unreadable: then
# the channel rejects the message with its diagnostic line; otherwise the codec reads what it can
# (a broken or missing argument is null) and the call reaches the window's handler as a method it
# does not know. Either way the answer must be the empty reply.
MALFORMED = [
    ("", True),                          # empty
    ("03 01 00 00 00", True),            # the method name is not a string
    ("14", True),                        # unknown type
    ("07 FF FF FF FF FF 61", True),      # a size beyond the message
    ("07 05 61 62", False),              # the name is cut short
    ("07 03 66 6F 6F", False),           # a name and no argument
    ("07 01 78 0C FF FF FF 7F", False),  # a list that claims 2^31 elements
    ("07 01 78 07 FE", False),           # a wide size prefix cut short
]


# Every line the codec may print for these messages, exactly.
DIAGNOSTICS = {
    "Invalid read in StandardCodecByteStreamReader",
    "Invalid method call; method name is not a string.",
    "Unknown type in StandardCodecSerializer::ReadValueOfType: 20",
    "Unknown type in StandardCodecSerializer::ReadValueOfType: 97",
    "Size 4294967295 exceeds the remaining 1 bytes in StandardCodecSerializer::ReadValueOfType",
}


@pytest.mark.floods
def test_malformed_flood(kiosk):
    each = 1250
    count = each * len(MALFORMED)
    sends = "".join("burst %d 0 send %s %s\n" % (each, APP, m) for m, _ in MALFORMED)
    run = kiosk.run("watchdog 170000\nresources start\n" + sends + "resources end\n"
                    "call fitPreferredDisplay\npost WM_CLOSE\n")
    assert run.rc == 0, "exit code"
    replies = k.replies_by_line(run)
    dart_sends = run.events("dart-send")
    assert len(dart_sends) == count, "malformed messages sent"
    # A burst's sends share their scenario line: every line has one empty reply per send.
    for line in sorted({s["line"] for s in dart_sends}):
        sizes = [r["size"] for r in replies.get(line, [])]
        sent = sum(1 for s in dart_sends if s["line"] == line)
        assert (sent, len(sizes), sorted(set(sizes))) == (each, each, [0]), (
            "sends, replies and reply sizes of scenario line %d" % line)
    call = run.first("dart-call", method="fitPreferredDisplay")
    assert call is not None, "the valid call was made"
    assert [r["bytes"] for r in replies.get(call["line"], [])] == ["00 00"], (
        "reply to the valid call")
    channel_line = "Unable to construct method call from message on channel " + APP
    stray = sorted(set(run.stderr_lines) - DIAGNOSTICS - {channel_line})
    assert stray == [], "stderr lines other than the codec's and the channel's diagnostics"
    rejected = each * sum(1 for _, unreadable in MALFORMED if unreadable)
    assert run.stderr_lines.count(channel_line) == rejected, (
        "one channel diagnostic line per message without a readable method name")
    assert run.kiosk_lines[2:] == [k.FIT, k.placed("skip unchanged", "fit", k.FIT_RECT)], (
        "event lines after the first fit: only those of the valid call")
    check_flat(kiosk, run, "start", "end", private_bound=2 << 20)


# ------------------------------------------------------------------ missing files

@pytest.mark.lifetime
@pytest.mark.parametrize("dll", ["window_manager_plugin.dll", "flutter_windows.dll"])
def test_missing_libraries(kiosk, dll):
    # Wine's loader names the library on its "err" channel, which the desk keeps quiet.
    run = kiosk.run("post WM_CLOSE\n", remove=[dll], env={"WINEDEBUG": "-all,err+module"})
    assert run.rc in DLL_NOT_FOUND, (
        "exit status without %s: %s (0xC0000135 or 53 expected)" % (dll, run.rc))
    assert dll in run.stderr, "stderr names %s: %r" % (dll, run.stderr[-400:])
    assert run.transcript == [], "nothing of the engine ran without %s" % dll
    print("  without %s: exit status %s" % (dll, run.rc))


@pytest.mark.lifetime
@pytest.mark.parametrize("path", ["data/icudtl.dat", "data/flutter_assets"])
def test_missing_bundle_file(kiosk, path):
    run = kiosk.run("post WM_CLOSE\n", remove=[path])
    assert run.rc == 1, "exit code"
    assert "Failed to create view controller." in run.stderr_lines, (
        "stderr line 'Failed to create view controller.': %r" % run.stderr[-500:])
    created = run.first("engine-create")
    assert created is not None and created.get("ok") is False, "engine creation refused"
    refused = run.first("engine-refused")
    assert refused is not None and refused["missing"].endswith(path.replace("/", "\\")), (
        "the refusal names %s: %r" % (path, refused))
    assert run.events("view-window-created") == [], "no view"
    # A real engine library may dereference a null handle; none may reach it.
    nulls = [e for e in run.transcript if e.get("detail") in ("null-engine", "null-controller")]
    assert nulls == [], "no call with a null engine or controller"
