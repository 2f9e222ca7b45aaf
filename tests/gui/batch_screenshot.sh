#!/bin/sh
# Pictures of multiconv's batch window for a person to look at: the window
# ready to start, converting and finished, over three files (a short clip, a
# file that is no video, a longer clip), in a throw-away program folder,
# settings store and home folder. Saves 14-batch-ready.png,
# 15-batch-converting.png and 16-batch-finished.png into OUT_FOLDER.
#
#   tests/gui/batch_screenshot.sh BUILD_DIR OUT_FOLDER
#
# BUILD_DIR must hold bin/batch-window-shot, bin/multiconv and
# bin/make-test-clip. Runs without a display (QT_QPA_PLATFORM=offscreen
# unless set otherwise).
set -eu

build=${1:?usage: batch_screenshot.sh BUILD_DIR OUT_FOLDER}
out=${2:?usage: batch_screenshot.sh BUILD_DIR OUT_FOLDER}
for tool in batch-window-shot multiconv make-test-clip; do
  [ -x "$build/bin/$tool" ] || { echo "$0: $build/bin/$tool is missing" >&2; exit 1; }
done

world=$(mktemp -d "${TMPDIR:-/tmp}/ovc-batch-shot-XXXXXX")
trap 'rm -rf "$world"' EXIT
videos=$world/home/Videos
mkdir -p "$videos" "$out"
"$build/bin/make-test-clip" "$videos/Holiday 2007.mp4" --seconds 3 >/dev/null 2>&1
echo "not a video" > "$videos/shopping list.mp4"
"$build/bin/make-test-clip" "$videos/Concert (encore).mkv" --seconds 90 --container mkv \
  >/dev/null 2>&1

env HOME="$world/home" XDG_CONFIG_HOME="$world/home/.config" \
    OVC_HOME="$world/program" OVC_REGISTRY="$world/registry.sqlite3" OVC_TEMP="$world/temp" \
    QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
    "$build/bin/batch-window-shot" "$out" "$build/bin/multiconv" \
    "$videos/Holiday 2007.mp4" "$videos/shopping list.mp4" "$videos/Concert (encore).mkv"

missing=0
for name in 14-batch-ready 15-batch-converting 16-batch-finished; do
  if [ ! -s "$out/$name.png" ]; then
    echo "$0: $name.png was not taken" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "batch screenshots in $out"
exit "$missing"
