#!/usr/bin/env bash
# Runs the debug-output probe on the desk this script was started on (by `scripts/desk run`) and
# checks the captured lines byte for byte, the exit code, stdout and stderr pass-through, and the
# command line as the program received it.
# usage: capture_test.sh PROBE_EXE SCRATCH_DIR
set -euo pipefail
probe=$1
scratch=$2
desk=$(dirname "$0")/../../scripts/desk
: "${ORVALEN_DESK_NAME:?run me with scripts/desk run}"
mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

expected=$scratch/expected.txt
{
  printf '%s\n' '[kiosk-display] ' 'span monitors=3' '\n' ''
  printf '%s\n' 'tab\there\r\nback\\slash "quoted" \x01\x7f end'
  printf '%s|after 300\n' "$(head -c 300 /dev/zero | tr '\0' x)"
  printf '%s\n' 'wide text'
  printf '%s|after 70000\n' "$(head -c 70000 /dev/zero | tr '\0' y)"
  printf '%s\n' 'arg 1 [7]' 'arg 2 [a]' 'arg 3 [b c]' 'arg 4 []' 'arg 5 [d"e]' 'arg 6 [back\\slash]'
  printf '%s\n' 'debugger present' 'no console window'
} >"$expected"

# First on the desk, read through a pipe: the program's output must end when the program does,
# not when the session processes that Wine starts alongside it end (seconds later, without the
# session keeper).
start=$(date +%s%N)
"$desk" exec --name "$ORVALEN_DESK_NAME" -- "$probe" 0 2>&1 | cat >"$scratch/piped.txt"
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
tr -d '\r' <"$scratch/piped.txt" | grep -qx 'probe stderr line' || fail "piped run lost stderr"
[ $elapsed_ms -lt 4000 ] || fail "a piped run took $elapsed_ms ms: something still held the pipe"

rc=0
"$desk" exec --name "$ORVALEN_DESK_NAME" --debug-out "$scratch/debug.txt" -- \
  "$probe" 7 a "b c" "" 'd"e' 'back\slash' >"$scratch/stdout.txt" 2>"$scratch/stderr.txt" || rc=$?
[ $rc -eq 7 ] || fail "exit code $rc, expected 7"
if ! cmp -s "$expected" "$scratch/debug.txt"; then
  fail "debug output differs:"
  diff <(cut -c1-120 "$expected") <(cut -c1-120 "$scratch/debug.txt") >&2 || true
fi
tr -d '\r' <"$scratch/stdout.txt" | grep -qx 'probe stdout line' || fail "stdout did not pass through: $(cat "$scratch/stdout.txt")"
tr -d '\r' <"$scratch/stderr.txt" | grep -qx 'probe stderr line' || fail "stderr did not pass through: $(cat "$scratch/stderr.txt")"

# Without the debugger: exit code and stderr still pass through, no capture is possible.
rc=0
"$desk" exec --name "$ORVALEN_DESK_NAME" --capture none -- "$probe" 0 >/dev/null 2>"$scratch/stderr-none.txt" || rc=$?
[ $rc -eq 0 ] || fail "exit code without capture $rc, expected 0"
tr -d '\r' <"$scratch/stderr-none.txt" | grep -qx 'probe stderr line' || fail "stderr without capture did not pass through"
rc=0
"$desk" exec --name "$ORVALEN_DESK_NAME" --capture none --debug-out "$scratch/x.txt" -- "$probe" 0 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "--debug-out with --capture none gave $rc, expected the usage error 2"

[ $failures -eq 0 ] && echo "capture: all checks passed"
exit $(( failures > 0 ))
