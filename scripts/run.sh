#!/usr/bin/env bash
# Starts the built program, or says plainly why it cannot. Without a display it says how to start
# the program in a virtual X server instead, and exits 3, which make takes for done.
set -euo pipefail
program=${1:?usage: run.sh PROGRAM}

if [ ! -x "$program" ]; then
    echo "The window is not built yet: $program does not exist." >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    if command -v xvfb-run >/dev/null; then
        echo "Run it in a virtual X server instead:  xvfb-run -a $program" >&2
    else
        echo "Run it in a virtual X server instead:  sudo apt-get install xvfb && xvfb-run -a $program" >&2
    fi
    exit 3
fi
exec "$program"
