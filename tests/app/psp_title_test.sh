#!/usr/bin/env bash
# psp-title on files made by the ffmpeg command's PSP muxer: prints and
# changes titles, keeps the video whole (also with the movie box first), and
# fails cleanly with the right exit status.
set -eu
tool=${1:?usage: psp_title_test.sh PSP_TITLE}
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg missing"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export OVC_TEMP="$dir" OVC_HOME="$dir"

fail() { echo "FAIL: $*"; exit 1; }
make_clip() {  # OUT [ffmpeg options...]
  local out=$1; shift
  ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=30000/1001 -f lavfi -i sine -t 1 \
    -c:v mpeg4 -c:a aac -f psp "$@" "$out"
}
frames() { ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1" 2>&1; }
size() { stat -c %s "$1"; }

make_clip "$dir/plain.mp4" -metadata title="Old title"
make_clip "$dir/fast.mp4" -movflags +faststart -metadata title="Old title"
make_clip "$dir/untitled.mp4"

for clip in plain fast; do
  f="$dir/$clip.mp4"
  [ "$("$tool" "$f")" = "Old title" ] || fail "$clip: stored title not printed"
  before_frames=$(frames "$f")
  before_size=$(size "$f")
  "$tool" "$f" "A new, longer title" || fail "$clip: writing failed"
  [ "$("$tool" "$f")" = "A new, longer title" ] || fail "$clip: new title not read back"
  # 10 more characters: 20 more bytes.
  [ $(( $(size "$f") - before_size )) -eq 20 ] || fail "$clip: size changed by the wrong amount"
  [ "$(frames "$f")" = "$before_frames" ] || fail "$clip: frames lost: $(frames "$f")"
  "$tool" "$f" "Été 🎬" && [ "$("$tool" "$f")" = "Été 🎬" ] || fail "$clip: non-ASCII title"
  "$tool" "$f" "" && [ "$("$tool" "$f")" = " " ] || fail "$clip: empty title not stored as a space"
  [ "$(frames "$f")" = "$before_frames" ] || fail "$clip: frames lost after more changes"
done

long=$(printf 'x%.0s' $(seq 300))
"$tool" "$dir/plain.mp4" "$long" 2>"$dir/err" || fail "long title refused"
grep -q "cut to 255 characters" "$dir/err" || fail "cut not reported"
[ "$("$tool" "$dir/plain.mp4")" = "${long:0:255}" ] || fail "long title not cut at 255"

expect_failure() {  # STATUS MESSAGE ARGS...
  local want=$1 message=$2; shift 2
  set +e
  "$tool" "$@" >"$dir/out" 2>"$dir/err"
  local got=$?
  set -e
  [ $got -eq "$want" ] || fail "psp-title $*: exit $got, expected $want"
  grep -q -- "$message" "$dir/err" || fail "psp-title $*: no '$message' in: $(cat "$dir/err")"
}
cp "$dir/untitled.mp4" "$dir/untitled.copy"
expect_failure 1 "Fail to find mp4 title" "$dir/untitled.mp4"
expect_failure 1 "Fail to find mp4 title" "$dir/untitled.mp4" "New"
cmp -s "$dir/untitled.mp4" "$dir/untitled.copy" || fail "file without a title was changed"
expect_failure 1 "Fail to open mp4 file" "$dir/missing.mp4"
cp "$dir/fast.mp4" "$dir/clip.mov"
expect_failure 1 "not an .mp4 file" "$dir/clip.mov" "New"
expect_failure 2 "usage: psp-title"
expect_failure 2 "usage: psp-title" a.mp4 b c
"$tool" --help | grep -q "usage: psp-title" || fail "--help"
# A title of the same length is written where it is: same file, links kept,
# no temporary copy.
make_clip "$dir/same.mp4" -metadata title="Old title"
ln "$dir/same.mp4" "$dir/same-link.mp4"
inode=$(stat -c %i "$dir/same.mp4")
"$tool" "$dir/same.mp4" "New title" || fail "same-length title"
[ "$(stat -c %i "$dir/same.mp4")" = "$inode" ] || fail "same-length title replaced the file"
[ "$("$tool" "$dir/same-link.mp4")" = "New title" ] || fail "link lost the same-length title"

# A longer title: the movie box last, so a linked file changes where it is;
# with the movie box first a new file would split the links, so it is refused.
make_clip "$dir/linked.mp4" -metadata title="Old title"
ln "$dir/linked.mp4" "$dir/linked-too.mp4"
"$tool" "$dir/linked.mp4" "A longer title than before" || fail "linked file refused"
[ "$("$tool" "$dir/linked-too.mp4")" = "A longer title than before" ] || fail "link split"
[ "$(frames "$dir/linked-too.mp4")" = "$(frames "$dir/plain.mp4")" ] || fail "linked: frames lost"
make_clip "$dir/linked-fast.mp4" -movflags +faststart -metadata title="Old title"
ln "$dir/linked-fast.mp4" "$dir/linked-fast-too.mp4"
cp "$dir/linked-fast.mp4" "$dir/linked-fast.copy"
expect_failure 1 "does not allow changing the title safely" "$dir/linked-fast.mp4" "A longer title"
cmp -s "$dir/linked-fast-too.mp4" "$dir/linked-fast.copy" || fail "refused linked file changed"

# A replaced file keeps its owner, group and mode.
make_clip "$dir/owned.mp4" -metadata title="Old title"
chmod 640 "$dir/owned.mp4"
if [ "$(id -u)" -eq 0 ]; then chown 65534:65534 "$dir/owned.mp4"; fi
before=$(stat -c '%u:%g %a' "$dir/owned.mp4")
"$tool" "$dir/owned.mp4" "A longer title than before" || fail "owned: writing failed"
[ "$(stat -c '%u:%g %a' "$dir/owned.mp4")" = "$before" ] || fail "owner, group or mode changed"

# Ctrl-C while a big file is copied leaves no hidden copy and the old file.
make_clip "$dir/big.mp4" -metadata title="Old title"
# 600 MB of free space after the movie box, sparse on disk.
printf '\x25\x80\x00\x00free' >> "$dir/big.mp4"
truncate -s $(( $(size "$dir/big.mp4") + 600 * 1024 * 1024 - 8 )) "$dir/big.mp4"
big_size=$(size "$dir/big.mp4")
"$tool" "$dir/big.mp4" "A longer title than before" &
pid=$!
seen=
while kill -0 $pid 2>/dev/null; do
  if compgen -G "$dir/.big.mp4.*" >/dev/null; then seen=1; break; fi
done
[ -n "$seen" ] || fail "the copy of the big file was never seen"
kill -INT $pid
set +e
wait $pid
rc=$?
set -e
[ $rc -ne 0 ] || fail "interrupted write reported success"
! compgen -G "$dir/.big.mp4.*" >/dev/null || fail "temporary left behind: $(ls -a "$dir")"
[ "$("$tool" "$dir/big.mp4")" = "Old title" ] || fail "interrupted write changed the title"
[ "$(size "$dir/big.mp4")" = "$big_size" ] || fail "interrupted write changed the size"
echo "psp-title ok"
