#!/usr/bin/env bash
# Prints one table: start-up (to the mapped window and to the first drawn frame) and memory of the
# program against a bare Qt window with the same menus and controls, and against a stand-in for the
# least a program showing the same list could do (bare_window --stand-in), interleaved in one
# virtual X server; instructions to the first frame against both; system calls per save;
# instructions per open; settings-file replacements per action; and the micro benchmarks.
#   run.sh BUILD_DIR [ROUNDS]  (31 rounds unless told: single starts on a virtual machine vary by
#                              a tenth, and fewer leave the median a few per cent adrift)
set -euo pipefail
build=$(realpath "$1")
rounds=${2:-31}
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
settings=$XDG_CONFIG_HOME/hix/hix.conf

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Each start waits for the X server and the kernel to finish tearing down the previous copy.
start() { sleep 0.2; "$build/bench/mapwait" "$@"; }

# Each round starts the bare window, the stand-in and the program, in an order that turns, so that
# none always finds the caches warmer.
samples=$(mktemp)
for round in $(seq "$rounds"); do
    for turn in 0 1 2; do
        case $(((round + turn) % 3)) in
            0) bare=$(start "$build/bench/bare_window") ;;
            1) floor=$(start "$build/bench/bare_window" --stand-in "$settings") ;;
            2) program=$(start "$build/main/hix") ;;
        esac
    done
    echo "$bare $floor $program" >>"$samples"
done
# The same at 72 dots per inch, where the desktop's font fits the captions and the window keeps its
# described size, against the bare window with the credit face.
fitting_samples=$(mktemp)
for round in $(seq "$rounds"); do
    for turn in 0 1 2; do
        case $(((round + turn) % 3)) in
            0) bare=$(QT_FONT_DPI=72 start "$build/bench/bare_window" --credit-face) ;;
            1) floor=$(QT_FONT_DPI=72 start "$build/bench/bare_window" --stand-in "$settings") ;;
            2) program=$(QT_FONT_DPI=72 start "$build/main/hix") ;;
        esac
    done
    echo "$bare $floor $program" >>"$fitting_samples"
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
read -r map_instructions_program frame_instructions_program < <(instructions "$build/main/hix")
read -r _ frame_instructions_credit < <(instructions "$build/bench/bare_window" --credit-face)
read -r _ frame_instructions_floor < <(instructions "$build/bench/bare_window" --stand-in "$settings")
# At 72 dots per inch the desktop's font fits the captions at the described size.
read -r _ fitting_program < <(QT_FONT_DPI=72 instructions "$build/main/hix")
read -r _ fitting_credit < <(QT_FONT_DPI=72 instructions "$build/bench/bare_window" --credit-face)
read -r _ fitting_floor < <(QT_FONT_DPI=72 instructions "$build/bench/bare_window" --stand-in "$settings")

# The system calls of each save of a promotion, from opening the lock file to closing it: those of
# the thread that saves on files, and those of both threads handing the work over. Prints the
# medians of eleven saves.
save_calls() {
    local trace
    trace=$(mktemp)
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.warning=false" \
        strace -f -qq -o "$trace" "$build/bench/hix_bench" --promotions 11
    awk '
        / resumed>/ || /^[0-9]+ +(\+\+\+|---)/ { next }
        /eventfd2\(.*= [0-9]+$/ { events[$NF] = 1 }
        !open && /\.lock", O_RDWR\|O_CREAT/ && match($0, /= [0-9]+$/) {
            open = 1; saver = $1; lock = substr($0, RSTART + 2); files = 0; handoffs = 0
        }
        open {
            call = $2; sub(/\(.*/, "", call)
            fd = $2; sub(/^[a-z0-9_]+\(/, "", fd); sub(/[,)].*/, "", fd)
            if ($1 == saver && call != "futex" && !((call == "write" || call == "read") && (fd in events)))
                files++
            else
                handoffs++
        }
        open && $1 == saver && ($2 == "close(" lock ")" || $2 == "close(" lock) {
            open = 0; print files, files + handoffs
        }' "$trace" >"$trace.saves"
    echo "$(awk '{ print $1 }' "$trace.saves" | median) $(awk '{ print $2 }' "$trace.saves" | median)"
    rm -f "$trace" "$trace.saves"
}
read -r save_file_calls save_all_calls < <(save_calls)

# Instructions of one open through the window's Open button with a full list, the log holding
# lines lines: the mean of twenty.
open_instructions() {
    local profile
    profile=$(mktemp)
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.warning=false" \
        valgrind --tool=callgrind --callgrind-out-file="$profile" \
        --toggle-collect='Form1::Command1_Click()' "$build/bench/hix_bench" --opens "$1" 20 \
        >/dev/null 2>&1
    awk '/^summary:/ { printf "%d\n", $2 / 20 }' "$profile"
    rm -f "$profile"
}
open_instructions_short=$(open_instructions 10)
open_instructions_long=$(open_instructions 10000)

# Each line: the bare window's map, first frame, peak and private memory, then the stand-in's, then
# the program's.
column() { awk "{ print $1 }" "${2:-$samples}" | median; }
start_bare=$(column '$1'); start_program=$(column '$9')
frame_bare=$(column '$2'); frame_floor=$(column '$6'); frame_program=$(column '$10')
memory_bare=$(column '$3 / 1024'); memory_floor=$(column '$7 / 1024'); memory_program=$(column '$11 / 1024')
private_bare=$(column '$4 / 1024'); private_floor=$(column '$8 / 1024'); private_program=$(column '$12 / 1024')
start_ratio=$(column '$9 / $1'); frame_ratio=$(column '$10 / $2'); frame_floor_ratio=$(column '$10 / $6')
memory_ratio=$(column '$11 / $3'); memory_floor_ratio=$(column '$11 / $7')
private_ratio=$(column '$12 / $4'); private_floor_ratio=$(column '$12 / $8')
fitting_frame_ratio=$(column '$10 / $2' "$fitting_samples"); fitting_frame_floor_ratio=$(column '$10 / $6' "$fitting_samples")
fitting_memory_ratio=$(column '$11 / $3' "$fitting_samples"); fitting_memory_floor_ratio=$(column '$11 / $7' "$fitting_samples")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
millions() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1e6 }'; }
cat <<PAGE
# Measurements

Made by \`make bench\` on $(date -u +%Y-%m-%d), on $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
($(nproc) cores), Debian $(cat /etc/debian_version), Qt $(pkg-config --modversion Qt6Core),
$(fc-match -f '%{family}' sans-serif 2>/dev/null) as the desktop's font, at 96 dpi.

Start-up is timed in $rounds rounds under one Xvfb, in an order that turns, for the program with
twenty long stored paths, the bare window \`bench/barewindow.cpp\` (the same menus and controls,
nothing else) and a stand-in for the least a program showing the same list could do
(\`bare_window --stand-in FILE\`): \`bench/mapwait.cpp\` times each from \`exec\` to its first
\`MapNotify\` and to its first drawing (the X server's DAMAGE extension), and reads its peak and
private memory. Single starts on a virtual machine vary by about a tenth; the instruction rows,
counted by callgrind up to the same two moments, do not move with the machine's load. At 72 dpi
the desktop's font fits the described layout; at the default font the window grows to fit its
captions. A save's system calls are counted with strace from opening the lock file to closing it,
an open's instructions with callgrind, the settings file's replacements with inotify. Of the
program's memory beyond the bare window's, about 0.9 MiB of peak and 0.5 MiB of private memory is
its window icon, drawn up to 256 pixels for task switchers on dense screens (the X server is given
every size at once); the bare window and the stand-in have no icon.

PAGE
echo "| measure | goal | measured |"
echo "| --- | --- | --- |"
printf '| start-up to mapped window, program / bare (median of %d rounds) | | %.3f |\n' "$rounds" "$start_ratio"
printf '| start-up to mapped window, program and bare (medians) | | %.1f ms, %.1f ms |\n' "$start_program" "$start_bare"
printf '| start-up to first drawn frame, program / bare | at most 1.03 | %.3f |\n' "$frame_ratio"
printf '| start-up to first drawn frame, program / stand-in | | %.3f |\n' "$frame_floor_ratio"
printf '| start-up to first drawn frame, program, stand-in and bare (medians) | | %.1f ms, %.1f ms, %.1f ms |\n' "$frame_program" "$frame_floor" "$frame_bare"
printf '| instructions to mapped window, program / bare | | %s (%s million against %s million) |\n' \
    "$(ratio "$map_instructions_program" "$map_instructions_bare")" \
    "$(millions "$map_instructions_program")" "$(millions "$map_instructions_bare")"
printf '| instructions to first drawn frame, program / bare | | %s (%s million against %s million) |\n' \
    "$(ratio "$frame_instructions_program" "$frame_instructions_bare")" \
    "$(millions "$frame_instructions_program")" "$(millions "$frame_instructions_bare")"
printf '| instructions to first drawn frame at 72 dpi, where the font fits the captions: program / bare with the credit face | at most 1.02 | %s (%s million against %s million) |\n' \
    "$(ratio "$fitting_program" "$fitting_credit")" "$(millions "$fitting_program")" "$(millions "$fitting_credit")"
printf '| instructions to first drawn frame at 72 dpi: stand-in / bare with the credit face | | %s (%s million) |\n' \
    "$(ratio "$fitting_floor" "$fitting_credit")" "$(millions "$fitting_floor")"
printf '| instructions to first drawn frame at the default font, which the window grows for: program / bare with the credit face | within 0.01 of the stand-in | %s (%s million against %s million) |\n' \
    "$(ratio "$frame_instructions_program" "$frame_instructions_credit")" \
    "$(millions "$frame_instructions_program")" "$(millions "$frame_instructions_credit")"
printf '| instructions to first drawn frame at the default font: stand-in / bare with the credit face | | %s (%s million) |\n' \
    "$(ratio "$frame_instructions_floor" "$frame_instructions_credit")" "$(millions "$frame_instructions_floor")"
printf '| instructions to first drawn frame at the default font: program / stand-in | | %s |\n' \
    "$(ratio "$frame_instructions_program" "$frame_instructions_floor")"
printf '| start-up to first drawn frame at 72 dpi, program / bare with the credit face | at most 1.03 | %.3f |\n' "$fitting_frame_ratio"
printf '| start-up to first drawn frame at 72 dpi, program / stand-in | | %.3f |\n' "$fitting_frame_floor_ratio"
printf '| peak memory at 72 dpi, program / bare with the credit face | at most 1.02 | %.3f |\n' "$fitting_memory_ratio"
printf '| peak memory at 72 dpi, program / stand-in | | %.3f |\n' "$fitting_memory_floor_ratio"
printf '| peak memory, program / bare | at most 1.02 | %.3f |\n' "$memory_ratio"
printf '| peak memory, program / stand-in | | %.3f |\n' "$memory_floor_ratio"
printf '| peak memory, program, stand-in and bare (medians) | | %.1f MiB, %.1f MiB, %.1f MiB |\n' "$memory_program" "$memory_floor" "$memory_bare"
printf '| private memory, program / bare | | %.3f |\n' "$private_ratio"
printf '| private memory, program / stand-in | | %.3f |\n' "$private_floor_ratio"
printf '| private memory, program, stand-in and bare (medians) | | %.1f MiB, %.1f MiB, %.1f MiB |\n' "$private_program" "$private_floor" "$private_bare"
printf '| system calls per save, from the lock to its release: on files | at most 24 | %s |\n' "$save_file_calls"
printf '| system calls per save, from the lock to its release: with the hand-offs between threads | | %s |\n' "$save_all_calls"
printf '| instructions per open with a full list, log of 10 lines | | %s thousand |\n' "$((open_instructions_short / 1000))"
printf '| instructions per open with a full list, log of 10,000 lines | | %s thousand |\n' "$((open_instructions_long / 1000))"
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
        goals["checkForAnotherCopysSave"] = "under 1 ms"; goals["handOffToTheFileWorker"] = "microseconds"; goals["rebuildTwentyEntriesLive"] = "under 5 ms"
        goals["openWithLogOf/10"] = "about the same for 10 and 10,000 lines"; goals["openWithLogOf/10000"] = goals["openWithLogOf/10"]
        value = $3; unit = 1; split("ns us ms s", units, " ")
        while (units[unit] != $5) unit++
        for (; value >= 1000 && unit < 4; unit++) value /= 1000
        printf "| %s | %s | %.3g %s |\n", $1, goals[$1], value, units[unit]
    }'
rm -f "$samples" "$fitting_samples"
rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
