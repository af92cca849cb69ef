#!/usr/bin/env bash
# One run of the real program in the X server of DISPLAY, over the settings in XDG_CONFIG_HOME:
#   programsave.sh PROGRAM first-run|promotion
# prints "+" for each step the program finished without an error box: its start (which saves a
# first run's defaults), then, for a promotion, choosing entry 3 from the File menu.
set -uo pipefail
program=$1
source "$(dirname "$0")/../../scripts/xsession.sh"
trap 'kill "$program_pid" 2>/dev/null' EXIT
# Only the steps go to the caller.
exec 3>&1 1>/dev/null

# A failed save shows a box titled with the program's display name.
box_up() {
    xdotool search --onlyvisible --name "^HIX Demo\$" >/dev/null 2>&1
}

# Waits until the box is up (failed) or CONDITION holds (done), for up to ten seconds.
outcome() {
    for _ in $(seq 200); do
        box_up && return 1
        eval "$1" && return 0
        sleep 0.05
    done
    return 1
}

start_program "$program"
[ "$2" = first-run ] && answer_box "HIX Demo - A. Veskin"
# The window shows only after the start's save, or after the box that says it failed.
outcome 'xdotool search --onlyvisible --name "^HIX Demo - Aldo Veskin\$" >/dev/null' || exit 0
echo + >&3
[ "$2" = promotion ] || exit 0
focus_window "HIX Demo - Aldo Veskin" >/dev/null
xdotool key alt+f
wait_for_windows "-gt 1"
xdotool key 3
outcome '[ "$(mapped_windows)" -le 1 ]' || exit 0
# The File menu opens only once the choice is handled, and not while a box holds the keys.
xdotool key alt+f
outcome '[ "$(mapped_windows)" -gt 1 ]' || exit 0
echo + >&3
