#!/usr/bin/env bash
# Builds the fuzzers with Clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs each
# for the given number of seconds from the checked-in corpus. Inputs that reach new code are kept
# in BUILD_DIR/corpus, never in the checked-in one; a failing input is saved in BUILD_DIR/crashes.
set -euo pipefail
build_dir=${1:?usage: fuzz.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz.sh BUILD_DIR SECONDS}
fuzzers=(numeric_fuzz caption_fuzz sequence_fuzz store_fuzz inicodec_fuzz)

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DHIX_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build_dir" --target "${fuzzers[@]}"

# The INI codec's fuzzer compares with QSettings, which writes files (in memory where it can) and
# keeps what it read in a cache that LeakSanitizer would scan after every input.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
declare -A options=([inicodec_fuzz]=-detect_leaks=0)

mkdir -p "$build_dir/crashes"
for fuzzer in "${fuzzers[@]}"; do
    corpus=$build_dir/corpus/$fuzzer
    mkdir -p "$corpus"
    XDG_CONFIG_HOME=$(mktemp -d) "$build_dir/tests/fuzz/$fuzzer" -max_total_time="$seconds" ${options[$fuzzer]:-} \
        -artifact_prefix="$build_dir/crashes/$fuzzer-" -print_final_stats=1 \
        "$corpus" "tests/fuzz/corpus/$fuzzer" 2>"$build_dir/$fuzzer.log" \
        || { cat "$build_dir/$fuzzer.log" >&2; exit 1; }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build_dir/$fuzzer.log")
    echo "$fuzzer: $runs runs in $seconds s, no fault"
done
