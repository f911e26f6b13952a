#!/usr/bin/env bash
# On the three-live desk: Wine sees the three monitors, then two once the right-hand one is
# switched off while the desk runs, then three again once it is back.
# usage: live_monitor_test.sh LAYOUT_CHECK_EXE
set -euo pipefail
check=$1
desk=$(dirname "$0")/../../scripts/desk
: "${ORVALEN_DESK_NAME:?run me with scripts/desk run --layout three-live}"
on_desk() { "$desk" exec --name "$ORVALEN_DESK_NAME" -- "$@"; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

on_desk "$check" three-live 96 none || fail "three monitors at the start"
on_desk xrandr --output DUMMY2 --off
on_desk "$check" three-live-right-off 96 none || fail "two monitors after switching the right one off"
on_desk xrandr --output DUMMY2 --mode 1280x1024 --pos 3840x0
on_desk "$check" three-live 96 none || fail "three monitors after switching it back on"

[ $failures -eq 0 ] && echo "live monitors: all checks passed"
exit $(( failures > 0 ))
