#!/usr/bin/env bash
# Drives the real program in a real X server through its keyboard interface, then checks what it
# stored: a first run, then a restart that promotes an entry and exits from the File menu.
set -euo pipefail
program=$(realpath "$1")
source "$(dirname "$0")/../../scripts/xsession.sh"

XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
settings="$XDG_CONFIG_HOME/hix/$(basename "$program").conf"
start_x

fail() {
    echo "FAIL: $*" >&2
    cat "$settings" >&2 || true
    exit 1
}

# A first run greets the user, who closes the box with Enter.
start_program "$program"
answer_box "HIX Demo - A. Veskin"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
choose_from_file_menu x
wait_for_exit
grep -qx 'MAX_FILES=3' "$settings" || fail "a first run stores the maximum 3"
grep -qx 'noHIX=0' "$settings" || fail "a first run stores the count 0"

# A stored list comes back; choosing entry 3 by its access key moves it to the top of the store.
write_settings "$program" <<'CONF'
[Config]
MAX_FILES=5
noHIX=3

[Recent%20Files]
1=/home/alex/c.txt
2=/home/alex/b.txt
3=/home/alex/a.txt
CONF
start_program "$program"
window=$(focus_window "HIX Demo - Aldo Veskin")
xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "the window asks to stay out of the task bar"
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
[ "$(sed -n 's/.*minimum size: //p' <<<"$hints")" = "$(sed -n 's/.*maximum size: //p' <<<"$hints")" ] \
    || fail "the window has a fixed size: $hints"
has_icon() { [[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon ("* ]]; }
for _ in $(seq 50); do has_icon && break; sleep 0.1; done
has_icon || fail "the window has an icon once it is drawn"
choose_from_file_menu 3
choose_from_file_menu x
wait_for_exit
[ "$(grep -E '^[123]=' "$settings" | tr '\n' ' ')" = "1=/home/alex/a.txt 2=/home/alex/c.txt 3=/home/alex/b.txt " ] \
    || fail "choosing entry 3 stores it first"

# A named pipe where the settings belong: the program starts without greeting a user whose list it
# cannot read, says once what is wrong, leaves the pipe as it is, and ends on SIGTERM.
rm "$settings"
mkfifo "$settings"
start_program "$program"
answer_box "HIX Demo"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
[ -p "$settings" ] || fail "the named pipe is left as it is"
kill -TERM "$program_pid"
wait_for_exit

# Without a display: one line that says so and how to run it in a virtual X server.
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1) && fail "it ran without a display"
[ "$(wc -l <<<"$said")" -eq 1 ] && grep -q "no display was found" <<<"$said" && grep -q "xvfb-run" <<<"$said" \
    || fail "one line says that there is no display and what to do: $said"

rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
echo "5 passed, 0 failed"
