#!/usr/bin/env bash
# Prints one table: start-up (to the mapped window and to the first drawn frame) and peak memory of
# the program against a bare Qt window with the same menus and controls (interleaved pairs in one
# virtual X server), settings-file replacements per action, and the micro benchmarks.
#   run.sh BUILD_DIR [PAIRS]   (31 pairs unless told: single starts on a virtual machine vary by
#                              a tenth, and fewer pairs leave the median a few per cent adrift)
set -euo pipefail
build=$(realpath "$1")
pairs=${2:-31}
source "$(dirname "$0")/../scripts/xsession.sh"

XDG_CONFIG_HOME=$(mktemp -d)
# In memory, as a desktop session's runtime folder is.
XDG_RUNTIME_DIR=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
start_x
{
    printf '[Config]\nMAX_FILES=20\nnoHIX=20\n\n[Recent%%20Files]\n'
    for i in $(seq 20); do
        printf '%d=/home/alex/Documents/projects/%02d/minutes of the weekly meeting.txt\n' "$i" "$i"
    done
} | write_settings hix

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Each start waits for the X server and the kernel to finish tearing down the previous copy.
start() { sleep 0.2; "$build/bench/mapwait" "$1"; }

samples=$(mktemp)
for pair in $(seq "$pairs"); do
    # Which of the two starts first alternates, so neither always finds the caches warmer.
    if [ $((pair % 2)) -eq 1 ]; then
        bare=$(start "$build/bench/bare_window")
        program=$(start "$build/window/hix")
    else
        program=$(start "$build/window/hix")
        bare=$(start "$build/bench/bare_window")
    fi
    echo "$bare $program" >>"$samples"
done

# Instructions do not vary with the machine's load: callgrind counts those each program runs until
# it asks for its window to be mapped and until it first draws into it. Prints the two counts.
instructions() {
    local profile pid dumps
    profile=$(mktemp -d)
    valgrind --tool=callgrind --callgrind-out-file="$profile/out" --dump-before=xcb_map_window \
        --dump-before=xcb_shm_put_image --dump-before=xcb_put_image "$@" 2>/dev/null &
    pid=$!
    for dumps in $(seq 600); do
        grep -qs '^totals:' "$profile/out.2" && break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    awk '/^summary:/ { total += $2; printf "%d ", total } END { print "" }' "$profile/out.1" \
        "$profile/out.2"
    rm -rf "$profile"
}
read -r map_instructions_bare frame_instructions_bare < <(instructions "$build/bench/bare_window")
read -r map_instructions_program frame_instructions_program < <(instructions "$build/window/hix")
read -r _ frame_instructions_credit < <(instructions "$build/bench/bare_window" --credit-face)

# Each line: the bare window's map, first frame and memory, then the program's.
column() { awk "{ print $1 }" "$samples" | median; }
start_bare=$(column '$1'); start_program=$(column '$4')
frame_bare=$(column '$2'); frame_program=$(column '$5')
memory_bare=$(column '$3 / 1024'); memory_program=$(column '$6 / 1024')
start_ratio=$(column '$4 / $1'); frame_ratio=$(column '$5 / $2'); memory_ratio=$(column '$6 / $3')

echo "| measure | goal | measured |"
echo "| --- | --- | --- |"
printf '| start-up to mapped window, program / bare (median of %d pairs) | at most 1.05 | %.3f |\n' "$pairs" "$start_ratio"
printf '| start-up to mapped window, program and bare (medians) | | %.1f ms, %.1f ms |\n' "$start_program" "$start_bare"
printf '| start-up to first drawn frame, program / bare | | %.3f |\n' "$frame_ratio"
printf '| start-up to first drawn frame, program and bare (medians) | | %.1f ms, %.1f ms |\n' "$frame_program" "$frame_bare"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
printf '| instructions to mapped window, program / bare | | %s (%s million against %s million) |\n' \
    "$(ratio "$map_instructions_program" "$map_instructions_bare")" \
    "$((map_instructions_program / 1000000))" "$((map_instructions_bare / 1000000))"
printf '| instructions to first drawn frame, program / bare | | %s (%s million against %s million) |\n' \
    "$(ratio "$frame_instructions_program" "$frame_instructions_bare")" \
    "$((frame_instructions_program / 1000000))" "$((frame_instructions_bare / 1000000))"
printf '| instructions to first drawn frame, program / bare with the credit line in its bold italic face | | %s (%s million) |\n' \
    "$(ratio "$frame_instructions_program" "$frame_instructions_credit")" \
    "$((frame_instructions_credit / 1000000))"
printf '| peak memory, program / bare | at most 1.05 | %.3f |\n' "$memory_ratio"
printf '| peak memory, program and bare (medians) | | %.1f MiB, %.1f MiB |\n' "$memory_program" "$memory_bare"
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.warning=false" "$build/bench/hix_bench" --replacements |
    while IFS=$'\t' read -r _ action count; do
        case "$action" in
            "add to a full list" | "promote entry 5" | "submit a smaller maximum") goal=1 ;;
            *) goal=0 ;;
        esac
        echo "| settings-file replacements: $action | $goal | $count |"
    done
QT_QPA_PLATFORM=offscreen "$build/bench/hix_bench" --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR > 1 {
        gsub(/"/, "", $1)
        goals["displayTextOfLongPath"] = "under 1 us"; goals["convertTypedMaximum"] = "under 1 us"
        goals["convertFiveThousandDigits"] = "under 1 ms"; goals["openNewPathWithFullList"] = "under 1 ms"
        goals["startWindowWithFullList"] = "under 50 ms"; goals["flushSettingsFile"] = "under 10 ms"
        goals["openThroughTheSettingsFile"] = "under 10 ms"; goals["promoteThroughTheSettingsFile"] = "under 10 ms"
        goals["startWindowWithTenMegabyteSettings"] = "under 1 s"
        goals["checkForAnotherCopysSave"] = "under 50 us"; goals["handOffToTheFileWorker"] = "microseconds"; goals["rebuildTwentyEntriesLive"] = "under 5 ms"
        goals["openWithLogOf/10"] = "about the same for 10 and 10,000 lines"; goals["openWithLogOf/10000"] = goals["openWithLogOf/10"]
        value = $3; unit = 1; split("ns us ms s", units, " ")
        while (units[unit] != $5) unit++
        for (; value >= 1000 && unit < 4; unit++) value /= 1000
        printf "| %s | %s | %.3g %s |\n", $1, goals[$1], value, units[unit]
    }'
rm -f "$samples"
rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
