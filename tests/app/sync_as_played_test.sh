#!/usr/bin/env bash
# Picture/sound sync and frame alignment of multiconv's outputs as a player
# presents them: decoded by the ffmpeg command (edit lists and encoder delay
# applied) and measured with bench/sync_measure.py against the source.
#   - 25 fps with aligned flashes and tone bursts → PSP (29.97 fps): what the
#     conversion adds to each burst-after-flash offset stays within half an
#     output frame (+1 ms for the sound codecs' rounding).
#   - 29.97 fps MPEG-2 program stream of a scrolling picture → iPod (29.97
#     fps): frame n of the
#     output shows frame n of the source (best SSIM at shift 0).
set -eu
multiconv=${1:?usage: sync_as_played_test.sh MULTICONV MEASURE_PY}
measure=${2:?usage: sync_as_played_test.sh MULTICONV MEASURE_PY}
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null && command -v python3 >/dev/null ||
  { echo "ffmpeg or python3 missing"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export OVC_TEMP="$dir" OVC_HOME="$dir/home" OVC_REGISTRY="$dir/registry.sqlite3" HOME="$dir"
fail() { echo "FAIL: $*"; exit 1; }
convert() {  # PROFILE SOURCE: prints the output's path
  mkdir -p "$dir/out-$1"
  env -u DISPLAY -u WAYLAND_DISPLAY "$multiconv" -q -y -p "$1" -o "$dir/out-$1" "$2" | head -1
}

python3 "$measure" clip "$dir/pal.mkv" --seconds 6.5 --fps 25 --rate 48000 --channels 2
psp=$(convert PSP "$dir/pal.mkv")
[ -s "$psp" ] || fail "no PSP output"
python3 "$measure" sync "$dir/pal.mkv" "$psp" --json >"$dir/sync.json"
python3 - "$dir/sync.json" <<'PY' || fail "sync"
import json, sys
row = json.load(open(sys.argv[1]))[0]
print("PSP: added offsets %s ms, frame period %.1f ms" % (row["added_ms"], row["period_ms"]))
assert row["markers"] == row["source_markers"] == 4, "markers %d of %d" % (
    row["markers"], row["source_markers"])
assert row["worst_ms"] <= row["period_ms"] / 2 + 1, "worst %.1f ms" % row["worst_ms"]
PY

ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,scroll=h=0.004" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 4 \
  -c:v mpeg2video -b:v 6M -c:a mp2 -b:a 192k -ac 2 -f vob "$dir/ntsc.mpg"
ipod=$(convert iPod "$dir/ntsc.mpg")
[ -s "$ipod" ] || fail "no iPod output"
python3 "$measure" shift "$dir/ntsc.mpg" "$ipod" --seconds 3 --max-shift 1 --json >"$dir/shift.json"
python3 - "$dir/shift.json" <<'PY' || fail "shift"
import json, sys
result = json.load(open(sys.argv[1]))
print("iPod: SSIM by shift %s" % result["ssim"])
assert result["best_shift"] == 0, "best shift %d" % result["best_shift"]
# The picture moves by 3 pixels a frame: a shifted frame is clearly worse.
assert result["ssim"]["0"] > max(result["ssim"]["-1"], result["ssim"]["1"]) + 0.02
PY
echo "sync as played: ok"
