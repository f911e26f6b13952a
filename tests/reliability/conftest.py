# The fault scenarios (reliability_e2e.py) get their options and the `kiosk` fixture from here:
# the end-to-end fixture with a harness that can leave bundle files out and set the environment.
import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import kiosk_e2e  # noqa: E402
from desk_fixtures import desk_context, make_kiosk, pytest_addoption, pytest_configure  # noqa: E402,F401


class Harness(kiosk_e2e.Harness):
    """The end-to-end bundle, minus the files a case wants missing."""

    def run_kiosk(self, name, scenario, args=(), launcher=False, remove=(), env=None):
        folder = os.path.join(self.work_dir, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "data", "flutter_assets"))
        for f in kiosk_e2e.BUNDLE_FILES:
            shutil.copy2(os.path.join(self.bin_dir, f), folder)
        with open(os.path.join(folder, "data", "icudtl.dat"), "wb"):
            pass
        with open(os.path.join(folder, "data", "app.so"), "w") as f:
            f.write("watchdog 30000\n" + scenario)
        for path in remove:
            target = os.path.join(folder, path)
            if os.path.isdir(target):
                shutil.rmtree(target)
            else:
                os.remove(target)
        full = [self.desk, "exec", "--name", self.desk_name, "--build", self.build_dir,
                "--timeout", "200", "--debug-out", os.path.join(folder, "debug.txt"), "--",
                os.path.join(folder, "orvalen.exe")] + list(args)
        p = subprocess.run(full, cwd=folder, capture_output=True, text=True, errors="replace",
                           env=dict(os.environ, **(env or {})))
        for stream, text in (("stdout.txt", p.stdout), ("stderr.txt", p.stderr)):
            with open(os.path.join(folder, stream), "w") as f:
                f.write(text)
        return kiosk_e2e.Run(folder, p.returncode, p.stdout, p.stderr)


@pytest.fixture
def kiosk(request, desk_context):
    """A kiosk runner for one case; its run() also takes REMOVE (bundle paths) and ENV."""
    return make_kiosk(request, desk_context, Harness)
