#!/usr/bin/env bash
# The orvalen-codec --json contract, end to end through the executable: stdout, stderr and
# exit code of each case must match exactly.
# Usage: orvalen_codec_cli_test.sh PATH/TO/orvalen-codec
set -u
tool=$1
failures=0
cases=0

# check EXPECTED_STDOUT EXPECTED_STDERR EXPECTED_RC -- ARGS...
check() {
  local want_out=$1 want_err=$2 want_rc=$3
  shift 4
  local out err rc
  out=$("$tool" "$@" 2>/tmp/orvalen_codec_cli_err.$$)
  rc=$?
  err=$(cat /tmp/orvalen_codec_cli_err.$$)
  cases=$((cases + 1))
  if [ "$out" != "$want_out" ] || [ "$rc" != "$want_rc" ] || { [ "$want_err" != "*" ] && [ "$err" != "$want_err" ]; }; then
    failures=$((failures + 1))
    printf 'FAIL: %s\n  stdout: %s\n  want:   %s\n  stderr: %s\n  want:   %s\n  rc: %s (want %s)\n' \
      "$*" "$out" "$want_out" "$err" "$want_err" "$rc" "$want_rc"
  fi
}

read_fail="Invalid read in StandardCodecByteStreamReader"
not_name="Invalid method call; method name is not a string."

# encode: values of every kind
check '00' '' 0 -- encode --json null
check '01' '' 0 -- encode --json true
check '02' '' 0 -- encode --json false
check '03ffffffff' '' 0 -- encode --json '{"int32": -1}'
check '040100000000000000' '' 0 -- encode --json '{"int64": 1}'
check '040000000000000080' '' 0 -- encode --json '{"int64": -9223372036854775808}'
check '0600000000000000000000000000f03f' '' 0 -- encode --json '{"float64": "3FF0000000000000"}'
check '0703616263' '' 0 -- encode --json '{"string": "61 62 63"}'
check '0803010203' '' 0 -- encode --json '{"uint8s": "010203"}'
check '0901000001000000' '' 0 -- encode --json '{"int32s": [1]}'
check '0900' '' 0 -- encode --json '{"int32s": []}'
check '0e00' '' 0 -- encode --json '{"float32s": []}'
check '0e0100000000803f' '' 0 -- encode --json '{"float32s": ["3f800000"]}'
check '0a01000000000000ffffffffffffffff' '' 0 -- encode --json '{"int64s": [-1]}'
check '0b01000000000000000000000000f87f' '' 0 -- encode --json '{"float64s": ["7ff8000000000000"]}'
check '0c020301000000070161' '' 0 -- encode --json '{"list": [{"int32": 1}, {"string": "61"}]}'
check '0d0207016103020000000701620301000000' '' 0 -- encode --json \
  '{"map": [[{"string": "62"}, {"int32": 1}], [{"string": "61"}, {"int32": 2}], [{"string": "62"}, {"int32": 3}]]}'
check '0d01060000000000000000000000000000' '' 0 -- encode --json \
  '{"map": [[{"float64": "0000000000000000"}, null], [{"float64": "8000000000000000"}, true]]}'

# decode: values, positions, short input and its lines
check '{"value": {"list": [{"int32": 1}, {"string": "61"}]}, "position": 10}' '' 0 -- decode --json '0C020301000000070161'
check '{"value": {"string": "616263"}, "position": 5}' '' 0 -- decode --json '05 03 61 62 63'
check '{"value": {"string": "0000000000"}, "position": 2}' "$read_fail" 0 -- decode --json '07 05 61 62'
check '{"value": {"int32": 0}, "position": 1}' "$read_fail" 0 -- decode --json '0301'
check '{"value": {"int32s": []}, "position": 4}' "$read_fail" 0 -- decode --json '0900'
check '{"value": {"int32s": []}, "position": 4}' '' 0 -- decode --json '09000000'
check '{"value": null, "position": 0}' "$read_fail" 0 -- decode --json ''
check '{"value": null, "position": 1}' 'Unknown type in StandardCodecSerializer::ReadValueOfType: 20' 0 -- decode --json '14 01'
check '{"value": {"map": [[null, null]]}, "position": 6}' '' 0 -- decode --json '0d0200000000'
check '{"value": {"float64": "8000000000000000"}, "position": 16}' '' 0 -- decode --json '06000000000000000000000000000080'
check '{"value": {"float32s": ["3f800000", "7fc00001"]}, "position": 12}' '' 0 -- decode --json '0e02 0000 0000803f 0100c07f'
check '{"value": {"int64s": [-2]}, "position": 16}' '' 0 -- decode --json '0a01000000000000feffffffffffffff'
check '{"value": {"uint8s": ""}, "position": 2}' '' 0 -- decode --json '0800'
check '{"value": null, "position": 6}' 'Size 65537 exceeds the remaining 0 bytes in StandardCodecSerializer::ReadValueOfType' 0 -- decode --json '07ff01000100'

# method calls and envelopes
check '0703666f6f00' '' 0 -- encode-call --json 666f6f
check '0703666f6f00' '' 0 -- encode-call --json 666F6F null
check '0701780600000000000000000000f03f' '' 0 -- encode-call --json 78 '{"float64": "3ff0000000000000"}'
check '0000' '' 0 -- encode-success --json
check '000305000000' '' 0 -- encode-success --json '{"int32": 5}'
check '010701450000' '' 0 -- encode-error --json 45 ''
check '0107014507016d0301000000' '' 0 -- encode-error --json 45 6d '{"int32": 1}'
check '0107000000' '' 0 -- encode-error --json '' ''
check '{"method": "666f6f", "arguments": null}' '' 0 -- decode-call --json '07 03 66 6f 6f 00'
check '{"method": "666f6f", "arguments": null}' "$read_fail" 0 -- decode-call --json '0703666f6f'
check '{"method": "61", "arguments": {"int32": 2}}' '' 0 -- decode-call --json '05016103 02000000'
check 'null' "$not_name" 0 -- decode-call --json '0301000000'
check 'null' "$read_fail
$not_name" 0 -- decode-call --json ''
check '{"success": null}' '' 0 -- decode-reply --json '0000'
check '{"success": {"int32": 5}}' '' 0 -- decode-reply --json '000305000000'
check '{"success": null}' "$read_fail" 0 -- decode-reply --json '00'
check '{"success": null}' "$read_fail
$read_fail" 0 -- decode-reply --json ''
check '{"error": {"code": "45", "message": "", "details": null}}' '' 0 -- decode-reply --json '010701450000'
check '{"error": {"code": "45", "message": "6d", "details": {"int32": 1}}}' '' 0 -- decode-reply --json '0107014507016d0301000000'
check 'null' '' 0 -- decode-reply --json '02'
check 'null' '' 0 -- decode-reply --json '01 03 01000000 00 00'

# bad input to the tool itself: one line on stderr, exit 2, nothing on stdout
check '' '*' 2 -- decode --json 'zz'
check '' '*' 2 -- decode --json '123'
check '' '*' 2 -- encode --json '{"int32": 2147483648}'
check '' '*' 2 -- encode --json '{"int32": 1.5}'
check '' '*' 2 -- encode --json '{"float64": "3ff0"}'
check '' '*' 2 -- encode --json '{"list": [1]}'
check '' '*' 2 -- encode --json '{"int32": 1'
check '' '*' 2 -- encode --json '{"unknown": 1}'
check '' '*' 2 -- encode-error --json 45
check '' '*' 2 -- frobnicate --json 00
for args in "decode --json zz" "encode --json {" "encode-call --json 0g"; do
  lines=$($tool $args 2>&1 >/dev/null | wc -l)
  cases=$((cases + 1))
  if [ "$lines" != 1 ]; then failures=$((failures + 1)); echo "FAIL: $args wrote $lines stderr lines"; fi
done

rm -f /tmp/orvalen_codec_cli_err.$$
echo "$((cases - failures)) of $cases cases passed"
[ $failures -eq 0 ]
