#!/usr/bin/env bash
# Survey-like benchmark of the whole veltrane executable (not part of the tests).
#
#   bench/survey/run_survey.sh [-j N] [BUILD_DIR] [WORK_DIR]
#
# -j N runs veltrane with N workers (default 1; 0: every core).
# BUILD_DIR holds the veltrane executable (default: build/ at the repository root).
# WORK_DIR receives the workload of make_survey.py (200 galaxies, 150 SSPs x 6,900 points,
# 30 filters); a workload already complete there (survey.ok) is reused. Without WORK_DIR a
# temporary directory is used and removed afterwards (keep it with VELTRANE_SURVEY_KEEP=1).
# Prints the wall time, models per second and the peak resident set size, measured with
# GNU time (VELTRANE_TIME names another one); without it the peak is sampled from /proc.
set -euo pipefail

jobs=1
if [[ ${1:-} == -j ]]; then
    jobs=${2:?run_survey: -j needs a number}
    shift 2
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd) || { echo "run_survey: no build directory ${1:-$root/build}" >&2; exit 2; }
exe=$build/veltrane
if [[ ! -x $exe ]]; then
    echo "run_survey: $exe not found; build it with: cmake --build $build --target veltrane" >&2
    exit 2
fi

work=${2:-}
temporary=0
if [[ -z $work ]]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-survey.XXXXXX")
    temporary=1
fi
cleanup() {
    if [[ $temporary == 1 && ${VELTRANE_SURVEY_KEEP:-0} != 1 ]]; then
        rm -rf -- "$work"
    fi
}
trap cleanup EXIT

mkdir -p "$work"
work=$(cd "$work" && pwd)
if [[ -f $work/survey.ok ]]; then
    echo "run_survey: reusing the workload in $work ($(cat "$work/survey.ok"))"
else
    python3 "$here/make_survey.py" "$work"
fi
n_models=$(awk 'NR == 1 { print substr($0, 1, 15) + 0 }' "$work/grid.in")
rm -f "$work"/galaxies/*.MAG.out "$work"/galaxies/*.SPC.out "$work"/galaxies/*.LOG \
      "$work"/galaxies/.[0-9a-z][0-9a-z][0-9a-z][0-9a-z][0-9a-z][0-9a-z][0-9a-z]

cd "$work"
rss_kb=""
user_sys=""
start=$(date +%s.%N)
time_cmd=${VELTRANE_TIME:-/usr/bin/time}
if "$time_cmd" --version 2>&1 | grep -q GNU; then
    set +e
    "$time_cmd" -v -o "$work/time.txt" "$exe" -j "$jobs" grid.in > "$work/run.out"
    status=$?
    set -e
    end=$(date +%s.%N)
    rss_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    user_sys=$(awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 }
                           END { printf "%s s user, %s s system", u, s }' "$work/time.txt")
else
    # No GNU time: sample the high-water mark from /proc while the run lasts.
    "$exe" -j "$jobs" grid.in > "$work/run.out" &
    pid=$!
    rss_kb=0
    while kill -0 "$pid" 2>/dev/null; do
        hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        if [[ -n $hwm && $hwm -gt $rss_kb ]]; then rss_kb=$hwm; fi
        sleep 0.05
    done
    set +e
    wait "$pid"
    status=$?
    set -e
    end=$(date +%s.%N)
    rss_kb="$rss_kb (sampled every 0.05 s)"
fi

n_mag=$(find galaxies -name '*.MAG.out' | wc -l)
n_spc=$(find galaxies -name '*.SPC.out' | wc -l)
n_log=$(find galaxies -name '*.LOG' | wc -l)
awk -v s="$start" -v e="$end" -v n="$n_models" -v rss="$rss_kb" -v st="$status" \
    -v us="$user_sys" -v mag="$n_mag" -v spc="$n_spc" -v lg="$n_log" -v exe="$exe" -v jobs="$jobs" 'BEGIN {
    t = e - s
    printf "Veltrane survey workload (%s, -j %s)\n", exe, jobs
    printf "  models           %d (150 SSPs x 6900 points, 30 filters)\n", n
    printf "  exit status      %d\n", st
    printf "  wall time        %.2f s%s\n", t, (us == "" ? "" : " (" us ")")
    printf "  galaxies per s   %.1f (%.2f ms a galaxy)\n", (t > 0 ? n / t : 0), 1000 * t / n
    split(rss, r, " ")
    printf "  peak RSS         %s kB (%.1f MB)%s\n", r[1], r[1] / 1024, (rss ~ /sampled/ ? " sampled" : "")
    printf "  tables           %d .MAG.out, %d .SPC.out, %d .LOG (failed models)\n", mag, spc, lg
}'
if [[ $temporary == 1 && ${VELTRANE_SURVEY_KEEP:-0} == 1 ]]; then
    echo "  workload kept in $work"
fi
exit "$status"
