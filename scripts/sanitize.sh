#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs the ones that
# exercise the program's own code: any report fails the run.
set -euo pipefail
build_dir=${1:?usage: sanitize.sh BUILD_DIR}

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build_dir"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The packaging checks test files, not code.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$build_dir" --output-on-failure \
    -E '^((install|package|program|wayland|power_cut|stall|fileswritten|accessibility)_tests|savefault_.*)$'
# The real program under X and Wayland: the system's display libraries leave blocks to the end of
# the process, and LeakSanitizer cannot run under strace, so leak checks are off there (the power
# cuts and the stalled disk run it too), and every other check is on. The save faults preload their fault library ahead of the sanitizer's.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:verify_asan_link_order=0 ctest --test-dir "$build_dir" \
    --output-on-failure -R '^((program|wayland|power_cut|stall|fileswritten|accessibility)_tests|savefault_.*)$'
