#!/usr/bin/env bash
# Saves through faults of the disk and the file system. Each fault gives an error box that names
# the settings file and the cause, the menu goes on, the old file stays as it was, and the first
# save after the fault clears succeeds. Permissions mean nothing to root, so those cases run as
# nobody; the full disk is a small tmpfs, so the test needs root, as CI has.
set -euo pipefail
driver=$(realpath "$1")
shim=$(realpath "$2")
if [ "$(id -u)" -ne 0 ]; then
    echo "FAIL: the save-fault tests mount a tmpfs and run cases as another user: run them as root" >&2
    exit 1
fi
work=$(mktemp -d)
chmod 755 "$work"
# What each settings file held while its fault was in place, writable by every case's user.
mkdir -m 1777 "$work/during"
cleanup() {
    local disk
    for disk in "$work/full" "$work/full-keep"; do
        if mountpoint -q "$disk"; then umount "$disk"; fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen
old=$'[Config]\nMAX_FILES=5\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b'
passed=0

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# prepare HOME: a settings folder under HOME with two paths stored and the lock file in place.
prepare() {
    mkdir -p "$1/hix"
    printf '%s\n' "$old" >"$1/hix/faulty.conf"
    touch "$1/hix/faulty.conf.lock"
}

# save_through NAME CAUSE HOME CLEAR [COMMAND PREFIX...]: runs the driver, which saves once with
# the fault in place, runs CLEAR and saves again, and checks what it reported and stored.
save_through() {
    local name=$1 cause=$2 home=$3 clear=$4
    shift 4
    local settings=$home/hix/faulty.conf
    local output
    output=$("$@" env XDG_CONFIG_HOME="$home" "$driver" "cp '$settings' '$work/during/${home##*/}' && $clear" 2>/dev/null) \
        || fail "$name: the driver failed: $output"
    local errors
    errors=$(grep -c '^error:' <<<"$output" || true)
    [ "$errors" -eq 1 ] || fail "$name: one error box, not $errors: $output"
    grep -q "$settings: $cause" <<<"$output" || fail "$name: the box names the file and says '$cause': $output"
    [ "$(sed -n 's/^menu: //p' <<<"$output" | head -1)" = "/new /a /b" ] || fail "$name: the menu goes on: $output"
    local during=$work/during/${home##*/}
    [ "$(cat "$during")" = "$old" ] || fail "$name: the old file is unchanged: $(cat "$during")"
    [ "$(sed -n 's/^menu: //p' <<<"$output" | tail -1)" = "/newer /new /a /b" ] || fail "$name: the menu after: $output"
    grep -qx '1=/newer' "$settings" || fail "$name: the save after the fault succeeds: $(cat "$settings")"
    [ "$(ls "$home/hix")" = $'faulty.conf\nfaulty.conf.lock' ] || fail "$name: files left: $(ls "$home/hix")"
    passed=$((passed + 1))
}

as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

home=$work/read-only-folder
prepare "$home"
chown -R nobody:nogroup "$home"
chmod 555 "$home/hix"
save_through "read-only folder" "Permission denied" "$home" "chmod 755 '$home/hix'" "${as_nobody[@]}"

home=$work/read-only-file
prepare "$home"
chown -R nobody:nogroup "$home"
chmod 444 "$home/hix/faulty.conf"
save_through "read-only file" "Permission denied" "$home" "chmod 644 '$home/hix/faulty.conf'" \
    "${as_nobody[@]}"

home=$work/full
mkdir -p "$home"
mount -t tmpfs -o size=256k hix-full-disk "$home"
prepare "$home"
dd if=/dev/zero of="$home/filler" bs=4k 2>/dev/null || true
save_through "full disk" "the disk is full" "$home" "rm '$home/filler'"

# Keeping an unreadable file aside on a full disk that has no hard links fails, says so, leaves
# no partial copy, and keeps the whole file once there is room.
home=$work/full-keep
mkdir -p "$home"
mount -t tmpfs -o size=256k hix-full-keep "$home"
prepare "$home"
printf 'a line of no key\n' >>"$home/hix/faulty.conf"
cp "$home/hix/faulty.conf" "$work/unreadable"
dd if=/dev/zero of="$home/filler" bs=4k 2>/dev/null || true
touch "$work/armed"
output=$(env LD_PRELOAD="$shim" HIX_FAULT=link HIX_FAULT_FOLDER="$home/hix" HIX_FAULT_WHILE="$work/armed" \
    XDG_CONFIG_HOME="$home" "$driver" "ls '$home/hix' >'$work/during/full-keep' && rm '$home/filler'" 2>/dev/null) \
    || fail "keeping aside on a full disk: the driver failed: $output"
[ "$(grep -c '^error:' <<<"$output" || true)" -eq 1 ] || fail "keeping aside on a full disk: one error box: $output"
grep -q "keep a copy of the unreadable settings file $home/hix/faulty.conf: the disk is full" <<<"$output" \
    || fail "keeping aside on a full disk: the box says why: $output"
[ "$(cat "$work/during/full-keep")" = $'faulty.conf\nfaulty.conf.lock' ] \
    || fail "keeping aside on a full disk: nothing partial is left: $(cat "$work/during/full-keep")"
cmp -s "$work/unreadable" "$home/hix"/faulty.conf.unreadable-* || fail "keeping aside on a full disk: the whole file is kept once there is room"
grep -qx '1=/newer' "$home/hix/faulty.conf" || fail "keeping aside on a full disk: the save after it succeeds"
rm "$work/armed"
passed=$((passed + 1))

for operation in write sync rename; do
    home=$work/$operation
    prepare "$home"
    touch "$work/armed"
    save_through "I/O error at the $operation" "Input/output error" "$home" "rm '$work/armed'" \
        env LD_PRELOAD="$shim" HIX_FAULT="$operation" HIX_FAULT_FOLDER="$home/hix" \
        HIX_FAULT_WHILE="$work/armed"
done

# The kernel drops the lock of a copy that dies, so a lock file left behind blocks nothing.
home=$work/dead-lock
prepare "$home"
(
    exec 9>>"$home/hix/faulty.conf.lock"
    flock 9
    exec sleep 60
) &
holder=$!
for _ in $(seq 50); do
    flock -n "$home/hix/faulty.conf.lock" true || break
    sleep 0.1
done
flock -n "$home/hix/faulty.conf.lock" true && fail "the copy to kill never took the lock"
kill -KILL "$holder"
wait "$holder" 2>/dev/null || true
output=$(env XDG_CONFIG_HOME="$home" "$driver" true 2>/dev/null)
[ "$(grep -c '^error:' <<<"$output" || true)" -eq 0 ] || fail "a dead copy's lock blocks nothing: $output"
grep -qx '1=/newer' "$home/hix/faulty.conf" || fail "a dead copy's lock blocks no save"
passed=$((passed + 1))

echo "$passed passed, 0 failed"
