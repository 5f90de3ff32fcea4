#!/usr/bin/env bash
# The Windows packages, end to end: makes them from the built program with
# a throwaway self-signed certificate (packaging/windows/make-package) and
# checks them (packaging/windows/check-package: the zip's files and hashes,
# the MSI's tables, the winget manifest, the signatures); sees the checker
# fail on a wrong hash in the manifest, a file missing from the zip and a
# signature by another certificate; then, under Wine on a virtual X server,
# installs the MSI for the user with msiexec, upgrades it with the next
# version's MSI, starts the program from the Start menu shortcut, closes it
# with Escape, uninstalls it and checks that none of its files, its
# shortcut or its registry keys are left.
# Exit 77 (skipped) when a tool is missing or this machine runs no 32-bit
# code.
#
# usage: wine_package.sh PATH/TO/tinctora.exe VERSION DEPS-PREFIX OUT-DIR PREFIX-DIR
set -uo pipefail

usage="usage: wine_package.sh PATH/TO/tinctora.exe VERSION DEPS-PREFIX OUT-DIR PREFIX-DIR"
[ $# -eq 5 ] || { echo "$usage"; exit 2; }
program=$1 version=$2 deps_prefix=$3 out=$4
mkdir -p "$5"
prefix=$(cd "$5" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
packaging=$root/packaging/windows
for tool in wine winepath Xvfb xdotool wixl msiinfo msiextract osslsigncode openssl zip unzip python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (tools/test-windows-core installs it)"
    exit 77
  fi
done
if ! python3 -c 'import yaml' 2>/dev/null; then
  echo "skipped: python3-yaml is not installed (tools/test-windows-core installs it)"
  exit 77
fi
if ! "$root"/tools/runs-32-bit-code; then
  echo "skipped: this machine runs no 32-bit x86 code, which 32-bit Wine needs"
  exit 77
fi

# The checks and waits the end-to-end scripts share (check, poll_until).
source "$here"/../checks.sh
on_check_failed() { :; }
work=$(mktemp -d)
pids=()
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
window_named() {  # window_named NAME: sets found_window
  found_window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  [ -n "$found_window" ]
}
started=$(date +%s%N)
elapsed() { echo "$(( ($(date +%s%N) - started) / 1000000 )) ms"; }

# The packages, signed with a certificate made for this run.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Tinctora test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null ||
  { echo "FAILED: openssl made no certificate"; exit 1; }
if ! TINCTORA_SIGN_CERT=$work/cert.pem TINCTORA_SIGN_KEY=$work/key.pem \
     "$packaging"/make-package --exe "$program" --version "$version" --deps-prefix "$deps_prefix" --out "$out"; then
  echo "FAILED: make-package"; exit 1
fi
name=tinctora-$version-win32
msi=$out/$name.msi
echo "packages made after $(elapsed)"

"$packaging"/check-package "$out" "$version" --ca "$work/cert.pem"
check "the packages' check" 0 $?

# The checker fails on a planted fault: copies of the packages, each
# spoilt in one way.
check_fails_on() {  # check_fails_on WHAT EXPECTED-FAILURE DIR [CHECK-PACKAGE ARGS...]
  local what=$1 expected=$2 dir=$3
  shift 3
  "$packaging"/check-package "$dir" "$version" "$@" >"$work/spoilt.log" 2>&1
  check "the check's status with $what" 1 $?
  grep -q "^FAILED: $expected" "$work/spoilt.log"
  check "the check names $what" 0 $?
}
manifest=winget/manifests/t/Tinctora/Tinctora/$version/Tinctora.Tinctora.installer.yaml
cp -r "$out" "$work/wrong-hash"
sed -i 's/InstallerSha256: .*/InstallerSha256: '"$(printf '0%.0s' {1..64})"'/' "$work/wrong-hash/$manifest"
check_fails_on "a wrong hash in the manifest" "the winget InstallerSha256 is the zip's" "$work/wrong-hash"
cp -r "$out" "$work/missing-file"
zip -q -d "$work/missing-file/$name.zip" README.txt
check_fails_on "a file missing from the zip" "the zip holds the program" "$work/missing-file"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Another signer" \
  -keyout "$work/other-key.pem" -out "$work/other-cert.pem" 2>/dev/null
check_fails_on "another signer's certificate" "the signature of the program in the zip verifies" \
  "$out" --ca "$work/other-cert.pem"
echo "packages checked after $(elapsed)"

# Wine: a prefix of the test's own (made once, kept in the build tree), on
# a virtual X server. winemenubuilder is off, so the shortcut makes no
# menu entry on this machine's desktop.
# A run that stopped midway may have left the program installed, or
# Windows Installer's records of its components: the prefix is made afresh
# unless the last run uninstalled cleanly.
clean_mark=$prefix/.uninstalled-cleanly
if [ ! -f "$clean_mark" ] && [ -f "$prefix/system.reg" ]; then rm -rf "$prefix"; fi
"$here"/../wine-prefix.sh "$prefix" >/dev/null || { echo "FAILED: the Wine prefix could not be made"; exit 1; }
export WINEPREFIX=$(cd "$prefix" && pwd) WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
echo "prefix ready after $(elapsed)"
# The display is there before the first Wine program of the session
# starts: a session started without one stays without it.
unset WAYLAND_DISPLAY
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
if ! poll_until 10 test -s "$work/display"; then
  echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -1 "$work/display")"

# Where a per-user install goes: the user's local application data, and
# the user's Start menu.
folder_of() { winepath -u "$(wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r')" 2>/dev/null; }
local_appdata=$(folder_of LOCALAPPDATA)
appdata=$(folder_of APPDATA)
[ -d "$local_appdata" ] && [ -d "$appdata" ] || { echo "FAILED: no user folders in the prefix"; exit 1; }
install_dir=$local_appdata/Programs/Tinctora
shortcut="$appdata/Microsoft/Windows/Start Menu/Programs/Tinctora.lnk"
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
# msiexec, given at most 120 s: an installer that waits for something
# fails the test instead of hanging it.
msiexec() { timeout 120 wine msiexec "$@" </dev/null >/dev/null 2>&1; }
reg_has() { wine reg query "$@" </dev/null >/dev/null 2>&1; }
# Whether the MSI's product has its uninstall entry: under HKCU as Windows
# writes a per-user product's, or under HKLM, where Wine writes every
# product's.
uninstall_entry() {  # uninstall_entry MSI
  local key="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(product_code "$1")"
  reg_has "HKCU\\$key" || reg_has "HKLM\\$key"
}

rm -f "$clean_mark"
msiexec /i "$msi" /qn /l*v "$(winepath -w "$work/install.log" 2>/dev/null)"
check "msiexec /i's status" 0 $?
echo "installed after $(elapsed)"
installed=$(cd "$install_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
check "the installed files" "README.txt licenses/gcc-runtime.txt licenses/libpng.txt licenses/mingw-w64.txt licenses/zlib.txt tinctora.exe " "$installed"
unzip -p "$out/$name.zip" tinctora.exe >"$work/zipped.exe"
cmp -s "$work/zipped.exe" "$install_dir/tinctora.exe"
check "the installed program is the zip's" 0 $?
check "the Start menu shortcut" yes "$([ -f "$shortcut" ] && echo yes || echo no)"
check "the program's path under HKCU\\Software\\Tinctora" \
  "$(winepath -w "$install_dir/tinctora.exe" 2>/dev/null)" \
  "$(wine reg query 'HKCU\Software\Tinctora' /v Program </dev/null 2>/dev/null | tr -d '\r' |
     sed -n 's/^ *Program *REG_SZ *//p')"
check "the uninstall entry" yes "$(uninstall_entry "$msi" && echo yes || echo no)"

# The next version's MSI replaces this one (the same files, another
# ProductCode and version): one product is left, the newer.
next=${version%.*}.$((${version##*.} + 1))
"$packaging"/make-package --exe "$program" --version "$next" --deps-prefix "$deps_prefix" \
  --out "$work/next" >/dev/null || { echo "FAILED: make-package $next"; exit 1; }
next_msi=$work/next/tinctora-$next-win32.msi
msiexec /i "$next_msi" /qn
check "msiexec /i's status for $next over $version" 0 $?
check "the uninstall entry of $version after the upgrade" gone "$(uninstall_entry "$msi" && echo left || echo gone)"
check "the uninstall entry of $next" yes "$(uninstall_entry "$next_msi" && echo yes || echo no)"
echo "upgraded after $(elapsed)"

# The program, started from the shortcut as from the Start menu: its
# window shows, and Escape closes it and ends the process.
# Whether a process runs the installed program (Wine gives it its Windows
# path as its command line).
running() { grep -qsa 'Programs.Tinctora.tinctora\.exe' /proc/[0-9]*/cmdline; }
timeout 20 wine start /unix "$shortcut" </dev/null >"$work/tinctora.log" 2>&1
if poll_until 60 window_named 'Tinctora V1'; then
  check "the program started from the shortcut" yes "$(running && echo yes || echo no)"
  echo "the window showed after $(elapsed)"
  eval "$(xdotool getwindowgeometry --shell "$found_window")"
  # A click on the caption Wine draws gives the window the focus.
  xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) click 1 sleep 0.2 key Escape
  poll_until 20 eval '! window_named "Tinctora V1" && ! running'
  check "the program after Escape" ended "$(running && echo running || echo ended)"
else
  check "the program's window from the shortcut" shown "not shown in 60 s"
fi
# Whatever still runs in the prefix (a program the shortcut started in
# its place, one that outlived Escape) would hold the installed files.
wineserver -k

msiexec /x "$next_msi" /qn
check "msiexec /x's status" 0 $?
echo "uninstalled after $(elapsed)"
check "the install folder after uninstalling" gone "$([ -e "$install_dir" ] && echo left || echo gone)"
check "the shortcut after uninstalling" gone "$([ -e "$shortcut" ] && echo left || echo gone)"
check "HKCU\\Software\\Tinctora after uninstalling" gone "$(reg_has 'HKCU\Software\Tinctora' && echo left || echo gone)"
check "the uninstall entry after uninstalling" gone "$(uninstall_entry "$next_msi" && echo left || echo gone)"
if [ "$failures" -ne 0 ]; then
  echo "--- msiexec's log (end)"; tr -d '\0\r' <"$work/install.log" 2>/dev/null | tail -40
  echo "--- program output"; cat "$work/tinctora.log" 2>/dev/null
  exit 1
fi
touch "$clean_mark"
