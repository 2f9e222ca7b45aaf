#!/bin/bash
# Wall time of a whole conversion through the engine (playback graph,
# capture, recording session, MP4 writer) against the ffmpeg command doing
# the same job from the same file.
#
#   bench/capture_convert_vs_ffmpeg.sh [BUILD_DIR]   (or: ninja -C BUILD_DIR capture_convert_vs_ffmpeg)
#
# The source is a synthetic 720x576 25 fps clip (MPEG-4 part 2 + AAC 48 kHz
# stereo, in MP4); both convert it to 320x240 25 fps MPEG-4 part 2 at
# 768 kbit/s with AAC 128 kbit/s 48 kHz stereo. Prints the best wall seconds
# of RUNS runs (default 3) of each and the ratio ours ÷ ffmpeg (below 1.0:
# ours is faster). CLIP_SECONDS (default 20) sets the clip's length.
set -euo pipefail

BUILD=${1:-build}
CONVERT="$BUILD/bin/capture_convert"
CLIP_SECONDS=${CLIP_SECONDS:-20}
RUNS=${RUNS:-3}
[ -x "$CONVERT" ] || CONVERT=$(find "$BUILD" -name capture_convert -type f -perm -u+x | head -1)
[ -x "$CONVERT" ] || { echo "no capture_convert: build that target first" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

ffmpeg -v error -nostdin -f lavfi -i "testsrc=size=720x576:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$CLIP_SECONDS" \
  -c:v mpeg4 -q:v 3 -c:a aac -ac 2 "$WORK/clip.mp4"

best() {  # best wall seconds of RUNS runs of "$@" (each prints nothing)
  local best=""
  for _ in $(seq "$RUNS"); do
    local start end t
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  echo "$best"
}

ours=$(best "$CONVERT" "$WORK/clip.mp4" "$WORK/ours.mp4" 320 240 25)
theirs=$(best ffmpeg -v error -nostdin -y -i "$WORK/clip.mp4" -vf scale=320:240 -r 25 \
  -c:v mpeg4 -b:v 768k -c:a aac -b:a 128k -ar 48000 -ac 2 "$WORK/ffmpeg.mp4")
printf 'ours   %.3f s\nffmpeg %.3f s\nratio  %.2f\n' "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
