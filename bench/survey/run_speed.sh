#!/usr/bin/env bash
# Galaxies per second of the survey workload, timed by hyperfine (not part of the tests):
# PrintFil 2 (both tables), PrintFil 0 (no table), and PrintFil 0 with --catalog when this
# veltrane has it, each with -j 1 and -j 2, on 1,000 galaxies.
#
#   bench/survey/run_speed.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR holds the veltrane executable (default: build/ at the repository root). WORK_DIR
# receives the workload of make_survey.py (reused when complete; default: a temporary
# directory, removed afterwards unless VELTRANE_SURVEY_KEEP=1). Environment:
#   VELTRANE_SPEED_MODELS  galaxies (default 1000)
#   VELTRANE_SPEED_RUNS    timed runs of each case (default 5, after one warm-up run)
#   VELTRANE_SPEED_OUT     where the tables go (default WORK_DIR/out, emptied before every
#                          run); a tmpfs directory (/dev/shm/...) leaves the disk out
#   VELTRANE_SPEED_CASES   a subset of "p2 p0 cat" (default: all that apply)
# For each case: wall time (mean ± standard deviation), galaxies per second of wall time,
# CPU time (user + system, mean) and galaxies per CPU second; then the ratios the speed
# targets are stated in. On a shared machine trust the CPU times more than the wall times.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd) || { echo "run_speed: no build directory ${1:-$root/build}" >&2; exit 2; }
exe=$build/veltrane
[[ -x $exe ]] || { echo "run_speed: $exe not found; build it with: cmake --build $build --target veltrane" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "run_speed: hyperfine not found (apt-get install hyperfine)" >&2; exit 2; }
python=/usr/bin/python3

models=${VELTRANE_SPEED_MODELS:-1000}
runs=${VELTRANE_SPEED_RUNS:-5}
work=${2:-}
temporary=0
if [[ -z $work ]]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-speed.XXXXXX")
  temporary=1
fi
cleanup() { if [[ $temporary == 1 && ${VELTRANE_SURVEY_KEEP:-0} != 1 ]]; then rm -rf -- "$work"; fi; }
trap cleanup EXIT
mkdir -p "$work"
work=$(cd "$work" && pwd)
if [[ -f $work/survey.ok ]] && grep -q "^models $models " "$work/survey.ok"; then
  echo "run_speed: reusing the workload in $work ($(cat "$work/survey.ok"))"
else
  $python "$here/make_survey.py" "$work" --models "$models" --printfil 2
fi
out=${VELTRANE_SPEED_OUT:-$work/out}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The grid file with another PrintFil (record 8, columns 1-15).
for pf in 0 2; do
  awk -v pf="$pf" 'NR == 8 { printf "%15d%s\n", pf, substr($0, 16); next } { print }' "$work/grid.in" > "$work/grid.p$pf.in"
done

cases=${VELTRANE_SPEED_CASES:-p2 p0 cat}
if [[ " $cases " == *" cat "* ]] && ! "$exe" --help 2>&1 | grep -q -- '--catalog'; then
  echo "run_speed: this veltrane has no --catalog: the catalogue case is left out"
  cases=${cases//cat/}
fi

results=$work/speed
rm -rf "$results"
mkdir -p "$results"
cd "$work"
for c in $cases; do
  case $c in
    p2) grid=grid.p2.in; extra="" ;;
    p0) grid=grid.p0.in; extra="" ;;
    cat) grid=grid.p0.in; extra="--catalog $out/survey.fits" ;;
    *) echo "run_speed: unknown case $c" >&2; exit 2 ;;
  esac
  for j in 1 2; do
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$results/$c.j$j.json" \
      --prepare "rm -rf '$out' && mkdir -p '$out'" \
      -n "$c -j $j" "'$exe' -j $j --quiet --output-dir '$out' $extra $grid > /dev/null" > "$results/$c.j$j.txt"
  done
done
rm -rf "$out"

$python - "$results" "$models" "$runs" $cases <<'EOF'
import json, os, sys
results, models, runs, cases = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
about = {"p2": "PrintFil 2", "p0": "PrintFil 0", "cat": "PrintFil 0 --catalog"}
r = {}
print("Veltrane survey speed: %d galaxies (150 SSPs x 6,900 points, 30 filters), %d runs each" % (models, runs))
print("%-22s %4s %17s %9s %12s %12s" % ("case", "jobs", "wall s", "gal/s", "CPU s", "gal/CPU s"))
for c in cases:
    for j in (1, 2):
        res = json.load(open(os.path.join(results, "%s.j%d.json" % (c, j))))["results"][0]
        cpu = res["user"] + res["system"]
        r[c, j] = (res["mean"], cpu)
        print("%-22s %4d %9.2f ± %5.2f %9.1f %12.2f %12.1f" % (about[c], j, res["mean"], res["stddev"],
              models / res["mean"], cpu, models / cpu))
print()
for c in cases:
    print("-j 2 / -j 1, %-20s %5.2fx wall" % (about[c] + ":", r[c, 1][0] / r[c, 2][0]))
for c in [x for x in cases if x != "p2"]:
    if "p2" in cases:
        print("%s / PrintFil 2, -j 1: %5.2fx wall, %5.2fx CPU" % (about[c], r["p2", 1][0] / r[c, 1][0],
              r["p2", 1][1] / r[c, 1][1]))
EOF
