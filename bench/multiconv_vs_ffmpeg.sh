#!/bin/bash
# Whole conversions with multiconv against the ffmpeg command doing the same
# job (same codecs, size, rates and bit rates), in one run on the same input:
# wall time and peak memory (resident set) of each, and the ratios.
#
#   bench/multiconv_vs_ffmpeg.sh [BUILD_DIR]     (RUNS, default 3; CLIP_SECONDS)
#
# Inputs (made with ffmpeg, CLIP_SECONDS long, default 60):
#   sd  720x480 29.97 fps MPEG-2 with 48 kHz stereo MP2, in an MPEG program stream
#   hd  1280x720 29.97 fps H.264 with 48 kHz stereo AAC, in MP4
# Jobs: PSP (MPEG-4 + AAC, 320x240, 29.97 fps, 768/128 kbit/s, -f psp), iPod
# (H.264 Baseline 1.3 + AAC, 320x240, 29.97 fps, 600/128 kbit/s, 44.1 kHz),
# 3GP phone (H.263 + AMR-NB, 176x144, 15 fps, 128/12.2 kbit/s, mono 8 kHz)
# and WMV (WMV8 + WMA2, 320x240, 29.97 fps, 500/64 kbit/s, 44.1 kHz).
# A ratio below 1.0 means ours is faster (or smaller).
set -euo pipefail

BUILD=${1:-build}
MULTICONV="$BUILD/bin/multiconv"
CLIP_SECONDS=${CLIP_SECONDS:-60}
[ -x "$MULTICONV" ] || { echo "no $MULTICONV: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export OVC_HOME="$WORK/home" OVC_REGISTRY="$WORK/registry.sqlite3" OVC_TEMP="$WORK"

# Debian's ffmpeg has no AMR-NB encoder (we link opencore-amrnb ourselves);
# the peer then encodes the phone's sound as AAC at the same rate and bit rate.
AMR_ENCODER=libopencore_amrnb
ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libopencore_amrnb || AMR_ENCODER=aac

echo "making the inputs ($CLIP_SECONDS s) ..." >&2
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=720x480:rate=30000/1001" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$CLIP_SECONDS" \
  -c:v mpeg2video -b:v 6M -c:a mp2 -b:a 224k -ac 2 -f vob "$WORK/sd.mpg"
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1280x720:rate=30000/1001" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$CLIP_SECONDS" \
  -c:v libx264 -preset veryfast -b:v 4M -c:a aac -b:a 160k -ac 2 "$WORK/hd.mp4"

# measure COMMAND...: prints "wall_seconds peak_kb": the best time of RUNS
# runs (default 3; other work on the machine only ever slows a run down) and
# the highest peak.
RUNS=${RUNS:-3}
measure() {
  local best_s="" best_kb="" s kb run
  for ((run = 0; run < RUNS; ++run)); do
    /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
      echo "failed: $*" >&2; cat "$WORK/err.txt" >&2; exit 1; }
    read -r s kb <"$WORK/time.txt"
    if [ -z "$best_s" ] || [ "$(echo "$s < $best_s" | bc)" = 1 ]; then best_s=$s; fi
    if [ -z "$best_kb" ] || [ "$kb" -gt "$best_kb" ]; then best_kb=$kb; fi
  done
  echo "$best_s $best_kb"
}

ffmpeg_args() {  # ffmpeg_args PROFILE INPUT OUTPUT: sets ARGS
  ARGS=(-v error -nostdin -y -i "$2")
  case "$1" in
    PSP) ARGS+=(-vf scale=320:240 -r 30000/1001 -c:v mpeg4 -b:v 768k
           -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp "$3") ;;
    iPod) ARGS+=(-vf scale=320:240 -r 30000/1001 -c:v libx264 -profile:v baseline
           -level 1.3 -b:v 600k -x264-params ref=1:bframes=0:cabac=0:8x8dct=0:weightp=0:slices=1
           -c:a aac -b:a 128k -ar 44100 -ac 2 -f ipod "$3") ;;
    "3GP phone") ARGS+=(-vf scale=176:144 -r 15 -c:v h263 -b:v 128k
           -c:a "$AMR_ENCODER" -b:a 12.2k -ar 8000 -ac 1 -f 3gp "$3") ;;
    WMV) ARGS+=(-vf scale=320:240 -r 30000/1001 -c:v wmv2 -b:v 500k
           -c:a wmav2 -b:a 64k -ar 44100 -ac 2 -f asf "$3") ;;
  esac
}

printf '%-5s %-10s %9s %9s %6s %10s %10s %6s\n' input job "ours s" "ffmpeg s" ratio \
  "ours MB" "ffmpeg MB" ratio
for input in sd hd; do
  src="$WORK/$input.mpg"; [ "$input" = hd ] && src="$WORK/hd.mp4"
  for job in PSP iPod "3GP phone" WMV; do
    mkdir -p "$WORK/out"
    read -r ours_s ours_kb < <(measure "$MULTICONV" -q -y -p "$job" -o "$WORK/out" "$src")
    ffmpeg_args "$job" "$src" "$WORK/out/ffmpeg.bin"
    read -r theirs_s theirs_kb < <(measure ffmpeg "${ARGS[@]}")
    rm -rf "$WORK/out"
    printf '%-5s %-10s %9.2f %9.2f %6.2f %10.1f %10.1f %6.2f\n' "$input" "$job" "$ours_s" \
      "$theirs_s" "$(echo "$ours_s / $theirs_s" | bc -l)" "$(echo "$ours_kb / 1024" | bc -l)" \
      "$(echo "$theirs_kb / 1024" | bc -l)" "$(echo "$ours_kb / $theirs_kb" | bc -l)"
  done
done
