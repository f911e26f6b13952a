"""The desk's monitor layouts, from scripts/desk-layouts.json, and the X server set-up each needs."""
import json
import pathlib
from typing import NamedTuple

TABLE = pathlib.Path(__file__).resolve().parent.parent / "desk-layouts.json"
# The dummy driver shows the screen's first mode on this output; the other outputs start empty.
FIRST_OUTPUT = "DUMMY0"


class LayoutError(Exception):
    pass


class Monitor(NamedTuple):
    left: int
    top: int
    width: int
    height: int
    primary: bool
    output: str

    @property
    def mode(self):
        return "%dx%d" % (self.width, self.height)


class Layout(NamedTuple):
    name: str
    xorg: str
    monitors: tuple
    modelines: dict
    work_area: tuple = None  # (left, top, width, height) in Windows coordinates, or None

    @property
    def origin(self):
        """The desk's top-left corner in Windows coordinates: X coordinates count from there."""
        return min(m.left for m in self.monitors), min(m.top for m in self.monitors)

    @property
    def size(self):
        x, y = self.origin
        return (max(m.left + m.width for m in self.monitors) - x,
                max(m.top + m.height for m in self.monitors) - y)

    def x_position(self, monitor):
        x, y = self.origin
        return monitor.left - x, monitor.top - y

    @property
    def primary(self):
        return next(m for m in self.monitors if m.primary)

    def xorg_config(self):
        """The Xorg configuration. Wine makes screen 0 of the ServerLayout its primary monitor at
        0,0 and shifts the others by its origin, so the primary is placed first."""
        xinerama = self.xorg == "xinerama"
        if xinerama:
            screens = [("S%d" % i, m.mode, m.width, m.height, self.x_position(m))
                       for i, m in enumerate(self.monitors)]
        else:
            width, height = self.size
            screens = [("S0", self.primary.mode, width, height, (0, 0))]
        text = [SERVER_FLAGS % ("true" if xinerama else "false"), 'Section "Monitor"',
                '  Identifier "Monitor"', "  HorizSync 5.0 - 1000.0", "  VertRefresh 5.0 - 200.0"]
        text += ['  Modeline "%s" %s' % item for item in self.modelines.items()]
        text.append("EndSection")
        for ident, mode, width, height, _ in screens:
            text.append(SCREEN % {"id": ident, "mode": mode, "width": width, "height": height})
        text += ['', 'Section "ServerLayout"', '  Identifier "Desk"']
        placed = sorted(screens, key=lambda s: s[4] != self.x_position(self.primary))
        text += ['  Screen %d "%s" %d %d' % (n, s[0], s[4][0], s[4][1]) for n, s in enumerate(placed)]
        text.append("EndSection")
        return "\n".join(text) + "\n"

    def net_workarea(self):
        """The root window's _NET_WORKAREA value ("x,y,width,height" in X coordinates) that gives
        the layout its work area, or None when every monitor keeps its whole rectangle."""
        if self.work_area is None:
            return None
        left, top, width, height = self.work_area
        x, y = self.origin
        return "%d,%d,%d,%d" % (left - x, top - y, width, height)

    def xrandr_steps(self):
        """The xrandr calls that arrange a randr desk's outputs as its monitors: the empty outputs
        are given their modes, then every output is placed at once."""
        if self.xorg != "randr":
            return []
        steps = [["--addmode", m.output, m.mode] for m in self.monitors if m.output != FIRST_OUTPUT]
        place = []
        for m in self.monitors:
            place += ["--output", m.output, "--mode", m.mode, "--pos", "%dx%d" % self.x_position(m)]
            place += ["--primary"] if m.primary else []
        return steps + [place]


SERVER_FLAGS = """Section "ServerFlags"
  Option "Xinerama" "%s"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
  Option "BlankTime" "0"
  Option "StandbyTime" "0"
  Option "SuspendTime" "0"
  Option "OffTime" "0"
EndSection
"""

SCREEN = """
Section "Device"
  Identifier "D%(id)s"
  Driver "dummy"
  VideoRam 64000
EndSection

Section "Screen"
  Identifier "%(id)s"
  Device "D%(id)s"
  Monitor "Monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "%(mode)s"
    Virtual %(width)d %(height)d
  EndSubSection
EndSection"""


def load(path=TABLE):
    """Every layout of the table by name; a table the desk cannot set up raises LayoutError."""
    try:
        with open(path, encoding="utf-8") as f:
            table = json.load(f)
        modelines = dict(table["modelines"])
        layouts = {name: _layout(name, entry, modelines) for name, entry in table["layouts"].items()}
    except (OSError, ValueError, KeyError, TypeError) as error:
        raise LayoutError("cannot read the layout table %s: %s: %s" % (path, type(error).__name__, error))
    if not layouts:
        raise LayoutError("the layout table %s has no layout" % path)
    return layouts


def _rectangle(name, what, entry):
    """LEFT, TOP, WIDTH, HEIGHT of a table entry: whole numbers, the size positive."""
    values = tuple(entry[k] for k in ("left", "top", "width", "height"))
    if not all(type(v) is int for v in values) or values[2] <= 0 or values[3] <= 0:
        raise LayoutError("layout %s: %s needs whole left, top and a positive size: %s"
                          % (name, what, entry))
    return values


def _layout(name, entry, modelines):
    if entry["xorg"] not in ("xinerama", "randr"):
        raise LayoutError("layout %s: xorg is %r, not xinerama or randr" % (name, entry["xorg"]))
    monitors = []
    for m in entry["monitors"]:
        values = _rectangle(name, "a monitor", m)
        monitors.append(Monitor(*values, m.get("primary") is True, m.get("output", "")))
    work_area = None
    if "work_area" in entry:
        work_area = _rectangle(name, "the work area", entry["work_area"])
    layout = Layout(name, entry["xorg"], tuple(monitors), modelines, work_area)
    primaries = [m for m in monitors if m.primary]
    if len(primaries) != 1 or (primaries[0].left, primaries[0].top) != (0, 0):
        raise LayoutError("layout %s: exactly one monitor is primary, at 0,0" % name)
    if monitors != sorted(monitors, key=lambda m: (m.left, m.top)):
        raise LayoutError("layout %s: monitors are listed left to right, then top to bottom" % name)
    missing = sorted({m.mode for m in monitors} - set(modelines))
    if missing:
        raise LayoutError("layout %s: no modeline for %s" % (name, ", ".join(missing)))
    outputs = [m.output for m in monitors]
    if layout.xorg == "randr" and (len(set(outputs)) != len(outputs) or not all(outputs)
                                   or primaries[0].output != FIRST_OUTPUT):
        raise LayoutError("layout %s: each monitor needs an output of its own, the primary %s"
                          % (name, FIRST_OUTPUT))
    return layout
