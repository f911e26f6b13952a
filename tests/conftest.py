"""The pytest side of both desk suites (e2e/test_kiosk_e2e.py, reliability/reliability_e2e.py):
command-line options, group markers and the `kiosk` fixture; every case is named test_*.

The suites run inside `scripts/desk run --layout three -- python3 -m pytest FILE -m GROUP
--bin ... --work ... --desk ... --build ...`, which exports ORVALEN_DESK_NAME. CTest passes this
folder as --rootdir. pytest puts this folder on sys.path as it imports this file, which is how both
suites import the shared module as e2e.kiosk_e2e.
"""
import os
import re

import pytest

# Its checks are plain asserts: rewritten, a failure shows both sides.
pytest.register_assert_rewrite("e2e.kiosk_e2e")
from e2e import kiosk_e2e  # noqa: E402

GROUPS = ("startup", "channel", "routing", "live", "storms", "floods", "lifetime")


def pytest_addoption(parser):
    group = parser.getgroup("desk", "orvalen on a virtual desk")
    group.addoption("--bin", help="folder with orvalen.exe and the DLLs")
    group.addoption("--work", help="folder for the cases' bundles")
    group.addoption("--desk", help="the scripts/desk program")
    group.addoption("--build", help="the windows build tree")
    group.addoption("--run-timeout", type=int, default=60, help="seconds a kiosk run may take")


def pytest_configure(config):
    for name in GROUPS:
        config.addinivalue_line("markers", "%s: a group of desk cases, one CTest test" % name)


class Kiosk:
    """Runs the kiosk for one case; the case checks what came out with plain asserts."""

    def __init__(self, launcher, name):
        self.launcher = launcher
        self.name = name

    def run(self, scenario, args=(), label="", **options):
        r = self.launcher.run_kiosk(self.name + (("-" + label) if label else ""), scenario,
                                    args=args, **options)
        # Shown by pytest for a failing case only.
        print("run %s:\n    %s" % (r.folder, r.describe().replace("\n", "\n    ")))
        return r


@pytest.fixture
def kiosk(request):
    """A kiosk runner for one case: lays out the bundle and runs orvalen.exe on the desk."""
    options = [request.config.getoption(name) for name in ("bin", "work", "desk", "build")]
    desk_name = os.environ.get("ORVALEN_DESK_NAME", "")
    if not all(options) or not desk_name:
        pytest.fail("run me on a desk: scripts/desk run --layout three -- python3 -m pytest FILE "
                    "--bin DIR --work DIR --desk PROGRAM --build DIR", pytrace=False)
    groups = [g for g in GROUPS if request.node.get_closest_marker(g)]
    if len(groups) != 1:
        pytest.fail("a desk case belongs to exactly one group of %s: %s" % (GROUPS, groups),
                    pytrace=False)
    # Absolute: each run starts in its case's folder.
    bin_dir, work, desk, build = (os.path.abspath(option) for option in options)
    launcher = kiosk_e2e.Launcher(bin_dir, os.path.join(work, groups[0]), desk, build, desk_name,
                                  request.config.getoption("run_timeout"))
    # A parametrised case's folder: test_name[a/b.c] -> name-a_b.c
    name = re.sub(r"[^\w.-]+", "_", request.node.name[len("test_"):].replace("[", "-").rstrip("]"))
    return Kiosk(launcher, name)
