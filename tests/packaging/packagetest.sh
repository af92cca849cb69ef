#!/usr/bin/env bash
# Makes the Debian package from the build and checks what it holds, what it depends on, and what
# lintian says of it.
set -euo pipefail
source "$(dirname "$0")/../support/verdicts.sh"
build_dir=$1
app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build_dir/CPackConfig.cmake" -B "$work" >/dev/null 2>"$work/log" || fail "$(cat "$work/log")"
package=$(echo "$work"/hix_*.deb)

expected="./usr/bin/hix
./usr/share/applications/$app_id.desktop
./usr/share/doc/hix/changelog.gz
./usr/share/doc/hix/copyright
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/man1/hix.1.gz
./usr/share/metainfo/$app_id.metainfo.xml"
[ "$(dpkg-deb -c "$package" | grep -v '^d' | awk '{print $6}' | sort)" = "$expected" ] \
    || fail "the package holds: $(dpkg-deb -c "$package")"
dpkg-deb -c "$package" | awk '{print $2}' | grep -qvx root/root && fail "every file belongs to root"

# The dependencies come from the libraries the program links, not from a list kept by hand.
depends=$(dpkg-deb -f "$package" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6; do
    [[ $depends == *"$library ("* ]] || fail "the package depends on $library: $depends"
done
[ "$(dpkg-deb -f "$package" Recommends)" = "qt6-translations-l10n, qt6-wayland" ] \
    || fail "the package recommends Qt's translations and qt6-wayland"
dpkg-deb -f "$package" Depends | grep -q libqt6svg6 || fail "the package depends on Qt's SVG plugins"

verdict=$(lintian --fail-on error,warning "$package" 2>&1) || fail "lintian: $verdict"
echo "3 passed, 0 failed"
