#!/usr/bin/env bash
# The committed icons are what tools/make_desktop_icons.py draws from the
# palette and the reticle: redraws them in a temporary directory and compares
# the bytes.
# usage: check_icons.sh SOURCE_DIR [PYTHON]
set -uo pipefail
source_dir=${1:?usage: check_icons.sh SOURCE_DIR [PYTHON]}
python=${2:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$source_dir/tools/make_desktop_icons.py" "$work" >/dev/null || { echo "FAILED: make_desktop_icons.py"; exit 1; }
status=0
for size in 48x48 256x256; do
  if cmp -s "$work/$size/tinctora.png" "$source_dir/packaging/linux/icons/$size/tinctora.png"; then
    echo "ok: the $size icon is up to date"
  else
    echo "FAILED: packaging/linux/icons/$size/tinctora.png differs from tools/make_desktop_icons.py's drawing"
    status=1
  fi
done
exit $status
