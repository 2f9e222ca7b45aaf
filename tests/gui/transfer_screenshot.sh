#!/bin/sh
# Takes a picture of the transfer window over a stand-in PSP: a temporary
# folder with MEMSTICK.IND and a few titled PSP videos (made from a generated
# clip with ffmpeg's PSP muxer), named as drive E through OVC_DRIVES, and a
# home folder with more videos as the computer side.
#
#   tests/gui/transfer_screenshot.sh [BUILD_DIR] [OUTPUT.png]
#
# BUILD_DIR (default: build) must hold bin/transfer-window-shot; its
# bin/make-test-clip makes the source clip when present. Runs without a
# display (QT_QPA_PLATFORM=offscreen unless set otherwise).
set -eu

build=${1:-build}
output=${2:-$build/transfer-window.png}
shot=$build/bin/transfer-window-shot
[ -x "$shot" ] || { echo "$0: $shot is missing; build transfer-window-shot" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "$0: ffmpeg is needed to make PSP videos" >&2; exit 2; }

world=$(mktemp -d)
trap 'rm -rf "$world"' EXIT
stick=$world/stick
videos=$stick/MP_ROOT/100MNV01
home=$world/home
mkdir -p "$videos" "$home/Holiday 2007" "$world/program/temp" "$world/temp"
: > "$stick/MEMSTICK.IND"

# The source clip: our generator when built, else ffmpeg's test pattern.
source=$world/source.mp4
if [ -x "$build/bin/make-test-clip" ]; then
  "$build/bin/make-test-clip" "$source" --seconds 3 --size 320x240 >/dev/null
else
  ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=30:duration=3 \
    -f lavfi -i sine=frequency=440:duration=3 -shortest "$source"
fi

# psp_video FILE TITLE: an MPEG-4 PSP video with its title and thumbnail.
psp_video() {
  ffmpeg -v error -y -i "$source" -c:v mpeg4 -b:v 768k -s 320x240 -c:a aac -b:a 96k \
    -metadata title="$2" -f psp "$1"
  ffmpeg -v error -y -i "$source" -frames:v 1 -s 160x120 -f mjpeg "${1%.*}.THM"
}
psp_video "$videos/M4V00001.MP4" "Summer at the lake"
psp_video "$videos/M4V00002.MP4" "Birthday party"
psp_video "$videos/M4V00003.MP4" "Concert (encore)"
# A long film, as far as its size goes.
truncate -s 412M "$videos/M4V00004.MP4"
: > "$stick/MP_ROOT/readme.txt"
psp_video "$home/M4V00011.MP4" "Skiing trip"
psp_video "$home/M4V00012.MP4" "Garden in May"
: > "$home/notes.txt"
# A video without a PSP name: the window says why it is not listed.
cp "$source" "$home/clip.mp4"

# A 2 GB stick with 900 MB free. The stored output path is "~/untitled",
# so the computer side shows the home folder.
OVC_DRIVES="E=$stick|2G|900M" OVC_HOME=$world/program OVC_TEMP=$world/temp \
  OVC_REGISTRY=$world/registry.sqlite3 HOME=$home XDG_CONFIG_HOME=$home/.config \
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$shot" "$output" --select M4V00002.MP4 ${OVC_SHOT_OPTIONS:-}
echo "$output"
