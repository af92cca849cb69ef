#!/usr/bin/env bash
# Records every file the real program writes in a session in which the user browses into a folder
# in the Open dialog and opens a file there: nothing but the settings folder may be written, the
# dialog's memory of folders included.
#   fileswrittentest.sh PROGRAM
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
program=$(realpath "$1")
source "$(dirname "$0")/../../scripts/xsession.sh"

command -v strace >/dev/null || skip "no strace to record the files the program writes"
strace -qq -o /dev/null true 2>/dev/null || skip "strace cannot trace here (ptrace is not allowed)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export HOME=$root/home XDG_CONFIG_HOME=$root/home/.config XDG_CACHE_HOME=$root/home/.cache \
    XDG_DATA_HOME=$root/home/.local/share XDG_STATE_HOME=$root/home/.local/state \
    XDG_RUNTIME_DIR=$root/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$root/medical-records-2025"
chmod 700 "$XDG_RUNTIME_DIR"
touch "$root/medical-records-2025/scan.pdf"
start_x

# With -y, a descriptor shows the path it is open on, so calls relative to a folder name it too.
strace -f -qq -y -o "$root/calls" -e trace=%file,%desc "$program" &
tracer=$!
for _ in $(seq 100); do
    program_pid=$(pgrep -P "$tracer" || true)
    [ -n "$program_pid" ] && break
    sleep 0.05
done
answer_box "HIX Demo - A. Veskin"
focus_window "HIX Demo - Aldo Veskin" >/dev/null
choose_from_file_menu o
# Qt's own dialog: the folder typed and entered, then the file in it.
focus_window "Open" >/dev/null
xdotool type --delay 20 "$root/medical-records-2025/"
xdotool key Return
sleep 0.5
xdotool type --delay 20 "scan.pdf"
xdotool key Return
for _ in $(seq 50); do
    xdotool search --onlyvisible --name "^Open\$" >/dev/null 2>&1 || break
    sleep 0.1
done
focus_window "HIX Demo - Aldo Veskin" >/dev/null
choose_from_file_menu x
wait_for_exit
wait "$tracer"

grep -q "scan.pdf" "$XDG_CONFIG_HOME/hix/$(basename "$program").conf" \
    || fail "the file chosen in the dialog was not opened"
# Every call that made, changed, renamed or removed a file by its name and succeeded, but in the
# settings folder (by its path, or by a descriptor open on it) and the folders made on the way.
written=$(grep -E '^[0-9]+ +((open(at)?|creat)\(.*(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_TMPFILE)|(mkdir|rename|link|symlink|unlink|rmdir|truncate|chmod|chown|lchown|setxattr|lsetxattr|utime|utimes)(at|at2)?\()' \
    "$root/calls" | grep -E '\) += [0-9]' \
    | grep -vE "\"($XDG_CONFIG_HOME/hix/|/dev/|/proc/)|<$XDG_CONFIG_HOME/hix>, \"[^/]|mkdir(at)?\((AT_FDCWD, )?\"($HOME|$XDG_CONFIG_HOME|$XDG_CONFIG_HOME/hix)\"|mkdirat\([0-9]+<$root>, \"home\"|mkdirat\([0-9]+<$HOME>, \"\.config\"|mkdirat\([0-9]+<$XDG_CONFIG_HOME>, \"hix\"" \
    || true)
[ -z "$written" ] || fail "written outside the settings folder:
$written"
echo "1 passed, 0 failed: nothing written outside $XDG_CONFIG_HOME/hix"
