#!/bin/bash
# One pass against two at the same bit rate, for the PSP (MPEG-4) and the
# iPod (H.264 Baseline) profiles: converts a generated clip whose scenes
# differ much in how hard they are to code (a still test card, moving
# test patterns, a zoom into detail, a pattern under film-like noise) and
# prints per job the video's average bit rate, the file size, the wall
# time, and the SSIM and PSNR against the source scaled to the output size
# (frames paired from the start, shift 0).
#
#   bench/two_pass_measure.sh [BUILD_DIR]   (CLIP_SECONDS, default 30;
#                                            JOBS="PSP:768 PSP:384 iPod:600 iPod:300")
#
# A job "PROFILE:RATE" runs the shipped profile with its video rate set to
# RATE kbit/s (a copy of the profile in the private program folder).
set -euo pipefail

BUILD=${1:-build}
MULTICONV="$BUILD/bin/multiconv"
CLIP_SECONDS=${CLIP_SECONDS:-30}
JOBS=${JOBS:-"PSP:768 PSP:384 iPod:600 iPod:300"}
[ -x "$MULTICONV" ] || { echo "no $MULTICONV: build it first" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export OVC_HOME="$WORK/home" OVC_REGISTRY="$WORK/registry.sqlite3" OVC_TEMP="$WORK"

echo "making the clip ($CLIP_SECONDS s) ..." >&2
seg=$(echo "$CLIP_SECONDS / 5" | bc -l)
ffmpeg -v error -nostdin -y -filter_complex "
  smptehdbars=s=640x480:r=30000/1001:d=$seg,format=yuv420p[a];
  testsrc2=s=640x480:r=30000/1001:d=$seg,scroll=h=0.01,format=yuv420p[b];
  mandelbrot=s=640x480:r=30000/1001,trim=duration=$seg,format=yuv420p[c];
  testsrc2=s=640x480:r=30000/1001:d=$seg,format=yuv420p,noise=alls=12:allf=t+u[d];
  testsrc=s=640x480:r=30000/1001:d=$seg,format=yuv420p[e];
  [a][b][c][d][e]concat=n=5:v=1:a=0,setpts=N/(30000/1001)/TB[v];
  sine=frequency=440:sample_rate=48000:duration=$CLIP_SECONDS[s]" \
  -map '[v]' -map '[s]' -c:v libx264 -preset ultrafast -qp 4 -c:a pcm_s16le -ac 2 \
  "$WORK/clip.mkv"

# The program folder is filled at the first start.
"$MULTICONV" --list-profiles >/dev/null

printf '%-10s %6s %10s %10s %8s %9s %7s\n' job passes "video kb/s" "file KiB" "wall s" SSIM PSNR
for job in $JOBS; do
  profile=${job%%:*} rate=${job##*:}
  name="$profile $rate"
  sed "s/^b[[:space:]]*=[[:space:]]*[0-9]*/b = $rate/" "$OVC_HOME/profile/$profile.pr" \
    >"$OVC_HOME/profile/$name.pr"
  for passes in 1 2; do
    out="$WORK/out-$profile-$rate-$passes"
    mkdir -p "$out"
    start=$(date +%s.%N)
    file=$("$MULTICONV" -q -y -p "$name" --passes $passes -o "$out" "$WORK/clip.mkv")
    end=$(date +%s.%N)
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
      -of csv=s=x:p=0 "$file")
    kbps=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$file" |
      awk -v s="$CLIP_SECONDS" '{b += $1 * 8} END {printf "%.0f", b / s / 1000}')
    scores=$(ffmpeg -nostdin -i "$file" -i "$WORK/clip.mkv" -lavfi \
      "[1:v]scale=${size/x/:},setpts=PTS-STARTPTS,split[r1][r2];
       [0:v]setpts=PTS-STARTPTS,split[o1][o2];[o1][r1]ssim;[o2][r2]psnr" -f null - 2>&1)
    ssim=$(sed -n 's/.*SSIM.* All:\([0-9.]*\).*/\1/p' <<<"$scores")
    psnr=$(sed -n 's/.*PSNR.* average:\([0-9.]*\).*/\1/p' <<<"$scores")
    printf '%-10s %6s %10s %10s %8.2f %9s %7s\n' "$name" $passes "$kbps" \
      $(( $(stat -c %s "$file") / 1024 )) "$(echo "$end - $start" | bc -l)" "$ssim" "$psnr"
  done
done
