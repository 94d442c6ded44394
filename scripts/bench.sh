#!/bin/bash
# Builds, then measures the clock: the compute cost of one refresh and of the
# glass library's part in a label paint (QtTest benchmarks), and on a private
# X server the launch time, and the CPU, memory and repainting of the real
# window side by side with a one-label Qt program and xclock, without a
# compositor and with xcompmgr, RUNS times; then the window's pixels against
# those of the build at BEFORE_REV at the same faked instants. Prints tables;
# about ten minutes with the defaults, more the first time, when the earlier
# build is made. docs/benchmarks.md explains the figures.
#
#   scripts/bench.sh [SECONDS [RUNS [LAUNCHES]]]   defaults: 60 s, 3 runs, 10 launches
#   BEFORE_REV=0edd458   the build whose pixels are compared ("" to leave it out)
#   GLASS_SECONDS=0      also this long in each glass step, with three timers
#   SOUND_RUNS=5         fresh clocks timed to their first sound (0 to leave it out)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
seconds=${1:-60}
runs=${2:-3}
launches=${3:-10}
before_rev=${BEFORE_REV-0edd458}

tmp=$(mktemp -d /tmp/bench.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

scripts/deps.sh test
scripts/build.sh >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log" >&2; exit 1; }

# The earlier build, from its own sources, kept next to this build for the
# next run.
before=()
if [ -n "$before_rev" ]; then
    before_dir="$build/bench-before-$before_rev"
    if [ ! -x "$before_dir/build/bin/timer" ]; then
        rm -rf "$before_dir"
        mkdir -p "$before_dir/src"
        git archive "$before_rev" | tar -x -C "$before_dir/src"
        { cmake -S "$before_dir/src" -B "$before_dir/build" -G Ninja \
              -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          && cmake --build "$before_dir/build" --target timer -j2; } \
            >"$tmp/before.log" 2>&1 || { cat "$tmp/before.log" >&2; exit 1; }
    fi
    before=(--before "$before_dir/build/bin/timer")
fi

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
        if (name == "timetableOfADay" && $4 > day) day = $4
    }
    END {
        if (per_refresh == "") { print "  no result for textsForCurrentTime"; exit 1 }
        printf "  target: clock read + texts < 5 us per refresh: %s\n",
               (per_refresh < 5) ? "met" : "MISSED"
        if (day != "")
            printf "  target: a day of timetable entries <= 2 ms: %s (%.3f ms)\n", (day <= 2) ? "met" : "MISSED", day
    }' "$tmp/schedule.csv"
echo

# The timetable window opened on the private X server, from nothing to its
# first paint of a day of entries.
/usr/bin/python3 tests/xsession.py env QT_QPA_PLATFORM=xcb "$build/bin/bench_timetable" -median 5 \
    -o "$tmp/timetable.csv,csv" >"$tmp/timetable.log" 2>&1 || { cat "$tmp/timetable.log" >&2; exit 1; }
awk -F, 'NF >= 6 && $1 ~ /openWindow/ {
    printf "Opening the timetable window, on X: %.1f ms (target <= 100 ms: %s)\n", $4, ($4 <= 100) ? "met" : "MISSED"
}' "$tmp/timetable.csv"
echo

# The glass library offscreen, then the parts that need an X server on one.
QT_QPA_PLATFORM=offscreen "$build/bin/bench_glass" -median 5 -o "$tmp/glass.csv,csv" \
    >"$tmp/glass.log" 2>&1 || { cat "$tmp/glass.log" >&2; exit 1; }
/usr/bin/python3 tests/xsession.py env QT_QPA_PLATFORM=xcb "$build/bin/bench_glass" -median 5 \
    -o "$tmp/glass_x.csv,csv" -o "$tmp/glass_x.txt,txt" \
    handleAlone xRoundTrip isCompositionEnabled paintGlowLabel windowLabelOnX windowPaintOnX \
    >"$tmp/glass_x.log" 2>&1 || { cat "$tmp/glass_x.log" "$tmp/glass_x.txt" >&2; exit 1; }
echo "Glass in a paint (QtTest walltime, median of 5 runs; 'on X': xcb on the private X server;"
echo "  thread CPU: the calling thread's own CPU time, median of the 5 runs)"
awk -F, '
    function unq(s) { gsub(/"/, "", s); return s }
    function median(list,    n, v, i, j, t) {
        n = split(list, v, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    function amount(ms) {
        return (ms < 0.001) ? sprintf("%8.1f ns", ms * 1e6) : sprintf("%8.1f us", ms * 1e3)
    }
    # The thread CPU lines of the X run, by function, data tag and iteration
    # count: only those of the calls whose result QtTest kept are used.
    FILENAME ~ /\.txt$/ {
        if ($0 ~ /^QINFO *: BenchGlass::.* thread CPU per iteration: /) {
            key = $0
            sub(/^QINFO *: BenchGlass::/, "", key)
            sub(/ thread CPU per iteration: .*/, "", key)
            n = split($0, word, " ")
            cpu[key, word[n - 1]] = cpu[key, word[n - 1]] " " word[n - 4]
        } else if ($0 ~ /^QINFO *: BenchGlass::windowPaintOnX.* handle in each paint: /) {
            handles = split($0, word, " ")
            handles = word[handles]
        }
        next
    }
    FNR == 1 { onX = (FILENAME ~ /glass_x\.csv$/) }
    NF >= 6 {
        name = unq($1); tag = unq($2)
        label = name (tag == "" ? "" : " (" tag ")") (onX ? ", on X" : "")
        line = sprintf("  %-68s %s", label, amount($4))
        key = name "(" tag ")"
        if (onX && ((key, $6) in cpu))
            line = line sprintf("   thread CPU %7.1f us", median(cpu[key, $6]))
        printf "%s  (%d iterations)\n", line, $6
        if (!onX && name == "emptyLoop") loop = $4
        if (!onX && name == "handleWhileAnotherLives") handle = $4
        if (onX && name == "isCompositionEnabled" && tag == "xcompmgr running") question = $4
        if (onX && name == "windowPaintOnX" && tag == "xcompmgr running") whole = $4
        if (!onX && name == "paintGlowLabel") {
            paints++
            if ($4 > worst) worst = $4
        }
    }
    END {
        if (handle == "" || paints == 0) { print "  no result for the offscreen glass benchmarks"; exit 1 }
        printf "  a paint-time handle while the window'"'"'s lives, less the loop: %.1f ns\n",
               (handle - loop) * 1e6
        printf "  target: label paint through DrawString < 0.3 ms: %s (slowest %.3f ms)\n",
               (worst < 0.3) ? "met" : "MISSED", worst
        if (handles != "" && question != "" && whole != "")
            printf "  a whole window paint on X with xcompmgr asks the server %d times:" \
                   " about %.0f of its %.0f us at the round trip above\n",
                   handles, handles * question * 1e3, whole * 1e3
    }' "$tmp/glass_x.txt" "$tmp/glass.csv" "$tmp/glass_x.csv"
echo

# The accessibility registry, started on the session bus for the clicks of the
# glass run, announces itself on the output it inherits.
/usr/bin/python3 tests/xsession.py /usr/bin/python3 scripts/bench_x.py \
    --timer "$build/bin/timer" --bare "$build/bin/bench_bare_label" "${before[@]}" \
    --seconds "$seconds" --runs "$runs" --launches "$launches" \
    --glass-seconds "${GLASS_SECONDS:-0}" --sound-runs "${SOUND_RUNS:-5}" --shots "$build/bench-shots" 2>"$tmp/x.err" \
    | sed '/^SpiRegistry daemon is running/d' || {
    cat "$tmp/x.err" >&2
    exit 1
}
