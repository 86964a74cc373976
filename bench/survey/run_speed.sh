#!/usr/bin/env bash
# Galaxies per second of the survey workload, timed by hyperfine (not part of the tests):
# PrintFil 2 (both tables), PrintFil 0 (no table), and PrintFil 0 with --catalog when this
# veltrane has it, each with -j 1 and -j 2, on 1,000 galaxies; the same with --fixed-inputs
# when the veltrane has it. With a baseline build, both are timed side by side in the same
# hyperfine run of each case, and the ratios are printed.
#
#   bench/survey/run_speed.sh [BUILD_DIR] [WORK_DIR]
#
# BUILD_DIR holds the veltrane executable (default: build/ at the repository root). WORK_DIR
# receives the workload of make_survey.py (reused when complete; default: a temporary
# directory, removed afterwards unless VELTRANE_SURVEY_KEEP=1). Environment:
#   VELTRANE_SPEED_BASELINE  a second build directory (an earlier version) timed beside it
#   VELTRANE_SPEED_MODELS    galaxies (default 1000)
#   VELTRANE_SPEED_RUNS      timed runs of each case (default 5, after one warm-up run)
#   VELTRANE_SPEED_OUT       where the tables go (default WORK_DIR/out, emptied before every
#                            run); a tmpfs directory (/dev/shm/...) leaves the disk out
#   VELTRANE_SPEED_CASES     a subset of "p2 p0 cat p2f catf" (default: all that apply; the
#                            last two are p2 and cat with --fixed-inputs)
# For each case and build: wall time (mean ± standard deviation), galaxies per second of wall
# time, CPU time (user + system, mean), milliseconds of CPU per galaxy and the peak memory
# (maximum resident set, one separate run); then the ratios the speed targets are stated in.
# On a shared machine trust the CPU times more than the wall times.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
python=/usr/bin/python3
executable() {  # the veltrane of a build directory, absolute
  local dir
  dir=$(cd "$1" 2>/dev/null && pwd) || { echo "run_speed: no build directory $1" >&2; exit 2; }
  [[ -x $dir/veltrane ]] || { echo "run_speed: $dir/veltrane not found; build it with: cmake --build $dir --target veltrane" >&2; exit 2; }
  echo "$dir/veltrane"
}
exe=$(executable "${1:-$root/build}")
base=""
[[ -n ${VELTRANE_SPEED_BASELINE:-} ]] && base=$(executable "$VELTRANE_SPEED_BASELINE")
command -v hyperfine >/dev/null || { echo "run_speed: hyperfine not found (apt-get install hyperfine)" >&2; exit 2; }

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

has() { "$1" --help 2>&1 | grep -q -- "$2"; }
cases=${VELTRANE_SPEED_CASES:-p2 p0 cat p2f catf}
builds=("$exe")
[[ -n $base ]] && builds+=("$base")

results=$work/speed
rm -rf "$results"
mkdir -p "$results"
cd "$work"
ran=()
for c in $cases; do
  case $c in
    p2 | p2f) grid=grid.p2.in; extra="" ;;
    p0) grid=grid.p0.in; extra="" ;;
    cat | catf) grid=grid.p0.in; extra="--catalog $out/survey.fits" ;;
    *) echo "run_speed: unknown case $c" >&2; exit 2 ;;
  esac
  [[ $c == *f ]] && extra="--fixed-inputs $extra"
  # A build without an option the case needs is left out of it.
  commands=()
  names=()
  for b in "${builds[@]}"; do
    if [[ $extra == *--catalog* ]] && ! has "$b" --catalog; then continue; fi
    if [[ $extra == *--fixed-inputs* ]] && ! has "$b" --fixed-inputs; then continue; fi
    commands+=("$b")
    names+=("$([[ $b == "$exe" ]] && echo new || echo baseline)")
  done
  if [[ ${#commands[@]} == 0 ]]; then
    echo "run_speed: no build has what case $c needs: left out"
    continue
  fi
  ran+=("$c")
  for j in 1 2; do
    args=()
    for k in "${!commands[@]}"; do
      args+=(-n "${names[$k]}" "'${commands[$k]}' -j $j --quiet --output-dir '$out' $extra $grid > /dev/null")
    done
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$results/$c.j$j.json" \
      --prepare "rm -rf '$out' && mkdir -p '$out'" "${args[@]}" > "$results/$c.j$j.txt"
    for k in "${!commands[@]}"; do  # peak memory: one run more
      rm -rf "$out" && mkdir -p "$out"
      /usr/bin/time -o "$results/$c.j$j.${names[$k]}.mem" -f "%M" \
        sh -c "'${commands[$k]}' -j $j --quiet --output-dir '$out' $extra $grid > /dev/null"
    done
  done
done
rm -rf "$out"

$python - "$results" "$models" "$runs" "${ran[@]}" <<'EOF'
import json, os, sys
results, models, runs, cases = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
about = {"p2": "PrintFil 2", "p0": "PrintFil 0", "cat": "PrintFil 0 --catalog",
         "p2f": "PrintFil 2 --fixed-inputs", "catf": "PrintFil 0 --catalog --fixed-inputs"}
r = {}
print("Veltrane survey speed: %d galaxies (150 SSPs x 6,900 points, 30 filters), %d runs each" % (models, runs))
print("%-36s %-8s %4s %17s %9s %9s %10s %9s" % ("case", "build", "jobs", "wall s", "gal/s", "CPU s", "CPU ms/gal",
                                                  "peak MB"))
for c in cases:
    for j in (1, 2):
        for res in json.load(open(os.path.join(results, "%s.j%d.json" % (c, j))))["results"]:
            b = res["command"]
            cpu = res["user"] + res["system"]
            mem = int(open(os.path.join(results, "%s.j%d.%s.mem" % (c, j, b))).read().split()[-1]) / 1024.0
            r[c, b, j] = (res["mean"], cpu)
            print("%-36s %-8s %4d %9.2f ± %5.2f %9.1f %9.2f %10.3f %9.1f" % (about[c], b, j, res["mean"], res["stddev"],
                  models / res["mean"], cpu, 1000.0 * cpu / models, mem))
print()
for c in cases:
    for b in ("new", "baseline"):
        if (c, b, 1) in r:
            print("-j 2 / -j 1, %-36s %-8s %5.2fx wall" % (about[c] + ":", b, r[c, b, 1][0] / r[c, b, 2][0]))
for c in cases:
    for j in (1, 2):
        if (c, "baseline", j) in r and (c, "new", j) in r:
            print("new / baseline, %-32s -j %d: %5.2fx galaxies per second of wall, %5.2fx per CPU second" % (
                about[c] + ":", j, r[c, "baseline", j][0] / r[c, "new", j][0], r[c, "baseline", j][1] / r[c, "new", j][1]))
# A case with --fixed-inputs against the baseline's case without it (which has no such option).
for c, plain in (("p2f", "p2"), ("catf", "cat")):
    for j in (1, 2):
        if (c, "new", j) in r and (plain, "baseline", j) in r:
            print("new %s / baseline %s, -j %d: %5.2fx wall, %5.2fx CPU" % (about[c], about[plain], j,
                  r[plain, "baseline", j][0] / r[c, "new", j][0], r[plain, "baseline", j][1] / r[c, "new", j][1]))
EOF
