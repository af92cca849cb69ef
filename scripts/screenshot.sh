#!/usr/bin/env bash
# Shows the real program with a prepared list in a virtual X server, opens the File menu and saves
# a picture of it:
#   screenshot.sh PROGRAM OUTPUT [POINTS]
# With POINTS, the desktop's font has that size, set as GNOME sets it: in GTK's settings, which
# Qt's GTK platform theme reads.
set -euo pipefail
program=$(realpath "$1")
output=${2:-docs/screenshot.png}
points=${3:-}
source "$(dirname "$0")/xsession.sh"

XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
if [ -n "$points" ]; then
    mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
    printf '[Settings]\ngtk-font-name=DejaVu Sans %s\n' "$points" >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
    export QT_QPA_PLATFORMTHEME=gtk3 XVFB_SCREEN=1400x1000x24
fi
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
# The File menu, with entry 2 highlighted from the keyboard, which shows its full path.
press alt+f Down Down Down Down Down
sleep 1
mkdir -p "$(dirname "$output")"
import -window root png:- | convert - -trim +repage "$output"
rm -rf "$XDG_CONFIG_HOME"
echo "Saved $output"
