#!/usr/bin/env bash
# Installs the build into a temporary folder as a packager would, validates what a desktop reads
# from it, and starts the installed program: headless, and on a console without any display.
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
build_dir=$1
app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >/dev/null
cd "$work/root"
expected="usr/bin/hix
usr/share/applications/$app_id.desktop
usr/share/doc/hix/changelog.gz
usr/share/doc/hix/copyright
usr/share/icons/hicolor/scalable/apps/$app_id.svg
usr/share/man/man1/hix.1.gz
usr/share/metainfo/$app_id.metainfo.xml"
[ "$(find . -type f | sed 's|^\./||' | sort)" = "$expected" ] || fail "installed files: $(find . -type f)"

desktop-file-validate usr/share/applications/$app_id.desktop || fail "the desktop entry is invalid"
verdict=$(appstreamcli validate --no-net --pedantic "usr/share/metainfo/$app_id.metainfo.xml" 2>&1) \
    || fail "the AppStream metadata is invalid: $verdict"
man --warnings -l usr/share/man/man1/hix.1.gz 2>&1 >/dev/null | grep . && fail "the manual page has faults"

# Neither --help nor --version needs a display or touches the settings; a mistake says what it is.
console=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" usr/bin/hix)
"${console[@]}" --help | grep -q -- '--version' || fail "--help lists the options"
[ "$("${console[@]}" --version)" = "hix $(sed -n 's/^hix (\(.*\)).*/\1/p;q' <(zcat usr/share/doc/hix/changelog.gz))" ] \
    || fail "--version names the version of the change log"
if "${console[@]}" --bogus 2>"$work/error"; then
    fail "an unknown option fails"
fi
grep -q "Unknown option 'bogus'" "$work/error" || fail "an unknown option is named: $(cat "$work/error")"
[ ! -e "$work/config" ] || fail "answering the command line touched the settings"

# The installed program starts headless and accepts Qt's own options. A first run greets the user;
# SIGTERM, once the program catches it, ends the greeting and the program, which saves on its way.
XDG_CONFIG_HOME="$work/config" usr/bin/hix -platform offscreen -style Fusion 2>"$work/log" &
program=$!
catches_sigterm() { (( 0x$(awk '/^SigCgt:/ {print $2}' "/proc/$program/status") & 1 << 14 )); }
for _ in $(seq 100); do
    catches_sigterm && break
    sleep 0.1
done
kill -TERM "$program" || fail "the program ended early: $(cat "$work/log")"
wait "$program" || fail "the program ends with status $? on SIGTERM: $(cat "$work/log")"
grep -qx 'MAX_FILES=3' "$work/config/hix/hix.conf" || fail "the installed program stores its settings"
echo "3 passed, 0 failed"
