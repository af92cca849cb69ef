#!/usr/bin/env bash
# Says what the last test run in BUILD_DIR skipped, and why: ctest lists a skipped test without its
# reason, and counts a Qt test with skipped rows as passed.
#   skipped.sh BUILD_DIR
set -euo pipefail
log=$1/Testing/Temporary/LastTest.log
[ -f "$log" ] || exit 0
awk '
    /^[0-9]+\/[0-9]+ Test: / { test = $3 }
    /^SKIP: / { sub(/^SKIP: /, ""); skipped[++count] = test ": " $0 }
    /^SKIP +: / { sub(/^SKIP +: /, ""); skipped[++count] = test ": " $0 }
    END {
        if (!count)
            exit
        print "Skipped, and why:"
        for (i = 1; i <= count; i++)
            print "  " skipped[i]
    }' "$log"
