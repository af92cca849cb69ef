#!/usr/bin/env bash
# What a screen reader and a keyboard user learn of the recent files, through AT-SPI in a session
# bus of the test's own: two entries whose captions read alike are told apart by their
# descriptions, the full paths, and highlighting an entry with the keyboard shows its full path.
#   accessibilitytest.sh PROGRAM
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
# Debian's Python, which has the AT-SPI bindings.
python=/usr/bin/python3

"$python" -c 'import pyatspi' 2>/dev/null || skip "no AT-SPI bindings for Python (python3-pyatspi)"
command -v dbus-run-session >/dev/null || skip "no dbus-run-session to run a session bus"
if [ -z "${HIX_SESSION_BUS:-}" ]; then
    exec env HIX_SESSION_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

source "$here/../../scripts/xsession.sh"
XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
start_x
first=/home/alex/Documents/letters/2008/may/invoice-0042.odt
second=/home/bob/Documents/letters/2008/may/invoice-0042.odt
write_settings "$program" <<CONF
[Config]
MAX_FILES=5
noHIX=2

[Recent%20Files]
1=$first
2=$second
CONF
# The accessibility bus is up before the program asks for it.
"$python" -c 'import pyatspi; pyatspi.Registry.getDesktop(0)'
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 start_program "$program"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
"$python" "$here/accessibility.py" "$(basename "$program")" descriptions "$first" "$second"
# New, Open, Save, Save As, entry 1, entry 2.
xdotool key alt+f
wait_for_windows "-gt 1"
press Down Down Down Down Down
"$python" "$here/accessibility.py" "$(basename "$program")" tooltip "$second"
rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
echo "2 passed, 0 failed"
