#!/usr/bin/env bash
# Edits the settings file in place right after each save of a copy, on ext4 made with 128-byte
# inodes, whose time stamps have whole seconds: the edit leaves inode, size and every stamp as the
# copy's save left them, so only the bytes can tell. The copy must never write the edit over.
#   coarseclocktest.sh COPY_PROGRAM
# Mounting a file system image takes root and a loop device; elsewhere the test is skipped (77).
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
copy=$(realpath "$1")

[ "$(id -u)" -eq 0 ] || skip "mounting a file system with 1-second time stamps takes root"
command -v mkfs.ext4 >/dev/null || skip "no mkfs.ext4 (e2fsprogs) to make one"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s 16M "$work/disk"
mkfs.ext4 -q -I 128 "$work/disk" 2>/dev/null
mkdir "$work/mounted"
# In a mount namespace of its own, so that the mount goes with the test however it ends.
status=0
unshare --mount --propagation private bash -c '
    mount -o loop "$1/disk" "$1/mounted" 2>"$1/mount-error" || exit 77
    "$2" edit "$1/mounted/hix/edited.conf" 10' _ "$work" "$copy" || status=$?
[ $status -eq 77 ] && skip "no loop device to mount an image: $(cat "$work/mount-error")"
[ $status -eq 0 ] || { echo "FAIL: an edit right after a save on 1-second stamps was written over" >&2; exit 1; }
echo "10 edits right after a save on 1-second stamps: none written over"
