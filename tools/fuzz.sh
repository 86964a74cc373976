#!/usr/bin/env bash
# Runs the libFuzzer targets, one after another: tools/fuzz.sh [SECONDS] [TARGET...]
# (default 60 s each; targets: textio synthesis_result ssp_base filter_set parameters, all by
# default). Builds them with clang++-14 in build-fuzz and runs each on a fresh copy of its
# corpus tests/fuzz/corpus/TARGET in build-fuzz/scratch/TARGET, where the new inputs stay
# (never in the repository); crashes, hangs (10 s), out-of-memory inputs (2 GiB) and leaks go
# to build-fuzz/findings/TARGET/. Prints executions, coverage (cov, ft), corpus size and
# findings per target, and the path of every new finding with the command that replays it;
# exits 1 when any target found something or stopped without a finding (its log says why),
# 2 for a wrong command line.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "fuzz.sh: SECONDS must be a positive whole number, not '$seconds'" >&2
  echo "usage: tools/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi
[ $# -gt 0 ] && shift
if [ $# -gt 0 ]; then targets=("$@"); else
  targets=(); for f in tests/fuzz/*_fuzz.cpp; do t=$(basename "$f" _fuzz.cpp); targets+=("$t"); done
fi
for t in "${targets[@]}"; do
  if [ ! -f "tests/fuzz/${t}_fuzz.cpp" ]; then
    echo "fuzz.sh: no fuzz target '$t' (tests/fuzz/${t}_fuzz.cpp)" >&2
    exit 2
  fi
done

# The build's output is shown only when it fails.
mkdir -p build-fuzz
build_log=build-fuzz/build.log
build() {
  if ! "$@" > "$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "fuzz.sh: building the fuzz targets failed" >&2
    exit 1
  fi
}
build cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Release \
  -DVELTRANE_FUZZ=ON -DVELTRANE_TESTS=OFF
for t in "${targets[@]}"; do build cmake --build build-fuzz -j2 --target "${t}_fuzz"; done

# The first fault ends a run and is kept as a finding, as in the sanitizer build of the tests.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:abort_on_error=1
status=0
for t in "${targets[@]}"; do
  findings=build-fuzz/findings/$t
  scratch=build-fuzz/scratch/$t
  rm -rf "$scratch"
  mkdir -p "$findings" "$scratch"
  cp tests/fuzz/corpus/"$t"/* "$scratch/"
  before=$(ls "$findings")
  log=build-fuzz/findings/$t.log
  fuzz_status=0
  build-fuzz/"${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" > "$log" 2>&1 || fuzz_status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  new=$(comm -13 <(echo "$before") <(ls "$findings"))
  found=$(printf '%s' "$new" | grep -c . || true)
  echo "$t: ${execs:-?} executions, ${cov:-no coverage line}, corpus $(ls "$scratch" | wc -l) inputs," \
       "$found findings (in $findings/, log $log)"
  if [ "$found" -gt 0 ]; then
    status=1
    while IFS= read -r f; do
      echo "  FINDING $findings/$f (replay: build-fuzz/${t}_fuzz $findings/$f)"
    done <<< "$new"
  elif [ "$fuzz_status" -ne 0 ]; then
    status=1
    echo "  $t stopped with status $fuzz_status and no finding: see $log"
  fi
done
exit $status
