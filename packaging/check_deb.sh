#!/usr/bin/env bash
# Builds the Debian package of a configured build tree in a temporary
# directory and checks it: the control fields (the Depends found by
# dpkg-shlibdeps and the font named by hand), the file list, and the menu
# entry by desktop-file-validate.
# Exit 77 (skipped) when dpkg-deb, dpkg-shlibdeps or desktop-file-validate
# is missing (tools/install-packages installs them).
#
# usage: check_deb.sh BUILD_DIR [CPACK]
set -uo pipefail

build=${1:?usage: check_deb.sh BUILD_DIR [CPACK]}
cpack=${2:-cpack}
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (tools/install-packages installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1); then
  echo "FAILED: cpack"; cat "$work/cpack.log"; exit 1
fi
debs=("$work"/tinctora_*_"$(dpkg --print-architecture)".deb)
if [ ! -f "${debs[0]}" ]; then
  echo "FAILED: no tinctora_VERSION_ARCH.deb in:"; ls "$work"; exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb")"

failures=0
check() {  # check WHAT COMMAND...: passes when the command succeeds
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

field() { dpkg-deb -f "$deb" "$1"; }
depends=$(field Depends)
echo "Depends: $depends"
# One entry of Depends: a package name, maybe with a version, maybe among alternatives.
depends_on() { tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g' | grep -qx "$1"; }

check "Package is tinctora" test "$(field Package)" = tinctora
check "Section is graphics" test "$(field Section)" = graphics
check "Architecture is the machine's" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "a Maintainer" test -n "$(field Maintainer)"
check "a Description" test -n "$(field Description)"
check "Depends on the Qt 6 widgets library" depends_on libqt6widgets6
check "Depends on the XCB library" depends_on libxcb1
check "Depends on XCB RandR" depends_on libxcb-randr0
check "Depends on XCB keysyms" depends_on libxcb-keysyms1
check "Depends on libpng" depends_on libpng16-16
check "Depends on the Chinese font" depends_on fonts-wqy-microhei
check "no development package in Depends" bash -c '! grep -q -- "-dev\b" <<<"$1"' _ "$depends"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
has_file() { grep -qx "$1" "$work/files"; }
check "/usr/bin/tinctora" has_file /usr/bin/tinctora
check "the menu entry" has_file /usr/share/applications/tinctora.desktop
check "the 48 x 48 icon" has_file /usr/share/icons/hicolor/48x48/apps/tinctora.png
check "the 256 x 256 icon" has_file /usr/share/icons/hicolor/256x256/apps/tinctora.png
check "only files under /usr" bash -c '! grep -v "^/usr/" "$1"' _ "$work/files"

dpkg-deb -e "$deb" "$work/control"
check "no maintainer scripts" bash -c '! ls "$1" | grep -qvx -e control -e md5sums' _ "$work/control"

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
check "the program is executable" test -x "$work/root/usr/bin/tinctora"
check "the menu entry is valid" desktop-file-validate "$work/root/usr/share/applications/tinctora.desktop"
desktop_key() { sed -n "s/^$1=//p" "$work/root/usr/share/applications/tinctora.desktop"; }
check "the menu entry runs tinctora" test "$(desktop_key Exec)" = tinctora
check "the menu entry's icon is tinctora" test "$(desktop_key Icon)" = tinctora
# A PNG's width and height: bytes 16 to 23, big-endian.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4 "x" $5*16777216 + $6*65536 + $7*256 + $8}'
}
for size in 48 256; do
  icon=$work/root/usr/share/icons/hicolor/${size}x${size}/apps/tinctora.png
  check "the ${size} x ${size} icon is a PNG of that size" \
    test "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' ')/$(png_size "$icon")" = "89504e470d0a1a0a/${size}x${size}"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
