#!/usr/bin/env bash
# Shows the real program with a prepared list in a virtual X server, opens the File menu and saves
# a picture of it:
#   screenshot.sh PROGRAM OUTPUT [POINTS [SCREEN [ENTRIES [LANGUAGE]]]]
# With POINTS, the desktop's font has that size, set as GNOME sets it: in GTK's settings, which
# Qt's GTK platform theme reads. SCREEN is the screen's size (1400x1000 unless told), ENTRIES the
# number of entries listed (4 unless told), LANGUAGE the user's language (ar for Arabic).
set -euo pipefail
program=$(realpath "$1")
output=${2:-docs/screenshot.png}
points=${3:-}
screen=${4:-}
entries=${5:-4}
language=${6:-}
source "$(dirname "$0")/xsession.sh"

XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME XVFB_SCREEN=${screen:-1400x1000}x24
if [ -n "$points" ]; then
    mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
    printf '[Settings]\ngtk-font-name=DejaVu Sans %s\n' "$points" >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
    export QT_QPA_PLATFORMTHEME=gtk3
fi
[ -z "$language" ] || export LANG="$language.UTF-8" LANGUAGE="$language"
start_x
{
    printf '[Config]\nMAX_FILES=20\nnoHIX=%d\n\n[Recent%%20Files]\n' "$entries"
    printf '1=/home/alex/notes.txt\n2=/home/alex/Documents/letters/2008/may/invoice-0042.odt\n'
    printf '3=/home/alex/R&D/plan.txt\n4=/srv/share/report.pdf\n'
    for i in $(seq 5 "$entries"); do
        printf '%d=/home/alex/Documents/projects/%02d/minutes of the weekly meeting.txt\n' "$i" "$i"
    done
} | write_settings "$program"

start_program "$program"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
# The File menu, with entry 2 highlighted from the keyboard, which shows its full path.
press alt+f Down Down Down Down Down
sleep 1
mkdir -p "$(dirname "$output")"
import -window root png:- | convert - -trim +repage "$output"
rm -rf "$XDG_CONFIG_HOME"
echo "Saved $output"
