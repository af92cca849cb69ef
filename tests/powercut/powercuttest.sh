#!/usr/bin/env bash
# The power-cut tests, the real program's cases included, in an X server of their own:
#   powercuttest.sh DRIVER POWERCUTFS PROGRAM
set -euo pipefail
source "$(dirname "$0")/../../scripts/xsession.sh"
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
start_x
"$1" "$2" --program "$(realpath "$3")" "$(dirname "$(realpath "$0")")/programsave.sh"
