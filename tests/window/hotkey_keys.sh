#!/usr/bin/env bash
# Drives window_hotkey_probe.exe on the "two" desk with real key presses (XTEST through xdotool).
# usage: hotkey_keys.sh PROBE.exe      (run by scripts/desk, which sets DISPLAY and WINEPREFIX)
# The pointer is put on the window first: without a window manager the X keyboard focus follows
# the pointer. Exits with the probe's exit code.
set -u
probe=${1:?usage: hotkey_keys.sh PROBE.exe}
out=$(mktemp)
trap 'rm -f "$out"' EXIT

/usr/lib/wine/wine64 "$probe" >"$out" 2>&1 &
pid=$!

wait_for() {  # wait_for LINE: until the probe printed LINE; fails when it ended first or after 30 s
  local i
  for i in $(seq 1 600); do
    grep -qx "$1" <(tr -d '\r' <"$out") && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

if wait_for "ready left"; then
  xdotool mousemove 900 500 sleep 0.1 key super+shift+Right
  if wait_for "ready right"; then
    xdotool mousemove 2800 500 sleep 0.1 key super+shift+Left
  fi
fi
wait "$pid"
rc=$?
tr -d '\r' <"$out"
exit $rc
