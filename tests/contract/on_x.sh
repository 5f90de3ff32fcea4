#!/usr/bin/env bash
# Runs a program on a virtual X server of its own, with openbox as the
# window manager when it is installed; exit 77 (skipped) without Xvfb.
#
# usage: on_x.sh PROGRAM [ARGUMENTS...]
set -uo pipefail
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "skipped: Xvfb is not installed (tools/install-packages installs it)"
  exit 77
fi
source "$(cd "$(dirname "$0")/../.." && pwd)/tools/virtual-x.sh"
vx_start 1280x1024x24 || exit 1
export XDG_RUNTIME_DIR="$vx_work"
vx_start_wm
"$@"
