#!/usr/bin/env bash
# The settings on a disk that stops answering: a FUSE file system that passes everything through,
# whose daemon is stopped (SIGSTOP) and let go on (SIGCONT). An open, a promotion and a submit on
# the stalled disk each give the message within the bound (the first) or at once (the others) and
# change the list as the user asked; a start-up gives it and an empty list; when the disk answers
# again the next action saves, and nothing was lost. The real program on a stalled disk shows the
# message and ends within a second of SIGTERM.
#   stalltest.sh POWERCUTFS STALL_DRIVER PROGRAM
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
fs=$(realpath "$1")
driver=$(realpath "$2")
program=$(realpath "$3")
source "$(dirname "$0")/../../scripts/xsession.sh"

work=$(mktemp -d)
mkdir -p "$work/backing/config" "$work/mount"
cleanup() {
    kill -CONT "${fs_pid:-}" 2>/dev/null || true
    umount -l "$work/mount" 2>/dev/null || fusermount3 -u -z -q "$work/mount" 2>/dev/null || true
    kill "${fs_pid:-}" "${program_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
"$fs" "$work/backing" "$work/mount" 0 synced 0 "$work/report" 2>"$work/fs.log" &
fs_pid=$!
for _ in $(seq 50); do
    [ "$(stat -c %d "$work/mount")" != "$(stat -c %d "$work")" ] && break
    kill -0 "$fs_pid" 2>/dev/null || skip "no FUSE mount: $(cat "$work/fs.log")"
    sleep 0.1
done
[ "$(stat -c %d "$work/mount")" != "$(stat -c %d "$work")" ] || skip "no FUSE mount"
settings=$work/mount/config/hix/hix.conf

now() { echo $(($(date +%s%N) / 1000000)); }

coproc COPY { "$driver" "$settings"; }
# Asks the copy for ACTION; prints its answer, and checks how long it took against MOST ms and
# whether its errors and menu are as expected.
ask() {
    local action=$1 most=$2 errors=$3 menu=$4 answer took
    echo "$action" >&"${COPY[1]}"
    read -r -t 30 answer <&"${COPY[0]}" || fail "$action: no answer"
    took=${answer%% *}
    [ "$took" -le "$most" ] || fail "$action took $took ms, more than $most: $answer"
    [[ $answer == *" errors=$errors menu=$menu"* ]] || fail "$action: errors=$errors menu=$menu: $answer"
    echo "$action: $took ms"
    last=$answer
}

ask start 2000 0 ,
ask "open /a" 2000 0 /a,
ask "open /b" 2000 0 /b,/a,
ask "open /c" 2000 0 /c,/b,/a,
kill -STOP "$fs_pid"
ask "open /d" 3000 1 /d,/c,/b,
[[ $last == *"is not answering"* ]] || fail "the message says that the disk is not answering: $last"
ask "promote 3" 300 1 /b,/d,/c,
ask "submit 3" 300 1 /b,/d,/c,
# A start-up on the stalled disk: the message within the bound, and no list to show.
started=$(now)
answer=$(printf 'start\n' | timeout 10 "$driver" "$settings") || fail "a start-up on a stalled disk did not end"
[[ $answer == *"errors=1 menu=,"* && $answer == *"is not answering"* ]] || fail "start-up: $answer"
echo "start-up on a stalled disk: ${answer%% *} ms, ended after $(($(now) - started)) ms"
kill -CONT "$fs_pid"
sleep 0.5
ask "open /e" 2000 1 /e,/b,/d,
exec {COPY[1]}>&-
wait "$COPY_PID" || true
grep -q '^1=/e$' "$settings" && grep -q '^2=/b$' "$settings" && grep -q '^3=/d$' "$settings" \
    || fail "the changes made while the disk stood still were saved: $(cat "$settings")"

# The real program, started on a stalled disk: the message box within the bound, and the end
# within a second of SIGTERM. Only the settings folder is on that disk, linked from the
# configuration home, where Qt and the fonts look for files of their own.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
ln -s "$work/mount/config/hix" "$XDG_CONFIG_HOME/hix"
start_x
trap cleanup EXIT
kill -STOP "$fs_pid"
started=$(now)
start_program "$program"
timeout 10 xdotool search --sync --onlyvisible --name "^HIX Demo\$" >/dev/null \
    || fail "the real program showed no message on a stalled disk"
shown=$(($(now) - started))
[ "$shown" -le 4000 ] || fail "the message came after $shown ms"
started=$(now)
kill -TERM "$program_pid"
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.02
done
ended=$(($(now) - started))
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end within 2 s of SIGTERM"
[ "$ended" -le 1000 ] || fail "the program ended $ended ms after SIGTERM"
echo "the real program on a stalled disk: the message after $shown ms, the end $ended ms after SIGTERM"
kill -CONT "$fs_pid"
echo "1 passed, 0 failed"
