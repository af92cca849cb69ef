# Helpers, sourced by scripts that drive the real program in a virtual X server.

# Starts Xvfb on a free display, with a screen of XVFB_SCREEN (800x600x24 unless told), and exports
# DISPLAY; the server ends with the calling shell.
start_x() {
    local fifo display
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-800x600x24}" -nolisten tcp 3>"$fifo" 2>/dev/null &
    xvfb_pid=$!
    read -r -t 10 display <"$fifo"
    rm -f "$fifo"
    [ -n "$display" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$display"
    trap 'kill "${program_pid:-}" "$xvfb_pid" 2>/dev/null || true' EXIT
}

# Writes a settings file for PROGRAM under $XDG_CONFIG_HOME from standard input.
write_settings() {
    local program=$1
    mkdir -p "$XDG_CONFIG_HOME/hix"
    cat >"$XDG_CONFIG_HOME/hix/$(basename "$program").conf"
}

start_program() {
    "$1" &
    program_pid=$!
}

# Prints the id of the window whose title is TITLE once it is mapped, and gives it the focus.
focus_window() {
    local id
    id=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    [ -n "$id" ] || { echo "no window titled '$1' appeared" >&2; return 1; }
    xdotool windowfocus --sync "$id"
    echo "$id"
}

# Types KEYS (xdotool key names) one at a time, giving menus time to open.
press() {
    local key
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.3
    done
}

# How many of the program's windows are mapped, its menus included.
mapped_windows() {
    xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | wc -l
}

# Waits up to ten seconds while CONDITION (a test of $(mapped_windows)) fails.
wait_for_windows() {
    local condition=$1
    for _ in $(seq 200); do
        eval "[ $(mapped_windows) $condition ]" && return 0
        sleep 0.05
    done
    echo "the program's mapped windows never came to be $condition (now $(mapped_windows))" >&2
    return 1
}

# Answers the box titled TITLE with Return and waits until it is gone. A key that reached the box
# before it took keys is sent again.
answer_box() {
    local title=$1
    focus_window "$title" >/dev/null
    for _ in $(seq 5); do
        xdotool key Return
        for _ in $(seq 40); do
            xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 || return 0
            sleep 0.05
        done
    done
    echo "the box titled '$title' did not close" >&2
    return 1
}

# Opens the File menu, waits for it to show, chooses the item of access key KEY and waits for the
# menu to close.
choose_from_file_menu() {
    local key=$1 before
    before=$(mapped_windows)
    xdotool key alt+f
    wait_for_windows "-gt $before"
    xdotool key "$key"
    wait_for_windows "-le $before"
}

# Waits up to ten seconds for the program to end.
wait_for_exit() {
    local tries
    for tries in $(seq 50); do
        kill -0 "$program_pid" 2>/dev/null || return 0
        sleep 0.2
    done
    echo "the program did not exit" >&2
    return 1
}
