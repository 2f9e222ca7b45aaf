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

# Without OVC_TEMP it is the program's private folder, as the writer uses.
mkdir -p -m 700 "$dir/run/orvane"
printf '00000010F4B6\n' > "$dir/run/orvane/Orvane.elog"
out=$(env -u OVC_TEMP XDG_RUNTIME_DIR="$dir/run" "$elog")
[ "$out" = "00000010 AB" ] || { echo "private default log not read: $out"; exit 1; }
# A folder or an unreadable file is an error, never an empty log.
expect_refused() {  # PATH WORDS
  set +e
  "$elog" "$1" >"$dir/out" 2>"$dir/err"
  rc=$?
  set -e
  [ $rc -ne 0 ] || { echo "exit 0 for $1"; exit 1; }
  [ ! -s "$dir/out" ] || { echo "output for $1"; exit 1; }
  grep -q -- "$2" "$dir/err" || { echo "no '$2' for $1:"; cat "$dir/err"; exit 1; }
}
expect_refused "$dir/temp" "is a folder, not a file"
printf '00000010F4B6\n' > "$dir/locked.elog"
chmod 000 "$dir/locked.elog"
if [ "$(id -u)" -ne 0 ]; then  # root reads it anyway
  expect_refused "$dir/locked.elog" "Permission denied"
fi
expect_refused "$dir/missing.elog" "No such file"
echo "ovc-elog ok"
