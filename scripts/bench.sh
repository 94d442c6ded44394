#!/bin/bash
# Builds, then measures the clock: the compute cost of one refresh (QtTest
# benchmarks), and on a private X server the launch time, CPU, memory and
# repainting of the real window next to xclock. Prints a table; about two
# minutes. docs/benchmarks.md explains the figures.
#
#   scripts/bench.sh [SECONDS [LAUNCHES]]     defaults: 60 s side by side, 10 launches
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
seconds=${1:-60}
launches=${2:-10}

tmp=$(mktemp -d /tmp/bench.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

scripts/deps.sh test
scripts/build.sh >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log" >&2; exit 1; }

echo "Machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)," \
     "$(uname -sr), build type $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")"
echo

# The window reads the clock in local time, so the zone is the users' one.
TZ=Asia/Seoul "$build/bin/bench_schedule" -median 5 -o "$tmp/schedule.csv,csv"
echo "Compute cost of one refresh (QtTest walltime, median of 5 runs)"
awk -F, '
    function unq(s) { gsub(/"/, "", s); return s }
    NF >= 6 {
        name = unq($1); tag = unq($2)
        label = (tag == "") ? name : name " (" tag ")"
        printf "  %-52s %8.3f us  (%d iterations)\n", label, $4 * 1000, $6
        if (name == "textsForCurrentTime") per_refresh = $4 * 1000
    }
    END {
        if (per_refresh == "") { print "  no result for textsForCurrentTime"; exit 1 }
        printf "  target: clock read + texts < 20 us per refresh: %s\n",
               (per_refresh < 20) ? "met" : "MISSED"
    }' "$tmp/schedule.csv"
echo

tests/e2e/xsession.sh /usr/bin/python3 scripts/bench_x.py \
    --timer "$build/bin/timer" --seconds "$seconds" --launches "$launches" 2>"$tmp/x.err" || {
    cat "$tmp/x.err" >&2
    exit 1
}
