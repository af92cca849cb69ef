# What the test scripts end with, sourced by each: ctest counts exit 77 as a skip
# (SKIP_RETURN_CODE) and `make test` lists every "SKIP:" line with its reason. A script that sets
# verdict_case names its case in both.

skip() {
    echo "SKIP: ${verdict_case:+$verdict_case: }$*" >&2
    exit 77
}

fail() {
    echo "FAIL: ${verdict_case:+$verdict_case: }$*" >&2
    exit 1
}
