#!/usr/bin/env bash
# Shows the real program with a prepared list in a virtual X server, opens the File menu and saves
# a picture of it to docs/screenshot.png.
set -euo pipefail
program=$(realpath "$1")
output=${2:-docs/screenshot.png}
source "$(dirname "$0")/xsession.sh"

XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
start_x
write_settings "$program" <<'CONF'
[Config]
MAX_FILES=5
noHIX=4

[Recent%20Files]
1=/home/alex/notes.txt
2=/home/alex/Documents/letters/2008/may/invoice-0042.odt
3=/home/alex/R&D/plan.txt
4=/srv/share/report.pdf
CONF

start_program "$program"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
press alt+f
# Resting the pointer on entry 2 shows its full path.
xdotool mousemove 150 141
sleep 1.5
mkdir -p "$(dirname "$output")"
import -window root -crop 560x350+0+0 +repage "$output"
rm -rf "$XDG_CONFIG_HOME"
echo "Saved $output"
