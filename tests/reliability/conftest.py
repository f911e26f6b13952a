# The fault scenarios (reliability_e2e.py) share the end-to-end suite's options and `kiosk` fixture;
# their runs get longer (--run-timeout) and may leave bundle files out.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from desk_fixtures import kiosk, pytest_addoption, pytest_configure  # noqa: E402,F401
