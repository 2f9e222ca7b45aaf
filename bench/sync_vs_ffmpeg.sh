#!/bin/bash
# Picture/sound sync of multiconv's outputs against the ffmpeg command doing
# the same job, both measured as a player presents them (bench/sync_measure.py).
#
#   bench/sync_vs_ffmpeg.sh [BUILD_DIR]     (CLIP_SECONDS, default 30; CASES; KEEP=folder)
#
# Each source has a 0.1 s white flash and a 20 ms tone burst every 2 s,
# aligned. Per case: the worst and mean offset the conversion adds to the
# burst-after-flash offset (output minus source, ms), ours and ffmpeg's, and
# the output frame period. Then the best SSIM frame shift of a 29.97 fps
# MPEG-2 program stream → iPod and of a 25 fps clip → AVI at 25 fps.
set -euo pipefail

BUILD=${1:-build}
MULTICONV="$BUILD/bin/multiconv"
HERE=$(cd "$(dirname "$0")" && pwd)
MEASURE="python3 $HERE/sync_measure.py"
CLIP_SECONDS=${CLIP_SECONDS:-30}
[ -x "$MULTICONV" ] || { echo "no $MULTICONV: build it first" >&2; exit 2; }

WORK=${KEEP:-$(mktemp -d)}
mkdir -p "$WORK"
[ -n "${KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT
export OVC_HOME="$WORK/home" OVC_REGISTRY="$WORK/registry.sqlite3" OVC_TEMP="$WORK"

AMR_ENCODER=libopencore_amrnb
ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libopencore_amrnb || AMR_ENCODER=aac

ffmpeg_args() {  # ffmpeg_args PROFILE INPUT OUTPUT: sets ARGS
  ARGS=(-v error -nostdin -y -i "$2")
  case "$1" in
    PSP) ARGS+=(-vf scale=320:240 -r 30000/1001 -c:v mpeg4 -b:v 768k
           -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp "$3") ;;
    iPod) ARGS+=(-vf scale=320:240 -r 30000/1001 -c:v libx264 -profile:v baseline
           -level 1.3 -b:v 600k -c:a aac -b:a 128k -ar 44100 -ac 2 -f ipod "$3") ;;
    "3GP phone") ARGS+=(-vf scale=176:144 -r 15 -c:v h263 -b:v 128k
           -c:a "$AMR_ENCODER" -b:a 12.2k -ar 8000 -ac 1 -f 3gp "$3") ;;
    AVI) ARGS+=(-vf scale=640:480 -r 30000/1001 -c:v mpeg4 -vtag XVID -b:v 1200k
           -c:a libmp3lame -b:a 128k -ar 44100 -ac 2 -f avi "$3") ;;
  esac
}

# name | clip options | profile
CASES=${CASES:-"pal-stereo-psp|--fps 25 --rate 48000 --channels 2|PSP
film-mono-psp|--fps 24000/1001 --rate 44100 --channels 1|PSP
ntsc-51-ipod|--fps 30000/1001 --rate 48000 --channels 6|iPod
late-sound-psp|--fps 25 --rate 48000 --channels 2 --audio-start 1|PSP
pal-u8-avi|--fps 25 --rate 22050 --channels 1 --u8 --kind avi|AVI
pal-phone|--fps 25 --rate 48000 --channels 2|3GP phone"}

printf '%-16s %-10s %10s %10s %12s %12s %9s\n' case profile "ours worst" "ours mean" \
  "ffmpeg worst" "ffmpeg mean" "period"
while IFS='|' read -r name options profile; do
  [ -n "$name" ] || continue
  src="$WORK/$name.src"
  ext=mkv; [[ "$options" == *"--kind avi"* ]] && ext=avi
  src="$src.$ext"
  # shellcheck disable=SC2086
  $MEASURE clip "$src" --seconds "$CLIP_SECONDS" $options
  rm -rf "$WORK/out" && mkdir -p "$WORK/out"
  ours=$("$MULTICONV" -q -y -p "$profile" -o "$WORK/out" "$src" | head -1)
  ffmpeg_args "$profile" "$src" "$WORK/ffmpeg-$name.${ours##*.}"
  ffmpeg "${ARGS[@]}"
  mv "$ours" "$WORK/ours-$name.${ours##*.}"
  $MEASURE sync "$src" "$WORK/ours-$name.${ours##*.}" "$WORK/ffmpeg-$name.${ours##*.}" --json |
    python3 -c '
import json, sys
ours, theirs = json.load(sys.stdin)
print("%-16s %-10s %10.1f %+10.1f %12.1f %+12.1f %9.1f" % (sys.argv[1], sys.argv[2],
      ours["worst_ms"], ours["mean_ms"], theirs["worst_ms"], theirs["mean_ms"], ours["period_ms"]))
if ours["markers"] < ours["source_markers"] - 1:
    print("  only %d of %d markers found in our output" % (ours["markers"], ours["source_markers"]))
' "$name" "$profile"
done <<<"$CASES"

# Frame alignment: SSIM of the output against the source, by frame shift.
ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001,scroll=h=0.004" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "${SHIFT_SECONDS:-20}" \
  -c:v mpeg2video -b:v 6M -c:a mp2 -b:a 192k -ac 2 -f vob "$WORK/ntsc.mpg"
rm -rf "$WORK/out" && mkdir -p "$WORK/out"
ours=$("$MULTICONV" -q -y -p iPod -o "$WORK/out" "$WORK/ntsc.mpg" | head -1)
$MEASURE shift "$WORK/ntsc.mpg" "$ours"
