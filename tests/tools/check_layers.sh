#!/usr/bin/env bash
# Fails when a folder of src/ includes a header from a folder above it.
# The layers, lowest first; a folder may include its own layer and those below:
#   common < platform < settings < engine, transfer < ui < app
# (engine and transfer share a layer and do not include each other).
set -u
root=${1:?usage: check_layers.sh SOURCE_ROOT}
cd "$root/src" || exit 2

rank() {
  case $1 in
    common) echo 0 ;; platform) echo 1 ;; settings) echo 2 ;;
    engine|transfer) echo 3 ;; ui) echo 4 ;; app) echo 5 ;; *) echo -1 ;;
  esac
}

bad=0
while IFS= read -r hit; do
  file=${hit%%:*}
  from=${file%%/*}
  to=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*"([a-z_]+)\/.*/\1/' <<<"${hit#*:}")
  from_rank=$(rank "$from")
  to_rank=$(rank "$to")
  [ "$to_rank" -lt 0 ] && continue
  if [ "$to_rank" -gt "$from_rank" ] || { [ "$to_rank" -eq "$from_rank" ] && [ "$to" != "$from" ]; }; then
    echo "$hit"
    bad=1
  fi
done < <(grep -rnE '^\s*#\s*include\s*"[a-z_]+/' --include='*.h' --include='*.cc' . | sed 's#^\./##')

if [ "$bad" -ne 0 ]; then
  echo "includes from a folder above (layers: common < platform < settings < engine, transfer < ui < app)"
  exit 1
fi
echo "every folder includes only from its own layer and those below"
