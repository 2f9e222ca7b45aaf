#!/usr/bin/env bash
# Fails when a source file outside */qt/ folders and src/app includes a Qt header.
set -u
root=${1:?usage: check_qt_includes.sh SOURCE_ROOT}
cd "$root" || exit 2
hits=$(grep -rnE '^\s*#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/[^>"]*)[>"]' \
         --include='*.h' --include='*.cc' --include='*.cpp' --include='*.hpp' \
         src tests bench 2>/dev/null \
       | grep -vE '^(src|tests)/([^:]*/)?qt/' | grep -vE '^(src|tests)/app/')
if [ -n "$hits" ]; then
  echo "Qt headers included outside */qt/ and src/app:"
  echo "$hits"
  exit 1
fi
echo "no Qt headers outside */qt/ and src/app"
