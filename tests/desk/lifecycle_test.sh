#!/usr/bin/env bash
# The desk's life cycle seen from outside: exit codes pass through, each desk gets its own display
# and prefix, and the desk is gone afterwards whether the command succeeded, failed, timed out or
# the desk script itself was killed. Named desks: start is idempotent, env/exec/stop work.
# usage: lifecycle_test.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
export ORVALEN_DESK_BUILD=$1
scratch=$2
desk=$(cd "$(dirname "$0")/../.." && pwd)/scripts/desk
rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
display_up() { xdpyinfo -display "$1" >/dev/null 2>&1; }
# Waits up to $2 seconds for display $1 to go away.
gone_within() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do display_up "$1" || return 0; sleep 0.1; done
  return 1
}
record='echo "$DISPLAY $WINEPREFIX $ORVALEN_DESK_NAME" >"$0"'

# Usage errors exit 2 before anything starts.
rc=0; "$desk" run --layout nine -- true 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "unknown layout: exit $rc, expected 2"
rc=0; "$desk" run --layout one 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "no command: exit $rc, expected 2"

# A failing command: its exit code comes back, the desk was live while it ran, and is gone after.
rc=0
"$desk" run --layout two -- bash -c "$record"'; xdpyinfo -display "$DISPLAY" -ext XINERAMA >"$0.x"; exit 3' \
  "$scratch/fail.txt" || rc=$?
[ $rc -eq 3 ] || fail "failing command: exit $rc, expected 3"
read -r d p n <"$scratch/fail.txt"
[[ "$d" =~ ^:([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -ge 20 ] || fail "display '$d' is not :20 or above"
[ -f "$p/system.reg" ] || fail "WINEPREFIX '$p' is not a Wine prefix"
[ "$(grep -c 'head #' "$scratch/fail.txt.x")" -eq 2 ] || fail "layout two did not show two Xinerama heads"
gone_within "$d" 5 || fail "desk $d still up after the command failed"
[ ! -e "$ORVALEN_DESK_BUILD/desk/desks/$n" ] || fail "state of $n left behind"

# A command that overruns its time: 124, and the desk is gone.
start=$SECONDS rc=0
"$desk" run --layout one --timeout 2 -- bash -c "$record"'; sleep 60' "$scratch/timeout.txt" 2>/dev/null || rc=$?
[ $rc -eq 124 ] || fail "timeout: exit $rc, expected 124"
[ $((SECONDS - start)) -lt 30 ] || fail "timeout took $((SECONDS - start)) s"
read -r d p n <"$scratch/timeout.txt"
gone_within "$d" 5 || fail "desk $d still up after the timeout"

# Two desks at once: different displays and prefixes.
"$desk" run --layout one -- bash -c "$record"'; sleep 3' "$scratch/a.txt" & a=$!
"$desk" run --layout one -- bash -c "$record"'; sleep 3' "$scratch/b.txt" & b=$!
wait $a || fail "concurrent desk a failed"
wait $b || fail "concurrent desk b failed"
read -r da pa na <"$scratch/a.txt"
read -r db pb nb <"$scratch/b.txt"
[ "$da" != "$db" ] || fail "two concurrent desks shared display $da"
[ "$pa" != "$pb" ] || fail "two concurrent desks shared prefix $pa"

# The desk script killed outright (no trap can run): its watchdog still ends the desk.
"$desk" run --layout one -- bash -c "$record"'; sleep 60' "$scratch/killed.txt" 2>/dev/null & k=$!
for ((i = 0; i < 300; i++)); do [ -s "$scratch/killed.txt" ] && break; sleep 0.1; done
read -r d p n <"$scratch/killed.txt"
kill -KILL $k
wait $k 2>/dev/null || true
gone_within "$d" 10 || fail "desk $d still up 10 s after its script was killed"

# Interrupted: the command stops at once and the desk goes.
"$desk" run --layout one -- bash -c "$record"'; sleep 60' "$scratch/term.txt" 2>/dev/null & t=$!
for ((i = 0; i < 300; i++)); do [ -s "$scratch/term.txt" ] && break; sleep 0.1; done
read -r d p n <"$scratch/term.txt"
start=$SECONDS
kill -TERM $t
rc=0; wait $t || rc=$?
[ $rc -eq 143 ] || fail "TERM: exit $rc, expected 143"
[ $((SECONDS - start)) -lt 15 ] || fail "TERM took $((SECONDS - start)) s"
gone_within "$d" 5 || fail "desk $d still up after TERM"

# A named desk.
name=lifecycle-$$
trap '"$desk" stop --name "$name" >/dev/null 2>&1 || true' EXIT
"$desk" start --layout stacked --dpi 120 --name "$name" 2>/dev/null || fail "start"
"$desk" start --layout stacked --dpi 120 --name "$name" 2>/dev/null || fail "second identical start"
rc=0; "$desk" start --layout three --name "$name" 2>/dev/null || rc=$?
[ $rc -eq 1 ] || fail "start with other settings: exit $rc, expected 1"
env_out=$("$desk" env --name "$name")
[[ "$env_out" =~ ^export\ DISPLAY=:[0-9]+$'\n'export\ WINEPREFIX=.+$ ]] || fail "env printed: $env_out"
d=$(eval "$env_out"; echo "$DISPLAY")
display_up "$d" || fail "named desk $d is not up"
"$desk" exec --name "$name" -- bash -c "$record" "$scratch/named.txt" || fail "exec on named desk"
read -r de pe ne <"$scratch/named.txt"
[ "$de" = "$d" ] && [ "$ne" = "$name" ] || fail "exec ran on '$de' ($ne), expected $d ($name)"
"$desk" screenshot --name "$name" "$scratch/shot.png" || fail "screenshot"
[ "$(identify -format '%wx%h' "$scratch/shot.png" 2>/dev/null)" = "1920x2160" ] ||
  fail "screenshot of the stacked desk is not 1920x2160"
"$desk" stop --name "$name" || fail "stop"
gone_within "$d" 5 || fail "named desk $d still up after stop"
"$desk" stop --name "$name" || fail "second stop"
rc=0; "$desk" env --name "$name" >/dev/null 2>&1 || rc=$?
[ $rc -eq 1 ] || fail "env of a stopped desk: exit $rc, expected 1"

[ $failures -eq 0 ] && echo "lifecycle: all checks passed"
exit $(( failures > 0 ))
