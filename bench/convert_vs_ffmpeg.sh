#!/bin/bash
# Wall time of our writer path against the ffmpeg command doing the same job.
#
#   bench/convert_vs_ffmpeg.sh [BUILD_DIR]      (or: ninja -C BUILD_DIR convert_vs_ffmpeg)
#
# Makes a synthetic 720x480 29.97 fps clip with 48 kHz stereo sound, decodes
# it once to raw 320x240 YUY2 and 16-bit PCM (what the capture stage hands
# the engine), then encodes those raw files for the PSP (MPEG-4 Simple
# Profile + AAC) and the iPod (H.264 Baseline 1.3 + AAC):
#   ours    convert_feed: RecordingSession, the encoding threads, Mp4Writer
#   ffmpeg  the ffmpeg command with the same codecs, size, rates, bit rates
#           and encoder settings (one slice per picture for the PSP)
# and prints the wall seconds of each and their ratio (ours ÷ ffmpeg; below
# 1.0 means ours is faster), and the processor seconds of the same runs.
# CLIP_SECONDS (default 20) and RUNS (default 3; the run with the best wall
# time counts) change the work.
set -euo pipefail

BUILD=${1:-build}
FEED="$BUILD/bin/convert_feed"
CLIP_SECONDS=${CLIP_SECONDS:-20}
RUNS=${RUNS:-3}
[ -x "$FEED" ] || { echo "no $FEED: build the convert_feed target first" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

ffmpeg -v error -nostdin -f lavfi -i "testsrc=size=720x480:rate=30000/1001" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$CLIP_SECONDS" \
  -c:v mpeg2video -q:v 3 -c:a pcm_s16le -ac 2 "$WORK/clip.mkv"
ffmpeg -v error -nostdin -i "$WORK/clip.mkv" \
  -map 0:v -vf scale=320:240 -pix_fmt yuv420p -f rawvideo "$WORK/video.i420" \
  -map 0:a -ar 48000 -ac 2 -f s16le "$WORK/audio.s16"

RAW_IN=(-f rawvideo -pix_fmt yuv420p -video_size 320x240 -framerate 2997/100 -i "$WORK/video.i420"
        -f s16le -ar 48000 -ac 2 -i "$WORK/audio.s16")

ffmpeg_psp() {
  ffmpeg -v error -nostdin -y "${RAW_IN[@]}" \
    -pix_fmt yuv420p -c:v mpeg4 -b:v 768k -bt 768k -g 12 -bf 0 -profile:v 0 -level 3 -threads:v 1 \
    -flags +bitexact+global_header \
    -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp "$WORK/ffmpeg_psp.mp4"
}

ffmpeg_ipod() {
  ffmpeg -v error -nostdin -y "${RAW_IN[@]}" \
    -pix_fmt yuv420p -c:v libx264 -b:v 600k -g 12 -profile:v baseline -level 13 \
    -x264-params "ref=1:bframes=0:cabac=0:8x8dct=0:weightp=0:slices=1:sliced-threads=0:vbv-maxrate=768:vbv-bufsize=2000" \
    -flags +bitexact+global_header \
    -c:a aac -b:a 128k -ar 44100 -ac 2 -f ipod "$WORK/ffmpeg_ipod.mp4"
}

ours() {
  "$FEED" "$1" "$WORK/video.i420" "$WORK/audio.s16" "$WORK/ours_$1.mp4" >/dev/null 2>"$WORK/ours.log" ||
    { cat "$WORK/ours.log" >&2; return 1; }
}

# "WALL CPU": the best wall time of RUNS runs of a command and the
# processor time (user + system) of that run, in seconds.
best_of() {
  local best="" best_cpu="" timing
  for ((run = 0; run < RUNS; ++run)); do
    timing=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null; } 2>&1 | tail -1) ||
      { echo "failed: $*" >&2; exit 1; }
    read -r wall user sys <<<"$timing"
    if [ -z "$best" ] || awk -v t="$wall" -v b="$best" 'BEGIN { exit !(t < b) }'; then
      best=$wall
      best_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    fi
  done
  echo "$best $best_cpu"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '%-10s %9s %9s %6s   %9s %9s %6s\n' profile "ours" "ffmpeg" ratio "ours cpu" "ffmpeg" ratio
for profile in psp-mpeg4 ipod-h264; do
  read -r ours_wall ours_cpu <<<"$(best_of ours "$profile")"
  if [ "$profile" = psp-mpeg4 ]; then
    read -r ff_wall ff_cpu <<<"$(best_of ffmpeg_psp)"
  else
    read -r ff_wall ff_cpu <<<"$(best_of ffmpeg_ipod)"
  fi
  printf '%-10s %8.2fs %8.2fs %6s   %8.2fs %8.2fs %6s\n' "$profile" "$ours_wall" "$ff_wall" \
    "$(ratio "$ours_wall" "$ff_wall")" "$ours_cpu" "$ff_cpu" "$(ratio "$ours_cpu" "$ff_cpu")"
done
