#!/usr/bin/env bash
# Pictures of the desktop program for a person to look at: starts ovc under
# a virtual X server (xvfb-run), lets it open a generated five-second clip
# and saves PNG pictures of the main window idle, playing, paused,
# converting and finished, and of each dialog, into OUT_FOLDER. ovc takes
# the pictures itself (its hidden --screenshots option renders each window
# with the toolkit), in a throw-away program folder, settings store and
# home folder. Fails when a picture is missing.
#
# usage: screenshots.sh BUILD_DIR OUT_FOLDER
# Optional: OVC_SHOT_SCREEN (the virtual screen, default 1280x1024),
# OVC_SHOT_CLIP_SIZE (the clip's picture, e.g. 640x360 for 16:9) and
# OVC_SHOT_FILL_SCREEN=1 (the main window fills the screen).
set -euo pipefail

build=${1:?usage: screenshots.sh BUILD_DIR OUT_FOLDER}
out=${2:?usage: screenshots.sh BUILD_DIR OUT_FOLDER}

for tool in xvfb-run "$build/bin/ovc" "$build/bin/make-test-clip"; do
  if ! command -v "$tool" > /dev/null; then
    echo "screenshots: $tool is missing" >&2
    exit 1
  fi
done

# No dots in the path: the default output file is named from it.
world=$(mktemp -d "${TMPDIR:-/tmp}/ovc-screenshots-XXXXXX")
trap 'rm -rf "$world"' EXIT
mkdir -p "$world/home" "$out"
rm -f "$out"/*.png

"$build/bin/make-test-clip" "$world/clip.mp4" --seconds 5 \
  ${OVC_SHOT_CLIP_SIZE:+--size "$OVC_SHOT_CLIP_SIZE"}

env HOME="$world/home" XDG_CONFIG_HOME="$world/home/.config" \
    OVC_HOME="$world/program" OVC_REGISTRY="$world/registry.sqlite3" OVC_TEMP="$world/temp" \
    QT_QPA_PLATFORM=xcb OVC_SCREENSHOT_FILL_SCREEN="${OVC_SHOT_FILL_SCREEN:-}" \
    timeout 300 xvfb-run -a -s "-screen 0 ${OVC_SHOT_SCREEN:-1280x1024}x24" \
    "$build/bin/ovc" --screenshots "$out" "$world/clip.mp4"

expected=(01-idle 02-message-not-ready 03-save-profile 04-output-settings
          05-choose-video-menu 06-playing 07-paused 08-output-folder 09-converting
          10-finished 11-finished-report 12-missing-codec 13-psp-transfer)
missing=0
for name in "${expected[@]}"; do
  if [ ! -s "$out/$name.png" ]; then
    echo "screenshots: $name.png was not taken" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "screenshots: ${#expected[@]} pictures in $out"
exit "$missing"
