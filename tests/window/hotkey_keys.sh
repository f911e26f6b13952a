#!/usr/bin/env bash
# Drives window_hotkey_probe.exe with real key presses (XTEST through xdotool): for each line
# "press X Y KEYS..." the probe prints, the pointer goes to X,Y (without a window manager the X
# keyboard focus follows it) and the keys are pressed.
# usage: hotkey_keys.sh PROBE.exe      (run by scripts/desk, which sets DISPLAY and WINEPREFIX)
# Passes the probe's output through and exits with its exit code.
set -u
probe=${1:?usage: hotkey_keys.sh PROBE.exe}

/usr/lib/wine/wine64 "$probe" 2>&1 | while IFS= read -r line; do
  line=${line%$'\r'}
  printf '%s\n' "$line"
  if [[ $line == "press "* ]]; then
    read -r _ x y keys <<<"$line"
    # shellcheck disable=SC2086  # one word per key combination
    xdotool mousemove "$x" "$y" sleep 0.1 key $keys
  fi
done
exit "${PIPESTATUS[0]}"
