#!/usr/bin/env bash
# The committed icons are what the tools draw from the palette and the
# reticle: redraws them in a temporary directory and compares the bytes of
# every size in packaging/linux/icons/ (tools/make_desktop_icons.py) and of
# programs/windows/tinctora.ico (tools/make_icon.py). The sizes come from the
# drawing script, and a size folder it does not draw fails too, since
# packaging/CMakeLists.txt installs every folder there.
# usage: check_icons.sh SOURCE_DIR [PYTHON]
set -uo pipefail
source_dir=${1:?usage: check_icons.sh SOURCE_DIR [PYTHON]}
python=${2:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
icons=$source_dir/packaging/linux/icons
sizes=$("$python" "$source_dir/tools/make_desktop_icons.py" --sizes) && [ -n "$sizes" ] ||
  { echo "FAILED: make_desktop_icons.py --sizes"; exit 1; }
"$python" "$source_dir/tools/make_desktop_icons.py" "$work/icons" >/dev/null || { echo "FAILED: make_desktop_icons.py"; exit 1; }
"$python" "$source_dir/tools/make_icon.py" "$work/tinctora.ico" >/dev/null || { echo "FAILED: make_icon.py"; exit 1; }
status=0
for size in $sizes; do
  if cmp -s "$work/icons/$size/tinctora.png" "$icons/$size/tinctora.png"; then
    echo "ok: the $size icon is up to date"
  else
    echo "FAILED: packaging/linux/icons/$size/tinctora.png differs from tools/make_desktop_icons.py's drawing"
    status=1
  fi
done
for folder in "$icons"/*/; do
  folder=$(basename "$folder")
  if ! grep -qx -- "$folder" <<<"$sizes"; then
    echo "FAILED: packaging/linux/icons/$folder is not a size tools/make_desktop_icons.py draws"
    status=1
  fi
done
if cmp -s "$work/tinctora.ico" "$source_dir/programs/windows/tinctora.ico"; then
  echo "ok: programs/windows/tinctora.ico is up to date"
else
  echo "FAILED: programs/windows/tinctora.ico differs from tools/make_icon.py's drawing"
  status=1
fi
exit $status
