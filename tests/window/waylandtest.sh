#!/usr/bin/env bash
# Starts the real program natively on a headless Weston and reads the Wayland protocol it speaks:
# the window maps with its title and the app id of its desktop entry, and SIGTERM ends it cleanly.
set -euo pipefail
program=$(realpath "$1")
app_id=$2
work=$(mktemp -d)
XDG_RUNTIME_DIR=$work/runtime
XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR XDG_CONFIG_HOME
mkdir -m 700 "$XDG_RUNTIME_DIR"
compositor=
cleanup() {
    [ -z "$compositor" ] || kill "$compositor" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- weston:" >&2
    cat "$work/weston.log" >&2
    exit 1
}

weston --backend=headless-backend.so --no-config --socket=hix-test --idle-time=0 \
    >"$work/weston.log" 2>&1 &
compositor=$!
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/hix-test" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/hix-test" ] || fail "weston did not start"

# A stored list skips the first run's greeting, so the main window is the first to map.
mkdir -p "$XDG_CONFIG_HOME/hix"
printf '[Config]\nMAX_FILES=3\nnoHIX=1\n\n[Recent%%20Files]\n1=/tmp/a.txt\n' >"$XDG_CONFIG_HOME/hix/$(basename "$program").conf"

env -u DISPLAY WAYLAND_DISPLAY=hix-test QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 \
    "$program" 2>"$work/protocol" &
client=$!
mapped() { grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$work/protocol"; }
for _ in $(seq 100); do
    mapped && break
    sleep 0.1
done
mapped || fail "the window never attached a buffer: $(grep -v '^\[' "$work/protocol")"
grep -q 'xdg_toplevel@[0-9]*\.set_title("HIX Demo - Aldo Veskin")' "$work/protocol" \
    || fail "the window has its title"
grep -q "xdg_toplevel@[0-9]*\\.set_app_id(\"$app_id\")" "$work/protocol" \
    || fail "the window's app id names its desktop entry"

kill -TERM "$client"
status=0
wait "$client" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ends the program with status 0, not $status"
echo "2 passed, 0 failed"
