#!/usr/bin/env bash
# Installs the Debian packages that running the program needs (setup.sh run) or that everything
# else needs too (setup.sh test), and only those that are missing, so a second run does nothing.
# It asks for sudo only to install, says what it installs, and keeps apt's output in a log.
set -euo pipefail
profile=${1:-test}

# Building and running the program.
run_packages=(cmake ninja-build g++ pkgconf qt6-base-dev qt6-qpa-plugins libicu-dev libxcb1-dev
    libqt6svg6 qt6-translations-l10n)
# The tests, the benchmarks, the fuzzers and the package.
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev libxcb-damage0-dev
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core valgrind strace
    weston qt6-wayland qt6-gtk-platformtheme python3-pyatspi gir1.2-atspi-2.0
    dpkg-dev file lintian desktop-file-utils appstream
    clang-14 libclang-rt-14-dev
    libfuse3-dev fuse3
)

packages=("${run_packages[@]}")
[ "$profile" = run ] || packages+=("${test_packages[@]}")
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
log=${TMPDIR:-/tmp}/hix-setup-$(id -u).log
echo "Installing ${#missing[@]} Debian packages and what they depend on: ${missing[*]}"
"${sudo[@]}" apt-get update >"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
"${sudo[@]}" apt-get install --assume-no --no-install-recommends "${missing[@]}" 2>/dev/null \
    | grep -E '^(Need to get|After this operation)' || true
echo "apt's output goes to $log"
show_progress() {
    if [ -t 1 ]; then
        while IFS= read -r line; do printf '\r\033[K%s' "${line:0:78}"; done
        printf '\r\033[K'
    else
        cat >/dev/null
    fi
}
if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}" 2>&1 | tee -a "$log" | show_progress; then
    echo "Installing failed; the end of $log:" >&2
    tail -n 20 "$log" >&2
    exit 1
fi
echo "Installed."
