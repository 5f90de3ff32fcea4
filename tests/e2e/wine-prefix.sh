#!/usr/bin/env bash
# Makes a 32-bit Wine prefix in which the Windows program shows its window
# as on a Simplified Chinese desktop:
#
#   tests/e2e/wine-prefix.sh PREFIX [DPI]
#
# - The display's scale is DPI pixels per logical inch (LogPixels; 96, a
#   scale of 1, when not given; 144 is 150 %). Wine reads it as each
#   program starts, so a running Wine server need not be restarted.
# - Windows are not handed to an X window manager (Managed=N): Wine draws
#   the caption and frame itself, so the window's outer size, its place on
#   the screen and its always-on-top state are Wine's own, with or without
#   a window manager on the display.
# - The default GUI font ("MS Shell Dlg", "MS Shell Dlg 2") is a CJK face
#   found through fontconfig (WenQuanYi Micro Hei, Debian's
#   fonts-wqy-microhei, or Noto Sans CJK), as a Chinese desktop's is, and
#   the faces Wine draws captions, menus and tooltips with ("Tahoma",
#   "Microsoft Sans Serif", "Segoe UI") link to it: Chinese texts render
#   instead of boxes, in the edit controls too (Wine's edit control does
#   not follow font links).
# - Wine's own TrueType fonts (Debian's fonts-wine: Tahoma, and Marlett for
#   the caption buttons) are linked into the prefix's Fonts folder, where
#   this Wine looks for them.
#
# Safe to run on an existing prefix: the settings are written again.
set -euo pipefail
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

# The CJK face: file name and family, as the font linking wants them.
face_file="" face_name=""
for family in "WenQuanYi Micro Hei" "Noto Sans CJK SC" "Droid Sans Fallback"; do
  file=$(fc-match -f '%{file}' "$family:lang=zh-cn" 2>/dev/null || true)
  name=$(fc-match -f '%{family[0]}' "$family:lang=zh-cn" 2>/dev/null || true)
  if [ -n "$file" ] && [ "$name" = "$family" ]; then
    face_file=$(basename "$file") face_name=$family
    break
  fi
done

reg() { wine reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
if [ -n "$face_name" ]; then
  link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for font in "Tahoma" "Microsoft Sans Serif" "Segoe UI"; do
    reg "$link" /v "$font" /t REG_MULTI_SZ /d "$face_file,$face_name"
  done
  subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for font in "MS Shell Dlg" "MS Shell Dlg 2"; do
    reg "$subst" /v "$font" /t REG_SZ /d "$face_name"
  done
else
  echo "$0: no CJK font found through fontconfig; Chinese texts show as boxes" >&2
fi
wineserver --wait
echo "$WINEPREFIX"
