#!/usr/bin/env bash
# Saves through one fault of the disk or the file system:
#   savefaulttest.sh DRIVER SHIM CASE COPY
# The fault gives an error box that names the settings file and the cause, the menu goes on, the
# old file stays as it was, and the first save after the fault clears succeeds. No case needs
# root: a full disk is a small tmpfs in a user namespace of the test's own, and permissions are
# tried by the user who runs the test, or by nobody when that is root, whom permissions do not
# stop. A case this machine cannot run exits 77, which CTest reports as skipped, with the reason.
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
driver=$(realpath "$1")
shim=$(realpath "$2")
case=$3
copy=$(realpath "$4")
verdict_case=$case

# A tmpfs can only be mounted in a mount namespace of the test's own; the script runs again there.
if [[ $case == full-disk* ]] && [ -z "${HIX_OWN_NAMESPACE:-}" ]; then
    unshare --user --map-root-user --mount true 2>/dev/null \
        || skip "this machine gives no user namespace for a small tmpfs (unshare --user fails)"
    exec unshare --user --map-root-user --mount env HIX_OWN_NAMESPACE=1 bash "$0" "$@"
fi

work=$(mktemp -d)
home=$work/home
cleanup() {
    if mountpoint -q "$home"; then umount "$home"; fi
    # A case may leave folders it made read-only.
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen
old=$'[Config]\nMAX_FILES=5\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b'
settings=$home/hix/faulty.conf
runner=()

# Two paths stored and the lock file in place.
prepare() {
    mkdir -p "$home/hix"
    printf '%s\n' "$old" >"$settings"
    touch "$settings.lock"
}

# Runs the driver, which opens /new with the fault in place, runs CLEAR (keeping what the settings
# folder held meanwhile in $work/during) and opens /newer; prints what it printed.
run_driver() {
    local clear=$1
    "${runner[@]}" "$driver" "$settings" \
        "cp -r '$home/hix' '$work/during' && $clear" 2>"$work/stderr" \
        || fail "the driver failed: $(cat "$work/stderr")"
}

# save_through CAUSE CLEAR: the common checks of a fault that CLEAR takes away.
save_through() {
    local cause=$1 clear=$2 output
    output=$(run_driver "$clear")
    [ "$(grep -c '^error:' <<<"$output" || true)" -eq 1 ] || fail "one error box: $output"
    grep -qF "could not be saved: $cause" <<<"$output" || fail "the box says where and why: '$cause': $output"
    [ "$(sed -n 's/^menu: //p' <<<"$output" | head -1)" = "/new /a /b" ] || fail "the menu goes on: $output"
    [ "$(cat "$work/during/faulty.conf")" = "$old" ] || fail "the old file is unchanged: $(cat "$work/during/faulty.conf")"
    [ "$(sed -n 's/^menu: //p' <<<"$output" | tail -1)" = "/newer /new /a /b" ] || fail "the menu after: $output"
    grep -qx '1=/newer' "$settings" || fail "the save after the fault succeeds: $(cat "$settings")"
    [ "$(ls "$home/hix")" = $'faulty.conf\nfaulty.conf.lock' ] || fail "files left: $(ls "$home/hix")"
}

# Permissions bind every user but root; root tries them as nobody, with a copy of the driver where
# nobody can reach it (the build may sit in a private home).
as_someone_bound_by_permissions() {
    [ "$(id -u)" -ne 0 ] && return
    id nobody >/dev/null 2>&1 || skip "root needs the user nobody to try permissions"
    chmod 755 "$work"
    cp "$driver" "$work/driver"
    driver=$work/driver
    runner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
}

fill_small_disk() {
    mkdir -p "$home"
    mount -t tmpfs -o size=256k,mode=0700 hix-full-disk "$home"
    prepare
    dd if=/dev/zero of="$home/filler" bs=4k 2>/dev/null || true
}

case $case in
read-only-folder)
    as_someone_bound_by_permissions
    prepare
    [ ${#runner[@]} -eq 0 ] || chown -R nobody "$work"
    chmod 555 "$home/hix"
    save_through "$home/hix is read-only" "chmod 755 '$home/hix'"
    ;;
read-only-file)
    as_someone_bound_by_permissions
    prepare
    [ ${#runner[@]} -eq 0 ] || chown -R nobody "$work"
    chmod 444 "$settings"
    save_through "$settings is read-only" "chmod 644 '$settings'"
    ;;
full-disk)
    fill_small_disk
    save_through "the disk that holds $home/hix is full" "rm '$home/filler'"
    ;;
full-disk-keeping-aside)
    # A file system without hard links: the unreadable file must be copied, and there is no room.
    fill_small_disk
    printf 'a line of no key\n' >>"$settings"
    cp "$settings" "$work/unreadable"
    touch "$work/armed"
    runner=(env LD_PRELOAD="$shim" HIX_FAULT=link HIX_FAULT_FOLDER="$home/hix" HIX_FAULT_WHILE="$work/armed")
    output=$(run_driver "rm '$home/filler'")
    [ "$(grep -c '^error:' <<<"$output" || true)" -eq 1 ] || fail "one error box: $output"
    grep -qF "could not be saved: the disk that holds $home/hix is full" <<<"$output" \
        || fail "the box says why: $output"
    [ "$(ls "$work/during")" = $'faulty.conf\nfaulty.conf.lock' ] || fail "nothing partial is left: $(ls "$work/during")"
    cmp -s "$work/unreadable" "$home"/hix/faulty.conf.unreadable-* || fail "the whole file is kept once there is room"
    grep -qx '1=/newer' "$settings" || fail "the save after it succeeds: $(cat "$settings")"
    ;;
write-error | sync-error | rename-error)
    prepare
    touch "$work/armed"
    runner=(env LD_PRELOAD="$shim" HIX_FAULT="${case%-error}" HIX_FAULT_FOLDER="$home/hix" HIX_FAULT_WHILE="$work/armed")
    save_through "the disk that holds $home/hix failed to write it" "rm '$work/armed'"
    ;;
kept-through-another-copys-save)
    # The open made during the fault is kept as what the user did, and made again on the list
    # another copy saved once the fault was gone, before the next open.
    prepare
    touch "$work/armed"
    runner=(env LD_PRELOAD="$shim" HIX_FAULT=write HIX_FAULT_FOLDER="$home/hix" HIX_FAULT_WHILE="$work/armed")
    output=$(run_driver "rm '$work/armed' && '$copy' open '$settings' other 1 0")
    [ "$(sed -n 's/^menu: //p' <<<"$output" | tail -1)" = "/newer /new /other/0000 /a /b" ] \
        || fail "the kept open is made again on the other copy's list: $output"
    [ "$(sed -n 's/^[0-9]=//p' "$settings" | head -5 | tr '\n' ' ')" = "/newer /new /other/0000 /a /b " ] \
        || fail "and saved: $(cat "$settings")"
    ;;
lock-of-a-killed-copy)
    # The kernel drops the lock of a copy that dies, so a lock file left behind blocks nothing.
    prepare
    (
        exec 9>>"$settings.lock"
        flock 9
        exec sleep 60
    ) &
    holder=$!
    for _ in $(seq 50); do
        flock -n "$settings.lock" true || break
        sleep 0.1
    done
    flock -n "$settings.lock" true && fail "the copy to kill never took the lock"
    kill -KILL "$holder"
    wait "$holder" 2>/dev/null || true
    output=$(run_driver true)
    [ "$(grep -c '^error:' <<<"$output" || true)" -eq 0 ] || fail "a dead copy's lock blocks nothing: $output"
    grep -qx '1=/newer' "$settings" || fail "a dead copy's lock blocks no save"
    ;;
*)
    fail "no such case"
    ;;
esac
echo "1 passed, 0 failed"
