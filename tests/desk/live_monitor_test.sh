#!/usr/bin/env bash
# On the three-live desk: Wine sees the layout's monitors, then one fewer once OUTPUT is switched
# off while the desk runs, then all of them again once it is back at MODE and POSITION.
# usage: live_monitor_test.sh LAYOUT_CHECK_EXE OUTPUT MODE POSITION MONITOR... -- MONITOR...
#        (the monitors as desk_layout_check takes them: all, then those left without OUTPUT)
set -euo pipefail
check=$1 output=$2 mode=$3 position=$4
shift 4
all=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do all+=("$1"); shift; done
[ $# -gt 0 ] || { echo "usage: see $0" >&2; exit 2; }
shift
without=("$@")
desk=$(dirname "$0")/../../scripts/desk
: "${ORVALEN_DESK_NAME:?run me with scripts/desk run --layout three-live}"
on_desk() { "$desk" exec --name "$ORVALEN_DESK_NAME" -- "$@"; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

on_desk "$check" three-live 96 none "${all[@]}" || fail "${#all[@]} monitors at the start"
on_desk xrandr --output "$output" --off
on_desk "$check" "three-live-without-$output" 96 none "${without[@]}" ||
  fail "${#without[@]} monitors after switching $output off"
on_desk xrandr --output "$output" --mode "$mode" --pos "$position"
on_desk "$check" three-live 96 none "${all[@]}" || fail "${#all[@]} monitors after switching $output back on"

[ $failures -eq 0 ] && echo "live monitors: all checks passed"
exit $(( failures > 0 ))
