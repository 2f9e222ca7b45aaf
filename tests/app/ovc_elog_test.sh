#!/usr/bin/env bash
# Writes a trace log through the real writer's format and checks that
# ovc-elog gives back every message with its tick count, and flags junk.
set -eu
elog=${1:?usage: ovc_elog_test.sh OVC_ELOG}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# "AB" at tick 0x00000010: key = 0x10 ^ 0xA5 = 0xB5.
#   'A' 0x41 ^ 0xB5 = 0xF4, key ^= 0x41 -> 0xF4; 'B' 0x42 ^ 0xF4 = 0xB6
printf '00000010F4B6\n0000FFFFnot-hex\n' > "$dir/log"
set +e
out=$("$elog" "$dir/log" 2>"$dir/err")
rc=$?
set -e
[ "$out" = "00000010 AB" ] || { echo "unexpected output: $out"; exit 1; }
[ $rc -eq 1 ] || { echo "expected exit 1 for a junk line, got $rc"; exit 1; }
grep -q ':2: not a trace line' "$dir/err" || { echo "junk line not reported"; cat "$dir/err"; exit 1; }

# The default file is <OVC_TEMP>/Orvane.elog.
mkdir "$dir/temp"
printf '00000010F4B6\n' > "$dir/temp/Orvane.elog"
out=$(OVC_TEMP="$dir/temp" "$elog")
[ "$out" = "00000010 AB" ] || { echo "default log not read: $out"; exit 1; }
echo "ovc-elog ok"
