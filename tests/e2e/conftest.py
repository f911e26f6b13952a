# The end-to-end cases (test_kiosk_e2e.py) get their options and the `kiosk` fixture from here.
from desk_fixtures import kiosk, pytest_addoption, pytest_configure  # noqa: F401
