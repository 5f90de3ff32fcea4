#!/usr/bin/env bash
# Makes a 32-bit Wine prefix in which the Windows program shows its window
# as on an English or German Windows desktop:
#
#   tests/e2e/wine-prefix.sh PREFIX [DPI]
#   tests/e2e/wine-prefix.sh --fonts PREFIX
#
# - The display's scale is DPI pixels per logical inch (LogPixels; 96, a
#   scale of 1, when not given; 144 is 150 %). Wine reads it as each
#   program starts, so a running Wine server need not be restarted.
# - Windows are not handed to an X window manager (Managed=N): Wine draws
#   the caption and frame itself, so the window's outer size, its place on
#   the screen and its always-on-top state are Wine's own, with or without
#   a window manager on the display.
# - The fonts are those of a Western Windows that has the Chinese fonts
#   every Windows 10 and 11 edition ships: the default GUI font ("MS Shell
#   Dlg", "MS Shell Dlg 2") is a Latin face without ideographs (Tahoma), and
#   the Simplified Chinese faces the program asks for by name (SimSun,
#   NSimSun, 宋体, 新宋体, Microsoft YaHei, 微软雅黑, SimHei, 黑体) are Debian
#   fonts, substituted (FontSubstitutes): the Song faces a Ming face with
#   half-width Latin (AR PL UMing CN, Debian's fonts-arphic-uming), the Hei
#   faces WenQuanYi Micro Hei (fonts-wqy-microhei); either stands in for the
#   other when only one is installed. A program that takes the default GUI
#   font shows its Chinese texts in a Latin face's metrics.
# - The faces Wine draws captions and tooltips with ("Tahoma", "Microsoft
#   Sans Serif", "Segoe UI") link to the Chinese face (SystemLink), as they
#   link to the East Asian faces on Windows, so a Chinese caption renders.
# - Wine's own TrueType fonts (Debian's fonts-wine: Tahoma, and Marlett for
#   the caption buttons) are linked into the prefix's Fonts folder, where
#   this Wine looks for them.
#
# With --fonts, only the fonts are set, in an existing prefix (the test
# prefixes of tools/test-windows-core keep Wine's other defaults).
# Safe to run on an existing prefix: the settings are written again.
set -euo pipefail
fonts_only=false
if [ "${1:-}" = "--fonts" ]; then
  fonts_only=true
  shift
  [ $# -eq 1 ] || { echo "usage: $0 --fonts PREFIX" >&2; exit 2; }
fi
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 PREFIX [DPI]" >&2; exit 2; }
dpi=${2:-96}
[[ "$dpi" =~ ^[1-9][0-9]*$ ]] || { echo "$0: DPI must be a whole number, got '$dpi'" >&2; exit 2; }
mkdir -p "$1"
export WINEPREFIX=$(cd "$1" && pwd)
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Prefix creation needs no display.
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait
fi

fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*.ttf; do
  [ -e "$font" ] && ln -sf "$font" "$fonts/"
done

# A family found through fontconfig: its file's name and the family, as the
# font linking wants them; nothing when fontconfig has no such family.
find_family() {  # find_family FAMILY
  local file name
  file=$(fc-match -f '%{file}' "$1:lang=zh-cn" 2>/dev/null || true)
  name=$(fc-match -f '%{family[0]}' "$1:lang=zh-cn" 2>/dev/null || true)
  [ -n "$file" ] && [ "$name" = "$1" ] && printf '%s\t%s\n' "$(basename "$file")" "$1"
  return 0
}
song=$(find_family "AR PL UMing CN")
hei=$(find_family "WenQuanYi Micro Hei")
[ -n "$hei" ] || hei=$(find_family "Noto Sans CJK SC")
[ -n "$song" ] || song=$hei
[ -n "$hei" ] || hei=$song

# One registry file, written at once: UTF-16 with its byte order mark, so
# the Chinese names go in whatever the locale.
reg_file=$WINEPREFIX/drive_c/tinctora-prefix.reg
trap 'rm -f "$reg_file"' EXIT
{
  echo 'Windows Registry Editor Version 5.00'
  echo
  if ! $fonts_only; then
    echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
    echo '"Managed"="N"'
    echo
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
    printf '"LogPixels"=dword:%08x\n' "$dpi"
    echo
  fi
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
  # The default GUI font is a Latin face, as on a Western Windows (a prefix
  # made by an earlier version of this script had a CJK face there).
  echo '"MS Shell Dlg"="Tahoma"'
  echo '"MS Shell Dlg 2"="Tahoma"'
  if [ -n "$song" ]; then
    for face in SimSun NSimSun 宋体 新宋体; do
      printf '"%s"="%s"\n' "$face" "${song#*$'\t'}"
    done
    for face in "Microsoft YaHei" 微软雅黑 SimHei 黑体; do
      printf '"%s"="%s"\n' "$face" "${hei#*$'\t'}"
    done
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
    for font in "Tahoma" "Microsoft Sans Serif" "Segoe UI"; do
      # REG_MULTI_SZ: "file,family", UTF-16, ending in two zeros.
      printf '"%s"=hex(7):%s\n' "$font" \
        "$(printf '%s,%s' "${song%%$'\t'*}" "${song#*$'\t'}" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 |
           tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g'),00,00,00,00"
    done
  fi
  echo
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg_file"
[ -n "$song" ] || echo "$0: no CJK font found through fontconfig; Chinese texts show as boxes" >&2
wine regedit /S 'C:\tinctora-prefix.reg' >/dev/null 2>&1
wineserver --wait
echo "$WINEPREFIX"
