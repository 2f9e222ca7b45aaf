#!/bin/bash
# What a device would see of each shipped profile's output: converts a hard
# clip (noise, fast motion, a scene cut every 4 s) and an easy one, each in
# 4:3 and 16:9, with every profile, and prints per output the video's
# average bit rate, its highest rate over any 1-s window, the declared
# profile and level, the frame size and rate, the sound, and how many lines
# `ffmpeg -v error -i OUT -f null -` and multiconv's own standard error
# printed (decoder complaints, "buffer underflow" of the MPEG muxer), the
# warnings GStreamer gives playing it to the end, and for a VOB its
# navigation packs. Two VOB profiles are added to the shipped ones.
#
#   bench/device_limits.sh [BUILD_DIR]   (CLIP_SECONDS, default 20;
#                                         PROFILES="PSP;AVI" for a subset;
#                                         CLIPS="hard43 hard169 easy43 easy169")
#
# Rates are kbit/s of 1000 bits. The 1-s window peak sums the packets whose
# decoding time lies in [t, t + 1 s) for every packet time t.
set -euo pipefail

BUILD=${1:-build}
MULTICONV="$BUILD/bin/multiconv"
CLIP_SECONDS=${CLIP_SECONDS:-20}
CLIPS=${CLIPS:-"hard43 hard169 easy43 easy169"}
[ -x "$MULTICONV" ] || { echo "no $MULTICONV: build it first" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export OVC_HOME="$WORK/home" OVC_REGISTRY="$WORK/registry.sqlite3" OVC_TEMP="$WORK"

# make_clip NAME WIDTH HEIGHT HARD(0/1)
make_clip() {
  local name=$1 w=$2 h=$3 hard=$4 seg graph
  if [ "$hard" = 1 ]; then
    # Five scenes of different content, each moving fast, under heavy
    # temporal noise; cut to one another without a fade.
    seg=$(echo "$CLIP_SECONDS / 5" | bc -l)
    graph="testsrc2=s=${w}x${h}:r=30000/1001:d=$seg,scroll=h=0.031:v=0.017[a];
      mandelbrot=s=${w}x${h}:r=30000/1001,trim=duration=$seg,hue=H=t*4[b];
      smptehdbars=s=${w}x${h}:r=30000/1001:d=$seg,scroll=h=-0.05[c];
      life=s=${w}x${h}:r=30000/1001:mold=10:ratio=0.5:death_color=#C83232:life_color=#00ff00,trim=duration=$seg,format=yuv420p[d];
      testsrc2=s=${w}x${h}:r=30000/1001:d=$seg,rotate=a=t*2:c=blue[e];
      [a][b][c][d][e]concat=n=5:v=1:a=0,format=yuv420p,noise=alls=60:allf=t+u[v]"
  else
    graph="testsrc=s=${w}x${h}:r=30000/1001:d=$CLIP_SECONDS,format=yuv420p[v]"
  fi
  ffmpeg -v error -nostdin -y -filter_complex "$graph" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$CLIP_SECONDS" \
    -map '[v]' -map 0:a -c:v libx264 -preset ultrafast -qp 4 -c:a pcm_s16le -ac 2 \
    "$WORK/$name.mkv"
}

echo "making the clips ($CLIP_SECONDS s) ..." >&2
for clip in $CLIPS; do
  case $clip in
    hard43) make_clip hard43 640 480 1 ;;
    hard169) make_clip hard169 854 480 1 ;;
    easy43) make_clip easy43 640 480 0 ;;
    easy169) make_clip easy169 854 480 0 ;;
  esac
done

# Two VOB profiles of the user's own (DVD sectors): NTSC with MP2, and PAL
# 352x288 with AC-3.
"$MULTICONV" --list-profiles >/dev/null
mpeg2="$OVC_HOME/profile/MPEG-2.pr"
sed -e 's/^fileext = .*/fileext = "vob"/' "$mpeg2" >"$OVC_HOME/profile/DVD NTSC.pr"
sed -e 's/^fileext = .*/fileext = "vob"/' -e 's/^s\s*=.*/s = "352x288"/' -e 's/^r\s*=.*/r = 25/' \
  -e 's/^acodec\s*=.*/acodec = "ac3" { "ac3" }/' -e 's/^ab\s*=.*/ab = 448/' \
  "$mpeg2" >"$OVC_HOME/profile/DVD PAL AC-3.pr"

if [ -n "${PROFILES:-}" ]; then
  IFS=';' read -r -a profiles <<<"$PROFILES"
else
  mapfile -t profiles < <("$MULTICONV" --list-profiles)
fi

# peak_and_average FILE: "average_kbps peak_kbps" of the first video stream.
peak_and_average() {
  ffprobe -v error -select_streams v:0 -show_entries packet=dts_time,pts_time,size \
    -of csv=p=0 "$1" | awk -F, '
    { t = ($1 != "N/A") ? $1 : $2; if (t == "N/A") next; n++; tt[n] = t + 0; sz[n] = $3 }
    END {
      if (n == 0) { print "0 0"; exit }
      # packets in decoding order; a muxer may store them slightly out of it
      for (i = 2; i <= n; i++) { a = tt[i]; b = sz[i]; j = i - 1
        while (j >= 1 && tt[j] > a) { tt[j+1] = tt[j]; sz[j+1] = sz[j]; j-- }
        tt[j+1] = a; sz[j+1] = b }
      total = 0; for (i = 1; i <= n; i++) total += sz[i]
      span = tt[n] - tt[1]; if (n > 1) span += (tt[n] - tt[1]) / (n - 1)
      if (span <= 0) span = 1
      peak = 0; sum = 0; j = 1
      for (i = 1; i <= n; i++) { while (j <= n && tt[j] < tt[i] + 1 - 1e-9) { sum += sz[j]; j++ }
        if (sum > peak) peak = sum; sum -= sz[i] }
      printf "%.0f %.0f\n", total * 8 / span / 1000, peak * 8 / 1000 }'
}

probe() {  # probe FILE ENTRIES STREAM
  ffprobe -v error -select_streams "$3" -show_entries "$2" -of default=nw=1:nk=1 "$1" |
    paste -sd' '
}

# GStreamer's warnings and errors when it plays FILE to the end.
gst_complaints() {
  command -v gst-launch-1.0 >/dev/null || { echo -; return; }
  gst-launch-1.0 filesrc location="$1" ! decodebin name=d d. ! queue ! fakesink sync=false \
    d. ! queue ! fakesink sync=false 2>&1 | grep -cE 'WARNING|ERROR' || true
}

# nav_packs FILE: for a file of 2,048-byte MPEG-2 packs, how many are
# navigation packs (private stream 2, 00 00 01 BF); "-" for any other file.
nav_packs() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
nav = 0
for at in range(0, len(data), 2048):
    pack = data[at:at + 2048]
    if len(pack) < 2048 or pack[:4] != b'\0\0\1\xba' or pack[4] >> 6 != 1:
        print('-'); sys.exit()
    i = 14 + (pack[13] & 7)
    if pack[i:i + 4] == b'\0\0\1\xbb':
        i += 6 + int.from_bytes(pack[i + 4:i + 6], 'big')
    nav += pack[i:i + 4] == b'\0\0\1\xbf'
print(nav if nav else '-')
PY
}

printf '%-12s %-8s %-10s %-9s %-14s %-5s %7s %7s %-22s %-14s %4s %4s %4s %4s\n' \
  profile clip codec size dar fps avg peak1s "profile/level" sound errs warn gst nav
for clip in $CLIPS; do
  for profile in "${profiles[@]}"; do
    out="$WORK/out-$clip"
    rm -rf "$out"; mkdir -p "$out"
    if ! "$MULTICONV" --quiet --yes -p "$profile" -o "$out" "$WORK/$clip.mkv" \
      >"$WORK/paths.txt" 2>"$WORK/conv_err.txt"; then
      echo "$profile $clip: multiconv failed: $(head -c 300 "$WORK/conv_err.txt")"
      continue
    fi
    file=$(head -n 1 "$WORK/paths.txt")
    read -r avg peak < <(peak_and_average "$file")
    codec=$(probe "$file" stream=codec_tag_string,codec_name v:0 | tr ' ' '/')
    size=$(probe "$file" stream=width,height v:0 | tr ' ' x)
    dar=$(probe "$file" stream=display_aspect_ratio,sample_aspect_ratio v:0 | tr ' ' '/')
    fps=$(probe "$file" stream=avg_frame_rate v:0)
    fps=$(echo "scale=3; $fps" | bc 2>/dev/null || echo "$fps")
    level=$(probe "$file" stream=profile,level v:0 | tr ' ' '_')
    sound=$(probe "$file" stream=codec_name,sample_rate,channels,bit_rate a:0 | tr ' ' '/')
    errs=$(ffmpeg -nostdin -v error -i "$file" -f null - 2>&1 | wc -l)
    warn=$(wc -l <"$WORK/conv_err.txt")
    gst=$(gst_complaints "$file")
    nav=$(nav_packs "$file")
    printf '%-12s %-8s %-10s %-9s %-14s %-5s %7s %7s %-22s %-14s %4s %4s %4s %4s\n' \
      "$profile" "$clip" "$codec" "$size" "$dar" "$fps" "$avg" "$peak" "$level" "$sound" \
      "$errs" "$warn" "$gst" "$nav"
    if [ -n "${KEEP:-}" ]; then mkdir -p "$KEEP"; cp "$file" "$KEEP/$clip-$(basename "$file")"; fi
  done
done
