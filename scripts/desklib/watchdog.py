"""Ends a `scripts/desk run` desk whose desk process was killed outright (no clean-up of its own
could run). Started in a session of its own by `run`; acts only while the desk's state remains,
which the desk process removes when it tears the desk down itself.

usage: watchdog.py DESK_PID STATE_DIR"""
import os
import pathlib
import select
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from desklib.desk import tear_down  # noqa: E402
from desklib.proc import alive  # noqa: E402


def await_end(pid):
    try:
        fd = os.pidfd_open(pid)
    except ProcessLookupError:
        return
    except OSError:
        # A kernel without pidfds: look once a second, as PIDs are not reused that fast.
        while alive(pid):
            time.sleep(1)
        return
    try:
        poll = select.poll()
        poll.register(fd, select.POLLIN)
        poll.poll()
    finally:
        os.close(fd)


def main(argv):
    if len(argv) != 2 or not argv[0].isdigit():
        print(__doc__.splitlines()[-1], file=sys.stderr)
        return 2
    await_end(int(argv[0]))
    tear_down(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
